// Units at buildings: holds, transport trips, service bays, spies, packages,
// the per-update unit walk and the player orders that reach them.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "core/bytes.h"
#include "core/gamestate.h"
#include "core/uid.h"
#include "map/fog.h"
#include "map/pathsrch.h"
#include "map/cre.h"
#include "rules/tfgen.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "ui/igi.h"
#include "ui/igievnt.h"
#include "units/buildbay.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitbld.h"
#include "units/unithold.h"
#include "units/unitproc.h"
#include "units/unitsorder.h"
#include "units/unitstate.h"

namespace {

class UnitsAtBuildings : public QvWorldTest {
protected:
    void SetUp() override
    {
        QvWorldTest::SetUp();
        g_LocalTeam = 7;   // nobody's: no message is played
        g_UpdateCount = 0;
        Fog_SetSeeAll(1);
        Tfgen_Reset();
        depot_ = QvWorld_BuildingType("Depot", 2, 2);
        depot_->bayx = 0;
        depot_->bayy = 1;
        depot_->maxhitpoints = 100;
        for (int t = 0; t < TEAM_MAXTEAMS; t++) Team_SetCredits(t, 1000);
        PREREQ_Init();
        Pathsrch_Init();
        Orders_Init();
    }
    void TearDown() override
    {
        Orders_Close();
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) Units_Delete(u);
        Pathsrch_Close();
        CRE_Close();
        PREREQ_Done();
        Fog_SetSeeAll(0);
        QvWorldTest::TearDown();
    }
    BUILDING* Depot(int team, int x, int y) { return Build_New(depot_, team, -1, x, y); }
    static void Update(int n = 1)
    {
        for (int i = 0; i < n; i++) {
            Build_ProcessAll();
            Pathsrch_Update();
            Units_ProcessAll();
            Orders_AfterUpdate();
            g_UpdateCount++;
        }
    }
    static void Queue(int team, int code, const uint8_t* payload, int len)
    {
        ORDERREC n{};
        n.team = (uint8_t)team;
        n.code = (uint8_t)code;
        n.length = (uint8_t)len;
        memcpy(n.payload, payload, len);
        Orders_Execute(&n);
    }
    BUILDINGTYPE* depot_ = nullptr;
};

// ------------------------------------------------------------------ holds

TEST_F(UnitsAtBuildings, HoldsTakeUnitsUpToTheirCountEachUpToTheirMass)
{
    tank_->hold = 2;
    tank_->holdmass = 5;
    UNITTYPE* heavy = QvWorld_UnitType("Heavy");
    heavy->mass = 6;
    UNIT* carrier = Units_NewAt(tank_, 0, -1, 10, 10);
    const struct {
        const char* name;
        UNITTYPE* type;
        int fits;
    } rows[] = {{"first at the mass limit", tank_, 1},
                {"heavier than holdmass", heavy, 0},
                {"second at the limit", tank_, 1},
                {"a third: no room", tank_, 0}};
    for (const auto& r : rows) {
        UNIT* u = Units_NewAt(r.type, 0, -1, 12, 12 + (int)(&r - rows));
        EXPECT_EQ(Units_HoldAvailable(carrier, u), r.fits) << r.name;
        if (r.fits) {
            Units_HoldAddUnit(carrier, u);
            EXPECT_FALSE(u->onmap) << r.name;
        }
    }
    EXPECT_EQ(Units_TotalMass(carrier), 15);
    EXPECT_EQ(Units_HoldDropLast(carrier), 0);
    EXPECT_EQ(Units_HoldHowMany(carrier), 1);
    EXPECT_EQ(Units_HoldDropAll(carrier), 1);
    EXPECT_EQ(Units_HoldDropLast(carrier), 1) << "an empty hold";
    ITERATOR it;
    Iterate_UnitInit(&it, 0, 0, MM_ALL);
    while (UNIT* u = Iterate_UnitNext(&it)) {
        if (u->tilepos.y < 12) {
            EXPECT_LE(std::max(abs(u->tilepos.x - 10), abs(u->tilepos.y - 10)), 3);
        }
    }
}

// The carrier dies hemmed in: its passengers find no tile within 3 and die
// with it; with room they come out.
TEST_F(UnitsAtBuildings, ADeadCarrierDropsItsPassengersOrTakesThemAlong)
{
    for (bool crowded : {false, true}) {
        tank_->hold = 2;
        tank_->holdmass = 10;
        UNIT* carrier = Units_NewAt(tank_, 0, -1, 20, 20);
        UNIT* a = Units_NewAt(tank_, 0, -1, 30, 30);
        UNIT* b = Units_NewAt(tank_, 0, -1, 31, 30);
        Units_HoldAddUnit(carrier, a);
        Units_HoldAddUnit(carrier, b);
        if (crowded)
            for (int y = 17; y <= 23; y++)
                for (int x = 17; x <= 23; x++)
                    if (x != 20 || y != 20) Units_NewAt(tank_, 1, -1, x, y);
        const int before = Units_Count();
        carrier->hitpoints = 0;
        Update();
        EXPECT_EQ(Units_Count(), before - (crowded ? 3 : 1)) << crowded;
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) Units_Delete(u);
    }
}

