// The saved-game fuzz target's fixed world, also saved by mkdata as its
// seeds: a small map with things, regions, the map grid and two teams'
// units, buildings and shots. Built with the fuzz target as well
// (MKDATA_FUNCTIONS_ONLY).
#pragma once

// Opens the world: a 24 x 24 map, its grid, sight, the display list, a
// thing type and five things, two regions, the view and the counters; two
// teams at war: armed tanks with parts (one walking a path, one waiting for
// a search), a depot each (one holding a tank, one with a service queue), a
// truck with a packed depot, a shot in flight keeping a vortex and a wave,
// an explosion, and team 0's end-condition tree.
void Mkdata_SaveWorldOpen(void);
// Closes everything the open made.
void Mkdata_SaveWorldClose(void);
