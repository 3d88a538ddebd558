// The colour conversions, the range normaliser, the reflectance and the
// recombination, each on small grids filled by hand.
#include "CImageEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// Fills the interior of a finest-level grid (rows 1..m, columns 1..n).
template <class F>
void FillInterior(CMatrix& grid, int nRows, int nCols, F value)
{
    for (int r = 1; r <= nRows; ++r)
        for (int c = 1; c <= nCols; ++c)
            grid.At(r, c) = value(r, c);
}

// A callback that asks to stop at its first call after being armed.
bool gbStopArmed = false;
int StopWhenArmed(int)
{
    return gbStopArmed ? 0 : 1;
}

struct Rgb
{
    float r, g, b;
};

} // namespace

TEST(RgbToHsvTest, PrimariesGreyAndTiesGiveTheirSextants)
{
    struct Case
    {
        Rgb in;
        float h, s, v;
    };
    const Case cases[] = {
        {{0, 0, 0}, 0, 0, 0}, {{1, 0, 0}, 0, 1, 1},       {{0, 1, 0}, 2, 1, 1},
        {{0, 0, 1}, 4, 1, 1}, {{1, 0, 0.5f}, 5.5f, 1, 1}, {{0.3f, 0.3f, 0.3f}, 0, 0, 0.3f},
        {{1, 1, 0}, 1, 1, 1}, // tie of r and g takes the red branch: (g - b) / delta
    };
    for (const Case& test : cases) {
        float h, s, v;
        CImageEngine::RgbToHsv(test.in.r, test.in.g, test.in.b, h, s, v);
        EXPECT_EQ(h, test.h) << test.in.r << "," << test.in.g << "," << test.in.b;
        EXPECT_EQ(s, test.s);
        EXPECT_EQ(v, test.v);
    }
}

TEST(RgbToHsvTest, HueJustBelowZeroWrapsToRedNotTheLastSextant)
{
    // (g - b) / delta is a tiny negative number; h + 6 rounds to exactly 6.
    float h, s, v;
    CImageEngine::RgbToHsv(1.0f, 0.0f, 1e-9f, h, s, v);
    EXPECT_GE(h, 0.0f);
    EXPECT_LT(h, 6.0f);
    float r, g, b;
    CImageEngine::HsvToRgb(&r, &g, &b, h, s, v);
    EXPECT_EQ(r, 1.0f);
    EXPECT_NEAR(b, 0.0f, 1e-6f); // red stays red, not magenta
}

TEST(HsvToRgbTest, CasesFollowTheSextant)
{
    float r, g, b;
    CImageEngine::HsvToRgb(&r, &g, &b, 1.5f, 0.5f, 0.8f);
    EXPECT_FLOAT_EQ(r, 0.6f);
    EXPECT_FLOAT_EQ(g, 0.8f);
    EXPECT_FLOAT_EQ(b, 0.4f);

    // H = 5.5 uses the last case (V, p, q): p = 0.4, q = (1 - 0.25) x 0.8 = 0.6.
    CImageEngine::HsvToRgb(&r, &g, &b, 5.5f, 0.5f, 0.8f);
    EXPECT_FLOAT_EQ(r, 0.8f);
    EXPECT_FLOAT_EQ(g, 0.4f);
    EXPECT_FLOAT_EQ(b, 0.6f);

    CImageEngine::HsvToRgb(&r, &g, &b, 3.7f, 0.0f, 0.25f);
    EXPECT_EQ(r, 0.25f);
    EXPECT_EQ(g, 0.25f);
    EXPECT_EQ(b, 0.25f);

    // Hues no sextant holds (including NaN) end in the last case without harm.
    CImageEngine::HsvToRgb(&r, &g, &b, std::nanf(""), 0.5f, 0.8f);
    EXPECT_EQ(r, 0.8f);
    CImageEngine::HsvToRgb(&r, &g, &b, 1e30f, 0.5f, 0.8f);
    EXPECT_EQ(r, 0.8f);
}

