// KernelsPaged.h - the multigrid kernels over paged grids.
//
// Each kernel here is the counterpart of the in-RAM kernel of the same name and calls the same
// row function on the same values, so both strategies give the same bits. Row sweeps work in
// chunks of rows: the rows a chunk needs are read in runs past the row cache, the chunk's rows
// are computed (shared over the workspace's pool, each row as alone) and written back in runs.
// Columns, which a paged grid cannot address in place, are gathered into a window of
// neighbouring columns with one pass over the file, and column results go back with one write
// per row. Windows are bounded (16 MB each, at most three at a time) whatever the grid's size;
// chunks and groups to about 1 MB.
//
// The zebra line sweeps take both colours as one front moving down the lines (see RelaxLinesPaged):
// a line is solved once its neighbours hold the values it would see with all lines of the first
// colour solved before the second. The lines of a step are solved in groups: the caller's thread
// fetches what a group needs, the pool solves the group's lines, and the results go back with the
// same progress and stop checks per line as one by one. Where the processor has AVX2, whole
// groups of eight lines go through the lane kernels of the in-RAM path (KernelsLanes.h), which
// see the step's copies as grids and its vertical couplings transposed into a row-major block;
// the other lines are eliminated eight at a time across the lanes of LaneSolve.h, or one by one.
//
// Failures of a temporary file throw CPagedGridError; the other errors are those of the in-RAM
// kernels.
#pragma once

#include "kernels/Kernels.h"
#include "WorkerPool.h"
#include "memory/CPagedGrid.h"

#include <array>
#include <cstddef>
#include <memory>

namespace gw {

/// Floats each column window may hold (default 1 << 22, 16 MB); at least the few columns a line
/// needs are always held. Smaller budgets only change how often the file is passed, never the
/// result; tests use them to put window edges inside small grids. Not thread safe: set it while
/// no engine runs.
void SetPagedWindowFloats(std::ptrdiff_t nFloats) noexcept;
std::ptrdiff_t PagedWindowFloats() noexcept;

/// Whether the couplings and line solves may take their AVX2 kernels where the processor has
/// AVX2 (default true). Both ways give the same bits; tests turn them off to check the way
/// processors without AVX2 take. Not thread safe: set it while no engine runs.
void SetPagedAvx2(bool bAllow) noexcept;
bool PagedAvx2() noexcept;

/// What the paged kernels of one solver run reuse from call to call: buffers for column
/// windows, row and line groups (each made once at the largest size asked, which the window
/// budget bounds), the pool that solves the lines of a group and one set of line vectors per
/// part of the pool. It keeps no grid data from one call to the next.
/// Frees a block of the system's (platform::AllocateZeroedBlock) of nBytes bytes.
struct PagedBlockFree
{
    std::size_t nBytes = 0;
    void operator()(float* pBlock) const noexcept;
};

class CPagedWorkspace
{
public:
    static constexpr int kBuffers = 5;

    /// A pool of nThreads threads (the caller included, at least 1); line vectors of nMaxLine
    /// floats. Throws std::bad_alloc.
    CPagedWorkspace(int nThreads, int nMaxLine);

    CPagedWorkspace(const CPagedWorkspace&) = delete;
    CPagedWorkspace& operator=(const CPagedWorkspace&) = delete;

    /// Buffer nIndex (0..kBuffers - 1) with room for nFloats floats, contents undefined.
    /// Throws std::bad_alloc.
    float* Buffer(int nIndex, std::size_t nFloats);

    CWorkerPool& Pool() noexcept { return m_pool; }

    /// Shares out the rows of a paged grid's bulk transfers over the pool.
    const CPagedGrid::RowRangeRunner& RowRunner() const noexcept { return m_rowRunner; }

    /// The line vectors of part nPart of a pool job.
    LineVectors Lines(int nPart) const noexcept;

    /// Scratch of part nPart for the lines solved together (LaneSolve.h, KernelsLanes.h):
    /// factors and solutions, 32 x nMaxLine floats each (four groups of eight columns).
    struct LaneScratch
    {
        float* pG;
        float* pX;
    };
    LaneScratch Lanes(int nPart) const noexcept;

private:
    CWorkerPool m_pool;
    CPagedGrid::RowRangeRunner m_rowRunner;
    int m_nMaxLine;
    std::unique_ptr<float[]> m_pLineVectors; // per part: four line vectors, then the lane scratch
    // Blocks straight from the system: the line solves walk the windows' columns, a page per
    // element, so large ones ask for huge pages where the system has them.
    std::array<std::unique_ptr<float[], PagedBlockFree>, kBuffers> m_apBuffer;
    std::array<std::size_t, kBuffers> m_anBufferFloats{};
};

/// The four paged grids of one level; bv has the transposed shape.
struct PagedLevel
{
    CPagedGrid* bh = nullptr;
    CPagedGrid* bv = nullptr;
    CPagedGrid* f = nullptr;
    CPagedGrid* u = nullptr;

    int Rows() const { return f->Rows(); }
    int Cols() const { return f->Columns(); }
};

void ComputeCouplingsPaged(const PagedLevel& grids, int nLevel, int nLevels, const CouplingParams& params,
                           CPagedWorkspace& workspace, ProgressHook progress);
void RelaxLinesPaged(const PagedLevel& grids, CPagedWorkspace& workspace, int nLevel, int nLevels,
                     ProgressHook progress);
void SolveCoarsestPaged(const PagedLevel& grids, const LineVectors& lines, CPagedWorkspace& workspace);

/// Residual into the top-left corner of work (the level's extents).
void ResidualPaged(CPagedGrid& work, const PagedLevel& grids, CPagedWorkspace& workspace);

/// coarse := restriction of the top-left nFineRows x nFineCols corner of fine.
void RestrictPaged(CPagedGrid& coarse, CPagedGrid& fine, int nFineRows, int nFineCols, CPagedWorkspace& workspace);

/// fine := prolongation of coarse.
void ProlongPaged(CPagedGrid& fine, CPagedGrid& coarse, CPagedWorkspace& workspace);

/// fineU += prolongation of coarseU.
void AddCorrectionPaged(CPagedGrid& fineU, CPagedGrid& coarseU, CPagedWorkspace& workspace);

void CopyGridPaged(CPagedGrid& destination, CPagedGrid& source, CPagedWorkspace& workspace);

/// Every element := fValue, written in runs of rows (no row is read).
void FillPaged(CPagedGrid& grid, float fValue, CPagedWorkspace& workspace);

} // namespace gw
