// Replays every file of a fuzz target's regression and seed folders through
// its entry, so that each input that ever crashed it is checked in every
// build (a failing check inside the entry aborts the test program).
#include <gtest/gtest.h>

#include <cstdint>
#include <dirent.h> // opendir, readdir
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h> // stat
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace
{

std::vector<std::string> files_in(const std::string &folder)
{
    std::vector<std::string> files;
    if (DIR *dir = opendir(folder.c_str())) {
        while (dirent *e = readdir(dir)) {
            const std::string path = folder + "/" + e->d_name;
            struct stat st;
            if (e->d_name[0] != '.' && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                files.push_back(path);
        }
        closedir(dir);
    }
    return files;
}

std::vector<std::string> folders()
{
    std::vector<std::string> out;
    std::stringstream list(FUZZ_INPUTS);
    std::string folder;
    while (std::getline(list, folder, ':'))
        out.push_back(folder);
    return out;
}

} // namespace

TEST(FuzzInputs, EveryRegressionAndSeedRunsCleanly)
{
    size_t replayed = 0;
    for (const std::string &folder : folders()) {
        for (const std::string &path : files_in(folder)) {
            std::ifstream in(path, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
            SCOPED_TRACE(path);
            EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()),
                                             bytes.size()),
                      0);
            ++replayed;
        }
    }
    EXPECT_GT(replayed, 0u) << "no inputs found in " << FUZZ_INPUTS;
}
