// The command panels on a started interface: the standard-button protocol,
// the orders and special panels, trails, communications and the menu.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/crc32.h"
#include "core/gamestate.h"
#include "save/save.h"
#include "map/mapview.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "rules/gamemsg.h"
#include "screendata.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "ui/igi.h"
#include "ui/igibtn.h"
#include "ui/igicomms.h"
#include "ui/igidisp.h"
#include "ui/igievnt.h"
#include "ui/igimenu.h"
#include "ui/igipanel.h"
#include "ui/igipump.h"
#include "ui/igitext.h"
#include "ui/igitrail.h"
#include "ui/slist.h"
#include "ui/igimouse.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/unithold.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"

namespace {

// The interface started on a 64 x 64 world, local team 1, debug mode on so
// that the communications panel opens.
class Panels : public QvWorldTest {
protected:
    QvScreenData screen_;
    void SetUp() override
    {
        QvWorldTest::SetUp();
        Input_Init();
        Event_Init();
        Orders_Init();
        g_LocalTeam = 1;
        g_DebugFlags = DBG_DEBUGMODE;
        g_NetworkGame = 0;
        g_OptGivingDisabled = 0;
        Map_SetViewPixelPos(0, 0);
        Igi_Init();
        g_DebugFlags |= DBG_DEBUGMODE;
        Igipanel_ResetMsgCounts();
    }
    void TearDown() override
    {
        Igi_Close();
        Orders_Close();
        Event_Close();
        Input_Close();
        g_LocalTeam = 0;
        g_DebugFlags = 0;
        QvWorldTest::TearDown();
    }
    void Send(uint32_t kind, int x, int y, int key = 0, int ch = 0)
    {
        EVENT e{};
        e.kind = kind;
        e.x = x;
        e.y = y;
        e.key = (uint32_t)key;
        e.ch = (uint8_t)ch;
        Igievnt_HandleEvent(&e);
    }
    void Click(int x, int y)
    {
        Send(EV_LEFTDOWN, x, y);
        Send(EV_LEFTUP, x, y);
    }
    // A click at the centre of a zone.
    void ClickZone(int zd)
    {
        const ZONE& z = igi_nfo.zone.data[zd];
        Click((z.lx + z.rx) / 2, (z.ly + z.ry) / 2);
    }
    // The codes of the pending orders other than the selection's, emptied.
    std::vector<int> Take()
    {
        std::vector<int> codes;
        while (ORDERREC* n = Orders_QueuePop(&g_OrdersPending)) {
            if (n->code != QCLEARSELECTED && n->code != QADDSELECTED) codes.push_back(n->code);
            Orders_FreeNode(n);
        }
        return codes;
    }
    // The value at byte at of each pending order of code, emptied.
    std::vector<uint32_t> TakeValues(int code, int at = 0, int bytes = 4)
    {
        std::vector<uint32_t> values;
        while (ORDERREC* n = Orders_QueuePop(&g_OrdersPending)) {
            if (n->code == code) {
                uint32_t v = 0;
                memcpy(&v, n->payload + at, (size_t)bytes);
                values.push_back(v);
            }
            Orders_FreeNode(n);
        }
        return values;
    }
    UNIT* Select(int x, int y)
    {
        UNIT* u = Units_NewAt(tank_, 1, -1, x, y);
        Igievnt_SelectUnit(u);
        Igievnt_UpdateOrderSettings();
        return u;
    }
};

} // namespace

TEST_F(Panels, AButtonActsOnlyOnALeftReleaseAndShowsDownForOneFrame)
{
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_ORDERS));
    Select(10, 10);
    const ZONE& z = igi_nfo.zone.data[34];
    int x = (z.lx + z.rx) / 2, y = (z.ly + z.ry) / 2;
    for (uint32_t kind : {EV_LEFTDOWN, EV_RIGHTDOWN, EV_RIGHTUP, EV_LEFTDOUBLE}) Send(kind, x, y);
    EXPECT_TRUE(Take().empty()) << "only a left release acts";
    EXPECT_EQ(Igipanel_MsgCount(MSG_SFXBUTTONCLICK), 0);
    Send(EV_LEFTDOUBLEUP, x, y);
    EXPECT_EQ(Take(), std::vector<int>({QAUTOMOVEON})) << "a double click's release is a release here";
    Igievnt_Update();
    Send(EV_LEFTUP, x, y);
    EXPECT_EQ(Take(), std::vector<int>({QAUTOMOVEON}));
    EXPECT_EQ(Igipanel_MsgCount(MSG_SFXBUTTONCLICK), 2);
    EXPECT_EQ(z.button.pressed, 1u) << "drawn down in the click's frame";
    Igievnt_Update();
    EXPECT_EQ(z.button.pressed, 0u) << "and up in the next";
    EXPECT_EQ(z.dirty, 1);
}

