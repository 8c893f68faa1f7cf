// Iterators over units and buildings.
//
// Each team, list and grid iterator keeps a cursor (the list or grid cell
// being walked) and the element it will hand out next. Next() takes that
// element, moves the look-ahead past it and only then returns it, so the
// caller may delete what it was just given. The walk over every unit keeps
// no pointer at all, only the making sequence it has reached, which nothing
// the caller does to the units can invalidate. Team and move-mode filters select whole lists, so the
// team lists are skipped list by list; the grid walks filter unit by unit.
#include "units/iterate.h"

#include "core/debug.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "units/building.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

bool TeamMatches(const ITERATOR* it, int t)
{
    if (it->team < 0 || it->team >= TEAM_MAXTEAMS) return false;
    if (it->mask == 0) return t == it->team;
    return (teamdata[it->team].relation[t] & it->mask) != 0;
}

bool ModeMatches(const ITERATOR* it, int mode) { return it->filter == MM_ALL || it->filter == mode; }

void Reset(ITERATOR* it, int type, int team, int mask, int filter)
{
    ASSERT(it);
    *it = ITERATOR{};
    it->type = type;
    it->team = team;
    it->mask = mask;
    it->filter = filter;
}

// ---- on-map team lists of units: (team 0..8, move mode 0..4).

UNIT* TeamList(int team, int list) { return teamdata[team].unitlist[list]; }

bool ListWanted(const ITERATOR* it, int team, int list)
{
    return TeamMatches(it, team) && ModeMatches(it, list);
}

// Moves the cursor to the following list; false past the last.
bool StepList(ITERATOR* it)
{
    if (++it->curlist < TEAM_MOVELISTS) return true;
    it->curlist = 0;
    return ++it->curteam < TEAM_MAXTEAMS;
}

// The head of the first wanted non-empty list from the cursor on.
UNIT* FirstUnitFromCursor(ITERATOR* it)
{
    for (;;) {
        if (ListWanted(it, it->curteam, it->curlist)) {
            if (UNIT* u = TeamList(it->curteam, it->curlist)) return u;
        }
        if (!StepList(it)) return nullptr;
    }
}

void StartUnitWalk(ITERATOR* it)
{
    it->curteam = 0;
    it->curlist = 0;
    it->nextunit = FirstUnitFromCursor(it);
}

// ---- buildings of teams

BUILDING* FirstBuildingFromTeam(ITERATOR* it)
{
    for (; it->curteam < TEAM_MAXTEAMS; it->curteam++) {
        if (!TeamMatches(it, it->curteam)) continue;
        if (BUILDING* b = teamdata[it->curteam].firstbuilding) return b;
    }
    return nullptr;
}

// ---- map-grid walks

// Clips the tile rectangle to the map and sets up the cell walk; an empty
// rectangle leaves the walk finished.
void StartGridWalk(ITERATOR* it, int x1, int y1, int x2, int y2)
{
    if (x1 < 0) x1 = 0;
    if (y1 < 0) y1 = 0;
    if (x2 > mapsizex - 1) x2 = mapsizex - 1;
    if (y2 > mapsizey - 1) y2 = mapsizey - 1;
    it->x1 = x1;
    it->y1 = y1;
    it->x2 = x2;
    it->y2 = y2;
    if (x1 > x2 || y1 > y2 || !Mapgrid_IsOpen()) {
        it->cy1 = it->cy = 0;
        it->cy2 = -1;
        return;
    }
    it->cx1 = x1 / MAPGRID_CELL_TILES;
    it->cy1 = y1 / MAPGRID_CELL_TILES;
    it->cx2 = x2 / MAPGRID_CELL_TILES;
    it->cy2 = y2 / MAPGRID_CELL_TILES;
    it->cx = it->cx1;
    it->cy = it->cy1;
    it->nextindex = 0;
    it->last = nullptr;
    it->cell = nullptr;
    if (it->mask == 0) {
        // One team: the searches' common walk.
        if (it->team >= 0 && it->team < TEAM_MAXTEAMS) it->teambits = 1 << it->team;
        return;
    }
    for (int t = 0; t < TEAM_MAXTEAMS; t++)
        if (TeamMatches(it, t)) it->teambits |= 1 << t;
}

