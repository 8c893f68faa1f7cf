#include "fuzzworld.h"

#include <cstdio>
#include <cstdlib>

#include "ai/ai.h"
#include "ai/aip.h"
#include "core/gamestate.h"
#include "core/rand.h"
#include "core/uid.h"
#include "fuzzsupport.h"
#include "map/cre.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/path.h"
#include "map/pathsrch.h"
#include "platform/effects.h"
#include "rules/tfgen.h"
#include "units/buildbay.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/parts.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unithold.h"
#include "units/unitlist.h"
#include "units/unitmove.h"
#include "units/unitproc.h"
#include "units/unitsorder.h"

static UNITTYPE* NewUnitType(const char* name)
{
    UNITTYPE* t = Units_NewType();
    if (t == nullptr) abort();
    snprintf(t->symbolid, sizeof t->symbolid, "%s", name);
    snprintf(t->description, sizeof t->description, "%s", name);
    return t;
}

static BUILDINGTYPE* NewBuildingType(const char* name)
{
    BUILDINGTYPE* t = Build_NewType();
    if (t == nullptr) abort();
    snprintf(t->name, sizeof t->name, "%s", name);
    const uint8_t grid[2 * 2 * 2] = {};
    t->footprint = Effects_AddOvlEffect(name, 2, 2, grid);
    t->width = t->height = 2;
    t->bayx = 0;
    t->bayy = 1;
    t->maxhitpoints = 100;
    return t;
}

static void StartComputer(BUILDINGTYPE* depot, UNITTYPE* tank, UNITTYPE* tanker);

void QvFuzz_OpenWorld(void)
{
    g_NewMapRequest = MAP_NEWREQUEST{1, 24, 24, 4, 1};
    if (!Map_Load(nullptr)) abort();
    Effects_Init();
    Mapgrid_Init();
    Fog_Init();
    Fog_SetSeeAll(1);
    Team_SetDefaults();
    Team_InitTeamData();
    Units_InitAll();
    Build_InitAll();
    Pathsrch_Init();
    Tfgen_Reset();
    Uid_Reset();
    Units_ResetGroupIds();
    Rand_SetPosition(0);
    g_UpdateCount = 1;
    g_LocalTeam = 7;   // nobody's: no message is played
    UNITTYPE* tank = NewUnitType("Tank");
    tank->mass = 2;
    tank->sabotageinfo[0] = 5;
    UNITTYPE* carrier = NewUnitType("Carrier");
    carrier->hold = 2;
    carrier->holdmass = 10;
    carrier->abilities.cangrab = 1;
    carrier->grabinfo.type = tank;
    UNITTYPE* spy = NewUnitType("Spy");
    spy->abilities.canspy = 1;
    spy->spyinfo[0] = 5;
    spy->spyinfo[1] = 10;
    UNITTYPE* tanker = NewUnitType("Tanker");
    UNITTYPE* truck = NewUnitType("Truck");
    BUILDINGTYPE* depot = NewBuildingType("Depot");
    depot->flags |= BTF_CANREPAIR | BTF_CANREARM | BTF_ISTELEPORT;
    depot->rooms[0] = 2;
    depot->rooms[1] = 10;
    depot->spytype = BSPY_HQ;
    depot->stealtime = 5;
    depot->prereq.id = 3;
    depot->transportunit = truck;
    depot->packtime = depot->unpacktime = 2;
    BUILDINGTYPE* well = NewBuildingType("Well");
    well->resource[0] = BUILDTYPE_RESOURCE{5, 1000, 1000, 0, 0, -1, 0, 0, 0};
    BUILDINGTYPE* silo = NewBuildingType("Silo");
    silo->resource[0] = BUILDTYPE_RESOURCE{0, 150, 0, 0, 0, -1, 0, 0, 0};
    tanker->resource[0][0] = 100;
    tanker->resource[0][1] = tanker->resource[0][2] = 20;
    tanker->bldpairs.count = 1;
    tanker->bldpairs.pair[0] = {"Well", "Silo", 0, well, silo};
    PREREQ_Init();
    for (int i = 0; i < 8; i++) Units_NewAt(tank, i / 4, -1, 3 + (i % 4) * 2, 4 + (i / 4) * 12);
    BUILDING* home = Build_New(depot, 0, -1, 10, 8);
    Build_New(depot, 1, -1, 10, 14);
    Build_New(well, TEAM_NEUTRAL, -1, 18, 2);
    Build_New(silo, 0, -1, 18, 8);
    UNIT* c = Units_NewAt(carrier, 0, -1, 20, 12);
    Units_HoldAddUnit(c, Units_NewAt(tank, 0, -1, 21, 12));
    Units_NewAt(spy, 0, -1, 2, 10);
    Units_NewAt(tanker, 0, -1, 20, 4);
    Build_HoldAddUnit(home, Units_NewAt(tank, 0, -1, 12, 11));
    UNIT* t = Units_NewAt(truck, 0, -1, 4, 20);
    t->building_package = new BUILDINGPACKAGE{depot, {}};
    StartComputer(depot, tank, tanker);
}

