// The palette, the colour match and the colour tables built from them.
//
// Every table is made the same way: a colour computed from the palette's
// 8-bit channels, brought to 15 bits and looked up in the colour-match
// table. That table (32768 entries) is the one costly piece; it depends only
// on the entries a match may choose, so the flashing entries, which change
// every few frames, neither take part in it nor cause it to be rebuilt.
#include "platform/palette.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/bytes.h"
#include "core/debug.h"
#include "core/fspath.h"
#include "core/tlog.h"

PAL_RGB g_Palette[256];
uint32_t g_PaletteVersion;
PALINFO g_PalInfo;

uint8_t g_TeamRemap[8][256];
uint8_t g_TranslucentTable[256];
uint8_t g_HighlightTable[256];
uint8_t g_DimTable[256];
uint8_t g_TitleTextTable[256];
uint8_t g_BlendTables[BLEND_LEVELS][256][256];
uint8_t g_ShadeTable[256][256];
uint8_t g_GreyRemap[256];

static const char PALS_MAGIC[4] = {'P', 'A', 'L', 'S'};

// --------------------------------------------------------- setting and reading

// The part of [first, first + count) inside the palette; 0 when empty.
static int pal_Range(int first, int count, int* lo, int* hi)
{
    int64_t a = std::max<int64_t>(first, 0), b = std::min<int64_t>((int64_t)first + count, 256);
    *lo = (int)a;
    *hi = (int)b;
    return a < b;
}

void Graph_SetPalette(const uint8_t* rgb6, int first, int count)
{
    int lo, hi;
    if (!rgb6 || !pal_Range(first, count, &lo, &hi)) return;
    for (int i = lo; i < hi; i++) {
        const uint8_t* e = rgb6 + (size_t)(i - first) * 3;
        g_Palette[i] = PAL_RGB{(uint8_t)((e[0] & 63) * 4), (uint8_t)((e[1] & 63) * 4),
                               (uint8_t)((e[2] & 63) * 4)};
    }
    g_PaletteVersion++;
}

void Video_SetPalette(const uint8_t* entries, int first, int count)
{
    int lo, hi;
    if (!entries || !pal_Range(first, count, &lo, &hi)) return;
    for (int i = lo; i < hi; i++) {
        const uint8_t* e = entries + (size_t)(i - first) * 4;
        g_Palette[i] = PAL_RGB{e[0], e[1], e[2]};
    }
    g_PaletteVersion++;
}

void Graph_GetPalette(uint8_t* rgb, int first, int count)
{
    int lo, hi;
    if (!rgb || !pal_Range(first, count, &lo, &hi)) return;
    for (int i = lo; i < hi; i++) {
        uint8_t* e = rgb + (size_t)(i - first) * 3;
        e[0] = g_Palette[i].r;
        e[1] = g_Palette[i].g;
        e[2] = g_Palette[i].b;
    }
}

// ------------------------------------------------------------- colour match

static uint8_t s_Match[32768];
static PAL_RGB s_MatchFrom[256]; // the palette the table was built from
static uint32_t s_MatchVersion;
static int s_MatchBuilt;

static int pal_Candidate(int i)
{
    return i != 0 && (i < PAL_FLASH_FIRST || i >= PAL_FLASH_FIRST + PAL_FLASH_COUNT);
}

static int pal_Expand5(int c5) { return (c5 * 255 + 15) / 31; }

uint16_t Graph_Rgb15(int r, int g, int b)
{
    auto five = [](int c) { return (std::clamp(c, 0, 255) * 31 + 127) / 255; };
    return (uint16_t)(five(r) << 10 | five(g) << 5 | five(b));
}

static int pal_CandidatesChanged(void)
{
    for (int i = 0; i < 256; i++) {
        if (!pal_Candidate(i)) continue;
        const PAL_RGB &a = g_Palette[i], &b = s_MatchFrom[i];
        if (a.r != b.r || a.g != b.g || a.b != b.b) return 1;
    }
    return 0;
}

// Keys are distance << 8 | index: the least key is the nearest colour with
// ties going to the lower index, and the inner loop is a plain minimum over
// four candidates a step. Unused slots hold keys larger than any distance.
typedef int32_t PAL_V4 __attribute__((vector_size(16)));
enum { PAL_SLOTS = 256 / 4, PAL_NOKEY = 0x7FFFFFFF / 2 };

