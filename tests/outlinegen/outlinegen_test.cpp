// outlinegen driven as a child process over pipes.
#include "OXEL_roiimg"
#include "blobs.h"
#include "process.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

using testsupport::Bitmap;
using testsupport::run_program;

namespace {

std::string request(const Bitmap &b)
{
    std::string s = std::to_string(b.width) + "\n" + std::to_string(b.height) + "\n";
    for (int y = 0; y < b.height; ++y) {
        for (int x = 0; x < b.width; ++x)
            s.push_back(b.in(x, y) ? '1' : '0');
        s.push_back('\n');
    }
    return s;
}

} // namespace

TEST(OutlineProgram, AnswersCountThenTwoLinesPerRegion)
{
    auto r = run_program(OUTLINEGEN, {}, "3\n2\n110\n010\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "1\nregion 1 pixels 3\noutline 0 0 23230011\n");

    auto two = run_program(OUTLINEGEN, {}, "3\n1\n101\n");
    EXPECT_EQ(two.out,
              "2\nregion 1 pixels 1\noutline 0 0 2301\nregion 2 pixels 1\noutline 2 0 2301\n");

    auto none = run_program(OUTLINEGEN, {}, "4\n2\n0000\n0000\n");
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "0\n");
}

TEST(OutlineProgram, EveryOutlineRasterisesToOneComponent)
{
    std::mt19937 rng(77);
    for (int i = 0; i < 40; ++i) {
        int w = std::uniform_int_distribution<int>(1, 60)(rng);
        int h = std::uniform_int_distribution<int>(1, 60)(rng);
        Bitmap b = testsupport::random_noise(rng, w, h, 0.45);
        auto r = run_program(OUTLINEGEN, {}, request(b));
        ASSERT_EQ(r.status, 0);
        std::istringstream in(r.out);
        size_t n = 0;
        in >> n;
        std::vector<Bitmap> comps = testsupport::components(b);
        ASSERT_EQ(n, comps.size());
        for (size_t k = 0; k < n; ++k) {
            std::string region, pixels, word, digits;
            size_t id = 0, count = 0;
            int x = 0, y = 0;
            in >> region >> id >> pixels >> count >> word >> x >> y >> digits;
            EXPECT_EQ(count, static_cast<size_t>(comps[k].count()));
            roiimg raster(roi(x, y, 0, 0, digits));
            raster.map();
            Bitmap filled = testsupport::fill_holes(comps[k]);
            ASSERT_EQ(raster.size(), filled.count()) << "block " << i << " region " << k;
            for (int py = 0; py < h; ++py)
                for (int px = 0; px < w; ++px)
                    ASSERT_EQ(
                        raster.value(px - raster.top_left().x(), py - raster.top_left().y()) != 0,
                        filled.in(px, py));
        }
    }
}

// A refusal must never read as a block without regions: no answer at all.
TEST(OutlineProgram, MalformedRequestsGetNoAnswerAndAMessage)
{
    const char *requests[] = {
        "",                                     // nothing at all
        "x\n2\n11\n11\n",                       // non-numeric width
        "3\n",                                  // no height
        "0\n2\n\n\n",                           // zero width
        "-1\n2\n",                              // negative width
        "20000\n2\n",                           // absurd width
        "99999999999999999999999\n2\n11\n11\n", // a width of 23 digits
        "3\n2\n110\n",                          // too few rows
        "3\n2\n110\n0101\n",                    // long row
        "3\n2\n110\n01\n",                      // short row
        "3\n2\n1a0\n010\n",                     // not a digit
        "3\n2\n110\n010\n111\n",                // too many rows
        "3 4\n2\n110\n010\n",                   // two numbers on the width line
    };
    for (const char *req : requests) {
        auto r = run_program(OUTLINEGEN, {}, req);
        EXPECT_EQ(r.out, "") << req;
        EXPECT_EQ(r.status, 1) << req;
        EXPECT_EQ(r.err.rfind("outlinegen: ", 0), 0u) << req;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << req;
    }
    auto args = run_program(OUTLINEGEN, {"extra"}, "1\n1\n1\n");
    EXPECT_EQ(args.status, 2);
    EXPECT_EQ(args.out, "");

    // An absurd size is named as written, not cut to a number nobody asked for.
    auto wide = run_program(OUTLINEGEN, {}, "20000\n2\n");
    EXPECT_EQ(wide.err, "outlinegen: block size 20000 x 2 is out of range (1 to 16384)\n");
    auto absurd = run_program(OUTLINEGEN, {}, "2\n99999999999999999999999\n11\n11\n");
    EXPECT_EQ(absurd.err,
              "outlinegen: the height 99999999999999999999999 is out of range (1 to 16384)\n");
}
