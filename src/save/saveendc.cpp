// The condition machine in a saved game: its own record (rotation, carried
// delays, start counts, the trees' and file names' pointers) as global
// blocks, and every tree with its states, lists, criteria and texts as
// local blocks. The plans that states name are the plan list's, static
// blocks named by their file.
#include "save/saveget.h"

#include <climits>
#include <cstring>
#include <initializer_list>

#include "ai/ai.h"
#include "ai/aip.h"
#include "core/gll.h"
#include "core/tlog.h"
#include "rules/endcond.h"
#include "save/saveblk.h"
#include "save/savetype.h"

namespace {

// Criteria nest no deeper in any file the reader takes; a deeper loaded
// chain stops the walk (and the load) rather than the stack.
const int kMaxDepth = 200;
// A team's units or buildings at the start of a game: more than a
// scenario file can place. The criteria multiply their sum over the teams
// by a percentage in 64 bits.
const int32_t kMostAtStart = 1 << 26;

void registerLocal(int type, void* record, size_t size)
{
    Save_RegisterTypePointers(type, record);
    Save_RegisterBlock(SAVEK_LOCAL, record, type, size);
}

void registerText(char* text)
{
    if (!text || !Save_WalkGoesOn()) return;
    // A loaded text is read no further than its block: its end is checked
    // after the walk (Endcond_CheckLoaded).
    const long loaded = Save_LoadedSize(text);
    Save_RegisterBlock(SAVEK_LOCAL, text, ST_VOID, loaded >= 0 ? (size_t)loaded : strlen(text) + 1);
}

// A list: its header, its nodes, each node's element (fn, or a block of
// elemType of elemSize bytes).
template <typename Fn>
void walkList(GLL* list, int headType, int nodeType, Fn element)
{
    if (!list) return;
    registerLocal(headType, list, sizeof *list);
    for (GLL_NODE* n = list->first; n && Save_WalkGoesOn(); n = n->next) {
        registerLocal(nodeType, n, sizeof *n);
        if (n->element) element(n->element);
    }
}

template <typename T> auto plain(int type)
{
    return [type](void* e) { registerLocal(type, e, sizeof(T)); };
}

void walkCriteria(CRITERIA* node, int depth)
{
    if (!node || !Save_WalkGoesOn()) return;
    if (node->type >= CRIT_KINDS) {
        TLOG(TLOG_ERROR, "Endcondition node type %d invalid - cannot be saved.", node->type);
        Save_Refuse("an end condition of an invalid node type");
        return;
    }
    if (depth > kMaxDepth) {
        Save_Refuse("end conditions nested too deep");
        return;
    }
    registerLocal(ST_CRITERIA, node, sizeof *node);
    switch (node->type) {
    case CRIT_OR: case CRIT_AND:
        walkList(node->boolean.nodes, ST_CNBOOLGLLHEADER, ST_CNBOOLGLLNODE,
                 [depth](void* e) { walkCriteria((CRITERIA*)e, depth + 1); });
        break;
    case CRIT_NOT: case CRIT_ONCE: walkCriteria(node->unary.node, depth + 1); break;
    case CRIT_BUILDBUILDING: case CRIT_BUILDUNIT: case CRIT_DESTROYBUILDINGTYPE: case CRIT_BEGINBUILDBUILDING:
    case CRIT_KILLUNITTYPE:
        registerText(node->builditem.itemname);
        break;
    case CRIT_MOVEUNITSTOREGION: case CRIT_DESTROYBUILDING: case CRIT_DESTROYUNIT: case CRIT_CAPTUREUNIT:
        walkList(node->destroyitem.idlist, ST_IDLISTGLLHEADER, ST_IDLISTGLLNODE, plain<int32_t>(ST_ULONG));
        break;
    case CRIT_STEALPLAN: registerText(node->stealplan.plan_name); break;
    default: break;
    }
}

void walkState(CONDSTATE* s)
{
    registerLocal(ST_CONDSTATE, s, sizeof *s);
    walkList(s->conds, ST_CONDITIONGLLHEADER, ST_CONDITIONGLLNODE, [](void* e) {
        CONDITION* c = (CONDITION*)e;
        registerLocal(ST_CONDITION, c, sizeof *c);
        walkCriteria(c->criteria, 0);
    });
    walkList(s->tweakregions, ST_REGIONADJUSTGLLHEADER, ST_REGIONADJUSTGLLNODE, plain<REGIONADJUST>(ST_REGIONADJUST));
    walkList(s->specialforces_trigger, ST_TRIGSFGLLHEADER, ST_TRIGSFGLLNODE, plain<TRIGSF>(ST_TRIGSF));
    walkList(s->specialforces_release, ST_RELEASESFGLLHEADER, ST_RELEASESFGLLNODE, plain<int32_t>(ST_ULONG));
    walkList(s->specialforces_give, ST_GIVESFGLLHEADER, ST_GIVESFGLLNODE, plain<GIVESF>(ST_GIVESF));
    walkList(s->give_bonus_credits, ST_GIVEBONUSCREDITSGLLHEADER, ST_GIVEBONUSCREDITSGLLNODE,
             plain<GIVEBONUSCREDITS>(ST_GIVEBONUSCREDITS));
    walkList(s->gamemsgdata, ST_GAMEMSG_DATAGLLHEADER, ST_GAMEMSG_DATAGLLNODE, plain<GAMEMSG_DATA>(ST_GAMEMSG_DATA));
    if (s->alliances) registerLocal(ST_ALLIANCESET, s->alliances, sizeof *s->alliances);
}

void walkTree(CONDTREE* tree)
{
    if (!tree) return;
    registerLocal(ST_CONDTREE, tree, sizeof *tree);
    registerText(tree->description);
    walkList(tree->condstates, ST_CONDSTATEGLLHEADER, ST_CONDSTATEGLLNODE,
             [](void* e) { walkState((CONDSTATE*)e); });
}

// ---- checks of a loaded machine

const char* s_bad;

void bad(const char* why)
{
    if (!s_bad) s_bad = why;
}

void badField(const void* record, const char* field)
{
    if (!s_bad) s_bad = Save_FieldOutOfRange(record, field);
}

// A list's links both ways, its end, count and cursor.
void checkList(const GLL* list)
{
    if (!list) return;
    const GLL_NODE* prev = nullptr;
    int n = 0, cursor = 0;
    for (const GLL_NODE* node = list->first; node; prev = node, node = node->next) {
        n++;
        if (node->prev != prev || !node->element) return bad("an end-condition list's links");
        if (node == list->curr) cursor = n;
    }
    if (prev != list->last || n != list->count || cursor != list->pos || (list->curr && !cursor))
        bad("an end-condition list's end, count or cursor");
}

void checkText(const char* text)
{
    if (!text) return;
    long size = Save_LoadedSize(text);
    if (size < 1 || text[size - 1] != '\0') bad("an end-condition text without its end");
}

template <typename Fn> void eachOf(const GLL* list, Fn fn)
{
    checkList(list);
    for (const GLL_NODE* n = list ? list->first : nullptr; n && !s_bad; n = n->next) fn(n->element);
}

void checkCriteria(const CRITERIA* node)
{
    if (!node) return;
    switch (node->type) {
    case CRIT_OR: case CRIT_AND: eachOf(node->boolean.nodes, [](void* e) { checkCriteria((CRITERIA*)e); }); break;
    case CRIT_NOT: case CRIT_ONCE: checkCriteria(node->unary.node); break;
    case CRIT_BUILDBUILDING: case CRIT_BUILDUNIT: case CRIT_DESTROYBUILDINGTYPE: case CRIT_BEGINBUILDBUILDING:
    case CRIT_KILLUNITTYPE:
        checkText(node->builditem.itemname);
        break;
    case CRIT_MOVEUNITSTOREGION: case CRIT_DESTROYBUILDING: case CRIT_DESTROYUNIT: case CRIT_CAPTUREUNIT:
        checkList(node->destroyitem.idlist);
        break;
    case CRIT_STEALPLAN: checkText(node->stealplan.plan_name); break;
    default: break;
    }
}

// States count from 1 (a tree without states stands at 1); a next state of
// 0 is the win. A tree whose state or next state it doesn't have would
// stand still for the rest of the game.
void checkTree(const CONDTREE* tree)
{
    if (!tree) return;
    checkText(tree->description);
    const int states = tree->condstates ? tree->condstates->count : 0;
    eachOf(tree->condstates, [states](void* e) {
        const CONDSTATE* s = (const CONDSTATE*)e;
        eachOf(s->conds, [states](void* c) {
            const CONDITION* cond = (const CONDITION*)c;
            if (cond->next < 0 || cond->next > states) return badField(cond, "next");
            checkCriteria(cond->criteria);
        });
        for (const GLL* l : {s->tweakregions, s->specialforces_trigger, s->specialforces_release,
                             s->specialforces_give, s->give_bonus_credits, s->gamemsgdata})
            checkList(l);
        if (memchr(s->aipfile, 0, sizeof s->aipfile) == nullptr || memchr(s->msgfile, 0, sizeof s->msgfile) == nullptr)
            bad("an end-condition state's file name");
    });
    if (tree->current < 1 || tree->current > (states ? states : 1)) badField(tree, "current");
}

} // namespace

