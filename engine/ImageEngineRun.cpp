// ImageEngineRun.cpp - the run pipeline: bounds, normalisation, colour
// conversion (stages/Prepare.cpp), then the stages in order; and the
// pre-smoothing stage.
#include "CImageEngine.h"
#include "stages/PixelRows.h"
#include "stages/StageRows.h"

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
    const std::uint64_t nFloats = static_cast<std::uint64_t>(m_nRows)
                                * static_cast<std::uint64_t>(m_nCols)
                                * static_cast<std::uint64_t>(m_nChannels);

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
    const bool bSkipNormalize = (m_bFastMode && m_fDataMin >= 0.0f && m_fDataMax <= 1.0f)
                             || (m_fDataMin == 0.0f && m_fDataMax == 1.0f)
                             || m_fDataMin == m_fDataMax;
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

    // The smoothed values go back into the value channel.
    CGridRows smoothed = m_grids.IlluminationRows();
    const gw::pixel::LaneKernels& kernels = PixelKernels();
    const std::ptrdiff_t nRowFloats = static_cast<std::ptrdiff_t>(m_nCols) * m_nChannels;
    auto rows = [&](int, int nBegin, int nEnd) {
        for (int r = nBegin; r < nEnd; ++r)
            kernels.pfnCopyChannelIn(smoothed.Row(r) + 1, m_pData + (r - 1) * nRowFloats,
                                     m_nChannels, m_nValueChannel, m_nCols);
    };
    gw::ForGridRows(
        {{&smoothed, gw::RowUse::Read}}, m_nRows, m_rowBlocks, StagePool(), {0, 16}, rows,
        [](int) {}, [] { return false; });
    ReportProgress(1.0f);
}
