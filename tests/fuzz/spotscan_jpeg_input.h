// spotscan's JPEG input as the fuzzer and the replay test feed it: one JPEG
// from memory through the whole detector, and a check of what it printed.
#pragma once

#include "jpegScan.h"
#include "lineWriter.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace spotscan_fuzz {

// Small enough that one input never takes long or much memory: large
// declared sizes are refused up front, not decoded.
inline spotscan::jpegLimits limits()
{
    spotscan::jpegLimits l;
    l.library_memory = 64L << 20;
    l.pixels = uint64_t(1) << 18;
    l.scans = 100;
    return l;
}

// Every line is "x y digits": a start inside the declared size, a walk that
// begins with a step down and closes on itself.
inline bool well_formed(const std::string &lines)
{
    size_t pos = 0;
    while (pos < lines.size()) {
        const size_t end = lines.find('\n', pos);
        if (end == std::string::npos)
            return false;
        const std::string line = lines.substr(pos, end - pos);
        pos = end + 1;
        const size_t a = line.find(' '), b = line.find(' ', a + 1);
        if (a == std::string::npos || b == std::string::npos || b + 1 >= line.size() ||
            line[b + 1] != '2')
            return false;
        long dx = 0, dy = 0;
        for (size_t i = b + 1; i < line.size(); ++i) {
            switch (line[i]) {
            case '0':
                --dy;
                break;
            case '1':
                --dx;
                break;
            case '2':
                ++dy;
                break;
            case '3':
                ++dx;
                break;
            default:
                return false;
            }
        }
        if (dx != 0 || dy != 0)
            return false;
    }
    return true;
}

// The detector on one input; false when it printed something malformed.
inline bool run(const uint8_t *data, size_t size, spotscan::jpegResult *result = nullptr)
{
    spotscan::lineWriter out(-1);
    spotscan::jpegResult r = spotscan::detect_jpeg(data, size, 80, out, limits());
    const bool good = r.ok() ? well_formed(out.text()) && r.error.empty()
                             : out.text().empty() && !r.error.empty();
    if (result)
        *result = r;
    return good;
}

} // namespace spotscan_fuzz
