// The shell's resource library: packer and file layout. The library's own
// pictures and fonts join it with the front end's pages.
#include "gen_shellres.h"

#include <algorithm>
#include <cstring>

#include "core/bytes.h"
#include "gen_fonts.h"
#include "gen_palette.h"
#include "platform/palette.h"
#include "shell/shellres.h"

static const size_t WINDOW = 4096, MIN_MATCH = 3, MAX_MATCH = 18, CHAIN = 128;

std::vector<uint8_t> Mkdata_ShellPack(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> out;
    // Positions by their first three bytes, newest first through prev.
    std::vector<int64_t> head(1 << 16, -1), prev(size, -1);
    auto hash = [&](size_t i) {
        return (size_t)((data[i] << 8 ^ data[i + 1] << 4 ^ data[i + 2]) & 0xFFFF);
    };
    size_t flagAt = 0;
    int items = 8;
    size_t i = 0;
    auto insert = [&](size_t p) {
        if (p + MIN_MATCH > size) return;
        size_t h = hash(p);
        prev[p] = head[h];
        head[h] = (int64_t)p;
    };
    while (i < size) {
        if (items == 8) {
            flagAt = out.size();
            out.push_back(0);
            items = 0;
        }
        size_t bestLength = 0, bestDistance = 0;
        if (i + MIN_MATCH <= size) {
            size_t limit = std::min(MAX_MATCH, size - i);
            size_t tries = 0;
            for (int64_t p = head[hash(i)]; p >= 0 && i - (size_t)p <= WINDOW && tries < CHAIN;
                 p = prev[p], tries++) {
                size_t n = 0;
                while (n < limit && data[(size_t)p + n] == data[i + n]) n++;
                if (n > bestLength) {
                    bestLength = n;
                    bestDistance = i - (size_t)p;
                }
            }
        }
        if (bestLength >= MIN_MATCH) {
            size_t field = WINDOW - bestDistance; // the distance as the unpacker reads it
            out.push_back((uint8_t)(field & 0xFF));
            out.push_back((uint8_t)((bestLength - MIN_MATCH) << 4 | (field >> 8)));
            for (size_t k = 0; k < bestLength; k++) insert(i + k);
            i += bestLength;
        } else {
            out[flagAt] |= (uint8_t)(1 << items);
            out.push_back(data[i]);
            insert(i);
            i++;
        }
        items++;
    }
    return out;
}

std::vector<uint8_t> Mkdata_ShellContainer(
    uint32_t tag, const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& chunks)
{
    std::vector<uint8_t> out(8);
    for (const auto& c : chunks) {
        size_t at = out.size();
        out.resize(at + 8);
        Bytes_PutU32(&out[at], c.first);
        Bytes_PutU32(&out[at + 4], (uint32_t)(8 + c.second.size()));
        out.insert(out.end(), c.second.begin(), c.second.end());
    }
    Bytes_PutU32(&out[0], tag);
    Bytes_PutU32(&out[4], (uint32_t)out.size());
    return out;
}

void Mkdata_ShellLibrary(const std::vector<MKSHELLRES>& resources, std::vector<uint8_t>* index,
                         std::vector<uint8_t>* data)
{
    index->assign(12 + 32 * resources.size(), 0);
    memcpy(index->data(), "QVSHLIB1", 8);
    Bytes_PutU32(&(*index)[8], (uint32_t)resources.size());
    data->clear();
    for (size_t r = 0; r < resources.size(); r++) {
        uint8_t* e = &(*index)[12 + 32 * r];
        const MKSHELLRES& res = resources[r];
        memcpy(e, res.name.c_str(), std::min<size_t>(res.name.size(), 11));
        std::vector<uint8_t> packed = Mkdata_ShellPack(res.content.data(), res.content.size());
        Bytes_PutU32(e + 12, res.type);
        Bytes_PutU32(e + 16, 0);
        Bytes_PutU32(e + 20, (uint32_t)data->size());
        Bytes_PutU32(e + 24, (uint32_t)packed.size());
        Bytes_PutU32(e + 28, (uint32_t)res.content.size());
        data->insert(data->end(), packed.begin(), packed.end());
    }
}


