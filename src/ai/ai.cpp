#include "ai/ai.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "ai/aibuild.h"
#include "ai/aigrid.h"
#include "ai/aimatch.h"
#include "ai/aip.h"
#include "ai/aisite.h"
#include "ai/aiteam.h"
#include "ai/squad.h"
#include "core/cfile.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/gll.h"
#include "core/linklist.h"
#include "core/rand.h"
#include "core/tlog.h"
#include "core/uid.h"
#include "core/utils.h"
#include "map/map.h"
#include "units/autotarget.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/target.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitsorder.h"
#include "units/unitstate.h"

namespace {

struct AI_FRAME {
    GLL* forces;                  // SPECIAL_FORCE*, newest first
    int forces_initialised;
    GLL* plans;                   // AIP_struct*, newest first
    int aip_initialised;
    char* fsmname[TEAM_MAXTEAMS][AI_MAX_FSMS];
    int fsmvariation[TEAM_MAXTEAMS];
    // The two walks: the forces of one team, the ids of one force.
    int group_iteration_team;
    GLL_NODE* group_next;
    GLL_NODE* unit_next;
};

AI_FRAME s_ai = {nullptr, 0, nullptr, 0, {}, {}, -1, nullptr, nullptr};

void FreeForce(void* element)
{
    SPECIAL_FORCE* force = static_cast<SPECIAL_FORCE*>(element);
    GLL_Destroy(force->units, GLL_FREE_ELEMENTS);
    Debug_Free(&force);
}

void FreeFsmNames(void)
{
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        for (int v = 0; v < AI_MAX_FSMS; v++) Debug_Free(&s_ai.fsmname[t][v]);
        s_ai.fsmvariation[t] = 0;
    }
}

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// The listed unit on the force's team, else on any team (a unit given away
// by other means is still the force's to move on).
UNIT* FindUnit(int id, int team)
{
    UNIT* u = Units_IdToUnitPtr(id, team);
    if (!u) u = Units_IdToUnitPtrOffMap(id, team);
    return u;
}

}   // namespace

// ------------------------------------------------------------------ life cycle

void AI_SpecialForcesInit(void)
{
    if (s_ai.forces_initialised) {
        TLOG(TLOG_ERROR, "AI_SpecialForcesInit called twice without matching Close");
        return;
    }
    s_ai.forces = GLL_Create();
    s_ai.forces_initialised = 1;
    s_ai.group_iteration_team = -1;
    s_ai.group_next = s_ai.unit_next = nullptr;
}

void AI_SpecialForcesClose(void)
{
    if (!s_ai.forces_initialised) {
        TLOG(TLOG_ERROR, "AI_SpecialForcesClose called without matching Open");
        return;
    }
    GLL_Destroy(s_ai.forces, FreeForce);
    s_ai.forces = nullptr;
    s_ai.forces_initialised = 0;
    s_ai.group_iteration_team = -1;
    s_ai.group_next = s_ai.unit_next = nullptr;
}

void AI_AIPInit(void)
{
    if (s_ai.aip_initialised) {
        TLOG(TLOG_ERROR, "AI_AIPInit called twice without matching Close");
        return;
    }
    s_ai.plans = GLL_Create();
    s_ai.aip_initialised = 1;
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        for (int v = 0; v < AI_MAX_FSMS; v++) s_ai.fsmname[t][v] = nullptr;
        s_ai.fsmvariation[t] = 0;
    }
}

void AI_AIPClose(void)
{
    if (!s_ai.aip_initialised) {
        TLOG(TLOG_ERROR, "AI_AIPClose called without matching Init");
        return;
    }
    // Numbered by position: a plan's address would make the log differ
    // from run to run.
    int n = 0;
    for (void* p = GLL_GoFirst(s_ai.plans); p; p = GLL_GoNext(s_ai.plans)) {
        TLOG(TLOG_AI, "   deleting aip #%08x", n++);
        AIP_Delete(static_cast<AIP_struct*>(p));
    }
    TLOG(TLOG_AI, "freeing list of pointers to aip's");
    GLL_Destroy(s_ai.plans, nullptr);
    s_ai.plans = nullptr;
    s_ai.aip_initialised = 0;
    FreeFsmNames();
}

// ------------------------------------------------------------------ special forces

SPECIAL_FORCE* AI_NewSpecialForce(int team, uint32_t id)
{
    ASSERT(s_ai.forces_initialised);
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    SPECIAL_FORCE* force = static_cast<SPECIAL_FORCE*>(Debug_Calloc(1, sizeof(SPECIAL_FORCE)));
    force->id = id == 0xFFFFFFFFu ? (uint32_t)Uid_Next() : (uint32_t)Uid_Reserve((int32_t)id);
    force->units = GLL_Create();
    force->team = team;
    GLL_GoFirst(s_ai.forces);
    GLL_InsertBefore(s_ai.forces, force);
    return force;
}

void AI_AddToSpecialForce(SPECIAL_FORCE* force, int unitid)
{
    ASSERT(force);
    int* id = static_cast<int*>(Debug_Malloc(sizeof(int)));
    *id = unitid;
    GLL_GoLast(force->units);
    GLL_InsertAfter(force->units, id);
}

SPECIAL_FORCE* AI_FindSpecialForce(uint32_t id)
{
    if (!s_ai.forces) return nullptr;
    for (GLL_NODE* n = s_ai.forces->first; n; n = n->next) {
        SPECIAL_FORCE* force = static_cast<SPECIAL_FORCE*>(n->element);
        if (force->id == id) return force;
    }
    return nullptr;
}

