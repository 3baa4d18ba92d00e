// Browser keys.
#include "keygen.h"

#include "OXEL_roidb"
#include "roi_file.h"

#include <cstdlib> // std::atoi

std::string digit3(int a)
{
    std::string s;
    oxel_append_field(s, a, 3);
    return s;
}

std::string keygen(pos4i p)
{
    std::string key;
    key.reserve(12);
    oxel_append_field(key, p.t(), 3);
    oxel_append_field(key, p.z(), 3);
    oxel_append_field(key, p.x(), 3);
    oxel_append_field(key, p.y(), 3);
    return key;
}

// A field is read like a decimal number: leading blanks and a sign are taken,
// the number stops at the first non-digit, and no digits give 0.
static int field(const std::string &key, std::string::size_type index)
{
    const std::string::size_type start = 3 * index;
    if (start >= key.size())
        return 0;
    return std::atoi(key.substr(start, 3).c_str());
}

pos4i decode(std::string key)
{
    return pos4i(field(key, 2), field(key, 3), field(key, 1), field(key, 0));
}
