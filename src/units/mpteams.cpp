// Multiplayer teams: start units per side and the equivalent unit and
// building types that let one side's type stand for another side's.
#include "units/mpteams.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/error.h"
#include "core/tlog.h"
#include "units/building.h"
#include "units/unit.h"

enum { MPTEAMS_NAMELEN = 64 };

struct MPTEAMS_UNITEQUIV {
    int count;
    char names[MPTEAMS_EQUIVALENTS][MPTEAMS_NAMELEN];
    UNITTYPE* side[MPTEAMS_SIDES];          // resolved, one per side
};

int g_MpTeamsPresetSides = 0;
int g_MpTeamsStartUnits = 0;

static MPTEAMS_START s_start[MPTEAMS_SIDES][MPTEAMS_MAXSTART];
static int s_startCount[MPTEAMS_SIDES];
static MPTEAMS_UNITEQUIV s_unitEquiv[UNITS_MAXTYPES];
static BUILDINGTYPE* s_buildingSide[BUILD_MAXTYPES][MPTEAMS_SIDES];
static int s_scenarioBuildings = 0;
static int s_setupBuildings = 0;

void MpTeams_Reset(void)
{
    memset(s_start, 0, sizeof s_start);
    memset(s_startCount, 0, sizeof s_startCount);
    memset(s_unitEquiv, 0, sizeof s_unitEquiv);
    memset(s_buildingSide, 0, sizeof s_buildingSide);
    for (int i = 0; i < g_NrBuildingTypes && i < BUILD_MAXTYPES; i++) {
        BUILDINGTYPE& t = g_BuildingTypes[i];
        t.nrequivalents = 0;
        memset(t.equivalents, 0, sizeof t.equivalents);
        memset(t.equivalent, 0, sizeof t.equivalent);
    }
    g_MpTeamsPresetSides = 0;
}

void MpTeams_ForgetUnits(void)
{
    memset(s_start, 0, sizeof s_start);
    memset(s_startCount, 0, sizeof s_startCount);
    memset(s_unitEquiv, 0, sizeof s_unitEquiv);
}

// ---- start units

void MpTeams_AddStartUnits(int side, UNITTYPE* type, int count)
{
    if (side < 0 || side >= MPTEAMS_SIDES || type == nullptr || count <= 0) {
        TLOG(TLOG_ERROR, "Invalid start units: side %d, type [%s], count %d", side,
             type != nullptr ? type->symbolid : "", count);
        return;
    }
    if (s_startCount[side] >= MPTEAMS_MAXSTART) {
        TLOG(TLOG_ERROR, "Too many start units for side %d: [%s] left out", side, type->symbolid);
        return;
    }
    s_start[side][s_startCount[side]++] = MPTEAMS_START{type, count};
}

int MpTeams_StartUnitCount(int side)
{
    return side >= 0 && side < MPTEAMS_SIDES ? s_startCount[side] : 0;
}

const MPTEAMS_START* MpTeams_StartUnit(int side, int index)
{
    if (index < 0 || index >= MpTeams_StartUnitCount(side)) return nullptr;
    return &s_start[side][index];
}

// ---- equivalent units

static int UnitSlot(const UNITTYPE* type)
{
    if (type == nullptr || type->unittypeid < 0 || type->unittypeid >= UNITS_MAXTYPES) return -1;
    return type->unittypeid;
}

void MpTeams_AddEquivalentUnits(UNITTYPE* type, const char (*names)[64], int count)
{
    int slot = UnitSlot(type);
    if (slot < 0 || names == nullptr) return;
    MPTEAMS_UNITEQUIV& eq = s_unitEquiv[slot];
    if (count > MPTEAMS_EQUIVALENTS) {
        TLOG(TLOG_ERROR, "Too many equivalents for unit type [%s]: %d", type->symbolid, count);
        count = MPTEAMS_EQUIVALENTS;
    }
    eq.count = count < 0 ? 0 : count;
    for (int i = 0; i < eq.count; i++) snprintf(eq.names[i], sizeof eq.names[i], "%.63s", names[i]);
}

