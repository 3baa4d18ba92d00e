// Drawing ROI outlines into the canvas pixmap.
#include "outline_canvas.h"

#include <QColor>

#include <cstdlib> // std::abs
#include <cstring> // std::memcpy
#include <utility> // std::move

namespace {

// Whether every point touches the next, the last one the first.
bool touching_chain(const QPolygon &points)
{
    const qsizetype n = points.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QPoint &a = points[i];
        const QPoint &b = points[i + 1 < n ? i + 1 : 0];
        if (std::abs(a.x() - b.x()) > 1 || std::abs(a.y() - b.y()) > 1)
            return false;
    }
    return true;
}

} // namespace

outline_canvas::outline_canvas(QPixmap &pix) : _pix(pix), _image(pix.toImage())
{
    const QImage::Format f = _image.format();
    if (f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
        f == QImage::Format_ARGB32_Premultiplied) {
        _bits = _image.bits();
        _stride = _image.bytesPerLine();
    }
}

outline_canvas::~outline_canvas()
{
    if (_painter)
        _painter->end();
    _pix = QPixmap::fromImage(std::move(_image));
}

QPainter &outline_canvas::painter()
{
    if (!_painter) {
        _painter = std::make_unique<QPainter>(&_image);
        _painter->setBrush(Qt::NoBrush);
    }
    return *_painter;
}

void outline_canvas::draw(const QPolygon &points, const QColor &colour)
{
    if (_bits && colour.isValid() && colour.alpha() == 255 && touching_chain(points)) {
        const QRgb value = colour.rgb();
        const int width = _image.width(), height = _image.height();
        for (const QPoint &p : points) {
            if (p.x() < 0 || p.y() < 0 || p.x() >= width || p.y() >= height)
                continue;
            std::memcpy(_bits + p.y() * _stride + p.x() * qsizetype(sizeof(QRgb)), &value,
                        sizeof value);
        }
        return;
    }
    QPainter &p = painter();
    p.setPen(QPen(colour, 1, Qt::SolidLine));
    if (points.size() == 1)
        p.drawPoint(points.first());
    else
        p.drawPolygon(points);
}
