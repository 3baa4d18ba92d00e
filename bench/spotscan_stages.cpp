// Time of each stage of spotscan on one image: decode, threshold, label,
// trace, print. Usage: spotscan_stages IMAGE.jpg
#include "binConv.h"
#include "bitPlane.h"
#include "image.h"
#include "imageIO.h"
#include "jpegScan.h"
#include "lineWriter.h"
#include "roiDetect.h"

#include <algorithm> // std::min
#include <chrono>
#include <cstdio>
#include <fcntl.h> // open
#include <string>
#include <unistd.h> // close

using namespace spotscan;

namespace {

const int threshold = 80;

// Decoding alone: the rows are dropped.
class dropRows : public rowReceiver {
public:
    void size(unsigned w, unsigned h) override
    {
        width = w;
        height = h;
    }
    void row(const unsigned char *) override {}
    unsigned width = 0, height = 0;
};

// Decoding and thresholding into the bit plane.
class thresholdRows : public rowReceiver {
public:
    void size(unsigned w, unsigned h) override { plane.reset(w, h); }
    void row(const unsigned char *grey) override { plane.add_row(grey, threshold); }
    bitPlane plane;
};

// Decoding, thresholding and labelling the runs; tracing and printing the
// regions when the detector is told to and given somewhere to print.
class detectRows : public rowReceiver {
public:
    detectRows(roiDetect &d, lineWriter *out) : _d(d), _out(out) {}
    void size(unsigned w, unsigned h) override { _d.begin(w, h, _out); }
    void row(const unsigned char *grey) override { _d.add_row(grey, threshold); }

private:
    roiDetect &_d;
    lineWriter *_out;
};

double ms(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from)
        .count();
}

bool read_with(const char *name, rowReceiver &to)
{
    FILE *f = std::fopen(name, "rb");
    if (!f) {
        std::fprintf(stderr, "cannot open %s\n", name);
        return false;
    }
    jpegResult r = read_jpeg_rows(f, to);
    std::fclose(f);
    if (!r.ok())
        std::fprintf(stderr, "cannot read %s: %s\n", name, r.error.c_str());
    return r.ok();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: spotscan_stages IMAGE.jpg\n");
        return 2;
    }
    // Each stage runs on a fresh decode; its time is the difference to the
    // run before, which did everything but that stage. Every run is
    // repeated and the quickest counts, so that a busy host shows less.
    const int repeats = 5;
    double decode = 1e30, thresholded = 1e30, labelled = 1e30, traced = 1e30, printed = 1e30;
    dropRows dropped;
    size_t regions = 0, bright = 0, digits = 0;
    for (int r = 0; r < repeats; ++r) {
        auto t = std::chrono::steady_clock::now();
        if (!read_with(argv[1], dropped))
            return 1;
        decode = std::min(decode, ms(t));

        t = std::chrono::steady_clock::now();
        {
            thresholdRows rows;
            if (!read_with(argv[1], rows))
                return 1;
        }
        thresholded = std::min(thresholded, ms(t));

        t = std::chrono::steady_clock::now();
        {
            roiDetect d;
            d.set_tracing(false);
            lineWriter nowhere(-1);
            detectRows rows(d, &nowhere);
            if (!read_with(argv[1], rows))
                return 1;
            d.end();
        }
        labelled = std::min(labelled, ms(t));

        t = std::chrono::steady_clock::now();
        {
            roiDetect d;
            lineWriter memory(-1);
            detectRows rows(d, &memory);
            if (!read_with(argv[1], rows))
                return 1;
            d.end();
            regions = d.count();
            digits = memory.text().size();
        }
        traced = std::min(traced, ms(t));

        t = std::chrono::steady_clock::now();
        {
            roiDetect d;
            int null = open("/dev/null", O_WRONLY);
            lineWriter out(null);
            detectRows rows(d, &out);
            if (!read_with(argv[1], rows))
                return 1;
            d.end();
            out.flush();
            close(null);
        }
        printed = std::min(printed, ms(t));
    }
    {
        // The pixels of every region, counted by the whole-image entry.
        image img;
        std::string name = argv[1];
        if (!imageIO::readjpg(img, name))
            return 1;
        binConv::convert(threshold, name, img);
        roiDetect d;
        d.detect(img);
        for (size_t s : d.sizes())
            bright += s;
    }

    const double pixels = static_cast<double>(dropped.width) * dropped.height;
    std::printf("image %ux%u, %.1f%% bright, regions %zu, output %zu bytes\n", dropped.width,
                dropped.height, 100.0 * static_cast<double>(bright) / pixels, regions, digits);
    std::printf("decode %.1f ms, threshold %.1f ms, label %.1f ms, trace %.1f ms, print %.1f ms "
                "(quickest of %d runs each)\n",
                decode, thresholded - decode, labelled - thresholded, traced - labelled,
                printed - traced, repeats);
    return 0;
}
