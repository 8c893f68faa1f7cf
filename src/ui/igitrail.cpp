#include "ui/igitrail.h"

#include <cstdio>
#include <cstdlib>

#include "core/gamestate.h"
#include "core/mlstring.h"
#include "core/tlog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "platform/cursor.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/video.h"
#include "rules/gamemsg.h"
#include "ui/igi.h"
#include "ui/igibtn.h"
#include "ui/igidisp.h"
#include "ui/igievnt.h"
#include "ui/igiminimap.h"
#include "ui/igipanel.h"
#include "ui/slist.h"
#include "ui/textedit.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"

static SLIST* s_list;

enum { NAME_ZONE = 51, EXEC_ZONE = 49, EXEC_X = 508, EXEC_CELL = 23 };

static int Team(void) { return g_LocalTeam; }
static int TeamValid(void) { return Team() >= 0 && Team() < TEAM_MAXTEAMS; }
static const UNITLIST* Sel(void) { return &igi_nfo.selected; }
static int LeftRelease(uint32_t reason) { return reason == ZR_INPUT && igi_nfo.event.kind == EV_LEFTUP; }
static void ActionModeOff(void) { Igievnt_SetActionMode(AM_DEFAULT); }

SLIST* Igitrail_List(void) { return s_list; }

int Igitrail_SelectedSlot(void)
{
    int32_t slot = -1;
    if (!s_list || SList_GetSelected(s_list, nullptr, &slot, nullptr) < 0) return -1;
    return slot;
}

void Igitrail_RefreshName(void)
{
    const char* text = s_list ? SList_GetSelectedText(s_list) : nullptr;
    igi_nfo.globaltrail = Igitrail_SelectedSlot();
    snprintf(igi_nfo.trailname, sizeof igi_nfo.trailname, "%s", text ? text : MLString_Display(MLSD_NOTRAIL));
    IgiDisp_SetZoneDirty(IGITRAIL_LISTZONE);
    IgiDisp_SetZoneDirty(NAME_ZONE);
}

static void Deselect(void)
{
    if (s_list) SList_Select(s_list, -1);
    Igitrail_RefreshName();
}

static int ListWidth(void)
{
    const ZONE& z = igi_nfo.zone.data[IGITRAIL_LISTZONE];
    return z.rx - z.lx + 1;
}

static void NextName(char* out, size_t size)
{
    IgiDisp_FormatInt(out, size, MLString_Display(MLSD_NEWTRAIL), igi_nfo.trailcounter);
    igi_nfo.trailcounter++;
}

void Igitrail_RebuildList(void)
{
    if (!s_list) return;
    SList_Clear(s_list);
    if (TeamValid())
        for (int slot = 0; slot < QUORVEX_GLOBALTRAILS; slot++) {
            if (!teamdata[Team()].gtrails[slot].head) continue;
            char name[IGI_TEXTMAX + 1];
            NextName(name, sizeof name);
            SList_AddEntry(s_list, SLIST_END, name, slot, slot, ListWidth());
        }
    Deselect();
}

static TRAIL* TrailOf(UNIT* u)
{
    if (!u) return nullptr;
    if (u->sorder.code == SO_TRAIL && u->sorder.trail.trail) return u->sorder.trail.trail;
    return u->localtrail;
}

TRAIL* Igitrail_ShownTrail(void)
{
    int slot = Igitrail_SelectedSlot();
    if (slot >= 0 && slot < QUORVEX_GLOBALTRAILS && TeamValid()) return &teamdata[Team()].gtrails[slot];
    if (Igizone_Find(igi_nfo.mousex, igi_nfo.mousey) == 22) {
        int px, py;
        Igidisp_ScreenToMap(igi_nfo.mousex, igi_nfo.mousey, &px, &py);
        UNIT* u = Igidisp_UnitAtPixel(px, py);
        if (u && u->team == Team()) return TrailOf(u);
    }
    return TrailOf(igi_nfo.firstunit);
}

// --- the buttons ---

static void Ack(void)
{
    if (igi_nfo.firstunit) Igievnt_PlayUnitSound(igi_nfo.firstunit, 1);
}

static void ClearEditTrail(void)
{
    Trail_Clear(&igi_nfo.edittrail);
    igi_nfo.curwaypoint = nullptr;
}

