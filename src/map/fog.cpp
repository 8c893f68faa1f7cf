// Fog of war and sight.
//
// Storage: for every team and level a 16-bit count per map element, and an
// explored byte per team and element, each array mapsizex x mapsizey in row
// order like the map itself. A sweep first decides the tiles its viewer sees
// (bits of a byte map), then adds one to each of them for every sharing
// team; the unsweep subtracts exactly that, so the counts never depend on
// the order of sweeps and unsweeps. A count can't overflow in a real game
// (65535 viewers of one tile); if it ever would, the increment is dropped
// and logged, and the matching decrement stops at 0, so nothing wraps.
//
// The byte maps in use are linked on "bytemaplist" (newest first); an
// unswept one goes to a free list for reuse, so moving units don't allocate.
// Both are freed by Fog_Close.
//
// Rays: the line of sight from the viewer to every offset of the square is
// sampled at precomputed tile offsets (integer arithmetic only, so every
// machine sees the same tiles), built once per process.
//
// Drawing: the fog masks (fogtile.fog) give a density per pixel for each
// combination of fogged corners. A corner of a tile is clear when any of the
// (up to) four tiles sharing it is seen by the team and fogged otherwise, so
// a fogged tile next to a seen one fades towards it while seen tiles are
// never darkened. Full fog dims a pixel to half its brightness (shade row
// 64); a density d dims it through row 128 - d * 64 / 255.
#include "map/fog.h"

#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/savetype.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/debug.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "platform/video.h"
#include "units/building.h"
#include "units/team.h"
#include "units/unit.h"

enum {
    FOG_LEVELS = 2,
    FOG_TEAMS = TEAM_MAXTEAMS,
    FOG_TILE = MAP_TILE_PIXELS,
    FOG_MASK_PIXELS = FOG_TILE * FOG_TILE,
    FOG_FULL_SHADE = 64,       // shade row of fully fogged ground: half brightness
    FOG_COUNT_MAX = 0xFFFF,
    FOG_UNEXPLORED_COLOUR = 0, // black in every palette the game builds
};

static const char FOG_MAGIC[4] = {'F', 'O', 'G', 'T'};

