// Single-line text entry: the chat line, the saved-game name, the trail name
// and the credits to give.
//
// TEXTEDIT edits a caller's zero-terminated buffer: a cursor, a start before
// which nothing can be deleted or crossed, a class of accepted characters
// with optional case conversion, and a largest length. TEXTFIELD adds the
// box: position, pixel width, alignment and font, and refuses a character
// that would make the text wider than the box.
#pragma once

#include <cstddef>
#include <cstdint>

struct BITMAP;

// Character classes: a character is accepted when any set class holds it.
enum TEXTEDIT_CLASS {
    TEC_LETTERS = 1,
    TEC_DIGITS = 2,
    TEC_SPACE = 4,
    TEC_FULLSTOP = 8,
    TEC_PUNCTUATION = 16,
    TEC_HEX = 32,           // 0-9 and A-F, upper case only
    TEC_BACKSLASH = 64,
    TEC_COLON = 128,
    TEC_TOUPPER = 0x1000,
    TEC_TOLOWER = 0x2000,
    TEC_ALL = 0xffff,       // every listed character, no conversion
};

enum TEXTEDIT_RESULT { TE_OK = 0, TE_ACCEPT = 1, TE_CANCEL = 2, TE_FULL = 4, TE_REFUSED = 8 };

enum TEXTFIELD_ALIGN { TFA_LEFT = 1, TFA_RIGHT = 2, TFA_CENTRE = 4 };

struct TEXTEDIT {
    char* buffer;
    uint16_t charclass;
    int32_t max;
    int32_t cursor;
    int32_t start;
    int32_t length;
};

struct TEXTFIELD {
    int32_t x, y;
    int32_t width;
    int32_t alignment;
    int32_t textx;
    TEXTEDIT edit;
    int32_t font;
};

// Sets the fields (a class with both conversion bits drops both; cursor and
// start are clamped to the text) and returns the buffer's length.
int TextEdit_Init(TEXTEDIT* edit, char* buffer, int charclass, int max, int cursor, int start);
// One key: scan code, translated character (0 for none), modifier bits
// (4 Ctrl). Returns TE_OK, TE_ACCEPT (Enter), TE_CANCEL (Escape), TE_FULL
// or TE_REFUSED.
int TextEdit_Key(TEXTEDIT* edit, int scancode, int character, int modifiers);

// Sets up the field with max = limit + 1, capped at size - 1 so that the
// buffer of size bytes (at least 1) never overflows, and places the text.
void TextField_Init(TEXTFIELD* field, int x, int y, int width, int alignment, char* buffer,
                    size_t size, int charclass, int cursor, int start, int limit, int font);
// TextEdit_Key, then a character that makes the text wider than the field is
// taken back (TE_FULL); else the text x follows the alignment.
int TextField_Key(TEXTFIELD* field, int scancode, int character, int modifiers);
// The text at (text x, y) in the field's font, and the cursor line in colour
// 15 from y to y + font height - 2.
void TextField_Draw(const TEXTFIELD* field, BITMAP* dst);
