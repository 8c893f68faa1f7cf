#include "fuzzsupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "core/debug.h"
#include "core/error.h"
#include "core/tlog.h"

// The fuzzer closes the standard error stream at start (-close_fd_mask), so a
// copy taken before main carries this file's own reports.
static const int s_reportFd = dup(2);

static FILE* ReportStream(void)
{
    static FILE* out = nullptr;
    if (!out && s_reportFd >= 0) out = fdopen(dup(s_reportFd), "w");
    return out ? out : stderr;
}

static void ThrowHook(int errclass, const char* message)
{
    // The debug heap stops through the fatal path when a guard word is
    // overwritten or a block is freed twice; caught like a refusal, the
    // overrun would go unseen.
    if (Debug_HeapFaults() > 0) {
        fprintf(ReportStream(), "fuzz: %s\n", message ? message : "heap fault");
        fflush(ReportStream());
        abort();
    }
    throw QvFuzzFatal{errclass};
}

void QvFuzz_Setup(void)
{
    static bool done = false;
    if (done) return;
    done = true;
    Error_SetFatalHook(ThrowHook);
    Tlog_SetFile(nullptr);
    Tlog_SetErrorFile(nullptr);
}

// A plain array, so that it is still there when the exit handler runs.
static char s_dir[4096];

static void RemoveDir(void)
{
    std::error_code ec;
    std::filesystem::remove_all(s_dir, ec);
}

const char* QvFuzz_Dir(void)
{
    if (!s_dir[0]) {
        const char* tmp = getenv("TMPDIR");
        snprintf(s_dir, sizeof s_dir, "%s/qvfuzz-XXXXXX", tmp && *tmp ? tmp : "/tmp");
        if (!mkdtemp(s_dir)) {
            perror("fuzz: mkdtemp");
            abort();
        }
        atexit(RemoveDir);
    }
    return s_dir;
}

const char* QvFuzz_Path(const char* name)
{
    static std::map<std::string, std::string> paths;
    std::string& path = paths[name];
    if (path.empty()) path = std::string(QvFuzz_Dir()) + "/" + name;
    return path.c_str();
}

const char* QvFuzz_WriteTemp(const char* suffix, const uint8_t* data, size_t size)
{
    const char* path = QvFuzz_Path((std::string("input") + suffix).c_str());
    FILE* f = fopen(path, "wb");
    if (!f) return nullptr;
    size_t written = size ? fwrite(data, 1, size, f) : 0;
    if (fclose(f) != 0 || written != size) return nullptr;
    return path;
}

QvFuzzHeapCheck::QvFuzzHeapCheck() : blocks_(Debug_LiveBlocks()), serial_(Debug_Serial())
{
    QvFuzz_Setup();
}

QvFuzzHeapCheck::~QvFuzzHeapCheck()
{
    Debug_ValidateHeap();
    long now = Debug_LiveBlocks();
    if (now == blocks_) return;
    FILE* out = ReportStream();
    fprintf(out, "fuzz: the input left %ld blocks of the debug heap (%ld before, %ld after):\n",
            now - blocks_, blocks_, now);
    Debug_ReportLiveSince(serial_, out);
    fflush(out);
    abort();
}
