// The demo fonts: three looks drawn from one shape table made by hand here.
//
//   font8a.pcx    the shapes as they are: 8 rows, one colour
//   font256a.pcx  emboldened with a drop shadow: 11 rows
//   font256b.pcx  stretched tall, shaded top to bottom, outlined: 12 rows
//
// Every cell is trimmed to its shape's columns plus spacing, so the fonts are
// proportional. Characters 32..255 all get a cell (docs/formats.md, "Font
// images"): the Latin-1 letters are composed from a base letter and an
// accent, and the codes with no shape are blank cells as wide as the space.
//
// Built with tests as well (MKDATA_FUNCTIONS_ONLY), where mkdata's
// registration isn't linked.
#include "gen_fonts.h"

#include <cstring>
#include <vector>

#include "platform/graph.h"
#include "platform/palette.h"
#include "platform/pcx.h"

// Rows top to bottom, bit 4 the leftmost column. Capitals and digits use rows
// 0..6, the lower case body rows 2..6, descenders row 7.
static const uint8_t s_Ascii[95][8] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, // space
    {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04, 0x00}, // !
    {0x0A, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, // "
    {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A, 0x00}, // #
    {0x04, 0x0F, 0x14, 0x0E, 0x05, 0x1E, 0x04, 0x00}, // $
    {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03, 0x00}, // %
    {0x0C, 0x12, 0x14, 0x08, 0x15, 0x12, 0x0D, 0x00}, // &
    {0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, // '
    {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02, 0x00}, // (
    {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08, 0x00}, // )
    {0x00, 0x04, 0x15, 0x0E, 0x15, 0x04, 0x00, 0x00}, // *
    {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00, 0x00}, // +
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x04, 0x08}, // ,
    {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00, 0x00}, // -
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C, 0x00}, // .
    {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00, 0x00}, // /
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E, 0x00}, // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E, 0x00}, // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F, 0x00}, // 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E, 0x00}, // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02, 0x00}, // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E, 0x00}, // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E, 0x00}, // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08, 0x00}, // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E, 0x00}, // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C, 0x00}, // 9
    {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00, 0x00}, // :
    {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x04, 0x08, 0x00}, // ;
    {0x02, 0x04, 0x08, 0x10, 0x08, 0x04, 0x02, 0x00}, // <
    {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00, 0x00}, // =
    {0x08, 0x04, 0x02, 0x01, 0x02, 0x04, 0x08, 0x00}, // >
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04, 0x00}, // ?
    {0x0E, 0x11, 0x01, 0x0D, 0x15, 0x15, 0x0E, 0x00}, // @
    {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x00}, // A
    {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E, 0x00}, // B
    {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E, 0x00}, // C
    {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C, 0x00}, // D
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F, 0x00}, // E
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10, 0x00}, // F
    {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F, 0x00}, // G
    {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11, 0x00}, // H
    {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E, 0x00}, // I
    {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C, 0x00}, // J
    {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11, 0x00}, // K
    {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F, 0x00}, // L
    {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11, 0x00}, // M
    {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11, 0x00}, // N
    {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E, 0x00}, // O
    {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10, 0x00}, // P
    {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D, 0x00}, // Q
    {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11, 0x00}, // R
    {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E, 0x00}, // S
    {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x00}, // T
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E, 0x00}, // U
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04, 0x00}, // V
    {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A, 0x00}, // W
    {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11, 0x00}, // X
    {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x00}, // Y
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F, 0x00}, // Z
    {0x0E, 0x08, 0x08, 0x08, 0x08, 0x08, 0x0E, 0x00}, // [
    {0x00, 0x10, 0x08, 0x04, 0x02, 0x01, 0x00, 0x00}, // backslash
    {0x0E, 0x02, 0x02, 0x02, 0x02, 0x02, 0x0E, 0x00}, // ]
    {0x04, 0x0A, 0x11, 0x00, 0x00, 0x00, 0x00, 0x00}, // ^
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F}, // _
    {0x08, 0x04, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00}, // `
    {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F, 0x00}, // a
    {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1E, 0x00}, // b
    {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E, 0x00}, // c
    {0x01, 0x01, 0x0D, 0x13, 0x11, 0x11, 0x0F, 0x00}, // d
    {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E, 0x00}, // e
    {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08, 0x00}, // f
    {0x00, 0x00, 0x0F, 0x11, 0x11, 0x0F, 0x01, 0x0E}, // g
    {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11, 0x00}, // h
    {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E, 0x00}, // i
    {0x02, 0x00, 0x06, 0x02, 0x02, 0x02, 0x12, 0x0C}, // j
    {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12, 0x00}, // k
    {0x0C, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E, 0x00}, // l
    {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11, 0x00}, // m
    {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11, 0x00}, // n
    {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E, 0x00}, // o
    {0x00, 0x00, 0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10}, // p
    {0x00, 0x00, 0x0F, 0x11, 0x11, 0x0F, 0x01, 0x01}, // q
    {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10, 0x00}, // r
    {0x00, 0x00, 0x0F, 0x10, 0x0E, 0x01, 0x1E, 0x00}, // s
    {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06, 0x00}, // t
    {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D, 0x00}, // u
    {0x00, 0x00, 0x11, 0x11, 0x11, 0x0A, 0x04, 0x00}, // v
    {0x00, 0x00, 0x11, 0x11, 0x15, 0x15, 0x0A, 0x00}, // w
    {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x00}, // x
    {0x00, 0x00, 0x11, 0x11, 0x11, 0x0F, 0x01, 0x0E}, // y
    {0x00, 0x00, 0x1F, 0x02, 0x04, 0x08, 0x1F, 0x00}, // z
    {0x02, 0x04, 0x04, 0x08, 0x04, 0x04, 0x02, 0x00}, // {
    {0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x00}, // |
    {0x08, 0x04, 0x04, 0x02, 0x04, 0x04, 0x08, 0x00}, // }
    {0x00, 0x00, 0x08, 0x15, 0x02, 0x00, 0x00, 0x00}, // ~
};