TEST(HsvToRgbTest, RoundTripReturnsTheColour)
{
    const Rgb colours[] = {{0.9f, 0.1f, 0.2f},      {0.2f, 0.7f, 0.3f},  {0.1f, 0.2f, 0.95f},
                           {0.5f, 0.5f, 0.1f},      {0.05f, 0.6f, 0.6f}, {0.8f, 0.3f, 0.8f},
                           {0.001f, 0.002f, 0.003f}};
    for (const Rgb& in : colours) {
        float h, s, v, r, g, b;
        CImageEngine::RgbToHsv(in.r, in.g, in.b, h, s, v);
        CImageEngine::HsvToRgb(&r, &g, &b, h, s, v);
        EXPECT_NEAR(r, in.r, 1e-6f);
        EXPECT_NEAR(g, in.g, 1e-6f);
        EXPECT_NEAR(b, in.b, 1e-6f);
    }
}

TEST(SaturationCurveTest, PassesItsThreePointsAndLowersMidSaturationInTheDark)
{
    for (float x : {0.0f, 0.1f, 0.25f, 0.5f, 0.9f, 1.0f})
        EXPECT_NEAR(CImageEngine::SaturationCurve(x, 0.25f, 0.25f), x, 1e-6f);

    // Darkest illumination 0.008: b = 0.25 - 0.04 x 0.992.
    const float b = 0.25f - 0.04f * (1.0f - 0.008f);
    EXPECT_NEAR(CImageEngine::SaturationCurve(0.25f, 0.25f, b), 0.21032f, 1e-6f);
    EXPECT_NEAR(CImageEngine::SaturationCurve(0.5f, 0.25f, b), 0.5f - 4.0f / 3.0f * 0.03968f,
                1e-6f);
    EXPECT_EQ(CImageEngine::SaturationCurve(0.0f, 0.25f, b), 0.0f);
    EXPECT_NEAR(CImageEngine::SaturationCurve(1.0f, 0.25f, b), 1.0f, 1e-6f);
    // Results outside [0, 1] are clamped.
    EXPECT_EQ(CImageEngine::SaturationCurve(1.5f, 0.25f, 0.05f), 1.0f);
    EXPECT_EQ(CImageEngine::SaturationCurve(2.0f, 0.25f, 0.6f), 0.0f);
}

TEST(NormalizeRangeTest, UniformGridLandsInTheTopBinAndNarrowRangeScalesBy200)
{
    CImageEngine engine(0, 4, 5, -2, nullptr);
    CMatrix& work = engine.Grids().Work();
    FillInterior(work, 4, 5, [](int, int) { return 1.0f; });
    ASSERT_TRUE(engine.NormalizeRange(work, 4, 5, 1.0f, 1.0f, 0.005f, false));

    float fLow, fHigh;
    engine.GetOutputRange(fLow, fHigh);
    EXPECT_FLOAT_EQ(fLow, 0.998f);
    EXPECT_FLOAT_EQ(fHigh, 0.999f);
    for (int c = 1; c <= 5; ++c)
        EXPECT_NEAR(work.At(2, c), 0.2f, 1e-4f);
    // The border ring is left alone.
    EXPECT_EQ(work.At(0, 0), 0.0f);
    EXPECT_EQ(work.At(5, 6), 0.0f);
}

TEST(NormalizeRangeTest, HalfInBottomHalfInTopBinGivesFullRange)
{
    CImageEngine engine(0, 4, 4, -2, nullptr);
    CMatrix& work = engine.Grids().Work();
    FillInterior(work, 4, 4, [](int r, int) { return r <= 2 ? 0.0f : 1.0f; });
    ASSERT_TRUE(engine.NormalizeRange(work, 4, 4, 0.0f, 1.0f, 0.005f, false));
    float fLow, fHigh;
    engine.GetOutputRange(fLow, fHigh);
    EXPECT_EQ(fLow, 0.0f);
    EXPECT_FLOAT_EQ(fHigh, 0.998f);
    EXPECT_EQ(work.At(1, 1), 0.0f);
    EXPECT_EQ(work.At(4, 4), 1.0f); // clamped to 0.998, then stretched
}

