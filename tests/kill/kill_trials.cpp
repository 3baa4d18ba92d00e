// Kill trials: saves of a large ROI database killed with SIGKILL at random
// moments. After each kill the target must hold the old or the new database
// whole, and nothing else may be left in its folder.
//
// kill_trials [TRIALS [ROIS [FOLDER]]]   (defaults: 200, 400000, a fresh temporary folder)
#include "OXEL_roidb"

#include <chrono>
#include <csignal> // SIGKILL
#include <cstdio>
#include <cstdlib> // std::atoi, std::getenv
#include <dirent.h>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h> // mkdir
#include <sys/wait.h> // waitpid
#include <thread>     // std::this_thread::sleep_for
#include <unistd.h>   // fork, _exit

namespace
{

using steady = std::chrono::steady_clock;

// A database of n ROIs at distinct positions; seed varies the outlines.
roidb make_db(const std::string &name, int n, unsigned seed)
{
    roidb db(name);
    std::mt19937 rng(seed);
    for (int i = 0; i < n; ++i) {
        const int t = i / 4000, z = (i / 100) % 40, x = (i % 100) * 10, y = (i / 4000) % 7 + 3;
        const int side = 5 + static_cast<int>(rng() % 20);
        db.entry(roi(x, y, z, t,
                     std::string(side, '2') + std::string(side, '3') + std::string(side, '0') +
                         std::string(side, '1')));
    }
    return db;
}

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int stray_files(const std::string &folder, const std::string &target)
{
    int n = 0;
    if (DIR *d = opendir(folder.c_str())) {
        while (dirent *e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != ".." && name != target)
                ++n;
        }
        closedir(d);
    }
    return n;
}

// Runs one save in a child process; the parent kills it after delay (or
// lets it finish when the delay is negative).
void save_in_child(roidb &db, const std::string &path, std::chrono::microseconds delay)
{
    pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        std::exit(2);
    }
    if (child == 0) {
        db.write(path);
        _exit(0);
    }
    if (delay.count() >= 0) {
        std::this_thread::sleep_for(delay);
        kill(child, SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
}

} // namespace

int main(int argc, char **argv)
{
    const int trials = argc > 1 ? std::atoi(argv[1]) : 200;
    const int rois = argc > 2 ? std::atoi(argv[2]) : 400000;
    std::string folder;
    if (argc > 3) {
        folder = argv[3];
    } else {
        const char *tmp = std::getenv("TMPDIR");
        folder =
            std::string(tmp && *tmp ? tmp : "/tmp") + "/kill_trials_" + std::to_string(getpid());
    }
    const std::string refs = folder + "/refs", target_dir = folder + "/target";
    mkdir(folder.c_str(), 0755);
    mkdir(refs.c_str(), 0755);
    mkdir(target_dir.c_str(), 0755);
    const std::string target = target_dir + "/trial.roi";

    roidb a = make_db("trialA", rois, 1), b = make_db("trialB", rois, 2);
    a.write(refs + "/a.roi");
    b.write(refs + "/b.roi");
    const std::string text_a = slurp(refs + "/a.roi"), text_b = slurp(refs + "/b.roi");
    if (text_a.empty() || text_a == text_b) {
        std::fprintf(stderr, "kill_trials: cannot make the reference files in %s\n", refs.c_str());
        return 2;
    }

    // How long a whole save takes, from the fork to the end of the child.
    a.write(target);
    const steady::time_point t0 = steady::now();
    save_in_child(b, target, std::chrono::microseconds(-1));
    const auto save_us = std::chrono::duration_cast<std::chrono::microseconds>(steady::now() - t0);

    std::mt19937 rng(20);
    std::uniform_int_distribution<long> moment(0, save_us.count() * 11 / 10);
    int intact = 0, old_kept = 0, new_kept = 0, strays = 0;
    for (int i = 0; i < trials; ++i) {
        const std::string before = slurp(target);
        roidb &next = before == text_a ? b : a;
        save_in_child(next, target, std::chrono::microseconds(moment(rng)));
        const std::string after = slurp(target);
        if (after == text_a || after == text_b) {
            ++intact;
            ++(after == before ? old_kept : new_kept);
        } else {
            std::fprintf(stderr, "kill_trials: trial %d left a damaged target (%zu bytes)\n", i + 1,
                         after.size());
        }
        const int left = stray_files(target_dir, "trial.roi");
        if (left)
            std::fprintf(stderr, "kill_trials: trial %d left %d stray files\n", i + 1, left);
        strays += left;
    }
    std::printf("kill trials: %d saves of a %d-ROI database (%zu bytes) killed at random moments "
                "in the first %.0f ms (a whole save: %.0f ms)\n",
                trials, rois, text_a.size(), save_us.count() * 1.1 / 1000,
                save_us.count() / 1000.0);
    std::printf("target intact (old or new): %d/%d (old %d, new %d)\n", intact, trials, old_kept,
                new_kept);
    std::printf("stray files left: %d\n", strays);
    std::string rm = "rm -rf '" + folder + "'";
    if (argc <= 3 && std::system(rm.c_str()) != 0)
        std::fprintf(stderr, "kill_trials: cannot remove %s\n", folder.c_str());
    return intact == trials && strays == 0 ? 0 : 1;
}