// Two presses on one spot within 500 ms are a double click for the pump,
// and only the map view has a use for one: elsewhere the second press and
// its release came as kinds no handler took, and the second of two quick
// clicks was lost (a player who tapped Hold twice left it on).
class PlayerViewPanels : public Panels {
protected:
    // Two clicks on one spot 150 ms apart, through the input layer and the
    // pump, a frame for each press and each release.
    void QuickClicks(int x, int y)
    {
        Input_RawMouseMove(x, y);
        for (int i = 0; i < 2; i++) {
            Input_RawMouseButton(0, 1);
            Igievnt_Update();
            Input_RawMouseButton(0, 0);
            Igievnt_Update();
            PlatHeadless_Advance(150);
        }
        PlatHeadless_Advance(1000); // the next pair starts afresh
    }
};

TEST_F(PlayerViewPanels, TheSecondOfTwoQuickClicksWasLostOffTheMapView)
{
    Select(10, 10);
    const struct {
        const char* name;
        int mfd, zd; // clicked at the zone's centre; the map view at the unit
        std::vector<int> orders;
        int group; // the chat's recipient group after, or -1
    } rows[] = {
        {"Hold, a standard button", MFD_ORDERS, 33, {QAUTOMOVEON, QAUTOMOVEON}, -1},
        {"the game-speed slider", MFD_MENU, IGIMENU_SPEEDZONE, {QGAMESPEED, QGAMESPEED}, -1},
        {"the minimap", MFD_BUILD, 23, {QMOVE, QMOVE}, -1},
        {"a group button under the chat's lock: on, then off", MFD_COMMS, 62, {}, 5},
        {"the map view: a double click", MFD_BUILD, 22, {QUNITSPECFUNC}, -1},
    };
    for (const auto& r : rows) {
        ASSERT_TRUE(Igievnt_SetMfdMode(r.mfd)) << r.name;
        if (r.group >= 0) {
            ASSERT_TRUE(Igievnt_OpenChat());
        }
        const ZONE& z = igi_nfo.zone.data[r.zd];
        if (r.zd == 22)
            QuickClicks(10 * 24, 10 * 24 + 32);
        else
            QuickClicks((z.lx + z.rx) / 2, (z.ly + z.ry) / 2);
        EXPECT_EQ(Take(), r.orders) << r.name;
        if (r.group >= 0) {
            EXPECT_EQ(igi_nfo.commgroup, r.group) << r.name;
            Send(EV_KEY, 0, 0, SC_ESCAPE, 0);
        }
    }
}

TEST_F(Panels, AutomaticMovementTurnsOffOnlyWhenEverySelectedUnitHasThatMode)
{
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_ORDERS));
    UNIT* a = Select(10, 10);
    UNIT* b = Select(11, 10);
    const struct {
        const char* name;
        int levela, levelb; // -1: not in automatic movement
        int want;
    } rows[] = {
        {"both in mode 1", 1, 1, QAUTOMOVEOFF},
        {"mixed modes", 1, 2, QAUTOMOVEON},
        {"one not moving", 1, -1, QAUTOMOVEON},
        {"both in mode 0", 0, 0, QAUTOMOVEON},
    };
    for (const auto& r : rows) {
        for (auto [u, level] : {std::pair{a, r.levela}, std::pair{b, r.levelb}}) {
            u->sorder.code = level < 0 ? SO_NONE : SO_AUTOMOVE;
            u->sorder.automove.level = level < 0 ? 0 : level;
        }
        Igievnt_UpdateOrderSettings();
        ClickZone(34);
        EXPECT_EQ(Take(), std::vector<int>({r.want})) << r.name;
    }
}

TEST_F(Panels, TacticalRowsMapThePointerToLevels)
{
    const struct {
        int zd, x, level;
    } rows[] = {
        {39, 548, 2}, {39, 577, 2}, {39, 578, 1}, {39, 607, 1}, {39, 608, 0}, {39, 637, 0},
        {41, 548, 0}, {41, 578, 1}, {41, 637, 2}, {40, 600, 1},
    };
    for (const auto& r : rows) EXPECT_EQ(Igievnt_TacticalLevelAt(r.zd, r.x), r.level) << r.zd << " x " << r.x;
    igi_nfo.orderspage = 1;
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_ORDERS));
    Select(10, 10);
    Click(610, 270);
    EXPECT_EQ(TakeValues(QSETSELFPRESERVATION), std::vector<uint32_t>({0}));
}

TEST_F(Panels, PresetsQueueTenacitySelfPreservationAutonomyInThatOrder)
{
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_ORDERS));
    Select(10, 10);
    teamdata[1].unitdef = {7, -2, 1}; // self-preservation, tenacity, autonomy
    const struct {
        int zd;
        uint32_t tenacity, selfpreservation, autonomy;
    } rows[] = {{36, 0, 0, 2}, {37, 2, 0, 1}, {38, 0, 2, 1}};
    for (const auto& r : rows) {
        ClickZone(r.zd);
        std::vector<std::pair<int, uint32_t>> got;
        while (ORDERREC* n = Orders_QueuePop(&g_OrdersPending)) {
            uint32_t v;
            memcpy(&v, n->payload, 4);
            if (n->code != QCLEARSELECTED && n->code != QADDSELECTED) got.emplace_back(n->code, v);
            Orders_FreeNode(n);
        }
        const std::vector<std::pair<int, uint32_t>> want = {
            {QSETTENACITY, r.tenacity}, {QSETSELFPRESERVATION, r.selfpreservation}, {QSETAUTONOMY, r.autonomy}};
        EXPECT_EQ(got, want) << r.zd;
    }
}

