// Helpers shared by the fuzz targets.
#pragma once

#include <cstddef>
#include <cstdint>

struct QvFuzzFatal {
    int errclass;
};

// Installs the hook that turns a fatal error into a QvFuzzFatal throw and
// turns the log files off; called once per process.
void QvFuzz_Setup(void);

// Writes data to this process's temporary input file for a reader that takes
// a path (one file per suffix, reused by every run); the path, or null.
const char* QvFuzz_WriteTemp(const char* suffix, const uint8_t* data, size_t size);

// Runs statement; a fatal error inside it returns here instead of exiting.
#define QV_FUZZ_GUARD(statement)                                                                   \
    do {                                                                                           \
        QvFuzz_Setup();                                                                            \
        try {                                                                                      \
            statement;                                                                             \
        } catch (const QvFuzzFatal&) {                                                             \
        }                                                                                          \
    } while (0)
