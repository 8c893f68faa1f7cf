// The saved-game fuzz target's fixed world, also saved by mkdata as its
// seeds: a small map with things, their display elements, regions and the
// map grid. Built with the fuzz target as well (MKDATA_FUNCTIONS_ONLY).
#pragma once

// Opens the world: a 24 x 24 map, its grid, sight, the display list, a
// thing type and five things, two regions, the view and the counters.
void Mkdata_SaveWorldOpen(void);
// Closes everything the open made.
void Mkdata_SaveWorldClose(void);
