// The adjacency search and tracking on hand-built planes.
#include "blobs.h"
#include "keygen.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"
#include "tracking.h"

#include <gtest/gtest.h>

#include <functional>
#include <pthread.h> // a thread with a stack deep enough for the reference recursion
#include <random>
#include <vector>

namespace {

// A w x h rectangle with its top-left pixel at (x, y).
roi rect(int x, int y, int w, int h, int z, int t)
{
    return roi(x, y, z, t, std::string(h, '2') + std::string(w, '3') + std::string(h, '0') + std::string(w, '1'));
}

// The outline of the pixels given as rows of '#' (top-left of the rows at (x, y)).
roi shape(const std::vector<std::string> &rows, int x, int y, int z, int t)
{
    testsupport::Bitmap b(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()));
    for (int py = 0; py < b.height; ++py)
        for (int px = 0; px < b.width; ++px)
            b.at(px, py) = rows[static_cast<size_t>(py)][static_cast<size_t>(px)] == '#';
    testsupport::Outline o = testsupport::trace(b);
    return roi(x + o.x, y + o.y, z, t, o.digits);
}

struct Planes {
    roidb_plus db{"t"};
    q_roiimgdb rasters;
    key_set removed;
    int visits = 0;

    tracker make(int z_min = 0, int z_max = 9)
    {
        tracker t(db, rasters, removed, z_min, z_max);
        t.let_events_run = [this] { ++visits; };
        return t;
    }
    std::string add(const roi &r)
    {
        db.entry_plus(r);
        return keygen(r);
    }
};

} // namespace

TEST(Tracking, ALonelyRoiTracksOnlyItself)
{
    Planes p;
    std::string a = p.add(rect(0, 0, 4, 4, 0, 0));
    p.add(rect(20, 20, 4, 4, 0, 1));
    key_set fwd;
    p.make().track(0, 1, {a}, fwd);
    EXPECT_EQ(fwd, key_set{a});
}

TEST(Tracking, OnePixelOfOverlapJoinsATimeStep)
{
    Planes p;
    std::string a = p.add(rect(10, 0, 4, 4, 0, 0));
    std::string b = p.add(rect(13, 3, 4, 4, 0, 1));    // shares pixel (13, 3)
    std::string c = p.add(rect(7, 3, 4, 4, 0, 1));     // shares pixel (10, 3)
    std::string d = p.add(rect(14, 4, 4, 4, 0, 1));    // touches only at a corner
    std::string e = p.add(rect(7, 3, 4, 4, 1, 1));     // overlaps c on the next plane
    key_set fwd;
    tracker t = p.make();
    t.track(0, 1, {a}, fwd);
    EXPECT_EQ(fwd, (key_set{a, b, c, e}));
    EXPECT_FALSE(fwd.count(d));
    EXPECT_TRUE(t.changed);
    EXPECT_GT(p.visits, 0) << "events run while the search visits ROIs";

    key_set bwd;
    p.make().track(1, 0, {b}, bwd);
    EXPECT_TRUE(bwd.count(a)) << "backward tracking is the mirror";
}

TEST(Tracking, AZStepNeedsMoreThanHalfOfTheLargerRaster)
{
    Planes p;
    std::string a = p.add(rect(0, 0, 4, 4, 0, 0)); // 16 pixels
    std::string half = p.add(rect(0, 0, 4, 2, 1, 0)); // 8 in common: exactly half
    key_set selected{a};
    p.make().z_track(0, selected);
    EXPECT_FALSE(selected.count(half));

    Planes q;
    std::string a2 = q.add(rect(0, 0, 4, 4, 0, 0));
    std::string more = q.add(shape({"####", "####", "#..."}, 0, 0, 1, 0)); // 9 in common
    std::string next = q.add(shape({"####", "####", "#..."}, 0, 0, 2, 0)); // its own neighbour
    key_set selected2{a2};
    q.make().z_track(0, selected2);
    EXPECT_TRUE(selected2.count(more));
    EXPECT_TRUE(selected2.count(next)) << "the search goes on from the ROI that joined";
}