// Latin-1 signs and letters that aren't a base letter with an accent.
struct GENFONT_EXTRA {
    int c;
    uint8_t rows[8];
};
static const GENFONT_EXTRA s_Extra[] = {
    {161, {0x04, 0x00, 0x04, 0x04, 0x04, 0x04, 0x04, 0x00}}, // inverted !
    {171, {0x00, 0x05, 0x0A, 0x14, 0x0A, 0x05, 0x00, 0x00}}, // <<
    {176, {0x0C, 0x12, 0x12, 0x0C, 0x00, 0x00, 0x00, 0x00}}, // degree
    {187, {0x00, 0x14, 0x0A, 0x05, 0x0A, 0x14, 0x00, 0x00}}, // >>
    {191, {0x04, 0x00, 0x04, 0x08, 0x10, 0x11, 0x0E, 0x00}}, // inverted ?
    {198, {0x0F, 0x14, 0x14, 0x1F, 0x14, 0x14, 0x17, 0x00}}, // AE
    {208, {0x1C, 0x12, 0x11, 0x19, 0x11, 0x12, 0x1C, 0x00}}, // ETH
    {215, {0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x00, 0x00}}, // multiplication
    {216, {0x0E, 0x13, 0x13, 0x15, 0x19, 0x19, 0x0E, 0x00}}, // O stroke
    {222, {0x10, 0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x00}}, // THORN
    {223, {0x0C, 0x12, 0x12, 0x16, 0x11, 0x11, 0x16, 0x10}}, // sharp s
    {230, {0x00, 0x00, 0x1A, 0x05, 0x1F, 0x14, 0x0B, 0x00}}, // ae
    {240, {0x0A, 0x04, 0x0A, 0x01, 0x0F, 0x11, 0x0E, 0x00}}, // eth
    {247, {0x00, 0x04, 0x00, 0x1F, 0x00, 0x04, 0x00, 0x00}}, // division
    {248, {0x00, 0x00, 0x0E, 0x13, 0x15, 0x19, 0x0E, 0x00}}, // o stroke
    {254, {0x10, 0x10, 0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10}}, // thorn
};

enum { ACC_NONE, ACC_GRAVE, ACC_ACUTE, ACC_CIRC, ACC_TILDE, ACC_DIAER, ACC_RING, ACC_CEDILLA };

