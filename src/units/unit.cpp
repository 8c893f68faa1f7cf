// Unit types, units (their records, lists, map presence and claims) and the
// phase-effect list.
//
// Invariants kept here: a live unit (inuse set) is on exactly one list of
// its team (an on-map list while onmap is set, the off-map list otherwise),
// is in the making-sequence array, and is counted in
// teamdata[team].unitcount and in the prerequisite counts of its team; a
// unit on the map is linked into exactly the map-grid cell named by its
// gridcell. A deleted record has id -1, which is what makes every handle to
// it stale.
#include "units/unit.h"
#include "units/unitmove.h"

#include <algorithm>
#include <cstring>
#include <strings.h>
#include <vector>

#include "ai/ai.h"
#include "core/debug.h"
#include "core/guard.h"
#include "core/pool.h"
#include "core/rand.h"
#include "core/tlog.h"
#include "core/uid.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/path.h"
#include "map/pathsrch.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "save/saveget.h"
#include "units/building.h"
#include "units/mpteams.h"
#include "units/parts.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unitstate.h"

int g_EditorKeepTerrain = 0;
int g_EditorPartsKeepMode = 0;

namespace {

MODULE_GUARD s_guard = MODULE_GUARD_INIT("Units");
POOL s_pool;
int s_live = 0;                      // units made and not deleted
UNITTYPE s_types[UNITS_MAXTYPES];
int s_nrtypes = 0;
PHASEEFF* s_phase = nullptr;
// The live units by making sequence; a unit made is appended, so the array
// stays sorted by seq without sorting.
std::vector<UNIT*> s_made;
uint32_t s_nextseq = 1;

bool BySeq(const UNIT* u, uint32_t seq) { return u->seq < seq; }

void ForgetMade(const UNIT* u)
{
    auto at = std::lower_bound(s_made.begin(), s_made.end(), u->seq, BySeq);
    ASSERT(at != s_made.end() && *at == u);
    s_made.erase(at);
}

bool ValidTeam(int team) { return team >= 0 && team < TEAM_MAXTEAMS; }
bool ValidLevel(int level) { return level >= 0 && level < ML_LEVELS; }

UNIT** ListHead(UNIT* u, int list)
{
    TEAM_DATA& td = teamdata[u->team];
    return list == TEAM_MOVELISTS ? &td.offmaplist : &td.unitlist[list];
}

// Pushes u onto the front of a list of its team.
void LinkFront(UNIT* u, int list)
{
    UNIT** head = ListHead(u, list);
    u->prev = nullptr;
    u->next = *head;
    if (*head) (*head)->prev = u;
    *head = u;
}

// Takes u off whichever list of its team it heads or sits in. The head is
// looked up rather than derived from movemode so that a unit whose mode was
// changed while it was listed still comes off cleanly.
void Unlink(UNIT* u)
{
    if (u->prev) {
        u->prev->next = u->next;
    } else {
        for (int list = 0; list <= TEAM_MOVELISTS; list++) {
            UNIT** head = ListHead(u, list);
            if (*head == u) {
                *head = u->next;
                break;
            }
        }
    }
    if (u->next) u->next->prev = u->prev;
    u->next = u->prev = nullptr;
}

// The top part goes first: deleting a part's display takes those above it.
static void DeleteParts(UNIT* u)
{
    PART* top = u->basepart;
    while (top && top->partup) top = top->partup;
    while (top) {
        PART* below = top->partdown;
        Parts_Delete(top);
        top = below;
    }
    u->basepart = nullptr;
    SortDisp_DeleteChain(u->shadowdisplay);
    u->shadowdisplay = nullptr;
}

// Each part stands on the one before; the shadow is made first so that it
// is drawn under them.
static void MakeParts(UNIT* u)
{
    const UNITTYPE* type = u->type;
    int n = type->partinfo.nrparts;
    if (n <= 0 || n > UNITTYPE_MAXPARTS) return;
    if (type->shadowsprite)
        u->shadowdisplay = SortDisp_NewElement(type->shadowsprite, nullptr, SORTDISP_REMAP_NONE, 0,
                                               u->move.facing & 255, u->pixelpos.x, u->pixelpos.y,
                                               Units_GetDisplayLayer(u), 0);
    PART* below = nullptr;
    for (int i = 0; i < n; i++) {
        PART* p = Parts_New(type->partinfo.parttype[i], u, below, u->move.facing, u->team);
        if (!below) u->basepart = p;
        below = p;
    }
}

void DeleteUnit(UNIT* u)
{
    UNITS_totalhitpoints -= u->hitpoints;
    DeleteParts(u);
    if (u->onmap) Units_RemoveFromMap(u);
    Unlink(u);
    // Passengers go with their carrier: off the map in no building, nothing
    // would ever bring them back.
    UNIT* held;
    int heldid;
    while (Units_ListRemoveFirst(&u->hold, &held, &heldid))
        if (held != nullptr && !held->onmap) Units_Delete(held);
    Units_ListClose(&u->hold);
    delete u->building_package;
    u->building_package = nullptr;
    Pathsrch_CancelUnit(u);
    Path_Clear(&u->move.path);
    if (u->localtrail) Trail_Free(&u->localtrail);
    PhaseEff_Remove(u->id);
    PREREQ_Remove(u->type, u->type->prereq.id, u->team);
    teamdata[u->team].unitcount--;
    ForgetMade(u);
    u->id = -1;
    u->inuse = 0;
    s_live--;
}

// Links an on-map unit into the grid cell of its tile; the unit remembers
// the cell so that it can leave it whatever happens to tilepos.
void GridLink(UNIT* u)
{
    u->gridcell = Mapgrid_CellIndexOfTile(u->tilepos.x, u->tilepos.y);
    if (u->gridcell >= 0) Mapgrid_LinkCell(MGL_UNIT, u, u->gridcell);
}

void GridUnlink(UNIT* u)
{
    if (u->gridcell < 0) return;
    // Not being in the cell it names means the grid holds a pointer that no
    // unit accounts for: carrying on would leave it dangling.
    const int inItsCell = Mapgrid_UnlinkCell(MGL_UNIT, u, u->gridcell);
    ASSERT(inItsCell);
    u->gridcell = -1;
}

const char* Sym(const UNIT* u) { return u->type ? u->type->symbolid : "?"; }

} // namespace

