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

/// The operands of eight lines, lane j's at index j, each line indexed by its points (grid rows
/// of a column line, grid columns of a row line): the couplings along the line (along[p]
/// couples points p and p + 1), the couplings of each point to its two neighbours off the line
/// (columns c - 1 and c of Bh for a column line, rows r - 1 and r of Bv for a row line), the
/// line's f and the values of u on either side (columns c - 1 and c + 1, or rows r - 1 and
/// r + 1).
struct LaneLines
{
    ConstLine along[kLanes];
    ConstLine acrossFirst[kLanes];
    ConstLine acrossSecond[kLanes];
    ConstLine f[kLanes];
    ConstLine uFirst[kLanes];
    ConstLine uSecond[kLanes];
};

/// SolveEight on eight column or row lines of n elements (points 1..n).
template <line::Along kAlong>
[[gnu::always_inline]] inline bool SolveLaneLines(const LaneLines& lines, float* pG, float* pX,
                                                  int n) noexcept
{
    const auto element = [&lines](int k, float* a, float* b, float* d) {
        const int p = k + 1;
        for (int j = 0; j < kLanes; ++j) {
            a[j] = lines.along[j][p - 1];
            // Along a column the line's couplings are those to the points above and below,
            // along a row those to the left and right.
            if constexpr (kAlong == line::Along::Column)
                line::LineElement<kAlong>(lines.acrossFirst[j][p], lines.acrossSecond[j][p],
                                          lines.along[j][p - 1], lines.along[j][p], lines.f[j][p],
                                          lines.uFirst[j][p], lines.uSecond[j][p], b[j], d[j]);
            else
                line::LineElement<kAlong>(lines.along[j][p - 1], lines.along[j][p],
                                          lines.acrossFirst[j][p], lines.acrossSecond[j][p],
                                          lines.f[j][p], lines.uFirst[j][p], lines.uSecond[j][p],
                                          b[j], d[j]);
        }
    };
    return SolveEight(element, pG, pX, n);
}

#pragma GCC diagnostic pop

} // namespace gw::lanesolve
