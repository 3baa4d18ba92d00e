// Real-size data in the window: positions of 1000 and more, images larger
// than the canvas (zoom, scroll, clicks), the status line and progress.
#include "ImageDB.h"
#include "keygen.h"
#include "roidb_plus.h"
#include "window_fixture.h"

#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <set>

namespace
{

// A w x h rectangle with its top-left pixel at (x, y), as a ROI line.
std::string box(int x, int y, int w, int h, int z, int t)
{
    return std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) + " " +
           std::to_string(t) + " " + std::string(h, '2') + std::string(w, '3') +
           std::string(h, '0') + std::string(w, '1') + "\n";
}

} // namespace

// A 1400 x 1300 image with ROIs on both sides of x = 1000, on planes 0 and
// 1 of time points 0 and 1, and one at time point 1000.
class RealSizeTest : public WindowTest
{
protected:
    const int xs[5] = {980, 999, 1000, 1001, 1300};

    void SetUp() override
    {
        WindowTest::SetUp();
        std::string text = "big\n";
        for (int t : {0, 1, 1000})
            for (int z : {0, 1})
                for (int x : xs)
                    text += box(x, 40 + (x % 7) * 30, 12, 10, z, t);
        write("big.roi", text);
        for (int t : {0, 1})
            for (int z : {0, 1})
                write_image("big", t, z, 50, 1400, 1300);
        read_rois("big.roi");
        ASSERT_NE(w->m_roidb, nullptr);
        w->setCurrentFocalPlane(0);
    }

    std::string k(int x, int z, int t) { return keygen(pos4i(x, 40 + (x % 7) * 30, z, t)); }
    size_t count() { return w->m_roidb->count(); }

    // A press on the canvas where the view shows the image pixel (x, y).
    void press_on(int x, int y, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(w->frame_canvas, button, {}, w->canvasView().pixel_centre(QPoint(x, y)));
    }
};

TEST_F(RealSizeTest, CleanUpEndsAndRemovesExactlyTheUntrackedRoisBeyondAThousand)
{
    // Tracked both ways: 999 and 1001 on plane 0 of time point 0 and 1000 at
    // time point 1000; everything else goes.
    for (const std::string &key : {k(999, 0, 0), k(1001, 0, 0), k(1000, 1, 1000)}) {
        w->m_fwd_roi_set.insert(key);
        w->m_bwd_roi_set.insert(key);
    }
    w->m_fwd_roi_set.insert(k(1000, 0, 0)); // one way only: goes
    w->pushButton_clean_clicked();
    EXPECT_FALSE(w->busy());
    EXPECT_EQ(count(), 3u);
    for (const std::string &key : {k(999, 0, 0), k(1001, 0, 0), k(1000, 1, 1000)})
        EXPECT_NE(w->m_roidb->stored(key), nullptr) << key;
    EXPECT_NE(w->statusText().indexOf("27"), -1) << w->statusText().toStdString();
}

TEST_F(RealSizeTest, DropFPRemovesExactlyTheMarkedRoisBeyondAThousand)
{
    w->m_removed_roi_set = {k(1000, 0, 0), k(1300, 1, 0), k(1001, 0, 1000)};
    const size_t before = count();
    w->pushButton_drop_false_positive_clicked();
    EXPECT_EQ(count(), before - 3);
    for (const std::string &key : w->m_removed_roi_set)
        EXPECT_EQ(w->m_roidb->stored(key), nullptr) << key;
    for (const std::string &key :
         {k(999, 0, 0), k(1001, 0, 0), k(1000, 1, 0), k(1300, 0, 0), k(1000, 0, 1000)})
        EXPECT_NE(w->m_roidb->stored(key), nullptr) << "a neighbour stays: " << key;

    chooser->save_answer = QString::fromStdString(path("saved.roi"));
    w->pushButton_save_roifile_clicked();
    const std::string saved = slurp(path("saved.roi"));
    EXPECT_EQ(saved.find(box(1000, 40 + (1000 % 7) * 30, 12, 10, 0, 0)), std::string::npos);
    EXPECT_NE(saved.find(box(999, 40 + (999 % 7) * 30, 12, 10, 0, 0)), std::string::npos);
    EXPECT_NE(saved.find(box(1001, 40 + (1001 % 7) * 30, 12, 10, 0, 0)), std::string::npos);
}

