#include "ai/aibuild.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "ai/ai.h"
#include "ai/aip.h"
#include "ai/aisite.h"
#include "ai/aiteam.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/gll.h"
#include "core/tlog.h"
#include "map/map.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitsorder.h"

namespace {

// Rows of the objects each team's AI bought and that are not finished.
struct AIBUILD_ROWS {
    int32_t* number_under_construction[TEAM_MAXTEAMS];
    int32_t length[TEAM_MAXTEAMS];
    int32_t facilities_under_construction[TEAM_MAXTEAMS];
    int32_t exists[TEAM_MAXTEAMS];
};

AIBUILD_ROWS s_rows = {};

// Spreads amount over accounts 1..31 by the budget weights (single
// precision, truncated); what truncation leaves goes to the poorest budgeted
// account, the lowest number among equals. Single precision rounds an amount
// near 2^31 up past it, so no share passes what is left to give.
void Share(AIBUILD* ab, int amount)
{
    const float a = (float)amount;
    int given = 0;
    for (int i = 1; i < AIBUILD_MAX_ACCOUNTS; i++) {
        const double exact = (double)((float)ab->budget[i] * a / ab->budget_total);
        const int share = exact >= (double)(amount - given) ? amount - given : (int)exact;
        ab->credit[i] += share;
        given += share;
    }
    int min_node = 0;
    for (int i = 1; i < AIBUILD_MAX_ACCOUNTS; i++)
        if (ab->budget[i] != 0 && (min_node == 0 || ab->credit[i] < ab->credit[min_node])) min_node = i;
    ASSERT(min_node);
    ab->credit[min_node] += amount - given;
}

int ValidRow(int team, int prereq_type)
{
    return team >= 0 && team < TEAM_MAXTEAMS && s_rows.exists[team] && prereq_type >= 0 &&
           prereq_type < s_rows.length[team];
}

// The lists hold units and ids (in the element word) they don't own; a
// second New finds them made already.
void DestroyLists(AIBUILD* ab)
{
    for (GLL** l : {&ab->unassigned_cc, &ab->unassigned_transports, &ab->assigned_transports,
                    &ab->takers[0], &ab->takers[1]}) {
        if (*l) GLL_Destroy(*l, nullptr);
        *l = nullptr;
    }
}

}   // namespace

// ------------------------------------------------------------------ the team's books

void AIBuild_ConstructionNew(AI_Team* the_team)
{
    ASSERT(the_team);
    const int team = the_team->team_ID;
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    if (s_rows.exists[team]) {
        TLOG(TLOG_ERROR, "AIBuild_ConstructionNew called twice with no delete");
    } else {
        // One entry per prerequisite id: ids are the files' numbers, not a
        // count of the types.
        const int length = PREREQ_Count() > 0 ? PREREQ_Count() : 1;
        s_rows.number_under_construction[team] =
            static_cast<int32_t*>(Debug_Calloc((size_t)length, sizeof(int32_t)));
        s_rows.length[team] = length;
        s_rows.facilities_under_construction[team] = 0;
        s_rows.exists[team] = 1;
    }
    AIBUILD* ab = &the_team->aibuild;
    DestroyLists(ab);
    memset(ab, 0, sizeof *ab);
    AIBuild_LocateBase(the_team);
    ab->credit[0] = teamdata[team].credits;
    ab->unassigned_cc = GLL_Create();
    ab->unassigned_transports = GLL_Create();
    ab->assigned_transports = GLL_Create();
    for (GLL*& l : ab->takers) l = GLL_Create();
    ab->next_account = 1;
    AIBuild_ClearReservedAreas(the_team);
}

void AIBuild_ConstructionDelete(AI_Team* the_team)
{
    ASSERT(the_team);
    const int team = the_team->team_ID;
    the_team->aibuild.construction_program = nullptr;
    DestroyLists(&the_team->aibuild);
    if (!s_rows.exists[team]) {
        TLOG(TLOG_ERROR, "AIBuild_ConstructionDelete called without New");
        return;
    }
    Debug_Free(&s_rows.number_under_construction[team]);
    s_rows.length[team] = 0;
    s_rows.facilities_under_construction[team] = 0;
    s_rows.exists[team] = 0;
}

void AIBuild_CreditAdd(AI_Team* the_team, int credits)
{
    ASSERT(the_team);
    ASSERT(credits >= 0);
    TLOG(TLOG_AI, "CreditAdd Team %d Credits %d", the_team->team_ID, credits);
    if (credits == 0) return;
    AIBUILD* ab = &the_team->aibuild;
    ab->credit[0] += credits;
    if (!ab->accounts_enabled) return;
    Share(ab, credits);
}

