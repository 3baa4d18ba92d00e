// The lineage tree window beside the main window: opening it, clicks and keys
// both ways, edits followed without a rebuild, drawing, navigation, export.
#include "keygen.h"
#include "lineage_marks.h"
#include "lineage_tree_view.h"
#include "lineage_tree_window.h"
#include "data_fixture.h"

#include <QFile>
#include <QFrame>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QToolTip>

#include <map>

// Object A at (10, 10) over three time points, object B at (40, 40) dividing
// at t = 2; planes 2 to 4. Units made, plane 3 in view.
class TreeTest : public DataTest
{
protected:
    const std::string a0 = k(10, 10, 2, 0), a1 = k(12, 10, 2, 1), a2 = k(14, 10, 2, 2);
    const std::string b0 = k(40, 40, 2, 0), b1 = k(40, 40, 2, 1), b2a = k(38, 40, 2, 2),
                      b2b = k(45, 40, 2, 2);

    void SetUp() override
    {
        DataTest::SetUp();
        // The tree's settings stay in this test's folder.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(path("config")));
        ::testing::internal::CaptureStdout();
        w->makeUnits();
        ::testing::internal::GetCapturedStdout();
        ASSERT_EQ(w->m_linkage_multimap.size(), 5u);
    }

    LineageTreeWindow *open()
    {
        key(Qt::Key_V);
        LineageTreeWindow *tree = w->lineageTree();
        EXPECT_TRUE(tree->isVisible());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(tree));
        tree->resize(600, 500);
        QCoreApplication::processEvents();
        tree->view()->fit();
        return tree;
    }
    std::uint32_t node(const std::string &head) { return w->lineageTree()->layout().find(head); }
    QPoint at(const std::string &head)
    {
        return w->lineageTree()->view()->nodePosition(node(head)).toPoint();
    }
    void key(int key) { QTest::keyClick(w.get(), static_cast<Qt::Key>(key)); }
    // Lets the tree's pending update run.
    void settle()
    {
        QVERIFY(QTest::qWaitFor([this] { return !w->lineageTree()->stale(); }, 3000));
    }
    std::set<std::string> root() const { return w->m_lineage_mode_roi_set; }
};

TEST_F(TreeTest, TheKeyVAndTheButtonOpenAndCloseTheTree)
{
    key(Qt::Key_V);
    LineageTreeWindow *tree = w->lineageTree();
    EXPECT_TRUE(tree->isVisible());
    EXPECT_EQ(tree->windowTitle(), "Lineage");
    EXPECT_TRUE(tree->isWindow());
    EXPECT_EQ(tree->layout().nodes().size(), 7u)
        << "A over three time points, B, B and its daughters";
    EXPECT_EQ(tree->layout().edges().size(), 5u);
    key(Qt::Key_V);
    EXPECT_FALSE(tree->isVisible());

    auto *button = w->findChild<QPushButton *>("pushButton_lineage_tree");
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->parentWidget(), w->mainPage);
    for (QPushButton *other : w->mainPage->findChildren<QPushButton *>()) {
        if (other != button) {
            EXPECT_FALSE(other->geometry().intersects(button->geometry()))
                << other->objectName().toStdString();
        }
    }
    button->click();
    EXPECT_TRUE(tree->isVisible());
    button->click();
    EXPECT_FALSE(tree->isVisible());
    // The V key in the tree window closes it too.
    button->click();
    QTest::keyClick(tree, Qt::Key_V);
    EXPECT_FALSE(tree->isVisible());
}

TEST_F(TreeTest, TheTreeRemembersItsGeometryBetweenRuns)
{
    LineageTreeWindow *tree = open();
    tree->resize(510, 430);
    tree->hide();
    open_window();
    EXPECT_EQ(w->lineageTree()->size(), QSize(510, 430)) << "a new run opens it as it was left";
}

