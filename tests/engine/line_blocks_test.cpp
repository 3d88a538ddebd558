// The parallel kernels on levels large enough that every thread count gets many blocks of line
// groups: both colours of a direction then run as a front inside each part, and the blocks at
// the parts' ends wait for the end of the pass. The straightforward kernels are the reference.
#include "CImageEngine.h"
#include "kernels/KernelsCoupling.h"
#include "parallel/ParallelKernels.h"
#include "kernels/KernelsGrid.h"
#include "kernels/KernelsRelax.h"
#include "CpuFeatures.h"
#include "lanes/KernelsLanes.h"
#include "TestImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// One level's grids from the photo's green channel, in both layouts of the vertical couplings.
struct PhotoLevel
{
    int nRows, nCols;
    std::vector<float> bh, bvTransposed, bvRowMajor, f, uReference, uParallel, work;

    PhotoLevel(const testimage::Image& photo, int nRowsIn, int nColsIn)
        : nRows(nRowsIn)
        , nCols(nColsIn)
        , bh(Size())
        , bvTransposed(Size())
        , bvRowMajor(Size())
        , f(Size())
        , uReference(Size())
        , uParallel(Size())
        , work(Size())
    {
        const std::vector<float> green = testimage::GreenOf(testimage::Tiled(photo, nRows, nCols));
        for (int r = 1; r < nRows - 1; ++r) {
            for (int c = 1; c < nCols - 1; ++c) {
                f[Index(r, c)] = green[Index(r, c)];
                // A start that is not the answer, so the sweeps have work to do.
                uReference[Index(r, c)] = uParallel[Index(r, c)] =
                    0.5f * green[Index(r, c)] + 0.25f;
            }
        }
    }

    std::size_t Size() const { return static_cast<std::size_t>(nRows) * nCols; }
    std::size_t Index(int r, int c) const { return static_cast<std::size_t>(r) * nCols + c; }

    gw::LevelGrids Reference()
    {
        return {gw::GridView::Of(bh.data(), nRows, nCols),
                gw::GridView::Of(bvTransposed.data(), nCols, nRows),
                gw::GridView::Of(f.data(), nRows, nCols),
                gw::GridView::Of(uReference.data(), nRows, nCols)};
    }

    gw::LevelGrids Parallel()
    {
        return {gw::GridView::Of(bh.data(), nRows, nCols),
                gw::GridView::Of(bvRowMajor.data(), nRows, nCols),
                gw::GridView::Of(f.data(), nRows, nCols),
                gw::GridView::Of(uParallel.data(), nRows, nCols)};
    }
};

