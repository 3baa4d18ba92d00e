// The lineage tree's drawing, zoom, pan, hover, clicks and export.
#include "lineage_tree_view.h"

#include "colour_table.h"
#include "lineage_marks.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QSvgGenerator>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm> // std::min, std::max, std::swap
#include <cmath>     // std::floor, std::ceil, std::pow, std::sqrt
#include <cstdlib>   // std::labs
#include <iostream>
#include <map>

using lineage::tree_none;

namespace
{

// Room for the time point labels on the left, and around the tree.
const int left_margin = 40;
const int margin = 12;

const QRgb background = qRgb(22, 22, 28);
const QRgb edge_colour = qRgb(140, 140, 150);
const QRgb further_colour = qRgb(255, 64, 255); // a further parent, and the doubt ring
const QRgb dead_end_colour = qRgb(64, 210, 255);
const QRgb unlinked_colour = qRgb(110, 255, 110);
const QRgb time_colour = qRgb(50, 110, 210);

const double min_sx = 1e-4, min_sy = 1e-3, max_scale = 120;
// Fitting a small tree stops at this scale rather than filling the window.
const double max_fit_scale = 48;

// A pixel coordinate, kept far inside the int range however far the view is
// panned; rounded down without a call, since it runs for every node and edge.
long pixel(double v)
{
    v = std::clamp(v, -1e8, 1e8);
    const long i = static_cast<long>(v);
    return i - (v < static_cast<double>(i));
}

const QColor *builtin_colours()
{
    static QColor table[colour_table::size];
    static const bool made = (colour_table::builtin(table), true);
    (void)made;
    return table;
}

// Writes into the pixels of an image, clipped to it.
class raster
{
public:
    explicit raster(QImage &image)
        : m_bits(reinterpret_cast<QRgb *>(image.bits())), m_stride(image.bytesPerLine() / 4),
          m_w(image.width()), m_h(image.height())
    {
    }
    void plot(long x, long y, QRgb c)
    {
        if (x >= 0 && y >= 0 && x < m_w && y < m_h)
            m_bits[y * m_stride + x] = c;
    }
    void hline(long y, long x0, long x1, QRgb c, bool dashed = false)
    {
        if (y < 0 || y >= m_h)
            return;
        if (x0 > x1)
            std::swap(x0, x1);
        x0 = std::max(x0, 0L);
        x1 = std::min(x1, m_w - 1);
        QRgb *row = m_bits + y * m_stride;
        for (long x = x0; x <= x1; ++x)
            if (!dashed || ((x >> 2) & 1) == 0)
                row[x] = c;
    }
    void vline(long x, long y0, long y1, QRgb c, bool dashed = false)
    {
        if (x < 0 || x >= m_w)
            return;
        if (y0 > y1)
            std::swap(y0, y1);
        y0 = std::max(y0, 0L);
        y1 = std::min(y1, m_h - 1);
        for (long y = y0; y <= y1; ++y)
            if (!dashed || ((y >> 2) & 1) == 0)
                m_bits[y * m_stride + x] = c;
    }
    // A filled disc of the given half widths, one per row from the centre out.
    void disc(long x, long y, const std::vector<long> &half, QRgb c)
    {
        const long r = static_cast<long>(half.size()) - 1;
        for (long dy = -r; dy <= r; ++dy)
            hline(y + dy, x - half[static_cast<std::size_t>(std::labs(dy))],
                  x + half[static_cast<std::size_t>(std::labs(dy))], c);
    }
    long width() const { return m_w; }
    long height() const { return m_h; }

private:
    QRgb *m_bits;
    long m_stride, m_w, m_h;
};

std::vector<long> disc_rows(int r)
{
    std::vector<long> half(static_cast<std::size_t>(r) + 1);
    for (int dy = 0; dy <= r; ++dy)
        half[static_cast<std::size_t>(dy)] =
            static_cast<long>(std::floor(std::sqrt((r + 0.5) * (r + 0.5) - dy * dy)));
    return half;
}

// Time point labels every 1, 2, 5, 10, 20, 50, ... rows, so that they never crowd.
int label_step(double sy)
{
    for (int step : {1, 2, 5, 10, 20, 50, 100, 200, 500, 1000})
        if (step * sy >= 16)
            return step;
    return 1000000;
}

struct legend_item {
    QString text;
    QColor colour;
    int sign; // 0 disc, 1 ring, 2 bar below, 3 bar above, 4 dashed line, 5 line
};

std::vector<legend_item> legend_items(const QColor *table)
{
    return {
        {LineageTreeView::tr("unit"), table[0], 0},
        {LineageTreeView::tr("lineage root"), table[colour_table::lineage], 0},
        {LineageTreeView::tr("root's lineage"),
         table[colour_table::forward | colour_table::backward], 0},
        {LineageTreeView::tr("elite"), table[colour_table::elite], 0},
        {LineageTreeView::tr("doubtful: two or more parents"), QColor(further_colour), 1},
        {LineageTreeView::tr("dead end"), QColor(dead_end_colour), 2},
        {LineageTreeView::tr("unlinked"), QColor(unlinked_colour), 3},
        {LineageTreeView::tr("link to a further parent"), QColor(further_colour), 4},
        {LineageTreeView::tr("current time point"), QColor(time_colour), 5},
    };
}

int legend_text_width(const QFontMetrics &fm)
{
    int width = 0;
    for (const legend_item &i : legend_items(builtin_colours()))
        width = std::max(width, fm.horizontalAdvance(i.text));
    return width;
}

} // namespace

