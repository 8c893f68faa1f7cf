#include "editor/methings.h"

#include <cassert>
#include <cstdio>

#include "core/uid.h"
#include "editor/editor.h"
#include "editor/mebigmap.h"
#include "editor/meminimap.h"
#include "editor/mestats.h"
#include "map/map.h"
#include "map/overlay.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "platform/video.h"
#include "units/building.h"
#include "units/parts.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitlist.h"
#include "units/unitsorder.h"
#include "units/unitstate.h"

static MeMiniMap* MiniMap(void) { return g_MeEditor.miniMap; }

static bool IsTeam(int team) { return team >= 0 && team < TEAM_MAXTEAMS; }

static int TileOf(int pixel, int hi)
{
    int t = pixel >= 0 ? pixel / 24 : -((-pixel + 23) / 24);
    return t < 1 ? 1 : t > hi ? hi : t;
}

// Where the element's sprite is drawn, in world pixels.
static IRect ElementRect(const DISPLAYELEMENT* e)
{
    // Nothing drawn: far from any band.
    if (!e || !e->sprite) return IRect(-1000000, -1000000, 0, 0);
    int hx = 0, hy = 0;
    Sprite_GetHotspotXY(e->sprite, 0, e->frame, SortDisp_Rotation(e), &hx, &hy);
    return IRect(e->x - hx, e->y - hy, Sprite_GetWidth(e->sprite), Sprite_GetHeight(e->sprite));
}

// "Id:%d" and "Plr:%d" below each other from screen point p, each in the
// shadow font one pixel down and right, then in the label font.
static void DrawLabels(IPoint p, int id, int team)
{
    MeEditor& me = g_MeEditor;
    BITMAP* bb = Backbuf_Lock();
    if (!bb || !me.fontA || !me.fontB) return;
    const GRECT clip = {MEBIGMAP_X, MEBIGMAP_Y, MEBIGMAP_SIDE, MEBIGMAP_SIDE};
    char text[32];
    for (int line = 0; line < 2; line++) {
        if (line == 0 ? !me.showIds : !me.showPlayers) continue;
        if (line == 0)
            snprintf(text, sizeof text, "Id:%d", id);
        else
            snprintf(text, sizeof text, "Plr:%d", team + 1);
        Font_Print(p.x + 1, p.y + 1, text, 0, me.fontA->font.slot, nullptr, &clip, bb);
        Font_Print(p.x, p.y, text, 0, me.fontB->font.slot, nullptr, &clip, bb);
        p.y += Font_GetHeight(me.fontB->font.slot);
    }
}

// ---------------------------------------------------------------- units

void MeBrushUnit::Count(const UNIT* unit, int team, int sign)
{
    if (!unit || !IsTeam(team)) return;
    METEAM& t = g_MeEditor.teams[team];
    t.units += sign;
    t.worth += sign * (int)unit->type->buildcost;
}

void MeBrushUnit::ApplyDefaults(UNIT* unit)
{
    const MEORDERS& o = g_MeEditor.orders;
    unit->tactaiinfo.tenacity = unit->usertactaiinfo.tenacity = o.defPursuit;
    unit->tactaiinfo.selfpreservation = unit->usertactaiinfo.selfpreservation = 2 - o.defTolerance;
    unit->tactaiinfo.autonomy = unit->usertactaiinfo.autonomy = o.defIndependence;
}

// The editor's directions run once, back and forth and looped; the trail
// modes stop at the end, reverse and loop.
int MeBrushUnit::TrailMode(int direction)
{
    switch (direction) {
    case 1: return TRAIL_REVERSE;
    case 2: return TRAIL_LOOP;
    default: return TRAIL_STOP;
    }
}

int MeBrushUnit::Direction(int trailMode)
{
    switch (trailMode) {
    case TRAIL_STOP: return 0;
    case TRAIL_REVERSE: return 1;
    case TRAIL_LOOP: return 2;
    default: return -1;
    }
}

MeBrushUnit::MeBrushUnit(UNIT* unit) : thing(unit)
{
    if (unit) x = unit->tilepos.x * 24, y = unit->tilepos.y * 24;
}