TEST_F(Panels, SetDefaultsSendsThreeWhereTheSelectionDiffers)
{
    igi_nfo.orderspage = 1;
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_ORDERS));
    ClickZone(42);
    EXPECT_TRUE(Take().empty()) << "nothing without a selection";
    UNIT* a = Select(10, 10);
    UNIT* b = Select(11, 10);
    a->usertactaiinfo.tenacity = 0;
    b->usertactaiinfo.tenacity = 2;
    a->usertactaiinfo.autonomy = b->usertactaiinfo.autonomy = 1;
    Igievnt_UpdateOrderSettings();
    ClickZone(42);
    ORDERREC* n = Orders_QueueHead(&g_OrdersPending);
    while (n && n->code != QTACTICALAI) n = n->next;
    ASSERT_NE(n, nullptr);
    uint32_t v[3];
    memcpy(v, n->payload, 12);
    EXPECT_EQ(v[0], 3u) << "mixed tenacity";
    EXPECT_EQ(v[2], 1u);
}

TEST_F(Panels, WithoutASelectionButtonsThatNeedAUnitOnlyComplain)
{
    const struct {
        int mode, page, zd;
        int need;       // MSG_NEEDUNIT expected
        int actionmode; // afterwards
    } rows[] = {
        {MFD_ORDERS, 0, 33, 1, AM_DEFAULT}, {MFD_ORDERS, 0, 36, 1, AM_DEFAULT}, {MFD_ORDERS, 0, 38, 1, AM_DEFAULT},
        {MFD_ORDERS, 1, 41, 1, AM_DEFAULT}, {MFD_TRAIL, 0, 48, 1, AM_DEFAULT}, {MFD_SPECIAL, 0, 74, 0, AM_MORPH},
        {MFD_SPECIAL, 0, 79, 0, AM_MOVE2},  {MFD_SPECIAL, 0, 76, 0, AM_DEFAULT},
    };
    for (const auto& r : rows) {
        igi_nfo.orderspage = (uint8_t)r.page;
        ASSERT_TRUE(Igievnt_SetMfdMode(r.mode));
        Igipanel_ResetMsgCounts();
        ClickZone(r.zd);
        EXPECT_EQ(Igipanel_MsgCount(MSG_NEEDUNIT), r.need) << r.zd;
        EXPECT_TRUE(Take().empty()) << r.zd;
        EXPECT_EQ(igi_nfo.actionmode, r.actionmode) << r.zd;
    }
}

TEST_F(Panels, PackButtonPlacesACarriedPackage)
{
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_SPECIAL));
    ClickZone(81);
    EXPECT_TRUE(Take().empty()) << "nothing selected, nothing to pack";
    UNIT* u = Select(10, 10);
    ClickZone(81);
    EXPECT_TRUE(Take().empty()) << "a unit outside any building";
    EXPECT_EQ(igi_nfo.actionmode, AM_DEFAULT);
    static BUILDINGTYPE type;
    type.index = 5;
    BUILDINGPACKAGE pack{};
    pack.building_type = &type;
    u->building_package = &pack;
    ClickZone(81);
    EXPECT_EQ(igi_nfo.actionmode, AM_PLACE);
    EXPECT_EQ(igi_nfo.placetype, 5);
    u->building_package = nullptr;
}

// The pack button's first and third cases: the selected own building packs
// when its type has a package; else the building a selected unit belongs
// to packs.
TEST_F(Panels, PackButtonPacksTheSelectedBuildingOrTheOneAUnitBelongsTo)
{
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_SPECIAL));
    BUILDINGTYPE* tent = QvWorld_BuildingType("Tent", 2, 2);
    BUILDINGTYPE* hut = QvWorld_BuildingType("Hut", 2, 2);
    tent->transportunit = tank_;
    BUILDING* a = Build_New(tent, 1, -1, 20, 20);
    BUILDING* b = Build_New(hut, 1, -1, 30, 30);
    ASSERT_TRUE(a && b);
    Igievnt_SelectBuilding(a);
    ClickZone(81);
    EXPECT_EQ(TakeValues(QPACKBUILDING), std::vector<uint32_t>({(uint32_t)a->id}));
    Igievnt_SelectBuilding(b);
    ClickZone(81);
    EXPECT_TRUE(Take().empty()) << "a type without a package";
    Igievnt_DropBuilding();
    Select(10, 10);
    UNIT* inside = Select(11, 10);
    BuildId_Setup(&inside->partof, a);
    ClickZone(81);
    EXPECT_EQ(TakeValues(QPACKBUILDING), std::vector<uint32_t>({(uint32_t)a->id})) << "the unit's building";
    BuildId_Clear(&inside->partof);
}

// ---- trails ----

