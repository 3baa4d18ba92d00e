// ROI masks in reusable buffers and the plane-by-plane walk of a database.
#include "roi_pixels.h"

#include "keygen.h"
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

void rois_of_time_point(const roidb_plus &db, int t,
                        std::vector<std::vector<const roi *>> &by_plane)
{
    for (std::vector<const roi *> &plane : by_plane)
        plane.clear();
    // Database keys begin with the time point: its ROIs are one range.
    const roidb::map_type &rois = db.rois();
    const std::string first = digit3(t);
    for (auto it = rois.lower_bound(first);
         it != rois.end() && it->first.compare(0, first.size(), first) == 0; ++it) {
        const roi &r = it->second;
        if (r.t() != t || r.z() < 0)
            continue;
        const size_t z = static_cast<size_t>(r.z());
        if (z >= by_plane.size())
            by_plane.resize(z + 1);
        by_plane[z].push_back(&r);
    }
}
