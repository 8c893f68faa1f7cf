// Hostile bytes as a script file: the load ends in a result code without any
// out-of-bounds read, and every variable it declared then reads back through
// the getters as its own kind, while one past the end of an array never does.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/parse.h"
#include "fuzzsupport.h"

namespace {

struct QUERY {
    PARSE_SCRIPT* script;
    std::string prefix; // "name" or "name[i]" of the element being read
    bool inside;        // the element exists, so its values must read
};

void ReadValue(PARSE_SCRIPT* script, const std::string& address, int kind, bool inside)
{
    int status = 0;
    char buffer[16];
    switch (kind) {
    case PARSE_INT: Parse_GetIntPtr(script, address.c_str(), &status); break;
    case PARSE_FLOAT: Parse_GetFloatPtr(script, address.c_str(), &status); break;
    case PARSE_DOUBLE: Parse_GetDouble(script, address.c_str(), &status); break;
    case PARSE_STRING:
        Parse_GetStringPtr(script, address.c_str(), &status, buffer, sizeof buffer);
        break;
    }
    // A declared value reads as its kind; one past the end of an array never does.
    if ((status == 0) != inside) __builtin_trap();
}

void OnMember(const char* member, int kind, void* context)
{
    QUERY* q = static_cast<QUERY*>(context);
    ReadValue(q->script, q->prefix + "." + member, kind, q->inside);
}

void OnVariable(const char* name, int kind, int count, void* context)
{
    PARSE_SCRIPT* script = static_cast<PARSE_SCRIPT*>(context);
    if (count == PARSE_SCALAR) {
        QUERY q{script, name, true};
        if (kind == PARSE_STRUCT) {
            Parse_ForEachMember(script, name, OnMember, &q);
        } else {
            ReadValue(script, name, kind, true);
        }
        return;
    }
    int status = 0;
    if (Parse_GetArraySize(script, name, &status) != count || status != 0) __builtin_trap();
    for (int i = 0; i <= count; i++) {
        if (i == 4096) i = count; // long arrays: the start and the end are enough
        QUERY q{script, std::string(name) + "[" + std::to_string(i) + "]", i < count};
        if (kind == PARSE_STRUCT) {
            Parse_ForEachMember(script, name, OnMember, &q);
        } else {
            ReadValue(script, q.prefix, kind, q.inside);
        }
    }
}

void OnDefine(const char* name, const char*, void* context)
{
    char buffer[8];
    int status = 0;
    Parse_GetDefine(static_cast<PARSE_SCRIPT*>(context), name, &status, buffer, sizeof buffer);
}

void Run(const char* dir, const char* path)
{
    PARSE_SCRIPT* script = IParse_NewScript();
    Parse_AddIncludeDir(script, dir);
    IParse_LoadScript(path, script);
    Parse_ForEachVariable(script, OnVariable, script);
    Parse_ForEachDefine(script, OnDefine, script);
    Parse_FreeData(script);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    // The process's own directory, so an #include in the input finds the
    // input itself (a cycle) and nothing left by other runs.
    const char* path = QvFuzz_WriteTemp(".aip", data, size);
    if (!path) return 0;
    QV_FUZZ_GUARD(Run(QvFuzz_Dir(), path));
    return 0;
}