namespace {

class TrailPanel : public Panels {
protected:
    void SetUp() override
    {
        Panels::SetUp();
        igi_nfo.trailpage = 1;
        ASSERT_TRUE(Igievnt_SetMfdMode(MFD_TRAIL));
    }
    void Edit(std::vector<std::pair<int, int>> tiles)
    {
        for (auto [x, y] : tiles) Igievnt_InsertWaypoint(WPT_MOVE, x, y);
    }
    std::vector<std::string> Names()
    {
        std::vector<std::string> names;
        SLIST* l = Igitrail_List();
        for (int i = 0; i < SList_Count(l); i++) {
            const char* text = nullptr;
            SList_SelectAt(l, l->lx + 2, l->ly + i * IGITRAIL_ROW + 2, &text, nullptr, nullptr);
            names.push_back(text ? text : "?");
        }
        return names;
    }
    // The slots of the stores queued, emptied.
    std::vector<uint32_t> Stored() { return TakeValues(QGLOBALCLEAR, 0, 1); }
};

} // namespace

TEST_F(TrailPanel, TwoStoresBeforeExecutionTakeTwoSlots)
{
    Edit({{5, 5}, {6, 6}});
    ClickZone(50);
    EXPECT_EQ(igi_nfo.edittrail.head, nullptr) << "the edit trail is sent and cleared";
    ClickZone(53); // deselect, so the next store makes a new trail
    Edit({{7, 7}});
    ClickZone(50);
    std::vector<uint32_t> slots = Stored();
    ASSERT_EQ(slots.size(), 2u);
    EXPECT_NE(slots[0], slots[1]) << "the first store's slot is held by its entry";
    EXPECT_EQ(Names(), std::vector<std::string>({"Trail 2", "Trail 1"}));
    EXPECT_STREQ(igi_nfo.trailname, "Trail 2") << "the new entry is selected";
    EXPECT_EQ(igi_nfo.globaltrail, (int32_t)slots[1]);
}

TEST_F(TrailPanel, StoreWithoutAnEditTrailUsesTheShownTrailAndNeedsOne)
{
    ClickZone(50);
    EXPECT_EQ(Igipanel_MsgCount(MSG_NOPATHAVAIL), 1);
    EXPECT_TRUE(Stored().empty());
    UNIT* u = Select(10, 10);
    ASSERT_NE(u->localtrail, nullptr);
    Trail_AddWaypoint(u->localtrail, WPT_MOVE, 12, 12, 0);
    EXPECT_EQ(Igitrail_ShownTrail(), u->localtrail);
    ClickZone(50);
    EXPECT_EQ(Stored().size(), 1u);
    EXPECT_EQ(Igipanel_MsgCount(MSG_NOPATHAVAIL), 1);
}

TEST_F(TrailPanel, AllSlotsInUseStoreNothingAndKeepTheCounter)
{
    for (TRAIL& t : teamdata[1].gtrails) Trail_AddWaypoint(&t, WPT_MOVE, 3, 3, 0);
    Edit({{5, 5}});
    igi_nfo.actionmode = AM_TRAILINS0;
    ClickZone(50);
    EXPECT_TRUE(Stored().empty());
    EXPECT_EQ(igi_nfo.trailcounter, 1);
    EXPECT_EQ(igi_nfo.actionmode, AM_DEFAULT);
    for (TRAIL& t : teamdata[1].gtrails) Trail_Clear(&t);
}

TEST_F(TrailPanel, ListClicksSelectAndDeselectAndDeleteAllClearsTheGlobalThenTheLocalTrails)
{
    Edit({{5, 5}});
    ClickZone(50);
    Stored();
    SLIST* l = Igitrail_List();
    int x = l->lx + 3, y = l->ly + 3;
    Click(x, y);
    EXPECT_STREQ(igi_nfo.trailname, "No trail") << "clicking the selected entry deselects it";
    EXPECT_EQ(igi_nfo.globaltrail, -1);
    Click(x, y);
    EXPECT_STREQ(igi_nfo.trailname, "Trail 1");
    Select(10, 10);
    ClickZone(46);
    EXPECT_EQ(TakeValues(QGLOBALCLEAR, 0, 1), std::vector<uint32_t>({0}));
    EXPECT_EQ(SList_Count(l), 0);
    EXPECT_STREQ(igi_nfo.trailname, "No trail");
    ClickZone(46);
    EXPECT_EQ(Take(), std::vector<int>({QLOCALCLEAR})) << "then the units' local trails";
}

TEST_F(TrailPanel, RightClickDeselectsButARightDragScrolls)
{
    for (int i = 0; i < 12; i++) {
        Edit({{5 + i, 5}});
        ClickZone(53);
        ClickZone(50);
    }
    ClickZone(53);
    Click(Igitrail_List()->lx + 3, Igitrail_List()->ly + 3);
    ASSERT_GE(igi_nfo.globaltrail, 0);
    const ZONE& z = igi_nfo.zone.data[52];
    Send(EV_RIGHTDOWN, z.lx + 10, z.ly + 10);
    EXPECT_EQ(igi_nfo.buttonlock, IGITRAIL_LOCK);
    Send(EV_RIGHTUP, z.lx + 10, z.ly + 10);
    EXPECT_EQ(igi_nfo.globaltrail, -1) << "a right click";
    EXPECT_EQ(igi_nfo.buttonlock, 0);
    Click(Igitrail_List()->lx + 3, Igitrail_List()->ly + 3);
    Send(EV_RIGHTDOWN, z.lx + 10, z.ly + 10);
    Mouse_SetPos(z.lx + 10, z.ly + 30);
    Igievnt_Update();
    EXPECT_EQ(igi_nfo.dragging, 1);
    Mouse_SetPos(z.lx + 40, z.ly + 60);
    Igievnt_Update();
    EXPECT_GT(Igitrail_List()->scrolly, 0);
    Send(EV_RIGHTUP, z.lx + 40, z.ly + 40);
    EXPECT_GE(igi_nfo.globaltrail, 0) << "a drag keeps the selection";
    EXPECT_EQ(igi_nfo.buttonlock, 0);
}

