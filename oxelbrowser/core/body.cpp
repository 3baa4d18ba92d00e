// The client of the outline program, and small vector helpers.
#include "body.h"

#include <algorithm> // std::min
#include <cerrno>    // errno, EINTR, EAGAIN
#include <chrono>    // the exchange's deadline
#include <csignal>   // sigset_t, SIGPIPE
#include <cstdio>    // std::perror
#include <cstdlib>   // std::getenv
#include <ctime>     // timespec
#include <fcntl.h>   // pipe2 flags
#include <iostream>
#include <poll.h>  // poll
#include <spawn.h> // posix_spawn
#include <sstream>
#include <sys/syscall.h> // SYS_pidfd_open
#include <sys/wait.h>    // waitpid
#include <unistd.h>      // close, read, write, access, readlink
#include <vector>

#ifndef OXELBROWSER_OUTLINEGEN_PATH
#define OXELBROWSER_OUTLINEGEN_PATH "/usr/local/bin/outlinegen"
#endif

namespace {

using steady = std::chrono::steady_clock;

std::string request_text(const unsigned char *canvas, int width, int height)
{
    std::string s = std::to_string(width) + "\n" + std::to_string(height) + "\n";
    s.reserve(s.size() + static_cast<size_t>(width + 1) * height);
    for (int y = 0; y < height; ++y) {
        const unsigned char *row = canvas + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x)
            s += std::to_string(row[x]);
        s.push_back('\n');
    }
    return s;
}

int ms_until(steady::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady::now());
    return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count() + 1, 1 << 30));
}

enum class exchange_end { answered, stalled, too_long };

// Writes the request and reads the answer at the same time, so that neither
// side can block the other however large the answer is. SIGPIPE is held back
// while writing: a program that died shows as a failed write, not as the end
// of the browser.
exchange_end exchange(int to_child, int from_child, const std::string &request, std::string &answer,
                      size_t cap, steady::time_point deadline, bool &request_refused)
{
    sigset_t pipe_signal, old_mask;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &old_mask);

    size_t written = 0;
    exchange_end end = exchange_end::answered;
    char buf[65536];
    while (from_child >= 0) {
        pollfd fds[2] = {{from_child, POLLIN, 0}, {to_child, POLLOUT, 0}};
        const int wait_ms = ms_until(deadline);
        if (wait_ms == 0) {
            end = exchange_end::stalled;
            break;
        }
        int ready = poll(fds, 2, wait_ms);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            end = exchange_end::stalled;
            break;
        }
        if (ready == 0)
            continue; // the deadline is checked above
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t n = read(from_child, buf, sizeof buf);
            if (n > 0)
                answer.append(buf, static_cast<size_t>(n));
            else if (n == 0 || (errno != EINTR && errno != EAGAIN))
                from_child = -1;
            if (answer.size() > cap) {
                end = exchange_end::too_long;
                break;
            }
        }
        if (to_child >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t n = write(to_child, request.data() + written, request.size() - written);
            if (n > 0) {
                written += static_cast<size_t>(n);
            } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
                request_refused = true;
                written = request.size();
            }
            if (written >= request.size()) {
                close(to_child);
                to_child = -1;
            }
        }
    }
    // The answer ended before the whole request went out.
    if (to_child >= 0) {
        request_refused = true;
        close(to_child);
    }

    // Take back a SIGPIPE raised by the failed write before unblocking.
    sigset_t pending;
    sigpending(&pending);
    if (sigismember(&pending, SIGPIPE)) {
        timespec zero = {0, 0};
        sigtimedwait(&pipe_signal, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &old_mask, nullptr);
    return end;
}

