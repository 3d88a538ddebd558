// ParallelKernels.cpp - parallel and vectorised kernels with the straightforward kernels' bits.
#include "parallel/ParallelKernels.h"

#include "CpuFeatures.h"
#include "kernels/KernelsCoupling.h"
#include "lanes/KernelsLanes.h"
#include "kernels/KernelsGrid.h"
#include "kernels/KernelsRelax.h"
#include "kernels/KernelsTransfer.h"
#include "kernels/LineSystem.h"
#include "lanes/LaneSolve.h"

#include <algorithm>
#include <cstring>

namespace gw {

namespace {

// Lines solved together.
constexpr int kLanes = lanesolve::kLanes;
static_assert(kLanes == lanes::kGroupLines);

// Rows below this per thread are not worth waking the workers for.
constexpr int kMinRowsPerPart = 16;

// Scratch of one thread: kLaneArrays vectors of kLanes x (longest line) floats. A lane group
// uses two (factors and solution, element k of lane j at [k * kLanes + j]), a block of column
// groups two per group, the straightforward fallback four.
constexpr int kLaneArrays = 2 * lanes::kMaxColumnGroups;

// The lines of one lane group and the grids they read. The operands are fetched by grid row,
// one row pointer for all lanes of an element (the lines of a group are the grid's columns, or
// rows of contiguous floats).
struct LaneGroup
{
    const GridView* pBh;
    const GridView* pBv;
    const GridView* pF;
    const GridView* pU;
    const int* pLines; // kLanes grid columns (column pass) or rows (row pass)
    // Per lane, the rows the row pass reads: rows r - 1 and r of Bv, rows r of Bh and f, rows
    // r - 1 and r + 1 of u.
    const float* pBvUpRows[kLanes];
    const float* pBvDownRows[kLanes];
    const float* pBhRows[kLanes];
    const float* pFRows[kLanes];
    const float* pUUpRows[kLanes];
    const float* pUDownRows[kLanes];
};

// Element k of each lane's system in the column pass (grid row r = k + 1): sub-diagonal a, and
// the diagonal b and right side d of line::LineElement.
[[gnu::always_inline]] inline void ColumnElement(const LaneGroup& group, int k, float* a, float* b,
                                                 float* d) noexcept
{
    const int r = k + 1;
    const float* pBh = group.pBh->Row(r);
    const float* pF = group.pF->Row(r);
    const float* pU = group.pU->Row(r);
    const float* pBvUp = group.pBv->Row(r - 1);
    const float* pBvDown = group.pBv->Row(r);
    for (int j = 0; j < kLanes; ++j) {
        const int c = group.pLines[j];
        a[j] = pBvUp[c];
        line::LineElement<line::Along::Column>(pBh[c - 1], pBh[c], pBvUp[c], pBvDown[c], pF[c],
                                               pU[c - 1], pU[c + 1], b[j], d[j]);
    }
}

// The same for the row pass (grid column c = k + 1).
[[gnu::always_inline]] inline void RowElement(const LaneGroup& group, int k, float* a, float* b,
                                              float* d) noexcept
{
    const int c = k + 1;
    for (int j = 0; j < kLanes; ++j) {
        const float* pBh = group.pBhRows[j];
        a[j] = pBh[c - 1];
        line::LineElement<line::Along::Row>(
            pBh[c - 1], pBh[c], group.pBvUpRows[j][c], group.pBvDownRows[j][c], group.pFRows[j][c],
            group.pUUpRows[j][c], group.pUDownRows[j][c], b[j], d[j]);
    }
}

// The elimination of SolveTridiagonal on the group's kLanes systems (LaneSolve.h).
template <bool bColumns>
[[gnu::always_inline]] inline bool SolveLanesImpl(const LaneGroup& group, float* pG, float* pX,
                                                  int n) noexcept
{
    return lanesolve::SolveEight(
        [&](int k, float* a, float* b, float* d) {
            if constexpr (bColumns)
                ColumnElement(group, k, a, b, d);
            else
                RowElement(group, k, a, b, d);
        },
        pG, pX, n);
}

bool SolveColumnsBaseline(const LaneGroup& group, float* pG, float* pX, int n) noexcept
{
    return SolveLanesImpl<true>(group, pG, pX, n);
}

bool SolveRowsBaseline(const LaneGroup& group, float* pG, float* pX, int n) noexcept
{
    return SolveLanesImpl<false>(group, pG, pX, n);
}

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("avx")]] bool SolveColumnsAvx(const LaneGroup& group, float* pG, float* pX,
                                            int n) noexcept
{
    return SolveLanesImpl<true>(group, pG, pX, n);
}

