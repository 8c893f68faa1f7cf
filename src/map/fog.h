// Fog of war and sight.
//
// Sight is counted per tile and team at two levels: the ground level (what
// stands on the ground, seen along lines of sight over the terrain) and the
// flyer level (the air above a tile, seen in the whole circle). A sweep adds
// one to the count of every tile its viewer sees, for every team that shares
// the viewer's team's sight; an unsweep takes exactly that sweep away again.
// So sweeps and unsweeps in any order give the same counts: a tile is seen
// by a team while its count is above 0, and explored once it has been seen
// at the ground level.
//
// Who shares a team's sight: the team itself, every team allied with it both
// ways (Team_AgreedRelation TR_ALLY), and every team whose lineofsight
// counter for it is above 0. A sweep records the teams it added to, so a
// change of relations takes effect at the next sweep (Team_ForceRelation
// re-sweeps both teams' units and buildings).
//
// Each sweep is kept in the viewer's SEEMAP: two byte maps (ground and flyer
// level), each a bit per tile of the square around the viewer, taken from
// the module's list "bytemaplist".
//
// Line of sight (ours): a tile at distance d <= radius is seen at the ground
// level when no tile strictly between the viewer and it on the line between
// their centres (sampled every half tile) is higher than the viewer's eye,
// which is its altitude + the viewer's height; the viewer's own tile is
// always seen.
#pragma once

#include <cstddef>
#include <cstdint>

struct BITMAP;
struct UNIT;
struct BUILDING;

enum {
    FOG_MAX_RADIUS = 20,                       // sight radius limit in tiles
    BYTEMAP_SIDE = 2 * FOG_MAX_RADIUS + 1,
    BYTEMAP_BYTES = (BYTEMAP_SIDE * BYTEMAP_SIDE + 7) / 8,
    BYTEMAP_LO = 0,                            // ground level
    BYTEMAP_HI = 1,                            // flyer level
    FOG_FILE_MASKS = 16,
    FOG_FILE_VERSION = 257,
    FOG_FILE_BYTES = 12 + FOG_FILE_MASKS * 24 * 24,
};

struct BYTEMAP {
    BYTEMAP* next;
    BYTEMAP* prev;
    int32_t x0, y0;                            // map tile of bit (0, 0)
    uint8_t bits[BYTEMAP_BYTES];               // row by row, BYTEMAP_SIDE bits a row
};

struct BYTEMAPINFO {
    BYTEMAP* bytemap;                          // null: no sweep at this level
};

struct SEEMAP {
    BYTEMAPINFO bytemapinfo[2];
    uint16_t teammask;                         // the teams the sweep added to
};

// The sight counts for the loaded map (after Map_Load); Fog_Close frees them
// and every byte map. Fog_Init on an open module starts again empty.
void Fog_Init(void);
void Fog_Close(void);
int Fog_IsOpen(void);

// Every tile visible to every team while set.
void Fog_SetSeeAll(int flag);
int Fog_GetSeeAll(void);

int Fog_IsSeen(int x, int y, int team);
int Fog_IsSeenLevel1(int x, int y, int team);
// 1 when the team has ever seen the tile (always 1 with see-all).
int Fog_IsExplored(int x, int y, int team);
// 1 when any tile of the rectangle (inclusive, either corner order) is seen.
int Fog_AnySeenInTiles(int x1, int y1, int x2, int y2, int team);
// The ground-level count of a tile for a team (tests and the debug screen).
int Fog_SeenCount(int x, int y, int team);

// Generic sweep: sight from tile (x, y), radius (clamped to
// FOG_MAX_RADIUS), eye height above the tile's altitude, for team's sharers,
// recorded in seemap (a previous sweep there is removed first).
void Fog_Sweep(SEEMAP* seemap, int x, int y, int radius, int height, int team);
// Removes the sweep recorded in seemap (nothing when none).
void Fog_Unsweep(SEEMAP* seemap);

// A unit on the map: from its tile, its type's seeing range, its altitude.
void Fog_SweepUnit(UNIT* u);
void Fog_UnsweepUnit(UNIT* u);
// A building: from its footprint's centre tile, its type's seeing range and
// height.
void Fog_SweepBuilding(BUILDING* b);
void Fog_UnsweepBuilding(BUILDING* b);

// The number of byte maps in use.
int Seemap_Count(void);
// Registers the count of byte maps in use (a global ULONG block), the list
// head "bytemaplist", every byte map of the list as a local BYTEMAP block
// after its pointer fields, and each team's explored tiles by rows (global
// byte blocks). The sight counts are no part of it: they are the sum of the
// sweeps the byte maps keep (Fog_CountSweep).
void Seemap_SaveAll(void);
// After a load was kept: every team's sight counts to zero, then one
// sweep's tiles added back for the teams of its mask (explored tiles are
// the file's).
void Fog_ClearCounts(void);
void Fog_CountSweep(const SEEMAP* seemap);
// Puts a byte map on the free list, nothing else touched (a replaced or
// refused record).
void Seemap_FreeRecord(BYTEMAP* b);
// A zeroed byte map for a load, from the free list when it has one.
BYTEMAP* Seemap_AllocRecord(void);
// After a load: null when the list's prev links answer its next links, the
// count in use is the list's length and every tile a byte map marks lies on
// the map; else what is wrong.
const char* Seemap_CheckLoaded(void);
// The first byte map of the list ("bytemaplist").
BYTEMAP* Seemap_First(void);

// Loads "fogtile.fog" (docs/formats.md); 0 (logged with the file) when it is
// missing or malformed, the previous masks kept.
int Fog_LoadTiles(const char* path);
// Parses the file's bytes; 0 (logged with name) when malformed.
int Fog_ParseTiles(const uint8_t* data, size_t size, const char* name);
// Draws fog (dimmed through the shade table, soft-edged by the fog masks)
// over fogged ground and black over unexplored ground in the map view, for
// the team. Nothing with see-all or the debug flag "no fog".
void Fog_Draw(int team);
// The team's unexplored tiles (colour) and fogged tiles (the pixel dimmed
// through the shade table) into a map-sized bitmap, one pixel per tile.
void Fog_RenderMapBitmap(BITMAP* bitmap, int colour, int team);
