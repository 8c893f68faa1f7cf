// Buildings in play: jobs and their charges, sites and makers, upgrades,
// efficiency and accounts, power, stores, removal, the building orders, the
// construct queue and automatic production, and a small base run twice.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/gll.h"
#include "core/uid.h"
#include "core/utils.h"
#include "map/fog.h"
#include "rules/gamemsg.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/autoprod.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/constructq.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

const int kMsgs[] = {MSG_FACCOMPLETE, MSG_NEWFACILAVAIL, MSG_NEWUNITSAVAIL, MSG_UPGRADEAVAIL,
                     MSG_UNITCOMPLETE, MSG_VEHICLECOMP, MSG_SFXUNPACK, MSG_SFXPOWERDOWN,
                     MSG_SFXPOWERUP, MSG_BUILDDESTROYED, MSG_SFXDECONSTRUCT, MSG_POWERCRITICAL,
                     MSG_LOWPOWER};

// The line through (0, 0) and (100, 100): efficiency = the percentage.
void Identity(BUILDTYPE_EFFICIENCY* e)
{
    e->slope = 65536;
    e->intercept = 0;
}

class BuildPlay : public testing::Test {
protected:
    void SetUp() override
    {
        QvWorld_Open(48, 48);
        Cfg_SetDefaults(&g_Config);
        g_LocalTeam = 0;
        tinfo.enableap = 0;
        std::string file;
        for (int m : kMsgs) file += std::string("CreateMsg(\"") + GameMsgName(m) + "\") { }\n";
        {
            QvLocalMessages local(file);
            GameMsg_Init();
        }
        GameMsg_LookupStdIds();
        Orders_Init();
        Prepare();
    }
    // Ids from 1, update 0, the types, everyone's credits, the prerequisites.
    void Prepare()
    {
        Uid_Reset();
        g_UpdateCount = 0;
        tank = QvWorld_UnitType("Tank");
        tank->buildcost = 100;
        tank->buildtime = 5;
        tank->prereq.id = 1;
        tank->prereq.makers[0] = 10;
        trooper = QvWorld_UnitType("Trooper");
        trooper->abilities.ishuman = 1;
        trooper->buildcost = 50;
        trooper->buildtime = 2;
        trooper->prereq.id = 2;
        trooper->prereq.makers[0] = 10;
        factory = QvWorld_BuildingType("Factory", 3, 3);
        factory->flags |= BTF_CANMAKE;
        factory->bayx = 1;
        factory->bayy = 2;
        factory->cost = 500;
        factory->buildtime = 4;
        factory->prereq.id = 10;
        plant = QvWorld_BuildingType("Plant", 2, 2);
        plant->resource[BUILD_POWER].production = 100;
        plant->cost = 300;
        plant->buildtime = 3;
        plant->offtime = 2;
        plant->ontime = 3;
        plant->prereq.id = 11;
        for (int t = 0; t < TEAM_MAXTEAMS; t++) Team_SetCredits(t, 10000);
        PREREQ_Init();
    }
    void TearDown() override
    {
        Orders_Close();
        AP_Stop();
        PREREQ_Done();
        GameMsg_ResetStdIds();
        GameMsg_Close();
        QvWorld_Close();
        tinfo.enableap = 0;
    }
    static const char* GameMsgName(int m)
    {
        static const char* names[] = {"MSG_FACCOMPLETE", "MSG_NEWFACILAVAIL", "MSG_NEWUNITSAVAIL",
                                      "MSG_UPGRADEAVAIL", "MSG_UNITCOMPLETE", "MSG_VEHICLECOMP",
                                      "MSG_SFXUNPACK", "MSG_SFXPOWERDOWN", "MSG_SFXPOWERUP",
                                      "MSG_BUILDDESTROYED", "MSG_SFXDECONSTRUCT",
                                      "MSG_POWERCRITICAL", "MSG_LOWPOWER"};
        for (size_t i = 0; i < sizeof kMsgs / sizeof kMsgs[0]; i++)
            if (kMsgs[i] == m) return names[i];
        return "";
    }
    static void Hush()
    {
        for (int m : kMsgs) GameMsg_Std(m)->lasttime = -1000000;
    }
    static bool Heard(int m) { return GameMsg_Std(m)->lasttime != -1000000; }
    // One update's building step, then the orders it queued.
    static void Step(int n = 1)
    {
        for (int i = 0; i < n; i++) {
            Build_ProcessAll();
            Orders_AfterUpdate();
            g_UpdateCount++;
        }
    }
    static int Credits(int team) { return teamdata[team].credits; }
    // A unit of type off the map standing for the builder of a site.
    static UNIT* Builder(UNITTYPE* type, int team, BUILDING* site)
    {
        UNIT* u = Units_NewAt(type, team, -1, 2, 2);
        Units_RemoveFromMap(u);
        if (!(site->buildingtype->flags & BTF_NOTBUILDEREATER))
            PREREQ_Remove(type, type->prereq.id, team);
        UnitId_Setup(&site->whomademe, u);
        return u;
    }

    QvLogCapture log_;
    UNITTYPE* tank = nullptr;
    UNITTYPE* trooper = nullptr;
    BUILDINGTYPE* factory = nullptr;
    BUILDINGTYPE* plant = nullptr;
};

// ------------------------------------------------------------------ jobs

TEST_F(BuildPlay, JobEndsAfterItsTimeAtTheBuildingsRateAndChargesItsCostAsItGoes)
{
    Identity(&factory->efficiencyhp);
    const struct {
        const char* name;
        int hitpoints;   // of 500: efficiency = the percentage
        int updates;
    } rows[] = {{"full", 500, 5}, {"half", 250, 10}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        BUILDING* f = Build_New(factory, 0, -1, 10, 10);
        f->hitpoints = r.hitpoints;
        Team_SetCredits(0, 1000);
        ASSERT_EQ(Build_StartProduction(f, tank), 1);
        EXPECT_EQ(Credits(0), 1000);   // nothing taken up front
        int n = 0;
        std::vector<int> charges;
        while (f->state == BS_PRODUCING && n < 50) {
            int before = Credits(0);
            Step();
            charges.push_back(before - Credits(0));
            n++;
        }
        EXPECT_EQ(n, r.updates);
        int sum = 0;
        for (int c : charges) sum += c;
        EXPECT_EQ(sum, 100);
        EXPECT_EQ(Credits(0), 900);
        EXPECT_EQ(teamdata[0].stats.made_units, 1);
        Build_Remove(f);
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) Units_Delete(u);
        teamdata[0].stats.made_units = 0;
    }
}

