// CPagedGrid.cpp - four-row FIFO cache over a raw temporary file.
#include "CPagedGrid.h"

#include "Platform.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr std::uint64_t kFloatBytes = sizeof(float);
static_assert(kFloatBytes == 4, "the grid file holds 32-bit floats");

// Bytes of consecutive rows the run buffer holds (at least one row): big enough that a
// system call is small beside the copying it does, small enough to stay in the cache.
constexpr std::size_t kRunBytes = std::size_t{256} << 10;

// A column gather or scatter moves whole rows through the run buffer when the row is short
// or the columns fill at least a quarter of it; narrower ones move their span row by row.
constexpr std::size_t kShortRowBytes = std::size_t{16} << 10;

std::string SystemReason()
{
    const int nError = errno;
    return nError != 0 ? std::string(": ") + std::strerror(nError) : std::string();
}

[[noreturn]] void ThrowFileError(const char* pWhat, std::uint64_t nOffset)
{
    const std::string reason = SystemReason();
    throw CPagedGridError(std::string("GW: cannot ") + pWhat
                          + " the engine's temporary file at byte " + std::to_string(nOffset)
                          + reason);
}

} // namespace

CPagedGrid::CPagedGrid(int nRows, int nColumns)
{
    Init(nRows, nColumns);
}

CPagedGrid::~CPagedGrid()
{
    Release();
}

void CPagedGrid::Init(int nRows, int nColumns)
{
    Release();
    if (nRows < 1 || nColumns < 1) {
        return;
    }

    // Everything is made first and committed at the end, so a failure leaves the grid empty.
    auto ppRowTable = std::make_unique<float*[]>(static_cast<std::size_t>(nRows));
    std::array<std::unique_ptr<float[]>, kSlots> apRowBuffer;
    for (auto& pBuffer : apRowBuffer) {
        pBuffer = std::make_unique<float[]>(static_cast<std::size_t>(nColumns));
    }
    std::array<std::unique_ptr<float[]>, 2> apColumnBuffer;
    for (auto& pBuffer : apColumnBuffer) {
        pBuffer = std::make_unique<float[]>(static_cast<std::size_t>(nRows));
    }
    const std::size_t nRowBytes = static_cast<std::size_t>(nColumns) * kFloatBytes;
    const int nRunCapacity = static_cast<int>(
        std::clamp<std::size_t>(kRunBytes / nRowBytes, 1, static_cast<std::size_t>(nRows)));
    auto pRun = std::make_unique_for_overwrite<float[]>(static_cast<std::size_t>(nRunCapacity)
                                                        * static_cast<std::size_t>(nColumns));

    std::string reason;
    std::unique_ptr<std::FILE, FileCloser> pFile(gw::platform::OpenTemporaryFile(reason));
    if (!pFile) {
        throw CPagedGridError("GW: cannot create the engine's temporary file: " + reason);
    }

    m_pFile = std::move(pFile);
    m_nRows = nRows;
    m_nColumns = nColumns;
    m_apRowBuffer = std::move(apRowBuffer);
    m_ppRowTable = std::move(ppRowTable);
    m_apColumnBuffer = std::move(apColumnBuffer);
    for (int i = 0; i < kSlots; ++i) {
        m_anSlotRow[i] = -1;
        m_apSlotBuffer[i] = m_apRowBuffer[i].get();
    }
    m_abColumnFree = {true, true};
    m_nRowsInFile = 0;
    m_pRun = std::move(pRun);
    m_nRunCapacity = nRunCapacity;
    m_nRunFirst = 0;
    m_nRunCount = 0;
}

bool CPagedGrid::InitIfEmpty(int nRows, int nColumns)
{
    if (!IsEmpty()) {
        return false;
    }
    Init(nRows, nColumns);
    return true;
}

void CPagedGrid::Release() noexcept
{
    m_pFile.reset();
    m_nRows = 0;
    m_nColumns = 0;
    m_anSlotRow = {-1, -1, -1, -1};
    m_apSlotBuffer = {};
    for (auto& pBuffer : m_apRowBuffer) {
        pBuffer.reset();
    }
    m_ppRowTable.reset();
    m_abColumnFree = {true, true};
    for (auto& pBuffer : m_apColumnBuffer) {
        pBuffer.reset();
    }
    m_nRowsInFile = 0;
    m_pRun.reset();
    m_nRunCapacity = 0;
    m_nRunFirst = 0;
    m_nRunCount = 0;
}

