// Buildings in play: construction, production, upgrades, sales, stores,
// power and repair, run once per update by Build_ProcessAll.
#pragma once

#include <cstdint>

struct BUILDING;
struct UNIT;
struct UNITTYPE;

// The animation sections and action indicators of a building type.
enum BUILDANIM {
    BUILDANIM_CONSTRUCT = 0,
    BUILDANIM_IDLE = 1,
    BUILDANIM_DESTRUCT = 2,
    BUILDANIM_UPGRADE = 3,
    BUILDANIM_REPAIR = 4,
};
enum BUILDACTION {
    BUILDACTION_SELL = 0,
    BUILDACTION_REPAIR = 1,
    BUILDACTION_POWERUP = 2,
    BUILDACTION_POWERDOWN = 3,
    BUILDACTION_PACK = 4,
};

enum { BUILD_POWER = 2 };          // the resource that is power

// Why a building leaves the game (Build_RemoveFromGame).
enum BUILD_REMOVAL { BRM_DESTROYED = 0, BRM_SOLD = 1, BRM_CANCELLED = 2, BRM_PACKED = 3 };

// Build_CanUpgrade's answers, tested in this order.
enum BUILD_UPGRADE {
    BUP_OK = 0,
    BUP_NOUPGRADE = 1,
    BUP_BUSY = 2,
    BUP_NOCREDITS = 3,
    BUP_NOPREREQ = 4,
};

// --- the game

// Game specifics, after the scenario load: the prerequisite table, the
// kept units and minimap share of every complete building, the construct
// queue and automatic production.
void Build_StartGame(void);
// Automatic production off, the prerequisite table freed.
void Build_EndGame(void);

// Update step 4: the teams' resource accounts, then each building in list
// order: its sight swept when it isn't, removed below 1 hit point, else its
// efficiency, job, repair and store; then news of newly available types.
void Build_ProcessAll(void);

// Every 100 frames: the local team's power messages.
void Build_CheckPowerMessages(void);

// --- accounts and efficiency

// Each team's resource supply, usage and percent over its complete
// buildings that are not powered down.
void Build_ComputeAccounts(void);
// 0..100: 0 when not complete or powered down, else the lower of the
// hit-point curve and the resource curve.
int Build_ComputeEfficiency(const BUILDING* b);

// --- jobs

// Starts producing type in an idle complete maker of it whose team may
// make it and has at least its build cost; 1 when started (logged when not).
int Build_StartProduction(BUILDING* b, UNITTYPE* type);
// A producing building stops; the team gets back what it paid; 1 when it
// was producing.
int Build_CancelProduction(BUILDING* b);
// Pauses / resumes production; 1 when the building is producing.
int Build_SetPaused(BUILDING* b, int paused);
// BUP_* for b.
int Build_CanUpgrade(const BUILDING* b);
// Starts the upgrade when Build_CanUpgrade answers BUP_OK; 1 when started.
int Build_StartUpgrade(BUILDING* b);
// The unit's building package becomes a building unpacking at (x, y) when
// the placement test accepts it there; 1 then (the caller deletes the
// unit), else 0.
int Build_UnpackPackage(UNIT* u, int x, int y);
// An idle complete building whose type packs starts packing (state 8) for
// the type's pack time; the local team hears "MSG_SFXPACKUP". 1 when started.
int Build_StartPack(BUILDING* b);
// Idle -> powering down, off -> powering up; 1 when switched.
int Build_PowerToggle(BUILDING* b);
// A complete idle building with a sale value starts selling; 1 then.
int Build_Sell(BUILDING* b);
// A construction site is removed at once, its charges given back and its
// builder returned; 1 when it was a site.
int Build_CancelSite(BUILDING* b);
// Sets the repair request of a complete building; 1 then.
int Build_RequestRepair(BUILDING* b);
// The rally point of b, or of every building of b's team and type; 1 when
// (x, y) is a valid tile.
int Build_SetRallyPoint(BUILDING* b, int x, int y);
int Build_SetClusterRallyPoint(BUILDING* b, int x, int y);
// Empties each store of b worth more than its sale charge; the team gains
// the difference. The credits gained (0: nothing sold).
int Build_SellResources(BUILDING* b);

// --- stores and removal

// Changes the stored amount of resource r within 0..maxstored and returns
// the change; with flag set a gain also counts as collected by the team.
int Build_ChangeStoredResource(BUILDING* b, int r, int delta, int flag);
// Takes b out of the game: kept units deleted, minimap share given back,
// the maker inside deleted (destroyed), put back near the door (sold,
// cancelled) or left to the package (packed); then Build_Remove.
void Build_RemoveFromGame(BUILDING* b, int reason);
// Makes the units of the type's active parts on the building, kept in its
// bay slots (done once; again does nothing).
void Build_MakeKeptUnits(BUILDING* b);
