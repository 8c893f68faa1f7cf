#include "rules/scenario.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ai/ai.h"
#include "core/cfile.h"
#include "core/config.h"
#include "core/error.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tfparse.h"
#include "core/tlog.h"
#include "core/uid.h"
#include "core/utils.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "map/pathsrch.h"
#include "map/region.h"
#include "map/terrain.h"
#include "map/tile.h"
#include "platform/palette.h"
#include "platform/sortdisp.h"
#include "rules/endcond.h"
#include "rules/textfiles.h"
#include "rules/tfendcnd.h"
#include "rules/tfgen.h"
#include "rules/tfovl.h"
#include "rules/tfunit.h"
#include "units/building.h"
#include "units/damage.h"
#include "units/expltype.h"
#include "units/iterate.h"
#include "units/mpteams.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitsorder.h"
#include "units/unitstate.h"
#include "units/weapon.h"
#include "platform/animtype.h"
#include "platform/effects.h"

namespace {

enum { SCENARIO_VERSION = 2, DEFAULT_TECHLEVEL = 10 };

int s_defaultTeam = 0;
// The file the last check or load of a scenario didn't find: a page that
// refuses the start names it to the player, who can put it back.
char s_missing[GAME_PATH];

void Missing(const char* path)
{
    const char* name = path;
    for (const char* c = path; *c; c++)
        if (*c == '/' || *c == '\\') name = c + 1;
    Str_CopySafe(s_missing, name, sizeof s_missing);
}

// Each unit the file puts, with the line that put it: a unit standing where
// its type can't is only known once the buildings after it are read.
struct PUTLINE {
    UNIT* unit;
    int id;
    int line;
};
std::vector<PUTLINE> s_puts;

// While a file is read: a fatal error without a line of its own (a version,
// a terrain, a second end-condition file, a missing special force) names the
// line being read when a step tries the load.
class READING {
public:
    explicit READING(const TF_PARSER* p) : previous_(Error_SetReading(p->filename, &p->line)) {}
    ~READING() { Error_RestoreReading(previous_); }
    READING(const READING&) = delete;
    READING& operator=(const READING&) = delete;

private:
    ERROR_READING previous_;
};

// ------------------------------------------------------------------ argument lists

// "(" then one value per letter of form ('i' an integer, 's' a string into a
// TF_FIELD buffer) then ")". A bracket where a value belongs is the
// tokenizer's "Expected"; a text that ends inside is a syntax error.
void Args(TF_PARSER* p, const char* form, ...)
{
    if (!TF_ExpectOpenParen(p)) TF_Error(p, "Text file syntax error");
    va_list ap;
    va_start(ap, form);
    for (const char* f = form; *f; f++) {
        char token[TF_FIELD];
        if (!TF_GetValue(p, token, sizeof token)) {
            va_end(ap);
            TF_Error(p, "Text file syntax error");
        }
        if (*f == 's') {
            Str_CopySafe(va_arg(ap, char*), token, TF_FIELD);
        } else {
            long v = strtol(token, nullptr, 10);
            *va_arg(ap, int*) = v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : (int)v;
        }
    }
    va_end(ap);
    if (!TF_ExpectCloseParen(p)) TF_Error(p, "Text file syntax error");
}

// ------------------------------------------------------------------ team blocks

int TeamSide(TF_PARSER* p, int team)
{
    int side;
    Args(p, "i", &side);
    // A side chosen by the multiplayer set-up wins; the file only marks that
    // it had one of its own.
    if (teamdata[team].side != TS_DEFAULT) {
        g_MpTeamsPresetSides = 1;
        return 1;
    }
    // Stored directly: the team module's setter refuses the civilian side 4.
    teamdata[team].side = side < 0 ? 0 : side > TS_MAX ? TS_MAX : side;
    return 1;
}

int TeamCredit(TF_PARSER* p, int team)
{
    int credits;
    Args(p, "i", &credits);
    if (!g_OptCreditsSet) Team_SetCredits(team, credits);
    return 1;
}

int TeamGroup(TF_PARSER* p, int team)
{
    int group;
    Args(p, "i", &group);
    if (group < 0 || group >= TEAM_MAXTEAMS) TF_Error(p, "Group number out of range [%d]", group);
    Team_SetGroup(team, group);
    return 1;
}

int TeamFsm(TF_PARSER* p, int team)
{
    char names[AI_MAX_FSMS][TF_FIELD];
    if (TF_GetStringList(p, names, AI_MAX_FSMS) != AI_MAX_FSMS) TF_Error(p, "Text file syntax error");
    for (int i = 0; i < AI_MAX_FSMS; i++) AI_SetFsmFilename(team, i, names[i]);
    return 1;
}

int TeamEnd(TF_PARSER* p, int team)
{
    char name[TF_FIELD];
    Args(p, "s", name);
    if (Endcond_GetEndCondFile(team))
        ERR_FATAL(ERRC_FATAL, "Cannot have two end condition files per team in scenario file.");
    Endcond_SetEndCondFile(team, name);
    return 1;
}

int TeamAlliance(TF_PARSER* p, int team)
{
    int r[8];
    Args(p, "iiiiiiii", &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6], &r[7]);
    if (g_NetworkGame) return 1;
    static const int relation[3] = {TR_ENEMY, TR_NEUTRAL, TR_ALLY};
    for (int i = 0; i < 8; i++) {
        if (i == team) continue;
        if (r[i] < 0 || r[i] > 2) TF_Error(p, "Invalid alliance state [%d] 0=enemy, 1=neutral, 2=ally", r[i]);
        Team_SetRelation(team, i, relation[r[i]]);
    }
    return 1;
}

int TeamCpuLoad(TF_PARSER* p, int team)
{
    int load;
    Args(p, "i", &load);
    teamdata[team].cpu.maxload = load < 1 ? 0 : load;
    return 1;
}

int TeamStart(TF_PARSER* p, int team)
{
    int x, y;
    Args(p, "ii", &x, &y);
    // (-1, -1) is no start location; any other lies on the map (read before
    // the teams), or the team's start units would have nowhere to stand.
    const long w = (long)mapsizex * MAP_TILE_PIXELS, h = (long)mapsizey * MAP_TILE_PIXELS;
    if ((x != -1 || y != -1) && (x < 0 || y < 0 || x >= w || y >= h))
        TF_Error(p, "Start location (%d %d) not on the map of %d x %d tiles", x, y, mapsizex, mapsizey);
    teamdata[team].startpos.x = x;
    teamdata[team].startpos.y = y;
    if (team == g_LocalTeam) Map_SetViewPixelPosRedraw((x - 223) / 24 * 24, (y - 223) / 24 * 24);
    return 1;
}

