// The end-of-game and load-saved-game pictures of the demo world and the picture readers' seeds.
//
// The pictures are drawn with the engine's own primitives in the demo
// palette (gen_palette.h); their words are added by the interface later.
#include <cstdio>
#include <string>
#include <vector>

#include "gen_palette.h"
#include "mkdata.h"
#include "platform/graph.h"
#include "platform/pcx.h"

static uint8_t Terrain(int ramp, int shade)
{
    return (uint8_t)(MKPAL_TERRAIN + MKPAL_RAMP * ramp + shade);
}

// A disc of horizontal spans.
static void FillDisc(BITMAP* b, int cx, int cy, int r, uint8_t colour)
{
    for (int dy = -r; dy <= r; dy++) {
        int half = 0;
        while ((half + 1) * (half + 1) + dy * dy <= r * r) half++;
        Graph_FillRect(b, nullptr, 0, cx - half, cy + dy, 2 * half + 1, 1, colour);
    }
}

// Sky bands above a hill, the sun rising with its rays.
static void DrawWin(BITMAP* b)
{
    for (int k = 0; k < MKPAL_RAMP; k++)
        Graph_FillRect(b, nullptr, 0, 0, k * 30, 640, 30,
                       Terrain(MKPAL_WATER, MKPAL_RAMP - 1 - k / 2));
    for (int a = 0; a < 24; a++) {
        int dx = (a % 12 - 6) * 60, dy = a < 12 ? -300 : -200;
        Graph_DrawLine(b, nullptr, 0, 320, 250, 320 + dx, 250 + dy, Terrain(MKPAL_SAND, 15));
    }
    FillDisc(b, 320, 250, 90, Terrain(MKPAL_SAND, 14));
    Graph_DrawCircle(b, nullptr, 0, 320, 250, 100, Terrain(MKPAL_SAND, 11));
    Graph_DrawCircle(b, nullptr, 0, 320, 250, 104, Terrain(MKPAL_SAND, 9));
    FillDisc(b, 320, 1100, 800, Terrain(MKPAL_GRASS, 7));
    for (int k = 0; k < 8; k++)
        Graph_FillRect(b, nullptr, 0, 0, 420 + k * 8, 640, 8, Terrain(MKPAL_GRASS, 7 - k));
    Graph_DrawRect(b, nullptr, 0, 4, 4, 632, 472, MKPAL_WHITE);
}

// Dusk: a red sky darkening to the top, the sun gone half under a burnt
// ground, smoke rising from a fallen tower on the left.
static void DrawLose(BITMAP* b)
{
    for (int k = 0; k < MKPAL_RAMP; k++)
        Graph_FillRect(b, nullptr, 0, 0, k * 22, 640, 22, Terrain(MKPAL_LAVA, k / 2));
    FillDisc(b, 400, 330, 80, Terrain(MKPAL_LAVA, 12));
    Graph_DrawCircle(b, nullptr, 0, 400, 330, 88, Terrain(MKPAL_LAVA, 9));
    for (int k = 0; k < 10; k++)
        Graph_FillRect(b, nullptr, 0, 0, 330 + k * 15, 640, 15, Terrain(MKPAL_ROCK, 6 - k * 6 / 10));
    // The tower, lying across the ground with its top broken off.
    for (int t = 0; t < 26; t++)
        Graph_DrawLine(b, nullptr, 0, 90, 318 + t, 250, 290 + t, Terrain(MKPAL_ROCK, 2));
    Graph_FillRect(b, nullptr, 0, 262, 306, 24, 18, Terrain(MKPAL_ROCK, 3));
    for (int k = 0; k < 6; k++) FillDisc(b, 170 + k * 9, 270 - k * 38, 14 + k * 5, Terrain(MKPAL_ROCK, 3 + k / 2));
    Graph_DrawRect(b, nullptr, 0, 4, 4, 632, 472, Terrain(MKPAL_LAVA, 6));
}

// An hourglass on dark bands: a saved game is being loaded.
static void DrawLoadGame(BITMAP* b)
{
    for (int k = 0; k < MKPAL_RAMP; k++)
        Graph_FillRect(b, nullptr, 0, 0, k * 30, 640, 30, Terrain(MKPAL_ROCK, k / 2));
    for (int dy = 0; dy < 120; dy++) {
        int half = 100 - dy * 5 / 6;
        Graph_FillRect(b, nullptr, 0, 320 - half, 120 + dy, 2 * half + 1, 1, Terrain(MKPAL_SAND, 12));
        Graph_FillRect(b, nullptr, 0, 320 - half, 360 - dy, 2 * half + 1, 1, Terrain(MKPAL_SAND, 9));
    }
    Graph_DrawRect(b, nullptr, 0, 200, 110, 241, 10, MKPAL_WHITE);
    Graph_DrawRect(b, nullptr, 0, 200, 360, 241, 10, MKPAL_WHITE);
    Graph_DrawRect(b, nullptr, 0, 4, 4, 632, 472, MKPAL_WHITE);
}

static int SavePicture(const std::string& path, void (*draw)(BITMAP*), const PALINFO& pal)
{
    BITMAP b;
    if (!Graph_InitBitmap(&b, 640, 480, nullptr)) return 0;
    draw(&b);
    int ok = Graph_SavePCX(path.c_str(), &b, pal.colours);
    Graph_FreeBitmap(&b);
    if (!ok) fprintf(stderr, "mkdata: cannot write [%s]\n", path.c_str());
    return ok;
}