void AI_MoveSpecialForce(SPECIAL_FORCE* force, int x1, int y1, int x2, int y2)
{
    ASSERT(force);
    for (GLL_NODE* n = force->units->first; n; n = n->next) {
        UNIT* u = Units_IdToUnitPtr(*static_cast<int*>(n->element), force->team);
        if (!u) continue;
        const int x = Clamp(x1 + Rand_Next(x2 - x1 + 1), 1, mapsizex - 1);
        const int y = Clamp(y1 + Rand_Next(y2 - y1 + 1), 1, mapsizey - 1);
        Units_SOrderMove(u, x, y);
    }
}

void AI_ReleaseSpecialForce(SPECIAL_FORCE* force)
{
    ASSERT(force);
    if (force->released) return;
    force->released = 1;
    for (GLL_NODE* n = force->units->first; n; n = n->next)
        if (UNIT* u = Units_IdToUnitPtr(*static_cast<int*>(n->element), force->team)) AI_UnitAdd(u);
}

void AI_GiveSpecialForce(SPECIAL_FORCE* force, int team)
{
    ASSERT(force);
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    for (GLL_NODE* n = force->units->first; n; n = n->next) {
        const int id = *static_cast<int*>(n->element);
        UNIT* u = FindUnit(id, force->team);
        if (!u) u = FindUnit(id, -1);
        if (!u || u->team == team) continue;
        Units_GiveUnitToOtherTeam_Long(u, team, 0);
        // A force already released is its computer player's, not the
        // script's: the new team's takes it over.
        if (force->released) AI_UnitAdd(u);
    }
    force->team = team;
}

int AI_SaveSpecialForces(CFILE* file)
{
    int ok = 1;
    if (!s_ai.forces) return ok;
    // A force made goes to the front: from the back, they come in the order
    // they were made, which a scenario just read has from its file.
    for (GLL_NODE* n = s_ai.forces->last; n; n = n->prev) {
        const SPECIAL_FORCE* force = static_cast<const SPECIAL_FORCE*>(n->element);
        ok &= Cfile_Printf(file, "DefineSpecialForces ( %d %d )\n", (int)force->id, force->team);
        ok &= Cfile_Printf(file, "{\n");
        for (GLL_NODE* u = force->units->first; u; u = u->next)
            ok &= Cfile_Printf(file, "  %d", *static_cast<int*>(u->element));
        ok &= Cfile_Printf(file, "\n");
        ok &= Cfile_Printf(file, "}\n");
        ok &= Cfile_Printf(file, "\n");
    }
    return ok;
}

static SPECIAL_FORCE* NextOfTeam(GLL_NODE* n)
{
    for (; n; n = n->next) {
        SPECIAL_FORCE* force = static_cast<SPECIAL_FORCE*>(n->element);
        if (force->team == s_ai.group_iteration_team) {
            s_ai.group_next = n->next;
            return force;
        }
    }
    s_ai.group_next = nullptr;
    return nullptr;
}

SPECIAL_FORCE* AI_SpecialForceFirst(int team)
{
    s_ai.group_iteration_team = team;
    return NextOfTeam(s_ai.forces ? s_ai.forces->first : nullptr);
}

SPECIAL_FORCE* AI_SpecialForceNext(void)
{
    ASSERT(s_ai.group_iteration_team != -1);
    return NextOfTeam(s_ai.group_next);
}

int AI_SpecialForceUnitFirst(SPECIAL_FORCE* force)
{
    ASSERT(force);
    s_ai.unit_next = force->units->first;
    return AI_SpecialForceUnitNext();
}

int AI_SpecialForceUnitNext(void)
{
    if (!s_ai.unit_next) return 0;
    const int id = *static_cast<int*>(s_ai.unit_next->element);
    s_ai.unit_next = s_ai.unit_next->next;
    return id;
}

GLL* AI_SpecialForceList(void) { return s_ai.forces; }
GLL** AI_SpecialForceListSlot(void) { return &s_ai.forces; }

void AI_SpecialForcesAfterLoad(void)
{
    s_ai.group_iteration_team = -1;
    s_ai.group_next = s_ai.unit_next = nullptr;
}

// ------------------------------------------------------------------ plans and FSM names

AIP_struct* AI_AIPLoad(const char* name)
{
    ASSERT(s_ai.aip_initialised);
    char path[UTILS_PATH];
    AIP_struct* plan = nullptr;
    if (Utils_FindDataFile(path, name)) {
        TLOG(TLOG_AI, "Loading AIP '%s'", path);
        plan = AIP_Load(path);
    }
    if (!plan) {
        TLOG(TLOG_ERROR, "Could not find / could not load AIP '%s'", name);
        return nullptr;
    }
    GLL_GoFirst(s_ai.plans);
    GLL_InsertBefore(s_ai.plans, plan);
    TLOG(TLOG_AI, "  Loaded OK");
    return plan;
}

GLL* AI_AIPList(void) { return s_ai.plans; }

static void CheckSlot(int team, int variation)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    ASSERT(variation >= 0 && variation < AI_MAX_FSMS);
}

void AI_SetFsmFilename(int team, int variation, const char* name)
{
    CheckSlot(team, variation);
    ASSERT(name);
    // An empty name is none: the game would look for an FSM named "".
    char* copy = *name ? Debug_Strdup(name) : nullptr;
    Debug_Free(&s_ai.fsmname[team][variation]);
    s_ai.fsmname[team][variation] = copy;
}

