// Writes the bundled demo file: 20 s of 48 kHz, 24-bit, 5.1 (channel mask 0x3F) audio
// with different music on every channel, a second of digital silence and a loud passage,
// so that every display has something to show.
#include "TestAudio.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>

namespace {

constexpr double kRate = 48000;
constexpr double kSeconds = 20;
constexpr double kTwoPi = 2 * std::numbers::pi;

double midiHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

// Plucked tone: harmonics with a decay that is faster for the upper ones.
double pluck(double hz, double t) {
    if (t < 0) return 0;
    double v = 0;
    for (int h = 1; h <= 6; ++h) v += std::sin(kTwoPi * hz * h * t) * std::exp(-t * (3.0 + 2.0 * h)) / h;
    return v * std::min(1.0, t * 400);
}

// Electric-piano-like tone: a sine and a bell partial.
double bell(double hz, double t) {
    if (t < 0) return 0;
    const double env = std::exp(-t * 2.2) * std::min(1.0, t * 300);
    return env * (std::sin(kTwoPi * hz * t) + 0.3 * std::sin(kTwoPi * hz * 3.01 * t) * std::exp(-t * 6));
}

struct Noise {
    std::uint64_t state;
    double next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return double(state >> 11) / double(1ULL << 53) * 2 - 1;
    }
};

// Overall level: quiet start, silence at 8–9 s, loud passage at 14–17 s, fade at the end.
double level(double t) {
    if (t >= 8.0 && t < 9.0) return 0;
    if (t >= 14.0 && t < 17.0) return 2.4;
    if (t >= 17.0) return 0.5 * std::max(0.0, 1.0 - (t - 17.0) / 3.0);
    return 0.5;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: vaun-make-demo OUTPUT.wav\n");
        return 2;
    }
    const auto frames = std::int64_t(kRate * kSeconds);
    vaun::test::Planes planes(6, std::vector<float>(std::size_t(frames)));
    const int melody[] = {69, 72, 76, 74, 72, 69, 67, 64, 69, 72, 79, 76, 74, 72, 71, 72};
    const int chords[][3] = {{57, 60, 64}, {53, 57, 60}, {55, 59, 62}, {52, 55, 59}};
    Noise left{0x9E3779B97F4A7C15ULL}, right{0xD1B54A32D192ED03ULL};
    double pinkL = 0, pinkR = 0, airL = 0, airR = 0;

    for (std::int64_t i = 0; i < frames; ++i) {
        const double t = double(i) / kRate;
        const double g = level(t);

        // Left: plucked melody, a note every quarter second.
        const int step = int(t / 0.25);
        const double front = 0.22 * pluck(midiHz(melody[step % 16]), t - step * 0.25);
        // Right: chord arpeggio on eighth-note triplets.
        const int arp = int(t / (1.0 / 6));
        const auto& chord = chords[(int(t / 2.0)) % 4];
        const double piano = 0.2 * bell(midiHz(chord[arp % 3] + 12), t - arp / 6.0);
        // Centre: a sung line with vibrato and a few harmonics.
        const double hz = midiHz(melody[(int(t / 1.0)) % 16] - 12) * (1 + 0.006 * std::sin(kTwoPi * 5.5 * t));
        double voice = 0;
        for (int h = 1; h <= 8; ++h) voice += std::sin(kTwoPi * hz * h * t) / (h * h);
        voice *= 0.16 * (0.6 + 0.4 * std::sin(kTwoPi * 0.5 * t));
        // LFE: a falling kick every half second.
        const double k = std::fmod(t, 0.5);
        const double kick = 0.45 * std::sin(kTwoPi * (45 * k + 40 * (1 - std::exp(-k * 30)) / 30)) * std::exp(-k * 9);
        // Surrounds: slowly moving filtered noise with a high shimmer, different per side.
        pinkL += 0.02 * (left.next() - pinkL);
        pinkR += 0.02 * (right.next() - pinkR);
        const double wL = left.next(), wR = right.next();
        airL = 0.5 * airL + 0.5 * wL;
        airR = 0.5 * airR + 0.5 * wR;
        const double pan = 0.5 + 0.5 * std::sin(kTwoPi * 0.1 * t);
        const double ls = 0.9 * pinkL * pan + 0.02 * (wL - airL);
        const double rs = 0.9 * pinkR * (1 - pan) + 0.02 * (wR - airR);

        const double values[6] = {front, piano, voice, kick, ls, rs};
        for (int c = 0; c < 6; ++c) {
            // The loud passage saturates softly just below full scale.
            planes[std::size_t(c)][std::size_t(i)] = float(0.985 * std::tanh(values[c] * g));
        }
    }

    vaun::test::WavOptions options;
    options.format = vaun::test::SampleFormat::PCM24;
    options.channelMask = 0x3F;
    try {
        vaun::test::writeWav(argv[1], planes, kRate, options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vaun-make-demo: %s\n", e.what());
        return 1;
    }
    return 0;
}