TEST_F(UnitsAtBuildings, BuildingHoldsFollowTheirRoomsAndEmptyOnRemoval)
{
    depot_->rooms[0] = 1;
    depot_->rooms[1] = 5;
    BUILDING* b = Depot(0, 10, 10);
    UNIT* u = Units_NewAt(tank_, 0, -1, 10, 12);
    UNIT* v = Units_NewAt(tank_, 0, -1, 11, 12);
    ASSERT_TRUE(Units_CanBoardBuilding(u, b));
    Build_HoldAddUnit(b, u);
    EXPECT_EQ(BuildId_Ptr(&u->partof), b);
    EXPECT_FALSE(Units_CanBoardBuilding(v, b)) << "one room only";
    b->hitpoints = 0;
    Update();
    EXPECT_TRUE(u->inuse && u->onmap) << "out near the door";
    EXPECT_FALSE(BuildId_Valid(&u->partof));
}

// ------------------------------------------------------------------ transport

TEST_F(UnitsAtBuildings, ATankerFillsAtANeutralSourceAndUnloadsAtItsSilo)
{
    BUILDINGTYPE* well = QvWorld_BuildingType("Well", 2, 2);
    well->bayx = 0, well->bayy = 1;
    well->resource[0] = BUILDTYPE_RESOURCE{5, 1000, 1000, 0, 0, -1, 0, 0, 0};
    BUILDINGTYPE* silo = QvWorld_BuildingType("Silo", 2, 2);
    silo->bayx = 0, silo->bayy = 1;
    silo->resource[0] = BUILDTYPE_RESOURCE{0, 150, 0, 0, 0, -1, 0, 0, 0};
    UNITTYPE* tanker = QvWorld_UnitType("Tanker");
    tanker->resource[0][0] = 100;
    tanker->resource[0][1] = 20;
    tanker->resource[0][2] = 20;
    tanker->bldpairs.count = 1;
    tanker->bldpairs.pair[0] = {"Well", "Silo", 0, well, silo};
    BUILDING* src = Build_New(well, TEAM_NEUTRAL, -1, 10, 10);
    BUILDING* dst = Build_New(silo, 0, -1, 20, 10);
    UNIT* u = Units_NewAt(tanker, 0, -1, 10, 11);
    ASSERT_EQ(Units_SetupTransportTrail(u, src), 1);
    EXPECT_EQ(u->sorder.code, SO_TRAIL);
    int delivered = 0;
    // Two round trips at the test tank's pace of ten updates a tile.
    for (int i = 0; i < 1000 && u->sorder.code == SO_TRAIL; i++) {
        Update();
        delivered = teamdata[0].stats.collected[0];
    }
    EXPECT_EQ(dst->stored[0], 150) << "filled to the brim";
    EXPECT_EQ(delivered, 150);
    EXPECT_EQ(u->sorder.code, SO_NONE) << "a full silo without keep-delivering ends the trip";
    EXPECT_EQ(Trail_Count(u->localtrail), 0);
    // Keep-delivering: it waits at the door instead.
    silo->resource[0].keepdelivering = 1;
    u->resource[0] = 30;
    Units_LayTransportTrail(u, dst, src);
    Update(3);
    EXPECT_EQ(u->sorder.code, SO_TRAIL);
    EXPECT_EQ(u->resource[0], 30);
    // A foreign building that is a source of something else the tanker
    // carries empties the load, to fill up there at the next visit.
    tanker->resource[1][0] = 100;
    BUILDINGTYPE* mine = QvWorld_BuildingType("Mine", 2, 2);
    mine->resource[1] = BUILDTYPE_RESOURCE{5, 1000, 1000, 0, 0, -1, 0, 0, 0};
    BUILDING* theirs = Build_New(mine, 1, -1, 40, 40);
    EXPECT_EQ(Units_UnitTransportActions(u, theirs), 0);
    EXPECT_EQ(u->resource[0], 0);
}

// A trail is laid again from a new building of one end's type to the
// building still standing at the other end; a two-point trail that lost
// a building stops the tanker when it arrives at the empty end.
TEST_F(UnitsAtBuildings, ATransportTrailIsReLaidOrStopsWhereItsBuildingWent)
{
    BUILDINGTYPE* well = QvWorld_BuildingType("Well", 2, 2);
    well->bayx = 0, well->bayy = 1;
    well->resource[0] = BUILDTYPE_RESOURCE{5, 1000, 1000, 0, 0, -1, 0, 0, 0};
    BUILDINGTYPE* silo = QvWorld_BuildingType("Silo", 2, 2);
    silo->bayx = 0, silo->bayy = 1;
    silo->resource[0] = BUILDTYPE_RESOURCE{0, 150, 0, 0, 0, -1, 0, 0, 0};
    UNITTYPE* tanker = QvWorld_UnitType("Tanker");
    tanker->resource[0][0] = 100;
    tanker->bldpairs.count = 1;
    tanker->bldpairs.pair[0] = {"Well", "Silo", 0, well, silo};
    BUILDING* src = Build_New(well, TEAM_NEUTRAL, -1, 10, 10);
    BUILDING* dst = Build_New(silo, 0, -1, 16, 10);
    BUILDING* src2 = Build_New(well, TEAM_NEUTRAL, -1, 10, 20);
    UNIT* u = Units_NewAt(tanker, 0, -1, 13, 14);
    Units_LayTransportTrail(u, src, dst);
    ASSERT_EQ(Units_SetupReusedTransportTrail(u, src2), 1);
    int x, y;
    Trail_GetFirst(u->localtrail, nullptr, &x, &y, nullptr);
    EXPECT_EQ(std::pair(x, y), std::pair(10, 21)) << "from the new well's door";
    Trail_GetLast(u->localtrail, nullptr, &x, &y, nullptr);
    EXPECT_EQ(std::pair(x, y), std::pair(16, 11)) << "to the silo kept";
    EXPECT_EQ(u->sorder.code, SO_TRAIL);
    // The silo goes while the tanker walks to it.
    Units_LayTransportTrail(u, src, dst);
    u->resource[0] = 50;
    u->sorder.trail.waypoint = u->localtrail->tail;
    Build_RemoveFromGame(dst, BRM_DESTROYED);
    for (int i = 0; i < 300 && u->sorder.code == SO_TRAIL; i++) Update();
    EXPECT_EQ(u->sorder.code, SO_NONE);
    EXPECT_EQ(std::pair(u->tilepos.x, u->tilepos.y), std::pair(16, 11));
    EXPECT_EQ(Trail_Count(u->localtrail), 0);
}

