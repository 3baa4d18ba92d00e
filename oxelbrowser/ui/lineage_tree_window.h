// The "Lineage" window: the whole lineage as a tree beside the main window,
// brought up to date after every edit and linked both ways to the picture.
#pragma once

#include "lineage_tree.h"

#include <QColor>
#include <QTimer>
#include <QWidget>

#include <functional> // std::function
#include <string>
#include <vector>

class LineageTreeView;
class QKeyEvent;
class QLabel;

class LineageTreeWindow : public QWidget
{
    Q_OBJECT

public:
    // What the tree shows: the main window's own tables, read when it updates.
    struct source {
        const lineage::key_multimap *head_members;
        const lineage::key_multimap *linkage;
        const lineage::key_set *elite;
        const lineage::key_set *root; // the lineage root: empty or one head
        const int *t_min, *t_max, *time_point;
        const QColor *colours; // the colour table, 128 entries
    };

    LineageTreeWindow(const source &s, QWidget *parent);
    ~LineageTreeWindow() override;

    // Units, links or elite marks changed. The tree follows once the events of
    // the edit have run (one update for edits that come together), and not
    // while a long operation runs; a hidden tree follows when it is shown.
    void lineageChanged();
    // Brings the tree up to date now, reading all units and links.
    void refresh();
    // The same reading only the time points around the one in view, where
    // edits are made; a full reading follows once the user pauses.
    void refreshNear();
    // Follows the main window's time point and lineage root (cheap; called
    // whenever the main window repaints).
    void follow();
    // Marks a unit and scrolls it into view.
    void highlight(const std::string &head);
    std::string highlightedHead() const { return m_highlight_head; }
    // Asks for a file name, then writes the tree as SVG or PNG.
    void exportAs(bool svg);

    const lineage::tree_layout &layout() const { return m_layout; }
    const std::vector<unsigned char> &states() const { return m_states; }
    LineageTreeView *view() const { return m_view; }
    const lineage::tree_update &lastUpdate() const { return m_last_update; }
    bool stale() const { return m_stale; }
    int updates() const { return m_updates; }

    std::function<void(const std::string &head)> unitClicked;
    std::function<bool()> busy;
    // Keys the tree does not use go on to the main window.
    std::function<void(QKeyEvent *)> passKey;
    // A file name to export to, or an empty one when the user declines.
    std::function<QString(const QString &caption, const QString &filter, const char *extension)>
        askExportName;

protected:
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;

private:
    void updateStates();
    void showCounts();
    void report();

    source m_source;
    lineage::tree_layout m_layout;
    std::vector<unsigned char> m_states;
    lineage::tree_update m_last_update;
    LineageTreeView *m_view;
    QLabel *m_counts;
    void show_update();

    QTimer m_timer;
    QTimer m_check; // the full reading after updates near the time point in view
    bool m_stale = true;
    bool m_show_pending = false; // the highlighted unit to be shown once the tree is up to date
    int m_updates = 0;
    std::string m_root_seen;
    std::string m_highlight_head;
    std::string m_reported;
};
