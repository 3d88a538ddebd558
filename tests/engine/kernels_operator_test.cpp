// Couplings, residual, the tridiagonal line solver, line relaxation and the coarsest solve,
// checked against hand-computed values and the operator itself, evaluated in double.
#include "EngineError.h"
#include "kernels/KernelsCoupling.h"
#include "kernels/KernelsGrid.h"
#include "kernels/KernelsRelax.h"
#include "solver/CoarsestSolve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using gw::GridView;

struct OwnedGrid
{
    std::vector<float> data;
    GridView view;

    OwnedGrid(int nRows, int nCols, float fFill = 0.0f)
        : data(static_cast<size_t>(nRows) * nCols, fFill)
        , view(GridView::Of(data.data(), nRows, nCols))
    {}
};

// The four grids of one level plus line vectors, sized for an Nr x Nc level.
struct OwnedLevel
{
    int nRows;
    int nCols;
    OwnedGrid bh, bv, f, u;
    std::vector<float> diag, rhs, sol, factor;

    OwnedLevel(int nR, int nC)
        : nRows(nR)
        , nCols(nC)
        , bh(nR, nC)
        , bv(nC, nR)
        , f(nR, nC)
        , u(nR, nC)
        , diag(Longest())
        , rhs(Longest())
        , sol(Longest())
        , factor(Longest())
    {}

    size_t Longest() const { return static_cast<size_t>(std::max(nRows, nCols)); }
    gw::LevelGrids Grids() const { return {bh.view, bv.view, f.view, u.view}; }
    gw::LineVectors Lines() { return {diag.data(), rhs.data(), sol.data(), factor.data()}; }
    bool IsInterior(int r, int c) const { return r > 0 && c > 0 && r < nRows - 1 && c < nCols - 1; }

    // Negative couplings between interior neighbours, 0 wherever a pair touches the border ring
    // or leaves the last interior line, as the coupling pass leaves them.
    void RandomCouplings(std::mt19937& rng, float fMax)
    {
        std::uniform_real_distribution<float> dist(-fMax, 0.0f);
        for (int r = 1; r < nRows - 1; ++r)
            for (int c = 1; c < nCols - 2; ++c)
                bh.view.At(r, c) = dist(rng);
        for (int c = 1; c < nCols - 1; ++c)
            for (int r = 1; r < nRows - 2; ++r)
                bv.view.At(c, r) = dist(rng);
    }

    // (A v)(r, c) in double.
    double Apply(const GridView& v, int r, int c) const
    {
        const double w = bh.view.At(r, c - 1), e = bh.view.At(r, c);
        const double n = bv.view.At(c, r - 1), s = bv.view.At(c, r);
        return (1.0 - w - e - n - s) * v.At(r, c) + w * v.At(r, c - 1) + e * v.At(r, c + 1)
             + n * v.At(r - 1, c) + s * v.At(r + 1, c);
    }
};

bool NeverStop(void*, float)
{
    return false;
}

// Stops at the n-th report; counts the reports it saw.
struct StopAfter
{
    int nLimit;
    int nSeen = 0;
    static bool Report(void* p, float)
    {
        auto* self = static_cast<StopAfter*>(p);
        return ++self->nSeen >= self->nLimit;
    }
    gw::ProgressHook Hook() { return {&StopAfter::Report, this}; }
};

