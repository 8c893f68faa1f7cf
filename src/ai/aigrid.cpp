#include "ai/aigrid.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "ai/ai.h"
#include "ai/aimatch.h"
#include "ai/aip.h"
#include "ai/aisite.h"
#include "ai/aiteam.h"
#include "ai/schedule.h"
#include "ai/squad.h"
#include "core/debug.h"
#include "core/error.h"
#include "core/gll.h"
#include "core/linklist.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "map/map.h"
#include "units/building.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

// The work area, opened once per game.
int grassfire_initialised = 0;
struct GRASSFIRE {
    int rows, columns;
    int32_t* work;
};
GRASSFIRE s_fire = {0, 0, nullptr};

int Index(const AI_TARGETS& g, int column, int row) { return row * g.grid_columns + column; }

int ClampInt(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// Marks scouted every cell within range tiles of (x, y), clamped to the grid.
void Scout(AI_TARGETS& g, int x, int y, int range)
{
    const int r0 = ClampInt((y - range) / AI_CELLSIZE, 0, g.grid_rows - 1);
    const int r1 = ClampInt((y + range) / AI_CELLSIZE, 0, g.grid_rows - 1);
    const int c0 = ClampInt((x - range) / AI_CELLSIZE, 0, g.grid_columns - 1);
    const int c1 = ClampInt((x + range) / AI_CELLSIZE, 0, g.grid_columns - 1);
    for (int r = r0; r <= r1; r++)
        for (int c = c0; c <= c1; c++) g.scouted[Index(g, c, r)] = 1;
}

int Own(int team, int other) { return other == team || Team_GetRelation(team, other) == TR_ALLY; }

int Enemy(int team, int other) { return other != team && Team_GetRelation(team, other) == TR_ENEMY; }

void ScanUnit(AI_Team* the_team, UNIT* u, int* total)
{
    AI_TARGETS& g = the_team->strategic_targets;
    const int team = the_team->team_ID;
    const int row = u->tilepos.y / AI_CELLSIZE, column = u->tilepos.x / AI_CELLSIZE;
    ASSERT(row >= 0 && row < g.grid_rows);
    ASSERT(column >= 0 && column < g.grid_columns);
    GRIDCELL& cell = g.cells[Index(g, column, row)];
    if (Enemy(team, u->team)) {
        if (!g.scouted[Index(g, column, row)] || u->isblended || u->isphased ||
            u->operation.code == 2 || u->operation.code == 3 || u->movemode == MM_TUNNEL)
            return;
        cell.enemy_units++;
        (*total)++;
        const int strength = AiMatch_UnitStrength(u, the_team->team_ID);
        if (Units_IsFlyUnit(u)) cell.enemy_air_strength += strength;
        else cell.enemy_ground_strength += strength;
        return;
    }
    cell.non_enemy_units++;
    if (Own(team, u->team)) Scout(g, u->tilepos.x, u->tilepos.y, u->type->seeingrange);
}

void ScanBuilding(AI_Team* the_team, const BUILDING* b)
{
    AI_TARGETS& g = the_team->strategic_targets;
    const int team = the_team->team_ID;
    const int row = b->tiley / AI_CELLSIZE, column = b->tilex / AI_CELLSIZE;
    ASSERT(row >= 0 && row < g.grid_rows);
    ASSERT(column >= 0 && column < g.grid_columns);
    GRIDCELL& cell = g.cells[Index(g, column, row)];
    const int index = b->buildingtype->index;
    const float multiplier =
        index >= 0 && index < AIP_BUILDINGTYPES ? the_team->plan->building_matching[index] : 1.0f;
    if (Enemy(team, b->team)) cell.enemy_building_value += multiplier;
    else if (Own(team, b->team)) {
        Scout(g, b->tilex, b->tiley, b->buildingtype->seeingrange);
        if (b->team == team) cell.own_building_value += multiplier;
    }
}

// Threat spreads to the eight neighbours, the corners weaker. After rows +
// columns passes it has reached every cell: more passes (the debug console
// may set any number) only grow it, so they are not run. Threat saturates
// at the 32-bit range rather than wrapping.
void Relax(AI_Team* the_team)
{
    AI_TARGETS& g = the_team->strategic_targets;
    const float coefficient = the_team->plan->relaxation_coefficient;
    const int passes = std::min(the_team->plan->relaxation_cycles, g.grid_rows + g.grid_columns);
    for (int pass = 0; pass < passes; pass++) {
        for (int r = 0; r < g.grid_rows; r++)
            for (int c = 0; c < g.grid_columns; c++) {
                GRIDCELL& cell = g.cells[Index(g, c, r)];
                int64_t next = cell.threat;
                for (int dr = -1; dr <= 1; dr++)
                    for (int dc = -1; dc <= 1; dc++) {
                        if ((dr == 0 && dc == 0) || r + dr < 0 || r + dr >= g.grid_rows || c + dc < 0 ||
                            c + dc >= g.grid_columns)
                            continue;
                        const int n = g.cells[Index(g, c + dc, r + dr)].threat;
                        next += dr != 0 && dc != 0 ? AIP_SaturateInt((double)n * coefficient * 0.7092199)
                                                   : AIP_SaturateInt((double)n * coefficient);
                    }
                cell.next_threat = AIP_SaturateInt((double)next);
                if (next > the_team->highest_threat) the_team->highest_threat = next;
            }
        for (int i = 0; i < g.grid_rows * g.grid_columns; i++) g.cells[i].threat = g.cells[i].next_threat;
    }
}

void ResetStages(AI_Team* the_team) { Schedule_Reset(the_team); }

// Stage 3a: every unit without a squad joins the squad of its cell, new
// squads at the head of the list.
void FormSquads(AI_Team* the_team)
{
    AI_TARGETS& g = the_team->strategic_targets;
    const int n = g.grid_rows * g.grid_columns;
    for (int i = 0; i < n; i++) the_team->cell_squads[i] = nullptr;
    for (GLL_NODE* node = the_team->units->first; node; node = node->next) {
        UNIT* u = static_cast<UNIT*>(node->element);
        if (u->ai.squad) continue;
        const int row = u->tilepos.y / AI_CELLSIZE, column = u->tilepos.x / AI_CELLSIZE;
        if (row < 0 || column < 0 || row >= g.grid_rows || column >= g.grid_columns) continue;
        squad*& here = the_team->cell_squads[Index(g, column, row)];
        if (!here) {
            here = Squad_New();
            here->id = the_team->next_squad_id++;
            GLL_GoFirst(the_team->squads);
            GLL_InsertBefore(the_team->squads, here);
        }
        Squad_AddUnit(here, u, the_team->team_ID);
    }
}

// Stage 3c: from the last squad to the first.
void MoveSquads(AI_MAP* map, AI_Team* the_team)
{
    for (GLL_NODE* node = the_team->squads->last; node; node = node->prev)
        Squad_MoveAll(map, static_cast<squad*>(node->element));
    Squad_RemoveDuplicates(the_team->squads);
}

// The neighbour (dc, dr) of a cell and its bit; the opposite bit is the
// bit of (-dc, -dr).
int DirectionBit(int dc, int dr)
{
    static const int bits[3][3] = {{AI_DIR_UPLEFT, AI_DIR_UP, AI_DIR_UPRIGHT},
                                   {AI_DIR_LEFT, 0, AI_DIR_RIGHT},
                                   {AI_DIR_DOWNLEFT, AI_DIR_DOWN, AI_DIR_DOWNRIGHT}};
    return bits[dr + 1][dc + 1];
}

void BitOffset(int bit, int* dc, int* dr)
{
    for (int r = -1; r <= 1; r++)
        for (int c = -1; c <= 1; c++)
            if ((r || c) && DirectionBit(c, r) == bit) {
                *dc = c;
                *dr = r;
                return;
            }
    *dc = *dr = 0;
}

int Defensive(const GRIDCELL* c) { return c->goal == PERIMETER || c->goal == DEFEND_BASE; }

// A cell under attack whose enemy is gone. One whose call nobody answered
// (an empty mask) is quiet too: kept under attack it would ignore every
// later event and never call again.
int Quiet(const GRIDCELL* c)
{
    return c->event_state == 1 && c->enemy_units == 0 && c->enemy_building_value <= 0.00001f;
}

// Every helper named by the cell's mask goes home.
void ReleaseHelpers(AI_MAP* map, AI_Team* the_team, GRIDCELL* cell)
{
    for (int bit = 1; bit <= 128; bit <<= 1) {
        if (!(cell->direction_mask & bit)) continue;
        int dc, dr;
        BitOffset(bit, &dc, &dr);
        GRIDCELL* helper = AI_GridCell(the_team, cell->column + dc, cell->row + dr);
        if (!helper) continue;
        helper->event_state = 0;
        helper->direction_mask = 0;
        if (helper->squad_ptr) Squad_MoveAll(map, helper->squad_ptr);
    }
    cell->direction_mask = 0;
}

// A helping cell stops helping: its squad home, its bit off the helped
// cell's mask.
void StopHelping(AI_MAP* map, AI_Team* the_team, GRIDCELL* cell)
{
    int dc, dr;
    BitOffset(cell->direction_mask, &dc, &dr);
    if (GRIDCELL* helped = AI_GridCell(the_team, cell->column + dc, cell->row + dr))
        helped->direction_mask &= (uint8_t)~DirectionBit(-dc, -dr);
    if (cell->squad_ptr) Squad_MoveToCell(map, cell->squad_ptr, cell);
    cell->event_state = 0;
    cell->direction_mask = 0;
}

void EndCycle(AI_MAP* map, AI_Team* the_team)
{
    the_team->plan->last_recompute = (int32_t)g_UpdateCount;
    ResetStages(the_team);
    AI_TARGETS& g = the_team->strategic_targets;
    for (int i = 0; i < g.grid_rows * g.grid_columns; i++) {
        GRIDCELL* c = &g.cells[i];
        if (!Quiet(c)) continue;
        ReleaseHelpers(map, the_team, c);
        c->event_state = 0;
    }
}

GRIDCELL* EventCell(AI_Team* the_team, int x, int y, int scaled)
{
    if (x < 0 || y < 0) return nullptr;
    return scaled ? AI_GridCell(the_team, x / AI_CELLSIZE, y / AI_CELLSIZE) : AI_GridCell(the_team, x, y);
}

}   // namespace

