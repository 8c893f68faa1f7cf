// Iterators over units and buildings.
//
// Every iterator visits in a fixed order that depends only on the order of
// the game's own calls, so every machine of a game walks the same units in
// the same order: the walk over every unit in the order the units were made
// (their making sequence); the team walks teams 0..8, within a team the
// on-map lists by move mode (MM_FLY .. MM_TUNNEL), each from its head; the
// map-grid iterators cell by cell, row by row, each cell's list from its
// head.
//
// The walk over every unit includes the units off the map (in buildings and
// holds). It hands out each unit that existed when it started at most once,
// whatever happens to the units during the walk: a unit that leaves or
// enters the map, changes move mode or team is not handed out again, a unit
// deleted before its turn is skipped, and units made during the walk are
// not visited.
//
// The relation test. The team filters take (team, mask): mask 0 means the
// team itself; otherwise a team t is visited when the given team's relation
// towards t has a bit of the mask, relation[team][t] & mask. So "the units
// that my team regards as enemies" is (myteam, TR_ENEMY), and team 8, which
// regards everyone as an enemy, is attacked by nobody who is neutral towards
// it. Mask TR_ALL (7) visits every team. One reading everywhere, although
// some callers describe the test from the other team's side.
//
// Move-mode filters: MM_FLY .. MM_TUNNEL one mode, MM_ALL every mode.
// The map-grid walks read the relations once, when they start.
// For the other walks, a unit or building deleted while an iterator stands
// on it must not be the next one returned: the list iterators fetch the
// following element before handing one out, and the map-grid iterators notice when the element just
// returned has left its cell, so deleting (or moving) the element just
// returned is safe (deleting others is not).
#pragma once

#include <cstdint>

struct UNIT;
struct BUILDING;
struct UNITLIST;
struct UNITLISTELEM;

enum ITERATOR_TYPE {
    IT_NONE = 0,
    IT_UNIT = 1,
    IT_UNITLIST = 2,
    IT_BUILDING = 3,
    IT_MAPGRIDUNIT = 4,
    IT_MAPGRIDBUILDING = 5,
};

struct ITERATOR {
    int32_t type;                 // ITERATOR_TYPE
    int32_t team;                 // the asking team
    int32_t mask;                 // relation mask, 0: the team itself
    int32_t filter;               // move mode or MM_ALL
    int32_t all;                  // the walk over every unit (Iterate_UnitInitAll)
    uint32_t lastseq;             // that walk: making sequence handed out last
    uint32_t endseq;              // that walk: the first sequence made after its start
    int32_t curteam;              // team being walked
    int32_t curlist;              // list being walked (move mode, TEAM_MOVELISTS = off map)
    UNIT* nextunit;               // fetched ahead
    BUILDING* nextbuilding;
    UNITLISTELEM* nextelem;
    int32_t x1, y1, x2, y2;       // tile rectangle of the map-grid iterators
    int32_t cx, cy;               // cell being walked
    int32_t cx1, cy1, cx2, cy2;   // cell rectangle
    const void* cell;             // the grid cell being walked (null: none yet)
    int32_t inside;               // every tile of that cell lies in the rectangle
    int32_t teambits;             // map-grid walks: bit t set for each team t wanted
    int32_t nextindex;            // in the cell's list
    void* last;                   // the object handed out last from the cell
};

// Every unit of every team, on the map and off it, every move mode, in the
// order they were made; each unit at most once (see above).
void Iterate_UnitInitAll(ITERATOR* it);
// The on-map units of team (mask 0) or of every team matching the mask,
// with the move-mode filter.
void Iterate_UnitInit(ITERATOR* it, int team, int mask, int filter);
// The next unit, null at the end.
UNIT* Iterate_UnitNext(ITERATOR* it);

// The units of a list, skipping stale handles.
void Iterate_UnitInitList(ITERATOR* it, UNITLIST* list);
UNIT* Iterate_UnitNextList(ITERATOR* it);

// The on-map units in the tile rectangle x1..x2, y1..y2 (inclusive, clipped
// to the map) of team (mask 0) or of the teams matching the mask, with the
// move-mode filter. Each unit once.
void Iterate_UnitInitMapGrid(ITERATOR* it, int team, int mask, int filter, int x1, int y1, int x2,
                             int y2);
inline UNIT* Iterate_UnitNextMapGrid(ITERATOR* it);
// The walk's general step (cell changes, the border tests); the inline
// step above takes the common case, the next unit of a cell inside the
// rectangle, itself.
UNIT* Iterate_UnitNextMapGridStep(ITERATOR* it);