TEST_F(UnitsAtBuildings, UnpackingCornersStayInsideTheMap)
{
    BUILDINGTYPE* big = QvWorld_BuildingType("Big", 4, 3);
    UNIT* u = Units_NewAt(tank_, 0, -1, 1, 62);
    u->building_package = new BUILDINGPACKAGE{big, {}};
    const struct {
        int x, y, cx, cy;
    } rows[] = {{1, 62, 0, 60}, {62, 1, 59, 0}, {30, 30, 28, 29}};
    for (const auto& r : rows) {
        Units_ChangeTile(u, r.x, r.y);
        int x, y;
        Units_GetUnpackBuildingXY(u, &x, &y);
        EXPECT_EQ(std::pair(x, y), std::pair(r.cx, r.cy)) << r.x << "," << r.y;
    }
}

// A package builder at a place where the building can't stand ends its
// order there and keeps its package for another try; at a free place the
// building comes out of the package and the carrier goes.
TEST_F(UnitsAtBuildings, APackageBuilderUnpacksAtAFreePlaceOrKeepsItsPackage)
{
    depot_->unpacktime = 2;
    Depot(1, 20, 20);
    const struct {
        const char* name;
        int x, y;
        bool unpacks;
    } rows[] = {{"on another building", 20, 20, false}, {"a free place", 31, 30, true}};
    for (const auto& r : rows) {
        UNIT* u = Units_NewAt(tank_, 0, -1, 30, 30);
        u->building_package = new BUILDINGPACKAGE{depot_, {}};
        const int before = Build_Count(), id = u->id;
        Units_DoUnpackBuilding(u, r.x, r.y);
        for (int i = 0; i < 200 && Units_IdToUnitPtr(id, 0) && u->sorder.code == SO_CONSTRUCT; i++)
            Update();
        EXPECT_EQ(Units_IdToUnitPtr(id, 0) == nullptr, r.unpacks) << r.name;
        EXPECT_EQ(Build_Count(), before + (r.unpacks ? 1 : 0)) << r.name;
        if (!r.unpacks) {
            EXPECT_TRUE(Units_HasBuildingPackage(u)) << r.name;
            EXPECT_EQ(u->sorder.code, SO_NONE) << r.name;
        }
    }
}

// ------------------------------------------------------------------ builders and saboteurs

// A builder without a package pays nothing yet: it needs the cost in hand,
// then leaves the map into the site it starts.
TEST_F(UnitsAtBuildings, ABuilderStartsASiteOnlyWithTheCostInHand)
{
    depot_->cost = 100;
    const struct {
        const char* name;
        int credits;
        bool builds;
    } rows[] = {{"too poor", 99, false}, {"the cost in hand", 100, true}};
    for (const auto& r : rows) {
        Team_SetCredits(0, r.credits);
        UNIT* u = Units_NewAt(tank_, 0, -1, 30, 30);
        const int before = Build_Count();
        Units_SOrderConstruct(u, depot_->index, 32, 28);
        for (int i = 0; i < 200 && u->sorder.code == SO_CONSTRUCT; i++) Update();
        EXPECT_EQ(u->sorder.code, SO_NONE) << r.name;
        EXPECT_EQ(Build_Count(), before + (r.builds ? 1 : 0)) << r.name;
        EXPECT_EQ(u->onmap, !r.builds) << r.name;
        if (r.builds) {
            EXPECT_FALSE(g_Buildings->complete) << r.name;
            EXPECT_EQ(UnitId_Ptr(&g_Buildings->whomademe), u) << r.name;
        }
        EXPECT_EQ(teamdata[0].credits, r.credits) << r.name;
    }
}

// Sabotage takes a building down to half its type's most, rounded up, and
// leaves one that is already lower as it is.
TEST_F(UnitsAtBuildings, ASaboteurHalvesABuildingButNeverHealsIt)
{
    depot_->maxhitpoints = 101;
    tank_->sabotageinfo[0] = 10;
    const struct {
        const char* name;
        int hitpoints, after;
    } rows[] = {{"whole", 101, 51}, {"already lower", 30, 30}};
    for (const auto& r : rows) {
        BUILDING* b = Depot(1, 10, 10);
        Build_SetHitpoints(b, r.hitpoints);
        UNIT* u = Units_NewAt(tank_, 0, -1, 20, 20);
        Units_SOrderSabotageBuilding(u, b);
        int updates = 0;
        for (; updates < 300 && u->sorder.code == SO_SABOTAGE_BUILDING; updates++) Update();
        EXPECT_EQ(u->sorder.code, SO_NONE) << r.name;
        EXPECT_EQ(b->hitpoints, r.after) << r.name;
        Build_RemoveFromGame(b, BRM_DESTROYED);
        Units_Delete(u);
    }
}

// ------------------------------------------------------------------ bays

