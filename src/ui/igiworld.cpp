#include "ui/igiworld.h"

#include <vector>

#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

// Display layers: ground marks, then buildings (units lie above them).
enum { DL_SHADOW = 2, DL_BUILDING = 5 };
// Our mark on the buildings' pictures: the display list travels in saved
// games, so a loaded game brings the saving interface's pictures with it.
enum { IGIWORLD_PICTURE = 1 };

struct SHOWNBUILDING {
    DISPLAYELEMENT* body; // chain: body, shadow
    BUILDING* building;
    int id;               // the record's id, to tell it from a record used again
};

std::vector<SHOWNBUILDING> s_Buildings;

// Puts e so that its sprite's image is centred on world (cx, cy), whatever
// its hot spot: the element's position is hot spot 0.
void Centre(DISPLAYELEMENT* e, int cx, int cy)
{
    if (!e) return;
    SPRITE* sp = SortDisp_GetSprite(e);
    if (!sp) {
        SortDisp_SetPosition(e, cx, cy);
        return;
    }
    int f = SortDisp_GetFrame(e), r = SortDisp_Rotation(e), hx = 0, hy = 0;
    if (f >= Sprite_NrFrames(sp)) f = 0;
    Sprite_GetHotspotXY(sp, 0, f, r, &hx, &hy);
    SortDisp_SetPosition(e, cx - Sprite_GetWidth(sp) / 2 + hx, cy - Sprite_GetHeight(sp) / 2 + hy);
}

int Shown(const BUILDING* b)
{
    for (const SHOWNBUILDING& d : s_Buildings)
        if (d.building == b && d.id == b->id) return 1;
    return 0;
}

void FollowBuildings(void)
{
    for (size_t i = 0; i < s_Buildings.size();) {
        SHOWNBUILDING& d = s_Buildings[i];
        if (Build_FindById(d.id) == d.building) {
            i++;
            continue;
        }
        SortDisp_DeleteChain(d.body);
        s_Buildings.erase(s_Buildings.begin() + (long)i);
    }
    for (BUILDING* b = g_Buildings; b; b = b->next) {
        if (Shown(b)) continue;
        BUILDINGTYPE* type = b->buildingtype;
        const int left = b->tilex * MAP_TILE_PIXELS, top = b->tiley * MAP_TILE_PIXELS;
        SHOWNBUILDING d{};
        d.building = b;
        d.id = b->id;
        d.body = SortDisp_NewElement(type->sprite[0], nullptr, b->team, 0, 0, left, top, DL_BUILDING,
                                     IGIWORLD_PICTURE);
        Centre(d.body, left + type->pixelw / 2, top + type->pixelh / 2);
        if (SPRITE* sh = type->shadowsprite) {
            // Its top-left on the building's.
            DISPLAYELEMENT* shadow =
                SortDisp_NewElement(sh, d.body, SORTDISP_REMAP_NONE, 0, 0, left, top, DL_SHADOW, IGIWORLD_PICTURE);
            Centre(shadow, left + Sprite_GetWidth(sh) / 2, top + Sprite_GetHeight(sh) / 2);
        }
        s_Buildings.push_back(d);
    }
}

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
    for (SHOWNBUILDING& b : s_Buildings) {
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

} // namespace

int IgiWorld_Load(void)
{
    IgiWorld_Unload();
    int ok = 1;
    // The scenario has read the terrain's palette: the screen takes it.
    Display_ApplyPalette();
    char path[GAME_PATH];
    if (Utils_MakePath(path, g_GraphicsDir, "", "", "fogtile.fog", "") && Fs_Exists(path)) {
        Fog_LoadTiles(path);
    } else {
        TLOG(TLOG_WARNING, "Game screen: no fog tiles [%s]", Fs_Resolve(path).c_str());
        ok = 0;
    }
    // The view stays where the scenario put it; its picture is drawn anew.
    Map_SetViewPixelPosRedraw(g_MapView.x, g_MapView.y);
    Mouse_SetClipRect(0, 0, PLAT_WIDTH - 1, PLAT_HEIGHT - 1);
    IgiWorld_Follow();
    return ok;
}

void IgiWorld_Unload(void)
{
    for (SHOWNBUILDING& b : s_Buildings) SortDisp_DeleteChain(b.body);
    s_Buildings.clear();
}

void IgiWorld_AfterLoad(void)
{
    // Ours went back to the pool with the replaced display list: deleting
    // them now would delete whatever the load put in their records.
    s_Buildings.clear();
    std::vector<DISPLAYELEMENT*> copies;
    for (int layer = 0; layer < SORTDISP_LAYERS; layer++)
        for (int bucket = 0; bucket < SORTDISP_BUCKETS; bucket++)
            for (DISPLAYELEMENT* e = SortDisp_BucketHead(layer, bucket); e; e = e->next)
                if ((e->flags & IGIWORLD_PICTURE) && !e->prevup) copies.push_back(e);
    for (DISPLAYELEMENT* e : copies) SortDisp_DeleteChain(e);
    FollowBuildings();
}

void IgiWorld_Follow(void)
{
    FollowBuildings();
    // The buildings' beacons blink once a second.
    for (SHOWNBUILDING& b : s_Buildings)
        if (SPRITE* sp = SortDisp_GetSprite(b.body))
            SortDisp_SetFrame(b.body, (int)(g_UpdateCount / 10 % (uint32_t)Sprite_NrFrames(sp)));
    ShowWhatIsSeen();
}
