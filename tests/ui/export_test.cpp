// "Export…" on the File page: the dialog through the seam, the folder it
// writes, and the question before an earlier export is replaced.
#include "keygen.h"
#include "window_fixture.h"

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

TEST_F(WindowTest, ExportWithoutADatasetAsksNothing)
{
    QPushButton *export_button = w->findChild<QPushButton *>("pushButton_export");
    ASSERT_NE(export_button, nullptr);
    export_button->click();
    EXPECT_TRUE(chooser->asked.empty());
}
