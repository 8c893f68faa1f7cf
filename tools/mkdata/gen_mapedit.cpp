// The scenario editor's pictures and fonts, in the demo palette, into
// data/mapedit:
//   me_butns.bmp  640 x 480: the editor's background (menu bar, big map,
//                 side panel, info box) holding the button cells that the
//                 editor cuts from it
//   me_objbo.bmp  the three 60 x 50 frames of the object pickers' cells
//   topbits.bmp   150 x 32: the info box's title strip
//   up.bmp, dn.bmp 52 x 13: a scroll arrow's four 13 x 13 cells (normal,
//                 focus, pressed, pressed with focus)
//   font256a.pcx, font256b.pcx, font8a.pcx: characters 32..126, the two
//                 large fonts one dark and one bright so that a number
//                 drawn in A and again in B one pixel up-left stands out;
//                 together they fit the editor's font buffer (12800 bytes)
#include <cstring>
#include <string>

#include "gen_mapedit.h"
#include "gen_fonts.h"
#include "gen_palette.h"
#include "gen_widgets.h"
#include "platform/graph.h"
#include "platform/pcx.h"

enum { EDITOR_GLYPHS = 95 };
constexpr uint8_t PANEL = MKPAL_GREYS + 3, LIGHT = MKPAL_GREYS + 7, SHADOW = MKPAL_GREYS, WHITE = MKPAL_WHITE;

static void Bevel(BITMAP* b, int x, int y, int w, int h, uint8_t fill)
{
    Graph_FillRect(b, nullptr, 0, x, y, w, h, fill);
    Graph_DrawLine(b, nullptr, 0, x, y, x + w - 1, y, LIGHT);
    Graph_DrawLine(b, nullptr, 0, x, y, x, y + h - 1, LIGHT);
    Graph_DrawLine(b, nullptr, 0, x, y + h - 1, x + w - 1, y + h - 1, SHADOW);
    Graph_DrawLine(b, nullptr, 0, x + w - 1, y, x + w - 1, y + h - 1, SHADOW);
}

// A 32 x 32 button cell: the brush shape (0 square, 1 circle, 2 diamond),
// solid or sprayed, in one of three states (normal, focus, pressed).
static void BrushCell(BITMAP* b, int x, int y, int shape, int spray, int state)
{
    Bevel(b, x, y, 32, 32, state == 2 ? SHADOW : PANEL);
    const uint8_t ink = state == 1 ? WHITE : (uint8_t)(MKPAL_TERRAIN + MKPAL_RAMP * MKPAL_GRASS + 12);
    for (int dy = -9; dy <= 9; dy++)
        for (int dx = -9; dx <= 9; dx++) {
            const bool in = shape == 0 || (shape == 1 && dx * dx + dy * dy <= 81) ||
                            (shape == 2 && (dx < 0 ? -dx : dx) + (dy < 0 ? -dy : dy) <= 9);
            if (in && (!spray || ((dx + dy) & 1 && dx % 3 != 0)))
                Graph_PutPixel(b, nullptr, 0, x + 16 + dx, y + 16 + dy, ink);
        }
}

// The terrain layer's cells: the check boxes (normal, focus, ticked,
// ticked with focus) at (100, 96); the labels of "DrawTerrain" (a tile) and
// "DrawAltitude" (a slope), each normal then focus, at (220, 96); the
// gauges' trough (normal, focus, pressed) and knob at (100, 130).
static void TerrainLayerCells(BITMAP* b)
{
    const uint8_t grass = (uint8_t)(MKPAL_TERRAIN + MKPAL_RAMP * MKPAL_GRASS + 12);
    for (int i = 0; i < 4; i++) {
        const int x = 100 + 16 * i;
        Bevel(b, x, 96, 16, 16, PANEL);
        Graph_FillRect(b, nullptr, 0, x + 3, 99, 10, 10, 0);
        if (i & 1) Graph_DrawRect(b, nullptr, 0, x + 1, 97, 14, 14, WHITE);
        if (i >= 2) {
            Graph_DrawLine(b, nullptr, 0, x + 4, 104, x + 7, 107, WHITE);
            Graph_DrawLine(b, nullptr, 0, x + 7, 107, x + 11, 100, WHITE);
        }
    }
    for (int focus = 0; focus < 2; focus++) {
        const uint8_t ink = focus ? WHITE : grass;
        Graph_FillRect(b, nullptr, 0, 224, 99 + 16 * focus, 16, 10, ink);
        for (int k = 0; k < 10; k++)
            Graph_DrawLine(b, nullptr, 0, 221 + k * 2, 140 + 16 * focus - k, 222 + k * 2, 140 + 16 * focus - k, ink);
    }
    for (int state = 0; state < 3; state++) {
        Bevel(b, 100, 130 + 12 * state, 100, 12, state == 2 ? SHADOW : PANEL);
        Graph_DrawLine(b, nullptr, 0, 103, 136 + 12 * state, 196, 136 + 12 * state, state == 1 ? WHITE : SHADOW);
    }
    Bevel(b, 100, 166, 10, 12, LIGHT);
}

