// The editor state run through the state loop on a copy of the demo
// scenario, with scripted passes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/crc32.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/rand.h"
#include "core/tlog.h"
#include "editor/editor.h"
#include "editor/medesk.h"
#include "editor/mefile.h"
#include "editor/meminimap.h"
#include "editor/meterrain.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "map/region.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "rules/scenario.h"
#include "editorfixture.h"
#include "editorvisit.h"
#include "support/golden.h"
#include "support/testsupport.h"
#include "support/passscript.h"
#include "editor/mepath.h"
#include "editor/mepickthing.h"
#include "editor/methings.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitsorder.h"
#include "widgets/qidesktop.h"
#include "widgets/qiedit.h"
#include "widgets/qilist.h"
#include "widgets/qistatic.h"

namespace fs = std::filesystem;

namespace {

// One CRC over every element's initial altitude and tile word.
uint32_t TerrainCrc(void)
{
    uint32_t crc = 0;
    for (int y = 0; y < mapsizey; y++)
        for (int x = 0; x < mapsizex; x++) {
            const MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
            const uint8_t bytes[5] = {(uint8_t)e->initalt, (uint8_t)e->tile, (uint8_t)(e->tile >> 8),
                                      (uint8_t)(e->tile >> 16), (uint8_t)(e->tile >> 24)};
            crc = Crc32_Update(crc, bytes, sizeof bytes);
        }
    return crc;
}

} // namespace

TEST_F(EditorVisit, TwoVisitsGoOnNumberingScreenshotsAndGiveTheHeapBack)
{
    const int first = MeDesktop::ScreenshotCounter();
    long blocks = 0;
    for (int visit = 0; visit < 2; visit++) {
        SCOPED_TRACE(visit);
        QvPassScript s(200);
        int teamSeen = -1;
        s.onPass = [&](int pass) {
            MeEditor& me = g_MeEditor;
            if (pass == 2 && visit == 0) {
                // A field holding the keyboard takes the digits.
                QIEdit* edit = new QIEdit("Field", nullptr, IRect(460, 60, 100, 12), IPoint(1, 1), 0, 0, 0x2, 8,
                                          15, &me.fontB->font);
                QIWidget::AddChild(me.backdrop, edit);
                me.desktop->SetCapture(edit, true);
            }
            if (pass == 6 && visit == 0) {
                teamSeen = me.team;
                me.desktop->SetCapture(me.desktop->captureWidget, false);
            }
        };
        s.Wait(20, 3).Add(QvKeyDown(6, '5')).Add(QvKeyUp(6)).Wait(20);
        Chord(s, SC_LSHIFT, 44);
        s.Wait(20);
        Chord(s, SC_LALT, 16);
        s.Wait(20, 3);
        g_MeEditor.team = 0;
        if (visit == 1) blocks = Debug_LiveBlocks();
        g_GameState = GS_EDITOR;
        Game_Main();
        EXPECT_FALSE(s.overran);
        EXPECT_EQ(g_GameState, GS_QUIT);
        if (visit == 0) {
            EXPECT_EQ(teamSeen, 0) << "the digit went to the field";
        }
        char name[32];
        snprintf(name, sizeof name, "mscr%04d.pcx", first + visit);
        EXPECT_EQ(access(name, 0), 0) << name << log.text();
        g_QuitRequested = 0;
    }
    EXPECT_EQ(MeDesktop::ScreenshotCounter(), first + 2);
    EXPECT_EQ(Debug_LiveBlocks(), blocks);
    const std::string text = log.text();
    EXPECT_NE(text.find("MapEditor is starting."), std::string::npos);
    EXPECT_NE(text.find("MapEditor has shutdown."), std::string::npos);
}

TEST_F(EditorVisit, AClosedWindowEndsTheVisitAsAltQDoes)
{
    QvPassScript s(50);
    QvPass close;
    close.quit = true;
    s.Wait(20, 3).Add(close);
    g_GameState = GS_EDITOR;
    Game_Main();
    EXPECT_FALSE(s.overran);
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_EQ(g_MeEditor.desktop, nullptr);
    EXPECT_NE(log.text().find("MapEditor has shutdown."), std::string::npos);
}

// A script that counts its passes as it is written.
struct Counted {
    QvPassScript s{400};
    int n = 0;
    Counted& Add(const QvPass& p)
    {
        s.Add(p);
        n++;
        return *this;
    }
    Counted& Wait(uint32_t ms, int count = 1)
    {
        s.Wait(ms, count);
        n += count;
        return *this;
    }
    Counted& Chord(int modifierKey, int scancode) { return Add(QvKeyDown(modifierKey)).Add(QvKey(scancode)).Add(QvKeyUp(modifierKey)); }
};

TEST_F(EditorVisit, EditsTheDemoScenarioAndPlaysIt)
{
    enum : uint32_t { ZOOM3 = 0x1E2D442Du, ZOOM1 = 0xAA13C736u, GAME = 0x6F62AE00u };
    Counted c;
    const int shots = MeDesktop::ScreenshotCounter();
    c.Wait(20, 3);
    const int openPass = c.n;
    c.Wait(20, 3).Add(QvMove(224, 256)).Wait(20);
    c.Add(QvKey(13)).Add(QvKey(13)).Wait(20);
    c.Add(QvKeyDown(SC_RIGHT)).Wait(20, 4).Add(QvKeyUp(SC_RIGHT)).Add(QvKeyDown(SC_DOWN)).Wait(20, 3);
    c.Add(QvKeyUp(SC_DOWN)).Wait(20, 2);
    const int zoom3Pass = c.n;
    c.Add(QvMove(561, 388)).Add(QvButton(1)).Add(QvButton(0)).Wait(20);
    c.Add(QvKey(12)).Add(QvKey(12)).Wait(20);
    c.Chord(SC_LALT, 19).Add(QvKey(19)).Add(QvKey(30)).Wait(20, 2);
    c.Add(QvMove(100, 100)).Wait(10).Add(QvButton(1));
    for (int i = 1; i <= 4; i++) c.Add(QvMove(100 + 25 * i, 100 + 20 * i)).Wait(20);
    const int bandPass = c.n;
    c.Add(QvButton(0)).Wait(10);
    c.Add(QvMove(300, 300)).Wait(10).Add(QvButton(1, 1));
    for (int i = 1; i <= 4; i++) c.Add(QvMove(310 + 10 * i, 250)).Wait(100);
    c.Add(QvButton(0, 1)).Wait(10).Add(QvMove(224, 256)).Wait(20);
    c.Chord(SC_LSHIFT, 44).Chord(SC_LSHIFT, 44).Wait(20, 2);
    const int savePass = c.n;
    c.Wait(20).Chord(SC_LCTRL, 16).Wait(50, 8);
    QvPass quit;
    quit.quit = true;
    c.Add(quit);

    uint32_t editorCrc = 0, gameCrc = 0;
    bool zoom3Ok = false, zoom1Ok = false, gameOk = false;
    int inGame = 0;
    c.s.onPass = [&](int pass) {
        MeEditor& me = g_MeEditor;
        if (pass == openPass) {
            OpenScenario("DEMO");
            Crt_Srand(1);
        }
        if (pass == zoom3Pass) {
            EXPECT_EQ(me.view.zoom, 3);
            zoom3Ok = FrameMatches(ZOOM3, "edit_zoom3.pcx");
        }
        if (pass == bandPass) {
            EXPECT_EQ(me.view.zoom, 1);
            EXPECT_EQ(me.tool->state, METS_BAND);
            EXPECT_TRUE(me.flags & MEF_ALTITUDES);
            zoom1Ok = FrameMatches(ZOOM1, "edit_zoom1.pcx");
        }
        if (pass == savePass) {
            EXPECT_EQ(Scenario_Save(), 1);
            EXPECT_EQ(Map_Save(g_ScenarioMapPath), 1);
            MeMenuFile::StoreBaseline(); // saved: Ctrl+Q has nothing to ask
            editorCrc = TerrainCrc();
        }
        if (g_GameState == GS_INGAME && ++inGame == 1) gameCrc = TerrainCrc();
        // The frame presented before this pass is the game's first.
        if (inGame == 2) gameOk = FrameMatches(GAME, "edit_game.pcx");
    };
    g_GameState = GS_EDITOR;
    Game_Main();
    EXPECT_FALSE(c.s.overran);
    EXPECT_TRUE(zoom3Ok);
    EXPECT_TRUE(zoom1Ok);
    EXPECT_TRUE(gameOk);
    EXPECT_NE(editorCrc, 0u);
    EXPECT_EQ(gameCrc, editorCrc);
    char name[32];
    for (int i = 0; i < 2; i++) {
        snprintf(name, sizeof name, "mscr%04d.pcx", shots + i);
        EXPECT_EQ(access(name, 0), 0) << name;
    }
    EXPECT_NE(log.text().find("MapEditor has shutdown."), std::string::npos);
}