TEST_F(TrailPanel, RenameExecutionModeAndTheRebuiltList)
{
    Edit({{5, 5}});
    ClickZone(50);
    Stored();
    const ZONE& f = igi_nfo.zone.data[51];
    Click(f.lx + 2, f.ly + 2);
    Send(EV_KEY, f.lx + 2, f.ly + 2, SC_BACKSPACE, 0);
    Send(EV_KEY, f.lx + 2, f.ly + 2, 0x2D, 'X');
    Send(EV_KEY, f.lx + 2, f.ly + 2, SC_RETURN, 0);
    EXPECT_EQ(SList_GetSelectedText(Igitrail_List()), std::string("Trail X"));
    for (auto [x, mode] : {std::pair{508, 2}, {531, 0}, {570, 1}, {578, 1}}) {
        Click(x, 210);
        EXPECT_EQ(igi_nfo.execmode, mode) << x;
    }
    Trail_AddWaypoint(&teamdata[1].gtrails[4], WPT_MOVE, 9, 9, 0);
    Trail_AddWaypoint(&teamdata[1].gtrails[0], WPT_MOVE, 9, 9, 0);
    Igitrail_RebuildList();
    EXPECT_EQ(Names(), std::vector<std::string>({"Trail 2", "Trail 3"})) << "each non-empty slot named anew";
    EXPECT_EQ(igi_nfo.globaltrail, -1);
    for (TRAIL& t : teamdata[1].gtrails) Trail_Clear(&t);
}

TEST_F(TrailPanel, ExecuteSendsTheEditTrailThenExecutesIt)
{
    Select(10, 10);
    Edit({{5, 5}, {8, 8}});
    ClickZone(48);
    EXPECT_EQ(Take(), std::vector<int>({QLOCALCLEAR, QLOCALADDWAYPOINT, QLOCALADDWAYPOINT, QLOCALEXECUTE}));
    EXPECT_EQ(igi_nfo.edittrail.head, nullptr);
    Edit({{5, 5}});
    ClickZone(50);
    Take();
    ClickZone(48);
    EXPECT_EQ(TakeValues(QGLOBALEXECUTE, 0, 1), std::vector<uint32_t>({0})) << "the selected global trail";
}

// ---- communications ----

TEST_F(Panels, GroupButtonsLatchAndTheRecipientColumnReleasesThem)
{
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_COMMS));
    EXPECT_EQ(igi_nfo.commgroup, 5);
    ClickZone(62);
    EXPECT_EQ(igi_nfo.commgroup, 2);
    Igievnt_Update();
    EXPECT_EQ(igi_nfo.zone.data[62].button.pressed, 1u) << "latched";
    ClickZone(62);
    EXPECT_EQ(igi_nfo.commgroup, 5) << "twice: back to one by one";
    EXPECT_EQ(igi_nfo.zone.data[62].button.pressed, 0u);
    ClickZone(60);
    Click(565, 95 + 18 * 2 + 5);
    EXPECT_EQ(igi_nfo.commgroup, 5);
    for (int zd = 60; zd <= 64; zd++) EXPECT_EQ(igi_nfo.zone.data[zd].button.pressed, 0u) << zd;
    EXPECT_EQ(igi_nfo.commflag[2], 0u) << "no player takes part in a single-player game";
    Click(500, 220);
    EXPECT_EQ(igi_nfo.commrow, 6) << "rows end at 6";
}

TEST_F(Panels, GiftsOfCreditsUpToWhatTheTeamHasAndAlliances)
{
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_COMMS));
    teamdata[1].credits = 500;
    const struct {
        const char* amount;
        int queued, refused;
    } rows[] = {{"500", 1, 0}, {"501", 0, 1}, {"0", 0, 0}, {"", 0, 0}, {"99999999999999999999", 0, 1}};
    for (const auto& r : rows) {
        snprintf(igi_nfo.amount, sizeof igi_nfo.amount, "%s", r.amount);
        Igipanel_ResetMsgCounts();
        ClickZone(58);
        EXPECT_EQ((int)TakeValues(QGIVECREDITS, 4).size(), r.queued) << r.amount;
        EXPECT_EQ(Igipanel_MsgCount(MSG_NOCREDIT), r.refused) << r.amount;
    }
    g_OptGivingDisabled = 1;
    snprintf(igi_nfo.amount, sizeof igi_nfo.amount, "1");
    ClickZone(58);
    Select(10, 10);
    ClickZone(57);
    EXPECT_TRUE(Take().empty()) << "transfers forbidden";
    g_OptGivingDisabled = 0;
    ClickZone(57);
    EXPECT_EQ(Take(), std::vector<int>({QGIVEUNITS}));
    Click(571 + 22 * 2 + 3, 95 + 18 + 3);
    EXPECT_EQ(TakeValues(QCHANGEALLY, 1, 1), std::vector<uint32_t>({TR_ALLY})) << "row 1, ally column";
    EXPECT_EQ(Igicomms_ParseAmount(std::string(255, '9').c_str()), INT_MAX);
}

