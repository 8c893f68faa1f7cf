#include "ai/aisite.h"

#include <vector>

#include "ai/aibuild.h"
#include "ai/aiprog.h"
#include "ai/ai.h"
#include "ai/aip.h"
#include "ai/aiteam.h"
#include "core/debug.h"
#include "core/gll.h"
#include "core/tlog.h"
#include "map/map.h"
#include "platform/effects.h"
#include "units/building.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitmove.h"
#include "units/unithold.h"
#include "units/unitsorder.h"

namespace {

void Add(GLL* list, UNIT* unit)
{
    GLL_GoFirst(list);
    GLL_InsertBefore(list, unit);
}

// 1 when the unit was listed (and is no more).
int Remove(GLL* list, const UNIT* unit)
{
    if (!list) return 0;
    for (void* e = GLL_GoFirst(list); e; e = GLL_GoNext(list))
        if (e == unit) {
            GLL_DeleteCurrent(list);
            return 1;
        }
    return 0;
}

UNIT* Head(GLL* list) { return list && list->first ? static_cast<UNIT*>(list->first->element) : nullptr; }

void Dump(const GLL* list, const char* title, const char* entry, int team)
{
    TLOG(TLOG_AI, title, team);
    int i = 0;
    for (const GLL_NODE* n = list ? list->first : nullptr; n; n = n->next)
        TLOG(TLOG_AI, entry, i++, static_cast<const UNIT*>(n->element)->id);
}

}   // namespace

// ------------------------------------------------------------------ lists

void AIBuild_UnassignedCCAdd(AI_Team* the_team, UNIT* unit)
{
    // The list is read as crews: a unit that can't build is never one.
    if (!unit->type->abilities.canbuild) {
        TLOG(TLOG_AI, "AIBuild_UnassignedCCAdd team %d unit %d can't build: not listed", the_team->team_ID, unit->id);
        return;
    }
    TLOG(TLOG_AI, "AIBuild_UnassignedCCAdd team %d CC %d", the_team->team_ID, unit->id);
    Add(the_team->aibuild.unassigned_cc, unit);
}

void AIBuild_UnassignedCCRemove(AI_Team* the_team, UNIT* unit)
{
    TLOG(TLOG_AI, "AIBuild_UnassignedCCRemove team %d CC %d", the_team->team_ID, unit->id);
    Remove(the_team->aibuild.unassigned_cc, unit);
}

UNIT* AIBuild_UnassignedCCGet(AI_Team* the_team)
{
    UNIT* u = Head(the_team->aibuild.unassigned_cc);
    if (u) TLOG(TLOG_AI, "UnassignedCCGet team %d cc %d", the_team->team_ID, u->id);
    else TLOG(TLOG_AI, "UnassignedCCGet team %d no cc", the_team->team_ID);
    return u;
}

void AIBuild_UnassignedTransportAdd(AI_Team* the_team, UNIT* unit)
{
    TLOG(TLOG_AI, "AIBuild_UnassignedTransportAdd team %d Transport %d", the_team->team_ID, unit->id);
    Add(the_team->aibuild.unassigned_transports, unit);
}

void AIBuild_UnassignedTransportRemove(AI_Team* the_team, UNIT* unit)
{
    TLOG(TLOG_AI, "AIBuild_UnassignedTransportRemove team %d transport %d", the_team->team_ID, unit->id);
    Remove(the_team->aibuild.unassigned_transports, unit);
}

UNIT* AIBuild_UnassignedTransportGet(AI_Team* the_team)
{
    UNIT* u = Head(the_team->aibuild.unassigned_transports);
    if (u) TLOG(TLOG_AI, "UnassignedTransportGet team %d transport %d", the_team->team_ID, u->id);
    else TLOG(TLOG_AI, "UnassignedTransportGet team %d no transport", the_team->team_ID);
    return u;
}

void AIBuild_AssignedTransportAdd(AI_Team* the_team, UNIT* unit)
{
    TLOG(TLOG_AI, "AIBuild_AssignedTransportAdd team %d Transport %d", the_team->team_ID, unit->id);
    Add(the_team->aibuild.assigned_transports, unit);
}

void AIBuild_AssignedTransportRemove(AI_Team* the_team, UNIT* unit)
{
    TLOG(TLOG_AI, "AIBuild_AssignedTransportRemove team %d transport %d", the_team->team_ID, unit->id);
    if (Remove(the_team->aibuild.assigned_transports, unit))
        AIBuild_SiteServed(unit->ai.producer_id, the_team->team_ID, 0);
}

