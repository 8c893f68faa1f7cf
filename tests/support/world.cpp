#include "support/world.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "ai/ai.h"
#include "ai/aibuild.h"
#include "ai/aip.h"
#include "ai/aisite.h"
#include "ai/aiteam.h"
#include "ai/squad.h"
#include "core/linklist.h"
#include "core/sortarr.h"
#include "core/gll.h"
#include "core/rand.h"
#include "core/uid.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/region.h"
#include "rules/endcond.h"
#include "save/savefield.h"
#include "platform/effects.h"
#include "rules/tfgen.h"
#include "units/projectile.h"
#include "units/swave.h"
#include "units/vortex.h"
#include "units/autoprod.h"
#include "units/building.h"
#include "units/constructq.h"
#include "units/explosion.h"
#include "units/expltype.h"
#include "units/iterate.h"
#include "units/parts.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"

void QvWorld_Open(int w, int h)
{
    g_NewMapRequest = MAP_NEWREQUEST{1, w, h, 4, 1};
    ASSERT_EQ(Map_Load(nullptr), 1);
    Effects_Init();
    Mapgrid_Init();
    Fog_Init();
    Team_SetDefaults();
    Team_InitTeamData();
    Units_InitAll();
    Build_InitAll();
    Units_InitConstructQueues();
    // As a new game: group ids and the synchronised stream from the start.
    Units_ResetGroupIds();
    Rand_SetPosition(0);
}

void QvWorld_Close(void)
{
    AP_Stop();
    Build_CloseAll();
    Units_CloseAll();
    Team_CloseTeamData();
    Fog_Close();
    Mapgrid_Close();
    Effects_Close();
    Map_Free();
}

UNITTYPE* QvWorld_UnitType(const char* name, int movemode)
{
    UNITTYPE* t = Units_NewType();
    if (t == nullptr) return nullptr;
    snprintf(t->symbolid, sizeof(t->symbolid), "%s", name);
    snprintf(t->description, sizeof(t->description), "%s", name);
    t->defmovemode = movemode;
    t->defmaplevel = Units_GetMapLevel(movemode);
    return t;
}

BUILDINGTYPE* QvWorld_BuildingType(const char* name, int w, int h)
{
    BUILDINGTYPE* t = Build_NewType();
    if (t == nullptr) return nullptr;
    snprintf(t->name, sizeof(t->name), "%s", name);
    snprintf(t->image[0], sizeof(t->image[0]), "%.12s", name);
    std::vector<uint8_t> grid((size_t)w * h * 2, 0);
    t->footprint = Effects_AddOvlEffect(name, w, h, grid.data());
    t->width = (int8_t)w;
    t->height = (int8_t)h;
    t->maxhitpoints = 500;
    t->seeingrange = 4;
    return t;
}

void QvWorldTest::SetUp()
{
    QvWorld_Open(w_, h_);
    Uid_Reset();
    tank_ = QvWorld_UnitType("Tank");
    jet_ = QvWorld_UnitType("Jet", MM_FLY);
}

void QvWorldTest::TearDown() { QvWorld_Close(); }

