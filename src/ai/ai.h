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
// Marks the force released and hands each live unit to the computer player
// (AI_UnitAdd), once.
void AI_ReleaseSpecialForce(SPECIAL_FORCE* force);
// Every listed unit found (on the force's team, else on any team) whose team
// differs goes to team; the force's team becomes team. Asserts 0..8.
void AI_GiveSpecialForce(SPECIAL_FORCE* force, int team);
// Writes every force in the order made as the scenario file's DefineSpecialForces
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
// The variable that holds the list (a saved game's head); the iteration
// cursors start afresh with AI_SpecialForcesAfterLoad.
GLL** AI_SpecialForceListSlot(void);
void AI_SpecialForcesAfterLoad(void);

// ------------------------------------------------------------------ plans and FSM names

// Looks for name in the scenario's folder, then the "aip" directory; logs
// "Loading AIP '%s'" and "  Loaded OK" (computer-player log) and returns the
// plan, kept in the plan list until AI_AIPClose. Not found or not loadable:
// "Could not find / could not load AIP '%s'" (errors) and null.
AIP_struct* AI_AIPLoad(const char* name);
// The plan list (elements AIP_struct*, newest first); null before init.
GLL* AI_AIPList(void);

// Copies name (asserted) into the team's slot of variation (asserted
// 0..AI_MAX_FSMS-1), replacing the old one; an empty name leaves it unset.
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

// ------------------------------------------------------------------ the frame
//
// AI_Init makes one AI_Team per computer team (TT_COMPUTER) and hands it the
// team's units and buildings; AI_Process runs the enabled teams that have a
// plan, in team order, every update. The hooks below are the engine's news
// to the computer players: each ignores any team that is not a computer
// team, and the unit hooks and the removal hooks wait for AI_Init.

struct AI_Team;
struct UNIT;
struct BUILDING;

enum { AI_CELLSIZE = 8 };

struct AI_MAP {
    AI_Team* team[9];     // null for a team that is no computer team
    int32_t grid_rows;    // (map height + 7) / 8
    int32_t grid_columns; // (map width + 7) / 8
    int32_t cell_size;    // 8 tiles
};

// The game's map of AI teams, null outside AI_Init .. AI_Close.
extern AI_MAP* AI_map;
// Set by AI_Init, cleared by AI_Close.
extern int ai_game_initialised;

// Starts the computer players (asserts !ai_game_initialised): the map, the
// strength table, the enabled flags cleared, an AI team per computer team
// with its units (members of unreleased special forces kept out) and
// buildings.
void AI_Init(void);
// A human team 0..7 becomes a computer team: its AI team made as at
// AI_Init (its units stopped first; a crew inside its site joins when it
// comes out), activated, without a plan yet. 1 when done; any other team
// (or before AI_Init) is refused and logged, 0.
int AI_TakeOver(int team);
// Enabled flag to 1 / to 0 for a team with an AI team; 1 when it changed.
int AI_Activate(int team);
int AI_Deactivate(int team);
// Deletes every AI team and the map and resets the strength tables; without
// AI_Init logs "AI::AI_Close CALLED WITHOUT MATCHING OPEN !!!" (warnings).
void AI_Close(void);
// After a load: the team's sites and upgrades are removed, its production
// cancelled and every unit stopped ("AI Booting team %d").
void AI_BootTeam(int team);
// Once per update: the construction step of every enabled computer team
// that has a plan, teams 0..8 in order.
void AI_Process(void);
// An AI team exists and the team's type is TT_COMPUTER (asserts the team).
int AI_IsComputerTeam(int team);
// That, and the team's enabled flag is 1.
int AI_IsEnabled(int team);
// The team's AI record, null when none (or outside 0..8).
AI_Team* AI_GetTeam(int team);
// A computer team takes plan: "AIPSwitch %d to %0x" (the plan's place in the
// plan list), AI_Team::SetPlan, "AIPSwitch over".
void AI_AIPSwitch(int team, AIP_struct* plan);

// ------------------------------------------------------------------ unit hooks

