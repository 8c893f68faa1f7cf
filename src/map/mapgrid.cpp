// The map grid's cells and their object arrays.
#include "map/mapgrid.h"

#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/saveptr.h"
#include "save/savetype.h"

#include <cstdint>

#include "core/debug.h"
#include "core/error.h"
#include "core/guard.h"
#include <cstring>

#include "map/map.h"
#include "map/overlay.h"

namespace {

MODULE_GUARD s_guard = MODULE_GUARD_INIT("Mapgrid");
MAPGRID_CELL* s_cells = nullptr;
int s_cx = 0, s_cy = 0;

bool ValidList(int list) { return list >= 0 && list < MGL_LISTS; }

// Cell coordinates of a tile; false off the map (the whole map, row and
// column 0 included: they belong to no valid tile, but nothing is lost by
// keeping them addressable).
bool CellCoords(int tx, int ty, int* cx, int* cy)
{
    if (!s_cells || tx < 0 || ty < 0 || tx >= mapsizex || ty >= mapsizey) return false;
    *cx = tx / MAPGRID_CELL_TILES;
    *cy = ty / MAPGRID_CELL_TILES;
    return true;
}

// The index of object in a list of the cell, -1 when it isn't there.
int Find(const MAPGRID_CELL* cell, int list, const void* object)
{
    for (int i = 0; i < cell->count[list]; i++)
        if (cell->items[list][i] == object) return i;
    return -1;
}

void LinkNode(MAPGRID_CELL* cell, int list, void* object)
{
    if (cell->count[list] == cell->capacity[list]) {
        const int grown = cell->capacity[list] ? 2 * cell->capacity[list] : 8;
        cell->items[list] =
            static_cast<void**>(Debug_Realloc(cell->items[list], (size_t)grown * sizeof(void*)));
        cell->capacity[list] = grown;
    }
    cell->items[list][cell->count[list]++] = object;
}

bool UnlinkNode(MAPGRID_CELL* cell, int list, const void* object)
{
    const int i = Find(cell, list, object);
    if (i < 0) return false;
    void** items = cell->items[list];
    memmove(items + i, items + i + 1, (size_t)(cell->count[list] - i - 1) * sizeof(void*));
    cell->count[list]--;
    return true;
}

// The cell range a tile rectangle touches, clipped to the map; false when
// nothing of it is on the map.
bool CellRange(int tx, int ty, int w, int h, int* cx0, int* cy0, int* cx1, int* cy1)
{
    if (!s_cells || w < 1 || h < 1) return false;
    int64_t x0 = tx, y0 = ty, x1 = (int64_t)tx + w - 1, y1 = (int64_t)ty + h - 1;
    if (x1 < 0 || y1 < 0 || x0 >= mapsizex || y0 >= mapsizey) return false;
    if (x0 < 0) x0 = 0;
    if (y0 < 0) y0 = 0;
    if (x1 >= mapsizex) x1 = mapsizex - 1;
    if (y1 >= mapsizey) y1 = mapsizey - 1;
    *cx0 = (int)x0 / MAPGRID_CELL_TILES;
    *cy0 = (int)y0 / MAPGRID_CELL_TILES;
    *cx1 = (int)x1 / MAPGRID_CELL_TILES;
    *cy1 = (int)y1 / MAPGRID_CELL_TILES;
    return true;
}

} // namespace

void Mapgrid_Init(void)
{
    Guard_Init(&s_guard);
    if (mapsizex < 1 || mapsizey < 1) {
        Guard_Close(&s_guard);
        ERR_FATAL(ERRC_FATAL, "Mapgrid needs a map");
    }
    s_cx = (mapsizex + MAPGRID_CELL_TILES - 1) / MAPGRID_CELL_TILES;
    s_cy = (mapsizey + MAPGRID_CELL_TILES - 1) / MAPGRID_CELL_TILES;
    s_cells = static_cast<MAPGRID_CELL*>(Debug_Calloc((size_t)s_cx * s_cy, sizeof(MAPGRID_CELL)));
}

void Mapgrid_Close(void)
{
    Guard_Close(&s_guard);
    // Overlays still linked leave with the grid; a new grid links them again.
    for (int i = 0; i < s_cx * s_cy; i++) {
        MAPGRID_CELL& cell = s_cells[i];
        for (int k = 0; k < cell.count[MGL_OVERLAY]; k++)
            static_cast<OVERLAY*>(cell.items[MGL_OVERLAY][k])->flags &= ~(uint32_t)OVF_INGRID;
        for (void**& items : cell.items) Debug_Free(&items);
    }
    Debug_Free(&s_cells);
    s_cx = s_cy = 0;
}

