// Unit types and units.
//
// Unit types (UNITTYPE, at most 100) come from the unit-type file; units
// (UNIT) from a pool with a free list. A unit is on exactly one list of its
// team: teamdata[team].unitlist[movemode] while it is on the map,
// teamdata[team].offmaplist while it is off it (inside a building or a
// hold), linked through next/prev; new units go to the front of their list.
// A unit on the map is linked into the map grid (list MGL_UNIT of the cell
// of its tile) and claims the map element of its tile at its map level. The
// unit keeps the index of the cell it is linked in (gridcell), so it leaves
// that cell even when its tile position was written behind the grid's back;
// tile changes of a unit on the map go through Units_ChangeTile.
//
// Ids: Units_NewAt and friends take the game's unique id to use (1 or more,
// reserved with Uid_Reserve), or -1 for a new one (Uid_Next); any other id
// is refused. A record is live while inuse is set; a deleted record gets id
// -1 and a reused record a new id, so handles (UNITID) to a deleted unit are
// never followed.
//
// Every unit made gets the next number of a making sequence (seq); the walk
// over every unit (Iterate_UnitInitAll) goes by it.
//
// Sight: a unit on the map has its sight swept (Fog_SweepUnit) when it is
// added to the map and unswept when it leaves it.
#pragma once

#include <cstdint>

#include "core/textfile.h"
#include "map/fog.h"
#include "map/path.h"
#include "platform/sound.h"
#include "units/prereq.h"
#include "units/buildid.h"
#include "units/target.h"
#include "units/unitlist.h"

struct TRAIL;
struct WAYPOINT;
struct OVERLAYTYPE;
struct EFFECTTYPE;
struct SPRITE;
struct EXPLTYPE;
struct BUILDING;
struct BUILDINGTYPE;
struct BUILDINGPACKAGE;
struct DISPLAYELEMENT;
struct GAME_MSG;
struct PART;
struct PARTTYPE;
struct WEAPONTYPE;

enum MOVEMODE {
    MM_FLY = 0,
    MM_HOVER = 1,
    MM_FIXED = 2,
    MM_GROUND = 3,
    MM_TUNNEL = 4,
    MM_MODES = 5,
    MM_ALL = 6,          // iterator filter: every mode
};

enum UNITSTATE {
    US_NONE = 0,         // stationary
    US_MOVING = 1,
    US_WAITFOROBSTACLE = 2,
    US_WAITFORPATH = 3,
    US_WAITING = 4,
    US_ACTING = 5,
    US_FIRING = 6,
    US_FIRINGONCE = 7,
    US_PHASING = 8,
    US_UNPHASING = 9,
};

enum UNIT_ATTACKMODE { UAM_FIRE = 0, UAM_FIRENOMV = 1, UAM_DEFAULT = 2 };
enum TACTAI_LEVEL { TACTAI_LOW = 0, TACTAI_MEDIUM = 1, TACTAI_HIGH = 2, TACTAI_MAX = 3 };
typedef TACTAI_LEVEL TACTICAL_AI_LEVELS;
enum SPYMODE {
    SPY_SPY = 0, SPY_RETURNPLANS = 1, SPY_SPYING = 2, SPY_STEAL = 3, SPY_LEAVE = 4,
    SPY_EJECTALL = 5,
};
enum SERVICE_STATE {
    SERVICE_MOVING_TO_QUEUE = 0, SERVICE_MOVING_TO_BAY = 1, SERVICE_SERVICING = 2,
    SERVICE_MOVING_BACK = 3,
};
enum UNIT_OPERATION { UO_NONE = 0, UO_CONVERT = 1, UO_MORPHUNIT = 2, UO_MORPHOVL = 3 };
enum DECOY_MODE { DM_NONE = 0, DM_ISDECOY = 1, DM_HASDECOY = 2 };
enum BOOST_STATE { BS_OFF = 0, BS_ON = 1, BS_DEC = 2 };
// Service order codes (the records of the slots below).
enum SORDER_CODE {
    SO_NONE = 0, SO_ATTACK = 1, SO_MOVE = 2, SO_CONSTRUCT = 3, SO_SPY = 4,
    SO_SABOTAGE_BUILDING = 5, SO_TRAIL = 6, SO_BOARD = 7, SO_BOARDBLD = 8, SO_GRABUNIT = 9,
    SO_PICKUP = 10, SO_REPAIRSELF = 11, SO_REARMSELF = 12, SO_MORPHOVL = 13, SO_MORPHUNIT = 14,
    SO_UNMORPH = 15, SO_AUTOMOVE = 16, SO_DUMMY = 17,
};
// Render types of a unit's parts.
enum UNIT_RENDER {
    UR_OPAQUE = 0, UR_TRANSLUCENT_A0 = 3, UR_TRANSLUCENT_B0 = 5, UR_TRANSLUCENT_B1 = 6,
    UR_HIDDEN = 7, UR_HILITE = 8,
};

