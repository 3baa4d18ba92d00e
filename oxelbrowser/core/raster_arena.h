// Memory of the rasters of one time point: blocks taken from the system and
// given back to it as soon as nothing in them is alive.
#pragma once

#include <cstddef> // size_t
#include <cstdint> // std::uint64_t
#include <vector>

// Allocations are carved from the end of the newest block, so rasters made
// together lie together and a time point's rasters stay apart from the
// long-lived tables of the main heap. Freeing the newest allocation of a
// block hands its room back for the next; any other freed room is a hole
// that stays until its whole block is free. Freeing in reverse order of
// making therefore empties blocks from the newest, each going back to the
// system as it empties. Under AddressSanitizer, free room is poisoned so
// that a use after free is still caught.
class raster_arena
{
public:
    // Blocks are this size and aligned to it; an allocation of more than
    // half of it gets a block of its own, as large as it needs.
    static constexpr size_t block_size = size_t(1) << 20;
    // Every allocation is aligned to this.
    static constexpr size_t alignment = 16;

    raster_arena() = default;
    // Every block goes back, whatever is still alive in it.
    ~raster_arena();
    raster_arena(const raster_arena &) = delete;
    raster_arena &operator=(const raster_arena &) = delete;

    // Null when the system has no memory to give.
    void *allocate(size_t n);
    // p from allocate(n) of this arena, with the same n.
    void release(void *p, size_t n);

    // Allocations alive.
    size_t live() const { return _live; }
    bool empty() const { return _live == 0; }
    // Blocks held, and the memory they span.
    size_t blocks() const { return _blocks.size(); }
    size_t mapped() const { return _mapped; }
    // Increases with the order of making across the arena's blocks.
    static std::uint64_t made_order(const void *p);

private:
    struct block;
    block *map_block(size_t length, bool own);
    void unmap_block(block *b);
    // The block that new allocations are carved from (null when none).
    block *newest_shared() const;

    std::vector<block *> _blocks; // in order of making
    std::uint64_t _serial = 0;
    size_t _live = 0;
    size_t _mapped = 0;
};
