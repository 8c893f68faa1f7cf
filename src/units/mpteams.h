// Multiplayer teams: the start units of each side and the equivalents that
// let one side's type stand for another side's.
//
// The unit-type file hands over, per type, how many of it a side starts
// with (MpTeams_AddStartUnits) and the names of its equivalent types on the
// other sides (MpTeams_AddEquivalentUnits); after the file they are resolved
// into one slot per side (MpTeams_ResolveEquivalentUnits). Buildings keep
// equivalent names too, but only while equivalent buildings are in use: the
// scenario reader and the multiplayer set-up each hold one flag of a pair,
// and both must be set.
#pragma once

struct UNITTYPE;
struct BUILDINGTYPE;

enum {
    MPTEAMS_SIDES = 4,             // TS_ASHWARD .. TS_CIVILIAN
    MPTEAMS_EQUIVALENTS = 4,
    MPTEAMS_MAXSTART = 32,         // start-unit entries per side
};

struct MPTEAMS_START {
    UNITTYPE* type;
    int count;
};

// Forgets every start unit, equivalent and mark (the rule files' reset).
void MpTeams_Reset(void);
// Forgets the start units and the unit equivalents only (with the unit
// types: the scenario's marks and the buildings stay).
void MpTeams_ForgetUnits(void);

// A side starts with count units of type (side 0..3; others logged and
// ignored).
void MpTeams_AddStartUnits(int side, UNITTYPE* type, int count);
int MpTeams_StartUnitCount(int side);
const MPTEAMS_START* MpTeams_StartUnit(int side, int index);

// Keeps the equivalent unit type names of type (up to 4, 63 characters).
void MpTeams_AddEquivalentUnits(UNITTYPE* type, const char (*names)[64], int count);
// Resolves them: an unknown name is fatal "Invalid equivalent unit [%s]
// specified" (class 4). Each type then has one equivalent per side (its own
// side: itself).
void MpTeams_ResolveEquivalentUnits(void);
// The type that stands for type on side, or null.
UNITTYPE* MpTeams_EquivalentUnit(const UNITTYPE* type, int side);

// Building equivalents: kept and resolved only while both flags are set.
void MpTeams_AddEquivalentBuildings(BUILDINGTYPE* type, const char (*names)[64], int count);
// An unknown name is logged and left out.
void MpTeams_ResolveEquivalentBuildings(void);
BUILDINGTYPE* MpTeams_EquivalentBuilding(const BUILDINGTYPE* type, int side);
// The flag pair: the scenario's and the multiplayer set-up's.
void MpTeams_SetScenarioEquivalentBuildings(int flag);
void MpTeams_SetSetupEquivalentBuildings(int flag);
int MpTeams_EquivalentBuildingsInUse(void);

// The scenario's preset-sides mark (set by SetTeamSide) and the start-units
// option of the multiplayer launch.
extern int g_MpTeamsPresetSides;
extern int g_MpTeamsStartUnits;