TEST_F(TreeTest, ClickingANodeMovesTheMainWindowAndMakesTheLineageRoot)
{
    LineageTreeWindow *tree = open();
    LineageTreeView *view = tree->view();
    w->setCurrentFocalPlane(0);
    QTest::mouseClick(view, Qt::LeftButton, {}, at(b2b));
    EXPECT_EQ(w->m_time_point, 2);
    EXPECT_EQ(w->m_focal_plane, 2) << "the plane nearest the one in view that the unit spans";
    EXPECT_EQ(root(), std::set<std::string>{b2b});
    EXPECT_EQ(view->highlighted(), node(b2b));
    EXPECT_EQ(view->currentTimePoint(), 2);

    w->setCurrentFocalPlane(3);
    QTest::mouseClick(view, Qt::LeftButton, {}, at(a1));
    EXPECT_EQ(w->m_time_point, 1);
    EXPECT_EQ(w->m_focal_plane, 3) << "the unit spans the plane in view: it stays";
    EXPECT_EQ(root(), std::set<std::string>{a1});

    // Beside every node, and a drag that starts on one: nothing is picked.
    const QPoint empty = at(a1) + QPoint(0, (at(a2).y() - at(a1).y()) / 2);
    QTest::mouseClick(view, Qt::LeftButton, {}, empty);
    EXPECT_EQ(root(), std::set<std::string>{a1});
    const QPoint start = at(b0);
    QTest::mousePress(view, Qt::LeftButton, {}, start);
    QMouseEvent move(QEvent::MouseMove, QPointF(start + QPoint(30, 12)),
                     view->mapToGlobal(QPointF(start + QPoint(30, 12))), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &move);
    QTest::mouseRelease(view, Qt::LeftButton, {}, start + QPoint(30, 12));
    EXPECT_EQ(root(), std::set<std::string>{a1}) << "a drag pans";
    EXPECT_EQ(at(b0), start + QPoint(30, 12));
}

TEST_F(TreeTest, ANewLineageRootOrASelectedRoiOfAUnitIsHighlightedAndShown)
{
    LineageTreeWindow *tree = open();
    LineageTreeView *view = tree->view();
    view->zoom(6, QPointF(0, 0));
    view->pan(QPointF(-4000, -3000));
    ASSERT_FALSE(view->rect().contains(at(a0)));

    key(Qt::Key_L);
    click(12, 12);
    ASSERT_EQ(root(), std::set<std::string>{a0});
    EXPECT_EQ(view->highlighted(), node(a0));
    EXPECT_TRUE(view->rect().contains(at(a0))) << "scrolled into view";

    click(45, 45); // selects B's ROI on plane 3
    ASSERT_TRUE(w->isSelected(k(40, 40, 3, 0)));
    EXPECT_EQ(view->highlighted(), node(b0));
    EXPECT_EQ(tree->highlightedHead(), b0);

    // Giving the root up (L twice) leaves the selection's mark alone.
    key(Qt::Key_L);
    key(Qt::Key_L);
    EXPECT_TRUE(root().empty());
    EXPECT_EQ(view->highlighted(), node(b0));
}

TEST_F(TreeTest, LineageKeysWalkParentFirstChildAndSisters)
{
    open();
    key(Qt::Key_BracketRight);
    EXPECT_TRUE(root().empty()) << "no root: nothing to walk from";
    EXPECT_EQ(w->m_time_point, 0);

    w->m_lineage_mode_roi_set = {b1};
    key(Qt::Key_BracketRight);
    EXPECT_EQ(root(), std::set<std::string>{b2a}) << "the first child in key order";
    EXPECT_EQ(w->m_time_point, 2);
    EXPECT_EQ(w->m_focal_plane, 2) << "the head's plane, as G shows it";
    EXPECT_EQ(w->lineageTree()->view()->highlighted(), node(b2a));
    key(Qt::Key_Apostrophe);
    EXPECT_EQ(root(), std::set<std::string>{b2b});
    key(Qt::Key_Apostrophe);
    EXPECT_EQ(root(), std::set<std::string>{b2a}) << "sisters cycle";
    key(Qt::Key_BracketLeft);
    EXPECT_EQ(root(), std::set<std::string>{b1});
    EXPECT_EQ(w->m_time_point, 1);

    // From the tree window the keys reach the main window.
    QTest::keyClick(w->lineageTree(), Qt::Key_BracketLeft);
    EXPECT_EQ(root(), std::set<std::string>{b0});
    EXPECT_EQ(w->m_time_point, 0);

    ::testing::internal::CaptureStderr();
    key(Qt::Key_BracketLeft);
    key(Qt::Key_Apostrophe);
    w->m_lineage_mode_roi_set = {a2};
    key(Qt::Key_BracketRight);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("No parent of " + b0), std::string::npos) << err;
    EXPECT_NE(err.find("No sister of " + b0), std::string::npos);
    EXPECT_NE(err.find("No child of " + a2), std::string::npos);
    EXPECT_EQ(root(), std::set<std::string>{a2});
}

