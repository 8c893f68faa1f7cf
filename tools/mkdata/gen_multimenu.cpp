// The multiplayer menus' pictures and fonts, drawn in the game's palette and
// carrying the menus' own (MenusPalette), into the data directory's
// "multmenu" folder: the page pictures with their panels and button faces
// where the pages cut them, the bar buttons' three states, the step
// buttons, the pop-up frames and the nine page fonts (the demo shapes
// recoloured, ASCII only: nine fonts share 102400 bytes).
#include <algorithm>
#include <cstring>
#include <string>

#include "gen_multimenu.h"

#include "gen_fonts.h"
#include "gen_palette.h"
#include "gen_widgets.h"
#include "mkdata.h"
#include "multi/mmframe.h"
#include "platform/graph.h"
#include "platform/pcx.h"
#include "widgets/qidraw.h"

namespace {

struct LOOK {
    uint8_t back, panel, light, dark, face, title;
};

LOOK Look(const PAL_RGB* pal)
{
    return {Mkdata_NearestColour(pal, 10, 18, 40),  Mkdata_NearestColour(pal, 20, 34, 70),
            Mkdata_NearestColour(pal, 120, 150, 210), Mkdata_NearestColour(pal, 4, 6, 16),
            Mkdata_NearestColour(pal, 40, 64, 120),  Mkdata_NearestColour(pal, 30, 50, 100)};
}

// The palette the pictures carry, which the menus' desktop takes from mm.bmp:
// the game's, but for the entries the menus' widget colour table names for
// the bevels, faces, tracks and outlines, which are terrain colours there
// (a dark green light edge over a near-white shadow made every raised frame
// look sunken, and a track and a focused field purple). They take the
// pages' own colours. The pictures are drawn in the game's palette and use
// none of these entries, so they show as before.
void MenusPalette(const PAL_RGB* game, PAL_RGB* out)
{
    memcpy(out, game, 256 * sizeof *out);
    const LOOK k = Look(game);
    const struct {
        int entry;
        uint8_t like;
    } kWidgets[] = {{QIC_HIGHLIGHT, k.light}, {QIC_FACE, k.face}, {QIC_SHADOW, k.dark},
                    {QIC_TRACK, k.panel},     {QIC_OUTLINE, k.dark}};
    for (const auto& w : kWidgets)
        if (g_MmColours[w.entry] != 0) out[g_MmColours[w.entry]] = game[w.like];
}

int WriteBmp(const std::string& path, const BITMAP* b, const PAL_RGB* game)
{
    PAL_RGB menus[256];
    MenusPalette(game, menus);
    return GenWidgets_WriteBmp(path, b, menus, 8);
}

void Bevel(BITMAP* b, int x, int y, int w, int h, uint8_t top, uint8_t bottom, uint8_t fill)
{
    Graph_FillRect(b, nullptr, 0, x, y, w, h, fill);
    Graph_FillRect(b, nullptr, 0, x, y, w, 1, top);
    Graph_FillRect(b, nullptr, 0, x, y, 1, h, top);
    Graph_FillRect(b, nullptr, 0, x, y + h - 1, w, 1, bottom);
    Graph_FillRect(b, nullptr, 0, x + w - 1, y, 1, h, bottom);
}

struct BOX {
    int x, y, w, h;
    int kind; // 0 raised face, 1 sunken panel, 2 a gap in the frames drawn before it
};

int Page(const std::string& path, const PAL_RGB* pal, const BOX* boxes, int n)
{
    const LOOK k = Look(pal);
    BITMAP b;
    if (!Graph_InitBitmap(&b, 640, 480, nullptr)) return 0;
    Graph_FillRect(&b, nullptr, 0, 0, 0, 640, 480, k.back);
    Graph_FillRect(&b, nullptr, 0, 0, 0, 640, 22, k.title);
    Graph_FillRect(&b, nullptr, 0, 0, 22, 640, 1, k.light);
    for (int i = 0; i < n; i++) {
        const BOX& r = boxes[i];
        if (r.kind == 2)
            Graph_FillRect(&b, nullptr, 0, r.x, r.y, r.w, r.h, k.back);
        else if (r.kind == 0)
            Bevel(&b, r.x, r.y, r.w, r.h, k.light, k.dark, k.face);
        else
            Bevel(&b, r.x - 2, r.y - 2, r.w + 4, r.h + 4, k.dark, k.light, k.panel);
    }
    const int ok = WriteBmp(path, &b, pal);
    Graph_FreeBitmap(&b);
    return ok;
}

int Cells(const std::string& path, const PAL_RGB* pal, int cw, int h, bool arrows, int up)
{
    const LOOK k = Look(pal);
    BITMAP b;
    if (!Graph_InitBitmap(&b, cw * 3, h, nullptr)) return 0;
    const uint8_t faces[3] = {k.face, Mkdata_NearestColour(pal, 70, 100, 170), k.panel};
    for (int c = 0; c < 3; c++) {
        if (c == 2)
            Bevel(&b, c * cw, 0, cw, h, k.dark, k.light, faces[c]);
        else
            Bevel(&b, c * cw, 0, cw, h, k.light, k.dark, faces[c]);
        if (!arrows) continue;
        for (int row = 0; row < 5; row++) {
            const int y = up ? 5 + row : 10 - row;
            Graph_FillRect(&b, nullptr, 0, c * cw + 8 - row, y, 2 * row + 1, 1, MKPAL_WHITE);
        }
    }
    const int ok = WriteBmp(path, &b, pal);
    Graph_FreeBitmap(&b);
    return ok;
}

// rule: the row of the line under the title. split: a height the box is
// also cut at (the pop-ups without buttons take only its top), closed
// there as a box of its own, the rest a second panel.
int Popup(const std::string& path, const PAL_RGB* pal, const BOX* faces, int n, int w = 390, int h = 202,
          int rule = 24, int split = 0)
{
    const LOOK k = Look(pal);
    BITMAP b;
    if (!Graph_InitBitmap(&b, w, h, nullptr)) return 0;
    Bevel(&b, 0, 0, w, h, k.light, k.dark, k.panel);
    if (split) {
        Bevel(&b, 4, 4, w - 8, split - 8, k.dark, k.light, k.back);
        Graph_FillRect(&b, nullptr, 0, 1, split - 1, w - 2, 1, k.dark);
        Bevel(&b, 4, split + 1, w - 8, h - split - 5, k.dark, k.light, k.back);
    } else {
        Bevel(&b, 4, 4, w - 8, h - 8, k.dark, k.light, k.back);
    }
    Graph_FillRect(&b, nullptr, 0, 37, rule, w - 74, 1, k.light);
    for (int i = 0; i < n; i++) {
        const BOX& f = faces[i];
        if (f.kind == 0)
            Bevel(&b, f.x, f.y, f.w, f.h, k.light, k.dark, k.face);
        else
            Bevel(&b, f.x - 2, f.y - 2, f.w + 4, f.h + 4, k.dark, k.light, k.panel);
    }
    const int ok = WriteBmp(path, &b, pal);
    Graph_FreeBitmap(&b);
    return ok;
}

// A demo font cut to its ASCII cells, its ink in another colour.
int Font(const std::string& path, const PAL_RGB* pal, int kind, int r, int g, int bl)
{
    BITMAP src{};
    if (!GenFonts_Build(kind, pal, &src)) return 0;
    int cells = 0, width = 0;
    for (int x = 0; x < src.x_size; x++) {
        const bool marked = src.data[x] != 0, next = x + 1 < src.x_size && src.data[x + 1] != 0;
        if (marked && !next && ++cells == 95) {
            width = x + 2; // the cell and its gap column
            break;
        }
    }
    if (!width || width > src.x_size) width = src.x_size;
    BITMAP out{};
    if (!Graph_InitBitmap(&out, width, src.y_size, nullptr)) {
        Graph_FreeBitmap(&src);
        return 0;
    }
    const uint8_t white = Mkdata_NearestColour(pal, 255, 255, 255), ink = Mkdata_NearestColour(pal, r, g, bl);
    for (int y = 0; y < src.y_size; y++)
        for (int x = 0; x < width; x++) {
            uint8_t p = src.data[(size_t)y * src.x_size + x];
            if (y > 0 && p == white) p = ink;
            out.data[(size_t)y * width + x] = p;
        }
    PAL_RGB menus[256];
    MenusPalette(pal, menus);
    const int ok = Graph_SavePCX(path.c_str(), &out, menus);
    Graph_FreeBitmap(&src);
    Graph_FreeBitmap(&out);
    return ok;
}

// A strip of cells, each a bevelled face filled with a colour of its own.
int Strip(const std::string& path, const PAL_RGB* pal, int cw, int ch, int cols, int rows, const uint8_t* fills)
{
    const LOOK k = Look(pal);
    BITMAP b;
    if (!Graph_InitBitmap(&b, cw * cols, ch * rows, nullptr)) return 0;
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < cols; c++) {
            const bool down = r == rows - 1 && rows > 1;
            Bevel(&b, c * cw, r * ch, cw, ch, down ? k.dark : k.light, down ? k.light : k.dark, fills[r * cols + c]);
        }
    const int ok = WriteBmp(path, &b, pal);
    Graph_FreeBitmap(&b);
    return ok;
}

