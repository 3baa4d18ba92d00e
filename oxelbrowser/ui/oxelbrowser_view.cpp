// The canvas' view of the image: zoom, scroll bars, and the window's layout
// when it is resized (the canvas grows, the controls below it move down).
#include "OXELBrowser.h"

#include <QFrame>
#include <QLabel>
#include <QResizeEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>

#include <algorithm> // std::max

namespace
{

// The designed window, and the smallest canvas a smaller window leaves.
const QSize designed_window(620, 878);
const int smallest_canvas = 200;

} // namespace

void OXELBrowser::layoutWindow()
{
    if (!m_hbar) {
        // Scroll bars inside the canvas, shown only while the image goes beyond it.
        m_hbar = new QScrollBar(Qt::Horizontal, frame_canvas);
        m_vbar = new QScrollBar(Qt::Vertical, frame_canvas);
        m_hbar->setObjectName("scrollBar_canvas_horizontal");
        m_vbar->setObjectName("scrollBar_canvas_vertical");
        for (QScrollBar *bar : {m_hbar, m_vbar}) {
            bar->setFocusPolicy(Qt::NoFocus);
            bar->hide();
            connect(bar, &QScrollBar::valueChanged, this, [this](int) {
                m_view.scroll_to(QPoint(m_hbar->value(), m_vbar->value()));
                dirty = true;
                repaintNow();
            });
        }
    }
    if (m_designed.empty()) {
        for (QObject *child : QObject::children()) {
            auto *widget = qobject_cast<QWidget *>(child);
            if (widget && !widget->isWindow() && widget != frame_canvas)
                m_designed.emplace_back(widget, widget->geometry());
        }
        setMinimumSize(designed_window.width(), designed_window.height() - (601 - smallest_canvas));
        return;
    }
    const int dx = std::max(0, width() - designed_window.width());
    const int dy = height() - designed_window.height();
    frame_canvas->setGeometry(10, 10, 601 + dx, std::max(smallest_canvas, 601 + dy));
    for (const auto &[widget, designed] : m_designed) {
        QRect r = designed.translated(0, dy);
        // The sliders and the status line take the width the window gains.
        if (widget == slider_time_point || widget == slider_focal_plane || widget == m_status)
            r.setWidth(r.width() + dx);
        widget->setGeometry(r);
    }
}

void OXELBrowser::resizeEvent(QResizeEvent *e)
{
    QWidget::resizeEvent(e);
    layoutWindow();
    updateView(m_view.image_size());
    dirty = true;
    update();
}

QRect OXELBrowser::viewportRect() const
{
    return QRect(QPoint(0, 0), m_view.viewport());
}

void OXELBrowser::updateView(QSize image)
{
    const QSize frame = frame_canvas->size();
    const bool known = !image.isEmpty();
    if (!known)
        image = frame;
    if (m_view_fresh && known) {
        // The designed frame shows an image up to its size at 1:1; a larger
        // one opens whole.
        m_view.set_sizes(image, frame);
        if (image.width() <= frame.width() && image.height() <= frame.height())
            m_view.set_zoom(1.0, QPoint(0, 0));
        else
            m_view.fit();
        m_view_fresh = false;
    }
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_hbar);
    // Which scroll bars the zoomed image needs; the view takes the room they
    // leave only once that is known, so that a trial size never cuts its scroll.
    bool across = false, down = false;
    QSize viewport = frame;
    for (int pass = 0; pass < 3; ++pass) {
        viewport =
            QSize(frame.width() - (down ? extent : 0), frame.height() - (across ? extent : 0));
        canvas_view trial = m_view;
        trial.set_sizes(image, viewport);
        const QSize zoomed = trial.zoomed_size();
        const bool need_across = zoomed.width() > viewport.width();
        const bool need_down = zoomed.height() > viewport.height();
        if (need_across == across && need_down == down)
            break;
        across = need_across;
        down = need_down;
        viewport =
            QSize(frame.width() - (down ? extent : 0), frame.height() - (across ? extent : 0));
    }
    m_view.set_sizes(image, viewport);
    showScrollBars();
}

void OXELBrowser::showScrollBars()
{
    if (!m_hbar)
        return;
    const QSize viewport = m_view.viewport();
    const QPoint limit = m_view.scroll_limit();
    const QSignalBlocker hold_h(m_hbar), hold_v(m_vbar);
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_hbar);
    m_hbar->setVisible(limit.x() > 0);
    m_vbar->setVisible(limit.y() > 0);
    m_hbar->setGeometry(0, viewport.height(), viewport.width(), extent);
    m_vbar->setGeometry(viewport.width(), 0, extent, viewport.height());
    m_hbar->setRange(0, limit.x());
    m_vbar->setRange(0, limit.y());
    m_hbar->setPageStep(std::max(1, viewport.width()));
    m_vbar->setPageStep(std::max(1, viewport.height()));
    m_hbar->setSingleStep(std::max(1, viewport.width() / 20));
    m_vbar->setSingleStep(std::max(1, viewport.height() / 20));
    m_hbar->setValue(m_view.scroll().x());
    m_vbar->setValue(m_view.scroll().y());
}

void OXELBrowser::zoomCanvas(int steps, QPoint anchor)
{
    if (!m_imgdb)
        return;
    for (; steps > 0; --steps)
        m_view.zoom_in(anchor);
    for (; steps < 0; ++steps)
        m_view.zoom_out(anchor);
    updateView(m_view.image_size());
    dirty = true;
    repaintNow();
}

void OXELBrowser::fitCanvas()
{
    if (!m_imgdb)
        return;
    m_view.set_sizes(m_view.image_size(), frame_canvas->size());
    m_view.fit();
    updateView(m_view.image_size());
    dirty = true;
    repaintNow();
}

void OXELBrowser::scrollCanvas(QPoint delta)
{
    if (!m_imgdb)
        return;
    m_view.scroll_by(delta);
    showScrollBars();
    dirty = true;
    repaintNow();
}

bool OXELBrowser::imagePoint(const QPointF &window_position, QPoint &pixel) const
{
    const QPoint canvas = window_position.toPoint() - frame_canvas->pos();
    if (!viewportRect().contains(canvas))
        return false;
    pixel = m_view.image_pixel(canvas);
    return true;
}
