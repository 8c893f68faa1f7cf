// Bitmaps and the drawing primitives: every primitive against a per-pixel
// reference over random rectangles and clip rectangles at all four edges,
// inside guard bytes that must never change.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <vector>

#include "platform/graph.h"
#include "platform/palette.h"
#include "support/testsupport.h"

namespace {

enum { GUARD = 64, GUARD_BYTE = 0xA5 };

// A bitmap in the middle of a buffer whose guard bytes before and after
// catch any write outside it, in builds without the address sanitizer too.
struct Canvas {
    std::vector<uint8_t> buf;
    BITMAP bmp;
    Canvas(int w, int h) : buf(2 * GUARD + (size_t)w * h, GUARD_BYTE)
    {
        bmp = BITMAP{buf.data() + GUARD, 0, w, h};
        for (int i = 0; i < w * h; i++) bmp.data[i] = (uint8_t)(i * 7 + 1);
    }
    std::vector<uint8_t> Pixels() const
    {
        return std::vector<uint8_t>(bmp.data, bmp.data + (size_t)bmp.x_size * bmp.y_size);
    }
    bool GuardsIntact() const
    {
        for (int i = 0; i < GUARD; i++)
            if (buf[i] != GUARD_BYTE || buf[buf.size() - 1 - i] != GUARD_BYTE) return false;
        return true;
    }
};

// The reference: what a primitive may touch, and a plane to draw into pixel
// by pixel.
struct Reference {
    int w, h;
    const GRECT* clip;
    std::vector<uint8_t> px;
    Reference(const Canvas& c, const GRECT* clip_)
        : w(c.bmp.x_size), h(c.bmp.y_size), clip(clip_), px(c.Pixels())
    {
    }
    bool Visible(long long x, long long y) const
    {
        if (x < 0 || y < 0 || x >= w || y >= h) return false;
        if (!clip) return true;
        return x >= clip->x && x < (long long)clip->x + clip->w && y >= clip->y &&
               y < (long long)clip->y + clip->h;
    }
    void Plot(long long x, long long y, uint8_t c)
    {
        if (Visible(x, y)) px[(size_t)(y * w + x)] = c;
    }
    uint8_t At(long long x, long long y) const { return px[(size_t)(y * w + x)]; }
};

class Clipping : public testing::Test {
protected:
    std::mt19937 rng{12345};
    int Rand(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }

    // Null a quarter of the time; otherwise anywhere around the bitmap,
    // sometimes empty.
    const GRECT* RandomClip(int w, int h, GRECT* store)
    {
        if (Rand(0, 3) == 0) return nullptr;
        *store = GRECT{Rand(-20, w + 5), Rand(-20, h + 5), Rand(-2, w + 40), Rand(-2, h + 40)};
        return store;
    }

    static void Expect(const Canvas& c, const Reference& ref, const char* what, int round)
    {
        ASSERT_TRUE(c.GuardsIntact()) << what << " wrote outside the bitmap in round " << round;
        ASSERT_EQ(c.Pixels(), ref.px) << what << " differs in round " << round;
    }
};

// The textbook incremental line, stepping the minor axis when the error term
// reaches the half pixel.
void RefLine(Reference* ref, long long x1, long long y1, long long x2, long long y2, uint8_t c)
{
    // Walk the major axis; swap the roles so that one loop serves both.
    const bool steep = llabs(y2 - y1) > llabs(x2 - x1);
    long long a = steep ? y1 : x1, b = steep ? x1 : y1;
    const long long da = llabs(steep ? y2 - y1 : x2 - x1), db = llabs(steep ? x2 - x1 : y2 - y1);
    const int sa = (steep ? y2 < y1 : x2 < x1) ? -1 : 1, sb = (steep ? x2 < x1 : y2 < y1) ? -1 : 1;
    for (long long i = 0, d = 2 * db - da; i <= da; i++, a += sa, d += 2 * db) {
        ref->Plot(steep ? b : a, steep ? a : b, c);
        if (d >= 0) b += sb, d -= 2 * da;
    }
}

// The textbook midpoint circle.
void RefCircle(Reference* ref, long long cx, long long cy, long long r, uint8_t c)
{
    if (r < 0) return;
    long long x = 0, y = r, d = 1 - r;
    while (x <= y) {
        const long long pts[8][2] = {{x, y}, {-x, y}, {x, -y}, {-x, -y},
                                     {y, x}, {-y, x}, {y, -x}, {-y, -x}};
        for (const auto& p : pts) ref->Plot(cx + p[0], cy + p[1], c);
        d += d < 0 ? 2 * x + 3 : 2 * (x - y--) + 5;
        x++;
    }
}

} // namespace

