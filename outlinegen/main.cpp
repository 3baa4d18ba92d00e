// outlinegen: reads a block of pixels on standard input and answers with the
// outline of every 4-connected region of non-zero pixels.
//
// Request: width and height, each on a line, then height lines of width
// digits (non-zero: a region pixel). Answer: the number of regions, then two
// lines per region: "region K pixels P" and "outline X Y DIGITS", with X and
// Y relative to the block and the digits walking the outer boundary from the
// top-left corner of the region's first pixel, first step down, region on
// the left. Bad requests are reported on standard error and answered "0".
#include "image.h"
#include "roiDetect.h"

#include <cerrno>   // errno, EINTR
#include <cstdio>   // std::fwrite
#include <iostream>
#include <string>
#include <unistd.h> // read

using spotscan::image;
using spotscan::roi;
using spotscan::roiDetect;

namespace {

const long max_side = 16384;
// The largest valid request with room for a header and line ends.
const size_t max_request = static_cast<size_t>(max_side + 2) * max_side + 64;

struct request_error {
    std::string what;
};

// Reads standard input to its end, or fails once it is longer than any valid request.
bool read_all(std::string &in)
{
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(0, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        if (in.size() + static_cast<size_t>(n) > max_request)
            return false;
        in.append(buf, static_cast<size_t>(n));
    }
}

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

long read_number(const std::string &in, size_t &pos, const char *what)
{
    while (pos < in.size() && is_space(in[pos]) && in[pos] != '\n')
        ++pos;
    size_t start = pos;
    if (pos < in.size() && (in[pos] == '-' || in[pos] == '+'))
        ++pos;
    long v = 0;
    size_t digits = 0;
    while (pos < in.size() && in[pos] >= '0' && in[pos] <= '9') {
        if (v <= max_side)
            v = v * 10 + (in[pos] - '0');
        ++pos;
        ++digits;
    }
    if (digits == 0)
        throw request_error{std::string("the ") + what + " is missing or not a number"};
    if (in[start] == '-')
        v = -v;
    while (pos < in.size() && in[pos] != '\n' && is_space(in[pos]))
        ++pos;
    if (pos >= in.size() || in[pos] != '\n')
        throw request_error{std::string("the ") + what + " line holds more than a number"};
    ++pos;
    return v;
}

void parse(const std::string &in, image &block)
{
    size_t pos = 0;
    long width = read_number(in, pos, "width");
    long height = read_number(in, pos, "height");
    if (width <= 0 || height <= 0 || width > max_side || height > max_side)
        throw request_error{"block size " + std::to_string(width) + " x " +
                            std::to_string(height) + " is out of range (1 to " +
                            std::to_string(max_side) + ")"};
    block.setSize(static_cast<unsigned>(width), static_cast<unsigned>(height));
    for (long y = 0; y < height; ++y) {
        if (pos >= in.size())
            throw request_error{"the request ends after " + std::to_string(y) + " of " +
                                std::to_string(height) + " rows"};
        unsigned char *row = block.row(static_cast<unsigned>(y));
        for (long x = 0; x < width; ++x, ++pos) {
            char c = pos < in.size() ? in[pos] : '\n';
            if (c == '\n' || c == '\r')
                throw request_error{"row " + std::to_string(y) + " is shorter than " +
                                    std::to_string(width)};
            if (c < '0' || c > '9')
                throw request_error{"row " + std::to_string(y) + " holds a character that is not a digit"};
            row[x] = c != '0' ? 255 : 0;
        }
        if (pos < in.size() && in[pos] == '\r')
            ++pos;
        if (pos < in.size() && in[pos] != '\n')
            throw request_error{"row " + std::to_string(y) + " is longer than " +
                                std::to_string(width)};
        ++pos;
    }
    for (; pos < in.size(); ++pos)
        if (!is_space(in[pos]))
            throw request_error{"the request has more than " + std::to_string(height) + " rows"};
}

} // namespace

int main(int argc, char **)
{
    if (argc > 1) {
        std::cerr << "usage: outlinegen < request" << std::endl;
        std::fputs("0\n", stdout);
        return 2;
    }
    std::string in;
    image block;
    try {
        if (!read_all(in))
            throw request_error{"the request cannot be read or is larger than any block"};
        parse(in, block);
    } catch (const request_error &e) {
        std::cerr << "outlinegen: " << e.what << std::endl;
        std::fputs("0\n", stdout);
        return 1;
    }
    std::string().swap(in);

    roiDetect detector;
    detector.detect(block);
    std::string out = std::to_string(detector.rois().size()) + "\n";
    out.reserve(1 << 20);
    for (size_t k = 0; k < detector.rois().size(); ++k) {
        const roi &r = detector.rois()[k];
        out += "region " + std::to_string(k + 1) + " pixels " + std::to_string(detector.sizes()[k]) +
               "\noutline ";
        r.print(out);
        if (out.size() >= (1 << 20)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
