// Parts: the sprites that make up a unit's body and turrets.
//
// Part types are filled by the unit-type file's loader; this module owns
// their table (static, with one count, so that a saved game can store both
// as they are) and says whether an entry can be used.
//
// A unit's parts form a chain from its base part up (partup / partdown). A
// part turns relative to the part below within +-half its rotation angle; at
// the limit an idle part below turns with it. Each update a part runs one
// step of its state machine:
//   PS_IDLE      the scan countdown runs
//   PS_ROTATE    turn to the wanted angle; once it has stood still there for
//                a whole update, take the next state
//   PS_FIRING    turn to the target and fire one slot in cycles: a cycle
//                starts only between shots, so an order given while firing
//                (the next state) waits for the cycle to end
//   PS_HOLDANGLE turn to the wanted angle and stay
//   PS_STOP      take the next state
// Angles are 24-bit (a turn is 2^24); relative angles below 2^23 are
// anticlockwise. Parts read only the update counter and the game state.
#pragma once

#include <cstdint>

#include "units/explosion.h"
#include "units/target.h"

struct SPRITE;
struct WEAPONTYPE;
struct HEALTHEXPL;
struct DISPLAYELEMENT;
struct UNIT;

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
// Releases every type's sprite and health-explosion list; the count becomes
// 0. No part may be in use (the unit-type file's reset, before units exist).
void Parts_FreeTypes(void);

// ------------------------------------------------------------------ instances

enum PART_STATE { PS_IDLE = 0, PS_ROTATE = 1, PS_FIRING = 2, PS_HOLDANGLE = 3, PS_STOP = 4 };

// Animation modes: still, loop, once forward, once backward.
enum PART_ANIMMODE { PAM_STILL = 0, PAM_LOOP = 1, PAM_ONCE = 2, PAM_BACKWARD = 3 };

enum { PARTS_SPEED_ONE = 1 << 16 };

struct PART_ANIMSET {
    SPRITE* sprite;
    int defaultanim;
    int overrideanim; // -1: none
    int fireanim;
};

struct PART_STATEREC {
    int state;        // PART_STATE; as a next state 0 means none
    TARGET target;
    int32_t angle;    // the wanted angle of the turning states
    int counter;      // fire cycle step, -1 between shots
    int weapon;       // slot
    int once;
};

struct PART {
    PARTTYPE* type;
    int32_t id;                 // -1 once deleted
    PART_STATEREC state;
    PART_STATEREC next;
    PART_ANIMSET dinfo;
    uint8_t typefireanim;       // dinfo is the type's own: each slot's fire animation plays
    DISPLAYELEMENT* display;
    int scancount;
    struct {
        int mode;
        int anim;
        int32_t frame;          // 16.16
        int32_t speed;          // 16.16 per update
    } anim;
    int32_t relangle;           // to the part below
    int32_t angle;
    uint32_t anglechanged;      // update number of the last change of angle
    struct {
        int ammo;
        uint32_t nextfire;      // update before which it may not fire
    } weapon[PARTS_MAXWEAPONS];
    EXPLID healthexpl;          // the health effect shown
    int lasthealth;             // hit-point percentage of the health effects
    UNIT* unit;
    PART* partup;               // also the free list's link
    PART* partdown;
};

// A part of type on unit, mounted on partdown (null: the base) and facing
// facing (0..255, clamped to the limit of the part below), drawn in the
// team's colour on the unit's layer; full ammunition (at least 1 a slot).
// Asserts type, its sprite and unit.
PART* Parts_New(PARTTYPE* type, UNIT* unit, PART* partdown, int facing, int team);
// Deletes the part's display chain (the displays of the parts above it go
// with it: delete from the top), unhooks it from the part below, id -1.
void Parts_Delete(PART* part);

