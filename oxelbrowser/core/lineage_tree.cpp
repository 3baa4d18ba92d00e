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
// three digits are read directly, since this runs for every member of every unit.
int key_field(const std::string &key, std::size_t index)
{
    const std::size_t at = 3 * index;
    if (key.size() >= at + 3) {
        const unsigned a = static_cast<unsigned char>(key[at]) - '0';
        const unsigned b = static_cast<unsigned char>(key[at + 1]) - '0';
        const unsigned c = static_cast<unsigned char>(key[at + 2]) - '0';
        if (a < 10 && b < 10 && c < 10)
            return static_cast<int>(a * 100 + b * 10 + c);
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
    std::size_t bytes = (m_nodes.capacity() + m_spare.capacity()) * sizeof(tree_node) +
                        m_codes.capacity() * sizeof(std::uint64_t) +
                        m_edges.capacity() * sizeof(tree_edge) +
                        (m_in_first.capacity() + m_out_first.capacity() + m_out.capacity() +
                         m_rows.capacity() + m_row_first.capacity() + m_long_edges.capacity()) *
                            u32 +
                        m_prev.capacity() * sizeof(placed) +
                        (m_old_of.capacity() + m_counts.capacity() + m_old_counts.capacity() +
                         m_child_first.capacity() + m_child_list.capacity() + m_fill.capacity() +
                         m_stack.capacity()) *
                            u32 +
                        m_old_last.capacity() * sizeof(float) + m_flags.capacity() +
                        m_members.capacity() * sizeof(void *);
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
        n.t = key_field(h, 0);
        n.z_min = z_min;
        n.z_max = z_max;
        n.members = members;
        m_spare.push_back(std::move(n));
    }
    if (same && j == held)
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

void tree_layout::read_links(const key_multimap &linkage, int t_min, int t_max)
{
    const std::uint32_t count = static_cast<std::uint32_t>(m_nodes.size());
    m_edges.clear();
    m_dangling = 0;
    m_link_entries = 0;

    // Links: one edge per (child, parent) pair between units; the parent link
    // entries of each unit and whether it has a child one time point later.
    m_counts.assign(count, 0);
    m_flags.assign(count, 0);
    std::uint32_t ci = 0;
    std::uint32_t near = 0; // parents of neighbouring children lie near each other
    std::size_t group = 0;  // first edge of the current child
    for (const auto &[child, parent] : linkage) {
        ++m_link_entries;
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
            // Galloping from the last parent found, then halving.
            std::uint32_t lo = 0, hi = count;
            if (near < count) {
                if (m_codes[near] <= parent_code) {
                    std::uint32_t step = 1;
                    lo = near;
                    while (lo + step < count && m_codes[lo + step] <= parent_code) {
                        lo += step;
                        step *= 2;
                    }
                    hi = std::min(count, lo + step);
                } else {
                    std::uint32_t step = 1;
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
            ++m_counts[ci];
        // The time points from the numeric keys where there are some: the
        // parent's node would be a fetch from far away.
        if (pi != tree_none &&
            (code != no_code ? code_time(code) : key_field(child, 0)) ==
                (parent_code != no_code ? code_time(parent_code) : m_nodes[pi].t) + 1)
            m_flags[pi] = 1;
        if (!child_is_unit || pi == tree_none) {
            ++m_dangling;
            continue;
        }
        if (group == m_edges.size() || m_edges[group].child != ci)
            group = m_edges.size();
        bool twice = false;
        for (std::size_t e = group; e < m_edges.size(); ++e)
            twice = twice || m_edges[e].parent == pi;
        if (!twice)
            m_edges.push_back({pi, ci, false, 0, {}});
    }
    // Parents of one child in key order.
    for (std::size_t b = 0; b < m_edges.size();) {
        std::size_t e = b + 1;
        while (e < m_edges.size() && m_edges[e].child == m_edges[b].child)
            ++e;
        if (e - b > 1)
            std::sort(m_edges.begin() + static_cast<std::ptrdiff_t>(b),
                      m_edges.begin() + static_cast<std::ptrdiff_t>(e),
                      [](const tree_edge &x, const tree_edge &y) { return x.parent < y.parent; });
        b = e;
    }

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
                n.parent = m_edges[e].parent;
            }
        }
        n.marks = marks_of(n.t, m_counts[i], m_flags[i] != 0, t_min, t_max);
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
    m_spare.clear();
    m_spare.shrink_to_fit();
    m_spare.reserve(heads);
    read_units(head_members);
    std::vector<tree_node>().swap(m_spare);
    m_edges.reserve(linkage.size());
    read_links(linkage, t_min, t_max);
    place_all();
}

tree_update tree_layout::update(const key_multimap &head_members, const key_multimap &linkage,
                                int t_min, int t_max)
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

    const bool same_units = read_units(head_members);
    const std::uint32_t count = static_cast<std::uint32_t>(m_nodes.size());
    // The old node of each new one.
    std::size_t matched = count;
    if (!same_units) {
        m_old_of.assign(count, tree_none);
        matched = 0;
        for (std::uint32_t i = 0, j = 0; i < count && j < m_spare.size();) {
            if (m_nodes[i].head < m_spare[j].head) {
                ++i;
            } else if (m_spare[j].head < m_nodes[i].head) {
                ++j;
            } else {
                m_old_of[i++] = j++;
                ++matched;
            }
        }
        std::vector<tree_node>().swap(m_spare);
    }
    auto old_of = [&](std::uint32_t i) { return same_units ? i : m_old_of[i]; };
    read_links(linkage, t_min, t_max);

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
