// Recombine.cpp - the last stage: the screen blend of the reflectance into the
// value, the optional final stretch, and the way back from HSV to RGB.
//
// The buffer is interleaved and may be both input and output: each pixel's
// input channels are read before its output is written. Each path's arithmetic
// sits in a row function over one buffer row and the matching grid rows.
#include "CImageEngine.h"
#include "parallel/ParallelKernels.h"
#include "PixelLanes.h"

#include <cstddef>

namespace {

// Saturation curve: its fixed point a, and how far darkness lowers the value b
// it takes there.
constexpr float kSaturationPivot = 0.25f;
constexpr float kSaturationDarkening = 0.04f;

constexpr float kRunningMinStart = 1000000.0f;
constexpr float kRunningMaxStart = -1000000.0f;
constexpr float kFinalClipFraction = 0.005f;

using gw::pixel::PixelLayout;

/// Screen blend of the reflectance w into the value v with strength a.
inline float ScreenBlend(float v, float w, float a) noexcept
{
    return 1.0f - (1.0f - v) * (1.0f - a * w);
}

/// Grey without stretch: the blend goes straight into the output.
void BlendRowGrey(float* pOut, const float* pIn, const float* pW, int nCols, float fAmount,
                  const PixelLayout& layout) noexcept
{
    for (int c = 1; c <= nCols; ++c) {
        const std::ptrdiff_t i =
            static_cast<std::ptrdiff_t>(c - 1) * layout.nChannels + layout.nValue;
        pOut[i] = ScreenBlend(pIn[i], pW[c], fAmount);
    }
}

/// Colour without stretch: blend into the work grid, lower the saturation where
/// the illumination pL is dark, convert to RGB.
void BlendRowColour(float* pOut, const float* pIn, float* pW, const float* pL, int nCols,
                    float fAmount, const PixelLayout& layout) noexcept
{
    for (int c = 1; c <= nCols; ++c) {
        const std::ptrdiff_t p = static_cast<std::ptrdiff_t>(c - 1) * layout.nChannels;
        const float fHue = pIn[p + layout.nHue];
        const float fSat = pIn[p + layout.nSat];
        const float fValue = pIn[p + layout.nValue];
        pW[c] = ScreenBlend(fValue, pW[c], fAmount);
        const float b = kSaturationPivot - kSaturationDarkening * (1.0f - pL[c]);
        const float fNewSat = CImageEngine::SaturationCurve(fSat, kSaturationPivot, b);
        CImageEngine::HsvToRgb(&pOut[p], &pOut[p + 1], &pOut[p + 2], fHue, fNewSat, pW[c]);
    }
}

/// First pass of the stretch: the blend into the work grid, with its extremes.
void BlendRowIntoWork(const float* pIn, float* pW, int nCols, float fAmount,
                      const PixelLayout& layout, float& fMin, float& fMax) noexcept
{
    for (int c = 1; c <= nCols; ++c) {
        const float fValue =
            pIn[static_cast<std::ptrdiff_t>(c - 1) * layout.nChannels + layout.nValue];
        const float w = ScreenBlend(fValue, pW[c], fAmount);
        pW[c] = w;
        if (w <= fMin)
            fMin = w;
        if (w >= fMax)
            fMax = w;
    }
}

/// Second pass of the stretch, grey: the stretched value into the output.
void WriteRowGrey(float* pOut, const float* pW, int nCols, const PixelLayout& layout) noexcept
{
    for (int c = 1; c <= nCols; ++c)
        pOut[static_cast<std::ptrdiff_t>(c - 1) * layout.nChannels + layout.nValue] = pW[c];
}

/// Second pass of the stretch, colour: RGB from the pixel's hue and own
/// saturation and the stretched value.
void WriteRowColour(float* pOut, const float* pIn, const float* pW, int nCols,
                    const PixelLayout& layout) noexcept
{
    for (int c = 1; c <= nCols; ++c) {
        const std::ptrdiff_t p = static_cast<std::ptrdiff_t>(c - 1) * layout.nChannels;
        const float fHue = pIn[p + layout.nHue];
        const float fSat = pIn[p + layout.nSat];
        CImageEngine::HsvToRgb(&pOut[p], &pOut[p + 1], &pOut[p + 2], fHue, fSat, pW[c]);
    }
}

} // namespace



