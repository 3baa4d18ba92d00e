// Keys, mouse and modes on the window; tracking and unit making driven as a
// user would, and commands arriving while they run.
#include "keygen.h"
#include "roidb_plus.h"
#include "data_fixture.h"

#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <functional>
#include <sstream>

TEST_F(DataTest, LeftClickSelectsAndRightClickMarksRemoved)
{
    ::testing::internal::CaptureStderr();
    click(12, 12);
    std::string err = ::testing::internal::GetCapturedStderr();
    const std::string a = k(10, 10, 3, 0);
    EXPECT_TRUE(w->isSelected(a));
    EXPECT_EQ(err, "roi(" + a + ") head(N/A)\n");
    ::testing::internal::CaptureStderr();
    click(12, 12);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "") << "deselecting writes nothing";
    EXPECT_FALSE(w->isSelected(a));

    click(45, 45, Qt::RightButton);
    EXPECT_TRUE(w->m_removed_roi_set.count(k(40, 40, 3, 0)));
    click(45, 45, Qt::RightButton);
    EXPECT_TRUE(w->m_removed_roi_set.empty());
    click(100, 100);
    EXPECT_TRUE(w->m_selected_roi_set.empty()) << "background clicks do nothing";
}

TEST_F(DataTest, PointerMarksOneRoiAtATime)
{
    // A move may reach the window through the event queue: it is let run
    // before each check.
    auto move = [&](int x, int y) {
        QTest::mouseMove(w->frame_canvas, QPoint(x, y));
        QCoreApplication::processEvents();
    };
    move(12, 12);
    EXPECT_EQ(w->m_mouse_over_roi_set, std::set<std::string>{k(10, 10, 3, 0)});
    move(45, 45);
    EXPECT_EQ(w->m_mouse_over_roi_set, std::set<std::string>{k(40, 40, 3, 0)});
    move(100, 100);
    EXPECT_TRUE(w->m_mouse_over_roi_set.empty());
}

TEST_F(DataTest, KeyTable)
{
    key(Qt::Key_A);
    key(Qt::Key_S);
    EXPECT_FALSE(w->m_add_lineage_mode) << "A without a lineage root does nothing";
    EXPECT_FALSE(w->m_split_mode);

    key(Qt::Key_L);
    EXPECT_TRUE(w->m_lineage_mode);
    EXPECT_EQ(w->cursor().shape(), Qt::PointingHandCursor);
    key(Qt::Key_E);
    EXPECT_FALSE(w->m_lineage_mode) << "E ends lineage mode";
    EXPECT_TRUE(w->m_manual_elite);
    key(Qt::Key_L);
    EXPECT_FALSE(w->m_manual_elite) << "L ends manual elite mode";
    EXPECT_TRUE(w->m_lineage_mode);

    w->m_lineage_mode_roi_set.insert(k(10, 10, 3, 0));
    key(Qt::Key_A);
    EXPECT_TRUE(w->m_add_lineage_mode);
    key(Qt::Key_L); // second L: root cleared, add and remove modes off
    EXPECT_FALSE(w->m_lineage_mode);
    EXPECT_TRUE(w->m_lineage_mode_roi_set.empty());
    EXPECT_FALSE(w->m_add_lineage_mode);

    // Each mode gives back the cursor it found when it began.
    w->setCursor(Qt::ArrowCursor);
    key(Qt::Key_R);
    EXPECT_EQ(w->cursor().shape(), Qt::PointingHandCursor);
    key(Qt::Key_R);
    EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);

    key(Qt::Key_T);
    EXPECT_TRUE(w->m_show_tracked_rois_mode);
    key(Qt::Key_C);
    EXPECT_TRUE(w->m_show_centroid);
    key(Qt::Key_M);
    EXPECT_TRUE(w->m_merge_mode);
    key(Qt::Key_X);
    EXPECT_FALSE(w->m_merge_mode);
}

