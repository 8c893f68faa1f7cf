// The map view's and the minimap's mouse commands on a started interface.
#include <gtest/gtest.h>

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
#include "ui/igidisp.h"
#include "ui/igievnt.h"
#include "ui/igiminimap.h"
#include "ui/igimouse.h"
#include "ui/igipump.h"
#include "ui/igitext.h"
#include "ui/slist.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"

namespace {

// The interface started on a 64 x 64 world seen whole, local team 1, the
// view at the map's top-left: tile t's centre is at screen (24 t, 24 t + 32).
class MouseCommands : public QvWorldTest {
protected:
    QvScreenData screen_;
    void SetUp() override
    {
        QvWorldTest::SetUp();
        Input_Init();
        Event_Init();
        Orders_Init();
        Cfg_SetDefaults(&g_Config);
        Fog_SetSeeAll(1);
        g_LocalTeam = 1;
        g_DebugFlags = 0;
        g_NetworkGame = 0;
        Team_ForceRelation(1, 2, TR_ENEMY);
        Map_SetViewPixelPos(0, 0);
        Igi_Init();
    }
    void TearDown() override
    {
        Igi_Close();
        Orders_Close();
        Event_Close();
        Input_Close();
        Fog_SetSeeAll(0);
        g_LocalTeam = 0;
        QvWorldTest::TearDown();
    }
    static int SX(int tx) { return tx * 24; }
    static int SY(int ty) { return ty * 24 + 32; }
    void Send(uint32_t kind, int x, int y, uint32_t mods = 0)
    {
        EVENT e{};
        e.kind = kind;
        e.x = x;
        e.y = y;
        e.modifiers = mods;
        Igievnt_HandleEvent(&e);
    }
    // One frame's per-frame step of every zone with the pointer at (x, y).
    void Frame(int x, int y)
    {
        igi_nfo.mousex = x;
        igi_nfo.mousey = y;
        Igizone_CallAllForward(ZR_UPDATE);
    }
    void Drag(int button, int x1, int y1, int x2, int y2, uint32_t mods = 0)
    {
        Send(button ? EV_RIGHTDOWN : EV_LEFTDOWN, x1, y1, mods);
        Frame(x2, y2);
        Send(button ? EV_RIGHTUP : EV_LEFTUP, x2, y2, mods);
    }
    void Click(int x, int y, uint32_t mods = 0) { Drag(0, x, y, x, y, mods); }
    std::vector<int> Pending()
    {
        std::vector<int> codes;
        for (ORDERREC* n = Orders_QueueHead(&g_OrdersPending); n; n = n->next)
            if (n->code != QCLEARSELECTED && n->code != QADDSELECTED) codes.push_back(n->code);
        return codes;
    }
    void Forget() { Orders_QueueFree(&g_OrdersPending); }
    std::vector<int> Selected()
    {
        std::vector<int> ids;
        for (UNITLISTELEM* e = igi_nfo.selected.head; e; e = e->next) ids.push_back(e->u.id);
        return ids;
    }
    static std::vector<int> Clip()
    {
        int l, t, r, b;
        Mouse_GetClipRect(&l, &t, &r, &b);
        return {l, t, r, b};
    }
};

TEST_F(MouseCommands, DragsStartPastTheirThresholdsAndFreeTheMouseOnRelease)
{
    const struct {
        const char* name;
        int button, dx, dy, dragging;
    } rows[] = {
        {"left within 15", 0, 15, -15, 0},
        {"left past 15", 0, 16, 0, 1},
        {"right within 5", 1, 4, 4, 0},
        {"right at 5", 1, 0, -5, 1},
    };
    const std::vector<int> screen = {0, 0, 639, 479};
    for (const auto& r : rows) {
        Send(r.button ? EV_RIGHTDOWN : EV_LEFTDOWN, 200, 200);
        EXPECT_EQ(Clip(), std::vector<int>({0, 32, 447, 479})) << r.name << ": confined to the map view";
        Frame(200 + r.dx, 200 + r.dy);
        EXPECT_EQ(igi_nfo.dragging, r.dragging) << r.name;
        Send(r.button ? EV_RIGHTUP : EV_LEFTUP, 200 + r.dx, 200 + r.dy);
        EXPECT_EQ(Clip(), screen) << r.name;
        EXPECT_EQ(igi_nfo.dragmode, 0) << r.name;
        EXPECT_EQ(igi_nfo.dragging, 0) << r.name;
    }
}

TEST_F(MouseCommands, BoxSelectsTheLocalUnitsInItsTilesEitherWay)
{
    UNIT* a = Units_NewAt(tank_, 1, -1, 5, 5);
    UNIT* b = Units_NewAt(tank_, 1, -1, 7, 6);
    UNIT* out = Units_NewAt(tank_, 1, -1, 9, 6);
    Units_NewAt(tank_, 2, -1, 6, 5); // not the local team's
    const std::vector<int> both = {a->id, b->id};
    // Tile 5 starts at pixel 108: a box from there to pixel 190 takes 5..7.
    const struct {
        const char* name;
        int x1, y1, x2, y2;
        uint32_t mods;
        std::vector<int> want;
    } rows[] = {
        {"left to right", 110, 110 + 32, 190, 160 + 32, 0, both},
        {"right to left", 190, 160 + 32, 110, 110 + 32, 0, both},
        {"thinner than half a tile takes its tile", SX(9) - 2, SY(6) - 20, SX(9) + 2, SY(6) + 2, 0, {out->id}},
        {"shift adds", 110, 110 + 32, 190, 160 + 32, MOD_LSHIFT, {out->id, a->id, b->id}},
        {"a plain box replaces", SX(9) - 8, SY(6) - 20, SX(9) + 8, SY(6) + 2, 0, {out->id}},
    };
    for (const auto& r : rows) {
        igi_nfo.actionmode = AM_SELL;
        Drag(0, r.x1, r.y1, r.x2, r.y2, r.mods);
        EXPECT_EQ(Selected(), r.want) << r.name;
        EXPECT_EQ(igi_nfo.actionmode, AM_DEFAULT) << r.name << ": sell mode ends";
        EXPECT_TRUE(Pending().empty()) << r.name;
    }
    igi_nfo.actionmode = AM_FIRE;
    Drag(0, 110, 142, 190, 192);
    EXPECT_EQ(igi_nfo.actionmode, AM_FIRE) << "fire modes stay";
}

// The velocity of a scroll drag: braking below 20, a turn stops it, and a
// pointer held off centre can't grow it past the map.
TEST_F(MouseCommands, RegressionAHeldScrollDragNoLongerOutgrowsTheMapAndWraps)
{
    const struct {
        const char* name;
        int v, d, want;
    } rows[] = {
        {"a slow pull halves, then adds", 10, 10, 5 + 12},
        {"a fast pull adds", 10, 20, 34},
        {"a turn stops it first", 30, -20, -24},
        {"still: it brakes", 9, 0, 4},
        {"bounded by the map", 1530, 60, 1536},
        {"and the other way", -1530, -60, -1536},
    };
    for (const auto& r : rows) EXPECT_EQ(Igievnt_ScrollVelocity(r.v, r.d, 64 * 24), r.want) << r.name;
    // Held off centre for many frames the view stops at the map's edge.
    Send(EV_RIGHTDOWN, 224, 256);
    Frame(224, 262);
    ASSERT_EQ(igi_nfo.dragging, 1);
    for (int i = 0; i < 5000; i++) Frame(224 + 200, 256 + 200);
    EXPECT_EQ(g_MapView.x, 64 * 24 - MAPVIEW_SIZE);
    EXPECT_EQ(g_MapView.y, 64 * 24 - MAPVIEW_SIZE);
    EXPECT_LE(igi_nfo.scrollvx, 64 * 24);
    const int vx = g_MapView.x / 24, vy = g_MapView.y / 24;
    EXPECT_LE(g_Minimap.scrollx, vx);
    EXPECT_GE(g_Minimap.scrollx + g_Minimap.w, vx + MAPVIEW_TILES) << "the minimap's window follows";
    EXPECT_GE(g_Minimap.scrolly + g_Minimap.h, vy + MAPVIEW_TILES);
    Send(EV_RIGHTUP, 224, 256);
    EXPECT_EQ(igi_nfo.dragmode, 0);
}

// Without automatic production a double click on a building does nothing
// (the module isn't running); on another team's building neither.
TEST_F(MouseCommands, RegressionADoubleClickOnABuildingWithoutAutomaticProductionNoLongerEndsTheGame)
{
    BUILDINGTYPE* hut = QvWorld_BuildingType("Hut", 2, 2);
    BUILDING* own = Build_New(hut, 1, -1, 10, 10);
    BUILDING* other = Build_New(hut, 2, -1, 14, 10);
    for (BUILDING* b : {own, other}) {
        Send(EV_LEFTDOUBLEUP, SX(b->tilex), SY(b->tiley));
        EXPECT_EQ(igi_nfo.event.build, b);
        EXPECT_EQ(b->primary, 0);
        EXPECT_TRUE(Pending().empty());
    }
}

// A double click on a unit that can morph set the mode without its button:
// the Morph button stayed up while the mode was on, and a frame that ended
// the mode for want of a selection left a pressed button behind.
class PlayerViewMouse : public MouseCommands {};

TEST_F(PlayerViewMouse, ADoubleClickEnteredMorphWithoutPressingItsButton)
{
    tank_->abilities.canmorphunit = 1;
    UNIT* me = Units_NewAt(tank_, 1, -1, 10, 10);
    Igievnt_SelectUnit(me);
    Igievnt_UpdateOrderSettings();
    Send(EV_LEFTDOUBLEUP, SX(10), SY(10));
    EXPECT_EQ(igi_nfo.actionmode, AM_MORPH);
    EXPECT_TRUE(igi_nfo.zone.data[74].button.pressed);
    Send(EV_LEFTDOUBLEUP, SX(10), SY(10));
    EXPECT_EQ(igi_nfo.actionmode, AM_MORPH) << "a second double click keeps it";
    Igievnt_ClearSelection();
    IgiDisp_Update();
    EXPECT_EQ(igi_nfo.actionmode, AM_DEFAULT);
    EXPECT_FALSE(igi_nfo.zone.data[74].button.pressed);
    tank_->abilities.canmorphunit = 0;
}

TEST_F(MouseCommands, MapClicksQueueTheirOrdersAndResetTheModeAsTheirKindSays)
{
    BUILDINGTYPE* hut = QvWorld_BuildingType("Hut", 2, 2);
    UNIT* me = Units_NewAt(tank_, 1, -1, 10, 10);
    BUILDING* own = Build_New(hut, 1, -1, 12, 12);
    BUILDING* own2 = Build_New(hut, 1, -1, 14, 5);
    const struct {
        const char* name;
        int mode;
        bool select;
        int tx, ty;
        std::vector<int> orders;
        int modeafter;
    } rows[] = {
        {"default move", AM_DEFAULT, true, 16, 16, {QMOVE}, AM_DEFAULT},
        {"move mode", AM_MOVE2, true, 16, 16, {QMOVE}, AM_DEFAULT},
        {"rotate", AM_ROTATE, true, 16, 16, {QROTATE}, AM_DEFAULT},
        {"sell stays on", AM_SELL, false, 12, 12, {QSELLBUILDING}, AM_SELL},
        {"sell again", AM_SELL, false, 14, 5, {QSELLBUILDING}, AM_SELL},
        {"sell on ground does nothing", AM_SELL, false, 16, 16, {}, AM_SELL},
        {"power", AM_POWER, false, 12, 12, {QPOWERTOGGLE}, AM_POWER},
        {"production destination without a building", AM_PRODDEST, false, 16, 16, {}, AM_DEFAULT},
        {"nothing on ground", AM_DEFAULT, false, 16, 16, {}, AM_DEFAULT},
    };
    for (const auto& r : rows) {
        Igievnt_ClearSelection();
        Igievnt_DropBuilding();
        if (r.select) Igievnt_SelectUnit(me);
        igi_nfo.actionmode = r.mode;
        Click(SX(r.tx), SY(r.ty));
        EXPECT_EQ(Pending(), r.orders) << r.name;
        EXPECT_EQ(igi_nfo.actionmode, r.modeafter) << r.name;
        Forget();
    }
    // A selected building that dies while mode 14 waits: nothing happens.
    Click(SX(own2->tilex), SY(own2->tiley));
    ASSERT_EQ(igi_nfo.sbuild, own2);
    igi_nfo.actionmode = AM_PRODDEST;
    Build_Remove(own2);
    igi_nfo.sbuild = BuildId_Ptr(&igi_nfo.sbuildid);
    Click(SX(16), SY(16));
    EXPECT_TRUE(Pending().empty());
    EXPECT_EQ(igi_nfo.actionmode, AM_DEFAULT);
    // The same with the building alive sets its destination.
    Click(SX(own->tilex), SY(own->tiley));
    igi_nfo.actionmode = AM_PRODDEST;
    Click(SX(16), SY(16));
    EXPECT_EQ(Pending(), std::vector<int>({QSETBLDDEST}));
}

// A placement the building module refuses keeps action mode 9; one it
// accepts queues the construction at the footprint's top-left and ends it.
TEST_F(MouseCommands, PlacementRefusedKeepsTheModeAcceptedQueuesTheConstruction)
{
    BUILDINGTYPE* hut = QvWorld_BuildingType("Hut", 3, 3);
    UNITTYPE* crew = QvWorld_UnitType("Crew");
    crew->abilities.canbuild = 1;
    UNIT* builder = Units_NewAt(crew, 1, -1, 10, 10);
    Build_New(hut, 1, -1, 14, 14);
    Igievnt_SelectUnit(builder);
    igi_nfo.placetype = (uint16_t)hut->index;
    igi_nfo.actionmode = AM_PLACE;
    Click(SX(15), SY(15));
    EXPECT_TRUE(Pending().empty());
    EXPECT_EQ(igi_nfo.actionmode, AM_PLACE);
    Click(SX(6), SY(6));
    ASSERT_EQ(Pending(), std::vector<int>({QCONSTRUCTBUILDING}));
    EXPECT_EQ(igi_nfo.actionmode, AM_DEFAULT);
    EXPECT_TRUE(Selected().empty());
    int lx, ly;
    Igievnt_PlacementTopLeft(hut, 6, 6, &lx, &ly);
    EXPECT_EQ(lx, 6);
    EXPECT_EQ(ly, 6);
}

// A right click: the selection goes, then the building panel opens; in
// placement it only leaves the mode.
TEST_F(MouseCommands, CancelEmptiesTheSelectionThenOpensTheBuildingPanel)
{
    UNIT* me = Units_NewAt(tank_, 1, -1, 10, 10);
    Igievnt_SelectUnit(me);
    igi_nfo.actionmode = AM_PLACE;
    Drag(1, 200, 200, 200, 200);
    EXPECT_EQ(Selected(), std::vector<int>({me->id}));
    EXPECT_EQ(igi_nfo.actionmode, AM_DEFAULT);
    Drag(1, 200, 200, 202, 203);
    EXPECT_TRUE(Selected().empty());
    Igievnt_SetMfdMode(MFD_ORDERS);
    Drag(1, 200, 200, 200, 200);
    EXPECT_EQ(igi_nfo.mfdmode, MFD_BUILD);
}

// The minimap: a left click with nothing selected moves the view and
// queues nothing; with units selected it orders by the action mode.
TEST_F(MouseCommands, MinimapClicksMoveTheViewOrOrderByTheActionMode)
{
    ASSERT_NE(g_Minimap.picture, nullptr);
    const int x = g_Minimap.originx + 40, y = g_Minimap.originy + 30;
    Click(x, y);
    EXPECT_EQ(g_MapView.x, (40 - 9) * 24);
    EXPECT_EQ(g_MapView.y, (30 - 9) * 24);
    EXPECT_TRUE(Pending().empty());
    UNIT* me = Units_NewAt(tank_, 1, -1, 10, 10);
    const struct {
        const char* name;
        int mode;
        std::vector<int> orders;
    } rows[] = {
        {"default", AM_DEFAULT, {QMOVE}},
        {"fire", AM_FIRE, {QFIREATGROUND}},
        {"rotate does nothing", AM_ROTATE, {}},
    };
    for (const auto& r : rows) {
        Igievnt_ClearSelection();
        Igievnt_SelectUnit(me);
        igi_nfo.actionmode = r.mode;
        Click(x, y);
        EXPECT_EQ(Pending(), r.orders) << r.name;
        Forget();
    }
}

// The trail panel's edit trail: a fire waypoint only into a non-empty
// trail, never two waypoints on one tile, the chosen global trail copied
// into an empty one; a held waypoint follows the pointer past 3 pixels.
TEST_F(MouseCommands, TrailModesInsertWaypointsAndAHeldOneIsDragged)
{
    Igievnt_SetMfdMode(MFD_TRAIL);
    auto tiles = [] {
        std::vector<std::pair<int, int>> out;
        for (WAYPOINT* w = igi_nfo.edittrail.head; w; w = w->next) out.emplace_back(w->x, w->y);
        return out;
    };
    using Tiles = std::vector<std::pair<int, int>>;
    igi_nfo.actionmode = AM_TRAILINS1;
    Click(SX(5), SY(5));
    EXPECT_TRUE(tiles().empty()) << "no fire waypoint without a move";
    igi_nfo.actionmode = AM_TRAILINS0;
    Click(SX(5), SY(5));
    Click(SX(8), SY(5));
    igi_nfo.actionmode = AM_TRAILINS0;
    Click(SX(8), SY(5));
    EXPECT_EQ(tiles(), Tiles({{5, 5}, {8, 5}})) << "one waypoint a tile";
    EXPECT_EQ(igi_nfo.actionmode, AM_TRAILINS0) << "the mode stays";
    igi_nfo.actionmode = AM_TRAILINS1;
    Click(SX(9), SY(6));
    EXPECT_EQ(tiles(), Tiles({{5, 5}, {8, 5}, {9, 6}}));
    // Drag the first waypoint: under 3 pixels it stays, then it follows.
    igi_nfo.actionmode = AM_DEFAULT;
    Send(EV_LEFTDOWN, SX(5), SY(5));
    EXPECT_EQ(igi_nfo.buttonlock, LOCK_WAYPOINT);
    Frame(SX(5) + 3, SY(5));
    EXPECT_EQ(igi_nfo.dragging, 0);
    Frame(SX(7), SY(7));
    Frame(SX(7), SY(7));
    Frame(SX(8), SY(5)); // onto another waypoint: it stays where it was
    Send(EV_LEFTUP, SX(8), SY(5));
    EXPECT_EQ(tiles(), Tiles({{7, 7}, {8, 5}, {9, 6}}));
    EXPECT_EQ(igi_nfo.buttonlock, 0);
    // A right click first forgets the current waypoint, then the selection.
    Drag(1, 200, 200, 200, 200);
    EXPECT_EQ(igi_nfo.curwaypoint, nullptr);
    // An empty edit trail takes the chosen global trail first.
    Trail_Clear(&igi_nfo.edittrail);
    Trail_AddWaypoint(&teamdata[1].gtrails[2], WPT_MOVE, 3, 3, 0);
    igi_nfo.globaltrail = 2;
    igi_nfo.actionmode = AM_TRAILINS0;
    Click(SX(4), SY(4));
    EXPECT_EQ(tiles(), Tiles({{3, 3}, {4, 4}}));
    Trail_Clear(&teamdata[1].gtrails[2]);
}

// The text panel holds the input: a click inside its text does nothing, one
// in its close box, one outside it, or Escape closes it.
TEST_F(MouseCommands, TextPanelClosesByItsBoxOutsideOrEscape)
{
    const ZONE& z = igi_nfo.zone.data[TEXTPANEL_ZONE];
    const struct {
        const char* name;
        uint32_t kind;
        int x, y, key;
        int closed;
    } rows[] = {
        {"inside the text", EV_LEFTUP, 150, 200, 0, 0},
        {"the close box", EV_LEFTUP, z.rx - 10, z.ly + 10, 0, 1},
        {"outside", EV_LEFTUP, 420, 450, 0, 1},
        {"escape", EV_KEY, 150, 200, 1, 1},
        {"another key", EV_KEY, 150, 200, 30, 0},
    };
    for (const auto& r : rows) {
        IgiDisp_ShowTextFile("no such file", "Nothing here");
        ASSERT_TRUE(IgiDisp_IsTextPanelShown()) << r.name;
        EVENT e{};
        e.kind = r.kind;
        e.x = r.x;
        e.y = r.y;
        e.key = (uint32_t)r.key;
        Igievnt_HandleEvent(&e);
        EXPECT_EQ(!IgiDisp_IsTextPanelShown(), r.closed) << r.name;
        IgiDisp_CloseTextPanel();
    }
    // A right drag moves nothing else and ends where it began.
    IgiDisp_ShowTextFile("no such file", "Nothing here");
    Send(EV_RIGHTDOWN, 150, 200);
    Frame(150, 204);
    EXPECT_EQ(igi_nfo.dragging, 1);
    Frame(224, 300);
    Send(EV_RIGHTUP, 224, 256);
    EXPECT_EQ(igi_nfo.dragmode, 0);
    EXPECT_EQ(igi_nfo.dragging, 0);
    EXPECT_TRUE(IgiDisp_IsTextPanelShown());
    IgiDisp_CloseTextPanel();
    // Text wider than the panel: the drag scrolls sideways too.
    IgiDisp_ShowTextFile("no such file", "Nothing here");
    SList_SetColumns(IgiDisp_TextPanelList(), 1, 1000);
    Send(EV_RIGHTDOWN, 150, 200);
    Frame(154, 200);
    Frame(264, 256);
    EXPECT_EQ(IgiDisp_TextPanelList()->scrollx, 40);
    Send(EV_RIGHTUP, 224, 256);
    IgiDisp_CloseTextPanel();
}

} // namespace