TEST_F(EditorVisit, TheTerrainLayersWidgetsSetTheBrushThatPaintsTheMap)
{
    enum : uint32_t { LAYER = 0x052DF017u };
    const int L = 448, T = 32;
    Counted s;
    auto Click = [&](int x, int y) { s.Add(QvMove(x, y)).Wait(10).Add(QvButton(1)).Add(QvButton(0)).Wait(10); };
    s.Wait(20, 3);
    const int open = s.n;
    s.Wait(20, 2);
    Click(223, 15);                       // the main menu's "Terrain"
    Click(L + 6 + 34 + 16, T + 152 + 16); // "BrushCircle"
    Click(L + 56 + 9, T + 202 + 7);       // "BrushInc"
    Click(L + 128, T + 256);              // "DrawAltitude"
    Click(L + 50 + 6 * 10 + 5, T + 232);  // "AltLevel" at 8
    Click(L + 6 + 3 * 32 + 16, T + 68);   // texture 3
    const int set = s.n;
    s.Add(QvMove(200, 200)).Wait(10).Add(QvButton(1));
    for (int i = 1; i <= 4; i++) s.Add(QvMove(200 + 10 * i, 200)).Wait(20);
    s.Add(QvButton(0)).Wait(10);
    s.Add(QvMove(300, 300)).Wait(20);
    const int painted = s.n;
    Click(L + 170 + 9, T + 224 + 7); // "AltInc"
    Click(100, 400);
    const int raised = s.n;
    s.Add(QvKeyDown(SC_LALT)).Add(QvMove(220, 200)).Wait(20).Add(QvButton(1)).Add(QvButton(0)).Add(QvKeyUp(SC_LALT));
    s.Wait(20, 2);
    const int picked = s.n;
    s.Chord(SC_LALT, 16);
    int before = 0;
    bool layerOk = false;
    // An element that a size-3 step at screen (x, y) always covers.
    auto Under = [](int x, int y) {
        const IPoint c = MeBigMap::ScreenToCorner(IPoint(x, y));
        return IPoint(c.x / 2, c.y / 2);
    };
    s.s.onPass = [&](int pass) {
        MeEditor& me = g_MeEditor;
        MeBrushTerrain& b = me.terrainBrush;
        if (pass == open) {
            OpenScenario("DEMO");
            EditorTest::ResetTerrainBrush();
            Crt_Srand(1);
            me.desktop->Repaint(nullptr);
        }
        if (pass == set) {
            EXPECT_EQ(me.tool, &b);
            EXPECT_EQ(b.shape, METB_CIRCLE);
            EXPECT_EQ(b.size, 3);
            EXPECT_EQ(b.paintAltitude, 1);
            EXPECT_EQ(b.altitude, 8);
            EXPECT_EQ(b.cornerType, 3) << me.texturePicker->current << " " << me.texturePicker->hover;
            before = (int)MAP_ELEMENT_AT(Under(100, 400).x, Under(100, 400).y)->altitude;
        }
        if (pass == painted) {
            EXPECT_EQ((int)MAP_ELEMENT_AT(Under(220, 200).x, Under(220, 200).y)->altitude, 8);
            EXPECT_EQ(MAP_ELEMENT_AT(Under(220, 200).x, Under(220, 200).y)->tile & 0xffff, 0x3333u);
            layerOk = FrameMatches(LAYER, "terrain_layer.pcx");
        }
        if (pass == raised) {
            EXPECT_EQ(b.altitude, METB_RAISE);
            EXPECT_EQ((int)MAP_ELEMENT_AT(Under(100, 400).x, Under(100, 400).y)->altitude, std::min(before + 1, 11));
            b.cornerType = 9;
        }
        if (pass == picked) {
            EXPECT_EQ(b.cornerType, 3) << "the Alt-click took the painted corner";
        }
    };
    g_GameState = GS_EDITOR;
    Game_Main();
    EXPECT_FALSE(s.s.overran);
    EXPECT_TRUE(layerOk);
    EditorTest::ResetTerrainBrush();
}