TEST_F(DataTest, AutoBlocksTimeKeysButNotPlanes)
{
    key(Qt::Key_F);
    EXPECT_EQ(w->m_time_point, 1);
    key(Qt::Key_Left);
    EXPECT_EQ(w->m_time_point, 0);
    w->m_auto = true;
    key(Qt::Key_F);
    key(Qt::Key_Right);
    EXPECT_EQ(w->m_time_point, 0);
    key(Qt::Key_Down);
    EXPECT_EQ(w->m_focal_plane, 4);
    key(Qt::Key_Up);
    key(Qt::Key_Up);
    EXPECT_EQ(w->m_focal_plane, 2);
    QWheelEvent down(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w.get(), &down);
    EXPECT_EQ(w->m_focal_plane, 3);
}

TEST_F(DataTest, ForwardTrackingWithAutoRunsToTheEnd)
{
    click(12, 12);
    w->pushButton_auto->setChecked(true);
    w->pushButton_forward_tracking_clicked();
    EXPECT_EQ(w->m_time_point, 2);
    EXPECT_FALSE(w->m_auto) << "reaching the end switches Auto off";
    EXPECT_FALSE(w->pushButton_auto->isChecked());
    EXPECT_TRUE(w->pushButton_forward_tracking->isEnabled());
    for (int t = 0; t <= 2; ++t)
        for (int z = 2; z <= 4; ++z)
            EXPECT_TRUE(w->isFwdTracked(k(10 + 2 * t, 10, z, t))) << t << "," << z;
    EXPECT_FALSE(w->isFwdTracked(k(40, 40, 3, 0)));
    EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(DataTest, StopEndsAnAutoRunAfterTheStepInProgress)
{
    click(45, 45);
    w->pushButton_auto->setChecked(true);
    bool saw_disabled = false;
    QTimer::singleShot(0, w.get(), [&] {
        saw_disabled = !w->pushButton_forward_tracking->isEnabled();
        w->pushButton_stop->click();
    });
    w->pushButton_forward_tracking_clicked();
    EXPECT_TRUE(saw_disabled) << "the tracking buttons are disabled while it runs";
    EXPECT_EQ(w->m_time_point, 1) << "one step, then Stop";
    EXPECT_TRUE(w->pushButton_forward_tracking->isEnabled());
    EXPECT_TRUE(w->isFwdTracked(k(40, 40, 2, 1)));
}

TEST_F(DataTest, ZKeySpreadsTheSelectionOverPlanes)
{
    click(12, 12);
    key(Qt::Key_Z);
    for (int z = 2; z <= 4; ++z)
        EXPECT_TRUE(w->isSelected(k(10, 10, z, 0))) << z;
    EXPECT_FALSE(w->isSelected(k(40, 40, 3, 0)));
}

TEST_F(DataTest, MakingUnitsGroupsEachObjectAndLinksTheLineage)
{
    testing::internal::CaptureStdout();
    w->makeUnits();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("units t=0 n=2\n"), std::string::npos) << out;
    EXPECT_NE(out.find("units t=1 n=2\n"), std::string::npos);
    EXPECT_NE(out.find("units t=2 n=3\n"), std::string::npos);

    const std::string a0 = k(10, 10, 2, 0), b0 = k(40, 40, 2, 0);
    EXPECT_EQ(w->units(0), (std::set<std::string>{a0, b0}));
    EXPECT_EQ(w->member(a0), (std::set<std::string>{a0, k(10, 10, 3, 0), k(10, 10, 4, 0)}));
    const std::string b1 = k(40, 40, 2, 1), b2a = k(38, 40, 2, 2), b2b = k(45, 40, 2, 2);
    EXPECT_EQ(w->children(b1), (std::set<std::string>{b2a, b2b})) << "the division";
    EXPECT_EQ(w->parents(k(14, 10, 2, 2)), std::set<std::string>{k(12, 10, 2, 1)});
    EXPECT_TRUE(w->reach(b2a, b0));
    EXPECT_FALSE(w->reach(b2a, b2b));
    for (const auto &entry : w->m_members_head)
        EXPECT_EQ(decode(entry.first).t(), decode(entry.second).t());
    EXPECT_EQ(w->m_members_head.size(), 21u) << "every ROI in exactly one unit";

    // Linking tries only pairs whose boxes meet; every pair gives the same links.
    auto pruned = w->m_linkage_multimap;
    w->m_linkage_multimap.clear();
    for (int t = 1; t <= 2; ++t)
        for (const std::string &cu : w->units(t))
            for (const std::string &pu : w->units(t - 1))
                if (w->isLink(pu, cu))
                    w->m_linkage_multimap.emplace(cu, pu);
    EXPECT_EQ(w->m_linkage_multimap, pruned);
    EXPECT_EQ(pruned.size(), 5u) << "A0-A1, A1-A2, B0-B1 and B1 to both daughters";
    EXPECT_FALSE(w->m_make_units);

    // The lineage modes then work on these units: pick the root, add a link, merge.
    key(Qt::Key_L);
    click(12, 12);
    EXPECT_EQ(w->m_lineage_mode_roi_set, std::set<std::string>{a0});
    EXPECT_FALSE(w->m_lineage_mode);
    key(Qt::Key_M);
    testing::internal::CaptureStdout();
    click(45, 45);
    out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("mergeUnits: " + a0 + " " + b0 + "\n", 0), 0u) << out;
    EXPECT_EQ(w->head(k(40, 40, 3, 0)), a0);
}

