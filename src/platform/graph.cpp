// 8-bit bitmaps and the drawing primitives.
//
// Every primitive first reduces its work to the intersection of the bitmap,
// the clip rectangle and (for blits) the source bitmap, in 64-bit arithmetic
// so that no coordinate a caller passes can overflow into a write outside
// the bitmap. Lines and circles are computed in closed form at their first
// visible pixel, so their cost is bounded by the visible part however far
// away their ends lie.
#include "platform/graph.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/angle.h"
#include "core/debug.h"
#include "platform/palette.h"

// The drawable area: x0 <= x < x1, y0 <= y < y1.
struct GRAPH_BOX {
    int64_t x0, y0, x1, y1;
};

// A rectangle of a blit after clipping: destination, source and size.
struct GRAPH_SPAN {
    int x, y, sx, sy, w, h;
};

static int graph_Usable(const BITMAP* b) { return b && b->data && b->x_size > 0 && b->y_size > 0; }

// The bitmap narrowed by the clip rectangle; 0 when nothing is left.
static int graph_Box(const BITMAP* dst, const GRECT* clip, GRAPH_BOX* box)
{
    box->x0 = 0;
    box->y0 = 0;
    box->x1 = dst->x_size;
    box->y1 = dst->y_size;
    if (clip) {
        if (clip->w < 1 || clip->h < 1) return 0;
        box->x0 = std::max<int64_t>(box->x0, clip->x);
        box->y0 = std::max<int64_t>(box->y0, clip->y);
        box->x1 = std::min<int64_t>(box->x1, (int64_t)clip->x + clip->w);
        box->y1 = std::min<int64_t>(box->y1, (int64_t)clip->y + clip->h);
    }
    return box->x0 < box->x1 && box->y0 < box->y1;
}

// A rectangle cut to the box; 0 when nothing is left.
static int graph_CutRect(const GRAPH_BOX& box, int64_t x, int64_t y, int64_t w, int64_t h,
                         GRAPH_SPAN* out)
{
    if (w < 1 || h < 1) return 0;
    int64_t x0 = std::max(box.x0, x), y0 = std::max(box.y0, y);
    int64_t x1 = std::min(box.x1, x + w), y1 = std::min(box.y1, y + h);
    if (x0 >= x1 || y0 >= y1) return 0;
    *out = GRAPH_SPAN{(int)x0, (int)y0, 0, 0, (int)(x1 - x0), (int)(y1 - y0)};
    return 1;
}

// A blit's rectangle cut to the source bitmap and to the box, moving the
// other side's corner along so the pixels keep their pairing.
static int graph_CutBlit(const BITMAP* dst, const GRECT* clip, const BITMAP* src, int x, int y,
                         int sx, int sy, int w, int h, GRAPH_SPAN* out)
{
    if (!graph_Usable(dst) || !graph_Usable(src) || w < 1 || h < 1) return 0;
    GRAPH_BOX box;
    if (!graph_Box(dst, clip, &box)) return 0;
    int64_t X = x, Y = y, SX = sx, SY = sy, W = w, H = h;
    if (SX < 0) {
        X -= SX;
        W += SX;
        SX = 0;
    }
    if (SY < 0) {
        Y -= SY;
        H += SY;
        SY = 0;
    }
    W = std::min<int64_t>(W, src->x_size - SX);
    H = std::min<int64_t>(H, src->y_size - SY);
    if (X < box.x0) {
        SX += box.x0 - X;
        W -= box.x0 - X;
        X = box.x0;
    }
    if (Y < box.y0) {
        SY += box.y0 - Y;
        H -= box.y0 - Y;
        Y = box.y0;
    }
    W = std::min<int64_t>(W, box.x1 - X);
    H = std::min<int64_t>(H, box.y1 - Y);
    if (W < 1 || H < 1) return 0;
    *out = GRAPH_SPAN{(int)X, (int)Y, (int)SX, (int)SY, (int)W, (int)H};
    return 1;
}

