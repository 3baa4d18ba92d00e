// The split commands in the window: the Split button and Auto split, the
// manual split of split mode, their guards, and the outline program failing
// part-way through a split.
#include "data_fixture.h"
#include "roidb_plus.h"

#include <QPushButton>
#include <QTimer>

#include <sys/stat.h> // chmod

namespace
{

// Two objects at t = 0 (A on planes 0-2, B on planes 3-5, shifted so that
// they do not join) grown together at t = 1 into one unit through a bridge
// on plane 3; a child at t = 2.
class SplitTest : public WindowTest
{
protected:
    std::string a, b, d, child;

    void SetUp() override
    {
        WindowTest::SetUp();
        setenv("OXELBROWSER_OUTLINEGEN", OUTLINEGEN, 1);
        std::string text = "touch\n";
        for (int z = 0; z <= 2; ++z)
            text += rect_line(10, 10, 8, 8, z, 0) + rect_line(10, 10, 8, 8, z, 1) +
                    rect_line(10, 10, 14, 8, z, 2);
        text += rect_line(16, 10, 8, 8, 3, 0) + rect_line(13, 10, 8, 8, 3, 1) +
                rect_line(10, 10, 14, 8, 3, 2);
        for (int z = 4; z <= 5; ++z)
            text += rect_line(16, 10, 8, 8, z, 0) + rect_line(16, 10, 8, 8, z, 1) +
                    rect_line(10, 10, 14, 8, z, 2);
        write("touch.roi", text);
        read_rois("touch.roi");
        ASSERT_NE(w->m_roidb, nullptr);
        ::testing::internal::CaptureStdout();
        w->makeUnits();
        ::testing::internal::GetCapturedStdout();
        a = keygen(pos4i(10, 10, 0, 0));
        b = keygen(pos4i(16, 10, 3, 0));
        d = keygen(pos4i(10, 10, 0, 1));
        child = keygen(pos4i(10, 10, 0, 2));
        ASSERT_EQ(w->parents(d), (std::set<std::string>{a, b})) << "a doubtful unit";
    }
    QPushButton *button(const char *name) { return w->findChild<QPushButton *>(name); }
};

} // namespace

TEST_F(SplitTest, SplitCutsTheDoubtfulUnitWhenItsParentsAreDifferentLines)
{
    w->m_elite_head_roi_set = {a, b};
    w->m_selected_roi_set.insert(keygen(pos4i(13, 10, 3, 1)));
    ::testing::internal::CaptureStdout();
    button("pushButton_split")->click();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Falsely grouped unit: " + d + "\n"), std::string::npos) << out;
    EXPECT_NE(out.find("split: case 3\n"), std::string::npos);
    EXPECT_EQ(w->parents(child).size(), 2u) << "the child goes to both pieces";
    for (const std::string &piece : w->parents(child))
        EXPECT_EQ(w->parents(piece).size(), 1u) << "each piece has one parent";
    EXPECT_TRUE(w->m_falsely_grouped_units_candidates.count(d));
    w->search_doubt_units();
    EXPECT_FALSE(w->m_falsely_grouped_units_candidates.count(d));
    // The pieces of the bridge are selected as the bridge was.
    int selected_pieces = 0;
    roi r;
    w->m_roidb->seek(1, 3, 0);
    while (w->m_roidb->find_plus(1, 3, r))
        selected_pieces += w->isSelected(keygen(r));
    EXPECT_GE(selected_pieces, 1);
    EXPECT_EQ(w->cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(w->busy());
}

// With no elite unit the parents are merged (that is the design's answer);
// Auto split says so once at its start and stops when no doubt is left.
TEST_F(SplitTest, AutoSplitWarnsWithoutEliteUnitsAndStopsWhenNoneIsLeft)
{
    button("pushButton_auto_split")->setChecked(true);
    EXPECT_TRUE(w->m_auto_split);
    ::testing::internal::CaptureStdout();
    button("pushButton_split")->click();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Auto split: no elite unit", 0), 0u) << out;
    EXPECT_NE(out.find("Merge units: " + a + " " + b + "\n"), std::string::npos);
    const size_t none = out.find("Doubt units: none\n");
    ASSERT_NE(none, std::string::npos);
    EXPECT_EQ(out.find("Doubt units: none", none + 1), std::string::npos) << "said once";
    EXPECT_FALSE(w->busy());
}

// A doubt that cannot be processed (its one parent linked twice) is passed
// over for the rest of the run instead of being taken again for ever.
TEST_F(SplitTest, AutoSplitPassesOverWhatItCannotProcess)
{
    ::testing::internal::CaptureStdout();
    w->release_child(b, d);
    w->m_linkage_multimap.emplace(d, a);
    ::testing::internal::GetCapturedStdout();
    button("pushButton_auto_split")->setChecked(true);
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    button("pushButton_split")->click();
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("fewer than two parents"), std::string::npos) << err;
    EXPECT_NE(out.find("Doubt units: none\n"), std::string::npos);
}