// The drop boxes' cells: closed, focused and open at x 0, 156 and 312, each
// 156 wide for the option lists; the staging page's player rows take up to
// 179 from the same places, so the open cell runs on to 312 + 179 (a
// narrower picture had a row's open picture run off its edge, and dropped).
int DropCells(const std::string& path, const PAL_RGB* pal, const uint8_t fills[3])
{
    enum { CELL = 156, ROW = 179, H = 15 };
    const LOOK k = Look(pal);
    BITMAP b;
    if (!Graph_InitBitmap(&b, 2 * CELL + ROW, H, nullptr)) return 0;
    for (int c = 0; c < 3; c++) Bevel(&b, c * CELL, 0, c < 2 ? CELL : ROW, H, k.light, k.dark, fills[c]);
    // The open cell's first 156 columns read as a whole cell too.
    Graph_FillRect(&b, nullptr, 0, 2 * CELL + CELL - 1, 0, 1, H, k.dark);
    const int ok = WriteBmp(path, &b, pal);
    Graph_FreeBitmap(&b);
    return ok;
}

// The lights: four 12 x 12 cells. The ready light (cell 1) sits right of a
// row's handicap box, in the 5 columns left of the option boxes, which its
// cell overlaps: it is a bar as wide as that gap, the rest colour 0, which
// the page draws see-through.
int Lights(const std::string& path, const PAL_RGB* pal, const uint8_t fills[4])
{
    enum { CELL = 12, READY = 4 };
    const LOOK k = Look(pal);
    BITMAP b;
    if (!Graph_InitBitmap(&b, 4 * CELL, CELL, nullptr)) return 0;
    for (int c = 0; c < 4; c++)
        Bevel(&b, c * CELL, 0, c == 1 ? READY : CELL, CELL, k.light, k.dark, fills[c]);
    const int ok = WriteBmp(path, &b, pal);
    Graph_FreeBitmap(&b);
    return ok;
}