void AIBuild_ForgetUnit(AI_Team* the_team, UNIT* unit)
{
    AIBUILD& ab = the_team->aibuild;
    Remove(ab.unassigned_cc, unit);
    Remove(ab.unassigned_transports, unit);
    if (Remove(ab.assigned_transports, unit)) AIBuild_SiteServed(unit->ai.producer_id, the_team->team_ID, 0);
}

void AIBuild_DumpLists(AI_Team* the_team)
{
    const AIBUILD& ab = the_team->aibuild;
    Dump(ab.unassigned_cc, "Unassigned CC's Team %d", "  Unassigned #%d %08x", the_team->team_ID);
    Dump(ab.unassigned_transports, "Unassigned Transports's Team %d", "  Unassigned #%d %08x",
         the_team->team_ID);
    Dump(ab.assigned_transports, "Assigned Transports's Team %d", "  Assigned #%d %08x",
         the_team->team_ID);
}

// ------------------------------------------------------------------ reserved areas

int AIBuild_ReserveArea(AI_Team* the_team, int x, int y, int width, int height)
{
    for (int i = 0; i < AIBUILD_RESERVED_AREAS; i++) {
        AIBUILD_RESERVED& r = the_team->aibuild.reserved[i];
        if (r.in_use) continue;
        r = {1, (int16_t)x, (int16_t)y, (int16_t)width, (int16_t)height};
        return i;
    }
    return -1;
}

void AIBuild_ClearReservedFlag(AI_Team* the_team, int slot)
{
    if (slot < 0 || slot >= AIBUILD_RESERVED_AREAS) return;
    the_team->aibuild.reserved[slot].in_use = 0;
}

void AIBuild_ClearReservedAreas(AI_Team* the_team)
{
    for (AIBUILD_RESERVED& r : the_team->aibuild.reserved) r = {};
}

int AIBuild_IsReserved(const AI_Team* the_team, int x, int y, int width, int height)
{
    for (const AIBUILD_RESERVED& r : the_team->aibuild.reserved)
        if (r.in_use && x + width - 1 >= r.x && y + height - 1 >= r.y && r.x + r.width > x &&
            r.y + r.height > y)
            return 1;
    return 0;
}

void AIBuild_DumpReservedAreas(const AI_Team* the_team)
{
    TLOG(TLOG_AI, "Dumping Reserved Areas");
    for (const AIBUILD_RESERVED& r : the_team->aibuild.reserved)
        if (r.in_use) TLOG(TLOG_AI, "   (%d, %d)->(%d, %d)", r.x, r.y, r.x + r.width - 1, r.y + r.height - 1);
}

// ------------------------------------------------------------------ placement

void AIBuild_LocateBase(AI_Team* the_team)
{
    const int team = the_team->team_ID;
    int64_t sx = 0, sy = 0, n = 0;
    for (const BUILDING* b = teamdata[team].firstbuilding; b; b = b->teamnext, n++) {
        sx += b->tilex;
        sy += b->tiley;
    }
    if (n == 0)
        for (int list = 0; list < TEAM_MOVELISTS; list++)
            for (const UNIT* u = teamdata[team].unitlist[list]; u; u = u->next, n++) {
                sx += u->tilepos.x;
                sy += u->tilepos.y;
            }
    the_team->aibuild.base_x = n ? (int32_t)(sx / n) : 0;
    the_team->aibuild.base_y = n ? (int32_t)(sy / n) : 0;
    TLOG(TLOG_AI, "AT Team %d Base Located at (%d, %d)", team, the_team->aibuild.base_x,
         the_team->aibuild.base_y);
}

static int Inside(int x, int y, int w, int h)
{
    return x >= 0 && y >= 0 && x + w <= mapsizex && y + h <= mapsizey;
}

int AIBuild_CanBuildHere(const BUILDINGTYPE* type, int x, int y)
{
    OVLEFFECT* grid = Effects_FindType(type->image[0]);
    if (!grid) {
        TLOG(TLOG_ERROR, "[AIBUILD] CanBuildHere - No effects for %s", type->name);
        return 0;
    }
    if (grid->width != type->width || grid->height != type->height) {
        TLOG(TLOG_ERROR, "[AIBUILD] CanBuildHere - Incorrect size for %s", type->name);
        return 0;
    }
    const int bridge = (type->flags & BTF_ISBRIDGE) != 0;
    int altitude = -1;
    for (int cy = 0; cy < grid->height; cy++)
        for (int cx = 0; cx < grid->width; cx++) {
            if (Effects_OvlEntry(grid, cx, cy)[0] == MAP_EFFECT_NONE) continue;
            const int tx = x + cx, ty = y + cy;
            if (!Inside(tx, ty, 1, 1)) return 0;
            if (Units_UnitAtMapLevel(ML_GROUND, tx, ty)) return 0;
            const UNIT* under = Units_UnitAtMapLevel(ML_TUNNEL, tx, ty);
            if (under && under->isphased) return 0;
            const MAP_ELEMENT* e = MAP_ELEMENT_AT(tx, ty);
            if (!bridge) {
                if ((e->tile & 0xF) == 0) return 0;
                if (altitude < 0) altitude = (int)e->altitude;
                else if ((int)e->altitude != altitude) return 0;
            }
            if (e->effect != MAP_EFFECT_NONE) return 0;
        }
    return 1;
}

