// The pixels of ROIs for whole-plane work (label images, overlap counts):
// one ROI's mask in a reusable buffer, and the ROIs of a time point by plane.
#pragma once

#include "OXEL_roi"

#include <cstddef>
#include <string>
#include <vector>

class roidb_plus;

// The mask of one ROI by the outline rules of every raster of the browser:
// the inclusive box over the start point and the boundary pixels, and one
// byte per pixel of the box, 1 inside.
class roi_pixels
{
public:
    // Rasterises r, reusing the buffer of the previous ROI.
    void make(const roi &r);
    // Only the box (no mask): the extent of r.
    static void box_of(const roi &r, int &left, int &top, int &right, int &bottom);

    int left() const { return _left; }
    int top() const { return _top; }
    int width() const { return _width; }
    int height() const { return _height; }
    size_t size() const { return _size; }
    // Box-relative row y of the mask.
    const unsigned char *row(int y) const { return _bits.data() + static_cast<size_t>(y) * _width; }

private:
    int _left = 0, _top = 0, _width = 0, _height = 0;
    size_t _size = 0;
    std::vector<unsigned char> _bits;
};

// The ROIs of time point t by plane: by_plane[z] in database key order (x,
// then y). by_plane grows to the highest plane; its lists are replaced. The
// pointers stay valid while db is unchanged.
void rois_of_time_point(const roidb_plus &db, int t,
                        std::vector<std::vector<const roi *>> &by_plane);
