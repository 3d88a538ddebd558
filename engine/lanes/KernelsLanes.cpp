// KernelsLanes.cpp - eight-line groups of the zebra relaxation in AVX2 lanes.
//
// Everything below the target switch is AVX2 code: callers reach it only after gw::cpu::HasAvx2().
// Targets without it take the portable bodies (KernelsLanesPortable.cpp).
#include "lanes/KernelsLanes.h"

#include "kernels/KernelsCoupling.h"
#include "kernels/KernelsGrid.h"
#include "kernels/LineSystem.h"
#include "lanes/LaneSolve.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <algorithm>

#pragma GCC push_options
#pragma GCC target("avx2")

namespace gw::lanes {

namespace {

// Elements of one lane vector, and of the 8 x 8 blocks of the transposed streams.
constexpr int kBlock = kGroupLines * kGroupLines;

// The lanes as the line system's value type (an __m256 without its aliasing attribute).
using Lanes = lanesolve::LaneFloats;
static_assert(lanesolve::kLanes == kGroupLines);

// How far ahead the loads are announced to the memory system: grid rows in the column pass
// (one row per element, a whole grid row apart, which no hardware prefetcher follows), and
// floats along the lines in the row pass (too many lines at once for it to follow).
constexpr int kPrefetchRows = 6;
constexpr int kPrefetchFloats = 64;

/// Announces the sixteen floats from p (at most two cache lines).
inline void PrefetchWindow(const float* p) noexcept
{
    _mm_prefetch(reinterpret_cast<const char*>(p), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(p + 15), _MM_HINT_T0);
}

/// Rows i of the result hold element i of the eight inputs: out[i][j] = in[j][i].
inline void Transpose8(__m256& r0, __m256& r1, __m256& r2, __m256& r3, __m256& r4, __m256& r5,
                       __m256& r6, __m256& r7) noexcept
{
    const __m256 t0 = _mm256_unpacklo_ps(r0, r1);
    const __m256 t1 = _mm256_unpackhi_ps(r0, r1);
    const __m256 t2 = _mm256_unpacklo_ps(r2, r3);
    const __m256 t3 = _mm256_unpackhi_ps(r2, r3);
    const __m256 t4 = _mm256_unpacklo_ps(r4, r5);
    const __m256 t5 = _mm256_unpackhi_ps(r4, r5);
    const __m256 t6 = _mm256_unpacklo_ps(r6, r7);
    const __m256 t7 = _mm256_unpackhi_ps(r6, r7);
    const __m256 s0 = _mm256_shuffle_ps(t0, t2, 0x44);
    const __m256 s1 = _mm256_shuffle_ps(t0, t2, 0xEE);
    const __m256 s2 = _mm256_shuffle_ps(t1, t3, 0x44);
    const __m256 s3 = _mm256_shuffle_ps(t1, t3, 0xEE);
    const __m256 s4 = _mm256_shuffle_ps(t4, t6, 0x44);
    const __m256 s5 = _mm256_shuffle_ps(t4, t6, 0xEE);
    const __m256 s6 = _mm256_shuffle_ps(t5, t7, 0x44);
    const __m256 s7 = _mm256_shuffle_ps(t5, t7, 0xEE);
    r0 = _mm256_permute2f128_ps(s0, s4, 0x20);
    r1 = _mm256_permute2f128_ps(s1, s5, 0x20);
    r2 = _mm256_permute2f128_ps(s2, s6, 0x20);
    r3 = _mm256_permute2f128_ps(s3, s7, 0x20);
    r4 = _mm256_permute2f128_ps(s0, s4, 0x31);
    r5 = _mm256_permute2f128_ps(s1, s5, 0x31);
    r6 = _mm256_permute2f128_ps(s2, s6, 0x31);
    r7 = _mm256_permute2f128_ps(s3, s7, 0x31);
}

/// An 8 x 8 block through the registers: row i of it from pRow(i), row i of its transpose to
/// pOut(i).
template <class RowIn, class RowOut>
[[gnu::always_inline]] inline void TransposeTile(RowIn&& pRow, RowOut&& pOut) noexcept
{
    __m256 r0 = _mm256_loadu_ps(pRow(0));
    __m256 r1 = _mm256_loadu_ps(pRow(1));
    __m256 r2 = _mm256_loadu_ps(pRow(2));
    __m256 r3 = _mm256_loadu_ps(pRow(3));
    __m256 r4 = _mm256_loadu_ps(pRow(4));
    __m256 r5 = _mm256_loadu_ps(pRow(5));
    __m256 r6 = _mm256_loadu_ps(pRow(6));
    __m256 r7 = _mm256_loadu_ps(pRow(7));
    Transpose8(r0, r1, r2, r3, r4, r5, r6, r7);
    _mm256_storeu_ps(pOut(0), r0);
    _mm256_storeu_ps(pOut(1), r1);
    _mm256_storeu_ps(pOut(2), r2);
    _mm256_storeu_ps(pOut(3), r3);
    _mm256_storeu_ps(pOut(4), r4);
    _mm256_storeu_ps(pOut(5), r5);
    _mm256_storeu_ps(pOut(6), r6);
    _mm256_storeu_ps(pOut(7), r7);
}

/// The sixteen floats from p split by position: even ones (p[0], p[2], ..., p[14]) and odd ones.
inline void Deinterleave(const float* p, __m256& even, __m256& odd) noexcept
{
    const __m256 lo = _mm256_loadu_ps(p);
    const __m256 hi = _mm256_loadu_ps(p + 8);
    // In-lane picks give (0 2 | 8 10 | 4 6 | 12 14); the 64-bit permute puts the pairs in order.
    even = _mm256_castpd_ps(
        _mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(lo, hi, 0x88)), 0xD8));
    odd = _mm256_castpd_ps(
        _mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(lo, hi, 0xDD)), 0xD8));
}

