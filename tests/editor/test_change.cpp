// Change detection: which edits make the open scenario count as modified.
#include <gtest/gtest.h>

#include <functional>

#include "core/gamestate.h"
#include "editor/editor.h"
#include "editor/mefile.h"
#include "editorfixture.h"
#include "map/map.h"
#include "map/overlay.h"
#include "map/region.h"
#include "platform/sortdisp.h"
#include "rules/endcond.h"
#include "units/building.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"

namespace {

class Change : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        SortDisp_Init();
        Ovl_Init();
        Ovl_NewType();
        tank = QvWorld_UnitType("Tank");
        depot = QvWorld_BuildingType("Depot", 2, 2);
        unit = Units_NewAt(tank, 1, -1, 10, 10);
        ASSERT_NE(unit, nullptr);
        building = Build_New(depot, 2, -1, 20, 20);
        ASSERT_NE(building, nullptr);
        thing = Ovl_New(0, -1, -1, 3, nullptr, 24, 24, 30, 30);
        ASSERT_NE(thing, nullptr);
        REGION r{};
        r.id = 3;
        r.x1 = 24, r.y1 = 48, r.x2 = 96, r.y2 = 120;
        region = Region_Add(&r);
        MeMenuFile::StoreBaseline();
    }
    void TearDown() override
    {
        for (int t = 0; t < TEAM_MAXTEAMS; t++) Endcond_SetEndCondFile(t, nullptr);
        Region_FreeAll();
        Ovl_FreeAll();
        SortDisp_Close();
        EditorTest::TearDown();
    }
    UNITTYPE* tank = nullptr;
    BUILDINGTYPE* depot = nullptr;
    UNIT* unit = nullptr;
    BUILDING* building = nullptr;
    OVERLAY* thing = nullptr;
    REGION* region = nullptr;
};

struct EditRow {
    const char* name;
    bool counts;
    std::function<void(UNIT*, BUILDING*, OVERLAY*, REGION*)> edit;
};

} // namespace

TEST_F(Change, EachGroupCountsAndWhatTheWriterLeavesOutDoesNot)
{
    const EditRow rows[] = {
        {"building hit points", true, [](UNIT*, BUILDING* b, OVERLAY*, REGION*) { b->hitpoints -= 1; }},
        {"building team", true, [](UNIT*, BUILDING* b, OVERLAY*, REGION*) { b->team = 3; }},
        {"unit moved", true, [](UNIT* u, BUILDING*, OVERLAY*, REGION*) { Units_ChangeTile(u, 11, 10); }},
        {"unit hit points", true, [](UNIT* u, BUILDING*, OVERLAY*, REGION*) { u->hitpoints -= 1; }},
        {"unit tactical values", true,
         [](UNIT* u, BUILDING*, OVERLAY*, REGION*) { u->usertactaiinfo.tenacity ^= 1; }},
        {"unit automove level", true,
         [](UNIT* u, BUILDING*, OVERLAY*, REGION*) {
             u->sorder.code = SO_AUTOMOVE;
             u->sorder.automove.level = 2;
         }},
        {"waypoint added", true,
         [](UNIT* u, BUILDING*, OVERLAY*, REGION*) { Trail_AddWaypoint(u->localtrail, WPT_MOVE, 4, 5, 0); }},
        {"thing moved", true, [](UNIT*, BUILDING*, OVERLAY* o, REGION*) { o->tilepos.x += 1; }},
        {"initial altitude", true, [](UNIT*, BUILDING*, OVERLAY*, REGION*) { MAP_ELEMENT_AT(5, 5)->initalt = 9; }},
        {"corner type", true, [](UNIT*, BUILDING*, OVERLAY*, REGION*) { MAP_ELEMENT_AT(5, 5)->tile ^= 0x3; }},
        {"region shape", true, [](UNIT*, BUILDING*, OVERLAY*, REGION* r) { r->y2 += 24; }},
        {"team relation", true, [](UNIT*, BUILDING*, OVERLAY*, REGION*) { teamdata[1].relation[2] = TR_ALLY; }},
        {"team credits", true, [](UNIT*, BUILDING*, OVERLAY*, REGION*) { teamdata[4].credits += 1; }},
        {"start position", true, [](UNIT*, BUILDING*, OVERLAY*, REGION*) { teamdata[0].startpos.y = 240; }},
        {"neutral team's group", true, [](UNIT*, BUILDING*, OVERLAY*, REGION*) { teamdata[8].group = 5; }},
        {"end condition file", true,
         [](UNIT*, BUILDING*, OVERLAY*, REGION*) { Endcond_SetEndCondFile(2, "ATTACK.END"); }},
        // The scenario file keeps both.
        {"tech level", true, [](UNIT*, BUILDING*, OVERLAY*, REGION*) { g_TechLevel = 3; }},
        {"terrain name", true, [](UNIT*, BUILDING*, OVERLAY*, REGION*) { g_TerrainName[0] = 'Z'; }},
        {"building critical", false, [](UNIT*, BUILDING* b, OVERLAY*, REGION*) { b->critical ^= 1; }},
        {"unit type", false, [](UNIT* u, BUILDING*, OVERLAY*, REGION*) { u->type = nullptr; }},
        {"current altitude, water, mineral", false,
         [](UNIT*, BUILDING*, OVERLAY*, REGION*) {
             MAP_ELEMENT* e = MAP_ELEMENT_AT(6, 6);
             e->altitude = 12, e->water = 5, e->mineral = 3;
         }},
    };
    for (const EditRow& row : rows) {
        SCOPED_TRACE(row.name);
        TearDown();
        SetUp();
        const int tech = g_TechLevel;
        const char terrain = g_TerrainName[0];
        UNITTYPE* type = unit->type;
        ASSERT_EQ(MeMenuFile::IsModified(), 0);
        row.edit(unit, building, thing, region);
        EXPECT_EQ(MeMenuFile::IsModified(), row.counts ? 1 : 0);
        g_TechLevel = tech;
        g_TerrainName[0] = terrain;
        unit->type = type;
    }
}

TEST_F(Change, AFoundDifferenceSticksUntilTheNextBaseline)
{
    // Moved and back before any check: nothing to save.
    Units_ChangeTile(unit, 12, 10);
    Units_ChangeTile(unit, 10, 10);
    EXPECT_EQ(MeMenuFile::IsModified(), 0);
    // Checked while moved: the move back no longer clears it.
    Units_ChangeTile(unit, 12, 10);
    EXPECT_EQ(MeMenuFile::IsModified(), 1);
    Units_ChangeTile(unit, 10, 10);
    EXPECT_EQ(MeMenuFile::IsModified(), 1);
    MeMenuFile::StoreBaseline();
    EXPECT_EQ(MeMenuFile::IsModified(), 0);
}

TEST_F(Change, NoScenarioOpenGivesZeroAndNothingToSave)
{
    g_MeEditor.flags &= ~MEF_OPEN;
    EXPECT_EQ(MeMenuFile::ChangeChecksum(), 0u);
    g_MeEditor.baseline = 0;
    teamdata[1].credits += 100;
    EXPECT_EQ(MeMenuFile::IsModified(), 0);
}