// ------------------------------------------------------------------ unit types

UNITTYPE* Units_NewType(void)
{
    if (s_nrtypes >= UNITS_MAXTYPES) {
        TLOG(TLOG_ERROR, "max of %d unit types defined", UNITS_MAXTYPES);
        return nullptr;
    }
    UNITTYPE* t = &s_types[s_nrtypes];
    memset(t, 0, sizeof *t);
    t->unittypeid = s_nrtypes++;
    t->defmovemode = MM_GROUND;
    t->defmaplevel = ML_GROUND;
    t->defattackmode = UAM_FIRE;
    t->defense = 255;
    t->maxhitpoints = 50;
    t->scandelay = 20;
    t->stealtime = 200;
    t->buildcost = 100;
    t->buildtime = 100;
    t->mass = 5;
    t->speed = 10;
    t->seeingrange = 5;
    t->hold = 0;
    t->holdmass = 2;
    t->transportload.facing = -1;
    t->transportunload.facing = -1;
    return t;
}

UNITTYPE* Units_GetTypePtr(int index)
{
    if (index < 0 || index >= s_nrtypes) return nullptr;
    return &s_types[index];
}

int Units_UnitTypeCount(void) { return s_nrtypes; }

UNITTYPE* Units_SymToTypePtr(const char* name)
{
    if (!name) return nullptr;
    for (int i = 0; i < s_nrtypes; i++)
        if (strcasecmp(s_types[i].symbolid, name) == 0) return &s_types[i];
    return nullptr;
}

