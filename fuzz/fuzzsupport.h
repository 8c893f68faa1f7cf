// Helpers shared by the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>

struct QvFuzzFatal {
    int errclass;
};

// Installs the hook that turns a fatal error into a QvFuzzFatal throw and
// turns the log files off; called once per process. A damaged heap is not a
// refusal of the input but a fault of the reader: the hook aborts on it.
void QvFuzz_Setup(void);

// This process's own temporary directory, made on first use and removed with
// everything in it when the process exits.
const char* QvFuzz_Dir(void);
// A path in that directory; the pointer stays valid for the whole run.
const char* QvFuzz_Path(const char* name);
// Writes data to this process's temporary input file for a reader that takes
// a path (one file per suffix, reused by every run); the path, or null.
const char* QvFuzz_WriteTemp(const char* suffix, const uint8_t* data, size_t size);

// Declared first in a target's entry point: when the input is done, every
// block of the debug heap allocated for it must have been freed and every
// guard word must be intact, else the run aborts with the blocks left over.
// State a target keeps across inputs is set up before it.
class QvFuzzHeapCheck {
public:
    QvFuzzHeapCheck();
    ~QvFuzzHeapCheck();
    QvFuzzHeapCheck(const QvFuzzHeapCheck&) = delete;
    QvFuzzHeapCheck& operator=(const QvFuzzHeapCheck&) = delete;

private:
    long blocks_;
    unsigned long serial_;
};

// Runs statement; a fatal error inside it returns here instead of exiting.
#define QV_FUZZ_GUARD(statement)                                                                   \
    do {                                                                                           \
        QvFuzz_Setup();                                                                            \
        try {                                                                                      \
            statement;                                                                             \
        } catch (const QvFuzzFatal&) {                                                             \
        }                                                                                          \
    } while (0)