// The main menu's cells: one 49 x 32 column per button, normal at y 0,
// focused at 32, pressed at 64. They lie under the big map and the side
// panel, which cover them on the screen.
static void DrawMenuCells(BITMAP* b)
{
    for (int column = 0; column < 10; column++)
        for (int state = 0; state < 3; state++) {
            const int x = 49 * column, y = 32 * state;
            Bevel(b, x, y, 49, 32, state == 2 ? SHADOW : PANEL);
            if (state == 1) Graph_DrawRect(b, nullptr, 0, x + 2, y + 2, 45, 28, WHITE);
        }
}

// A value button's cell: a bevel with a plus (up) or a minus in one of
// three states (normal, focus, pressed).
static void ValueCell(BITMAP* b, int x, int y, int w, int h, int up, int state)
{
    Bevel(b, x, y, w, h, state == 2 ? SHADOW : PANEL);
    const uint8_t ink = state == 1 ? WHITE : state == 2 ? LIGHT : SHADOW;
    const int cx = x + w / 2, cy = y + h / 2;
    Graph_DrawLine(b, nullptr, 0, cx - 4, cy, cx + 4, cy, ink);
    if (up) Graph_DrawLine(b, nullptr, 0, cx, cy - 4, cx, cy + 4, ink);
}

static void DrawBackground(BITMAP* b)
{
    Graph_ClearBitmap(b, 0);
    Bevel(b, 0, 0, 640, 32, PANEL);      // the main menu bar
    Bevel(b, 448, 32, 192, 300, PANEL);  // the side panel's layer area
    Bevel(b, 448, 332, 58, 64, PANEL);   // the team menu
    Bevel(b, 448, 396, 58, 72, PANEL);   // the layers' second area
    Bevel(b, 506, 332, 134, 136, PANEL); // the info box around the minimap
    Graph_FillRect(b, nullptr, 0, 512, 338, 122, 124, 0);
    Bevel(b, 448, 468, 192, 12, SHADOW); // the tool-tip line
    DrawMenuCells(b);
    // The brush-shape buttons' cells: columns 32, 64 and 0 for the square,
    // circle and diamond; rows from 96 solid and from 192 sprayed.
    static const int kColumn[3] = {32, 64, 0};
    for (int spray = 0; spray < 2; spray++)
        for (int shape = 0; shape < 3; shape++)
            for (int state = 0; state < 3; state++)
                BrushCell(b, kColumn[shape], 96 + 96 * spray + 32 * state, shape, spray, state);
    // The terrain pickers' cell frames at x 491: normal, focus, pressed.
    for (int state = 0; state < 3; state++) {
        Bevel(b, 491, 96 + 32 * state, 32, 32, state == 2 ? SHADOW : PANEL);
        Graph_DrawRect(b, nullptr, 0, 494, 99 + 32 * state, 26, 26, state == 1 ? WHITE : (uint8_t)0);
    }
    TerrainLayerCells(b);
    // The zoom buttons' 32 x 16 cells at x 524 and the brush-size buttons'
    // 34 x 18 cells at x 556: plus then minus, a pair a state.
    for (int state = 0; state < 3; state++)
        for (int up = 0; up < 2; up++) {
            ValueCell(b, 524, 96 + 32 * state + 16 * (1 - up), 32, 16, up, state);
            ValueCell(b, 556, 96 + 36 * state + 18 * (1 - up), 34, 18, up, state);
        }
}

static void DrawTopBits(BITMAP* b)
{
    Graph_ClearBitmap(b, 0);
    Bevel(b, 0, 0, 150, 32, PANEL);
    Graph_DrawRect(b, nullptr, 0, 3, 3, 144, 26, SHADOW);
}

static void Arrow(BITMAP* b, int up)
{
    Graph_ClearBitmap(b, 0);
    for (int cell = 0; cell < 4; cell++) {
        const int x = 13 * cell;
        Bevel(b, x, 0, 13, 13, cell >= 2 ? SHADOW : PANEL);
        const uint8_t ink = cell & 1 ? WHITE : LIGHT;
        for (int row = 0; row < 4; row++) {
            const int y = up ? 4 + row : 8 - row;
            Graph_DrawLine(b, nullptr, 0, x + 6 - row, y, x + 6 + row, y, ink);
        }
    }
}

