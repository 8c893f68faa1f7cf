// Projectiles in flight: made by the parts that fire, kept on one list,
// flown once per update in list order and ended by their impact.
//
// Positions and speeds are 16.16 fixed point and every step is integer
// arithmetic (headings through the angle table), so every machine of a game
// flies the same shots to the same pixels.
#pragma once

#include <cstdint>

#include "units/damage.h"
#include "units/target.h"

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
    PROJECTILE* next;      // on "projectiles", oldest first; the free list when free
    PROJECTILE* prev;
};

// A handle: the record and the id it had when the handle was made.
struct PROJECTILEID {
    PROJECTILE* projectile;
    int32_t id;
};

// A projectile of w from part (at its pixel position, owned by its unit) at
// target, at the end of the list; fills out and answers 1.
int Weapon_MakeProjectile(PROJECTILEID* out, WEAPONTYPE* w, TARGET* target, PART* part);
// Update step 7, first half: every projectile flies one update in list
// order; those that arrive hit and are freed.
void Weapon_UpdateProjectiles(void);
// Flies one projectile one update; 1 when it was freed. A weapon with
// lingering damage stays on the list after its impact, undrawn, and hits
// the area again every "rate" updates (below 1 counts 1) "times" times.
int Weapon_UpdateProjectile(PROJECTILE* p);
// The hit of w at map pixel (px, py) by team (the attacker, -1 none) with
// the offense oinfo, at the direct target when given: direct damage, area
// damage, boost, harassment and kills, as a projectile's impact does it.
void Weapon_Impact(const WEAPONTYPE* w, const OFFENSEINFO* oinfo, TARGET* direct, int team,
                   int px, int py);
// The weapon's area rule at distance 0 on tile (x, y): every unit there
// that the weapon can shoot and the building over it, of every team, take
// its offense; team is the attacker for the kill counts.
void Weapon_DoDamage(int x, int y, const WEAPONTYPE* w, int team);
// The list from the oldest, and its length.
PROJECTILE* Projectile_First(void);
int Projectile_Count(void);
// Frees every projectile and the pool.
void Projectile_Init(void);
void Projectile_Close(void);