std::uint64_t CPagedGrid::BytesHeld() const noexcept
{
    if (IsEmpty()) {
        return 0;
    }
    return 16 * static_cast<std::uint64_t>(m_nColumns) + 12 * static_cast<std::uint64_t>(m_nRows);
}

bool CPagedGrid::IsResident(int r) const noexcept
{
    return r >= 0 && r < m_nRows && m_ppRowTable[r] != nullptr;
}

float* CPagedGrid::GetRow(int r)
{
    CheckRow(r, "GetRow");
    if (m_ppRowTable[r] != nullptr) {
        return m_ppRowTable[r];
    }

    const auto itEmpty = std::find(m_anSlotRow.begin(), m_anSlotRow.end(), -1);
    if (itEmpty == m_anSlotRow.end()) {
        // Evict the oldest row. It goes back to the file whether it changed or not; on a
        // failed write it stays resident and nothing is lost.
        const int nOldest = m_anSlotRow[0];
        float* pBuffer = m_apSlotBuffer[0];
        WriteRow(nOldest, pBuffer);
        m_ppRowTable[nOldest] = nullptr;
        std::rotate(m_anSlotRow.begin(), m_anSlotRow.begin() + 1, m_anSlotRow.end());
        std::rotate(m_apSlotBuffer.begin(), m_apSlotBuffer.begin() + 1, m_apSlotBuffer.end());
        m_anSlotRow[kSlots - 1] = -1; // empty until the load below succeeds
    }

    // Empty slots only ever sit at the end, so this is the newest position.
    const auto nSlot = static_cast<std::size_t>(
        std::find(m_anSlotRow.begin(), m_anSlotRow.end(), -1) - m_anSlotRow.begin());
    float* pBuffer = m_apSlotBuffer[nSlot];
    LoadRow(r, pBuffer);
    m_anSlotRow[nSlot] = r;
    m_ppRowTable[r] = pBuffer;
    return pBuffer;
}

float* CPagedGrid::ReadColumn(int c)
{
    CheckColumns(c, 1, "ReadColumn");
    const auto itFree = std::find(m_abColumnFree.begin(), m_abColumnFree.end(), true);
    if (itFree == m_abColumnFree.end()) {
        return nullptr;
    }
    float* pColumn =
        m_apColumnBuffer[static_cast<std::size_t>(itFree - m_abColumnFree.begin())].get();
    Gather(c, 1, pColumn, 1);
    *itFree = false;
    return pColumn;
}

void CPagedGrid::ReturnColumn(float** ppColumn) noexcept
{
    if (ppColumn == nullptr || *ppColumn == nullptr) {
        return;
    }
    for (std::size_t i = 0; i < m_apColumnBuffer.size(); ++i) {
        if (*ppColumn == m_apColumnBuffer[i].get()) {
            m_abColumnFree[i] = true;
            *ppColumn = nullptr;
            return;
        }
    }
}

void CPagedGrid::Fill(float fValue)
{
    for (int r = 0; r < m_nRows; ++r) {
        float* pRow = GetRow(r);
        std::fill(pRow, pRow + m_nColumns, fValue);
    }
}

void CPagedGrid::GatherColumns(int nFirst, int nCount, float* pBlock)
{
    CheckColumns(nFirst, nCount, "GatherColumns");
    Gather(nFirst, nCount, pBlock, static_cast<std::size_t>(nCount));
}

void CPagedGrid::GatherColumns(int nFirst, int nCount, float* pBlock, const RowRangeRunner& run)
{
    CheckColumns(nFirst, nCount, "GatherColumns");
    const auto nSpan = static_cast<std::size_t>(nCount);
    run(m_nRows, [&](int nBegin, int nEnd) {
        GatherRange(nFirst, nCount, pBlock + static_cast<std::size_t>(nBegin) * nSpan, nSpan,
                    nBegin, nEnd);
    });
}

void CPagedGrid::ReadColumns(int nFirst, int nCount, float* pOut, std::size_t nStride,
                             int nRowBegin, int nRowEnd) const
{
    CheckColumns(nFirst, nCount, "ReadColumns");
    CheckRowRange(nRowBegin, nRowEnd, "ReadColumns");
    GatherRange(nFirst, nCount, pOut, nStride, nRowBegin, nRowEnd);
}

