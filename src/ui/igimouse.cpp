#include "ui/igimouse.h"

#include <algorithm>
#include <cstdlib>

#include "core/gamestate.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "platform/cursor.h"
#include "platform/input.h"
#include "rules/gamemsg.h"
#include "ui/igi.h"
#include "ui/igiclick.h"
#include "ui/igidisp.h"
#include "ui/igievnt.h"
#include "ui/igiminimap.h"
#include "ui/igitext.h"
#include "ui/slist.h"
#include "units/autoprod.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitlist.h"

enum {
    ZONE_MAP = 22,
    ZONE_MINIMAP = 23,
    MAPEDGE_RIGHT = 447,          // the map view's edge band for scrolling
    MAPEDGE_TOP = 32,
    VELOCITY_SLOW = 20,           // below this a scroll drag brakes
};

// --- helpers ---

static int Shift(void) { return (igi_nfo.event.modifiers & (MOD_LSHIFT | MOD_RSHIFT)) != 0; }
static int Control(void) { return (igi_nfo.event.modifiers & MOD_CTRL) != 0; }
static int UnitsSelected(void) { return !Units_ListEmpty(&igi_nfo.selected); }
static int Local(void) { return g_LocalTeam; }

static void Confine(int zd)
{
    const ZONE& z = igi_nfo.zone.data[zd];
    Mouse_SetClipRect(z.lx, z.ly, z.rx, z.ry);
}

static void ReleaseMouse(void) { Mouse_SetClipRect(0, 0, IGI_ZONEXMAX, IGI_ZONEYMAX); }

static void Ack(void)
{
    if (igi_nfo.firstunit) Igievnt_PlayUnitSound(igi_nfo.firstunit, 1);
}

static void Press(void)
{
    igi_nfo.pressx = igi_nfo.event.x;
    igi_nfo.pressy = igi_nfo.event.y;
    igi_nfo.dragging = 0;
}

static int Moved(int threshold)
{
    return std::abs(igi_nfo.mousex - igi_nfo.pressx) > threshold ||
           std::abs(igi_nfo.mousey - igi_nfo.pressy) > threshold;
}

static void StartDragging(void)
{
    igi_nfo.dragging = 1;
    Mouse_HideCursor();
}

static void MsgAt(int id, int x, int y)
{
    if (GAME_MSG* m = GameMsg_Std(id)) GameMsg_TriggerStdXY(m, x, y);
}

// After the selection changed by the player's hand: the building panel
// follows a lone builder, the first unit answers, the building is dropped.
static void SelectionChanged(void)
{
    Igievnt_UpdateOrderSettings();
    UNIT* f = igi_nfo.firstunit;
    if (f && Igievnt_SingleUnitSelected() && f->type->abilities.canbuild) Igievnt_SetMfdMode(MFD_BUILD);
    if (f) Igievnt_PlayUnitSound(f, 0);
    Igievnt_DropBuilding();
    Igievnt_HandleGameEvent(1);
}

static void ResetActionMode(void) { Igievnt_SetActionMode(AM_DEFAULT); }

// A mode entered by a gesture shows on its button as a click on it would;
// entered again it stays (the button's own click turns it off).
static void EnterMode(int mode)
{
    if (igi_nfo.actionmode != mode) Igievnt_SetActionMode(mode);
}

// The player's choice of a primary maker changes automatic production, not
// the game: only for the local team's own buildings and only while the
// option is on (the module is absent otherwise).
static void MakePrimary(BUILDING* b)
{
    if (!AP_IsEnabled() || b->team != Local()) return;
    AP_SetPrimary(b, 1, 0);
    AP_ProduceNextQueued(b);
    MsgAt(MSG_PRIMSEL, b->tilex, b->tiley);
}

// --- the edit trail ---

int Igievnt_WaypointAt(int x, int y)
{
    if (igi_nfo.mfdmode != MFD_TRAIL) return -1;
    int i = 0;
    for (WAYPOINT* w = igi_nfo.edittrail.head; w; w = w->next, i++)
        if (w->x == x && w->y == y) return i;
    return -1;
}

