// Solver.cpp - the illumination solver: full multigrid over the engine's grid pyramid.
//
// The illumination is the solution u of the screened, edge-aware diffusion A u = f, where f is
// the value channel of the image and A is assembled from couplings that fall off across edges
// and in the dark (KernelsCoupling.h). The pyramid runs from level 1 (coarsest; its smaller
// extent has a single interior line, so it is solved exactly) to level L (the image). The
// schedule is full multigrid with one V-cycle per level and one line-relaxation sweep before and
// after each coarse correction; there is no iteration to convergence.
#include "CImageEngine.h"
#include "SolverViews.h"
#include "EngineError.h"
#include "kernels/KernelsCoupling.h"
#include "parallel/ParallelKernels.h"
#include "kernels/KernelsGrid.h"
#include "kernels/KernelsRelax.h"
#include "kernels/KernelsTransfer.h"
#include "PixelLanes.h"

#include <algorithm>
#include <cstddef>
#include <stdexcept>

namespace {

using gw::GridView;
using gw::LevelGrids;

// The level table of the solver ends here; a larger pyramid would need an image of more than
// 2^30 pixels on its shorter side.
constexpr int kMaxLevels = 31;

using gw::LevelOf;
using gw::LinesOf;
using gw::ViewOf;

} // namespace



