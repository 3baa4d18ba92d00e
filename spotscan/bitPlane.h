// A binary image, one bit per pixel, that grows a row at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The detector keeps its own small classes apart from the browser's.
namespace spotscan {

class bitPlane {
public:
    bitPlane();
    ~bitPlane();
    bitPlane(const bitPlane &) = delete;
    bitPlane &operator=(const bitPlane &) = delete;

    // Empties the plane for rows of width pixels; height_hint says how much
    // to ask for at once, never that so many rows will come, so a file that
    // declares a huge size but ends early costs only the rows it holds.
    void reset(unsigned width, unsigned height_hint);
    // Appends a row: a pixel is set when its grey value is threshold or more.
    void add_row(const unsigned char *grey, int threshold);
    // Releases the storage (reset and the destructor do it too).
    void clear();

    unsigned width() const { return _width; }
    unsigned height() const { return static_cast<unsigned>(_rows.size() - 2); }
    // Words per row. Pixel x is bit x + 64 of its row: the first word and
    // the bits past the width stay clear, so that a walk along the border
    // reads its outside neighbours as background without bounds tests.
    size_t words() const { return _words; }
    // Row y for y from -1 to height(); rows -1 and height() are clear.
    const uint64_t *row(int y) const { return _rows[static_cast<size_t>(y + 1)]; }
    // The same rows as an array: rows()[y] for y from -1 to height().
    const uint64_t *const *rows() const { return _rows.data() + 1; }
    // Whether pixel (x, y) is set; anything outside the image is not.
    bool in(int x, int y) const;

private:
    unsigned _width;
    size_t _words;
    // Row pointers from row -1 to row height(); the rows live in chunks asked
    // for as they fill, the first and last pointers at a clear row.
    std::vector<uint64_t *> _rows;
    std::vector<void *> _chunks;
    size_t _chunk_rows;
    size_t _free_rows;
    uint64_t *_next;
    std::vector<uint64_t> _blank;
};

} // namespace spotscan
