// Thing types and overlay instances.
//
// Besides the list g_Overlays (newest last) the module keeps a second list
// of the records deleted while in use: they are on neither the overlay list
// nor the grid and have no display, so nothing in the game reaches them, but
// Ovl_FreeAll still frees them when a holder never let go.
#include "map/overlay.h"

#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/savetype.h"

#include <cstdint>
#include <cstring>
#include <strings.h>

#include "core/debug.h"
#include "core/guard.h"
#include "core/pool.h"
#include "core/tlog.h"
#include "core/gamestate.h"
#include "core/uid.h"
#include "map/cre.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/mapview.h"
#include "platform/effects.h"
#include "platform/sortdisp.h"
#include "units/hlthexpl.h"

OVERLAY* g_Overlays = nullptr;
int g_CraterTypes[OVL_CRATER_SIZES] = {-1, -1, -1};

namespace {

MODULE_GUARD s_guard = MODULE_GUARD_INIT("Overlays");
POOL s_pool;
OVERLAYTYPE s_types[OVL_MAX_TYPES];
int s_ntypes = 0;
OVERLAY* s_last = nullptr;      // the end of g_Overlays
OVERLAY* s_pending = nullptr;   // deleted while in use, linked by nextoverlay
int s_count = 0;

void ListRemove(OVERLAY* o)
{
    if (o->prevoverlay) o->prevoverlay->nextoverlay = o->nextoverlay;
    else g_Overlays = o->nextoverlay;
    if (o->nextoverlay) o->nextoverlay->prevoverlay = o->prevoverlay;
    else s_last = o->prevoverlay;
    o->nextoverlay = o->prevoverlay = nullptr;
    s_count--;
}

void ListAppend(OVERLAY* o)
{
    o->prevoverlay = s_last;
    o->nextoverlay = nullptr;
    if (s_last) s_last->nextoverlay = o;
    else g_Overlays = o;
    s_last = o;
    s_count++;
}

void PendingRemove(OVERLAY* o)
{
    if (o->prevoverlay) o->prevoverlay->nextoverlay = o->nextoverlay;
    else s_pending = o->nextoverlay;
    if (o->nextoverlay) o->nextoverlay->prevoverlay = o->prevoverlay;
}

void PendingAdd(OVERLAY* o)
{
    o->prevoverlay = nullptr;
    o->nextoverlay = s_pending;
    if (s_pending) s_pending->prevoverlay = o;
    s_pending = o;
}

// Takes o out of the game: list, grid and display. The record stays.
void TakeOut(OVERLAY* o)
{
    ListRemove(o);
    Mapgrid_RemoveOverlay(o);
    SortDisp_DeleteChain(o->display);
    SortDisp_DeleteChain(o->shadowdisplay);
    o->display = o->shadowdisplay = nullptr;
}

OVLEFFECT* EffectsOf(OVERLAYTYPE* t)
{
    if (!t->effects && t->effectname[0]) t->effects = Effects_FindType(t->effectname);
    return t->effects;
}

bool Live(const OVERLAY* o) { return o && !(o->flags & OVF_DELETEPENDING); }

} // namespace

void Ovl_Init(void)
{
    Guard_Init(&s_guard);
    Pool_Init(&s_pool, "OVERLAY", sizeof(OVERLAY), 128);
    memset(s_types, 0, sizeof(s_types));
    s_ntypes = 0;
    for (int& c : g_CraterTypes) c = -1;
    g_Overlays = s_last = s_pending = nullptr;
    s_count = 0;
}

void Ovl_FreeAll(void)
{
    Guard_Close(&s_guard);
    while (g_Overlays) {
        OVERLAY* o = g_Overlays;
        TakeOut(o);
        Pool_Free(&s_pool, o);
    }
    int held = 0;
    while (s_pending) {
        OVERLAY* o = s_pending;
        PendingRemove(o);
        Pool_Free(&s_pool, o);
        held++;
    }
    if (held) TLOG(TLOG_WARNING, "%d deleted overlays were still in use", held);
    Pool_Close(&s_pool);
    Ovl_FreeTypes();
}

void Ovl_FreeTypes(void)
{
    for (int i = 0; i < s_ntypes; i++) {
        Graph_FreeBitmap(&s_types[i].menuimage);
        Hlthexpl_Free(&s_types[i].healthexplosions);
    }
    memset(s_types, 0, sizeof(s_types));
    s_ntypes = 0;
    for (int& c : g_CraterTypes) c = -1;
}

// ------------------------------------------------------------------ types

OVERLAYTYPE* Ovl_NewType(void)
{
    if (s_ntypes >= OVL_MAX_TYPES) {
        TLOG(TLOG_ERROR, "max of %d thing types defined", OVL_MAX_TYPES);
        return nullptr;
    }
    OVERLAYTYPE* t = &s_types[s_ntypes++];
    memset(t, 0, sizeof(*t));
    return t;
}