/// The odd floats of the sixteen from p.
inline __m256 OddOf(const float* p) noexcept
{
    const __m256 lo = _mm256_loadu_ps(p);
    const __m256 hi = _mm256_loadu_ps(p + 8);
    return _mm256_castpd_ps(
        _mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(lo, hi, 0xDD)), 0xD8));
}

/// Eight lines that run across grid rows, read in order as lane vectors: element k holds
/// pLine[j][k] in lane j. The lines are read eight elements at a time and transposed.
class TransposedStream
{
public:
    /// Lane j reads pLine[j][0 .. nValid - 1]; elements at or past nValid read as 0.
    TransposedStream(const float* const* pLines, int nValid) noexcept : m_nValid(nValid)
    {
        for (int j = 0; j < kGroupLines; ++j)
            m_pLines[j] = pLines[j];
    }

    /// Element k; k never decreases from one call to the next.
    __m256 At(int k) noexcept
    {
        if (k >= m_nStart + kGroupLines)
            Fill(k - k % kGroupLines);
        return _mm256_loadu_ps(m_block + (k - m_nStart) * kGroupLines);
    }

private:
    void Fill(int nStart) noexcept
    {
        m_nStart = nStart;
        if (nStart + kGroupLines + kPrefetchFloats <= m_nValid) {
            for (int j = 0; j < kGroupLines; ++j)
                _mm_prefetch(reinterpret_cast<const char*>(m_pLines[j] + nStart + kPrefetchFloats),
                             _MM_HINT_T0);
        }
        if (nStart + kGroupLines <= m_nValid) {
            TransposeTile([&](int j) { return m_pLines[j] + nStart; },
                          [&](int i) { return m_block + i * kGroupLines; });
            return;
        }
        for (int i = 0; i < kGroupLines; ++i) {
            for (int j = 0; j < kGroupLines; ++j)
                m_block[i * kGroupLines + j] =
                    nStart + i < m_nValid ? m_pLines[j][nStart + i] : 0.0f;
        }
    }

    const float* m_pLines[kGroupLines] = {};
    int m_nValid = 0;
    int m_nStart = -kGroupLines;
    float m_block[kBlock] = {};
};

/// The line elimination across the lanes, with a note of the lanes whose pivot was 0.
struct Eliminator
{
    line::Elimination<Lanes> lanes;
    __m256 zeroPivot;

    void First(const Lanes& b, const Lanes& d, float* pX) noexcept
    {
        lanes.First(b, d);
        zeroPivot = _mm256_cmp_ps(lanes.beta, _mm256_setzero_ps(), _CMP_EQ_OQ);
        _mm256_storeu_ps(pX, lanes.x);
    }

