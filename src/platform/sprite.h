// Sprites: run-length images in frames and rotations, and their drawing.
//
// A sprite file ("RSPR", "SSPR" or "LSPR", version 0x210; the rest of the
// layout in docs/formats.md, "Sprite files") holds frames x rotations images
// of one size, each a row-wise run-length stream with a few hot spots, plus
// numbered sections (frame ranges with a speed) that animations play. The
// three magics are the three kinds, which differ only in how a pixel is drawn:
//
//   SPRITE_REGULAR (RSPR) pixels are palette indices, drawn through the
//                         caller's colour remap and render mode;
//   SPRITE_SHADOW  (SSPR) any non-zero pixel darkens what lies under it to
//                         SPRITE_SHADOW_SHADE / 128 of its brightness
//                         (g_ShadeTable); the pixel's value doesn't matter;
//   SPRITE_LIGHT   (LSPR) a pixel p is an intensity that brightens what lies
//                         under it through g_ShadeTable row 128 + p / 2 (up
//                         to twice as bright).
//
// The reader checks every run against its row when the file is loaded, so a
// loaded frame draws without any test beyond clipping.
//
// Sprites are reference-counted and all live on one list (g_SpriteList),
// which the save system walks. A sprite keeps the name it was loaded by so
// that it can be reloaded in place: display elements and animation types
// point at the record, which keeps its address.
#pragma once

#include <cstdint>
#include <string>

#include "core/utils.h"

struct BITMAP;
struct GRECT;

enum SPRITE_KIND { SPRITE_REGULAR = 0, SPRITE_SHADOW = 1, SPRITE_LIGHT = 2 };

enum {
    SPRITE_VERSION = 0x210,
    SPRITE_MAXSIDE = 512,       // width and height 1..512
    SPRITE_MAXFRAMES = 1024,
    SPRITE_MAXROTATIONS = 64,
    SPRITE_MAXSECTIONS = 256,   // sections per sprite, numbered 0..255
    SPRITE_MAXHOTSPOTS = 16,    // hot spots per image
    SPRITE_HEADER_BYTES = 28,
    SPRITE_SECTION_BYTES = 20,
    SPRITE_SPEED_ONE = 0x10000, // 1.0 in 16.16: one frame per update
    SPRITE_SHADOW_SHADE = 72,   // the g_ShadeTable row of shadows: 72/128 of the brightness
};

// Render modes of Graph_DrawRLE (the display list keeps them in 4 bits).
enum SPRITE_RENDER {
    RENDER_OPAQUE = 0,          // remap[p]; modes 1, 2 and 10..15 draw as this
    RENDER_TRANSLUCENT_A0 = 3,  // g_BlendTables[mode - 3][remap[p]][under]
    RENDER_TRANSLUCENT_A1 = 4,  // ... level 1: also the editor's placement ghosts
    RENDER_TRANSLUCENT_B0 = 5,
    RENDER_TRANSLUCENT_B1 = 6,
    RENDER_HIDDEN = 7,          // nothing drawn
    RENDER_HIGHLIGHT = 8,       // g_HighlightTable[p]: the highlight stands in for the remap
    RENDER_LIGHT = 9,           // under brightened: g_ShadeTable[128 + 2 g_GreyRemap[remap[p]]]
    RENDER_GHOST = RENDER_TRANSLUCENT_A1,
};

// A hot spot: a point relative to the image's top-left corner, and a height.
struct SPRITE_POINT {
    int x, y, z;
};

// A numbered section: frames first..last played at speed (16.16 frames per
// update), and a value its user interprets.
struct SPRITE_SECTION {
    int first, last;
    int32_t speed;
    int32_t extra;
};

// One image (frame f, rotation r): its run-length stream and hot spots.
struct SPRITE_IMAGE {
    const uint8_t* rle;         // into SPRITE::rledata
    uint32_t rlebytes;
    int firsthot;               // into SPRITE::hotspots
    int nrhot;
};

struct SPRITE {
    // The name it was loaded by: a data-directory file name (Textfile_FindSprite,
    // byname set) or the path given to Sprite_Load. Reloads look it up again.
    char name[UTILS_PATH];
    int byname;
    int refcount;
    int kind;                   // SPRITE_KIND
    int fsize, rsize;           // frames, rotations
    int w, h;
    int nrsections;
    int* sectionno;             // nrsections numbers, in file order
    SPRITE_SECTION* sections;   // nrsections sections
    SPRITE_IMAGE* images;       // fsize x rsize, image (f, r) at f * rsize + r
    SPRITE_POINT* hotspots;
    uint8_t* rledata;
    SPRITE* next;               // the sprite list
    SPRITE* prev;
};

// The sprite list, oldest first.
extern SPRITE* g_SpriteList;

// Registers every sprite of the list as a static global SPRITE block.
void Sprite_SaveAll(void);

// ------------------------------------------------------------------ loading

