// The "Lineage" window: updates, following the main window, keys, geometry.
#include "lineage_tree_window.h"

#include "lineage_marks.h"
#include "lineage_tree_view.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

#include <cstdlib> // std::getenv
#include <iostream>

namespace
{

// The program's settings; the names main gives the application, if any.
QSettings settings()
{
    const QString org = QCoreApplication::organizationName();
    const QString app = QCoreApplication::applicationName();
    return QSettings(org.isEmpty() ? QStringLiteral("oxelbrowser") : org,
                     app.isEmpty() ? QStringLiteral("oxelbrowser") : app);
}

const char geometry_key[] = "lineageTree/geometry";

} // namespace

LineageTreeWindow::LineageTreeWindow(const source &s, QWidget *parent)
    : QWidget(parent, Qt::Window), m_source(s), m_view(new LineageTreeView(this)),
      m_counts(new QLabel(this))
{
    setObjectName("lineageTree");
    setWindowTitle(tr("Lineage"));
    m_view->setObjectName("lineageTreeView");
    m_view->setColours(m_source.colours);
    m_view->setTree(&m_layout, &m_states);

    auto *fit = new QPushButton(tr("Fit"), this);
    auto *png = new QPushButton(tr("Export PNG..."), this);
    auto *svg = new QPushButton(tr("Export SVG..."), this);
    fit->setObjectName("pushButton_tree_fit");
    png->setObjectName("pushButton_tree_png");
    svg->setObjectName("pushButton_tree_svg");
    fit->setToolTip(tr("Show the whole lineage (Home)"));
    for (QPushButton *b : {fit, png, svg})
        b->setFocusPolicy(Qt::NoFocus);
    connect(fit, &QPushButton::clicked, m_view, &LineageTreeView::fit);
    connect(png, &QPushButton::clicked, this, [this] { exportAs(false); });
    connect(svg, &QPushButton::clicked, this, [this] { exportAs(true); });
    m_counts->setObjectName("label_tree_counts");
    // The counts may be cut short; they never make the window wider.
    m_counts->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    auto *bar = new QHBoxLayout;
    bar->addWidget(fit);
    bar->addWidget(png);
    bar->addWidget(svg);
    bar->addSpacing(12);
    bar->addWidget(m_counts, 1);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->addLayout(bar);
    column->addWidget(m_view, 1);

    m_view->nodeClicked = [this](std::uint32_t node) {
        if (unitClicked && node < m_layout.nodes().size())
            unitClicked(m_layout.nodes()[node].head);
    };
    if (const char *r = std::getenv("OXELBROWSER_TREE_REPORT"); r && *r)
        m_view->painted = [this] { report(); };

    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        // Not while a long operation changes the tables: after it.
        if (busy && busy()) {
            m_timer.start(100);
            return;
        }
        refreshNear();
    });
    m_check.setSingleShot(true);
    m_check.setInterval(1000);
    connect(&m_check, &QTimer::timeout, this, [this] {
        if (busy && busy()) {
            m_check.start();
            return;
        }
        if (isVisible())
            refresh();
        else
            m_stale = true;
    });

    const QByteArray geometry = settings().value(geometry_key).toByteArray();
    if (geometry.isEmpty() || !restoreGeometry(geometry))
        resize(720, 640);
    showCounts();
}

LineageTreeWindow::~LineageTreeWindow() = default;

void LineageTreeWindow::lineageChanged()
{
    m_stale = true;
    if (isVisible() && !m_timer.isActive())
        m_timer.start(0);
}

void LineageTreeWindow::refresh()
{
    m_check.stop();
    m_last_update = m_layout.update(*m_source.head_members, *m_source.linkage, *m_source.t_min,
                                    *m_source.t_max);
    show_update();
}

void LineageTreeWindow::refreshNear()
{
    const int t = *m_source.time_point;
    m_last_update = m_layout.update_near(*m_source.head_members, *m_source.linkage, *m_source.t_min,
                                         *m_source.t_max, t - 1, t + 1);
    // An edit somewhere else that left the tables' sizes as they were would
    // not be seen near the time point: a full reading follows.
    if (m_last_update.near)
        m_check.start();
    else
        m_check.stop();
    show_update();
}

void LineageTreeWindow::show_update()
{
    m_timer.stop();
    m_stale = false;
    ++m_updates;
    m_root_seen = m_source.root->empty() ? std::string() : *m_source.root->begin();
    updateStates();
    m_view->setTree(&m_layout, &m_states);
    m_view->setCurrentTimePoint(*m_source.time_point);
    if (m_last_update.rebuilt)
        m_view->fit();
    // The mark follows its unit to its new node; the view moves to it only if
    // it was asked for while the tree waited for this update.
    const std::uint32_t node =
        m_highlight_head.empty() ? lineage::tree_none : m_layout.find(m_highlight_head);
    m_view->setHighlight(node);
    if (m_show_pending && node != lineage::tree_none)
        m_view->showNode(node);
    m_show_pending = false;
    showCounts();
}

