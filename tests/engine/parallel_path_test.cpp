// The parallel, vectorised path against the straightforward one: the same bits for
// every image shape, mode and thread count, the same progress reports, the same stop
// points, and the same failure on a zero pivot.
#include "CImageEngine.h"
#include "EngineError.h"
#include "KernelsFast.h"
#include "KernelsRelax.h"
#include "TestImage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// An nRows x nCols colour image cut from the photo, mirrored where it runs past the edge,
// so every size shows real edges and shadows.
std::vector<float> PhotoOfSize(const testimage::Image& photo, int nRows, int nCols)
{
    std::vector<float> rgb;
    rgb.reserve(static_cast<std::size_t>(nRows) * nCols * 3);
    auto mirror = [](int i, int n) {
        const int nPeriod = 2 * n;
        i %= nPeriod;
        return i < n ? i : nPeriod - 1 - i;
    };
    for (int r = 0; r < nRows; ++r) {
        for (int c = 0; c < nCols; ++c) {
            const std::size_t i =
                (static_cast<std::size_t>(mirror(r, photo.nRows)) * photo.nCols + mirror(c, photo.nCols)) * 3;
            rgb.insert(rgb.end(), photo.rgb.begin() + static_cast<std::ptrdiff_t>(i),
                       photo.rgb.begin() + static_cast<std::ptrdiff_t>(i) + 3);
        }
    }
    return rgb;
}

struct RunSetup
{
    int bColor = 1;
    unsigned char bFast = 0;
    unsigned char bFinalScaling = 0;
};

// Progress as the callback heard it, and an optional stop after a number of calls.
std::vector<int> g_percents;
int g_nStopAfter = -1;

int RecordProgress(int nPercent)
{
    g_percents.push_back(nPercent);
    return g_nStopAfter >= 0 && static_cast<int>(g_percents.size()) > g_nStopAfter ? 0 : 1;
}

struct RunResult
{
    std::vector<float> pixels;
    std::vector<int> percents;
    float fProgressDone = 0.0f;
};

