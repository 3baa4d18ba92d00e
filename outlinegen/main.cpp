// outlinegen: reads a block of pixels on standard input and answers with the
// outline of every 4-connected region of non-zero pixels.
//
// Request: width and height, each on a line, then height lines of width
// digits (non-zero: a region pixel). Answer: the number of regions, then two
// lines per region: "region K pixels P" and "outline X Y DIGITS", with X and
// Y relative to the block and the digits walking the outer boundary from the
// top-left corner of the region's first pixel, first step down, region on
// the left. Bad requests are reported on standard error and get no answer,
// so that the browser never takes a refusal for a block without regions.
#include "image.h"
#include "request.h"
#include "roiDetect.h"

#include <cerrno> // errno, EINTR
#include <cstdio> // std::fwrite
#include <iostream>
#include <string>
#include <unistd.h> // read

using spotscan::image;
using spotscan::roi;
using spotscan::roiDetect;

namespace {

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
        if (in.size() + static_cast<size_t>(n) > outlinegen::max_request)
            return false;
        in.append(buf, static_cast<size_t>(n));
    }
}

} // namespace

int main(int argc, char **)
{
    if (argc > 1) {
        std::cerr << "usage: outlinegen < request" << std::endl;
        return 2;
    }
    std::string in;
    image block;
    std::string problem;
    if (!read_all(in))
        problem = "the request cannot be read or is larger than any block";
    else
        outlinegen::parse_request(in, block, problem);
    if (!problem.empty()) {
        std::cerr << "outlinegen: " << problem << std::endl;
        return 1;
    }
    std::string().swap(in);

    roiDetect detector;
    detector.detect(block);
    std::string out = std::to_string(detector.rois().size()) + "\n";
    out.reserve(1 << 20);
    for (size_t k = 0; k < detector.rois().size(); ++k) {
        const roi &r = detector.rois()[k];
        out += "region " + std::to_string(k + 1) + " pixels " +
               std::to_string(detector.sizes()[k]) + "\noutline ";
        r.print(out);
        if (out.size() >= (1 << 20)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