void CPagedGrid::GatherRange(int nFirst, int nCount, float* pBlock, std::size_t nStride,
                             int nRowBegin, int nRowEnd) const
{
    // Only reads: the row table, the sizes and the file, at positions of its own.
    const auto nSpan = static_cast<std::size_t>(nCount);
    if (WholeRowsPay(nCount) && nRowEnd - nRowBegin > 1) {
        // Consecutive rows that only the file holds come in one read of whole rows each, into
        // a buffer of this range's own.
        const auto nColumns = static_cast<std::size_t>(m_nColumns);
        const int nCapacity = std::min(m_nRunCapacity, nRowEnd - nRowBegin);
        const auto pRows =
            std::make_unique_for_overwrite<float[]>(static_cast<std::size_t>(nCapacity) * nColumns);
        int r = nRowBegin;
        while (r < nRowEnd) {
            if (CopyKnownSpan(r, nFirst, nSpan,
                              pBlock + static_cast<std::size_t>(r - nRowBegin) * nStride)) {
                ++r;
                continue;
            }
            int nEnd = r + 1;
            while (nEnd < nRowEnd && nEnd - r < nCapacity && nEnd < m_nRowsInFile
                   && m_ppRowTable[nEnd] == nullptr)
            {
                ++nEnd;
            }
            ReadFloats(r, 0, static_cast<std::size_t>(nEnd - r) * nColumns, pRows.get());
            for (int k = r; k < nEnd; ++k) {
                std::copy_n(pRows.get() + static_cast<std::size_t>(k - r) * nColumns + nFirst,
                            nSpan, pBlock + static_cast<std::size_t>(k - nRowBegin) * nStride);
            }
            r = nEnd;
        }
        return;
    }
    for (int r = nRowBegin; r < nRowEnd; ++r) {
        float* pOut = pBlock + static_cast<std::size_t>(r - nRowBegin) * nStride;
        if (!CopyKnownSpan(r, nFirst, nSpan, pOut)) {
            ReadFloats(r, nFirst, nSpan, pOut);
        }
    }
}

void CPagedGrid::ScatterColumns(int nFirst, int nCount, const float* pBlock, std::size_t nStride,
                                int nRowBegin, int nRowEnd, const RowRangeRunner& run)
{
    CheckColumns(nFirst, nCount, "ScatterColumns");
    CheckRowRange(nRowBegin, nRowEnd, "ScatterColumns");
    if (WholeRowsPay(nCount)) {
        ScatterThroughRuns(nFirst, nCount, pBlock, nStride, nRowBegin, nRowEnd);
        return;
    }
    // Rows written to the file count as written from the start, failure or not: a row that
    // did not get its values reads as 0 beyond the old end and as before below it.
    int nTop = m_nRowsInFile;
    for (int r = nRowEnd - 1; r >= nRowBegin; --r) {
        if (m_ppRowTable[r] == nullptr) {
            nTop = std::max(nTop, r + 1);
            break;
        }
    }
    const int nOldRowsInFile = m_nRowsInFile;
    try {
        run(nRowEnd - nRowBegin, [&](int nBegin, int nEnd) {
            ScatterRange(nFirst, nCount, pBlock + static_cast<std::size_t>(nBegin) * nStride,
                         nStride, nRowBegin + nBegin, nRowBegin + nEnd);
        });
    } catch (...) {
        m_nRowsInFile = std::max(nOldRowsInFile, nTop);
        m_nRunCount = 0; // what reached the file is not known
        throw;
    }
    if (nTop > nOldRowsInFile && nFirst + nCount < m_nColumns) {
        // The file must reach the end of the last row it now holds, so that whole rows can be
        // read; that row is new, its columns past the span are 0.
        const float fZero = 0.0f;
        if (!WriteFloats(nTop - 1, m_nColumns - 1, &fZero, 1)) {
            m_nRowsInFile = std::max(nOldRowsInFile, nTop);
            ThrowFileError("write to", ElementOffset(nTop - 1, m_nColumns - 1));
        }
    }
    m_nRowsInFile = std::max(nOldRowsInFile, nTop);
}