struct TEAMCOMMAND {
    const char* keyword;
    int (*read)(TF_PARSER* p, int team);
};

const TEAMCOMMAND s_teamCommands[] = {
    {"SetTeamSide", TeamSide},       {"SetCredit", TeamCredit},   {"SetGroup", TeamGroup},
    {"SetFSM", TeamFsm},             {"SetEnd", TeamEnd},         {"SetAlliance", TeamAlliance},
    {"SetCPULoad", TeamCpuLoad},     {"SetStartLocation", TeamStart},
};

// ------------------------------------------------------------------ map objects

// The line of the command being read, for the logged errors.
int Line(const TF_PARSER* p) { return p->line; }

int ObjDefaultTeam(TF_PARSER* p)
{
    int team;
    Args(p, "i", &team);
    if (team < 0 || team >= TEAM_MAXTEAMS) TF_Error(p, "Team number of of range");
    s_defaultTeam = team;
    return 1;
}

UNIT* FindUnit(int id)
{
    if (UNIT* u = Units_IdToUnitPtr(id, -1)) return u;
    return Units_IdToUnitPtrOffMap(id, -1);
}

OVERLAY* FindThing(int id)
{
    for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay)
        if (o->id == id) return o;
    return nullptr;
}

// A team's own units and buildings of the scenario are not made when the
// launch gives every team its start units, nor, in a launch that set the
// teams up (a network game), for a team that no node plays: left standing,
// such a team would keep the last team standing from ever winning.
static bool NotMadeFor(int team)
{
    if (team >= TEAM_NEUTRAL) return false;
    return g_MpTeamsStartUnits || (g_OptTeamSetupGiven && teamdata[team].type == TT_DISABLED);
}

// The largest id a file may give a thing. Ids made in play count on from
// the largest given, so an id at the top of the word left none to make and
// the game stopped on "Unique ids exhausted" at its first shot; below this
// one, more than a billion are left.
enum { SCENARIO_MAXID = 0x3FFFFFFF };

void CheckId(TF_PARSER* p, const char* what, long id)
{
    if (id > SCENARIO_MAXID) TF_Error(p, "%s id %ld past the largest, %d", what, id, (int)SCENARIO_MAXID);
}

// A damaged thing's hit points: percent of the most, at least 1 and at most
// the most, worked out wide (a file's percent times the most overflowed).
int DamagedHitpoints(int most, int percent)
{
    const long long hp = (long long)most * percent / 100;
    return (int)std::clamp<long long>(hp, 1, std::max(most, 1));
}

void PutUnit(TF_PARSER* p, int damaged)
{
    int id, x, y, percent = 100;
    char name[TF_FIELD];
    if (damaged)
        Args(p, "isiii", &id, name, &x, &y, &percent);
    else
        Args(p, "isii", &id, name, &x, &y);
    UNITTYPE* type = Units_SymToTypePtr(name);
    if (!type) TF_Error(p, "[%s] accessed but not defined", name);
    if (NotMadeFor(s_defaultTeam)) return;
    // The position is checked before the map is looked at.
    if (x < 1 || y < 1 || x >= mapsizex || y >= mapsizey)
        TF_Error(p, "Unit %d at (%d, %d) - not valid tile location", id, x, y);
    if (Units_UnitAtMapLevel(type->defmaplevel, x, y))
        TF_Error(p, "%s atop another unit at %d %d", name, x, y);
    CheckId(p, "Unit", id);
    if (id > 0 && FindUnit(id)) TF_Error(p, "Unit id %d used twice", id);
    UNIT* u = Units_NewAt(type, s_defaultTeam, id, x, y);
    if (!u) ERR_FATAL(ERRC_FATAL, "Unable to create unit");
    s_puts.push_back(PUTLINE{u, u->id, Line(p)});
    if (damaged) {
        const int hp = DamagedHitpoints(type->maxhitpoints, percent);
        if (hp < u->hitpoints) Units_SetHitpoints(u, hp);
    }
}

int ObjPutUnit(TF_PARSER* p)
{
    PutUnit(p, 0);
    return 1;
}

int ObjPutDamagedUnit(TF_PARSER* p)
{
    PutUnit(p, 1);
    return 1;
}

int ObjTactAI(TF_PARSER* p)
{
    int id, ten, self, aut;
    Args(p, "iiii", &id, &ten, &self, &aut);
    UNIT* u = Units_IdToUnitPtr(id, s_defaultTeam);
    if (!u) {
        TLOG(TLOG_ERROR, "line %d: SetTactAI has invalid unit id [%d]", Line(p), id);
        return 1;
    }
    if (ten < 0 || ten > 2)
        TLOG(TLOG_ERROR, "line %d: tenacity is out of range [%d]", Line(p), ten);
    else
        u->tactaiinfo.tenacity = u->usertactaiinfo.tenacity = ten;
    if (self < 0 || self > 2)
        TLOG(TLOG_ERROR, "line %d: self preservation is out of range [%d]", Line(p), self);
    else
        u->tactaiinfo.selfpreservation = u->usertactaiinfo.selfpreservation = self;
    if (aut < 0 || aut > 2)
        TLOG(TLOG_ERROR, "line %d: autonomy is out of range [%d]", Line(p), aut);
    else
        u->tactaiinfo.autonomy = u->usertactaiinfo.autonomy = aut;
    return 1;
}

int ObjAutoMove(TF_PARSER* p)
{
    int id, level;
    Args(p, "ii", &id, &level);
    UNIT* u = Units_IdToUnitPtr(id, s_defaultTeam);
    if (!u)
        TLOG(TLOG_ERROR, "line %d: SetSOrderAutomove has invalid unit id [%d]", Line(p), id);
    else if (level < 0 || level > 2)
        TLOG(TLOG_ERROR, "line %d: automove order is out of range [%d]", Line(p), level);
    else
        Units_SOrderAutomove(u, level);
    return 1;
}