LineageTreeView::LineageTreeView(QWidget *parent) : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(200, 150);
}

void LineageTreeView::setTree(const lineage::tree_layout *layout,
                              const std::vector<unsigned char> *states)
{
    m_layout = layout;
    m_states = states;
    m_hover = tree_none;
    m_base_dirty = true;
    if (m_layout && m_highlight >= m_layout->nodes().size())
        m_highlight = tree_none;
    update();
}

void LineageTreeView::invalidate()
{
    m_base_dirty = true;
    update();
}

void LineageTreeView::setCurrentTimePoint(int t)
{
    if (t == m_time_point)
        return;
    m_time_point = t;
    update();
}

void LineageTreeView::setHighlight(std::uint32_t node)
{
    m_highlight = node;
    update();
}

LineageTreeView::frame LineageTreeView::viewFrame() const
{
    return {m_sx, m_sy, m_dx, m_dy, width(), height()};
}

void LineageTreeView::clampScales()
{
    m_sx = std::clamp(m_sx, min_sx, max_scale);
    m_sy = std::clamp(m_sy, min_sy, max_scale);
}

QFont LineageTreeView::labelFont() const
{
    QFont small = font();
    small.setPointSizeF(8);
    return small;
}

int LineageTreeView::legendWidth() const
{
    return legend_text_width(QFontMetrics(labelFont())) + 36;
}

void LineageTreeView::fit()
{
    if (!m_layout || m_layout->empty())
        return;
    // The legend stands right of the tree.
    const double w = std::max(1, width() - left_margin - 2 * margin - legendWidth());
    const double h = std::max(1, height() - 2 * margin);
    const double columns = std::max(1.0f, m_layout->width());
    const double rows = m_layout->last_row() - m_layout->first_row() + 1;
    m_sx = std::min(w / columns, max_fit_scale);
    m_sy = std::min(h / rows, max_fit_scale);
    clampScales();
    m_dx = left_margin + std::max(0.0, (w - columns * m_sx) / 2);
    m_dy = margin - m_layout->first_row() * m_sy;
    m_fitted = true;
    update();
}

void LineageTreeView::zoom(double factor, QPointF at, bool columns, bool rows)
{
    const double sx = m_sx, sy = m_sy;
    if (columns)
        m_sx *= factor;
    if (rows)
        m_sy *= factor;
    clampScales();
    m_dx = at.x() - (at.x() - m_dx) * m_sx / sx;
    m_dy = at.y() - (at.y() - m_dy) * m_sy / sy;
    m_fitted = false;
    update();
}

