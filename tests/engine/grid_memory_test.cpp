// Level counts, extents, byte accounting, the memory policies of the grid pyramid, and
// making its pages ahead of a run.
#include "memory/CGridMemory.h"

#include "CImageEngine.h"
#include "TestImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <vector>

namespace {

std::vector<int> LevelRowsOf(const CGridMemory& grids)
{
    std::vector<int> rows;
    for (int k = 1; k <= grids.Levels(); ++k)
        rows.push_back(grids.LevelRows(k));
    return rows;
}

std::vector<int> LevelColsOf(const CGridMemory& grids)
{
    std::vector<int> cols;
    for (int k = 1; k <= grids.Levels(); ++k)
        cols.push_back(grids.LevelCols(k));
    return cols;
}

} // namespace

TEST(GridMemoryTest, LevelCountsAndExtentsFollowTheHalving)
{
    struct Case
    {
        int nRows, nCols;
        std::vector<int> rows, cols;
    };
    const std::vector<Case> cases = {
        {100, 100, {3, 5, 8, 14, 27, 52, 102}, {3, 5, 8, 14, 27, 52, 102}},
        {1, 1, {3}, {3}},
        {1, 100, {3}, {102}},
        {2, 2, {3, 4}, {3, 4}},
        {480, 640, {3, 5, 9, 17, 32, 62, 122, 242, 482}, {4, 7, 12, 22, 42, 82, 162, 322, 642}},
        {512,
         512,
         {3, 4, 6, 10, 18, 34, 66, 130, 258, 514},
         {3, 4, 6, 10, 18, 34, 66, 130, 258, 514}},
    };
    for (const Case& test : cases) {
        CGridMemory grids;
        ASSERT_TRUE(grids.AllocateGrids(test.nRows, test.nCols, -2));
        EXPECT_EQ(LevelRowsOf(grids), test.rows) << test.nRows << " x " << test.nCols;
        EXPECT_EQ(LevelColsOf(grids), test.cols) << test.nRows << " x " << test.nCols;
        EXPECT_EQ(CGridMemory::CountLevels(test.nRows, test.nCols), grids.Levels());
        EXPECT_TRUE(grids.IsInRam());
        EXPECT_TRUE(grids.HasGrids());
    }
}

TEST(GridMemoryTest, GridsHaveTheirLevelsShapesAndVerticalCouplingsAreTransposed)
{
    CGridMemory grids;
    ASSERT_TRUE(grids.AllocateGrids(100, 60, 0));
    EXPECT_EQ(grids.VerticalCoupling(grids.Levels()).Rows(), 62);
    EXPECT_EQ(grids.VerticalCoupling(grids.Levels()).Cols(), 102);
    for (int k = 1; k <= grids.Levels(); ++k) {
        const int nRows = grids.LevelRows(k);
        const int nCols = grids.LevelCols(k);
        for (CMatrix* pGrid :
             {&grids.HorizontalCoupling(k), &grids.RightHandSide(k), &grids.Solution(k)}) {
            EXPECT_EQ(pGrid->Rows(), nRows);
            EXPECT_EQ(pGrid->Cols(), nCols);
        }
        EXPECT_EQ(grids.VerticalCoupling(k).Rows(), nCols);
        EXPECT_EQ(grids.VerticalCoupling(k).Cols(), nRows);
    }
    EXPECT_EQ(grids.Work().Rows(), 102);
    EXPECT_EQ(grids.Work().Cols(), 62);
    EXPECT_EQ(grids.MaxDim(), 102);
    EXPECT_EQ(&grids.Illumination(), &grids.RightHandSide(grids.Levels()));
    // Fresh grids read as 0, so a run never sees leftovers of the allocator.
    EXPECT_EQ(grids.Solution(3).At(2, 2), 0.0f);
    EXPECT_EQ(grids.LineVector(CGridMemory::kLineFactors)[101], 0.0f);
}

TEST(GridMemoryTest, LevelSizeQueryTakesZeroForTheFinestAndRefusesOthers)
{
    CGridMemory grids;
    int nRows = -7, nCols = -7;
    EXPECT_FALSE(grids.GetLevelSize(0, nRows, nCols));
    EXPECT_EQ(nRows, -7);

    ASSERT_TRUE(grids.AllocateGrids(100, 60, -2));
    ASSERT_TRUE(grids.GetLevelSize(0, nRows, nCols));
    EXPECT_EQ(nRows, 102);
    EXPECT_EQ(nCols, 62);
    ASSERT_TRUE(grids.GetLevelSize(1, nRows, nCols));
    EXPECT_EQ(nRows, 5);
    EXPECT_EQ(nCols, 3);
    EXPECT_FALSE(grids.GetLevelSize(grids.Levels() + 1, nRows, nCols));
    EXPECT_FALSE(grids.GetLevelSize(-1, nRows, nCols));
}