[[gnu::target("avx")]] bool SolveRowsAvx(const LaneGroup& group, float* pG, float* pX,
                                         int n) noexcept
{
    return SolveLanesImpl<false>(group, pG, pX, n);
}

#endif

bool SolveLanes(bool bColumns, const LaneGroup& group, float* pG, float* pX, int n) noexcept
{
#if defined(__x86_64__) || defined(__i386__)
    if (cpu::HasAvx())
        return bColumns ? SolveColumnsAvx(group, pG, pX, n) : SolveRowsAvx(group, pG, pX, n);
#endif
    return bColumns ? SolveColumnsBaseline(group, pG, pX, n) : SolveRowsBaseline(group, pG, pX, n);
}

// Runs fn(r) for the interior rows 1..nRows-2 of a level, shared over the pool.
template <class F>
void ForInteriorRows(CParallelKernels& kernels, int nRows, F&& fn)
{
    kernels.ForRows(nRows - 2, kMinRowsPerPart, [&](int nBegin, int nEnd) {
        for (int r = nBegin + 1; r <= nEnd; ++r)
            fn(r);
    });
}

} // namespace



CParallelKernels::CParallelKernels(CWorkerPool& pool, int nMaxLine)
    : m_pool(pool), m_nMaxLine(nMaxLine < 1 ? 1 : nMaxLine)
{
    const std::size_t nFloats =
        static_cast<std::size_t>(kLaneArrays) * kLanes * static_cast<std::size_t>(m_nMaxLine);
    m_scratch.resize(static_cast<std::size_t>(m_pool.Threads()));
    for (auto& pBlock : m_scratch)
        pBlock = std::make_unique<float[]>(nFloats);
}



void CParallelKernels::ComputeCouplings(const LevelGrids& grids, int nLevel, int nLevels,
                                        const CouplingParams& params, ProgressHook progress)
{
    const int nr = grids.Rows();
    const float fScaledRadius = ScaledRadius(params.fRadius, nLevel, nLevels);
    const float fRowUnits = CouplingWeight(nLevel, nLevels) / static_cast<float>(nr);
    const auto couplingRow =
        cpu::HasAvx2() ? lanes::CouplingRowContiguous : lanes::portable::CouplingRowContiguous;
    ForInteriorRows(*this, nr, [&](int r) {
        couplingRow(grids.f.Row(r), grids.f.Row(r + 1), grids.Cols(), fScaledRadius, params,
                    grids.bh.Row(r), grids.bv.Row(r));
    });
    for (int r = 1; r <= nr - 2; ++r) {
        if (progress(fRowUnits))
            return;
    }

    ClearCouplingRing(grids.bh, grids.bv, false);
}



void CParallelKernels::SolveBlock(const LevelGrids& grids, bool bColumns, int nFirstLine,
                                  int nCount, float* pBlock)
{
    const int nGroups = (nCount + kLanes - 1) / kLanes;
    int nGroup = 0;
    if (bColumns && cpu::HasAvx2()) {
        // The block's full column groups together on AVX2; on a zero pivot they are redone
        // one by one below, which reports it.
        const int nFull = nCount / kLanes;
        const std::ptrdiff_t nLine = static_cast<std::ptrdiff_t>(kLanes) * m_nMaxLine;
        if (nFull > 0
            && lanes::SolveColumnGroups(grids, nFirstLine, nFull, pBlock,
                                        pBlock + lanes::kMaxColumnGroups * nLine))
            nGroup = nFull;
    }
    for (; nGroup < nGroups; ++nGroup)
        SolveGroup(grids, bColumns, nFirstLine + 2 * kLanes * nGroup,
                   std::min(kLanes, nCount - kLanes * nGroup), pBlock);
}



