// The trace log.
//
// One line per call, written when the call's category is enabled: to the log
// file (opened for append per line, so nothing is lost when the program dies)
// and, for errors, to "error.log" as well. Option bits choose the prefix.
#pragma once

#include <cstdarg>

enum TLOG_CATEGORY {
    TLOG_ERROR = 0x1,
    TLOG_WARNING = 0x2,
    TLOG_DIAG = 0x4,
    TLOG_CHANNEL = 0x8,     // staging page, multiplayer menus
    TLOG_SAVE = 0x80,       // saved games, the editor's start and stop
    TLOG_AI = 0x100,
    TLOG_SCHEDULE = 0x200,
    TLOG_SETUP = 0x1000,    // team set-up, online client
    TLOG_MONO = 0x2000,     // orders, mono screen dumps
    TLOG_MEMORY = 0x4000,
    TLOG_NERR = 0x8000,
    TLOG_NWARN = 0x10000,
    TLOG_NDIAG = 0x20000,
    TLOG_NSTAT = 0x40000,
};

enum TLOG_PREFIX {
    TLOGP_MARKER = 0x1,    // "!" for errors, "?" for warnings, "." otherwise
    TLOGP_CATEGORY = 0x2,  // the category name, e.g. "ERR"
    TLOGP_FILE = 0x4,      // source file tag (base name)
    TLOGP_LINE = 0x8,      // source line
    TLOGP_TIME = 0x10,     // milliseconds since start
};

// Records the source location shown by the next Tlog_Printf.
void Tlog_SetLocation(const char* file, int line);
// Writes one line when a category of mask is enabled; never fails.
void Tlog_Printf(unsigned mask, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void Tlog_VPrintf(unsigned mask, const char* fmt, va_list ap);

// The enabled categories (errors and warnings by default).
void Tlog_SetMask(unsigned mask);
unsigned Tlog_GetMask(void);
void Tlog_Enable(unsigned mask, int on);
void Tlog_SetOptions(unsigned prefixbits);
unsigned Tlog_GetOptions(void);
// The log file; null or "" (the default) writes no file.
void Tlog_SetFile(const char* path);
const char* Tlog_GetFile(void);
// The error file ("error.log" in a game run): error lines and fatal boxes.
void Tlog_SetErrorFile(const char* path);
const char* Tlog_GetErrorFile(void);
// Also copy every written line to stderr (off by default).
void Tlog_SetEcho(int on);
// The category name of a single-bit mask ("ERR", "WARN", "DIAG", ...).
const char* Tlog_CategoryName(unsigned mask);

#define TLOG(mask, ...)                                                                            \
    do {                                                                                           \
        Tlog_SetLocation(__FILE__, __LINE__);                                                      \
        Tlog_Printf((mask), __VA_ARGS__);                                                          \
    } while (0)

// Writes a line to the log file whatever the mask (the fatal path).
void Tlog_WriteAlways(const char* text);
