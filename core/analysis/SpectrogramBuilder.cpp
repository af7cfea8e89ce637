#include "analysis/SpectrogramBuilder.h"

#include "analysis/FftwPlanner.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <numbers>
#include <stdexcept>

namespace vaun {

namespace {

constexpr int bins = SpectrogramBuilder::fftSize / 2; // bins 1 … 1023 are used

struct FftwFree {
    void operator()(void* p) const { fftwf_free(p); }
};

// a × i / (b − 1) rounded down, without forming a × i.
std::int64_t spread(std::int64_t a, std::int64_t i, std::int64_t b) {
    const std::int64_t d = b - 1;
    return (a / d) * i + (a % d) * i / d;
}

std::uint8_t quantise(float magnitudeOverWindow) {
    const double ratio = std::max(double(magnitudeOverWindow), 1e-9);
    const double level = 20.0 * std::log10(ratio);
    const double scaled = (level + 100.0) / 100.0 * 255.0;
    if (!(scaled > 0.0)) return 0; // also NaN
    return std::uint8_t(std::min(scaled, 255.0));
}

} // namespace

// One real-to-complex plan of 2048 points on its own aligned buffers.
struct SpectrogramBuilder::FFT {
    std::unique_ptr<float, FftwFree> input{fftwf_alloc_real(fftSize)};
    std::unique_ptr<fftwf_complex, FftwFree> output{fftwf_alloc_complex(bins + 1)};
    fftwf_plan plan = nullptr;

    FFT() {
        if (!input || !output) throw std::bad_alloc();
        std::lock_guard lock(fftwPlannerMutex());
        plan = fftwf_plan_dft_r2c_1d(fftSize, input.get(), output.get(), FFTW_ESTIMATE);
        if (!plan) throw std::runtime_error("cannot plan a 2048-point transform");
    }
    ~FFT() {
        std::lock_guard lock(fftwPlannerMutex());
        fftwf_destroy_plan(plan);
    }
    FFT(const FFT&) = delete;
    FFT& operator=(const FFT&) = delete;
};

SpectrogramBuilder::SpectrogramBuilder(std::int64_t totalFrames, double rate, int columns)
    : rate_(rate), maxHz_(std::min(rate * 0.5, 24000.0)) {
    const std::int64_t a = totalFrames - fftSize;
    if (a >= 1) {
        const std::int64_t b = std::min<std::int64_t>(a / 512, columns);
        const std::int64_t planned = std::max<std::int64_t>(b, 1);
        starts_.reserve(std::size_t(planned));
        for (std::int64_t i = 0; i < planned; ++i) starts_.push_back(b > 1 ? spread(a, i, b) : 0);
        setup_ = std::make_unique<FFT>();
        values_.reserve(std::size_t(planned) * rows);
        collect_.reserve(fftSize);
    }

    // Periodic Hann window; its scale cancels against its sum.
    window_.resize(fftSize);
    for (int n = 0; n < fftSize; ++n)
        window_[std::size_t(n)] = float(0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * double(n) / fftSize)));
    for (float w : window_) windowSum_ += w;

    // Each row spans half a row either side of its centre on the log axis.
    const double binHz = rate / fftSize;
    const double ratio = maxHz_ / minHz;
    const auto binBelow = [&](double hz) { return std::clamp(std::trunc(hz / binHz), 0.0, double(bins - 1)); };
    for (int r = 0; r < rows; ++r) {
        const double lowHz = minHz * std::pow(ratio, (r - 0.5) / (rows - 1));
        const double highHz = minHz * std::pow(ratio, (r + 0.5) / (rows - 1));
        const double lo = std::max(1.0, binBelow(lowHz));
        const double hi = std::min(std::max(binBelow(highHz), lo), double(bins - 1));
        bandLow_[std::size_t(r)] = int(lo);
        bandHigh_[std::size_t(r)] = int(hi);
    }
}

SpectrogramBuilder::~SpectrogramBuilder() = default;

void SpectrogramBuilder::process(const float* const* channels, std::size_t channelCount, std::int64_t frames) {
    if (starts_.empty() || frames <= 0 || !setup_) return;
    if (channelCount == 0) throw std::invalid_argument("no channels to mix");
    const float channelScale = float(channelCount);
    std::int64_t o = 0;
    while (o < frames) {
        if (collecting_ < 0) {
            if (nextColumn_ >= std::int64_t(starts_.size())) return;
            const std::int64_t start = starts_[std::size_t(nextColumn_)];
            const std::int64_t blockEnd = position_ + (frames - o);
            if (start >= blockEnd) {
                position_ = blockEnd;
                return;
            }
            // A start already passed (the previous column was still collecting) begins
            // here instead: columns never overlap.
            if (start > position_) {
                o += start - position_;
                position_ = start;
            }
            collecting_ = nextColumn_;
            collect_.clear();
        }
        const std::int64_t k = std::min(std::int64_t(fftSize) - std::int64_t(collect_.size()), frames - o);
        const std::size_t at = collect_.size();
        collect_.resize(at + std::size_t(k));
        float* mono = collect_.data() + at;
        const float* first = channels[0] + o;
        std::copy(first, first + k, mono);
        for (std::size_t c = 1; c < channelCount; ++c) {
            const float* src = channels[c] + o;
            for (std::int64_t f = 0; f < k; ++f) mono[f] += src[f];
        }
        for (std::int64_t f = 0; f < k; ++f) mono[f] /= channelScale;
        o += k;
        position_ += k;
        if (collect_.size() == std::size_t(fftSize)) {
            computeColumn();
            collecting_ = -1;
            ++nextColumn_;
        }
    }
}

void SpectrogramBuilder::computeColumn() {
    float* input = setup_->input.get();
    for (int n = 0; n < fftSize; ++n) input[n] = collect_[std::size_t(n)] * window_[std::size_t(n)];
    fftwf_execute(setup_->plan);

    // Twice the plain DFT magnitude, the scale of a packed real transform.
    const fftwf_complex* spectrum = setup_->output.get();
    std::array<float, bins> magnitude{};
    for (int k = 1; k < bins; ++k) {
        const float re = spectrum[k][0], im = spectrum[k][1];
        magnitude[std::size_t(k)] = 2.0f * std::sqrt(re * re + im * im);
    }

    for (int r = 0; r < rows; ++r) {
        const int lo = bandLow_[std::size_t(r)], hi = bandHigh_[std::size_t(r)];
        float m = magnitude[std::size_t(lo)];
        for (int k = lo + 1; k <= hi; ++k) m = magnitude[std::size_t(k)] > m ? magnitude[std::size_t(k)] : m;
        values_.push_back(quantise(m / windowSum_));
    }
}

std::optional<Spectrogram> SpectrogramBuilder::finish() {
    setup_.reset();
    const std::size_t completed = values_.size() / rows;
    if (completed < 1) return std::nullopt;
    Spectrogram result;
    result.columns = std::int64_t(completed);
    result.rows = rows;
    result.minHz = minHz;
    result.maxHz = maxHz_;
    result.values.assign(values_.begin(), values_.begin() + std::ptrdiff_t(completed * rows));
    return result;
}

} // namespace vaun
