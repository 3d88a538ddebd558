// Reflectance.cpp - the reflectance stage and the range normaliser.
//
// The reflectance divides each value by a gamma-compressed illumination and
// weights the quotient by how dark the illumination is. The normaliser picks a
// robust range from a histogram of a sample of the grid (a small fraction
// clipped at each end), clamps every element into it and stretches it onto
// [0, 1]. Each step is one kernel over a range of rows; StageRows.h spreads it over the
// engine's threads, and ForGridBlocks fetches the rows of paged grids.
#include "CImageEngine.h"

#include "PixelRows.h"
#include "StageRows.h"

#include <array>
#include <cstdint>

namespace {

// Illumination below this is raised to it: it bounds the division.
constexpr double kIlluminationFloor = 0.008;
// The gamma of the illumination: the float nearest 1 / 2.2, used in double.
constexpr float kReflectanceExponent = 1.0f / 2.2f;

// The range estimate looks at no more than about this many samples.
constexpr std::uint64_t kMaxSamples = 200000;
constexpr int kBins = 1000;
using Histogram = std::array<std::uint32_t, kBins>;

// Below this width a range is stretched by a fixed factor instead of 1 / width.
constexpr double kNarrowRange = 0.005;
constexpr float kNarrowScale = 200.0f;

/// The histogram bin of a sample: the value's share of max in 999ths,
/// truncated, kept inside the table (values outside [0, max] and NaN included).
int BinOf(float v, double dFactor) noexcept
{
    const double x = static_cast<double>(v) * dFactor * -999.0;
    if (!(x >= 0.0))
        return 0;
    if (x >= static_cast<double>(kBins - 1))
        return kBins - 1;
    return static_cast<int>(x);
}

/// Adds the samples of one row (columns 1, 1 + nStep, ... up to nCols).
void HistogramRow(const float* pRow, int nCols, int nStep, double dFactor,
                  Histogram& histogram) noexcept
{
    for (int c = 1; c <= nCols; c += nStep)
        ++histogram[static_cast<std::size_t>(BinOf(pRow[c], dFactor))];
}

/// Clamps columns 1..nCols into [fLow, fHigh] and maps them by (v - fLow) x fScale.
void ApplyRangeRow(float* pRow, int nCols, float fLow, float fHigh, float fScale) noexcept
{
    for (int c = 1; c <= nCols; ++c) {
        float v = pRow[c];
        v = v < fLow ? fLow : v;
        v = v > fHigh ? fHigh : v;
        pRow[c] = (v - fLow) * fScale;
    }
}

} // namespace



void CImageEngine::ComputeReflectance(const float* pData, int nRows, int nCols, int nStride)
{
    CGridRows work = m_grids.WorkRows();
    CGridRows illumination = m_grids.IlluminationRows();
    gw::CWorkerPool* pPool = StagePool();
    const gw::pixel::LaneKernels& kernels = PixelKernels();
    const float fRowUnits = 2.0f / static_cast<float>(nRows);

    // The row kernel reads the values straight from the buffer. Only fMax shapes the range
    // (NormalizeRange), and every kernel set gives its bits.
    gw::CPartExtremes extremes(gw::kRunningMinStart, gw::kRunningMaxStart, false);
    auto rows = [&](int nPart, int nBegin, int nEnd) {
        gw::CPartExtremes::Pair& part = extremes.Part(nPart);
        for (int r = nBegin; r < nEnd; ++r) {
            const std::ptrdiff_t nRowStart = static_cast<std::ptrdiff_t>(r - 1) * nStride;
            const float* pValue = pData + nRowStart * m_nChannels + m_nValueChannel;
            kernels.pfnReflectanceRow(work.Row(r), pValue, m_nChannels, illumination.Row(r), nCols,
                                      kIlluminationFloor, static_cast<double>(kReflectanceExponent),
                                      part.fMin, part.fMax);
        }
    };
    const bool bDone = gw::ForGridRows(
        {{&work, gw::RowUse::Change}, {&illumination, gw::RowUse::Change}}, nRows, m_rowBlocks,
        pPool, {0, 4}, rows, [&](int nParts) { extremes.Combine(nParts); },
        [&] { return ReportProgress(fRowUnits); });
    if (!bDone)
        return;

    NormalizeRange(work, nRows, nCols, extremes.Min(), extremes.Max(), m_fClipFraction, false);
}



