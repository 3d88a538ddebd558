// LaneSolve.h - eight tridiagonal line systems eliminated together, one in each lane of a
// vector.
//
// Each lane runs exactly the operations of SolveTridiagonal (KernelsRelax.h) in its order, so
// every lane's solution has the bits of the straightforward solve of its line. The systems are
// symmetric, as all of the smoother's are: the super-diagonal element k - 1 is the sub-diagonal
// element k. The caller builds each element's operands (scalar code, per lane, with its row
// function's operations); the elimination, whose divisions chain from one element to the next,
// runs across the lanes.
#pragma once

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
[[gnu::always_inline]] inline bool SolveEight(ElementFn&& element, float* pG, float* pX, int n) noexcept
{
    if (n <= 0)
        return true;
    float a[kLanes];
    float b[kLanes];
    float d[kLanes];
    const LaneFloats zero{};

    element(0, a, b, d);
    LaneFloats beta = Load(b);
    LaneInts zeroPivot = beta == zero;
    LaneFloats x = Load(d) / beta;
    Store(pX, x);
    for (int j = 1; j < n; ++j) {
        const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(j) * kLanes;
        element(j, a, b, d);
        const LaneFloats av = Load(a);
        const LaneFloats g = av / beta;
        Store(pG + i, g);
        beta = Load(b) - av * g;
        zeroPivot |= beta == zero;
        x = (Load(d) - av * x) / beta;
        Store(pX + i, x);
    }
    for (int j = n - 2; j >= 0; --j) {
        const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(j) * kLanes;
        x = Load(pX + i) - Load(pG + i + kLanes) * x;
        Store(pX + i, x);
    }
    int nAny = 0;
    for (int k = 0; k < kLanes; ++k)
        nAny |= zeroPivot[k];
    return nAny == 0;
}

#pragma GCC diagnostic pop

} // namespace gw::lanesolve
