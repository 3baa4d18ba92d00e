// The data-model libraries: database file writing and reading, rasterising.
#include "OXEL_roidb"
#include "OXEL_roiimg"
#include "bench_data.h"

#include <benchmark/benchmark.h>

#include <cstdio> // std::remove
#include <unistd.h> // getpid

namespace {

const size_t million = 1000000;

std::string bench_file()
{
    return "/tmp/oxel_bench_" + std::to_string(getpid()) + ".roi";
}

void DatabaseWrite(benchmark::State &state)
{
    roidb db("bench");
    for (const roi &r : benchdata::dataset(million))
        db.entry(r);
    for (auto _ : state)
        db.write(bench_file());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * million));
}
BENCHMARK(DatabaseWrite)->Unit(benchmark::kMillisecond)->Iterations(3);

void DatabaseRead(benchmark::State &state)
{
    {
        roidb db("bench");
        for (const roi &r : benchdata::dataset(million))
            db.entry(r);
        db.write(bench_file());
    }
    size_t held = 0;
    for (auto _ : state) {
        state.PauseTiming();
        size_t before = benchdata::heap_in_use();
        auto *db = new roidb("");
        state.ResumeTiming();
        db->read(bench_file());
        state.PauseTiming();
        held = benchdata::heap_in_use() - before;
        delete db;
        state.ResumeTiming();
    }
    std::remove(bench_file().c_str());
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * million));
    state.counters["heap_bytes_per_roi"] = static_cast<double>(held) / million;
}
BENCHMARK(DatabaseRead)->Unit(benchmark::kMillisecond)->Iterations(3);

void RasteriseTypicalRois(benchmark::State &state)
{
    std::vector<roi> rois = benchdata::dataset(100000, 2);
    long long pixels = 0;
    for (auto _ : state) {
        for (const roi &r : rois) {
            roiimg raster(r);
            raster.map();
            pixels += raster.size();
        }
    }
    benchmark::DoNotOptimize(pixels);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * rois.size()));
}
BENCHMARK(RasteriseTypicalRois)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