void CParallelKernels::SolveGroup(const LevelGrids& grids, bool bColumns, int nFirstLine,
                                  int nInGroup, float* pBlock)
{
    const int nr = grids.Rows();
    const int nc = grids.Cols();
    const int n = bColumns ? nr - 2 : nc - 2;
    const GridView& bh = grids.bh;
    const GridView& bv = grids.bv;
    const GridView& f = grids.f;
    const GridView& u = grids.u;
    const std::ptrdiff_t nLine = static_cast<std::ptrdiff_t>(kLanes) * m_nMaxLine;
    float* pG = pBlock;
    float* pX = pBlock + nLine;

    // The lines of this group; lanes past the last line repeat the first one.
    int lines[kLanes];
    for (int j = 0; j < kLanes; ++j)
        lines[j] = nFirstLine + 2 * (j < nInGroup ? j : 0);
    LaneGroup group{&bh, &bv, &f, &u, lines, {}, {}, {}, {}, {}, {}};
    for (int j = 0; j < kLanes; ++j) {
        if (!bColumns) {
            group.pBvUpRows[j] = bv.Row(lines[j] - 1);
            group.pBvDownRows[j] = bv.Row(lines[j]);
            group.pBhRows[j] = bh.Row(lines[j]);
            group.pFRows[j] = f.Row(lines[j]);
            group.pUUpRows[j] = u.Row(lines[j] - 1);
            group.pUDownRows[j] = u.Row(lines[j] + 1);
        }
    }

    // A full row group on an AVX2 processor: the operands are gathered with vector loads.
    if (!bColumns && nInGroup == kLanes && cpu::HasAvx2()) {
        if (lanes::SolveRowGroup(grids, lines[0], pG, pX)) {
            lanes::StoreRowGroup(u, lines[0], pX, n);
            return;
        }
    } else if (SolveLanes(bColumns, group, pG, pX, n)) {
        if (bColumns) {
            for (int k = 0; k < n; ++k) {
                float* pU = u.Row(k + 1);
                for (int j = 0; j < nInGroup; ++j)
                    pU[lines[j]] = pX[static_cast<std::ptrdiff_t>(k) * kLanes + j];
            }
        } else {
            for (int j = 0; j < nInGroup; ++j) {
                float* pU = u.Row(lines[j]) + 1;
                for (int k = 0; k < n; ++k)
                    pU[k] = pX[static_cast<std::ptrdiff_t>(k) * kLanes + j];
            }
        }
        return;
    }

    // A zero pivot: the lines again one by one the straightforward way, which
    // throws at the first failing one.
    const LineVectors lv{pBlock, pBlock + nLine, pBlock + 2 * nLine, pBlock + 3 * nLine};
    float* pBvColumn = pBlock + 3 * nLine + m_nMaxLine; // column c of Bv, by grid row
    for (int j = 0; j < nInGroup; ++j) {
        if (bColumns) {
            const int c = lines[j];
            for (int r = 0; r < nr; ++r)
                pBvColumn[r] = bv.At(r, c);
            SolveColumnLine(bh.ConstColumn(c - 1), bh.ConstColumn(c), pBvColumn, f.ConstColumn(c),
                            u.ConstColumn(c - 1), u.ConstColumn(c + 1), u.Column(c), n, lv);
        } else {
            const int r = lines[j];
            SolveRowLine(bh.Row(r), ConstLine{bv.Row(r - 1), 1}, ConstLine{bv.Row(r), 1}, f.Row(r),
                         u.Row(r - 1), u.Row(r + 1), u.Row(r), n, lv);
        }
    }
}



void CParallelKernels::RelaxDirection(const LevelGrids& grids, bool bColumns)
{
    const int nLast = bColumns ? grids.Cols() - 2 : grids.Rows() - 2;
    const int n = bColumns ? grids.Rows() - 2 : grids.Cols() - 2;
    if (nLast < 1 || n <= 0)
        return;
    // Block g of the first colour holds the lines 2 L g + 1 .. 2 L g + 2 L - 1 (L lines a
    // block), block g of the second colour the lines 2 L g .. 2 L g + 2 L - 2 (without line 0),
    // which read the first colour's blocks g - 1 and g and nothing else of it; no first-colour
    // block reads what a second-colour block writes. So each part solves first-colour block g
    // and then second-colour block g, whose lines lie beside those just solved and are still
    // in the cache. The second-colour block at the start of a part, whose left-hand neighbour
    // belongs to the part before, waits for the end of the pass.
    constexpr int kBlockLines = kLanes * kBlockGroups;
    const int nOddLines = (nLast - 1) / 2 + 1;
    const int nOddBlocks = (nOddLines + kBlockLines - 1) / kBlockLines;
    const int nLastEven = nLast - nLast % 2;
    const int nEvenBlocks = nLastEven >= 2 ? nLastEven / (2 * kBlockLines) + 1 : 0;
    const auto solveOdd = [&](int g, float* pBlock) {
        SolveBlock(grids, bColumns, 2 * kBlockLines * g + 1,
                   std::min(kBlockLines, nOddLines - kBlockLines * g), pBlock);
    };
    const auto solveEven = [&](int g, float* pBlock) {
        if (g >= nEvenBlocks)
            return;
        const int nFirstLine = std::max(2, 2 * kBlockLines * g);
        const int nLastLine = std::min(nLastEven, 2 * kBlockLines * g + 2 * kBlockLines - 2);
        SolveBlock(grids, bColumns, nFirstLine, (nLastLine - nFirstLine) / 2 + 1, pBlock);
    };
    const int nMinGroups = std::max(1, 4096 / (kBlockLines * n));
    const int nParts = m_pool.PartsFor(nOddBlocks, nMinGroups);
    m_pool.Run(nOddBlocks, nParts, [&](int nPart, int nBegin, int nEnd) {
        float* pBlock = m_scratch[static_cast<std::size_t>(nPart)].get();
        for (int g = nBegin; g < nEnd; ++g) {
            solveOdd(g, pBlock);
            if (g > nBegin || g == 0)
                solveEven(g, pBlock);
        }
        // A second-colour block past the last first-colour one (its lines read only that one).
        if (nEnd == nOddBlocks)
            for (int g = nOddBlocks; g < nEvenBlocks; ++g)
                solveEven(g, pBlock);
    });
    if (nParts <= 1)
        return;
    // The second-colour blocks at the starts of the parts, all first-colour lines now solved.
    m_pool.Run(nParts - 1, m_pool.PartsFor(nParts - 1, 1), [&](int nPart, int nBegin, int nEnd) {
        float* pBlock = m_scratch[static_cast<std::size_t>(nPart)].get();
        for (int p = nBegin; p < nEnd; ++p)
            solveEven(CWorkerPool::PartBegin(nOddBlocks, nParts, p + 1), pBlock);
    });
}