TEST_F(UnitsAtBuildings, ABayServesOneUnitAtATimeAndSendsItOnItsWay)
{
    depot_->flags |= BTF_CANREPAIR;
    g_General.repairspeed = 1;   // at half efficiency: 0 by the integer share, 1 by the mend
    g_General.repaircost = 10;
    tank_->maxhitpoints = 50;
    teamdata[0].type = TT_HUMAN;
    BUILDING* b = Depot(0, 10, 10);
    ASSERT_EQ(Build_FindRepairBuilding(0, 0, 30, 30), b);
    EXPECT_EQ(Build_FindRepairBuilding(0, 1, 30, 30), nullptr) << "no healing here";
    UNIT* a = Units_NewAt(tank_, 0, -1, 20, 20);
    UNIT* c = Units_NewAt(tank_, 0, -1, 22, 22);
    Units_SetHitpoints(a, 47);
    Units_SetHitpoints(c, 48);
    Units_SOrderRepairSelf(a, b);
    Units_SOrderRepairSelf(c, b);
    Team_SetCredits(0, 25);   // two steps' worth, then the bay waits
    int most = 0;
    for (int i = 0; i < 150; i++) {
        Update();
        b->efficiency = 50;
        int busy = 0;
        for (UNIT* u : {a, c})
            busy += u->sorder.code == SO_REPAIRSELF &&
                    u->sorder.serviceself.state >= SERVICE_MOVING_TO_BAY &&
                    u->sorder.serviceself.state <= SERVICE_SERVICING;
        most = std::max(most, busy);
    }
    EXPECT_EQ(most, 1) << "one at a time";
    EXPECT_EQ(a->hitpoints, 49);
    EXPECT_EQ(teamdata[0].credits, 5);
    Team_SetCredits(0, 1000);
    Update(300);
    EXPECT_EQ(a->hitpoints, 50);
    EXPECT_EQ(c->hitpoints, 50);
    EXPECT_EQ(a->sorder.code, SO_NONE);
    EXPECT_EQ(std::pair(a->tilepos.x, a->tilepos.y), std::pair(b->departx, b->departy))
        << "a human team's unit leaves for the departure point";
    g_General.repairspeed = 0;
    EXPECT_EQ(Build_FindRepairBuilding(0, 0, 30, 30), nullptr) << "a bay that gives nothing";
}

TEST_F(UnitsAtBuildings, AnInvalidServiceStateIsFatal)
{
    BUILDING* b = Depot(0, 10, 10);
    UNIT* u = Units_NewAt(tank_, 0, -1, 20, 20);
    Units_SOrderRepairSelf(u, b);
    u->sorder.serviceself.state = 9;
    QV_EXPECT_FATAL(Units_ProcessSOServiceSelf(u, SO_REPAIRSELF), "Service state invalid for unit");
}

// ------------------------------------------------------------------ spies

class Spies : public UnitsAtBuildings {
protected:
    void SetUp() override
    {
        UnitsAtBuildings::SetUp();
        tank_->abilities.canspy = 1;
        tank_->spyinfo[0] = 50;
        tank_->spyinfo[1] = 60;
        depot_->spytype = BSPY_RESOURCE;
        depot_->prereq.id = 3;
        depot_->stealtime = 20;   // inside the spy's stay of 50 to 60 updates
        // The depot makes scouts: their plans come with the depot's.
        scout_ = QvWorld_UnitType("Scout");
        scout_->prereq.id = 4;
        scout_->prereq.makers[0] = 3;
        // The table is built from the types: again, now that they have ids.
        PREREQ_Done();
        PREREQ_Init();
        b_ = Depot(1, 10, 10);
        spy_ = Units_NewAt(tank_, 0, -1, 20, 20);
    }
    void Enter()
    {
        Units_SOrderSpy(spy_->id, 0, b_, SPY_SPY, 0);
        for (int i = 0; i < 100 && spy_->onmap; i++) Update();
    }
    BUILDING* b_ = nullptr;
    UNIT* spy_ = nullptr;
    UNITTYPE* scout_ = nullptr;
};

TEST_F(Spies, ASpyStealsPlansAndBringsThemHome)
{
    Enter();
    ASSERT_FALSE(spy_->onmap);
    EXPECT_EQ(teamdata[0].seeresource[1], 1);
    Units_SOrderSpy(spy_->id, 0, b_, SPY_STEAL, 3);
    Update(80);
    EXPECT_TRUE(spy_->onmap) << "thrown out when its time ran out";
    EXPECT_EQ(spy_->spy.nrplans, 1);
    EXPECT_EQ(teamdata[0].seeresource[1], 0);
    BUILDING* home = Depot(0, 20, 16);
    Units_SOrderSpy(spy_->id, 0, home, SPY_RETURNPLANS, 0);
    for (int i = 0; i < 300 && spy_->spy.nrplans; i++) Update();
    EXPECT_EQ(spy_->spy.nrplans, 0);
    EXPECT_TRUE(PREREQ_HaveStolen(3, 0));
    EXPECT_TRUE(PREREQ_HaveStolen(4, 0)) << "the units the depot makes";
    EXPECT_FALSE(PREREQ_HaveStolen(3, 1));
}

