// The multiplayer menus' frame: one modal desktop that holds every page.
//
// Mm_Main runs engine state 1: it builds the desktop "MultiMenuBase", the
// backdrop container, the nine page fonts and every page (each a hidden
// layer under the backdrop, the connection page shown), runs the desktop
// until a page handler ends it and tears everything down again, so each
// visit starts from a fresh desktop and a freshly read address book.
//
// A page that needs a per-frame poll installs it with Mm_SetPoll; the
// frame's modal pop-ups (errors and questions) run their own loop without
// it. A handler that leaves the menus calls Mm_Leave with the engine state
// to go to.
#pragma once

#include <cstddef>
#include <cstdint>

#include "widgets/qitext.h"

#include "widgets/qiwidget.h"

class QIButton;
class QIDesktop;
class QIEdit;
class QIList;
class QIPopup;
class QISlider;
class QIStatic;

enum {
    MM_FONTS = 9,
    MM_FONT_TITLE = 0,   // "f16blue.pcx"
    MM_FONT_HEADING = 1, // "f14blue.pcx"
    MM_FONT_MAINO = 2,   // "f14blueo.pcx"
    MM_FONT_MAING = 3,   // "f14blueg.pcx"
    MM_FONT_TEXT = 4,    // "f12gold.pcx"
    MM_FONT_TEAM = 5,    // "f12team.pcx"
    MM_FONT_LABEL = 6,   // "f12bluen.pcx", then its two state fonts
    MM_FONT_LABELO = 7,
    MM_FONT_LABELG = 8,
    MM_FONT_BYTES = 8 * 12800, // a byte per glyph pixel: nine fonts need this much
    MM_KEY_SIZE = 256,
    MM_MESSAGE_MAX = 255,
    MM_CURSOR = 53,
};

// The pop-ups' loop results.
enum { MM_POP_OK = 23, MM_POP_YES = 27, MM_POP_NO = 28 };

struct MM_MENU {
    const char* artdir;        // the configuration's data directory
    QIDesktop* desktop;        // null outside Mm_Main
    QIFont fonts[MM_FONTS];
    QIWidget* backdrop;        // parent of every page and pop-up
};

extern MM_MENU MM_menu;
// The menus' 12-byte colour table, installed while they are built and left
// in place afterwards.
extern const uint8_t g_MmColours[12];
// The font files of slots 0..8.
extern const char* const g_MmFontFiles[MM_FONTS];

// Engine state 1: builds, runs and closes the menus; logs "Multi Menu is
// starting." and "Multi Menu has shutdown." (mask 0x1000).
void Mm_Main(void);
// The build of Mm_Main alone (tests drive the desktop themselves): address
// book read, colours, desktop, backdrop, fonts, every page, category
// "MULTI", cursor 53. Returns the desktop.
QIDesktop* Mm_Build(void);
// The tear-down of Mm_Main alone: properties saved, desktop closed and
// deleted, fonts closed, address books freed.
void Mm_Close(void);

// The page poll run once a pass of the desktop's loop; null removes it.
void Mm_SetPoll(void (*poll)(void));
void (*Mm_Poll(void))(void);
// Ends the menus: engine state, exit code 0, Running cleared.
void Mm_Leave(int state);
// Hides one page and shows another (either may be null).
void Mm_SwitchPage(QIWidget* from, QIWidget* to);
// The page layer named name under the backdrop; null when none.
QIWidget* Mm_Page(const char* name);

// A button of the pages' bottom bars: the three cuts of "BUTTON.BMP", the
// label fonts 6..8, its label 1 pixel lower while pressed.
QIButton* Mm_BarButton(const char* name, QIHANDLER fn, const IRect& rect, const char* label);
// A list's scroll bar at r with the pages' step buttons ("up.bmp",
// "down.bmp": normal, focus, pressed cells of 16 x 16).
QISlider* Mm_ScrollBar(const IRect& r);
// A static text drawn shifted by offset inside its rectangle, clear of what
// stands just above it or in line with its neighbours; left-justified, and,
// fitted, moved left as far as it must to end within the rectangle.
QIStatic* Mm_Caption(const char* name, const char* text, const IRect& r, int font, const IPoint& offset,
                     bool fitted = false);
// A page's fixed text: its widget name, text, rectangle, font slot and
// justification; keep, when set, receives the widget for later updates.
struct MM_LABEL {
    const char* name;
    const char* text;
    IRect r;
    int font, just;
    QIStatic** keep;
};
// Adds count labels to parent in table order.
void Mm_AddLabels(QIWidget* parent, const MM_LABEL* labels, size_t count);
template <size_t N>
void Mm_AddLabels(QIWidget* parent, const MM_LABEL (&labels)[N])
{
    Mm_AddLabels(parent, labels, N);
}
// Puts text into an edit field (its bound string too), caret at 0, drawn.
void Mm_SetEditText(QIEdit* edit, const char* text);
// The same with a hint of what goes there, which the first key that edits
// the field replaces.
void Mm_SetEditHint(QIEdit* edit, const char* hint);
// Draws a list again over its page's picture (rows change their texts).
void Mm_RedrawList(QIList* list);
// The fill of a list row by its state: 72 under the pointer, 75 current,
// 78 both; -1 none.
int Mm_RowFill(uint32_t state);
// A row's cell (cut to the visible row) filled by its state, within the
// clip of the repaint in force.
void Mm_FillRow(const IRect& cut, uint32_t state);

// The error box: title key, message the "Desc" text of key (used only when
// it takes the default's arguments, else the default with a warning) or
// the default format, filled in; a missing text logs its '#define' line
// (mask 2). Runs until "Ok" is pressed; the page poll does not run meanwhile.
void Mm_PopError(MM_MENU* menu, const char* key, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// The same for a key that carries its whole text in the strings (a
// refusal's or the online service's): no default, no arguments.
void Mm_PopKeyError(MM_MENU* menu, const char* key);
// Runs a pop-up built on the backdrop modally and deletes it; its loop's result.
int Mm_RunPopup(QIPopup* pop);
// The question box; MM_POP_YES or MM_POP_NO (the loop's result).
int Mm_PopYesNo(MM_MENU* menu, const char* key, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