namespace {

// Values are gathered in a small block, and each full block hashed a word
// at a time in eight lanes: the games of thousands of units take a digest
// every update, and one chain of a byte a step cost more than the update.
// Each step is a bijection of its lane, so one changed value always changes
// the digest.
struct Digest {
    enum { BLOCK = 1024, LANES = 8 };
    uint64_t lane[LANES] = {1469598103934665603ull, 2, 3, 4, 5, 6, 7, 8};
    uint64_t block[BLOCK];
    uint64_t count = 0;
    int used = 0;
    static uint64_t Mix(uint64_t h, uint64_t v)
    {
        h = (h ^ v) * 0x9E3779B97F4A7C15ull;
        return (h << 31) | (h >> 33);
    }
    void add(int64_t v)
    {
        block[used++] = (uint64_t)v;
        if (used == BLOCK) Flush();
    }
    [[gnu::noinline]] void Flush()
    {
        // Named lanes stay in registers, so the eight chains overlap.
        uint64_t a = lane[0], b = lane[1], c = lane[2], d = lane[3];
        uint64_t e = lane[4], f = lane[5], g = lane[6], h = lane[7];
        int i = 0;
        for (; i + LANES <= used; i += LANES) {
            const uint64_t* v = block + i;
            a = Mix(a, v[0]), b = Mix(b, v[1]), c = Mix(c, v[2]), d = Mix(d, v[3]);
            e = Mix(e, v[4]), f = Mix(f, v[5]), g = Mix(g, v[6]), h = Mix(h, v[7]);
        }
        for (; i < used; i++) a = Mix(a, block[i]);
        lane[0] = a, lane[1] = b, lane[2] = c, lane[3] = d;
        lane[4] = e, lane[5] = f, lane[6] = g, lane[7] = h;
        count += (uint64_t)used;
        used = 0;
    }
    uint64_t value()
    {
        Flush();
        uint64_t h = count;
        for (uint64_t v : lane) h = Mix(h, v);
        return h ^ (h >> 29);
    }
};

// A unit's computer-player record (its squad by id).
void AddUnitAi(Digest& d, const UNIT* u)
{
    d.add(u->ai.squad ? static_cast<const squad*>(u->ai.squad)->id : -1);
    for (int64_t v : {(int64_t)u->ai.arrived, (int64_t)u->ai.cc_construct_type,
                      (int64_t)u->ai.cc_construct_cost, (int64_t)u->ai.cc_constructing,
                      (int64_t)u->ai.cc_account, (int64_t)u->ai.cc_reserved_area,
                      (int64_t)u->ai.resource_type, (int64_t)u->ai.producer_id,
                      (int64_t)u->ai.consumer_id})
        d.add(v);
}

template <typename T> uint32_t Bits(T v)
{
    static_assert(sizeof(T) == 4);
    uint32_t b;
    memcpy(&b, &v, sizeof b);
    return b;
}

// A team's squads (both lists) and the scheduler's place in its work.
void AddSquads(Digest& d, const AI_Team* a)
{
    for (const GLL* list : {a->squads, a->attack_squads}) {
        d.add(list->count);
        for (const GLL_NODE* n = list->first; n; n = n->next) {
            const squad* s = static_cast<const squad*>(n->element);
            for (int v : {s->id, s->centre_x, s->centre_y, s->given_anti_air, s->given_anti_ground,
                          s->count_at_start[0], s->count_at_start[1], s->cell ? s->cell->column : -1,
                          s->cell ? s->cell->row : -1, s->latest_arrival, s->arrived_count, s->strength,
                          s->anti_air, s->anti_ground, s->used, s->is_new, s->units->count})
                d.add(v);
            for (const LINKLIST_CELL* c = s->units->head; c; c = c->next)
                d.add(static_cast<const UNIT*>(c->data)->id);
        }
    }
    const AI_SCHEDULE& sc = a->schedule;
    for (int v : {sc.cells ? sc.cells->count : -1, sc.cell_cursor, sc.run ? sc.run->count : -1,
                  sc.candidates ? sc.candidates->count : -1, sc.squad_cursor,
                  sc.accepted ? sc.accepted->count : -1})
        d.add(v);
}

// A team's strategic grid: every cell field, the matrices, the cycle.
void AddGrid(Digest& d, const AI_Team* a)
{
    const AI_TARGETS& g = a->strategic_targets;
    d.add(g.grid_rows);
    d.add(g.grid_columns);
    d.add(g.largest_distance);
    for (int i = 0; i < g.grid_rows * g.grid_columns; i++) {
        const GRIDCELL& c = g.cells[i];
        for (float f : {c.priority, c.raw_priority, c.raw_priority_copy, c.danger, c.enemy_building_value,
                        c.own_building_value})
            d.add(Bits(f));
        for (int v : {c.threat, c.next_threat, c.enemy_units, c.enemy_ground_strength, c.enemy_air_strength,
                      c.non_combat, c.non_enemy_units, c.resources, c.scripted_value, c.scripted_min_force,
                      c.scripted_max_force, c.column, c.row, c.assigned_anti_air, c.assigned_anti_ground,
                      c.max_anti_air, c.max_anti_ground, c.min_anti_air, c.min_anti_ground, c.processed,
                      c.goal, c.event_state, (int)c.direction_mask, (int)(c.squad_ptr != nullptr)})
            d.add(v);
        for (const int32_t* m : {g.base, g.distance_from_base, g.scouted, g.distance_from_scouted}) d.add(m[i]);
    }
    for (int v : {a->best_candidate_score, a->highest_threat, a->largest_enemy_count, a->enemy_units,
                  a->units_assigned, a->cycle_complete, a->stages.squads_formed, a->stages.schedule_done,
                  a->stages.grid_done, a->stages.resources_done, a->stages.movement_done})
        d.add(v);
    for (int32_t v : a->stages.schedule_stage) d.add(v);
    d.add(Bits(a->largest_own_building));
    for (double v : {a->lowest_candidate_score, a->highest_raw_priority, a->lowest_raw_priority}) {
        uint64_t b;
        memcpy(&b, &v, sizeof b);
        d.add(b);
    }
    if (a->plan)
        for (float f : a->plan->match_up_need) d.add(Bits(f));
    AddSquads(d, a);
}

// The resource sites shared by the computer teams.
void AddSites(Digest& d)
{
    for (int r = 0; r < AIBUILD_RESOURCES; r++) {
        d.add(AIBuild_ResourceCount(r));
        for (int i = 0; i < AIBuild_ResourceCount(r); i++) {
            const AIBUILD_SITE* s = AIBuild_ResourceNode(r, i);
            for (int v : {s->x, s->y, s->id}) d.add(v);
            for (int t = 0; t < TEAM_MAXTEAMS; t++)
                for (int v : {s->served[t], s->usable[t], s->score[t]}) d.add(v);
        }
    }
}

// The computer players: each AI team's lists, books, rows of purchases,
// candidates and plan (its counters and last recompute time).
void AddComputerPlayers(Digest& d)
{
    d.add(ai_game_initialised);
    AddSites(d);
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        const AI_Team* a = AI_GetTeam(t);
        d.add(a != nullptr);
        if (!a) continue;
        d.add(AI_IsEnabled(t));
        for (const GLL_NODE* n = a->units->first; n; n = n->next)
            d.add(static_cast<const UNIT*>(n->element)->id);
        for (int32_t c : a->combat_count) d.add(c);
        d.add(a->combat_sum);
        d.add(a->next_squad_id);
        const AIBUILD& ab = a->aibuild;
        for (int i = 0; i < AIBUILD_MAX_ACCOUNTS; i++) {
            d.add(ab.credit[i]);
            d.add(ab.budget[i]);
            d.add(ab.max_reserve[i]);
        }
        uint32_t total;
        memcpy(&total, &ab.budget_total, sizeof total);
        for (int64_t v : {(int64_t)ab.prespent_credits, (int64_t)total, (int64_t)ab.accounts_enabled,
                          (int64_t)ab.transports_needed, (int64_t)ab.placement_delay,
                          (int64_t)ab.candidates, (int64_t)ab.next_account,
                          (int64_t)(ab.construction_program != nullptr)})
            d.add(v);
        for (int i = 0; i < ab.candidates; i++) {
            const AIBUILD_CANDIDATE& c = ab.candidate[i];
            for (int64_t v : {(int64_t)c.quantity, (int64_t)c.item, (int64_t)c.account, (int64_t)c.kind,
                              (int64_t)(c.counter ? *c.counter : -1)})
                d.add(v);
        }
        d.add(ab.base_x);
        d.add(ab.base_y);
        for (const GLL* l : {ab.unassigned_cc, ab.unassigned_transports, ab.assigned_transports}) {
            d.add(l ? l->count : -1);
            for (const GLL_NODE* n = l ? l->first : nullptr; n; n = n->next)
                d.add(static_cast<const UNIT*>(n->element)->id);
        }
        for (const GLL* l : ab.takers) {
            d.add(l ? l->count : -1);
            for (const GLL_NODE* n = l ? l->first : nullptr; n; n = n->next) d.add((int64_t)(intptr_t)n->element);
        }
        for (const AIBUILD_RESERVED& r : ab.reserved)
            for (int v : {(int)r.in_use, (int)r.x, (int)r.y, (int)r.width, (int)r.height}) d.add(v);
        AddGrid(d, a);
        d.add(AIBuild_FacilitiesUnderConstruction(t));
        for (int id = 0; id < AIBuild_UnderConstructionLength(t); id++)
            d.add(AIBuild_UnderConstruction(t, id));
        const AIP_struct* plan = a->plan;
        d.add(plan != nullptr);
        if (!plan) continue;
        d.add(plan->last_recompute);
        d.add(plan->target_mode);
        for (const AIBUILD_ACCOUNT* acc : plan->construction_program->account) {
            if (!acc) continue;
            for (int l = 0; l < acc->priority_levels; l++)
                for (int n = 0; n < acc->priority_level[l].nodes; n++)
                    d.add(acc->priority_level[l].node[n].internal);
        }
    }
}

