#include "analysis/LoudnessMeter.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vaun {

namespace {

constexpr double absoluteGateLUFS = -70.0;
constexpr std::size_t blockSegments = 4;   // 400 ms
constexpr std::size_t windowSegments = 30; // 3 s

std::int64_t segmentFramesFor(double rate) {
    const double tenth = std::round(rate / 10.0);
    // Beyond 2^53 frames per segment the count is no longer exact, long before it matters.
    if (!std::isfinite(tenth) || tenth > 9007199254740992.0)
        throw std::invalid_argument("sample rate has no whole segment length");
    return std::max<std::int64_t>(1, std::int64_t(tenth));
}

double meanOf(const std::vector<double>& values) {
    double sum = 0.0;
    for (double v : values) sum += v;
    return sum / double(values.size());
}

// Blocks that pass the absolute gate: power above 0 and loudness above −70 LUFS.
std::vector<double> absoluteGated(std::span<const double> blocks) {
    std::vector<double> kept;
    kept.reserve(blocks.size());
    for (double z : blocks)
        if (z > 0.0 && loudnessOf(z) > absoluteGateLUFS) kept.push_back(z);
    return kept;
}

} // namespace

KWeighting::KWeighting(double rate) {
    {
        // High shelf around 1.68 kHz, +4 dB.
        const double K = std::tan(5284.078578647628 / rate);
        const double Q = 0.7071752369554196;
        const double Vh = 1.5848647011308556;
        const double Vb = 1.2587209302325617;
        const double a0 = 1.0 + K / Q + K * K;
        b1 = {(K * K + Vb * K / Q + Vh) / a0, 2.0 * (K * K - Vh) / a0, (K * K - Vb * K / Q + Vh) / a0};
        a1 = {2.0 * (K * K - 1.0) / a0, (K * K - K / Q + 1.0) / a0};
    }
    {
        // High pass at 38 Hz; its numerator stays (1, −2, 1).
        const double K = std::tan(119.8061151453059 / rate);
        const double Q = 0.5003270373238773;
        const double a0 = 1.0 + K / Q + K * K;
        a2 = {2.0 * (K * K - 1.0) / a0, (K * K - K / Q + 1.0) / a0};
    }
}

double KWeighting::sumOfSquares(const float* samples, std::int64_t count) {
    if (count < 0) throw std::invalid_argument("negative sample count");
    double z10 = s1[0], z11 = s1[1], z20 = s2[0], z21 = s2[1];
    double sum = 0.0;
    for (std::int64_t i = 0; i < count; ++i) {
        const double x = samples[i];
        const double y1 = z10 + b1[0] * x;
        z10 = z11 + b1[1] * x - a1[0] * y1;
        z11 = b1[2] * x - a1[1] * y1;
        const double y2 = z20 + b2[0] * y1;
        z20 = z21 + b2[1] * y1 - a2[0] * y2;
        z21 = b2[2] * y1 - a2[1] * y2;
        sum += y2 * y2;
    }
    s1 = {z10, z11};
    s2 = {z20, z21};
    return sum;
}

double loudnessOf(double power) {
    return -0.691 + 10.0 * std::log10(power);
}

LoudnessMeter::LoudnessMeter(double rate, std::vector<double> weights, kernels::Isa isa)
    : weights_(std::move(weights)),
      segmentFrames_(segmentFramesFor(rate)),
      segmentSums_(weights_.size(), 0.0),
      isa_(isa) {
    filters_.assign(weights_.size(), KWeighting(rate));
    const KWeighting reference(rate);
    std::copy(reference.b1.begin(), reference.b1.end(), coefficients_.b1);
    std::copy(reference.a1.begin(), reference.a1.end(), coefficients_.a1);
    std::copy(reference.b2.begin(), reference.b2.end(), coefficients_.b2);
    std::copy(reference.a2.begin(), reference.a2.end(), coefficients_.a2);
    for (std::size_t i = 0; i < weights_.size(); ++i)
        if (weights_[i] > 0.0) weighted_.push_back(i);
}

// Lanes gathered for one run of the same frames; a full set runs at once.
struct LoudnessMeter::LaneBatch {
    LaneBatch(std::int64_t frames, kernels::Isa isa) : frames(frames), isa(isa) {}

    std::int64_t frames;
    kernels::Isa isa;
    kernels::FilterLane lanes[kernels::maxFilterLanes]{};
    int count = 0;

    void add(const kernels::FilterLane& lane) {
        lanes[count++] = lane;
        if (count == kernels::maxFilterLanes) run();
    }
    void run() {
        if (count > 0) kernels::kWeightedSquares(lanes, count, frames, isa);
        count = 0;
    }
};

void LoudnessMeter::process(const float* const* channels, std::size_t channelCount, std::int64_t frames) {
    const Feed feed{this, channels, channelCount};
    processTogether({&feed, 1}, frames);
}

