// The unit, building and object brushes and the picker items on a flat
// world with real parts: placing, selecting, moving, copying, re-teaming and
// deleting, with the editor's counts following.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/rand.h"
#include "core/uid.h"
#include "editor/editor.h"
#include "editor/mepickthing.h"
#include "editor/methings.h"
#include "editorfixture.h"
#include "gen_sprites.h"
#include "editor/mepath.h"
#include "platform/effects.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "platform/video.h"
#include "support/golden.h"
#include "units/trail.h"
#include "map/map.h"
#include "map/overlay.h"
#include "platform/input.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/parts.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitlist.h"
#include "units/buildid.h"
#include "units/unitsorder.h"
#include "widgets/qilist.h"

namespace {

class Things : public EditorTest {
public:
    void SetUp() override
    {
        EditorTest::SetUp();
        SortDisp_Init();
        Parts_Init();
        Ovl_Init();
        GENSPRITE g;
        GenSprite_Pattern(SPRITE_REGULAR, 1, 1, 20, 20, &g);
        SPRITE_DESC d = g.Desc();
        ASSERT_EQ(Sprite_Write(dir_.file("part.spr").c_str(), &d), 1);
        sprite = Sprite_Load(dir_.file("part.spr").c_str());
        tank = QvWorld_UnitType("Tank");
        PARTTYPE* body = Parts_NewType();
        body->sprite = sprite;
        tank->partinfo.parttype[0] = body;
        tank->partinfo.nrparts = 1;
        tank->buildcost = 300;
        // Tracks stop at a footprint's cells (effect code 0), as the game's do.
        tank->effects = Effects_NewTable("Tracks", 100, 1);
        Effects_SetEffect(tank->effects, EFFECTS_SPECIAL_ROW, 0, 0, 0);
        hut = QvWorld_BuildingType("Hut", 2, 2);
        hut->cost = 1000;
        for (const char* n : {"Tree", "Rock"}) {
            OVERLAYTYPE* t = Ovl_NewType();
            snprintf(t->name, sizeof t->name, "%s", n);
            t->sprite = sprite, t->sx = t->sy = 20;
        }
        g_MeEditor.tool = &tool();
        tool().state = METS_IDLE, tool().flags = 0, tool().brushSize = 1;
        View(0, 0, 1);
    }
    void TearDown() override
    {
        tool().ForgetSelection();
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) Units_Delete(u);
        while (g_Buildings) Build_Remove(g_Buildings);
        Ovl_FreeAll();
        for (int i = 0; i < g_NrPartTypes; i++) g_PartTypes[i].sprite = nullptr;
        Parts_Close();
        Sprite_Free(sprite);
        SortDisp_Close();
        EditorTest::TearDown();
    }
    static MeToolSelect& tool() { return g_MeEditor.selectTool; }
    static MeBrushList& sel() { return g_MeBrushLists[MEBL_SELECTION]; }
    // The screen point of the middle of tile (x, y), the view at the origin.
    static QIPointer Tile(int x, int y, uint32_t mods = 0) { return At(24 * x + 12, 24 * y + 12 + 32, 1, mods); }
    static int Units(void)
    {
        int n = 0;
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (Iterate_UnitNext(&it)) n++;
        return n;
    }
    template <class B, class T> static B* Select(T* thing)
    {
        B* b = new B(thing);
        sel().Append(b);
        return b;
    }
    // A hut at (x, y) holding a tank in its first bay.
    BUILDING* HutWithTank(int x, int y, int team)
    {
        BUILDING* b = Build_New(hut, team, -1, x, y);
        UNIT* u = Units_NewAt(tank, team, -1, x, y);
        UnitId_Setup(&b->bay[0], u);
        BuildId_Setup(&u->partof, b);
        MeBrushBuild::Count(b, team, 1);
        MeBrushBuild::CountUnits(b);
        return b;
    }
    SPRITE* sprite = nullptr;
    UNITTYPE* tank = nullptr;
    BUILDINGTYPE* hut = nullptr;
};

} // namespace