const char* AI_GetFsmFilename(int team, int variation)
{
    CheckSlot(team, variation);
    return s_ai.fsmname[team][variation];
}

void AI_SetFsmVariation(int team, int variation)
{
    CheckSlot(team, variation);
    s_ai.fsmvariation[team] = variation;
}

int AI_GetFsmVariation(int team)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    return s_ai.fsmvariation[team];
}

const char* AI_GetCurrentFsmFilename(int team)
{
    return AI_GetFsmFilename(team, AI_GetFsmVariation(team));
}

// ------------------------------------------------------------------ strength

// The largest unit count among the teams that regard team as an enemy; -1
// when there is none.
static int LargestEnemy(int team)
{
    int largest = -1;
    for (int other = 0; other < TEAM_MAXTEAMS; other++) {
        if (other == team || Team_GetRelation(other, team) != TR_ENEMY) continue;
        TLOG(TLOG_AI, "  [%d] = %d units", other, teamdata[other].unitcount);
        if (teamdata[other].unitcount > largest) largest = teamdata[other].unitcount;
    }
    TLOG(TLOG_AI, "%s", largest < 0 ? "  enemy not found" : "  enemy found");
    TLOG(TLOG_AI, "  team strength %d max str %d", teamdata[team].unitcount, largest);
    return largest;
}

int AI_StrengthGreater(int team, int percentage)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    TLOG(TLOG_AI, "AI_StrengthGreater::Begins (team %d, percentage %d)", team, percentage);
    const int m = LargestEnemy(team);
    const int greater =
        m < 0 || (int64_t)m * percentage < (int64_t)teamdata[team].unitcount * 100;
    TLOG(TLOG_AI, "%s", greater ? "  STRONGER" : "  NOT STRONGER");
    return greater;
}

int AI_StrengthWeaker(int team, int percentage)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    TLOG(TLOG_AI, "AI_StrengthWeaker::Begins (team %d, percentage %d)", team, percentage);
    const int m = LargestEnemy(team);
    const int weaker =
        m >= 0 && (int64_t)m * percentage > (int64_t)teamdata[team].unitcount * 100;
    TLOG(TLOG_AI, "%s", weaker ? "  WEAKER" : "  NOT WEAKER");
    return weaker;
}

// ------------------------------------------------------------------ the frame

AI_MAP* AI_map = nullptr;
int ai_game_initialised = 0;
static int s_enabled[TEAM_MAXTEAMS];

static int IsComputer(int team)
{
    return team >= 0 && team < TEAM_MAXTEAMS && teamdata[team].type == TT_COMPUTER;
}

AI_Team* AI_GetTeam(int team)
{
    if (!AI_map || team < 0 || team >= TEAM_MAXTEAMS) return nullptr;
    return AI_map->team[team];
}

// The team's AI record when the team is a computer team, else null.
static AI_Team* ComputerTeam(int team)
{
    return IsComputer(team) ? AI_GetTeam(team) : nullptr;
}

static void SetTactics(UNIT* u, int tenacity, int autonomy, int selfpreservation)
{
    u->tactaiinfo.tenacity = u->usertactaiinfo.tenacity = tenacity;
    u->tactaiinfo.autonomy = u->usertactaiinfo.autonomy = autonomy;
    u->tactaiinfo.selfpreservation = u->usertactaiinfo.selfpreservation = selfpreservation;
}

// A member of a special force not yet released stays the script's.
static int InUnreleasedForce(const UNIT* u)
{
    if (!s_ai.forces) return 0;
    for (GLL_NODE* n = s_ai.forces->first; n; n = n->next) {
        const SPECIAL_FORCE* f = static_cast<const SPECIAL_FORCE*>(n->element);
        if (f->released || f->team != u->team) continue;
        for (GLL_NODE* i = f->units->first; i; i = i->next)
            if (*static_cast<int*>(i->element) == u->id) return 1;
    }
    return 0;
}

// The largest own-building value met, from the building's cell.
static void NoteOwnBuilding(AI_Team* the_team, const BUILDING* b)
{
    const GRIDCELL* cell = AI_GridCell(the_team, b->tilex / AI_CELLSIZE, b->tiley / AI_CELLSIZE);
    if (cell && cell->own_building_value > the_team->largest_own_building)
        the_team->largest_own_building = cell->own_building_value;
}

// A crew of the team that some building of it under way names as its maker:
// it joins when it comes out.
static int InsideSite(const UNIT* u)
{
    if (!u->type->abilities.canbuild || u->onmap) return 0;
    for (BUILDING* b = teamdata[u->team].firstbuilding; b; b = b->teamnext)
        if (!b->complete && UnitId_Ptr(&b->whomademe) == u) return 1;
    return 0;
}