TEST_F(Clipping, RectanglesAndPixelsFollowThePerPixelRule)
{
    for (int round = 0; round < 400; round++) {
        int w = Rand(1, 40), h = Rand(1, 30);
        Canvas c(w, h);
        GRECT store;
        const GRECT* clip = RandomClip(w, h, &store);
        Reference ref(c, clip);
        int x = Rand(-50, w + 10), y = Rand(-50, h + 10), rw = Rand(-3, w + 60),
            rh = Rand(-3, h + 60);
        uint8_t colour = (uint8_t)Rand(0, 255);
        switch (round % 3) {
        case 0:
            Graph_FillRect(&c.bmp, clip, 0, x, y, rw, rh, colour);
            for (long long j = y; j < (long long)y + rh; j++)
                for (long long i = x; i < (long long)x + rw; i++) ref.Plot(i, j, colour);
            break;
        case 1:
            Graph_DrawRect(&c.bmp, clip, 0, x, y, rw, rh, colour);
            for (long long j = y; j < (long long)y + rh; j++)
                for (long long i = x; i < (long long)x + rw; i++)
                    if (i == x || j == y || i == (long long)x + rw - 1 ||
                        j == (long long)y + rh - 1)
                        ref.Plot(i, j, colour);
            break;
        default:
            Graph_PutPixel(&c.bmp, clip, 0, x % (w + 2), y % (h + 2), colour);
            ref.Plot(x % (w + 2), y % (h + 2), colour);
            break;
        }
        Expect(c, ref, "rectangle or pixel", round);
    }
}

TEST_F(Clipping, LinesAndCirclesMatchTheTextbookRulesAtEveryEdge)
{
    for (int round = 0; round < 1200; round++) {
        int w = Rand(1, 48), h = Rand(1, 40), k = round / 2;
        Canvas c(w, h);
        GRECT store;
        const GRECT* clip = RandomClip(w, h, &store);
        Reference ref(c, clip);
        uint8_t colour = (uint8_t)Rand(0, 255);
        if (round % 2 == 0) {
            // Mostly near the bitmap; some from far away, so the walk starts
            // at a computed step rather than the first; both directions.
            int far = k % 5 == 0 ? 200000 : 60;
            int x1 = Rand(-far, w + far), y1 = Rand(-far, h + far);
            int x2 = Rand(-60, w + 60), y2 = Rand(-60, h + 60);
            if (k % 2) std::swap(x1, x2), std::swap(y1, y2);
            Graph_DrawLine(&c.bmp, clip, 0, x1, y1, x2, y2, colour);
            RefLine(&ref, x1, y1, x2, y2, colour);
        } else {
            // Every small radius (half of them centred), then large ones.
            int r = k < 300 ? k : Rand(-2, 3000);
            int cx = Rand(-r - 10, w + r + 10), cy = Rand(-r - 10, h + r + 10);
            if (k < 300 && k % 2) cx = w / 2, cy = h / 2;
            Graph_DrawCircle(&c.bmp, clip, 0, cx, cy, r, colour);
            RefCircle(&ref, cx, cy, r, colour);
        }
        Expect(c, ref, round % 2 ? "circle" : "line", round);
    }
}