bool CImageEngine::NormalizeRange(CGridRows grid, int nRows, int nCols, float /*fMin*/, float fMax,
                                  float fFraction, bool bRestore)
{
    // fMin would only select a shortcut for the [0, 1] case that gives the same
    // bins; only fMax shapes them.
    const float fKeptLow = m_fOutLow;
    const float fKeptHigh = m_fOutHigh;
    if (bRestore)
        m_fOutLow = -1.0f;

    if (m_fOutLow < 0.0f) {
        if (fMax > 0.0f) {
            // Sample every nStep-th row and column so at most kMaxSamples are seen.
            const std::uint64_t nCount = static_cast<std::uint64_t>(nRows < 0 ? 0 : nRows)
                                       * static_cast<std::uint64_t>(nCols < 0 ? 0 : nCols);
            std::uint64_t nStep = 1;
            while (nCount / (nStep * nStep) > kMaxSamples)
                ++nStep;
            const int nStepInt = static_cast<int>(nStep);

            Histogram histogram{};
            const double dFactor = -1.0 / static_cast<double>(fMax);
            const float fRowUnits = static_cast<float>(nStepInt) / static_cast<float>(nRows);
            for (int r = 1; r <= nRows; r += nStepInt) {
                HistogramRow(grid.Row(r), nCols, nStepInt, dFactor, histogram);
                if (ReportProgress(fRowUnits))
                    return false;
            }

            // Running counts, then the last bins below each clip point.
            Histogram cumulative{};
            cumulative[0] = histogram[0];
            for (int i = 1; i < kBins; ++i)
                cumulative[i] = cumulative[i - 1] + histogram[i];
            const float fTotal = static_cast<float>(cumulative[kBins - 1]);
            const float fLowCount = fFraction * fTotal;
            const float fHighCount = (1.0f - fFraction) * fTotal;
            int nLowBin = 0;
            int nHighBin = kBins - 1;
            for (int i = 0; i < kBins; ++i) {
                const float fCount = static_cast<float>(cumulative[i]);
                if (fCount < fLowCount)
                    nLowBin = i;
                else if (fCount < fHighCount)
                    nHighBin = i;
                else
                    break;
            }
            // Read back at a thousandth of max per bin.
            m_fOutLow = static_cast<float>(nLowBin) * fMax * 0.001f;
            m_fOutHigh = static_cast<float>(nHighBin) * fMax * 0.001f;
        } else {
            // A grid without positive values has no bins: everything maps to 0.
            m_fOutLow = 0.0f;
            m_fOutHigh = 0.0f;
        }
    }

    const float fLow = m_fOutLow;
    const float fHigh = m_fOutHigh;
    const float fWidth = fHigh - fLow;
    const float fScale = static_cast<double>(fWidth) > kNarrowRange ? 1.0f / fWidth : kNarrowScale;
    const float fRowUnits = 1.0f / static_cast<float>(nRows);
    auto rows = [&](int, int nBegin, int nEnd) {
        for (int r = nBegin; r < nEnd; ++r)
            ApplyRangeRow(grid.Row(r), nCols, fLow, fHigh, fScale);
    };
    const bool bDone = gw::ForGridRows(
        {{&grid, gw::RowUse::Change}}, nRows, m_rowBlocks, StagePool(), {0, 16}, rows, [](int) {},
        [&] { return ReportProgress(fRowUnits); });
    if (!bDone)
        return false;

    if (bRestore) {
        m_fOutLow = fKeptLow;
        m_fOutHigh = fKeptHigh;
    }
    return true;
}
