// The lineage tree's layout.
#include "lineage_tree.h"

#include "keygen.h"
#include "lineage_marks.h"

#include <algorithm> // std::lower_bound, std::sort, std::max
#include <climits>   // INT_MAX, INT_MIN
#include <cstring>   // std::memcpy
#include <iterator>  // std::prev
#include <map>

namespace lineage
{

namespace
{

// Field index of a browser key (0 time point, 1 focal plane) as decode reads it;
// three-digit fields are read directly, since this runs for every member of
// every unit (a field stands at 3 * index only when those before it are
// three digits too).
int key_field(const std::string &key, std::size_t index)
{
    const std::size_t at = 3 * index;
    if (key.size() >= at + 3) {
        unsigned v = 0;
        bool digits = true;
        for (std::size_t i = 0; i < at + 3 && digits; ++i) {
            const unsigned d = static_cast<unsigned char>(key[i]) - '0';
            digits = d < 10;
            v = i < at ? 0 : v * 10 + d;
        }
        if (digits)
            return static_cast<int>(v);
    }
    const pos4i p = decode(key);
    return index == 0 ? p.t() : p.z();
}

const std::uint64_t no_code = ~std::uint64_t(0);

// A twelve-digit key as a number (the same order as the keys), or no_code.
std::uint64_t key_code(const std::string &key)
{
    if (key.size() != 12)
        return no_code;
    std::uint64_t code = 0;
    for (char c : key) {
        const unsigned d = static_cast<unsigned char>(c) - '0';
        if (d >= 10)
            return no_code;
        code = code * 10 + d;
    }
    return code;
}

// Key equality without a call for the usual twelve characters: the walks over
// the window's tables compare every entry.
bool same_key(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    if (a.size() != 12)
        return a == b;
    std::uint64_t a8, b8;
    std::uint32_t a4, b4;
    std::memcpy(&a8, a.data(), 8);
    std::memcpy(&b8, b.data(), 8);
    std::memcpy(&a4, a.data() + 8, 4);
    std::memcpy(&b4, b.data() + 8, 4);
    return a8 == b8 && a4 == b4;
}

int code_time(std::uint64_t code)
{
    return static_cast<int>(code / 1000000000u);
}

// How many different keys the list holds (a member recorded twice is one).
std::uint32_t distinct(std::vector<const std::string *> &keys)
{
    const std::size_t n = keys.size();
    if (n > 8) {
        std::sort(keys.begin(), keys.end(),
                  [](const std::string *a, const std::string *b) { return *a < *b; });
        return static_cast<std::uint32_t>(
            std::unique(keys.begin(), keys.end(),
                        [](const std::string *a, const std::string *b) { return *a == *b; }) -
            keys.begin());
    }
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < n; ++i) {
        bool seen = false;
        for (std::size_t j = 0; j < i && !seen; ++j)
            seen = same_key(*keys[j], *keys[i]);
        count += !seen;
    }
    return count;
}

// Whether the columns [start, start + length) are free of every band taken.
bool fits(const std::map<float, float> &taken, float start, float length)
{
    auto next = taken.lower_bound(start);
    if (next != taken.end() && next->first < start + length)
        return false;
    if (next != taken.begin() && std::prev(next)->second > start)
        return false;
    return true;
}

} // namespace

std::uint32_t tree_layout::find(const std::string &head) const
{
    if (m_coded) {
        const std::uint64_t code = key_code(head);
        if (code == no_code)
            return tree_none;
        auto it = std::lower_bound(m_codes.begin(), m_codes.end(), code);
        if (it == m_codes.end() || *it != code)
            return tree_none;
        return static_cast<std::uint32_t>(it - m_codes.begin());
    }
    auto it = std::lower_bound(m_nodes.begin(), m_nodes.end(), head,
                               [](const tree_node &n, const std::string &h) { return n.head < h; });
    if (it == m_nodes.end() || it->head != head)
        return tree_none;
    return static_cast<std::uint32_t>(it - m_nodes.begin());
}

