// Undo and redo: every change of the ROIs, the false-positive marks and the
// lineage is recorded as it happens, and each user action becomes one command
// of the undo history holding only what it changed.
#include "OXELBrowser.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"
#include "ui_oxelbrowser.h"

#include <QLabel>
#include <QStringList>
#include <QUndoCommand>
#include <QUndoStack>

#include <algorithm> // std::min, std::max
#include <iostream>

// One user action: its changes, applied again by redo and taken back by undo.
class EditCommand : public QUndoCommand {
public:
    EditCommand(OXELBrowser &w, const QString &name, std::vector<change> changes)
        : QUndoCommand(name), _w(w), _changes(std::move(changes)), _parts(parts_of(_changes)),
          _bytes(bytes_of(_changes))
    {
    }
    // The changes are in place when the command is pushed.
    void redo() override
    {
        if (_first) {
            _first = false;
            return;
        }
        if (!_w.m_rebuilding_history)
            _w.applyEdit(_changes, true);
    }
    void undo() override
    {
        if (!_w.m_rebuilding_history)
            _w.applyEdit(_changes, false);
    }
    unsigned parts() const { return _parts; }
    size_t bytes() const { return _bytes; }
    std::vector<change> take() { return std::move(_changes); }
    const std::vector<change> &changes() const { return _changes; }

private:
    OXELBrowser &_w;
    std::vector<change> _changes;
    unsigned _parts;
    size_t _bytes;
    bool _first = true;
};

namespace {

int part_index(unsigned part)
{
    return part == part_rois ? 0 : part == part_fp ? 1 : 2;
}

const EditCommand *command_at(const QUndoStack *stack, int i)
{
    return static_cast<const EditCommand *>(stack->command(i));
}

} // namespace

OXELBrowser::EditScope::EditScope(OXELBrowser &w, const char *name) : _w(w)
{
    if (_w.m_edit_depth++ == 0) {
        _w.m_units.log = &_w.m_edit_log;
        _w.m_edit_name = tr(name);
    }
}

OXELBrowser::EditScope::~EditScope()
{
    if (--_w.m_edit_depth == 0) {
        _w.m_units.log = nullptr;
        _w.finishEdit();
    }
}

curation::state OXELBrowser::curatedState()
{
    return curation::state{*m_roidb, m_q_roiimgdb, m_removed_roi_set, m_units,
                           m_dismissed_units};
}

void OXELBrowser::finishEdit()
{
    if (m_edit_log.empty())
        return;
    std::vector<change> changes = m_edit_log.take();
    if (!m_undo || !m_roidb)
        return;
    // A state reachable only through the steps a new command replaces is gone.
    for (int p = 0; p < 3; ++p)
        if (m_saved_index[p] > m_undo->index())
            m_saved_valid[p] = false;
    journal(changes);
    auto *command = new EditCommand(*this, m_edit_name, std::move(changes));
    m_undo_bytes += command->bytes();
    // What the pushed command replaces is gone with it.
    for (int i = m_undo->index(); i < m_undo->count(); ++i)
        m_undo_bytes -= command_at(m_undo, i)->bytes();
    m_undo->push(command);
    trimUndoHistory();
    showUnsaved();
}

void OXELBrowser::applyEdit(const std::vector<change> &changes, bool forward)
{
    if (!m_roidb)
        return;
    curation::state s = curatedState();
    curation::apply(s, changes, forward);
    lineageChanged();
    dirty = true;
    repaintNow();
}

void OXELBrowser::undo()
{
    if (!m_undo || refusedAsBusy())
        return;
    if (!m_undo->canUndo()) {
        std::cerr << "Undo: nothing to undo" << std::endl;
        return;
    }
    std::cout << "Undo: " << m_undo->undoText().toStdString() << std::endl;
    if (m_recovery) {
        // The record takes the step back as changes forward.
        const std::vector<change> &done = command_at(m_undo, m_undo->index() - 1)->changes();
        std::vector<change> back;
        back.reserve(done.size());
        for (auto it = done.rbegin(); it != done.rend(); ++it)
            back.push_back(it->inverse());
        journal(back);
    }
    m_undo->undo();
    showUnsaved();
}

