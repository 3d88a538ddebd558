// The table-driven power against the series power: accurate to a few double ulps over the
// whole range, the same answers for the special arguments, and the same float reflectance
// quotients over the engine's range of illuminations.
#include "lanes/PixelLanes.h"
#include "PortableMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace {

TEST(PortablePowFastTest, AgreesWithTheSeriesPowerToAFewUlps)
{
    int nChecked = 0;
    for (double y : {0.45454543828964233, -2.5, 3.0, 0.08, 1.0 / 3.0}) {
        for (double x = 1e-300; x < 1e300; x *= 1.37) {
            const double dSeries = gw::PortablePow(x, y);
            const double dFast = gw::PortablePowFast(x, y);
            if (dSeries == 0.0 || std::isinf(dSeries))
                continue;
            // Both carry the rounding of y log x, which grows with |y log x|.
            const double dTolerance = 8e-16 * (1.0 + std::fabs(y * std::log(x)));
            EXPECT_LE(std::fabs(dFast - dSeries) / dSeries, dTolerance) << x << "^" << y;
            ++nChecked;
        }
    }
    EXPECT_GT(nChecked, 5000);

    const double dNan = std::numeric_limits<double>::quiet_NaN();
    const double dInf = std::numeric_limits<double>::infinity();
    for (double x : {0.0, 1.0, 4.9e-324, 2.2e-310, dInf, -2.0, dNan}) {
        for (double y : {0.5, 0.0, -1.0}) {
            const double dSeries = gw::PortablePow(x, y);
            const double dFast = gw::PortablePowFast(x, y);
            if (std::isnan(dSeries))
                EXPECT_TRUE(std::isnan(dFast)) << x << "^" << y;
            else
                EXPECT_EQ(dFast, dSeries) << x << "^" << y;
        }
    }
}

TEST(PortablePowFastTest, ReflectanceQuotientsMatchTheSeriesPower)
{
    // value / illumination^(1/2.2) rounded to float, over illuminations from the floor up.
    const double y = static_cast<double>(1.0f / 2.2f);
    std::uint32_t nState = 12345u;
    int nDiffer = 0;
    for (int i = 0; i < 400000; ++i) {
        nState = nState * 1664525u + 1013904223u;
        const float fL = 0.008f + 0.992f * static_cast<float>(nState >> 8) / 16777216.0f;
        nState = nState * 1664525u + 1013904223u;
        const float fW = static_cast<float>(nState >> 8) / 16777216.0f;
        const float fSeries = static_cast<float>(static_cast<double>(fW) / gw::PortablePow(fL, y));
        const float fFast =
            static_cast<float>(static_cast<double>(fW) / gw::PortablePowFast(fL, y));
        nDiffer += fSeries != fFast ? 1 : 0;
    }
    EXPECT_EQ(nDiffer, 0);
}

// The lane sets this processor runs: the baseline always, AVX2 where present.
std::vector<const gw::pixel::LaneKernels*> LaneSets()
{
    std::vector<const gw::pixel::LaneKernels*> sets{&gw::pixel::BaselineLanes()};
    if (const gw::pixel::LaneKernels* pAvx2 = gw::pixel::Avx2Lanes())
        sets.push_back(pAvx2);
    return sets;
}

// Indices of the values whose lane power differs in any bit from the scalar one.
std::vector<std::size_t> LaneMismatches(const gw::pixel::LaneKernels& lanes,
                                        const std::vector<double>& x, double y)
{
    std::vector<double> out(x.size());
    lanes.pfnPow(x.data(), y, out.data(), static_cast<int>(x.size()));
    std::vector<std::size_t> differ;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double dScalar = gw::PortablePowFast(x[i], y);
        if (std::memcmp(&dScalar, &out[i], sizeof dScalar) != 0)
            differ.push_back(i);
    }
    return differ;
}

TEST(PortablePowFastTest, LanePowerHasTheScalarBitsForEveryInput)
{
    const double dNan = std::numeric_limits<double>::quiet_NaN();
    const double dInf = std::numeric_limits<double>::infinity();
    const double dMin = std::numeric_limits<double>::min();
    for (const gw::pixel::LaneKernels* pLanes : LaneSets()) {
        // Every 23rd float of the engine's range of illuminations, at the engine's exponent.
        const double y = static_cast<double>(1.0f / 2.2f);
        std::uint32_t nBits = 0;
        const float fFirst = 1e-3f;
        std::memcpy(&nBits, &fFirst, sizeof nBits);
        std::vector<double> sweep;
        for (float f = fFirst; f <= 4.0f; nBits += 23, std::memcpy(&f, &nBits, sizeof f))
            sweep.push_back(static_cast<double>(f));
        EXPECT_GT(sweep.size(), 3000000u);
        EXPECT_TRUE(LaneMismatches(*pLanes, sweep, y).empty()) << pLanes->pName;

        // The whole double range and other exponents, up to and past |y log x| = 700, with a
        // count that leaves a tail for the scalar loop.
        for (double yOther : {-2.5, 3.0, 0.08, 1.0 / 3.0, 1e-320, -700.0}) {
            std::vector<double> wide;
            for (double x = 1e-300; x < 1e300; x *= 1.0137)
                wide.push_back(x);
            wide.push_back(1.0);
            EXPECT_TRUE(LaneMismatches(*pLanes, wide, yOther).empty())
                << pLanes->pName << " y " << yOther;
        }

        // Special arguments in every lane position, among ordinary ones.
        const double specials[] = {0.0,        -0.0, 1.0,   4.9e-324,
                                   dMin / 2.0, dMin, dInf,  -dInf,
                                   -2.0,       dNan, -dNan, std::numeric_limits<double>::max(),
                                   1e-305,     1e305};
        for (double dSpecial : specials) {
            for (std::size_t nAt = 0; nAt < 5; ++nAt) {
                std::vector<double> x{0.25, 0.5, 0.75, 1.5, 2.5};
                x[nAt] = dSpecial;
                for (double yOther : {y, 0.0, -1.0, 2.0})
                    EXPECT_TRUE(LaneMismatches(*pLanes, x, yOther).empty())
                        << pLanes->pName << " " << dSpecial << " at " << nAt << " y " << yOther;
            }
        }
    }
}

} // namespace