static int Demo(const std::string& rundir)
{
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    std::string dir = rundir + "/data/graphics/intface";
    if (!Mkdata_MakeDirs(dir)) return 0;
    return SavePicture(dir + "/win.pcx", DrawWin, pal) &&
           SavePicture(dir + "/lose.pcx", DrawLose, pal) &&
           SavePicture(dir + "/loadgame.pcx", DrawLoadGame, pal);
}

// ------------------------------------------------------------------ seeds

static void Put16(std::vector<uint8_t>* v, unsigned x)
{
    v->push_back((uint8_t)x);
    v->push_back((uint8_t)(x >> 8));
}
static void Put32(std::vector<uint8_t>* v, uint32_t x)
{
    Put16(v, x & 0xFFFF);
    Put16(v, x >> 16);
}

// An uncompressed BMP: 8 bits with a 256-entry palette, or 24 bits (bgr);
// pixels are given top row first and stored bottom-up unless topdown.
static std::vector<uint8_t> BmpBytes(int bits, int w, int h, int topdown, const uint8_t* pixels,
                                     const PAL_RGB* pal)
{
    int bpp = bits / 8, stride = (w * bpp + 3) & ~3, palbytes = bits == 8 ? 1024 : 0;
    std::vector<uint8_t> v = {'B', 'M'};
    Put32(&v, (uint32_t)(54 + palbytes + stride * h));
    Put32(&v, 0);
    Put32(&v, (uint32_t)(54 + palbytes));
    Put32(&v, 40);
    Put32(&v, (uint32_t)w);
    Put32(&v, (uint32_t)(topdown ? -h : h));
    Put16(&v, 1);
    Put16(&v, (unsigned)bits);
    for (int i = 0; i < 6; i++) Put32(&v, 0);
    for (int i = 0; i < palbytes / 4; i++) {
        v.push_back(pal[i].b);
        v.push_back(pal[i].g);
        v.push_back(pal[i].r);
        v.push_back(0);
    }
    for (int j = 0; j < h; j++) {
        const uint8_t* row = pixels + (size_t)(topdown ? j : h - 1 - j) * w * bpp;
        for (int i = 0; i < w * bpp; i += bpp) {
            if (bits == 8)
                v.push_back(row[i]);
            else {
                v.push_back(row[i + 2]);
                v.push_back(row[i + 1]);
                v.push_back(row[i]);
            }
        }
        for (int i = w * bpp; i < stride; i++) v.push_back(0);
    }
    return v;
}

// An 8-bit run-length BMP of 6 x 4 holding every kind of step: runs, a
// literal run of odd length (padded), a move, the end of a line and of the
// picture.
static std::vector<uint8_t> BmpRle8Bytes(const PAL_RGB* pal)
{
    const uint8_t data[] = {
        6, 3, 0, 0,                    // bottom row: a run of six
        0, 3, 9, 10, 11, 0, 3, 12, 0, 0, // a literal run of three, a run of three
        0, 2, 2, 1,                    // a move two right and one up
        4, 200, 0, 0,                  // a run to the end of the top row's line
        0, 1,                          // the end of the picture
    };
    std::vector<uint8_t> v = {'B', 'M'};
    Put32(&v, (uint32_t)(54 + 1024 + sizeof data));
    Put32(&v, 0);
    Put32(&v, 54 + 1024);
    Put32(&v, 40);
    Put32(&v, 6);
    Put32(&v, 4);
    Put16(&v, 1);
    Put16(&v, 8);
    Put32(&v, 1); // run-length compression
    Put32(&v, (uint32_t)sizeof data);
    for (int i = 0; i < 4; i++) Put32(&v, 0);
    for (int i = 0; i < 256; i++) {
        v.push_back(pal[i].b);
        v.push_back(pal[i].g);
        v.push_back(pal[i].r);
        v.push_back(0);
    }
    v.insert(v.end(), data, data + sizeof data);
    return v;
}

static int Seeds(const std::string& target, const std::string& dir)
{
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    if (target == "fuzz_pcx") {
        // Odd width, long runs, values that need a count byte.
        BITMAP b;
        if (!Graph_InitBitmap(&b, 21, 9, nullptr)) return 0;
        for (int i = 0; i < 21 * 9; i++) b.data[i] = (uint8_t)(i < 80 ? 7 : i * 37);
        int ok = Graph_SavePCX((dir + "/small.pcx").c_str(), &b, pal.colours);
        Graph_FreeBitmap(&b);
        return ok;
    }
    if (target == "fuzz_bmp") {
        uint8_t idx[5 * 3], rgb[3 * 2 * 3];
        for (int i = 0; i < 15; i++) idx[i] = (uint8_t)(i * 17);
        for (int i = 0; i < 18; i++) rgb[i] = (uint8_t)(i * 14);
        std::vector<uint8_t> a = BmpBytes(8, 5, 3, 0, idx, pal.colours);
        std::vector<uint8_t> c = BmpBytes(24, 3, 2, 1, rgb, pal.colours);
        std::vector<uint8_t> r = BmpRle8Bytes(pal.colours);
        return Mkdata_WriteFile(dir + "/indexed.bmp", a.data(), a.size()) &&
               Mkdata_WriteFile(dir + "/truecolour.bmp", c.data(), c.size()) &&
               Mkdata_WriteFile(dir + "/runlength.bmp", r.data(), r.size());
    }
    return 1;
}

MKDATA_REGISTER(pictures, "pictures", Demo, Seeds);
