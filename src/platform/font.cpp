#include "platform/font.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "core/debug.h"
#include "core/fspath.h"
#include "core/guard.h"
#include "core/tlog.h"
#include "platform/graph.h"
#include "platform/pcx.h"

enum { FONT_MAXHEIGHT = 255, FONT_MAXWIDTH = 255 };

struct FONT_SLOT {
    int loaded;
    int height;
    size_t offset;            // of the glyph pixels in the work buffer
    size_t size;              // bytes they take there
    uint8_t width[256];       // advance; the space's for characters without a glyph
    uint8_t hasglyph[256];
    uint32_t glyph[256];      // offset of a glyph's rows from the font's first byte
};

static MODULE_GUARD s_guard = MODULE_GUARD_INIT("Fonts");
static uint8_t* s_Buffer;
static size_t s_BufferSize;
static size_t s_Used;
static FONT_SLOT s_Slots[FONT_SLOTS];

static const FONT_SLOT* LoadedSlot(int slot)
{
    if (slot < 0 || slot >= FONT_SLOTS || !s_Slots[slot].loaded) return nullptr;
    return &s_Slots[slot];
}

void Font_Init(int bufsize)
{
    ASSERT(bufsize > 0);
    Guard_Init(&s_guard);
    s_Buffer = (uint8_t*)Debug_Malloc((size_t)bufsize);
    s_BufferSize = (size_t)bufsize;
}

void Font_Close(void)
{
    Guard_Close(&s_guard);
    Debug_Free(&s_Buffer);
    s_BufferSize = 0;
    s_Used = 0;
    memset(s_Slots, 0, sizeof s_Slots);
}

// Fonts stay packed at the start of the buffer, so whatever is free is one
// block at the end and any font that fits the total free space can load.
static void ReleaseSlot(int slot)
{
    FONT_SLOT* f = &s_Slots[slot];
    if (!f->loaded) return;
    size_t end = f->offset + f->size;
    memmove(s_Buffer + f->offset, s_Buffer + end, s_Used - end);
    for (FONT_SLOT& other : s_Slots)
        if (other.loaded && other.offset > f->offset) other.offset -= f->size;
    s_Used -= f->size;
    memset(f, 0, sizeof *f);
}

void Font_Unload(int slot)
{
    ASSERT(slot >= 0 && slot < FONT_SLOTS);
    ReleaseSlot(slot);
}

int Font_IsLoaded(int slot) { return LoadedSlot(slot) != nullptr; }

// The cells of the marker row: start column and width of each run.
struct FONT_CELLS {
    int count;
    int start[FONT_MAXGLYPHS];
    int width[FONT_MAXGLYPHS];
};

// Checks the image against the layout; null when it fits, else the reason.
static const char* ScanImage(const BITMAP* image, FONT_CELLS* cells, char* why, size_t whylen)
{
    if (!image->data || image->x_size < 1) return "empty image";
    if (image->y_size < 2 || image->y_size > FONT_MAXHEIGHT + 1) {
        snprintf(why, whylen, "height %d outside 2..%d", image->y_size, FONT_MAXHEIGHT + 1);
        return why;
    }
    const uint8_t* row = image->data;
    uint8_t marker = row[0];
    if (marker == 0) return "no marker at column 0 of the first row";
    cells->count = 0;
    for (int x = 0; x < image->x_size; x++) {
        if (row[x] != marker) continue;
        if (x == 0 || row[x - 1] != marker) {
            if (cells->count == FONT_MAXGLYPHS) {
                snprintf(why, whylen, "more than %d character cells (column %d)", FONT_MAXGLYPHS, x);
                return why;
            }
            cells->start[cells->count] = x;
            cells->width[cells->count] = 0;
            cells->count++;
        }
        if (++cells->width[cells->count - 1] > FONT_MAXWIDTH) {
            snprintf(why, whylen, "cell of character %d wider than %d pixels",
                     FONT_FIRSTCHAR + cells->count - 1, FONT_MAXWIDTH);
            return why;
        }
    }
    return nullptr;
}

int Font_Load(const char* path, int slot)
{
    ASSERT(slot >= 0 && slot < FONT_SLOTS);
    if (!path) path = "";
    if (!s_Buffer) {
        TLOG(TLOG_ERROR, "Font file [%s]: no font buffer (Font_Init not called)", path);
        return 0;
    }
    BITMAP image{};
    if (!Pcx_Read(path, &image, nullptr)) {
        TLOG(TLOG_ERROR, "Font file [%s]: not a readable PCX image", Fs_Resolve(path).c_str());
        return 0;
    }
    FONT_CELLS cells;
    char why[96];
    const char* bad = ScanImage(&image, &cells, why, sizeof why);
    size_t height = image.y_size > 0 ? (size_t)image.y_size - 1 : 0;
    size_t size = 0;
    if (!bad) {
        for (int i = 0; i < cells.count; i++) size += (size_t)cells.width[i] * height;
        size_t available = s_BufferSize - s_Used + s_Slots[slot].size;
        if (size > available) {
            snprintf(why, sizeof why, "needs %zu bytes of the font buffer, %zu free", size, available);
            bad = why;
        }
    }
    if (bad) {
        TLOG(TLOG_ERROR, "Font file [%s]: %s", Fs_Resolve(path).c_str(), bad);
        Graph_FreeBitmap(&image);
        return 0;
    }

    ReleaseSlot(slot);
    FONT_SLOT* f = &s_Slots[slot];
    f->loaded = 1;
    f->height = (int)height;
    f->offset = s_Used;
    f->size = size;
    uint8_t* out = s_Buffer + s_Used;
    uint32_t at = 0;
    for (int i = 0; i < cells.count; i++) {
        int c = FONT_FIRSTCHAR + i;
        f->hasglyph[c] = 1;
        f->width[c] = (uint8_t)cells.width[i];
        f->glyph[c] = at;
        for (size_t r = 0; r < height; r++) {
            memcpy(out + at, image.data + (r + 1) * (size_t)image.x_size + cells.start[i],
                   (size_t)cells.width[i]);
            at += (uint32_t)cells.width[i];
        }
    }
    for (int c = 0; c < 256; c++)
        if (!f->hasglyph[c]) f->width[c] = f->width[FONT_FIRSTCHAR];
    s_Used += size;
    Graph_FreeBitmap(&image);
    return 1;
}

