// The building panel: which list shows, what the lists hold, and what a
// click on an entry does to the orders and the construct queue.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "map/fog.h"
#include "map/mapview.h"
#include "platform/input.h"
#include "screendata.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "ui/igi.h"
#include "ui/igibuild.h"
#include "ui/igievnt.h"
#include "ui/igipump.h"
#include "ui/slist.h"
#include "units/autoprod.h"
#include "units/building.h"
#include "units/constructq.h"
#include "units/orders.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

enum { TANK_ID = 1, DECOY_ID = 2, CREW_ID = 3, FACTORY_ID = 21, HUT_ID = 22, HQ_ID = 23 };

// Local team 1 with a factory that makes tanks (and their decoys), a crew
// that puts up huts; team 2 with a headquarters.
class BuildPanel : public QvWorldTest {
protected:
    QvScreenData screen_;
    void SetUp() override
    {
        QvWorldTest::SetUp();
        Input_Init();
        Event_Init();
        Orders_Init();
        Cfg_SetDefaults(&g_Config);
        Units_InitConstructQueues();
        Fog_SetSeeAll(1);
        g_LocalTeam = 1;
        g_NetworkGame = 0;
        Team_ForceRelation(1, 2, TR_ENEMY);
        Map_SetViewPixelPos(0, 0);
        teamdata[1].credits = 5000;
        Igi_Init();
        tank_->prereq = PREREQ{TANK_ID, {}, {FACTORY_ID}, 0, 0};
        decoy_ = QvWorld_UnitType("Decoy");
        decoy_->decoy = DM_ISDECOY;
        decoy_->prereq = PREREQ{DECOY_ID, {}, {FACTORY_ID}, 0, 0};
        crew_ = QvWorld_UnitType("Crew");
        crew_->prereq = PREREQ{CREW_ID, {}, {}, 0, 0};
        crew_->abilities.canbuild = 1;
        factorytype_ = QvWorld_BuildingType("Factory", 2, 2);
        factorytype_->prereq = PREREQ{FACTORY_ID, {}, {}, 0, 0};
        factorytype_->flags = BTF_CANMAKE;
        huttype_ = QvWorld_BuildingType("Hut", 2, 2);
        huttype_->prereq = PREREQ{HUT_ID, {}, {CREW_ID}, 0, 0};
        huttype_->cost = 100;
        hqtype_ = QvWorld_BuildingType("Headquarters", 2, 2);
        hqtype_->spytype = BSPY_HQ;
        hqtype_->prereq = PREREQ{HQ_ID, {HUT_ID}, {}, 0, 0};
        factory_ = Build_New(factorytype_, 1, -1, 5, 5);
        crew = Units_NewAt(crew_, 1, -1, 10, 10);
        hq_ = Build_New(hqtype_, 2, -1, 14, 5);
        PREREQ_Init();
        Igievnt_HandleGameEvent(1);
    }
    void TearDown() override
    {
        Igi_Close();
        PREREQ_Done();
        Orders_Close();
        Event_Close();
        Input_Close();
        Fog_SetSeeAll(0);
        g_LocalTeam = 0;
        QvWorldTest::TearDown();
    }
    void Send(uint32_t kind, int x, int y, uint32_t mods = 0)
    {
        EVENT e{};
        e.kind = kind;
        e.x = x;
        e.y = y;
        e.modifiers = mods;
        Igievnt_HandleEvent(&e);
    }
    void Frame() { Igizone_CallAllForward(ZR_UPDATE); }
    // Entry i of the shown list: three cells of 64 a row, rows of 50.
    static int EX(int i) { return 448 + (i % 3) * 64 + 32; }
    static int EY(int i) { return 64 + (i / 3) * 50 + 25; }
    void LeftOn(int i, uint32_t mods = 0) { Send(EV_LEFTUP, EX(i), EY(i), mods); }
    void RightOn(int i, uint32_t mods = 0)
    {
        Send(EV_RIGHTDOWN, EX(i), EY(i), mods);
        Send(EV_RIGHTUP, EX(i), EY(i), mods);
    }
    std::vector<std::string> Shown()
    {
        std::vector<std::string> names;
        SLIST* l = Igievnt_BuildList(igi_nfo.listmode);
        for (int i = 0; l && i < SList_Count(l); i++) {
            int32_t d1;
            if (SList_SelectAt(l, EX(i), EY(i), nullptr, &d1, nullptr) >= 0) names.push_back(Units_GetTypePtr(d1)->symbolid);
        }
        return names;
    }
    std::vector<int> Pending()
    {
        std::vector<int> codes;
        for (ORDERREC* n = Orders_QueueHead(&g_OrdersPending); n; n = n->next) codes.push_back(n->code);
        Orders_QueueFree(&g_OrdersPending);
        return codes;
    }
    void SelectFactory()
    {
        Igievnt_SelectBuilding(factory_);
        Igievnt_HandleGameEvent(1);
    }
    UNITTYPE* decoy_ = nullptr;
    UNITTYPE* crew_ = nullptr;
    BUILDINGTYPE* factorytype_ = nullptr;
    BUILDINGTYPE* huttype_ = nullptr;
    BUILDINGTYPE* hqtype_ = nullptr;
    BUILDING* factory_ = nullptr;
    BUILDING* hq_ = nullptr;
    UNIT* crew = nullptr;
};

