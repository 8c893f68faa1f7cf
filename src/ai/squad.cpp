#include "ai/squad.h"

#include <algorithm>
#include <cstdint>

#include "ai/ai.h"
#include "ai/aigrid.h"
#include "ai/aimatch.h"
#include "ai/schedule.h"
#include "core/debug.h"
#include "core/gll.h"
#include "core/linklist.h"
#include "core/rand.h"
#include "core/tlog.h"
#include "map/map.h"
#include "units/autotarget.h"
#include "units/iterate.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitmove.h"
#include "units/unitsorder.h"

namespace {

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// Moves one unit between squads with its strength, as the scheduler does.
int MoveUnit(int team, squad* from, squad* to, UNIT* u, int* can_air)
{
    const int strength = AiMatch_UnitStrength(u, team);
    if (can_air) *can_air = Units_CanShootAnyFlyer(u);
    Squad_RemoveUnit(from, u, team);
    Squad_AddUnit(to, u, team);
    return strength;
}

void ResetArrival(squad* s)
{
    s->latest_arrival = 0;
    s->arrived_count = 0;
}

void Order(UNIT* u, int x, int y)
{
    TLOG(TLOG_AI, "Moving unit %d to (%d, %d)", u->id, x, y);
    Units_SOrderMove(u, x, y);
}

// The nearest enemy unit of the cell that u can shoot and that can't shoot
// back, null when none. Units fire only at what comes into their reach: a
// member idle in its goal cell waits for an armed enemy to come, but an
// unarmed one (the last crew of a beaten team) never does, and the game
// never ends. The grid counts such a unit whether or not it is in sight,
// and so does this.
UNIT* EnemyInCell(UNIT* u, const GRIDCELL* cell)
{
    const int x1 = cell->column * AI_CELLSIZE, y1 = cell->row * AI_CELLSIZE;
    int teambits = 0;
    for (int team = 0; team < TEAM_MAXTEAMS; team++)
        if (team != u->team) teambits |= 1 << team;
    TARGET me;
    Target_Setup(&me, FM_UNIT, u, nullptr, 0, 0);
    UNIT* chosen = nullptr;
    int nearest = 0x7fffffff;
    Iterate_UnitForEachMapGrid(teambits, MM_ALL, x1, y1, x1 + AI_CELLSIZE - 1, y1 + AI_CELLSIZE - 1, [&](UNIT* v) {
        if (Team_GetRelation(u->team, v->apparentteam[u->team]) != TR_ENEMY) return true;
        TARGET t;
        Target_Setup(&t, FM_UNIT, v, nullptr, 0, 0);
        if (!Units_CanAttackTarget(u, &t) || Units_CanAttackTarget(v, &me)) return true;
        const int dx = v->tilepos.x - u->tilepos.x, dy = v->tilepos.y - u->tilepos.y;
        if (dx * dx + dy * dy < nearest) {
            nearest = dx * dx + dy * dy;
            chosen = v;
        }
        return true;
    });
    return chosen;
}

}   // namespace

squad* Squad_New(void)
{
    squad* s = static_cast<squad*>(Debug_Calloc(1, sizeof(squad)));
    s->units = LinkList_New();
    s->centre_x = s->centre_y = -1;
    return s;
}

void Squad_Delete(squad* s)
{
    if (!s) {
        TLOG(TLOG_ERROR, "AI  Squad_Delete tried to free a NULL squad");
        return;
    }
    // Members left behind would name a freed squad.
    for (LINKLIST_CELL* c = s->units->head; c; c = c->next) {
        UNIT* u = static_cast<UNIT*>(c->data);
        if (u->ai.squad == s) u->ai.squad = nullptr;
    }
    LinkList_Delete(s->units);
    if (s->cell && s->cell->squad_ptr == s) s->cell->squad_ptr = nullptr;
    Debug_Free(&s);
}

void Squad_Release(SCHEDULE_ENTRY* entry)
{
    if (!entry) return;
    if (!entry->accepted && entry->new_squad) {
        if (entry->new_squad->cell && entry->new_squad->cell->squad_ptr == entry->new_squad)
            entry->new_squad->cell->squad_ptr = nullptr;
        entry->new_squad->cell = nullptr;
        Squad_Delete(entry->new_squad);
    }
    Debug_Free(&entry);
}

void Squad_SetCell(squad* s, GRIDCELL* cell)
{
    if (s->cell && s->cell->squad_ptr == s) s->cell->squad_ptr = nullptr;
    s->cell = cell;
    if (cell) cell->squad_ptr = s;
}

void Squad_UpdateCentre(squad* s)
{
    if (s->units->count == 0) {
        s->centre_x = s->centre_y = -1;
        return;
    }
    int64_t x = 0, y = 0;
    for (LINKLIST_CELL* c = s->units->head; c; c = c->next) {
        const UNIT* u = static_cast<const UNIT*>(c->data);
        x += u->tilepos.x;
        y += u->tilepos.y;
    }
    s->centre_x = (int)(x / s->units->count);
    s->centre_y = (int)(y / s->units->count);
}