// The order slot's code, schedule and the fields of its record.
void AddOrder(Digest& d, const STANDINGORDERINFO& o)
{
    d.add(o.code);
    d.add(o.nextscantime);
    switch (o.code) {
    case SO_ATTACK: {
        const tagSO_ATTACK& a = o.attack;
        for (int v : {a.target.mode, a.target.unit.id, a.target.building.id, a.target.x,
                      a.target.y, a.homepos.x, a.homepos.y, a.destpos.x, a.destpos.y})
            d.add(v);
        break;
    }
    case SO_MOVE:
        for (int64_t v : {(int64_t)o.move.destpos.x, (int64_t)o.move.destpos.y,
                          (int64_t)o.move.groupid, (int64_t)o.move.retries})
            d.add(v);
        break;
    case SO_BOARD:
        d.add(o.board.unit.id);
        d.add(o.board.retries);
        break;
    case SO_GRABUNIT:
        d.add(o.grabunit.unit.id);
        d.add(o.grabunit.retries);
        break;
    case SO_CONSTRUCT:
        for (int v : {o.construct.retries, o.construct.buildtype, o.construct.topleftpos.x,
                      o.construct.topleftpos.y})
            d.add(v);
        break;
    case SO_SABOTAGE_BUILDING:
        for (int v : {o.sabotage.building.id, o.sabotage.sabotageleft, o.sabotage.retries}) d.add(v);
        break;
    case SO_TRAIL:
        for (int v : {(int)o.trail.didtrailwait, o.trail.followstate, o.trail.mode,
                      o.trail.waypoint ? o.trail.waypoint->x : -1,
                      o.trail.waypoint ? o.trail.waypoint->y : -1})
            d.add(v);
        break;
    case SO_PICKUP: d.add(o.pickup.retries); break;
    case SO_SPY: {
        const tagSO_SPY& y = o.spy;
        for (int v : {y.building.id, y.mode, y.retries, y.destx, y.desty, y.exitx, y.exity,
                      y.timeleft, (int)y.stealid, y.stealtime, y.stealmax, y.effect})
            d.add(v);
        break;
    }
    case SO_BOARDBLD:
        d.add(o.boardbld.building.id);
        d.add(o.boardbld.retries);
        break;
    case SO_REPAIRSELF:
    case SO_REARMSELF:
        for (int v : {o.serviceself.b.id, o.serviceself.returnpos.x, o.serviceself.returnpos.y,
                      o.serviceself.state})
            d.add(v);
        break;
    case SO_MORPHOVL: d.add(o.morphovl.countdown); break;
    case SO_MORPHUNIT:
        for (int v : {o.morphunit.utypeinto ? o.morphunit.utypeinto->unittypeid : -1,
                      o.morphunit.teaminto, o.morphunit.countdown})
            d.add(v);
        break;
    case SO_UNMORPH: d.add(o.unmorph.countdown); break;
    case SO_AUTOMOVE:
        d.add(o.automove.level);
        d.add(o.automove.retreat);
        break;
    default: break;
    }
}

