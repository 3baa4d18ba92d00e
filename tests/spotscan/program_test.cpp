// spotscan run as a user would: arguments, output lines, messages, exit status.
#include "jpeg_files.h"
#include "process.h"
#include "reference_detector.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h> // open
#include <random>
#include <sys/resource.h> // rusage
#include <sys/stat.h>     // mkdir
#include <sys/wait.h>     // wait4
#include <unistd.h>       // getpid, fork

using testsupport::run_program;

// The address sanitizer reserves terabytes of address space for itself.
#if defined(__SANITIZE_ADDRESS__)
#define UNDER_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define UNDER_ADDRESS_SANITIZER 1
#endif
#endif

namespace {

std::string temp_path(const std::string &name)
{
    return ::testing::TempDir() + "spotscan_prog_" + std::to_string(getpid()) + "_" + name;
}

std::string temp_file(const std::string &name, const std::string &bytes)
{
    const std::string path = temp_path(name);
    EXPECT_TRUE(jpegfiles::write_file(path, bytes)) << path;
    return path;
}

// What the detector printed before it streamed, for the same file.
std::string reference_lines(const std::string &jpeg)
{
    reference::greyImage img;
    reference::decode_jpeg(jpeg, img);
    reference::binarise(img, 80);
    return reference::detect_lines(img);
}

// Grey background with bright discs, some of them rings.
jpegfiles::grey blobs(unsigned w, unsigned h, unsigned seed)
{
    jpegfiles::grey g{w, h, std::vector<unsigned char>(static_cast<size_t>(w) * h)};
    std::mt19937 rng(seed);
    for (auto &p : g.px)
        p = static_cast<unsigned char>(rng() % 40);
    for (unsigned k = 0; k < w * h / 1500; ++k) {
        const int cx = static_cast<int>(rng() % w), cy = static_cast<int>(rng() % h);
        const int rad = 3 + static_cast<int>(rng() % 9);
        for (int y = cy - rad; y <= cy + rad; ++y)
            for (int x = cx - rad; x <= cx + rad; ++x) {
                const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                if (x >= 0 && y >= 0 && x < static_cast<int>(w) && y < static_cast<int>(h) &&
                    d2 <= rad * rad && (k % 4 != 0 || d2 >= (rad - 2) * (rad - 2)))
                    g.px[static_cast<size_t>(y) * w + static_cast<size_t>(x)] = 200;
            }
    }
    return g;
}

struct measured {
    int status = -1;
    std::string err;
    long peak_kib = 0;
};

// Runs the program with its output thrown away; its peak resident memory too.
measured run_measured(const std::string &path, const std::string &arg)
{
    measured m;
    int err[2];
    if (pipe(err) != 0)
        return m;
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(err[1], 2);
        close(err[0]);
        close(err[1]);
        execl(path.c_str(), path.c_str(), arg.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    close(err[1]);
    char buf[4096];
    ssize_t n;
    while ((n = read(err[0], buf, sizeof buf)) > 0)
        m.err.append(buf, static_cast<size_t>(n));
    close(err[0]);
    int status = 0;
    rusage use{};
    wait4(pid, &status, 0, &use);
    m.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    m.peak_kib = use.ru_maxrss;
    return m;
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

// Nothing read is a failure, not an image without objects.
TEST(SpotscanProgram, FilesThatCannotBeReadFailWithStatus1)
{
    auto tif = run_program(SPOTSCAN, {"stack.TIF"});
    EXPECT_EQ(tif.status, 1);
    EXPECT_EQ(tif.out, "");
    EXPECT_EQ(tif.err, "cannot read stack.TIF: TIFF images are not read, only JPEG\n");

    auto missing = run_program(SPOTSCAN, {"/nonexistent/plane.jpg"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "cannot open /nonexistent/plane.jpg\n");

    const std::string folder = temp_path("folder.jpg");
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    auto dir = run_program(SPOTSCAN, {folder});
    rmdir(folder.c_str());
    EXPECT_EQ(dir.status, 1);
    EXPECT_EQ(dir.err, "cannot open " + folder + "\n");
}

TEST(SpotscanProgram, SingleBrightPixelOfAColourJpeg)
{
    jpegfiles::grey g{12, 10, std::vector<unsigned char>(120, 0)};
    g.px[5 * 12 + 5] = 255;
    const std::string path = temp_file("one.jpg", jpegfiles::encode(g, true, false, 100));
    auto r = run_program(SPOTSCAN, {path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "5 5 2301\n");
}

TEST(SpotscanProgram, BlobImagesGiveTheLinesOfTheWholeImageDetector)
{
    const struct {
        const char *name;
        bool colour, progressive;
    } kinds[] = {
        {"blobs.jpeg", false, false}, {"blobs.JPG", true, false}, {"prog.jpg", false, true}};
    for (const auto &k : kinds) {
        std::mt19937 rng(4);
        const std::string jpeg =
            jpegfiles::encode(blobs(301, 207, 5), k.colour, k.progressive, 92, &rng);
        auto r = run_program(SPOTSCAN, {temp_file(k.name, jpeg)});
        EXPECT_EQ(r.status, 0) << k.name;
        EXPECT_EQ(r.err, "") << k.name;
        EXPECT_EQ(r.out, reference_lines(jpeg)) << k.name;
        EXPECT_GE(std::count(r.out.begin(), r.out.end(), '\n'), 20) << k.name;
    }
}

TEST(SpotscanProgram, TruncatedOrCorruptJpegFailsWithTheReason)
{
    const std::string whole = jpegfiles::encode(blobs(64, 64, 1));
    const size_t scan = jpegfiles::find_marker(whole, 0xda);
    ASSERT_NE(scan, std::string::npos);
    // A restart marker where none is expected, in the middle of the data.
    std::string broken = whole;
    broken.insert((scan + whole.size()) / 2, std::string("\xff\xd3", 2));
    const struct {
        const char *name;
        std::string bytes, reason;
    } cases[] = {
        {"cut.jpg", whole.substr(0, whole.size() / 2), "Premature end of JPEG file"},
        {"junk.jpg", "this is not a picture at all", "Not a JPEG file: starts with 0x74 0x68"},
        {"empty.jpg", "", "Empty input file"},
        {"broken.jpg", broken, "Corrupt JPEG data: premature end of data segment"},
    };
    for (const auto &c : cases) {
        const std::string path = temp_file(c.name, c.bytes);
        auto r = run_program(SPOTSCAN, {path});
        EXPECT_EQ(r.status, 1) << c.name;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_EQ(r.err, "cannot read " + path + ": " + c.reason + "\n");
    }
}

// Bytes between segments that belong to none are reported by the JPEG library
// as a warning; the image data is whole, so the outlines are printed.
TEST(SpotscanProgram, ExtraneousBytesBeforeAMarkerOnlyWarn)
{
    const std::string clean = jpegfiles::encode(blobs(120, 90, 2));
    const size_t tables = jpegfiles::find_marker(clean, 0xdb);
    ASSERT_NE(tables, std::string::npos);
    std::string doctored = jpegfiles::with_bytes_before(clean, tables, "junk");
    doctored = jpegfiles::with_bytes_before(doctored, doctored.size() - 2, std::string(3, '\0'));

    auto expect = run_program(SPOTSCAN, {temp_file("clean.jpg", clean)});
    ASSERT_EQ(expect.status, 0);
    ASSERT_NE(expect.out, "");
    const std::string path = temp_file("doctored.jpg", doctored);
    auto r = run_program(SPOTSCAN, {path});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expect.out);
    EXPECT_EQ(r.err,
              "warning: " + path + ": Corrupt JPEG data: 4 extraneous bytes before marker 0xdb\n");
}

TEST(SpotscanProgram, FourComponentJpegIsRefused)
{
    const std::string path = temp_file("cmyk.jpg", jpegfiles::encode_cmyk(40, 30));
    auto r = run_program(SPOTSCAN, {path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "cannot read " + path +
                         ": the image has 4 colour components (CMYK); only greyscale and colour "
                         "(RGB) JPEG is read\n");
}

// A few hundred bytes may declare 65500 × 65500 pixels: the rows are kept
// only as they arrive, and a progressive file's whole-image buffers are
// capped, so such a file is refused without taking memory for its size.
TEST(SpotscanProgram, HugeDeclaredSizesAreRefusedWithinBoundedMemory)
{
    const measured small = run_measured(SPOTSCAN, temp_file("small.jpg", jpegfiles::flat(64, 64)));
    ASSERT_EQ(small.status, 0) << small.err;

    const std::string baseline = jpegfiles::with_size(jpegfiles::flat(64, 64), 65500, 65500);
    const std::string encoded =
        jpegfiles::with_size(jpegfiles::encode(blobs(64, 64, 3)), 65500, 65500);
    const std::string progressive =
        jpegfiles::with_size(jpegfiles::encode(blobs(64, 64, 3), false, true), 65500, 65500);
    const struct {
        const char *name;
        std::string bytes, reason;
    } cases[] = {
        {"huge_flat.jpg", baseline, "Corrupt JPEG data: premature end of data segment"},
        {"huge_blobs.jpg", encoded, "Corrupt JPEG data: premature end of data segment"},
        {"huge_progressive.jpg", progressive, "the image needs more than 512 MB to decode"},
    };
    for (const auto &c : cases) {
        const std::string path = temp_file(c.name, c.bytes);
        const measured m = run_measured(SPOTSCAN, path);
        EXPECT_EQ(m.status, 1) << c.name;
        EXPECT_EQ(m.err, "cannot read " + path + ": " + c.reason + "\n");
        // One row of bits of this width is 8 KB; the grey image would be 4 GB.
        EXPECT_LT(m.peak_kib, small.peak_kib + 32 * 1024) << c.name;
    }
}

TEST(SpotscanProgram, MemoryExhaustionIsReported)
{
#if defined(UNDER_ADDRESS_SANITIZER)
    GTEST_SKIP() << "the address sanitizer reserves more address space than any limit allows";
#else
    // A valid 20000 × 20000 image needs 50 MB for its bits; the limit allows 16 MB.
    const std::string big = temp_file("big.jpg", jpegfiles::flat(20000, 20000));
    const std::string small = temp_file("fits.jpg", jpegfiles::flat(300, 200));
    const std::string limited = "ulimit -v 16384 && exec \"$0\" \"$1\"";
    auto fits = run_program("/bin/sh", {"-c", limited, SPOTSCAN, small});
    EXPECT_EQ(fits.status, 0) << fits.err;
    EXPECT_EQ(fits.out.substr(0, 8), "0 0 2222");
    auto r = run_program("/bin/sh", {"-c", limited, SPOTSCAN, big});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "cannot read " + big + ": out of memory\n");
    EXPECT_EQ(r.out, "");
#endif
}

TEST(SpotscanProgram, OutputThatCannotBeWrittenFails)
{
    const std::string path = temp_file("out.jpg", jpegfiles::encode(blobs(200, 200, 6)));
    auto r = run_program("/bin/sh", {"-c", "exec \"$0\" \"$1\" > /dev/full", SPOTSCAN, path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "cannot write the outlines of " + path + ": No space left on device\n");
}