// The player who sent a spy alone watches the building it enters; a spy
// among others, or another team's, leaves the selection as it was.
TEST_F(Spies, ALocalSpySelectedAloneHandsTheSelectionToItsBuilding)
{
    const struct {
        const char* name;
        int local;
        bool withother;
        bool selectsbuilding;
    } rows[] = {
        {"alone, local", 0, false, true},
        {"with another unit", 0, true, false},
        {"another team's spy", 1, false, false},
    };
    UNIT* other = Units_NewAt(tank_, 0, -1, 22, 22);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        g_LocalTeam = r.local;
        Igievnt_DropBuilding();
        Igievnt_ClearSelection();
        Igievnt_SelectUnit(spy_);
        if (r.withother) Igievnt_SelectUnit(other);
        Enter();
        ASSERT_FALSE(spy_->onmap);
        EXPECT_EQ(igi_nfo.sbuild == b_, r.selectsbuilding);
        EXPECT_EQ(Igievnt_IsUnitSelected(spy_), !r.selectsbuilding);
        Units_SOrderSpy(spy_->id, 0, b_, SPY_LEAVE, 0);
        ASSERT_TRUE(spy_->onmap);
        Units_ChangeTile(spy_, 20, 20);
    }
    Igievnt_DropBuilding();
    Igievnt_ClearSelection();
    g_LocalTeam = 7;
}

// Regression: full pockets once made the steal countdown append a fifth plan
// and stop the program; a QSPY order could cause it.
TEST_F(Spies, RegressionAFullSpyOrderedToStealKeepsSpying)
{
    Enter();
    spy_->spy.nrplans = UNITS_MAXSTOLEN;
    Units_SOrderSpy(spy_->id, 0, b_, SPY_STEAL, 3);
    EXPECT_EQ(spy_->sorder.spy.mode, SPY_SPYING);
    Update(5);
    EXPECT_EQ(spy_->spy.nrplans, UNITS_MAXSTOLEN);
}

// Regression: ejection undid the building type's effect of the moment, so a
// type changed under the spy took away what it never gave.
TEST_F(Spies, RegressionEjectionUndoesTheEffectTheSpyApplied)
{
    Enter();
    ASSERT_EQ(teamdata[0].seeresource[1], 1);
    depot_->spytype = BSPY_HQ;   // as after an upgrade to a type of the other effect
    Units_SOrderSpy(spy_->id, 0, b_, SPY_LEAVE, 0);
    EXPECT_TRUE(spy_->onmap);
    EXPECT_EQ(teamdata[0].seeresource[1], 0);
    EXPECT_EQ(teamdata[0].lineofsight[1], 0);
}

TEST_F(Spies, SpiesInsideComeOutWhenTheBuildingGoes)
{
    Enter();
    ASSERT_FALSE(spy_->onmap);
    b_->hitpoints = 0;
    Update();
    EXPECT_TRUE(spy_->inuse && spy_->onmap);
    EXPECT_EQ(teamdata[0].seeresource[1], 0);
}

// ------------------------------------------------------------------ the walk

TEST_F(UnitsAtBuildings, TheWalkRunsDecoysBoostsAndConversions)
{
    UNITTYPE* decoy = QvWorld_UnitType("Decoy");
    decoy->decoy = DM_ISDECOY;
    UNIT* d = Units_NewAt(decoy, 0, -1, 10, 10);
    d->liferemaining = 3;
    int lived = 0;
    while (Units_IdToUnitPtr(d->id, 0) && lived < 10) Update(), lived++;
    EXPECT_EQ(lived, 5) << "n + 1 further updates, removed at the next";
    // Regression: a boost time below 1 never passed 1 and lasted for ever.
    UNIT* u = Units_NewAt(tank_, 0, -1, 12, 12);
    u->boost = {BS_ON, 0, 256, 10};
    Update();
    EXPECT_EQ(u->boost.state, BS_DEC);
    Update(60);
    EXPECT_EQ(u->boost.state, BS_OFF);
    EXPECT_EQ(u->hitpoints, 10);
    // A grab converts the victim once, after the grabber's time.
    UNITTYPE* grabber = QvWorld_UnitType("Grabber");
    grabber->abilities.cangrab = 1;
    grabber->hold = 1;
    grabber->holdmass = 10;
    grabber->grabinfo.type = tank_;
    grabber->grabinfo.n = 3;
    UNITTYPE* human = QvWorld_UnitType("Human");
    human->abilities.ishuman = 1;
    UNIT* g = Units_NewAt(grabber, 0, -1, 30, 30);
    UNIT* v = Units_NewAt(human, 1, -1, 33, 30);
    Units_SOrderGrabUnit(g, v);
    ASSERT_EQ(g->sorder.code, SO_GRABUNIT);
    for (int i = 0; i < 200 && g->hold.count == 0; i++) Update();
    ASSERT_EQ(g->hold.count, 1);
    EXPECT_EQ(g->operation.code, UO_CONVERT);
    Update(5);
    UNIT* held = Units_ListGetFirst(&g->hold);
    ASSERT_NE(held, nullptr);
    EXPECT_EQ(held->type, tank_);
    EXPECT_EQ(held->team, 0);
    EXPECT_EQ(g->operation.code, UO_NONE);
}

// ------------------------------------------------------------------ orders