// Regression: the player list named teams 0..7 whether they played or not,
// and units given to a slot nobody played won the game there. A row left
// over is no player: not chosen, nothing given to it or allied with it.
TEST_F(Panels, RegressionThePlayerListHoldsOnlyTheTeamsInTheGame)
{
    for (int t = 0; t < TEAM_NEUTRAL; t++) teamdata[t].type = t == 1 || t == 3 ? TT_HUMAN : TT_DISABLED;
    Igicomms_ListPlayers();
    EXPECT_EQ(igi_nfo.commteam[0], 3);
    EXPECT_EQ(igi_nfo.commteam[1], TEAM_NEUTRAL);
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_COMMS));
    Click(500, 95 + 18 + 5);
    EXPECT_EQ(igi_nfo.commrow, 0);
    teamdata[3].type = TT_DISABLED;   // no other player: the chosen row 0 is empty
    Igicomms_ListPlayers();
    Select(10, 10);
    ClickZone(57);
    ClickZone(58);
    Click(571 + 3, 95 + 3);
    EXPECT_TRUE(Take().empty());
}

TEST_F(Panels, ChatEscapeRestoresThePanelAndSingleplayerChatSendsNothing)
{
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_MENU));
    ASSERT_TRUE(Igievnt_OpenChat());
    EXPECT_EQ(igi_nfo.mfdmode, MFD_COMMS);
    EXPECT_EQ(igi_nfo.lockzone, 1u);
    EXPECT_EQ(igi_nfo.chattyping, 1);
    Send(EV_KEY, 20, 410, 0x1E, 'a');
    EXPECT_STREQ(igi_nfo.chat, "a");
    Send(EV_KEY, 20, 410, SC_ESCAPE, 0);
    EXPECT_EQ(igi_nfo.mfdmode, MFD_MENU);
    EXPECT_EQ(igi_nfo.lockzone, 0u);
    EXPECT_EQ(Igizone_GetDisabled(1), 1);
    int before = IgiDisp_MessageCount();
    ASSERT_TRUE(Igievnt_OpenChat());
    Send(EV_KEY, 20, 410, 0x1E, 'a');
    Send(EV_KEY, 20, 410, SC_RETURN, 0);
    EXPECT_EQ(IgiDisp_MessageCount(), before) << "a single-player game's chat only ends the typing";
    EXPECT_EQ(igi_nfo.chattyping, 0);
}

// In a network game a confirmed line shows as "name : text"; the debug code
// typed turns debug mode on for the sender too.
TEST_F(Panels, NetworkChatShowsTheLineAndTheTypedDebugCodeTurnsDebugModeOn)
{
    g_NetworkGame = 1;
    g_DebugFlags = 0;
    auto type = [this](const char* text) {
        ASSERT_TRUE(Igievnt_OpenChat());
        for (const char* c = text; *c; c++) Send(EV_KEY, 20, 410, 0x1E, *c);
        Send(EV_KEY, 20, 410, SC_RETURN, 0);
    };
    type("hi");
    ASSERT_GT(IgiDisp_MessageCount(), 0);
    EXPECT_EQ(std::string(IgiDisp_Message(IgiDisp_MessageCount() - 1)),
              std::string(Team_GetPlayerNameString(1)) + " : hi");
    EXPECT_EQ(g_DebugFlags & DBG_DEBUGMODE, 0u);
    type("QUILLOP");
    EXPECT_EQ(g_DebugFlags & DBG_DEBUGMODE, (uint32_t)DBG_DEBUGMODE);
    g_NetworkGame = 0;
}

TEST_F(Panels, AReceivedTextIsCutAndTheDebugCodeTurnsDebugModeOn)
{
    g_DebugFlags = 0;
    char text[279];
    memset(text, 'x', sizeof text); // no terminator
    Igievnt_ChatReceived(0, text);
    EXPECT_EQ(Igipanel_MsgCount(MSG_MESSAGE), 1);
    EXPECT_EQ(g_DebugFlags & DBG_DEBUGMODE, 0u);
    Igievnt_ChatReceived(0, "QuillOp");
    EXPECT_EQ(g_DebugFlags & DBG_DEBUGMODE, (uint32_t)DBG_DEBUGMODE);
}

// ---- menu ----

