// The lineage tree window's ties to the main window: opening and closing it,
// telling it about edits, following the picture both ways, and the keys that
// walk the lineage from its root.
#include "OXELBrowser.h"
#include "keygen.h"
#include "lineage_tree_window.h"

#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QKeyEvent>
#include <QMouseEvent>

#include <algorithm> // std::clamp
#include <cstdlib>   // std::getenv
#include <iostream>

namespace
{

// Watches the main window for the tree: each repaint (after every change of
// time point, lineage root or selection), and a left click, to find out
// whether it selected a ROI of a unit.
class BrowserWatcher : public QObject
{
public:
    BrowserWatcher(OXELBrowser &browser, LineageTreeWindow &tree)
        : QObject(&tree), m_browser(browser), m_tree(tree)
    {
        const char *r = std::getenv("OXELBROWSER_TREE_REPORT");
        m_report = r && *r;
    }

    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (watched != &m_browser)
            return false;
        if (e->type() == QEvent::MouseButtonPress) {
            const auto *m = static_cast<QMouseEvent *>(e);
            m_clicked.clear();
            if (m->button() == Qt::LeftButton && m_tree.isVisible()) {
                QPoint p;
                if (m_browser.imagePoint(m->position(), p))
                    m_clicked = m_browser.xyROI(p.x(), p.y());
                m_was_selected = !m_clicked.empty() && m_browser.isSelected(m_clicked);
            }
        } else if (e->type() == QEvent::Paint) {
            follow();
        }
        return false;
    }

private:
    void follow()
    {
        m_tree.follow();
        if (!m_clicked.empty()) {
            const std::string key = m_clicked;
            m_clicked.clear();
            const std::string h = m_browser.head(key);
            if (!m_was_selected && m_browser.isSelected(key) && h != "N/A")
                m_tree.highlight(h);
        }
        if (m_report) {
            const std::string root = m_browser.m_lineage_mode_roi_set.empty()
                                         ? std::string("none")
                                         : *m_browser.m_lineage_mode_roi_set.begin();
            const std::string line = "browser: t=" + std::to_string(m_browser.m_time_point) +
                                     " z=" + std::to_string(m_browser.m_focal_plane) +
                                     " root=" + root;
            if (line != m_reported) {
                m_reported = line;
                std::cout << line << std::endl;
            }
        }
    }

    OXELBrowser &m_browser;
    LineageTreeWindow &m_tree;
    std::string m_clicked;
    bool m_was_selected = false;
    bool m_report = false;
    std::string m_reported;
};

const char busy_click[] = "Busy: the click is ignored until the running operation has ended";

// A click on a node: the unit becomes the lineage root, as in lineage mode,
// and the picture shows its time point on the plane in view if the unit
// spans it, else on the nearest plane it spans.
void go_to_unit(OXELBrowser &w, const std::string &head)
{
    if (w.busy()) {
        std::cerr << busy_click << std::endl;
        return;
    }
    w.m_lineage_mode_roi_set.clear();
    w.m_lineage_mode_roi_set.insert(head);
    w.setLineageMode(false);
    const int z = std::clamp(w.m_focal_plane, w.z_min(head), w.z_max(head));
    w.setCurrentTimePoint(decode(head).t());
    w.setCurrentFocalPlane(z);
    w.dirty = true;
    w.repaint();
    QCoreApplication::processEvents();
}

// [ the parent, ] the first child, ' the next sister (cycling in key order)
// of the lineage root becomes the root, and the view goes to it as G does.
void walk_lineage(OXELBrowser &w, int key)
{
    if (w.m_lineage_mode_roi_set.empty())
        return;
    if (w.busy()) {
        std::cerr << "Busy: the command is ignored; a running operation has not ended" << std::endl;
        return;
    }
    const std::string root = *w.m_lineage_mode_roi_set.begin();
    std::string next;
    const char *missing = "";
    if (key == Qt::Key_BracketLeft) {
        const std::set<std::string> p = w.parents(root);
        next = p.empty() ? std::string() : *p.begin();
        missing = "No parent of ";
    } else if (key == Qt::Key_BracketRight) {
        const std::set<std::string> c = w.children(root);
        next = c.empty() ? std::string() : *c.begin();
        missing = "No child of ";
    } else {
        const std::set<std::string> p = w.parents(root);
        const std::set<std::string> sisters =
            p.empty() ? std::set<std::string>() : w.children(*p.begin());
        if (sisters.size() > 1) {
            auto it = sisters.upper_bound(root);
            next = it == sisters.end() ? *sisters.begin() : *it;
        }
        missing = "No sister of ";
    }
    if (next.empty()) {
        std::cerr << missing << root << std::endl;
        return;
    }
    w.m_lineage_mode_roi_set.clear();
    w.m_lineage_mode_roi_set.insert(next);
    w.view(next);
}

} // namespace

LineageTreeWindow *OXELBrowser::lineageTree()
{
    if (m_tree)
        return m_tree;
    LineageTreeWindow::source s{
        &m_head_members,   &m_linkage_multimap, &m_elite_head_roi_set, &m_lineage_mode_roi_set,
        &m_min_time_point, &m_max_time_point,   &m_time_point,         color};
    m_tree = new LineageTreeWindow(s, this);
    m_tree->unitClicked = [this](const std::string &head) { go_to_unit(*this, head); };
    m_tree->busy = [this] { return m_busy; };
    m_tree->passKey = [this](QKeyEvent *e) {
        QKeyEvent copy(e->type(), e->key(), e->modifiers(), e->text());
        QCoreApplication::sendEvent(this, &copy);
    };
    m_tree->askExportName = [this](const QString &caption, const QString &filter,
                                   const char *extension) {
        const QString name = m_chooser->saveFileName(m_tree, caption, startName(extension), filter,
                                                     "export file dialog");
        if (name.isEmpty())
            return QString();
        if (QFile::exists(name) &&
            !m_chooser->confirm(
                m_tree, tr("Overwrite File? -- OXELBrowser"),
                tr("A file called %1 already exists. Do you want to overwrite it?").arg(name),
                tr("&Yes"), tr("&No")))
            return QString();
        return name;
    };
    installEventFilter(new BrowserWatcher(*this, *m_tree));
    return m_tree;
}

void OXELBrowser::toggleLineageTree()
{
    LineageTreeWindow *tree = lineageTree();
    if (tree->isVisible()) {
        tree->hide();
    } else {
        tree->show();
        tree->raise();
    }
}

void OXELBrowser::lineageChanged()
{
    ++m_lineage_generation;
    if (m_tree)
        m_tree->lineageChanged();
}

bool OXELBrowser::lineageTreeKey(int key)
{
    switch (key) {
    case Qt::Key_V:
        toggleLineageTree();
        return true;
    case Qt::Key_BracketLeft:
    case Qt::Key_BracketRight:
    case Qt::Key_Apostrophe:
        walk_lineage(*this, key);
        return true;
    default:
        return false;
    }
}
