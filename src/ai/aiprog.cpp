#include "ai/aiprog.h"

#include "ai/aibuild.h"
#include "ai/aip.h"
#include "ai/aisite.h"
#include "ai/aiteam.h"
#include "core/debug.h"
#include "core/rand.h"
#include "core/tlog.h"
#include "units/building.h"
#include "units/prereq.h"
#include "units/unit.h"

namespace {

const char* const s_buildTypeNames[] = {"NUMBER_TO_HAVE", "NUMBER_TO_BUILD", "RATIO_TO_BUILD",
                                        "RATIO_TO_HAVE"};

AIBUILD_PRIORITY_LEVEL* Level(AIBUILD_ACCOUNT* account, int priority_level)
{
    ASSERT(account);
    ASSERT((priority_level >= 0) && (priority_level < account->priority_levels));
    return &account->priority_level[priority_level];
}

}   // namespace

// ------------------------------------------------------------------ programs

AIBUILD_PROGRAM* AIBuild_ProgramNew(void)
{
    return static_cast<AIBUILD_PROGRAM*>(Debug_Calloc(1, sizeof(AIBUILD_PROGRAM)));
}

void AIBuild_AccountDelete(AIBUILD_ACCOUNT* account)
{
    if (!account) return;
    for (int l = 0; l < account->priority_levels; l++) Debug_Free(&account->priority_level[l].node);
    Debug_Free(&account->priority_level);
    Debug_Free(&account);
}

void AIBuild_ProgramDelete(AIBUILD_PROGRAM* construction_program)
{
    if (!construction_program) return;
    for (AIBUILD_ACCOUNT* a : construction_program->account) AIBuild_AccountDelete(a);
    Debug_Free(&construction_program);
}

AIBUILD_ACCOUNT* AIBuild_AccountNew(int priority_levels)
{
    ASSERT(priority_levels > 0);
    AIBUILD_ACCOUNT* a = static_cast<AIBUILD_ACCOUNT*>(Debug_Calloc(1, sizeof(AIBUILD_ACCOUNT)));
    a->priority_levels = priority_levels;
    a->priority_level = static_cast<AIBUILD_PRIORITY_LEVEL*>(
        Debug_Calloc((size_t)priority_levels, sizeof(AIBUILD_PRIORITY_LEVEL)));
    return a;
}

void AIBuild_AccountSetLevel(AIBUILD_ACCOUNT* account, int priority_level, int priority,
                             int number_of_nodes, int build_type)
{
    AIBUILD_PRIORITY_LEVEL* l = Level(account, priority_level);
    ASSERT(number_of_nodes > 0);
    ASSERT(number_of_nodes < MAX_NODES);
    ASSERT((priority >= 0) && (priority <= AIBUILD_MAX_PRIORITY));
    ASSERT((build_type >= 0) && (build_type <= 3));
    Debug_Free(&l->node);
    l->priority = priority;
    l->build_type = build_type;
    l->nodes = number_of_nodes;
    l->node = static_cast<AIBUILD_NODE*>(Debug_Calloc((size_t)number_of_nodes, sizeof(AIBUILD_NODE)));
}

static AIBUILD_NODE* Node(AIBUILD_ACCOUNT* account, int priority_level, int node_number)
{
    AIBUILD_PRIORITY_LEVEL* l = Level(account, priority_level);
    ASSERT((node_number >= 0) && (node_number < account->priority_level[priority_level].nodes));
    return &l->node[node_number];
}

void AIBuild_AccountSetNode(AIBUILD_ACCOUNT* account, int priority_level, int node_number,
                            int object_type, int number)
{
    AIBUILD_NODE* n = Node(account, priority_level, node_number);
    ASSERT(PREREQ_IsValid (object_type));
    ASSERT(number > 0);
    n->object_type = (uint16_t)object_type;
    n->number = number;
}

void AIBuild_AccountSetNumberToHave(AIBUILD_ACCOUNT* account, int priority_level, int node_number,
                                    int number_to_have)
{
    AIBUILD_NODE* n = Node(account, priority_level, node_number);
    ASSERT(account->priority_level[priority_level].build_type == NUMBER_TO_HAVE);
    ASSERT(number_to_have > 0);
    n->number = number_to_have;
}