// ------------------------------------------------------------------ the record

const char* AI_GoalLabel(int goal)
{
    static const char* const labels[] = {
        "Goal Type: NO_GOAL",     "Goal Type: DEFEND_BASE", "Goal Type: ATTACK_TROOPS",
        "Goal Type: SEIGE",       "Goal Type: EXPLORATION", "Goal Type: MANUALLY SCRIPTED",
        "Goal Type: PERIMETER",   "Goal Type: RESOURCE_GOAL"};
    return goal >= 0 && goal <= RESOURCE_GOAL ? labels[goal] : "Goal Type: UNDEFINED";
}

GRIDCELL* AI_GridCell(AI_Team* the_team, int column, int row)
{
    AI_TARGETS& g = the_team->strategic_targets;
    if (!g.cells || column < 0 || row < 0 || column >= g.grid_columns || row >= g.grid_rows) return nullptr;
    return &g.cells[Index(g, column, row)];
}

void AI_Team::InitGrid(AI_Team* the_team, int rows, int columns)
{
    ASSERT(the_team);
    AI_FreeGrid(the_team);
    AI_TARGETS& g = the_team->strategic_targets;
    g.grid_rows = rows;
    g.grid_columns = columns;
    const size_t n = (size_t)rows * (size_t)columns;
    g.cells = static_cast<GRIDCELL*>(Debug_Calloc(n ? n : 1, sizeof(GRIDCELL)));
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < columns; c++) {
            g.cells[Index(g, c, r)].column = c;
            g.cells[Index(g, c, r)].row = r;
        }
    for (int32_t** m : {&g.base, &g.distance_from_base, &g.scouted, &g.distance_from_scouted})
        *m = static_cast<int32_t*>(Debug_Calloc(n ? n : 1, sizeof(int32_t)));
    for (size_t i = 0; i < n; i++) g.distance_from_base[i] = g.distance_from_scouted[i] = rows;
    g.largest_distance = 0;
    the_team->cell_squads = static_cast<squad**>(Debug_Calloc(n ? n : 1, sizeof(squad*)));
    ResetStages(the_team);
}