std::string ErrorText(const std::function<void()>& fn)
{
    try {
        fn();
    } catch (const gw::EngineError& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(CouplingTest, ConstantGridGivesEpsilonLimitedCouplingsAndZeroAtTheBorder)
{
    const gw::CouplingParams params{0.25f, 0.2f, 1e-6f};
    const float k = 0.75f;
    OwnedLevel level(6, 7);
    for (int r = 1; r < 5; ++r)
        for (int c = 1; c < 6; ++c)
            level.f.view.At(r, c) = k;
    level.bh.view.pData[0] = 5.0f; // stale values from an earlier pass must be cleared
    level.bv.view.At(6, 5) = 5.0f;
    // Level 2 of 3: the radius doubles once.
    gw::ComputeCouplings(level.Grids(), 2, 3, params, {});
    const double expected = -(k + 0.2) / (2 * 0.25 * std::sqrt(1e-6));
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 7; ++c) {
            const bool bPair = r >= 1 && r <= 4 && c >= 1 && c <= 4;
            if (bPair)
                EXPECT_NEAR(level.bh.view.At(r, c), expected, 1e-4 * std::fabs(expected));
            else
                EXPECT_EQ(level.bh.view.At(r, c), 0.0f) << "Bh " << r << ", " << c;
        }
    for (int c = 0; c < 7; ++c)
        for (int r = 0; r < 6; ++r) {
            const bool bPair = c >= 1 && c <= 5 && r >= 1 && r <= 3;
            if (bPair)
                EXPECT_NEAR(level.bv.view.At(c, r), expected, 1e-4 * std::fabs(expected));
            else
                EXPECT_EQ(level.bv.view.At(c, r), 0.0f) << "Bv " << c << ", " << r;
        }
}

TEST(CouplingTest, SymmetricAndWeakAcrossEdges)
{
    const gw::CouplingParams params{0.1f, 0.2f, 1e-6f};
    EXPECT_EQ(gw::Coupling(0.3f, 0.7f, 0.1f, params), gw::Coupling(0.7f, 0.3f, 0.1f, params));
    // Inside a flat region the coupling is limited by epsilon; across a step of 0.1 between
    // regions of similar mean it is about step / sqrt(epsilon) = 100 times weaker.
    const float fFlat = gw::Coupling(0.5f, 0.5f, 0.1f, params);
    const float fEdge = gw::Coupling(0.45f, 0.55f, 0.1f, params);
    EXPECT_NEAR(fFlat / fEdge, 100.0, 0.1);
    EXPECT_LT(fFlat, 0.0f);
    // Dark regions couple more weakly than bright ones, a wider radius weakens everything.
    EXPECT_GT(gw::Coupling(0.1f, 0.1f, 0.1f, params), fFlat);
    EXPECT_GT(gw::Coupling(0.5f, 0.5f, 0.2f, params), fFlat);
    EXPECT_EQ(gw::ScaledRadius(0.1f, 3, 5), 0.4f);
    EXPECT_EQ(gw::ScaledRadius(0.1f, 5, 5), 0.1f);
}

TEST(CouplingTest, StopLeavesTheRemainingRowsAlone)
{
    OwnedLevel level(6, 6);
    for (int r = 1; r < 5; ++r)
        for (int c = 1; c < 5; ++c)
            level.f.view.At(r, c) = 0.5f;
    StopAfter stop{2};
    gw::ComputeCouplings(level.Grids(), 1, 1, gw::CouplingParams{}, stop.Hook());
    EXPECT_EQ(stop.nSeen, 2);
    EXPECT_LT(level.bh.view.At(2, 1), 0.0f);
    EXPECT_EQ(level.bh.view.At(3, 1), 0.0f);
}

TEST(ResidualTest, ExactSolutionLeavesZeroResidualAndZeroBorder)
{
    // Couplings and values chosen so that every product and sum is exact in float.
    OwnedLevel level(6, 7);
    const float kCouplings[] = {-0.25f, -0.5f, -1.0f, -0.125f};
    int i = 0;
    for (int r = 1; r < 5; ++r)
        for (int c = 1; c < 5; ++c)
            level.bh.view.At(r, c) = kCouplings[i++ % 4];
    for (int c = 1; c < 6; ++c)
        for (int r = 1; r < 4; ++r)
            level.bv.view.At(c, r) = kCouplings[i++ % 4];
    for (int r = 1; r < 5; ++r)
        for (int c = 1; c < 6; ++c)
            level.u.view.At(r, c) = static_cast<float>((r * 3 + c * 5) % 7) - 2.0f;
    for (int r = 1; r < 5; ++r)
        for (int c = 1; c < 6; ++c)
            level.f.view.At(r, c) = static_cast<float>(level.Apply(level.u.view, r, c));
    OwnedGrid work(10, 12, 3.0f); // the finest work grid, larger than this level
    gw::Residual(work.view, level.Grids());
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 7; ++c)
            EXPECT_EQ(work.view.At(r, c), 0.0f) << r << ", " << c;
    EXPECT_EQ(work.view.At(0, 7), 3.0f);

    // A zero guess leaves f itself as the residual.
    gw::ZeroGrid(level.u.view);
    gw::Residual(work.view, level.Grids());
    EXPECT_EQ(work.view.At(2, 3), level.f.view.At(2, 3));
}

