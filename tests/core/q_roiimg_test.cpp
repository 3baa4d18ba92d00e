// Display rasters, their overlap measures and the raster cache.
#include "q_roiimg.h"

#include "keygen.h"
#include "q_roiimgdb.h"

#include <gtest/gtest.h>

#include <algorithm> // std::reverse
#include <map>
#include <random>
#include <vector>

TEST(DisplayRaster, CentroidCountsPixelsAtTheirCorner)
{
    q_roiimg two(roi(0, 0, 4, 0, "233011"));
    two.map();
    EXPECT_EQ(two.size(), 2);
    EXPECT_DOUBLE_EQ(two.centroid().x(), 0.5);
    EXPECT_DOUBLE_EQ(two.centroid().y(), 0.0);
    EXPECT_DOUBLE_EQ(two.centroid().z(), 4.0);

    q_roiimg square(roi(10, 20, 0, 0, "22330011"));
    square.map();
    EXPECT_DOUBLE_EQ(square.centroid().x(), 10.5);
    EXPECT_DOUBLE_EQ(square.centroid().y(), 20.5);
}

TEST(DisplayRaster, PolygonMatchesTheWalk)
{
    q_roiimg l(roi(0, 0, 0, 0, "22330101"));
    QPolygon expect;
    expect << QPoint(0, 0) << QPoint(0, 1) << QPoint(1, 1) << QPoint(0, 1) << QPoint(0, 0);
    EXPECT_EQ(l.qpointarray(), expect);
    EXPECT_EQ(l.value(0, 0), -1);
    l.map();
    EXPECT_EQ(l.size(), 3);
    EXPECT_EQ(l.value(1, 0), 0);
    EXPECT_EQ(l.value(5, 5), 0);
}

TEST(DisplayRaster, ADamagedOutlineSpanningAHugeBoxStaysEmpty)
{
    const int side = 20000; // a 400-megapixel box
    q_roiimg huge(roi(0, 0, 0, 0,
                      std::string(side, '2') + std::string(side, '3') + std::string(side, '0') +
                          std::string(side, '1')));
    ::testing::internal::CaptureStderr();
    huge.map();
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("left empty"), std::string::npos);
    EXPECT_EQ(huge.size(), 0);
    q_roiimg small(roi(5, 5, 0, 0, "2301"));
    small.map();
    EXPECT_FALSE(is_overlap(&huge, &small));
    EXPECT_GT(huge.qpointarray().size(), 4 * side - 10) << "the outline can still be drawn";
}

TEST(DisplayRaster, TouchingBoxesWithoutCommonPixelsDoNotOverlap)
{
    // An L whose box holds the empty corner (1, 0), and a pixel in that corner.
    q_roiimg l(roi(0, 0, 0, 0, "22330101"));
    q_roiimg corner(roi(1, 0, 0, 0, "2301"));
    q_roiimg far(roi(30, 30, 0, 0, "2301"));
    l.map();
    corner.map();
    far.map();
    EXPECT_FALSE(is_overlap(&l, &corner));
    EXPECT_EQ(q_shared_pixels(&l, &corner), 0);
    EXPECT_FALSE(is_overlap(&l, &far));

    q_roiimg square(roi(0, 0, 0, 0, "22330011"));
    square.map();
    EXPECT_TRUE(is_overlap(&l, &square));
    EXPECT_EQ(q_shared_pixels(&l, &square), 3);
    EXPECT_EQ(q_shared_pixels(&square, &corner), 1);
}

namespace
{

roi pixel_at(int x, int t)
{
    return roi(x, 0, 0, t, "2301");
}

} // namespace

TEST(RasterCache, SecondRequestIsTheSameRasterAndDoesNotEvict)
{
    q_roiimgdb cache;
    const q_roiimgdb::pin command = cache.hold();
    roi a = pixel_at(1, 0), b = pixel_at(1, 20);
    q_roiimg *first = cache.qrimg(a);
    EXPECT_EQ(cache.qrimg(a), first);
    EXPECT_EQ(first->size(), 1);
    cache.qrimg(b);
    EXPECT_FALSE(cache.holds(keygen(a))) << "a miss 20 time points away evicts";
    EXPECT_EQ(first->size(), 1) << "an evicted raster stays valid while a command holds the cache";
}