TEST_F(TreeTest, EditsUpdateTheTreeWithoutARebuild)
{
    LineageTreeWindow *tree = open();
    std::map<std::string, float> before;
    for (const lineage::tree_node &n : tree->layout().nodes())
        before[n.head] = n.x;
    const int updates = tree->updates();
    tree->highlight(a0);
    tree->view()->pan(QPointF(-2000, 0));
    const QPointF away = tree->view()->nodePosition(node(a0));

    ::testing::internal::CaptureStdout();
    w->release_child(b1, b2b);
    settle();
    EXPECT_EQ(tree->view()->nodePosition(node(a0)), away) << "an update leaves the view alone";
    EXPECT_EQ(tree->view()->highlighted(), node(a0));
    EXPECT_EQ(tree->updates(), updates + 1);
    EXPECT_FALSE(tree->lastUpdate().rebuilt);
    EXPECT_TRUE(tree->lastUpdate().near) << "an edit by the time point in view is read there";
    EXPECT_EQ(tree->lastUpdate().kept, 1u) << "A's tree";
    EXPECT_EQ(tree->layout().nodes()[node(b2b)].parent, lineage::tree_none);
    for (const std::string &h : {a0, a1, a2})
        EXPECT_EQ(tree->layout().nodes()[node(h)].x, before[h]);

    // Edits that come together give one update.
    w->link(b1, b2b);
    w->link(a1, b2a);
    settle();
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(tree->updates(), updates + 2);
    EXPECT_EQ(tree->layout().edges().size(), 6u);
    EXPECT_TRUE(tree->layout().nodes()[node(b2a)].marks & lineage::mark_doubtful);

    // An elite mark through the E mode.
    key(Qt::Key_E);
    click(12, 12);
    settle();
    EXPECT_TRUE(tree->states()[node(a0)] & lineage::state_elite);

    // Reset empties the tree; a unit pass during which edits keep coming
    // updates it once, after the pass.
    w->pushButton_reset_clicked();
    settle();
    EXPECT_TRUE(tree->layout().empty());
    const int before_pass = tree->updates();
    ::testing::internal::CaptureStdout();
    w->makeUnits();
    ::testing::internal::GetCapturedStdout();
    settle();
    EXPECT_EQ(tree->updates(), before_pass + 1);
    EXPECT_EQ(tree->layout().nodes().size(), 7u);
    EXPECT_TRUE(tree->lastUpdate().rebuilt);
}

TEST_F(TreeTest, NodesShowTheirStatesAndMarksInColour)
{
    LineageTreeWindow *tree = open();
    LineageTreeView *view = tree->view();
    ::testing::internal::CaptureStdout();
    w->release_child(a1, a2); // a1 a dead end, a2 unlinked
    ::testing::internal::GetCapturedStdout();
    w->m_elite_head_roi_set.insert(b2b);
    w->m_lineage_mode_roi_set = {b0};
    tree->refresh();
    w->setCurrentTimePoint(1);
    QCoreApplication::processEvents();
    view->fit();
    const QImage image = view->grab().toImage();
    auto colour_at = [&](const std::string &h, int dx = 0, int dy = 0) {
        const QPoint p = at(h) + QPoint(dx, dy);
        return image.pixelColor(p.x(), p.y());
    };
    EXPECT_EQ(colour_at(b0), w->color[4]) << "the lineage root";
    EXPECT_EQ(colour_at(b2b), w->color[15]) << "elite";
    EXPECT_EQ(colour_at(b1), w->color[3]) << "in the root's lineage";
    EXPECT_EQ(colour_at(a0), w->color[0]);

    const int r =
        std::clamp(static_cast<int>(std::min(view->columnScale(), view->rowScale()) * 0.28), 1, 6);
    ASSERT_GE(std::min(view->columnScale(), view->rowScale()), 4) << "large enough for the signs";
    EXPECT_EQ(colour_at(a1, 0, r + 2), QColor(64, 210, 255)) << "dead end: a bar below";
    EXPECT_EQ(colour_at(a2, 0, -r - 2), QColor(110, 255, 110)) << "unlinked: a bar above";
    EXPECT_NE(colour_at(a0, 0, r + 2), QColor(64, 210, 255));

    // The current time point is a line across the tree.
    const int y = view->nodePosition(node(a1)).toPoint().y();
    EXPECT_EQ(image.pixelColor(view->width() - 2, y), QColor(50, 110, 210));
    EXPECT_NE(image.pixelColor(view->width() - 2, at(a2).y()), QColor(50, 110, 210));

    // New colours (a colour file read again) show at the next paint.
    w->color[0] = QColor(18, 52, 86);
    EXPECT_EQ(view->grab().toImage().pixelColor(at(a0)), QColor(18, 52, 86));
}

