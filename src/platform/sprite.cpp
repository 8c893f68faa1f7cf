// Sprites: the file reader and writer, the sprite list, and run-length drawing.
//
// The reader does all the checking (docs/formats.md, "Sprite files"): every
// run of every row is held against the width before a sprite exists, so the
// drawing loop trusts the stream and only clips. A frame is drawn by walking
// its rows; rows above the clip are walked without drawing (a row is a few
// run headers), rows below it are never reached.
#include "platform/sprite.h"

#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/savetype.h"

#include <strings.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#endif

#include "core/bytes.h"
#include "core/debug.h"
#include "core/guard.h"
#include "core/error.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "platform/graph.h"
#include "platform/palette.h"

SPRITE* g_SpriteList = nullptr;
static SPRITE* s_spriteTail = nullptr;

// ------------------------------------------------------------------ reading


// Checks one image's run-length stream against the width and height; the
// offset of the fault inside the stream (with *expected set), or len when
// the stream is sound.
static size_t sprite_CheckRle(const uint8_t* s, size_t len, int w, int h, const char** expected)
{
    size_t i = 0;
    for (int row = 0; row < h; row++) {
        int x = 0;
        for (;;) {
            if (len - i < 2) {
                *expected = "the row's next run (the stream ends inside a row)";
                return i;
            }
            int skip = s[i], count = s[i + 1];
            if (skip == 0 && count == 0) {
                i += 2;
                break;
            }
            if (x + skip + count > w) {
                *expected = "a run that ends within the sprite's width";
                return i;
            }
            i += 2;
            if (len - i < (size_t)count) {
                *expected = "the run's pixels to go on";
                return i;
            }
            i += count;
            x += skip + count;
        }
    }
    if (i != len) *expected = "the end of the stream after the last row";
    return i;
}

static void sprite_FreeContents(SPRITE* s)
{
    Debug_Free(&s->sectionno);
    Debug_Free(&s->sections);
    Debug_Free(&s->images);
    Debug_Free(&s->hotspots);
    Debug_Free(&s->rledata);
}

static void sprite_Destroy(SPRITE* s)
{
    sprite_FreeContents(s);
    Debug_Free(&s);
}

static int sprite_ReadSections(BYTEREADER* r, SPRITE* s)
{
    uint8_t seen[SPRITE_MAXSECTIONS] = {};
    for (int i = 0; i < s->nrsections; i++) {
        uint32_t no, first, last;
        if (!Bytes_ReadU32(r, 0, SPRITE_MAXSECTIONS - 1, "a section number of 0..255", &no))
            return 0;
        if (seen[no]) return Bytes_Fail(r, r->at - 4, "a section number not given before");
        seen[no] = 1;
        if (!Bytes_ReadU32(r, 0, (uint32_t)s->fsize - 1, "a first frame below the frame count",
                            &first))
            return 0;
        if (!Bytes_ReadU32(r, first, (uint32_t)s->fsize - 1,
                            "a last frame from the first frame to the sprite's last", &last))
            return 0;
        uint32_t speed, extra;
        if (!Bytes_ReadU32(r, 0, 0x7FFFFFFF, "a speed of 0 or more", &speed)) return 0;
        if (!Bytes_ReadU32(r, 0, 0xFFFFFFFF, "", &extra)) return 0;
        s->sectionno[i] = (int)no;
        s->sections[i] = SPRITE_SECTION{(int)first, (int)last, (int32_t)speed, (int32_t)extra};
    }
    return 1;
}

