// Loading a 256 x 256 map against a plain read of the same file in the same
// run: what checking, decoding and lighting the elements cost on top of
// getting the bytes into memory.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "benchsupport.h"
#include "core/fspath.h"
#include "map/map.h"

namespace {

// A 256 x 256 map with every field varied and rolling altitudes, written
// once per process into /tmp and removed at exit.
const std::string& MapPath()
{
    static const std::string path = [] {
        g_NewMapRequest = MAP_NEWREQUEST{1, 256, 256, 8, 1};
        if (!Map_Load(nullptr)) abort();
        uint32_t r = 12345;
        for (int y = 0; y < 256; y++) {
            for (int x = 0; x < 256; x++) {
                r = r * 1664525u + 1013904223u;
                MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
                e->tile = (r >> 8) & 0x1FFFFFu;
                e->altitude = (uint32_t)(8 + (x / 16 + y / 16) % 9);
                e->initalt = e->altitude;
                e->effect = (r >> 29) == 0 ? 4u : (uint32_t)MAP_EFFECT_NONE;
                e->water = (r >> 3) & 7u;
                e->mineral = (r >> 6) & 7u;
            }
        }
        std::string p = "/tmp/bench_map-" + std::to_string((long)getpid()) + ".map";
        if (!Map_Save(p.c_str())) abort();
        Map_Free();
        static std::string s_remove;
        s_remove = p;
        atexit([] { unlink(s_remove.c_str()); });
        return p;
    }();
    return path;
}

void BM_MapLoad(benchmark::State& state)
{
    const std::string& path = MapPath();
    for (auto _ : state) {
        if (!Map_Load(path.c_str())) state.SkipWithError("load failed");
        benchmark::DoNotOptimize(g_MapElements);
    }
    Map_Free();
}
BENCHMARK(BM_MapLoad)->Unit(benchmark::kMicrosecond);

// The reference: the same file read into a buffer kept between reads (as
// the loader keeps its own), and nothing more.
void BM_MapReadBytes(benchmark::State& state)
{
    const std::string& path = MapPath();
    std::vector<unsigned char> bytes(16 + 256 * 256 * 7 + 1);
    for (auto _ : state) {
        FILE* f = Fs_Open(path.c_str(), "rb");
        if (!f) state.SkipWithError("open failed");
        size_t n = fread(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_MapReadBytes)->Unit(benchmark::kMicrosecond);

} // namespace

QV_BENCH_RATIO(mapload, "map load ratio (Map_Load time / plain read time)", "BM_MapLoad",
               "BM_MapReadBytes");
