// The lineage tree's layout.
#include "lineage_tree.h"

#include "keygen.h"
#include "lineage_marks.h"

#include <algorithm> // std::lower_bound, std::sort, std::max
#include <climits>   // INT_MAX, INT_MIN
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
    std::size_t bytes = m_nodes.capacity() * sizeof(tree_node) +
                        m_edges.capacity() * sizeof(tree_edge) +
                        (m_in_first.capacity() + m_out_first.capacity() + m_out.capacity() +
                         m_rows.capacity() + m_row_first.capacity() + m_long_edges.capacity()) *
                            sizeof(std::uint32_t);
    for (const tree_node &n : m_nodes)
        if (n.head.capacity() > 15) // beyond the string's own buffer
            bytes += n.head.capacity() + 1;
    return bytes;
}

void tree_layout::assemble(const key_multimap &head_members, const key_multimap &linkage, int t_min,
                           int t_max, std::size_t expected)
{
    m_nodes.clear();
    m_edges.clear();
    m_long_edges.clear();
    m_dangling = 0;
    m_link_entries = 0;
    m_width = 0;

    // Units, with their plane extent and member count.
    if (expected == 0) {
        std::size_t heads = 0;
        for (auto it = head_members.begin(); it != head_members.end();
             it = head_members.upper_bound(it->first))
            ++heads;
        m_nodes.reserve(heads);
    } else {
        m_nodes.reserve(expected + expected / 64 + 16);
    }
    std::vector<const std::string *> members;
    for (auto it = head_members.begin(); it != head_members.end();) {
        tree_node n;
        n.head = it->first;
        n.t = key_field(n.head, 0);
        int z_min = INT_MAX, z_max = INT_MIN;
        members.clear();
        for (; it != head_members.end() && it->first == n.head; ++it) {
            const int z = key_field(it->second, 1);
            z_min = std::min(z_min, z);
            z_max = std::max(z_max, z);
            members.push_back(&it->second);
        }
        // A member recorded twice is one member.
        if (members.size() > 1) {
            std::sort(members.begin(), members.end(),
                      [](const std::string *a, const std::string *b) { return *a < *b; });
            members.erase(
                std::unique(members.begin(), members.end(),
                            [](const std::string *a, const std::string *b) { return *a == *b; }),
                members.end());
        }
        n.z_min = z_min;
        n.z_max = z_max;
        n.members = static_cast<std::uint32_t>(members.size());
        m_nodes.push_back(std::move(n));
    }
    const std::uint32_t count = static_cast<std::uint32_t>(m_nodes.size());

    // Links: one edge per (child, parent) pair between units.
    std::vector<std::uint32_t> parent_entries(count, 0);
    std::vector<unsigned char> has_children(count, 0);
    m_edges.reserve(linkage.size());
    std::uint32_t ci = 0;
    std::size_t group = 0; // first edge of the current child
    for (const auto &[child, parent] : linkage) {
        ++m_link_entries;
        while (ci < count && m_nodes[ci].head < child)
            ++ci;
        const bool child_is_unit = ci < count && m_nodes[ci].head == child;
        const std::uint32_t pi = find(parent);
        if (child_is_unit)
            ++parent_entries[ci];
        if (pi != tree_none && key_field(child, 0) == m_nodes[pi].t + 1)
            has_children[pi] = 1;
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
        for (std::uint32_t e = m_in_first[i]; e < m_in_first[i + 1]; ++e)
            if (m_nodes[m_edges[e].parent].t < n.t) {
                m_edges[e].placing = true;
                n.parent = m_edges[e].parent;
                break;
            }
        n.marks = marks_of(n.t, parent_entries[i], has_children[i] != 0, t_min, t_max);
    }

    // Rows: nodes by time point, in key order within one.
    m_rows.clear();
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
        m_rows.resize(count);
        std::vector<std::uint32_t> fill(m_row_first.begin(), m_row_first.end() - 1);
        for (std::uint32_t i = 0; i < count; ++i)
            m_rows[fill[static_cast<std::size_t>(m_nodes[i].t - lo)]++] = i;
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
    std::vector<std::uint32_t> fill(m_out_first.begin(), m_out_first.end() - 1);
    for (std::uint32_t e = 0; e < m_edges.size(); ++e)
        m_out[fill[m_edges[e].parent]++] = e;
}

void tree_layout::children_lists(std::vector<std::uint32_t> &first,
                                 std::vector<std::uint32_t> &list) const
{
    const std::uint32_t count = static_cast<std::uint32_t>(m_nodes.size());
    first.assign(count + 1, 0);
    for (const tree_node &n : m_nodes)
        if (n.parent != tree_none)
            ++first[n.parent + 1];
    for (std::uint32_t i = 0; i < count; ++i)
        first[i + 1] += first[i];
    list.resize(first[count]);
    std::vector<std::uint32_t> fill(first.begin(), first.end() - 1);
    for (std::uint32_t i = 0; i < count; ++i)
        if (m_nodes[i].parent != tree_none)
            list[fill[m_nodes[i].parent]++] = i;
}