TEST_F(Clipping, BlitsAndStretchesCopyOnlyPixelsInsideSourceAndTarget)
{
    uint8_t table[256];
    for (int i = 0; i < 256; i++) table[i] = (uint8_t)(255 - i);
    for (int l = 0; l < BLEND_LEVELS; l++)
        for (int s = 0; s < 256; s++)
            for (int d = 0; d < 256; d++) g_BlendTables[l][s][d] = (uint8_t)(s * 3 + d * 5 + l);

    for (int round = 0; round < 2000; round++) {
        int w = Rand(1, 40), h = Rand(1, 30), sw = Rand(1, 40), sh = Rand(1, 30);
        // Now and then whole rows of one pitch, which an opaque blit copies at once.
        const bool rows = round % 12 == 0;
        if (rows) sw = w;
        Canvas c(w, h), src(sw, sh);
        // A third of the source is 0, in every pattern the word-wide paths meet.
        for (int i = 0; i < sw * sh; i++) src.bmp.data[i] = Rand(0, 2) ? (uint8_t)Rand(1, 255) : 0;
        GRECT store;
        const GRECT* clip = RandomClip(w, h, &store);
        Reference ref(c, clip);
        int x = Rand(-45, w + 5), y = Rand(-35, h + 5), sx = Rand(-45, sw + 5),
            sy = Rand(-35, sh + 5);
        int bw = Rand(-2, 60), bh = Rand(-2, 50), level = Rand(-2, 5), ssw = Rand(1, 16), ssh = Rand(1, 12);
        if (rows) x = sx = 0, bw = w;
        int kind = round % 6;
        switch (kind) {
        case 0: Graph_Blit(&c.bmp, clip, 0, x, y, &src.bmp, sx, sy, bw, bh); break;
        case 1: Graph_BlitTransparent(&c.bmp, clip, 0, x, y, &src.bmp, sx, sy, bw, bh); break;
        case 2: Graph_BlitTable(&c.bmp, clip, 0, x, y, &src.bmp, sx, sy, bw, bh, table); break;
        case 3: Graph_BlitBlend(&c.bmp, clip, 0, x, y, &src.bmp, sx, sy, bw, bh, level); break;
        case 4: Graph_RemapRect(&c.bmp, clip, 0, x, y, bw, bh, table); break;
        default: Graph_BlitStretch(&c.bmp, clip, 0, x, y, bw, bh, &src.bmp, sx, sy, ssw, ssh); break;
        }
        int lv = std::clamp(level, 0, BLEND_LEVELS - 1);
        for (int j = 0; j < bh; j++) {
            for (int i = 0; i < bw; i++) {
                long long X = (long long)x + i, Y = (long long)y + j;
                if (!ref.Visible(X, Y)) continue;
                uint8_t old = ref.At(X, Y);
                if (kind == 4) {
                    ref.Plot(X, Y, table[old]);
                    continue;
                }
                long long SX = (long long)sx + i, SY = (long long)sy + j;
                if (kind == 5) // sampled at the centre of each target pixel
                    SX = sx + (2 * i + 1) * ssw / (2 * bw), SY = sy + (2 * j + 1) * ssh / (2 * bh);
                if (SX < 0 || SY < 0 || SX >= sw || SY >= sh) continue;
                uint8_t s = src.bmp.data[SY * sw + SX];
                if (kind == 0 || kind == 5) ref.Plot(X, Y, s);
                if (kind == 1 && s) ref.Plot(X, Y, s);
                if (kind == 2) ref.Plot(X, Y, table[s]);
                if (kind == 3 && s) ref.Plot(X, Y, g_BlendTables[lv][s][old]);
            }
        }
        Expect(c, ref, "blit", round);
        ASSERT_TRUE(src.GuardsIntact());
    }
}