TEST_F(DataTest, ModeClicksOnRoisOutsideUnitsAreIgnored)
{
    key(Qt::Key_L);
    ::testing::internal::CaptureStderr();
    click(12, 12);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(w->m_lineage_mode_roi_set.empty()) << "N/A never becomes the lineage root";
    EXPECT_NE(err.find("belongs to no unit"), std::string::npos);
    EXPECT_FALSE(w->m_lineage_mode);
}

// A long operation lets events run; reading, closing or a merging click
// arriving then must wait until it has ended.
TEST_F(DataTest, CommandsArrivingDuringUnitMakingWait)
{
    w->m_head_members.emplace("x", "x");
    roidb_plus *db = w->m_roidb;
    chooser->open_answer = QString::fromStdString(path("obj.roi"));
    int fired = 0;
    QTimer::singleShot(0, w.get(), [&] {
        ++fired;
        EXPECT_TRUE(w->busy());
        w->pushButton_read_roifile_clicked();
        w->pushButton_close_clicked();
        w->m_lineage_mode_roi_set.insert(k(10, 10, 2, 0));
        w->setMergeMode(true);
        click(45, 45);
    });
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    w->makeUnits();
    std::string out = ::testing::internal::GetCapturedStdout();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(w->m_roidb, db) << "the database was neither freed nor replaced";
    EXPECT_EQ(out.find("mergeUnits"), std::string::npos);
    EXPECT_NE(err.find("Busy"), std::string::npos);
    EXPECT_TRUE(w->m_merge_mode) << "the ignored click left the mode on";
}

// The lineage queries over units made from the data: plane extent, ancestors
// back to a time point, elite ancestors, numbering and going to a unit.
TEST_F(DataTest, UnitQueriesFollowTheMadeLineage)
{
    ::testing::internal::CaptureStdout();
    w->makeUnits();
    ::testing::internal::GetCapturedStdout();
    const std::string a0 = k(10, 10, 2, 0), a1 = k(12, 10, 2, 1), a2 = k(14, 10, 2, 2);
    const std::string b0 = k(40, 40, 2, 0), b1 = k(40, 40, 2, 1), b2a = k(38, 40, 2, 2),
                      b2b = k(45, 40, 2, 2);

    EXPECT_EQ(w->z_min(a1), 2);
    EXPECT_EQ(w->z_max(a1), 4);

    EXPECT_TRUE(w->upstream_units(a2, 2).empty()) << "end at the key's own time point";
    EXPECT_EQ(w->upstream_units(a2, 1), std::set<std::string>{a1});
    EXPECT_EQ(w->upstream_units(a2, 0), (std::set<std::string>{a0, a1}));
    EXPECT_EQ(w->subset_of_unit_from(b2b), (std::set<std::string>{b0, b1}));

    EXPECT_TRUE(w->subset_of_elite_unit_from(b2a).empty());
    w->m_elite_head_roi_set = {b0, b2a, a1};
    EXPECT_EQ(w->subset_of_elite_unit_from(b2a), (std::set<std::string>{b0, b2a}))
        << "the unit itself and its elite ancestors, not a cousin";
    EXPECT_EQ(w->subset_of_elite_unit_from(b2b), std::set<std::string>{b0});

    EXPECT_EQ(w->ID(b1), 1000) << "first key asked at time point 1";
    EXPECT_EQ(w->ID(a1), 1001);
    EXPECT_EQ(w->ID(b1), 1000) << "asked again";
    EXPECT_EQ(w->ID(a0), 0);
    EXPECT_EQ(w->ID(b2b), 2000);
    EXPECT_EQ(w->ID(a1), 1001);

    w->view(b2b);
    EXPECT_EQ(w->m_time_point, 2);
    EXPECT_EQ(w->m_focal_plane, 2);
    ::testing::internal::CaptureStderr();
    w->view("N/A");
    EXPECT_FALSE(::testing::internal::GetCapturedStderr().empty());
    EXPECT_EQ(w->m_time_point, 2) << "N/A moves nothing";
}

