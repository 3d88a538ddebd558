// The illumination solver as the engine runs it: against a dense direct solve of the same
// discrete system on tiny grids, on constant images, in fast and single-sweep modes, and with
// stop requests.
#include "CImageEngine.h"
#include "TestImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// A photo-like grey image without any library maths: a lit gradient, a dark object with a hard
// edge and some fine texture, in [0, 1].
std::vector<float> PhotoLike(int nRows, int nCols)
{
    std::vector<float> img(static_cast<size_t>(nRows) * nCols);
    std::uint32_t seed = 12345;
    for (int r = 0; r < nRows; ++r)
        for (int c = 0; c < nCols; ++c) {
            seed = seed * 1664525u + 1013904223u;
            const float fTexture = static_cast<float>(seed >> 24) / 255.0f * 0.08f;
            float v = 0.25f + 0.5f * static_cast<float>(c) / static_cast<float>(nCols);
            if (r > nRows / 3 && c > nCols / 4 && c < (3 * nCols) / 4)
                v *= 0.2f;
            img[static_cast<size_t>(r) * nCols + c] = std::min(1.0f, v + fTexture);
        }
    return img;
}

// The exact solution of the finest system A u = image, from the finest couplings the solver
// left, by banded Gaussian elimination in double (interior points in row order; the matrix is
// diagonally dominant, so no pivoting is needed).
std::vector<double> DirectSolve(CImageEngine& engine, const std::vector<float>& img)
{
    CGridMemory& grids = engine.Grids();
    const int nLevels = grids.Levels();
    const CMatrix& bh = grids.HorizontalCoupling(nLevels);
    const CMatrix& bv = grids.VerticalCoupling(nLevels);
    const int nr = engine.Rows(), nc = engine.Cols(), n = nr * nc, nBand = nc;
    std::vector<double> m(static_cast<size_t>(n) * (2 * nBand + 1), 0.0);
    std::vector<double> b(img.begin(), img.end());
    auto at = [&](int i, int j) -> double& {
        return m[static_cast<size_t>(i) * (2 * nBand + 1) + (j - i + nBand)];
    };
    for (int r = 1; r <= nr; ++r)
        for (int c = 1; c <= nc; ++c) {
            const int i = (r - 1) * nc + (c - 1);
            const double w = bh.At(r, c - 1), e = bh.At(r, c), no = bv.At(c, r - 1),
                         s = bv.At(c, r);
            at(i, i) = 1.0 - w - e - no - s;
            if (c > 1)
                at(i, i - 1) = w;
            if (c < nc)
                at(i, i + 1) = e;
            if (r > 1)
                at(i, i - nc) = no;
            if (r < nr)
                at(i, i + nc) = s;
        }
    for (int k = 0; k < n; ++k)
        for (int i = k + 1; i <= std::min(n - 1, k + nBand); ++i) {
            const double q = at(i, k) / at(k, k);
            if (q == 0.0)
                continue;
            for (int j = k; j <= std::min(n - 1, k + nBand); ++j)
                at(i, j) -= q * at(k, j);
            b[i] -= q * b[k];
        }
    std::vector<double> x(n);
    for (int k = n - 1; k >= 0; --k) {
        double s = b[k];
        for (int j = k + 1; j <= std::min(n - 1, k + nBand); ++j)
            s -= at(k, j) * x[j];
        x[k] = s / at(k, k);
    }
    return x;
}

double MaxInteriorDifference(const CMatrix& grid, const std::vector<double>& x, int nr, int nc)
{
    double d = 0.0;
    for (int r = 1; r <= nr; ++r)
        for (int c = 1; c <= nc; ++c)
            d = std::max(d,
                         std::fabs(grid.At(r, c) - x[static_cast<size_t>((r - 1) * nc + c - 1)]));
    return d;
}

// Callbacks carry no context: the tests share these counters.
int gnCalls = 0;
int gnStopAt = 0;
int CountingCallback(int)
{
    ++gnCalls;
    return (gnStopAt > 0 && gnCalls >= gnStopAt) ? 0 : 1;
}

} // namespace