TEST_F(BuildPlay, CancelRefundsWhatWasPaidAndUnpaidOrPausedJobsHold)
{
    BUILDING* f = Build_New(factory, 0, -1, 10, 10);
    Team_SetCredits(0, 1000);
    ASSERT_EQ(Build_StartProduction(f, tank), 1);
    Step(2);   // 2 of 5 steps: 40 paid
    EXPECT_EQ(Credits(0), 960);
    EXPECT_EQ(f->costleft, 60);
    f->paused = 1;
    Step(3);
    EXPECT_EQ(f->prodleft, 300);
    EXPECT_EQ(Credits(0), 960);
    f->paused = 0;
    Team_SetCredits(0, 10);   // a step costs 20
    Step(3);
    EXPECT_EQ(f->prodleft, 300);
    Team_SetCredits(0, 960);
    Step();
    EXPECT_EQ(f->prodleft, 200);
    EXPECT_EQ(Credits(0), 940);
    ASSERT_EQ(Build_CancelProduction(f), 1);
    EXPECT_EQ(Credits(0), 1000);
    EXPECT_EQ(f->state, BS_IDLE);
    EXPECT_EQ(f->unittypetobuild, nullptr);
    EXPECT_EQ(Build_CancelProduction(f), 0);
}

TEST_F(BuildPlay, ProductionIsRefusedForWrongMakersStatesAndShortCredits)
{
    BUILDING* f = Build_New(factory, 0, -1, 10, 10);
    BUILDING* p = Build_New(plant, 0, -1, 20, 20);
    Team_SetCredits(0, 99);
    EXPECT_EQ(Build_StartProduction(f, tank), 0);   // credits short
    Team_SetCredits(0, 1000);
    EXPECT_EQ(Build_StartProduction(p, tank), 0);   // not a maker
    EXPECT_EQ(Build_StartProduction(f, nullptr), 0);
    ASSERT_EQ(Build_StartProduction(f, tank), 1);
    EXPECT_EQ(Build_StartProduction(f, trooper), 0);   // busy
}

TEST_F(BuildPlay, ProducedUnitComesOutNearTheDoorWithItsMessage)
{
    BUILDING* f = Build_New(factory, 0, -1, 10, 10);
    const struct {
        UNITTYPE* type;
        int msg;
    } rows[] = {{trooper, MSG_UNITCOMPLETE}, {tank, MSG_VEHICLECOMP}};
    for (const auto& r : rows) {
        Hush();
        ASSERT_EQ(Build_StartProduction(f, r.type), 1);
        Step(r.type->buildtime);
        EXPECT_TRUE(Heard(r.msg));
        EXPECT_EQ(f->state, BS_IDLE);
    }
    int n = 0;
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it)) {
        n++;
        EXPECT_EQ(u->team, 0);
        EXPECT_LE(std::abs(u->tilepos.x - 11) + std::abs(u->tilepos.y - 12), 3);
        EXPECT_EQ(Build_AtTile(u->tilepos.x, u->tilepos.y), nullptr);
    }
    EXPECT_EQ(n, 2);
    // With a rally point the new unit heads there.
    ASSERT_EQ(Build_SetRallyPoint(f, 30, 31), 1);
    ASSERT_EQ(Build_StartProduction(f, trooper), 1);
    Step(trooper->buildtime);
    UNIT* last = Units_MadeAfter(0, Units_NextSeq());
    for (UNIT* u = last; u != nullptr; u = Units_MadeAfter(u->seq, Units_NextSeq())) last = u;
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->sorder.code, SO_MOVE);
    EXPECT_EQ(last->sorder.move.destpos.x, 30);
    EXPECT_EQ(last->sorder.move.destpos.y, 31);
}

// ------------------------------------------------------------------ sites and makers

TEST_F(BuildPlay, SiteCountsOnlyWhenCompleteAndKeepsOrReturnsItsMaker)
{
    BUILDINGTYPE* camp = QvWorld_BuildingType("Camp", 2, 2);
    camp->flags |= BTF_NOTBUILDEREATER;
    camp->cost = 200;
    camp->buildtime = 2;
    camp->bayx = 0;
    camp->bayy = 1;
    camp->prereq.id = 12;
    PREREQ_Init();
    const struct {
        const char* name;
        BUILDINGTYPE* type;
        bool returned;
    } rows[] = {{"eater", factory, false}, {"keeper", camp, true}};
    int x = 5;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Team_SetCredits(0, 5000);
        BUILDING* s = Build_NewConstructionSite(r.type, 0, x, 20);
        x += 12;
        ASSERT_NE(s, nullptr);
        UNIT* maker = Builder(trooper, 0, s);
        EXPECT_EQ(s->state, BS_BEINGBUILT);
        EXPECT_EQ(s->complete, 0);
        EXPECT_EQ(PREREQ_HowMany(r.type->prereq.id, 0), 0);
        PREREQ_Init();   // a recount leaves sites out too
        EXPECT_EQ(PREREQ_HowMany(r.type->prereq.id, 0), 0);
        Hush();
        Step(r.type->buildtime - 1);
        EXPECT_EQ(s->complete, 0);
        EXPECT_EQ(Build_GetEfficiency(s), 0);
        Step();
        EXPECT_EQ(s->complete, 1);
        EXPECT_EQ(s->state, BS_IDLE);
        EXPECT_TRUE(Heard(MSG_FACCOMPLETE));
        EXPECT_EQ(PREREQ_HowMany(r.type->prereq.id, 0), 1);
        EXPECT_EQ(Credits(0), 5000 - r.type->cost);
        EXPECT_EQ(maker->onmap, r.returned ? 1 : 0);
        EXPECT_EQ(UnitId_Valid(&s->whomademe), r.returned ? 0 : 1);
        EXPECT_EQ(PREREQ_HowMany(trooper->prereq.id, 0), r.returned ? 1 : 0);
        if (!r.returned) PREREQ_Add(trooper, trooper->prereq.id, 0);
        Units_Delete(maker);
    }
    EXPECT_EQ(teamdata[0].stats.made_buildings, 2);
}