// The canvas keys reach the window whichever child holds the focus: a number
// field, a slider or a button just clicked. Digits still go into the fields.
TEST_F(DataTest, CanvasKeysWorkWhicheverChildHasTheFocus)
{
    QTest::keyClick(w->lineEdit_time_point, Qt::Key_F);
    EXPECT_EQ(w->m_time_point, 1);
    QTest::keyClick(w->lineEdit_focal_plane, Qt::Key_D);
    EXPECT_EQ(w->m_time_point, 0);
    QTest::keyClick(w->slider_focal_plane, Qt::Key_Down);
    EXPECT_EQ(w->m_focal_plane, 4);
    QTest::keyClick(w->pushButton_forward_tracking, Qt::Key_Up);
    EXPECT_EQ(w->m_focal_plane, 3);
    QTest::keyClick(w->pushButton_z, Qt::Key_Right);
    EXPECT_EQ(w->m_time_point, 1);

    QTest::keyClick(w->lineEdit_time_point, Qt::Key_Backspace);
    QTest::keyClick(w->lineEdit_time_point, Qt::Key_2);
    EXPECT_EQ(w->lineEdit_time_point->text(), "2") << "digits are typed into the field";
}

TEST_F(DataTest, HorizontalScrollingLeavesThePlane)
{
    QWheelEvent sideways(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(120, 0), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w.get(), &sideways);
    EXPECT_EQ(w->m_focal_plane, 3);
    QWheelEvent up(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w.get(), &up);
    EXPECT_EQ(w->m_focal_plane, 2);
}

TEST_F(DataTest, AReadLeavesNoModeCursorAndAutoUp)
{
    key(Qt::Key_L);
    ASSERT_EQ(w->cursor().shape(), Qt::PointingHandCursor);
    w->pushButton_auto->setChecked(true);
    read_rois("obj.roi");
    EXPECT_FALSE(w->m_lineage_mode);
    EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(w->m_auto);
    EXPECT_FALSE(w->pushButton_auto->isChecked()) << "the button shows what Auto is";
}

// A second pass, or K after it, must not enter any link twice: with a link
// twice, releasing it once would leave it in place.
TEST_F(DataTest, MakingUnitsAgainOrKAddsNoLinkTwice)
{
    ::testing::internal::CaptureStdout();
    w->makeUnits();
    const auto once = w->m_linkage_multimap;
    const auto heads = w->m_head_members;
    w->makeUnits();
    w->setCurrentTimePoint(2);
    key(Qt::Key_K);
    const std::string a1 = k(12, 10, 2, 1), a2 = k(14, 10, 2, 2);
    w->release_child(a1, a2);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(w->m_head_members, heads);
    EXPECT_EQ(once.size(), 5u);
    EXPECT_EQ(w->m_linkage_multimap.size(), 4u);
    EXPECT_TRUE(w->parents(a2).empty()) << "one release removes the link";

    // The design's own slot still enters every link it finds.
    w->makeLinkage(1);
    EXPECT_EQ(w->m_linkage_multimap.size(), 6u);
}

