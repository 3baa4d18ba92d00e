// The rasters' own memory: blocks handed back as they empty, room reused,
// large rasters, and freed rasters still caught by the address sanitizer.
#include "raster_arena.h"

#include "q_roiimgdb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace
{

struct piece {
    unsigned char *p;
    size_t n;
};

std::uintptr_t block_of(const void *p)
{
    return reinterpret_cast<std::uintptr_t>(p) & ~std::uintptr_t(raster_arena::block_size - 1);
}

// Blocks that the pieces still alive lie in.
size_t blocks_under(const std::vector<piece> &alive)
{
    std::set<std::uintptr_t> blocks;
    for (const piece &a : alive)
        blocks.insert(block_of(a.p));
    return blocks.size();
}

// Each piece filled with a byte of its own, so that overlapping pieces show.
std::vector<piece> fill(raster_arena &arena, int count, std::mt19937 &rng)
{
    std::vector<piece> made;
    for (int i = 0; i < count; ++i) {
        const size_t n = 200 + rng() % 900;
        auto *p = static_cast<unsigned char *>(arena.allocate(n));
        EXPECT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % raster_arena::alignment, 0u);
        std::memset(p, i & 0xff, n);
        made.push_back({p, n});
    }
    return made;
}

} // namespace

// Whatever the order of freeing, a block goes back exactly when nothing in
// it is alive, and what is alive is never overwritten.
TEST(RasterArena, ABlockGoesBackWhenItsLastPieceIsFreed)
{
    enum { newest_first, oldest_first, at_random };
    for (int order : {newest_first, oldest_first, at_random}) {
        raster_arena arena;
        std::mt19937 rng(static_cast<unsigned>(order) + 3);
        std::vector<piece> made = fill(arena, 6000, rng);
        ASSERT_GE(arena.blocks(), 3u);
        EXPECT_EQ(arena.blocks(), blocks_under(made));
        EXPECT_EQ(arena.mapped(), arena.blocks() * raster_arena::block_size);
        for (size_t i = 1; i < made.size(); ++i)
            ASSERT_LT(raster_arena::made_order(made[i - 1].p), raster_arena::made_order(made[i].p));

        std::vector<size_t> alive(made.size());
        for (size_t i = 0; i < alive.size(); ++i)
            alive[i] = i;
        if (order == newest_first)
            std::reverse(alive.begin(), alive.end());
        if (order == at_random)
            std::shuffle(alive.begin(), alive.end(), rng);
        // alive is consumed from its front.
        for (size_t freed = 0; freed < made.size(); ++freed) {
            const size_t i = alive[freed];
            arena.release(made[i].p, made[i].n);
            if (freed % 250 != 0)
                continue;
            std::vector<piece> rest;
            for (size_t k = freed + 1; k < alive.size(); ++k) {
                const piece &a = made[alive[k]];
                ASSERT_EQ(std::count(a.p, a.p + a.n, alive[k] & 0xff), long(a.n)) << order;
                rest.push_back(a);
            }
            ASSERT_EQ(arena.blocks(), blocks_under(rest)) << order << " " << freed;
            ASSERT_EQ(arena.live(), rest.size());
        }
        EXPECT_TRUE(arena.empty());
        EXPECT_EQ(arena.blocks(), 0u);
        EXPECT_EQ(arena.mapped(), 0u);
    }
}

// The newest room is handed out again; a hole below it waits for its block;
// a large piece has a block of its own and small ones still go to the shared.
TEST(RasterArena, RoomIsReusedNewestFirstAndLargePiecesStandApart)
{
    raster_arena arena;
    void *a = arena.allocate(100), *b = arena.allocate(100);
    arena.release(b, 100);
    void *again = arena.allocate(100);
    EXPECT_EQ(again, b);
    arena.release(a, 100);
    EXPECT_GT(raster_arena::made_order(arena.allocate(100)), raster_arena::made_order(again))
        << "a hole below the newest piece is not handed out";

    const size_t big_bytes = 2000 * 2000;
    auto *big = static_cast<unsigned char *>(arena.allocate(big_bytes));
    ASSERT_NE(big, nullptr);
    std::memset(big, 7, big_bytes);
    EXPECT_EQ(arena.blocks(), 2u);
    EXPECT_LT(arena.mapped(), 2 * raster_arena::block_size + big_bytes);
    EXPECT_EQ(block_of(arena.allocate(64)), block_of(again));
    arena.release(big, big_bytes);
    EXPECT_EQ(arena.mapped(), raster_arena::block_size);
}

