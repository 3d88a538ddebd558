// StageRows.h - how the stages spread a row kernel over the engine's worker threads.
//
// A stage is written once, as a kernel over a range of rows (or of pixels); these helpers
// decide how the range is split among the threads of a pool and when progress is reported.
// Without a pool (the reference path), or with a range too small to share, they are the
// plain row loop. The split depends only on the range and the thread count, and per-part
// results are combined by the caller in part order, so a pass gives the bits of one pass in
// order whatever the thread count.
#pragma once

#include "parallel/RowBlocks.h"
#include "parallel/WorkerPool.h"

#include <initializer_list>

namespace gw {

/// Runs fn(nPart, nBegin, nEnd) over parts of [0, nCount) on pPool, sharing only when each
/// part gets at least nMinPerPart items; without a pool one call covers the whole range.
/// nPart is below CWorkerPool::kMaxThreads, so per-part results fit a fixed table that the
/// caller combines in part order (PartsOf gives the number of parts). Rethrows what a part
/// threw (the lowest such part).
template <class F>
void ForParts(CWorkerPool* pPool, int nCount, int nMinPerPart, F&& fn)
{
    if (pPool == nullptr) {
        fn(0, 0, nCount);
        return;
    }
    pPool->Run(nCount, pPool->PartsFor(nCount, nMinPerPart), fn);
}

/// How many parts ForParts makes of nCount items.
inline int PartsOf(const CWorkerPool* pPool, int nCount, int nMinPerPart) noexcept
{
    return pPool == nullptr ? 1 : pPool->PartsFor(nCount, nMinPerPart);
}

/// Rows [0, nCount) in blocks: nRowsPerThread rows per thread of the pool a block, or the
/// whole range as one block when nRowsPerThread is 0. Each block is split as ForParts splits
/// it, rowFn(nPart, nBegin, nEnd) runs on its parts, then afterBlock(nParts) (to combine the
/// per-part results in part order), then report() once per row in order. Returns false as
/// soon as report() answers true; the rows of later blocks are then untouched. Without a
/// pool, or when a block is too small to share, every row is its own block, as in a plain
/// row loop.
template <class RowFn, class AfterFn, class ReportFn>
bool ForRowBlocks(CWorkerPool* pPool, int nCount, int nRowsPerThread, int nMinPerPart,
                  RowFn&& rowFn, AfterFn&& afterBlock, ReportFn&& report)
{
    const int nBlock =
        pPool != nullptr && nRowsPerThread > 0 ? pPool->Threads() * nRowsPerThread : nCount;
    for (int nStart = 0; nStart < nCount; nStart += nBlock) {
        const int nRows = nCount - nStart < nBlock ? nCount - nStart : nBlock;
        const int nParts = PartsOf(pPool, nRows, nMinPerPart);
        if (nParts <= 1) {
            for (int r = nStart; r < nStart + nRows; ++r) {
                rowFn(0, r, r + 1);
                afterBlock(1);
                if (report())
                    return false;
            }
            continue;
        }
        pPool->Run(nRows, nParts, [&](int nPart, int nBegin, int nEnd) {
            rowFn(nPart, nStart + nBegin, nStart + nEnd);
        });
        afterBlock(nParts);
        for (int r = 0; r < nRows; ++r) {
            if (report())
                return false;
        }
    }
    return true;
}

/// How a pass over grid rows is split: ForRowBlocks's rows per thread of a block (0: one block)
/// and the fewest rows a part gets.
struct RowSplit
{
    int nRowsPerThread;
    int nMinPerPart;
};

/// ForRowBlocks over the grid rows 1..nRows of grids, fetched block by block as ForGridBlocks
/// fetches them (memory holds the blocks of paged grids): rowFn(nPart, rBegin, rEnd) gets grid
/// row numbers. Returns false when report() asked to stop. Throws what ForGridBlocks throws.
template <class RowFn, class AfterFn, class ReportFn>
bool ForGridRows(std::initializer_list<RowPassGrid> grids, int nRows, CRowBlockMemory& memory,
                 CWorkerPool* pPool, RowSplit split, RowFn&& rowFn, AfterFn&& afterBlock,
                 ReportFn&& report)
{
    return ForGridBlocks(grids, 1, nRows + 1, memory, [&](int nFirst, int nEnd) {
        return ForRowBlocks(
            pPool, nEnd - nFirst, split.nRowsPerThread, split.nMinPerPart,
            [&](int nPart, int nBegin, int nPartEnd) {
                rowFn(nPart, nFirst + nBegin, nFirst + nPartEnd);
            },
            afterBlock, report);
    });
}

/// Where running extremes of normalised values start: far outside any of them.
inline constexpr float kRunningMinStart = 1000000.0f;
inline constexpr float kRunningMaxStart = -1000000.0f;

/// Running extremes of a pass split into parts: each part keeps its own in Part(nPart),
/// started from the pass's start values; Combine folds the parts into the running pair in
/// part order with the comparisons of the row loop (< and >, or <= and >= when bOrEqual).
class CPartExtremes
{
public:
    struct Pair
    {
        float fMin;
        float fMax;
    };

    CPartExtremes(float fMinStart, float fMaxStart, bool bOrEqual) noexcept
        : m_start{fMinStart, fMaxStart}, m_running{fMinStart, fMaxStart}, m_bOrEqual(bOrEqual)
    {}

    /// The extremes of part nPart, reset to the start values.
    Pair& Part(int nPart) noexcept
    {
        m_parts[nPart] = m_start;
        return m_parts[nPart];
    }

    /// Folds parts 0..nParts-1 into the running extremes.
    void Combine(int nParts) noexcept
    {
        for (int nPart = 0; nPart < nParts; ++nPart) {
            const Pair& part = m_parts[nPart];
            if (m_bOrEqual ? part.fMin <= m_running.fMin : part.fMin < m_running.fMin)
                m_running.fMin = part.fMin;
            if (m_bOrEqual ? part.fMax >= m_running.fMax : part.fMax > m_running.fMax)
                m_running.fMax = part.fMax;
        }
    }

    float Min() const noexcept { return m_running.fMin; }
    float Max() const noexcept { return m_running.fMax; }

private:
    Pair m_start;
    Pair m_running;
    bool m_bOrEqual;
    Pair m_parts[CWorkerPool::kMaxThreads];
};

} // namespace gw
