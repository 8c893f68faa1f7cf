#include "ui/igicomms.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/gamestate.h"
#include "net/net.h"
#include "platform/cursor.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/video.h"
#include "rules/gamemsg.h"
#include "ui/igi.h"
#include "ui/igibtn.h"
#include "ui/igidisp.h"
#include "ui/igievnt.h"
#include "ui/igipanel.h"
#include "ui/textedit.h"
#include "units/orders.h"
#include "units/team.h"

const char* const kIgiDebugCode = "quillop";

enum { LIST_ZONE = 54, RECIPIENT_ZONE = 55, ALLIANCE_ZONE = 56, ALLIANCE_X = 571, CELL = 22 };
constexpr int GROUP_ZONE = 60, GROUPS = IGICOMMS_GROUPS;

static int Local(void) { return g_LocalTeam; }
static int LeftRelease(uint32_t reason) { return reason == ZR_INPUT && igi_nfo.event.kind == EV_LEFTUP; }

// A row without a player: the list holds only the teams in the game.
static int Empty(int row) { return igi_nfo.commteam[row] >= TEAM_NEUTRAL; }

static int RowAt(int y)
{
    int row = (y - IGICOMMS_ROWY) / IGICOMMS_ROWH;
    return row < 0 ? 0 : row >= IGI_COMMROWS ? IGI_COMMROWS - 1 : row;
}

int Igicomms_TakesPart(int row)
{
    if (!g_NetworkGame || row < 0 || row >= IGI_COMMROWS) return 0;
    int node = Net_NodeOfTeam(igi_nfo.commteam[row]);
    return node >= 0 && node < NET_NODES && Net_IsNodeActive(node);
}

static int Wanted(int row, int mode)
{
    if (!Igicomms_TakesPart(row)) return 0;
    switch (mode) {
    case 0: return 1;
    case 1: return 0;
    case 2: return Team_GetRelation(Local(), igi_nfo.commteam[row]) == TR_ALLY;
    case 3: return Team_GetRelation(Local(), igi_nfo.commteam[row]) == TR_NEUTRAL;
    case 4: return Team_GetRelation(Local(), igi_nfo.commteam[row]) == TR_ENEMY;
    default: return igi_nfo.commflag[row] != 0;
    }
}

void Igicomms_ApplyGroupMode(void)
{
    for (int row = 0; row < IGI_COMMROWS; row++) {
        uint32_t flag = (uint32_t)Wanted(row, igi_nfo.commgroup);
        if (flag == igi_nfo.commflag[row]) continue;
        igi_nfo.commflag[row] = flag;
        IgiDisp_SetZoneDirty(RECIPIENT_ZONE);
    }
}

int Igicomms_ParseAmount(const char* text)
{
    long long v = 0;
    for (const char* p = text; *p >= '0' && *p <= '9'; p++) {
        v = v * 10 + (*p - '0');
        // A field of 255 digits would overflow any integer type.
        if (v > INT_MAX) return INT_MAX;
    }
    return (int)v;
}

// --- the zones ---

void Igievnt_PlayerListHandler(uint32_t zd, uint32_t reason)
{
    if (reason == ZR_DRAW) return IgiDisp_DrawPanelZone((int)zd);
    if (!LeftRelease(reason) || Empty(RowAt(igi_nfo.event.y))) return;
    igi_nfo.commrow = (uint8_t)RowAt(igi_nfo.event.y);
    IgiDisp_SetZoneDirty((int)zd);
}

void Igievnt_RecipientHandler(uint32_t zd, uint32_t reason)
{
    if (reason == ZR_DRAW) return IgiDisp_DrawPanelZone((int)zd);
    if (reason == ZR_UPDATE) return Igicomms_ApplyGroupMode();
    if (!LeftRelease(reason)) return;
    for (int b = GROUP_ZONE; b < GROUP_ZONE + GROUPS; b++) Igievnt_ButtonUp(b);
    igi_nfo.commgroup = IGICOMMS_GROUPS;
    int row = RowAt(igi_nfo.event.y);
    uint32_t flag = Igicomms_TakesPart(row) ? !igi_nfo.commflag[row] : 0;
    if (flag == igi_nfo.commflag[row]) return;
    igi_nfo.commflag[row] = flag;
    IgiDisp_SetZoneDirty((int)zd);
}