namespace {

int s_open = 0;
int s_seeAll = 0;
int s_w = 0, s_h = 0;                       // the map size the arrays were made for
uint16_t* s_count[FOG_TEAMS][FOG_LEVELS];   // s_w x s_h each
uint8_t* s_explored[FOG_TEAMS];

BYTEMAP* s_bytemaplist = nullptr;            // in use, newest first
BYTEMAP* s_freelist = nullptr;               // unswept, linked through next
int s_inUse = 0;
int s_overflowLogged = 0;

uint8_t s_masks[FOG_FILE_MASKS][FOG_MASK_PIXELS];
int s_haveMasks = 0;

// The tiles strictly between the viewer and offset (dx, dy), nearest first,
// as indices of the square around the viewer (RayIndex); ray (dx, dy) starts
// at s_rayStart[RayIndex(dx, dy)] and ends before the next index's start.
std::vector<int16_t> s_raySteps;
int s_rayStart[BYTEMAP_SIDE * BYTEMAP_SIDE + 1];

inline int RayIndex(int dx, int dy)
{
    return (dy + FOG_MAX_RADIUS) * BYTEMAP_SIDE + (dx + FOG_MAX_RADIUS);
}

// floor(a / b) for b > 0.
inline int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Samples every half tile along the line between the centres: n samples
// where n is the least with n >= 2 x the distance, each rounded to the
// nearest tile (halves upwards); the end tiles and repeats are left out.
void BuildRays(void)
{
    if (!s_raySteps.empty()) return;
    for (int dy = -FOG_MAX_RADIUS; dy <= FOG_MAX_RADIUS; dy++) {
        for (int dx = -FOG_MAX_RADIUS; dx <= FOG_MAX_RADIUS; dx++) {
            s_rayStart[RayIndex(dx, dy)] = (int)s_raySteps.size();
            const long d4 = 4L * (dx * dx + dy * dy);
            int n = Map_ISqrt(d4);
            if ((long)n * n < d4) n++;
            int lastx = 0, lasty = 0;
            for (int k = 1; k < n; k++) {
                const int sx = FloorDiv(2 * dx * k + n, 2 * n);
                const int sy = FloorDiv(2 * dy * k + n, 2 * n);
                if ((sx == 0 && sy == 0) || (sx == dx && sy == dy)) continue;
                if (sx == lastx && sy == lasty) continue;
                s_raySteps.push_back((int16_t)RayIndex(sx, sy));
                lastx = sx;
                lasty = sy;
            }
        }
    }
    s_rayStart[BYTEMAP_SIDE * BYTEMAP_SIDE] = (int)s_raySteps.size();
}

inline bool InArrays(int x, int y) { return s_open && x >= 0 && y >= 0 && x < s_w && y < s_h; }
inline bool ValidTeam(int team) { return team >= 0 && team < FOG_TEAMS; }
inline int Altitude(int x, int y)
{
    return g_MapElements[(size_t)y * (size_t)mapsizex + (size_t)x].altitude;
}

void FreeArrays(void)
{
    for (int t = 0; t < FOG_TEAMS; t++) {
        for (int l = 0; l < FOG_LEVELS; l++) Debug_Free(&s_count[t][l]);
        Debug_Free(&s_explored[t]);
    }
    s_w = s_h = 0;
}

void FreeBytemaps(void)
{
    for (BYTEMAP** list : {&s_bytemaplist, &s_freelist}) {
        while (*list) {
            BYTEMAP* b = *list;
            *list = b->next;
            Debug_Free(&b);
        }
    }
    s_inUse = 0;
}

BYTEMAP* BytemapNew(int x0, int y0)
{
    BYTEMAP* b = s_freelist;
    if (b) s_freelist = b->next;
    else b = (BYTEMAP*)Debug_Malloc(sizeof(BYTEMAP));
    memset(b->bits, 0, sizeof b->bits);
    b->x0 = x0;
    b->y0 = y0;
    b->prev = nullptr;
    b->next = s_bytemaplist;
    if (s_bytemaplist) s_bytemaplist->prev = b;
    s_bytemaplist = b;
    s_inUse++;
    return b;
}

void BytemapRelease(BYTEMAP* b)
{
    if (b->prev) b->prev->next = b->next;
    else s_bytemaplist = b->next;
    if (b->next) b->next->prev = b->prev;
    b->prev = nullptr;
    b->next = s_freelist;
    s_freelist = b;
    s_inUse--;
}

inline void SetBit(BYTEMAP* b, int i) { b->bits[i >> 3] |= (uint8_t)(1u << (i & 7)); }

// The teams that share team's sight, as a bit mask.
uint16_t SharersOf(int team)
{
    uint16_t mask = 0;
    for (int s = 0; s < FOG_TEAMS; s++)
        if (s == team || Team_AgreedRelation(s, team, TR_ALLY) || teamdata[s].lineofsight[team] > 0)
            mask |= (uint16_t)(1u << s);
    return mask;
}

// Adds (delta 1) or removes (delta -1) the tiles of b for every team of mask.
// Only the bytes with bits set are visited: a sight circle fills a small
// part of the square.
void Apply(const BYTEMAP* b, int level, uint16_t mask, int delta)
{
    int teams[FOG_TEAMS], nteams = 0;
    for (int t = 0; t < FOG_TEAMS; t++)
        if (mask & (1u << t)) teams[nteams++] = t;
    for (int byte = 0; byte < BYTEMAP_BYTES; byte++) {
        unsigned bits = b->bits[byte];
        while (bits) {
            const int bit = __builtin_ctz(bits);
            bits &= bits - 1;
            const int i = byte * 8 + bit;
            const int x = b->x0 + i % BYTEMAP_SIDE, y = b->y0 + i / BYTEMAP_SIDE;
            const size_t at = (size_t)y * (size_t)s_w + (size_t)x;
            for (int k = 0; k < nteams; k++) {
                uint16_t& c = s_count[teams[k]][level][at];
                if (delta < 0) {
                    if (c > 0) c--;
                    continue;
                }
                if (c == FOG_COUNT_MAX) {
                    if (!s_overflowLogged++)
                        TLOG(TLOG_ERROR, "Fog: sight count of (%d,%d) full", x, y);
                    continue;
                }
                c++;
                if (level == BYTEMAP_LO) s_explored[teams[k]][at] = 1;
            }
        }
    }
}

} // namespace