TEST_F(UnitsAtBuildings, HostileOrdersAreRefusedAndLogged)
{
    BUILDING* theirs = Depot(1, 10, 10);
    BUILDING* ours = Depot(0, 30, 10);   // no teleport
    UNIT* mine = Units_NewAt(tank_, 0, -1, 20, 20);
    UNIT* their = Units_NewAt(tank_, 1, -1, 22, 20);
    uint8_t p[12] = {};
    const struct {
        const char* name;
        int code;
        int id, building, action, extra;
        const char* logged;
    } rows[] = {
        {"spy mode out of range", QSPY, mine->id, theirs->id, 9, 0, "spy mode"},
        {"a steal by a spy not inside", QSPY, mine->id, theirs->id, SPY_STEAL, 3, "no spy"},
        {"a missing building", QSPY, mine->id, 999, SPY_SPY, 0, "no building"},
        {"packing a building of another team", QPACKBUILDING, theirs->id, 0, 0, 0,
         "another team"},
        {"disembarking another team's building", QDISEMBARKBLD, 0, theirs->id, 0, 0,
         "another team"},
        {"disembarking another team's carrier", QDISEMBARK, 0, their->id, 0, 0, "no unit"},
        {"boarding another team's building", QBOARDBUILDING, theirs->id, 0, 0, 0, "another team"},
        {"teleporting from a building that can't", QTELEPORT, ours->id, 0, 0, 0, "no teleport"},
        {"a transport to a type out of range", QSETUPTRANSPORT, 999, 0, 0, 0, "building type"},
        {"a transport to a tile with no door", QSETUPTRANSPORT, depot_->index, 0, 0, 0,
         "no building of the type"},
    };
    for (const auto& r : rows) {
        log_.clear();
        memset(p, 0, sizeof p);
        Bytes_PutU32(p + 0, (uint32_t)r.id);
        Bytes_PutU32(p + 4, (uint32_t)r.building);
        Bytes_PutU16(p + 8, (uint16_t)r.action);
        Bytes_PutU16(p + 10, (uint16_t)r.extra);
        if (r.code == QPACKBUILDING) Bytes_PutU32(p, (uint32_t)r.id);
        Queue(0, r.code, p, 12);
        EXPECT_NE(log_.text().find(r.logged), std::string::npos) << r.name << ": " << log_.text();
    }
    EXPECT_EQ(mine->sorder.code, SO_NONE);
    EXPECT_EQ(theirs->state, BS_IDLE);
}

// The building-hold and transport orders with well-formed payloads: each
// row sets up its world, sends its order and checks one outcome.
TEST_F(UnitsAtBuildings, HoldTransportAndTeleportOrdersCarryOut)
{
    depot_->rooms[0] = 3;
    depot_->rooms[1] = 10;
    depot_->flags |= BTF_ISTELEPORT;
    tank_->hold = 3;
    tank_->holdmass = 10;
    BUILDINGTYPE* well = QvWorld_BuildingType("Well", 2, 2);
    well->bayx = 0, well->bayy = 1;
    well->resource[0] = BUILDTYPE_RESOURCE{5, 1000, 1000, 0, 0, -1, 0, 0, 0};
    UNITTYPE* tanker = QvWorld_UnitType("Tanker");
    tanker->resource[0][0] = 100;
    tanker->bldpairs.count = 1;
    tanker->bldpairs.pair[0] = {"Well", "Depot", 0, well, depot_};
    depot_->resource[0] = BUILDTYPE_RESOURCE{0, 150, 0, 0, 0, -1, 0, 0, 0};
    enum { CARRIER, BUILDING_HOLD };
    const struct {
        const char* name;
        int code, flag, held;   // held: units inside at the start
        int holder;
        int inside;             // units inside after the order
    } rows[] = {
        {"disembark one", QDISEMBARK, 0, 2, CARRIER, 1},
        {"disembark all", QDISEMBARK, 1, 2, CARRIER, 0},
        {"one out of the building", QDISEMBARKBLD, 0, 2, BUILDING_HOLD, 1},
        {"all out of the building", QDISEMBARKBLD, 1, 2, BUILDING_HOLD, 0},
        {"teleported out", QTELEPORT, 0, 2, BUILDING_HOLD, 0},
        {"boarding the building", QBOARDBUILDING, 0, 0, BUILDING_HOLD, 1},
    };
    for (const auto& r : rows) {
        BUILDING* b = Depot(0, 10, 10);
        UNIT* carrier = Units_NewAt(tank_, 0, -1, 20, 20);
        UNITLIST* hold = r.holder == CARRIER ? &carrier->hold : &b->hold;
        for (int i = 0; i < r.held; i++) {
            UNIT* u = Units_NewAt(tank_, 0, -1, 30 + i, 30);
            if (r.holder == CARRIER) Units_HoldAddUnit(carrier, u);
            else Build_HoldAddUnit(b, u);
        }
        uint8_t p[8] = {};
        UNITLIST* sel = Orders_TeamSelection(0);
        Units_ListClear(sel);
        switch (r.code) {
        case QDISEMBARK:
            p[0] = (uint8_t)r.flag;
            Bytes_PutU32(p + 4, (uint32_t)carrier->id);
            break;
        case QDISEMBARKBLD:
            p[0] = (uint8_t)r.flag;
            Bytes_PutU32(p + 4, (uint32_t)b->id);
            break;
        case QTELEPORT:
            Bytes_PutU32(p, (uint32_t)b->id);
            Bytes_PutU16(p + 4, 40);
            Bytes_PutU16(p + 6, 40);
            break;
        case QBOARDBUILDING:
            Bytes_PutU32(p, (uint32_t)b->id);
            Units_ListAppend(sel, carrier, carrier->id, 0);
            break;
        }
        Queue(0, r.code, p, 8);
        for (int i = 0; i < 300 && Units_ListSize(hold) != r.inside; i++) Update();
        EXPECT_EQ(Units_ListSize(hold), r.inside) << r.name;
        if (r.code == QTELEPORT) {
            ITERATOR it;
            Iterate_UnitInit(&it, 0, 0, MM_ALL);
            int near = 0;
            while (UNIT* u = Iterate_UnitNext(&it))
                near += std::max(abs(u->tilepos.x - 40), abs(u->tilepos.y - 40)) <= 1;
            EXPECT_EQ(near, 2) << r.name;
        }
        Units_ListClear(sel);
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) Units_Delete(u);
        Build_RemoveFromGame(b, BRM_DESTROYED);
    }
    // A transport trip from the well whose door is at the given tile.
    BUILDING* w = Build_New(well, TEAM_NEUTRAL, -1, 10, 10);
    Depot(0, 20, 10);
    UNIT* t = Units_NewAt(tanker, 0, -1, 15, 15);
    Units_ListAppend(Orders_TeamSelection(0), t, t->id, 0);
    uint8_t p[8] = {};
    Bytes_PutU32(p, (uint32_t)well->index);
    Bytes_PutU16(p + 4, 10);
    Bytes_PutU16(p + 6, 11);
    Queue(0, QSETUPTRANSPORT, p, 8);
    EXPECT_EQ(t->sorder.code, SO_TRAIL);
    int x, y;
    Trail_GetFirst(t->localtrail, nullptr, &x, &y, nullptr);
    EXPECT_EQ(std::pair(x, y), std::pair(10, 11));
    EXPECT_NE(w, nullptr);
}