// --- the demo world's library ---

static std::vector<uint8_t> Picture(int w, int h, const std::vector<uint8_t>& pixels)
{
    std::vector<uint8_t> b(8, 0);
    Bytes_PutU16(&b[4], (uint32_t)w);
    Bytes_PutU16(&b[6], (uint32_t)h);
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

static MKSHELLRES Image(const char* name, int w, int h, const std::vector<uint8_t>& pixels)
{
    return MKSHELLRES{name, SHELLRES_FLT, Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_PIXL, Picture(w, h, pixels)}})};
}

// A page: dark greys darkening downwards, a band at the top in the page's
// own colour under its title, and a frame. The band's line runs at y =
// bottom: the campaign's pages keep it above their top button's label,
// their titles and the launch page's text box.
static MKSHELLRES Background(const char* name, uint8_t band, const std::vector<uint8_t>& palette, int bottom = 34)
{
    const int w = 640, h = 480;
    std::vector<uint8_t> px((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint8_t c = (uint8_t)(MKPAL_GREYS + 3 - y * 3 / h);
            if (y < bottom) c = band;
            if (x < 2 || y < 2 || x >= w - 2 || y >= h - 2 || y == bottom) c = MKPAL_GREYS + 6;
            px[(size_t)y * w + x] = c;
        }
    return MKSHELLRES{name, SHELLRES_FLT,
                      Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_RGB3, palette}, {SHELLRES_PIXL, Picture(w, h, px)}})};
}

// A font strip: the top row holds the separator colour between glyphs (and
// nothing above them); each glyph is the demo shape and one blank column,
// padded to the font's height.
static MKSHELLRES FontStrip(const char* name, int height, uint8_t colour)
{
    const uint8_t SEPARATOR = MKPAL_GREYS;
    std::vector<int> widths(256);
    int w = 1;
    for (int c = 0; c < 256; c++) {
        uint8_t rows[8];
        GenFonts_Shape(c, rows);
        int any = 0;
        for (int r = 0; r < 8; r++) any |= rows[r];
        widths[c] = c == ' ' ? 4 : any ? 6 : 0;
        w += widths[c] + 1;
    }
    std::vector<uint8_t> px((size_t)w * height, 0);
    int top = 1 + (height - 9) / 2, x = 0;
    px[0] = SEPARATOR;
    x = 1;
    for (int c = 0; c < 256; c++) {
        uint8_t rows[8];
        GenFonts_Shape(c, rows);
        for (int r = 0; r < 8 && widths[c] == 6; r++)
            for (int k = 0; k < 5; k++)
                if (rows[r] & (0x10 >> k)) px[(size_t)(top + r) * w + x + k] = colour;
        x += widths[c];
        px[x++] = SEPARATOR;
    }
    return Image(name, w, height, px);
}

// A strip of five 16 x 16 frames: up arrow, pressed, thumb, down arrow,
// pressed.
static MKSHELLRES ScrollStrip(const char* name, uint8_t face)
{
    const int s = 16;
    std::vector<uint8_t> px((size_t)s * s * 5, face);
    for (int f = 0; f < 5; f++) {
        int pressed = f == 1 || f == 4;
        for (int y = 0; y < s; y++)
            for (int x = 0; x < s; x++) {
                uint8_t& p = px[(size_t)(f * s + y) * s + x];
                if (x == 0 || y == 0 || x == s - 1 || y == s - 1) p = pressed ? MKPAL_GREYS : MKPAL_WHITE;
                int dy = f < 2 ? y - 4 : y - 6, half = f < 2 ? dy : 7 - dy;
                if (f != 2 && dy >= 0 && dy < 7 && x >= 8 - half / 2 - 1 && x <= 8 + half / 2) p = MKPAL_WHITE;
            }
    }
    return Image(name, s, s * 5, px);
}