void AI_FreeGrid(AI_Team* the_team)
{
    AI_TARGETS& g = the_team->strategic_targets;
    Debug_Free(&g.cells);
    Debug_Free(&g.base);
    Debug_Free(&g.distance_from_base);
    Debug_Free(&g.scouted);
    Debug_Free(&g.distance_from_scouted);
    Debug_Free(&the_team->cell_squads);
}

// ------------------------------------------------------------------ the cycle

void AI_RecomputeGrid(AI_Team* the_team)
{
    AI_TARGETS& g = the_team->strategic_targets;
    AIP_struct* plan = the_team->plan;
    const int team = the_team->team_ID;
    const int n = g.grid_rows * g.grid_columns;
    for (int i = 0; i < n; i++) {
        GRIDCELL& c = g.cells[i];
        c.priority = c.raw_priority_copy = 0.0f;
        c.threat = c.enemy_units = c.enemy_ground_strength = c.enemy_air_strength = 0;
        c.non_combat = c.non_enemy_units = c.resources = 0;
        c.enemy_building_value = c.own_building_value = 0.0f;
    }
    for (float& need : plan->match_up_need) need = 0.0f;
    int total = 0;
    for (int t = 0; t < TEAM_MAXTEAMS; t++)
        for (int list = 0; list < TEAM_MOVELISTS; list++)
            for (UNIT* u = teamdata[t].unitlist[list]; u; u = u->next) {
                ScanUnit(the_team, u, &total);
                const int index = u->type->unittypeid;
                if (!u->ever_seen[team] || !Enemy(team, u->team) || index < 0 || index >= AIP_UNITTYPES ||
                    !plan->match_up[index])
                    continue;
                const int to = plan->match_up[index]->unittypeid;
                if (to >= 0 && to < AIP_UNITTYPES) plan->match_up_need[to] += plan->match_amount[index];
            }
    the_team->enemy_units = total;
    the_team->largest_enemy_count = 0;
    for (int i = 0; i < n; i++)
        the_team->largest_enemy_count = std::max(the_team->largest_enemy_count, g.cells[i].enemy_units);
    for (int t = 0; t < TEAM_MAXTEAMS; t++)
        for (const BUILDING* b = teamdata[t].firstbuilding; b; b = b->teamnext) ScanBuilding(the_team, b);
    the_team->highest_threat = 0;
    for (int i = 0; i < n; i++) {
        g.cells[i].threat = AIP_SaturateInt((double)plan->ground_unit_threat * g.cells[i].enemy_units);
        the_team->highest_threat = std::max(the_team->highest_threat, g.cells[i].threat);
    }
    Relax(the_team);
    const float dim = plan->danger_diminishment;
    for (int i = 0; i < n; i++) {
        float& danger = g.cells[i].danger;
        if (std::fabs(danger) <= std::fabs(dim)) danger = 0.0f;
        else if (danger < 0.0f) danger += dim;
        g.base[i] = g.cells[i].own_building_value > 0.0f;
    }
    Grassfire_Run(g.base, g.distance_from_base, 1, 0, 0, 8, g.grid_rows, g.grid_columns);
    g.largest_distance = 0;
    for (int i = 0; i < n; i++) g.largest_distance = std::max(g.largest_distance, g.distance_from_base[i]);
    Grassfire_Run(g.scouted, g.distance_from_scouted, 1, 0, 0, 8, g.grid_rows, g.grid_columns);
}

