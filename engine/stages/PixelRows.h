// PixelRows.h - the per-pixel row kernels of the stages: their table, and the straightforward
// rows that compute one pixel at a time.
//
// A stage calls its row kernels through a LaneKernels table, so one stage body serves both
// sets: the straightforward rows here (ScalarRows, what the reference path runs) and the
// vector lanes (lanes/PixelLanes.h), which give the same bits and fall back to these rows for
// the pixels they leave over and the inputs they cannot take. Rows follow the grids'
// numbering: grid columns 1..nCols, the pixel of column c at (c - 1) x nChannels floats of an
// interleaved buffer row.
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

// The straightforward rows. Each kernel of the table below has one; the table's comments say
// what they compute.

void Pow(const double* pX, double y, double* pOut, int n) noexcept;
void ReflectanceRow(float* pW, const float* pValue, int nValueStride, float* pL, int nCols,
                    double dFloor, double dExponent, float& fMin, float& fMax) noexcept;
void RgbToHsvPixels(float* pPixels, std::size_t nPixels) noexcept;
void BlendRowColour(float* pOut, const float* pIn, float* pW, const float* pL, int nCols,
                    float fAmount, float fPivot, float fDarkening,
                    const PixelLayout& layout) noexcept;
void BlendRowGrey(float* pOut, const float* pIn, const float* pW, int nCols, float fAmount,
                  const PixelLayout& layout) noexcept;
void BlendRowIntoWork(const float* pIn, float* pW, int nCols, float fAmount,
                      const PixelLayout& layout, float& fMin, float& fMax) noexcept;
void Bounds(const float* p, std::size_t nFloats, float& fMin, float& fMax) noexcept;
void CopyChannelOut(const float* pPixels, int nChannels, int nChannel, float* pOut, int n) noexcept;
void CopyChannelIn(const float* pIn, float* pPixels, int nChannels, int nChannel, int n) noexcept;
void WriteRowColour(float* pOut, const float* pIn, const float* pW, int nCols,
                    const PixelLayout& layout) noexcept;

/// One set of row kernels.
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
    void (*pfnReflectanceRow)(float* pW, const float* pValue, int nValueStride, float* pL,
                              int nCols, double dFloor, double dExponent, float& fMin,
                              float& fMax) noexcept;

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
    void (*pfnBlendRowGrey)(float* pOut, const float* pIn, const float* pW, int nCols,
                            float fAmount, const PixelLayout& layout) noexcept;

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
    void (*pfnCopyChannelOut)(const float* pPixels, int nChannels, int nChannel, float* pOut,
                              int n) noexcept;

    /// Channel nChannel of pixel i of pPixels := pIn[i], i < n; the other channels keep their
    /// bits.
    void (*pfnCopyChannelIn)(const float* pIn, float* pPixels, int nChannels, int nChannel,
                             int n) noexcept;

    /// RGB of each pixel's hue and saturation from pIn and the value pW[c] into pOut
    /// (the same overlap rule).
    void (*pfnWriteRowColour)(float* pOut, const float* pIn, const float* pW, int nCols,
                              const PixelLayout& layout) noexcept;
};

/// The straightforward rows as a table: one pixel at a time, in order.
const LaneKernels& ScalarRows() noexcept;

} // namespace gw::pixel