TEST_F(BuildPlay, CancelledSiteGivesBackItsChargesAndItsBuilder)
{
    Team_SetCredits(0, 1000);
    BUILDING* s = Build_NewConstructionSite(factory, 0, 10, 10);
    UNIT* maker = Builder(trooper, 0, s);
    Step(2);   // half of 500 charged
    EXPECT_EQ(Credits(0), 750);
    ASSERT_EQ(Build_CancelSite(s), 1);
    EXPECT_EQ(Credits(0), 1000);
    EXPECT_EQ(Build_Count(), 0);
    EXPECT_EQ(maker->onmap, 1);
    EXPECT_EQ(PREREQ_HowMany(trooper->prereq.id, 0), 1);
    BUILDING* f = Build_New(factory, 0, -1, 20, 20);
    EXPECT_EQ(Build_CancelSite(f), 0);   // a complete building is no site
}

TEST_F(BuildPlay, PackageUnpacksWhereThePlacementTestAcceptsIt)
{
    factory->unpacktime = 3;
    UNIT* maker = Units_NewAt(trooper, 0, -1, 3, 3);
    Units_RemoveFromMap(maker);
    BUILDINGPACKAGE pkg{factory, {}};
    UnitId_Setup(&pkg.whomademe, maker);
    UNIT* carrier = Units_NewAt(tank, 0, -1, 10, 10);
    carrier->building_package = &pkg;
    Build_New(plant, 0, -1, 30, 30);
    EXPECT_EQ(Build_UnpackPackage(carrier, 30, 30), 0);   // a plant stands there
    Hush();
    ASSERT_EQ(Build_UnpackPackage(carrier, 9, 9), 1);
    EXPECT_TRUE(Heard(MSG_SFXUNPACK));
    BUILDING* b = Build_AtTile(9, 9);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->state, BS_UNPACKING);
    EXPECT_EQ(b->whomademe.id, maker->id);
    carrier->building_package = nullptr;
    Units_Delete(carrier);
    int before = Credits(0);
    Step(3);
    EXPECT_EQ(b->complete, 1);
    EXPECT_EQ(Credits(0), before);   // a package is paid for already
    EXPECT_EQ(Build_UnpackPackage(Units_NewAt(trooper, 0, -1, 40, 40), 20, 20), 0);   // no package
}

TEST_F(BuildPlay, KeptUnitsComeWithCompletionAndStandBetweenAttackerAndBuilding)
{
    UNITTYPE* turret = QvWorld_UnitType("Turret");
    factory->activepart[0].type = turret;
    factory->activepart[0].x = 0;
    factory->activepart[0].y = 0;
    factory->activepart[2].type = turret;
    factory->activepart[2].x = 50;   // tile +2
    factory->activepart[2].y = 30;   // tile +1
    factory->flags |= BTF_GIVESMINIMAP;
    BUILDING* s = Build_NewConstructionSite(factory, 0, 10, 10);
    EXPECT_EQ(UnitId_Valid(&s->bay[0]), 0);
    Step(factory->buildtime);
    ASSERT_EQ(s->complete, 1);
    UNIT* a = UnitId_Ptr(&s->bay[0]);
    UNIT* c = UnitId_Ptr(&s->bay[2]);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(UnitId_Valid(&s->bay[1]), 0);
    EXPECT_EQ(a->tilepos.x, 10);
    EXPECT_EQ(a->tilepos.y, 10);
    EXPECT_EQ(c->tilepos.x, 12);
    EXPECT_EQ(c->tilepos.y, 11);
    EXPECT_EQ(a->partof.id, s->id);
    EXPECT_EQ(teamdata[0].minimapstatus, 1);
    UNIT* east = Units_NewAt(tank, 1, -1, 20, 11);
    UNIT* west = Units_NewAt(tank, 1, -1, 2, 9);
    int x, y;
    Build_GetAttackPoint(s, east, &x, &y);
    EXPECT_EQ(x, 12);
    EXPECT_EQ(y, 11);
    Build_GetAttackPoint(s, west, &x, &y);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 10);
}

TEST_F(BuildPlay, DestroyedBuildingTakesItsKeptUnitsMakerQueueAndMinimapShare)
{
    UNITTYPE* turret = QvWorld_UnitType("Turret");
    factory->activepart[0].type = turret;
    factory->flags |= BTF_GIVESMINIMAP;
    BUILDING* s = Build_NewConstructionSite(factory, 0, 10, 10);
    UNIT* maker = Builder(trooper, 0, s);
    int makerid = maker->id;
    Step(factory->buildtime);
    ASSERT_EQ(s->complete, 1);
    int turretid = s->bay[0].id;
    ASSERT_EQ(Units_AddToConstructQueue(tank->unittypeid, s->id), 1);
    Build_StartProduction(s, tank);
    s->hitpoints = 0;
    Hush();
    Step();
    EXPECT_TRUE(Heard(MSG_BUILDDESTROYED));
    EXPECT_EQ(Build_Count(), 0);
    EXPECT_EQ(Units_IdToUnitPtrOffMap(makerid, 0), nullptr);
    EXPECT_EQ(Units_IdToUnitPtr(turretid, 0), nullptr);
    EXPECT_EQ(Units_ConstructQueueCount(), 0);
    EXPECT_EQ(teamdata[0].minimapstatus, 0);
    EXPECT_EQ(PREREQ_HowMany(factory->prereq.id, 0), 0);
    EXPECT_EQ(PREREQ_HowMany(trooper->prereq.id, 0), 0);
    EXPECT_EQ(log_.text().find("owns no object"), std::string::npos) << log_.text();
}

// ------------------------------------------------------------------ upgrades