// Reads the images, first checking each one and noting where its hot spots
// and stream lie in the file, then copying them into two blocks.
static int sprite_ReadImages(BYTEREADER* r, SPRITE* s)
{
    int count = s->fsize * s->rsize;
    std::vector<size_t> hotat((size_t)count), rleat((size_t)count);
    size_t nrhot = 0, rlebytes = 0;
    for (int i = 0; i < count; i++) {
        SPRITE_IMAGE* img = &s->images[i];
        if (r->size - r->at < 1) return Bytes_Fail(r, r->size, "the file to go on");
        img->nrhot = r->data[r->at];
        if (img->nrhot > SPRITE_MAXHOTSPOTS)
            return Bytes_Fail(r, r->at, "a hot spot count of 0..16");
        r->at++;
        if (r->size - r->at < (size_t)img->nrhot * 6)
            return Bytes_Fail(r, r->size, "the hot spots to go on");
        hotat[i] = r->at;
        img->firsthot = (int)nrhot;
        nrhot += img->nrhot;
        r->at += (size_t)img->nrhot * 6;
        uint32_t len;
        if (!Bytes_ReadU32(r, 0, 0xFFFFFFFF, "", &len)) return 0;
        if (r->size - r->at < len) return Bytes_Fail(r, r->size, "the run-length stream to go on");
        const char* expected = nullptr;
        size_t bad = sprite_CheckRle(r->data + r->at, len, s->w, s->h, &expected);
        if (expected) return Bytes_Fail(r, r->at + bad, expected);
        rleat[i] = r->at;
        img->rlebytes = len;
        rlebytes += len;
        r->at += len;
    }
    if (r->at != r->size) return Bytes_Fail(r, r->at, "the end of the file after the last image");

    s->hotspots = (SPRITE_POINT*)Debug_Calloc(nrhot ? nrhot : 1, sizeof(SPRITE_POINT));
    s->rledata = (uint8_t*)Debug_Malloc(rlebytes ? rlebytes : 1);
    size_t at = 0;
    for (int i = 0; i < count; i++) {
        SPRITE_IMAGE* img = &s->images[i];
        for (int k = 0; k < img->nrhot; k++) {
            const uint8_t* p = r->data + hotat[i] + 6 * k;
            SPRITE_POINT* pt = &s->hotspots[img->firsthot + k];
            pt->x = (int16_t)(p[0] | p[1] << 8);
            pt->y = (int16_t)(p[2] | p[3] << 8);
            pt->z = (int16_t)(p[4] | p[5] << 8);
        }
        memcpy(s->rledata + at, r->data + rleat[i], img->rlebytes);
        img->rle = s->rledata + at;
        at += img->rlebytes;
    }
    return 1;
}

// Parses a whole file into a new sprite (not on the list, count 0); null
// with r->expected set on the first fault.
static SPRITE* sprite_Parse(BYTEREADER* r)
{
    static const char* const magics[3] = {"RSPR", "SSPR", "LSPR"};
    int kind = -1;
    for (int k = 0; k < 3 && r->size >= 4; k++)
        if (memcmp(r->data, magics[k], 4) == 0) kind = k;
    if (kind < 0) {
        Bytes_Fail(r, 0, "the magic \"RSPR\", \"SSPR\" or \"LSPR\"");
        return nullptr;
    }
    r->at = 4;
    uint32_t version, frames, rotations, w, h, sections;
    if (!Bytes_ReadU32(r, SPRITE_VERSION, SPRITE_VERSION, "version 0x210", &version) ||
        !Bytes_ReadU32(r, 1, SPRITE_MAXFRAMES, "a frame count of 1..1024", &frames) ||
        !Bytes_ReadU32(r, 1, SPRITE_MAXROTATIONS, "a rotation count of 1..64", &rotations) ||
        !Bytes_ReadU32(r, 1, SPRITE_MAXSIDE, "a width of 1..512", &w) ||
        !Bytes_ReadU32(r, 1, SPRITE_MAXSIDE, "a height of 1..512", &h) ||
        !Bytes_ReadU32(r, 0, SPRITE_MAXSECTIONS, "a section count of 0..256", &sections))
        return nullptr;
    // Each image takes at least its hot spot count, its length and an end
    // pair per row: counts the file can't hold are refused before anything
    // is allocated for them.
    size_t images = (size_t)frames * rotations;
    size_t least = (size_t)sections * SPRITE_SECTION_BYTES + images * (5 + 2 * (size_t)h);
    if (r->size - r->at < least) {
        Bytes_Fail(r, r->size, "the sections and images to go on");
        return nullptr;
    }
    SPRITE* s = (SPRITE*)Debug_Calloc(1, sizeof(SPRITE));
    s->kind = kind;
    s->fsize = (int)frames;
    s->rsize = (int)rotations;
    s->w = (int)w;
    s->h = (int)h;
    s->nrsections = (int)sections;
    s->sectionno = (int*)Debug_Calloc(sections ? sections : 1, sizeof(int));
    s->sections = (SPRITE_SECTION*)Debug_Calloc(sections ? sections : 1, sizeof(SPRITE_SECTION));
    s->images = (SPRITE_IMAGE*)Debug_Calloc(images, sizeof(SPRITE_IMAGE));
    if (!sprite_ReadSections(r, s) || !sprite_ReadImages(r, s)) {
        sprite_Destroy(s);
        return nullptr;
    }
    return s;
}

