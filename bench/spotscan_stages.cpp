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

// The detector over rows already decoded: labelling alone, tracing into
// memory, or printing through a writer.
size_t detect_rows(const image &img, bool tracing, lineWriter *out)
{
    roiDetect d;
    d.set_tracing(tracing);
    d.begin(img.getX(), img.getY(), out);
    for (unsigned y = 0; y < img.getY(); ++y)
        d.add_row(img.row(y), threshold);
    d.end();
    return d.count();
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: spotscan_stages IMAGE.jpg\n");
        return 2;
    }
    // Decoding is timed on its own; the other stages run on rows decoded
    // once, each pass doing one stage more than the one before. Every pass
    // is repeated and the quickest counts, so that a busy host shows less.
    const int repeats = 7;
    double decode = 1e30, thresholded = 1e30, labelled = 1e30, traced = 1e30, printed = 1e30;
    dropRows dropped;
    for (int r = 0; r < repeats; ++r) {
        auto t = std::chrono::steady_clock::now();
        if (!read_with(argv[1], dropped))
            return 1;
        decode = std::min(decode, ms(t));
    }
    image img;
    std::string name = argv[1];
    if (!imageIO::readjpg(img, name))
        return 1;
    std::string text;
    {
        lineWriter memory(-1);
        detect_rows(img, true, &memory);
        text = memory.text();
    }
    size_t regions = 0;
    for (int r = 0; r < repeats; ++r) {
        auto t = std::chrono::steady_clock::now();
        {
            bitPlane plane;
            plane.reset(img.getX(), img.getY());
            for (unsigned y = 0; y < img.getY(); ++y) {
                plane.add_row(img.row(y), threshold);
                plane.drop_rows_before(y);
            }
        }
        thresholded = std::min(thresholded, ms(t));

        t = std::chrono::steady_clock::now();
        detect_rows(img, false, nullptr);
        labelled = std::min(labelled, ms(t));

        t = std::chrono::steady_clock::now();
        {
            int null = open("/dev/null", O_WRONLY);
            lineWriter out(null);
            regions = detect_rows(img, true, &out);
            out.flush();
            close(null);
        }
        traced = std::min(traced, ms(t));

        // Writing the lines alone, in the writer's pieces.
        t = std::chrono::steady_clock::now();
        {
            int null = open("/dev/null", O_WRONLY);
            lineWriter out(null);
            for (size_t at = 0; at < text.size(); at += 4096) {
                out.buffer().append(text, at, 4096);
                out.wrote();
            }
            out.flush();
            close(null);
        }
        printed = std::min(printed, ms(t));
    }
    // The pixels of every region, counted by the whole-image entry.
    size_t bright = 0;
    binConv::convert(threshold, name, img);
    roiDetect whole;
    whole.detect(img);
    for (size_t s : whole.sizes())
        bright += s;

    const double pixels = static_cast<double>(dropped.width) * dropped.height;
    std::printf("image %ux%u, %.1f%% bright, regions %zu, output %zu bytes\n", dropped.width,
                dropped.height, 100.0 * static_cast<double>(bright) / pixels, regions, text.size());
    std::printf("decode %.1f ms, threshold %.1f ms, label %.1f ms, trace %.1f ms, print %.1f ms "
                "(quickest of %d runs each)\n",
                decode, thresholded, labelled - thresholded, traced - labelled - printed, printed,
                repeats);
    return 0;
}
