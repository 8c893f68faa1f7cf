// The editor's change checksum over the unit world (a 256 x 256 map and
// 2000 units) against one CRC-32 over as many bytes in one block: the Stats
// layer asks for it on every draw while the scenario is unmodified.
#include <benchmark/benchmark.h>

#include <vector>

#include "benchsupport.h"
#include "core/crc32.h"
#include "editor/editor.h"
#include "editor/mefile.h"
#include "map/map.h"
#include "units/team.h"

namespace {

// Map elements 8 bytes, units 41 (no trail or orders), teams 80 each (no
// file names).
size_t ChecksumBytes(size_t units)
{
    return (size_t)mapsizex * mapsizey * 8 + units * 41 + TEAM_MAXTEAMS * 80;
}

void BM_EditorChangeChecksum(benchmark::State& state)
{
    QvBench_UnitWorld();
    g_MeEditor.flags |= MEF_OPEN;
    for (auto _ : state) benchmark::DoNotOptimize(MeMenuFile::ChangeChecksum());
    g_MeEditor.flags &= ~MEF_OPEN;
}
BENCHMARK(BM_EditorChangeChecksum);

void BM_EditorChecksumBlock(benchmark::State& state)
{
    const std::vector<UNIT*>& units = QvBench_UnitWorld();
    const std::vector<uint8_t> bytes(ChecksumBytes(units.size()), 0x5a);
    for (auto _ : state) benchmark::DoNotOptimize(Crc32_Block(bytes.data(), bytes.size()));
}
BENCHMARK(BM_EditorChecksumBlock);

} // namespace

QV_BENCH_RATIO(mechecksum, "editor change checksum ratio (checksum / Crc32_Block over as many bytes)",
               "BM_EditorChangeChecksum", "BM_EditorChecksumBlock");
