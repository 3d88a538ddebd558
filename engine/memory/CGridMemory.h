// CGridMemory.h - the grid pyramid of one illumination engine.
//
// The solver works on a pyramid of levels numbered 1 (coarsest) to Levels()
// (finest). Each level holds four grids: the horizontal coupling grid Bh, the
// vertical coupling grid Bv (stored transposed: columns x rows, so the couplings
// along one image column are contiguous), the right-hand side f and the
// solution u. Besides them there is one work grid of the finest extents and four
// line vectors of MaxDim() floats for the line solves.
//
// Addressing: element (row, column) from 0. The finest level has nRows + 2 rows
// and nCols + 2 columns; image pixel (r, c) sits at (r + 1, c + 1) and the outer
// ring of elements is a border. Each coarser level has e / 2 + 1 points per
// extent e (integer division), rows and columns independently, down to the level
// whose smaller extent is 3.
//
// Strategies: the grids live either as in-RAM matrices ("2D memory") or, when
// they do not fit the memory budget or an allocation fails, as paged grids in
// temporary files ("MM memory"), each holding four rows in memory. Every stage
// has one path per strategy; CGridRows lets the row-wise stages serve both.
//
// All byte counts and budgets are 64-bit: the pyramid of a large image exceeds
// 4 GB, which a 32-bit count would silently wrap.
//
// Threads: one engine, one thread at a time; no locks.
#pragma once

#include "CPagedGrid.h"
#include "Matrix.h"

#include <array>
#include <cstdint>
#include <memory>

/// Row access to one grid of either strategy. A paged row pointer stays valid
/// until four other rows of the same grid have been fetched (see CPagedGrid).
/// A paged grid's rows can also be held: a block of consecutive rows copied out
/// of the grid (RowBlocks.h), whose rows Row then returns without touching the
/// grid, so that several threads may work on them at once.
class CGridRows
{
public:
    CGridRows(CMatrix& matrix) noexcept : m_pMatrix(&matrix) {} // NOLINT: implicit on purpose
    explicit CGridRows(CPagedGrid& paged) noexcept : m_pPaged(&paged) {}

    /// Row r; throws CPagedGridError when a paged row cannot be read or written back.
    float* Row(int r) const
    {
        if (m_pMatrix != nullptr)
            return m_pMatrix->Row(r);
        if (r >= m_nHeldFirst && r < m_nHeldEnd)
            return m_pHeld + static_cast<std::ptrdiff_t>(r - m_nHeldFirst) * m_pPaged->Columns();
        return m_pPaged->GetRow(r);
    }
    int Rows() const noexcept
    {
        return m_pMatrix != nullptr ? m_pMatrix->Rows() : m_pPaged->Rows();
    }
    int Cols() const noexcept
    {
        return m_pMatrix != nullptr ? m_pMatrix->Cols() : m_pPaged->Columns();
    }

    /// The paged grid, or null for a grid in RAM.
    CPagedGrid* Paged() const noexcept { return m_pPaged; }

    /// Paged grids: rows nFirst..nEnd-1 are pBlock's, Cols() floats each, until the next Hold;
    /// Hold(nullptr, 0, 0) ends it.
    void Hold(float* pBlock, int nFirst, int nEnd) noexcept
    {
        m_pHeld = pBlock;
        m_nHeldFirst = nFirst;
        m_nHeldEnd = nEnd;
    }

private:
    CMatrix* m_pMatrix = nullptr;
    CPagedGrid* m_pPaged = nullptr;
    float* m_pHeld = nullptr;
    int m_nHeldFirst = 0;
    int m_nHeldEnd = 0;
};

class CGridMemory
{
public:
    /// Number of line vectors: diagonal, right side, solution, elimination factors.
    static constexpr int kLineVectors = 4;
    static constexpr int kLineDiagonal = 0;
    static constexpr int kLineRightSide = 1;
    static constexpr int kLineSolution = 2;
    static constexpr int kLineFactors = 3;