    void Next(const Lanes& a, const Lanes& b, const Lanes& d, float* pG, float* pX) noexcept
    {
        Lanes g;
        lanes.Next(a, b, d, g);
        _mm256_storeu_ps(pG, g);
        zeroPivot =
            _mm256_or_ps(zeroPivot, _mm256_cmp_ps(lanes.beta, _mm256_setzero_ps(), _CMP_EQ_OQ));
        _mm256_storeu_ps(pX, lanes.x);
    }

    /// Back substitution over the n elements; answers whether every pivot was non-zero.
    bool Finish(const float* pG, float* pX, int n) noexcept
    {
        Lanes x = lanes.x;
        for (int k = n - 2; k >= 0; --k) {
            float* p = pX + static_cast<std::ptrdiff_t>(k) * kGroupLines;
            const float* pNextG = pG + static_cast<std::ptrdiff_t>(k + 1) * kGroupLines;
            Lanes xk = _mm256_loadu_ps(p);
            line::BackSubstitute(xk, Lanes(_mm256_loadu_ps(pNextG)), x);
            x = xk;
            _mm256_storeu_ps(p, x);
        }
        return _mm256_movemask_ps(zeroPivot) == 0;
    }
};

} // namespace



namespace {

/// nGroups adjacent column groups at once: their loads of a grid row are one contiguous
/// stretch, and their elimination chains run side by side. Lane j of group g is column
/// c0 + 16 g + 2 j; element k of it goes to pX[(nGroups k + g) 8 + j], and pG likewise.
template <int nGroups>
bool SolveColumnGroupsImpl(const LevelGrids& grids, int c0, float* pG, float* pX) noexcept
{
    const int n = grids.Rows() - 2;
    constexpr int kStride = nGroups * kGroupLines;   // floats per element in pX and pG
    constexpr int kSpan = nGroups * 2 * kGroupLines; // columns the groups cover

    line::Elimination<Lanes> elimination[nGroups] = {};
    __m256 upper[nGroups] = {};
    __m256 zeroPivot = _mm256_setzero_ps();
#pragma GCC unroll 4
    for (int g = 0; g < nGroups; ++g)
        upper[g] = OddOf(grids.bv.Row(0) + c0 - 1 + 2 * kGroupLines * g);

    for (int k = 0; k < n; ++k) {
        const int r = k + 1;
        if (r + kPrefetchRows < grids.Rows()) {
            const int rAhead = r + kPrefetchRows;
            for (int i = 0; i <= kSpan; i += 16) {
                _mm_prefetch(reinterpret_cast<const char*>(grids.bh.Row(rAhead) + c0 - 1 + i),
                             _MM_HINT_T0);
                _mm_prefetch(reinterpret_cast<const char*>(grids.bv.Row(rAhead) + c0 - 1 + i),
                             _MM_HINT_T0);
                _mm_prefetch(reinterpret_cast<const char*>(grids.f.Row(rAhead) + c0 - 1 + i),
                             _MM_HINT_T0);
                _mm_prefetch(reinterpret_cast<const char*>(grids.u.Row(rAhead) + c0 - 1 + i),
                             _MM_HINT_T0);
            }
        }
        const float* pBh = grids.bh.Row(r) + c0 - 1;
        const float* pBv = grids.bv.Row(r) + c0 - 1;
        const float* pF = grids.f.Row(r) + c0 - 1;
        const float* pU = grids.u.Row(r) + c0 - 1;
        const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(k) * kStride;
#pragma GCC unroll 4
        for (int g = 0; g < nGroups; ++g) {
            const int o = 2 * kGroupLines * g;
            // Window c0 - 1 .. c0 + 14 of the group's row: even points are the lanes' left
            // neighbours (c - 1), odd points the lanes' own columns c.
            __m256 bhLeft, bhMid, uLeft, unused;
            Deinterleave(pBh + o, bhLeft, bhMid);
            Deinterleave(pU + o, uLeft, unused);
            const __m256 f = OddOf(pF + o);
            const __m256 uRight = OddOf(pU + o + 1);
            const __m256 lower = OddOf(pBv + o);

            Lanes b;
            Lanes d;
            line::LineElement<line::Along::Column, Lanes>(bhLeft, bhMid, upper[g], lower, f, uLeft,
                                                          uRight, b, d);
            float* pXk = pX + i + g * kGroupLines;
            if (k == 0) {
                elimination[g].First(b, d);
            } else {
                Lanes factor;
                elimination[g].Next(upper[g], b, d, factor);
                _mm256_storeu_ps(pG + i + g * kGroupLines, factor);
            }
            zeroPivot = _mm256_or_ps(
                zeroPivot, _mm256_cmp_ps(elimination[g].beta, _mm256_setzero_ps(), _CMP_EQ_OQ));
            _mm256_storeu_ps(pXk, elimination[g].x);
            upper[g] = lower;
        }
    }
    if (_mm256_movemask_ps(zeroPivot) != 0)
        return false;

    // Back substitution, each solved element written straight to its grid row. The lanes go to
    // every other column: a window of eight floats is blended with what the row holds there,
    // which rewrites the other colour's columns between this call's lines unchanged, and only
    // the last window, whose odd end lies past the last line, is a masked store, so no column
    // that a neighbouring call reads is written.
    const __m256i evenMask = _mm256_setr_epi32(-1, 0, -1, 0, -1, 0, -1, 0);
    auto store = [&](int k, int g, __m256 v) {
        float* pRow = grids.u.Row(k + 1) + c0 + 2 * kGroupLines * g;
        const __m256 lo = _mm256_unpacklo_ps(v, v); // x0 x0 x1 x1 | x4 x4 x5 x5
        const __m256 hi = _mm256_unpackhi_ps(v, v); // x2 x2 x3 x3 | x6 x6 x7 x7
        const __m256 first = _mm256_permute2f128_ps(lo, hi, 0x20);
        const __m256 second = _mm256_permute2f128_ps(lo, hi, 0x31);
        _mm256_storeu_ps(pRow, _mm256_blend_ps(_mm256_loadu_ps(pRow), first, 0x55));
        if (g + 1 < nGroups)
            _mm256_storeu_ps(pRow + kGroupLines,
                             _mm256_blend_ps(_mm256_loadu_ps(pRow + kGroupLines), second, 0x55));
        else
            _mm256_maskstore_ps(pRow + kGroupLines, evenMask, second);
    };
    Lanes x[nGroups];
#pragma GCC unroll 4
    for (int g = 0; g < nGroups; ++g) {
        x[g] = elimination[g].x;
        store(n - 1, g, x[g]);
    }
    for (int k = n - 2; k >= 0; --k) {
        const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(k) * kStride;
#pragma GCC unroll 4
        for (int g = 0; g < nGroups; ++g) {
            Lanes xk = _mm256_loadu_ps(pX + i + g * kGroupLines);
            line::BackSubstitute(xk, Lanes(_mm256_loadu_ps(pG + i + kStride + g * kGroupLines)),
                                 x[g]);
            x[g] = xk;
            store(k, g, x[g]);
        }
    }
    return true;
}

} // namespace