static void MoveButton(uint32_t)
{
    igi_nfo.editsubmode = 0;
    Igievnt_SetActionMode(AM_TRAILINS0);
}

static void DeleteAllButton(uint32_t)
{
    if (igi_nfo.edittrail.head) {
        ClearEditTrail();
    } else if (Igitrail_SelectedSlot() >= 0) {
        int slot = Igitrail_SelectedSlot();
        SList_DeleteEntry(s_list, SList_GetSelected(s_list, nullptr, nullptr, nullptr));
        Orders_QGlobalTrailList(Team(), slot, nullptr);
        Deselect();
    } else if (igi_nfo.firstunit) {
        Orders_QLocalTrail(Team(), Sel(), nullptr);
    }
    ActionModeOff();
}

static void DeleteOneButton(uint32_t)
{
    if (igi_nfo.curwaypoint) igi_nfo.curwaypoint = Trail_DeleteWaypoint(&igi_nfo.edittrail, igi_nfo.curwaypoint);
    ActionModeOff();
}

static void ExecuteButton(uint32_t)
{
    int slot = Igitrail_SelectedSlot();
    if (!igi_nfo.firstunit) {
        Igipanel_Msg(MSG_NEEDUNIT);
    } else if (slot >= 0) {
        Ack();
        Orders_QGlobalExecute(Team(), Sel(), slot, igi_nfo.execmode);
    } else {
        if (igi_nfo.edittrail.head) {
            Orders_QLocalTrail(Team(), Sel(), &igi_nfo.edittrail);
            ClearEditTrail();
            Deselect();
        }
        Ack();
        Orders_QLocalExecute(Team(), Sel(), igi_nfo.execmode);
    }
    ActionModeOff();
}

// A slot is free when its trail is empty and no entry holds it: two stores
// before the first one's order executes must not share a slot.
static int FreeSlot(void)
{
    for (int slot = 0; slot < QUORVEX_GLOBALTRAILS; slot++)
        if (!teamdata[Team()].gtrails[slot].head && SList_FindData2(s_list, slot) < 0) return slot;
    return -1;
}

static void StoreButton(uint32_t)
{
    int selected = Igitrail_SelectedSlot();
    TRAIL* source = igi_nfo.edittrail.head ? &igi_nfo.edittrail : selected < 0 ? Igitrail_ShownTrail() : nullptr;
    if (!source || !source->head || !s_list || !TeamValid()) {
        Igipanel_Msg(MSG_NOPATHAVAIL);
        ActionModeOff();
        return;
    }
    if (selected < 0) {
        int slot = FreeSlot();
        if (slot < 0) {
            ActionModeOff();
            return;
        }
        char name[IGI_TEXTMAX + 1];
        NextName(name, sizeof name);
        SList_AddEntry(s_list, SLIST_START, name, slot, slot, ListWidth());
        Orders_QGlobalTrailList(Team(), slot, source);
        SList_Select(s_list, 0);
        Igitrail_RefreshName();
    } else {
        Orders_QGlobalTrailList(Team(), selected, source);
    }
    ClearEditTrail();
    ActionModeOff();
}

static void DeselectButton(uint32_t)
{
    Deselect();
    ActionModeOff();
}

// --- the zones ---

void Igievnt_TrailTabHandler(uint32_t zd, uint32_t reason)
{
    // The tabs are part of the panel's background.
    if (reason == ZR_DRAW) IgiDisp_ClearZoneDirty((int)zd);
    if (!LeftRelease(reason)) return;
    igi_nfo.trailpage = zd == 43 ? 0 : 1;
    Igievnt_SetMfdMode(MFD_TRAIL);
}

static const int kExecModes[3] = {2, 0, 1};

int Igievnt_ExecModeAt(int x)
{
    int i = (x - EXEC_X) / EXEC_CELL;
    return kExecModes[i < 0 ? 0 : i > 2 ? 2 : i];
}

