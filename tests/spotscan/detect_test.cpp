// Region finding and outline tracing of the detector, on images made in memory.
#include "OXEL_roiimg"
#include "bitPlane.h"
#include "blobs.h"
#include "image.h"
#include "roiDetect.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>

using testsupport::Bitmap;

using namespace spotscan;

namespace {

void to_image(const Bitmap &b, image &img, unsigned char on = 255)
{
    img.setSize(static_cast<unsigned>(b.width), static_cast<unsigned>(b.height));
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            img.setPixel(static_cast<unsigned>(x), static_cast<unsigned>(y), b.in(x, y) ? on : 0);
}

std::string detect_lines(const Bitmap &b)
{
    image img;
    to_image(b, img);
    roiDetect d;
    d.detect(img);
    std::string out;
    for (const spotscan::roi &r : d.rois())
        r.print(out);
    return out;
}

Bitmap parse(const std::vector<std::string> &rows)
{
    Bitmap b(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            b.at(x, y) = rows[static_cast<size_t>(y)][static_cast<size_t>(x)] == '#';
    return b;
}

} // namespace

TEST(Detector, SinglePixelAndEmptyImages)
{
    Bitmap b(9, 8);
    EXPECT_EQ(detect_lines(b), "");
    b.at(5, 5) = 1;
    EXPECT_EQ(detect_lines(b), "5 5 2301\n");
}

TEST(Detector, AllBrightImageIsOneRegionAroundTheBorder)
{
    Bitmap b(5, 3);
    for (auto &v : b.px)
        v = 1;
    EXPECT_EQ(detect_lines(b), "0 0 2223333300011111\n");
}

TEST(Detector, DiagonalContactGivesTwoRegions)
{
    EXPECT_EQ(detect_lines(parse({"#.", ".#"})), "0 0 2301\n1 1 2301\n");
    EXPECT_EQ(detect_lines(parse({".#", "#."})), "1 0 2301\n0 1 2301\n");
}

TEST(Detector, RingIsTracedOutsideAndItsInnerPixelOnItsOwn)
{
    Bitmap ring = parse({"#####", "#...#", "#.#.#", "#...#", "#####"});
    std::string lines = detect_lines(ring);
    EXPECT_EQ(lines, "0 0 22222333330000011111\n2 2 2301\n");
}

TEST(Detector, NonSquareImages)
{
    Bitmap wide(40, 2), tall(2, 40);
    wide.at(39, 1) = 1;
    tall.at(1, 39) = 1;
    EXPECT_EQ(detect_lines(wide), "39 1 2301\n");
    EXPECT_EQ(detect_lines(tall), "1 39 2301\n");
}

// After thresholding only object and background remain: pixels of any
// non-zero value that touch form one region.
TEST(Detector, NonZeroPixelsOfDifferentValuesFormOneRegion)
{
    image img;
    img.setSize(3, 1);
    img.setPixel(0, 0, 100);
    img.setPixel(1, 0, 200);
    img.setPixel(2, 0, 0);
    roiDetect d;
    d.detect(img);
    ASSERT_EQ(d.rois().size(), 1u);
    EXPECT_EQ(d.sizes()[0], 2u);
    EXPECT_EQ(d.rois()[0].digits(), "233011");
}

// Every line is one 4-connected component, found in raster order of its first
// pixel, whose outline rasterises back to the component with holes filled.
TEST(Detector, RandomImagesGiveOneOutlinePerComponent)
{
    std::mt19937 rng(2024);
    for (int i = 0; i < 300; ++i) {
        int w = std::uniform_int_distribution<int>(1, 40)(rng);
        int h = std::uniform_int_distribution<int>(1, 40)(rng);
        double p = std::uniform_real_distribution<double>(0.05, 0.8)(rng);
        Bitmap b = testsupport::random_noise(rng, w, h, p);
        image img;
        to_image(b, img);
        roiDetect d;
        d.detect(img);
        std::vector<Bitmap> comps = testsupport::components(b);
        ASSERT_EQ(d.rois().size(), comps.size()) << "image " << i;
        for (size_t k = 0; k < comps.size(); ++k) {
            const spotscan::roi &found = d.rois()[k];
            roiimg r(::roi(found.x(), found.y(), 0, 0, found.digits()));
            r.map();
            Bitmap filled = testsupport::fill_holes(comps[k]);
            testsupport::Outline independent = testsupport::trace(comps[k]);
            ASSERT_EQ(found.digits(), independent.digits) << "image " << i << " region " << k;
            ASSERT_EQ(r.size(), filled.count()) << "image " << i << " region " << k;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    ASSERT_EQ(r.value(x - r.top_left().x(), y - r.top_left().y()) != 0,
                              filled.in(x, y))
                        << "image " << i << " region " << k << " pixel " << x << "," << y;
            EXPECT_EQ(d.sizes()[k], static_cast<size_t>(comps[k].count()));
        }
    }
}

// A comb has one run per tooth and row; a recursive fill would need a call
// per run and overflow the stack.
TEST(Detector, HugeCombFillsWithoutExhaustingTheStack)
{
    const unsigned n = 4096;
    image img;
    img.setSize(n, n);
    for (unsigned y = 0; y < n; ++y)
        for (unsigned x = 0; x < n; ++x)
            img.setPixel(x, y, (y == 0 || x % 2 == 0) ? 255 : 0);
    roiDetect d;
    d.detect(img);
    ASSERT_EQ(d.rois().size(), 1u);
    const size_t pixels = n + static_cast<size_t>(n / 2) * (n - 1);
    EXPECT_EQ(d.sizes()[0], pixels);
    // No holes: the outline is the whole perimeter, four edges a pixel less
    // two for every pair of touching pixels (along the top and down each tooth).
    const size_t touching = (n - 1) + static_cast<size_t>(n / 2) * (n - 1);
    EXPECT_EQ(d.rois()[0].digits().size(), 4 * pixels - 2 * touching);
}

// A region traced on its own from its first pixel (follow) walks the same
// outline as the detector, which walks it from both ends at once.
TEST(Detector, FollowingOneRegionGivesTheDetectorsOutline)
{
    std::mt19937 rng(8);
    for (int i = 0; i < 200; ++i) {
        const int w = std::uniform_int_distribution<int>(1, 50)(rng);
        const int h = std::uniform_int_distribution<int>(1, 50)(rng);
        Bitmap b = testsupport::random_noise(rng, w, h, 0.55);
        image img;
        to_image(b, img);
        bitPlane plane;
        plane.reset(img.getX(), img.getY());
        for (unsigned y = 0; y < img.getY(); ++y)
            plane.add_row(img.row(y), 1);
        roiDetect d;
        d.detect(img);
        for (const spotscan::roi &found : d.rois()) {
            spotscan::roi alone;
            alone.follow(plane, found.x(), found.y());
            ASSERT_EQ(alone.digits(), found.digits()) << "image " << i;
        }
    }
}