TEST_F(BuildPanel, ListModeFollowsTheSelection)
{
    UNIT* spy = Units_NewAt(tank_, 1, -1, 20, 20);
    UnitId_Setup(&hq_->spy[1], spy);
    const struct {
        const char* name;
        std::function<void()> select;
        int want;
    } rows[] = {
        {"nothing", [] {}, LM_UNITS},
        {"one builder", [&] { Igievnt_SelectUnit(crew); }, LM_BUILDINGS},
        {"two units", [&] { Igievnt_SelectUnit(crew); Igievnt_SelectUnit(spy); }, LM_UNITS},
        {"an enemy headquarters with our spy", [&] { Igievnt_SelectBuilding(hq_); }, LM_SPYHQ},
        {"our factory", [&] { Igievnt_SelectBuilding(factory_); }, LM_UNITS},
    };
    for (const auto& r : rows) {
        Igievnt_ClearSelection();
        Igievnt_DropBuilding();
        r.select();
        Frame();
        EXPECT_EQ(igi_nfo.listmode, r.want) << r.name;
    }
    UnitId_Clear(&hq_->spy[1]);
    Igievnt_SelectBuilding(hq_);
    Frame();
    EXPECT_EQ(igi_nfo.listmode, LM_UNITS) << "no spy inside";
}

TEST_F(BuildPanel, DecoyToggleSwapsTheUnitTypesShown)
{
    Frame();
    EXPECT_EQ(Shown(), std::vector<std::string>({"Tank"}));
    Send(EV_LEFTUP, igi_nfo.zone.data[28].lx + 2, igi_nfo.zone.data[28].ly + 2);
    EXPECT_EQ(igi_nfo.decoy, 1);
    EXPECT_EQ(Shown(), std::vector<std::string>({"Decoy"}));
    Send(EV_LEFTUP, igi_nfo.zone.data[28].lx + 2, igi_nfo.zone.data[28].ly + 2);
    EXPECT_EQ(Shown(), std::vector<std::string>({"Tank"}));
}

