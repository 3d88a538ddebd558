// The table-driven power against the series power: accurate to a few double ulps over the
// whole range, the same answers for the special arguments, and the same float reflectance
// quotients over the engine's range of illuminations.
#include "PortableMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

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
        const float fFast = static_cast<float>(static_cast<double>(fW) / gw::PortablePowFast(fL, y));
        nDiffer += fSeries != fFast ? 1 : 0;
    }
    EXPECT_EQ(nDiffer, 0);
}

} // namespace
