// The trace log: one line per call, appended to the file per line.
#include "core/tlog.h"

#include <cstdio>
#include <cstring>
#include <atomic>
#include <mutex>
#include <string>

#include "platform/plat.h"

// The location is each thread's own: it is set just before that thread's
// next line. The mask is read unlocked before every call's formatting.
static thread_local const char* s_file = "?";
static thread_local int s_line = 0;
static std::atomic<unsigned> s_mask{TLOG_ERROR | TLOG_WARNING};
static unsigned s_options = 0;
static std::string s_path;
static std::string s_errorPath;
static int s_echo = 0;
static std::recursive_mutex s_lock; // the network threads log too

static const struct {
    unsigned mask;
    const char* name;
} s_names[] = {
    {TLOG_ERROR, "ERR"},     {TLOG_WARNING, "WARN"},  {TLOG_DIAG, "DIAG"},   {TLOG_CHANNEL, "CHAN"},
    {TLOG_SAVE, "SAVE"},     {TLOG_AI, "AI"},         {TLOG_SCHEDULE, "SCHED"}, {TLOG_SETUP, "SETUP"},
    {TLOG_MONO, "MONO"},     {TLOG_MEMORY, "MEM"},    {TLOG_NERR, "NERR"},   {TLOG_NWARN, "NWARN"},
    {TLOG_NDIAG, "NDIAG"},   {TLOG_NSTAT, "NSTAT"},
};

const char* Tlog_CategoryName(unsigned mask)
{
    for (const auto& n : s_names)
        if (mask & n.mask) return n.name;
    return "LOG";
}

void Tlog_SetLocation(const char* file, int line)
{
    s_file = file ? file : "?";
    s_line = line;
}

void Tlog_SetMask(unsigned mask) { s_mask.store(mask); }
unsigned Tlog_GetMask(void) { return s_mask.load(); }
void Tlog_Enable(unsigned mask, int on)
{
    if (on)
        s_mask.fetch_or(mask);
    else
        s_mask.fetch_and(~mask);
}
// The settings below are read by every line, on any thread: changed under
// the lock.
void Tlog_SetOptions(unsigned prefixbits)
{
    std::lock_guard<std::recursive_mutex> hold(s_lock);
    s_options = prefixbits;
}
unsigned Tlog_GetOptions(void) { return s_options; }
void Tlog_SetFile(const char* path)
{
    std::lock_guard<std::recursive_mutex> hold(s_lock);
    s_path = path ? path : "";
}
const char* Tlog_GetFile(void) { return s_path.c_str(); }
void Tlog_SetEcho(int on)
{
    std::lock_guard<std::recursive_mutex> hold(s_lock);
    s_echo = on;
}
void Tlog_SetErrorFile(const char* path)
{
    std::lock_guard<std::recursive_mutex> hold(s_lock);
    s_errorPath = path ? path : "";
}
const char* Tlog_GetErrorFile(void) { return s_errorPath.c_str(); }

static void AppendLine(const std::string& path, const char* line)
{
    if (path.empty()) return;
    if (FILE* f = fopen(path.c_str(), "a")) {
        fputs(line, f);
        fputc('\n', f);
        fclose(f);
    }
}

void Tlog_WriteAlways(const char* text)
{
    std::lock_guard<std::recursive_mutex> hold(s_lock);
    AppendLine(s_path, text);
}

void Tlog_VPrintf(unsigned mask, const char* fmt, va_list ap)
{
    if (!(mask & s_mask)) return;
    std::lock_guard<std::recursive_mutex> hold(s_lock);
    char prefix[160] = "";
    size_t n = 0;
    if (s_options & TLOGP_MARKER)
        n += snprintf(prefix + n, sizeof prefix - n, "%c ",
                      (mask & TLOG_ERROR) ? '!' : (mask & TLOG_WARNING) ? '?' : '.');
    if ((s_options & TLOGP_CATEGORY) && n < sizeof prefix)
        n += snprintf(prefix + n, sizeof prefix - n, "%-5s ", Tlog_CategoryName(mask & s_mask));
    if ((s_options & TLOGP_FILE) && n < sizeof prefix) {
        const char* base = strrchr(s_file, '/');
        n += snprintf(prefix + n, sizeof prefix - n, "%s ", base ? base + 1 : s_file);
    }
    if ((s_options & TLOGP_LINE) && n < sizeof prefix)
        n += snprintf(prefix + n, sizeof prefix - n, "%5d ", s_line);
    if ((s_options & TLOGP_TIME) && n < sizeof prefix)
        n += snprintf(prefix + n, sizeof prefix - n, "%8u ", Plat_SystemMs());

    char body[2048];
    vsnprintf(body, sizeof body, fmt ? fmt : "", ap);
    std::string line = std::string(prefix) + body;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();

    AppendLine(s_path, line.c_str());
    if (mask & TLOG_ERROR) AppendLine(s_errorPath, line.c_str());
    if (s_echo) fprintf(stderr, "%s\n", line.c_str());
}

void Tlog_Printf(unsigned mask, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    Tlog_VPrintf(mask, fmt, ap);
    va_end(ap);
}
