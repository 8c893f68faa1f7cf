#include "ui/igikeys.h"

#include <cstdio>

#include "ai/ai.h"
#include "core/console.h"
#include "core/debug.h"
#include "core/error.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "net/net.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/sound.h"
#include "platform/video.h"
#include "rules/gamemsg.h"
#include "ui/blip.h"
#include "ui/igi.h"
#include "ui/igibuild.h"
#include "ui/igicomms.h"
#include "ui/igidisp.h"
#include "ui/igievnt.h"
#include "ui/igiminimap.h"
#include "ui/igipanel.h"
#include "ui/igipause.h"
#include "ui/igishot.h"
#include "ui/igitext.h"
#include "ui/igitrail.h"
#include "ui/slist.h"
#include "units/autoprod.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unithold.h"

namespace {

// Scan codes of the keys the tables name.
enum {
    K_ESCAPE = 1, K_1 = 2, K_0 = 11, K_MINUS = 12, K_EQUALS = 13, K_BACK = 14, K_TAB = 15,
    K_Q = 16, K_W = 17, K_E = 18, K_R = 19, K_T = 20, K_U = 22, K_I = 23, K_O = 24, K_P = 25,
    K_ENTER = 28, K_LCTRL = 29, K_A = 30, K_S = 31, K_D = 32, K_F = 33, K_J = 36, K_L = 38,
    K_GRAVE = 41, K_LSHIFT = 42, K_BACKSLASH = 43, K_Z = 44, K_X = 45, K_C = 46, K_V = 47,
    K_B = 48, K_N = 49, K_M = 50, K_SLASH = 53, K_PADSTAR = 55, K_SPACE = 57, K_F1 = 59,
    K_F9 = 67, K_F10 = 68, K_PAD7 = 71, K_PAD8 = 72, K_PAD9 = 73, K_PADMINUS = 74, K_PAD4 = 75,
    K_PAD5 = 76, K_PAD6 = 77, K_PADPLUS = 78, K_PAD1 = 79, K_PAD2 = 80, K_PAD3 = 81, K_F12 = 88,
    K_PADSLASH = 181, K_HOME = 199, K_END = 207,
};

enum { MOD_SHIFT = MOD_RSHIFT | MOD_LSHIFT };

// The debug displays the developer keys toggle.
enum { DBG_NETLINES = 32 };

struct KEYENTRY {
    int key;
    void (*handler)(unsigned modifiers);
};

int Team(void) { return g_LocalTeam >= 0 && g_LocalTeam < TEAM_MAXTEAMS ? g_LocalTeam : 0; }

// Sets an action mode with its button (Igievnt_SetActionMode alone would
// turn the current mode off).
void SetMode(int mode)
{
    if (igi_nfo.actionmode != mode) Igievnt_SetActionMode(mode);
}

void Press(int zd) { Igievnt_InjectEvent(zd, EV_LEFTUP, 1); }

int Dragging(void) { return !Igievnt_IsIdle(); }

// 1 with a selection; else MSG_NEEDUNIT.
int NeedUnits(void)
{
    if (!Units_ListEmpty(&igi_nfo.selected)) return 1;
    Igipanel_Msg(MSG_NEEDUNIT);
    return 0;
}

void Respond(void)
{
    if (igi_nfo.firstunit) Igievnt_PlayUnitSound(igi_nfo.firstunit, 1);
}

// --- player keys ---

void KeyMenu(unsigned) { Press(19); }

void KeyTrail(unsigned)
{
    if (igi_nfo.actionmode == AM_TRAILINS0 || !NeedUnits()) return;
    const int previous = igi_nfo.mfdmode;
    if (!Igievnt_SetMfdMode(MFD_TRAIL)) return;
    igi_nfo.chatreturn = previous;
    if (SLIST* list = Igitrail_List()) SList_Select(list, -1);
    Igitrail_RefreshName();
    IgiDisp_SetZoneDirty(IGITRAIL_LISTZONE);
    Orders_QLocalTrail(g_LocalTeam, &igi_nfo.selected, nullptr);
    Trail_Clear(&igi_nfo.edittrail);
    igi_nfo.curwaypoint = nullptr; // freed with the trail: the next click would insert after it
    SetMode(AM_TRAILINS0);
}

void KeyQuit(unsigned m)
{
    if (m & MOD_SHIFT) {
        Tlog_Printf(TLOG_DIAG, "Player hit SHIFT Q from in game");
        Igipanel_Msg(MSG_INTERFACETERM);
        g_GameState = GS_FRONTEND;
    } else if (m & MOD_CTRL) {
        Tlog_Printf(TLOG_DIAG, "Player hit CONTROL Q from game");
        Igipanel_Msg(MSG_INTERFACETERM);
        g_GameState = GS_EDITOR;
    }
}

void KeyRearm(unsigned)
{
    if (!NeedUnits()) return;
    Orders_QRearmSelf(g_LocalTeam, &igi_nfo.selected);
    Respond();
}

void KeyRepair(unsigned)
{
    if (!NeedUnits()) return;
    Orders_QRepairSelf(g_LocalTeam, &igi_nfo.selected);
    Respond();
}

// Every unit of the local team in view: no rule lets the selection refuse
// one, so none stops the adding.
void KeySelectView(unsigned m)
{
    int x1 = g_MapView.tilex, y1 = g_MapView.tiley;
    Igievnt_SelectBox(x1, y1, x1 + MAPVIEW_TILES - 1, y1 + MAPVIEW_TILES - 1, (m & MOD_SHIFT) != 0);
    if (Units_ListSize(&igi_nfo.selected) == 1 && igi_nfo.firstunit && igi_nfo.firstunit->type &&
        igi_nfo.firstunit->type->abilities.canbuild)
        Igievnt_SetMfdMode(MFD_BUILD);
}

void KeyRotate(unsigned) { SetMode(AM_ROTATE); }

void KeySpecial(unsigned m)
{
    if (Units_ListEmpty(&igi_nfo.selected)) return;
    if (m & MOD_SHIFT) {
        Orders_QSelfDestruct(g_LocalTeam, &igi_nfo.selected);
        return;
    }
    UNIT* u = igi_nfo.firstunit;
    if (Units_ListSize(&igi_nfo.selected) == 1 && u && Units_HasBuildingPackage(u)) {
        if (u->building_package->building_type) igi_nfo.placetype = (uint16_t)u->building_package->building_type->index;
        SetMode(AM_PLACE);
    } else if (igi_nfo.canmorph) {
        SetMode(AM_MORPH);
    } else if (igi_nfo.allphased) {
        Orders_QUnphase(g_LocalTeam, &igi_nfo.selected);
    } else {
        Orders_QUnitSpecFunc(g_LocalTeam, &igi_nfo.selected);
    }
}

void KeyOrders(unsigned)
{
    if (igi_nfo.mfdmode == MFD_ORDERS) igi_nfo.orderspage ^= 1;
    Press(16);
}

void KeyTrailPanel(unsigned)
{
    if (igi_nfo.mfdmode == MFD_TRAIL) igi_nfo.trailpage ^= 1;
    Press(17);
}

void KeyChat(unsigned)
{
    if (g_NetworkGame && !Dragging()) Igievnt_OpenChat();
}

void KeyFire(unsigned m) { Press(m & MOD_SHIFT ? 13 : 12); }
void KeyStop(unsigned) { Press(14); }
void KeyDecoy(unsigned) { Press(28); }
void KeyMove(unsigned) { SetMode(AM_MOVE2); }

void KeyRadarJump(unsigned)
{
    if (!IgiDisp_RadarWorks()) return;
    Blip_TriggerBlipJump();
    IgiDisp_MinimapFollowView();
}

void KeySell(unsigned m)
{
    if (m & MOD_SHIFT) Igievnt_SellResource();
}

void KeySpecialPanel(unsigned) { Press(20); }

void KeyScreenshot(unsigned m)
{
    if (m & MOD_SHIFT)
        Igievnt_Screenshot(0);
    else if (m & MOD_CTRL)
        Igievnt_Screenshot(1);
}

void KeyScatter(unsigned)
{
    if (NeedUnits()) Orders_QScatter(g_LocalTeam, &igi_nfo.selected);
}

void KeyComms(unsigned) { Press(18); }
void KeyNext(unsigned) { Igievnt_NextUnit(); }
void KeyMoveMode(unsigned) { SetMode(igi_nfo.firstunit ? AM_MOVE : AM_DEFAULT); }
void KeyStopCd(unsigned) { Sound_StopCD(); }
void KeyBuildPanel(unsigned) { Press(15); }

void KeyHelp(unsigned)
{
    if (Dragging()) return;
    char path[GAME_PATH];
    if (!Utils_MakePath(path, g_LocalDir, "", "", "help.txt", "")) path[0] = '\0';
    IgiDisp_ShowTextFile(path, "Help file not found.");
}

void Tenacity(int level)
{
    if (NeedUnits()) Orders_QSetTenacity(g_LocalTeam, &igi_nfo.selected, level);
}
void SelfPreservation(int level)
{
    if (NeedUnits()) Orders_QSetSelfPreservation(g_LocalTeam, &igi_nfo.selected, level);
}
void Autonomy(int level)
{
    if (NeedUnits()) Orders_QSetAutonomy(g_LocalTeam, &igi_nfo.selected, level);
}

void KeyPad7(unsigned) { Tenacity(0); }
void KeyPad8(unsigned) { Tenacity(1); }
void KeyPad9(unsigned) { Tenacity(2); }
void KeyPad4(unsigned) { SelfPreservation(2); }
void KeyPad5(unsigned) { SelfPreservation(1); }
void KeyPad6(unsigned) { SelfPreservation(0); }
void KeyPad1(unsigned) { Autonomy(0); }
void KeyPad2(unsigned) { Autonomy(1); }
void KeyPad3(unsigned) { Autonomy(2); }
void KeyCdPrev(unsigned) { Sound_PlayCD(Sound_CdTrack() - 1); }
void KeyCdNext(unsigned) { Sound_PlayCD(Sound_CdTrack() + 1); }

void KeyPause(unsigned)
{
    if (Dragging()) return;
    if (g_NetworkGame)
        Net_SendPause(!g_GamePaused);
    else
        Igievnt_SetPause(!g_GamePaused, 0);
}

int OwnBuildingSelected(void) { return igi_nfo.sbuild && igi_nfo.sbuild->team == g_LocalTeam; }

void KeyDestination(unsigned)
{
    if (OwnBuildingSelected()) SetMode(AM_PRODDEST);
}

void KeyCluster(unsigned)
{
    if (OwnBuildingSelected()) SetMode(AM_CLUSTER);
}

const KEYENTRY kPlayerKeys[] = {
    {K_ESCAPE, KeyMenu},      {K_TAB, KeyTrail},          {K_Q, KeyQuit},
    {K_W, KeyRearm},          {K_E, KeySelectView},       {K_R, KeyRepair},
    {K_T, KeyRotate},         {K_I, KeySpecial},          {K_O, KeyOrders},
    {K_P, KeyTrailPanel},     {K_ENTER, KeyChat},         {K_A, KeyFire},
    {K_S, KeyStop},           {K_D, KeyDecoy},            {K_F, KeyMove},
    {K_J, KeyRadarJump},      {K_L, KeySell},             {K_GRAVE, KeySpecialPanel},
    {K_Z, KeyScreenshot},     {K_X, KeyScatter},          {K_C, KeyComms},
    {K_N, KeyNext},           {K_M, KeyMoveMode},         {K_PADSTAR, KeyStopCd},
    {K_SPACE, KeyBuildPanel}, {K_F1, KeyHelp},            {K_PAD7, KeyPad7},
    {K_PAD8, KeyPad8},        {K_PAD9, KeyPad9},          {K_PAD4, KeyPad4},
    {K_PAD5, KeyPad5},        {K_PAD6, KeyPad6},          {K_PAD1, KeyPad1},
    {K_PAD2, KeyPad2},        {K_PAD3, KeyPad3},          {K_PADMINUS, KeyCdPrev},
    {K_PADPLUS, KeyCdNext},   {K_F12, KeyPause},          {K_HOME, KeyDestination},
    {K_END, KeyCluster},
};

// --- developer keys ---

void DevQuit(unsigned)
{
    Tlog_Printf(TLOG_DIAG, "Player hit CTRL SHIFT Q from in game");
    g_GameState = GS_QUIT;
}

void DevError(unsigned) { Error_Fatal(ERRC_FATAL, "Test error triggered %d", (int)g_UpdateCount); }
void DevApLog(unsigned) { AP_DumpLog(); }
void DevShowSync(unsigned) { Orders_ToggleShowSync(); }

void DevDebugMode(unsigned)
{
    if (!g_NetworkGame) Igievnt_DebugModeOn();
}

void DevDumpLists(unsigned) { Orders_QDumpLists(); }

void DevTestBlip(unsigned)
{
    if (GAME_MSG* msg = GameMsg_SymToData("TESTBLIP"))
        GameMsg_TriggerStdXY(msg, igi_nfo.event.tilex, igi_nfo.event.tiley);
}

void DevSave(unsigned) { Orders_QSaveGame(); }

void DevNextBuilding(unsigned)
{
    BUILDING* b = igi_nfo.sbuild && igi_nfo.sbuild->team == g_LocalTeam ? igi_nfo.sbuild->teamnext : nullptr;
    if (!b) b = teamdata[Team()].firstbuilding;
    if (!b) return;
    Igievnt_SelectBuilding(b);
    Igievnt_RefreshBuildPanel();
    Igievnt_CentreView(b->tilex, b->tiley);
}

void DevMemory(unsigned) { Debug_PrintCurrentStats(); }
void DevRates(unsigned) { g_DebugFlags ^= DBG_RATES; }
void DevNetLines(unsigned) { g_DebugFlags ^= DBG_NETLINES; }

const KEYENTRY kDeveloperKeys[] = {
    {K_Q, DevQuit},         {K_E, DevError},         {K_A, DevApLog},     {K_S, DevShowSync},
    {K_D, DevDebugMode},    {K_L, DevDumpLists},     {K_C, DevTestBlip},  {K_V, DevSave},
    {K_B, DevNextBuilding}, {K_M, DevMemory},        {K_SLASH, DevRates}, {K_PADSLASH, DevNetLines},
};

// --- debug commands ---

void DbgLessCredits(unsigned)
{
    Team_SetCredits(Team(), teamdata[Team()].credits - 100000);
}

void DbgCredits(unsigned)
{
    int diff = 2000000 - teamdata[Team()].credits;
    Team_SetCredits(Team(), 2000000);
    AI_GiveCredits(Team(), diff);
}

void DbgConsole(unsigned) { Console_Run(); }

void DbgSpeedOrders(unsigned)
{
    if (igi_nfo.sbuild) {
        igi_nfo.sbuild->prodleft = 0;
        return;
    }
    g_DebugFlags ^= DBG_SPEEDORDERS;
    Display_Message("Speed-Orders is %s", g_DebugFlags & DBG_SPEEDORDERS ? "ON" : "OFF");
}

void DbgPath(unsigned) { g_DebugFlags ^= DBG_PATHPICTURE; }

void DbgSeeAll(unsigned)
{
    g_DebugFlags ^= DBG_NOFOG;
    Fog_SetSeeAll((g_DebugFlags & DBG_NOFOG) != 0);
}

void DbgStatus(unsigned) { g_DebugFlags ^= DBG_UNITVALUES; }

void SwitchTeam(int team)
{
    g_LocalTeam = (team + TEAM_MAXTEAMS) % TEAM_MAXTEAMS;
    Igievnt_RefillBuildList();
    IgiDisp_SetZoneDirty(30);
    Display_Message("You are now team %d", g_LocalTeam);
}

void DbgTeamDown(unsigned) { SwitchTeam(g_LocalTeam - 1); }
void DbgTeamUp(unsigned) { SwitchTeam(g_LocalTeam + 1); }

void DbgFill(unsigned)
{
    if (BITMAP* back = Backbuf_Lock()) Graph_ClearBitmap(back, 2);
}

void DbgSupply(unsigned m) { Igievnt_AdjustPower(Team(), 0, m & MOD_RSHIFT ? -IGIKEY_POWERADJUST : IGIKEY_POWERADJUST); }
void DbgUsage(unsigned m) { Igievnt_AdjustPower(Team(), 1, m & MOD_RSHIFT ? -IGIKEY_POWERADJUST : IGIKEY_POWERADJUST); }

const KEYENTRY kDebugCommands[] = {
    {K_MINUS, DbgLessCredits}, {K_EQUALS, DbgCredits}, {K_BACK, DbgConsole}, {K_U, DbgSpeedOrders},
    {K_P, DbgPath},            {K_GRAVE, DbgSeeAll},   {K_BACKSLASH, DbgStatus}, {K_F9, DbgTeamDown},
    {K_F10, DbgTeamUp},        {K_PAD7, DbgFill},      {K_PAD3, DbgSupply},  {K_PAD9, DbgUsage},
};

template <size_t N>
int Dispatch(const KEYENTRY (&table)[N], int key, unsigned modifiers)
{
    for (const KEYENTRY& e : table) {
        if (e.key != key) continue;
        e.handler(modifiers);
        return 1;
    }
    return 0;
}

} // namespace