IRect MeBrushUnit::GetRect(void) { return ElementRect(thing && thing->basepart ? thing->basepart->display : nullptr); }

void MeBrushUnit::Hilite(void) { Units_Hilite(thing); }

void MeBrushUnit::UnHilite(void) { Units_UnHilite(thing); }

void MeBrushUnit::Delete(void)
{
    if (!thing) return;
    Count(thing, thing->team, -1);
    Units_Delete(thing);
    thing = nullptr;
}

void MeBrushUnit::MoveBy(const IPoint& delta, const IPoint&)
{
    x += delta.x, y += delta.y;
    if (!thing || (x / 24 == thing->tilepos.x && y / 24 == thing->tilepos.y && x >= 0 && y >= 0)) return;
    // A unit carried inside a building stays there: putting it on the map
    // would give it two places.
    if (!thing->onmap) return;
    const int tx = TileOf(x, mapsizex - 1), ty = TileOf(y, mapsizey - 1);
    if (tx == thing->tilepos.x && ty == thing->tilepos.y) return;
    if (Units_UnitAtMapLevel(thing->maplevel, tx, ty) || Build_BarsUnitType(thing->type, tx, ty)) return;
    Units_RemoveFromMap(thing);
    Units_SetUnitPosition(thing, tx, ty);
    Units_AddToMap(thing);
    if (MiniMap()) MiniMap()->mstate |= MEMM_STALE;
}

void MeBrushUnit::Snap(void)
{
    if (thing) x = thing->tilepos.x * 24, y = thing->tilepos.y * 24;
}

void MeBrushUnit::NextTeam(void)
{
    if (!thing || thing->team >= TEAM_NEUTRAL) return;
    UnHilite();
    Units_GiveUnitToOtherTeam(thing, (thing->team + 1) % TEAM_NEUTRAL);
    Hilite();
}

void MeBrushUnit::DrawRange(const IRect& clip)
{
    BITMAP* bb = Backbuf_Lock();
    if (!thing || !bb) return;
    const GRECT c = {clip.x, clip.y, clip.w, clip.h};
    const IPoint p = MeBigMap::TileToScreen(IPoint(thing->tilepos.x, thing->tilepos.y));
    Graph_DrawCircle(bb, &c, 0, p.x, p.y, thing->type->seeingrange * 24, 15);
}

void MeBrushUnit::DrawLabel(const IRect&)
{
    if (thing) DrawLabels(MeBigMap::TileToScreen(IPoint(thing->tilepos.x, thing->tilepos.y)), thing->id, thing->team);
}

void MeBrushUnit::SetOrders(int tenacity, int autonomy, int selfpreservation, int level)
{
    assert(level >= -1 && level <= TACTAI_HIGH && "sorder>=TACTAI_LOW && sorder <=TACTAI_HIGH");
    if (!thing) return;
    if (level >= TACTAI_LOW && level <= TACTAI_HIGH) {
        Units_SOrderAutomove(thing, level);
        return;
    }
    Units_SOrderStop(thing);
    // A value the panel shows as mixed (-1) keeps the unit's own: the
    // scenario reader takes only 0..2.
    if (tenacity >= TACTAI_LOW && tenacity <= TACTAI_HIGH) Units_SetUserTenacity(thing, tenacity);
    if (autonomy >= TACTAI_LOW && autonomy <= TACTAI_HIGH) Units_SetUserAutonomy(thing, autonomy);
    if (selfpreservation >= TACTAI_LOW && selfpreservation <= TACTAI_HIGH)
        Units_SetUserSelfPreservation(thing, selfpreservation);
}

static uint32_t Bit(int v) { return v >= 0 && v < 32 ? 1u << v : 0; }

uint32_t MeBrushUnit::TenacityBit(void) { return thing ? Bit(thing->usertactaiinfo.tenacity) : 0; }

uint32_t MeBrushUnit::AutonomyBit(void) { return thing ? Bit(thing->usertactaiinfo.autonomy) : 0; }

