// The streaming detector (rows thresholded into bits, runs labelled, regions
// traced from the bits) against the detector as it was, byte for byte, on
// thousands of random images, grey and through JPEG.
#include "blobs.h"
#include "jpegScan.h"
#include "jpeg_files.h"
#include "lineWriter.h"
#include "reference_detector.h"
#include "roiDetect.h"

#include <gtest/gtest.h>

#include <algorithm> // std::min, std::max, std::count
#include <cmath>     // std::hypot
#include <random>

using reference::greyImage;

namespace {

const int threshold = 80;

// Object pixels get grey values from the threshold up, background pixels
// below it; the values next to the threshold come up often.
greyImage to_grey(const testsupport::Bitmap &b, std::mt19937 &rng)
{
    greyImage g;
    g.width = static_cast<unsigned>(b.width);
    g.height = static_cast<unsigned>(b.height);
    g.px.resize(b.px.size());
    std::uniform_int_distribution<int> kind(0, 3), bright(threshold, 255), dark(0, threshold - 1);
    for (size_t i = 0; i < b.px.size(); ++i) {
        const bool on = b.px[i] != 0;
        const int k = kind(rng);
        int v = on ? bright(rng) : dark(rng);
        if (k == 0)
            v = on ? threshold : threshold - 1;
        g.px[i] = static_cast<unsigned char>(v);
    }
    return g;
}

using testsupport::Bitmap;

void ring(Bitmap &b, double cx, double cy, double r0, double r1)
{
    const int x0 = std::max(0, static_cast<int>(cx - r1) - 1);
    const int x1 = std::min(b.width - 1, static_cast<int>(cx + r1) + 1);
    const int y0 = std::max(0, static_cast<int>(cy - r1) - 1);
    const int y1 = std::min(b.height - 1, static_cast<int>(cy + r1) + 1);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const double d = std::hypot(x - cx, y - cy);
            if (d >= r0 && d < r1)
                b.at(x, y) = 1;
        }
}

