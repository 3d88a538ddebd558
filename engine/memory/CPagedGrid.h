// CPagedGrid.h - a float grid kept in a temporary file with four rows in memory.
//
// When the grid pyramid of an engine does not fit in memory, each grid lives in an
// anonymous temporary file (a raw row-major array of rows x columns native-endian
// 32-bit floats, no header) and only four of its rows are held in memory at a time.
// Rows are reached one at a time through GetRow; the column line solves of the
// solver gather whole columns into one of two column buffers with ReadColumn.
//
// Memory held per grid: four row buffers and two column buffers plus the row table,
// reported as 16 x columns + 12 x rows bytes whatever the grid's size. Besides these the
// grid keeps a run buffer: copies of up to 256 KB of consecutive rows as the file holds
// them (always at least one row), so that a sweep down the rows reads the file in runs
// rather than row by row, an unchanged row goes back without a write, and a wide column
// gather reads whole runs. It is a cache of the file only: resident rows always win over
// it, and every write to the file updates it.
//
// Errors: a temporary file that cannot be created, and any failed seek, read or write,
// throw CPagedGridError with a readable text. The grid's contents are never silently
// lost: a failed write-back leaves the row resident, so the grid is unchanged.
//
// Threads: a grid belongs to the one thread that runs its engine. Even reads change
// its state (the row cache, the run buffer); there are no locks. The bulk transfers that
// take a RowRangeRunner are the exception: the runner may move their rows on several
// threads at once, each with positioned transfers of its own, while the calling thread
// waits for them.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

/// Failure of a paged grid's temporary file (cannot be created, read or written).
/// The text says what failed and why, and is meant for the engine's error report.
class CPagedGridError : public std::runtime_error
{
public:
    explicit CPagedGridError(const std::string& text) : std::runtime_error(text) {}
};

class CPagedGrid
{
public:
    /// Number of rows the cache holds.
    static constexpr int kSlots = 4;

    /// An empty grid; with both sizes at least 1 the grid is initialised at once
    /// (see Init, which may throw).
    CPagedGrid() noexcept = default;
    CPagedGrid(int nRows, int nColumns);
    ~CPagedGrid();

    CPagedGrid(const CPagedGrid&) = delete;
    CPagedGrid& operator=(const CPagedGrid&) = delete;
    CPagedGrid(CPagedGrid&&) = delete;
    CPagedGrid& operator=(CPagedGrid&&) = delete;

    /// Releases the grid if it is initialised; then, when both sizes are at least 1,
    /// allocates the row table, the four row buffers and the two column buffers and
    /// opens a new temporary file. Every element reads as 0 until it is written.
    /// Throws std::bad_alloc, or CPagedGridError when no temporary file can be made;
    /// the grid is empty after a failure.
    void Init(int nRows, int nColumns);

    /// Init only when the grid is empty; returns false (and changes nothing) when it
    /// already has rows.
    bool InitIfEmpty(int nRows, int nColumns);

    /// Frees the buffers and closes (and so deletes) the temporary file; the grid is
    /// empty afterwards. Unsaved rows are dropped.
    void Release() noexcept;

    bool IsEmpty() const noexcept { return m_nRows == 0; }
    int Rows() const noexcept { return m_nRows; }
    int Columns() const noexcept { return m_nColumns; }

    /// Bytes the grid holds in memory by the engine's accounting rule:
    /// 16 x columns (row buffers) + 12 x rows (row table, column buffers); 0 when empty.
    std::uint64_t BytesHeld() const noexcept;

    /// The rows in the four cache slots, oldest first; -1 marks an empty slot.
    const std::array<int, kSlots>& SlotRows() const noexcept { return m_anSlotRow; }

    /// True when row r is in memory (then GetRow(r) touches no file and keeps the order).
    bool IsResident(int r) const noexcept;

    /// Makes row r (0..Rows()-1) resident and returns its Columns() floats for reading
    /// and writing. Rows are replaced first in, first out: the pointer stays valid until
    /// four other rows of this grid have been loaded after it; touching a resident row
    /// does not renew it. Loading a fifth row writes the oldest back to the file.
    /// Throws CPagedGridError on a failed write-back or read (the grid is then
    /// unchanged) and on a row number outside the grid.
    float* GetRow(int r);

