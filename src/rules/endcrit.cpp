// The criteria of the condition trees.
//
// Several criteria remember between evaluations (hold counters, harassment
// counts, the once-latch, id lists that shrink, type ids looked up once), so
// a result depends on how often a node is reached: the machine reaches a
// node only in its tree's current state, once a rotation, and OR / AND stop
// at the first child that decides.
#include <algorithm>
#include <cstdint>

#include "ai/ai.h"
#include "core/debug.h"
#include "core/gll.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "map/region.h"
#include "rules/endcond.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

enum { TILE = 24 };

// The tile rectangle that holds the region: a circle's bounding square.
void RegionBounds(const REGION* r, int* x1, int* y1, int* x2, int* y2)
{
    if ((r->flags & REGION_SHAPE_MASK) == RT_CIRCLE) {
        *x1 = r->x1 - r->x2;
        *y1 = r->y1 - r->x2;
        *x2 = r->x1 + r->x2;
        *y2 = r->y1 + r->x2;
    } else {
        *x1 = r->x1;
        *y1 = r->y1;
        *x2 = r->x2;
        *y2 = r->y2;
    }
}

// A unit on the map of team (mask 0) or of the teams team holds mask
// towards stands in the region.
int UnitInRegion(const REGION* r, int team, int mask)
{
    if (!r) return 0;
    int x1, y1, x2, y2;
    RegionBounds(r, &x1, &y1, &x2, &y2);
    ITERATOR it;
    Iterate_UnitInitMapGrid(&it, team, mask, MM_ALL, x1 / TILE, y1 / TILE, x2 / TILE, y2 / TILE);
    while (UNIT* u = Iterate_UnitNextMapGrid(&it))
        if (Region_ContainsTile(r, u->tilepos.x, u->tilepos.y)) return 1;
    return 0;
}

int HoldRegion(int team, CRITNODE_USEREGION& n)
{
    if (UnitInRegion(n.region, team, TR_ENEMY)) return 0;
    if (!UnitInRegion(n.region, team, TR_ALLY)) return 0;
    // Held at 0 once it is there: the answer is the same below it, and a
    // count run on down would leave what a saved game holds.
    if (n.counter < 1) return 1;
    return --n.counter < 1;
}

int HarassRegion(int team, CRITNODE_USEREGION& n)
{
    if (!n.region) return 0;
    int32_t& total = n.region->harass[team];
    if (total != 0) {
        // Summed wide and held inside the word (the bottom itself has no
        // step below it): many hits, or many mends, passed its ends.
        n.counter = std::max(INT32_MIN + 1, Utils_Saturate32((int64_t)n.counter + ((n.b & 2) ? total : 1)));
        total = 0;
    } else if (!(n.b & 1)) {
        n.counter = 0;
    }
    return n.counter >= n.a;
}

// The type's prerequisite id, looked up at the first evaluation; -1 (logged
// once) when no type has the name.
int ItemId(CRITNODE_BUILDITEM& n, int kind)
{
    if (n.itemid == 0) {
        n.itemid = PREREQ_WhatIs(n.itemname);
        if (n.itemid == 0) {
            TLOG(TLOG_ERROR, kind == CRIT_BUILDUNIT ? "No such unit type [%s]" : "No such building type [%s]",
                 n.itemname);
            n.itemid = -1;
        }
    }
    return n.itemid;
}

int FootprintInRegion(const BUILDING* b, const REGION* r)
{
    int x1, y1, x2, y2;
    RegionBounds(r, &x1, &y1, &x2, &y2);
    const int left = b->tilex * TILE - TILE / 2;
    const int top = b->tiley * TILE - TILE / 2;
    return x1 <= left && x2 >= left + b->buildingtype->width * TILE && y1 <= top &&
           y2 >= top + b->buildingtype->height * TILE;
}

int BuildBuilding(int team, CRITNODE_BUILDITEM& n, int kind)
{
    const int id = ItemId(n, kind);
    if (id < 0) return 0;
    int count = 0;
    ITERATOR it;
    Iterate_BuildInit(&it, team, 0);
    while (BUILDING* b = Iterate_BuildNext(&it)) {
        if (!b->buildingtype || b->buildingtype->prereq.id != id) continue;
        if (kind == CRIT_BUILDBUILDING && !b->complete) continue;
        if (n.region && !FootprintInRegion(b, n.region)) continue;
        count++;
    }
    return count >= n.count;
}