std::pair<const std::uint32_t *, const std::uint32_t *> tree_layout::row(int t) const
{
    if (m_row_first.empty() || t < m_first_row || t > last_row())
        return {nullptr, nullptr};
    const std::size_t r = static_cast<std::size_t>(t - m_first_row);
    return {m_rows.data() + m_row_first[r], m_rows.data() + m_row_first[r + 1]};
}

int tree_layout::last_row() const
{
    return m_row_first.empty() ? m_first_row - 1
                               : m_first_row + static_cast<int>(m_row_first.size()) - 2;
}

std::pair<std::size_t, std::size_t> tree_layout::edges_into(std::uint32_t node) const
{
    return {m_in_first[node], m_in_first[node + 1]};
}

std::pair<const std::uint32_t *, const std::uint32_t *>
tree_layout::edges_from(std::uint32_t node) const
{
    return {m_out.data() + m_out_first[node], m_out.data() + m_out_first[node + 1]};
}

std::size_t tree_layout::memory() const
{
    const std::size_t u32 = sizeof(std::uint32_t);
    std::size_t bytes =
        (m_nodes.capacity() + m_spare.capacity()) * sizeof(tree_node) +
        m_codes.capacity() * sizeof(std::uint64_t) + m_edges.capacity() * sizeof(tree_edge) +
        (m_in_first.capacity() + m_out_first.capacity() + m_out.capacity() + m_rows.capacity() +
         m_row_first.capacity() + m_long_edges.capacity()) *
            u32 +
        m_prev.capacity() * sizeof(placed) +
        (m_old_of.capacity() + m_counts.capacity() + m_old_counts.capacity() +
         m_child_first.capacity() + m_child_list.capacity() + m_fill.capacity() +
         m_stack.capacity()) *
            u32 +
        m_old_last.capacity() * sizeof(float) + m_flags.capacity() +
        m_members.capacity() * sizeof(void *) + (m_entries.capacity() + m_new_of.capacity()) * u32 +
        m_has_child.capacity() + (m_window.capacity() * sizeof(tree_node)) +
        m_window_edges.capacity() * sizeof(tree_edge);
    for (const tree_node &n : m_nodes)
        if (n.head.capacity() > 15) // beyond the string's own buffer
            bytes += n.head.capacity() + 1;
    return bytes;
}

bool tree_layout::read_units(const key_multimap &head_members)
{
    const std::size_t held = m_nodes.size();
    std::size_t j = 0;
    bool same = true;
    m_member_entries = head_members.size();
    for (auto &row : m_row_counts)
        row.second.members = 0;
    for (auto it = head_members.begin(); it != head_members.end();) {
        const std::string &h = it->first;
        int z_min = INT_MAX, z_max = INT_MIN;
        m_members.clear();
        for (; it != head_members.end() && same_key(it->first, h); ++it) {
            const int z = key_field(it->second, 1);
            z_min = std::min(z_min, z);
            z_max = std::max(z_max, z);
            m_members.push_back(&it->second);
        }
        const int t = key_field(h, 0);
        m_row_counts[t].members += m_members.size();
        const std::uint32_t members = distinct(m_members);
        if (same) {
            if (j < held && same_key(m_nodes[j].head, h)) {
                tree_node &n = m_nodes[j++];
                n.z_min = z_min;
                n.z_max = z_max;
                n.members = members;
                continue;
            }
            // From here on the units differ: the ones read so far are kept.
            same = false;
            m_spare.clear();
            m_spare.reserve(held + held / 64 + 16);
            m_spare.insert(m_spare.end(), m_nodes.begin(),
                           m_nodes.begin() + static_cast<std::ptrdiff_t>(j));
        }
        tree_node n;
        n.head = h;
        n.t = t;
        n.z_min = z_min;
        n.z_max = z_max;
        n.members = members;
        m_spare.push_back(std::move(n));
    }
    m_same_units = same && j == held;
    if (m_same_units)
        return true;
    if (same) { // units at the end were removed
        m_spare.clear();
        m_spare.insert(m_spare.end(), m_nodes.begin(),
                       m_nodes.begin() + static_cast<std::ptrdiff_t>(j));
    }
    m_nodes.swap(m_spare);
    m_codes.resize(m_nodes.size());
    m_coded = true;
    for (std::size_t i = 0; i < m_nodes.size(); ++i) {
        m_codes[i] = key_code(m_nodes[i].head);
        m_coded = m_coded && m_codes[i] != no_code;
    }
    return false;
}