TEST_F(BuildPlay, UpgradeAnswersInOrderAndChangesTypeCountsAndHitPoints)
{
    BUILDINGTYPE* big = QvWorld_BuildingType("BigFactory", 3, 3);
    big->flags |= BTF_CANMAKE;
    big->cost = 400;
    big->buildtime = 2;
    big->maxhitpoints = 1000;
    big->prereq.id = 13;
    big->prereq.prereqs[0] = 11;   // needs a plant
    BUILDINGTYPE* lone = QvWorld_BuildingType("Lone", 1, 1);
    PREREQ_Init();
    BUILDING* f = Build_New(factory, 0, -1, 10, 10);
    BUILDING* l = Build_New(lone, 0, -1, 30, 30);
    EXPECT_EQ(Build_CanUpgrade(l), BUP_NOUPGRADE);
    EXPECT_EQ(Build_CanUpgrade(f), BUP_NOUPGRADE);
    factory->upgradeto = big;
    big->upgradefrom = factory;
    EXPECT_EQ(Build_CanUpgrade(f), BUP_NOPREREQ);
    Team_SetCredits(0, 399);
    EXPECT_EQ(Build_CanUpgrade(f), BUP_NOCREDITS);
    Build_StartProduction(f, trooper);
    Team_SetCredits(0, 399);
    EXPECT_EQ(Build_CanUpgrade(f), BUP_BUSY);
    Build_CancelProduction(f);
    Team_SetCredits(0, 1000);
    Build_New(plant, 0, -1, 20, 20);
    ASSERT_EQ(Build_CanUpgrade(f), BUP_OK);
    f->hitpoints = 250;
    ASSERT_EQ(Build_StartUpgrade(f), 1);
    EXPECT_EQ(f->state, BS_UPGRADING);
    Step(2);   // the curve is flat: full speed whatever the hit points
    EXPECT_EQ(f->buildingtype, big);
    EXPECT_EQ(f->state, BS_IDLE);
    EXPECT_EQ(f->hitpoints, 500);
    EXPECT_EQ(Credits(0), 600);
    EXPECT_EQ(PREREQ_HowMany(factory->prereq.id, 0), 0);
    EXPECT_EQ(PREREQ_HowMany(big->prereq.id, 0), 1);
}

// ------------------------------------------------------------------ efficiency, accounts, power

TEST_F(BuildPlay, AccountsAndEfficiencyFollowPowerAndHitPoints)
{
    factory->resource[BUILD_POWER].need = 100;
    factory->efficiencyres = BUILDTYPE_EFFICIENCY{{{10, 0}, {100, 90}}, 65536, 10};
    Identity(&factory->efficiencyhp);
    BUILDING* f = Build_New(factory, 0, -1, 10, 10);
    BUILDING* p = Build_New(plant, 0, -1, 20, 20);
    BUILDING* p2 = Build_New(plant, 0, -1, 30, 30);
    Step();
    const TEAM_RESOURCE& power = teamdata[0].resource[BUILD_POWER];
    EXPECT_EQ(power.supply, 200);
    EXPECT_EQ(power.usage, 100);
    EXPECT_EQ(power.percent, 100);
    EXPECT_EQ(teamdata[0].resource[0].percent, 100);   // nothing used: 100
    EXPECT_EQ(f->efficiency, 100);
    f->hitpoints = 400;
    Step();
    EXPECT_EQ(f->efficiency, 80);
    f->hitpoints = 500;
    ASSERT_EQ(Build_PowerToggle(p), 1);
    ASSERT_EQ(Build_PowerToggle(p2), 1);
    EXPECT_EQ(Build_PowerToggle(p2), 0);   // switching already
    const int states[] = {BS_POWERINGDOWN, BS_POWEREDOFF, BS_POWEREDOFF};
    for (int s : states) {
        Step();
        EXPECT_EQ(p->state, s);
    }
    EXPECT_EQ(p->efficiency, 0);
    EXPECT_EQ(p->delivering, 0);
    EXPECT_EQ(power.supply, 0);
    EXPECT_EQ(power.percent, 0);
    EXPECT_EQ(f->efficiency, 10);
    ASSERT_EQ(Build_PowerToggle(p), 1);
    EXPECT_EQ(p->state, BS_POWERINGUP);
    Step(3);
    EXPECT_EQ(p->state, BS_IDLE);
    Step();
    EXPECT_EQ(power.supply, 100);
    EXPECT_EQ(f->efficiency, 100);
    EXPECT_EQ(p->delivering, 1);
}

TEST_F(BuildPlay, PowerMessagesWarnOfLowAndCriticalSupply)
{
    const struct {
        int supply, usage;
        int msg;   // -1: none
    } rows[] = {{0, 0, -1}, {70, 100, MSG_POWERCRITICAL}, {71, 100, MSG_LOWPOWER},
                {99, 100, MSG_LOWPOWER}, {100, 100, -1}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.supply);
        teamdata[0].resource[BUILD_POWER].supply = r.supply;
        teamdata[0].resource[BUILD_POWER].usage = r.usage;
        Hush();
        Build_CheckPowerMessages();
        EXPECT_EQ(Heard(MSG_POWERCRITICAL), r.msg == MSG_POWERCRITICAL);
        EXPECT_EQ(Heard(MSG_LOWPOWER), r.msg == MSG_LOWPOWER);
    }
}

TEST_F(BuildPlay, NewlyAvailableTypesAreAnnouncedOnce)
{
    BUILDINGTYPE* lab = QvWorld_BuildingType("Lab", 2, 2);
    lab->prereq.id = 14;
    lab->prereq.prereqs[0] = 11;   // needs a plant
    BUILDINGTYPE* bigplant = QvWorld_BuildingType("BigPlant", 2, 2);
    bigplant->prereq.id = 15;
    bigplant->prereq.prereqs[0] = 10;   // needs a factory
    plant->upgradeto = bigplant;
    trooper->prereq.prereqs[0] = 11;
    Build_StartGame();
    Build_New(plant, 0, -1, 20, 20);
    Hush();
    Step();
    EXPECT_TRUE(Heard(MSG_NEWFACILAVAIL));
    EXPECT_TRUE(Heard(MSG_NEWUNITSAVAIL));
    EXPECT_FALSE(Heard(MSG_UPGRADEAVAIL));
    Hush();
    Step();
    EXPECT_FALSE(Heard(MSG_NEWFACILAVAIL));
    Build_New(factory, 1, -1, 30, 30);   // another team's
    Step();
    EXPECT_FALSE(Heard(MSG_UPGRADEAVAIL));
    Build_New(factory, 0, -1, 10, 10);
    Step();
    EXPECT_TRUE(Heard(MSG_UPGRADEAVAIL));
}