TEST(SolverTest, SingleLevelIsSolvedExactly)
{
    // An image one pixel high or wide has one level: couplings, one exact line solve, copy.
    for (auto [nRows, nCols] : {std::pair{1, 9}, std::pair{9, 1}, std::pair{1, 1}}) {
        CImageEngine engine(0, nRows, nCols, -2, nullptr);
        engine.SetReferencePath(true); // the direct solve reads its grids in their stored layout
        ASSERT_EQ(engine.Grids().Levels(), 1);
        std::vector<float> img = PhotoLike(nRows, nCols);
        engine.SolveIllumination(img.data(), nRows, nCols, nCols, false);
        const std::vector<double> x = DirectSolve(engine, img);
        EXPECT_LE(MaxInteriorDifference(engine.Grids().Illumination(), x, nRows, nCols), 3e-5)
            << nRows << " x " << nCols;
        EXPECT_LE(MaxInteriorDifference(engine.Grids().Solution(1), x, nRows, nCols), 3e-5);
    }
}

TEST(SolverTest, OneFullMultigridPassApproachesTheDirectSolution)
{
    // One cycle per level is no solve to convergence, but it must bring the solution well
    // towards the exact one of the finest system: much closer than the image itself, from two
    // levels up to a photo-like image with the default parameters. Fast mode stops one level
    // short and is only required to stay within the image's range.
    struct Case
    {
        int nRows, nCols;
        float fRadius;
        double fRatio;
    };
    for (const Case& t : {Case{2, 2, 2.0f, 0.15}, Case{6, 7, 2.0f, 0.15}, Case{13, 10, 0.1f, 0.1},
                          Case{61, 83, 0.1f, 0.5}, Case{120, 90, 2.0f, 0.5}})
    {
        CImageEngine engine(0, t.nRows, t.nCols, -2, nullptr);
        engine.SetReferencePath(true); // the direct solve reads its grids in their stored layout
        engine.SetRadius(t.fRadius);
        std::vector<float> img = PhotoLike(t.nRows, t.nCols);
        engine.SolveIllumination(img.data(), t.nRows, t.nCols, t.nCols, false);
        const std::vector<double> x = DirectSolve(engine, img);
        double fGuess = 0.0;
        for (size_t i = 0; i < x.size(); ++i)
            fGuess = std::max(fGuess, std::fabs(img[i] - x[i]));
        const int nLevels = engine.Grids().Levels();
        const double fError =
            MaxInteriorDifference(engine.Grids().Illumination(), x, t.nRows, t.nCols);
        EXPECT_LE(fError, t.fRatio * fGuess)
            << t.nRows << " x " << t.nCols << ", " << nLevels << " levels";
        EXPECT_EQ(fError,
                  MaxInteriorDifference(engine.Grids().Solution(nLevels), x, t.nRows, t.nCols));

        engine.SetFastMode(1);
        engine.SolveIllumination(img.data(), t.nRows, t.nCols, t.nCols, false);
        const CMatrix& f = engine.Grids().Illumination();
        for (int r = 1; r <= t.nRows; ++r)
            for (int c = 1; c <= t.nCols; ++c)
                ASSERT_TRUE(f.At(r, c) > 0.0f && f.At(r, c) < 1.0f) << r << ", " << c;
    }
}