// A criterion's memory: counters, latches, remaining ids, looked-up ids,
// deadlines; children in order.
void AddCriteria(Digest& d, const CRITERIA* c)
{
    if (!c) return d.add(-1);
    d.add(c->type);
    switch (c->type) {
    case CRIT_OR:
    case CRIT_AND:
        d.add(c->boolean.nodes ? c->boolean.nodes->count : 0);
        if (c->boolean.nodes)
            for (const GLL_NODE* n = c->boolean.nodes->first; n; n = n->next)
                AddCriteria(d, static_cast<const CRITERIA*>(n->element));
        break;
    case CRIT_NOT:
    case CRIT_ONCE:
        d.add(c->unary.latch);
        AddCriteria(d, c->unary.node);
        break;
    case CRIT_HOLDREGION:
    case CRIT_HARASSREGION:
    case CRIT_ENEMYINREGION:
    case CRIT_INREGION:
    case CRIT_TEAMINREGION: d.add(c->useregion.counter); break;
    case CRIT_BUILDBUILDING:
    case CRIT_BEGINBUILDBUILDING:
    case CRIT_BUILDUNIT:
    case CRIT_DESTROYBUILDINGTYPE:
    case CRIT_KILLUNITTYPE: d.add(c->builditem.itemid); break;
    case CRIT_MOVEUNITSTOREGION:
    case CRIT_DESTROYBUILDING:
    case CRIT_DESTROYUNIT:
    case CRIT_CAPTUREUNIT:
        d.add(c->destroyitem.idlist ? c->destroyitem.idlist->count : -1);
        if (c->destroyitem.idlist)
            for (const GLL_NODE* n = c->destroyitem.idlist->first; n; n = n->next)
                d.add(*static_cast<const int*>(n->element));
        break;
    case CRIT_TIMER: d.add(c->timer.deadline); break;
    case CRIT_STEALPLAN: d.add(c->stealplan.planid); break;
    default: break;
    }
}