int Mapgrid_IsOpen(void) { return s_cells != nullptr; }
int Mapgrid_CellsX(void) { return s_cx; }
int Mapgrid_CellsY(void) { return s_cy; }

MAPGRID_CELL* Mapgrid_Cell(int cx, int cy)
{
    if (!s_cells || cx < 0 || cy < 0 || cx >= s_cx || cy >= s_cy) return nullptr;
    return &s_cells[(size_t)cy * s_cx + cx];
}

MAPGRID_CELL* Mapgrid_CellOfTile(int tx, int ty)
{
    int cx, cy;
    return CellCoords(tx, ty, &cx, &cy) ? Mapgrid_Cell(cx, cy) : nullptr;
}

int Mapgrid_CellIndexOfTile(int tx, int ty)
{
    int cx, cy;
    return CellCoords(tx, ty, &cx, &cy) ? cy * s_cx + cx : -1;
}

int Mapgrid_LinkCell(int list, void* object, int index)
{
    if (!s_cells || index < 0 || index >= s_cx * s_cy || !object || !ValidList(list)) return 0;
    LinkNode(&s_cells[index], list, object);
    return 1;
}

int Mapgrid_UnlinkCell(int list, void* object, int index)
{
    if (!s_cells || index < 0 || index >= s_cx * s_cy || !ValidList(list)) return 0;
    return UnlinkNode(&s_cells[index], list, object) ? 1 : 0;
}

int Mapgrid_Link(int list, void* object, int tx, int ty)
{
    MAPGRID_CELL* cell = Mapgrid_CellOfTile(tx, ty);
    if (!cell || !object || !ValidList(list)) return 0;
    LinkNode(cell, list, object);
    return 1;
}

int Mapgrid_Unlink(int list, void* object, int tx, int ty)
{
    MAPGRID_CELL* cell = Mapgrid_CellOfTile(tx, ty);
    if (!cell || !ValidList(list)) return 0;
    return UnlinkNode(cell, list, object) ? 1 : 0;
}

int Mapgrid_LinkArea(int list, void* object, int tx, int ty, int w, int h)
{
    int cx0, cy0, cx1, cy1;
    if (!object || !ValidList(list) || !CellRange(tx, ty, w, h, &cx0, &cy0, &cx1, &cy1)) return 0;
    int n = 0;
    for (int cy = cy0; cy <= cy1; cy++)
        for (int cx = cx0; cx <= cx1; cx++, n++) LinkNode(Mapgrid_Cell(cx, cy), list, object);
    return n;
}

int Mapgrid_UnlinkArea(int list, void* object, int tx, int ty, int w, int h)
{
    int cx0, cy0, cx1, cy1;
    if (!ValidList(list) || !CellRange(tx, ty, w, h, &cx0, &cy0, &cx1, &cy1)) return 0;
    int n = 0;
    for (int cy = cy0; cy <= cy1; cy++)
        for (int cx = cx0; cx <= cx1; cx++)
            if (UnlinkNode(Mapgrid_Cell(cx, cy), list, object)) n++;
    return n;
}

int Mapgrid_Contains(int list, const void* object, int tx, int ty)
{
    MAPGRID_CELL* cell = Mapgrid_CellOfTile(tx, ty);
    return cell && ValidList(list) && Find(cell, list, object) >= 0 ? 1 : 0;
}

// OVF_INGRID keeps an overlay from being linked twice, and lets the overlay
// module tell which overlays a closed grid took with it.
int Mapgrid_AddOverlay(OVERLAY* o)
{
    if (!o) return 0;
    if (o->flags & OVF_INGRID) return 1;
    if (!Mapgrid_Link(MGL_OVERLAY, o, o->tilepos.x, o->tilepos.y)) return 0;
    o->flags |= OVF_INGRID;
    return 1;
}

int Mapgrid_RemoveOverlay(OVERLAY* o)
{
    if (!o || !(o->flags & OVF_INGRID)) return 0;
    o->flags &= ~(uint32_t)OVF_INGRID;
    return Mapgrid_Unlink(MGL_OVERLAY, o, o->tilepos.x, o->tilepos.y);
}

