// Projectiles in flight: made by the parts that fire, kept on one list.
//
// Only their making is here; their flight, hits and explosions belong to the
// projectile core, which keeps these records and adds to them.
#pragma once

#include <cstdint>

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
// The list from the oldest, and its length.
PROJECTILE* Projectile_First(void);
int Projectile_Count(void);
// Frees every projectile and the pool.
void Projectile_Init(void);
void Projectile_Close(void);
