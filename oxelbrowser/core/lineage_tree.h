// The lineage as a tree to draw: units and links in, node positions and edge
// polylines out, without a display. Time runs downwards, one row per time
// point. A unit hangs under its first parent (in key order) of an earlier
// time point; a chain of single children is one vertical column, a parent
// stands above its first child and each further child opens a branch to the
// right. Trees stand side by side, their roots in key order.
#pragma once

#include "lineage.h"

#include <cstddef> // std::size_t
#include <cstdint> // std::uint32_t
#include <map>
#include <string>
#include <utility> // std::pair
#include <vector>

namespace lineage
{

constexpr std::uint32_t tree_none = 0xffffffffu;

// x in columns, y in time points.
struct tree_point {
    float x, y;
};

struct tree_node {
    std::string head;
    float x = 0; // column
    int t = 0;   // time point, the row
    int z_min = 0, z_max = 0;
    std::uint32_t members = 0;
    std::uint32_t parent = tree_none; // the node it hangs under
    std::uint32_t root = 0;           // the first node of its tree
    unsigned char marks = 0;          // unit_mark bits
};

struct tree_edge {
    std::uint32_t parent, child;
    bool placing;        // the child hangs under this parent; false: a further parent
    unsigned char count; // points used
    tree_point points[4];
};

// What an update did.
struct tree_update {
    bool rebuilt = false;       // laid out afresh (a new or mostly new lineage)
    bool near = false;          // only the time points near the edit were read
    std::size_t kept = 0;       // trees left exactly where they stood
    std::size_t in_place = 0;   // trees laid out again where they stood
    std::size_t to_the_end = 0; // trees that no longer fitted there, now right of all
};

class tree_layout
{
public:
    // Empty columns between neighbouring trees.
    static constexpr float gap = 1.0f;

    // Lays out every unit afresh, trees side by side in key order of their roots.
    void build(const key_multimap &head_members, const key_multimap &linkage, int t_min, int t_max);
    // After an edit: every tree whose units and placing links are unchanged
    // keeps its place; a changed tree is laid out again where it stood if it
    // still fits there, else right of everything.
    tree_update update(const key_multimap &head_members, const key_multimap &linkage, int t_min,
                       int t_max);
    // The same after an edit of the time points t0 to t1: only their units
    // and the links into them and into t1 + 1 are read again. When the sizes
    // of the tables show a change elsewhere, everything is read as update does.
    tree_update update_near(const key_multimap &head_members, const key_multimap &linkage,
                            int t_min, int t_max, int t0, int t1);

    const std::vector<tree_node> &nodes() const { return m_nodes; }
    // By child node, then parent node; a link entered twice is one edge.
    const std::vector<tree_edge> &edges() const { return m_edges; }
    // The node of a head, or tree_none.
    std::uint32_t find(const std::string &head) const;
    // Nodes of time point t, in key order.
    std::pair<const std::uint32_t *, const std::uint32_t *> row(int t) const;
    // Edges into and out of a node, as indexes into edges().
    std::pair<std::size_t, std::size_t> edges_into(std::uint32_t node) const;
    std::pair<const std::uint32_t *, const std::uint32_t *> edges_from(std::uint32_t node) const;
    // Edges that do not run exactly one time point down (bad links).
    const std::vector<std::uint32_t> &long_edges() const { return m_long_edges; }

