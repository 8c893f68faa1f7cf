// The benchmark executable's main: runs every registered benchmark, then
// prints the registered ratio lines from the real times it captured.
//
// The engine's state is global (the map, the unit lists, the display list,
// the display), and a benchmark that changed it would skew every one after
// it. So the parent only lists the benchmarks: each group of benchmarks that
// a ratio joins runs in a child process of its own (a ratio's two sides in the
// same process, as its reference must be), and sends its times back through a
// pipe. A full run and a filtered run then measure the same thing.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
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

const char* const kResultsFd = "QVBENCH_RESULTS_FD"; // set in a child: where its times go
const char* const kQuietContext = "QVBENCH_QUIET";   // set in every child but the first

// The console output as usual, plus the real time per iteration of each run.
class CaptureReporter : public benchmark::ConsoleReporter {
public:
    // Colours only on a terminal: the output also lands in logs and docs.
    CaptureReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
    bool ReportContext(const Context& context) override
    {
        if (getenv(kQuietContext)) return true;
        return ConsoleReporter::ReportContext(context);
    }
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            if (r.error_occurred) failed = true;
            if (r.run_type == Run::RT_Iteration && !r.error_occurred && r.iterations > 0)
                seconds[r.benchmark_name()] = r.real_accumulated_time / (double)r.iterations;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
    bool failed = false;
};

// Runs this program again with args and reads what it writes into a pipe
// until it ends: its standard output (toStdout) or its times (the pipe handed
// down through kResultsFd). The exit status, -1 when it could not run.
int RunChild(const std::vector<std::string>& args, bool toStdout, bool quiet, std::string* text)
{
    int fds[2];
    if (pipe(fds) != 0) return -1;
    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        close(fds[0]);
        if (toStdout) dup2(fds[1], STDOUT_FILENO);
        else setenv(kResultsFd, std::to_string(fds[1]).c_str(), 1);
        if (quiet) setenv(kQuietContext, "1", 1);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    close(fds[1]);
    text->clear();
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) text->append(buf, (size_t)n);
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Ratios differ between machines and compilers: each line says which.
std::string MachineAndCompiler(void)
{
    std::string cpu = "unknown processor";
    if (FILE* f = fopen("/proc/cpuinfo", "r")) {
        char line[256];
        while (fgets(line, sizeof line, f)) {
            const char* colon = strchr(line, ':');
            if (strncmp(line, "model name", 10) != 0 || !colon) continue;
            cpu = colon + 1;
            while (!cpu.empty() && (cpu.back() == '\n' || cpu.back() == ' ')) cpu.pop_back();
            while (!cpu.empty() && cpu.front() == ' ') cpu.erase(0, 1);
            break;
        }
        fclose(f);
    }
    char host[128] = "unknown host";
    gethostname(host, sizeof host - 1);
    char out[512];
#if defined(__clang__)
    const char* compiler = "Clang " __clang_version__;
#elif defined(__GNUC__)
    const char* compiler = "GCC " __VERSION__;
#else
    const char* compiler = "unknown compiler";
#endif
    snprintf(out, sizeof out, "%s, %s x %ld, %s", host, cpu.c_str(), sysconf(_SC_NPROCESSORS_ONLN), compiler);
    return out;
}

// Groups of names that ratios join, in the order the names were listed.
std::vector<std::vector<std::string>> Groups(const std::vector<std::string>& names)
{
    std::map<std::string, std::string> parent;
    for (const std::string& n : names) parent[n] = n;
    auto find = [&](std::string n) {
        while (parent[n] != n) n = parent[n];
        return n;
    };
    for (const RATIO& r : Ratios()) {
        if (!parent.count(r.ours) || !parent.count(r.reference)) continue;
        parent[find(r.ours)] = find(r.reference);
    }
    std::vector<std::vector<std::string>> groups;
    std::map<std::string, size_t> index;
    for (const std::string& n : names) {
        std::string root = find(n);
        if (!index.count(root)) {
            index[root] = groups.size();
            groups.emplace_back();
        }
        groups[index[root]].push_back(n);
    }
    return groups;
}

// A filter matching exactly these names.
std::string ExactFilter(const std::vector<std::string>& names)
{
    std::string f = "^(";
    for (size_t i = 0; i < names.size(); i++) {
        if (i) f += "|";
        for (char c : names[i]) {
            if (strchr("\\^$.|?*+()[]{}", c)) f += '\\';
            f += c;
        }
    }
    return f + ")$";
}

int RunChildMode(int argc, char** argv, int resultfd)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    CaptureReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::string out;
    for (const auto& [name, secs] : reporter.seconds) {
        char line[64];
        snprintf(line, sizeof line, "\t%.17g\n", secs);
        out += name + line;
    }
    if (write(resultfd, out.data(), out.size()) != (ssize_t)out.size()) return 1;
    return reporter.failed ? 1 : 0;
}

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
    if (const char* fd = getenv(kResultsFd)) return RunChildMode(argc, argv, atoi(fd));

    std::vector<std::string> args(argv, argv + argc);
    for (const std::string& a : args) {
        if (a.rfind("--benchmark_list_tests", 0) == 0 || a == "--help") {
            benchmark::Initialize(&argc, argv);
            benchmark::RunSpecifiedBenchmarks();
            return 0;
        }
    }
    std::vector<std::string> listArgs = args;
    listArgs.push_back("--benchmark_list_tests=true");
    std::string listing;
    if (RunChild(listArgs, true, false, &listing) != 0) {
        fputs("qvbench: cannot list the benchmarks\n", stderr);
        return 1;
    }
    std::vector<std::string> names;
    for (size_t at = 0; at < listing.size();) {
        size_t end = listing.find('\n', at);
        if (end == std::string::npos) end = listing.size();
        if (end > at) names.push_back(listing.substr(at, end - at));
        at = end + 1;
    }

    std::map<std::string, double> seconds;
    int failures = 0;
    bool first = true;
    for (const std::vector<std::string>& group : Groups(names)) {
        std::vector<std::string> runArgs = args;
        runArgs.push_back("--benchmark_filter=" + ExactFilter(group));
        std::string results;
        int code = RunChild(runArgs, false, !first, &results);
        first = false;
        if (code != 0) {
            fprintf(stderr, "qvbench: %s failed (exit %d)\n", group[0].c_str(), code);
            failures++;
        }
        for (size_t at = 0; at < results.size();) {
            size_t end = results.find('\n', at);
            if (end == std::string::npos) end = results.size();
            size_t tab = results.find('\t', at);
            if (tab != std::string::npos && tab < end)
                seconds[results.substr(at, tab - at)] = strtod(results.c_str() + tab + 1, nullptr);
            at = end + 1;
        }
    }
    const std::string where = MachineAndCompiler();
    for (const RATIO& r : Ratios()) {
        auto a = seconds.find(r.ours), b = seconds.find(r.reference);
        if (a == seconds.end() || b == seconds.end() || b->second <= 0) continue;
        printf("%s: %.2f [%s]\n", r.label, a->second / b->second, where.c_str());
    }
    return failures ? 1 : 0;
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