// Loads a file into a sprite that is on no list; null (logged) on failure.
static SPRITE* sprite_LoadUnlinked(const char* path)
{
    std::string bytes;
    if (!Fs_ReadAll(path, &bytes)) {
        TLOG(TLOG_ERROR, "Sprite file [%s]: unable to read the file", Fs_Resolve(path).c_str());
        return nullptr;
    }
    BYTEREADER r;
    Bytes_Init(&r, (const uint8_t*)bytes.data(), bytes.size());
    SPRITE* s = sprite_Parse(&r);
    if (!s)
        TLOG(TLOG_ERROR, "Sprite file [%s]: offset %zu: expected %s",
             Fs_Resolve(path).c_str(), r.failat, r.expected);
    return s;
}

static void sprite_Link(SPRITE* s)
{
    s->next = nullptr;
    s->prev = s_spriteTail;
    if (s_spriteTail) s_spriteTail->next = s;
    else g_SpriteList = s;
    s_spriteTail = s;
}

static void sprite_Unlink(SPRITE* s)
{
    if (s->prev) s->prev->next = s->next;
    else g_SpriteList = s->next;
    if (s->next) s->next->prev = s->prev;
    else s_spriteTail = s->prev;
    s->next = s->prev = nullptr;
}

SPRITE* Sprite_Load(const char* path)
{
    if (!path) path = "";
    SPRITE* s = sprite_LoadUnlinked(path);
    if (!s) return nullptr;
    Str_CopySafe(s->name, path, sizeof s->name);
    s->byname = 0;
    s->refcount = 1;
    sprite_Link(s);
    return s;
}

void Sprite_Free(SPRITE* sprite)
{
    if (!sprite) return;
    ASSERT(sprite->refcount > 0);
    if (--sprite->refcount > 0) return;
    sprite_Unlink(sprite);
    sprite_Destroy(sprite);
}

void Sprite_FreeAll(void)
{
    while (g_SpriteList) {
        SPRITE* s = g_SpriteList;
        TLOG(TLOG_WARNING, "Sprite [%s] freed with %d references left", s->name, s->refcount);
        sprite_Unlink(s);
        sprite_Destroy(s);
    }
}

static MODULE_GUARD s_guard = MODULE_GUARD_INIT("Sprites");

void Sprite_InitAll(void)
{
    Guard_Init(&s_guard);
    Sprite_FreeAll();
}

void Sprite_CloseAll(void)
{
    Guard_Close(&s_guard);
    Sprite_FreeAll();
}

int Sprite_Count(void)
{
    int n = 0;
    for (const SPRITE* s = g_SpriteList; s; s = s->next) n++;
    return n;
}

// The data-directory path of a sprite file: the first that exists of the
// graphics folder of the data directory and that of the second one; 0 when
// neither has it.
static int sprite_FindFile(const char* filename, char* out)
{
    if (Utils_MakePath(out, g_GraphicsDir, "", "", filename, "") && Fs_Exists(out) &&
        !Fs_IsDir(out))
        return 1;
    if (g_DataDir2[0] && Utils_MakePath(out, g_DataDir2, "graphics", "", filename, "") &&
        Fs_Exists(out) && !Fs_IsDir(out))
        return 1;
    out[0] = 0;
    return 0;
}

