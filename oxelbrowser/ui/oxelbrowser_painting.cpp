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
    m_pix = m_imgdb->img(m_time_point, m_focal_plane, name, m_cache_time);
    // Without its image the plane's outlines are drawn on black, so they stay
    // visible and can still be picked.
    if (m_pix.isNull()) {
        m_pix = QPixmap(frame_canvas->size());
        m_pix.fill(Qt::black);
    }
    drawROI(m_pix);
    if (m_show_centroid)
        drawLineage(m_pix);
}

void OXELBrowser::drawROI(QPixmap &pix)
{
    if (!m_roidb || !m_q_roiimgdb || pix.isNull())
        return;
    outline_canvas canvas(pix);
    const std::string lineage_root =
        m_lineage_mode_roi_set.empty() ? std::string() : *m_lineage_mode_roi_set.begin();
    roi r;
    m_roidb->seek(m_time_point, m_focal_plane, 0);
    while (m_roidb->find_plus(m_time_point, m_focal_plane, r)) {
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

        canvas.draw(m_q_roiimgdb->qrimg(r)->qpointarray(), color[code & (colour_table::size - 1)]);
    }
}

std::string OXELBrowser::xyROI(int image_x, int image_y)
{
    if (!m_roidb || !m_q_roiimgdb)
        return std::string();
    roi r;
    m_roidb->seek(m_time_point, m_focal_plane, 0);
    while (m_roidb->find_plus(m_time_point, m_focal_plane, r)) {
        q_roiimg *raster = m_q_roiimgdb->qrimg(r);
        const pos2i tl = raster->top_left(), br = raster->bottom_right();
        if (image_x < tl.x() || image_x > br.x() || image_y < tl.y() || image_y > br.y())
            continue;
        if (raster->value(image_x - tl.x(), image_y - tl.y()) != 0)
            return keygen(r);
    }
    return std::string();
}