void Igievnt_InsertWaypoint(int type, int x, int y)
{
    TRAIL* edit = &igi_nfo.edittrail;
    int g = igi_nfo.globaltrail;
    int maycopy = type == WPT_FIRE || igi_nfo.editsubmode == 0;
    if (maycopy && g >= 0 && g < QUORVEX_GLOBALTRAILS && !edit->head && g_LocalTeam >= 0 &&
        g_LocalTeam < TEAM_MAXTEAMS) {
        Trail_Copy(edit, &teamdata[g_LocalTeam].gtrails[g]);
        igi_nfo.curwaypoint = edit->tail;
    }
    if (type == WPT_FIRE && !edit->head) return;
    if (Trail_FindWaypoint(edit, x, y)) return;
    igi_nfo.curwaypoint = Trail_InsertWaypoint(edit, igi_nfo.curwaypoint, type, x, y, 0);
}

static void PointerTile(int* tx, int* ty)
{
    int px, py;
    Igidisp_ScreenToMap(igi_nfo.mousex, igi_nfo.mousey, &px, &py);
    Igidisp_PixelToTile(px, py, tx, ty);
}

static void WaypointDragStep(void)
{
    if (!igi_nfo.dragging) {
        if (Moved(IGI_WAYPOINTTHRESHOLD)) StartDragging();
        return;
    }
    IgiDisp_ScrollMap(0, MAPEDGE_RIGHT, MAPEDGE_TOP, IGI_ZONEYMAX);
    WAYPOINT* w = igi_nfo.curwaypoint;
    if (!w) return;
    int tx, ty;
    PointerTile(&tx, &ty);
    if (Trail_FindWaypoint(&igi_nfo.edittrail, tx, ty)) return;
    w->x = tx;
    w->y = ty;
}

static WAYPOINT* WaypointByIndex(int index)
{
    WAYPOINT* w = igi_nfo.edittrail.head;
    for (int i = 0; w && i < index; i++) w = w->next;
    return w;
}

// --- the scroll drag ---

int Igievnt_ScrollVelocity(int velocity, int d, int limit)
{
    int step = d + d / 5;
    if (std::abs(step) < VELOCITY_SLOW) velocity /= 2;
    if ((velocity > 0 && step < 0) || (velocity < 0 && step > 0)) velocity = 0;
    // Held off centre the velocity grows every frame: bounded by the map,
    // it can neither wrap round nor scroll further than the map is wide.
    return std::clamp(velocity + step, -limit, limit);
}

static void ScrollDragStep(void)
{
    if (!igi_nfo.dragging) {
        if (!Moved(IGI_SCROLLTHRESHOLD - 1)) return;
        igi_nfo.pressx = igi_nfo.mousex;
        igi_nfo.pressy = igi_nfo.mousey;
        StartDragging();
        Mouse_SetPos(IGIDISP_MOUSEX, IGIDISP_MOUSEY);
        igi_nfo.scrollvx = igi_nfo.scrollvy = 0;
        return;
    }
    igi_nfo.scrollvx = Igievnt_ScrollVelocity(igi_nfo.scrollvx, igi_nfo.mousex - IGIDISP_MOUSEX,
                                              mapsizex * MAP_TILE_PIXELS);
    igi_nfo.scrollvy = Igievnt_ScrollVelocity(igi_nfo.scrollvy, igi_nfo.mousey - IGIDISP_MOUSEY,
                                              mapsizey * MAP_TILE_PIXELS);
    Map_ScrollView(igi_nfo.scrollvx, igi_nfo.scrollvy);
    Mouse_SetPos(IGIDISP_MOUSEX, IGIDISP_MOUSEY);
    IgiDisp_MinimapFollowView();
    IgiDisp_SetZoneDirty(ZONE_MINIMAP);
}

static void EndScrollDrag(void)
{
    ReleaseMouse();
    igi_nfo.dragmode = DRAG_NONE;
    if (igi_nfo.dragging) {
        Mouse_SetPos(igi_nfo.pressx, igi_nfo.pressy);
        Mouse_ShowCursor();
        igi_nfo.dragging = 0;
    } else {
        Igievnt_Cancel();
    }
}

void Igievnt_Cancel(void)
{
    if (igi_nfo.actionmode != AM_PLACE) {
        if (igi_nfo.mfdmode == MFD_TRAIL && igi_nfo.curwaypoint) {
            igi_nfo.curwaypoint = nullptr;
        } else if (!UnitsSelected() && !igi_nfo.sbuild) {
            Igievnt_SetMfdMode(MFD_BUILD);
        } else {
            Igievnt_ClearSelection();
            Igievnt_DropBuilding();
            Igievnt_UpdateOrderSettings();
            Igievnt_HandleGameEvent(1);
        }
    }
    ResetActionMode();
}

