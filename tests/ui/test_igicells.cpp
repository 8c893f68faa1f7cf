// The building panel's list cells: which colour table a picture goes
// through, the counts with their pause marks, and the clock's sweep.
#include <gtest/gtest.h>

#include <string>

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
#include "ui/igimark.h"
#include "ui/igimouse.h"
#include "ui/igipump.h"
#include "units/autoprod.h"
#include "units/building.h"
#include "units/constructq.h"
#include "units/orders.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

enum { TANK_ID = 1, JEEP_ID = 2, CREW_ID = 3, BOAT_ID = 4, FACTORY_ID = 21, HUT_ID = 22, HQ_ID = 23, GARAGE_ID = 24,
       DOCK_ID = 25, TOWER_ID = 26 };

// Local team 1 with a factory (tanks), a garage (jeeps) and a crew that puts
// up huts and a tank that puts up towers; team 2 with a headquarters; nobody has a dock for boats.
class ListCells : public QvWorldTest {
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
        jeep_ = QvWorld_UnitType("Jeep");
        jeep_->prereq = PREREQ{JEEP_ID, {}, {GARAGE_ID}, 0, 0};
        boat_ = QvWorld_UnitType("Boat");
        boat_->prereq = PREREQ{BOAT_ID, {}, {DOCK_ID}, 0, 0};
        crew_ = QvWorld_UnitType("Crew");
        crew_->prereq = PREREQ{CREW_ID, {}, {}, 0, 0};
        crew_->abilities.canbuild = 1;
        BUILDINGTYPE* factorytype = QvWorld_BuildingType("Factory", 2, 2);
        factorytype->prereq = PREREQ{FACTORY_ID, {}, {}, 0, 0};
        factorytype->flags = BTF_CANMAKE;
        BUILDINGTYPE* garagetype = QvWorld_BuildingType("Garage", 2, 2);
        garagetype->prereq = PREREQ{GARAGE_ID, {}, {}, 0, 0};
        garagetype->flags = BTF_CANMAKE;
        hut_ = QvWorld_BuildingType("Hut", 2, 2);
        hut_->prereq = PREREQ{HUT_ID, {}, {CREW_ID}, 0, 0};
        hq_ = QvWorld_BuildingType("Headquarters", 2, 2);
        hq_->prereq = PREREQ{HQ_ID, {HUT_ID}, {}, 0, 0};
        QvWorld_BuildingType("Tower", 1, 1)->prereq = PREREQ{TOWER_ID, {}, {TANK_ID}, 0, 0};
        Units_NewAt(tank_, 1, -1, 30, 30);
        factory_ = Build_New(factorytype, 1, -1, 5, 5);
        Build_New(garagetype, 1, -1, 9, 5);
        crew = Units_NewAt(crew_, 1, -1, 10, 10);
        Build_New(hq_, 2, -1, 14, 5);
        PREREQ_Init();
        Igievnt_HandleGameEvent(1);
    }
    void TearDown() override
    {
        igi_nfo.listmode = LM_UNITS;
        Igi_Close();
        PREREQ_Done();
        Orders_Close();
        Event_Close();
        Input_Close();
        Fog_SetSeeAll(0);
        g_LocalTeam = 0;
        QvWorldTest::TearDown();
    }
    std::string Count(const UNITTYPE* t)
    {
        char text[32];
        IgiMark_CellCount(t->unittypeid, text, sizeof text);
        return text;
    }
    UNITTYPE* jeep_ = nullptr;
    UNITTYPE* boat_ = nullptr;
    UNITTYPE* crew_ = nullptr;
    BUILDINGTYPE* hut_ = nullptr;
    BUILDINGTYPE* hq_ = nullptr;
    BUILDING* factory_ = nullptr;
    UNIT* crew = nullptr;
};