// The checks after the description, each with what it logs; the first that
// fails names the fault.
static const struct {
    bool (*fails)(const UNITTYPE* t);
    const char* text;
} s_typeChecks[] = {
    {[](const UNITTYPE* t) { return t->symbolid[0] == '\0'; }, "[%s] - no symbol"},
    {[](const UNITTYPE* t) { return t->menuspritefname[0] == '\0'; }, "[%s] - no menu image"},
    {[](const UNITTYPE* t) { return t->menusprite == nullptr; }, "[%s] - no menu sprite"},
    {[](const UNITTYPE* t) { return t->effects == nullptr; }, "[%s] - no effects"},
    {[](const UNITTYPE* t) { return t->defense < 0 || t->defense >= 255; }, "[%s] - no defence"},
    {[](const UNITTYPE* t) { return t->defmovemode < MM_FLY || t->defmovemode >= MM_MODES; },
     "[%s] - unknown move mode"},
    {[](const UNITTYPE* t) { return t->maxhitpoints < 1; }, "[%s] - no hit points"},
    {[](const UNITTYPE* t) { return t->speed == 0 && t->defmovemode != MM_FIXED; },
     "[%s] - moving unit without speed"},
    {[](const UNITTYPE* t) {
         return t->partinfo.nrparts < 0 || t->partinfo.nrparts > UNITTYPE_MAXPARTS;
     },
     "[%s] - too many parts"},
    {[](const UNITTYPE* t) { return t->partinfo.nrparts < 1 || !t->partinfo.parttype[0]; },
     "[%s] - no base part"},
    {[](const UNITTYPE* t) { return t->prereq.id == 0; }, "[%s] - no prerequisites"},
    {[](const UNITTYPE* t) { return t->abilities.canbemorphedinto && !t->abilities.ishuman; },
     "[%s] - non-human cannot be morphed into"},
    {[](const UNITTYPE* t) { return t->abilities.canmorphunit && !t->abilities.ishuman; },
     "[%s] - non-human cannot morph into unit"},
};

int Units_IsValidType(const UNITTYPE* type)
{
    if (!type) {
        TLOG(TLOG_ERROR, "Missing unit type");
        return 0;
    }
    if (type->description[0] == '\0') {
        TLOG(TLOG_ERROR, "[%s] - no description", type->symbolid);
        return 0;
    }
    for (const auto& check : s_typeChecks) {
        if (check.fails(type)) {
            TLOG(TLOG_ERROR, check.text, type->symbolid);
            return 0;
        }
    }
    return 1;
}

static void ResolveType(UNITTYPE* owner, UNITTYPE_TYPEINFO* info)
{
    info->type = nullptr;
    if (info->name[0] == '\0') return;
    info->type = Units_SymToTypePtr(info->name);
    if (!info->type)
        TLOG(TLOG_ERROR, "[%s] - unknown unit type [%s]", owner->symbolid, info->name);
}

static BUILDINGTYPE* BuildingTypeNamed(const UNITTYPE* owner, const char* name)
{
    int index = Textfile_FindBuildingType(name);
    if (index >= 0 && index < g_NrBuildingTypes) return &g_BuildingTypes[index];
    TLOG(TLOG_ERROR, "[%s] - unknown building type [%s]", owner->symbolid, name);
    return nullptr;
}

