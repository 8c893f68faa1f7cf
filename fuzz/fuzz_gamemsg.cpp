// Hostile message files: every block the reader keeps must trigger safely,
// with and without composed arguments, and everything it made must be freed.
#include <cstdint>
#include <cstdio>
#include <initializer_list>

#include "core/gamestate.h"
#include "core/tfparse.h"
#include "fuzzsupport.h"
#include "rules/gamemsg.h"
#include "ui/blip.h"

static void Exercise(TF_PARSER* parser)
{
    GameMsg_ParseFile(parser);
    GameMsg_LookupStdIds();
    const GAMEMSG_ARG args[] = {GameMsg_Int(-7), GameMsg_Str("name"), GameMsg_Int(65)};
    for (const char* sym : {"A", "MSG_UNITDESTROYED", "MSG_MESSAGE", ""}) {
        GAME_MSG* m = GameMsg_SymToData(sym);
        if (!m) continue;
        snprintf(m->text, sizeof m->text, "%s %%d %%s %%c %%n", m->msgsym);
        GameMsg_TriggerStdXY(m, 3, 4);
        GameMsg_TriggerVarXY(m, 5, 6, args, 3);
        GameMsg_TriggerVar(m, nullptr, 0);
    }
    for (int i = 0; i < 20; i++) Blip_UpdateInstances();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Sounds are looked for in an empty directory: none loads, none is kept.
    snprintf(g_DataDir, sizeof g_DataDir, "%s", QvFuzz_Dir());
    QvFuzzHeapCheck check;
    TF_PARSER* parser = nullptr;
    QV_FUZZ_GUARD({
        parser = TF_OpenText("gamemsg.txt", (const char*)data, size);
        Exercise(parser);
    });
    TF_Close(parser);
    GameMsg_ResetStdIds();
    GameMsg_Close();
    Blip_Close();
    return 0;
}
