// Text lines: word wrap of file sections, and the program's list of keyed
// text lines.
//
// A wrapped file is read whole up to TEXT_WRAPMAX bytes. Section n (0..9)
// starts after the two characters backslash and n and runs to the next
// backslash-digit pair; a file without the marker is wrapped whole. Inline
// codes: CR and LF are ignored (text flows across the file's lines);
// backslash n ends a line and skips the spaces after it; backslash c and t,
// and backslash with any other non-digit, are dropped; a line starting with
// byte 183 (the bullet) starts a paragraph whose following lines are indented
// by two spaces until one ends with backslash n.
#pragma once

#include <cstdint>

enum {
    TEXT_WRAPMAX = 4999,   // bytes of a file that are read
    TEXT_LINEMAX = 157,    // characters of a wrapped line, before the indent
    TEXT_BULLET = 183,
};

typedef int (*TEXT_CHARWIDTHFN)(int c);
typedef void (*TEXT_EMITFN)(const char* line);
typedef int (*TEXTLINES_FN)(const char* text, int32_t key);

// Wraps section of the file at path to width pixels (charwidth(c) gives a
// character's width) and hands each line to emit. A line also ends at
// TEXT_LINEMAX characters; a character wider than the width alone gets a line
// of its own. 0 when the file can't be opened, else 1 (a missing section
// wraps the whole text).
int Text_WrapFileSection(const char* path, int section, int width, TEXT_CHARWIDTHFN charwidth,
                         TEXT_EMITFN emit);
// As Text_WrapFileSection over text already in memory (at most TEXT_WRAPMAX
// of its length bytes are used).
void Text_WrapSection(const char* text, int length, int section, int width,
                      TEXT_CHARWIDTHFN charwidth, TEXT_EMITFN emit);

// Inserts a copy of text (null as "") after the last line whose key is not
// greater than key: equal keys keep their order of insertion.
void TextLines_AddSorted(const char* text, int32_t key);
// The number of lines.
int TextLines_Count(void);
// Calls fn(text, key) from the first line on until it returns 0.
void TextLines_ForEach(TEXTLINES_FN fn);
// Frees every line (the two are the same).
void TextLines_Clear(void);
void TextLines_Reset(void);
