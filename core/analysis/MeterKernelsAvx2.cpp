// The AVX2 build of the meters' inner loops. Only the correlation may fuse multiply and
// add; the K-weighting keeps the exact scalar arithmetic, so it gets AVX2 without FMA.
#include "analysis/MeterKernels.h"

#include <cstdint>

#pragma GCC target("avx2")

namespace vaun::kernels::avx2 {
inline constexpr int floatLanes = 8;
inline constexpr int doubleLanes = 4;
#define VAUN_CORRELATION_TARGET __attribute__((target("avx2,fma")))
#include "analysis/MeterKernelsImpl.h"
#undef VAUN_CORRELATION_TARGET
} // namespace vaun::kernels::avx2
