// Where the image lies on the canvas: its zoom and scroll position, and the
// mapping between canvas points and image pixels both ways.
#pragma once

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSize>

// A canvas point c shows the image pixel floor((c + scroll) / zoom); the
// image pixel i covers the canvas from i * zoom - scroll to (i + 1) * zoom -
// scroll. The scroll position is in canvas pixels and stays where the zoomed
// image still covers the canvas (0 where it does not fill it).
class canvas_view
{
public:
    static constexpr double min_zoom = 1.0 / 32;
    static constexpr double max_zoom = 32;

    // The sizes of the image and of the canvas part it is shown in; the zoom
    // stays, the scroll position is kept within the new bounds.
    void set_sizes(QSize image, QSize viewport);
    QSize image_size() const { return _image; }
    QSize viewport() const { return _viewport; }

    double zoom() const { return _zoom; }
    QPoint scroll() const { return _scroll; }
    // The image at the zoom, in canvas pixels (rounded up).
    QSize zoomed_size() const;
    // The most the view can scroll in each direction.
    QPoint scroll_limit() const;
    // At 1:1 with the image's top-left pixel at the canvas' top-left corner.
    bool one_to_one() const { return _zoom == 1.0 && _scroll.isNull(); }

    // The zoom changes, and the image point under anchor (a canvas point)
    // stays under it.
    void set_zoom(double zoom, QPoint anchor);
    // To the next zoom level in or out (powers of two and one and a half
    // times them, from 1/32 to 32), about anchor.
    void zoom_in(QPoint anchor);
    void zoom_out(QPoint anchor);
    // The largest zoom at which the whole image shows, scrolled to its top left.
    void fit();
    // The zoom fit() would choose.
    double fit_zoom() const;
    void scroll_to(QPoint scroll);
    void scroll_by(QPoint delta) { scroll_to(_scroll + delta); }

    // The image pixel a canvas point shows (it may lie outside the image).
    QPoint image_pixel(QPoint canvas) const;
    // Where an image point (pixel corners at whole numbers) lands on the canvas.
    QPointF to_canvas(QPointF image) const;
    // The canvas point at the centre of an image pixel, rounded down.
    QPoint pixel_centre(QPoint pixel) const;
    // The image pixels the canvas shows, wholly or in part, within the image.
    QRect visible_pixels() const;

private:
    QSize _image{0, 0};
    QSize _viewport{0, 0};
    double _zoom = 1.0;
    QPoint _scroll{0, 0};
};