void CImageEngine::Recombine(float* pOut, const float* pIn, int nRows, int nCols, int nStride)
{
    CGridRows work = m_grids.WorkRows();
    CGridRows illumination = m_grids.IlluminationRows();
    const PixelLayout layout{m_nChannels, m_nValueChannel, m_nSatChannel, m_nHueChannel};
    const std::ptrdiff_t nRowFloats = static_cast<std::ptrdiff_t>(nStride) * m_nChannels;
    const float fRowUnits = 1.0f / static_cast<float>(nRows);
    auto outRow = [&](int r) { return pOut + static_cast<std::ptrdiff_t>(r - 1) * nRowFloats; };
    auto inRow = [&](int r) { return pIn + static_cast<std::ptrdiff_t>(r - 1) * nRowFloats; };

    // The parallel path writes the buffer in blocks of rows, so a stop still
    // leaves the rows after the current block as they were.
    gw::CParallelKernels* pKernels = FastKernels();
    auto reportRow = [&] { return ReportProgress(fRowUnits); };
    auto noCombine = [](int) {};

    if (!m_bFinalScaling && pKernels != nullptr) {
        const gw::pixel::LaneKernels& lanes = gw::pixel::Lanes();
        gw::ForGridBlocks(
            {{&work, gw::RowUse::Change}, {&illumination, gw::RowUse::Read}}, 1, nRows + 1, m_rowBlocks,
            [&](int nFirst, int nEnd) {
                return pKernels->ForRowBlocks(
                    nEnd - nFirst,
                    [&](int, int nBegin, int nPartEnd) {
                        for (int r = nFirst + nBegin; r < nFirst + nPartEnd; ++r) {
                            if (m_bHSV)
                                lanes.pfnBlendRowColour(outRow(r), inRow(r), work.Row(r), illumination.Row(r),
                                                        nCols, m_fAmount, kSaturationPivot, kSaturationDarkening,
                                                        layout);
                            else
                                lanes.pfnBlendRowGrey(outRow(r), inRow(r), work.Row(r), nCols, m_fAmount, layout);
                        }
                    },
                    noCombine, reportRow);
            });
        return;
    }
    if (!m_bFinalScaling) {
        for (int r = 1; r <= nRows; ++r) {
            if (m_bHSV)
                BlendRowColour(outRow(r), inRow(r), work.Row(r), illumination.Row(r), nCols,
                               m_fAmount, layout);
            else
                BlendRowGrey(outRow(r), inRow(r), work.Row(r), nCols, m_fAmount, layout);
            if (ReportProgress(fRowUnits))
                return;
        }
        return;
    }

    // Stretch: blend into the work grid, find the range of the blend, then write.
    float fMin = kRunningMinStart;
    float fMax = kRunningMaxStart;
    if (pKernels != nullptr) {
        // The parts' extremes, combined in part order with the same comparisons,
        // are those of one pass in order.
        float partMin[gw::CWorkerPool::kMaxThreads];
        float partMax[gw::CWorkerPool::kMaxThreads];
        // Only fMax shapes the range (NormalizeRange), and the lanes give its bits.
        const gw::pixel::LaneKernels& lanes = gw::pixel::Lanes();
        const bool bDone = gw::ForGridBlocks(
            {{&work, gw::RowUse::Change}}, 1, nRows + 1, m_rowBlocks, [&](int nFirst, int nEnd) {
                const int nParts = pKernels->Pool().PartsFor(nEnd - nFirst, 8);
                pKernels->ForParts(nEnd - nFirst, 8, [&](int nPart, int nBegin, int nPartEnd) {
                    float fPartMin = kRunningMinStart;
                    float fPartMax = kRunningMaxStart;
                    for (int r = nFirst + nBegin; r < nFirst + nPartEnd; ++r)
                        lanes.pfnBlendRowIntoWork(inRow(r), work.Row(r), nCols, m_fAmount, layout, fPartMin,
                                                  fPartMax);
                    partMin[nPart] = fPartMin;
                    partMax[nPart] = fPartMax;
                });
                for (int nPart = 0; nPart < nParts; ++nPart) {
                    if (partMin[nPart] <= fMin)
                        fMin = partMin[nPart];
                    if (partMax[nPart] >= fMax)
                        fMax = partMax[nPart];
                }
                return !ReportRows(nEnd - nFirst, fRowUnits);
            });
        if (!bDone)
            return;
    } else {
        for (int r = 1; r <= nRows; ++r) {
            BlendRowIntoWork(inRow(r), work.Row(r), nCols, m_fAmount, layout, fMin, fMax);
            if (ReportProgress(fRowUnits))
                return;
        }
    }
    if (!NormalizeRange(work, nRows, nCols, fMin, fMax, kFinalClipFraction, true))
        return;
    if (ReportProgress(0.0f))
        return;
    if (pKernels != nullptr) {
        const gw::pixel::LaneKernels& lanes = gw::pixel::Lanes();
        gw::ForGridBlocks({{&work, gw::RowUse::Read}}, 1, nRows + 1, m_rowBlocks, [&](int nFirst, int nEnd) {
            return pKernels->ForRowBlocks(
                nEnd - nFirst,
                [&](int, int nBegin, int nPartEnd) {
                    for (int r = nFirst + nBegin; r < nFirst + nPartEnd; ++r) {
                        if (m_bHSV)
                            lanes.pfnWriteRowColour(outRow(r), inRow(r), work.Row(r), nCols, layout);
                        else
                            lanes.pfnCopyChannelIn(work.Row(r) + 1, outRow(r), layout.nChannels, layout.nValue,
                                                   nCols);
                    }
                },
                noCombine, reportRow);
        });
        return;
    }
    for (int r = 1; r <= nRows; ++r) {
        if (m_bHSV)
            WriteRowColour(outRow(r), inRow(r), work.Row(r), nCols, layout);
        else
            WriteRowGrey(outRow(r), work.Row(r), nCols, layout);
        if (ReportProgress(fRowUnits))
            return;
    }
}