TEST_F(Things, PlacingFollowsTheMapsRules)
{
    g_MeEditor.team = 2;
    g_MeEditor.orders.defPursuit = 2, g_MeEditor.orders.defTolerance = 0, g_MeEditor.orders.defIndependence = 1;
    MePickUnit unit(tank);
    MePickBuilding building(hut);
    MePickObject tree(0), rock(1);
    unit.Place(Tile(0, 5));
    unit.Place(Tile(5, 0));
    EXPECT_EQ(Units(), 0) << "row or column 0";
    unit.Place(Tile(5, 5));
    unit.Place(Tile(5, 5));
    ASSERT_EQ(Units(), 1) << "two clicks, one unit";
    const UNIT* u = Units_UnitAtMapLevel(tank->defmaplevel, 5, 5);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->team, 2);
    EXPECT_EQ(u->usertactaiinfo.tenacity, 2);
    EXPECT_EQ(u->tactaiinfo.selfpreservation, 2);
    EXPECT_EQ(u->usertactaiinfo.autonomy, 1);
    EXPECT_EQ(g_MeEditor.teams[2].units, 1);
    EXPECT_EQ(g_MeEditor.teams[2].worth, 300);

    // The footprint is centred on the pointer: (63, 63) anchors at (62, 62).
    building.Place(Tile(63, 63));
    EXPECT_EQ(Build_Count(), 0) << "a footprint on the last row";
    building.Place(Tile(62, 62));
    EXPECT_EQ(Build_Count(), 1);
    building.Place(Tile(62, 62));
    EXPECT_EQ(Build_Count(), 1) << "the same anchor twice";
    EXPECT_EQ(g_MeEditor.teams[2].worth, 1300);
    unit.Place(Tile(62, 62));
    EXPECT_EQ(Units(), 1) << "a unit inside the building";
    building.Place(Tile(6, 6));
    EXPECT_EQ(Build_Count(), 1) << "a footprint over the unit at (5, 5)";

    tree.Place(Tile(9, 9));
    tree.Place(Tile(9, 9));
    EXPECT_EQ(Ovl_Count(), 1) << "the same type twice";
    rock.Place(Tile(9, 9, MOD_LSHIFT));
    EXPECT_EQ(Ovl_Count(), 2) << "Shift keeps the tree";
    Select<MeBrushObject>(g_Overlays);
    tree.Place(Tile(10, 10));
    rock.Place(Tile(10, 10));
    EXPECT_EQ(Ovl_Count(), 3) << "the rock replaced the tree";
    EXPECT_EQ(g_MeEditor.overlayTotal, 3);
    EXPECT_EQ(sel().count, 1) << "the selected tree at (9, 9) stays selected";
}

TEST_F(Things, ABiggerBrushScattersWithinItsSquare)
{
    QIList picker("Units", nullptr, IRect(448, 100, 120, 100), IPoint(60, 50), 2, nullptr, nullptr);
    picker.listFlags |= QILF_MULTISELECT;
    picker.Add(new MePickObject(0));
    picker.SetCurrent(0);
    tool().picker = &picker;
    tool().brushSize = 3;
    tool().SetState(METS_CLICK);
    Crt_Srand(7);
    for (int i = 0; i < 40; i++) tool().Click(Tile(20, 20));
    for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay) {
        EXPECT_GE(o->tilepos.x, 18);
        EXPECT_LE(o->tilepos.x, 22);
        EXPECT_LE(abs(24 * o->tilepos.y + 12 - (24 * 20 + 12)), 36 + 12);
    }
    EXPECT_GT(Ovl_Count(), 3);
    tool().picker = nullptr;
}

TEST_F(Things, BandsToggleAndCopiesTakeTheSelection)
{
    MeToolSelect& t = tool();
    UNIT* a = Units_NewAt(tank, 0, -1, 5, 5);
    UNIT* b = Units_NewAt(tank, 0, -1, 8, 5);
    Select<MeBrushUnit>(a)->Hilite();
    // Shift band over both: a leaves, b joins.
    t.LeftDown(At(24 * 4, 32 + 24 * 4, 1, MOD_LSHIFT));
    t.PointerMove(At(24 * 10, 32 + 24 * 7, 1, MOD_LSHIFT));
    EXPECT_EQ(SortDisp_GetRenderMode(a->basepart->display), 0) << "lit while under the band: a goes";
    t.LeftUp(At(24 * 10, 32 + 24 * 7));
    ASSERT_EQ(sel().count, 1);
    EXPECT_EQ(sel().head->Thing(), b);
    // Ctrl+D: the original stays, the copy is selected one tile right and down.
    t.CopySelection();
    ASSERT_EQ(Units(), 3);
    UNIT* copy = static_cast<UNIT*>(sel().head->Thing());
    EXPECT_NE(copy, b);
    EXPECT_EQ(copy->tilepos.x, 9);
    EXPECT_EQ(copy->tilepos.y, 6);
    EXPECT_EQ(b->tilepos.x, 8);
    // A click on empty map clears.
    t.LeftDown(At(24 * 30, 32 + 24 * 30, 1));
    t.LeftUp(At(24 * 30, 32 + 24 * 30));
    EXPECT_EQ(sel().count, 0);
}

