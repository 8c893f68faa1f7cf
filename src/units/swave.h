// Shock waves: the ring a wave weapon sends out from where it lands.
//
// The ring starts at the impact and grows by the weapon's top speed each
// update up to the weapon's area; whatever lies between the ring's previous
// and new radius takes the area damage at its distance, so each thing is
// hit once, in the update the ring reaches it. Sixteen bubbles ride on the
// ring; the minimap shows each as a lens. The projectile that started the
// wave stays on the projectile list, undrawn, until the ring is done.
//
// Waves and their bubble arrays come from pools with free lists; the waves
// sit on one list (head and tail) in starting order, and update step 3 grows
// them first, before the vortices.
#pragma once

#include <cstdint>

struct BITMAP;
struct PROJECTILE;

enum { SWAVE_BUBBLES = 16 };

struct SWaveNode {
    int32_t x, y;       // map pixels
    int32_t radius;     // pixels
};

struct SWave {
    SWave* next;
    SWave* prev;
    SWaveNode* bubble;  // SWAVE_BUBBLES of them
    PROJECTILE* proj;   // the shot that started it
    int32_t x, y;       // centre, map pixels
    int32_t radius;     // the ring now, pixels
    int32_t maxradius;  // where it stops
    int32_t growth;     // pixels per update, at least 1
    int32_t age;        // updates grown
};

// Starts a wave of proj's weapon at map pixel (x, y) at the end of the list
// and keeps proj (Weapon_KeepProjectile); tells the local team when it sees
// the tile ("MSG_SEISMICDETECT", "MSG_SFXRUMBLE"). A negative area makes no
// wave (null). Asserts proj.
SWave* Swave_Start(PROJECTILE* proj, int x, int y);
// Update step 3, first half: every wave grows one update in list order and
// hurts what its ring passes; finished waves end and let their projectile go.
void Swave_UpdateAll(void);
// The list from the oldest, and its length.
SWave* Swave_First(void);
int Swave_Count(void);
// Magnifies twofold the disc of a map-sized bitmap (one pixel per tile)
// under every bubble, each reading the bitmap as it was before the call.
void Swave_DrawLens(BITMAP* bitmap);
// The common-systems entries: both free every wave without letting go of
// projectiles; the close logs "Close - %d extra mallocs" with the waves
// still running.
void Swave_Init(void);
void Swave_Close(void);

// Registers a wave's pointer fields.
void Swave_GetPtr(SWave* w);
// Registers the wave list's heads and count and each wave with its bubbles
// (SWaveNode blocks).
void Swave_Save(void);
// Zeroed records for a loaded wave and its bubbles, and records given back
// without unlinking them; the count is the file's.
SWave* Swave_AllocRecord(void);
void Swave_FreeRecord(SWave* w);
SWaveNode* Swave_AllocBubbles(void);
void Swave_FreeBubbles(SWaveNode* b);
// After a load: null, or what is wrong with the loaded list.
const char* Swave_CheckLoaded(void);
