#include "ai/aiteam.h"

#include <initializer_list>

#include "ai/ai.h"
#include "ai/aimatch.h"
#include "ai/aip.h"
#include "ai/schedule.h"
#include "ai/squad.h"
#include "core/debug.h"
#include "core/gll.h"
#include "core/tlog.h"
#include "map/map.h"
#include "units/team.h"

AI_Team* AI_Team::New(int team, int switch_word)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    AI_Team* new_team = static_cast<AI_Team*>(Debug_Calloc(1, sizeof(AI_Team)));
    ASSERT(new_team);
    new_team->team_ID = team;
    new_team->switch_word = switch_word;
    new_team->units = GLL_Create();
    new_team->squads = GLL_Create();
    new_team->attack_squads = GLL_Create();
    new_team->next_squad_id = 1000;
    AIBuild_ConstructionNew(new_team);
    AiMatch_ResetFactors(team);
    const int rows = AI_map ? AI_map->grid_rows : (mapsizey + AI_CELLSIZE - 1) / AI_CELLSIZE;
    const int columns = AI_map ? AI_map->grid_columns : (mapsizex + AI_CELLSIZE - 1) / AI_CELLSIZE;
    InitGrid(new_team, rows, columns);
    return new_team;
}

void AI_Team::Delete(AI_Team* the_team)
{
    if (!the_team) return;
    TLOG(TLOG_AI, "AI_Team::Delete Begins");
    AIBuild_ConstructionDelete(the_team);
    AiMatch_ResetFactors(the_team->team_ID);
    the_team->plan = nullptr;
    TLOG(TLOG_AI, "AI_Team::Delete   freeing all squads");
    // The schedule first: its candidates name squads and cells.
    Schedule_CleanUp(the_team);
    // Each squad once: the attack squads join the squads, repeats dropped.
    for (GLL_NODE* n = the_team->attack_squads->first; n; n = n->next) {
        GLL_GoLast(the_team->squads);
        GLL_InsertAfter(the_team->squads, n->element);
    }
    Squad_RemoveDuplicates(the_team->squads);
    for (void* s = GLL_GoFirst(the_team->squads); s; s = GLL_GoNext(the_team->squads))
        Squad_Delete(static_cast<squad*>(s));
    TLOG(TLOG_AI, "AI_Team::Delete   freeing linked list of pointers to attack_squads");
    GLL_Destroy(the_team->attack_squads, nullptr);
    TLOG(TLOG_AI, "AI_Team::Delete   freeing linked list of pointers to squads");
    GLL_Destroy(the_team->squads, nullptr);
    TLOG(TLOG_AI, "AI_Team::Delete   freeing linked list of pointers to units");
    GLL_Destroy(the_team->units, nullptr);
    TLOG(TLOG_AI, "AI_Team::Delete   freeing targets");
    AI_FreeGrid(the_team);
    TLOG(TLOG_AI, "AI_Team::Delete   freeing team structure memory");
    Debug_Free(&the_team);
    TLOG(TLOG_AI, "AI_Team::Delete Ends");
}

void AI_Team::SetPlan(AI_Team* the_team, AIP_struct* plan)
{
    ASSERT(the_team);
    if (the_team->plan) AIBuild_ClearConstructionProgram(the_team);
    the_team->plan = plan;
    if (!plan) return;
    AIBuild_CreditDistribute(the_team, plan->budget, plan->max_reserve);
    AIBuild_SetConstructionProgram(the_team, plan->construction_program);
    AiMatch_ApplyPlan(the_team->team_ID);
}