enum {
    UNITS_MAXTYPES = 100,
    UNITS_FLYERALT = 16,
    UNITTYPE_NAME = 64,
    UNITTYPE_FILENAME = 13,
    UNITTYPE_BLDPAIRS = 4,
    UNITTYPE_MAXPARTS = 3,
    UNITTYPE_SOUNDSETS = 4,
    UNITTYPE_SOUNDS = 4,
    UNIT_RESOURCES = 5,
    UNITS_MAXSTOLEN = 4,
};

// ------------------------------------------------------------------ unit types

struct UNITTYPE_ABILITIES {
    uint32_t canidle : 1;
    uint32_t ishuman : 1;
    uint32_t noedit : 1;
    uint32_t canblend : 1;
    uint32_t cangrab : 1;
    uint32_t canspy : 1;
    uint32_t cansabotage : 1;
    uint32_t canboomerang : 1;
    uint32_t canboost : 1;
    uint32_t canalternate : 1;
    uint32_t canveteran : 1;
    uint32_t canphase : 1;
    uint32_t canmorphovl : 1;
    uint32_t canmorphunit : 1;
    uint32_t canbemorphedinto : 1;
    uint32_t weaponcharge : 1;
    uint32_t noautotarget : 1;
    uint32_t canselfdestruct : 1;
    uint32_t isshredder : 1;       // a part carries a shredder weapon (shredderinfo)
    uint32_t canbuild : 1;         // a building type names it as maker (no keyword)
    uint32_t canheal : 1;          // a part carries a repair weapon (no keyword)
};

struct UNITTYPE_TYPEINFO {         // a unit type named in the file and a number
    char name[UNITTYPE_NAME];
    struct UNITTYPE* type;         // resolved by Units_PostProcessAllTypes
    int32_t n, m;
};

struct UNITTYPE_EXPLINFO {
    EXPLTYPE* expltype;
    int32_t n;
};

struct UNITTYPE_BLDPAIR {
    char src[UNITTYPE_NAME];
    char dst[UNITTYPE_NAME];
    int32_t n;                     // the resource carried
    BUILDINGTYPE* srctype;         // resolved by Units_PostProcessAllTypes (null: unknown)
    BUILDINGTYPE* dsttype;
};

struct UNITTYPE_FACINGANIM {
    int32_t facing;                // 0..255, -1 none
    int32_t n;
};

enum { UNITTYPE_SOUNDVOLUME = 80 };

// Set 0 the select sounds, set 1 the response sounds.
struct UNITTYPE_SOUNDSET {
    int32_t count;
    char file[UNITTYPE_SOUNDS][UNITTYPE_FILENAME];
    SOUND_EFFECT effect[UNITTYPE_SOUNDS];
};