TEST_F(EditorVisit, ACreatedScenarioIsEditedSavedAndReadBack)
{
    enum : uint32_t { CREATED = 0x6FB424DAu, STATS = 0xEAC8F531u };
    QvPassScript s(2000);
    VisitPace(s);
    bool createdOk = false, statsOk = false;
    uint32_t editorCrc = 0;
    s.ClickOn("Create")
        .Do([] {
            g_MeEditor.scenarioName->Set("TEST1");
            SetEdit("ScenarioCreateWidthEdit", "40");
            SetEdit("ScenarioCreateHeightEdit", "30");
        })
        .ClickOn("ScenarioCreateOk")
        .Do([] {}, 3)
        .Do([&] { createdOk = FrameMatches(CREATED, "edit_created.pcx"); })
        .Do([] { Crt_Srand(1); })
        .Chord(SC_LALT, 19)
        .Chord(0, 19)
        .ClickOn("AutoRidge")
        .ClickOn("Stats")
        .ClickOn("TechLevel")
        .TypeKey(SC_BACKSPACE, 0)
        .TypeKey(SC_BACKSPACE, 0)
        .TypeKey(8, '7')
        .TypeKey(SC_RETURN, '\r')
        .Do([] {}, 3)
        .Do([&] {
            statsOk = FrameMatches(STATS, "edit_stats.pcx");
            editorCrc = TerrainCrc();
        })
        .ClickOn("File")
        .ClickOn("Save")
        .ClickOn("Quit");
    g_GameState = GS_EDITOR;
    Game_Main();
    EXPECT_FALSE(s.overran);
    EXPECT_TRUE(s.done());
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_TRUE(createdOk);
    EXPECT_TRUE(statsOk);
    // Read back as a game would read it.
    g_TechLevel = 10;
    Game_SetScenarioName("TEST1");
    InitCommonGameSystems();
    Scenario_Load(nullptr);
    EXPECT_EQ(mapsizex, 40);
    EXPECT_EQ(mapsizey, 30);
    EXPECT_EQ(g_TechLevel, 7);
    EXPECT_EQ(TerrainCrc(), editorCrc);
    CloseCommonGameSystems();
}

TEST_F(EditorVisit, TheSavedDemoLaunchesAndIsPlayedToItsEnd)
{
    QvPassScript s(3400);
    VisitPace(s);
    bool inGame = false;
    // Every stage of the load flips once: the twelfth shows the map stage.
    int loadFlips = 0;
    bool waitingOk = false;
    s.onPass = [&](int) {
        inGame |= g_GameState == GS_INGAME;
        if (MeMenuFile::WaitPanel() && ++loadFlips == 12)
            waitingOk = FrameMatches(0x46D47EA5u, "edit_waiting.pcx");
    };
    s.ClickOn("ScenarioList", 10, 4).ClickOn("Load").ClickOn("Save").ClickOn("Launch").Pause(50, 3000);
    g_GameState = GS_EDITOR;
    Game_Main();
    EXPECT_TRUE(s.done());
    EXPECT_TRUE(waitingOk);
    EXPECT_TRUE(inGame);
    EXPECT_STRCASEEQ(g_ScenarioName, "DEMO");
    // As the demo plays when the editor never touched it.
    EXPECT_NE(log.text().find("Team 1 won (ie. You lost)"), std::string::npos);
    EXPECT_EQ(g_UpdateCount, 2704u);
}

namespace {

enum { SCAN_O = 24, SCAN_D = 32, SCAN_S = 31 };

IPoint operator+(const IPoint& a, const IPoint& b) { return IPoint(a.x + b.x, a.y + b.y); }
IPoint operator-(const IPoint& a, const IPoint& b) { return IPoint(a.x - b.x, a.y - b.y); }

// Whether tiles (x, y) .. (x + w - 1, y + h - 1) hold no unit, building or object.
bool Free(int x, int y, int w, int h)
{
    for (int ty = y; ty < y + h; ty++)
        for (int tx = x; tx < x + w; tx++) {
            for (int l = 0; l < ML_LEVELS; l++)
                if (Units_UnitAtMapLevel(l, tx, ty)) return false;
            if (Build_AtTile(tx, ty)) return false;
            for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay)
                if (o->tilepos.x == tx && o->tilepos.y == ty) return false;
        }
    return true;
}

// The top-left of a free w x h area in the view, away from its edges.
IPoint FreeArea(int w, int h)
{
    const int tx = g_MapView.tilex, ty = g_MapView.tiley;
    for (int y = ty + 3; y < ty + 15; y++)
        for (int x = tx + 3; x < tx + 15; x++)
            if (Free(x, y, w, h)) return IPoint(x, y);
    return IPoint(-1, -1);
}

IPoint Centre(const IPoint& tile) { return MeBigMap::TileToScreen(tile) + IPoint(12, 12); }

std::vector<QvPass> ClickAt(const IPoint& p)
{
    return {QvMove(p.x, p.y), QvButton(1), QvPass{}, QvButton(0), QvPass{}};
}

// A left drag from a to b in four moves, with a modifier key held.
std::vector<QvPass> DragFrom(const IPoint& a, const IPoint& b, int modifierKey = 0)
{
    std::vector<QvPass> v;
    if (modifierKey) v.push_back(QvKeyDown(modifierKey));
    v.push_back(QvMove(a.x, a.y));
    v.push_back(QvButton(1));
    for (int i = 1; i <= 4; i++) {
        QvPass m = QvMove(a.x + (b.x - a.x) * i / 4, a.y + (b.y - a.y) * i / 4);
        m.advanceMs = 50;
        v.push_back(m);
    }
    v.push_back(QvButton(0));
    if (modifierKey) v.push_back(QvKeyUp(modifierKey));
    v.push_back(QvPass{});
    return v;
}

struct Placed {
    int id, team, x, y;
};

} // namespace

