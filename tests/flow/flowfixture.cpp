#include "flow/flowfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "core/config.h"
#include "core/gamestate.h"
#include "game/gameloop.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "platform/plat.h"
#include "shell/shell.h"
#include "support/testsupport.h"

void QvFlow_MakeHome(const QvTempDir& home, const std::vector<std::pair<std::string, std::string>>& extra)
{
    namespace fs = std::filesystem;
    fs::create_directory_symlink(QV_TEST_RUNDIR "/data", home.file("data"));
    fs::create_directories(home.file("scenario/SINGLE"));
    fs::create_directories(home.file("save"));
    fs::create_directory_symlink(QV_TEST_RUNDIR "/scenario/SINGLE/DEMO", home.file("scenario/SINGLE/DEMO"));
    for (const auto& [folder, text] : extra) {
        home.write("scenario/SINGLE/" + folder + "/QUORVEX.scn", text);
        // The map and the end conditions the demo's text names.
        for (const fs::directory_entry& e : fs::directory_iterator(QV_TEST_RUNDIR "/scenario/SINGLE/DEMO")) {
            const std::string name = e.path().filename().string();
            if (name == "QUORVEX.map" || e.path().extension() == ".END")
                fs::create_symlink(e.path(), home.file("scenario/SINGLE/" + folder + "/" + name));
        }
    }
}

int QvFlow_ListLine(const std::string& home, const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(home + "/scenario/SINGLE"))
        if (e.is_directory()) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return (int)(std::find(names.begin(), names.end(), folder) - names.begin());
}

void QvFlow_Start(const char* home)
{
    Game_ResetState();
    Cfg_SetDefaults(&g_Config);
    Plat_InitWith(&g_PlatHeadless);
    PlatHeadless_SetClock(0, 0);
    if (home) {
        Game_SetDirectories(home, "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        Game_SetScenarioName("DEMO");
    }
    g_LocalTeam = 0;
    Game_ClearResult();
    Shell_Reset();
    memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
    InitBaseSystem();
}

void QvFlow_Close(void)
{
    CloseBaseSystem();
    Plat_Close();
    Shell_Reset();
    memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
    g_GameState = GS_FRONTEND;
}

void QvFlow_CustomMissions(QvPassScript& p)
{
    p.Click(320, 105).Click(320, 253);
}

void QvFlow_LoadMission(QvPassScript& p, const std::string& home, const std::string& folder, int settle)
{
    p.Click(100, 108 + 12 * QvFlow_ListLine(home, folder)).Wait(0, settle).Click(320, 418);
}

void QvFlow_PlayThenExit(QvPassScript& p, const char* scenario, uint32_t updates, uint32_t passMs)
{
    p.Until([updates] { return g_GameState == GS_INGAME && g_UpdateCount >= updates; }, passMs);
    p.Then([scenario] { EXPECT_STREQ(g_ScenarioName, scenario); });
    p.Click(600, 10).Click(550, 326); // the menu panel's Exit
    p.stopWhenDone = false;
    g_GameState = GS_FRONTEND;
    Game_Main();
}

