// The benchmark executable's main: runs every registered benchmark, then
// prints the registered ratio lines from the real times it captured.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "benchsupport.h"
#include "platform/sortdisp.h"

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
