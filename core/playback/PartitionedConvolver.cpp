#include "playback/PartitionedConvolver.h"

#include "analysis/FftwPlanner.h"
#include "common/Errors.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>

namespace vaun {
namespace {

struct FftwFree {
    void operator()(void* p) const noexcept { fftwf_free(p); }
};

} // namespace

struct PartitionedConvolver::Plans {
    std::unique_ptr<float, FftwFree> real;
    std::unique_ptr<fftwf_complex, FftwFree> complex;
    fftwf_plan forward = nullptr;
    fftwf_plan backward = nullptr;

    explicit Plans(std::size_t size) {
        real.reset(fftwf_alloc_real(size));
        complex.reset(fftwf_alloc_complex(size / 2 + 1));
        if (!real || !complex) throw std::bad_alloc();
        std::lock_guard lock(fftwPlannerMutex());
        forward = fftwf_plan_dft_r2c_1d(int(size), real.get(), complex.get(), FFTW_ESTIMATE);
        backward = fftwf_plan_dft_c2r_1d(int(size), complex.get(), real.get(), FFTW_ESTIMATE);
        if (!forward || !backward) {
            if (forward) fftwf_destroy_plan(forward);
            if (backward) fftwf_destroy_plan(backward);
            throw std::bad_alloc();
        }
    }
    ~Plans() {
        std::lock_guard lock(fftwPlannerMutex());
        fftwf_destroy_plan(forward);
        fftwf_destroy_plan(backward);
    }
    Plans(const Plans&) = delete;
    Plans& operator=(const Plans&) = delete;

