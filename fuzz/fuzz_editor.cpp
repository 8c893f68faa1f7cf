// The scenario editor on an open 20 x 20 map through its desktop's real
// loop, driven by arbitrary key codes (held keys give any modifiers),
// pointer moves and presses and releases of both buttons, and the commands
// the add and Paths layers give: a unit, building or object picker on the
// select tool, the path tool's waypoints and their assignment, selections
// by team. No crash, no assertion, the debug heap as it was, at most one
// unit on a tile at its level, every waypoint inside the map. A quit key ends the visit; the rest
// of the input goes on in a new one. Screenshots go to the target's own
// directory.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/utils.h"
#include "editor/editor.h"
#include "editor/meminimap.h"
#include "editor/mepath.h"
#include "editor/mepickthing.h"
#include "editor/meterrain.h"
#include "gen_sprites.h"
#include "map/fog.h"
#include "map/mapgrid.h"
#include "platform/effects.h"
#include "platform/sprite.h"
#include "units/autoprod.h"
#include "units/building.h"
#include "units/constructq.h"
#include "units/iterate.h"
#include "units/parts.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "widgets/qilist.h"
#include "fuzzsupport.h"
#include "gen_mapedit.h"
#include "gen_palette.h"
#include "gen_tiles.h"
#include "map/map.h"
#include "map/overlay.h"
#include "map/tile.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/sortdisp.h"
#include "platform/video.h"
#include "support/passscript.h"
#include "widgets/qidesktop.h"

enum { BYTES_PER_PASS = 4, MAX_PASSES = 400, MAX_VISITS = 8 };

static SPRITE* s_Sprite = nullptr;
static UNITTYPE* s_Tank = nullptr;

static bool Setup(void)
{
    QvFuzz_Setup();
    Plat_InitWith(&g_PlatHeadless);
    PlatHeadless_UseVirtualClock(1);
    Cfg_SetDefaults(&g_Config);
    Video_Init();
    Input_Init();
    Mkdata_DemoPalette(&g_PalInfo);
    Display_ApplyPalette();
    Str_CopySafe(g_DataDir, QvFuzz_Dir(), sizeof g_DataDir);
    const std::string dir = std::string(QvFuzz_Dir()) + "/mapedit";
    mkdir(dir.c_str(), 0755);
    if (!GenMapEdit_WriteAll(dir)) abort();
    auto set = std::make_unique<GENTILE_SET>();
    GenTile_DemoSet(set.get());
    const std::string bytes = GenTile_Bytes(*set);
    const char* til = QvFuzz_WriteTemp(".til", (const uint8_t*)bytes.data(), bytes.size());
    if (!til || !Tile_LoadInfo(til)) abort();
    GENSPRITE g;
    GenSprite_Pattern(SPRITE_REGULAR, 1, 1, 20, 20, &g);
    const SPRITE_DESC d = g.Desc();
    const std::string spr = std::string(QvFuzz_Dir()) + "/thing.spr";
    if (!Sprite_Write(spr.c_str(), &d) || !(s_Sprite = Sprite_Load(spr.c_str()))) abort();
    s_Tank = Units_NewType();
    snprintf(s_Tank->symbolid, sizeof s_Tank->symbolid, "Tank");
    return true;
}

// The game model the brushes edit: teams, units with a part, a 2 x 2
// building type and two object types.
static void OpenWorld(void)
{
    Effects_Init();
    Mapgrid_Init();
    Fog_Init();
    Team_SetDefaults();
    Team_InitTeamData();
    Units_InitAll();
    Build_InitAll();
    Units_InitConstructQueues();
    Parts_Init();
    PREREQ_Init();
    PARTTYPE* body = Parts_NewType();
    body->sprite = s_Sprite;
    s_Tank->partinfo.parttype[0] = body;
    s_Tank->partinfo.nrparts = 1;
    s_Tank->defmaplevel = Units_GetMapLevel(s_Tank->defmovemode);
    BUILDINGTYPE* hut = Build_NewType();
    snprintf(hut->name, sizeof hut->name, "Hut");
    const uint8_t grid[8] = {};
    hut->footprint = Effects_AddOvlEffect("Hut", 2, 2, grid);
    hut->width = hut->height = 2;
    hut->activepart[0].x = hut->activepart[0].y = 30;
    for (const char* n : {"Tree", "Rock"}) {
        OVERLAYTYPE* t = Ovl_NewType();
        snprintf(t->name, sizeof t->name, "%s", n);
        t->sprite = s_Sprite, t->sx = t->sy = 20;
    }
}

