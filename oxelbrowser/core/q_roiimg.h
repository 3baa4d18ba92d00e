// The browser's raster of one ROI: boundary as a Qt point array for drawing,
// inclusive box, byte mask and the centroid of the set pixels.
#pragma once

#include "OXEL_pos"
#include "OXEL_roi"

#include <QPolygon>

class raster_arena;

class q_roiimg : public roi
{
public:
    explicit q_roiimg(roi r);
    // A raster whose mask comes from the arena (which must outlive it).
    q_roiimg(roi r, raster_arena *arena);
    ~q_roiimg();
    q_roiimg(const q_roiimg &) = delete;
    q_roiimg &operator=(const q_roiimg &) = delete;

    void _add_point(int x, int y);
    void map();
    // Turns every set byte into 1, counts them and takes their centroid.
    void count_size();
    void draw(pos2i p);
    void erase(pos2i p);
    // -1 before map(); 0 outside the box; else the mask byte. (x, y) box-relative.
    int value(int x, int y) const
    {
        if (!_image)
            return -1;
        if (x < 0 || x >= _width || y < 0 || y >= _height)
            return 0;
        return _image[static_cast<size_t>(y) * _width + x];
    }

    // The mask, width() bytes a row, each 0 or 1 once mapped; null before.
    const unsigned char *mask() const { return _image; }

    pos2i top_left() const { return _top_left; }
    pos2i bottom_right() const { return _bottom_right; }
    int width() const { return _width; }
    int height() const { return _height; }
    int size() const { return _size; }
    // Traced on the first call: only drawing needs it.
    const QPolygon &qpointarray() const
    {
        if (!_traced)
            _make_polygon();
        return _qpointarray;
    }
    // Boundary points the walk visits (repeats included): what the point
    // array will hold at most, known before it is traced.
    size_t boundary_points() const { return _boundary_points; }
    // (cx, cy, z); for a raster without pixels, the box's top-left corner.
    pos3d centroid() const { return pos3d(_cx, _cy, _z); }

protected:
    void _make_polygon() const;
    unsigned char *_new_mask(size_t bytes, bool zeroed);

    pos2i _top_left;
    pos2i _bottom_right;
    int _width;
    int _height;
    double _cx;
    double _cy;
    unsigned char *_image;
    int _size;
    size_t _boundary_points;
    // Whether the walk fits (see outline_walk::walk_fits); a raster whose
    // walk does not keeps no points and no pixels.
    bool _walk_fits;
    mutable bool _traced;
    mutable QPolygon _qpointarray;
    raster_arena *_arena;
};

// Pixels set in both rasters; 0 when their boxes do not meet.
int q_shared_pixels(q_roiimg *a, q_roiimg *b);
// Whether any pixel is set in both rasters.
bool is_overlap(q_roiimg *a, q_roiimg *b);