const char* const TRAIL_MODES[] = {"Reverse", "Loop", "Stop"};   // TRAIL_MODE
const char* const TRAIL_DIRECTIONS[] = {"Forward", "Reversed"};  // trail-follow state
const char* const WAYPOINT_TYPES[] = {"Move", "Fire"};           // WAYPOINT_TYPE

int Word(const char* word, const char* const* words, int n)
{
    for (int i = 0; i < n; i++)
        if (strcasecmp(word, words[i]) == 0) return i;
    return -1;
}

int ObjTrail(TF_PARSER* p)
{
    int id;
    char type[TF_FIELD], mode[TF_FIELD], direction[TF_FIELD];
    Args(p, "isss", &id, type, mode, direction);
    UNIT* u = Units_IdToUnitPtr(id, s_defaultTeam);
    const int m = Word(mode, TRAIL_MODES, 3);
    if (!u)
        TLOG(TLOG_ERROR, "line %d: SetSOrderTrail has invalid unit id [%d]", Line(p), id);
    else if (Word(direction, TRAIL_DIRECTIONS, 2) < 0)
        TLOG(TLOG_ERROR, "line %d: SetSOrderTrail has unknown trail direction [%s]", Line(p), direction);
    else if (m < 0)
        TLOG(TLOG_ERROR, "line %d: SetSOrderTrail has unknown trail mode [%s]", Line(p), mode);
    else if (strcasecmp(type, "Local") != 0)
        TLOG(TLOG_ERROR, "line %d: SetSOrderTrail has unknown trail type [%s]", Line(p), type);
    else
        Units_SOrderFollowLocalTrail(u, m); // from the first waypoint, forward, whatever the word
    return 1;
}

int ObjWaypoint(TF_PARSER* p)
{
    int id, x, y, value;
    char type[TF_FIELD];
    Args(p, "isiii", &id, type, &x, &y, &value);
    UNIT* u = Units_IdToUnitPtr(id, s_defaultTeam);
    const int t = Word(type, WAYPOINT_TYPES, 2);
    if (!u)
        TLOG(TLOG_ERROR, "line %d: AddWaypoint has invalid unit id [%d]", Line(p), id);
    else if (t < 0)
        TLOG(TLOG_ERROR, "line %d: AddWaypoint has unknown waypoint type [%s]", Line(p), type);
    else if (x < 1 || y < 1 || x > mapsizex - 1 || y > mapsizey - 1)
        TLOG(TLOG_ERROR, "line %d: AddWaypoint has invalid x/y position [%d,%d]", Line(p), x, y);
    else
        Trail_AddWaypoint(u->localtrail, t, x, y, value);
    return 1;
}

void AddBuilding(TF_PARSER* p, int damaged)
{
    int id, x, y, percent = 100;
    char name[TF_FIELD], flag[TF_FIELD];
    if (damaged)
        Args(p, "isiisi", &id, name, &x, &y, flag, &percent);
    else
        Args(p, "isiis", &id, name, &x, &y, flag);
    const int index = Textfile_FindBuildingType(name);
    if (index < 0) {
        TLOG(TLOG_ERROR, "Undefined building type [%s] in scenario file", name);
        return;
    }
    if (NotMadeFor(s_defaultTeam)) return;
    BUILDINGTYPE* type = &g_BuildingTypes[index];
    // The whole footprint on the map's valid tiles, before the map is touched.
    if (x < 1 || y < 1 || (long)x + type->width > mapsizex || (long)y + type->height > mapsizey)
        TF_Error(p, "Invalid building location (%d %d)", x, y);
    CheckId(p, "Building", id);
    if (id > 0 && Build_FindById(id)) TF_Error(p, "Building id %d used twice", id);
    if (id > 0) Uid_Reserve(id);
    BUILDING* b = Build_New(type, s_defaultTeam, id, x, y);
    if (!b) TF_Error(p, "Unable to create building (ID=%d)", id);
    b->critical = (flag[0] == 'c' || flag[0] == 'C') ? 1 : 0;
    if (damaged) {
        Build_SetHitpoints(b, DamagedHitpoints(type->maxhitpoints, percent));
    }
}

int ObjBuilding(TF_PARSER* p)
{
    AddBuilding(p, 0);
    return 1;
}

int ObjDamagedBuilding(TF_PARSER* p)
{
    AddBuilding(p, 1);
    return 1;
}

int ObjThing(TF_PARSER* p)
{
    int id, x, y;
    char name[TF_FIELD];
    Args(p, "isii", &id, name, &x, &y);
    const int index = Textfile_FindOvlType(name);
    const OVERLAYTYPE* type = index >= 0 ? Ovl_GetType(index) : nullptr;
    if (!type) {
        TLOG(TLOG_ERROR, "Undefined thing type [%s] in scenario file", name);
        return 1;
    }
    if (x < 0 || y < 0 || x >= mapsizex || y >= mapsizey) TF_Error(p, "Invalid thing location (%d %d)", x, y);
    CheckId(p, "Thing", id);
    if (id > 0 && FindThing(id)) TF_Error(p, "Thing id %d used twice", id);
    if (id > 0) Uid_Reserve(id);
    const int layer = type->level < 0 ? 0 : type->level >= SORTDISP_LAYERS ? SORTDISP_LAYERS - 1 : type->level;
    OVERLAY* o = Ovl_New(index, id, -1, layer, type->sprite, type->sx, type->sy, x, y);
    if (!o) TF_Error(p, "Unable to create thing (ID=%d)", id);
    // The effects grid is centred on the tile: half the size in tiles up and left.
    Ovl_GetEffects(index, x + (-type->sx / 48), y + (-type->sy / 48));
    if (type->seedwater) Map_SetResourceLevel(0, type->seedwater, type->seedwaterradius, x, y);
    if (type->seedmineral) Map_SetResourceLevel(1, type->seedmineral, type->seedmineralradius, x, y);
    return 1;
}

// A region's pixels on the map: a rectangle's corners up to the map's far
// edges, a circle's centre on the map and its radius no more than the map
// is wide and high. Off the map a region holds nothing, and its bounds
// overflow what the conditions compute with them.
bool RegionOnMap(int shape, const long* v)
{
    const long w = (long)mapsizex * MAP_TILE_PIXELS, h = (long)mapsizey * MAP_TILE_PIXELS;
    if (shape == RT_CIRCLE) return v[0] >= 0 && v[0] < w && v[1] >= 0 && v[1] < h && v[2] >= 0 && v[2] <= w + h;
    return v[0] >= 0 && v[0] <= w && v[2] >= 0 && v[2] <= w && v[1] >= 0 && v[1] <= h && v[3] >= 0 && v[3] <= h;
}

