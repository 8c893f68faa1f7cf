// Bitmap fonts.
//
// A font is a PCX strip of glyph cells under a marker row (docs/formats.md,
// "Font images"). Loaded fonts live in 16 slots; their glyph pixels share one
// work buffer reserved by Font_Init before the first load, so the fonts never
// fragment the heap and a font that doesn't fit is refused at load time
// rather than failing later. The game uses slots 0..2.
//
// Texts carry inline codes: "|" and a digit switches the rest of the text to
// that font slot (an empty slot keeps the current font); "~" and up to three
// digits moves the pen to that column, counted in pixels from where the text
// started. Neither code has a width of its own; "|" or "~" without a digit
// after it is an ordinary character.
//
// Characters without a glyph (0..31, and those past the font's last cell)
// draw nothing and advance by the space's width. A text in an empty slot is
// 0 pixels wide and draws nothing.
#pragma once

#include <cstdint>

struct BITMAP;
struct GRECT;

enum { FONT_SLOTS = 16, FONT_FIRSTCHAR = 32, FONT_MAXGLYPHS = 224 };

// Allocates the work buffer of bufsize bytes and empties the 16 slots.
// Asserts "bufsize > 0"; fatal "Fonts already initialised" on a second call.
void Font_Init(int bufsize);
// Frees every loaded font and the work buffer; fatal "Fonts not
// initialised" before Font_Init.
void Font_Close(void);
// Loads a font image into slot (asserted 0..15); 1 ok, 0 when the file is
// unreadable or inconsistent or the font doesn't fit in the work buffer
// (logged with the file and the reason). A failed load leaves the slot's
// previous font in place; a successful one replaces it.
int Font_Load(const char* path, int slot);
// Empties a slot (asserted 0..15) and returns its bytes to the work buffer.
void Font_Unload(int slot);
// 1 when a font is loaded in slot; 0 for an empty or out-of-range slot.
int Font_IsLoaded(int slot);

// The glyph height (the line height) of a slot; 0 when empty.
int Font_GetHeight(int slot);
// The advance of character c (0..255) in slot; the space's width for a
// character without a glyph; 0 for an empty slot.
int Font_CharWidth(int slot, int c);
// The width of text starting in slot: the furthest pen position the text
// reaches, inline codes applied. 0 for null text.
int Font_StringWidth(const char* text, int slot);

// Draws text with its top-left at (x, y), inline codes applied, and returns
// the pen's x after it. Glyph pixel 0 is transparent; the others go through
// remap (null: drawn as they are, or all in colour when colour is not 0; with
// remap, colour is unused). Whether a pixel is transparent is decided by the
// glyph, so a remap may draw index 0. Clipped to clip (null: the whole of
// dst) and to dst. With width > 0 the text is cut at x + width: drawing stops
// at the first character whose cell would end past it, and the returned x is
// the pen's before that character. flags is reserved (0). Asserts "dst".
int Font_Print(int x, int y, const char* text, int width, int slot, const uint8_t* remap,
               const GRECT* clip, BITMAP* dst, int colour = 0, int flags = 0);