// ------------------------------------------------------------------ stores

TEST_F(BuildPlay, StoresFillAtTheBuildingsRateWithinTheirLimits)
{
    BUILDINGTYPE* well = QvWorld_BuildingType("Well", 2, 2);
    well->resource[0] = BUILDTYPE_RESOURCE{30, 100, 5, 50, 10, -1, 0, 0, 0};
    Identity(&well->efficiencyhp);
    BUILDING* w = Build_New(well, 0, -1, 10, 10);
    EXPECT_EQ(w->stored[0], 5);
    w->hitpoints = 250;
    Step();
    EXPECT_EQ(w->stored[0], 20);
    EXPECT_EQ(teamdata[0].stats.collected[0], 15);
    const struct {
        int delta, flag, change, stored, collected;
    } rows[] = {{100, 0, 80, 100, 15}, {-30, 1, -30, 70, 15}, {-500, 1, -70, 0, 15},
                {10, 1, 10, 10, 25}};
    for (const auto& r : rows) {
        EXPECT_EQ(Build_ChangeStoredResource(w, 0, r.delta, r.flag), r.change);
        EXPECT_EQ(w->stored[0], r.stored);
        EXPECT_EQ(teamdata[0].stats.collected[0], r.collected);
    }
    EXPECT_EQ(Build_ChangeStoredResource(w, 5, 10, 1), 0);
}

// ------------------------------------------------------------------ orders

class BuildOrders : public BuildPlay {
protected:
    static void Run() { Orders_AfterUpdate(); }
};

TEST_F(BuildOrders, SaleTakesItsTimeAndPaysItsShareUnlessRefused)
{
    factory->sell[0] = 50;
    factory->sell[1] = 3;
    BUILDING* f = Build_New(factory, 0, -1, 10, 10);
    BUILDING* p = Build_New(plant, 0, -1, 20, 20);
    plant->sell[0] = -1;
    BUILDING* foe = Build_New(factory, 1, -1, 30, 30);
    Team_SetCredits(0, 0);
    Hush();
    Orders_QSellBuilding(0, f->id);
    Orders_QSellBuilding(0, p->id);     // not for sale
    Orders_QSellBuilding(0, foe->id);   // not ours
    Orders_QSellBuilding(0, 999);       // missing
    Run();
    EXPECT_TRUE(Heard(MSG_SFXDECONSTRUCT));
    EXPECT_EQ(f->state, BS_SELLING);
    EXPECT_EQ(p->state, BS_IDLE);
    EXPECT_EQ(foe->state, BS_IDLE);
    Step(2);
    EXPECT_EQ(Build_FindById(f->id), f);
    Step();
    EXPECT_EQ(Build_Count(), 2);
    EXPECT_EQ(Credits(0), 250);
    EXPECT_NE(log_.text().find("of another team"), std::string::npos);
    EXPECT_NE(log_.text().find("missing"), std::string::npos);
}

TEST_F(BuildOrders, RepairPaysEachStepAndWaitsForCredits)
{
    factory->repaircost[0] = 10;
    factory->repaircost[1] = 40;
    BUILDING* f = Build_New(factory, 0, -1, 10, 10);
    f->hitpoints = 420;
    Team_SetCredits(0, 15);
    Orders_QRepairBuilding(0, f->id);
    Run();
    Step();
    EXPECT_EQ(f->hitpoints, 460);
    EXPECT_EQ(Credits(0), 5);
    Step(2);
    EXPECT_EQ(f->hitpoints, 460);
    EXPECT_EQ(f->repairrequest, 1);
    Team_SetCredits(0, 100);
    Step(3);
    EXPECT_EQ(f->hitpoints, 500);
    EXPECT_EQ(f->repairrequest, 0);
    EXPECT_EQ(Credits(0), 90);
    factory->repaircost[1] = 0;   // nothing to gain: the request ends
    f->hitpoints = 100;
    Build_RequestRepair(f);
    Step();
    EXPECT_EQ(f->repairrequest, 0);
    EXPECT_EQ(f->hitpoints, 100);
}

TEST_F(BuildOrders, RallyPointsForOneBuildingOrItsWholeKind)
{
    BUILDING* a = Build_New(factory, 0, -1, 10, 10);
    BUILDING* b = Build_New(factory, 0, -1, 20, 10);
    BUILDING* p = Build_New(plant, 0, -1, 30, 10);
    BUILDING* foe = Build_New(factory, 1, -1, 10, 30);
    Orders_QSetBldDest(0, a->id, 5, 6);
    Run();
    EXPECT_EQ(a->rallyx, 5);
    EXPECT_EQ(b->rallyx, -1);
    Orders_QSetClustDest(0, b->id, 7, 8);
    Orders_QSetBldDest(0, a->id, 0, 6);   // not a tile
    Run();
    for (BUILDING* x : {a, b}) {
        EXPECT_EQ(x->rallyx, 7);
        EXPECT_EQ(x->rallyy, 8);
    }
    EXPECT_EQ(p->rallyx, -1);
    EXPECT_EQ(foe->rallyx, -1);
}