// ------------------------------------------------------------------ module

void Fog_Init(void)
{
    if (s_open) Fog_Close();
    if (!g_MapElements || mapsizex <= 0 || mapsizey <= 0) {
        TLOG(TLOG_ERROR, "Fog_Init: no map loaded, sight is off");
        return;
    }
    BuildRays();
    s_w = mapsizex;
    s_h = mapsizey;
    const size_t n = (size_t)s_w * (size_t)s_h;
    for (int t = 0; t < FOG_TEAMS; t++) {
        for (int l = 0; l < FOG_LEVELS; l++)
            s_count[t][l] = (uint16_t*)Debug_Calloc(n, sizeof(uint16_t));
        s_explored[t] = (uint8_t*)Debug_Calloc(n, 1);
    }
    s_overflowLogged = 0;
    s_open = 1;
}

void Fog_Close(void)
{
    FreeBytemaps();
    FreeArrays();
    s_open = 0;
}

int Fog_IsOpen(void) { return s_open; }

void Fog_SetSeeAll(int flag) { s_seeAll = flag ? 1 : 0; }
int Fog_GetSeeAll(void) { return s_seeAll; }

// ------------------------------------------------------------------ queries

int Fog_IsSeen(int x, int y, int team)
{
    if (s_seeAll) return 1;
    if (!ValidTeam(team) || !InArrays(x, y)) return 0;
    return s_count[team][BYTEMAP_LO][(size_t)y * (size_t)s_w + (size_t)x] > 0;
}

int Fog_IsSeenLevel1(int x, int y, int team)
{
    if (s_seeAll) return 1;
    if (!ValidTeam(team) || !InArrays(x, y)) return 0;
    return s_count[team][BYTEMAP_HI][(size_t)y * (size_t)s_w + (size_t)x] > 0;
}

int Fog_IsExplored(int x, int y, int team)
{
    if (s_seeAll) return 1;
    if (!ValidTeam(team) || !InArrays(x, y)) return 0;
    return s_explored[team][(size_t)y * (size_t)s_w + (size_t)x];
}

int Fog_AnySeenInTiles(int x1, int y1, int x2, int y2, int team)
{
    if (s_seeAll) return 1;
    if (!ValidTeam(team) || !s_open) return 0;
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    if (x1 < 0) x1 = 0;
    if (y1 < 0) y1 = 0;
    if (x2 >= s_w) x2 = s_w - 1;
    if (y2 >= s_h) y2 = s_h - 1;
    const uint16_t* counts = s_count[team][BYTEMAP_LO];
    for (int y = y1; y <= y2; y++)
        for (int x = x1; x <= x2; x++)
            if (counts[(size_t)y * (size_t)s_w + (size_t)x]) return 1;
    return 0;
}

int Fog_SeenCount(int x, int y, int team)
{
    if (!ValidTeam(team) || !InArrays(x, y)) return 0;
    return s_count[team][BYTEMAP_LO][(size_t)y * (size_t)s_w + (size_t)x];
}

// ------------------------------------------------------------------ sweeps

