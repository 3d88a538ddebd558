// PagedChunks.h - how the paged kernels cut their grids: column windows gathered in one pass
// over a file, chunks of rows, groups of lines, and the pool's share of each.
#pragma once

#include "paged/PagedWorkspace.h"

#include "lanes/LaneSolve.h"

#include <algorithm>
#include <cstddef>

namespace gw::paged {

/// Columns per window for a grid of nRows rows: as many as fit the workspace's budget, at
/// least nMinimum, at most the grid's nColumns.
int WindowWidth(const CPagedWorkspace& workspace, int nRows, int nColumns, int nMinimum);

/// Lines of nLength floats a group may copy out nCopiesPerLine times: enough work per group
/// that sharing it out pays, little enough to stay in the cache (about 1 MB, 256 lines at most).
int GroupLines(int nLength, int nCopiesPerLine);

/// Rows of nColumns floats per chunk of the row sweeps.
inline int ChunkRows(int nColumns)
{
    return GroupLines(nColumns, 1);
}

/// nLines rounded up to whole lane groups.
inline int RoundUpToLanes(int nLines)
{
    return (nLines + lanesolve::kLanes - 1) / lanesolve::kLanes * lanesolve::kLanes;
}

/// Parts for a group of nLines lines of nLength unknowns: short work stays on the caller.
int GroupParts(CWorkerPool& pool, int nLines, int nLength);

/// Runs fn(r) for the rows r0..r0+nRows-1 of a chunk, shared over the pool (each row is
/// independent of the others and computed as alone).
template <class F>
void ForChunkRows(CPagedWorkspace& workspace, int r0, int nRows, int nLength, F&& fn)
{
    CWorkerPool& pool = workspace.Pool();
    pool.Run(nRows, GroupParts(pool, nRows, nLength), [&](int, int nBegin, int nEnd) {
        for (int i = nBegin; i < nEnd; ++i)
            fn(r0 + i);
    });
}

/// A pool part's share of a group of lines, [nBegin, nEnd), and the part's scratch.
struct LinePart
{
    LineVectors lines;
    CPagedWorkspace::LaneScratch lane;
    int nBegin;
    int nEnd;
};

/// Runs fn(const LinePart&) over parts of nLines lines of nLength unknowns (GroupParts), every
/// part but the last a whole number of lane groups.
template <class F>
void RunInLaneGroups(CPagedWorkspace& workspace, int nLines, int nLength, F&& fn)
{
    constexpr int kLanes = lanesolve::kLanes;
    CWorkerPool& pool = workspace.Pool();
    const int nGroups = (nLines + kLanes - 1) / kLanes;
    pool.Run(nGroups, std::min(GroupParts(pool, nLines, nLength), nGroups),
             [&](int nPart, int nBegin, int nEnd) {
                 fn(LinePart{workspace.Lines(nPart), workspace.Lanes(nPart), nBegin * kLanes,
                             std::min(nEnd * kLanes, nLines)});
             });
}

/// lanes::TransposeBlock shared over the pool: the longer side of the block is cut into parts
/// of whole 8 x 8 tiles, each part transposed on its own thread.
void TransposeOnPool(CWorkerPool& pool, const float* pIn, std::ptrdiff_t nInStride, int nRows,
                     int nCols, float* pOut, std::ptrdiff_t nOutStride);

/// Rows r0..r0+nRows-1, columns 0..nColumns-1 of grid into pOut (nColumns floats a row).
void GetBlock(CPagedGrid& grid, int r0, int nRows, float* pOut, int nColumns);

/// The reverse of GetBlock.
void PutBlock(CPagedGrid& grid, int r0, int nRows, const float* pIn, int nColumns,
              CPagedWorkspace& workspace);

/// A block of neighbouring columns of a paged grid, gathered in one pass over its file. Column c
/// is a line of Rows() floats with the window's width as element distance.
class CColumnWindow
{
public:
    /// The window's storage is the next of the call's buffers.
    CColumnWindow(CPagedGrid& grid, int nWidth, CPagedBuffers& buffers,
                  const CPagedWorkspace& workspace)
        : m_grid(grid)
        , m_nWidth(nWidth)
        , m_pBlock(buffers.Take(static_cast<std::size_t>(nWidth)
                                * static_cast<std::size_t>(grid.Rows())))
        , m_run(workspace.RowRunner())
    {}

    /// Makes columns nLo..nHi available; gathers from nLo on when any of them is missing.
    void Cover(int nLo, int nHi)
    {
        if (m_nCount > 0 && nLo >= m_nFirst && nHi < m_nFirst + m_nCount)
            return;
        m_nFirst = nLo;
        m_nCount = std::min(m_nWidth, m_grid.Columns() - nLo);
        m_grid.GatherColumns(m_nFirst, m_nCount, m_pBlock, m_run);
    }

    /// Writes columns nLo..nHi of rows nRowBegin..nRowEnd-1 back into the grid.
    void WriteBack(int nLo, int nHi, int nRowBegin, int nRowEnd) const
    {
        m_grid.ScatterColumns(nLo, nHi - nLo + 1,
                              m_pBlock + static_cast<std::ptrdiff_t>(nRowBegin) * m_nCount
                                  + (nLo - m_nFirst),
                              static_cast<std::size_t>(m_nCount), nRowBegin, nRowEnd, m_run);
    }

    int First() const { return m_nFirst; }
    int End() const { return m_nFirst + m_nCount; }

    /// The window from column nOrigin (First() <= nOrigin < End()) to its end, as a grid.
    GridView From(int nOrigin) const
    {
        return GridView{m_pBlock + (nOrigin - m_nFirst), m_grid.Rows(), End() - nOrigin, m_nCount};
    }

    Line Column(int c) const { return Line{m_pBlock + (c - m_nFirst), m_nCount}; }
    ConstLine ConstColumn(int c) const { return ConstLine{m_pBlock + (c - m_nFirst), m_nCount}; }

private:
    CPagedGrid& m_grid;
    int m_nWidth;
    float* m_pBlock;
    const CPagedGrid::RowRangeRunner& m_run;
    int m_nFirst = 0;
    int m_nCount = 0;
};

} // namespace gw::paged