// 1 when the source rows and the destination rows of a blit share memory.
static int graph_Overlap(const BITMAP* dst, const BITMAP* src, const GRAPH_SPAN& s)
{
    uintptr_t d0 = (uintptr_t)(dst->data + (size_t)s.y * dst->x_size + s.x);
    uintptr_t d1 = d0 + (size_t)(s.h - 1) * dst->x_size + s.w;
    uintptr_t s0 = (uintptr_t)(src->data + (size_t)s.sy * src->x_size + s.sx);
    uintptr_t s1 = s0 + (size_t)(s.h - 1) * src->x_size + s.w;
    return d0 < s1 && s0 < d1;
}

// Blits that read and write through a pixel rule copy an overlapping source
// first, so no pixel is read after it was written.
struct GRAPH_SOURCE {
    std::vector<uint8_t> copy;
    const uint8_t* row0;
    size_t pitch;
};

static void graph_Source(const BITMAP* dst, const BITMAP* src, const GRAPH_SPAN& s,
                         GRAPH_SOURCE* out)
{
    const uint8_t* p = src->data + (size_t)s.sy * src->x_size + s.sx;
    out->row0 = p;
    out->pitch = (size_t)src->x_size;
    if (!graph_Overlap(dst, src, s)) return;
    out->copy.resize((size_t)s.w * s.h);
    for (int j = 0; j < s.h; j++)
        memcpy(&out->copy[(size_t)j * s.w], p + (size_t)j * src->x_size, (size_t)s.w);
    out->row0 = out->copy.data();
    out->pitch = (size_t)s.w;
}

// ------------------------------------------------------------------ bitmaps

int Graph_InitBitmap(BITMAP* bitmap, int w, int h, uint8_t* data)
{
    ASSERT(bitmap);
    *bitmap = BITMAP{nullptr, 0, 0, 0};
    if (w < 1 || h < 1 || w > GRAPH_MAX_SIDE || h > GRAPH_MAX_SIDE) return 0;
    if (data) {
        bitmap->data = data;
    } else {
        bitmap->data = (uint8_t*)Debug_Calloc((size_t)w * (size_t)h, 1);
        bitmap->owned = 1;
    }
    bitmap->x_size = w;
    bitmap->y_size = h;
    return 1;
}

void Graph_FreeBitmap(BITMAP* bitmap)
{
    if (!bitmap) return;
    if (bitmap->owned) Debug_Free(&bitmap->data);
    bitmap->data = nullptr;
    bitmap->owned = 0;
}

void Graph_ClearBitmap(BITMAP* bitmap, uint8_t colour)
{
    if (!graph_Usable(bitmap)) return;
    memset(bitmap->data, colour, (size_t)bitmap->x_size * bitmap->y_size);
}

// ------------------------------------------------------------ filled shapes

static void graph_Fill(BITMAP* dst, const GRAPH_BOX& box, int64_t x, int64_t y, int64_t w,
                       int64_t h, uint8_t colour)
{
    GRAPH_SPAN s;
    if (!graph_CutRect(box, x, y, w, h, &s)) return;
    uint8_t* row = dst->data + (size_t)s.y * dst->x_size + s.x;
    for (int j = 0; j < s.h; j++, row += dst->x_size) memset(row, colour, (size_t)s.w);
}

void Graph_FillRect(BITMAP* dst, const GRECT* clip, int flags, int x, int y, int w, int h,
                    uint8_t colour)
{
    (void)flags;
    ASSERT(dst);
    ASSERT(dst->data);
    int x_size = dst->x_size;
    int y_size = dst->y_size;
    ASSERT(x_size > 0);
    ASSERT(y_size > 0);
    GRAPH_BOX box;
    if (!graph_Box(dst, clip, &box)) return;
    graph_Fill(dst, box, x, y, w, h, colour);
}

void Graph_DrawRect(BITMAP* dst, const GRECT* clip, int flags, int x, int y, int w, int h,
                    uint8_t colour)
{
    (void)flags;
    GRAPH_BOX box;
    if (!graph_Usable(dst) || w < 1 || h < 1 || !graph_Box(dst, clip, &box)) return;
    int64_t right = (int64_t)x + w - 1, bottom = (int64_t)y + h - 1;
    graph_Fill(dst, box, x, y, w, 1, colour);
    if (h > 1) graph_Fill(dst, box, x, bottom, w, 1, colour);
    if (h > 2) {
        graph_Fill(dst, box, x, (int64_t)y + 1, 1, (int64_t)h - 2, colour);
        if (w > 1) graph_Fill(dst, box, right, (int64_t)y + 1, 1, (int64_t)h - 2, colour);
    }
}

