// Multiplayer teams: start units per side, equivalent units and the
// equivalent buildings that only a flag pair switches on.
#include "units/mpteams.h"

#include <gtest/gtest.h>

#include <string>

#include "support/testsupport.h"
#include "support/world.h"
#include "game/systems.h"
#include "map/map.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

class MpTeams : public testing::Test {
protected:
    void SetUp() override { QvWorld_Open(8, 8); }
    void TearDown() override
    {
        MpTeams_Reset();
        MpTeams_SetScenarioEquivalentBuildings(0);
        MpTeams_SetSetupEquivalentBuildings(0);
        QvWorld_Close();
    }
    static UNITTYPE* Unit(const char* name, int side)
    {
        UNITTYPE* t = QvWorld_UnitType(name);
        t->side = (uint8_t)side;
        return t;
    }
    static BUILDINGTYPE* Building(const char* name, int side)
    {
        BUILDINGTYPE* t = QvWorld_BuildingType(name, 1, 1);
        t->side = (int8_t)side;
        return t;
    }
};

TEST_F(MpTeams, StartUnitsAreKeptPerSideAndBadOnesAreLoggedAndIgnored)
{
    QvLogCapture log;
    UNITTYPE* a = Unit("Rifle", 0);
    MpTeams_AddStartUnits(0, a, 3);
    MpTeams_AddStartUnits(4, a, 1);
    MpTeams_AddStartUnits(1, a, 0);
    ASSERT_EQ(MpTeams_StartUnitCount(0), 1);
    EXPECT_EQ(MpTeams_StartUnitCount(1), 0);
    EXPECT_NE(log.text().find("Invalid start units: side 4, type [Rifle], count 1"), std::string::npos);
    for (int i = 0; i <= MPTEAMS_MAXSTART; i++) MpTeams_AddStartUnits(3, a, 1);
    EXPECT_EQ(MpTeams_StartUnitCount(3), MPTEAMS_MAXSTART);
}

TEST_F(MpTeams, EquivalentUnitsFillOneSlotPerSideAndTheOwnSideIsTheTypeItself)
{
    UNITTYPE* a = Unit("Rifle", 0);
    UNITTYPE* b = Unit("Lancer", 1);
    UNITTYPE* c = Unit("Stalker", 2);
    const char names[2][64] = {"lancer", "STALKER"};
    MpTeams_AddEquivalentUnits(a, names, 2);
    MpTeams_ResolveEquivalentUnits();
    const UNITTYPE* expected[][4] = {{a, b, c, nullptr}, {nullptr, b, nullptr, nullptr}};
    for (int side = 0; side < 4; side++) {
        EXPECT_EQ(MpTeams_EquivalentUnit(a, side), expected[0][side]) << side;
        EXPECT_EQ(MpTeams_EquivalentUnit(b, side), expected[1][side]) << side;
    }
    const char ghost[1][64] = {"Ghost"};
    MpTeams_AddEquivalentUnits(b, ghost, 1);
    QV_EXPECT_FATAL(MpTeams_ResolveEquivalentUnits(), "Invalid equivalent unit [Ghost] specified");
}

TEST_F(MpTeams, EquivalentBuildingsNeedBothFlagsAndAnUnknownNameIsLoggedAndLeftOut)
{
    QvLogCapture log;
    BUILDINGTYPE* a = Building("Depot", 0);
    BUILDINGTYPE* b = Building("Store", 1);
    const char names[2][64] = {"Nowhere", "store"};
    for (int setup : {0, 1}) {
        MpTeams_SetScenarioEquivalentBuildings(1);
        MpTeams_SetSetupEquivalentBuildings(setup);
        MpTeams_AddEquivalentBuildings(a, names, 2);
        MpTeams_ResolveEquivalentBuildings();
        EXPECT_EQ(MpTeams_EquivalentBuilding(a, 0), setup ? a : nullptr);
        EXPECT_EQ(MpTeams_EquivalentBuilding(a, 1), setup ? b : nullptr);
        EXPECT_EQ(MpTeams_EquivalentBuilding(a, 2), nullptr);
    }
    EXPECT_NE(log.text().find("Invalid equivalent building [Nowhere] specified for [Depot]"), std::string::npos);
}

}   // namespace

namespace {

class MpTeamsStart : public QvWorldTest {
protected:
    void TearDown() override
    {
        g_MpTeamsStartUnits = 0;
        MpTeams_Reset();
        QvWorldTest::TearDown();
    }
    // "id@x,y " of a team's units in the order they were made.
    static std::string Units(int team)
    {
        std::string out;
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it))
            if (u->team == team)
                out += u->type->symbolid + std::string(" ") + std::to_string(u->id) + "@" +
                       std::to_string(u->tilepos.x) + "," + std::to_string(u->tilepos.y) + " ";
        return out;
    }
};

TEST_F(MpTeamsStart, PlayingTeamsGetTheirSidesListFromTheirStartTileOutwards)
{
    MpTeams_AddStartUnits(0, tank_, 2);
    MpTeams_AddStartUnits(0, jet_, 1);
    MpTeams_AddStartUnits(1, tank_, 1);
    struct ROW {
        const char* name;
        int type, side, x, y;
    } rows[] = {
        {"human on side 0", TT_HUMAN, 0, 10 * MAP_TILE_PIXELS, 10 * MAP_TILE_PIXELS},
        {"computer on side 1", TT_COMPUTER, 1, 40 * MAP_TILE_PIXELS + 5, 20 * MAP_TILE_PIXELS},
        {"no side", TT_HUMAN, -1, 30 * MAP_TILE_PIXELS, 30 * MAP_TILE_PIXELS},
        {"no start position", TT_HUMAN, 0, -1, -1},
        {"not playing", TT_DISABLED, 0, 50 * MAP_TILE_PIXELS, 50 * MAP_TILE_PIXELS},
        {"a side without start units", TT_HUMAN, 2, 20 * MAP_TILE_PIXELS, 50 * MAP_TILE_PIXELS},
    };
    for (int t = 0; t < 8; t++) teamdata[t].type = TT_DISABLED;
    for (int t = 0; t < 6; t++) {
        teamdata[t].type = rows[t].type;
        teamdata[t].side = (int8_t)rows[t].side;
        teamdata[t].startpos = {rows[t].x, rows[t].y};
    }
    Game_PlaceStartUnits();
    EXPECT_EQ(Units(0), "") << "the option off";
    g_MpTeamsStartUnits = 1;
    Game_PlaceStartUnits();
    // The list's order, new ids, the first on the start tile and the next
    // tank on the nearest free one; the jet flies over the first.
    const std::string first = Units(0);
    EXPECT_EQ(first.rfind("Tank 1@10,10 Tank 2@", 0), 0u) << first;
    EXPECT_NE(first.find(" Jet 3@10,10 "), std::string::npos) << first;
    EXPECT_EQ(Units(1), "Tank 4@40,20 ");
    for (int t = 2; t < 6; t++) EXPECT_EQ(Units(t), "") << rows[t].name;
    EXPECT_NE(log_.text().find("Team 2 has no side or start position"), std::string::npos);
    EXPECT_NE(log_.text().find("Team 3 has no side or start position"), std::string::npos);
    // Regression: a side the unit file gave nothing left its team empty, and
    // beaten at once, with only a set-up line to say so.
    EXPECT_NE(log_.text().find("Team 5 starts with no unit: side 2 has no start units"), std::string::npos)
        << log_.text();
    EXPECT_EQ(log_.text().find("Team 0 starts with no unit"), std::string::npos);
}

} // namespace
