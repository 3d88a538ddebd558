// PagedRelax.cpp - the zebra line sweep over paged grids.
//
// Both colours of a direction are taken as one front moving down the lines (ZebraFront). The
// column pass gathers windows of neighbouring columns of Bh, f and u and solves the lines
// inside them in steps; the row pass copies out the rows a step needs. Within a step the
// caller's thread fetches, the pool solves the step's lines, and the results go back with the
// same progress and stop checks per line as one by one.
#include "paged/KernelsPaged.h"

#include "kernels/KernelsRelax.h"
#include "lanes/KernelsLanes.h"
#include "lanes/LaneSolve.h"
#include "paged/PagedChunks.h"

#include <algorithm>
#include <cstddef>

namespace gw {

using namespace paged;

namespace {

constexpr int kLanes = lanesolve::kLanes;

// The zebra order of a sweep direction in one pass: the lines of the first colour (odd
// numbers) and of the second (even numbers) are taken as one front moving down the lines.
// A first-colour line reads only second-colour neighbours, which no line of this front has
// solved yet; a second-colour line is taken only once both its first-colour neighbours are
// solved. So every line sees exactly the values it sees when all first-colour lines are
// solved before any second-colour line, and the result has the same bits, with one pass
// over the grids instead of two.
struct ZebraFront
{
    int nLast;      // the last line (lines are 1..nLast)
    int nNextA = 1; // the next first-colour line
    int nNextB = 2; // the next second-colour line

    bool Done() const { return nNextA > nLast && nNextB > nLast; }
    // The lowest line still to solve.
    int Lowest() const { return std::min(nNextA, nNextB); }
};

// The lines of one step: nLinesA first-colour lines from front.nNextA and nLinesB
// second-colour ones from front.nNextB, each colour up to nGroupMax lines that fit (the
// window holds them and their neighbours); a second-colour line only once both its
// first-colour neighbours are in the step or solved.
struct StepLines
{
    int nLinesA = 0;
    int nLinesB = 0;
    int nEndA = 0; // one past the last first-colour line (step 2)
    int nEndB = 0;
    int nLastLine = 0; // the highest line of the step

    template <class Fits>
    static StepLines Of(const ZebraFront& front, int nGroupMax, Fits&& fits)
    {
        StepLines step;
        while (step.nLinesA < nGroupMax && fits(front.nNextA + 2 * step.nLinesA))
            ++step.nLinesA;
        step.nEndA = front.nNextA + 2 * step.nLinesA;
        const auto ReadyB = [&](int l) { return l + 1 < step.nEndA || l + 1 > front.nLast; };
        while (step.nLinesB < nGroupMax && fits(front.nNextB + 2 * step.nLinesB)
               && ReadyB(front.nNextB + 2 * step.nLinesB))
            ++step.nLinesB;
        step.nEndB = front.nNextB + 2 * step.nLinesB;
        step.nLastLine =
            std::max(step.nLinesA > 0 ? step.nEndA - 2 : 0, step.nLinesB > 0 ? step.nEndB - 2 : 0);
        return step;
    }

    bool Empty() const { return nLinesA == 0 && nLinesB == 0; }
    // Whether line l is solved by this step, the front standing where it stood before it.
    bool Solves(const ZebraFront& front, int l) const
    {
        return (l % 2 == 1) ? (l >= front.nNextA && l < nEndA) : (l >= front.nNextB && l < nEndB);
    }
};

// What the lines of one step of the column pass read: the windows of Bh, f and u, the step's
// rows of the transposed Bv from column nBvFirst on, and for the AVX2 groups the same as grids
// from column nBase on, with Bv row-major (bGroups).
struct ColumnStep
{
    const CColumnWindow& bh;
    const CColumnWindow& f;
    const CColumnWindow& u;
    const float* pBvRows;
    int nBvFirst;
    std::size_t nBvLength;
    bool bGroups;
    LevelGrids block;
    int nBase;