TEST_F(RealSizeTest, InfoAndFalsePositiveFilesRoundTripKeysBeyondAThousand)
{
    const std::set<std::string> keys{k(980, 0, 0), k(1000, 0, 0), k(1300, 1, 1), k(1000, 0, 1000)};
    w->m_selected_roi_set = keys;
    w->m_removed_roi_set = keys;
    chooser->save_answer = QString::fromStdString(path("big.info"));
    w->pushButton_save_info_clicked();
    chooser->save_answer = QString::fromStdString(path("big.fp"));
    w->pushButton_save_FP_clicked();
    w->m_selected_roi_set.clear();
    w->m_removed_roi_set.clear();
    chooser->open_answer = QString::fromStdString(path("big.info"));
    w->pushButton_read_info_clicked();
    chooser->open_answer = QString::fromStdString(path("big.fp"));
    w->pushButton_read_FP_clicked();
    EXPECT_EQ(w->m_selected_roi_set, keys);
    EXPECT_EQ(w->m_removed_roi_set, keys);
    // What the keys name is what was marked.
    w->pushButton_drop_false_positive_clicked();
    for (const std::string &key : keys)
        EXPECT_EQ(w->m_roidb->stored(key), nullptr) << key;
    EXPECT_EQ(count(), 30u - keys.size());
}

TEST_F(RealSizeTest, ALargeImageOpensWholeAndClicksLandOnTheRoiUnderThePointer)
{
    EXPECT_NEAR(w->canvasView().zoom(), 601.0 / 1400, 1e-9) << "fitted to the canvas";
    press_on(1006, 40 + (1000 % 7) * 30 + 5);
    EXPECT_EQ(w->m_selected_roi_set, std::set<std::string>{k(1000, 0, 0)});

    // Zoomed in about the canvas' centre, then scrolled so that the ROI at
    // x = 1300 is on view: a click there picks it, and only it.
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(w.get(), Qt::Key_Plus);
    EXPECT_GT(w->canvasView().zoom(), 1.0);
    const QPoint target(1306, 40 + (1300 % 7) * 30 + 5);
    const QPoint at = w->canvasView().pixel_centre(target);
    w->scrollCanvas(at - QPoint(300, 300));
    ASSERT_TRUE(w->frame_canvas->rect().contains(w->canvasView().pixel_centre(target)));
    press_on(target.x(), target.y(), Qt::RightButton);
    EXPECT_EQ(w->m_removed_roi_set, std::set<std::string>{k(1300, 0, 0)});
    press_on(target.x() + 20, target.y());
    EXPECT_EQ(w->m_selected_roi_set.size(), 1u) << "beside the ROI, nothing is picked";

    // Hovering maps the same way.
    QTest::mouseMove(w->frame_canvas, w->canvasView().pixel_centre(target));
    EXPECT_EQ(w->m_mouse_over_roi_set, std::set<std::string>{k(1300, 0, 0)});

    // Back to the whole image with Home; the plain wheel still changes the plane.
    QTest::keyClick(w.get(), Qt::Key_Home);
    EXPECT_NEAR(w->canvasView().zoom(), 601.0 / 1400, 1e-9);
    // Sent to the window, as the canvas passes its wheel on (a sent event does not).
    const QPointF in_window(w->frame_canvas->pos() + QPoint(100, 100));
    QWheelEvent down(in_window, w->mapToGlobal(in_window), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w.get(), &down);
    EXPECT_EQ(w->m_focal_plane, 1);
    EXPECT_NEAR(w->canvasView().zoom(), 601.0 / 1400, 1e-9) << "the plain wheel does not zoom";
}

TEST_F(RealSizeTest, CtrlAndTheWheelZoomAboutThePointer)
{
    const QPoint pointer(200, 150);
    const QPoint under = w->canvasView().image_pixel(pointer);
    const QPointF in_window(w->frame_canvas->pos() + pointer);
    QWheelEvent up(in_window, w->mapToGlobal(in_window), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::ControlModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w.get(), &up);
    EXPECT_GT(w->canvasView().zoom(), 601.0 / 1400);
    EXPECT_LE((w->canvasView().image_pixel(pointer) - under).manhattanLength(), 2);
    EXPECT_EQ(w->m_focal_plane, 0) << "Ctrl and the wheel leave the plane";
    auto *across = w->findChild<QScrollBar *>("scrollBar_canvas_horizontal");
    ASSERT_NE(across, nullptr);
    EXPECT_TRUE(across->isVisible());
    across->setValue(across->maximum());
    EXPECT_EQ(w->canvasView().scroll().x(), w->canvasView().scroll_limit().x())
        << "the scroll bar scrolls the canvas";
    EXPECT_EQ(w->canvasPixmap().size(), w->canvasView().viewport())
        << "only what is on view is rendered";
}

