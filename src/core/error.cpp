// Fatal errors: log, shut down, show the box, exit 1; inside Error_Try, a
// fatal error of a file is a jump back to the try instead. The jump is an
// exception of this file's own, thrown and caught here: no caller sees it,
// and the readers it passes through keep everything they made linked where
// its owner frees it (the same frames a test's fatal hook leaves by).
#include "core/error.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "core/tlog.h"

static const char* s_file = "?";
static int s_line = 0;
static int s_inFatal = 0;
static ERROR_HOOK s_hook = nullptr;
static ERROR_DIALOG s_dialog = nullptr;
static std::vector<ERROR_SHUTDOWN> s_shutdown;
static std::vector<std::string> s_context;
static std::string s_lastMessage;
static int s_lastClass = -1;

// Error_Try's state, per thread: a fatal error on the network's thread must
// never jump into a step that the main thread is trying.
namespace {
struct TRAPPED {};
struct TEXTPOS {
    std::string file;
    int line = 0;
    bool set = false;
};
thread_local int t_tries = 0;
thread_local std::string t_why;
thread_local TEXTPOS t_textpos;
thread_local ERROR_READING t_reading = {nullptr, nullptr};
thread_local bool t_uncatchable = false;
thread_local const char* t_caughtAs = nullptr;
} // namespace

static const char* const s_classText[] = {
    "Unable to open required file", "Unable to write to file", "Text file parsing error",
    "Memory allocation error",      "Fatal error",
};

const char* Error_ClassText(int errclass)
{
    if (errclass >= 0 && errclass < (int)(sizeof s_classText / sizeof s_classText[0]))
        return s_classText[errclass];
    return "Unhandled error";
}

void Error_SetLocation(const char* file, int line)
{
    s_file = file ? file : "?";
    s_line = line;
}

void Error_SetUncatchable(void) { t_uncatchable = true; }

const char* Error_SetCaughtAs(const char* what)
{
    const char* previous = t_caughtAs;
    t_caughtAs = what;
    return previous;
}

void Error_SetTextPosition(const char* file, int line)
{
    t_textpos.file = file ? file : "";
    t_textpos.line = line;
    t_textpos.set = file != nullptr;
}

ERROR_READING Error_SetReading(const char* file, const int* line)
{
    const ERROR_READING previous = t_reading;
    t_reading = ERROR_READING{file, file ? line : nullptr};
    return previous;
}

void Error_RestoreReading(ERROR_READING previous) { t_reading = previous; }

int Error_Try(void (*fn)(void* arg), void* arg, char* why, size_t size)
{
    // However fn leaves, the reading it may have left set goes with it.
    struct SCOPE {
        ERROR_READING reading = t_reading;
        SCOPE() { t_tries++; }
        ~SCOPE()
        {
            t_tries--;
            t_reading = reading;
        }
    } scope;
    if (why && size) why[0] = '\0';
    try {
        fn(arg);
    } catch (const TRAPPED&) {
        if (why && size) snprintf(why, size, "%s", t_why.c_str());
        return 0;
    }
    return 1;
}

// The reason a caught error gives: the text file's line it names, else the
// line of the file being read, else the message alone.
static std::string TrappedReason(const char* message)
{
    char where[320] = "";
    if (t_textpos.set)
        snprintf(where, sizeof where, "%s line %d: ", t_textpos.file.c_str(), t_textpos.line);
    else if (t_reading.file)
        snprintf(where, sizeof where, "%s line %d: ", t_reading.file, t_reading.line ? *t_reading.line : 0);
    return std::string(where) + message;
}

void Error_AddShutdownHook(ERROR_SHUTDOWN fn)
{
    for (ERROR_SHUTDOWN h : s_shutdown)
        if (h == fn) return;
    s_shutdown.push_back(fn);
}

void Error_RemoveShutdownHook(ERROR_SHUTDOWN fn)
{
    for (size_t i = 0; i < s_shutdown.size(); i++)
        if (s_shutdown[i] == fn) {
            s_shutdown.erase(s_shutdown.begin() + (long)i);
            return;
        }
}

void Error_SetDialog(ERROR_DIALOG fn) { s_dialog = fn; }
void Error_SetFatalHook(ERROR_HOOK fn) { s_hook = fn; }
const char* Error_LastMessage(void) { return s_lastMessage.c_str(); }
int Error_LastClass(void) { return s_lastClass; }
void Error_SetErrorFile(const char* path) { Tlog_SetErrorFile(path); }

void Error_AddContext(const char* fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    s_context.push_back(buf);
    if (s_context.size() > 3) s_context.erase(s_context.begin());
}

void Error_ClearContext(void) { s_context.clear(); }

static void AppendErrorFile(const std::string& text)
{
    const char* path = Tlog_GetErrorFile();
    if (!path || !*path) return;
    if (FILE* f = fopen(path, "a")) {
        fputs(text.c_str(), f);
        fclose(f);
    }
}

static const char* BaseName(const char* path)
{
    const char* slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

void Error_FatalV(int errclass, const char* fmt, va_list ap)
{
    char message[1024];
    vsnprintf(message, sizeof message, fmt ? fmt : "", ap);

    if (s_inFatal) {
        // The fatal path itself failed: say so and leave without running it again.
        fputs("ERR macro triggered twice\n", stderr);
        Tlog_WriteAlways("ERR macro triggered twice");
        AppendErrorFile("ERR macro triggered twice\n");
        exit(1);
    }
    const bool catchable = t_tries > 0 && !t_uncatchable && errclass != ERRC_MEMORY;
    t_uncatchable = false;
    if (catchable) {
        // A refusal, not an end: logged, and the step that read the file
        // goes back to its caller.
        s_lastMessage = message;
        s_lastClass = errclass;
        t_why = TrappedReason(message);
        t_textpos = TEXTPOS{};
        s_context.clear();
        TLOG(TLOG_ERROR, "%s: %s", t_caughtAs ? t_caughtAs : Error_ClassText(errclass), t_why.c_str());
        throw TRAPPED{};
    }
    t_textpos = TEXTPOS{};
    s_inFatal = 1;
    s_lastMessage = message;
    s_lastClass = errclass;

    std::string title = std::string("QUORVEX ENGINE : ") + Error_ClassText(errclass);
    char where[320];
    snprintf(where, sizeof where, "Code Location : [%s, %d]", BaseName(s_file), s_line);
    std::string body = std::string(message) + "\n" + where + "\n\n";
    for (const std::string& line : s_context) body += line + "\n";
    const char* logfile = Tlog_GetFile();
    if (logfile && *logfile) body += std::string("See ") + logfile + " for details.\n";

    std::string box = title + "\n" + body;
    Tlog_WriteAlways(title.c_str());
    Tlog_WriteAlways(message);
    Tlog_WriteAlways(where);
    AppendErrorFile(box + "\n");
    fputs(box.c_str(), stderr);
    fflush(stderr);

    if (s_hook) {
        // Tests and fuzz targets leave from here; the next fatal error must run in full.
        s_inFatal = 0;
        s_context.clear();
        s_hook(errclass, message);
    }

    for (size_t i = s_shutdown.size(); i-- > 0;) s_shutdown[i]();
    if (s_dialog) s_dialog(title.c_str(), body.c_str());
    fflush(stdout);
    exit(1);
}

void Error_Fatal(int errclass, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    Error_FatalV(errclass, fmt, ap);
}
