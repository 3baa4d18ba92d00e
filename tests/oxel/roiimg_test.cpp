// The ROI raster: polygon walk, box, mask and shared pixels.
#include "OXEL_roiimg"
#include "blobs.h"

#include <gtest/gtest.h>

#include <algorithm> // std::count
#include <random>
#include <sys/resource.h> // getrusage
#include <vector>

using testsupport::Bitmap;

namespace {

std::vector<std::pair<int, int>> points(roiimg &r)
{
    std::vector<std::pair<int, int>> out;
    for (pos2i p : r.polygon())
        out.push_back({p.x(), p.y()});
    return out;
}

// The mask as a bitmap of the given image size, in absolute coordinates.
Bitmap mask(roiimg &r, int width, int height)
{
    Bitmap b(width, height);
    for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x) {
            int ax = r.top_left().x() + x, ay = r.top_left().y() + y;
            if (r.value(x, y) && ax >= 0 && ay >= 0 && ax < width && ay < height)
                b.at(ax, ay) = 1;
            else if (r.value(x, y))
                b.width = -1; // marks a pixel outside the image: fails any comparison
        }
    return b;
}

} // namespace

TEST(Raster, SinglePixel)
{
    roiimg r(roi(3, 4, 0, 0, "2301"));
    using P = std::vector<std::pair<int, int>>;
    EXPECT_EQ(points(r), (P{{3, 4}}));
    EXPECT_TRUE(r.top_left() == pos2i(3, 4));
    EXPECT_TRUE(r.bottom_right() == pos2i(3, 4));
    EXPECT_EQ(r.width(), 1);
    EXPECT_EQ(r.height(), 1);
    EXPECT_EQ(r.size(), 0);
    EXPECT_EQ(r.value(0, 0), -1) << "not mapped yet";
    r.map();
    EXPECT_EQ(r.size(), 1);
    EXPECT_EQ(r.value(0, 0), 1);
    EXPECT_EQ(r.value(1, 0), 0);
    EXPECT_EQ(r.value(-1, 0), 0);
}

TEST(Raster, ShapesOfTheTable)
{
    using P = std::vector<std::pair<int, int>>;
    struct Case {
        const char *outline;
        P polygon;
        int width, height, size;
    } cases[] = {
        {"233011", {{0, 0}, {1, 0}, {0, 0}}, 2, 1, 2},
        {"22330011", {{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}}, 2, 2, 4},
        {"22330101", {{0, 0}, {0, 1}, {1, 1}, {0, 1}, {0, 0}}, 2, 2, 3},
        {"2x3y0z1", {{0, 0}}, 1, 1, 1},
    };
    for (const auto &c : cases) {
        roiimg r(roi(0, 0, 0, 0, c.outline));
        EXPECT_EQ(points(r), c.polygon) << c.outline;
        EXPECT_EQ(r.width(), c.width) << c.outline;
        EXPECT_EQ(r.height(), c.height) << c.outline;
        r.map();
        EXPECT_EQ(r.size(), c.size) << c.outline;
    }
    roiimg l(roi(0, 0, 0, 0, "22330101"));
    l.map();
    EXPECT_EQ(l.value(1, 0), 0) << "the L leaves its top-right pixel out";
}

TEST(Raster, EmptyOutlineIsAnEmptyPixelBox)
{
    roiimg r(roi(7, 8, 0, 0, ""));
    EXPECT_TRUE(r.polygon().empty());
    EXPECT_EQ(r.width(), 1);
    EXPECT_EQ(r.height(), 1);
    r.map();
    EXPECT_EQ(r.size(), 0);
}

TEST(Raster, MappingTwiceChangesNothing)
{
    roiimg r(roi(0, 0, 0, 0, "22330011"));
    r.map();
    r.map();
    EXPECT_EQ(r.size(), 4);
    EXPECT_EQ(r.value(1, 1), 1);
}

// The fill must give back exactly the traced region for any hole-free blob,
// and the region with its holes filled for blobs with holes.
TEST(Raster, TracedRandomBlobsRasteriseBackToThemselves)
{
    std::mt19937 rng(1234);
    for (int i = 0; i < 2000; ++i) {
        int w = std::uniform_int_distribution<int>(1, 24)(rng);
        int h = std::uniform_int_distribution<int>(1, 24)(rng);
        int cells = std::uniform_int_distribution<int>(1, w * h)(rng);
        Bitmap blob = testsupport::random_blob(rng, w, h, cells);
        Bitmap filled = testsupport::fill_holes(blob);
        testsupport::Outline o = testsupport::trace(blob);
        int ox = std::uniform_int_distribution<int>(0, 50)(rng);
        roiimg r(roi(o.x, o.y, 0, 0, o.digits));
        r.map();
        Bitmap got = mask(r, w, h);
        ASSERT_TRUE(got.px == filled.px && got.width == w)
            << "blob " << i << " outline " << o.digits << " at " << o.x << "," << o.y;
        EXPECT_EQ(r.size(), filled.count());
        // The same outline elsewhere in the image gives the same shape there.
        roiimg moved(roi(o.x + ox, o.y + ox, 0, 0, o.digits));
        moved.map();
        EXPECT_EQ(moved.size(), r.size());
        EXPECT_TRUE(moved.top_left() == r.top_left() + pos2i(ox, ox));
    }
}