TEST(NormalizeRangeTest, LargeGridsAreSampledEveryStepthRowAndColumn)
{
    // 1000 x 1000 is sampled with step 3: only the sampled points hold 1.0.
    CImageEngine big(0, 1000, 1000, -2, nullptr);
    CMatrix& bigWork = big.Grids().Work();
    FillInterior(bigWork, 1000, 1000,
                 [](int r, int c) { return (r - 1) % 3 == 0 && (c - 1) % 3 == 0 ? 1.0f : 0.5f; });
    ASSERT_TRUE(big.NormalizeRange(bigWork, 1000, 1000, 0.5f, 1.0f, 0.005f, false));
    float fLow, fHigh;
    big.GetOutputRange(fLow, fHigh);
    EXPECT_FLOAT_EQ(fLow, 0.998f);

    // 400 x 500 pixels is exactly 200000: every point counts, so the zeros in
    // even columns pull the low end down to 0.
    CImageEngine full(0, 400, 500, -2, nullptr);
    CMatrix& fullWork = full.Grids().Work();
    FillInterior(fullWork, 400, 500, [](int, int c) { return c % 2 == 1 ? 1.0f : 0.0f; });
    ASSERT_TRUE(full.NormalizeRange(fullWork, 400, 500, 0.0f, 1.0f, 0.005f, false));
    full.GetOutputRange(fLow, fHigh);
    EXPECT_EQ(fLow, 0.0f);
    EXPECT_FLOAT_EQ(fHigh, 0.998f);
}

TEST(NormalizeRangeTest, StoredRangeIsAppliedWithoutEstimateAndRestoreKeepsIt)
{
    CImageEngine engine(0, 3, 3, -2, nullptr);
    ASSERT_TRUE(engine.SetOutputRange(0.2f, 0.204f));
    CMatrix& work = engine.Grids().Work();
    FillInterior(work, 3, 3,
                 [](int r, int c) { return 0.19f + 0.002f * static_cast<float>(r * 3 + c); });
    ASSERT_TRUE(engine.NormalizeRange(work, 3, 3, 0.0f, 1.0f, 0.005f, false));
    for (int r = 1; r <= 3; ++r)
        for (int c = 1; c <= 3; ++c) {
            EXPECT_GE(work.At(r, c), 0.0f);
            EXPECT_LE(work.At(r, c), 0.8f + 1e-5f);
        }
    EXPECT_EQ(work.At(1, 1), 0.0f);          // below the range
    EXPECT_NEAR(work.At(3, 3), 0.8f, 1e-4f); // above it
    EXPECT_NEAR(work.At(1, 3), 0.4f, 1e-4f); // 0.202 lies inside

    // With restore a new range is estimated, used, and the stored one comes back.
    FillInterior(work, 3, 3, [](int, int c) { return c == 1 ? 0.0f : 1.0f; });
    ASSERT_TRUE(engine.NormalizeRange(work, 3, 3, 0.0f, 1.0f, 0.005f, true));
    EXPECT_EQ(work.At(2, 1), 0.0f);
    EXPECT_EQ(work.At(2, 3), 1.0f);
    float fLow, fHigh;
    engine.GetOutputRange(fLow, fHigh);
    EXPECT_EQ(fLow, 0.2f);
    EXPECT_EQ(fHigh, 0.204f);
}

