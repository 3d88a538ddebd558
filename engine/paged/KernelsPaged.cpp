// KernelsPaged.cpp - the multigrid kernels over paged grids (see KernelsPaged.h).
#include "paged/KernelsPaged.h"

#include "CpuFeatures.h"
#include "lanes/KernelsLanes.h"
#include "lanes/LaneSolve.h"

#include "kernels/KernelsCoupling.h"
#include "kernels/KernelsGrid.h"
#include "kernels/KernelsRelax.h"
#include "kernels/KernelsTransfer.h"
#include "Platform.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <new>

namespace gw {

namespace {

// Floats a column window or a column batch may hold.
std::ptrdiff_t gnWindowFloats = std::ptrdiff_t{1} << 22;

// Whether the AVX2 kernels may be taken.
bool gbAllowAvx2 = true;

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
          m_pBlock(workspace.Buffer(nBuffer, static_cast<std::size_t>(nWidth) * static_cast<std::size_t>(grid.Rows()))),
          m_run(workspace.RowRunner())
    {
    }

    // Makes columns nLo..nHi available; gathers from nLo on when any of them is missing.
    void Cover(int nLo, int nHi)
    {
        if (m_nCount > 0 && nLo >= m_nFirst && nHi < m_nFirst + m_nCount)
            return;
        m_nFirst = nLo;
        m_nCount = std::min(m_nWidth, m_grid.Columns() - nLo);
        m_grid.GatherColumns(m_nFirst, m_nCount, m_pBlock, m_run);
    }

    // Writes columns nLo..nHi of rows nRowBegin..nRowEnd-1 back into the grid.
    void WriteBack(int nLo, int nHi, int nRowBegin, int nRowEnd) const
    {
        m_grid.ScatterColumns(nLo, nHi - nLo + 1,
                              m_pBlock + static_cast<std::ptrdiff_t>(nRowBegin) * m_nCount + (nLo - m_nFirst),
                              static_cast<std::size_t>(m_nCount), nRowBegin, nRowEnd, m_run);
    }

    int First() const { return m_nFirst; }
    int End() const { return m_nFirst + m_nCount; }

    // The window from column nOrigin (First() <= nOrigin < End()) to its end, as a grid.
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

// Progress units of one sweep; the same weights as the in-RAM sweep.
float SweepWeight(int nLevel, int nLevels) noexcept
{
    float fWeight = 8.0f / static_cast<float>(2 * (nLevels + 1 - nLevel));
    for (int k = nLevel; k < nLevels; ++k)
        fWeight *= 0.25f;
    return fWeight;
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

// Rows of nColumns floats per chunk of the row sweeps.
int ChunkRows(int nColumns)
{
    return GroupLines(nColumns, 1);
}

// Parts for a group of nLines lines of nLength unknowns: short work stays on the caller.
int GroupParts(CWorkerPool& pool, int nLines, int nLength)
{
    constexpr long long kMinPartWork = 16384; // unknowns per part
    const long long nWork = static_cast<long long>(nLines) * nLength;
    const auto nBy = static_cast<int>(std::min<long long>(nWork / kMinPartWork, nLines));
    return std::clamp(nBy, 1, pool.Threads());
}

// Runs fn(r) for the rows r0..r0+nRows-1 of a chunk, shared over the pool (each row is
// independent of the others and computed as alone).
template <class F>
void ForRows(CPagedWorkspace& workspace, int r0, int nRows, int nLength, F&& fn)
{
    CWorkerPool& pool = workspace.Pool();
    pool.Run(nRows, GroupParts(pool, nRows, nLength), [&](int, int nBegin, int nEnd) {
        for (int i = nBegin; i < nEnd; ++i)
            fn(r0 + i);
    });
}

// Runs fn(nPart, nBegin, nEnd) over parts of nLines lines of nLength unknowns (GroupParts),
// every part but the last a whole number of lane groups.
template <class F>
void RunInLaneGroups(CWorkerPool& pool, int nLines, int nLength, F&& fn)
{
    constexpr int kLanes = lanesolve::kLanes;
    const int nGroups = (nLines + kLanes - 1) / kLanes;
    pool.Run(nGroups, std::min(GroupParts(pool, nLines, nLength), nGroups), [&](int nPart, int nBegin, int nEnd) {
        fn(nPart, nBegin * kLanes, std::min(nEnd * kLanes, nLines));
    });
}

int RoundUpToLanes(int nLines)
{
    return (nLines + lanesolve::kLanes - 1) / lanesolve::kLanes * lanesolve::kLanes;
}

// lanes::TransposeBlock shared over the pool: the longer side of the block is cut into parts
// of whole 8 x 8 tiles, each part transposed on its own thread.
void TransposeOnPool(CWorkerPool& pool, const float* pIn, std::ptrdiff_t nInStride, int nRows, int nCols, float* pOut,
                     std::ptrdiff_t nOutStride)
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
            lanes::TransposeBlock(pIn + nFirst * nInStride, nInStride, nCount, nCols, pOut + nFirst, nOutStride);
        else
            lanes::TransposeBlock(pIn + nFirst, nInStride, nRows, nCount, pOut + nFirst * nOutStride, nOutStride);
    });
}

