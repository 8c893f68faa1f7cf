// The Stats layer's counts, worth and outstanding items.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/gamestate.h"
#include "editor/editor.h"
#include "editor/mestats.h"
#include "editorfixture.h"
#include "map/overlay.h"
#include "platform/sortdisp.h"
#include "units/building.h"
#include "units/team.h"
#include "units/unit.h"
#include "widgets/qiitem.h"
#include "widgets/qilist.h"

namespace {

class Stats : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        SortDisp_Init();
        Ovl_Init();
        tank = QvWorld_UnitType("Tank");
        tank->buildcost = 700;
        depot = QvWorld_BuildingType("Depot", 2, 2);
        depot->cost = 1000;
        well = QvWorld_BuildingType("Well", 1, 1);
        well->cost = 350;
        well->resource[0].production = 5;
        well->resource[1].production = 2;
        list = new QIList("OutstandingList", nullptr, IRect(0, 0, 100, 100), IPoint(100, 10), 1, nullptr, nullptr);
        g_MeEditor.outstandingList = list;
        for (int t = 0; t < TEAM_MAXTEAMS; t++) teamdata[t].startpos = {-1, -1};
    }
    void TearDown() override
    {
        g_MeEditor.outstandingList = nullptr;
        delete list;
        Ovl_FreeAll();
        SortDisp_Close();
        EditorTest::TearDown();
    }
    std::vector<std::string> Items()
    {
        MeStats::Recount();
        MeStats::CheckOutstanding();
        std::vector<std::string> out;
        for (int i = 0; i < list->count; i++)
            out.push_back(static_cast<QITextItem*>(list->ItemAt(i))->text.c_str());
        return out;
    }
    UNITTYPE* tank = nullptr;
    BUILDINGTYPE* depot = nullptr;
    BUILDINGTYPE* well = nullptr;
    QIList* list = nullptr;
};

TEST_F(Stats, WorthShowsThousandsWithOneDecimalCut)
{
    const struct {
        int32_t worth;
        const char* shown;
    } rows[] = {{999, "0.9"}, {1050, "1.0"}, {12345, "12.3"}, {0, "0.0"}};
    for (const auto& r : rows) {
        char text[32];
        MeStats::WorthText(text, sizeof text, r.worth);
        EXPECT_STREQ(text, r.shown) << r.worth;
    }
}

TEST_F(Stats, WorthFollowsTheUpgradeChainAndEndsOnACycle)
{
    BUILDINGTYPE* big = QvWorld_BuildingType("BigDepot", 2, 2);
    big->cost = 500;
    big->upgradefrom = depot;
    EXPECT_EQ(MeStats::BuildingWorth(big), 1500);
    EXPECT_EQ(MeStats::BuildingWorth(nullptr), 0);
    // A cycle in the rules hung the editor: the walk stops after one lap
    // per type in the table.
    depot->upgradefrom = big;
    const int32_t worth = MeStats::BuildingWorth(big);
    EXPECT_GT(worth, 1500);
    EXPECT_LE(worth, (g_NrBuildingTypes + 1) * 1000);
    depot->upgradefrom = nullptr;
}

TEST_F(Stats, RecountAddsEveryTeamsThings)
{
    ASSERT_NE(Units_NewAt(tank, 2, -1, 10, 10), nullptr);
    ASSERT_NE(Units_NewAt(tank, 8, -1, 12, 10), nullptr);
    ASSERT_NE(Build_New(depot, 2, -1, 20, 20), nullptr);
    ASSERT_NE(Build_New(well, 2, -1, 30, 20), nullptr);
    Ovl_NewType();
    ASSERT_NE(Ovl_New(0, -1, -1, 3, nullptr, 24, 24, 30, 30), nullptr);
    g_TechLevel = 4;
    MeStats::Recount();
    const METEAM& t = g_MeEditor.teams[2];
    EXPECT_EQ(t.units, 1);
    EXPECT_EQ(t.buildings, 2);
    EXPECT_EQ(t.worth, 700 + 1000 + 350);
    EXPECT_EQ(g_MeEditor.teams[8].units, 1);
    EXPECT_EQ(g_MeEditor.waterTotal, 1);
    EXPECT_EQ(g_MeEditor.crystalTotal, 1);
    EXPECT_EQ(g_MeEditor.overlayTotal, 1);
    EXPECT_STREQ(g_MeEditor.techLevel->c_str(), "4");
    g_TechLevel = 10;
}

TEST_F(Stats, OutstandingItems)
{
    EXPECT_EQ(Items(), (std::vector<std::string>{"No water resources", "No crystal resources", "No teams defined"}));
    // The neutral team never counts as defined.
    ASSERT_NE(Units_NewAt(tank, 8, -1, 10, 10), nullptr);
    EXPECT_EQ(Items().back(), "No teams defined");
    ASSERT_NE(Units_NewAt(tank, 3, -1, 12, 10), nullptr);
    ASSERT_NE(Build_New(well, 5, -1, 30, 20), nullptr);
    teamdata[5].startpos = {100, -1};
    EXPECT_EQ(Items(), (std::vector<std::string>{"Team 4 has no start location", "Team 6 has no start location"}));
    teamdata[3].startpos = {48, 48};
    teamdata[5].startpos = {96, 96};
    EXPECT_TRUE(Items().empty());
}

TEST_F(Stats, TechLevelEditKeepsZeroToTen)
{
    QvLogCapture log(0x2000);
    const struct {
        const char* typed;
        int level;
        bool logged;
    } rows[] = {{"7", 7, false}, {"11", 7, true}, {"-1", 7, true}, {"0", 0, false}, {"10", 10, false}};
    g_TechLevel = 3;
    for (const auto& r : rows) {
        log.clear();
        g_MeEditor.techLevel->Set(r.typed);
        MeStats::CommitTechLevel();
        EXPECT_EQ(g_TechLevel, r.level) << r.typed;
        EXPECT_EQ(std::to_string(r.level), g_MeEditor.techLevel->c_str()) << r.typed;
        EXPECT_EQ(log.text().find("tech level out of range [" + std::string(r.typed) + "]") != std::string::npos,
                  r.logged)
            << r.typed;
    }
}

} // namespace
