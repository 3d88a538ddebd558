// PixelLanes.h - the per-pixel stages over vector lanes, with the bits of their scalar forms.
//
// Each kernel computes every value with the operations of its straightforward
// counterpart, in the same order (no fused, reordered or approximate arithmetic),
// several pixels at a time; branches become selects on the same comparisons. Lanes
// whose inputs the lane form cannot prove equal (zero, subnormal, infinite, NaN or
// negative arguments of the power, a power outside the table range, non-finite
// colour inputs) are recomputed with the scalar function.
//
// Two sets exist on x86: the baseline (SSE2; 2 doubles, 4 floats a vector) and one
// for processors with AVX2 (4 doubles, 8 floats). Lanes() picks the best the
// processor runs; both give the same bits.
#pragma once

#include <cstddef>

namespace gw::pixel {

/// Where the channels of an interleaved pixel are.
struct PixelLayout
{
    int nChannels;
    int nValue;
    int nSat;
    int nHue;
};

/// One set of lane kernels.
struct LaneKernels
{
    const char* pName;

    /// pOut[i] = PortablePowFast(pX[i], y) for i in [0, n).
    void (*pfnPow)(const double* pX, double y, double* pOut, int n) noexcept;

    /// The reflectance of columns 1..nCols of one row: raises the illumination pL to
    /// at least dFloor and writes (1 - l) x value / l^dExponent into pW, the value of
    /// column c being pValue[(c - 1) x nValueStride] (pValue may be pW + 1 with stride 1);
    /// lowers fMin / raises fMax to the quotients (NaN quotients are skipped). The
    /// extremes are those of a pass in order except that, of equal values of either
    /// sign of zero, either may be kept.
    void (*pfnReflectanceRow)(float* pW, const float* pValue, int nValueStride, float* pL, int nCols,
                              double dFloor, double dExponent, float& fMin, float& fMax) noexcept;

    /// In place, nPixels interleaved RGB pixels to hue, saturation and value
    /// (CImageEngine::RgbToHsv on each).
    void (*pfnRgbToHsvPixels)(float* pPixels, std::size_t nPixels) noexcept;

    /// Colour blend of one row: pW[c] (columns 1..nCols) := screen blend of the pixel's
    /// value with pW[c]; the saturation is lowered along the curve through (fPivot, b),
    /// b = fPivot - fDarkening x (1 - pL[c]); pOut gets the RGB of the pixel's hue, that
    /// saturation and the blended value. pOut is pIn or does not overlap it.
    void (*pfnBlendRowColour)(float* pOut, const float* pIn, float* pW, const float* pL, int nCols,
                              float fAmount, float fPivot, float fDarkening,
                              const PixelLayout& layout) noexcept;

    /// Grey blend of one row: the value of each pixel of pOut := screen blend of the value
    /// of the pixel of pIn with pW[c] (columns 1..nCols; any layout; pOut is pIn or apart).
    void (*pfnBlendRowGrey)(float* pOut, const float* pIn, const float* pW, int nCols, float fAmount,
                            const PixelLayout& layout) noexcept;

    /// First pass of the stretch: pW[c] := screen blend of the pixel's value (pIn, any
    /// layout) with pW[c] (columns 1..nCols); lowers fMin with <= and raises fMax with >=
    /// to the blends (NaN skipped). The extremes are those of a pass in order except
    /// that, of equal values of either sign of zero, either may be kept.
    void (*pfnBlendRowIntoWork)(const float* pIn, float* pW, int nCols, float fAmount,
                                const PixelLayout& layout, float& fMin, float& fMax) noexcept;

    /// Raises fMax to the larger and lowers fMin to the smaller of nFloats floats (with >
    /// and <, NaN skipped). Started from zero bounds, they are those of a pass in order.
    void (*pfnBounds)(const float* p, std::size_t nFloats, float& fMin, float& fMax) noexcept;

    /// pOut[i] := channel nChannel of pixel i of pPixels (nChannels floats a pixel), i < n.
    void (*pfnCopyChannelOut)(const float* pPixels, int nChannels, int nChannel, float* pOut, int n) noexcept;

    /// Channel nChannel of pixel i of pPixels := pIn[i], i < n; the other channels keep their bits.
    void (*pfnCopyChannelIn)(const float* pIn, float* pPixels, int nChannels, int nChannel, int n) noexcept;

    /// RGB of each pixel's hue and saturation from pIn and the value pW[c] into pOut
    /// (the same overlap rule).
    void (*pfnWriteRowColour)(float* pOut, const float* pIn, const float* pW, int nCols,
                              const PixelLayout& layout) noexcept;
};

/// The baseline set (runs on every processor of the target).
const LaneKernels& BaselineLanes() noexcept;

/// The AVX2 set, or null when the processor (or the target) has none.
const LaneKernels* Avx2Lanes() noexcept;

/// The fastest set the processor runs.
const LaneKernels& Lanes() noexcept;

} // namespace gw::pixel
