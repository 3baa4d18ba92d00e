// "Export…": the curation written as a folder of the interchange format.
#include "OXELBrowser.h"
#include "ctc_export.h"
#include "roidb_plus.h"
#include "ui_oxelbrowser.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>

#include <iostream>

// Whether a folder already holds what an export writes.
static bool holds_export(const QString &name)
{
    const QDir dir(name);
    return QFileInfo(name).isDir() &&
           (dir.exists("res_track.txt") || !dir.entryList({"mask*.tif"}, QDir::Files).isEmpty());
}

void OXELBrowser::exportCuration()
{
    if (!m_roidb) {
        std::cerr << "Export: no dataset is open" << std::endl;
        return;
    }
    if (m_busy) {
        beginBusy(); // says why nothing happens
        return;
    }
    ui->pushButton_export->setEnabled(false);
    const QString name =
        m_chooser->saveFileName(this, tr("Choose a folder to export to"), startName("_RES"),
                                tr("folder (*)"), "export folder dialog");
    if (!name.isEmpty() && m_roidb &&
        (!holds_export(name) ||
         m_chooser->confirm(
             this, tr("Replace Export? -- OXELBrowser"),
             tr("A folder called %1 already holds an export. Do you want to replace it?").arg(name),
             tr("&Yes"), tr("&No"))) &&
        beginBusy()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const QString what = tr("Export to %1...").arg(name);
        ctc::export_summary summary;
        bool written = false;
        {
            // Cancel (or Stop) leaves the folder as it was.
            progress_scope progress(*this, what, 0);
            ctc::export_options options;
            options.image_root = imageRoot().toStdString();
            options.keep_going = [this, &progress](size_t done, size_t total) {
                progress.step(static_cast<long long>(done), static_cast<long long>(total));
                letEventsRunNow(false);
                return !m_stop_requested;
            };
            written = m_roidb && ctc::export_folder(*m_roidb, m_members_head, m_linkage_multimap,
                                                    m_removed_roi_set, m_dataset.toStdString(),
                                                    name.toStdString(), options, std::cout,
                                                    std::cerr, &summary);
        }
        if (!written && m_stop_requested)
            std::cerr << "Export stopped: nothing was written to " << name.toStdString()
                      << std::endl;
        else if (written && statusText() == what)
            // Warnings of the export stay on the line.
            showStatus(tr("Export: %1 object(s) in %2 track(s) written to %3")
                           .arg(summary.units + summary.lone_rois)
                           .arg(summary.tracks)
                           .arg(name));
        QApplication::restoreOverrideCursor();
        endBusy();
    }
    ui->pushButton_export->setEnabled(true);
}
