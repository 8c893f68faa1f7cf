#include "ui/igiworld.h"

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
#include "units/bldpics.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

// Other teams' buildings show once seen, then under the fog as last seen.
int SeenBuilding(const BUILDING* r)
{
    if (r->team == g_LocalTeam) return 1;
    const BUILDINGTYPE* t = r->buildingtype;
    return (r->minib && r->minib->seen) ||
           Fog_AnySeenInTiles(r->tilex, r->tiley, r->tilex + t->width - 1, r->tiley + t->height - 1, g_LocalTeam);
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
    BldPics_ShowIf(SeenBuilding);
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
    BldPics_Clear();
}

void IgiWorld_AfterLoad(void)
{
    BldPics_AfterLoad();
}

void IgiWorld_Follow(void)
{
    BldPics_Follow();
    ShowWhatIsSeen();
}
