// The demo cursors ("mouse.crs"), numbered as the game screen picks them
// (kNumbering below): 0 arrow, 1..33 the click kinds, 34..37 trails, 38..40
// the editor's brushes, 41..48 scrolling, 49..52 blocked scrolling, 53
// deploy.
//
// Shapes are drawn in one or a few colours, then outlined in black, so every
// cursor reads on any ground.
//
// Built with tests as well (MKDATA_FUNCTIONS_ONLY), where mkdata's
// registration isn't linked.
#include "gen_cursor.h"

#include <cstring>
#include <string>

#include "gen_fonts.h"
#include "gen_palette.h"
#include "platform/palette.h"

namespace {

struct CANVAS {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
    CANVAS(int cw, int ch) : w(cw), h(ch), px((size_t)cw * ch, 0) {}
    void Put(int x, int y, uint8_t c)
    {
        if (x >= 0 && y >= 0 && x < w && y < h) px[(size_t)y * w + x] = c;
    }
    uint8_t Get(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < w && y < h ? px[(size_t)y * w + x] : 0;
    }
};

struct INKS {
    uint8_t black, white, red, green, yellow, grey, sand, glass, blue, cyan;
};

struct SHAPE {
    int hotx, hoty, ms;
    std::vector<CANVAS> frames;
};

const int DX[8] = {0, 1, 1, 1, 0, -1, -1, -1};
const int DY[8] = {-1, -1, 0, 1, 1, 1, 0, -1};

// A pixel, or a plus of five pixels with brush 1.
void Dab(CANVAS& c, int x, int y, uint8_t ink, int brush)
{
    c.Put(x, y, ink);
    if (!brush) return;
    c.Put(x - 1, y, ink);
    c.Put(x + 1, y, ink);
    c.Put(x, y - 1, ink);
    c.Put(x, y + 1, ink);
}

void Line(CANVAS& c, int x0, int y0, int x1, int y1, uint8_t ink, int brush = 0)
{
    int dx = x1 > x0 ? x1 - x0 : x0 - x1, dy = y1 > y0 ? y0 - y1 : y1 - y0;
    int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1, err = dx + dy;
    for (;;) {
        Dab(c, x0, y0, ink, brush);
        if (x0 == x1 && y0 == y1) return;
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

void Circle(CANVAS& c, int cx, int cy, int r, uint8_t ink)
{
    int x = r, y = 0, err = 1 - r;
    while (x >= y) {
        const int pts[8][2] = {{x, y}, {y, x}, {-y, x}, {-x, y}, {-x, -y}, {-y, -x}, {y, -x}, {x, -y}};
        for (const auto& p : pts) c.Put(cx + p[0], cy + p[1], ink);
        y++;
        if (err < 0) {
            err += 2 * y + 1;
        } else {
            x--;
            err += 2 * (y - x) + 1;
        }
    }
}

// An arrow in direction d from (cx - tail*v) to its tip at (cx + head*v).
void Arrow(CANVAS& c, int cx, int cy, int d, int tail, int head, int headlen, uint8_t ink,
           int brush)
{
    int tx = cx + DX[d] * head, ty = cy + DY[d] * head;
    Line(c, cx - DX[d] * tail, cy - DY[d] * tail, tx, ty, ink, brush);
    for (int side : {3, 5}) {
        int b = (d + side) % 8;
        Line(c, tx, ty, tx + DX[b] * headlen, ty + DY[b] * headlen, ink, brush);
    }
}

// Blank pixels touching a drawn one (of another colour) become the outline.
void Outline(CANVAS& c, uint8_t ink)
{
    CANVAS out = c;
    for (int y = 0; y < c.h; y++)
        for (int x = 0; x < c.w; x++) {
            if (c.Get(x, y)) continue;
            for (int k = 0; k < 9 && !out.Get(x, y); k++) {
                uint8_t p = c.Get(x + k % 3 - 1, y + k / 3 - 1);
                if (p && p != ink) out.Put(x, y, ink);
            }
        }
    c = out;
}

CANVAS FromArt(const char* const* rows, int n, const INKS& k)
{
    CANVAS c((int)strlen(rows[0]), n);
    for (int y = 0; y < n; y++)
        for (int x = 0; rows[y][x] && x < c.w; x++) {
            uint8_t ink = 0;
            switch (rows[y][x]) {
            case 'X': ink = k.black; break;
            case 'o': ink = k.white; break;
            case 's': ink = k.sand; break;
            case 'g': ink = k.glass; break;
            case 'b': ink = k.blue; break;
            case 'G': ink = k.grey; break;
            default: break;
            }
            c.Put(x, y, ink);
        }
    return c;
}

// A character of the demo fonts' shape table, doubled, with a margin.
CANVAS Letter(int ch, uint8_t ink, const INKS& k)
{
    uint8_t rows[8];
    GenFonts_Shape(ch, rows);
    CANVAS c(12, 18);
    for (int r = 0; r < 8; r++)
        for (int x = 0; x < 5; x++)
            if (rows[r] >> (4 - x) & 1)
                for (int q = 0; q < 4; q++) c.Put(1 + 2 * x + q % 2, 1 + 2 * r + q / 2, ink);
    Outline(c, k.black);
    return c;
}

const char* const s_Arrow[] = {
    "X...........", "XX..........", "XoX.........", "XooX........", "XoooX.......",
    "XooooX......", "XoooooX.....", "XooooooX....", "XoooooooX...", "XooooooooX..",
    "XoooooXXXXX.", "XooXooX.....", "XoX.XooX....", "XX..XooX....", "X....XooX...",
    ".....XooX...", "......XX....",
};

const char* const s_Hand[] = {
    ".....XX.........", "....XooX........", "....XooX........", "....XooX........",
    "....XooXXX......", "....XooXooXXX...", "....XooXooXooXX.", ".XX.XooXooXooXoX",
    "XooXXooooooooXoX", "XoooXooooooooooX", ".XoooooooooooooX", "..XooooooooooooX",
    "..XoooooooooooX.", "...XooooooooooX.", "...XoooooooooX..", "....XooooooooX..",
    "....XooooooooX..", "....XXXXXXXXXX..",
};

// ':' is the inside of the glass, which the frames fill with sand or glass.
const char* const s_Hourglass[] = {
    "XXXXXXXXXXXX", "XX::::::::XX", ".X::::::::X.", ".XX::::::XX.", "..XX::::XX..",
    "...XX::XX...", "....X::X....", "....X::X....", "...XX::XX...", "..XX::::XX..",
    ".XX::::::XX.", ".X::::::::X.", "XX::::::::XX", "XXXXXXXXXXXX",
};

const char* const s_Shield[] = {
    "XXXXXXXXXXXXX", "XbbbbbbbbbbbX", "XbbbbbobbbbbX", "XbbbbbobbbbbX", "XbbbooooobbbX",
    "XbbbbbobbbbbX", "XbbbbbobbbbbX", ".XbbbbbbbbbX.", ".XbbbbbbbbbX.", "..XbbbbbbbX..",
    "...XbbbbbX...", "....XbbbX....", ".....XbX.....", "......X......",
};

#define ROWS(art) art, (int)(sizeof art / sizeof art[0])

SHAPE Still(CANVAS c, int hotx, int hoty) { return SHAPE{hotx, hoty, 0, {std::move(c)}}; }

SHAPE Hourglass(const INKS& k)
{
    static const int topfrom[4] = {2, 3, 4, 6}, bottomfrom[4] = {12, 11, 10, 9};
    SHAPE s{6, 7, 150, {}};
    for (int f = 0; f < 4; f++) {
        CANVAS c = FromArt(ROWS(s_Hourglass), k);
        for (int y = 0; y < c.h; y++)
            for (int x = 0; x < c.w; x++) {
                if (s_Hourglass[y][x] != ':') continue;
                bool sand = y <= 6 ? y >= topfrom[f] : y >= bottomfrom[f];
                bool stream = y > 6 && x == 5 && f > 0 && f < 3;
                c.Put(x, y, sand || stream ? k.sand : k.glass);
            }
        s.frames.push_back(std::move(c));
    }
    return s;
}

SHAPE Sight(uint8_t ink, const INKS& k, std::initializer_list<int> radii, int ms)
{
    SHAPE s{9, 9, ms, {}};
    for (int r : radii) {
        CANVAS c(19, 19);
        Circle(c, 9, 9, r, ink);
        Line(c, 9, 1, 9, 6, ink);
        Line(c, 9, 12, 9, 17, ink);
        Line(c, 1, 9, 6, 9, ink);
        Line(c, 12, 9, 17, 9, ink);
        c.Put(9, 9, ink);
        Outline(c, k.black);
        s.frames.push_back(std::move(c));
    }
    return s;
}

SHAPE MoveRing(const INKS& k)
{
    SHAPE s{8, 8, 120, {}};
    for (int r : {7, 5, 3}) {
        CANVAS c(17, 17);
        Circle(c, 8, 8, r, k.green);
        c.Put(8, 8, k.green);
        Outline(c, k.black);
        s.frames.push_back(std::move(c));
    }
    return s;
}

SHAPE ScrollArrow(int d, bool blocked, const INKS& k)
{
    CANVAS c(21, 21);
    Arrow(c, 10, 10, d, 4, 8, 5, blocked ? k.grey : k.yellow, 1);
    if (blocked) {
        int p = (d + 2) % 8, bx = 10 + DX[d] * 6, by = 10 + DY[d] * 6;
        Line(c, bx - DX[p] * 4, by - DY[p] * 4, bx + DX[p] * 4, by + DY[p] * 4, k.red, 1);
    }
    Outline(c, k.black);
    return Still(std::move(c), 10 + DX[d] * 8, 10 + DY[d] * 8);
}

SHAPE Facing(int d, const INKS& k)
{
    SHAPE s{7, 7, 250, {}};
    for (int f = 0; f < 2; f++) {
        CANVAS c(15, 15);
        Arrow(c, 7 + DX[d] * f, 7 + DY[d] * f, d, 3, 5, 3, k.cyan, 0);
        Outline(c, k.black);
        s.frames.push_back(std::move(c));
    }
    return s;
}

SHAPE Square(int size, const INKS& k)
{
    CANVAS c(size + 4, size + 4);
    for (int i = 0; i < size; i++) {
        c.Put(2 + i, 2, k.white);
        c.Put(2 + i, 1 + size, k.white);
        c.Put(2, 2 + i, k.white);
        c.Put(1 + size, 2 + i, k.white);
    }
    Outline(c, k.black);
    return Still(std::move(c), 2 + size / 2, 2 + size / 2);
}

SHAPE TeamRing(int team, const INKS& k)
{
    uint8_t ink = (uint8_t)(32 + team * 8 + 5);
    CANVAS c(15, 15);
    Circle(c, 7, 7, 5, ink);
    Circle(c, 7, 7, 4, ink);
    c.Put(7, 7, ink);
    Outline(c, k.black);
    return Still(std::move(c), 7, 7);
}

SHAPE Flag(const INKS& k)
{
    SHAPE s{2, 16, 300, {}};
    for (int f = 0; f < 2; f++) {
        CANVAS c(14, 18);
        Line(c, 2, 1, 2, 16, k.grey);
        for (int x = 3; x <= 11; x++) {
            int top = 1 + (x / 3 + f) % 2;
            Line(c, x, top, x, top + 5, k.red);
        }
        Outline(c, k.black);
        s.frames.push_back(std::move(c));
    }
    return s;
}

// Where each cursor of the game's numbering comes from in the drawing order
// (arrow, hourglass, hand, crosshair, attack sight, move ring, no entry,
// plus, question mark, cross, scroll N..NW, blocked N..NW, facing N..NW,
// small cross, brushes 1, 3, 5, 9, diamond, square with cross, team rings,
// wrench, dollar, shield, enter, deploy, magnifier, flag): 0 the arrow,
// 1..23 the click kinds, 24..33 kinds 25..36, 34..37 trails (34 also the
// editor's), 38..40 the editor's, 41..48 scrolling left, right, up, down,
// up-left, up-right, down-left, down-right, 49..52 blocked left, right, up,
// down, 53 the shell's deploy.
const int kNumbering[GENCURSOR_COUNT] = {
    0,  5,  6,  3,  4,  9,  28, 52, 2,  41, 42, 43, 44, 45, 8,  54, 46, 49, 7,  47,
    51, 48, 1,  26, 27, 50, 29, 30, 31, 32, 33, 35, 36, 37, 34, 55, 19, 21, 38, 39,
    40, 16, 12, 10, 14, 17, 11, 15, 13, 24, 20, 18, 22, 53, 54, 55,
};

std::vector<SHAPE> AllShapes(const INKS& k)
{
    std::vector<SHAPE> v;
    v.push_back(Still(FromArt(ROWS(s_Arrow), k), 0, 0));
    v.push_back(Hourglass(k));
    v.push_back(Still(FromArt(ROWS(s_Hand), k), 5, 0));
    v.push_back(Sight(k.white, k, {6}, 0));
    v.push_back(Sight(k.red, k, {6, 5}, 200));
    v.push_back(MoveRing(k));
    {
        CANVAS c(19, 19);
        Circle(c, 9, 9, 7, k.red);
        Circle(c, 9, 9, 6, k.red);
        Line(c, 5, 5, 13, 13, k.red, 1);
        Outline(c, k.black);
        v.push_back(Still(std::move(c), 9, 9));
    }
    {
        CANVAS c(15, 15);
        Line(c, 7, 2, 7, 12, k.white, 1);
        Line(c, 2, 7, 12, 7, k.white, 1);
        Outline(c, k.black);
        v.push_back(Still(std::move(c), 7, 7));
    }
    v.push_back(Still(Letter('?', k.white, k), 1, 1));
    {
        CANVAS c(13, 13);
        Line(c, 2, 2, 10, 10, k.red, 1);
        Line(c, 10, 2, 2, 10, k.red, 1);
        Outline(c, k.black);
        v.push_back(Still(std::move(c), 6, 6));
    }
    for (int d = 0; d < 8; d++) v.push_back(ScrollArrow(d, false, k));
    for (int d = 0; d < 8; d++) v.push_back(ScrollArrow(d, true, k));
    for (int d = 0; d < 8; d++) v.push_back(Facing(d, k));
    {
        CANVAS c(11, 11);
        Line(c, 5, 1, 5, 9, k.white);
        Line(c, 1, 5, 9, 5, k.white);
        Outline(c, k.black);
        v.push_back(Still(std::move(c), 5, 5));
    }
    for (int size : {1, 3, 5, 9}) v.push_back(Square(size, k));
    {
        CANVAS c(15, 15);
        Line(c, 7, 1, 13, 7, k.white);
        Line(c, 13, 7, 7, 13, k.white);
        Line(c, 7, 13, 1, 7, k.white);
        Line(c, 1, 7, 7, 1, k.white);
        Outline(c, k.black);
        v.push_back(Still(std::move(c), 7, 7));
    }
    {
        CANVAS c(13, 13);
        Line(c, 2, 2, 10, 2, k.white);
        Line(c, 10, 2, 10, 10, k.white);
        Line(c, 10, 10, 2, 10, k.white);
        Line(c, 2, 10, 2, 2, k.white);
        Line(c, 6, 4, 6, 8, k.white);
        Line(c, 4, 6, 8, 6, k.white);
        Outline(c, k.black);
        v.push_back(Still(std::move(c), 6, 6));
    }
    for (int t = 0; t < 8; t++) v.push_back(TeamRing(t, k));
    {
        CANVAS c(17, 17);
        Line(c, 6, 6, 14, 14, k.grey, 1);
        Circle(c, 4, 4, 3, k.grey);
        Circle(c, 4, 4, 2, k.grey);
        c.Put(2, 2, 0); // the jaw's opening
        c.Put(3, 2, 0);
        c.Put(2, 3, 0);
        Outline(c, k.black);
        v.push_back(Still(std::move(c), 3, 3));
    }
    v.push_back(Still(Letter('$', k.yellow, k), 6, 8));
    v.push_back(Still(FromArt(ROWS(s_Shield), k), 6, 6));
    {
        CANVAS c(17, 18);
        Line(c, 2, 8, 2, 15, k.white);
        Line(c, 2, 15, 14, 15, k.white);
        Line(c, 14, 15, 14, 8, k.white);
        Arrow(c, 8, 7, 4, 6, 5, 3, k.green, 0);
        Outline(c, k.black);
        v.push_back(Still(std::move(c), 8, 12));
    }
    {
        CANVAS c(21, 21);
        for (int d : {0, 2, 4, 6}) Arrow(c, 10, 10, d, -2, 8, 3, k.white, 0);
        Outline(c, k.black);
        v.push_back(Still(std::move(c), 10, 10));
    }
    {
        CANVAS c(19, 19);
        Circle(c, 7, 7, 5, k.white);
        Circle(c, 7, 7, 4, k.white);
        Line(c, 11, 11, 16, 16, k.grey, 1);
        Outline(c, k.black);
        v.push_back(Still(std::move(c), 7, 7));
    }
    v.push_back(Flag(k));
    // The drawing order above, put in the game's numbering.
    std::vector<SHAPE> numbered;
    for (int from : kNumbering) numbered.push_back(v[(size_t)from]);
    return numbered;
}

} // namespace

void GenCursor_Build(const PAL_RGB* palette, GENCURSOR_SET* out)
{
    INKS k;
    k.black = Mkdata_NearestColour(palette, 16, 16, 16);
    k.white = Mkdata_NearestColour(palette, 255, 255, 255);
    k.red = Mkdata_NearestColour(palette, 220, 30, 30);
    k.green = Mkdata_NearestColour(palette, 40, 200, 60);
    k.yellow = Mkdata_NearestColour(palette, 240, 220, 40);
    k.grey = Mkdata_NearestColour(palette, 150, 150, 150);
    k.sand = Mkdata_NearestColour(palette, 220, 180, 90);
    k.glass = Mkdata_NearestColour(palette, 170, 200, 230);
    k.blue = Mkdata_NearestColour(palette, 50, 90, 200);
    k.cyan = Mkdata_NearestColour(palette, 60, 210, 230);

    std::vector<SHAPE> shapes = AllShapes(k);
    out->cursors.clear();
    out->pixels.clear();
    for (const SHAPE& s : shapes) {
        std::vector<uint8_t> px;
        for (const CANVAS& f : s.frames) px.insert(px.end(), f.px.begin(), f.px.end());
        out->pixels.push_back(std::move(px));
        const CANVAS& f0 = s.frames[0];
        out->cursors.push_back(CURSOR{(int)s.frames.size(), s.hotx, s.hoty, s.ms, f0.w, f0.h, nullptr});
    }
    for (size_t i = 0; i < out->cursors.size(); i++) out->cursors[i].pixels = out->pixels[i].data();
}

#ifndef MKDATA_FUNCTIONS_ONLY
#include <cstdio>

#include "core/fspath.h"
#include "mkdata.h"

static int Demo(const std::string& rundir)
{
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    GENCURSOR_SET set;
    GenCursor_Build(pal.colours, &set);
    std::string dir = rundir + "/data/graphics/intface";
    if (!Mkdata_MakeDirs(dir)) return 0;
    std::string path = dir + "/mouse.crs";
    if (Cursor_Write(path.c_str(), set.cursors.data(), (int)set.cursors.size())) return 1;
    fprintf(stderr, "mkdata: cannot write [%s]\n", path.c_str());
    return 0;
}

// The demo file, one animated cursor alone, and the demo file cut short.
static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_cursor") return 1;
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    GENCURSOR_SET set;
    GenCursor_Build(pal.colours, &set);
    std::string all = dir + "/mouse.crs";
    int ok = Cursor_Write(all.c_str(), set.cursors.data(), (int)set.cursors.size()) &&
             Cursor_Write((dir + "/hourglass.crs").c_str(), &set.cursors[1], 1);
    std::string whole;
    if (ok && Fs_ReadAll(all.c_str(), &whole))
        ok = Mkdata_WriteFile(dir + "/short.crs", whole.data(), whole.size() / 3);
    if (!ok) fprintf(stderr, "mkdata: cannot write the seeds of %s in [%s]\n", target.c_str(), dir.c_str());
    return ok;
}

MKDATA_REGISTER(cursor, "cursor", Demo, Seeds);
#endif