// The team bits (1 << team) of team (mask 0) or of the teams matching the
// mask, as the map-grid walks select them.
int Iterate_TeamBits(int team, int mask);
// Calls f(UNIT*) for the on-map units in the tile rectangle (inclusive,
// clipped to the map) of the teams whose bits are set, with the move-mode
// filter, in the order Iterate_UnitNextMapGrid gives them; f returns false
// to end the walk. For walks that only read: f must not add, move or remove
// units.
template <class F>
void Iterate_UnitForEachMapGrid(int teambits, int filter, int x1, int y1, int x2, int y2, F&& f);

// The buildings of team (mask 0) or of the teams matching the mask.
void Iterate_BuildInit(ITERATOR* it, int team, int mask);
BUILDING* Iterate_BuildNext(ITERATOR* it);
// The buildings whose footprint touches the tile rectangle, of the teams
// that team regards with the mask. Each building once.
void Iterate_BuildInitMapGrid(ITERATOR* it, int team, int mask, int x1, int y1, int x2, int y2);
BUILDING* Iterate_BuildNextMapGrid(ITERATOR* it);

// ------------------------------------------------------------------ inline step

#include "map/map.h"
#include "map/mapgrid.h"
#include "units/unit.h"

inline UNIT* Iterate_UnitNextMapGrid(ITERATOR* it)
{
    const MAPGRID_CELL* cell = static_cast<const MAPGRID_CELL*>(it->cell);
    if (cell && it->inside) {
        const int count = cell->count[MGL_UNIT];
        void* const* items = cell->items[MGL_UNIT];
        int i = it->nextindex;
        // Only when the unit handed out last is still where it was: otherwise
        // the general step sorts it out.
        if (i > 0 && i <= count && items[i - 1] == it->last) {
            for (; i < count; i++) {
                UNIT* u = static_cast<UNIT*>(items[i]);
                if (((it->teambits >> u->team) & 1) &&
                    (it->filter == MM_ALL || it->filter == u->movemode)) {
                    it->nextindex = i + 1;
                    it->last = u;
                    return u;
                }
            }
        }
    }
    return Iterate_UnitNextMapGridStep(it);
}

template <class F>
void Iterate_UnitForEachMapGrid(int teambits, int filter, int x1, int y1, int x2, int y2, F&& f)
{
    if (x1 < 0) x1 = 0;
    if (y1 < 0) y1 = 0;
    if (x2 > mapsizex - 1) x2 = mapsizex - 1;
    if (y2 > mapsizey - 1) y2 = mapsizey - 1;
    if (x1 > x2 || y1 > y2 || !Mapgrid_IsOpen()) return;
    const int cx1 = x1 / MAPGRID_CELL_TILES, cx2 = x2 / MAPGRID_CELL_TILES;
    const int cy1 = y1 / MAPGRID_CELL_TILES, cy2 = y2 / MAPGRID_CELL_TILES;
    for (int cy = cy1; cy <= cy2; cy++) {
        const MAPGRID_CELL* cell = Mapgrid_Cell(cx1, cy);
        if (!cell) return;
        const int ty = cy * MAPGRID_CELL_TILES;
        const int ey = ty + MAPGRID_CELL_TILES - 1 > mapsizey - 1 ? mapsizey - 1 : ty + MAPGRID_CELL_TILES - 1;
        const bool rowinside = ty >= y1 && ey <= y2;
        for (int cx = cx1; cx <= cx2; cx++, cell++) {
            const int count = cell->count[MGL_UNIT];
            if (count == 0) continue;
            void* const* items = cell->items[MGL_UNIT];
            const int tx = cx * MAPGRID_CELL_TILES;
            const int ex = tx + MAPGRID_CELL_TILES - 1 > mapsizex - 1 ? mapsizex - 1 : tx + MAPGRID_CELL_TILES - 1;
            // Only the cells on the rectangle's border test the units' tiles.
            if (rowinside && tx >= x1 && ex <= x2) {
                for (int i = 0; i < count; i++) {
                    UNIT* u = static_cast<UNIT*>(items[i]);
                    if (!((teambits >> u->team) & 1) || (filter != MM_ALL && filter != u->movemode)) continue;
                    if (!f(u)) return;
                }
            } else {
                for (int i = 0; i < count; i++) {
                    UNIT* u = static_cast<UNIT*>(items[i]);
                    if (!((teambits >> u->team) & 1) || (filter != MM_ALL && filter != u->movemode)) continue;
                    if (u->tilepos.x < x1 || u->tilepos.x > x2 || u->tilepos.y < y1 || u->tilepos.y > y2) continue;
                    if (!f(u)) return;
                }
            }
        }
    }
}