    const float* BvRow(int c) const
    {
        return pBvRows + static_cast<std::size_t>(c - nBvFirst) * nBvLength;
    }
};

// Solves the nLines column lines c0, c0 + 2, ... of a step (n unknowns each) on the pool;
// their solutions go to the u window.
void SolveColumnLines(CPagedWorkspace& workspace, const ColumnStep& step, int c0, int nLines, int n)
{
    RunInLaneGroups(workspace, nLines, n, [&](const LinePart& part) {
        int i = part.nBegin;
        // Up to four groups of eight lines in one kernel call; on a zero pivot (u then
        // unchanged) the call's groups go the ways below.
        while (step.bGroups && i + kLanes <= part.nEnd) {
            const int nGroups = std::min(lanes::kMaxColumnGroups, (part.nEnd - i) / kLanes);
            if (!lanes::SolveColumnGroups(step.block, c0 + 2 * i - step.nBase, nGroups,
                                          part.lane.pG, part.lane.pX))
                break;
            i += nGroups * kLanes;
        }
        // Eight lines at a time across vector lanes; a group with a zero pivot goes the
        // straightforward way, which reports it.
        for (; i + kLanes <= part.nEnd; i += kLanes) {
            lanesolve::LaneLines operands;
            for (int j = 0; j < kLanes; ++j) {
                const int c = c0 + 2 * (i + j);
                operands.acrossFirst[j] = step.bh.ConstColumn(c - 1);
                operands.acrossSecond[j] = step.bh.ConstColumn(c);
                operands.along[j] = ConstLine{step.BvRow(c), 1};
                operands.f[j] = step.f.ConstColumn(c);
                operands.uFirst[j] = step.u.ConstColumn(c - 1);
                operands.uSecond[j] = step.u.ConstColumn(c + 1);
            }
            if (!lanesolve::SolveLaneLines<line::Along::Column>(operands, part.lane.pG,
                                                                part.lane.pX, n))
                break;
            for (int j = 0; j < kLanes; ++j) {
                const Line uCol = step.u.Column(c0 + 2 * (i + j));
                for (int k = 0; k < n; ++k)
                    uCol[k + 1] = part.lane.pX[static_cast<std::ptrdiff_t>(k) * kLanes + j];
            }
        }
        for (; i < part.nEnd; ++i) {
            const int c = c0 + 2 * i;
            SolveColumnLine(step.bh.ConstColumn(c - 1), step.bh.ConstColumn(c), step.BvRow(c),
                            step.f.ConstColumn(c), step.u.ConstColumn(c - 1),
                            step.u.ConstColumn(c + 1), step.u.Column(c), n, part.lines);
        }
    });
}

// Writes the columns solved in a window, [nFirstA, nEndA) and [nFirstB, nEndB) step 2, back
// into u: the window's span from the first to the last of them (interior rows only: the line
// solves write nothing else; the other columns of the span hold the values just gathered).
void WriteBackColumns(const CColumnWindow& window, int nRows, int nFirstA, int nEndA, int nFirstB,
                      int nEndB)
{
    const bool bA = nFirstA < nEndA;
    const bool bB = nFirstB < nEndB;
    if (!bA && !bB)
        return;
    const int nLo = std::min(bA ? nFirstA : nFirstB, bB ? nFirstB : nFirstA);
    const int nHi = std::max(bA ? nEndA - 2 : nEndB - 2, bB ? nEndB - 2 : nEndA - 2);
    window.WriteBack(nLo, nHi, 1, nRows - 1);
}

// The column lines. A window of columns of Bh, f and u serves every line inside it whose
// neighbours it holds; its copy of u takes the solutions (so later lines in it see them) and
// goes back to the file in one sweep before the next window is gathered. Four columns at
// least, so that the next line of the front always fits the next window. Within a window the
// front moves in steps: the next first-colour lines, then the second-colour lines that became
// ready, their rows of the transposed Bv read in one call. Answers false on a stop.
bool RelaxColumnsPaged(const PagedLevel& grids, CPagedWorkspace& workspace, float fColumnUnits,
                       ProgressHook progress)
{
    const int nr = grids.Rows();
    const int nc = grids.Cols();
    const int n = nr - 2;
    const bool bAvx2 = workspace.UsesAvx2();
    const int nWidth = WindowWidth(workspace, nr, nc, 4);
    CPagedBuffers buffers(workspace);
    CColumnWindow bhWindow(*grids.bh, nWidth, buffers, workspace);
    CColumnWindow fWindow(*grids.f, nWidth, buffers, workspace);
    CColumnWindow uWindow(*grids.u, nWidth, buffers, workspace);
    // Whole lane groups of lines, so that a step leaves no odd lines to the slower ways.
    const int nGroupMax = RoundUpToLanes(GroupLines(nr, 2));
    const auto nBvLength = static_cast<std::size_t>(nr);
    const std::size_t nSpan = 2 * static_cast<std::size_t>(nGroupMax) + 1;
    // The step's rows of the transposed Bv from the column left of its lowest line on, and
    // for the kernels the same columns of Bv row-major (nr x (nSpan + 1) at most, as the rows
    // themselves: about 1 MB).
    float* const pBvRows = buffers.Take((nSpan + 1) * nBvLength);
    float* const pBvBlock = bAvx2 ? buffers.Take((nSpan + 1) * nBvLength) : nullptr;

    ZebraFront front{nc - 2};
    bool bStop = false;
    while (!front.Done() && !bStop) {
        const int nLo = front.Lowest() - 1;
        bhWindow.Cover(nLo, std::min(nLo + 3, nc - 1));
        fWindow.Cover(nLo, std::min(nLo + 3, nc - 1));
        uWindow.Cover(nLo, std::min(nLo + 3, nc - 1));
        const int nEnd = uWindow.End();
        const int nFirstA = front.nNextA;
        const int nFirstB = front.nNextB;
        while (!bStop) {
            const int nLowest = front.Lowest();
            // A line fits when the window holds its right neighbour (it holds the left one) and
            // its row of Bv fits the buffer.
            const StepLines lines = StepLines::Of(front, nGroupMax, [&](int c) {
                return c <= nc - 2 && c + 1 < nEnd && static_cast<std::size_t>(c - nLowest) < nSpan;
            });
            if (lines.Empty())
                break; // the front has left the window

            // The kernels see the windows and Bv from column nBase on: a group reads from the
            // column left of its first line to the one right of its last, all inside the
            // windows and the step's columns of Bv.
            const int nBase = nLowest - 1;
            const bool bGroups = bAvx2 && (lines.nLinesA >= kLanes || lines.nLinesB >= kLanes);
            const int nBvFirst = bGroups ? nBase : nLowest;
            const int nBvCount = lines.nLastLine + 1 - nBvFirst;
            grids.bv->ReadRows(nBvFirst, nBvCount, pBvRows);
            ColumnStep step{bhWindow,  fWindow, uWindow,      pBvRows, nBvFirst,
                            nBvLength, bGroups, LevelGrids{}, nBase};
            if (bGroups) {
                TransposeOnPool(workspace.Pool(), pBvRows, nr, nBvCount, nr, pBvBlock, nBvCount);
                step.block =
                    LevelGrids{bhWindow.From(nBase), GridView{pBvBlock, nr, nBvCount, nBvCount},
                               fWindow.From(nBase), uWindow.From(nBase)};
            }
            SolveColumnLines(workspace, step, front.nNextA, lines.nLinesA, n);
            SolveColumnLines(workspace, step, front.nNextB, lines.nLinesB, n);

            // Reported in column order; after a stop the lines beyond count as unsolved.
            int nReported = lines.nLastLine;
            for (int c = nLowest; c <= lines.nLastLine && !bStop; ++c) {
                if (lines.Solves(front, c) && progress(fColumnUnits)) {
                    bStop = true;
                    nReported = c;
                }
            }
            const int nOddAfter = nReported + (nReported % 2 == 1 ? 2 : 1);
            const int nEvenAfter = nReported + (nReported % 2 == 0 ? 2 : 1);
            front.nNextA = std::clamp(nOddAfter, front.nNextA, lines.nEndA);
            front.nNextB = std::clamp(nEvenAfter, front.nNextB, lines.nEndB);
        }
        WriteBackColumns(uWindow, nr, nFirstA, front.nNextA, nFirstB, front.nNextB);
    }
    return !bStop;
}

// What the lines of one step of the row pass read: the Bv window, and the rows of Bh, f and u
// from row nLo on, each grid's row r in its slot r - nLo of pRows (so that the kernels see the
// three as grids with one row origin); for the AVX2 groups the step's columns of the Bv window
// row-major in block (bGroups).
struct RowStep
{
    const CColumnWindow& bv;
    float* pRows;
    std::size_t nSlots;
    std::size_t nLength;
    int nLo;
    bool bGroups;
    LevelGrids block;

