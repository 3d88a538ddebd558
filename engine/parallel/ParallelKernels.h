// ParallelKernels.h - the solver's kernels spread over worker threads and vector lanes.
//
// Every kernel here gives exactly the bits of its straightforward counterpart in
// KernelsCoupling.h, KernelsGrid.h, KernelsTransfer.h and KernelsRelax.h: rows are
// computed by the same row functions, or, in the line relaxation, each line's
// system is built and solved with the same operations in the same order, only
// several lines at a time across the lanes of a vector register. Lines of one
// zebra colour never read each other, so which thread or lane solves one does not
// change its result.
//
// Layout: these kernels take the vertical couplings Bv row-major, with the shape of the level
// ([r][c] couples (r, c) with (r + 1, c)), where the straightforward kernels take them transposed.
// Every kernel then reads its grids along rows: the couplings are written, and the residual and
// both line passes read them, without a stride of a whole grid row per element. The engine's
// parallel path views the same storage this way; no other code reads Bv.
//
// Progress: the sweeping kernels report the same units, in the same order, as the
// straightforward ones, from the calling thread after each parallel pass; a stop
// therefore takes effect at the end of the pass (at most half a sweep later). Both colours of
// a direction are solved in one pass, each block of the second right after the first-colour
// block beside it.
#pragma once

#include "kernels/Kernels.h"
#include "parallel/WorkerPool.h"

#include <memory>
#include <vector>

namespace gw {

class CParallelKernels
{
public:
    /// Kernels on the threads of pool (the engine's; it must outlive the kernels) for levels
    /// whose lines are at most nMaxLine points long (border included). Throws std::bad_alloc.
    CParallelKernels(CWorkerPool& pool, int nMaxLine);

    int Threads() const noexcept { return m_pool.Threads(); }
    CWorkerPool& Pool() noexcept { return m_pool; }

    void ComputeCouplings(const LevelGrids& grids, int nLevel, int nLevels,
                          const CouplingParams& params, ProgressHook progress);
    void RelaxLines(const LevelGrids& grids, int nLevel, int nLevels, ProgressHook progress);
    void Residual(const GridView& work, const LevelGrids& grids);
    void Restrict(const GridView& coarse, const GridView& fine);
    void Prolong(const GridView& fine, const GridView& coarse);
    void AddCorrection(const GridView& fineU, const GridView& coarseU, const GridView& work);
    void CopyGrid(const GridView& destination, const GridView& source);
    void ZeroGrid(const GridView& grid);

    /// Runs fn(nBegin, nEnd) over parts of [0, nCount), sharing only when each part gets at
    /// least nMinPerPart items.
    template <class F>
    void ForRows(int nCount, int nMinPerPart, F&& fn)
    {
        m_pool.Run(nCount, m_pool.PartsFor(nCount, nMinPerPart),
                   [&fn](int, int nBegin, int nEnd) { fn(nBegin, nEnd); });
    }

    /// Runs fn(nPart, nBegin, nEnd) over parts of [0, nCount) as ForRows does; nPart is below
    /// CWorkerPool::kMaxThreads, so per-part results fit a fixed table that the caller combines
    /// in part order (which gives what one pass in order gives, for minima, maxima and sums of
    /// integers).
    template <class F>
    void ForParts(int nCount, int nMinPerPart, F&& fn)
    {
        m_pool.Run(nCount, m_pool.PartsFor(nCount, nMinPerPart), fn);
    }

private:
    // One direction of a sweep (both colours of the column or of the row lines), and up to
    // kLanes lines of one colour (nFirstLine, nFirstLine + 2, ...) with a thread's scratch block.
    void RelaxDirection(const LevelGrids& grids, bool bColumns);
    void SolveGroup(const LevelGrids& grids, bool bColumns, int nFirstLine, int nInGroup,
                    float* pBlock);
    // A block of up to kBlockGroups groups of one colour (nCount lines from nFirstLine, every
    // other one), the unit of a pass's partition.
    static constexpr int kBlockGroups = 4;
    void SolveBlock(const LevelGrids& grids, bool bColumns, int nFirstLine, int nCount,
                    float* pBlock);

    CWorkerPool& m_pool;
    int m_nMaxLine = 0;
    std::vector<std::unique_ptr<float[]>> m_scratch; // one block of lane vectors per thread
};

} // namespace gw
