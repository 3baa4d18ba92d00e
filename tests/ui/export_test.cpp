// "Export…" on the File page: the dialog through the seam, the folder it
// writes, and the question before an earlier export is replaced.
#include "keygen.h"
#include "window_fixture.h"

#include <QDir>
#include <QProgressBar>
#include <QPushButton>

// Two units linked across time points 0 and 1, a ROI marked false positive.
class ExportTest : public WindowTest
{
protected:
    std::string a, b, fp;

    void SetUp() override
    {
        WindowTest::SetUp();
        write("x.roi", "x\n5 5 0 0 22330011\n5 6 1 0 22330011\n20 20 0 0 2301\n6 5 0 1 22330011\n");
        for (int t = 0; t <= 1; ++t)
            for (int z : {0, 1})
                write_image("x", t, z, 20, 48);
        read_rois("x.roi");
        ASSERT_NE(w->m_roidb, nullptr);
        w->setMaxFocalPlane(1);
        a = keygen(pos4i(5, 5, 0, 0));
        b = keygen(pos4i(6, 5, 0, 1));
        fp = keygen(pos4i(20, 20, 0, 0));
        for (const std::string &m : {a, keygen(pos4i(5, 6, 1, 0))}) {
            w->m_head_members.emplace(a, m);
            w->m_members_head[m] = a;
        }
        w->m_head_members.emplace(b, b);
        w->m_members_head[b] = b;
        w->m_linkage_multimap.emplace(b, a);
        w->m_removed_roi_set.insert(fp);
    }

    QPushButton *button() { return w->findChild<QPushButton *>("pushButton_export"); }
};

TEST_F(ExportTest, TheButtonWritesTheFolderWithoutTheFalsePositives)
{
    ASSERT_NE(button(), nullptr);
    EXPECT_EQ(button()->text(), QString::fromUtf8("Export…"));
    EXPECT_EQ(button()->parentWidget(), w->file) << "on the File page";
    chooser->save_answer = QString::fromStdString(path("x_RES"));
    button()->click();
    EXPECT_EQ(chooser->asked.back(), "Choose a folder to export to");
    EXPECT_EQ(chooser->last_start, dir.path() + "/x_RES");
    EXPECT_EQ(chooser->last_object, "export folder dialog");
    EXPECT_EQ(slurp(path("x_RES/res_track.txt")), "1 0 1 0\n") << "one track; no false positive";
    EXPECT_TRUE(QFile::exists(QString::fromStdString(path("x_RES/mask001.tif"))));
    EXPECT_TRUE(button()->isEnabled());
    EXPECT_FALSE(w->busy());
}

TEST_F(ExportTest, CancellingTheDialogWritesNothing)
{
    chooser->save_answer.clear();
    button()->click();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path("x_RES"))));
    EXPECT_TRUE(button()->isEnabled());
}

TEST_F(ExportTest, AnEarlierExportIsReplacedOnlyWhenTheUserSaysSo)
{
    write("old/res_track.txt", "7 0 0 0\n");
    chooser->save_answer = QString::fromStdString(path("old"));
    chooser->overwrite = false;
    button()->click();
    EXPECT_EQ(chooser->asked.back(), "Replace Export? -- OXELBrowser");
    EXPECT_EQ(chooser->last_question, "A folder called " + QString::fromStdString(path("old")) +
                                          " already holds an export. Do you want to replace it?");
    EXPECT_EQ(slurp(path("old/res_track.txt")), "7 0 0 0\n");

    chooser->overwrite = true;
    button()->click();
    EXPECT_EQ(slurp(path("old/res_track.txt")), "1 0 1 0\n");
}

// The bar moves a step per page written (two time points of two planes);
// Cancel midway leaves an earlier export byte for byte, adds nothing to its
// folder, and a folder made for the export goes again.
TEST_F(ExportTest, TheBarFollowsThePagesAndCancelLeavesTheFolderAsItWas)
{
    auto *bar = w->findChild<QProgressBar *>("progressBar_operation");
    auto *cancel = w->findChild<QPushButton *>("pushButton_cancel");
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(cancel, nullptr);
    std::vector<int> values;
    bool shown = true, busy = true;
    int cancel_at = 0; // no Cancel
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
        if (value <= 0)
            return; // the bar made ready before it shows
        shown = shown && bar->isVisible() && cancel->isVisible() && bar->maximum() == 1000;
        busy = busy && w->busy();
        values.push_back(value);
        if (cancel_at > 0 && value >= cancel_at)
            cancel->click();
    });
    const std::string out_dir = path("x_RES");
    chooser->save_answer = QString::fromStdString(out_dir);
    button()->click();
    EXPECT_EQ(values, (std::vector<int>{250, 500, 750, 1000}));
    EXPECT_TRUE(shown) << "the bar and Cancel show while the folder is written";
    EXPECT_TRUE(busy);
    EXPECT_FALSE(bar->isVisible());
    EXPECT_EQ(w->statusText(),
              "Export: 2 object(s) in 1 track(s) written to " + QString::fromStdString(out_dir));
    const QDir folder(QString::fromStdString(out_dir));
    const QStringList names =
        folder.entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot);
    std::vector<std::string> bytes;
    for (const QString &n : names)
        bytes.push_back(slurp(out_dir + "/" + n.toStdString()));

    // With the false positive back in, every file would change.
    w->m_removed_roi_set.clear();
    chooser->overwrite = true;
    cancel_at = 500;
    values.clear();
    ::testing::internal::CaptureStderr();
    button()->click();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(values, (std::vector<int>{250, 500}));
    EXPECT_EQ(err, "Export stopped: nothing was written to " + out_dir + "\n");
    EXPECT_EQ(w->statusText().toStdString(), "Export stopped: nothing was written to " + out_dir);
    EXPECT_EQ(folder.entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot), names);
    for (int i = 0; i < names.size(); ++i)
        EXPECT_EQ(slurp(out_dir + "/" + names[i].toStdString()), bytes[i])
            << names[i].toStdString();
    EXPECT_FALSE(bar->isVisible());
    EXPECT_FALSE(w->busy());
    EXPECT_TRUE(button()->isEnabled());

    chooser->save_answer = QString::fromStdString(path("fresh_RES"));
    ::testing::internal::CaptureStderr();
    button()->click();
    err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Export stopped"), std::string::npos) << err;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path("fresh_RES"))));

    cancel_at = 0;
    button()->click();
    EXPECT_EQ(w->statusText(), "Export: 3 object(s) in 2 track(s) written to " +
                                   QString::fromStdString(path("fresh_RES")))
        << "a Cancel is not left over for the next export";
}

TEST_F(WindowTest, ExportWithoutADatasetAsksNothing)
{
    QPushButton *export_button = w->findChild<QPushButton *>("pushButton_export");
    ASSERT_NE(export_button, nullptr);
    export_button->click();
    EXPECT_TRUE(chooser->asked.empty());
}