int BuildUnit(int team, CRITNODE_BUILDITEM& n)
{
    const int id = ItemId(n, CRIT_BUILDUNIT);
    if (id < 0) return 0;
    int count = 0;
    ITERATOR it;
    Iterate_UnitInit(&it, team, 0, MM_ALL);
    while (UNIT* u = Iterate_UnitNext(&it))
        if (u->type && u->type->prereq.id == id) count++;
    return count >= n.count;
}

// Removes every id whose object `gone` says has done what the criterion
// wants; 1 when no more than `allowed` are left.
template <class F> int ShrinkIds(CRITNODE_DESTROYITEM& n, int allowed, F gone)
{
    GLL* list = n.idlist;
    if (!list) return 0 <= allowed;
    GLL_GoFirst(list);
    while (int* id = static_cast<int*>(GLL_GetCurrent(list))) {
        if (gone(*id)) {
            GLL_DeleteCurrent(list);
            Debug_Free(&id);
        } else {
            GLL_GoNext(list);
        }
    }
    return list->count <= allowed;
}

int IsResourceBuilding(const BUILDING* b) { return Endcond_IsResourceType(b->buildingtype); }

int KillEnemyUnits(int team, int percent)
{
    int64_t start = 0, now = 0;
    for (int u = 0; u < TEAM_MAXTEAMS; u++) {
        if (teamdata[team].relation[u] != TR_ENEMY) continue;
        start += g_Endcond.unitsatstart[u];
        now += teamdata[u].unitcount;
    }
    return now <= start - start * percent / 100;
}

int DestroyEnemyBuildings(int team, int percent)
{
    int64_t start = 0, now = 0;
    for (int u = 0; u < TEAM_MAXTEAMS; u++)
        if (teamdata[team].relation[u] == TR_ENEMY) start += g_Endcond.buildingsatstart[u];
    for (const BUILDING* b = g_Buildings; b; b = b->next)
        if (b->team >= 0 && b->team < TEAM_MAXTEAMS && teamdata[team].relation[b->team] == TR_ENEMY) now++;
    return now <= start - start * percent / 100;
}

int DestroyTeamBuildings(const CRITNODE_KILLENEMY& n)
{
    int count = 0;
    ITERATOR it;
    Iterate_BuildInit(&it, n.team, 0);
    while (BUILDING* b = Iterate_BuildNext(&it))
        if (!IsResourceBuilding(b)) count++;
    return count <= (int64_t)g_Endcond.buildingsatstart[n.team] * n.percent / 100;
}

int KillAll(int team, int allies_too)
{
    for (int u = 0; u < TEAM_MAXTEAMS; u++) {
        if (u == team) continue;
        if (!allies_too && Team_GetRelation(u, team) == TR_ALLY && Team_GetRelation(team, u) == TR_ALLY)
            continue;
        if (!Endcond_IsEliminated(u)) return 0;
    }
    return 1;
}

int StealPlan(CRITNODE_STEALPLAN& n)
{
    if (n.planid == 0) {
        n.planid = (uint16_t)PREREQ_WhatIs(n.plan_name);
        if (n.planid == 0) {
            TLOG(TLOG_ERROR, "Unknown unit or building type %s in Steal Plans", n.plan_name);
            return 0;
        }
    }
    return PREREQ_HaveStolen(n.planid, n.team) != 0;
}

}   // namespace

int Endcond_IsResourceType(const BUILDINGTYPE* type)
{
    if (!type) return 0;
    for (const BUILDTYPE_RESOURCE& r : type->resource)
        if (r.production > 0) return 1;
    return 0;
}

int Endcond_IsEliminated(int team)
{
    int withmaker = 0;
    ITERATOR it;
    Iterate_BuildInit(&it, team, 0);
    while (BUILDING* b = Iterate_BuildNext(&it)) {
        if (!IsResourceBuilding(b)) return 0;
        if (b->whomademe.id != -1) withmaker++;
    }
    return teamdata[team].unitcount <= withmaker;
}

