// Matrix.h - an in-RAM float grid: one contiguous row-major block.
//
// The in-RAM strategy of the grid memory holds every grid of the pyramid as a
// CMatrix. Element (r, c) sits at Data()[r x Cols() + c]; Row(r) points at the
// start of row r. The block is zero-filled at allocation, so a grid that no
// stage has written yet reads as 0 on every target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class CMatrix;

/// Frees a matrix (its block and then the object itself).
struct FreeMatrix
{
    void operator()(CMatrix* pMatrix) const noexcept;
};

using MatrixPtr = std::unique_ptr<CMatrix, FreeMatrix>;

/// Allocates a zero-filled matrix of nRows x nCols floats. Returns null when
/// either size is not positive, the element count does not fit in memory
/// addressing, or an allocation fails; never throws.
MatrixPtr AllocMatrix(int nRows, int nCols) noexcept;

class CMatrix
{
public:
    CMatrix(const CMatrix&) = delete;
    CMatrix& operator=(const CMatrix&) = delete;

    int Rows() const noexcept { return m_nRows; }
    int Cols() const noexcept { return m_nCols; }

    /// The whole block, rows one after another.
    float* Data() noexcept { return m_pBlock.get(); }
    const float* Data() const noexcept { return m_pBlock.get(); }

    /// Row r (0 <= r < Rows()), Cols() floats.
    float* Row(int r) noexcept { return m_pBlock.get() + static_cast<std::ptrdiff_t>(r) * m_nCols; }
    const float* Row(int r) const noexcept
    {
        return m_pBlock.get() + static_cast<std::ptrdiff_t>(r) * m_nCols;
    }

    float& At(int r, int c) noexcept { return Row(r)[c]; }
    float At(int r, int c) const noexcept { return Row(r)[c]; }

    /// Bytes by the engine's accounting rule: rows x columns x 4.
    std::uint64_t Bytes() const noexcept
    {
        return static_cast<std::uint64_t>(m_nRows) * static_cast<std::uint64_t>(m_nCols) * 4u;
    }

    /// Sets every element, border included.
    void Fill(float fValue) noexcept;

private:
    friend MatrixPtr AllocMatrix(int nRows, int nCols) noexcept;
    friend struct FreeMatrix;

    CMatrix() noexcept = default;
    ~CMatrix() = default;

    /// Returns a block to the system.
    struct FreeBlock
    {
        std::size_t nBytes;
        void operator()(float* pBlock) const noexcept;
    };

    int m_nRows = 0;
    int m_nCols = 0;
    std::unique_ptr<float[], FreeBlock> m_pBlock;
};