void Units_PostProcessAllTypes(void)
{
    for (int i = 0; i < s_nrtypes; i++) {
        UNITTYPE* t = &s_types[i];
        ResolveType(t, &t->grabinfo);
        ResolveType(t, &t->alternateinfo);
        ResolveType(t, &t->veteraninfo);
        ResolveType(t, &t->decoyinfo);
        for (int k = 0; k < t->bldpairs.count && k < UNITTYPE_BLDPAIRS; k++) {
            UNITTYPE_BLDPAIR& pair = t->bldpairs.pair[k];
            pair.srctype = BuildingTypeNamed(t, pair.src);
            pair.dsttype = BuildingTypeNamed(t, pair.dst);
        }
        // A unit that makes buildings is a construction crew to the
        // computer players; no keyword says so.
        t->abilities.canbuild = 0;
        for (int b = 0; b < g_NrBuildingTypes && t->prereq.id != 0; b++)
            for (uint16_t maker : g_BuildingTypes[b].prereq.makers)
                if (maker == t->prereq.id) t->abilities.canbuild = 1;
        // Healers and repairers are told apart by their weapons alone.
        t->abilities.canheal = 0;
        for (int k = 0; k < t->partinfo.nrparts && k < UNITTYPE_MAXPARTS; k++)
            if (t->partinfo.parttype[k] && Parts_TypeHasRepairWeapon(t->partinfo.parttype[k]))
                t->abilities.canheal = 1;
        t->phaseinfo.buildingtype = nullptr;
        if (t->phaseinfo.text[0] != '\0') {
            int index = Textfile_FindBuildingType(t->phaseinfo.text);
            if (index >= 0 && index < g_NrBuildingTypes)
                t->phaseinfo.buildingtype = &g_BuildingTypes[index];
            else
                TLOG(TLOG_ERROR, "[%s] - unknown building type [%s]", t->symbolid,
                     t->phaseinfo.text);
        }
    }
}

void Units_ReloadTypeSprites(void)
{
    for (int i = 0; i < s_nrtypes; i++) {
        if (s_types[i].menusprite) Textfile_ReloadSprite(s_types[i].menusprite);
        if (s_types[i].shadowsprite) Textfile_ReloadSprite(s_types[i].shadowsprite);
    }
    Parts_ReloadTypeSprites();
}

void Units_FreeTypes(void)
{
    // The start units and equivalents name types: they go with them, or the
    // next game's unit file would add its start units to the last game's.
    MpTeams_ForgetUnits();
    for (int i = 0; i < s_nrtypes; i++) {
        Sprite_Free(s_types[i].menusprite);
        Sprite_Free(s_types[i].shadowsprite);
    }
    memset(s_types, 0, sizeof s_types);
    s_nrtypes = 0;
}

// ------------------------------------------------------------------ the layer

void Units_InitAll(void)
{
    Guard_Init(&s_guard);
    Pool_Init(&s_pool, "units", sizeof(UNIT), 64);
    s_live = 0;
    s_made.clear();
    s_nextseq = 1;
    UNITS_totalhitpoints = 0;
    Units_ResetPhaseMessages();
    PhaseEff_FreeAll();
}

void Units_CloseAll(void)
{
    Guard_Close(&s_guard);
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        for (int list = 0; list <= TEAM_MOVELISTS; list++) {
            UNIT** head = list == TEAM_MOVELISTS ? &teamdata[t].offmaplist
                                                 : &teamdata[t].unitlist[list];
            // A listed record that is not in use would never leave the
            // list through Units_Delete: it is unlinked regardless.
            while (UNIT* u = *head) {
                if (u->inuse) Units_Delete(u);
                else Unlink(u);
            }
        }
    }
    Pool_Close(&s_pool);
    s_live = 0;
    s_made.clear();
    s_made.shrink_to_fit();
    PhaseEff_FreeAll();
    Units_ListFreeAll();
    Units_FreeTypes();
}

int Units_Count(void) { return s_live; }

UNIT* Units_MadeAfter(uint32_t after, uint32_t before)
{
    if (after == UINT32_MAX) return nullptr;
    auto at = std::lower_bound(s_made.begin(), s_made.end(), after + 1, BySeq);
    return at != s_made.end() && (*at)->seq < before ? *at : nullptr;
}

uint32_t Units_NextSeq(void) { return s_nextseq; }

void Units_SetNextSeq(uint32_t seq)
{
    // The making order stays sorted: never at or below a unit in play.
    uint32_t floor = s_made.empty() ? 1 : s_made.back()->seq + 1;
    s_nextseq = seq > floor ? seq : floor;
}

static bool ValidId(int id) { return id == -1 || id >= 1; }

// ------------------------------------------------------------------ making and deleting

