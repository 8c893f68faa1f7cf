// Tile sets: loading, and composing an element's picture from its corners.
//
// A load checks the whole file before it replaces anything, so a refused
// file leaves the loaded set in place (the editor may switch tile sets while
// a map is shown).
#include "map/tile.h"

#include <cstdio>
#include <cstring>

#include "core/bytes.h"
#include "core/debug.h"
#include "core/fspath.h"
#include "core/tlog.h"
#include "platform/graph.h"
#include "platform/palette.h"

enum {
    TILE_HEADER_BYTES = 16,
    TILE_RECORD_BYTES = 8,
    TILE_RECORDS_AT = TILE_HEADER_BYTES,
    TILE_TEXTURES_AT = TILE_RECORDS_AT + TILEMAXCORNERTYPES * TILE_RECORD_BYTES,
    TILE_MASKS_AT = TILE_TEXTURES_AT + TILEMAXCORNERTYPES * TILEMAXVARIATIONS * TILE_AREA,
    TILE_FILE_BYTES = TILE_MASKS_AT + TILEMAXMASKVARIATIONS * TILE_AREA,
};

struct TILESET {
    TILE_CORNERINFO info[TILEMAXCORNERTYPES];
    uint8_t texture[TILEMAXCORNERTYPES][TILEMAXVARIATIONS][TILE_AREA];
    uint8_t mask[TILEMAXMASKVARIATIONS][TILE_AREA];
    BITMAP maskbitmap[TILEMAXMASKVARIATIONS]; // views of mask[], not owned
};

static TILESET* s_set;

static const char TILE_MAGIC[4] = {'T', 'I', 'L', 'E'};

static int tile_Refuse(const char* path, size_t offset, const char* what)
{
    TLOG(TLOG_ERROR, "Bad tile file [%s] at offset %zu: %s", Fs_Resolve(path).c_str(), offset, what);
    return 0;
}

// Checks everything after the magic; 1 when the file is a good tile set.
static int tile_Check(const char* path, const uint8_t* b, size_t n)
{
    if (n < 4) return tile_Refuse(path, n, "the file ends before the magic TILE");
    if (memcmp(b, TILE_MAGIC, 4) != 0) return tile_Refuse(path, 0, "expected the magic TILE");
    if (n < 8) return tile_Refuse(path, n, "the file ends inside the version");
    if (Bytes_U32(b + 4) != TILE_VERSION) return tile_Refuse(path, 4, "expected version 0x100");
    if (n < TILE_HEADER_BYTES) return tile_Refuse(path, n, "the file ends inside the header");
    static const struct {
        unsigned value;
        const char* what;
    } COUNTS[4] = {{TILE_PIXELS, "expected a tile side of 24"},
                   {TILEMAXCORNERTYPES, "expected 16 corner types"},
                   {TILEMAXVARIATIONS, "expected 8 variations"},
                   {TILEMAXMASKVARIATIONS, "expected 4 masks"}};
    for (int k = 0; k < 4; k++)
        if (Bytes_U16(b + 8 + 2 * k) != COUNTS[k].value)
            return tile_Refuse(path, 8 + 2 * (size_t)k, COUNTS[k].what);
    if (n < TILE_TEXTURES_AT)
        return tile_Refuse(path, n, "the file ends inside the corner-type records");
    for (int t = 0; t < TILEMAXCORNERTYPES; t++) {
        const uint8_t* r = b + TILE_RECORDS_AT + TILE_RECORD_BYTES * t;
        size_t at = TILE_RECORDS_AT + (size_t)TILE_RECORD_BYTES * (size_t)t;
        if (r[0] >= TILEROLE_COUNT) return tile_Refuse(path, at, "unknown corner-type role");
        if (r[1] >= TILEMAXCORNERTYPES) return tile_Refuse(path, at + 1, "effect row above 15");
        for (int k = 5; k < TILE_RECORD_BYTES; k++)
            if (r[k]) return tile_Refuse(path, at + (size_t)k, "reserved byte not zero");
    }
    if (n < TILE_MASKS_AT) return tile_Refuse(path, n, "the file ends inside the textures");
    if (n < TILE_FILE_BYTES) return tile_Refuse(path, n, "the file ends inside the masks");
    if (n > TILE_FILE_BYTES) return tile_Refuse(path, TILE_FILE_BYTES, "bytes after the masks");
    for (size_t i = TILE_MASKS_AT; i < TILE_FILE_BYTES; i++)
        if (b[i] > 3) return tile_Refuse(path, i, "mask pixel names a corner above 3");
    return 1;
}