// Display.
void Parts_Show(PART* part);
void Parts_Hide(PART* part);
void Parts_SetTeamRemap(PART* part, int team);
int Parts_GetRemap(const PART* part);
// Nothing while the editor keeps the parts' modes (g_EditorPartsKeepMode).
void Parts_SetRenderMode(PART* part, int mode);
// Every part of the unit.
void Parts_SetLayer(UNIT* unit, int layer);
void Parts_UpdatePosition(PART* part);
// Position, frame, direction and sprite.
void Parts_UpdateDisplay(PART* part);
SPRITE* Parts_GetSprite(const PART* part);
// The current frame, within the sprite's frames.
int Parts_GetFrame(const PART* part);
// The sprite rotation nearest the part's angle (0 without rotations).
int Parts_GetDirection(const PART* part);
// The unit's pixel position moved up the chain: each part below adds the
// offset from its mount point (hot spot 0) to its top mount (hot spot 1).
void Parts_GetPixelPosition(const PART* part, int* x, int* y);

// Turning.
// r clamped to +-limit: r < 2^23 gives min(r, limit), else max(r, 2^24 - limit).
int32_t Parts_ClampRelative(int32_t r, int32_t limit);
// Turns the part and those above it by delta, each kept within its limit.
void Parts_ApplyRotation(PART* part, int32_t delta);
// One step of the part's speed towards angle target.
void Parts_RotateStep(PART* part, int32_t target);

// Orders (facings 0..255); a state outside PART_STATE logs "Unhandled case".
void Parts_RotateTo(PART* part, int facing);
void Parts_SetRotateState(PART* part, int facing);
// Fire at target with the first slot that can shoot it ("Bad fire mode
// requested [%d]" for a mode other than ground, unit or building).
void Parts_Fire(PART* part, const TARGET* target);
void Parts_FireOnce(PART* part, const TARGET* target);
void Parts_StopFiring(PART* part);
// Turns at once (the wanted angle of a turning state follows).
void Parts_SetAngle(PART* part, int facing);
int Parts_IsIdle(const PART* part);
int Parts_RotationDone(const PART* part);

// Weapons.
int Parts_CanShootTarget(const PART* part, TARGET* target);
// TARGETRANGE_*: INVALIDTARGET, NOAVAILABLEWEAPON when no loaded slot can
// shoot it, else the range of the first that can.
int Parts_TargetStatus(PART* part, TARGET* target);
// The same for a target the caller has just found valid (no INVALIDTARGET).
int Parts_TargetStatusValid(PART* part, TARGET* target);
// tilerange of the first loaded slot that can shoot the target; -1 if none.
int Parts_GetWeaponTileRange(const PART* part, TARGET* target);
// Adds percent of each slot's maxammo, within 0..maxammo; a slot whose
// weapon never runs out (maxammo 0) or has none set (-1) keeps what it has.
void Parts_AddAmmoPercent(PART* part, int percent);
int Parts_MaxAmmo(const PART* part);
int Parts_AmmoLeft(const PART* part);
// Fires the first self-destruct slot at the part's own unit; 0 when none.
int Parts_SelfDestruct(PART* part);

// Animation (speed 16.16, PARTS_SPEED_ONE the sprite's own).
void Parts_PlayAnimation(PART* part, int anim, int32_t speed, int mode);
void Parts_ResetAnimation(PART* part);
// 2 looping, 1 still or back on the override animation, 0 while a one-off
// animation (a shot) still plays.
int Parts_AnimationState(const PART* part);
void Parts_SetAnimationSet(PART* part, const PART_ANIMSET* set);
void Parts_UseTypeAnimationSet(PART* part);
void Parts_UpdateAnimation(PART* part);

// Hit points fell (or rose) from oldpercent to newpercent: a rise ends the
// attached effect; each health explosion of the type crossed on the way down
// replaces it in turn.
void Parts_UpdateHealthEffects(PART* part, int oldpercent, int newpercent);
// Ends the attached health effect.
void Parts_StopHealthEffect(PART* part);

// One update of the part's state machine, then its display.
void Parts_Process(PART* part);

// Parts in use (made and not deleted).
int Parts_InUse(void);
// A zeroed record for a loaded part; Parts_FreeRecord gives one back
// without unlinking it (a load's replaced or refused records).
PART* Parts_AllocRecord(void);
void Parts_FreeRecord(PART* p);

// Release every type's sprite and health-explosion list (the count becomes 0)
// and free the pooled parts; the close logs "Close - %d extra mallocs"
// (diagnostics) with the parts still in use.
void Parts_Init(void);
void Parts_Close(void);
