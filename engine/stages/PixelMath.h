// PixelMath.h - the per-pixel formulas of the stages, written once for one value or a vector.
//
// T is float or a GCC vector of floats (whose + - * / and comparisons act lane by lane), D
// double or the vector of doubles with the same lanes. The straightforward rows
// (PixelRows.cpp) and the lane kernels (lanes/PixelLanes.cpp) both compute through these, so
// the operations and their order are the same in either: a formula changes here only.
#pragma once

#include <type_traits>

namespace gw::pixel {

/// A value of another element type, lane by lane (rounding to nearest for doubles to floats).
template <class To, class From>
[[gnu::always_inline]] inline To Convert(const From& x) noexcept
{
    if constexpr (std::is_arithmetic_v<From>)
        return static_cast<To>(x);
    else
        return __builtin_convertvector(x, To);
}

/// The largest and the smallest of three channels, by the colour conversion's comparisons.
template <class T>
[[gnu::always_inline]] inline T MaxOf3(const T& r, const T& g, const T& b) noexcept
{
    return r > g ? (r > b ? r : b) : (g > b ? g : b);
}

template <class T>
[[gnu::always_inline]] inline T MinOf3(const T& r, const T& g, const T& b) noexcept
{
    return r < g ? (r < b ? r : b) : (g < b ? g : b);
}

/// The three levels a colour of value v and saturation s takes in its sextant, f the hue's
/// fraction of the sextant: the lowest p, the falling q and the rising t.
template <class T>
[[gnu::always_inline]] inline void SextantLevels(const T& s, const T& f, const T& v, T& p, T& q,
                                                 T& t) noexcept
{
    p = (1.0f - s) * v;
    q = (1.0f - s * f) * v;
    t = (1.0f - (1.0f - f) * s) * v;
}

/// Screen blend of the reflectance w into the value v with strength a.
template <class T>
[[gnu::always_inline]] inline T ScreenBlend(const T& v, const T& w, float a) noexcept
{
    return 1.0f - (1.0f - v) * (1.0f - a * w);
}

/// The reflectance's quotient: the value over the illumination's power, in double, rounded.
template <class T, class D>
[[gnu::always_inline]] inline T ReflectanceQuotient(const T& value, const D& power) noexcept
{
    return Convert<T>(Convert<D>(value) / power);
}

/// The quotient q weighted by how dark the illumination l is.
template <class T>
[[gnu::always_inline]] inline T DarknessWeighted(const T& l, const T& q) noexcept
{
    return (1.0f - l) * q;
}

/// Where the saturation curve passes its pivot: lower the darker the illumination l.
template <class T>
[[gnu::always_inline]] inline T PivotTarget(const T& l, float fPivot, float fDarkening) noexcept
{
    return fPivot - fDarkening * (1.0f - l);
}

/// The quadratic through (0, 0), (a, b) and (1, 1), clamped to [0, 1] (NaN stays NaN).
template <class T>
[[gnu::always_inline]] inline T SaturationCurve(const T& x, float a, const T& b) noexcept
{
    T y = (x - 1.0f) * x * b / ((a - 1.0f) * a) + (x - a) * x / (1.0f - a);
    y = y > 1.0f ? T{} + 1.0f : y;
    y = y < 0.0f ? T{} : y;
    return y;
}

} // namespace gw::pixel