TEST_F(EditorVisit, PlacesEditsAndPathsThingsThatTheGameKeeps)
{
    enum : uint32_t { EDITED = 0x8F595DF8u, GAME = 0x8E62E1E5u };
    QvPassScript s(4000);
    VisitPace(s);
    MeEditor& me = g_MeEditor;
    QIList* pickers[3] = {};
    IPoint units(-1, -1), hut(-1, -1), things(-1, -1), way(-1, -1);
    UNIT* walker = nullptr;
    std::vector<Placed> unitsSaved, buildingsSaved, objectsSaved;
    std::vector<IPoint> waypoints;
    int walkerId = -1, walkerTeam = -1, inGame = 0;
    bool editedOk = false, gameOk = false, checked = false;
    // The add layers' pickers, until they come: the chosen one on the select tool.
    auto pick = [&](int which) {
        me.selectTool.picker = pickers[which];
        pickers[which]->SetCurrent(0);
        me.selectTool.SetState(METS_CLICK);
    };
    s.onPass = [&](int) {
        if (g_GameState != GS_INGAME || ++inGame > 2) return;
        if (inGame == 2) gameOk = FrameMatches(GAME, "edit_things_game.pcx");
        if (inGame != 1) return;
        checked = true;
        for (const Placed& p : unitsSaved) {
            const UNIT* u = Units_IdToUnitPtr(p.id, p.team);
            ASSERT_NE(u, nullptr) << p.id;
            EXPECT_EQ(u->tilepos.x, p.x) << p.id;
            EXPECT_EQ(u->tilepos.y, p.y) << p.id;
            EXPECT_EQ(Units_UnitAtMapLevel(u->maplevel, p.x, p.y), u) << p.id;
        }
        for (const Placed& p : buildingsSaved) {
            const BUILDING* b = Build_FindById(p.id);
            ASSERT_NE(b, nullptr) << p.id;
            EXPECT_EQ(b->team, p.team);
            EXPECT_EQ(b->tilex, p.x);
            EXPECT_EQ(b->tiley, p.y);
        }
        for (const Placed& p : objectsSaved) {
            const OVERLAY* o = g_Overlays;
            while (o && o->id != p.id) o = o->nextoverlay;
            ASSERT_NE(o, nullptr) << p.id;
            EXPECT_EQ(o->type, p.team);
            EXPECT_EQ(o->tilepos.x, p.x);
            EXPECT_EQ(o->tilepos.y, p.y);
        }
        const UNIT* w = Units_IdToUnitPtr(walkerId, walkerTeam);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->sorder.code, SO_TRAIL);
        EXPECT_EQ(w->sorder.trail.mode, TRAIL_LOOP);
        std::vector<std::pair<int, int>> trail, want;
        for (const WAYPOINT* p = w->localtrail->head; p; p = p->next) trail.push_back({p->x, p->y});
        for (const IPoint& p : waypoints) want.push_back({p.x, p.y});
        EXPECT_EQ(trail, want);
    };
    s.ClickOn("ScenarioList", 10, 4)
        .Chord(SC_LCTRL, SCAN_O)
        .Pause(20, 3)
        .ClickOn("Stats")
        .Do([&] {
            QIList** slots[3] = {&me.unitPicker, &me.buildingPicker, &me.objectPicker};
            for (int i = 0; i < 3; i++) {
                pickers[i] = new QIList("Picker", nullptr, IRect(700, 0, 60, 50), IPoint(60, 50), 1, nullptr, nullptr);
                *slots[i] = pickers[i];
            }
            me.FillObjectPickers();
            ASSERT_GT(pickers[0]->count, 0);
            ASSERT_GT(pickers[1]->count, 0);
            ASSERT_GT(pickers[2]->count, 0);
            units = FreeArea(5, 4); // room for the drag and the copy
            pick(0);
        })
        .Input([&] {
            auto v = ClickAt(Centre(units));
            auto w = ClickAt(Centre(units + IPoint(3, 0)));
            v.insert(v.end(), w.begin(), w.end());
            return v;
        })
        .Do([&] {
            const BUILDINGTYPE* t = static_cast<MePickBuilding*>(pickers[1]->ItemAt(0))->type;
            hut = FreeArea(t->width + 2, t->height + 2) + IPoint(1, 1);
            pick(1);
        })
        .Input([&] {
            const BUILDINGTYPE* t = static_cast<MePickBuilding*>(pickers[1]->ItemAt(0))->type;
            return ClickAt(MeBigMap::WorldToScreen(IPoint(24 * hut.x + 12 * t->width + 6, 24 * hut.y + 12 * t->height + 6)));
        })
        .Do([&] {
            things = FreeArea(3, 1);
            pick(2);
        })
        .Input([&] {
            auto v = ClickAt(Centre(things));
            auto w = ClickAt(Centre(things + IPoint(2, 0)));
            v.insert(v.end(), w.begin(), w.end());
            return v;
        })
        .Chord(0, SC_SPACE)
        // A band over both units, a Shift band over the second: the first
        // alone is dragged two tiles down, copied and the copy deleted.
        .Input([&] { return DragFrom(MeBigMap::TileToScreen(units) - IPoint(6, 6), Centre(units + IPoint(3, 0)) + IPoint(16, 16)); })
        .Input([&] { return DragFrom(Centre(units + IPoint(3, 0)) - IPoint(16, 16), Centre(units + IPoint(3, 0)) + IPoint(16, 16), SC_LSHIFT); })
        .Do([&] {
            ASSERT_EQ(g_MeBrushLists[MEBL_SELECTION].count, 1);
            walker = static_cast<UNIT*>(g_MeBrushLists[MEBL_SELECTION].head->Thing());
        })
        .Input([&] { return DragFrom(Centre(units), Centre(units + IPoint(0, 2))); })
        .Chord(SC_LCTRL, SCAN_D)
        .Chord(0, SCAN_D)
        // The Paths layer's part: the walker gets four waypoints, looped.
        .Do([&] {
            EXPECT_EQ(walker->tilepos.y, units.y + 2);
            me.tool->HideSelection();
            me.tool = &me.pathTool;
            me.tool->ShowSelection();
            way = IPoint(walker->tilepos.x, walker->tilepos.y);
        })
        .Input([&] { return DragFrom(MeBigMap::TileToScreen(way) - IPoint(6, 6), Centre(way) + IPoint(16, 16)); })
        .Do([&] {
            EXPECT_EQ(g_MeBrushLists[MEBL_SELECTION].count, 1);
            MePaths::BeginAdd();
        })
        .Input([&] {
            std::vector<QvPass> v;
            for (const IPoint& d : {IPoint(1, 1), IPoint(4, 1), IPoint(4, 4), IPoint(1, 4)}) {
                const IPoint p = MeBigMap::WorldToScreen(IPoint(24 * (way.x + d.x), 24 * (way.y + d.y))) + IPoint(2, -3);
                waypoints.push_back(way + d);
                for (const QvPass& q : ClickAt(p)) v.push_back(q);
            }
            return v;
        })
        .Do([&] {
            me.pathTool.Cancel(0);
            MePaths::AssignToSelection(2);
            me.showIds = me.showPlayers = 1;
            me.desktop->Repaint(nullptr);
        })
        .Pause(20, 2)
        .Do([&] {
            editedOk = FrameMatches(EDITED, "edit_things.pcx");
            walkerId = walker->id, walkerTeam = walker->team;
            ITERATOR it;
            Iterate_UnitInitAll(&it);
            while (UNIT* u = Iterate_UnitNext(&it)) unitsSaved.push_back({u->id, u->team, u->tilepos.x, u->tilepos.y});
            for (BUILDING* b = g_Buildings; b; b = b->next) buildingsSaved.push_back({b->id, b->team, b->tilex, b->tiley});
            for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay)
                if (o->type != -1) objectsSaved.push_back({o->id, o->type, o->tilepos.x, o->tilepos.y});
            me.selectTool.picker = nullptr;
            me.unitPicker = me.buildingPicker = me.objectPicker = nullptr;
            for (QIList*& l : pickers) delete l, l = nullptr;
        })
        .Chord(SC_LCTRL, SCAN_S)
        .Pause(20, 3)
        .Chord(SC_LCTRL, SC_Q)
        .Pause(50, 8);
    me.team = me.side = 0; // the pickers hold side 0
    g_GameState = GS_EDITOR;
    Game_Main();
    EXPECT_TRUE(s.done());
    EXPECT_TRUE(checked);
    EXPECT_TRUE(editedOk);
    EXPECT_TRUE(gameOk);
    for (QIList* l : pickers) delete l;
}