void Igievnt_AllianceHandler(uint32_t zd, uint32_t reason)
{
    static const int relation[3] = {TR_ENEMY, TR_NEUTRAL, TR_ALLY};
    if (reason == ZR_DRAW) return IgiDisp_DrawPanelZone((int)zd);
    // Either side's stance may change at any update.
    if (reason == ZR_UPDATE) return IgiDisp_SetZoneDirty((int)zd);
    if (!LeftRelease(reason) || Empty(RowAt(igi_nfo.event.y))) return;
    int column = (igi_nfo.event.x - ALLIANCE_X) / CELL;
    column = column < 0 ? 0 : column > 2 ? 2 : column;
    Orders_QChangeAlly(Local(), igi_nfo.commteam[RowAt(igi_nfo.event.y)], relation[column]);
}

void Igievnt_AmountHandler(uint32_t zd, uint32_t reason)
{
    if (reason == ZR_INPUT) Igievnt_HandleEditZone((int)zd);
}

static void GiveUnitsButton(uint32_t)
{
    if (g_OptGivingDisabled || !igi_nfo.firstunit || Empty(igi_nfo.commrow)) return;
    Orders_QGiveUnits(Local(), &igi_nfo.selected, igi_nfo.commteam[igi_nfo.commrow]);
}

static void GiveCreditsButton(uint32_t)
{
    if (g_OptGivingDisabled || Local() < 0 || Local() >= TEAM_MAXTEAMS || Empty(igi_nfo.commrow)) return;
    int amount = Igicomms_ParseAmount(igi_nfo.amount);
    if (amount <= 0) return;
    if (teamdata[Local()].credits >= amount)
        Orders_QGiveCredits(Local(), igi_nfo.commteam[igi_nfo.commrow], amount);
    else Igipanel_Msg(MSG_NOCREDIT);
}

static void GroupButton(uint32_t zd)
{
    int mode = (int)zd - GROUP_ZONE;
    for (int b = GROUP_ZONE; b < GROUP_ZONE + GROUPS; b++) Igievnt_ButtonUp(b);
    if (igi_nfo.commgroup == mode) {
        igi_nfo.commgroup = IGICOMMS_GROUPS;
        return;
    }
    igi_nfo.commgroup = mode;
    Igievnt_ButtonDown((int)zd);
}

// --- chat ---

static int IsDebugCode(const char* text) { return strcasecmp(text, kIgiDebugCode) == 0; }

static void Send(const char* text)
{
    int debug = IsDebugCode(text);
    for (int row = 0; row < IGI_COMMROWS; row++) {
        if (!Igicomms_TakesPart(row) || !(igi_nfo.commflag[row] || debug)) continue;
        Net_SendMessage(Net_NodeOfTeam(igi_nfo.commteam[row]), text);
    }
    char line[IGIDISP_MESSAGELEN];
    snprintf(line, sizeof line, "%s : %s", Team_GetPlayerNameString(Local()), text);
    IgiDisp_AddMessage(line);
    if (debug) Igievnt_DebugModeOn();
}

static void StartTyping(uint32_t zd)
{
    igi_nfo.chattyping = 1;
    igi_nfo.chat[0] = '\0';
    Igievnt_HandleEditZone((int)zd);
    // The recipients stay clickable while typing: the pointer is free.
    Mouse_ShowCursor();
    Mouse_SetClipRect(0, 0, IGI_ZONEXMAX, IGI_ZONEYMAX);
}

static void EndTyping(uint32_t zd, int confirmed)
{
    igi_nfo.chattyping = 0;
    Igizone_SetDisabled((int)zd, 1);
    if (igi_nfo.chatreturn != MFD_COMMS && igi_nfo.chatreturn >= MFD_BUILD && igi_nfo.chatreturn <= MFD_SPECIAL)
        Igievnt_SetMfdMode(igi_nfo.chatreturn);
    if (confirmed && g_NetworkGame && igi_nfo.chat[0]) Send(igi_nfo.chat);
}

