// The outline program client: real program, fake programs and bad answers.
#include "body.h"

#include "OXEL_roiimg"
#include "blobs.h"

#include <gtest/gtest.h>

#include <algorithm> // std::count
#include <cerrno>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::Bitmap;

namespace {

std::string fake_program(const std::string &name, const std::string &script)
{
    std::string path = ::testing::TempDir() + "fake_" + std::to_string(getpid()) + "_" + name;
    std::ofstream(path) << "#!/bin/sh\n" << script << "\n";
    chmod(path.c_str(), 0755);
    return path;
}

std::list<roi> run(const std::string &program, const Bitmap &b, std::string &err)
{
    std::ostringstream messages;
    std::list<roi> out = run_outline_program(program, b.px.data(), b.width, b.height, messages);
    err = messages.str();
    return out;
}

bool no_children_left()
{
    return waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD;
}

Bitmap block_3x2()
{
    Bitmap b(3, 2);
    b.at(0, 0) = b.at(1, 0) = b.at(1, 1) = 1;
    return b;
}

} // namespace

TEST(OutlineClient, SendsTheBlockAsRowsOfDigits)
{
    std::string copy = ::testing::TempDir() + "request_" + std::to_string(getpid());
    std::string err;
    auto out = run(fake_program("cat", "cat > '" + copy + "'; echo 0"), block_3x2(), err);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(err, "");
    std::ifstream in(copy);
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), "3\n2\n110\n010\n");
}

TEST(OutlineClient, TakesRegionsInTheOrderGiven)
{
    std::string err;
    auto out = run(
        fake_program("two",
                     "cat >/dev/null; printf '2\\nfirst\\nw 4 5 2301\\nsecond\\nw 0 1 233011\\n'"),
        Bitmap(6, 6), err);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(out.front() == roi(4, 5, 0, 0, "2301"));
    EXPECT_TRUE(out.back() == roi(0, 1, 0, 0, "233011"));
    EXPECT_EQ(err, "");
}

// Every piece the real program returns is one 4-connected component of the block.
TEST(OutlineClient, RealProgramTracesEveryComponentOfRandomBlocks)
{
    std::mt19937 rng(3);
    std::string err;
    for (int i = 0; i < 30; ++i) {
        Bitmap b = testsupport::random_noise(rng, 1 + static_cast<int>(rng() % 50),
                                             1 + static_cast<int>(rng() % 50), 0.5);
        auto pieces = run(OUTLINEGEN, b, err);
        std::vector<Bitmap> comps = testsupport::components(b);
        ASSERT_EQ(pieces.size(), comps.size());
        size_t k = 0;
        for (roi &piece : pieces) {
            roiimg r(piece);
            r.map();
            Bitmap filled = testsupport::fill_holes(comps[k++]);
            EXPECT_EQ(r.size(), filled.count());
            for (int y = 0; y < b.height; ++y)
                for (int x = 0; x < b.width; ++x)
                    ASSERT_EQ(r.value(x - r.top_left().x(), y - r.top_left().y()) != 0,
                              filled.in(x, y));
        }
    }
    Bitmap zero(40, 30);
    EXPECT_TRUE(run(OUTLINEGEN, zero, err).empty());
    EXPECT_EQ(err, "");
    EXPECT_TRUE(no_children_left());
}

// Far more than a pipe holds: reading only after the program exits would hang.
TEST(OutlineClient, HugeAnswersArriveWhole)
{
    Bitmap b(1024, 512);
    for (int y = 0; y < b.height; y += 2)
        for (int x = 0; x < b.width; x += 2)
            b.at(x, y) = 1;
    std::string err;
    auto pieces = run(OUTLINEGEN, b, err);
    EXPECT_EQ(pieces.size(), 512u * 256u) << err;
    EXPECT_TRUE(pieces.back() == roi(1022, 510, 0, 0, "2301"));
}

