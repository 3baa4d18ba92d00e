// Raster of one ROI: the outline becomes a boundary polygon, an inclusive
// bounding box and a byte mask over that box.
#pragma once

#include "OXEL_pos"
#include "OXEL_roi"

#include <vector>

class roiimg : public roi {
public:
    using pos2i_list = std::vector<pos2i>;

    explicit roiimg(roi r);
    ~roiimg();
    roiimg(const roiimg &) = delete;
    roiimg &operator=(const roiimg &) = delete;

    // Appends a boundary pixel unless it repeats the last one; widens the box.
    void add(pos2i p);
    // Builds the mask (once): 1 inside, 0 outside.
    void map();
    void count_size();
    // Set (draw) or clear (erase) box-relative row p.y from column p.x
    // rightwards up to the next boundary byte or the box edge.
    void draw(pos2i p);
    void erase(pos2i p);
    // -1 before map(); 0 outside the box; else the mask byte. (x, y) box-relative.
    int value(int x, int y);

    pos2i top_left() { return _top_left; }
    pos2i bottom_right() { return _bottom_right; }
    int width() { return _width; }
    int height() { return _height; }
    int size() { return _size; }
    pos2i_list polygon() { return _polygon; }

protected:
    void _make_polygon();

    pos2i _top_left;
    pos2i _bottom_right;
    int _width;
    int _height;
    unsigned char *_image;
    int _size;
    pos2i_list _polygon;
};

// Number of pixels set in both (mapped) rasters.
int shared_pixels(roiimg &a, roiimg &b);
