// The test frame and the demo driver.
#include "support/testframe.h"

#include <cstring>

#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "game/gameloop.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/palette.h"

// Colours of the demo palette: greys 22..31, eight team ramps of 8 from 32,
// ten terrain ramps of 16 from 96 (sand, grass, forest, earth, rock, water,
// deep water, snow, lava, crystal).
enum {
    C_BLACK = 0,
    C_WHITE = 15,
    C_GREY = 22,
    C_TEAM = 32,
    C_SAND = 96,
    C_GRASS = 112,
    C_ROCK = 160,
    C_WATER = 176,
    C_DEEP = 192,
    C_LAVA = 224,
    C_CRYSTAL = 240,
};

enum { DEMO_FONT_BYTES = 256 * 1024 };

// A 48 x 48 tile: a diamond of ramp colours with holes of colour 0, so that
// the transparent blit shows what lies beneath.
static void MakeTile(BITMAP* tile)
{
    Graph_InitBitmap(tile, 48, 48, nullptr);
    for (int y = 0; y < 48; y++)
        for (int x = 0; x < 48; x++) {
            int dx = x < 24 ? 23 - x : x - 24, dy = y < 24 ? 23 - y : y - 24;
            int d = dx + dy;
            uint8_t c = 0;
            if (d < 24 && ((x ^ y) & 4) == 0) c = (uint8_t)(C_SAND + 15 - d * 15 / 23);
            if (d >= 24 && d < 28) c = C_WHITE;
            tile->data[y * 48 + x] = c;
        }
}

static void PaletteGrid(BITMAP* dst)
{
    for (int i = 0; i < 256; i++)
        Graph_FillRect(dst, nullptr, 0, 12 + (i % 16) * 14, 34 + (i / 16) * 10, 13, 9, (uint8_t)i);
    Graph_DrawRect(dst, nullptr, 0, 10, 32, 16 * 14 + 3, 16 * 10 + 3, C_WHITE);
}

static void LineFan(BITMAP* dst)
{
    // Spokes to the edge of a 180 x 160 box, every direction of slope.
    const int cx = 344, cy = 114;
    int n = 0;
    for (int x = 254; x <= 434; x += 20, n++) {
        Graph_DrawLine(dst, nullptr, 0, cx, cy, x, 34, (uint8_t)(C_TEAM + (n % 8) * 8 + 7));
        Graph_DrawLine(dst, nullptr, 0, cx, cy, x, 194, (uint8_t)(C_TEAM + (n % 8) * 8 + 4));
    }
    for (int y = 54; y <= 174; y += 20, n++) {
        Graph_DrawLine(dst, nullptr, 0, cx, cy, 254, y, (uint8_t)(C_GRASS + 15 - n % 8));
        Graph_DrawLine(dst, nullptr, 0, cx, cy, 434, y, (uint8_t)(C_WATER + 15 - n % 8));
    }
    Graph_PutPixel(dst, nullptr, 0, cx, cy, C_WHITE);
}

static void Circles(BITMAP* dst)
{
    // Inside a clip rectangle smaller than the largest circles.
    const GRECT clip = {452, 34, 180, 160};
    Graph_DrawRect(dst, nullptr, 0, clip.x - 1, clip.y - 1, clip.w + 2, clip.h + 2, C_GREY + 6);
    for (int r = 6; r <= 96; r += 10)
        Graph_DrawCircle(dst, &clip, 0, 542, 114, r, (uint8_t)(C_LAVA + 15 - r / 8));
    Graph_DrawCircle(dst, nullptr, 0, 542, 114, 2, C_WHITE);
}

static void Blits(BITMAP* dst, const BITMAP* tile)
{
    // Stripes beneath the transparent copies.
    for (int i = 0; i < 12; i++)
        Graph_FillRect(dst, nullptr, 0, 10, 206 + i * 8, 240, 4, (uint8_t)(C_ROCK + 4 + i));
    Graph_Blit(dst, nullptr, 0, 14, 212, tile, 0, 0, 48, 48);
    Graph_BlitTransparent(dst, nullptr, 0, 70, 212, tile, 0, 0, 48, 48);
    // The sand ramp through a table into the crystal ramp.
    uint8_t table[256];
    for (int i = 0; i < 256; i++) table[i] = (uint8_t)i;
    for (int i = 0; i < 16; i++) table[C_SAND + i] = (uint8_t)(C_CRYSTAL + i);
    Graph_BlitTable(dst, nullptr, 0, 126, 212, tile, 0, 0, 48, 48, table);
    // Part of the tile, and a copy cut by the screen's edge.
    Graph_BlitTransparent(dst, nullptr, 0, 182, 212, tile, 12, 12, 24, 24);
    Graph_Blit(dst, nullptr, 0, 616, 440, tile, 0, 0, 48, 48);
    Graph_BlitTransparent(dst, nullptr, 0, 182, 252, tile, 0, 0, 48, 48);
}