TEST_F(BuildOrders, ResourceSaleEmptiesStoresWorthMoreThanTheirCharge)
{
    BUILDINGTYPE* silo = QvWorld_BuildingType("Silo", 2, 2);
    silo->resource[0] = BUILDTYPE_RESOURCE{0, 1000, 0, 50, 20, -1, 0, 0, 0};
    silo->resource[1] = BUILDTYPE_RESOURCE{0, 1000, 0, 10, 20, -1, 0, 0, 0};
    BUILDING* s = Build_New(silo, 0, -1, 10, 10);
    s->stored[0] = 100;   // worth 50, less 20
    s->stored[1] = 200;   // worth 20: not more than the charge
    Team_SetCredits(0, 0);
    Orders_QSellResource(0, s->id);
    Run();
    EXPECT_EQ(Credits(0), 30);
    EXPECT_EQ(s->stored[0], 0);
    EXPECT_EQ(s->stored[1], 200);
    Orders_QSellResource(0, s->id);
    Run();
    EXPECT_EQ(Credits(0), 30);
    EXPECT_NE(log_.text().find("nothing worth selling"), std::string::npos);
}

TEST_F(BuildOrders, ProductionOrdersStartPauseAndCancelAndRefuseBadTypes)
{
    BUILDING* f = Build_New(factory, 0, -1, 10, 10);
    Orders_QConstructUnit(0, 99, f->id);
    Orders_QConstructUnit(1, tank->unittypeid, f->id);
    Run();
    EXPECT_EQ(f->state, BS_IDLE);
    EXPECT_NE(log_.text().find("unit type 99 unknown"), std::string::npos);
    Orders_QConstructUnit(0, tank->unittypeid, f->id);
    Orders_QPauseConstruct(0, f->id);
    Run();
    EXPECT_EQ(f->state, BS_PRODUCING);
    Step(2);
    EXPECT_EQ(f->prodleft, 500);
    Orders_QUnpauseConstruct(0, f->id);
    Run();
    Step(2);
    EXPECT_EQ(f->prodleft, 300);
    Orders_QCancelConstruct(0, f->id);
    Run();
    EXPECT_EQ(f->state, BS_IDLE);
    EXPECT_EQ(Credits(0), 10000);
    Orders_QUpgradeBuilding(0, f->id);   // no upgrade: refused
    Orders_QPowerToggle(0, f->id);
    Run();
    EXPECT_EQ(f->state, BS_POWERINGDOWN);
}

// ------------------------------------------------------------------ construct queue

class ConstructQueue : public BuildPlay {};

TEST_F(ConstructQueue, LimitsPerTypeAndInAll)
{
    for (int i = 0; i < CQ_PERTYPE; i++) EXPECT_EQ(Units_AddToConstructQueue(0, 5), 1);
    EXPECT_EQ(Units_AddToConstructQueue(0, 5), 0);
    for (int t = 1; t < 8; t++)
        for (int i = 0; i < CQ_PERTYPE; i++) EXPECT_EQ(Units_AddToConstructQueue(t, -1), 1);
    EXPECT_EQ(Units_ConstructQueueCount(), CQ_CAPACITY);
    EXPECT_EQ(Units_AddToConstructQueue(9, -1), 0);
    EXPECT_EQ(Units_AddToConstructQueue(-1, -1), 0);
    EXPECT_EQ(Units_AddToConstructQueue(CQ_TYPES, -1), 0);
}

TEST_F(ConstructQueue, EntriesWaitForMakerPrerequisitesAndCreditsWhileOthersAreServed)
{
    BUILDING* f = Build_New(factory, 0, -1, 10, 10);
    BUILDING* g = Build_New(factory, 0, -1, 20, 10);
    UNITTYPE* mech = QvWorld_UnitType("Mech");
    mech->prereq.id = 3;
    mech->prereq.makers[0] = 10;
    mech->prereq.prereqs[0] = 11;   // needs a plant
    PREREQ_Init();
    Units_AddToConstructQueue(tank->unittypeid, g->id);     // another factory's
    Units_AddToConstructQueue(mech->unittypeid, f->id);     // prerequisites missing
    Units_AddToConstructQueue(tank->unittypeid, -1);        // no primary without automatic production
    Units_AddToConstructQueue(trooper->unittypeid, f->id);
    Team_SetCredits(0, 49);
    EXPECT_EQ(Units_GetFromConstructQueue(f), -1);           // credits short
    Team_SetCredits(0, 50);
    EXPECT_EQ(Units_GetFromConstructQueue(f), trooper->unittypeid);
    EXPECT_EQ(Units_ConstructQueueCount(), 3);
    EXPECT_EQ(Units_GetFromConstructQueue(f), -1);
    Team_SetCredits(0, 1000);
    EXPECT_EQ(Units_GetFromConstructQueue(g), tank->unittypeid);
    int type, id;
    ASSERT_EQ(Units_ConstructQueueEntry(0, &type, &id), 1);
    EXPECT_EQ(type, mech->unittypeid);
}

TEST_F(ConstructQueue, CountsDeletionsTransfersAndNewestFirstCancelling)
{
    Units_AddToConstructQueue(1, 7);
    Units_AddToConstructQueue(1, -1);
    Units_AddToConstructQueue(2, 7);
    Units_AddToConstructQueue(1, 7);
    Units_AddToConstructQueue(1, 8);
    EXPECT_EQ(Units_NumberOnConstructQueue(1), 4);
    EXPECT_EQ(Units_NumberOnConstructQueueForBuilding(1, 7), 2);
    EXPECT_EQ(Units_QueuedOrdersForBuilding(7), 3);
    Units_DecrementConstructQueue(1, nullptr);   // the newest of the type: (1, 8)
    EXPECT_EQ(Units_NumberOnConstructQueueForBuilding(1, 8), 0);
    BUILDING fake{};
    fake.id = 7;
    fake.team = 0;
    Units_DecrementConstructQueue(1, &fake);   // the newest bound to 7: the fourth
    int type, id;
    Units_ConstructQueueEntry(2, &type, &id);
    EXPECT_EQ(type, 2);
    EXPECT_EQ(Units_ConstructQueueCount(), 3);
    Units_TransferToPrimaryQueue(&fake);
    EXPECT_EQ(Units_QueuedOrdersForBuilding(7), 0);
    EXPECT_EQ(Units_NumberOnConstructQueueForBuilding(1, -1), 2);
    Units_DeleteUnitsForBuilding(1, -1);
    EXPECT_EQ(Units_NumberOnConstructQueue(1), 0);
    Units_DeleteUnitTypeFromConstructQueue(2);
    EXPECT_EQ(Units_ConstructQueueCount(), 0);
}