// --- the box ---

// Per axis the tiles whose centres the box covers; a box thinner than half
// a tile still takes the tile it lies in.
static void BoxRange(int a, int b, int* lo, int* hi)
{
    int first = (std::min(a, b) + MAP_TILE_PIXELS / 2) / MAP_TILE_PIXELS;
    int last = std::max(a, b) / MAP_TILE_PIXELS;
    if (first > last) std::swap(first, last);
    *lo = first;
    *hi = last;
}

static void SelectByBox(void)
{
    int x1, x2, y1, y2;
    BoxRange(igi_nfo.boxx, igi_nfo.event.mapx, &x1, &x2);
    BoxRange(igi_nfo.boxy, igi_nfo.event.mapy, &y1, &y2);
    // SelectBox resets the placing modes and plays the first unit's sound.
    Igievnt_SelectBox(x1, y1, x2, y2, Shift());
    UNIT* f = igi_nfo.firstunit;
    if (f && Igievnt_SingleUnitSelected() && f->type->abilities.canbuild) Igievnt_SetMfdMode(MFD_BUILD);
    Igievnt_DropBuilding();
    Igievnt_HandleGameEvent(1);
    Mouse_ShowCursor();
}

// --- the double click ---

static int AllOf(int (*test)(const UNIT*))
{
    int any = 0;
    for (UNITLISTELEM* e = igi_nfo.selected.head; e; e = e->next) {
        UNIT* u = UnitId_Ptr(&e->u);
        if (!u) continue;
        if (!test(u)) return 0;
        any = 1;
    }
    return any;
}

static void DoubleClick(void)
{
    IGI_EVENT& ev = igi_nfo.event;
    if (!ev.unit) {
        if (ev.build) MakePrimary(ev.build);
        return;
    }
    if (!Igievnt_SingleUnitSelected() || !igi_nfo.firstunit) return;
    UNIT* f = igi_nfo.firstunit;
    if (Shift()) Orders_QSelfDestruct(Local(), &igi_nfo.selected);
    else if (f->building_package && f->building_package->building_type) {
        igi_nfo.placetype = (uint16_t)f->building_package->building_type->index;
        EnterMode(AM_PLACE);
    } else if (igi_nfo.canmorph) EnterMode(AM_MORPH);
    else if (AllOf([](const UNIT* u) { return (int)u->isphased; })) Orders_QUnphase(Local(), &igi_nfo.selected);
    else Orders_QUnitSpecFunc(Local(), &igi_nfo.selected);
}

// --- the map view ---

static void MapLeftDown(void)
{
    if (!Igievnt_IsIdle()) return;
    Confine(ZONE_MAP);
    Press();
    if (igi_nfo.event.waypoint >= 0) {
        igi_nfo.curwaypoint = WaypointByIndex(igi_nfo.event.waypoint);
        igi_nfo.buttonlock = LOCK_WAYPOINT;
        return;
    }
    igi_nfo.boxx = igi_nfo.event.mapx;
    igi_nfo.boxy = igi_nfo.event.mapy;
    igi_nfo.dragmode = DRAG_MAPLEFT;
}

static void MapLeftUp(void)
{
    ReleaseMouse();
    if (igi_nfo.dragging) SelectByBox();
    else Igievnt_MapClick();
    igi_nfo.dragging = 0;
    igi_nfo.dragmode = DRAG_NONE;
}

static void WaypointUp(void)
{
    ReleaseMouse();
    if (igi_nfo.dragging) Mouse_ShowCursor();
    igi_nfo.dragging = 0;
    Igievnt_MapClick();
    igi_nfo.buttonlock = LOCK_NONE;
}

static void MapUpdate(void)
{
    if (igi_nfo.buttonlock == LOCK_WAYPOINT) {
        WaypointDragStep();
    } else if (igi_nfo.dragmode == DRAG_MAPLEFT) {
        if (!igi_nfo.dragging) {
            if (Moved(IGI_BOXTHRESHOLD)) StartDragging();
        } else {
            IgiDisp_ScrollMap(0, MAPEDGE_RIGHT, MAPEDGE_TOP, IGI_ZONEYMAX);
        }
    } else if (igi_nfo.dragmode == DRAG_MAPRIGHT) {
        ScrollDragStep();
    }
}