void Fog_Sweep(SEEMAP* seemap, int x, int y, int radius, int height, int team)
{
    if (!seemap) return;
    Fog_Unsweep(seemap);
    if (!s_open) return;
    if (!ValidTeam(team)) {
        TLOG(TLOG_ERROR, "Fog_Sweep: invalid team %d", team);
        return;
    }
    if (!Map_IsValidTile(x, y) || x >= s_w || y >= s_h) {
        TLOG(TLOG_ERROR, "Fog_Sweep: tile (%d,%d) is off the map", x, y);
        return;
    }
    if (radius > FOG_MAX_RADIUS) radius = FOG_MAX_RADIUS;
    if (radius < 0) radius = 0;

    BYTEMAP* lo = BytemapNew(x - FOG_MAX_RADIUS, y - FOG_MAX_RADIUS);
    BYTEMAP* hi = BytemapNew(x - FOG_MAX_RADIUS, y - FOG_MAX_RADIUS);
    const int eye = Altitude(x, y) + height;
    const int r2 = radius * radius;
    // The valid tiles of the square, and their altitudes copied into a local
    // square (the rays between two of them never leave it); when nothing
    // there rises above the eye no ray needs to be followed.
    const int xmax = std::min(s_w, mapsizex) - 1, ymax = std::min(s_h, mapsizey) - 1;
    const int dx0 = std::max(-radius, 1 - x), dx1 = std::min(radius, xmax - x);
    const int dy0 = std::max(-radius, 1 - y), dy1 = std::min(radius, ymax - y);
    uint8_t alt[BYTEMAP_SIDE * BYTEMAP_SIDE];
    int highest = 0;
    for (int dy = dy0; dy <= dy1; dy++) {
        for (int dx = dx0; dx <= dx1; dx++) {
            const int a = Altitude(x + dx, y + dy);
            alt[RayIndex(dx, dy)] = (uint8_t)a;
            if (a > highest) highest = a;
        }
    }
    const bool open = highest <= eye;
    for (int dy = dy0; dy <= dy1; dy++) {
        for (int dx = dx0; dx <= dx1; dx++) {
            if (dx * dx + dy * dy > r2) continue;
            const int bit = RayIndex(dx, dy);
            SetBit(hi, bit);
            bool seen = true;
            if (!open) {
                for (int s = s_rayStart[bit]; s < s_rayStart[bit + 1] && seen; s++)
                    seen = alt[s_raySteps[s]] <= eye;
            }
            if (seen) SetBit(lo, bit);
        }
    }
    const uint16_t mask = SharersOf(team);
    Apply(lo, BYTEMAP_LO, mask, 1);
    Apply(hi, BYTEMAP_HI, mask, 1);
    seemap->bytemapinfo[BYTEMAP_LO].bytemap = lo;
    seemap->bytemapinfo[BYTEMAP_HI].bytemap = hi;
    seemap->teammask = mask;
}

void Fog_Unsweep(SEEMAP* seemap)
{
    if (!seemap) return;
    for (int l = 0; l < FOG_LEVELS; l++) {
        BYTEMAP* b = seemap->bytemapinfo[l].bytemap;
        seemap->bytemapinfo[l].bytemap = nullptr;
        // A closed module has freed its byte maps already: nothing to take away.
        if (!b || !s_open) continue;
        Apply(b, l, seemap->teammask, -1);
        BytemapRelease(b);
    }
    seemap->teammask = 0;
}

// The eye of a unit: its altitude (Units_GetAltitude) above the tile's, never
// below the ground; a ground unit's is 1, a flyer's reaches altitude 16.
void Fog_SweepUnit(UNIT* u)
{
    if (!u || !u->type || !u->onmap) return;
    const int x = u->tilepos.x, y = u->tilepos.y;
    int height = 0;
    if (Map_IsValidTile(x, y)) {
        height = Units_GetAltitude(u) - (int)MAP_ELEMENT_AT(x, y)->altitude;
        if (height < 0) height = 0;
    }
    Fog_Sweep(&u->seemap, x, y, u->type->seeingrange, height, u->team);
}

