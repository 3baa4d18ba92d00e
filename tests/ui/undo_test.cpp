// Undo and redo: random sequences of every kind of edit on a generated
// dataset, taken back step by step to the start and done again to the end;
// the unsaved-changes line; the history's memory limit.
#include "data_fixture.h"
#include "roidb_plus.h"

#include <QLabel>
#include <QPushButton>
#include <QUndoStack>

#include <random>
#include <vector>

namespace {

// Everything the ROI, false-positive and lineage files hold.
struct Snapshot {
    std::vector<std::string> rois;
    std::set<std::string> fp, elite, dismissed;
    std::vector<std::pair<std::string, std::string>> head_members, linkage;
    std::map<std::string, std::string> members_head;

    explicit Snapshot(OXELBrowser &w)
    {
        for (const roi &r : w.m_roidb->rois_in(-1000000, 1000000))
            rois.push_back(keygen(r) + " " + r.outline());
        fp = w.m_removed_roi_set;
        elite = w.m_elite_head_roi_set;
        dismissed = w.dismissedUnits();
        head_members.assign(w.m_head_members.begin(), w.m_head_members.end());
        linkage.assign(w.m_linkage_multimap.begin(), w.m_linkage_multimap.end());
        // The order of entries under one key carries no meaning.
        std::sort(head_members.begin(), head_members.end());
        std::sort(linkage.begin(), linkage.end());
        members_head = w.m_members_head;
    }
    bool operator==(const Snapshot &o) const
    {
        return rois == o.rois && fp == o.fp && elite == o.elite && dismissed == o.dismissed &&
               head_members == o.head_members && linkage == o.linkage &&
               members_head == o.members_head;
    }
};

class UndoTest : public DataTest {
protected:
    std::mt19937 rng{1};

    void SetUp() override
    {
        DataTest::SetUp();
        setenv("OXELBROWSER_OUTLINEGEN", OUTLINEGEN, 1);
        write("restore.roi", slurp(path("obj.roi")) + rect_line(30, 5, 4, 4, 3, 1) +
                                 rect_line(30, 5, 4, 4, 3, 2));
        write("marks.fp", "NAME obj\nFP " + k(40, 40, 3, 1) + "\nFP " + k(10, 10, 4, 0) + "\n");
    }
    int pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }
    std::vector<std::string> all_rois()
    {
        std::vector<std::string> keys;
        for (const roi &r : w->m_roidb->rois_in(0, 2))
            keys.push_back(keygen(r));
        return keys;
    }
    std::vector<std::string> heads()
    {
        std::vector<std::string> out;
        for (auto it = w->m_head_members.begin(); it != w->m_head_members.end();
             it = w->m_head_members.upper_bound(it->first))
            out.push_back(it->first);
        return out;
    }
    // A press on the ROI's first pixel, with the ROI's time point and plane in view.
    void press(const std::string &key, Qt::MouseButton button)
    {
        const pos4i p = decode(key);
        w->setCurrentTimePoint(p.t());
        w->setCurrentFocalPlane(p.z());
        click(p.x(), p.y(), button);
    }
    // One random user action.
    void act()
    {
        const std::vector<std::string> rois = all_rois();
        const std::vector<std::string> units = heads();
        switch (pick(14)) {
        case 0: // mark or unmark a false positive
            if (!rois.empty())
                press(rois[pick(static_cast<int>(rois.size()))], Qt::RightButton);
            break;
        case 1:
            w->makeUnits();
            break;
        case 2:
            w->setCurrentTimePoint(1 + pick(2));
            key(Qt::Key_K);
            break;
        case 3: // link or unlink two units
        case 4:
            if (units.size() >= 2) {
                const std::string a = units[pick(static_cast<int>(units.size()))];
                const std::string b = units[pick(static_cast<int>(units.size()))];
                if (pick(2))
                    w->link(a, b);
                else
                    w->release_child(a, b);
            }
            break;
        case 5: // merge two units of a time point
            if (units.size() >= 2)
                w->mergeUnits(units[pick(static_cast<int>(units.size()))],
                              units[pick(static_cast<int>(units.size()))]);
            break;
        case 6: // elite mode and a click
            if (!units.empty()) {
                key(Qt::Key_E);
                press(units[pick(static_cast<int>(units.size()))], Qt::LeftButton);
            }
            break;
        case 7:
            w->pushButton_drop_false_positive_clicked();
            break;
        case 8:
            if (pick(3) == 0) // rarely: it takes every ROI not tracked both ways
                w->pushButton_clean_clicked();
            break;
        case 9:
            w->pushButton_reset_clicked();
            break;
        case 10: // review: next, then dismiss
            key(Qt::Key_N);
            key(Qt::Key_I);
            break;
        case 11:
            w->m_elite_head_roi_set.size() < 2 ? w->makeUnits() : w->pushButton_split_clicked();
            break;
        case 12:
            chooser->open_answer = QString::fromStdString(path("restore.roi"));
            w->setCurrentTimePoint(pick(3));
            w->pushButton_restore_clicked();
            break;
        case 13:
            chooser->open_answer = QString::fromStdString(path("marks.fp"));
            w->pushButton_read_FP_clicked();
            break;
        }
    }
};

} // namespace