int ObjRegion(TF_PARSER* p)
{
    int id;
    char shape[TF_FIELD];
    if (!TF_ExpectOpenParen(p)) TF_Error(p, "Text file syntax error");
    char token[TF_FIELD];
    if (!TF_GetValue(p, token, sizeof token) || !TF_GetValue(p, shape, sizeof shape))
        TF_Error(p, "Text file syntax error");
    id = atoi(token);
    REGION r{};
    r.id = (uint32_t)id;
    int n;
    if (shape[0] == 'c') {
        r.flags = RT_CIRCLE;
        n = 3;
    } else if (shape[0] == 'r') {
        r.flags = RT_RECTANGLE;
        n = 4;
    } else {
        // Without a shape the coordinates can't be read: refused.
        TF_Error(p, "Unknown string [%s]", shape);
    }
    long value[4] = {};
    for (int i = 0; i < n; i++) {
        if (!TF_GetValue(p, token, sizeof token)) TF_Error(p, "Text file syntax error");
        value[i] = strtol(token, nullptr, 10);
    }
    if (!TF_ExpectCloseParen(p)) TF_Error(p, "Text file syntax error");
    if (!RegionOnMap((int)r.flags, value))
        TF_Error(p, "Region %d not on the map of %d x %d tiles", id, mapsizex, mapsizey);
    int32_t* v[4] = {&r.x1, &r.y1, &r.x2, &r.y2};
    for (int i = 0; i < n; i++) *v[i] = (int32_t)value[i];
    CheckId(p, "Region", id);
    if (Region_FindById(r.id)) TF_Error(p, "Region id %d used twice", id);
    Uid_Reserve(id);
    Region_Add(&r);
    return 1;
}

int ObjSpecialForces(TF_PARSER* p)
{
    int id, team;
    char token[TF_FIELD];
    if (!TF_GetToken(p, token, sizeof token) || strcmp(token, "(") != 0 ||
        !TF_GetToken(p, token, sizeof token))
        TF_Error(p, "Unable to parse DefineSpecialForces");
    id = atoi(token);
    if (!TF_GetToken(p, token, sizeof token)) TF_Error(p, "Unable to parse DefineSpecialForces");
    team = atoi(token);
    if (!TF_GetToken(p, token, sizeof token) || strcmp(token, ")") != 0)
        TF_Error(p, "Unable to parse DefineSpecialForces");
    CheckId(p, "Special force", id);
    if (id > 0 && AI_FindSpecialForce((uint32_t)id)) TF_Error(p, "Special force id %d used twice", id);
    SPECIAL_FORCE* force =
        team >= 0 && team < TEAM_MAXTEAMS && id != 0 ? AI_NewSpecialForce(team, (uint32_t)id) : nullptr;
    if (!force || !TF_GetToken(p, token, sizeof token) || strcmp(token, "{") != 0)
        TF_Error(p, "Unable to create special forces (ID=%d)", id);
    for (;;) {
        if (!TF_GetToken(p, token, sizeof token)) TF_ReportExpected(p, "}", "EOF");
        if (strcmp(token, "}") == 0) break;
        AI_AddToSpecialForce(force, atoi(token));
    }
    return 1;
}

struct OBJCOMMAND {
    const char* keyword;
    int (*read)(TF_PARSER* p);
};

const OBJCOMMAND s_objCommands[] = {
    {"SetDefaultTeam", ObjDefaultTeam},
    {"PutUnitAt", ObjPutUnit},
    {"PutDamagedUnitAt", ObjPutDamagedUnit},
    {"SetTactAI", ObjTactAI},
    {"SetSOrderAutoMove", ObjAutoMove},
    {"SetSOrderTrail", ObjTrail},
    {"AddWaypoint", ObjWaypoint},
    {"AddBuildingAt", ObjBuilding},
    {"AddDamagedBuildingAt", ObjDamagedBuilding},
    {"AddThingAt", ObjThing},
    {"DefineRegion", ObjRegion},
    {"DefineSpecialForces", ObjSpecialForces},
};

// ------------------------------------------------------------------ the load's steps

// Where a unit of the file may stand: a valid tile free at its level that
// neither the terrain nor a building's footprint closes to its type (the
// editor's buildings leave the terrain as it was, so the footprint is
// asked of the building).
bool CanStandAt(const UNIT* u, int x, int y)
{
    if (!Map_IsValidTile(x, y)) return false;
    if (Units_UnitAtMapLevel(u->maplevel, x, y)) return false;
    return !Units_IsImpassible(u->type, x, y) && !Build_BarsUnitType(u->type, x, y);
}

// The nearest tile (by straight distance, ties to the lower row, then the
// lower column) where u can stand; false when there is none on the map.
bool NearestStand(const UNIT* u, int* outx, int* outy)
{
    const int x0 = u->tilepos.x, y0 = u->tilepos.y;
    const int rings = std::max(mapsizex, mapsizey);
    long best = -1;
    for (int r = 1; r <= rings; r++) {
        // A tile of ring r lies at least r away: none beats a find nearer.
        if (best >= 0 && (long)r * r > best) break;
        for (int dy = -r; dy <= r; dy++)
            for (int dx = -r; dx <= r; dx += (dy == -r || dy == r) ? 1 : 2 * r) {
                const int x = x0 + dx, y = y0 + dy;
                const long d = (long)dx * dx + (long)dy * dy;
                if (best >= 0 && (d > best || (d == best && (y > *outy || (y == *outy && x > *outx))))) continue;
                if (!CanStandAt(u, x, y)) continue;
                best = d, *outx = x, *outy = y;
            }
    }
    return best >= 0;
}

