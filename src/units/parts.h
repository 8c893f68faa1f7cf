// Parts: the sprites that make up a unit's body and turrets.
//
// Part types are filled by the unit-type file's loader; this module owns
// their table (static, with one count, so that a saved game can store both
// as they are) and says whether an entry can be used.
#pragma once

#include <cstdint>

struct SPRITE;
struct WEAPONTYPE;
struct HEALTHEXPL;

enum {
    PARTS_MAXTYPES = 128,
    PARTS_MAXWEAPONS = 4,
    PARTS_SPRITENAME = 16,
    PARTS_FULLTURN = 1 << 24, // 24-bit angles
};

struct PARTWEAPON {
    WEAPONTYPE* type;
    int fireanim;  // sprite section played while it fires
    int fireframe; // the cycle step at which it launches
};

struct PARTTYPE {
    char spritename[PARTS_SPRITENAME]; // empty: undefined
    SPRITE* sprite;
    int defaultanim;
    int overrideanim;                  // -1: none
    int fireanim;
    PARTWEAPON weapons[PARTS_MAXWEAPONS];
    int nrweapons;
    int rotationspeed;                 // 24-bit angle units per update
    int halfrotationangle;             // each way from the part below
    int scandelay;                     // updates between scans while idle
    HEALTHEXPL* healthexpl;
};

extern PARTTYPE g_PartTypes[PARTS_MAXTYPES];
extern int g_NrPartTypes;

// The next free type with its initial values (a whole turn per update, half
// a turn each way, fire animation 1); null with "Max number of part types
// exceeded" (diagnostics) when all 128 are taken.
PARTTYPE* Parts_NewType(void);
// 1 when the type can be used; else 0 with the first fault logged (errors):
// "Sprite filename not defined", "Sprite handle is NULL", "Invalid number of
// weapons %d", "Weapon type for weapon %d is NULL", "Bad fire frame %d for
// weapon %d", "Bad half rotation angle %d", "Bad scan delay %d".
int Parts_SetupType(const PARTTYPE* type);
// Whether some used weapon slot self-destructs / repairs (negative direct or
// offense hit points) / can shoot indirectly.
int Parts_TypeHasSelfDestruct(const PARTTYPE* type);
int Parts_TypeHasRepairWeapon(const PARTTYPE* type);
int Parts_TypeCanShootIndirect(const PARTTYPE* type);
// Reloads every type's sprite in place (fatal when one can't be reloaded).
void Parts_ReloadTypeSprites(void);

// Release every type's sprite and health-explosion list; the count becomes 0.
void Parts_Init(void);
void Parts_Close(void);