TEST_F(RealSizeTest, TheCanvasGrowsWithTheWindowAndTheControlsMoveDown)
{
    const QRect slider = w->slider_time_point->geometry();
    const QRect tabs = w->tabWidget_control_panel->geometry();
    w->resize(1000, 1100);
    QCoreApplication::processEvents();
    EXPECT_EQ(w->frame_canvas->geometry(), QRect(10, 10, 981, 823));
    EXPECT_EQ(w->slider_time_point->geometry(), QRect(150, 842, 830, 20));
    EXPECT_EQ(w->tabWidget_control_panel->geometry(), tabs.translated(0, 222));
    EXPECT_EQ(w->findChild<QLabel *>("label_status")->y(), 861 + 222);
    w->repaint();
    EXPECT_EQ(w->canvasView().viewport(), QSize(981, 823));
    QTest::keyClick(w.get(), Qt::Key_Home);
    EXPECT_NEAR(w->canvasView().zoom(), 823.0 / 1300, 1e-9) << "fit takes the larger canvas";

    w->resize(620, 878);
    QCoreApplication::processEvents();
    EXPECT_EQ(w->frame_canvas->geometry(), QRect(10, 10, 601, 601));
    EXPECT_EQ(w->slider_time_point->geometry(), slider);
    EXPECT_EQ(w->tabWidget_control_panel->geometry(), tabs);
}

TEST_F(WindowTest, ASmallImageOpensAtOneToOneInTheDesignedFrame)
{
    write_image("small", 0, 0, 60, 600, 600);
    write("small.roi", "small\n" + box(590, 590, 5, 5, 0, 0));
    read_rois("small.roi");
    w->setCurrentFocalPlane(0);
    EXPECT_TRUE(w->canvasView().one_to_one());
    EXPECT_EQ(w->canvasPixmap().size(), QSize(600, 600)) << "the image itself, as designed";
    EXPECT_EQ(w->frame_canvas->geometry(), QRect(10, 10, 601, 601));
    EXPECT_FALSE(w->findChild<QScrollBar *>("scrollBar_canvas_horizontal")->isVisible());
    EXPECT_FALSE(w->findChild<QScrollBar *>("scrollBar_canvas_vertical")->isVisible());
    QTest::mouseClick(w->frame_canvas, Qt::LeftButton, {}, QPoint(592, 592));
    EXPECT_EQ(w->m_selected_roi_set.size(), 1u) << "a click at 1:1 picks the pixel it lands on";
}

TEST_F(WindowTest, NegativePositionsAreKeptAndSavedAndSaidOnce)
{
    write_image("neg", 0, 0);
    write("neg.roi", "neg\n" + box(-4, 10, 6, 6, 0, 0) + box(10, 10, 6, 6, 0, 0) +
                         box(20, -2, 6, 6, 0, 0) + box(30, 30, 6, 6, 0, 0));
    ::testing::internal::CaptureStderr();
    read_rois("neg.roi");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(
        err.find("2 ROIs lie at negative positions: they are kept and saved, but not shown\n"),
        std::string::npos)
        << err;
    EXPECT_EQ(w->m_roidb->count(), 4u);
    w->pushButton_select_all_clicked();
    EXPECT_EQ(w->m_selected_roi_set.size(), 2u) << "only what a plane lists can be picked";
    chooser->save_answer = QString::fromStdString(path("neg-saved.roi"));
    w->pushButton_save_roifile_clicked();
    const std::string saved = slurp(path("neg-saved.roi"));
    EXPECT_NE(saved.find(box(-4, 10, 6, 6, 0, 0)), std::string::npos);
    EXPECT_NE(saved.find(box(20, -2, 6, 6, 0, 0)), std::string::npos);
}

