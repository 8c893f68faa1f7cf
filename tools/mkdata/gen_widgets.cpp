// The widget demonstration's pictures, drawn with the engine's primitives in
// the demo palette, and its fonts beside them (the page loads its fonts from
// its own bitmap directory).
//
// Built with tests as well (MKDATA_FUNCTIONS_ONLY), where mkdata's
// registration isn't linked.
#include "gen_widgets.h"

#include <vector>

#include "core/fspath.h"
#include "gen_fonts.h"
#include "gen_palette.h"
#include "platform/graph.h"

static void Put16(std::vector<uint8_t>* out, uint32_t v)
{
    out->push_back((uint8_t)v);
    out->push_back((uint8_t)(v >> 8));
}

static void Put32(std::vector<uint8_t>* out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

int GenWidgets_WriteBmp(const std::string& path, const BITMAP* b, const PAL_RGB* palette, int bits)
{
    const int w = b->x_size, h = b->y_size;
    const uint32_t rowbytes = ((uint32_t)(w * bits / 8) + 3) & ~3u;
    const uint32_t palbytes = bits == 8 ? 1024 : 0;
    const uint32_t offset = 14 + 40 + palbytes;
    std::vector<uint8_t> out;
    out.push_back('B');
    out.push_back('M');
    Put32(&out, offset + rowbytes * (uint32_t)h);
    Put32(&out, 0);
    Put32(&out, offset);
    Put32(&out, 40);
    Put32(&out, (uint32_t)w);
    Put32(&out, (uint32_t)h); // positive: rows from the bottom
    Put16(&out, 1);
    Put16(&out, (uint32_t)bits);
    Put32(&out, 0); // no compression
    Put32(&out, rowbytes * (uint32_t)h);
    Put32(&out, 2835);
    Put32(&out, 2835);
    Put32(&out, bits == 8 ? 256 : 0);
    Put32(&out, 0);
    for (uint32_t i = 0; i < palbytes / 4; i++) {
        out.push_back(palette[i].b);
        out.push_back(palette[i].g);
        out.push_back(palette[i].r);
        out.push_back(0);
    }
    for (int y = h - 1; y >= 0; y--) {
        const uint8_t* row = b->data + (size_t)y * w;
        const size_t start = out.size();
        for (int x = 0; x < w; x++) {
            if (bits == 8) {
                out.push_back(row[x]);
            } else {
                out.push_back(palette[row[x]].b);
                out.push_back(palette[row[x]].g);
                out.push_back(palette[row[x]].r);
            }
        }
        out.resize(start + rowbytes, 0);
    }
    return Fs_WriteAtomic(path.c_str(), out.data(), out.size());
}

static uint8_t Ramp(int ramp, int shade) { return (uint8_t)(MKPAL_TERRAIN + MKPAL_RAMP * ramp + shade); }

// A disc of horizontal spans.
static void Disc(BITMAP* b, int cx, int cy, int r, uint8_t colour)
{
    for (int dy = -r; dy <= r; dy++) {
        int half = 0;
        while ((half + 1) * (half + 1) + dy * dy <= r * r) half++;
        Graph_FillRect(b, nullptr, 0, cx - half, cy + dy, 2 * half + 1, 1, colour);
    }
}

// Bands of slate blue with a faint grid, and the emblem in its corner.
static void DrawPage(BITMAP* b)
{
    for (int k = 0; k < 16; k++)
        Graph_FillRect(b, nullptr, 0, 0, k * 30, 640, 30, Ramp(MKPAL_DEEPWATER, 2 + k / 4));
    for (int x = 0; x < 640; x += 40) Graph_DrawLine(b, nullptr, 0, x, 0, x, 479, Ramp(MKPAL_WATER, 4));
    for (int y = 0; y < 480; y += 40) Graph_DrawLine(b, nullptr, 0, 0, y, 639, y, Ramp(MKPAL_WATER, 4));
    const int ex = GENWIDGETS_EMBLEM_X, ey = GENWIDGETS_EMBLEM_Y, s = GENWIDGETS_EMBLEM_SIDE;
    Graph_FillRect(b, nullptr, 0, ex, ey, s, s, 0);
    Disc(b, ex + s / 2, ey + s / 2, s / 2 - 2, Ramp(MKPAL_SAND, 13));
    Disc(b, ex + s / 2, ey + s / 2, s / 2 - 10, Ramp(MKPAL_LAVA, 9));
    Graph_DrawCircle(b, nullptr, 0, ex + s / 2, ey + s / 2, s / 2 - 2, Ramp(MKPAL_SAND, 6));
    for (int t = -1; t <= 1; t++) {
        Graph_DrawLine(b, nullptr, 0, ex + 16 + t, ey + 16, ex + 48 + t, ey + 48, MKPAL_WHITE);
        Graph_DrawLine(b, nullptr, 0, ex + 48 + t, ey + 16, ex + 16 + t, ey + 48, MKPAL_WHITE);
    }
}

// Normal, selected, highlighted, highlighted and selected.
static void DrawCells(BITMAP* b)
{
    static const int kRamps[4] = {MKPAL_ROCK, MKPAL_GRASS, MKPAL_SAND, MKPAL_LAVA};
    for (int c = 0; c < 4; c++) {
        const int x = c * 24;
        Graph_FillRect(b, nullptr, 0, x, 0, 24, 24, Ramp(kRamps[c], 6));
        Graph_DrawRect(b, nullptr, 0, x, 0, 24, 24, Ramp(kRamps[c], 14));
        Disc(b, x + 12, 12, 4 + 2 * c, Ramp(kRamps[c], 11));
    }
}

// Checked, checked with focus, unchecked, unchecked with focus: the order
// in which check boxes cut their cells.
static void DrawCheck(BITMAP* b)
{
    for (int c = 0; c < 4; c++) {
        const int x = c * 11;
        Graph_FillRect(b, nullptr, 0, x, 0, 11, 18, MKPAL_GREYS + 2);
        Graph_DrawRect(b, nullptr, 0, x + 1, 4, 9, 9, (c & 1) ? MKPAL_WHITE : MKPAL_GREYS + 6);
        if (c < 2) {
            Graph_DrawLine(b, nullptr, 0, x + 3, 8, x + 5, 10, MKPAL_WHITE);
            Graph_DrawLine(b, nullptr, 0, x + 5, 10, x + 8, 5, MKPAL_WHITE);
        }
    }
}

static int Picture(const std::string& path, int w, int h, void (*draw)(BITMAP*),
                   const PAL_RGB* palette)
{
    BITMAP b;
    if (!Graph_InitBitmap(&b, w, h, nullptr)) return 0;
    draw(&b);
    const int ok = GenWidgets_WriteBmp(path, &b, palette, 8);
    Graph_FreeBitmap(&b);
    return ok;
}

int GenWidgets_WriteAll(const std::string& dir)
{
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    return Picture(dir + "/" GENWIDGETS_PAGE, 640, 480, DrawPage, pal.colours) &&
           Picture(dir + "/" GENWIDGETS_CELLS, 96, 24, DrawCells, pal.colours) &&
           Picture(dir + "/" GENWIDGETS_CHECK, 44, 18, DrawCheck, pal.colours) &&
           GenFonts_WriteAll(dir, pal.colours);
}

#ifndef MKDATA_FUNCTIONS_ONLY
#include <cstdio>

#include "mkdata.h"

static int Demo(const std::string& rundir)
{
    const std::string dir = rundir + "/data/" GENWIDGETS_DIR;
    if (!Mkdata_MakeDirs(dir)) return 0;
    if (GenWidgets_WriteAll(dir)) return 1;
    fprintf(stderr, "mkdata: cannot write the widget pictures in [%s]\n", dir.c_str());
    return 0;
}

// Property files too deep or too long to write by hand: sections nested to
// the limit and one past it, and lines far longer than a line buffer.
// Passes of the desktop's target, four bytes each (what, x / 2.5, y / 1.875,
// ms): hold the counting button past its repeat delay, Tab, tick the check
// box twice, then click Quit.
static int DesktopSeeds(const std::string& dir)
{
    static const uint8_t kPasses[] = {
        0, 80, 208, 0,  1, 0, 0, 0,  7, 100, 0, 0,  2, 0, 0, 0,  6, 15, 9, 0,
        0, 110, 222, 20, 1, 0, 0, 5, 2, 0, 0, 5,  5, 110, 222, 0,
        0, 108, 235, 0, 1, 0, 0, 0,  2, 0, 0, 0,
    };
    return Mkdata_WriteFile(dir + "/hold_tick_quit", kPasses, sizeof kPasses);
}

static int Seeds(const std::string& target, const std::string& dir)
{
    if (target == "fuzz_desktop") return DesktopSeeds(dir);
    if (target != "fuzz_proptree") return 1;
    std::string deep, deeper = "S(\n";
    for (int i = 0; i < 64; i++) deep += std::string(2 * i, ' ') + "Level(\n";
    deep += "x = 1\n";
    deeper += deep;
    std::string lines = "Long(\n";
    for (int i = 0; i < 8; i++) lines += std::string(255, (char)('a' + i)) + " = " + std::string(255, 'v') + " ";
    lines += "\n)\nlonger = " + std::string(256, 'w') + "\n";
    return Mkdata_WriteFile(dir + "/deep.prp", deep.data(), deep.size()) &&
           Mkdata_WriteFile(dir + "/deeper.prp", deeper.data(), deeper.size()) &&
           Mkdata_WriteFile(dir + "/long.prp", lines.data(), lines.size());
}

MKDATA_REGISTER(widgets, "widgets", Demo, Seeds);
#endif
