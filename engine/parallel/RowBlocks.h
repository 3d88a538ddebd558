// RowBlocks.h - the row-wise stages' passes over grids of either strategy.
//
// The stages' parallel passes compute many rows at once on the worker threads, which a
// paged grid's row cache cannot serve (it holds four rows and belongs to one thread). A pass
// over paged grids therefore goes block by block: each grid's rows of the block are read in
// one transfer and held (CGridRows::Hold), the pass computes them, and the grids it changes
// get them back in one transfer. In RAM the whole range is one block. Each row is computed
// as alone either way, so the blocks change no result.
#pragma once

#include "memory/CGridMemory.h"

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <memory>

namespace gw {

/// How a pass uses a grid: only reads it, changes some of its rows' elements, or sets every
/// element of its rows (which are then not read first).
enum class RowUse
{
    Read,
    Change,
    Replace,
};

struct RowPassGrid
{
    CGridRows* pRows;
    RowUse use;
};

/// The memory of the held blocks, kept from pass to pass (an engine owns one), and how large
/// a block is.
class CRowBlockMemory
{
public:
    /// Room for nFloats floats, contents undefined. Throws std::bad_alloc.
    float* Get(std::size_t nFloats)
    {
        if (m_nFloats < nFloats) {
            m_pBlock.reset();
            m_nFloats = 0;
            m_pBlock = std::make_unique_for_overwrite<float[]>(nFloats);
            m_nFloats = nFloats;
        }
        return m_pBlock.get();
    }

    /// Bytes of one grid's rows in a block (default 1 MB, at least one row): large transfers
    /// beside the cost of a system call. Smaller blocks only change how often the grids are
    /// reached, never a result. Set it while no pass runs.
    std::size_t BlockBytes() const noexcept { return m_nBlockBytes; }
    void SetBlockBytes(std::size_t nBytes) noexcept { m_nBlockBytes = nBytes; }

private:
    std::unique_ptr<float[]> m_pBlock;
    std::size_t m_nFloats = 0;
    std::size_t m_nBlockBytes = std::size_t{1} << 20;
};

/// Runs pass(nBegin, nEnd) over the rows nFirst..nEnd-1 of grids that all have those rows:
/// once for the whole range when no grid is paged, else block by block with every paged
/// grid's rows of the block held. pass answers false to stop; the rows of the block it
/// computed still go back. Answers false when a pass stopped. Throws CPagedGridError when a
/// transfer fails, and std::bad_alloc.
template <class Pass>
bool ForGridBlocks(std::initializer_list<RowPassGrid> grids, int nFirst, int nEnd,
                   CRowBlockMemory& memory, Pass&& pass)
{
    std::size_t nRowFloats = 0;
    std::size_t nPaged = 0;
    for (const RowPassGrid& grid : grids) {
        if (grid.pRows->Paged() != nullptr) {
            nRowFloats = std::max(nRowFloats, static_cast<std::size_t>(grid.pRows->Cols()));
            ++nPaged;
        }
    }
    if (nPaged == 0 || nFirst >= nEnd)
        return nFirst >= nEnd || pass(nFirst, nEnd);

    const int nBlockRows =
        static_cast<int>(std::clamp<std::size_t>(memory.BlockBytes() / (nRowFloats * sizeof(float)),
                                                 1, static_cast<std::size_t>(nEnd - nFirst)));
    const std::size_t nBlockFloats = static_cast<std::size_t>(nBlockRows) * nRowFloats;
    float* const pMemory = memory.Get(nPaged * nBlockFloats);

    // No grid stays held past the pass, whatever happens in it.
    struct Release
    {
        std::initializer_list<RowPassGrid> grids;
        ~Release()
        {
            for (const RowPassGrid& grid : grids)
                grid.pRows->Hold(nullptr, 0, 0);
        }
    } const release{grids};

    // fn(grid, its paged grid, its block) for every paged grid, in order.
    const auto ForPaged = [&](auto&& fn) {
        float* pBlock = pMemory;
        for (const RowPassGrid& grid : grids) {
            if (CPagedGrid* pPaged = grid.pRows->Paged()) {
                fn(grid, *pPaged, pBlock);
                pBlock += nBlockFloats;
            }
        }
    };
    for (int r0 = nFirst; r0 < nEnd; r0 += nBlockRows) {
        const int nRows = std::min(nBlockRows, nEnd - r0);
        ForPaged([&](const RowPassGrid& grid, CPagedGrid& paged, float* pBlock) {
            if (grid.use != RowUse::Replace)
                paged.ReadRows(r0, nRows, pBlock);
            grid.pRows->Hold(pBlock, r0, r0 + nRows);
        });
        const bool bGoOn = pass(r0, r0 + nRows);
        ForPaged([&](const RowPassGrid& grid, CPagedGrid& paged, float* pBlock) {
            grid.pRows->Hold(nullptr, 0, 0);
            if (grid.use != RowUse::Read)
                paged.WriteRows(r0, nRows, pBlock);
        });
        if (!bGoOn)
            return false;
    }
    return true;
}

} // namespace gw