float CImageEngine::SaturationCurve(float x, float a, float b) noexcept
{
    float y = (x - 1.0f) * x * b / ((a - 1.0f) * a) + (x - a) * x / (1.0f - a);
    if (y > 1.0f)
        y = 1.0f;
    if (y < 0.0f)
        y = 0.0f;
    return y;
}



void CImageEngine::HsvToRgb(float* pR, float* pG, float* pB, float h, float s, float v) noexcept
{
    if (s == 0.0f) {
        *pR = v;
        *pG = v;
        *pB = v;
        return;
    }
    // Truncation toward zero; a hue no int can hold (or NaN) takes the last case.
    int i = -1;
    float f = 0.0f;
    if (h > -2147483520.0f && h < 2147483520.0f) {
        i = static_cast<int>(h);
        f = h - static_cast<float>(i);
    }
    const float p = (1.0f - s) * v;
    const float q = (1.0f - s * f) * v;
    const float t = (1.0f - (1.0f - f) * s) * v;
    float r, g, b;
    switch (i) {
    case 0: r = v; g = t; b = p; break;
    case 1: r = q; g = v; b = p; break;
    case 2: r = p; g = v; b = t; break;
    case 3: r = p; g = q; b = v; break;
    case 4: r = t; g = p; b = v; break;
    default: r = v; g = p; b = q; break;
    }
    *pR = r;
    *pG = g;
    *pB = b;
}
