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
void GenWidgets_DrawCheck(BITMAP* b)
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
           Picture(dir + "/" GENWIDGETS_CHECK, 44, 18, GenWidgets_DrawCheck, pal.colours) &&
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

// Passes of the desktop's target, four bytes each: what (0 move, 1/2 left
// down/up, 3/4 right down/up, 5 double click, 6 key, 7 wait), x / 2.5,
// y / 1.875 (or scan code and character), ms. Each seed is one visit of a
// page as a person makes it.
namespace {
struct DESKTOP_SEED {
    std::vector<uint8_t> bytes;
    DESKTOP_SEED& Pass(int what, int a, int b, int ms = 0)
    {
        const uint8_t p[4] = {(uint8_t)what, (uint8_t)a, (uint8_t)b, (uint8_t)ms};
        bytes.insert(bytes.end(), p, p + 4);
        return *this;
    }
    DESKTOP_SEED& Move(int x, int y, int ms = 0) { return Pass(0, x * 2 / 5, y * 8 / 15, ms); }
    DESKTOP_SEED& Click(int x, int y) { return Move(x, y).Pass(1, 0, 0, 5).Pass(2, 0, 0, 5); }
    DESKTOP_SEED& Drag(int x, int y, int toX, int toY)
    {
        Move(x, y).Pass(1, 0, 0, 5);
        for (int i = 1; i <= 4; i++) Move(x + (toX - x) * i / 4, y + (toY - y) * i / 4, 5);
        return Pass(2, 0, 0, 5);
    }
    DESKTOP_SEED& Key(int scancode, int character = 0) { return Pass(6, scancode, character, 5); }
    DESKTOP_SEED& Type(const char* text)
    {
        for (const char* c = text; *c; c++) Key(30, *c); // the character is what an edit takes
        return *this;
    }
    DESKTOP_SEED& Wait(int ms) { return Pass(7, ms / 4, 0, 0); }
};
} // namespace

static int DesktopSeeds(const std::string& dir)
{
    // Hold the counting button past its repeat delay, Tab, tick the check
    // box twice, then click Quit.
    static const uint8_t kPasses[] = {
        0, 80, 208, 0,  1, 0, 0, 0,  7, 100, 0, 0,  2, 0, 0, 0,  6, 15, 9, 0,
        0, 110, 222, 20, 1, 0, 0, 5, 2, 0, 0, 5,  5, 110, 222, 0,
        0, 108, 235, 0, 1, 0, 0, 0,  2, 0, 0, 0,
    };
    DESKTOP_SEED buttons, lists, drops, edits, popup;
    // Every button of the first page, the tips under the pointer, the
    // latching and flipping ones twice, a flip dragged off before release.
    buttons.Move(200, 390).Pass(1, 0, 0).Wait(600).Pass(2, 0, 0);
    for (int x : {394, 456}) buttons.Click(x, 390).Click(x, 390);
    buttons.Move(456, 390).Pass(1, 0, 0, 5).Move(456, 300, 5).Pass(2, 0, 0, 5);
    for (int x : {192, 222, 252}) buttons.Click(x, 418).Click(x, 418);
    buttons.Click(277, 420).Click(277, 420).Click(360, 444).Click(360, 444);
    for (int x = 180; x < 560; x += 40) buttons.Move(x, 440, 20);
    // The lists: rows clicked, extended with control held, the scroll bar's
    // thumb dragged and its track clicked, log lines added, a right drag.
    lists.Click(120, 15).Wait(20);
    for (int y : {60, 74, 88, 102}) lists.Click(40, y);
    lists.Pass(6 | 0x80, 29, 0, 5).Click(160, 116).Click(160, 130).Key(29);
    lists.Drag(269, 62, 269, 150).Click(269, 160).Click(269, 60);
    for (int i = 0; i < 12; i++) lists.Click(64, 195);
    lists.Move(100, 250).Pass(3, 0, 0, 5).Move(100, 200, 5).Move(100, 300, 5).Pass(4, 0, 0, 5);
    lists.Click(360, 72).Click(360, 96).Drag(40, 60, 200, 140);
    // Both drop lists opened, a row chosen by dragging, one by a click, one
    // closed off the list.
    drops.Click(120, 15).Wait(20).Drag(390, 208, 390, 250).Drag(390, 248, 390, 300);
    drops.Click(390, 208).Click(390, 236).Move(390, 248).Pass(1, 0, 0, 5).Move(600, 400, 5).Pass(2, 0, 0, 5);
    for (int row = 0; row < 4; row++) {
        drops.Drag(390, 208, 390, 222 + 14 * row).Drag(390, 248, 390, 262 + 14 * row);
        drops.Move(480, 206 + 4 * row, 10).Move(120, 15, 10);
    }
    // The fields: typed into, Tab between them, Home, End, word moves,
    // Backspace, Delete, Escape and Enter, lower-case hexadecimal; the gauge
    // and the slider dragged.
    edits.Click(190, 15).Wait(20).Click(120, 56).Type("Player |1two").Key(15, 9).Type("10.0.0.255");
    edits.Key(15, 9).Type("deadbeef0123456789abcdef0123456789").Key(71).Key(207).Key(203).Key(14, 8);
    edits.Key(211).Key(1, 27).Click(120, 84).Type("1.2").Key(28, 13);
    edits.Drag(342, 60, 342, 40).Drag(380, 96, 500, 96).Click(520, 96);
    // The popup: asked and answered both ways, a click outside it, a key.
    popup.Click(190, 15).Wait(20).Click(55, 190).Wait(50).Click(100, 300).Key(30, 'a').Click(337, 247);
    popup.Click(55, 190).Wait(50).Click(397, 247).Click(55, 190).Click(55, 190);
    popup.Click(120, 56).Type("typed").Click(55, 190).Key(15, 9).Move(337, 247, 20).Move(397, 247, 20);
    popup.Drag(337, 247, 397, 247).Drag(397, 247, 397, 247).Click(120, 15).Click(190, 15).Click(55, 190);
    popup.Pass(5, 337 * 2 / 5, 247 * 8 / 15, 0);
    const struct {
        const char* name;
        const std::vector<uint8_t>& bytes;
    } visits[] = {{"visit_buttons", buttons.bytes}, {"visit_lists", lists.bytes},
                  {"visit_drops", drops.bytes}, {"visit_edits", edits.bytes}, {"visit_popup", popup.bytes}};
    int ok = Mkdata_WriteFile(dir + "/hold_tick_quit", kPasses, sizeof kPasses);
    for (const auto& v : visits) ok = ok && Mkdata_WriteFile(dir + "/" + v.name, v.bytes.data(), v.bytes.size());
    return ok;
}

// Property files too deep or too long to write by hand: sections nested to
// the limit and one past it, and lines far longer than a line buffer.
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
