// The multi-language strings over arbitrary text: the input is the list file
// and up to three string scripts ("a.str", "b.str", "c.str"), each part
// after a line "----". What loads must read back through every getter and
// every display text.
#include <cstdint>
#include <cstdio>
#include <string>

#include "core/mlstring.h"
#include "fuzzsupport.h"

static const char* const s_names[] = {"mlstring.cfg", "a.str", "b.str", "c.str"};

static void WriteParts(const uint8_t* data, size_t size)
{
    const std::string text((const char*)data, size);
    const std::string mark = "\n----\n";
    size_t at = 0;
    for (const char* name : s_names) {
        size_t end = at <= text.size() ? text.find(mark, at) : std::string::npos;
        std::string part = at <= text.size() ? text.substr(at, end - at) : "";
        if (FILE* f = fopen(QvFuzz_Path(name), "wb")) {
            fwrite(part.data(), 1, part.size(), f);
            fclose(f);
        }
        at = end == std::string::npos ? text.size() + 1 : end + mark.size();
    }
}

static void Exercise(void)
{
    if (MLString_Load(QvFuzz_Path("mlstring.cfg")) < 0) return;
    char buffer[64];
    for (const char* key : {"", "MLS_DISP_SELL", "KEY", "A"}) {
        (void)MLString_Get(key, buffer, sizeof buffer, 1);
        (void)MLString_Get(key, buffer, 1, 0);
        (void)MLString_GetOrDefine(key, "default", buffer, sizeof buffer);
    }
    for (int id = 0; id < MLSD_COUNT; id++) {
        const char* text = MLString_Display(id);
        if (!text) __builtin_trap();
        (void)snprintf(buffer, sizeof buffer, "%zu", std::string(text).size());
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    WriteParts(data, size);
    QV_FUZZ_GUARD(Exercise());
    MLString_Unload();
    return 0;
}
