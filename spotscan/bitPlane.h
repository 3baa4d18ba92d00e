// A binary image, one bit per pixel, that grows a row at a time at the
// bottom and forgets rows at the top once nothing needs them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The detector keeps its own small classes apart from the browser's.
namespace spotscan {

class bitPlane {
public:
    bitPlane();

    // Empties the plane for rows of width pixels; height_hint (the declared
    // height) only bounds how much room is asked for at once.
    void reset(unsigned width, unsigned height_hint);
    // Appends a row: a pixel is set when its grey value is threshold or more.
    void add_row(const unsigned char *grey, int threshold);
    // Forgets every row above row y: they read as clear from now on, and
    // their room takes new rows.
    void drop_rows_before(unsigned y);
    // Releases the storage (reset does it too).
    void clear();

    unsigned width() const { return _width; }
    // Rows added so far.
    unsigned height() const { return static_cast<unsigned>(_rows.size() - 2); }
    // Words per row. Pixel x is bit x + 64 of its row: the first word and
    // the bits past the width stay clear, so that a walk along the border
    // reads its outside neighbours as background without bounds tests.
    size_t words() const { return _words; }
    // Row y for y from -1 to height(); rows -1, height() and the forgotten
    // ones are clear.
    const uint64_t *row(int y) const { return _rows[static_cast<size_t>(y + 1)]; }
    // The same rows as an array: rows()[y] for y from -1 to height().
    const uint64_t *const *rows() const { return _rows.data() + 1; }
    // Whether pixel (x, y) is set; anything outside the image is not.
    bool in(int x, int y) const;

private:
    void grow();

    unsigned _width;
    size_t _words;
    unsigned _height_hint;
    // Row pointers from row -1 to row height(); forgotten rows and the two
    // ends point at a clear row.
    std::vector<const uint64_t *> _rows;
    // Room for _capacity rows, row y in slot y % _capacity.
    std::vector<uint64_t> _room;
    size_t _capacity;
    unsigned _first; // oldest row still kept
    std::vector<uint64_t> _blank;
};

} // namespace spotscan
