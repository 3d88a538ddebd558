// The command line of the tool: defaults with the plug-in's meaning, the derived
// engine values, and values that must be refused.
#include "Options.h"

#include <gtest/gtest.h>

#include <vector>

using namespace gw::cli;

namespace {

Options Parse(std::vector<const char*> arguments)
{
    return ParseArguments(static_cast<int>(arguments.size()), arguments.data());
}

} // namespace



TEST(OptionsTest, DefaultsAreThePluginsWholeImageSettings)
{
    const Options options = Parse({"in.png", "-o", "out.png"});
    EXPECT_EQ(options.m_inputs.at(0), "in.png");
    EXPECT_EQ(options.m_output, "out.png");
    EXPECT_EQ(AmountFromPercent(options.m_nAmount), 0.6f);
    EXPECT_FALSE(options.m_fRadius.has_value());
    EXPECT_NEAR(RadiusFromFillLight(options.m_nFillLight), 0.0995, 0.0001);
    EXPECT_EQ(options.m_fThermal, 0.4f);
    EXPECT_NEAR(options.m_fEpsilon, 1e-4f, 1e-10f);
    EXPECT_FALSE(options.m_bFastMode);
    EXPECT_TRUE(options.m_bFinalScaling);
    EXPECT_EQ(options.m_boundsMode, BoundsMode::Data);
    EXPECT_FALSE(options.m_bOutputRange);
}

TEST(OptionsTest, FillLightRadiusHasItsFloorAndItsEnds)
{
    EXPECT_EQ(RadiusFromFillLight(0), 0.01f); // 10^1.3 / 2000 = 0.00998 is raised
    EXPECT_NEAR(RadiusFromFillLight(100), 5.0f, 1e-6f);
    EXPECT_GT(RadiusFromFillLight(1), 0.01f);
    for (int n = 1; n <= 100; ++n) {
        EXPECT_GT(RadiusFromFillLight(n), RadiusFromFillLight(n - 1)) << n;
    }
}

TEST(OptionsTest, EveryOptionIsTakenInBothSpellings)
{
    const Options options =
        Parse({"--amount", "100", "--fill-light=0", "--speed", "--no-autoscale", "--radius=2.5",
               "--thermal", "0", "--epsilon=1e-6", "--bounds", "-0.5,2", "--out-range=0.1,0.9",
               "--depth", "8", "-q", "--output=o.pfm", "--", "-odd-name.png"});
    EXPECT_EQ(options.m_inputs.at(0), "-odd-name.png");
    EXPECT_EQ(options.m_output, "o.pfm");
    EXPECT_EQ(options.m_nAmount, 100);
    EXPECT_EQ(options.m_nFillLight, 0);
    EXPECT_TRUE(options.m_bFastMode);
    EXPECT_FALSE(options.m_bFinalScaling);
    EXPECT_EQ(options.m_fRadius, 2.5f);
    EXPECT_EQ(options.m_fThermal, 0.0f);
    EXPECT_EQ(options.m_fEpsilon, 1e-6f);
    EXPECT_EQ(options.m_boundsMode, BoundsMode::Fixed);
    EXPECT_EQ(options.m_fBoundsLow, -0.5f);
    EXPECT_EQ(options.m_fBoundsHigh, 2.0f);
    EXPECT_TRUE(options.m_bOutputRange);
    EXPECT_EQ(options.m_fOutLow, 0.1f);
    EXPECT_EQ(options.m_fOutHigh, 0.9f);
    EXPECT_EQ(options.m_nDepth, 8);
    EXPECT_TRUE(options.m_bQuiet);
    EXPECT_EQ(Parse({"a", "-o", "b", "--bounds", "auto"}).m_boundsMode, BoundsMode::Auto);
}

TEST(OptionsTest, BadValuesAreRefused)
{
    const std::vector<std::vector<const char*>> cases = {
        {"--amount", "101"},        {"--amount", "-1"},
        {"--amount", "50.5"},       {"--amount", "abc"},
        {"--amount", ""},           {"--fill-light", "1000"},
        {"--radius", "-1"},         {"--radius", "0"},
        {"--radius", "21"},         {"--radius", "nan"},
        {"--radius", "1x"},         {"--thermal", "-0.1"},
        {"--thermal", "inf"},       {"--epsilon", "0"},
        {"--epsilon", "-1e-4"},     {"--bounds", "1,0"},
        {"--bounds", "0.5,0.5"},    {"--bounds", "1"},
        {"--bounds", "a,b"},        {"--bounds", "0,1,2"},
        {"--out-range", "0.5,0.4"}, {"--out-range", "-0.5,0.5"},
        {"--out-range", "0.2,1.5"}, {"--depth", "12"},
        {"--frobnicate"},           {"--amount"},
    };
    for (const auto& bad : cases) {
        std::vector<const char*> arguments = {"in.png", "-o", "out.png"};
        arguments.insert(arguments.end(), bad.begin(), bad.end());
        EXPECT_THROW(Parse(arguments), CUsageError)
            << bad[0] << " " << (bad.size() > 1 ? bad[1] : "");
    }
    EXPECT_THROW(Parse({"in.png"}), CUsageError);
    EXPECT_THROW(Parse({"-o", "out.png"}), CUsageError);
    EXPECT_EQ(Parse({"a.png", "b.png", "-o", "out"}).m_inputs.size(), 2u); // a batch
    EXPECT_THROW(Parse({"a.png", "-o", "o.jpg", "--quality", "0"}), CUsageError);
    EXPECT_THROW(Parse({"a.png", "-o", "o", "--format", "bmp"}), CUsageError);
    EXPECT_TRUE(Parse({"--help"}).m_bHelp);
}

TEST(OptionsTest, MemoryModesAndTheirSpelling)
{
    EXPECT_EQ(Parse({"in.png", "-o", "out.png"}).m_memory, MemoryMode::Auto);
    EXPECT_EQ(Parse({"--memory", "ram", "in.png", "-o", "out.png"}).m_memory, MemoryMode::Ram);
    EXPECT_EQ(Parse({"--memory=paged", "in.png", "-o", "out.png"}).m_memory, MemoryMode::Paged);
    EXPECT_EQ(Parse({"--memory", "paged", "--memory", "auto", "in.png", "-o", "out.png"}).m_memory,
              MemoryMode::Auto);
    EXPECT_THROW(Parse({"--memory", "disk", "in.png", "-o", "out.png"}), CUsageError);
    EXPECT_THROW(Parse({"--memory", "RAM", "in.png", "-o", "out.png"}), CUsageError);
}
