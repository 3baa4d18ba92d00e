// Doubtful units, dead ends and unlinked units.
#include "lineage_marks.h"

#include "keygen.h"

namespace lineage
{

unsigned char marks_of(int t, std::size_t parent_entries, bool has_children, int t_min, int t_max)
{
    unsigned char marks = 0;
    if (parent_entries >= 2)
        marks |= mark_doubtful;
    if (!has_children && t < t_max)
        marks |= mark_dead_end;
    if (parent_entries == 0 && t > t_min)
        marks |= mark_unlinked;
    return marks;
}

bool is_doubtful(const key_multimap &linkage, const std::string &head)
{
    return linkage.count(head) >= 2;
}

bool is_dead_end(const key_multimap &linkage, const std::string &head, int t_max)
{
    return decode(head).t() < t_max && children(linkage, head).empty();
}

bool is_unlinked(const key_multimap &linkage, const std::string &head, int t_min)
{
    return decode(head).t() > t_min && linkage.count(head) == 0;
}

marked_units find_marked_units(const key_multimap &head_members, const key_multimap &linkage,
                               int t_min, int t_max)
{
    // Parents that have a child one time point after them, counted once.
    key_set with_children;
    for (const auto &[child, parent] : linkage)
        if (decode(child).t() == decode(parent).t() + 1)
            with_children.insert(parent);
    marked_units out;
    for (auto it = head_members.begin(); it != head_members.end();
         it = head_members.upper_bound(it->first)) {
        const std::string &h = it->first;
        const unsigned char m =
            marks_of(decode(h).t(), linkage.count(h), with_children.count(h) != 0, t_min, t_max);
        if (m & mark_doubtful)
            out.doubtful.insert(out.doubtful.end(), h);
        if (m & mark_dead_end)
            out.dead_ends.insert(out.dead_ends.end(), h);
        if (m & mark_unlinked)
            out.unlinked.insert(out.unlinked.end(), h);
    }
    return out;
}

} // namespace lineage
