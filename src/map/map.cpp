// The tile map: the element array, its file, and the bounded accessors.
//
// The elements live in one block, row by row, so that a row is a contiguous
// run (the save system registers whole rows). A load first reads and checks
// the whole file and only then touches the map in memory, so a refused file
// leaves the previous map exactly as it was.
#include "map/map.h"

#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/savetype.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "core/bytes.h"
#include "core/debug.h"
#include "core/fspath.h"
#include "core/tlog.h"
#include "map/terrain.h"

int mapsizex;
int mapsizey;
MAP_ELEMENT* g_MapElements;
MAP_NEWREQUEST g_NewMapRequest;

static const char MAP_MAGIC[4] = {'M', 'A', 'P', '_'};

// What an off-map access gets while no map is loaded; reset before each use
// so that a write through it never leaks into the next reader.
static MAP_ELEMENT s_scratch;
// The off-map and out-of-table messages are logged once per map.
static int s_warnedElement;
static int s_warnedHyps;
// The file bytes of the last load, kept between loads (a map is loaded
// often in the editor, and a fresh block would be faulted in every time).
static uint8_t* s_readBuf;
static size_t s_readCap;

// ------------------------------------------------------------------ helpers


// Why the last Map_Load read no map, for the caller's own message.
static char s_loadError[160] = "";

static int map_Refuse(const char* path, size_t offset, const char* what)
{
    TLOG(TLOG_ERROR, "Bad map file [%s] at offset %zu: %s", Fs_Resolve(path).c_str(), offset, what);
    snprintf(s_loadError, sizeof s_loadError, "at offset %zu: %s", offset, what);
    return 0;
}

const char* Map_LoadError(void) { return s_loadError; }

