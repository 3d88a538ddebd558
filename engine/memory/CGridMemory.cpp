// CGridMemory.cpp - sizing and allocation of the grid pyramid.
#include "CGridMemory.h"

#include "Platform.h"
#include "settings/EngineSettings.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <new>

namespace {

// Makes the four per-level tables of one kind of grid (entries 1..nLevels; 0 is unused) and
// calls add(entry, nRows, nCols) for each level's grids, the vertical couplings transposed.
// Answers false at the first add that does.
template <class Entry, class Add>
bool MakeLevelTables(int nLevels, const int* pnRows, const int* pnCols,
                     std::unique_ptr<Entry[]>& horizontal, std::unique_ptr<Entry[]>& vertical,
                     std::unique_ptr<Entry[]>& rightHandSide, std::unique_ptr<Entry[]>& solution,
                     Add&& add)
{
    const auto nEntries = static_cast<std::size_t>(nLevels) + 1;
    for (auto* pTable : {&horizontal, &vertical, &rightHandSide, &solution})
        *pTable = std::make_unique<Entry[]>(nEntries);
    for (int k = 1; k <= nLevels; ++k) {
        const int nRows = pnRows[k];
        const int nCols = pnCols[k];
        if (!add(horizontal[k], nRows, nCols) || !add(vertical[k], nCols, nRows)
            || !add(rightHandSide[k], nRows, nCols) || !add(solution[k], nRows, nCols))
            return false;
    }
    return true;
}

// Releases one grid, answering the bytes it held.
std::uint64_t ReleaseEntry(MatrixPtr& pMatrix) noexcept
{
    if (!pMatrix)
        return 0;
    const std::uint64_t nBytes = pMatrix->Bytes();
    pMatrix.reset();
    return nBytes;
}

std::uint64_t ReleaseEntry(CPagedGrid& grid) noexcept
{
    const std::uint64_t nBytes = grid.BytesHeld();
    grid.Release();
    return nBytes;
}

} // namespace

CGridMemory::CGridMemory() noexcept = default;



CGridMemory::~CGridMemory()
{
    ReleaseGrids();
}



int CGridMemory::CountLevels(int nRows, int nCols) noexcept
{
    return gw::PyramidLevels(nRows, nCols);
}



std::uint64_t CGridMemory::BudgetFor(int nReserve, std::uint64_t nAvailable) noexcept
{
    switch (nReserve) {
    case 0:
        return kBudgetUnlimited;
    case -1:
        return 0;
    case -2:
        return kBudgetUnlimitedWithFallback;
    default:
        break;
    }
    // Any other value is a reserve to keep free. A negative one reads as a huge
    // unsigned reserve, which leaves no budget.
    const auto nKeep = static_cast<std::uint64_t>(static_cast<std::int64_t>(nReserve));
    return nAvailable < nKeep ? 0 : nAvailable - nKeep;
}



bool CGridMemory::AllocateGrids(int nRows, int nCols, int nReserve)
{
    if (m_nLevels > 0 || nRows < 1 || nCols < 1 || nRows > INT_MAX - 2 || nCols > INT_MAX - 2)
        return false;

    const bool bQueryMemory = nReserve != 0 && nReserve != -1 && nReserve != -2;
    const std::uint64_t nBudget =
        BudgetFor(nReserve, bQueryMemory ? gw::platform::AvailablePhysicalMemory() : 0);

    const int nLevels = CountLevels(nRows, nCols);
    auto pnRows = std::make_unique<int[]>(static_cast<std::size_t>(nLevels) + 1);
    auto pnCols = std::make_unique<int[]>(static_cast<std::size_t>(nLevels) + 1);
    pnRows[nLevels] = nRows + 2;
    pnCols[nLevels] = nCols + 2;
    for (int k = nLevels; k > 1; --k) {
        pnRows[k - 1] = static_cast<int>(gw::CoarserExtent(pnRows[k]));
        pnCols[k - 1] = static_cast<int>(gw::CoarserExtent(pnCols[k]));
    }

    m_nBytesHeld = 0;
    m_nLevels = nLevels;
    m_nMaxDim = std::max(nRows, nCols) + 2;
    m_pnLevelRows = std::move(pnRows);
    m_pnLevelCols = std::move(pnCols);
    m_bInRam = true;

    if (nBudget != 0 && AllocateInRam(nBudget))
        return true;

    // The grids do not fit in RAM: page them. Policy 0 has no budget to exceed,
    // so it gets here only when an allocation failed; it pages too, since an
    // engine without grids could not run.
    ReleaseGrids();
    m_bInRam = false;
    try {
        AllocatePaged();
    } catch (...) {
        ReleaseGrids();
        m_nLevels = 0;
        m_nMaxDim = 0;
        m_pnLevelRows.reset();
        m_pnLevelCols.reset();
        throw;
    }
    return true;
}



void CGridMemory::AllocatePaged()
{
    auto add = [this](CPagedGrid& grid, int nRows, int nCols) {
        grid.Init(nRows, nCols);
        m_nBytesHeld += grid.BytesHeld();
        return true;
    };
    MakeLevelTables(m_nLevels, m_pnLevelRows.get(), m_pnLevelCols.get(), m_pagedHorizontal,
                    m_pagedVertical, m_pagedRightHandSide, m_pagedSolution, add);
    add(m_pagedWork, m_pnLevelRows[m_nLevels], m_pnLevelCols[m_nLevels]);
    if (!AllocateLineVectors(kBudgetUnlimited))
        throw std::bad_alloc();
}



