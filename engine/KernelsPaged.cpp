// KernelsPaged.cpp - the multigrid kernels over paged grids (see KernelsPaged.h).
#include "KernelsPaged.h"

#include "KernelsCoupling.h"
#include "KernelsGrid.h"
#include "KernelsRelax.h"
#include "KernelsTransfer.h"

#include <algorithm>
#include <cstddef>
#include <memory>

namespace gw {

namespace {

// Floats a column window or a column batch may hold.
std::ptrdiff_t gnWindowFloats = std::ptrdiff_t{1} << 22;

// Columns per window for a grid of nRows rows: as many as fit the budget, at least nMinimum,
// at most the grid's columns.
int WindowWidth(int nRows, int nColumns, int nMinimum)
{
    const std::ptrdiff_t nFit = gnWindowFloats / std::max(nRows, 1);
    const std::ptrdiff_t nWidth = std::max<std::ptrdiff_t>(nFit, nMinimum);
    return static_cast<int>(std::min<std::ptrdiff_t>(nWidth, nColumns));
}

// A block of neighbouring columns of a paged grid, gathered in one pass over its file. Column c
// is a line of Rows() floats with the window's width as element distance.
class ColumnWindow
{
public:
    // The window's storage is buffer nBuffer of the workspace.
    ColumnWindow(CPagedGrid& grid, int nWidth, CPagedWorkspace& workspace, int nBuffer)
        : m_grid(grid), m_nWidth(nWidth),
          m_pBlock(workspace.Buffer(nBuffer, static_cast<std::size_t>(nWidth) * static_cast<std::size_t>(grid.Rows())))
    {
    }

    // Makes columns nLo..nHi available; gathers from nLo on when any of them is missing.
    void Cover(int nLo, int nHi)
    {
        if (m_nCount > 0 && nLo >= m_nFirst && nHi < m_nFirst + m_nCount)
            return;
        m_nFirst = nLo;
        m_nCount = std::min(m_nWidth, m_grid.Columns() - nLo);
        m_grid.GatherColumns(m_nFirst, m_nCount, m_pBlock);
    }

    int First() const { return m_nFirst; }
    int End() const { return m_nFirst + m_nCount; }

    Line Column(int c) const { return Line{m_pBlock + (c - m_nFirst), m_nCount}; }
    ConstLine ConstColumn(int c) const { return ConstLine{m_pBlock + (c - m_nFirst), m_nCount}; }

private:
    CPagedGrid& m_grid;
    int m_nWidth;
    float* m_pBlock;
    int m_nFirst = 0;
    int m_nCount = 0;
};

// Private copies of rows that a row function reads beside others of the same grid. The cache
// replaces its rows first in, first out, so a row that was already resident can be the next to
// go however recently it was fetched; copying all but the last fetched row keeps every pointer
// good.
class RowCopies
{
public:
    explicit RowCopies(int nColumns)
        : m_nColumns(nColumns), m_pBlock(std::make_unique<float[]>(2 * static_cast<std::size_t>(nColumns)))
    {
    }

