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

namespace {

// The couplings of a level of at least 3 x 3 points, made a batch of rows at a time. The
// couplings of a batch go to columns of the transposed Bv: they are collected in a block (one
// column more on either side, for the ring) whose span goes into Bv's rows in one pass. The rows
// of a batch are made a chunk at a time (about 1 MB a grid), shared over the pool: the chunk's
// rows of f (and the next one) are read in one call; every element of its rows of Bh is set
// here, so they are made aside and written without reading the old ones; with AVX2 the rows'
// Bv couplings are made eight points at a time into rows of their own and transposed into the
// block's columns. Bh's ring columns are cleared as each row is made, Bv's in the first and last
// batch's span; the values are those of clearing the ring after all rows.
class CCouplingBatches
{
public:
    CCouplingBatches(const PagedLevel& grids, float fScaledRadius, const CouplingParams& params,
                     CPagedWorkspace& workspace)
        : m_grids(grids)
        , m_nr(grids.Rows())
        , m_nc(grids.Cols())
        , m_fScaledRadius(fScaledRadius)
        , m_params(params)
        , m_workspace(workspace)
        , m_buffers(workspace)
        , m_nBatch(WindowWidth(workspace, m_nc, m_nr, 1))
        , m_nStride(m_nBatch + 2)
        , m_nLength(static_cast<std::size_t>(m_nc))
        , m_nChunk(ChunkRows(m_nc))
        , m_bAvx2(workspace.UsesAvx2())
    {
        m_pBlock = m_buffers.Take(static_cast<std::size_t>(m_nStride) * m_nLength);
        m_pBhRows = m_buffers.Take(static_cast<std::size_t>(m_nChunk) * m_nLength);
        m_pFRows = m_buffers.Take(static_cast<std::size_t>(m_nChunk + 1) * m_nLength);
        m_pBvRows =
            m_bAvx2 ? m_buffers.Take(static_cast<std::size_t>(m_nChunk) * m_nLength) : nullptr;
    }

    int Batch() const { return m_nBatch; }

    // Makes the nCount rows of the batch from row r0 on, reporting fRowUnits after each in row
    // order; answers how many were made (after a stop, the rows beyond count as not made and are
    // neither written nor collected) and sets bStop on a stop. Block column j holds Bv's column
    // r0 - 1 + j.
    int MakeRows(int r0, int nCount, float fRowUnits, ProgressHook progress, bool& bStop)
    {
        int nDone = 0;
        while (nDone < nCount && !bStop) {
            const int nFirst = r0 + nDone;
            const int nRows = std::min(m_nChunk, nCount - nDone);
            m_grids.f->ReadRows(nFirst, nRows + 1, m_pFRows);
            ForChunkRows(m_workspace, 0, nRows, m_nc, [&](int i) { MakeRow(i, nDone); });
            int nMade = 0;
            while (nMade < nRows && !bStop) {
                ++nMade;
                bStop = progress(fRowUnits);
            }
            m_grids.bh->WriteRows(nFirst, nMade, m_pBhRows);
            if (m_bAvx2)
                TransposeOnPool(m_workspace.Pool(), m_pBvRows + 1, m_nc, nMade, m_nc - 2,
                                m_pBlock + m_nStride + 1 + nDone, m_nStride);
            nDone += nMade;
        }
        return nDone;
    }