// A shadow of the cache: after each miss exactly the held rasters of time
// points t - 3 to t + 3 stay, a hit changes nothing, and every raster handed
// out while a command holds the cache stays usable.
TEST(RasterCache, MissKeepsSevenTimePointsAroundIt)
{
    q_roiimgdb cache;
    const q_roiimgdb::pin command = cache.hold();
    std::map<std::string, int> shadow; // key -> time point
    std::vector<q_roiimg *> handed;
    std::mt19937 rng(11);
    for (int step = 0; step < 400; ++step) {
        int t = static_cast<int>(rng() % 20), x = static_cast<int>(rng() % 5);
        roi r = pixel_at(x, t);
        std::string key = keygen(r);
        bool hit = shadow.count(key) != 0;
        handed.push_back(cache.qrimg(r));
        if (!hit) {
            for (auto it = shadow.begin(); it != shadow.end();)
                it = (it->second < t - 3 || it->second > t + 3) ? shadow.erase(it) : std::next(it);
            shadow[key] = t;
        }
        ASSERT_EQ(cache.size(), shadow.size()) << step;
        for (auto &e : shadow)
            ASSERT_TRUE(cache.holds(e.first)) << step;
    }
    for (q_roiimg *r : handed)
        EXPECT_EQ(r->size(), 1) << "every raster handed out stays usable";

    // A miss at time point 1 keeps time point 0 (the window starts at 0) and 3.
    q_roiimgdb low;
    roi t3 = pixel_at(1, 3), t0 = pixel_at(1, 0), t1 = pixel_at(2, 1);
    low.qrimg(t3);
    low.qrimg(t0);
    low.qrimg(t1);
    EXPECT_TRUE(low.holds(keygen(t0)));
    EXPECT_TRUE(low.holds(keygen(t3)));
    roi t5 = pixel_at(1, 5);
    low.qrimg(t5);
    EXPECT_FALSE(low.holds(keygen(t0)));
    EXPECT_FALSE(low.holds(keygen(t1)));
    EXPECT_TRUE(low.holds(keygen(t3)));
}

TEST(RasterCache, RemovedOrChangedRoisAreRasterisedAfresh)
{
    q_roiimgdb cache;
    q_roiimgdb::pin command = cache.hold();
    roi small = roi(0, 0, 0, 0, "2301");
    q_roiimg *old = cache.qrimg(small);
    cache.remove(pos4i(0, 0, 0, 0));
    EXPECT_FALSE(cache.holds(keygen(small)));
    roi big = roi(0, 0, 0, 0, "22330011");
    q_roiimg *fresh = cache.qrimg(big);
    EXPECT_NE(fresh, old);
    EXPECT_EQ(fresh->size(), 4);
    EXPECT_EQ(old->size(), 1) << "the dropped raster stays valid while a command holds the cache";

    // Same position, new outline, without a remove: never the stale raster.
    roi changed = roi(0, 0, 0, 0, "233011");
    EXPECT_EQ(cache.qrimg(changed)->size(), 2);
    cache.remove(pos4i(7, 7, 7, 7)); // absent: nothing happens
}

TEST(RasterCache, ManyAtOnceGiveWhatOneAtATimeGives)
{
    // Cached, changed since, never made, and of time points far apart (a
    // miss moves the window while the batch runs).
    q_roiimgdb cache;
    q_roiimgdb::pin command = cache.hold();
    std::vector<roi> rois;
    for (int t : {0, 1, 30})
        for (int i = 0; i < 40; ++i)
            rois.emplace_back(3 * i, i % 5, i % 3, t, i % 2 ? "2301" : "22330011");
    std::vector<q_roiimg *> earlier;
    for (size_t i = 0; i < rois.size(); i += 3)
        earlier.push_back(cache.qrimg(rois[i]));
    for (size_t i = 0; i < rois.size(); i += 7)
        rois[i] = roi(rois[i].x(), rois[i].y(), rois[i].z(), rois[i].t(), "233011");
    std::vector<const roi *> asked;
    for (const roi &r : rois)
        asked.push_back(&r);
    std::reverse(asked.begin(), asked.end());
    std::vector<q_roiimg *> found;
    cache.qrimg(asked, found);
    ASSERT_EQ(found.size(), asked.size());
    for (size_t i = 0; i < asked.size(); ++i) {
        EXPECT_EQ(found[i], cache.qrimg(*asked[i])) << "ROI " << i;
        EXPECT_EQ(found[i]->outline_ref(), asked[i]->outline_ref());
    }
    // Unchanged rasters made before are handed out again, not made anew.
    EXPECT_EQ(found[asked.size() - 1 - 3], earlier[1]);
    EXPECT_NE(found[asked.size() - 1 - 21], earlier[7]) << "changed: made afresh";
}

TEST(DisplayRaster, DamagedOutlinesLeaveAnEmptyRasterAndOneLine)
{
    const roi cases[] = {roi(2147483647, 0, 0, 0, "33"), roi(0, -2147483647 - 1, 0, 0, "0000"),
                         roi(536870912, 5, 0, 0, "2233001122330011")};
    for (const roi &r : cases) {
        q_roiimg raster(r);
        ::testing::internal::CaptureStderr();
        raster.map();
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("left empty"), std::string::npos) << err;
        EXPECT_EQ(raster.size(), 0);
        EXPECT_EQ(raster.width(), 1);
        EXPECT_TRUE(raster.qpointarray().isEmpty());
        EXPECT_DOUBLE_EQ(raster.centroid().x(), r.x());
    }
    q_roiimg unmapped(roi(0, 0, 0, 0, "22330011"));
    unmapped.count_size();
    EXPECT_EQ(unmapped.size(), 0) << "counting before mapping finds nothing";
}