TEST_F(TreeTest, HoverTellsTheUnitAndTheViewZoomsPansAndFits)
{
    LineageTreeWindow *tree = open();
    LineageTreeView *view = tree->view();
    const QString text = view->describe(node(b2a));
    EXPECT_TRUE(text.contains(QString::fromStdString(b2a)));
    EXPECT_TRUE(text.contains("time point 2"));
    EXPECT_TRUE(text.contains("planes 2 to 4"));
    EXPECT_TRUE(text.contains("members 3"));
    QMouseEvent hover(QEvent::MouseMove, QPointF(at(b2a)), view->mapToGlobal(QPointF(at(b2a))),
                      Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &hover);
    EXPECT_EQ(QToolTip::text(), text);

    // The wheel zooms about the pointer: the node under it stays there.
    const QPointF p = view->nodePosition(node(a1));
    const double sx = view->columnScale(), sy = view->rowScale();
    QWheelEvent in(p, view->mapToGlobal(p), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view, &in);
    EXPECT_GT(view->columnScale(), sx);
    EXPECT_GT(view->rowScale(), sy);
    EXPECT_LT(QLineF(view->nodePosition(node(a1)), p).length(), 0.01);
    QWheelEvent columns(p, view->mapToGlobal(p), QPoint(), QPoint(0, -120), Qt::NoButton,
                        Qt::ShiftModifier, Qt::NoScrollPhase, false);
    const double rows_before = view->rowScale();
    QCoreApplication::sendEvent(view, &columns);
    EXPECT_EQ(view->rowScale(), rows_before) << "Shift: columns only";

    // Home shows the whole lineage again.
    view->pan(QPointF(-3000, 0));
    QTest::keyClick(tree, Qt::Key_Home);
    for (const lineage::tree_node &n : tree->layout().nodes())
        EXPECT_TRUE(view->rect().contains(at(n.head))) << n.head;
}

TEST_F(TreeTest, ExportsPngAndSvgAndKeepsAFileTheUserWouldNotOverwrite)
{
    LineageTreeWindow *tree = open();
    ::testing::internal::CaptureStdout();
    chooser->save_answer = QString::fromStdString(path("tree.png"));
    tree->exportAs(false);
    chooser->save_answer = QString::fromStdString(path("tree.svg"));
    tree->exportAs(true);
    ::testing::internal::GetCapturedStdout();
    QImage png(QString::fromStdString(path("tree.png")));
    ASSERT_FALSE(png.isNull());
    EXPECT_GE(png.width(), 360);
    const std::string svg = slurp(path("tree.svg"));
    EXPECT_NE(svg.find("<svg"), std::string::npos);
    std::size_t ellipses = 0;
    for (std::size_t at_ = svg.find("<circle"); at_ != std::string::npos;
         at_ = svg.find("<circle", at_ + 1))
        ++ellipses;
    EXPECT_GE(ellipses, 7u) << "a circle per unit at least";
    EXPECT_EQ(chooser->last_filter, "SVG drawing (*.svg)");

    // Declining the overwrite keeps the file; an unwritable place says so.
    const std::string kept = slurp(path("tree.svg"));
    chooser->overwrite = false;
    tree->exportAs(true);
    EXPECT_EQ(chooser->last_question.contains("already exists"), true);
    EXPECT_EQ(slurp(path("tree.svg")), kept);
    chooser->save_answer = QString::fromStdString(path("missing/dir/tree.png"));
    ::testing::internal::CaptureStderr();
    tree->exportAs(false);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("Cannot write"), std::string::npos);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path("missing/dir/tree.png"))));
}

// A step of the review queue marks its unit in the tree too.
TEST_F(TreeTest, AReviewStepHighlightsItsNode)
{
    open();
    ::testing::internal::CaptureStdout();
    w->release_child(keygen(pos4i(12, 10, 2, 1)), keygen(pos4i(14, 10, 2, 2)));
    QTest::keyClick(w.get(), Qt::Key_N);
    const std::string out = ::testing::internal::GetCapturedStdout();
    const std::string dead_end = keygen(pos4i(12, 10, 2, 1));
    ASSERT_NE(out.find("dead end 1/2: " + dead_end), std::string::npos) << out;
    EXPECT_EQ(w->lineageTree()->highlightedHead(), dead_end);
}