TEST(ClippingLimits, FarCoordinatesDrawOnlyTheVisiblePart)
{
    Canvas c(32, 24);
    Graph_ClearBitmap(&c.bmp, 0);
    Graph_FillRect(&c.bmp, nullptr, 0, INT_MIN, INT_MIN, INT_MAX, INT_MAX, 1);
    Graph_FillRect(&c.bmp, nullptr, 0, INT_MAX, INT_MAX, INT_MAX, INT_MAX, 1);
    Graph_DrawRect(&c.bmp, nullptr, 0, INT_MIN, 5, INT_MAX, INT_MAX, 1);
    EXPECT_TRUE(c.GuardsIntact());
    EXPECT_EQ(c.Pixels(), std::vector<uint8_t>(32 * 24, 0));

    // A row and the diagonal from one end of the coordinates to the other.
    Graph_DrawLine(&c.bmp, nullptr, 0, INT_MIN, 3, INT_MAX, 3, 2);
    Graph_DrawLine(&c.bmp, nullptr, 0, -1000000000, -1000000000, 1000000000, 1000000000, 4);
    for (int x = 0; x < 32; x++) EXPECT_EQ(c.bmp.data[3 * 32 + x], x == 3 ? 4 : 2);
    for (int i = 0; i < 24; i++) EXPECT_EQ(c.bmp.data[i * 32 + i], 4);

    // A circle of the largest radius whose arc crosses the bitmap.
    Graph_DrawCircle(&c.bmp, nullptr, 0, 16, INT_MAX, INT_MAX - 10, 5);
    Graph_DrawCircle(&c.bmp, nullptr, 0, INT_MIN, INT_MIN, INT_MAX, 5);
    EXPECT_TRUE(c.GuardsIntact());
    int arc = 0;
    for (int x = 0; x < 32; x++) arc += c.bmp.data[10 * 32 + x] == 5;
    EXPECT_EQ(arc, 32); // the nearly flat arc runs along row 10

    BITMAP src = c.bmp;
    Graph_Blit(&c.bmp, nullptr, 0, INT_MAX, INT_MIN, &src, INT_MIN, INT_MAX, INT_MAX, INT_MAX);
    Graph_BlitStretch(&c.bmp, nullptr, 0, INT_MIN, INT_MIN, INT_MAX, INT_MAX, &src, 0, 0, INT_MAX,
                      5);
    EXPECT_TRUE(c.GuardsIntact());
}

TEST(BitmapLife, OwnsAndFreesOnlyWhatItAllocatedAndRefusesBadSizes)
{
    BITMAP b;
    uint8_t mine[6] = {1, 2, 3, 4, 5, 6};
    ASSERT_EQ(Graph_InitBitmap(&b, 3, 2, mine), 1);
    Graph_ClearBitmap(&b, 8);
    Graph_FreeBitmap(&b); // must not free the caller's array
    EXPECT_TRUE(b.data == nullptr && mine[5] == 8);
    for (auto [w, h] : {std::pair{0, 5}, {5, -1}, {GRAPH_MAX_SIDE + 1, 1}, {INT_MAX, INT_MAX}}) {
        EXPECT_EQ(Graph_InitBitmap(&b, w, h, nullptr), 0) << w << " x " << h;
        EXPECT_EQ(b.data, nullptr);
    }
    QV_EXPECT_FATAL(Graph_InitBitmap(nullptr, 1, 1, nullptr), "ASSERT (bitmap)");
}

// A rectangle blitted onto itself moved in every direction is the copy taken
// before the blit.
TEST(BlitOverlap, ShiftWithinOneBitmapInEveryDirection)
{
    for (int dy = -3; dy <= 3; dy++)
        for (int dx = -3; dx <= 3; dx++) {
            Canvas c(40, 30);
            auto before = c.Pixels(), want = before;
            Graph_Blit(&c.bmp, nullptr, 0, 5 + dx, 6 + dy, &c.bmp, 5, 6, 25, 15);
            for (int j = 0; j < 15; j++)
                for (int i = 0; i < 25; i++)
                    want[(6 + dy + j) * 40 + 5 + dx + i] = before[(6 + j) * 40 + 5 + i];
            EXPECT_EQ(c.Pixels(), want) << "shift " << dx << ", " << dy;
        }
}