TEST_F(ListCells, EachColourTable)
{
    const struct {
        const char* name;
        int listmode;
        int select;    // 0 nothing, 1 the factory, 2 the crew
        int prereqid, table;
    } rows[] = {
        {"a unit type with plans", LM_UNITS, 0, TANK_ID, CT_TEAM},
        {"no plans dim", LM_UNITS, 0, BOAT_ID, CT_DIM},
        {"the selected factory makes tanks", LM_UNITS, 1, TANK_ID, CT_TEAM},
        {"the selected factory can't make jeeps", LM_UNITS, 1, JEEP_ID, CT_GREY},
        {"no plans before can't make", LM_UNITS, 1, BOAT_ID, CT_DIM},
        {"the crew puts up huts", LM_BUILDINGS, 2, HUT_ID, CT_TEAM},
        {"the crew can't make a tower", LM_BUILDINGS, 2, TOWER_ID, CT_GREY},
        {"no unit selected after a placement (mend)", LM_BUILDINGS, 0, HUT_ID, CT_GREY},
        {"a spied type the local team lacks", LM_SPYPLANS, 0, HQ_ID, CT_HIGHLIGHT},
        {"a spied type it has", LM_SPYHQ, 0, HUT_ID, CT_TEAM},
    };
    for (const auto& r : rows) {
        igi_nfo.sbuild = r.select == 1 ? factory_ : nullptr;
        igi_nfo.firstunit = r.select == 2 ? crew : nullptr;
        igi_nfo.listmode = r.listmode;
        EXPECT_EQ(IgiMark_CellTable(0, r.prereqid), r.table) << r.name;
    }
    igi_nfo.sbuild = nullptr;
    igi_nfo.firstunit = nullptr;
}

TEST_F(ListCells, CountsWithAndWithoutAutomaticProduction)
{
    const int u = tank_->unittypeid;
    EXPECT_EQ(Count(tank_), "") << "nothing queued";
    Units_AddToConstructQueue(u, factory_->id);
    Units_AddToConstructQueue(u, factory_->id);
    igi_nfo.sbuild = factory_;
    EXPECT_EQ(Count(tank_), "2") << "off: the selected factory's queue, no mark";
    igi_nfo.sbuild = nullptr;
    Units_InitConstructQueues();
    BUILDING* second = Build_New(factory_->buildingtype, 1, -1, 20, 20);
    tinfo.enableap = 1;
    AP_Start();
    Units_AddToConstructQueue(u, -1);
    Units_AddToConstructQueue(u, -1);
    Units_AddToConstructQueue(u, -1);
    EXPECT_EQ(Count(tank_), "3");
    AP_PauseOrCancel(nullptr, u);
    EXPECT_EQ(Count(tank_), "3 (P)") << "the type paused";
    AP_Resume(nullptr, u);
    Units_AddToConstructQueue(u, second->id);
    AP_PauseOrCancel(second, u);
    const std::string shown = Count(tank_);
    EXPECT_EQ(shown.substr(shown.size() - 4), " (S)") << "one of two makers paused: " << shown;
    igi_nfo.sbuild = second;
    EXPECT_EQ(Count(tank_), "1 (P)") << "the paused maker selected";
    igi_nfo.sbuild = nullptr;
    AP_Stop();
    tinfo.enableap = 0;
}

TEST_F(ListCells, TheClockSweepsWithTheProgress)
{
    const int u = tank_->unittypeid;
    igi_nfo.sbuild = factory_;
    EXPECT_EQ(IgiMark_ClockLevel(u), 0) << "not producing";
    factory_->state = BS_PRODUCING;
    factory_->unittypetobuild = tank_;
    factory_->prodtime = 1000;
    const struct {
        int left, level;
    } rows[] = {{1000, 0}, {500, 127}, {0, IGIMARK_CLOCKTOP}};
    for (const auto& r : rows) {
        factory_->prodleft = r.left;
        EXPECT_EQ(IgiMark_ClockLevel(u), r.level) << r.left;
    }
    EXPECT_EQ(IgiMark_ClockLevel(jeep_->unittypeid), 0) << "another type";
    factory_->state = BS_IDLE;
    factory_->unittypetobuild = nullptr;
    igi_nfo.sbuild = nullptr;
}

} // namespace