void tree_layout::match_old()
{
    const std::uint32_t count = static_cast<std::uint32_t>(m_nodes.size());
    m_old_of.assign(count, tree_none);
    m_matched = 0;
    for (std::uint32_t i = 0, j = 0; i < count && j < m_spare.size();) {
        if (m_nodes[i].head < m_spare[j].head) {
            ++i;
        } else if (m_spare[j].head < m_nodes[i].head) {
            ++j;
        } else {
            m_old_of[i++] = j++;
            ++m_matched;
        }
    }
    std::vector<tree_node>().swap(m_spare);
}

void tree_layout::enter_link(const std::string &child, const std::string &parent,
                             std::vector<tree_edge> &edges, std::uint32_t &ci, std::uint32_t &near,
                             std::size_t &group)
{
    const std::uint32_t count = static_cast<std::uint32_t>(m_nodes.size());
    row_counts &row = m_row_counts[key_field(child, 0)];
    ++row.links;
    const std::uint64_t code = m_coded ? key_code(child) : no_code;
    bool child_is_unit;
    if (code != no_code) {
        while (ci < count && m_codes[ci] < code)
            ++ci;
        child_is_unit = ci < count && m_codes[ci] == code;
    } else {
        while (ci < count && m_nodes[ci].head < child)
            ++ci;
        child_is_unit = ci < count && m_nodes[ci].head == child;
    }
    std::uint32_t pi = tree_none;
    const std::uint64_t parent_code = m_coded ? key_code(parent) : no_code;
    if (parent_code != no_code) {
        // Galloping from the last parent found, then halving: the parents of
        // neighbouring children lie near each other.
        std::uint32_t lo = 0, hi = count;
        if (near < count) {
            std::uint32_t step = 1;
            if (m_codes[near] <= parent_code) {
                lo = near;
                while (lo + step < count && m_codes[lo + step] <= parent_code) {
                    lo += step;
                    step *= 2;
                }
                hi = std::min(count, lo + step);
            } else {
                hi = near;
                while (hi >= step && m_codes[hi - step] > parent_code) {
                    hi -= step;
                    step *= 2;
                }
                lo = hi >= step ? hi - step : 0;
            }
        }
        auto it = std::lower_bound(m_codes.begin() + lo, m_codes.begin() + hi, parent_code);
        if (it != m_codes.begin() + hi && *it == parent_code) {
            pi = static_cast<std::uint32_t>(it - m_codes.begin());
            near = pi;
        }
    } else if (!m_coded) {
        pi = find(parent);
    }
    if (child_is_unit)
        ++m_entries[ci];
    // Time points from the numeric keys where there are some: the parent's
    // node would be a fetch from far away.
    if (pi != tree_none &&
        (code != no_code ? code_time(code) : key_field(child, 0)) ==
            (parent_code != no_code ? code_time(parent_code) : m_nodes[pi].t) + 1)
        m_has_child[pi] = 1;
    if (!child_is_unit || pi == tree_none) {
        ++row.dangling;
        return;
    }
    if (group == edges.size() || edges[group].child != ci)
        group = edges.size();
    for (std::size_t e = group; e < edges.size(); ++e)
        if (edges[e].parent == pi)
            return; // a link entered twice is one edge
    edges.push_back({pi, ci, false, 0, {}});
}

// Parents of one child in key order.
static void sort_parents(std::vector<tree_edge> &edges)
{
    for (std::size_t b = 0; b < edges.size();) {
        std::size_t e = b + 1;
        while (e < edges.size() && edges[e].child == edges[b].child)
            ++e;
        if (e - b > 1)
            std::sort(edges.begin() + static_cast<std::ptrdiff_t>(b),
                      edges.begin() + static_cast<std::ptrdiff_t>(e),
                      [](const tree_edge &x, const tree_edge &y) { return x.parent < y.parent; });
        b = e;
    }
}

