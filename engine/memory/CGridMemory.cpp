// CGridMemory.cpp - sizing and allocation of the grid pyramid.
#include "CGridMemory.h"

#include "Platform.h"
#include "settings/EngineSettings.h"

#include <algorithm>
#include <climits>
#include <new>

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
    const auto nEntries = static_cast<std::size_t>(m_nLevels) + 1;
    m_pagedHorizontal = std::make_unique<CPagedGrid[]>(nEntries);
    m_pagedVertical = std::make_unique<CPagedGrid[]>(nEntries);
    m_pagedRightHandSide = std::make_unique<CPagedGrid[]>(nEntries);
    m_pagedSolution = std::make_unique<CPagedGrid[]>(nEntries);

    auto add = [this](CPagedGrid& grid, int nRows, int nCols) {
        grid.Init(nRows, nCols);
        m_nBytesHeld += grid.BytesHeld();
    };
    for (int k = 1; k <= m_nLevels; ++k) {
        const int nRows = m_pnLevelRows[k];
        const int nCols = m_pnLevelCols[k];
        add(m_pagedHorizontal[k], nRows, nCols);
        add(m_pagedVertical[k], nCols, nRows);
        add(m_pagedRightHandSide[k], nRows, nCols);
        add(m_pagedSolution[k], nRows, nCols);
    }
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



bool CGridMemory::AddMatrix(MatrixTable& table, int nLevel, int nRows, int nCols,
                            std::uint64_t nBudget)
{
    MatrixPtr pMatrix = AllocMatrix(nRows, nCols);
    if (!pMatrix)
        return false;
    m_nBytesHeld += pMatrix->Bytes();
    table[nLevel] = std::move(pMatrix);
    return m_nBytesHeld <= nBudget;
}



bool CGridMemory::AllocateInRam(std::uint64_t nBudget)
{
    const auto nEntries = static_cast<std::size_t>(m_nLevels) + 1;
    m_horizontal = std::make_unique<MatrixPtr[]>(nEntries);
    m_vertical = std::make_unique<MatrixPtr[]>(nEntries);
    m_rightHandSide = std::make_unique<MatrixPtr[]>(nEntries);
    m_solution = std::make_unique<MatrixPtr[]>(nEntries);

    for (int k = 1; k <= m_nLevels; ++k) {
        const int nRows = m_pnLevelRows[k];
        const int nCols = m_pnLevelCols[k];
        if (!AddMatrix(m_horizontal, k, nRows, nCols, nBudget)
            || !AddMatrix(m_vertical, k, nCols, nRows, nBudget)
            || !AddMatrix(m_solution, k, nRows, nCols, nBudget)
            || !AddMatrix(m_rightHandSide, k, nRows, nCols, nBudget))
            return false;
    }

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
    auto releaseTable = [this](MatrixTable& table) {
        if (!table)
            return;
        for (int k = 0; k <= m_nLevels; ++k) {
            if (table[k]) {
                m_nBytesHeld -= table[k]->Bytes();
                table[k].reset();
            }
        }
        table.reset();
    };
    releaseTable(m_horizontal);
    releaseTable(m_vertical);
    releaseTable(m_rightHandSide);
    releaseTable(m_solution);
    auto releasePaged = [this](PagedTable& table) {
        if (!table)
            return;
        for (int k = 0; k <= m_nLevels; ++k) {
            m_nBytesHeld -= table[k].BytesHeld();
            table[k].Release();
        }
        table.reset();
    };
    releasePaged(m_pagedHorizontal);
    releasePaged(m_pagedVertical);
    releasePaged(m_pagedRightHandSide);
    releasePaged(m_pagedSolution);
    m_nBytesHeld -= m_pagedWork.BytesHeld();
    m_pagedWork.Release();
    if (m_work) {
        m_nBytesHeld -= m_work->Bytes();
        m_work.reset();
    }
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