    /// Gathers column c (0..Columns()-1) into the first free column buffer and returns
    /// it (Rows() floats; resident rows give their current, unsaved values), or null
    /// when both column buffers are handed out. The buffer is a copy: writing to it
    /// changes nothing in the grid. Give it back with ReturnColumn. Does not change the
    /// row cache. Throws CPagedGridError on a failed read (no buffer is handed out then).
    float* ReadColumn(int c);

    /// Gives back a column buffer: when *ppColumn is one of this grid's two column
    /// buffers it becomes free and *ppColumn becomes null; any other pointer (null, or
    /// another grid's buffer) leaves everything unchanged.
    void ReturnColumn(float** ppColumn) noexcept;

    /// Sets every element to fValue, row by row through the cache (all rows but the
    /// last four end up in the file). Throws like GetRow.
    void Fill(float fValue);

    /// Copies nCount consecutive columns from nFirst on into pBlock in one pass over the
    /// file: element (r, nFirst + j) lands at pBlock[r x nCount + j] and has the value
    /// ReadColumn(nFirst + j) would give for row r. Rows are read in runs of whole rows
    /// when the columns cover a good part of a row, else as one read of nCount floats
    /// per row. Does not change the row cache or the column buffers (the run buffer may
    /// move). The caller owns pBlock (at least
    /// nCount x Rows() floats). Throws CPagedGridError on a failed read or on columns
    /// outside the grid.
    ///
    /// This is the batched form of ReadColumn for the column pass of the line
    /// relaxation: within one colour of the zebra order the lines are independent (a
    /// column line reads only the other colour's columns of the solution), so a batch
    /// of same-colour lines can take its neighbour columns from one gather and write its
    /// results back in one row sweep with the same arithmetic in the same order.
    /// ReadColumn stays the reference that this path is checked against.
    void GatherColumns(int nFirst, int nCount, float* pBlock);

    /// Shares out work over the rows of a grid: calls fn for disjoint ranges [nBegin, nEnd)
    /// that together cover 0..nRows-1, possibly on several threads at once, and returns when
    /// all are done, rethrowing a failure of any.
    using RowRangeRunner =
        std::function<void(int nRows, const std::function<void(int nBegin, int nEnd)>& fn)>;

    /// GatherColumns with the rows shared out by run, each range with positioned reads of its
    /// own: of whole rows, a run at a time, when the columns cover a good part of a row, else
    /// of each row's nCount floats straight into pBlock. Changes nothing in the grid (not even
    /// the run buffer), so the ranges can be read at the same time.
    void GatherColumns(int nFirst, int nCount, float* pBlock, const RowRangeRunner& run);

    /// The columns nFirst..nFirst+nCount-1 of rows nRowBegin..nRowEnd-1 into pOut: element
    /// (r, nFirst + j) lands at pOut[(r - nRowBegin) x nStride + j], as GetRow would show it,
    /// read as a range of GatherColumns is. Changes nothing in the grid.
    void ReadColumns(int nFirst, int nCount, float* pOut, std::size_t nStride, int nRowBegin,
                     int nRowEnd) const;

    /// The reverse of a gather for rows nRowBegin..nRowEnd-1: element (r, nFirst + j) takes
    /// the value pBlock[(r - nRowBegin) x nStride + j]. A resident row gets the values in its
    /// buffer; the other rows get them in the file (a row never written before reads as 0
    /// elsewhere). When the columns cover a good part of a row, the rows go through the run
    /// buffer and back with one write per run, on the calling thread; else each row's span is
    /// written with one positioned write, the rows shared out by run. The row cache does not
    /// change. Throws CPagedGridError on a failed write; some rows may then hold the new
    /// values and others the old ones.
    void ScatterColumns(int nFirst, int nCount, const float* pBlock, std::size_t nStride,
                        int nRowBegin, int nRowEnd, const RowRangeRunner& run);

