#pragma once
// The inner loops of the meters, compiled twice: for baseline x86-64 (SSE2) and for
// AVX2. Callers pick a variant once with bestIsa(); benchmarks and tests may force one.
//
// Every variant treats each sample position with the same instruction sequence, so
// results never depend on how a stream is cut into blocks. K-weighting and peak search
// give bit-identical results in both variants; the polyphase correlation uses fused
// multiply-add under AVX2 and may differ from the baseline in the last bits.
#include <cstdint>

namespace vaun::kernels {

enum class Isa { baseline, avx2 };

// The best variant this processor runs.
Isa bestIsa();

// Largest |x[i]| for i < n; 0 for n ≤ 0. NaN samples are ignored.
float maxMagnitude(const float* x, std::int64_t n, Isa isa);

// Largest |Σ_{j<12} x[k + j] · coefficients[12p + j]| over phases p < phaseCount and
// k < n; x holds n + 11 values. 0 for n ≤ 0. NaN outputs are ignored.
float polyphasePeak(const float* x, std::int64_t n, const float* coefficients, int phaseCount,
                    Isa isa);

// The coefficients of a K-weighting pass (transposed direct form II).
struct BiquadPair {
    double b1[3];
    double a1[2];
    double b2[3];
    double a2[2];
};

// One channel of a K-weighting pass: its filter, its samples, its two filter states
// (updated in place) and the running sum that the squared outputs are added to, one by one.
struct FilterLane {
    const BiquadPair* filter;
    const float* samples;
    double* s1;  // two values
    double* s2;  // two values
    double* sum;
};

// Most channels one call filters in lock-step.
inline constexpr int maxFilterLanes = 8;

// Runs n samples of each of `count` lanes (1 … maxFilterLanes) through both stages.
// Each lane's arithmetic is exactly the scalar recurrence, in the same order. Lanes may
// have different filters (streams at different rates side by side).
void kWeightedSquares(const FilterLane* lanes, int count, std::int64_t n, Isa isa);

} // namespace vaun::kernels
