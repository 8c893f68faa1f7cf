#include "rules/endcond.h"

#include <cstring>
#include <initializer_list>

#include "ai/ai.h"
#include "ai/aigrid.h"
#include "core/config.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/gll.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "map/region.h"
#include "platform/video.h"
#include "rules/gamemsg.h"
#include "rules/scenario.h"
#include "units/building.h"
#include "units/team.h"

ENDCOND_STATE g_Endcond;

// Deadlines and carried delays are stored in saved games as 32-bit words: a
// sum beyond them stays at the nearest end instead of wrapping (a timer of
// the largest time would otherwise come due at once, a huge delay release
// the clocks).

// ------------------------------------------------------------------ freeing

static void FreeCriteria(void* element)
{
    CRITERIA* node = static_cast<CRITERIA*>(element);
    if (!node) return;
    switch (node->type) {
    case CRIT_OR:
    case CRIT_AND: GLL_Destroy(node->boolean.nodes, FreeCriteria); break;
    case CRIT_NOT:
    case CRIT_ONCE: FreeCriteria(node->unary.node); break;
    case CRIT_BUILDBUILDING:
    case CRIT_BEGINBUILDBUILDING:
    case CRIT_BUILDUNIT:
    case CRIT_DESTROYBUILDINGTYPE:
    case CRIT_KILLUNITTYPE: Debug_Free(&node->builditem.itemname); break;
    case CRIT_MOVEUNITSTOREGION:
    case CRIT_DESTROYBUILDING:
    case CRIT_DESTROYUNIT:
    case CRIT_CAPTUREUNIT: GLL_Destroy(node->destroyitem.idlist, GLL_FREE_ELEMENTS); break;
    case CRIT_STEALPLAN: Debug_Free(&node->stealplan.plan_name); break;
    default: break;
    }
    Debug_Free(&node);
}

static void FreeCondition(void* element)
{
    CONDITION* c = static_cast<CONDITION*>(element);
    FreeCriteria(c->criteria);
    Debug_Free(&c);
}

static void FreeState(void* element)
{
    CONDSTATE* s = static_cast<CONDSTATE*>(element);
    GLL_Destroy(s->conds, FreeCondition);
    for (GLL* list : {s->tweakregions, s->specialforces_trigger, s->specialforces_release,
                      s->specialforces_give, s->give_bonus_credits, s->gamemsgdata})
        GLL_Destroy(list, GLL_FREE_ELEMENTS);
    Debug_Free(&s->alliances);
    Debug_Free(&s);
}

void Endcond_FreeTree(CONDTREE* tree)
{
    if (!tree) return;
    GLL_Destroy(tree->condstates, FreeState);
    Debug_Free(&tree->description);
    Debug_Free(&tree);
}

// ------------------------------------------------------------------ life cycle

void Endcond_Init(void)
{
    // Everything of a game starts afresh, the rotation and the delays
    // included: left from an earlier game of the process, they would make
    // two machines, or a game and its replay, look at different trees.
    memset(&g_Endcond, 0, sizeof g_Endcond);
}

void Endcond_Close(void)
{
    for (int t = 0; t < ENDCOND_TEAMS; t++) {
        Endcond_FreeTree(g_Endcond.endtree[t]);
        Endcond_FreeTree(g_Endcond.fsm[t]);
        g_Endcond.endtree[t] = g_Endcond.fsm[t] = nullptr;
        Debug_Free(&g_Endcond.endcond_name[t]);
    }
}

CONDTREE* Endcond_GetTree(int team, int kind)
{
    ASSERT(team >= 0 && team < ENDCOND_TEAMS);
    ASSERT(kind == ENDCOND_END || kind == ENDCOND_FSM);
    return kind == ENDCOND_END ? g_Endcond.endtree[team] : g_Endcond.fsm[team];
}

CONDSTATE* Endcond_GetState(const CONDTREE* tree, int n)
{
    if (!tree || !tree->condstates || n < 1 || n > tree->condstates->count) return nullptr;
    return static_cast<CONDSTATE*>(GLL_GoTo(tree->condstates, n));
}