TEST_F(EditorVisit, ANewScenarioIsPaintedGivenStartAndRegionAndPlayed)
{
    enum : uint32_t { PAINTED = 0x85E6C0D1u, BANDED = 0x0D4EF91Bu, PLAYED = 0x16C83D47u };
    QvPassScript s(3000);
    VisitPace(s);
    MeEditor& me = g_MeEditor;
    MeBrushTerrain& b = me.terrainBrush;
    bool paintedOk = false, regionOk = false, gameOk = false;
    uint32_t editorCrc = 0, gameCrc = 0;
    int before = 0, inGame = 0, picked = -1;
    REGION made = {};
    TEAM_STARTPOS start = {-1, -1};
    // An element that a size-3 step at screen (x, y) always covers.
    auto Under = [](int x, int y) {
        const IPoint c = MeBigMap::ScreenToCorner(IPoint(x, y));
        return MAP_ELEMENT_AT(c.x / 2, c.y / 2);
    };
    s.onPass = [&](int) {
        if (g_GameState != GS_INGAME) return;
        if (++inGame == 1) gameCrc = TerrainCrc();
        if (inGame == 2) gameOk = FrameMatches(PLAYED, "paint_game.pcx");
        if (inGame == 2) {
            EXPECT_STRCASEEQ(g_TerrainName, "SnowField");
            EXPECT_EQ(teamdata[0].startpos.x, start.x);
            EXPECT_EQ(teamdata[0].startpos.y, start.y);
            REGION* r = Region_FindById(made.id);
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(r->x1, made.x1);
            EXPECT_EQ(r->y1, made.y1);
            EXPECT_EQ(r->x2, made.x2);
            EXPECT_EQ(r->y2, made.y2);
        }
    };
    s.Do([] { EditorTest::ResetTerrainBrush(); })
        .ClickOn("Create")
        .Do([] {
            g_MeEditor.scenarioName->Set("PAINT");
            SetEdit("ScenarioCreateWidthEdit", "64");
            SetEdit("ScenarioCreateHeightEdit", "48");
        })
        .ClickOn("ScenarioCreateOk")
        .Do([] {}, 3)
        .ClickOn("Random")
        .Do([] {
            SetEdit("PlasmaSeedEdit", "7");
            SetEdit("PlasmaGrainEdit", "5");
            SetEdit("PlasmaWaterEdit", "4");
        })
        .ClickOn("PlasmaOk")
        .Do([&] {
            EXPECT_EQ(me.plasmaSeed, 7);
            EXPECT_EQ(me.plasmaWater, 4);
            Crt_Srand(1);
        })
        .ClickOn("AutoRidge")
        .ClickOn("Terrain")
        .ClickOn("BrushCircle")
        .ClickOn("BrushInc")
        .ClickOn("DrawAltitude")
        .ClickOn("AltLevel", 6 * 10 + 5)
        .ClickOn("TextureScroller", 3 * 32 + 16, 16)
        .Do([&] {
            EXPECT_EQ(me.tool, &b);
            EXPECT_EQ(b.shape, METB_CIRCLE);
            EXPECT_EQ(b.size, 3);
            EXPECT_EQ(b.paintAltitude, 1);
            EXPECT_EQ(b.altitude, 8);
            EXPECT_EQ(b.cornerType, 3);
        })
        .Drag(200, 200, 260, 220)
        .Do([&] {
            EXPECT_EQ(Under(230, 210)->altitude, 8u);
            EXPECT_EQ(Under(230, 210)->tile & 0xffff, 0x3333u);
            before = (int)Under(100, 400)->altitude;
        })
        .ClickOn("AltInc")
        .Drag(100, 400, 110, 400)
        .Do([&] { EXPECT_EQ((int)Under(100, 400)->altitude, std::min(before + 1, 11)); })
        .Do([&] { b.cornerType = 9; })
        .Drag(230, 210, 230, 210, SC_LALT)
        .Do([&] {
            picked = b.cornerType;
            paintedOk = FrameMatches(PAINTED, "paint_painted.pcx");
        })
        .Chord(0, 20) // T
        .Chord(0, 20) // T
        .ClickOn("Stats")
        .Do([&] {
            // As the player layer's start-position button will.
            me.team = 0;
            me.startPosTool.Arm();
        })
        .Drag(120, 120, 120, 120)
        .Do([&] {
            start = teamdata[0].startpos;
            EXPECT_EQ(start.x, MeBigMap::ScreenToWorld(IPoint(120, 120)).x);
            // As the end-condition layer's new-region button will.
            me.regionTool.Arm();
        })
        .Drag(150, 150, 250, 230)
        .Do([&] { EXPECT_EQ(me.tool, &me.selectTool); })
        .Drag(150, 190, 150, 190) // a click on the region's outline selects it
        .Drag(251, 231, 301, 261)
        .Do([&] {
            for (REGION* r = Region_FindByIndex(1); r; r = Region_FindByIndex(0)) made = *r;
            regionOk = FrameMatches(BANDED, "paint_region.pcx");
            editorCrc = TerrainCrc();
        })
        .Chord(SC_LCTRL, 31)
        .Chord(SC_LCTRL, SC_Q)
        .Pause(20, 6);
    g_GameState = GS_EDITOR;
    Game_Main();
    EXPECT_TRUE(s.done());
    EXPECT_EQ(picked, 3) << "the Alt-click took the painted corner";
    EXPECT_TRUE(paintedOk);
    EXPECT_TRUE(regionOk);
    EXPECT_TRUE(gameOk);
    EXPECT_NE(editorCrc, 0u);
    EXPECT_EQ(gameCrc, editorCrc);
    EXPECT_EQ(made.x2 - made.x1, 151);
    EditorTest::ResetTerrainBrush();
}