void AIBuild_CreditSpend(AI_Team* the_team, int credits)
{
    ASSERT(the_team);
    if (credits == 0) return;
    ASSERT(credits > 0);
    ASSERT(credits <= the_team->aibuild.credit[0]);
    AIBUILD* ab = &the_team->aibuild;
    if (!ab->accounts_enabled) {
        ab->credit[0] -= credits;
        return;
    }
    int remaining = credits;
    while (remaining > 0) {
        int64_t denominator = 0;
        for (int i = 1; i < AIBUILD_MAX_ACCOUNTS; i++)
            if (ab->credit[i] != 0) denominator += ab->budget[i];
        ASSERT(denominator != 0);
        const int64_t R = remaining;
        for (int i = 1; i < AIBUILD_MAX_ACCOUNTS && remaining > 0; i++) {
            // budget / denominator x R in 64 bits: integer division first
            // would make every take 1.
            int64_t take = (int64_t)ab->budget[i] * R / denominator;
            if (take < 1) take = 1;
            if (take > ab->credit[i]) take = ab->credit[i];
            if (take > remaining) take = remaining;
            if (take <= 0) continue;
            ab->credit[i] -= (int32_t)take;
            ab->credit[0] -= (int32_t)take;
            remaining -= (int32_t)take;
        }
    }
}

void AIBuild_CreditRedistribute(AI_Team* the_team)
{
    ASSERT(the_team);
    AIBUILD* ab = &the_team->aibuild;
    const int c = ab->credit[0];
    for (int32_t& v : ab->credit) v = 0;
    AIBuild_CreditAdd(the_team, c);
}

void AIBuild_CreditDistribute(AI_Team* the_team, const int32_t* budgets, const int32_t* max_reserves)
{
    ASSERT(the_team);
    AIBUILD* ab = &the_team->aibuild;
    ab->budget_total = 0.0f;
    for (int i = 1; i < AIBUILD_MAX_ACCOUNTS; i++) {
        ab->budget[i] = budgets ? budgets[i] : 0;
        ab->max_reserve[i] = max_reserves ? max_reserves[i] : 0;
        ab->budget_total += (float)ab->budget[i];
    }
    ab->accounts_enabled = ab->budget_total != 0.0f;
    if (!ab->accounts_enabled)
        for (int i = 1; i < AIBUILD_MAX_ACCOUNTS; i++) ab->credit[i] = 0;
    TLOG(TLOG_AI, "AIBuild_CreditDistribute team %d", the_team->team_ID);
    AIBuild_CreditRedistribute(the_team);
}

void AIBuild_ReserveTrim(AI_Team* the_team)
{
    ASSERT(the_team);
    AIBUILD* ab = &the_team->aibuild;
    if (!ab->accounts_enabled) return;
    int collected = 0;
    for (int i = 1; i < AIBUILD_MAX_ACCOUNTS; i++) {
        if (ab->max_reserve[i] == 0 || ab->credit[i] <= ab->max_reserve[i]) continue;
        collected += ab->credit[i] - ab->max_reserve[i];
        ab->credit[i] = ab->max_reserve[i];
    }
    if (collected > 0) Share(ab, collected);
}

void AIBuild_Refund(AI_Team* the_team, int account, int amount)
{
    ASSERT(the_team);
    AIBUILD* ab = &the_team->aibuild;
    ASSERT(amount >= 0 && amount <= ab->prespent_credits);
    ASSERT(account >= 0 && account < AIBUILD_MAX_ACCOUNTS);
    ab->prespent_credits -= amount;
    if (amount == 0) return;
    // A purchase made under an earlier plan may name an account that has no
    // budget now: money kept there could never be spent by the shares (and
    // would end the game at "denominator != 0"), so it is shared out.
    if (account == 0 || !ab->accounts_enabled || ab->budget[account] == 0)
        AIBuild_CreditAdd(the_team, amount);
    else {
        ab->credit[account] += amount;
        ab->credit[0] += amount;
    }
}

int AIBuild_BooksBalance(const AI_Team* the_team)
{
    const AIBUILD& ab = the_team->aibuild;
    if (ab.credit[0] + ab.prespent_credits != teamdata[the_team->team_ID].credits) return 0;
    if (!ab.accounts_enabled) return 1;
    int64_t total = 0;
    for (int i = 1; i < AIBUILD_MAX_ACCOUNTS; i++) total += ab.credit[i];
    return ab.credit[0] == total;
}

void AIBuild_CreditDump(const AI_Team* the_team)
{
    ASSERT(the_team);
    const AIBUILD& ab = the_team->aibuild;
    TLOG(TLOG_AI, "CreditDump Non Zero Accounts Team %d", the_team->team_ID);
    for (int i = 0; i < AIBUILD_MAX_ACCOUNTS; i++)
        if (ab.credit[i] != 0) TLOG(TLOG_AI, "   #%d %d", i, ab.credit[i]);
    TLOG(TLOG_AI, "   Prespent Allowance %d", ab.prespent_credits);
    TLOG(TLOG_AI, "   Actual Cash      %d", teamdata[the_team->team_ID].credits);
}