bool SolveColumnGroups(const LevelGrids& grids, int c0, int nGroups, float* pG, float* pX) noexcept
{
    if (grids.Rows() - 2 <= 0)
        return true;
    switch (nGroups) {
    case 1:
        return SolveColumnGroupsImpl<1>(grids, c0, pG, pX);
    case 2:
        return SolveColumnGroupsImpl<2>(grids, c0, pG, pX);
    case 3:
        return SolveColumnGroupsImpl<3>(grids, c0, pG, pX);
    default:
        return SolveColumnGroupsImpl<4>(grids, c0, pG, pX);
    }
}



bool SolveRowGroup(const LevelGrids& grids, int r0, float* pG, float* pX) noexcept
{
    const int n = grids.Cols() - 2;
    if (n <= 0)
        return true;

    // Lane j is grid row r0 + 2 j; its neighbours above and below are rows r0 + 2 j -+ 1.
    const float* pBhLines[kGroupLines];
    const float* pFLines[kGroupLines];
    const float* pUpLines[kGroupLines];
    const float* pDownLines[kGroupLines];
    const float* pBvUpLines[kGroupLines];
    const float* pBvDownLines[kGroupLines];
    for (int j = 0; j < kGroupLines; ++j) {
        const int r = r0 + 2 * j;
        pBhLines[j] = grids.bh.Row(r);
        pFLines[j] = grids.f.Row(r) + 1;
        pUpLines[j] = grids.u.Row(r - 1) + 1;
        pDownLines[j] = grids.u.Row(r + 1) + 1;
        pBvUpLines[j] = grids.bv.Row(r - 1) + 1;
        pBvDownLines[j] = grids.bv.Row(r) + 1;
    }
    const int nc = grids.Cols();
    TransposedStream bh(pBhLines, nc);
    TransposedStream f(pFLines, nc - 1);
    TransposedStream uUp(pUpLines, nc - 1);
    TransposedStream uDown(pDownLines, nc - 1);
    TransposedStream bvUpStream(pBvUpLines, nc - 1);
    TransposedStream bvDownStream(pBvDownLines, nc - 1);

    Eliminator solve{};
    __m256 left = bh.At(0);
    for (int k = 0; k < n; ++k) {
        const __m256 right = bh.At(k + 1);
        const __m256 bvUp = bvUpStream.At(k);
        const __m256 bvDown = bvDownStream.At(k);

        const Lanes fk = f.At(k);
        const Lanes uUpK = uUp.At(k);
        const Lanes uDownK = uDown.At(k);
        Lanes b;
        Lanes d;
        line::LineElement<line::Along::Row, Lanes>(left, right, bvUp, bvDown, fk, uUpK, uDownK, b,
                                                   d);
        const std::ptrdiff_t i = static_cast<std::ptrdiff_t>(k) * kGroupLines;
        if (k == 0)
            solve.First(b, d, pX);
        else
            solve.Next(left, b, d, pG + i, pX + i);
        left = right;
    }
    return solve.Finish(pG, pX, n);
}



