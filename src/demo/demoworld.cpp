// The demo world: the game of the scenario shown on the demo map, with
// fog, a panel, and scrolling at the screen edges.
#include "demo/demoworld.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/fspath.h"
#include "game/gameloop.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "demo/testframe.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/pathsrch.h"
#include "map/overlay.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/vortex.h"

namespace {

// Display layers: ground marks, buildings, then the units.
enum {
    DL_SHADOW = 2,
    DL_BUILDING = 5,
};

// Colours of the demo palette (tools/mkdata/gen_palette.h).
enum { C_WHITE = 15, C_GREY = 22, C_PANEL = 24, C_BAR = 23 };

// Buildings don't draw themselves yet: the demo shows each by its type's
// first image and shadow, for as long as the building stands.
struct DEMOBUILDING {
    DISPLAYELEMENT* body;  // chain: body, shadow
    BUILDING* building;
    int id;                // the record's id, to tell it from a record used again
};

struct WORLD {
    int attempted = 0;
    std::vector<DEMOBUILDING> buildings;
    uint32_t seenupdate = 0;
};

WORLD s_world;

int Present(const char* path, const char* what)
{
    if (path[0] && Fs_Exists(path)) return 1;
    TLOG(TLOG_WARNING, "Demo world: no %s [%s]", what, Fs_Resolve(path).c_str());
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

int Shown(const BUILDING* b)
{
    for (const DEMOBUILDING& d : s_world.buildings)
        if (d.building == b && d.id == b->id) return 1;
    return 0;
}

// Every standing building gets its picture; the pictures of buildings gone
// go with them.
void FollowBuildings(void)
{
    for (size_t i = 0; i < s_world.buildings.size();) {
        DEMOBUILDING& d = s_world.buildings[i];
        if (Build_FindById(d.id) == d.building) {
            i++;
            continue;
        }
        SortDisp_DeleteChain(d.body);
        s_world.buildings.erase(s_world.buildings.begin() + (long)i);
    }
    for (BUILDING* b = g_Buildings; b; b = b->next) {
        if (Shown(b)) continue;
        BUILDINGTYPE* type = b->buildingtype;
        const int left = b->tilex * MAP_TILE_PIXELS, top = b->tiley * MAP_TILE_PIXELS;
        DEMOBUILDING d{};
        d.building = b;
        d.id = b->id;
        d.body = SortDisp_NewElement(type->sprite[0], nullptr, b->team, 0, 0, left, top, DL_BUILDING, 0);
        Centre(d.body, left + type->pixelw / 2, top + type->pixelh / 2);
        if (SPRITE* s = type->shadowsprite) {
            // Its top-left on the building's.
            DISPLAYELEMENT* shadow =
                SortDisp_NewElement(s, d.body, SORTDISP_REMAP_NONE, 0, 0, left, top, DL_SHADOW, 0);
            Centre(shadow, left + Sprite_GetWidth(s) / 2, top + Sprite_GetHeight(s) / 2);
        }
        s_world.buildings.push_back(d);
    }
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

// The units show where they are; other teams' units only where the local
// team sees them now, their buildings once it has seen them, and then under
// the fog as it last saw them.
void ShowWhatIsSeen(void)
{
    for (int team = 0; team < TEAM_MAXTEAMS; team++) {
        ITERATOR it;
        Iterate_UnitInit(&it, team, 0, MM_ALL);
        while (UNIT* u = Iterate_UnitNext(&it)) {
            Units_UpdateDisplayPos(u);
            if (u->team == g_LocalTeam) continue;
            if (Fog_IsSeen(u->tilepos.x, u->tilepos.y, g_LocalTeam))
                Units_ShowDisplay(u);
            else
                Units_HideDisplay(u);
        }
    }
    for (DEMOBUILDING& b : s_world.buildings) {
        const BUILDING* r = b.building;
        if (r->team == g_LocalTeam) continue;
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

int DemoWorld_Load(void)
{
    DemoWorld_Unload();
    s_world.attempted = 1;
    int ok = Demo_LoadAssets(g_InterfaceDir);
    // The scenario has read the terrain's palette: the screen takes it.
    Display_ApplyPalette();
    char path[GAME_PATH];
    if (Utils_MakePath(path, g_GraphicsDir, "", "", "fogtile.fog", "") && Present(path, "fog tiles"))
        Fog_LoadTiles(path);
    else
        ok = 0;
    Map_SetViewPixelPosRedraw(0, 0);
    Mouse_SetClipRect(0, 0, DEMO_EDGE_RIGHT, DEMO_EDGE_BOTTOM);
    FollowBuildings();
    ShowWhatIsSeen();
    s_world.seenupdate = g_UpdateCount;
    TLOG(TLOG_DIAG, "Demo world: map %d x %d, %d things, %d display elements%s", mapsizex,
         mapsizey, Ovl_Count(), SortDisp_Count(), ok ? "" : " (something was missing)");
    return ok;
}

void DemoWorld_Unload(void)
{
    for (DEMOBUILDING& b : s_world.buildings) SortDisp_DeleteChain(b.body);
    s_world.buildings.clear();
    s_world.attempted = 0; // a next game shows its own world
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
    int mx = 0, my = 0, dx = 0, dy = 0;
    Mouse_GetState(&mx, &my, nullptr);
    DemoWorld_ScrollDelta(mx, my, n, &dx, &dy);
    if (dx || dy) Map_ScrollView(dx, dy);
    FollowBuildings();
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
    Demo_Close();
}