void OXELBrowser::redo()
{
    if (!m_undo || refusedAsBusy())
        return;
    if (!m_undo->canRedo()) {
        std::cerr << "Redo: nothing to redo" << std::endl;
        return;
    }
    std::cout << "Redo: " << m_undo->redoText().toStdString() << std::endl;
    journal(command_at(m_undo, m_undo->index())->changes());
    m_undo->redo();
    showUnsaved();
}

// The oldest steps (already done ones only) go until the history fits its
// limit. The stack cannot drop its bottom, so it is made again from the
// steps that stay, without applying them.
void OXELBrowser::trimUndoHistory()
{
    if (m_undo_bytes <= m_undo_limit)
        return;
    const int count = m_undo->count(), index = m_undo->index();
    int drop = 0;
    size_t bytes = m_undo_bytes;
    while (drop < index - 1 && bytes > m_undo_limit)
        bytes -= command_at(m_undo, drop++)->bytes();
    if (drop == 0)
        return;
    std::vector<std::pair<QString, std::vector<change>>> kept;
    for (int i = drop; i < count; ++i) {
        auto *c = const_cast<EditCommand *>(command_at(m_undo, i));
        kept.emplace_back(c->text(), c->take());
    }
    m_rebuilding_history = true;
    m_undo->clear();
    for (auto &[name, changes] : kept)
        m_undo->push(new EditCommand(*this, name, std::move(changes)));
    m_undo->setIndex(index - drop);
    m_rebuilding_history = false;
    for (int p = 0; p < 3; ++p) {
        m_saved_index[p] -= drop;
        if (m_saved_index[p] < 0)
            m_saved_valid[p] = false;
    }
    m_undo_bytes = bytes;
    if (!m_undo_dropped)
        std::cerr << "Undo: the oldest steps were dropped to keep the history within "
                  << (m_undo_limit >> 20) << " MiB" << std::endl;
    m_undo_dropped = true;
}

bool OXELBrowser::unsaved(unsigned parts) const
{
    if (!m_undo)
        return false;
    for (unsigned part : {part_rois, part_fp, part_lineage}) {
        if (!(parts & part))
            continue;
        const int p = part_index(part);
        if (!m_saved_valid[p])
            return true;
        const int from = std::min(m_saved_index[p], m_undo->index());
        const int to = std::max(m_saved_index[p], m_undo->index());
        for (int i = from; i < to; ++i)
            if (command_at(m_undo, i)->parts() & part)
                return true;
    }
    return false;
}

void OXELBrowser::markSaved(unsigned parts)
{
    for (unsigned part : {part_rois, part_fp, part_lineage})
        if (parts & part) {
            m_saved_index[part_index(part)] = m_undo ? m_undo->index() : 0;
            m_saved_valid[part_index(part)] = true;
        }
    showUnsaved();
}

void OXELBrowser::clearUndoHistory()
{
    if (m_undo)
        m_undo->clear();
    m_undo_bytes = 0;
    m_undo_dropped = false;
    for (int p = 0; p < 3; ++p) {
        m_saved_index[p] = 0;
        m_saved_valid[p] = true;
    }
    showUnsaved();
}

QStringList OXELBrowser::unsavedParts() const
{
    QStringList parts;
    if (unsaved(part_rois))
        parts << tr("ROIs");
    if (unsaved(part_fp))
        parts << tr("false positives");
    if (unsaved(part_lineage))
        parts << tr("lineage");
    return parts;
}

void OXELBrowser::showUnsaved()
{
    const QStringList parts = unsavedParts();
    QString text = parts.isEmpty() ? QString() : tr("Unsaved: %1").arg(parts.join(", "));
    if (m_undo_dropped)
        text += (text.isEmpty() ? "" : "; ") + tr("oldest undo steps dropped");
    ui->label_unsaved->setText(text);
}