void Endcond_SetEndCondFile(int team, const char* name)
{
    ASSERT(team >= 0 && team < ENDCOND_TEAMS);
    // An empty name is none: written out it would make "SetEnd()", which the
    // scenario reader refuses.
    char* copy = name && *name ? Debug_Strdup(name) : nullptr;
    Debug_Free(&g_Endcond.endcond_name[team]);
    g_Endcond.endcond_name[team] = copy;
}

const char* Endcond_GetEndCondFile(int team)
{
    ASSERT(team >= 0 && team < ENDCOND_TEAMS);
    return g_Endcond.endcond_name[team];
}

// ------------------------------------------------------------------ game start

void Endcond_InitTeamTotals(void)
{
    for (int t = 0; t < ENDCOND_TEAMS; t++) {
        g_Endcond.unitsatstart[t] = teamdata[t].unitcount;
        g_Endcond.buildingsatstart[t] = 0;
    }
    for (const BUILDING* b = g_Buildings; b; b = b->next)
        if (b->team >= 0 && b->team < ENDCOND_TEAMS) g_Endcond.buildingsatstart[b->team]++;
}

// The plans of the states of a team's machine not loaded yet.
static void LoadTeamAIPs(int t)
{
    const CONDTREE* fsm = g_Endcond.fsm[t];
    if (!fsm || !fsm->condstates) return;
    TLOG(TLOG_AI, "   calling process team %d", t);
    int n = 1;
    for (GLL_NODE* node = fsm->condstates->first; node; node = node->next, n++) {
        CONDSTATE* s = static_cast<CONDSTATE*>(node->element);
        TLOG(TLOG_AI, "Endcond_LoadAIPForState::Team %d State %d", t, n);
        if (!s->aipfile[0] || s->aip) continue;
        s->aip = AI_AIPLoad(s->aipfile);
        if (!s->aip) TLOG(TLOG_ERROR, "AIP file %s not found for team %d state %d", s->aipfile, t, n);
    }
}

void Endcond_LoadAIPs(void)
{
    TLOG(TLOG_AI, "Endcond_LoadAIPs::Begins");
    for (int t = 0; t < ENDCOND_TEAMS; t++) {
        TLOG(TLOG_AI, "   checking team %d", t);
        if (teamdata[t].type == TT_COMPUTER) LoadTeamAIPs(t);
    }
    TLOG(TLOG_AI, "Endcond_LoadAIPs::Ends");
}

void Endcond_TakeOver(int team)
{
    ASSERT(team >= 0 && team < ENDCOND_TEAMS);
    const int fresh = g_Endcond.fsm[team] == nullptr;
    if (fresh && !Scenario_LoadFsm(team, 0)) return;
    LoadTeamAIPs(team);
    CONDTREE* fsm = g_Endcond.fsm[team];
    if (fresh) {
        if (CONDSTATE* s = Endcond_GetState(fsm, 1)) Endcond_EnterState(s, team, ENDCOND_FSM);
    } else if (CONDSTATE* s = Endcond_GetState(fsm, fsm->current); s && s->aip) {
        AI_AIPSwitch(team, s->aip);
    }
}

void Endcond_EnterInitialStates(void)
{
    for (int t = 0; t < ENDCOND_TEAMS; t++) {
        if (CONDSTATE* s = Endcond_GetState(g_Endcond.endtree[t], 1)) Endcond_EnterState(s, t, ENDCOND_END);
        if (CONDSTATE* s = Endcond_GetState(g_Endcond.fsm[t], 1)) Endcond_EnterState(s, t, ENDCOND_FSM);
    }
}

// ------------------------------------------------------------------ the rotation

