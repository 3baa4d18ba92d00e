// "Read Info" / "Save Info" (the selection) and "Read FP" / "Save FP" (the
// false-positive marks): files of ROI keys for the open dataset.
#include "OXELBrowser.h"
#include "key_files.h"

#include <QPushButton>

#include <iostream>

bool OXELBrowser::saveKeyFile(QPushButton *button, const QString &filter,
                              const QString &objectName, const char *extension,
                              const std::string &tag, const std::set<std::string> &keys)
{
    button->setEnabled(false);
    const QString name = m_chooser->saveFileName(this, tr("Choose a filename to save under"),
                                                 startName(extension), filter, objectName);
    bool saved = false;
    if (!name.isEmpty() && mayWrite(name))
        saved = key_files::write(name.toStdString(), m_dataset.toStdString(), tag, keys, std::cerr);
    button->setEnabled(true);
    return saved;
}

void OXELBrowser::readKeyFile(const QString &filter, const QString &objectName,
                              const char *extension, const std::string &tag,
                              std::set<std::string> &keys)
{
    const QString name = m_chooser->openFileName(this, tr("Choose a filename to read"),
                                                 startName(extension), filter, objectName);
    if (name.isEmpty())
        return;
    // The keys read join the set only once the file is read; false-positive
    // marks read are one undoable edit.
    std::set<std::string> incoming;
    const key_files::read_result got =
        key_files::read(name.toStdString(), m_dataset.toStdString(), tag, incoming, std::cerr);
    if (&keys == &m_removed_roi_set) {
        {
            const EditScope edit(*this, "Read FP");
            for (const std::string &key : incoming)
                curation::set_mark(keys, m_units.log, key, true, change::fp_add,
                                   change::fp_remove);
        }
        // The marks are what the file holds when none were there before.
        if (got == key_files::read_result::read && keys == incoming)
            markSaved(part_fp);
    } else {
        keys.insert(incoming.begin(), incoming.end());
    }
    if (got == key_files::read_result::unreadable)
        return;
    dirty = true;
    repaintNow();
}

void OXELBrowser::pushButton_save_info_clicked()
{
    saveKeyFile(pushButton_save_info, tr("info file (*.info)"), "save info-file", ".info", "SELECT",
                m_selected_roi_set);
}

void OXELBrowser::pushButton_read_info_clicked()
{
    readKeyFile(tr("info file (*.info)"), "open info-file", ".info", "SELECT", m_selected_roi_set);
}

void OXELBrowser::pushButton_save_FP_clicked()
{
    if (saveKeyFile(pushButton_save_FP, tr("fp file (*.fp)"), "save false-positive ROIs file",
                    ".fp", "FP", m_removed_roi_set) &&
        m_roidb)
        savedPart(part_fp);
}

void OXELBrowser::pushButton_read_FP_clicked()
{
    readKeyFile(tr("fp file (*.fp)"), "open fp-file", ".fp", "FP", m_removed_roi_set);
    letEventsRun();
}