// Random test images of several families; each family stresses one way a
// labelling or a walk can go wrong.
Bitmap random_shape(std::mt19937 &rng, int family)
{
    auto uni = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto real = [&rng](double lo, double hi) {
        return std::uniform_real_distribution<double>(lo, hi)(rng);
    };
    switch (family) {
    case 0: { // noise: many small regions, diagonal contacts
        return testsupport::random_noise(rng, uni(1, 70), uni(1, 70), real(0.05, 0.9));
    }
    case 1: { // rings inside rings, with single pixels and blobs in the holes
        Bitmap b(uni(8, 60), uni(8, 60));
        const double cx = real(0, b.width), cy = real(0, b.height);
        double r = 0.5;
        while (r < 40) {
            const double wide = real(0.8, 3.5);
            ring(b, cx, cy, r, r + wide);
            r += wide + real(0.8, 4);
        }
        for (int k = uni(0, 6); k > 0; --k)
            b.at(uni(0, b.width - 1), uni(0, b.height - 1)) = 1;
        return b;
    }
    case 2: { // combs: teeth from a spine, and two combs with their teeth interleaved
        const bool down = uni(0, 1) == 0, two = uni(0, 1) == 0;
        const int w = uni(3, 70), h = uni(3, 70), gap = uni(1, 3);
        Bitmap b(w, h);
        for (int x = 0; x < w; ++x)
            b.at(x, 0) = 1;
        for (int x = 0; x < w; x += gap + 1)
            for (int y = 0; y < h - (two ? 2 : 0); ++y)
                b.at(x, y) = 1;
        if (two) {
            for (int x = 0; x < w; ++x)
                b.at(x, h - 1) = 1;
            for (int x = (gap + 1) / 2 + 1; x < w; x += gap + 1)
                for (int y = 2; y < h; ++y)
                    if (!b.in(x - 1, y) && !b.in(x + 1, y))
                        b.at(x, y) = 1;
        }
        if (!down) { // the same comb on its side
            Bitmap t(h, w);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    t.at(y, x) = b.at(x, y);
            return t;
        }
        return b;
    }
    case 3: { // single pixels, corners among them
        Bitmap b(uni(1, 50), uni(1, 50));
        for (int k = uni(1, 30); k > 0; --k)
            b.at(uni(0, b.width - 1), uni(0, b.height - 1)) = 1;
        if (uni(0, 1))
            b.at(0, 0) = b.at(b.width - 1, b.height - 1) = 1;
        return b;
    }
    case 4: { // regions touching every edge: frames, bars, the full image
        Bitmap b(uni(1, 60), uni(1, 60));
        const int what = uni(0, 3);
        for (int y = 0; y < b.height; ++y)
            for (int x = 0; x < b.width; ++x) {
                const bool border = x == 0 || y == 0 || x == b.width - 1 || y == b.height - 1;
                if (what == 0   ? border
                    : what == 1 ? true
                    : what == 2 ? (x % 5 == 0 || y % 7 == 0)
                                : (border || uni(0, 3) == 0))
                    b.at(x, y) = 1;
            }
        return b;
    }
    case 5: { // one pixel wide or one pixel high
        const int n = uni(1, 200);
        const bool wide = uni(0, 1) == 0;
        return testsupport::random_noise(rng, wide ? n : 1, wide ? 1 : n, real(0.1, 0.9));
    }
    case 6: { // runs across the 64-pixel words of a row
        const int w = 64 * uni(1, 3) + uni(-1, 1);
        Bitmap b(w, uni(1, 12));
        for (int y = 0; y < b.height; ++y) {
            int x = uni(0, 70);
            while (x < w) {
                const int len = uni(1, 80);
                for (int k = x; k < std::min(w, x + len); ++k)
                    b.at(k, y) = 1;
                x += len + uni(1, 70);
            }
        }
        return b;
    }
    case 7: { // a serpentine: one region that merges its runs late
        const int w = uni(4, 60), h = uni(4, 60);
        Bitmap b(w, h);
        for (int x = 0; x < w; x += 2) {
            for (int y = 1; y < h - 1; ++y)
                b.at(x, y) = 1;
            b.at(x, (x / 2) % 2 ? 0 : h - 1) = 1;
            if (x + 1 < w)
                b.at(x + 1, (x / 2) % 2 ? 0 : h - 1) = 1;
        }
        return b;
    }
    case 8: { // taller than the rows kept at first: regions as tall as the image (a
              // frame, bars) hold every row while the small ones between them wait
        const int w = uni(1, 40), h = uni(65, 400);
        Bitmap b = testsupport::random_noise(rng, w, h, real(0.05, 0.5));
        const int what = uni(0, 2);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool frame = x == 0 || y == 0 || x == w - 1 || y == h - 1;
                if ((what == 0 && frame) || (what == 1 && x % 9 == 4 && y > 2) ||
                    (what == 2 && y % 50 < 2))
                    b.at(x, y) = 1;
            }
        return b;
    }
    default: { // several grown blobs, touching or not
        Bitmap b(uni(10, 64), uni(10, 64));
        for (int k = uni(1, 6); k > 0; --k) {
            Bitmap blob = testsupport::random_blob(rng, b.width, b.height, uni(1, 200));
            const int dx = uni(-b.width / 2, b.width / 2), dy = uni(-b.height / 2, b.height / 2);
            for (int y = 0; y < b.height; ++y)
                for (int x = 0; x < b.width; ++x)
                    if (blob.in(x, y) && x + dx >= 0 && y + dy >= 0 && x + dx < b.width &&
                        y + dy < b.height)
                        b.at(x + dx, y + dy) = 1;
        }
        return b;
    }
    }
}

const int families = 10;

std::string streamed_lines(const greyImage &g)
{
    spotscan::roiDetect d;
    spotscan::lineWriter out(-1);
    d.begin(g.width, g.height, &out);
    for (unsigned y = 0; y < g.height; ++y)
        d.add_row(&g.px[static_cast<size_t>(y) * g.width], threshold);
    d.end();
    return out.text();
}

std::string reference_lines(greyImage g)
{
    reference::binarise(g, threshold);
    return reference::detect_lines(g);
}

std::string encode(const greyImage &g, bool colour, bool progressive, int quality,
                   std::mt19937 &rng)
{
    return jpegfiles::encode(jpegfiles::grey{g.width, g.height, g.px}, colour, progressive, quality,
                             &rng);
}

} // namespace

