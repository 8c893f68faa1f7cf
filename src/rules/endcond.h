// End conditions: the condition trees of every team and the machine that
// runs them.
//
// Each team can carry two trees of numbered states: the end-condition tree,
// which decides when the team has won, and the state machine, which walks a
// computer player through a mission. A state holds conditions (a criterion
// and the state to enter when it holds; 0 means the team has won) and the
// actions performed on entering it. Trees are read by tfendcnd.cpp, run
// here, and their criteria evaluated in endcrit.cpp.
//
// The machine is a rotation: every update advances one tree, so each of the
// 18 trees is looked at once every 36 updates and its clock advances by 36
// each time. Team t's state machine comes up two calls before the
// end-condition tree of team t + 1. A condition that fires may hold back the
// clocks of both of its team's trees (the carried delay).
//
// Everything is kept in the plain record g_Endcond, which a saved game
// stores whole; the criteria's own memory (counters, latches, shrinking id
// lists) lives in the trees.
#pragma once

#include <cstdint>

struct GLL;
struct REGION;
struct AIP_struct;

enum ENDCOND_KIND { ENDCOND_END = 0, ENDCOND_FSM = 1 };

enum {
    ENDCOND_TEAMS = 9,
    ENDCOND_ROTATION = 36,        // updates between two looks at one tree
    ENDCOND_MAXELAPSED = 0x7FFFFFFF - ENDCOND_ROTATION,  // where a tree's clock stops
    CONDITION_TEXT = 60,          // 59 characters and the terminator
    CONDSTATE_FILENAME = 13,
    GAMEMSG_DATA_SYM = 64,
};

// Criterion kinds: the node's type field.
enum CRIT_KIND {
    CRIT_OR = 0, CRIT_AND = 1, CRIT_NOT = 2, CRIT_HOLDREGION = 3, CRIT_HARASSREGION = 4,
    CRIT_BUILDBUILDING = 5, CRIT_BUILDUNIT = 6, CRIT_MOVEUNITSTOREGION = 7,
    CRIT_DESTROYBUILDING = 8, CRIT_DESTROYUNIT = 9, CRIT_CAPTUREUNIT = 10,
    CRIT_COLLECTMINERAL = 11, CRIT_COLLECTWATER = 12, CRIT_KILLTEAMUNITS = 13,
    CRIT_KILLENEMYUNITS = 14, CRIT_DESTROYTEAMBUILDINGS = 15, CRIT_DESTROYENEMYBUILDINGS = 16,
    CRIT_KILLALL = 17, CRIT_KILLALLANDALLIES = 18, CRIT_DESTROYBUILDINGTYPE = 19,
    CRIT_MOREUNITSTHANENEMY = 20, CRIT_LESSUNITSTHANENEMY = 21, CRIT_TIMER = 22,
    CRIT_TIMERGAME = 23, CRIT_STEALPLAN = 24, CRIT_ENEMYINREGION = 25, CRIT_INREGION = 26,
    CRIT_BEGINBUILDBUILDING = 27, CRIT_HAVECREDITS = 28, CRIT_TEAMINREGION = 29,
    CRIT_KILLUNITTYPE = 30, CRIT_ONCE = 31,
    CRIT_KINDS = 32,
};

struct CRITERIA;

struct CRITNODE_BOOLEAN {
    GLL* nodes;                   // CRITERIA*, in file order
};
struct CRITNODE_UNARY {
    CRITERIA* node;
    int32_t latch;
};
struct CRITNODE_USEREGION {
    int32_t team;
    int32_t regionid;
    REGION* region;
    int32_t a, b;                 // count / threshold, spare / flags
    int32_t counter;
};
struct CRITNODE_BUILDITEM {
    int32_t regionid;
    REGION* region;               // null: anywhere
    char* itemname;
    int32_t itemid;               // 0 not looked up yet, -1 unknown, else a prerequisite id
    int32_t count;
    int32_t team;
};
struct CRITNODE_DESTROYITEM {
    int32_t regionid;
    REGION* region;
    GLL* idlist;                  // int*, ids still to destroy, capture or move
    int32_t count;
    int32_t allowed;              // ids that may remain
};
struct CRITNODE_AMOUNT {          // resources collected, credits held
    int32_t amount;
};
struct CRITNODE_KILLENEMY {
    int32_t team;
    int32_t percent;
};
struct CRITNODE_TIMER {
    int32_t time;
    int32_t deadline;
};
struct CRITNODE_STEALPLAN {
    char* plan_name;
    uint16_t planid;              // 0 until looked up
    uint8_t team;
};

struct CRITERIA {
    uint16_t type;                // CRIT_KIND
    union {
        CRITNODE_BOOLEAN boolean;
        CRITNODE_UNARY unary;
        CRITNODE_USEREGION useregion;
        CRITNODE_BUILDITEM builditem;
        CRITNODE_DESTROYITEM destroyitem;
        CRITNODE_AMOUNT amount;
        CRITNODE_KILLENEMY killenemy;
        CRITNODE_TIMER timer;
        CRITNODE_STEALPLAN stealplan;
    };
};