// The staging page's small pictures: colours, drop boxes, lights, alliances.
int StagingPictures(const std::string& dir, const PAL_RGB* p)
{
    const LOOK k = Look(p);
    static const uint8_t kTeam[8] = {51, 43, 67, 59, 75, 83, 91, 35};
    uint8_t colour[9 * 4];
    for (int r = 0; r < 4; r++)
        for (int c = 0; c < 9; c++) colour[r * 9 + c] = c == 0 ? k.face : kTeam[c - 1];
    const uint8_t drop[3] = {k.panel, k.face, k.back};
    const uint8_t lights[4] = {k.dark, Mkdata_NearestColour(p, 40, 220, 60), k.face, k.light};
    const uint8_t red = Mkdata_NearestColour(p, 200, 40, 40), grey = Mkdata_NearestColour(p, 150, 150, 150),
                  green = Mkdata_NearestColour(p, 40, 200, 60);
    const uint8_t alliance[9] = {red, grey, green, red, grey, green, k.light, k.light, k.light};
    return Strip(dir + "/colour.bmp", p, 25, 14, 9, 4, colour) && DropCells(dir + "/drop.bmp", p, drop) &&
           Lights(dir + "/lights.bmp", p, lights) && Strip(dir + "/alliance.bmp", p, 18, 12, 3, 3, alliance);
}

