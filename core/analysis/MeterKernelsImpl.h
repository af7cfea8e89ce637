// Kernel bodies shared by the baseline and the AVX2 build of the meters' inner loops.
// Included inside a namespace that defines floatLanes, doubleLanes and
// VAUN_CORRELATION_TARGET; no headers may be included from here.
//
// Vectors are GCC vector extensions, so the same text becomes SSE2 or AVX2 code. Tails
// that do not fill a vector are either computed exactly like the vector lanes (max is
// exact) or padded into a full vector, so a sample's result never depends on whether it
// landed in a tail.

using VF = float __attribute__((vector_size(sizeof(float) * floatLanes)));
using VI = int __attribute__((vector_size(sizeof(int) * floatLanes)));
using VD = double __attribute__((vector_size(sizeof(double) * doubleLanes)));
using VD2 = double __attribute__((vector_size(sizeof(double) * 2)));

__attribute__((always_inline)) inline VF loadF(const float* p) {
    VF v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

__attribute__((always_inline)) inline VF absF(VF v) {
    return (VF)((VI)v & 0x7fffffff);
}

// Lane-wise a > m ? a : m, which keeps m when a is NaN.
__attribute__((always_inline)) inline VF maxF(VF a, VF m) {
    return a > m ? a : m;
}

__attribute__((always_inline)) inline float reduceMax(VF v, float best) {
    for (int l = 0; l < floatLanes; ++l) best = v[l] > best ? v[l] : best;
    return best;
}

float maxMagnitude(const float* x, std::int64_t n) {
    float best = 0.0f;
    std::int64_t i = 0;
    constexpr std::int64_t step = 4 * floatLanes;
    if (n >= step) {
        VF m0{}, m1{}, m2{}, m3{};
        for (; i + step <= n; i += step) {
            m0 = maxF(absF(loadF(x + i)), m0);
            m1 = maxF(absF(loadF(x + i + floatLanes)), m1);
            m2 = maxF(absF(loadF(x + i + 2 * floatLanes)), m2);
            m3 = maxF(absF(loadF(x + i + 3 * floatLanes)), m3);
        }
        best = reduceMax(maxF(maxF(m0, m1), maxF(m2, m3)), best);
    }
    for (; i < n; ++i) {
        const float a = __builtin_fabsf(x[i]);
        best = a > best ? a : best;
    }
    return best;
}

// floatLanes consecutive outputs of P phases starting at p, with the coefficients
// broadcast (12 per phase); lanes at or beyond `valid` are discarded. The phases run side
// by side and each sums its even and its odd taps separately, so the additions form
// short independent chains instead of one long one.
template <int P>
VAUN_CORRELATION_TARGET __attribute__((always_inline)) inline VF
correlateBlock(const float* p, const VF* coefficients, VF best, int valid) {
    VF even[P], odd[P];
    {
        const VF v0 = loadF(p), v1 = loadF(p + 1);
#pragma GCC unroll 4
        for (int q = 0; q < P; ++q) {
            even[q] = v0 * coefficients[12 * q];
            odd[q] = v1 * coefficients[12 * q + 1];
        }
    }
#pragma GCC unroll 5
    for (int j = 2; j < 12; j += 2) {
        const VF vj = loadF(p + j), vk = loadF(p + j + 1);
#pragma GCC unroll 4
        for (int q = 0; q < P; ++q) {
            even[q] = even[q] + vj * coefficients[12 * q + j];
            odd[q] = odd[q] + vk * coefficients[12 * q + j + 1];
        }
    }
    VI lane;
    for (int l = 0; l < floatLanes; ++l) lane[l] = l;
    const VI keep = lane < valid;
#pragma GCC unroll 4
    for (int q = 0; q < P; ++q) best = maxF((VF)((VI)absF(even[q] + odd[q]) & keep), best);
    return best;
}

template <int P>
VAUN_CORRELATION_TARGET __attribute__((always_inline)) inline VF
correlatePhases(const float* x, std::int64_t n, const VF* coefficients, VF best) {
    // The last partial vector reads a zero-padded copy. It goes through the same single
    // copy of the block code as every other, so fused or not, a position's arithmetic is
    // the same wherever a block boundary falls.
    float tail[floatLanes + 12] = {};
    for (std::int64_t k = 0; k < n; k += floatLanes) {
        const float* p = x + k;
        int valid = floatLanes;
        if (n - k < floatLanes) {
            valid = int(n - k);
            for (int j = 0; j < valid + 11; ++j) tail[j] = x[k + j];
            p = tail;
        }
        best = correlateBlock<P>(p, coefficients, best, valid);
    }
    return best;
}

VAUN_CORRELATION_TARGET float polyphasePeak(const float* x, std::int64_t n, const float* coefficients,
                                            int phaseCount) {
    if (n <= 0 || phaseCount <= 0) return 0.0f;
    VF best{};
    for (int first = 0; first < phaseCount;) {
        const int group = phaseCount - first >= 4 ? 4 : phaseCount - first >= 2 ? 2 : 1;
        VF broadcast[4 * 12];
        for (int i = 0; i < 12 * group; ++i)
            for (int l = 0; l < floatLanes; ++l) broadcast[i][l] = coefficients[12 * first + i];
        if (group == 4)
            best = correlatePhases<4>(x, n, broadcast, best);
        else if (group == 2)
            best = correlatePhases<2>(x, n, broadcast, best);
        else
            best = correlatePhases<1>(x, n, broadcast, best);
        first += group;
    }
    return reduceMax(best, 0.0f);
}

// G vectors V of channels; lanes beyond `count` repeat lane 0 and are dropped at the end.
// The coefficients are taken lane by lane from the first vector's lanes and serve every
// vector, so with G > 1 all lanes must share one filter.
template <class V, int G>
void kWeightGroup(const FilterLane* lanes, int count, std::int64_t n) {
    constexpr int width = int(sizeof(V) / sizeof(double));
    constexpr int lanesPerGroup = G * width;
    const float* src[lanesPerGroup];
    V s10[G], s11[G], s20[G], s21[G], acc[G];
    for (int g = 0; g < G; ++g) {
        for (int l = 0; l < width; ++l) {
            const int index = g * width + l;
            const FilterLane& lane = lanes[index < count ? index : 0];
            src[index] = lane.samples;
            s10[g][l] = lane.s1[0];
            s11[g][l] = lane.s1[1];
            s20[g][l] = lane.s2[0];
            s21[g][l] = lane.s2[1];
            acc[g][l] = *lane.sum;
        }
    }
    V b10, b11, b12, a10, a11, b20, b21, b22, a20, a21;
    for (int l = 0; l < width; ++l) {
        const BiquadPair& f = *lanes[l < count ? l : 0].filter;
        b10[l] = f.b1[0];
        b11[l] = f.b1[1];
        b12[l] = f.b1[2];
        a10[l] = f.a1[0];
        a11[l] = f.a1[1];
        b20[l] = f.b2[0];
        b21[l] = f.b2[1];
        b22[l] = f.b2[2];
        a20[l] = f.a2[0];
        a21[l] = f.a2[1];
    }
    for (std::int64_t i = 0; i < n; ++i) {
#pragma GCC unroll 4
        for (int g = 0; g < G; ++g) {
            V x;
            for (int l = 0; l < width; ++l) x[l] = double(src[g * width + l][i]);
            const V y1 = s10[g] + b10 * x;
            s10[g] = s11[g] + b11 * x - a10 * y1;
            s11[g] = b12 * x - a11 * y1;
            const V y2 = s20[g] + b20 * y1;
            s20[g] = s21[g] + b21 * y1 - a20 * y2;
            s21[g] = b22 * y1 - a21 * y2;
            acc[g] = acc[g] + y2 * y2;
        }
    }
    for (int index = 0; index < count && index < lanesPerGroup; ++index) {
        const int g = index / width, l = index % width;
        const FilterLane& lane = lanes[index];
        lane.s1[0] = s10[g][l];
        lane.s1[1] = s11[g][l];
        lane.s2[0] = s20[g][l];
        lane.s2[1] = s21[g][l];
        *lane.sum = acc[g][l];
    }
}

inline bool sameFilter(const BiquadPair& a, const BiquadPair& b) {
    return __builtin_memcmp(&a, &b, sizeof a) == 0;
}

void kWeightedSquares(const FilterLane* lanes, int count, std::int64_t n) {
    // At most two full vectors at a time: enough independent recurrences to hide the
    // latency of one, few enough to stay in registers. One or two channels take a
    // two-lane vector whatever the build. Two vectors share one set of coefficients, so
    // lanes of different filters go a vector at a time.
    while (count > 0) {
        if (count <= 2) {
            kWeightGroup<VD2, 1>(lanes, count, n);
            return;
        }
        if (count <= doubleLanes) {
            kWeightGroup<VD, 1>(lanes, count, n);
            return;
        }
        const int pair = count < 2 * doubleLanes ? count : 2 * doubleLanes;
        bool shared = true;
        for (int i = 1; i < pair; ++i) shared = shared && sameFilter(*lanes[i].filter, *lanes[0].filter);
        if (!shared) {
            kWeightGroup<VD, 1>(lanes, doubleLanes, n);
            lanes += doubleLanes;
            count -= doubleLanes;
            continue;
        }
        kWeightGroup<VD, 2>(lanes, count, n);
        lanes += 2 * doubleLanes;
        count -= 2 * doubleLanes;
    }
}