    bool empty() const { return m_nodes.empty(); }
    int first_row() const { return m_first_row; }
    int last_row() const;
    // Columns used, from 0.
    float width() const { return m_width; }
    // Link entries naming a key that heads no unit.
    std::size_t dangling_links() const { return m_dangling; }
    std::size_t link_entries() const { return m_link_entries; }
    // Heap bytes held.
    std::size_t memory() const;

private:
    tree_update refresh(const key_multimap &head_members, const key_multimap &linkage, int t_min,
                        int t_max, bool near, int t0, int t1);
    // Reads the units in key order. When they are the units held, node for
    // node, only their extents are refreshed and true is returned; otherwise
    // the nodes are read afresh, the old ones wait in m_spare and m_old_of
    // tells each new node's old one.
    bool read_units(const key_multimap &head_members);
    void match_old();
    // Links: edges, and for each unit its parent entries and whether it has a child.
    void read_links(const key_multimap &linkage);
    // The units of t0 to t1 and the links into t0 to t1 + 1 read again, the
    // rest kept; false (nothing changed) when the tables show other changes.
    bool read_near(const key_multimap &head_members, const key_multimap &linkage, int t0, int t1);
    // A link entry into the edges being read (child and parent as found).
    void enter_link(const std::string &child, const std::string &parent,
                    std::vector<tree_edge> &edges, std::uint32_t &ci, std::uint32_t &near,
                    std::size_t &group);
    // Placing parents, marks, rows, roots and edges by parent, from units and edges.
    void derive(int t_min, int t_max);
    void place_all();
    // Columns of the tree of root, from column start; returns its width.
    float place_tree(std::uint32_t root, float start);
    void children_lists();
    void draw_edges();

    std::vector<tree_node> m_nodes;
    std::vector<tree_node> m_spare; // the old nodes during an update
    // Numeric keys for fast look-ups, when every head is a twelve-digit key.
    std::vector<std::uint64_t> m_codes;
    bool m_coded = false;
    std::vector<tree_edge> m_edges;
    std::vector<std::uint32_t> m_in_first;  // per node, into m_edges; one more entry at the end
    std::vector<std::uint32_t> m_out_first; // per node, into m_out
    std::vector<std::uint32_t> m_out;       // edge indexes by parent node
    std::vector<std::uint32_t> m_rows;      // node indexes by time point, then key
    std::vector<std::uint32_t> m_row_first; // per time point from m_first_row, into m_rows
    std::vector<std::uint32_t> m_long_edges;
    std::vector<std::uint32_t> m_entries;   // per node: link entries naming it as the child
    std::vector<unsigned char> m_has_child; // per node: a link to a child one time point later
    int m_first_row = 0;
    float m_width = 0;
    std::size_t m_dangling = 0;
    std::size_t m_link_entries = 0;
    std::size_t m_member_entries = 0;
    // Per time point: member entries of its units, link entries into it, and
    // those of them that name a key heading no unit.
    struct row_counts {
        std::size_t members = 0, links = 0, dangling = 0;
    };
    std::map<int, row_counts> m_row_counts;

    // Working space kept between updates, so that an update writes into
    // memory it already has.
    struct placed {
        float x;
        std::uint32_t parent, root;
    };
    std::vector<placed> m_prev;               // the old nodes' places
    bool m_same_units = true;                 // the units of the last read are the old ones
    std::size_t m_matched = 0;                // new units that were there before
    std::vector<std::uint32_t> m_old_of;      // per node, its old node
    std::vector<std::uint32_t> m_new_of;      // per old node, its new node
    std::vector<std::uint32_t> m_counts;      // per node: tree sizes, then widths
    std::vector<std::uint32_t> m_old_counts;  // per old node: tree sizes
    std::vector<float> m_old_last;            // per old root: its last column
    std::vector<unsigned char> m_flags;       // per node
    std::vector<std::uint32_t> m_child_first; // placing children, per node
    std::vector<std::uint32_t> m_child_list;
    std::vector<std::uint32_t> m_fill;
    std::vector<std::uint32_t> m_stack;
    std::vector<const std::string *> m_members;
    std::vector<tree_node> m_window;       // units read near an edit
    std::vector<tree_edge> m_window_edges; // links read near an edit
};

// What a node shows besides its marks: the lineage root, elite units, and the
// units that descend from the root or from which it descends.
enum node_state : unsigned char { state_root = 1, state_elite = 2, state_lineage = 4 };

// The states of every node of l, by node.
void node_states(const tree_layout &l, const std::string &root, const key_set &elite,
                 std::vector<unsigned char> &states);

} // namespace lineage