TEST_F(ConstructQueue, RegressionOnlyTheLocalTeamsFactoriesTakeEntriesThroughOrders)
{
    BUILDING* mine = Build_New(factory, 0, -1, 10, 10);
    BUILDING* theirs = Build_New(factory, 1, -1, 20, 10);
    Units_AddToConstructQueue(trooper->unittypeid, mine->id);
    Units_AddToConstructQueue(trooper->unittypeid, theirs->id);
    Build_StartProduction(mine, trooper);
    Build_StartProduction(theirs, trooper);
    Step(trooper->buildtime);
    // The local factory queued its next job as an order, executed after
    // the update; the other team's entry is never consumed here.
    EXPECT_EQ(mine->state, BS_PRODUCING);
    EXPECT_EQ(theirs->state, BS_IDLE);
    EXPECT_EQ(Units_NumberOnConstructQueueForBuilding(trooper->unittypeid, theirs->id), 1);
    EXPECT_EQ(Units_NumberOnConstructQueueForBuilding(trooper->unittypeid, mine->id), 0);
}

// ------------------------------------------------------------------ automatic production

class AutoProd : public BuildPlay {
protected:
    void Start()
    {
        tinfo.enableap = 1;
        AP_Start();
    }
};

TEST_F(AutoProd, NewFactoryTakesOverPrimaryExceptWhereThePlayerChose)
{
    Start();
    BUILDING* a = Build_New(factory, 0, -1, 10, 10);
    EXPECT_EQ(AP_GetPrimaryMaker(0, tank->unittypeid), a);
    EXPECT_EQ(a->primary, 1);
    AP_SetPrimary(a, 1, 0);   // the player's choice, for both types
    AP_SetPrimary(a, 0, 0);
    BUILDING* b = Build_New(factory, 0, -1, 20, 10);
    EXPECT_EQ(AP_GetPrimaryMaker(0, tank->unittypeid), a);
    EXPECT_EQ(AP_GetMakerList(0, tank->unittypeid)->count, 2);
    EXPECT_EQ(b->primary, 0);
    Build_Remove(a);   // b is idle and of the same kind: it succeeds
    EXPECT_EQ(AP_GetPrimaryMaker(0, tank->unittypeid), b);
    EXPECT_EQ(b->primary, 1);
}

TEST_F(AutoProd, WithoutASuccessorEachTypeFallsToTheLastMaker)
{
    BUILDINGTYPE* yard = QvWorld_BuildingType("Yard", 2, 2);
    yard->flags |= BTF_CANMAKE;
    yard->prereq.id = 16;
    tank->prereq.makers[1] = 16;
    PREREQ_Init();
    Start();
    BUILDING* y1 = Build_New(yard, 0, -1, 30, 30);
    BUILDING* y2 = Build_New(yard, 0, -1, 35, 30);
    BUILDING* f = Build_New(factory, 0, -1, 10, 10);
    y1->state = y2->state = BS_SELLING;   // busy: no successor
    EXPECT_EQ(AP_GetPrimaryMaker(0, tank->unittypeid), f);
    Build_Remove(f);
    EXPECT_EQ(AP_GetPrimaryMaker(0, tank->unittypeid), y2);
    EXPECT_EQ(AP_GetPrimaryMaker(0, trooper->unittypeid), nullptr);
}

TEST_F(AutoProd, IdleMakersShareTheirEfficiencyAmongProducers)
{
    Start();
    BUILDING* p1 = Build_New(factory, 0, -1, 5, 5);
    BUILDING* p2 = Build_New(factory, 0, -1, 10, 5);
    BUILDING* i1 = Build_New(factory, 0, -1, 15, 5);
    BUILDING* i2 = Build_New(factory, 0, -1, 20, 5);
    i2->efficiency = 60;
    Build_StartProduction(p1, tank);
    Build_StartProduction(p2, tank);
    EXPECT_EQ(GLL_GoFirst(i1->ap.srclist) != nullptr, true);
    EXPECT_EQ(i1->ap.srclist->count, 2);
    EXPECT_EQ(AP_ComputeCapacity(p1), 100 + 50 + 30);
    EXPECT_EQ(p1->ap.capacity, 180);
    Build_CancelProduction(p2);
    EXPECT_EQ(AP_ComputeCapacity(p1), 100 + 100 + 60 + 100);   // p2 lends too now
    Step();
    EXPECT_EQ(p1->prodleft, 500 - 400);
}

TEST_F(AutoProd, PausingNothingChangesNothingAndPausingTwiceCancelsAndResumes)
{
    Start();
    BUILDING* f = Build_New(factory, 0, -1, 10, 10);
    int u = tank->unittypeid;
    AP_PauseOrCancel(nullptr, u);
    EXPECT_EQ(AP_IsPaused(nullptr, u), 0);
    EXPECT_EQ(AP_AnyPaused(u), 0);
    Units_AddToConstructQueue(u, -1);
    Units_AddToConstructQueue(u, -1);
    AP_PauseOrCancel(nullptr, u);
    EXPECT_EQ(AP_IsPaused(nullptr, u), 1);
    EXPECT_EQ(AP_IsPaused(f, u), 1);
    EXPECT_EQ(Units_GetFromConstructQueue(f), -1);   // paused
    int queued, paused;
    AP_GetUnitTypeInfo(nullptr, u, &queued, &paused);
    EXPECT_EQ(queued, 2);
    EXPECT_EQ(paused, 1);
    AP_PauseOrCancel(nullptr, u);
    EXPECT_EQ(Units_NumberOnConstructQueue(u), 0);
    EXPECT_EQ(AP_AnyPaused(u), 0);
    // The primary alone: pause, resume takes the next entry at once.
    Units_AddToConstructQueue(u, -1);
    AP_PauseOrCancel(f, u);
    EXPECT_EQ(AP_IsPaused(f, u), 1);
    AP_Resume(f, u);
    EXPECT_EQ(AP_IsPaused(f, u), 0);
    EXPECT_EQ(Units_NumberOnConstructQueue(u), 0);
    Orders_AfterUpdate();
    EXPECT_EQ(f->state, BS_PRODUCING);
}

