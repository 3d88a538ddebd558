// PagedGridKernels.cpp - the residual, the transfers between levels and the whole-grid
// copies over paged grids: rows read in chunks, computed by the in-RAM row functions (shared
// over the pool, each row as alone) and written back in runs.
#include "paged/KernelsPaged.h"

#include "kernels/KernelsGrid.h"
#include "kernels/KernelsRelax.h"
#include "kernels/KernelsTransfer.h"
#include "paged/PagedChunks.h"

#include <algorithm>
#include <cstddef>

namespace gw {

using namespace paged;

void FillPaged(CPagedGrid& grid, float fValue, CPagedWorkspace& workspace)
{
    const auto nColumns = static_cast<std::size_t>(grid.Columns());
    const int nChunk = std::min(ChunkRows(grid.Columns()), std::max(grid.Rows(), 1));
    CPagedBuffers buffers(workspace);
    float* const pBlock = buffers.Take(static_cast<std::size_t>(nChunk) * nColumns);
    std::fill_n(pBlock, static_cast<std::size_t>(nChunk) * nColumns, fValue);
    for (int r0 = 0; r0 < grid.Rows(); r0 += nChunk)
        grid.WriteRows(r0, std::min(nChunk, grid.Rows() - r0), pBlock);
}



void ResidualPaged(CPagedGrid& work, const PagedLevel& grids, CPagedWorkspace& workspace)
{
    const int nr = grids.Rows();
    const int nc = grids.Cols();
    const auto nLength = static_cast<std::size_t>(nc);
    CPagedBuffers buffers(workspace);
    CColumnWindow bvWindow(*grids.bv, WindowWidth(workspace, nc, nr, 2), buffers, workspace);
    const int nChunk = ChunkRows(nc);
    float* const pU = buffers.Take((static_cast<std::size_t>(nChunk) + 2) * nLength);
    float* const pF = buffers.Take(static_cast<std::size_t>(nChunk) * nLength);
    float* const pBh = buffers.Take(static_cast<std::size_t>(nChunk) * nLength);
    float* const pOut = buffers.Take(static_cast<std::size_t>(nChunk) * nLength);

    std::fill_n(pOut, nLength, 0.0f);
    PutBlock(work, 0, 1, pOut, nc, workspace);
    int r0 = 1;
    while (r0 <= nr - 2) {
        // Interior rows r0..r0+nRows-1; a row r needs the columns r - 1 and r of Bv.
        bvWindow.Cover(r0 - 1, r0);
        const int nRows = std::min({nChunk, nr - 1 - r0, bvWindow.End() - r0});
        grids.u->ReadRows(r0 - 1, nRows + 2, pU);
        grids.f->ReadRows(r0, nRows, pF);
        grids.bh->ReadRows(r0, nRows, pBh);
        const auto Row = [nLength](float* p, int i) {
            return p + static_cast<std::size_t>(i) * nLength;
        };
        ForChunkRows(workspace, 0, nRows, nc, [&](int i) {
            const int r = r0 + i;
            ResidualRow(Row(pU, i), Row(pU, i + 1), Row(pU, i + 2), Row(pF, i), Row(pBh, i),
                        bvWindow.ConstColumn(r - 1), bvWindow.ConstColumn(r), nc, Row(pOut, i));
        });
        PutBlock(work, r0, nRows, pOut, nc, workspace);
        r0 += nRows;
    }
    std::fill_n(pOut, nLength, 0.0f);
    PutBlock(work, nr - 1, 1, pOut, nc, workspace);
}



void RestrictPaged(CPagedGrid& coarse, CPagedGrid& fine, int nFineRows, int nFineCols,
                   CPagedWorkspace& workspace)
{
    const int nr = coarse.Rows();
    const int nCoarseCols = coarse.Columns();
    const bool bEvenFineRows = (nFineRows % 2) == 0;
    const auto nFineLength = static_cast<std::size_t>(nFineCols);
    const auto nCoarseLength = static_cast<std::size_t>(nCoarseCols);
    const int nChunk = ChunkRows(2 * nFineCols + nCoarseCols);
    CPagedBuffers buffers(workspace);
    float* const pFine = buffers.Take((2 * static_cast<std::size_t>(nChunk) + 1) * nFineLength);
    float* const pOut = buffers.Take(static_cast<std::size_t>(nChunk) * nCoarseLength);

    std::fill_n(pOut, nCoarseLength, 0.0f);
    coarse.WriteRows(0, 1, pOut);
    for (int i0 = 1; i0 <= nr - 2; i0 += nChunk) {
        // Coarse rows i0..i0+nRows-1 from fine rows 2 i0 - 1 up to the last one they use.
        const int nRows = std::min(nChunk, nr - 1 - i0);
        const int nLastI = i0 + nRows - 1;
        const bool bLastOneSided = bEvenFineRows && nLastI == nr - 2;
        const int nFineFirst = 2 * i0 - 1;
        const int nFineLast = bLastOneSided ? 2 * nLastI : 2 * nLastI + 1;
        GetBlock(fine, nFineFirst, nFineLast - nFineFirst + 1, pFine, nFineCols);
        const auto FineRow = [&](int r) {
            return pFine + static_cast<std::size_t>(r - nFineFirst) * nFineLength;
        };
        ForChunkRows(workspace, i0, nRows, nFineCols, [&](int i) {
            const bool bOneSidedBottom = bEvenFineRows && i == nr - 2;
            RestrictRow(FineRow(2 * i - 1), FineRow(2 * i),
                        bOneSidedBottom ? nullptr : FineRow(2 * i + 1), bOneSidedBottom, nFineCols,
                        pOut + static_cast<std::size_t>(i - i0) * nCoarseLength, nCoarseCols);
        });
        coarse.WriteRows(i0, nRows, pOut);
    }
    std::fill_n(pOut, nCoarseLength, 0.0f);
    coarse.WriteRows(nr - 1, 1, pOut);
}



namespace {

// Fine rows r0..r0+nRows-1 (of nFineRows, nFineCols floats) of the prolongation of coarse into
// pOut; pCoarse holds coarse's rows from nCoarseFirst on. With pAdd, each row is added to its
// row there instead (pAdd[...] + prolongation, as fineU += W).
void ProlongChunk(CPagedWorkspace& workspace, int r0, int nRows, int nFineRows, int nFineCols,
                  const float* pCoarse, int nCoarseFirst, int nCoarseCols, const float* pAdd,
                  float* pOut)
{
    const auto nFineLength = static_cast<std::size_t>(nFineCols);
    ForChunkRows(workspace, r0, nRows, nFineCols, [&](int r) {
        float* pFine = pOut + static_cast<std::size_t>(r - r0) * nFineLength;
        int iUp = -1;
        int iDown = -1;
        ProlongRowSources(r, nFineRows, &iUp, &iDown);
        if (iUp < 0)
            std::fill_n(pFine, nFineCols, 0.0f);
        else {
            const auto CoarseRow = [&](int i) {
                return pCoarse
                     + static_cast<std::size_t>(i - nCoarseFirst)
                           * static_cast<std::size_t>(nCoarseCols);
            };
            ProlongRow(CoarseRow(iUp), iDown < 0 ? nullptr : CoarseRow(iDown), nCoarseCols, pFine,
                       nFineCols);
        }
        if (pAdd != nullptr) {
            const float* pU = pAdd + static_cast<std::size_t>(r - r0) * nFineLength;
            for (int c = 0; c < nFineCols; ++c)
                pFine[c] = pU[c] + pFine[c];
        }
    });
}

// The coarse rows fine rows r0..r0+nRows-1 take: *pFirst..*pLast (empty when *pLast < *pFirst).
void ProlongSources(int r0, int nRows, int nFineRows, int* pFirst, int* pLast)
{
    *pFirst = 1 << 30;
    *pLast = -1;
    for (int r = r0; r < r0 + nRows; ++r) {
        int iUp = -1;
        int iDown = -1;
        ProlongRowSources(r, nFineRows, &iUp, &iDown);
        for (int i : {iUp, iDown}) {
            if (i >= 0) {
                *pFirst = std::min(*pFirst, i);
                *pLast = std::max(*pLast, i);
            }
        }
    }
}

// fine := prolongation of coarse, or fine += it when bAdd.
void ProlongPass(CPagedGrid& fine, CPagedGrid& coarse, bool bAdd, CPagedWorkspace& workspace)
{
    const int nFineRows = fine.Rows();
    const int nFineCols = fine.Columns();
    const int nCoarseCols = coarse.Columns();
    const int nChunk = ChunkRows(nFineCols);
    const auto nChunkFloats =
        static_cast<std::size_t>(nChunk) * static_cast<std::size_t>(nFineCols);
    // About half as many coarse rows a chunk as fine ones; the most any chunk takes.
    int nMostCoarse = 0;
    for (int r0 = 0; r0 < nFineRows; r0 += nChunk) {
        int nFirst = 0;
        int nLast = -1;
        ProlongSources(r0, std::min(nChunk, nFineRows - r0), nFineRows, &nFirst, &nLast);
        nMostCoarse = std::max(nMostCoarse, nLast - nFirst + 1);
    }
    CPagedBuffers buffers(workspace);
    float* const pOut = buffers.Take(nChunkFloats);
    float* const pAdd = bAdd ? buffers.Take(nChunkFloats) : nullptr;
    float* const pCoarseRows = nMostCoarse > 0
                                 ? buffers.Take(static_cast<std::size_t>(nMostCoarse)
                                                * static_cast<std::size_t>(nCoarseCols))
                                 : nullptr;
    for (int r0 = 0; r0 < nFineRows; r0 += nChunk) {
        const int nRows = std::min(nChunk, nFineRows - r0);
        int nFirst = 0;
        int nLast = -1;
        ProlongSources(r0, nRows, nFineRows, &nFirst, &nLast);
        float* pCoarse = nullptr;
        if (nLast >= nFirst) {
            pCoarse = pCoarseRows;
            coarse.ReadRows(nFirst, nLast - nFirst + 1, pCoarse);
        }
        if (pAdd != nullptr)
            fine.ReadRows(r0, nRows, pAdd);
        ProlongChunk(workspace, r0, nRows, nFineRows, nFineCols, pCoarse, nFirst, nCoarseCols, pAdd,
                     pOut);
        fine.WriteRows(r0, nRows, pOut);
    }
}

} // namespace



void ProlongPaged(CPagedGrid& fine, CPagedGrid& coarse, CPagedWorkspace& workspace)
{
    ProlongPass(fine, coarse, false, workspace);
}



void AddCorrectionPaged(CPagedGrid& fineU, CPagedGrid& coarseU, CPagedWorkspace& workspace)
{
    // The prolonged rows go to a chunk buffer instead of a work grid: nothing reads the work
    // grid's copy of them later.
    ProlongPass(fineU, coarseU, true, workspace);
}



void CopyGridPaged(CPagedGrid& destination, CPagedGrid& source, CPagedWorkspace& workspace)
{
    const int nChunk = ChunkRows(destination.Columns());
    CPagedBuffers buffers(workspace);
    float* const pBlock = buffers.Take(static_cast<std::size_t>(nChunk)
                                       * static_cast<std::size_t>(destination.Columns()));
    for (int r0 = 0; r0 < destination.Rows(); r0 += nChunk) {
        const int nRows = std::min(nChunk, destination.Rows() - r0);
        source.ReadRows(r0, nRows, pBlock);
        destination.WriteRows(r0, nRows, pBlock);
    }
}

} // namespace gw
