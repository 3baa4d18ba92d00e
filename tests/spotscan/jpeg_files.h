// JPEG files made for the detector's tests: encoded from grey values, made
// by hand (flat images of any declared size from a few bytes), and doctored.
#pragma once

#include <random>
#include <string>
#include <vector>

namespace jpegfiles {

// Grey values row after row, width × height.
struct grey {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<unsigned char> px;
};

// Greyscale, or colour with the grey values as blue (red and green drawn
// from rng, or grey too without one); baseline or progressive.
std::string encode(const grey &g, bool colour = false, bool progressive = false, int quality = 95,
                   std::mt19937 *rng = nullptr);
// A four-component (CMYK) JPEG.
std::string encode_cmyk(unsigned width, unsigned height);
// A flat mid-grey greyscale JPEG built by hand: its data holds blocks of
// the image's blocks (all of them when blocks < 0), two bits each.
std::string flat(unsigned width, unsigned height, long blocks = -1);
// The same image declared with another size.
std::string with_size(std::string jpeg, unsigned width, unsigned height);
// Bytes that belong to no segment, put before the marker at offset at.
std::string with_bytes_before(std::string jpeg, size_t at, const std::string &junk);
// Offset of the first marker 0xFF code, or npos.
size_t find_marker(const std::string &jpeg, unsigned char code);

// Writes bytes to path; false when that fails.
bool write_file(const std::string &path, const std::string &bytes);

} // namespace jpegfiles