void MpTeams_ResolveEquivalentUnits(void)
{
    int n = Units_UnitTypeCount();
    for (int i = 0; i < n && i < UNITS_MAXTYPES; i++) {
        UNITTYPE* type = Units_GetTypePtr(i);
        MPTEAMS_UNITEQUIV& eq = s_unitEquiv[i];
        memset(eq.side, 0, sizeof eq.side);
        if (type == nullptr) continue;
        for (int k = 0; k < eq.count; k++) {
            UNITTYPE* other = Units_SymToTypePtr(eq.names[k]);
            if (other == nullptr) ERR_FATAL(ERRC_FATAL, "Invalid equivalent unit [%s] specified", eq.names[k]);
            if (other->side >= MPTEAMS_SIDES) {
                TLOG(TLOG_ERROR, "Equivalent unit [%s] of [%s] has no side", other->symbolid, type->symbolid);
                continue;
            }
            eq.side[other->side] = other;
        }
        if (type->side < MPTEAMS_SIDES) eq.side[type->side] = type;
    }
}

UNITTYPE* MpTeams_EquivalentUnit(const UNITTYPE* type, int side)
{
    int slot = UnitSlot(type);
    if (slot < 0 || side < 0 || side >= MPTEAMS_SIDES) return nullptr;
    return s_unitEquiv[slot].side[side];
}

// ---- equivalent buildings

static BUILDINGTYPE* FindBuildingType(const char* name)
{
    for (int i = 0; i < g_NrBuildingTypes && i < BUILD_MAXTYPES; i++) {
        if (strncasecmp(g_BuildingTypes[i].name, name, BUILD_NAME) == 0) return &g_BuildingTypes[i];
    }
    return nullptr;
}

static int BuildingSlot(const BUILDINGTYPE* type)
{
    if (type == nullptr || type->index < 0 || type->index >= BUILD_MAXTYPES) return -1;
    return type->index;
}

void MpTeams_AddEquivalentBuildings(BUILDINGTYPE* type, const char (*names)[64], int count)
{
    if (!MpTeams_EquivalentBuildingsInUse() || BuildingSlot(type) < 0 || names == nullptr) return;
    if (count > BUILD_EQUIVALENTS) {
        TLOG(TLOG_ERROR, "Too many equivalents for building type [%s]: %d", type->name, count);
        count = BUILD_EQUIVALENTS;
    }
    type->nrequivalents = count < 0 ? 0 : count;
    for (int i = 0; i < type->nrequivalents; i++) {
        snprintf(type->equivalents[i], sizeof type->equivalents[i], "%.63s", names[i]);
        type->equivalent[i] = nullptr;
    }
}

void MpTeams_ResolveEquivalentBuildings(void)
{
    if (!MpTeams_EquivalentBuildingsInUse()) return;
    for (int i = 0; i < g_NrBuildingTypes && i < BUILD_MAXTYPES; i++) {
        BUILDINGTYPE& type = g_BuildingTypes[i];
        BUILDINGTYPE** side = s_buildingSide[i];
        memset(s_buildingSide[i], 0, sizeof s_buildingSide[i]);
        for (int k = 0; k < type.nrequivalents && k < BUILD_EQUIVALENTS; k++) {
            BUILDINGTYPE* other = FindBuildingType(type.equivalents[k]);
            type.equivalent[k] = other;
            if (other == nullptr) {
                TLOG(TLOG_ERROR, "Invalid equivalent building [%s] specified for [%s]", type.equivalents[k],
                     type.name);
                continue;
            }
            if (other->side < 0 || other->side >= MPTEAMS_SIDES) {
                TLOG(TLOG_ERROR, "Equivalent building [%s] of [%s] has no side", other->name, type.name);
                continue;
            }
            side[other->side] = other;
        }
        if (type.side >= 0 && type.side < MPTEAMS_SIDES) side[type.side] = &type;
    }
}

BUILDINGTYPE* MpTeams_EquivalentBuilding(const BUILDINGTYPE* type, int side)
{
    int slot = BuildingSlot(type);
    if (slot < 0 || side < 0 || side >= MPTEAMS_SIDES) return nullptr;
    return s_buildingSide[slot][side];
}

void MpTeams_SetScenarioEquivalentBuildings(int flag)
{
    s_scenarioBuildings = flag != 0;
}

void MpTeams_SetSetupEquivalentBuildings(int flag)
{
    s_setupBuildings = flag != 0;
}

int MpTeams_EquivalentBuildingsInUse(void)
{
    return s_scenarioBuildings && s_setupBuildings;
}