static void pal_BuildMatch(void)
{
    alignas(16) int32_t cr[256], cg[256], cb[256], idx[256];
    int n = 0;
    for (int i = 0; i < 256; i++) {
        if (!pal_Candidate(i)) continue;
        cr[n] = g_Palette[i].r;
        cg[n] = g_Palette[i].g;
        cb[n] = g_Palette[i].b;
        idx[n] = i;
        n++;
    }
    int slots = (n + 3) / 4;
    static PAL_V4 keyb[32][PAL_SLOTS];
    for (int b5 = 0; b5 < 32; b5++) {
        int B = pal_Expand5(b5);
        alignas(16) int32_t k[256];
        for (int c = 0; c < 4 * slots; c++)
            k[c] = c < n ? ((B - cb[c]) * (B - cb[c])) << 8 | idx[c] : PAL_NOKEY;
        memcpy(keyb[b5], k, sizeof(PAL_V4) * slots);
    }
    alignas(16) int32_t dr[256];
    PAL_V4 drg[PAL_SLOTS];
    for (int r5 = 0; r5 < 32; r5++) {
        int R = pal_Expand5(r5);
        for (int c = 0; c < n; c++) dr[c] = (R - cr[c]) * (R - cr[c]);
        for (int g5 = 0; g5 < 32; g5++) {
            int G = pal_Expand5(g5);
            alignas(16) int32_t rg[256] = {};
            for (int c = 0; c < n; c++) rg[c] = (dr[c] + (G - cg[c]) * (G - cg[c])) << 8;
            memcpy(drg, rg, sizeof(PAL_V4) * slots);
            uint8_t* out = &s_Match[r5 << 10 | g5 << 5];
            for (int b5 = 0; b5 < 32; b5++) {
                const PAL_V4* kb = keyb[b5];
                PAL_V4 best = drg[0] + kb[0];
                for (int k = 1; k < slots; k++) {
                    PAL_V4 v = drg[k] + kb[k];
                    best = v < best ? v : best;
                }
                int32_t m = std::min(std::min(best[0], best[1]), std::min(best[2], best[3]));
                out[b5] = (uint8_t)(m & 0xFF);
            }
        }
    }
    memcpy(s_MatchFrom, g_Palette, sizeof s_MatchFrom);
    s_MatchBuilt = 1;
}

static void pal_EnsureMatch(void)
{
    if (s_MatchBuilt && s_MatchVersion == g_PaletteVersion) return;
    s_MatchVersion = g_PaletteVersion;
    if (s_MatchBuilt && !pal_CandidatesChanged()) return;
    pal_BuildMatch();
}

uint8_t Graph_ColourMatch(uint16_t rgb15)
{
    pal_EnsureMatch();
    return s_Match[rgb15 & 0x7FFF];
}

static inline uint8_t pal_Match(int r, int g, int b) { return s_Match[Graph_Rgb15(r, g, b)]; }

// ------------------------------------------------------------- colour tables

void Display_BuildColourTables(void)
{
    pal_EnsureMatch();
    for (int i = 0; i < 256; i++) {
        int r = g_Palette[i].r, g = g_Palette[i].g, b = g_Palette[i].b;
        int lum = (77 * r + 150 * g + 29 * b) / 256;
        g_TranslucentTable[i] = pal_Match((r + 32) / 2, (g + 40) / 2, (b + 56) / 2);
        g_HighlightTable[i] = pal_Match(r + r / 4, g + g / 4, b + b / 4);
        g_DimTable[i] = pal_Match(r / 2, g / 2, b / 2);
        g_TitleTextTable[i] = pal_Match(lum, lum * 13 / 16, lum / 4);
        g_GreyRemap[i] =
            (uint8_t)(int)((0.4f * (float)r + 0.4f * (float)g + 0.2f * (float)b) / 4.0f);
    }
    g_TranslucentTable[0] = g_HighlightTable[0] = g_DimTable[0] = g_TitleTextTable[0] = 0;

    for (int l = 0; l < BLEND_LEVELS; l++) {
        int a = l + 1, o = BLEND_LEVELS - l;
        for (int s = 0; s < 256; s++) {
            const PAL_RGB& S = g_Palette[s];
            uint8_t* row = g_BlendTables[l][s];
            for (int d = 0; d < 256; d++) {
                const PAL_RGB& D = g_Palette[d];
                row[d] = pal_Match((S.r * a + D.r * o + 2) / 5, (S.g * a + D.g * o + 2) / 5,
                                   (S.b * a + D.b * o + 2) / 5);
            }
        }
    }

    for (int shade = 0; shade < 256; shade++) {
        uint8_t* row = g_ShadeTable[shade];
        row[0] = 0;
        for (int c = 1; c < 256; c++) {
            const PAL_RGB& C = g_Palette[c];
            row[c] = shade == 128
                         ? (uint8_t)c
                         : pal_Match(C.r * shade / 128, C.g * shade / 128, C.b * shade / 128);
        }
    }
}