// A small picture on colour 0 (see-through where the pages draw it so).
int Picture(const std::string& path, const PAL_RGB* pal, int w, int h, const BOX* boxes, const uint8_t* fills, int n)
{
    BITMAP b;
    if (!Graph_InitBitmap(&b, w, h, nullptr)) return 0;
    for (int i = 0; i < n; i++) Graph_FillRect(&b, nullptr, 0, boxes[i].x, boxes[i].y, boxes[i].w, boxes[i].h, fills[i]);
    const int ok = WriteBmp(path, &b, pal);
    Graph_FreeBitmap(&b);
    return ok;
}

// The online lobby's and server list's pages and their small pictures: the
// private-line icon, padlock, crown, ping picture with three lamps, and the
// Create pop-ups' open and locked padlocks.
int LobbyPictures(const std::string& dir, const PAL_RGB* p)
{
    static const BOX kLobby[] = {{28, 105, 138, 104, 1}, {194, 105, 247, 104, 1}, {468, 105, 124, 104, 1},
                                 {28, 238, 564, 121, 1}, {91, 366, 517, 19, 1},   {27, 366, 59, 19, 0}};
    static const BOX kServers[] = {{148, 102, 359, 261, 1}, {276, 50, 200, 15, 1}};
    const LOOK k = Look(p);
    const uint8_t gold = Mkdata_NearestColour(p, 240, 200, 90), grey = Mkdata_NearestColour(p, 160, 160, 170),
                  red = Mkdata_NearestColour(p, 220, 40, 40), green = Mkdata_NearestColour(p, 40, 220, 60),
                  amber = Mkdata_NearestColour(p, 240, 170, 40);
    static const BOX kPrivate[] = {{0, 0, 16, 16, 0}, {3, 5, 10, 7, 0}, {3, 5, 10, 1, 0}};
    const uint8_t privateFills[] = {k.panel, MKPAL_WHITE, k.dark};
    static const BOX kPadlock[] = {{5, 2, 6, 2, 0}, {4, 3, 2, 5, 0}, {10, 3, 2, 5, 0}, {3, 7, 10, 8, 0}, {7, 9, 2, 3, 0}};
    const uint8_t padlockFills[] = {grey, grey, grey, gold, k.dark};
    static const BOX kCrown[] = {{2, 9, 12, 4, 0}, {2, 4, 2, 5, 0}, {7, 3, 2, 6, 0}, {12, 4, 2, 5, 0}};
    const uint8_t crownFills[] = {gold, gold, gold, gold};
    static const BOX kPing[] = {{2, 11, 3, 4, 0}, {6, 8, 3, 7, 0}, {10, 4, 3, 11, 0},
                                {17, 5, 5, 5, 0}, {22, 5, 5, 5, 0}, {27, 5, 5, 5, 0}};
    const uint8_t pingFills[] = {grey, grey, grey, green, amber, red};
    static const BOX kLocks[] = {{0, 0, 89, 63, 0},   {89, 0, 89, 63, 0},  {30, 30, 30, 24, 0},  {119, 30, 30, 24, 0},
                                 {40, 12, 4, 18, 0},  {44, 12, 26, 4, 0},  {66, 16, 4, 6, 0},    {127, 12, 4, 18, 0},
                                 {131, 12, 10, 4, 0}, {141, 12, 4, 18, 0}};
    const uint8_t lockFills[] = {k.back, k.back, green, red, grey, grey, grey, grey, grey, grey};
    return Page(dir + "/MM_SELE.BMP", p, kLobby, 6) && Page(dir + "/MM_ZSVR.BMP", p, kServers, 2) &&
           Picture(dir + "/private.bmp", p, 16, 16, kPrivate, privateFills, 3) &&
           Picture(dir + "/padlock.bmp", p, 16, 16, kPadlock, padlockFills, 5) &&
           Picture(dir + "/crown.bmp", p, 16, 16, kCrown, crownFills, 4) &&
           Picture(dir + "/ping.bmp", p, 32, 16, kPing, pingFills, 6) &&
           Picture(dir + "/lockgame.bmp", p, 178, 63, kLocks, lockFills, 10);
}

} // namespace