void CParallelKernels::RelaxLines(const LevelGrids& grids, int nLevel, int nLevels,
                                  ProgressHook progress)
{
    // Each pass solves its lines first and then reports their progress.
    const auto solved = [](int) {};
    const SweepLineUnits units = SweepUnits(grids.Rows(), grids.Cols(), nLevel, nLevels);
    RelaxDirection(grids, true);
    if (!ForZebraLines(grids.Cols() - 2, units.fColumn, progress, solved))
        return;
    RelaxDirection(grids, false);
    ForZebraLines(grids.Rows() - 2, units.fRow, progress, solved);
}



void CParallelKernels::Residual(const GridView& work, const LevelGrids& grids)
{
    const int nr = grids.Rows();
    const int nc = grids.Cols();
    std::fill_n(work.Row(0), nc, 0.0f);
    const auto residualRow =
        cpu::HasAvx2() ? lanes::ResidualRowContiguous : lanes::portable::ResidualRowContiguous;
    ForInteriorRows(*this, nr, [&](int r) {
        residualRow(grids.u.Row(r - 1), grids.u.Row(r), grids.u.Row(r + 1), grids.f.Row(r),
                    grids.bh.Row(r), grids.bv.Row(r - 1), grids.bv.Row(r), nc, work.Row(r));
    });
    std::fill_n(work.Row(nr - 1), nc, 0.0f);
}



void CParallelKernels::Restrict(const GridView& coarse, const GridView& fine)
{
    const int nr = coarse.nRows;
    std::fill_n(coarse.Row(0), coarse.nCols, 0.0f);
    ForInteriorRows(*this, nr, [&](int i) { RestrictGridRow(coarse, fine, i); });
    std::fill_n(coarse.Row(nr - 1), coarse.nCols, 0.0f);
}



void CParallelKernels::Prolong(const GridView& fine, const GridView& coarse)
{
    ForRows(fine.nRows, kMinRowsPerPart, [&](int nBegin, int nEnd) {
        for (int r = nBegin; r < nEnd; ++r)
            ProlongGridRow(fine, coarse, r);
    });
}



void CParallelKernels::AddCorrection(const GridView& fineU, const GridView& coarseU,
                                     const GridView& work)
{
    const GridView w = work.Corner(fineU.nRows, fineU.nCols);
    ForRows(fineU.nRows, kMinRowsPerPart, [&](int nBegin, int nEnd) {
        for (int r = nBegin; r < nEnd; ++r)
            AddCorrectionRow(fineU, coarseU, w, r);
    });
}



void CParallelKernels::CopyGrid(const GridView& destination, const GridView& source)
{
    ForRows(destination.nRows, kMinRowsPerPart, [&](int nBegin, int nEnd) {
        for (int r = nBegin; r < nEnd; ++r)
            std::copy_n(source.Row(r), destination.nCols, destination.Row(r));
    });
}



void CParallelKernels::ZeroGrid(const GridView& grid)
{
    ForRows(grid.nRows, kMinRowsPerPart, [&](int nBegin, int nEnd) {
        for (int r = nBegin; r < nEnd; ++r)
            std::fill_n(grid.Row(r), grid.nCols, 0.0f);
    });
}

} // namespace gw