// Clears the couplings into the ring and from the last interior line towards it.
void ClearCouplingRing(CPagedGrid& bh, CPagedGrid& bv)
{
    const int nr = bh.Rows();
    const int nc = bh.Columns();
    for (int k = 0; k < nr; ++k)
    {
        float* pBh = bh.GetRow(k);
        pBh[0] = 0.0f;
        pBh[nc - 1] = 0.0f;
        pBh[std::max(nc - 2, 0)] = 0.0f;
        if (k == 0 || k == nr - 1)
            std::fill_n(pBh, nc, 0.0f);
    }
    for (int k = 0; k < nc; ++k)
    {
        float* pBv = bv.GetRow(k);
        pBv[0] = 0.0f;
        pBv[nr - 1] = 0.0f;
        pBv[std::max(nr - 2, 0)] = 0.0f;
        if (k == 0 || k == nc - 1)
            std::fill_n(pBv, nr, 0.0f);
    }
}

} // namespace



namespace {

// Floats of a part's scratch per float of the longest line: four line vectors, and the
// factors and solutions of the most lines solved together (four groups of eight columns).
constexpr std::size_t kLaneLines = lanes::kMaxColumnGroups * lanes::kGroupLines;
constexpr std::size_t kPartFloatsPerLine = 4 + 2 * kLaneLines;
static_assert(lanes::kGroupLines == lanesolve::kLanes);

} // namespace



CPagedWorkspace::CPagedWorkspace(int nThreads, int nMaxLine)
    : m_pool(nThreads),
      m_rowRunner([this](int nRows, const std::function<void(int, int)>& fn) {
          // Rows in parts of at least 64, each part's transfers on its own thread.
          m_pool.Run(nRows, m_pool.PartsFor(nRows, 64), [&fn](int, int nBegin, int nEnd) { fn(nBegin, nEnd); });
      }),
      m_nMaxLine(std::max(nMaxLine, 1)),
      m_pLineVectors(std::make_unique<float[]>(static_cast<std::size_t>(m_pool.Threads()) * kPartFloatsPerLine
                                               * static_cast<std::size_t>(m_nMaxLine)))
{
}



float* CPagedWorkspace::Buffer(int nIndex, std::size_t nFloats)
{
    const auto i = static_cast<std::size_t>(nIndex);
    if (m_anBufferFloats[i] < nFloats) {
        m_apBuffer[i].reset(); // the old one goes first, so the two are never held together
        m_anBufferFloats[i] = 0;
        const std::size_t nBytes = nFloats * sizeof(float);
        auto* pBlock = static_cast<float*>(platform::AllocateZeroedBlock(nBytes));
        if (pBlock == nullptr)
            throw std::bad_alloc();
        m_apBuffer[i] = std::unique_ptr<float[], PagedBlockFree>(pBlock, PagedBlockFree{nBytes});
        m_anBufferFloats[i] = nFloats;
    }
    return m_apBuffer[i].get();
}



void PagedBlockFree::operator()(float* pBlock) const noexcept
{
    platform::FreeZeroedBlock(pBlock, nBytes);
}



LineVectors CPagedWorkspace::Lines(int nPart) const noexcept
{
    float* pBase = m_pLineVectors.get() +
                   static_cast<std::size_t>(nPart) * kPartFloatsPerLine * static_cast<std::size_t>(m_nMaxLine);
    const auto nLine = static_cast<std::size_t>(m_nMaxLine);
    return LineVectors{pBase, pBase + nLine, pBase + 2 * nLine, pBase + 3 * nLine};
}



CPagedWorkspace::LaneScratch CPagedWorkspace::Lanes(int nPart) const noexcept
{
    const auto nLine = static_cast<std::size_t>(m_nMaxLine);
    float* pBase = m_pLineVectors.get() + static_cast<std::size_t>(nPart) * kPartFloatsPerLine * nLine + 4 * nLine;
    return LaneScratch{pBase, pBase + kLaneLines * nLine};
}



void SetPagedWindowFloats(std::ptrdiff_t nFloats) noexcept
{
    gnWindowFloats = nFloats;
}



std::ptrdiff_t PagedWindowFloats() noexcept
{
    return gnWindowFloats;
}



void SetPagedAvx2(bool bAllow) noexcept
{
    gbAllowAvx2 = bAllow;
}