SPRITE* Textfile_FindSprite(const char* filename)
{
    if (!filename || !*filename) {
        TLOG(TLOG_ERROR, "Sprite without a file name");
        return nullptr;
    }
    for (SPRITE* s = g_SpriteList; s; s = s->next)
        if (s->byname && strcasecmp(s->name, filename) == 0) {
            s->refcount++;
            return s;
        }
    char path[UTILS_PATH];
    if (!sprite_FindFile(filename, path)) {
        TLOG(TLOG_ERROR, "Sprite [%s] not found in [%s] or the second data directory [%s]",
             filename, Fs_Resolve(g_GraphicsDir).c_str(), Fs_Resolve(g_DataDir2).c_str());
        return nullptr;
    }
    SPRITE* s = sprite_LoadUnlinked(path);
    if (!s) return nullptr;
    Str_CopySafe(s->name, filename, sizeof s->name);
    s->byname = 1;
    s->refcount = 1;
    sprite_Link(s);
    return s;
}

void Textfile_ReloadSprite(SPRITE* sprite)
{
    ASSERT(sprite);
    char path[UTILS_PATH];
    SPRITE* fresh = nullptr;
    if (sprite->byname) {
        if (sprite_FindFile(sprite->name, path)) fresh = sprite_LoadUnlinked(path);
    } else {
        Str_CopySafe(path, sprite->name, sizeof path);
        fresh = sprite_LoadUnlinked(path);
    }
    if (!fresh) ERR_FATAL(ERRC_FATAL, "Unable to reload [%s]", sprite->name);
    if (!Sprite_SameLayout(sprite, fresh)) {
        sprite_Destroy(fresh);
        ERR_FATAL(ERRC_FATAL, "Incompatible sprites [%s] and [%s]", sprite->name,
                  Fs_Resolve(path).c_str());
    }
    // The record keeps its address, name, count and list place; only what
    // the file describes is replaced.
    sprite_FreeContents(sprite);
    sprite->kind = fresh->kind;
    sprite->nrsections = fresh->nrsections;
    sprite->sectionno = fresh->sectionno;
    sprite->sections = fresh->sections;
    sprite->images = fresh->images;
    sprite->hotspots = fresh->hotspots;
    sprite->rledata = fresh->rledata;
    Debug_Free(&fresh);
}

// ------------------------------------------------------------------ queries

int Sprite_GetKind(const SPRITE* sprite)
{
    ASSERT(sprite);
    return sprite->kind;
}

int Sprite_NrFrames(const SPRITE* sprite)
{
    ASSERT(sprite);
    return sprite->fsize;
}

int Sprite_NrRotations(const SPRITE* sprite)
{
    ASSERT(sprite);
    return sprite->rsize;
}

int Sprite_GetWidth(const SPRITE* sprite)
{
    ASSERT(sprite);
    return sprite->w;
}

int Sprite_GetHeight(const SPRITE* sprite)
{
    ASSERT(sprite);
    return sprite->h;
}

int Sprite_SameLayout(const SPRITE* a, const SPRITE* b)
{
    ASSERT(a && b);
    return a->fsize == b->fsize && a->rsize == b->rsize && a->w == b->w && a->h == b->h;
}

static const SPRITE_IMAGE* sprite_Image(const SPRITE* sprite, int f, int r)
{
    ASSERT(sprite);
    ASSERT(f>=0 && f < sprite->fsize);
    ASSERT(r>=0 && r < sprite->rsize);
    return &sprite->images[f * sprite->rsize + r];
}

const uint8_t* Sprite_GetFrame(const SPRITE* sprite, int f, int r)
{
    return sprite_Image(sprite, f, r)->rle;
}

SPRITE_SECTION Sprite_GetSectionInfo(const SPRITE* sprite, int section)
{
    ASSERT(sprite);
    for (int i = 0; i < sprite->nrsections; i++)
        if (sprite->sectionno[i] == section) return sprite->sections[i];
    return SPRITE_SECTION{0, 0, SPRITE_SPEED_ONE, 0};
}

SPRITE_POINT Sprite_GetHotspot(const SPRITE* sprite, int n, int f, int r)
{
    const SPRITE_IMAGE* img = sprite_Image(sprite, f, r);
    if (n < 0 || n >= img->nrhot) return SPRITE_POINT{sprite->w / 2, sprite->h / 2, 1};
    return sprite->hotspots[img->firsthot + n];
}

int Sprite_GetHotspotXY(const SPRITE* sprite, int n, int f, int r, int* x, int* y)
{
    SPRITE_POINT p = Sprite_GetHotspot(sprite, n, f, r);
    if (x) *x = p.x;
    if (y) *y = p.y;
    return p.z;
}

