// Building types and buildings (placement, look-ups, handles, mini-buildings).
//
// Building types (BUILDINGTYPE, at most 60) come from the building-type
// file; buildings (BUILDING) from a pool, on the global list "buildings"
// (newest first, through next) and on their team's list
// (teamdata[team].firstbuilding, through teamnext/teamprev), linked into
// the map grid (list MGL_BUILDING of every cell the footprint touches).
//
// The footprint of a type is its overlay-effect grid (footprint): a w x h
// grid of {effect code, second} pairs; a cell whose code is
// EFFECTS_NOT_FOOTPRINT (31) is not part of the building. The type's width
// and height in tiles come from its first image (its pixel size divided by
// the tile's 24 pixels), not from the grid: cells of the width x height
// rectangle that the grid doesn't reach are not part of the building.
//
// What a placed building writes into the map (ours): each footprint tile's
// special-effect field takes the cell's effect code (codes 0..15 name the
// special effects that unit types' terrain tables rate, so a footprint
// decides through its codes whether units may cross it: the terrains rate
// code 0 impassable for ground units), except that the bay tile of a type
// with a bay takes the bay's code (BUILD_BAYCODE, open) whatever its grid
// holds, as types of one image share a grid and not all have a bay. The
// previous fields are kept in the building and put back when it is removed. While
// g_EditorKeepTerrain is set nothing is written. Whether a tile is occupied
// by a building is answered from the map grid (Build_AtTile), not from the
// element, so codes that units may cross still keep other buildings off.
//
// Ids: Build_New takes the game's unique id (1 or more, reserved) or -1 for
// a new one; any other id is refused. A removed
// record gets id -1 and a reused one a new id, so handles (BUILDID) never
// follow a removed building.
//
// Sight: a building has its sight swept (Fog_SweepBuilding) when it is
// placed and unswept when it is removed.
#pragma once

#include <cstdint>

#include "map/fog.h"
#include "units/buildid.h"
#include "units/explosion.h"
#include "units/prereq.h"
#include "units/unitlist.h"

struct OVLEFFECT;
struct HEALTHEXPL;
struct EXPLTYPE;
struct GAME_MSG;
struct SPRITE;
struct UNIT;
struct UNITTYPE;
struct OVERLAY;
struct MINIBUILDING;

enum {
    BUILD_MAXTYPES = 60,
    BUILD_NAME = 64,
    BUILD_FILENAME = 13,
    BUILD_RESOURCES = 5,
    BUILD_EQUIVALENTS = 4,
    BUILD_BAYUNITS = 4,
    BUILD_ACTIVEPARTS = 4,
    BUILDANIM_MAX = 8,
    BUILDACTION_MAX = 5,
    BUILD_MAXSIDE = 7,             // largest footprint side (signed 4-bit field)
    BUILD_BAYCODE = 4,             // the effect code of a bay (door) tile
    BUILD_DEPARTURE_DX = 5,        // departure point: tiles east of the door
};

// Building states (the play itself is in buildplay.h). 3, 4 and 6 are
// never entered. The power states are named apart from the boost states of
// units (BS_ON, BS_OFF, BS_DEC), which share the prefix.
enum BUILDING_STATE {
    BS_IDLE = 0,
    BS_BEINGBUILT = 1,
    BS_PRODUCING = 2,
    BS_SELLING = 5,
    BS_UPGRADING = 7,
    BS_PACKING = 8,
    BS_UNPACKING = 9,
    BS_POWERINGDOWN = 10,
    BS_POWEREDOFF = 11,
    BS_POWERINGUP = 12,
};

// A packed building carried by a unit (UNIT::building_package).
struct BUILDINGPACKAGE {
    BUILDINGTYPE* building_type;
    UNITID whomademe;
};

struct GLL;

// What automatic production keeps of a building (autoprod.h).
struct BUILD_APINFO {
    GLL* srclist;                  // producing buildings drawing on this one (BUILDID*), or null
    int32_t capacity;              // last computed production capacity
    int32_t source;                // producing a unit type
    int32_t usersetprimary;        // the player made it a primary maker
};