int Tile_LoadInfo(const char* path)
{
    if (!path || !*path) {
        TLOG(TLOG_ERROR, "Tile_LoadInfo: no tile file named");
        return 0;
    }
    FILE* f = Fs_Open(path, "rb");
    if (!f) {
        TLOG(TLOG_ERROR, "Unable to open tile file [%s]", Fs_Resolve(path).c_str());
        return 0;
    }
    // One byte more than a good file holds tells a long file from a good one.
    uint8_t* b = (uint8_t*)Debug_Malloc(TILE_FILE_BYTES + 1);
    size_t n = fread(b, 1, TILE_FILE_BYTES + 1, f);
    int failed = ferror(f);
    fclose(f);
    int ok = 0;
    if (failed) TLOG(TLOG_ERROR, "Unable to read tile file [%s]", Fs_Resolve(path).c_str());
    else ok = tile_Check(path, b, n);
    if (ok) {
        TILESET* set = (TILESET*)Debug_Calloc(1, sizeof(TILESET));
        for (int t = 0; t < TILEMAXCORNERTYPES; t++) {
            const uint8_t* r = b + TILE_RECORDS_AT + TILE_RECORD_BYTES * t;
            set->info[t] = TILE_CORNERINFO{r[0], r[1], r[2], r[3], r[4]};
        }
        memcpy(set->texture, b + TILE_TEXTURES_AT, sizeof set->texture);
        memcpy(set->mask, b + TILE_MASKS_AT, sizeof set->mask);
        for (int m = 0; m < TILEMAXMASKVARIATIONS; m++)
            set->maskbitmap[m] = BITMAP{set->mask[m], 0, TILE_PIXELS, TILE_PIXELS};
        Tile_Close();
        s_set = set;
    }
    Debug_Free(&b);
    return ok;
}

void Tile_Close(void) { Debug_Free(&s_set); }

int Tile_IsLoaded(void) { return s_set != nullptr; }

// ------------------------------------------------------------------ drawing

void Tile_DrawAt(uint32_t tile, BITMAP* dst, int x, int y)
{
    if (!s_set || !dst || !dst->data) return;
    int v = (int)((tile >> 18) & 7);
    const uint8_t* mask = s_set->mask[(tile >> 16) & 3];
    const uint8_t* tex[4];
    for (int c = 0; c < 4; c++) tex[c] = s_set->texture[(tile >> (4 * c)) & 15][v];

    int x0 = x < 0 ? -x : 0, y0 = y < 0 ? -y : 0;
    int x1 = dst->x_size - x < TILE_PIXELS ? dst->x_size - x : TILE_PIXELS;
    int y1 = dst->y_size - y < TILE_PIXELS ? dst->y_size - y : TILE_PIXELS;
    if (x0 >= x1 || y0 >= y1) return;
    int uniform = tex[0] == tex[1] && tex[1] == tex[2] && tex[2] == tex[3];
    for (int py = y0; py < y1; py++) {
        uint8_t* out = dst->data + (size_t)(y + py) * (size_t)dst->x_size + (size_t)x;
        int row = py * TILE_PIXELS;
        if (uniform) {
            // One texture under every corner: the mask changes nothing.
            memcpy(out + x0, tex[0] + row + x0, (size_t)(x1 - x0));
            continue;
        }
        for (int px = x0; px < x1; px++) out[px] = tex[mask[row + px]][row + px];
    }
}

void Tile_Draw(uint32_t tile, BITMAP* dst, int flags)
{
    (void)flags;
    Tile_DrawAt(tile, dst, 0, 0);
}

const BITMAP* Tile_GetMask(int masknr)
{
    ASSERT(masknr>=0 && masknr<TILEMAXMASKVARIATIONS);
    return s_set ? &s_set->maskbitmap[masknr] : nullptr;
}

const uint8_t* Tile_GetTexture(int corner, int variation)
{
    if (!s_set) return nullptr;
    return s_set->texture[corner & (TILEMAXCORNERTYPES - 1)][variation & (TILEMAXVARIATIONS - 1)];
}

const TILE_CORNERINFO* Tile_GetCornerInfo(int corner)
{
    return s_set ? &s_set->info[corner & (TILEMAXCORNERTYPES - 1)] : nullptr;
}

uint8_t Tile_MiniColour(uint32_t tile)
{
    if (!s_set) return 0;
    int r = 0, g = 0, b = 0;
    for (int c = 0; c < 4; c++) {
        const TILE_CORNERINFO& i = s_set->info[(tile >> (4 * c)) & 15];
        r += i.r;
        g += i.g;
        b += i.b;
    }
    return Graph_ColourMatch(Graph_Rgb15(r / 4, g / 4, b / 4));
}

uint32_t Tile_GetEffects(uint32_t tile) { return tile & (0xFu | 7u << 18); }

uint32_t Tile_ClaimElement(uint32_t tile) { return tile; }

void Tile_ReleaseElement(uint32_t tile) { (void)tile; }