void CPagedGrid::ScatterRange(int nFirst, int nCount, const float* pBlock, std::size_t nStride,
                              int nRowBegin, int nRowEnd)
{
    // Each row touches only its own buffer, run row and file bytes; m_nRowsInFile is left to
    // the caller, so that the zeros beyond it keep standing for rows not written yet.
    const auto nSpan = static_cast<std::size_t>(nCount);
    for (int r = nRowBegin; r < nRowEnd; ++r) {
        const float* pIn = pBlock + static_cast<std::size_t>(r - nRowBegin) * nStride;
        if (m_ppRowTable[r] != nullptr) {
            std::copy_n(pIn, nSpan, m_ppRowTable[r] + nFirst);
            continue;
        }
        if (!WriteFloats(r, nFirst, pIn, nSpan)) {
            ThrowFileError("write to", ElementOffset(r, nFirst));
        }
        if (InRun(r)) {
            std::copy_n(pIn, nSpan, RunRow(r) + nFirst);
        }
    }
}

void CPagedGrid::ScatterThroughRuns(int nFirst, int nCount, const float* pBlock,
                                    std::size_t nStride, int nRowBegin, int nRowEnd)
{
    // A write costs far more than the bytes it moves, so the rows that only the file holds
    // are read into the run buffer, take their span there and go back in one write per run.
    const auto nSpan = static_cast<std::size_t>(nCount);
    const auto Source = [&](int r) {
        return pBlock + static_cast<std::size_t>(r - nRowBegin) * nStride;
    };
    int r = nRowBegin;
    while (r < nRowEnd) {
        if (m_ppRowTable[r] != nullptr) {
            std::copy_n(Source(r), nSpan, m_ppRowTable[r] + nFirst);
            ++r;
            continue;
        }
        if (!InRun(r)) {
            LoadRun(std::min(r, m_nRows - m_nRunCapacity));
        }
        // Resident rows among these take the span in their buffer too; the file's copy of
        // them goes back with the new span, which changes nothing that GetRow shows.
        const int nEnd = std::min(nRowEnd, m_nRunFirst + m_nRunCount);
        for (int k = r; k < nEnd; ++k) {
            std::copy_n(Source(k), nSpan, RunRow(k) + nFirst);
            if (m_ppRowTable[k] != nullptr) {
                std::copy_n(Source(k), nSpan, m_ppRowTable[k] + nFirst);
            }
        }
        const std::size_t nFloats =
            static_cast<std::size_t>(nEnd - r) * static_cast<std::size_t>(m_nColumns);
        if (!WriteFloats(r, 0, RunRow(r), nFloats)) {
            m_nRunCount = 0; // what reached the file is not known
            m_nRowsInFile = std::max(m_nRowsInFile, nEnd);
            ThrowFileError("write to", ElementOffset(r, 0));
        }
        m_nRowsInFile = std::max(m_nRowsInFile, nEnd);
        r = nEnd;
    }
}

void CPagedGrid::ReadRows(int nFirst, int nCount, float* pOut)
{
    if (nCount < 1) {
        return;
    }
    CheckRow(nFirst, "ReadRows");
    CheckRow(nFirst + nCount - 1, "ReadRows");
    const auto nColumns = static_cast<std::size_t>(m_nColumns);
    int r = nFirst;
    while (r < nFirst + nCount) {
        float* pRow = pOut + static_cast<std::size_t>(r - nFirst) * nColumns;
        if (m_ppRowTable[r] != nullptr) {
            std::copy_n(m_ppRowTable[r], nColumns, pRow);
            ++r;
        } else if (r >= m_nRowsInFile) {
            std::fill_n(pRow, nColumns, 0.0f);
            ++r;
        } else if (InRun(r)) {
            std::copy_n(RunRow(r), nColumns, pRow);
            ++r;
        } else {
            // A run of rows that only the file holds, in one read.
            int nEnd = r + 1;
            while (nEnd < nFirst + nCount && nEnd < m_nRowsInFile && m_ppRowTable[nEnd] == nullptr
                   && !InRun(nEnd))
            {
                ++nEnd;
            }
            ReadFloats(r, 0, static_cast<std::size_t>(nEnd - r) * nColumns, pRow);
            r = nEnd;
        }
    }
}

