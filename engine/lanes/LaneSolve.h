// LaneSolve.h - eight tridiagonal line systems eliminated together, one in each lane of a
// vector.
//
// Each lane builds its line's system and eliminates it with the element functions of
// LineSystem.h, which the straightforward solve of a line uses too, so every lane's solution has
// the bits of that solve. The operands are built per lane in plain floats; the elimination,
// whose divisions chain from one element to the next, runs across the lanes.
#pragma once

#include "kernels/Kernels.h"
#include "kernels/LineSystem.h"

#include <cstddef>
#include <cstring>

namespace gw::lanesolve {

// The helpers are always inlined, so the ABI of passing a wide vector by value, which GCC
// warns about for code built without AVX, never applies.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"

/// Lines solved together.
inline constexpr int kLanes = 8;

typedef float LaneFloats __attribute__((vector_size(kLanes * sizeof(float))));
typedef int LaneInts __attribute__((vector_size(kLanes * sizeof(int))));

[[gnu::always_inline]] inline LaneFloats Load(const float* p) noexcept
{
    LaneFloats v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

[[gnu::always_inline]] inline void Store(float* p, LaneFloats v) noexcept
{
    std::memcpy(p, &v, sizeof v);
}

/// Solves the eight systems of n elements whose element k element(k, a, b, d) writes, lane j
/// at index j: sub-diagonal a, diagonal b, right side d. Element k of lane j's solution goes to
/// pX[8 k + j]; pG is scratch of the same size. Answers false when a pivot of any lane is
/// exactly 0: the solution is then not usable, and the caller solves those lines the
/// straightforward way, which reports the failure.
template <class ElementFn>
[[gnu::always_inline]] inline bool SolveEight(ElementFn&& element, float* pG, float* pX,
                                              int n) noexcept
{
    if (n <= 0)
        return true;
    float a[kLanes];
    float b[kLanes];
    float d[kLanes];
    const LaneFloats zero{};

    element(0, a, b, d);
    line::Elimination<LaneFloats> elimination;
    elimination.First(Load(b), Load(d));
    LaneInts zeroPivot = elimination.beta == zero;
    Store(pX, elimination.x);
    for (int j = 1; j < n; ++j) {
        const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(j) * kLanes;
        element(j, a, b, d);
        LaneFloats g;
        elimination.Next(Load(a), Load(b), Load(d), g);
        Store(pG + i, g);
        zeroPivot |= elimination.beta == zero;
        Store(pX + i, elimination.x);
    }
    LaneFloats x = elimination.x;
    for (int j = n - 2; j >= 0; --j) {
        const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(j) * kLanes;
        const LaneFloats xNext = x;
        x = Load(pX + i);
        line::BackSubstitute(x, Load(pG + i + kLanes), xNext);
        Store(pX + i, x);
    }
    int nAny = 0;
    for (int k = 0; k < kLanes; ++k)
        nAny |= zeroPivot[k];
    return nAny == 0;
}

/// The operands of eight column lines, lane j's at index j, each line indexed by grid row:
/// columns c - 1 and c of Bh, the line's vertical couplings (bv[r] couples rows r and r + 1),
/// its column of f and columns c - 1 and c + 1 of u.
struct ColumnLanes
{
    ConstLine bhLeft[kLanes];
    ConstLine bhMid[kLanes];
    ConstLine bv[kLanes];
    ConstLine f[kLanes];
    ConstLine uLeft[kLanes];
    ConstLine uRight[kLanes];
};

/// The operands of eight row lines, each indexed by grid column: the row of Bh, the vertical
/// couplings to the rows above and below, the row of f and the rows r - 1 and r + 1 of u.
struct RowLanes
{
    ConstLine bh[kLanes];
    ConstLine bvUp[kLanes];
    ConstLine bvDown[kLanes];
    ConstLine f[kLanes];
    ConstLine uUp[kLanes];
    ConstLine uDown[kLanes];
};

/// SolveEight on the eight column lines (n = Nr - 2 elements, grid rows 1..n).
[[gnu::always_inline]] inline bool SolveColumnLanes(const ColumnLanes& lines, float* pG, float* pX,
                                                    int n) noexcept
{
    const auto element = [&lines](int k, float* a, float* b, float* d) {
        const int r = k + 1;
        for (int j = 0; j < kLanes; ++j) {
            a[j] = lines.bv[j][r - 1];
            line::ColumnElement(lines.bhLeft[j][r], lines.bhMid[j][r], lines.bv[j][r - 1],
                                lines.bv[j][r], lines.f[j][r], lines.uLeft[j][r],
                                lines.uRight[j][r], b[j], d[j]);
        }
    };
    return SolveEight(element, pG, pX, n);
}

/// SolveEight on the eight row lines (n = Nc - 2 elements, grid columns 1..n).
[[gnu::always_inline]] inline bool SolveRowLanes(const RowLanes& lines, float* pG, float* pX,
                                                 int n) noexcept
{
    const auto element = [&lines](int k, float* a, float* b, float* d) {
        const int c = k + 1;
        for (int j = 0; j < kLanes; ++j) {
            a[j] = lines.bh[j][c - 1];
            line::RowElement(lines.bh[j][c - 1], lines.bh[j][c], lines.bvUp[j][c],
                             lines.bvDown[j][c], lines.f[j][c], lines.uUp[j][c], lines.uDown[j][c],
                             b[j], d[j]);
        }
    };
    return SolveEight(element, pG, pX, n);
}

#pragma GCC diagnostic pop

} // namespace gw::lanesolve