void Display_BuildTeamRemaps(void)
{
    for (int c = 0; c < 8; c++) {
        for (int i = 0; i < 256; i++) g_TeamRemap[c][i] = (uint8_t)i;
        int shift = 8 * g_PalInfo.teamcolour[c];
        for (int i = 32; i <= 41; i++) g_TeamRemap[c][i] = (uint8_t)std::min(255, i + shift);
    }
}

void Display_ApplyPalette(void)
{
    memcpy(g_Palette, g_PalInfo.colours, sizeof g_Palette);
    g_PaletteVersion++;
    Display_BuildColourTables();
    Display_BuildTeamRemaps();
}

// ---------------------------------------------------------- flashing colours

static const PAL_RGB FLASH_BRIGHT[3] = {{255, 0, 0}, {0, 255, 0}, {255, 255, 255}};
static const PAL_RGB FLASH_DARK[3] = {{128, 0, 0}, {0, 128, 0}, {128, 128, 128}};

// Writes the six entries for a phase; bumps the version only on a change.
static void pal_SetFlashPhase(int phase)
{
    int changed = 0;
    for (int p = 0; p < 3; p++) {
        for (int k = 0; k < 2; k++) {
            const PAL_RGB& want = (k == phase) ? FLASH_BRIGHT[p] : FLASH_DARK[p];
            PAL_RGB& e = g_Palette[PAL_FLASH_FIRST + 2 * p + k];
            if (e.r != want.r || e.g != want.g || e.b != want.b) {
                e = want;
                changed = 1;
            }
        }
    }
    if (changed) g_PaletteVersion++;
}

void Display_SetFlashColours(void) { pal_SetFlashPhase(0); }

void Display_CycleFlashColours(uint32_t frame) { pal_SetFlashPhase((int)((frame >> 3) & 1)); }

// ------------------------------------------------------------------ PALS files

static int pal_Refuse(const char* path, size_t offset, const char* what)
{
    TLOG(TLOG_ERROR, "Bad palette file [%s] at offset %zu: %s", Fs_Resolve(path).c_str(), offset, what);
    return 0;
}

int Palstuff_LoadInfo(const char* path)
{
    if (!path) return 0;
    FILE* f = Fs_Open(path, "rb");
    if (!f) {
        TLOG(TLOG_ERROR, "Unable to open palette file [%s]", Fs_Resolve(path).c_str());
        return 0;
    }
    // One byte more than a good file holds tells a long file from a good one.
    uint8_t buf[PALS_FILE_SIZE + 1];
    size_t n = fread(buf, 1, sizeof buf, f);
    int failed = ferror(f);
    fclose(f);
    if (failed) {
        TLOG(TLOG_ERROR, "Unable to read palette file [%s]", Fs_Resolve(path).c_str());
        return 0;
    }
    if (n < 4) return pal_Refuse(path, n, "the file ends before the magic PALS");
    if (memcmp(buf, PALS_MAGIC, 4) != 0) return pal_Refuse(path, 0, "expected the magic PALS");
    if (n < 8) return pal_Refuse(path, n, "the file ends inside the version");
    if (Bytes_U32(buf + 4) != PALS_VERSION) return pal_Refuse(path, 4, "expected version 0x100");
    if (n < 776)
        return pal_Refuse(path, n, "the file ends inside the colours (784 bytes expected)");
    if (n < PALS_FILE_SIZE)
        return pal_Refuse(path, n, "the file ends inside the team colours (784 bytes expected)");
    if (n > PALS_FILE_SIZE) return pal_Refuse(path, PALS_FILE_SIZE, "bytes after the team colours");

    for (int i = 0; i < 256; i++)
        g_PalInfo.colours[i] = PAL_RGB{buf[8 + 3 * i], buf[9 + 3 * i], buf[10 + 3 * i]};
    memcpy(g_PalInfo.teamcolour, buf + 776, 8);
    return 1;
}

int Palstuff_Write(const char* path, const PALINFO* info)
{
    if (!path || !info) return 0;
    uint8_t buf[PALS_FILE_SIZE];
    memcpy(buf, PALS_MAGIC, 4);
    uint32_t v = PALS_VERSION;
    for (int k = 0; k < 4; k++) buf[4 + k] = (uint8_t)(v >> (8 * k));
    for (int i = 0; i < 256; i++) {
        buf[8 + 3 * i] = info->colours[i].r;
        buf[9 + 3 * i] = info->colours[i].g;
        buf[10 + 3 * i] = info->colours[i].b;
    }
    memcpy(buf + 776, info->teamcolour, 8);
    if (Fs_WriteAtomic(path, buf, sizeof buf)) return 1;
    TLOG(TLOG_ERROR, "Unable to write to file [%s]", Fs_Resolve(path).c_str());
    return 0;
}
