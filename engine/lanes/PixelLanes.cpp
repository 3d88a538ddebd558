// PixelLanes.cpp - the stages' row kernels over vector lanes: the power, the reflectance row,
// the colour conversions, the blends, the data bounds and the channel copies. Each kernel is
// one template over the lane count, instantiated for the baseline and, with run-time
// dispatch, for AVX2. The formulas come from stages/PixelMath.h; the pixels a kernel leaves
// over, and the groups with inputs the lanes cannot take, go through the straightforward rows
// of stages/PixelRows.h.
#include "PixelLanes.h"

#include "CImageEngine.h"
#include "CpuFeatures.h"
#include "LaneVectors.h"
#include "PowLanes.h"
#include "stages/PixelMath.h"

namespace gw::pixel {

namespace lanes {

// ---------------------------------------------------------------------------------------------
// The reflectance row.

template <int N>
GW_LANE_INLINE void ReflectanceRowImpl(float* pW, const float* pValue, int nValueStride, float* pL,
                                       int nCols, double dFloor, double dExponent, float& fMin,
                                       float& fMax) noexcept
{
    // K groups of N pixels a step, so that K power chains overlap.
    constexpr int K = 4;
    using D = typename V<N>::D;
    using H = typename V<N>::H;
    const double dFloorFloat = static_cast<double>(static_cast<float>(dFloor));
    auto valueAt = [&](int c) {
        return pValue + static_cast<std::ptrdiff_t>(c - 1) * nValueStride;
    };
    H vMin = H{} + fMin;
    H vMax = H{} + fMax;
    int c = 1;
    for (; c + K * N <= nCols + 1; c += K * N) {
        D x[K];
        for (int g = 0; g < K; ++g) {
            const D l = Convert<D>(LoadVec<H>(pL + c + g * N));
            // Raised to the floor as a float, so exactly representable as one.
            x[g] = l < dFloor ? D{} + dFloorFloat : l;
        }
        D power[K];
        typename V<N>::U special;
        PowCore<N, K>(x, dExponent, power, special);
        if (AnySet(special)) [[unlikely]] {
            // A NaN illumination meets a NaN quotient in the weighting, where which of the
            // two comes out depends on the operand order: these pixels go the scalar way.
            ReflectanceRow(pW + (c - 1), valueAt(c), nValueStride, pL + (c - 1), K * N, dFloor,
                           dExponent, fMin, fMax);
            continue;
        }
        H value[K];
        for (int g = 0; g < K; ++g) {
            float values[N];
            for (int j = 0; j < N; ++j)
                values[j] = *valueAt(c + g * N + j);
            value[g] = LoadVec<H>(values);
        }
        for (int g = 0; g < K; ++g) {
            const H l = Convert<H>(x[g]);
            StoreVec(pL + c + g * N, l);
            const H q = ReflectanceQuotient(value[g], power[g]);
            vMin = q < vMin ? q : vMin;
            vMax = q > vMax ? q : vMax;
            StoreVec(pW + c + g * N, DarknessWeighted(l, q));
        }
    }
    // The lanes' extremes, then the columns left over.
    for (int j = 0; j < N; ++j) {
        if (vMin[j] < fMin)
            fMin = vMin[j];
        if (vMax[j] > fMax)
            fMax = vMax[j];
    }
    if (c <= nCols)
        ReflectanceRow(pW + (c - 1), valueAt(c), nValueStride, pL + (c - 1), nCols + 1 - c, dFloor,
                       dExponent, fMin, fMax);
}

// ---------------------------------------------------------------------------------------------
// Colour.

/// CImageEngine::RgbToHsv on each lane of pixels with finite channels.
template <class F>
GW_LANE_INLINE void RgbToHsvLanes(const F& r, const F& g, const F& b, F& h, F& s, F& v) noexcept
{
    const F fZero{};
    const F fMax = MaxOf3(r, g, b);
    const F fMin = MinOf3(r, g, b);
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
    F p, q, t;
    SextantLevels(s, f, v, p, q, t);
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
        if (AnySet(NotFinite(rgb[0]) || NotFinite(rgb[1]) || NotFinite(rgb[2]))) [[unlikely]] {
            RgbToHsvPixels(p, kF);
            continue;
        }
        F h, s, v;
        RgbToHsvLanes(rgb[0], rgb[1], rgb[2], h, s, v);
        ScatterRgb(p, h, s, v);
    }
    RgbToHsvPixels(pPixels + 3 * i, nPixels - i);
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

/// The colour rows: with bBlend the colour blend (BlendRowColour: pW := the blended value, the
/// saturation lowered in the dark), without it the stretch's writing pass (WriteRowColour: pW
/// only read, pL and the blend's parameters unused). pOut gets the RGB of the result.
template <int N, bool bBlend, class Work>
GW_LANE_INLINE void ColourRowImpl(float* pOut, const float* pIn, Work* pW, const float* pL,
                                  int nCols, float fAmount, float fPivot, float fDarkening,
                                  const PixelLayout& layout) noexcept
{
    using F = typename V<N>::F;
    using I = typename V<N>::I;
    constexpr int kF = V<N>::kFloats;
    // The straightforward row on pixels from column c on.
    auto scalarRow = [&](int c, int nPixels) {
        const std::ptrdiff_t p = static_cast<std::ptrdiff_t>(c - 1) * layout.nChannels;
        if constexpr (bBlend)
            BlendRowColour(pOut + p, pIn + p, pW + (c - 1), pL + (c - 1), nPixels, fAmount, fPivot,
                           fDarkening, layout);
        else
            WriteRowColour(pOut + p, pIn + p, pW + (c - 1), nPixels, layout);
    };
    int c = 1;
    if (LanesFit(pOut, pIn, nCols, layout)) {
        for (; c + kF <= nCols + 1; c += kF) {
            const std::ptrdiff_t p = static_cast<std::ptrdiff_t>(c - 1) * 3;
            F channel[3];
            LoadPixels(pIn + p, channel);
            const F hue = channel[layout.nHue];
            F sat = channel[layout.nSat];
            F value = LoadVec<F>(pW + c);
            if constexpr (bBlend) {
                const F l = LoadVec<F>(pL + c);
                const F v = channel[layout.nValue];
                const auto bNotFinite =
                    NotFinite(sat) || NotFinite(v) || NotFinite(value) || NotFinite(l);
                if (AnySet(bNotFinite)) [[unlikely]] {
                    scalarRow(c, kF);
                    continue;
                }
                value = ScreenBlend(v, value, fAmount);
                StoreVec(pW + c, value);
                sat = SaturationCurve(sat, fPivot, PivotTarget(l, fPivot, fDarkening));
            }
            F r, g, b;
            if (AnySet(NotFinite(sat) || NotFinite(value))) [[unlikely]]
                HsvToRgbScalar(hue, sat, value, r, g, b);
            else
                HsvToRgbLanes<F, I>(hue, sat, value, r, g, b);
            ScatterRgb(pOut + p, r, g, b);
        }
    }
    if (c <= nCols)
        scalarRow(c, nCols + 1 - c);
}

template <int N>
GW_LANE_INLINE void BlendRowColourImpl(float* pOut, const float* pIn, float* pW, const float* pL,
                                       int nCols, float fAmount, float fPivot, float fDarkening,
                                       const PixelLayout& layout) noexcept
{
    ColourRowImpl<N, true>(pOut, pIn, pW, pL, nCols, fAmount, fPivot, fDarkening, layout);
}

template <int N>
GW_LANE_INLINE void WriteRowColourImpl(float* pOut, const float* pIn, const float* pW, int nCols,
                                       const PixelLayout& layout) noexcept
{
    ColourRowImpl<N, false>(pOut, pIn, pW, nullptr, nCols, 0.0f, 0.0f, 0.0f, layout);
}

template <int N>
GW_LANE_INLINE void BlendRowGreyImpl(float* pOut, const float* pIn, const float* pW, int nCols,
                                     float fAmount, const PixelLayout& layout) noexcept
{
    using F = typename V<N>::F;
    constexpr int kF = V<N>::kFloats;
    int c = 1;
    if (layout.nChannels == 1 && layout.nValue == 0 && SameOrApart(pOut, pIn, nCols)) {
        for (; c + kF <= nCols + 1; c += kF) {
            const F value = LoadVec<F>(pIn + (c - 1));
            const F w = LoadVec<F>(pW + c);
            if (AnySet(NotFinite(value) || NotFinite(w))) [[unlikely]] {
                // Two NaNs in one operation give either's bits, by operand order: scalar here.
                BlendRowGrey(pOut + (c - 1), pIn + (c - 1), pW + (c - 1), kF, fAmount, layout);
                continue;
            }
            StoreVec(pOut + (c - 1), ScreenBlend(value, w, fAmount));
        }
    }
    if (c <= nCols) {
        const std::ptrdiff_t p = static_cast<std::ptrdiff_t>(c - 1) * layout.nChannels;
        BlendRowGrey(pOut + p, pIn + p, pW + (c - 1), nCols + 1 - c, fAmount, layout);
    }
}

template <int N>
GW_LANE_INLINE void BlendRowIntoWorkImpl(const float* pIn, float* pW, int nCols, float fAmount,
                                         const PixelLayout& layout, float& fMin,
                                         float& fMax) noexcept
{
    using F = typename V<N>::F;
    constexpr int kF = V<N>::kFloats;
    const int nStride = layout.nChannels;
    auto pixelAt = [&](int c) { return pIn + static_cast<std::ptrdiff_t>(c - 1) * nStride; };
    F vMin = F{} + fMin;
    F vMax = F{} + fMax;
    int c = 1;
    for (; c + kF <= nCols + 1; c += kF) {
        const F value = Gather<F>(pixelAt(c), nStride, layout.nValue);
        const F w = LoadVec<F>(pW + c);
        if (AnySet(NotFinite(value) || NotFinite(w))) [[unlikely]] {
            // Two NaNs in one operation give either's bits, by operand order: scalar here.
            BlendRowIntoWork(pixelAt(c), pW + (c - 1), kF, fAmount, layout, fMin, fMax);
            continue;
        }
        const F blended = ScreenBlend(value, w, fAmount);
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
    if (c <= nCols)
        BlendRowIntoWork(pixelAt(c), pW + (c - 1), nCols + 1 - c, fAmount, layout, fMin, fMax);
}

template <int N>
GW_LANE_INLINE void BoundsImpl(const float* p, std::size_t nFloats, float& fMin,
                               float& fMax) noexcept
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
    Bounds(p + i, nFloats - i, fMin, fMax);
}

/// Channel nChannel of n interleaved pixels out into pRow (bOut), or in from it (the other
/// channels keep their bits). Only the side copied to is written.
template <int N, bool bOut, class Pixels, class Row>
GW_LANE_INLINE void CopyChannelImpl(Pixels* pPixels, Row* pRow, int nChannels, int nChannel,
                                    int n) noexcept
{
    using F = typename V<N>::F;
    constexpr int kF = V<N>::kFloats;
    int i = 0;
    if (nChannels == 3) {
        for (; i + kF <= n; i += kF) {
            Pixels* p = pPixels + static_cast<std::ptrdiff_t>(i) * 3;
            F channel[3];
            LoadPixels(p, channel);
            if constexpr (bOut) {
                StoreVec(pRow + i, channel[nChannel]);
            } else {
                channel[nChannel] = LoadVec<F>(pRow + i);
                ScatterRgb(p, channel[0], channel[1], channel[2]);
            }
        }
    }
    Pixels* p = pPixels + static_cast<std::ptrdiff_t>(i) * nChannels;
    if constexpr (bOut)
        CopyChannelOut(p, nChannels, nChannel, pRow + i, n - i);
    else
        CopyChannelIn(pRow + i, p, nChannels, nChannel, n - i);
}

template <int N>
GW_LANE_INLINE void CopyChannelOutImpl(const float* pPixels, int nChannels, int nChannel,
                                       float* pOut, int n) noexcept
{
    CopyChannelImpl<N, true>(pPixels, pOut, nChannels, nChannel, n);
}

template <int N>
GW_LANE_INLINE void CopyChannelInImpl(const float* pIn, float* pPixels, int nChannels, int nChannel,
                                      int n) noexcept
{
    CopyChannelImpl<N, false>(pPixels, pIn, nChannels, nChannel, n);
}

} // namespace lanes

namespace {

// A table's entries: each kernel template, instantiated for one set, behind a function of the
// table's signature. The AVX2 entry compiles the kernel it inlines for that processor.
template <auto Kernel>
struct BaselineEntry
{
    template <class... Args>
    static void Call(Args... args) noexcept
    {
        Kernel(args...);
    }
};

#if defined(__x86_64__) || defined(__i386__)
template <auto Kernel>
struct Avx2Entry
{
    template <class... Args>
    [[gnu::target("avx2")]] static void Call(Args... args) noexcept
    {
        Kernel(args...);
    }
};
#endif

/// A table of the kernels, in the table's order, each behind its Entry.
template <template <auto> class Entry, auto... Kernels>
constexpr LaneKernels Table(const char* pName) noexcept
{
    return {pName, Entry<Kernels>::template Call...};
}

/// The set of N double (2 N float) lanes a vector, its entries made by Entry.
template <int N, template <auto> class Entry>
constexpr LaneKernels LaneSet(const char* pName) noexcept
{
    using namespace lanes;
    return Table<Entry, PowImpl<N>, ReflectanceRowImpl<N>, RgbToHsvImpl<N>, BlendRowColourImpl<N>,
                 BlendRowGreyImpl<N>, BlendRowIntoWorkImpl<N>, BoundsImpl<N>, CopyChannelOutImpl<N>,
                 CopyChannelInImpl<N>, WriteRowColourImpl<N>>(pName);
}

constexpr LaneKernels kBaseline = LaneSet<2, BaselineEntry>("Baseline");
#if defined(__x86_64__) || defined(__i386__)
constexpr LaneKernels kAvx2 = LaneSet<4, Avx2Entry>("Avx2");
#endif

} // namespace

const LaneKernels& BaselineLanes() noexcept
{
    return kBaseline;
}

const LaneKernels* Avx2Lanes() noexcept
{
#if defined(__x86_64__) || defined(__i386__)
    if (cpu::HasAvx2())
        return &kAvx2;
#endif
    return nullptr;
}

const LaneKernels& Lanes() noexcept
{
    const LaneKernels* pAvx2 = Avx2Lanes();
    return pAvx2 != nullptr ? *pAvx2 : kBaseline;
}

} // namespace gw::pixel
