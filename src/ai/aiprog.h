// Construction programs of the computer players and the choice of what to
// buy.
//
// A program has up to 32 accounts; an account is a list of priority levels
// examined in order; a level holds nodes (a type and a number) and a build
// type that says how the number is read. Every update the construction step
// rebuilds the team's candidate list from the program (account 0 first; the
// others, the match-up demand and the transport demand only when account 0
// wants nothing), then each producer of the team tries the candidates from a
// start drawn from the synchronised stream. A purchase counts the item as
// under construction and moves its price from the account to the prespent
// credit, so the books balance until the engine charges the team.
#pragma once

#include <cstdint>

struct AI_Team;
struct UNIT;

enum {
    AIBUILD_MAX_ACCOUNTS = 32,   // account 0 is the total
    AIBUILD_MAX_PRIORITY = 255,
    MAX_NODES = 128,             // nodes of one level: 1..MAX_NODES-1
    AIBUILD_MAX_CANDIDATES = 40,
};

// How a level reads its nodes' numbers.
enum AIBUILD_BUILDTYPE {
    NUMBER_TO_HAVE = 0,
    NUMBER_TO_BUILD = 1,
    RATIO_TO_BUILD = 2,
    RATIO_TO_HAVE = 3,
};

// AIBuild_ChooseItem's modes.
enum AIBUILD_MODE { AIBUILD_BUILD = 0, AIBUILD_UPGRADE = 1 };

// A candidate's kind: what a purchase does to its counter.
enum AIBUILD_KIND {
    AIBUILD_KIND_NONE = 0,
    AIBUILD_KIND_DECREMENT = 1,
    AIBUILD_KIND_INCREMENT = 2,
    AIBUILD_KIND_RATIOHAVE = 3,
};

struct AIBUILD_NODE {
    uint16_t object_type;   // prerequisite id, 0 unset
    int32_t number;
    int32_t internal;       // NUMBER_TO_BUILD: still to build; RATIO_TO_BUILD: built
};

struct AIBUILD_PRIORITY_LEVEL {
    int32_t priority;       // 0..AIBUILD_MAX_PRIORITY, shown only
    int32_t build_type;     // AIBUILD_BUILDTYPE
    int32_t nodes;
    AIBUILD_NODE* node;
};

struct AIBUILD_ACCOUNT {
    int32_t priority_levels;
    AIBUILD_PRIORITY_LEVEL* priority_level;
};

struct AIBUILD_PROGRAM {
    AIBUILD_ACCOUNT* account[AIBUILD_MAX_ACCOUNTS];   // null: empty slot
};

struct AIBUILD_CANDIDATE {
    int32_t quantity;       // still wanted
    uint16_t item;          // prerequisite id
    int32_t account;        // 0..31
    int32_t kind;           // AIBUILD_KIND
    int32_t* counter;       // the node's internal or the transports needed; null for none
};

// ------------------------------------------------------------------ programs

// A program with 32 empty slots.
AIBUILD_PROGRAM* AIBuild_ProgramNew(void);
// Frees every account of the program and the program (null: nothing).
void AIBuild_ProgramDelete(AIBUILD_PROGRAM* construction_program);
// An account of priority_levels zeroed levels; asserts "priority_levels > 0".
AIBUILD_ACCOUNT* AIBuild_AccountNew(int priority_levels);
// Frees an account with its levels and nodes (null: nothing).
void AIBuild_AccountDelete(AIBUILD_ACCOUNT* account);
// Sets a level and allocates its zeroed nodes; asserts the level, the node
// count (1..MAX_NODES-1), the priority and the build type.
void AIBuild_AccountSetLevel(AIBUILD_ACCOUNT* account, int priority_level, int priority,
                             int number_of_nodes, int build_type);
// Sets a node; asserts the level, the node, PREREQ_IsValid (object_type) and
// number > 0.
void AIBuild_AccountSetNode(AIBUILD_ACCOUNT* account, int priority_level, int node_number,
                            int object_type, int number);
// Sets a NUMBER_TO_HAVE node's number (both asserted).
void AIBuild_AccountSetNumberToHave(AIBUILD_ACCOUNT* account, int priority_level, int node_number,
                                    int number_to_have);
// Puts the account in the slot (program, account and slot asserted) and
// resets its counters (AIBuild_LevelReset on every level).
void AIBuild_ProgramSetAccount(AIBUILD_PROGRAM* construction_program, int account_number,
                               AIBUILD_ACCOUNT* account);
// Empties the slot (the account is not freed).
void AIBuild_ProgramClearAccount(AIBUILD_PROGRAM* construction_program, int account_number);
// NUMBER_TO_BUILD: each internal = number; RATIO_TO_BUILD: each internal = 0.
void AIBuild_LevelReset(AIBUILD_PRIORITY_LEVEL* level);
// The team's attached program's slot gets account, its old account deleted;
// asserts "the_team->aibuild.construction_program" and the slot.
void AIBuild_TeamSetAccount(AI_Team* the_team, int account_number, AIBUILD_ACCOUNT* account);
// Empties a slot of the team's attached program.
void AIBuild_TeamClearAccount(AI_Team* the_team, int account_number);
// Attaches (both asserted) / detaches the program; the program stays the plan's.
void AIBuild_SetConstructionProgram(AI_Team* the_team, AIBUILD_PROGRAM* construction_program);
void AIBuild_ClearConstructionProgram(AI_Team* the_team);
// Trace (computer-player log): "AIBuild AccountDump Team %d Account %d", then
// "  No construction program", "  No account" or the levels and nodes.
void AIBuild_AccountDump(AI_Team* the_team, int account_number);
// The same for an account outside a team (the plan's own dump and tests).
void AIBuild_AccountDumpOf(const AIBUILD_ACCOUNT* account, int team, int account_number);

// ------------------------------------------------------------------ choosing

// Rebuilds the team's candidate list from its program (nothing without one).
void AIBuild_BuildCandidates(AI_Team* the_team);
// The item bought for producer (a prerequisite id) in mode, or 0; on a
// purchase *account is the account paid from. A building in build mode is
// bought only where the placement search finds a place (*x, *y; else -1).
// A crew (may be null) is offered building items only, at places that
// suit it.
int AIBuild_ChooseItem(AI_Team* the_team, int producer, int mode, int* account, int* x, int* y,
                       const UNIT* crew = nullptr);
// A unit type's build cost, a building type's cost; any other id logs
// "AIBuild_CostOfObject (%d) - input is not a building or unit" and gives
// 1000000000.
int AIBuild_CostOfObject(int prereq_id);
// The team may buy the item now: its prerequisites are met, or it is an
// upgrade and the team owns more of the type it upgrades from than of it.
int AIBuild_IsEligible(int team, int item);
