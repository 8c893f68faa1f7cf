// The demo world: what `make run` shows of a game until the in-game
// interface exists. The game itself comes from its scenario; the driver
// only shows it.
//
// At the first frame it loads the interface fonts, puts the scenario's
// terrain palette on the screen, loads the fog's soft edges and sets the
// view. Every frame the units' pictures follow them; other teams' units
// show only where the local team sees them, their buildings once seen.
// Buildings don't draw themselves yet: the driver shows each standing one
// by its type's first image and shadow. Every frame draws the lit terrain
// (Map_DrawView), the display list (SortDisp_DrawAll), the vortices, the fog
// of war over it (Fog_Draw), a line with the view position at the top and a
// small side panel.
//
// Scrolling: while the pointer rests at a screen edge (x <= 0 or x >= 639,
// y <= 0 or y >= 479; the pointer is confined to the screen) the view moves
// DEMO_SCROLL_STEP pixels per update towards that edge. Per update, not per
// frame, so that the speed doesn't depend on how fast the machine draws
// frames: 20 updates a second make 240 pixels a second.
//
// Not part of the engine: only the program and the tests link it. Whatever
// is missing is logged and the rest is shown.
#pragma once

#include <cstdint>

struct BITMAP;

enum {
    DEMO_SCROLL_STEP = 12,  // pixels per update at a screen edge
    DEMO_EDGE_RIGHT = 639,
    DEMO_EDGE_BOTTOM = 479,
};

// Prepares the showing of the game loaded (needs the game specifics);
// 1 when everything was there, 0 when something was missing (logged; what
// loaded is still shown). Unloads what an earlier call prepared.
int DemoWorld_Load(void);
// Deletes the driver's display elements (before the common game systems
// close; the close would otherwise reclaim and report them).
void DemoWorld_Unload(void);
// The view's move for a pointer at (x, y) over updates updates: a multiple
// of DEMO_SCROLL_STEP on each axis, 0 away from the edges.
void DemoWorld_ScrollDelta(int x, int y, int updates, int* dx, int* dy);
// Runs what happens per update for every update since the last call
// (scrolling from the pointer, the pictures following the game).
void DemoWorld_Advance(void);
// One frame of the world into the back buffer (the draw hook): loads the
// world at the first call, advances it, draws it.
void DemoWorld_Draw(BITMAP* backbuffer);
// Makes the game draw the demo world every frame.
void DemoWorld_Install(void);
// Removes the draw hook, forgets what it showed (the common systems' close
// has freed the records) and frees the fonts.
void DemoWorld_Close(void);
