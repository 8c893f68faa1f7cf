// Hostile files under the editor's description reader, which must answer
// null rather than stop the program.
#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "ai/ai.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "fuzzsupport.h"
#include "rules/endcond.h"
#include "rules/tfendcnd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    snprintf(g_ScenarioDir, sizeof g_ScenarioDir, "%s", QvFuzz_Dir());
    QvFuzzHeapCheck check;
    Endcond_Init();
    AI_AIPInit();
    QV_FUZZ_GUARD({
        const char* path = QvFuzz_WriteTemp(".txt", data, size);
        if (path) {
            const char* name = path;
            for (const char* c = path; *c; c++)
                if (*c == '/') name = c + 1;
            Endcond_SetEndCondFile(0, name);
            AI_SetFsmFilename(0, 0, name);
            for (int kind : {ENDCOND_END, ENDCOND_FSM}) {
                char* d = Endcond_ReadDescription(0, kind);
                Debug_Free(&d);
            }
        }
    });
    Endcond_Close();
    AI_AIPClose();
    return 0;
}