struct UNITTYPE {
    int32_t unittypeid;            // index in the type table
    char symbolid[UNITTYPE_NAME];
    char description[UNITTYPE_NAME];
    char menuspritefname[UNITTYPE_FILENAME];
    char shadowspritefname[UNITTYPE_FILENAME];
    SPRITE* menusprite;
    SPRITE* shadowsprite;
    UNITTYPE_SOUNDSET sound[UNITTYPE_SOUNDSETS];
    GAME_MSG* msgconstruct;
    GAME_MSG* msgcharged;
    int32_t commandpointsload;
    uint8_t side;
    uint16_t buildcost;
    uint16_t buildtime;
    int32_t stealtime;
    char effectsym[UNITTYPE_NAME];
    EFFECTTYPE* effects;           // terrain effects, null: every tile speed 100, climb 1
    int32_t defmovemode;           // MOVEMODE
    int32_t defmaplevel;           // MAP_LEVEL
    int32_t defattackmode;         // UNIT_ATTACKMODE
    PREREQ prereq;
    int32_t maxhitpoints;
    uint8_t mass;
    uint8_t speed;
    uint8_t hitsize;
    uint8_t seeingrange;           // tiles
    int32_t defense;               // damage-table defence index, 255 none
    int32_t defensestrength;
    uint8_t hold;                  // units carried
    uint8_t holdmass;
    struct {
        int32_t count;
        UNITTYPE_BLDPAIR pair[UNITTYPE_BLDPAIRS];
    } bldpairs;
    int32_t resource[UNIT_RESOURCES][3];
    UNITTYPE_FACINGANIM transportload;
    UNITTYPE_FACINGANIM transportunload;
    int32_t idleanimationinfo[4];  // {min delay, max delay, min anim, max anim}
    UNITTYPE_ABILITIES abilities;
    int32_t decoy;                 // DECOY_MODE
    UNITTYPE_TYPEINFO decoyinfo;
    UNITTYPE_TYPEINFO grabinfo;
    int32_t spyinfo[2];
    int32_t sabotageinfo[3];
    UNITTYPE_TYPEINFO alternateinfo;
    UNITTYPE_TYPEINFO veteraninfo;
    struct {
        int32_t a, b, c;
        char text[UNITTYPE_NAME];
        BUILDINGTYPE* buildingtype; // the phase building type resolved from text
    } phaseinfo;
    UNITTYPE_EXPLINFO morphovlinfo;
    UNITTYPE_EXPLINFO morphunitinfo;
    int32_t weaponchargeinfo;
    struct {
        int32_t attack, defence;
        char squishsound[UNITTYPE_FILENAME];
        SOUND_EFFECT squish;
    } rundowninfo;
    WEAPONTYPE* shredderinfo;      // the shredder weapon, none unless isshredder
    struct {
        int32_t nrparts;
        PARTTYPE* parttype[UNITTYPE_MAXPARTS]; // from the base part up
    } partinfo;
    int32_t scandelay;
};

// The next unit type with its defaults (move mode MM_GROUND, map level 1,
// attack mode UAM_FIRE, defence 255, hit points 50, scan delay 20, steal
// time 200, build cost 100, build time 100, mass 5, speed 10, seeing range 5,
// hold 0, hold mass 2, transport facings -1, abilities off); null after
// logging "max of %d unit types defined" beyond UNITS_MAXTYPES.
UNITTYPE* Units_NewType(void);
// Type by index (null outside), count, by symbol (case ignored; null).
UNITTYPE* Units_GetTypePtr(int index);
int Units_UnitTypeCount(void);
UNITTYPE* Units_SymToTypePtr(const char* name);
// 1 when the type is usable, else 0 after logging why, checked in this
// order: "[%s] - no description", then a symbol, a menu image with its
// sprite, effects, a defence, the move mode, hit points, speed, the part
// count, a base part, prerequisites (a type id), a non-human type that can be
// morphed into, and last "[%s] - non-human cannot morph into unit".
int Units_IsValidType(const UNITTYPE* type);
// Resolves the types' cross-references by name (grab, alternate, veteran,
// decoy types); an unknown name is logged and left unresolved.
void Units_PostProcessAllTypes(void);
// Reloads every type's menu and shadow sprite in place, in table order, then
// the part types' sprites; fatal "Unable to reload [%s]" or "Incompatible
// sprites [%s] and [%s]" (Textfile_ReloadSprite).
void Units_ReloadTypeSprites(void);
// Forgets every unit type, releasing its menu and shadow sprites, with the
// start units and unit equivalents that name them (MpTeams_ForgetUnits).
void Units_FreeTypes(void);

// ------------------------------------------------------------------ units

struct TILEPOS;
struct MAP_ELEMENT;

struct UNIT_POS {
    int32_t x, y;
};

struct UNIT_TACTAI {
    int32_t tenacity;
    int32_t autonomy;
    int32_t selfpreservation;
};