TEST(FastPaths, LargeTableBlitsFollowATableChangedInPlace)
{
    // Large enough for the pair lookups, an odd width for their tail.
    const int w = 301, h = 200;
    Canvas src(w, h), dst(w, h);
    uint8_t table[256];
    for (int round = 0; round < 3; round++) {
        for (int i = 0; i < 256; i++) table[i] = (uint8_t)(i * (2 * round + 1) + round);
        Graph_BlitTable(&dst.bmp, nullptr, 0, 0, 0, &src.bmp, 0, 0, w, h, table);
        for (int i = 0; i < w * h; i++)
            ASSERT_EQ(dst.bmp.data[i], table[src.bmp.data[i]]) << round << ", " << i;
    }
}

class Stretch : public testing::Test {
protected:
    Canvas src{13, 9};
};

TEST_F(Stretch, DoublingRepeatsEachPixelAndHalvingTakesEveryOther)
{
    Canvas big(26, 18), small(7, 5);
    Graph_BlitStretch(&big.bmp, nullptr, 0, 0, 0, 26, 18, &src.bmp, 0, 0, 13, 9);
    for (int y = 0; y < 18; y++)
        for (int x = 0; x < 26; x++)
            ASSERT_EQ(big.bmp.data[y * 26 + x], src.bmp.data[(y / 2) * 13 + x / 2]);
    // 13 -> 7 columns: sample centres fall on 0.93, 2.79, ...: columns 0, 2, 4, 6, 8, 10, 12.
    Graph_BlitStretch(&small.bmp, nullptr, 0, 0, 0, 7, 5, &src.bmp, 0, 0, 13, 9);
    const int cols[7] = {0, 2, 4, 6, 8, 10, 12}, rows[5] = {0, 2, 4, 6, 8};
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 7; x++)
            ASSERT_EQ(small.bmp.data[y * 7 + x], src.bmp.data[rows[y] * 13 + cols[x]]);
}

TEST_F(Stretch, ScalingWithinOneBitmapSamplesTheOriginal)
{
    Canvas self(30, 20), copy(30, 20);
    Canvas original = self;
    original.bmp.data = original.buf.data() + GUARD;
    Graph_BlitStretch(&self.bmp, nullptr, 0, 2, 1, 28, 19, &self.bmp, 0, 0, 14, 9);
    Graph_BlitStretch(&copy.bmp, nullptr, 0, 2, 1, 28, 19, &original.bmp, 0, 0, 14, 9);
    EXPECT_EQ(self.Pixels(), copy.Pixels());
}

TEST(AngleMap, CentreIs254AndAnglesRunAnticlockwiseFromEast)
{
    BITMAP b;
    ASSERT_EQ(Graph_InitBitmap(&b, 41, 31, nullptr), 1);
    Graph_MakeAngleMap(&b);
    auto at = [&](int x, int y) { return (int)b.data[y * 41 + x]; };
    const int cx = 20, cy = 15;
    // The centre, east, north (y up the screen), west, south and north-east.
    const int rows[][3] = {{0, 0, 254},   {10, 0, 0},   {0, -10, 63},
                           {-10, 0, 127}, {0, 10, 190}, {7, -7, 31}};
    for (const auto& r : rows) EXPECT_EQ(at(cx + r[0], cy + r[1]), r[2]) << r[0] << "," << r[1];
    // Each quadrant holds only its own quarter of the range; an axis anything but the centre's 254.
    const int lo[] = {1, 64, 128, 191, 0}, hi[] = {62, 126, 189, 253, 253};
    for (int y = 0; y < 31; y++)
        for (int x = 0; x < 41; x++) {
            const int q = x == cx || y == cy ? 4 : y < cy ? (x > cx ? 0 : 1) : (x < cx ? 2 : 3), v = at(x, y);
            EXPECT_TRUE((x == cx && y == cy) || (v >= lo[q] && v <= hi[q])) << x << "," << y << ": " << v;
        }
    Graph_FreeBitmap(&b);
}