// Flag bits of a building type.
enum BUILDTYPE_FLAGS {
    BTF_CANREPAIR = 1 << 0,
    BTF_CANREARM = 1 << 1,
    BTF_CANREARMFLYER = 1 << 2,
    BTF_CANMAKE = 1 << 3,
    BTF_CANHEAL = 1 << 4,
    BTF_ISBRIDGE = 1 << 5,
    BTF_ISTELEPORT = 1 << 6,
    BTF_ASSOCIATEFLAG = 1 << 7,
    BTF_GIVESMINIMAP = 1 << 8,
    BTF_NOTBUILDEREATER = 1 << 9,
    BTF_BUILTFROMEDGE = 1 << 10,
};

enum { BUILD_TILEPIXELS = 24 };    // image pixels per footprint tile

// Spy effects.
enum { BSPY_NONE = 0, BSPY_HQ = 1, BSPY_RESOURCE = 2, BSPY_UNITPLAN = 3 };

struct BUILDTYPE_RESOURCE {
    int32_t production;
    int32_t maxstored;
    int32_t initial;
    int32_t salepercent;
    int32_t salecharge;
    int32_t supplytarget;          // -1 none
    int32_t supplypercent;
    int32_t need;
    int32_t keepdelivering;        // a full store still takes deliveries (no keyword sets it)
};

// An efficiency line through two points (b, a) and (d, c): efficiency a %
// at b % of hit points (or of the resource), c % at d %. The slope is 16.16
// fixed point; the intercept uses the slope's integer part.
struct BUILDTYPE_EFFICIENCY {
    uint8_t point[2][2];           // {a, b}, {c, d} as the file gives them
    int32_t slope;
    int32_t intercept;
};

struct BUILDTYPE_PART {
    char name[BUILD_NAME];
    UNITTYPE* type;
    int32_t x, y;
};

struct BUILDINGTYPE {
    int32_t index;                 // in the type table
    char name[BUILD_NAME];         // the symbol of DefineBuildingType
    char description[BUILD_NAME];
    char image[3][BUILD_FILENAME];
    char shadowimage[BUILD_FILENAME];
    SPRITE* sprite[3];             // images 1 to 3, loaded by name
    SPRITE* shadowsprite;          // null without a shadow image
    int32_t pixelw, pixelh;        // image 1's size in pixels
    OVLEFFECT* footprint;          // the grid named image[0]
    int8_t width, height;          // footprint size in tiles, from image 1
    int8_t bayx, bayy;             // bay (door) offset from the top-left tile, -1 none
    int8_t radarx, radary;         // signed 4-bit values, -1 none
    int8_t side;
    PREREQ prereq;
    int32_t cost;
    int32_t buildtime;
    int32_t maxhitpoints;
    int32_t hitpoints2;
    uint32_t flags;                // BUILDTYPE_FLAGS
    int32_t cratersize;            // 0..7 (MakesCrater)
    int32_t sell[2];
    int32_t stealtime;
    int32_t offtime, ontime;
    BUILDTYPE_EFFICIENCY efficiencyhp;   // over hit points
    BUILDTYPE_EFFICIENCY efficiencyres;  // over resources
    int32_t spytype;               // BSPY_*
    BUILDTYPE_RESOURCE resource[BUILD_RESOURCES];
    int32_t interface[2];
    int32_t actionindicator[BUILDACTION_MAX];  // overlay types, -1 none
    int32_t anim[BUILDANIM_MAX];               // sprite sections, -1 none
    int32_t cpuload;
    int32_t cpugainpercent;
    uint8_t seeingrange;           // tiles, 0..20
    uint8_t seeingheight;          // 0..15
    uint8_t rooms[2];              // the hold: most units held, largest total mass of one
    int32_t repaircost[2];
    int32_t defense;               // damage-table defence index, 255 none
    int32_t defensestrength;
    HEALTHEXPL* healthexplosions;
    BUILDTYPE_PART activepart[BUILD_ACTIVEPARTS];
    UNITTYPE* associatedunit;
    UNITTYPE* transportunit;
    int32_t packtime, unpacktime;
    int32_t teleportn;
    EXPLTYPE* teleportexpl;
    BUILDINGTYPE* upgradeto;
    BUILDINGTYPE* upgradefrom;
    BUILDINGTYPE* decoyof;         // this type is a decoy of that one
    BUILDINGTYPE* decoy;           // the decoy of this type
    int32_t nrequivalents;
    char equivalents[BUILD_EQUIVALENTS][BUILD_NAME];
    BUILDINGTYPE* equivalent[BUILD_EQUIVALENTS];   // resolved
    GAME_MSG* msgconstruct;
    GAME_MSG* msgcharged;
};

