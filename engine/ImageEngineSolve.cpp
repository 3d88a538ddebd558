// ImageEngineSolve.cpp - the illumination stage: the value channel into the finest grid, then
// the multigrid schedule on the backend of the engine's path.
#include "CImageEngine.h"

#include "EngineError.h"
#include "parallel/ParallelKernels.h"
#include "lanes/PixelLanes.h"
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
    const bool bReportRows = m_grids.IsInRam();
    const float fRowUnits = 1.0f / static_cast<float>(nRows);
    const auto pixelRow = [&](int r) {
        return pData + static_cast<std::ptrdiff_t>(r) * nStride * m_nChannels;
    };
    auto copyRow = [&](int r) {
        const float* pSrc = pixelRow(r) + m_nValueChannel;
        float* pDst = f.Row(r + 1);
        pDst[0] = 0.0f;
        for (int c = 0; c < nCols; ++c)
            pDst[c + 1] = pSrc[static_cast<std::ptrdiff_t>(c) * m_nChannels];
        pDst[nCols + 1] = 0.0f;
    };
    if (gw::CParallelKernels* pKernels = ParallelKernels())
    {
        // All rows at once on the worker threads, then the same reports in order.
        const gw::pixel::LaneKernels& lanes = gw::pixel::Lanes();
        const auto copyBlock = [&](int nFirst, int nEnd) {
            pKernels->ForRows(nEnd - nFirst, 16, [&](int nBegin, int nPartEnd) {
                for (int r = nFirst + nBegin; r < nFirst + nPartEnd; ++r)
                {
                    float* pDst = f.Row(r);
                    pDst[0] = 0.0f;
                    lanes.pfnCopyChannelOut(pixelRow(r - 1), m_nChannels, m_nValueChannel,
                                            pDst + 1, nCols);
                    pDst[nCols + 1] = 0.0f;
                }
            });
            return true;
        };
        gw::ForGridBlocks({{&f, gw::RowUse::Replace}}, 1, nRows + 1, m_rowBlocks, copyBlock);
        for (int r = 0; r < nRows; ++r)
        {
            if (bReportRows && ReportProgress(fRowUnits))
                return;
        }
    }
    else
    {
        for (int r = 0; r < nRows; ++r)
        {
            copyRow(r);
            if (bReportRows && ReportProgress(fRowUnits))
                return;
        }
    }

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
    const gw::ProgressHook progress{
        [](void* pEngine, float fUnits) {
            return static_cast<CImageEngine*>(pEngine)->ReportProgress(fUnits);
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