void Graph_PutPixel(BITMAP* dst, const GRECT* clip, int flags, int x, int y, uint8_t colour)
{
    (void)flags;
    GRAPH_BOX box;
    if (!graph_Usable(dst) || !graph_Box(dst, clip, &box)) return;
    if (x < box.x0 || x >= box.x1 || y < box.y0 || y >= box.y1) return;
    dst->data[(size_t)y * dst->x_size + x] = colour;
}

// -------------------------------------------------------------------- lines

static inline void graph_Plot(BITMAP* dst, const GRAPH_BOX& box, int64_t x, int64_t y,
                              uint8_t colour)
{
    if (x >= box.x0 && x < box.x1 && y >= box.y0 && y < box.y1)
        dst->data[(size_t)y * dst->x_size + (size_t)x] = colour;
}

void Graph_DrawLine(BITMAP* dst, const GRECT* clip, int flags, int x1, int y1, int x2, int y2,
                    uint8_t colour)
{
    (void)flags;
    GRAPH_BOX box;
    if (!graph_Usable(dst) || !graph_Box(dst, clip, &box)) return;

    // Work along the major axis a, the minor axis b following at step i as
    // b1 + sb * floor((2 i db + da) / (2 da)): Bresenham's rounding, stated
    // in closed form so the walk can start at the first visible step.
    int64_t dx = (int64_t)x2 - x1, dy = (int64_t)y2 - y1;
    int swap = std::llabs(dy) > std::llabs(dx);
    int64_t a1 = swap ? y1 : x1, b1 = swap ? x1 : y1;
    int64_t da = std::llabs(swap ? dy : dx), db = std::llabs(swap ? dx : dy);
    int sa = (swap ? dy : dx) < 0 ? -1 : 1, sb = (swap ? dx : dy) < 0 ? -1 : 1;
    int64_t lo = swap ? box.y0 : box.x0, hi = (swap ? box.y1 : box.x1) - 1;

    // Steps whose major coordinate lies inside the box.
    int64_t i0 = sa > 0 ? lo - a1 : a1 - hi, i1 = sa > 0 ? hi - a1 : a1 - lo;
    i0 = std::max<int64_t>(i0, 0);
    i1 = std::min<int64_t>(i1, da);
    if (i0 > i1) return;

    uint64_t twoda = 2 * (uint64_t)da, twodb = 2 * (uint64_t)db;
    uint64_t q = 0, r = 0;
    if (da > 0) {
        unsigned __int128 num = (unsigned __int128)(2 * (uint64_t)i0) * (uint64_t)db + (uint64_t)da;
        q = (uint64_t)(num / twoda);
        r = (uint64_t)(num % twoda);
    }
    for (int64_t i = i0; i <= i1; i++) {
        int64_t a = a1 + sa * i, b = b1 + sb * (int64_t)q;
        if (swap)
            graph_Plot(dst, box, b, a, colour);
        else
            graph_Plot(dst, box, a, b, colour);
        r += twodb;
        if (r >= twoda) {
            r -= twoda;
            q++;
        }
    }
}

// ------------------------------------------------------------------ circles

static uint64_t graph_Isqrt(uint64_t n)
{
    uint64_t q = (uint64_t)std::sqrt((double)n);
    while (q > 0 && (unsigned __int128)q * q > n) q--;
    while ((unsigned __int128)(q + 1) * (q + 1) <= n) q++;
    return q;
}

// The midpoint rule's other coordinate at t (0 <= t < r): the largest s with
// t^2 + (s - 1/2)^2 < r^2, which is where the midpoint decision leaves it.
static int64_t graph_CircleAt(int64_t r, int64_t t)
{
    uint64_t n = 4 * ((uint64_t)r * (uint64_t)r - (uint64_t)t * (uint64_t)t);
    return (int64_t)((graph_Isqrt(n - 1) + 1) / 2);
}