// Loads a sprite file as a new sprite (count 1, on the list, named by path);
// null on a missing, truncated, oversized or inconsistent file, logged as an
// error naming the file, the offset and what was expected there.
SPRITE* Sprite_Load(const char* path);
// Drops one reference; at zero the sprite leaves the list and is freed. Null
// is nothing to do.
void Sprite_Free(SPRITE* sprite);
// Frees every sprite whatever its count, logging (warning) each one that
// still had references. For the common-systems close.
void Sprite_FreeAll(void);
// The common-systems entries: both leave the list empty (Sprite_FreeAll).
void Sprite_InitAll(void);
void Sprite_CloseAll(void);
// The number of sprites on the list.
int Sprite_Count(void);

// A data-directory sprite: an already loaded sprite of that name (compared
// without regard to case) with its count raised, or the file loaded from
// g_GraphicsDir, else from <g_DataDir2>\graphics when a second data directory
// is set; null when neither has a loadable file (logged).
SPRITE* Textfile_FindSprite(const char* filename);
// Reloads the sprite in place from where its name leads (the data directories
// for Textfile_FindSprite's sprites, the path for Sprite_Load's): same
// address, count and list place. Fatal "Unable to reload [%s]" (name) when it
// can't be loaded again, "Incompatible sprites [%s] and [%s]" (name, the new
// file's path) when the new one doesn't have the same layout.
void Textfile_ReloadSprite(SPRITE* sprite);

// ------------------------------------------------------------------ queries

// 0 RSPR, 1 SSPR, 2 LSPR.
int Sprite_GetKind(const SPRITE* sprite);
int Sprite_NrFrames(const SPRITE* sprite);
int Sprite_NrRotations(const SPRITE* sprite);
int Sprite_GetWidth(const SPRITE* sprite);
int Sprite_GetHeight(const SPRITE* sprite);
// 1 when both have the same frame and rotation counts and the same size.
int Sprite_SameLayout(const SPRITE* a, const SPRITE* b);
// The run-length stream of frame f in rotation r (for Graph_DrawRLE with the
// sprite's width and height). Asserts "f>=0 && f < sprite->fsize" and
// "r>=0 && r < sprite->rsize".
const uint8_t* Sprite_GetFrame(const SPRITE* sprite, int f, int r);
// The section of that number; {0, 0, SPRITE_SPEED_ONE, 0} when there is none.
SPRITE_SECTION Sprite_GetSectionInfo(const SPRITE* sprite, int section);
// Hot spot n of frame f in rotation r; (w / 2, h / 2, 1) when the image has no
// hot spot n. Asserts as Sprite_GetFrame.
SPRITE_POINT Sprite_GetHotspot(const SPRITE* sprite, int n, int f, int r);
// The same, x and y stored (either may be null) and z returned.
int Sprite_GetHotspotXY(const SPRITE* sprite, int n, int f, int r, int* x, int* y);

// ------------------------------------------------------------------ drawing

// Draws a run-length frame with its top-left corner at (x, y), clipped to
// clip (null: the whole bitmap) and to dst; runs partly outside are cut.
// remap is a 256-entry colour table (null: identity); kind is the sprite's
// SPRITE_KIND, mode a SPRITE_RENDER (shadows and lights draw as their kind
// whatever the mode, except RENDER_HIDDEN). flags is reserved (0). rle must
// be a loaded frame (Sprite_GetFrame) of that width and height: it isn't
// checked again.
void Graph_DrawRLE(BITMAP* dst, const GRECT* clip, int flags, int x, int y, const uint8_t* rle,
                   int w, int h, const uint8_t* remap, int kind, int mode);

// Whether team remaps that change at most 16 neighbouring colours are drawn
// sixteen pixels at a time where the processor can (on by default; the
// result is the same either way); gives the previous setting.
int Graph_SetVectorRemap(int enable);

// ------------------------------------------------------------------ writing

// A sprite to write: frames x rotations full images of w x h palette indices
// (0 transparent), image (f, r) at (f * rotations + r) * w * h, row by row;
// nrhotspots hot spots for every image, image (f, r)'s at
// (f * rotations + r) * nrhotspots; sections with their numbers (a null
// sectionno numbers them 0, 1, ...).
struct SPRITE_DESC {
    int kind;
    int frames, rotations, w, h;
    const uint8_t* pixels;
    int nrhotspots;
    const SPRITE_POINT* hotspots;
    int nrsections;
    const int* sectionno;
    const SPRITE_SECTION* sections;
};

// The bytes of a sprite file for desc; 0 (logged, naming what) when desc is
// outside the format's limits.
int Sprite_Encode(const SPRITE_DESC* desc, std::string* out);
// Writes desc as a sprite file (atomically); 1 on success, 0 when desc is out
// of range or the write fails (logged with the path).
int Sprite_Write(const char* path, const SPRITE_DESC* desc);
