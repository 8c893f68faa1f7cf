// The scenario editor on an open 20 x 20 map through its desktop's real
// loop, driven by arbitrary key codes (held keys give any modifiers),
// pointer moves and presses and releases of both buttons: no crash, no
// assertion, the debug heap as it was. A quit key ends the visit; the rest
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
#include "editor/meterrain.h"
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
    // Tile sets to step through with T and the terrain layer: the demo set
    // twice and one cut short.
    const std::string graphics = std::string(QvFuzz_Dir()) + "/graphics";
    for (const char* name : {"DEMO", "Other", "broken"}) {
        const std::string folder = graphics + "/" + name;
        mkdir(graphics.c_str(), 0755);
        mkdir(folder.c_str(), 0755);
        const std::string set = strcmp(name, "broken") ? bytes : bytes.substr(0, 64);
        FILE* f = fopen((folder + "/" + name + ".til").c_str(), "wb");
        if (!f || fwrite(set.data(), 1, set.size(), f) != set.size() || fclose(f) != 0) abort();
        if (!Palstuff_Write((folder + "/" + name + ".pal").c_str(), &g_PalInfo)) abort();
    }
    Str_CopySafe(g_GraphicsDir, graphics.c_str(), sizeof g_GraphicsDir);
    Game_SetTerrainName("DEMO");
    return true;
}

static void Post(const uint8_t* b)
{
    const int x = b[1] * 5 / 2, y = b[2] * 15 / 8;
    PlatHeadless_Advance(b[3] % 100);
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
    default:
        // Now and then the start-position or region tool is armed, as the
        // player and end-condition layers' buttons do.
        if (b[2] == 0xA5) {
            g_MeEditor.team = b[1] % 9;
            g_MeEditor.startPosTool.Arm();
        } else if (b[2] == 0x5A) {
            g_MeEditor.regionTool.Arm();
        } else {
            PlatHeadless_Advance(b[1] * 4u);
        }
        break;
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
}

static void CloseEditor(void)
{
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
