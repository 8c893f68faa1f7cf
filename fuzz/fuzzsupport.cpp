#include "fuzzsupport.h"

#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>

#include "core/error.h"
#include "core/tlog.h"

static void ThrowHook(int errclass, const char*) { throw QvFuzzFatal{errclass}; }

void QvFuzz_Setup(void)
{
    static bool done = false;
    if (done) return;
    done = true;
    Error_SetFatalHook(ThrowHook);
    Tlog_SetFile(nullptr);
    Tlog_SetErrorFile(nullptr);
}

const char* QvFuzz_WriteTemp(const char* suffix, const uint8_t* data, size_t size)
{
    static std::map<std::string, std::string> paths;
    std::string& path = paths[suffix];
    if (path.empty()) path = "/tmp/qvfuzz-" + std::to_string((long)getpid()) + suffix;
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return nullptr;
    size_t written = size ? fwrite(data, 1, size, f) : 0;
    if (fclose(f) != 0 || written != size) return nullptr;
    return path.c_str();
}