// Stop during the pass: the time points grouped whole are still linked, and
// a line says how far the pass got.
TEST_F(DataTest, StopDuringMakeUnitsStillLinksTheFinishedTimePoints)
{
    std::function<void()> watch = [&] {
        if (!w->units(1).empty())
            w->pushButton_stop->click();
        else
            QTimer::singleShot(0, w.get(), watch);
    };
    QTimer::singleShot(0, w.get(), watch);
    ::testing::internal::CaptureStdout();
    w->makeUnits();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(w->units(2).empty()) << out;
    EXPECT_EQ(w->m_linkage_multimap.size(), 2u) << "A0-A1 and B0-B1";
    EXPECT_NE(out.find("Make units stopped: units of time points 0 to 1 made whole, 2 links "
                       "added up to time point 1\n"),
              std::string::npos)
        << out;
    EXPECT_FALSE(w->busy());
}

// During a long operation, mode clicks with any button and the G key are
// refused; Stop ends Clean Up.
TEST_F(DataTest, LongOperationsRefuseEditsAndStopOnStop)
{
    ::testing::internal::CaptureStdout();
    w->makeUnits();
    ::testing::internal::GetCapturedStdout();
    const std::string a2 = k(14, 10, 2, 2);
    w->m_lineage_mode_roi_set = {a2};
    w->setSplitMode(true);
    w->m_split_parents = {k(12, 10, 2, 1), k(40, 40, 2, 1)};
    int fired = 0;
    bool g_moved = true;
    QTimer::singleShot(0, w.get(), [&] {
        ++fired;
        click(45, 45, Qt::RightButton);
        const int t = w->m_time_point, z = w->m_focal_plane;
        key(Qt::Key_G);
        g_moved = w->m_time_point != t || w->m_focal_plane != z;
    });
    ::testing::internal::CaptureStderr();
    w->setCurrentTimePoint(2);
    w->pushButton_auto->setChecked(true);
    w->m_selected_roi_set.insert(k(14, 10, 3, 2));
    w->pushButton_backward_tracking_clicked();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(fired, 1);
    EXPECT_NE(err.find("Busy"), std::string::npos);
    EXPECT_TRUE(w->m_split_mode) << "the split click was refused";
    EXPECT_EQ(w->m_split_parents.size(), 2u);
    EXPECT_FALSE(g_moved) << "G must not move the view under a tracking run";
    EXPECT_EQ(w->m_time_point, 0);

    for (int t = 0; t <= 2; ++t)
        for (int z = 2; z <= 4; ++z)
            w->m_fwd_roi_set.insert(k(10 + 2 * t, 10, z, t));
    const size_t before = w->m_roidb->count();
    QTimer::singleShot(0, w.get(), [&] { w->pushButton_stop->click(); });
    ::testing::internal::CaptureStderr();
    w->pushButton_clean_clicked();
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("Clean Up stopped at time point 0"),
              std::string::npos);
    EXPECT_EQ(w->m_roidb->count(), before);
    EXPECT_FALSE(w->busy());
}

// Presses beside the canvas pick nothing, even where an image larger than the
// canvas holds a ROI under the pointer.
TEST_F(WindowTest, PressesBesideTheCanvasDoNothing)
{
    write("wide.roi", "wide\n615 2 0 0 " + std::string(10, '2') + std::string(10, '3') +
                          std::string(10, '0') + std::string(10, '1') + "\n");
    read_rois("wide.roi");
    ASSERT_EQ(w->m_roidb->count(), 1u);
    w->setCurrentFocalPlane(0);
    const QPoint beside = w->frame_canvas->pos() + QPoint(618, 5);
    QTest::mouseClick(w.get(), Qt::LeftButton, {}, beside);
    QTest::mouseClick(w.get(), Qt::RightButton, {}, beside);
    EXPECT_TRUE(w->m_selected_roi_set.empty());
    EXPECT_TRUE(w->m_removed_roi_set.empty());
}
