// The editor state run through the state loop on a copy of the demo
// scenario, with scripted passes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "core/config.h"
#include "core/crc32.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/rand.h"
#include "core/tlog.h"
#include "editor/editor.h"
#include "editor/medesk.h"
#include "editor/meminimap.h"
#include "editor/meterrain.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "rules/scenario.h"
#include "support/golden.h"
#include "support/testsupport.h"
#include "support/passscript.h"
#include "units/prereq.h"
#include "widgets/qidesktop.h"
#include "widgets/qiedit.h"

namespace fs = std::filesystem;

namespace {

// Opens the scenario as the File layer's Load does.
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
    me.category = g_ScenarioCategory;
    if (me.desktop) me.desktop->Repaint(nullptr);
}

// One CRC over every element's initial altitude and tile word.
uint32_t TerrainCrc(void)
{
    uint32_t crc = 0;
    for (int y = 0; y < mapsizey; y++)
        for (int x = 0; x < mapsizex; x++) {
            const MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
            const uint8_t bytes[5] = {(uint8_t)e->initalt, (uint8_t)e->tile, (uint8_t)(e->tile >> 8),
                                      (uint8_t)(e->tile >> 16), (uint8_t)(e->tile >> 24)};
            crc = Crc32_Update(crc, bytes, sizeof bytes);
        }
    return crc;
}

class EditorVisit : public testing::Test {
protected:
    QvLogCapture log{TLOG_SAVE};
    QvTempDir home{true};
    void SetUp() override
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
    void TearDown() override
    {
        CloseBaseSystem();
        Plat_Close();
        g_GameState = GS_FRONTEND;
    }
    static void Chord(QvPassScript& s, int modifierKey, int scancode)
    {
        s.Add(QvKeyDown(modifierKey)).Add(QvKey(scancode)).Add(QvKeyUp(modifierKey));
    }
    static void Drag(QvPassScript& s, int button, int x, int y, int toX, int toY)
    {
        s.Add(QvMove(x, y)).Wait(10).Add(QvButton(1, button));
        for (int i = 1; i <= 4; i++) s.Add(QvMove(x + (toX - x) * i / 4, y + (toY - y) * i / 4)).Wait(100);
        s.Add(QvButton(0, button)).Wait(10);
    }
};

} // namespace

TEST_F(EditorVisit, TwoVisitsGoOnNumberingScreenshotsAndGiveTheHeapBack)
{
    const int first = MeDesktop::ScreenshotCounter();
    long blocks = 0;
    for (int visit = 0; visit < 2; visit++) {
        SCOPED_TRACE(visit);
        QvPassScript s(200);
        int teamSeen = -1;
        s.onPass = [&](int pass) {
            MeEditor& me = g_MeEditor;
            if (pass == 2 && visit == 0) {
                // A field holding the keyboard takes the digits.
                QIEdit* edit = new QIEdit("Field", nullptr, IRect(460, 60, 100, 12), IPoint(1, 1), 0, 0, 0x2, 8,
                                          15, &me.fontB->font);
                QIWidget::AddChild(me.backdrop, edit);
                me.desktop->SetCapture(edit, true);
            }
            if (pass == 6 && visit == 0) {
                teamSeen = me.team;
                me.desktop->SetCapture(me.desktop->captureWidget, false);
            }
        };
        s.Wait(20, 3).Add(QvKeyDown(6, '5')).Add(QvKeyUp(6)).Wait(20);
        Chord(s, SC_LSHIFT, 44);
        s.Wait(20);
        Chord(s, SC_LALT, 16);
        s.Wait(20, 3);
        g_MeEditor.team = 0;
        if (visit == 1) blocks = Debug_LiveBlocks();
        g_GameState = GS_EDITOR;
        Game_Main();
        EXPECT_FALSE(s.overran);
        EXPECT_EQ(g_GameState, GS_QUIT);
        if (visit == 0) EXPECT_EQ(teamSeen, 0) << "the digit went to the field";
        char name[32];
        snprintf(name, sizeof name, "mscr%04d.pcx", first + visit);
        EXPECT_EQ(access(name, 0), 0) << name << log.text();
        g_QuitRequested = 0;
    }
    EXPECT_EQ(MeDesktop::ScreenshotCounter(), first + 2);
    EXPECT_EQ(Debug_LiveBlocks(), blocks);
    const std::string text = log.text();
    EXPECT_NE(text.find("MapEditor is starting."), std::string::npos);
    EXPECT_NE(text.find("MapEditor has shutdown."), std::string::npos);
}