// The team's units and buildings join its AI team; on a takeover the units
// first drop what their player told them (all but a crew inside its site).
static void InitTeamUnits(int team, int takeover = 0)
{
    for (int list = 0; list <= TEAM_MOVELISTS; list++) {
        UNIT* u = list < TEAM_MOVELISTS ? teamdata[team].unitlist[list] : teamdata[team].offmaplist;
        for (; u; u = u->next) {
            TLOG(TLOG_AI, "AI   Team %d Unit %d", team, u->id);
            if (takeover && InsideSite(u)) continue;
            if (takeover) Units_SOrderStop(u);
            // The books start again: no unit holds an earlier purchase.
            u->ai.cc_construct_type = 0;
            u->ai.cc_construct_cost = u->ai.cc_account = 0;
            if (InUnreleasedForce(u)) {
                SetTactics(u, TACTAI_LOW, TACTAI_HIGH, TACTAI_LOW);
                TLOG(TLOG_AI, "AI_PartIntoTeam: Special Force Unit %d ignored", u->id);
            } else AI_UnitAdd(u);
        }
    }
    for (BUILDING* b = teamdata[team].firstbuilding; b; b = b->teamnext) {
        TLOG(TLOG_AI, "AI   Team %d Building %d", team, b->id);
        // The books start again: nothing is held for any earlier purchase.
        b->ai.account = b->ai.refundable = 0;
        AIBuild_TakerAdd(AI_map->team[team], b->buildingtype, b->id);
        NoteOwnBuilding(AI_map->team[team], b);
    }
}

void AI_Init(void)
{
    ASSERT(!ai_game_initialised);
    TLOG(TLOG_AI, "AI::AI_Init Begins");
    ai_game_initialised = 1;
    AI_map = static_cast<AI_MAP*>(Debug_Calloc(1, sizeof(AI_MAP)));
    AI_map->grid_rows = (mapsizey + AI_CELLSIZE - 1) / AI_CELLSIZE;
    AI_map->grid_columns = (mapsizex + AI_CELLSIZE - 1) / AI_CELLSIZE;
    AI_map->cell_size = AI_CELLSIZE;
    for (int t = 0; t < TEAM_MAXTEAMS; t++) TLOG(TLOG_AI, "aicontrol[%d] = %d", t, IsComputer(t));
    AIBuild_ResourceInit();
    AI_Match_Init();
    Grassfire_Open(AI_map->grid_rows, AI_map->grid_columns);
    for (int& e : s_enabled) e = 0;
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        if (!IsComputer(t)) continue;
        TLOG(TLOG_AI, "AI   About to create team %d", t);
        AI_map->team[t] = AI_Team::New(t, 1);
        InitTeamUnits(t);
    }
    TLOG(TLOG_AI, "AI   All AI Teams created and units added");
    TLOG(TLOG_AI, "AI::AI_Init Ends");
}

int AI_TakeOver(int team)
{
    if (!ai_game_initialised || team < 0 || team >= TEAM_MAXTEAMS - 1 || teamdata[team].type != TT_HUMAN ||
        AI_map->team[team]) {
        TLOG(TLOG_WARNING, "AI takeover of team %d refused", team);
        return 0;
    }
    // Among the diagnostics the shipped configuration logs, not the AI's
    // own: it runs an update or more after the player pressed Hand over, at
    // the same update on every machine.
    TLOG(TLOG_DIAG, "Team %d handed over to the computer at update %u", team, g_UpdateCount);
    teamdata[team].type = TT_COMPUTER;
    AI_map->team[team] = AI_Team::New(team, 1);
    InitTeamUnits(team, 1);
    s_enabled[team] = 1;
    return 1;
}

int AI_Activate(int team)
{
    if (!AI_GetTeam(team) || !IsComputer(team)) return 0;
    const int changed = s_enabled[team] == 0;
    s_enabled[team] = 1;
    return changed;
}

int AI_Deactivate(int team)
{
    if (!AI_GetTeam(team) || !IsComputer(team)) return 0;
    const int changed = s_enabled[team] == 1;
    s_enabled[team] = 0;
    return changed;
}

void AI_Close(void)
{
    if (!ai_game_initialised) {
        TLOG(TLOG_WARNING, "AI::AI_Close CALLED WITHOUT MATCHING OPEN !!!");
        Grassfire_Close();
        return;
    }
    ai_game_initialised = 0;
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        AI_Team::Delete(AI_map->team[t]);
        AI_map->team[t] = nullptr;
    }
    Debug_Free(&AI_map);
    AIBuild_ResourceListDelete();
    AI_Match_Close();
    for (int& e : s_enabled) e = 0;
    Grassfire_Close();
}

void AI_BootTeam(int team)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    TLOG(TLOG_AI, "AI Booting team %d", team);
    for (BUILDING* b = teamdata[team].firstbuilding, *next = nullptr; b; b = next) {
        next = b->teamnext;
        if (b->state == BS_BEINGBUILT) {
            TLOG(TLOG_AI, "  AI removing building under construction");
            Build_RemoveFromGame(b, BRM_CANCELLED);
        } else if (b->state == BS_UPGRADING) {
            TLOG(TLOG_AI, "  AI removing building under upgrade");
            Build_RemoveFromGame(b, BRM_CANCELLED);
        } else if (b->state == BS_PRODUCING) {
            Build_CancelProduction(b);
        }
    }
    for (int list = 0; list <= TEAM_MOVELISTS; list++) {
        UNIT* u = list < TEAM_MOVELISTS ? teamdata[team].unitlist[list] : teamdata[team].offmaplist;
        for (; u; u = u->next) Units_SOrderStop(u);
    }
}

void AI_Process(void)
{
    TLOG(TLOG_AI, "AI::AI_Process Begins");
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        AI_Team* the_team = AI_GetTeam(t);
        if (!the_team || !IsComputer(t) || s_enabled[t] != 1 || !the_team->plan) continue;
        AI_Team::Update(AI_map, the_team);
        AIBuild_Process(the_team);
    }
    TLOG(TLOG_AI, "AI::AI_Process Ends");
}