static void DrawUp(BITMAP* b) { Arrow(b, 1); }
static void DrawDown(BITMAP* b) { Arrow(b, 0); }

static void DrawObjectFrames(BITMAP* b)
{
    Graph_ClearBitmap(b, 0);
    for (int state = 0; state < 3; state++) {
        Bevel(b, 2 + 64 * state, 0, 60, 50, state == 2 ? SHADOW : PANEL);
        Graph_DrawRect(b, nullptr, 0, 4 + 64 * state, 2, 56, 46, state == 1 ? WHITE : (uint8_t)0);
    }
}

// The relation buttons: enemy (a cross), neutral (a bar) and ally (a plus),
// 22 x 18 each, normal, with focus and pressed, 66 pixels apart.
static void DrawRelations(BITMAP* b)
{
    Graph_ClearBitmap(b, 0);
    for (int state = 0; state < 3; state++)
        for (int kind = 0; kind < 3; kind++) {
            const int x = 66 * state + 22 * kind, cx = x + 11, cy = 9;
            Bevel(b, x, 0, 22, 18, state == 2 ? SHADOW : PANEL);
            const uint8_t ink = state == 1 ? WHITE : LIGHT;
            if (kind == 0) {
                Graph_DrawLine(b, nullptr, 0, cx - 4, cy - 4, cx + 4, cy + 4, ink);
                Graph_DrawLine(b, nullptr, 0, cx - 4, cy + 4, cx + 4, cy - 4, ink);
            } else {
                Graph_DrawLine(b, nullptr, 0, cx - 5, cy, cx + 5, cy, ink);
                if (kind == 2) Graph_DrawLine(b, nullptr, 0, cx, cy - 5, cx, cy + 5, ink);
            }
        }
}

// The small demo font cut after its first EDITOR_GLYPHS cells, its glyphs
// in colour (0: as drawn).
static int EditorFont(const std::string& path, uint8_t colour, const PAL_RGB* palette)
{
    BITMAP full{};
    if (!GenFonts_Build(GENFONT_8A, palette, &full)) return 0;
    const uint8_t marker = full.data[0];
    int cells = 0, cut = full.x_size;
    for (int x = 0; x < full.x_size; x++)
        if (full.data[x] == marker && (x == 0 || full.data[x - 1] != marker) && ++cells > EDITOR_GLYPHS) {
            cut = x;
            break;
        }
    BITMAP font{};
    int ok = Graph_InitBitmap(&font, cut, full.y_size, nullptr);
    if (ok) {
        Graph_Blit(&font, nullptr, 0, 0, 0, &full, 0, 0, cut, full.y_size);
        if (colour)
            for (int i = font.x_size; i < font.x_size * font.y_size; i++)
                if (font.data[i]) font.data[i] = colour;
        ok = Graph_SavePCX(path.c_str(), &font, palette);
    }
    Graph_FreeBitmap(&font);
    Graph_FreeBitmap(&full);
    return ok;
}

static int Picture(const std::string& path, int w, int h, void (*draw)(BITMAP*), const PAL_RGB* palette)
{
    BITMAP b{};
    if (!Graph_InitBitmap(&b, w, h, nullptr)) return 0;
    draw(&b);
    const int ok = GenWidgets_WriteBmp(path, &b, palette, 8);
    Graph_FreeBitmap(&b);
    return ok;
}

int GenMapEdit_WriteAll(const std::string& dir)
{
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    return Picture(dir + "/me_butns.bmp", 640, 480, DrawBackground, pal.colours) &&
           Picture(dir + "/me_objbo.bmp", 192, 50, DrawObjectFrames, pal.colours) &&
           Picture(dir + "/topbits.bmp", 150, 32, DrawTopBits, pal.colours) &&
           Picture(dir + "/coalianc.bmp", 198, 18, DrawRelations, pal.colours) &&
           Picture(dir + "/up.bmp", 52, 13, DrawUp, pal.colours) &&
           Picture(dir + "/dn.bmp", 52, 13, DrawDown, pal.colours) &&
           EditorFont(dir + "/font256a.pcx", SHADOW, pal.colours) &&
           EditorFont(dir + "/font256b.pcx", WHITE, pal.colours) &&
           EditorFont(dir + "/font8a.pcx", 0, pal.colours);
}

#ifndef MKDATA_FUNCTIONS_ONLY
#include <cstdio>

#include "mkdata.h"