void CPagedGrid::WriteRows(int nFirst, int nCount, const float* pIn)
{
    if (nCount < 1) {
        return;
    }
    CheckRowRange(nFirst, nFirst + nCount, "WriteRows");
    const auto nColumns = static_cast<std::size_t>(m_nColumns);
    int r = nFirst;
    while (r < nFirst + nCount) {
        const float* pRow = pIn + static_cast<std::size_t>(r - nFirst) * nColumns;
        if (m_ppRowTable[r] != nullptr) {
            std::copy_n(pRow, nColumns, m_ppRowTable[r]);
            ++r;
            continue;
        }
        // A run of rows that are not resident, in one write.
        int nEnd = r + 1;
        while (nEnd < nFirst + nCount && m_ppRowTable[nEnd] == nullptr) {
            ++nEnd;
        }
        if (!WriteFloats(r, 0, pRow, static_cast<std::size_t>(nEnd - r) * nColumns)) {
            // What reached the file is not known: the run buffer no longer tells.
            m_nRunCount = 0;
            m_nRowsInFile = std::max(m_nRowsInFile, nEnd);
            ThrowFileError("write to", ElementOffset(r, 0));
        }
        for (int k = std::max(r, m_nRunFirst); k < std::min(nEnd, m_nRunFirst + m_nRunCount); ++k) {
            std::copy_n(pIn + static_cast<std::size_t>(k - nFirst) * nColumns, nColumns, RunRow(k));
        }
        m_nRowsInFile = std::max(m_nRowsInFile, nEnd);
        r = nEnd;
    }
}

void CPagedGrid::PutRow(int r, const float* pRow)
{
    CheckRow(r, "PutRow");
    if (m_ppRowTable[r] != nullptr) {
        std::copy_n(pRow, m_nColumns, m_ppRowTable[r]);
        return;
    }
    WriteRow(r, pRow);
}

bool CPagedGrid::WholeRowsPay(int nCount) const noexcept
{
    const std::size_t nRowBytes = static_cast<std::size_t>(m_nColumns) * kFloatBytes;
    return nRowBytes <= kShortRowBytes
        || 4 * static_cast<std::size_t>(nCount) >= static_cast<std::size_t>(m_nColumns);
}

void CPagedGrid::Gather(int nFirst, int nCount, float* pOut, std::size_t nStride)
{
    const auto nSpan = static_cast<std::size_t>(nCount);
    const bool bWholeRows = WholeRowsPay(nCount);
    for (int r = 0; r < m_nRows; ++r, pOut += nStride) {
        if (CopyKnownSpan(r, nFirst, nSpan, pOut)) { // sees changes not yet written back
            continue;
        }
        if (bWholeRows && !InRun(r)) {
            LoadRun(std::min(r, m_nRows - m_nRunCapacity));
        }
        if (InRun(r)) {
            std::copy_n(RunRow(r) + nFirst, nSpan, pOut);
        } else {
            ReadFloats(r, nFirst, nSpan, pOut);
        }
    }
}

void CPagedGrid::WriteRow(int r, const float* pRow)
{
    const std::size_t nBytes = static_cast<std::size_t>(m_nColumns) * kFloatBytes;
    const bool bInRun = InRun(r);
    if (bInRun && std::memcmp(RunRow(r), pRow, nBytes) == 0) {
        return; // the file holds these very bits already
    }
    if (!WriteFloats(r, 0, pRow, static_cast<std::size_t>(m_nColumns))) {
        if (bInRun) {
            m_nRunCount = 0; // the row may be partly written
        }
        ThrowFileError("write to", ElementOffset(r, 0));
    }
    if (bInRun) {
        std::memcpy(RunRow(r), pRow, nBytes);
    }
    m_nRowsInFile = std::max(m_nRowsInFile, r + 1);
}

void CPagedGrid::LoadRow(int r, float* pRow)
{
    // A row that never reached the file reads as zeros (rows below the last one
    // written that were skipped read as zeros from the file itself).
    if (r >= m_nRowsInFile) {
        std::fill_n(pRow, m_nColumns, 0.0f);
        return;
    }
    if (!InRun(r)) {
        // The run keeps the rows the cache holds now (so they can go back without a write
        // if unchanged) and reaches ahead in the direction the rows are moving.
        const bool bUpwards = m_nRunCount > 0 && r < m_nRunFirst;
        const int nBehind = m_nRunCapacity > 2 * kSlots ? kSlots : 0;
        const int nFirst = bUpwards ? r + 1 + nBehind - m_nRunCapacity : r - nBehind;
        LoadRun(std::clamp(nFirst, 0, m_nRows - m_nRunCapacity));
    }
    std::copy_n(RunRow(r), m_nColumns, pRow);
}

