// The demo fonts, drawn in code from one hand-made 5 x 8 shape table.
#pragma once

#include <cstdint>
#include <string>

struct BITMAP;
struct PAL_RGB;

enum { GENFONT_A = 0, GENFONT_B = 1, GENFONT_8A = 2, GENFONT_COUNT = 3 };

// The file name of a generated font: "font256a.pcx", "font256b.pcx", "font8a.pcx".
const char* GenFonts_Name(int kind);
// The shape of character c (0..255) in the table: 8 rows of 5 bits, bit 4 the
// leftmost column; row 7 holds descenders. All zero for a blank character.
void GenFonts_Shape(int c, uint8_t rows[8]);
// Draws font kind as a font image (docs/formats.md, "Font images") into out,
// which it allocates; glyph colours are palette's nearest entries. 1 ok.
int GenFonts_Build(int kind, const PAL_RGB* palette, BITMAP* out);
// Writes the three fonts into dir (which must exist) with Graph_SavePCX; 1 ok.
int GenFonts_WriteAll(const std::string& dir, const PAL_RGB* palette);