int Endcond_EvaluateCriteria(int team, CRITERIA* node, int kind)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    if (!node) return 0;
    switch (node->type) {
    case CRIT_OR:
    case CRIT_AND: {
        const int decisive = node->type == CRIT_OR ? 1 : 0;
        if (node->boolean.nodes)
            for (GLL_NODE* n = node->boolean.nodes->first; n; n = n->next)
                if (Endcond_EvaluateCriteria(team, static_cast<CRITERIA*>(n->element), kind) == decisive)
                    return decisive;
        return !decisive;
    }
    case CRIT_NOT: return !Endcond_EvaluateCriteria(team, node->unary.node, kind);
    case CRIT_ONCE:
        if (node->unary.latch) return 0;
        if (!Endcond_EvaluateCriteria(team, node->unary.node, kind)) return 0;
        node->unary.latch = 1;
        return 1;
    case CRIT_HOLDREGION: return HoldRegion(team, node->useregion);
    case CRIT_HARASSREGION: return HarassRegion(team, node->useregion);
    case CRIT_ENEMYINREGION: return UnitInRegion(node->useregion.region, team, TR_ENEMY);
    case CRIT_INREGION: return UnitInRegion(node->useregion.region, team, 0);
    case CRIT_TEAMINREGION: return UnitInRegion(node->useregion.region, node->useregion.team, 0);
    case CRIT_BUILDBUILDING:
    case CRIT_BEGINBUILDBUILDING: return BuildBuilding(team, node->builditem, node->type);
    case CRIT_BUILDUNIT: return BuildUnit(team, node->builditem);
    case CRIT_DESTROYBUILDINGTYPE:
    case CRIT_KILLUNITTYPE: {
        const int id = ItemId(node->builditem, node->type);
        return id > 0 && PREREQ_HowMany(id, node->builditem.team) == 0;
    }
    case CRIT_DESTROYBUILDING:
        return ShrinkIds(node->destroyitem, 0, [](int id) { return Build_FindById(id) == nullptr; });
    case CRIT_DESTROYUNIT:
        return ShrinkIds(node->destroyitem, 0, [](int id) {
            return !Units_IdToUnitPtr(id, -1) && !Units_IdToUnitPtrOffMap(id, -1);
        });
    case CRIT_CAPTUREUNIT:
        return ShrinkIds(node->destroyitem, 0, [](int id) {
            const UNIT* u = Units_IdToUnitPtr(id, -1);
            return u && u->iscaptured;
        });
    case CRIT_MOVEUNITSTOREGION: {
        const REGION* r = node->destroyitem.region;
        return ShrinkIds(node->destroyitem, node->destroyitem.allowed, [r](int id) {
            const UNIT* u = Units_IdToUnitPtr(id, -1);
            return u && r && Region_ContainsTile(r, u->tilepos.x, u->tilepos.y);
        });
    }
    case CRIT_COLLECTMINERAL: return Build_GetCollectedResource(team, 1) >= node->amount.amount;
    case CRIT_COLLECTWATER: return Build_GetCollectedResource(team, 0) >= node->amount.amount;
    case CRIT_HAVECREDITS: return teamdata[team].credits >= node->amount.amount;
    case CRIT_TIMER: return node->timer.deadline < (int64_t)g_UpdateCount;
    case CRIT_TIMERGAME: return node->timer.time < (int64_t)g_UpdateCount;
    case CRIT_STEALPLAN: return StealPlan(node->stealplan);
    case CRIT_KILLTEAMUNITS:
        return (int64_t)g_Endcond.unitsatstart[node->killenemy.team] * node->killenemy.percent / 100 >=
               teamdata[node->killenemy.team].unitcount;
    case CRIT_KILLENEMYUNITS: return KillEnemyUnits(team, node->killenemy.percent);
    case CRIT_DESTROYTEAMBUILDINGS: return DestroyTeamBuildings(node->killenemy);
    case CRIT_DESTROYENEMYBUILDINGS: return DestroyEnemyBuildings(team, node->killenemy.percent);
    case CRIT_MOREUNITSTHANENEMY: return AI_StrengthGreater(team, node->killenemy.percent);
    case CRIT_LESSUNITSTHANENEMY: return AI_StrengthWeaker(team, node->killenemy.percent);
    case CRIT_KILLALL: return KillAll(team, 0);
    case CRIT_KILLALLANDALLIES: return KillAll(team, 1);
    default: return 0;
    }
}
