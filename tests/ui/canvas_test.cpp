// The canvas: outlines in their state colours, show-tracked mode, hit test.
#include "keygen.h"
#include "window_fixture.h"

#include <QFrame>
#include <QTest>

namespace {

// A 5 x 5 square with its top-left pixel at (x, y).
std::string square_line(int x, int y, int z, int t)
{
    return std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) + " " +
           std::to_string(t) + " 22222333330000011111\n";
}

} // namespace

class CanvasTest : public WindowTest {
protected:
    std::string a, b, l;

    void SetUp() override
    {
        WindowTest::SetUp();
        write_image("cv", 0, 20, 60);
        write("cv.roi", "cv\n" + square_line(10, 10, 20, 0) + square_line(30, 30, 20, 0) +
                            "40 40 20 0 22330101\n");
        read_rois("cv.roi");
        a = keygen(pos4i(10, 10, 20, 0));
        b = keygen(pos4i(30, 30, 20, 0));
        l = keygen(pos4i(40, 40, 20, 0));
    }

    void redraw()
    {
        w->dirty = true;
        w->repaint();
    }
};

TEST_F(CanvasTest, OutlinesTakeTheColourOfTheirState)
{
    ASSERT_NE(w->m_roidb, nullptr);
    EXPECT_EQ(canvas_pixel(10, 10), QColor("#a8a8ff")) << "plain ROI";
    EXPECT_EQ(canvas_pixel(12, 12).red(), canvas_pixel(12, 12).blue()) << "inside stays image";

    w->m_selected_roi_set.insert(a);
    w->m_mouse_over_roi_set.insert(a);
    w->m_removed_roi_set.insert(b);
    redraw();
    EXPECT_EQ(canvas_pixel(10, 10), QColor("#8effef")) << "selected and under the mouse: 95";
    EXPECT_EQ(canvas_pixel(34, 34), QColor("#000000")) << "removed: 47";

    w->m_fwd_roi_set.insert(b);
    w->m_bwd_roi_set.insert(b);
    w->m_removed_roi_set.clear();
    redraw();
    EXPECT_EQ(canvas_pixel(30, 30), QColor("#ff8f00")) << "tracked both ways: 3";
}

// Commands render the canvas themselves: no repaint from outside.
TEST_F(CanvasTest, ClicksAndStepsShowOnTheCanvasAtOnce)
{
    QTest::mouseClick(w->frame_canvas, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_EQ(canvas_pixel(10, 10), QColor("#00ffda"));
    QTest::mouseClick(w->frame_canvas, Qt::RightButton, {}, QPoint(32, 32));
    EXPECT_EQ(canvas_pixel(30, 30), QColor("#000000"));
    QTest::mouseClick(w->frame_canvas, Qt::LeftButton, {}, QPoint(12, 12));
    EXPECT_EQ(canvas_pixel(10, 10), QColor("#a8a8ff"));
    w->setCurrentFocalPlane(19);
    EXPECT_NE(canvas_pixel(10, 10), QColor("#a8a8ff")) << "plane 19 has no ROI there";
    const QImage shown = w->frame_canvas->grab().toImage();
    EXPECT_NE(shown.pixelColor(10, 10), QColor("#a8a8ff")) << "and the frame shows it";
}

TEST_F(CanvasTest, LineageRootAndEliteUnitsAreMarked)
{
    w->m_members_head[a] = a;
    w->m_head_members.emplace(a, a);
    w->m_lineage_mode_roi_set.insert(a);
    redraw();
    EXPECT_EQ(canvas_pixel(10, 10), QColor("#ff5555")) << "the root's unit: 4";
    w->m_lineage_mode_roi_set.clear();
    w->m_elite_head_roi_set.insert(a);
    redraw();
    EXPECT_EQ(canvas_pixel(10, 10), QColor("#ffff00")) << "elite: 15";
}

TEST_F(CanvasTest, ShowTrackedModeHidesUntrackedRois)
{
    w->m_selected_roi_set.insert(a);
    w->m_show_tracked_rois_mode = true;
    redraw();
    EXPECT_EQ(canvas_pixel(10, 10), QColor("#00ffda")) << "selected (31) holds the tracked bits";
    QColor untouched = canvas_pixel(30, 30);
    EXPECT_EQ(untouched.red(), untouched.blue()) << "an untracked ROI is not drawn";
    EXPECT_LT(untouched.red(), 100);
}

TEST_F(CanvasTest, HitTestUsesTheMaskNotTheBox)
{
    EXPECT_EQ(w->xyROI(12, 12), a);
    EXPECT_EQ(w->xyROI(14, 14), a);
    EXPECT_EQ(w->xyROI(15, 15), "");
    EXPECT_EQ(w->xyROI(40, 41), l);
    EXPECT_EQ(w->xyROI(41, 40), "") << "inside the L's box, outside its mask";
    EXPECT_EQ(w->xyROI(0, 0), "");
}

TEST_F(CanvasTest, MissingImageShowsOutlinesOnBlack)
{
    write("dark.roi", "dark\n" + square_line(10, 10, 20, 0));
    ::testing::internal::CaptureStderr();
    read_rois("dark.roi");
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Cannot find " + path("image") + "/dark/000-020.jpg"), std::string::npos);
    EXPECT_EQ(canvas_pixel(10, 10), QColor("#a8a8ff"));
    EXPECT_EQ(canvas_pixel(100, 100), QColor(0, 0, 0));
    EXPECT_EQ(w->xyROI(12, 12), a);
}

TEST_F(WindowTest, NothingIsPaintedWithoutADataset)
{
    w->dirty = true;
    w->repaint();
    EXPECT_TRUE(w->canvasPixmap().isNull());
}

// The canvas is rendered again only when something it shows changed: moving
// over the background, or a repaint with nothing new, neither renders nor
// reads a missing image again. A read reports only the image it shows.
TEST_F(CanvasTest, RendersOnlyWhenWhatItShowsChanged)
{
    write("gap.roi", "gap\n" + square_line(10, 10, 20, 3) + square_line(10, 10, 20, 9));
    ::testing::internal::CaptureStderr();
    read_rois("gap.roi");
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Cannot find " + path("image") + "/gap/003-020.jpg\n")
        << "nothing about time point 0, which is not shown";

    const qint64 rendered = w->canvasPixmap().cacheKey();
    ::testing::internal::CaptureStderr();
    for (int x = 50; x < 60; ++x)
        QTest::mouseMove(w->frame_canvas, QPoint(x, 50));
    w->repaint();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(w->canvasPixmap().cacheKey(), rendered);

    QTest::mouseMove(w->frame_canvas, QPoint(12, 12));
    EXPECT_NE(w->canvasPixmap().cacheKey(), rendered) << "the highlight is drawn";
}