int Ovl_NrTypes(void) { return s_ntypes; }

OVERLAYTYPE* Ovl_GetType(int index)
{
    return index >= 0 && index < s_ntypes ? &s_types[index] : nullptr;
}

int Ovl_FindType(const char* name)
{
    if (!name) return -1;
    for (int i = 0; i < s_ntypes; i++)
        if (strcasecmp(s_types[i].name, name) == 0) return i;
    return -1;
}

int Textfile_FindOvlType(const char* name) { return Ovl_FindType(name); }

// ------------------------------------------------------------------ overlays

OVERLAY* Ovl_New(int type, int id, int remap, int layer, SPRITE* sprite, int sx, int sy, int tx,
                 int ty)
{
    Guard_Require(&s_guard);
    if (type < -1 || type >= s_ntypes) {
        TLOG(TLOG_ERROR, "Ovl_New: no thing type %d (%d defined)", type, s_ntypes);
        return nullptr;
    }
    if (!Map_IsValidTile(tx, ty)) {
        TLOG(TLOG_ERROR, "Ovl_New: tile (%d,%d) is off the map", tx, ty);
        return nullptr;
    }
    if (id != -1 && id < 1) {
        TLOG(TLOG_ERROR, "Ovl_New: invalid id %d", id);
        return nullptr;
    }
    OVERLAY* o = static_cast<OVERLAY*>(Pool_Alloc(&s_pool));
    // An explicit id is reserved, so that no id made later can repeat it.
    o->id = id == -1 ? Uid_Next() : Uid_Reserve(id);
    o->type = type;
    o->tilepos = TILEPOS{tx, ty};
    o->pixelpos = TILEPOS{tx * MAP_TILE_PIXELS, ty * MAP_TILE_PIXELS};
    o->sx = sx;
    o->sy = sy;
    o->remap = remap < 0 ? SORTDISP_REMAP_NONE : (remap & SORTDISP_MAX_REMAP);
    o->layer = layer;
    o->display = SortDisp_NewElement(sprite, nullptr, o->remap, 0, 0, o->pixelpos.x,
                                     o->pixelpos.y, layer, 0);
    ListAppend(o);
    if (Mapgrid_IsOpen()) Mapgrid_AddOverlay(o);
    return o;
}

void Ovl_Delete(OVERLAY* o)
{
    if (!Live(o)) return;
    TakeOut(o);
    if (o->usecount > 0) {
        o->flags |= OVF_DELETEPENDING;
        PendingAdd(o);
        return;
    }
    Pool_Free(&s_pool, o);
}

void Ovl_Use(OVERLAY* o)
{
    ASSERT(o);
    o->usecount++;
}

void Ovl_Release(OVERLAY* o)
{
    ASSERT(o && o->usecount > 0);
    if (--o->usecount > 0 || !(o->flags & OVF_DELETEPENDING)) return;
    PendingRemove(o);
    Pool_Free(&s_pool, o);
}

int Ovl_Count(void) { return s_count; }

int Ovl_GetEffects(int type, int x, int y)
{
    OVERLAYTYPE* t = Ovl_GetType(type);
    OVLEFFECT* grid = t ? EffectsOf(t) : nullptr;
    if (!grid) return 0;
    int set = 0;
    for (int row = 0; row < grid->height; row++)
        for (int col = 0; col < grid->width; col++) {
            int code = Effects_OvlEntry(grid, col, row)[0];
            // 31 marks a tile outside the footprint; larger codes can't be stored.
            if (code >= EFFECTS_NOT_FOOTPRINT) continue;
            int64_t tx = (int64_t)x + col, ty = (int64_t)y + row;
            if (tx > INT32_MAX || ty > INT32_MAX || !Map_IsValidTile((int)tx, (int)ty)) continue;
            MAP_ELEMENT_AT((int)tx, (int)ty)->effect = (uint32_t)code;
            set++;
        }
    if (set > 0) CRE_TilesChanged(x, y, grid->width, grid->height);
    return set;
}

void Ovl_MakeAllOverlaysVisible(void)
{
    for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay)
        if (o->type >= 0) o->flags = (o->flags | OVF_SEEN) & ~(uint32_t)OVF_FOGGED;
}

void Ovl_DisplayAll(void)
{
    for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay) {
        SortDisp_ShowChain(o->display);
        SortDisp_ShowChain(o->shadowdisplay);
        o->flags &= ~(uint32_t)OVF_FOGGED;
    }
}

int Ovl_ProcessOverlaysOnScreen(void)
{
    const int showall = Fog_GetSeeAll() || g_OptShroudDisabled;
    const int vx = g_MapView.x, vy = g_MapView.y;
    int visited = 0;
    for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay) {
        if (o->type < 0) continue;
        if (o->pixelpos.x + o->sx <= vx || o->pixelpos.x >= vx + MAPVIEW_SIZE ||
            o->pixelpos.y + o->sy <= vy || o->pixelpos.y >= vy + MAPVIEW_SIZE)
            continue;
        visited++;
        if (showall || (o->flags & OVF_SEEN)) {
            SortDisp_ShowChain(o->display);
            SortDisp_ShowChain(o->shadowdisplay);
        } else {
            SortDisp_HideChain(o->display);
            SortDisp_HideChain(o->shadowdisplay);
        }
    }
    return visited;
}