static void DrawExecModes(const ZONE& z)
{
    static const int cell[3][2] = {{0, 24}, {24, 23}, {47, 24}};
    BITMAP* dst = Backbuf_Lock();
    const BITMAP* bm = IgiDisp_Bitmap(IBM_TRAILMDE);
    if (!dst || !bm) return;
    int under = Igizone_Find(igi_nfo.mousex, igi_nfo.mousey) == EXEC_ZONE
                    ? (igi_nfo.mousex - EXEC_X) / EXEC_CELL : -1;
    for (int i = 0; i < 3; i++) {
        int look = 0;
        if (kExecModes[i] == igi_nfo.execmode) look = 142;
        else if (i == under) look = (igi_nfo.mousebuttons & MOUSE_BUTTON_LEFT) ? 142 : 71;
        Graph_Blit(dst, nullptr, 0, z.lx + cell[i][0], z.ly, bm, look + cell[i][0], 0, cell[i][1], 22);
    }
}

void Igievnt_ExecModeHandler(uint32_t zd, uint32_t reason)
{
    ZONE& z = igi_nfo.zone.data[zd];
    if (reason == ZR_DRAW) {
        // The hovered third follows the pointer.
        DrawExecModes(z);
        z.dirty = 0;
        return;
    }
    if (!LeftRelease(reason)) return;
    igi_nfo.execmode = Igievnt_ExecModeAt(igi_nfo.event.x);
    ActionModeOff();
}

void Igievnt_TrailNameHandler(uint32_t zd, uint32_t reason)
{
    if (reason != ZR_INPUT) return;
    if (!Igievnt_HandleEditZone((int)zd) || Igitrail_SelectedSlot() < 0) return;
    int slot = Igitrail_SelectedSlot();
    SList_ReplaceSelected(s_list, igi_nfo.trailname, slot, slot, ListWidth());
    IgiDisp_SetZoneDirty(IGITRAIL_LISTZONE);
}

static void ListCentre(SLIST* list, int* cx, int* cy)
{
    int lx, ly, rx, ry;
    SList_GetRect(list, &lx, &ly, &rx, &ry);
    *cx = (rx - lx + 1) / 2 + lx;
    *cy = (ry - ly + 1) / 2 + ly;
}

void Igievnt_ListDragInput(SLIST* list, int lock, void (*rightclick)(void))
{
    if (!list) return;
    const IGI_EVENT& ev = igi_nfo.event;
    if (ev.kind == EV_RIGHTDOWN) {
        if (igi_nfo.dragmode || igi_nfo.buttonlock) return;
        int lx, ly, rx, ry;
        SList_GetRect(list, &lx, &ly, &rx, &ry);
        Mouse_SetClipRect(lx, ly, rx, ry);
        igi_nfo.pressx = ev.x;
        igi_nfo.pressy = ev.y;
        igi_nfo.buttonlock = lock;
        igi_nfo.dragging = 0;
    } else if (ev.kind == EV_RIGHTUP && igi_nfo.buttonlock == lock) {
        Mouse_SetClipRect(0, 0, IGI_ZONEXMAX, IGI_ZONEYMAX);
        if (igi_nfo.dragging) {
            Mouse_SetPos(igi_nfo.pressx, igi_nfo.pressy);
            Mouse_ShowCursor();
        } else if (rightclick) {
            rightclick();
        }
        igi_nfo.dragging = 0;
        igi_nfo.buttonlock = 0;
    }
}

int Igievnt_ListDragUpdate(SLIST* list, int lock)
{
    if (!list || igi_nfo.buttonlock != lock) return 0;
    int cx, cy;
    ListCentre(list, &cx, &cy);
    if (igi_nfo.dragging) {
        int lx, ly, rx, ry;
        SList_GetRect(list, &lx, &ly, &rx, &ry);
        int moved = SList_Scroll(list, 0, igi_nfo.mousey - ly - (ry - ly + 1) / 2);
        Mouse_SetPos(cx, cy);
        return moved;
    }
    if (std::abs(igi_nfo.mousex - igi_nfo.pressx) >= IGITRAIL_DRAGTHRESHOLD ||
        std::abs(igi_nfo.mousey - igi_nfo.pressy) >= IGITRAIL_DRAGTHRESHOLD) {
        igi_nfo.dragging = 1;
        igi_nfo.pressx = igi_nfo.mousex;
        igi_nfo.pressy = igi_nfo.mousey;
        Mouse_HideCursor();
        Mouse_SetPos(cx, cy);
    }
    return 0;
}