void Igievnt_MapViewHandler(uint32_t, uint32_t reason)
{
    if (reason == ZR_UPDATE) return MapUpdate();
    if (reason != ZR_INPUT) return;
    switch (igi_nfo.event.kind) {
    case EV_LEFTDOWN: MapLeftDown(); break;
    case EV_LEFTUP:
        if (igi_nfo.buttonlock == LOCK_WAYPOINT) WaypointUp();
        else if (igi_nfo.dragmode == DRAG_MAPLEFT) MapLeftUp();
        break;
    case EV_RIGHTDOWN:
        if (!Igievnt_IsIdle()) break;
        Confine(ZONE_MAP);
        Press();
        igi_nfo.dragmode = DRAG_MAPRIGHT;
        break;
    case EV_RIGHTUP:
        if (igi_nfo.dragmode == DRAG_MAPRIGHT) EndScrollDrag();
        break;
    case EV_LEFTDOUBLEUP: DoubleClick(); break;
    default: break;
    }
}

// --- the click ---

void Igievnt_PlacementTopLeft(const BUILDINGTYPE* type, int x, int y, int* lx, int* ly)
{
    *lx = x - type->width / 2 + 1;
    *ly = y - type->height / 2 + 1;
}

static int AttackMode(void)
{
    if (igi_nfo.actionmode == AM_FIRE) return UAM_FIRE;
    if (igi_nfo.actionmode == AM_FIRENOMV) return UAM_FIRENOMV;
    return UAM_DEFAULT;
}

static void FireAt(UNIT* unit, BUILDING* b, int x, int y, int mode)
{
    if (!UnitsSelected()) return;
    Ack();
    if (unit) Orders_QFireAtUnit(Local(), &igi_nfo.selected, unit->id, mode);
    else if (b) Orders_QFireAtBuilding(Local(), &igi_nfo.selected, b->id, mode);
    else Orders_QFireAtGround(Local(), &igi_nfo.selected, x, y, mode);
}

static void Place(int x, int y)
{
    UNIT* f = igi_nfo.firstunit;
    if (!f) return;
    BUILDINGPACKAGE* pack = f->building_package;
    if (!f->type->abilities.canbuild && !pack) return;
    if (igi_nfo.placetype >= g_NrBuildingTypes) return;
    BUILDINGTYPE* type = pack && pack->building_type ? pack->building_type : &g_BuildingTypes[igi_nfo.placetype];
    int lx, ly;
    Igievnt_PlacementTopLeft(type, x, y, &lx, &ly);
    if (!Build_ApplyEffects(f, nullptr, type, lx, ly, nullptr)) {
        MsgAt(MSG_CANTBUILDTHERE, x, y);
        return;
    }
    Ack();
    if (pack) Orders_QUnpackBuilding(Local(), f->id, x, y);
    else Orders_QConstructBuilding(Local(), f->id, type->index, lx, ly);
    Igievnt_ClearSelection();
    ResetActionMode();
}

static void SelectUnitClicked(UNIT* u)
{
    if (Shift()) Igievnt_ToggleUnit(u);
    else {
        Igievnt_ClearSelection();
        Igievnt_SelectUnit(u);
    }
    SelectionChanged();
}

static BUILDING* OwnBuilding(BUILDING* b) { return b && b->team == Local() ? b : nullptr; }