bool CGridMemory::AllocateLineVectors(std::uint64_t nBudget)
{
    const std::uint64_t nLineBytes = static_cast<std::uint64_t>(m_nMaxDim) * 4u;
    for (auto& pLine : m_lineVectors) {
        pLine.reset(new (std::nothrow) float[static_cast<std::size_t>(m_nMaxDim)]());
        if (!pLine)
            return false;
        m_nBytesHeld += nLineBytes;
        if (m_nBytesHeld > nBudget)
            return false;
    }
    return true;
}



bool CGridMemory::AddMatrix(MatrixPtr& pEntry, int nRows, int nCols, std::uint64_t nBudget)
{
    pEntry = AllocMatrix(nRows, nCols);
    if (!pEntry)
        return false;
    m_nBytesHeld += pEntry->Bytes();
    return m_nBytesHeld <= nBudget;
}



bool CGridMemory::AllocateInRam(std::uint64_t nBudget)
{
    const auto add = [this, nBudget](MatrixPtr& pEntry, int nRows, int nCols) {
        return AddMatrix(pEntry, nRows, nCols, nBudget);
    };
    if (!MakeLevelTables(m_nLevels, m_pnLevelRows.get(), m_pnLevelCols.get(), m_horizontal,
                         m_vertical, m_rightHandSide, m_solution, add))
        return false;

    m_work = AllocMatrix(m_pnLevelRows[m_nLevels], m_pnLevelCols[m_nLevels]);
    if (!m_work)
        return false;
    m_nBytesHeld += m_work->Bytes();
    if (m_nBytesHeld > nBudget)
        return false;

    return AllocateLineVectors(nBudget);
}



void CGridMemory::ReleaseGrids() noexcept
{
    const auto releaseTable = [this](auto& table) {
        if (!table)
            return;
        for (int k = 0; k <= m_nLevels; ++k)
            m_nBytesHeld -= ReleaseEntry(table[k]);
        table.reset();
    };
    releaseTable(m_horizontal);
    releaseTable(m_vertical);
    releaseTable(m_rightHandSide);
    releaseTable(m_solution);
    releaseTable(m_pagedHorizontal);
    releaseTable(m_pagedVertical);
    releaseTable(m_pagedRightHandSide);
    releaseTable(m_pagedSolution);
    m_nBytesHeld -= ReleaseEntry(m_pagedWork);
    m_nBytesHeld -= ReleaseEntry(m_work);
    for (auto& pLine : m_lineVectors) {
        if (pLine) {
            m_nBytesHeld -= static_cast<std::uint64_t>(m_nMaxDim) * 4u;
            pLine.reset();
        }
    }
}



void CGridMemory::MakePages(bool bFastMode) noexcept
{
    if (!m_bInRam || !HasGrids())
        return;
    auto make = [](CMatrix& matrix) { gw::platform::MakePages(matrix.Data(), matrix.Bytes()); };
    for (int k = 1; k <= m_nLevels; ++k) {
        // A single level is solved where it is, in either mode.
        if (!bFastMode || k < m_nLevels || m_nLevels == 1) {
            make(*m_horizontal[k]);
            make(*m_vertical[k]);
            make(*m_solution[k]);
        }
        make(*m_rightHandSide[k]);
    }
    make(*m_work);
}



bool CGridMemory::HasGrids() const noexcept
{
    if (m_nLevels >= 1 && !m_bInRam)
        return HasPagedGrids();
    if (m_nLevels < 1 || !m_horizontal || !m_vertical || !m_rightHandSide || !m_solution || !m_work)
        return false;
    for (int k = 1; k <= m_nLevels; ++k) {
        if (!m_horizontal[k] || !m_vertical[k] || !m_rightHandSide[k] || !m_solution[k])
            return false;
    }
    return std::all_of(m_lineVectors.begin(), m_lineVectors.end(),
                       [](const auto& pLine) { return pLine != nullptr; });
}



bool CGridMemory::HasPagedGrids() const noexcept
{
    if (!m_pagedHorizontal || !m_pagedVertical || !m_pagedRightHandSide || !m_pagedSolution
        || m_pagedWork.IsEmpty())
        return false;
    for (int k = 1; k <= m_nLevels; ++k) {
        if (m_pagedHorizontal[k].IsEmpty() || m_pagedVertical[k].IsEmpty()
            || m_pagedRightHandSide[k].IsEmpty() || m_pagedSolution[k].IsEmpty())
            return false;
    }
    return std::all_of(m_lineVectors.begin(), m_lineVectors.end(),
                       [](const auto& pLine) { return pLine != nullptr; });
}



bool CGridMemory::GetLevelSize(int nLevel, int& nRows, int& nCols) const noexcept
{
    if (m_nLevels < 1 || nLevel < 0 || nLevel > m_nLevels)
        return false;
    const int k = nLevel == 0 ? m_nLevels : nLevel;
    nRows = m_pnLevelRows[k];
    nCols = m_pnLevelCols[k];
    return true;
}