int AIBuild_PositionFits(const AI_Team* the_team, const BUILDINGTYPE* type, int x, int y,
                         const UNIT* crew)
{
    const int w = type->width, h = type->height, m = AIBUILD_CLEARANCE;
    if (AIBuild_IsReserved(the_team, x, y, w, h)) return 0;
    // The exit strip: the last row and the two rows below it, level.
    if (!Inside(x, y + h - 1, w, 3)) return 0;
    const int level = (int)MAP_ELEMENT_AT(x, y + h - 1)->altitude;
    for (int ty = y + h - 1; ty <= y + h + 1; ty++)
        for (int tx = x; tx < x + w; tx++)
            if ((int)MAP_ELEMENT_AT(tx, ty)->altitude != level) return 0;
    if (!Inside(x - m, y - m, w + 2 * m, h + 2 * m)) return 0;
    for (int ty = y - m; ty < y + h + m; ty++)
        for (int tx = x - m; tx < x + w + m; tx++)
            if (MAP_ELEMENT_AT(tx, ty)->effect != MAP_EFFECT_NONE) return 0;
    if (!AIBuild_CanBuildHere(type, x, y)) return 0;
    // A place the construct order would refuse would hold the crew at the
    // head of the list, stalling there for ever.
    if (crew && (!Build_ApplyEffects(crew, nullptr, type, x, y, nullptr) ||
                 !Units_Can_Reach_X_Y(crew, x, y)))
        return 0;
    return 1;
}

// The ring search: test(x, y) for ring r = 1, 2, .. until stop(r) holds
// after the ring.
template <typename Test, typename Stop>
static int Rings(int bx, int by, int* x, int* y, Test test, Stop stop)
{
    for (int r = 1;; r++) {
        const int half = r / 2;
        for (int side = 0; side < 4; side++)
            for (int i = 0; i < r; i++) {
                int px, py;
                switch (side) {
                case 0: px = bx - half + i; py = by - r; break;
                case 1: px = bx - half + i; py = by + r; break;
                case 2: px = bx + r; py = by - half + i; break;
                default: px = bx - r; py = by - half + i; break;
                }
                if (test(px, py)) {
                    *x = px;
                    *y = py;
                    return 1;
                }
            }
        if (stop(r)) return 0;
    }
}

int AIBuild_FindNormalFacilityLocation(AI_Team* the_team, const BUILDINGTYPE* type, int* x, int* y,
                                       const UNIT* crew)
{
    TLOG(TLOG_AI, "AIBuild_FindNormalFacilityLocation Begins");
    const int found = Rings(
        the_team->aibuild.base_x, the_team->aibuild.base_y, x, y,
        [&](int px, int py) { return AIBuild_PositionFits(the_team, type, px, py, crew); },
        [](int r) { return r + 1 > mapsizex && r + 1 > mapsizey; });
    TLOG(TLOG_AI, "AIBuild_FindNormalFacilityLocation Ends");
    return found;
}

int AIBuild_FindFacilityLocation(AI_Team* the_team, const BUILDINGTYPE* type, int* x, int* y,
                                 const UNIT* crew)
{
    TLOG(TLOG_AI, "AIBuild_FindFacilityLocation Begins");
    if (the_team->aibuild.placement_delay != 0) return 0;
    if (AIBuild_FindNormalFacilityLocation(the_team, type, x, y, crew)) return 1;
    the_team->aibuild.placement_delay = AIBUILD_PLACEMENT_DELAY;
    return 0;
}