// ------------------------------------------------------------------ drawing

namespace {

// The drawable area: x0 <= x < x1, y0 <= y < y1.
struct RLE_BOX {
    int64_t x0, y0, x1, y1;
};

// What a run does to the pixels under it, one struct per render mode so that
// each mode gets its own tight loop.
struct OpCopy {
    void operator()(uint8_t* d, const uint8_t* s, int n) const { memcpy(d, s, (size_t)n); }
};
// Four pixels a step, all four loads ahead of the stores, so a shade run may
// read and write the same pixels; the table never overlaps the run.
inline void rle_Table4(uint8_t* d, const uint8_t* s, const uint8_t* __restrict t, int n)
{
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        uint8_t a = t[s[i]], b = t[s[i + 1]], c = t[s[i + 2]], e = t[s[i + 3]];
        d[i] = a;
        d[i + 1] = b;
        d[i + 2] = c;
        d[i + 3] = e;
    }
    for (; i < n; i++) d[i] = t[s[i]];
}

struct OpRemap {
    const uint8_t* remap;
    void operator()(uint8_t* d, const uint8_t* s, int n) const { rle_Table4(d, s, remap, n); }
};
#if defined(__x86_64__) || defined(__i386__)
#define SPRITE_HAVE_X86 1
#else
#define SPRITE_HAVE_X86 0
#endif

// Team remaps change a few neighbouring colours and leave the rest: a table
// that differs from the identity only inside 16 entries [base, base + 16)
// is applied sixteen pixels at a time by a byte shuffle of those entries.
struct RLE_WINDOW {
    const uint8_t* table;
    uint8_t copy[256];     // the contents the answer was found for
    uint8_t entries[16];   // table[base .. base + 15]
    int base;
    bool ok;
};

// Whether table fits a window of 16 entries, and where. A few tables are
// remembered with their contents, so a table rewritten in place is looked
// at again.
const RLE_WINDOW* rle_Window(const uint8_t* table)
{
    static RLE_WINDOW cache[8];
    static int nextslot = 0;
    RLE_WINDOW* w = nullptr;
    for (RLE_WINDOW& c : cache)
        if (c.table == table) w = &c;
    if (w && memcmp(w->copy, table, 256) == 0) return w;
    if (!w) {
        w = &cache[nextslot];
        nextslot = (nextslot + 1) % 8;
    }
    w->table = table;
    memcpy(w->copy, table, 256);
    int lo = 256, hi = -1;
    for (int i = 0; i < 256; i++)
        if (table[i] != i) {
            lo = std::min(lo, i);
            hi = i;
        }
    w->ok = hi - lo < 16;
    w->base = hi < 0 ? 0 : std::min(lo, 240);
    memcpy(w->entries, table + w->base, 16);
    return w;
}

#if SPRITE_HAVE_X86
__attribute__((target("ssse3"))) void rle_Window16(uint8_t* d, const uint8_t* s, int n,
                                                   const RLE_WINDOW* w)
{
    int i = 0;
    if (n >= 16) {
        const __m128i entries = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w->entries));
        const __m128i base = _mm_set1_epi8((char)w->base), top = _mm_set1_epi8(15);
        // The last step may overlap the one before: the source is not the
        // destination, so pixels done twice come out the same.
        for (;;) {
            if (i + 16 > n) i = n - 16;
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            const __m128i idx = _mm_sub_epi8(v, base);
            const __m128i in = _mm_cmpeq_epi8(_mm_min_epu8(idx, top), idx);
            const __m128i looked = _mm_shuffle_epi8(entries, idx);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i),
                             _mm_or_si128(_mm_and_si128(in, looked), _mm_andnot_si128(in, v)));
            i += 16;
            if (i >= n) return;
        }
    }
    rle_Table4(d, s, w->table, n);
}

int rle_DetectSsse3()
{
    unsigned a, b, c, d;
    return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_SSSE3);
}
#endif

bool s_vectorRemap = true;

bool rle_UseWindow(void)
{
#if SPRITE_HAVE_X86
    static const bool has = rle_DetectSsse3();
    return has && s_vectorRemap;
#else
    return false;
#endif
}

