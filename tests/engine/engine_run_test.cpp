// The engine object and its run pipeline: parameters, bounds and
// normalisation, the progress and stop protocol, and whole runs on tiny,
// empty and real images.
#include "CImageEngine.h"
#include "TestImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// A scripted progress callback: counts its calls and answers "stop" from call
// number gnStopAtCall on (counting from 1; 0 never stops), as an owner whose
// stop request stands.
int gnCalls = 0;
int gnStopAtCall = 0;
int gnLastPercent = -1;
int gnMaxPercent = -1;

int ScriptedProgress(int nPercent)
{
    ++gnCalls;
    gnLastPercent = nPercent;
    gnMaxPercent = std::max(gnMaxPercent, nPercent);
    return gnStopAtCall != 0 && gnCalls >= gnStopAtCall ? 0 : 1;
}

void ResetScript(int nStopAtCall)
{
    gnCalls = 0;
    gnStopAtCall = nStopAtCall;
    gnLastPercent = -1;
    gnMaxPercent = -1;
}

bool AllIn01(const std::vector<float>& values)
{
    return std::all_of(values.begin(), values.end(),
                       [](float v) { return v >= 0.0f && v <= 1.0f; });
}

} // namespace

TEST(ImageEngineTest, ConstructionChecksForAStopOnceAndAnEmptySizeGivesAnIdleEngine)
{
    ResetScript(0);
    CImageEngine grey(0, 4, 6, -2, ScriptedProgress);
    EXPECT_EQ(gnCalls, 1);
    EXPECT_EQ(gnLastPercent, 0);
    EXPECT_EQ(grey.GetProgress(), 100);

    // An empty size gives an engine without grids, whose run does nothing.
    CImageEngine empty(1, 0, 6, -2, ScriptedProgress);
    EXPECT_EQ(gnCalls, 1);
    EXPECT_FALSE(empty.Grids().HasGrids());
    float pixel[3] = {0.5f, 0.2f, 0.1f};
    empty.Run(pixel, 0.0f, 0.0f);
    EXPECT_EQ(pixel[0], 0.5f);
    EXPECT_EQ(empty.GetProgress(), 100);
}

TEST(ImageEngineTest, SettersCapRadiusAndAmount)
{
    CImageEngine engine(0, 2, 2, -2, nullptr);
    engine.SetRadius(25.0f);
    EXPECT_EQ(engine.Radius(), 20.0f);
    engine.SetRadius(3.5f);
    EXPECT_EQ(engine.Radius(), 3.5f);
    engine.SetAmount(1.5f);
    EXPECT_EQ(engine.Amount(), 1.0f);
}

TEST(ImageEngineTest, OutputRangeAcceptsAutomaticOrAnOrderedPairInsideTheUnitInterval)
{
    CImageEngine engine(0, 2, 2, -2, nullptr);
    float fLow, fHigh;
    EXPECT_TRUE(engine.SetOutputRange(-1.0f, 5.0f));
    engine.GetOutputRange(fLow, fHigh);
    EXPECT_EQ(fLow, -1.0f);
    EXPECT_EQ(fHigh, 5.0f);

    ASSERT_TRUE(engine.SetOutputRange(0.1f, 0.9f));
    const float refused[][2] = {
        {0.5f, 0.5f}, {0.6f, 0.4f}, {-0.5f, 0.5f}, {0.2f, 1.5f}, {NAN, 0.5f}};
    for (const auto& pair : refused) {
        EXPECT_FALSE(engine.SetOutputRange(pair[0], pair[1])) << pair[0] << ", " << pair[1];
        engine.GetOutputRange(fLow, fHigh);
        EXPECT_EQ(fLow, 0.1f);
        EXPECT_EQ(fHigh, 0.9f);
    }
    EXPECT_TRUE(engine.SetOutputRange(0.0f, 1.0f));
}