UNIT* Units_NewKeepPtr(UNIT* u, UNITTYPE* type, int team, int id)
{
    if (!u) {
        TLOG(TLOG_ERROR, "Units_NewKeepPtr: no record");
        return nullptr;
    }
    if (!type) {
        TLOG(TLOG_ERROR, "Units_NewKeepPtr: no unit type");
        return nullptr;
    }
    if (!ValidTeam(team)) {
        TLOG(TLOG_ERROR, "Units_NewKeepPtr: invalid team [%d] for %s", team, type->symbolid);
        return nullptr;
    }
    if (!ValidId(id)) {
        TLOG(TLOG_ERROR, "Units_NewKeepPtr: invalid id %d for %s", id, type->symbolid);
        return nullptr;
    }
    // A record still in use is linked into lists and the map: making it
    // again would corrupt both.
    if (u->inuse) {
        TLOG(TLOG_ERROR, "Units_NewKeepPtr: %s (%d) is still in use", Sym(u), u->id);
        return nullptr;
    }
    memset(u, 0, sizeof *u);
    u->type = type;
    u->id = id == -1 ? Uid_Next() : Uid_Reserve(id);
    u->inuse = 1;
    u->gridcell = -1;
    u->claimlevel = -1;
    u->ai.cc_reserved_area = -1;
    u->seq = s_nextseq++;
    s_made.push_back(u);
    u->team = (int8_t)team;
    memset(u->apparentteam, team, sizeof u->apparentteam);
    u->movemode = type->defmovemode;
    u->maplevel = type->defmaplevel;
    u->hitpoints = type->maxhitpoints;
    UNITS_totalhitpoints += u->hitpoints;
    if (type->decoy == DM_ISDECOY) u->liferemaining = type->decoyinfo.n;
    const TEAM_UNITDEF& def = teamdata[team].unitdef;
    u->tactaiinfo.tenacity = def.tenacity;
    u->tactaiinfo.autonomy = def.autonomy;
    u->tactaiinfo.selfpreservation = def.selfpreservation;
    u->usertactaiinfo = u->tactaiinfo;
    u->localtrail = Trail_New();
    Units_ListInit(&u->hold);
    Path_Init(&u->move.path);
    BuildId_Clear(&u->associate);
    BuildId_Clear(&u->partof);
    LinkFront(u, TEAM_MOVELISTS);
    teamdata[team].unitcount++;
    s_live++;
    PREREQ_Add(type, type->prereq.id, team);
    if (type->abilities.canidle) Units_ResetIdleDelay(u);
    MakeParts(u);
    return u;
}

UNIT* Units_NewAtKeepPtr(UNIT* u, UNITTYPE* type, int team, int id, int x, int y)
{
    ASSERT(x > 0 && x < mapsizex);
    ASSERT(y > 0 && y < mapsizey);
    if (!Units_NewKeepPtr(u, type, team, id)) return nullptr;
    Units_SetUnitPosition(u, x, y);
    Units_AddToMap(u);
    return u;
}

UNIT* Units_NewAt(UNITTYPE* type, int team, int id, int x, int y)
{
    ASSERT(x > 0 && x < mapsizex);
    ASSERT(y > 0 && y < mapsizey);
    // Checked before a record is taken so that a refused unit costs nothing.
    if (!type || !ValidTeam(team)) {
        TLOG(TLOG_ERROR, "Units_NewAt: invalid %s [%d]", type ? "team" : "unit type", team);
        return nullptr;
    }
    if (!ValidId(id)) {
        TLOG(TLOG_ERROR, "Units_NewAt: invalid id %d for %s", id, type->symbolid);
        return nullptr;
    }
    UNIT* u = static_cast<UNIT*>(Pool_Alloc(&s_pool));
    return Units_NewAtKeepPtr(u, type, team, id, x, y);
}

void Units_Delete(UNIT* u)
{
    if (!u || !u->inuse) return;
    AI_UnitRemove(u);
    DeleteUnit(u);
    Pool_Free(&s_pool, u);
}

void Units_DeleteKeepPtr(UNIT* u)
{
    if (!u || !u->inuse) return;
    AI_UnitRemove(u);
    DeleteUnit(u);
}