TEST_F(SplitTest, ExitOrClosingEndsAutoSplit)
{
    // Doubts that keep coming back: every pass finds one to merge again.
    w->m_elite_head_roi_set = {a, b};
    button("pushButton_auto_split")->setChecked(true);
    QTimer::singleShot(0, w.get(), [&] { w->close(); });
    ::testing::internal::CaptureStdout();
    button("pushButton_split")->click();
    ::testing::internal::GetCapturedStdout();
    EXPECT_FALSE(w->m_auto_split);
    EXPECT_FALSE(button("pushButton_auto_split")->isChecked());
    EXPECT_FALSE(w->busy());
}

// The outline program fails on its second call: the split stops before the
// database or the tables are touched.
TEST_F(SplitTest, AProgramThatFailsPartWayChangesNothing)
{
    const std::string counter = path("calls");
    const std::string program = path("fake-outlinegen");
    write("fake-outlinegen", "#!/bin/sh\nn=$(cat '" + counter +
                                 "' 2>/dev/null || echo 0)\n"
                                 "n=$((n + 1)); echo $n > '" +
                                 counter +
                                 "'\n"
                                 "[ $n -ge 2 ] && exit 3\nexec '" OUTLINEGEN "'\n");
    chmod(program.c_str(), 0755);
    setenv("OXELBROWSER_OUTLINEGEN", program.c_str(), 1);
    w->m_elite_head_roi_set = {a, b};
    const size_t rois = w->m_roidb->count();
    const auto heads = w->m_head_members;
    const auto links = w->m_linkage_multimap;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    button("pushButton_split")->click();
    ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    setenv("OXELBROWSER_OUTLINEGEN", OUTLINEGEN, 1);
    EXPECT_NE(err.find("the outline program failed"), std::string::npos) << err;
    EXPECT_EQ(w->m_roidb->count(), rois);
    EXPECT_EQ(w->m_head_members, heads);
    EXPECT_EQ(w->m_linkage_multimap, links);
    EXPECT_EQ(slurp(counter), "2\n");
}

// Split mode: two parents picked, a click cuts the lineage root's unit at the
// clicked point; the root then names one of the pieces.
TEST_F(SplitTest, ManualSplitFollowsTheClickAndMovesTheRoot)
{
    w->m_lineage_mode_roi_set = {d};
    w->setCurrentTimePoint(0);
    w->setCurrentFocalPlane(1);
    QTest::keyClick(w.get(), Qt::Key_S);
    ASSERT_TRUE(w->m_split_mode);
    QTest::mouseClick(w->frame_canvas, Qt::LeftButton, {}, QPoint(12, 12)); // A
    w->setCurrentFocalPlane(4);
    QTest::mouseClick(w->frame_canvas, Qt::LeftButton, {}, QPoint(20, 12)); // B
    EXPECT_EQ(w->m_split_parents, (std::set<std::string>{a, b}));
    w->setCurrentTimePoint(1);
    w->setCurrentFocalPlane(3);
    ::testing::internal::CaptureStdout();
    QTest::mouseClick(w->frame_canvas, Qt::LeftButton, {}, QPoint(16, 14));
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("manual split mode:\n    doubt: " + d + "\n  parents: " + a + " " + b +
                       "\n E_normal: ("),
              std::string::npos)
        << out;
    EXPECT_FALSE(w->m_split_mode);
    ASSERT_EQ(w->m_lineage_mode_roi_set.size(), 1u);
    const std::string root = *w->m_lineage_mode_roi_set.begin();
    EXPECT_EQ(w->parents(child).size(), 2u);
    EXPECT_TRUE(w->parents(child).count(root)) << "the root names one of the pieces";
    EXPECT_LT(w->member(root).size(), 6u);
}

TEST_F(SplitTest, ManualSplitIsRefusedWithoutAUnitOrTwoParents)
{
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    w->manualSplit(keygen(pos4i(99, 99, 0, 1)), {a, b}, 10, 10, 0);
    w->manualSplit(d, {a}, 10, 10, 0);
    ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("is no longer a unit"), std::string::npos);
    EXPECT_NE(err.find("two parents are needed"), std::string::npos);
    EXPECT_EQ(w->parents(d).size(), 2u);
}