void AIBuild_LevelReset(AIBUILD_PRIORITY_LEVEL* level)
{
    ASSERT(level);
    for (int i = 0; i < level->nodes; i++) {
        if (level->build_type == NUMBER_TO_BUILD) level->node[i].internal = level->node[i].number;
        else if (level->build_type == RATIO_TO_BUILD) level->node[i].internal = 0;
    }
}

void AIBuild_ProgramSetAccount(AIBUILD_PROGRAM* construction_program, int account_number,
                               AIBUILD_ACCOUNT* account)
{
    ASSERT(construction_program);
    ASSERT(account);
    ASSERT((account_number >=0) && (account_number < AIBUILD_MAX_ACCOUNTS));
    construction_program->account[account_number] = account;
    for (int l = 0; l < account->priority_levels; l++) AIBuild_LevelReset(&account->priority_level[l]);
}

void AIBuild_ProgramClearAccount(AIBUILD_PROGRAM* construction_program, int account_number)
{
    ASSERT(construction_program);
    ASSERT((account_number >=0) && (account_number < AIBUILD_MAX_ACCOUNTS));
    construction_program->account[account_number] = nullptr;
}

void AIBuild_TeamSetAccount(AI_Team* the_team, int account_number, AIBUILD_ACCOUNT* account)
{
    ASSERT(the_team);
    ASSERT(the_team->aibuild.construction_program);
    ASSERT((account_number >=0) && (account_number < AIBUILD_MAX_ACCOUNTS));
    AIBUILD_PROGRAM* p = the_team->aibuild.construction_program;
    AIBuild_AccountDelete(p->account[account_number]);
    p->account[account_number] = nullptr;
    if (account) AIBuild_ProgramSetAccount(p, account_number, account);
}

void AIBuild_TeamClearAccount(AI_Team* the_team, int account_number)
{
    ASSERT(the_team);
    ASSERT(the_team->aibuild.construction_program);
    AIBuild_ProgramClearAccount(the_team->aibuild.construction_program, account_number);
}

void AIBuild_SetConstructionProgram(AI_Team* the_team, AIBUILD_PROGRAM* construction_program)
{
    ASSERT(the_team);
    ASSERT(construction_program);
    the_team->aibuild.construction_program = construction_program;
}

void AIBuild_ClearConstructionProgram(AI_Team* the_team)
{
    ASSERT(the_team);
    the_team->aibuild.construction_program = nullptr;
}

void AIBuild_AccountDumpOf(const AIBUILD_ACCOUNT* account, int team, int account_number)
{
    TLOG(TLOG_AI, "AIBuild AccountDump Team %d Account %d", team, account_number);
    if (!account) {
        TLOG(TLOG_AI, "  No account");
        return;
    }
    for (int l = 0; l < account->priority_levels; l++) {
        const AIBUILD_PRIORITY_LEVEL& lv = account->priority_level[l];
        const char* name = lv.build_type >= 0 && lv.build_type <= 3 ? s_buildTypeNames[lv.build_type]
                                                                    : "UNKNOWN";
        TLOG(TLOG_AI, "  Priority level %d priority %d nodes %d [%s]", l, lv.priority, lv.nodes, name);
        for (int n = 0; n < lv.nodes; n++)
            TLOG(TLOG_AI, "  #%d num %d, internal %d", n, lv.node[n].number, lv.node[n].internal);
    }
}

void AIBuild_AccountDump(AI_Team* the_team, int account_number)
{
    ASSERT(the_team);
    const AIBUILD_PROGRAM* p = the_team->aibuild.construction_program;
    if (!p) {
        TLOG(TLOG_AI, "AIBuild AccountDump Team %d Account %d", the_team->team_ID, account_number);
        TLOG(TLOG_AI, "  No construction program");
        return;
    }
    ASSERT((account_number >=0) && (account_number < AIBUILD_MAX_ACCOUNTS));
    AIBuild_AccountDumpOf(p->account[account_number], the_team->team_ID, account_number);
}

// ------------------------------------------------------------------ choosing

int AIBuild_CostOfObject(int prereq_id)
{
    if (const UNITTYPE* u = PREREQ_UnitTypePtr(prereq_id)) return u->buildcost;
    if (const BUILDINGTYPE* b = PREREQ_BuildingTypePtr(prereq_id)) return b->cost;
    TLOG(TLOG_ERROR, "AIBuild_CostOfObject (%d) - input is not a building or unit", prereq_id);
    return 1000000000;
}