TEST_F(Things, BrushesKeepTheCountsAndTheMap)
{
    struct Row {
        const char* name;
        std::function<void(Things*)> run;
    } rows[] = {
        {"NextTeam wraps 7 to 0, neutral stays",
         [](Things* f) {
             UNIT* u = Units_NewAt(f->tank, 7, -1, 5, 5);
             UNIT* n = Units_NewAt(f->tank, TEAM_NEUTRAL, -1, 6, 5);
             Select<MeBrushUnit>(u), Select<MeBrushUnit>(n);
             tool().NextTeamSelection();
             EXPECT_EQ(u->team, 0);
             EXPECT_EQ(n->team, TEAM_NEUTRAL);
         }},
        {"a building's re-team takes its units' counts",
         [](Things* f) {
             BUILDING* b = f->HutWithTank(10, 10, 1);
             Select<MeBrushBuild>(b);
             tool().NextTeamSelection();
             EXPECT_EQ(b->team, 2);
             EXPECT_EQ(teamdata[2].firstbuilding, b);
             EXPECT_EQ(UnitId_Ptr(&b->bay[0])->team, 2);
             EXPECT_EQ(g_MeEditor.teams[1].worth, 0);
             EXPECT_EQ(g_MeEditor.teams[2].worth, 1300);
             EXPECT_EQ(g_MeEditor.teams[2].units, 1);
         }},
        {"an occupied tile stops a unit",
         [](Things* f) {
             UNIT* u = Units_NewAt(f->tank, 0, -1, 5, 5);
             Units_NewAt(f->tank, 0, -1, 6, 5);
             Select<MeBrushUnit>(u);
             tool().MoveBy(IPoint(24, 0), IPoint(0, 0));
             EXPECT_EQ(u->tilepos.x, 5);
         }},
        {"a footprint stops a unit's drag and copy",
         [](Things* f) {
             Build_New(f->hut, 0, -1, 10, 10);
             UNIT* u = Units_NewAt(f->tank, 0, -1, 9, 10);
             UNIT* v = Units_NewAt(f->tank, 0, -1, 9, 9);
             Select<MeBrushUnit>(u);
             tool().MoveBy(IPoint(24, 0), IPoint(0, 0));
             EXPECT_EQ(u->tilepos.x, 9);
             tool().ForgetSelection();
             Select<MeBrushUnit>(v);
             tool().CopySelection();
             EXPECT_EQ(Units(), 2);
         }},
        {"a building's drag stops short of covering another unit",
         [](Things* f) {
             BUILDING* b = f->HutWithTank(10, 10, 0);
             Units_NewAt(f->tank, 0, -1, 13, 10);
             Select<MeBrushBuild>(b);
             tool().MoveBy(IPoint(48, 0), IPoint(0, 0));
             EXPECT_EQ(b->tilex, 10);
             tool().MoveBy(IPoint(-24, 0), IPoint(0, 0));
             EXPECT_EQ(b->tilex, 11) << "its own unit moves with it";
         }},
        {"a building stays inside the map",
         [](Things* f) {
             BUILDING* b = Build_New(f->hut, 0, -1, 50, 50);
             Select<MeBrushBuild>(b);
             tool().MoveBy(IPoint(24 * 40, 24 * 40), IPoint(0, 0));
             EXPECT_EQ(b->tilex, 64 - 2 - 1);
             tool().MoveBy(IPoint(-24 * 200, 0), IPoint(0, 0));
             EXPECT_EQ(b->tilex, 1);
         }},
        {"deleting a building deletes its units; Sel All twice deletes each once",
         [](Things* f) {
             f->HutWithTank(10, 10, 3);
             for (int i = 0; i < 2; i++) tool().SelectUnitsOfTeam(-1), tool().SelectBuildingsOfTeam(-1);
             tool().DeleteSelection();
             EXPECT_EQ(Units(), 0);
             EXPECT_EQ(Build_Count(), 0);
             EXPECT_EQ(g_MeEditor.teams[3].units, 0);
             EXPECT_EQ(g_MeEditor.teams[3].worth, 0);
         }},
        {"a copy onto a blocked tile is not made",
         [](Things* f) {
             UNIT* u = Units_NewAt(f->tank, 0, -1, 5, 5);
             Units_NewAt(f->tank, 0, -1, 6, 6);
             Select<MeBrushUnit>(u);
             tool().CopySelection();
             EXPECT_EQ(Units(), 2);
             EXPECT_EQ(Units_UnitAtMapLevel(u->maplevel, 5, 5), u);
             EXPECT_EQ(sel().count, 0) << "the original is no stand-in for a copy";
         }},
        {"closing the tools forgets the selection before the scenario goes",
         [](Things* f) {
             Select<MeBrushUnit>(Units_NewAt(f->tank, 0, -1, 5, 5));
             g_MeEditor.CloseTools();
             for (const MeBrushList& l : g_MeBrushLists) EXPECT_EQ(l.count, 0);
         }},
        {"SetOrders keeps a value given as -1",
         [](Things* f) {
             UNIT* u = Units_NewAt(f->tank, 0, -1, 5, 5);
             Select<MeBrushUnit>(u);
             tool().SetSelectionOrders(1, 2, 0, 2);
             EXPECT_EQ(u->sorder.code, SO_AUTOMOVE);
             u->usertactaiinfo.autonomy = 0;
             tool().SetSelectionOrders(2, -1, 1, -1);
             EXPECT_NE(u->sorder.code, SO_AUTOMOVE);
             EXPECT_EQ(u->usertactaiinfo.tenacity, 2);
             EXPECT_EQ(u->usertactaiinfo.autonomy, 0);
             EXPECT_EQ(u->usertactaiinfo.selfpreservation, 1);
         }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        r.run(this);
        tool().ForgetSelection();
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it)) Units_Delete(u);
        while (g_Buildings) Build_Remove(g_Buildings);
        for (METEAM& t : g_MeEditor.teams) t.units = t.buildings = t.worth = 0;
    }
}


