// KernelsLanes.h - eight line systems of one zebra colour built and solved together in the
// lanes of AVX2 registers.
//
// A group is eight lines two apart: the columns c0, c0 + 2, ..., c0 + 14 of a column pass or
// the rows r0, r0 + 2, ..., r0 + 14 of a row pass, all interior. Each lane builds its line's
// system with the operations of ColumnLineSystem or RowLineSystem and eliminates it with those
// of SolveTridiagonal, in the same order, so every lane's solution has the bits of the
// straightforward solve. What changes is only how the operands reach the lanes: the points
// of a grid row that belong to the group are split out of contiguous loads, and the lines that
// run across grid rows are read eight points at a time and transposed in registers.
// Bv is row-major, as everywhere in the parallel kernels (ParallelKernels.h). Callers check
// gw::cpu::HasAvx2() first; on targets without AVX2 bodies the portable ones below serve.
#pragma once

#include "kernels/Kernels.h"

#include <cstddef>

namespace gw::lanes {

/// Lines per group.
inline constexpr int kGroupLines = 8;

/// Most column groups solved at once.
inline constexpr int kMaxColumnGroups = 4;

/// Solves the nGroups (1..4) x 8 interior columns c0, c0 + 2, ..., c0 + 16 nGroups - 2 against the
/// newest values of their neighbours (c0 >= 1, the last of them <= Nc - 2) and writes the
/// solutions into u, changing no other column (the other colour's columns between the first
/// and the last of them are rewritten with the values they hold; none outside is touched). pG and
/// pX are scratch of nGroups x 8 x (Nr - 2) floats each. Answers false, with u unchanged, when a
/// pivot of any lane is exactly 0.
bool SolveColumnGroups(const LevelGrids& grids, int c0, int nGroups, float* pG, float* pX) noexcept;

/// Solves the interior rows r0, r0 + 2, ..., r0 + 14: element k (grid column k + 1) of lane j
/// goes to pX[8 k + j]; pX and pG take 8 x (Nc - 2) floats. Answers false when a pivot of any
/// lane is exactly 0: the solution is then not usable.
bool SolveRowGroup(const LevelGrids& grids, int r0, float* pG, float* pX) noexcept;

/// Writes element k of lane j of pX to grid row r0 + 2 j of u, column k + 1, for the n elements
/// of a row group.
void StoreRowGroup(const GridView& u, int r0, const float* pX, int n) noexcept;

/// CouplingRow (KernelsCoupling.h) into row r of a row-major Bv (pBv), eight points at a time.
void CouplingRowContiguous(const float* pF, const float* pFDown, int nCols, float fScaledRadius,
                           const CouplingParams& params, float* pBh, float* pBv) noexcept;

/// ResidualRow (KernelsGrid.h) with rows r - 1 and r of a row-major Bv (pBvUp, pBvDown).
void ResidualRowContiguous(const float* pUUp, const float* pU, const float* pUDown, const float* pF,
                           const float* pBh, const float* pBvUp, const float* pBvDown, int nCols,
                           float* pOut) noexcept;

/// The nRows x nCols block at pIn (rows nInStride floats apart) transposed into pOut (rows
/// nOutStride floats apart): pOut[c nOutStride + r] = pIn[r nInStride + c]. Tiles of 8 x 8 go
/// through the registers; the blocks must not overlap. Gives the paged line solves the layouts
/// these kernels read.
void TransposeBlock(const float* pIn, std::ptrdiff_t nInStride, int nRows, int nCols, float* pOut,
                    std::ptrdiff_t nOutStride) noexcept;

/// The kernels above in portable code with the same bits, built from the scalar row functions
/// and the lane elimination of LaneSolve.h: the bodies on targets without the AVX2 ones, and
/// the reference those are tested against. Same contracts.
namespace portable {

decltype(lanes::SolveColumnGroups) SolveColumnGroups;
decltype(lanes::SolveRowGroup) SolveRowGroup;
decltype(lanes::StoreRowGroup) StoreRowGroup;
decltype(lanes::CouplingRowContiguous) CouplingRowContiguous;
decltype(lanes::ResidualRowContiguous) ResidualRowContiguous;
decltype(lanes::TransposeBlock) TransposeBlock;

} // namespace portable

} // namespace gw::lanes