void Saveget_SpecialForces(void)
{
    Save_RegisterHead(AI_SpecialForceListSlot(), 1, ST_SPECIAL_FORCEGLLHEADER, "ai->forces");
    walkList(AI_SpecialForceList(), ST_SPECIAL_FORCEGLLHEADER, ST_SPECIAL_FORCEGLLNODE, [](void* e) {
        SPECIAL_FORCE* force = (SPECIAL_FORCE*)e;
        registerLocal(ST_SPECIAL_FORCE, force, sizeof *force);
        walkList(force->units, ST_IDLISTGLLHEADER, ST_IDLISTGLLNODE, plain<int32_t>(ST_ULONG));
    });
}

const char* SpecialForces_CheckLoaded(void)
{
    s_bad = nullptr;
    eachOf(AI_SpecialForceList(), [](void* e) { checkList(((const SPECIAL_FORCE*)e)->units); });
    return s_bad;
}

void Saveget_EndConditions(void)
{
    // The plans first: the states name them.
    for (GLL_NODE* n = AI_AIPList() ? AI_AIPList()->first : nullptr; n; n = n->next)
        Save_RegisterBlock(SAVEK_STATIC, n->element, ST_AIP_struct, sizeof(AIP_struct));
    ENDCOND_STATE& e = g_Endcond;
    for (int32_t* words : {e.carrieddelay, e.unitsatstart, e.buildingsatstart})
        Save_RegisterBlock(SAVEK_GLOBAL, words, ST_ULONG, sizeof(int32_t) * ENDCOND_TEAMS);
    Save_RegisterBlock(SAVEK_GLOBAL, &e.callcounter, ST_ULONG, sizeof e.callcounter);
    Save_RegisterBlock(SAVEK_GLOBAL, &e.currentteam, ST_ULONG, sizeof e.currentteam);
    for (CONDTREE** trees : {e.endtree, e.fsm}) {
        Save_RegisterBlockPointers(ST_CONDTREEPTR, 1, trees, sizeof(CONDTREE*) * ENDCOND_TEAMS, ST_VOID);
        Save_RegisterBlock(SAVEK_GLOBAL, trees, ST_CONDTREEPTR, sizeof(CONDTREE*) * ENDCOND_TEAMS);
    }
    Save_RegisterHead(e.endcond_name, ENDCOND_TEAMS, ST_VOID, "g_Endcond.endcond_name[t]");
    for (char* name : e.endcond_name) registerText(name);
    for (int t = 0; t < ENDCOND_TEAMS; t++) {
        walkTree(e.endtree[t]);
        walkTree(e.fsm[t]);
    }
}

const char* Endcond_CheckLoaded(void)
{
    s_bad = nullptr;
    for (const char* name : g_Endcond.endcond_name) checkText(name);
    for (int t = 0; t < ENDCOND_TEAMS && !s_bad; t++) {
        checkTree(g_Endcond.endtree[t]);
        checkTree(g_Endcond.fsm[t]);
    }
    if (g_Endcond.currentteam < 0 || g_Endcond.currentteam >= ENDCOND_TEAMS) bad("the condition machine's team");
    // The rotation counts up by one a call and looks two calls ahead.
    if (g_Endcond.callcounter < 0 || g_Endcond.callcounter > INT32_MAX - 3)
        badField(&g_Endcond.callcounter, "callcounter");
    for (int t = 0; t < ENDCOND_TEAMS; t++) {
        if (g_Endcond.unitsatstart[t] < 0 || g_Endcond.unitsatstart[t] > kMostAtStart)
            badField(g_Endcond.unitsatstart, "unitsatstart");
        if (g_Endcond.buildingsatstart[t] < 0 || g_Endcond.buildingsatstart[t] > kMostAtStart)
            badField(g_Endcond.buildingsatstart, "buildingsatstart");
    }
    return s_bad;
}
