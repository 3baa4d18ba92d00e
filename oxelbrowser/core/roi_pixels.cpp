// ROI masks in reusable buffers and the ROIs of a time point by plane.
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

void rois_of_time_point(const roidb_plus &db, int t,
                        std::vector<std::vector<const roi *>> &by_plane)
{
    for (std::vector<const roi *> &plane : by_plane)
        plane.clear();
    // Database keys begin with the time point: its ROIs are one range.
    const roidb::map_type &rois = db.rois();
    const std::string first = time_key(t);
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