uint32_t MeBrushUnit::SelfPreservationBit(void) { return thing ? Bit(thing->usertactaiinfo.selfpreservation) : 0; }

uint32_t MeBrushUnit::AutoMoveBit(void)
{
    return thing && thing->sorder.code == SO_AUTOMOVE ? Bit(thing->sorder.automove.level) : 0;
}

int MeBrushUnit::HasPath(void) { return thing && thing->localtrail && thing->localtrail->head; }

void MeBrushUnit::AssignPath(TRAIL* trail, int direction)
{
    if (!thing || !thing->localtrail || !trail) return;
    Trail_Clear(thing->localtrail);
    Trail_Copy(thing->localtrail, trail);
    Units_SOrderFollowLocalTrail(thing, TrailMode(direction));
}

void MeBrushUnit::SetPathDirection(int direction)
{
    if (HasPath()) Units_SOrderFollowLocalTrail(thing, TrailMode(direction));
}

uint32_t MeBrushUnit::PathDirectionBit(void)
{
    return thing && thing->sorder.code == SO_TRAIL ? Bit(Direction(thing->sorder.trail.mode)) : 0;
}

void MeBrushUnit::Copy(void)
{
    if (!thing) return;
    // The copy goes where the selection's move takes it: made on the
    // original's tile, two units would claim one map element.
    const int tx = thing->tilepos.x + 1, ty = thing->tilepos.y + 1;
    if (tx >= mapsizex || ty >= mapsizey || Units_UnitAtMapLevel(thing->maplevel, tx, ty) ||
        Build_BarsUnitType(thing->type, tx, ty))
        return;
    UNIT* copy = Units_NewAt(thing->type, thing->team, -1, tx, ty);
    if (!copy) return;
    UnHilite();
    ApplyDefaults(copy);
    Count(copy, copy->team, 1);
    if (MiniMap()) MiniMap()->MarkUnit(copy);
    thing = copy;
    Hilite();
}

// ------------------------------------------------------------ buildings

// One of the units that move with b.
static bool IsOwnUnit(BUILDING* b, const UNIT* u)
{
    UNIT* units[MEBUILD_UNITS];
    for (int i = 0, n = MeBrushBuild::Units(b, units); i < n; i++)
        if (units[i] == u) return true;
    return false;
}

int MeBrushBuild::Units(BUILDING* b, UNIT* out[MEBUILD_UNITS])
{
    int n = 0;
    if (!b) return 0;
    if (UNIT* u = UnitId_Ptr(&b->associate)) out[n++] = u;
    for (UNITID& h : b->bay)
        if (UNIT* u = UnitId_Ptr(&h)) out[n++] = u;
    return n;
}

void MeBrushBuild::Count(const BUILDING* b, int team, int sign)
{
    if (!b || !IsTeam(team)) return;
    MeEditor& me = g_MeEditor;
    me.teams[team].buildings += sign;
    me.teams[team].worth += sign * MeStats::BuildingWorth(b->buildingtype);
    if (MeStats::IsSource(b->buildingtype, 0)) me.waterTotal += sign;
    if (MeStats::IsSource(b->buildingtype, 1)) me.crystalTotal += sign;
}

bool MeBrushBuild::CoversAUnit(const BUILDINGTYPE* type, int x, int y, BUILDING* own)
{
    for (int cy = 0; cy < type->height; cy++)
        for (int cx = 0; cx < type->width; cx++)
            for (int level = 0; level < ML_LEVELS; level++) {
                const UNIT* u = Units_UnitAtMapLevel(level, x + cx, y + cy);
                if (u && !IsOwnUnit(own, u) && Build_TypeBarsUnitType(type, x, y, x + cx, y + cy, u->type))
                    return true;
            }
    return false;
}

void MeBrushBuild::CountUnits(BUILDING* b)
{
    UNIT* units[MEBUILD_UNITS];
    const int n = Units(b, units);
    for (int i = 0; i < n; i++) {
        MeBrushUnit::Count(units[i], units[i]->team, 1);
        if (MiniMap()) MiniMap()->MarkUnit(units[i]);
    }
}

