// Fixed runs on a real photo, compared bit for bit with checksums recorded from
// the native Linux build. The same program runs in the x86 and x64 builds, so a
// target whose arithmetic differs in any bit fails here. The recorded values
// come from our own code: they guard against change, they do not prove the
// results right (the other engine tests do that).
#include "CImageEngine.h"
#include "TestImage.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <vector>

namespace {

struct GoldenCase
{
    const char* pName;
    int bColor;
    unsigned char bFast;
    unsigned char bFinalScaling;
    std::uint64_t nChecksum;
};

// The plug-in's defaults: Amount 60, Fill Light 37, thermal 40, epsilon 100.
std::vector<float> RunCase(const GoldenCase& test, const testimage::Image& photo)
{
    std::vector<float> pixels = test.bColor ? photo.rgb : testimage::GreenOf(photo);
    CImageEngine engine(test.bColor, photo.nRows, photo.nCols, -2, nullptr);
    engine.SetAmount(0.6f);
    engine.SetEpsilon(1e-4f);
    engine.SetThermal(0.4f);
    engine.SetFastMode(test.bFast);
    engine.SetFinalScaling(test.bFinalScaling);
    engine.SetRadius(0.0995f);
    engine.Run(pixels.data(), 0.0f, 1.0f);
    float fLow, fHigh;
    engine.GetOutputRange(fLow, fHigh);
    pixels.push_back(fLow);
    pixels.push_back(fHigh);
    return pixels;
}

} // namespace

TEST(GoldenRunTest, RealPhotoGivesTheRecordedBitsOnEveryTarget)
{
    const testimage::Image photo = testimage::Coffee();
    ASSERT_EQ(photo.nRows, 60);
    const GoldenCase cases[] = {
        {"colour quality autoscale", 1, 0, 1, 0x10c1e4f2b7b51933ull},
        {"colour speed autoscale", 1, 1, 1, 0x9fb16cb4c62d729cull},
        {"colour quality", 1, 0, 0, 0x547b5ffaf3a78426ull},
        {"grey quality autoscale", 0, 0, 1, 0x5ee73334bd8f181aull},
        {"grey speed", 0, 1, 0, 0x40516888484dc356ull},
    };
    for (const GoldenCase& test : cases) {
        const std::uint64_t nChecksum = testimage::Checksum(RunCase(test, photo));
        std::printf("%-26s 0x%016" PRIx64 "\n", test.pName, nChecksum);
        EXPECT_EQ(nChecksum, test.nChecksum) << test.pName;
    }
}
