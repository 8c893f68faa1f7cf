// Hostile lines typed into the AI debug console on a small world with two
// computer teams (1 and 2): every command runs without an assertion and no
// printed line is longer than the console's 50 characters; a plan that a
// line loads is freed with the others at the end of the game.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ai/ai.h"
#include "ai/aidebug.h"
#include "ai/aip.h"
#include "core/console.h"
#include "core/gamestate.h"
#include "core/uid.h"
#include "fuzzsupport.h"
#include "map/cre.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/path.h"
#include "platform/effects.h"
#include "units/building.h"
#include "units/parts.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

AIP_struct* s_plan = nullptr;

// A 32 x 32 map, four tanks of each computer team and one of a human team.
void OpenWorld(void)
{
    g_NewMapRequest = MAP_NEWREQUEST{1, 32, 32, 4, 1};
    if (!Map_Load(nullptr)) abort();
    Effects_Init();
    Mapgrid_Init();
    Fog_Init();
    Fog_SetSeeAll(1);
    Team_SetDefaults();
    Team_InitTeamData();
    Units_InitAll();
    Build_InitAll();
    Uid_Reset();
    g_UpdateCount = 1;
    UNITTYPE* tank = Units_NewType();
    if (!tank) abort();
    snprintf(tank->symbolid, sizeof tank->symbolid, "Tank");
    tank->prereq.id = 1;
    Units_PostProcessAllTypes();
    PREREQ_Init();
    for (int i = 0; i < 8; i++) Units_NewAt(tank, 1 + i / 4, -1, 3 + (i % 4) * 6, 4 + (i / 4) * 20);
    Units_NewAt(tank, 3, -1, 16, 16);
    teamdata[1].type = teamdata[2].type = TT_COMPUTER;
    CRE_Build();
    AI_SpecialForcesInit();
    AI_AIPInit();
    static const char plan[] =
        "struct account { string account_name; int budget; int max_reserve; };\n"
        "struct entry { int priority; int build_type; string item_name; int build_amount; };\n"
        "account unit_construction_program[] = { {\"a\", 0, 0} };\n"
        "entry a[] = { {1, 0, \"Tank\", 1} };\n";
    if (const char* path = QvFuzz_WriteTemp(".aip", reinterpret_cast<const uint8_t*>(plan), sizeof plan - 1))
        s_plan = AIP_Load(path);
    PARTTYPE* bare = Parts_NewType();
    tank->partinfo.nrparts = 1;
    tank->partinfo.parttype[0] = bare;
    AI_Init();
    tank->partinfo.nrparts = 0;
    tank->partinfo.parttype[0] = nullptr;
    AI_Activate(1);
    if (s_plan) AI_AIPSwitch(1, s_plan);   // team 2 stays without a plan
}

void CloseWorld(void)
{
    AI_Close();
    if (s_plan) AIP_Delete(s_plan);
    s_plan = nullptr;
    AI_AIPClose();
    AI_SpecialForcesClose();
    Parts_FreeTypes();
    Fog_SetSeeAll(0);
    CRE_Close();
    PREREQ_Done();
    Build_CloseAll();
    Units_CloseAll();
    Path_CleanUp();
    Team_CloseTeamData();
    Fog_Close();
    Mapgrid_Close();
    Effects_Close();
    Map_Free();
    g_UpdateCount = 0;
}

void fuzz_Console(const uint8_t* data, size_t size)
{
    // Lines of at most 198 characters, as the console reads them.
    std::string script;
    size_t column = 0;
    for (size_t i = 0; i < size; i++) {
        const char c = (char)data[i];
        if (c == '\n') column = 0;
        else if (++column > CONSOLE_INPUT) continue;
        script += c;
    }
    OpenWorld();
    FILE* in = fmemopen(script.empty() ? const_cast<char*>("\n") : &script[0], script.empty() ? 1 : script.size(),
                        "r");
    char* text = nullptr;
    size_t length = 0;
    FILE* out = open_memstream(&text, &length);
    if (!in || !out) abort();
    Console_SetStreams(in, out);
    AiDebug_Console();
    Console_SetStreams(nullptr, nullptr);
    fclose(in);
    fclose(out);
    // The prompt stays on the line of what follows it.
    for (char* line = strtok(text, "\n"); line; line = strtok(nullptr, "\n")) {
        while (strncmp(line, "AI> ", 4) == 0) line += 4;
        if (strlen(line) > CONSOLE_WIDTH) abort();
    }
    free(text);
    CloseWorld();
}

}   // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QvFuzz_Setup();
    // Nothing typed may reach an assertion or another fatal error.
    try {
        fuzz_Console(data, size);
    } catch (const QvFuzzFatal&) {
        abort();
    }
    return 0;
}