TEST_F(BuildPanel, ClicksOnAUnitTypeStartQueueUnqueuePauseAndCancel)
{
    SelectFactory();
    Frame();
    ASSERT_EQ(Shown(), std::vector<std::string>({"Tank"}));
    // Idle: it starts at once.
    LeftOn(0);
    EXPECT_EQ(Pending(), std::vector<int>({QCONSTRUCTUNIT}));
    // Busy: the queue takes it, bound to the factory.
    factory_->state = BS_PRODUCING;
    factory_->unittypetobuild = tank_;
    LeftOn(0);
    LeftOn(0);
    EXPECT_EQ(Units_NumberOnConstructQueueForBuilding(tank_->unittypeid, factory_->id), 2);
    EXPECT_TRUE(Pending().empty());
    LeftOn(0, MOD_LSHIFT);
    EXPECT_EQ(Units_NumberOnConstructQueue(tank_->unittypeid), 1) << "shift takes the newest back";
    // Right: pause, then (paused) cancel; shift-right empties the type.
    RightOn(0);
    EXPECT_EQ(Pending(), std::vector<int>({QPAUSECONSTRUCT}));
    factory_->paused = 1;
    RightOn(0);
    EXPECT_EQ(Pending(), std::vector<int>({QCANCELCONSTRUCT}));
    LeftOn(0);
    EXPECT_EQ(Pending(), std::vector<int>({QUNPAUSECONSTRUCT})) << "a paused one resumes";
    RightOn(0, MOD_LSHIFT);
    EXPECT_EQ(Units_NumberOnConstructQueue(tank_->unittypeid), 0);
    // Without credits an idle factory says so and queues nothing.
    factory_->state = BS_IDLE;
    factory_->unittypetobuild = nullptr;
    factory_->paused = 0;
    teamdata[1].credits = 0;
    LeftOn(0);
    EXPECT_TRUE(Pending().empty());
}

// The three readings of automatic production: nothing while it is off;
// on, the player's choice makes the factory the type's primary maker, which
// then takes the queued tank when orders are distributed.
TEST_F(BuildPanel, AutomaticProductionAnswersThePlayersChoiceOnlyWhileOn)
{
    const int u = tank_->unittypeid;
    AP_UserSetPrimary(factory_, u);
    EXPECT_EQ(factory_->ap.usersetprimary, 0);
    EXPECT_EQ(AP_IsUnitTypeProduced(u), 0);
    tinfo.enableap = 1;
    AP_Start();
    AP_UserSetPrimary(factory_, u);
    EXPECT_EQ(factory_->ap.usersetprimary, 1);
    EXPECT_EQ(AP_GetPrimaryMaker(1, u), factory_);
    EXPECT_EQ(AP_IsUnitTypeProduced(u), 1);
    Pending();
    EXPECT_EQ(Units_AddToConstructQueue(u, -1), 1);
    AP_DistributeOrders(nullptr, u);
    EXPECT_EQ(Pending(), std::vector<int>({QCONSTRUCTUNIT}));
    EXPECT_EQ(Units_NumberOnConstructQueue(u), 0);
    AP_Stop();
    tinfo.enableap = 0;
}

TEST_F(BuildPanel, ABuildingTypeEntersPlacementOnlyWithTheCredits)
{
    Igievnt_SelectUnit(crew);
    Frame();
    ASSERT_EQ(igi_nfo.listmode, LM_BUILDINGS);
    igi_nfo.actionmode = AM_PLACE;
    LeftOn(0);
    EXPECT_EQ(igi_nfo.actionmode, AM_PLACE) << "kept when already placing";
    EXPECT_EQ(igi_nfo.placetype, huttype_->index);
    igi_nfo.actionmode = AM_DEFAULT;
    teamdata[1].credits = 50;
    LeftOn(0);
    EXPECT_EQ(igi_nfo.actionmode, AM_DEFAULT);
}

TEST_F(BuildPanel, SpiedPlansAreStolenOnlyWhenNewToTheTeam)
{
    UNIT* spy = Units_NewAt(tank_, 1, -1, 20, 20);
    EXPECT_EQ(Igievnt_TypeInList(TANK_ID, spy), 2) << "the factory gives the plans";
    EXPECT_EQ(Igievnt_TypeInList(HQ_ID, spy), 1) << "no plans, no hut to build it on";
    EXPECT_EQ(Igievnt_TypeInList(FACTORY_ID, spy), 3) << "no plans but nothing missing";
    spy->spy.plans[0] = HQ_ID;
    spy->spy.nrplans = 1;
    EXPECT_EQ(Igievnt_TypeInList(HQ_ID, spy), 0) << "stolen already";
}

} // namespace