TEST_F(Panels, MenuNamesListAndSliders)
{
    QvTempDir dir;
    snprintf(g_SaveDir, sizeof g_SaveDir, "%s", dir.path().c_str());
    dir.write("one.sav", "x");
    dir.write("two.sav", "x");
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_MENU));
    ASSERT_EQ(SList_Count(Igimenu_List()), 2) << "read when the panel opens";
    SLIST* l = Igimenu_List();
    Click(l->lx + 3, l->ly + IGIMENU_ROW + 3);
    EXPECT_STREQ(igi_nfo.savename, "two.sav");
    Igievnt_Update();
    EXPECT_EQ(SList_GetSelected(l, nullptr, nullptr, nullptr), -1) << "never keeps a selection";
    ClickZone(5);
    EXPECT_FALSE(std::filesystem::exists(dir.file("two.sav")));
    EXPECT_EQ(SList_Count(Igimenu_List()), 1);
    Send(EV_RIGHTDOWN, l->lx + 3, l->ly + 3);
    Send(EV_RIGHTUP, l->lx + 3, l->ly + 3);
    EXPECT_STREQ(igi_nfo.savename, "murn.sav") << "a right click resets the name";
    for (const char* bad : {"", "..\\one.sav", "a/b", "c:x", ".hidden"}) {
        snprintf(igi_nfo.savename, sizeof igi_nfo.savename, "%s", bad);
        EXPECT_FALSE(Igimenu_ValidName(bad)) << bad;
        int before = IgiDisp_MessageCount();
        ClickZone(5);
        EXPECT_EQ(IgiDisp_MessageCount(), before + 1) << "refused with a warning: " << bad;
    }
    EXPECT_TRUE(std::filesystem::exists(dir.file("one.sav")));
    EXPECT_EQ(igi_nfo.zone.data[65].button.value, 87);
    EXPECT_EQ(igi_nfo.zone.data[68].button.value, 9);
    EXPECT_EQ(IgiDisp_ScrollSpeed(), 9);
    g_SaveDir[0] = '\0';
}

// The objectives: section 1 of the scenario folder's briefing.
TEST_F(Panels, ObjectivesShowSectionOneOfTheScenarioBriefing)
{
    QvTempDir dir;
    char old[GAME_PATH];
    memcpy(old, g_ScenarioDir, sizeof old);
    snprintf(g_ScenarioDir, sizeof g_ScenarioDir, "%s", dir.path().c_str());
    dir.write("quorvex.brf", "\\0\nStaging text\n\\1\nHold the bridge\n\\2\nLater\n");
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_MENU));
    ClickZone(69);
    ASSERT_TRUE(IgiDisp_IsTextPanelShown());
    SLIST* l = IgiDisp_TextPanelList();
    ASSERT_NE(l, nullptr);
    std::string all;
    for (int i = 0; i < SList_Count(l); i++) {
        SList_Select(l, i);
        const char* t = SList_GetSelectedText(l);
        all += t ? t : "";
        all += "|";
    }
    EXPECT_NE(all.find("Hold the bridge"), std::string::npos) << all;
    EXPECT_EQ(all.find("Staging"), std::string::npos) << all;
    IgiDisp_CloseTextPanel();
    memcpy(g_ScenarioDir, old, sizeof old);
}

TEST_F(Panels, RestartAndHandOverDependOnTheGameKind)
{
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_MENU));
    EXPECT_EQ(Igizone_Find(500, 280), 70) << "single-player: restart";
    Click(500, 280);
    EXPECT_EQ(g_GameState, GS_NEWGAME);
    Igi_Close();
    g_NetworkGame = 1;
    Igi_Init();
    g_NetworkGame = 0; // the orders below go to the pending queue either way
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_MENU));
    EXPECT_EQ(Igizone_Find(500, 280), 71) << "network: hand over";
    Click(500, 280);
    EXPECT_EQ(Take(), std::vector<int>({QAITAKEOVER}));
    Click(500, 300);
    EXPECT_EQ(Take(), std::vector<int>({QSURRENDER}));
    Click(500, 320);
    EXPECT_EQ(g_GameState, GS_QUIT);
    g_GameState = GS_FRONTEND;
}

TEST_F(Panels, GameSpeedQueuesOnceAtTheRelease)
{
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_MENU));
    const ZONE& z = igi_nfo.zone.data[IGIMENU_SPEEDZONE];
    Input_RawMouseMove(z.lx + 10, z.ly + 3);
    Input_RawMouseButton(0, 1);
    Igievnt_Update();
    ASSERT_EQ(igi_nfo.buttonlock, 4);
    for (int x : {20, 40, 60, 103}) {
        Input_RawMouseMove(z.lx + x, z.ly + 3);
        Igievnt_Update();
    }
    EXPECT_TRUE(Take().empty()) << "nothing while dragging";
    Input_RawMouseButton(0, 0);
    Igievnt_Update();
    // The pointer is held inside the track: its last pixel gives 60 x 102 / 103.
    EXPECT_EQ(TakeValues(QGAMESPEED), std::vector<uint32_t>({59}));
}

namespace {

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::vector<uint8_t> bytes(std::filesystem::file_size(path));
    FILE* f = fopen(path.c_str(), "rb");
    if (f) {
        size_t got = fread(bytes.data(), 1, bytes.size(), f);
        bytes.resize(got);
        fclose(f);
    }
    return bytes;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return;
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

} // namespace

