// The lineage tree's layout and the review marks, on hand-built lineages.
#include "lineage_tree.h"

#include "keygen.h"
#include "lineage_marks.h"

#include <gtest/gtest.h>

#include <algorithm> // std::find
#include <map>
#include <random>
#include <set>
#include <sstream>

using namespace lineage;

namespace
{

std::string key(int t, int x, int z = 2)
{
    return keygen(pos4i(x, 10, z, t));
}

struct Lineage {
    key_multimap head_members, linkage;
    int t_min = 0, t_max = 9;

    // A unit of one member on plane 2 unless planes are given.
    std::string unit(int t, int x, std::initializer_list<int> planes = {2})
    {
        const std::string h = key(t, x, *planes.begin());
        for (int z : planes)
            head_members.emplace(h, key(t, x, z));
        return h;
    }
    void link(const std::string &parent, const std::string &child)
    {
        linkage.emplace(child, parent);
    }
    // A chain of single children from t0 to t1 in column x of the keys.
    std::vector<std::string> track(int t0, int t1, int x)
    {
        std::vector<std::string> out;
        for (int t = t0; t <= t1; ++t) {
            out.push_back(unit(t, x));
            if (t > t0)
                link(out[out.size() - 2], out.back());
        }
        return out;
    }
    tree_layout layout() const
    {
        tree_layout l;
        l.build(head_members, linkage, t_min, t_max);
        return l;
    }
    tree_update update(tree_layout &l) const
    {
        return l.update(head_members, linkage, t_min, t_max);
    }
};

const tree_node &node(const tree_layout &l, const std::string &head)
{
    const std::uint32_t i = l.find(head);
    EXPECT_NE(i, tree_none) << head;
    return l.nodes()[i == tree_none ? 0 : i];
}

// Each unit once, at a place of its own; every tree in a band of columns of
// its own; a hanging unit lies below its parent and not left of it.
void expect_well_formed(const tree_layout &l)
{
    std::set<std::pair<float, int>> places;
    std::map<std::uint32_t, std::pair<float, float>> bands;
    for (const tree_node &n : l.nodes()) {
        EXPECT_TRUE(places.insert({n.x, n.t}).second) << n.head << " shares its place";
        auto band = bands.emplace(n.root, std::make_pair(n.x, n.x)).first;
        band->second.first = std::min(band->second.first, n.x);
        band->second.second = std::max(band->second.second, n.x);
        if (n.parent != tree_none) {
            EXPECT_LT(l.nodes()[n.parent].t, n.t);
            EXPECT_GE(n.x, l.nodes()[n.parent].x);
        }
        EXPECT_GE(n.x, 0);
        EXPECT_LT(n.x, l.width());
    }
    for (auto a = bands.begin(); a != bands.end(); ++a)
        for (auto b = std::next(a); b != bands.end(); ++b)
            EXPECT_TRUE(a->second.second < b->second.first || b->second.second < a->second.first)
                << "trees of " << l.nodes()[a->first].head << " and " << l.nodes()[b->first].head
                << " overlap";
}

} // namespace

TEST(LineageTree, SingleTrackIsOneVerticalColumn)
{
    Lineage g;
    const auto track = g.track(3, 7, 5);
    const tree_layout l = g.layout();
    ASSERT_EQ(l.nodes().size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(node(l, track[i]).x, 0);
        EXPECT_EQ(node(l, track[i]).t, 3 + i);
    }
    EXPECT_EQ(l.width(), 1);
    EXPECT_EQ(l.first_row(), 3);
    EXPECT_EQ(l.last_row(), 7);
    ASSERT_EQ(l.edges().size(), 4u);
    for (const tree_edge &e : l.edges()) {
        EXPECT_TRUE(e.placing);
        ASSERT_EQ(e.count, 2) << "a straight line down";
        EXPECT_EQ(e.points[1].y - e.points[0].y, 1);
    }
    EXPECT_EQ(node(l, track[4]).marks, mark_dead_end) << "ends before the last time point";
    EXPECT_EQ(node(l, track[0]).marks, mark_unlinked) << "starts after the first";
    EXPECT_EQ(node(l, track[2]).marks, 0);
}