struct OpRemapWindow {
    const RLE_WINDOW* window;
    void operator()(uint8_t* d, const uint8_t* s, int n) const
    {
#if SPRITE_HAVE_X86
        rle_Window16(d, s, n, window);
#else
        rle_Table4(d, s, window->table, n);
#endif
    }
};

struct OpBlend {
    const uint8_t* remap;
    const uint8_t (*blend)[256];
    void operator()(uint8_t* d, const uint8_t* s, int n) const
    {
        for (int i = 0; i < n; i++) d[i] = blend[remap[s[i]]][d[i]];
    }
};
struct OpShade {
    const uint8_t* row;
    void operator()(uint8_t* d, const uint8_t*, int n) const { rle_Table4(d, d, row, n); }
};
// The shade row of each source pixel is given by a table.
struct OpShadeBy {
    const uint8_t* rowof;
    void operator()(uint8_t* d, const uint8_t* s, int n) const
    {
        // Four pixels a step with every load ahead of the stores: the
        // stores can't then make the compiler read the tables again.
        const uint8_t* __restrict r = rowof;
        int i = 0;
        for (; i + 4 <= n; i += 4) {
            const uint8_t a = g_ShadeTable[r[s[i]]][d[i]], b = g_ShadeTable[r[s[i + 1]]][d[i + 1]];
            const uint8_t c = g_ShadeTable[r[s[i + 2]]][d[i + 2]], e = g_ShadeTable[r[s[i + 3]]][d[i + 3]];
            d[i] = a;
            d[i + 1] = b;
            d[i + 2] = c;
            d[i + 3] = e;
        }
        for (; i < n; i++) d[i] = g_ShadeTable[r[s[i]]][d[i]];
    }
};

// Past one row of a stream.
inline const uint8_t* rle_SkipRow(const uint8_t* p)
{
    for (;;) {
        int skip = p[0], count = p[1];
        p += 2;
        if ((skip | count) == 0) return p;
        p += count;
    }
}

template <class OP>
void rle_Draw(BITMAP* dst, const RLE_BOX& box, int64_t x, int64_t y, const uint8_t* p, int h,
              const OP& op)
{
    int64_t row = 0;
    for (; row < h && y + row < box.y0; row++) p = rle_SkipRow(p);
    int64_t end = std::min<int64_t>(h, box.y1 - y);
    for (; row < end; row++) {
        uint8_t* line = dst->data + (size_t)(y + row) * (size_t)dst->x_size;
        int64_t px = x;
        for (;;) {
            int skip = p[0], count = p[1];
            p += 2;
            if ((skip | count) == 0) break;
            int64_t a = px + skip, b = a + count;
            const uint8_t* s = p;
            p += count;
            px = b;
            if (a < box.x0) {
                s += box.x0 - a;
                a = box.x0;
            }
            if (b > box.x1) b = box.x1;
            if (a < b) op(line + a, s, (int)(b - a));
        }
    }
}

} // namespace

