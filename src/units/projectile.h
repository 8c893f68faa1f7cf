// Projectiles in flight: made by the parts that fire, kept on one list,
// flown once per update in list order and ended by their impact.
//
// Positions and speeds are 16.16 fixed point and every step is integer
// arithmetic (headings through the angle table), so every machine of a game
// flies the same shots to the same pixels.
#pragma once

#include <cstdint>

#include "platform/animtype.h"
#include "units/damage.h"
#include "units/target.h"

struct DISPLAYELEMENT;
struct PART;
struct WEAPONTYPE;

struct PROJECTILE {
    int32_t id;            // -1 while the record is free
    UNITID owner;
    WEAPONTYPE* weapon;
    TARGET target;
    PART* part;            // the part that fired it
    int32_t x, y;          // pixel position
    int32_t team;          // the shooter's team at launch
    OFFENSEINFO oinfo;     // the weapon's offense at launch
    int32_t fx, fy;        // position, 16.16
    int32_t aimx, aimy;    // pixel the shot flies to
    int32_t speed;         // pixels per update, 16.16
    int32_t heading;       // 24-bit angle
    int32_t travelled;     // whole pixels flown
    int32_t smokecounter;  // updates since the last smoke
    int32_t hitsleft;      // after the impact: lingering area hits still to come
    int32_t hitwait;       // updates since the last lingering hit
    int32_t held;          // vortices and waves that keep it after its impact
    DISPLAYELEMENT* display; // its in-flight animation; null when it has none or has landed
    ANIMITERATOR anim;     // plays that animation on the display, one step an update
    PROJECTILE* next;      // on "projectiles", oldest first; the free list when free
    PROJECTILE* prev;
};

// A handle: the record and the id it had when the handle was made.
struct PROJECTILEID {
    PROJECTILE* projectile;
    int32_t id;
};

// A projectile of w from part (at its pixel position, owned by its unit) at
// target, at the end of the list, shown by w's in-flight animation (played
// one step an update) turned to its heading; starts w's fire explosion at the part.
// Fills out and answers 1.
int Weapon_MakeProjectile(PROJECTILEID* out, WEAPONTYPE* w, TARGET* target, PART* part);
// Update step 7, first half: every projectile flies one update in list
// order; those that arrive hit and are freed.
void Weapon_UpdateProjectiles(void);
// Flies one projectile one update; 1 when it was freed. A weapon with
// lingering damage stays on the list after its impact, undrawn, and hits
// the area again every "rate" updates (below 1 counts 1) "times" times;
// a vortex weapon's vortex carries those hits instead.
int Weapon_UpdateProjectile(PROJECTILE* p);
// A vortex or wave keeps the landed projectile p on the list; letting go
// frees it once nothing keeps it and its lingering hits are done.
void Weapon_KeepProjectile(PROJECTILE* p);
void Weapon_LetGoProjectile(PROJECTILE* p);
// The area rule of w with oinfo around map pixel (px, py) for the things
// whose distance lies in (inner, outer] and within the area: every unit w
// can shoot and every building, of every team, takes the damage at its
// distance; team (the attacker, -1 none) counts the kills. Nothing for a
// negative area or strength.
void Weapon_RingDamage(const WEAPONTYPE* w, const OFFENSEINFO* oinfo, int team, int px, int py,
                       int inner, int outer);
// The hit of w at map pixel (px, py) by team (the attacker, -1 none) with
// the offense oinfo, at the direct target when given: direct damage, area
// damage, boost, harassment and kills, as a projectile's impact does it.
void Weapon_Impact(const WEAPONTYPE* w, const OFFENSEINFO* oinfo, TARGET* direct, int team,
                   int px, int py);
// The weapon's area rule at distance 0 on tile (x, y) (a shredder's grind):
// every unit there and the building over it that the weapon can shoot take
// its offense, unless they are team's own or its allies'; team is the
// attacker for the kill counts.
void Weapon_DoDamage(int x, int y, const WEAPONTYPE* w, int team);
// The list from the oldest, and its length.
PROJECTILE* Projectile_First(void);
int Projectile_Count(void);
// Frees every projectile and the pool (the close deletes their displays).
void Projectile_Init(void);
void Projectile_Close(void);

// Registers the projectile list (its heads and count as global blocks) and
// each projectile in flight or lingering as a local block.
void Weapon_SaveProjectiles(void);
// A zeroed record for a loaded projectile, and one given back without
// unlinking it; the count is the file's.
PROJECTILE* Projectile_AllocRecord(void);
void Projectile_FreeRecord(PROJECTILE* p);
// After a load: null, or what is wrong with the loaded list (its prev
// links, its end, its count).
const char* Projectile_CheckLoaded(void);