TEST(LineageTree, DivisionOpensABranchToTheRight)
{
    Lineage g;
    g.t_max = 3;
    const auto stem = g.track(0, 1, 20);
    const auto first = g.track(2, 3, 10), second = g.track(2, 3, 30);
    g.link(stem[1], first[0]);
    g.link(stem[1], second[0]);
    const tree_layout l = g.layout();
    expect_well_formed(l);
    for (const std::string &h : {stem[0], stem[1], first[0], first[1]})
        EXPECT_EQ(node(l, h).x, 0) << "the first daughter continues the column";
    EXPECT_EQ(node(l, second[0]).x, 1);
    EXPECT_EQ(node(l, second[1]).x, 1);
    EXPECT_EQ(l.width(), 2);
    const tree_edge &branch = l.edges()[l.edges_into(l.find(second[0])).first];
    ASSERT_EQ(branch.count, 4);
    const tree_point expected[] = {{0, 1}, {0, 1.5f}, {1, 1.5f}, {1, 2}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(branch.points[i].x, expected[i].x) << i;
        EXPECT_EQ(branch.points[i].y, expected[i].y) << i;
    }
    auto out = l.edges_from(l.find(stem[1]));
    EXPECT_EQ(out.second - out.first, 2);
    for (const tree_node &n : l.nodes())
        EXPECT_EQ(n.marks, 0) << n.head;
}

TEST(LineageTree, RootsStandSideBySideInKeyOrder)
{
    Lineage g;
    const auto late = g.track(4, 6, 1); // an unlinked unit later on
    const auto b = g.track(0, 9, 50), a = g.track(0, 9, 40);
    const auto a_branch = g.track(5, 9, 45);
    g.link(a[4], a_branch[0]);
    const tree_layout l = g.layout();
    expect_well_formed(l);
    EXPECT_EQ(node(l, a[0]).x, 0) << "smallest root key first";
    EXPECT_EQ(node(l, a_branch[0]).x, 1);
    EXPECT_EQ(node(l, b[0]).x, 2 + tree_layout::gap);
    EXPECT_EQ(node(l, late[0]).x, 3 + 2 * tree_layout::gap) << "a root of a later time point last";
    EXPECT_EQ(l.width(), 4 + 2 * tree_layout::gap);
    auto row = l.row(5);
    std::vector<std::string> heads;
    for (auto p = row.first; p != row.second; ++p)
        heads.push_back(l.nodes()[*p].head);
    EXPECT_EQ(heads, (std::vector<std::string>{key(5, 1), a[5], a_branch[0], b[5]}));
}

TEST(LineageTree, UnitWithTwoParentsIsDrawnOnceUnderTheFirst)
{
    Lineage g;
    g.t_max = 2;
    const auto p1 = g.track(0, 0, 10), p2 = g.track(0, 0, 30);
    const auto child = g.track(1, 2, 20);
    g.link(p2[0], child[0]);
    g.link(p1[0], child[0]);
    g.link(p1[0], child[0]); // entered twice, as a second unit pass does
    const tree_layout l = g.layout();
    expect_well_formed(l);
    EXPECT_EQ(l.nodes().size(), 4u);
    const tree_node &c = node(l, child[0]);
    EXPECT_EQ(c.parent, l.find(p1[0]));
    EXPECT_EQ(c.x, node(l, p1[0]).x);
    EXPECT_TRUE(c.marks & mark_doubtful);
    auto in = l.edges_into(l.find(child[0]));
    ASSERT_EQ(in.second - in.first, 2u) << "one edge per parent, however often entered";
    EXPECT_TRUE(l.edges()[in.first].placing);
    EXPECT_FALSE(l.edges()[in.first + 1].placing);
    EXPECT_EQ(l.edges()[in.first + 1].parent, l.find(p2[0]));
    EXPECT_EQ(l.link_entries(), 4u);
    EXPECT_TRUE(node(l, p2[0]).marks == 0) << "a parent of a doubtful unit has a child";
}

TEST(LineageTree, CyclesAndBadLinksDoNotHang)
{
    Lineage g;
    const std::string a = g.unit(1, 10), b = g.unit(1, 20), c = g.unit(1, 30), d = g.unit(0, 10);
    g.link(a, b); // same time point, both ways
    g.link(b, a);
    g.link(c, d); // a parent later than its child
    g.link(d, c);
    g.link(a, a);          // a unit its own parent
    g.link(a, key(1, 99)); // a child that heads no unit
    const tree_layout l = g.layout();
    expect_well_formed(l);
    EXPECT_EQ(l.nodes().size(), 4u);
    EXPECT_EQ(l.edges().size(), 5u);
    EXPECT_EQ(l.dangling_links(), 1u);
    EXPECT_EQ(node(l, c).parent, l.find(d)) << "the earlier parent places it";
    EXPECT_EQ(node(l, d).parent, tree_none);
    EXPECT_EQ(l.long_edges().size(), 4u) << "all but d to c leave the next row";
    for (const tree_edge &e : l.edges())
        EXPECT_TRUE(e.count == 2 || e.count == 4);

    // The same links with the layout updated from an empty lineage.
    tree_layout again;
    Lineage none;
    again.build(none.head_members, none.linkage, 0, 9);
    EXPECT_TRUE(g.update(again).rebuilt);
    expect_well_formed(again);
}

