// The sorted display list: 34 layers x 256 depth buckets of doubly linked
// elements, each bucket in ascending y (see the header for why a bucket is
// two tiles of y).
//
// Invariants: a live element is in exactly one bucket, the one of its layer
// and of BucketOf(y); its chain links (nextup / prevup) are consistent in
// both directions. Insertion walks the bucket from its end, because elements
// mostly enter at or near the bottom of what is already there (a moving unit
// steps by a few pixels).
#include "platform/sortdisp.h"

#include "core/debug.h"
#include "core/guard.h"
#include "core/pool.h"
#include "core/tlog.h"
#include "map/mapview.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "platform/sprite.h"
#include "platform/video.h"
#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/savetype.h"

namespace {

struct BUCKET {
    DISPLAYELEMENT* head;
    DISPLAYELEMENT* tail;
};

MODULE_GUARD s_guard = MODULE_GUARD_INIT("SortDisp");
POOL s_pool;
BUCKET s_buckets[SORTDISP_LAYERS][SORTDISP_BUCKETS];

BUCKET& BucketFor(const DISPLAYELEMENT* e) { return s_buckets[e->layer][SortDisp_BucketOf(e->y)]; }

void Unlink(DISPLAYELEMENT* e)
{
    BUCKET& b = BucketFor(e);
    if (e->prev) e->prev->next = e->next;
    else b.head = e->next;
    if (e->next) e->next->prev = e->prev;
    else b.tail = e->prev;
    e->next = e->prev = nullptr;
}

// After every element of the bucket with y <= e->y.
void Link(DISPLAYELEMENT* e)
{
    BUCKET& b = BucketFor(e);
    DISPLAYELEMENT* after = b.tail;
    while (after && after->y > e->y) after = after->prev;
    e->prev = after;
    e->next = after ? after->next : b.head;
    if (e->next) e->next->prev = e;
    else b.tail = e;
    if (after) after->next = e;
    else b.head = e;
}

const uint8_t* RemapTable(int remap)
{
    if (remap < SORTDISP_REMAP_TEAMS) return g_TeamRemap[remap];
    if (remap == SORTDISP_REMAP_HILITE) return g_HighlightTable;
    return nullptr;
}

int RotationOf(const DISPLAYELEMENT* e)
{
    int rotations = e->sprite ? Sprite_NrRotations(e->sprite) : 0;
    if (rotations <= 0) return 0;
    return (int)((e->direction * rotations + 128) / 256 % rotations);
}

void Draw(BITMAP* dst, const GRECT& view, const DISPLAYELEMENT* e)
{
    const SPRITE* s = e->sprite;
    if (!s || (int)e->frame >= Sprite_NrFrames(s)) return;
    int r = RotationOf(e);
    int hx = 0, hy = 0;
    Sprite_GetHotspotXY(s, 0, e->frame, r, &hx, &hy);
    // 64 bits: a world position near the int limits must not wrap into view.
    int64_t x = (int64_t)e->x - hx - g_MapView.x + view.x;
    int64_t y = (int64_t)e->y - hy - g_MapView.y + view.y;
    int w = Sprite_GetWidth(s), h = Sprite_GetHeight(s);
    if (x + w <= view.x || y + h <= view.y || x >= view.x + view.w || y >= view.y + view.h) return;
    Graph_DrawRLE(dst, &view, 0, (int)x, (int)y, Sprite_GetFrame(s, e->frame, r), w, h,
                  RemapTable(e->remap), Sprite_GetKind(s), e->rendermode);
}

} // namespace

int SortDisp_BucketOf(int y)
{
    if (y < 0) return 0;
    int b = y / SORTDISP_BUCKET_PIXELS;
    return b < SORTDISP_BUCKETS ? b : SORTDISP_BUCKETS - 1;
}

void SortDisp_Init(void)
{
    Guard_Init(&s_guard);
    Pool_Init(&s_pool, "DISPLAYELEMENT", sizeof(DISPLAYELEMENT), 256);
    for (auto& layer : s_buckets)
        for (BUCKET& b : layer) b = BUCKET{nullptr, nullptr};
}

void SortDisp_Close(void)
{
    Guard_Close(&s_guard);
    Pool_Close(&s_pool);
    for (auto& layer : s_buckets)
        for (BUCKET& b : layer) b = BUCKET{nullptr, nullptr};
}

DISPLAYELEMENT* SortDisp_NewElement(SPRITE* sprite, DISPLAYELEMENT* parent, int remap, int frame,
                                    int direction, int x, int y, int layer, int flags)
{
    Guard_Require(&s_guard);
    ASSERT(layer >= 0 && layer < SORTDISP_LAYERS);
    DISPLAYELEMENT* e = static_cast<DISPLAYELEMENT*>(Pool_Alloc(&s_pool));
    e->sprite = sprite;
    e->x = x;
    e->y = y;
    e->frame = (uint32_t)frame & SORTDISP_MAX_FRAME;
    e->direction = (uint32_t)direction & 255;
    e->remap = (uint32_t)remap & SORTDISP_MAX_REMAP;
    e->rendermode = SORTDISP_MODE_NORMAL;
    e->visible = 1;
    e->layer = (uint16_t)layer;
    e->flags = (uint16_t)flags;
    Link(e);
    if (parent) {
        DISPLAYELEMENT* last = parent;
        while (last->nextup) last = last->nextup;
        last->nextup = e;
        e->prevup = last;
    }
    return e;
}

