// Matrix.cpp - allocation of the in-RAM grids.
#include "Matrix.h"

#include "Platform.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <new>

void FreeMatrix::operator()(CMatrix* pMatrix) const noexcept
{
    delete pMatrix;
}



MatrixPtr AllocMatrix(int nRows, int nCols) noexcept
{
    if (nRows <= 0 || nCols <= 0)
        return nullptr;
    const std::uint64_t nCount =
        static_cast<std::uint64_t>(nRows) * static_cast<std::uint64_t>(nCols);
    if (nCount > std::numeric_limits<std::size_t>::max() / sizeof(float))
        return nullptr;

    MatrixPtr pMatrix(new (std::nothrow) CMatrix);
    if (!pMatrix)
        return nullptr;
    // The system's fresh pages read as 0: every element starts at 0, and no
    // page is touched before a stage writes it.
    const std::size_t nBytes = static_cast<std::size_t>(nCount) * sizeof(float);
    pMatrix->m_pBlock = std::unique_ptr<float[], CMatrix::FreeBlock>(
        static_cast<float*>(gw::platform::AllocateZeroedBlock(nBytes)), CMatrix::FreeBlock{nBytes});
    if (!pMatrix->m_pBlock)
        return nullptr;
    pMatrix->m_nRows = nRows;
    pMatrix->m_nCols = nCols;
    return pMatrix;
}



void CMatrix::FreeBlock::operator()(float* pBlock) const noexcept
{
    gw::platform::FreeZeroedBlock(pBlock, nBytes);
}



void CMatrix::Fill(float fValue) noexcept
{
    const std::size_t nCount =
        static_cast<std::size_t>(m_nRows) * static_cast<std::size_t>(m_nCols);
    std::fill_n(m_pBlock.get(), nCount, fValue);
}
