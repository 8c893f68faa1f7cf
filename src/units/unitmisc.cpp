// Unit look-ups: ids, tiles and levels, terrain effects for a unit type,
// the nearest free tile, presence tests, and move group ids.
#include <cstdlib>

#include "core/debug.h"
#include "core/tlog.h"
#include "map/map.h"
#include "map/tile.h"
#include "platform/effects.h"
#include "units/iterate.h"
#include "units/team.h"
#include "units/unit.h"

// The assertion text names the level count by this name.
enum { ML_MAX = ML_LEVELS };

namespace {

uint32_t s_groupid = 1;

// The special effect that keeps ground units from stopping on a tile.
const unsigned EFFECT_NOSTOP = 4;

int TileAltitude(int x, int y) { return MAP_ELEMENT_AT(x, y)->altitude; }

UNIT* FindInList(UNIT* head, int id)
{
    for (UNIT* u = head; u; u = u->next)
        if (u->id == id) return u;
    return nullptr;
}

UNIT* FindOnMap(int id, int team)
{
    for (int list = 0; list < TEAM_MOVELISTS; list++)
        if (UNIT* u = FindInList(teamdata[team].unitlist[list], id)) return u;
    return nullptr;
}

} // namespace

// ------------------------------------------------------------------ group ids

void Units_ResetGroupIds(void) { s_groupid = 1; }

uint32_t Units_AllocGroupId(void)
{
    uint32_t id = s_groupid++;
    if (s_groupid == 0) s_groupid = 1;
    return id;
}

uint32_t Units_GetGroupIdCounter(void) { return s_groupid; }

void Units_SetGroupIdCounter(uint32_t value) { s_groupid = value != 0 ? value : 1; }

// ------------------------------------------------------------------ ids and tiles

UNIT* Units_IdToUnitPtr(int id, int team)
{
    if (team >= 0 && team < TEAM_MAXTEAMS) return FindOnMap(id, team);
    for (int t = 0; t < TEAM_MAXTEAMS; t++)
        if (UNIT* u = FindOnMap(id, t)) return u;
    return nullptr;
}

UNIT* Units_IdToUnitPtrOffMap(int id, int team)
{
    if (team >= 0 && team < TEAM_MAXTEAMS) return FindInList(teamdata[team].offmaplist, id);
    for (int t = 0; t < TEAM_MAXTEAMS; t++)
        if (UNIT* u = FindInList(teamdata[t].offmaplist, id)) return u;
    return nullptr;
}

UNIT* Units_UnitAtMapLevel(int level, int x, int y)
{
    ASSERT(level>=0 && level<ML_MAX);
    if (!Map_IsValidTile(x, y)) return nullptr;
    return MAP_ELEMENT_AT(x, y)->unit[level];
}

int Units_GetMapLevel(int movemode)
{
    switch (movemode) {
    case MM_FLY: return ML_FLY;
    case MM_HOVER:
    case MM_FIXED:
    case MM_GROUND: return ML_GROUND;
    case MM_TUNNEL: return ML_TUNNEL;
    default:
        TLOG(TLOG_ERROR, "Unknown move mode [%d]", movemode);
        return ML_GROUND;
    }
}

int Units_GetDisplayLayer(const UNIT* u)
{
    ASSERT(u);
    switch (u->movemode) {
    case MM_FLY: return 5;
    case MM_HOVER:
    case MM_GROUND: return 2;
    case MM_FIXED: return 4;
    case MM_TUNNEL: return 0;
    default:
        TLOG(TLOG_ERROR, "Unknown move mode [%d]", u->movemode);
        return 0;
    }
}

int Units_GetAltitude(const UNIT* u)
{
    ASSERT(u);
    switch (u->movemode) {
    case MM_FLY: return UNITS_FLYERALT;
    case MM_HOVER:
    case MM_FIXED:
    case MM_GROUND: return TileAltitude(u->tilepos.x, u->tilepos.y) + 1;
    case MM_TUNNEL: return 0;
    default:
        TLOG(TLOG_ERROR, "Unknown move mode [%d]", u->movemode);
        return 0;
    }
}

int Units_IsFlyUnit(const UNIT* u)
{
    ASSERT(u);
    return u->movemode == MM_FLY;
}

int Units_IsHoverUnit(const UNIT* u)
{
    ASSERT(u);
    return u->movemode == MM_HOVER;
}

int Units_IsGroundUnit(const UNIT* u)
{
    ASSERT(u);
    return u->movemode == MM_GROUND;
}

int Units_IsTunnelUnit(const UNIT* u)
{
    ASSERT(u);
    return u->movemode == MM_TUNNEL;
}

int Units_IsHumanUnit(const UNIT* u)
{
    ASSERT(u);
    ASSERT(u->type);
    return u->type->abilities.ishuman;
}

// ------------------------------------------------------------------ terrain

// The cell of the element's special effect, or null for none. The table
// has 16 special effects; a field value past them (other than "none") would
// read outside it, so the texture decides then.
static const uint8_t* SpecialCell(const EFFECTTYPE* table, const MAP_ELEMENT* e)
{
    if (e->effect >= EFFECTS_COLUMNS * (EFFECTS_ROWS - EFFECTS_SPECIAL_ROW)) return nullptr;
    return table->cell[EFFECTS_SPECIAL_ROW + e->effect / EFFECTS_COLUMNS][e->effect % EFFECTS_COLUMNS];
}

