// The region list.
//
// The walk of Region_FindByIndex is kept as the position of the region it
// returned last, not as a pointer: deleting a region at or before that
// position moves the position back one, so a walk that deletes as it goes
// carries on with the region that followed, and never follows a freed block.
#include "map/region.h"

#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/savetype.h"

#include <cstring>

#include "core/debug.h"
#include "core/gll.h"

static GLL* s_regions = nullptr;
static int s_walkpos = 0;   // 1-based position returned last, 0 before the first

static GLL* List(void)
{
    if (!s_regions) s_regions = GLL_Create();
    return s_regions;
}

REGION* Region_Add(const REGION* region)
{
    if (!region) return nullptr;
    REGION* copy = static_cast<REGION*>(Debug_Malloc(sizeof(REGION)));
    memcpy(copy, region, sizeof(REGION));
    GLL* list = List();
    GLL_GoLast(list);
    GLL_InsertAfter(list, copy);
    return copy;
}

void Region_Delete(REGION* region)
{
    if (!region || !s_regions) return;
    int pos = 1;
    for (void* e = GLL_GoFirst(s_regions); e; e = GLL_GoNext(s_regions), pos++) {
        if (e != region) continue;
        GLL_DeleteCurrent(s_regions);
        Debug_Free(&region);
        if (pos <= s_walkpos) s_walkpos--;
        return;
    }
}

REGION* Region_FindById(uint32_t id)
{
    if (!s_regions) return nullptr;
    for (void* e = GLL_GoFirst(s_regions); e; e = GLL_GoNext(s_regions))
        if (static_cast<REGION*>(e)->id == id) return static_cast<REGION*>(e);
    return nullptr;
}

REGION* Region_FindByIndex(int restart)
{
    if (restart) s_walkpos = 0;
    if (!s_regions || s_walkpos >= s_regions->count) return nullptr;
    REGION* r = static_cast<REGION*>(GLL_GoTo(s_regions, s_walkpos + 1));
    if (r) s_walkpos++;
    return r;
}

REGION* Region_Iterate(int (*fn)(REGION* region, void* arg), void* arg)
{
    if (!s_regions || !fn) return nullptr;
    // Walk the nodes ourselves: fn may look regions up, which moves the cursor.
    for (GLL_NODE* n = s_regions->first; n; n = n->next) {
        REGION* r = static_cast<REGION*>(n->element);
        if (fn(r, arg)) return r;
    }
    return nullptr;
}

// The largest s with s * s <= v.
static uint64_t ISqrt(uint64_t v)
{
    uint64_t s = 0;
    for (uint64_t bit = (uint64_t)1 << 62; bit; bit >>= 2) {
        if (v >= s + bit) {
            v -= s + bit;
            s = (s >> 1) + bit;
        } else {
            s >>= 1;
        }
    }
    return s;
}

int Region_ContainsTile(const REGION* region, int x, int y)
{
    if (!region) return 0;
    const int T = 24;
    switch (region->flags & REGION_SHAPE_MASK) {
    case RT_RECTANGLE:
        return region->x1 / T <= x && x <= region->x2 / T && region->y1 / T <= y &&
               y <= region->y2 / T;
    case RT_CIRCLE: {
        // Unsigned 64 bits: coordinates from a scenario file may be anything,
        // and two squares of 32-bit differences fit only there.
        int64_t dx = (int64_t)x - region->x1 / T;
        int64_t dy = (int64_t)y - region->y1 / T;
        uint64_t d2 = (uint64_t)(dx * dx) + (uint64_t)(dy * dy);
        int32_t r = region->x2 / T;
        return r >= 0 && ISqrt(d2) <= (uint64_t)r;
    }
    default:
        return 0;
    }
}

REGION* Region_FindAtPixel(int px, int py)
{
    if (px < 0 || py < 0 || !s_regions) return nullptr;
    for (GLL_NODE* n = s_regions->first; n; n = n->next) {
        REGION* r = static_cast<REGION*>(n->element);
        if (Region_ContainsTile(r, px / 24, py / 24)) return r;
    }
    return nullptr;
}


void Region_FreeAll(void)
{
    GLL_Destroy(s_regions, GLL_FREE_ELEMENTS);
    s_regions = nullptr;
    s_walkpos = 0;
}

GLL* Region_List(void) { return s_regions; }

void Region_SaveAll(void)
{
    if (!s_regions) return;
    for (GLL_NODE* n = s_regions->first; n && Save_WalkGoesOn(); n = n->next)
        Save_RegisterBlock(SAVEK_GLOBAL, n->element, ST_REGION, sizeof(REGION));
}

int Region_Count(void) { return s_regions ? s_regions->count : 0; }