    // Writes the columns of Bv that the nDone rows of the batch from r0 on made, with the ring's
    // couplings where the batch touches the first or last row.
    void ScatterBatch(int r0, int nDone)
    {
        int nLo = r0;
        int nHi = r0 + nDone - 1;
        if (r0 == 1) {
            nLo = 0;
            for (int c = 1; c <= m_nc - 2; ++c)
                m_pBlock[static_cast<std::ptrdiff_t>(c) * m_nStride] = 0.0f;
        }
        if (nHi == m_nr - 2) {
            nHi = m_nr - 1;
            for (int c = 1; c <= m_nc - 2; ++c) {
                float* pRow =
                    m_pBlock + static_cast<std::ptrdiff_t>(c) * m_nStride + (m_nr - 1 - (r0 - 1));
                pRow[-1] = 0.0f;
                pRow[0] = 0.0f;
            }
        }
        if (nHi >= nLo)
            m_grids.bv->ScatterColumns(nLo, nHi - nLo + 1, m_pBlock + m_nStride + (nLo - (r0 - 1)),
                                       static_cast<std::size_t>(m_nStride), 1, m_nc - 1,
                                       m_workspace.RowRunner());
    }

private:
    // Row i of the chunk whose first row is row nDone of the batch.
    void MakeRow(int i, int nDone)
    {
        const float* pF = m_pFRows + static_cast<std::size_t>(i) * m_nLength;
        float* pBhRow = m_pBhRows + static_cast<std::size_t>(i) * m_nLength;
        if (m_bAvx2)
            lanes::CouplingRowContiguous(pF, pF + m_nLength, m_nc, m_fScaledRadius, m_params,
                                         pBhRow,
                                         m_pBvRows + static_cast<std::size_t>(i) * m_nLength);
        else
            CouplingRow(pF, pF + m_nLength, m_nc, m_fScaledRadius, m_params, pBhRow,
                        Line{m_pBlock + 1 + nDone + i, m_nStride});
        pBhRow[0] = 0.0f;
        pBhRow[m_nc - 1] = 0.0f;
        pBhRow[m_nc - 2] = 0.0f;
    }

    const PagedLevel& m_grids;
    const int m_nr;
    const int m_nc;
    const float m_fScaledRadius;
    const CouplingParams& m_params;
    CPagedWorkspace& m_workspace;
    CPagedBuffers m_buffers;
    const int m_nBatch;
    const int m_nStride;
    const std::size_t m_nLength;
    const int m_nChunk;
    const bool m_bAvx2;
    float* m_pBlock = nullptr;
    float* m_pBhRows = nullptr;
    float* m_pFRows = nullptr;
    float* m_pBvRows = nullptr;
};

} // namespace



void ComputeCouplingsPaged(const PagedLevel& grids, int nLevel, int nLevels,
                           const CouplingParams& params, CPagedWorkspace& workspace,
                           ProgressHook progress)
{
    const int nr = grids.Rows();
    const int nc = grids.Cols();
    CPagedGrid& bh = *grids.bh;
    CPagedGrid& bv = *grids.bv;
    const float fRowUnits = CouplingWeight(nLevel, nLevels) / static_cast<float>(nr);

    // Couplings into the ring, and from the last interior line towards it, vanish. Tiny grids
    // take the plain way: every row computed, then the ring cleared.
    if (nr < 3 || nc < 3) {
        for (int r = 1; r <= nr - 2; ++r) {
            if (progress(fRowUnits))
                return;
        }
        ClearCouplingRing(
            nr, nc, [&](int r, int c) -> float& { return bh.GetRow(r)[c]; },
            [&](int r, int c) -> float& { return bv.GetRow(c)[r]; });
        return;
    }

    CCouplingBatches batches(grids, ScaledRadius(params.fRadius, nLevel, nLevels), params,
                             workspace);
    std::fill_n(bh.GetRow(0), nc, 0.0f);
    std::fill_n(bv.GetRow(0), nr, 0.0f);
    std::fill_n(bv.GetRow(nc - 1), nr, 0.0f);
    for (int r0 = 1; r0 <= nr - 2; r0 += batches.Batch()) {
        bool bStop = false;
        const int nDone = batches.MakeRows(r0, std::min(batches.Batch(), nr - 1 - r0), fRowUnits,
                                           progress, bStop);
        batches.ScatterBatch(r0, nDone);
        if (bStop)
            return;
    }
    std::fill_n(bh.GetRow(nr - 1), nc, 0.0f);
}

} // namespace gw
