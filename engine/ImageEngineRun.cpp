// ImageEngineRun.cpp - the run pipeline: bounds, normalisation, colour
// conversion, then the stages in order; and the pre-smoothing stage.
#include "CImageEngine.h"
#include "parallel/ParallelKernels.h"
#include "PixelLanes.h"

#include <cmath>
#include <stdexcept>

namespace {

// Progress units of a full run, and of a run in fast mode.
constexpr float kProgressBudget = 28.0f;
constexpr float kProgressBudgetFast = 11.2f;

// Parameters of the pre-smoothing sweep: a wide radius and near-zero thermal
// and epsilon, so the sweep keeps edges and evens out only flat areas.
constexpr float kPreSmoothThermal = 0.00015f;
constexpr float kPreSmoothEpsilon = 0.000001f;
constexpr float kPreSmoothRadius = 80.0f;

} // namespace



void CImageEngine::FindBounds(std::uint64_t nFloats) noexcept
{
    // Both bounds start at 0, so 0 always lies inside them.
    float fMin = 0.0f;
    float fMax = 0.0f;
    if (gw::CParallelKernels* pKernels = FastKernels()) {
        // Rows in parts; the parts' bounds, combined in part order with the same
        // comparisons, are those of one pass in order.
        const std::size_t nRowFloats = nFloats / static_cast<std::uint64_t>(m_nRows);
        float partMin[gw::CWorkerPool::kMaxThreads];
        float partMax[gw::CWorkerPool::kMaxThreads];
        const int nParts = pKernels->Pool().PartsFor(m_nRows, 16);
        const gw::pixel::LaneKernels& lanes = gw::pixel::Lanes();
        pKernels->ForParts(m_nRows, 16, [&](int nPart, int nBegin, int nEnd) {
            float fPartMin = 0.0f;
            float fPartMax = 0.0f;
            lanes.pfnBounds(m_pData + static_cast<std::size_t>(nBegin) * nRowFloats,
                            static_cast<std::size_t>(nEnd - nBegin) * nRowFloats, fPartMin, fPartMax);
            partMin[nPart] = fPartMin;
            partMax[nPart] = fPartMax;
        });
        for (int nPart = 0; nPart < nParts; ++nPart) {
            if (partMax[nPart] > fMax)
                fMax = partMax[nPart];
            if (partMin[nPart] < fMin)
                fMin = partMin[nPart];
        }
        m_fDataMin = fMin;
        m_fDataMax = fMax;
        return;
    }
    for (std::uint64_t i = 0; i < nFloats; ++i) {
        const float v = m_pData[i];
        if (v > fMax)
            fMax = v;
        if (v < fMin)
            fMin = v;
    }
    m_fDataMin = fMin;
    m_fDataMax = fMax;
}



void CImageEngine::Normalize(std::uint64_t nFloats) noexcept
{
    const float fMin = m_fDataMin;
    const float fScale = 1.0f / (m_fDataMax - m_fDataMin);
    if (!std::isfinite(m_fDataMax - m_fDataMin)) {
        // Finite bounds whose difference overflows a float (3e38 and -3e38):
        // in float the scale is 0 and an overflowing difference gives 0 x inf,
        // not a number. Double holds both; the result is clamped to [0, 1]
        // against the rounding back.
        const double dMin = m_fDataMin;
        const double dScale = 1.0 / (static_cast<double>(m_fDataMax) - dMin);
        for (std::uint64_t i = 0; i < nFloats; ++i) {
            const double d = (static_cast<double>(m_pData[i]) - dMin) * dScale;
            m_pData[i] = static_cast<float>(d < 0.0 ? 0.0 : (d > 1.0 ? 1.0 : d));
        }
        return;
    }
    if (gw::CParallelKernels* pKernels = FastKernels()) {
        const std::size_t nRowFloats = nFloats / static_cast<std::uint64_t>(m_nRows);
        pKernels->ForRows(m_nRows, 16, [&](int nBegin, int nEnd) {
            float* pEnd = m_pData + static_cast<std::size_t>(nEnd) * nRowFloats;
            for (float* p = m_pData + static_cast<std::size_t>(nBegin) * nRowFloats; p != pEnd; ++p)
                *p = (*p - fMin) * fScale;
        });
        return;
    }
    for (std::uint64_t i = 0; i < nFloats; ++i)
        m_pData[i] = (m_pData[i] - fMin) * fScale;
}



void CImageEngine::ConvertToHsv() noexcept
{
    const std::uint64_t nPixels =
        static_cast<std::uint64_t>(m_nRows) * static_cast<std::uint64_t>(m_nCols);
    if (gw::CParallelKernels* pKernels = FastKernels()) {
        const std::size_t nRowFloats = static_cast<std::size_t>(m_nCols) * 3;
        const gw::pixel::LaneKernels& lanes = gw::pixel::Lanes();
        pKernels->ForRows(m_nRows, 16, [&](int nBegin, int nEnd) {
            lanes.pfnRgbToHsvPixels(m_pData + static_cast<std::size_t>(nBegin) * nRowFloats,
                                    static_cast<std::size_t>(nEnd - nBegin) * static_cast<std::size_t>(m_nCols));
        });
        return;
    }
    float* pPixel = m_pData;
    for (std::uint64_t i = 0; i < nPixels; ++i, pPixel += 3)
        RgbToHsv(pPixel[0], pPixel[1], pPixel[2], pPixel[0], pPixel[1], pPixel[2]);
}