int AIBuild_CanMineFitHere(const AI_Team* the_team, const BUILDINGTYPE* type, int cx, int cy, int* x,
                           int* y)
{
    TLOG(TLOG_AI, "AIBuild_CanMineFitHere Begins");
    const int found = Rings(
        cx, cy, x, y,
        [&](int px, int py) {
            return !AIBuild_IsReserved(the_team, px, py, type->width, type->height) &&
                   AIBuild_CanBuildHere(type, px, py);
        },
        [&](int r) { return r + 1 > type->width / 2 || r + 1 > type->height / 2; });
    TLOG(TLOG_AI, "AIBuild_CanMineFitHere Ends");
    return found;
}

// ------------------------------------------------------------------ crews

void AIBuild_AssignConstructionUnits(AI_Team* the_team)
{
    for (;;) {
        UNIT* crew = AIBuild_UnassignedCCGet(the_team);
        if (!crew) return;
        int account = 0, x = -1, y = -1;
        const int item = AIBuild_ChooseItem(the_team, crew->type->prereq.id, AIBUILD_BUILD, &account,
                                            &x, &y, crew);
        if (!item) return;
        const BUILDINGTYPE* type = PREREQ_BuildingTypePtr(item);
        Units_SOrderConstruct(crew, type->index, x, y);
        crew->ai.cc_reserved_area =
            AIBuild_ReserveArea(the_team, x - AIBUILD_CLEARANCE, y - AIBUILD_CLEARANCE,
                                type->width + 2 * AIBUILD_CLEARANCE, type->height + 2 * AIBUILD_CLEARANCE);
        AIBuild_UnassignedCCRemove(the_team, crew);
        crew->ai.cc_construct_cost = AIBuild_CostOfObject(item);
        crew->ai.cc_construct_type = (uint16_t)item;
        crew->ai.cc_account = account;
    }
}

// ------------------------------------------------------------------ resource sites and transports

// Index 0 is the head: the site added last.
static std::vector<AIBUILD_SITE> s_sites[AIBUILD_RESOURCES];

static int Live(const AIBUILD_SITE& site) { return Build_FindById(site.id) != nullptr; }

void AIBuild_ResourceInit(void)
{
    for (auto& list : s_sites) list.clear();
    for (const BUILDING* b = g_Buildings; b; b = b->next) {
        const BUILDINGTYPE* t = b->buildingtype;
        if (!t) continue;
        const int r = t->resource[0].production != 0 ? 0 : t->resource[1].production != 0 ? 1 : -1;
        if (r < 0) continue;
        AIBUILD_SITE site = {};
        site.x = b->tilex + (t->bayx > 0 ? t->bayx : 0);
        site.y = b->tiley + (t->bayy > 0 ? t->bayy : 0);
        site.id = b->id;
        s_sites[r].insert(s_sites[r].begin(), site);
        TLOG(TLOG_AI, "resource #%d found at (%d, %d) id number %d", r, site.x, site.y, site.id);
    }
    for (int r = 0; r < AIBUILD_RESOURCES; r++) AIBuild_DumpResources(r);
}

void AIBuild_ResourceListDelete(void)
{
    TLOG(TLOG_AI, "in RLD");
    for (int r = 0; r < AIBUILD_RESOURCES; r++) {
        for (size_t i = 0; i < s_sites[r].size(); i++)
            TLOG(TLOG_AI, "RLD about to free resource %d node %d ptr %08x", r, (int)i, s_sites[r][i].id);
        TLOG(TLOG_AI, "About to free list resource %d", r);
        s_sites[r].clear();
    }
    TLOG(TLOG_AI, "leaving RLD");
}

AIBUILD_SITE* AIBuild_ResourceGet(int resource, int index)
{
    if (resource < 0 || resource >= AIBUILD_RESOURCES || index < 0 || index >= (int)s_sites[resource].size())
        return nullptr;
    AIBUILD_SITE* site = &s_sites[resource][(size_t)index];
    return Live(*site) ? site : nullptr;
}

const AIBUILD_SITE* AIBuild_ResourceNode(int resource, int index)
{
    if (resource < 0 || resource >= AIBUILD_RESOURCES || index < 0 || index >= (int)s_sites[resource].size())
        return nullptr;
    return &s_sites[resource][(size_t)index];
}

int AIBuild_ResourceCount(int resource)
{
    return resource >= 0 && resource < AIBUILD_RESOURCES ? (int)s_sites[resource].size() : 0;
}

void AIBuild_DumpResources(int resource)
{
    TLOG(TLOG_AI, "Dumping resource %d", resource);
    const int n = AIBuild_ResourceCount(resource);
    for (int i = 0; i < n; i++)
        if (const AIBUILD_SITE* s = AIBuild_ResourceGet(resource, i))
            TLOG(TLOG_AI, "   #%d (%d, %d) id %d", i, s->x, s->y, s->id);
}