TEST(NormalizeRangeTest, NoPositiveMaximumAndOutOfRangeValuesStayWithinTheTable)
{
    CImageEngine engine(0, 2, 2, -2, nullptr);
    CMatrix& work = engine.Grids().Work();
    FillInterior(work, 2, 2, [](int, int) { return 0.0f; });
    ASSERT_TRUE(engine.NormalizeRange(work, 2, 2, 0.0f, 0.0f, 0.005f, false));
    float fLow, fHigh;
    engine.GetOutputRange(fLow, fHigh);
    EXPECT_EQ(fLow, 0.0f);
    EXPECT_EQ(fHigh, 0.0f);
    EXPECT_EQ(work.At(1, 1), 0.0f);

    // Values below 0 and above max land in the end bins instead of outside the table.
    CImageEngine other(0, 2, 2, -2, nullptr);
    CMatrix& otherWork = other.Grids().Work();
    const float values[2][2] = {{-3.0f, 0.5f}, {7.0f, std::nanf("")}};
    FillInterior(otherWork, 2, 2, [&](int r, int c) { return values[r - 1][c - 1]; });
    ASSERT_TRUE(other.NormalizeRange(otherWork, 2, 2, -3.0f, 1.0f, 0.005f, false));
    other.GetOutputRange(fLow, fHigh);
    EXPECT_GE(fLow, 0.0f);
    EXPECT_LE(fHigh, 0.999f);
}

TEST(ReflectanceTest, DividesByGammaIlluminationWeightsByDarknessAndClampsIllumination)
{
    // Two grey pixels; the stored range [0, 1] makes the normalisation a plain clamp.
    CImageEngine engine(0, 1, 2, -2, nullptr);
    ASSERT_TRUE(engine.SetOutputRange(0.0f, 1.0f));
    CMatrix& illumination = engine.Grids().Illumination();
    illumination.At(1, 1) = 0.25f;
    illumination.At(1, 2) = 0.001f;
    const float pixels[] = {0.5f, 0.004f};
    engine.ComputeReflectance(pixels, 1, 2, 2);

    const CMatrix& work = engine.Grids().Work();
    // 0.5 / 0.25^(1/2.2) = 0.93893, times (1 - 0.25).
    EXPECT_NEAR(work.At(1, 1), 0.704198f, 2e-6f);
    // Illumination 0.001 is raised to 0.008 in the grid itself:
    // 0.004 / 0.008^(1/2.2) = 0.035908, times 0.992.
    EXPECT_EQ(illumination.At(1, 2), 0.008f);
    EXPECT_NEAR(work.At(1, 2), 0.0356215f, 2e-6f);
}

TEST(RecombineTest, GreyScreenBlendWithAmount)
{
    CImageEngine engine(0, 1, 2, -2, nullptr);
    engine.SetAmount(0.6f);
    CMatrix& work = engine.Grids().Work();
    work.At(1, 1) = 0.5f;
    work.At(1, 2) = 1.0f;
    float pixels[] = {0.2f, 0.0f};
    engine.Recombine(pixels, pixels, 1, 2, 2);
    EXPECT_NEAR(pixels[0], 0.44f, 1e-6f);
    EXPECT_NEAR(pixels[1], 0.6f, 1e-6f);
    // Without final scaling the grey path leaves the work grid alone.
    EXPECT_EQ(work.At(1, 1), 0.5f);

    CImageEngine none(0, 1, 2, -2, nullptr);
    none.SetAmount(0.0f);
    none.Grids().Work().At(1, 1) = 0.9f;
    float same[] = {0.123f, 0.777f};
    none.Recombine(same, same, 1, 2, 2);
    // 1 - (1 - v) in float returns v up to its last bit.
    EXPECT_NEAR(same[0], 0.123f, 1e-7f);
    EXPECT_NEAR(same[1], 0.777f, 1e-7f);
}