TEST(SolverTest, OneFullMultigridPassApproachesTheDirectSolutionOnARealPhoto)
{
    const testimage::Image photo = testimage::Coffee();
    ASSERT_GT(photo.nRows, 0) << "test photo missing";
    const std::vector<float> img = testimage::GreenOf(photo);
    for (float fRadius : {0.1f, 2.0f}) {
        CImageEngine engine(0, photo.nRows, photo.nCols, -2, nullptr);
        engine.SetReferencePath(true); // the direct solve reads its grids in their stored layout
        engine.SetRadius(fRadius);
        std::vector<float> buf = img;
        engine.SolveIllumination(buf.data(), photo.nRows, photo.nCols, photo.nCols, false);
        const std::vector<double> x = DirectSolve(engine, img);
        double fGuess = 0.0;
        for (size_t i = 0; i < x.size(); ++i)
            fGuess = std::max(fGuess, std::fabs(img[i] - x[i]));
        const double fError =
            MaxInteriorDifference(engine.Grids().Illumination(), x, photo.nRows, photo.nCols);
        EXPECT_LE(fError, 0.25 * fGuess)
            << "radius " << fRadius << ": " << fError << " vs " << fGuess;
        EXPECT_EQ(buf, img); // the solver only reads the buffer
    }
}

TEST(SolverTest, ConstantImageSolvesToItself)
{
    for (bool bFast : {false, true}) {
        CImageEngine engine(0, 20, 33, -2, nullptr);
        engine.SetFastMode(bFast);
        std::vector<float> img(20 * 33, 0.4f);
        engine.SolveIllumination(img.data(), 20, 33, 33, false);
        const CMatrix& f = engine.Grids().Illumination();
        for (int r = 0; r < 22; ++r)
            for (int c = 0; c < 35; ++c) {
                const bool bBorder = r == 0 || c == 0 || r == 21 || c == 34;
                if (bBorder)
                    EXPECT_EQ(f.At(r, c), 0.0f);
                else
                    EXPECT_NEAR(f.At(r, c), 0.4f, 3e-4f)
                        << r << ", " << c << (bFast ? " fast" : "");
            }
    }
}

TEST(SolverTest, ReadsTheValueChannelThroughTheStride)
{
    // Colour buffer with a stride wider than the image: only channel 2 of the first nCols
    // pixels of each row may reach the grid.
    const int nRows = 5, nCols = 4, nStride = 6;
    CImageEngine engine(1, nRows, nCols, -2, nullptr);
    std::vector<float> buf(static_cast<size_t>(nRows) * nStride * 3, 9.0f);
    for (int r = 0; r < nRows; ++r)
        for (int c = 0; c < nCols; ++c)
            buf[(static_cast<size_t>(r) * nStride + c) * 3 + 2] = 0.5f;
    engine.SolveIllumination(buf.data(), nRows, nCols, nStride, false);
    for (int r = 1; r <= nRows; ++r)
        for (int c = 1; c <= nCols; ++c)
            EXPECT_NEAR(engine.Grids().Illumination().At(r, c), 0.5f, 3e-4f);
    EXPECT_THROW(engine.SolveIllumination(buf.data(), nRows + 1, nCols, nStride, false),
                 std::invalid_argument);
}

TEST(SolverTest, FastModeLeavesTheFinestSolutionAloneAndProlongsLevelBelow)
{
    const int nRows = 24, nCols = 30;
    CImageEngine engine(0, nRows, nCols, -2, nullptr);
    engine.SetFastMode(1);
    CGridMemory& grids = engine.Grids();
    const int nLevels = grids.Levels();
    ASSERT_GE(nLevels, 2);
    grids.Solution(nLevels).Fill(123.0f);
    std::vector<float> img = PhotoLike(nRows, nCols);
    engine.SolveIllumination(img.data(), nRows, nCols, nCols, false);
    const CMatrix& u = grids.Solution(nLevels);
    for (int r = 0; r < u.Rows(); ++r)
        for (int c = 0; c < u.Cols(); ++c)
            ASSERT_EQ(u.At(r, c), 123.0f);

    // The result is the prolonged coarse solution: bilinear, so every odd fine point between
    // two even ones is their mean.
    const CMatrix& f = grids.Illumination();
    for (int r = 2; r < nRows; r += 2)
        for (int c = 3; c < nCols - 1; c += 2)
            EXPECT_EQ(f.At(r, c), 0.5f * (f.At(r, c - 1) + f.At(r, c + 1)));
}