// Waits for the program's exit until the deadline; kills it then. False when
// it had to be killed.
bool wait_for_exit(pid_t pid, int &status, steady::time_point deadline)
{
#ifdef SYS_pidfd_open
    int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    int pidfd = -1;
#endif
    bool exited = false;
    for (int nap_ms = 1;;) {
        pid_t got = waitpid(pid, &status, WNOHANG);
        if (got == pid) {
            exited = true;
            break;
        }
        if (got < 0 && errno != EINTR)
            break;
        const int left = ms_until(deadline);
        if (left == 0)
            break;
        if (pidfd >= 0) {
            pollfd fd = {pidfd, POLLIN, 0};
            poll(&fd, 1, left);
        } else {
            // Kernels without process descriptors: short naps, growing.
            nap_ms = std::min(nap_ms * 2, std::min(left, 50));
            timespec nap = {0, static_cast<long>(nap_ms) * 1000000L};
            nanosleep(&nap, nullptr);
        }
    }
    if (pidfd >= 0)
        close(pidfd);
    if (exited)
        return true;
    kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return false;
}

} // namespace

bool parse_outline_answer(const std::string &answer, int width, int height, std::list<roi> &out,
                          std::string &problem)
{
    out.clear();
    std::istringstream lines(answer);
    std::string line;
    if (!std::getline(lines, line)) {
        problem = "empty answer from the outline program";
        return false;
    }
    std::istringstream first(line);
    long n = -1;
    std::string rest;
    if (!(first >> n) || (first >> rest) || n < 0) {
        problem = "the outline program's count is not a number: \"" + line.substr(0, 40) + "\"";
        return false;
    }
    // Every region holds a pixel of the block.
    const long long pixels = static_cast<long long>(width) * height;
    if (n > pixels) {
        problem = "the outline program announced " + std::to_string(n) + " regions in a block of " +
                  std::to_string(pixels) + " pixels";
        return false;
    }
    // The first line of each region is the program's own; the second lines
    // together hold the fields, four a region.
    std::stringstream fields;
    for (long k = 0; k < n; ++k) {
        std::string ignored, outline_line;
        if (!std::getline(lines, ignored) || !std::getline(lines, outline_line)) {
            problem = "the outline program announced " + std::to_string(n) + " regions and gave " +
                      std::to_string(k);
            return false;
        }
        fields << outline_line << '\n';
    }
    for (long k = 0; k < n; ++k) {
        std::string word, outline;
        int x = 0, y = 0;
        const std::string region =
            "region " + std::to_string(k + 1) + " of the outline program's answer";
        if (!(fields >> word >> x >> y >> outline)) {
            problem = region + " lacks fields";
            out.clear();
            return false;
        }
        if (x < 0 || x >= width || y < 0 || y >= height) {
            problem = region + " starts at " + std::to_string(x) + " " + std::to_string(y) +
                      ", outside the block";
            out.clear();
            return false;
        }
        if (outline.find_first_not_of("0123") != std::string::npos) {
            problem = region + " has an outline of other characters than the digits 0 to 3";
            out.clear();
            return false;
        }
        out.push_back(roi(x, y, 0, 0, outline));
    }
    return true;
}

std::string outline_program()
{
    const char *env = std::getenv("OXELBROWSER_OUTLINEGEN");
    if (env && *env)
        return env;
    // Installed under another prefix than the one built for: the program
    // beside the browser.
    if (access(OXELBROWSER_OUTLINEGEN_PATH, X_OK) != 0) {
        char self[4096];
        ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n > 0) {
            std::string beside(self, static_cast<size_t>(n));
            beside = beside.substr(0, beside.rfind('/') + 1) + "outlinegen";
            if (access(beside.c_str(), X_OK) == 0)
                return beside;
        }
    }
    return OXELBROWSER_OUTLINEGEN_PATH;
}

