#include "playback/AmbisonicDecoder.h"

#include "common/Errors.h"
#include "playback/HrtfSet.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string>

namespace vaun {
namespace {

// Decoding: sampling with max-rE weights on a spherical t-design with t >= 2 * order, where
// sampling equals mode matching and a panned source has the same energy from every
// direction; scaled to unit energy, every order plays equally loud. Few speakers, since the
// more of them lie near a source the more their sum rises in phase at low frequencies and
// the louder a field gets beside the head; mirror-symmetric left to right so a centred
// source stays centred; none straight below, where sets measure nothing.

using Direction = std::array<double, 3>; // x front, y left, z up; unit length

constexpr int kMaxOrder = 3;

std::vector<Direction> normalised(std::vector<Direction> points) {
    for (auto& p : points) {
        const double n = std::hypot(p[0], p[1], p[2]);
        for (double& c : p) c /= n;
    }
    return points;
}

// Sides below the ears, front and back above: the far ear hears less of a side source than
// from the other turns of a tetrahedron.
std::vector<Direction> tetrahedron() {
    const double h = std::numbers::sqrt2 / 2;
    return normalised({{0, 1, -h}, {0, -1, -h}, {1, 0, h}, {-1, 0, h}});
}

// Four vertices in the ear plane, at ±31.7° and ±148.3°.
std::vector<Direction> icosahedron() {
    const double phi = (1 + std::sqrt(5.0)) / 2;
    std::vector<Direction> points;
    for (double a : {-1.0, 1.0})
        for (double b : {-phi, phi}) {
            points.push_back({b, a, 0});
            points.push_back({a, 0, b});
            points.push_back({0, b, a});
        }
    return normalised(std::move(points));
}

// A 6-design of 28 directions (harmonics of degrees 1 to 6 sum to zero over them), solved
// for with left-right symmetry imposed and turned about the ears' axis so the lowest sits
// as high as it can. The left half; the right mirrors it.
std::vector<Direction> twentyEight() {
    constexpr Direction left[14] = {
        {0.1943497439968128, 0.3793907658375793, 0.9045942868521493},
        {-0.4237752252042180, 0.3074998529237604, 0.8519732384030498},
        {0.7000495034355295, 0.3535569732194058, 0.6204257888157141},
        {0.0697203015967056, 0.8937217059194967, 0.4431710639398840},
        {-0.8994979134380874, 0.3000787233699397, 0.3175787516525531},
        {-0.5039426369260434, 0.8075498452006792, 0.3064393352759811},
        {0.9369206667980901, 0.3465945665392549, 0.0452975779936228},
        {0.4916946665596839, 0.8705947530168678, 0.0173531235303647},
        {-0.4782925576107202, 0.8058740689322073, -0.3490031724165901},
        {-0.8715399196707281, 0.2996902062703523, -0.3880772457719913},
        {0.1040576241024150, 0.8877000361357029, -0.4485093719319943},
        {0.7563932518953959, 0.3525748653641670, -0.5509629867791007},
        {-0.3523438815226975, 0.3039418114296210, -0.8851401947818210},
        {0.2762063759878623, 0.3744821403555172, -0.8851401947818223}};
    std::vector<Direction> points;
    for (const Direction& p : left) {
        points.push_back(p);
        points.push_back({p[0], -p[1], p[2]});
    }
    return points;
}

std::vector<Direction> layoutFor(int order) {
    if (order == 1) return tetrahedron();
    if (order == 2) return icosahedron();
    return twentyEight();
}

double factorial(int n) { return n <= 1 ? 1.0 : n * factorial(n - 1); }

int degreeOf(int acn) { return int(std::sqrt(double(acn))); }

// Real spherical harmonics in ACN order with SN3D weights and no Condon-Shortley phase.
std::array<double, 16> harmonics(int order, const Direction& d) {
    std::array<double, 16> y{};
    const double x = std::clamp(d[2], -1.0, 1.0); // sine of the elevation
    const double c = std::sqrt(1 - x * x);
    const double azimuth = std::atan2(d[1], d[0]);
    double pmm = 1; // P_m^m
    for (int m = 0; m <= order; ++m) {
        if (m > 0) pmm *= (2 * m - 1) * c;
        double p = pmm, below = 0;
        for (int n = m; n <= order; ++n) {
            if (n > m) {
                const double next = ((2 * n - 1) * x * p - (n + m - 1) * below) / (n - m);
                below = p;
                p = next;
            }
            const double norm = std::sqrt((m == 0 ? 1.0 : 2.0) * factorial(n - m) / factorial(n + m));
            y[std::size_t(n * n + n + m)] = norm * p * std::cos(m * azimuth);
            if (m > 0) y[std::size_t(n * n + n - m)] = norm * p * std::sin(m * azimuth);
        }
    }
    return y;
}

double legendre(int n, double x) {
    double below = 1, p = x;
    if (n == 0) return 1;
    for (int k = 2; k <= n; ++k) {
        const double next = ((2 * k - 1) * x * p - (k - 1) * below) / k;
        below = p;
        p = next;
    }
    return p;
}

// max-rE: the weight of degree n is P_n(r) with r the largest root of P_{order+1}.
std::array<double, kMaxOrder + 1> maxReWeights(int order) {
    double lo = 1;
    while (legendre(order + 1, lo - 1e-3) > 0) lo -= 1e-3;
    double hi = lo;
    lo -= 1e-3;
    for (int i = 0; i < 60; ++i) {
        const double mid = (lo + hi) / 2;
        (legendre(order + 1, mid) > 0 ? hi : lo) = mid;
    }
    std::array<double, kMaxOrder + 1> w{};
    for (int n = 0; n <= order; ++n) w[std::size_t(n)] = legendre(n, (lo + hi) / 2);
    return w;
}

// File channel → ACN index.
int acnOf(int channel, AmbisonicFormat::Ordering ordering) {
    // W X Y Z R S T U V K L M N O P Q
    constexpr int fromFuMa[16] = {0, 3, 1, 2, 6, 7, 5, 8, 4, 12, 13, 11, 14, 10, 15, 9};
    return ordering == AmbisonicFormat::Ordering::FuMa ? fromFuMa[channel] : channel;
}

// What turns a channel of this normalisation into SN3D.
double toSN3D(int acn, AmbisonicFormat::Normalization normalization) {
    const int n = degreeOf(acn);
    if (normalization == AmbisonicFormat::Normalization::N3D) return 1 / std::sqrt(2.0 * n + 1);
    if (normalization == AmbisonicFormat::Normalization::SN3D) return 1;
    // FuMa: W at -3 dB, every other component peaking at 1.
    constexpr double byDegree[4][4] = {{std::numbers::sqrt2, 0, 0, 0},
                                       {1, 1, 0, 0},
                                       {1, std::numbers::sqrt3 / 2, std::numbers::sqrt3 / 2, 0},
                                       {1, 0.8432740427115678 /* sqrt(32/45) */, 0.7453559924999299 /* sqrt(5)/3 */,
                                        0.7905694150420949 /* sqrt(5/8) */}};
    return byDegree[n][std::abs(acn - n * n - n)];
}

} // namespace

AmbisonicDecoder::AmbisonicDecoder(AmbisonicFormat format)
    : format_(format), channels_(std::size_t(AmbisonicFormat::channelsFor(std::clamp(format.order, 1, kMaxOrder)))) {
    if (format.order < 1 || format.order > kMaxOrder)
        throw Error("VaunPlayback", kRendererSetupError,
                    "Sound fields of order 1 to " + std::to_string(kMaxOrder) + " play, not " + std::to_string(format.order));
    const int order = format.order;
    const auto layout = layoutFor(order);
    const auto w = maxReWeights(order);
    double energy = 0;
    for (int n = 0; n <= order; ++n) energy += (2 * n + 1) * w[std::size_t(n)] * w[std::size_t(n)];
    const double L = double(layout.size());
    const double scale = std::sqrt(L / energy) / L;

    gains_.assign(layout.size() * channels_, 0.0f);
    for (std::size_t s = 0; s < layout.size(); ++s) {
        const Direction& d = layout[s];
        speakers_.push_back({std::atan2(d[1], d[0]) * 180 / std::numbers::pi, std::asin(d[2]) * 180 / std::numbers::pi, 1.0});
        const auto y = harmonics(order, d);
        for (std::size_t c = 0; c < channels_; ++c) {
            const int acn = acnOf(int(c), format.ordering);
            const int n = degreeOf(acn);
            gains_[s * channels_ + c] =
                float(scale * (2 * n + 1) * w[std::size_t(n)] * y[std::size_t(acn)] * toSN3D(acn, format.normalization));
        }
    }
}

void AmbisonicDecoder::decode(const float* const* field, std::uint32_t frames, float* const* feeds) const {
    for (std::size_t s = 0; s < speakers_.size(); ++s) {
        float* out = feeds[s];
        std::fill(out, out + frames, 0.0f);
        const float* g = gains_.data() + s * channels_;
        for (std::size_t c = 0; c < channels_; ++c) {
            if (g[c] == 0.0f) continue;
            const float k = g[c];
            const float* in = field[c];
            for (std::uint32_t i = 0; i < frames; ++i) out[i] += k * in[i];
        }
    }
}

} // namespace vaun