static void CloseWorld(void)
{
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it)) Units_Delete(u);
    AP_Stop();
    Build_CloseAll();
    Units_CloseAll();
    PREREQ_Done();
    for (int i = 0; i < g_NrPartTypes; i++) g_PartTypes[i].sprite = nullptr;
    Parts_Close();
    Team_CloseTeamData();
    Fog_Close();
    Mapgrid_Close();
    Effects_Close();
    // Cleared trails keep their waypoints for reuse: the input gives them back.
    Trail_Shutdown();
}

static void CheckTrail(const TRAIL* t)
{
    for (const WAYPOINT* w = t ? t->head : nullptr; w; w = w->next)
        if (w->x < 1 || w->y < 1 || w->x >= mapsizex || w->y >= mapsizey) abort();
}

// One unit a tile and level, and waypoints the units can reach.
static void CheckWorld(void)
{
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it)) {
        if (u->onmap && Units_UnitAtMapLevel(u->maplevel, u->tilepos.x, u->tilepos.y) != u) abort();
        CheckTrail(u->localtrail);
    }
    CheckTrail(&g_MeEditor.pathTool.editPath);
}

// The three pickers the add layers will hold, filled as they would be.
static QIList* s_Pickers[3];

static void Command(const uint8_t* b)
{
    MeEditor& me = g_MeEditor;
    switch ((b[0] & 0x7f) - 8) {
    case 0: { // a picker's item chosen for the select tool
        QIList* l = s_Pickers[b[1] % 3];
        me.tool = &me.selectTool;
        me.selectTool.picker = l;
        l->SetCurrent(l->count ? b[2] % l->count : -1);
        me.selectTool.SetState(METS_CLICK);
        break;
    }
    case 1: // the path tool, adding waypoints
        me.tool->HideSelection();
        me.tool = b[1] & 1 ? static_cast<MeTool*>(&me.pathTool) : &me.selectTool;
        me.tool->ShowSelection();
        if (b[1] & 2) MePaths::BeginAdd();
        break;
    case 2:
        switch (b[1] % 5) {
        case 0: MePaths::Clear(); break;
        case 1: MePaths::AssignToSelection(b[2] % 4 - 1); break;
        case 2: MePaths::CopyFromSelection(); break;
        case 3: MePaths::SetDirection(b[2] % 3); break;
        default: me.tool->Cancel(b[2] & 1); break;
        }
        break;
    default:
        switch (b[1] % 6) {
        case 0: me.tool->SelectUnitsOfTeam(b[2] % 10 - 1); break;
        case 1: me.tool->SelectBuildingsOfTeam(b[2] % 10 - 1); break;
        case 2: me.tool->SelectAllObjects(); break;
        case 3: me.tool->RemoveDuplicateObjects(); break;
        case 4: me.tool->NextTeamSelection(); break;
        default: me.selectTool.brushSize = 1 + b[2] % 10; break;
        }
        break;
    }
    CheckWorld();
}

