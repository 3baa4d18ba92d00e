// Memory of the rasters of one time point.
#include "raster_arena.h"

#include <algorithm>  // std::find
#include <cstdint>    // std::uintptr_t
#include <iterator>   // std::next
#include <new>        // placement new
#include <sys/mman.h> // mmap, munmap
#include <unistd.h>   // sysconf

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define OXEL_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define OXEL_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define OXEL_POISON(p, n) ((void)(p), (void)(n))
#define OXEL_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

// Sits at the start of its block; the block's start is found from any
// allocation in it by the block alignment.
struct raster_arena::block {
    size_t length;        // bytes mapped
    size_t top;           // offset of the first byte never handed out, or handed back
    size_t live;          // allocations alive
    std::uint64_t serial; // order of making
    bool own;             // one allocation's alone
};

namespace
{

size_t round_up(size_t n, size_t to)
{
    return (n + to - 1) / to * to;
}

const size_t header_bytes = round_up(sizeof(std::uint64_t) * 5, raster_arena::alignment);

size_t page_size()
{
    static const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return page;
}

unsigned char *base_of(const void *p)
{
    return reinterpret_cast<unsigned char *>(
        reinterpret_cast<std::uintptr_t>(p) &
        ~static_cast<std::uintptr_t>(raster_arena::block_size - 1));
}

} // namespace

raster_arena::~raster_arena()
{
    for (block *b : _blocks)
        unmap_block(b);
}

raster_arena::block *raster_arena::map_block(size_t length, bool own)
{
    static_assert(sizeof(block) <= sizeof(std::uint64_t) * 5, "the header fits its room");
    // Map one block more than needed and keep the aligned part.
    const size_t span = length + block_size;
    void *raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + block_size - 1) & ~(std::uintptr_t(block_size) - 1);
    if (aligned > start)
        munmap(raw, aligned - start);
    const size_t tail = start + span - (aligned + length);
    if (tail)
        munmap(reinterpret_cast<void *>(aligned + length), tail);

    unsigned char *base = reinterpret_cast<unsigned char *>(aligned);
    block *b = new (base) block{length, header_bytes, 0, _serial++, own};
    OXEL_POISON(base + header_bytes, length - header_bytes);
    _blocks.push_back(b);
    _mapped += length;
    return b;
}

void raster_arena::unmap_block(block *b)
{
    const size_t length = b->length;
    _mapped -= length;
    // The next mapping at this address must not find it poisoned.
    OXEL_UNPOISON(b, length);
    munmap(b, length);
}

raster_arena::block *raster_arena::newest_shared() const
{
    for (auto it = _blocks.rbegin(); it != _blocks.rend(); ++it)
        if (!(*it)->own)
            return *it;
    return nullptr;
}

void *raster_arena::allocate(size_t n)
{
    if (n > (size_t(1) << 40))
        return nullptr;
    const size_t need = round_up(n ? n : 1, alignment);
    block *b = nullptr;
    if (need > block_size / 2) {
        b = map_block(round_up(header_bytes + need, page_size()), true);
    } else {
        b = newest_shared();
        if (!b || b->top + need > b->length)
            b = map_block(block_size, false);
    }
    if (!b)
        return nullptr;
    unsigned char *p = reinterpret_cast<unsigned char *>(b) + b->top;
    b->top += need;
    ++b->live;
    ++_live;
    OXEL_UNPOISON(p, n);
    return p;
}

void raster_arena::release(void *p, size_t n)
{
    if (!p)
        return;
    const size_t need = round_up(n ? n : 1, alignment);
    unsigned char *base = base_of(p);
    block *b = reinterpret_cast<block *>(base);
    OXEL_POISON(p, need);
    const size_t offset = static_cast<size_t>(static_cast<unsigned char *>(p) - base);
    if (offset + need == b->top)
        b->top = offset;
    --_live;
    if (--b->live != 0)
        return;
    // Newest first: the block freed is most often the last.
    auto it = std::find(_blocks.rbegin(), _blocks.rend(), b);
    _blocks.erase(std::next(it).base());
    unmap_block(b);
}

std::uint64_t raster_arena::made_order(const void *p)
{
    const unsigned char *base = base_of(p);
    const block *b = reinterpret_cast<const block *>(base);
    return b->serial << 32 |
           static_cast<std::uint64_t>(static_cast<const unsigned char *>(p) - base);
}