int Endcond_Update(int* team)
{
    g_Endcond.callcounter++;
    const int t = g_Endcond.currentteam;
    *team = t;
    if (g_Endcond.callcounter % 4 == 0) return Endcond_ProcessTree(g_Endcond.endtree[t], t, ENDCOND_END);
    if ((g_Endcond.callcounter + 2) % 4 == 0) {
        const int r = Endcond_ProcessTree(g_Endcond.fsm[t], t, ENDCOND_FSM);
        g_Endcond.currentteam = (t + 1) % ENDCOND_TEAMS;
        return r;
    }
    return 0;
}

static int LastTeamStanding(int team)
{
    for (int u = 0; u < ENDCOND_TEAMS; u++)
        if (u != team && !Endcond_IsEliminated(u)) return 0;
    return 1;
}

// The shared delay holds back both trees of the team: each look consumes up
// to one rotation's worth of it.
static void AdvanceClock(CONDTREE* tree, int team)
{
    int32_t& d = g_Endcond.carrieddelay[team];
    int step = ENDCOND_ROTATION;
    if (d > 0) {
        const int k = d < ENDCOND_ROTATION ? d : ENDCOND_ROTATION;
        d -= k;
        step -= k;
    }
    // The clock stops where a save can still hold it (a look's step below
    // the top of the word).
    tree->elapsed = tree->elapsed < ENDCOND_MAXELAPSED - step ? tree->elapsed + step : ENDCOND_MAXELAPSED;
}

static void ShowFiring(const CONDITION* c, const CONDTREE* tree, int team, int kind)
{
    if (!g_Config.enablefsmmessages) return;
    if (c->text[0])
        Display_Message(kind == ENDCOND_FSM ? "FSM Team# %d %d->%d '%s'" : "End Team# %d %d->%d '%s'", team,
                        tree->current, c->next, c->text);
    if (kind == ENDCOND_END) {
        const GAMEMSG_ARG comp[] = {GameMsg_Int(team), GameMsg_Int(tree->current)};
        GameMsg_TriggerVar(GameMsg_Std(MSG_ENDCONDCOMPSTATE), comp, 2);
        const GAMEMSG_ARG now[] = {GameMsg_Int(c->next)};
        GameMsg_TriggerVar(GameMsg_Std(MSG_ENDCONDNOWSTATE), now, 1);
    }
}

static int Fire(const CONDITION* c, CONDTREE* tree, int team, int kind)
{
    ShowFiring(c, tree, team, kind);
    if (c->next != 0) {
        // The loader refuses next states the tree doesn't have; a tree built
        // by other means (the editor) must not take one either.
        CONDSTATE* next = Endcond_GetState(tree, c->next);
        if (!next) return 0;
        tree->current = c->next;
        g_Endcond.carrieddelay[team] = Utils_Saturate32((int64_t)g_Endcond.carrieddelay[team] + c->delay);
        Endcond_EnterState(next, team, kind);
        return 0;
    }
    GameMsg_TriggerStd(GameMsg_Std(team == g_LocalTeam ? MSG_MISSIONSUCCESS : MSG_MISSIONFAILED));
    return 1;
}

int Endcond_ProcessTree(CONDTREE* tree, int team, int kind)
{
    if (!tree) return kind == ENDCOND_FSM ? 0 : LastTeamStanding(team);
    AdvanceClock(tree, team);
    if (tree->timelimit != 0 && tree->elapsed >= tree->timelimit) return 2;
    if (!tree->condstates || tree->condstates->count == 0)
        return kind == ENDCOND_FSM ? 0 : LastTeamStanding(team);
    const CONDSTATE* state = Endcond_GetState(tree, tree->current);
    if (!state || !state->conds || state->conds->count == 0) return 0;
    int result = 2;
    for (GLL_NODE* n = state->conds->first; n; n = n->next) {
        const CONDITION* c = static_cast<const CONDITION*>(n->element);
        if (c->expiry != 0 && tree->elapsed >= c->expiry) continue;
        if (Endcond_EvaluateCriteria(team, c->criteria, kind)) return Fire(c, tree, team, kind);
        result = 0;
    }
    return result;
}

// ------------------------------------------------------------------ entering a state

