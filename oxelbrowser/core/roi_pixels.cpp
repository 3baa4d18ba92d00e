// ROI masks in reusable buffers and the plane-by-plane walk of a database.
#include "roi_pixels.h"

#include "outline_walk.h"
#include "roidb_plus.h"

#include <algorithm> // std::fill

void roi_pixels::box_of(const roi &r, int &left, int &top, int &right, int &bottom)
{
    outline_walk::box b{r.x(), r.y(), r.x(), r.y()};
    outline_walk::boundary_points(r.x(), r.y(), r.outline_ref(), b, [](int, int) {});
    left = b.left;
    top = b.top;
    right = b.right;
    bottom = b.bottom;
}

void roi_pixels::make(const roi &r)
{
    int right, bottom;
    box_of(r, _left, _top, right, bottom);
    _width = right - _left + 1;
    _height = bottom - _top + 1;
    _bits.assign(static_cast<size_t>(_width) * _height, 0);
    _size = outline_walk::fill(_bits.data(), _width, _height, r.x() - _left, r.y() - _top,
                               r.outline_ref());
}

void for_each_roi_by_plane(roidb_plus &db, const std::function<void(const roi &)> &visit)
{
    if (db.count() == 0)
        return;
    const int t_end = db.t_max();
    roi r;
    roidb_plus::iterator it;
    for (int t = db.t_min(); t <= t_end; ++t)
        for (int z = 0; z < 1000; ++z) {
            db.seek_iter(t, z, 0, it);
            while (db.find_plus_iter(t, z, r, it))
                visit(r);
        }
}
