// The terrain layer's tile sets and pickers.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <strings.h>
#include <string>
#include <vector>

#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "editor/editor.h"
#include "editor/meminimap.h"
#include "editor/meterrain.h"
#include "editor/metpick.h"
#include "map/tile.h"
#include "platform/animtype.h"
#include "platform/palette.h"
#include "rules/tfbuild.h"
#include "rules/tfovl.h"
#include "units/unit.h"
#include "widgets/qidesktop.h"
#include "widgets/qilist.h"

enum { TILE_TEXTURES = 16, TILE_ROWS = 8, TILE_MASKS = 4 };

static METILESET* Current(void) { return static_cast<METILESET*>(g_MeEditor.currentTileSet); }

static METILESET* First(void)
{
    MELIST* list = g_MeEditor.tileSets;
    return list ? static_cast<METILESET*>(list->head) : nullptr;
}

static void Append(const char* folder)
{
    MELIST* list = g_MeEditor.tileSets;
    METILESET* e = new METILESET;
    Str_CopySafe(e->folder, folder, sizeof e->folder);
    size_t i = 0;
    for (; folder[i] && i < METERRAIN_NAMESHOWN; i++)
        e->name[i] = (char)(i == 0 ? toupper((unsigned char)folder[i]) : tolower((unsigned char)folder[i]));
    e->name[i] = 0;
    e->prev = list->tail;
    if (list->tail) list->tail->next = e;
    else list->head = e;
    list->tail = e;
    list->count++;
}

static void Empty(void)
{
    MELIST* list = g_MeEditor.tileSets;
    for (LListNode* n = list->head; n;) {
        LListNode* next = n->next;
        delete n;
        n = next;
    }
    list->head = list->tail = nullptr;
    list->count = 0;
    g_MeEditor.currentTileSet = nullptr;
}

int MeTerrain::ListTileSets(const char* dir)
{
    if (!g_MeEditor.tileSets) return 0;
    Empty();
    const std::string path = Fs_Resolve(dir);
    DIR* d = opendir(path.c_str());
    if (!d) {
        TLOG(TLOG_ERROR, "Cannot open directory %s", dir);
        return 0;
    }
    // A set is loaded as graphics\NAME\NAME.til: only such folders are
    // listed, so that each entry can be loaded.
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.' || strlen(e->d_name) >= sizeof(METILESET::folder)) continue;
        struct stat st;
        if (stat((path + "/" + e->d_name).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        char til[GAME_PATH];
        if (!Utils_MakePath(til, dir, e->d_name, "", e->d_name, ".til") || !Fs_Exists(til) || Fs_IsDir(til)) continue;
        names.push_back(e->d_name);
    }
    closedir(d);
    // The file system's order would change between machines.
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; });
    for (const std::string& n : names) Append(n.c_str());
    return 1;
}

void MeTerrain::FindCurrentTileSet(void)
{
    METILESET* found = First();
    for (METILESET* e = First(); e; e = static_cast<METILESET*>(e->next))
        if (strcasecmp(e->folder, g_TerrainName) == 0) {
            found = e;
            break;
        }
    g_MeEditor.currentTileSet = found;
}

// Reads the palette and the tile set of the terrain name just set; the old
// ones stay when either can't be read. Only the set's sprites are rebuilt
// against the new palette afterwards.
static int Reload(const char* oldName)
{
    MeEditor& me = g_MeEditor;
    if (!(me.flags & MEF_OPEN)) return 1;
    const PALINFO saved = g_PalInfo;
    if (!Palstuff_LoadInfo(g_TerrainPalPath) || !Tile_LoadInfo(g_TerrainTilPath)) {
        TLOG(TLOG_ERROR, "Tile set [%s] not loaded (palette [%s], tiles [%s]): [%s] kept", g_TerrainName,
             g_TerrainPalPath, g_TerrainTilPath, oldName);
        g_PalInfo = saved;
        Game_SetTerrainName(oldName);
        return 0;
    }
    AnimType_ReloadSprites();
    BuildingType_FreeSprites();
    Units_ReloadTypeSprites();
    Tfovl_FreeThingImages();
    MeTerrain::FillTilePickers();
    if (me.desktop) me.desktop->Repaint(nullptr);
    Display_ApplyPalette();
    Display_SetFlashColours();
    MeBigMap::Refresh(1, 0, 0, 0, 0);
    if (me.miniMap) me.miniMap->Redraw();
    return 1;
}

void MeTerrain::ChangeTileSet(int step)
{
    METILESET* was = Current();
    if (!was) return;
    METILESET* to = was;
    if (step < 0) {
        if (was->prev) to = static_cast<METILESET*>(was->prev);
    } else {
        to = was->next ? static_cast<METILESET*>(was->next) : First();
    }
    char oldName[sizeof g_TerrainName];
    Str_CopySafe(oldName, g_TerrainName, sizeof oldName);
    g_MeEditor.currentTileSet = to;
    Game_SetTerrainName(to->folder);
    if (!Reload(oldName)) g_MeEditor.currentTileSet = was;
}

int MeTerrain::OnTerrainDec(QIWidget* widget, int event, QIARG data)
{
    (void)widget, (void)data;
    if (event == 18) ChangeTileSet(-1);
    return event;
}

int MeTerrain::OnTerrainInc(QIWidget* widget, int event, QIARG data)
{
    (void)widget, (void)data;
    if (event == 18) ChangeTileSet(1);
    return event;
}

void MeTerrain::NameText(QIString* text)
{
    const METILESET* e = Current();
    text->Format(METERRAIN_NAMESHOWN, "%s", e ? e->name : "");
}

void MeTerrain::FillTilePickers(void)
{
    MeEditor& me = g_MeEditor;
    if (!(me.flags & MEF_OPEN)) return;
    if (me.texturePicker) {
        me.texturePicker->Clear();
        int32_t* to = &me.terrainBrush.cornerType;
        for (int t = 0; t < TILE_TEXTURES; t++) me.texturePicker->Add(new MePickTile(t, 0, to));
        for (int v = 0; v < TILE_ROWS; v++)
            for (int t = 0; t < TILE_TEXTURES; t++) me.texturePicker->Add(new MePickTile(t, v, to));
    }
    if (me.maskPicker) {
        me.maskPicker->Clear();
        for (int m = 0; m < TILE_MASKS; m++) me.maskPicker->Add(new MePickMask(m, &me.terrainBrush.masks));
    }
}
