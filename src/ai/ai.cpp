#include "ai/ai.h"

#include <cstring>

#include "ai/aip.h"
#include "core/cfile.h"
#include "core/debug.h"
#include "core/gll.h"
#include "core/rand.h"
#include "core/tlog.h"
#include "core/uid.h"
#include "core/utils.h"
#include "map/map.h"
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
    force->released = 1;
}

void AI_GiveSpecialForce(SPECIAL_FORCE* force, int team)
{
    ASSERT(force);
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    for (GLL_NODE* n = force->units->first; n; n = n->next) {
        const int id = *static_cast<int*>(n->element);
        UNIT* u = FindUnit(id, force->team);
        if (!u) u = FindUnit(id, -1);
        if (u && u->team != team) Units_GiveUnitToOtherTeam_Long(u, team, 0);
    }
    force->team = team;
}

int AI_SaveSpecialForces(CFILE* file)
{
    int ok = 1;
    if (!s_ai.forces) return ok;
    for (GLL_NODE* n = s_ai.forces->first; n; n = n->next) {
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
    char* copy = Debug_Strdup(name);
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
