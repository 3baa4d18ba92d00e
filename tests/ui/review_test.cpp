// Finding the errors in the window: the dead-end and unlinked-unit lists, the
// review queue, and the lineage drawn over the canvas.
#include "data_fixture.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

namespace {

class ReviewTest : public DataTest {
protected:
    std::string a0, a1, a2, b0, b1, b2a, b2b;

    void SetUp() override
    {
        DataTest::SetUp();
        a0 = k(10, 10, 2, 0), a1 = k(12, 10, 2, 1), a2 = k(14, 10, 2, 2);
        b0 = k(40, 40, 2, 0), b1 = k(40, 40, 2, 1), b2a = k(38, 40, 2, 2), b2b = k(45, 40, 2, 2);
    }
    void make_units()
    {
        ::testing::internal::CaptureStdout();
        w->makeUnits();
        ::testing::internal::GetCapturedStdout();
    }
    // Standard output of one key press.
    std::string press(Qt::Key k)
    {
        ::testing::internal::CaptureStdout();
        key(k);
        return ::testing::internal::GetCapturedStdout();
    }
    std::string clicked(const char *button)
    {
        ::testing::internal::CaptureStdout();
        w->findChild<QPushButton *>(button)->click();
        return ::testing::internal::GetCapturedStdout();
    }
    QString review_label() { return w->findChild<QLabel *>("label_review")->text(); }
};

} // namespace

TEST_F(ReviewTest, DeadEndAndUnlinkedListsGoToTheFirstFind)
{
    EXPECT_EQ(clicked("pushButton_dead_end"), "Dead-end branch: none\n");
    EXPECT_EQ(clicked("pushButton_unlinked_unit"), "Unlinked unit: none\n");
    EXPECT_EQ(w->m_time_point, 0) << "nothing found, the view stays";

    make_units();
    EXPECT_EQ(press(Qt::Key_B), "Dead-end branch: none\n") << "every unit before the end has a child";
    ::testing::internal::CaptureStdout();
    w->release_child(a1, a2);
    w->release_child(b0, b1);
    ::testing::internal::GetCapturedStdout();

    EXPECT_EQ(clicked("pushButton_dead_end"), "Dead-end branch: " + b0 + "\n")
        << "earliest time point first";
    EXPECT_EQ(w->m_time_point, 0);
    EXPECT_EQ(w->m_focal_plane, 2);
    EXPECT_EQ(press(Qt::Key_O), "Unlinked unit: " + b1 + "\n");
    EXPECT_EQ(w->m_time_point, 1);

    ::testing::internal::CaptureStdout();
    w->link(b0, b1);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(press(Qt::Key_B), "Dead-end branch: " + a1 + "\n") << "the next dead end";
    EXPECT_EQ(press(Qt::Key_O), "Unlinked unit: " + a2 + "\n");
    EXPECT_EQ(w->m_time_point, 2);

    w->pushButton_auto->setChecked(true);
    EXPECT_EQ(press(Qt::Key_B), "") << "ignored while Auto is on, like the time keys";
    EXPECT_EQ(w->m_time_point, 2);
}

// A unit headed at x = 0, y = 0 on plane 0 is left out of units(t) by design,
// but the review lists still find it.
TEST_F(WindowTest, ReviewListsFindTheUnitAtTheOrigin)
{
    write("origin.roi", "origin\n0 0 0 0 22330011\n0 0 0 1 22330011\n30 30 0 1 22330011\n"
                        "30 30 0 2 22330011\n");
    read_rois("origin.roi");
    ::testing::internal::CaptureStdout();
    w->makeUnits();
    w->pushButton_dead_end_clicked();
    std::string out = ::testing::internal::GetCapturedStdout();
    // Linking walks units(t), so the origin units are never linked: both show.
    const std::string origin0 = keygen(pos4i(0, 0, 0, 0)), origin1 = keygen(pos4i(0, 0, 0, 1));
    EXPECT_TRUE(w->units(1).count(origin1) == 0) << "the designed quirk of units(t) stays";
    EXPECT_NE(out.find("Dead-end branch: " + origin0 + "\n"), std::string::npos) << out;
    EXPECT_EQ(w->m_time_point, 0);
    ::testing::internal::CaptureStdout();
    w->pushButton_unlinked_unit_clicked();
    out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "Unlinked unit: " + origin1 + "\n");
    EXPECT_EQ(w->m_time_point, 1);
    EXPECT_EQ(w->m_focal_plane, 0);
}

