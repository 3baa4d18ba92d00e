// "Read ROIs" and "Save ROIs": the whole database as a ROI file.
#include "ImageDB.h"
#include "OXELBrowser.h"
#include "q_roiimgdb.h"
#include "dataset_name.h"
#include "recovery.h"
#include "roidb_plus.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>

#include <algorithm> // std::max
#include <cstdlib> // std::getenv
#include <iostream>

QString OXELBrowser::startName(const char *extension) const
{
    const char *pwd = std::getenv("PWD");
    const QString dir = pwd && *pwd ? QString::fromLocal8Bit(pwd) : QDir::currentPath();
    return dir + "/" + m_dataset + extension;
}

bool OXELBrowser::mayWrite(const QString &name)
{
    return !QFile::exists(name) ||
           m_chooser->confirm(this, tr("Overwrite File? -- OXELBrowser"),
                              tr("A file called %1 already exists. Do you want to overwrite it?").arg(name),
                              tr("&Yes"), tr("&No"));
}

void OXELBrowser::pushButton_save_roifile_clicked()
{
    saveRoiFile();
}

bool OXELBrowser::saveRoiFile()
{
    if (!m_roidb) {
        std::cerr << "Save ROIs: no dataset is open" << std::endl;
        return false;
    }
    pushButton_save_roifile->setEnabled(false);
    const QString name = m_chooser->saveFileName(this, tr("Choose a filename to save under"),
                                                 startName(".roi"),
                                                 tr("roi file (*.roi)"), "save file dialog");
    if (name.isEmpty() || !m_roidb) {
        pushButton_save_roifile->setEnabled(true);
        return false;
    }
    if (!mayWrite(name)) {
        pushButton_save_roifile->setEnabled(true);
        return false;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool saved = m_roidb && m_roidb->save(name.toStdString());
    if (saved) {
        markSaved(part_rois);
        // The record of unsaved work now starts from the file just written.
        keepRecord(name.toStdString());
    }
    QApplication::restoreOverrideCursor();
    pushButton_save_roifile->setEnabled(true);
    return saved;
}

void OXELBrowser::pushButton_read_roifile_clicked()
{
    if (refusedAsBusy())
        return;
    const QString name = m_chooser->openFileName(this, tr("Choose a filename to read"),
                                                 startName(".roi"),
                                                 tr("roi file (*.roi)"), "open file dialog");
    if (name.isEmpty()) {
        dirty = true;
        repaintNow();
        letEventsRun();
        return;
    }
    readRoiFile(name);
}

// The file is read whole into a database of its own first: a file that
// cannot be read, or names no usable dataset, leaves the open dataset (and
// its unsaved edits) as it was.
void OXELBrowser::readRoiFile(const QString &name)
{
    if (!beginBusy())
        return;
    const std::string path = name.toStdString();
    if (!QFile::exists(name)) {
        std::cerr << "No such file or directory: " << path << std::endl;
    } else {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        auto fresh = std::make_unique<roidb_plus>("");
        std::string problem;
        bool read = false;
        {
            // The open dataset stays on view and can be browsed meanwhile;
            // Cancel (or Stop) leaves it as it was.
            progress_scope progress(*this, tr("Reading %1...").arg(name), QFileInfo(name).size());
            read = fresh->load(path, [this, &progress](size_t done, size_t) {
                progress.step(static_cast<long long>(done));
                letEventsRunNow(false);
                return !m_stop_requested;
            });
        }
        if (!read && m_stop_requested)
            std::cerr << "Reading " << path << " stopped; nothing was opened" << std::endl;
        else if (!read)
            std::cerr << "Cannot open " << path << std::endl;
        else if (!(problem = dataset_name_problem(fresh->name())).empty())
            std::cerr << "Cannot open " << path << ": its dataset name \"" << fresh->name()
                      << "\" " << problem << std::endl;
        else if (keepUnsavedWork(tr("Read ROIs")))
            openRead(std::move(fresh), path);
        QApplication::restoreOverrideCursor();
    }
    endBusy();
    dirty = true;
    repaintNow();
    letEventsRun();
}

// Opens a ROI file just read, or the unsaved work on record for it when the
// user would have that back.
void OXELBrowser::openRead(std::unique_ptr<roidb_plus> fresh, const std::string &path)
{
    // What was open is saved or given up by now: its record goes.
    if (m_recovery)
        m_recovery->discard();
    m_recovery.reset();
    m_roi_path.clear();
    if (recovery::holds_work(path)) {
        QApplication::restoreOverrideCursor();
        const bool recover = m_chooser->confirm(
            this, tr("Recover Unsaved Work? -- OXELBrowser"),
            tr("Unsaved work on %1 from an earlier session is on record. Recover it?")
                .arg(QString::fromStdString(path)),
            tr("&Recover"), tr("&Discard"));
        QApplication::setOverrideCursor(Qt::WaitCursor);
        if (recover && recoverRecord(path))
            return;
        if (!recover)
            recovery(path).discard();
    }
    openDatabase(std::move(fresh));
    keepRecord(path);
}

void OXELBrowser::openDatabase(std::unique_ptr<roidb_plus> fresh)
{
    // Nothing is rendered for the positions passed on the way.
    const paint_hold hold(m_paint_held);
    close_common();
    m_roidb = fresh.release();
    const std::string dataset = m_roidb->name();
    setDataset(dataset);
    build_imgdb();
    m_img_base = QString::fromStdString(make_img_base(dataset));
    build_q_roiimgdb();
    // The ranges come first, so that the start position is clamped to them.
    setMaxTimePoint(m_roidb->t_max());
    setMinTimePoint(m_roidb->t_min());
    setMaxFocalPlane(std::max(default_max_focal_plane, m_roidb->z_max()));
    setMinFocalPlane(0);
    read_common();
    // ROIs at negative positions are no plane's, so nothing would show them.
    if (m_roidb->unshown() != 0)
        std::cerr << m_roidb->unshown()
                  << " ROIs lie at negative positions: they are kept and saved, but not shown"
                  << std::endl;
    else
        showStatus(tr("%1: %2 ROIs, time points %3 to %4, planes %5 to %6")
                       .arg(QString::fromStdString(dataset))
                       .arg(m_roidb->count())
                       .arg(m_min_time_point)
                       .arg(m_max_time_point)
                       .arg(m_min_focal_plane)
                       .arg(m_max_focal_plane));
}
