// The engine's log names the memory strategy it chose. The log reaches the
// debugger output, which this program turns on before anything runs.
#include "CImageEngine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

#ifdef _WIN32
// The Windows debugger output cannot be captured here.
const bool gbDebugOutputOn = false;
#else
const bool gbDebugOutputOn = setenv("GW_DEBUG_OUTPUT", "1", 1) == 0;
#endif

std::string LogOfEngine(int nRows, int nCols, int nReserve)
{
    testing::internal::CaptureStderr();
    {
        const CImageEngine engine(0, nRows, nCols, nReserve, nullptr);
    }
    return testing::internal::GetCapturedStderr();
}

} // namespace

TEST(PagedLogTest, TheChosenStrategyIsLogged)
{
    if (!gbDebugOutputOn)
        GTEST_SKIP() << "no debugger output to read on this platform";
    const std::string paged = LogOfEngine(40, 30, -1);
    EXPECT_NE(paged.find("GW: Using MM memory\n"), std::string::npos) << paged;
    EXPECT_EQ(paged.find("GW: Using 2D memory"), std::string::npos) << paged;
    const std::string inRam = LogOfEngine(40, 30, -2);
    EXPECT_NE(inRam.find("GW: Using 2D memory\n"), std::string::npos) << inRam;
    // An empty size makes no grids and logs no strategy.
    EXPECT_EQ(LogOfEngine(0, 30, -1).find("memory\n"), std::string::npos);
}