// Once every object is read: a unit the file put inside a building (an
// editor writes units before buildings) or on ground its type can't cross
// moves to the nearest tile it can stand on, in file order. Refusing the
// file would refuse scenarios that load today; a unit made by a building
// (its kept or carried units) stands where the building keeps it.
void StandUnitsWhereTheyCan(const char* file)
{
    for (const PUTLINE& put : s_puts) {
        UNIT* u = FindUnit(put.id);
        if (u != put.unit || !u->onmap) continue;
        if (BuildId_Valid(&u->associate) || BuildId_Valid(&u->partof)) continue;
        const int x = u->tilepos.x, y = u->tilepos.y;
        if (!Units_IsImpassible(u->type, x, y) && !Build_BarsUnitType(u->type, x, y)) continue;
        int nx, ny;
        if (!NearestStand(u, &nx, &ny)) {
            TLOG(TLOG_WARNING, "%s line %d: %s %d stands where it can't at %d %d, and no tile is free for it",
                 file, put.line, u->type->symbolid, u->id, x, y);
            continue;
        }
        Units_ChangeTile(u, nx, ny);
        TLOG(TLOG_WARNING, "%s line %d: %s %d stands where it can't at %d %d, moved to %d %d", file, put.line,
             u->type->symbolid, u->id, x, y, nx, ny);
    }
    s_puts.clear();
}

void Progress(SCENARIO_PROGRESS progress, const char* text)
{
    if (progress) progress(text);
}

void ReadVersion(TF_PARSER* p)
{
    char token[TF_FIELD];
    int version = 0;
    if (!TF_PeekToken(p, token, sizeof token) || strcmp(token, "SetVersion") != 0 ||
        !TF_GetToken(p, token, sizeof token) || !TF_GetParenInt(p, &version) ||
        version != SCENARIO_VERSION)
        ERR_FATAL(ERRC_FATAL, "Unsupported scenario version [%s]", p->filename);
}

void LoadTerrain(const char* name)
{
    Game_SetTerrainName(name);
    Terrain_SetLight(1, 1, 0, 180, 0);
    if (!Fs_Exists(g_TerrainPalPath) || !Palstuff_LoadInfo(g_TerrainPalPath))
        ERR_FATAL(ERRC_OPENFILE, "terrain palette [%s]", name);
    if (!Fs_Exists(g_TerrainTilPath) || !Tile_LoadInfo(g_TerrainTilPath))
        ERR_FATAL(ERRC_OPENFILE, "terrain lib [%s]", name);
}

void LoadTerrainEffects(void)
{
    const char* file = g_Config.deffiles[CFG_TRNEFF];
    // The terrain's tables replace those of a terrain loaded before.
    Effects_FreeTables();
    char path[GAME_PATH];
    if (Utils_MakePath(path, g_TerrainDir, "", "", file, "") && Tfovl_LoadTerrainEffects(path) == 0) return;
    Utils_MakePath(path, g_DefTxtDir, "", "", file, "");
    if (Tfovl_LoadTerrainEffects(path) != 0)
        ERR_FATAL(ERRC_OPENFILE, "terrain effects [%s]", Fs_Resolve(path).c_str());
}

// Every rule type of a game loaded before goes first: the rule files define
// them afresh, and the units and buildings of that game are gone.
void FreeRuleTypes(void)
{
    Build_FreeTypes();
    Tfunit_Reset();
    Ovl_FreeTypes();
    Effects_FreeOvlEffects();
    Weapon_FreeAll();
    Damage_FreeAll();
    ExplType_FreeAll();
    AnimType_FreeAll();
    Tfgen_Reset();
}

void ReadTechLevel(TF_PARSER* p)
{
    char token[TF_FIELD];
    if (TF_PeekToken(p, token, sizeof token) && strcmp(token, "SetTechLevel") == 0) {
        TF_GetToken(p, token, sizeof token);
        int level;
        if (!TF_GetParenInt(p, &level)) TF_Error(p, "Text file syntax error");
        g_TechLevel = level;
        return;
    }
    g_TechLevel = DEFAULT_TECHLEVEL;
    TLOG(TLOG_WARNING, "TechLevel is not specified, assuming default");
}

// The map grid, the sight counts and the path search's tables (with the
// connected regions) of the map just loaded: the objects that follow are
// linked into them.
void MakeMapTables(void)
{
    if (Mapgrid_IsOpen()) Mapgrid_Close();
    Mapgrid_Init();
    Fog_Init();
    Pathsrch_Init();
}

// One condition file of a team: opened, its first keyword checked, read
// into the team's tree of that kind.
void LoadTreeFile(const char* path, const char* header, int kind, int team, const char* openmsg)
{
    std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> parser(TF_Open(path), TF_Close);
    if (!parser) ERR_FATAL(ERRC_OPENFILE, "%s [%s]", openmsg, Fs_Resolve(path).c_str());
    READING reading(parser.get());
    s_defaultTeam = team;
    char token[TF_FIELD];
    if (!TF_GetToken(parser.get(), token, sizeof token) || strcmp(token, header) != 0)
        ERR_FATAL(ERRC_FATAL, "Not an aicondtree fsm [%s]", parser->filename);
    Tfendcnd_Load(parser.get(), kind, team);
}

void LoadEndConditions(void)
{
    for (int team = 0; team < TEAM_MAXTEAMS; team++) {
        const char* name = Endcond_GetEndCondFile(team);
        if (!name) continue;
        char path[GAME_PATH];
        if (!Utils_FindDataFile(path, name)) {
            Missing(name);
            ERR_FATAL(ERRC_FATAL, "Endcondition file not found for ai team #%d '%s'", team, name);
        }
        LoadTreeFile(path, "DefineEndCondTree", ENDCOND_END, team, "endcond file");
    }
}

} // namespace

int Scenario_LoadFsm(int team, int fatal)
{
    char name[TF_FIELD];
    const char* current = AI_GetCurrentFsmFilename(team);
    if (current) {
        Str_CopySafe(name, current, sizeof name);
    } else if (teamdata[team].type == TT_COMPUTER) {
        // The side's default machine; a side without its own counts as side 0.
        const int side = teamdata[team].side;
        snprintf(name, sizeof name, "Def_%02d_%d.FSM", side < 0 || side > 3 ? 0 : side,
                 AI_GetFsmVariation(team));
    } else {
        return 0;
    }
    char path[GAME_PATH];
    if (!Utils_FindDataFile(path, name)) {
        if (fatal) {
            Missing(name);
            ERR_FATAL(ERRC_FATAL, "FSM not found for ai team #%d fsm '%s'", team, name);
        }
        TLOG(TLOG_ERROR, "FSM not found for ai team #%d fsm '%s'", team, name);
        return 0;
    }
    LoadTreeFile(path, "DefineAICondTree", ENDCOND_FSM, team, "fsm file");
    return 1;
}

