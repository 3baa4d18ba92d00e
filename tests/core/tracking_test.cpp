// The adjacency search and tracking on hand-built planes.
#include "blobs.h"
#include "keygen.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"
#include "tracking.h"

#include <gtest/gtest.h>

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
    std::string a = p.add(rect(0, 0, 4, 4, 0, 0));
    std::string b = p.add(rect(3, 3, 4, 4, 0, 1));     // shares pixel (3, 3)
    std::string c = p.add(rect(-3, 3, 4, 4, 0, 1));    // shares pixel (0, 3)
    std::string d = p.add(rect(4, 4, 4, 4, 0, 1));     // touches only at a corner
    std::string e = p.add(rect(-3, 3, 4, 4, 1, 1));    // overlaps c on the next plane
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