int AI_IsComputerTeam(int team)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    return AI_GetTeam(team) && IsComputer(team);
}

int AI_IsEnabled(int team)
{
    return AI_IsComputerTeam(team) && s_enabled[team] == 1;
}

void AI_AIPSwitch(int team, AIP_struct* plan)
{
    AI_Team* the_team = ComputerTeam(team);
    if (!the_team) return;
    // The plan's place in the list stands for its address, which would make
    // the log differ from run to run.
    int index = -1, i = 0;
    if (s_ai.plans)
        for (GLL_NODE* n = s_ai.plans->first; n; n = n->next, i++)
            if (n->element == plan) index = i;
    TLOG(TLOG_AI, "AIPSwitch %d to %0x", team, (unsigned)index);
    AI_Team::SetPlan(the_team, plan);
    TLOG(TLOG_AI, "AIPSwitch over");
}

// ------------------------------------------------------------------ unit hooks

static int IsTransport(const UNITTYPE* t)
{
    return t->resource[0][0] != 0 || t->resource[1][0] != 0;
}

// A crew's purchase that no site took: its count and its money go back;
// the crew is then unassigned (its place, if any, stays with it).
static void DropPurchase(UNIT* crew)
{
    if (crew->ai.cc_construct_type != 0) AIBuild_UnderConstructionRemove(crew->team, crew->ai.cc_construct_type);
    AI_ReturnPrespent(crew->team, nullptr, crew);
    crew->ai.cc_construct_type = 0;
    crew->ai.cc_account = 0;
}

void AI_UnitAdd(UNIT* unit)
{
    ASSERT(unit);
    AI_Team* the_team = ComputerTeam(unit->team);
    if (!ai_game_initialised || !the_team) return;
    TLOG(TLOG_AI, "AI_UnitAdd Team %d ptr %d", unit->team, unit->id);
    // Added again (a veteran's new type): out of its old squad first, so no
    // squad keeps a member that doesn't name it.
    if (unit->ai.squad) Squad_RemoveUnit(static_cast<squad*>(unit->ai.squad), unit, unit->team);
    // A crew that kept out of its finished building leaves its place free;
    // one still holding a purchase it never started gives it back, so that
    // no later order of its player finds it to pay back or charge again.
    AIBuild_ClearReservedFlag(the_team, unit->ai.cc_reserved_area);
    unit->ai.cc_reserved_area = -1;
    DropPurchase(unit);
    // Nor is it inside a site: a crew put back by its cancelled site, then
    // given away, would else pass what it is given next as its site's.
    unit->ai.cc_constructing = 0;
    unit->ai.squad = nullptr;
    const int armed = Units_Weapon_Used(unit, nullptr) != nullptr;
    SetTactics(unit, TACTAI_MEDIUM, armed ? TACTAI_HIGH : TACTAI_MEDIUM, TACTAI_MEDIUM);
    if (unit->type->abilities.canbuild) {
        TLOG(TLOG_AI, "AI_UnitAdd (CC)       Team %d Unit %d", unit->team, unit->id);
        // Listed once: a crew added again (a veteran's new type) is moved to
        // the head.
        AIBuild_UnassignedCCRemove(the_team, unit);
        AIBuild_UnassignedCCAdd(the_team, unit);
    } else if (IsTransport(unit->type)) {
        TLOG(TLOG_AI, "AI_UnitAdd (Water or Mineral transport)  Team %d Unit %d", unit->team, unit->id);
        AIBuild_UnassignedTransportRemove(the_team, unit);
        AIBuild_AssignedTransportRemove(the_team, unit);
        AIBuild_UnassignedTransportAdd(the_team, unit);
    } else if (unit->type->defmovemode == MM_FIXED) {
        TLOG(TLOG_AI, "AI_UnitAdd (Building Associated Unit)  Team %d Unit %d", unit->team, unit->id);
    } else {
        TLOG(TLOG_AI, "AI_UnitAdd (Combat)   Team %d Unit %d", unit->team, unit->id);
        // Listed once: a second add (a veteran's new type) keeps one entry.
        for (void* e = GLL_GoFirst(the_team->units); e; e = GLL_GoNext(the_team->units))
            if (e == unit) return;
        GLL_GoFirst(the_team->units);
        GLL_InsertBefore(the_team->units, unit);
        for (int32_t& c : the_team->combat_count) c++;
        the_team->combat_sum = the_team->combat_count[1] + the_team->combat_count[2];
    }
}

