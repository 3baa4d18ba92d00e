// A window on its own temporary dataset: image root, outline files and ROI
// files in one folder, dialogs answered by the test.
#pragma once

#include "OXELBrowser.h"
#include "file_chooser.h"

#include <QDir>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <memory>
#include <string>
#include <vector>

inline std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Answers the file dialogs with prepared names and records what was asked.
class ScriptedChooser : public FileChooser {
public:
    QString open_answer, save_answer;
    bool overwrite = false;
    std::vector<QString> asked; // captions, in order
    QString last_start, last_filter, last_object, last_question;

    QString openFileName(QWidget *, const QString &caption, const QString &start,
                         const QString &filter, const QString &objectName) override
    {
        record(caption, start, filter, objectName);
        return open_answer;
    }
    QString saveFileName(QWidget *, const QString &caption, const QString &start,
                         const QString &filter, const QString &objectName) override
    {
        record(caption, start, filter, objectName);
        return save_answer;
    }
    bool confirm(QWidget *, const QString &caption, const QString &text, const QString &,
                 const QString &) override
    {
        asked.push_back(caption);
        last_question = text;
        return overwrite;
    }
    unsaved_answer askUnsaved(QWidget *, const QString &caption, const QString &text) override
    {
        asked.push_back(caption);
        last_question = text;
        return unsaved;
    }
    unsaved_answer unsaved = unsaved_answer::discard;

private:
    void record(const QString &caption, const QString &start, const QString &filter,
                const QString &object)
    {
        asked.push_back(caption);
        last_start = start;
        last_filter = filter;
        last_object = object;
    }
};

class WindowTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::unique_ptr<OXELBrowser> w;
    ScriptedChooser *chooser = nullptr;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // No colour file unless a test writes one; images and outline files here.
        setenv("HOME", path("home").c_str(), 1);
        unsetenv("XDG_STATE_HOME"); // records of unsaved work under HOME too
        QDir().mkpath(QString::fromStdString(path("home")));
        setenv("OXELBROWSER_IMAGE_ROOT", path("image").c_str(), 1);
        setenv("OXELBROWSER_LNK_BASE", path("LNK_").c_str(), 1);
        setenv("PWD", dir.path().toLocal8Bit().constData(), 1);
        // Settings (the unit rules, the tree's place) stay in this test's folder.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(path("config")));
        open_window();
    }

    void open_window()
    {
        w = std::make_unique<OXELBrowser>();
        auto scripted = std::make_unique<ScriptedChooser>();
        chooser = scripted.get();
        w->setFileChooser(std::move(scripted));
        w->show();
    }

    std::string path(const std::string &name) const
    {
        return dir.path().toStdString() + "/" + name;
    }

    void write(const std::string &name, const std::string &text) const
    {
        QDir().mkpath(QString::fromStdString(path(name)).section('/', 0, -2));
        std::ofstream(path(name)) << text;
    }

    // A grey image of the dataset at (t, z), size x size unless a height is given.
    void write_image(const std::string &dataset, int t, int z, int grey = 60, int size = 64,
                     int height = 0) const
    {
        QImage img(size, height > 0 ? height : size, QImage::Format_Grayscale8);
        img.fill(grey);
        char name[32];
        std::snprintf(name, sizeof name, "/%03d-%03d.jpg", t, z);
        QDir().mkpath(QString::fromStdString(path("image/" + dataset)));
        ASSERT_TRUE(img.save(QString::fromStdString(path("image/" + dataset) + name), "JPEG", 100));
    }

    // Reads a ROI file through the "Read ROIs" command.
    void read_rois(const std::string &name)
    {
        chooser->open_answer = QString::fromStdString(path(name));
        w->pushButton_read_roifile_clicked();
    }

    QColor canvas_pixel(int x, int y) const { return w->canvasPixmap().toImage().pixelColor(x, y); }
};