void Graph_DrawRLE(BITMAP* dst, const GRECT* clip, int flags, int x, int y, const uint8_t* rle,
                   int w, int h, const uint8_t* remap, int kind, int mode)
{
    (void)flags;
    if (!dst || !dst->data || dst->x_size < 1 || dst->y_size < 1 || !rle || w < 1 || h < 1) return;
    if (mode == RENDER_HIDDEN) return;
    RLE_BOX box{0, 0, dst->x_size, dst->y_size};
    if (clip) {
        if (clip->w < 1 || clip->h < 1) return;
        box.x0 = std::max<int64_t>(box.x0, clip->x);
        box.y0 = std::max<int64_t>(box.y0, clip->y);
        box.x1 = std::min<int64_t>(box.x1, (int64_t)clip->x + clip->w);
        box.y1 = std::min<int64_t>(box.y1, (int64_t)clip->y + clip->h);
    }
    if (box.x0 >= box.x1 || box.y0 >= box.y1) return;
    if (x >= box.x1 || (int64_t)x + w <= box.x0 || y >= box.y1 || (int64_t)y + h <= box.y0) return;

    static const std::array<uint8_t, 256> identity = [] {
        std::array<uint8_t, 256> t{};
        for (int i = 0; i < 256; i++) t[i] = (uint8_t)i;
        return t;
    }();
    const uint8_t* map = remap ? remap : identity.data();

    if (kind == SPRITE_SHADOW) {
        rle_Draw(dst, box, x, y, rle, h, OpShade{g_ShadeTable[SPRITE_SHADOW_SHADE]});
        return;
    }
    if (kind == SPRITE_LIGHT) {
        static const std::array<uint8_t, 256> lightrow = [] {
            std::array<uint8_t, 256> t{};
            for (int p = 0; p < 256; p++) t[p] = (uint8_t)(128 + p / 2);
            return t;
        }();
        rle_Draw(dst, box, x, y, rle, h, OpShadeBy{lightrow.data()});
        return;
    }
    switch (mode) {
    case RENDER_TRANSLUCENT_A0:
    case RENDER_TRANSLUCENT_A1:
    case RENDER_TRANSLUCENT_B0:
    case RENDER_TRANSLUCENT_B1:
        rle_Draw(dst, box, x, y, rle, h, OpBlend{map, g_BlendTables[mode - RENDER_TRANSLUCENT_A0]});
        return;
    case RENDER_HIGHLIGHT:
        // The display list pairs this mode with its highlight remap (Ovl_Hilite
        // sets both), so applying the remap too would highlight twice.
        rle_Draw(dst, box, x, y, rle, h, OpRemap{g_HighlightTable});
        return;
    case RENDER_LIGHT: {
        // Brighter sources light more: up to row 254, about twice as bright.
        uint8_t rowof[256];
        for (int p = 0; p < 256; p++)
            rowof[p] = (uint8_t)(128 + 2 * std::min<int>(63, g_GreyRemap[map[p]]));
        rle_Draw(dst, box, x, y, rle, h, OpShadeBy{rowof});
        return;
    }
    default:
        if (remap && rle_UseWindow()) {
            const RLE_WINDOW* w = rle_Window(remap);
            if (w->ok) rle_Draw(dst, box, x, y, rle, h, OpRemapWindow{w});
            else rle_Draw(dst, box, x, y, rle, h, OpRemap{remap});
        } else if (remap) rle_Draw(dst, box, x, y, rle, h, OpRemap{remap});
        else rle_Draw(dst, box, x, y, rle, h, OpCopy{});
        return;
    }
}

int Graph_SetVectorRemap(int enable)
{
    const int was = s_vectorRemap;
    s_vectorRemap = enable != 0;
    return was;
}

// ------------------------------------------------------------------ writing


// One image's rows as runs: transparent gaps become skips (in steps of at
// most 255), opaque stretches runs of at most 255 pixels.
static void sprite_EncodeRle(const uint8_t* px, int w, int h, std::string* out)
{
    for (int row = 0; row < h; row++) {
        const uint8_t* line = px + (size_t)row * w;
        int x = 0;
        for (;;) {
            int start = x;
            while (start < w && line[start] == 0) start++;
            if (start == w) break;
            int skip = start - x;
            while (skip > 255) {
                out->push_back((char)255);
                out->push_back(0);
                skip -= 255;
            }
            int end = start;
            while (end < w && line[end] != 0 && end - start < 255) end++;
            out->push_back((char)skip);
            out->push_back((char)(end - start));
            out->append((const char*)line + start, (size_t)(end - start));
            x = end;
        }
        out->push_back(0);
        out->push_back(0);
    }
}