TEST_F(UnitsAtBuildings, APackedBuildingMovesAndUnpacks)
{
    UNITTYPE* truck = QvWorld_UnitType("Truck");
    depot_->transportunit = truck;
    depot_->packtime = 3;
    depot_->unpacktime = 3;
    BUILDING* b = Depot(0, 10, 10);
    uint8_t p[12] = {};
    Bytes_PutU32(p, (uint32_t)b->id);
    Queue(0, QPACKBUILDING, p, 4);
    EXPECT_EQ(b->state, BS_PACKING);
    Update(6);
    EXPECT_EQ(Build_Count(), 0);
    UNIT* t = nullptr;
    ITERATOR it;
    Iterate_UnitInit(&it, 0, 0, MM_ALL);
    while (UNIT* u = Iterate_UnitNext(&it))
        if (u->type == truck) t = u;
    ASSERT_NE(t, nullptr);
    ASSERT_TRUE(Units_HasBuildingPackage(t));
    memset(p, 0, sizeof p);
    Bytes_PutU32(p, (uint32_t)t->id);
    Bytes_PutU16(p + 4, 30);
    Bytes_PutU16(p + 6, 30);
    Queue(0, QUNPACKBUILDING, p, 8);
    for (int i = 0; i < 400 && Build_Count() == 0; i++) Update();
    ASSERT_EQ(Build_Count(), 1);
    EXPECT_EQ(g_Buildings->tilex, 30);
    Update(5);
    EXPECT_TRUE(g_Buildings->complete);
}

// ------------------------------------------------------------------ a whole run