struct tagSO_ATTACK {
    TARGET target;
    UNIT_POS homepos;              // the tile it returns to
    UNIT_POS destpos;              // -1, -1: none
};

struct tagSO_BOARD {
    UNITID unit;                   // the carrier
    int32_t retries;               // walks towards it so far
};

struct tagSO_MOVE {
    UNIT_POS destpos;
    uint32_t groupid;
    int32_t retries;
};

struct tagSO_CONSTRUCT {
    int32_t retries;
    int32_t buildtype;             // building type index
    UNIT_POS topleftpos;
};

struct tagSO_SPY {
    BUILDID building;
    int32_t mode;                  // SPYMODE
    int32_t retries;
    int32_t destx, desty;          // the entrance tile
    int32_t exitx, exity;          // where it went in
    int32_t timeleft;
    uint16_t stealid;
    int32_t stealtime;
    int32_t stealmax;
    int32_t effect;                // the spy effect it applied inside (0 none)
};

struct tagSO_SABOTAGE {
    BUILDID building;
    UNITID unit;
    int32_t sabotageleft;
    int32_t retries;
};

struct tagSO_TRAIL {
    uint8_t didtrailwait;
    int32_t followstate;           // kept by the trail module
    int32_t mode;                  // TRAIL_MODE
    TRAIL* trail;
    WAYPOINT* waypoint;            // null: none
};

struct tagSO_BOARDBLD {
    BUILDID building;
    int32_t retries;
};

struct tagSO_GRABUNIT {
    UNITID unit;
    int32_t retries;
};

struct tagSO_PICKUP {
    int32_t retries;
};

struct tagSO_SERVICESELF {
    BUILDID b;
    UNIT_POS returnpos;
    int32_t state;                 // SERVICE_STATE
};

struct tagSO_MORPHOVL {
    OVERLAYTYPE* otypeinto;
    int32_t countdown;
};

struct tagSO_MORPHUNIT {
    UNITTYPE* utypeinto;
    int32_t teaminto;
    int32_t countdown;
};

struct tagSO_UNMORPH {
    int32_t countdown;
};

struct tagSO_AUTOMOVE {
    int32_t level;                 // TACTICAL_AI_LEVELS
    int32_t retreat;               // 1 while the leg under way is a retreat
};

// An order slot: the code says which record of the union is in use.
struct STANDINGORDERINFO {
    int32_t code;                  // SORDER_CODE
    int32_t nextscantime;          // the update before which it does not run
    union {
        tagSO_ATTACK attack;
        tagSO_MOVE move;
        tagSO_CONSTRUCT construct;
        tagSO_SPY spy;
        tagSO_SABOTAGE sabotage;
        tagSO_TRAIL trail;
        tagSO_BOARD board;
        tagSO_BOARDBLD boardbld;
        tagSO_GRABUNIT grabunit;
        tagSO_PICKUP pickup;
        tagSO_SERVICESELF serviceself;
        tagSO_MORPHOVL morphovl;
        tagSO_MORPHUNIT morphunit;
        tagSO_UNMORPH unmorph;
        tagSO_AUTOMOVE automove;
    };
};

enum UNITNEXTSTATETYPE {
    UNS_NONE = 0,
    UNS_STOP = 1,
    UNS_WAIT = 2,
    UNS_MOVE = 3,
    UNS_ROTATE = 4,
    UNS_FIRE = 5,
    UNS_FIREONCE = 6,
    UNS_WAITFOROBSTACLE = 7,
    UNS_PHASE = 8,
    UNS_UNPHASE = 9,
};

// The command that runs when the current tile step ends.
struct UNITNEXTSTATE {
    int32_t type;                  // UNITNEXTSTATETYPE
    int32_t pushedtype;            // kept across surfacing from the tunnel level
    union {
        struct { int32_t x, y; uint32_t groupid; } move;
        struct { int32_t facing; } rotate;
        struct { int32_t updates; } wait;
        struct { TARGET target; } fire;
        struct { TARGET target; } fireonce;
    };
};

// A point of a step curve: pixels from the source tile and the facing
// offset from the base facing. Saved games store the table, so the layout
// is three signed bytes.
struct PIXELARRAY {
    int8_t xoff;
    int8_t yoff;
    int8_t facing;
};

