#include "ai/aip.h"

#include <cstring>

#include "core/debug.h"
#include "core/gamestate.h"
#include "core/parse.h"
#include "core/utils.h"

AIP_struct* AIP_Load(const char* path)
{
    PARSE_SCRIPT* script = IParse_NewScript();
    Parse_AddIncludeDir(script, g_HomeDir);
    // A syntax error (1) leaves a script that ran only in part: a plan made
    // from it would steer the computer player by defaults nobody chose.
    const int result = IParse_LoadScript(path, script);
    Parse_FreeData(script);
    if (result != PARSE_OK) return nullptr;
    AIP_struct* plan = static_cast<AIP_struct*>(Debug_Calloc(1, sizeof(AIP_struct)));
    const char* base = path;
    for (const char* c = path; *c; c++)
        if (*c == '\\' || *c == '/') base = c + 1;
    Str_CopySafe(plan->filename, base, sizeof plan->filename);
    return plan;
}

void AIP_Delete(AIP_struct* plan)
{
    ASSERT(plan);
    Debug_Free(&plan);
}