void Igievnt_CentreView(int x, int y)
{
    Map_SetViewPixelPosRedraw(x * 24 - 216, y * 24 - 216);
    IgiDisp_MinimapFollowView();
}

void Igievnt_GroupKey(int g, unsigned m)
{
    static const int kSquadMsg[UNITS_IGIGROUPS] = {
        MSG_SQUAD1SELECTED, MSG_SQUAD2SELECTED, MSG_SQUAD3SELECTED, MSG_SQUAD4SELECTED, MSG_SQUAD5SELECTED,
        MSG_SQUAD6SELECTED, MSG_SQUAD7SELECTED, MSG_SQUAD8SELECTED, MSG_SQUAD9SELECTED, MSG_SQUAD0SELECTED,
    };
    if (g < 0 || g >= UNITS_IGIGROUPS) return;
    UNITLIST* group = &igi_nfo.group[g];
    Units_ListValidateTeamOnMap(group, g_LocalTeam);
    if (m & (MOD_CTRL | MOD_ALT)) {
        if (!NeedUnits()) return;
        Igievnt_GroupClear(g);
        Igievnt_GroupAddList(g, &igi_nfo.selected);
        if (m & MOD_CTRL) {
            for (int other = 0; other < UNITS_IGIGROUPS; other++) {
                if (other == g) continue;
                for (UNITLISTELEM* e = igi_nfo.selected.head; e; e = e->next) Igievnt_GroupRemoveId(other, e->u.id);
            }
        }
        Igipanel_Msg(MSG_GROUPMADE);
        return;
    }
    if (Units_ListEmpty(group)) return;
    Igievnt_DropBuilding();
    Units_ListCopy(&igi_nfo.selected, group);
    Igievnt_ValidateSelection();
    Igievnt_UpdateOrderSettings();
    if ((m & MOD_SHIFT) && igi_nfo.firstunit)
        Igievnt_CentreView(igi_nfo.firstunit->tilepos.x, igi_nfo.firstunit->tilepos.y);
    Igipanel_Msg(kSquadMsg[g]);
}

