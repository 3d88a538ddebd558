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

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
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

namespace detail {

// Tables of the table-driven power, built once from the series above (so they
// are the same on every target): log(c_i) and 1 / c_i at the centres
// c_i = 1 + (i + 0.5) / 128 of the 128 slices of [1, 2), and 2^(j / 64).
struct PowTables
{
    std::array<double, 128> logCentre{};
    std::array<double, 128> invCentre{};
    std::array<double, 64> exp2Step{};

    PowTables() noexcept
    {
        for (int i = 0; i < 128; ++i) {
            const double c = 1.0 + (static_cast<double>(i) + 0.5) / 128.0; // exact
            logCentre[static_cast<std::size_t>(i)] = PortableLog(c);
            invCentre[static_cast<std::size_t>(i)] = 1.0 / c;
        }
        for (int j = 0; j < 64; ++j)
            exp2Step[static_cast<std::size_t>(j)] =
                PortableExp(static_cast<double>(j) / 64.0 * (kLn2Hi + kLn2Lo));
    }
};

inline const PowTables& Tables() noexcept
{
    static const PowTables tables;
    return tables;
}

// Round to the nearest integer, ties to even, for |v| < 2^51 (the default
// rounding mode; the sum is not folded without -ffast-math).
inline double RoundToInt(double v) noexcept
{
    constexpr double kShift = 6755399441055744.0; // 1.5 * 2^52
    return (v + kShift) - kShift;
}

} // namespace detail

/// x raised to y for a normal, finite x > 0 and |y log x| < 700, by tables and
/// short polynomials: only IEEE double +, -, * and exact scaling, so the same
/// bits on every target, a few units in the last place of a double from the
/// exact power and several times faster than PortablePow. Other arguments go
/// to PortablePow.
inline double PortablePowFast(double x, double y) noexcept
{
    if (y == 0.0 || x == 1.0)
        return 1.0;
    std::uint64_t nBits = 0;
    std::memcpy(&nBits, &x, sizeof nBits);
    const int nBiased = static_cast<int>((nBits >> 52) & 0x7FF);
    if (nBiased == 0 || nBiased == 0x7FF || (nBits >> 63) != 0)
        return PortablePow(x, y); // zero, subnormal, infinite, NaN or negative
    const detail::PowTables& tables = detail::Tables();

    // x = m 2^e with m in [1, 2); m lies in slice i, around its centre c_i.
    const int nExponent = nBiased - 1023;
    const int nSlice = static_cast<int>((nBits >> 45) & 0x7F);
    const std::uint64_t nMantissaBits = (nBits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull;
    double m = 0.0;
    std::memcpy(&m, &nMantissaBits, sizeof m);
    const double c = 1.0 + (static_cast<double>(nSlice) + 0.5) / 128.0; // exact
    // log(m) = log(c) + log(1 + r), r = (m - c) / c, |r| < 1/256.
    const double r = (m - c) * tables.invCentre[static_cast<std::size_t>(nSlice)];
    const double r2 = r * r;
    const double p =
        r
        - r2 * (0.5 - r * (1.0 / 3.0 - r * (0.25 - r * (0.2 - r * (1.0 / 6.0 - r * (1.0 / 7.0))))));
    const double e = static_cast<double>(nExponent);
    const double logX =
        e * detail::kLn2Hi
        + (e * detail::kLn2Lo + (tables.logCentre[static_cast<std::size_t>(nSlice)] + p));

    const double t = y * logX;
    if (!(t > -700.0 && t < 700.0))
        return PortablePow(x, y);
    // e^t = 2^(k / 64) e^s, s = t - k ln2 / 64, |s| <= ln2 / 128.
    constexpr double kInvStep = 64.0 / (detail::kLn2Hi + detail::kLn2Lo);
    constexpr double kStepHi = detail::kLn2Hi / 64.0; // exact: a power-of-two scaling
    constexpr double kStepLo = detail::kLn2Lo / 64.0;
    const double k = detail::RoundToInt(t * kInvStep);
    const double s = (t - k * kStepHi) - k * kStepLo;
    const double q =
        1.0
        + s
              * (1.0
                 + s
                       * (0.5
                          + s
                                * (1.0 / 6.0
                                   + s * (1.0 / 24.0 + s * (1.0 / 120.0 + s * (1.0 / 720.0))))));
    const int nK = static_cast<int>(k);
    const int nStep = nK & 63;
    const int nOctave = (nK - nStep) / 64;
    // 2^nOctave built from its bits (|nOctave| < 1023 here), so the scaling is exact.
    const std::uint64_t nScaleBits = static_cast<std::uint64_t>(nOctave + 1023) << 52;
    double dScale = 0.0;
    std::memcpy(&dScale, &nScaleBits, sizeof dScale);
    return tables.exp2Step[static_cast<std::size_t>(nStep)] * q * dScale;
}

} // namespace gw
