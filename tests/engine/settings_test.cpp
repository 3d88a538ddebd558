// The size of the grid pyramid that a caller reckons with before it makes an
// engine, against what the engine's grids then hold.
#include "memory/CGridMemory.h"
#include "settings/EngineSettings.h"

#include <gtest/gtest.h>

TEST(PyramidSizeTest, ReckonedBytesAndLevelsAreWhatTheGridsHold)
{
    const struct
    {
        int nRows;
        int nCols;
    } aSizes[] = {{1, 1}, {2, 3}, {7, 1}, {100, 60}, {61, 100}, {257, 513}, {1, 999}};
    for (const auto& size : aSizes) {
        CGridMemory grids;
        ASSERT_TRUE(grids.AllocateGrids(size.nRows, size.nCols, gw::kReserveInRamWithFallback));
        ASSERT_TRUE(grids.IsInRam());
        EXPECT_EQ(gw::PyramidLevels(size.nRows, size.nCols), grids.Levels())
            << size.nRows << " x " << size.nCols;
        EXPECT_EQ(gw::PyramidBytes(size.nRows, size.nCols), grids.BytesHeld())
            << size.nRows << " x " << size.nCols;
    }
    EXPECT_EQ(gw::PyramidBytes(0, 10), 0u);
}
