// Ratio lines of the benchmark executable.
//
// Each hot path is measured against a reference in the same run; a bench file
// registers the pair and main prints "label: ours / reference" after the
// table, from the real times of the runs.
#pragma once

struct QvBenchRatio {
    QvBenchRatio(const char* label, const char* ours, const char* reference);
};

#define QV_BENCH_RATIO(id, label, ours, reference)                                                 \
    static const QvBenchRatio qv_ratio_##id(label, ours, reference)

// The map view's world: the demo palette, tile set and map, and 200 demo
// sprites spread over the view at the origin it gives (set up once).
void QvBench_ViewWorld(int* originx, int* originy);

// The display list for the benchmarks that draw or move elements: set up at
// the first call of the process (it may be set up once only).
void QvBench_SortDispOnce(void);

#include <vector>
struct UNIT;
// The world of the unit tests, made once per process: a flat 256 x 256 map,
// the grid, sight, teams, the unit layer, and 2000 units of team 0 spread
// over it (hit points 0..63).
const std::vector<UNIT*>& QvBench_UnitWorld(void);
