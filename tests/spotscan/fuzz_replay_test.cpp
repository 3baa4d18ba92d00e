// Every seed and every input that once failed the JPEG fuzz target, replayed
// through the same entry point in every build.
#include "spotscan_jpeg_input.h"

#include <gtest/gtest.h>

#include <algorithm> // std::sort
#include <filesystem>
#include <fstream>
#include <iterator> // std::istreambuf_iterator
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string read_bytes(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The JPEG inputs of a folder (not its README).
std::vector<fs::path> inputs(const fs::path &dir)
{
    std::vector<fs::path> files;
    for (const auto &e : fs::directory_iterator(dir))
        if (e.is_regular_file() && e.path().extension() != ".md")
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

const fs::path fuzz_dir = SPOTSCAN_FUZZ_DIR;

} // namespace

TEST(FuzzRegressions, SeedsAreReadAndTheirLinesAreWellFormed)
{
    const auto seeds = inputs(fuzz_dir / "corpus" / "spotscan_jpeg");
    ASSERT_GE(seeds.size(), 5u);
    for (const auto &p : seeds) {
        const std::string bytes = read_bytes(p);
        spotscan::jpegResult r;
        EXPECT_TRUE(
            spotscan_fuzz::run(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), &r))
            << p;
        EXPECT_TRUE(r.ok()) << p << ": " << r.error;
    }
}

TEST(FuzzRegressions, InputsThatOnceFailedNowPass)
{
    for (const auto &p : inputs(fuzz_dir / "regressions" / "spotscan_jpeg")) {
        const std::string bytes = read_bytes(p);
        EXPECT_TRUE(
            spotscan_fuzz::run(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()))
            << p;
    }
}
