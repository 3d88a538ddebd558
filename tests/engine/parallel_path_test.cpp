// The parallel, vectorised path against the straightforward one: the same bits for
// every image shape, mode and thread count, the same progress reports, the same stop
// points, and the same failure on a zero pivot.
#include "CImageEngine.h"
#include "EngineError.h"
#include "parallel/ParallelKernels.h"
#include "kernels/KernelsRelax.h"
#include "lanes/PixelLanes.h"
#include "PortableMath.h"
#include "TestImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<float> PhotoOfSize(const testimage::Image& photo, int nRows, int nCols)
{
    return testimage::Tiled(photo, nRows, nCols).rgb;
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
    return a.size() == b.size()
        && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0);
}

TEST(ParallelPathTest, SameBitsAsReferenceForEveryShapeModeAndThreadCount)
{
    const testimage::Image photo = testimage::Coffee();
    ASSERT_GT(photo.nRows, 0) << "test photo missing";
    // Odd and even extents, single rows and columns, and shapes with many lane groups
    // (enough lines and rows that three and seven threads all get work).
    const int sizes[][2] = {{60, 90}, {61, 89}, {1, 37},    {37, 1},   {2, 2},
                            {3, 50},  {50, 4},  {181, 250}, {250, 181}};
    for (const auto& size : sizes) {
        const int nRows = size[0];
        const int nCols = size[1];
        const std::vector<float> rgb = PhotoOfSize(photo, nRows, nCols);
        for (int nSetup = 0; nSetup < 8; ++nSetup) {
            const RunSetup setup{nSetup & 1, static_cast<unsigned char>((nSetup >> 1) & 1),
                                 static_cast<unsigned char>((nSetup >> 2) & 1)};
            const RunResult reference = RunEngine(rgb, nRows, nCols, setup, true, 1);
            for (int nThreads : {1, 2, 3, 7}) {
                const RunResult parallel = RunEngine(rgb, nRows, nCols, setup, false, nThreads);
                const std::string what = std::to_string(nRows) + "x" + std::to_string(nCols)
                                       + " colour " + std::to_string(setup.bColor) + " speed "
                                       + std::to_string(setup.bFast) + " scaling "
                                       + std::to_string(setup.bFinalScaling) + " threads "
                                       + std::to_string(nThreads);
                EXPECT_TRUE(SameBits(parallel.pixels, reference.pixels)) << what;
                // The same units in the same order: the same percentages, call for call.
                EXPECT_EQ(parallel.percents, reference.percents) << what;
                EXPECT_EQ(parallel.fProgressDone, reference.fProgressDone) << what;
            }
        }
    }
}

TEST(ParallelPathTest, SameBitsAsReferenceForGreyPrimariesAndHuesAtTheWrap)
{
    // Rows of a photo with pixels the colour lanes treat specially mixed in: grey (no
    // saturation), black, primaries and secondaries (hues on sextant borders), red with a
    // trace of blue (a hue just below 6 wraps to 0) and values above 1 (the bounds move).
    const testimage::Image photo = testimage::Coffee();
    ASSERT_GT(photo.nRows, 0) << "test photo missing";
    const int nRows = 23;
    const int nCols = 45;
    std::vector<float> rgb = PhotoOfSize(photo, nRows, nCols);
    const float special[][3] = {{0.5f, 0.5f, 0.5f},       {0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f},
                                {1.0f, 1.0f, 0.0f},       {0.0f, 1.0f, 1.0f}, {1.0f, 0.0f, 1e-7f},
                                {0.9f, 0.2f, 0.2000001f}, {1.7f, 0.3f, 0.1f}};
    for (std::size_t i = 0; i < rgb.size() / 3; i += 3) {
        const float* pSpecial = special[(i / 3) % (sizeof special / sizeof special[0])];
        std::copy(pSpecial, pSpecial + 3, rgb.begin() + static_cast<std::ptrdiff_t>(3 * i));
    }
    for (int nSetup = 0; nSetup < 8; ++nSetup) {
        const RunSetup setup{nSetup & 1, static_cast<unsigned char>((nSetup >> 1) & 1),
                             static_cast<unsigned char>((nSetup >> 2) & 1)};
        const RunResult reference = RunEngine(rgb, nRows, nCols, setup, true, 1);
        const RunResult parallel = RunEngine(rgb, nRows, nCols, setup, false, 2);
        EXPECT_TRUE(SameBits(parallel.pixels, reference.pixels)) << "setup " << nSetup;
    }
}