void LineageTreeView::pan(QPointF by)
{
    m_dx += by.x();
    m_dy += by.y();
    m_fitted = false;
    update();
}

QPointF LineageTreeView::nodePosition(std::uint32_t node) const
{
    const lineage::tree_node &n = m_layout->nodes()[node];
    return {m_dx + (n.x + 0.5) * m_sx, m_dy + (n.t + 0.5) * m_sy};
}

void LineageTreeView::showNode(std::uint32_t node)
{
    if (!m_layout || node >= m_layout->nodes().size())
        return;
    const QPointF p = nodePosition(node);
    const QRectF inside = QRectF(rect()).adjusted(left_margin, margin, -margin, -margin);
    if (inside.contains(p))
        return;
    pan(inside.center() - p);
}

int LineageTreeView::nodeRadius(const frame &f) const
{
    const double m = std::min(f.sx, f.sy);
    if (m < 4)
        return 0; // one pixel
    return std::clamp(static_cast<int>(m * 0.28), 1, 6);
}

QRgb LineageTreeView::nodeColour(std::uint32_t node, bool tiny) const
{
    const QColor *table = m_colours ? m_colours : builtin_colours();
    const unsigned char s = m_states && node < m_states->size() ? (*m_states)[node] : 0;
    if (s & lineage::state_root)
        return table[colour_table::lineage].rgb();
    if (s & lineage::state_elite)
        return table[colour_table::elite].rgb();
    if (s & lineage::state_lineage)
        return table[colour_table::forward | colour_table::backward].rgb();
    // Too small for the mark's own sign: the mark colours the node.
    const unsigned char marks = m_layout->nodes()[node].marks;
    if (tiny && (marks & lineage::mark_doubtful))
        return further_colour;
    if (tiny && (marks & lineage::mark_dead_end))
        return dead_end_colour;
    if (tiny && (marks & lineage::mark_unlinked))
        return unlinked_colour;
    return table[0].rgb();
}