void AI_UnitRemove(UNIT* unit)
{
    ASSERT(unit);
    AI_Team* the_team = ComputerTeam(unit->team);
    if (!ai_game_initialised || !the_team) return;
    TLOG(TLOG_AI, "AI_UnitRemove Team %d Unit %d", unit->team, unit->id);
    if (unit->type->abilities.canbuild) {
        // A crew inside its site handed its purchase to the site: it holds
        // only its place.
        if (unit->ai.cc_constructing) {
            TLOG(TLOG_AI, "  Removing assigned construction crew with bldg under construction");
            AIBuild_ClearReservedFlag(the_team, unit->ai.cc_reserved_area);
        } else if (unit->ai.cc_construct_type == 0) {
            TLOG(TLOG_AI, "  Removing unassigned construction crew");
            AIBuild_UnassignedCCRemove(the_team, unit);
            AIBuild_ClearReservedFlag(the_team, unit->ai.cc_reserved_area);
        } else {
            TLOG(TLOG_AI, "  Removing assigned construction crew - shot dead");
            AIBuild_ClearReservedFlag(the_team, unit->ai.cc_reserved_area);
            DropPurchase(unit);
        }
        unit->ai.cc_reserved_area = -1;
    } else if (IsTransport(unit->type)) {
        AIBuild_UnassignedTransportRemove(the_team, unit);
        AIBuild_AssignedTransportRemove(the_team, unit);
    }
    // Whatever its type, it leaves every list: one kept where its type would
    // not have put it (a unit that can't build on the crew list) would be
    // read there once dead and its slot reused.
    AIBuild_ForgetUnit(the_team, unit);
    for (void* e = GLL_GoFirst(the_team->units); e; e = GLL_GoNext(the_team->units)) {
        if (e != unit) continue;
        GLL_DeleteCurrent(the_team->units);
        for (int32_t& c : the_team->combat_count) c--;
        the_team->combat_sum = the_team->combat_count[1] + the_team->combat_count[2];
        break;
    }
    if (unit->ai.squad) Squad_RemoveUnit(static_cast<squad*>(unit->ai.squad), unit, unit->team);
    unit->ai.squad = nullptr;
}

void AI_UnitProduced(UNIT* unit)
{
    ASSERT(unit);
    if (!ComputerTeam(unit->team)) return;
    AIBuild_UnderConstructionRemove(unit->team, unit->type->prereq.id);
    AI_UnitAdd(unit);
}

void AI_UnitBuildingStarted(UNIT* unit)
{
    if (unit && ComputerTeam(unit->team)) unit->ai.cc_constructing = 1;
}

void AI_UnitBuildingFinished(UNIT* unit)
{
    if (unit && ComputerTeam(unit->team)) unit->ai.cc_constructing = 0;
}

void AI_UnitPathFailed(UNIT*) {}

static int HasConstructOrder(const UNIT* u)
{
    return u->sorder.code == SO_CONSTRUCT || u->snextorder.code == SO_CONSTRUCT;
}

static int Listed(const GLL* list, const UNIT* u)
{
    for (const GLL_NODE* n = list ? list->first : nullptr; n; n = n->next)
        if (n->element == u) return 1;
    return 0;
}

// What the crew held for the computer goes back: its place, its purchase;
// on the map it is inside no site.
static void Unassign(AI_Team* the_team, UNIT* crew)
{
    AIBuild_ClearReservedFlag(the_team, crew->ai.cc_reserved_area);
    crew->ai.cc_reserved_area = -1;
    DropPurchase(crew);
    crew->ai.cc_constructing = 0;
}

void AI_PlayerConstruct(UNIT* unit)
{
    ASSERT(unit);
    AI_Team* the_team = ComputerTeam(unit->team);
    if (!ai_game_initialised || !the_team || !unit->type->abilities.canbuild) return;
    TLOG(TLOG_AI, "AI_PlayerConstruct Team %d Unit %d", unit->team, unit->id);
    Unassign(the_team, unit);
    AIBuild_UnassignedCCRemove(the_team, unit);
}

void AI_PlayerOrderRan(int team)
{
    AI_Team* the_team = team >= 0 && team < TEAM_MAXTEAMS ? ComputerTeam(team) : nullptr;
    if (!ai_game_initialised || !the_team) return;
    for (int list = 0; list < TEAM_MOVELISTS; list++)
        for (UNIT* u = teamdata[team].unitlist[list]; u; u = u->next) {
            if (!u->type->abilities.canbuild || HasConstructOrder(u) || InUnreleasedForce(u)) continue;
            const int held = u->ai.cc_construct_type != 0 || u->ai.cc_construct_cost != 0;
            if (!held && !u->ai.cc_constructing && Listed(the_team->aibuild.unassigned_cc, u)) continue;
            TLOG(TLOG_AI, "AI takes back crew %d of team %d", u->id, team);
            Unassign(the_team, u);
            AIBuild_UnassignedCCRemove(the_team, u);
            AIBuild_UnassignedCCAdd(the_team, u);
        }
}

// ------------------------------------------------------------------ building hooks

void AI_BuildingCommenced(BUILDING* building, UNIT* crew)
{
    ASSERT(building && crew);
    if (!ComputerTeam(building->team)) return;
    TLOG(TLOG_AI, "AI_BuildingCommenced Team %d Building %d", building->team, building->id);
    AI_Team* the_team = AI_GetTeam(building->team);
    // The purchase leaves the crew for the site: a crew holds one only on
    // its way to build, so no later order (its player's, on a team handed
    // to the computer) can pay it back or charge it a second time. A crew
    // its player sent to build something else never started what was
    // bought for it: that goes back. Inside, it is nobody's to assign.
    building->ai.account = building->ai.refundable = 0;
    if (crew->ai.cc_construct_type == building->buildingtype->prereq.id) {
        building->ai.account = crew->ai.cc_account;
        building->ai.refundable = crew->ai.cc_construct_cost;
        crew->ai.cc_construct_type = 0;
        crew->ai.cc_construct_cost = 0;
        crew->ai.cc_account = 0;
    }
    DropPurchase(crew);
    AIBuild_UnassignedCCRemove(the_team, crew);
}

void AI_BuildingCompleted(BUILDING* building)
{
    ASSERT(building);
    if (!ComputerTeam(building->team)) return;
    TLOG(TLOG_AI, "AI_BuildingCompleted Team %d Building %d", building->team, building->id);
    AIBuild_UnderConstructionRemove(building->team, building->buildingtype->prereq.id);
    AIBuild_TakerAdd(AI_GetTeam(building->team), building->buildingtype, building->id);
    NoteOwnBuilding(AI_GetTeam(building->team), building);
}

