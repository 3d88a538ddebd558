// KernelsPaged.h - the multigrid kernels over paged grids.
//
// Each kernel here is the counterpart of the in-RAM kernel of the same name and calls the same
// row function with the same rows in the same order, so both strategies give the same bits. Rows
// come from CPagedGrid::GetRow; where a row function reads several rows of one grid, all but the
// last fetched are copied first, because the first-in, first-out cache may replace a row that
// was already resident on the very next load. Columns, which a paged grid cannot address in
// place, are gathered into a window of neighbouring columns with one pass over the file, and
// column results are written back row by row. Windows are bounded (16 MB each, at most three at
// a time) whatever the grid's size.
//
// Failures of a temporary file throw CPagedGridError; the other errors are those of the in-RAM
// kernels.
#pragma once

#include "Kernels.h"
#include "memory/CPagedGrid.h"

#include <cstddef>

namespace gw {

/// Floats each column window may hold (default 1 << 22, 16 MB); at least the few columns a line
/// needs are always held. Smaller budgets only change how often the file is passed, never the
/// result; tests use them to put window edges inside small grids. Not thread safe: set it while
/// no engine runs.
void SetPagedWindowFloats(std::ptrdiff_t nFloats) noexcept;
std::ptrdiff_t PagedWindowFloats() noexcept;

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
                           ProgressHook progress);
void RelaxLinesPaged(const PagedLevel& grids, const LineVectors& lines, int nLevel, int nLevels,
                     ProgressHook progress);
void SolveCoarsestPaged(const PagedLevel& grids, const LineVectors& lines);

/// Residual into the top-left corner of work (the level's extents).
void ResidualPaged(CPagedGrid& work, const PagedLevel& grids);

/// coarse := restriction of the top-left nFineRows x nFineCols corner of fine.
void RestrictPaged(CPagedGrid& coarse, CPagedGrid& fine, int nFineRows, int nFineCols);

/// fine := prolongation of coarse.
void ProlongPaged(CPagedGrid& fine, CPagedGrid& coarse);

/// fineU += prolongation of coarseU; pScratch holds at least fineU.Columns() floats.
void AddCorrectionPaged(CPagedGrid& fineU, CPagedGrid& coarseU, float* pScratch);

void CopyGridPaged(CPagedGrid& destination, CPagedGrid& source);

} // namespace gw
