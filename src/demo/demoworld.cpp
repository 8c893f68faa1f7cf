// The demo world: the demo map, lit, with things on it, scrolled at the
// screen edges.
#include "demo/demoworld.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/angle.h"
#include "core/config.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "demo/testframe.h"
#include "game/gameloop.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "map/pathsrch.h"
#include "map/terrain.h"
#include "map/tile.h"
#include "platform/animtype.h"
#include "platform/effects.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "rules/textfiles.h"
#include "rules/tfgen.h"
#include "rules/tfovl.h"
#include "rules/tfunit.h"
#include "units/building.h"
#include "units/damage.h"
#include "units/explosion.h"
#include "units/expltype.h"
#include "units/parts.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitmove.h"
#include "units/vortex.h"
#include "units/weapon.h"

namespace {

// The sprites of the demo's own (as mkdata names them): units, buildings and
// things take theirs from their types.
enum DEMO_SPRITE { DS_LIGHT, DS_COUNT };
const char* const SPRITE_FILES[DS_COUNT] = {"LIGHT.SPR"};

// Display layers: ground marks, buildings, things, units, then the air.
// Buildings lie below the explosions' layer, so that their fires show.
enum {
    DL_SHADOW = 2,
    DL_LIGHTPOOL = 3,
    DL_CRATER = 4,
    DL_BUILDING = 5,
    DL_GROUND = 6,
    DL_UNIT = 10,
    DL_TURRET = 11,
};

// Colours of the demo palette (tools/mkdata/gen_palette.h).
enum { C_BLACK = 0, C_WHITE = 15, C_GREY = 22, C_PANEL = 24, C_BAR = 23 };

// The light: from the north-west and above; slopes facing away from it
// darken from 40 degrees off the light and are in full shade at 140.
enum { LIGHT_X = -2, LIGHT_Y = -1, LIGHT_Z = 2, LIGHT_SHADE = 140, LIGHT_FULL = 40 };

// A unit drawn by its parts (a body and a turret) with its headlights' pool.
struct DEMOUNIT {
    DISPLAYELEMENT* light;
    int cx, cy;            // centre, world pixels
    UNIT* unit;            // its record: position, team, sight and parts
    int id;                // the unit's id: the record outlives the unit
    int patrol;            // tiles it drives east and back (0: stands)
    int home;              // its first tile column
    int building;          // the building it shells (index), or -1: the nearest enemy unit
};

// Buildings don't draw themselves yet: the demo shows each by its type's
// first image and shadow.
struct DEMOBUILDING {
    DISPLAYELEMENT* body;  // chain: body, shadow
    BUILDING* building;
};

struct TILEAT {
    int x, y;
};

// Where things go: near the start view, so the first frame shows them, and
// some further out for scrolling to find.
const TILEAT TREE_ANCHORS[] = {{3, 3},   {5, 4},   {4, 6},   {7, 4},   {9, 3},   {15, 4},
                               {16, 6},  {13, 16}, {16, 15}, {3, 15},  {4, 17},  {25, 10},
                               {28, 12}, {22, 25}, {40, 20}, {45, 40}, {30, 44}, {52, 52}};
const TILEAT UNIT_ANCHORS[] = {{9, 9}, {13, 11}, {30, 30}, {10, 12}, {12, 6}};
const int UNIT_FACING[] = {32, 0, 224, 64, 0};
// The local team (0) has the first two units; the second drives east and
// back, so the fog closes behind it. Team 1's first unit stands far off,
// unseen; its second stands within the guns' reach of the first: their
// turrets turn to each other and fire. The local team's vortex gun shells
// team 1's near depot (BUILDING_TARGET), which burns.
const int UNIT_TEAM[] = {0, 0, 1, 1, 0};
const int UNIT_PATROL[] = {0, 8, 0, 0, 0};
const char* const UNIT_TYPE[] = {"DemoTank", "DemoTank", "DemoTank", "DemoTank", "DemoVortex"};
const int UNIT_AIMS_AT_BUILDING[] = {-1, -1, -1, -1, 1};
// Buildings of both teams: the local team's depot, one of team 1 within the
// local units' sight, and team 1's factory beyond it (explored only when the
// patrol comes near).
const TILEAT BUILDING_ANCHORS[] = {{6, 12}, {13, 2}, {27, 14}};
const int BUILDING_TEAM[] = {0, 1, 1};
const char* const BUILDING_TYPE[] = {"DemoDepot", "DemoDepot", "DemoFactory"};
const TILEAT EXPLOSION_ANCHOR = {11, 6};
const TILEAT CRATER_ANCHOR = {12, 8};

struct WORLD {
    int attempted = 0;
    SPRITE* sprites[DS_COUNT] = {};
    std::vector<OVERLAY*> things;
    std::vector<DEMOUNIT> units;
    std::vector<DEMOBUILDING> buildings;
    EXPLID explosion = {nullptr, -1};    // a fire that burns until the world goes
    uint32_t seenupdate = 0;
    std::vector<TILEAT> used;            // tiles taken by a thing
};

WORLD s_world;

int Present(const char* path, const char* what)
{
    if (path[0] && Fs_Exists(path)) return 1;
    TLOG(TLOG_WARNING, "Demo world: no %s [%s]", what, Fs_Resolve(path).c_str());
    return 0;
}

// A missing sprite is a warning, as the other missing files are (the
// loader itself would log an error); one that is there but broken is the
// loader's error.
int SpriteAvailable(const char* file)
{
    char path[GAME_PATH];
    if (Utils_MakePath(path, g_GraphicsDir, "", "", file, "") && Fs_Exists(path)) return 1;
    if (g_DataDir2[0] && Utils_MakePath(path, g_DataDir2, "graphics", "", file, "") &&
        Fs_Exists(path))
        return 1;
    TLOG(TLOG_WARNING, "Demo world: no sprite [%s] in [%s]", file,
         Fs_Resolve(g_GraphicsDir).c_str());
    return 0;
}

// Puts e so that its sprite's image is centred on world (cx, cy), whatever
// its hot spot: the element's position is hot spot 0.
void Centre(DISPLAYELEMENT* e, int cx, int cy)
{
    if (!e) return;
    SPRITE* s = SortDisp_GetSprite(e);
    if (!s) {
        SortDisp_SetPosition(e, cx, cy);
        return;
    }
    int f = SortDisp_GetFrame(e), r = SortDisp_Rotation(e), hx = 0, hy = 0;
    if (f >= Sprite_NrFrames(s)) f = 0;
    Sprite_GetHotspotXY(s, 0, f, r, &hx, &hy);
    SortDisp_SetPosition(e, cx - Sprite_GetWidth(s) / 2 + hx, cy - Sprite_GetHeight(s) / 2 + hy);
}

// 1 when every corner of the tile is plain land (or, without a tile set,
// when the tile is on the map).
int IsLand(int tx, int ty)
{
    if (!Map_IsValidTile(tx, ty)) return 0;
    if (!Tile_IsLoaded()) return 1;
    uint32_t tile = MAP_ELEMENT_AT(tx, ty)->tile;
    for (int i = 0; i < 4; i++) {
        const TILE_CORNERINFO* c = Tile_GetCornerInfo((int)(tile >> (4 * i)) & 0xF);
        if (!c || c->role != TILEROLE_LAND) return 0;
    }
    return 1;
}

int Used(int tx, int ty)
{
    for (const TILEAT& t : s_world.used)
        if (t.x == tx && t.y == ty) return 1;
    return 0;
}

// The free land tile nearest to the anchor (rings of growing size); 0 when
// none lies within 6 tiles.
int FindLand(TILEAT anchor, TILEAT* out)
{
    for (int ring = 0; ring <= 6; ring++)
        for (int dy = -ring; dy <= ring; dy++)
            for (int dx = -ring; dx <= ring; dx++) {
                if (std::abs(dx) != ring && std::abs(dy) != ring) continue;
                int tx = anchor.x + dx, ty = anchor.y + dy;
                if (IsLand(tx, ty) && !Used(tx, ty)) {
                    *out = TILEAT{tx, ty};
                    return 1;
                }
            }
    return 0;
}

void PlaceTrees(void)
{
    // Things come from the thing file: without it there are none.
    const int type = Ovl_FindType("Tree");
    const OVERLAYTYPE* tree = Ovl_GetType(type);
    for (const TILEAT& a : TREE_ANCHORS) {
        TILEAT t;
        if (!tree || !FindLand(a, &t)) continue;
        if (OVERLAY* o = Ovl_New(type, -1, -1, DL_GROUND, tree->sprite, tree->sx, tree->sy, t.x, t.y)) {
            // The trunk's foot (hot spot 0) in the middle of the tile, not at its corner.
            SortDisp_SetPosition(o->display, t.x * MAP_TILE_PIXELS + MAP_TILE_PIXELS / 2,
                                 t.y * MAP_TILE_PIXELS + MAP_TILE_PIXELS - 4);
            s_world.things.push_back(o);
            s_world.used.push_back(t);
        }
    }
    TILEAT t;
    const int crater = g_CraterTypes[0];
    const OVERLAYTYPE* mark = Ovl_GetType(crater);
    if (mark && FindLand(CRATER_ANCHOR, &t))
        if (OVERLAY* o = Ovl_New(crater, -1, -1, DL_CRATER, mark->sprite, mark->sx, mark->sy, t.x, t.y)) {
            Centre(o->display, t.x * MAP_TILE_PIXELS + 12, t.y * MAP_TILE_PIXELS + 12);
            s_world.things.push_back(o);
            s_world.used.push_back(t);
        }
}

void PlaceLight(DEMOUNIT* u, int facing)
{
    // A little ahead of the unit, as its headlights throw it.
    const double a = facing * 2 * M_PI / 256;
    Centre(u->light, u->cx + (int)lround(20 * cos(a)), u->cy - (int)lround(20 * sin(a)));
}

void PlaceUnits(void)
{
    for (size_t i = 0; i < sizeof UNIT_ANCHORS / sizeof UNIT_ANCHORS[0]; i++) {
        TILEAT t;
        UNITTYPE* type = Units_SymToTypePtr(UNIT_TYPE[i]);
        if (!type || !FindLand(UNIT_ANCHORS[i], &t)) continue;
        s_world.used.push_back(t);
        DEMOUNIT u{};
        u.cx = t.x * MAP_TILE_PIXELS + MAP_TILE_PIXELS / 2;
        u.cy = t.y * MAP_TILE_PIXELS + MAP_TILE_PIXELS / 2;
        const int dir = UNIT_FACING[i], team = UNIT_TEAM[i];
        u.unit = Units_NewAt(type, team, -1, t.x, t.y);
        u.id = u.unit ? u.unit->id : -1;
        if (!u.unit) continue;
        // The demo drives its units itself: their service orders never run.
        u.unit->sorder.nextscantime = INT32_MAX;
        if (u.unit->basepart) Parts_SetAngle(u.unit->basepart, dir);
        Units_UpdateDisplayPos(u.unit);
        u.light = SortDisp_NewElement(s_world.sprites[DS_LIGHT], nullptr, SORTDISP_REMAP_NONE, 0, 0,
                                      u.cx, u.cy, DL_LIGHTPOOL, 0);
        PlaceLight(&u, dir);
        u.patrol = UNIT_PATROL[i];
        u.home = t.x;
        u.building = UNIT_AIMS_AT_BUILDING[i];
        s_world.units.push_back(u);
    }
}

void PlaceBuildingsAndExplosion(void)
{
    // A building covers its type's tiles from its top-left tile.
    TILEAT t;
    for (size_t i = 0; i < sizeof BUILDING_ANCHORS / sizeof BUILDING_ANCHORS[0]; i++) {
        const int index = Textfile_FindBuildingType(BUILDING_TYPE[i]);
        BUILDINGTYPE* type = index >= 0 ? &g_BuildingTypes[index] : nullptr;
        if (!type || !FindLand(BUILDING_ANCHORS[i], &t)) continue;
        for (int dy = 0; dy < type->height; dy++)
            for (int dx = 0; dx < type->width; dx++) s_world.used.push_back(TILEAT{t.x + dx, t.y + dy});
        const int left = t.x * MAP_TILE_PIXELS, top = t.y * MAP_TILE_PIXELS, team = BUILDING_TEAM[i];
        DEMOBUILDING b{};
        b.building = Build_New(type, team, -1, t.x, t.y);
        if (!b.building) continue;
        b.body = SortDisp_NewElement(type->sprite[0], nullptr, team, 0, 0, left, top, DL_BUILDING, 0);
        Centre(b.body, left + type->pixelw / 2, top + type->pixelh / 2);
        if (SPRITE* s = type->shadowsprite) {
            // Its top-left on the building's.
            DISPLAYELEMENT* shadow = SortDisp_NewElement(s, b.body, SORTDISP_REMAP_NONE, 0, 0, left,
                                                         top, DL_SHADOW, 0);
            Centre(shadow, left + Sprite_GetWidth(s) / 2, top + Sprite_GetHeight(s) / 2);
        }
        s_world.buildings.push_back(b);
    }
    EXPLTYPE* fire = Expl_FindType("Burning");
    if (fire && FindLand(EXPLOSION_ANCHOR, &t))
        Expl_MakeExplosion(&s_world.explosion, fire, nullptr, SORTDISP_REMAP_NONE, 0, 0,
                           t.x * MAP_TILE_PIXELS + 12, t.y * MAP_TILE_PIXELS + 12, nullptr);
}

int LoadTerrain(void)
{
    int ok = 1;
    if (!g_ScenarioName[0]) Game_SetScenarioName("DEMO");
    Game_SetTerrainName("DEMO");
    if (Present(g_TerrainPalPath, "terrain palette") && Palstuff_LoadInfo(g_TerrainPalPath))
        Display_ApplyPalette();
    else
        ok = 0;
    if (!Present(g_TerrainTilPath, "tile set") || !Tile_LoadInfo(g_TerrainTilPath)) ok = 0;
    if (!Present(g_ScenarioMapPath, "map") || !Map_Load(g_ScenarioMapPath)) ok = 0;
    // The terrain's effects tables replace those of a terrain loaded before.
    char trneff[GAME_PATH];
    Utils_MakePath(trneff, g_TerrainDir, "", "", g_Config.deffiles[CFG_TRNEFF], "");
    Effects_FreeTables();
    if (!Present(trneff, "terrain effects") || Tfovl_LoadTerrainEffects(trneff) != 0)
        ok = 0;
    else
        TLOG(TLOG_DIAG, "Loaded terrain effects [%s]", Fs_Resolve(trneff).c_str());
    Terrain_SetLight(LIGHT_X, LIGHT_Y, LIGHT_Z, LIGHT_SHADE, LIGHT_FULL);
    Map_SetViewPixelPosRedraw(0, 0);
    return ok;
}

void DrawPanel(BITMAP* bb)
{
    const int x = MAPVIEW_SCREEN_X + MAPVIEW_SIZE, top = MAPVIEW_SCREEN_Y;
    const int w = PLAT_WIDTH, h = PLAT_HEIGHT;
    Graph_FillRect(bb, nullptr, 0, x, top, w - x, h - top, C_PANEL);
    Graph_DrawLine(bb, nullptr, 0, x, top, x, h - 1, C_GREY + 6);
    char line[96];
    int y = top + 10;
    const int lh = Font_GetHeight(2) + 4;
    snprintf(line, sizeof line, "Map %d x %d", mapsizex, mapsizey);
    Font_Print(x + 10, y, line, 0, 2, nullptr, nullptr, bb, C_WHITE);
    snprintf(line, sizeof line, "Terrain %s", g_TerrainName);
    Font_Print(x + 10, y += lh, line, 0, 2, nullptr, nullptr, bb, C_WHITE);
    snprintf(line, sizeof line, "Things %d, elements %d", Ovl_Count(), SortDisp_Count());
    Font_Print(x + 10, y += lh, line, 0, 2, nullptr, nullptr, bb, C_WHITE);
    snprintf(line, sizeof line, "Units %d, buildings %d", Units_Count(), Build_Count());
    Font_Print(x + 10, y += lh, line, 0, 2, nullptr, nullptr, bb, C_WHITE);
    snprintf(line, sizeof line, "Update %u", g_UpdateCount);
    Font_Print(x + 10, y += lh, line, 0, 2, nullptr, nullptr, bb, C_WHITE);
    Font_Print(x + 10, y += 2 * lh, "Rest the pointer at a", 0, 2, nullptr, nullptr, bb, C_WHITE);
    Font_Print(x + 10, y += lh, "screen edge to scroll.", 0, 2, nullptr, nullptr, bb, C_WHITE);
}

// The map grid, the sight counts and the path search's tables (with the
// connected regions) for the map just loaded, and the soft edges of the fog.
void MakeSight(void)
{
    if (mapsizex < 1 || mapsizey < 1) return;
    if (Mapgrid_IsOpen()) Mapgrid_Close();
    Mapgrid_Init();
    Fog_Init();
    Pathsrch_Init();
    char path[GAME_PATH];
    if (Utils_MakePath(path, g_GraphicsDir, "", "", "fogtile.fog", "") &&
        Present(path, "fog tiles"))
        Fog_LoadTiles(path);
}

// One update of a patrolling unit: standing, it is sent to the other end of
// its beat; walking, it follows its path and its display and light follow.
void Patrol(DEMOUNIT* u)
{
    if (!u->patrol || !u->unit) return;
    UNIT* unit = u->unit;
    if (Units_IsStationary(unit)) {
        int x = unit->tilepos.x < u->home + u->patrol ? u->home + u->patrol : u->home;
        x = std::clamp(x, 1, mapsizex - 1);
        if (x != unit->tilepos.x) Units_MoveTo(unit, x, unit->tilepos.y, Units_AllocGroupId());
    }
    u->cx = unit->pixelpos.x + MAP_TILE_PIXELS / 2;
    u->cy = unit->pixelpos.y + MAP_TILE_PIXELS / 2;
    Units_UpdateDisplayPos(unit);
    PlaceLight(u, unit->basepart ? (int)((unit->basepart->angle >> 16) & 255) : 0);
}

// The target of a unit's turret: the building it shells while that stands,
// else the nearest unit of another team.
int PickTarget(const DEMOUNIT& u, TARGET* t)
{
    const size_t b = (size_t)u.building;
    if (u.building >= 0 && b < s_world.buildings.size() && s_world.buildings[b].building) {
        Target_Setup(t, FM_BUILDING, nullptr, s_world.buildings[b].building, 0, 0);
        if (Target_Valid(t)) return 1;
    }
    UNIT* best = nullptr;
    int64_t bestd = 0;
    for (DEMOUNIT& o : s_world.units) {
        if (!o.unit || o.unit->team == u.unit->team) continue;
        int64_t dx = o.unit->pixelpos.x - u.unit->pixelpos.x, dy = o.unit->pixelpos.y - u.unit->pixelpos.y;
        if (!best || dx * dx + dy * dy < bestd) best = o.unit, bestd = dx * dx + dy * dy;
    }
    if (!best) return 0;
    Target_Setup(t, FM_UNIT, best, nullptr, 0, 0);
    return 1;
}

// Each turret fires at its target when it is in reach, and otherwise turns
// towards it and waits.
void AimTurrets(void)
{
    for (DEMOUNIT& u : s_world.units) {
        PART* turret = u.unit && u.unit->basepart ? u.unit->basepart->partup : nullptr;
        if (!turret || turret->state.state == PS_FIRING) continue;
        TARGET t;
        if (!PickTarget(u, &t)) continue;
        if (Parts_TargetStatus(turret, &t) == TARGETRANGE_OK) {
            Parts_Fire(turret, &t);
            continue;
        }
        int tx = 0, ty = 0;
        Target_GetPosition(&t, &tx, &ty);
        const int facing = (Util_VectorAngle((float)(tx - (u.unit->pixelpos.x + MAP_TILE_PIXELS / 2)),
                                             (float)(ty - (u.unit->pixelpos.y + MAP_TILE_PIXELS / 2))) >> 16) & 255;
        if (turret->state.state != PS_HOLDANGLE || turret->state.angle != facing << 16)
            Parts_SetRotateState(turret, facing);
    }
}

// Other teams' units show only where the local team sees them now; their
// buildings once it has seen them, and then under the fog as it last saw
// them.
void ShowWhatIsSeen(void)
{
    for (DEMOUNIT& u : s_world.units) {
        if (!u.unit || u.unit->team == g_LocalTeam) continue;
        if (Fog_IsSeen(u.unit->tilepos.x, u.unit->tilepos.y, g_LocalTeam)) {
            Units_ShowDisplay(u.unit);
            SortDisp_ShowChain(u.light);
        } else {
            Units_HideDisplay(u.unit);
            SortDisp_HideChain(u.light);
        }
    }
    for (DEMOBUILDING& b : s_world.buildings) {
        const BUILDING* r = b.building;
        if (!r || r->team == g_LocalTeam) continue;
        const BUILDINGTYPE* t = r->buildingtype;
        if ((r->minib && r->minib->seen) ||
            Fog_AnySeenInTiles(r->tilex, r->tiley, r->tilex + t->width - 1, r->tiley + t->height - 1,
                               g_LocalTeam))
            SortDisp_ShowChain(b.body);
        else
            SortDisp_HideChain(b.body);
    }
}

void DrawTopLine(BITMAP* bb)
{
    Graph_FillRect(bb, nullptr, 0, 0, 0, PLAT_WIDTH, MAPVIEW_SCREEN_Y, C_BAR);
    char line[128];
    snprintf(line, sizeof line, "Quorvex demo world    view %d, %d    tile %d, %d + %d, %d",
             g_MapView.x, g_MapView.y, g_MapView.tilex, g_MapView.tiley, g_MapView.offx,
             g_MapView.offy);
    Font_Print(8, (MAPVIEW_SCREEN_Y - Font_GetHeight(1)) / 2, line, 0, 1, nullptr, nullptr, bb);
}

} // namespace