void tree_layout::read_links(const key_multimap &linkage)
{
    const std::uint32_t count = static_cast<std::uint32_t>(m_nodes.size());
    m_link_entries = linkage.size();
    m_entries.assign(count, 0);
    m_has_child.assign(count, 0);
    for (auto &row : m_row_counts)
        row.second.links = row.second.dangling = 0;
    m_edges.clear();
    std::uint32_t ci = 0, near = 0;
    std::size_t group = 0;
    for (const auto &[child, parent] : linkage)
        enter_link(child, parent, m_edges, ci, near, group);
    sort_parents(m_edges);
    m_dangling = 0;
    for (const auto &row : m_row_counts)
        m_dangling += row.second.dangling;
}

bool tree_layout::read_near(const key_multimap &head_members, const key_multimap &linkage, int t0,
                            int t1)
{
    t0 = std::max(t0, 0);
    if (!m_coded || m_nodes.empty() || t1 < t0 || t1 > 997)
        return false;
    auto rows_total = [this](int from, int to, std::size_t row_counts::*field) {
        std::size_t sum = 0;
        for (auto it = m_row_counts.lower_bound(from); it != m_row_counts.end() && it->first <= to;
             ++it)
            sum += it->second.*field;
        return sum;
    };
    // The first node of time point t (or later), by its number.
    auto first_of = [this](int t) {
        return static_cast<std::uint32_t>(
            std::lower_bound(m_codes.begin(), m_codes.end(),
                             static_cast<std::uint64_t>(std::max(t, 0)) * 1000000000u) -
            m_codes.begin());
    };

    // The units of t0 to t1, and whether the tables changed in size elsewhere.
    m_window.clear();
    std::map<int, std::size_t> row_members;
    std::size_t members = 0;
    const auto units_end = head_members.lower_bound(time_key(t1 + 1));
    for (auto it = head_members.lower_bound(time_key(t0)); it != units_end;) {
        const std::string &h = it->first;
        if (key_code(h) == no_code)
            return false;
        int z_min = INT_MAX, z_max = INT_MIN;
        m_members.clear();
        for (; it != units_end && same_key(it->first, h); ++it) {
            const int z = key_field(it->second, 1);
            z_min = std::min(z_min, z);
            z_max = std::max(z_max, z);
            m_members.push_back(&it->second);
        }
        tree_node n;
        n.head = h;
        n.t = key_field(h, 0);
        n.z_min = z_min;
        n.z_max = z_max;
        n.members = distinct(m_members);
        row_members[n.t] += m_members.size();
        members += m_members.size();
        m_window.push_back(std::move(n));
    }
    if (head_members.size() !=
        m_member_entries - rows_total(t0, t1, &row_counts::members) + members)
        return false;
    const auto links_begin = linkage.lower_bound(time_key(t0));
    const auto links_end = linkage.lower_bound(time_key(t1 + 2));
    const std::size_t links = static_cast<std::size_t>(std::distance(links_begin, links_end));
    if (linkage.size() != m_link_entries - rows_total(t0, t1 + 1, &row_counts::links) + links)
        return false;

    // The old nodes of those time points, and the old edges into t0 to t1 + 1.
    const std::uint32_t held = static_cast<std::uint32_t>(m_nodes.size());
    const std::uint32_t a = first_of(t0), b = first_of(t1 + 1);
    const std::uint32_t fresh = static_cast<std::uint32_t>(m_window.size());
    auto first_edge = [this](std::uint32_t child) {
        return static_cast<std::size_t>(
            std::lower_bound(m_edges.begin(), m_edges.end(), child,
                             [](const tree_edge &e, std::uint32_t c) { return e.child < c; }) -
            m_edges.begin());
    };
    const std::size_t edge_a = first_edge(a), edge_b = first_edge(first_of(t1 + 2));

    m_same_units = fresh == b - a;
    for (std::uint32_t k = 0; m_same_units && k < fresh; ++k)
        m_same_units = same_key(m_window[k].head, m_nodes[a + k].head);
    if (m_same_units) {
        for (std::uint32_t k = 0; k < fresh; ++k) {
            tree_node &n = m_nodes[a + k];
            n.z_min = m_window[k].z_min;
            n.z_max = m_window[k].z_max;
            n.members = m_window[k].members;
        }
    } else {
        // New nodes: those before, the units read, those after.
        m_spare.swap(m_nodes);
        m_nodes.clear();
        m_nodes.reserve(held - (b - a) + fresh);
        m_nodes.insert(m_nodes.end(), m_spare.begin(), m_spare.begin() + a);
        m_nodes.insert(m_nodes.end(), std::make_move_iterator(m_window.begin()),
                       std::make_move_iterator(m_window.end()));
        m_nodes.insert(m_nodes.end(), m_spare.begin() + b, m_spare.end());
        const std::uint32_t count = static_cast<std::uint32_t>(m_nodes.size());
        m_old_of.assign(count, tree_none);
        m_new_of.assign(held, tree_none);
        for (std::uint32_t i = 0; i < a; ++i)
            m_old_of[i] = m_new_of[i] = i;
        for (std::uint32_t i = b; i < held; ++i) {
            m_new_of[i] = i - b + a + fresh;
            m_old_of[i - b + a + fresh] = i;
        }
        m_matched = held - (b - a);
        for (std::uint32_t i = a, j = a; i < a + fresh && j < b;) {
            if (m_nodes[i].head < m_spare[j].head) {
                ++i;
            } else if (m_spare[j].head < m_nodes[i].head) {
                ++j;
            } else {
                m_old_of[i] = j;
                m_new_of[j] = i;
                ++i, ++j, ++m_matched;
            }
        }
        std::vector<tree_node>().swap(m_spare);
        m_codes.resize(count);
        for (std::uint32_t i = 0; i < count; ++i)
            m_codes[i] = key_code(m_nodes[i].head);
        // Counts per node follow their nodes, and so do the edges; an edge
        // from a unit that is gone names no unit now.
        m_fill.assign(m_entries.begin(), m_entries.end());
        m_entries.assign(count, 0);
        for (std::uint32_t i = 0; i < count; ++i)
            if (m_old_of[i] != tree_none)
                m_entries[i] = m_fill[m_old_of[i]];
        m_flags.assign(m_has_child.begin(), m_has_child.end());
        m_has_child.assign(count, 0);
        for (std::uint32_t i = 0; i < count; ++i)
            if (m_old_of[i] != tree_none)
                m_has_child[i] = m_flags[m_old_of[i]];
        for (tree_edge &e : m_edges) {
            e.child = e.child == tree_none ? tree_none : m_new_of[e.child];
            e.parent = m_new_of[e.parent];
        }
    }
    m_member_entries = head_members.size();
    for (int t = t0; t <= t1; ++t)
        m_row_counts[t].members = row_members.count(t) ? row_members[t] : 0;

    // The links into t0 to t1 + 1 read again, the others kept.
    const std::uint32_t child_a = first_of(t0), child_b = first_of(t1 + 2);
    for (std::uint32_t i = child_a; i < child_b; ++i)
        m_entries[i] = 0;
    for (std::uint32_t i = first_of(t0 - 1); i < first_of(t1 + 1); ++i)
        m_has_child[i] = 0;
    for (int t = t0; t <= t1 + 1; ++t)
        m_row_counts[t].links = m_row_counts[t].dangling = 0;
    m_window_edges.clear();
    std::uint32_t ci = child_a, near = child_a > 0 ? child_a - 1 : 0;
    std::size_t group = 0;
    for (auto it = links_begin; it != links_end; ++it)
        enter_link(it->first, it->second, m_window_edges, ci, near, group);
    sort_parents(m_window_edges);
    m_edges.erase(m_edges.begin() + static_cast<std::ptrdiff_t>(edge_a),
                  m_edges.begin() + static_cast<std::ptrdiff_t>(edge_b));
    m_edges.insert(m_edges.begin() + static_cast<std::ptrdiff_t>(edge_a), m_window_edges.begin(),
                   m_window_edges.end());
    if (!m_same_units) {
        const auto gone =
            std::remove_if(m_edges.begin(), m_edges.end(), [this](const tree_edge &e) {
                if (e.parent != tree_none)
                    return false;
                ++m_row_counts[m_nodes[e.child].t].dangling;
                return true;
            });
        m_edges.erase(gone, m_edges.end());
    }
    m_link_entries = linkage.size();
    m_dangling = 0;
    for (const auto &row : m_row_counts)
        m_dangling += row.second.dangling;
    return true;
}