void AI_BuildingUpgradeCompleted(BUILDING* building)
{
    ASSERT(building);
    if (!ComputerTeam(building->team)) return;
    TLOG(TLOG_AI, "AI_BuildingUpgradeCompleted Team %d Building %d", building->team, building->id);
    const BUILDINGTYPE* to = building->buildingtype->upgradeto;
    ASSERT(to);
    AIBuild_UnderConstructionRemove(building->team, to->prereq.id);
}

void AI_BuildingRemove(BUILDING* building)
{
    ASSERT(building);
    if (!ai_game_initialised || !ComputerTeam(building->team)) return;
    TLOG(TLOG_AI, "AI_BuildingRemove Team %d Building %d", building->team, building->id);
    if (building->state == BS_PRODUCING && building->unittypetobuild)
        AIBuild_UnderConstructionRemove(building->team, building->unittypetobuild->prereq.id);
    AI_ReturnPrespent(building->team, building, nullptr);
    AIBuild_TakerRemove(AI_GetTeam(building->team), building->id);
}

void AI_BuildingProductionCancelled(BUILDING* building)
{
    ASSERT(building);
    if (!ai_game_initialised || !ComputerTeam(building->team)) return;
    if (building->state != BS_PRODUCING) return;
    TLOG(TLOG_AI, "AI_BuildingProductionCancelled Team %d Building %d", building->team, building->id);
    if (building->unittypetobuild)
        AIBuild_UnderConstructionRemove(building->team, building->unittypetobuild->prereq.id);
    AI_ReturnPrespent(building->team, building, nullptr);
}

void AI_BuildingRemoveUnderConstruction(BUILDING* building)
{
    ASSERT(building);
    if (!ai_game_initialised || !ComputerTeam(building->team)) return;
    TLOG(TLOG_AI, "AI_BuildingRemoveUnderConstruction Team %d Building %d", building->team, building->id);
    AIBuild_UnderConstructionRemove(building->team, building->buildingtype->prereq.id);
}

void AI_BuildingRemoveUnderUpgrade(BUILDING* building)
{
    ASSERT(building);
    if (!ai_game_initialised || !ComputerTeam(building->team)) return;
    TLOG(TLOG_AI, "AI_BuildingRemoveUnderUpgrade Team %d Building %d", building->team, building->id);
    ASSERT(building->buildingtype->upgradeto);
    AIBuild_UnderConstructionRemove(building->team, building->buildingtype->upgradeto->prereq.id);
}

void AI_BuildingStalled(UNIT* crew)
{
    ASSERT(crew);
    if (!ComputerTeam(crew->team)) return;
    TLOG(TLOG_AI, "AI_BuildingStalled Team %d ptr %d", crew->team, crew->id);
    AI_Team* the_team = AI_GetTeam(crew->team);
    AIBuild_UnderConstructionRemove(crew->team, crew->ai.cc_construct_type);
    AIBuild_ClearReservedFlag(the_team, crew->ai.cc_reserved_area);
    crew->ai.cc_reserved_area = -1;
    AI_ReturnPrespent(crew->team, nullptr, crew);
    AIBuild_UnassignedCCRemove(the_team, crew);
    // A unit that can't build (a package carrier) is no crew.
    if (crew->type->abilities.canbuild) AIBuild_UnassignedCCAdd(the_team, crew);
    Units_SOrderStop(crew);
    crew->ai.cc_construct_type = 0;
    crew->ai.cc_construct_cost = 0;
    crew->ai.cc_constructing = 0;
    crew->ai.cc_account = 0;
}

// ------------------------------------------------------------------ credit hooks

void AI_GiveCredits(int team, int credits)
{
    if (AI_Team* the_team = ComputerTeam(team)) AIBuild_CreditAdd(the_team, credits);
}

void AI_SpendCredits(int team, int credits)
{
    AI_Team* the_team = AI_GetTeam(team);
    if (!the_team) return;
    ASSERT(credits <= the_team->aibuild.credit[0]);
    AIBuild_CreditSpend(the_team, credits);
}

int AI_GetCredits(int team)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    if (const AI_Team* the_team = AI_GetTeam(team)) return the_team->aibuild.credit[0];
    return teamdata[team].credits;
}

void AI_SpendFromAccount(int team, int account, int credits)
{
    AI_Team* the_team = AI_GetTeam(team);
    ASSERT(the_team);
    ASSERT(credits <= the_team->aibuild.credit[0]);
    ASSERT(0 <= account && account < AIBUILD_MAX_ACCOUNTS);
    if (account == 0) {
        AIBuild_CreditSpend(the_team, credits);
        return;
    }
    the_team->aibuild.credit[account] -= credits;
    the_team->aibuild.credit[0] -= credits;
}

static int Holds(const BUILDING* b)
{
    return b->state == BS_BEINGBUILT || b->state == BS_PRODUCING || b->state == BS_UPGRADING;
}

void AI_RefundPrespent(BUILDING* building, int credits)
{
    ASSERT(building);
    AI_Team* the_team = AI_GetTeam(building->team);
    ASSERT(the_team);
    ASSERT(Holds(building));
    ASSERT(the_team->aibuild.prespent_credits >= credits);
    ASSERT(building->ai.refundable >= credits);
    the_team->aibuild.prespent_credits -= credits;
    building->ai.refundable -= credits;
}

