// Test support: a whole computer-player game on the headless platform, from
// the demo's run directory, with no team played by a person.
#pragma once

#include <gtest/gtest.h>

#include "core/config.h"
#include "core/gamestate.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "support/testsupport.h"

class AiGameFixture : public testing::Test {
protected:
    QvLogCapture log;
    void SetUp() override
    {
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        g_LocalTeam = 8;
        Input_Init();
        Video_Init();
        Event_Init();
        Game_ClearResult();
    }
    void TearDown() override
    {
        Plat_ClearQuit();
        Event_Close();
        Video_Close();
        Input_Close();
        Plat_Close();
    }
};