// Depth first: a node takes the column of the next free leaf, so it stands
// above its first child, and each leaf uses up one column.
float tree_layout::place_tree(std::uint32_t root, float start,
                              const std::vector<std::uint32_t> &child_first,
                              const std::vector<std::uint32_t> &child_list)
{
    float column = start;
    std::vector<std::uint32_t> stack{root};
    while (!stack.empty()) {
        const std::uint32_t n = stack.back();
        stack.pop_back();
        m_nodes[n].x = column;
        const std::uint32_t b = child_first[n], e = child_first[n + 1];
        if (b == e)
            column += 1;
        for (std::uint32_t k = e; k > b; --k)
            stack.push_back(child_list[k - 1]);
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
    std::vector<std::uint32_t> first, list;
    children_lists(first, list);
    float column = 0;
    for (std::uint32_t i = 0; i < m_nodes.size(); ++i)
        if (m_nodes[i].parent == tree_none)
            column += place_tree(i, column, first, list) + gap;
    m_width = m_nodes.empty() ? 0 : column - gap;
    draw_edges();
}

void tree_layout::build(const key_multimap &head_members, const key_multimap &linkage, int t_min,
                        int t_max)
{
    assemble(head_members, linkage, t_min, t_max, 0);
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
    const std::vector<tree_node> old = std::move(m_nodes);
    assemble(head_members, linkage, t_min, t_max, old.size());
    const std::uint32_t count = static_cast<std::uint32_t>(m_nodes.size());

    // The old node of each new one.
    std::vector<std::uint32_t> old_of(count, tree_none);
    std::size_t matched = 0;
    for (std::uint32_t i = 0, j = 0; i < count && j < old.size();) {
        if (m_nodes[i].head < old[j].head) {
            ++i;
        } else if (old[j].head < m_nodes[i].head) {
            ++j;
        } else {
            old_of[i++] = j++;
            ++matched;
        }
    }
    // A mostly new lineage (a read, a Reset, a first unit pass) is laid out afresh.
    if (2 * matched < count || count == 0) {
        place_all();
        done.rebuilt = true;
        return done;
    }

    // Old trees: their sizes and bands.
    std::vector<std::uint32_t> old_size(old.size(), 0);
    std::vector<float> old_last(old.size(), 0);
    for (const tree_node &o : old) {
        ++old_size[o.root];
        old_last[o.root] = std::max(old_last[o.root], o.x);
    }
    // A new tree is unchanged when it is an old tree node for node, each under
    // the same parent.
    std::vector<std::uint32_t> size(count, 0);
    std::vector<unsigned char> same(count, 1);
    for (std::uint32_t i = 0; i < count; ++i) {
        const tree_node &n = m_nodes[i];
        ++size[n.root];
        const std::uint32_t o = old_of[i], o_root = old_of[n.root];
        if (o == tree_none || o_root == tree_none || old[o_root].parent != tree_none ||
            old[o].root != o_root)
            same[n.root] = 0;
        else if (n.parent == tree_none ? old[o].parent != tree_none
                                       : old[o].parent != old_of[n.parent])
            same[n.root] = 0;
    }
    std::map<float, float> taken; // bands of columns, each with its gap: start → end
    float right = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const tree_node &n = m_nodes[i];
        if (n.parent != tree_none)
            continue;
        if (same[i] && size[i] != old_size[old_of[i]])
            same[i] = 0;
        if (same[i]) {
            const tree_node &o = old[old_of[i]];
            taken[o.x] = old_last[old_of[i]] + 1 + gap;
            right = std::max(right, old_last[old_of[i]] + 1 + gap);
            ++done.kept;
        }
    }
    for (std::uint32_t i = 0; i < count; ++i)
        if (same[m_nodes[i].root])
            m_nodes[i].x = old[old_of[i]].x;

    // Changed trees, in key order of their roots: where their root's old tree
    // stood if they fit there, else right of everything.
    std::vector<std::uint32_t> first, list;
    children_lists(first, list);
    std::vector<std::uint32_t> leaves(count, 0);
    for (std::uint32_t i = 0; i < count; ++i)
        if (first[i] == first[i + 1])
            ++leaves[m_nodes[i].root];
    for (std::uint32_t i = 0; i < count; ++i) {
        if (m_nodes[i].parent != tree_none || same[i])
            continue;
        const float width = static_cast<float>(leaves[i]);
        float start = right;
        bool home = false;
        if (old_of[i] != tree_none) {
            const float old_start = old[old[old_of[i]].root].x;
            if (fits(taken, old_start, width + gap)) {
                start = old_start;
                home = true;
            }
        }
        place_tree(i, start, first, list);
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