void AI_ScanResources(AI_Team* the_team)
{
    AI_TARGETS& g = the_team->strategic_targets;
    const int team = the_team->team_ID;
    for (int r = 0; r < AIBUILD_RESOURCES; r++) {
        const int count = AIBuild_ResourceCount(r);
        for (int i = 0; i < count; i++) {
            // A site whose building is gone is passed over, not the end of
            // the walk: it would hide every later site for good.
            AIBUILD_SITE* site = AIBuild_ResourceGet(r, i);
            if (!site) continue;
            GRIDCELL* cell = AI_GridCell(the_team, site->x / AI_CELLSIZE, site->y / AI_CELLSIZE);
            if (!cell) continue;
            cell->resources++;
            const int available =
                cell->own_building_value > 0.0f || (int)(cell->enemy_units * 1.5) < cell->non_enemy_units;
            site->usable[team] = available;
            if (available) {
                const UNIT* there = Units_UnitAtMapLevel(ML_GROUND, site->x, site->y);
                if (there && Enemy(team, there->team)) cell->resources += 10;
            }
            const int k = Index(g, cell->column, cell->row);
            site->score[team] =
                g.scouted[k] ? (int)((double)cell->non_enemy_units - g.distance_from_base[k] - cell->enemy_units -
                                     cell->enemy_building_value + cell->own_building_value)
                             : -1000000000;
        }
    }
}