void SortDisp_DeleteChain(DISPLAYELEMENT* e)
{
    if (!e) return;
    if (e->prevup) e->prevup->nextup = nullptr;
    while (e) {
        DISPLAYELEMENT* up = e->nextup;
        Unlink(e);
        Pool_Free(&s_pool, e);
        e = up;
    }
}

void SortDisp_ShowChain(DISPLAYELEMENT* e)
{
    for (; e; e = e->nextup) e->visible = 1;
}

void SortDisp_HideChain(DISPLAYELEMENT* e)
{
    for (; e; e = e->nextup) e->visible = 0;
}

void SortDisp_SetPosition(DISPLAYELEMENT* e, int x, int y)
{
    e->x = x;
    if (e->y == y) return;
    Unlink(e);
    e->y = y;
    Link(e);
}

void SortDisp_SetLayer(DISPLAYELEMENT* e, int layer)
{
    ASSERT(layer >= 0 && layer < SORTDISP_LAYERS);
    if (e->layer == layer) return;
    Unlink(e);
    e->layer = (uint16_t)layer;
    Link(e);
}

void SortDisp_SetSprite(DISPLAYELEMENT* e, SPRITE* sprite) { e->sprite = sprite; }

void SortDisp_SetFrame(DISPLAYELEMENT* e, int frame)
{
    e->frame = (uint32_t)frame & SORTDISP_MAX_FRAME;
}

void SortDisp_SetDirection(DISPLAYELEMENT* e, int direction)
{
    e->direction = (uint32_t)direction & 255;
}

void SortDisp_SetRemap(DISPLAYELEMENT* e, int remap)
{
    e->remap = (uint32_t)remap & SORTDISP_MAX_REMAP;
}

void SortDisp_SetRenderMode(DISPLAYELEMENT* e, int mode)
{
    e->rendermode = (uint32_t)mode & SORTDISP_MAX_MODE;
}

SPRITE* SortDisp_GetSprite(const DISPLAYELEMENT* e) { return e->sprite; }
int SortDisp_GetFrame(const DISPLAYELEMENT* e) { return e->frame; }
int SortDisp_GetDirection(const DISPLAYELEMENT* e) { return e->direction; }
int SortDisp_GetRemap(const DISPLAYELEMENT* e) { return e->remap; }
int SortDisp_GetRenderMode(const DISPLAYELEMENT* e) { return e->rendermode; }
int SortDisp_Rotation(const DISPLAYELEMENT* e) { return RotationOf(e); }

void SortDisp_DrawAll(void)
{
    Guard_Require(&s_guard);
    BITMAP* dst = Backbuf_Lock();
    if (!dst) return;
    const GRECT view{MAPVIEW_SCREEN_X, MAPVIEW_SCREEN_Y, MAPVIEW_SIZE, MAPVIEW_SIZE};
    for (auto& layer : s_buckets)
        for (const BUCKET& b : layer)
            for (const DISPLAYELEMENT* e = b.head; e; e = e->next)
                if (e->visible) Draw(dst, view, e);
}

int SortDisp_Count(void) { return s_pool.live; }

DISPLAYELEMENT* SortDisp_BucketHead(int layer, int bucket)
{
    ASSERT(layer >= 0 && layer < SORTDISP_LAYERS && bucket >= 0 && bucket < SORTDISP_BUCKETS);
    return s_buckets[layer][bucket].head;
}

void SortDisp_RegisterForSave(void)
{
    if (!s_guard.initialised) return;
    for (auto& layer : s_buckets) {
        for (BUCKET& b : layer) {
            Save_RegisterHead(&b, 2, ST_DISPLAYELEMENT, "sortdisp[l].list[b]");
            for (DISPLAYELEMENT* e = b.head; e && Save_WalkGoesOn(); e = e->next) {
                Save_RegisterTypePointers(ST_DISPLAYELEMENT, e);
                Save_RegisterBlock(SAVEK_LOCAL, e, ST_DISPLAYELEMENT, sizeof *e);
            }
        }
    }
}

DISPLAYELEMENT* SortDisp_AllocRecord(void)
{
    Guard_Require(&s_guard);
    return static_cast<DISPLAYELEMENT*>(Pool_Alloc(&s_pool));
}

void SortDisp_FreeRecord(DISPLAYELEMENT* e) { Pool_Free(&s_pool, e); }

const char* SortDisp_CheckLoaded(void)
{
    for (int l = 0; l < SORTDISP_LAYERS; l++) {
        for (int k = 0; k < SORTDISP_BUCKETS; k++) {
            const BUCKET& b = s_buckets[l][k];
            const DISPLAYELEMENT* last = nullptr;
            for (const DISPLAYELEMENT* e = b.head; e; last = e, e = e->next) {
                if (e->prev != last) return "a display element's prev link";
                if (e->layer != l || SortDisp_BucketOf(e->y) != k) return "a display element in another bucket";
                if (last && last->y > e->y) return "display elements out of depth order";
                if (e->nextup && e->nextup->prevup != e) return "a display chain's link";
                if (e->prevup && e->prevup->nextup != e) return "a display chain's link";
            }
            if (b.tail != last) return "a display bucket's tail";
        }
    }
    return nullptr;
}