// Whether every map tile of the cell being walked lies in the rectangle.
bool CellInside(const ITERATOR* it)
{
    const int tx = it->cx * MAPGRID_CELL_TILES, ty = it->cy * MAPGRID_CELL_TILES;
    int ex = tx + MAPGRID_CELL_TILES - 1, ey = ty + MAPGRID_CELL_TILES - 1;
    if (ex > mapsizex - 1) ex = mapsizex - 1;
    if (ey > mapsizey - 1) ey = mapsizey - 1;
    return tx >= it->x1 && ex <= it->x2 && ty >= it->y1 && ey <= it->y2;
}

// The next object of the walk (row by row, each cell's list in order) that
// lies in the rectangle (the tile test only in the cells on its border)
// and, for units, passes the team and mode filters; null at the end. When
// the object handed out last has left its cell since (the list closed the
// gap), the walk steps back so that nothing is skipped.
void* NextGridObject(ITERATOR* it, int list)
{
    while (it->cy <= it->cy2) {
        if (const MAPGRID_CELL* cell = static_cast<const MAPGRID_CELL*>(it->cell)) {
            const int count = cell->count[list];
            void* const* items = cell->items[list];
            int i = it->nextindex;
            if (it->last && i > 0 && (i > count || items[i - 1] != it->last)) i--;
            while (i < count) {
                void* object = items[i++];
                if (list == MGL_UNIT) {
                    const UNIT* u = static_cast<const UNIT*>(object);
                    if (!((it->teambits >> u->team) & 1)) continue;
                    if (it->filter != MM_ALL && it->filter != u->movemode) continue;
                    if (!it->inside && (u->tilepos.x < it->x1 || u->tilepos.x > it->x2 ||
                                        u->tilepos.y < it->y1 || u->tilepos.y > it->y2))
                        continue;
                }
                it->nextindex = i;
                return it->last = object;
            }
        }
        // Cells lie row by row: the next one along a row is the next in memory.
        if (!it->cell) {
            it->cell = Mapgrid_Cell(it->cx, it->cy);
        } else if (++it->cx <= it->cx2) {
            it->cell = static_cast<const MAPGRID_CELL*>(it->cell) + 1;
        } else {
            it->cx = it->cx1;
            it->cell = Mapgrid_Cell(it->cx, ++it->cy);
        }
        it->inside = CellInside(it);
        it->nextindex = 0;
        it->last = nullptr;
        if (!it->cell) return nullptr;
    }
    return nullptr;
}

int ClampCell(int v, int lo)
{
    return v < lo ? lo : v;
}

} // namespace

// ------------------------------------------------------------------ units of teams

void Iterate_UnitInitAll(ITERATOR* it)
{
    Reset(it, IT_UNIT, 0, TR_ALL, MM_ALL);
    it->all = 1;
    it->lastseq = 0;
    it->endseq = Units_NextSeq();
}

void Iterate_UnitInit(ITERATOR* it, int team, int mask, int filter)
{
    Reset(it, IT_UNIT, team, mask, filter);
    StartUnitWalk(it);
}

UNIT* Iterate_UnitNext(ITERATOR* it)
{
    ASSERT(it);
    if (it->all) {
        // By making sequence rather than by list: whatever lists a unit
        // changes to, its place in the sequence stays, so it is handed out
        // once; units made during the walk lie past endseq.
        UNIT* next = Units_MadeAfter(it->lastseq, it->endseq);
        if (next) it->lastseq = next->seq;
        return next;
    }
    UNIT* u = it->nextunit;
    if (!u) return nullptr;
    if (u->next) it->nextunit = u->next;
    else it->nextunit = StepList(it) ? FirstUnitFromCursor(it) : nullptr;
    return u;
}

