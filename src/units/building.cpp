// Building types, buildings, placement tests, look-ups and mini-buildings.
//
// A building record lives inside a pool slot behind a link word: the pool
// keeps its free list in the first word of a free record, and with the link
// in front of the building that word never overlaps the building's id. So a
// removed building keeps id -1 while its record waits for reuse, and a
// BUILDID to it can never match by accident.
//
// Map effect fields: Build_New saves each field it overwrites in
// savedeffect (one byte per footprint cell, row stride BUILD_MAXSIDE) and
// marks the cells it left alone with SAVED_NONE, so Build_Remove puts back
// exactly what it changed, whatever happened to the type's grid meanwhile.
//
// The visibility slice (Ovl_UpdateOverlayAndMiniBuildingVisibility) resumes
// by position in the lists, not by pointer: an overlay or mini-building
// deleted between two updates only shifts the next slice by one.
#include "units/building.h"

#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/savetype.h"

#include <cstddef>
#include <cstring>
#include <strings.h>

#include "core/debug.h"
#include "core/gamestate.h"
#include "core/guard.h"
#include "core/pool.h"
#include "core/tlog.h"
#include "core/uid.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/overlay.h"
#include "map/cre.h"
#include "platform/effects.h"
#include "platform/sprite.h"
#include "units/autoprod.h"
#include "units/constructq.h"
#include "units/hlthexpl.h"
#include "units/team.h"
#include "units/unit.h"

BUILDINGTYPE g_BuildingTypes[BUILD_MAXTYPES];
int g_NrBuildingTypes = 0;
BUILDING* g_Buildings = nullptr;