// Runs end at every meter's segment boundaries, so a segment's sum does not depend on
// where the caller's blocks begin and end, nor on which meters ran alongside.
void LoudnessMeter::processTogether(std::span<const Feed> feeds, std::int64_t frames) {
    if (feeds.empty()) return;
    for (const Feed& f : feeds)
        if (f.channelCount > f.meter->weights_.size()) throw std::invalid_argument("more channels than weights");
    for (std::int64_t offset = 0; offset < frames;) {
        std::int64_t chunk = frames - offset;
        for (const Feed& f : feeds) chunk = std::min(chunk, f.meter->untilSegmentEnds());
        LaneBatch batch(chunk, feeds.front().meter->isa_);
        for (const Feed& f : feeds) f.meter->addLanes(batch, f.channels, f.channelCount, offset);
        batch.run();
        for (const Feed& f : feeds) f.meter->advance(chunk);
        offset += chunk;
    }
}

void LoudnessMeter::advance(std::int64_t frames) {
    segmentFill_ += frames;
    if (segmentFill_ < segmentFrames_) return;
    double power = 0.0;
    for (std::size_t j = 0; j < weights_.size(); ++j) power += weights_[j] * segmentSums_[j] / double(segmentFrames_);
    segments_.push_back(power);
    std::fill(segmentSums_.begin(), segmentSums_.end(), 0.0);
    segmentFill_ = 0;
}

// Channels with weight 0 are neither filtered nor summed. The squares go straight into
// the segment's running sums, one by one.
void LoudnessMeter::addLanes(LaneBatch& batch, const float* const* channels, std::size_t channelCount,
                             std::int64_t offset) {
    for (std::size_t i : weighted_) {
        if (i >= channelCount) break;
        KWeighting& f = filters_[i];
        batch.add({&coefficients_, channels[i] + offset, f.s1.data(), f.s2.data(), &segmentSums_[i]});
    }
}

std::vector<double> LoudnessMeter::blocks(std::size_t span) const {
    std::vector<double> result;
    if (segments_.size() < span) return result;
    result.reserve(segments_.size() - span + 1);
    for (std::size_t i = 0; i + span <= segments_.size(); ++i) {
        double sum = 0.0;
        for (std::size_t j = i; j < i + span; ++j) sum += segments_[j];
        result.push_back(sum / double(span));
    }
    return result;
}

std::optional<double> LoudnessMeter::integrated() const {
    const std::vector<double> gated = absoluteGated(blocks(blockSegments));
    if (gated.empty()) return std::nullopt;
    const double relative = 10.0 * std::log10(meanOf(gated)) - 0.691 - 10.0;
    std::vector<double> kept;
    kept.reserve(gated.size());
    for (double z : gated)
        if (loudnessOf(z) > relative) kept.push_back(z);
    if (kept.empty()) return std::nullopt;
    return 10.0 * std::log10(meanOf(kept)) - 0.691;
}

namespace {

std::optional<double> loudest(const std::vector<double>& blocks) {
    const auto it = std::max_element(blocks.begin(), blocks.end());
    if (it == blocks.end() || !(*it > 0.0)) return std::nullopt;
    return loudnessOf(*it);
}

} // namespace

void LoudnessMeter::history(std::vector<float>& momentary, std::vector<float>& shortTerm, float absent) const {
    // Running sums over the segments, each window's power summed afresh now and then so that
    // rounding cannot build up over hours.
    const auto curve = [&](std::size_t span, std::vector<float>& out) {
        out.assign(segments_.size(), absent);
        double sum = 0.0;
        for (std::size_t k = 0; k < segments_.size(); ++k) {
            sum += segments_[k];
            if (k >= span) sum -= segments_[k - span];
            if (k % 4096 == 0 && k + 1 >= span) {
                sum = 0.0;
                for (std::size_t j = k + 1 - span; j <= k; ++j) sum += segments_[j];
            }
            if (k + 1 < span) continue;
            const double power = sum / double(span);
            if (power > 0.0 && loudnessOf(power) > absoluteGateLUFS) out[k] = float(loudnessOf(power));
        }
    };
    curve(blockSegments, momentary);
    curve(windowSegments, shortTerm);
}

std::optional<double> LoudnessMeter::maxMomentary() const { return loudest(blocks(blockSegments)); }

std::optional<double> LoudnessMeter::maxShortTerm() const { return loudest(blocks(windowSegments)); }

std::optional<LoudnessRangeBounds> loudnessRangeBounds(std::span<const double> shortTermPowers) {
    const std::vector<double> gated = absoluteGated(shortTermPowers);
    if (gated.empty()) return std::nullopt;
    const double relative = 10.0 * std::log10(meanOf(gated)) - 0.691 - 20.0;
    std::vector<double> levels;
    levels.reserve(gated.size());
    for (double z : gated) {
        const double level = loudnessOf(z);
        if (level > relative) levels.push_back(level);
    }
    if (levels.empty()) return std::nullopt;
    std::sort(levels.begin(), levels.end());
    const auto percentile = [&](double p) {
        const double last = double(levels.size() - 1);
        const double index = std::clamp(std::round(p * last), 0.0, last);
        return levels[std::size_t(index)];
    };
    return LoudnessRangeBounds{percentile(0.10), percentile(0.95)};
}

std::optional<double> LoudnessMeter::range() const {
    const auto bounds = loudnessRangeBounds(blocks(windowSegments));
    if (!bounds) return std::nullopt;
    return bounds->high - bounds->low;
}

} // namespace vaun
