// File names, extensions and the JPEG path of the detector.
#include "binConv.h"
#include "fileExt.h"
#include "fileTool.h"
#include "image.h"
#include "imageIO.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h> // getpid

using namespace spotscan;

namespace {

std::string temp_path(const std::string &name)
{
    return ::testing::TempDir() + "spotscan_" + std::to_string(getpid()) + "_" + name;
}

} // namespace

TEST(FileNames, ExtensionIsTheTextAfterTheLastDot)
{
    std::string ext;
    fileExt::getExtension("a.b/c.tar.jpg", ext);
    EXPECT_EQ(ext, "jpg");
    fileExt::getExtension("noext", ext);
    EXPECT_EQ(ext, "noext");
}

TEST(FileNames, OnlyAllLowerOrAllUpperCaseExtensionsAreKnown)
{
    const struct {
        const char *name;
        int code;
    } cases[] = {{"x.tif", 1000}, {"x.tiff", 1000}, {"x.TIF", 1000}, {"x.TIFF", 1000},
                 {"x.jpg", 1001}, {"x.jpeg", 1001}, {"x.JPG", 1001}, {"x.JPEG", 1001},
                 {"x.Jpg", -1},   {"x.png", -1},    {"jpg", 1001}};
    for (const auto &c : cases) {
        int code = -1;
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(fileExt::chkExtension(c.name, code), 1);
        std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(code, c.code) << c.name;
        EXPECT_EQ(err, c.code < 0 ? "unknown file format (not tif or jpg)\n" : "") << c.name;
    }
}

TEST(FileNames, DerivedNamesCarryKindAndNumber)
{
    std::string path = "/data/run/embryo.raw", name = "/out/";
    fileTool::create(path, name, "bin", 5);
    EXPECT_EQ(name, "/out/bin-005x005-embryo");

    path = "/data/run/embryo.raw";
    name = "/out/";
    fileTool::create(path, name, "roi", 42);
    EXPECT_EQ(name, "/out/embryo-042");

    path = "plain.raw.raw";
    name = "ignored/";
    fileTool::create(path, name, "x", 7);
    EXPECT_EQ(name, "plain.raw-007") << "no folder in the path: the incoming name is dropped";
}

TEST(JpegFiles, WrittenImageReadsBackByItsBlueComponent)
{
    image img;
    img.setSize(33, 17);
    for (unsigned y = 0; y < 17; ++y)
        for (unsigned x = 0; x < 33; ++x)
            img.setPixel(x, y, x < 16 ? 40 : 220);
    std::string name = temp_path("grey.jpg");
    EXPECT_EQ(imageIO::write(img, name), 1);

    image back;
    EXPECT_EQ(imageIO::read(back, name), 1);
    ASSERT_EQ(back.getX(), 33u);
    ASSERT_EQ(back.getY(), 17u);
    // Quality 100 keeps flat areas within a grey level or two.
    EXPECT_NEAR(back.getPixel(3, 3), 40, 2);
    EXPECT_NEAR(back.getPixel(30, 10), 220, 2);

    binConv::convert(80, name, back);
    EXPECT_EQ(back.getPixel(3, 3), 0);
    EXPECT_EQ(back.getPixel(30, 10), 255);
}

TEST(JpegFiles, UnopenableFilesAreReportedAndLeaveTheImage)
{
    image img;
    std::string name = "/nonexistent/x.jpg";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(imageIO::readjpg(img, name), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "cannot open /nonexistent/x.jpg\n");
    EXPECT_FALSE(img.allocated());

    img.setSize(2, 2);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(imageIO::writejpg(img, name), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "cannot open /nonexistent/x.jpg\n");

    std::string tif = "x.tif";
    image untouched;
    EXPECT_EQ(imageIO::read(untouched, tif), 1);
    EXPECT_FALSE(untouched.allocated());
}

TEST(Image, PixelsClampOnReadAndAreIgnoredOutsideOnWrite)
{
    image img;
    img.setSize(3, 2);
    for (unsigned y = 0; y < 2; ++y)
        for (unsigned x = 0; x < 3; ++x)
            img.setPixel(x, y, static_cast<unsigned char>(10 * (y * 3 + x)));
    EXPECT_EQ(img.setPixel(3, 0, 1), 0);
    EXPECT_EQ(img.getPixel(-5, -5), 0);
    EXPECT_EQ(img.getPixel(99, 99), 50);
    EXPECT_EQ(img.getPixelB(2, 0), 20);
    img.free();
    EXPECT_EQ(img.getX(), 0u);
}
