// The canvas' zoom and scroll, and the mapping between canvas and image.
#include "canvas_view.h"

#include <gtest/gtest.h>

#include <cstdlib> // std::abs

TEST(CanvasView, AnImageThatFitsShowsAtOneToOne)
{
    canvas_view v;
    v.set_sizes(QSize(512, 512), QSize(601, 601));
    EXPECT_TRUE(v.one_to_one());
    EXPECT_EQ(v.scroll_limit(), QPoint(0, 0));
    EXPECT_EQ(v.image_pixel(QPoint(37, 480)), QPoint(37, 480));
    EXPECT_EQ(v.visible_pixels(), QRect(0, 0, 512, 512));
    v.scroll_to(QPoint(50, 50));
    EXPECT_EQ(v.scroll(), QPoint(0, 0)) << "nothing to scroll";
}

TEST(CanvasView, ZoomKeepsTheImagePointUnderTheAnchor)
{
    canvas_view v;
    v.set_sizes(QSize(2048, 2048), QSize(600, 600));
    const QPoint anchor(150, 420);
    const QPoint under = v.image_pixel(anchor);
    for (int step = 0; step < 4; ++step) {
        v.zoom_in(anchor);
        EXPECT_EQ(v.image_pixel(anchor), under) << v.zoom();
    }
    EXPECT_DOUBLE_EQ(v.zoom(), 4.0) << "1, 1.5, 2, 3, 4";
    v.zoom_out(anchor);
    EXPECT_DOUBLE_EQ(v.zoom(), 3.0);
    for (int step = 0; step < 40; ++step)
        v.zoom_in(anchor);
    EXPECT_DOUBLE_EQ(v.zoom(), canvas_view::max_zoom);
}

TEST(CanvasView, MappingBothWaysAgreesAtEveryZoomAndScroll)
{
    canvas_view v;
    v.set_sizes(QSize(4096, 3000), QSize(601, 587));
    for (double zoom : {0.125, 0.1467, 0.5, 1.0, 1.5, 3.0, 8.0}) {
        v.set_zoom(zoom, QPoint(0, 0));
        v.scroll_to(QPoint(777, 555));
        for (QPoint pixel :
             {QPoint(0, 0), QPoint(1000, 1000), QPoint(1234, 987), QPoint(4095, 2999)}) {
            const QPoint c = v.pixel_centre(pixel);
            if (!QRect(QPoint(0, 0), v.viewport()).contains(c))
                continue;
            // Below 1:1 a canvas pixel shows several image pixels, the first of them named.
            const QPoint back = v.image_pixel(c);
            const int spread = zoom >= 1.0 ? 0 : static_cast<int>(1.0 / zoom);
            EXPECT_LE(std::abs(back.x() - pixel.x()), spread) << zoom << " " << pixel.x();
            EXPECT_LE(std::abs(back.y() - pixel.y()), spread) << zoom << " " << pixel.y();
        }
        EXPECT_TRUE(QRect(0, 0, 4096, 3000).contains(v.visible_pixels()));
    }
}

TEST(CanvasView, FitShowsTheWholeImageWithoutScrolling)
{
    canvas_view v;
    v.set_sizes(QSize(2048, 2048), QSize(601, 601));
    v.fit();
    EXPECT_NEAR(v.zoom(), 601.0 / 2048, 1e-12);
    EXPECT_EQ(v.zoomed_size(), QSize(601, 601)) << "no pixel spills over";
    EXPECT_EQ(v.scroll_limit(), QPoint(0, 0));
    EXPECT_EQ(v.visible_pixels(), QRect(0, 0, 2048, 2048));
    EXPECT_EQ(v.image_pixel(QPoint(600, 600)), QPoint(2044, 2044));

    v.set_zoom(2.0, QPoint(300, 300));
    v.scroll_to(QPoint(100000, -5));
    EXPECT_EQ(v.scroll(), QPoint(4096 - 601, 0)) << "scrolling stops at the image's edges";
    v.set_sizes(QSize(2048, 2048), QSize(1200, 1200));
    EXPECT_EQ(v.scroll(), QPoint(4096 - 1200, 0)) << "a larger canvas scrolls less far";
}