static void Rects(BITMAP* dst)
{
    for (int i = 0; i < 8; i++) {
        int inset = i * 6;
        Graph_DrawRect(dst, nullptr, 0, 262 + inset, 206 + inset / 2, 180 - 2 * inset,
                       96 - inset, (uint8_t)(C_TEAM + i * 8 + 6));
    }
    for (int i = 0; i < 16; i++)
        Graph_FillRect(dst, nullptr, 0, 456 + i * 11, 206 + (i % 4) * 6, 9, 60 - (i % 4) * 12,
                       (uint8_t)(C_GRASS + i));
    // Fills that hang off the screen are cut at its edge.
    Graph_FillRect(dst, nullptr, 0, -20, 470, 60, 30, C_LAVA + 10);
    Graph_FillRect(dst, nullptr, 0, 456, 280, 176, 20, C_DEEP + 2);
    Graph_DrawRect(dst, nullptr, 0, 456, 280, 176, 20, C_WHITE);
}

static void Text(BITMAP* dst)
{
    static const char pangram[] = "The quick brown fox jumps over the lazy dog.";
    Font_Print(10, 314, "font256a: Quorvex Engine test frame", 0, 0, nullptr, nullptr, dst);
    Font_Print(10, 330, pangram, 0, 0, nullptr, nullptr, dst);
    Font_Print(10, 350, "font256b: ABCDEFGHIJKLMNOPQRSTUVWXYZ 0123456789", 0, 1, nullptr, nullptr,
               dst);
    Font_Print(10, 368, pangram, 0, 1, nullptr, nullptr, dst);
    Font_Print(10, 388, "font8a: !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~ abcdefghijklmnopqrstuvwxyz",
               0, 2, nullptr, nullptr, dst);
    Font_Print(10, 400, "Latin-1: \xC0\xC9\xCE\xD5\xDC \xE0\xE9\xEE\xF5\xFC \xC7\xE7 \xD1\xF1", 0,
               2, nullptr, nullptr, dst);
    // Inline codes: a change of font, and a jump to a column.
    Font_Print(10, 414, "|0Mixed |1fonts |2in one line~250|0at column 250", 0, 2, nullptr, nullptr,
               dst);
    // One colour for every glyph pixel, a remap table, and a text cut short.
    Font_Print(10, 434, "Drawn in one colour", 0, 0, nullptr, nullptr, dst, C_TEAM + 23);
    uint8_t remap[256];
    for (int i = 0; i < 256; i++) remap[i] = (uint8_t)(i == 0 ? 0 : C_LAVA + (i % 16));
    Font_Print(230, 434, "Through a remap table", 0, 1, remap, nullptr, dst);
    Font_Print(450, 434, "Cut short at 120 pixels wide", 120, 0, nullptr, nullptr, dst);
    const GRECT clip = {10, 452, 200, 6};
    Font_Print(10, 450, "Clipped to a strip six rows high", 0, 0, nullptr, &clip, dst);
}

void Demo_DrawTestFrame(BITMAP* dst)
{
    if (!dst || !dst->data) return;
    Graph_ClearBitmap(dst, C_DEEP + 3);
    Graph_FillRect(dst, nullptr, 0, 0, 0, 640, 26, C_GREY + 2);
    Graph_DrawLine(dst, nullptr, 0, 0, 26, 639, 26, C_WHITE);
    Font_Print(8, 7, "Quorvex Engine", 0, 1, nullptr, nullptr, dst);
    int w = Font_StringWidth("640 x 480, 256 colours", 2);
    Font_Print(632 - w, 10, "640 x 480, 256 colours", 0, 2, nullptr, nullptr, dst);

    PaletteGrid(dst);
    LineFan(dst);
    Circles(dst);
    BITMAP tile = {nullptr, 0, 0, 0};
    MakeTile(&tile);
    Blits(dst, &tile);
    Graph_FreeBitmap(&tile);
    Rects(dst);
    Text(dst);
    Graph_DrawRect(dst, nullptr, 0, 0, 0, 640, 480, C_WHITE);
}

// --- the demo driver ---

static int s_fontsUp = 0;
static int s_loaded = 0;

// A missing file is a warning (the demo runs without it); a broken one is an
// error that its reader has logged.
static int Present(const char* path, const char* what)
{
    if (Fs_Exists(path)) return 1;
    TLOG(TLOG_WARNING, "Demo: no %s [%s]", what, Fs_Resolve(path).c_str());
    return 0;
}

int Demo_LoadAssets(const char* interfacedir)
{
    static const char* const fonts[3] = {"font256a", "font256b", "font8a"};
    int ok = 1;
    char path[GAME_PATH];
    if (Utils_MakePath(path, interfacedir, "", "", "quorvex", ".pal") &&
        Present(path, "palette") && Palstuff_LoadInfo(path))
        Display_ApplyPalette();
    else
        ok = 0;
    if (!s_fontsUp) Font_Init(DEMO_FONT_BYTES);
    s_fontsUp = 1;
    for (int slot = 0; slot < 3; slot++)
        if (!Utils_MakePath(path, interfacedir, "", "", fonts[slot], ".pcx") ||
            !Present(path, "font") || !Font_Load(path, slot))
            ok = 0;
    return ok;
}

static void DemoDraw(BITMAP* backbuffer)
{
    if (!s_loaded) {
        s_loaded = 1;
        Demo_LoadAssets(g_InterfaceDir);
    }
    Demo_DrawTestFrame(backbuffer);
}

void Demo_Install(void) { Game_SetDrawHook(DemoDraw); }

void Demo_Close(void)
{
    Game_SetDrawHook(nullptr);
    if (s_fontsUp) Font_Close();
    s_fontsUp = 0;
    s_loaded = 0;
}
