// The widget demonstration: three pages of the widget library, kept for
// its golden frames and the desktop's fuzz target.
//
// The page's pictures, palette and fonts come from the data directory's
// "wdemo\" folder (made by mkdata). On the page: the page picture as the
// background, bevelled frames in every style, framed fills, panels, slider
// tracks, a tip box, the drawing functions' texts and picture cuts, an
// opaque, a transparent and a remapping image, statics in three
// justifications in a caption frame, a callback text counting the system
// clock, list rows in each of their states, and buttons of every kind: a
// held push button counting its repeats, a latching one, one that flips on
// release, value buttons with limits, a press button, a check box, a
// toggle, "Play" (the demo world) and "Quit", with a status line of its
// own row showing the tip of the button under the pointer, cut at its end. The page runs on a desktop with
// the page picture as its background and palette. The titles come by id from
// the string scripts; one id is left out on purpose, so the log holds its
// ready-to-paste "#define" line.
//
// Each page covers the screen with the page picture, so a switch leaves
// nothing of the page before. A menu of three latching buttons switches
// between that page, a page of
// lists (two columns with several selected, a log that follows its end, a
// text list over a picture, drop lists) and a page of edit fields (left,
// centred, right; Tab between them, a static echoing what they report), a
// gauge and a slider, and "Ask", a yes/no popup whose answer is shown.
//
// Not part of the engine: only the program and the tests link it.
#pragma once

class QIDesktop;

// Loads the palette and fonts and builds the page (needs the display);
// 1 when everything loaded, 0 when something was missing (logged; the rest
// is shown).
int WidgetDemo_Open(void);
// Draws the whole page into the back buffer.
void WidgetDemo_Draw(void);
// Shows layer index (0 buttons, 1 lists, 2 edits and gauges) as the menu
// does.
void WidgetDemo_ShowLayer(int index);
// The page's desktop while open, else null.
QIDesktop* WidgetDemo_Desktop(void);
// Deletes the page and its rows and frees the fonts and pictures.
void WidgetDemo_Close(void);
// The front-end hook: open, run the desktop until Play (the demo world),
// Quit or a closed window, close.
void WidgetDemo_Run(void);
// Makes the program start with the page (through the front-end hook).
void WidgetDemo_Install(void);