// How a curve drawn eastward or north-eastward is turned into the real
// direction: negate x, negate y, then swap the axes.
struct MOVETRANSLATE {
    uint8_t negatex;
    uint8_t negatey;
    uint8_t swapxy;
};

enum { MOVE_ACCELERATION = 3 };

struct UNIT_MOVE {
    PATH path;                     // the steps still to walk
    uint32_t groupid;
    UNIT_POS srchtilepos;          // where the path search goes
    UNIT_POS srctilepos;           // the tile the current step started from
    int32_t facing;
    int32_t basefacing;
    uint32_t waituntil;            // update number: a timed wait's end, an obstacle wait's patience
    int32_t pathready;             // the search stored a path
    uint8_t curspeed;              // step speed now, ramps towards targetspeed
    uint8_t targetspeed;
    uint8_t curvepos;              // 0..99 within the step
    MOVETRANSLATE translate;
    const PIXELARRAY* pixelarray;  // the step's curve: 100 points in g_StepCurves
};

struct UNIT_OPERATIONINFO {
    int32_t code;                  // UNIT_OPERATION
    int32_t duration;
    int32_t counter;
};

struct UNIT_BOOST {
    int32_t state;
    int32_t counter;
    int32_t fadespeed;
    int32_t floor;
};

enum { UNITS_IGIGROUPS = 10 };      // the interface's control groups

struct UNIT_INTERFACEINFO {
    uint8_t group[UNITS_IGIGROUPS]; // 1 while in that control group
};

struct UNIT {
    UNITTYPE* type;
    int32_t id;                    // -1 while the record is free
    int8_t team;                   // 0..8
    int32_t movemode;              // MOVEMODE
    int32_t maplevel;              // MAP_LEVEL
    int32_t state;                 // UNITSTATE
    int32_t idledelay;
    uint32_t iscaptured : 1;
    uint32_t onmap : 1;
    uint32_t isblended : 1;
    uint32_t isphased : 1;
    uint32_t isanimating : 1;
    uint32_t ischarging : 1;
    uint32_t inuse : 1;            // made and not deleted
    uint8_t seen[9];               // per viewing team
    uint8_t ever_seen[9];
    uint8_t apparentteam[9];       // per viewing team: the team it takes the unit for
    int32_t resource[UNIT_RESOURCES];
    TRAIL* localtrail;             // made with the unit
    int32_t trailmode;
    STANDINGORDERINFO sorder;
    STANDINGORDERINFO snextorder;
    UNIT_TACTAI tactaiinfo;
    struct {
        void* squad;               // the computer player's squad, null in none
        int32_t arrived;
        uint16_t cc_construct_type;   // building a crew is to build, 0 unassigned
        int32_t cc_construct_cost;
        int32_t cc_constructing;
        int32_t cc_account;
        int32_t cc_reserved_area;     // -1 none
        int32_t resource_type;
        int32_t producer_id;
        int32_t consumer_id;
    } ai;                          // cleared when made
    UNIT_TACTAI usertactaiinfo;
    int32_t hitpoints;
    uint32_t experience;
    int32_t liferemaining;
    int32_t chargeremaining;
    BUILDINGPACKAGE* building_package; // owned: freed with the unit
    UNITTYPE* alternate_utype;
    UNIT_OPERATIONINFO operation;
    UNIT_BOOST boost;
    struct {
        int32_t nrplans;
        uint16_t plans[UNITS_MAXSTOLEN]; // prerequisite ids of stolen plans
    } spy;
    UNIT_POS tilepos;
    UNIT_POS pixelpos;             // top-left pixel of the tile: tile x 24
    UNITLIST hold;                 // units carried
    BUILDID associate;         // home transport building
    BUILDID partof;            // the building the unit is inside
    UNITNEXTSTATE nextstate;
    UNIT_MOVE move;
    PART* basepart;                // the lowest part: its body (none before its parts are made)
    DISPLAYELEMENT* shadowdisplay; // the type's shadow under the base part
    UNIT_INTERFACEINFO interfaceinfo; // the local interface's view: not game state
    SEEMAP seemap;                 // the unit's last sight sweep
    int32_t gridcell;              // map-grid cell index it is linked in, -1: none
    UNIT_POS claimpos;             // the tile whose map element it claims
    int32_t claimlevel;            // that element's map level, -1: none claimed
    uint32_t seq;                  // place in the making sequence, from 1
    UNIT* next;                    // on the team's list
    UNIT* prev;
};