// ------------------------------------------------------------------ units of a list

void Iterate_UnitInitList(ITERATOR* it, UNITLIST* list)
{
    Reset(it, IT_UNITLIST, -1, 0, MM_ALL);
    it->nextelem = list ? list->head : nullptr;
}

UNIT* Iterate_UnitNextList(ITERATOR* it)
{
    ASSERT(it);
    while (UNITLISTELEM* e = it->nextelem) {
        it->nextelem = e->next;
        // Checked without clearing: the list keeps the id of a stale
        // element so that its owner can still delete it by id.
        UNIT* u = e->u.unit;
        if (u && e->u.id != -1 && u->id == e->u.id) return u;
    }
    return nullptr;
}

// ------------------------------------------------------------------ units in the map grid

void Iterate_UnitInitMapGrid(ITERATOR* it, int team, int mask, int filter, int x1, int y1, int x2,
                             int y2)
{
    Reset(it, IT_MAPGRIDUNIT, team, mask, filter);
    StartGridWalk(it, x1, y1, x2, y2);
}

int Iterate_TeamBits(int team, int mask)
{
    ITERATOR it;
    Reset(&it, IT_MAPGRIDUNIT, team, mask, MM_ALL);
    int bits = 0;
    for (int t = 0; t < TEAM_MAXTEAMS; t++)
        if (TeamMatches(&it, t)) bits |= 1 << t;
    return bits;
}

UNIT* Iterate_UnitNextMapGridStep(ITERATOR* it)
{
    ASSERT(it);
    return static_cast<UNIT*>(NextGridObject(it, MGL_UNIT));
}

// ------------------------------------------------------------------ buildings of teams

void Iterate_BuildInit(ITERATOR* it, int team, int mask)
{
    Reset(it, IT_BUILDING, team, mask, MM_ALL);
    it->curteam = 0;
    it->nextbuilding = FirstBuildingFromTeam(it);
}

BUILDING* Iterate_BuildNext(ITERATOR* it)
{
    ASSERT(it);
    BUILDING* b = it->nextbuilding;
    if (!b) return nullptr;
    if (b->teamnext) {
        it->nextbuilding = b->teamnext;
    } else {
        it->curteam++;
        it->nextbuilding = FirstBuildingFromTeam(it);
    }
    return b;
}

// ------------------------------------------------------------------ buildings in the map grid

void Iterate_BuildInitMapGrid(ITERATOR* it, int team, int mask, int x1, int y1, int x2, int y2)
{
    Reset(it, IT_MAPGRIDBUILDING, team, mask, MM_ALL);
    StartGridWalk(it, x1, y1, x2, y2);
}

BUILDING* Iterate_BuildNextMapGrid(ITERATOR* it)
{
    ASSERT(it);
    while (void* object = NextGridObject(it, MGL_BUILDING)) {
        BUILDING* b = static_cast<BUILDING*>(object);
        const int w = b->buildingtype ? b->buildingtype->width : 1;
        const int h = b->buildingtype ? b->buildingtype->height : 1;
        const int bx2 = b->tilex + w - 1, by2 = b->tiley + h - 1;
        if (bx2 < it->x1 || b->tilex > it->x2 || by2 < it->y1 || b->tiley > it->y2) continue;
        // A building is linked into every cell its footprint touches: it is
        // handed out in the first of those cells that the walk reaches.
        const int firstcx = ClampCell(ClampCell(b->tilex, 0) / MAPGRID_CELL_TILES, it->cx1);
        const int firstcy = ClampCell(ClampCell(b->tiley, 0) / MAPGRID_CELL_TILES, it->cy1);
        if (it->cx != firstcx || it->cy != firstcy) continue;
        if (TeamMatches(it, b->team)) return b;
    }
    return nullptr;
}
