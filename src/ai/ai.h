// The computer-player frame: special forces, the loaded AI plans and the
// per-team state-machine file names, and the strength comparisons that the
// end conditions ask.
//
// Special forces are groups of units that a scenario places under a script's
// control: the end-condition machine sends them into regions, hands them to
// the computer player or gives them to another team. A unit belongs to a
// force when the force's team is the unit's team and the force lists the
// unit's id; ids, not pointers, because a listed unit may die at any time.
// The forces and the plan list live from the common-systems start to its
// close, across the scenario load that fills them.
#pragma once

#include <cstdint>

struct GLL;
struct CFILE;
struct AIP_struct;

enum { AI_MAX_FSMS = 3 };

struct SPECIAL_FORCE {
    uint32_t id;          // a unique id (the scenario's, reserved)
    GLL* units;           // unit ids (int), in the order added
    int32_t team;         // owning team
    int32_t released;     // handed to the computer player (once)
};

// ------------------------------------------------------------------ life cycle

// Start the special-force list; a second call logs "AI_SpecialForcesInit
// called twice without matching Close" (errors) and changes nothing.
void AI_SpecialForcesInit(void);
// Frees every force; without init logs "AI_SpecialForcesClose called without
// matching Open" (errors).
void AI_SpecialForcesClose(void);
// Start the plan list and clear every FSM name (variations 0); a second call
// logs "AI_AIPInit called twice without matching Close".
void AI_AIPInit(void);
// Deletes every loaded plan ("   deleting aip #%08x" each), the list and the
// FSM names; without init logs "AI_AIPClose called without matching Init".
void AI_AIPClose(void);

// ------------------------------------------------------------------ special forces

// A new force of team, newest first: id -1 takes the next unique id, any
// other is reserved (Uid_Reserve). Released 0, no units. Asserts init and
// the team.
SPECIAL_FORCE* AI_NewSpecialForce(int team, uint32_t id);
// Appends a unit id.
void AI_AddToSpecialForce(SPECIAL_FORCE* force, int unitid);
// The force with that id, null when none (or before init).
SPECIAL_FORCE* AI_FindSpecialForce(uint32_t id);
// Every live unit of the force on its team gets SO_MOVE to a random tile of
// x1..x2, y1..y2 (x drawn before y), clamped to 1..map size - 1.
void AI_MoveSpecialForce(SPECIAL_FORCE* force, int x1, int y1, int x2, int y2);
// Marks the force released, once. (Handing its units to the computer player
// comes with the computer players.)
void AI_ReleaseSpecialForce(SPECIAL_FORCE* force);
// Every listed unit found (on the force's team, else on any team) whose team
// differs goes to team; the force's team becomes team. Asserts 0..8.
void AI_GiveSpecialForce(SPECIAL_FORCE* force, int team);
// Writes every force in list order as the scenario file's DefineSpecialForces
// block; 1 when every write succeeded.
int AI_SaveSpecialForces(CFILE* file);
// The forces of one team: first, then next; null at the end. Next asserts
// "group_iteration_team != -1" (a First before it).
SPECIAL_FORCE* AI_SpecialForceFirst(int team);
SPECIAL_FORCE* AI_SpecialForceNext(void);
// The unit ids of one force: first, then next; 0 at the end.
int AI_SpecialForceUnitFirst(SPECIAL_FORCE* force);
int AI_SpecialForceUnitNext(void);
// The force list (elements SPECIAL_FORCE*, newest first); null before init.
GLL* AI_SpecialForceList(void);

// ------------------------------------------------------------------ plans and FSM names

// Looks for name in the scenario's folder, then the "aip" directory; logs
// "Loading AIP '%s'" and "  Loaded OK" (computer-player log) and returns the
// plan, kept in the plan list until AI_AIPClose. Not found or not loadable:
// "Could not find / could not load AIP '%s'" (errors) and null.
AIP_struct* AI_AIPLoad(const char* name);
// The plan list (elements AIP_struct*, newest first); null before init.
GLL* AI_AIPList(void);

// Copies name (asserted) into the team's slot of variation (asserted
// 0..AI_MAX_FSMS-1), replacing the old one.
void AI_SetFsmFilename(int team, int variation, const char* name);
// The name, or null when unset.
const char* AI_GetFsmFilename(int team, int variation);
// Selects the variation (asserts 0 <= variation < AI_MAX_FSMS).
void AI_SetFsmVariation(int team, int variation);
int AI_GetFsmVariation(int team);
// The name of the selected variation, or null.
const char* AI_GetCurrentFsmFilename(int team);

// ------------------------------------------------------------------ strength

// M = the largest unit count of the teams that regard team as TR_ENEMY.
// Greater: no such team, or M x percentage < the team's count x 100.
// Weaker: such a team, and M x percentage > the team's count x 100.
// Both log their reasoning on the computer-player log.
int AI_StrengthGreater(int team, int percentage);
int AI_StrengthWeaker(int team, int percentage);
