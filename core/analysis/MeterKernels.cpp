#include "analysis/MeterKernels.h"

#include <cstdint>

namespace vaun::kernels {

namespace baseline {
inline constexpr int floatLanes = 4;
inline constexpr int doubleLanes = 2;
#define VAUN_CORRELATION_TARGET
#include "analysis/MeterKernelsImpl.h"
#undef VAUN_CORRELATION_TARGET
} // namespace baseline

// Defined in MeterKernelsAvx2.cpp, compiled for AVX2.
namespace avx2 {
float maxMagnitude(const float* x, std::int64_t n);
float polyphasePeak(const float* x, std::int64_t n, const float* coefficients, int phaseCount);
void kWeightedSquares(const FilterLane* lanes, int count, std::int64_t n);
} // namespace avx2

Isa bestIsa() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? Isa::avx2 : Isa::baseline;
}

float maxMagnitude(const float* x, std::int64_t n, Isa isa) {
    return isa == Isa::avx2 ? avx2::maxMagnitude(x, n) : baseline::maxMagnitude(x, n);
}

float polyphasePeak(const float* x, std::int64_t n, const float* coefficients, int phaseCount, Isa isa) {
    return isa == Isa::avx2 ? avx2::polyphasePeak(x, n, coefficients, phaseCount)
                            : baseline::polyphasePeak(x, n, coefficients, phaseCount);
}

void kWeightedSquares(const FilterLane* lanes, int count, std::int64_t n, Isa isa) {
    if (isa == Isa::avx2)
        avx2::kWeightedSquares(lanes, count, n);
    else
        baseline::kWeightedSquares(lanes, count, n);
}

} // namespace vaun::kernels