void AI_Team::Update(AI_MAP* map, AI_Team* the_team)
{
    ASSERT(the_team);
    ASSERT(the_team->team_ID >= 0 && the_team->team_ID < TEAM_MAXTEAMS);
    if ((int)(g_UpdateCount % 9) != the_team->team_ID) return;
    AIP_struct* plan = the_team->plan;
    if (!plan) return;
    if ((int64_t)g_UpdateCount - plan->last_recompute < plan->recompute_strategy_period) return;
    AI_STAGES& st = the_team->stages;
    if (!st.grid_done) {
        AI_RecomputeGrid(the_team);
        st.grid_done = 1;
        return;
    }
    if (!st.resources_done) {
        AI_ScanResources(the_team);
        st.resources_done = 1;
    }
    if (the_team->units->count != 0) {
        if (!st.squads_formed) {
            FormSquads(the_team);
            st.squads_formed = 1;
            return;
        }
        if (!st.schedule_done) {
            Schedule_Run(map, the_team);
            return;
        }
        if (!st.movement_done) {
            MoveSquads(map, the_team);
            st.movement_done = 1;
            return;
        }
        the_team->cycle_complete = 1;
    }
    EndCycle(map, the_team);
}

void AI_Team::ReportEvent(int team, int x, int y, int scaled, int attacker_x, int attacker_y)
{
    if (team < 0 || team >= TEAM_MAXTEAMS || !AI_IsComputerTeam(team)) return;
    AI_Team* the_team = AI_GetTeam(team);
    GRIDCELL* cell = EventCell(the_team, x, y, scaled);
    if (!cell || !Defensive(cell) || cell->event_state == 1) return;
    int inside = 0;
    if (attacker_x >= 0) {
        const GRIDCELL* at = EventCell(the_team, attacker_x, attacker_y, scaled);
        inside = at == cell;
        if (!at || std::abs(at->column - cell->column) > 1 || std::abs(at->row - cell->row) > 1)
            attacker_x = attacker_y = -1;
        else if (!scaled) {
            attacker_x = attacker_x * AI_CELLSIZE + AI_CELLSIZE / 2;
            attacker_y = attacker_y * AI_CELLSIZE + AI_CELLSIZE / 2;
        }
    }
    TLOG(TLOG_AI, "AI event team %d cell (%d, %d) attacker (%d, %d)", team, cell->column, cell->row, attacker_x,
         attacker_y);
    if (cell->event_state == 2) StopHelping(AI_map, the_team, cell);
    cell->event_state = 1;
    static const int order[8][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, -1}, {0, 1}, {1, -1}, {1, 0}, {1, 1}};
    for (const auto& o : order) {
        GRIDCELL* n = AI_GridCell(the_team, cell->column + o[0], cell->row + o[1]);
        if (!n || !n->squad_ptr || n->event_state != 0 || !Defensive(n)) continue;
        n->event_state = 2;
        n->direction_mask = (uint8_t)DirectionBit(-o[0], -o[1]);
        if (attacker_x >= 0) Squad_MoveTo(AI_map, n->squad_ptr, attacker_x, attacker_y);
        else Squad_MoveToCell(AI_map, n->squad_ptr, cell);
        cell->direction_mask |= (uint8_t)DirectionBit(o[0], o[1]);
    }
    if (inside && attacker_x >= 0 && cell->squad_ptr) Squad_MoveTo(AI_map, cell->squad_ptr, attacker_x, attacker_y);
}

void AI_Team::ReleaseSupport(AI_MAP* map, int team, int x, int y, int scaled)
{
    if (team < 0 || team >= TEAM_MAXTEAMS || !AI_IsComputerTeam(team)) return;
    AI_Team* the_team = AI_GetTeam(team);
    GRIDCELL* cell = EventCell(the_team, x, y, scaled);
    if (!cell || !Quiet(cell)) return;
    ReleaseHelpers(map, the_team, cell);
    cell->event_state = 0;
}

void AI_Team::Init_All_Teams_Strategies(AI_MAP* map, AI_Team* the_team)
{
    (void)map;
    ASSERT(the_team);
    TLOG(TLOG_AI, "AI_Team::Init_All_Teams_Strategies Begins (team %d)", the_team->team_ID);
    FormSquads(the_team);
    TLOG(TLOG_AI, "AI_Team::Init_All_Teams_Strategies Ends (team %d)", the_team->team_ID);
}

