// The outline program's request.
#include "request.h"

#include "image.h"

#include <algorithm> // std::min

namespace outlinegen
{

namespace
{

struct request_error {
    std::string what;
};

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

long read_number(const std::string &in, size_t &pos, const char *what)
{
    while (pos < in.size() && is_space(in[pos]) && in[pos] != '\n')
        ++pos;
    size_t start = pos;
    if (pos < in.size() && (in[pos] == '-' || in[pos] == '+'))
        ++pos;
    long v = 0;
    size_t digits = 0;
    bool cut = false;
    while (pos < in.size() && in[pos] >= '0' && in[pos] <= '9') {
        if (v <= max_side)
            v = v * 10 + (in[pos] - '0');
        else
            cut = true;
        ++pos;
        ++digits;
    }
    if (digits == 0)
        throw request_error{std::string("the ") + what + " is missing or not a number"};
    // Said as written: a number cut short would name a size nobody asked for.
    if (cut)
        throw request_error{std::string("the ") + what + " " +
                            in.substr(start, std::min<size_t>(pos - start, 40)) +
                            (pos - start > 40 ? "..." : "") + " is out of range (1 to " +
                            std::to_string(max_side) + ")"};
    if (in[start] == '-')
        v = -v;
    while (pos < in.size() && in[pos] != '\n' && is_space(in[pos]))
        ++pos;
    if (pos >= in.size() || in[pos] != '\n')
        throw request_error{std::string("the ") + what + " line holds more than a number"};
    ++pos;
    return v;
}

void parse(const std::string &in, spotscan::image &block)
{
    size_t pos = 0;
    long width = read_number(in, pos, "width");
    long height = read_number(in, pos, "height");
    if (width <= 0 || height <= 0 || width > max_side || height > max_side)
        throw request_error{"block size " + std::to_string(width) + " x " + std::to_string(height) +
                            " is out of range (1 to " + std::to_string(max_side) + ")"};
    block.setSize(static_cast<unsigned>(width), static_cast<unsigned>(height));
    for (long y = 0; y < height; ++y) {
        if (pos >= in.size())
            throw request_error{"the request ends after " + std::to_string(y) + " of " +
                                std::to_string(height) + " rows"};
        unsigned char *row = block.row(static_cast<unsigned>(y));
        for (long x = 0; x < width; ++x, ++pos) {
            char c = pos < in.size() ? in[pos] : '\n';
            if (c == '\n' || c == '\r')
                throw request_error{"row " + std::to_string(y) + " is shorter than " +
                                    std::to_string(width)};
            if (c < '0' || c > '9')
                throw request_error{"row " + std::to_string(y) +
                                    " holds a character that is not a digit"};
            row[x] = c != '0' ? 255 : 0;
        }
        if (pos < in.size() && in[pos] == '\r')
            ++pos;
        if (pos < in.size() && in[pos] != '\n')
            throw request_error{"row " + std::to_string(y) + " is longer than " +
                                std::to_string(width)};
        ++pos;
    }
    for (; pos < in.size(); ++pos)
        if (!is_space(in[pos]))
            throw request_error{"the request has more than " + std::to_string(height) + " rows"};
}

} // namespace

bool parse_request(const std::string &in, spotscan::image &block, std::string &problem)
{
    try {
        parse(in, block);
    } catch (const request_error &e) {
        problem = e.what;
        return false;
    }
    return true;
}

} // namespace outlinegen
