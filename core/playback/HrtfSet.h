#pragma once
// Head-related impulse responses for any direction, read by libmysofa from a SOFA file and
// interpolated between the measured directions.
#include "common/Errors.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

struct MYSOFA_EASY;

namespace vaun {

// Error "VaunPlayback" codes of the headphone renderers.
inline constexpr int kHrtfSetError = 4;     // the set is missing or unreadable
inline constexpr int kRendererSetupError = 5; // a rate or source count it cannot render

struct Hrir {
    std::vector<float> left;
    std::vector<float> right;
};

class HrtfSet {
public:
    // Opens the set for playback at `sampleRateHz`. Throws Error "VaunPlayback" when the file
    // is missing or libmysofa cannot read it.
    HrtfSet(const std::filesystem::path& sofaFile, double sampleRateHz);
    ~HrtfSet();
    HrtfSet(const HrtfSet&) = delete;
    HrtfSet& operator=(const HrtfSet&) = delete;

    // Frames per impulse response (interaural delays included).
    std::size_t filterFrames() const { return frames_; }

    // Directions are cached at this resolution: finer steps are inaudible and would let
    // a moving source fill memory.
    static constexpr double kStepDegrees = 1.0;
    // Azimuth counter-clockwise from straight ahead (90 = left), elevation above the ear plane.
    static int directionKey(double azimuthDegrees, double elevationDegrees);
    // The response for a quantised direction; the reference stays valid until the next call.
    const Hrir& filter(int directionKey);
    const Hrir& filter(double azimuthDegrees, double elevationDegrees) {
        return filter(directionKey(azimuthDegrees, elevationDegrees));
    }

private:
    struct Closer {
        void operator()(MYSOFA_EASY* set) const noexcept;
    };
    std::unique_ptr<MYSOFA_EASY, Closer> set_;
    std::size_t measured_ = 0; // frames libmysofa returns, at the set's own rate
    std::size_t resampled_ = 0; // the same at ours
    double setRate_ = 0;
    // Windowed-sinc weights per output frame, from the set's rate to ours.
    struct Resampler {
        Resampler(double fromHz, double toHz, std::size_t inFrames, std::size_t outFrames);
        std::vector<float> operator()(const std::vector<float>& in) const;
        std::vector<std::size_t> first;
        std::vector<float> weights;
        std::size_t taps = 0;
    };
    std::optional<Resampler> resampler_;
    std::size_t frames_ = 0;
    double rate_ = 0;
    std::unordered_map<int, Hrir> cache_;
};

} // namespace vaun