namespace {

enum {
    SAVED_NONE = 0xFF,            // savedeffect: nothing was written to this cell
    VIS_OVERLAYS_PER_UPDATE = 64,
    VIS_MINIS_PER_UPDATE = 16,
};

struct BUILDSLOT {
    void* poollink;               // the pool's free-list word
    BUILDING building;
};

MODULE_GUARD s_guard = MODULE_GUARD_INIT("Buildings");
POOL s_pool;
POOL s_minipool;
int s_count = 0;
MINIBUILDING* s_minis = nullptr;  // newest first
int s_ovlCursor = 0;              // position in g_Overlays of the next slice
int s_miniCursor = 0;             // position in the mini-building list

BUILDING* SlotBuilding(void* slot) { return &static_cast<BUILDSLOT*>(slot)->building; }

void* BuildingSlot(BUILDING* b)
{
    return reinterpret_cast<char*>(b) - offsetof(BUILDSLOT, building);
}

bool ValidTeam(int team) { return team >= 0 && team < TEAM_MAXTEAMS; }

bool ValidSize(const BUILDINGTYPE* type)
{
    return type->width >= 1 && type->width <= BUILD_MAXSIDE && type->height >= 1 &&
           type->height <= BUILD_MAXSIDE;
}

// The effect code a footprint cell writes into the map, or -1 when the cell
// writes nothing (not covered, no grid, or a code the 5-bit field can't hold).
// Ground units can't cross a footprint's cells; its bay (door) is open to
// them whether or not the type makes units: the grid is shared with the
// types of the same image, some of which have no bay there.
int CellCode(const BUILDINGTYPE* type, int cx, int cy)
{
    if (!Build_TypeCovers(type, cx, cy) || type->footprint == nullptr) return -1;
    if (cx == type->bayx && cy == type->bayy) return BUILD_BAYCODE;
    const uint8_t* e = Effects_OvlEntry(type->footprint, cx, cy);
    return e[0] < EFFECTS_NOT_FOOTPRINT ? e[0] : -1;
}

// The first covered cell in row order; false for a footprint without cells.
bool FirstCell(const BUILDINGTYPE* type, int* fx, int* fy)
{
    for (int cy = 0; cy < type->height; cy++)
        for (int cx = 0; cx < type->width; cx++)
            if (Build_TypeCovers(type, cx, cy)) {
                *fx = cx;
                *fy = cy;
                return true;
            }
    return false;
}

int ClampInt(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

void SetDeparture(BUILDING* b)
{
    const BUILDINGTYPE* t = b->buildingtype;
    int east, west, row;
    if (t->bayx >= 0 && t->bayy >= 0) {
        east = b->tilex + t->bayx + BUILD_DEPARTURE_DX;
        west = b->tilex + t->bayx - BUILD_DEPARTURE_DX;
        row = b->tiley + t->bayy;
    } else {
        // Without a door: beyond the right edge, or beyond the left edge.
        east = b->tilex + t->width - 1 + BUILD_DEPARTURE_DX;
        west = b->tilex - BUILD_DEPARTURE_DX;
        row = b->tiley;
    }
    b->departx = Map_IsValidTile(east, row) ? east : west;
    b->departy = row;
    // A map narrower than the distance still gets a point on it.
    b->departx = ClampInt(b->departx, 1, mapsizex - 1);
    b->departy = ClampInt(b->departy, 1, mapsizey - 1);
}

void WriteEffects(BUILDING* b)
{
    memset(b->savedeffect, SAVED_NONE, sizeof b->savedeffect);
    b->effectswritten = 0;
    if (g_EditorKeepTerrain) return;
    const BUILDINGTYPE* t = b->buildingtype;
    for (int cy = 0; cy < t->height; cy++)
        for (int cx = 0; cx < t->width; cx++) {
            int code = CellCode(t, cx, cy);
            if (code < 0) continue;
            MAP_ELEMENT* e = MAP_ELEMENT_AT(b->tilex + cx, b->tiley + cy);
            b->savedeffect[cy * BUILD_MAXSIDE + cx] = (uint8_t)e->effect;
            e->effect = (uint32_t)code;
            b->effectswritten = 1;
        }
    if (b->effectswritten) CRE_TilesChanged(b->tilex, b->tiley, t->width, t->height);
}

void RestoreEffects(BUILDING* b)
{
    if (!b->effectswritten) return;
    for (int cy = 0; cy < BUILD_MAXSIDE; cy++)
        for (int cx = 0; cx < BUILD_MAXSIDE; cx++) {
            uint8_t old = b->savedeffect[cy * BUILD_MAXSIDE + cx];
            if (old == SAVED_NONE || !Map_IsValidTile(b->tilex + cx, b->tiley + cy)) continue;
            MAP_ELEMENT_AT(b->tilex + cx, b->tiley + cy)->effect = old;
        }
    memset(b->savedeffect, SAVED_NONE, sizeof b->savedeffect);
    b->effectswritten = 0;
    CRE_TilesChanged(b->tilex, b->tiley, BUILD_MAXSIDE, BUILD_MAXSIDE);
}

// True when b wrote the effect field of tile (x, y).
bool WroteTile(const BUILDING* b, int x, int y)
{
    if (b == nullptr || !b->effectswritten) return false;
    int cx = x - b->tilex, cy = y - b->tiley;
    if (cx < 0 || cy < 0 || cx >= BUILD_MAXSIDE || cy >= BUILD_MAXSIDE) return false;
    return b->savedeffect[cy * BUILD_MAXSIDE + cx] != SAVED_NONE;
}

void ClearHandles(BUILDING* b)
{
    UnitId_Clear(&b->whomademe);
    for (UNITID& s : b->spy) UnitId_Clear(&s);
    for (UNITID& s : b->bay) UnitId_Clear(&s);
    UnitId_Clear(&b->associate);
    Units_ListInit(&b->hold);
    Units_ListInit(&b->pickup);
    Units_ListInit(&b->queue);
}

void TeamListAdd(BUILDING* b)
{
    TEAM_DATA& td = teamdata[b->team];
    b->teamprev = nullptr;
    b->teamnext = td.firstbuilding;
    if (td.firstbuilding) td.firstbuilding->teamprev = b;
    td.firstbuilding = b;
}

// The head is looked for on every team: a building whose team field was
// changed without moving it between lists must still leave no team pointing
// at a free record.
void TeamListRemove(BUILDING* b)
{
    if (b->teamprev) b->teamprev->teamnext = b->teamnext;
    else
        for (TEAM_DATA& td : teamdata)
            if (td.firstbuilding == b) td.firstbuilding = b->teamnext;
    if (b->teamnext) b->teamnext->teamprev = b->teamprev;
    b->teamnext = b->teamprev = nullptr;
}

void GlobalListRemove(BUILDING* b)
{
    for (BUILDING** p = &g_Buildings; *p; p = &(*p)->next)
        if (*p == b) {
            *p = b->next;
            break;
        }
    b->next = nullptr;
}

// Squared tile distance, for "nearest" (ties go to the first in scan order).
long Dist2(int x1, int y1, int x2, int y2)
{
    long dx = x1 - x2, dy = y1 - y2;
    return dx * dx + dy * dy;
}

// A covered cell with a neighbour (8 directions) outside the footprint.
bool OnEdge(const BUILDINGTYPE* t, int cx, int cy)
{
    for (int dy = -1; dy <= 1; dy++)
        for (int dx = -1; dx <= 1; dx++)
            if ((dx || dy) && !Build_TypeCovers(t, cx + dx, cy + dy)) return true;
    return false;
}

bool NextToFootprint(const BUILDINGTYPE* t, int cx, int cy)
{
    for (int dy = -1; dy <= 1; dy++)
        for (int dx = -1; dx <= 1; dx++)
            if ((dx || dy) && Build_TypeCovers(t, cx + dx, cy + dy)) return true;
    return false;
}

bool CanStand(const UNIT* u, int x, int y)
{
    if (!Map_IsValidTile(x, y)) return false;
    if (u == nullptr) return Units_UnitAtMapLevel(ML_GROUND, x, y) == nullptr;
    int level = u->maplevel >= 0 && u->maplevel < ML_LEVELS ? u->maplevel : ML_GROUND;
    const UNIT* there = Units_UnitAtMapLevel(level, x, y);
    if (there != nullptr && there != u) return false;
    return u->type == nullptr || !Units_IsImpassible(u->type, x, y);
}

void MiniUnlink(MINIBUILDING* m)
{
    if (m->prev) m->prev->next = m->next;
    else if (s_minis == m) s_minis = m->next;
    if (m->next) m->next->prev = m->prev;
    m->next = m->prev = nullptr;
}

} // namespace

// ------------------------------------------------------------------ the layer

void Build_InitAll(void)
{
    Guard_Init(&s_guard);
    memset(g_BuildingTypes, 0, sizeof g_BuildingTypes);
    g_NrBuildingTypes = 0;
    g_Buildings = nullptr;
    s_count = 0;
    s_minis = nullptr;
    s_ovlCursor = s_miniCursor = 0;
    Pool_Init(&s_pool, "BUILDING", sizeof(BUILDSLOT), 32);
    Pool_Init(&s_minipool, "MINIBUILDING", sizeof(MINIBUILDING), 32);
}

void Build_CloseAll(void)
{
    Guard_Require(&s_guard);
    while (g_Buildings) Build_Remove(g_Buildings);
    // Mini-buildings made without a building (a save being rebuilt).
    while (s_minis) MiniBuild_Free(s_minis);
    Build_FreeTypes();
    Pool_Close(&s_pool);
    Pool_Close(&s_minipool);
    s_ovlCursor = s_miniCursor = 0;
    Guard_Close(&s_guard);
}

int Build_Count(void) { return s_count; }

// ------------------------------------------------------------------ types

BUILDINGTYPE* Build_NewType(void)
{
    if (g_NrBuildingTypes >= BUILD_MAXTYPES) {
        TLOG(TLOG_ERROR, "max of %d building types defined", BUILD_MAXTYPES);
        return nullptr;
    }
    BUILDINGTYPE* t = &g_BuildingTypes[g_NrBuildingTypes];
    memset(t, 0, sizeof *t);
    t->index = g_NrBuildingTypes++;
    strcpy(t->image[0], "NONE");
    strcpy(t->image[1], "NONE");
    t->bayx = t->bayy = -1;
    t->radarx = t->radary = -1;
    t->sell[0] = 0;
    t->sell[1] = 3;
    t->stealtime = 200;
    t->offtime = t->ontime = 6;
    for (BUILDTYPE_EFFICIENCY* e : {&t->efficiencyhp, &t->efficiencyres}) {
        memset(e->point, 100, sizeof e->point);
        e->intercept = 100;
    }
    for (BUILDTYPE_RESOURCE& r : t->resource) r.supplytarget = -1;
    t->interface[0] = t->interface[1] = -1;
    for (int32_t& a : t->actionindicator) a = -1;
    for (int32_t& a : t->anim) a = -1;
    t->defense = 255;
    return t;
}

void Build_FreeTypes(void)
{
    for (int i = 0; i < g_NrBuildingTypes && i < BUILD_MAXTYPES; i++) {
        BUILDINGTYPE* t = &g_BuildingTypes[i];
        Hlthexpl_Free(&t->healthexplosions);
        for (SPRITE* s : t->sprite) Sprite_Free(s);
        Sprite_Free(t->shadowsprite);
    }
    memset(g_BuildingTypes, 0, sizeof g_BuildingTypes);
    g_NrBuildingTypes = 0;
}

int Textfile_FindBuildingType(const char* name)
{
    if (name == nullptr) return -1;
    for (int i = 0; i < g_NrBuildingTypes; i++)
        if (strcasecmp(g_BuildingTypes[i].name, name) == 0) return i;
    return -1;
}

// Without a grid the whole width x height rectangle is the footprint.
int Build_TypeCovers(const BUILDINGTYPE* type, int cx, int cy)
{
    if (type == nullptr || cx < 0 || cy < 0 || cx >= type->width || cy >= type->height) return 0;
    if (type->footprint == nullptr) return 1;
    const uint8_t* e = Effects_OvlEntry(type->footprint, cx, cy);
    return e != nullptr && e[0] != EFFECTS_NOT_FOOTPRINT ? 1 : 0;
}

// ------------------------------------------------------------------ buildings

// Build_New and Build_NewConstructionSite: one record, complete or a site.
static BUILDING* MakeBuilding(BUILDINGTYPE* type, int team, int id, int x, int y, int complete)
{
    Guard_Require(&s_guard);
    if (type == nullptr || !ValidSize(type)) {
        TLOG(TLOG_ERROR, "Build_New: invalid building type");
        return nullptr;
    }
    if (!ValidTeam(team)) {
        TLOG(TLOG_ERROR, "Build_New: invalid team %d for [%s]", team, type->name);
        return nullptr;
    }
    if (id != -1 && id < 1) {
        TLOG(TLOG_ERROR, "Build_New: invalid id %d for [%s]", id, type->name);
        return nullptr;
    }
    int fx, fy;
    if (!FirstCell(type, &fx, &fy)) {
        TLOG(TLOG_ERROR, "Build_New: [%s] has an empty footprint", type->name);
        return nullptr;
    }
    for (int cy = 0; cy < type->height; cy++)
        for (int cx = 0; cx < type->width; cx++)
            if (Build_TypeCovers(type, cx, cy) && !Map_IsValidTile(x + cx, y + cy)) {
                TLOG(TLOG_ERROR, "Build_New: [%s] at (%d,%d) lies off the map", type->name, x, y);
                return nullptr;
            }

    BUILDING* b = SlotBuilding(Pool_Alloc(&s_pool));
    b->id = id == -1 ? Uid_Next() : Uid_Reserve(id);
    b->team = team;
    b->buildingtype = type;
    b->efficiency = 100;
    b->explosion = {nullptr, -1};
    b->tilex = x;
    b->tiley = y;
    b->hitpoints = type->maxhitpoints;
    b->state = complete ? BS_IDLE : BS_BEINGBUILT;
    b->complete = complete;
    b->rallyx = b->rallyy = -1;
    b->animsection = b->actionindicator = -1;
    b->ap = BUILD_APINFO{nullptr, 0, 0, 0};
    if (complete)
        for (int r = 0; r < BUILD_RESOURCES; r++) b->stored[r] = type->resource[r].initial;
    ClearHandles(b);
    SetDeparture(b);

    b->next = g_Buildings;
    g_Buildings = b;
    TeamListAdd(b);
    s_count++;
    Mapgrid_AddBuilding(b, x, y);
    WriteEffects(b);
    b->minib = MiniBuild_New(b);
    Fog_SweepBuilding(b);
    if (complete) {
        if (type->prereq.id != 0) PREREQ_Add(type, type->prereq.id, team);
        AP_AddBuilding(b);
        AP_SetPrimary(b, 0, 0);
    }
    return b;
}

void Build_ChangeTeam(BUILDING* b, int team)
{
    if (b == nullptr || b->id == -1 || team < 0 || team >= TEAM_MAXTEAMS || team == b->team) return;
    const BUILDINGTYPE* type = b->buildingtype;
    const bool counted = b->complete && type != nullptr && type->prereq.id != 0;
    if (counted) PREREQ_Remove(type, type->prereq.id, b->team);
    Fog_UnsweepBuilding(b);
    TeamListRemove(b);
    b->team = team;
    TeamListAdd(b);
    if (b->minib) b->minib->team = team;
    Fog_SweepBuilding(b);
    if (counted) PREREQ_Add(type, type->prereq.id, team);
}

BUILDING* Build_New(BUILDINGTYPE* type, int team, int id, int x, int y)
{
    return MakeBuilding(type, team, id, x, y, 1);
}

BUILDING* Build_NewConstructionSite(BUILDINGTYPE* type, int team, int x, int y)
{
    BUILDING* b = MakeBuilding(type, team, -1, x, y, 0);
    if (b == nullptr) return nullptr;
    b->prodtime = b->prodleft = type->buildtime * 100;
    b->jobcost = b->costleft = type->cost;
    return b;
}

void Build_Remove(BUILDING* b)
{
    if (b == nullptr) return;
    if (b->id == -1) {
        // A second removal would unlink a record that is already free.
        TLOG(TLOG_ERROR, "Build_Remove: building already removed");
        return;
    }
    BUILDINGTYPE* type = b->buildingtype;
    Units_DeleteBuildingFromConstructQueue(b);
    AP_RemoveBuilding(b);
    Fog_UnsweepBuilding(b);
    RestoreEffects(b);
    Mapgrid_RemoveBuilding(b, b->tilex, b->tiley);
    GlobalListRemove(b);
    TeamListRemove(b);
    s_count--;
    MiniBuild_Free(b->minib);
    b->minib = nullptr;
    if (b->complete && type != nullptr && type->prereq.id != 0)
        PREREQ_Remove(type, type->prereq.id, b->team);
    Units_ListClose(&b->hold);
    Units_ListClose(&b->pickup);
    Units_ListClose(&b->queue);
    // A burning building's fire would go on burning over the empty ground.
    Expl_TerminateExpl(&b->explosion);
    b->id = -1;
    Pool_Free(&s_pool, BuildingSlot(b));
}

BUILDING* Build_FindById(int id)
{
    if (id < 0) return nullptr;
    for (BUILDING* b = g_Buildings; b; b = b->next)
        if (b->id == id) return b;
    return nullptr;
}

void Build_PostScenarioLoad(void) {}

// ------------------------------------------------------------------ look-ups

BUILDING* Build_AtTile(int x, int y)
{
    MAPGRID_CELL* cell = Mapgrid_CellOfTile(x, y);
    if (cell == nullptr) return nullptr;
    // Newest first, as the global list.
    for (int i = cell->count[MGL_BUILDING]; i-- > 0;) {
        BUILDING* b = static_cast<BUILDING*>(cell->items[MGL_BUILDING][i]);
        if (Build_TypeCovers(b->buildingtype, x - b->tilex, y - b->tiley)) return b;
    }
    return nullptr;
}

BUILDING* Build_AtDoorTile(int x, int y)
{
    for (BUILDING* b = g_Buildings; b; b = b->next) {
        const BUILDINGTYPE* t = b->buildingtype;
        if (t->bayx < 0 || t->bayy < 0) continue;
        if (b->tilex + t->bayx == x && b->tiley + t->bayy == y) return b;
    }
    return nullptr;
}

int Build_TypeBarsUnitType(const BUILDINGTYPE* type, int bx, int by, int x, int y, const UNITTYPE* utype)
{
    if (type == nullptr || utype == nullptr || utype->effects == nullptr || !Map_IsValidTile(x, y)) return 0;
    const int code = CellCode(type, x - bx, y - by);
    if (code < 0) return 0;
    // The element as the placed building leaves it.
    MAP_ELEMENT e = *MAP_ELEMENT_AT(x, y);
    e.effect = (uint32_t)code;
    return Units_EffectCell(utype->effects, &e)[0] == 0;
}

int Build_BarsUnitType(const UNITTYPE* utype, int x, int y)
{
    if (!Map_IsValidTile(x, y)) return 0;
    const BUILDING* b = Build_AtTile(x, y);
    if (b == nullptr) return 0;
    return Build_TypeBarsUnitType(b->buildingtype, b->tilex, b->tiley, x, y, utype);
}

BUILDING* Build_AtPixel(int px, int py)
{
    // Division truncates towards 0: pixels left of or above the map would
    // land on row or column 0.
    if (px < 0 || py < 0) return nullptr;
    return Build_AtTile(px / MAP_TILE_PIXELS, py / MAP_TILE_PIXELS);
}

int Build_AtConstructionSite(const BUILDINGTYPE* type, int x, int y, int ux, int uy)
{
    if (type == nullptr) return 0;
    int cx = ux - x, cy = uy - y;
    return Build_TypeCovers(type, cx, cy) || NextToFootprint(type, cx, cy) ? 1 : 0;
}

// Candidates are scanned row by row over the footprint's rectangle grown by
// one tile; the first of the smallest distance wins.
int Build_FindAccessTile(const BUILDINGTYPE* type, int x, int y, const UNIT* u, int ux, int uy,
                         int flag, int* outx, int* outy)
{
    if (type == nullptr) return 0;
    bool found = false;
    long best = 0;
    int bx = 0, by = 0;
    for (int cy = -1; cy <= type->height; cy++)
        for (int cx = -1; cx <= type->width; cx++) {
            bool candidate = Build_TypeCovers(type, cx, cy) ? flag && OnEdge(type, cx, cy)
                                                            : NextToFootprint(type, cx, cy);
            if (!candidate || !CanStand(u, x + cx, y + cy)) continue;
            long d = Dist2(x + cx, y + cy, ux, uy);
            if (!found || d < best) {
                found = true;
                best = d;
                bx = x + cx;
                by = y + cy;
            }
        }
    if (!found) return 0;
    if (outx) *outx = bx;
    if (outy) *outy = by;
    return 1;
}

void Build_GetAttackPoint(const BUILDING* b, const UNIT* u, int* outx, int* outy)
{
    if (b == nullptr) return;
    const BUILDINGTYPE* t = b->buildingtype;
    int bx = b->tilex, by = b->tiley;
    bool found = false;
    long best = 0;
    // Its kept units (turrets) stand between an attacker and the building.
    for (const UNITID& h : b->bay) {
        UNITID copy = h;
        const UNIT* k = UnitId_Ptr(&copy);
        if (k == nullptr) continue;
        long d = u ? Dist2(k->tilepos.x, k->tilepos.y, u->tilepos.x, u->tilepos.y) : 0;
        if (!found || d < best) {
            found = true;
            best = d;
            bx = k->tilepos.x;
            by = k->tilepos.y;
        }
    }
    if (found) {
        if (outx) *outx = bx;
        if (outy) *outy = by;
        return;
    }
    if (u && Build_FindAccessTile(t, b->tilex, b->tiley, u, u->tilepos.x, u->tilepos.y, 0, outx, outy))
        return;
    for (int cy = 0; cy < t->height; cy++)
        for (int cx = 0; cx < t->width; cx++) {
            if (!Build_TypeCovers(t, cx, cy)) continue;
            int tx = b->tilex + cx, ty = b->tiley + cy;
            long d = u ? Dist2(tx, ty, u->tilepos.x, u->tilepos.y) : 0;
            if (!found || d < best) {
                found = true;
                best = d;
                bx = tx;
                by = ty;
            }
        }
    if (outx) *outx = bx;
    if (outy) *outy = by;
}

int Build_NearestEntrance(const BUILDING* b, const UNIT* u, int* outx, int* outy)
{
    if (b == nullptr) return 0;
    const BUILDINGTYPE* t = b->buildingtype;
    int ux = u ? u->tilepos.x : b->tilex, uy = u ? u->tilepos.y : b->tiley;
    if (Build_FindAccessTile(t, b->tilex, b->tiley, u, ux, uy, 0, outx, outy)) return 1;
    if (t->bayx < 0 || t->bayy < 0) return 0;
    if (outx) *outx = b->tilex + t->bayx;
    if (outy) *outy = b->tiley + t->bayy;
    return 1;
}

// ------------------------------------------------------------------ state

int Build_IsIdle(const BUILDING* b) { return b->state == BS_IDLE ? 1 : 0; }

int Build_HoldCount(const BUILDING* b) { return Units_ListSize(&b->hold); }

int Build_IsConstructionPaused(const BUILDING* b) { return b->paused ? 1 : 0; }

int Build_CanPack(const BUILDING* b)
{
    return b->buildingtype != nullptr && b->buildingtype->transportunit != nullptr ? 1 : 0;
}

void Build_ClearPrimary(int team, const BUILDINGTYPE* type)
{
    if (!ValidTeam(team) || type == nullptr) return;
    // The chain from type upwards; a cycle in the type file ends it.
    const BUILDINGTYPE* chain[BUILD_MAXTYPES];
    int n = 0;
    for (const BUILDINGTYPE* t = type; t != nullptr && n < BUILD_MAXTYPES; t = t->upgradeto) {
        bool seen = false;
        for (int i = 0; i < n; i++) seen = seen || chain[i] == t;
        if (seen) break;
        chain[n++] = t;
    }
    for (BUILDING* b = teamdata[team].firstbuilding; b; b = b->teamnext)
        for (int i = 0; i < n; i++)
            if (b->buildingtype == chain[i]) b->primary = 0;
}

void Build_ResweepTeamSight(int team)
{
    ASSERT(team>=0 && team<TEAM_MAXTEAMS);
    for (BUILDING* b = teamdata[team].firstbuilding; b; b = b->teamnext) {
        Fog_UnsweepBuilding(b);
        Fog_SweepBuilding(b);
    }
}

int Build_GetCollectedResource(int team, int i)
{
    if (!ValidTeam(team) || i < 0 || i >= TEAM_RESOURCES) return 0;
    return teamdata[team].stats.collected[i];
}

// ------------------------------------------------------------------ placement

int Build_ApplyEffects(const UNIT* builder, const BUILDING* self, const BUILDINGTYPE* type, int x,
                       int y, uint8_t* cells)
{
    if (type == nullptr || !ValidSize(type)) return 0;
    int fx, fy;
    bool hasCells = FirstCell(type, &fx, &fy);
    // The altitude every cell must share: the first cell's, when on the map.
    bool level = hasCells && Map_IsValidTile(x + fx, y + fy);
    int altitude = level ? (int)MAP_ELEMENT_AT(x + fx, y + fy)->altitude : 0;
    bool ok = hasCells;
    for (int cy = 0; cy < type->height; cy++)
        for (int cx = 0; cx < type->width; cx++) {
            int tx = x + cx, ty = y + cy;
            uint8_t cls = BPC_FREE;
            if (!Build_TypeCovers(type, cx, cy)) {
                cls = BPC_NONE;
            } else if (!Map_IsValidTile(tx, ty)) {
                cls = BPC_OFFMAP;
            } else {
                const BUILDING* there = Build_AtTile(tx, ty);
                const UNIT* unit = Units_UnitAtMapLevel(ML_GROUND, tx, ty);
                const MAP_ELEMENT* e = MAP_ELEMENT_AT(tx, ty);
                int speed = 100, climb = 0;
                if (there != nullptr && there != self) cls = BPC_BUILDING;
                else if (unit != nullptr && unit != builder) cls = BPC_UNIT;
                else if (e->effect != MAP_EFFECT_NONE && !WroteTile(self, tx, ty)) cls = BPC_THING;
                else if (builder && builder->type &&
                         (Units_GetTileEffects(builder->type, tx, ty, &speed, &climb), speed == 0))
                    cls = BPC_TERRAIN;
                else if (level && (int)e->altitude != altitude) cls = BPC_ALTITUDE;
                else if (builder && !Fog_IsExplored(tx, ty, builder->team)) cls = BPC_UNEXPLORED;
            }
            if (cls != BPC_NONE && cls != BPC_FREE) ok = false;
            if (cells) cells[cy * type->width + cx] = cls;
        }
    return ok ? 1 : 0;
}

void Mapgrid_AddBuilding(BUILDING* b, int x, int y)
{
    if (b == nullptr || b->buildingtype == nullptr) return;
    Mapgrid_LinkArea(MGL_BUILDING, b, x, y, b->buildingtype->width, b->buildingtype->height);
}

// Over the largest footprint, so that a building whose type changed size
// since it was linked still leaves every cell.
void Mapgrid_RemoveBuilding(BUILDING* b, int x, int y)
{
    if (b == nullptr) return;
    Mapgrid_UnlinkArea(MGL_BUILDING, b, x, y, BUILD_MAXSIDE, BUILD_MAXSIDE);
}

// ------------------------------------------------------------------ mini-buildings

MINIBUILDING* MiniBuild_New(BUILDING* b)
{
    Guard_Require(&s_guard);
    MINIBUILDING* m = static_cast<MINIBUILDING*>(Pool_Alloc(&s_minipool));
    if (b != nullptr) {
        m->x = b->tilex;
        m->y = b->tiley;
        m->width = b->buildingtype ? b->buildingtype->width : 1;
        m->height = b->buildingtype ? b->buildingtype->height : 1;
        m->team = b->team;
    }
    UnitId_Clear(&m->attached);
    BuildId_Setup(&m->building, b);
    m->seen = 0;
    m->prev = nullptr;
    m->next = s_minis;
    if (s_minis) s_minis->prev = m;
    s_minis = m;
    return m;
}

void MiniBuild_Free(MINIBUILDING* m)
{
    if (m == nullptr) return;
    MiniUnlink(m);
    Pool_Free(&s_minipool, m);
}

void MiniBuild_ForEachVisible(void (*fn)(const MINIBUILDING* m, void* arg), void* arg)
{
    if (fn == nullptr) return;
    for (MINIBUILDING* m = s_minis; m; m = m->next)
        if (m->team == g_LocalTeam || m->seen) fn(m, arg);
}

MINIBUILDING* MiniBuild_First(void) { return s_minis; }

void Ovl_UpdateOverlayAndMiniBuildingVisibility(void)
{
    if (!ValidTeam(g_LocalTeam) || !Fog_IsOpen()) return;

    OVERLAY* o = g_Overlays;
    for (int i = 0; o && i < s_ovlCursor; i++) o = o->nextoverlay;
    if (o == nullptr) {
        s_ovlCursor = 0;
        o = g_Overlays;
    }
    for (int n = 0; o && n < VIS_OVERLAYS_PER_UPDATE; n++, o = o->nextoverlay, s_ovlCursor++) {
        if (o->type < 0) continue;
        if (Fog_IsSeen(o->tilepos.x, o->tilepos.y, g_LocalTeam)) {
            o->flags |= OVF_SEEN;
            o->flags &= ~(uint32_t)OVF_FOGGED;
        } else {
            o->flags |= OVF_FOGGED;
        }
    }
    if (o == nullptr) s_ovlCursor = 0;

    MINIBUILDING* m = s_minis;
    for (int i = 0; m && i < s_miniCursor; i++) m = m->next;
    if (m == nullptr) {
        s_miniCursor = 0;
        m = s_minis;
    }
    for (int n = 0; m && n < VIS_MINIS_PER_UPDATE; n++, m = m->next, s_miniCursor++) {
        if (m->seen || m->width < 1 || m->height < 1) continue;
        if (Fog_AnySeenInTiles(m->x, m->y, m->x + m->width - 1, m->y + m->height - 1, g_LocalTeam))
            m->seen = 1;
    }
    if (m == nullptr) s_miniCursor = 0;
}

int Build_GetEfficiency(const BUILDING* b)
{
    ASSERT(b);
    return b->efficiency;
}

void Build_SaveAll(void)
{
    Save_RegisterHead(&g_Buildings, 1, ST_BUILDING, "buildings");
    Save_RegisterHead(&s_minis, 1, ST_MINIBUILDING, "minibuildings");
    for (MINIBUILDING* m = s_minis; m && Save_WalkGoesOn(); m = m->next) {
        Save_RegisterTypePointers(ST_MINIBUILDING, m);
        Save_RegisterBlock(SAVEK_LOCAL, m, ST_MINIBUILDING, sizeof *m);
    }
}

void Build_SaveVisibilityCursors(void)
{
    Save_RegisterBlock(SAVEK_GLOBAL, &s_ovlCursor, ST_ULONG, sizeof s_ovlCursor);
    Save_RegisterBlock(SAVEK_GLOBAL, &s_miniCursor, ST_ULONG, sizeof s_miniCursor);
}

// ------------------------------------------------------------------ saved games

BUILDING* Build_AllocRecord(void) { return SlotBuilding(Pool_Alloc(&s_pool)); }

void Build_FreeRecord(BUILDING* b)
{
    memset(b, 0, sizeof *b);
    b->id = -1;
    Pool_Free(&s_pool, BuildingSlot(b));
}

MINIBUILDING* MiniBuild_AllocRecord(void) { return static_cast<MINIBUILDING*>(Pool_Alloc(&s_minipool)); }

void MiniBuild_FreeRecord(MINIBUILDING* m) { Pool_Free(&s_minipool, m); }

static const char* CheckTeamBuildings(int* count)
{
    int cells = 0;
    *count = 0;
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        const BUILDING* prev = nullptr;
        for (const BUILDING* b = teamdata[t].firstbuilding; b; prev = b, b = b->teamnext, (*count)++) {
            if (b->teamprev != prev) return "a building's prev link";
            if (b->id < 1 || b->team != t || !b->buildingtype) return "a building on another team's list";
            // What is done and paid of a job is taken as the whole less
            // what is left.
            if (b->prodleft > b->prodtime || b->costleft > b->jobcost) return "a building's job with more left than in all";
            const BUILDINGTYPE* type = b->buildingtype;
            if (!Map_IsValidTile(b->tilex, b->tiley) ||
                !Map_IsValidTile(b->tilex + type->width - 1, b->tiley + type->height - 1))
                return "a building off the map";
            int n = 0;
            if (!Mapgrid_AreaHoldsOnce(MGL_BUILDING, b, b->tilex, b->tiley, type->width, type->height, &n))
                return "a building's grid cells";
            cells += n;
        }
    }
    return Mapgrid_ListTotal(MGL_BUILDING) == cells ? nullptr : "a grid cell holding a building off its list";
}

const char* Build_CheckLoaded(void)
{
    int count = 0;
    if (const char* why = CheckTeamBuildings(&count)) return why;
    // A list without a cycle visits each record once: as long as the team
    // lists, it holds exactly their buildings.
    int n = 0;
    for (const BUILDING* b = g_Buildings; b && n <= count; b = b->next) n++;
    if (n != count) return "the building list";
    const MINIBUILDING* prev = nullptr;
    for (const MINIBUILDING* m = s_minis; m; prev = m, m = m->next)
        if (m->prev != prev) return "a mini-building's prev link";
    return nullptr;
}

void Build_AfterLoad(void)
{
    s_count = 0;
    for (BUILDING* b = g_Buildings; b; b = b->next) s_count++;
}