OVERLAY* Mapgrid_FindAtPixel(int x, int y)
{
    MAPGRID_CELL* cell = Mapgrid_CellOfTile(x, y);
    if (!cell) return nullptr;
    for (int i = cell->count[MGL_OVERLAY]; i-- > 0;) {
        OVERLAY* o = static_cast<OVERLAY*>(cell->items[MGL_OVERLAY][i]);
        if (o->tilepos.x == x && o->tilepos.y == y) return o;
    }
    return nullptr;
}

int Mapgrid_EntryType(int list)
{
    static const int kTypes[MGL_LISTS] = {ST_OVERLAY, ST_UNIT, ST_BUILDING};
    return ValidList(list) ? kTypes[list] : ST_VOID;
}

void Mapgrid_SaveAll(void)
{
    if (!s_cells) return;
    for (int i = 0; i < s_cx * s_cy; i++) {
        MAPGRID_CELL& cell = s_cells[i];
        for (int l = 0; l < MGL_LISTS; l++)
            if (cell.items[l]) Save_RegisterPointer(&cell.items[l], cell.items[l], ST_MAPGRID, "cell->items[l]");
        Save_RegisterBlock(SAVEK_GLOBAL, &cell, ST_MAPGRID, sizeof cell);
        for (int l = 0; l < MGL_LISTS; l++) {
            void** items = cell.items[l];
            if (!items) continue;
            // A listing reads no entry: a loaded count is checked afterwards.
            for (int k = 0; !(g_SaveFlags & SAVEF_LISTONLY) && k < cell.count[l]; k++)
                Save_RegisterPointer(&items[k], items[k], Mapgrid_EntryType(l), "cell->items[l][i]");
            Save_RegisterBlock(SAVEK_LOCAL, items, ST_MAPGRID, (size_t)cell.count[l] * sizeof(void*));
        }
    }
}

const char* Mapgrid_CheckLoaded(void)
{
    for (int i = 0; s_cells && i < s_cx * s_cy; i++) {
        const MAPGRID_CELL& cell = s_cells[i];
        for (int l = 0; l < MGL_LISTS; l++) {
            void** items = cell.items[l];
            long size = items ? Save_LoadedSize(items) : 0;
            if (size != (long)cell.count[l] * (long)sizeof(void*)) return "a grid cell's count";
            if (cell.capacity[l] < cell.count[l] || (items != nullptr) != (cell.capacity[l] > 0))
                return "a grid cell's capacity";
            for (int k = 0; k < cell.count[l]; k++)
                if (!items[k]) return "a null entry in a grid cell";
        }
    }
    return nullptr;
}

int Mapgrid_ListTotal(int list)
{
    int n = 0;
    for (int i = 0; s_cells && ValidList(list) && i < s_cx * s_cy; i++) n += s_cells[i].count[list];
    return n;
}

int Mapgrid_CountInCell(int list, const void* object, int index)
{
    if (!s_cells || !ValidList(list) || index < 0 || index >= s_cx * s_cy) return 0;
    const MAPGRID_CELL& cell = s_cells[index];
    int n = 0;
    for (int k = 0; k < cell.count[list]; k++) n += cell.items[list][k] == object;
    return n;
}

int Mapgrid_AreaHoldsOnce(int list, const void* object, int tx, int ty, int w, int h, int* cells)
{
    int cx0, cy0, cx1, cy1;
    *cells = 0;
    if (!CellRange(tx, ty, w, h, &cx0, &cy0, &cx1, &cy1)) return 1;
    int once = 1;
    for (int cy = cy0; cy <= cy1; cy++)
        for (int cx = cx0; cx <= cx1; cx++, (*cells)++)
            once &= Mapgrid_CountInCell(list, object, cy * s_cx + cx) == 1;
    return once;
}

// The loaded arrays hold their entries; they grow to the capacity they had.
void Mapgrid_AfterLoad(void)
{
    for (int i = 0; s_cells && i < s_cx * s_cy; i++) {
        MAPGRID_CELL& cell = s_cells[i];
        for (int l = 0; l < MGL_LISTS; l++)
            if (cell.items[l])
                cell.items[l] = static_cast<void**>(Debug_Realloc(cell.items[l], (size_t)cell.capacity[l] * sizeof(void*)));
    }
}