void AddEndConditions(Digest& d)
{
    for (int t = 0; t < ENDCOND_TEAMS; t++) {
        for (const CONDTREE* tree : {g_Endcond.endtree[t], g_Endcond.fsm[t]}) {
            if (!tree) {
                d.add(-1);
                continue;
            }
            d.add(tree->current);
            d.add(tree->elapsed);
            d.add(tree->timelimit);
            if (!tree->condstates) continue;
            for (const GLL_NODE* s = tree->condstates->first; s; s = s->next) {
                const CONDSTATE* state = static_cast<const CONDSTATE*>(s->element);
                if (!state->conds) continue;
                for (const GLL_NODE* c = state->conds->first; c; c = c->next)
                    AddCriteria(d, static_cast<const CONDITION*>(c->element)->criteria);
            }
        }
        d.add(g_Endcond.carrieddelay[t]);
        d.add(g_Endcond.unitsatstart[t]);
        d.add(g_Endcond.buildingsatstart[t]);
    }
    d.add(g_Endcond.callcounter);
    d.add(g_Endcond.currentteam);
    if (GLL* forces = AI_SpecialForceList()) {
        for (const GLL_NODE* n = forces->first; n; n = n->next) {
            const SPECIAL_FORCE* f = static_cast<const SPECIAL_FORCE*>(n->element);
            d.add(f->id);
            d.add(f->team);
            d.add(f->released);
            for (const GLL_NODE* u = f->units->first; u; u = u->next)
                d.add(*static_cast<const int*>(u->element));
        }
    }
    if (GLL* regions = Region_List())
        for (const GLL_NODE* n = regions->first; n; n = n->next)
            for (int32_t h : static_cast<const REGION*>(n->element)->harass) d.add(h);
}

}   // namespace

