// The game screen's bitmaps and fonts, drawn in code on the demo palette.
// Cells of one bitmap carry a mark of their own (a tone or a small shape),
// and its looks differ in face and bevel: at rest, under the pointer, held.
#include "gen_screen.h"

#include <cstring>
#include <vector>

#include "gen_fonts.h"
#include "gen_palette.h"
#include "gen_widgets.h"
#include "platform/graph.h"
#include "platform/pcx.h"

namespace {

struct SCREENBMP {
    const char* name;
    int w, h;
    void (*draw)(BITMAP* b);
};

uint8_t Grey(int n) { return (uint8_t)(MKPAL_GREYS + n); }
uint8_t Team(int team, int shade) { return (uint8_t)(MKPAL_TEAMS + 8 * team + shade); }
uint8_t Ramp(int ramp, int shade) { return (uint8_t)(MKPAL_TERRAIN + MKPAL_RAMP * ramp + shade); }

void Fill(BITMAP* b, int x, int y, int w, int h, uint8_t c) { Graph_FillRect(b, nullptr, 0, x, y, w, h, c); }

// A raised face (look 0), lit (1) or sunk (2).
void Bevel(BITMAP* b, int x, int y, int w, int h, int look)
{
    static const int faces[3] = {3, 5, 2};
    Fill(b, x, y, w, h, Grey(faces[look % 3]));
    uint8_t lit = look == 2 ? Grey(0) : (uint8_t)(MKPAL_WHITE - 2), dark = look == 2 ? (uint8_t)(MKPAL_WHITE - 2) : Grey(0);
    Graph_DrawLine(b, nullptr, 0, x, y, x + w - 1, y, lit);
    Graph_DrawLine(b, nullptr, 0, x, y, x, y + h - 1, lit);
    Graph_DrawLine(b, nullptr, 0, x, y + h - 1, x + w - 1, y + h - 1, dark);
    Graph_DrawLine(b, nullptr, 0, x + w - 1, y, x + w - 1, y + h - 1, dark);
}

// A mark telling cell k apart: a block in team ramp k's colour, and k + 1
// dots under it.
void Mark(BITMAP* b, int cx, int cy, int k, int look)
{
    Fill(b, cx - 6, cy - 6, 12, 8, Team(k % 8, look == 1 ? 7 : 5));
    for (int i = 0; i <= k && i < 6; i++) Graph_PutPixel(b, nullptr, 0, cx - 6 + 2 * i, cy + 4, MKPAL_WHITE);
}

void DrawStdButtons(BITMAP* b)
{
    static const int cls[3][2] = {{71, 0}, {103, 213}, {153, 522}};
    for (auto& c : cls)
        for (int look = 0; look < 3; look++) Bevel(b, c[1] + look * c[0], 0, c[0], 22, look);
}

void DrawTopButtons(BITMAP* b)
{
    for (int look = 0; look < 3; look++)
        for (int k = 0; k < 6; k++) {
            int x = look * 294 + k * 49;
            Bevel(b, x, 0, 49, 32, look);
            Mark(b, x + 24 + (look == 2), 16 + (look == 2), k, look);
        }
}

void DrawTopBits(BITMAP* b)
{
    Bevel(b, 0, 0, 6, 32, 0);
    Bevel(b, 6, 0, 141, 32, 0);
    Fill(b, 10, 4, 133, 24, Grey(0));
    Graph_DrawRect(b, nullptr, 0, 10, 4, 133, 24, Team(2, 6));
    Bevel(b, 147, 0, 7, 32, 0);
}

void DrawPanelSelectors(BITMAP* b)
{
    for (int look = 0; look < 3; look++)
        for (int col = 0; col < 3; col++)
            for (int row = 0; row < 2; row++) {
                int x = look * 192 + col * 64, y = row * 32;
                Bevel(b, x, y, 64, 32, look);
                Mark(b, x + 32 + (look == 2), y + 16 + (look == 2), col * 2 + row, look);
            }
}

void DrawMinimapFrame(BITMAP* b)
{
    Bevel(b, 0, 0, 140, 138, 0);
    Graph_DrawRect(b, nullptr, 0, 3, 4, 134, 133, Grey(0));
    Fill(b, 5, 6, 130, 129, 0);
}

void DrawResourceBars(BITMAP* b)
{
    for (int look = 0; look < 2; look++) {
        int x = look * 52;
        Bevel(b, x, 0, 52, 104, 0);
        if (look) Graph_DrawRect(b, nullptr, 0, x + 1, 1, 50, 102, Team(0, 7));
        Fill(b, x + 7, 15, 19, 84, Grey(0));  // power column (596..612)
        Fill(b, x + 35, 14, 13, 85, Grey(0)); // store column (624..634)
        Mark(b, x + 41, 8, 5, look);
    }
}

// Drawn in team 0's ramp: the screen draws each team's cells through that
// team's colour table.
void DrawTeamPictures(BITMAP* b)
{
    static const int shades[4] = {2, 4, 6, 7};
    for (int look = 0; look < 4; look++)
        for (int t = 0; t < 8; t++) {
            int x = ((t % 4) + 4 * look) * 13, y = (t / 4) * 17;
            Fill(b, x, y, 13, 17, Team(0, shades[look]));
            Graph_DrawRect(b, nullptr, 0, x, y, 13, 17, look == 3 ? (uint8_t)MKPAL_WHITE : Grey(0));
            Graph_PutPixel(b, nullptr, 0, x + 6, y + 8, t % 2 ? Grey(0) : (uint8_t)MKPAL_WHITE);
        }
}

void DrawPanelBackground(BITMAP* b)
{
    Bevel(b, 0, 0, 192, 278, 0);
    Fill(b, 4, 4, 184, 270, Grey(2));
    for (int y = 10; y < 278; y += 64)
        for (int x : {8, 183}) Graph_PutPixel(b, nullptr, 0, x, y, MKPAL_WHITE - 2);
}

void DrawTitleStrip(BITMAP* b)
{
    for (int x = 0; x < 171; x++) Graph_DrawLine(b, nullptr, 0, x, 0, x, 12, Team(2, 2 + x * 4 / 171));
    Graph_DrawRect(b, nullptr, 0, 0, 0, 171, 13, Team(2, 6));
}

// Corners (y 0, 24, 48, 72), edges (top 96, left 120, right 144, bottom
// 168), the close box (192), the arrows (216: left, right; 228: up, down).
void DrawTextBorder(BITMAP* b)
{
    uint8_t edge = Team(4, 6), inner = Team(4, 3);
    for (int piece = 0; piece < 4; piece++) {
        int y = piece * 24, right = piece & 1, bottom = piece >> 1;
        Fill(b, right ? 0 : 0, y + (bottom ? 21 : 0), 24, 3, edge);
        Fill(b, right ? 21 : 0, y, 3, 24, edge);
        Fill(b, right ? 18 : 3, y + (bottom ? 18 : 3), 3, 3, inner);
    }
    Fill(b, 0, 96, 24, 3, edge);
    Fill(b, 0, 120, 3, 24, edge);
    Fill(b, 21, 144, 3, 24, edge);
    Fill(b, 0, 189, 24, 3, edge);
    Bevel(b, 2, 194, 20, 20, 0);
    Graph_DrawLine(b, nullptr, 0, 7, 199, 16, 208, Team(0, 7));
    Graph_DrawLine(b, nullptr, 0, 16, 199, 7, 208, Team(0, 7));
    for (int i = 0; i < 5; i++) {
        uint8_t c = MKPAL_WHITE;
        Graph_DrawLine(b, nullptr, 0, 3 + i, 221 - i, 3 + i, 221 + i, c);     // left
        Graph_DrawLine(b, nullptr, 0, 20 - i, 221 - i, 20 - i, 221 + i, c);   // right
        Graph_DrawLine(b, nullptr, 0, 5 - i, 231 + i, 5 + i, 231 + i, c);     // up
        Graph_DrawLine(b, nullptr, 0, 17 - i, 236 - i, 17 + i, 236 - i, c);   // down
    }
}

void DrawTabs(BITMAP* b)
{
    for (int look = 0; look < 2; look++) {
        int x = look * 192;
        Bevel(b, x, 0, 192, 32, 0);
        Bevel(b, x + 4 + look * 92, 4, 92, 26, 2);
    }
}

void DrawBuildBit(BITMAP* b)
{
    Bevel(b, 0, 0, 192, 28, 0);
    Fill(b, 4, 4, 44, 20, Grey(1));
}

void DrawBuildBox(BITMAP* b)
{
    for (int look = 0; look < 3; look++) {
        uint8_t c = look == 0 ? Grey(5) : look == 1 ? (uint8_t)MKPAL_WHITE : Team(2, 7);
        Graph_DrawRect(b, nullptr, 0, look * 64, 0, 64, 50, c);
        Graph_DrawRect(b, nullptr, 0, look * 64 + 1, 1, 62, 48, Grey(1));
    }
}

void Arrow(BITMAP* b, int up)
{
    for (int look = 0; look < 3; look++) {
        int x = look * 22;
        Bevel(b, x, 0, 22, 22, look);
        for (int i = 0; i < 6; i++) {
            int y = up ? 7 + i : 14 - i;
            Graph_DrawLine(b, nullptr, 0, x + 11 - i, y, x + 11 + i, y, MKPAL_WHITE);
        }
    }
}
void DrawScrollUp(BITMAP* b) { Arrow(b, 1); }
void DrawScrollDown(BITMAP* b) { Arrow(b, 0); }

void PlayerRows(BITMAP* b, int tone)
{
    for (int look = 0; look < 3; look++) {
        Bevel(b, look * 95, 0, 95, 18, look);
        Fill(b, look * 95 + 3, 3, 8, 12, Team(tone, 3 + 2 * look));
    }
}
void DrawFirstPlayerRow(BITMAP* b) { PlayerRows(b, 2); }
void DrawPlayerRows(BITMAP* b) { PlayerRows(b, 4); }

void DrawAlliance(BITMAP* b)
{
    static const int ramps[3] = {0, 3, 1}; // enemy red, neutral yellow, ally green
    for (int look = 0; look < 3; look++)
        for (int c = 0; c < 3; c++) {
            int x = look * 66 + c * 22;
            Bevel(b, x, 0, 22, 18, look);
            Fill(b, x + 6, 5, 10, 8, Team(ramps[c], look == 2 ? 7 : 3 + look));
        }
}

void DrawGiftBox(BITMAP* b)
{
    Bevel(b, 0, 0, 90, 95, 0);
    Fill(b, 6, 20, 78, 68, Grey(1));
}

void DrawSideBit(BITMAP* b)
{
    Bevel(b, 0, 0, 23, 217, 0);
    for (int y = 21; y < 217; y += 18) Graph_DrawLine(b, nullptr, 0, 2, y, 20, y, Grey(1));
}

// Text in the 5 x 8 shapes, 6 pixels a character, centred in a w-wide cell.
void Caption(BITMAP* b, int x, int y, int w, const char* text, uint8_t ink)
{
    int left = x + (w - 6 * (int)strlen(text) + 1) / 2;
    for (const char* t = text; *t; t++, left += 6) {
        uint8_t rows[8];
        GenFonts_Shape((unsigned char)*t, rows);
        for (int r = 0; r < 8; r++)
            for (int k = 0; k < 5; k++)
                if (rows[r] & (0x10 >> k)) Fill(b, left + k, y + r, 1, 1, ink);
    }
}

// The orders panel's advanced page: the captions of its three rows
// (tenacity, self-preservation, autonomy), white on a dark cyan.
void DrawOrderTitles(BITMAP* b)
{
    static const char* const CAPTIONS[3] = {"Tenacity", "Survival", "Autonomy"};
    for (int i = 0; i < 3; i++) {
        Fill(b, 0, i * 26, 75, 22, Team(6, 2));
        Graph_DrawRect(b, nullptr, 0, 0, i * 26, 75, 22, Team(6, 6));
        Caption(b, 0, i * 26 + 7, 75, CAPTIONS[i], MKPAL_WHITE);
    }
}

void DrawLevels(BITMAP* b)
{
    for (int look = 0; look < 3; look++)
        for (int i = 0; i < 3; i++) {
            int x = look * 90 + i * 30;
            Bevel(b, x, 0, 30, 22, look);
            for (int k = 0; k <= i; k++) Fill(b, x + 8 + 5 * k, 14 - 3 * k, 3, 3 + 3 * k, Team(1, 5 + look / 2));
        }
}

void DrawTrailModes(BITMAP* b)
{
    static const int cell[3][2] = {{0, 24}, {24, 23}, {47, 24}};
    for (int look = 0; look < 3; look++)
        for (int i = 0; i < 3; i++) {
            int x = look * 71 + cell[i][0];
            Bevel(b, x, 0, cell[i][1], 22, look);
            Mark(b, x + cell[i][1] / 2, 11, i, look);
        }
}

void DrawSliderFill(BITMAP* b)
{
    for (int x = 0; x < 103; x++) Graph_DrawLine(b, nullptr, 0, x, 0, x, 9, Ramp(MKPAL_WATER, 3 + x * 12 / 103));
}

void DrawOptionsPiece(BITMAP* b)
{
    Bevel(b, 0, 0, 44, 60, 0);
    for (int i = 0; i < 3; i++) Fill(b, 6, 6 + 18 * i, 32, 12, Team(5, 3 + i));
}

void DrawCheckBoxes(BITMAP* b) { GenWidgets_DrawCheck(b); }

const SCREENBMP kBitmaps[GENSCREEN_BITMAPS] = {
    {"stdbtns.bmp", 981, 22, DrawStdButtons},   {"topbtns.bmp", 882, 32, DrawTopButtons},
    {"topbits.bmp", 154, 32, DrawTopBits},      {"mfdbtns.bmp", 576, 64, DrawPanelSelectors},
    {"minimap.bmp", 140, 138, DrawMinimapFrame}, {"resobars.bmp", 104, 104, DrawResourceBars},
    {"teampic.bmp", 208, 34, DrawTeamPictures}, {"mfdbac1.bmp", 192, 278, DrawPanelBackground},
    {"pt.bmp", 171, 13, DrawTitleStrip},        {"textbrdr.bmp", 24, 240, DrawTextBorder},
    {"basadv.bmp", 384, 32, DrawTabs},          {"bubldbit.bmp", 192, 28, DrawBuildBit},
    {"buisobox.bmp", 192, 50, DrawBuildBox},    {"buscrlup.bmp", 66, 22, DrawScrollUp},
    {"buscrldn.bmp", 66, 22, DrawScrollDown},   {"copyrnm1.bmp", 285, 18, DrawFirstPlayerRow},
    {"copyrnm2.bmp", 285, 18, DrawPlayerRows},  {"comsgbox.bmp", 44, 18, DrawCheckBoxes},
    {"coalianc.bmp", 198, 18, DrawAlliance},    {"cogivbox.bmp", 90, 95, DrawGiftBox},
    {"cosidbit.bmp", 23, 217, DrawSideBit},     {"ortitles.bmp", 75, 74, DrawOrderTitles},
    {"orlmh.bmp", 270, 22, DrawLevels},         {"trailmde.bmp", 213, 22, DrawTrailModes},
    {"meslider.bmp", 103, 10, DrawSliderFill},  {"meoption.bmp", 44, 60, DrawOptionsPiece},
};

// A font of the 5 x 8 shapes: glyph rows high, shapes scaled by sx, sy at
// row top, spacing columns after each, an optional shadow colour one pixel
// down and right; characters first..last.
struct FONTLOOK {
    const char* name;
    int rows, top, sx, sy, spacing, blank;
    int first, last;
    int ink[3];     // rgb
    int shadow;     // 0 none, else grey level
};

const FONTLOOK kFonts[3] = {
    {"font12w.pcx", 12, 2, 1, 1, 1, 4, 32, 126, {255, 255, 255}, 0},
    {"font12t.pcx", 12, 2, 1, 1, 2, 4, 32, 126, {255, 220, 120}, 1},
    {"font16.pcx", 16, 0, 2, 2, 2, 8, 32, 58, {140, 255, 140}, 0},
};

int BuildFont(const FONTLOOK& f, const PAL_RGB* pal, BITMAP* out)
{
    struct CELL {
        int w;
        std::vector<uint8_t> px;
    };
    std::vector<CELL> cells;
    uint8_t ink = Mkdata_NearestColour(pal, f.ink[0], f.ink[1], f.ink[2]);
    uint8_t shade = Grey(0);
    int total = 0;
    for (int c = f.first; c <= f.last; c++) {
        uint8_t rows[8];
        GenFonts_Shape(c, rows);
        int mask = 0;
        for (uint8_t r : rows) mask |= r;
        CELL cell;
        if (!mask) {
            cell.w = f.blank;
            cell.px.assign((size_t)cell.w * f.rows, 0);
        } else {
            int left = 0, right = 4;
            while (!(mask >> (4 - left) & 1)) left++;
            while (!(mask >> (4 - right) & 1)) right--;
            int shapew = (right - left + 1) * f.sx;
            cell.w = shapew + f.spacing;
            cell.px.assign((size_t)cell.w * f.rows, 0);
            for (int pass = f.shadow ? 0 : 1; pass < 2; pass++) {
                int d = pass == 0 ? 1 : 0;
                for (int r = 0; r < 8; r++)
                    for (int x = left; x <= right; x++) {
                        if (!(rows[r] >> (4 - x) & 1)) continue;
                        for (int i = 0; i < f.sx; i++)
                            for (int j = 0; j < f.sy; j++) {
                                int px = (x - left) * f.sx + i + d, py = f.top + r * f.sy + j + d;
                                if (px < cell.w && py < f.rows)
                                    cell.px[(size_t)py * cell.w + px] = pass == 0 ? shade : ink;
                            }
                    }
            }
        }
        total += cell.w + 1;
        cells.push_back(cell);
    }
    if (!Graph_InitBitmap(out, total, f.rows + 1, nullptr)) return 0;
    int x = 0;
    for (CELL& cell : cells) {
        memset(out->data + x, 255, (size_t)cell.w);
        for (int y = 0; y < f.rows; y++)
            memcpy(out->data + (size_t)(y + 1) * out->x_size + x, &cell.px[(size_t)y * cell.w], (size_t)cell.w);
        x += cell.w + 1;
    }
    return 1;
}

} // namespace

