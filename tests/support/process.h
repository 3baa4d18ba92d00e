// Runs a program as a user would: arguments, standard input, and the
// captured standard output, standard error and exit status.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct RunResult {
    int status = -1;     // exit status, or 128 + signal number
    std::string out;
    std::string err;
};

RunResult run_program(const std::string &path, const std::vector<std::string> &args,
                      const std::string &input = std::string());

} // namespace testsupport