void tree_layout::derive(int t_min, int t_max)
{
    const std::uint32_t count = static_cast<std::uint32_t>(m_nodes.size());
    m_in_first.assign(count + 1, 0);
    for (const tree_edge &e : m_edges)
        ++m_in_first[e.child + 1];
    for (std::uint32_t i = 0; i < count; ++i)
        m_in_first[i + 1] += m_in_first[i];

    // A unit hangs under its first parent of an earlier time point; a parent of
    // the same or a later time point (a bad link) cannot close a cycle that way.
    for (std::uint32_t i = 0; i < count; ++i) {
        tree_node &n = m_nodes[i];
        n.parent = tree_none;
        for (std::uint32_t e = m_in_first[i]; e < m_in_first[i + 1]; ++e) {
            m_edges[e].placing = false;
            const std::uint32_t p = m_edges[e].parent;
            const int tp = m_coded ? code_time(m_codes[p]) : m_nodes[p].t;
            if (n.parent == tree_none && tp < n.t) {
                m_edges[e].placing = true;
                n.parent = p;
            }
        }
        n.marks = marks_of(n.t, m_entries[i], m_has_child[i] != 0, t_min, t_max);
    }

    // Rows: nodes by time point, in key order within one.
    m_rows.resize(count);
    m_row_first.clear();
    if (count != 0) {
        int lo = INT_MAX, hi = INT_MIN;
        for (const tree_node &n : m_nodes) {
            lo = std::min(lo, n.t);
            hi = std::max(hi, n.t);
        }
        m_first_row = lo;
        m_row_first.assign(static_cast<std::size_t>(hi - lo) + 2, 0);
        for (const tree_node &n : m_nodes)
            ++m_row_first[static_cast<std::size_t>(n.t - lo) + 1];
        for (std::size_t r = 1; r < m_row_first.size(); ++r)
            m_row_first[r] += m_row_first[r - 1];
        m_fill.assign(m_row_first.begin(), m_row_first.end() - 1);
        for (std::uint32_t i = 0; i < count; ++i)
            m_rows[m_fill[static_cast<std::size_t>(m_nodes[i].t - lo)]++] = i;
    }
    // Roots: parents lie in earlier rows, so theirs are known first.
    for (std::uint32_t i : m_rows) {
        tree_node &n = m_nodes[i];
        n.root = n.parent == tree_none ? i : m_nodes[n.parent].root;
    }

    // Edges by parent.
    m_out_first.assign(count + 1, 0);
    for (const tree_edge &e : m_edges)
        ++m_out_first[e.parent + 1];
    for (std::uint32_t i = 0; i < count; ++i)
        m_out_first[i + 1] += m_out_first[i];
    m_out.resize(m_edges.size());
    m_fill.assign(m_out_first.begin(), m_out_first.end() - 1);
    for (std::uint32_t e = 0; e < m_edges.size(); ++e)
        m_out[m_fill[m_edges[e].parent]++] = e;
}

