// "Read ROIs" and "Save ROIs": the whole database as a ROI file.
#include "ImageDB.h"
#include "OXELBrowser.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>

#include <cstdlib> // std::getenv
#include <iostream>

QString OXELBrowser::startName(const char *extension) const
{
    const char *pwd = std::getenv("PWD");
    const QString dir = pwd && *pwd ? QString::fromLocal8Bit(pwd) : QDir::currentPath();
    return dir + "/" + m_dataset + extension;
}

void OXELBrowser::pushButton_save_roifile_clicked()
{
    if (!m_roidb) {
        std::cerr << "Save ROIs: no dataset is open" << std::endl;
        return;
    }
    pushButton_save_roifile->setEnabled(false);
    const QString name = m_chooser->saveFileName(this, tr("Choose a filename to save under"),
                                                 startName(".roi"),
                                                 tr("roi file (*.roi)"), "save file dialog");
    if (name.isEmpty() || !m_roidb) {
        pushButton_save_roifile->setEnabled(true);
        return;
    }
    if (QFile::exists(name) &&
        !m_chooser->confirm(this, tr("Overwrite File? -- OXELBrowser"),
                            tr("A file called %1 already exists. Do you want to overwrite it?").arg(name),
                            tr("&Yes"), tr("&No"))) {
        pushButton_save_roifile->setEnabled(true);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (m_roidb)
        m_roidb->write(name.toStdString());
    QApplication::restoreOverrideCursor();
    pushButton_save_roifile->setEnabled(true);
}

void OXELBrowser::pushButton_read_roifile_clicked()
{
    if (m_busy) {
        beginBusy(); // says why nothing happens
        return;
    }
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

void OXELBrowser::readRoiFile(const QString &name)
{
    if (!beginBusy())
        return;
    if (!QFile::exists(name)) {
        std::cerr << "No such file or directory: " << name.toStdString() << std::endl;
    } else {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        close_common();
        m_roidb = new roidb_plus("");
        m_roidb->read_plus(name.toStdString());
        const std::string dataset = m_roidb->name();
        setDataset(dataset);
        build_imgdb();
        m_img_base = QString::fromStdString(make_img_base(dataset));
        build_q_roiimgdb();
        read_common();
        QApplication::restoreOverrideCursor();
    }
    // With no database open (a missing file before any read) the range stays.
    if (m_roidb) {
        setMaxTimePoint(m_roidb->t_max());
        setMinTimePoint(m_roidb->t_min());
    }
    endBusy();
    dirty = true;
    repaintNow();
    letEventsRun();
}