bool PagedAvx2() noexcept
{
    return gbAllowAvx2 && cpu::HasAvx2();
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

    // Couplings into the ring, and from the last interior line towards it, vanish. Tiny grids
    // take the plain way: every row computed, then the ring cleared.
    if (nr < 3 || nc < 3)
    {
        for (int r = 1; r <= nr - 2; ++r)
        {
            if (progress(fUnit / static_cast<float>(nr)))
                return;
        }
        ClearCouplingRing(bh, bv);
        return;
    }

    // The couplings of a batch of rows go to columns of the transposed Bv: collect them in a
    // block (one column more on either side, for the ring) and write its span into Bv's rows
    // in one pass. Bh's ring columns are cleared as each row is made, Bv's in the first and
    // last batch's span; the values are those of clearing the ring after all rows.
    const int nBatch = WindowWidth(nc, nr, 1);
    const int nStride = nBatch + 2;
    float* const pBlock = workspace.Buffer(0, static_cast<std::size_t>(nStride) * static_cast<std::size_t>(nc));
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
    float* const pBhRows = workspace.Buffer(1, static_cast<std::size_t>(nChunk) * nLength);
    float* const pFRows = workspace.Buffer(3, static_cast<std::size_t>(nChunk + 1) * nLength);
    const bool bAvx2 = PagedAvx2();
    float* const pBvRows = bAvx2 ? workspace.Buffer(2, static_cast<std::size_t>(nChunk) * nLength) : nullptr;
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
            ForRows(workspace, 0, nRows, nc, [&](int i) {
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



namespace {

// The zebra order of a sweep direction in one pass: the lines of the first colour (odd
// numbers) and of the second (even numbers) are taken as one front moving down the lines.
// A first-colour line reads only second-colour neighbours, which no line of this front has
// solved yet; a second-colour line is taken only once both its first-colour neighbours are
// solved. So every line sees exactly the values it sees when all first-colour lines are
// solved before any second-colour line, and the result has the same bits, with one pass
// over the grids instead of two.
struct ZebraFront
{
    int nLast;     // the last line (lines are 1..nLast)
    int nNextA = 1; // the next first-colour line
    int nNextB = 2; // the next second-colour line

    bool Done() const { return nNextA > nLast && nNextB > nLast; }
    // The lowest line still to solve.
    int Lowest() const { return std::min(nNextA, nNextB); }
    // True when second-colour line l has both first-colour neighbours solved.
    bool Ready(int l) const { return l + 1 < nNextA || l + 1 > nLast; }
};

// Writes the columns solved in a window, [nFirstA, nEndA) and [nFirstB, nEndB) step 2, back
// into u: the window's span from the first to the last of them (interior rows only: the line
// solves write nothing else; the other columns of the span hold the values just gathered).
void WriteBackColumns(const ColumnWindow& window, int nRows, int nFirstA, int nEndA, int nFirstB, int nEndB)
{
    const bool bA = nFirstA < nEndA;
    const bool bB = nFirstB < nEndB;
    if (!bA && !bB)
        return;
    const int nLo = std::min(bA ? nFirstA : nFirstB, bB ? nFirstB : nFirstA);
    const int nHi = std::max(bA ? nEndA - 2 : nEndB - 2, bB ? nEndB - 2 : nEndA - 2);
    window.WriteBack(nLo, nHi, 1, nRows - 1);
}

} // namespace



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
    // Whole groups of eight lines go through the AVX2 kernels of the in-RAM path, which read
    // the step's operands as grids with Bv row-major; the rest, and every line on processors
    // without AVX2, across the lanes of LaneSolve.h (or one by one after a zero pivot).
    const bool bAvx2 = PagedAvx2();
    constexpr int kLanes = lanesolve::kLanes;

    // Column lines. A window of columns of Bh, f and u serves every line inside it whose
    // neighbours it holds; its copy of u takes the solutions (so later lines in it see them)
    // and goes back to the file in one sweep before the next window is gathered. Four columns
    // at least, so that the next line of the front always fits the next window. Within a
    // window the front moves in steps: the next first-colour lines, then the second-colour
    // lines that became ready, their rows of the transposed Bv read in one call.
    {
        const float fColumnUnits = fWeight / static_cast<float>(4 * nc);
        const int n = nr - 2;
        const int nWidth = WindowWidth(nr, nc, 4);
        ColumnWindow bhWindow(bh, nWidth, workspace, 0);
        ColumnWindow fWindow(f, nWidth, workspace, 1);
        ColumnWindow uWindow(u, nWidth, workspace, 2);
        // Whole lane groups of lines, so that a step leaves no odd lines to the slower ways.
        const int nGroupMax = RoundUpToLanes(GroupLines(nr, 2));
        const auto nBvLength = static_cast<std::size_t>(nr);
        const std::size_t nSpan = 2 * static_cast<std::size_t>(nGroupMax) + 1;
        // The step's rows of the transposed Bv from the column left of its lowest line on, and
        // for the kernels the same columns of Bv row-major (nr x (nSpan + 1) at most, as the
        // rows themselves: about 1 MB).
        float* const pBvRows = workspace.Buffer(3, (nSpan + 1) * nBvLength);
        float* const pBvBlock = bAvx2 ? workspace.Buffer(4, (nSpan + 1) * nBvLength) : nullptr;

        ZebraFront front{nc - 2};
        bool bStop = false;
        while (!front.Done() && !bStop)
        {
            const int nLo = front.Lowest() - 1;
            bhWindow.Cover(nLo, std::min(nLo + 3, nc - 1));
            fWindow.Cover(nLo, std::min(nLo + 3, nc - 1));
            uWindow.Cover(nLo, std::min(nLo + 3, nc - 1));
            const int nEnd = uWindow.End();
            const int nFirstA = front.nNextA;
            const int nFirstB = front.nNextB;
            while (!bStop)
            {
                const int nLowest = front.Lowest();
                // A line fits when the window holds its right neighbour (it holds the left one)
                // and its row of Bv fits the buffer.
                const auto Fits = [&](int c) {
                    return c <= nc - 2 && c + 1 < nEnd && static_cast<std::size_t>(c - nLowest) < nSpan;
                };
                int nLinesA = 0;
                while (nLinesA < nGroupMax && Fits(front.nNextA + 2 * nLinesA))
                    ++nLinesA;
                const int nEndA = front.nNextA + 2 * nLinesA;
                const auto ReadyB = [&](int c) { return c + 1 < nEndA || c + 1 > nc - 2; };
                int nLinesB = 0;
                while (nLinesB < nGroupMax && Fits(front.nNextB + 2 * nLinesB) && ReadyB(front.nNextB + 2 * nLinesB))
                    ++nLinesB;
                if (nLinesA == 0 && nLinesB == 0)
                    break; // the front has left the window
                const int nEndB = front.nNextB + 2 * nLinesB;
                const int nLastLine = std::max(nLinesA > 0 ? nEndA - 2 : 0, nLinesB > 0 ? nEndB - 2 : 0);

                // The kernels see the windows and Bv from column nBase on: a group reads from
                // the column left of its first line to the one right of its last, all inside
                // the windows (Fits) and the step's columns of Bv.
                const int nBase = nLowest - 1;
                const bool bGroups = bAvx2 && (nLinesA >= kLanes || nLinesB >= kLanes);
                const int nBvFirst = bGroups ? nBase : nLowest;
                const int nBvCount = nLastLine + 1 - nBvFirst;
                bv.ReadRows(nBvFirst, nBvCount, pBvRows);
                const auto BvRow = [&](int c) {
                    return pBvRows + static_cast<std::size_t>(c - nBvFirst) * nBvLength;
                };
                LevelGrids block{};
                if (bGroups)
                {
                    TransposeOnPool(pool, pBvRows, nr, nBvCount, nr, pBvBlock, nBvCount);
                    block = LevelGrids{bhWindow.From(nBase), GridView{pBvBlock, nr, nBvCount, nBvCount},
                                       fWindow.From(nBase), uWindow.From(nBase)};
                }
                const auto SolveColumns = [&](int c0, int nLines) {
                    RunInLaneGroups(pool, nLines, n, [&](int nPart, int nBegin, int nEndLine) {
                        const LineVectors lines = workspace.Lines(nPart);
                        const CPagedWorkspace::LaneScratch lane = workspace.Lanes(nPart);
                        int i = nBegin;
                        // Up to four groups of eight lines in one kernel call; on a zero pivot
                        // (u then unchanged) the call's groups go the ways below.
                        while (bGroups && i + kLanes <= nEndLine)
                        {
                            const int nGroups = std::min(lanes::kMaxColumnGroups, (nEndLine - i) / kLanes);
                            if (!lanes::SolveColumnGroups(block, c0 + 2 * i - nBase, nGroups, lane.pG, lane.pX))
                                break;
                            i += nGroups * kLanes;
                        }
                        // Eight lines at a time across vector lanes, each with ColumnLineSystem's
                        // operations; a group with a zero pivot goes the straightforward way.
                        for (; i + lanesolve::kLanes <= nEndLine; i += lanesolve::kLanes)
                        {
                            const float* pBvRow[lanesolve::kLanes];
                            ConstLine bhLeft[lanesolve::kLanes], bhMid[lanesolve::kLanes], fCol[lanesolve::kLanes];
                            ConstLine uLeft[lanesolve::kLanes], uRight[lanesolve::kLanes];
                            for (int j = 0; j < lanesolve::kLanes; ++j)
                            {
                                const int c = c0 + 2 * (i + j);
                                pBvRow[j] = BvRow(c);
                                bhLeft[j] = bhWindow.ConstColumn(c - 1);
                                bhMid[j] = bhWindow.ConstColumn(c);
                                fCol[j] = fWindow.ConstColumn(c);
                                uLeft[j] = uWindow.ConstColumn(c - 1);
                                uRight[j] = uWindow.ConstColumn(c + 1);
                            }
                            const auto element = [&](int k, float* a, float* b, float* d) {
                                const int r = k + 1;
                                for (int j = 0; j < lanesolve::kLanes; ++j)
                                {
                                    a[j] = pBvRow[j][r - 1];
                                    b[j] = 1.0f - bhMid[j][r] - bhLeft[j][r] - pBvRow[j][r] - pBvRow[j][r - 1];
                                    d[j] = fCol[j][r] - bhMid[j][r] * uRight[j][r] - bhLeft[j][r] * uLeft[j][r];
                                }
                            };
                            if (!lanesolve::SolveEight(element, lane.pG, lane.pX, n))
                                break;
                            for (int j = 0; j < lanesolve::kLanes; ++j)
                            {
                                const Line uCol = uWindow.Column(c0 + 2 * (i + j));
                                for (int k = 0; k < n; ++k)
                                    uCol[k + 1] = lane.pX[static_cast<std::ptrdiff_t>(k) * lanesolve::kLanes + j];
                            }
                        }
                        for (; i < nEndLine; ++i)
                        {
                            const int c = c0 + 2 * i;
                            const float* pBvRow = BvRow(c);
                            ColumnLineSystem(bhWindow.ConstColumn(c - 1), bhWindow.ConstColumn(c), pBvRow,
                                             fWindow.ConstColumn(c), uWindow.ConstColumn(c - 1),
                                             uWindow.ConstColumn(c + 1), n, lines.pDiag, lines.pRhs);
                            SolveTridiagonal(pBvRow, lines.pDiag, pBvRow + 1, lines.pRhs, lines.pSol, lines.pFactor,
                                             n);
                            const Line uCol = uWindow.Column(c);
                            for (int k = 0; k < n; ++k)
                                uCol[k + 1] = lines.pSol[k];
                        }
                    });
                };
                SolveColumns(front.nNextA, nLinesA);
                SolveColumns(front.nNextB, nLinesB);

                // Reported in column order; after a stop the lines beyond count as unsolved.
                int nReported = nLastLine;
                for (int c = nLowest; c <= nLastLine && !bStop; ++c)
                {
                    const bool bSolved =
                        (c % 2 == 1) ? (c >= front.nNextA && c < nEndA) : (c >= front.nNextB && c < nEndB);
                    if (bSolved && progress(fColumnUnits))
                    {
                        bStop = true;
                        nReported = c;
                    }
                }
                const int nOddAfter = nReported + (nReported % 2 == 1 ? 2 : 1);
                const int nEvenAfter = nReported + (nReported % 2 == 0 ? 2 : 1);
                front.nNextA = std::clamp(nOddAfter, front.nNextA, nEndA);
                front.nNextB = std::clamp(nEvenAfter, front.nNextB, nEndB);
            }
            WriteBackColumns(uWindow, nr, nFirstA, front.nNextA, nFirstB, front.nNextB);
        }
        if (bStop)
            return;
    }

    // Row lines, the same front down the rows. A step copies out the rows it needs (its lines'
    // rows of Bh and f, and the rows of u from above its first line to below its last), solves
    // its first-colour lines, then the second-colour ones that became ready, and writes its
    // lines' rows of u back in runs, in row order.
    const float fRowUnits = fWeight / static_cast<float>(4 * nr);
    const int n = nc - 2;
    const auto nLength = static_cast<std::size_t>(nc);
    ColumnWindow bvWindow(bv, WindowWidth(nc, nr, 3), workspace, 0);
    // Whole lane groups of lines, so that the threads' shares are solved across the lanes.
    const int nGroupMax = RoundUpToLanes(GroupLines(nc, 6));
    // Lines of a step: up to nGroupMax of each colour, all within 2 x nGroupMax + 1 rows; the
    // rows of u reach one further on either side. Bh, f and u each have a slot for every row
    // from the one above the step's first line to the one below its last, so that the kernels
    // see the three as grids with one row origin; the step's columns of the Bv window (rows
    // nLo .. nLastLine) go row-major into a block of their own (at most nSpanRows + 1 rows of
    // nc floats, about 350 KB, in the column pass's u window buffer, which is free by now).
    const std::size_t nSpanRows = 2 * static_cast<std::size_t>(nGroupMax) + 1;
    const std::size_t nSlots = nSpanRows + 2;
    float* const pRows = workspace.Buffer(1, 3 * nSlots * nLength);
    float* const pBvBlock = bAvx2 ? workspace.Buffer(2, (nSpanRows + 1) * nLength) : nullptr;
    ZebraFront front{nr - 2};
    while (!front.Done())
    {
        const int nLowest = front.Lowest();
        const int nLo = nLowest - 1; // the row of u above the step's first line
        bvWindow.Cover(nLo, std::min(nLo + 2, nr - 1));
        // A line r needs the columns r - 1 and r of Bv, and its rows must lie in the buffers.
        const int nEnd = bvWindow.End();
        const auto Fits = [&](int r) {
            return r <= nr - 2 && r < nEnd && static_cast<std::size_t>(r - nLowest) < nSpanRows;
        };
        int nLinesA = 0;
        while (nLinesA < nGroupMax && Fits(front.nNextA + 2 * nLinesA))
            ++nLinesA;
        const int nEndA = front.nNextA + 2 * nLinesA;
        const auto ReadyB = [&](int r) { return r + 1 < nEndA || r + 1 > nr - 2; };
        int nLinesB = 0;
        while (nLinesB < nGroupMax && Fits(front.nNextB + 2 * nLinesB) && ReadyB(front.nNextB + 2 * nLinesB))
            ++nLinesB;
        const int nEndB = front.nNextB + 2 * nLinesB;
        const int nLastLine = std::max(nLinesA > 0 ? nEndA - 2 : 0, nLinesB > 0 ? nEndB - 2 : 0);

        // Rows nLowest .. nLastLine of Bh and f, rows nLo .. nLastLine + 1 of u, each grid's
        // row r in its slot r - nLo.
        const auto Slot = [&](int nGrid, int r) {
            return pRows + (static_cast<std::size_t>(nGrid) * nSlots + static_cast<std::size_t>(r - nLo)) * nLength;
        };
        const auto BhRow = [&](int r) { return Slot(0, r); };
        const auto FRow = [&](int r) { return Slot(1, r); };
        const auto URow = [&](int r) { return Slot(2, r); };
        u.ReadRows(nLo, nLastLine + 2 - nLo, URow(nLo));
        bh.ReadRows(nLowest, nLastLine + 1 - nLowest, BhRow(nLowest));
        f.ReadRows(nLowest, nLastLine + 1 - nLowest, FRow(nLowest));

        // For the kernels: the rows as grids from row nLo on, and Bv's rows nLo .. nLastLine
        // (the window's columns) row-major.
        const bool bGroups = bAvx2 && (nLinesA >= kLanes || nLinesB >= kLanes);
        LevelGrids block{};
        if (bGroups)
        {
            const int nViewRows = nLastLine + 2 - nLo;
            const int nBvRows = nLastLine + 1 - nLo;
            const GridView bvColumns = bvWindow.From(nLo);
            TransposeOnPool(pool, bvColumns.pData, bvColumns.nStride, nc, nBvRows, pBvBlock, nc);
            block = LevelGrids{GridView::Of(BhRow(nLo), nViewRows, nc), GridView::Of(pBvBlock, nBvRows, nc),
                               GridView::Of(FRow(nLo), nViewRows, nc), GridView::Of(URow(nLo), nViewRows, nc)};
        }

        const auto SolveRows = [&](int r0, int nLines) {
            RunInLaneGroups(pool, nLines, n, [&](int nPart, int nBegin, int nEndLine) {
                const LineVectors lines = workspace.Lines(nPart);
                const CPagedWorkspace::LaneScratch lane = workspace.Lanes(nPart);
                int i = nBegin;
                // Whole groups through the kernel, which transposes the rows in registers; on
                // a zero pivot the rest goes the straightforward way, which reports it.
                for (; bGroups && i + kLanes <= nEndLine; i += kLanes)
                {
                    const int r = r0 + 2 * i;
                    if (!lanes::SolveRowGroup(block, r - nLo, lane.pG, lane.pX))
                        break;
                    lanes::StoreRowGroup(block.u, r - nLo, lane.pX, n);
                }
                // Eight lines at a time across vector lanes, each with RowLineSystem's operations;
                // a group with a zero pivot goes the straightforward way.
                for (; !bGroups && i + lanesolve::kLanes <= nEndLine; i += lanesolve::kLanes)
                {
                    const float* pBh[lanesolve::kLanes];
                    const float* pF[lanesolve::kLanes];
                    const float* pUUp[lanesolve::kLanes];
                    const float* pUDown[lanesolve::kLanes];
                    ConstLine bvUp[lanesolve::kLanes], bvDown[lanesolve::kLanes];
                    for (int j = 0; j < lanesolve::kLanes; ++j)
                    {
                        const int r = r0 + 2 * (i + j);
                        pBh[j] = BhRow(r);
                        pF[j] = FRow(r);
                        pUUp[j] = URow(r - 1);
                        pUDown[j] = URow(r + 1);
                        bvUp[j] = bvWindow.ConstColumn(r - 1);
                        bvDown[j] = bvWindow.ConstColumn(r);
                    }
                    const auto element = [&](int k, float* a, float* b, float* d) {
                        const int c = k + 1;
                        for (int j = 0; j < lanesolve::kLanes; ++j)
                        {
                            a[j] = pBh[j][c - 1];
                            b[j] = 1.0f - pBh[j][c] - pBh[j][c - 1] - bvDown[j][c] - bvUp[j][c];
                            d[j] = pF[j][c] - bvUp[j][c] * pUUp[j][c] - bvDown[j][c] * pUDown[j][c];
                        }
                    };
                    if (!lanesolve::SolveEight(element, lane.pG, lane.pX, n))
                        break;
                    for (int j = 0; j < lanesolve::kLanes; ++j)
                    {
                        float* pU = URow(r0 + 2 * (i + j)) + 1;
                        for (int k = 0; k < n; ++k)
                            pU[k] = lane.pX[static_cast<std::ptrdiff_t>(k) * lanesolve::kLanes + j];
                    }
                }
                for (; i < nEndLine; ++i)
                {
                    const int r = r0 + 2 * i;
                    const float* pBh = BhRow(r);
                    RowLineSystem(pBh, bvWindow.ConstColumn(r - 1), bvWindow.ConstColumn(r), FRow(r), URow(r - 1),
                                  URow(r + 1), n, lines.pDiag, lines.pRhs);
                    SolveTridiagonal(pBh, lines.pDiag, pBh + 1, lines.pRhs, URow(r) + 1, lines.pFactor, n);
                }
            });
        };
        SolveRows(front.nNextA, nLinesA);
        SolveRows(front.nNextB, nLinesB);

        // Progress per solved row in row order; each run of consecutive solved rows goes back in
        // one write, after a stop only up to the row it came at (the rows beyond count as
        // unsolved and keep their old values).
        const auto Solved = [&](int r) {
            return (r % 2 == 1) ? (r >= front.nNextA && r < nEndA) : (r >= front.nNextB && r < nEndB);
        };
        int r = nLowest;
        while (r <= nLastLine)
        {
            if (!Solved(r))
            {
                ++r;
                continue;
            }
            const int nRunFirst = r;
            bool bStop = false;
            while (r <= nLastLine && Solved(r) && !bStop)
            {
                bStop = progress(fRowUnits);
                ++r;
            }
            u.WriteRows(nRunFirst, r - nRunFirst, URow(nRunFirst));
            if (bStop)
                return;
        }
        front.nNextA = nEndA;
        front.nNextB = nEndB;
    }
}



namespace {

// Rows r0..r0+nRows-1, columns 0..nColumns-1 of grid into pOut (nColumns floats a row).
void GetBlock(CPagedGrid& grid, int r0, int nRows, float* pOut, int nColumns)
{
    if (nColumns == grid.Columns())
        grid.ReadRows(r0, nRows, pOut);
    else
        grid.ReadColumns(0, nColumns, pOut, static_cast<std::size_t>(nColumns), r0, r0 + nRows);
}

// The reverse of GetBlock.
void PutBlock(CPagedGrid& grid, int r0, int nRows, const float* pIn, int nColumns, CPagedWorkspace& workspace)
{
    if (nColumns == grid.Columns())
        grid.WriteRows(r0, nRows, pIn);
    else
        grid.ScatterColumns(0, nColumns, pIn, static_cast<std::size_t>(nColumns), r0, r0 + nRows,
                            workspace.RowRunner());
}

} // namespace



void FillPaged(CPagedGrid& grid, float fValue, CPagedWorkspace& workspace)
{
    const auto nColumns = static_cast<std::size_t>(grid.Columns());
    const int nChunk = std::min(ChunkRows(grid.Columns()), std::max(grid.Rows(), 1));
    float* const pBlock = workspace.Buffer(1, static_cast<std::size_t>(nChunk) * nColumns);
    std::fill_n(pBlock, static_cast<std::size_t>(nChunk) * nColumns, fValue);
    for (int r0 = 0; r0 < grid.Rows(); r0 += nChunk)
        grid.WriteRows(r0, std::min(nChunk, grid.Rows() - r0), pBlock);
}



void SolveCoarsestPaged(const PagedLevel& grids, const LineVectors& lines, CPagedWorkspace& workspace)
{
    const int nr = grids.Rows();
    const int nc = grids.Cols();
    CPagedGrid& u = *grids.u;
    FillPaged(u, 0.0f, workspace);

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
    const auto nLength = static_cast<std::size_t>(nc);
    ColumnWindow bvWindow(*grids.bv, WindowWidth(nc, nr, 2), workspace, 0);
    const int nChunk = ChunkRows(nc);
    float* const pU = workspace.Buffer(1, (static_cast<std::size_t>(nChunk) + 2) * nLength);
    float* const pF = workspace.Buffer(2, static_cast<std::size_t>(nChunk) * nLength);
    float* const pBh = workspace.Buffer(3, static_cast<std::size_t>(nChunk) * nLength);
    float* const pOut = workspace.Buffer(4, static_cast<std::size_t>(nChunk) * nLength);

    std::fill_n(pOut, nLength, 0.0f);
    PutBlock(work, 0, 1, pOut, nc, workspace);
    int r0 = 1;
    while (r0 <= nr - 2)
    {
        // Interior rows r0..r0+nRows-1; a row r needs the columns r - 1 and r of Bv.
        bvWindow.Cover(r0 - 1, r0);
        const int nRows = std::min({nChunk, nr - 1 - r0, bvWindow.End() - r0});
        grids.u->ReadRows(r0 - 1, nRows + 2, pU);
        grids.f->ReadRows(r0, nRows, pF);
        grids.bh->ReadRows(r0, nRows, pBh);
        const auto Row = [nLength](float* p, int i) { return p + static_cast<std::size_t>(i) * nLength; };
        ForRows(workspace, 0, nRows, nc, [&](int i) {
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



void RestrictPaged(CPagedGrid& coarse, CPagedGrid& fine, int nFineRows, int nFineCols, CPagedWorkspace& workspace)
{
    const int nr = coarse.Rows();
    const int nCoarseCols = coarse.Columns();
    const bool bEvenFineRows = (nFineRows % 2) == 0;
    const auto nFineLength = static_cast<std::size_t>(nFineCols);
    const auto nCoarseLength = static_cast<std::size_t>(nCoarseCols);
    const int nChunk = ChunkRows(2 * nFineCols + nCoarseCols);
    float* const pFine = workspace.Buffer(1, (2 * static_cast<std::size_t>(nChunk) + 1) * nFineLength);
    float* const pOut = workspace.Buffer(2, static_cast<std::size_t>(nChunk) * nCoarseLength);

    std::fill_n(pOut, nCoarseLength, 0.0f);
    coarse.WriteRows(0, 1, pOut);
    for (int i0 = 1; i0 <= nr - 2; i0 += nChunk)
    {
        // Coarse rows i0..i0+nRows-1 from fine rows 2 i0 - 1 up to the last one they use.
        const int nRows = std::min(nChunk, nr - 1 - i0);
        const int nLastI = i0 + nRows - 1;
        const bool bLastOneSided = bEvenFineRows && nLastI == nr - 2;
        const int nFineFirst = 2 * i0 - 1;
        const int nFineLast = bLastOneSided ? 2 * nLastI : 2 * nLastI + 1;
        GetBlock(fine, nFineFirst, nFineLast - nFineFirst + 1, pFine, nFineCols);
        const auto FineRow = [&](int r) { return pFine + static_cast<std::size_t>(r - nFineFirst) * nFineLength; };
        ForRows(workspace, i0, nRows, nFineCols, [&](int i) {
            const bool bOneSidedBottom = bEvenFineRows && i == nr - 2;
            RestrictRow(FineRow(2 * i - 1), FineRow(2 * i), bOneSidedBottom ? nullptr : FineRow(2 * i + 1),
                        bOneSidedBottom, nFineCols, pOut + static_cast<std::size_t>(i - i0) * nCoarseLength,
                        nCoarseCols);
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
void ProlongChunk(CPagedWorkspace& workspace, int r0, int nRows, int nFineRows, int nFineCols, const float* pCoarse,
                  int nCoarseFirst, int nCoarseCols, const float* pAdd, float* pOut)
{
    const auto nFineLength = static_cast<std::size_t>(nFineCols);
    ForRows(workspace, r0, nRows, nFineCols, [&](int r) {
        float* pFine = pOut + static_cast<std::size_t>(r - r0) * nFineLength;
        int iUp = -1;
        int iDown = -1;
        ProlongRowSources(r, nFineRows, &iUp, &iDown);
        if (iUp < 0)
            std::fill_n(pFine, nFineCols, 0.0f);
        else
        {
            const auto CoarseRow = [&](int i) {
                return pCoarse + static_cast<std::size_t>(i - nCoarseFirst) * static_cast<std::size_t>(nCoarseCols);
            };
            ProlongRow(CoarseRow(iUp), iDown < 0 ? nullptr : CoarseRow(iDown), nCoarseCols, pFine, nFineCols);
        }
        if (pAdd != nullptr)
        {
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
    for (int r = r0; r < r0 + nRows; ++r)
    {
        int iUp = -1;
        int iDown = -1;
        ProlongRowSources(r, nFineRows, &iUp, &iDown);
        for (int i : {iUp, iDown})
        {
            if (i >= 0)
            {
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
    float* const pOut = workspace.Buffer(2, static_cast<std::size_t>(nChunk) * static_cast<std::size_t>(nFineCols));
    float* const pAdd =
        bAdd ? workspace.Buffer(3, static_cast<std::size_t>(nChunk) * static_cast<std::size_t>(nFineCols)) : nullptr;
    for (int r0 = 0; r0 < nFineRows; r0 += nChunk)
    {
        const int nRows = std::min(nChunk, nFineRows - r0);
        int nFirst = 0;
        int nLast = -1;
        ProlongSources(r0, nRows, nFineRows, &nFirst, &nLast);
        // About half as many coarse rows as fine ones; the buffer grows if ever it must.
        float* pCoarse = nullptr;
        if (nLast >= nFirst)
        {
            pCoarse = workspace.Buffer(4, static_cast<std::size_t>(nLast - nFirst + 1)
                                              * static_cast<std::size_t>(nCoarseCols));
            coarse.ReadRows(nFirst, nLast - nFirst + 1, pCoarse);
        }
        if (pAdd != nullptr)
            fine.ReadRows(r0, nRows, pAdd);
        ProlongChunk(workspace, r0, nRows, nFineRows, nFineCols, pCoarse, nFirst, nCoarseCols, pAdd, pOut);
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
    float* const pBlock =
        workspace.Buffer(1, static_cast<std::size_t>(nChunk) * static_cast<std::size_t>(destination.Columns()));
    for (int r0 = 0; r0 < destination.Rows(); r0 += nChunk)
    {
        const int nRows = std::min(nChunk, destination.Rows() - r0);
        source.ReadRows(r0, nRows, pBlock);
        destination.WriteRows(r0, nRows, pBlock);
    }
}

} // namespace gw