// Switches of the scenario editor: while g_EditorKeepTerrain is set a newly
// placed building leaves the map elements under it unchanged; while
// g_EditorPartsKeepMode is set part updates keep their display mode.
extern int g_EditorKeepTerrain;
extern int g_EditorPartsKeepMode;

// Empties the unit pool and the phase-effect list (the units layer's init);
// Units_CloseAll deletes every unit and frees the pool.
void Units_InitAll(void);
void Units_CloseAll(void);
// The number of units in use.
int Units_Count(void);
// The making sequence: the unit in use with the smallest seq above `after`
// and below `before`, null when none. Units_NextSeq is the seq the next
// unit made will get.
UNIT* Units_MadeAfter(uint32_t after, uint32_t before);
uint32_t Units_NextSeq(void);
// Sets the seq the next unit made gets (a loaded game's); never at or below
// the seq of a unit in play.
void Units_SetNextSeq(uint32_t seq);

// --- saved games ---
// A zeroed record from the unit pool for a loaded unit, in play nowhere;
// Units_FreeRecord gives a record back without unlinking it from anything
// (a refused load's new unit, or a kept load's replaced one).
UNIT* Units_AllocRecord(void);
void Units_FreeRecord(UNIT* u);
// While a load is checked: null when every unit of the teams' lists is in
// use, of its list's team, on the map exactly on its move mode's list with
// its gridcell the cell of its tile and that cell holding it, its making
// sequence number unique, its parts a chain standing on it, a search
// target on the map when it waits for a path; when the
// grid's unit lists hold nothing else. Else what is wrong.
const char* Units_CheckLoaded(void);
// After a load was kept, before the staged counters come back: the live
// count and the making sequence rebuilt from the teams' lists.
void Units_AfterLoad(void);

// A unit of type for team with that id (-1: a new one) on the map at tile
// (x, y) (asserts 0 < x < mapsizex, 0 < y < mapsizey); null (logged, no
// record taken) when the type, team or id is invalid.
UNIT* Units_NewAt(UNITTYPE* type, int team, int id, int x, int y);
// Makes a unit again in an existing (deleted or fresh) record, off the map;
// null (logged "Units_NewKeepPtr: invalid id %d for %s") for an id below 1
// other than -1, and for a record still in use.
UNIT* Units_NewKeepPtr(UNIT* u, UNITTYPE* type, int team, int id);
// The same and puts it on the map at (x, y).
UNIT* Units_NewAtKeepPtr(UNIT* u, UNITTYPE* type, int team, int id, int x, int y);
// Removes the unit from the map and its lists and frees the record; a
// record not in use is left alone.
void Units_Delete(UNIT* u);
// The same but keeps the record (id -1) for Units_NewKeepPtr.
void Units_DeleteKeepPtr(UNIT* u);

// Tile and pixel position (asserts "x<mapsizex", "y<mapsizey"); a unit on
// the map moves to the grid cell of the new tile. Claims and sight stay:
// moving a unit on the map is Units_ChangeTile.
void Units_SetUnitPosition(UNIT* u, int x, int y);
// The one way a unit on the map changes tile: unsweeps its sight, releases
// its tile, sets the position (and grid cell), claims the new tile and
// sweeps its sight there. Off the map only the position is set.
void Units_ChangeTile(UNIT* u, int x, int y);
// Puts an off-map unit on the map (asserts "!u->onmap"): claims its tile,
// links it into the map grid and its team's on-map list, sweeps its sight.
void Units_AddToMap(UNIT* u);
// The reverse (asserts "u->onmap"); leaves the grid cell the unit is linked
// in whatever its tile position says (asserts that it was there).
void Units_RemoveFromMap(UNIT* u);
// Claim the map element of the unit's tile at its map level (releasing an
// earlier claim elsewhere) / release the element it claimed, wherever its
// position says it is now; a conflict is logged "%s (%d) claimed %d,%d but owned by %s (%d)" /
// "%s (%d) unclaimed %d,%d but owned by %s (%d)".
void Units_ClaimTile(UNIT* u);
void Units_UnclaimTile(UNIT* u);
// idledelay = a synchronised random value between the first two values of
// the type's idleanimationinfo.
void Units_ResetIdleDelay(UNIT* u);
// The display of the unit's parts (the parts module draws units; until then
// these keep the records only).
void Units_UpdateDisplayPos(UNIT* u);
void Units_ShowDisplay(UNIT* u);
void Units_HideDisplay(UNIT* u);
// Moves an off-map unit to another team's off-map list and sets its team.
void Units_MoveToTeamList(UNIT* u, int team);

