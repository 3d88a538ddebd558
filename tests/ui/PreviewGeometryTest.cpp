// PreviewGeometryTest.cpp - fitting zoom, preview placement, zoom steps,
// keeping the centre, panning and the zoom label.
#include "ui/PreviewGeometry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace gw::ui;

RECT Area(LONG left, LONG top, LONG right, LONG bottom)
{
    return RECT{left, top, right, bottom};
}

std::string Label(float fZoom)
{
    char text[16];
    FormatZoomLabel(fZoom, text);
    return text;
}

TEST(PreviewGeometry, FitsLargeImagesAndNeverMagnifiesSmallOnes)
{
    // A 300 x 300 placeholder gives a 301 x 301 maximum area.
    const RECT max = Area(10, 20, 310, 320);
    const float fit = FitZoom(max, 3010, 1505);
    EXPECT_EQ(fit, 0.1f);
    const RECT shown = PreviewRect(max, 3010, 1505, fit);
    EXPECT_EQ(Width(shown), 301);
    EXPECT_EQ(Height(shown), 150);
    EXPECT_EQ(shown.left, 10);
    EXPECT_EQ(shown.top, 20 + 75);

    // Smaller than the area: shown at its own size, centred.
    EXPECT_EQ(FitZoom(max, 100, 80), 1.0f);
    const RECT small = PreviewRect(max, 100, 80, 1.0f);
    EXPECT_EQ(Width(small), 100);
    EXPECT_EQ(Height(small), 80);
    EXPECT_EQ(small.left, 10 + 150 - 50);
    EXPECT_EQ(small.top, 20 + 150 - 40);

    // Enlarged beyond the area: never larger than it.
    const RECT enlarged = PreviewRect(max, 3010, 1505, 9.0f);
    EXPECT_EQ(enlarged.left, max.left);
    EXPECT_EQ(enlarged.top, max.top);
    EXPECT_EQ(enlarged.right, max.right);
    EXPECT_EQ(enlarged.bottom, max.bottom);

    // An empty processed area must not divide by zero.
    EXPECT_EQ(FitZoom(max, 0, 100), 1.0f);
}

TEST(PreviewGeometry, ZoomStepsAndTheirLimits)
{
    EXPECT_EQ(ZoomInStep(0.4f), 0.5f);
    EXPECT_EQ(ZoomInStep(0.5f), 0.66f);
    EXPECT_EQ(ZoomInStep(8.0f), 9.0f);
    EXPECT_EQ(ZoomInStep(9.0f), 9.0f);
    EXPECT_EQ(ZoomInStep(0.001f), 0.01f);

    // Below the fitting zoom the caller raises the result to the fit.
    EXPECT_EQ(ZoomOutStep(0.5f, 0.4f), 0.33f);
    EXPECT_EQ(ZoomOutStep(9.0f, 0.1f), 8.0f);
    EXPECT_EQ(ZoomOutStep(1.0f, 0.1f), 0.75f);
    EXPECT_EQ(ZoomOutStep(0.01f, 0.001f), 0.01f); // stops at the first entry

    EXPECT_EQ(Label(9.0f), "900%");
    EXPECT_EQ(Label(0.25f), " 25%");
    EXPECT_EQ(Label(1.0f), "100%");
    EXPECT_EQ(Label(0.1f), " 10%");
}

TEST(PreviewGeometry, ZoomKeepsTheCentreAndPanningFollowsTheMouse)
{
    // 100 x 100 shown at zoom 1 from (10, 10): centre (60, 60); at zoom 2 the
    // same area shows 50 x 50 image pixels around it.
    const RECT area = Area(0, 0, 99, 99);
    POINT origin = KeepCentre(area, area, POINT{10, 10}, 1.0f, 2.0f);
    EXPECT_EQ(origin.x, 35);
    EXPECT_EQ(origin.y, 35);
    origin = KeepCentre(area, area, POINT{0, 0}, 2.0f, 1.0f);
    EXPECT_EQ(origin.x, 0); // never negative
    EXPECT_EQ(origin.y, 0);

    // At zoom 4 a 3-pixel step moves nothing; the remainder is not carried.
    const POINT start{100, 100};
    POINT moved = PanStep(start, POINT{50, 50}, POINT{53, 53}, 4.0f, 1000, 800, 400, 300);
    EXPECT_EQ(moved.x, 100);
    EXPECT_EQ(moved.y, 100);
    // Moving the mouse right and down moves the origin left and up.
    moved = PanStep(start, POINT{50, 50}, POINT{58, 62}, 4.0f, 1000, 800, 400, 300);
    EXPECT_EQ(moved.x, 98);
    EXPECT_EQ(moved.y, 97);
    // Kept inside the image on both sides.
    moved = PanStep(start, POINT{0, 0}, POINT{4000, 4000}, 4.0f, 1000, 800, 400, 300);
    EXPECT_EQ(moved.x, 0);
    EXPECT_EQ(moved.y, 0);
    moved = PanStep(start, POINT{4000, 4000}, POINT{0, 0}, 4.0f, 1000, 800, 400, 300);
    EXPECT_EQ(moved.x, 1000 - 100);
    EXPECT_EQ(moved.y, 800 - 75);
}

} // namespace