void tree_layout::children_lists()
{
    const std::uint32_t count = static_cast<std::uint32_t>(m_nodes.size());
    m_child_first.assign(count + 1, 0);
    for (const tree_node &n : m_nodes)
        if (n.parent != tree_none)
            ++m_child_first[n.parent + 1];
    for (std::uint32_t i = 0; i < count; ++i)
        m_child_first[i + 1] += m_child_first[i];
    m_child_list.resize(m_child_first[count]);
    m_fill.assign(m_child_first.begin(), m_child_first.end() - 1);
    for (std::uint32_t i = 0; i < count; ++i)
        if (m_nodes[i].parent != tree_none)
            m_child_list[m_fill[m_nodes[i].parent]++] = i;
}

// Depth first: a node takes the column of the next free leaf, so it stands
// above its first child, and each leaf uses up one column.
float tree_layout::place_tree(std::uint32_t root, float start)
{
    float column = start;
    m_stack.assign(1, root);
    while (!m_stack.empty()) {
        const std::uint32_t n = m_stack.back();
        m_stack.pop_back();
        m_nodes[n].x = column;
        const std::uint32_t b = m_child_first[n], e = m_child_first[n + 1];
        if (b == e)
            column += 1;
        for (std::uint32_t k = e; k > b; --k)
            m_stack.push_back(m_child_list[k - 1]);
    }
    return column - start;
}

