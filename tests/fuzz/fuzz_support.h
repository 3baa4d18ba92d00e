// Helpers of the fuzz targets: inputs as files, checks that abort, and the
// libraries' own messages kept off the fuzzer's output.
#pragma once

#include <cstdint>
#include <cstdio>  // std::fprintf
#include <cstdlib> // std::abort, std::getenv
#include <fcntl.h> // open
#include <iostream>
#include <string>
#include <sys/stat.h> // mkdir
#include <unistd.h>   // write, close, getpid

namespace fuzz
{

// The data as the file folder/name of a per-process folder (in memory where
// the system has one), replaced on every call.
inline std::string as_file(const uint8_t *data, size_t size, const std::string &name)
{
    static const std::string folder = [] {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string f = base + "/oxelfuzz-" + std::to_string(getpid());
        mkdir(f.c_str(), 0700);
        return f;
    }();
    const std::string path = folder + "/" + name;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::fprintf(stderr, "fuzz: cannot write %s\n", path.c_str());
        std::abort();
    }
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0)
            std::abort();
        done += static_cast<size_t>(n);
    }
    close(fd);
    return path;
}

// A broken promise of the code under test: report it and stop.
inline void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz: check failed: %s\n", what);
        std::abort();
    }
}

// The messages the code writes for bad input are its behaviour, not news.
inline bool quiet()
{
    static const bool done = [] {
        std::cerr.rdbuf(nullptr);
        return true;
    }();
    return done;
}

} // namespace fuzz
