// Briefing texts: the scenario's plain text file of numbered sections, read
// into one shared buffer and word-wrapped into the pages' scroll boxes.
//
// The text is a run of words (bytes of 33 and above) between separators
// (every byte below 33; a zero byte ends the text). A backslash starts a
// control code made of the next byte: "\0".."\9" mark sections, "\n" ends a
// display line, "\s" and "\t" add a space, "\c" does nothing, "\\" is one
// backslash inside a word, and any other code ends the section. The reader
// hands out either a word or a control token of two bytes {1, code}; the end
// of the text reads as {1, 'x'}.
//
// Every read stays inside the text and its terminator and every write inside
// the capacity given, so a file of any bytes wraps safely.
#pragma once

#include <cstddef>

struct SHELLCTL;

enum {
    SHELL_BRIEFING_SIZE = 5000, // the shared buffer
    SHELL_BRIEFING_MAX = 4996,  // bytes read; four zero bytes follow them
    SHELL_WORD_MAX = 255,       // characters of one word; the rest is skipped
    SHELL_TOKEN = 1,            // first byte of a control token
};

// Reads "quorvex.brf" of the current scenario's folder, else name with ".txt"
// there, at most SHELL_BRIEFING_MAX bytes; a file that can't be read leaves
// an empty text.
void Shell_LoadBriefing(const char* name);
// The shared text (never null).
const char* Shell_BriefingText(void);
// The position right after the first mark of section n in the shared text,
// or null.
const char* Shell_FindBriefingSection(int n);
// Reads one token from in into out (capacity bytes, at least 3; a longer
// word is cut at capacity - 1 and at most SHELL_WORD_MAX characters, its rest
// skipped) and returns the position after it; never past in's terminator.
const char* Shell_NextWord(char* out, size_t capacity, const char* in);
// Builds one display line of at most capacity characters (out holds
// capacity + 1 bytes; capacity at least 2, for a token) no wider than width in the font slot (a single word may be
// wider) and returns where the next line starts; a section mark on an empty
// line gives its control token; null at the end of the section.
const char* Shell_WrapLine(char* out, const char* in, int font, int width, int capacity);
// Loads name's briefing and adds the wrapped lines of section n (of the
// whole text when the mark is missing) in font slot 0 to a LIST or SBOX.
void Shell_FillListFromBriefing(const char* name, int n, SHELLCTL* list, int width);
