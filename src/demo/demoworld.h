// The demo world: what `make run` shows until the in-game interface exists.
//
// At the first frame it loads the demo scenario's map, the "DEMO" terrain
// (tile set and palette), the interface fonts and the demo sprites, sets the
// light, and puts a few things on the map through the display list: trees
// (things of a "Tree" type), three units (body, turret, shadow and a light
// pool), buildings of two teams with their shadows and a looping explosion.
// The units and buildings are real records of the demo's own types. The
// driver commands them as a player would, through the player orders: a
// company of each team moves in formation to places the driver gives it
// and fights what it meets on its own, the local team's vortex gun shells
// an enemy depot. After each update the driver runs every unit's order,
// movement and parts (until the game's own per-update unit step exists).
// The local team's units and buildings sweep its sight, so the fog follows
// its company; the other team's units show only where the local team sees
// them, its buildings once seen.
// Every frame draws the lit terrain (Map_DrawView), the display list
// (SortDisp_DrawAll), the fog of war over it (Fog_Draw), a line with the
// view position at the top and a small side panel.
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

// Loads the world and places its things (needs the common game systems);
// 1 when everything was there, 0 when something was missing (logged; what
// loaded is still shown). Unloads a world loaded before.
int DemoWorld_Load(void);
// Deletes the demo's display elements and things and drops its sprites
// (before the common game systems close; the close would otherwise reclaim
// and report them).
void DemoWorld_Unload(void);
// The view's move for a pointer at (x, y) over updates updates: a multiple
// of DEMO_SCROLL_STEP on each axis, 0 away from the edges.
void DemoWorld_ScrollDelta(int x, int y, int updates, int* dx, int* dy);
// Runs what happens per update for every update since the last call
// (scrolling from the pointer, the units, the companies' next orders).
void DemoWorld_Advance(void);
// One frame of the world into the back buffer (the draw hook): loads the
// world at the first call, advances it, draws it.
void DemoWorld_Draw(BITMAP* backbuffer);
// Makes the game draw the demo world every frame.
void DemoWorld_Install(void);
// Removes the draw hook, forgets the world (the common systems' close has
// freed its records) and frees the fonts.
void DemoWorld_Close(void);
