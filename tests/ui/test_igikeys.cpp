// The game screen's hot keys and developer keys on a started interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <string>
#include <thread>
#include <vector>

#include "core/gamestate.h"
#include "core/tlog.h"
#include "units/iterate.h"
#include "map/mapview.h"
#include "platform/input.h"
#include "rules/gamemsg.h"
#include "screendata.h"
#include "support/golden.h"
#include "support/passscript.h"
#include "support/world.h"
#include "ui/igi.h"
#include "ui/igievnt.h"
#include "ui/igikeys.h"
#include "ui/igimouse.h"
#include "ui/igipanel.h"
#include "ui/igipause.h"
#include "ui/igishot.h"
#include "ui/igidisp.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "platform/pcx.h"
#include "platform/sortdisp.h"
#include "platform/video.h"
#include "ui/igipump.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"

namespace {

class HotKeys : public QvWorldTest {
protected:
    unsigned mask_ = 0;
    QvScreenData screen_;
    void SetUp() override
    {
        QvWorldTest::SetUp();
        Input_Init();
        Event_Init();
        Orders_Init();
        g_LocalTeam = 1;
        g_DebugFlags = 0;
        g_NetworkGame = 0;
        g_GameState = GS_INGAME;
        Map_SetViewPixelPos(0, 0);
        Igi_Init();
        Igipanel_ResetMsgCounts();
        mask_ = Tlog_GetMask();
        Tlog_Enable(TLOG_DIAG, 1);
    }
    void TearDown() override
    {
        Igi_Close();
        Orders_Close();
        Event_Close();
        Input_Close();
        g_LocalTeam = 0;
        g_DebugFlags = 0;
        g_GameState = GS_INGAME;
        Tlog_SetMask(mask_);
        QvWorldTest::TearDown();
    }
    void Key(int key, unsigned modifiers = 0)
    {
        EVENT e{};
        e.kind = EV_KEY;
        e.x = 600;
        e.y = 10;
        e.key = (uint32_t)key;
        e.modifiers = modifiers;
        Igievnt_HandleEvent(&e);
    }
    // A key with left Ctrl and left Shift held.
    void DevKey(int key, unsigned modifiers = MOD_CTRL | MOD_LCTRL | MOD_LSHIFT)
    {
        Input_RawKey(SC_LCTRL, 1, 0);
        Input_RawKey(SC_LSHIFT, 1, 0);
        Key(key, modifiers);
        Input_RawKey(SC_LCTRL, 0, 0);
        Input_RawKey(SC_LSHIFT, 0, 0);
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
    UNIT* Unit(int x, int y) { return Units_NewAt(tank_, 1, -1, x, y); }
    UNIT* Select(int x, int y)
    {
        UNIT* u = Unit(x, y);
        Igievnt_SelectUnit(u);
        Igievnt_UpdateOrderSettings();
        return u;
    }
    std::vector<int> Groups(UNIT* u)
    {
        std::vector<int> in;
        for (int g = 0; g < UNITS_IGIGROUPS; g++)
            if (u->interfaceinfo.group[g]) in.push_back(g);
        return in;
    }
    bool Logged(const std::string& text) { return log_.text().find(text) != std::string::npos; }
};

} // namespace

TEST_F(HotKeys, OrderKeysQueueForTheSelectionAndAskForUnitsWithoutOne)
{
    const struct {
        const char* name;
        int key;
        unsigned modifiers;
        int code;
    } rows[] = {
        {"W rearms", 17, 0, QREARMSELF},       {"R repairs", 19, 0, QREPAIRSELF},
        {"X scatters", 45, 0, QSCATTER},       {"keypad 7 tenacity", 71, 0, QSETTENACITY},
        {"keypad 4 self-preservation", 75, 0, QSETSELFPRESERVATION},
        {"keypad 1 autonomy", 79, 0, QSETAUTONOMY},
    };
    for (const auto& r : rows) {
        Igievnt_ClearSelection();
        Igipanel_ResetMsgCounts();
        Key(r.key, r.modifiers);
        EXPECT_TRUE(Take().empty()) << r.name;
        EXPECT_EQ(Igipanel_MsgCount(MSG_NEEDUNIT), 1) << r.name;
        Select(10, 10);
        Key(r.key, r.modifiers);
        EXPECT_EQ(Take(), std::vector<int>({r.code})) << r.name;
    }
}

TEST_F(HotKeys, TacticalRowsRunHighToLowOnlyForSelfPreservation)
{
    Select(10, 10);
    const struct {
        int key, code;
        uint32_t level;
    } rows[] = {
        {71, QSETTENACITY, 0}, {72, QSETTENACITY, 1}, {73, QSETTENACITY, 2},
        {75, QSETSELFPRESERVATION, 2}, {76, QSETSELFPRESERVATION, 1}, {77, QSETSELFPRESERVATION, 0},
        {79, QSETAUTONOMY, 0}, {80, QSETAUTONOMY, 1}, {81, QSETAUTONOMY, 2},
    };
    for (const auto& r : rows) {
        Key(r.key);
        std::vector<std::pair<int, uint32_t>> got;
        while (ORDERREC* n = Orders_QueuePop(&g_OrdersPending)) {
            if (n->code == r.code) {
                uint32_t v = 0;
                memcpy(&v, n->payload, 4);
                got.push_back({n->code, v});
            }
            Orders_FreeNode(n);
        }
        EXPECT_EQ(got, (std::vector<std::pair<int, uint32_t>>{{r.code, r.level}})) << "key " << r.key;
    }
}

TEST_F(HotKeys, ZoneKeysPressTheirButtons)
{
    Select(10, 10);
    Key(31); // S: zone 14, stop
    EXPECT_EQ(Take(), std::vector<int>({QSTOP}));
    Key(24); // O: the orders panel
    EXPECT_EQ(igi_nfo.mfdmode, MFD_ORDERS);
    Key(46); // C: communications (refused outside debug mode and network games)
    EXPECT_EQ(igi_nfo.mfdmode, MFD_ORDERS);
    Key(41); // grave: special
    EXPECT_EQ(igi_nfo.mfdmode, MFD_SPECIAL);
    Key(1); // Escape: menu
    EXPECT_EQ(igi_nfo.mfdmode, MFD_MENU);
    Key(57); // Space: building panel
    EXPECT_EQ(igi_nfo.mfdmode, MFD_BUILD);
}

TEST_F(HotKeys, GroupsRecallMakeExclusiveAndAdd)
{
    Igievnt_ClearSelection();
    Key(2, MOD_CTRL);
    EXPECT_EQ(Igipanel_MsgCount(MSG_NEEDUNIT), 1);
    EXPECT_TRUE(Units_ListEmpty(&igi_nfo.group[0])) << "Ctrl+1 with nothing selected leaves group 0";

    UNIT* a = Select(10, 10);
    UNIT* b = Select(12, 10);
    Key(2, MOD_CTRL);
    Key(3, MOD_CTRL);
    EXPECT_EQ(Groups(a), std::vector<int>({1})) << "Ctrl+2 after Ctrl+1: only group 1";
    Key(2, MOD_CTRL);
    Key(3, MOD_ALT);
    EXPECT_EQ(Groups(b), std::vector<int>({0, 1})) << "Alt+2 keeps group 0";
    EXPECT_EQ(Igipanel_MsgCount(MSG_GROUPMADE), 4);

    Igievnt_ClearSelection();
    Key(3);
    EXPECT_EQ(Units_ListSize(&igi_nfo.selected), 2);
    EXPECT_EQ(Igipanel_MsgCount(MSG_SQUAD2SELECTED), 1);

    // Shift recalls and centres on the first unit.
    Units_Delete(b);
    Igievnt_ClearSelection();
    UNIT* far = Select(40, 45);
    Key(11, MOD_CTRL); // group 9 on key 0
    Igievnt_ClearSelection();
    Key(11, MOD_LSHIFT);
    EXPECT_EQ(Igipanel_MsgCount(MSG_SQUAD0SELECTED), 1);
    EXPECT_EQ(igi_nfo.firstunit, far);
    EXPECT_EQ(g_MapView.x, 40 * 24 - 216);
    EXPECT_EQ(g_MapView.y, 45 * 24 - 216);

    // A group whose units all died does nothing.
    Units_Delete(a);
    Igievnt_ClearSelection();
    Igipanel_ResetMsgCounts();
    Key(2);
    EXPECT_TRUE(Units_ListEmpty(&igi_nfo.selected));
    EXPECT_EQ(Igipanel_MsgCount(MSG_SQUAD1SELECTED), 0);
}

TEST_F(HotKeys, ESelectsTheUnitsInViewReplacingOrAdding)
{
    UNIT* far = Select(40, 40);
    UNIT* near = Unit(5, 5);
    Key(18);
    EXPECT_EQ(Units_ListSize(&igi_nfo.selected), 1) << "without Shift the selection is replaced";
    EXPECT_EQ(igi_nfo.firstunit, near);
    Igievnt_SelectUnit(far);
    Unit(6, 6);
    Key(18, MOD_RSHIFT);
    EXPECT_EQ(Units_ListSize(&igi_nfo.selected), 3) << "with Shift the view's units are added";
}

TEST_F(HotKeys, NextUnitWrapsOnceAndSkipsUnitsInsideBuildings)
{
    Unit(10, 10);
    UNIT* b = Unit(12, 10);
    Unit(14, 10);
    BUILDING* depot = Build_New(QvWorld_BuildingType("Depot", 2, 2), 1, -1, 30, 30);
    ASSERT_NE(depot, nullptr);
    BuildId_Setup(&b->partof, depot);
    std::vector<UNIT*> walk; // the iterators' order, whatever it is
    ITERATOR it;
    Iterate_UnitInit(&it, 1, 0, MM_ALL);
    for (UNIT* u = Iterate_UnitNext(&it); u; u = Iterate_UnitNext(&it))
        if (u != b) walk.push_back(u);
    ASSERT_EQ(walk.size(), 2u);
    Key(49);
    EXPECT_EQ(igi_nfo.firstunit, walk[0]) << "nothing selected: the team's first unit";
    Key(49);
    EXPECT_EQ(igi_nfo.firstunit, walk[1]) << "the unit inside a building is skipped";
    Key(49);
    EXPECT_EQ(igi_nfo.firstunit, walk[0]) << "wraps to the start";
    EXPECT_EQ(Units_ListSize(&igi_nfo.selected), 1);
}

TEST_F(HotKeys, QuitKeysChooseTheirState)
{
    const struct {
        const char* name;
        unsigned modifiers;
        bool developer;
        int state;
        const char* line;
    } rows[] = {
        {"Q alone", 0, false, GS_INGAME, nullptr},
        {"Shift+Q", MOD_LSHIFT, false, GS_FRONTEND, "Player hit SHIFT Q from in game"},
        {"Ctrl+Q", MOD_CTRL, false, GS_EDITOR, "Player hit CONTROL Q from game"},
        {"left Ctrl+left Shift+Q", MOD_CTRL | MOD_LCTRL | MOD_LSHIFT, true, GS_QUIT, "Player hit CTRL SHIFT Q from in game"},
    };
    for (const auto& r : rows) {
        g_GameState = GS_INGAME;
        if (r.developer)
            DevKey(16, r.modifiers);
        else
            Key(16, r.modifiers);
        EXPECT_EQ(g_GameState, r.state) << r.name;
        if (r.line) {
            EXPECT_TRUE(Logged(r.line)) << r.name;
        }
    }
}

TEST_F(HotKeys, HelpAndChatRefusedWhereTheyMayNotRun)
{
    igi_nfo.dragmode = 1;
    Key(59);
    EXPECT_FALSE(Logged("Help file not found.")) << "F1 during a drag";
    igi_nfo.dragmode = 0;
    Key(28);
    EXPECT_NE(igi_nfo.mfdmode, MFD_COMMS) << "Enter outside a network game";
}

// Tab leaves a panel for the trail panel; typing on the chat line that
// follows ends on the panel Tab left, not on the trail panel.
TEST_F(HotKeys, TabStartsALocalTrailAndRemembersThePanelItLeft)
{
    Key(15);
    EXPECT_EQ(Igipanel_MsgCount(MSG_NEEDUNIT), 1);
    EXPECT_NE(igi_nfo.mfdmode, MFD_TRAIL);
    Select(10, 10);
    Key(24); // O: the orders panel
    ASSERT_EQ(igi_nfo.mfdmode, MFD_ORDERS);
    Key(15);
    EXPECT_EQ(igi_nfo.mfdmode, MFD_TRAIL);
    EXPECT_EQ(igi_nfo.actionmode, AM_TRAILINS0);
    EXPECT_EQ(Take(), std::vector<int>({QLOCALCLEAR}));
    Key(15);
    EXPECT_TRUE(Take().empty()) << "not again while the trail is being laid";
    Igizone_SetDisabled(1, 0);
    Igievnt_InjectEvent(1, EV_LEFTUP, 0);
    ASSERT_EQ(igi_nfo.lockzone, 1u);
    Key(SC_ESCAPE);
    EXPECT_EQ(igi_nfo.lockzone, (uint32_t)ZD_NULL);
    EXPECT_EQ(igi_nfo.mfdmode, MFD_ORDERS);
    // A waypoint laid, then a new trail: the next one starts the new trail
    // (it went after the freed current waypoint, out of the trail).
    Igievnt_InsertWaypoint(WPT_MOVE, 5, 5);
    igi_nfo.actionmode = AM_DEFAULT;
    Key(15);
    Igievnt_InsertWaypoint(WPT_MOVE, 6, 6);
    ASSERT_EQ(Trail_Count(&igi_nfo.edittrail), 1);
    EXPECT_EQ(igi_nfo.edittrail.head, igi_nfo.edittrail.tail);
    Take();
}

TEST_F(HotKeys, DebugCommandsNeedDebugMode)
{
    teamdata[1].credits = 50000;
    DevKey(12);
    EXPECT_EQ(teamdata[1].credits, 50000) << "ignored without debug mode";
    DevKey(22);
    EXPECT_FALSE(Logged("Speed-Orders is"));

    g_DebugFlags |= DBG_DEBUGMODE;
    DevKey(12);
    EXPECT_EQ(teamdata[1].credits, 0) << "credits not below 0";
    DevKey(22);
    EXPECT_TRUE(Logged("Speed-Orders is ON"));
    DevKey(41);
    EXPECT_TRUE(g_DebugFlags & DBG_NOFOG);

    const struct {
        int from, key, to;
    } teams[] = {{0, 67, 8}, {8, 68, 0}, {3, 68, 4}, {3, 67, 2}};
    for (const auto& r : teams) {
        g_LocalTeam = r.from;
        DevKey(r.key);
        EXPECT_EQ(g_LocalTeam, r.to) << r.from << " key " << r.key;
    }
    EXPECT_TRUE(Logged("You are now team 2"));
}

TEST_F(HotKeys, PowerAdjustmentLastsAcrossRecomputes)
{
    g_DebugFlags |= DBG_DEBUGMODE;
    DevKey(81);
    DevKey(81);
    DevKey(73);
    DevKey(73, MOD_CTRL | MOD_LCTRL | MOD_LSHIFT | MOD_RSHIFT);
    DevKey(73, MOD_CTRL | MOD_LCTRL | MOD_LSHIFT | MOD_RSHIFT); // held at 0
    for (int update = 0; update < 3; update++) {
        Build_ComputeAccounts();
        EXPECT_EQ(teamdata[1].resource[BUILD_POWER].supply, 400) << update;
        EXPECT_EQ(teamdata[1].resource[BUILD_POWER].usage, 0) << update;
    }
    DevKey(73);
    Build_ComputeAccounts();
    EXPECT_EQ(teamdata[1].resource[BUILD_POWER].usage, 200) << "a cut below 0 is not kept";
}

TEST_F(HotKeys, DeveloperKeysWorkWithoutDebugModeButDebugModeNeedsASinglePlayerGame)
{
    DevKey(38); // L: the lists dump
    EXPECT_EQ(Take(), std::vector<int>({QDUMPLISTS}));
    DevKey(47); // V: save
    EXPECT_EQ(Take(), std::vector<int>({QSAVEGAME}));
    g_NetworkGame = 1;
    DevKey(32);
    EXPECT_FALSE(g_DebugFlags & DBG_DEBUGMODE);
    g_NetworkGame = 0;
    DevKey(32);
    EXPECT_TRUE(g_DebugFlags & DBG_DEBUGMODE);
}

TEST_F(HotKeys, TestErrorKeyEndsTheProgram)
{
    g_UpdateCount = 77;
    EXPECT_DEATH(DevKey(18), "Test error triggered 77");
}

// The developer layer read the keys held when the frame handled the key:
// a chord pressed and let go before its frame came fell through to the
// player keys (Shift+Q to the front end, D the decoy button).
class PlayerViewKeys : public HotKeys {
protected:
    void QuickChord(int key)
    {
        Input_RawKey(SC_LCTRL, 1, 0);
        Input_RawKey(SC_LSHIFT, 1, 0);
        Input_RawKey(key, 1, 0);
        Input_RawKey(key, 0, 0);
        Input_RawKey(SC_LSHIFT, 0, 0);
        Input_RawKey(SC_LCTRL, 0, 0);
        Igievnt_Update();
    }
};

TEST_F(PlayerViewKeys, AChordLetGoBeforeItsFrameWasTakenForThePlayerKeys)
{
    QuickChord(SC_Q);
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_TRUE(Logged("Player hit CTRL SHIFT Q from in game"));
    EXPECT_FALSE(Logged("Player hit SHIFT Q from in game"));
    g_GameState = GS_INGAME;
    QuickChord(47); // V
    EXPECT_EQ(Take(), std::vector<int>({QSAVEGAME}));
    QuickChord(32); // D
    EXPECT_TRUE(g_DebugFlags & DBG_DEBUGMODE);
    EXPECT_FALSE(igi_nfo.zone.data[28].button.pressed) << "not the decoy button";
    // Right Ctrl isn't the developer layer's.
    Input_RawKey(SC_RCTRL, 1, 0);
    Input_RawKey(SC_LSHIFT, 1, 0);
    Input_RawKey(SC_Q, 1, 0);
    Igievnt_Update();
    EXPECT_EQ(g_GameState, GS_FRONTEND);
}

namespace {

class Pause : public HotKeys {
protected:
    void TearDown() override
    {
        Igievnt_PauseReset();
        g_GamePaused = 0;
        g_NetworkGame = 0;
        HotKeys::TearDown();
    }
    bool Shown() { return igi_nfo.lockzone == IGIPAUSE_ZONE && !Igizone_GetDisabled(IGIPAUSE_ZONE); }
    int Paused() { return Igipanel_MsgCount(MSG_PAUSED); }
};

} // namespace

TEST_F(Pause, SinglePlayerF12PausesAndTheF12OfThePauseScreenResumes)
{
    Mouse_SetClipRect(10, 20, 300, 400);
    Key(IGIPAUSE_KEY);
    EXPECT_EQ(g_GamePaused, 1);
    EXPECT_TRUE(Shown());
    int l, t, r, b;
    Mouse_GetClipRect(&l, &t, &r, &b);
    const ZONE& z = igi_nfo.zone.data[IGIPAUSE_ZONE];
    EXPECT_EQ(std::vector<int>({l, t, r, b}), std::vector<int>({z.lx, z.ly, z.rx, z.ry})) << "mouse confined";
    Select(10, 10);
    Key(31);
    EXPECT_TRUE(Take().empty()) << "the pause screen swallows other keys";
    Key(IGIPAUSE_KEY);
    EXPECT_EQ(g_GamePaused, 0);
    EXPECT_FALSE(Shown());
    Mouse_GetClipRect(&l, &t, &r, &b);
    EXPECT_EQ(std::vector<int>({l, t, r, b}), std::vector<int>({10, 20, 300, 400})) << "saved clip restored";
}

TEST_F(Pause, ANetworkPauseDuringABoxDragStopsAtOnceAndShowsAfterTheRelease)
{
    g_NetworkGame = 1;
    igi_nfo.dragmode = 1;
    std::thread net([] { Igievnt_SetPause(1, 0); });
    net.join();
    EXPECT_EQ(g_GamePaused, 1) << "updates stop at once";
    EXPECT_FALSE(Shown());
    EXPECT_EQ(Paused(), 0) << "messages only on the main thread";
    Igievnt_ApplyNetPause();
    EXPECT_FALSE(Shown()) << "still dragging";
    EXPECT_EQ(Paused(), 1);
    igi_nfo.dragmode = 0;
    Igievnt_ApplyNetPause();
    Igievnt_ApplyNetPause();
    EXPECT_TRUE(Shown());
    EXPECT_FALSE(Igievnt_PausePending());
    EXPECT_EQ(Paused(), 1) << "shown once";
}

TEST_F(Pause, RepeatedRequestsAndRequestsDuringAnEdit)
{
    g_NetworkGame = 1;
    Igievnt_SetPause(1, 0);
    Igievnt_SetPause(1, 0);
    EXPECT_EQ(Paused(), 1) << "two identical requests, one message";
    EXPECT_TRUE(Shown());
    Igievnt_SetPause(0, 200); // a player byte outside the session
    EXPECT_EQ(Igipanel_MsgCount(MSG_UNPAUSED), 1);
    EXPECT_FALSE(Shown());

    igi_nfo.lockzone = 51; // a text field edits
    EXPECT_EQ(Igievnt_SetPause(1, 0), 1);
    EXPECT_EQ(igi_nfo.lockzone, 51u) << "the field keeps its lock";
    igi_nfo.lockzone = ZD_NULL;
    Igievnt_ApplyNetPause();
    EXPECT_TRUE(Shown());
}

namespace {

// A 16 x 16 map fits the view, so the whole-map shot is the view drawn once.
class Screenshots : public QvWorldTest {
protected:
    explicit Screenshots(int tiles = 16) : QvWorldTest(tiles, tiles) {}
    QvHeadlessScreen headless_;
    QvScreenData screen_;
    std::filesystem::path dir_, old_;
    void SetUp() override
    {
        QvWorldTest::SetUp();
        SortDisp_Init();
        Event_Init();
        Orders_Init();
        g_LocalTeam = 1;
        Map_SetViewPixelPos(0, 0);
        Igi_Init();
        Igipanel_ResetMsgCounts();
        Igievnt_ResetScreenshots();
        old_ = std::filesystem::current_path();
        dir_ = std::filesystem::temp_directory_path() / ("qvshot" + std::to_string(getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        std::filesystem::current_path(dir_);
    }
    void TearDown() override
    {
        std::filesystem::current_path(old_);
        std::filesystem::remove_all(dir_);
        Igi_Close();
        Orders_Close();
        Event_Close();
        g_LocalTeam = 0;
        SortDisp_Close();
        QvWorldTest::TearDown();
    }
    bool Exists(const char* name) { return std::filesystem::exists(dir_ / name); }
};

} // namespace

TEST_F(Screenshots, NamesSkipFilesOfEarlierRuns)
{
    for (const char* taken : {"quor0000.pcx", "quor0001.pcx"}) fclose(fopen(taken, "wb"));
    ASSERT_TRUE(Igievnt_Screenshot(0));
    EXPECT_TRUE(Exists("quor0002.pcx"));
    EXPECT_EQ(std::filesystem::file_size(dir_ / "quor0000.pcx"), 0u) << "an earlier shot is kept";
    ASSERT_TRUE(Igievnt_Screenshot(0));
    EXPECT_TRUE(Exists("quor0003.pcx"));
    EXPECT_EQ(Igipanel_MsgCount(MSG_SCRNSHOT), 2);
}

TEST_F(Screenshots, AFailedWriteShowsNoMessage)
{
    std::filesystem::remove_all(dir_); // the working directory is gone: no file can be made
    EXPECT_FALSE(Igievnt_Screenshot(0));
    EXPECT_EQ(Igipanel_MsgCount(MSG_SCRNSHOT), 0);
    EXPECT_NE(log_.text().find("could not be written"), std::string::npos);
}

TEST_F(Screenshots, TheShotIsTheBackBufferAndTheWholeMapTheViewDrawn)
{
    IgiDisp_DrawGameScreen();
    BITMAP* back = Backbuf_Lock();
    ASSERT_TRUE(back && back->data);
    std::vector<uint8_t> screen(back->data, back->data + (size_t)back->x_size * back->y_size);
    ASSERT_TRUE(Igievnt_Screenshot(0));
    BITMAP got = {};
    ASSERT_TRUE(Pcx_Read("quor0000.pcx", &got, nullptr));
    EXPECT_EQ(std::vector<uint8_t>(got.data, got.data + screen.size()), screen);
    Graph_FreeBitmap(&got);

    ASSERT_TRUE(Igievnt_Screenshot(1));
    ASSERT_TRUE(Pcx_Read("quor0001.pcx", &got, nullptr));
    ASSERT_EQ(got.x_size, 16 * 24);
    ASSERT_EQ(got.y_size, 16 * 24);
    for (int y = 0; y < got.y_size; y++) {
        const uint8_t* view = screen.data() + (size_t)(MAPVIEW_SCREEN_Y + y) * back->x_size;
        ASSERT_EQ(memcmp(got.data + (size_t)y * got.x_size, view, (size_t)got.x_size), 0) << "row " << y;
    }
    Graph_FreeBitmap(&got);
}

namespace {

// A map wider and taller than one step: the picture is pieced from four views.
class WholeMapShots : public Screenshots {
protected:
    WholeMapShots() : Screenshots(24) {}
};

} // namespace

TEST_F(WholeMapShots, EveryPieceIsTheViewDrawnAtItsStep)
{
    Units_NewAt(tank_, 1, -1, 2, 2);
    Units_NewAt(tank_, 1, -1, 21, 20);
    ASSERT_TRUE(Igievnt_Screenshot(1));
    BITMAP got = {};
    ASSERT_TRUE(Pcx_Read("quor0000.pcx", &got, nullptr));
    const int w = 24 * 24;
    ASSERT_EQ(got.x_size, w);
    ASSERT_EQ(got.y_size, w);
    int unseen = 0;
    for (int sy = 0; sy < w; sy += IGISHOT_STEP)
        for (int sx = 0; sx < w; sx += IGISHOT_STEP) {
            Map_SetViewPixelPosRedraw(sx, sy);
            for (int i = 0; i < IGISHOT_DRAWS; i++) IgiDisp_DrawGameScreen();
            const BITMAP* back = Backbuf_Lock();
            const int vx = g_MapView.x, vy = g_MapView.y;
            int wrong = 0;
            for (int py = sy; py < std::min(w, sy + IGISHOT_STEP); py++)
                for (int px = sx; px < std::min(w, sx + IGISHOT_STEP); px++) {
                    const int x = px - vx, y = py - vy;
                    // The view is 456 pixels, the screen shows 448 of it: the
                    // map's last 8 columns and rows never reach the screen.
                    if (x >= IGISHOT_STEP || y >= IGISHOT_STEP) {
                        unseen++;
                        continue;
                    }
                    wrong += got.data[(size_t)py * w + px] !=
                             back->data[(size_t)(MAPVIEW_SCREEN_Y + y) * back->x_size + MAPVIEW_SCREEN_X + x];
                }
            EXPECT_EQ(wrong, 0) << "the piece at " << sx << "," << sy;
        }
    EXPECT_EQ(unseen, 2 * 8 * w - 8 * 8);
    EXPECT_TRUE(Golden_BitmapMatches(&got, g_Palette, 0x6D6601BFu, "wholemap_actual.pcx"));
    Graph_FreeBitmap(&got);
}

TEST_F(HotKeys, DumpListsGivesTheSameLinesForTheSameGame)
{
    auto run = [this] {
        Units_NewAt(tank_, 1, -1, 10, 10);
        Units_NewAt(jet_, 2, -1, 20, 12);
        Build_New(QvWorld_BuildingType("Depot", 2, 2), 1, -1, 30, 30);
        g_UpdateCount = 5;
        DevKey(38);
        while (ORDERREC* n = Orders_QueuePop(&g_OrdersPending)) {
            Orders_Execute(n);
            Orders_FreeNode(n);
        }
        std::string text = log_.text();
        size_t at = text.rfind("Lists at update 5");
        return at == std::string::npos ? std::string() : text.substr(at);
    };
    std::string first = run();
    TearDown();
    SetUp();
    std::string second = run();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first, second);
    int units = 0, buildings = 0;
    for (size_t at = 0; (at = first.find("unit ", at)) != std::string::npos; at++) units++;
    for (size_t at = 0; (at = first.find("building ", at)) != std::string::npos; at++) buildings++;
    EXPECT_EQ(units, 2);
    EXPECT_EQ(buildings, 1);
}