// Each step undone gives back exactly the state before it; all redone give
// the end state again.
TEST_F(UndoTest, RandomEditsAreUndoneAndRedoneExactly)
{
    for (unsigned seed = 1; seed <= 6; ++seed) {
        read_rois("obj.roi");
        w->setCurrentFocalPlane(3);
        rng.seed(seed);
        std::vector<Snapshot> states{Snapshot(*w)};
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        for (int step = 0; step < 40; ++step) {
            const int before = w->undoStack()->index();
            act();
            if (w->undoStack()->index() != before)
                states.push_back(Snapshot(*w));
            ASSERT_EQ(w->undoStack()->index() + 1, static_cast<int>(states.size()))
                << "one command per action, seed " << seed << " step " << step;
        }
        const Snapshot end(*w);
        for (int i = static_cast<int>(states.size()) - 1; i > 0; --i) {
            w->undo();
            ASSERT_TRUE(Snapshot(*w) == states[static_cast<size_t>(i - 1)])
                << "seed " << seed << ": undo of command " << i << " ("
                << w->undoStack()->command(i - 1)->text().toStdString() << ")";
        }
        EXPECT_FALSE(w->undoStack()->canUndo());
        while (w->undoStack()->canRedo())
            w->redo();
        ::testing::internal::GetCapturedStdout();
        ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(Snapshot(*w) == end) << "seed " << seed;
        EXPECT_GT(states.size(), 10u) << "the sequence did edit";
    }
}

// Selection and tracking are not edits; a mark is one, and shows as unsaved
// until it is undone.
TEST_F(UndoTest, OnlyEditsEnterTheHistoryAndTheWindowSaysWhatIsUnsaved)
{
    QLabel *line = w->findChild<QLabel *>("label_unsaved");
    EXPECT_EQ(line->text(), "");
    click(12, 12);
    key(Qt::Key_Z);
    EXPECT_EQ(w->undoStack()->count(), 0) << "selection and z tracking are not edits";
    click(45, 45, Qt::RightButton);
    EXPECT_EQ(w->undoStack()->count(), 1);
    EXPECT_TRUE(w->unsaved(part_fp));
    EXPECT_FALSE(w->unsaved(part_rois | part_lineage));
    EXPECT_EQ(line->text(), "Unsaved: false positives");
    QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(w->m_removed_roi_set.empty());
    EXPECT_FALSE(w->unsaved(part_fp)) << "back to the state read";
    EXPECT_EQ(line->text(), "");
    QTest::keyClick(w.get(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(w->m_removed_roi_set.size(), 1u);
    QTest::keyClick(w.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(w->m_removed_roi_set.size(), 1u) << "nothing more to redo";
}

// Beyond the limit the oldest steps go, and the window says so; what is
// left still undoes exactly.
TEST_F(UndoTest, TheHistoryKeepsWithinItsLimit)
{
    w->makeUnits();
    const size_t make_units_bytes = w->undoBytes();
    w->undo();
    w->setUndoLimit(2000);
    ::testing::internal::CaptureStderr();
    for (int i = 0; i < 12; ++i)
        click(i % 2 ? 45 : 12, 12 + (i % 2) * 33, Qt::RightButton);
    w->makeUnits();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("the oldest steps were dropped"), std::string::npos);
    EXPECT_LE(w->undoBytes(), 2000u + make_units_bytes) << "the last step is kept whatever its size";
    EXPECT_LT(w->undoStack()->count(), 13);
    EXPECT_NE(w->findChild<QLabel *>("label_unsaved")->text().indexOf("oldest undo steps dropped"),
              -1);
    const Snapshot after(*w);
    w->undo();
    EXPECT_TRUE(w->m_head_members.empty()) << "Make units undone";
    w->redo();
    EXPECT_TRUE(Snapshot(*w) == after);
}
