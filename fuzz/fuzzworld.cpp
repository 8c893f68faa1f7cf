#include "fuzzworld.h"

#include <cstdio>
#include <cstdlib>

#include "core/gamestate.h"
#include "core/rand.h"
#include "core/uid.h"
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
}

void QvFuzz_CloseWorld(void)
{
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