    /// Budgets for the reserve policies 0 (no limit, no fallback) and -2 (no
    /// practical limit, but fall back when an allocation fails).
    static constexpr std::uint64_t kBudgetUnlimited = UINT64_MAX;
    static constexpr std::uint64_t kBudgetUnlimitedWithFallback = UINT64_MAX - 1;

    /// No levels, no grids.
    CGridMemory() noexcept;
    /// Releases whatever the grids hold.
    ~CGridMemory();

    CGridMemory(const CGridMemory&) = delete;
    CGridMemory& operator=(const CGridMemory&) = delete;

    /// Sizes the pyramid for an image of nRows x nCols pixels and allocates all
    /// grids. nReserve is the memory policy: 0 allocates in RAM without a limit;
    /// -1 pages at once; -2 allocates in RAM with fallback to paging; any other
    /// value keeps that many bytes of the available physical memory free and
    /// pages when the grids do not fit in the rest. A failed in-RAM allocation
    /// falls back to paging under every policy (also 0: an engine without grids
    /// could not run at all). Returns false (and changes nothing) when grids are
    /// already allocated or a size is not positive. Throws std::bad_alloc, or
    /// CPagedGridError when a temporary file cannot be made; leaves no levels
    /// behind when it throws.
    bool AllocateGrids(int nRows, int nCols, int nReserve);

    /// Frees every grid and line vector of either strategy (closing, and so
    /// deleting, the temporary files) and lowers the byte count accordingly.
    /// The level tables stay, so the level size query keeps answering.
    void ReleaseGrids() noexcept;

    /// Makes the pages of the in-RAM grids now (see gw::platform::MakePages),
    /// leaving what they hold as it is, so that a first run, or a thread that
    /// makes them while the image is still being read, takes that cost off the
    /// run. bFastMode: only the grids a fast run touches, which solves up to the
    /// next-coarser level and prolongs from there into the finest right-hand
    /// side, so the finest level's couplings and solution stay unmade. Paged
    /// grids, or none: nothing.
    void MakePages(bool bFastMode) noexcept;

    /// True when the grids are in-RAM matrices ("2D memory").
    bool IsInRam() const noexcept { return m_bInRam; }

    /// Number of levels; 0 before allocation.
    int Levels() const noexcept { return m_nLevels; }

    /// True when the levels are sized and every grid and line vector exists.
    bool HasGrids() const noexcept;

    /// Rows and columns of level nLevel, border included; nLevel 0 means the
    /// finest level. Returns false (leaving the outputs alone) when no levels
    /// exist or nLevel is outside 0..Levels().
    bool GetLevelSize(int nLevel, int& nRows, int& nCols) const noexcept;

    /// Rows (columns) of level nLevel in 1..Levels(), border included.
    int LevelRows(int nLevel) const noexcept { return m_pnLevelRows[nLevel]; }
    int LevelCols(int nLevel) const noexcept { return m_pnLevelCols[nLevel]; }

    /// The larger extent of the finest level: the length of each line vector.
    int MaxDim() const noexcept { return m_nMaxDim; }

    /// Bytes the grids hold: rows x columns x 4 per matrix (row tables not
    /// counted), 16 x columns + 12 x rows per paged grid, MaxDim() x 4 per line
    /// vector.
    std::uint64_t BytesHeld() const noexcept { return m_nBytesHeld; }

    /// The grids of level nLevel in 1..Levels(), in-RAM strategy. The vertical
    /// coupling grid has the transposed shape LevelCols x LevelRows.
    CMatrix& HorizontalCoupling(int nLevel) noexcept { return *m_horizontal[nLevel]; }
    CMatrix& VerticalCoupling(int nLevel) noexcept { return *m_vertical[nLevel]; }
    CMatrix& RightHandSide(int nLevel) noexcept { return *m_rightHandSide[nLevel]; }
    CMatrix& Solution(int nLevel) noexcept { return *m_solution[nLevel]; }
    const CMatrix& HorizontalCoupling(int nLevel) const noexcept { return *m_horizontal[nLevel]; }
    const CMatrix& VerticalCoupling(int nLevel) const noexcept { return *m_vertical[nLevel]; }
    const CMatrix& RightHandSide(int nLevel) const noexcept { return *m_rightHandSide[nLevel]; }
    const CMatrix& Solution(int nLevel) const noexcept { return *m_solution[nLevel]; }