void Scenario_LoadFsms(void)
{
    for (int team = 0; team < TEAM_MAXTEAMS; team++) Scenario_LoadFsm(team, 1);
}

int Scenario_DefaultTeam(void) { return s_defaultTeam; }

const char* Scenario_MissingFile(void) { return s_missing; }

int Scenario_ReadTeam(TF_PARSER* parser)
{
    char token[TF_FIELD];
    int team;
    if (!TF_GetToken(parser, token, sizeof token) || strcmp(token, "SetTeam") != 0) return 0;
    if (!TF_GetParenInt(parser, &team)) return 0;
    if (team < 0 || team >= TEAM_MAXTEAMS) TF_Error(parser, "Team number of of range");
    if (!TF_ExpectOpenBrace(parser)) return 1;
    for (;;) {
        if (!TF_GetToken(parser, token, sizeof token)) return 1;
        if (strcmp(token, "}") == 0) return 1;
        const TEAMCOMMAND* c = nullptr;
        for (const TEAMCOMMAND& t : s_teamCommands)
            if (strcmp(token, t.keyword) == 0) c = &t;
        if (!c) TF_Error(parser, "Unknown string [%s]", token);
        if (!c->read(parser, team)) return 0;
    }
}

void Scenario_ReadObjects(TF_PARSER* parser)
{
    char token[TF_FIELD];
    while (TF_GetToken(parser, token, sizeof token)) {
        const OBJCOMMAND* c = nullptr;
        for (const OBJCOMMAND& o : s_objCommands)
            if (strcmp(token, o.keyword) == 0) c = &o;
        if (!c) TF_Error(parser, "Unknown string [%s]", token);
        c->read(parser);
    }
}

void Scenario_Load(SCENARIO_PROGRESS progress)
{
    s_missing[0] = '\0';
    Progress(progress, "Loading ..");
    std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> parser(
        Fs_Exists(g_ScenarioScnPath) ? TF_Open(g_ScenarioScnPath) : nullptr, TF_Close);
    TF_PARSER* p = parser.get();
    if (!p) ERR_FATAL(ERRC_OPENFILE, "scenario file [%s]", Fs_Resolve(g_ScenarioScnPath).c_str());
    s_defaultTeam = 0;
    s_puts.clear();

    Progress(progress, "Loading .. Version");
    char terrain[TF_FIELD];
    {
        READING reading(p);
        ReadVersion(p);
        if (!TF_GetKeywordString(p, "SetDefaultTerrain", terrain)) TF_Error(p, "Text file syntax error");
        Progress(progress, "Loading .. Terrain");
        LoadTerrain(terrain);
    }
    LoadTerrainEffects();
    {
        READING reading(p);
        ReadTechLevel(p);
    }
    FreeRuleTypes();
    Game_LoadTextFiles(progress);
    Units_PostProcessAllTypes();
    // Every unit and building the file makes is counted for the prerequisites.
    PREREQ_Init();

    Progress(progress, "Loading .. Map");
    if (!Map_Load(g_ScenarioMapPath))
        ERR_FATAL(ERRC_OPENFILE, "map file [%s] %s", Fs_Resolve(g_ScenarioMapPath).c_str(), Map_LoadError());
    MakeMapTables();
    for (TEAM_DATA& t : teamdata) t.startpos = TEAM_STARTPOS{-1, -1};

    Progress(progress, "Loading .. Team Info");
    {
        READING reading(p);
        char token[TF_FIELD];
        while (TF_PeekToken(p, token, sizeof token) && strcmp(token, "SetTeam") == 0)
            if (!Scenario_ReadTeam(p)) TF_Error(p, "Unable to load team info from scenario");

        Progress(progress, "Loading .. Map Objects");
        Scenario_ReadObjects(p);
    }
    StandUnitsWhereTheyCan(p->filename);
    parser.reset();
    if (g_OptShroudDisabled && !g_OptFogDisabled) Ovl_MakeAllOverlaysVisible();

    Progress(progress, "Loading .. End Conditions");
    LoadEndConditions();
    Progress(progress, "Loading .. FSMs");
    Scenario_LoadFsms();
    Progress(progress, "Loading .. Complete");
    Build_PostScenarioLoad();
}

namespace {

struct TRYLOAD {
    SCENARIO_PROGRESS progress;
};

void TryLoadStep(void* arg) { Scenario_Load(static_cast<TRYLOAD*>(arg)->progress); }

} // namespace

int Scenario_TryLoad(SCENARIO_PROGRESS progress, char* why, size_t size)
{
    TRYLOAD load{progress};
    return Error_Try(TryLoadStep, &load, why, size);
}

// ------------------------------------------------------------------ the check before a start