void Fog_UnsweepUnit(UNIT* u)
{
    if (u) Fog_Unsweep(&u->seemap);
}

void Fog_SweepBuilding(BUILDING* b)
{
    if (!b || !b->buildingtype) return;
    const BUILDINGTYPE* t = b->buildingtype;
    Fog_Sweep(&b->seemap, b->tilex + t->width / 2, b->tiley + t->height / 2, t->seeingrange,
              t->seeingheight, b->team);
    b->sightswept = 1;
}

void Fog_UnsweepBuilding(BUILDING* b)
{
    if (!b) return;
    Fog_Unsweep(&b->seemap);
    b->sightswept = 0;
}

int Seemap_Count(void) { return s_inUse; }
BYTEMAP* Seemap_First(void) { return s_bytemaplist; }

// ------------------------------------------------------------------ fog tiles

static int fog_Refuse(const char* name, size_t offset, const char* what)
{
    TLOG(TLOG_ERROR, "Bad fog tile file [%s] at offset %zu: %s", name ? Fs_Resolve(name).c_str() : "?", offset, what);
    return 0;
}

int Fog_ParseTiles(const uint8_t* data, size_t size, const char* name)
{
    if (!data && size) return fog_Refuse(name, 0, "no data");
    if (size < 4) return fog_Refuse(name, size, "the file ends before the magic FOGT");
    if (memcmp(data, FOG_MAGIC, 4) != 0) return fog_Refuse(name, 0, "expected the magic FOGT");
    if (size < 8) return fog_Refuse(name, size, "the file ends inside the version");
    if (Bytes_U32(data + 4) != FOG_FILE_VERSION) return fog_Refuse(name, 4, "expected version 257");
    if (size < 12) return fog_Refuse(name, size, "the file ends inside the header");
    if (Bytes_U16(data + 8) != FOG_TILE) return fog_Refuse(name, 8, "expected a tile side of 24");
    if (Bytes_U16(data + 10) != FOG_FILE_MASKS) return fog_Refuse(name, 10, "expected 16 masks");
    if (size < FOG_FILE_BYTES) return fog_Refuse(name, size, "the file ends inside the masks");
    if (size > FOG_FILE_BYTES) return fog_Refuse(name, FOG_FILE_BYTES, "bytes after the masks");
    memcpy(s_masks, data + 12, sizeof s_masks);
    s_haveMasks = 1;
    return 1;
}

int Fog_LoadTiles(const char* path)
{
    if (!path || !*path) {
        TLOG(TLOG_ERROR, "Fog_LoadTiles: no fog tile file named");
        return 0;
    }
    std::string bytes;
    if (!Fs_ReadAll(path, &bytes)) {
        TLOG(TLOG_ERROR, "Unable to read fog tile file [%s]", Fs_Resolve(path).c_str());
        return 0;
    }
    return Fog_ParseTiles((const uint8_t*)bytes.data(), bytes.size(), path);
}

// ------------------------------------------------------------------ drawing

