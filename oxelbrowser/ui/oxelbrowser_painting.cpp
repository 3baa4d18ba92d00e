// The canvas: the image of the current plane with its ROIs in state colours,
// and the hit test from an image pixel to the ROI under it.
#include "ImageDB.h"
#include "OXELBrowser.h"
#include "colour_table.h"
#include "keygen.h"
#include "outline_canvas.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"

#include <QFrame>
#include <QPaintEvent>
#include <QPainter>

void OXELBrowser::paintEvent(QPaintEvent *)
{
    // Every paint event counts as spontaneous in this toolkit, so whether
    // anything changed is told by the position and the dirty flag alone.
    if (!m_imgdb || m_paint_held)
        return;
    if (m_time_point == m_prev_t && m_focal_plane == m_prev_z && !dirty)
        return;
    dirty = false;
    m_prev_t = m_time_point;
    m_prev_z = m_focal_plane;
    myPaint();

    // The image sits at the top left, unscaled; the rest of the canvas stays black
    // rather than repeating the image.
    QPixmap background = m_pix;
    if (m_pix.size() != frame_canvas->size()) {
        background = QPixmap(frame_canvas->size());
        background.fill(Qt::black);
        QPainter p(&background);
        p.drawPixmap(0, 0, m_pix);
    }
    QPalette palette = frame_canvas->palette();
    palette.setBrush(frame_canvas->backgroundRole(), QBrush(background));
    frame_canvas->setPalette(palette);
    frame_canvas->setAutoFillBackground(true);
}

void OXELBrowser::myPaint()
{
    if (!m_imgdb)
        return;
    const QString name = m_img_base + QString::fromStdString(::digit3(m_time_point)) + "-" +
                         QString::fromStdString(::digit3(m_focal_plane)) + ".jpg";
    const QPixmap image = m_imgdb->img(m_time_point, m_focal_plane, name, m_cache_time);
    if (!image.isNull())
        m_image_size = image.size();
    updateView(m_image_size);
    const QSize viewport = m_view.viewport();
    const QSize shown = m_view.image_size();
    if (m_view.one_to_one() && shown.width() <= viewport.width() &&
        shown.height() <= viewport.height()) {
        // The whole image at 1:1 at the canvas' top left, as designed.
        m_pix = image;
        // Without its image the plane's outlines are drawn on black, so they
        // stay visible and can still be picked.
        if (m_pix.isNull()) {
            m_pix = QPixmap(frame_canvas->size());
            m_pix.fill(Qt::black);
        }
    } else {
        // Only the part of the image in view, at the zoom.
        m_pix = QPixmap(viewport);
        m_pix.fill(Qt::black);
        const QRect part = m_view.visible_pixels();
        if (!image.isNull() && !part.isEmpty()) {
            QPainter p(&m_pix);
            if (m_view.zoom() < 1.0)
                p.setRenderHint(QPainter::SmoothPixmapTransform);
            const double zoom = m_view.zoom();
            const QPointF corner = m_view.to_canvas(QPointF(part.topLeft()));
            p.drawPixmap(QRectF(corner, QSizeF(part.width() * zoom, part.height() * zoom)), image,
                         QRectF(part));
        }
    }
    drawROI(m_pix);
    if (m_show_centroid)
        drawLineage(m_pix);
}

namespace
{

// A box the outline of r cannot leave: every pixel of its region lies within
// the outline's length of its start.
bool may_meet(const roi &r, const QRect &pixels)
{
    const int reach = static_cast<int>(r.outline_ref().size()) + 1;
    return r.x() + reach >= pixels.left() && r.x() - reach <= pixels.right() &&
           r.y() + reach >= pixels.top() && r.y() - reach <= pixels.bottom();
}

} // namespace

void OXELBrowser::drawROI(QPixmap &pix)
{
    if (!m_roidb || !m_q_roiimgdb || pix.isNull())
        return;
    outline_canvas canvas(pix);
    const std::string lineage_root =
        m_lineage_mode_roi_set.empty() ? std::string() : *m_lineage_mode_roi_set.begin();
    // Beyond the designed view only the ROIs in view are drawn, at the view's zoom.
    const bool mapped = !m_view.one_to_one();
    const QRect visible = m_view.visible_pixels();
    const bool whole = visible.size() == m_view.image_size();
    QPolygon placed;
    roi r;
    m_roidb->seek(m_time_point, m_focal_plane, 0);
    while (m_roidb->find_plus(m_time_point, m_focal_plane, r)) {
        if (!whole && !may_meet(r, visible))
            continue;
        const std::string key = keygen(r);
        int code = m_selected_roi_set.count(key) ? colour_table::selected : 0;
        if (m_removed_roi_set.count(key))
            code |= colour_table::removed;
        if (m_mouse_over_roi_set.count(key))
            code |= colour_table::highlight;
        if (m_fwd_roi_set.count(key))
            code |= colour_table::forward;
        if (m_bwd_roi_set.count(key))
            code |= colour_table::backward;
        const std::string h = head(key);
        if (!lineage_root.empty() && h != "N/A") {
            if (h == lineage_root)
                code |= colour_table::lineage;
            else if (reach(h, lineage_root))
                code |= colour_table::forward | colour_table::backward;
        }
        if (!m_review_unit.empty() && h == m_review_unit)
            code |= colour_table::highlight;
        if (h != "N/A" && isElite(h))
            code |= colour_table::elite;
        if (m_show_tracked_rois_mode && !(code & (colour_table::forward | colour_table::backward)))
            continue;

        const QPolygon &points = m_q_roiimgdb->qrimg(r)->qpointarray();
        const QColor &colour = color[code & (colour_table::size - 1)];
        if (!mapped) {
            canvas.draw(points, colour);
            continue;
        }
        // Through the centres of the boundary pixels: a chain that touches
        // at a zoom below 1 still touches, and is written pixel by pixel.
        placed.clear();
        for (const QPoint &point : points) {
            const QPoint c = m_view.pixel_centre(point);
            if (placed.isEmpty() || placed.last() != c)
                placed.append(c);
        }
        if (placed.size() > 1 && placed.first() == placed.last())
            placed.removeLast();
        canvas.draw(placed, colour);
    }
}

std::string OXELBrowser::xyROI(int image_x, int image_y)
{
    if (!m_roidb || !m_q_roiimgdb)
        return std::string();
    const QRect here(image_x, image_y, 1, 1);
    roi r;
    m_roidb->seek(m_time_point, m_focal_plane, 0);
    while (m_roidb->find_plus(m_time_point, m_focal_plane, r)) {
        // ROIs that cannot reach the point need no raster.
        if (!may_meet(r, here))
            continue;
        q_roiimg *raster = m_q_roiimgdb->qrimg(r);
        const pos2i tl = raster->top_left(), br = raster->bottom_right();
        if (image_x < tl.x() || image_x > br.x() || image_y < tl.y() || image_y > br.y())
            continue;
        if (raster->value(image_x - tl.x(), image_y - tl.y()) != 0)
            return keygen(r);
    }
    return std::string();
}