// ------------------------------------------------------------------ the map

void Units_SetUnitPosition(UNIT* u, int x, int y)
{
    ASSERT(x<mapsizex);
    ASSERT(y<mapsizey);
    u->tilepos.x = x;
    u->tilepos.y = y;
    u->pixelpos.x = x * MAP_TILE_PIXELS;
    u->pixelpos.y = y * MAP_TILE_PIXELS;
    if (u->onmap && Mapgrid_CellIndexOfTile(x, y) != u->gridcell) {
        GridUnlink(u);
        GridLink(u);
    }
    Units_UpdateDisplayPos(u);
}

void Units_ChangeTile(UNIT* u, int x, int y)
{
    if (!u->onmap) {
        Units_SetUnitPosition(u, x, y);
        return;
    }
    Fog_UnsweepUnit(u);
    Units_UnclaimTile(u);
    Units_SetUnitPosition(u, x, y);
    Units_ClaimTile(u);
    Fog_SweepUnit(u);
}

void Units_AddToMap(UNIT* u)
{
    ASSERT(!u->onmap);
    if (u->movemode < MM_FLY || u->movemode >= MM_MODES) {
        TLOG(TLOG_ERROR, "Unknown move mode [%d]", u->movemode);
        return;
    }
    Unlink(u);
    LinkFront(u, u->movemode);
    u->onmap = 1;
    Units_ClaimTile(u);
    GridLink(u);
    Fog_SweepUnit(u);
}

void Units_RemoveFromMap(UNIT* u)
{
    ASSERT(u->onmap);
    Fog_UnsweepUnit(u);
    GridUnlink(u);
    Units_UnclaimTile(u);
    Unlink(u);
    u->onmap = 0;
    LinkFront(u, TEAM_MOVELISTS);
}

// The claimed element is kept with the unit, as its grid cell is: a position
// written directly must not leave a deleted unit on the element it claimed.
void Units_ClaimTile(UNIT* u)
{
    if (!ValidLevel(u->maplevel) || !Map_IsValidTile(u->tilepos.x, u->tilepos.y)) return;
    if (u->claimlevel >= 0 && (u->claimlevel != u->maplevel || u->claimpos.x != u->tilepos.x ||
                               u->claimpos.y != u->tilepos.y))
        Units_UnclaimTile(u);
    MAP_ELEMENT* e = MAP_ELEMENT_AT(u->tilepos.x, u->tilepos.y);
    UNIT* owner = e->unit[u->maplevel];
    if (owner && owner != u)
        TLOG(TLOG_ERROR, "%s (%d) claimed %d,%d but owned by %s (%d)", Sym(u), u->id,
             u->tilepos.x, u->tilepos.y, Sym(owner), owner->id);
    e->unit[u->maplevel] = u;
    u->claimpos = u->tilepos;
    u->claimlevel = u->maplevel;
}

void Units_UnclaimTile(UNIT* u)
{
    const int level = u->claimlevel;
    if (!ValidLevel(level) || !Map_IsValidTile(u->claimpos.x, u->claimpos.y)) return;
    u->claimlevel = -1;
    MAP_ELEMENT* e = MAP_ELEMENT_AT(u->claimpos.x, u->claimpos.y);
    UNIT* owner = e->unit[level];
    if (owner == u) {
        e->unit[level] = nullptr;
    } else if (owner) {
        TLOG(TLOG_ERROR, "%s (%d) unclaimed %d,%d but owned by %s (%d)", Sym(u), u->id,
             u->claimpos.x, u->claimpos.y, Sym(owner), owner->id);
    }
}

void Units_ResetIdleDelay(UNIT* u)
{
    int lo = u->type->idleanimationinfo[0];
    int hi = u->type->idleanimationinfo[1];
    if (hi < lo) {
        int t = lo;
        lo = hi;
        hi = t;
    }
    u->idledelay = lo + Rand_Next(hi - lo + 1);
}