TEST(ParallelPathTest, AnEngineRunsAgainWithFreshWorkerThreadsAndOtherThreadSettings)
{
    // The worker threads end with each run and start again with the next one; a changed
    // thread count or path between runs remakes the engine's pool and whatever runs on it.
    // Both with grids in RAM and paged.
    const testimage::Image photo = testimage::Coffee();
    ASSERT_GT(photo.nRows, 0) << "test photo missing";
    const std::vector<float> rgb = PhotoOfSize(photo, 181, 250);
    const RunResult reference = RunEngine(rgb, 181, 250, RunSetup{}, true, 1);
    const std::pair<bool, int> settings[] = {{false, 3}, {false, 3}, {true, 3}, {false, 1},
                                             {false, 2}, {true, 2},  {false, 2}};
    for (int nReserve : {-2, -1}) {
        CImageEngine engine(1, 181, 250, nReserve, nullptr);
        ASSERT_EQ(engine.Grids().IsInRam(), nReserve == -2);
        engine.SetAmount(0.6f);
        engine.SetEpsilon(1e-4f);
        engine.SetThermal(0.4f);
        engine.SetRadius(0.0995f);
        for (const auto& [bReference, nThreads] : settings) {
            engine.SetReferencePath(bReference);
            engine.SetThreadCount(nThreads);
            engine.SetOutputRange(-1.0f, 1.0f);
            std::vector<float> pixels = rgb;
            engine.Run(pixels.data(), 0.0f, 0.0f);
            float fLow = 0.0f, fHigh = 0.0f;
            engine.GetOutputRange(fLow, fHigh);
            pixels.push_back(fLow);
            pixels.push_back(fHigh);
            EXPECT_TRUE(SameBits(pixels, reference.pixels))
                << "reserve " << nReserve << (bReference ? " reference" : " threads ") << nThreads;
        }
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
        const RunResult parallel = RunEngine(rgb, 120, 170, setup, false, 2, nStopAfter);
        // The run ends within a few reports of the refusal, on both paths alike.
        EXPECT_LE(reference.percents.size(), static_cast<std::size_t>(nStopAfter) + 4);
        EXPECT_EQ(parallel.percents, reference.percents) << "stop after " << nStopAfter;
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

// The per-pixel row kernels on their own, in every set the processor runs, against the
// scalar functions: rows of every length up to a few lane groups and beyond (so every lane
// position and the leftover columns), with the inputs the lanes cannot take mixed in.

std::vector<const gw::pixel::LaneKernels*> LaneSets()
{
    // The straightforward rows too: the reference path runs them, and the lanes their leftovers.
    std::vector<const gw::pixel::LaneKernels*> sets{&gw::pixel::ScalarRows(),
                                                    &gw::pixel::BaselineLanes()};
    if (const gw::pixel::LaneKernels* pAvx2 = gw::pixel::Avx2Lanes())
        sets.push_back(pAvx2);
    return sets;
}

// Random floats from [fLow, fHigh), with one in nSpecialOdds drawn from the awkward values.
struct AwkwardFloats
{
    std::mt19937 random{11};
    std::vector<float> specials;
    float fLow = 0.0f;
    float fHigh = 1.0f;
    int nSpecialOdds = 12;

    float operator()()
    {
        if (random() % static_cast<unsigned>(nSpecialOdds) == 0)
            return specials[random() % specials.size()];
        return std::uniform_real_distribution<float>(fLow, fHigh)(random);
    }
    std::vector<float> Many(std::size_t n)
    {
        std::vector<float> values(n);
        for (float& v : values)
            v = (*this)();
        return values;
    }
};

constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kTiny = std::numeric_limits<float>::denorm_min();

std::vector<int> LaneTestWidths()
{
    std::vector<int> widths;
    for (int n = 0; n <= 40; ++n)
        widths.push_back(n);
    widths.push_back(1001);
    return widths;
}

TEST(PixelLanesTest, ReflectanceRowHasTheScalarBits)
{
    const double dFloor = 0.008;
    const double dExponent = static_cast<double>(1.0f / 2.2f);
    AwkwardFloats illumination;
    illumination.fLow = -0.1f;
    illumination.fHigh = 1.5f;
    illumination.specials = {0.0f,  -0.0f, 1.0f,  0.008f, std::nextafter(0.008f, 0.0f),
                             kTiny, kNan,  -kNan, kInf,   -kInf,
                             1e30f, 2.0f};
    AwkwardFloats value;
    value.specials = {0.0f, -0.0f, 1.0f, -0.5f, kNan, kInf, 1e-30f};
    for (const gw::pixel::LaneKernels* pLanes : LaneSets()) {
        for (int nCols : LaneTestWidths()) {
            // Columns 1..nCols, as in a grid row with its border.
            std::vector<float> l = illumination.Many(static_cast<std::size_t>(nCols) + 2);
            std::vector<float> w = value.Many(l.size());
            std::vector<float> lExpected = l;
            std::vector<float> wExpected = w;
            float fMinExpected = 1e6f, fMaxExpected = -1e6f;
            for (int c = 1; c <= nCols; ++c) {
                if (static_cast<double>(lExpected[c]) < dFloor)
                    lExpected[c] = static_cast<float>(dFloor);
                const float fQuotient =
                    static_cast<float>(static_cast<double>(wExpected[c])
                                       / gw::PortablePowFast(lExpected[c], dExponent));
                if (fQuotient < fMinExpected)
                    fMinExpected = fQuotient;
                if (fQuotient > fMaxExpected)
                    fMaxExpected = fQuotient;
                wExpected[c] = (1.0f - lExpected[c]) * fQuotient;
            }
            // The values in place in the row, or every third float of a pixel buffer.
            for (const bool bInPlace : {true, false}) {
                std::vector<float> wOut = w;
                std::vector<float> lOut = l;
                std::vector<float> pixels(3 * w.size(), -3.0f);
                for (std::size_t i = 1; i < w.size(); ++i)
                    pixels[3 * (i - 1) + 1] = w[i];
                float fMin = 1e6f, fMax = -1e6f;
                if (bInPlace)
                    pLanes->pfnReflectanceRow(wOut.data(), wOut.data() + 1, 1, lOut.data(), nCols,
                                              dFloor, dExponent, fMin, fMax);
                else
                    pLanes->pfnReflectanceRow(wOut.data(), pixels.data() + 1, 3, lOut.data(), nCols,
                                              dFloor, dExponent, fMin, fMax);
                const std::string what = std::string(pLanes->pName) + " width "
                                       + std::to_string(nCols)
                                       + (bInPlace ? " in place" : " from pixels");
                // Where a NaN illumination meets a NaN quotient, which NaN comes out depends on
                // the operand order the compiler picked (it differs between builds): any NaN.
                for (std::size_t i = 0; i < l.size(); ++i) {
                    if (std::isnan(l[i]) && std::isnan(wOut[i]) && std::isnan(wExpected[i]))
                        wOut[i] = wExpected[i];
                }
                EXPECT_TRUE(SameBits(wOut, wExpected)) << what;
                EXPECT_TRUE(SameBits(lOut, lExpected)) << what;
                // Zeros of either sign may stand for each other in the extremes, nothing else.
                EXPECT_EQ(fMin, fMinExpected) << what;
                EXPECT_EQ(fMax, fMaxExpected) << what;
                EXPECT_EQ(std::signbit(fMax), std::signbit(fMaxExpected) || fMax == 0.0f) << what;
            }
        }
    }
}

TEST(PixelLanesTest, BoundsAreThoseOfAPassInOrder)
{
    AwkwardFloats values;
    values.fLow = -2.0f;
    values.fHigh = 3.0f;
    values.specials = {0.0f, -0.0f, kNan, -kNan, kInf, -kInf, kTiny, -kTiny};
    for (const gw::pixel::LaneKernels* pLanes : LaneSets()) {
        for (int n : LaneTestWidths()) {
            for (const float fScale : {1.0f, -1.0f, 0.0f}) {
                // All positive, all negative (or zero) and all zero, NaN and beyond among them.
                std::vector<float> data = values.Many(static_cast<std::size_t>(n) * 5);
                for (float& v : data)
                    v = fScale == 0.0f ? (v == v ? v * 0.0f : v) : std::fabs(v) * fScale;
                float fMinExpected = 0.0f, fMaxExpected = 0.0f;
                for (const float v : data) {
                    if (v > fMaxExpected)
                        fMaxExpected = v;
                    if (v < fMinExpected)
                        fMinExpected = v;
                }
                float fMin = 0.0f, fMax = 0.0f;
                pLanes->pfnBounds(data.data(), data.size(), fMin, fMax);
                const std::vector<float> bounds{fMin, fMax};
                EXPECT_TRUE(SameBits(bounds, {fMinExpected, fMaxExpected}))
                    << pLanes->pName << " " << data.size() << " floats, scale " << fScale;
            }
        }
    }
}

TEST(PixelLanesTest, ChannelCopiesMoveOnlyTheirChannelBitForBit)
{
    std::mt19937 random(5);
    for (const gw::pixel::LaneKernels* pLanes : LaneSets()) {
        for (int n : LaneTestWidths()) {
            for (const int nChannels : {1, 3}) {
                for (int nChannel = 0; nChannel < nChannels; ++nChannel) {
                    // Random bit patterns: NaNs with payloads, subnormals and signed zeros
                    // included.
                    std::vector<std::uint32_t> pixelBits(static_cast<std::size_t>(n) * nChannels
                                                         + 1);
                    std::vector<std::uint32_t> rowBits(static_cast<std::size_t>(n) + 1);
                    for (std::uint32_t& b : pixelBits)
                        b = static_cast<std::uint32_t>(random());
                    for (std::uint32_t& b : rowBits)
                        b = static_cast<std::uint32_t>(random());
                    std::vector<float> pixels(pixelBits.size());
                    std::vector<float> row(rowBits.size());
                    std::memcpy(pixels.data(), pixelBits.data(), pixels.size() * sizeof(float));
                    std::memcpy(row.data(), rowBits.data(), row.size() * sizeof(float));

                    std::vector<float> out = row;
                    std::vector<float> outExpected = row;
                    std::vector<float> in = pixels;
                    std::vector<float> inExpected = pixels;
                    for (int i = 0; i < n; ++i) {
                        const std::size_t p = static_cast<std::size_t>(i) * nChannels
                                            + static_cast<std::size_t>(nChannel);
                        std::memcpy(&outExpected[static_cast<std::size_t>(i)], &pixels[p],
                                    sizeof(float));
                        std::memcpy(&inExpected[p], &row[static_cast<std::size_t>(i)],
                                    sizeof(float));
                    }
                    pLanes->pfnCopyChannelOut(pixels.data(), nChannels, nChannel, out.data(), n);
                    pLanes->pfnCopyChannelIn(row.data(), in.data(), nChannels, nChannel, n);
                    const std::string what = std::string(pLanes->pName) + " " + std::to_string(n)
                                           + " pixels of " + std::to_string(nChannels)
                                           + ", channel " + std::to_string(nChannel);
                    EXPECT_TRUE(SameBits(out, outExpected)) << "out " << what;
                    EXPECT_TRUE(SameBits(in, inExpected)) << "in " << what;
                }
            }
        }
    }
}

TEST(PixelLanesTest, ColourConversionsAndBlendHaveTheScalarBits)
{
    const gw::pixel::PixelLayout layout{3, 2, 1, 0};
    const float fAmount = 0.6f;
    const float fPivot = 0.25f;
    const float fDarkening = 0.04f;
    AwkwardFloats channel;
    channel.specials = {0.0f, -0.0f, 1.0f, 0.5f, -0.25f, kTiny, kNan, kInf, -kInf, 3.0f};
    AwkwardFloats hue;
    hue.fHigh = 6.0f;
    hue.specials = {0.0f,          -0.0f,          std::nextafter(6.0f, 0.0f),
                    6.0f,          5.999f,         -0.5f,
                    7.5f,          1e10f,          -1e10f,
                    2147483520.0f, -2147483520.0f, 2147483392.0f,
                    kNan,          kInf,           -kInf};
    AwkwardFloats saturation;
    saturation.specials = {0.0f, -0.0f, 1.0f, kTiny, kNan, kInf, 1.5f, -0.5f};
    for (const gw::pixel::LaneKernels* pLanes : LaneSets()) {
        for (int nCols : LaneTestWidths()) {
            const std::size_t nPixels = static_cast<std::size_t>(nCols);
            const std::string what = std::string(pLanes->pName) + " width " + std::to_string(nCols);

            // RGB to HSV, in place; grey pixels and pixels with two equal channels too.
            std::vector<float> rgb = channel.Many(3 * nPixels);
            for (std::size_t i = 0; i + 3 <= rgb.size(); i += 21)
                rgb[i + 1] = rgb[i + 2] = rgb[i];
            for (std::size_t i = 3; i + 3 <= rgb.size(); i += 33)
                rgb[i] = rgb[i + 1];
            // Red with a trace of blue: a hue a hair below 0 that rounds to 6 when wrapped.
            for (std::size_t i = 6; i + 3 <= rgb.size(); i += 39) {
                rgb[i] = 1.0f;
                rgb[i + 1] = 0.0f;
                rgb[i + 2] = 1e-8f;
            }
            std::vector<float> hsvExpected = rgb;
            for (std::size_t i = 0; i < nPixels; ++i) {
                float* p = &hsvExpected[3 * i];
                CImageEngine::RgbToHsv(p[0], p[1], p[2], p[0], p[1], p[2]);
            }
            pLanes->pfnRgbToHsvPixels(rgb.data(), nPixels);
            EXPECT_TRUE(SameBits(rgb, hsvExpected)) << "to HSV " << what;

            // HSV pixels (hue, saturation, value) and grid rows of values and illuminations.
            std::vector<float> hsv(3 * nPixels);
            for (std::size_t i = 0; i < nPixels; ++i) {
                hsv[3 * i] = hue();
                hsv[3 * i + 1] = saturation();
                hsv[3 * i + 2] = channel();
            }
            const std::vector<float> w = channel.Many(nPixels + 2);
            const std::vector<float> l = channel.Many(nPixels + 2);

            // The blend and the conversion back, in place and into another buffer.
            std::vector<float> wExpected = w;
            std::vector<float> blendExpected = hsv;
            std::vector<float> writeExpected = hsv;
            for (std::size_t i = 0; i < nPixels; ++i) {
                float* p = &blendExpected[3 * i];
                const float fHue = p[0];
                const float fSat = p[1];
                wExpected[i + 1] = 1.0f - (1.0f - p[2]) * (1.0f - fAmount * wExpected[i + 1]);
                const float b = fPivot - fDarkening * (1.0f - l[i + 1]);
                CImageEngine::HsvToRgb(&p[0], &p[1], &p[2], fHue,
                                       CImageEngine::SaturationCurve(fSat, fPivot, b),
                                       wExpected[i + 1]);
                float* q = &writeExpected[3 * i];
                CImageEngine::HsvToRgb(&q[0], &q[1], &q[2], q[0], q[1], w[i + 1]);
            }
            // The stretch's first pass, on colour pixels and on a grey row (one channel).
            for (const gw::pixel::PixelLayout& blendLayout :
                 {layout, gw::pixel::PixelLayout{1, 0, 0, 0}}) {
                std::vector<float> wStretch = w;
                std::vector<float> wStretchExpected = w;
                float fMinExpected = 1e6f, fMaxExpected = -1e6f;
                for (std::size_t i = 0; i < nPixels; ++i) {
                    const float fValue = hsv[i * static_cast<std::size_t>(blendLayout.nChannels)
                                             + static_cast<std::size_t>(blendLayout.nValue)];
                    float& fW = wStretchExpected[i + 1];
                    fW = 1.0f - (1.0f - fValue) * (1.0f - fAmount * fW);
                    if (fW <= fMinExpected)
                        fMinExpected = fW;
                    if (fW >= fMaxExpected)
                        fMaxExpected = fW;
                }
                float fMin = 1e6f, fMax = -1e6f;
                pLanes->pfnBlendRowIntoWork(hsv.data(), wStretch.data(), nCols, fAmount,
                                            blendLayout, fMin, fMax);
                EXPECT_TRUE(SameBits(wStretch, wStretchExpected)) << "stretch " << what;
                EXPECT_EQ(fMin, fMinExpected) << "stretch " << what;
                EXPECT_EQ(fMax, fMaxExpected) << "stretch " << what;
            }

            // The grey blend, on a one-channel row, in place and into another row.
            {
                const gw::pixel::PixelLayout grey{1, 0, 0, 0};
                const std::vector<float> values = channel.Many(nPixels);
                std::vector<float> greyExpected = values;
                for (std::size_t i = 0; i < nPixels; ++i)
                    greyExpected[i] = 1.0f - (1.0f - values[i]) * (1.0f - fAmount * w[i + 1]);
                std::vector<float> inPlace = values;
                pLanes->pfnBlendRowGrey(inPlace.data(), inPlace.data(), w.data(), nCols, fAmount,
                                        grey);
                EXPECT_TRUE(SameBits(inPlace, greyExpected)) << "grey blend " << what;
                std::vector<float> apart(nPixels, -7.0f);
                pLanes->pfnBlendRowGrey(apart.data(), values.data(), w.data(), nCols, fAmount,
                                        grey);
                EXPECT_TRUE(SameBits(apart, greyExpected)) << "grey blend apart " << what;
            }

            for (const bool bInPlace : {true, false}) {
                std::vector<float> in = hsv;
                std::vector<float> separate(hsv.size(), -7.0f);
                float* pOut = bInPlace ? in.data() : separate.data();
                std::vector<float> wBlend = w;
                pLanes->pfnBlendRowColour(pOut, in.data(), wBlend.data(), l.data(), nCols, fAmount,
                                          fPivot, fDarkening, layout);
                EXPECT_TRUE(SameBits(bInPlace ? in : separate, blendExpected)) << "blend " << what;
                EXPECT_TRUE(SameBits(wBlend, wExpected)) << "blend " << what;
                if (!bInPlace) {
                    EXPECT_TRUE(SameBits(in, hsv)) << "blend input kept " << what;
                }

                in = hsv;
                std::fill(separate.begin(), separate.end(), -7.0f);
                pOut = bInPlace ? in.data() : separate.data();
                pLanes->pfnWriteRowColour(pOut, in.data(), w.data(), nCols, layout);
                EXPECT_TRUE(SameBits(bInPlace ? in : separate, writeExpected)) << "to RGB " << what;
            }
        }
    }
}

// A level of random grids, for the kernels on their own. The straightforward kernels take Bv
// transposed, the parallel ones row-major (bRowMajorBv); both get the same couplings.
struct RandomLevel
{
    std::vector<float> bh, bv, f, u;
    gw::LevelGrids grids;
    bool bRowMajor = false;

    RandomLevel(int nRows, int nCols, unsigned nSeed, bool bRowMajorBv = false)
        : bh(static_cast<std::size_t>(nRows) * nCols)
        , bv(bh.size())
        , f(bh.size())
        , u(bh.size())
        , bRowMajor(bRowMajorBv)
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
                    bv[static_cast<std::size_t>(r) * nCols + c] =
                        transposed[static_cast<std::size_t>(c) * nRows + r];
            }
            bvView = gw::GridView::Of(bv.data(), nRows, nCols);
        }
        grids = gw::LevelGrids{gw::GridView::Of(bh.data(), nRows, nCols), bvView,
                               gw::GridView::Of(f.data(), nRows, nCols),
                               gw::GridView::Of(u.data(), nRows, nCols)};
    }

    /// The coupling of (r, c) with (r + 1, c).
    float& Bv(int r, int c) { return bRowMajor ? grids.bv.At(r, c) : grids.bv.At(c, r); }
};

