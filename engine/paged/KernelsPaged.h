// KernelsPaged.h - the multigrid kernels over paged grids.
//
// Each kernel here is the counterpart of the in-RAM kernel of the same name and calls the same
// row function on the same values, so both strategies give the same bits. Row sweeps work in
// chunks of rows: the rows a chunk needs are read in runs past the row cache, the chunk's rows
// are computed (shared over the workspace's pool, each row as alone) and written back in runs.
// Columns, which a paged grid cannot address in place, are gathered into a window of
// neighbouring columns with one pass over the file, and column results go back with one write
// per row. Windows are bounded (16 MB each, at most three at a time) whatever the grid's size;
// chunks and groups to about 1 MB (PagedTuning in PagedWorkspace.h).
//
// The zebra line sweeps take both colours as one front moving down the lines (PagedRelax.cpp):
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
#include "paged/PagedWorkspace.h"

namespace gw {

void ComputeCouplingsPaged(const PagedLevel& grids, int nLevel, int nLevels,
                           const CouplingParams& params, CPagedWorkspace& workspace,
                           ProgressHook progress);
void RelaxLinesPaged(const PagedLevel& grids, CPagedWorkspace& workspace, int nLevel, int nLevels,
                     ProgressHook progress);

/// Residual into the top-left corner of work (the level's extents).
void ResidualPaged(CPagedGrid& work, const PagedLevel& grids, CPagedWorkspace& workspace);

/// coarse := restriction of the top-left nFineRows x nFineCols corner of fine.
void RestrictPaged(CPagedGrid& coarse, CPagedGrid& fine, int nFineRows, int nFineCols,
                   CPagedWorkspace& workspace);

/// fine := prolongation of coarse.
void ProlongPaged(CPagedGrid& fine, CPagedGrid& coarse, CPagedWorkspace& workspace);

/// fineU += prolongation of coarseU.
void AddCorrectionPaged(CPagedGrid& fineU, CPagedGrid& coarseU, CPagedWorkspace& workspace);

void CopyGridPaged(CPagedGrid& destination, CPagedGrid& source, CPagedWorkspace& workspace);

/// Every element := fValue, written in runs of rows (no row is read).
void FillPaged(CPagedGrid& grid, float fValue, CPagedWorkspace& workspace);

} // namespace gw