namespace {

// 0 seen, 1 fogged (explored, not seen), 2 unexplored; off the map 2.
int TileState(int x, int y, int team, int shroud)
{
    if (!Map_IsValidTile(x, y) || !InArrays(x, y)) return shroud ? 2 : 1;
    const size_t i = (size_t)y * (size_t)s_w + (size_t)x;
    if (s_count[team][BYTEMAP_LO][i]) return 0;
    if (shroud && !s_explored[team][i]) return 2;
    return 1;
}

inline bool Seen(int x, int y, int team)
{
    return Map_IsValidTile(x, y) && InArrays(x, y) &&
           s_count[team][BYTEMAP_LO][(size_t)y * (size_t)s_w + (size_t)x];
}

// The fogged-corner bits of tile (x, y): bit 0 top-left, 1 top-right,
// 2 bottom-right, 3 bottom-left; a corner is clear when a tile sharing it is
// seen.
int CornerMask(int x, int y, int team)
{
    static const int CX[4] = {0, 1, 1, 0}, CY[4] = {0, 0, 1, 1};
    int mask = 0;
    for (int c = 0; c < 4; c++) {
        const int gx = x + CX[c], gy = y + CY[c];   // the grid point: tiles gx-1..gx, gy-1..gy
        if (!Seen(gx - 1, gy - 1, team) && !Seen(gx, gy - 1, team) && !Seen(gx - 1, gy, team) &&
            !Seen(gx, gy, team))
            mask |= 1 << c;
    }
    return mask;
}

// Draws the fog of one tile whose top-left is at (sx, sy) of bb, clipped to
// the rectangle [cx0, cx1) x [cy0, cy1).
void DrawTile(BITMAP* bb, int sx, int sy, int state, int mask, int cx0, int cy0, int cx1, int cy1)
{
    const int px0 = sx < cx0 ? cx0 - sx : 0, py0 = sy < cy0 ? cy0 - sy : 0;
    const int px1 = sx + FOG_TILE > cx1 ? cx1 - sx : FOG_TILE;
    const int py1 = sy + FOG_TILE > cy1 ? cy1 - sy : FOG_TILE;
    for (int py = py0; py < py1; py++) {
        uint8_t* row = bb->data + (size_t)(sy + py) * (size_t)bb->x_size + (size_t)sx;
        for (int px = px0; px < px1; px++) {
            if (state == 2) {
                row[px] = FOG_UNEXPLORED_COLOUR;
                continue;
            }
            // Without masks the edges are hard: the whole tile is fogged.
            const int density = s_haveMasks ? s_masks[mask][py * FOG_TILE + px] : 255;
            if (density == 0) continue;
            const int shade = 128 - density * (128 - FOG_FULL_SHADE) / 255;
            row[px] = g_ShadeTable[shade][row[px]];
        }
    }
}

int FogShown(void)
{
    return s_open && !s_seeAll && !(g_DebugFlags & DBG_NOFOG) && !g_OptFogDisabled;
}

} // namespace

void Fog_Draw(int team)
{
    if (!FogShown() || !ValidTeam(team)) return;
    BITMAP* bb = Backbuf_Lock();
    if (!bb || !bb->data) return;
    const int shroud = !g_OptShroudDisabled;
    // The view's rectangle on the screen, clipped to the buffer.
    const int cx0 = MAPVIEW_SCREEN_X, cy0 = MAPVIEW_SCREEN_Y;
    const int cx1 = std::min(MAPVIEW_SCREEN_X + (int)MAPVIEW_SIZE, bb->x_size);
    const int cy1 = std::min(MAPVIEW_SCREEN_Y + (int)MAPVIEW_SIZE, bb->y_size);
    for (int ty = g_MapView.tiley; ty <= g_MapView.tiley + MAPVIEW_TILES; ty++) {
        const int sy = cy0 + ty * FOG_TILE - g_MapView.y;
        if (sy >= cy1 || sy + FOG_TILE <= cy0) continue;
        for (int tx = g_MapView.tilex; tx <= g_MapView.tilex + MAPVIEW_TILES; tx++) {
            const int sx = cx0 + tx * FOG_TILE - g_MapView.x;
            if (sx >= cx1 || sx + FOG_TILE <= cx0) continue;
            const int state = TileState(tx, ty, team, shroud);
            if (state == 0) continue;
            const int mask = state == 1 ? CornerMask(tx, ty, team) : 15;
            DrawTile(bb, sx, sy, state, mask, cx0, cy0, cx1, cy1);
        }
    }
}