bool run_outline_program(const std::string &program, const unsigned char *canvas, int width,
                         int height, std::ostream &err, std::list<roi> &result, int limit_ms)
{
    result.clear();
    if (width <= 0 || height <= 0 || !canvas)
        return false;
    const steady::time_point deadline = steady::now() + std::chrono::milliseconds(limit_ms);
    const std::string request = request_text(canvas, width, height);
    const size_t cap = static_cast<size_t>(width) * static_cast<size_t>(height) * 64 + (1 << 20);

    int to_child[2], from_child[2];
    if (pipe2(to_child, O_CLOEXEC) != 0) {
        std::perror("pipe");
        return false;
    }
    if (pipe2(from_child, O_CLOEXEC) != 0) {
        std::perror("pipe");
        close(to_child[0]);
        close(to_child[1]);
        return false;
    }
    // A spawned child shares nothing with the browser's memory until it
    // runs the program, so starting it costs the same however much data is open.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, to_child[0], 0);
    posix_spawn_file_actions_adddup2(&actions, from_child[1], 1);
    char *argv[] = {const_cast<char *>("outlinegen"), nullptr};
    pid_t pid = -1;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        errno = spawned;
        std::perror("outlinegen");
        for (int fd : {to_child[0], to_child[1], from_child[0], from_child[1]})
            close(fd);
        err << "outlinegen: the outline program " << program << " cannot be started" << std::endl;
        return false;
    }
    close(to_child[0]);
    close(from_child[1]);
    fcntl(to_child[1], F_SETFL, O_NONBLOCK);

    std::string answer, problem;
    bool refused = false;
    const exchange_end end =
        exchange(to_child[1], from_child[0], request, answer, cap, deadline, refused);
    close(from_child[0]);
    int status = 0;
    bool exited = false;
    if (end == exchange_end::answered) {
        exited = wait_for_exit(pid, status, deadline);
    } else {
        kill(pid, SIGKILL);
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    // A program cut off mid-answer may have left a line half written.
    if (end == exchange_end::stalled)
        answer.erase(answer.rfind('\n') == std::string::npos ? 0 : answer.rfind('\n') + 1);

    std::string parse_problem;
    const bool valid = end != exchange_end::too_long && !refused &&
                       parse_outline_answer(answer, width, height, result, parse_problem);
    // A complete, valid answer stands whatever became of the program after it.
    if (valid)
        return true;
    result.clear();
    if (end == exchange_end::too_long)
        problem = "the outline program's answer exceeds " + std::to_string(cap) + " bytes";
    else if (end == exchange_end::stalled || (!exited && answer.empty()))
        problem = "no answer from the outline program";
    else if (exited && WIFSIGNALED(status))
        problem = "the outline program died of signal " + std::to_string(WTERMSIG(status));
    else if (exited && WIFEXITED(status) && WEXITSTATUS(status) != 0)
        problem = "the outline program failed with status " + std::to_string(WEXITSTATUS(status));
    else if (refused)
        problem = "the outline program stopped reading its request";
    else
        problem = parse_problem;
    err << "outlinegen: " << problem << std::endl;
    return false;
}

std::list<roi> run_outline_program(const std::string &program, const unsigned char *canvas,
                                   int width, int height, std::ostream &err)
{
    std::list<roi> result;
    run_outline_program(program, canvas, width, height, err, result);
    return result;
}

std::list<roi> makeROIs(unsigned char *canvas, int width, int height)
{
    return run_outline_program(outline_program(), canvas, width, height, std::cerr);
}

bool makeROIsChecked(unsigned char *canvas, int width, int height, std::list<roi> &regions)
{
    return run_outline_program(outline_program(), canvas, width, height, std::cerr, regions);
}

double inner_product(pos3d a, pos3d b)
{
    return a.x() * b.x() + a.y() * b.y() + a.z() * b.z();
}

std::ostream &operator<<(std::ostream &out, pos3d p)
{
    out << p.x() << ' ' << p.y() << ' ' << p.z();
    return out;
}

std::ostream &operator<<(std::ostream &out, std::set<std::string> s)
{
    bool first = true;
    for (const std::string &e : s) {
        if (!first)
            out << ' ';
        out << e;
        first = false;
    }
    return out;
}
