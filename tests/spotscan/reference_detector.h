// The detector as it was before it streamed: the whole grey image decoded,
// binarised, filled region by region and traced byte by byte. Kept only to
// compare the streaming detector's output with, byte for byte.
#pragma once

#include <string>
#include <vector>

namespace reference {

struct greyImage {
    unsigned width = 0;
    unsigned height = 0;
    std::vector<unsigned char> px; // row after row
};

// Decodes a valid JPEG held in memory: one component as it is, three by
// their blue component (as RGB).
bool decode_jpeg(const std::string &bytes, greyImage &img);
// Values below threshold become 0, the others 255.
void binarise(greyImage &img, int threshold);
// One line "x y digits" per region of equal non-zero value, in raster order.
std::string detect_lines(const greyImage &img);

} // namespace reference