namespace
{

// A square ROI of the given side at time point t, x.
roi square_at(int x, int t, int side)
{
    return roi(x, 0, 0, t,
               std::string(side, '2') + std::string(side, '3') + std::string(side, '0') +
                   std::string(side, '1'));
}

} // namespace

// Without a running command, what the cache keeps stays within its budget
// however many large rasters pass through it, even inside one time window.
TEST(RasterCache, KeepsItsMemoryWithinTheBudget)
{
    const size_t budget = 1 << 20;
    q_roiimgdb cache(budget);
    for (int i = 0; i < 200; ++i) {
        roi r = square_at(i * 300, i % 5, 256); // 64 KB of mask each
        q_roiimg *raster = cache.qrimg(r);
        ASSERT_EQ(raster->size(), 256 * 256);
        ASSERT_LE(cache.bytes(), budget) << i;
    }
    EXPECT_LT(cache.live(), 20u);
    // The raster just handed out stays even when it alone exceeds the budget.
    q_roiimgdb tiny(1000);
    roi big = square_at(0, 0, 100);
    q_roiimg *kept = tiny.qrimg(big);
    EXPECT_EQ(tiny.live(), 1u);
    EXPECT_EQ(kept->size(), 100 * 100);
    roi other = square_at(500, 0, 100);
    tiny.qrimg(other);
    EXPECT_EQ(tiny.live(), 1u) << "the older raster was freed";
}

// While a command holds the cache, nothing it was handed is freed, whatever
// the budget; once the command ends, what is over the budget is freed.
TEST(RasterCache, RastersHeldByARunningCommandStayValid)
{
    const size_t budget = 1 << 18;
    q_roiimgdb cache(budget);
    std::vector<std::pair<q_roiimg *, int>> handed;
    {
        const q_roiimgdb::pin command = cache.hold();
        const q_roiimgdb::pin nested = command;
        for (int i = 0; i < 60; ++i) {
            roi r = square_at(i * 300, i % 9, 64 + i);
            handed.push_back({cache.qrimg(r), (64 + i) * (64 + i)});
            if (i % 7 == 0)
                cache.remove(r);
        }
        EXPECT_GT(cache.bytes(), budget);
        for (auto &h : handed)
            ASSERT_EQ(h.first->size(), h.second) << "a held raster was freed";
    }
    EXPECT_LE(cache.bytes(), budget) << "what the command held is freed once it ends";
    EXPECT_LT(cache.live(), handed.size() / 2);
    roi next = square_at(0, 100, 8);
    EXPECT_EQ(cache.qrimg(next)->size(), 64);
    EXPECT_LE(cache.bytes(), budget);

    // A pin may outlive its cache.
    q_roiimgdb::pin stray;
    {
        q_roiimgdb gone;
        stray = gone.hold();
    }
}

// The shared-pixel count, the overlap test, the size and the centroid agree
// with a pixel-by-pixel count over value() for rasters of every shape and
// offset, unmapped ones (set all over their box) included.
TEST(DisplayRaster, SharedPixelsAndCentroidAgreeWithAPixelCount)
{
    std::mt19937 rng(5);
    auto random_roi = [&rng](int z) {
        // A staircase: right and down in random runs, then back, so outlines differ in shape.
        const int a = 1 + static_cast<int>(rng() % 9), b = 1 + static_cast<int>(rng() % 9),
                  c = 1 + static_cast<int>(rng() % 5);
        std::string outline = std::string(a, '2') + std::string(c, '3') + std::string(b, '2') +
                              std::string(c + 2, '3') + std::string(a + b, '0') +
                              std::string(2 * c + 2, '1');
        return roi(static_cast<int>(rng() % 20), static_cast<int>(rng() % 20), z, 0, outline);
    };
    for (int trial = 0; trial < 300; ++trial) {
        q_roiimg a(random_roi(0)), b(random_roi(0));
        if (trial % 10 != 0)
            a.map();
        b.map();
        int count = 0, n = 0;
        double sx = 0, sy = 0;
        for (int y = -40; y < 80; ++y)
            for (int x = -40; x < 80; ++x) {
                const bool in_a = a.value(x - a.top_left().x(), y - a.top_left().y()) != 0 &&
                                  x >= a.top_left().x() && x <= a.bottom_right().x() &&
                                  y >= a.top_left().y() && y <= a.bottom_right().y();
                const bool in_b = b.value(x - b.top_left().x(), y - b.top_left().y()) != 0;
                count += in_a && in_b;
                if (in_b) {
                    ++n;
                    sx += x;
                    sy += y;
                }
            }
        ASSERT_EQ(q_shared_pixels(&a, &b), count) << trial;
        ASSERT_EQ(q_shared_pixels(&b, &a), count) << trial;
        ASSERT_EQ(is_overlap(&a, &b), count > 0) << trial;
        ASSERT_EQ(b.size(), n) << trial;
        ASSERT_NEAR(b.centroid().x(), sx / n, 1e-9) << trial;
        ASSERT_NEAR(b.centroid().y(), sy / n, 1e-9) << trial;
    }
}