OVERLAY* Ovl_IsThingAbsolute(int px, int py)
{
    OVERLAY* best = nullptr;
    for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay) {
        if (o->type < 0) continue;
        if (px < o->pixelpos.x || py < o->pixelpos.y ||
            (int64_t)px >= (int64_t)o->pixelpos.x + o->sx ||
            (int64_t)py >= (int64_t)o->pixelpos.y + o->sy)
            continue;
        // Later on the list wins ties: it was drawn after the others.
        if (!best || o->layer > best->layer ||
            (o->layer == best->layer && o->pixelpos.y >= best->pixelpos.y))
            best = o;
    }
    return best;
}

int Ovl_Hilite(OVERLAY* o)
{
    if (!Live(o) || !o->display) return 0;
    int previous = SortDisp_GetRenderMode(o->display);
    SortDisp_SetRemap(o->display, SORTDISP_REMAP_HILITE);
    SortDisp_SetRenderMode(o->display, SORTDISP_MODE_HILITE);
    return previous;
}

void Ovl_UnHilite(OVERLAY* o, int mode)
{
    if (!Live(o) || !o->display) return;
    SortDisp_SetRemap(o->display, o->remap);
    SortDisp_SetRenderMode(o->display, mode);
}

void Ovl_MoveTo(OVERLAY* o, int tx, int ty)
{
    if (!Live(o) || mapsizex < 2 || mapsizey < 2) return;
    tx = tx < 1 ? 1 : (tx > mapsizex - 1 ? mapsizex - 1 : tx);
    ty = ty < 1 ? 1 : (ty > mapsizey - 1 ? mapsizey - 1 : ty);
    int linked = Mapgrid_RemoveOverlay(o);
    o->tilepos = TILEPOS{tx, ty};
    o->pixelpos = TILEPOS{tx * MAP_TILE_PIXELS, ty * MAP_TILE_PIXELS};
    if (linked) Mapgrid_AddOverlay(o);
    if (o->display) SortDisp_SetPosition(o->display, o->pixelpos.x, o->pixelpos.y);
    if (o->shadowdisplay) SortDisp_SetPosition(o->shadowdisplay, o->pixelpos.x, o->pixelpos.y);
}

void Ovl_MoveRel(OVERLAY* o, int dx, int dy)
{
    if (!Live(o)) return;
    // Saturate so that a wild offset clamps instead of wrapping.
    int64_t tx = (int64_t)o->tilepos.x + dx, ty = (int64_t)o->tilepos.y + dy;
    tx = tx < 0 ? 0 : (tx > INT32_MAX ? INT32_MAX : tx);
    ty = ty < 0 ? 0 : (ty > INT32_MAX ? INT32_MAX : ty);
    Ovl_MoveTo(o, (int)tx, (int)ty);
}

void Ovl_AllOff(void)
{
    for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay) Mapgrid_RemoveOverlay(o);
}

void Ovl_AllOn(void)
{
    for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay) Mapgrid_AddOverlay(o);
}

void Ovl_SaveAll(void)
{
    if (!s_guard.initialised) return;
    for (OVERLAYTYPE& t : s_types) Save_RegisterBlock(SAVEK_STATIC, &t, ST_OVERLAYTYPE, sizeof t);
    Save_RegisterHead(&g_Overlays, 1, ST_OVERLAY, "overlays");
    for (OVERLAY* o = g_Overlays; o && Save_WalkGoesOn(); o = o->nextoverlay) {
        Save_RegisterTypePointers(ST_OVERLAY, o);
        Save_RegisterBlock(SAVEK_LOCAL, o, ST_OVERLAY, sizeof *o);
    }
}

OVERLAY* Ovl_AllocRecord(void) { return static_cast<OVERLAY*>(Pool_Alloc(&s_pool)); }

void Ovl_FreeRecord(OVERLAY* o) { Pool_Free(&s_pool, o); }

void Ovl_AfterLoad(void)
{
    s_count = 0;
    s_last = nullptr;
    for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay, s_count++) s_last = o;
}

const char* Ovl_CheckLoaded(void)
{
    const OVERLAY* last = nullptr;
    for (const OVERLAY* o = g_Overlays; o; last = o, o = o->nextoverlay) {
        if (o->prevoverlay != last) return "an overlay's prev link";
        if (o->flags & OVF_DELETEPENDING) return "a deleted overlay on the list";
        if (!o->display) return "an overlay without its display element";
        if (o->type >= Ovl_NrTypes()) return "an overlay of a type that doesn't exist";
    }
    return nullptr;
}