void CImageEngine::SolveIllumination(float* pData, int nRows, int nCols, int nStride, bool bSingleSweep)
{
    const int nLevels = m_grids.Levels();
    if (nLevels == 0 || !m_grids.HasGrids())
        return;
    if (pData == nullptr || nRows + 2 != m_grids.LevelRows(nLevels)
        || nCols + 2 != m_grids.LevelCols(nLevels) || nStride < nCols)
    {
        throw std::invalid_argument("SolveIllumination: the buffer does not match the engine's size");
    }

    // The value channel goes into the interior of the finest right-hand side, inside a zero ring.
    CGridRows f = m_grids.IlluminationRows();
    std::fill_n(f.Row(0), f.Cols(), 0.0f);
    std::fill_n(f.Row(nRows + 1), f.Cols(), 0.0f);
    const bool bReportRows = m_grids.IsInRam();
    const float fRowUnits = 1.0f / static_cast<float>(nRows);
    auto copyRow = [&](int r) {
        const float* pSrc = pData + static_cast<std::ptrdiff_t>(r) * nStride * m_nChannels + m_nValueChannel;
        float* pDst = f.Row(r + 1);
        pDst[0] = 0.0f;
        for (int c = 0; c < nCols; ++c)
            pDst[c + 1] = pSrc[static_cast<std::ptrdiff_t>(c) * m_nChannels];
        pDst[nCols + 1] = 0.0f;
    };
    if (gw::CParallelKernels* pKernels = FastKernels())
    {
        // All rows at once on the worker threads, then the same reports in order.
        const gw::pixel::LaneKernels& lanes = gw::pixel::Lanes();
        gw::ForGridBlocks({{&f, gw::RowUse::Replace}}, 1, nRows + 1, m_rowBlocks, [&](int nFirst, int nEnd) {
            pKernels->ForRows(nEnd - nFirst, 16, [&](int nBegin, int nPartEnd) {
                for (int r = nFirst + nBegin; r < nFirst + nPartEnd; ++r)
                {
                    float* pDst = f.Row(r);
                    pDst[0] = 0.0f;
                    lanes.pfnCopyChannelOut(pData + static_cast<std::ptrdiff_t>(r - 1) * nStride * m_nChannels,
                                            m_nChannels, m_nValueChannel, pDst + 1, nCols);
                    pDst[nCols + 1] = 0.0f;
                }
            });
            return true;
        });
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
    if (nLevels > kMaxLevels)
        throw gw::EngineError(gw::EngineError::Kind::TooManyLevels);
    if (nLevels == 0 || !m_grids.HasGrids())
        return;
    if (!m_grids.IsInRam())
    {
        RunMultigridPaged(bSingleSweep);
        return;
    }
    if (gw::CParallelKernels* pKernels = FastKernels())
    {
        RunMultigridFast(*pKernels, bSingleSweep);
        return;
    }

    const gw::CouplingParams params{m_fRadius, m_fThermal, m_fEpsilon};
    const gw::ProgressHook progress{
        [](void* pEngine, float fUnits) { return static_cast<CImageEngine*>(pEngine)->ReportProgress(fUnits); },
        this};
    const gw::LineVectors lines = LinesOf(m_grids);
    const GridView work = ViewOf(m_grids.Work());
    const LevelGrids top = LevelOf(m_grids, nLevels);

    // Fast mode never works on the finest level, so it skips its couplings. A pyramid of one
    // level is the exception: its coarse solve needs them, and whatever an earlier run left there
    // belongs to another image.
    if (!m_bFastMode || nLevels == 1)
        gw::ComputeCouplings(top, nLevels, nLevels, params, progress);
    if (ReportProgress(0.0f))
        return;

    if (bSingleSweep)
    {
        // One sweep that starts from the image and relaxes towards it, in place in f: the solution
        // grid holds the image as the right side and f plays the unknown.
        gw::CopyGrid(top.u, top.f);
        if (ReportProgress(1.0f))
            return;
        const LevelGrids swapped{top.bh, top.bv, top.u, top.f};
        gw::RelaxLines(swapped, lines, nLevels, nLevels, progress);
        ReportProgress(0.0f);
        return;
    }

    // First descent: the image restricted to every level, and each level's couplings from it.
    // The couplings stay fixed from here on; the coarser right-hand sides are later overwritten
    // by restricted residuals.
    for (int l = nLevels - 1; l >= 1; --l)
    {
        const LevelGrids level = LevelOf(m_grids, l);
        gw::Restrict(level.f, LevelOf(m_grids, l + 1).f);
        gw::ComputeCouplings(level, l, nLevels, params, progress);
    }
    if (ReportProgress(0.0f))
        return;

    gw::SolveCoarsest(LevelOf(m_grids, 1), lines);

    // Full multigrid: each finer level starts from the prolonged solution of the level below and
    // gets one V-cycle down to level 1 and back.
    for (int j = 2; j <= nLevels; ++j)
    {
        if (m_bFastMode && j == nLevels)
        {
            gw::Prolong(top.f, LevelOf(m_grids, nLevels - 1).u);
            ReportProgress(1.0f);
            return;
        }
        gw::Prolong(LevelOf(m_grids, j).u, LevelOf(m_grids, j - 1).u);

        // Descent: smooth, then carry the residual down as the next level's right-hand side,
        // whose correction starts from zero.
        for (int k = j; k >= 2; --k)
        {
            const LevelGrids level = LevelOf(m_grids, k);
            const LevelGrids coarser = LevelOf(m_grids, k - 1);
            gw::RelaxLines(level, lines, k, nLevels, progress);
            if (ReportProgress(0.0f))
                return;
            gw::Residual(work, level);
            gw::Restrict(coarser.f, work.Corner(level.Rows(), level.Cols()));
            if (ReportProgress(0.0f))
                return;
            gw::ZeroGrid(coarser.u);
        }

        gw::SolveCoarsest(LevelOf(m_grids, 1), lines);
        if (ReportProgress(0.0f))
            return;

        // Ascent: add each coarse correction to the finer solution and smooth again.
        for (int k = 2; k <= j; ++k)
        {
            const LevelGrids level = LevelOf(m_grids, k);
            gw::AddCorrection(level.u, LevelOf(m_grids, k - 1).u, work);
            gw::RelaxLines(level, lines, k, nLevels, progress);
            if (ReportProgress(0.0f))
                return;
        }
        if (ReportProgress(0.0f))
            return;
    }

    gw::CopyGrid(top.f, top.u);
    ReportProgress(1.0f);
}