bool SameBits(const std::vector<float>& a, const std::vector<float>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST(LineBlocksTest, CouplingsResidualAndSweepsMatchTheReferenceForEveryThreadCount)
{
    const testimage::Image photo = testimage::Coffee();
    ASSERT_GT(photo.nRows, 0) << "test photo missing";
    const gw::CouplingParams params{0.0995f, 0.4f, 1e-4f};
    // Odd and even extents; widths that leave a partial group and a block of fewer than four
    // full column groups at the end; and extents whose last even line opens a second-colour
    // block of its own, past the last first-colour block, with parts of one or two blocks.
    for (const auto& size : {std::pair{803, 1203}, std::pair{1202, 530}, std::pair{97, 1500},
                             std::pair{130, 642}}) {
        const auto [nRows, nCols] = size;
        for (int nThreads : {1, 2, 7}) {
            const std::string what = std::to_string(nRows) + "x" + std::to_string(nCols)
                                   + " threads " + std::to_string(nThreads);
            PhotoLevel level(photo, nRows, nCols);
            const gw::LevelGrids reference = level.Reference();
            const gw::LevelGrids parallel = level.Parallel();
            gw::CWorkerPool pool(nThreads);
            gw::CParallelKernels kernels(pool, std::max(nRows, nCols));

            gw::ComputeCouplings(reference, 2, 2, params, {});
            std::vector<float> bhReference = level.bh;
            kernels.ComputeCouplings(parallel, 2, 2, params, {});
            EXPECT_TRUE(SameBits(level.bh, bhReference)) << "horizontal couplings, " << what;
            bool bSameBv = true;
            for (int r = 0; r < nRows && bSameBv; ++r) {
                for (int c = 0; c < nCols; ++c) {
                    const float fRowMajor = level.bvRowMajor[level.Index(r, c)];
                    const float fTransposed =
                        level.bvTransposed[static_cast<std::size_t>(c) * nRows + r];
                    if (std::memcmp(&fRowMajor, &fTransposed, sizeof(float)) != 0) {
                        bSameBv = false;
                        break;
                    }
                }
            }
            EXPECT_TRUE(bSameBv) << "vertical couplings, " << what;

            std::vector<float> scratch(static_cast<std::size_t>(4) * std::max(nRows, nCols));
            const gw::LineVectors lines{scratch.data(), scratch.data() + std::max(nRows, nCols),
                                        scratch.data() + 2 * std::max(nRows, nCols),
                                        scratch.data() + 3 * std::max(nRows, nCols)};
            for (int nSweep = 0; nSweep < 2; ++nSweep) {
                gw::RelaxLines(reference, lines, 2, 2, {});
                kernels.RelaxLines(parallel, 2, 2, {});
                EXPECT_TRUE(SameBits(level.uParallel, level.uReference))
                    << "sweep " << nSweep << ", " << what;
            }

            std::vector<float> workReference(level.Size());
            gw::Residual(gw::GridView::Of(workReference.data(), nRows, nCols), reference);
            kernels.Residual(gw::GridView::Of(level.work.data(), nRows, nCols), parallel);
            EXPECT_TRUE(SameBits(level.work, workReference)) << "residual, " << what;
        }
    }
}

TEST(LineBlocksTest, WholeRunOnALargePhotoHasTheReferenceBits)
{
    const testimage::Image photo = testimage::Coffee();
    ASSERT_GT(photo.nRows, 0) << "test photo missing";
    const int nRows = 801;
    const int nCols = 1203;
    const std::vector<float> rgb = testimage::Tiled(photo, nRows, nCols).rgb;
    auto run = [&](bool bReference, int nThreads, unsigned char bFast) {
        std::vector<float> pixels = rgb;
        CImageEngine engine(1, nRows, nCols, -2, nullptr);
        engine.SetAmount(0.6f);
        engine.SetEpsilon(1e-4f);
        engine.SetThermal(0.4f);
        engine.SetRadius(0.0995f);
        engine.SetFastMode(bFast);
        engine.SetFinalScaling(1);
        engine.SetReferencePath(bReference);
        engine.SetThreadCount(nThreads);
        engine.Run(pixels.data(), 0.0f, 0.0f);
        return pixels;
    };
    for (unsigned char bFast : {0, 1}) {
        const std::vector<float> reference = run(true, 1, bFast);
        for (int nThreads : {2, 7})
            EXPECT_TRUE(SameBits(run(false, nThreads, bFast), reference))
                << "speed " << int{bFast} << " threads " << nThreads;
    }
}

} // namespace

