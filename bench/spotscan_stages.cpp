// Time of each stage of spotscan on one image: decode, threshold, label and
// trace, print. Usage: spotscan_stages IMAGE.jpg
#include "image.h"
#include "imageIO.h"
#include "roiDetect.h"

#include <chrono>
#include <cstdio>
#include <string>

using namespace spotscan;

namespace {

double ms_since(std::chrono::steady_clock::time_point &t)
{
    auto now = std::chrono::steady_clock::now();
    double ms = std::chrono::duration<double, std::milli>(now - t).count();
    t = now;
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: spotscan_stages IMAGE.jpg\n");
        return 2;
    }
    std::string name = argv[1];
    auto t = std::chrono::steady_clock::now();
    image img;
    imageIO::readjpg(img, name);
    double decode = ms_since(t);

    unsigned char *p = img.data();
    const size_t n = static_cast<size_t>(img.getX()) * img.getY();
    for (size_t i = 0; i < n; ++i)
        p[i] = p[i] < 80 ? 0 : 255;
    double threshold = ms_since(t);

    roiDetect detector;
    detector.detect(img);
    double detect = ms_since(t);

    // Tracing again on its own tells the tracing's share of detect().
    size_t digits = 0;
    for (const roi &r : detector.rois()) {
        roi again;
        again.follow(img, r.x(), r.y(), 255);
        digits += again.digits().size();
    }
    double trace = ms_since(t);

    std::string out;
    for (const roi &r : detector.rois())
        r.print(out);
    FILE *null = std::fopen("/dev/null", "w");
    std::fwrite(out.data(), 1, out.size(), null);
    std::fclose(null);
    double print = ms_since(t);

    std::printf("image %ux%u regions %zu outline digits %zu\n", img.getX(), img.getY(),
                detector.rois().size(), digits);
    std::printf("decode %.1f ms, threshold %.1f ms, label %.1f ms, trace %.1f ms, print %.1f ms\n",
                decode, threshold, detect - trace, trace, print);
    return 0;
}