TEST(OutlineClient, BadAnswersGiveNothingAndOneLine)
{
    const struct {
        const char *name;
        const char *script;
        const char *problem;
    } cases[] = {
        {"word", "cat >/dev/null; echo many", "count is not a number"},
        {"short", "cat >/dev/null; printf '3\\nx\\nw 1 1 2301\\n'",
         "announced 3 regions and gave 1"},
        {"fields", "cat >/dev/null; printf '1\\nx\\nw 1 1\\n'", "lacks fields"},
        {"empty", "cat >/dev/null", "empty answer"},
        {"status", "cat >/dev/null; echo 2; exit 3", "failed with status 3"},
        {"outside", "cat >/dev/null; printf '1\\nx\\nw 600 0 2301\\n'",
         "starts at 600 0, outside the block"},
        {"negative", "cat >/dev/null; printf '1\\nx\\nw 0 -1 2301\\n'", "outside the block"},
        {"digits", "cat >/dev/null; printf '1\\nx\\nw 1 1 2341\\n'",
         "other characters than the digits 0 to 3"},
        {"count", "cat >/dev/null; echo 360001",
         "announced 360001 regions in a block of 360000 pixels"},
        {"refused", "head -c 10 >/dev/null; echo 0", "stopped reading its request"},
        {"early", "exit 0", "stopped reading its request"},
        {"signal", "kill -9 $$", "died of signal 9"},
    };
    Bitmap big(600, 600);
    for (const auto &c : cases) {
        std::string err;
        // A large block, so a program that does not read makes the write fail.
        auto out = run(fake_program(c.name, c.script), big, err);
        EXPECT_TRUE(out.empty()) << c.name;
        EXPECT_NE(err.find(c.problem), std::string::npos) << c.name << ": " << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.name << ": " << err;
        EXPECT_EQ(err.rfind("outlinegen: ", 0), 0u) << err;
    }
    EXPECT_TRUE(no_children_left());
}

bool run_checked(const std::string &program, const Bitmap &b, std::list<roi> &out, std::string &err,
                 int limit_ms)
{
    std::ostringstream messages;
    bool ok = run_outline_program(program, b.px.data(), b.width, b.height, messages, out, limit_ms);
    err = messages.str();
    return ok;
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(OutlineClient, AValidAnswerStandsWhateverTheExitStatus)
{
    const char *scripts[] = {
        "cat >/dev/null; printf '1\\nx\\nw 0 0 2301\\n'; exit 3",
        "cat >/dev/null; printf '1\\nx\\nw 0 0 2301\\n'; kill -9 $$",
    };
    for (const char *script : scripts) {
        std::list<roi> out;
        std::string err;
        EXPECT_TRUE(run_checked(fake_program("status_ok", script), block_3x2(), out, err, 10000))
            << script;
        ASSERT_EQ(out.size(), 1u) << script;
        EXPECT_TRUE(out.front() == roi(0, 0, 0, 0, "2301"));
        EXPECT_EQ(err, "");
    }
    EXPECT_TRUE(no_children_left());
}

// A program that trickles a byte now and then never let a per-read limit
// expire: the limit is one deadline for the whole exchange.
TEST(OutlineClient, TheLimitCoversTheWholeExchange)
{
    const auto start = std::chrono::steady_clock::now();
    std::list<roi> out;
    std::string err;
    EXPECT_FALSE(run_checked(
        fake_program("trickle", "cat >/dev/null; while :; do printf 1; sleep 0.2; done"),
        block_3x2(), out, err, 1000));
    EXPECT_LT(seconds_since(start), 5.0);
    EXPECT_TRUE(out.empty());
    EXPECT_NE(err.find("no answer from the outline program"), std::string::npos) << err;
    EXPECT_TRUE(no_children_left());
}

// An answer followed by a program that will not exit: the answer is taken
// and the program killed once the limit is reached.
TEST(OutlineClient, AProgramLingeringAfterItsAnswerIsKilled)
{
    const auto start = std::chrono::steady_clock::now();
    std::list<roi> out;
    std::string err;
    EXPECT_TRUE(
        run_checked(fake_program("linger", "cat >/dev/null; echo 0; exec >&-; exec sleep 60"),
                    block_3x2(), out, err, 1000));
    EXPECT_LT(seconds_since(start), 5.0);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(err, "");
    EXPECT_TRUE(no_children_left());

    // Output left open: the answer up to its last full line still counts.
    EXPECT_TRUE(run_checked(
        fake_program("open",
                     "cat >/dev/null; printf '1\\nx\\nw 1 1 2301\\nw 0 0 23'; exec sleep 60"),
        block_3x2(), out, err, 1000));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out.front() == roi(1, 1, 0, 0, "2301"));
    EXPECT_TRUE(no_children_left());
}

