// RamBackend.cpp - the schedule's verbs on in-RAM grids.
#include "solver/RamBackend.h"

#include "KernelsCoupling.h"
#include "KernelsFast.h"
#include "KernelsGrid.h"
#include "KernelsRelax.h"
#include "KernelsTransfer.h"
#include "solver/CoarsestSolve.h"
#include "solver/SolverViews.h"

#include <type_traits>

namespace gw {

void CReferenceKernels::ComputeCouplings(const LevelGrids& grids, int nLevel, int nLevels,
                                         const CouplingParams& params, ProgressHook progress)
{
    gw::ComputeCouplings(grids, nLevel, nLevels, params, progress);
}



void CReferenceKernels::RelaxLines(const LevelGrids& grids, int nLevel, int nLevels,
                                   ProgressHook progress)
{
    gw::RelaxLines(grids, m_lines, nLevel, nLevels, progress);
}



void CReferenceKernels::Residual(const GridView& work, const LevelGrids& grids)
{
    gw::Residual(work, grids);
}



void CReferenceKernels::Restrict(const GridView& coarse, const GridView& fine)
{
    gw::Restrict(coarse, fine);
}



void CReferenceKernels::Prolong(const GridView& fine, const GridView& coarse)
{
    gw::Prolong(fine, coarse);
}



void CReferenceKernels::AddCorrection(const GridView& fineU, const GridView& coarseU,
                                      const GridView& work)
{
    gw::AddCorrection(fineU, coarseU, work);
}



void CReferenceKernels::CopyGrid(const GridView& destination, const GridView& source)
{
    gw::CopyGrid(destination, source);
}



void CReferenceKernels::ZeroGrid(const GridView& grid)
{
    gw::ZeroGrid(grid);
}



namespace {

// The parallel kernels take Bv row-major, the straightforward ones transposed.
template <class Kernels>
constexpr bool kRowMajorBv = std::is_same_v<Kernels, CParallelKernels>;

} // namespace



template <class Kernels>
CRamBackend<Kernels>::CRamBackend(CGridMemory& grids, Kernels& kernels,
                                  const CouplingParams& params, ProgressHook progress)
    : m_grids(grids), m_kernels(kernels), m_params(params), m_progress(progress),
      m_nLevels(grids.Levels()), m_work(ViewOf(grids.Work())), m_lines(LinesOf(grids))
{
    if constexpr (kRowMajorBv<Kernels>)
        m_columnCouplings.resize(static_cast<std::size_t>(grids.LevelRows(1)));
}



template <class Kernels>
LevelGrids CRamBackend<Kernels>::Level(int nLevel) const noexcept
{
    if constexpr (kRowMajorBv<Kernels>)
        return RowMajorLevelOf(m_grids, nLevel);
    else
        return LevelOf(m_grids, nLevel);
}



template <class Kernels>
void CRamBackend<Kernels>::Couplings(int nLevel)
{
    m_kernels.ComputeCouplings(Level(nLevel), nLevel, m_nLevels, m_params, m_progress);
}



template <class Kernels>
void CRamBackend<Kernels>::Relax(int nLevel)
{
    m_kernels.RelaxLines(Level(nLevel), nLevel, m_nLevels, m_progress);
}



template <class Kernels>
void CRamBackend<Kernels>::RelaxRightSide(int nLevel)
{
    const LevelGrids level = Level(nLevel);
    const LevelGrids swapped{level.bh, level.bv, level.u, level.f};
    m_kernels.RelaxLines(swapped, nLevel, m_nLevels, m_progress);
}



template <class Kernels>
void CRamBackend<Kernels>::RestrictRightSide(int nLevel)
{
    m_kernels.Restrict(Level(nLevel).f, Level(nLevel + 1).f);
}



template <class Kernels>
void CRamBackend<Kernels>::RestrictResidual(int nLevel)
{
    const LevelGrids level = Level(nLevel);
    m_kernels.Residual(m_work, level);
    m_kernels.Restrict(Level(nLevel - 1).f, m_work.Corner(level.Rows(), level.Cols()));
}



template <class Kernels>
void CRamBackend<Kernels>::ZeroSolution(int nLevel)
{
    m_kernels.ZeroGrid(Level(nLevel).u);
}



template <class Kernels>
void CRamBackend<Kernels>::ProlongSolution(int nLevel)
{
    m_kernels.Prolong(Level(nLevel).u, Level(nLevel - 1).u);
}



template <class Kernels>
void CRamBackend<Kernels>::ProlongIntoRightSide(int nLevel)
{
    m_kernels.Prolong(Level(nLevel).f, Level(nLevel - 1).u);
}



template <class Kernels>
void CRamBackend<Kernels>::AddCorrection(int nLevel)
{
    m_kernels.AddCorrection(Level(nLevel).u, Level(nLevel - 1).u, m_work);
}



template <class Kernels>
void CRamBackend<Kernels>::SolveCoarsest()
{
    const LevelGrids level = Level(1);
    if constexpr (kRowMajorBv<Kernels>)
    {
        // A single interior column reads its couplings as one line: gather them from the
        // row-major Bv.
        if (level.Cols() <= level.Rows())
        {
            for (int r = 0; r < level.Rows(); ++r)
                m_columnCouplings[static_cast<std::size_t>(r)] = level.bv.At(r, 1);
        }
        gw::SolveCoarsest(level, m_columnCouplings.data(), m_lines);
    }
    else
    {
        gw::SolveCoarsest(level, m_lines);
    }
}



template <class Kernels>
void CRamBackend<Kernels>::CopyRightSideToSolution(int nLevel)
{
    const LevelGrids level = Level(nLevel);
    m_kernels.CopyGrid(level.u, level.f);
}



template <class Kernels>
void CRamBackend<Kernels>::CopySolutionToRightSide(int nLevel)
{
    const LevelGrids level = Level(nLevel);
    m_kernels.CopyGrid(level.f, level.u);
}

template class CRamBackend<CReferenceKernels>;
template class CRamBackend<CParallelKernels>;

} // namespace gw
