// The unit rules in the window: the "Settings…" button and its dialog, the
// saved settings, and Make units and K following the rules.
#include "data_fixture.h"
#include "lineage_file.h"
#include "process.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"
#include "unit_maker.h"

#include <QCheckBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QUndoStack>

#include <fstream>
#include <functional>
#include <sstream>

namespace
{

// Runs fn on the modal dialog once it shows.
void when_modal(std::function<void(QWidget *)> fn, int tries = 200)
{
    QTimer::singleShot(10, qApp, [fn, tries] {
        if (QWidget *m = QApplication::activeModalWidget())
            fn(m);
        else if (tries > 0)
            when_modal(fn, tries - 1);
    });
}

template <class W> W *child(QWidget *parent, const char *name)
{
    W *w = parent->findChild<W *>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
}

class UnitSettingsTest : public DataTest
{
protected:
    QPushButton *button() { return child<QPushButton>(w.get(), "pushButton_unit_settings"); }

    // Clicks "Settings…", lets fill set the dialog's fields, then presses OK
    // (or Cancel).
    void edit(const std::function<void(QWidget *)> &fill, bool ok)
    {
        bool shown = false;
        when_modal([&](QWidget *dialog) {
            shown = true;
            fill(dialog);
            if (ok)
                qobject_cast<QDialog *>(dialog)->accept();
            else
                qobject_cast<QDialog *>(dialog)->reject();
        });
        button()->click();
        EXPECT_TRUE(shown);
    }
};

} // namespace

TEST_F(UnitSettingsTest, TheButtonSitsAtTheEndOfTheKvrPagesBottomRow)
{
    QPushButton *b = button();
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->text(), QString::fromUtf8("Settings…"));
    EXPECT_EQ(b->geometry(), QRect(478, 97, 75, 22));
    EXPECT_EQ(b->parentWidget(), w->mainPage);
    EXPECT_EQ(w->tabWidget_control_panel->indexOf(w->mainPage), 1) << "the second tab";
    EXPECT_EQ(b->focusPolicy(), Qt::NoFocus) << "keys stay with the canvas";
}

// OK keeps what the dialog shows, for this window and the next run; Cancel
// keeps what was there.
TEST_F(UnitSettingsTest, OkSavesTheRulesAndCancelKeepsThem)
{
    EXPECT_TRUE(w->m_unit_options.plain()) << "no settings yet: the plain pass";
    edit(
        [](QWidget *d) {
            child<QDoubleSpinBox>(d, "spinBox_link_ratio")->setValue(0.3);
            child<QCheckBox>(d, "checkBox_attach_caps")->setChecked(true);
            child<QDoubleSpinBox>(d, "spinBox_cap_cover")->setValue(0.6);
            child<QCheckBox>(d, "checkBox_stack_caps")->setChecked(true);
            child<QDoubleSpinBox>(d, "spinBox_stack_cover")->setValue(0.45);
            child<QCheckBox>(d, "checkBox_best_parent")->setChecked(true);
        },
        true);
    unit_options expected;
    expected.link_ratio = 0.3;
    expected.attach_caps = true;
    expected.cap_cover = 0.6;
    expected.stack_caps = true;
    expected.stack_cover = 0.45;
    expected.best_parent = true;
    EXPECT_EQ(w->m_unit_options, expected);

    edit([](QWidget *d) { child<QDoubleSpinBox>(d, "spinBox_link_ratio")->setValue(0.9); }, false);
    EXPECT_EQ(w->m_unit_options, expected) << "Cancel changes nothing";

    open_window();
    EXPECT_EQ(w->m_unit_options, expected) << "a new window reads the saved rules";

    // The dialog's two fillers: the recommended values and the defaults.
    edit([](QWidget *d) { child<QPushButton>(d, "pushButton_units_recommended")->click(); }, true);
    EXPECT_EQ(w->m_unit_options, unit_options::recommended());
    edit(
        [](QWidget *d) {
            EXPECT_TRUE(child<QDoubleSpinBox>(d, "spinBox_cap_cover")->isEnabled())
                << "the recommended values attach caps";
            child<QCheckBox>(d, "checkBox_attach_caps")->setChecked(false);
            EXPECT_FALSE(child<QDoubleSpinBox>(d, "spinBox_cap_cover")->isEnabled());
            child<QCheckBox>(d, "checkBox_attach_caps")->setChecked(true);
            EXPECT_TRUE(child<QDoubleSpinBox>(d, "spinBox_cap_cover")->isEnabled());
            EXPECT_TRUE(child<QDoubleSpinBox>(d, "spinBox_stack_cover")->isEnabled())
                << "the recommended values stack caps";
            child<QCheckBox>(d, "checkBox_stack_caps")->setChecked(false);
            EXPECT_FALSE(child<QDoubleSpinBox>(d, "spinBox_stack_cover")->isEnabled());
            child<QPushButton>(d, "pushButton_units_defaults")->click();
            EXPECT_FALSE(child<QDoubleSpinBox>(d, "spinBox_cap_cover")->isEnabled())
                << "the cover waits for cap attachment";
            EXPECT_FALSE(child<QCheckBox>(d, "checkBox_stack_caps")->isChecked());
            EXPECT_FALSE(child<QDoubleSpinBox>(d, "spinBox_stack_cover")->isEnabled());
        },
        true);
    EXPECT_TRUE(w->m_unit_options.plain());
}

