// Saving a database file beside its target: links, owner, mode, umask,
// unwritable folders and the temporaries a save leaves behind.
#include "OXEL_roidb"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>  // std::system
#include <dirent.h> // opendir, readdir
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h> // SYS_umask
#include <sys/wait.h>    // waitpid
#include <unistd.h>

namespace
{

int umask_calls = 0;

std::string fresh_folder(const std::string &name)
{
    std::string dir = ::testing::TempDir() + "saving_" + std::to_string(getpid()) + "_" + name;
    std::string rm = "rm -rf '" + dir + "'";
    if (std::system(rm.c_str()) != 0)
        ADD_FAILURE() << rm;
    mkdir(dir.c_str(), 0755);
    return dir;
}

std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::set<std::string> entries(const std::string &dir)
{
    std::set<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

roidb small_db(const std::string &name)
{
    roidb db(name);
    db.entry(roi(1, 2, 3, 4, "2301"));
    return db;
}

} // namespace

// Every call of umask in this program passes through here, so a test can see
// that saving never changes the process's umask, not even for a moment.
extern "C" mode_t umask(mode_t mask) noexcept
{
    ++umask_calls;
    return static_cast<mode_t>(syscall(SYS_umask, mask));
}

TEST(Saving, ThroughASymbolicLinkReplacesTheFileItNames)
{
    const std::string dir = fresh_folder("links");
    const std::string real = dir + "/real.roi", link = dir + "/link.roi";
    std::ofstream(real) << "old\n";
    ASSERT_EQ(symlink("real.roi", link.c_str()), 0);
    small_db("new").write(link);
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    EXPECT_EQ(slurp(real), "new\n1 2 3 4 2301\n");

    // A link to a file not made yet: the file is made where the link points.
    const std::string dangling = dir + "/dangling.roi";
    ASSERT_EQ(symlink("sub/made.roi", dangling.c_str()), 0);
    mkdir((dir + "/sub").c_str(), 0755);
    small_db("made").write(dangling);
    ASSERT_EQ(lstat(dangling.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(slurp(dir + "/sub/made.roi"), "made\n1 2 3 4 2301\n");
}

TEST(Saving, KeepsTheOldFilesModeAndOwnerAndNeverTouchesTheUmask)
{
    const std::string dir = fresh_folder("owner");
    const std::string path = dir + "/kept.roi";
    std::ofstream(path) << "old\n";
    ASSERT_EQ(chmod(path.c_str(), 0604), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(path.c_str(), 4242, 4343), 0);
    }

    umask_calls = 0;
    small_db("new").write(path);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(slurp(path), "new\n1 2 3 4 2301\n");
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    if (root) {
        EXPECT_EQ(st.st_uid, 4242u);
        EXPECT_EQ(st.st_gid, 4343u);
    }

    // A new file takes the mode a plain open would give it under the umask.
    const mode_t old_mask = static_cast<mode_t>(syscall(SYS_umask, 027));
    small_db("fresh").write(dir + "/fresh.roi");
    syscall(SYS_umask, old_mask);
    ASSERT_EQ(stat((dir + "/fresh.roi").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(umask_calls, 0) << "saving changed the process's umask";
}

// The file may be written but its folder not: the save cannot write beside
// it, says so and leaves the file as it was.
TEST(Saving, IntoAFolderThatIsNotWritableSaysSoAndKeepsTheFile)
{
    const std::string dir = fresh_folder("locked");
    const std::string path = dir + "/locked.roi";
    std::ofstream(path) << "old\n";
    const uid_t nobody = 65534;
    if (geteuid() == 0) {
        // Root writes anywhere: the save runs as a user who owns only the file.
        ASSERT_EQ(chown(path.c_str(), nobody, nobody), 0);
        ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
    } else {
        ASSERT_EQ(chmod(dir.c_str(), 0555), 0);
    }
    int err_pipe[2];
    ASSERT_EQ(pipe(err_pipe), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        dup2(err_pipe[1], 2);
        if (geteuid() == 0 && (setgid(nobody) != 0 || setuid(nobody) != 0))
            _exit(3);
        small_db("new").write(path);
        _exit(0);
    }
    close(err_pipe[1]);
    std::string err;
    char buf[512];
    for (ssize_t n; (n = read(err_pipe[0], buf, sizeof buf)) > 0;)
        err.append(buf, static_cast<size_t>(n));
    close(err_pipe[0]);
    int status = 0;
    waitpid(child, &status, 0);
    chmod(dir.c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(err.rfind("Cannot open " + path + "\n", 0), 0u) << err;
    EXPECT_NE(err.find("is not writable"), std::string::npos) << err;
    EXPECT_NE(err.find(path + " is left as it was"), std::string::npos) << err;
    EXPECT_EQ(slurp(path), "old\n");
    EXPECT_EQ(entries(dir), std::set<std::string>{"locked.roi"});
}

TEST(Saving, LeavesNoTemporariesAndRemovesThoseOfKilledSaves)
{
    const std::string dir = fresh_folder("temps");
    const std::string path = dir + "/data.roi";
    // What a save killed mid-way left of this target, and of another one.
    std::ofstream(dir + "/.data.roi.oxelsave-Ab12Cd") << "partial";
    std::ofstream(dir + "/.other.roi.oxelsave-Ab12Cd") << "partial";
    std::ofstream(dir + "/.data.roi.backup") << "the user's own";
    small_db("one").write(path);
    EXPECT_EQ(entries(dir), (std::set<std::string>{"data.roi", ".other.roi.oxelsave-Ab12Cd",
                                                   ".data.roi.backup"}));

    // A save that cannot finish (a file where the target's folder should be).
    ::testing::internal::CaptureStderr();
    small_db("two").write(path + "/inside.roi");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Cannot open " + path + "/inside.roi\n");
    EXPECT_EQ(entries(dir).size(), 3u);
    EXPECT_EQ(slurp(path), "one\n1 2 3 4 2301\n");
}