TEST(GridMemoryTest, BytesCountEveryMatrixAndLineVectorAndReleaseReturnsToZero)
{
    CGridMemory grids;
    ASSERT_TRUE(grids.AllocateGrids(100, 60, -2));
    std::uint64_t nExpected = 0;
    for (int k = 1; k <= grids.Levels(); ++k)
        nExpected +=
            4ull * 4ull * static_cast<std::uint64_t>(grids.LevelRows(k)) * grids.LevelCols(k);
    nExpected += 4ull * 102 * 62;   // work grid
    nExpected += 4ull * 4ull * 102; // line vectors
    EXPECT_EQ(grids.BytesHeld(), nExpected);

    grids.ReleaseGrids();
    EXPECT_EQ(grids.BytesHeld(), 0u);
    EXPECT_FALSE(grids.HasGrids());
}

TEST(GridMemoryTest, SecondAllocationAndEmptySizesAreRefused)
{
    CGridMemory grids;
    EXPECT_FALSE(grids.AllocateGrids(0, 10, -2));
    EXPECT_FALSE(grids.AllocateGrids(10, -1, -2));
    EXPECT_EQ(grids.Levels(), 0);

    ASSERT_TRUE(grids.AllocateGrids(10, 10, -2));
    const std::uint64_t nBytes = grids.BytesHeld();
    EXPECT_FALSE(grids.AllocateGrids(20, 20, -2));
    EXPECT_EQ(grids.LevelRows(grids.Levels()), 12);
    EXPECT_EQ(grids.BytesHeld(), nBytes);
}

TEST(GridMemoryTest, BudgetFollowsTheReservePolicyIn64Bits)
{
    const std::uint64_t nSixGigabytes = 6ull << 30;
    EXPECT_EQ(CGridMemory::BudgetFor(0, nSixGigabytes), CGridMemory::kBudgetUnlimited);
    EXPECT_EQ(CGridMemory::BudgetFor(-1, nSixGigabytes), 0u);
    EXPECT_EQ(CGridMemory::BudgetFor(-2, nSixGigabytes), CGridMemory::kBudgetUnlimitedWithFallback);
    // Beyond 4 GB the budget keeps every byte instead of wrapping.
    EXPECT_EQ(CGridMemory::BudgetFor(1000, nSixGigabytes), nSixGigabytes - 1000);
    EXPECT_EQ(CGridMemory::BudgetFor(1000, 999), 0u);
    // Other negative reserves read as huge unsigned reserves.
    EXPECT_EQ(CGridMemory::BudgetFor(-5, nSixGigabytes), 0u);
}

TEST(GridMemoryTest, NoBudgetMeansPagedGrids)
{
    CGridMemory paged;
    EXPECT_TRUE(paged.AllocateGrids(10, 10, -1));
    EXPECT_TRUE(paged.HasGrids());
    EXPECT_FALSE(paged.IsInRam());
    EXPECT_GT(paged.BytesHeld(), 0u);
    paged.ReleaseGrids();
    EXPECT_EQ(paged.BytesHeld(), 0u);
    EXPECT_FALSE(paged.AllocateGrids(10, 10, -2));
}

TEST(GridMemoryTest, MakingPagesChangesNoValueOfTheGridsOrOfARun)
{
    // Grids that hold values (an engine that ran) keep them, untouched ones stay 0,
    // in either mode's set of grids; paged grids are left alone.
    CGridMemory grids;
    ASSERT_TRUE(grids.AllocateGrids(300, 200, -2));
    const int nTop = grids.Levels();
    grids.HorizontalCoupling(nTop).At(7, 9) = 1.5f;
    grids.Solution(nTop).At(301, 201) = -2.25f;
    grids.Work().At(0, 0) = 3.0f;
    grids.VerticalCoupling(1).At(1, 2) = 0.5f;
    grids.MakePages(true);
    grids.MakePages(false);
    EXPECT_EQ(grids.HorizontalCoupling(nTop).At(7, 9), 1.5f);
    EXPECT_EQ(grids.Solution(nTop).At(301, 201), -2.25f);
    EXPECT_EQ(grids.Work().At(0, 0), 3.0f);
    EXPECT_EQ(grids.VerticalCoupling(1).At(1, 2), 0.5f);
    EXPECT_EQ(grids.RightHandSide(nTop).At(150, 100), 0.0f);
    EXPECT_EQ(grids.VerticalCoupling(nTop).At(201, 301), 0.0f);

    CGridMemory paged;
    ASSERT_TRUE(paged.AllocateGrids(40, 30, -1));
    paged.MakePages(false);
    EXPECT_TRUE(paged.HasGrids());

    // A run on an engine whose pages were made gives a fresh engine's bits.
    const testimage::Image photo = testimage::Tiled(testimage::Coffee(), 150, 230);
    ASSERT_FALSE(photo.rgb.empty());
    for (const bool bFast : {false, true}) {
        std::vector<float> results[2];
        for (int nMade = 0; nMade < 2; ++nMade) {
            CImageEngine engine(1, photo.nRows, photo.nCols, -2, nullptr);
            if (nMade == 1)
                engine.Grids().MakePages(bFast);
            engine.SetFastMode(bFast ? 1 : 0);
            results[nMade] = photo.rgb;
            engine.Run(results[nMade].data(), 0.0f, 0.0f);
        }
        EXPECT_EQ(
            0, std::memcmp(results[0].data(), results[1].data(), results[0].size() * sizeof(float)))
            << (bFast ? "fast mode" : "quality mode");
    }
}