MeBrushBuild::MeBrushBuild(BUILDING* building) : thing(building)
{
    if (building) x = building->tilex * 24, y = building->tiley * 24;
}

IRect MeBrushBuild::GetRect(void)
{
    if (!thing) return ElementRect(nullptr);
    if (thing->bottomoverlay) return ElementRect(thing->bottomoverlay->display);
    // Without overlays the body is drawn with its top-left on the
    // building's tile.
    const BUILDINGTYPE* t = thing->buildingtype;
    return IRect(thing->tilex * 24, thing->tiley * 24, t->pixelw > 0 ? t->pixelw : t->width * 24,
                 t->pixelh > 0 ? t->pixelh : t->height * 24);
}

void MeBrushBuild::Hilite(void)
{
    if (!thing) return;
    for (OVERLAY* o : {thing->bottomoverlay, thing->topoverlay, thing->animoverlay})
        if (o) Ovl_Hilite(o);
    UNIT* units[MEBUILD_UNITS];
    for (int i = 0, n = Units(thing, units); i < n; i++) Units_Hilite(units[i]);
}

void MeBrushBuild::UnHilite(void)
{
    if (!thing) return;
    for (OVERLAY* o : {thing->bottomoverlay, thing->topoverlay, thing->animoverlay})
        if (o) Ovl_UnHilite(o, 0);
    UNIT* units[MEBUILD_UNITS];
    for (int i = 0, n = Units(thing, units); i < n; i++) Units_UnHilite(units[i]);
}

void MeBrushBuild::Delete(void)
{
    if (!thing) return;
    UNIT* units[MEBUILD_UNITS];
    for (int i = 0, n = Units(thing, units); i < n; i++) {
        MeBrushUnit::Count(units[i], thing->team, -1);
        Units_Delete(units[i]);
    }
    Count(thing, thing->team, -1);
    Build_Remove(thing);
    thing = nullptr;
}

void MeBrushBuild::MoveTo(BUILDING* b, int dx, int dy)
{
    if (!b || (!dx && !dy)) return;
    Mapgrid_RemoveBuilding(b, b->tilex, b->tiley);
    b->tilex += dx, b->tiley += dy;
    if (b->minib) b->minib->x = b->tilex, b->minib->y = b->tiley;
    for (OVERLAY* o : {b->bottomoverlay, b->topoverlay, b->animoverlay, b->shadowoverlay})
        if (o) Ovl_MoveRel(o, dx, dy);
    UNIT* units[MEBUILD_UNITS];
    for (int i = 0, n = Units(b, units); i < n; i++) {
        UNIT* u = units[i];
        const int ux = u->tilepos.x + dx, uy = u->tilepos.y + dy;
        Units_RemoveFromMap(u);
        Units_SetUnitPosition(u, ux, uy);
        Units_AddToMap(u);
    }
    Mapgrid_AddBuilding(b, b->tilex, b->tiley);
}

void MeBrushBuild::MoveBy(const IPoint& delta, const IPoint&)
{
    x += delta.x, y += delta.y;
    if (!thing || (x >= 0 && y >= 0 && x / 24 == thing->tilex && y / 24 == thing->tiley)) return;
    const BUILDINGTYPE* t = thing->buildingtype;
    const int tx = TileOf(x, mapsizex - t->width - 1), ty = TileOf(y, mapsizey - t->height - 1);
    if (tx == thing->tilex && ty == thing->tiley) return;
    // As a building placed: it never closes a tile to a unit, and its own
    // units never land where another unit stands.
    if (CoversAUnit(t, tx, ty, thing)) return;
    UNIT* units[MEBUILD_UNITS];
    for (int i = 0, n = Units(thing, units); i < n; i++) {
        const UNIT* there = Units_UnitAtMapLevel(units[i]->maplevel, units[i]->tilepos.x + tx - thing->tilex,
                                                 units[i]->tilepos.y + ty - thing->tiley);
        if (there && !IsOwnUnit(thing, there)) return;
    }
    MoveTo(thing, tx - thing->tilex, ty - thing->tiley);
    if (MiniMap()) MiniMap()->mstate |= MEMM_STALE;
}

