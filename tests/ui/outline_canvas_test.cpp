// Outlines written pixel by pixel must look exactly as the painter draws them.
#include "outline_canvas.h"

#include "blobs.h"
#include "q_roiimg.h"

#include <QPainter>
#include <QPixmap>
#include <gtest/gtest.h>

#include <random>

namespace {

QImage painted(const QPixmap &start, const QPolygon &points, const QColor &colour)
{
    QPixmap pix = start;
    QPainter p(&pix);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(colour, 1, Qt::SolidLine));
    if (points.size() == 1)
        p.drawPoint(points.first());
    else
        p.drawPolygon(points);
    p.end();
    return pix.toImage();
}

QImage drawn(const QPixmap &start, const QPolygon &points, const QColor &colour)
{
    QPixmap pix = start;
    {
        outline_canvas canvas(pix);
        canvas.draw(points, colour);
    }
    return pix.toImage();
}

QPixmap grey_canvas(int size)
{
    QImage img(size, size, QImage::Format_Grayscale8);
    img.fill(60);
    return QPixmap::fromImage(img);
}

} // namespace

// Traced blobs of every size, some reaching over the canvas's edges.
TEST(OutlineCanvas, TracedOutlinesMatchThePainterPixelForPixel)
{
    std::mt19937 rng(11);
    const QPixmap start = grey_canvas(48);
    int compared = 0;
    for (int i = 0; i < 600; ++i) {
        const int w = 1 + static_cast<int>(rng() % 24), h = 1 + static_cast<int>(rng() % 24);
        testsupport::Bitmap blob = i % 2 ? testsupport::random_blob(rng, w, h, 1 + rng() % (w * h))
                                         : testsupport::random_noise(rng, w, h, 0.5);
        const testsupport::Outline o = testsupport::trace(blob);
        if (o.digits.empty())
            continue;
        const int dx = static_cast<int>(rng() % 64) - 20, dy = static_cast<int>(rng() % 64) - 20;
        q_roiimg raster(roi(o.x + dx, o.y + dy, 0, 0, o.digits));
        const QColor colour = i % 3 ? QColor("#b7ff00") : QColor("#ff5555");
        ASSERT_EQ(drawn(start, raster.qpointarray(), colour),
                  painted(start, raster.qpointarray(), colour))
            << "outline " << o.digits << " at " << o.x + dx << " " << o.y + dy;
        ++compared;
    }
    EXPECT_GT(compared, 500);
}

// Chains that do not close up, translucent or invalid colours and canvases
// with an alpha channel all go the painter's way, and look the same.
TEST(OutlineCanvas, OtherOutlinesAndColoursLookAsPainted)
{
    const QPixmap grey = grey_canvas(40);
    QPixmap clear(40, 40);
    clear.fill(Qt::transparent);
    const QPolygon open_chain({QPoint(2, 2), QPoint(3, 2), QPoint(20, 30), QPoint(5, 7)});
    const QPolygon ring({QPoint(5, 5), QPoint(5, 6), QPoint(6, 6), QPoint(6, 5)});
    for (const QPixmap &start : {grey, clear})
        for (const QColor &colour : {QColor("#ee86ff"), QColor(10, 200, 30, 128), QColor()})
            for (const QPolygon &points : {open_chain, ring, QPolygon({QPoint(9, 9)}), QPolygon()})
                EXPECT_EQ(drawn(start, points, colour), painted(start, points, colour))
                    << colour.name(QColor::HexArgb).toStdString() << " " << points.size()
                    << " points";
}