// Each kind's orders; returns 1 when the action mode is reset.
static int ActOnKind(int kind)
{
    IGI_EVENT& ev = igi_nfo.event;
    const UNITLIST* sel = &igi_nfo.selected;
    const int team = Local(), x = ev.tilex, y = ev.tiley;
    UNIT* u = ev.unit;
    BUILDING* b = ev.build;
    BUILDING* s = igi_nfo.sbuild;
    switch (kind) {
    case CK_MOVE:
    case CK_MOVE2:
        if (!UnitsSelected()) return 1;
        Ack();
        Orders_QMove(team, sel, x, y, kind == CK_MOVE2);
        return 1;
    case CK_FIRE: FireAt(u, b, x, y, AttackMode()); return 1;
    case CK_ROTATE: Ack(); Orders_QRotate(team, sel, x, y, 0); return 1;
    case CK_BOARDUNIT: if (u) { Ack(); Orders_QBoardUnit(team, sel, u->id); } return 0;
    case CK_UNLOADUNIT: if (u) { Ack(); Orders_QDisembark(team, u->id, Control() ? 0 : 1); } return 0;
    case CK_BOARDBUILDING: if (b) { Ack(); Orders_QBoardBuilding(team, sel, b->id); } return 0;
    case CK_GRAB: if (u) { Ack(); Orders_QGrabUnit(team, sel, u->id); } return 1;
    case CK_SABOTAGE: if (b) { Ack(); Orders_QSabotageBuilding(team, sel, b->id); } return 1;
    case CK_MORPHUNIT: if (u) { Ack(); Orders_QMorphIntoUnit(team, sel, u->type->unittypeid, u->team); } return 1;
    case CK_MORPHOVL: {
        OVERLAY* o = Ovl_IsThingAbsolute(x * MAP_TILE_PIXELS, y * MAP_TILE_PIXELS);
        if (o && o->type >= 0) { Ack(); Orders_QMorphIntoOvl(team, sel, o->type); }
        return 1;
    }
    case CK_SPY:
    case CK_SPYHOME:
        if (b && igi_nfo.firstunit) {
            Ack();
            Orders_QSpy(team, igi_nfo.firstunit->id, b->id, kind == CK_SPY ? 0 : 1, 0);
        }
        return kind == CK_SPY;
    case CK_GOTOREPAIR:
    case CK_GOTOHEAL: if (b) Orders_QGotoRepair(team, sel, b->id); return 0;
    case CK_GOTOREARM: if (b) Orders_QGotoRearm(team, sel, b->id); return 0;
    case CK_REPAIRUNIT:
    case CK_HEALUNIT: if (u) { Ack(); Orders_QFireAtUnit(team, sel, u->id, UAM_FIRE); } return 0;
    case CK_TRANSPORT:
        if (b) {
            const BUILDINGTYPE* t = b->buildingtype;
            Orders_QSetupTransport(team, sel, t->index, b->tilex + t->bayx, b->tiley + t->bayy);
        }
        return 0;
    case CK_BOOST: if (u) { Ack(); Orders_QFireAtUnit(team, sel, u->id, AttackMode()); } return 0;
    case CK_SHRED: Ack(); Orders_QMove(team, sel, x, y, 0); return 0;
    case CK_SELECTUNIT: {
        int m = igi_nfo.actionmode;
        if (u && u->team == team) SelectUnitClicked(u);
        return (m >= AM_TRAILINS0 && m <= AM_PLACE) || (m >= AM_SELL && m <= AM_CLUSTER);
    }
    case CK_SELL:
        if ((b = OwnBuilding(b)) != nullptr) {
            if (b->state == BS_BEINGBUILT) Orders_QCancelBuilding(team, b->id);
            else Orders_QSellBuilding(team, b->id);
        }
        return 0;
    case CK_POWER: if ((b = OwnBuilding(b)) != nullptr) Orders_QPowerToggle(team, b->id); return 0;
    case CK_REPAIRBUILDING: if ((b = OwnBuilding(b)) != nullptr) Orders_QRepairBuilding(team, b->id); return 0;
    case CK_PLACE: Place(x, y); return 0;
    case CK_TELEPORT: if (s) Orders_QTeleport(team, s->id, x, y); return 0;
    case CK_UNLOADBUILDING: if (b) Orders_QDisembarkBld(team, b->id, Control() ? 0 : 1); return 0;
    case CK_SPYREPORT:
        if (s) {
            UNIT* spy = UnitId_Ptr(&s->spy[team]);
            if (spy) Orders_QSpy(team, spy->id, s->id, 4, 0);
        }
        return 0;
    case CK_SPYSEARCH: if (s) Orders_QSpy(team, 0, s->id, 5, 0); return 0;
    case CK_PRIMARY: if (b) MakePrimary(b); return 0;
    case CK_SELECTBUILDING:
        if (b) {
            Igievnt_SelectBuilding(b);
            Igievnt_UpdateOrderSettings();
            Igievnt_HandleGameEvent(1);
        }
        return 1;
    case CK_PRODDEST: if ((s = OwnBuilding(s)) != nullptr) Orders_QSetBldDest(team, s->id, x, y); return 1;
    case CK_CLUSTDEST: if ((s = OwnBuilding(s)) != nullptr) Orders_QSetClustDest(team, s->id, x, y); return 1;
    case CK_TRAILINS0:
        if (b && b->buildingtype->bayx >= 0) Igievnt_InsertWaypoint(WPT_MOVE, b->tilex + b->buildingtype->bayx,
                                                                  b->tiley + b->buildingtype->bayy);
        else Igievnt_InsertWaypoint(WPT_MOVE, x, y);
        return 0;
    case CK_TRAILINS1: Igievnt_InsertWaypoint(WPT_FIRE, x, y); return 0;
    case CK_WAYPOINT:
    case CK_TRAILEDIT: return 0;
    default: return 1; // nothing, impossible, can't fire, can't morph, can't teleport, neutral
    }
}

