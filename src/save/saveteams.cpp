// The walkers of the game's own records: the types they point at (static
// blocks named by their fields), the teams with their units and buildings,
// and the mini-buildings.
#include "save/saveget.h"

#include "core/debug.h"
#include "core/gll.h"
#include "core/tlog.h"
#include "map/path.h"
#include "rules/tfgen.h"
#include "save/saveblk.h"
#include "save/savetype.h"
#include "units/building.h"
#include "units/parts.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitlist.h"
#include "units/unitmove.h"
#include "units/unitstate.h"
#include "units/weapon.h"

namespace {

uint32_t s_unitCounters[2];  // group ids, making sequence

void registerLocal(int type, void* record, size_t size)
{
    Save_RegisterTypePointers(type, record);
    Save_RegisterBlock(SAVEK_LOCAL, record, type, size);
}

void walkWaypoints(TRAIL* trail)
{
    for (WAYPOINT* w = trail->head; w && Save_WalkGoesOn(); w = w->next) registerLocal(ST_WAYPOINT, w, sizeof *w);
}

void walkListElems(UNITLIST* list)
{
    for (UNITLISTELEM* e = list->head; e && Save_WalkGoesOn(); e = e->next) registerLocal(ST_UNITLISTELEM, e, sizeof *e);
}

// A unit with what it owns: parts, path nodes, local trail and its
// waypoints, the units it holds (their list elements), its package. The
// unit a package names is registered where its team list reaches it.
void walkUnit(UNIT* u)
{
    Saveget_Unit(u);
    for (PART* p = u->basepart; p && Save_WalkGoesOn(); p = p->partup) registerLocal(ST_PART, p, sizeof *p);
    for (PATHNODE* n = u->move.path.head; n && Save_WalkGoesOn(); n = n->next) registerLocal(ST_PATHNODE, n, sizeof *n);
    if (u->localtrail) {
        registerLocal(ST_TRAIL, u->localtrail, sizeof *u->localtrail);
        walkWaypoints(u->localtrail);
    }
    walkListElems(&u->hold);
    if (u->building_package) registerLocal(ST_BUILDINGPACKAGE, u->building_package, sizeof *u->building_package);
    Save_RegisterBlock(SAVEK_LOCAL, u, ST_UNIT, sizeof *u);
}

void walkBuilding(BUILDING* b)
{
    Save_RegisterTypePointers(ST_BUILDING, b);
    if (GLL* l = b->ap.srclist) {
        registerLocal(ST_APGLLHEADER, l, sizeof *l);
        for (GLL_NODE* n = l->first; n && Save_WalkGoesOn(); n = n->next) {
            registerLocal(ST_APGLLNODE, n, sizeof *n);
            registerLocal(ST_BUILDID, n->element, sizeof(BUILDID));
        }
    }
    walkListElems(&b->hold);
    walkListElems(&b->pickup);
    walkListElems(&b->queue);
    Save_RegisterBlock(SAVEK_LOCAL, b, ST_BUILDING, sizeof *b);
}

} // namespace

void Save_RegisterGameTypes(void)
{
    static uint32_t counts[4];
    const int nunits = Units_UnitTypeCount(), nweapons = Weapon_TypeCount();
    if (g_SaveFlags & SAVEF_LIVE) {
        counts[0] = (uint32_t)nunits;
        counts[1] = (uint32_t)g_NrBuildingTypes;
        counts[2] = (uint32_t)g_NrPartTypes;
        counts[3] = (uint32_t)nweapons;
    }
    // The counts come first: a program with other type tables is refused
    // by the global section's check before the static blocks are compared.
    for (uint32_t& c : counts) Save_RegisterBlock(SAVEK_GLOBAL, &c, ST_ULONG, 4);
    for (int i = 0; i < nunits; i++) Save_RegisterBlock(SAVEK_STATIC, Units_GetTypePtr(i), ST_UNITTYPE, sizeof(UNITTYPE));
    for (int i = 0; i < g_NrBuildingTypes; i++)
        Save_RegisterBlock(SAVEK_STATIC, &g_BuildingTypes[i], ST_BUILDINGTYPE, sizeof(BUILDINGTYPE));
    for (int i = 0; i < g_NrPartTypes; i++) Save_RegisterBlock(SAVEK_STATIC, &g_PartTypes[i], ST_PARTTYPE, sizeof(PARTTYPE));
    for (int i = 0; i < nweapons; i++) Save_RegisterBlock(SAVEK_STATIC, Weapon_GetType(i), ST_WEAPONTYPE, sizeof(WEAPONTYPE));
    // The general rules are read from their file, not saved: a program that
    // read other rules is refused.
    Save_RegisterBlock(SAVEK_STATIC, &g_General, ST_ULONG, sizeof g_General);
    // The step curves: a unit's move points at the curve it walks.
    for (PIXELARRAY& p : g_StepCurves) Save_RegisterBlock(SAVEK_STATIC, &p, ST_PIXELARRAY, sizeof p);
}

void Saveget_Teams(void)
{
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        TEAM_DATA& td = teamdata[t];
        Save_RegisterTypePointers(ST_TEAM_DATA, &td);
        Save_RegisterBlock(SAVEK_GLOBAL, &td, ST_TEAM_DATA, sizeof td);
        for (TRAIL& trail : td.gtrails) {
            Save_RegisterTypePointers(ST_TRAIL, &trail);
            Save_RegisterBlock(SAVEK_GLOBAL, &trail, ST_TRAIL, sizeof trail);
        }
        for (int m = 0; m <= TEAM_MOVELISTS; m++) {
            UNIT* first = m < TEAM_MOVELISTS ? td.unitlist[m] : td.offmaplist;
            for (UNIT* u = first; u && Save_WalkGoesOn(); u = u->next) walkUnit(u);
        }
        for (BUILDING* b = td.firstbuilding; b && Save_WalkGoesOn(); b = b->teamnext) walkBuilding(b);
        walkListElems(&td.idleindirectfireunits);
        for (TRAIL& trail : td.gtrails) walkWaypoints(&trail);
    }
}

void Save_RegisterUnitCounters(void)
{
    if (g_SaveFlags & SAVEF_LIVE) {
        s_unitCounters[0] = Units_GetGroupIdCounter();
        s_unitCounters[1] = Units_NextSeq();
    }
    for (uint32_t& c : s_unitCounters) Save_RegisterBlock(SAVEK_GLOBAL, &c, ST_ULONG, sizeof c);
    Save_RegisterBlock(SAVEK_GLOBAL, &UNITS_totalhitpoints, ST_ULONG, sizeof UNITS_totalhitpoints);
}

void Save_RestoreUnitCounters(void)
{
    Units_SetGroupIdCounter(s_unitCounters[0]);
    Units_SetNextSeq(s_unitCounters[1]);
}