void Igievnt_NextUnit(void)
{
    UNIT* first = igi_nfo.firstunit;
    UNIT* pick = nullptr;
    int passedfirst = first == nullptr;
    // Two passes over the team's units: the one after the first selected
    // unit may lie before it in the walk's order.
    for (int pass = 0; pass < 2 && !pick; pass++) {
        ITERATOR it;
        Iterate_UnitInit(&it, g_LocalTeam, 0, MM_ALL);
        for (UNIT* u = Iterate_UnitNext(&it); u; u = Iterate_UnitNext(&it)) {
            if (u == first) {
                if (pass == 1) break;
                passedfirst = 1;
                continue;
            }
            if (!passedfirst || BuildId_Valid(&u->partof)) continue;
            pick = u;
            break;
        }
        passedfirst = 1;
    }
    if (pick) {
        SetMode(AM_DEFAULT);
        Igievnt_DropBuilding();
        Igievnt_ClearSelection();
        Igievnt_SelectUnit(pick);
        Igievnt_UpdateOrderSettings();
    }
    if (igi_nfo.firstunit) {
        Igievnt_PlayUnitSound(igi_nfo.firstunit, 0);
        Igievnt_CentreView(igi_nfo.firstunit->tilepos.x, igi_nfo.firstunit->tilepos.y);
    }
}

