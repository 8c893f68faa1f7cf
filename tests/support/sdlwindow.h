// The real SDL window for tests that read back what a person would see:
// skipped without a display, failed without one when QV_REQUIRE_DISPLAY says
// there must be one (ctest runs these tests under xvfb-run).
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "core/config.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"

class QvSdlWindowTest : public testing::Test {
protected:
    bool open = false;  // the window is up; a derived SetUp goes on only then

    // A windowed 640 x 480 display with input, audio on SDL's dummy driver,
    // opened by the first test and kept for the others, whatever their
    // suite: each opening starts SDL, the X connection, a renderer and a
    // window, seconds apiece on a loaded machine (8 to 22 with two cores
    // shared by 64 busy loops). A test leaves it as it found it.
    void SetUp() override
    {
        const char* display = getenv("DISPLAY");
        const bool required = getenv("QV_REQUIRE_DISPLAY") != nullptr;
        if (!display || !*display) {
            if (required) FAIL() << "QV_REQUIRE_DISPLAY is set but there is no DISPLAY";
            GTEST_SKIP() << "no DISPLAY: the SDL display tests run under xvfb-run (ctest)";
        }
        if (!s_up) {
            setenv("SDL_AUDIODRIVER", "dummy", 0);
            if (!Plat_InitWith(&g_PlatSdl)) {
                if (required) FAIL() << "SDL could not start on DISPLAY " << display;
                GTEST_SKIP() << "SDL could not start on DISPLAY " << display;
            }
            s_up = true;
            Cfg_SetDefaults(&g_Config);
            g_Config.windowed = 1;
            Input_Init();
            Video_Init();
        }
        open = true;
    }
    // What SetUp opened, closed after whatever the tests opened on it: after
    // the last test, or earlier by a test that wants a window of its own.
    static void CloseWindow()
    {
        if (!s_up) return;
        s_up = false;
        Video_Close();
        Input_Close();
        Plat_ClearQuit();
        Plat_Close();
    }

private:
    friend class QvSdlWindowCloser;
    static inline bool s_up = false;
};

class QvSdlWindowCloser : public testing::Environment {
public:
    void TearDown() override { QvSdlWindowTest::CloseWindow(); }
};
inline testing::Environment* const qvSdlWindowCloser = testing::AddGlobalTestEnvironment(new QvSdlWindowCloser);
