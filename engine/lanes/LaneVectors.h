// LaneVectors.h - the vector types of the lane kernels and their loads, stores and shuffles.
//
// Included by the lane kernels only (lanes/PixelLanes.cpp): the helpers are always inlined into
// the kernels of one instruction set.
#pragma once

#include <cfloat>
#include <cstdint>
#include <cstring>

// The helpers are always inlined into the kernels of one instruction set, so the ABI of
// passing a wide vector by value, which GCC warns about for code built without AVX, never
// applies.
#pragma GCC diagnostic ignored "-Wpsabi"

#define GW_LANE_INLINE [[gnu::always_inline]] inline

namespace gw::pixel::lanes {

/// Vector types of nDoubles double lanes, and of the floats of twice as many lanes.
template <int nDoubles>
struct V
{
    static constexpr int kDoubles = nDoubles;
    static constexpr int kFloats = 2 * nDoubles;
    typedef double D __attribute__((vector_size(nDoubles * sizeof(double))));
    typedef std::uint64_t U __attribute__((vector_size(nDoubles * sizeof(std::uint64_t))));
    typedef float H __attribute__((vector_size(nDoubles * sizeof(float))));
    typedef float F __attribute__((vector_size(2 * nDoubles * sizeof(float))));
    typedef std::int32_t I __attribute__((vector_size(2 * nDoubles * sizeof(std::int32_t))));
};

template <class T>
GW_LANE_INLINE T LoadVec(const void* p) noexcept
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
GW_LANE_INLINE void StoreVec(void* p, const T& v) noexcept
{
    std::memcpy(p, &v, sizeof v);
}

template <class T, class From>
GW_LANE_INLINE T Bits(const From& v) noexcept
{
    static_assert(sizeof(T) == sizeof(From));
    T t;
    std::memcpy(&t, &v, sizeof t);
    return t;
}

template <class Mask>
GW_LANE_INLINE bool AnySet(const Mask& m) noexcept
{
    constexpr int n = static_cast<int>(sizeof(Mask) / sizeof(m[0]));
    bool bAny = false;
    for (int j = 0; j < n; ++j)
        bAny |= m[j] != 0;
    return bAny;
}

template <class F>
GW_LANE_INLINE auto NotFinite(const F& v) noexcept
{
    // |v| > FLT_MAX or NaN, without the sign bit.
    return !(v <= FLT_MAX && v >= -FLT_MAX);
}

/// Lane j of channel nChannel of kF interleaved pixels.
template <class F>
GW_LANE_INLINE F Gather(const float* p, int nStride, int nChannel) noexcept
{
    F v;
    for (int j = 0; j < static_cast<int>(sizeof(F) / sizeof(float)); ++j)
        v[j] = p[static_cast<std::ptrdiff_t>(j) * nStride + nChannel];
    return v;
}

/// Shuffle masks for vectors of kF floats.
template <int kF>
struct IntLanes
{
    typedef std::int32_t I __attribute__((vector_size(kF * sizeof(std::int32_t))));
};

/// The three channels of kF interleaved pixels: three vector loads and shuffles.
template <class F>
GW_LANE_INLINE void LoadPixels(const float* p, F (&channel)[3]) noexcept
{
    constexpr int kF = static_cast<int>(sizeof(F) / sizeof(float));
    using I = typename IntLanes<kF>::I;
    const F x0 = LoadVec<F>(p);
    const F x1 = LoadVec<F>(p + kF);
    const F x2 = LoadVec<F>(p + 2 * kF);
    if constexpr (kF == 8) {
        channel[0] = __builtin_shuffle(__builtin_shuffle(x0, x1, I{0, 3, 6, 9, 12, 15, 0, 0}), x2,
                                       I{0, 1, 2, 3, 4, 5, 10, 13});
        channel[1] = __builtin_shuffle(__builtin_shuffle(x0, x1, I{1, 4, 7, 10, 13, 0, 0, 0}), x2,
                                       I{0, 1, 2, 3, 4, 8, 11, 14});
        channel[2] = __builtin_shuffle(__builtin_shuffle(x0, x1, I{2, 5, 8, 11, 14, 0, 0, 0}), x2,
                                       I{0, 1, 2, 3, 4, 9, 12, 15});
    } else if constexpr (kF == 4) {
        channel[0] = __builtin_shuffle(__builtin_shuffle(x0, x1, I{0, 3, 6, 0}), x2, I{0, 1, 2, 5});
        channel[1] = __builtin_shuffle(__builtin_shuffle(x0, x1, I{1, 4, 7, 0}), x2, I{0, 1, 2, 6});
        channel[2] = __builtin_shuffle(__builtin_shuffle(x0, x1, I{2, 5, 0, 0}), x2, I{0, 1, 4, 7});
    } else {
        for (int k = 0; k < 3; ++k)
            channel[k] = Gather<F>(p, 3, k);
    }
}

/// Three channels into kF interleaved RGB pixels.
template <class F>
GW_LANE_INLINE void ScatterRgb(float* p, const F& r, const F& g, const F& b) noexcept
{
    constexpr int kF = static_cast<int>(sizeof(F) / sizeof(float));
    using I = typename IntLanes<kF>::I;
    if constexpr (kF == 8) {
        StoreVec(p, __builtin_shuffle(__builtin_shuffle(r, g, I{0, 8, 0, 1, 9, 0, 2, 10}), b,
                                      I{0, 1, 8, 3, 4, 9, 6, 7}));
        StoreVec(p + kF, __builtin_shuffle(__builtin_shuffle(r, g, I{0, 3, 11, 0, 4, 12, 0, 5}), b,
                                           I{10, 1, 2, 11, 4, 5, 12, 7}));
        StoreVec(p + 2 * kF,
                 __builtin_shuffle(__builtin_shuffle(r, g, I{13, 0, 6, 14, 0, 7, 15, 0}), b,
                                   I{0, 13, 2, 3, 14, 5, 6, 15}));
    } else if constexpr (kF == 4) {
        StoreVec(p, __builtin_shuffle(__builtin_shuffle(r, g, I{0, 4, 0, 1}), b, I{0, 1, 4, 3}));
        StoreVec(p + kF,
                 __builtin_shuffle(__builtin_shuffle(r, g, I{5, 0, 2, 6}), b, I{0, 5, 2, 3}));
        StoreVec(p + 2 * kF,
                 __builtin_shuffle(__builtin_shuffle(r, g, I{0, 3, 7, 0}), b, I{6, 1, 2, 7}));
    } else {
        float interleaved[3 * kF];
        for (int j = 0; j < kF; ++j) {
            interleaved[3 * j] = r[j];
            interleaved[3 * j + 1] = g[j];
            interleaved[3 * j + 2] = b[j];
        }
        std::memcpy(p, interleaved, sizeof interleaved);
    }
}

} // namespace gw::pixel::lanes