int AIBuild_IsEligible(int team, int item)
{
    if (!PREREQ_IsValid(item)) return 0;
    if (PREREQ_CanMake(item, team)) return 1;
    const BUILDINGTYPE* b = PREREQ_BuildingTypePtr(item);
    if (!b || !b->upgradefrom) return 0;
    return PREREQ_HowMany(b->upgradefrom->prereq.id, team) > PREREQ_HowMany(item, team);
}

static int Have(int team, int item)
{
    return PREREQ_HowMany(item, team) + AIBuild_UnderConstruction(team, item);
}

// Adds a candidate; the 41st and later are dropped.
static int AddCandidate(AIBUILD* ab, int quantity, int item, int account, int kind, int32_t* counter)
{
    if (ab->candidates >= AIBUILD_MAX_CANDIDATES) return 0;
    ab->candidate[ab->candidates++] = {quantity, (uint16_t)item, account, kind, counter};
    return 1;
}

// The one node a ratio level holds back: the eligible node furthest ahead
// (the first of equals), or -1 when fewer than two are eligible.
static int HeldBack(int team, const AIBUILD_PRIORITY_LEVEL& lv, const int* eligible, int count)
{
    if (count < 2) return -1;
    int best = -1;
    double bestratio = 0.0;
    for (int n = 0; n < lv.nodes; n++) {
        if (!eligible[n]) continue;
        const AIBUILD_NODE& node = lv.node[n];
        const double done = lv.build_type == RATIO_TO_BUILD ? node.internal : Have(team, node.object_type);
        const double ratio = done / node.number;
        if (best < 0 || ratio > bestratio) {
            best = n;
            bestratio = ratio;
        }
    }
    return best;
}

// Scans a level; 1 when it wants something (which ends the account's scan).
static int ScanLevel(AI_Team* the_team, int account_number, int l, AIBUILD_PRIORITY_LEVEL& lv)
{
    const int team = the_team->team_ID;
    AIBUILD* ab = &the_team->aibuild;
    switch (lv.build_type) {
    case NUMBER_TO_HAVE: {
        int wants = 0;
        for (int n = 0; n < lv.nodes; n++) {
            AIBUILD_NODE& node = lv.node[n];
            const int have = Have(team, node.object_type);
            if (have >= node.number) continue;
            wants = 1;
            if (AIBuild_IsEligible(team, node.object_type))
                AddCandidate(ab, node.number - have, node.object_type, account_number, AIBUILD_KIND_NONE, nullptr);
        }
        return wants;
    }
    case NUMBER_TO_BUILD: {
        int wants = 0;
        for (int n = 0; n < lv.nodes; n++) {
            AIBUILD_NODE& node = lv.node[n];
            if (node.internal <= 0) continue;
            wants = 1;
            if (AIBuild_IsEligible(team, node.object_type))
                AddCandidate(ab, node.internal, node.object_type, account_number,
                             AIBUILD_KIND_DECREMENT, &node.internal);
        }
        return wants;
    }
    case RATIO_TO_BUILD:
    case RATIO_TO_HAVE: {
        int eligible[MAX_NODES] = {};
        int count = 0;
        for (int n = 0; n < lv.nodes; n++) count += eligible[n] = AIBuild_IsEligible(team, lv.node[n].object_type);
        const int held = HeldBack(team, lv, eligible, count);
        const int build = lv.build_type == RATIO_TO_BUILD;
        for (int n = 0; n < lv.nodes; n++)
            if (eligible[n] && n != held)
                AddCandidate(ab, 1, lv.node[n].object_type, account_number,
                             build ? AIBUILD_KIND_INCREMENT : AIBUILD_KIND_RATIOHAVE,
                             build ? &lv.node[n].internal : nullptr);
        return 1;
    }
    default:
        TLOG(TLOG_ERROR, "Error in ai construction account #%d, priority level #%d illegal build type is %d",
             account_number, l, lv.build_type);
        return 0;
    }
}

static void ScanAccount(AI_Team* the_team, int account_number)
{
    AIBUILD_ACCOUNT* a = the_team->aibuild.construction_program->account[account_number];
    if (!a) return;
    for (int l = 0; l < a->priority_levels; l++)
        if (ScanLevel(the_team, account_number, l, a->priority_level[l])) return;
}