// Why desc can't be written; null when it fits the format.
static const char* sprite_Check(const SPRITE_DESC* d)
{
    if (d->kind < SPRITE_REGULAR || d->kind > SPRITE_LIGHT) return "kind outside 0..2";
    if (d->frames < 1 || d->frames > SPRITE_MAXFRAMES) return "frame count outside 1..1024";
    if (d->rotations < 1 || d->rotations > SPRITE_MAXROTATIONS)
        return "rotation count outside 1..64";
    if (d->w < 1 || d->w > SPRITE_MAXSIDE || d->h < 1 || d->h > SPRITE_MAXSIDE)
        return "size outside 1..512";
    if (!d->pixels) return "no pixels";
    if (d->nrhotspots < 0 || d->nrhotspots > SPRITE_MAXHOTSPOTS)
        return "hot spot count outside 0..16";
    if (d->nrhotspots && !d->hotspots) return "no hot spots";
    size_t points = (size_t)d->frames * d->rotations * d->nrhotspots;
    for (size_t i = 0; i < points; i++) {
        const SPRITE_POINT& p = d->hotspots[i];
        if (p.x != (int16_t)p.x || p.y != (int16_t)p.y || p.z != (int16_t)p.z)
            return "hot spot outside the 16-bit range";
    }
    if (d->nrsections < 0 || d->nrsections > SPRITE_MAXSECTIONS)
        return "section count outside 0..256";
    if (d->nrsections && !d->sections) return "no sections";
    uint8_t seen[SPRITE_MAXSECTIONS] = {};
    for (int i = 0; i < d->nrsections; i++) {
        int no = d->sectionno ? d->sectionno[i] : i;
        const SPRITE_SECTION& s = d->sections[i];
        if (no < 0 || no >= SPRITE_MAXSECTIONS || seen[no])
            return "section number outside 0..255 or repeated";
        seen[no] = 1;
        if (s.first < 0 || s.last < s.first || s.last >= d->frames)
            return "section frames outside the sprite";
        if (s.speed < 0) return "negative section speed";
    }
    return nullptr;
}

int Sprite_Encode(const SPRITE_DESC* desc, std::string* out)
{
    ASSERT(desc && out);
    out->clear();
    if (const char* bad = sprite_Check(desc)) {
        TLOG(TLOG_ERROR, "Sprite: cannot encode: %s", bad);
        return 0;
    }
    static const char* const magics[3] = {"RSPR", "SSPR", "LSPR"};
    out->append(magics[desc->kind], 4);
    Bytes_AppendU32(out, SPRITE_VERSION);
    Bytes_AppendU32(out, (uint32_t)desc->frames);
    Bytes_AppendU32(out, (uint32_t)desc->rotations);
    Bytes_AppendU32(out, (uint32_t)desc->w);
    Bytes_AppendU32(out, (uint32_t)desc->h);
    Bytes_AppendU32(out, (uint32_t)desc->nrsections);
    for (int i = 0; i < desc->nrsections; i++) {
        const SPRITE_SECTION& s = desc->sections[i];
        Bytes_AppendU32(out, (uint32_t)(desc->sectionno ? desc->sectionno[i] : i));
        Bytes_AppendU32(out, (uint32_t)s.first);
        Bytes_AppendU32(out, (uint32_t)s.last);
        Bytes_AppendU32(out, (uint32_t)s.speed);
        Bytes_AppendU32(out, (uint32_t)s.extra);
    }
    size_t imagebytes = (size_t)desc->w * desc->h;
    std::string rle;
    for (int i = 0; i < desc->frames * desc->rotations; i++) {
        out->push_back((char)desc->nrhotspots);
        for (int k = 0; k < desc->nrhotspots; k++) {
            const SPRITE_POINT& p = desc->hotspots[(size_t)i * desc->nrhotspots + k];
            Bytes_AppendU16(out, (uint32_t)p.x);
            Bytes_AppendU16(out, (uint32_t)p.y);
            Bytes_AppendU16(out, (uint32_t)p.z);
        }
        rle.clear();
        sprite_EncodeRle(desc->pixels + i * imagebytes, desc->w, desc->h, &rle);
        Bytes_AppendU32(out, (uint32_t)rle.size());
        out->append(rle);
    }
    return 1;
}

int Sprite_Write(const char* path, const SPRITE_DESC* desc)
{
    if (!path) path = "";
    std::string bytes;
    if (!Sprite_Encode(desc, &bytes)) {
        TLOG(TLOG_ERROR, "Sprite file [%s]: not written", Fs_Resolve(path).c_str());
        return 0;
    }
    if (!Fs_WriteAtomic(path, bytes.data(), bytes.size())) {
        TLOG(TLOG_ERROR, "Unable to write to file [%s]", Fs_Resolve(path).c_str());
        return 0;
    }
    return 1;
}

void Sprite_SaveAll(void)
{
    for (SPRITE* s = g_SpriteList; s && Save_WalkGoesOn(); s = s->next)
        Save_RegisterBlock(SAVEK_STATIC, s, ST_SPRITE, sizeof *s);
}
