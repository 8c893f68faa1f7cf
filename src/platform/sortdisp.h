// The sorted display list.
//
// Everything drawn over the terrain (unit parts, buildings, things,
// projectiles, explosions) is a display element: a sprite frame at a world
// pixel position. Elements are kept in SORTDISP_LAYERS layers, each of
// SORTDISP_BUCKETS depth buckets; SortDisp_DrawAll draws layer 0 first, and
// inside a layer bucket 0 first, so higher layers cover lower ones and, in a
// layer, what stands further down the map covers what stands above it.
//
// Depth: the bucket is the world y divided by SORTDISP_BUCKET_PIXELS (two
// tiles), clamped to 0 .. 255, so the 256 buckets cover a map of 512 tiles
// (the largest the map loader accepts) without wrapping; inside a bucket
// elements are kept in ascending y, and elements of equal y in the order in
// which they entered the bucket. The whole list is therefore ordered by
// (layer, y, entry), for any y: a y past the last bucket, or a negative one,
// only makes its bucket longer.
//
// Chains: an element made with a parent joins the end of the parent's chain
// (a unit's body, its turret and its shadow), so that the owner shows, hides
// and deletes them together. The chain operations act on the element given
// and every element after it in its chain; given the first element, that is
// the whole chain.
//
// Elements come from a pool; SortDisp_Close frees the pool, and elements
// still alive then are reported by it ("%d extra mallocs").
#pragma once

#include <cstdint>

struct SPRITE;

enum {
    SORTDISP_LAYERS = 34,
    SORTDISP_BUCKETS = 256,
    SORTDISP_BUCKET_PIXELS = 48,   // world pixels of y per depth bucket
    SORTDISP_MAX_FRAME = 1023,     // 10 bits
    SORTDISP_MAX_REMAP = 63,       // 6 bits
    SORTDISP_MAX_MODE = 15,        // 4 bits
};

// Remap values: 0..7 draw through g_TeamRemap[remap] (the team colours);
// SORTDISP_REMAP_HILITE through g_HighlightTable; every other value draws
// the sprite's own colours (SORTDISP_REMAP_NONE is the one to use for that).
enum {
    SORTDISP_REMAP_TEAMS = 8,
    SORTDISP_REMAP_HILITE = 16,
    SORTDISP_REMAP_NONE = 63,
};

// Render modes are Graph_DrawRLE's: 0 opaque, 3..6 translucent, 7 not
// drawn, 8 highlighted, 9 light.
enum {
    SORTDISP_MODE_NORMAL = 0,
    SORTDISP_MODE_HILITE = 8,
};

struct DISPLAYELEMENT {
    DISPLAYELEMENT* next;     // bucket list
    DISPLAYELEMENT* prev;
    DISPLAYELEMENT* nextup;   // chain: the elements drawn with this one
    DISPLAYELEMENT* prevup;
    SPRITE* sprite;           // null draws nothing
    int32_t x, y;             // world pixels of hot spot 0
    uint32_t frame : 10;
    uint32_t direction : 8;   // facing 0..255, a full turn
    uint32_t remap : 6;
    uint32_t rendermode : 4;
    uint32_t visible : 1;
    uint32_t spare : 3;
    uint16_t layer;           // 0 .. SORTDISP_LAYERS - 1
    uint16_t flags;           // the creator's flags, kept for its owner; not read here
};

// Empties every bucket and sets up the element pool; fatal "SortDisp
// already initialised" when it is.
void SortDisp_Init(void);
// Frees every element (the pool logs those still alive); fatal "SortDisp not
// initialised" when it isn't.
void SortDisp_Close(void);

// A new visible element at world (x, y) on layer (asserted < SORTDISP_LAYERS);
// frame, direction and remap are cut to their field widths (frame & 1023,
// direction & 255, remap & 63), render mode 0. With a parent it joins the end
// of the parent's chain. Never null; fatal "SortDisp not initialised" before
// SortDisp_Init.
DISPLAYELEMENT* SortDisp_NewElement(SPRITE* sprite, DISPLAYELEMENT* parent, int remap, int frame,
                                    int direction, int x, int y, int layer, int flags);
// Deletes e and the elements after it in its chain (null: nothing). The
// element before e, if any, ends its chain.
void SortDisp_DeleteChain(DISPLAYELEMENT* e);
// Makes e and the elements after it in its chain visible / invisible.
void SortDisp_ShowChain(DISPLAYELEMENT* e);
void SortDisp_HideChain(DISPLAYELEMENT* e);

// Moves e to world (x, y); a changed y moves it to its new depth, after the
// elements of equal y there.
void SortDisp_SetPosition(DISPLAYELEMENT* e, int x, int y);
// Moves e to another layer (asserted < SORTDISP_LAYERS), after the elements
// of equal y there.
void SortDisp_SetLayer(DISPLAYELEMENT* e, int layer);
void SortDisp_SetSprite(DISPLAYELEMENT* e, SPRITE* sprite);
// Field setters; each value is cut to its field (frame & 1023, direction &
// 255, remap & 63, mode & 15).
void SortDisp_SetFrame(DISPLAYELEMENT* e, int frame);
// The facing 0..255 (a full turn) selects the sprite's rotation
// (direction * rotations + 128) / 256 % rotations: the nearest rotation, the
// rotations spread evenly over the turn from 0.
void SortDisp_SetDirection(DISPLAYELEMENT* e, int direction);
void SortDisp_SetRemap(DISPLAYELEMENT* e, int remap);
void SortDisp_SetRenderMode(DISPLAYELEMENT* e, int mode);

SPRITE* SortDisp_GetSprite(const DISPLAYELEMENT* e);
int SortDisp_GetFrame(const DISPLAYELEMENT* e);
int SortDisp_GetDirection(const DISPLAYELEMENT* e);
int SortDisp_GetRemap(const DISPLAYELEMENT* e);
int SortDisp_GetRenderMode(const DISPLAYELEMENT* e);
// The sprite rotation that e's direction selects (0 without a sprite).
int SortDisp_Rotation(const DISPLAYELEMENT* e);

// Draws every visible element into the back buffer, layer by layer and
// bucket by bucket, through Graph_DrawRLE: the frame's top-left at the
// element's world position minus the sprite's hot spot 0 minus the view
// origin (g_MapView), plus the view's screen position, clipped to the
// 456 x 456 view. Elements whose frame box lies wholly outside the view, and
// those without a sprite or with a frame the sprite doesn't have, are
// skipped. Nothing without a back buffer.
void SortDisp_DrawAll(void);

// --- saved games ---
// Registers the 34 x 256 bucket heads ({head, tail} as one global VOID block,
// "sortdisp[l].list[b]") and every element along each bucket as a local
// DISPLAYELEMENT block after its pointer fields. Nothing before SortDisp_Init.
void SortDisp_RegisterForSave(void);
// A zeroed element from the pool, in no bucket (a loaded block's record).
DISPLAYELEMENT* SortDisp_AllocRecord(void);
// Back to the pool without touching any link (a replaced or refused record).
void SortDisp_FreeRecord(DISPLAYELEMENT* e);
// After a load: null when every bucket's elements lie in it (layer and depth),
// in ascending y, with next/prev and head/tail consistent, and every chain
// link answered by its partner; else what is wrong.
const char* SortDisp_CheckLoaded(void);

// The number of live elements.
int SortDisp_Count(void);
// The first element of a bucket (null when empty), for walking the lists
// along next; layer and bucket are asserted in range.
DISPLAYELEMENT* SortDisp_BucketHead(int layer, int bucket);
// The bucket that world y falls in.
int SortDisp_BucketOf(int y);