// Base letter and accent of 192..255 (0: the letter is in s_Extra).
static const struct {
    char base;
    uint8_t accent;
} s_Accented[64] = {
    {'A', ACC_GRAVE}, {'A', ACC_ACUTE}, {'A', ACC_CIRC}, {'A', ACC_TILDE},          // 192
    {'A', ACC_DIAER}, {'A', ACC_RING},  {0, 0},         {'C', ACC_CEDILLA},         // 196
    {'E', ACC_GRAVE}, {'E', ACC_ACUTE}, {'E', ACC_CIRC}, {'E', ACC_DIAER},          // 200
    {'I', ACC_GRAVE}, {'I', ACC_ACUTE}, {'I', ACC_CIRC}, {'I', ACC_DIAER},          // 204
    {0, 0},           {'N', ACC_TILDE}, {'O', ACC_GRAVE}, {'O', ACC_ACUTE},         // 208
    {'O', ACC_CIRC},  {'O', ACC_TILDE}, {'O', ACC_DIAER}, {0, 0},                   // 212
    {0, 0},           {'U', ACC_GRAVE}, {'U', ACC_ACUTE}, {'U', ACC_CIRC},          // 216
    {'U', ACC_DIAER}, {'Y', ACC_ACUTE}, {0, 0},         {0, 0},                     // 220
    {'a', ACC_GRAVE}, {'a', ACC_ACUTE}, {'a', ACC_CIRC}, {'a', ACC_TILDE},          // 224
    {'a', ACC_DIAER}, {'a', ACC_RING},  {0, 0},         {'c', ACC_CEDILLA},         // 228
    {'e', ACC_GRAVE}, {'e', ACC_ACUTE}, {'e', ACC_CIRC}, {'e', ACC_DIAER},          // 232
    {'i', ACC_GRAVE}, {'i', ACC_ACUTE}, {'i', ACC_CIRC}, {'i', ACC_DIAER},          // 236
    {0, 0},           {'n', ACC_TILDE}, {'o', ACC_GRAVE}, {'o', ACC_ACUTE},         // 240
    {'o', ACC_CIRC},  {'o', ACC_TILDE}, {'o', ACC_DIAER}, {0, 0},                   // 244
    {0, 0},           {'u', ACC_GRAVE}, {'u', ACC_ACUTE}, {'u', ACC_CIRC},          // 248
    {'u', ACC_DIAER}, {'y', ACC_ACUTE}, {0, 0},         {'y', ACC_DIAER},           // 252
};

// Accents over the lower case (rows 0 and 1, above its body) and the one row
// a capital leaves free once its row 5 (most letters repeat row 4 there) is
// dropped.
static const uint8_t s_AccentSmall[8][2] = {
    {0, 0}, {0x08, 0x04}, {0x02, 0x04}, {0x04, 0x0A}, {0x0D, 0x16}, {0x0A, 0x00}, {0x04, 0x0A}, {0, 0},
};
static const uint8_t s_AccentCapital[8] = {0, 0x0C, 0x06, 0x0E, 0x0D, 0x0A, 0x04, 0};

void GenFonts_Shape(int c, uint8_t rows[8])
{
    memset(rows, 0, 8);
    c &= 0xFF;
    if (c >= 32 && c <= 126) {
        memcpy(rows, s_Ascii[c - 32], 8);
        return;
    }
    for (const GENFONT_EXTRA& e : s_Extra)
        if (e.c == c) {
            memcpy(rows, e.rows, 8);
            return;
        }
    if (c < 192 || !s_Accented[c - 192].base) return;
    int base = s_Accented[c - 192].base, accent = s_Accented[c - 192].accent;
    const uint8_t* letter = s_Ascii[base - 32];
    memcpy(rows, letter, 8);
    if (accent == ACC_CEDILLA) {
        rows[7] = 0x04;
    } else if (base >= 'a') {
        if (base == 'i') rows[0] = 0; // the accent takes the dot's place
        rows[0] |= s_AccentSmall[accent][0];
        rows[1] |= s_AccentSmall[accent][1];
    } else {
        static const int keep[6] = {0, 1, 2, 3, 4, 6};
        rows[0] = s_AccentCapital[accent];
        for (int r = 0; r < 6; r++) rows[r + 1] = letter[keep[r]];
    }
}