namespace
{

// A square ROI of the given side at time point t, x; side * side pixels.
roi square_at(int x, int t, int side, int z = 0)
{
    return roi(x, 0, z, t,
               std::string(side, '2') + std::string(side, '3') + std::string(side, '0') +
                   std::string(side, '1'));
}

} // namespace

// A time point trimmed in part gives its memory back to the system, not only
// to the cache's count, and making rasters again reuses it.
TEST(RasterCache, TrimmingATimePointHandsItsBlocksBack)
{
    const size_t budget = size_t(8) << 20;
    q_roiimgdb cache(budget);
    const size_t slack = 2 * raster_arena::block_size;
    for (int round = 0; round < 3; ++round) {
        {
            const q_roiimgdb::pin command = cache.hold();
            for (int i = 0; i < 24000; ++i)
                cache.qrimg(square_at(i * 40, 0, 24, round)); // about 700 bytes each
            EXPECT_GT(cache.bytes(), 2 * budget);
            EXPECT_GE(cache.reserved(), cache.bytes() / 2);
        }
        EXPECT_LE(cache.bytes(), budget);
        EXPECT_GT(cache.bytes(), budget / 2);
        EXPECT_LE(cache.reserved(), cache.bytes() + slack)
            << "round " << round << ": the memory freed went back";
    }
}

// While a command holds the cache, the mask of every raster it was handed
// keeps its bytes, through evictions, removals and changes around it.
TEST(RasterCache, AHeldRastersMaskKeepsItsBytes)
{
    q_roiimgdb cache(1 << 16);
    const q_roiimgdb::pin command = cache.hold();
    std::vector<std::pair<q_roiimg *, roi>> handed;
    std::mt19937 rng(17);
    for (int i = 0; i < 400; ++i) {
        const int side = 3 + static_cast<int>(rng() % 40), t = static_cast<int>(rng() % 12);
        roi r = square_at(static_cast<int>(rng() % 50) * 50, t, side);
        handed.push_back({cache.qrimg(r), r});
        if (i % 5 == 0)
            cache.remove(pos4i(r.x(), r.y(), r.z(), r.t()));
    }
    for (auto &h : handed) {
        q_roiimg alone(h.second);
        alone.map();
        const size_t n = static_cast<size_t>(alone.width()) * alone.height();
        ASSERT_EQ(static_cast<size_t>(h.first->width()) * h.first->height(), n);
        ASSERT_EQ(std::memcmp(h.first->mask(), alone.mask(), n), 0);
    }
}

TEST(RasterCache, ALargeRasterComesAndGoesWhole)
{
    q_roiimgdb cache;
    roi big = square_at(0, 4, 2000);
    q_roiimg *raster = cache.qrimg(big);
    ASSERT_EQ(raster->size(), 2000 * 2000);
    const size_t n = static_cast<size_t>(raster->width()) * raster->height();
    EXPECT_EQ(static_cast<size_t>(std::count(raster->mask(), raster->mask() + n, 1)), n);
    EXPECT_GE(cache.reserved(), n);
    q_roiimg *small = cache.qrimg(square_at(5000, 4, 10));
    EXPECT_EQ(small->size(), 100);
    cache.remove(pos4i(0, 0, 0, 4));
    EXPECT_LE(cache.reserved(), raster_arena::block_size) << "the large raster's block went";
    EXPECT_EQ(cache.live(), 1u);
    cache.remove(pos4i(5000, 0, 0, 4));
    EXPECT_EQ(cache.reserved(), 0u);
}

#if defined(__SANITIZE_ADDRESS__)
// A freed raster in a block still in use is poisoned, so reading it is
// reported as it would be on the main heap.
TEST(RasterArenaDeathTest, ReadingAFreedRasterIsCaught)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    raster_arena arena;
    auto *keep = static_cast<unsigned char *>(arena.allocate(32));
    auto *gone = static_cast<unsigned char *>(arena.allocate(32));
    arena.release(gone, 32);
    EXPECT_DEATH(
        {
            volatile unsigned char c = gone[0];
            (void)c;
        },
        "use-after-poison");
    keep[31] = 1;

    q_roiimgdb cache;
    cache.qrimg(square_at(0, 0, 8));
    const unsigned char *mask = cache.qrimg(square_at(100, 0, 8))->mask();
    cache.remove(pos4i(100, 0, 0, 0)); // no command holds it: freed at once
    EXPECT_DEATH(
        {
            volatile unsigned char c = mask[0];
            (void)c;
        },
        "use-after-poison");
}
#endif