void LineageTreeView::render(QImage &image, const frame &f) const
{
    image.fill(background);
    if (!m_layout || m_layout->empty())
        return;
    raster out(image);
    const lineage::tree_layout &l = *m_layout;
    const int r = nodeRadius(f);
    const long reach = r + 4;
    auto px = [&f](float x) { return pixel(f.dx + (x + 0.5) * f.sx); };
    auto py = [&f](float y) { return pixel(f.dy + (y + 0.5) * f.sy); };

    // The rows in sight; edges into the row below them cross the bottom edge.
    const double lo = std::floor((-reach - f.dy) / f.sy - 0.5);
    const double hi = std::ceil((f.height + reach - f.dy) / f.sy - 0.5);
    const int t_lo = static_cast<int>(std::max<double>(l.first_row(), lo));
    const int t_hi = static_cast<int>(std::min<double>(l.last_row(), hi));

    // Any polyline of the layout: its segments run along rows or columns.
    auto draw_edge = [&](const lineage::tree_edge &e) {
        const long x0 = px(std::min(e.points[0].x, e.points[e.count - 1].x));
        const long x1 = px(std::max(e.points[0].x, e.points[e.count - 1].x));
        if (x1 < 0 || x0 >= out.width())
            return;
        const QRgb c = e.placing ? edge_colour : further_colour;
        for (int k = 0; k + 1 < e.count; ++k) {
            const long ax = px(e.points[k].x), ay = py(e.points[k].y);
            const long bx = px(e.points[k + 1].x), by = py(e.points[k + 1].y);
            if (ax == bx) {
                out.vline(ax, ay, by, c, !e.placing);
            } else {
                out.hline(ay, ax, bx, c, !e.placing);
                out.vline(bx, ay, by, c, !e.placing);
            }
        }
    };
    // Edges one time point down, the bulk, row by row: the rows' pixel heights
    // are worked out once, and each edge needs only its two columns. Their ends
    // are on the edge itself; a look at the parent's node would be a fetch from
    // far away for every edge.
    for (int t = t_lo; t <= std::min(t_hi + 1, l.last_row()); ++t) {
        const long y_child = py(static_cast<float>(t)), y_mid = py(t - 0.5f);
        const long y_parent = py(static_cast<float>(t - 1));
        const auto row = l.row(t);
        for (const std::uint32_t *n = row.first; n != row.second; ++n) {
            const auto in = l.edges_into(*n);
            for (std::size_t i = in.first; i < in.second; ++i) {
                const lineage::tree_edge &e = l.edges()[i];
                if (e.points[e.count - 1].y - e.points[0].y != 1)
                    continue;
                const long xp = px(e.points[0].x), xc = px(e.points[e.count - 1].x);
                if (std::max(xp, xc) < 0 || std::min(xp, xc) >= out.width())
                    continue;
                if (e.count == 2) {
                    out.vline(xc, y_parent, y_child, edge_colour);
                } else {
                    const QRgb c = e.placing ? edge_colour : further_colour;
                    out.vline(xp, y_parent, y_mid, c, !e.placing);
                    out.hline(y_mid, xp, xc, c, !e.placing);
                    out.vline(xc, y_mid, y_child, c, !e.placing);
                }
            }
        }
    }
    for (std::uint32_t e : l.long_edges())
        draw_edge(l.edges()[e]);

    const std::vector<long> node_disc = disc_rows(r), ring_disc = disc_rows(r + 2);
    for (int t = t_lo; t <= t_hi; ++t) {
        const auto row = l.row(t);
        const long y = py(static_cast<float>(t));
        for (const std::uint32_t *n = row.first; n != row.second; ++n) {
            const lineage::tree_node &node = l.nodes()[*n];
            const long x = px(node.x);
            if (x < -reach || x > out.width() + reach)
                continue;
            if (r == 0) {
                out.plot(x, y, nodeColour(*n, true));
                continue;
            }
            if (node.marks & lineage::mark_doubtful)
                out.disc(x, y, ring_disc, further_colour);
            if (node.marks & lineage::mark_dead_end) {
                out.hline(y + r + 2, x - r - 1, x + r + 1, dead_end_colour);
                out.hline(y + r + 3, x - r - 1, x + r + 1, dead_end_colour);
            }
            if (node.marks & lineage::mark_unlinked) {
                out.hline(y - r - 2, x - r - 1, x + r + 1, unlinked_colour);
                out.hline(y - r - 3, x - r - 1, x + r + 1, unlinked_colour);
            }
            out.disc(x, y, node_disc, nodeColour(*n, false));
        }
    }
    // Far out, the root, elite units and the root's lineage are drawn again,
    // larger, so that no crowd of other units hides them.
    if (r == 0 && m_states) {
        for (int t = t_lo; t <= t_hi; ++t) {
            const auto row = l.row(t);
            const long y = py(static_cast<float>(t));
            for (const std::uint32_t *n = row.first; n != row.second; ++n)
                if ((*m_states)[*n]) {
                    const long x = px(l.nodes()[*n].x);
                    const QRgb c = nodeColour(*n, true);
                    for (long dy = -1; dy <= 1; ++dy)
                        out.hline(y + dy, x - 1, x + 1, c);
                }
        }
    }
}

