// Drawing ROI outlines into the canvas pixmap. The outline of a well-formed
// ROI is a closed chain of boundary pixels that touch, and a one-pixel pen
// draws exactly those pixels; such chains in an opaque colour are written
// pixel by pixel, anything else goes through the painter.
#pragma once

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>

#include <memory> // std::unique_ptr

class QColor;

class outline_canvas {
public:
    // Draws into pix; the drawing lands in pix when the canvas is destroyed.
    explicit outline_canvas(QPixmap &pix);
    ~outline_canvas();
    outline_canvas(const outline_canvas &) = delete;
    outline_canvas &operator=(const outline_canvas &) = delete;

    // The point array as a closed outline (one point: that pixel), solid pen
    // of width 1.
    void draw(const QPolygon &points, const QColor &colour);

private:
    QPainter &painter();

    QPixmap &_pix;
    QImage _image;
    uchar *_bits = nullptr;
    qsizetype _stride = 0;
    std::unique_ptr<QPainter> _painter;
};
