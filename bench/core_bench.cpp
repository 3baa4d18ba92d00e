// The browser's data layer: plane index, plane walks, raster cache, outline client.
#include "bench_data.h"
#include "body.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"

#include <benchmark/benchmark.h>

#include <cstdlib> // setenv
#include <random>

namespace {

const size_t million = 1000000;

void IndexMillionRois(benchmark::State &state)
{
    std::vector<roi> rois = benchdata::dataset(million);
    size_t held = 0;
    for (auto _ : state) {
        state.PauseTiming();
        size_t before = benchdata::heap_in_use();
        auto *db = new roidb_plus("bench");
        state.ResumeTiming();
        for (const roi &r : rois)
            db->entry_plus(r);
        state.PauseTiming();
        held = benchdata::heap_in_use() - before;
        delete db;
        state.ResumeTiming();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * million));
    state.counters["heap_bytes_per_roi"] = static_cast<double>(held) / million;
}
BENCHMARK(IndexMillionRois)->Unit(benchmark::kMillisecond)->Iterations(2);

// Walking every plane once costs O(ROIs) in all, so O(ROIs of a plane) each.
void WalkEveryPlane(benchmark::State &state)
{
    roidb_plus db("bench");
    for (const roi &r : benchdata::dataset(million))
        db.entry_plus(r);
    size_t seen = 0;
    for (auto _ : state) {
        roi r;
        for (int t = 0; t < 150; ++t)
            for (int z = 0; z < 50; ++z) {
                db.seek(t, z, 0);
                while (db.find_plus(t, z, r))
                    ++seen;
            }
    }
    benchmark::DoNotOptimize(seen);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * million));
    state.counters["us_per_plane"] = benchmark::Counter(
        150.0 * 50.0 * 1e-6, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(WalkEveryPlane)->Unit(benchmark::kMillisecond)->Iterations(3);

// One plane of a large dataset: its walk must not depend on the dataset's size.
void WalkOnePlane(benchmark::State &state)
{
    roidb_plus db("bench");
    for (const roi &r : benchdata::dataset(static_cast<size_t>(state.range(0))))
        db.entry_plus(r);
    size_t seen = 0;
    for (auto _ : state) {
        roi r;
        db.seek(75, 25, 0);
        while (db.find_plus(75, 25, r))
            ++seen;
    }
    benchmark::DoNotOptimize(seen);
}
BENCHMARK(WalkOnePlane)->Arg(100000)->Arg(million)->Unit(benchmark::kMicrosecond);

void RasteriseThroughTheCache(benchmark::State &state)
{
    roidb_plus db("bench");
    for (const roi &r : benchdata::dataset(million))
        db.entry_plus(r);
    for (auto _ : state) {
        q_roiimgdb cache;
        roi r;
        for (int t = 0; t < 20; ++t)
            for (int z = 0; z < 50; ++z) {
                db.seek(t, z, 0);
                while (db.find_plus(t, z, r))
                    benchmark::DoNotOptimize(cache.qrimg(r));
            }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * 20 * 50 * (million / 7500)));
}
BENCHMARK(RasteriseThroughTheCache)->Unit(benchmark::kMillisecond)->Iterations(3);

void OutlineProgramRoundTrip(benchmark::State &state)
{
    setenv("OXELBROWSER_OUTLINEGEN", OUTLINEGEN, 1);
    // A disc cut in half, as a split sends it.
    const int n = 64;
    std::vector<unsigned char> block(n * n, 0);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n / 2; ++x)
            if ((x - 32) * (x - 32) + (y - 32) * (y - 32) < 30 * 30)
                block[static_cast<size_t>(y) * n + x] = 1;
    size_t pieces = 0;
    for (auto _ : state)
        pieces += makeROIs(block.data(), n, n).size();
    benchmark::DoNotOptimize(pieces);
}
BENCHMARK(OutlineProgramRoundTrip)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
