// PowLanes.h - the table-driven power of PortableMath.h on vector lanes, with its bits.
//
// Included by the lane kernels only (lanes/PixelLanes.cpp).
#pragma once

#include "LaneVectors.h"
#include "PortableMath.h"
#include "stages/PixelRows.h"

namespace gw::pixel::lanes {

/// Lane j of the result is table[index[j]] (indices in range).
template <class D, class U>
GW_LANE_INLINE D Lookup(const double* pTable, const U& index) noexcept
{
    D v{};
    for (int j = 0; j < static_cast<int>(sizeof(D) / sizeof(double)); ++j)
        v[j] = pTable[static_cast<std::size_t>(index[j])];
    return v;
}

/// The table-driven power on K vectors of lanes at once (independent chains the processor
/// overlaps): PortablePowFast's operations in its order for normal, finite x > 0 with
/// |y log x| < 700. Lanes outside that, and x == 1, are flagged in special (any bits set).
template <int N, int K>
GW_LANE_INLINE void PowCore(const typename V<N>::D (&x)[K], double y, typename V<N>::D (&result)[K],
                            typename V<N>::U& special) noexcept
{
    using D = typename V<N>::D;
    using U = typename V<N>::U;
    const detail::PowTables& tables = detail::Tables();
    constexpr double kInvStep = 64.0 / (detail::kLn2Hi + detail::kLn2Lo);
    constexpr double kStepHi = detail::kLn2Hi / 64.0;
    constexpr double kStepLo = detail::kLn2Lo / 64.0;
    constexpr double kShift = 6755399441055744.0; // 1.5 * 2^52, as in RoundToInt

    U nBits[K];
    D e[K], m[K], c[K], inv[K], logCentre[K], r[K], r2[K], p[K], t[K];
    D kShifted[K], k[K], s[K], q[K];
    U anySpecial{};
    for (int g = 0; g < K; ++g) {
        // A normal, finite, positive x other than 1 (NaN fails every comparison).
        anySpecial |= reinterpret_cast<U>(!(x[g] >= DBL_MIN && x[g] <= DBL_MAX) || x[g] == 1.0);
        nBits[g] = Bits<U>(x[g]);
        // The exponent as a double, exactly: (2^52 + biased) - (2^52 + 1023).
        e[g] = Bits<D>((nBits[g] >> 52) | 0x4330000000000000ull) - 4503599627371519.0;
        m[g] = Bits<D>((nBits[g] & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull);
        // c = 1 + (slice + 0.5) / 128, exact, from its bits.
        c[g] = Bits<D>((nBits[g] & 0x000FE00000000000ull) | 0x3FF0100000000000ull);
        const U nSlice = (nBits[g] >> 45) & 0x7Fu;
        inv[g] = Lookup<D>(tables.invCentre.data(), nSlice);
        logCentre[g] = Lookup<D>(tables.logCentre.data(), nSlice);
    }
    for (int g = 0; g < K; ++g)
        r[g] = (m[g] - c[g]) * inv[g];
    for (int g = 0; g < K; ++g)
        r2[g] = r[g] * r[g];
    for (int g = 0; g < K; ++g)
        p[g] = r[g]
             - r2[g]
                   * (0.5
                      - r[g]
                            * (1.0 / 3.0
                               - r[g]
                                     * (0.25
                                        - r[g] * (0.2 - r[g] * (1.0 / 6.0 - r[g] * (1.0 / 7.0))))));
    for (int g = 0; g < K; ++g) {
        const D logX = e[g] * detail::kLn2Hi + (e[g] * detail::kLn2Lo + (logCentre[g] + p[g]));
        t[g] = y * logX;
        anySpecial |= reinterpret_cast<U>(!(t[g] > -700.0 && t[g] < 700.0));
    }
    for (int g = 0; g < K; ++g) {
        kShifted[g] = t[g] * kInvStep + kShift;
        k[g] = kShifted[g] - kShift;
        s[g] = (t[g] - k[g] * kStepHi) - k[g] * kStepLo;
    }
    for (int g = 0; g < K; ++g)
        q[g] = 1.0
             + s[g]
                   * (1.0
                      + s[g]
                            * (0.5
                               + s[g]
                                     * (1.0 / 6.0
                                        + s[g]
                                              * (1.0 / 24.0
                                                 + s[g] * (1.0 / 120.0 + s[g] * (1.0 / 720.0))))));
    for (int g = 0; g < K; ++g) {
        // k as an integer is the difference of the bits of kShifted and kShift (both in
        // [2^52, 2^53)); its low six bits pick the step, the rest, times 2^46, are the
        // octave in the exponent field (wrapping modulo 2^64, as the biased sum fits 11 bits).
        const U nKShiftedBits = Bits<U>(kShifted[g]);
        const U nStep = nKShiftedBits & 63u;
        const U nScaleBits = (((nKShiftedBits - nStep) - 0x4338000000000000ull) << 46)
                           + (static_cast<std::uint64_t>(1023) << 52);
        const D step = Lookup<D>(tables.exp2Step.data(), nStep);
        result[g] = step * q[g] * Bits<D>(nScaleBits);
    }
    special = anySpecial;
}

/// PortablePowFast(pX[i], y) into pOut[i] for i in [0, n).
template <int N>
GW_LANE_INLINE void PowImpl(const double* pX, double y, double* pOut, int n) noexcept
{
    using D = typename V<N>::D;
    using U = typename V<N>::U;
    constexpr int K = 4;
    int i = 0;
    for (; i + K * N <= n; i += K * N) {
        D x[K];
        D result[K];
        for (int g = 0; g < K; ++g)
            x[g] = LoadVec<D>(pX + i + g * N);
        U special;
        PowCore<N, K>(x, y, result, special);
        if (AnySet(special)) [[unlikely]] {
            Pow(pX + i, y, pOut + i, K * N);
            continue;
        }
        for (int g = 0; g < K; ++g)
            StoreVec(pOut + i + g * N, result[g]);
    }
    if (i < n)
        Pow(pX + i, y, pOut + i, n - i);
}

} // namespace gw::pixel::lanes
