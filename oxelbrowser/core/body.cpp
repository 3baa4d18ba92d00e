// The client of the outline program, and small vector helpers.
#include "body.h"

#include <cerrno>    // errno, EINTR, EAGAIN
#include <csignal>   // sigset_t, SIGPIPE
#include <cstdio>    // std::perror
#include <cstdlib>   // std::getenv
#include <ctime>     // timespec
#include <fcntl.h>   // pipe2 flags
#include <iostream>
#include <poll.h>    // poll
#include <spawn.h>   // posix_spawn
#include <sstream>
#include <sys/wait.h> // waitpid
#include <unistd.h>  // close, read, write, access, readlink
#include <vector>

#ifndef OXELBROWSER_OUTLINEGEN_PATH
#define OXELBROWSER_OUTLINEGEN_PATH "/usr/local/bin/outlinegen"
#endif

namespace {

// A program that neither answers nor reads for this long is taken as hung.
const int stall_ms = 60000;

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

// Writes the request and reads the answer at the same time, so that neither
// side can block the other however large the answer is. SIGPIPE is held back
// while writing: a program that died shows as a failed write, not as the end
// of the browser. Returns false only when the program stalled.
bool exchange(int to_child, int from_child, const std::string &request, std::string &answer,
              bool &request_refused)
{
    sigset_t pipe_signal, old_mask;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &old_mask);

    size_t written = 0;
    bool ok = true;
    char buf[65536];
    while (from_child >= 0) {
        pollfd fds[2] = {{from_child, POLLIN, 0}, {to_child, POLLOUT, 0}};
        int ready = poll(fds, 2, stall_ms);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            ok = false;
            break;
        }
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t n = read(from_child, buf, sizeof buf);
            if (n > 0)
                answer.append(buf, static_cast<size_t>(n));
            else if (n == 0 || (errno != EINTR && errno != EAGAIN))
                from_child = -1;
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
    return ok;
}

bool parse_answer(const std::string &answer, std::list<roi> &out, std::string &problem)
{
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
        if (!(fields >> word >> x >> y >> outline)) {
            problem = "region " + std::to_string(k + 1) + " of the outline program's answer lacks fields";
            return false;
        }
        out.push_back(roi(x, y, 0, 0, outline));
    }
    return true;
}

} // namespace

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

std::list<roi> run_outline_program(const std::string &program, const unsigned char *canvas,
                                   int width, int height, std::ostream &err)
{
    std::list<roi> result;
    if (width <= 0 || height <= 0 || !canvas)
        return result;
    const std::string request = request_text(canvas, width, height);

    int to_child[2], from_child[2];
    if (pipe2(to_child, O_CLOEXEC) != 0) {
        std::perror("pipe");
        return result;
    }
    if (pipe2(from_child, O_CLOEXEC) != 0) {
        std::perror("pipe");
        close(to_child[0]);
        close(to_child[1]);
        return result;
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
        return result;
    }
    close(to_child[0]);
    close(from_child[1]);
    fcntl(to_child[1], F_SETFL, O_NONBLOCK);

    std::string answer, problem;
    bool refused = false;
    bool exchanged = exchange(to_child[1], from_child[0], request, answer, refused);
    close(from_child[0]);
    if (!exchanged)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }

    if (!exchanged)
        problem = "no answer from the outline program";
    else if (WIFSIGNALED(status))
        problem = "the outline program died of signal " + std::to_string(WTERMSIG(status));
    else if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        problem = "the outline program failed with status " + std::to_string(WEXITSTATUS(status));
    else if (refused)
        problem = "the outline program stopped reading its request";
    else if (!parse_answer(answer, result, problem))
        result.clear();
    if (!problem.empty()) {
        result.clear();
        err << "outlinegen: " << problem << std::endl;
    }
    return result;
}

std::list<roi> makeROIs(unsigned char *canvas, int width, int height)
{
    return run_outline_program(outline_program(), canvas, width, height, std::cerr);
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
