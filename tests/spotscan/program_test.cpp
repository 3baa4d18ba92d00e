// spotscan run as a user would: arguments, output lines, messages, exit status.
#include "binConv.h"
#include "image.h"
#include "imageIO.h"
#include "process.h"
#include "roiDetect.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <unistd.h> // getpid

#include <jpeglib.h>

using testsupport::run_program;

using namespace spotscan;

namespace {

std::string temp_path(const std::string &name)
{
    return ::testing::TempDir() + "spotscan_prog_" + std::to_string(getpid()) + "_" + name;
}

// A one-component (greyscale) JPEG, as microscopes write them.
void write_grey_jpeg(const std::string &path, const image &img)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    jpeg_compress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = img.getX();
    c.image_height = img.getY();
    c.input_components = 1;
    c.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(img.row(c.next_scanline));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
}

std::string expected_lines(std::string path)
{
    image img;
    binConv::convert(80, path, img);
    roiDetect d;
    d.detect(img);
    std::string out;
    for (const spotscan::roi &r : d.rois())
        r.print(out);
    return out;
}

} // namespace

TEST(SpotscanProgram, NeedsExactlyOneArgument)
{
    auto none = run_program(SPOTSCAN, {});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err, "usage: spotscan IMAGE.jpg\n");
    EXPECT_EQ(run_program(SPOTSCAN, {"a.jpg", "b.jpg"}).status, 2);
}

TEST(SpotscanProgram, UnknownExtensionEndsWithStatus255)
{
    auto r = run_program(SPOTSCAN, {"picture.png"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "unknown file format (not tif or jpg)\nunknown format (not tif or jpg)\n");
    EXPECT_EQ(r.out, "");
}

TEST(SpotscanProgram, TiffAndMissingFilesPrintNothingAndSucceed)
{
    auto tif = run_program(SPOTSCAN, {"stack.TIF"});
    EXPECT_EQ(tif.status, 0);
    EXPECT_EQ(tif.out, "");
    EXPECT_EQ(tif.err, "");

    auto missing = run_program(SPOTSCAN, {"/nonexistent/plane.jpg"});
    EXPECT_EQ(missing.status, 0);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "cannot open /nonexistent/plane.jpg\n");
}

TEST(SpotscanProgram, SingleBrightPixelOfAColourJpeg)
{
    image img;
    img.setSize(12, 10);
    for (unsigned y = 0; y < 10; ++y)
        for (unsigned x = 0; x < 12; ++x)
            img.setPixel(x, y, (x == 5 && y == 5) ? 255 : 0);
    std::string path = temp_path("one.jpg");
    imageIO::writejpg(img, path);
    auto r = run_program(SPOTSCAN, {path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "5 5 2301\n");
}

TEST(SpotscanProgram, GreyscaleBlobsMatchTheInProcessDetector)
{
    image img;
    img.setSize(301, 207);
    std::mt19937 rng(5);
    for (unsigned y = 0; y < 207; ++y)
        for (unsigned x = 0; x < 301; ++x)
            img.setPixel(x, y, static_cast<unsigned char>(rng() % 40));
    for (int k = 0; k < 40; ++k) {
        int cx = static_cast<int>(rng() % 301), cy = static_cast<int>(rng() % 207);
        int rad = 3 + static_cast<int>(rng() % 9);
        for (int y = cy - rad; y <= cy + rad; ++y)
            for (int x = cx - rad; x <= cx + rad; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= rad * rad)
                    img.setPixel(static_cast<unsigned>(x), static_cast<unsigned>(y), 200);
    }
    std::string path = temp_path("blobs.jpeg");
    write_grey_jpeg(path, img);
    auto r = run_program(SPOTSCAN, {path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    std::string expect = expected_lines(path);
    EXPECT_EQ(r.out, expect);
    EXPECT_GE(std::count(r.out.begin(), r.out.end(), '\n'), 20);
}

TEST(SpotscanProgram, CorruptOrTruncatedJpegFailsWithTheLibrarysReport)
{
    image img;
    img.setSize(64, 64);
    for (unsigned y = 0; y < 64; ++y)
        for (unsigned x = 0; x < 64; ++x)
            img.setPixel(x, y, static_cast<unsigned char>((x * y) & 255));
    std::string path = temp_path("whole.jpg");
    write_grey_jpeg(path, img);
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::string data = bytes.str();

    std::string truncated = temp_path("cut.jpg");
    std::ofstream(truncated, std::ios::binary) << data.substr(0, data.size() / 2);
    auto cut = run_program(SPOTSCAN, {truncated});
    EXPECT_NE(cut.status, 0);
    EXPECT_LT(cut.status, 128) << "no crash";
    EXPECT_NE(cut.err, "");
    EXPECT_EQ(cut.out, "");

    std::string garbage = temp_path("junk.jpg");
    std::ofstream(garbage, std::ios::binary) << "this is not a picture at all";
    auto junk = run_program(SPOTSCAN, {garbage});
    EXPECT_NE(junk.status, 0);
    EXPECT_LT(junk.status, 128);
    EXPECT_NE(junk.err, "");
}