// The campaign map's mission marks: four 20 x 20 frames, one above the
// other, for no side won, the second side won, the first side won, both
// won; a won side fills its half (left the first, right the second) in its
// colour, as the side logos turn to theirs.
static MKSHELLRES MissionMarks(void)
{
    const int s = 20;
    std::vector<uint8_t> px((size_t)s * s * 4);
    for (int f = 0; f < 4; f++) {
        const bool first = f & 2, second = f & 1;
        for (int y = 0; y < s; y++)
            for (int x = 0; x < s; x++) {
                uint8_t p = MKPAL_GREYS + 5;
                if (x < s / 2 && first) p = (uint8_t)(MKPAL_TEAMS + 0 * 8 + 4);
                if (x >= s / 2 && second) p = (uint8_t)(MKPAL_TEAMS + 1 * 8 + 4);
                if (x == 0 || y == 0 || x == s - 1 || y == s - 1) p = f ? MKPAL_WHITE : MKPAL_GREYS + 2;
                px[(size_t)(f * s + y) * s + x] = p;
            }
    }
    return Image("m_state", s, s * 4, px);
}

void Mkdata_ShellDemoResources(std::vector<MKSHELLRES>* out)
{
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    std::vector<uint8_t> palette(SHELLRES_PALETTE_SIZE);
    for (int i = 0; i < 256; i++) {
        palette[3 * i] = pal.colours[i].r;
        palette[3 * i + 1] = pal.colours[i].g;
        palette[3 * i + 2] = pal.colours[i].b;
    }
    static const struct {
        const char* name;
        int team;
    } PAGES[] = {{"main", 1}, {"single", 2}, {"custom", 5}, {"cdebrief", 4},
                 {"instant", 0}, {"credits", 6}, {"loadgame", 3}};
    for (const auto& p : PAGES) out->push_back(Background(p.name, (uint8_t)(MKPAL_TEAMS + 8 * p.team + 2), palette));
    // The campaign's pages.
    static const struct {
        const char* name;
        int team;
    } CAMPAIGN[] = {{"return", 0}, {"bridge", 1}, {"missions", 2}, {"options", 3}, {"archive", 4},
                    {"story", 5},  {"training", 6}, {"brief_a", 0}, {"brief_s", 1}, {"debrief", 7}};
    for (const auto& p : CAMPAIGN)
        out->push_back(Background(p.name, (uint8_t)(MKPAL_TEAMS + 8 * p.team + 2), palette, 16));
    static const struct {
        const char* name;
        int height;
        uint8_t colour;
    } FONTS[] = {{"font12", 12, MKPAL_GREYS + 9},  {"font14", 14, MKPAL_GREYS + 8},
                 {"font14n", 14, MKPAL_GREYS + 8}, {"font14o", 14, 14},
                 {"font14s", 14, MKPAL_WHITE},      {"font16", 16, MKPAL_WHITE},
                 // The "r" fonts name the mission on the pages' greys: the sand
                 // ramp's top reads there at 5:1 (the red team's top at 1.6:1).
                 {"font14r", 14, MKPAL_TERRAIN + MKPAL_RAMP - 1},
                 {"font16r", 16, MKPAL_TERRAIN + MKPAL_RAMP - 1},
                 {"font12bn", 12, MKPAL_GREYS + 8}, {"font12bo", 12, 14},
                 {"font12bs", 12, MKPAL_WHITE}};
    for (const auto& f : FONTS) out->push_back(FontStrip(f.name, f.height, f.colour));
    out->push_back(ScrollStrip("scroll", MKPAL_GREYS + 3));
    out->push_back(ScrollStrip("scrollb", MKPAL_GREYS + 2));
    static const struct {
        const char* name;
        int w, h;
    } NAV[] = {{"cube_up", 60, 30}, {"cube_dn", 60, 30}, {"cube_lft", 30, 60},
               {"cube_rgt", 30, 60}, {"m_down", 60, 30}};
    for (const auto& n : NAV)
        out->push_back(Image(n.name, n.w, n.h, std::vector<uint8_t>((size_t)n.w * n.h, MKPAL_GREYS + 5)));
    out->push_back(MissionMarks());
    // The campaign pages' images, shown while their buttons are pressed; the
    // side logos are strips of two frames, grey and then in the side's colour
    // once it won the mission.
    static const struct {
        const char* name;
        int w, h, team;
    } PRESSED[] = {{"m_basic", 150, 65, 2},   {"m_adv", 150, 65, 3},     {"o_btn1", 150, 32, 3},
                   {"o_btn2", 150, 32, 3},    {"o_btn3", 150, 32, 3},    {"o_quittm", 238, 66, 4},
                   {"o_quitt95", 238, 66, 4}, {"s_logoaw", 56, 90, 0},   {"s_logoso", 56, 90, 1},
                   {"t_one", 210, 55, 5},     {"t_two", 210, 55, 5},     {"ba_lnch", 160, 55, 0},
                   {"bs_lnch", 110, 70, 1},   {"a_left", 80, 40, 6},     {"a_right", 80, 40, 6}};
    for (const auto& n : PRESSED)
        out->push_back(Image(n.name, n.w, n.h,
                             std::vector<uint8_t>((size_t)n.w * n.h, (uint8_t)(MKPAL_TEAMS + 8 * n.team + 4))));
    for (int side = 0; side < 2; side++) {
        std::vector<uint8_t> px((size_t)45 * 80, MKPAL_GREYS + 4);
        std::fill(px.begin() + 45 * 40, px.end(), (uint8_t)(MKPAL_TEAMS + 8 * side + 4));
        out->push_back(Image(side ? "m_slogo2" : "m_alogo2", 45, 80, px));
    }
}