void Igievnt_ChatHandler(uint32_t zd, uint32_t reason)
{
    if (reason == ZR_DRAW) {
        IgiDisp_SetZoneDirty((int)zd);
        IgiDisp_DrawZone((int)zd);
        return;
    }
    if (reason != ZR_INPUT) return;
    const IGI_EVENT& ev = igi_nfo.event;
    if (igi_nfo.lockzone == zd) {
        if (ev.kind != EV_KEY) {
            if (ev.zone == RECIPIENT_ZONE || (ev.zone >= GROUP_ZONE && ev.zone < GROUP_ZONE + GROUPS))
                Igizone_CallHandler((int)ev.zone, ZR_INPUT);
            return;
        }
        int accepted = Igievnt_HandleEditZone((int)zd);
        if (igi_nfo.lockzone != zd) EndTyping(zd, accepted);
        return;
    }
    if (ev.kind != EV_LEFTUP) return;
    StartTyping(zd);
}

int Igievnt_OpenChat(void)
{
    int previous = igi_nfo.mfdmode;
    if (igi_nfo.lockzone != ZD_NULL || !Igievnt_SetMfdMode(MFD_COMMS)) return 0;
    igi_nfo.chatreturn = previous;
    Igizone_SetDisabled(IGICOMMS_CHATZONE, 0);
    Igievnt_InjectEvent(IGICOMMS_CHATZONE, EV_LEFTUP, 0);
    return 1;
}

void Igievnt_ChatReceived(int node, const char* text)
{
    char line[IGI_TEXTMAX + 1];
    size_t n = text ? strnlen(text, IGI_TEXTMAX) : 0;
    memcpy(line, text ? text : "", n);
    line[n] = '\0';
    int team = Net_GetNodeTeam(node);
    const GAMEMSG_ARG args[2] = {GameMsg_Str(team >= 0 && team < TEAM_MAXTEAMS ? Team_GetPlayerNameString(team) : ""),
                                 GameMsg_Str(line)};
    Igipanel_MsgVar(MSG_MESSAGE, args, 2);
    if (IsDebugCode(line)) Igievnt_DebugModeOn();
}

// --- drawing ---

static int Under(int zd) { return Igizone_Find(igi_nfo.mousex, igi_nfo.mousey) == zd; }
static int Held(void) { return (igi_nfo.mousebuttons & MOUSE_BUTTON_LEFT) != 0; }

static int ColumnOf(int relation)
{
    return relation == TR_ENEMY ? 0 : relation == TR_NEUTRAL ? 1 : relation == TR_ALLY ? 2 : -1;
}

static void DrawPlayers(BITMAP* dst)
{
    int hover = Under(LIST_ZONE) ? RowAt(igi_nfo.mousey) : -1;
    for (int row = 0; row < IGI_COMMROWS; row++) {
        const BITMAP* bm = IgiDisp_Bitmap(row == 0 ? IBM_COPYRNM1 : IBM_COPYRNM2);
        int y = IGICOMMS_ROWY + IGICOMMS_ROWH * row;
        int look = row == igi_nfo.commrow ? 2 : row == hover ? (Held() ? 2 : 1) : 0;
        if (bm) Graph_Blit(dst, nullptr, 0, 465, y, bm, look * 95, 0, 95, IGICOMMS_ROWH);
        int team = igi_nfo.commteam[row];
        if (Empty(row)) continue;
        Font_Print(476, y + 3, Team_GetPlayerNameString(team), 81, 1, nullptr, nullptr, dst,
                   team < TEAM_MAXTEAMS ? teamdata[team].palindex : IGIDISP_TEXTCOLOUR);
    }
}

static void DrawRecipients(BITMAP* dst)
{
    const BITMAP* bm = IgiDisp_Bitmap(IBM_COMSGBOX);
    if (!bm) return;
    int hover = Under(RECIPIENT_ZONE) ? RowAt(igi_nfo.mousey) : -1;
    for (int row = 0; row < IGI_COMMROWS; row++) {
        int sx = (igi_nfo.commflag[row] ? 0 : 22) + (row == hover ? 11 : 0);
        Graph_Blit(dst, nullptr, 0, 560, IGICOMMS_ROWY + IGICOMMS_ROWH * row, bm, sx, 0, 11, IGICOMMS_ROWH);
    }
}