TEST(ImageEngineRunTest, AllZeroImageEndsAfterTheBoundsUnchanged)
{
    ResetScript(0);
    CImageEngine engine(1, 3, 4, -2, ScriptedProgress);
    std::vector<float> pixels(3 * 4 * 3, 0.0f);
    engine.Run(pixels.data(), 0.0f, 0.0f);
    EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [](float v) { return v == 0.0f; }));
    EXPECT_EQ(engine.DataMin(), 0.0f);
    EXPECT_EQ(engine.DataMax(), 0.0f);
    EXPECT_EQ(engine.GetProgress(), 100);
    EXPECT_EQ(gnCalls, 2); // construction and the bounds scan
}

TEST(ImageEngineRunTest, FoundBoundsAlwaysIncludeZeroAndTheFirstStopComesAfterTheScan)
{
    ResetScript(2); // call 1 is the construction
    CImageEngine engine(0, 2, 2, -2, ScriptedProgress);
    std::vector<float> pixels = {0.2f, 0.5f, 0.9f, 0.3f};
    const std::vector<float> before = pixels;
    engine.Run(pixels.data(), 0.0f, 0.0f);
    EXPECT_EQ(engine.DataMin(), 0.0f);
    EXPECT_EQ(engine.DataMax(), 0.9f);
    EXPECT_EQ(pixels, before);
    EXPECT_TRUE(engine.IsAborted());

    // Negative values: the most negative one is the lower bound, and it maps to 0.
    ResetScript(3); // construction, scan, normalisation
    CImageEngine negative(0, 1, 3, -2, ScriptedProgress);
    std::vector<float> signedPixels = {-2.0f, 0.0f, 2.0f};
    negative.Run(signedPixels.data(), 0.0f, 0.0f);
    EXPECT_EQ(negative.DataMin(), -2.0f);
    EXPECT_EQ(signedPixels, (std::vector<float>{0.0f, 0.5f, 1.0f}));
}