void Igievnt_TrailListHandler(uint32_t zd, uint32_t reason)
{
    if (reason == ZR_UPDATE) {
        if (Igievnt_ListDragUpdate(s_list, IGITRAIL_LOCK)) IgiDisp_SetZoneDirty((int)zd);
        return;
    }
    if (reason != ZR_INPUT || !s_list) return;
    if (igi_nfo.event.kind == EV_LEFTUP) {
        int before = SList_GetSelected(s_list, nullptr, nullptr, nullptr);
        int at = SList_SelectAt(s_list, igi_nfo.event.x, igi_nfo.event.y, nullptr, nullptr, nullptr);
        SList_Select(s_list, at == before ? -1 : at);
        Igitrail_RefreshName();
        return;
    }
    Igievnt_ListDragInput(s_list, IGITRAIL_LOCK, Deselect);
}

// --- set-up ---

void Igitrail_DefineZones(void)
{
    const int both = ZL_TRAILLOCAL | ZL_TRAILGLOBAL;
    Igievnt_DefinePlain(43, Igievnt_TrailTabHandler, 448, 64, 96, 32, both);
    Igievnt_DefinePlain(44, Igievnt_TrailTabHandler, 544, 64, 96, 32, both);
    Igievnt_DefineStdButton(45, MoveButton, "IGI_TRMOVE", SBT_MED, 502, 100, both);
    Igievnt_DefineStdButton(46, DeleteAllButton, "IGI_TRDELA", SBT_SML, 478, 125, both);
    Igievnt_DefineStdButton(47, DeleteOneButton, "IGI_TRDELO", SBT_SML, 559, 125, both);
    Igievnt_DefineStdButton(48, ExecuteButton, "IGI_TREXEC", SBT_MED, 502, 150, both);
    Igievnt_DefinePlain(EXEC_ZONE, Igievnt_ExecModeHandler, 508, 205, 71, 22, ZL_TRAILGLOBAL);
    Igievnt_DefineStdButton(50, StoreButton, "IGI_TRGLOB", SBT_SML, 468, 305, ZL_TRAILGLOBAL);
    Igievnt_DefineButton(NAME_ZONE, Igievnt_TrailNameHandler, 468, 258, 80, 17, 2, 2, igi_nfo.trailname, IGI_TEXTMAX,
                         MLString_Display(MLSD_NOTRAIL), TEC_LETTERS | TEC_DIGITS | TEC_SPACE | TEC_FULLSTOP, 0,
                         ZL_TRAILGLOBAL);
    Igievnt_DefinePlain(IGITRAIL_LISTZONE, Igievnt_TrailListHandler, 555, 257, 80, 78, ZL_TRAILGLOBAL);
    Igievnt_DefineStdButton(53, DeselectButton, "IGI_TRDESE", SBT_SML, 468, 280, ZL_TRAILGLOBAL);
    if (!s_list) s_list = SList_New(556, 258, 633, 333, 0, IGITRAIL_ROW, nullptr, nullptr);
    SList_Clear(s_list);
    IgiDisp_SetZoneList(IGITRAIL_LISTZONE, s_list);
}

void Igitrail_ResetState(void)
{
    igi_nfo.execmode = 2;
    igi_nfo.trailcounter = 1;
    if (s_list) SList_Clear(s_list);
}

void Igitrail_Close(void)
{
    IgiDisp_SetZoneList(IGITRAIL_LISTZONE, nullptr);
    SList_Delete(s_list);
    s_list = nullptr;
}

// --- drawing ---

enum {
    C_MOVE = 138, C_FIRE = 22, C_LINE1 = 22, C_LINE2 = 24, C_OUTLINE = 0, C_MARK = 15,
    BOX = 12, MARK = 20, MINIBOX = 3,
};

// The kind colour; another kind is logged and keeps the previous colour.
static int KindColour(const WAYPOINT* w, int previous)
{
    if (w->type == WPT_MOVE) return C_MOVE;
    if (w->type == WPT_FIRE) return C_FIRE;
    Tlog_Printf(1, "Unknown waypoint type");
    return previous;
}

static void ToScreen(const WAYPOINT* w, int* x, int* y)
{
    *x = w->x * MAP_TILE_PIXELS - g_MapView.x;
    *y = w->y * MAP_TILE_PIXELS - g_MapView.y + IGIDISP_VIEWTOP;
}

