// Label images as multi-page TIFF files: one page per plane, one unsigned
// label per pixel, 0 for background.
#pragma once

#include <cstdint>
#include <functional> // std::function
#include <string>
#include <vector>

namespace label_tiff
{

enum class compression { none, packbits, deflate, lzw };

// Writes pages of width x height 16-bit labels to path; fill(p, page) sets
// page p, row by row (the buffer comes cleared to 0). False with the reason
// in error when the file cannot be written.
bool write(const std::string &path, int width, int height, int pages,
           const std::function<void(int, uint16_t *)> &fill, compression how, std::string &error);

// Every page of a label image: 8-, 16- or 32-bit unsigned, one sample per
// pixel, all pages of one size.
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