TEST(ImageEngineRunTest, NormalisationIsSkippedOnlyWhereTheDataAreInTheUnitRangeAlready)
{
    const std::vector<float> source = {0.2f, 0.45f, 0.9f, 0.3f};
    // Quality: data in [0.2, 0.9] are rescaled with bounds [0, 0.9]; the stop
    // after the normalisation shows them.
    ResetScript(3);
    CImageEngine quality(0, 2, 2, -2, ScriptedProgress);
    std::vector<float> pixels = source;
    quality.Run(pixels.data(), 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(pixels[2], 1.0f);
    EXPECT_FLOAT_EQ(pixels[1], 0.5f);

    // Fast mode: data inside [0, 1] are left as they are (the third call is
    // already inside the solver, which never writes the buffer).
    ResetScript(3);
    CImageEngine fast(0, 2, 2, -2, ScriptedProgress);
    fast.SetFastMode(1);
    pixels = source;
    fast.Run(pixels.data(), 0.0f, 0.0f);
    EXPECT_EQ(pixels, source);

    // Given bounds: the first report is the normalisation.
    ResetScript(2);
    CImageEngine given(0, 2, 2, -2, ScriptedProgress);
    pixels = {0.0f, 50.0f, 100.0f, 25.0f};
    given.Run(pixels.data(), 0.0f, 100.0f);
    EXPECT_EQ(pixels, (std::vector<float>{0.0f, 0.5f, 1.0f, 0.25f}));
}

TEST(ImageEngineRunTest, EqualGivenBoundsEndTheRunWithTheBufferUnchanged)
{
    CImageEngine engine(0, 2, 2, -2, nullptr);
    std::vector<float> pixels = {3.0f, 4.0f, 5.0f, 6.0f};
    engine.Run(pixels.data(), 0.5f, 0.5f);
    EXPECT_EQ(pixels, (std::vector<float>{3.0f, 4.0f, 5.0f, 6.0f}));
    EXPECT_EQ(engine.GetProgress(), 100);
}

TEST(ImageEngineRunTest, ColourStopAfterConversionLeavesHueSaturationValue)
{
    ResetScript(2); // bounds [0, 1] given: no normalisation, so the HSV report comes first
    CImageEngine engine(1, 1, 2, -2, ScriptedProgress);
    std::vector<float> pixels = {1.0f, 0.0f, 0.0f, 0.0f, 0.5f, 0.0f};
    engine.Run(pixels.data(), 0.0f, 1.0f);
    EXPECT_EQ(pixels, (std::vector<float>{0.0f, 1.0f, 1.0f, 2.0f, 1.0f, 0.5f}));
}

TEST(ImageEngineRunTest, PreSmoothRestoresItsParametersAlsoWhenStopped)
{
    const std::vector<float> source = {0.1f, 0.2f, 0.8f, 0.9f, 0.4f, 0.3f};
    for (int nStopAt : {2, 3, 0}) {
        ResetScript(nStopAt);
        CImageEngine engine(0, 2, 3, -2, ScriptedProgress);
        engine.SetRadius(5.0f);
        engine.SetThermal(0.4f);
        engine.SetEpsilon(1e-4f);
        std::vector<float> pixels = source;
        engine.Run(pixels.data(), 0.0f, 1.0f);
        EXPECT_EQ(engine.Radius(), 5.0f) << "stop at " << nStopAt;
        EXPECT_EQ(engine.Thermal(), 0.4f);
        EXPECT_EQ(engine.Epsilon(), 1e-4f);
        if (nStopAt != 0) {
            EXPECT_EQ(pixels, source); // stopped inside the smoothing: nothing copied back
        }
    }
}

TEST(ImageEngineRunTest, StopAtAnyReportEndsTheRunAndLeavesItIdle)
{
    // Count the reports of a whole run, then stop at each one in turn.
    const std::vector<float> source = {0.1f, 0.2f, 0.8f, 0.9f, 0.4f, 0.3f, 0.5f, 0.6f, 0.7f,
                                       0.2f, 0.3f, 0.4f, 0.9f, 0.8f, 0.7f, 0.1f, 0.1f, 0.1f};
    ResetScript(0);
    {
        CImageEngine engine(1, 2, 3, -2, ScriptedProgress);
        std::vector<float> pixels = source;
        engine.Run(pixels.data(), 0.0f, 0.0f);
    }
    const int nReports = gnCalls;
    EXPECT_GT(nReports, 10);
    EXPECT_LE(gnMaxPercent, 99);

    for (int nStopAt = 2; nStopAt <= nReports; ++nStopAt) {
        ResetScript(nStopAt);
        CImageEngine engine(1, 2, 3, -2, ScriptedProgress);
        std::vector<float> pixels = source;
        engine.Run(pixels.data(), 0.0f, 0.0f);
        EXPECT_TRUE(engine.IsAborted());
        EXPECT_EQ(engine.GetProgress(), 100);
        // After the stop only pure stop checks may follow (they hear the same percentage).
        EXPECT_LE(gnCalls, nStopAt + 4) << "stop at " << nStopAt;
    }
}

TEST(ImageEngineRunTest, TinyAndThinImagesRunToValidResults)
{
    struct Size
    {
        int nRows, nCols;
    };
    for (const Size size : {Size{1, 1}, Size{1, 7}, Size{7, 1}, Size{2, 2}, Size{3, 5}}) {
        for (int bColor : {0, 1}) {
            for (unsigned char bFast : {0, 1}) {
                const int nChannels = bColor ? 3 : 1;
                std::vector<float> pixels(static_cast<std::size_t>(size.nRows) * size.nCols
                                          * nChannels);
                for (std::size_t i = 0; i < pixels.size(); ++i)
                    pixels[i] = static_cast<float>((i * 37) % 11) / 10.0f;
                CImageEngine engine(bColor, size.nRows, size.nCols, -2, nullptr);
                engine.SetFastMode(bFast);
                engine.SetFinalScaling(1);
                engine.Run(pixels.data(), 0.0f, 0.0f);
                EXPECT_TRUE(AllIn01(pixels)) << size.nRows << " x " << size.nCols << " colour "
                                             << bColor << " fast " << int(bFast);
            }
        }
    }
}

TEST(ImageEngineRunTest, LiftsTheShadowsOfARealPhotoAndKeepsItsHighlights)
{
    const testimage::Image photo = testimage::Coffee();
    ASSERT_EQ(photo.nRows, 60);
    ASSERT_EQ(photo.nCols, 90);
    for (unsigned char bFinalScaling : {0, 1}) {
        for (unsigned char bFast : {0, 1}) {
            // The plug-in's defaults: Amount 60, Fill Light 37.
            CImageEngine engine(1, photo.nRows, photo.nCols, -2, nullptr);
            engine.SetAmount(0.6f);
            engine.SetThermal(0.4f);
            engine.SetEpsilon(1e-4f);
            engine.SetRadius(0.0995f);
            engine.SetFastMode(bFast);
            engine.SetFinalScaling(bFinalScaling);
            std::vector<float> pixels = photo.rgb;
            engine.Run(pixels.data(), 0.0f, 1.0f);
            ASSERT_TRUE(AllIn01(pixels));

            // Brightness (max of R, G, B) of each pixel before and after, darkest first.
            std::vector<std::pair<float, float>> brightness;
            for (std::size_t i = 0; i < pixels.size(); i += 3)
                brightness.emplace_back(
                    std::max({photo.rgb[i], photo.rgb[i + 1], photo.rgb[i + 2]}),
                    std::max({pixels[i], pixels[i + 1], pixels[i + 2]}));
            std::sort(brightness.begin(), brightness.end());
            const std::size_t nTenth = brightness.size() / 10;
            double dDarkBefore = 0, dDarkAfter = 0, dBrightBefore = 0, dBrightAfter = 0;
            double dMeanBefore = 0, dMeanAfter = 0;
            for (std::size_t i = 0; i < nTenth; ++i) {
                dDarkBefore += brightness[i].first;
                dDarkAfter += brightness[i].second;
                dBrightBefore += brightness[brightness.size() - 1 - i].first;
                dBrightAfter += brightness[brightness.size() - 1 - i].second;
            }
            for (const auto& pair : brightness) {
                dMeanBefore += pair.first;
                dMeanAfter += pair.second;
            }
            const std::string what =
                "final scaling " + std::to_string(bFinalScaling) + " fast " + std::to_string(bFast);
            // The image as a whole gets brighter and its highlights stay.
            EXPECT_GT(dMeanAfter, dMeanBefore * 1.1) << what;
            EXPECT_GT(dBrightAfter, dBrightBefore * 0.95) << what;
            // Without the final stretch (which pins the darkest few pixels to
            // black) the darkest tenth is lifted clearly.
            if (!bFinalScaling) {
                EXPECT_GT(dDarkAfter, dDarkBefore * 1.25) << what;
            }
        }
    }
}

TEST(ImageEngineRunTest, ExtremeFiniteBoundsGiveAFiniteResult)
{
    // Bounds whose difference overflows a float, found in the data or given,
    // grey and colour: every result sample stays a number in [0, 1].
    for (const int nChannels : {1, 3}) {
        for (const bool bGiven : {false, true}) {
            std::vector<float> pixels(static_cast<std::size_t>(12 * 10 * nChannels));
            for (std::size_t i = 0; i < pixels.size(); ++i)
                pixels[i] = static_cast<float>(i % 7) * 1e37f - 3e37f;
            pixels[3] = 3e38f;
            pixels[5] = -3e38f;
            CImageEngine engine(nChannels == 3 ? 1 : 0, 10, 12, -2, nullptr);
            engine.Run(pixels.data(), bGiven ? -3e38f : 0.0f, bGiven ? 3e38f : 0.0f);
            EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(),
                                    [](float v) { return v >= 0.0f && v <= 1.0f; }))
                << nChannels << " channel(s), bounds " << (bGiven ? "given" : "found");
        }
    }
}
