// Label images as multi-page TIFF files: one page per plane, one unsigned
// label per pixel, 0 for background.
#pragma once

#include <cstdint>
#include <functional> // std::function
#include <memory>     // std::unique_ptr
#include <string>
#include <vector>

typedef struct tiff TIFF;

namespace label_tiff
{

enum class compression { none, packbits, deflate, lzw };

// Writes pages of 16-bit labels one after the other.
class writer
{
public:
    writer();
    ~writer();
    writer(const writer &) = delete;
    writer &operator=(const writer &) = delete;

    bool open(const std::string &path, int width, int height, int pages, compression how,
              std::string &error);
    // The next page, row by row. libtiff may encode in place, so the page's
    // contents are undefined afterwards. When used_rows is given, rows whose
    // flag is 0 hold only background, and strips of such rows are written
    // from one encoding made once.
    bool write_page(uint16_t *page, std::string &error,
                    const std::vector<unsigned char> *used_rows = nullptr);
    // Finishes the file; false (with the reason) if anything failed.
    bool close(std::string &error);

private:
    // The encoded bytes of a strip of rows background rows.
    const std::string &background_strip(uint32_t rows);

    TIFF *_tif = nullptr;
    int _width = 0, _height = 0, _pages = 0, _page = 0;
    compression _how = compression::deflate;
    std::string _path;
    uint32_t _background_rows[2] = {0, 0};
    std::string _background[2];
    // Deflate strips are encoded by the writer itself, on helper threads.
    struct deflater;
    std::unique_ptr<deflater> _deflater;
    std::vector<std::string> _encoded;
    std::vector<size_t> _encoded_length;
};

// Reads the pages of a label image one after the other: 8-, 16- or 32-bit
// unsigned, one sample per pixel, every page of one size.
class reader
{
public:
    reader() = default;
    ~reader();
    reader(const reader &) = delete;
    reader &operator=(const reader &) = delete;

    bool open(const std::string &path, std::string &error);
    // The next page into labels (width x height values, row by row); false
    // after the last page (error empty) or on a fault (error set).
    bool next_page(std::vector<uint32_t> &labels, std::string &error);
    int width() const { return _width; }
    int height() const { return _height; }
    // Pages read so far.
    int pages() const { return _pages; }

private:
    TIFF *_tif = nullptr;
    bool _more = false;
    int _width = 0, _height = 0, _pages = 0;
    std::string _path;
    std::vector<unsigned char> _strip;
};

// Writes pages of width x height 16-bit labels to path; fill(p, page) sets
// page p, row by row (the buffer comes cleared to 0). False with the reason
// in error when the file cannot be written.
bool write(const std::string &path, int width, int height, int pages,
           const std::function<void(int, uint16_t *)> &fill, compression how, std::string &error);

// Every page of a label image.
struct stack {
    int width = 0;
    int height = 0;
    int pages = 0;
    std::vector<uint32_t> labels; // page after page, row by row

    const uint32_t *page(int p) const
    {
        return labels.data() + static_cast<size_t>(p) * width * height;
    }
};

// Reads path into out; false with the reason in error (out is then unspecified).
bool read(const std::string &path, stack &out, std::string &error);

} // namespace label_tiff