void Graph_DrawCircle(BITMAP* dst, const GRECT* clip, int flags, int cx, int cy, int radius,
                      uint8_t colour)
{
    (void)flags;
    GRAPH_BOX box;
    if (!graph_Usable(dst) || radius < 0 || !graph_Box(dst, clip, &box)) return;
    int64_t r = radius;
    if ((int64_t)cx + r < box.x0 || (int64_t)cx - r >= box.x1 || (int64_t)cy + r < box.y0 ||
        (int64_t)cy - r >= box.y1)
        return;
    if (r == 0) {
        graph_Plot(dst, box, cx, cy, colour);
        return;
    }
    // The octant runs while t <= s(t), up to about r / sqrt 2.
    int64_t last = (int64_t)((double)r * 0.70710678118654752);
    while (last + 1 < r && last + 1 <= graph_CircleAt(r, last + 1)) last++;
    while (last > 0 && last > graph_CircleAt(r, last)) last--;

    // Each octant pair is walked only over the t that put its fast
    // coordinate inside the box: cx +- t for four octants, cy +- t for the
    // other four.
    for (int axis = 0; axis < 2; axis++) {
        int64_t c = axis ? cy : cx, other = axis ? cx : cy;
        int64_t lo = axis ? box.y0 : box.x0, hi = (axis ? box.y1 : box.x1) - 1;
        for (int sign = -1; sign <= 1; sign += 2) {
            int64_t t0 = sign > 0 ? lo - c : c - hi, t1 = sign > 0 ? hi - c : c - lo;
            t0 = std::max<int64_t>(t0, 0);
            t1 = std::min<int64_t>(t1, last);
            for (int64_t t = t0; t <= t1; t++) {
                int64_t s = graph_CircleAt(r, t), f = c + sign * t;
                if (axis) {
                    graph_Plot(dst, box, other + s, f, colour);
                    graph_Plot(dst, box, other - s, f, colour);
                } else {
                    graph_Plot(dst, box, f, other + s, colour);
                    graph_Plot(dst, box, f, other - s, colour);
                }
            }
        }
    }
}

// -------------------------------------------------------------------- blits

void Graph_Blit(BITMAP* dst, const GRECT* clip, int flags, int x, int y, const BITMAP* src, int sx,
                int sy, int w, int h)
{
    (void)flags;
    GRAPH_SPAN s;
    if (!graph_CutBlit(dst, clip, src, x, y, sx, sy, w, h, &s)) return;
    size_t dp = (size_t)dst->x_size, sp = (size_t)src->x_size;
    uint8_t* d = dst->data + (size_t)s.y * dp + s.x;
    const uint8_t* p = src->data + (size_t)s.sy * sp + s.sx;
    if (!graph_Overlap(dst, src, s)) {
        // Whole rows of equal pitch lie back to back: one copy.
        if ((size_t)s.w == dp && dp == sp) {
            memcpy(d, p, (size_t)s.w * (size_t)s.h);
            return;
        }
        for (int j = 0; j < s.h; j++, d += dp, p += sp) memcpy(d, p, (size_t)s.w);
        return;
    }
    if (dp != sp) {
        // Two views of one buffer with different pitches: go through a copy.
        GRAPH_SOURCE copy;
        graph_Source(dst, src, s, &copy);
        for (int j = 0; j < s.h; j++, d += dp)
            memcpy(d, copy.row0 + (size_t)j * copy.pitch, (size_t)s.w);
        return;
    }
    // One pitch: rows taken in the order that reads each source row before
    // it is overwritten; memmove settles the overlap within a row.
    if (d > p) {
        for (int j = s.h - 1; j >= 0; j--) memmove(d + j * dp, p + j * sp, (size_t)s.w);
    } else {
        for (int j = 0; j < s.h; j++) memmove(d + j * dp, p + j * sp, (size_t)s.w);
    }
}

// Sixteen pixels a step: solid source bytes replace the destination's, zero
// ones keep it, with no branch for the mix of the two that sprite edges give.
typedef uint8_t GRAPH_V16 __attribute__((vector_size(16)));

static void graph_RowTransparent(uint8_t* __restrict d, const uint8_t* __restrict s, int w)
{
    int i = 0;
    for (; i + 16 <= w; i += 16) {
        GRAPH_V16 v, o;
        memcpy(&v, s + i, 16);
        memcpy(&o, d + i, 16);
        o = v | (o & (GRAPH_V16)(v == 0));
        memcpy(d + i, &o, 16);
    }
    for (; i < w; i++)
        if (s[i]) d[i] = s[i];
}