// Sight of every unit of the team removed and swept again (asserts
// "team >= 0 && team < TEAM_MAXTEAMS").
void Units_UpdateRelationRelatedInformationForTeam(int team);

// ------------------------------------------------------------------ look-ups

// Move group ids: a counter from 1 that never gives 0.
void Units_ResetGroupIds(void);
uint32_t Units_AllocGroupId(void);
// The counter, for saving and loading a game (0 is taken as 1).
uint32_t Units_GetGroupIdCounter(void);
void Units_SetGroupIdCounter(uint32_t value);
// The first unit with that id among the on-map units of team (0..8), or of
// every team for any other value; null when none.
UNIT* Units_IdToUnitPtr(int id, int team);
// The same over the off-map lists.
UNIT* Units_IdToUnitPtrOffMap(int id, int team);
// The unit of that level of the tile's element (asserts
// "level>=0 && level<ML_MAX").
UNIT* Units_UnitAtMapLevel(int level, int x, int y);
int Units_GetMapLevel(int movemode);
// 1 exactly when the unit's state is US_NONE.
int Units_IsStationary(const UNIT* u);
int Units_GetDisplayLayer(const UNIT* u);
int Units_GetAltitude(const UNIT* u);
int Units_IsFlyUnit(const UNIT* u);
int Units_IsHoverUnit(const UNIT* u);
int Units_IsGroundUnit(const UNIT* u);
int Units_IsTunnelUnit(const UNIT* u);
int Units_IsHumanUnit(const UNIT* u);
// The speed percentage and climb limit of the tile for the type; answers
// the speed.
int Units_GetTileEffects(const UNITTYPE* type, int x, int y, int* speed, int* climb);
// The cell {speed, climb} of a terrain-effects table that a map element
// picks: the cell of its special effect, or for none (and for a field past
// the table's 16 special effects) the cell of its tile's texture effects
// (Tile_GetEffects: row bits 0..3, column bits 18..20).
const uint8_t* Units_EffectCell(const EFFECTTYPE* table, const MAP_ELEMENT* e);
// The cell that step costs read: the same, except that without a special
// effect the tile word itself names the row and column.
const uint8_t* Units_CostCell(const EFFECTTYPE* table, const MAP_ELEMENT* e);
int Units_IsImpassible(const UNITTYPE* type, int x, int y);
int Units_AbleToMove(const UNIT* u, int x1, int y1, int x2, int y2);
int Units_CalculateSpeed(const UNIT* u, int x1, int y1, int x2, int y2);
// The nearest free tile for the unit within maxdist rings of (x, y); 1 when
// found.
int Units_ClosestLocation(const UNIT* u, int x, int y, int* outx, int* outy, int maxdist);
// 1 when a unit chosen by (team, selector) through Iterate_UnitInit(team,
// selector, MM_ALL) lies within r tiles / inside the rectangle.
int Units_RelationInCircle(int x, int y, int r, int team, int selector);
int Units_RelationInRectangle(int x1, int y1, int x2, int y2, int team, int selector);

// ------------------------------------------------------------------ phase effects

struct PHASEEFF {
    int32_t x, y;                  // pixels (tile x 24)
    int32_t unitid;
    int32_t team;
    int32_t nonhuman;
    PHASEEFF* next;
};

// Pushes a phase node for the unit onto the list the display draws over
// phased units.
void PhaseEff_Add(const UNIT* u);
// Removes that unit's node (nothing when none).
void PhaseEff_Remove(int unitid);
// The first node (newest first), null when none.
PHASEEFF* PhaseEff_First(void);
void PhaseEff_FreeAll(void);