namespace {

struct CHECK {
    TF_PARSER* p;
    char* why;
    size_t size;
};

int Refuse(CHECK* c, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int Refuse(CHECK* c, const char* fmt, ...)
{
    char text[300];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    snprintf(c->why, c->size, "%s line %d: %s", c->p->filename, c->p->line, text);
    return 0;
}

int Expect(CHECK* c, const char* want)
{
    char token[TF_FIELD];
    if (!TF_GetToken(c->p, token, sizeof token)) return Refuse(c, "the file ends where [%s] belongs", want);
    if (strcmp(token, want) != 0) return Refuse(c, "[%s] where [%s] belongs", token, want);
    return 1;
}

// "(" values ")": no bracket inside.
int CheckArgs(CHECK* c, const char* command)
{
    if (!Expect(c, "(")) return 0;
    char token[TF_FIELD];
    int quoted;
    while (TF_GetTokenQuoted(c->p, token, sizeof token, &quoted)) {
        if (quoted) continue;
        if (strcmp(token, ")") == 0) return 1;
        if (strchr("({}", token[0]) && token[1] == '\0') return Refuse(c, "[%s] inside %s's values", token, command);
    }
    return Refuse(c, "the file ends inside %s's values", command);
}

// A team block or a special force's unit ids: "{" ... "}".
int CheckBlock(CHECK* c, int team)
{
    if (!Expect(c, "{")) return 0;
    char token[TF_FIELD];
    while (TF_GetToken(c->p, token, sizeof token)) {
        if (strcmp(token, "}") == 0) return 1;
        if (!team) continue;
        int known = 0;
        for (const TEAMCOMMAND& t : s_teamCommands) known |= strcmp(token, t.keyword) == 0;
        if (!known) return Refuse(c, "unknown team command [%s]", token);
        if (!CheckArgs(c, token)) return 0;
    }
    return Refuse(c, "the file ends inside a block");
}

} // namespace

int Scenario_Check(char* why, size_t size)
{
    s_missing[0] = '\0';
    if (!Fs_Exists(g_ScenarioScnPath)) Missing(g_ScenarioScnPath);
    std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> parser(
        Fs_Exists(g_ScenarioScnPath) ? TF_Open(g_ScenarioScnPath) : nullptr, TF_Close);
    if (!parser) {
        snprintf(why, size, "scenario file [%s] can't be opened", g_ScenarioScnPath);
        return 0;
    }
    CHECK c = {parser.get(), why, size};
    char token[TF_FIELD];
    int version = 0;
    if (!TF_GetToken(c.p, token, sizeof token) || strcmp(token, "SetVersion") != 0 || !Expect(&c, "(") ||
        !TF_GetToken(c.p, token, sizeof token) || (version = atoi(token)) != SCENARIO_VERSION || !Expect(&c, ")"))
        return Refuse(&c, "not a scenario of version %d", SCENARIO_VERSION);
    if (!TF_GetToken(c.p, token, sizeof token) || strcasecmp(token, "SetDefaultTerrain") != 0 || !Expect(&c, "(") ||
        !TF_GetToken(c.p, token, sizeof token) || !Expect(&c, ")"))
        return Refuse(&c, "no default terrain after the version");
    if (!Fs_Exists(g_ScenarioMapPath)) {
        Missing(g_ScenarioMapPath);
        snprintf(why, size, "map file [%s] not found", Fs_Resolve(g_ScenarioMapPath).c_str());
        return 0;
    }
    while (TF_GetToken(c.p, token, sizeof token)) {
        int known = strcmp(token, "SetTechLevel") == 0 || strcmp(token, "SetTeam") == 0;
        for (const OBJCOMMAND& o : s_objCommands) known |= strcmp(token, o.keyword) == 0;
        if (!known) return Refuse(&c, "unknown command [%s]", token);
        if (!CheckArgs(&c, token)) return 0;
        if (strcmp(token, "SetTeam") == 0 && !CheckBlock(&c, 1)) return 0;
        if (strcmp(token, "DefineSpecialForces") == 0 && !CheckBlock(&c, 0)) return 0;
    }
    return 1;
}

// ------------------------------------------------------------------ the writer

namespace {

struct WRITER {
    CFILE* file;
    int ok;
};

void Out(WRITER* w, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void Out(WRITER* w, const char* fmt, ...)
{
    char line[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    if (!Cfile_Printf(w->file, "%s", line)) w->ok = 0;
}

int RelationValue(int team, int other)
{
    if (team == other) return 2;
    switch (Team_GetRelation(team, other)) {
    case TR_NEUTRAL: return 1;
    case TR_ALLY: return 2;
    default: return 0; // enemy and anything else
    }
}

// The neutral team starts as everyone's enemy, and any relation set for it
// is stored as neutral: its line would turn the default enmity into
// neutrality when read back, so the defaults are written as no line at all.
int NeutralTeamAtDefaults(int team)
{
    if (team != TEAM_NEUTRAL) return 0;
    for (int i = 0; i < 8; i++)
        if (Team_GetRelation(team, i) != TR_ENEMY) return 0;
    return 1;
}

void SaveTeams(WRITER* w)
{
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        const TEAM_DATA& d = teamdata[t];
        Out(w, ";\n;Team information for team %d\n;\n", t);
        Out(w, "%s(%d)\n{\n", "SetTeam", t);
        // No side line for a team without one: it would come back as side 0.
        if (d.side != TS_DEFAULT)
            Out(w, "  %s(%d)    ; (0=Ashward, 1=Solarch, 2=Velkin)\n", "SetTeamSide", d.side);
        Out(w, "  %s(%d)\n", "SetGroup", d.group);
        Out(w, "  %s(%d)\n", "SetCredit", d.credits);
        Out(w, "  %s(%d)\n", "SetCPULoad", d.cpu.maxload);
        if (d.startpos.x != -1) Out(w, "  %s(%d %d)\n", "SetStartLocation", d.startpos.x, d.startpos.y);
        if (const char* end = Endcond_GetEndCondFile(t)) Out(w, "  %s(%s)\n", "SetEnd", end);
        const char* fsm[AI_MAX_FSMS];
        int fsms = 0;
        for (int i = 0; i < AI_MAX_FSMS; i++) fsms += (fsm[i] = AI_GetFsmFilename(t, i)) != nullptr;
        if (fsms == AI_MAX_FSMS) {
            Out(w, "  %s(", "SetFSM");
            for (int i = 0; i < AI_MAX_FSMS; i++) Out(w, i ? " %s" : "%s", fsm[i]);
            Out(w, ")\n");
        }
        if (!NeutralTeamAtDefaults(t)) {
            Out(w, "  %s(", "SetAlliance");
            for (int i = 0; i < 8; i++) Out(w, i ? " %d" : "%d", RelationValue(t, i));
            Out(w, ")\n");
        }
        Out(w, "}\n\n");
    }
}

void SaveUnit(WRITER* w, UNIT* u)
{
    const UNITTYPE* type = u->type;
    if (u->hitpoints >= type->maxhitpoints)
        Out(w, "%s(%d %s %d %d)\n", "PutUnitAt", u->id, type->symbolid, u->tilepos.x, u->tilepos.y);
    else
        Out(w, "%s(%d %s %d %d %d)\n", "PutDamagedUnitAt", u->id, type->symbolid, u->tilepos.x,
            u->tilepos.y, type->maxhitpoints > 0 ? u->hitpoints * 100 / type->maxhitpoints : 0);
    const TEAM_UNITDEF& def = teamdata[u->team].unitdef;
    const UNIT_TACTAI& ta = u->usertactaiinfo;
    if (u->sorder.code != SO_AUTOMOVE &&
        (ta.tenacity != def.tenacity || ta.selfpreservation != def.selfpreservation ||
         ta.autonomy != def.autonomy))
        Out(w, "%s(%d %d %d %d)\n", "SetTactAI", u->id, ta.tenacity, ta.selfpreservation, ta.autonomy);
    if (u->localtrail)
        for (WAYPOINT* wp = u->localtrail->head; wp; wp = wp->next)
            Out(w, "%s(%d %s %d %d %d)\n", "AddWaypoint", u->id, WAYPOINT_TYPES[wp->type == WPT_FIRE],
                wp->x, wp->y, wp->value);
    if (u->sorder.code == SO_TRAIL) {
        const int mode = u->sorder.trail.mode;
        Out(w, "%s(%d Local %s %s)\n", "SetSOrderTrail", u->id,
            TRAIL_MODES[mode >= 0 && mode < 3 ? mode : 0],
            TRAIL_DIRECTIONS[u->sorder.trail.followstate == 1]);
    } else if (u->sorder.code == SO_AUTOMOVE) {
        Out(w, "%s(%d %d)\n", "SetSOrderAutoMove", u->id, u->sorder.automove.level);
    }
}

void SaveUnits(WRITER* w)
{
    Out(w, ";\n; *** Unit Declarations\n;\n");
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        Out(w, ";\n; Units for Team %d\n;\n", t);
        Out(w, "%s(%d)\n", "SetDefaultTeam", t);
        // In the order they were made, whatever list each stands in now:
        // the reader makes them in file order, so a load then a save gives
        // the same file, and the game made from it walks them as before.
        std::vector<UNIT*> units;
        ITERATOR it;
        Iterate_UnitInit(&it, t, 0, MM_ALL);
        while (UNIT* u = Iterate_UnitNext(&it))
            if (!BuildId_Valid(&u->associate) && !BuildId_Valid(&u->partof)) units.push_back(u);
        std::sort(units.begin(), units.end(), [](const UNIT* a, const UNIT* b) { return a->seq < b->seq; });
        for (UNIT* u : units) SaveUnit(w, u);
    }
}

void SaveBuildings(WRITER* w)
{
    Out(w, ";\n; *** Building Declarations\n;\n");
    // The list holds the newest first and nothing reorders it: walked from
    // its end it gives the buildings in the order they were made.
    std::vector<BUILDING*> made;
    for (BUILDING* b = g_Buildings; b; b = b->next) made.push_back(b);
    std::reverse(made.begin(), made.end());
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        int first = 1;
        for (BUILDING* b : made) {
            if (b->team != t) continue;
            if (first) {
                Out(w, ";\n; Buildings for Team %d\n;\n", t);
                Out(w, "%s(%d)\n\n", "SetDefaultTeam", t);
                first = 0;
            }
            const BUILDINGTYPE* type = b->buildingtype;
            const char* flag = b->critical ? "critical" : "notcritical";
            if (b->hitpoints >= type->maxhitpoints)
                Out(w, "%s(%d %s %d %d %s)\n", "AddBuildingAt", b->id, type->name, b->tilex, b->tiley, flag);
            else
                Out(w, "%s(%d %s %d %d %s %d)\n", "AddDamagedBuildingAt", b->id, type->name, b->tilex,
                    b->tiley, flag, type->maxhitpoints > 0 ? b->hitpoints * 100 / type->maxhitpoints : 0);
        }
    }
}

int SaveRegion(REGION* r, void* arg)
{
    WRITER* w = static_cast<WRITER*>(arg);
    if ((r->flags & REGION_SHAPE_MASK) == RT_CIRCLE)
        Out(w, "%s(%d c %d %d %d)\n", "DefineRegion", (int)r->id, r->x1, r->y1, r->x2);
    else
        Out(w, "%s(%d r %d %d %d %d)\n", "DefineRegion", (int)r->id, r->x1, r->y1, r->x2, r->y2);
    return 0;
}

void SaveThingsAndRegions(WRITER* w)
{
    Out(w, ";\n; *** Thing (overlay) Declarations\n;\n");
    Out(w, ";\n; Overlays\n;\n");
    for (OVERLAY* o = g_Overlays; o; o = o->nextoverlay)
        if (const OVERLAYTYPE* type = o->type >= 0 ? Ovl_GetType(o->type) : nullptr)
            Out(w, "%s(%d %s %d %d)\n", "AddThingAt", o->id, type->name, o->tilepos.x, o->tilepos.y);
    Region_Iterate(SaveRegion, w);
}

} // namespace