TEST_F(AutoProd, RegressionProgressOfShortJobsNeverDividesByZero)
{
    Start();
    BUILDING* f = Build_New(factory, 0, -1, 10, 10);
    tank->buildtime = 2;   // 200 work units: below 256
    Build_StartProduction(f, tank);
    EXPECT_EQ(AP_GetProgress(f, tank->unittypeid), 0);
    Step();
    EXPECT_EQ(AP_GetProgress(f, tank->unittypeid), 1 << 15);
    EXPECT_EQ(AP_GetProgress(nullptr, tank->unittypeid), 1 << 15);
    f->prodtime = 0;
    EXPECT_EQ(AP_GetProgress(f, tank->unittypeid), 0);
    EXPECT_EQ(AP_GetProgress(f, trooper->unittypeid), 0);
}

TEST_F(AutoProd, DumpWritesTheReportInItsLayout)
{
    QvTempDir home;
    Str_CopySafe(g_HomeDir, home.path().c_str(), sizeof g_HomeDir);
    Start();
    BUILDING* f = Build_New(factory, 0, -1, 10, 10);
    BUILDING* g = Build_New(factory, 0, -1, 20, 10);
    Build_StartProduction(f, tank);
    ASSERT_EQ(AP_DumpLog(), 1);
    g_HomeDir[0] = 0;
    std::string dashes(52, '-');
    char head[64];
    snprintf(head, sizeof head, "Building [%5d] Factory\n", g->id);
    std::string expect = std::string("AP Building list\n================\n\n") + head +
                         "  status         : (primary) (avail) \n"
                         "  usersetprimary : no\n"
                         "  order          : 0\n"
                         "  efficiency     : 100 %\n"
                         "  src list       : " + std::to_string(f->id) + "\n"
                         "  AP capacity    : 0\n" + dashes + "\n";
    std::string text = home.read("ap.log");
    EXPECT_EQ(text.substr(0, expect.size()), expect);
    EXPECT_NE(text.find("  status         : (source) (busy) \n"), std::string::npos);
    EXPECT_NE(text.find("AP Unittype info\n================\n\nUnit type [Tank]\n"
                        "  primary maker  : " + std::to_string(g->id) + "\n"),
              std::string::npos);
    EXPECT_NE(text.find("  upflist        : " + std::to_string(f->id) + " " +
                        std::to_string(g->id) + "\n"),
              std::string::npos);
    EXPECT_NE(text.find("  pausedlist     : <empty>\n"), std::string::npos);
}

// ------------------------------------------------------------------ a small base

class SmallBase : public BuildPlay {
protected:
    // A site completes, a factory makes three queued units under automatic
    // production, a plant powered off slows it, a source fills, and the
    // team sells its store and a building. The digest of every update.
    std::vector<uint64_t> Run(std::vector<int>* marks)
    {
        std::vector<uint64_t> digests;
        factory->resource[BUILD_POWER].need = 100;
        factory->efficiencyres = BUILDTYPE_EFFICIENCY{{{10, 0}, {100, 90}}, 65536, 10};
        factory->sell[0] = 40;
        factory->sell[1] = 5;
        tank->buildtime = 100;
        BUILDINGTYPE* well = QvWorld_BuildingType("Well", 2, 2);
        well->resource[1] = BUILDTYPE_RESOURCE{2, 1000, 0, 50, 100, -1, 0, 0, 0};
        tinfo.enableap = 1;
        Team_SetCredits(0, 3000);
        BUILDING* p = Build_New(plant, 0, -1, 30, 30);
        BUILDING* w = Build_New(well, 0, -1, 36, 30);
        Build_StartGame();
        int siteid = Build_NewConstructionSite(factory, 0, 10, 10)->id;
        for (int i = 0; i < 3; i++) Units_AddToConstructQueue(tank->unittypeid, -1);
        for (uint32_t n = 0; n < 2000; n++) {
            if (n == 40) AP_ProduceNextQueued(Build_FindById(siteid));
            if (n == 100 || n == 200) Orders_QPowerToggle(0, p->id);
            if (n == 1500) Orders_QSellResource(0, w->id);
            if (n == 1600) Orders_QSellBuilding(0, siteid);
            Step();
            digests.push_back(QvDigest_State());
            const BUILDING* f = Build_FindById(siteid);
            if (n == 30) marks->push_back(f->complete);
            if (n == 150) marks->push_back(f->efficiency);
            if (n == 1400) marks->push_back(teamdata[0].stats.made_units);
            if (n == 1400) marks->push_back(w->stored[1]);
            if (n == 1550) marks->push_back(Credits(0));
            if (n == 1999) marks->push_back(Credits(0));
            if (n == 1999) marks->push_back(Build_Count());
        }
        return digests;
    }
};

TEST_F(SmallBase, TwoRunsGiveTheSameDigestAtEveryUpdate)
{
    std::vector<int> m1, m2;
    std::vector<uint64_t> a = Run(&m1);
    // The second run starts the world afresh.
    Orders_Close();
    Build_EndGame();
    QvWorld_Close();
    QvWorld_Open(48, 48);
    Orders_Init();
    Prepare();
    std::vector<uint64_t> b = Run(&m2);
    ASSERT_EQ(a.size(), 2000u);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); i++) ASSERT_EQ(a[i], b[i]) << "update " << i;
    EXPECT_EQ(m1, m2);
    ASSERT_EQ(m1.size(), 7u);
    EXPECT_EQ(m1[0], 1);      // the site is complete
    EXPECT_EQ(m1[1], 10);     // the plant off: 10 %
    EXPECT_EQ(m1[2], 3);      // three tanks
    EXPECT_EQ(m1[3], 1000);   // the well's store is full
    // 3000 - 500 (site) - 300 (tanks) + 1000 x 50 % - 100 (resource sale)
    EXPECT_EQ(m1[4], 3000 - 500 - 300 + 400);
    EXPECT_EQ(m1[5], m1[4] + 500 * 40 / 100);   // the factory sold
    EXPECT_EQ(m1[6], 2);
}

} // namespace
