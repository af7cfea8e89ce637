#include "playback/HrtfSet.h"

#include <mysofa.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vaun {
namespace {

// Room for interaural delays a set stores apart from its responses.
constexpr double kMaxDelaySeconds = 0.0015;
// Beyond this many cached directions the cache starts afresh.
constexpr std::size_t kMaxCached = 512; // callers keep their own transforms

// libmysofa's own resampling of a whole set takes half a second; single responses are
// resampled on lookup instead, with a Blackman-windowed sinc.
constexpr double kSincZeroCrossings = 16;

double setRate(const std::filesystem::path& file) {
    int err = 0;
    MYSOFA_HRTF* hrtf = mysofa_load(file.c_str(), &err);
    double rate = 0;
    if (hrtf && err == MYSOFA_OK && hrtf->DataSamplingRate.elements >= 1 && hrtf->DataSamplingRate.values)
        rate = hrtf->DataSamplingRate.values[0];
    if (hrtf) mysofa_free(hrtf);
    return std::isfinite(rate) && rate >= 8000.0 && rate <= 768000.0 ? rate : 0.0;
}

} // namespace

HrtfSet::Resampler::Resampler(double fromHz, double toHz, std::size_t inFrames, std::size_t outFrames) {
    const double step = fromHz / toHz; // input frames per output frame
    const double cutoff = std::min(1.0, 1.0 / step);
    const double half = kSincZeroCrossings / cutoff;
    taps = std::size_t(2 * std::ceil(half)) + 1;
    first.resize(outFrames);
    weights.assign(outFrames * taps, 0.0f);
    for (std::size_t m = 0; m < outFrames; ++m) {
        const double centre = double(m) * step;
        first[m] = std::size_t(std::max(0.0, std::ceil(centre - half)));
        for (std::size_t k = 0; k < taps; ++k) {
            const std::size_t n = first[m] + k;
            const double x = centre - double(n);
            if (n >= inFrames || std::abs(x) >= half) continue;
            const double a = std::numbers::pi * cutoff * x;
            const double sinc = std::abs(a) < 1e-9 ? 1.0 : std::sin(a) / a;
            const double w = 0.42 + 0.5 * std::cos(std::numbers::pi * x / half) + 0.08 * std::cos(2 * std::numbers::pi * x / half);
            // step × cutoff keeps the response's gain at every frequency it keeps.
            weights[m * taps + k] = float(step * cutoff * sinc * w);
        }
    }
}

std::vector<float> HrtfSet::Resampler::operator()(const std::vector<float>& in) const {
    std::vector<float> out(first.size(), 0.0f);
    for (std::size_t m = 0; m < first.size(); ++m) {
        const float* w = weights.data() + m * taps;
        const std::size_t n = std::min(taps, in.size() - std::min(in.size(), first[m]));
        float sum = 0;
        for (std::size_t k = 0; k < n; ++k) sum += in[first[m] + k] * w[k];
        out[m] = sum;
    }
    return out;
}

namespace {

double wrapDegrees(double degrees) {
    double d = std::fmod(degrees, 360.0);
    return d < 0 ? d + 360.0 : d;
}

} // namespace

void HrtfSet::Closer::operator()(MYSOFA_EASY* set) const noexcept { mysofa_close(set); }

HrtfSet::HrtfSet(const std::filesystem::path& sofaFile, double sampleRateHz) : rate_(sampleRateHz) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(sofaFile, ec))
        throw Error("VaunPlayback", kHrtfSetError, "No HRTF set at " + sofaFile.string() + " for binaural playback (libmysofa1 installs it)");
    if (!(sampleRateHz >= 8000.0 && sampleRateHz <= 768000.0))
        throw Error("VaunPlayback", kRendererSetupError, "Binaural playback needs a sample rate between 8 and 768 kHz");
    int length = 0, err = 0;
    setRate_ = setRate(sofaFile);
    if (setRate_ <= 0) setRate_ = sampleRateHz; // let libmysofa report what is wrong
    set_.reset(mysofa_open(sofaFile.c_str(), float(setRate_), &length, &err));
    if (!set_ || err != MYSOFA_OK || length <= 0 || length > 65536)
        throw Error("VaunPlayback", kHrtfSetError, "The HRTF set " + sofaFile.string() + " could not be read (libmysofa error " +
                                                    std::to_string(err) + ")");
    measured_ = std::size_t(length);
    resampled_ = setRate_ == sampleRateHz ? measured_ : std::size_t(std::ceil(double(measured_) * sampleRateHz / setRate_));
    frames_ = resampled_ + std::size_t(std::ceil(kMaxDelaySeconds * sampleRateHz));
    if (setRate_ != sampleRateHz) resampler_.emplace(setRate_, sampleRateHz, measured_, resampled_);
}

HrtfSet::~HrtfSet() = default;

int HrtfSet::directionKey(double azimuthDegrees, double elevationDegrees) {
    if (!std::isfinite(azimuthDegrees)) azimuthDegrees = 0;
    if (!std::isfinite(elevationDegrees)) elevationDegrees = 0;
    const int az = int(std::lround(wrapDegrees(azimuthDegrees) / kStepDegrees)) % int(360 / kStepDegrees);
    const int el = int(std::lround(std::clamp(elevationDegrees, -90.0, 90.0) / kStepDegrees + 90 / kStepDegrees));
    return el * int(360 / kStepDegrees) + az;
}

const Hrir& HrtfSet::filter(int key) {
    if (auto it = cache_.find(key); it != cache_.end()) return it->second;
    if (cache_.size() >= kMaxCached) cache_.clear();
    const int perRing = int(360 / kStepDegrees);
    const double az = (key % perRing) * kStepDegrees * std::numbers::pi / 180.0;
    const double el = (key / perRing * kStepDegrees - 90.0) * std::numbers::pi / 180.0;
    // SOFA's cartesian frame: x ahead, y to the left, z up; azimuth runs counter-clockwise
    // as ours does.
    const auto x = float(std::cos(el) * std::cos(az));
    const auto y = float(std::cos(el) * std::sin(az));
    const auto z = float(std::sin(el));
    std::vector<float> left(measured_), right(measured_);
    float delayLeft = 0, delayRight = 0;
    mysofa_getfilter_float(set_.get(), x, y, z, left.data(), right.data(), &delayLeft, &delayRight);

    if (resampler_) {
        left = (*resampler_)(left);
        right = (*resampler_)(right);
    }
    const std::size_t room = frames_ - resampled_;
    auto place = [&](const std::vector<float>& ir, float delaySeconds) {
        std::vector<float> out(frames_, 0.0f);
        const double d = std::isfinite(delaySeconds) ? double(delaySeconds) * rate_ : 0.0;
        const auto shift = std::size_t(std::clamp(std::lround(d), 0L, long(room)));
        std::copy(ir.begin(), ir.end(), out.begin() + std::ptrdiff_t(shift));
        return out;
    };
    Hrir h{place(left, delayLeft), place(right, delayRight)};
    return cache_.emplace(key, std::move(h)).first->second;
}

} // namespace vaun