// Units are drawn by their parts. The shadow moves first: at equal depth the
// parts moved after it are drawn over it.
void Units_UpdateDisplayPos(UNIT* u)
{
    if (PART* base = u->basepart; base && u->shadowdisplay) {
        SortDisp_SetPosition(u->shadowdisplay, u->pixelpos.x, u->pixelpos.y);
        SortDisp_SetFrame(u->shadowdisplay, Parts_GetFrame(base));
        SortDisp_SetDirection(u->shadowdisplay, (base->angle >> 16) & 255);
    }
    for (PART* p = u->basepart; p; p = p->partup) Parts_UpdatePosition(p);
}

void Units_ShowDisplay(UNIT* u)
{
    if (u->basepart) Parts_Show(u->basepart);
    SortDisp_ShowChain(u->shadowdisplay);
}

void Units_HideDisplay(UNIT* u)
{
    if (u->basepart) Parts_Hide(u->basepart);
    SortDisp_HideChain(u->shadowdisplay);
}

void Units_MoveToTeamList(UNIT* u, int team)
{
    ASSERT(!u->onmap);
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    if (team == u->team) return;
    Unlink(u);
    PREREQ_Remove(u->type, u->type->prereq.id, u->team);
    teamdata[u->team].unitcount--;
    u->team = (int8_t)team;
    memset(u->apparentteam, team, sizeof u->apparentteam);
    LinkFront(u, TEAM_MOVELISTS);
    teamdata[team].unitcount++;
    PREREQ_Add(u->type, u->type->prereq.id, team);
}

void Units_UpdateRelationRelatedInformationForTeam(int team)
{
    ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    for (int list = 0; list < TEAM_MOVELISTS; list++) {
        for (UNIT* u = teamdata[team].unitlist[list]; u; u = u->next) {
            Fog_UnsweepUnit(u);
            Fog_SweepUnit(u);
            Units_UpdateRenderType(u);
        }
    }
}

// ------------------------------------------------------------------ phase effects

void PhaseEff_Add(const UNIT* u)
{
    PHASEEFF* p = static_cast<PHASEEFF*>(Debug_Malloc(sizeof(PHASEEFF)));
    p->x = u->tilepos.x * MAP_TILE_PIXELS;
    p->y = u->tilepos.y * MAP_TILE_PIXELS;
    p->unitid = u->id;
    p->team = u->team;
    p->nonhuman = !(u->type && u->type->abilities.ishuman);
    p->next = s_phase;
    s_phase = p;
}

void PhaseEff_Remove(int unitid)
{
    // Every node of the unit goes: a unit added twice must not leave a node
    // behind that names a deleted unit.
    PHASEEFF** link = &s_phase;
    while (*link) {
        PHASEEFF* p = *link;
        if (p->unitid == unitid) {
            *link = p->next;
            Debug_Free(&p);
        } else {
            link = &p->next;
        }
    }
}

PHASEEFF* PhaseEff_First(void) { return s_phase; }

void PhaseEff_FreeAll(void)
{
    while (s_phase) {
        PHASEEFF* next = s_phase->next;
        Debug_Free(&s_phase);
        s_phase = next;
    }
}

// ------------------------------------------------------------------ saved games

UNIT* Units_AllocRecord(void) { return static_cast<UNIT*>(Pool_Alloc(&s_pool)); }

void Units_FreeRecord(UNIT* u)
{
    memset(u, 0, sizeof *u);
    u->id = -1;
    Pool_Free(&s_pool, u);
}

static const char* CheckParts(const UNIT* u)
{
    const PART* below = nullptr;
    for (const PART* p = u->basepart; p; below = p, p = p->partup) {
        if (p->unit != u || p->partdown != below || !p->type) return "a part of a unit's chain stands on another";
        if (p->id == -1) return Save_FieldOutOfRange(p, "id");
        // A firing part's weapon is one of its type's.
        for (const PART_STATEREC* st : {&p->state, &p->next})
            if (st->weapon >= PARTS_MAXWEAPONS ||
                (st->state == PS_FIRING && (st->weapon < 0 || st->weapon >= p->type->nrweapons)))
                return "a part firing a weapon its type hasn't";
    }
    return nullptr;
}