uint64_t QvDigest_State(void)
{
    Digest d;
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        const TEAM_DATA& td = teamdata[t];
        d.add(td.type);
        d.add(td.group);
        for (int j = 0; j < TEAM_MAXTEAMS; j++) {
            d.add(td.relation[j]);
            d.add(td.lineofsight[j]);
            d.add(td.seeresource[j]);
        }
        d.add(td.credits);
        d.add(td.unitcount);
        d.add(td.side);
        d.add(td.colour);
        d.add(td.stats.kills_units);
        d.add(td.stats.kills_buildings);
        d.add(td.stats.losses_units);
        d.add(td.stats.losses_buildings);
        d.add(td.stats.made_units);
        d.add(td.stats.made_buildings);
        for (int r = 0; r < TEAM_RESOURCES; r++) d.add(td.stats.collected[r]);
    }
    for (const PROJECTILE* p = Projectile_First(); p != nullptr; p = p->next) {
        d.add(p->id);
        d.add(p->owner.id);
        d.add(p->target.mode);
        d.add(p->x);
        d.add(p->y);
        d.add(p->team);
        d.add(p->oinfo.offense);
        d.add(p->oinfo.hitpoints);
        d.add(p->oinfo.areaeffect);
        d.add(p->fx);
        d.add(p->fy);
        d.add(p->aimx);
        d.add(p->aimy);
        d.add(p->speed);
        d.add(p->heading);
        d.add(p->travelled);
        d.add(p->smokecounter);
        d.add(p->hitsleft);
        d.add(p->hitwait);
        d.add(p->held);
        d.add(p->display != nullptr);
        d.add(p->anim.frame);
        d.add(p->anim.wait);
    }
    for (const GLL_NODE* n = Vortex_List()->first; n != nullptr; n = n->next) {
        const VORTEX* v = static_cast<const VORTEX*>(n->element);
        for (int64_t f : {(int64_t)v->proj->id, (int64_t)v->x, (int64_t)v->y, (int64_t)v->radius,
                          (int64_t)v->age, (int64_t)v->life, (int64_t)v->hitsleft,
                          (int64_t)v->hitwait})
            d.add(f);
    }
    for (const SWave* w = Swave_First(); w != nullptr; w = w->next) {
        for (int64_t f : {(int64_t)w->proj->id, (int64_t)w->x, (int64_t)w->y, (int64_t)w->radius,
                          (int64_t)w->maxradius, (int64_t)w->growth, (int64_t)w->age})
            d.add(f);
        for (int i = 0; i < SWAVE_BUBBLES; i++) {
            d.add(w->bubble[i].x);
            d.add(w->bubble[i].y);
            d.add(w->bubble[i].radius);
        }
    }
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it)) {
        d.add(u->id);
        d.add(u->type != nullptr ? u->type->unittypeid : -1);
        d.add(u->team);
        d.add(u->onmap);
        d.add(u->movemode);
        d.add(u->state);
        d.add(u->tilepos.x);
        d.add(u->tilepos.y);
        d.add(u->pixelpos.x);
        d.add(u->pixelpos.y);
        d.add(u->move.curspeed);
        d.add(u->move.targetspeed);
        d.add(u->move.curvepos);
        d.add(u->nextstate.type);
        d.add(u->nextstate.pushedtype);
        d.add(u->hitpoints);
        AddOrder(d, u->sorder);
        AddOrder(d, u->snextorder);
        d.add(u->partof.id);
        AddUnitAi(d, u);
        for (const UNIT_TACTAI* l : {&u->tactaiinfo, &u->usertactaiinfo})
            for (int v : {l->tenacity, l->autonomy, l->selfpreservation}) d.add(v);
        d.add(u->idledelay);
        d.add(u->move.groupid);
        d.add(u->move.srchtilepos.x);
        d.add(u->move.srchtilepos.y);
        d.add(u->move.waituntil);
        d.add(u->inuse);
        d.add(u->seq);
        d.add(u->gridcell);
        d.add(u->claimpos.x);
        d.add(u->claimpos.y);
        d.add(u->claimlevel);
        for (uint8_t t : u->apparentteam) d.add(t);
        d.add(u->experience);
        d.add(u->isblended);
        d.add(u->boost.state);
        d.add(u->boost.counter);
        d.add(u->boost.fadespeed);
        d.add(u->boost.floor);
        d.add(u->operation.code);
        d.add(u->operation.duration);
        d.add(u->operation.counter);
        d.add(u->ischarging);
        d.add(u->chargeremaining);
        d.add(u->liferemaining);
        for (int r = 0; r < UNIT_RESOURCES; r++) d.add(u->resource[r]);
        for (const UNITLISTELEM* e = u->hold.head; e != nullptr; e = e->next) d.add(e->u.id);
        d.add(u->hold.count);
        d.add(u->spy.nrplans);
        for (int i = 0; i < u->spy.nrplans && i < UNITS_MAXSTOLEN; i++) d.add(u->spy.plans[i]);
        d.add(u->associate.id);
        d.add(u->building_package != nullptr);
        if (u->building_package != nullptr) {
            const BUILDINGTYPE* t = u->building_package->building_type;
            d.add(t != nullptr ? t->index : -1);
            d.add(u->building_package->whomademe.id);
        }
        for (int i = 0; i < 9; i++) d.add(u->seen[i]);
        for (const PART* p = u->basepart; p != nullptr; p = p->partup) {
            d.add(p->id);
            d.add(p->state.state);
            d.add(p->state.angle);
            d.add(p->state.counter);
            d.add(p->state.weapon);
            d.add(p->next.state);
            d.add(p->angle);
            d.add(p->relangle);
            d.add(p->anglechanged);
            d.add(p->anim.mode);
            d.add(p->anim.anim);
            d.add(p->anim.frame);
            d.add(p->scancount);
            for (const auto& w : p->weapon) {
                d.add(w.ammo);
                d.add(w.nextfire);
            }
        }
    }
    for (BUILDING* b = g_Buildings; b != nullptr; b = b->next) {
        d.add(b->id);
        d.add(b->buildingtype != nullptr ? b->buildingtype->index : -1);
        d.add(b->team);
        d.add(b->tilex);
        d.add(b->tiley);
        d.add(b->hitpoints);
        d.add(b->state);
        d.add(b->efficiency);
        d.add(b->explosion.id);
        d.add(b->complete);
        d.add(b->whomademe.id);
        d.add(b->unittypetobuild != nullptr ? b->unittypetobuild->unittypeid : -1);
        d.add(b->prodtime);
        d.add(b->prodleft);
        d.add(b->jobcost);
        d.add(b->costleft);
        d.add(b->paused);
        d.add(b->repairrequest);
        d.add(b->ai.account);
        d.add(b->ai.refundable);
        d.add(b->delivering);
        d.add(b->primary);
        d.add(b->rallyx);
        d.add(b->rallyy);
        d.add(b->animsection);
        d.add(b->actionindicator);
        for (int r = 0; r < BUILD_RESOURCES; r++) d.add(b->stored[r]);
        for (const UNITID& k : b->bay) d.add(k.id);
        for (const UNITID& k : b->spy) d.add(k.id);
        for (const UNITLIST* l : {&b->hold, &b->queue}) {
            d.add(l->count);
            for (const UNITLISTELEM* e = l->head; e != nullptr; e = e->next) d.add(e->u.id);
        }
        d.add(b->ap.capacity);
        d.add(b->ap.source);
        d.add(b->ap.usersetprimary);
        d.add(b->ap.srclist != nullptr ? b->ap.srclist->count : 0);
        if (b->ap.srclist != nullptr)
            for (const GLL_NODE* n = b->ap.srclist->first; n != nullptr; n = n->next)
                d.add(static_cast<const BUILDID*>(n->element)->id);
    }
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        for (int r = 0; r < TEAM_RESOURCES; r++) {
            d.add(teamdata[t].resource[r].supply);
            d.add(teamdata[t].resource[r].usage);
            d.add(teamdata[t].resource[r].percent);
        }
        d.add(teamdata[t].minimapstatus);
        d.add(teamdata[t].poweradjust[0]);
        d.add(teamdata[t].poweradjust[1]);
        for (int u = 0; u < Units_UnitTypeCount(); u++) {
            BUILDING* p = AP_GetPrimaryMaker(t, u);
            d.add(p != nullptr ? p->id : -1);
            d.add(AP_IsPaused(p, u));
        }
    }
    for (int i = 0, type, id; Units_ConstructQueueEntry(i, &type, &id); i++) {
        d.add(type);
        d.add(id);
    }
    for (const EXPL* e = Expl_First(); e != nullptr; e = e->next) {
        for (const char* c = e->type->name; *c; c++) d.add(*c);
        for (int v : {e->id, e->entry, e->cycle, e->isattached ? e->partid : -1, e->remap,
                      e->frame, e->direction, e->x, e->y})
            d.add(v);
        for (const EXPLANIM* a = e->firstexplanim; a != nullptr; a = a->next)
            for (int v : {a->iter.frame, a->iter.wait, a->dx, a->dy}) d.add(v);
    }
    for (int v : {g_General.healspeed, g_General.healcost, g_General.repairspeed,
                  g_General.repaircost, g_General.rearmspeed, g_General.healthlow,
                  g_General.healthhigh, g_General.sfxradius})
        d.add(v);
    AddEndConditions(d);
    AddComputerPlayers(d);
    // Stolen plans (kept across saves). The mini-buildings' seen flags are
    // the local team's view and differ between the machines of one game.
    for (int id = 1; id < PREREQ_MAXIDS; id++)
        for (int t = 0; t < TEAM_MAXTEAMS; t++)
            if (PREREQ_HaveStolen(id, t)) d.add(id * TEAM_MAXTEAMS + t);
    return d.value();
}