static void Box(BITMAP* dst, const GRECT* clip, int x, int y, int colour)
{
    Graph_DrawRect(dst, clip, 0, x - BOX / 2, y - BOX / 2, BOX, BOX, C_OUTLINE);
    Graph_FillRect(dst, clip, 0, x - BOX / 2 + 1, y - BOX / 2 + 1, BOX - 2, BOX - 2, (uint8_t)colour);
}

static void DrawTrail(BITMAP* dst, const GRECT* clip, const TRAIL* trail, int style)
{
    if (!trail) return;
    int colour = C_MOVE, lastx = 0, lasty = 0, passed = 0, number = 1;
    for (const WAYPOINT* w = trail->head; w; w = w->next, number++) {
        int x, y;
        ToScreen(w, &x, &y);
        colour = KindColour(w, colour);
        if (passed) Graph_DrawLine(dst, clip, 0, lastx, lasty, x, y, style == 1 ? C_LINE1 : C_LINE2);
        if (w->type == WPT_MOVE) {
            passed = 1;
            lastx = x;
            lasty = y;
        }
        Box(dst, clip, x, y, colour);
        char text[16];
        snprintf(text, sizeof text, "%3.3d", number % 1000);
        Font_Print(x + 9, y - 5, text, 0, 1, nullptr, clip, dst, IGIDISP_TEXTCOLOUR);
    }
}

static void DrawMarked(BITMAP* dst, const GRECT* clip, const WAYPOINT* w, int style)
{
    int x, y;
    ToScreen(w, &x, &y);
    int colour = KindColour(w, C_MOVE);
    Box(dst, clip, x, y, colour);
    Graph_DrawRect(dst, clip, 0, x - MARK / 2, y - MARK / 2, MARK, MARK, style == 2 ? C_MARK : colour);
}

static const WAYPOINT* HoveredWaypoint(void)
{
    if (Igizone_Find(igi_nfo.mousex, igi_nfo.mousey) != 22 || !Mouse_IsCursorShown()) return nullptr;
    int px, py, tx, ty;
    Igidisp_ScreenToMap(igi_nfo.mousex, igi_nfo.mousey, &px, &py);
    Igidisp_PixelToTile(px, py, &tx, &ty);
    return Trail_FindWaypoint(&igi_nfo.edittrail, tx, ty);
}

void Igitrail_DrawMapOverlay(BITMAP* dst, const GRECT* clip)
{
    if (!dst || igi_nfo.mfdmode != MFD_TRAIL) return;
    // The minimap shows the same trails, which may have changed this frame.
    IgiDisp_SetZoneDirty(23);
    DrawTrail(dst, clip, Igitrail_ShownTrail(), 1);
    DrawTrail(dst, clip, &igi_nfo.edittrail, 2);
    if (igi_nfo.curwaypoint) DrawMarked(dst, clip, igi_nfo.curwaypoint, 2);
    const WAYPOINT* hover = HoveredWaypoint();
    if (hover && hover != igi_nfo.curwaypoint) DrawMarked(dst, clip, hover, 1);
}

static void DrawMiniTrail(BITMAP* dst, const GRECT* clip, const TRAIL* trail, int style)
{
    if (!trail) return;
    const IGIMINIMAP& m = g_Minimap;
    int colour = C_MOVE, lastx = 0, lasty = 0, passed = 0;
    for (const WAYPOINT* w = trail->head; w; w = w->next) {
        int x = m.originx + w->x - m.scrollx, y = m.originy + w->y - m.scrolly;
        colour = KindColour(w, colour);
        if (passed) Graph_DrawLine(dst, clip, 0, lastx, lasty, x, y, style == 1 ? C_LINE1 : C_LINE2);
        if (w->type == WPT_MOVE) {
            passed = 1;
            lastx = x;
            lasty = y;
        }
        Graph_FillRect(dst, clip, 0, x - 1, y - 1, MINIBOX, MINIBOX, (uint8_t)colour);
    }
}

void Igitrail_DrawMinimap(BITMAP* dst)
{
    if (!dst || igi_nfo.mfdmode != MFD_TRAIL) return;
    const IGIMINIMAP& m = g_Minimap;
    GRECT clip = {m.originx, m.originy, m.w, m.h};
    DrawMiniTrail(dst, &clip, Igitrail_ShownTrail(), 1);
    if (igi_nfo.edittrail.head) DrawMiniTrail(dst, &clip, &igi_nfo.edittrail, 2);
}