void CouplingRowContiguous(const float* pF, const float* pFDown, int nCols, float fScaledRadius,
                           const CouplingParams& params, float* pBh, float* pBv) noexcept
{
    const auto sqrt = [](const Lanes& q, Lanes& root) { root = _mm256_sqrt_ps(q); };
    // Copies the rows' stores cannot alias, so the loop keeps them in registers.
    const CouplingParams local = params;
    const float fRadius = fScaledRadius;
    int c = 1;
    for (; c + kGroupLines <= nCols - 1; c += kGroupLines) {
        const Lanes a = _mm256_loadu_ps(pF + c);
        const Lanes right = _mm256_loadu_ps(pF + c + 1);
        const Lanes down = _mm256_loadu_ps(pFDown + c);
        Lanes coupling;
        CouplingOf(a, right, fRadius, local, sqrt, coupling);
        _mm256_storeu_ps(pBh + c, coupling);
        CouplingOf(a, down, fRadius, local, sqrt, coupling);
        _mm256_storeu_ps(pBv + c, coupling);
    }
    // The last points through the straightforward row function, from column c - 1 on (it
    // writes from its second point on).
    if (c <= nCols - 2)
        CouplingRow(pF + c - 1, pFDown + c - 1, nCols - c + 1, fScaledRadius, params, pBh + c - 1,
                    Line{pBv + c - 1, 1});
}



void ResidualRowContiguous(const float* pUUp, const float* pU, const float* pUDown, const float* pF,
                           const float* pBh, const float* pBvUp, const float* pBvDown, int nCols,
                           float* pOut) noexcept
{
    pOut[0] = 0.0f;
    int c = 1;
    for (; c + kGroupLines <= nCols - 1; c += kGroupLines) {
        const Lanes f = _mm256_loadu_ps(pF + c);
        const Lanes u = _mm256_loadu_ps(pU + c);
        const Lanes left = _mm256_loadu_ps(pBh + c - 1);
        const Lanes uLeft = _mm256_loadu_ps(pU + c - 1);
        const Lanes right = _mm256_loadu_ps(pBh + c);
        const Lanes uRight = _mm256_loadu_ps(pU + c + 1);
        const Lanes up = _mm256_loadu_ps(pBvUp + c);
        const Lanes uUp = _mm256_loadu_ps(pUUp + c);
        const Lanes down = _mm256_loadu_ps(pBvDown + c);
        const Lanes uDown = _mm256_loadu_ps(pUDown + c);
        Lanes residual;
        line::PointResidual(f, u, left, uLeft, right, uRight, up, uUp, down, uDown, residual);
        _mm256_storeu_ps(pOut + c, residual);
    }
    if (c <= nCols - 2) {
        // The last points through the straightforward row function, from column c - 1 on (it
        // writes its first point as 0, which the loop above has already written).
        const float fKept = pOut[c - 1];
        ResidualRow(pUUp + c - 1, pU + c - 1, pUDown + c - 1, pF + c - 1, pBh + c - 1,
                    ConstLine{pBvUp + c - 1, 1}, ConstLine{pBvDown + c - 1, 1}, nCols - c + 1,
                    pOut + c - 1);
        pOut[c - 1] = fKept;
    }
    pOut[nCols - 1] = 0.0f;
}



