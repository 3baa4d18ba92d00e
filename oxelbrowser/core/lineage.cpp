// Queries over units and their lineage links.
#include "lineage.h"

#include "keygen.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"

namespace lineage {

std::string head(const key_map &members_head, const std::string &key)
{
    auto it = members_head.find(key);
    return it == members_head.end() ? std::string("N/A") : it->second;
}

key_set members(const key_multimap &head_members, const std::string &head_key)
{
    key_set out;
    auto range = head_members.equal_range(head_key);
    for (auto it = range.first; it != range.second; ++it)
        out.insert(it->second);
    return out;
}

key_set units(const key_multimap &head_members, int t)
{
    key_set out;
    auto end = head_members.lower_bound(keygen(pos4i(0, 0, 0, t + 1)));
    for (auto it = head_members.upper_bound(keygen(pos4i(0, 0, 0, t))); it != end; ++it)
        out.insert(it->first);
    return out;
}

key_set parents(const key_multimap &linkage, const std::string &key)
{
    return members(linkage, key);
}

key_set children(const key_multimap &linkage, const std::string &key)
{
    key_set out;
    const int t = decode(key).t();
    auto end = linkage.lower_bound(keygen(pos4i(0, 0, 0, t + 2)));
    for (auto it = linkage.lower_bound(keygen(pos4i(0, 0, 0, t + 1))); it != end; ++it)
        if (it->second == key)
            out.insert(it->first);
    return out;
}

static void collect_upstream(const key_multimap &linkage, const std::string &key, int end_t,
                             key_set &out)
{
    if (decode(key).t() <= end_t)
        return;
    auto range = linkage.equal_range(key);
    for (auto it = range.first; it != range.second; ++it)
        if (out.insert(it->second).second)
            collect_upstream(linkage, it->second, end_t, out);
}

key_set upstream(const key_multimap &linkage, const std::string &key, int end_t)
{
    key_set out;
    collect_upstream(linkage, key, end_t, out);
    return out;
}

bool reach(const key_multimap &linkage, const std::string &a, const std::string &b)
{
    const int ta = decode(a).t(), tb = decode(b).t();
    if (ta == tb)
        return false;
    const std::string &from = ta > tb ? a : b;
    const std::string &to = ta > tb ? b : a;
    return upstream(linkage, from, decode(to).t()).count(to) != 0;
}

bool is_link(roidb_plus &db, q_roiimgdb &rasters, const key_multimap &head_members,
             const std::string &parent, const std::string &child)
{
    const key_set parent_members = members(head_members, parent);
    const key_set child_members = members(head_members, child);
    for (const std::string &cm : child_members) {
        roi c = db.find_plus(cm);
        q_roiimg *child_raster = rasters.qrimg(c);
        for (const std::string &pm : parent_members) {
            roi p = db.find_plus(pm);
            if (p.z() != c.z())
                continue;
            if (is_overlap(rasters.qrimg(p), child_raster))
                return true;
        }
    }
    return false;
}

} // namespace lineage