// ------------------------------------------------------------------ under construction

void AIBuild_UnderConstructionAdd(int team, int prereq_type)
{
    if (!ValidRow(team, prereq_type)) {
        TLOG(TLOG_ERROR, "AIBuild_UnderConstructionAdd team %d type %d: no such row entry", team,
             prereq_type);
        return;
    }
    s_rows.number_under_construction[team][prereq_type]++;
    if (PREREQ_IsBuilding(prereq_type)) s_rows.facilities_under_construction[team]++;
}

void AIBuild_UnderConstructionRemove(int team, int prereq_type)
{
    // The hooks report every finished object of a computer team, also what
    // its AI never bought (units made before a takeover, a player's orders):
    // a count at 0 stays 0.
    if (!ValidRow(team, prereq_type) || s_rows.number_under_construction[team][prereq_type] <= 0) {
        TLOG(TLOG_AI, "AIBuild_UnderConstructionRemove team %d type %d: none under construction",
             team, prereq_type);
        return;
    }
    s_rows.number_under_construction[team][prereq_type]--;
    if (PREREQ_IsBuilding(prereq_type) && s_rows.facilities_under_construction[team] > 0)
        s_rows.facilities_under_construction[team]--;
}

int AIBuild_UnderConstruction(int team, int prereq_type)
{
    return ValidRow(team, prereq_type) ? s_rows.number_under_construction[team][prereq_type] : 0;
}

int AIBuild_FacilitiesUnderConstruction(int team)
{
    return team >= 0 && team < TEAM_MAXTEAMS ? s_rows.facilities_under_construction[team] : 0;
}

int AIBuild_UnderConstructionLength(int team)
{
    return team >= 0 && team < TEAM_MAXTEAMS && s_rows.exists[team] ? s_rows.length[team] : 0;
}

// ------------------------------------------------------------------ the step

static void CheckBooks(const AI_Team* the_team)
{
    const AIBUILD& ab = the_team->aibuild;
    ASSERT(the_team->aibuild.credit[0] + the_team->aibuild.prespent_credits == teamdata[the_team->team_ID].credits);
    if (!ab.accounts_enabled) return;
    int total = 0;
    for (int i = 1; i < AIBUILD_MAX_ACCOUNTS; i++) total += ab.credit[i];
    ASSERT(the_team->aibuild.credit[0] == total);
}

// A purchase the engine refused to start: the count and the credits go back.
static void Undo(AI_Team* the_team, BUILDING* b, int item, int account)
{
    TLOG(TLOG_ERROR, "AIBuild_Process team %d building %d: %s of type %d did not start, purchase undone",
         the_team->team_ID, b->id, b->state == BS_IDLE ? "work" : "upgrade", item);
    AIBuild_UnderConstructionRemove(the_team->team_ID, item);
    AIBuild_Refund(the_team, account, AIBuild_CostOfObject(item));
    b->ai.refundable = 0;
    b->ai.account = 0;
}

static void Upgrades(AI_Team* the_team)
{
    for (BUILDING* b = teamdata[the_team->team_ID].firstbuilding; b; b = b->teamnext) {
        if (Build_CanUpgrade(b) != BUP_OK) continue;
        int account = 0;
        const int item = AIBuild_ChooseItem(the_team, b->buildingtype->prereq.id, AIBUILD_UPGRADE,
                                            &account, nullptr, nullptr);
        if (!item) continue;
        b->ai.account = account;
        b->ai.refundable = AIBuild_CostOfObject(b->buildingtype->upgradeto->prereq.id);
        if (!Build_StartUpgrade(b)) Undo(the_team, b, item, account);
    }
}

static void Production(AI_Team* the_team)
{
    for (BUILDING* b = teamdata[the_team->team_ID].firstbuilding; b; b = b->teamnext) {
        if (!(b->buildingtype->flags & BTF_CANMAKE) || b->state != BS_IDLE) continue;
        int account = 0;
        const int item = AIBuild_ChooseItem(the_team, b->buildingtype->prereq.id, AIBUILD_BUILD,
                                            &account, nullptr, nullptr);
        if (!item) continue;
        UNITTYPE* type = PREREQ_UnitTypePtr(item);
        // Factories make units; a building named as made by one is refused
        // here rather than asserted ("unit_type_ptr").
        if (!type) {
            Undo(the_team, b, item, account);
            continue;
        }
        b->ai.account = account;
        b->ai.refundable = type->buildcost;
        if (!Build_StartProduction(b, type)) Undo(the_team, b, item, account);
    }
}