// Every trade at buildings in one world for 3000 updates: a tanker's trips,
// a builder's site, a spy's theft brought home, a saboteur, a carrier that
// dies with passengers, a repair visit and a building that packs, moves and
// unpacks. Orders that depend on what happened are given when it happened.
class BuildingTrades : public UnitsAtBuildings {
protected:
    struct Marks {
        int collected, built, stolen, sabotaged, dropped, repaired, unpacked;
        bool operator==(const Marks&) const = default;
    };
    std::vector<uint64_t> Run(Marks* m)
    {
        Uid_Reset();
        g_General.repairspeed = 2;
        g_General.repaircost = 1;
        // Which team was local when the world opened differs between runs,
        // and opening a world keeps the teams' resource shares of the last.
        for (int team = 0; team < TEAM_MAXTEAMS; team++) {
            teamdata[team].type = TT_HUMAN;
            for (auto& r : teamdata[team].resource) r = {};
        }
        teamdata[2].type = TT_COMPUTER;
        BUILDINGTYPE* well = QvWorld_BuildingType("Well", 2, 2);
        well->bayx = 0, well->bayy = 1;
        well->resource[0] = BUILDTYPE_RESOURCE{5, 1000, 1000, 0, 0, -1, 0, 0, 0};
        BUILDINGTYPE* silo = QvWorld_BuildingType("Silo", 2, 2);
        silo->bayx = 0, silo->bayy = 1;
        silo->resource[0] = BUILDTYPE_RESOURCE{0, 5000, 0, 0, 0, -1, 0, 0, 0};
        UNITTYPE* tanker = QvWorld_UnitType("Tanker");
        tanker->resource[0][0] = 100;
        tanker->resource[0][1] = 20;
        tanker->resource[0][2] = 20;
        tanker->bldpairs.count = 1;
        tanker->bldpairs.pair[0] = {"Well", "Silo", 0, well, silo};
        BUILDINGTYPE* barracks = QvWorld_BuildingType("Barracks", 2, 2);
        barracks->cost = 100;
        barracks->buildtime = 5;
        BUILDINGTYPE* lab = QvWorld_BuildingType("Lab", 2, 2);
        lab->bayx = 0, lab->bayy = 1;
        lab->spytype = BSPY_RESOURCE;
        lab->stealtime = 20;
        lab->prereq.id = 3;
        depot_->maxhitpoints = 100;
        depot_->flags |= BTF_CANREPAIR;
        UNITTYPE* spy = QvWorld_UnitType("Spy");
        spy->abilities.canspy = 1;
        spy->spyinfo[0] = 50;
        spy->spyinfo[1] = 60;
        tank_->sabotageinfo[0] = 20;
        tank_->hold = 2;
        tank_->holdmass = 10;
        tank_->maxhitpoints = 50;
        UNITTYPE* truck = QvWorld_UnitType("Truck");
        BUILDINGTYPE* tent = QvWorld_BuildingType("Tent", 2, 2);
        tent->bayx = 0, tent->bayy = 1;
        tent->transportunit = truck;
        tent->packtime = 3;
        tent->unpacktime = 3;
        PREREQ_Done();
        PREREQ_Init();

        Build_New(well, TEAM_NEUTRAL, -1, 4, 4);
        BUILDING* dst = Build_New(silo, 0, -1, 12, 4);
        UNIT* t = Units_NewAt(tanker, 0, -1, 5, 6);
        UNIT* builder = Units_NewAt(tank_, 0, -1, 30, 4);
        BUILDING* target = Build_New(lab, 1, -1, 40, 20);
        BUILDING* home = Depot(0, 30, 24);
        UNIT* s = Units_NewAt(spy, 0, -1, 36, 26);
        BUILDING* victim = Depot(1, 50, 40);
        UNIT* saboteur = Units_NewAt(tank_, 0, -1, 56, 44);
        UNIT* carrier = Units_NewAt(tank_, 0, -1, 20, 50);
        int passengers[2];
        for (int i = 0; i < 2; i++) {
            UNIT* u = Units_NewAt(tank_, 0, -1, 22 + i, 56);
            passengers[i] = u->id;
            Units_HoldAddUnit(carrier, u);
        }
        BUILDING* bay = Depot(2, 40, 50);
        UNIT* patient = Units_NewAt(tank_, 2, -1, 50, 56);
        Units_SetHitpoints(patient, 30);
        const int patientid = patient->id, carrierid = carrier->id;
        BUILDING* packed = Build_New(tent, 0, -1, 10, 30);
        const int packedid = packed->id;

        Units_SetupTransportTrail(t, dst);
        Units_SOrderConstruct(builder, barracks->index, 32, 4);
        Units_SOrderSpy(s->id, 0, target, SPY_SPY, 0);
        Units_SOrderSabotageBuilding(saboteur, victim);
        Units_SOrderRepairSelf(patient, bay);
        std::vector<uint64_t> digests;
        bool stealing = false, returning = false, unpacking = false;
        for (int n = 0; n < 3000; n++) {
            if (n == 300) Units_SetHitpoints(carrier, 0);
            if (n == 100) {
                uint8_t p[4];
                Bytes_PutU32(p, (uint32_t)packedid);
                Queue(0, QPACKBUILDING, p, 4);
            }
            if (!stealing && !s->onmap) {
                Units_SOrderSpy(s->id, 0, target, SPY_STEAL, 3);
                stealing = true;
            }
            if (stealing && !returning && s->onmap) {
                Units_SOrderSpy(s->id, 0, home, SPY_RETURNPLANS, 0);
                returning = true;
            }
            if (!unpacking && n > 100) {
                ITERATOR it;
                Iterate_UnitInit(&it, 0, 0, MM_ALL);
                while (UNIT* u = Iterate_UnitNext(&it))
                    if (u->type == truck && Units_HasBuildingPackage(u)) {
                        uint8_t p[8];
                        Bytes_PutU32(p, (uint32_t)u->id);
                        Bytes_PutU16(p + 4, 10);
                        Bytes_PutU16(p + 6, 40);
                        Queue(0, QUNPACKBUILDING, p, 8);
                        unpacking = true;
                    }
            }
            Update();
            digests.push_back(QvDigest_State());
        }
        m->collected = teamdata[0].stats.collected[0];
        m->built = 0;
        m->unpacked = 0;
        for (BUILDING* b = g_Buildings; b; b = b->next) {
            m->built += b->buildingtype == barracks && b->complete;
            m->unpacked += b->buildingtype == tent && b->complete && b->tilex == 10 &&
                           b->tiley == 40;
        }
        m->stolen = PREREQ_HaveStolen(3, 0) * 10 + s->spy.nrplans;
        m->sabotaged = victim->hitpoints;
        m->dropped = Units_IdToUnitPtr(carrierid, 0) == nullptr ? 0 : -1;
        for (int id : passengers) m->dropped += Units_IdToUnitPtr(id, 0) != nullptr;
        UNIT* back = Units_IdToUnitPtr(patientid, 2);
        m->repaired = back && back->hitpoints == 50 && back->sorder.code == SO_NONE &&
                      back->tilepos.x == 50 && back->tilepos.y == 56;
        return digests;
    }
};

TEST_F(BuildingTrades, TwoRunsOf3000UpdatesGiveTheSameDigestAtEveryUpdate)
{
    Marks m1{}, m2{};
    const std::vector<uint64_t> a = Run(&m1);
    TearDown();
    SetUp();
    const std::vector<uint64_t> b = Run(&m2);
    ASSERT_EQ(a.size(), 3000u);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); i++) ASSERT_EQ(a[i], b[i]) << "update " << i;
    EXPECT_TRUE(m1 == m2);
    EXPECT_GT(m1.collected, 0) << "water reached the silo";
    EXPECT_EQ(m1.built, 1) << "the builder's barracks";
    EXPECT_EQ(m1.stolen, 10) << "the plans are home";
    EXPECT_EQ(m1.sabotaged, 50);
    EXPECT_EQ(m1.repaired, 1) << "mended and back where it was";
    EXPECT_EQ(m1.unpacked, 1) << "the tent stands at its new place";
    EXPECT_EQ(m1.dropped, 2) << "the carrier gone, both passengers on the map";
}

} // namespace