static int Demo(const std::string& rundir)
{
    const std::string dir = rundir + "/data/mapedit";
    if (!Mkdata_MakeDirs(dir)) return 0;
    if (GenMapEdit_WriteAll(dir)) return 1;
    fprintf(stderr, "mkdata: cannot write the editor's pictures in [%s]\n", dir.c_str());
    return 0;
}

#include <vector>

// Passes of the editor's target, four bytes each: what (0 move, 1/2 left
// down/up, 3/4 right down/up, 5/6 key, top bit held; 7 wait; 8..11 the
// layers' commands: a picker's item, the path tool, path commands,
// selections), x / 2.5, y / 1.875 (or scan code and character, or the
// command's two numbers), ms.
namespace {
struct EDITOR_SEED {
    std::vector<uint8_t> bytes;
    EDITOR_SEED& Pass(int what, int a, int b, int ms = 0)
    {
        const uint8_t p[4] = {(uint8_t)what, (uint8_t)a, (uint8_t)b, (uint8_t)ms};
        bytes.insert(bytes.end(), p, p + 4);
        return *this;
    }
    EDITOR_SEED& Move(int x, int y) { return Pass(0, x * 2 / 5, y * 8 / 15, 10); }
    EDITOR_SEED& Key(int scancode) { return Pass(6, scancode, 0, 5); }
    EDITOR_SEED& Click(int x, int y) { return Move(x, y).Pass(1, 0, 0, 5).Pass(2, 0, 0, 20); }
    EDITOR_SEED& Chord(int modifier, int scancode) { return Pass(0x86, modifier, 0).Key(scancode).Key(modifier); }
    EDITOR_SEED& Drag(int button, int x, int y, int toX, int toY)
    {
        Move(x, y).Pass(button ? 3 : 1, 0, 0, 5);
        for (int i = 1; i <= 4; i++) Move(x + (toX - x) * i / 4, y + (toY - y) * i / 4);
        return Pass(button ? 4 : 2, 0, 0, 100);
    }
};
} // namespace