// bReference selects the straightforward path; nThreads the parallel path's threads.
RunResult RunEngine(const std::vector<float>& rgb, int nRows, int nCols, const RunSetup& setup,
                    bool bReference, int nThreads, int nStopAfter = -1)
{
    RunResult result;
    if (setup.bColor) {
        result.pixels = rgb;
    } else {
        for (std::size_t i = 1; i < rgb.size(); i += 3)
            result.pixels.push_back(rgb[i]);
    }
    g_percents.clear();
    g_nStopAfter = nStopAfter;
    CImageEngine engine(setup.bColor, nRows, nCols, -2, RecordProgress);
    engine.SetAmount(0.6f);
    engine.SetEpsilon(1e-4f);
    engine.SetThermal(0.4f);
    engine.SetRadius(0.0995f);
    engine.SetFastMode(setup.bFast);
    engine.SetFinalScaling(setup.bFinalScaling);
    engine.SetReferencePath(bReference);
    engine.SetThreadCount(nThreads);
    engine.Run(result.pixels.data(), 0.0f, 0.0f);
    float fLow = 0.0f, fHigh = 0.0f;
    engine.GetOutputRange(fLow, fHigh);
    result.pixels.push_back(fLow);
    result.pixels.push_back(fHigh);
    result.percents = g_percents;
    result.fProgressDone = engine.ProgressDone();
    g_nStopAfter = -1;
    return result;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST(ParallelPathTest, SameBitsAsReferenceForEveryShapeModeAndThreadCount)
{
    const testimage::Image photo = testimage::Coffee();
    ASSERT_GT(photo.nRows, 0) << "test photo missing";
    // Odd and even extents, single rows and columns, and shapes with many lane groups
    // (enough lines and rows that three and seven threads all get work).
    const int sizes[][2] = {{60, 90}, {61, 89}, {1, 37}, {37, 1}, {2, 2}, {3, 50}, {50, 4}, {181, 250}, {250, 181}};
    for (const auto& size : sizes) {
        const int nRows = size[0];
        const int nCols = size[1];
        const std::vector<float> rgb = PhotoOfSize(photo, nRows, nCols);
        for (int nSetup = 0; nSetup < 8; ++nSetup) {
            const RunSetup setup{nSetup & 1, static_cast<unsigned char>((nSetup >> 1) & 1),
                                 static_cast<unsigned char>((nSetup >> 2) & 1)};
            const RunResult reference = RunEngine(rgb, nRows, nCols, setup, true, 1);
            for (int nThreads : {1, 2, 3, 7}) {
                const RunResult fast = RunEngine(rgb, nRows, nCols, setup, false, nThreads);
                const std::string what = std::to_string(nRows) + "x" + std::to_string(nCols) + " colour " +
                                         std::to_string(setup.bColor) + " speed " + std::to_string(setup.bFast) +
                                         " scaling " + std::to_string(setup.bFinalScaling) + " threads " +
                                         std::to_string(nThreads);
                EXPECT_TRUE(SameBits(fast.pixels, reference.pixels)) << what;
                // The same units in the same order: the same percentages, call for call.
                EXPECT_EQ(fast.percents, reference.percents) << what;
                EXPECT_EQ(fast.fProgressDone, reference.fProgressDone) << what;
            }
        }
    }
}

TEST(ParallelPathTest, AnEngineRunsAgainWithFreshWorkerThreads)
{
    // The worker threads end with each run and start again with the next one.
    const testimage::Image photo = testimage::Coffee();
    ASSERT_GT(photo.nRows, 0) << "test photo missing";
    const std::vector<float> rgb = PhotoOfSize(photo, 181, 250);
    const RunResult reference = RunEngine(rgb, 181, 250, RunSetup{}, true, 1);
    CImageEngine engine(1, 181, 250, -2, nullptr);
    engine.SetAmount(0.6f);
    engine.SetEpsilon(1e-4f);
    engine.SetThermal(0.4f);
    engine.SetRadius(0.0995f);
    engine.SetThreadCount(3);
    for (int nRun = 0; nRun < 3; ++nRun) {
        engine.SetOutputRange(-1.0f, 1.0f);
        std::vector<float> pixels = rgb;
        engine.Run(pixels.data(), 0.0f, 0.0f);
        float fLow = 0.0f, fHigh = 0.0f;
        engine.GetOutputRange(fLow, fHigh);
        pixels.push_back(fLow);
        pixels.push_back(fHigh);
        EXPECT_TRUE(SameBits(pixels, reference.pixels)) << "run " << nRun;
    }
}

TEST(ParallelPathTest, StopsAtTheSameReportAsReference)
{
    const testimage::Image photo = testimage::Coffee();
    ASSERT_GT(photo.nRows, 0) << "test photo missing";
    const std::vector<float> rgb = PhotoOfSize(photo, 120, 170);
    const RunSetup setup{1, 0, 0};
    const RunResult full = RunEngine(rgb, 120, 170, setup, true, 1);
    ASSERT_GT(full.percents.size(), 100u);
    for (int n = 1; n < 8; ++n) {
        const int nStopAfter = static_cast<int>(full.percents.size()) * n / 8;
        const RunResult reference = RunEngine(rgb, 120, 170, setup, true, 1, nStopAfter);
        const RunResult fast = RunEngine(rgb, 120, 170, setup, false, 2, nStopAfter);
        // The run ends within a few reports of the refusal, on both paths alike.
        EXPECT_LE(reference.percents.size(), static_cast<std::size_t>(nStopAfter) + 4);
        EXPECT_EQ(fast.percents, reference.percents) << "stop after " << nStopAfter;
    }
    // Percentages climb and end at 99.
    for (std::size_t i = 1; i < full.percents.size(); ++i)
        ASSERT_LE(full.percents[i - 1], full.percents[i]);
    EXPECT_EQ(full.percents.back(), 99);
}

TEST(ParallelPathTest, StopInTheLastStageLeavesLaterRowsOfTheBuffer)
{
    // Grey, 200 rows; the blend of a reflectance of 1 at full amount turns every value into 1.
    constexpr int kRows = 200;
    constexpr int kCols = 9;
    CImageEngine engine(0, kRows, kCols, -2, RecordProgress);
    engine.SetAmount(1.0f);
    engine.SetThreadCount(2);
    CMatrix& work = engine.Grids().Work();
    for (int r = 1; r <= kRows; ++r)
        for (int c = 1; c <= kCols; ++c)
            work.At(r, c) = 1.0f;
    std::vector<float> pixels(static_cast<std::size_t>(kRows) * kCols, 0.25f);
    g_percents.clear();
    g_nStopAfter = 0;
    engine.Recombine(pixels.data(), pixels.data(), kRows, kCols, kCols);
    g_nStopAfter = -1;
    EXPECT_EQ(pixels.front(), 1.0f);
    // Rows are written a block at a time; far fewer than all of them before the stop.
    EXPECT_EQ(pixels.back(), 0.25f);
}

// A level of random grids, for the kernels on their own. The straightforward kernels take Bv
// transposed, the parallel ones row-major (bRowMajorBv); both get the same couplings.
struct RandomLevel
{
    std::vector<float> bh, bv, f, u;
    gw::LevelGrids grids;
    bool bRowMajor = false;

    RandomLevel(int nRows, int nCols, unsigned nSeed, bool bRowMajorBv = false)
        : bh(static_cast<std::size_t>(nRows) * nCols), bv(bh.size()), f(bh.size()), u(bh.size()),
          bRowMajor(bRowMajorBv)
    {
        std::mt19937 random(nSeed);
        std::uniform_real_distribution<float> coupling(-3.0f, 0.0f);
        std::uniform_real_distribution<float> value(0.0f, 1.0f);
        for (std::size_t i = 0; i < bh.size(); ++i) {
            bh[i] = coupling(random);
            bv[i] = coupling(random);
            f[i] = value(random);
            u[i] = value(random);
        }
        gw::GridView bvView = gw::GridView::Of(bv.data(), nCols, nRows);
        if (bRowMajor) {
            const std::vector<float> transposed = bv;
            for (int r = 0; r < nRows; ++r) {
                for (int c = 0; c < nCols; ++c)
                    bv[static_cast<std::size_t>(r) * nCols + c] = transposed[static_cast<std::size_t>(c) * nRows + r];
            }
            bvView = gw::GridView::Of(bv.data(), nRows, nCols);
        }
        grids = gw::LevelGrids{gw::GridView::Of(bh.data(), nRows, nCols), bvView,
                               gw::GridView::Of(f.data(), nRows, nCols), gw::GridView::Of(u.data(), nRows, nCols)};
    }

    /// The coupling of (r, c) with (r + 1, c).
    float& Bv(int r, int c) { return bRowMajor ? grids.bv.At(r, c) : grids.bv.At(c, r); }
};

TEST(ParallelKernelsTest, RelaxationMatchesAndFailsLikeTheReference)
{
    for (const auto& size : {std::pair{5, 7}, std::pair{40, 33}, std::pair{97, 130}, std::pair{3, 300}}) {
        const auto [nRows, nCols] = size;
        const int nLine = std::max(nRows, nCols);
        std::vector<float> scratch(static_cast<std::size_t>(4) * nLine);
        const gw::LineVectors lines{scratch.data(), scratch.data() + nLine, scratch.data() + 2 * nLine,
                                    scratch.data() + 3 * nLine};
        RandomLevel reference(nRows, nCols, 7);
        gw::RelaxLines(reference.grids, lines, 3, 3, {});
        for (int nThreads : {1, 3}) {
            RandomLevel fast(nRows, nCols, 7, true);
            gw::CParallelKernels kernels(nThreads, nLine);
            kernels.RelaxLines(fast.grids, 3, 3, {});
            EXPECT_TRUE(SameBits(fast.u, reference.u)) << nRows << "x" << nCols << " threads " << nThreads;
        }
    }

    // A zero pivot in one lane of a column group (column 5's first diagonal is
    // 1 - 0.5 - 0.5 with no vertical couplings): the same error as the reference.
    auto zeroPivotKind = [](bool bFast) {
        RandomLevel level(9, 20, 3, bFast);
        level.grids.bh.At(1, 5) = 0.5f;
        level.grids.bh.At(1, 4) = 0.5f;
        level.Bv(0, 5) = 0.0f;
        level.Bv(1, 5) = 0.0f;
        std::vector<float> scratch(4 * 20);
        try {
            if (bFast) {
                gw::CParallelKernels kernels(2, 20);
                kernels.RelaxLines(level.grids, 1, 1, {});
            } else {
                gw::RelaxLines(level.grids, {scratch.data(), scratch.data() + 20, scratch.data() + 40, scratch.data() + 60},
                               1, 1, {});
            }
        } catch (const gw::EngineError& error) {
            return static_cast<int>(error.GetKind());
        }
        return -1;
    };
    const int nReferenceKind = zeroPivotKind(false);
    EXPECT_NE(nReferenceKind, -1);
    EXPECT_EQ(zeroPivotKind(true), nReferenceKind);
}

} // namespace
