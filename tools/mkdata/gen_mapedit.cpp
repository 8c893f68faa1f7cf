// The scenario editor's pictures and fonts, in the demo palette, into
// data/mapedit:
//   me_butns.bmp  640 x 480: the editor's background (menu bar, big map,
//                 side panel, info box) holding the button cells that the
//                 editor cuts from it
//   me_objbo.bmp  the three 60 x 50 frames of the object pickers' cells
//   font256a.pcx, font256b.pcx, font8a.pcx: characters 32..126, the two
//                 large fonts one dark and one bright so that a number
//                 drawn in A and again in B one pixel up-left stands out;
//                 together they fit the editor's font buffer (12800 bytes)
#include <cstring>
#include <string>

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
}

static void DrawObjectFrames(BITMAP* b)
{
    Graph_ClearBitmap(b, 0);
    for (int state = 0; state < 3; state++) {
        Bevel(b, 2 + 64 * state, 0, 60, 50, state == 2 ? SHADOW : PANEL);
        Graph_DrawRect(b, nullptr, 0, 4 + 64 * state, 2, 56, 46, state == 1 ? WHITE : (uint8_t)0);
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

static int Seeds(const std::string&, const std::string&) { return 1; }

MKDATA_REGISTER(mapedit, "mapedit", Demo, Seeds);
#endif