// A settings file edited by hand to values the rules cannot take: each such
// value is left at its default, and the line says which.
TEST_F(UnitSettingsTest, ValuesOutOfRangeFallBackToTheDefaultsWithAMessage)
{
    {
        // Where the window keeps its settings: the program's names, as main
        // sets them (here the test program's).
        const QString org = QCoreApplication::organizationName();
        QSettings s(org.isEmpty() ? QStringLiteral("oxelbrowser") : org,
                    QCoreApplication::applicationName());
        s.setValue("units/linkRatio", "1.5");
        s.setValue("units/attachCaps", "maybe");
        s.setValue("units/capCover", "0.25");
        s.setValue("units/stackCaps", "true");
        s.setValue("units/stackCover", "1");
        s.setValue("units/bestParent", "true");
    }
    ::testing::internal::CaptureStderr();
    open_window();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("units/linkRatio = 1.5"), std::string::npos) << err;
    EXPECT_NE(err.find("units/attachCaps = maybe"), std::string::npos) << err;
    EXPECT_NE(err.find("units/stackCover = 1"), std::string::npos) << err;
    EXPECT_EQ(w->m_unit_options.link_ratio, 0.0);
    EXPECT_FALSE(w->m_unit_options.attach_caps);
    EXPECT_EQ(w->m_unit_options.cap_cover, 0.25) << "valid values are kept";
    EXPECT_TRUE(w->m_unit_options.stack_caps);
    EXPECT_EQ(w->m_unit_options.stack_cover, unit_options().stack_cover)
        << "a cover of 1 would stack nothing: not a value it can take";
    EXPECT_TRUE(w->m_unit_options.best_parent);
}

// Make units runs the core pass with the window's rules: the same tables as
// the pass run on the same data outside the window; with a ratio no overlap
// passes, nothing is linked, and K adds nothing either.
TEST_F(UnitSettingsTest, MakeUnitsAndKFollowTheRules)
{
    unit_options o;
    o.link_ratio = 0.75;
    o.best_parent = true;
    w->m_unit_options = o;
    ::testing::internal::CaptureStdout();
    w->makeUnits();
    ::testing::internal::GetCapturedStdout();

    roidb_plus db("obj");
    ASSERT_TRUE(db.load(path("obj.roi")));
    q_roiimgdb rasters;
    lineage::key_multimap head_members, linkage;
    lineage::key_map members_head;
    lineage::key_set elite;
    lineage::tables u{head_members, members_head, linkage, elite};
    const lineage::key_set removed;
    unit_maker maker(db, rasters, removed, 0, 55, o);
    for (int t = 0; t <= 2; ++t)
        maker.make_units(t, u, nullptr);
    for (int t = 1; t <= 2; ++t)
        maker.link_time_point(t, u);
    EXPECT_EQ(w->m_head_members, head_members);
    EXPECT_EQ(w->m_linkage_multimap, linkage);
    // A drifts 2 of its 8 columns a time point (48 of 64 pixels shared: not
    // more than 0.75); B stays (all shared); of B's daughters one shares 30
    // of its 50 pixels, the other all.
    EXPECT_EQ(w->m_linkage_multimap.size(), 2u);
    EXPECT_TRUE(w->parents(k(12, 10, 2, 1)).empty());

    w->m_unit_options.link_ratio = 0.7;
    w->setCurrentTimePoint(1);
    key(Qt::Key_K);
    EXPECT_EQ(w->parents(k(12, 10, 2, 1)), std::set<std::string>{k(10, 10, 2, 0)})
        << "K links with the rules as they are now";
}