void AI_Team::ReportAttack(int team, int amount, int x, int y, int scaled)
{
    if (team < 0 || team >= TEAM_MAXTEAMS || !AI_IsComputerTeam(team)) return;
    AI_Team* the_team = AI_GetTeam(team);
    GRIDCELL* cell = scaled ? (x < 0 || y < 0 ? nullptr : AI_GridCell(the_team, x / AI_CELLSIZE, y / AI_CELLSIZE))
                            : AI_GridCell(the_team, x, y);
    if (cell) cell->danger += (float)amount;
}

void AI_RegionTweak(int team, int value, int min_force, int max_force, int x1, int y1, int x2, int y2)
{
    if (team < 0 || team >= TEAM_MAXTEAMS || !AI_IsComputerTeam(team)) return;
    AI_Team* the_team = AI_GetTeam(team);
    AI_TARGETS& g = the_team->strategic_targets;
    TLOG(TLOG_AI, "AI_RegionTweak team %d, value %d (%d, %d) -> (%d, %d)", team, value, x1, y1, x2, y2);
    const int r0 = std::max(y1 / AI_CELLSIZE, 0), r1 = std::min(y2 / AI_CELLSIZE, g.grid_rows - 1);
    const int c0 = std::max(x1 / AI_CELLSIZE, 0), c1 = std::min(x2 / AI_CELLSIZE, g.grid_columns - 1);
    for (int r = r0; r <= r1; r++)
        for (int c = c0; c <= c1; c++) {
            GRIDCELL& cell = g.cells[Index(g, c, r)];
            cell.scripted_value = value;
            cell.scripted_min_force = min_force;
            cell.scripted_max_force = max_force;
        }
    std::string line;
    for (int r = 0; r < g.grid_rows; r++) {
        line.clear();
        for (int c = 0; c < g.grid_columns; c++) {
            char cell[16];
            snprintf(cell, sizeof cell, " %4d", g.cells[Index(g, c, r)].scripted_value);
            line += cell;
        }
        TLOG(TLOG_AI, "  %s", line.c_str());
    }
    TLOG(TLOG_AI, "AI_RegionTweak Ends");
}

// ------------------------------------------------------------------ grassfire

void Grassfire_Open(int rows, int columns)
{
    ASSERT(!grassfire_initialised);
    grassfire_initialised = 1;
    s_fire.rows = rows;
    s_fire.columns = columns;
    const size_t n = (size_t)(rows > 0 ? rows : 1) * (size_t)(columns > 0 ? columns : 1);
    s_fire.work = static_cast<int32_t*>(Debug_Calloc(n, sizeof(int32_t)));
}

void Grassfire_Close(void)
{
    if (!grassfire_initialised) {
        TLOG(TLOG_ERROR, "Grassfire Closed without matching open.");
        return;
    }
    Debug_Free(&s_fire.work);
    s_fire = {0, 0, nullptr};
    grassfire_initialised = 0;
}

void Grassfire_Run(const int32_t* source, int32_t* destination, int value, int invert, int edge,
                   int connectivity, int rows, int columns)
{
    if (!grassfire_initialised || rows != s_fire.rows || columns != s_fire.columns)
        ERR_FATAL(ERRC_FATAL, "Grassfire assertion failure");
    const int cap = columns - 1;
    const int border = (edge == 0) == (invert == 0) ? cap : 0;
    const bool eight = connectivity == 8;
    int32_t* w = s_fire.work;
    auto at = [&](int r, int c) { return r < 0 || c < 0 || r >= rows || c >= columns ? border : w[r * columns + c]; };
    for (int r = 0; r < rows; r++)
        for (int c = 0; c < columns; c++) {
            const bool src = (source[r * columns + c] == value) != (invert != 0);
            if (src) {
                w[r * columns + c] = 0;
                continue;
            }
            int least = std::min(at(r, c - 1), at(r - 1, c));
            if (eight) least = std::min({least, at(r - 1, c - 1), at(r - 1, c + 1)});
            w[r * columns + c] = std::min(1 + least, cap);
        }
    for (int r = rows - 1; r >= 0; r--)
        for (int c = columns - 1; c >= 0; c--) {
            int32_t& v = w[r * columns + c];
            if (v != 0) {
                int least = std::min(at(r, c + 1), at(r + 1, c));
                if (eight) least = std::min({least, at(r + 1, c + 1), at(r + 1, c - 1)});
                v = std::min({v, 1 + least, cap});
            }
            destination[r * columns + c] = v;
        }
}