// Whether (x, y) lies on the ring of tiles that touches the building's box.
static bool OnRing(const BUILDING* b, int x, int y)
{
    const BUILDINGTYPE* t = b->buildingtype;
    return x >= b->tilex - 1 && x <= b->tilex + t->width && y >= b->tiley - 1 && y <= b->tiley + t->height;
}

// The doors a team keeps free: the rings of its finished factories, where
// they put out what they make, and of every finished building with a bay,
// where tankers dock (the wells a base draws from may be another team's).
static bool KeptDoor(const BUILDING* b, int team)
{
    if (!b->complete) return false;
    return (b->team == team && (b->buildingtype->flags & BTF_CANMAKE)) || b->buildingtype->bayx >= 0;
}

static bool OnKeptRing(int team, int x, int y)
{
    for (int t = 0; t < TEAM_MAXTEAMS; t++)
        for (const BUILDING* b = teamdata[t].firstbuilding; b; b = b->teamnext)
            if (KeptDoor(b, team) && OnRing(b, x, y)) return true;
    return false;
}

// A free tile for u two rings out from the building beyond (x, y), on no
// ring the team keeps free; false when none lies within a few tiles.
static bool OffRing(const UNIT* u, const BUILDING* f, int x, int y, int* outx, int* outy)
{
    const BUILDINGTYPE* t = f->buildingtype;
    const int dx = x < f->tilex ? -1 : x >= f->tilex + t->width ? 1 : 0;
    const int dy = y < f->tiley ? -1 : y >= f->tiley + t->height ? 1 : 0;
    const int tx = x + 2 * dx, ty = y + 2 * dy;
    for (int r = 0; r <= 4; r++)
        for (int cy = ty - r; cy <= ty + r; cy++)
            for (int cx = tx - r; cx <= tx + r; cx++) {
                if (std::max(std::abs(cx - tx), std::abs(cy - ty)) != r) continue;
                if (!Map_IsValidTile(cx, cy) || !Units_ClosestLocation(u, cx, cy, outx, outy, 0)) continue;
                if (!OnKeptRing(u->team, cx, cy)) return true;
            }
    return false;
}

// A factory delivers onto the free tiles around it, and tankers dock at the
// bays of wells and depots. Units of the team that stand there with nothing
// to do (a squad without a goal cell is never moved; a squad's random tile
// may be one of them) would in time seal them, and the plan could buy
// nothing more: they step out two rings. Once per nine updates, on the
// team's own.
static void KeepDoorsFree(AI_Team* the_team)
{
    const int team = the_team->team_ID;
    if ((int)(g_UpdateCount % 9) != team) return;
    for (int owner = 0; owner < TEAM_MAXTEAMS; owner++)
        for (const BUILDING* b = teamdata[owner].firstbuilding; b; b = b->teamnext) {
            const BUILDINGTYPE* t = b->buildingtype;
            if (!KeptDoor(b, team)) continue;
            for (int y = b->tiley - 1; y <= b->tiley + t->height; y++)
                for (int x = b->tilex - 1; x <= b->tilex + t->width; x++) {
                    if (Build_TypeCovers(t, x - b->tilex, y - b->tiley)) continue;
                    UNIT* u = Map_IsValidTile(x, y) ? Units_UnitAtMapLevel(ML_GROUND, x, y) : nullptr;
                    if (!u || u->team != team || u->sorder.code != SO_NONE || u->state != US_NONE) continue;
                    int nx, ny;
                    if (!OffRing(u, b, x, y, &nx, &ny)) continue;
                    TLOG(TLOG_AI, "AI team %d unit %d leaves the door of building %d for (%d, %d)", team, u->id,
                         b->id, nx, ny);
                    Units_SOrderMove(u, nx, ny);
                }
        }
}

void AIBuild_Process(AI_Team* the_team)
{
    ASSERT(the_team);
    AIBuild_CreditDump(the_team);
    CheckBooks(the_team);
    const int team = the_team->team_ID;
    if (the_team->plan && the_team->plan->repair_buildings)
        for (BUILDING* b = teamdata[team].firstbuilding; b; b = b->teamnext)
            // A site is below its hit points because it is not finished:
            // the repair would only be refused.
            if (b->complete && b->hitpoints != b->buildingtype->maxhitpoints) Build_RequestRepair(b);
    if (the_team->aibuild.placement_delay != 0) the_team->aibuild.placement_delay--;
    if (!the_team->aibuild.construction_program) return;
    AIBuild_CountTransportsNeeded(the_team);
    AIBuild_AssignTransport(the_team);
    AIBuild_BuildCandidates(the_team);
    Upgrades(the_team);
    AIBuild_AssignConstructionUnits(the_team);
    KeepDoorsFree(the_team);
    Production(the_team);
    AIBuild_ReserveTrim(the_team);
    CheckBooks(the_team);
}
