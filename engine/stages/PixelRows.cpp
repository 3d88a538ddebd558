// PixelRows.cpp - the straightforward row kernels of the stages: one pixel at a time, in
// column order, through the formulas of PixelMath.h. They are the reference the lane kernels
// are held to, the reference path's kernels, and the lanes' way for the pixels they leave.
#include "PixelRows.h"

#include "CImageEngine.h"
#include "PixelMath.h"
#include "PortableMath.h"

namespace gw::pixel {

namespace {

/// The offset of the pixel of grid column c (columns from 1).
inline std::ptrdiff_t PixelOf(int c, int nChannels) noexcept
{
    return static_cast<std::ptrdiff_t>(c - 1) * nChannels;
}

} // namespace

void Pow(const double* pX, double y, double* pOut, int n) noexcept
{
    for (int i = 0; i < n; ++i)
        pOut[i] = PortablePowFast(pX[i], y);
}

void ReflectanceRow(float* pW, const float* pValue, int nValueStride, float* pL, int nCols,
                    double dFloor, double dExponent, float& fMin, float& fMax) noexcept
{
    for (int c = 1; c <= nCols; ++c) {
        if (static_cast<double>(pL[c]) < dFloor)
            pL[c] = static_cast<float>(dFloor);
        const float fL = pL[c];
        const double dPower = PortablePowFast(static_cast<double>(fL), dExponent);
        const float fQuotient = ReflectanceQuotient(pValue[PixelOf(c, nValueStride)], dPower);
        if (fQuotient < fMin)
            fMin = fQuotient;
        if (fQuotient > fMax)
            fMax = fQuotient;
        pW[c] = DarknessWeighted(fL, fQuotient);
    }
}

void RgbToHsvPixels(float* pPixels, std::size_t nPixels) noexcept
{
    float* p = pPixels;
    for (std::size_t i = 0; i < nPixels; ++i, p += 3)
        CImageEngine::RgbToHsv(p[0], p[1], p[2], p[0], p[1], p[2]);
}

void BlendRowColour(float* pOut, const float* pIn, float* pW, const float* pL, int nCols,
                    float fAmount, float fPivot, float fDarkening,
                    const PixelLayout& layout) noexcept
{
    for (int c = 1; c <= nCols; ++c) {
        // The pixel's channels are read before its output is written: in place is safe.
        const std::ptrdiff_t p = PixelOf(c, layout.nChannels);
        const float fHue = pIn[p + layout.nHue];
        const float fSat = pIn[p + layout.nSat];
        const float fValue = pIn[p + layout.nValue];
        pW[c] = ScreenBlend(fValue, pW[c], fAmount);
        const float fNewSat = SaturationCurve(fSat, fPivot, PivotTarget(pL[c], fPivot, fDarkening));
        CImageEngine::HsvToRgb(&pOut[p], &pOut[p + 1], &pOut[p + 2], fHue, fNewSat, pW[c]);
    }
}

void BlendRowGrey(float* pOut, const float* pIn, const float* pW, int nCols, float fAmount,
                  const PixelLayout& layout) noexcept
{
    for (int c = 1; c <= nCols; ++c) {
        const std::ptrdiff_t i = PixelOf(c, layout.nChannels) + layout.nValue;
        pOut[i] = ScreenBlend(pIn[i], pW[c], fAmount);
    }
}

void BlendRowIntoWork(const float* pIn, float* pW, int nCols, float fAmount,
                      const PixelLayout& layout, float& fMin, float& fMax) noexcept
{
    for (int c = 1; c <= nCols; ++c) {
        const float fValue = pIn[PixelOf(c, layout.nChannels) + layout.nValue];
        const float w = ScreenBlend(fValue, pW[c], fAmount);
        pW[c] = w;
        if (w <= fMin)
            fMin = w;
        if (w >= fMax)
            fMax = w;
    }
}

void Bounds(const float* p, std::size_t nFloats, float& fMin, float& fMax) noexcept
{
    for (std::size_t i = 0; i < nFloats; ++i) {
        const float v = p[i];
        if (v > fMax)
            fMax = v;
        if (v < fMin)
            fMin = v;
    }
}

void CopyChannelOut(const float* pPixels, int nChannels, int nChannel, float* pOut, int n) noexcept
{
    for (int i = 0; i < n; ++i)
        pOut[i] = pPixels[static_cast<std::ptrdiff_t>(i) * nChannels + nChannel];
}

void CopyChannelIn(const float* pIn, float* pPixels, int nChannels, int nChannel, int n) noexcept
{
    for (int i = 0; i < n; ++i)
        pPixels[static_cast<std::ptrdiff_t>(i) * nChannels + nChannel] = pIn[i];
}

void WriteRowColour(float* pOut, const float* pIn, const float* pW, int nCols,
                    const PixelLayout& layout) noexcept
{
    for (int c = 1; c <= nCols; ++c) {
        const std::ptrdiff_t p = PixelOf(c, layout.nChannels);
        CImageEngine::HsvToRgb(&pOut[p], &pOut[p + 1], &pOut[p + 2], pIn[p + layout.nHue],
                               pIn[p + layout.nSat], pW[c]);
    }
}

const LaneKernels& ScalarRows() noexcept
{
    static constexpr LaneKernels kRows{
        "Scalar",         Pow,    ReflectanceRow, RgbToHsvPixels, BlendRowColour, BlendRowGrey,
        BlendRowIntoWork, Bounds, CopyChannelOut, CopyChannelIn,  WriteRowColour};
    return kRows;
}

} // namespace gw::pixel