// The building type table and its count, read directly.
extern BUILDINGTYPE g_BuildingTypes[BUILD_MAXTYPES];
extern int g_NrBuildingTypes;

struct BUILDING {
    int32_t id;                    // -1 while the record is free
    int32_t team;                  // 0..8
    BUILDINGTYPE* buildingtype;
    int32_t tilex, tiley;          // top-left tile
    int32_t hitpoints;
    int32_t state;                 // BUILDING_STATE
    int32_t critical;
    int32_t complete;
    UNITID whomademe;
    int32_t departx, departy;      // departure point
    UNITID spy[9];                 // one spy slot per team
    UNITID bay[BUILD_BAYUNITS];
    UNITID associate;
    int32_t sightswept;            // the sight is swept (0: needs a fresh sweep)
    UNITLIST hold;
    int32_t stored[BUILD_RESOURCES];
    int32_t delivering;
    UNITTYPE* unittypetobuild;
    int32_t prodtime;              // the current job's work in all (its time x 100)
    int32_t prodleft;              // work still to do
    int32_t jobcost;               // what the current job costs in all
    int32_t costleft;              // what of it is still to pay (charged as the work goes)
    int32_t repairrequest;         // repair until the maximum, paying as it goes
    int32_t animsection;           // BUILDANIM_* the state shows, -1 none
    int32_t actionindicator;       // BUILDACTION_* the state shows, -1 none
    BUILD_APINFO ap;
    int32_t primary;
    int32_t paused;                // construction paused
    UNITLIST pickup;
    UNITLIST queue;                // service queue
    int32_t rallyx, rallyy;        // -1 none
    int32_t collected[BUILD_RESOURCES];
    OVERLAY* bottomoverlay;
    OVERLAY* topoverlay;
    OVERLAY* animoverlay;
    OVERLAY* shadowoverlay;
    MINIBUILDING* minib;
    SEEMAP seemap;
    uint8_t savedeffect[BUILD_MAXSIDE * BUILD_MAXSIDE];  // fields under the footprint
    int32_t effectswritten;
    int32_t efficiency;            // percent: how fast what it holds works (100 when made)
    EXPLID explosion;              // the health effect shown, ended with the building
    struct {
        int32_t account;           // the computer player's account that paid for its work
        int32_t refundable;        // committed to that work and not charged yet
    } ai;                          // zero when made
    BUILDING* next;                // global list
    BUILDING* teamnext;
    BUILDING* teamprev;
};

// The first building of the global list ("buildings").
extern BUILDING* g_Buildings;

// Empties the type table, the pool and the lists (the buildings layer's
// init); Build_CloseAll removes every building and frees what the types own.
void Build_InitAll(void);
void Build_CloseAll(void);
// The number of buildings in the game.
int Build_Count(void);

// The next building type, zeroed, with its index and the defaults (images
// "NONE", bay and radar -1, sell {0, 3}, steal time 200, off/on times 6,
// efficiency 100, supply targets -1, interface -1, action indicators and
// animations -1, defence 255); null after logging "max of %d building types
// defined" beyond BUILD_MAXTYPES.
BUILDINGTYPE* Build_NewType(void);
// Frees what every type owns (sprites, health explosions) and empties the
// table, so that the building-type file read again replaces the types.
void Build_FreeTypes(void);
// The index of the type of that name (case ignored), -1 when none.
int Textfile_FindBuildingType(const char* name);
// The footprint cell at (cx, cy) of the type is part of the building: inside
// the width x height rectangle and, with a grid, on a grid cell that is not
// EFFECTS_NOT_FOOTPRINT (a cell beyond the grid is not).
int Build_TypeCovers(const BUILDINGTYPE* type, int cx, int cy);