static void Post(const uint8_t* b)
{
    const int x = b[1] * 5 / 2, y = b[2] * 15 / 8;
    PlatHeadless_Advance(b[3] % 100);
    if ((b[0] & 0x7f) >= 8 && (b[0] & 0x7f) < 12) {
        Command(b);
        return;
    }
    switch (b[0] % 8) {
    case 0: Input_RawMouseMove(x, y); break;
    case 1: Input_RawMouseButton(0, 1); break;
    case 2: Input_RawMouseButton(0, 0); break;
    case 3: Input_RawMouseButton(1, 1); break;
    case 4: Input_RawMouseButton(1, 0); break;
    case 5:
    case 6:
        Input_RawKey(b[1], 1, (int8_t)b[2]);
        // With the top bit the key stays down: a held modifier or arrow.
        if (!(b[0] & 0x80)) Input_RawKey(b[1], 0, 0);
        break;
    default: PlatHeadless_Advance(b[1] * 4u); break;
    }
}

// The editor's start with a scenario open, as a load leaves it.
static void OpenEditor(void)
{
    MeEditor& me = g_MeEditor;
    me.Init();
    me.BuildDesktop();
    me.flags |= MEF_OPEN | MEF_DRAWMAP;
    me.miniMap->Create();
    MeTerrain::SetZoom(1);
    MeTerrain::InitZoom();
    QIList** lists[3] = {&me.unitPicker, &me.buildingPicker, &me.objectPicker};
    for (int i = 0; i < 3; i++) {
        s_Pickers[i] = new QIList("Picker", nullptr, IRect(448, 32 + 100 * i, 120, 100), IPoint(60, 50), 2, nullptr,
                                  nullptr);
        s_Pickers[i]->listFlags |= QILF_MULTISELECT;
        *lists[i] = s_Pickers[i];
    }
    me.FillObjectPickers();
}

static void CloseEditor(void)
{
    MeEditor& me = g_MeEditor;
    CheckWorld();
    me.selectTool.picker = nullptr;
    me.unitPicker = me.buildingPicker = me.objectPicker = nullptr;
    for (QIList*& l : s_Pickers) {
        delete l;
        l = nullptr;
    }
    g_MeEditor.desktop->Close();
    g_MeEditor.Close();
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static std::vector<char*> args;
    for (int i = 0; i < *argc; i++)
        if (strncmp((*argv)[i], "-max_len=", 9) == 0) return 0;
    static char maxLen[32];
    snprintf(maxLen, sizeof maxLen, "-max_len=%d", BYTES_PER_PASS * MAX_PASSES);
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + 1, maxLen);
    args.push_back(nullptr);
    *argc = (int)args.size() - 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = Setup();
    (void)ready;
    // Screenshots go to the target's directory; libFuzzer's own paths are
    // relative to where it started.
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd) || chdir(QvFuzz_Dir()) != 0) abort();
    QvFuzzHeapCheck check;
    const size_t passes = size / BYTES_PER_PASS < MAX_PASSES ? size / BYTES_PER_PASS : MAX_PASSES;
    try {
        SortDisp_Init();
        Ovl_Init();
        g_NewMapRequest = MAP_NEWREQUEST{1, 20, 20, 4, 1};
        if (!Map_Load(nullptr)) abort();
        OpenWorld();
        size_t next = 0;
        for (int visit = 0; visit < MAX_VISITS && next < passes; visit++) {
            OpenEditor();
            {
                QvPassScript script((int)(passes - next) + 8);
                script.Wait(0, (int)(passes - next));
                script.onPass = [&](int) {
                    if (next < passes) Post(data + next++ * BYTES_PER_PASS);
                };
                g_MeEditor.desktop->Run();
                if (script.overran) abort(); // the loop didn't end
            }
            CloseEditor();
            Input_RawReleaseAll();
        }
        CloseWorld();
        Map_Free();
        Ovl_FreeAll();
        SortDisp_Close();
    } catch (const QvFuzzFatal&) {
        abort(); // an assertion
    }
    Input_RawReleaseAll();
    Mouse_FlushEvents();
    KEY_EVENT k;
    while (Input_GetKeyEvent(&k)) {
    }
    g_GameState = GS_FRONTEND;
    if (chdir(cwd) != 0) abort();
    return 0;
}
