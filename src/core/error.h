// Fatal errors.
//
// A fatal error is the one way out of a state the program can't continue
// from: it logs the message, runs the shut-down hooks (sound, input, video,
// cursor), shows the message box and exits with code 1. Callers record their
// source location first; the ERR_FATAL macro does both.
//
// Tests and fuzz targets install a fatal hook that leaves by a jump (a C++
// throw from the hook) instead of exiting; death tests leave the hook unset
// and see the real exit.
//
// A step that reads files the user chose (a scenario from a page) runs under
// Error_Try: the readers keep their one fatal path, and while the step runs
// a fatal error of a file (open, parse, fatal class) leaves the step by a
// jump that Error_Try catches, with the reason and, when the error belongs
// to a text file, its file and line. An assertion or an exhausted memory is
// never caught: the program can't trust what it holds after either.
#pragma once

#include <cstdarg>
#include <cstddef>

enum ERROR_CLASS {
    ERRC_OPENFILE = 0,  // "Unable to open required file"
    ERRC_WRITEFILE = 1, // "Unable to write to file"
    ERRC_PARSE = 2,     // "Text file parsing error"
    ERRC_MEMORY = 3,    // "Memory allocation error"
    ERRC_FATAL = 4,     // "Fatal error"
};

// Called with the class and the composed message once the box is written;
// must not return (a test hook throws). Returning falls through to the exit.
typedef void (*ERROR_HOOK)(int errclass, const char* message);
typedef void (*ERROR_SHUTDOWN)(void);
// Shows the box in an interactive run with a window; installed by the display.
typedef void (*ERROR_DIALOG)(const char* title, const char* body);

// Records the source location reported by the next Error_Fatal.
void Error_SetLocation(const char* file, int line);
// Marks the next Error_Fatal as one no Error_Try may catch (assertions).
void Error_SetUncatchable(void);
// The text file and line that the next Error_Fatal is about (the tokenizer's
// errors set it); Error_Try reports it with the message.
void Error_SetTextPosition(const char* file, int line);
// While a text file is read: its name and the reader's line counter, so that
// a fatal error that names no line of its own is reported at the line being
// read. A null file ends it; the previous one is given back for nesting.
struct ERROR_READING {
    const char* file;
    const int* line;
};
ERROR_READING Error_SetReading(const char* file, const int* line);
void Error_RestoreReading(ERROR_READING previous);
// Runs fn(arg); 1 when it returned. A fatal error of a file inside it (any
// class but memory, never an assertion) is logged as an error, without the
// box, and returns 0 here with why holding "<file> line <n>: <message>" (or
// the message alone when no text file is named). What fn left half done is
// the caller's to undo. Per thread; calls nest.
int Error_Try(void (*fn)(void* arg), void* arg, char* why, size_t size);
// What the log line of an error that Error_Try catches on this thread calls
// it from now on ("<what>: <reason>"; null: the error's class text, as
// "Fatal error: <reason>"); returns the previous setting.
const char* Error_SetCaughtAs(const char* what);
// Logs, shuts down, shows the box and exits 1; never returns. A second entry
// while the first is running logs "ERR macro triggered twice" and exits.
[[noreturn]] void Error_Fatal(int errclass, const char* fmt, ...)
    __attribute__((format(printf, 2, 3)));
[[noreturn]] void Error_FatalV(int errclass, const char* fmt, va_list ap);
// The text of a class: "Unable to open required file" .. "Unhandled error".
const char* Error_ClassText(int errclass);

// Adds a hook run on the fatal path before the box (last added runs first).
// Adding the same hook twice keeps one entry.
void Error_AddShutdownHook(ERROR_SHUTDOWN fn);
void Error_RemoveShutdownHook(ERROR_SHUTDOWN fn);
void Error_SetDialog(ERROR_DIALOG fn);
// Installs (or, with null, removes) the test and fuzz hook.
void Error_SetFatalHook(ERROR_HOOK fn);
// Adds a context line shown in the box (the last three are kept); cleared by
// Error_ClearContext. Parsers use it for "File : %s" and "Line : %d".
void Error_AddContext(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void Error_ClearContext(void);
// The message and class of the most recent fatal error (for tests).
const char* Error_LastMessage(void);
int Error_LastClass(void);
// The error file that fatal boxes are appended to (see Tlog_SetErrorFile).
void Error_SetErrorFile(const char* path);

#define ERR_FATAL(errclass, ...)                                                                   \
    do {                                                                                           \
        Error_SetLocation(__FILE__, __LINE__);                                                     \
        Error_Fatal((errclass), __VA_ARGS__);                                                      \
    } while (0)
