// Kernels.h - shared vocabulary of the multigrid kernels.
//
// Every kernel of the illumination solver works on the grids of one level: the horizontal
// coupling grid Bh ([r][c] couples (r, c) with (r, c + 1)), the vertical coupling grid Bv,
// stored transposed ([c][r] couples (r, c) with (r + 1, c)), the right-hand side f and the
// solution u. A level of Nr x Nc points has interior rows 1..Nr-2 and columns 1..Nc-2 and a
// one-point border ring that holds 0 in f and u; couplings into the ring are 0, so the ring never
// influences the interior.
//
// Rules shared by all kernels (the family headers only state what differs):
// - All arithmetic is single precision, every sum is formed left to right in the order the
//   comments give, and nothing is fused or reassociated, so results are bit-identical on every
//   target.
// - Each kernel's arithmetic lives in one row function over row (or line) pointers. The in-RAM
//   front doors hand it rows of contiguous matrices; a paged variant hands it rows fetched from
//   its pages and columns gathered into buffers, and therefore gets the same bits.
// - Kernels allocate nothing. The sweeping kernels report progress and check for a stop through
//   a ProgressHook once per row or line, never per point.
#pragma once

#include <cstddef>

namespace gw {

/// A line of floats with a fixed element distance: a grid row (distance 1), a grid column of a
/// contiguous matrix (distance = row length) or a column gathered into a buffer (distance 1).
template <class T>
struct Strided
{
    T* p = nullptr;
    std::ptrdiff_t nStep = 1;

    T& operator[](int i) const { return p[i * nStep]; }
};

using ConstLine = Strided<const float>;
using Line = Strided<float>;

/// A non-owning view of a row-major matrix of floats whose rows lie nStride floats apart in one
/// block (a grid of one level, or the top-left corner of a larger grid such as the work grid).
struct GridView
{
    float* pData = nullptr;
    int nRows = 0;
    int nCols = 0;
    std::ptrdiff_t nStride = 0; ///< floats from one row to the next; at least nCols

    static GridView Of(float* pData, int nRows, int nCols)
    {
        return GridView{pData, nRows, nCols, nCols};
    }

    float* Row(int r) const { return pData + static_cast<std::ptrdiff_t>(r) * nStride; }
    float& At(int r, int c) const { return Row(r)[c]; }
    Line Column(int c) const { return Line{pData + c, nStride}; }
    ConstLine ConstColumn(int c) const { return ConstLine{pData + c, nStride}; }

    /// The top-left nSubRows x nSubCols corner, same rows.
    GridView Corner(int nSubRows, int nSubCols) const
    {
        return GridView{pData, nSubRows, nSubCols, nStride};
    }
};

/// The four solver grids of one level. bv has the transposed shape (nCols x nRows of the level).
struct LevelGrids
{
    GridView bh;
    GridView bv;
    GridView f;
    GridView u;

    int Rows() const { return f.nRows; }
    int Cols() const { return f.nCols; }
};

/// The four scratch vectors of the line solver, each at least as long as the longest line.
struct LineVectors
{
    float* pDiag = nullptr;
    float* pRhs = nullptr;
    float* pSol = nullptr;
    float* pFactor = nullptr;
};

/// Progress units and stop check, called by the sweeping kernels after each row or line.
/// Answers true when the run is to stop. A default hook never stops.
struct ProgressHook
{
    bool (*pfnReport)(void* pContext, float fUnits) = nullptr;
    void* pContext = nullptr;

    bool operator()(float fUnits) const
    {
        return pfnReport != nullptr && pfnReport(pContext, fUnits);
    }
};

/// The engine parameters that shape the couplings.
struct CouplingParams
{
    float fRadius = 0.1f;   ///< radius of the illumination estimate on the finest level
    float fThermal = 0.2f;  ///< offset added to the local intensity
    float fEpsilon = 1e-6f; ///< regularisation under the square root
};

} // namespace gw
