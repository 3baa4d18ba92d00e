// The outline program's request: width and height, each on a line, then
// height lines of width digits (non-zero: a region pixel).
#pragma once

#include <cstddef> // size_t
#include <string>

namespace spotscan
{
class image;
}

namespace outlinegen
{

const long max_side = 16384;
// The largest valid request with room for a header and line ends.
const size_t max_request = static_cast<size_t>(max_side + 2) * max_side + 64;

// Fills block (255 for a region pixel, 0 elsewhere) from a whole request;
// false with one line saying what is wrong for anything else.
bool parse_request(const std::string &in, spotscan::image &block, std::string &problem);

} // namespace outlinegen
