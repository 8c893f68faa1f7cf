// The font descriptor and the widget library's text drawing.
//
// A descriptor names a loaded font slot and the colour-remap table its
// glyphs go through (base + offset; a null base draws the glyphs as they
// are). Everything draws into the back buffer, and nothing without one.
// The printf forms cut their text at QITEXT_MAX characters.
#pragma once

#include <cstdint>

class IRect;

enum { QITEXT_MAX = 511 };

struct QIFont {
    int32_t slot;             // font slot, 0..15
    const uint8_t* remapBase; // null: no remap
    int32_t remapOffset;
};

// An explicit remap pair, in place of a descriptor's.
struct QIRemap {
    int32_t offset;
    const uint8_t* base;
};

// The glyph height of the descriptor's slot (0 for none).
int QI_FontHeight(const QIFont* font);
// The pixel width of text in the descriptor's slot (0 for none or null).
int QI_TextWidth(const QIFont* font, const char* text);

// text at (x, y) with the descriptor's remap, clipped to clip when given.
void QI_DrawText(const QIFont* font, int x, int y, const IRect* clip, const char* text);
void QI_DrawTextf(const QIFont* font, int x, int y, const IRect* clip, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
void QI_DrawTextfAt(const QIFont* font, int x, int y, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// With the remap pair instead of the descriptor's.
void QI_DrawTextClipped(const QIFont* font, int x, int y, const QIRemap* remap, const IRect* clip,
                        const char* text);
void QI_DrawTextfRemap(const QIFont* font, int x, int y, const QIRemap* remap, const char* format,
                       ...) __attribute__((format(printf, 5, 6)));
void QI_DrawTextfRemapClipped(const QIFont* font, int x, int y, const QIRemap* remap,
                              const IRect* clip, const char* format, ...)
    __attribute__((format(printf, 6, 7)));

// The same, with every character drawn as itself: a "|digit" or "~digit"
// in text (a player's own text) neither switches fonts nor moves the pen.
int QI_TextWidthLiteral(const QIFont* font, const char* text);
void QI_DrawTextLiteral(const QIFont* font, int x, int y, const IRect* clip, const char* text);

// Stores slot in the descriptor and loads the font file name from the data
// directory and the current bitmap directory into it; Font_Load's result.
int QI_LoadNamedResource(QIFont* font, int slot, const char* name);