TEST(LineageTree, PlaneExtentAndMembersOfAUnit)
{
    Lineage g;
    const std::string h = g.unit(3, 10, {4, 6, 3, 6});
    const tree_layout l = g.layout();
    EXPECT_EQ(node(l, h).z_min, 3);
    EXPECT_EQ(node(l, h).z_max, 6);
    EXPECT_EQ(node(l, h).members, 3u) << "a member recorded twice counts once";
}

TEST(LineageTree, OneAddedLinkMovesOnlyTheTreeItTouches)
{
    Lineage g;
    const auto a = g.track(0, 3, 10); // dead end at 3
    const auto b = g.track(0, 9, 20);
    const auto c = g.track(4, 9, 30); // unlinked from 4 on: continues a
    const auto d = g.track(2, 9, 40);
    tree_layout l = g.layout();
    expect_well_formed(l);
    const std::vector<tree_node> before = l.nodes();

    g.link(a[3], c[0]);
    const tree_update done = g.update(l);
    expect_well_formed(l);
    EXPECT_FALSE(done.rebuilt);
    EXPECT_EQ(done.kept, 2u) << "b and d";
    EXPECT_EQ(done.in_place, 1u) << "a with c below it still fits its band";
    for (const tree_node &o : before) {
        const tree_node &n = node(l, o.head);
        EXPECT_EQ(n.t, o.t);
        if (std::find(c.begin(), c.end(), o.head) == c.end()) {
            EXPECT_EQ(n.x, o.x) << o.head << " moved";
        }
    }
    EXPECT_EQ(node(l, c[0]).x, node(l, a[0]).x) << "c continues a's column";
    EXPECT_EQ(node(l, c[0]).parent, l.find(a[3]));
    EXPECT_EQ(node(l, a[3]).marks, 0) << "no longer a dead end";
    EXPECT_EQ(node(l, c[0]).marks, 0) << "no longer unlinked";

    // Nothing changed: everything stays.
    const std::vector<tree_node> linked = l.nodes();
    EXPECT_EQ(g.update(l).kept, 3u);
    for (std::size_t i = 0; i < linked.size(); ++i)
        EXPECT_EQ(l.nodes()[i].x, linked[i].x);
}

TEST(LineageTree, ATreeThatOutgrowsItsBandMovesRightOfAllAndNothingElse)
{
    Lineage g;
    const auto a = g.track(0, 5, 10);
    const auto b = g.track(0, 9, 20);
    const auto c = g.track(0, 9, 30);
    tree_layout l = g.layout();
    std::map<std::string, float> before;
    for (const tree_node &n : l.nodes())
        before[n.head] = n.x;
    const float width = l.width();

    // a divides: its tree needs a second column, where b stands.
    const auto daughter = g.track(3, 5, 15);
    g.link(a[2], daughter[0]);
    const tree_update done = g.update(l);
    expect_well_formed(l);
    EXPECT_EQ(done.kept, 2u);
    EXPECT_EQ(done.to_the_end, 1u);
    for (const auto *track : {&b, &c})
        for (const std::string &h : *track)
            EXPECT_EQ(node(l, h).x, before[h]) << h;
    EXPECT_EQ(node(l, a[0]).x, width + tree_layout::gap);
    EXPECT_EQ(node(l, daughter[0]).x, width + tree_layout::gap + 1);

    // Cutting the daughter off again: a shrinks where it stands, the daughter
    // becomes a tree of its own right of all, b and c stay.
    const float a_column = node(l, a[0]).x;
    g.linkage.erase(g.linkage.find(daughter[0]));
    g.update(l);
    expect_well_formed(l);
    EXPECT_EQ(node(l, a[5]).x, a_column);
    EXPECT_EQ(node(l, daughter[0]).x, a_column + 1 + tree_layout::gap);
    for (const std::string &h : b)
        EXPECT_EQ(node(l, h).x, before[h]);
}

