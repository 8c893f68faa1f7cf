// The game screen's conversions between screen pixels, map pixels and
// tiles, and what lies under a map pixel.
//
// The map view shows the map from the view origin at screen (0, 32). Tile t
// covers map pixels t x 24 - 12 .. t x 24 + 11: a unit's pixel position is
// its tile's centre in that frame.
#pragma once

#include <cstddef>

struct UNIT;
struct BUILDING;

enum { IGIDISP_VIEWTOP = 32 };

// Screen pixel to map pixel, each axis clamped to 0 .. map size x 24 - 1.
void Igidisp_ScreenToMap(int sx, int sy, int* px, int* py);
// Map pixel to screen pixel.
void Igidisp_MapToScreen(int px, int py, int* sx, int* sy);
// The tile of a map pixel: (pixel + 12) / 24, clamped to 1 .. size - 1.
void Igidisp_PixelToTile(int px, int py, int* tx, int* ty);
// The unit at a map pixel: over the 3 x 3 tiles around it, map levels 0, 1,
// 2, the first unit within 12 pixels on both axes; null when none.
UNIT* Igidisp_UnitAtPixel(int px, int py);
// The building at a map pixel when the local team sees that tile, else null.
BUILDING* Igidisp_BuildAtPixel(int px, int py);

// ---- The game screen's drawing (igidraw.cpp) ----
//
// One frame of IgiDisp_Update draws the frame pieces and the panel
// background when their flags are set, then every active zone from the
// highest identifier down (so the text panel, the pause box and the chat
// line end over the map view), the message lines, the tooltip and the
// cursor, and flips. Only zones marked dirty are drawn; the map view and
// the zones over it are marked every frame.

struct BITMAP;

enum IGIDISP_BITMAP {
    IBM_STDBTNS, IBM_TOPBTNS, IBM_TOPBITS, IBM_MFDBTNS, IBM_MINIMAP, IBM_RESOBARS, IBM_TEAMPIC,
    IBM_MFDBAC1, IBM_PT, IBM_TEXTBRDR, IBM_BASADV, IBM_BUBLDBIT, IBM_BUISOBOX, IBM_BUSCRLUP,
    IBM_BUSCRLDN, IBM_COPYRNM1, IBM_COPYRNM2, IBM_COMSGBOX, IBM_COALIANC, IBM_COGIVBOX,
    IBM_COSIDBIT, IBM_ORTITLES, IBM_ORLMH, IBM_TRAILMDE, IBM_MESLIDER, IBM_MEOPTION,
    IBM_COUNT
};

enum {
    IGIDISP_FONTBYTES = 19200,
    IGIDISP_MESSAGES = 5,
    IGIDISP_MESSAGELEN = 256,
    IGIDISP_MESSAGEMS = 15000,
    IGIDISP_TEXTCOLOUR = 15,     // the interface's text and outline colour
    IGIDISP_MOUSEX = 224, IGIDISP_MOUSEY = 256,
    IGIDISP_SCROLLSTART = 9,     // the scroll slider's set-up value
    IGIDISP_SCROLLMAX = 50,
};

// Loads the 26 bitmaps (fatal "BMP error %d [%s]", "BMP must be 8bit [%s]",
// "Invalid size for [%s], expected %d x %d"), Font_Init(19200) and the three
// fonts (fatal "Font file [%s]"), builds the minimap buffers and the clock
// bitmap ("Failed to allocate clock BMP"), takes the largest water sale
// charge and puts the mouse at 224,256. Marks everything dirty.
void IgiDisp_Init(void);
// Frees what IgiDisp_Init made; nothing to do when it didn't run.
void IgiDisp_Close(void);
// 1 between IgiDisp_Init and IgiDisp_Close.
int IgiDisp_Started(void);
// Interface bitmap i (IGIDISP_BITMAP); null before IgiDisp_Init.
const BITMAP* IgiDisp_Bitmap(int i);
// The production clock: a 64 x 50 angle map.
const BITMAP* IgiDisp_ClockBitmap(void);
// The largest water sale charge of the building types, taken at start.
int IgiDisp_WaterSaleCharge(void);

