// RamBackend.cpp - the schedule's verbs on in-RAM grids.
#include "solver/RamBackend.h"

#include "kernels/KernelsCoupling.h"
#include "kernels/KernelsGrid.h"
#include "kernels/KernelsRelax.h"
#include "kernels/KernelsTransfer.h"
#include "parallel/ParallelKernels.h"
#include "solver/CoarsestSolve.h"
#include "solver/SolverViews.h"

#include <type_traits>
#include <vector>

namespace gw {

namespace {

// The straightforward single-threaded kernels under the parallel kernels' names, with the
// line vectors their line solves use.
struct ReferenceKernels
{
    LineVectors lines;

    void ComputeCouplings(const LevelGrids& grids, int l, int nLevels, const CouplingParams& params,
                          ProgressHook progress)
    {
        gw::ComputeCouplings(grids, l, nLevels, params, progress);
    }
    void RelaxLines(const LevelGrids& grids, int l, int nLevels, ProgressHook progress)
    {
        gw::RelaxLines(grids, lines, l, nLevels, progress);
    }
    void Residual(const GridView& w, const LevelGrids& grids) { gw::Residual(w, grids); }
    void Restrict(const GridView& coarse, const GridView& fine) { gw::Restrict(coarse, fine); }
    void Prolong(const GridView& fine, const GridView& coarse) { gw::Prolong(fine, coarse); }
    void AddCorrection(const GridView& u, const GridView& coarseU, const GridView& w)
    {
        gw::AddCorrection(u, coarseU, w);
    }
    void CopyGrid(const GridView& to, const GridView& from) { gw::CopyGrid(to, from); }
    void ZeroGrid(const GridView& grid) { gw::ZeroGrid(grid); }
};

// The verbs on the engine's in-RAM pyramid, computed by Kernels.
template <class Kernels>
class CRamBackend final : public CSolverBackend
{
public:
    // The parallel kernels take Bv row-major, the straightforward ones transposed.
    static constexpr bool kRowMajorBv = std::is_same_v<Kernels, CParallelKernels>;

    CRamBackend(CGridMemory& grids, Kernels& kernels, const CouplingParams& params,
                ProgressHook progress)
        : m_grids(grids)
        , m_kernels(kernels)
        , m_params(params)
        , m_progress(progress)
        , m_nLevels(grids.Levels())
        , m_work(ViewOf(grids.Work()))
        , m_lines(LinesOf(grids))
    {
        if constexpr (kRowMajorBv)
            m_columnCouplings.resize(static_cast<std::size_t>(grids.LevelRows(1)));
    }

    void Couplings(int l) override
    {
        m_kernels.ComputeCouplings(Level(l), l, m_nLevels, m_params, m_progress);
    }
    void Relax(int l) override { m_kernels.RelaxLines(Level(l), l, m_nLevels, m_progress); }
    void RelaxRightSide(int l) override
    {
        const LevelGrids level = Level(l);
        m_kernels.RelaxLines({level.bh, level.bv, level.u, level.f}, l, m_nLevels, m_progress);
    }
    void RestrictRightSide(int l) override { m_kernels.Restrict(Level(l).f, Level(l + 1).f); }
    void RestrictResidual(int l) override
    {
        const LevelGrids level = Level(l);
        m_kernels.Residual(m_work, level);
        m_kernels.Restrict(Level(l - 1).f, m_work.Corner(level.Rows(), level.Cols()));
    }
    void ZeroSolution(int l) override { m_kernels.ZeroGrid(Level(l).u); }
    void ProlongSolution(int l) override { m_kernels.Prolong(Level(l).u, Level(l - 1).u); }
    void ProlongIntoRightSide(int l) override { m_kernels.Prolong(Level(l).f, Level(l - 1).u); }
    void AddCorrection(int l) override
    {
        m_kernels.AddCorrection(Level(l).u, Level(l - 1).u, m_work);
    }
    void SolveCoarsest() override;
    void CopyRightSideToSolution(int l) override { m_kernels.CopyGrid(Level(l).u, Level(l).f); }
    void CopySolutionToRightSide(int l) override { m_kernels.CopyGrid(Level(l).f, Level(l).u); }

private:
    // The grids of a level as Kernels reads them.
    LevelGrids Level(int l) const noexcept
    {
        return kRowMajorBv ? RowMajorLevelOf(m_grids, l) : LevelOf(m_grids, l);
    }

    CGridMemory& m_grids;
    Kernels& m_kernels;
    CouplingParams m_params;
    ProgressHook m_progress;
    int m_nLevels = 0;
    GridView m_work;
    LineVectors m_lines;
    std::vector<float> m_columnCouplings; // the coarsest column's couplings, for row-major Bv
};



template <class Kernels>
void CRamBackend<Kernels>::SolveCoarsest()
{
    const LevelGrids level = Level(1);
    if constexpr (kRowMajorBv) {
        // A single interior column reads its couplings as one line: gather them from the
        // row-major Bv.
        if (level.Cols() <= level.Rows()) {
            for (int r = 0; r < level.Rows(); ++r)
                m_columnCouplings[static_cast<std::size_t>(r)] = level.bv.At(r, 1);
        }
        gw::SolveCoarsest(level, m_columnCouplings.data(), m_lines);
    } else {
        gw::SolveCoarsest(level, m_lines);
    }
}

} // namespace



void RunMultigridInRam(CGridMemory& grids, CParallelKernels* pKernels, const CouplingParams& params,
                       const MultigridRun& run, ProgressHook progress)
{
    if (pKernels != nullptr) {
        CRamBackend<CParallelKernels> backend(grids, *pKernels, params, progress);
        RunFullMultigrid(backend, run, progress);
        return;
    }
    ReferenceKernels kernels{LinesOf(grids)};
    CRamBackend<ReferenceKernels> backend(grids, kernels, params, progress);
    RunFullMultigrid(backend, run, progress);
}

} // namespace gw
