// The units' step of every game update (update step 6).
//
// Units die only here: whatever kills a unit sets its hit points to 0 and
// leaves the deletion to the next walk, so that no unit is deleted under
// another's turn. The walk goes over the units on the map in making order;
// units off the map (in holds and buildings) wait, except spies inside
// buildings, who get their own pass at the end, team by team.
#pragma once

struct UNIT;

// Once per update: each unit on the map, in making order, is removed below
// 1 hit point (its passengers dropped, those without a tile deleted), else
// its seen flags, order, movement, decoy life, weapon charge, shredder,
// boost decay, grab conversion and parts run; then the spies in buildings.
void Units_ProcessAll(void);
// Each team's seen flag of the unit (allies and teams sharing its team's
// sight see it; others see its tile, at the flyers' level for flyers; a
// tunneller and a spy at work are seen by none); the local team's decides
// whether it is drawn.
void Units_UpdateSeenFlags(UNIT* u);
// The shredder weapon hits the 8 tiles around the unit, whoever stands
// there.
void Units_ShredderDamage(UNIT* u);