TEST(RecombineTest, ColourKeepsHueAndLowersSaturationOnlyInTheDark)
{
    CImageEngine engine(1, 1, 3, -2, nullptr);
    engine.SetAmount(0.0f); // the value stays, so only saturation moves
    CMatrix& illumination = engine.Grids().Illumination();
    illumination.At(1, 1) = 1.0f;
    illumination.At(1, 2) = 0.008f;
    illumination.At(1, 3) = 0.008f;
    // H, S, V per pixel.
    float pixels[] = {1.5f, 0.5f, 0.8f, 1.5f, 0.5f, 0.8f, 4.2f, 0.0f, 0.6f};
    engine.Recombine(pixels, pixels, 1, 3, 3);

    // Full illumination: the saturation curve is the identity.
    EXPECT_FLOAT_EQ(pixels[0], 0.6f);
    EXPECT_FLOAT_EQ(pixels[1], 0.8f);
    EXPECT_FLOAT_EQ(pixels[2], 0.4f);
    // Dark: S 0.5 becomes about 0.4471, so p = (1 - S') x 0.8 rises.
    const float fSat = 0.5f - 4.0f / 3.0f * 0.03968f;
    EXPECT_NEAR(pixels[5], (1.0f - fSat) * 0.8f, 1e-5f);
    EXPECT_FLOAT_EQ(pixels[4], 0.8f);
    // Grey stays grey.
    EXPECT_EQ(pixels[6], 0.6f);
    EXPECT_EQ(pixels[7], 0.6f);
    EXPECT_EQ(pixels[8], 0.6f);
}

TEST(RecombineTest, FinalScalingStretchesOverTheFullRangeAndKeepsTheStoredRange)
{
    constexpr int kRows = 20, kCols = 30;
    CImageEngine engine(0, kRows, kCols, -2, nullptr);
    engine.SetAmount(0.5f);
    engine.SetFinalScaling(1);
    ASSERT_TRUE(engine.SetOutputRange(0.3f, 0.4f));
    CMatrix& work = engine.Grids().Work();
    std::vector<float> pixels(kRows * kCols);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c) {
            pixels[r * kCols + c] =
                0.1f + 0.5f * static_cast<float>(r * kCols + c) / (kRows * kCols);
            work.At(r + 1, c + 1) = 0.2f;
        }
    engine.Recombine(pixels.data(), pixels.data(), kRows, kCols, kCols);
    float fMin = 2.0f, fMax = -1.0f;
    for (float v : pixels) {
        fMin = std::min(fMin, v);
        fMax = std::max(fMax, v);
    }
    EXPECT_EQ(fMin, 0.0f);
    EXPECT_NEAR(fMax, 1.0f, 1e-6f);
    float fLow, fHigh;
    engine.GetOutputRange(fLow, fHigh);
    EXPECT_EQ(fLow, 0.3f);
    EXPECT_EQ(fHigh, 0.4f);
}

TEST(RecombineTest, StopAfterTheFirstRowLeavesTheRestOfTheBuffer)
{
    gbStopArmed = false;
    CImageEngine engine(0, 3, 2, -2, StopWhenArmed);
    engine.SetAmount(1.0f);
    FillInterior(engine.Grids().Work(), 3, 2, [](int, int) { return 1.0f; });
    float pixels[] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f};
    gbStopArmed = true;
    engine.Recombine(pixels, pixels, 3, 2, 2);
    gbStopArmed = false;
    EXPECT_EQ(pixels[0], 1.0f);
    EXPECT_EQ(pixels[1], 1.0f);
    EXPECT_EQ(pixels[2], 0.3f);
    EXPECT_EQ(pixels[5], 0.6f);

    // With final scaling a stop before the second pass leaves the buffer as it was.
    CImageEngine scaled(0, 3, 2, -2, StopWhenArmed);
    scaled.SetFinalScaling(1);
    float untouched[] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f};
    gbStopArmed = true;
    scaled.Recombine(untouched, untouched, 3, 2, 2);
    gbStopArmed = false;
    EXPECT_EQ(untouched[0], 0.1f);
    EXPECT_EQ(untouched[5], 0.6f);
}