static void AddMatchUpDemand(AI_Team* the_team)
{
    const AIP_struct* plan = the_team->plan;
    if (!plan) return;
    const int team = the_team->team_ID;
    for (int t = 0; t < AIP_UNITTYPES && t < Units_UnitTypeCount(); t++) {
        const int want = (int)(plan->match_up_need[t] + 0.5f);
        if (want <= 0) continue;
        const int prereq_id = Units_GetTypePtr(t)->prereq.id;
        ASSERT(prereq_id);
        const int have = Have(team, prereq_id);
        if (have < want && AIBuild_IsEligible(team, prereq_id))
            AddCandidate(&the_team->aibuild, want - have, prereq_id, 0, AIBUILD_KIND_NONE, nullptr);
    }
}

void AIBuild_BuildCandidates(AI_Team* the_team)
{
    ASSERT(the_team);
    AIBUILD* ab = &the_team->aibuild;
    ab->candidates = 0;
    if (!ab->construction_program) return;
    ScanAccount(the_team, 0);
    if (ab->candidates > 0) return;
    AddMatchUpDemand(the_team);
    if (the_team->plan && the_team->plan->transport && ab->transports_needed > 0)
        AddCandidate(ab, ab->transports_needed, the_team->plan->transport, 0, AIBUILD_KIND_DECREMENT,
                     &ab->transports_needed);
    if (ab->next_account < 1 || ab->next_account >= AIBUILD_MAX_ACCOUNTS) ab->next_account = 1;
    for (int k = 0, a = ab->next_account; k < AIBUILD_MAX_ACCOUNTS - 1; k++) {
        ScanAccount(the_team, a);
        a = a == AIBUILD_MAX_ACCOUNTS - 1 ? 1 : a + 1;
    }
    ab->next_account = ab->next_account == AIBUILD_MAX_ACCOUNTS - 1 ? 1 : ab->next_account + 1;
}

static int CanProduce(int producer, int item, int mode, int team)
{
    if (mode == AIBUILD_BUILD) return PREREQ_CanThisMakeThat(producer, item, team);
    const BUILDINGTYPE* from = PREREQ_BuildingTypePtr(producer);
    const BUILDINGTYPE* to = PREREQ_BuildingTypePtr(item);
    return from && to && to->upgradefrom == from;
}

// Pays for a purchase: the price leaves the account and waits as prespent.
static void Pay(AI_Team* the_team, int account, int cost)
{
    AIBUILD* ab = &the_team->aibuild;
    if (account == 0) AIBuild_CreditSpend(the_team, cost);
    else {
        ab->credit[account] -= cost;
        ab->credit[0] -= cost;
    }
    ab->prespent_credits += cost;
}

int AIBuild_ChooseItem(AI_Team* the_team, int producer, int mode, int* account, int* x, int* y,
                       const UNIT* crew)
{
    ASSERT(the_team);
    AIBUILD* ab = &the_team->aibuild;
    const int n = ab->candidates;
    if (n <= 0) return 0;
    const int team = the_team->team_ID;
    const int start = Rand_Next(n);
    for (int k = 0; k < n; k++) {
        AIBUILD_CANDIDATE& c = ab->candidate[(start + k) % n];
        if (c.quantity <= 0 || !CanProduce(producer, c.item, mode, team)) continue;
        // A crew turns into buildings only: a unit bought for it would stay
        // counted as under construction for ever.
        if (crew && !PREREQ_IsBuilding(c.item)) continue;
        const int cost = AIBuild_CostOfObject(c.item);
        if (ab->credit[c.account] < cost) continue;
        int px = -1, py = -1;
        if (mode == AIBUILD_BUILD && PREREQ_IsBuilding(c.item) &&
            !AIBuild_FindFacilityLocation(the_team, PREREQ_BuildingTypePtr(c.item), &px, &py, crew))
            continue;
        AIBuild_UnderConstructionAdd(team, c.item);
        Pay(the_team, c.account, cost);
        if (account) *account = c.account;
        if (x) *x = px;
        if (y) *y = py;
        c.quantity--;
        if (c.counter && c.kind == AIBUILD_KIND_DECREMENT) (*c.counter)--;
        if (c.counter && c.kind == AIBUILD_KIND_INCREMENT) (*c.counter)++;
        return c.item;
    }
    return 0;
}
