// Construction accounts of the computer players: the books behind every
// purchase.
//
// credit[0] is the team's spendable construction money, credit[1..31] the
// accounts of its program, split from income by the budget weights. Money
// chosen for a purchase that the engine has not charged yet is "prespent".
// Two invariants hold at the start and the end of every construction step:
//   credit[0] + prespent_credits == the team's credits
//   credit[0] == credit[1] + .. + credit[31]   (while accounts_enabled)
// Shares are computed in single precision and truncated; what truncation
// leaves goes to the poorest budgeted account, so no credit is lost.
//
// Per team a row counts, by prerequisite id, the objects the AI bought that
// are not finished yet; the hooks lower it as the engine reports each one.
#pragma once

#include <cstdint>

#include "ai/aiprog.h"

struct AI_Team;
struct GLL;

enum {
    AIBUILD_RESERVED_AREAS = 32,     // per team
    AIBUILD_RESOURCES = 2,           // 0 water, 1 Corite
    AIBUILD_PLACEMENT_DELAY = 300,   // updates without placement after a failed search
    AIBUILD_CLEARANCE = 2,           // free tiles kept around a planned building
};

// A place a crew of the team is on its way to build on, with its margin.
struct AIBUILD_RESERVED {
    uint8_t in_use;
    int16_t x, y, width, height;
};

// The construction state of one computer team (AI_Team::aibuild).
struct AIBUILD {
    int32_t credit[AIBUILD_MAX_ACCOUNTS];
    int32_t prespent_credits;
    AIBUILD_PROGRAM* construction_program;   // borrowed from the plan
    int32_t budget[AIBUILD_MAX_ACCOUNTS];
    int32_t max_reserve[AIBUILD_MAX_ACCOUNTS];  // 0: no ceiling
    float budget_total;
    int32_t accounts_enabled;
    int32_t transports_needed;
    int32_t placement_delay;
    AIBUILD_CANDIDATE candidate[AIBUILD_MAX_CANDIDATES];
    int32_t candidates;
    int32_t next_account;                    // of the rotation, 1..31
    int32_t base_x, base_y;                  // set once, when the books open
    GLL* unassigned_cc;                      // UNIT*, newest first, served from the head
    GLL* unassigned_transports;              // UNIT*, newest first
    GLL* assigned_transports;                // UNIT*, newest first
    GLL* takers[AIBUILD_RESOURCES];          // ids (the element word) of completed buildings
                                             // taking each resource, newest first
    AIBUILD_RESERVED reserved[AIBUILD_RESERVED_AREAS];
};

// ------------------------------------------------------------------ the team's books

// Opens the team's row (a second call logs "AIBuild_ConstructionNew called
// twice with no delete" and keeps it) and starts the books: credit[0] = the
// team's credits, everything else 0, rotation at 1, no candidates; locates
// the base, opens the empty crew, transport and taker lists and frees the
// reserved areas.
void AIBuild_ConstructionNew(AI_Team* the_team);
// Detaches the program, frees the row (without one logs
// "AIBuild_ConstructionDelete called without New") and the lists.
void AIBuild_ConstructionDelete(AI_Team* the_team);
// Copies budgets and reserves 1..31, enables the accounts when the budgets
// sum to non-zero, and splits credit[0] anew.
void AIBuild_CreditDistribute(AI_Team* the_team, const int32_t* budgets, const int32_t* max_reserves);
// Income: asserts "credits >= 0"; credit[0] and the accounts by the share rule.
void AIBuild_CreditAdd(AI_Team* the_team, int credits);
// Takes credits (asserted "credits > 0", "credits <= the_team->aibuild.credit[0]")
// from the accounts in proportion to their budgets.
void AIBuild_CreditSpend(AI_Team* the_team, int credits);
// Clears every balance and adds credit[0] back by the shares.
void AIBuild_CreditRedistribute(AI_Team* the_team);
// Caps every account at its reserve and spreads the excess by the shares.
void AIBuild_ReserveTrim(AI_Team* the_team);
// Money held for a purchase goes back (asserts amount <= prespent): to its
// account and to account 0, or by the shares when the account is 0 or has
// no budget now.
void AIBuild_Refund(AI_Team* the_team, int account, int amount);
// 1 when the two invariants hold.
int AIBuild_BooksBalance(const AI_Team* the_team);

// ------------------------------------------------------------------ under construction

// One more / one fewer of prereq_type bought and unfinished (buildings also
// count as facilities). Removing at 0, or for a team without a row, logs
// and does nothing: the engine also reports work no computer player bought.
void AIBuild_UnderConstructionAdd(int team, int prereq_type);
void AIBuild_UnderConstructionRemove(int team, int prereq_type);
// The counts; 0 without a row or for an id outside it.
int AIBuild_UnderConstruction(int team, int prereq_type);
int AIBuild_FacilitiesUnderConstruction(int team);
// The row's length (PREREQ_Count() when made), 0 without a row.
int AIBuild_UnderConstructionLength(int team);

// ------------------------------------------------------------------ the step

// The construction step of one team (asserts the team and the invariants
// before and after): the credit dump, repair requests, the candidates,
// upgrades, production, the reserve trim.
void AIBuild_Process(AI_Team* the_team);
// "CreditDump Non Zero Accounts Team %d" and every non-zero account, the
// prespent and the team's credits (computer-player log).
void AIBuild_CreditDump(const AI_Team* the_team);