    /// The work grid (finest extents).
    CMatrix& Work() noexcept { return *m_work; }
    const CMatrix& Work() const noexcept { return *m_work; }

    /// The finest right-hand-side grid, which holds the illumination estimate
    /// once the solver has run.
    CMatrix& Illumination() noexcept { return *m_rightHandSide[m_nLevels]; }

    /// The grids of level nLevel in 1..Levels(), paged strategy; same shapes.
    CPagedGrid& PagedHorizontalCoupling(int nLevel) noexcept { return m_pagedHorizontal[nLevel]; }
    CPagedGrid& PagedVerticalCoupling(int nLevel) noexcept { return m_pagedVertical[nLevel]; }
    CPagedGrid& PagedRightHandSide(int nLevel) noexcept { return m_pagedRightHandSide[nLevel]; }
    CPagedGrid& PagedSolution(int nLevel) noexcept { return m_pagedSolution[nLevel]; }
    CPagedGrid& PagedWork() noexcept { return m_pagedWork; }

    /// Rows of the work grid and of the illumination grid, whichever strategy
    /// is in force (grids must exist).
    CGridRows WorkRows() noexcept { return m_bInRam ? CGridRows(*m_work) : CGridRows(m_pagedWork); }
    CGridRows IlluminationRows() noexcept
    {
        return m_bInRam ? CGridRows(*m_rightHandSide[m_nLevels])
                        : CGridRows(m_pagedRightHandSide[m_nLevels]);
    }

    /// Line vector nIndex (0..kLineVectors-1), MaxDim() floats.
    float* LineVector(int nIndex) noexcept { return m_lineVectors[nIndex].get(); }

    /// Number of levels for an image of nRows x nCols pixels: 1 plus the number
    /// of halvings (e / 2 + 1) that bring min(nRows, nCols) + 2 down to 3.
    /// Sizes below 1 give 0.
    static int CountLevels(int nRows, int nCols) noexcept;

    /// The byte budget of a reserve policy given the available physical memory
    /// (see AllocateGrids).
    static std::uint64_t BudgetFor(int nReserve, std::uint64_t nAvailable) noexcept;

private:
    using MatrixTable = std::unique_ptr<MatrixPtr[]>;

    /// Allocates one matrix into pEntry, counts it and checks the budget; false when
    /// the allocation failed or the budget is exceeded.
    bool AddMatrix(MatrixPtr& pEntry, int nRows, int nCols, std::uint64_t nBudget);
    bool AllocateInRam(std::uint64_t nBudget);
    bool AllocateLineVectors(std::uint64_t nBudget);
    void AllocatePaged();
    bool HasPagedGrids() const noexcept;

    // In-RAM strategy: per grid a table of Levels() + 1 matrices indexed by
    // level (entry 0 unused), the work grid and the line vectors.
    MatrixTable m_horizontal;
    MatrixTable m_vertical;
    MatrixTable m_rightHandSide;
    MatrixTable m_solution;
    MatrixPtr m_work;
    // Paged strategy: the same tables of paged grids and the work grid.
    using PagedTable = std::unique_ptr<CPagedGrid[]>;
    PagedTable m_pagedHorizontal;
    PagedTable m_pagedVertical;
    PagedTable m_pagedRightHandSide;
    PagedTable m_pagedSolution;
    CPagedGrid m_pagedWork;
    // Line vectors of whichever strategy is in force.
    std::array<std::unique_ptr<float[]>, kLineVectors> m_lineVectors;

    std::uint64_t m_nBytesHeld = 0;
    bool m_bInRam = false;
    int m_nLevels = 0;
    int m_nMaxDim = 0;
    // Extents per level, border included (Levels() + 1 entries, entry 0 unused).
    std::unique_ptr<int[]> m_pnLevelRows;
    std::unique_ptr<int[]> m_pnLevelCols;
};