int GenMultiMenu_WriteAll(const std::string& dir)
{
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    const PAL_RGB* p = pal.colours;
    static const BOX kMain[] = {{226, 92, 188, 24, 1},  {226, 134, 188, 30, 0}, {226, 186, 188, 30, 0},
                                {226, 238, 188, 30, 0}, {226, 290, 188, 30, 0}, {226, 342, 188, 30, 0}};
    static const BOX kManual[] = {{33, 62, 569, 154, 1},  {152, 246, 101, 25, 0}, {270, 246, 103, 25, 0},
                                  {389, 246, 100, 25, 0}, {202, 366, 114, 15, 0}, {321, 366, 114, 15, 0},
                                  {178, 295, 283, 18, 1}, {178, 339, 283, 18, 1}};
    static const BOX kLan[] = {{36, 102, 376, 261, 1}, {462, 102, 130, 261, 1}};
    static const BOX kSetup[] = {{19, 190, 278, 61, 1},  {19, 272, 278, 83, 1},  {458, 237, 156, 15, 0},
                                 {319, 191, 136, 15, 0}, {319, 208, 136, 15, 1}, {319, 359, 136, 15, 0},
                                 {323, 227, 128, 128, 1}, {459, 47, 155, 15, 1},
                                 // The player rows' frame closes left of the ready lights
                                 // and the option column. The credits edit, its own frame
                                 // drawn, has no panel round it: "Credits" fills the gap.
                                 {108, 359, 206, 19, 1}, {19, 66, 431, 106, 1},
                                 // "Rules" under the player rows and "Messages" under the
                                 // rules sit where those frames close: the lines open for them.
                                 {21, 172, 42, 2, 2},    {21, 251, 68, 2, 2}};
    static const BOX kSerial[] = {{147, 167, 172, 183, 1}, {321, 167, 164, 183, 1}};
    static const BOX kPopOk[] = {{120, 132, 138, 44, 0}};
    static const BOX kPopNo[] = {{194, 131, 108, 37, 0}};
    // Yes (OK) and the Create pop-ups' Cancel, which they cut from here too.
    static const BOX kPopYes[] = {{69, 131, 117, 37, 0}, {194, 131, 108, 37, 0}};
    // The map chooser: its list (with the scroll bar) and two buttons.
    static const BOX kPopMap[] = {{20, 48, 236, 156, 1}, {40, 216, 150, 30, 0}, {210, 216, 150, 30, 0}};
    // The modem pages: the phone book with its buttons and fields, the modem
    // list, and the call status pop-up's list and button.
    static const BOX kModemA[] = {{33, 62, 569, 154, 1}, {152, 246, 101, 25, 0}, {270, 246, 103, 25, 0},
                                  {389, 246, 100, 25, 0}, {202, 366, 114, 15, 0}, {321, 366, 114, 15, 0},
                                  {178, 295, 283, 18, 1}, {178, 339, 283, 18, 1}};
    static const BOX kModemB[] = {{149, 244, 347, 150, 1}};
    // Its title and the call's kind stack at the top: the line goes under both.
    static const BOX kPopModem[] = {{29, 46, 347, 160, 1}, {110, 210, 90, 25, 0}};
    struct FONTFILE {
        const char* name;
        int kind, r, g, b;
    };
    static const FONTFILE kFonts[] = {
        // The headings stand on the page and, on the main page, on the button
        // faces: the palette's light cyan reads at 4.7:1 there (its blue at 2.4:1).
        {"f16blue.pcx", GENFONT_B, 110, 160, 255},  {"f14blue.pcx", GENFONT_A, 32, 196, 204},
        {"f14blueo.pcx", GENFONT_A, 255, 200, 80},  {"f14blueg.pcx", GENFONT_A, 150, 150, 150},
        {"f12gold.pcx", GENFONT_8A, 240, 200, 90},  {"f12team.pcx", GENFONT_8A, 255, 255, 255},
        {"f12bluen.pcx", GENFONT_8A, 130, 180, 255}, {"f12blueo.pcx", GENFONT_8A, 255, 200, 80},
        {"f12blueg.pcx", GENFONT_8A, 150, 150, 150},
    };
    for (const FONTFILE& f : kFonts)
        if (!Font(dir + "/" + f.name, p, f.kind, f.r, f.g, f.b)) return 0;
    return Page(dir + "/mm.bmp", p, nullptr, 0) && Page(dir + "/MM_MAIN.BMP", p, kMain, 6) &&
           Page(dir + "/MM_MANU.BMP", p, kManual, 8) && Page(dir + "/MM_LAN.BMP", p, kLan, 2) &&
           Page(dir + "/MM_SETU.BMP", p, kSetup, 12) && Page(dir + "/MM_SER.BMP", p, kSerial, 2) && Cells(dir + "/LAUNCH.BMP", p, 110, 32, false, 0) &&
           StagingPictures(dir, p) && LobbyPictures(dir, p) &&
           Cells(dir + "/BUTTON.BMP", p, 110, 32, false, 0) && Cells(dir + "/up.bmp", p, 16, 16, true, 1) &&
           Cells(dir + "/down.bmp", p, 16, 16, true, 0) && Popup(dir + "/pop_1pic.bmp", p, kPopOk, 1, 390, 202, 24, 130) &&
           Popup(dir + "/pop_2pic.bmp", p, kPopNo, 1) && Popup(dir + "/pop_crea.bmp", p, kPopYes, 2) &&
           Popup(dir + "/pop_map.bmp", p, kPopMap, 3, 400, 259) && Page(dir + "/MM_MODA.BMP", p, kModemA, 8) &&
           Page(dir + "/MM_MODB.BMP", p, kModemB, 1) && Popup(dir + "/pop_mod.bmp", p, kPopModem, 2, 400, 259, 38);
}