void LineageTreeWindow::updateStates()
{
    const std::string root = m_source.root->empty() ? std::string() : *m_source.root->begin();
    lineage::node_states(m_layout, root, *m_source.elite, m_states);
    m_view->invalidate();
}

void LineageTreeWindow::follow()
{
    if (!isVisible())
        return;
    m_view->setCurrentTimePoint(*m_source.time_point);
    const std::string root = m_source.root->empty() ? std::string() : *m_source.root->begin();
    if (root == m_root_seen)
        return;
    // A root given up takes its mark with it.
    if (root.empty() && m_highlight_head == m_root_seen) {
        m_highlight_head.clear();
        m_view->setHighlight(lineage::tree_none);
    }
    m_root_seen = root;
    if (!root.empty())
        m_highlight_head = root;
    // A tree waiting for an edit's update takes the new root with it.
    if (m_stale) {
        m_show_pending = !root.empty();
        return;
    }
    updateStates();
    if (!root.empty())
        highlight(root);
}

void LineageTreeWindow::highlight(const std::string &head)
{
    m_highlight_head = head;
    if (m_stale) {
        m_show_pending = true;
        return;
    }
    const std::uint32_t node = m_layout.find(head);
    m_view->setHighlight(node);
    if (node != lineage::tree_none)
        m_view->showNode(node);
}

void LineageTreeWindow::showCounts()
{
    std::size_t doubtful = 0, dead_ends = 0, unlinked = 0;
    for (const lineage::tree_node &n : m_layout.nodes()) {
        doubtful += (n.marks & lineage::mark_doubtful) != 0;
        dead_ends += (n.marks & lineage::mark_dead_end) != 0;
        unlinked += (n.marks & lineage::mark_unlinked) != 0;
    }
    m_counts->setText(tr("%1 units, %2 links; doubtful: %3, dead ends: %4, unlinked: %5")
                          .arg(m_layout.nodes().size())
                          .arg(m_layout.edges().size())
                          .arg(doubtful)
                          .arg(dead_ends)
                          .arg(unlinked));
}

void LineageTreeWindow::exportAs(bool svg)
{
    if (!askExportName)
        return;
    const QString name =
        svg ? askExportName(tr("Export the lineage tree"), tr("SVG drawing (*.svg)"), ".svg")
            : askExportName(tr("Export the lineage tree"), tr("PNG image (*.png)"), ".png");
    if (name.isEmpty())
        return;
    if (svg ? m_view->exportSvg(name) : m_view->exportPng(name))
        std::cout << "Lineage tree: " << name.toStdString() << std::endl;
}

void LineageTreeWindow::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    if (m_stale)
        refresh();
    follow();
}

void LineageTreeWindow::hideEvent(QHideEvent *e)
{
    settings().setValue(geometry_key, saveGeometry());
    QWidget::hideEvent(e);
}

void LineageTreeWindow::keyPressEvent(QKeyEvent *e)
{
    const QPointF centre = QRectF(m_view->rect()).center();
    switch (e->key()) {
    case Qt::Key_Home:
        m_view->fit();
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        m_view->zoom(1.25, centre);
        break;
    case Qt::Key_Minus:
        m_view->zoom(0.8, centre);
        break;
    case Qt::Key_V:
        hide();
        break;
    default:
        if (passKey)
            passKey(e);
        break;
    }
}

// For the end-to-end test: where a node of the last time point is drawn, in
// this window's coordinates, once the view has been painted.
void LineageTreeWindow::report()
{
    if (m_layout.empty())
        return;
    const auto row = m_layout.row(m_layout.last_row());
    const std::uint32_t node = *row.first;
    const QPoint at = m_view->mapTo(this, m_view->nodePosition(node).toPoint());
    const lineage::tree_node &n = m_layout.nodes()[node];
    const std::string line = "tree: units=" + std::to_string(m_layout.nodes().size()) +
                             " node=" + n.head + " t=" + std::to_string(n.t) + " planes " +
                             std::to_string(n.z_min) + " " + std::to_string(n.z_max) + " at " +
                             std::to_string(at.x()) + " " + std::to_string(at.y());
    if (line == m_reported)
        return;
    m_reported = line;
    std::cout << line << std::endl;
}