TEST_F(ReviewTest, TheQueueStepsDismissesAndFollowsTheLinks)
{
    make_units();
    ::testing::internal::CaptureStdout();
    w->release_child(a1, a2); // a2 unlinked; a1 keeps a child through the next link
    w->link(a1, b2a);         // b2a: two parents
    w->release_child(b0, b1); // b0 a dead end, b1 unlinked
    ::testing::internal::GetCapturedStdout();

    EXPECT_EQ(press(Qt::Key_N), "doubt 1/4: " + b2a + "\n");
    EXPECT_EQ(w->m_time_point, 2);
    EXPECT_EQ(w->m_focal_plane, 2);
    EXPECT_EQ(review_label(), "Review 1/4");
    EXPECT_EQ(canvas_pixel(38, 45), QColor("#cfcfff")) << "the unit on review is highlighted";

    EXPECT_EQ(press(Qt::Key_N), "dead end 2/4: " + b0 + "\n");
    EXPECT_EQ(press(Qt::Key_N), "unlinked 3/4: " + b1 + "\n");
    EXPECT_EQ(press(Qt::Key_P), "dead end 2/4: " + b0 + "\n");

    EXPECT_EQ(press(Qt::Key_I), "dismissed: " + b0 + "\n");
    EXPECT_EQ(review_label(), "Review: 3 left");
    EXPECT_EQ(press(Qt::Key_N), "unlinked 2/3: " + b1 + "\n") << "on from where it was";

    // A link that mends b1 takes it out of the queue at the next step.
    ::testing::internal::CaptureStdout();
    w->link(b0, b1);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(press(Qt::Key_N), "unlinked 2/2: " + a2 + "\n");
    EXPECT_EQ(press(Qt::Key_N), "doubt 1/2: " + b2a + "\n") << "round the queue";
}

TEST_F(ReviewTest, ReviewKeysWaitForNothingDuringALongOperation)
{
    make_units();
    QTimer::singleShot(0, w.get(), [&] { key(Qt::Key_N); });
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    w->pushButton_z_clicked();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("Busy"), std::string::npos);
    EXPECT_EQ(out, "");
}

// With C, the units of the previous and current time point are drawn as
// circles and their links as lines, in the colours of their plane span.
TEST_F(ReviewTest, TheLineageIsDrawnOverTheOutlines)
{
    make_units();
    w->setCurrentTimePoint(1);
    auto count = [this](const char *colour, int x0, int y0, int x1, int y1) {
        const QImage img = w->canvasPixmap().toImage();
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                n += img.pixelColor(x, y) == QColor(colour);
        return n;
    };
    EXPECT_EQ(count("#ff0000", 0, 0, 63, 63), 0);
    key(Qt::Key_C);
    // A1's centre is (15.5, 13.5): its circle's box starts at (13, 11).
    EXPECT_GT(count("#ff0000", 13, 11, 18, 16), 0);
    EXPECT_EQ(count("#ff0000", 0, 0, 12, 63), 0) << "nothing left of the box";
    EXPECT_GT(count("#4444ff", 0, 0, 30, 30), 0) << "A0's circle, previous time point";
    EXPECT_GT(count("#ffffff", 13, 13, 15, 13), 0) << "the line from A1 to A0";

    w->setCurrentFocalPlane(0);
    EXPECT_GT(count("#990000", 13, 11, 18, 16), 0) << "plane 0 lies outside A1's planes";
    EXPECT_EQ(count("#ff0000", 0, 0, 63, 63), 0);
    EXPECT_GT(count("#999999", 13, 13, 15, 13), 0);
}