// Make units with the rules is one step of the history, like the plain
// pass: undo leaves the tables as they were before it (here: empty), redo
// brings back every unit, member and link, attached caps included.
TEST_F(UnitSettingsTest, MakeUnitsWithTheRulesIsOneUndoableStep)
{
    w->m_unit_options = unit_options::recommended();
    const size_t steps = w->undoStack()->count();
    ::testing::internal::CaptureStdout();
    w->makeUnits();
    ::testing::internal::GetCapturedStdout();
    ASSERT_EQ(w->undoStack()->count(), steps + 1);
    const auto heads = w->m_head_members;
    const auto own = w->m_members_head;
    const auto links = w->m_linkage_multimap;
    ASSERT_FALSE(heads.empty());
    ASSERT_FALSE(links.empty());

    w->undoStack()->undo();
    EXPECT_TRUE(w->m_head_members.empty());
    EXPECT_TRUE(w->m_members_head.empty());
    EXPECT_TRUE(w->m_linkage_multimap.empty());
    w->undoStack()->redo();
    EXPECT_EQ(w->m_head_members, heads);
    EXPECT_EQ(w->m_members_head, own);
    EXPECT_EQ(w->m_linkage_multimap, links);
}

// For each set of rules, the window's Make units written as a lineage file
// and oxelunits on the same ROI file give the same bytes.
TEST_F(UnitSettingsTest, OxelunitsWritesTheLineageFileOfTheWindowsMakeUnits)
{
    // A loose cap under A at t = 1 (16 pixels, a quarter of A's member above
    // it) and a ROI touching B at t = 0 (3 pixels) make the rules matter.
    std::string text = slurp(path("obj.roi"));
    text += rect_line(13, 12, 4, 4, 1, 1);
    text += rect_line(49, 40, 6, 3, 3, 0);
    write("obj.roi", text);

    unit_options ratio;
    ratio.link_ratio = 0.7;
    unit_options caps;
    caps.attach_caps = true;
    caps.cap_cover = 0.4;
    const std::vector<std::pair<std::vector<std::string>, unit_options>> cases = {
        {{}, unit_options()},
        {{"--link-ratio", "0.7"}, ratio},
        {{"--attach-caps", "0.4"}, caps},
        {{"--recommended"}, unit_options::recommended()}};
    std::set<std::string> files;
    for (const auto &[flags, options] : cases) {
        open_window();
        read_rois("obj.roi");
        ASSERT_NE(w->m_roidb, nullptr);
        w->m_unit_options = options;
        ::testing::internal::CaptureStdout();
        w->makeUnits();
        ::testing::internal::GetCapturedStdout();
        std::ostringstream err;
        ASSERT_TRUE(lineage_file::write(path("window.lineage"), w->m_roidb->name(),
                                        w->m_head_members, w->m_linkage_multimap,
                                        w->m_elite_head_roi_set, lineage::key_set(), err))
            << err.str();

        std::vector<std::string> args{path("obj.roi"), path("tool.lineage")};
        args.insert(args.end(), flags.begin(), flags.end());
        const auto r = testsupport::run_program(OXELUNITS, args);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::string window_file = slurp(path("window.lineage"));
        EXPECT_EQ(slurp(path("tool.lineage")), window_file) << options.describe();
        files.insert(window_file);
    }
    EXPECT_EQ(files.size(), cases.size()) << "each rule changes this dataset's lineage";
}