int Map_ISqrt(long n)
{
    if (n <= 0) return 0;
    // Bit by bit, so the answer is exact and the same on every machine.
    unsigned long v = (unsigned long)n, root = 0;
    unsigned long bit = 1UL << (sizeof(unsigned long) * 8 - 2);
    while (bit > v) bit >>= 2;
    while (bit) {
        if (v >= root + bit) {
            v -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
        bit >>= 2;
    }
    return (int)root;
}

// Makes room for a width x height map; reuses the block when the size
// stays (the caller overwrites every element).
static void map_Resize(int width, int height)
{
    if (!g_MapElements || width != mapsizex || height != mapsizey) {
        Debug_Free(&g_MapElements);
        g_MapElements =
            (MAP_ELEMENT*)Debug_Calloc((size_t)width * (size_t)height, sizeof(MAP_ELEMENT));
        mapsizex = width;
        mapsizey = height;
    }
    s_warnedElement = 0;
    s_warnedHyps = 0;
}

// ------------------------------------------------------------------ new map

static int map_MakeNew(void)
{
    const MAP_NEWREQUEST& r = g_NewMapRequest;
    if (r.width < MAP_MIN_SIDE || r.width > MAP_MAX_SIDE || r.height < MAP_MIN_SIDE ||
        r.height > MAP_MAX_SIDE) {
        TLOG(TLOG_ERROR, "New map of %d x %d refused: each side must be %d .. %d", r.width,
             r.height, (int)MAP_MIN_SIDE, (int)MAP_MAX_SIDE);
        return 0;
    }
    int alt = r.altitude < 0 ? 0 : r.altitude > 31 ? 31 : r.altitude;
    uint32_t t = (uint32_t)(r.terrain < 0 ? 0 : r.terrain > 15 ? 15 : r.terrain);
    map_Resize(r.width, r.height);
    MAP_ELEMENT e;
    memset(&e, 0, sizeof e);
    e.tile = t * 0x1111u;
    e.altitude = (uint32_t)alt;
    e.initalt = (uint32_t)alt;
    e.effect = MAP_EFFECT_NONE;
    size_t count = (size_t)mapsizex * (size_t)mapsizey;
    for (size_t i = 0; i < count; i++) g_MapElements[i] = e;
    g_NewMapRequest.flag = 0;
    Terrain_LightAll();
    return 1;
}

// ------------------------------------------------------------------ loading

// The reserved bits of an element's bytes (docs/formats.md).
static const uint8_t RESERVED[MAP_ELEMENT_BYTES] = {0, 0, 0xE0, 0xE0, 0xE0, 0xC0, 0xE0};

// The reserved bits repeat every ESIZE bytes, so over ESIZE 8-byte words
// they repeat word by word: an OR of masked words over the whole block.
template <int ESIZE> static uint64_t map_ReservedBits(const uint8_t* p, size_t bytes)
{
    uint64_t mask[ESIZE];
    for (int k = 0; k < ESIZE; k++) {
        mask[k] = 0;
        for (int j = 0; j < 8; j++) mask[k] |= (uint64_t)RESERVED[(k * 8 + j) % ESIZE] << (8 * j);
    }
    uint64_t bad = 0;
    size_t at = 0;
    for (; at + 8 * ESIZE <= bytes; at += 8 * ESIZE) {
        for (int k = 0; k < ESIZE; k++) {
            uint64_t word;
            memcpy(&word, p + at + 8 * k, sizeof word);
            bad |= word & mask[k]; // the masks are in little-endian byte order
        }
    }
    for (; at < bytes; at++) bad |= p[at] & RESERVED[at % ESIZE];
    return bad;
}

static int map_CheckElements(const char* path, const uint8_t* p, int w, int h, int esize)
{
    size_t bytes = (size_t)w * (size_t)h * (size_t)esize;
    uint64_t bad = esize == MAP_ELEMENT_BYTES ? map_ReservedBits<MAP_ELEMENT_BYTES>(p, bytes)
                                              : map_ReservedBits<MAP_ELEMENT_BYTES_OLD>(p, bytes);
    if (!bad) return 1;
    // Only a bad file pays for finding the culprit.
    static const char* const WHAT[MAP_ELEMENT_BYTES] = {
        "", "", "variation bits 5..7 set", "altitude above 31", "effect field above 31",
        "resource bits 6..7 set", "initial altitude above 31"};
    for (size_t i = 0; i < bytes; i++) {
        int k = (int)(i % (size_t)esize);
        if (p[i] & RESERVED[k]) {
            size_t n = i / (size_t)esize;
            char what[96];
            snprintf(what, sizeof what, "element (%d,%d): %s", (int)(n % (size_t)w),
                     (int)(n / (size_t)w), WHAT[k]);
            return map_Refuse(path, MAP_HEADER_BYTES + i, what);
        }
    }
    return 1;
}

// An element's first 16 bytes as this compiler lays them out: tile, shadev,
// then the bit fields in declaration order from bit 0 of the next 32 bits,
// then padding up to the unit pointers. Checked once against the compiler's
// own stores; where that doesn't hold the loader sets the fields one by one.
static uint64_t map_BitsWord(uint32_t alt, uint32_t effect, uint32_t water, uint32_t mineral,
                             uint32_t initalt)
{
    return alt | effect << 5 | water << 10 | mineral << 13 | initalt << 16;
}

static int map_LayoutHolds(void)
{
    static int known = -1;
    if (known < 0) {
        MAP_ELEMENT e;
        memset(&e, 0, sizeof e);
        e.tile = 0x1ABCDEu;
        e.shadev = 0x1234u;
        e.altitude = 21;
        e.effect = 13;
        e.water = 5;
        e.mineral = 3;
        e.initalt = 27;
        uint64_t lo, hi;
        memcpy(&lo, &e, sizeof lo);
        memcpy(&hi, reinterpret_cast<const char*>(&e) + 8, sizeof hi);
        known = offsetof(MAP_ELEMENT, unit) == 16 && lo == (0x1ABCDEull | 0x1234ull << 32) &&
                hi == map_BitsWord(21, 13, 5, 3, 27);
    }
    return known;
}

// One element from its file bytes and its normal. A 0x200 element had no
// initial altitude: it starts where it stands.
template <int ESIZE, bool WHOLE>
static inline void map_DecodeOne(MAP_ELEMENT& e, const uint8_t* p, uint32_t shadev)
{
    uint32_t tile = (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)(p[2] & 0x1F) << 16;
    uint32_t alt = p[3], effect = p[4], res = p[5];
    uint32_t initalt = ESIZE == MAP_ELEMENT_BYTES ? p[ESIZE - 1] : alt;
    if (WHOLE) {
        // Whole words: field by field, every bit-field write would read its
        // word back first, which cost most of the load.
        uint64_t lo = tile | (uint64_t)shadev << 32;
        uint64_t hi = map_BitsWord(alt, effect, res & 7u, res >> 3, initalt);
        memcpy(&e, &lo, sizeof lo);
        memcpy(reinterpret_cast<char*>(&e) + 8, &hi, sizeof hi);
    } else {
        e.tile = tile;
        e.shadev = shadev;
        e.altitude = alt;
        e.effect = effect;
        e.water = res & 7u;
        e.mineral = res >> 3;
        e.initalt = initalt;
        e.spare = 0;
    }
    e.unit[0] = e.unit[1] = e.unit[2] = nullptr;
}

// Decodes the checked elements into the map and lights them in the same
// pass: a normal needs only the altitudes of the four neighbours, which the
// file bytes hold already (the map's edge repeats the edge element, as
// Terrain_LightAll does). The first and last column are apart so that the
// loop between them needs no clamping.
template <int ESIZE, bool WHOLE>
static void map_DecodeRows(const uint8_t* bytes, MAP_ELEMENT* elements, int w, int h,
                           const uint16_t* normals)
{
    const size_t stride = (size_t)w * ESIZE;
    auto normal = [normals](int west, int east, int north, int south) {
        return (uint32_t)normals[(east - west + 31) * TERRAIN_NORMALDIFFS + south - north + 31];
    };
    for (int y = 0; y < h; y++) {
        const uint8_t* row = bytes + (size_t)y * stride;
        const uint8_t* up = (y > 0 ? row - stride : row) + 3;
        const uint8_t* down = (y < h - 1 ? row + stride : row) + 3;
        MAP_ELEMENT* out = elements + (size_t)y * (size_t)w;
        map_DecodeOne<ESIZE, WHOLE>(out[0], row, normal(row[3], row[ESIZE + 3], up[0], down[0]));
        for (int x = 1; x < w - 1; x++) {
            const uint8_t* p = row + (size_t)x * ESIZE;
            size_t at = (size_t)x * ESIZE;
            map_DecodeOne<ESIZE, WHOLE>(out[x], p,
                                        normal(p[3 - ESIZE], p[3 + ESIZE], up[at], down[at]));
        }
        size_t last = (size_t)(w - 1) * ESIZE;
        map_DecodeOne<ESIZE, WHOLE>(
            out[w - 1], row + last,
            normal(row[last - ESIZE + 3], row[last + 3], up[last], down[last]));
    }
}

template <int ESIZE> static void map_Decode(const uint8_t* bytes)
{
    const uint16_t* normals = Terrain_NormalTable();
    if (map_LayoutHolds())
        map_DecodeRows<ESIZE, true>(bytes, g_MapElements, mapsizex, mapsizey, normals);
    else
        map_DecodeRows<ESIZE, false>(bytes, g_MapElements, mapsizex, mapsizey, normals);
}

static void map_Reserve(size_t bytes)
{
    if (s_readCap >= bytes) return;
    s_readBuf = (uint8_t*)Debug_Realloc(s_readBuf, bytes);
    s_readCap = bytes;
}

// The size of the file that a header promises, or 0 for a header that the
// checks will refuse anyway.
static size_t map_FileBytes(const uint8_t* head)
{
    uint32_t version = Bytes_U32(head + 4), w = Bytes_U32(head + 8), h = Bytes_U32(head + 12);
    if (memcmp(head, MAP_MAGIC, 4) != 0 || (version != MAP_VERSION && version != MAP_VERSION_OLD) ||
        w < MAP_MIN_SIDE || w > MAP_MAX_SIDE || h < MAP_MIN_SIDE || h > MAP_MAX_SIDE)
        return 0;
    size_t esize = version == MAP_VERSION ? MAP_ELEMENT_BYTES : MAP_ELEMENT_BYTES_OLD;
    return MAP_HEADER_BYTES + (size_t)w * h * esize;
}

// Reads the header and as many bytes as it promises, plus one to tell a long
// file from a good one, into s_readBuf; *got tells how many. So a huge file
// costs no more than a good one. 0 when it can't be read.
static int map_ReadFile(const char* path, size_t* got)
{
    FILE* f = Fs_Open(path, "rb");
    if (!f) {
        TLOG(TLOG_ERROR, "Unable to open map file [%s]", Fs_Resolve(path).c_str());
        snprintf(s_loadError, sizeof s_loadError, "%s", "cannot be opened");
        return 0;
    }
    map_Reserve(MAP_HEADER_BYTES + 1);
    size_t n = fread(s_readBuf, 1, MAP_HEADER_BYTES, f);
    size_t want = n == MAP_HEADER_BYTES ? map_FileBytes(s_readBuf) : 0;
    if (want) {
        map_Reserve(want + 1);
        n += fread(s_readBuf + n, 1, want + 1 - n, f);
    }
    int failed = ferror(f);
    fclose(f);
    if (failed) {
        TLOG(TLOG_ERROR, "Unable to read map file [%s]", Fs_Resolve(path).c_str());
        snprintf(s_loadError, sizeof s_loadError, "%s", "cannot be read");
        return 0;
    }
    *got = n;
    return 1;
}

int Map_Load(const char* path)
{
    s_loadError[0] = '\0';
    if (g_NewMapRequest.flag) return map_MakeNew();
    if (!path || !*path) {
        TLOG(TLOG_ERROR, "Map_Load: no map file named");
        return 0;
    }
    size_t n = 0;
    if (!map_ReadFile(path, &n)) return 0;
    const uint8_t* b = s_readBuf;

    if (n < 4) return map_Refuse(path, n, "the file ends before the magic MAP_");
    if (memcmp(b, MAP_MAGIC, 4) != 0) return map_Refuse(path, 0, "expected the magic MAP_");
    if (n < 8) return map_Refuse(path, n, "the file ends inside the version");
    uint32_t version = Bytes_U32(b + 4);
    if (version != MAP_VERSION && version != MAP_VERSION_OLD)
        return map_Refuse(path, 4, "expected version 0x210 or 0x200");
    if (n < MAP_HEADER_BYTES) return map_Refuse(path, n, "the file ends inside the map size");
    uint32_t w = Bytes_U32(b + 8), h = Bytes_U32(b + 12);
    if (w < MAP_MIN_SIDE || w > MAP_MAX_SIDE)
        return map_Refuse(path, 8, "expected a width of 2 .. 512");
    if (h < MAP_MIN_SIDE || h > MAP_MAX_SIDE)
        return map_Refuse(path, 12, "expected a height of 2 .. 512");
    int esize = version == MAP_VERSION ? MAP_ELEMENT_BYTES : MAP_ELEMENT_BYTES_OLD;
    size_t want = MAP_HEADER_BYTES + (size_t)w * h * (size_t)esize;
    if (n < want) {
        size_t i = (n - MAP_HEADER_BYTES) / (size_t)esize;
        char what[96];
        snprintf(what, sizeof what, "the file ends inside element (%u,%u) of %u x %u",
                 (unsigned)(i % w), (unsigned)(i / w), (unsigned)w, (unsigned)h);
        return map_Refuse(path, n, what);
    }
    if (n > want) return map_Refuse(path, want, "bytes after the last element");
    if (!map_CheckElements(path, b + MAP_HEADER_BYTES, (int)w, (int)h, esize)) return 0;

    map_Resize((int)w, (int)h);
    if (esize == MAP_ELEMENT_BYTES) map_Decode<MAP_ELEMENT_BYTES>(b + MAP_HEADER_BYTES);
    else map_Decode<MAP_ELEMENT_BYTES_OLD>(b + MAP_HEADER_BYTES);
    return 1;
}

// ------------------------------------------------------------------ saving

int Map_Save(const char* path)
{
    if (!path || !*path) {
        TLOG(TLOG_ERROR, "Map_Save: no map file named");
        return 0;
    }
    if (!g_MapElements) {
        TLOG(TLOG_ERROR, "Map_Save: no map to write to [%s]", path);
        return 0;
    }
    size_t count = (size_t)mapsizex * (size_t)mapsizey;
    size_t length = MAP_HEADER_BYTES + count * MAP_ELEMENT_BYTES;
    uint8_t* buf = (uint8_t*)Debug_Malloc(length);
    memcpy(buf, MAP_MAGIC, 4);
    Bytes_PutU32(buf + 4, MAP_VERSION);
    Bytes_PutU32(buf + 8, (uint32_t)mapsizex);
    Bytes_PutU32(buf + 12, (uint32_t)mapsizey);
    uint8_t* p = buf + MAP_HEADER_BYTES;
    for (size_t i = 0; i < count; i++, p += MAP_ELEMENT_BYTES) {
        const MAP_ELEMENT& e = g_MapElements[i];
        p[0] = (uint8_t)e.tile;
        p[1] = (uint8_t)(e.tile >> 8);
        p[2] = (uint8_t)((e.tile >> 16) & 0x1F);
        p[3] = (uint8_t)e.altitude;
        p[4] = (uint8_t)e.effect;
        p[5] = (uint8_t)(e.water | e.mineral << 3);
        p[6] = (uint8_t)e.initalt;
    }
    int ok = Fs_WriteAtomic(path, buf, length);
    Debug_Free(&buf);
    if (!ok) TLOG(TLOG_ERROR, "Unable to write to file [%s]", Fs_Resolve(path).c_str());
    return ok;
}

void Map_Free(void)
{
    Debug_Free(&g_MapElements);
    Debug_Free(&s_readBuf);
    s_readCap = 0;
    mapsizex = mapsizey = 0;
    s_warnedElement = 0;
    s_warnedHyps = 0;
}

// ------------------------------------------------------------------ resources

void Map_SetResourceLevel(int kind, int amount, int radius, int x, int y)
{
    if (kind != 0 && kind != 1) {
        TLOG(TLOG_ERROR, "Map_SetResourceLevel: unknown resource kind %d", kind);
        return;
    }
    if (radius < 0 || !g_MapElements) return;
    uint32_t level = (uint32_t)(amount < 0 ? 0 : amount > 7 ? 7 : amount);
    // 64-bit bounds: a far-off centre or a huge radius must not overflow.
    long long x0 = (long long)x - radius, x1 = (long long)x + radius;
    long long y0 = (long long)y - radius, y1 = (long long)y + radius;
    if (x0 < 1) x0 = 1;
    if (y0 < 1) y0 = 1;
    if (x1 > mapsizex - 1) x1 = mapsizex - 1;
    if (y1 > mapsizey - 1) y1 = mapsizey - 1;
    for (long long ty = y0; ty <= y1; ty++) {
        for (long long tx = x0; tx <= x1; tx++) {
            long long dx = tx - x, dy = ty - y;
            if (Map_ISqrt((long)(dx * dx + dy * dy)) > radius) continue;
            MAP_ELEMENT& e = g_MapElements[ty * mapsizex + tx];
            if (kind == 0) e.water = level;
            else e.mineral = level;
        }
    }
}

// ------------------------------------------------------------------ access

int Map_IsValidTile(int x, int y) { return x >= 1 && x < mapsizex && y >= 1 && y < mapsizey; }

MAP_ELEMENT* Line_GetElement(int x, int y, const char* file, int line)
{
    if (g_MapElements && x >= 0 && x < mapsizex && y >= 0 && y < mapsizey)
        return &g_MapElements[(size_t)y * (size_t)mapsizex + (size_t)x];
    if (!s_warnedElement) {
        s_warnedElement = 1;
        TLOG(TLOG_ERROR, "Tried to access map element (%d,%d) in file %s, line %d", x, y,
             file ? file : "?", line);
    }
    if (g_MapElements) return &g_MapElements[0];
    memset(&s_scratch, 0, sizeof s_scratch);
    s_scratch.effect = MAP_EFFECT_NONE;
    return &s_scratch;
}

static uint16_t s_hyps[MAP_HYPS_SIZE][MAP_HYPS_SIZE];
static int s_hypsReady;

static void map_BuildHyps(void)
{
    for (int dx = 0; dx < MAP_HYPS_SIZE; dx++) {
        for (int dy = 0; dy < MAP_HYPS_SIZE; dy++) {
            // round(sqrt(n)): (r + 1/2)^2 = r^2 + r + 1/4 is never a whole
            // number, so n above r^2 + r rounds up and nothing is a tie.
            long n = 10000L * (dx * dx + dy * dy);
            long r = Map_ISqrt(n);
            if (n - r * r > r) r++;
            s_hyps[dx][dy] = (uint16_t)r;
        }
    }
    s_hypsReady = 1;
}

int Line_GetHyps(int dx, int dy, const char* file, int line)
{
    if (!s_hypsReady) map_BuildHyps();
    if (dx < 0 || dx >= MAP_HYPS_SIZE || dy < 0 || dy >= MAP_HYPS_SIZE) {
        if (!s_warnedHyps) {
            s_warnedHyps = 1;
            TLOG(TLOG_ERROR, "Line_GetHyps out of range (%d,%d) in file %s, line %d", dx, dy,
                 file ? file : "?", line);
        }
        // Magnitudes in long: -INT_MIN doesn't fit an int.
        long ax = dx < 0 ? -(long)dx : dx, ay = dy < 0 ? -(long)dy : dy;
        dx = (int)(ax >= MAP_HYPS_SIZE ? MAP_HYPS_SIZE - 1 : ax);
        dy = (int)(ay >= MAP_HYPS_SIZE ? MAP_HYPS_SIZE - 1 : ay);
    }
    return s_hyps[dx][dy];
}

void Line_Save(void)
{
    if (!g_MapElements) return;
    const uint32_t row = (uint32_t)mapsizex * sizeof(MAP_ELEMENT);
    for (int y = 0; y < mapsizey; y++) {
        MAP_ELEMENT* first = g_MapElements + (size_t)y * mapsizex;
        Save_RegisterBlockPointers(ST_MAP_ELEMENT, 1, first, row, ST_UNIT);
        Save_RegisterBlock(SAVEK_GLOBAL, first, ST_MAP_ELEMENT, row);
    }
}
