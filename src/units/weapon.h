// Weapon types and the weapon file ("weapon.txt").
//
// A weapon type says how a projectile moves, how far and how often it can
// fire, what it does on impact (offense class of the damage table, strength,
// area), which explosions, sounds and special effects go with it. The types
// are read once per scenario from "weapon.txt", after the explosion types
// ("animate.txt") and the damage table ("damage.txt") that it names, and
// before the unit types whose parts name weapons.
//
// The registry holds at most WEAPON_MAXTYPES records, in creation order; a
// record never moves once made (part types keep pointers to it) and lives
// until Weapon_Close.
//
// No built-in slot: every record that Weapon_NewType makes is named
// "DEFAULT WEAPON" only until its loader gives it the block's name, so the
// weapon file may define all 128 types. A reserved, permanent "DEFAULT WEAPON"
// in slot 0 would cost the file a type and give nothing: nothing looks it up,
// and a part without a weapon has none rather than a placeholder.
//
// The file (tokens as the text-file tokenizer reads them; keywords matched
// exactly, with case; type names looked up without regard to case):
//   DefineWeapon ( name ) {
//       Keyword ( arguments ) ...
//   }
// A block that fails stops the file (0); the types made before it stay. Any
// top-level token other than DefineWeapon is an error naming the file and the
// line, never a quiet end of the file: a misspelt keyword would otherwise
// drop every later weapon without a word. A 129th type in the file is the
// fatal text-file error "Maximum weapon types (128) exceeded" with the file
// and the line. Messages go to the trace log as errors.
#pragma once

#include <cstdint>

#include "platform/sound.h"
#include "units/damage.h" // OFFENSEINFO: offense column, strength, area

struct ANIMTYPE;
struct EXPLTYPE;
struct TF_PARSER;

enum {
    WEAPON_MAXTYPES = 128,
    WEAPON_NAMELEN = 64,
    WEAPON_MAXSTRENGTH = 1 << 20,   // a strength's or an area effect's size either way
    WEAPON_ROTATION_TURN = 1 << 24, // rotational speeds: a whole turn
    // A boost's time either way (2^30 - 1 updates, about 621 days of play)
    // and the bounds of its fade speed (8.8): the boosted unit counts the
    // one down and adds the other to what is left, within half the word,
    // which is what a saved game holds of them.
    WEAPON_MAXBOOSTTIME = (1 << 30) - 1,
    WEAPON_MINBOOSTFADE = -(1 << 30),
    WEAPON_MAXBOOSTFADE = (1 << 30) - 1,
};

// How a projectile moves (the file's SetMovement names in brackets).
enum WEAPON_KIND {
    WKIND_UNSET = -1,
    WLINEAR = 0,       // "LINEAR"
    WHOMING = 1,       // "HOMING"
    WVORTEX = 2,       // "VORTEX"
    WWAVE = 3,         // "WAVE"
    WSHREDDER = 4,     // "SHREDDER"
    WSELFDESTRUCT = 5, // "SELFDESTRUCT"
    WKIND_COUNT = 6,
};

// Damage repeated after the hit.
struct WEAPONPERSISTENT {
    int times;
    int rate;
    OFFENSEINFO oinfo;
};

// A booster: time, fade speed (8.8 fixed point), hit points, deadly flag,
// and the flag that says the weapon boosts at all.
struct WEAPONBOOST {
    int time;
    int fadespeed;
    int hitpoints;
    uint8_t deadly;
    uint8_t isbooster;
};

// One bound of a self-destruct: percentages of the owner's hit points and of
// the weapon's offense.
struct OFFENSEBOUND {
    int ownerhitpointpercent;
    int offensepercent;
};

struct WEAPONSELFDESTRUCT {
    int isselfdestruct;
    OFFENSEBOUND minbound;
    OFFENSEBOUND maxbound;
};