    std::complex<float>* spectrum() { return reinterpret_cast<std::complex<float>*>(complex.get()); }
};

PartitionedConvolver::PartitionedConvolver(std::size_t blockFrames, std::size_t filterFrames)
    : block_(std::max<std::size_t>(blockFrames, 16)),
      partitions_(std::max<std::size_t>(1, (filterFrames + block_ - 1) / block_)),
      bins_(block_ + 1),
      plans_(std::make_unique<Plans>(2 * block_)),
      filterFrames_(filterFrames),
      fadeIn_(block_) {
    // Raised cosine: old and new responses of one direction add up to the same level.
    for (std::size_t i = 0; i < block_; ++i) {
        const double s = std::sin(0.5 * std::numbers::pi * (double(i) + 0.5) / double(block_));
        fadeIn_[i] = float(s * s);
    }
    for (int ear = 0; ear < 2; ++ear) {
        steady_[ear].assign(bins_, {});
        incoming_[ear].assign(bins_, {});
        outgoing_[ear].assign(bins_, {});
    }
}

PartitionedConvolver::~PartitionedConvolver() = default;

PartitionedConvolver::Filter PartitionedConvolver::transform(const float* left, const float* right) const {
    Filter f;
    f.left.resize(partitions_ * bins_);
    f.right.resize(partitions_ * bins_);
    // Plans execute on other arrays through the new-array interface; no planner involved.
    std::unique_ptr<float, FftwFree> in(fftwf_alloc_real(2 * block_));
    std::unique_ptr<fftwf_complex, FftwFree> out(fftwf_alloc_complex(bins_));
    if (!in || !out) throw std::bad_alloc();
    // The 1/N of the unnormalised inverse transform goes into the filter.
    const float scale = 1.0f / float(2 * block_);
    for (int ear = 0; ear < 2; ++ear) {
        const float* h = ear == 0 ? left : right;
        Bins& dst = ear == 0 ? f.left : f.right;
        for (std::size_t p = 0; p < partitions_; ++p) {
            std::fill(in.get(), in.get() + 2 * block_, 0.0f);
            const std::size_t from = p * block_;
            const std::size_t n = std::min(block_, filterFrames_ - std::min(filterFrames_, from));
            for (std::size_t i = 0; i < n; ++i) in.get()[i] = h[from + i] * scale;
            fftwf_execute_dft_r2c(plans_->forward, in.get(), out.get());
            const auto* c = reinterpret_cast<const std::complex<float>*>(out.get());
            std::copy(c, c + bins_, dst.begin() + std::ptrdiff_t(p * bins_));
        }
    }
    return f;
}

PartitionedConvolver::Source PartitionedConvolver::makeSource() const {
    Source s;
    s.history.assign(partitions_ * bins_, {});
    s.previous.assign(block_, 0.0f);
    return s;
}

void PartitionedConvolver::clear(Source& source) {
    std::fill(source.history.begin(), source.history.end(), std::complex<float>{});
    std::fill(source.previous.begin(), source.previous.end(), 0.0f);
    source.head = 0;
}

void PartitionedConvolver::begin() {
    for (int ear = 0; ear < 2; ++ear) {
        std::fill(steady_[ear].begin(), steady_[ear].end(), std::complex<float>{});
        if (anyFading_) {
            std::fill(incoming_[ear].begin(), incoming_[ear].end(), std::complex<float>{});
            std::fill(outgoing_[ear].begin(), outgoing_[ear].end(), std::complex<float>{});
        }
    }
    anyFading_ = false;
}

void PartitionedConvolver::add(Source& source, const float* input, const Filter& current, const Filter* previous) {
    float* r = plans_->real.get();
    std::copy(source.previous.begin(), source.previous.end(), r);
    std::copy(input, input + block_, r + block_);
    std::copy(input, input + block_, source.previous.begin());
    fftwf_execute(plans_->forward);
    source.head = (source.head + partitions_ - 1) % partitions_;
    const std::complex<float>* x = plans_->spectrum();
    std::copy(x, x + bins_, source.history.begin() + std::ptrdiff_t(source.head * bins_));
    if (!previous) {
        accumulate(source, current, steady_[0], steady_[1]);
        return;
    }
    anyFading_ = true;
    accumulate(source, current, incoming_[0], incoming_[1]);
    accumulate(source, *previous, outgoing_[0], outgoing_[1]);
}

void PartitionedConvolver::accumulate(const Source& source, const Filter& filter, Bins& left, Bins& right) const {
    // Plain float arithmetic so the compiler vectorises; std::complex multiplication checks NaNs.
    auto* l = reinterpret_cast<float*>(left.data());
    auto* r = reinterpret_cast<float*>(right.data());
    for (std::size_t p = 0; p < partitions_; ++p) {
        const std::size_t slot = (source.head + p) % partitions_;
        const auto* x = reinterpret_cast<const float*>(source.history.data() + slot * bins_);
        const auto* hl = reinterpret_cast<const float*>(filter.left.data() + p * bins_);
        const auto* hr = reinterpret_cast<const float*>(filter.right.data() + p * bins_);
        for (std::size_t k = 0; k < 2 * bins_; k += 2) {
            const float xr = x[k], xi = x[k + 1];
            l[k] += xr * hl[k] - xi * hl[k + 1];
            l[k + 1] += xr * hl[k + 1] + xi * hl[k];
            r[k] += xr * hr[k] - xi * hr[k + 1];
            r[k + 1] += xr * hr[k + 1] + xi * hr[k];
        }
    }
}

void PartitionedConvolver::inverse(Bins& spectrum, float* out, const float* fade, bool fadeOut) {
    std::copy(spectrum.begin(), spectrum.end(), plans_->spectrum());
    fftwf_execute(plans_->backward);
    const float* y = plans_->real.get() + block_; // overlap-save: the second half is valid
    if (!fade) {
        for (std::size_t i = 0; i < block_; ++i) out[i] += y[i];
    } else if (fadeOut) {
        for (std::size_t i = 0; i < block_; ++i) out[i] += (1.0f - fade[i]) * y[i];
    } else {
        for (std::size_t i = 0; i < block_; ++i) out[i] += fade[i] * y[i];
    }
}

void PartitionedConvolver::finish(float* left, float* right) {
    float* ears[2] = {left, right};
    for (int ear = 0; ear < 2; ++ear) {
        inverse(steady_[ear], ears[ear], nullptr, false);
        if (anyFading_) {
            inverse(incoming_[ear], ears[ear], fadeIn_.data(), false);
            inverse(outgoing_[ear], ears[ear], fadeIn_.data(), true);
        }
    }
}

} // namespace vaun
