// LineSystem.h - the operator at a point, the smoother's line systems and their elimination,
// element by element.
//
// Every way the solver solves a line (one line in plain floats, eight across the lanes of a
// vector, whole groups in AVX2 registers, lines gathered from a paged grid) builds and
// eliminates its system with the functions here, and every residual takes the operator from
// here too, so the ways cannot drift apart. T is float,
// or a GCC vector of floats whose operators act lane by lane with the rounding of float;
// operands come by reference, so no wide vector crosses a call boundary by value.
//
// A line system is tridiagonal and symmetric: the sub-diagonal of element k is the coupling
// between the line's points k - 1 and k, which is also the super-diagonal of element k - 1.
#pragma once

namespace gw::line {

/// The diagonal of the operator at a point from its couplings to the right, left, lower and
/// upper neighbour: 1 - right - left - down - up.
template <class T>
[[gnu::always_inline]] inline void Diagonal(const T& right, const T& left, const T& down,
                                            const T& up, T& diag) noexcept
{
    diag = 1.0f - right - left - down - up;
}

/// f - A u at a point from its value u, its couplings and its neighbours' values, the sum of
/// A u formed from the point outwards: diagonal, left, right, up, down.
template <class T>
[[gnu::always_inline]] inline void PointResidual(const T& f, const T& u, const T& left,
                                                 const T& uLeft, const T& right, const T& uRight,
                                                 const T& up, const T& uUp, const T& down,
                                                 const T& uDown, T& residual) noexcept
{
    T diag;
    Diagonal(right, left, down, up, diag);
    residual = f - (diag * u + left * uLeft + right * uRight + up * uUp + down * uDown);
}

/// Which way a line runs: down a column or along a row.
enum class Along
{
    Column,
    Row,
};

/// Element of the system of a line at grid point (r, c) from the point's couplings to its
/// left, right, upper and lower neighbour. The couplings along the line are its sub- and
/// super-diagonal; the newest u of the two neighbours off the line, uFirst and uSecond (left and
/// right of a column line, above and below a row line), go to the right side.
template <Along kAlong, class T>
[[gnu::always_inline]] inline void LineElement(const T& left, const T& right, const T& up,
                                               const T& down, const T& f, const T& uFirst,
                                               const T& uSecond, T& diag, T& rhs) noexcept
{
    Diagonal(right, left, down, up, diag);
    if constexpr (kAlong == Along::Column)
        rhs = f - right * uSecond - left * uFirst;
    else
        rhs = f - up * uFirst - down * uSecond;
}

/// Forward elimination without pivoting, one element at a time. After First or Pivot, beta is
/// the pivot of the element just eliminated; the caller checks it for an exact 0 (a scalar
/// solve throws, a lane solve notes the lane) before it relies on the solution.
template <class T>
struct Elimination
{
    T beta; ///< pivot of the last element
    T x;    ///< forward solution of the last element

    /// Element 0: diagonal b, right side d.
    [[gnu::always_inline]] void First(const T& b, const T& d) noexcept
    {
        beta = b;
        x = d / beta;
    }

    /// The factor of the next element: the last element's super-diagonal over its pivot.
    [[gnu::always_inline]] void Factor(const T& upper, T& g) const noexcept { g = upper / beta; }

    /// The next element's pivot from its sub-diagonal a, diagonal b and factor g.
    [[gnu::always_inline]] void Pivot(const T& a, const T& b, const T& g) noexcept
    {
        beta = b - a * g;
    }

    /// The next element's forward solution from its sub-diagonal a and right side d.
    [[gnu::always_inline]] void Forward(const T& a, const T& d) noexcept { x = (d - a * x) / beta; }

    /// A symmetric system's next element (sub-diagonal a, which is the last one's
    /// super-diagonal): Factor, Pivot and Forward in one; the factor goes to g.
    [[gnu::always_inline]] void Next(const T& a, const T& b, const T& d, T& g) noexcept
    {
        Factor(a, g);
        Pivot(a, b, g);
        Forward(a, d);
    }
};

/// Back substitution of element k: x := x - g[k + 1] x[k + 1], with xNext the solution of
/// element k + 1.
template <class T>
[[gnu::always_inline]] inline void BackSubstitute(T& x, const T& gNext, const T& xNext) noexcept
{
    x = x - gNext * xNext;
}

} // namespace gw::line
