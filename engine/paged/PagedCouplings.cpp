// PagedCouplings.cpp - the couplings of a level over paged grids: rows of f read in chunks, the
// couplings made by the in-RAM row functions, Bv's columns collected into batches.
#include "paged/KernelsPaged.h"

#include "kernels/KernelsCoupling.h"
#include "lanes/KernelsLanes.h"
#include "paged/PagedChunks.h"

#include <algorithm>
#include <cstddef>

namespace gw {

using namespace paged;

void ComputeCouplingsPaged(const PagedLevel& grids, int nLevel, int nLevels, const CouplingParams& params,
                           CPagedWorkspace& workspace, ProgressHook progress)
{
    const int nr = grids.Rows();
    const int nc = grids.Cols();
    CPagedGrid& bh = *grids.bh;
    CPagedGrid& bv = *grids.bv;
    CPagedGrid& f = *grids.f;
    const float fScaledRadius = ScaledRadius(params.fRadius, nLevel, nLevels);
    const float fUnit = CouplingWeight(nLevel, nLevels);

    // Couplings into the ring, and from the last interior line towards it, vanish. Tiny grids
    // take the plain way: every row computed, then the ring cleared.
    if (nr < 3 || nc < 3)
    {
        for (int r = 1; r <= nr - 2; ++r)
        {
            if (progress(fUnit / static_cast<float>(nr)))
                return;
        }
        ClearCouplingRing(
            nr, nc, [&](int r, int c) -> float& { return bh.GetRow(r)[c]; },
            [&](int r, int c) -> float& { return bv.GetRow(c)[r]; });
        return;
    }

    // The couplings of a batch of rows go to columns of the transposed Bv: collect them in a
    // block (one column more on either side, for the ring) and write its span into Bv's rows
    // in one pass. Bh's ring columns are cleared as each row is made, Bv's in the first and
    // last batch's span; the values are those of clearing the ring after all rows.
    const int nBatch = WindowWidth(workspace, nc, nr, 1);
    const int nStride = nBatch + 2;
    CPagedBuffers buffers(workspace);
    float* const pBlock = buffers.Take(static_cast<std::size_t>(nStride) * static_cast<std::size_t>(nc));
    std::fill_n(bh.GetRow(0), nc, 0.0f);
    std::fill_n(bv.GetRow(0), nr, 0.0f);
    std::fill_n(bv.GetRow(nc - 1), nr, 0.0f);
    // The rows of a batch are made a chunk at a time (about 1 MB a grid), shared over the pool:
    // the chunk's rows of f (and the next one) are read in one call, every element of its rows
    // of Bh is set here, so they are made aside and written without reading the old ones, and
    // with AVX2 the rows' Bv couplings are made eight points at a time into rows of their own
    // and transposed into the block's columns.
    const auto nLength = static_cast<std::size_t>(nc);
    const int nChunk = ChunkRows(nc);
    float* const pBhRows = buffers.Take(static_cast<std::size_t>(nChunk) * nLength);
    float* const pFRows = buffers.Take(static_cast<std::size_t>(nChunk + 1) * nLength);
    const bool bAvx2 = workspace.UsesAvx2();
    float* const pBvRows = bAvx2 ? buffers.Take(static_cast<std::size_t>(nChunk) * nLength) : nullptr;
    const float fRowUnits = fUnit / static_cast<float>(nr);
    for (int r0 = 1; r0 <= nr - 2; r0 += nBatch)
    {
        // Block column j holds Bv's column r0 - 1 + j.
        const int nCount = std::min(nBatch, nr - 1 - r0);
        bool bStop = false;
        int nDone = 0;
        while (nDone < nCount && !bStop)
        {
            const int nFirst = r0 + nDone;
            const int nRows = std::min(nChunk, nCount - nDone);
            f.ReadRows(nFirst, nRows + 1, pFRows);
            ForChunkRows(workspace, 0, nRows, nc, [&](int i) {
                const float* pF = pFRows + static_cast<std::size_t>(i) * nLength;
                float* pBhRow = pBhRows + static_cast<std::size_t>(i) * nLength;
                if (bAvx2)
                    lanes::CouplingRowContiguous(pF, pF + nLength, nc, fScaledRadius, params, pBhRow,
                                                 pBvRows + static_cast<std::size_t>(i) * nLength);
                else
                    CouplingRow(pF, pF + nLength, nc, fScaledRadius, params, pBhRow,
                                Line{pBlock + 1 + nDone + i, nStride});
                pBhRow[0] = 0.0f;
                pBhRow[nc - 1] = 0.0f;
                pBhRow[nc - 2] = 0.0f;
            });
            // Reported in row order; after a stop the rows beyond count as not made and are
            // neither written nor scattered.
            int nMade = 0;
            while (nMade < nRows && !bStop)
            {
                ++nMade;
                bStop = progress(fRowUnits);
            }
            bh.WriteRows(nFirst, nMade, pBhRows);
            if (bAvx2)
                TransposeOnPool(workspace.Pool(), pBvRows + 1, nc, nMade, nc - 2, pBlock + nStride + 1 + nDone,
                                nStride);
            nDone += nMade;
        }
        int nLo = r0;
        int nHi = r0 + nDone - 1;
        if (r0 == 1)
        {
            nLo = 0;
            for (int c = 1; c <= nc - 2; ++c)
                pBlock[static_cast<std::ptrdiff_t>(c) * nStride] = 0.0f;
        }
        if (nHi == nr - 2)
        {
            nHi = nr - 1;
            for (int c = 1; c <= nc - 2; ++c)
            {
                float* pRow = pBlock + static_cast<std::ptrdiff_t>(c) * nStride + (nr - 1 - (r0 - 1));
                pRow[-1] = 0.0f;
                pRow[0] = 0.0f;
            }
        }
        if (nHi >= nLo)
            bv.ScatterColumns(nLo, nHi - nLo + 1, pBlock + nStride + (nLo - (r0 - 1)), static_cast<std::size_t>(nStride),
                              1, nc - 1, workspace.RowRunner());
        if (bStop)
            return;
    }
    std::fill_n(bh.GetRow(nr - 1), nc, 0.0f);
}


} // namespace gw