void Igievnt_MapClick(void)
{
    if (g_LocalTeam < 0 || g_LocalTeam >= TEAM_MAXTEAMS) return;
    IGI_EVENT& ev = igi_nfo.event;
    int kind = Igievnt_ClassifyClick(ev.unit, ev.build, ev.waypoint, ev.tilex, ev.tiley, ev.modifiers);
    if (ActOnKind(kind)) ResetActionMode();
}

// --- the minimap ---

static void CentreViewOn(int tx, int ty)
{
    Map_SetViewPixelPos((tx - MAPVIEW_TILES / 2) * MAP_TILE_PIXELS, (ty - MAPVIEW_TILES / 2) * MAP_TILE_PIXELS);
    IgiDisp_MinimapFollowView();
    IgiDisp_SetZoneDirty(ZONE_MINIMAP);
}

static void MinimapCentre(int* cx, int* cy)
{
    const ZONE& z = igi_nfo.zone.data[ZONE_MINIMAP];
    *cx = (z.lx + z.rx) / 2;
    *cy = (z.ly + z.ry) / 2;
}

static void MinimapUpdate(void)
{
    if (igi_nfo.dragmode == DRAG_MINIRIGHT) {
        int cx, cy;
        MinimapCentre(&cx, &cy);
        if (!igi_nfo.dragging) {
            if (!Moved(IGI_MINIMAPTHRESHOLD - 1)) return;
            StartDragging();
            Mouse_SetPos(cx, cy);
            return;
        }
        IGIMINIMAP& m = g_Minimap;
        int maxx = std::max(0, mapsizex - m.w), maxy = std::max(0, mapsizey - m.h);
        m.scrollx = std::clamp(m.scrollx + igi_nfo.mousex - cx, 0, maxx);
        m.scrolly = std::clamp(m.scrolly + igi_nfo.mousey - cy, 0, maxy);
        Mouse_SetPos(cx, cy);
        IgiDisp_SetZoneDirty(ZONE_MINIMAP);
    } else if (igi_nfo.dragmode == DRAG_MINILEFT) {
        if (!igi_nfo.dragging) {
            if (Moved(IGI_MINIMAPTHRESHOLD)) igi_nfo.dragging = 1;
            return;
        }
        CentreViewOn(IgiDisp_ScreenToTileX(igi_nfo.mousex), IgiDisp_ScreenToTileY(igi_nfo.mousey));
    }
}

static void MinimapLeftUp(void)
{
    ReleaseMouse();
    igi_nfo.dragmode = DRAG_NONE;
    int dragged = igi_nfo.dragging;
    igi_nfo.dragging = 0;
    if (dragged) {
        // The centring follows the frame's pointer: the release's own tile
        // ends the drag where the button came up.
        CentreViewOn(igi_nfo.event.tilex, igi_nfo.event.tiley);
        return;
    }
    int mode = igi_nfo.actionmode;
    if (mode >= AM_TRAILEDIT) return;
    IGI_EVENT& ev = igi_nfo.event;
    if (mode == AM_TRAILINS0 || mode == AM_TRAILINS1) {
        Igievnt_InsertWaypoint(mode == AM_TRAILINS0 ? WPT_MOVE : WPT_FIRE, ev.tilex, ev.tiley);
        return;
    }
    if (mode <= AM_MOVE2) {
        if (!UnitsSelected()) return;
        Ack();
        Orders_QMove(Local(), &igi_nfo.selected, ev.tilex, ev.tiley, mode == AM_MOVE2);
        ResetActionMode();
    } else if (mode == AM_FIRE || mode == AM_FIRENOMV) {
        if (!UnitsSelected()) return;
        FireAt(ev.unit, ev.build, ev.tilex, ev.tiley, AttackMode());
        ResetActionMode();
    }
}