// A running total would keep what a member gave when it joined: a dead
// member's share (its strength at 0 hit points is the floor of 1, not what
// it brought) and a damaged member's full health. The sum is taken afresh.
void Squad_Recount(squad* s, int team)
{
    int64_t all = 0, air = 0, ground = 0;
    for (LINKLIST_CELL* c = s->units->head; c; c = c->next) {
        UNIT* u = static_cast<UNIT*>(c->data);
        if (u->hitpoints <= 0) continue;
        const int strength = AiMatch_UnitStrength(u, team);
        all += strength;
        if (Units_CanShootAnyFlyer(u)) air += strength;
        if (Units_CanShootAnyGround(u)) ground += strength;
    }
    s->strength = (int32_t)std::min<int64_t>(all, INT32_MAX);
    s->anti_air = (int32_t)std::min<int64_t>(air, INT32_MAX);
    s->anti_ground = (int32_t)std::min<int64_t>(ground, INT32_MAX);
}

void Squad_AddUnit(squad* s, UNIT* unit, int team)
{
    LinkList_AddHead(s->units, unit);
    unit->ai.squad = s;
    unit->ai.arrived = 0;
    Squad_Recount(s, team);
}

void Squad_RemoveUnit(squad* s, UNIT* unit, int team)
{
    LinkList_Remove(s->units, unit);
    if (unit->ai.squad == s) unit->ai.squad = nullptr;
    Squad_Recount(s, team);
}

int Squad_TransferStrength(int team, squad* from, squad* to, int amount, int* count_out)
{
    int moved = 0, count = 0;
    while (amount > 0 && from->units->head) {
        const int strength = MoveUnit(team, from, to, static_cast<UNIT*>(from->units->head->data), nullptr);
        amount -= strength;
        moved += strength;
        count++;
    }
    if (count_out) *count_out = count;
    return moved;
}

int Squad_UnitUsable(UNIT* unit, const GRIDCELL* cell)
{
    if (unit->sorder.code == SO_REPAIRSELF || unit->sorder.code == SO_REARMSELF) return 0;
    if (!Units_CanShootAnyFlyer(unit) && !Units_CanShootAnyGround(unit)) return 0;
    for (int attempt = 0; attempt < 3; attempt++) {
        const int x = Clamp(cell->column * AI_CELLSIZE + Rand_Next(AI_CELLSIZE), 0, mapsizex - 1);
        const int y = Clamp(cell->row * AI_CELLSIZE + Rand_Next(AI_CELLSIZE), 0, mapsizey - 1);
        if (Units_Can_Reach_X_Y(unit, x, y)) return 1;
    }
    return 0;
}

int Squad_FillFromSquad(int team, squad* from, squad* to, int amount, int* count_out, const GRIDCELL* cell,
                        int* air_out, int* ground_out)
{
    int moved = 0, count = 0, air = 0, ground = 0;
    for (LINKLIST_CELL* c = from->units->head; c && amount > 0;) {
        UNIT* u = static_cast<UNIT*>(c->data);
        c = c->next;   // the unit may leave the list
        if (!Squad_UnitUsable(u, cell)) continue;
        int can_air = 0;
        const int strength = MoveUnit(team, from, to, u, &can_air);
        // Anti-air until the cell's share of it is full, counting what this
        // fill has already sent.
        if (can_air && cell->assigned_anti_air + air < cell->max_anti_air) air += strength;
        else ground += strength;
        amount -= strength;
        moved += strength;
        count++;
    }
    if (count_out) *count_out = count;
    if (air_out) *air_out = air;
    if (ground_out) *ground_out = ground;
    return moved;
}

void Squad_MoveTo(AI_MAP* map, squad* s, int x, int y)
{
    (void)map;
    ResetArrival(s);
    x = Clamp(x, 1, mapsizex - 1);
    y = Clamp(y, 1, mapsizey - 1);
    for (LINKLIST_CELL* c = s->units->head; c; c = c->next) Order(static_cast<UNIT*>(c->data), x, y);
}

void Squad_MoveToCell(AI_MAP* map, squad* s, const GRIDCELL* cell)
{
    (void)map;
    ResetArrival(s);
    for (LINKLIST_CELL* c = s->units->head; c; c = c->next) {
        UNIT* u = static_cast<UNIT*>(c->data);
        if (u->tilepos.x / AI_CELLSIZE == cell->column && u->tilepos.y / AI_CELLSIZE == cell->row) {
            // Already there: an idle member closes in on an unarmed enemy
            // of the cell.
            if (cell->enemy_units > 0 && u->sorder.code == SO_NONE)
                if (const UNIT* v = EnemyInCell(u, cell)) Order(u, v->tilepos.x, v->tilepos.y);
            continue;
        }
        const int x = Clamp(cell->column * AI_CELLSIZE + Rand_Next(AI_CELLSIZE), 1, mapsizex - 1);
        const int y = Clamp(cell->row * AI_CELLSIZE + Rand_Next(AI_CELLSIZE), 1, mapsizey - 1);
        Order(u, x, y);
    }
}

void Squad_MoveAll(AI_MAP* map, squad* s)
{
    ASSERT(s);
    if (s->cell) Squad_MoveToCell(map, s, s->cell);
}

void Squad_RemoveDuplicates(GLL* list)
{
    for (GLL_NODE* a = list->first; a; a = a->next)
        for (GLL_NODE* b = a->next; b;) {
            GLL_NODE* next = b->next;
            if (b->element == a->element) {
                GLL_GoFirst(list);
                while (list->curr != b) GLL_GoNext(list);
                GLL_DeleteCurrent(list);
            }
            b = next;
        }
}