std::string QvSave_Canonical(const std::string& file)
{
    auto get = [&](size_t at) {
        uint32_t v = 0;
        for (int i = 0; i < 4; i++) v |= (uint32_t)(uint8_t)file[at + i] << (8 * i);
        return v;
    };
    struct Block {
        size_t at;
        uint32_t flags, id;
    };
    std::vector<Block> blocks;
    std::vector<size_t> counts;
    size_t at = 32;
    for (int section = 0; section < 2; section++) {
        if (file.size() < at + 4) return "";
        counts.push_back(at);
        uint32_t n = get(at);
        at += 4;
        for (uint32_t i = 0; i < n; i++) {
            if (file.size() < at + 16) return "";
            Block b{at, get(at + 4), get(at + 8)};
            blocks.push_back(b);
            at += 16 + ((b.flags & 0x30000000) == 0x30000000 ? 0 : (b.flags & 0xFFFFF));
        }
    }
    if (at != file.size()) return "";
    std::map<uint32_t, uint32_t> position;
    for (size_t i = 0; i < blocks.size(); i++) position[blocks[i].id] = (uint32_t)i;
    auto canon = [&](uint32_t id) -> uint32_t {
        if (id == 0xF0000000u || id == 0xFFFFFFFFu) return id;
        auto it = position.find(id);
        return it == position.end() ? 0xEEEEEEEEu : it->second;
    };
    std::string out = file.substr(0, 28) + std::string(4, '\0');
    auto put = [&](size_t where, uint32_t v) {
        for (int i = 0; i < 4; i++) out[where + i] = (char)(v >> (8 * i));
    };
    out += file.substr(28 + 4);
    for (const Block& b : blocks) {
        put(b.at + 4, b.flags & 0x3FFFFFFF);
        put(b.at + 8, canon(b.id));
        put(b.at + 12, 0);
        if ((b.flags & 0x30000000) == 0x30000000) continue;
        const SAVEFORM* form = SaveForm_Get((int)(b.flags >> 20 & 0xFF), (b.flags & 0x30000000) != 0);
        if (!form || form->stored == 0) continue;
        size_t data = b.at + 16, end = data + (b.flags & 0xFFFFF);
        // Pointers and weak handles anywhere, a variant's inside the case
        // its selector names.
        std::function<void(const SAVEFIELD*, int, size_t)> fields = [&](const SAVEFIELD* fs, int n, size_t field) {
            for (int i = 0; i < n; i++) {
                const SAVEFIELD& f = fs[i];
                if (f.kind == SF_VARIANT) {
                    const int32_t value = (int32_t)get(field);
                    for (int c = 0; c < f.ncases; c++)
                        if (f.cases[c].value == value) fields(f.cases[c].fields, f.cases[c].nfields, field + 4);
                    field += SaveField_Stored(&f);
                    continue;
                }
                for (int k = 0; k < f.count; k++, field += f.stored)
                    if (f.kind == SF_PTR || f.kind == SF_WEAK) put(field, canon(get(field)));
            }
        };
        for (size_t rec = data; rec + form->stored <= end; rec += form->stored) fields(form->fields, form->nfields, rec);
    }
    return out;
}