void tree_layout::draw_edges()
{
    m_long_edges.clear();
    for (std::uint32_t i = 0; i < m_edges.size(); ++i) {
        tree_edge &e = m_edges[i];
        const tree_node &p = m_nodes[e.parent], &c = m_nodes[e.child];
        const float tp = static_cast<float>(p.t), tc = static_cast<float>(c.t);
        if (p.x == c.x && c.t > p.t) {
            e.count = 2;
            e.points[0] = {p.x, tp};
            e.points[1] = {c.x, tc};
        } else {
            // Down half a row, across, then down (or up, for a bad link) to the child.
            const float mid = tp + 0.5f;
            e.count = 4;
            e.points[0] = {p.x, tp};
            e.points[1] = {p.x, mid};
            e.points[2] = {c.x, mid};
            e.points[3] = {c.x, tc};
        }
        if (c.t != p.t + 1)
            m_long_edges.push_back(i);
    }
}

void tree_layout::place_all()
{
    children_lists();
    float column = 0;
    for (std::uint32_t i = 0; i < m_nodes.size(); ++i)
        if (m_nodes[i].parent == tree_none)
            column += place_tree(i, column) + gap;
    m_width = m_nodes.empty() ? 0 : column - gap;
    draw_edges();
}

void tree_layout::build(const key_multimap &head_members, const key_multimap &linkage, int t_min,
                        int t_max)
{
    // Room for exactly the units there are.
    std::size_t heads = 0;
    for (auto it = head_members.begin(); it != head_members.end();
         it = head_members.upper_bound(it->first))
        ++heads;
    m_nodes.clear();
    m_codes.clear();
    m_coded = true;
    m_row_counts.clear();
    m_spare.clear();
    m_spare.shrink_to_fit();
    m_spare.reserve(heads);
    read_units(head_members);
    std::vector<tree_node>().swap(m_spare);
    m_edges.reserve(linkage.size());
    read_links(linkage);
    derive(t_min, t_max);
    place_all();
}

tree_update tree_layout::update(const key_multimap &head_members, const key_multimap &linkage,
                                int t_min, int t_max)
{
    return refresh(head_members, linkage, t_min, t_max, false, 0, 0);
}

tree_update tree_layout::update_near(const key_multimap &head_members, const key_multimap &linkage,
                                     int t_min, int t_max, int t0, int t1)
{
    return refresh(head_members, linkage, t_min, t_max, true, t0, t1);
}