int Font_GetHeight(int slot)
{
    const FONT_SLOT* f = LoadedSlot(slot);
    return f ? f->height : 0;
}

int Font_CharWidth(int slot, int c)
{
    const FONT_SLOT* f = LoadedSlot(slot);
    return f ? f->width[c & 0xFF] : 0;
}

static int IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }

// Walks a text with its inline codes, calling visit(font, character, pen)
// for each character in a loaded font; visit returns 0 to stop the walk.
// Returns the pen where the walk ended; *furthest gets the furthest pen.
// Pens are long: a long enough text would overflow an int.
template <class VISIT>
static long WalkText(const char* text, int slot, long* furthest, VISIT&& visit)
{
    const FONT_SLOT* f = LoadedSlot(slot);
    long pen = 0, far = 0;
    const unsigned char* p = (const unsigned char*)text;
    while (p && *p) {
        if (*p == '|' && IsDigit(p[1])) {
            if (const FONT_SLOT* next = LoadedSlot(p[1] - '0')) f = next;
            p += 2;
            continue;
        }
        if (*p == '~' && IsDigit(p[1])) {
            int column = 0, k = 1;
            for (; k <= 3 && IsDigit(p[k]); k++) column = column * 10 + (p[k] - '0');
            p += k;
            pen = column;
            if (pen > far) far = pen;
            continue;
        }
        int c = *p++;
        if (!f) continue;
        if (!visit(f, c, pen)) break;
        pen += f->width[c];
        if (pen > far) far = pen;
    }
    if (furthest) *furthest = far;
    return pen;
}

static int ClampInt(long v) { return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : (int)v; }

int Font_StringWidth(const char* text, int slot)
{
    long furthest = 0;
    WalkText(text, slot, &furthest, [](const FONT_SLOT*, int, long) { return 1; });
    return ClampInt(furthest);
}

// The drawable area: the clip rectangle (or the whole bitmap) inside the bitmap.
struct FONT_AREA {
    long x0, y0, x1, y1; // x1, y1 exclusive
};

static void DrawGlyph(const FONT_SLOT* f, int c, long gx, long gy, const FONT_AREA& a,
                      const uint8_t* remap, uint8_t colour, BITMAP* dst)
{
    if (!f->hasglyph[c]) return;
    long w = f->width[c], h = f->height;
    long cx0 = gx > a.x0 ? gx : a.x0, cx1 = gx + w < a.x1 ? gx + w : a.x1;
    long cy0 = gy > a.y0 ? gy : a.y0, cy1 = gy + h < a.y1 ? gy + h : a.y1;
    if (cx0 >= cx1 || cy0 >= cy1) return;
    const uint8_t* glyph = s_Buffer + f->offset + f->glyph[c];
    for (long y = cy0; y < cy1; y++) {
        const uint8_t* src = glyph + (y - gy) * w;
        uint8_t* out = dst->data + y * (long)dst->x_size;
        for (long x = cx0; x < cx1; x++) {
            uint8_t pixel = src[x - gx];
            if (!pixel) continue;
            out[x] = remap ? remap[pixel] : colour ? colour : pixel;
        }
    }
}

int Font_Print(int x, int y, const char* text, int width, int slot, const uint8_t* remap,
               const GRECT* clip, BITMAP* dst, int colour, int flags)
{
    (void)flags;
    ASSERT(dst);
    FONT_AREA a{0, 0, dst->data ? dst->x_size : 0, dst->data ? dst->y_size : 0};
    if (clip) {
        if (clip->x > a.x0) a.x0 = clip->x;
        if (clip->y > a.y0) a.y0 = clip->y;
        if ((long)clip->x + clip->w < a.x1) a.x1 = (long)clip->x + clip->w;
        if ((long)clip->y + clip->h < a.y1) a.y1 = (long)clip->y + clip->h;
    }
    uint8_t ink = (uint8_t)colour;
    long pen = WalkText(text, slot, nullptr, [&](const FONT_SLOT* f, int c, long at) {
        if (width > 0 && at + f->width[c] > width) return 0;
        DrawGlyph(f, c, x + at, y, a, remap, ink, dst);
        return 1;
    });
    return ClampInt(x + pen);
}