TEST(Tracking, RemovedRoisNeitherJoinNorCarryTheSearch)
{
    Planes p;
    std::string a = p.add(rect(0, 0, 4, 4, 0, 0));
    std::string r = p.add(rect(0, 0, 4, 4, 1, 0));
    std::string beyond = p.add(rect(0, 0, 4, 4, 2, 0));
    p.removed.insert(r);
    key_set selected{a};
    p.make().z_track(0, selected);
    EXPECT_EQ(selected, key_set{a});

    key_set fwd;
    p.removed.insert(a);
    p.make().track(0, 1, {a}, fwd);
    EXPECT_TRUE(fwd.empty()) << "a removed ROI does not seed";
}

TEST(Tracking, UnitRecordingKeepsAnExistingHead)
{
    Planes p;
    roi head = rect(0, 0, 4, 4, 0, 0);
    std::string h = p.add(head);
    std::string m = p.add(rect(0, 0, 4, 4, 1, 0));
    std::string other = p.add(rect(0, 0, 4, 4, 2, 0));
    std::multimap<std::string, std::string> head_members;
    std::map<std::string, std::string> members_head{{other, "elsewhere"}};
    tracker t = p.make();
    t.make_units = true;
    t.unit_head = h;
    std::multimap<std::string, std::string> linkage;
    std::set<std::string> elite;
    lineage::tables units{head_members, members_head, linkage, elite};
    t.units = &units;
    key_set found{h};
    t.check_adjacent(head, 0, 1, found, 0.0, 0.5);
    EXPECT_EQ(head_members.count(h), 2u);
    EXPECT_EQ(members_head[m], h);
    EXPECT_EQ(members_head[other], "elsewhere");
}

namespace
{

// The adjacency search as a plain recursion over every ROI of a plane: the
// reference the tracker's own search must agree with, in result and order.
struct reference_search {
    roidb_plus &db;
    q_roiimgdb &rasters;
    const key_set &removed;
    std::vector<std::string> order;
    std::map<std::pair<int, int>, std::vector<std::pair<std::string, q_roiimg *>>> planes;

    const std::vector<std::pair<std::string, q_roiimg *>> &plane(int t, int z)
    {
        auto it = planes.find({t, z});
        if (it != planes.end())
            return it->second;
        std::vector<std::pair<std::string, q_roiimg *>> rois;
        roidb_plus::iterator iter;
        db.seek_iter(t, z, 0, iter);
        roi r;
        while (db.find_plus_iter(t, z, r, iter))
            rois.emplace_back(keygen(r), rasters.qrimg(r));
        return planes.emplace(std::make_pair(t, z), std::move(rois)).first->second;
    }

    void search(q_roiimg *from, int from_t, int t, int z, key_set &set, double mor_t,
                double mor_z)
    {
        for (const auto &[key, raster] : plane(t, z)) {
            if (removed.count(key))
                continue;
            bool pass;
            if (mor_t == 0.0 && mor_z == 0.0) {
                pass = is_overlap(from, raster);
            } else {
                const double sp = q_shared_pixels(from, raster);
                pass = from->size() > 0 && raster->size() > 0 &&
                       std::min(sp / from->size(), sp / raster->size()) >
                           (from_t == t ? mor_z : mor_t);
            }
            if (!pass || set.count(key))
                continue;
            set.insert(key);
            order.push_back(key);
            search(raster, t, t, z - 1, set, mor_t, mor_z);
            search(raster, t, t, z + 1, set, mor_t, mor_z);
        }
    }
};

// Runs f on a thread whose stack holds a recursion a hundred thousand calls deep.
void on_deep_stack(const std::function<void()> &f)
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, size_t(1) << 30);
    pthread_t thread;
    auto *job = new std::function<void()>(f);
    ASSERT_EQ(pthread_create(
                  &thread, &attr,
                  [](void *arg) -> void * {
                      auto *fn = static_cast<std::function<void()> *>(arg);
                      (*fn)();
                      delete fn;
                      return nullptr;
                  },
                  job),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

// The tracker's search from source into plane (t, z), with the order in
// which ROIs joined (recorded as the members of one unit).
std::vector<std::string> tracker_order(Planes &p, roi source, int t, int z, key_set &set,
                                       double mor_t, double mor_z)
{
    std::multimap<std::string, std::string> head_members, linkage;
    std::map<std::string, std::string> members_head;
    std::set<std::string> elite;
    lineage::tables units{head_members, members_head, linkage, elite};
    tracker search = p.make(0, 0);
    search.make_units = true;
    search.unit_head = "h";
    search.units = &units;
    search.check_adjacent(source, t, z, set, mor_t, mor_z);
    std::vector<std::string> order;
    for (const auto &entry : head_members)
        order.push_back(entry.second);
    return order;
}

} // namespace

