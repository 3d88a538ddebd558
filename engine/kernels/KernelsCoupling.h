// KernelsCoupling.h - the edge-aware couplings of the solver's operator.
//
// Neighbouring points are coupled strongly where the right-hand side is flat and bright and
// weakly across steep edges and in the dark; the operator of a level is
//   (A u)(p) = (1 - sum K(p, q)) u(p) + sum K(p, q) u(q)
// over the four neighbours q, with the (negative) couplings K held in Bh and Bv.
#pragma once

#include "kernels/Kernels.h"

namespace gw {

/// The coupling of two neighbouring values a and b on a level whose scaled radius is
/// fScaledRadius: -(0.5 (a + b) + thermal) / (sqrt((b - a)^2 + epsilon) x fScaledRadius), with
/// (b - a)^2 + epsilon rounded to float before the root. Symmetric in a and b.
float Coupling(float a, float b, float fScaledRadius, const CouplingParams& params) noexcept;

/// Coupling for float or a GCC vector of floats (lane by lane), with the square root of T that
/// sqrt(q, root) writes: the one formula of every path.
template <class T, class SquareRoot>
[[gnu::always_inline]] inline void CouplingOf(const T& a, const T& b, float fScaledRadius,
                                              const CouplingParams& params, SquareRoot&& sqrt,
                                              T& coupling) noexcept
{
    const T d = b - a;
    const T q = d * d + params.fEpsilon;
    T g;
    sqrt(q, g);
    coupling = -(0.5f * (a + b) + params.fThermal) / (g * fScaledRadius);
}

/// Fills Bh and Bv of a level from its right-hand side f. nLevel counts from 1 (coarsest) to
/// nLevels (finest); each coarser level doubles the radius. Reports 4 x 0.25^(nLevels - nLevel) /
/// Nr units after each interior row and returns at once on a stop (the grids then stay half done).
/// Afterwards every coupling that touches the border ring is 0, and so are the couplings from
/// the last interior row and column towards the ring. Reads f only.
void ComputeCouplings(const LevelGrids& grids, int nLevel, int nLevels,
                      const CouplingParams& params, ProgressHook progress);

/// Row function of ComputeCouplings: couplings of interior row r from row r (pF) and row r + 1
/// (pFDown) of f, into row r of Bh (pBh) and column r of the transposed Bv (bvColumn, indexed by
/// column). Writes columns 1..nCols-2 only.
void CouplingRow(const float* pF, const float* pFDown, int nCols, float fScaledRadius,
                 const CouplingParams& params, float* pBh, Line bvColumn) noexcept;

/// Progress units of the couplings of level nLevel of nLevels: 4 x 0.25^(nLevels - nLevel), of
/// which every path reports an nRows-th after each interior row.
float CouplingWeight(int nLevel, int nLevels) noexcept;

/// Sets to 0 every coupling into the border ring of a level of nRows x nCols points, and those
/// from the last interior row and column towards it: the ring then never reaches the interior
/// (zero flux across the image edge). bh(r, c) and bv(r, c) give the float& of the coupling of
/// point (r, c) to its right and to its lower neighbour, whatever the grids' layout.
template <class BhAt, class BvAt>
void ClearCouplingRing(int nRows, int nCols, BhAt&& bh, BvAt&& bv)
{
    // A level of one or two rows or columns has no last interior line of its own.
    const int nLastRow = nRows >= 2 ? nRows - 2 : 0;
    const int nLastCol = nCols >= 2 ? nCols - 2 : 0;
    for (int k = 0; k < nRows; ++k) {
        bv(k, 0) = 0.0f;
        bv(k, nCols - 1) = 0.0f;
        bh(k, 0) = 0.0f;
        bh(k, nCols - 1) = 0.0f;
        bh(k, nLastCol) = 0.0f;
    }
    for (int k = 0; k < nCols; ++k) {
        bv(0, k) = 0.0f;
        bv(nRows - 1, k) = 0.0f;
        bv(nLastRow, k) = 0.0f;
        bh(0, k) = 0.0f;
        bh(nRows - 1, k) = 0.0f;
    }
}

/// ClearCouplingRing on grids in RAM; bv transposed ([c][r]) or row-major ([r][c]).
void ClearCouplingRing(const GridView& bh, const GridView& bv, bool bTransposedBv) noexcept;

/// The radius of level nLevel: 2^(nLevels - nLevel) x fRadius, as a float.
float ScaledRadius(float fRadius, int nLevel, int nLevels) noexcept;

} // namespace gw