static void ArmTimers(CRITERIA* node)
{
    if (!node) return;
    switch (node->type) {
    case CRIT_OR:
    case CRIT_AND:
        if (node->boolean.nodes)
            for (GLL_NODE* n = node->boolean.nodes->first; n; n = n->next)
                ArmTimers(static_cast<CRITERIA*>(n->element));
        break;
    case CRIT_NOT:
    case CRIT_ONCE: ArmTimers(node->unary.node); break;
    case CRIT_TIMER: node->timer.deadline = Utils_Saturate32((int64_t)node->timer.time + g_UpdateCount); break;
    default: break;
    }
}

template <class T, class F> static void Each(GLL* list, F fn)
{
    if (!list) return;
    for (GLL_NODE* n = list->first; n; n = n->next) fn(static_cast<T*>(n->element));
}

// A negative bonus is a fine, cut to what the team has uncommitted (all of
// its credits unless a computer player has promised some of them).
static void GiveBonus(GIVEBONUSCREDITS* c)
{
    if (c->team < 0 || c->team >= TEAM_MAXTEAMS) return;
    int amount = c->amount;
    if (amount < 0 && -(int64_t)amount > AI_GetCredits(c->team)) amount = -AI_GetCredits(c->team);
    // The books take what the credits really changed by: a gain past the
    // 32-bit limit is cut there.
    const int change = Team_ChangeCredits(c->team, amount);
    if (change > 0) AI_GiveCredits(c->team, change);
    else if (change < 0) AI_SpendCredits(c->team, -change);
}

void Endcond_EnterState(CONDSTATE* state, int team, int kind)
{
    (void)kind;
    ASSERT(state);
    ASSERT(team >= 0 && team < ENDCOND_TEAMS);
    Each<CONDITION>(state->conds, [](CONDITION* c) { ArmTimers(c->criteria); });
    Each<TRIGSF>(state->specialforces_trigger, [](TRIGSF* t) {
        SPECIAL_FORCE* force = AI_FindSpecialForce((uint32_t)t->force);
        const REGION* r = Region_FindById((uint32_t)t->region);
        if (force && r) AI_MoveSpecialForce(force, r->x1 / 24, r->y1 / 24, r->x2 / 24, r->y2 / 24);
    });
    Each<int>(state->specialforces_release, [](int* id) {
        if (SPECIAL_FORCE* force = AI_FindSpecialForce((uint32_t)*id)) AI_ReleaseSpecialForce(force);
    });
    Each<GIVEBONUSCREDITS>(state->give_bonus_credits, GiveBonus);
    Each<GIVESF>(state->specialforces_give, [](GIVESF* g) {
        if (SPECIAL_FORCE* force = AI_FindSpecialForce((uint32_t)g->force)) AI_GiveSpecialForce(force, g->team);
    });
    Each<GAMEMSG_DATA>(state->gamemsgdata, [](GAMEMSG_DATA* m) {
        if (GAME_MSG* msg = GameMsg_SymToData(m->sym)) GameMsg_TriggerStd(msg);
    });
    if (state->alliances)
        for (int u = 0; u < ENDCOND_TEAMS; u++)
            if (u != team) Team_ForceRelation(team, u, state->alliances->relation[u]);
    for (GLL_NODE* n = state->tweakregions ? state->tweakregions->first : nullptr; n; n = n->next) {
        const REGIONADJUST* a = static_cast<const REGIONADJUST*>(n->element);
        if (const REGION* r = Region_FindById((uint32_t)a->rid.id))
            AI_RegionTweak(team, a->value, a->minforce, a->maxforce, r->x1 / 24, r->y1 / 24, r->x2 / 24,
                           r->y2 / 24);
    }
    if (state->aip) AI_AIPSwitch(team, state->aip);
}

int Endcond_GetTimeLeft(int team)
{
    const CONDTREE* tree = Endcond_GetTree(team, ENDCOND_END);
    if (!tree || tree->timelimit == 0) return -1;
    const int left = tree->timelimit - tree->elapsed;
    return left > 0 ? left : 0;
}