static void DrawAlliances(BITMAP* dst)
{
    const BITMAP* bm = IgiDisp_Bitmap(IBM_COALIANC);
    if (!bm) return;
    int hoverrow = Under(ALLIANCE_ZONE) ? RowAt(igi_nfo.mousey) : -1;
    int hovercol = (igi_nfo.mousex - ALLIANCE_X) / CELL;
    for (int row = 0; row < IGI_COMMROWS; row++) {
        int team = igi_nfo.commteam[row], y = IGICOMMS_ROWY + IGICOMMS_ROWH * row;
        int mine = -1, theirs = -1;
        if (!Empty(row)) {
            mine = ColumnOf(Team_GetRelation(Local(), team));
            theirs = ColumnOf(Team_GetRelation(team, Local()));
        }
        for (int c = 0; c < 3; c++) {
            int sx = c == mine ? CELL * c + 132 : row == hoverrow && c == hovercol ? CELL * c + 66 : CELL * c;
            int x = ALLIANCE_X + CELL * c;
            if (c == theirs) Graph_BlitTable(dst, nullptr, 0, x, y, bm, sx, 0, CELL, IGICOMMS_ROWH, g_HighlightTable);
            else Graph_Blit(dst, nullptr, 0, x, y, bm, sx, 0, CELL, IGICOMMS_ROWH);
        }
    }
}

void IgiDisp_DrawPanelZone(int zd)
{
    if (zd < LIST_ZONE || zd > ALLIANCE_ZONE || !IgiDisp_IsZoneDirty(zd)) return;
    IgiDisp_ClearZoneDirty(zd);
    BITMAP* dst = Backbuf_Lock();
    if (!dst || Local() < 0 || Local() >= TEAM_MAXTEAMS) return;
    if (zd == LIST_ZONE) DrawPlayers(dst);
    else if (zd == RECIPIENT_ZONE) DrawRecipients(dst);
    else DrawAlliances(dst);
}

// --- set-up ---

void Igicomms_DefineZones(void)
{
    Igievnt_DefineButton(IGICOMMS_CHATZONE, Igievnt_ChatHandler, 15, 400, 418, 33, 6, 10, igi_nfo.chat, IGI_TEXTMAX, "",
                         TEC_ALL, 0, ZL_COMMS);
    Igizone_SetDisabled(IGICOMMS_CHATZONE, 1);
    Igievnt_DefinePlain(LIST_ZONE, Igievnt_PlayerListHandler, 465, 95, 95, 126, ZL_COMMS);
    Igievnt_DefinePlain(RECIPIENT_ZONE, Igievnt_RecipientHandler, 560, 95, 11, 126, ZL_COMMS);
    Igievnt_DefinePlain(ALLIANCE_ZONE, Igievnt_AllianceHandler, 571, 95, 66, 126, ZL_COMMS);
    Igievnt_DefineStdButton(57, GiveUnitsButton, "IGI_COUNIT", SBT_SML, 480, 242, ZL_COMMS);
    Igievnt_DefineStdButton(58, GiveCreditsButton, "IGI_COCASH", SBT_SML, 480, 264, ZL_COMMS);
    Igievnt_DefineButton(59, Igievnt_AmountHandler, 481, 296, 67, 16, 2, 2, igi_nfo.amount, IGI_TEXTMAX, "1000",
                         TEC_DIGITS, 0, ZL_COMMS);
    static const char* const keys[IGICOMMS_GROUPS] = {"IGI_COALLP", "IGI_CONONE", "IGI_COALLI", "IGI_CONEUT",
                                                      "IGI_COENEM"};
    for (int k = 0; k < IGICOMMS_GROUPS; k++)
        Igievnt_DefineStdButton(GROUP_ZONE + k, GroupButton, keys[k], SBT_SML, 566, 222 + 22 * k, ZL_COMMS);
}

void Igicomms_ListPlayers(void)
{
    // With the neutral team left out, teams 0..7 less the local one are at
    // most seven.
    int row = 0;
    for (int t = 0; t < TEAM_NEUTRAL && row < IGI_COMMROWS; t++)
        if (t != Local() && teamdata[t].type != TT_DISABLED) igi_nfo.commteam[row++] = (uint8_t)t;
    while (row < IGI_COMMROWS) igi_nfo.commteam[row++] = TEAM_NEUTRAL;
}

void Igicomms_ResetState(void)
{
    igi_nfo.commrow = 0;
    igi_nfo.commgroup = IGICOMMS_GROUPS;
    for (uint32_t& f : igi_nfo.commflag) f = 0;
    igi_nfo.chattyping = 0;
    igi_nfo.chatreturn = MFD_COMMS;
}
