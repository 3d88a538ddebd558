// ImageEngineSolve.cpp - the illumination stage: the value channel into the finest grid, then
// the multigrid schedule on the backend of the engine's path.
#include "CImageEngine.h"

#include "EngineError.h"
#include "stages/PixelRows.h"
#include "stages/StageRows.h"
#include "paged/PagedBackend.h"
#include "solver/Multigrid.h"
#include "solver/RamBackend.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>

void CImageEngine::SolveIllumination(float* pData, int nRows, int nCols, int nStride,
                                     bool bSingleSweep)
{
    const int nLevels = m_grids.Levels();
    if (nLevels == 0 || !m_grids.HasGrids())
        return;
    if (pData == nullptr || nRows + 2 != m_grids.LevelRows(nLevels)
        || nCols + 2 != m_grids.LevelCols(nLevels) || nStride < nCols)
    {
        throw std::invalid_argument(
            "SolveIllumination: the buffer does not match the engine's size");
    }

    // The value channel goes into the interior of the finest right-hand side, inside a zero ring.
    CGridRows f = m_grids.IlluminationRows();
    std::fill_n(f.Row(0), f.Cols(), 0.0f);
    std::fill_n(f.Row(nRows + 1), f.Cols(), 0.0f);
    // One kernel over the rows, spread over the engine's pool; each row reports its progress
    // once the grids are in RAM (paged grids leave these units out).
    const bool bReportRows = m_grids.IsInRam();
    const float fRowUnits = 1.0f / static_cast<float>(nRows);
    const gw::pixel::LaneKernels& kernels = PixelKernels();
    auto rows = [&](int, int nBegin, int nEnd) {
        for (int r = nBegin; r < nEnd; ++r) {
            float* pDst = f.Row(r);
            pDst[0] = 0.0f;
            const std::ptrdiff_t nRowStart = static_cast<std::ptrdiff_t>(r - 1) * nStride;
            kernels.pfnCopyChannelOut(pData + nRowStart * m_nChannels, m_nChannels, m_nValueChannel,
                                      pDst + 1, nCols);
            pDst[nCols + 1] = 0.0f;
        }
    };
    const bool bDone = gw::ForGridRows(
        {{&f, gw::RowUse::Replace}}, nRows, m_rowBlocks, StagePool(), {0, 16}, rows, [](int) {},
        [&] { return bReportRows && ReportProgress(fRowUnits); });
    if (!bDone)
        return;

    RunMultigrid(bSingleSweep);
}



void CImageEngine::RunMultigrid(bool bSingleSweep)
{
    const int nLevels = m_grids.Levels();
    if (nLevels > gw::kMaxLevels)
        throw gw::EngineError(gw::EngineError::Kind::TooManyLevels);
    if (nLevels == 0 || !m_grids.HasGrids())
        return;

    const gw::CouplingParams params{m_fRadius, m_fThermal, m_fEpsilon};
    const gw::ProgressHook progress{[](void* pEngine, float fUnits) {
                                        return static_cast<CImageEngine*>(pEngine)->ReportProgress(
                                            fUnits);
                                    },
                                    this};
    const gw::MultigridRun run{nLevels, m_bFastMode, bSingleSweep};

    // Paged grids take the paged kernels on every path (the reference path on one thread);
    // in RAM the parallel kernels, unless the reference path is asked for or they cannot be
    // allocated.
    if (!m_grids.IsInRam())
        gw::RunMultigridPaged(m_grids, PagedWorkspace(), params, run, progress);
    else
        gw::RunMultigridInRam(m_grids, ParallelKernels(), params, run, progress);
}