TEST(SolverTest, SingleSweepSmoothsInPlaceAndKeepsTheImageAsRightSide)
{
    const int nRows = 16, nCols = 19;
    CImageEngine engine(0, nRows, nCols, -2, nullptr);
    engine.SetRadius(2.0f);
    std::vector<float> img = PhotoLike(nRows, nCols);
    engine.SolveIllumination(img.data(), nRows, nCols, nCols, true);
    CGridMemory& grids = engine.Grids();
    const CMatrix& u = grids.Solution(grids.Levels());
    const CMatrix& f = grids.Illumination();
    // The solution grid holds the image; f holds a smoothed image: its texture (second
    // differences along the lit rows) shrinks.
    double fBefore = 0.0, fAfter = 0.0;
    for (int r = 1; r <= nRows / 3; ++r)
        for (int c = 2; c < nCols; ++c) {
            EXPECT_EQ(u.At(r, c), img[static_cast<size_t>(r - 1) * nCols + c - 1]);
            fBefore += std::fabs(u.At(r, c - 1) - 2.0f * u.At(r, c) + u.At(r, c + 1));
            fAfter += std::fabs(f.At(r, c - 1) - 2.0f * f.At(r, c) + f.At(r, c + 1));
        }
    EXPECT_LT(fAfter, 0.5 * fBefore);

    // A constant stays constant.
    std::vector<float> flat(static_cast<size_t>(nRows) * nCols, 0.7f);
    engine.SolveIllumination(flat.data(), nRows, nCols, nCols, true);
    EXPECT_NEAR(f.At(5, 5), 0.7f, 3e-4f);
}

TEST(SolverTest, StopRequestEndsTheSolveWithinOneReport)
{
    // Stop at several points of the schedule: every time the solver returns without an error,
    // and after the stopping answer it asks at most twice more (the checks on the way out).
    const int nRows = 40, nCols = 50;
    std::vector<float> img = PhotoLike(nRows, nCols);
    gnCalls = 0;
    gnStopAt = 0;
    {
        CImageEngine engine(0, nRows, nCols, -2, &CountingCallback);
        const int nConstruct = gnCalls;
        engine.SolveIllumination(img.data(), nRows, nCols, nCols, false);
        gnStopAt = gnCalls - nConstruct; // reports of a whole solve
    }
    const int nTotal = gnStopAt;
    ASSERT_GT(nTotal, 100);
    for (int nStop : {1, nRows + 1, nRows + 10, nTotal / 2, nTotal - 1}) {
        gnCalls = 0;
        gnStopAt = 0;
        CImageEngine engine(0, nRows, nCols, -2, &CountingCallback);
        gnStopAt = gnCalls + nStop;
        engine.SolveIllumination(img.data(), nRows, nCols, nCols, false);
        EXPECT_TRUE(engine.IsAborted());
        EXPECT_LE(gnCalls - gnStopAt, 2) << "stop at report " << nStop;
    }
}

TEST(SolverTest, SameBitsOnEveryTarget)
{
    // Guards against change and, run natively, under Wine (x64) and for x86, shows that every
    // target computes the same bits: the checksum was recorded from a native build.
    const int nRows = 37, nCols = 53;
    std::uint64_t nHash = 1469598103934665603ull;
    for (bool bFast : {false, true}) {
        CImageEngine engine(0, nRows, nCols, -2, nullptr);
        engine.SetFastMode(bFast);
        std::vector<float> img = PhotoLike(nRows, nCols);
        engine.SolveIllumination(img.data(), nRows, nCols, nCols, false);
        const CMatrix& f = engine.Grids().Illumination();
        for (int r = 0; r < f.Rows(); ++r)
            for (int c = 0; c < f.Cols(); ++c) {
                std::uint32_t nBits = 0;
                const float v = f.At(r, c);
                static_assert(sizeof(nBits) == sizeof(v));
                std::memcpy(&nBits, &v, sizeof(v));
                nHash = (nHash ^ nBits) * 1099511628211ull;
            }
    }
    EXPECT_EQ(nHash, 16935976094422114441ull);
}