#ifndef MKDATA_FUNCTIONS_ONLY
#include <cstdio>

static int Demo(const std::string& rundir)
{
    const std::string dir = rundir + "/data/multmenu";
    if (!Mkdata_MakeDirs(dir)) return 0;
    if (GenMultiMenu_WriteAll(dir)) return 1;
    fprintf(stderr, "mkdata: cannot write the multiplayer menus' pictures in [%s]\n", dir.c_str());
    return 0;
}

// Summaries: a small one, one at the largest thumbnail, one cut short; and
// found-session records of two hosts, one named to the end of its field.
static int Seeds(const std::string& target, const std::string& dir)
{
    if (target == "fuzz_mmsummary") {
        for (int side : {4, 128}) {
            std::string f(580 + (size_t)side * side, '\x07');
            for (int i = 0; i < 572; i++) f[i] = 0;
            for (int k = 0; k < 2; k++)
                for (int b = 0; b < 4; b++) f[572 + 4 * k + b] = (char)(b == 0 ? side : 0);
            if (!Mkdata_WriteFile(dir + "/side" + std::to_string(side) + ".mm", f.data(), f.size())) return 0;
            if (side == 4 && !Mkdata_WriteFile(dir + "/short.mm", f.data(), 590)) return 0;
        }
    }
    if (target == "fuzz_mmfound") {
        std::string f;
        for (int host = 2; host <= 3; host++) {
            std::string r(1 + 1 + 2 + 24 + 1 + 8 * 17, '\0');
            r[0] = host == 2 ? 2 : 3;
            r[2] = (char)host;
            const std::string name = host == 2 ? "Player 2's Game" : "A game named to its end..";
            r.replace(4, std::min<size_t>(24, name.size()), name.substr(0, 24));
            r[28] = (char)host;
            for (int p = 0; p < host; p++) {
                r[29 + 17 * p] = 1;
                r.replace(30 + 17 * p, 16, "Sixteen letters!");
            }
            f += r;
        }
        if (!Mkdata_WriteFile(dir + "/two.bin", f.data(), f.size())) return 0;
    }
    if (target == "fuzz_mmstaging") {
        // Creator, node 0 and a guest Bravo as node 1 (a session's head is 37
        // bytes, a player 27), settings with two teams, then a chat line, a
        // rule line and one whose digits are missing.
        std::string f(1 + 253 + 165, '\0');
        f[0] = 1;
        for (int p = 0; p < 2; p++) {
            f[1 + 37 + 27 * p] = 1;
            f.replace(1 + 37 + 27 * p + 1, 5, p ? "Bravo" : "Alpha");
        }
        f.replace(1 + 253 + 12, 5, "DUEL\0");
        f += "hello\n\xB7" "007Build no towers\n\xB7" "0x broken\n";
        if (!Mkdata_WriteFile(dir + "/meet.bin", f.data(), f.size())) return 0;
    }
    return 1;
}

MKDATA_REGISTER(multimenu, "multimenu", Demo, Seeds);
#endif
