// The map grid: the map cut into cells of 16 x 16 tiles, each keeping lists
// of the overlays, units and buildings in it, so that "what is near here"
// looks at a few cells instead of every object.
//
// A cell list is an array of object pointers in the order they were linked
// (a removal closes the gap, keeping the order); the objects themselves
// carry nothing, so one object can be in several cells (a building is in
// every cell its footprint touches). The order depends only on the order of
// the calls, so every machine of a game walks the same order. Arrays rather
// than linked nodes: a walk over a cell reads its objects' addresses side by
// side, and the reads of the objects themselves don't wait on each other.
//
// The grid is sized from mapsizex and mapsizey: Mapgrid_Init after the map
// is loaded, Mapgrid_Close before the next map.
#pragma once

#include <cstdint>

enum {
    MAPGRID_CELL_TILES = 16,
};

// The three lists of a cell.
enum MAPGRID_LIST {
    MGL_OVERLAY = 0,
    MGL_UNIT = 1,
    MGL_BUILDING = 2,
    MGL_LISTS = 3,
};

struct MAPGRID_CELL {
    void** items[MGL_LISTS];     // the objects of each list, oldest first
    int32_t count[MGL_LISTS];
    int32_t capacity[MGL_LISTS];
};

struct OVERLAY;

// Makes the empty grid for the loaded map (ceil(mapsizex / 16) x
// ceil(mapsizey / 16) cells); fatal "Mapgrid already initialised" when it
// is, or "Mapgrid needs a map" without one.
void Mapgrid_Init(void);
// Frees the grid and its lists (overlays still linked lose OVF_INGRID);
// fatal "Mapgrid not initialised" when it isn't.
void Mapgrid_Close(void);
// --- saved games ---
// Registers every cell as a global MAPGRID block and each of its three
// arrays (live entries in their order) as a local MAPGRID block after its
// pointers: overlays, units, buildings.
void Mapgrid_SaveAll(void);
// The save type of the entries of list (MGL_*): OVERLAY, UNIT, BUILDING.
int Mapgrid_EntryType(int list);
// After a load, before it is kept: null when every cell's arrays are loaded
// blocks of exactly their count of entries (none for a count of 0), none of
// them null, with a capacity of at least the count (0 without an array);
// else what is wrong.
const char* Mapgrid_CheckLoaded(void);
// Entries of list over every cell, and how often object is in list of the
// cell with that index (0 for a bad index).
int Mapgrid_ListTotal(int list);
int Mapgrid_CountInCell(int list, const void* object, int index);
// 1 when every cell the tile rectangle touches holds object exactly once in
// list; *cells is the number of cells it touches.
int Mapgrid_AreaHoldsOnce(int list, const void* object, int tx, int ty, int w, int h, int* cells);
// After a load was kept: each loaded array grows to its capacity.
void Mapgrid_AfterLoad(void);

// 1 between Mapgrid_Init and Mapgrid_Close.
int Mapgrid_IsOpen(void);
// The grid's size in cells (0 when closed).
int Mapgrid_CellsX(void);
int Mapgrid_CellsY(void);

// The cell at cell coordinates (cx, cy); null outside the grid or when closed.
// The cells lie row by row in one array: the cell right of a cell (inside
// the grid) is the next one in memory.
MAPGRID_CELL* Mapgrid_Cell(int cx, int cy);
// The cell holding tile (tx, ty); null off the map or when closed.
MAPGRID_CELL* Mapgrid_CellOfTile(int tx, int ty);

// The index of the cell holding tile (tx, ty) (cy x cells across + cx), -1
// off the map or when closed.
int Mapgrid_CellIndexOfTile(int tx, int ty);
// Links object at the end of list of the cell with that index / unlinks it;
// 0 for a bad index, list or object, or (unlink) when it wasn't there.
int Mapgrid_LinkCell(int list, void* object, int index);
int Mapgrid_UnlinkCell(int list, void* object, int index);

// Links object into list of the cell holding tile (tx, ty), at the end.
// 0 (nothing linked) off the map, when closed, or for a null object.
int Mapgrid_Link(int list, void* object, int tx, int ty);
// Unlinks object from list of the cell holding tile (tx, ty); 0 when it
// wasn't there.
int Mapgrid_Unlink(int list, void* object, int tx, int ty);
// Links object into list of every cell that the tile rectangle at (tx, ty)
// of w x h tiles touches (once per cell; the part off the map is ignored);
// the number of cells linked.
int Mapgrid_LinkArea(int list, void* object, int tx, int ty, int w, int h);
// Unlinks it from the same cells; the number of cells it was found in.
int Mapgrid_UnlinkArea(int list, void* object, int tx, int ty, int w, int h);
// 1 when object is in list of the cell holding tile (tx, ty).
int Mapgrid_Contains(int list, const void* object, int tx, int ty);

// Links / unlinks an overlay at its tile position, keeping its OVF_INGRID
// flag: adding a linked overlay is 1 and changes nothing, removing one that
// isn't linked is 0.
int Mapgrid_AddOverlay(OVERLAY* o);
int Mapgrid_RemoveOverlay(OVERLAY* o);
// The overlay whose tile position is (x, y) (tile coordinates, despite the
// name), looked up in the cell holding that tile; null when none. With
// several, the one linked last.
OVERLAY* Mapgrid_FindAtPixel(int x, int y);