int Scenario_Save(void) { return Scenario_SaveTo(g_ScenarioScnPath); }

int Scenario_SaveTo(const char* path)
{
    WRITER w{Cfile_BufferCreate(), 1};
    if (!Cfile_OpenWrite(w.file, path, 1)) {
        Cfile_BufferFree(w.file);
        TLOG(TLOG_ERROR, "Unable to write to file: scenario file [%s]", Fs_Resolve(path).c_str());
        return 0;
    }
    // The base directory comes with '/' and the folders below it are joined
    // with '\\': the header names the file with one kind only.
    std::string shown = g_ScenarioScnPath;
    std::replace(shown.begin(), shown.end(), '\\', '/');
    Out(&w, "; SCENARIO %s\n", shown.c_str());
    Out(&w, "; Built at %s, on %s", __TIME__, __DATE__);
    Out(&w, ";\n%s(%d)\n;\n", "SetVersion", SCENARIO_VERSION);
    Out(&w, ";\n; *** The Terrain type\n;\n");
    Out(&w, "%s(%s)\n", "SetDefaultTerrain", g_TerrainName);
    Out(&w, ";\n; *** Tech-level\n;\n");
    Out(&w, "%s(%d)\n", "SetTechLevel", g_TechLevel);
    SaveTeams(&w);
    SaveUnits(&w);
    SaveBuildings(&w);
    SaveThingsAndRegions(&w);
    if (!AI_SaveSpecialForces(w.file)) w.ok = 0;
    // A failed write or close keeps the previous file (the wrapper writes a
    // temporary one and renames it only when everything went through).
    if (!Cfile_Close(w.file)) w.ok = 0;
    Cfile_BufferFree(w.file);
    // The editor is the one caller: failing here would end it with every
    // unsaved edit.
    if (!w.ok)
        TLOG(TLOG_ERROR, "Unable to write to file: scenario file [%s]", Fs_Resolve(path).c_str());
    return w.ok;
}