float* CPagedGrid::RunRow(int r) const noexcept
{
    return m_pRun.get()
         + static_cast<std::size_t>(r - m_nRunFirst) * static_cast<std::size_t>(m_nColumns);
}

void CPagedGrid::LoadRun(int nFirst)
{
    m_nRunCount = 0; // holds nothing until the read succeeds
    const int nCount = std::min(m_nRunCapacity, m_nRows - nFirst);
    const int nFromFile = std::clamp(m_nRowsInFile - nFirst, 0, nCount);
    const auto nColumns = static_cast<std::size_t>(m_nColumns);
    if (nFromFile > 0) {
        ReadFloats(nFirst, 0, static_cast<std::size_t>(nFromFile) * nColumns, m_pRun.get());
    }
    std::fill(m_pRun.get() + static_cast<std::size_t>(nFromFile) * nColumns,
              m_pRun.get() + static_cast<std::size_t>(nCount) * nColumns, 0.0f);
    m_nRunFirst = nFirst;
    m_nRunCount = nCount;
}

bool CPagedGrid::WriteFloats(int r, int c, const float* pIn, std::size_t nCount) const noexcept
{
    errno = 0;
    return gw::platform::WriteFileAt(m_pFile.get(), ElementOffset(r, c), pIn, nCount * kFloatBytes);
}

bool CPagedGrid::CopyKnownSpan(int r, int nFirst, std::size_t nSpan, float* pOut) const
{
    if (m_ppRowTable[r] != nullptr) {
        std::copy_n(m_ppRowTable[r] + nFirst, nSpan, pOut);
        return true;
    }
    if (r >= m_nRowsInFile) {
        std::fill_n(pOut, nSpan, 0.0f);
        return true;
    }
    return false;
}

void CPagedGrid::ReadFloats(int r, int c, std::size_t nCount, float* pOut) const
{
    // Rows below m_nRowsInFile were written, but a write that failed may have left the file
    // short of a row it counts: what lies beyond the file's end was never written and is 0.
    const std::uint64_t nOffset = ElementOffset(r, c);
    const std::size_t nBytes = nCount * kFloatBytes;
    std::size_t nRead = 0;
    errno = 0;
    if (!gw::platform::ReadFileAt(m_pFile.get(), nOffset, pOut, nBytes, nRead)) {
        ThrowFileError("read from", nOffset);
    }
    if (nRead < nBytes) {
        std::memset(reinterpret_cast<unsigned char*>(pOut) + nRead, 0, nBytes - nRead);
    }
}

std::uint64_t CPagedGrid::ElementOffset(int r, int c) const noexcept
{
    return (static_cast<std::uint64_t>(r) * static_cast<std::uint64_t>(m_nColumns)
            + static_cast<std::uint64_t>(c))
         * kFloatBytes;
}

void CPagedGrid::CheckRow(int r, const char* pWhat) const
{
    if (r < 0 || r >= m_nRows) {
        throw CPagedGridError(std::string("GW: paged grid ") + pWhat + ": row " + std::to_string(r)
                              + " outside a grid of " + std::to_string(m_nRows) + " rows");
    }
}

void CPagedGrid::CheckRowRange(int nBegin, int nEnd, const char* pWhat) const
{
    if (nBegin < 0 || nEnd > m_nRows || nBegin > nEnd) {
        throw CPagedGridError(std::string("GW: paged grid ") + pWhat + ": rows "
                              + std::to_string(nBegin) + ".." + std::to_string(nEnd - 1)
                              + " outside a grid of " + std::to_string(m_nRows) + " rows");
    }
}

void CPagedGrid::CheckColumns(int nFirst, int nCount, const char* pWhat) const
{
    if (nFirst < 0 || nCount < 1 || nFirst > m_nColumns - nCount) {
        throw CPagedGridError(std::string("GW: paged grid ") + pWhat + ": columns "
                              + std::to_string(nFirst) + ".."
                              + std::to_string(static_cast<long long>(nFirst) + nCount - 1)
                              + " outside a grid of " + std::to_string(m_nColumns) + " columns");
    }
}
