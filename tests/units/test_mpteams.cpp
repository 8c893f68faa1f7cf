// Multiplayer teams: start units per side, equivalent units and the
// equivalent buildings that only a flag pair switches on.
#include "units/mpteams.h"

#include <gtest/gtest.h>

#include <string>

#include "support/testsupport.h"
#include "support/world.h"
#include "units/building.h"
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