TEST(SolveTridiagonalTest, SolvesAndReportsZeroPivots)
{
    float x[4] = {}, g[4] = {};
    const float a1[] = {0.0f}, b1[] = {4.0f}, c1[] = {0.0f}, d1[] = {3.0f};
    gw::SolveTridiagonal(a1, b1, c1, d1, x, g, 1);
    EXPECT_EQ(x[0], 0.75f);

    // 2x - y = 1, -x + 2y - z = 0, -y + 2z - w = 0, -z + 2w = 1: x = y = z = w = 1.
    const float a[] = {0.0f, -1.0f, -1.0f, -1.0f}, b[] = {2.0f, 2.0f, 2.0f, 2.0f};
    const float c[] = {-1.0f, -1.0f, -1.0f, 0.0f}, d[] = {1.0f, 0.0f, 0.0f, 1.0f};
    gw::SolveTridiagonal(a, b, c, d, x, g, 4);
    for (float v : x)
        EXPECT_NEAR(v, 1.0f, 1e-6f);

    const float bZero[] = {0.0f, 1.0f};
    EXPECT_EQ(ErrorText([&] { gw::SolveTridiagonal(a, bZero, c, d, x, g, 2); }),
              "Error 1 in tridag");
    const float a2[] = {0.0f, 1.0f}, b2[] = {1.0f, 1.0f}, c2[] = {1.0f, 0.0f};
    EXPECT_EQ(ErrorText([&] { gw::SolveTridiagonal(a2, b2, c2, d, x, g, 2); }),
              "Error 2 in tridag");
    EXPECT_STREQ(gw::EngineError(gw::EngineError::Kind::TooManyLevels).what(),
                 "The image size is too big!  Increase NGMAX in GWmgrid.");
}

TEST(RelaxLinesTest, ExactSolutionStaysAndErrorShrinks)
{
    std::mt19937 rng(7);
    OwnedLevel level(9, 12);
    level.RandomCouplings(rng, 3.0f);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    OwnedGrid exact(9, 12);
    for (int r = 1; r < 8; ++r)
        for (int c = 1; c < 11; ++c)
            exact.view.At(r, c) = value(rng);
    for (int r = 1; r < 8; ++r)
        for (int c = 1; c < 11; ++c)
            level.f.view.At(r, c) = static_cast<float>(level.Apply(exact.view, r, c));

    level.u.data = exact.data;
    gw::RelaxLines(level.Grids(), level.Lines(), 2, 2, {});
    for (size_t i = 0; i < exact.data.size(); ++i)
        EXPECT_NEAR(level.u.data[i], exact.data[i], 2e-6f);

    // From a zero guess every sweep brings u closer to the solution, and the ring stays 0.
    gw::ZeroGrid(level.u.view);
    double fLastError = 1e30;
    for (int sweep = 0; sweep < 4; ++sweep) {
        gw::RelaxLines(level.Grids(), level.Lines(), 2, 2, {&NeverStop, nullptr});
        double fError = 0.0;
        for (int r = 0; r < 9; ++r)
            for (int c = 0; c < 12; ++c) {
                if (!level.IsInterior(r, c)) {
                    ASSERT_EQ(level.u.view.At(r, c), 0.0f);
                }
                fError = std::max(fError,
                                  std::fabs(double(level.u.view.At(r, c)) - exact.view.At(r, c)));
            }
        EXPECT_LT(fError, fLastError);
        fLastError = fError;
    }
}

TEST(RelaxLinesTest, StopEndsTheSweepAfterTheCurrentLine)
{
    OwnedLevel level(6, 6);
    for (int r = 1; r < 5; ++r)
        for (int c = 1; c < 5; ++c)
            level.f.view.At(r, c) = 1.0f;
    StopAfter stop{1};
    gw::RelaxLines(level.Grids(), level.Lines(), 1, 1, stop.Hook());
    EXPECT_EQ(stop.nSeen, 1);
    // Column 1 was solved (no couplings: u = f), nothing else was touched.
    for (int r = 1; r < 5; ++r) {
        EXPECT_EQ(level.u.view.At(r, 1), 1.0f);
        EXPECT_EQ(level.u.view.At(r, 2), 0.0f);
    }
}

TEST(SolveCoarsestTest, SolvesTheSingleInteriorLineExactly)
{
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);

    OwnedLevel single(3, 3);
    single.f.view.At(1, 1) = 0.625f;
    single.u.view.At(0, 0) = 9.0f;
    gw::SolveCoarsest(single.Grids(), single.Lines());
    EXPECT_EQ(single.u.view.At(1, 1), 0.625f);
    EXPECT_EQ(single.u.view.At(0, 0), 0.0f);

    // A longer coarsest line is solved exactly: A u = f holds at every interior point.
    for (auto [nr, nc] : {std::pair{3, 9}, std::pair{11, 3}}) {
        OwnedLevel level(nr, nc);
        level.RandomCouplings(rng, 5.0f);
        for (int r = 1; r < nr - 1; ++r)
            for (int c = 1; c < nc - 1; ++c)
                level.f.view.At(r, c) = value(rng);
        gw::SolveCoarsest(level.Grids(), level.Lines());
        for (int r = 1; r < nr - 1; ++r)
            for (int c = 1; c < nc - 1; ++c)
                EXPECT_NEAR(level.Apply(level.u.view, r, c), level.f.view.At(r, c), 1e-5)
                    << nr << " x " << nc;
    }
}