void Graph_BlitTransparent(BITMAP* dst, const GRECT* clip, int flags, int x, int y,
                           const BITMAP* src, int sx, int sy, int w, int h)
{
    (void)flags;
    GRAPH_SPAN s;
    if (!graph_CutBlit(dst, clip, src, x, y, sx, sy, w, h, &s)) return;
    GRAPH_SOURCE in;
    graph_Source(dst, src, s, &in);
    uint8_t* d = dst->data + (size_t)s.y * dst->x_size + s.x;
    for (int j = 0; j < s.h; j++, d += dst->x_size)
        graph_RowTransparent(d, in.row0 + (size_t)j * in.pitch, s.w);
}

static void graph_RowTable(uint8_t* __restrict d, const uint8_t* __restrict s, int w,
                           const uint8_t* __restrict table)
{
    int i = 0;
    for (; i + 4 <= w; i += 4) {
        d[i] = table[s[i]];
        d[i + 1] = table[s[i + 1]];
        d[i + 2] = table[s[i + 2]];
        d[i + 3] = table[s[i + 3]];
    }
    for (; i < w; i++) d[i] = table[s[i]];
}

// Large blits look pixels up two at a time in a 65536-entry table of pairs,
// which halves the lookups. Building it costs about as much as blitting
// 30000 pixels the plain way, so it is kept for the next blit through the
// same table (compared by contents: tables are rebuilt in place) and used
// only above that size.
enum { GRAPH_PAIR_MIN_PIXELS = 32768 };
static uint16_t s_PairTable[65536];
static uint8_t s_PairFrom[256];
static int s_PairBuilt;

static const uint16_t* graph_Pairs(const uint8_t* table)
{
    if (s_PairBuilt && memcmp(s_PairFrom, table, 256) == 0) return s_PairTable;
    // Entry (hi << 8 | lo) holds table[lo] in its low byte and table[hi] in
    // its high one: a pair read and written as one 16-bit word, in either
    // byte order.
    uint16_t low[256];
    for (int k = 0; k < 256; k++) low[k] = table[k];
    for (int hi = 0; hi < 256; hi++) {
        uint16_t high = (uint16_t)(table[hi] << 8);
        uint16_t* row = s_PairTable + (hi << 8);
        for (int lo = 0; lo < 256; lo++) row[lo] = (uint16_t)(low[lo] | high);
    }
    memcpy(s_PairFrom, table, 256);
    s_PairBuilt = 1;
    return s_PairTable;
}

static void graph_RowPairs(uint8_t* __restrict d, const uint8_t* __restrict s, int w,
                           const uint16_t* __restrict pairs, const uint8_t* __restrict table)
{
    int i = 0;
    for (; i + 4 <= w; i += 4) {
        uint16_t a, b;
        memcpy(&a, s + i, 2);
        memcpy(&b, s + i + 2, 2);
        a = pairs[a];
        b = pairs[b];
        memcpy(d + i, &a, 2);
        memcpy(d + i + 2, &b, 2);
    }
    for (; i < w; i++) d[i] = table[s[i]];
}

void Graph_BlitTable(BITMAP* dst, const GRECT* clip, int flags, int x, int y, const BITMAP* src,
                     int sx, int sy, int w, int h, const uint8_t* table)
{
    (void)flags;
    GRAPH_SPAN s;
    if (!table || !graph_CutBlit(dst, clip, src, x, y, sx, sy, w, h, &s)) return;
    GRAPH_SOURCE in;
    graph_Source(dst, src, s, &in);
    uint8_t* d = dst->data + (size_t)s.y * dst->x_size + s.x;
    if ((int64_t)s.w * s.h >= GRAPH_PAIR_MIN_PIXELS) {
        const uint16_t* pairs = graph_Pairs(table);
        for (int j = 0; j < s.h; j++, d += dst->x_size)
            graph_RowPairs(d, in.row0 + (size_t)j * in.pitch, s.w, pairs, table);
        return;
    }
    for (int j = 0; j < s.h; j++, d += dst->x_size)
        graph_RowTable(d, in.row0 + (size_t)j * in.pitch, s.w, table);
}