void Fog_RenderMapBitmap(BITMAP* bitmap, int colour, int team)
{
    if (!bitmap || !bitmap->data || !FogShown() || !ValidTeam(team)) return;
    const int shroud = !g_OptShroudDisabled;
    const int w = std::min(bitmap->x_size, s_w), h = std::min(bitmap->y_size, s_h);
    for (int y = 0; y < h; y++) {
        uint8_t* row = bitmap->data + (size_t)y * (size_t)bitmap->x_size;
        for (int x = 0; x < w; x++) {
            const int state = TileState(x, y, team, shroud);
            if (state == 2) row[x] = (uint8_t)colour;
            else if (state == 1) row[x] = g_ShadeTable[FOG_FULL_SHADE][row[x]];
        }
    }
}

void Seemap_SaveAll(void)
{
    Save_RegisterBlock(SAVEK_GLOBAL, &s_inUse, ST_ULONG, sizeof s_inUse);
    Save_RegisterHead(&s_bytemaplist, 1, ST_BYTEMAP, "bytemaplist");
    for (BYTEMAP* b = s_bytemaplist; b && Save_WalkGoesOn(); b = b->next) {
        Save_RegisterTypePointers(ST_BYTEMAP, b);
        Save_RegisterBlock(SAVEK_LOCAL, b, ST_BYTEMAP, sizeof *b);
    }
    for (int t = 0; s_open && t < FOG_TEAMS; t++)
        for (int y = 0; y < s_h; y++) Save_RegisterBlock(SAVEK_GLOBAL, s_explored[t] + (size_t)y * s_w, ST_NONE, (size_t)s_w);
}

void Fog_ClearCounts(void)
{
    for (int t = 0; s_open && t < FOG_TEAMS; t++)
        for (int l = 0; l < FOG_LEVELS; l++) memset(s_count[t][l], 0, (size_t)s_w * s_h * sizeof(uint16_t));
}

void Fog_CountSweep(const SEEMAP* seemap)
{
    for (int l = 0; s_open && l < FOG_LEVELS; l++)
        if (const BYTEMAP* b = seemap->bytemapinfo[l].bytemap) Apply(b, l, seemap->teammask, 1);
}

// Every marked tile on the map: the sight counts are rebuilt from the marks.
// A load checks every sweep: a square wholly on the map needs no walk of its
// marks, and the walk of one that isn't visits the set bits only.
static bool MarksOnMap(const BYTEMAP* b)
{
    for (int i = BYTEMAP_SIDE * BYTEMAP_SIDE; i < BYTEMAP_BYTES * 8; i++)
        if (b->bits[i >> 3] & (1u << (i & 7))) return false;
    const int64_t x0 = b->x0, y0 = b->y0;
    if (x0 >= 0 && y0 >= 0 && x0 + BYTEMAP_SIDE <= s_w && y0 + BYTEMAP_SIDE <= s_h) return true;
    for (int byte = 0; byte < BYTEMAP_BYTES; byte++) {
        for (unsigned bits = b->bits[byte]; bits; bits &= bits - 1) {
            const int i = byte * 8 + __builtin_ctz(bits);
            const int64_t x = x0 + i % BYTEMAP_SIDE, y = y0 + i / BYTEMAP_SIDE;
            if (x < 0 || y < 0 || x >= s_w || y >= s_h) return false;
        }
    }
    return true;
}

BYTEMAP* Seemap_AllocRecord(void)
{
    BYTEMAP* b = s_freelist;
    if (b) s_freelist = b->next;
    else b = (BYTEMAP*)Debug_Malloc(sizeof(BYTEMAP));
    memset(b, 0, sizeof *b);
    return b;
}

void Seemap_FreeRecord(BYTEMAP* b)
{
    b->prev = nullptr;
    b->next = s_freelist;
    s_freelist = b;
}

const char* Seemap_CheckLoaded(void)
{
    const BYTEMAP* last = nullptr;
    int n = 0;
    for (const BYTEMAP* b = s_bytemaplist; b; last = b, b = b->next, n++) {
        if (b->prev != last) return "a byte map's prev link";
        if (!MarksOnMap(b)) return "a byte map marking a tile off the map";
    }
    return n == s_inUse ? nullptr : "the count of byte maps in use";
}