const char* GenScreen_BitmapName(int i)
{
    return i >= 0 && i < GENSCREEN_BITMAPS ? kBitmaps[i].name : "";
}

void GenScreen_BitmapSize(int i, int* w, int* h)
{
    *w = i >= 0 && i < GENSCREEN_BITMAPS ? kBitmaps[i].w : 0;
    *h = i >= 0 && i < GENSCREEN_BITMAPS ? kBitmaps[i].h : 0;
}

int GenScreen_WriteBitmap(int i, const std::string& path, const PAL_RGB* palette)
{
    if (i < 0 || i >= GENSCREEN_BITMAPS) return 0;
    BITMAP b;
    if (!Graph_InitBitmap(&b, kBitmaps[i].w, kBitmaps[i].h, nullptr)) return 0;
    kBitmaps[i].draw(&b);
    int ok = GenWidgets_WriteBmp(path, &b, palette, 8);
    Graph_FreeBitmap(&b);
    return ok;
}

int GenScreen_WriteFonts(const std::string& dir, const PAL_RGB* palette)
{
    for (const FONTLOOK& f : kFonts) {
        BITMAP image{};
        if (!BuildFont(f, palette, &image)) return 0;
        int ok = Graph_SavePCX((dir + "/" + f.name).c_str(), &image, palette);
        Graph_FreeBitmap(&image);
        if (!ok) return 0;
    }
    return 1;
}

int GenScreen_WriteAll(const std::string& dir, const PAL_RGB* palette)
{
    for (int i = 0; i < GENSCREEN_BITMAPS; i++)
        if (!GenScreen_WriteBitmap(i, dir + "/" + kBitmaps[i].name, palette)) return 0;
    return GenScreen_WriteFonts(dir, palette);
}

#ifndef MKDATA_FUNCTIONS_ONLY
#include <cstdio>

#include "mkdata.h"

static int Demo(const std::string& rundir)
{
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    std::string dir = rundir + "/data/graphics/intface";
    if (Mkdata_MakeDirs(dir) && GenScreen_WriteAll(dir, pal.colours)) return 1;
    fprintf(stderr, "mkdata: cannot write the game screen's pictures in [%s]\n", dir.c_str());
    return 0;
}

MKDATA_REGISTER(screen, "screen", Demo, nullptr);
#endif
