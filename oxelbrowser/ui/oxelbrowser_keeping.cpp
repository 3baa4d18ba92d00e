// Keeping the work: "Read Lineage" and "Save Lineage", the question before
// unsaved work would be lost, and the record of unsaved work on disk that a
// crash leaves behind for the next read of the ROI file.
#include "OXELBrowser.h"
#include "lineage_file.h"
#include "recovery.h"
#include "roidb_plus.h"
#include "ui_oxelbrowser.h"

#include <QApplication>
#include <QPushButton>
#include <QStringList>
#include <QUndoStack>

#include <iostream>

// The units of a head-to-members table.
static size_t unit_count(const lineage::key_multimap &head_members)
{
    size_t units = 0;
    for (auto it = head_members.begin(); it != head_members.end();
         it = head_members.upper_bound(it->first))
        ++units;
    return units;
}

void OXELBrowser::readLineageFile()
{
    if (refusedAsBusy())
        return;
    if (!m_roidb) {
        std::cerr << "Read Lineage: no dataset is open" << std::endl;
        return;
    }
    const QString name = m_chooser->openFileName(this, tr("Choose a filename to read"),
                                                 startName(".lineage"),
                                                 tr("lineage file (*.lineage)"),
                                                 "open lineage-file");
    if (name.isEmpty() || !m_roidb || !beginBusy())
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString what = tr("Read Lineage: reading %1...").arg(name);
    lineage_file::contents read;
    lineage_file::read_result got = lineage_file::read_result::missing;
    {
        // The file is read whole before anything changes, so Cancel (or
        // Stop) leaves the lineage, its marks and the undo history as they were.
        progress_scope progress(*this, what, 0);
        const roidb_plus *db = m_roidb;
        got = lineage_file::read(
            name.toStdString(), m_dataset.toStdString(),
            [db](const std::string &key) { return db->stored(key) != nullptr; }, read, std::cerr,
            [this, &progress](size_t done, size_t total) {
                progress.step(static_cast<long long>(done), static_cast<long long>(total));
                letEventsRunNow(false);
                return !m_stop_requested;
            });
    }
    if (got == lineage_file::read_result::stopped)
        std::cerr << "Read Lineage stopped: nothing was changed" << std::endl;
    if (got == lineage_file::read_result::read) {
        {
            // The lineage in memory is replaced as one undoable step.
            const EditScope edit(*this, "Read Lineage");
            std::vector<std::pair<std::string, std::string>> links(m_linkage_multimap.begin(),
                                                                   m_linkage_multimap.end());
            for (const auto &[child, parent] : links)
                lineage::erase_link(m_units, child, parent);
            std::set<std::string> heads;
            for (const auto &entry : m_head_members)
                heads.insert(entry.first);
            for (const std::string &head : std::set<std::string>(m_elite_head_roi_set))
                lineage::set_elite(m_units, head, false);
            for (const std::string &head : heads)
                lineage::erase_unit(m_units, head);
            for (const std::string &head : std::set<std::string>(m_dismissed_units))
                curation::set_mark(m_dismissed_units, m_units.log, head, false,
                                   change::dismiss_add, change::dismiss_remove);

            for (const auto &[head, member] : read.head_members)
                lineage::add_member(m_units, head, member);
            for (const auto &[child, parent] : read.linkage)
                lineage::add_link(m_units, child, parent);
            for (const std::string &head : read.elite)
                lineage::set_elite(m_units, head, true);
            for (const std::string &head : read.dismissed)
                curation::set_mark(m_dismissed_units, m_units.log, head, true,
                                   change::dismiss_add, change::dismiss_remove);
        }
        markSaved(part_lineage);
        lineageChanged();
        // Lines left out of the file stay on the status line.
        if (statusText() == what)
            showStatus(tr("Read Lineage: %1 unit(s), %2 link(s) read from %3")
                           .arg(unit_count(m_head_members))
                           .arg(m_linkage_multimap.size())
                           .arg(name));
        dirty = true;
        repaintNow();
    }
    QApplication::restoreOverrideCursor();
    endBusy();
}

