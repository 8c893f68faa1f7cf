// Hostile condition files: read against fixed regions (a rectangle and a
// circle) and a special force, as the scenario file would have made them;
// whatever the reader keeps before it stops must be freed with the trees.
#include <cstdint>
#include <cstring>

#include "ai/ai.h"
#include "core/tfparse.h"
#include "fuzzsupport.h"
#include "map/region.h"
#include "rules/endcond.h"
#include "rules/tfendcnd.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    Endcond_Init();
    AI_SpecialForcesInit();
    const REGION rect{1, RT_RECTANGLE, 0, 0, 240, 240, {}};
    const REGION circle{2, RT_CIRCLE, 120, 120, 48, 0, {}};
    Region_Add(&rect);
    Region_Add(&circle);
    AI_NewSpecialForce(1, 7);
    TF_PARSER* parser = nullptr;
    QV_FUZZ_GUARD({
        parser = TF_OpenText("fuzz.end", (const char*)data, size);
        // Two files in a row for one team: the second of a kind is refused.
        for (int i = 0; i < 2; i++) {
            char first[TF_FIELD];
            if (!TF_GetToken(parser, first, sizeof first)) break;
            if (strcmp(first, "DefineEndCondTree") == 0) Tfendcnd_Load(parser, ENDCOND_END, 3);
            else if (strcmp(first, "DefineAICondTree") == 0) Tfendcnd_Load(parser, ENDCOND_FSM, 3);
            else break;
        }
    });
    TF_Close(parser);
    Endcond_Close();
    AI_SpecialForcesClose();
    Region_FreeAll();
    return 0;
}
