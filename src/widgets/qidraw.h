// The colour table, the library's frame drawing and texts by id.
//
// Frames take their palette indices from the current colour table, which
// clients replace before they build their pages (the editor's and the
// menus' tables are longer; the library reads entries 0..8). Everything
// draws into the back buffer, nothing without one, and a size below 1
// draws nothing. Corners x1, y1, x2, y2 are inclusive.
#pragma once

#include <cstdint>

#include "platform/graph.h"
#include "widgets/qivalue.h"

class QIString;
struct QIFont;

enum QICOLOUR_ENTRIES {
    QIC_HIGHLIGHT = 0, // raised bevel's top-left edge
    QIC_FACE = 1,      // face of styles 0 and 1; row fill of the current item
    QIC_SHADOW = 2,
    QIC_TRACK = 3,     // face of style 3, track fill; row under the pointer
    QIC_BACK = 4,      // face of style 2, background; plain row
    QIC_OUTLINE = 5,
    QIC_FOCUS = 6,
    QIC_FOCUSDOWN = 7,
    QIC_TIP = 8,
    QIC_LIBRARY_ENTRIES = 13,
};

// The library's own table, installed at start.
extern const uint8_t g_QILibraryColours[QIC_LIBRARY_ENTRIES];
// The current table.
extern const uint8_t* g_QIColours;

// While one lives, the frames, fills and tracks below are clipped to rect
// (within any clip already in force; null adds none), as texts and images
// are, so a repaint of a rectangle redraws every widget in it whole and
// nothing outside it. The previous clip comes back at its end.
class QIDrawClip {
public:
    explicit QIDrawClip(const IRect* rect);
    ~QIDrawClip();
    QIDrawClip(const QIDrawClip&) = delete;
    QIDrawClip& operator=(const QIDrawClip&) = delete;

private:
    struct GRECT saved_;
    bool hadClip_;
};

// own (null: none) within the clip in force: the GRECT to draw with,
// written to out, or null when neither clips.
const GRECT* QI_WithinDrawClip(const IRect* own, GRECT* out);
// A box filled with colour-table entry, and its one-pixel outline; nothing
// below size 1.
void QI_FillBox(int x, int y, int w, int h, int entry);
void QI_OutlineBox(int x, int y, int w, int h, int entry);
// A one-pixel bevel; fill paints the inside with the face. Style 0 raised
// (0 / 2, face 1), 1 sunken (2 / 0, face 1), 2 (2 / 0, face 4), 3 (2 / 0,
// face 3).
void QI_DrawFrame(int x1, int y1, int x2, int y2, int style, int fill);
// An outline (5; with focus 6, or 7 when pressed too) around two bevels of
// the pressed style, the inner one filled: a pressed button looks sunken.
void QI_FillFramed(int x1, int y1, int x2, int y2, int pressed, int focus);
// A bevelled panel of nested outlines; with outlined an outline in 5 round
// it; style not 0 fills its middle.
void QI_FillOrFrame(int x1, int y1, int x2, int y2, int style, int outlined);
// A slider track 13 pixels wide (outline 5, fill 3), down or across.
void QI_DrawVTrack(int x, int y, int length);
void QI_DrawHTrack(int x, int y, int length);
// A tip box round text; returns (x, y, text width + 2, font height).
IRect QI_DrawTextBox(int x, int y, const char* text, const QIFont* font);

// 1 when a found text asks for the same arguments as the default format
// (and none that no text may use): only then may it stand in for it.
int QI_SameArguments(const char* found, const char* defaultFormat);
// The text of id from the multi-language strings, or defaultFormat when it
// is missing (logging the warning '#define id "defaultFormat"' the first
// time the process meets the id), expanded
// with the arguments into out (at most 511 characters). A found text whose
// conversions differ from the default's is not used: the default is, with
// a warning naming the id.
void QI_Text(const char* id, QIString* out, const char* defaultFormat, ...)
    __attribute__((format(printf, 3, 4)));
#define QI_WriteDefine QI_Text
// The text of id as it stands (no arguments: a '%' in it is a '%'), else
// def; a missing id logs its '#define' line with def once.
void QI_PlainText(const char* id, QIString* out, const char* def);