bool OXELBrowser::saveLineageFile()
{
    if (!m_roidb) {
        std::cerr << "Save Lineage: no dataset is open" << std::endl;
        return false;
    }
    ui->pushButton_save_lineage->setEnabled(false);
    const QString name = m_chooser->saveFileName(this, tr("Choose a filename to save under"),
                                                 startName(".lineage"),
                                                 tr("lineage file (*.lineage)"),
                                                 "save lineage-file");
    bool saved = false;
    // Asked to save by a running operation (before it discards the work),
    // the save runs inside it; on its own it keeps edits out while it writes.
    const bool inside = m_busy;
    if (!name.isEmpty() && m_roidb && mayWrite(name) && (inside || beginBusy())) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const QString what = tr("Save Lineage: writing %1...").arg(name);
        {
            // The file is written beside the old one and renamed over it
            // only when complete, so Cancel (or Stop) leaves the old file.
            progress_scope progress(*this, what, 0);
            saved = lineage_file::write(name.toStdString(), m_dataset.toStdString(), m_head_members,
                                        m_linkage_multimap, m_elite_head_roi_set, m_dismissed_units,
                                        std::cerr, [this, &progress](size_t done, size_t total) {
                                            progress.step(static_cast<long long>(done),
                                                          static_cast<long long>(total));
                                            letEventsRunNow(false);
                                            return !m_stop_requested;
                                        });
        }
        if (!saved && m_stop_requested)
            std::cerr << "Save Lineage stopped: " << name.toStdString() << " was not changed"
                      << std::endl;
        QApplication::restoreOverrideCursor();
        if (saved) {
            savedPart(part_lineage);
            if (statusText() == what)
                showStatus(tr("Save Lineage: %1 unit(s), %2 link(s) written to %3")
                               .arg(unit_count(m_head_members))
                               .arg(m_linkage_multimap.size())
                               .arg(name));
        }
        if (!inside)
            endBusy();
    }
    ui->pushButton_save_lineage->setEnabled(true);
    return saved;
}

bool OXELBrowser::keepUnsavedWork(const QString &action)
{
    const QStringList parts = unsavedParts();
    if (parts.isEmpty())
        return true;
    const FileChooser::unsaved_answer answer = m_chooser->askUnsaved(
        this, tr("Unsaved Changes -- OXELBrowser"),
        tr("The %1 of %2 changed since they were last saved. Save them before %3?")
            .arg(parts.join(", "), m_dataset, action));
    switch (answer) {
    case FileChooser::unsaved_answer::cancel:
        std::cerr << action.toStdString() << ": cancelled, nothing was lost" << std::endl;
        return false;
    case FileChooser::unsaved_answer::discard:
        if (m_recovery)
            m_recovery->discard();
        m_recovery.reset();
        return true;
    case FileChooser::unsaved_answer::save:
        break;
    }
    // Each part goes through its own save command; a part left unsaved (its
    // dialog cancelled, its file not written) cancels the whole.
    if (unsaved(part_rois))
        saveRoiFile();
    if (unsaved(part_fp))
        pushButton_save_FP_clicked();
    if (unsaved(part_lineage))
        saveLineageFile();
    if (unsaved(part_rois | part_fp | part_lineage)) {
        std::cerr << action.toStdString() << ": cancelled, the work is not saved" << std::endl;
        return false;
    }
    return true;
}

void OXELBrowser::keepRecord(const std::string &roi_path)
{
    if (m_recovery && m_roi_path != roi_path) {
        m_recovery->discard();
        m_recovery.reset();
    }
    if (!m_recovery)
        m_recovery = std::make_unique<recovery>(roi_path);
    m_roi_path = roi_path;
    if (!m_recovery->rebase(m_dataset.toStdString(), m_removed_roi_set, m_head_members,
                            m_linkage_multimap, m_elite_head_roi_set, m_dismissed_units,
                            std::cerr)) {
        m_recovery.reset();
        return;
    }
    // The base holds the marks and lineage as they are in memory; work not
    // yet in their files is on record as long as the journal is not empty.
    if (unsaved(part_rois | part_fp | part_lineage))
        journal({});
}

void OXELBrowser::savedPart(unsigned part)
{
    markSaved(part);
    if (m_recovery)
        keepRecord(m_roi_path);
}

void OXELBrowser::journal(const std::vector<change> &changes)
{
    if (m_recovery && !m_recovery->append(changes, std::cerr)) {
        std::cerr << "Unsaved work is not kept on disk from now on" << std::endl;
        m_recovery.reset();
    }
}

bool OXELBrowser::recoverRecord(const std::string &roi_path)
{
    recovery::restored got;
    if (!recovery::restore(roi_path, got, std::cerr))
        return false;
    const size_t edits = got.edits;
    openDatabase(std::unique_ptr<roidb_plus>(got.db));
    m_removed_roi_set = std::move(got.fp);
    m_head_members = std::move(got.head_members);
    m_members_head = std::move(got.members_head);
    m_linkage_multimap = std::move(got.linkage);
    m_elite_head_roi_set = std::move(got.elite);
    m_dismissed_units = std::move(got.dismissed);
    // Nothing of it is in the files yet.
    for (bool &valid : m_saved_valid)
        valid = false;
    m_recovery = std::make_unique<recovery>(roi_path);
    m_roi_path = roi_path;
    lineageChanged();
    showUnsaved();
    std::cout << "Recovered " << edits << " edits of unsaved work on " << roi_path << std::endl;
    return true;
}
