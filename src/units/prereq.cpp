// Prerequisites: one table indexed by prerequisite id, built from the unit
// and building types, with per-team counts, stolen plans and "can make" flags.
//
// The flags are a cache: every change of a team's counts recomputes that
// team's flags over the whole table (a few hundred ids), so readers never see
// a stale answer and the result never depends on the order of changes.
#include "units/prereq.h"

#include <cstring>
#include <strings.h>

#include "core/debug.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "save/saveblk.h"
#include "save/savetype.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/team.h"
#include "units/unit.h"

enum PREREQ_KIND { PK_NONE = 0, PK_UNIT = 1, PK_BUILDING = 2 };

struct PREREQ_ENTRY {
    int kind;                               // PREREQ_KIND
    int index;                              // unit or building type index
    UNITTYPE* unittype;
    BUILDINGTYPE* buildingtype;
    const PREREQ* prereq;                   // the type's record
    uint16_t makers[PREREQ_LISTLEN + 1];    // always 0-terminated
    int32_t count[TEAM_MAXTEAMS];
    uint8_t stolen[TEAM_MAXTEAMS];
    uint8_t canmake[TEAM_MAXTEAMS];
};

static PREREQ_ENTRY* s_table = nullptr;
static int s_count = 0;
static const uint16_t s_noMakers[1] = {0};

static int ValidId(int id)
{
    return s_table != nullptr && id >= 1 && id < s_count;
}

static int ValidTeam(int team)
{
    return team >= 0 && team < TEAM_MAXTEAMS;
}

// The team owns an object of id, or of a type that names id as its equivalence.
static int Owns(int id, int team)
{
    if (!ValidId(id)) return 0;
    if (s_table[id].count[team] > 0) return 1;
    for (int i = 1; i < s_count; i++) {
        const PREREQ_ENTRY& e = s_table[i];
        if (e.kind != PK_NONE && e.prereq->equivalence == id && e.count[team] > 0) return 1;
    }
    return 0;
}

static void RefreshTeam(int team)
{
    uint8_t owned[PREREQ_MAXIDS] = {};
    for (int id = 1; id < s_count; id++) {
        const PREREQ_ENTRY& e = s_table[id];
        if (e.count[team] <= 0) continue;
        owned[id] = 1;
        if (e.kind != PK_NONE && e.prereq->equivalence < s_count) owned[e.prereq->equivalence] = 1;
    }
    for (int id = 1; id < s_count; id++) {
        PREREQ_ENTRY& e = s_table[id];
        int ok = e.kind != PK_NONE && e.prereq->techlevel <= g_TechLevel;
        for (int k = 0; ok && k < PREREQ_LISTLEN && e.prereq->prereqs[k] != 0; k++) {
            int p = e.prereq->prereqs[k];
            ok = p < s_count && owned[p];
        }
        e.canmake[team] = (uint8_t)ok;
    }
}

static void RefreshAll(void)
{
    for (int team = 0; team < TEAM_MAXTEAMS; team++) RefreshTeam(team);
}

// Claims the table slot of one type's id; returns 0 (logged) when it can't.
static int Claim(const PREREQ* prereq, const char* name, int* maxid, int* taken)
{
    int id = prereq->id;
    if (id == 0) return 0;
    if (id >= PREREQ_MAXIDS) {
        TLOG(TLOG_ERROR, "Prerequisite id %d of [%s] is out of range", id, name);
        return 0;
    }
    if (taken[id]) {
        TLOG(TLOG_ERROR, "Prerequisite id %d of [%s] is already taken", id, name);
        return 0;
    }
    taken[id] = 1;
    if (id > *maxid) *maxid = id;
    return id;
}

static void FillEntry(PREREQ_ENTRY& e, int kind, int index, const PREREQ* prereq)
{
    e.kind = kind;
    e.index = index;
    e.prereq = prereq;
    int n = 0;
    for (; n < PREREQ_LISTLEN && prereq->makers[n] != 0; n++) e.makers[n] = prereq->makers[n];
    e.makers[n] = 0;
}

// Counts what exists now: the table may be built after objects were placed
// (a scenario's, a loaded game's), and those were not counted when made.
static void CountObject(int id, int team)
{
    if (ValidId(id) && s_table[id].kind != PK_NONE && ValidTeam(team)) s_table[id].count[team]++;
}

