// Full-screen blits (640 x 480) against memcpy of the same 307200 bytes in
// the same run: opaque, transparent over a sprite-like source and through a
// colour table. The ratio lines after the table go to docs/performance.md.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "benchsupport.h"
#include "platform/graph.h"

namespace {

enum { W = 640, H = 480 };

struct Screens {
    std::vector<uint8_t> src, dst;
    BITMAP s, d;
    uint8_t table[256];
    Screens() : src((size_t)W * H), dst((size_t)W * H, 0x33)
    {
        // Sprite-like: runs of 0 (about 30% of the pixels) between runs of
        // colour, from a fixed xorshift stream.
        uint32_t x = 0x9E3779B9u;
        size_t i = 0;
        while (i < src.size()) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            size_t run = 4 + x % 29;
            bool clear = (x >> 8) % 10 < 3;
            for (size_t k = 0; k < run && i < src.size(); k++, i++)
                src[i] = clear ? 0 : (uint8_t)(1 + ((x >> 16) + k) % 255);
        }
        Graph_InitBitmap(&s, W, H, src.data());
        Graph_InitBitmap(&d, W, H, dst.data());
        for (int k = 0; k < 256; k++) table[k] = (uint8_t)(255 - k);
    }
};

Screens& Get()
{
    static Screens s;
    return s;
}

void BM_Memcpy(benchmark::State& state)
{
    Screens& s = Get();
    for (auto _ : state) {
        memcpy(s.dst.data(), s.src.data(), s.src.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * W * H);
}
BENCHMARK(BM_Memcpy);

void BM_BlitOpaque(benchmark::State& state)
{
    Screens& s = Get();
    for (auto _ : state) {
        Graph_Blit(&s.d, nullptr, 0, 0, 0, &s.s, 0, 0, W, H);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * W * H);
}
BENCHMARK(BM_BlitOpaque);

void BM_BlitTransparent(benchmark::State& state)
{
    Screens& s = Get();
    for (auto _ : state) {
        Graph_BlitTransparent(&s.d, nullptr, 0, 0, 0, &s.s, 0, 0, W, H);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * W * H);
}
BENCHMARK(BM_BlitTransparent);

void BM_BlitTable(benchmark::State& state)
{
    Screens& s = Get();
    for (auto _ : state) {
        Graph_BlitTable(&s.d, nullptr, 0, 0, 0, &s.s, 0, 0, W, H, s.table);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * W * H);
}
BENCHMARK(BM_BlitTable);

} // namespace

QV_BENCH_RATIO(blitopaque, "blit opaque ratio", "BM_BlitOpaque", "BM_Memcpy");
QV_BENCH_RATIO(blittransparent, "blit transparent ratio", "BM_BlitTransparent", "BM_Memcpy");
QV_BENCH_RATIO(blittable, "blit table ratio", "BM_BlitTable", "BM_Memcpy");