TEST(ParallelKernelsTest, RelaxationMatchesAndFailsLikeTheReference)
{
    for (const auto& size :
         {std::pair{5, 7}, std::pair{40, 33}, std::pair{97, 130}, std::pair{3, 300}}) {
        const auto [nRows, nCols] = size;
        const int nLine = std::max(nRows, nCols);
        std::vector<float> scratch(static_cast<std::size_t>(4) * nLine);
        const gw::LineVectors lines{scratch.data(), scratch.data() + nLine,
                                    scratch.data() + 2 * nLine, scratch.data() + 3 * nLine};
        RandomLevel reference(nRows, nCols, 7);
        gw::RelaxLines(reference.grids, lines, 3, 3, {});
        for (int nThreads : {1, 3}) {
            RandomLevel parallel(nRows, nCols, 7, true);
            gw::CWorkerPool pool(nThreads);
            gw::CParallelKernels kernels(pool, nLine);
            kernels.RelaxLines(parallel.grids, 3, 3, {});
            EXPECT_TRUE(SameBits(parallel.u, reference.u))
                << nRows << "x" << nCols << " threads " << nThreads;
        }
    }

    // A zero pivot in one lane of a column group (column 5's first diagonal is
    // 1 - 0.5 - 0.5 with no vertical couplings): the same error as the reference.
    auto zeroPivotKind = [](bool bParallel) {
        RandomLevel level(9, 20, 3, bParallel);
        level.grids.bh.At(1, 5) = 0.5f;
        level.grids.bh.At(1, 4) = 0.5f;
        level.Bv(0, 5) = 0.0f;
        level.Bv(1, 5) = 0.0f;
        std::vector<float> scratch(4 * 20);
        try {
            if (bParallel) {
                gw::CWorkerPool pool(2);
                gw::CParallelKernels kernels(pool, 20);
                kernels.RelaxLines(level.grids, 1, 1, {});
            } else {
                gw::RelaxLines(
                    level.grids,
                    {scratch.data(), scratch.data() + 20, scratch.data() + 40, scratch.data() + 60},
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
