// Zoom and scroll of the canvas.
#include "canvas_view.h"

#include <algorithm> // std::clamp, std::min, std::max
#include <cmath>     // std::floor, std::ceil

namespace
{

// Zoom levels: 1, 1.5, 2, 3, 4, 6, ... and their inverses.
double level(int step)
{
    const int whole = step >= 0 ? step / 2 : -((-step + 1) / 2);
    const bool half = (step % 2) != 0;
    double z = std::ldexp(1.0, whole);
    if (half)
        z *= 1.5;
    return z;
}

} // namespace

void canvas_view::set_sizes(QSize image, QSize viewport)
{
    _image = QSize(std::max(0, image.width()), std::max(0, image.height()));
    _viewport = QSize(std::max(0, viewport.width()), std::max(0, viewport.height()));
    scroll_to(_scroll);
}

QSize canvas_view::zoomed_size() const
{
    // A fitted image must not spill over by a rounding error.
    const double slack = 1e-6;
    return QSize(static_cast<int>(std::ceil(_image.width() * _zoom - slack)),
                 static_cast<int>(std::ceil(_image.height() * _zoom - slack)));
}

QPoint canvas_view::scroll_limit() const
{
    const QSize z = zoomed_size();
    return QPoint(std::max(0, z.width() - _viewport.width()),
                  std::max(0, z.height() - _viewport.height()));
}

void canvas_view::scroll_to(QPoint scroll)
{
    const QPoint limit = scroll_limit();
    _scroll = QPoint(std::clamp(scroll.x(), 0, limit.x()), std::clamp(scroll.y(), 0, limit.y()));
}

void canvas_view::set_zoom(double zoom, QPoint anchor)
{
    zoom = std::clamp(zoom, min_zoom, max_zoom);
    const double ix = (anchor.x() + _scroll.x()) / _zoom;
    const double iy = (anchor.y() + _scroll.y()) / _zoom;
    _zoom = zoom;
    scroll_to(QPoint(static_cast<int>(std::floor(ix * _zoom - anchor.x() + 0.5)),
                     static_cast<int>(std::floor(iy * _zoom - anchor.y() + 0.5))));
}

void canvas_view::zoom_in(QPoint anchor)
{
    for (int step = -10; step <= 10; ++step)
        if (level(step) > _zoom * 1.0001) {
            set_zoom(level(step), anchor);
            return;
        }
}

void canvas_view::zoom_out(QPoint anchor)
{
    for (int step = 10; step >= -10; --step)
        if (level(step) < _zoom * 0.9999) {
            set_zoom(level(step), anchor);
            return;
        }
}

double canvas_view::fit_zoom() const
{
    if (_image.isEmpty() || _viewport.isEmpty())
        return 1.0;
    const double z = std::min(double(_viewport.width()) / _image.width(),
                              double(_viewport.height()) / _image.height());
    return std::clamp(z, min_zoom, max_zoom);
}

void canvas_view::fit()
{
    _zoom = fit_zoom();
    scroll_to(QPoint(0, 0));
}

QPoint canvas_view::image_pixel(QPoint canvas) const
{
    return QPoint(static_cast<int>(std::floor((canvas.x() + _scroll.x()) / _zoom)),
                  static_cast<int>(std::floor((canvas.y() + _scroll.y()) / _zoom)));
}

QPointF canvas_view::to_canvas(QPointF image) const
{
    return QPointF(image.x() * _zoom - _scroll.x(), image.y() * _zoom - _scroll.y());
}

QPoint canvas_view::pixel_centre(QPoint pixel) const
{
    const QPointF c = to_canvas(QPointF(pixel.x() + 0.5, pixel.y() + 0.5));
    return QPoint(static_cast<int>(std::floor(c.x())), static_cast<int>(std::floor(c.y())));
}

QRect canvas_view::visible_pixels() const
{
    const QPoint first = image_pixel(QPoint(0, 0));
    // The far edge of the last canvas pixel may still show part of an image pixel.
    const int right =
        static_cast<int>(std::ceil((_viewport.width() + _scroll.x()) / _zoom - 1e-9)) - 1;
    const int bottom =
        static_cast<int>(std::ceil((_viewport.height() + _scroll.y()) / _zoom - 1e-9)) - 1;
    return QRect(first, QPoint(right, bottom)).intersected(QRect(QPoint(0, 0), _image));
}