// A complete building of type for team with that id (-1: a new one) whose
// top-left tile is (x, y): placed (map, grid, team list, mini-building,
// sight), stores at their initial amounts, counted as made for the
// prerequisites, entered into automatic production; the effect codes its footprint
// writes are reported to the connected regions. Null (logged) for an
// invalid type, team, id (below 1 other than -1) or tile or a footprint off
// the map. Placement is not tested here
// (Build_ApplyEffects does that for callers who need it).
BUILDING* Build_New(BUILDINGTYPE* type, int team, int id, int x, int y);
// A construction site of type for team at (x, y): the same record in state
// BS_BEINGBUILT, not complete and not counted until it is; its job is the
// type's build time and its cost to pay the type's cost (the caller may
// record another cost and sets whomademe). Null as Build_New.
BUILDING* Build_NewConstructionSite(BUILDINGTYPE* type, int team, int x, int y);
// Removes it from the game at once (uncounted when complete, out of the
// construct queue and automatic production), ends its health effect and
// frees the record.
void Build_Remove(BUILDING* b);
// Hands the building to team (0..8): its team list, mini-building, sight and
// prerequisite count go with it; its units stay where they are.
void Build_ChangeTeam(BUILDING* b, int team);
// The building with that id, null when none or for a negative id.
BUILDING* Build_FindById(int id);
// The building's efficiency percentage (100 from its making until the
// buildings in play compute it from hit points and resources). Asserts b.
int Build_GetEfficiency(const BUILDING* b);
// The end of the scenario load; nothing to do.
void Build_PostScenarioLoad(void);

// The building whose footprint covers tile (x, y), or null.
BUILDING* Build_AtTile(int x, int y);
// The building whose door (bay) tile is (x, y), or null.
BUILDING* Build_AtDoorTile(int x, int y);
// 1 when type placed with its top-left at (bx, by) puts an effect code on
// tile (x, y) that the unit type's terrain table rates impassable (a bay its
// type may enter and a flyer's table pass); 0 for a tile the footprint
// doesn't cover or writes nothing on, and for a type without a table. Read
// from the type, so it answers in the editor too, where placed buildings
// leave the map as it was.
int Build_TypeBarsUnitType(const BUILDINGTYPE* type, int bx, int by, int x, int y, const UNITTYPE* utype);
// The same for the building whose footprint covers tile (x, y); 0 for none.
int Build_BarsUnitType(const UNITTYPE* utype, int x, int y);
// The building covering the tile under map pixel (px, py), or null.
BUILDING* Build_AtPixel(int px, int py);
// 1 when the unit's tile (ux, uy) is at the site of a type placed at (x, y):
// on the footprint or next to it.
int Build_AtConstructionSite(const BUILDINGTYPE* type, int x, int y, int ux, int uy);
// The nearest tile next to the footprint of type at (x, y) (nearest to
// (ux, uy), ties by a fixed order) that unit u can stand on (free at its
// level, passable for its type; any free valid tile without a unit);
// with flag set tiles on the footprint's edge count as well. 1 and the tile
// when found.
int Build_FindAccessTile(const BUILDINGTYPE* type, int x, int y, const UNIT* u, int ux, int uy,
                         int flag, int* outx, int* outy);
// The tile from which the unit attacks the building: the tile of its kept
// unit nearest the unit when it has any, else the access tile nearest the
// unit, else (none free, or no unit) the footprint tile nearest it.
void Build_GetAttackPoint(const BUILDING* b, const UNIT* u, int* outx, int* outy);
// The entrance tile nearest the unit (spies, saboteurs): the access tile
// nearest it, else the door.
int Build_NearestEntrance(const BUILDING* b, const UNIT* u, int* outx, int* outy);

int Build_IsIdle(const BUILDING* b);
int Build_HoldCount(const BUILDING* b);
int Build_IsConstructionPaused(const BUILDING* b);
// The type has a package (a transport unit).
int Build_CanPack(const BUILDING* b);
// Clears the primary mark of every building of the team whose type is type
// or in its upgrade chain.
void Build_ClearPrimary(int team, const BUILDINGTYPE* type);
// Unsweeps and sweeps again the sight of every building of the team
// (asserts "team>=0 && team<TEAM_MAXTEAMS").
void Build_ResweepTeamSight(int team);
// The team's stats.collected[i].
int Build_GetCollectedResource(int team, int i);