TEST(AdjacencySearch, FollowsTheRecursionOnRandomPlanesInResultAndOrder)
{
    std::mt19937 rng(7);
    for (int trial = 0; trial < 12; ++trial) {
        Planes p;
        const int per_plane = trial % 2 ? 200 : 12; // with and without the grid
        const int side = trial % 2 ? 220 : 40;
        std::vector<roi> all;
        for (int t = 0; t <= 1; ++t)
            for (int z = 0; z < 6; ++z)
                for (int i = 0; i < per_plane; ++i) {
                    const roi r = rect(static_cast<int>(rng() % side), static_cast<int>(rng() % side),
                                       2 + static_cast<int>(rng() % 14),
                                       2 + static_cast<int>(rng() % 14), z, t);
                    p.add(r);
                    all.push_back(r);
                    if (rng() % 13 == 0)
                        p.removed.insert(keygen(r));
                }
        const double ratios[][2] = {{0.0, 0.0}, {0.0, 0.5}, {0.3, 0.5}};
        for (int k = 0; k < 6; ++k) {
            roi source = all[rng() % all.size()];
            p.db.find(source);
            const int t = static_cast<int>(rng() % 2), z = static_cast<int>(rng() % 6);
            const double *ratio = ratios[(trial + k) % 3];
            key_set mine, theirs;
            const std::vector<std::string> order =
                tracker_order(p, source, t, z, mine, ratio[0], ratio[1]);
            const q_roiimgdb::pin keep = p.rasters.hold();
            reference_search ref{p.db, p.rasters, p.removed, {}, {}};
            ref.search(p.rasters.qrimg(source), source.t(), t, z, theirs, ratio[0], ratio[1]);
            EXPECT_EQ(mine, theirs) << "trial " << trial << " search " << k;
            EXPECT_EQ(order, ref.order) << "trial " << trial << " search " << k;
        }
    }
}

TEST(AdjacencySearch, FollowsAChainOfAHundredThousandRoisWithoutRecursing)
{
    // One ROI a plane, each over the one below: the search climbs the planes
    // a hundred thousand deep (plane numbers up to 99,999 in the keys).
    const int n = 100000;
    Planes p;
    for (int z = 0; z < n; ++z)
        p.add(rect(5 + z % 2, 5, 4, 4, z, 0));
    roi source = rect(5, 5, 4, 4, 0, 0);
    key_set mine;
    const std::vector<std::string> order = tracker_order(p, source, 0, 1, mine, 0.0, 0.5);
    EXPECT_EQ(mine.size(), size_t(n));

    key_set theirs;
    std::vector<std::string> ref_order;
    on_deep_stack([&] {
        const q_roiimgdb::pin keep = p.rasters.hold();
        reference_search ref{p.db, p.rasters, p.removed, {}, {}};
        ref.search(p.rasters.qrimg(source), 0, 0, 1, theirs, 0.0, 0.5);
        ref_order = std::move(ref.order);
    });
    EXPECT_EQ(mine, theirs);
    EXPECT_EQ(order, ref_order);
    ASSERT_EQ(order.size(), size_t(n));
    EXPECT_EQ(order.front(), keygen(pos4i(6, 5, 1, 0)));
    EXPECT_EQ(order[1], keygen(pos4i(5, 5, 0, 0))) << "down before up";
    EXPECT_EQ(order.back(), keygen(pos4i(6, 5, n - 1, 0)));
}