// The nearest palette entry to a colour, index 0 (transparent) excluded.
static uint8_t Nearest(const PAL_RGB* palette, int r, int g, int b)
{
    int best = 1;
    long bestd = -1;
    for (int i = 1; i < 256; i++) {
        if (i >= 16 && i <= 21) continue; // the flashing entries change at run time
        long dr = palette[i].r - r, dg = palette[i].g - g, db = palette[i].b - b;
        long d = dr * dr + dg * dg + db * db;
        if (bestd < 0 || d < bestd) {
            bestd = d;
            best = i;
        }
    }
    return (uint8_t)best;
}

// One character's cell before it goes into the strip.
struct GENFONT_CELL {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
    void Init(int cw, int ch)
    {
        w = cw;
        h = ch;
        px.assign((size_t)cw * ch, 0);
    }
    uint8_t& At(int x, int y) { return px[(size_t)y * w + x]; }
};

struct GENFONT_LOOK {
    int height;      // glyph rows
    int blank;       // width of the space and the blank cells
    int extra;       // columns the look adds to the shape, spacing included
};
static const GENFONT_LOOK s_Looks[GENFONT_COUNT] = {{11, 5, 3}, {12, 5, 3}, {8, 4, 1}};

static void DrawCell(int kind, const uint8_t rows[8], int left, int shapew, const PAL_RGB* pal,
                     GENFONT_CELL* cell)
{
    const GENFONT_LOOK& look = s_Looks[kind];
    cell->Init(shapew + look.extra, look.height);
    auto bit = [&](int x, int r) { return x >= 0 && x < shapew && (rows[r] >> (4 - left - x) & 1); };
    if (kind == GENFONT_8A) {
        uint8_t ink = Nearest(pal, 255, 255, 255);
        for (int r = 0; r < 8; r++)
            for (int x = 0; x < shapew; x++)
                if (bit(x, r)) cell->At(x, r) = ink;
    } else if (kind == GENFONT_A) {
        // Each pixel doubled to the right, and the whole shape again one
        // pixel down and right in shadow underneath.
        uint8_t ink = Nearest(pal, 255, 255, 255), shade = Nearest(pal, 24, 24, 24);
        for (int r = 0; r < 8; r++)
            for (int x = 0; x < shapew; x++)
                if (bit(x, r)) cell->At(x + 1, r + 2) = cell->At(x + 2, r + 2) = shade;
        for (int r = 0; r < 8; r++)
            for (int x = 0; x < shapew; x++)
                if (bit(x, r)) cell->At(x, r + 1) = cell->At(x + 1, r + 1) = ink;
    } else {
        // Rows 2 and 4 doubled make the shape ten rows tall; the body goes
        // from light at the top to dark at the bottom inside a dark outline.
        static const int first[8] = {0, 1, 2, 4, 5, 7, 8, 9};
        static const int count[8] = {1, 1, 2, 1, 2, 1, 1, 1};
        const uint8_t tones[3] = {Nearest(pal, 255, 250, 200), Nearest(pal, 235, 190, 90),
                                  Nearest(pal, 190, 120, 40)};
        uint8_t edge = Nearest(pal, 40, 24, 8);
        for (int r = 0; r < 8; r++)
            for (int k = 0; k < count[r]; k++)
                for (int x = 0; x < shapew; x++)
                    if (bit(x, r)) cell->At(x + 1, first[r] + k + 1) = tones[r < 2 ? 0 : r < 5 ? 1 : 2];
        for (int y = 0; y < cell->h; y++)
            for (int x = 0; x < cell->w - 1; x++) {
                if (cell->At(x, y)) continue;
                bool near = false;
                for (int dy = -1; dy <= 1 && !near; dy++)
                    for (int dx = -1; dx <= 1 && !near; dx++) {
                        int nx = x + dx, ny = y + dy;
                        if (nx < 0 || ny < 0 || nx >= cell->w || ny >= cell->h) continue;
                        uint8_t p = cell->At(nx, ny);
                        near = p && p != edge;
                    }
                if (near) cell->At(x, y) = edge;
            }
    }
}