TEST_F(Things, FeedbackFramesAtZoomOne)
{
    for (const char* f : {"font256a.pcx", "font256b.pcx"})
        ASSERT_TRUE(Font_Load((std::string(QV_TEST_RUNDIR) + "/data/mapedit/" + f).c_str(), f[7] - 'a'));
    MeEditor& me = g_MeEditor;
    Uid_Reset(); // the labels show ids
    QIList picker("Picker", nullptr, IRect(448, 100, 120, 100), IPoint(60, 50), 2, nullptr, nullptr);
    picker.SetCurrent(0);
    tool().picker = &picker;
    me.team = 1;
    hut->width = hut->height = 3; // cells beyond its 2 x 2 grid are not its own
    me.pathTool.clip = IRect(0, 32, 448, 448);
    Units_NewAt(tank, 2, -1, 10, 4);
    UNIT* walker = Units_NewAt(tank, 3, -1, 6, 12);
    Trail_AddWaypoint(&me.pathTool.editPath, WPT_MOVE, 4, 14, 0);
    Trail_AddWaypoint(&me.pathTool.editPath, WPT_MOVE, 9, 16, 0);
    sel().Append(new MeBrushUnit(walker));
    MePaths::AssignToSelection(2);
    tool().ForgetSelection();
    struct Row {
        const char* name;
        uint32_t golden;
        std::function<void(void)> draw;
    } rows[] = {
        {"unit_ghost", 0xA90A9161u,
         [&] {
             picker.Add(new MePickUnit(tank));
             tool().SetState(METS_CLICK);
             tool().Draw(Tile(5, 5));
         }},
        {"building_preview", 0xFCF80B21u,
         [&] {
             picker.Add(new MePickBuilding(hut));
             tool().SetState(METS_CLICK);
             tool().Draw(Tile(10, 5)); // the unit at (10, 4) stands on the footprint
         }},
        {"labels", 0xD7CB33B1u,
         [&] {
             me.showIds = me.showPlayers = 1;
             tool().SelectUnitsOfTeam(-1);
             SortDisp_DrawAll();
             tool().DrawSelectionLabels();
         }},
        {"paths", 0xA08A6ECBu,
         [&] {
             for (int i = 0; i < 3; i++) Trail_AddWaypoint(&me.pathTool.editPath, WPT_MOVE, 12 + 2 * i, 8 + i, 0);
             sel().Append(new MeBrushUnit(walker));
             sel().Append(new MeBrushWaypoint(me.pathTool.editPath.head->next, &me.pathTool.editPath));
             me.pathTool.DrawMap();
         }},
    };
    for (Row& r : rows) {
        SCOPED_TRACE(r.name);
        Graph_ClearBitmap(bb_, 90);
        r.draw();
        EXPECT_TRUE(DemoFixture_Matches(bb_->data, g_Palette, r.golden, (std::string(r.name) + ".pcx").c_str()));
        picker.Clear();
        tool().SetState(METS_IDLE);
        tool().ForgetSelection();
    }
    me.pathTool.Close();
    tool().picker = nullptr;
}