// A unit joined a computer team: tactical levels set, its place freed and
// any purchase it still holds given back, then a crew, a transport or a
// fixed unit is logged; a combat unit joins the unit list.
void AI_UnitAdd(UNIT* unit);
// A unit left or died: a crew on its way gives back its purchase; whatever
// its type, it leaves every list of its computer player (crews,
// transports, combat units, its squad).
void AI_UnitRemove(UNIT* unit);
// A factory delivered it: the type leaves the under-construction count,
// then AI_UnitAdd.
void AI_UnitProduced(UNIT* unit);
// The crew's in-building flag set / cleared.
void AI_UnitBuildingStarted(UNIT* unit);
void AI_UnitBuildingFinished(UNIT* unit);
// Does nothing.
void AI_UnitPathFailed(UNIT* unit);
// Its player's construct order went to the unit: a crew of a computer team
// keeps it, gives back what it held for the computer (purchase, place) and
// leaves the crew list until that order ends (its site) or stalls.
void AI_PlayerConstruct(UNIT* unit);
// A player's order of team ran: each crew of the team on the map that it
// left with no construct order (sorder or snextorder) and outside any site
// gives back what it held and is the computer's again, at the head of the
// crew list ("AI takes back crew %d of team %d"). Members of unreleased
// special forces stay the script's.
void AI_PlayerOrderRan(int team);

// ------------------------------------------------------------------ building hooks

// The building takes the crew's account and committed amount, which leave
// the crew (bought for another type: given back); the crew is unlisted.
void AI_BuildingCommenced(BUILDING* building, UNIT* crew);
// The type leaves the under-construction count.
void AI_BuildingCompleted(BUILDING* building);
// The upgrade type (asserted) leaves the count.
void AI_BuildingUpgradeCompleted(BUILDING* building);
// A producing building's unit type leaves the count; what a building in
// state 1, 2 or 7 still holds goes back (AI_ReturnPrespent).
void AI_BuildingRemove(BUILDING* building);
// A producing building stopped (state still 2): the unit type leaves the
// count and what the building holds goes back, as at its removal.
void AI_BuildingProductionCancelled(BUILDING* building);
// The building's type / its upgrade type leaves the count.
void AI_BuildingRemoveUnderConstruction(BUILDING* building);
void AI_BuildingRemoveUnderUpgrade(BUILDING* building);
// A crew cannot go on: its purchase goes back and it is stopped; it is
// listed again at the head only if it can build (a package carrier is no
// crew).
void AI_BuildingStalled(UNIT* crew);

// ------------------------------------------------------------------ credit hooks

// Income of a computer team, spread over its accounts.
void AI_GiveCredits(int team, int credits);
// A loss of a team with an AI team (asserts "credits <= the_team->aibuild.credit[0]").
void AI_SpendCredits(int team, int credits);
// credit[0] of the AI team, else the team's credits.
int AI_GetCredits(int team);
// Spends from one account (and account 0); account 0 spends by the shares.
void AI_SpendFromAccount(int team, int account, int credits);
// The engine charged credits for the building's work: prespent and
// refundable lose them (both asserted; state 1, 2 or 7 asserted).
void AI_RefundPrespent(BUILDING* building, int credits);
// What the building (state 1, 2 or 7) or the crew still holds goes back to
// its account; exactly one of them is given.
void AI_ReturnPrespent(int team, BUILDING* building, UNIT* crew);

// ------------------------------------------------------------------ the engine's side of the books
//
// A computer team's credits change in two places at once: the team's
// credits and its AI's books. Each change is told once, where it is made.

// 1 when the building's team can pay credits for its work now: any team
// with its credits; a computer team with what the building still holds
// for it plus its uncommitted money (AI_GetCredits).
int AI_CanChargeWork(const BUILDING* building, int credits);
// The engine charged credits for the building's work (after the team's
// credits fell): what the building holds pays first (AI_RefundPrespent),
// the rest through AI_SpendCredits.
void AI_ChargeWork(BUILDING* building, int credits);
// A member of a special force of its team not yet released.
int AI_InUnreleasedForce(const UNIT* unit);
// How the team's units choose targets: its plan's mode for a computer team
// that has a plan, else 2.
int AI_TargetMode(int team);

// ------------------------------------------------------------------ checks (tests and the hunt)
//
// Each returns 1 when the team (any team: 0..8) holds, else 0 with the
// first fault written to why (size bytes, may be null). The books:
// AIBuild_BooksBalance.

// Every unit on the team's computer lists (crews, transports, combat units,
// the members of its squads) is a live unit of the team under its id, listed
// once; crews can build; each member names its squad.
int AI_CheckLists(int team, char* why, int size);
// Every crew of the team on the map is the computer's: listed, on its way to
// build (a construct order), or a member of an unreleased special force;
// none holds a purchase without a construct order.
int AI_CheckCrews(int team, char* why, int size);