static AIP_struct* s_plan = nullptr;

// Team 1 thinks: a plan that wants depots, tanks and tankers. The strengths
// need a part on every type only while they are computed.
static void StartComputer(BUILDINGTYPE* depot, UNITTYPE* tank, UNITTYPE* tanker)
{
    tank->prereq.id = 1;
    tanker->prereq.id = 2;
    tank->prereq.makers[0] = tanker->prereq.makers[0] = 3;
    depot->prereq.makers[0] = 1;   // tanks put depots up
    depot->flags |= BTF_CANMAKE;
    Units_PostProcessAllTypes();
    teamdata[1].type = TT_COMPUTER;
    Team_SetCredits(1, 5000);
    AI_SpecialForcesInit();
    AI_AIPInit();
    static const char plan[] =
        "struct account { string account_name; int budget; int max_reserve; };\n"
        "struct entry { int priority; int build_type; string item_name; int build_amount; };\n"
        "string transport = \"Tanker\"; int recompute_strategy_period = 0;\n"
        "account unit_construction_program[] = { {\"a\", 0, 0}, {\"b\", 1, 0} };\n"
        "entry a[] = { {1, 0, \"Depot\", 3} };\n"
        "entry b[] = { {1, 2, \"Tank\", 1}, {1, 2, \"Tanker\", 1} };\n";
    if (const char* path = QvFuzz_WriteTemp(".aip", reinterpret_cast<const uint8_t*>(plan), sizeof plan - 1)) s_plan = AIP_Load(path);
    PARTTYPE* bare = Parts_NewType();
    for (int i = 0; i < Units_UnitTypeCount(); i++) {
        Units_GetTypePtr(i)->partinfo.nrparts = 1;
        Units_GetTypePtr(i)->partinfo.parttype[0] = bare;
    }
    AI_Init();
    for (int i = 0; i < Units_UnitTypeCount(); i++) {
        Units_GetTypePtr(i)->partinfo.nrparts = 0;
        Units_GetTypePtr(i)->partinfo.parttype[0] = nullptr;
    }
    AI_Activate(1);
    if (s_plan) AI_AIPSwitch(1, s_plan);
}

void QvFuzz_CloseWorld(void)
{
    AI_Close();
    if (s_plan) AIP_Delete(s_plan);
    s_plan = nullptr;
    AI_AIPClose();
    AI_SpecialForcesClose();
    Parts_FreeTypes();
    Fog_SetSeeAll(0);
    Pathsrch_Close();
    CRE_Close();
    PREREQ_Done();
    Build_CloseAll();
    Units_CloseAll();
    Path_CleanUp();   // the path nodes' spares
    Team_CloseTeamData();
    Fog_Close();
    Mapgrid_Close();
    Effects_Close();
    Map_Free();
    g_UpdateCount = 0;
}