struct WEAPONTYPE {
    char name[WEAPON_NAMELEN];
    int kind;                    // WEAPON_KIND
    float range;                 // pixels
    int tilerange;
    int mintilerange;
    int maxammo;
    int firedelay;
    int energyusedpershot;
    int directhitpointdamage;
    int directenergydamage;
    float initialspeed;
    float acceleration;
    float maxspeed;
    int rotationalspeed;         // 2^24 per turn
    int isenergyweapon;
    int bleedpercent;            // 0..100
    ANIMTYPE* InFlightAnimation;
    int SmokeDelay;
    EXPLTYPE* SmokeExplosion;
    EXPLTYPE* HitExplosion;
    EXPLTYPE* FireExplosion;
    OFFENSEINFO oinfo;
    uint8_t CanShootFlyer;
    uint8_t CanShootGround;
    uint8_t CanShootGroundUnit;
    uint8_t CanShootBuilding;
    uint8_t CanShootIndirect;
    uint8_t CanOnlyShootHuman;
    uint8_t CanOnlyShootNonHuman;
    uint8_t CanCancelBoosting;
    uint8_t ispersistent;
    WEAPONPERSISTENT persistent;
    WEAPONBOOST boost;
    WEAPONSELFDESTRUCT selfdestruct;
    SOUND_EFFECT FireSound;
    SOUND_EFFECT HitSound;
};

// --- shooting ---

struct TARGET;
struct UNIT;

// Whether a target is in reach of a weapon, in the order they are checked.
enum TARGETRANGE {
    TARGETRANGE_OK = 0,
    TARGETRANGE_INVALIDTARGET = 1,
    TARGETRANGE_TOOCLOSE = 2,  // nearer than mintilerange x 24 pixels
    TARGETRANGE_TOOFAR = 3,    // beyond range
    TARGETRANGE_CANTSEE = 4,   // on a tile the shooter's team doesn't see
    TARGETRANGE_NOAVAILABLEWEAPON = 5,
};

// Whether the weapon can shoot that kind of target: the ground, a building,
// a flyer (CanShootFlyer) or a unit on the ground (CanShootGround or
// CanShootGroundUnit), then the human-only and non-human-only limits against
// the target unit. 0 for an invalid target.
int Weapon_CanShoot(const WEAPONTYPE* w, TARGET* target);
// TARGETRANGE_* for a shot of w by u (from its centre, pixel position + 12,
// to the target's position). Sight counts only while the sight counts are open.
int Weapon_TargetInRange(UNIT* u, const WEAPONTYPE* w, TARGET* target);

// --- the registry ---

// A new type with the initial values (kind, range and speeds unset, offense
// -1 with 50 hit points over 5 pixels, every flag off, sounds cleared), named
// "DEFAULT WEAPON" until its loader names it. Beyond WEAPON_MAXTYPES it is
// fatal (class 4) "Maximum weapon types (128) exceeded".
WEAPONTYPE* Weapon_NewType(void);
// The type of that name compared without regard to case; null when none (or
// for a null name).
WEAPONTYPE* Weapon_FindType(const char* name);
// The number of types made.
int Weapon_TypeCount(void);
// The type at index (creation order); null outside 0..count-1.
WEAPONTYPE* Weapon_GetType(int index);
// The common-systems entries: both free every type and leave none.
// Frees every weapon type (a reload, a failed load).
void Weapon_FreeAll(void);
void Weapon_Init(void);
void Weapon_Close(void);

// --- the weapon file ---

// Reads "weapon.txt" (or any path, through the tokenizer) into new types:
// 1 when every block was read, 0 when the file can't be opened or a block
// fails (logged with the file and line). A top-level word other than
// DefineWeapon ends the file successfully, with a warning naming the word,
// file and line. The tokenizer's own errors and a 129th type are fatal.
int Tfweapon_LoadWeaponFile(const char* path);
// Reads blocks until the end of the text or a top-level word other than
// DefineWeapon: 1, or 0 at the first failure.
int Tfweapon_ParseWeapon(TF_PARSER* parser);