void Graph_BlitBlend(BITMAP* dst, const GRECT* clip, int flags, int x, int y, const BITMAP* src,
                     int sx, int sy, int w, int h, int level)
{
    (void)flags;
    GRAPH_SPAN s;
    if (!graph_CutBlit(dst, clip, src, x, y, sx, sy, w, h, &s)) return;
    level = std::clamp(level, 0, BLEND_LEVELS - 1);
    GRAPH_SOURCE in;
    graph_Source(dst, src, s, &in);
    uint8_t* d = dst->data + (size_t)s.y * dst->x_size + s.x;
    for (int j = 0; j < s.h; j++, d += dst->x_size) {
        const uint8_t* p = in.row0 + (size_t)j * in.pitch;
        for (int i = 0; i < s.w; i++)
            if (p[i]) d[i] = g_BlendTables[level][p[i]][d[i]];
    }
}

// The source index that destination offset i of n samples out of a span of
// m source pixels: the pixel under the sample's centre.
static inline int64_t graph_Sample(int64_t i, int64_t m, int64_t n)
{
    return (int64_t)((__int128)(2 * i + 1) * m / (2 * (__int128)n));
}

void Graph_BlitStretch(BITMAP* dst, const GRECT* clip, int flags, int x, int y, int w, int h,
                       const BITMAP* src, int sx, int sy, int sw, int sh)
{
    (void)flags;
    GRAPH_BOX box;
    GRAPH_SPAN s;
    if (!graph_Usable(dst) || !graph_Usable(src) || sw < 1 || sh < 1) return;
    if (!graph_Box(dst, clip, &box) || !graph_CutRect(box, x, y, w, h, &s)) return;

    // Column sources of the visible columns (-1 outside the source).
    std::vector<int> cols((size_t)s.w);
    for (int i = 0; i < s.w; i++) {
        int64_t c = sx + graph_Sample((int64_t)s.x - x + i, sw, w);
        cols[(size_t)i] = c >= 0 && c < src->x_size ? (int)c : -1;
    }
    // Scaling within one buffer: sample a copy, as the rows may be rewritten.
    std::vector<uint8_t> copy;
    const uint8_t* pixels = src->data;
    uintptr_t s0 = (uintptr_t)src->data, s1 = s0 + (size_t)src->x_size * src->y_size;
    uintptr_t d0 = (uintptr_t)dst->data, d1 = d0 + (size_t)dst->x_size * dst->y_size;
    if (s0 < d1 && d0 < s1) {
        copy.assign(src->data, src->data + (size_t)src->x_size * src->y_size);
        pixels = copy.data();
    }
    uint8_t* d = dst->data + (size_t)s.y * dst->x_size + s.x;
    for (int j = 0; j < s.h; j++, d += dst->x_size) {
        int64_t row = sy + graph_Sample((int64_t)s.y - y + j, sh, h);
        if (row < 0 || row >= src->y_size) continue;
        const uint8_t* p = pixels + (size_t)row * src->x_size;
        for (int i = 0; i < s.w; i++)
            if (cols[(size_t)i] >= 0) d[i] = p[cols[(size_t)i]];
    }
}

void Graph_RemapRect(BITMAP* dst, const GRECT* clip, int flags, int x, int y, int w, int h,
                     const uint8_t* table)
{
    (void)flags;
    GRAPH_BOX box;
    GRAPH_SPAN s;
    if (!table || !graph_Usable(dst) || !graph_Box(dst, clip, &box) ||
        !graph_CutRect(box, x, y, w, h, &s))
        return;
    uint8_t* d = dst->data + (size_t)s.y * dst->x_size + s.x;
    for (int j = 0; j < s.h; j++, d += dst->x_size)
        for (int i = 0; i < s.w; i++) d[i] = table[d[i]];
}

void Graph_MakeAngleMap(BITMAP* bitmap)
{
    if (!graph_Usable(bitmap)) return;
    int cx = bitmap->x_size / 2, cy = bitmap->y_size / 2;
    uint8_t* p = bitmap->data;
    for (int y = 0; y < bitmap->y_size; y++) {
        for (int x = 0; x < bitmap->x_size; x++, p++) {
            if (x == cx && y == cy) {
                *p = 254;
                continue;
            }
            int64_t a = Util_VectorAngle((float)(x - cx), (float)(y - cy));
            *p = (uint8_t)((a * 254) >> UTIL_ANGLE_BITS);
        }
    }
}