// The frame and panel flags and every zone dirty.
void Igidisp_SetDirty(void);
// One zone's dirty byte (each asserts the range of zd).
void IgiDisp_SetZoneDirty(int zd);
int IgiDisp_IsZoneDirty(int zd);
void IgiDisp_ClearZoneDirty(int zd);
// How many zones have been drawn since start (for the redraw tests).
long IgiDisp_DrawCount(int zd);

// 2 while the button is down or held under the pointer, 1 under the
// pointer, else 0.
int IgiDisp_GetButtonState(int zd);
// A standard button's look and label when dirty. Asserts the zone's type and
// class.
void IgiDisp_DrawStdButton(int zd);
// Draws one zone when it is dirty and clears the byte; a zone without a
// drawing logs "Unknown zone [%d]".
void IgiDisp_DrawZone(int zd);
// The panel background of a panel mode 1..6; fatal "Unknown mfd mode [%d]".
void IgiDisp_DrawPanelBackground(int mode);
// The title strip at (468, y + 3) and text in font 1 at (473, y).
void IgiDisp_DrawPanelTitle(int y, const char* text);

// Adds a message line (expires after 15 s): the newest is not repeated, the
// oldest goes when five are held.
void IgiDisp_AddMessage(const char* text);
// The lines held, oldest first.
int IgiDisp_MessageCount(void);
const char* IgiDisp_Message(int i);
// Drops every line (a game's start).
void IgiDisp_ClearMessages(void);

// A framed bar of value out of max: (w - 2) x value / max filled, at least 1
// for a value of 1 or more and at least minfill; the rest colour 14.
void Igidisp_DrawBar(int x, int y, int w, int h, int value, int max, int minfill, int fill,
                     int frame);
// The same filled from the bottom, without a minimum.
void Igidisp_DrawBarVertical(int x, int y, int w, int h, int value, int max, int fill, int frame);
// The shown value moved toward target by the difference / 16 (at least 1).
int IgiDisp_Smooth(int shown, int target);
// 1 when the unit's tile or next tile lies within the 20 x 20 tiles from
// the view's top-left tile.
int IgiDisp_UnitOnScreen(const UNIT* unit);

// Zone 22: edge and arrow-key scrolling (once a frame), the terrain, the
// objects, the display list, the vortices and the map overlays.
void IgiDisp_DrawGameScreen(void);
// Scrolls the view by the speed when the pointer is at an edge of the given
// rectangle or an arrow key is held; the speed ramps to 50 while moving and
// falls back to the slider's value.
void IgiDisp_ScrollMap(int left, int right, int top, int bottom);
// The scroll speed now (pixels a frame).
int IgiDisp_ScrollSpeed(void);
// The slider's value that the speed falls back to.
void IgiDisp_SetScrollSlider(int speed);
// The cursor for the pointer at (x, y) over zone.
int IgiDisp_ChooseCursor(int zone, int x, int y);
// The click kind's cursor; "Unknown action mode [%d]" (warning) gives 0.
int IgiDisp_CursorOfKind(int kind);
// The tooltip of zone zd (zones 8 to 14, 29, 80; others have none); marks
// every zone dirty.
void IgiDisp_DrawHelp(int zd);
// The credits field's value as shown: it moves toward the watched team's
// credits by IgiDisp_Smooth once a frame.
int IgiDisp_ShownCredits(void);
// 1 while the tooltip shows (the pointer rested for the information delay).
int IgiDisp_TooltipShown(void);
// printf of one integer through a format from the string files; a format
// with other conversions is printed as text followed by the number.
void IgiDisp_FormatInt(char* out, size_t size, const char* format, int value);
// The list that zone zd (7, 30, 52) draws; null for none.
void IgiDisp_SetZoneList(int zd, struct SLIST* list);
// The credits field's text: nine digits, up to eight leading zeros shown
// as colons.
void IgiDisp_FormatCredits(int credits, char* out, size_t size);
// One frame of the game screen (frame step 6).
void IgiDisp_Update(void);