    // Row r of grid, copied into buffer nIndex (0 or 1).
    const float* Copy(CPagedGrid& grid, int r, int nIndex)
    {
        float* pCopy = m_pBlock.get() + static_cast<std::ptrdiff_t>(nIndex) * m_nColumns;
        std::copy_n(grid.GetRow(r), m_nColumns, pCopy);
        return pCopy;
    }

private:
    int m_nColumns;
    std::unique_ptr<float[]> m_pBlock;
};

// Progress units of one sweep; the same weights as the in-RAM sweep.
float SweepWeight(int nLevel, int nLevels) noexcept
{
    float fWeight = 8.0f / static_cast<float>(2 * (nLevels + 1 - nLevel));
    for (int k = nLevel; k < nLevels; ++k)
        fWeight *= 0.25f;
    return fWeight;
}

// Writes the solved columns nFirst, nFirst + 2, ... below nEnd of the window back into u
// (interior rows only: the line solves write nothing else).
void WriteBackColumns(CPagedGrid& u, const ColumnWindow& window, int nFirst, int nEnd)
{
    for (int r = 1; r <= u.Rows() - 2; ++r)
    {
        float* pRow = u.GetRow(r);
        for (int c = nFirst; c < nEnd; c += 2)
            pRow[c] = window.ConstColumn(c)[r];
    }
}

// Floats a group of lines may copy out of the grids, and the most lines of a group: enough
// work per group that sharing it out pays, little enough to stay in the cache.
constexpr std::size_t kGroupFloats = std::size_t{1} << 18;
constexpr int kMaxGroupLines = 256;

// Lines of nLength floats per group.
int GroupLines(int nLength, int nCopiesPerLine)
{
    const std::size_t nPerLine = static_cast<std::size_t>(std::max(nLength, 1)) * static_cast<std::size_t>(nCopiesPerLine);
    return static_cast<int>(std::clamp<std::size_t>(kGroupFloats / nPerLine, 1, kMaxGroupLines));
}

// Parts for a group of nLines lines of nLength unknowns: short work stays on the caller.
int GroupParts(CWorkerPool& pool, int nLines, int nLength)
{
    constexpr long long kMinPartWork = 16384; // unknowns per part
    const long long nWork = static_cast<long long>(nLines) * nLength;
    const auto nBy = static_cast<int>(std::min<long long>(nWork / kMinPartWork, nLines));
    return std::clamp(nBy, 1, pool.Threads());
}

} // namespace



CPagedWorkspace::CPagedWorkspace(int nThreads, int nMaxLine)
    : m_pool(nThreads), m_nMaxLine(std::max(nMaxLine, 1)),
      m_pLineVectors(std::make_unique<float[]>(static_cast<std::size_t>(m_pool.Threads()) * 4
                                               * static_cast<std::size_t>(m_nMaxLine)))
{
}



float* CPagedWorkspace::Buffer(int nIndex, std::size_t nFloats)
{
    const auto i = static_cast<std::size_t>(nIndex);
    if (m_anBufferFloats[i] < nFloats) {
        m_apBuffer[i].reset(); // the old one goes first, so the two are never held together
        m_anBufferFloats[i] = 0;
        m_apBuffer[i] = std::make_unique_for_overwrite<float[]>(nFloats);
        m_anBufferFloats[i] = nFloats;
    }
    return m_apBuffer[i].get();
}



LineVectors CPagedWorkspace::Lines(int nPart) const noexcept
{
    float* pBase = m_pLineVectors.get() + static_cast<std::size_t>(nPart) * 4 * static_cast<std::size_t>(m_nMaxLine);
    const auto nLine = static_cast<std::size_t>(m_nMaxLine);
    return LineVectors{pBase, pBase + nLine, pBase + 2 * nLine, pBase + 3 * nLine};
}



void SetPagedWindowFloats(std::ptrdiff_t nFloats) noexcept
{
    gnWindowFloats = nFloats;
}



std::ptrdiff_t PagedWindowFloats() noexcept
{
    return gnWindowFloats;
}



void ComputeCouplingsPaged(const PagedLevel& grids, int nLevel, int nLevels, const CouplingParams& params,
                           CPagedWorkspace& workspace, ProgressHook progress)
{
    const int nr = grids.Rows();
    const int nc = grids.Cols();
    CPagedGrid& bh = *grids.bh;
    CPagedGrid& bv = *grids.bv;
    CPagedGrid& f = *grids.f;
    const float fScaledRadius = ScaledRadius(params.fRadius, nLevel, nLevels);
    float fUnit = 4.0f;
    for (int k = nLevel; k < nLevels; ++k)
        fUnit *= 0.25f;

    // The couplings of a batch of rows go to columns of the transposed Bv: collect them in a
    // block and write them into Bv's rows once per batch.
    const int nBatch = WindowWidth(nc, nr, 1);
    float* const pBlock = workspace.Buffer(0, static_cast<std::size_t>(nBatch) * static_cast<std::size_t>(nc));
    RowCopies copies(nc);
    for (int r0 = 1; r0 <= nr - 2; r0 += nBatch)
    {
        const int nCount = std::min(nBatch, nr - 1 - r0);
        bool bStop = false;
        int nDone = 0;
        while (nDone < nCount && !bStop)
        {
            const int r = r0 + nDone;
            const float* pF = copies.Copy(f, r, 0);
            const float* pFDown = f.GetRow(r + 1);
            CouplingRow(pF, pFDown, nc, fScaledRadius, params, bh.GetRow(r), Line{pBlock + nDone, nBatch});
            ++nDone;
            bStop = progress(fUnit / static_cast<float>(nr));
        }
        for (int c = 1; c <= nc - 2; ++c)
        {
            float* pRow = bv.GetRow(c);
            std::copy_n(pBlock + static_cast<std::ptrdiff_t>(c) * nBatch, nDone, pRow + r0);
        }
        if (bStop)
            return;
    }

    // Couplings into the ring, and from the last interior line towards it, vanish.
    for (int k = 0; k < nr; ++k)
    {
        float* pBh = bh.GetRow(k);
        pBh[0] = 0.0f;
        pBh[nc - 1] = 0.0f;
        pBh[nc - 2] = 0.0f;
        if (k == 0 || k == nr - 1)
            std::fill_n(pBh, nc, 0.0f);
    }
    for (int k = 0; k < nc; ++k)
    {
        float* pBv = bv.GetRow(k);
        pBv[0] = 0.0f;
        pBv[nr - 1] = 0.0f;
        pBv[nr - 2] = 0.0f;
        if (k == 0 || k == nc - 1)
            std::fill_n(pBv, nr, 0.0f);
    }
}



void RelaxLinesPaged(const PagedLevel& grids, CPagedWorkspace& workspace, int nLevel, int nLevels,
                     ProgressHook progress)
{
    const int nr = grids.Rows();
    const int nc = grids.Cols();
    const float fWeight = SweepWeight(nLevel, nLevels);
    CPagedGrid& bh = *grids.bh;
    CPagedGrid& bv = *grids.bv;
    CPagedGrid& f = *grids.f;
    CPagedGrid& u = *grids.u;
    CWorkerPool& pool = workspace.Pool();

    // Column lines, odd columns first, then even ones. Lines of one colour read only the other
    // colour's columns of u, so a window of columns serves every line of that colour inside
    // it; the window's copy of u takes the solutions and goes back to the file in one sweep.
    {
        const float fColumnUnits = fWeight / static_cast<float>(4 * nc);
        const int n = nr - 2;
        const int nWidth = WindowWidth(nr, nc, 3);
        ColumnWindow bhWindow(bh, nWidth, workspace, 0);
        ColumnWindow fWindow(f, nWidth, workspace, 1);
        ColumnWindow uWindow(u, nWidth, workspace, 2);
        const int nGroupMax = GroupLines(nr, 1);
        const auto nBvLength = static_cast<std::size_t>(nr);
        float* const pBvRows = workspace.Buffer(3, static_cast<std::size_t>(nGroupMax) * nBvLength);
        for (int nFirst = 1; nFirst <= 2; ++nFirst)
        {
            int c = nFirst;
            while (c <= nc - 2)
            {
                bhWindow.Cover(c - 1, c + 1);
                fWindow.Cover(c - 1, c + 1);
                uWindow.Cover(c - 1, c + 1);
                const int nBatchFirst = c;
                bool bStop = false;
                while (c <= nc - 2 && c + 1 < uWindow.End() && !bStop)
                {
                    // A group: columns c, c + 2, ... of this window, their rows of Bv copied.
                    int nLines = 0;
                    for (int cLine = c; cLine <= nc - 2 && cLine + 1 < uWindow.End() && nLines < nGroupMax;
                         cLine += 2, ++nLines)
                        std::copy_n(bv.GetRow(cLine), nBvLength, pBvRows + static_cast<std::size_t>(nLines) * nBvLength);
                    const int cGroup = c;
                    pool.Run(nLines, GroupParts(pool, nLines, n), [&](int nPart, int nBegin, int nEnd) {
                        const LineVectors lines = workspace.Lines(nPart);
                        for (int i = nBegin; i < nEnd; ++i)
                        {
                            const int cLine = cGroup + 2 * i;
                            const float* pBvRow = pBvRows + static_cast<std::size_t>(i) * nBvLength;
                            ColumnLineSystem(bhWindow.ConstColumn(cLine - 1), bhWindow.ConstColumn(cLine), pBvRow,
                                             fWindow.ConstColumn(cLine), uWindow.ConstColumn(cLine - 1),
                                             uWindow.ConstColumn(cLine + 1), n, lines.pDiag, lines.pRhs);
                            SolveTridiagonal(pBvRow, lines.pDiag, pBvRow + 1, lines.pRhs, lines.pSol,
                                             lines.pFactor, n);
                            const Line uCol = uWindow.Column(cLine);
                            for (int k = 0; k < n; ++k)
                                uCol[k + 1] = lines.pSol[k];
                        }
                    });
                    // Progress and the stop check line by line, as if solved one at a time: the
                    // lines after a stop are not written back.
                    for (int i = 0; i < nLines && !bStop; ++i)
                    {
                        c += 2;
                        bStop = progress(fColumnUnits);
                    }
                }
                WriteBackColumns(u, uWindow, nBatchFirst, c);
                if (bStop)
                    return;
            }
        }
    }

    // Row lines, odd rows first, then even ones. Rows of one colour read only the other colour's
    // rows of u: a group of them is copied out with the rows of u between and around them, solved,
    // and its rows of u go back in order.
    const float fRowUnits = fWeight / static_cast<float>(4 * nr);
    const int n = nc - 2;
    const auto nLength = static_cast<std::size_t>(nc);
    ColumnWindow bvWindow(bv, WindowWidth(nc, nr, 2), workspace, 0);
    // Per line: its rows of Bh, f and u and the row of u below it; plus the row of u above the first.
    const int nGroupMax = GroupLines(nc, 4);
    float* const pRows = workspace.Buffer(1, (4 * static_cast<std::size_t>(nGroupMax) + 1) * nLength);
    float* const pBhRows = pRows;
    float* const pFRows = pBhRows + static_cast<std::size_t>(nGroupMax) * nLength;
    float* const pURows = pFRows + static_cast<std::size_t>(nGroupMax) * nLength; // u rows r0 - 1 .. r0 + 2 x nLines - 1
    for (int nFirst = 1; nFirst <= 2; ++nFirst)
    {
        int r = nFirst;
        while (r <= nr - 2)
        {
            // A group: rows r, r + 2, ... within the columns of Bv the window holds.
            bvWindow.Cover(r - 1, r);
            const int r0 = r;
            int nLines = 0;
            while (r0 + 2 * nLines <= nr - 2 && nLines < nGroupMax && r0 + 2 * nLines < bvWindow.End())
                ++nLines;
            const auto URow = [&](int rGrid) { return pURows + static_cast<std::size_t>(rGrid - (r0 - 1)) * nLength; };
            for (int rGrid = r0 - 1; rGrid <= r0 + 2 * nLines - 1; ++rGrid)
                std::copy_n(u.GetRow(rGrid), nLength, URow(rGrid));
            for (int i = 0; i < nLines; ++i)
            {
                std::copy_n(bh.GetRow(r0 + 2 * i), nLength, pBhRows + static_cast<std::size_t>(i) * nLength);
                std::copy_n(f.GetRow(r0 + 2 * i), nLength, pFRows + static_cast<std::size_t>(i) * nLength);
            }
            pool.Run(nLines, GroupParts(pool, nLines, n), [&](int nPart, int nBegin, int nEnd) {
                const LineVectors lines = workspace.Lines(nPart);
                for (int i = nBegin; i < nEnd; ++i)
                {
                    const int rLine = r0 + 2 * i;
                    const float* pBh = pBhRows + static_cast<std::size_t>(i) * nLength;
                    RowLineSystem(pBh, bvWindow.ConstColumn(rLine - 1), bvWindow.ConstColumn(rLine),
                                  pFRows + static_cast<std::size_t>(i) * nLength, URow(rLine - 1), URow(rLine + 1), n,
                                  lines.pDiag, lines.pRhs);
                    SolveTridiagonal(pBh, lines.pDiag, pBh + 1, lines.pRhs, URow(rLine) + 1, lines.pFactor, n);
                }
            });
            for (int i = 0; i < nLines; ++i)
            {
                std::copy_n(URow(r) + 1, n, u.GetRow(r) + 1);
                r += 2;
                if (progress(fRowUnits))
                    return;
            }
        }
    }
}



void SolveCoarsestPaged(const PagedLevel& grids, const LineVectors& lines)
{
    const int nr = grids.Rows();
    const int nc = grids.Cols();
    CPagedGrid& u = *grids.u;
    u.Fill(0.0f);

    if (nc > nr)
    {
        const int n = nc - 2;
        const float* pBh = grids.bh->GetRow(1);
        const float* pF = grids.f->GetRow(1);
        for (int k = 0; k < n; ++k)
        {
            lines.pDiag[k] = 1.0f - pBh[k + 1] - pBh[k];
            lines.pRhs[k] = pF[k + 1];
        }
        SolveTridiagonal(pBh, lines.pDiag, pBh + 1, lines.pRhs, u.GetRow(1) + 1, lines.pFactor, n);
        return;
    }

    const int n = nr - 2;
    const float* pBv = grids.bv->GetRow(1);
    for (int k = 0; k < n; ++k)
    {
        lines.pDiag[k] = 1.0f - pBv[k + 1] - pBv[k];
        lines.pRhs[k] = grids.f->GetRow(k + 1)[1];
    }
    SolveTridiagonal(pBv, lines.pDiag, pBv + 1, lines.pRhs, lines.pSol, lines.pFactor, n);
    for (int k = 0; k < n; ++k)
        u.GetRow(k + 1)[1] = lines.pSol[k];
}



void ResidualPaged(CPagedGrid& work, const PagedLevel& grids, CPagedWorkspace& workspace)
{
    const int nr = grids.Rows();
    const int nc = grids.Cols();
    CPagedGrid& u = *grids.u;
    ColumnWindow bvWindow(*grids.bv, WindowWidth(nc, nr, 2), workspace, 0);
    RowCopies copies(nc);
    std::fill_n(work.GetRow(0), nc, 0.0f);
    for (int r = 1; r <= nr - 2; ++r)
    {
        bvWindow.Cover(r - 1, r);
        const float* pUUp = copies.Copy(u, r - 1, 0);
        const float* pU = copies.Copy(u, r, 1);
        const float* pUDown = u.GetRow(r + 1);
        ResidualRow(pUUp, pU, pUDown, grids.f->GetRow(r), grids.bh->GetRow(r), bvWindow.ConstColumn(r - 1),
                    bvWindow.ConstColumn(r), nc, work.GetRow(r));
    }
    std::fill_n(work.GetRow(nr - 1), nc, 0.0f);
}



void RestrictPaged(CPagedGrid& coarse, CPagedGrid& fine, int nFineRows, int nFineCols)
{
    const int nr = coarse.Rows();
    const int nCoarseCols = coarse.Columns();
    const bool bEvenFineRows = (nFineRows % 2) == 0;
    RowCopies copies(nFineCols);
    std::fill_n(coarse.GetRow(0), nCoarseCols, 0.0f);
    for (int i = 1; i <= nr - 2; ++i)
    {
        const bool bOneSidedBottom = bEvenFineRows && i == nr - 2;
        const float* pUp = copies.Copy(fine, 2 * i - 1, 0);
        const float* pMid = bOneSidedBottom ? fine.GetRow(2 * i) : copies.Copy(fine, 2 * i, 1);
        const float* pDown = bOneSidedBottom ? nullptr : fine.GetRow(2 * i + 1);
        RestrictRow(pUp, pMid, pDown, bOneSidedBottom, nFineCols, coarse.GetRow(i), nCoarseCols);
    }
    std::fill_n(coarse.GetRow(nr - 1), nCoarseCols, 0.0f);
}



namespace {

// Fine row r of the prolongation of coarse into pFine (nFineCols floats).
void ProlongInto(float* pFine, int r, int nFineRows, int nFineCols, CPagedGrid& coarse, RowCopies& copies)
{
    int iUp = -1;
    int iDown = -1;
    ProlongRowSources(r, nFineRows, &iUp, &iDown);
    if (iUp < 0)
    {
        std::fill_n(pFine, nFineCols, 0.0f);
        return;
    }
    const float* pUp = iDown < 0 ? coarse.GetRow(iUp) : copies.Copy(coarse, iUp, 0);
    const float* pDown = iDown < 0 ? nullptr : coarse.GetRow(iDown);
    ProlongRow(pUp, pDown, coarse.Columns(), pFine, nFineCols);
}

} // namespace



void ProlongPaged(CPagedGrid& fine, CPagedGrid& coarse)
{
    RowCopies copies(coarse.Columns());
    for (int r = 0; r < fine.Rows(); ++r)
        ProlongInto(fine.GetRow(r), r, fine.Rows(), fine.Columns(), coarse, copies);
}



void AddCorrectionPaged(CPagedGrid& fineU, CPagedGrid& coarseU, float* pScratch)
{
    // The prolonged row goes to scratch instead of a work grid: nothing reads the work grid's
    // copy of it later.
    const int nCols = fineU.Columns();
    RowCopies copies(coarseU.Columns());
    for (int r = 0; r < fineU.Rows(); ++r)
    {
        ProlongInto(pScratch, r, fineU.Rows(), nCols, coarseU, copies);
        float* pU = fineU.GetRow(r);
        for (int c = 0; c < nCols; ++c)
            pU[c] += pScratch[c];
    }
}



void CopyGridPaged(CPagedGrid& destination, CPagedGrid& source)
{
    for (int r = 0; r < destination.Rows(); ++r)
    {
        const float* pSource = source.GetRow(r);
        std::copy_n(pSource, destination.Columns(), destination.GetRow(r));
    }
}

} // namespace gw
