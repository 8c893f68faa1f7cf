// Overlays: the things on the map (trees, rocks, craters) and the pieces that
// buildings show, each a display element at a tile.
//
// Thing types are a table of at most OVL_MAX_TYPES records filled from the
// thing file. Overlays are records from a pool on one list (g_Overlays,
// linked by nextoverlay / prevoverlay, newest last) and in the map grid at
// their tile position while the grid is open.
//
// Deleting an overlay in use: a holder marks an overlay it keeps across
// updates with Ovl_Use and lets go with Ovl_Release. Ovl_Delete of an
// overlay in use takes it out of the game at once (off the list, out of the
// grid, display deleted) and keeps only the record, marked delete-pending;
// the last Ovl_Release frees it. So a holder's pointer stays valid until its
// own release, and nothing else ever sees the overlay again.
#pragma once

#include <cstdint>

#include "platform/graph.h"

struct SPRITE;
struct ANIMTYPE;
struct HEALTHEXPL;
struct OVLEFFECT;
struct DISPLAYELEMENT;

enum {
    OVL_MAX_TYPES = 150,
    OVL_NAME = 64,
    OVL_CRATER_SIZES = 3,
};

struct OVERLAYTYPE {
    char name[OVL_NAME];
    char imagename[OVL_NAME];         // the sprite's file name, no directory
    BITMAP menuimage;                 // the editor's picture of the type (owned)
    ANIMTYPE* animtype;
    ANIMTYPE* shadowanimtype;
    HEALTHEXPL* healthexplosions;     // owned, freed with the types
    SPRITE* sprite;                   // the animation type's sprite (not owned)
    int32_t sx, sy;                   // sprite size in pixels
    int32_t maxhitpoints;
    int32_t level;
    uint32_t canbemorphedinto : 1;
    uint32_t noedit : 1;
    uint32_t makescrater : 3;         // crater size made when destroyed
    uint32_t iscrater : 3;            // crater size + 1, 0 for no crater
    uint32_t seedwater : 8;
    uint32_t seedwaterradius : 8;
    uint32_t spare : 8;
    uint8_t seedmineral;
    uint8_t seedmineralradius;
    char effectname[OVL_NAME];        // the overlay-effect grid of the type ("" none)
    OVLEFFECT* effects;               // that grid, once looked up
};

struct TILEPOS {
    int32_t x, y;
};

enum OVL_FLAGS {
    OVF_FOGGED = 0x1,          // under fog: the visibility pass keeps it hidden
    OVF_SEEN = 0x2,            // seen at least once
    OVF_DELETEPENDING = 0x4,   // deleted while in use: freed at the last release
    OVF_INGRID = 0x8,          // linked into the map grid
};

struct OVERLAY {
    int32_t id;
    int32_t type;              // index into the type table, -1 for a non-thing
    TILEPOS tilepos;
    TILEPOS pixelpos;          // tilepos x 24
    int32_t sx, sy;            // size in pixels
    int32_t remap;             // its own colour remap (SortDisp remap value)
    int32_t layer;
    uint32_t flags;            // OVL_FLAGS
    int32_t usecount;          // Ovl_Use minus Ovl_Release
    DISPLAYELEMENT* display;
    DISPLAYELEMENT* shadowdisplay;
    OVERLAY* nextoverlay;
    OVERLAY* prevoverlay;
};

// The first overlay of the list ("overlays"), null when none.
extern OVERLAY* g_Overlays;
// The crater type index of each crater size, -1 for none.
extern int g_CraterTypes[OVL_CRATER_SIZES];

// Empties the type table, the crater slots and the overlay list; fatal
// "Overlays already initialised" when it is.
void Ovl_Init(void);
// Frees every overlay (pending deletes too, logged) and every type's menu
// image and health explosions; fatal "Overlays not initialised" when it isn't.
void Ovl_FreeAll(void);
// Frees every type (menu images, health explosions) and forgets the crater
// types, keeping the overlays: a thing file read again starts from none.
// Placed things keep their type index, so the caller removes them first.
void Ovl_FreeTypes(void);