// Every type the rule files make, the units' and buildings' first: they
// name the others.
static void FreeRuleTypes(void)
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

// The rule files, through the loader the scenario load will call.
static int LoadRuleFiles(void)
{
    if (!Fs_IsDir(g_DefTxtDir)) {
        TLOG(TLOG_WARNING, "Demo world: no rule files [%s]", Fs_Resolve(g_DefTxtDir).c_str());
        return 0;
    }
    // A world loaded before left its types behind.
    FreeRuleTypes();
    Game_LoadTextFiles(nullptr);
    Units_PostProcessAllTypes();
    return 1;
}

int DemoWorld_Load(void)
{
    DemoWorld_Unload();
    s_world.attempted = 1;
    int ok = Demo_LoadAssets(g_InterfaceDir);
    ok &= LoadTerrain();
    ok &= LoadRuleFiles();
    for (int i = 0; i < DS_COUNT; i++) {
        s_world.sprites[i] = SpriteAvailable(SPRITE_FILES[i]) ? Textfile_FindSprite(SPRITE_FILES[i])
                                                               : nullptr;
        if (!s_world.sprites[i]) ok = 0;
    }
    MakeSight();
    PlaceTrees();
    PlaceUnits();
    PlaceBuildingsAndExplosion();
    Mouse_SetClipRect(0, 0, DEMO_EDGE_RIGHT, DEMO_EDGE_BOTTOM);
    s_world.seenupdate = g_UpdateCount;
    TLOG(TLOG_DIAG, "Demo world: map %d x %d, %d things, %d display elements%s", mapsizex,
         mapsizey, Ovl_Count(), SortDisp_Count(), ok ? "" : " (something was missing)");
    return ok;
}