static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_editor") return 1;
    EDITOR_SEED keys, mouse, quits, files, things, layers, teams;
    // Zoom in and out, teams, altitudes, variations, shapes, brush sizes.
    keys.Move(200, 200);
    for (int k : {13, 13, 13, 12, 2, 10, 30, 19, 45, 46, 32, 211, 57, 12, 12, 20, 24, 31, 49}) keys.Key(k);
    keys.Chord(56, 19).Chord(42, 44).Chord(29, 46).Chord(42, 45).Chord(29, 32);
    keys.Pass(0x86, 205, 0).Pass(7, 20, 0).Key(205).Pass(0x86, 200, 0).Pass(7, 20, 0).Key(200);
    // Bands with each modifier, right drags and clicks, the minimap.
    mouse.Drag(0, 50, 60, 200, 150).Drag(1, 300, 300, 200, 250).Move(100, 100).Pass(3, 0, 0, 5).Pass(4, 0, 0, 50);
    mouse.Pass(0x86, 29, 0).Drag(0, 40, 40, 90, 90).Key(29).Pass(0x86, 42, 0).Drag(0, 40, 40, 90, 90).Key(42);
    mouse.Pass(0x86, 56, 0).Drag(0, 40, 40, 90, 90).Key(56).Key(13).Drag(0, 30, 50, 420, 470);
    mouse.Move(560, 390).Pass(1, 0, 0, 5).Move(580, 400).Pass(2, 0, 0, 5).Drag(1, 560, 390, 600, 420);
    mouse.Move(0, 240).Pass(7, 50, 0).Move(639, 479).Pass(7, 50, 0);
    // Every way out, each reopening the editor for the rest of the input.
    quits.Chord(42, 16).Key(13).Chord(56, 16).Chord(29, 16).Move(220, 200).Chord(42, 44).Chord(42, 44);
    // The main menu's layers, then the File layer: a category, a pick, load,
    // save, the tech level on Stats, create with its box, delete, quit.
    for (int i = 0; i < 10; i++) files.Click(174 + 49 * i, 16);
    files.Click(174, 16).Click(544, 59).Click(500, 86).Click(460, 92).Click(594, 133).Click(594, 151);
    files.Click(615, 16).Click(560, 163).Pass(6, 2, '1', 5).Pass(6, 2, '1', 5).Key(28).Click(174, 16);
    files.Click(594, 97).Click(330, 280).Click(594, 115).Click(290, 255).Click(570, 273).Click(594, 205);
    // Place units, a building and objects, band, drag, copy and delete them,
    // then give two of them a waypoint path.
    things.Move(100, 100).Pass(8, 0, 0).Pass(1, 0, 0).Move(130, 100).Move(160, 130).Pass(2, 0, 0, 5);
    things.Pass(8, 1, 0).Move(250, 250).Pass(1, 0, 0).Pass(2, 0, 0, 5).Pass(8, 2, 1).Move(60, 300).Pass(1, 0, 0);
    things.Pass(2, 0, 0).Pass(11, 5, 2).Pass(8, 2, 0).Move(60, 300).Pass(1, 0, 0).Pass(2, 0, 0).Key(57);
    things.Drag(0, 80, 80, 200, 200).Chord(29, 32).Drag(0, 130, 110, 180, 160).Key(32).Pass(11, 0, 0).Key(32);
    things.Drag(0, 80, 80, 300, 300).Pass(9, 3, 0).Move(200, 200).Pass(1, 0, 0).Move(260, 200).Pass(2, 0, 0, 5);
    things.Move(260, 260).Pass(1, 0, 0).Pass(2, 0, 0).Move(5, 5).Pass(1, 0, 0).Pass(2, 0, 0).Pass(10, 1, 3);
    things.Pass(10, 2, 0).Pass(10, 3, 1).Drag(0, 190, 190, 300, 300).Drag(0, 200, 200, 230, 230).Key(32);
    // Through the side panel: units picked, placed, selected and re-teamed; a
    // building; objects with a held brush size, zoom and shape; orders and
    // presets over a band; waypoints added, looped and assigned.
    layers.Click(272, 16).Click(478, 57).Click(100, 100).Click(130, 100).Click(160, 100).Pass(3, 0, 0).Pass(4, 0, 0);
    layers.Click(476, 420).Click(476, 458).Click(321, 16).Click(478, 57).Click(250, 250).Click(476, 440);
    layers.Click(370, 16).Click(478, 57).Move(543, 300).Pass(1, 0, 0).Pass(7, 100, 0).Pass(7, 100, 0).Pass(2, 0, 0);
    layers.Click(606, 301).Click(606, 317).Click(478, 402).Click(150, 150).Click(483, 321).Click(483, 302);
    layers.Click(463, 283).Click(468, 16).Drag(0, 20, 40, 440, 460).Click(480, 135).Click(500, 61).Click(620, 213);
    layers.Click(500, 283).Click(419, 16).Click(530, 63).Click(100, 200).Click(150, 200).Click(150, 250);
    layers.Pass(3, 0, 0).Pass(4, 0, 0).Drag(0, 20, 40, 440, 460).Click(552, 190).Click(530, 123).Click(530, 143);
    // The teams: buttons with and without Shift; the Player layer's sides,
    // credits typed, a group dragged to, relations, the start; the AI
    // layer's file pickers (a row, then nothing), a new region dragged,
    // the label switches and Delete.
    teams.Click(495, 342).Pass(0x86, 42, 0).Click(476, 363).Key(42).Click(476, 384).Click(566, 16);
    teams.Click(544, 77).Click(544, 113).Click(590, 205).Key(14).Key(14).Pass(6, 6, '5').Pass(6, 11, '0').Key(28);
    teams.Move(544, 185).Pass(1, 0, 0, 5).Move(544, 220).Move(544, 236).Pass(2, 0, 0, 20).Click(481, 274);
    teams.Click(525, 292).Click(569, 256).Click(481, 256).Click(544, 167).Click(200, 200).Click(457, 384);
    teams.Click(525, 274).Click(495, 384).Click(517, 16).Click(496, 57).Click(300, 101).Click(356, 352);
    teams.Click(496, 207).Click(300, 111).Click(356, 352).Click(496, 57).Click(356, 352).Click(476, 422);
    teams.Drag(0, 100, 100, 200, 180).Click(476, 440).Click(476, 458).Click(100, 140).Click(476, 404);
    return Mkdata_WriteFile(dir + "/teams", teams.bytes.data(), teams.bytes.size()) &&
           Mkdata_WriteFile(dir + "/keys", keys.bytes.data(), keys.bytes.size()) &&
           Mkdata_WriteFile(dir + "/layers", layers.bytes.data(), layers.bytes.size()) &&
           Mkdata_WriteFile(dir + "/files", files.bytes.data(), files.bytes.size()) &&
           Mkdata_WriteFile(dir + "/things", things.bytes.data(), things.bytes.size()) &&
           Mkdata_WriteFile(dir + "/mouse", mouse.bytes.data(), mouse.bytes.size()) &&
           Mkdata_WriteFile(dir + "/quits", quits.bytes.data(), quits.bytes.size());
}

MKDATA_REGISTER(mapedit, "mapedit", Demo, Seeds);
#endif
