// PagedChunks.cpp - window widths, group sizes and the pool's shares of the paged kernels.
#include "paged/PagedChunks.h"

#include "lanes/KernelsLanes.h"

namespace gw::paged {

namespace {

// Floats a group of lines may copy out of the grids, and the most lines of a group.
constexpr std::size_t kGroupFloats = std::size_t{1} << 18;
constexpr int kMaxGroupLines = 256;

} // namespace



int WindowWidth(const CPagedWorkspace& workspace, int nRows, int nColumns, int nMinimum)
{
    const std::ptrdiff_t nFit = workspace.Tuning().nWindowFloats / std::max(nRows, 1);
    const std::ptrdiff_t nWidth = std::max<std::ptrdiff_t>(nFit, nMinimum);
    return static_cast<int>(std::min<std::ptrdiff_t>(nWidth, nColumns));
}



int GroupLines(int nLength, int nCopiesPerLine)
{
    const std::size_t nPerLine =
        static_cast<std::size_t>(std::max(nLength, 1)) * static_cast<std::size_t>(nCopiesPerLine);
    return static_cast<int>(std::clamp<std::size_t>(kGroupFloats / nPerLine, 1, kMaxGroupLines));
}



int GroupParts(CWorkerPool& pool, int nLines, int nLength)
{
    constexpr long long kMinPartWork = 16384; // unknowns per part
    const long long nWork = static_cast<long long>(nLines) * nLength;
    const auto nBy = static_cast<int>(std::min<long long>(nWork / kMinPartWork, nLines));
    return std::clamp(nBy, 1, pool.Threads());
}



void TransposeOnPool(CWorkerPool& pool, const float* pIn, std::ptrdiff_t nInStride, int nRows,
                     int nCols, float* pOut, std::ptrdiff_t nOutStride)
{
    constexpr int kTile = lanes::kGroupLines;
    constexpr int kMinPartFloats = 32768;
    const bool bByRows = nRows >= nCols;
    const int nLong = bByRows ? nRows : nCols;
    const int nShort = std::max(bByRows ? nCols : nRows, 1);
    const int nTiles = (nLong + kTile - 1) / kTile;
    const int nMinTiles = std::max(kMinPartFloats / (kTile * nShort), 1);
    pool.Run(nTiles, pool.PartsFor(nTiles, nMinTiles), [&](int, int nBegin, int nEnd) {
        const int nFirst = nBegin * kTile;
        const int nCount = std::min(nEnd * kTile, nLong) - nFirst;
        if (bByRows)
            lanes::TransposeBlock(pIn + nFirst * nInStride, nInStride, nCount, nCols, pOut + nFirst,
                                  nOutStride);
        else
            lanes::TransposeBlock(pIn + nFirst, nInStride, nRows, nCount,
                                  pOut + nFirst * nOutStride, nOutStride);
    });
}



void GetBlock(CPagedGrid& grid, int r0, int nRows, float* pOut, int nColumns)
{
    if (nColumns == grid.Columns())
        grid.ReadRows(r0, nRows, pOut);
    else
        grid.ReadColumns(0, nColumns, pOut, static_cast<std::size_t>(nColumns), r0, r0 + nRows);
}



void PutBlock(CPagedGrid& grid, int r0, int nRows, const float* pIn, int nColumns,
              CPagedWorkspace& workspace)
{
    if (nColumns == grid.Columns())
        grid.WriteRows(r0, nRows, pIn);
    else
        grid.ScatterColumns(0, nColumns, pIn, static_cast<std::size_t>(nColumns), r0, r0 + nRows,
                            workspace.RowRunner());
}

} // namespace gw::paged
