// Recombine.cpp - the last stage: the screen blend of the reflectance into the
// value, the optional final stretch, and the way back from HSV to RGB.
//
// The buffer is interleaved and may be both input and output: each pixel's
// input channels are read before its output is written. Each pass is one row
// kernel of the stage's kernel set; StageRows.h spreads it over the engine's
// threads, and ForGridBlocks fetches the rows of paged grids.
#include "CImageEngine.h"

#include "PixelMath.h"
#include "PixelRows.h"
#include "StageRows.h"

#include <cstddef>

namespace {

// Saturation curve: its fixed point a, and how far darkness lowers the value b
// it takes there.
constexpr float kSaturationPivot = 0.25f;
constexpr float kSaturationDarkening = 0.04f;

constexpr float kFinalClipFraction = 0.005f;

// Rows of a block of the passes that write the buffer, per thread: a stop leaves
// the rows after the current block as they were.
constexpr int kBufferRowsPerThread = 32;

} // namespace



void CImageEngine::Recombine(float* pOut, const float* pIn, int nRows, int nCols, int nStride)
{
    CGridRows work = m_grids.WorkRows();
    CGridRows illumination = m_grids.IlluminationRows();
    const gw::pixel::PixelLayout layout{m_nChannels, m_nValueChannel, m_nSatChannel, m_nHueChannel};
    const std::ptrdiff_t nRowFloats = static_cast<std::ptrdiff_t>(nStride) * m_nChannels;
    const float fRowUnits = 1.0f / static_cast<float>(nRows);
    auto outRow = [&](int r) { return pOut + static_cast<std::ptrdiff_t>(r - 1) * nRowFloats; };
    auto inRow = [&](int r) { return pIn + static_cast<std::ptrdiff_t>(r - 1) * nRowFloats; };
    gw::CWorkerPool* pPool = StagePool();
    const gw::pixel::LaneKernels& kernels = PixelKernels();
    auto report = [&] { return ReportProgress(fRowUnits); };

    // The passes that write the buffer go in small blocks of rows.
    auto bufferPass = [&](std::initializer_list<gw::RowPassGrid> grids, auto&& row) {
        auto rows = [&](int, int nBegin, int nEnd) {
            for (int r = nBegin; r < nEnd; ++r)
                row(r);
        };
        return gw::ForGridRows(
            grids, nRows, m_rowBlocks, pPool, {kBufferRowsPerThread, kBufferRowsPerThread / 2},
            rows, [](int) {}, report);
    };

    if (!m_bFinalScaling) {
        bufferPass({{&work, gw::RowUse::Change}, {&illumination, gw::RowUse::Read}}, [&](int r) {
            if (m_bHSV)
                kernels.pfnBlendRowColour(outRow(r), inRow(r), work.Row(r), illumination.Row(r),
                                          nCols, m_fAmount, kSaturationPivot, kSaturationDarkening,
                                          layout);
            else
                kernels.pfnBlendRowGrey(outRow(r), inRow(r), work.Row(r), nCols, m_fAmount, layout);
        });
        return;
    }

    // Stretch: blend into the work grid, find the range of the blend, then write. Only fMax
    // shapes the range (NormalizeRange), and every kernel set gives its bits.
    gw::CPartExtremes extremes(gw::kRunningMinStart, gw::kRunningMaxStart, true);
    auto blendRows = [&](int nPart, int nBegin, int nEnd) {
        gw::CPartExtremes::Pair& part = extremes.Part(nPart);
        for (int r = nBegin; r < nEnd; ++r)
            kernels.pfnBlendRowIntoWork(inRow(r), work.Row(r), nCols, m_fAmount, layout, part.fMin,
                                        part.fMax);
    };
    const bool bDone = gw::ForGridRows(
        {{&work, gw::RowUse::Change}}, nRows, m_rowBlocks, pPool, {0, 8}, blendRows,
        [&](int nParts) { extremes.Combine(nParts); }, report);
    if (!bDone)
        return;
    if (!NormalizeRange(work, nRows, nCols, extremes.Min(), extremes.Max(), kFinalClipFraction,
                        true))
        return;
    if (ReportProgress(0.0f))
        return;
    bufferPass({{&work, gw::RowUse::Read}}, [&](int r) {
        if (m_bHSV)
            kernels.pfnWriteRowColour(outRow(r), inRow(r), work.Row(r), nCols, layout);
        else
            kernels.pfnCopyChannelIn(work.Row(r) + 1, outRow(r), layout.nChannels, layout.nValue,
                                     nCols);
    });
}



float CImageEngine::SaturationCurve(float x, float a, float b) noexcept
{
    return gw::pixel::SaturationCurve(x, a, b);
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
    float p, q, t;
    gw::pixel::SextantLevels(s, f, v, p, q, t);
    float r, g, b;
    switch (i) {
    case 0:
        r = v;
        g = t;
        b = p;
        break;
    case 1:
        r = q;
        g = v;
        b = p;
        break;
    case 2:
        r = p;
        g = v;
        b = t;
        break;
    case 3:
        r = p;
        g = q;
        b = v;
        break;
    case 4:
        r = t;
        g = p;
        b = v;
        break;
    default:
        r = v;
        g = p;
        b = q;
        break;
    }
    *pR = r;
    *pG = g;
    *pB = b;
}