const char* Units_CheckLoaded(void)
{
    std::vector<uint32_t> seqs;
    std::vector<const PATHNODE*> pathnodes;
    int onmap = 0;
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        for (const TRAIL& trail : teamdata[t].gtrails)
            if (const char* why = Trail_CheckLoaded(&trail)) return why;
        for (int list = 0; list <= TEAM_MOVELISTS; list++) {
            const UNIT* prev = nullptr;
            UNIT* head = list == TEAM_MOVELISTS ? teamdata[t].offmaplist : teamdata[t].unitlist[list];
            for (const UNIT* u = head; u; prev = u, u = u->next) {
                if (u->prev != prev) return "a unit's prev link";
                if (!u->inuse || u->id < 1 || u->team != t || !u->type) return "a unit on another team's list";
                if ((list == TEAM_MOVELISTS) == (u->onmap != 0) || (u->onmap && u->movemode != list))
                    return "a unit on the list of another move mode";
                if (u->onmap) {
                    if (u->gridcell != Mapgrid_CellIndexOfTile(u->tilepos.x, u->tilepos.y) ||
                        Mapgrid_CountInCell(MGL_UNIT, u, u->gridcell) != 1)
                        return "a unit's grid cell";
                    onmap++;
                } else if (u->gridcell != -1) {
                    return "a unit off the map in a grid cell";
                }
                // A search target off the map would stop the next search on its assertion.
                if (u->state == US_WAITFORPATH && !Map_IsValidTile(u->move.srchtilepos.x, u->move.srchtilepos.y))
                    return "a unit waiting for a path off the map";
                // A change of type scales the hit points by the old type's most:
                // more than that would overflow the scaling.
                if (u->hitpoints > u->type->maxhitpoints) return Save_FieldOutOfRange(u, "hitpoints");
                // A walking unit searches anew, and steps round, towards its
                // goal: a tile of the map, or none yet (0, 0) for a unit that
                // has only been asked aside since it was made.
                if (u->onmap && (u->state == US_MOVING || u->state == US_WAITFOROBSTACLE) &&
                    !Map_IsValidTile(u->move.srchtilepos.x, u->move.srchtilepos.y) &&
                    (u->move.srchtilepos.x != 0 || u->move.srchtilepos.y != 0))
                    return "a walking unit's goal off the map";
                if (const char* why = Path_CheckLoaded(&u->move.path, &pathnodes)) return why;
                if (const char* why = CheckParts(u)) return why;
                if (u->localtrail)
                    if (const char* why = Trail_CheckLoaded(u->localtrail)) return why;
                seqs.push_back(u->seq);
            }
        }
    }
    std::sort(seqs.begin(), seqs.end());
    if (std::adjacent_find(seqs.begin(), seqs.end()) != seqs.end() || (!seqs.empty() && seqs[0] == 0))
        return "two units with one making sequence number";
    if (Mapgrid_ListTotal(MGL_UNIT) != onmap) return "a grid cell holding a unit off its list";
    std::sort(pathnodes.begin(), pathnodes.end());
    if (std::adjacent_find(pathnodes.begin(), pathnodes.end()) != pathnodes.end()) return "a path node in two paths";
    return nullptr;
}

void Units_AfterLoad(void)
{
    s_made.clear();
    for (int t = 0; t < TEAM_MAXTEAMS; t++)
        for (int list = 0; list <= TEAM_MOVELISTS; list++)
            for (UNIT* u = list == TEAM_MOVELISTS ? teamdata[t].offmaplist : teamdata[t].unitlist[list]; u; u = u->next) {
                // No file carries the computer players' record: a loaded
                // unit's is a new unit's until they take it up again.
                u->ai.cc_reserved_area = -1;
                s_made.push_back(u);
            }
    std::sort(s_made.begin(), s_made.end(), [](const UNIT* a, const UNIT* b) { return a->seq < b->seq; });
    s_live = (int)s_made.size();
}
