// The text panel (zone 21, over the map view) and the mission clock.
//
// The panel shows a scrolling page: the scenario briefing (with a network
// game's rules) or a plain text file such as the help. While it is open it
// is the locked zone and holds the input, and a single-player game doesn't
// advance. Its list exists only while it is open.
#pragma once

#include <cstddef>

struct BITMAP;
struct SLIST;

enum {
    TEXTPANEL_ZONE = 21,
    TEXTPANEL_LINEMAX = 256,     // characters kept of a file's line
    TEXTPANEL_WRAPWIDTH = 309,
    TEXTPANEL_DEFAULTWIDTH = 140,
    CLOCK_X = 364, CLOCK_Y = 32,
};

// Opens the panel on a text file, one entry a line (at most 256 characters,
// the line end dropped); the default text alone when the file can't be
// opened. Replaces an open panel.
void IgiDisp_ShowTextFile(const char* path, const char* deftext);
// Opens the panel on section of a briefing file wrapped to 309 pixels in
// font 0; "No briefing for this scenario" when the file can't be opened. In
// a network game the rule lines follow under "RULES".
void IgiDisp_ShowBriefing(const char* path, int section);
// Frees the list, disables zone 21 and unlocks the input.
void IgiDisp_CloseTextPanel(void);
// 1 while zone 21 is the locked zone.
int IgiDisp_IsTextPanelShown(void);
// The open panel's list (for dragging it), or null.
SLIST* IgiDisp_TextPanelList(void);
// Zone 21's drawing: the translucent box with its border, the close box,
// the list and the arrows where more text lies beyond the view.
void IgiDisp_DrawTextPanelTo(BITMAP* dst);
// The clock's text of a time left (s = t / 36 as hours, minutes, seconds);
// 0 for a time left below 0 (no limit).
int IgiDisp_ClockText(int timeleft, char* out, size_t size);
// The local team's time left as "%02d:%02d:%02d" at (364, 32) in font 2,
// when its end conditions have a time limit.
void IgiDisp_DrawClockTo(BITMAP* dst);
