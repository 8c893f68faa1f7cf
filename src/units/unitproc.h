// The units' step of every game update (update step 6).
//
// Units die only here: whatever kills a unit sets its hit points to 0 and
// leaves the deletion to the next walk, so that no unit is deleted under
// another's turn. The walk goes over every unit in making order; a unit
// off the map (in a hold or a building) takes only the steps that need no
// tile, and the spies inside buildings get their own pass at the end, team
// by team, for their orders.
#pragma once

struct UNIT;

// Once per update: each unit on the map, in making order, is removed below
// 1 hit point (its passengers dropped, those without a tile deleted), else
// its seen flags, order, movement, decoy life, weapon charge, shredder,
// boost decay, grab conversion and parts run. A unit off the map below 1
// hit point leaves the hold it is in and is deleted with its passengers,
// else its decoy life, weapon charge (at the holding building's
// efficiency), boost decay and grab conversion run. Then the spies in
// buildings.
void Units_ProcessAll(void);
// Each team's seen flag of the unit (allies and teams sharing its team's
// sight see it; others see its tile, at the flyers' level for flyers; a
// tunneller and a spy at work are seen by none); the local team's decides
// whether it is drawn.
void Units_UpdateSeenFlags(UNIT* u);
// The shredder weapon hits the 8 tiles around the unit, whoever stands
// there.
void Units_ShredderDamage(UNIT* u);