    float* Slot(int nGrid, int r) const
    {
        return pRows
             + (static_cast<std::size_t>(nGrid) * nSlots + static_cast<std::size_t>(r - nLo))
                   * nLength;
    }
    float* BhRow(int r) const { return Slot(0, r); }
    float* FRow(int r) const { return Slot(1, r); }
    float* URow(int r) const { return Slot(2, r); }
};

// Solves the nLines row lines r0, r0 + 2, ... of a step (n unknowns each) on the pool; their
// solutions go to the step's rows of u.
void SolveRowLines(CPagedWorkspace& workspace, const RowStep& step, int r0, int nLines, int n)
{
    RunInLaneGroups(workspace, nLines, n, [&](const LinePart& part) {
        int i = part.nBegin;
        // Whole groups through the kernel, which transposes the rows in registers; on a zero
        // pivot the rest goes the straightforward way, which reports it.
        for (; step.bGroups && i + kLanes <= part.nEnd; i += kLanes) {
            const int r = r0 + 2 * i;
            if (!lanes::SolveRowGroup(step.block, r - step.nLo, part.lane.pG, part.lane.pX))
                break;
            lanes::StoreRowGroup(step.block.u, r - step.nLo, part.lane.pX, n);
        }
        // Eight lines at a time across vector lanes; a group with a zero pivot goes the
        // straightforward way.
        for (; !step.bGroups && i + kLanes <= part.nEnd; i += kLanes) {
            lanesolve::LaneLines operands;
            for (int j = 0; j < kLanes; ++j) {
                const int r = r0 + 2 * (i + j);
                operands.along[j] = ConstLine{step.BhRow(r), 1};
                operands.acrossFirst[j] = step.bv.ConstColumn(r - 1);
                operands.acrossSecond[j] = step.bv.ConstColumn(r);
                operands.f[j] = ConstLine{step.FRow(r), 1};
                operands.uFirst[j] = ConstLine{step.URow(r - 1), 1};
                operands.uSecond[j] = ConstLine{step.URow(r + 1), 1};
            }
            if (!lanesolve::SolveLaneLines<line::Along::Row>(operands, part.lane.pG, part.lane.pX,
                                                             n))
                break;
            for (int j = 0; j < kLanes; ++j) {
                float* pU = step.URow(r0 + 2 * (i + j)) + 1;
                for (int k = 0; k < n; ++k)
                    pU[k] = part.lane.pX[static_cast<std::ptrdiff_t>(k) * kLanes + j];
            }
        }
        for (; i < part.nEnd; ++i) {
            const int r = r0 + 2 * i;
            SolveRowLine(step.BhRow(r), step.bv.ConstColumn(r - 1), step.bv.ConstColumn(r),
                         step.FRow(r), step.URow(r - 1), step.URow(r + 1), step.URow(r), n,
                         part.lines);
        }
    });
}

// The row lines, the same front down the rows. A step copies out the rows it needs (its
// lines' rows of Bh and f, and the rows of u from above its first line to below its last),
// solves its first-colour lines, then the second-colour ones that became ready, and writes its
// lines' rows of u back in runs, in row order.
void RelaxRowsPaged(const PagedLevel& grids, CPagedWorkspace& workspace, float fRowUnits,
                    ProgressHook progress)
{
    const int nr = grids.Rows();
    const int nc = grids.Cols();
    const int n = nc - 2;
    const bool bAvx2 = workspace.UsesAvx2();
    const auto nLength = static_cast<std::size_t>(nc);
    CPagedBuffers buffers(workspace);
    CColumnWindow bvWindow(*grids.bv, WindowWidth(workspace, nc, nr, 3), buffers, workspace);
    // Whole lane groups of lines, so that the threads' shares are solved across the lanes.
    const int nGroupMax = RoundUpToLanes(GroupLines(nc, 6));
    // Lines of a step: up to nGroupMax of each colour, all within 2 x nGroupMax + 1 rows; the
    // rows of u reach one further on either side. The step's columns of the Bv window (rows
    // nLo .. nLastLine) go row-major into a block of their own (at most nSpanRows + 1 rows of
    // nc floats, about 350 KB).
    const std::size_t nSpanRows = 2 * static_cast<std::size_t>(nGroupMax) + 1;
    const std::size_t nSlots = nSpanRows + 2;
    float* const pRows = buffers.Take(3 * nSlots * nLength);
    float* const pBvBlock = bAvx2 ? buffers.Take((nSpanRows + 1) * nLength) : nullptr;
    ZebraFront front{nr - 2};
    while (!front.Done()) {
        const int nLowest = front.Lowest();
        const int nLo = nLowest - 1; // the row of u above the step's first line
        bvWindow.Cover(nLo, std::min(nLo + 2, nr - 1));
        // A line r needs the columns r - 1 and r of Bv, and its rows must lie in the buffers.
        const int nEnd = bvWindow.End();
        const StepLines lines = StepLines::Of(front, nGroupMax, [&](int r) {
            return r <= nr - 2 && r < nEnd && static_cast<std::size_t>(r - nLowest) < nSpanRows;
        });
        const int nLastLine = lines.nLastLine;

        RowStep step{bvWindow, pRows, nSlots, nLength, nLo, false, LevelGrids{}};
        grids.u->ReadRows(nLo, nLastLine + 2 - nLo, step.URow(nLo));
        grids.bh->ReadRows(nLowest, nLastLine + 1 - nLowest, step.BhRow(nLowest));
        grids.f->ReadRows(nLowest, nLastLine + 1 - nLowest, step.FRow(nLowest));

        // For the kernels: the rows as grids from row nLo on, and Bv's rows nLo .. nLastLine
        // (the window's columns) row-major.
        step.bGroups = bAvx2 && (lines.nLinesA >= kLanes || lines.nLinesB >= kLanes);
        if (step.bGroups) {
            const int nViewRows = nLastLine + 2 - nLo;
            const int nBvRows = nLastLine + 1 - nLo;
            const GridView bvColumns = bvWindow.From(nLo);
            TransposeOnPool(workspace.Pool(), bvColumns.pData, bvColumns.nStride, nc, nBvRows,
                            pBvBlock, nc);
            step.block = LevelGrids{GridView::Of(step.BhRow(nLo), nViewRows, nc),
                                    GridView::Of(pBvBlock, nBvRows, nc),
                                    GridView::Of(step.FRow(nLo), nViewRows, nc),
                                    GridView::Of(step.URow(nLo), nViewRows, nc)};
        }
        SolveRowLines(workspace, step, front.nNextA, lines.nLinesA, n);
        SolveRowLines(workspace, step, front.nNextB, lines.nLinesB, n);

        // Progress per solved row in row order; each run of consecutive solved rows goes back
        // in one write, after a stop only up to the row it came at (the rows beyond count as
        // unsolved and keep their old values).
        int r = nLowest;
        while (r <= nLastLine) {
            if (!lines.Solves(front, r)) {
                ++r;
                continue;
            }
            const int nRunFirst = r;
            bool bStop = false;
            while (r <= nLastLine && lines.Solves(front, r) && !bStop) {
                bStop = progress(fRowUnits);
                ++r;
            }
            grids.u->WriteRows(nRunFirst, r - nRunFirst, step.URow(nRunFirst));
            if (bStop)
                return;
        }
        front.nNextA = lines.nEndA;
        front.nNextB = lines.nEndB;
    }
}

} // namespace



void RelaxLinesPaged(const PagedLevel& grids, CPagedWorkspace& workspace, int nLevel, int nLevels,
                     ProgressHook progress)
{
    const SweepLineUnits units = SweepUnits(grids.Rows(), grids.Cols(), nLevel, nLevels);
    if (!RelaxColumnsPaged(grids, workspace, units.fColumn, progress))
        return;
    RelaxRowsPaged(grids, workspace, units.fRow, progress);
}

} // namespace gw
