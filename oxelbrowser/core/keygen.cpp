// Browser keys.
#include "keygen.h"

#include "OXEL_roidb"
#include "roi_file.h"

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
    oxel_append_key_field(key, p.t());
    oxel_append_key_field(key, p.z());
    oxel_append_key_field(key, p.x());
    oxel_append_key_field(key, p.y());
    return key;
}

pos4i decode(std::string key)
{
    std::string::size_type at = 0;
    const int t = oxel_read_key_field(key, at);
    const int z = oxel_read_key_field(key, at);
    const int x = oxel_read_key_field(key, at);
    const int y = oxel_read_key_field(key, at);
    return pos4i(x, y, z, t);
}

std::string time_key(int t)
{
    std::string key;
    oxel_append_key_field(key, t);
    return key;
}

bool is_position_key(const std::string &key)
{
    if (key.empty() || key[0] == '-')
        return false;
    const pos4i p = decode(key);
    return p.t() >= 0 && p.z() >= 0 && p.x() >= 0 && p.y() >= 0 && keygen(p) == key;
}