void Igievnt_AdjustPower(int team, int usage, int delta)
{
    if (team < 0 || team >= TEAM_MAXTEAMS) return;
    TEAM_RESOURCE& r = teamdata[team].resource[BUILD_POWER];
    int32_t& account = usage ? r.usage : r.supply;
    int32_t next = account + delta < 0 ? 0 : account + delta;
    // Only what reached the account is kept: a cut below 0 must not eat
    // into later rises.
    teamdata[team].poweradjust[usage ? 1 : 0] += next - account;
    account = next;
}

void Igievnt_DebugCommand(void)
{
    Dispatch(kDebugCommands, (int)igi_nfo.event.key, igi_nfo.event.modifiers);
}

void Igievnt_HandleKey(void)
{
    int key = (int)igi_nfo.event.key;
    unsigned m = igi_nfo.event.modifiers;
    // What was held when the key went down, not when this frame reads it: a
    // quick chord is often let go before its frame comes.
    if ((m & MOD_LCTRL) && (m & MOD_LSHIFT)) {
        if (!Dispatch(kDeveloperKeys, key, m) && (g_DebugFlags & DBG_DEBUGMODE)) Igievnt_DebugCommand();
        return;
    }
    if (key >= K_1 && key <= K_0) {
        Igievnt_GroupKey(key - K_1, m);
        return;
    }
    Dispatch(kPlayerKeys, key, m);
}