// The legend, drawn once into an image for the screen (its text is the costly
// part of a repaint), or straight onto a vector drawing.
void LineageTreeView::drawLegend(QPainter &p, QPoint at) const
{
    const QColor *table = m_colours ? m_colours : builtin_colours();
    const std::vector<legend_item> items = legend_items(table);
    const QFontMetrics fm(labelFont());
    const int text_width = legend_text_width(fm);
    const int line = std::max(fm.height(), 17);
    const QRect box(at, QSize(text_width + 36, line * 9 + 8));
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setFont(labelFont());
    p.setPen(QColor(90, 90, 100));
    p.setBrush(QColor(10, 10, 14));
    p.drawRect(box.adjusted(0, 0, -1, -1));
    for (std::size_t k = 0; k < items.size(); ++k) {
        const legend_item &i = items[k];
        const QPointF c(box.left() + 14, box.top() + 4 + line * static_cast<int>(k) + line / 2.0);
        p.setBrush(Qt::NoBrush);
        switch (i.sign) {
        case 0:
            p.setPen(Qt::NoPen);
            p.setBrush(i.colour);
            p.drawEllipse(c, 4, 4);
            break;
        case 1:
            p.setPen(QPen(i.colour, 2));
            p.drawEllipse(c, 5, 5);
            p.setPen(Qt::NoPen);
            p.setBrush(table[0]);
            p.drawEllipse(c, 3, 3);
            break;
        case 2:
        case 3:
            p.setPen(Qt::NoPen);
            p.setBrush(table[0]);
            p.drawEllipse(c, 3, 3);
            p.setPen(QPen(i.colour, 2));
            p.drawLine(c + QPointF(-4, i.sign == 2 ? 5 : -5), c + QPointF(4, i.sign == 2 ? 5 : -5));
            break;
        default:
            p.setPen(QPen(i.colour, 1.5, i.sign == 4 ? Qt::DashLine : Qt::SolidLine));
            p.drawLine(c + QPointF(-8, 0), c + QPointF(8, 0));
            break;
        }
        p.setPen(QColor(220, 220, 220));
        p.drawText(QRectF(box.left() + 28, c.y() - line / 2.0, text_width + 6, line),
                   Qt::AlignLeft | Qt::AlignVCenter, i.text);
    }
    p.restore();
}

// The colour table's colours that nodes use: a change (a colour file read
// again) draws the tree and the legend again.
void LineageTreeView::colourKey(QRgb key[4]) const
{
    const QColor *table = m_colours ? m_colours : builtin_colours();
    key[0] = table[0].rgb();
    key[1] = table[colour_table::lineage].rgb();
    key[2] = table[colour_table::forward | colour_table::backward].rgb();
    key[3] = table[colour_table::elite].rgb();
}

void LineageTreeView::drawOverlay(QPainter &p, const frame &f, bool vector) const
{
    p.setFont(labelFont());
    const QFontMetrics fm(labelFont());
    if (!m_layout || m_layout->empty()) {
        p.setPen(QColor(200, 200, 200));
        p.drawText(QRect(0, 0, f.width, f.height), Qt::AlignCenter,
                   tr("No units yet: make units (key U) in the main window"));
        return;
    }
    const lineage::tree_layout &l = *m_layout;
    auto row_y = [&f](double t) { return f.dy + (t + 0.5) * f.sy; };

    // Time point labels down the left edge.
    const int step = label_step(f.sy);
    const int t_lo =
        static_cast<int>(std::max<double>(l.first_row(), std::floor(-f.dy / f.sy) - 1));
    const int t_hi =
        static_cast<int>(std::min<double>(l.last_row(), std::ceil((f.height - f.dy) / f.sy) + 1));
    const QSize label_size(left_margin - 4, fm.height());
    for (int t = t_lo - (t_lo % step + step) % step; t <= t_hi; t += step) {
        if (t < t_lo)
            continue;
        const bool now = t == m_time_point;
        const QPointF at(1, row_y(t) - label_size.height() / 2.0);
        auto draw = [&](QPainter &q, QPointF corner) {
            q.fillRect(QRectF(corner, label_size), QColor(background));
            q.setPen(now ? QColor(time_colour).lighter(160) : QColor(170, 170, 170));
            q.drawText(QRectF(corner, label_size), Qt::AlignRight | Qt::AlignVCenter,
                       QString::number(t));
        };
        if (vector) {
            draw(p, at);
            continue;
        }
        const int key = 2 * t + now;
        auto cached = m_labels.find(key);
        if (cached == m_labels.end()) {
            QImage image(label_size, QImage::Format_ARGB32_Premultiplied);
            QPainter q(&image);
            q.setFont(labelFont());
            draw(q, QPointF(0, 0));
            q.end();
            cached = m_labels.insert(key, image);
        }
        p.drawImage(at, *cached);
    }

    if (m_highlight != tree_none && m_highlight < l.nodes().size()) {
        const lineage::tree_node &n = l.nodes()[m_highlight];
        const QPointF c(f.dx + (n.x + 0.5) * f.sx, row_y(n.t));
        const double radius = std::max(nodeRadius(f) + 5, 7);
        p.save();
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(255, 255, 255), 2));
        p.drawEllipse(c, radius, radius);
        p.restore();
    }

    const QPoint corner(f.width - legendWidth() - 6, 6);
    if (vector) {
        drawLegend(p, corner);
        return;
    }
    QRgb key[4];
    colourKey(key);
    if (m_legend.isNull() || !std::equal(key, key + 4, m_legend_key)) {
        const QFontMetrics metrics(labelFont());
        m_legend = QImage(legendWidth(), std::max(metrics.height(), 17) * 9 + 8,
                          QImage::Format_ARGB32_Premultiplied);
        m_legend.fill(Qt::transparent);
        QPainter q(&m_legend);
        drawLegend(q, QPoint(0, 0));
        std::copy(key, key + 4, m_legend_key);
    }
    p.drawImage(corner, m_legend);
}