// The portable bodies of the lane kernels, which targets without AVX2 run, against the AVX2
// bodies: coupling and residual rows, column calls of one to four groups and row groups of
// both colours with their stores, and a transpose with partial tiles.
TEST(LaneKernelsTest, PortableBodiesHaveTheAvx2Bits)
{
    if (!gw::cpu::HasAvx2())
        GTEST_SKIP() << "no AVX2 bodies to compare with";
    const testimage::Image photo = testimage::Coffee();
    ASSERT_GT(photo.nRows, 0) << "test photo missing";
    const int nRows = 45;
    const int nCols = 83;
    PhotoLevel level(photo, nRows, nCols);
    const gw::LevelGrids grids = level.Parallel();
    gw::CWorkerPool pool(1);
    gw::CParallelKernels kernels(pool, std::max(nRows, nCols));
    kernels.ComputeCouplings(grids, 2, 3, gw::CouplingParams{0.0995f, 0.4f, 1e-4f}, {});

    std::vector<float> a(4 * static_cast<std::size_t>(nCols)), b(a.size());
    for (int r = 1; r <= nRows - 2; ++r) {
        gw::lanes::CouplingRowContiguous(grids.f.Row(r), grids.f.Row(r + 1), nCols, 0.3f, {},
                                         a.data(), a.data() + nCols);
        gw::lanes::portable::CouplingRowContiguous(grids.f.Row(r), grids.f.Row(r + 1), nCols, 0.3f,
                                                   {}, b.data(), b.data() + nCols);
        gw::lanes::ResidualRowContiguous(grids.u.Row(r - 1), grids.u.Row(r), grids.u.Row(r + 1),
                                         grids.f.Row(r), grids.bh.Row(r), grids.bv.Row(r - 1),
                                         grids.bv.Row(r), nCols, a.data() + 2 * nCols);
        gw::lanes::portable::ResidualRowContiguous(
            grids.u.Row(r - 1), grids.u.Row(r), grids.u.Row(r + 1), grids.f.Row(r), grids.bh.Row(r),
            grids.bv.Row(r - 1), grids.bv.Row(r), nCols, b.data() + 2 * nCols);
        // Only the interior points of the coupling rows are written.
        for (const int c : {0, nCols - 1, nCols, 2 * nCols - 1})
            a[static_cast<std::size_t>(c)] = b[static_cast<std::size_t>(c)] = 0.0f;
        ASSERT_TRUE(SameBits(std::vector<float>(a.begin(), a.begin() + 3 * nCols),
                             std::vector<float>(b.begin(), b.begin() + 3 * nCols)))
            << "coupling or residual row " << r;
    }

    const std::size_t nScratch = 4 * 8 * static_cast<std::size_t>(std::max(nRows, nCols));
    std::vector<float> gA(nScratch), xA(nScratch), gB(nScratch), xB(nScratch);
    const std::vector<float> uStart = level.uParallel;
    for (int nGroups = 1; nGroups <= 4; ++nGroups) {
        for (const int c0 : {1, 2}) {
            level.uParallel = uStart;
            ASSERT_TRUE(gw::lanes::SolveColumnGroups(grids, c0, nGroups, gA.data(), xA.data()));
            const std::vector<float> uAvx2 = level.uParallel;
            level.uParallel = uStart;
            ASSERT_TRUE(
                gw::lanes::portable::SolveColumnGroups(grids, c0, nGroups, gB.data(), xB.data()));
            EXPECT_TRUE(SameBits(level.uParallel, uAvx2))
                << nGroups << " column groups from " << c0;
        }
    }
    for (const int r0 : {1, 2}) {
        level.uParallel = uStart;
        ASSERT_TRUE(gw::lanes::SolveRowGroup(grids, r0, gA.data(), xA.data()));
        gw::lanes::StoreRowGroup(grids.u, r0, xA.data(), nCols - 2);
        const std::vector<float> uAvx2 = level.uParallel;
        level.uParallel = uStart;
        ASSERT_TRUE(gw::lanes::portable::SolveRowGroup(grids, r0, gB.data(), xB.data()));
        gw::lanes::portable::StoreRowGroup(grids.u, r0, xB.data(), nCols - 2);
        EXPECT_TRUE(SameBits(level.uParallel, uAvx2)) << "row group from " << r0;
    }

    std::vector<float> tA(level.Size()), tB(level.Size());
    gw::lanes::TransposeBlock(level.f.data() + 1, nCols, nRows - 2, nCols - 3, tA.data(), nRows);
    gw::lanes::portable::TransposeBlock(level.f.data() + 1, nCols, nRows - 2, nCols - 3, tB.data(),
                                        nRows);
    EXPECT_TRUE(SameBits(tA, tB)) << "transpose";
}