void Igievnt_MinimapHandler(uint32_t, uint32_t reason)
{
    if (reason == ZR_UPDATE) return MinimapUpdate();
    if (reason != ZR_INPUT || !g_Minimap.picture) return;
    switch (igi_nfo.event.kind) {
    case EV_RIGHTDOWN:
        if (!Igievnt_IsIdle()) break;
        Confine(ZONE_MINIMAP);
        Press();
        igi_nfo.dragmode = DRAG_MINIRIGHT;
        break;
    case EV_RIGHTUP:
        if (igi_nfo.dragmode == DRAG_MINIRIGHT) EndScrollDrag();
        break;
    case EV_LEFTDOWN:
        if (!Igievnt_IsIdle()) break;
        Confine(ZONE_MINIMAP);
        Press();
        igi_nfo.dragmode = DRAG_MINILEFT;
        if (Shift() || (!UnitsSelected() && igi_nfo.actionmode == AM_DEFAULT)) {
            igi_nfo.dragging = 1;
            CentreViewOn(igi_nfo.event.tilex, igi_nfo.event.tiley);
        }
        break;
    case EV_LEFTUP:
        if (igi_nfo.dragmode == DRAG_MINILEFT) MinimapLeftUp();
        break;
    default: break;
    }
}

// --- the text panel ---

enum { CLOSEBOX = 16, CLOSEINSET = 4, TEXTDRAGTHRESHOLD = 4, SC_ESCAPEKEY = 1 };

static void TextDragStep(void)
{
    if (igi_nfo.dragmode != DRAG_TEXT) return;
    if (!igi_nfo.dragging) {
        if (!Moved(TEXTDRAGTHRESHOLD - 1)) return;
        StartDragging();
        Mouse_SetPos(IGIDISP_MOUSEX, IGIDISP_MOUSEY);
        return;
    }
    // Both ways, as the map's scroll drag: the arrow at the right edge
    // marks text that a drag reaches.
    if (SLIST* l = IgiDisp_TextPanelList())
        SList_Scroll(l, igi_nfo.mousex - IGIDISP_MOUSEX, igi_nfo.mousey - IGIDISP_MOUSEY);
    Mouse_SetPos(IGIDISP_MOUSEX, IGIDISP_MOUSEY);
    IgiDisp_SetZoneDirty(TEXTPANEL_ZONE);
}

static int InCloseBoxOrOutside(const ZONE& z, int x, int y)
{
    if (x < z.lx || x > z.rx || y < z.ly || y > z.ry) return 1;
    int right = z.rx - CLOSEINSET, top = z.ly + CLOSEINSET;
    return x > right - CLOSEBOX && x <= right && y >= top && y < top + CLOSEBOX;
}

void Igievnt_TextPanelHandler(uint32_t zd, uint32_t reason)
{
    if (reason == ZR_UPDATE) return TextDragStep();
    if (reason != ZR_INPUT) return;
    IGI_EVENT& ev = igi_nfo.event;
    const ZONE& z = igi_nfo.zone.data[zd];
    switch (ev.kind) {
    case EV_KEY:
        if (ev.key == SC_ESCAPEKEY) IgiDisp_CloseTextPanel();
        break;
    case EV_LEFTUP:
        if (igi_nfo.dragmode == DRAG_NONE && InCloseBoxOrOutside(z, ev.x, ev.y)) IgiDisp_CloseTextPanel();
        break;
    case EV_RIGHTDOWN:
        if (igi_nfo.dragmode != DRAG_NONE) break;
        Press();
        igi_nfo.dragmode = DRAG_TEXT;
        break;
    case EV_RIGHTUP:
        if (igi_nfo.dragmode != DRAG_TEXT) break;
        igi_nfo.dragmode = DRAG_NONE;
        if (igi_nfo.dragging) {
            Mouse_SetPos(igi_nfo.pressx, igi_nfo.pressy);
            Mouse_ShowCursor();
            igi_nfo.dragging = 0;
        }
        break;
    default: break;
    }
}
