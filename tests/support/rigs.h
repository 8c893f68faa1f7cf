// Test support: a multiplayer map launched with the start-units option
// ("Three Rigs") as the staging page's launch sets it up on every machine,
// and what each team's crews have put up since.
#pragma once

#include <cstdint>

enum { RIGS_SLOTS = 8 };

// The teams from a launch of slots players on map, slot n on team n with
// side sides[n] (-1: the map's), each a computer player but the slot human
// (-1: none), which becomes the local team (else team 8, nobody's), every
// team at war with every other, fog and shroud on, credits each. The
// scenario name is set; the game's start is the caller's.
void Rigs_Launch(const char* map, int slots, const int* sides, int human, uint32_t credits);

// The first update at which each team had a complete depot, and a complete
// factory (or its upgrade); -1 while it had none.
struct RIGS_WORKS {
    int depot[RIGS_SLOTS];
    int factory[RIGS_SLOTS];
};
void Rigs_WorksInit(RIGS_WORKS* w);
// Looks at every team's buildings now.
void Rigs_WorksWatch(RIGS_WORKS* w);
