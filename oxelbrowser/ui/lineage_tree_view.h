// The lineage tree's drawing: what the layout gives, drawn into an image of
// the visible region (so a whole embryo redraws at any zoom in a few
// milliseconds), with zoom, pan, hover and clicks on nodes, and export as PNG
// or SVG.
#pragma once

#include "lineage_tree.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <functional> // std::function
#include <string>
#include <vector>

class QPainter;

class LineageTreeView : public QWidget
{
    Q_OBJECT

public:
    explicit LineageTreeView(QWidget *parent = nullptr);

    // The layout and states to draw; both must outlive the view or be set again.
    void setTree(const lineage::tree_layout *layout, const std::vector<unsigned char> *states);
    // Node colours of the colour table (128 entries), read at every paint.
    void setColours(const QColor *table)
    {
        m_colours = table;
        invalidate();
    }
    // The layout or the states changed: the tree is drawn again.
    void invalidate();
    void setCurrentTimePoint(int t);
    int currentTimePoint() const { return m_time_point; }
    void setHighlight(std::uint32_t node);
    std::uint32_t highlighted() const { return m_highlight; }

    // Shows the whole lineage.
    void fit();
    // Centres the node if it lies outside the visible region.
    void showNode(std::uint32_t node);
    // Zooms by factor about a point of the view, in columns, rows or both.
    void zoom(double factor, QPointF at, bool columns = true, bool rows = true);
    void pan(QPointF by);
    double columnScale() const { return m_sx; }
    double rowScale() const { return m_sy; }

    // Where a node is drawn, in view coordinates.
    QPointF nodePosition(std::uint32_t node) const;
    // The node drawn at a point of the view, or tree_none.
    std::uint32_t nodeAt(QPointF p) const;
    // The hover text of a node.
    QString describe(std::uint32_t node) const;

    // The whole tree at the current zoom (made smaller where it would be
    // too large); false with a message on standard error when it cannot be written.
    bool exportPng(const QString &path) const;
    bool exportSvg(const QString &path) const;

    std::function<void(std::uint32_t)> nodeClicked;
    // After every paint.
    std::function<void()> painted;

protected:
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void leaveEvent(QEvent *e) override;

private:
    // Scales (pixels per column and per time point) and offsets of a drawing.
    struct frame {
        double sx, sy, dx, dy;
        int width, height;
    };
    frame viewFrame() const;
    // The frame of the whole tree for an export, at most limit pixels a side.
    frame exportFrame(int limit) const;
    void render(QImage &image, const frame &f) const;
    // The time line and labels, the highlight and the legend over the tree;
    // on a vector drawing as text rather than as images kept for the screen.
    void drawOverlay(QPainter &p, const frame &f, bool vector) const;
    void drawLegend(QPainter &p, QPoint at) const;
    void colourKey(QRgb key[4]) const;
    // The pixel row of the current time point, or -1 when it is out of sight.
    int timeRow(const frame &f) const;
    void drawTimeLine(QImage &image, int y, std::vector<QRgb> *keep) const;
    void drawVector(QPainter &p, const frame &f) const;
    int nodeRadius(const frame &f) const;
    QFont labelFont() const;
    int legendWidth() const;
    QRgb nodeColour(std::uint32_t node, bool tiny) const;
    void clampScales();

    const lineage::tree_layout *m_layout = nullptr;
    const std::vector<unsigned char> *m_states = nullptr;
    const QColor *m_colours = nullptr;
    int m_time_point = -1;
    std::uint32_t m_highlight = lineage::tree_none;
    std::uint32_t m_hover = lineage::tree_none;
    double m_sx = 12, m_sy = 16, m_dx = 0, m_dy = 0;
    bool m_fitted = true; // shows the whole tree as last fitted: a resize fits again
    QImage m_image;       // the tree as last drawn, for m_base
    frame m_base{0, 0, 0, 0, 0, 0};
    bool m_base_dirty = true;
    int m_time_row = -1;                 // where the time line is drawn into m_image
    std::vector<QRgb> m_time_saved;      // that row without it
    mutable QHash<int, QImage> m_labels; // time point labels drawn so far
    mutable QImage m_legend;
    mutable QRgb m_legend_key[4] = {};
    QRgb m_base_colours[4] = {};
    QPointF m_press;
    QPointF m_last;
    bool m_pressed = false;
    bool m_dragging = false;
};
