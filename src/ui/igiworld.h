// The game's pictures on the map view, kept in step with the game each
// frame: units' pictures follow them, other teams' units show only where the
// local team sees them now and their buildings once seen (then under the
// fog as last seen). Buildings don't draw themselves: each standing one is
// shown by its type's first image and shadow, its beacon blinking once a
// second. Display only: nothing here changes the game.
#pragma once

// Puts the scenario's palette on the screen, loads the fog's soft edges
// ("fogtile.fog", a warning when missing), has the view (where the scenario
// put it) drawn anew and confines the pointer to the screen. 1 when
// everything was there.
int IgiWorld_Load(void);
// Deletes the buildings' pictures (before the common systems close).
void IgiWorld_Unload(void);
// After a saved game was loaded: forgets the pictures of the replaced
// buildings (gone with the replaced display list) and deletes those the
// file brought, then shows the loaded buildings.
void IgiWorld_AfterLoad(void);
// Brings the pictures in step with the game (once a frame).
void IgiWorld_Follow(void);