const char* GenFonts_Name(int kind)
{
    static const char* const names[GENFONT_COUNT] = {"font256a.pcx", "font256b.pcx", "font8a.pcx"};
    return kind >= 0 && kind < GENFONT_COUNT ? names[kind] : "";
}

int GenFonts_Build(int kind, const PAL_RGB* palette, BITMAP* out)
{
    if (kind < 0 || kind >= GENFONT_COUNT || !palette || !out) return 0;
    const GENFONT_LOOK& look = s_Looks[kind];
    std::vector<GENFONT_CELL> cells(224);
    int total = 0;
    for (int c = 32; c < 256; c++) {
        uint8_t rows[8];
        GenFonts_Shape(c, rows);
        int mask = 0;
        for (uint8_t r : rows) mask |= r;
        GENFONT_CELL& cell = cells[c - 32];
        if (!mask) {
            cell.Init(look.blank, look.height);
        } else {
            int left = 0, right = 4;
            while (!(mask >> (4 - left) & 1)) left++;
            while (!(mask >> (4 - right) & 1)) right--;
            DrawCell(kind, rows, left, right - left + 1, palette, &cell);
        }
        total += cell.w + 1; // one gap column after each cell
    }
    if (!Graph_InitBitmap(out, total, look.height + 1, nullptr)) return 0;
    const uint8_t marker = 255;
    int x = 0;
    for (GENFONT_CELL& cell : cells) {
        for (int i = 0; i < cell.w; i++) out->data[x + i] = marker;
        for (int y = 0; y < cell.h; y++)
            memcpy(out->data + (size_t)(y + 1) * out->x_size + x, &cell.px[(size_t)y * cell.w], cell.w);
        x += cell.w + 1;
    }
    return 1;
}

int GenFonts_WriteAll(const std::string& dir, const PAL_RGB* palette)
{
    for (int kind = 0; kind < GENFONT_COUNT; kind++) {
        BITMAP image{};
        if (!GenFonts_Build(kind, palette, &image)) return 0;
        std::string path = dir + "/" + GenFonts_Name(kind);
        int ok = Graph_SavePCX(path.c_str(), &image, palette);
        Graph_FreeBitmap(&image);
        if (!ok) return 0;
    }
    return 1;
}

#ifndef MKDATA_FUNCTIONS_ONLY
#include <cstdio>

#include "core/fspath.h"
#include "gen_palette.h"
#include "mkdata.h"

static int Demo(const std::string& rundir)
{
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    std::string dir = rundir + "/data/graphics/intface";
    if (!Mkdata_MakeDirs(dir)) return 0;
    if (GenFonts_WriteAll(dir, pal.colours)) return 1;
    fprintf(stderr, "mkdata: cannot write the fonts in [%s]\n", dir.c_str());
    return 0;
}

// The smallest demo font, a font of three cells and a font image cut short.
static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_font") return 1;
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    BITMAP image{};
    if (!GenFonts_Build(GENFONT_8A, pal.colours, &image)) return 0;
    int ok = Graph_SavePCX((dir + "/font8a.pcx").c_str(), &image, pal.colours);
    Graph_FreeBitmap(&image);
    // Row 0 marks cells of 2, 3 and 1 columns; the glyphs below use 0..3.
    static const uint8_t tiny[3][9] = {
        {9, 9, 0, 9, 9, 9, 0, 9, 0},
        {1, 0, 0, 2, 3, 2, 0, 1, 0},
        {0, 1, 0, 3, 0, 3, 0, 1, 0},
    };
    if (ok && Graph_InitBitmap(&image, 9, 3, nullptr)) {
        memcpy(image.data, tiny, sizeof tiny);
        ok = Graph_SavePCX((dir + "/tiny.pcx").c_str(), &image, pal.colours);
        Graph_FreeBitmap(&image);
    }
    std::string whole;
    if (ok && Fs_ReadAll((dir + "/tiny.pcx").c_str(), &whole))
        ok = Mkdata_WriteFile(dir + "/short.pcx", whole.data(), whole.size() / 2);
    if (!ok) fprintf(stderr, "mkdata: cannot write the seeds of %s in [%s]\n", target.c_str(), dir.c_str());
    return ok;
}

MKDATA_REGISTER(fonts, "fonts", Demo, Seeds);
#endif