TEST_F(EditorVisit, OrdersAndALoopedPathGivenThroughTheLayersAreSavedAndReadBack)
{
    QvPassScript s(3000);
    VisitPace(s);
    MeEditor& me = g_MeEditor;
    IPoint way(-1, -1);
    std::vector<IPoint> waypoints;
    int selected = 0;
    bool checked = false;
    s.ClickOn("ScenarioList", 10, 4)
        .Chord(SC_LCTRL, SCAN_O)
        .Pause(20, 3)
        .ClickOn("AddUnit")
        .ClickOn("UnitSelectPlr")
        .Do([&] {
            selected = g_MeBrushLists[MEBL_SELECTION].count;
            const UNIT* u = static_cast<UNIT*>(g_MeBrushLists[MEBL_SELECTION].head->Thing());
            way = IPoint(u->tilepos.x, u->tilepos.y);
        })
        .ClickOn("Orders")
        .ClickOn("OrderBehavGuard")
        .ClickOn("Paths")
        .ClickOn("PathWpAdd")
        .Input([&] {
            std::vector<QvPass> v;
            for (const IPoint& d : {IPoint(1, 1), IPoint(3, 1), IPoint(3, 3), IPoint(1, 3)}) {
                const IPoint p = MeBigMap::WorldToScreen(IPoint(24 * (way.x + d.x), 24 * (way.y + d.y))) + IPoint(2, -3);
                waypoints.push_back(way + d);
                for (const QvPass& q : ClickAt(p)) v.push_back(q);
            }
            return v;
        })
        .Do([&] { me.pathTool.Cancel(0); })
        .ClickOn("PathDirLooped")
        .ClickOn("PathWpAssign")
        .Chord(SC_LCTRL, SCAN_S)
        .Pause(20, 3)
        .Do([&] {
            // The file read back: every team-0 unit guards and loops the path.
            OpenScenario("DEMO");
            std::vector<std::pair<int, int>> want;
            for (const IPoint& p : waypoints) want.push_back({p.x, p.y});
            ITERATOR it;
            Iterate_UnitInitAll(&it);
            int n = 0;
            while (UNIT* u = Iterate_UnitNext(&it)) {
                if (u->team != 0) continue;
                n++;
                SCOPED_TRACE(u->id);
                EXPECT_EQ(u->usertactaiinfo.tenacity, 0);
                EXPECT_EQ(u->usertactaiinfo.autonomy, 2);
                EXPECT_EQ(u->usertactaiinfo.selfpreservation, 0);
                EXPECT_EQ(u->sorder.code, SO_TRAIL);
                EXPECT_EQ(u->sorder.trail.mode, TRAIL_LOOP);
                std::vector<std::pair<int, int>> trail;
                for (const WAYPOINT* p = u->localtrail->head; p; p = p->next) trail.push_back({p->x, p->y});
                EXPECT_EQ(trail, want);
            }
            EXPECT_EQ(n, selected);
            // Selected again in the editor, they show Guard and "()".
            me.tool = &me.selectTool;
            me.selectTool.SelectUnitsOfTeam(0);
            me.selectTool.SelectionChanged();
            EXPECT_EQ((std::vector<int>{me.orders.order, me.orders.pursuit, me.orders.tolerance, me.orders.independence}),
                      (std::vector<int>{-1, 0, 2, 2}));
            EXPECT_EQ(me.paths.direction, 2);
            checked = n > 0;
        })
        .Chord(SC_LALT, 16);
    me.team = me.side = 0;
    g_GameState = GS_EDITOR;
    Game_Main();
    EXPECT_TRUE(s.done());
    EXPECT_TRUE(checked);
}

namespace {

// As FreeArea, away from the areas kept for earlier s.
IPoint FreeAreaBeside(int w, int h, const std::vector<IRect>& kept)
{
    const int tx = g_MapView.tilex, ty = g_MapView.tiley;
    for (int y = ty + 3; y < ty + 15; y++)
        for (int x = tx + 3; x < tx + 15; x++) {
            bool clear = Free(x, y, w, h);
            for (const IRect& k : kept)
                clear = clear && (x + w <= k.x || k.x + k.w <= x || y + h <= k.y || k.y + k.h <= y);
            if (clear) return IPoint(x, y);
        }
    return IPoint(-1, -1);
}

// Every unit, building and object as the scenario file carries it, one line
// each, sorted.
std::vector<std::string> Contents(void)
{
    std::vector<std::string> v;
    char line[256];
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (const UNIT* u = Iterate_UnitNext(&it)) {
        const UNIT_TACTAI& t = u->usertactaiinfo;
        int n = snprintf(line, sizeof line, "unit %d team %d at %d %d tact %d %d %d", u->id, u->team, u->tilepos.x,
                         u->tilepos.y, t.tenacity, t.selfpreservation, t.autonomy);
        if (u->sorder.code == SO_AUTOMOVE) n += snprintf(line + n, sizeof line - n, " automove %d", u->sorder.automove.level);
        if (u->sorder.code == SO_TRAIL) n += snprintf(line + n, sizeof line - n, " trail %d", u->sorder.trail.mode);
        for (const WAYPOINT* p = u->localtrail ? u->localtrail->head : nullptr; p && n < 200; p = p->next)
            n += snprintf(line + n, sizeof line - n, " (%d %d)", p->x, p->y);
        v.push_back(line);
    }
    for (const BUILDING* b = g_Buildings; b; b = b->next) {
        snprintf(line, sizeof line, "building %d team %d at %d %d", b->id, b->team, b->tilex, b->tiley);
        v.push_back(line);
    }
    for (const OVERLAY* o = g_Overlays; o; o = o->nextoverlay)
        if (o->type != -1) {
            snprintf(line, sizeof line, "object %d type %d at %d %d", o->id, o->type, o->tilepos.x, o->tilepos.y);
            v.push_back(line);
        }
    std::sort(v.begin(), v.end());
    return v;
}

// Units in the selection.
std::vector<UNIT*> SelectedUnits(void)
{
    std::vector<UNIT*> v;
    for (MeBrush* b = g_MeBrushLists[MEBL_SELECTION].head; b; b = b->Next())
        if (b->Kind() == MEBK_UNIT) v.push_back(static_cast<UNIT*>(b->Thing()));
    return v;
}

std::vector<QvPass> ShortRightClick(const IPoint& p)
{
    return {QvMove(p.x, p.y), QvButton(1, 1), QvPass{}, QvButton(0, 1), QvPass{}};
}

// The named widget inside the named layer (other layers use the same names).
const QIWidget* Within(const char* layer, const char* name)
{
    const QIWidget* w = g_MeEditor.desktop->FindByName(layer);
    const QIWidget* end = w ? w->Next() : nullptr;
    while (w && w != end && std::string(w->name.c_str()) != name) {
        if (w->FirstChild()) {
            w = w->FirstChild();
            continue;
        }
        while (w && w != end && !w->Next()) w = w->Parent();
        if (w && w != end) w = w->Next();
    }
    return w != end ? w : nullptr;
}

// A left press on the object layer's widget held for count passes of ms
// each (none: a click).
std::vector<QvPass> Hold(const char* name, uint32_t ms, int count)
{
    const QIWidget* w = Within("AddObjectLayer", name);
    std::vector<QvPass> v = {QvMove(w->x + w->w / 2, w->y + w->h / 2), QvButton(1), QvPass{}};
    QvPass wait;
    wait.advanceMs = ms;
    v.insert(v.end(), (size_t)count, wait);
    v.push_back(QvButton(0));
    v.push_back(QvPass{});
    return v;
}

} // namespace