void DemoWorld_Unload(void)
{
    for (DEMOUNIT& u : s_world.units) {
        SortDisp_DeleteChain(u.light);
        if (u.unit) Units_Delete(u.unit);
    }
    s_world.units.clear();
    for (DEMOBUILDING& b : s_world.buildings) {
        SortDisp_DeleteChain(b.body);
        if (b.building) Build_Remove(b.building);
    }
    s_world.buildings.clear();
    // Every explosion goes, the fire and those the fighting left: their
    // types are freed below.
    Expl_TerminateExpl(&s_world.explosion);
    while (EXPL* e = Expl_First()) {
        EXPLID id = {e, e->id};
        Expl_TerminateExpl(&id);
    }
    for (OVERLAY* o : s_world.things) Ovl_Delete(o);
    s_world.things.clear();
    s_world.used.clear();
    for (SPRITE*& s : s_world.sprites) {
        Sprite_Free(s);
        s = nullptr;
    }
    // The rule files' types hold sprites too.
    FreeRuleTypes();
    s_world.attempted = 0; // a next game loads the world again
}

void DemoWorld_ScrollDelta(int x, int y, int updates, int* dx, int* dy)
{
    const int step = DEMO_SCROLL_STEP * (updates > 0 ? updates : 0);
    *dx = x <= 0 ? -step : x >= DEMO_EDGE_RIGHT ? step : 0;
    *dy = y <= 0 ? -step : y >= DEMO_EDGE_BOTTOM ? step : 0;
}