int LineageTreeView::timeRow(const frame &f) const
{
    if (!m_layout || m_layout->empty() || m_time_point < m_layout->first_row() - 1 ||
        m_time_point > m_layout->last_row() + 1)
        return -1;
    const long y = pixel(f.dy + (m_time_point + 0.5) * f.sy);
    return y >= 0 && y < f.height ? static_cast<int>(y) : -1;
}

// The current time point: a line across the tree, behind it (on the background
// pixels of its row only). The row's pixels are kept, so that a new time point
// needs no new drawing of the tree.
void LineageTreeView::drawTimeLine(QImage &image, int y, std::vector<QRgb> *keep) const
{
    QRgb *row = reinterpret_cast<QRgb *>(image.scanLine(y));
    if (keep)
        keep->assign(row, row + image.width());
    for (int x = 0; x < image.width(); ++x)
        if (row[x] == background)
            row[x] = time_colour;
}

void LineageTreeView::paintEvent(QPaintEvent *)
{
    // The tree itself is drawn again only when it, its states or the view changed.
    const frame f = viewFrame();
    QRgb colours[4];
    colourKey(colours);
    if (m_image.size() != size() || m_base_dirty || f.sx != m_base.sx || f.sy != m_base.sy ||
        f.dx != m_base.dx || f.dy != m_base.dy ||
        !std::equal(colours, colours + 4, m_base_colours)) {
        std::copy(colours, colours + 4, m_base_colours);
        if (m_image.size() != size())
            m_image = QImage(size(), QImage::Format_RGB32);
        render(m_image, f);
        m_base = f;
        m_base_dirty = false;
        m_time_row = -1;
    }
    const int y = timeRow(f);
    if (y != m_time_row) {
        if (m_time_row >= 0)
            std::copy(m_time_saved.begin(), m_time_saved.end(),
                      reinterpret_cast<QRgb *>(m_image.scanLine(m_time_row)));
        if (y >= 0)
            drawTimeLine(m_image, y, &m_time_saved);
        m_time_row = y;
    }
    QPainter p(this);
    p.drawImage(0, 0, m_image);
    drawOverlay(p, f, false);
    p.end();
    if (painted)
        painted();
}

void LineageTreeView::resizeEvent(QResizeEvent *)
{
    if (m_fitted)
        fit();
}

std::uint32_t LineageTreeView::nodeAt(QPointF p) const
{
    if (!m_layout || m_layout->empty())
        return tree_none;
    const frame f = viewFrame();
    const double pick = std::max(nodeRadius(f) + 2, 4);
    const double from = std::ceil((p.y() - pick - f.dy) / f.sy - 0.5);
    const double to = std::floor((p.y() + pick - f.dy) / f.sy - 0.5);
    if (to < m_layout->first_row() || from > m_layout->last_row())
        return tree_none;
    const int t0 = static_cast<int>(std::max<double>(m_layout->first_row(), from));
    const int t1 = static_cast<int>(std::min<double>(m_layout->last_row(), to));
    std::uint32_t best = tree_none;
    double best_d2 = pick * pick;
    for (int t = t0; t <= t1; ++t) {
        const auto row = m_layout->row(t);
        for (const std::uint32_t *n = row.first; n != row.second; ++n) {
            const QPointF c = nodePosition(*n);
            const double d2 = (c.x() - p.x()) * (c.x() - p.x()) + (c.y() - p.y()) * (c.y() - p.y());
            if (d2 <= best_d2) {
                best_d2 = d2;
                best = *n;
            }
        }
    }
    return best;
}

