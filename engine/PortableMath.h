// PortableMath.h - a power function that gives the same bits everywhere.
//
// The C libraries of our three targets implement pow() differently (glibc,
// the mingw runtime), and their last bits do not always agree. The engine
// must produce identical output on native Linux, x86 and x64, so every power
// it or its callers compute goes through PortablePow, which uses only
// IEEE-754 double additions, multiplications and divisions (and exact
// scaling by powers of two). It is accurate to a few units in the last place
// of a double, far below what a float result can show.
#pragma once

#include <cmath>
#include <limits>

namespace gw {

namespace detail {

// ln 2 split so that k * kLn2Hi is exact for |k| < 2^11.
inline constexpr double kLn2Hi = 6.93147180369123816490e-01;
inline constexpr double kLn2Lo = 1.90821492927058770002e-10;

/// Natural logarithm of a finite x > 0.
inline double PortableLog(double x) noexcept
{
    int nExponent = 0;
    double m = std::frexp(x, &nExponent); // x = m * 2^e, m in [0.5, 1), exact
    if (m < 0.70710678118654752440) {
        m *= 2.0;
        --nExponent;
    }
    // log(m) = 2 atanh(s) with s = (m - 1) / (m + 1), |s| < 0.1716.
    const double s = (m - 1.0) / (m + 1.0);
    const double s2 = s * s;
    double series = 1.0 / 23.0;
    for (int k = 21; k >= 1; k -= 2) {
        series = series * s2 + 1.0 / static_cast<double>(k);
    }
    const double logM = 2.0 * s * series;
    const double e = static_cast<double>(nExponent);
    return e * kLn2Hi + (e * kLn2Lo + logM);
}

/// e raised to a finite t.
inline double PortableExp(double t) noexcept
{
    if (t > 709.78) {
        return std::numeric_limits<double>::infinity();
    }
    if (t < -745.2) {
        return 0.0;
    }
    const double k = std::nearbyint(t / (kLn2Hi + kLn2Lo));
    const double r = (t - k * kLn2Hi) - k * kLn2Lo; // |r| <= 0.35
    // Horner form of the Taylor series: 1 + r (1 + r/2 (1 + r/3 (...))).
    double p = 1.0;
    for (int n = 13; n >= 1; --n) {
        p = 1.0 + p * r / static_cast<double>(n);
    }
    return std::ldexp(p, static_cast<int>(k));
}

} // namespace detail

/// x raised to y for x >= 0, with the same bits on every target.
/// pow(0, y) is 0 for y > 0 and 1 for y == 0; negative or non-finite x gives NaN
/// except where noted, which no caller in this project passes.
inline double PortablePow(double x, double y) noexcept
{
    if (y == 0.0 || x == 1.0) {
        return 1.0;
    }
    if (std::isnan(x) || std::isnan(y) || x < 0.0) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    if (x == 0.0) {
        return y > 0.0 ? 0.0 : std::numeric_limits<double>::infinity();
    }
    if (std::isinf(x)) {
        return y > 0.0 ? x : 0.0;
    }
    return detail::PortableExp(y * detail::PortableLog(x));
}

} // namespace gw