void AI_ReturnPrespent(int team, BUILDING* building, UNIT* crew)
{
    ASSERT((building != nullptr) != (crew != nullptr));
    AI_Team* the_team = AI_GetTeam(team);
    if (!the_team) return;
    int amount = 0, account = 0;
    if (crew) {
        amount = crew->ai.cc_construct_cost;
        account = crew->ai.cc_account;
        crew->ai.cc_construct_cost = 0;
    } else if (Holds(building)) {
        amount = building->ai.refundable;
        account = building->ai.account;
        building->ai.refundable = 0;
    }
    AIBuild_Refund(the_team, account, amount);
}

// ------------------------------------------------------------------ the engine's side of the books

// What the building holds towards a charge of credits.
static int Covered(const BUILDING* b, int credits)
{
    if (!Holds(b) || b->ai.refundable <= 0) return 0;
    return b->ai.refundable < credits ? b->ai.refundable : credits;
}

int AI_CanChargeWork(const BUILDING* building, int credits)
{
    ASSERT(building);
    if (teamdata[building->team].credits < credits) return 0;
    if (!AI_GetTeam(building->team)) return 1;
    return credits - Covered(building, credits) <= AI_GetCredits(building->team);
}

void AI_ChargeWork(BUILDING* building, int credits)
{
    ASSERT(building);
    if (!AI_GetTeam(building->team) || credits <= 0) return;
    const int covered = Covered(building, credits);
    if (covered > 0) AI_RefundPrespent(building, covered);
    AI_SpendCredits(building->team, credits - covered);
}

int AI_InUnreleasedForce(const UNIT* unit)
{
    ASSERT(unit);
    return InUnreleasedForce(unit);
}

int AI_TargetMode(int team)
{
    const AI_Team* the_team = ComputerTeam(team);
    return the_team && the_team->plan ? the_team->plan->target_mode : 2;
}

// ------------------------------------------------------------------ checks

static int Fault(char* why, int size, const char* format, ...)
{
    if (why && size > 0) {
        va_list args;
        va_start(args, format);
        vsnprintf(why, (size_t)size, format, args);
        va_end(args);
    }
    return 0;
}

// The unit under its id on the team's lists, on or off the map.
static int LiveOfTeam(const UNIT* u, int team)
{
    if (!u->inuse || !u->type || u->team != team) return 0;
    return Units_IdToUnitPtr(u->id, team) == u || Units_IdToUnitPtrOffMap(u->id, team) == u;
}

int AI_CheckLists(int team, char* why, int size)
{
    if (why && size > 0) why[0] = 0;
    const AI_Team* t = team >= 0 && team < TEAM_MAXTEAMS ? AI_GetTeam(team) : nullptr;
    if (!t) return 1;
    const struct { const char* name; const GLL* list; } lists[] = {
        {"crew", t->aibuild.unassigned_cc},
        {"unassigned transport", t->aibuild.unassigned_transports},
        {"assigned transport", t->aibuild.assigned_transports},
        {"combat unit", t->units}};
    for (const auto& l : lists)
        for (const GLL_NODE* n = l.list ? l.list->first : nullptr; n; n = n->next) {
            const UNIT* u = static_cast<const UNIT*>(n->element);
            if (!LiveOfTeam(u, team))
                return Fault(why, size, "team %d: %s list holds a gone unit (slot of %d)", team, l.name, u->id);
            if (l.list == t->aibuild.unassigned_cc && !u->type->abilities.canbuild)
                return Fault(why, size, "team %d: crew list holds unit %d, which can't build", team, u->id);
            for (const GLL_NODE* m = n->next; m; m = m->next)
                if (m->element == u) return Fault(why, size, "team %d: %s list holds unit %d twice", team, l.name, u->id);
        }
    for (const GLL_NODE* n = t->squads ? t->squads->first : nullptr; n; n = n->next) {
        const squad* q = static_cast<const squad*>(n->element);
        for (const LINKLIST_CELL* c = q->units->head; c; c = c->next) {
            const UNIT* u = static_cast<const UNIT*>(c->data);
            if (!LiveOfTeam(u, team))
                return Fault(why, size, "team %d: squad %d holds a gone unit (slot of %d)", team, q->id, u->id);
            if (u->ai.squad != q)
                return Fault(why, size, "team %d: squad %d holds unit %d, which names another", team, q->id, u->id);
        }
    }
    return 1;
}

int AI_CheckCrews(int team, char* why, int size)
{
    if (why && size > 0) why[0] = 0;
    const AI_Team* t = team >= 0 && team < TEAM_MAXTEAMS ? ComputerTeam(team) : nullptr;
    if (!t || !ai_game_initialised) return 1;
    for (int list = 0; list < TEAM_MOVELISTS; list++)
        for (const UNIT* u = teamdata[team].unitlist[list]; u; u = u->next) {
            if (!u->type->abilities.canbuild || InUnreleasedForce(u)) continue;
            const int held = u->ai.cc_construct_type != 0 || u->ai.cc_construct_cost != 0;
            if (held && !HasConstructOrder(u))
                return Fault(why, size, "team %d: crew %d holds a purchase without a construct order", team, u->id);
            if (!HasConstructOrder(u) && !Listed(t->aibuild.unassigned_cc, u))
                return Fault(why, size, "team %d: crew %d is on no list and has no construct order", team, u->id);
        }
    return 1;
}
