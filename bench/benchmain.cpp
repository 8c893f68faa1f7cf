// The benchmark executable's main: runs every registered benchmark, then
// prints the registered ratio lines from the real times it captured.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "benchsupport.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "platform/effects.h"
#include "platform/sortdisp.h"
#include "units/building.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

struct RATIO {
    const char* label;
    const char* ours;
    const char* reference;
};

std::vector<RATIO>& Ratios()
{
    static std::vector<RATIO> list;
    return list;
}

// The console output as usual, plus the real time per iteration of each run.
class CaptureReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal: the output also lands in logs and docs.
    CaptureReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred && r.iterations > 0)
                seconds[r.benchmark_name()] = r.real_accumulated_time / (double)r.iterations;
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

} // namespace

QvBenchRatio::QvBenchRatio(const char* label, const char* ours, const char* reference)
{
    Ratios().push_back({label, ours, reference});
}

void QvBench_SortDispOnce(void)
{
    static bool done = false;
    if (done) return;
    done = true;
    SortDisp_Init();
}

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    CaptureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    for (const RATIO& r : Ratios()) {
        auto a = reporter.seconds.find(r.ours), b = reporter.seconds.find(r.reference);
        if (a == reporter.seconds.end() || b == reporter.seconds.end() || b->second <= 0) continue;
        printf("%s: %.2f\n", r.label, a->second / b->second);
    }
    return 0;
}

const std::vector<UNIT*>& QvBench_UnitWorld(void)
{
    static const std::vector<UNIT*> units = [] {
        g_NewMapRequest = MAP_NEWREQUEST{1, 256, 256, 4, 1};
        if (!Map_Load(nullptr)) abort();
        Effects_Init();
        Mapgrid_Init();
        Fog_Init();
        Team_SetDefaults();
        Team_InitTeamData();
        Units_InitAll();
        Build_InitAll();
        UNITTYPE* t = Units_NewType();
        snprintf(t->symbolid, sizeof t->symbolid, "Tank");
        snprintf(t->description, sizeof t->description, "Tank");
        std::vector<UNIT*> v;
        uint32_t r = 777;
        while ((int)v.size() < 2000) {
            r = r * 1664525u + 1013904223u;
            int x = 1 + (int)((r >> 8) % 255), y = 1 + (int)((r >> 20) % 255);
            if (Units_UnitAtMapLevel(ML_GROUND, x, y)) continue;
            UNIT* u = Units_NewAt(t, 0, -1, x, y);
            if (!u) abort();
            u->hitpoints = (int)(r & 63);
            v.push_back(u);
        }
        return v;
    }();
    return units;
}