void AIBuild_SiteServed(int building_id, int team, int served)
{
    if (team < 0 || team >= TEAM_MAXTEAMS) return;
    for (auto& list : s_sites)
        for (AIBUILD_SITE& s : list)
            if (s.id == building_id) {
                s.served[team] = served;
                return;
            }
}

void AIBuild_TakerAdd(AI_Team* the_team, const BUILDINGTYPE* type, int building_id)
{
    for (int r = 0; r < AIBUILD_RESOURCES; r++) {
        if (type->resource[r].salepercent <= 0 && type->resource[r].supplytarget < 0) continue;
        GLL* list = the_team->aibuild.takers[r];
        // A site already there at AI_Init is listed then and again when it
        // is finished: once is enough, or its removal would leave an id.
        bool listed = false;
        for (const GLL_NODE* n = list->first; n; n = n->next) listed = listed || (intptr_t)n->element == building_id;
        if (listed) continue;
        GLL_GoFirst(list);
        GLL_InsertBefore(list, reinterpret_cast<void*>((intptr_t)building_id));
    }
}

void AIBuild_TakerRemove(AI_Team* the_team, int building_id)
{
    for (GLL* list : the_team->aibuild.takers) {
        if (!list) continue;
        bool found = false;
        for (void* e = GLL_GoFirst(list); e; e = GLL_GoNext(list))
            if ((intptr_t)e == building_id) {
                GLL_DeleteCurrent(list);
                found = true;
                break;
            }
        if (found) break;
    }
    AIBuild_ReleaseTransports(building_id);
}

void AIBuild_ReleaseTransports(int building_id)
{
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        AI_Team* the_team = AI_GetTeam(t);
        if (!the_team || !AI_IsComputerTeam(t) || !the_team->aibuild.assigned_transports) continue;
        GLL* list = the_team->aibuild.assigned_transports;
        for (GLL_NODE* n = list->last, *prev = nullptr; n; n = prev) {
            prev = n->prev;
            UNIT* u = static_cast<UNIT*>(n->element);
            if (u->ai.producer_id != building_id && u->ai.consumer_id != building_id) continue;
            Units_SOrderStop(u);
            AIBuild_AssignedTransportRemove(the_team, u);
            AIBuild_UnassignedTransportAdd(the_team, u);
        }
    }
}

int AIBuild_CountTransportsNeeded(AI_Team* the_team)
{
    const int team = the_team->team_ID;
    AIBUILD* ab = &the_team->aibuild;
    int wanted = 0;
    for (int r = 0; r < AIBUILD_RESOURCES; r++) {
        int count = 0;
        for (const AIBUILD_SITE& s : s_sites[r])
            if (Live(s) && s.usable[team]) count++;
        if (count >= 1 && ab->takers[r] && ab->takers[r]->count > 0) wanted += count;
    }
    int building = 0;
    if (the_team->plan && the_team->plan->transport)
        building = AIBuild_UnderConstruction(team, the_team->plan->transport);
    const int need = wanted - ab->unassigned_transports->count - ab->assigned_transports->count - building;
    ab->transports_needed = need > 0 ? need : 0;
    return ab->transports_needed;
}

void AIBuild_AssignTransport(AI_Team* the_team)
{
    UNIT* u = AIBuild_UnassignedTransportGet(the_team);
    if (!u) return;
    const int team = the_team->team_ID;
    AIBUILD_SITE* best = nullptr;
    for (auto& list : s_sites)
        for (AIBUILD_SITE& s : list)
            if (Live(s) && s.usable[team] && !s.served[team] && (!best || s.score[team] > best->score[team]))
                best = &s;
    if (!best) return;
    BUILDING* src = Build_FindById(best->id);
    BUILDING* partner = Units_FindMatchedTransportBuilding(u, src);
    if (!partner) return;
    int producer_type = -1;
    for (int r = 0; r < AIBUILD_RESOURCES; r++)
        if (src->buildingtype->resource[r].production > 0) producer_type = r;
    if (producer_type < 0) return;   // the source changed type since the list was made
    u->ai.resource_type = producer_type;
    for (int k = 0; k < UNIT_RESOURCES; k++)
        if (k != producer_type) u->resource[k] = 0;
    Units_LayTransportTrail(u, src, partner);
    AIBuild_UnassignedTransportRemove(the_team, u);
    AIBuild_AssignedTransportAdd(the_team, u);
    u->ai.producer_id = src->id;
    u->ai.consumer_id = partner->id;
    best->served[team] = 1;
}