void DemoWorld_Advance(void)
{
    // The counters restart with every game: a count below the one seen is a
    // new game, not four billion updates.
    const uint32_t now = g_UpdateCount;
    int n = now >= s_world.seenupdate ? (int)std::min<uint32_t>(now - s_world.seenupdate, 100) : 0;
    s_world.seenupdate = now;
    if (n == 0) return;
    // Units shot to nothing were removed by the updates.
    for (DEMOUNIT& u : s_world.units) {
        if (!u.unit || (u.unit->inuse && u.unit->id == u.id)) continue;
        u.unit = nullptr;
        SortDisp_DeleteChain(u.light);
        u.light = nullptr;
    }
    int mx = 0, my = 0, dx = 0, dy = 0;
    Mouse_GetState(&mx, &my, nullptr);
    DemoWorld_ScrollDelta(mx, my, n, &dx, &dy);
    if (dx || dy) Map_ScrollView(dx, dy);
    for (int k = 0; k < n; k++) {
        for (DEMOUNIT& u : s_world.units) Patrol(&u);
        AimTurrets();
    }
    // The buildings' beacons blink once a second.
    for (DEMOBUILDING& b : s_world.buildings)
        if (SPRITE* s = SortDisp_GetSprite(b.body))
            SortDisp_SetFrame(b.body, (int)(now / 10 % (uint32_t)Sprite_NrFrames(s)));
    ShowWhatIsSeen();
}

void DemoWorld_Draw(BITMAP* backbuffer)
{
    if (!s_world.attempted) DemoWorld_Load();
    DemoWorld_Advance();
    DrawTopLine(backbuffer);
    Map_DrawView();
    SortDisp_DrawAll();
    Vortex_DrawAll();
    Fog_Draw(g_LocalTeam);
    Pathsrch_DrawDebug();
    DrawPanel(backbuffer);
}

void DemoWorld_Install(void)
{
    Game_SetDrawHook(DemoWorld_Draw);
    Game_SetEndHook(DemoWorld_Unload);
}

void DemoWorld_Close(void)
{
    Game_SetDrawHook(nullptr);
    Game_SetEndHook(nullptr);
    s_world = WORLD();
    Map_Free();
    Tile_Close();
    Demo_Close();
}