static void CountLiveObjects(void)
{
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it))
        if (u->type) CountObject(u->type->prereq.id, u->team);
    // A construction site counts once it is complete; the builder a
    // building ate stays uncounted while it is inside.
    for (BUILDING* b = g_Buildings; b; b = b->next) {
        if (b->buildingtype && b->complete) CountObject(b->buildingtype->prereq.id, b->team);
        UNIT* maker = b->buildingtype ? UnitId_Ptr(&b->whomademe) : nullptr;
        if (maker && maker->type && !(b->buildingtype->flags & BTF_NOTBUILDEREATER)) {
            int id = maker->type->prereq.id;
            if (ValidId(id) && s_table[id].count[maker->team] > 0) s_table[id].count[maker->team]--;
        }
    }
}

void PREREQ_Init(void)
{
    PREREQ_Done();
    // Which type claims each id, decided in table order: units, then buildings.
    int taken[PREREQ_MAXIDS] = {};
    int unitid[UNITS_MAXTYPES] = {};
    int buildid[BUILD_MAXTYPES] = {};
    int maxid = 0;
    int nunits = Units_UnitTypeCount();
    for (int i = 0; i < nunits && i < UNITS_MAXTYPES; i++) {
        UNITTYPE* t = Units_GetTypePtr(i);
        if (t != nullptr) unitid[i] = Claim(&t->prereq, t->symbolid, &maxid, taken);
    }
    for (int i = 0; i < g_NrBuildingTypes && i < BUILD_MAXTYPES; i++) {
        const BUILDINGTYPE* t = &g_BuildingTypes[i];
        buildid[i] = Claim(&t->prereq, t->name, &maxid, taken);
    }

    s_count = maxid + 1;
    s_table = static_cast<PREREQ_ENTRY*>(Debug_Calloc((size_t)s_count, sizeof(PREREQ_ENTRY)));
    for (int i = 0; i < nunits && i < UNITS_MAXTYPES; i++) {
        if (unitid[i] == 0) continue;
        UNITTYPE* t = Units_GetTypePtr(i);
        PREREQ_ENTRY& e = s_table[unitid[i]];
        FillEntry(e, PK_UNIT, i, &t->prereq);
        e.unittype = t;
    }
    for (int i = 0; i < g_NrBuildingTypes && i < BUILD_MAXTYPES; i++) {
        if (buildid[i] == 0) continue;
        PREREQ_ENTRY& e = s_table[buildid[i]];
        FillEntry(e, PK_BUILDING, i, &g_BuildingTypes[i].prereq);
        e.buildingtype = &g_BuildingTypes[i];
    }

    // A prerequisite that names no type can never be met: say so once here.
    for (int id = 1; id < s_count; id++) {
        const PREREQ_ENTRY& e = s_table[id];
        if (e.kind == PK_NONE) continue;
        for (int k = 0; k < PREREQ_LISTLEN && e.prereq->prereqs[k] != 0; k++) {
            int p = e.prereq->prereqs[k];
            if (p >= s_count || s_table[p].kind == PK_NONE) {
                TLOG(TLOG_ERROR, "Prerequisite %d of id %d names no type", p, id);
            }
        }
    }
    CountLiveObjects();
    RefreshAll();
}

void PREREQ_Done(void)
{
    Debug_Free(&s_table);
    s_count = 0;
}

// ---- counts

// Id 0 is "none", and without a table nothing is counted yet: both are
// quietly nothing to do. Any other bad id (an id of no type included) or
// team is a caller's fault.
static int CheckArgs(const char* what, int id, int team)
{
    if (ValidId(id) && s_table[id].kind != PK_NONE && ValidTeam(team)) return 1;
    if (id == 0 || s_table == nullptr) return 0;
    TLOG(TLOG_ERROR, "PREREQ_%s: invalid prerequisite id %d or team %d", what, id, team);
    return 0;
}

void PREREQ_Add(const void* type, int id, int team)
{
    (void)type;
    if (!CheckArgs("Add", id, team)) return;
    s_table[id].count[team]++;
    RefreshTeam(team);
}

