// The buildings' pictures on the map: buildings don't draw themselves, so
// each one is shown in the sorted display by its type's first image (centred
// on its footprint) and its shadow, kept in step with the building list. The
// game's screen and the scenario editor both draw them. Display only: nothing
// here changes the game. The pictures are display elements, which travel in
// saved games; each carries BLDPICS_MARK in its flags.
#pragma once

struct BUILDING;

enum { BLDPICS_MARK = 1 };

// Drops the pictures of buildings gone (or their records used again), shows
// new buildings, and puts a building that moved or changed team where it is
// now in its colours. Beacons blink once a second by the update count.
void BldPics_Follow(void);
// Calls visible(building) for each pictured building and shows or hides its
// picture by the answer.
void BldPics_ShowIf(int (*visible)(const BUILDING*));
// Deletes every picture (while the sorted display still holds them).
void BldPics_Clear(void);
// After a saved game was loaded: forgets the pictures (they went with the
// replaced display list), deletes the copies the file brought and shows the
// loaded buildings afresh.
void BldPics_AfterLoad(void);
// The number of buildings pictured.
int BldPics_Count(void);