// --- types ---
// The next free type, zeroed, or null (logged) when OVL_MAX_TYPES exist.
OVERLAYTYPE* Ovl_NewType(void);
int Ovl_NrTypes(void);
// The type at index, null outside 0 .. Ovl_NrTypes() - 1.
OVERLAYTYPE* Ovl_GetType(int index);
// The index of the type named name (case ignored), -1 when none.
int Ovl_FindType(const char* name);
// The same for the rule files: negative when none.
int Textfile_FindOvlType(const char* name);

// --- overlays ---
// A new overlay of type (-1 for a non-thing) at tile (tx, ty), pixel position
// tile x 24, with a visible display element of sprite on layer (asserted
// < SORTDISP_LAYERS) in remap (negative: SORTDISP_REMAP_NONE), sized sx x sy
// pixels, at the end of the list and in the map grid when it is open. Id -1
// takes the next unique id; an id of 1 or more is reserved (Uid_Reserve).
// Null (logged) for any other id, a tile off the map or a type that doesn't
// exist.
OVERLAY* Ovl_New(int type, int id, int remap, int layer, SPRITE* sprite, int sx, int sy, int tx,
                 int ty);
// Deletes o; deferred while it is in use (see above). Null: nothing.
void Ovl_Delete(OVERLAY* o);
// Marks o in use / lets it go; the last release of a deleted overlay frees it
// (the pointer is then gone).
void Ovl_Use(OVERLAY* o);
void Ovl_Release(OVERLAY* o);
// The number of overlays on the list.
int Ovl_Count(void);

// Puts type's overlay-effect grid on the map from top-left tile (x, y): each
// entry's code other than EFFECTS_NOT_FOOTPRINT (and codes that don't fit the
// 5-bit field) becomes the effect field of its tile; tiles off the map are
// skipped; the connected regions hear of the change. The number of tiles
// set (0 for a type without a grid).
int Ovl_GetEffects(int type, int x, int y);

// Every thing (type >= 0) counts as seen: OVF_SEEN set, OVF_FOGGED cleared.
void Ovl_MakeAllOverlaysVisible(void);
// Shows every overlay's display chain and clears its fog flag.
void Ovl_DisplayAll(void);
// The things whose box meets the map view: shown once the local team has
// seen them (OVF_SEEN), hidden before; all shown with see-all or while
// unexplored ground isn't blackened. The number of things visited.
int Ovl_ProcessOverlaysOnScreen(void);
// The thing (type >= 0) whose box pixelpos .. pixelpos + (sx, sy) holds map
// pixel (px, py): with several, the one drawn on top (highest layer, then
// lowest on the map, then newest); null when none.
OVERLAY* Ovl_IsThingAbsolute(int px, int py);

// Highlights o (remap SORTDISP_REMAP_HILITE, render mode SORTDISP_MODE_HILITE)
// and returns its previous render mode.
int Ovl_Hilite(OVERLAY* o);
// Gives o its own remap back and sets the render mode.
void Ovl_UnHilite(OVERLAY* o, int mode);

// Moves o to tile (tx, ty), clamped to the valid tiles 1 .. size - 1: the
// grid link, the pixel position and the display element follow.
void Ovl_MoveTo(OVERLAY* o, int tx, int ty);
// Ovl_MoveTo by a tile offset.
void Ovl_MoveRel(OVERLAY* o, int dx, int dy);

// --- saved games ---
// Registers the 150 type slots as static OVERLAYTYPE blocks, the list head
// "overlays" and every overlay of the list as a local OVERLAY block after
// its pointer fields.
void Ovl_SaveAll(void);
// A zeroed record from the pool (a loaded block's record); never null.
OVERLAY* Ovl_AllocRecord(void);
// Back to the pool, nothing else touched (a replaced or refused record).
void Ovl_FreeRecord(OVERLAY* o);
// After a load: null when the list's prev links answer its next links, no
// overlay is marked delete-pending and each has a display element; else
// what is wrong.
const char* Ovl_CheckLoaded(void);
// After a load was kept: the count and the list's end are the loaded list's.
void Ovl_AfterLoad(void);

// Unlinks every overlay from the map grid / links every overlay into it.
void Ovl_AllOff(void);
void Ovl_AllOn(void);
