// Names of files derived from an input file's name.
#include "fileTool.h"

#include <cstdio> // std::snprintf

namespace spotscan {

static std::string three_digits(int n)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%03d", n);
    return buf;
}

void fileTool::create(std::string &path, std::string &name, const std::string &kind, const int &n)
{
    std::string::size_type slash = path.rfind('/');
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string::size_type raw = base.rfind(".raw");
    if (raw != std::string::npos)
        base.erase(raw);

    std::string text;
    if (kind == "bin")
        text = kind + "-" + three_digits(n) + "x" + three_digits(n) + "-" + base;
    else
        text = base + "-" + three_digits(n);

    name = (slash == std::string::npos ? std::string() : name) + text;
}

} // namespace spotscan