// Placement classes of Build_ApplyEffects' cell buffer.
enum BUILDPLACE {
    BPC_NONE = 0,          // not a footprint cell
    BPC_FREE = 1,
    BPC_OFFMAP = 2,
    BPC_BUILDING = 3,      // another building stands there
    BPC_UNIT = 4,          // a ground unit other than the builder stands there
    BPC_THING = 5,         // a thing or special effect lies there
    BPC_TERRAIN = 6,       // the builder's terrain table forbids it
    BPC_ALTITUDE = 7,      // not level with the footprint's first cell
    BPC_UNEXPLORED = 8,    // the builder's team hasn't explored it
};

// The placement test of type at top-left (x, y): non-zero when every
// footprint cell is free. builder (may be null) is the unit that builds: its
// team must have explored each cell, its terrain table must allow it, and
// it may stand on the footprint. self (may be null) is the building being
// tested itself, which doesn't block its own cells. With cells non-null it
// receives one BUILDPLACE byte per footprint cell, row by row (width x
// height bytes).
int Build_ApplyEffects(const UNIT* builder, const BUILDING* self, const BUILDINGTYPE* type, int x,
                       int y, uint8_t* cells);

// Grid membership of a building at the tile position stored in it.
void Mapgrid_AddBuilding(BUILDING* b, int x, int y);
void Mapgrid_RemoveBuilding(BUILDING* b, int x, int y);

// ------------------------------------------------------------------ health

enum { BUILD_MAXCROSSED = 101 };  // one per percentage: more than a change can cross in practice

// The entries of the type's health-explosion list that a change from oldhp
// to newhp hit points crosses, highest threshold first, into out (the
// first max of them); the number crossed. Percentages are hit points x 100 / maximum
// (integer); a type without a maximum crosses nothing.
int Build_HealthExplosionsCrossed(const BUILDINGTYPE* type, int oldhp, int newhp,
                                  HEALTHEXPL** out, int max);
// Sets the building's hit points, clamped to 0 .. the type's maximum. A rise
// ends the health effect shown; a fall starts the health explosion of every
// threshold it crossed, highest first, at the centre of the footprint in the
// team's colour, each ending the one before and kept as the building's
// explosion. The number of thresholds crossed.
int Build_SetHitpoints(BUILDING* b, int hitpoints);

// ------------------------------------------------------------------ mini-buildings

// What the minimap knows of a building.
struct MINIBUILDING {
    int32_t x, y;                  // top-left tile
    int32_t width, height;
    int32_t team;
    UNITID attached;               // an optional attached unit
    BUILDID building;
    int32_t seen;                  // 1 once the local team has seen it
    MINIBUILDING* next;
    MINIBUILDING* prev;
};

MINIBUILDING* MiniBuild_New(BUILDING* b);
// Unlinks it and returns it to the free list.
void MiniBuild_Free(MINIBUILDING* m);
// Calls fn for every mini-building the minimap shows: those of the local
// team and those the local team has seen.
void MiniBuild_ForEachVisible(void (*fn)(const MINIBUILDING* m, void* arg), void* arg);
// The first mini-building (newest first).
MINIBUILDING* MiniBuild_First(void);

// Update step 8: one slice of the things and mini-buildings has its
// visibility for the local team refreshed (seen now or not).
void Ovl_UpdateOverlayAndMiniBuildingVisibility(void);
// Registers where the visibility pass goes on (its two cursors) as global
// ULONG blocks: which things it looks at next is part of the game.
void Build_SaveVisibilityCursors(void);
// Registers the building list's head ("buildings"), the mini-buildings'
// head and each mini-building with its seen flag.
void Build_SaveAll(void);
// Zeroed records for a loaded building and mini-building, and records
// given back without unlinking them (a load's replaced or refused ones).
BUILDING* Build_AllocRecord(void);
void Build_FreeRecord(BUILDING* b);
MINIBUILDING* MiniBuild_AllocRecord(void);
void MiniBuild_FreeRecord(MINIBUILDING* m);
// While a load is checked: null when each team's buildings are in use, of
// that team, with a type, prev links and its footprint on the map; the
// building list holds exactly them; each lies once in every grid cell of
// its area and the grid's building lists hold nothing else; the
// mini-building list's links hold. Else what is wrong.
const char* Build_CheckLoaded(void);
// After a load was kept: the building count from the list.
void Build_AfterLoad(void);