TEST(LineageTree, RandomEditsKeepTheOtherTreesInPlace)
{
    for (unsigned seed = 1; seed <= 20; ++seed) {
        std::mt19937 rng(seed);
        Lineage g;
        std::vector<std::vector<std::string>> by_t(10);
        for (int t = 0; t < 10; ++t)
            for (int x = 0; x < 12; ++x)
                if (t == 0 || rng() % 4 != 0) {
                    by_t[t].push_back(g.unit(t, x * 7));
                    if (t > 0 && rng() % 5 != 0)
                        g.link(by_t[t - 1][rng() % by_t[t - 1].size()], by_t[t].back());
                }
        tree_layout l = g.layout();
        expect_well_formed(l);
        for (int edit = 0; edit < 5; ++edit) {
            const int t = 1 + static_cast<int>(rng() % 9);
            if (by_t[t].empty() || by_t[t - 1].empty())
                continue;
            const std::string parent = by_t[t - 1][rng() % by_t[t - 1].size()];
            const std::string child = by_t[t][rng() % by_t[t].size()];
            const std::vector<tree_node> before = l.nodes();
            const std::uint32_t parent_root = before[l.find(parent)].root;
            const std::uint32_t child_root = before[l.find(child)].root;
            g.link(parent, child);
            g.update(l);
            expect_well_formed(l);
            for (const tree_node &o : before) {
                if (o.root != parent_root && o.root != child_root) {
                    EXPECT_EQ(node(l, o.head).x, o.x) << "seed " << seed << " " << o.head;
                }
            }
        }
    }
}

TEST(LineageTree, AMostlyNewLineageIsLaidOutAfresh)
{
    Lineage g;
    g.track(0, 9, 10);
    tree_layout l = g.layout();
    Lineage other;
    other.track(0, 9, 20);
    other.track(0, 9, 30);
    const tree_update done = other.update(l);
    EXPECT_TRUE(done.rebuilt);
    EXPECT_EQ(node(l, key(0, 20)).x, 0);
    EXPECT_EQ(node(l, key(0, 30)).x, 1 + tree_layout::gap);
    Lineage empty;
    EXPECT_TRUE(empty.update(l).rebuilt);
    EXPECT_TRUE(l.empty());
    EXPECT_EQ(l.width(), 0);
    EXPECT_EQ(l.row(0).first, l.row(0).second);
}

TEST(LineageMarks, DeadEndsUnlinkedAndDoubtfulUnits)
{
    Lineage g;
    g.t_min = 1;
    g.t_max = 3;
    const std::string first = g.unit(1, 10), middle = g.unit(2, 10), last = g.unit(3, 10);
    const std::string lone = g.unit(2, 30), other = g.unit(1, 20), origin = g.unit(0, 0, {0});
    g.link(first, middle);
    g.link(other, middle);
    g.link(middle, last);
    g.link(middle, last);

    EXPECT_EQ(marks_of(1, 0, false, 1, 3), mark_dead_end) << "first time point: never unlinked";
    EXPECT_EQ(marks_of(3, 0, false, 1, 3), mark_unlinked) << "last time point: never a dead end";
    EXPECT_EQ(marks_of(2, 2, true, 1, 3), mark_doubtful);
    EXPECT_EQ(marks_of(2, 0, false, 2, 2), 0) << "a range of one time point";

    EXPECT_TRUE(is_doubtful(g.linkage, middle));
    EXPECT_TRUE(is_doubtful(g.linkage, last)) << "a link entered twice counts twice";
    EXPECT_FALSE(is_doubtful(g.linkage, first));
    EXPECT_TRUE(is_dead_end(g.linkage, lone, 3));
    EXPECT_FALSE(is_dead_end(g.linkage, last, 3));
    EXPECT_FALSE(is_dead_end(g.linkage, middle, 3));
    EXPECT_TRUE(is_unlinked(g.linkage, lone, 1));
    EXPECT_FALSE(is_unlinked(g.linkage, first, 1));

    const marked_units found = find_marked_units(g.head_members, g.linkage, 1, 3);
    EXPECT_EQ(found.doubtful, (key_set{middle, last}));
    EXPECT_EQ(found.dead_ends, (key_set{origin, lone}))
        << "the head at x = 0, y = 0 on plane 0 is not lost";
    EXPECT_EQ(found.unlinked, key_set{lone});

    // The tree marks its nodes by the same rule.
    const tree_layout l = g.layout();
    for (const tree_node &n : l.nodes()) {
        EXPECT_EQ((n.marks & mark_doubtful) != 0, found.doubtful.count(n.head) != 0) << n.head;
        EXPECT_EQ((n.marks & mark_dead_end) != 0, found.dead_ends.count(n.head) != 0) << n.head;
        EXPECT_EQ((n.marks & mark_unlinked) != 0, found.unlinked.count(n.head) != 0) << n.head;
    }
}