// Save, then load each kind of file: this game's (in place), a damaged one,
// an old version, another scenario's; a network game never loads.
TEST_F(Panels, SaveThenEachLoadResult)
{
    QvTempDir dir;
    snprintf(g_SaveDir, sizeof g_SaveDir, "%s", dir.path().c_str());
    Game_SetScenarioName("PANELS");
    ASSERT_TRUE(Igievnt_SetMfdMode(MFD_MENU));
    snprintf(igi_nfo.savename, sizeof igi_nfo.savename, "a.sav");
    Igievnt_GroupAddUnit(3, Select(10, 10));
    ClickZone(4);
    EXPECT_EQ(Igipanel_MsgCount(MSG_IGISAVINGGAME), 1);
    EXPECT_EQ(Igipanel_MsgCount(MSG_SAVEDONE), 1);
    EXPECT_EQ(igi_nfo.firstunit, nullptr) << "the selection is emptied first";
    ASSERT_TRUE(std::filesystem::exists(dir.file("a.sav")));
    EXPECT_EQ(SList_Count(Igimenu_List()), 1) << "refilled after the save";

    std::vector<uint8_t> old = ReadFile(dir.file("a.sav"));
    ASSERT_GT(old.size(), 32u);
    old[6] = 5; // minor version 5, the header's sum made right again
    uint32_t crc = Crc32_Block(old.data() + 4, 24);
    memcpy(old.data() + 28, &crc, 4);
    WriteFile(dir.file("old.sav"), old);
    WriteFile(dir.file("bad.sav"), {1, 2, 3});
    // Another scenario's file, kept as other.sav: its scenario is a folder
    // of the current category.
    char category[GAME_PATH];
    snprintf(category, sizeof category, "%s", g_ScenarioCategoryDir);
    snprintf(g_ScenarioCategoryDir, sizeof g_ScenarioCategoryDir, "%s", dir.file("scenario").c_str());
    std::filesystem::create_directories(dir.file("scenario/ELSEWHERE"));
    WriteFile(dir.file("scenario/ELSEWHERE/QUORVEX.scn"), {';', '\n'});
    Game_SetScenarioName("ELSEWHERE");
    ClickZone(4);
    Game_SetScenarioName("PANELS");
    std::filesystem::rename(dir.file("a.sav"), dir.file("b.sav"));
    snprintf(igi_nfo.savename, sizeof igi_nfo.savename, "a.sav");
    ClickZone(4);
    std::filesystem::rename(dir.file("b.sav"), dir.file("other.sav"));
    Igipanel_ResetMsgCounts();

    const struct {
        const char* name;
        int msg;      // the message of the result, -1 none
        int state;    // the engine state afterwards
    } rows[] = {
        {"a.sav", -1, GS_FRONTEND},
        {"bad.sav", MSG_SAVEINVALID, GS_FRONTEND},
        {"old.sav", MSG_SAVEOUTOFDATE, GS_FRONTEND},
        {"other.sav", -1, GS_LOADGAME},
    };
    for (const auto& r : rows) {
        g_GameState = GS_FRONTEND;
        snprintf(igi_nfo.savename, sizeof igi_nfo.savename, "%s", r.name);
        Igipanel_ResetMsgCounts();
        ClickZone(3);
        EXPECT_EQ(Igipanel_MsgCount(MSG_IGILOADINGGAME), 1) << r.name;
        if (r.msg >= 0) {
            EXPECT_EQ(Igipanel_MsgCount(r.msg), 1) << r.name;
        }
        EXPECT_EQ(g_GameState, r.state) << r.name;
        if (r.msg < 0 && r.state == GS_FRONTEND) {
            // Loaded in place: the groups point into the new game.
            ASSERT_EQ(Units_ListSize(&igi_nfo.group[3]), 1);
            UNIT* u = UnitId_Ptr(&igi_nfo.group[3].head->u);
            ASSERT_NE(u, nullptr);
            EXPECT_EQ(u->interfaceinfo.group[3], 1);
        }
    }
    EXPECT_NE(std::string(g_PendingLoadName).find("other.sav"), std::string::npos);
    EXPECT_NE(g_SaveFlags & SAVEF_PENDINGLOAD, 0u);
    g_SaveFlags &= ~SAVEF_PENDINGLOAD;
    snprintf(g_ScenarioCategoryDir, sizeof g_ScenarioCategoryDir, "%s", category);
    g_GameState = GS_FRONTEND;

    g_NetworkGame = 1;
    Igipanel_ResetMsgCounts();
    snprintf(igi_nfo.savename, sizeof igi_nfo.savename, "a.sav");
    ClickZone(3);
    EXPECT_EQ(Igipanel_MsgCount(MSG_IGILOADINGGAME), 0) << "a network game never loads";
    g_NetworkGame = 0;

    // A directory that can't be made: no "done", a warning instead.
    snprintf(g_SaveDir, sizeof g_SaveDir, "%s", dir.file("bad.sav/sub").c_str());
    int before = IgiDisp_MessageCount();
    Igipanel_ResetMsgCounts();
    ClickZone(4);
    EXPECT_EQ(Igipanel_MsgCount(MSG_SAVEDONE), 0);
    EXPECT_GT(IgiDisp_MessageCount(), before);
    g_SaveDir[0] = '\0';
}