QString LineageTreeView::describe(std::uint32_t node) const
{
    const lineage::tree_node &n = m_layout->nodes()[node];
    QString text = tr("head %1\ntime point %2\nplanes %3 to %4\nmembers %5")
                       .arg(QString::fromStdString(n.head))
                       .arg(n.t)
                       .arg(n.z_min)
                       .arg(n.z_max)
                       .arg(n.members);
    if (n.marks & lineage::mark_doubtful)
        text += "\n" + tr("doubtful: two or more parents");
    if (n.marks & lineage::mark_dead_end)
        text += "\n" + tr("dead end");
    if (n.marks & lineage::mark_unlinked)
        text += "\n" + tr("unlinked");
    return text;
}

void LineageTreeView::wheelEvent(QWheelEvent *e)
{
    const int delta = e->angleDelta().y() != 0 ? e->angleDelta().y() : e->angleDelta().x();
    const double factor = std::pow(2.0, delta / 480.0);
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const bool control = e->modifiers() & Qt::ControlModifier;
    // Shift: columns only, Ctrl: time points only, plain: both.
    zoom(factor, e->position(), !control, !shift);
    e->accept();
}

void LineageTreeView::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return;
    m_pressed = true;
    m_dragging = false;
    m_press = m_last = e->position();
}

void LineageTreeView::mouseMoveEvent(QMouseEvent *e)
{
    const QPointF p = e->position();
    if (m_pressed && (e->buttons() & Qt::LeftButton)) {
        if (!m_dragging && (p - m_press).manhattanLength() > 4)
            m_dragging = true;
        if (m_dragging) {
            pan(p - m_last);
            m_last = p;
        }
        return;
    }
    const std::uint32_t n = nodeAt(p);
    if (n == m_hover)
        return;
    m_hover = n;
    if (n == tree_none) {
        QToolTip::hideText();
        unsetCursor();
    } else {
        QToolTip::showText(e->globalPosition().toPoint(), describe(n), this);
        setCursor(Qt::PointingHandCursor);
    }
}

void LineageTreeView::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    if (m_dragging)
        return;
    const std::uint32_t n = nodeAt(e->position());
    if (n != tree_none && nodeClicked)
        nodeClicked(n);
}

void LineageTreeView::leaveEvent(QEvent *)
{
    m_hover = tree_none;
}

LineageTreeView::frame LineageTreeView::exportFrame(int limit) const
{
    frame f{m_sx, m_sy, 0, 0, 0, 0};
    const double columns = std::max(1.0f, m_layout->width());
    const double rows = m_layout->last_row() - m_layout->first_row() + 1;
    const int sides = left_margin + 2 * margin + legendWidth();
    if (sides + columns * f.sx > limit)
        f.sx = (limit - sides) / columns;
    if (2 * margin + rows * f.sy > limit)
        f.sy = (limit - 2 * margin) / rows;
    f.width = static_cast<int>(std::ceil(sides + columns * f.sx));
    f.height = std::max(180, static_cast<int>(std::ceil(2 * margin + rows * f.sy)));
    f.dx = left_margin;
    f.dy = margin - m_layout->first_row() * f.sy;
    return f;
}