// Reading only the time points near an edit must give what reading
// everything gives, for links, unlinks, merges and new units.
TEST(LineageTree, UpdatesNearAnEditAgreeWithFullUpdates)
{
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        Lineage g;
        key_map members_head;
        key_set elite;
        tables all{g.head_members, members_head, g.linkage, elite};
        std::vector<std::vector<std::string>> by_t(10);
        int next_x = 0;
        auto add_unit = [&](int t) {
            const int x = next_x++ % 900;
            const int planes = 1 + static_cast<int>(rng() % 3);
            const std::string h = key(t, x, 2);
            for (int z = 2; z < 2 + planes; ++z) {
                g.head_members.emplace(h, key(t, x, z));
                members_head.emplace(key(t, x, z), h);
            }
            by_t[t].push_back(h);
            return h;
        };
        for (int t = 0; t < 10; ++t)
            for (int k = 0; k < 10; ++k) {
                const std::string h = add_unit(t);
                if (t > 0 && rng() % 6 != 0)
                    g.link(by_t[t - 1][rng() % by_t[t - 1].size()], h);
            }
        tree_layout near_layout = g.layout();
        std::ostringstream quiet;
        for (int edit = 0; edit < 30; ++edit) {
            const int t = 1 + static_cast<int>(rng() % 8);
            auto &units = by_t[t];
            const unsigned kind = rng() % 4;
            if (kind == 0) {
                link(g.linkage, by_t[t - 1][rng() % by_t[t - 1].size()], units[rng() % units.size()],
                     quiet);
            } else if (kind == 1) {
                const std::string child = units[rng() % units.size()];
                const key_set p = parents(g.linkage, child);
                if (!p.empty())
                    release_child(g.linkage, *p.begin(), child, quiet);
            } else if (kind == 2 && units.size() > 2) {
                const std::size_t i = rng() % units.size(), j = (i + 1) % units.size();
                merge_units(all, units[i], units[j], 0, 9, quiet);
                // The merged unit's head is its smallest member; the other is gone.
                by_t[t].clear();
                for (auto it = g.head_members.begin(); it != g.head_members.end();
                     it = g.head_members.upper_bound(it->first))
                    if (decode(it->first).t() == t)
                        by_t[t].push_back(it->first);
            } else {
                const std::string h = add_unit(t);
                g.link(by_t[t - 1][0], h);
            }
            tree_layout full = near_layout;
            full.update(g.head_members, g.linkage, g.t_min, g.t_max);
            const tree_update done =
                near_layout.update_near(g.head_members, g.linkage, g.t_min, g.t_max, t - 1, t + 1);
            ASSERT_TRUE(done.near) << "seed " << seed << " edit " << edit;
            ASSERT_EQ(near_layout.nodes().size(), full.nodes().size());
            for (std::size_t i = 0; i < full.nodes().size(); ++i) {
                const tree_node &a = near_layout.nodes()[i], &b = full.nodes()[i];
                ASSERT_EQ(a.head, b.head);
                EXPECT_EQ(a.x, b.x) << a.head;
                EXPECT_EQ(a.parent, b.parent) << a.head;
                EXPECT_EQ(a.marks, b.marks) << a.head;
                EXPECT_EQ(a.members, b.members) << a.head;
                EXPECT_EQ(a.z_max, b.z_max) << a.head;
            }
            ASSERT_EQ(near_layout.edges().size(), full.edges().size());
            for (std::size_t e = 0; e < full.edges().size(); ++e) {
                EXPECT_EQ(near_layout.edges()[e].parent, full.edges()[e].parent);
                EXPECT_EQ(near_layout.edges()[e].child, full.edges()[e].child);
                EXPECT_EQ(near_layout.edges()[e].placing, full.edges()[e].placing);
            }
            EXPECT_EQ(near_layout.dangling_links(), full.dangling_links());
            expect_well_formed(near_layout);
        }
    }
}

TEST(LineageTree, AnEditAwayFromTheTimePointsNamedIsStillRead)
{
    Lineage g;
    const auto a = g.track(0, 9, 10);
    const auto b = g.track(5, 9, 20);
    tree_layout l = g.layout();
    g.link(a[4], b[0]); // at time point 5, while 1 to 2 are named
    const tree_update done = l.update_near(g.head_members, g.linkage, g.t_min, g.t_max, 1, 2);
    EXPECT_FALSE(done.near) << "the tables grew elsewhere: everything is read";
    EXPECT_EQ(node(l, b[0]).parent, l.find(a[4]));
}
