#include "ui/igipump.h"

#include "core/gamestate.h"
#include "platform/input.h"
#include "map/map.h"
#include "rules/gamemsg.h"
#include "ui/igi.h"
#include "ui/igidisp.h"
#include "ui/igibuild.h"
#include "ui/igievnt.h"
#include "ui/igikeys.h"
#include "ui/igiminimap.h"
#include "ui/igimouse.h"
#include "units/building.h"
#include "units/team.h"
#include "units/unit.h"

void Igievnt_SetInputChanged(void) { igi_nfo.inputchanged = 1; }

UNIT* Igievnt_VisibleUnit(UNIT* u)
{
    if (!u) return nullptr;
    if (u->team == g_LocalTeam) return u;
    if (g_LocalTeam >= 0 && g_LocalTeam < TEAM_MAXTEAMS && u->seen[g_LocalTeam]) return u;
    return nullptr;
}

enum { ZONE_MAPVIEW = 22 };

// Only the map view gives a double click a meaning of its own (a unit's
// special function, a building made primary maker). Every other receiver
// acts on plain presses and releases, so there the pair's press and release
// are plain ones: handed 2048 and 8192, a button, list, slider or field lost
// the second of two quick clicks, and a player who tapped a switch twice
// left it on.
static uint32_t KindFor(uint32_t receiver, uint32_t kind)
{
    if (receiver == ZONE_MAPVIEW) return kind;
    if (kind == EV_LEFTDOUBLE) return EV_LEFTDOWN;
    if (kind == EV_LEFTDOUBLEUP) return EV_LEFTUP;
    return kind;
}

void Igievnt_HandleEvent(const EVENT* event)
{
    IGI_EVENT& ev = igi_nfo.event;
    Igievnt_SetInputChanged();
    ev.x = event->x;
    ev.y = event->y;
    ev.kind = event->kind;
    ev.ch = event->ch;
    ev.key = event->key;
    ev.modifiers = event->modifiers;
    ev.value = event->value;
    ev.zone = (uint32_t)Igizone_Find(event->x, event->y);
    ev.tilex = ev.tiley = 0;
    ev.unit = nullptr;
    ev.build = nullptr;
    ev.waypoint = -1;
    if (ev.zone == ZONE_MAPVIEW && g_MapElements && mapsizex > 1 && mapsizey > 1) {
        int px, py, tx, ty;
        Igidisp_ScreenToMap(event->x, event->y, &px, &py);
        ev.mapx = (uint16_t)px;
        ev.mapy = (uint16_t)py;
        ev.unit = Igievnt_VisibleUnit(Igidisp_UnitAtPixel(px, py));
        ev.build = Igidisp_BuildAtPixel(px, py);
        Igidisp_PixelToTile(px, py, &tx, &ty);
        ev.tilex = (uint16_t)tx;
        ev.tiley = (uint16_t)ty;
        ev.waypoint = Igievnt_WaypointAt(tx, ty);
    } else if (ev.zone == 23 && g_MapElements && g_Minimap.picture) {
        int tx = IgiDisp_ScreenToTileX(event->x), ty = IgiDisp_ScreenToTileY(event->y);
        ev.tilex = (uint16_t)tx;
        ev.tiley = (uint16_t)ty;
        ev.unit = Igievnt_VisibleUnit(Igidisp_UnitAtPixel(tx * 24, ty * 24));
        ev.build = Igidisp_BuildAtPixel(tx * 24, ty * 24);
    }
    ev.kind = KindFor(igi_nfo.lockzone != ZD_NULL ? igi_nfo.lockzone : ev.zone, ev.kind);
    if (igi_nfo.lockzone != ZD_NULL) {
        Igizone_CallHandler((int)igi_nfo.lockzone, ZR_INPUT);
        return;
    }
    if (ev.kind == EV_KEY) {
        Igievnt_HandleKey();
        return;
    }
    if (ev.kind == EV_WHEEL) {
        if (igi_nfo.mfdmode == MFD_BUILD) Igievnt_ScrollBuildList(ev.value / -6);
        return;
    }
    if (ev.zone != ZD_NULL) Igizone_CallHandler((int)ev.zone, ZR_INPUT);
}

static void SpeedOrders(void)
{
    if (!(g_DebugFlags & DBG_SPEEDORDERS) || g_UpdateCount % 15 != 0) return;
    for (BUILDING* b = teamdata[0].firstbuilding; b; b = b->teamnext) b->prodleft = 0;
}

int Igievnt_Update(void)
{
    Igievnt_ValidateSelection();
    igi_nfo.sbuild = BuildId_Ptr(&igi_nfo.sbuildid);
    Mouse_GetState(&igi_nfo.mousex, &igi_nfo.mousey, &igi_nfo.mousebuttons);
    Igizone_CallAllForward(ZR_UPDATE);
    EVENT* head = nullptr;
    EVENT* tail = nullptr;
    Event_Poll(&head, &tail);
    EVENT e;
    while (Event_Get(&head, &tail, &e)) Igievnt_HandleEvent(&e);
    SpeedOrders();
    GameMsg_Update();
    return 0;
}
