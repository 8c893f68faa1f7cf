// Loading a plan-sized script against a plain read of the same bytes in the
// same run: what the tokenising, the declarations and the name index cost on
// top of getting the file into memory.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "benchsupport.h"
#include "core/fspath.h"
#include "core/parse.h"

namespace {

// A plan with 1000 account entries of four members and a few scalars,
// written once per process into /tmp and removed at exit.
const std::string& PlanPath()
{
    static const std::string path = [] {
        std::string text =
            "// generated plan\n"
            "#define LEVEL 5\n"
            "struct entry { int priority; int build_type; string item_name; int build_amount; };\n"
            "int ground_unit_threat = 10;\n"
            "float relaxation_coefficient = 0.5;\n"
            "double max_matching_force_ratio = 1.25;\n"
            "entry base[] = {\n";
        for (int i = 0; i < 1000; i++) {
            text += "    { LEVEL, " + std::to_string(i % 4) + ", \"Unit" + std::to_string(i % 37) +
                    "\", " + std::to_string(i % 9 + 1) + " }, /* entry " + std::to_string(i) +
                    " */\n";
        }
        text += "};\n";
        std::string p = "/tmp/bench_parse-" + std::to_string((long)getpid()) + ".aip";
        if (!Fs_WriteAtomic(p.c_str(), text.data(), text.size())) abort();
        static std::string s_remove;
        s_remove = p;
        atexit([] { unlink(s_remove.c_str()); });
        return p;
    }();
    return path;
}

void BM_ParseLoadPlan(benchmark::State& state)
{
    const std::string& path = PlanPath();
    for (auto _ : state) {
        PARSE_SCRIPT* script = IParse_NewScript();
        if (IParse_LoadScript(path.c_str(), script) != PARSE_OK) state.SkipWithError("load failed");
        Parse_FreeData(script);
    }
}
BENCHMARK(BM_ParseLoadPlan);

// The reference: the same file read into memory and nothing more.
void BM_ParseReadBytes(benchmark::State& state)
{
    const std::string& path = PlanPath();
    std::string bytes;
    for (auto _ : state) {
        Fs_ReadAll(path.c_str(), &bytes);
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_ParseReadBytes);

// What the plan loader then does: every element's members looked up by name.
void BM_ParseQueryPlan(benchmark::State& state)
{
    PARSE_SCRIPT* script = IParse_NewScript();
    if (IParse_LoadScript(PlanPath().c_str(), script) != PARSE_OK) {
        state.SkipWithError("load failed");
    }
    char name[64], buffer[64];
    for (auto _ : state) {
        int status, sum = 0;
        for (int i = 0; i < 1000; i++) {
            snprintf(name, sizeof name, "base[%d].priority", i);
            sum += Parse_GetIntPtr(script, name, &status);
            snprintf(name, sizeof name, "base[%d].item_name", i);
            Parse_GetStringPtr(script, name, &status, buffer, sizeof buffer);
        }
        benchmark::DoNotOptimize(sum);
    }
    Parse_FreeData(script);
}
BENCHMARK(BM_ParseQueryPlan);

} // namespace

QV_BENCH_RATIO(parse, "script load ratio (1000-entry plan load time / plain read time)",
               "BM_ParseLoadPlan", "BM_ParseReadBytes");