void MeBrushBuild::Snap(void)
{
    if (thing) x = thing->tilex * 24, y = thing->tiley * 24;
}

void MeBrushBuild::SetTeam(BUILDING* b, int team)
{
    assert(team >= 0 && team < TEAM_MAXTEAMS && "team >= 0 && team < TEAM_MAXTEAMS");
    if (!b || !IsTeam(team)) return;
    UNIT* units[MEBUILD_UNITS];
    for (int i = 0, n = Units(b, units); i < n; i++) {
        MeBrushUnit::Count(units[i], b->team, -1);
        Units_GiveUnitToOtherTeam(units[i], team);
        MeBrushUnit::Count(units[i], team, 1);
    }
    Count(b, b->team, -1);
    Count(b, team, 1);
    Build_ChangeTeam(b, team);
}

void MeBrushBuild::NextTeam(void)
{
    if (!thing || thing->team >= TEAM_NEUTRAL) return;
    UnHilite();
    SetTeam(thing, (thing->team + 1) % TEAM_NEUTRAL);
    Hilite();
}

void MeBrushBuild::DrawLabel(const IRect&)
{
    if (thing) DrawLabels(MeBigMap::WorldToScreen(IPoint(thing->tilex * 24 + 12, thing->tiley * 24 + 12)), thing->id, thing->team);
}

void MeBrushBuild::Copy(void)
{
    if (!thing) return;
    BUILDING* copy = Build_New(thing->buildingtype, thing->team, -1, thing->tilex, thing->tiley);
    if (!copy) return;
    UnHilite();
    Count(copy, copy->team, 1);
    if (MiniMap()) MiniMap()->MarkBuilding(copy);
    CountUnits(copy);
    thing = copy;
    Hilite();
}

// -------------------------------------------------------------- objects

OVERLAY* MeBrushObject::Make(int index, int x, int y)
{
    const OVERLAYTYPE* type = Ovl_GetType(index);
    if (!type) return nullptr;
    const int layer = type->level < 0 ? 0 : type->level >= SORTDISP_LAYERS ? SORTDISP_LAYERS - 1 : type->level;
    OVERLAY* o = Ovl_New(index, Uid_Next(), -1, layer, type->sprite, type->sx, type->sy, x, y);
    if (!o) return nullptr;
    if (o->type != -1) g_MeEditor.overlayTotal++;
    if (MiniMap()) MiniMap()->MarkObject(o);
    return o;
}

MeBrushObject::MeBrushObject(OVERLAY* object) : thing(object)
{
    if (object) x = object->tilepos.x * 24, y = object->tilepos.y * 24;
}

IRect MeBrushObject::GetRect(void) { return ElementRect(thing ? thing->display : nullptr); }

void MeBrushObject::Hilite(void)
{
    if (thing) Ovl_Hilite(thing);
}

void MeBrushObject::UnHilite(void)
{
    if (thing) Ovl_UnHilite(thing, 0);
}

void MeBrushObject::Delete(void)
{
    if (!thing) return;
    if (thing->type != -1) g_MeEditor.overlayTotal--;
    Ovl_Delete(thing);
    thing = nullptr;
}

void MeBrushObject::MoveBy(const IPoint& delta, const IPoint&)
{
    x += delta.x, y += delta.y;
    if (!thing || (x >= 0 && y >= 0 && x / 24 == thing->tilepos.x && y / 24 == thing->tilepos.y)) return;
    Ovl_MoveTo(thing, TileOf(x, mapsizex - 1), TileOf(y, mapsizey - 1));
    if (MiniMap()) MiniMap()->mstate |= MEMM_STALE;
}

void MeBrushObject::Snap(void)
{
    if (thing) x = thing->tilepos.x * 24, y = thing->tilepos.y * 24;
}

void MeBrushObject::Copy(void)
{
    if (!thing) return;
    OVERLAY* copy = Make(thing->type, thing->tilepos.x, thing->tilepos.y);
    if (!copy) return;
    UnHilite();
    thing = copy;
    Hilite();
}
