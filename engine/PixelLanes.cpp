// PixelLanes.cpp - lane forms of the power, the reflectance row, the colour conversions, the
// blends, the data bounds and the channel copies. Every kernel is one template over the lane
// count, instantiated for the baseline and, with run-time dispatch, for AVX2.
#include "PixelLanes.h"

#include "CImageEngine.h"
#include "CpuFeatures.h"
#include "PortableMath.h"

#include <cfloat>
#include <cstdint>
#include <cstring>

namespace gw::pixel {

namespace {

// The helpers are always inlined into the kernels of one instruction set, so the ABI of
// passing a wide vector by value, which GCC warns about for code built without AVX, never
// applies.
#pragma GCC diagnostic ignored "-Wpsabi"

#define GW_LANE_INLINE [[gnu::always_inline]] inline

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

// ---------------------------------------------------------------------------------------------
// The power: PortablePowFast on every lane.

/// Lane j of the result is table[index[j]] (indices in range).
template <class D, class U>
GW_LANE_INLINE D Lookup(const double* pTable, const U& index) noexcept
{
    D v{};
    for (int j = 0; j < static_cast<int>(sizeof(D) / sizeof(double)); ++j)
        v[j] = pTable[static_cast<std::size_t>(index[j])];
    return v;
}

/// The table-driven power on K vectors of lanes at once (independent chains the processor
/// overlaps): PortablePowFast's operations in its order for normal, finite x > 0 with
/// |y log x| < 700. Lanes outside that, and x == 1, are flagged in special (any bits set).
template <int N, int K>
GW_LANE_INLINE void PowCore(const typename V<N>::D (&x)[K], double y, typename V<N>::D (&result)[K],
                            typename V<N>::U& special) noexcept
{
    using D = typename V<N>::D;
    using U = typename V<N>::U;
    const detail::PowTables& tables = detail::Tables();
    constexpr double kInvStep = 64.0 / (detail::kLn2Hi + detail::kLn2Lo);
    constexpr double kStepHi = detail::kLn2Hi / 64.0;
    constexpr double kStepLo = detail::kLn2Lo / 64.0;
    constexpr double kShift = 6755399441055744.0; // 1.5 * 2^52, as in RoundToInt

    U nBits[K];
    D e[K], m[K], c[K], inv[K], logCentre[K], r[K], r2[K], p[K], t[K], kShifted[K], k[K], s[K], q[K];
    U anySpecial{};
    for (int g = 0; g < K; ++g) {
        // A normal, finite, positive x other than 1 (NaN fails every comparison).
        anySpecial |= reinterpret_cast<U>(!(x[g] >= DBL_MIN && x[g] <= DBL_MAX) || x[g] == 1.0);
        nBits[g] = Bits<U>(x[g]);
        // The exponent as a double, exactly: (2^52 + biased) - (2^52 + 1023).
        e[g] = Bits<D>((nBits[g] >> 52) | 0x4330000000000000ull) - 4503599627371519.0;
        m[g] = Bits<D>((nBits[g] & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
        // c = 1 + (slice + 0.5) / 128, exact, from its bits.
        c[g] = Bits<D>((nBits[g] & 0x000FE00000000000ull) | 0x3FF0100000000000ull);
        const U nSlice = (nBits[g] >> 45) & 0x7Fu;
        inv[g] = Lookup<D>(tables.invCentre.data(), nSlice);
        logCentre[g] = Lookup<D>(tables.logCentre.data(), nSlice);
    }
    for (int g = 0; g < K; ++g)
        r[g] = (m[g] - c[g]) * inv[g];
    for (int g = 0; g < K; ++g)
        r2[g] = r[g] * r[g];
    for (int g = 0; g < K; ++g)
        p[g] = r[g] - r2[g] * (0.5 - r[g] * (1.0 / 3.0 - r[g] * (0.25 - r[g] * (0.2 - r[g] * (1.0 / 6.0 - r[g] * (1.0 / 7.0))))));
    for (int g = 0; g < K; ++g) {
        const D logX = e[g] * detail::kLn2Hi + (e[g] * detail::kLn2Lo + (logCentre[g] + p[g]));
        t[g] = y * logX;
        anySpecial |= reinterpret_cast<U>(!(t[g] > -700.0 && t[g] < 700.0));
    }
    for (int g = 0; g < K; ++g) {
        kShifted[g] = t[g] * kInvStep + kShift;
        k[g] = kShifted[g] - kShift;
        s[g] = (t[g] - k[g] * kStepHi) - k[g] * kStepLo;
    }
    for (int g = 0; g < K; ++g)
        q[g] = 1.0 + s[g] * (1.0 + s[g] * (0.5 + s[g] * (1.0 / 6.0 + s[g] * (1.0 / 24.0 + s[g] * (1.0 / 120.0 + s[g] * (1.0 / 720.0))))));
    for (int g = 0; g < K; ++g) {
        // k as an integer is the difference of the bits of kShifted and kShift (both in
        // [2^52, 2^53)); its low six bits pick the step, the rest, times 2^46, are the
        // octave in the exponent field (wrapping modulo 2^64, as the biased sum fits 11 bits).
        const U nKShiftedBits = Bits<U>(kShifted[g]);
        const U nStep = nKShiftedBits & 63u;
        const U nScaleBits = (((nKShiftedBits - nStep) - 0x4338000000000000ull) << 46) +
                             (static_cast<std::uint64_t>(1023) << 52);
        const D step = Lookup<D>(tables.exp2Step.data(), nStep);
        result[g] = step * q[g] * Bits<D>(nScaleBits);
    }
    special = anySpecial;
}

/// The scalar function on every lane (for groups with a lane PowCore could not take).
template <int N, int K>
GW_LANE_INLINE void PowScalar(const typename V<N>::D (&x)[K], double y, typename V<N>::D (&result)[K]) noexcept
{
    for (int g = 0; g < K; ++g) {
        for (int j = 0; j < N; ++j)
            result[g][j] = PortablePowFast(x[g][j], y);
    }
}

template <int N>
GW_LANE_INLINE void PowImpl(const double* pX, double y, double* pOut, int n) noexcept
{
    using D = typename V<N>::D;
    using U = typename V<N>::U;
    constexpr int K = 4;
    int i = 0;
    for (; i + K * N <= n; i += K * N) {
        D x[K];
        D result[K];
        for (int g = 0; g < K; ++g)
            x[g] = LoadVec<D>(pX + i + g * N);
        U special;
        PowCore<N, K>(x, y, result, special);
        if (AnySet(special)) [[unlikely]]
            PowScalar<N, K>(x, y, result);
        for (int g = 0; g < K; ++g)
            StoreVec(pOut + i + g * N, result[g]);
    }
    for (; i < n; ++i)
        pOut[i] = PortablePowFast(pX[i], y);
}

// ---------------------------------------------------------------------------------------------
// The reflectance row.

/// One pixel as the straightforward row computes it.
GW_LANE_INLINE void ReflectancePixel(float& w, float& l, double dFloor, double dExponent, float& fMin,
                                     float& fMax) noexcept
{
    if (static_cast<double>(l) < dFloor)
        l = static_cast<float>(dFloor);
    const float fL = l;
    const float fQuotient =
        static_cast<float>(static_cast<double>(w) / PortablePowFast(static_cast<double>(fL), dExponent));
    if (fQuotient < fMin)
        fMin = fQuotient;
    if (fQuotient > fMax)
        fMax = fQuotient;
    w = (1.0f - fL) * fQuotient;
}

template <int N>
GW_LANE_INLINE void ReflectanceRowImpl(float* pW, const float* pValue, int nValueStride, float* pL, int nCols,
                                       double dFloor, double dExponent, float& fMin, float& fMax) noexcept
{
    // K groups of N pixels a step, so that K power chains overlap.
    constexpr int K = 4;
    using D = typename V<N>::D;
    using H = typename V<N>::H;
    const double dFloorFloat = static_cast<double>(static_cast<float>(dFloor));
    auto valueOf = [&](int c) { return pValue[static_cast<std::ptrdiff_t>(c - 1) * nValueStride]; };
    H vMin = H{} + fMin;
    H vMax = H{} + fMax;
    int c = 1;
    for (; c + K * N <= nCols + 1; c += K * N) {
        D x[K];
        for (int g = 0; g < K; ++g) {
            const D l = __builtin_convertvector(LoadVec<H>(pL + c + g * N), D);
            // Raised to the floor as a float, so exactly representable as one.
            x[g] = l < dFloor ? D{} + dFloorFloat : l;
        }
        D power[K];
        typename V<N>::U special;
        PowCore<N, K>(x, dExponent, power, special);
        if (AnySet(special)) [[unlikely]] {
            // A NaN illumination meets a NaN quotient in the weighting, where which of the
            // two comes out depends on the operand order: these pixels go the scalar way.
            for (int j = c; j < c + K * N; ++j) {
                const float fValue = valueOf(j);
                pW[j] = fValue;
                ReflectancePixel(pW[j], pL[j], dFloor, dExponent, fMin, fMax);
            }
            continue;
        }
        H value[K];
        for (int g = 0; g < K; ++g) {
            float values[N];
            for (int j = 0; j < N; ++j)
                values[j] = valueOf(c + g * N + j);
            value[g] = LoadVec<H>(values);
        }
        for (int g = 0; g < K; ++g) {
            const H l = __builtin_convertvector(x[g], H);
            StoreVec(pL + c + g * N, l);
            const D w = __builtin_convertvector(value[g], D);
            const H q = __builtin_convertvector(w / power[g], H);
            vMin = q < vMin ? q : vMin;
            vMax = q > vMax ? q : vMax;
            StoreVec(pW + c + g * N, (1.0f - l) * q);
        }
    }
    // The lanes' extremes, then the columns left over.
    for (int j = 0; j < N; ++j) {
        if (vMin[j] < fMin)
            fMin = vMin[j];
        if (vMax[j] > fMax)
            fMax = vMax[j];
    }
    for (; c <= nCols; ++c) {
        const float fValue = valueOf(c);
        pW[c] = fValue;
        ReflectancePixel(pW[c], pL[c], dFloor, dExponent, fMin, fMax);
    }
}

// ---------------------------------------------------------------------------------------------
// Colour.

template <class F>
GW_LANE_INLINE auto NotFinite(const F& v) noexcept
{
    // |v| > FLT_MAX or NaN, without the sign bit.
    return !(v <= FLT_MAX && v >= -FLT_MAX);
}

/// CImageEngine::RgbToHsv on each lane of pixels with finite channels.
template <class F>
GW_LANE_INLINE void RgbToHsvLanes(const F& r, const F& g, const F& b, F& h, F& s, F& v) noexcept
{
    const F fZero{};
    const F fMax = r > g ? (r > b ? r : b) : (g > b ? g : b);
    const F fMin = r < g ? (r < b ? r : b) : (g < b ? g : b);
    const F fDelta = fMax - fMin;
    v = fMax;
    const auto bMaxZero = fMax == 0.0f;
    s = bMaxZero ? fZero : fDelta / fMax;
    // One division: the sextant's numerator first, its offset after.
    const auto bRed = fMax == r;
    const auto bGreen = fMax == g;
    const F quotient = (bRed ? g - b : bGreen ? b - r : r - g) / fDelta;
    F hue = bRed ? quotient : bGreen ? quotient + 2.0f : quotient + 4.0f;
    hue = hue < 0.0f ? hue + 6.0f : hue;
    hue = hue >= 6.0f ? fZero : hue;
    h = (bMaxZero || fDelta == 0.0f) ? fZero : hue;
}

/// CImageEngine::HsvToRgb on each lane with finite s and v (any h).
template <class F, class I>
GW_LANE_INLINE void HsvToRgbLanes(const F& h, const F& s, const F& v, F& r, F& g, F& b) noexcept
{
    const F fZero{};
    // Truncation toward zero; a hue no int can hold (or NaN) takes the last case.
    const auto bInRange = h > -2147483520.0f && h < 2147483520.0f;
    const F hInRange = bInRange ? h : fZero;
    const I nTruncated = __builtin_convertvector(hInRange, I);
    const I i = bInRange ? nTruncated : I{} - 1;
    const F f = bInRange ? hInRange - __builtin_convertvector(nTruncated, F) : fZero;
    const F p = (1.0f - s) * v;
    const F q = (1.0f - s * f) * v;
    const F t = (1.0f - (1.0f - f) * s) * v;
    const auto b0 = i == 0;
    const auto b1 = i == 1;
    const auto b2 = i == 2;
    const auto b3 = i == 3;
    const auto b4 = i == 4;
    r = b0 ? v : b1 ? q : b2 ? p : b3 ? p : b4 ? t : v;
    g = b0 ? t : b1 ? v : b2 ? v : b3 ? q : b4 ? p : p;
    b = b0 ? p : b1 ? p : b2 ? t : b3 ? v : b4 ? v : q;
    const auto bGrey = s == 0.0f;
    r = bGrey ? v : r;
    g = bGrey ? v : g;
    b = bGrey ? v : b;
}

/// CImageEngine::HsvToRgb itself on each lane.
template <class F>
GW_LANE_INLINE void HsvToRgbScalar(const F& h, const F& s, const F& v, F& r, F& g, F& b) noexcept
{
    for (int j = 0; j < static_cast<int>(sizeof(F) / sizeof(float)); ++j) {
        float fR = 0.0f, fG = 0.0f, fB = 0.0f;
        CImageEngine::HsvToRgb(&fR, &fG, &fB, h[j], s[j], v[j]);
        r[j] = fR;
        g[j] = fG;
        b[j] = fB;
    }
}

/// CImageEngine::SaturationCurve on each lane (finite inputs).
template <class F>
GW_LANE_INLINE F SaturationCurveLanes(const F& x, float a, const F& b) noexcept
{
    F y = (x - 1.0f) * x * b / ((a - 1.0f) * a) + (x - a) * x / (1.0f - a);
    y = y > 1.0f ? F{} + 1.0f : y;
    y = y < 0.0f ? F{} : y;
    return y;
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
        StoreVec(p + 2 * kF, __builtin_shuffle(__builtin_shuffle(r, g, I{13, 0, 6, 14, 0, 7, 15, 0}), b,
                                               I{0, 13, 2, 3, 14, 5, 6, 15}));
    } else if constexpr (kF == 4) {
        StoreVec(p, __builtin_shuffle(__builtin_shuffle(r, g, I{0, 4, 0, 1}), b, I{0, 1, 4, 3}));
        StoreVec(p + kF, __builtin_shuffle(__builtin_shuffle(r, g, I{5, 0, 2, 6}), b, I{0, 5, 2, 3}));
        StoreVec(p + 2 * kF, __builtin_shuffle(__builtin_shuffle(r, g, I{0, 3, 7, 0}), b, I{6, 1, 2, 7}));
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

template <int N>
GW_LANE_INLINE void RgbToHsvImpl(float* pPixels, std::size_t nPixels) noexcept
{
    using F = typename V<N>::F;
    constexpr std::size_t kF = V<N>::kFloats;
    std::size_t i = 0;
    for (; i + kF <= nPixels; i += kF) {
        float* p = pPixels + 3 * i;
        F rgb[3];
        LoadPixels(p, rgb);
        const F r = rgb[0];
        const F g = rgb[1];
        const F b = rgb[2];
        if (AnySet(NotFinite(r) || NotFinite(g) || NotFinite(b))) [[unlikely]] {
            for (std::size_t j = 0; j < kF; ++j, p += 3)
                CImageEngine::RgbToHsv(p[0], p[1], p[2], p[0], p[1], p[2]);
            continue;
        }
        F h, s, v;
        RgbToHsvLanes(r, g, b, h, s, v);
        ScatterRgb(p, h, s, v);
    }
    for (float* p = pPixels + 3 * i; i < nPixels; ++i, p += 3)
        CImageEngine::RgbToHsv(p[0], p[1], p[2], p[0], p[1], p[2]);
}

/// Whether output and input rows of nFloats floats are the same or apart, so that blocks of
/// pixels may be read whole before they are written (the scalar forms go pixel by pixel).
inline bool SameOrApart(float* pOut, const float* pIn, int nFloats) noexcept
{
    if (pOut == pIn)
        return true;
    const std::uintptr_t nOut = reinterpret_cast<std::uintptr_t>(pOut);
    const std::uintptr_t nIn = reinterpret_cast<std::uintptr_t>(pIn);
    const std::uintptr_t nBytes = static_cast<std::uintptr_t>(nFloats) * sizeof(float);
    return nOut + nBytes <= nIn || nIn + nBytes <= nOut;
}

/// Whether the colour lane forms may run on a row of nCols pixels.
inline bool LanesFit(float* pOut, const float* pIn, int nCols, const PixelLayout& layout) noexcept
{
    return layout.nChannels == 3 && SameOrApart(pOut, pIn, 3 * nCols);
}

/// One pixel of the colour blend as the straightforward row computes it.
inline void BlendPixelColour(float* pOut, const float* pIn, float& w, float l, float fAmount,
                             float fPivot, float fDarkening, const PixelLayout& layout) noexcept
{
    const float fHue = pIn[layout.nHue];
    const float fSat = pIn[layout.nSat];
    const float fValue = pIn[layout.nValue];
    w = 1.0f - (1.0f - fValue) * (1.0f - fAmount * w);
    const float b = fPivot - fDarkening * (1.0f - l);
    const float fNewSat = CImageEngine::SaturationCurve(fSat, fPivot, b);
    CImageEngine::HsvToRgb(&pOut[0], &pOut[1], &pOut[2], fHue, fNewSat, w);
}

template <int N>
GW_LANE_INLINE void BlendRowColourImpl(float* pOut, const float* pIn, float* pW, const float* pL, int nCols,
                                       float fAmount, float fPivot, float fDarkening,
                                       const PixelLayout& layout) noexcept
{
    using F = typename V<N>::F;
    using I = typename V<N>::I;
    constexpr int kF = V<N>::kFloats;
    int c = 1;
    if (LanesFit(pOut, pIn, nCols, layout)) {
        for (; c + kF <= nCols + 1; c += kF) {
            const std::ptrdiff_t p = static_cast<std::ptrdiff_t>(c - 1) * 3;
            F channel[3];
            LoadPixels(pIn + p, channel);
            const F hue = channel[layout.nHue];
            const F sat = channel[layout.nSat];
            const F value = channel[layout.nValue];
            const F w = LoadVec<F>(pW + c);
            const F l = LoadVec<F>(pL + c);
            if (AnySet(NotFinite(sat) || NotFinite(value) || NotFinite(w) || NotFinite(l))) [[unlikely]] {
                for (int j = 0; j < kF; ++j)
                    BlendPixelColour(pOut + p + 3 * j, pIn + p + 3 * j, pW[c + j], pL[c + j], fAmount, fPivot,
                                     fDarkening, layout);
                continue;
            }
            const F blended = 1.0f - (1.0f - value) * (1.0f - fAmount * w);
            StoreVec(pW + c, blended);
            const F b = fPivot - fDarkening * (1.0f - l);
            const F newSat = SaturationCurveLanes(sat, fPivot, b);
            F r, g, bl;
            if (AnySet(NotFinite(newSat) || NotFinite(blended))) [[unlikely]] {
                HsvToRgbScalar(hue, newSat, blended, r, g, bl);
            } else {
                HsvToRgbLanes<F, I>(hue, newSat, blended, r, g, bl);
            }
            ScatterRgb(pOut + p, r, g, bl);
        }
    }
    for (; c <= nCols; ++c) {
        const std::ptrdiff_t p = static_cast<std::ptrdiff_t>(c - 1) * layout.nChannels;
        BlendPixelColour(pOut + p, pIn + p, pW[c], pL[c], fAmount, fPivot, fDarkening, layout);
    }
}

template <int N>
GW_LANE_INLINE void BlendRowGreyImpl(float* pOut, const float* pIn, const float* pW, int nCols, float fAmount,
                                     const PixelLayout& layout) noexcept
{
    using F = typename V<N>::F;
    constexpr int kF = V<N>::kFloats;
    auto blend = [fAmount](float v, float w) { return 1.0f - (1.0f - v) * (1.0f - fAmount * w); };
    int c = 1;
    if (layout.nChannels == 1 && layout.nValue == 0 && SameOrApart(pOut, pIn, nCols)) {
        for (; c + kF <= nCols + 1; c += kF) {
            const F value = LoadVec<F>(pIn + (c - 1));
            const F w = LoadVec<F>(pW + c);
            if (AnySet(NotFinite(value) || NotFinite(w))) [[unlikely]] {
                // Two NaNs in one operation give either's bits, by operand order: scalar here.
                for (int j = 0; j < kF; ++j)
                    pOut[c - 1 + j] = blend(pIn[c - 1 + j], pW[c + j]);
                continue;
            }
            StoreVec(pOut + (c - 1), 1.0f - (1.0f - value) * (1.0f - fAmount * w));
        }
    }
    for (; c <= nCols; ++c) {
        const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(c - 1) * layout.nChannels + layout.nValue;
        pOut[i] = blend(pIn[i], pW[c]);
    }
}

/// One pixel of the stretch's first pass as the straightforward row computes it.
GW_LANE_INLINE void BlendPixelIntoWork(float fValue, float& w, float fAmount, float& fMin, float& fMax) noexcept
{
    w = 1.0f - (1.0f - fValue) * (1.0f - fAmount * w);
    if (w <= fMin)
        fMin = w;
    if (w >= fMax)
        fMax = w;
}

template <int N>
GW_LANE_INLINE void BlendRowIntoWorkImpl(const float* pIn, float* pW, int nCols, float fAmount,
                                         const PixelLayout& layout, float& fMin, float& fMax) noexcept
{
    using F = typename V<N>::F;
    constexpr int kF = V<N>::kFloats;
    const float* pValue = pIn + layout.nValue;
    const int nStride = layout.nChannels;
    F vMin = F{} + fMin;
    F vMax = F{} + fMax;
    int c = 1;
    for (; c + kF <= nCols + 1; c += kF) {
        const F value = Gather<F>(pValue + static_cast<std::ptrdiff_t>(c - 1) * nStride, nStride, 0);
        const F w = LoadVec<F>(pW + c);
        if (AnySet(NotFinite(value) || NotFinite(w))) [[unlikely]] {
            // Two NaNs in one operation give either's bits, by operand order: scalar here.
            for (int j = 0; j < kF; ++j)
                BlendPixelIntoWork(value[j], pW[c + j], fAmount, fMin, fMax);
            continue;
        }
        const F blended = 1.0f - (1.0f - value) * (1.0f - fAmount * w);
        StoreVec(pW + c, blended);
        vMin = blended <= vMin ? blended : vMin;
        vMax = blended >= vMax ? blended : vMax;
    }
    for (int j = 0; j < kF; ++j) {
        if (vMin[j] <= fMin)
            fMin = vMin[j];
        if (vMax[j] >= fMax)
            fMax = vMax[j];
    }
    for (; c <= nCols; ++c)
        BlendPixelIntoWork(pValue[static_cast<std::ptrdiff_t>(c - 1) * nStride], pW[c], fAmount, fMin, fMax);
}

template <int N>
GW_LANE_INLINE void BoundsImpl(const float* p, std::size_t nFloats, float& fMin, float& fMax) noexcept
{
    // A bound that moves takes a value strictly beyond it, and so one of its own bits
    // (zeros of either sign never replace a zero bound), whatever order the lanes see.
    using F = typename V<N>::F;
    constexpr std::size_t kF = static_cast<std::size_t>(V<N>::kFloats);
    constexpr int K = 4;
    F vMin[K];
    F vMax[K];
    for (int g = 0; g < K; ++g) {
        vMin[g] = F{} + fMin;
        vMax[g] = F{} + fMax;
    }
    std::size_t i = 0;
    for (; i + K * kF <= nFloats; i += K * kF) {
        for (int g = 0; g < K; ++g) {
            const F v = LoadVec<F>(p + i + static_cast<std::size_t>(g) * kF);
            vMax[g] = v > vMax[g] ? v : vMax[g];
            vMin[g] = v < vMin[g] ? v : vMin[g];
        }
    }
    for (int g = 0; g < K; ++g) {
        for (std::size_t j = 0; j < kF; ++j) {
            if (vMax[g][j] > fMax)
                fMax = vMax[g][j];
            if (vMin[g][j] < fMin)
                fMin = vMin[g][j];
        }
    }
    for (; i < nFloats; ++i) {
        const float v = p[i];
        if (v > fMax)
            fMax = v;
        if (v < fMin)
            fMin = v;
    }
}

template <int N>
GW_LANE_INLINE void CopyChannelOutImpl(const float* pPixels, int nChannels, int nChannel, float* pOut,
                                       int n) noexcept
{
    using F = typename V<N>::F;
    constexpr int kF = V<N>::kFloats;
    int i = 0;
    if (nChannels == 3) {
        for (; i + kF <= n; i += kF) {
            F channel[3];
            LoadPixels(pPixels + static_cast<std::ptrdiff_t>(i) * 3, channel);
            StoreVec(pOut + i, channel[nChannel]);
        }
    }
    for (; i < n; ++i)
        pOut[i] = pPixels[static_cast<std::ptrdiff_t>(i) * nChannels + nChannel];
}

template <int N>
GW_LANE_INLINE void CopyChannelInImpl(const float* pIn, float* pPixels, int nChannels, int nChannel,
                                      int n) noexcept
{
    using F = typename V<N>::F;
    constexpr int kF = V<N>::kFloats;
    int i = 0;
    if (nChannels == 3) {
        for (; i + kF <= n; i += kF) {
            float* p = pPixels + static_cast<std::ptrdiff_t>(i) * 3;
            F channel[3];
            LoadPixels(p, channel);
            channel[nChannel] = LoadVec<F>(pIn + i);
            ScatterRgb(p, channel[0], channel[1], channel[2]);
        }
    }
    for (; i < n; ++i)
        pPixels[static_cast<std::ptrdiff_t>(i) * nChannels + nChannel] = pIn[i];
}

template <int N>
GW_LANE_INLINE void WriteRowColourImpl(float* pOut, const float* pIn, const float* pW, int nCols,
                                       const PixelLayout& layout) noexcept
{
    using F = typename V<N>::F;
    using I = typename V<N>::I;
    constexpr int kF = V<N>::kFloats;
    int c = 1;
    if (LanesFit(pOut, pIn, nCols, layout)) {
        for (; c + kF <= nCols + 1; c += kF) {
            const std::ptrdiff_t p = static_cast<std::ptrdiff_t>(c - 1) * 3;
            F channel[3];
            LoadPixels(pIn + p, channel);
            const F hue = channel[layout.nHue];
            const F sat = channel[layout.nSat];
            const F value = LoadVec<F>(pW + c);
            F r, g, b;
            if (AnySet(NotFinite(sat) || NotFinite(value))) [[unlikely]] {
                HsvToRgbScalar(hue, sat, value, r, g, b);
            } else {
                HsvToRgbLanes<F, I>(hue, sat, value, r, g, b);
            }
            ScatterRgb(pOut + p, r, g, b);
        }
    }
    for (; c <= nCols; ++c) {
        const std::ptrdiff_t p = static_cast<std::ptrdiff_t>(c - 1) * layout.nChannels;
        CImageEngine::HsvToRgb(&pOut[p], &pOut[p + 1], &pOut[p + 2], pIn[p + layout.nHue], pIn[p + layout.nSat],
                               pW[c]);
    }
}

// ---------------------------------------------------------------------------------------------
// The instantiations.

#define GW_LANE_SET(Suffix, Target, N)                                                                    \
    Target void Pow##Suffix(const double* pX, double y, double* pOut, int n) noexcept                     \
    {                                                                                                     \
        PowImpl<N>(pX, y, pOut, n);                                                                       \
    }                                                                                                     \
    Target void ReflectanceRow##Suffix(float* pW, const float* pValue, int nValueStride, float* pL,      \
                                       int nCols, double dFloor, double dExponent, float& fMin,           \
                                       float& fMax) noexcept                                              \
    {                                                                                                     \
        ReflectanceRowImpl<N>(pW, pValue, nValueStride, pL, nCols, dFloor, dExponent, fMin, fMax);        \
    }                                                                                                     \
    Target void RgbToHsv##Suffix(float* pPixels, std::size_t nPixels) noexcept                            \
    {                                                                                                     \
        RgbToHsvImpl<N>(pPixels, nPixels);                                                                \
    }                                                                                                     \
    Target void BlendRowColour##Suffix(float* pOut, const float* pIn, float* pW, const float* pL,         \
                                       int nCols, float fAmount, float fPivot, float fDarkening,          \
                                       const PixelLayout& layout) noexcept                                \
    {                                                                                                     \
        BlendRowColourImpl<N>(pOut, pIn, pW, pL, nCols, fAmount, fPivot, fDarkening, layout);             \
    }                                                                                                     \
    Target void BlendRowGrey##Suffix(float* pOut, const float* pIn, const float* pW, int nCols,            \
                                     float fAmount, const PixelLayout& layout) noexcept                   \
    {                                                                                                     \
        BlendRowGreyImpl<N>(pOut, pIn, pW, nCols, fAmount, layout);                                       \
    }                                                                                                     \
    Target void BlendRowIntoWork##Suffix(const float* pIn, float* pW, int nCols, float fAmount,           \
                                         const PixelLayout& layout, float& fMin, float& fMax) noexcept    \
    {                                                                                                     \
        BlendRowIntoWorkImpl<N>(pIn, pW, nCols, fAmount, layout, fMin, fMax);                             \
    }                                                                                                     \
    Target void Bounds##Suffix(const float* p, std::size_t nFloats, float& fMin, float& fMax) noexcept     \
    {                                                                                                     \
        BoundsImpl<N>(p, nFloats, fMin, fMax);                                                            \
    }                                                                                                     \
    Target void CopyChannelOut##Suffix(const float* pPixels, int nChannels, int nChannel, float* pOut,     \
                                       int n) noexcept                                                    \
    {                                                                                                     \
        CopyChannelOutImpl<N>(pPixels, nChannels, nChannel, pOut, n);                                     \
    }                                                                                                     \
    Target void CopyChannelIn##Suffix(const float* pIn, float* pPixels, int nChannels, int nChannel,       \
                                      int n) noexcept                                                     \
    {                                                                                                     \
        CopyChannelInImpl<N>(pIn, pPixels, nChannels, nChannel, n);                                       \
    }                                                                                                     \
    Target void WriteRowColour##Suffix(float* pOut, const float* pIn, const float* pW, int nCols,         \
                                       const PixelLayout& layout) noexcept                                \
    {                                                                                                     \
        WriteRowColourImpl<N>(pOut, pIn, pW, nCols, layout);                                              \
    }                                                                                                     \
    const LaneKernels g_lanes##Suffix{#Suffix,                 Pow##Suffix,                                   \
                                      ReflectanceRow##Suffix,  RgbToHsv##Suffix,                              \
                                      BlendRowColour##Suffix,  BlendRowGrey##Suffix,                          \
                                      BlendRowIntoWork##Suffix,                                               \
                                      Bounds##Suffix,          CopyChannelOut##Suffix,                        \
                                      CopyChannelIn##Suffix,   WriteRowColour##Suffix};

GW_LANE_SET(Baseline, , 2)

#if defined(__x86_64__) || defined(__i386__)
#define GW_AVX2_TARGET [[gnu::target("avx2")]]
GW_LANE_SET(Avx2, GW_AVX2_TARGET, 4)

#endif

} // namespace

const LaneKernels& BaselineLanes() noexcept
{
    return g_lanesBaseline;
}

const LaneKernels* Avx2Lanes() noexcept
{
#if defined(__x86_64__) || defined(__i386__)
    if (cpu::HasAvx2())
        return &g_lanesAvx2;
#endif
    return nullptr;
}

const LaneKernels& Lanes() noexcept
{
    const LaneKernels* pAvx2 = Avx2Lanes();
    return pAvx2 != nullptr ? *pAvx2 : g_lanesBaseline;
}

} // namespace gw::pixel