TEST(OutlineClient, AnEndlessAnswerIsCutOff)
{
    std::list<roi> out;
    std::string err;
    EXPECT_FALSE(run_checked(fake_program("endless", "cat >/dev/null; echo 1; exec yes"),
                             block_3x2(), out, err, 20000));
    EXPECT_NE(err.find("answer exceeds " + std::to_string(6 * 64 + (1 << 20)) + " bytes"),
              std::string::npos)
        << err;
    EXPECT_TRUE(no_children_left());
}

// The split needs to know a block without regions from a failed program.
TEST(OutlineClient, CheckedCallsTellNoRegionFromFailure)
{
    Bitmap zero(4, 4);
    std::list<roi> out{roi()};
    setenv("OXELBROWSER_OUTLINEGEN", OUTLINEGEN, 1);
    EXPECT_TRUE(makeROIsChecked(zero.px.data(), zero.width, zero.height, out));
    EXPECT_TRUE(out.empty());

    // A block wider than the program takes: refused, so a failure, not "no region".
    Bitmap wide(20000, 1);
    wide.at(5, 0) = 1;
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(makeROIsChecked(wide.px.data(), wide.width, wide.height, out));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(out.empty());
    EXPECT_NE(err.find("outlinegen: the outline program failed with status 1"), std::string::npos)
        << err;
    EXPECT_TRUE(makeROIs(wide.px.data(), wide.width, wide.height).empty());

    setenv("OXELBROWSER_OUTLINEGEN", fake_program("fails", "cat >/dev/null; exit 1").c_str(), 1);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(makeROIsChecked(zero.px.data(), zero.width, zero.height, out));
    ::testing::internal::GetCapturedStderr();
    unsetenv("OXELBROWSER_OUTLINEGEN");
}

TEST(OutlineClient, MissingProgramIsReportedNotFatal)
{
    ::testing::internal::CaptureStderr();
    std::string err;
    auto out = run("/nonexistent/outlinegen", block_3x2(), err);
    std::string child = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(out.empty());
    EXPECT_NE(child.find("outlinegen: No such file or directory"), std::string::npos) << child;
    EXPECT_NE(err.find("cannot be started"), std::string::npos) << err;
    EXPECT_TRUE(no_children_left());
}

TEST(OutlineClient, ProgramComesFromTheEnvironment)
{
    setenv("OXELBROWSER_OUTLINEGEN", OUTLINEGEN, 1);
    EXPECT_EQ(outline_program(), OUTLINEGEN);
    Bitmap b = block_3x2();
    auto out = makeROIs(b.px.data(), b.width, b.height);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out.front() == roi(0, 0, 0, 0, "23230011"));
    unsetenv("OXELBROWSER_OUTLINEGEN");
    EXPECT_EQ(outline_program().front(), '/');
}

TEST(VectorHelpers, InnerProductAndTraceForms)
{
    EXPECT_DOUBLE_EQ(inner_product(pos3d(1, 2, 3), pos3d(4, -5, 6)), 12.0);
    std::ostringstream p;
    p << pos3d(1.5, 2, -3);
    EXPECT_EQ(p.str(), "1.5 2 -3");
    std::ostringstream s, empty;
    s << std::set<std::string>{"b", "a", "c"};
    empty << std::set<std::string>{};
    EXPECT_EQ(s.str(), "a b c");
    EXPECT_EQ(empty.str(), "");
}
