// Time of each stage of spotscan on one image: decode, threshold, label,
// trace, print. Usage: spotscan_stages IMAGE.jpg
#include "bitPlane.h"
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

// Decoding, thresholding and labelling the runs.
class labelRows : public rowReceiver {
public:
    explicit labelRows(roiDetect &d) : _d(d) {}
    void size(unsigned w, unsigned h) override { _d.begin(w, h); }
    void row(const unsigned char *grey) override { _d.add_row(grey, threshold); }

private:
    roiDetect &_d;
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
    double decode = 1e30, thresholded = 1e30, labelled = 1e30, trace = 1e30, printed = 1e30;
    dropRows dropped;
    roiDetect detector;
    size_t total = 0;
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
        labelRows rows(detector);
        if (!read_with(argv[1], rows))
            return 1;
        detector.end();
        labelled = std::min(labelled, ms(t));

        t = std::chrono::steady_clock::now();
        std::string digits;
        total = 0;
        for (size_t k = 0; k < detector.count(); ++k) {
            digits.clear();
            trace_outline(detector.plane(), detector.x(k), detector.y(k), digits);
            total += digits.size();
        }
        trace = std::min(trace, ms(t));

        t = std::chrono::steady_clock::now();
        int null = open("/dev/null", O_WRONLY);
        {
            lineWriter out(null);
            detector.print(out);
            out.flush();
        }
        close(null);
        printed = std::min(printed, ms(t));
    }

    size_t bright = 0;
    for (size_t k = 0; k < detector.count(); ++k)
        bright += detector.size(k);
    const double pixels = static_cast<double>(dropped.width) * dropped.height;
    std::printf("image %ux%u, %.1f%% bright, regions %zu, outline digits %zu\n", dropped.width,
                dropped.height, 100.0 * static_cast<double>(bright) / pixels, detector.count(),
                total);
    std::printf("decode %.1f ms, threshold %.1f ms, label %.1f ms, trace %.1f ms, print %.1f ms "
                "(quickest of %d runs each)\n",
                decode, thresholded - decode, labelled - thresholded, trace, printed - trace,
                repeats);
    return 0;
}