bool LineageTreeView::exportPng(const QString &path) const
{
    if (!m_layout || m_layout->empty()) {
        std::cerr << "Export: no units to draw" << std::endl;
        return false;
    }
    const frame f = exportFrame(6000);
    QImage image(f.width, f.height, QImage::Format_RGB32);
    if (image.isNull()) {
        std::cerr << "Export: not enough memory for the image" << std::endl;
        return false;
    }
    render(image, f);
    if (timeRow(f) >= 0)
        drawTimeLine(image, timeRow(f), nullptr);
    {
        QPainter p(&image);
        drawOverlay(p, f, false);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        std::cerr << "Cannot write " << path.toStdString() << std::endl;
        return false;
    }
    return true;
}

void LineageTreeView::drawVector(QPainter &p, const frame &f) const
{
    const lineage::tree_layout &l = *m_layout;
    p.fillRect(QRect(0, 0, f.width, f.height), QColor(background));
    p.setRenderHint(QPainter::Antialiasing, true);
    auto at = [&f](float x, float y) {
        return QPointF(f.dx + (x + 0.5) * f.sx, f.dy + (y + 0.5) * f.sy);
    };
    QPainterPath placing, further;
    for (const lineage::tree_edge &e : l.edges()) {
        QPainterPath &path = e.placing ? placing : further;
        path.moveTo(at(e.points[0].x, e.points[0].y));
        for (int k = 1; k < e.count; ++k)
            path.lineTo(at(e.points[k].x, e.points[k].y));
    }
    if (timeRow(f) >= 0) {
        const double y = f.dy + (m_time_point + 0.5) * f.sy;
        p.setPen(QPen(QColor(time_colour), 1));
        p.drawLine(QPointF(0, y), QPointF(f.width, y));
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(edge_colour), 1));
    p.drawPath(placing);
    p.setPen(QPen(QColor(further_colour), 1, Qt::DashLine));
    p.drawPath(further);
    const double r = std::max(1.5, std::min(6.0, std::min(f.sx, f.sy) * 0.28));
    // Signs first, then the discs colour by colour, so that each colour is set once.
    std::map<QRgb, std::vector<std::uint32_t>> by_colour;
    for (std::uint32_t i = 0; i < l.nodes().size(); ++i) {
        const lineage::tree_node &n = l.nodes()[i];
        by_colour[nodeColour(i, false)].push_back(i);
        const QPointF c = at(n.x, static_cast<float>(n.t));
        if (n.marks & lineage::mark_doubtful) {
            p.setPen(QPen(QColor(further_colour), 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(c, r + 1.5, r + 1.5);
        }
        if (n.marks & (lineage::mark_dead_end | lineage::mark_unlinked)) {
            const bool end = n.marks & lineage::mark_dead_end;
            p.setPen(QPen(QColor(end ? dead_end_colour : unlinked_colour), 1.5));
            const double y = c.y() + (end ? r + 2 : -r - 2);
            p.drawLine(QPointF(c.x() - r - 1, y), QPointF(c.x() + r + 1, y));
        }
    }
    p.setPen(Qt::NoPen);
    for (const auto &[colour, nodes] : by_colour) {
        p.setBrush(QColor(colour));
        for (std::uint32_t i : nodes)
            p.drawEllipse(at(l.nodes()[i].x, static_cast<float>(l.nodes()[i].t)), r, r);
    }
}

bool LineageTreeView::exportSvg(const QString &path) const
{
    if (!m_layout || m_layout->empty()) {
        std::cerr << "Export: no units to draw" << std::endl;
        return false;
    }
    const frame f = exportFrame(20000);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        std::cerr << "Cannot write " << path.toStdString() << std::endl;
        return false;
    }
    QSvgGenerator svg;
    svg.setOutputDevice(&file);
    svg.setSize(QSize(f.width, f.height));
    svg.setViewBox(QRect(0, 0, f.width, f.height));
    svg.setTitle(tr("Lineage"));
    QPainter p;
    if (!p.begin(&svg)) {
        std::cerr << "Cannot write " << path.toStdString() << std::endl;
        return false;
    }
    drawVector(p, f);
    drawOverlay(p, f, true);
    p.end();
    if (!file.commit()) {
        std::cerr << "Cannot write " << path.toStdString() << std::endl;
        return false;
    }
    return true;
}