#ifndef MKDATA_FUNCTIONS_ONLY
#include "mkdata.h"

// fuzz_shellres takes a u32 index length, the index, then the data file.
static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_shellres") return 1;
    std::vector<uint8_t> pixl(8 + 6 * 4, 9), palette(768);
    Bytes_PutU16(&pixl[4], 6);
    Bytes_PutU16(&pixl[6], 4);
    for (size_t i = 0; i < palette.size(); i++) palette[i] = (uint8_t)(i / 3);
    std::vector<MKSHELLRES> res = {
        {"main", SHELLRES_FLT,
         Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_RGB3, palette}, {SHELLRES_PIXL, pixl}})},
        {"scroll", SHELLRES_FLT, Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_PIXL, pixl}})},
        {"main", SHELLRES_PIXL, Mkdata_ShellContainer(SHELLRES_FLT, {})},
    };
    std::vector<uint8_t> index, data, seed(4);
    Mkdata_ShellLibrary(res, &index, &data);
    Bytes_PutU32(seed.data(), (uint32_t)index.size());
    seed.insert(seed.end(), index.begin(), index.end());
    seed.insert(seed.end(), data.begin(), data.end());
    return Mkdata_MakeDirs(dir) && Mkdata_WriteFile(dir + "/library.bin", seed.data(), seed.size());
}

// The front end's library: "data\\shell\\shell.rli" and "shell.rld".
static int Demo(const std::string& rundir)
{
    std::vector<MKSHELLRES> res;
    Mkdata_ShellDemoResources(&res);
    std::vector<uint8_t> index, data;
    Mkdata_ShellLibrary(res, &index, &data);
    std::string dir = rundir + "/data/shell";
    return Mkdata_MakeDirs(dir) && Mkdata_WriteFile(dir + "/shell.rli", index.data(), index.size()) &&
           Mkdata_WriteFile(dir + "/shell.rld", data.data(), data.size());
}

MKDATA_REGISTER(shellres, "shellres", Demo, Seeds);
#endif