void StoreRowGroup(const GridView& u, int r0, const float* pX, int n) noexcept
{
    float* pRows[kGroupLines];
    for (int j = 0; j < kGroupLines; ++j)
        pRows[j] = u.Row(r0 + 2 * j) + 1;
    int k = 0;
    for (; k + kGroupLines <= n; k += kGroupLines) {
        const float* p = pX + static_cast<std::ptrdiff_t>(k) * kGroupLines;
        TransposeTile([&](int i) { return p + i * kGroupLines; },
                      [&](int j) { return pRows[j] + k; });
    }
    for (; k < n; ++k) {
        for (int j = 0; j < kGroupLines; ++j)
            pRows[j][k] = pX[static_cast<std::ptrdiff_t>(k) * kGroupLines + j];
    }
}


void TransposeBlock(const float* pIn, std::ptrdiff_t nInStride, int nRows, int nCols, float* pOut,
                    std::ptrdiff_t nOutStride) noexcept
{
    // Strips of kStrip source columns, so that the output rows a strip fills stay in the cache
    // while its tiles are written half a cache line at a time.
    constexpr int kStrip = 64;
    const auto In = [&](int r, int c) {
        return pIn + static_cast<std::ptrdiff_t>(r) * nInStride + c;
    };
    const auto Out = [&](int c, int r) {
        return pOut + static_cast<std::ptrdiff_t>(c) * nOutStride + r;
    };
    const int nFullRows = nRows - nRows % kGroupLines;
    for (int c0 = 0; c0 < nCols; c0 += kStrip) {
        const int nStripEnd = std::min(nCols, c0 + kStrip);
        for (int r = 0; r < nFullRows; r += kGroupLines) {
            int c = c0;
            for (; c + kGroupLines <= nStripEnd; c += kGroupLines) {
                TransposeTile([&](int i) { return In(r + i, c); },
                              [&](int i) { return Out(c + i, r); });
            }
            for (; c < nStripEnd; ++c) {
                for (int j = 0; j < kGroupLines; ++j)
                    Out(c, r)[j] = *In(r + j, c);
            }
        }
        for (int r = nFullRows; r < nRows; ++r) {
            for (int c = c0; c < nStripEnd; ++c)
                *Out(c, r) = *In(r, c);
        }
    }
}

} // namespace gw::lanes

#pragma GCC pop_options

#else

// No AVX2 bodies on this target: the portable ones serve, with the same bits.
namespace gw::lanes {

bool SolveColumnGroups(const LevelGrids& grids, int c0, int nGroups, float* pG, float* pX) noexcept
{
    return portable::SolveColumnGroups(grids, c0, nGroups, pG, pX);
}

bool SolveRowGroup(const LevelGrids& grids, int r0, float* pG, float* pX) noexcept
{
    return portable::SolveRowGroup(grids, r0, pG, pX);
}

void StoreRowGroup(const GridView& u, int r0, const float* pX, int n) noexcept
{
    portable::StoreRowGroup(u, r0, pX, n);
}

void CouplingRowContiguous(const float* pF, const float* pFDown, int nCols, float fScaledRadius,
                           const CouplingParams& params, float* pBh, float* pBv) noexcept
{
    portable::CouplingRowContiguous(pF, pFDown, nCols, fScaledRadius, params, pBh, pBv);
}

void ResidualRowContiguous(const float* pUUp, const float* pU, const float* pUDown, const float* pF,
                           const float* pBh, const float* pBvUp, const float* pBvDown, int nCols,
                           float* pOut) noexcept
{
    portable::ResidualRowContiguous(pUUp, pU, pUDown, pF, pBh, pBvUp, pBvDown, nCols, pOut);
}

void TransposeBlock(const float* pIn, std::ptrdiff_t nInStride, int nRows, int nCols, float* pOut,
                    std::ptrdiff_t nOutStride) noexcept
{
    portable::TransposeBlock(pIn, nInStride, nRows, nCols, pOut, nOutStride);
}

} // namespace gw::lanes

#endif