TEST(AdjacencySearch, FollowsAZigzagChainAcrossTwoCrowdedPlanes)
{
    // Six thousand ROIs on two planes, each overlapping the next on the other
    // plane: the grid answers every step, the recursion looks at every ROI.
    const int n = 6000;
    Planes p;
    for (int i = 0; i < n; ++i)
        p.add(rect(3 * i % 3000, 40 * (3 * i / 3000), 4, 4, i % 2, 0));
    roi source = rect(0, 0, 4, 4, 0, 0);
    key_set mine;
    const std::vector<std::string> order = tracker_order(p, source, 0, 1, mine, 0.0, 0.0);
    key_set theirs;
    std::vector<std::string> ref_order;
    on_deep_stack([&] {
        const q_roiimgdb::pin keep = p.rasters.hold();
        reference_search ref{p.db, p.rasters, p.removed, {}, {}};
        ref.search(p.rasters.qrimg(source), 0, 0, 1, theirs, 0.0, 0.0);
        ref_order = std::move(ref.order);
    });
    EXPECT_EQ(order, ref_order);
    EXPECT_EQ(mine, theirs);
    EXPECT_EQ(mine.size(), 1000u) << "the first row of the zigzag, 1000 ROIs";
}

TEST(BoxGrid, AnswersWhatALookAtEveryBoxAnswers)
{
    std::mt19937 rng(3);
    for (int trial = 0; trial < 20; ++trial) {
        std::vector<pixel_box> boxes;
        const int n = trial < 3 ? 5 + trial : 50 + static_cast<int>(rng() % 2000);
        const int spread = 100 + static_cast<int>(rng() % 5000);
        for (int i = 0; i < n; ++i) {
            const int x = static_cast<int>(rng() % spread) - 50, y = static_cast<int>(rng() % spread) - 50;
            const int w = i % 97 == 0 ? spread : static_cast<int>(rng() % 30);
            boxes.push_back({x, y, x + w, y + static_cast<int>(rng() % 30)});
        }
        if (trial == 5)
            boxes.push_back({9000000, 9000000, 9000004, 9000004}); // far beyond the rest
        const box_grid grid(boxes);
        std::vector<std::uint32_t> got;
        for (int q = 0; q < 200; ++q) {
            const int x = static_cast<int>(rng() % (spread + 200)) - 100;
            const int y = static_cast<int>(rng() % (spread + 200)) - 100;
            const int w = q % 50 == 0 ? spread * 2 : static_cast<int>(rng() % 40);
            const pixel_box query{x, y, x + w, y + static_cast<int>(rng() % 40)};
            std::vector<std::uint32_t> expected;
            for (std::uint32_t i = 0; i < boxes.size(); ++i)
                if (boxes[i].meets(query))
                    expected.push_back(i);
            grid.query(query, got);
            ASSERT_EQ(got, expected) << "trial " << trial << " query " << q;
        }
    }
}

// A cache with no room at all frees every raster it can: the rasters a
// tracker gathered stay valid while it works (under the sanitizers a freed
// one would be caught), and the result is the one an ample cache gives.
TEST(Tracking, RastersStayValidWhileATrackerHoldsThem)
{
    auto fill = [](roidb_plus &db) {
        for (int t = 0; t < 6; ++t)
            for (int z = 0; z < 4; ++z)
                for (int k = 0; k < 5; ++k)
                    db.entry_plus(rect(k * 12 + t, k * 3 + z, 6 + k, 5, z, t));
    };
    roidb_plus db("pins");
    fill(db);
    q_roiimgdb ample, none(1);
    key_set removed, with_ample, with_none;
    const key_set seed{keygen(rect(0, 0, 6, 5, 0, 0)), keygen(rect(24, 6, 8, 5, 0, 0))};
    for (int step = 0; step < 5; ++step) {
        {
            tracker a(db, ample, removed, 0, 3), n(db, none, removed, 0, 3);
            a.track(step, step + 1, step == 0 ? seed : with_ample, with_ample);
            n.track(step, step + 1, step == 0 ? seed : with_none, with_none);
            EXPECT_GT(none.live(), 2u) << "held while the trackers work";
        }
        // In between, other requests: without a pin every raster may go.
        roi other = rect(100, 100, 3, 3, 0, 50);
        none.qrimg(other);
        EXPECT_LE(none.live(), 2u);
    }
    EXPECT_EQ(with_none, with_ample);
    EXPECT_GT(with_ample.size(), seed.size());
}