struct CONDITION {
    int32_t next;                 // state to enter, 0: the team has won
    int32_t delay;
    int32_t expiry;               // counts while elapsed < expiry (0: always)
    int32_t spare;
    CRITERIA* criteria;
    char text[CONDITION_TEXT];
};

struct TRIGSF { int32_t force, region; };
struct GIVESF { int32_t force, team; };
struct GIVEBONUSCREDITS { int32_t team, amount; };
struct GAMEMSG_DATA { char sym[GAMEMSG_DATA_SYM]; };
struct REGIONID { REGION* region; int32_t id; };
struct REGIONADJUST {
    REGIONID rid;
    int32_t value, minforce, maxforce;
};
struct ALLIANCESET { int32_t relation[ENDCOND_TEAMS]; };

struct CONDSTATE {
    GLL* conds;                   // CONDITION*
    GLL* tweakregions;            // REGIONADJUST*
    GLL* specialforces_trigger;   // TRIGSF*
    GLL* specialforces_release;   // int* force ids
    GLL* specialforces_give;      // GIVESF*
    GLL* give_bonus_credits;      // GIVEBONUSCREDITS*
    GLL* gamemsgdata;             // GAMEMSG_DATA*
    char aipfile[CONDSTATE_FILENAME];
    AIP_struct* aip;              // owned by the computer players' plan list
    char msgfile[CONDSTATE_FILENAME];
    ALLIANCESET* alliances;
};

struct CONDTREE {
    GLL* condstates;              // CONDSTATE*, state n at position n
    int32_t current;              // current state, from 1
    int32_t elapsed;              // the tree's clock in updates
    int32_t timelimit;            // 0: none
    char* description;
};

struct ENDCOND_STATE {
    CONDTREE* endtree[ENDCOND_TEAMS];
    CONDTREE* fsm[ENDCOND_TEAMS];
    char* endcond_name[ENDCOND_TEAMS];
    int32_t carrieddelay[ENDCOND_TEAMS];
    int32_t unitsatstart[ENDCOND_TEAMS];
    int32_t buildingsatstart[ENDCOND_TEAMS];
    int32_t callcounter;
    int32_t currentteam;
};

extern ENDCOND_STATE g_Endcond;

// ------------------------------------------------------------------ life cycle

// Forgets the trees and file names (without freeing: Endcond_Close did) and
// starts the rotation, delays and start counts afresh for a new game.
void Endcond_Init(void);
// Frees every tree with everything it owns and every file name.
void Endcond_Close(void);
// Frees a tree with its states, criteria, lists and description; null is
// nothing to do. The plans the states point to belong to the plan list.
void Endcond_FreeTree(CONDTREE* tree);

// The tree of that kind of team (asserts 0..8 and the kind), or null.
CONDTREE* Endcond_GetTree(int team, int kind);
// State n (from 1) of a tree, null outside.
CONDSTATE* Endcond_GetState(const CONDTREE* tree, int n);

// Stores a copy of name (null or empty clears); the old one is freed.
void Endcond_SetEndCondFile(int team, const char* name);
// The name or null.
const char* Endcond_GetEndCondFile(int team);

// ------------------------------------------------------------------ the game

// Units and buildings of each team now, for the criteria that compare with
// the start of the game.
void Endcond_InitTeamTotals(void);
// Loads the AI plan of every state of every computer team's state machine
// (AI_AIPLoad); a plan not found logs "AIP file %s not found for team %d
// state %d" and the state goes without.
void Endcond_LoadAIPs(void);
// A team handed to the computer (AI_TakeOver): a team without a state
// machine reads its default one (a missing file logged: no plan) and enters
// state 1; else its states' plans are loaded and its current state's plan
// is put in force.
void Endcond_TakeOver(int team);
// Enters state 1 of every tree that has states, end-condition tree first.
void Endcond_EnterInitialStates(void);
// One step of the rotation: 1 with *team the winner, else 0 or 2.
int Endcond_Update(int* team);
// Evaluates one tree: 1 the team has won, 0 nothing fired, 2 the tree's time
// is up or every condition of its current state has expired. A team without
// an end-condition tree wins as the last team standing.
int Endcond_ProcessTree(CONDTREE* tree, int team, int kind);
// The entry actions of a state, in their fixed order.
void Endcond_EnterState(CONDSTATE* state, int team, int kind);
// -1 when the team has no end-condition tree or it has no time limit; else
// the updates left, at least 0.
int Endcond_GetTimeLeft(int team);

// ------------------------------------------------------------------ criteria

// 1 when the criterion holds for team, else 0; updates the node's memory.
int Endcond_EvaluateCriteria(int team, CRITERIA* node, int kind);
// Every building of the team is a resource building and it has no more
// units than resource buildings with a maker.
int Endcond_IsEliminated(int team);
// The building type yields a resource (a positive production in one of its
// SetResource entries).
struct BUILDINGTYPE;
int Endcond_IsResourceType(const BUILDINGTYPE* type);