const uint8_t* Units_EffectCell(const EFFECTTYPE* table, const MAP_ELEMENT* e)
{
    if (const uint8_t* cell = SpecialCell(table, e)) return cell;
    const uint32_t bits = Tile_GetEffects(e->tile);
    return table->cell[bits & 0xF][(bits >> 18) & 7];
}

const uint8_t* Units_CostCell(const EFFECTTYPE* table, const MAP_ELEMENT* e)
{
    if (const uint8_t* cell = SpecialCell(table, e)) return cell;
    return table->cell[e->tile & 0xF][(e->tile >> 18) & 7];
}

int Units_GetTileEffects(const UNITTYPE* type, int x, int y, int* speed, int* climb)
{
    ASSERT(type);
    int s = 100, c = 1;
    if (!Map_IsValidTile(x, y)) {
        TLOG(TLOG_ERROR, "Range error %d %d", x, y);
    } else if (type->effects) {
        const uint8_t* cell = Units_EffectCell(type->effects, MAP_ELEMENT_AT(x, y));
        s = cell[0];
        c = cell[1];
    }
    if (speed) *speed = s;
    if (climb) *climb = c;
    return s;
}

int Units_IsImpassible(const UNITTYPE* type, int x, int y)
{
    return Units_GetTileEffects(type, x, y, nullptr, nullptr) == 0;
}

int Units_AbleToMove(const UNIT* u, int x1, int y1, int x2, int y2)
{
    ASSERT(u);
    int d = abs(TileAltitude(x1, y1) - TileAltitude(x2, y2));
    int speed1, climb1, speed2, climb2;
    Units_GetTileEffects(u->type, x1, y1, &speed1, &climb1);
    if (climb1 < d || speed1 == 0) return 0;
    Units_GetTileEffects(u->type, x2, y2, &speed2, &climb2);
    if (climb2 < d) return 0;
    return speed2 != 0;
}

int Units_CalculateSpeed(const UNIT* u, int x1, int y1, int x2, int y2)
{
    ASSERT(u);
    int s = Units_GetTileEffects(u->type, x2, y2, nullptr, nullptr);
    long v = (long)u->type->speed * s * 200;
    if (u->movemode != MM_TUNNEL) v -= abs(TileAltitude(x2, y2) - TileAltitude(x1, y1));
    v /= 20000;
    if (v < 1) v = 1;
    if (v > 59) v = 59;
    return (int)v;
}

static bool FreeFor(const UNIT* u, int x, int y)
{
    if (!Map_IsValidTile(x, y)) return false;
    const MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
    if (u->maplevel >= 0 && u->maplevel < ML_LEVELS && e->unit[u->maplevel]) return false;
    if (Units_GetTileEffects(u->type, x, y, nullptr, nullptr) == 0) return false;
    return !(u->maplevel == ML_GROUND && e->effect == EFFECT_NOSTOP);
}

int Units_ClosestLocation(const UNIT* u, int x, int y, int* outx, int* outy, int maxdist)
{
    ASSERT(u);
    for (int r = 0; r <= maxdist; r++) {
        for (int k = 0; k <= r; k++) {
            const int cand[4][2] = {
                {x + r - k, y + k},
                {x + r - k, y - k},
                {x - (r - k), y + k},
                {x - (r - k), y - k},
            };
            for (const auto& c : cand) {
                if (FreeFor(u, c[0], c[1])) {
                    *outx = c[0];
                    *outy = c[1];
                    return 1;
                }
            }
        }
    }
    return 0;
}

// ------------------------------------------------------------------ presence

// Whether offsets (dx, dy) lie within r tiles: the distance table's value
// in hundredths, as the rest of the game measures. Offsets beyond the table
// are measured directly; clamping them into it would call far units near.
static bool WithinTiles(int dx, int dy, int r)
{
    dx = abs(dx);
    dy = abs(dy);
    if (dx > r || dy > r) return false;
    if (dx < MAP_HYPS_SIZE && dy < MAP_HYPS_SIZE) return MAP_HYPS(dx, dy) / 100 <= r;
    long d2 = (long)dx * dx + (long)dy * dy;
    return Map_ISqrt(d2 * 10000) / 100 <= r;
}

int Units_RelationInCircle(int x, int y, int r, int team, int selector)
{
    if (r < 0) return 0;
    ITERATOR it;
    Iterate_UnitInit(&it, team, selector, MM_ALL);
    while (UNIT* u = Iterate_UnitNext(&it))
        if (WithinTiles(u->tilepos.x - x, u->tilepos.y - y, r)) return 1;
    return 0;
}

int Units_RelationInRectangle(int x1, int y1, int x2, int y2, int team, int selector)
{
    ITERATOR it;
    Iterate_UnitInit(&it, team, selector, MM_ALL);
    while (UNIT* u = Iterate_UnitNext(&it)) {
        if (u->tilepos.x >= x1 && u->tilepos.x <= x2 && u->tilepos.y >= y1 && u->tilepos.y <= y2)
            return 1;
    }
    return 0;
}