// Units, a building and objects placed from the pickers, ordered and given a
// looped path through the layers, saved, read back, selected again and
// played.
TEST_F(EditorVisit, ThingsPlacedFromThePickersAreOrderedPathedSavedReadBackAndPlayed)
{
    // The unit picker lists every unit type of the demo, its three crews among them.
    enum : uint32_t { UNITS = 0x69DDCFB6u, OBJECTS = 0xD1E717C1u, PATHS = 0x89CEB15Eu };
    QvPassScript s(4000);
    VisitPace(s);
    MeEditor& me = g_MeEditor;
    IPoint units(-1, -1), hut(-1, -1), things(-1, -1), scout(-1, -1);
    std::vector<IRect> kept;
    std::vector<IPoint> waypoints;
    std::vector<std::string> saved;
    std::vector<int> guards;
    size_t unitsBefore = 0, objectsBefore = 0;
    int walker = -1, scoutId = -1;
    bool unitsOk = false, objectsOk = false, pathsOk = false, checked = false;
    const IPoint mapPoint(200, 200);
    auto countUnits = [] {
        size_t n = 0;
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (Iterate_UnitNext(&it)) n++;
        return n;
    };
    auto sizeText = [&] { return std::string(static_cast<QICallbackText*>(me.desktop->FindByName("ObjBrushSize"))->text.c_str()); };
    auto band = [](const IPoint& from, const IPoint& to) {
        return DragFrom(MeBigMap::TileToScreen(from) - IPoint(6, 6), Centre(to) + IPoint(16, 16));
    };
    s.ClickOn("ScenarioList", 10, 4)
        .Chord(SC_LCTRL, SCAN_O)
        .Pause(20, 3)
        .Do([&] {
            // The position read-out, drawn every frame, covers no layer's widget.
            const QIWidget* info = me.desktop->FindByName("InfoBoxLayer");
            ASSERT_NE(info, nullptr);
            std::function<void(const QIWidget*)> visit = [&](const QIWidget* w) {
                EXPECT_FALSE(w->w > 0 && w->h > 0 && w->x < info->x + info->w && info->x < w->x + w->w &&
                             w->y < info->y + info->h && info->y < w->y + w->h)
                    << w->name.c_str();
                for (const QIWidget* c = w->FirstChild(); c; c = c->Next()) visit(c);
            };
            for (const char* layer : {"FileLayer", "TerrainLayer", "AddUnitLayer", "AddBuildingLayer", "AddObjectLayer",
                                      "PathsLayer", "OrdersLayer", "EndCondLayer", "PlayerLayer", "StatsLayer"})
                if (const QIWidget* l = me.desktop->FindByName(layer)) visit(l);
                else ADD_FAILURE() << layer;
        })
        // Units: three free tiles of a 5 x 5 block (its lower rows kept
        // for the path), then the first again.
        .ClickOn("AddUnit")
        .ClickOn("UnitScroller", 30, 25)
        .Do([&] {
            EXPECT_EQ(me.selectTool.state, METS_CLICK);
            units = FreeAreaBeside(5, 5, kept);
            ASSERT_GE(units.x, 0);
            kept.push_back(IRect(units.x, units.y, 5, 5));
            unitsBefore = countUnits();
        })
        .Input([&] {
            std::vector<QvPass> v;
            for (int dx : {0, 2, 4, 0})
                for (const QvPass& p : ClickAt(Centre(units + IPoint(dx, 0)))) v.push_back(p);
            return v;
        })
        .Do([&] {
            unitsOk = FrameMatches(UNITS, "place_units.pcx");
            EXPECT_EQ(countUnits(), unitsBefore + 3) << "the occupied tile takes none";
            for (int dx : {0, 2, 4}) {
                const UNIT* u = Units_UnitAtMapLevel(ML_GROUND, units.x + dx, units.y);
                ASSERT_NE(u, nullptr) << dx;
                guards.push_back(u->id);
            }
        })
        // A building.
        .ClickOn("AddBuilding")
        .ClickOn("BuildingScroller", 30, 25)
        .Do([&] {
            const BUILDINGTYPE* t = static_cast<MePickBuilding*>(me.buildingPicker->ItemAt(0))->type;
            hut = FreeAreaBeside(t->width + 2, t->height + 2, kept);
            ASSERT_GE(hut.x, 0);
            kept.push_back(IRect(hut.x, hut.y, t->width + 2, t->height + 2));
            hut = hut + IPoint(1, 1);
        })
        .Input([&] {
            const BUILDINGTYPE* t = static_cast<MePickBuilding*>(me.buildingPicker->ItemAt(0))->type;
            return ClickAt(MeBigMap::WorldToScreen(IPoint(24 * hut.x + 12 * t->width + 6, 24 * hut.y + 12 * t->height + 6)));
        })
        .Do([&] { EXPECT_EQ(Build_AtTile(hut.x, hut.y) ? Build_AtTile(hut.x, hut.y)->tilex : -1, hut.x); })
        // Objects: two types, a circle of size 3 reached by holding the
        // size buttons, dragged with the generator seeded.
        .ClickOn("AddObject")
        .ClickOn("ObjectScroller", 30, 25)
        .Input([&] {
            const QIWidget* l = me.objectPicker;
            std::vector<QvPass> v = {QvKeyDown(SC_LCTRL)};
            for (const QvPass& p : ClickAt(IPoint(l->x + 90, l->y + 25))) v.push_back(p);
            v.push_back(QvKeyUp(SC_LCTRL));
            return v;
        })
        .ClickOn("ObjBrushCircle")
        .Input([&] { return Hold("BrushInc", 100, 20); })
        .Do([&] {
            EXPECT_EQ(me.selectTool.brushSize, 10);
            EXPECT_EQ(sizeText(), "10");
        })
        .Input([&] { return Hold("BrushDec", 100, 20); })
        .Do([&] {
            EXPECT_EQ(me.selectTool.brushSize, 1);
            EXPECT_EQ(sizeText(), "1");
        })
        .Input([&] { return Hold("BrushInc", 0, 0); })
        .Input([&] { return Hold("BrushInc", 0, 0); })
        .Do([&] {
            EXPECT_EQ(me.selectTool.brushSize, 3);
            EXPECT_EQ(me.selectTool.brushShape, 1);
            EXPECT_EQ(me.objectPicker->current, 1);
            things = FreeAreaBeside(8, 5, kept);
            ASSERT_GE(things.x, 0);
            kept.push_back(IRect(things.x, things.y, 8, 5));
            objectsBefore = (size_t)Ovl_Count();
            Crt_Srand(5);
        })
        .Input([&] { return std::vector<QvPass>{QvMove(Centre(things + IPoint(2, 2)).x, Centre(things + IPoint(2, 2)).y), QvPass{}}; })
        .Do([&] { objectsOk = FrameMatches(OBJECTS, "place_objects.pcx"); })
        .Input([&] { return DragFrom(Centre(things + IPoint(2, 2)), Centre(things + IPoint(5, 2))); })
        .Do([&] { EXPECT_GT((size_t)Ovl_Count(), objectsBefore); })
        // Orders: the new units guard, a unit of the scenario scouts.
        .Input([&] { return ShortRightClick(mapPoint); })
        .Do([&] { EXPECT_EQ(me.selectTool.state, METS_IDLE); })
        .Input([&] { return band(units, units + IPoint(4, 0)); })
        .Do([&] { ASSERT_EQ(SelectedUnits().size(), 3u); })
        .ClickOn("Orders")
        .ClickOn("OrderBehavGuard")
        .Input([&] { return ShortRightClick(mapPoint); })
        .Do([&] {
            ITERATOR it;
            Iterate_UnitInitAll(&it);
            while (const UNIT* u = Iterate_UnitNext(&it)) {
                const IPoint t(u->tilepos.x, u->tilepos.y);
                bool clear = scout.x < 0 && u->team == 0;
                for (const IRect& k : kept)
                    clear = clear && !(t.x >= k.x - 1 && t.x <= k.x + k.w && t.y >= k.y - 1 && t.y <= k.y + k.h);
                const int vx = t.x - g_MapView.tilex, vy = t.y - g_MapView.tiley;
                if (clear && vx >= 2 && vx < 16 && vy >= 2 && vy < 16) scout = t, scoutId = u->id;
            }
            ASSERT_GE(scoutId, 0);
        })
        .Input([&] { return DragFrom(MeBigMap::TileToScreen(scout) + IPoint(4, 4), MeBigMap::TileToScreen(scout) + IPoint(20, 20)); })
        .Do([&] { ASSERT_EQ(SelectedUnits().size(), 1u); })
        .ClickOn("OrderScout")
        .Input([&] { return ShortRightClick(mapPoint); })
        // Paths: four waypoints in the block's lower rows, looped, given to
        // the middle unit.
        .ClickOn("Paths")
        .ClickOn("PathWpAdd")
        .Input([&] {
            std::vector<QvPass> v;
            for (const IPoint& d : {IPoint(1, 2), IPoint(4, 2), IPoint(4, 4), IPoint(1, 4)}) {
                const IPoint p = MeBigMap::WorldToScreen(IPoint(24 * (units.x + d.x), 24 * (units.y + d.y))) + IPoint(2, -3);
                waypoints.push_back(units + d);
                for (const QvPass& q : ClickAt(p)) v.push_back(q);
            }
            return v;
        })
        .Input([&] { return ShortRightClick(mapPoint); })
        .Input([&] { return band(units + IPoint(2, 0), units + IPoint(2, 0)); })
        .Do([&] {
            ASSERT_EQ(SelectedUnits().size(), 1u);
            walker = SelectedUnits()[0]->id;
            EXPECT_EQ(Trail_Count(&me.pathTool.editPath), 4);
        })
        .ClickOn("PathDirLooped")
        .ClickOn("PathWpAssign")
        .Do([&] { me.desktop->Repaint(nullptr); })
        .Pause(20, 2)
        .Do([&] {
            pathsOk = FrameMatches(PATHS, "place_paths.pcx");
            saved = Contents();
        })
        .Chord(SC_LCTRL, SCAN_S)
        .Pause(20, 3)
        .Do([&] {
            // Read back: everything as it was saved, orders and path too.
            OpenScenario("DEMO");
            EXPECT_EQ(Contents(), saved);
            std::vector<std::pair<int, int>> want;
            for (const IPoint& p : waypoints) want.push_back({p.x, p.y});
            for (int id : guards) {
                SCOPED_TRACE(id);
                const UNIT* u = Units_IdToUnitPtr(id, 0);
                ASSERT_NE(u, nullptr);
                EXPECT_EQ(u->usertactaiinfo.tenacity, TACTAI_LOW);
                EXPECT_EQ(u->usertactaiinfo.selfpreservation, TACTAI_LOW);
                EXPECT_EQ(u->usertactaiinfo.autonomy, TACTAI_HIGH);
                EXPECT_EQ(u->sorder.code == SO_TRAIL, id == walker);
            }
            const UNIT* w = Units_IdToUnitPtr(walker, 0);
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(w->sorder.trail.mode, TRAIL_LOOP);
            std::vector<std::pair<int, int>> trail;
            for (const WAYPOINT* p = w->localtrail->head; p; p = p->next) trail.push_back({p->x, p->y});
            EXPECT_EQ(trail, want);
            const UNIT* sc = Units_IdToUnitPtr(scoutId, 0);
            ASSERT_NE(sc, nullptr);
            EXPECT_EQ(sc->sorder.code, SO_AUTOMOVE);
            EXPECT_EQ(sc->sorder.automove.level, 0);
        })
        // Selected again in the editor, the units show Guard and the loop.
        .ClickOn("AddUnit")
        .Input([&] { return band(units, units + IPoint(4, 0)); })
        .Do([&] {
            EXPECT_EQ(SelectedUnits().size(), 3u);
            EXPECT_EQ((std::vector<int>{me.orders.order, me.orders.pursuit, me.orders.tolerance, me.orders.independence}),
                      (std::vector<int>{-1, TACTAI_LOW, TACTAI_HIGH, TACTAI_HIGH}));
            EXPECT_EQ(me.paths.direction, 2);
            checked = true;
            g_Config.disableai = 1;
            g_Config.disableendconditions = 1;
        })
        // Launched: the walker loops, the scout scouts, the guards stay.
        .ClickOn("File")
        .ClickOn("Launch")
        .Pause(50, 1100);
    std::vector<int> reached;
    uint32_t loopedAt = 0, scoutPasses = 0, scoutWrong = 0, guardWrong = 0;
    IPoint scoutFirst(-1, -1);
    bool scoutMoved = false;
    s.onPass = [&](int) {
        if (g_GameState != GS_INGAME) return;
        if (const UNIT* w = Units_IdToUnitPtr(walker, 0))
            for (size_t k = 0; k < waypoints.size(); k++)
                if (w->tilepos.x == waypoints[k].x && w->tilepos.y == waypoints[k].y &&
                    (reached.empty() || reached.back() != (int)k)) {
                    reached.push_back((int)k);
                    if (reached.size() == 5) loopedAt = g_UpdateCount;
                }
        if (const UNIT* u = Units_IdToUnitPtr(scoutId, 0)) {
            scoutPasses++;
            scoutWrong += u->sorder.code != SO_AUTOMOVE || u->sorder.automove.level != 0;
            if (scoutFirst.x < 0) scoutFirst = IPoint(u->tilepos.x, u->tilepos.y);
            scoutMoved |= u->tilepos.x != scoutFirst.x || u->tilepos.y != scoutFirst.y;
        }
        for (int id : guards)
            if (const UNIT* u = Units_IdToUnitPtr(id, 0)) guardWrong += u->tactaiinfo.tenacity != TACTAI_LOW;
    };
    me.team = me.side = 0;
    g_GameState = GS_EDITOR;
    Game_Main();
    EXPECT_TRUE(s.done());
    EXPECT_TRUE(checked);
    EXPECT_TRUE(unitsOk);
    EXPECT_TRUE(objectsOk);
    EXPECT_TRUE(pathsOk);
    ASSERT_GE(reached.size(), 5u);
    EXPECT_EQ(std::vector<int>(reached.begin(), reached.begin() + 5), (std::vector<int>{0, 1, 2, 3, 0}));
    EXPECT_GT(loopedAt, 0u);
    EXPECT_LE(loopedAt, 1000u);
    EXPECT_GT(scoutPasses, 1000u);
    EXPECT_EQ(scoutWrong, 0u);
    EXPECT_TRUE(scoutMoved);
    EXPECT_EQ(guardWrong, 0u);
}
