// Regions: named rectangles and circles on the map that scenarios, end
// conditions and computer players refer to by id.
//
// Coordinates are world pixels: x1 y1 x2 y2 for a rectangle, centre x,
// centre y and radius in x1 y1 x2 for a circle. The region list keeps its own
// copies in the order they were added.
#pragma once

#include <cstdint>

struct GLL;

enum REGION_TYPE {
    RT_RECTANGLE = 0,
    RT_CIRCLE = 1,
};

enum {
    REGION_SHAPE_MASK = 0xFF,     // the shape is the low byte of the flag word
    REGION_HILITE = 0x100,        // the editor's highlight
    REGION_TEAMS = 9,
};

// Stored as 60 bytes: id, flags, four coordinates and 9 totals, 4 bytes each.
struct REGION {
    uint32_t id;
    uint32_t flags;
    int32_t x1, y1, x2, y2;            // circle: cx, cy, r, unused
    int32_t harass[REGION_TEAMS];      // per-team harassment totals
};

// Adds a copy of region at the end of the list and returns the copy; null for
// a null record.
REGION* Region_Add(const REGION* region);
// Registers every region of the list, in order, as a global REGION block:
// a load fills the same records, so what holds a region keeps it.
void Region_SaveAll(void);
// Removes and frees the region with that address; nothing when it isn't in
// the list.
void Region_Delete(REGION* region);
// The first region with that id, null when none.
REGION* Region_FindById(uint32_t id);
// restart non-zero: the first region; 0: the one after the region returned
// last. Null at the end or when the list is empty. Deleting the region
// returned last makes the next call return the one that followed it.
REGION* Region_FindByIndex(int restart);
// Calls fn(region, arg) in list order until one returns non-zero; that
// region, or null. fn must not delete regions.
REGION* Region_Iterate(int (*fn)(REGION* region, void* arg), void* arg);
// Rectangle: x1/24 <= x <= x2/24 and y1/24 <= y <= y2/24. Circle: the
// integer square root of the squared tile distance of (x, y) from
// (cx/24, cy/24) is at most r/24. Other shapes: 0.
int Region_ContainsTile(const REGION* region, int x, int y);
// The first region in list order that contains the tile of map pixel
// (px, py); null when none or for a negative pixel.
REGION* Region_FindAtPixel(int px, int py);
// The number of regions.
int Region_Count(void);
// Frees every region.
void Region_FreeAll(void);
// The region list (elements REGION*), null while it is empty and unused.
GLL* Region_List(void);
