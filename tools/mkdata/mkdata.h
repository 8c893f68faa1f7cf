// mkdata's generators. Each generator file registers one MKDATA_GEN; main runs
// every generator's demo step for `mkdata demo` and the matching seed step for
// `mkdata seeds`.
#pragma once

#include <string>

struct MKDATA_GEN {
    const char* name;
    // Writes the generator's files below the run directory; 1 on success.
    int (*demo)(const std::string& rundir);
    // Writes seeds for a fuzz target into dir (ignores other targets); 1 on success.
    int (*seeds)(const std::string& target, const std::string& dir);
    // Set: the demo step runs after every other generator's (it reads what
    // they wrote).
    int late = 0;
};

struct MkdataRegistrar {
    explicit MkdataRegistrar(const MKDATA_GEN& gen);
};

#define MKDATA_REGISTER(id, ...) static const MkdataRegistrar mkdata_reg_##id(MKDATA_GEN{__VA_ARGS__})

// Creates a directory and its parents; 1 when it exists afterwards.
int Mkdata_MakeDirs(const std::string& path);
// Writes a whole file (atomically); 1 on success, else logs to stderr.
int Mkdata_WriteFile(const std::string& path, const void* data, size_t length);