TEST(StreamingDetector, MatchesTheWholeImageDetectorOnRandomImages)
{
    std::mt19937 rng(19);
    int regions = 0;
    for (int i = 0; i < 2400; ++i) {
        const int family = i % families;
        const Bitmap shape = random_shape(rng, family);
        const greyImage g = to_grey(shape, rng);
        const std::string expect = reference_lines(g);
        ASSERT_EQ(streamed_lines(g), expect)
            << "image " << i << " family " << family << ", " << g.width << " x " << g.height;
        regions += static_cast<int>(std::count(expect.begin(), expect.end(), '\n'));
    }
    EXPECT_GT(regions, 20000) << "the images hold many regions";
}

// The whole-image entry (used by the outline program) counts each region's
// pixels and keeps the traced outlines.
TEST(StreamingDetector, WholeImageEntryCountsThePixelsOfEachRegion)
{
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        const Bitmap shape = random_shape(rng, i % families);
        spotscan::image img;
        img.setSize(static_cast<unsigned>(shape.width), static_cast<unsigned>(shape.height));
        for (int y = 0; y < shape.height; ++y)
            for (int x = 0; x < shape.width; ++x)
                img.setPixel(static_cast<unsigned>(x), static_cast<unsigned>(y),
                             shape.in(x, y) ? 255 : 0);
        spotscan::roiDetect d;
        d.detect(img);
        const std::vector<Bitmap> comps = testsupport::components(shape);
        ASSERT_EQ(d.rois().size(), comps.size()) << "image " << i;
        greyImage g = to_grey(shape, rng);
        std::string lines;
        for (size_t k = 0; k < comps.size(); ++k) {
            ASSERT_EQ(d.sizes()[k], static_cast<size_t>(comps[k].count()))
                << "image " << i << " region " << k;
            d.rois()[k].print(lines);
        }
        ASSERT_EQ(lines, reference_lines(g)) << "image " << i;
    }
}

TEST(StreamingDetector, MatchesTheWholeImageDetectorThroughJpeg)
{
    std::mt19937 rng(20);
    for (int i = 0; i < 400; ++i) {
        const Bitmap shape = random_shape(rng, i % families);
        const greyImage g = to_grey(shape, rng);
        const bool colour = i % 3 == 1, progressive = i % 4 == 3;
        const int quality = 75 + static_cast<int>(rng() % 26);
        const std::string jpeg = encode(g, colour, progressive, quality, rng);

        greyImage decoded;
        ASSERT_TRUE(reference::decode_jpeg(jpeg, decoded));
        const std::string expect = reference_lines(decoded);

        spotscan::lineWriter out(-1);
        spotscan::jpegResult r = spotscan::detect_jpeg(
            reinterpret_cast<const unsigned char *>(jpeg.data()), jpeg.size(), threshold, out);
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(r.warning, "");
        ASSERT_EQ(out.text(), expect) << "image " << i << (colour ? " colour" : " grey")
                                      << (progressive ? " progressive" : "");
    }
}

// Rows of a larger image with many regions per row, several MCU rows deep.
TEST(StreamingDetector, MatchesOnALargeBlobImage)
{
    std::mt19937 rng(3);
    Bitmap b(700, 500);
    for (int k = 0; k < 900; ++k) {
        const double cx = rng() % 700, cy = rng() % 500, r = 2 + rng() % 12;
        ring(b, cx, cy, 0, r);
        if (k % 5 == 0)
            ring(b, cx, cy, r + 1, r + 2.5);
    }
    const greyImage g = to_grey(b, rng);
    const std::string jpeg = encode(g, false, false, 92, rng);
    greyImage decoded;
    ASSERT_TRUE(reference::decode_jpeg(jpeg, decoded));
    spotscan::lineWriter out(-1);
    ASSERT_TRUE(spotscan::detect_jpeg(reinterpret_cast<const unsigned char *>(jpeg.data()),
                                      jpeg.size(), threshold, out)
                    .ok());
    const std::string expect = reference_lines(decoded);
    EXPECT_GT(std::count(expect.begin(), expect.end(), '\n'), 300);
    EXPECT_EQ(out.text(), expect);
}

// Tens of thousands of regions: the labels of regions handed on are let go
// again and again while the rows move on.
TEST(StreamingDetector, MatchesOnAnImageOfManyRegions)
{
    std::mt19937 rng(11);
    const Bitmap noise = testsupport::random_noise(rng, 517, 480, 0.4);
    const greyImage g = to_grey(noise, rng);
    const std::string expect = reference_lines(g);
    EXPECT_GT(std::count(expect.begin(), expect.end(), '\n'), 20000);
    EXPECT_EQ(streamed_lines(g), expect);
}
