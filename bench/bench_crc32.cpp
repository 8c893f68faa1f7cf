// CRC-32 of 1 MiB against zlib's crc32 over the same bytes in the same run.
// zlib's CRC is the reflected variant of another register order, so only the
// speeds compare; the ratio line after the table is what docs/performance.md keeps.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <vector>

#include "benchsupport.h"
#include "core/crc32.h"

namespace {

const std::vector<unsigned char>& Mebibyte()
{
    static const std::vector<unsigned char> data = [] {
        std::vector<unsigned char> v(1 << 20);
        uint32_t x = 0x9E3779B9u; // fixed xorshift stream: the same bytes every run
        for (auto& b : v) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            b = (unsigned char)x;
        }
        return v;
    }();
    return data;
}

void BM_Crc32Block(benchmark::State& state)
{
    const auto& data = Mebibyte();
    Crc32_SetCarryless(1);
    for (auto _ : state) benchmark::DoNotOptimize(Crc32_Block(data.data(), data.size()));
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)data.size());
}
BENCHMARK(BM_Crc32Block);

// The portable path alone, for machines without carry-less multiply.
void BM_Crc32BlockSliced(benchmark::State& state)
{
    const auto& data = Mebibyte();
    Crc32_SetCarryless(0);
    for (auto _ : state) benchmark::DoNotOptimize(Crc32_Block(data.data(), data.size()));
    Crc32_SetCarryless(1);
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)data.size());
}
BENCHMARK(BM_Crc32BlockSliced);

void BM_ZlibCrc32(benchmark::State& state)
{
    const auto& data = Mebibyte();
    for (auto _ : state)
        benchmark::DoNotOptimize(crc32(0L, data.data(), (uInt)data.size()));
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)data.size());
}
BENCHMARK(BM_ZlibCrc32);

} // namespace

QV_BENCH_RATIO(crc32, "crc32 ratio (Crc32_Block time / zlib crc32 time)", "BM_Crc32Block",
               "BM_ZlibCrc32");
QV_BENCH_RATIO(crc32sliced, "crc32 sliced ratio (portable path time / zlib crc32 time)",
               "BM_Crc32BlockSliced", "BM_ZlibCrc32");
