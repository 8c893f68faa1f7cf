#include "editorvisit.h"

#include <cstdio>
#include <filesystem>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "editor/editor.h"
#include "editor/mebigmap.h"
#include "editor/mefile.h"
#include "editor/meminimap.h"
#include "editor/meterrain.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "map/fog.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "rules/scenario.h"
#include "support/golden.h"
#include "units/prereq.h"
#include "widgets/qidesktop.h"
#include "widgets/qiedit.h"

namespace fs = std::filesystem;

void OpenScenario(const char* name)
{
    MeEditor& me = g_MeEditor;
    if (me.miniMap) me.miniMap->Free();
    PREREQ_Done();
    CloseCommonGameSystems();
    Game_SetScenarioName(name);
    InitCommonGameSystems();
    me.CloseTools();
    Scenario_Load(nullptr);
    PREREQ_Init();
    Fog_SetSeeAll(1);
    me.flags |= MEF_OPEN | MEF_DRAWMAP;
    Ovl_DisplayAll();
    Display_ApplyPalette();
    me.OpenTools();
    me.RefreshAll();
    Mouse_FlushEvents();
    if (me.miniMap) me.miniMap->Create();
    MeTerrain::SetZoom(1);
    MeTerrain::InitZoom();
    MeBigMap::Centre(g_MapView.x, g_MapView.y);
    MeMenuFile::StoreBaseline();
    me.category = g_ScenarioCategory;
    if (me.desktop) me.desktop->Repaint(nullptr);
}

::testing::AssertionResult FrameMatches(uint32_t golden, const char* file)
{
    ::testing::AssertionResult r = DemoFixture_Matches(Backbuf_Lock()->data, g_Palette, golden, file);
    // Kept by the visits as a flag for a later check: the frame's own CRC
    // would be lost with the message.
    if (!r) fprintf(stderr, "%s: %s\n", file, r.message());
    return r;
}

void SetEdit(const char* name, const char* text)
{
    QIEdit* edit = static_cast<QIEdit*>(g_MeEditor.desktop->FindByName(name));
    ASSERT_NE(edit, nullptr) << name;
    snprintf(edit->buffer, (size_t)edit->maxLength + 1, "%s", text);
}

void EditorVisit::SetUp()
{
    fs::create_symlink(fs::path(QV_TEST_RUNDIR) / "data", home.file("data"));
    fs::create_directories(home.file("scenario/SINGLE"));
    fs::copy(fs::path(QV_TEST_RUNDIR) / "scenario/SINGLE/DEMO", home.file("scenario/SINGLE/DEMO"));
    Game_ResetState();
    Cfg_SetDefaults(&g_Config);
    Plat_InitWith(&g_PlatHeadless);
    PlatHeadless_SetClock(0, 0);
    Game_SetDirectories(home.path().c_str(), "data", "", "save", "scenario");
    Game_SetScenarioCategory(SC_SINGLE);
    Game_SetScenarioName("DEMO");
    g_LocalTeam = 0;
    InitBaseSystem();
}

void EditorVisit::TearDown()
{
    CloseBaseSystem();
    Plat_Close();
    g_GameState = GS_FRONTEND;
}

void EditorVisit::Chord(QvPassScript& s, int modifierKey, int scancode)
{
    s.Add(QvKeyDown(modifierKey)).Add(QvKey(scancode)).Add(QvKeyUp(modifierKey));
}

void EditorVisit::Drag(QvPassScript& s, int button, int x, int y, int toX, int toY)
{
    s.Add(QvMove(x, y)).Wait(10).Add(QvButton(1, button));
    for (int i = 1; i <= 4; i++) s.Add(QvMove(x + (toX - x) * i / 4, y + (toY - y) * i / 4)).Wait(100);
    s.Add(QvButton(0, button)).Wait(10);
}

QvPassScript& VisitPace(QvPassScript& s)
{
    s.pace.gap = QvPass{};
    s.pace.spare = 24;
    s.pace.clickMs = s.pace.dragMs = 0;
    s.desktop = [] { return static_cast<QIDesktopBase*>(g_MeEditor.desktop); };
    // The question a close asks holds further closes back: the bound's
    // quit is one it lets through, and the visit ends on it.
    s.onOverrun = [] {
        g_MeEditor.flags &= ~MEF_CLOSING;
        g_GameState = GS_QUIT;
    };
    return s.Wait(20, 3);
}
