#include "units/bldpics.h"

#include <vector>

#include "core/gamestate.h"
#include "map/map.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "units/building.h"
#include "units/team.h"

namespace {

// Display layers: ground marks, then buildings (units lie above them).
enum { DL_SHADOW = 2, DL_BUILDING = 5 };

struct PICTURE {
    DISPLAYELEMENT* body; // chain: body, shadow
    BUILDING* building;
    int id;               // the record's id, to tell it from a record used again
    int tilex, tiley, team; // where and whose when drawn
};

std::vector<PICTURE> s_Pictures;

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

// Whether p still pictures its building as it stands.
bool Current(const PICTURE& p)
{
    const BUILDING* b = p.building;
    return Build_FindById(p.id) == b && b->tilex == p.tilex && b->tiley == p.tiley && b->team == p.team;
}

bool Pictured(const BUILDING* b)
{
    for (const PICTURE& p : s_Pictures)
        if (p.building == b && p.id == b->id) return true;
    return false;
}

void Show(BUILDING* b)
{
    BUILDINGTYPE* type = b->buildingtype;
    const int left = b->tilex * MAP_TILE_PIXELS, top = b->tiley * MAP_TILE_PIXELS;
    PICTURE p{};
    p.building = b;
    p.id = b->id;
    p.tilex = b->tilex;
    p.tiley = b->tiley;
    p.team = b->team;
    // In its team's colour, as the team's units are.
    const int remap = b->team >= 0 && b->team < TEAM_MAXTEAMS ? teamdata[b->team].colour : SORTDISP_REMAP_NONE;
    p.body = SortDisp_NewElement(type->sprite[0], nullptr, remap, 0, 0, left, top, DL_BUILDING, BLDPICS_MARK);
    Centre(p.body, left + type->pixelw / 2, top + type->pixelh / 2);
    if (SPRITE* sh = type->shadowsprite) {
        // Its top-left on the building's.
        DISPLAYELEMENT* shadow =
            SortDisp_NewElement(sh, p.body, SORTDISP_REMAP_NONE, 0, 0, left, top, DL_SHADOW, BLDPICS_MARK);
        Centre(shadow, left + Sprite_GetWidth(sh) / 2, top + Sprite_GetHeight(sh) / 2);
    }
    s_Pictures.push_back(p);
}

} // namespace

void BldPics_Follow(void)
{
    for (size_t i = 0; i < s_Pictures.size();) {
        if (Current(s_Pictures[i])) {
            i++;
            continue;
        }
        SortDisp_DeleteChain(s_Pictures[i].body);
        s_Pictures.erase(s_Pictures.begin() + (long)i);
    }
    for (BUILDING* b = g_Buildings; b; b = b->next)
        if (!Pictured(b)) Show(b);
    for (PICTURE& p : s_Pictures)
        if (SPRITE* sp = SortDisp_GetSprite(p.body))
            SortDisp_SetFrame(p.body, (int)(g_UpdateCount / 10 % (uint32_t)Sprite_NrFrames(sp)));
}

void BldPics_ShowIf(int (*visible)(const BUILDING*))
{
    for (PICTURE& p : s_Pictures) {
        if (visible(p.building))
            SortDisp_ShowChain(p.body);
        else
            SortDisp_HideChain(p.body);
    }
}

void BldPics_Clear(void)
{
    for (PICTURE& p : s_Pictures) SortDisp_DeleteChain(p.body);
    s_Pictures.clear();
}

void BldPics_AfterLoad(void)
{
    // Ours went back to the pool with the replaced display list: deleting
    // them now would delete whatever the load put in their records.
    s_Pictures.clear();
    std::vector<DISPLAYELEMENT*> copies;
    for (int layer = 0; layer < SORTDISP_LAYERS; layer++)
        for (int bucket = 0; bucket < SORTDISP_BUCKETS; bucket++)
            for (DISPLAYELEMENT* e = SortDisp_BucketHead(layer, bucket); e; e = e->next)
                if ((e->flags & BLDPICS_MARK) && !e->prevup) copies.push_back(e);
    for (DISPLAYELEMENT* e : copies) SortDisp_DeleteChain(e);
    BldPics_Follow();
}

int BldPics_Count(void)
{
    return (int)s_Pictures.size();
}