tree_update tree_layout::refresh(const key_multimap &head_members, const key_multimap &linkage,
                                 int t_min, int t_max, bool near, int t0, int t1)
{
    tree_update done;
    if (m_nodes.empty()) {
        build(head_members, linkage, t_min, t_max);
        done.rebuilt = true;
        return done;
    }
    const std::uint32_t held = static_cast<std::uint32_t>(m_nodes.size());
    m_prev.resize(held);
    for (std::uint32_t o = 0; o < held; ++o)
        m_prev[o] = {m_nodes[o].x, m_nodes[o].parent, m_nodes[o].root};

    done.near = near && read_near(head_members, linkage, t0, t1);
    if (!done.near) {
        if (!read_units(head_members))
            match_old();
        read_links(linkage);
    }
    derive(t_min, t_max);
    const bool same_units = m_same_units;
    const std::uint32_t count = static_cast<std::uint32_t>(m_nodes.size());
    const std::size_t matched = same_units ? count : m_matched;
    auto old_of = [&](std::uint32_t i) { return same_units ? i : m_old_of[i]; };

    // A mostly new lineage (a read, a Reset, a first unit pass) is laid out afresh.
    if (2 * matched < count || count == 0) {
        place_all();
        done.rebuilt = true;
        return done;
    }

    // Old trees: their sizes and last columns (their first is the root's).
    m_old_counts.assign(held, 0);
    m_old_last.assign(held, 0);
    for (const placed &o : m_prev) {
        ++m_old_counts[o.root];
        m_old_last[o.root] = std::max(m_old_last[o.root], o.x);
    }
    // A new tree is unchanged when it is an old tree node for node, each under
    // the same parent.
    m_counts.assign(count, 0);
    m_flags.assign(count, 1);
    for (std::uint32_t i = 0; i < count; ++i) {
        const tree_node &n = m_nodes[i];
        ++m_counts[n.root];
        const std::uint32_t o = old_of(i), o_root = old_of(n.root);
        if (o == tree_none || o_root == tree_none || m_prev[o_root].parent != tree_none ||
            m_prev[o].root != o_root)
            m_flags[n.root] = 0;
        else if (n.parent == tree_none ? m_prev[o].parent != tree_none
                                       : m_prev[o].parent != old_of(n.parent))
            m_flags[n.root] = 0;
    }
    std::map<float, float> taken; // bands of columns, each with its gap: start → end
    float right = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (m_nodes[i].parent != tree_none)
            continue;
        const std::uint32_t o = old_of(i);
        if (m_flags[i] && m_counts[i] != m_old_counts[o])
            m_flags[i] = 0;
        if (m_flags[i]) {
            const float end = m_old_last[o] + 1 + gap;
            taken[m_prev[o].x] = end;
            right = std::max(right, end);
            ++done.kept;
        }
    }
    for (std::uint32_t i = 0; i < count; ++i)
        if (m_flags[m_nodes[i].root])
            m_nodes[i].x = m_prev[old_of(i)].x;

    // Changed trees, in key order of their roots: where their root's old tree
    // stood if they fit there, else right of everything.
    children_lists();
    m_counts.assign(count, 0); // leaves per tree: its width
    for (std::uint32_t i = 0; i < count; ++i)
        if (m_child_first[i] == m_child_first[i + 1])
            ++m_counts[m_nodes[i].root];
    for (std::uint32_t i = 0; i < count; ++i) {
        if (m_nodes[i].parent != tree_none || m_flags[i])
            continue;
        const float width = static_cast<float>(m_counts[i]);
        float start = right;
        bool home = false;
        if (old_of(i) != tree_none) {
            const float old_start = m_prev[m_prev[old_of(i)].root].x;
            if (fits(taken, old_start, width + gap)) {
                start = old_start;
                home = true;
            }
        }
        place_tree(i, start);
        taken[start] = start + width + gap;
        right = std::max(right, start + width + gap);
        ++(home ? done.in_place : done.to_the_end);
    }
    m_width = right - gap;
    draw_edges();
    return done;
}

void node_states(const tree_layout &l, const std::string &root, const key_set &elite,
                 std::vector<unsigned char> &states)
{
    states.assign(l.nodes().size(), 0);
    for (const std::string &h : elite) {
        const std::uint32_t i = l.find(h);
        if (i != tree_none)
            states[i] |= state_elite;
    }
    const std::uint32_t r = root.empty() ? tree_none : l.find(root);
    if (r == tree_none)
        return;
    states[r] |= state_root;
    // Ancestors through every parent, then descendants through every child;
    // a node seen once is not walked again, so a cycle of bad links ends.
    std::vector<std::uint32_t> todo{r};
    while (!todo.empty()) {
        const std::uint32_t n = todo.back();
        todo.pop_back();
        const auto in = l.edges_into(n);
        for (std::size_t e = in.first; e < in.second; ++e) {
            const std::uint32_t p = l.edges()[e].parent;
            if (!(states[p] & (state_lineage | state_root))) {
                states[p] |= state_lineage;
                todo.push_back(p);
            }
        }
    }
    todo.push_back(r);
    std::vector<unsigned char> seen(states.size(), 0);
    seen[r] = 1;
    while (!todo.empty()) {
        const std::uint32_t n = todo.back();
        todo.pop_back();
        const auto out = l.edges_from(n);
        for (const std::uint32_t *e = out.first; e != out.second; ++e) {
            const std::uint32_t c = l.edges()[*e].child;
            if (!seen[c]) {
                seen[c] = 1;
                if (c != r)
                    states[c] |= state_lineage;
                todo.push_back(c);
            }
        }
    }
}

} // namespace lineage