// Components of random noise have narrow pockets of background reaching deep
// into the region; the pixels beside them must still be filled.
TEST(Raster, PixelsBesideDeepPocketsOfBackgroundAreFilled)
{
    std::mt19937 rng(4321);
    for (int i = 0; i < 400; ++i) {
        Bitmap noise = testsupport::random_noise(rng, 30, 20, 0.7);
        for (const Bitmap &c : testsupport::components(noise)) {
            testsupport::Outline o = testsupport::trace(c);
            roiimg r(roi(o.x, o.y, 0, 0, o.digits));
            r.map();
            Bitmap filled = testsupport::fill_holes(c);
            ASSERT_TRUE(mask(r, 30, 20).px == filled.px) << "image " << i << " outline " << o.digits;
        }
    }
}

TEST(Raster, SharedPixelsMatchABruteForceCount)
{
    std::mt19937 rng(99);
    for (int i = 0; i < 500; ++i) {
        Bitmap a = testsupport::random_blob(rng, 20, 20, 60);
        Bitmap b = testsupport::random_blob(rng, 20, 20, 60);
        // Shift b so the boxes overlap partly, fully or not at all.
        int sx = std::uniform_int_distribution<int>(-12, 12)(rng);
        int sy = std::uniform_int_distribution<int>(-12, 12)(rng);
        testsupport::Outline oa = testsupport::trace(a), ob = testsupport::trace(b);
        roiimg ra(roi(oa.x + 20, oa.y + 20, 0, 0, oa.digits));
        roiimg rb(roi(ob.x + 20 + sx, ob.y + 20 + sy, 0, 0, ob.digits));
        ra.map();
        rb.map();
        Bitmap fa = testsupport::fill_holes(a), fb = testsupport::fill_holes(b);
        int expect = 0;
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x)
                if (fa.in(x, y) && fb.in(x - sx, y - sy))
                    ++expect;
        ASSERT_EQ(shared_pixels(ra, rb), expect) << i;
        ASSERT_EQ(shared_pixels(rb, ra), expect) << i;
    }
    roiimg a(roi(0, 0, 0, 0, "22330011")), b(roi(0, 0, 0, 0, "22330011"));
    roiimg far(roi(10, 10, 0, 0, "22330011"));
    a.map();
    b.map();
    far.map();
    EXPECT_EQ(shared_pixels(a, b), a.size());
    EXPECT_EQ(shared_pixels(a, far), 0);
}

// Outlines no image holds: the walk would overflow int, or the mask would
// take far more memory than any nucleus. Each raster stays an empty pixel at
// its start, with one line on standard error, and never writes outside its mask.
TEST(Raster, DamagedOutlinesLeaveAnEmptyRasterAndOneLine)
{
    const int side = 15000; // a 60 KB outline, a mask of 900 MB uncapped
    const std::string square = std::string(side, '2') + std::string(side, '3') +
                               std::string(side, '0') + std::string(side, '1');
    const struct {
        const char *name;
        roi r;
    } cases[] = {
        {"x at the end of int", roi(2147483647, 0, 0, 0, "33")},
        {"y at the start of int", roi(0, -2147483647 - 1, 0, 0, "0000")},
        {"a walk past 2^29", roi(536870912, 5, 0, 0, "2233001122330011")},
        {"a box beyond the cap", roi(0, 0, 0, 0, square)},
    };
    struct rusage before;
    getrusage(RUSAGE_SELF, &before);
    for (const auto &c : cases) {
        roiimg r(c.r);
        ::testing::internal::CaptureStderr();
        r.map();
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("left empty"), std::string::npos) << c.name << ": " << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.name;
        EXPECT_EQ(r.size(), 0) << c.name;
        EXPECT_EQ(r.width(), 1) << c.name;
        EXPECT_EQ(r.height(), 1) << c.name;
        EXPECT_EQ(r.value(0, 0), 0) << c.name;
        roiimg pixel(roi(c.r.x(), c.r.y(), 0, 0, "2301"));
        pixel.map();
        EXPECT_EQ(shared_pixels(r, pixel), 0) << c.name;
    }
    struct rusage after;
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 200 * 1024) << "kB taken by damaged outlines";
}

TEST(Raster, CountingBeforeMappingFindsNothing)
{
    roiimg r(roi(0, 0, 0, 0, "22330011"));
    r.count_size();
    EXPECT_EQ(r.size(), 0);
    r.map();
    EXPECT_EQ(r.size(), 4);
}