void PREREQ_Remove(const void* type, int id, int team)
{
    (void)type;
    if (!CheckArgs("Remove", id, team)) return;
    if (s_table[id].count[team] <= 0) {
        TLOG(TLOG_ERROR, "PREREQ_Remove: team %d owns no object of id %d", team, id);
        return;
    }
    s_table[id].count[team]--;
    RefreshTeam(team);
}

int PREREQ_HowMany(int id, int team)
{
    if (!ValidId(id) || !ValidTeam(team)) return 0;
    return s_table[id].count[team];
}

// ---- plans and makers

void PREREQ_StolePlans(int id, int team)
{
    if (!CheckArgs("StolePlans", id, team)) return;
    s_table[id].stolen[team] = 1;
}

int PREREQ_HaveStolen(int id, int team)
{
    if (!ValidId(id) || !ValidTeam(team)) return 0;
    return s_table[id].stolen[team];
}

int PREREQ_HavePlans(int id, int team)
{
    if (!ValidId(id) || !ValidTeam(team)) return 0;
    if (s_table[id].stolen[team]) return 1;
    for (const uint16_t* m = s_table[id].makers; *m != 0; m++) {
        if (Owns(*m, team)) return 1;
    }
    return 0;
}

int PREREQ_CanMake(int id, int team)
{
    if (!ValidId(id) || !ValidTeam(team)) return 0;
    return s_table[id].canmake[team];
}

int PREREQ_CanThisMakeThat(int thisid, int thatid, int team)
{
    (void)team;
    if (!ValidId(thisid) || !ValidId(thatid)) return 0;
    const PREREQ_ENTRY& me = s_table[thisid];
    int equivalence = me.kind != PK_NONE ? me.prereq->equivalence : 0;
    for (const uint16_t* m = s_table[thatid].makers; *m != 0; m++) {
        if (*m == thisid || (equivalence != 0 && *m == equivalence)) return 1;
    }
    return 0;
}

const uint16_t* PREREQ_GetMakers(int id)
{
    return ValidId(id) ? s_table[id].makers : s_noMakers;
}

// ---- ids and types

int PREREQ_WhatIs(const char* name)
{
    if (name == nullptr) return 0;
    for (int id = 1; id < s_count; id++) {
        const PREREQ_ENTRY& e = s_table[id];
        const char* own = e.kind == PK_UNIT       ? e.unittype->symbolid
                          : e.kind == PK_BUILDING ? e.buildingtype->name
                                                  : nullptr;
        if (own != nullptr && strncasecmp(own, name, PREREQ_NAMELEN) == 0) return id;
    }
    return 0;
}

int PREREQ_IsValid(int id)
{
    return ValidId(id);
}

int PREREQ_IsBuilding(int id)
{
    return ValidId(id) && s_table[id].kind == PK_BUILDING;
}

int PREREQ_IsUnit(int id)
{
    return ValidId(id) && s_table[id].kind == PK_UNIT;
}

UNITTYPE* PREREQ_UnitTypePtr(int id)
{
    return PREREQ_IsUnit(id) ? s_table[id].unittype : nullptr;
}

BUILDINGTYPE* PREREQ_BuildingTypePtr(int id)
{
    return PREREQ_IsBuilding(id) ? s_table[id].buildingtype : nullptr;
}

int PREREQ_MapPrereqIdToUnitId(int id)
{
    return PREREQ_IsUnit(id) ? s_table[id].index : -1;
}

int PREREQ_MapPrereqIdToBuildingId(int id)
{
    return PREREQ_IsBuilding(id) ? s_table[id].index : -1;
}

int PREREQ_Count(void)
{
    return s_count;
}

void PREREQ_SaveAll(void)
{
    // Kept as they are (a load puts the saved values in place): rebuilding
    // the table from the types would lose the stolen plans.
    Save_RegisterBlock(SAVEK_GLOBAL, &s_count, ST_ULONG, sizeof s_count);
    for (int id = 0; id < s_count; id++) {
        PREREQ_ENTRY& e = s_table[id];
        Save_RegisterBlock(SAVEK_GLOBAL, e.count, ST_ULONG, sizeof e.count);
        Save_RegisterBlock(SAVEK_GLOBAL, e.stolen, ST_NONE, sizeof e.stolen);
        Save_RegisterBlock(SAVEK_GLOBAL, e.canmake, ST_NONE, sizeof e.canmake);
    }
}