    /// Copies rows nFirst..nFirst+nCount-1 into pOut (nCount x Columns() floats, row after
    /// row) with the values GetRow would show, reading each run of consecutive rows that are
    /// not resident with one positioned read. Does not change the row cache.
    void ReadRows(int nFirst, int nCount, float* pOut);

    /// Gives rows nFirst..nFirst+nCount-1 the values in pIn (row after row): resident rows in
    /// their buffers, each run of other rows in the file with one positioned write. Does not
    /// change the row cache. Throws CPagedGridError on a failed write; the rows of that write
    /// may then hold new or old values, earlier rows hold the new ones, later rows the old.
    void WriteRows(int nFirst, int nCount, const float* pIn);

    /// Gives row r the Columns() floats of pRow: in its buffer when it is resident, else in the
    /// file with one positioned write. Does not change the row cache. Throws CPagedGridError on
    /// a failed write (the row keeps its old values then).
    void PutRow(int r, const float* pRow);

private:
    struct FileCloser
    {
        void operator()(std::FILE* pFile) const noexcept { std::fclose(pFile); }
    };

    void WriteRow(int r, const float* pRow);
    void LoadRow(int r, float* pRow);
    void Gather(int nFirst, int nCount, float* pOut, std::size_t nStride);
    void GatherRange(int nFirst, int nCount, float* pBlock, std::size_t nStride, int nRowBegin,
                     int nRowEnd) const;
    void CheckRowRange(int nBegin, int nEnd, const char* pWhat) const;
    void ScatterRange(int nFirst, int nCount, const float* pBlock, std::size_t nStride,
                      int nRowBegin, int nRowEnd);
    void ScatterThroughRuns(int nFirst, int nCount, const float* pBlock, std::size_t nStride,
                            int nRowBegin, int nRowEnd);
    bool WholeRowsPay(int nCount) const noexcept;
    // nCount floats to element (r, c) on; false (errno telling why) when the write failed.
    bool WriteFloats(int r, int c, const float* pIn, std::size_t nCount) const noexcept;
    // nSpan floats of row r from column nFirst on when the row is resident (its current values)
    // or was never written (zeros); false when they must come from the file.
    bool CopyKnownSpan(int r, int nFirst, std::size_t nSpan, float* pOut) const;
    // nCount floats from element (r, c) on; what lies beyond the file's end reads as 0.
    void ReadFloats(int r, int c, std::size_t nCount, float* pOut) const;
    bool InRun(int r) const noexcept { return r >= m_nRunFirst && r < m_nRunFirst + m_nRunCount; }
    float* RunRow(int r) const noexcept;
    void LoadRun(int nFirst);
    std::uint64_t ElementOffset(int r, int c) const noexcept;
    void CheckRow(int r, const char* pWhat) const;
    void CheckColumns(int nFirst, int nCount, const char* pWhat) const;

    std::unique_ptr<std::FILE, FileCloser> m_pFile;
    int m_nRows = 0;
    int m_nColumns = 0;
    std::array<int, kSlots> m_anSlotRow{-1, -1, -1, -1};        // oldest first
    std::array<std::unique_ptr<float[]>, kSlots> m_apRowBuffer; // owns the slots' storage
    std::array<float*, kSlots> m_apSlotBuffer{}; // buffer of each slot, moves with its row
    std::unique_ptr<float*[]> m_ppRowTable;      // resident row -> buffer
    std::array<bool, 2> m_abColumnFree{true, true};
    std::array<std::unique_ptr<float[]>, 2> m_apColumnBuffer;
    // Rows at or beyond this number have never been written to the file and read as 0.
    int m_nRowsInFile = 0;
    // The run buffer: rows m_nRunFirst .. m_nRunFirst + m_nRunCount - 1 exactly as the file
    // holds them (zeros beyond m_nRowsInFile); m_nRunCount is 0 while it holds nothing.
    std::unique_ptr<float[]> m_pRun;
    int m_nRunCapacity = 0;
    int m_nRunFirst = 0;
    int m_nRunCount = 0;
};