TEST_F(WindowTest, ImageCacheIsBoundedByMemoryLeastRecentlyUsedFirst)
{
    for (int t = 0; t < 6; ++t)
        write_image("cache", t, 0);
    auto name = [this](int t) {
        char n[32];
        std::snprintf(n, sizeof n, "/%03d-000.jpg", t);
        return QString::fromStdString(path("image/cache") + n);
    };
    ImageDB probe;
    ASSERT_FALSE(probe.img(0, 0, name(0), 10).isNull());
    const size_t one = probe.bytes();
    ASSERT_GT(one, 0u);

    ImageDB three(3 * one);
    for (int t = 0; t < 3; ++t)
        three.img(t, 0, name(t), 10);
    EXPECT_EQ(three.size(), 3u);
    three.img(0, 0, name(0), 10); // used again: now the most recent
    three.img(3, 0, name(3), 10);
    EXPECT_TRUE(three.holds(0, 0));
    EXPECT_FALSE(three.holds(1, 0)) << "the least recently used goes first";
    EXPECT_TRUE(three.holds(2, 0));
    EXPECT_TRUE(three.holds(3, 0));
    EXPECT_LE(three.bytes(), three.budget());

    ImageDB tiny(1);
    EXPECT_FALSE(tiny.img(4, 0, name(4), 10).isNull())
        << "an image larger than the budget still shows";
    tiny.img(5, 0, name(5), 10);
    EXPECT_EQ(tiny.size(), 1u);

    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(three.img(50, 0, name(50), 10).isNull());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Cannot find " + name(50).toStdString() + "\n");
    EXPECT_FALSE(three.holds(50, 0)) << "a failed load is not cached";
    EXPECT_EQ(ImageDB::default_budget, size_t(1) << 30);
}

TEST_F(WindowTest, TheStatusLineShowsWhatGoesToStandardError)
{
    auto *status = w->findChild<QLabel *>("label_status");
    ASSERT_NE(status, nullptr);
    EXPECT_EQ(status->geometry(), QRect(10, 861, 600, 16)) << "below the tabs";
    ::testing::internal::CaptureStderr();
    read_rois("absent.roi");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "No such file or directory: " + path("absent.roi") + "\n")
        << "standard error still gets every line";
    EXPECT_EQ(w->statusText().toStdString(), "No such file or directory: " + path("absent.roi"));

    write_image("st", 0, 20);
    write("st.roi", "st\n" + box(5, 5, 4, 4, 0, 0) + box(20, 20, 4, 4, 0, 0));
    read_rois("st.roi");
    EXPECT_NE(w->statusText().indexOf("2 ROIs"), -1) << w->statusText().toStdString();
    w->m_removed_roi_set = {keygen(pos4i(5, 5, 0, 0))};
    w->pushButton_drop_false_positive_clicked();
    EXPECT_EQ(w->statusText(), "Drop FP: 1 ROI(s) removed");
}

TEST_F(WindowTest, ALongReadShowsItsProgressAndCancelLeavesTheOpenDataset)
{
    write_image("first", 0, 0);
    write("first.roi", "first\n" + box(5, 5, 4, 4, 0, 0));
    read_rois("first.roi");
    std::string text = "long\n";
    for (int i = 0; i < 60000; ++i)
        text += box(i % 1000, i / 1000 * 3, 2, 2, 0, 0);
    write("long.roi", text);
    auto *bar = w->findChild<QProgressBar *>("progressBar_operation");
    auto *cancel = w->findChild<QPushButton *>("pushButton_cancel");
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(cancel, nullptr);
    EXPECT_FALSE(bar->isVisible());
    bool shown = false;
    QTimer::singleShot(0, w.get(), [&] {
        shown = bar->isVisible() && cancel->isVisible();
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    ::testing::internal::CaptureStderr();
    read_rois("long.roi");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(shown) << "the bar and Cancel show while the file is read";
    EXPECT_NE(err.find("stopped; nothing was opened"), std::string::npos) << err;
    EXPECT_EQ(w->m_dataset, "first") << "the open dataset stays";
    EXPECT_EQ(w->m_roidb->count(), 1u);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(w->busy());
    read_rois("long.roi");
    EXPECT_EQ(w->m_roidb->count(), 60000u) << "uncancelled, the file opens";
}

TEST_F(WindowTest, ProgressNestsInsideARunningOperation)
{
    auto *bar = w->findChild<QProgressBar *>("progressBar_operation");
    w->progressBegin("outer", 10);
    w->progressBegin("inner", 0);
    w->progressStep(5);
    w->progressEnd();
    EXPECT_TRUE(bar->isVisible()) << "the inner operation leaves the bar to the outer one";
    EXPECT_EQ(bar->value(), 500);
    w->progressEnd();
    EXPECT_FALSE(bar->isVisible());
    w->progressEnd(); // one end too many changes nothing
    EXPECT_FALSE(bar->isVisible());
}