void CImageEngine::Run(float* pData, float fLo, float fHi)
{
    // No worker thread outlives the run: an engine may be destroyed where
    // threads cannot be waited for (a plug-in library being unloaded).
    struct EndThreads
    {
        CImageEngine& engine;
        ~EndThreads() { engine.EndWorkerThreads(); }
    } const endThreads{*this};
    const bool bFindBounds = fLo == 0.0f && fHi == 0.0f;
    m_fDataMin = 0.0f;
    m_fDataMax = 0.0f;
    m_fProgressDone = 0.0f;
    m_nPercent.store(0, std::memory_order_relaxed);
    m_fProgressTotal = m_bFastMode ? kProgressBudgetFast : kProgressBudget;
    if (!m_bHSV)
        m_fProgressTotal -= 1.0f;
    if (!bFindBounds)
        m_fProgressTotal -= 1.0f;

    // An engine made for an empty size has nothing to do.
    if (!m_grids.HasGrids()) {
        m_nPercent.store(100, std::memory_order_relaxed);
        return;
    }
    if (pData == nullptr)
        throw std::invalid_argument("CImageEngine::Run: no image buffer");
    m_pData = pData;
    const std::uint64_t nFloats = static_cast<std::uint64_t>(m_nRows) *
                                  static_cast<std::uint64_t>(m_nCols) *
                                  static_cast<std::uint64_t>(m_nChannels);

    // Bounds of the normalisation.
    if (bFindBounds) {
        FindBounds(nFloats);
        if (ReportProgress(1.0f))
            return;
    } else {
        m_fDataMin = fLo;
        m_fDataMax = fHi;
    }
    const float fRange = m_fDataMax - m_fDataMin;

    // Map onto [0, 1] unless the data are there already.
    const bool bSkipNormalize = (m_bFastMode && m_fDataMin >= 0.0f && m_fDataMax <= 1.0f) ||
                                (m_fDataMin == 0.0f && m_fDataMax == 1.0f) ||
                                m_fDataMin == m_fDataMax;
    if (!bSkipNormalize) {
        Normalize(nFloats);
        if (ReportProgress(1.0f))
            return;
    }
    if (fRange == 0.0f) {
        m_nPercent.store(100, std::memory_order_relaxed);
        return;
    }

    if (m_bHSV) {
        ConvertToHsv();
        if (ReportProgress(1.0f))
            return;
    }

    // The stages; a stop after any of them ends the run.
    if (!m_bFastMode)
        PreSmooth();
    if (!ReportProgress(0.0f)) {
        SolveIllumination(m_pData, m_nRows, m_nCols, m_nCols, false);
        if (!ReportProgress(0.0f)) {
            ComputeReflectance(m_pData, m_nRows, m_nCols, m_nCols);
            if (!ReportProgress(0.0f)) {
                Recombine(m_pData, m_pData, m_nRows, m_nCols, m_nCols);
                ReportProgress(0.0f);
            }
        }
    }
    m_nPercent.store(100, std::memory_order_relaxed);
}



void CImageEngine::PreSmooth()
{
    // The sweep runs with its own parameters; the user's come back whatever
    // happens inside it.
    struct Restore
    {
        CImageEngine& engine;
        float fThermal, fEpsilon, fRadius;
        ~Restore()
        {
            engine.m_fThermal = fThermal;
            engine.m_fEpsilon = fEpsilon;
            engine.m_fRadius = fRadius;
        }
    };
    {
        const Restore restore{*this, m_fThermal, m_fEpsilon, m_fRadius};
        m_fThermal = kPreSmoothThermal;
        m_fEpsilon = kPreSmoothEpsilon;
        m_fRadius = kPreSmoothRadius;
        SolveIllumination(m_pData, m_nRows, m_nCols, m_nCols, true);
    }
    if (ReportProgress(0.0f))
        return;

    CGridRows smoothed = m_grids.IlluminationRows();
    auto writeBack = [&](int nBegin, int nEnd) {
        for (int r = nBegin + 1; r <= nEnd; ++r) {
            const float* pRow = smoothed.Row(r);
            float* pPixel =
                m_pData + static_cast<std::ptrdiff_t>(r - 1) * m_nCols * m_nChannels + m_nValueChannel;
            for (int c = 1; c <= m_nCols; ++c, pPixel += m_nChannels)
                *pPixel = pRow[c];
        }
    };
    if (gw::CParallelKernels* pKernels = FastKernels()) {
        const gw::pixel::LaneKernels& lanes = gw::pixel::Lanes();
        gw::ForGridBlocks({{&smoothed, gw::RowUse::Read}}, 1, m_nRows + 1, m_rowBlocks, [&](int nFirst, int nEnd) {
            pKernels->ForRows(nEnd - nFirst, 16, [&](int nBegin, int nPartEnd) {
                for (int r = nFirst + nBegin; r < nFirst + nPartEnd; ++r)
                    lanes.pfnCopyChannelIn(smoothed.Row(r) + 1,
                                           m_pData + static_cast<std::ptrdiff_t>(r - 1) * m_nCols * m_nChannels,
                                           m_nChannels, m_nValueChannel, m_nCols);
            });
            return true;
        });
    } else {
        writeBack(0, m_nRows);
    }
    ReportProgress(1.0f);
}
