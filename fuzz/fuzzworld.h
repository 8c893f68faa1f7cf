// Fuzz support: the small world of two teams that executed orders meet.
#pragma once

// A 24 x 24 map with four tanks of teams 0 and 1 each (ids 1..8); then
// depots of teams 0 and 1 (9, 10), a neutral well (11), team 0's silo (12),
// a carrier (13) with a tank aboard (14), a spy (15), a tanker (16), a tank
// held in the depot (17) and a truck with a packed depot (18), all team 0's.
// Team 1 is a computer player with a plan for depots, tanks and tankers.
// Update 1, the synchronised stream at 0, local team 7 (nobody's).
void QvFuzz_OpenWorld(void);
// Closes everything the world opened; update 0.
void QvFuzz_CloseWorld(void);
