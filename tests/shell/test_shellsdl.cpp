// The front end on the real display: the main page read back from the window
// equals the headless golden frame, and a click pushed through SDL's event
// queue leads to the single-player page. Skips without a display; CTest runs
// it under xvfb-run with QV_REQUIRE_DISPLAY=1, which turns the skip into a
// failure.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/mlstring.h"
#include "gen_shellres.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "shell/shell.h"
#include "support/golden.h"
#include "support/sdlwindow.h"
#include "support/testsupport.h"

// The headless frames of these pages (test_shellpages.cpp).
static const uint32_t kGoldenMain = 0xFBFF6DB7u, kGoldenSingle = 0x008C975Eu;

class SdlShell : public QvSdlWindowTest {
protected:
    QvTempDir dir;
    std::string oldData;

    void SetUp() override
    {
        QvSdlWindowTest::SetUp();
        if (!open) return;
        std::vector<MKSHELLRES> res;
        Mkdata_ShellDemoResources(&res);
        std::vector<uint8_t> index, data;
        Mkdata_ShellLibrary(res, &index, &data);
        dir.write("Data/shell/shell.rli", std::string(index.begin(), index.end()));
        dir.write("Data/shell/shell.rld", std::string(data.begin(), data.end()));
        oldData = g_DataDir;
        snprintf(g_DataDir, sizeof g_DataDir, "%s", dir.file("Data").c_str());
        ASSERT_TRUE(MLString_Load(QV_DEMO_MLSTRING));
        Shell_Init();
    }
    void TearDown() override
    {
        if (!open) return;
        Shell_Close();
        MLString_Unload();
        snprintf(g_DataDir, sizeof g_DataDir, "%s", oldData.c_str());
        CloseWindow();
    }
    // The window's picture back through the palette to indices, each colour
    // to its first index (the palette repeats some colours).
    static uint32_t ShownCrc(void)
    {
        std::vector<uint32_t> rgb((size_t)PLAT_WIDTH * PLAT_HEIGHT);
        if (!PlatSdl_ReadBack(rgb.data())) return 0;
        std::map<uint32_t, uint8_t> first;
        for (int c = 255; c >= 0; c--)
            first[(uint32_t)g_Palette[c].r << 16 | (uint32_t)g_Palette[c].g << 8 | g_Palette[c].b] = (uint8_t)c;
        std::vector<uint8_t> shown(rgb.size());
        for (size_t i = 0; i < rgb.size(); i++) shown[i] = first[rgb[i]];
        return DemoFixture_Crc(shown.data());
    }
    // The back buffer through the same first-index mapping.
    static uint32_t BackbufCrc(void)
    {
        BITMAP* bb = Backbuf_Lock();
        std::map<uint32_t, uint8_t> first;
        for (int c = 255; c >= 0; c--)
            first[(uint32_t)g_Palette[c].r << 16 | (uint32_t)g_Palette[c].g << 8 | g_Palette[c].b] = (uint8_t)c;
        std::vector<uint8_t> px(bb->data, bb->data + (size_t)PLAT_WIDTH * PLAT_HEIGHT);
        for (uint8_t& p : px)
            p = first[(uint32_t)g_Palette[p].r << 16 | (uint32_t)g_Palette[p].g << 8 | g_Palette[p].b];
        return DemoFixture_Crc(px.data());
    }
};

static SDL_Event Mouse(Uint32 type, int x, int y)
{
    SDL_Event e;
    SDL_zero(e);
    e.type = type;
    if (type == SDL_MOUSEMOTION) {
        e.motion.x = x, e.motion.y = y;
    } else {
        e.button.button = SDL_BUTTON_LEFT, e.button.x = x, e.button.y = y;
        e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.button.clicks = 1;
    }
    return e;
}

// Events pushed from SDL's timer thread at their times, while the page's
// loop runs on this one.
struct Timed {
    Uint32 ms;
    SDL_Event event;
};

static Uint32 PushOne(Uint32, void* param)
{
    SDL_PushEvent(&((Timed*)param)->event);
    return 0;
}

static int RunPage(const char* background, SHELL_HANDLER handler, std::vector<Timed>& events)
{
    std::vector<SDL_TimerID> timers;
    for (Timed& t : events) timers.push_back(SDL_AddTimer(t.ms, PushOne, &t));
    SHELLCTL* page = Shell_CreateControl(SHELL_FOURCC('D', 'I', 'A', 'L'), nullptr, 0, 0, 0, 640, 480,
                                         (intptr_t)background, (intptr_t)handler, 0, 0);
    int result = page ? Shell_RunDialog(page) : -1;
    Shell_SendMessage(page, SM_DESTROY);
    for (SDL_TimerID id : timers) SDL_RemoveTimer(id);
    return result;
}

TEST_F(SdlShell, MainPageShowsAsHeadlessAndAClickLeadsToSinglePlayer)
{
    SDL_Event quit;
    SDL_zero(quit);
    quit.type = SDL_QUIT;
    std::vector<Timed> look = {{50, Mouse(SDL_MOUSEMOTION, 320, 300)}, {700, quit}};
    ASSERT_EQ(RunPage("main", Shell_BuildMainMenu, look), 2) << "quit ends the page with 2";
    EXPECT_EQ(DemoFixture_Crc(Backbuf_Lock()->data), kGoldenMain);
    EXPECT_EQ(ShownCrc(), BackbufCrc()) << "the window shows the back buffer";
    Plat_ClearQuit();

    std::vector<Timed> click = {{50, Mouse(SDL_MOUSEMOTION, 320, 105)},
                                {300, Mouse(SDL_MOUSEBUTTONDOWN, 320, 105)},
                                {500, Mouse(SDL_MOUSEBUTTONUP, 320, 105)}};
    EXPECT_EQ(RunPage("main", Shell_BuildMainMenu, click), SS_SINGLE);
    std::vector<Timed> single = {{700, quit}};
    ASSERT_EQ(RunPage("single", Shell_BuildSinglePlayer, single), 2);
    EXPECT_EQ(DemoFixture_Crc(Backbuf_Lock()->data), kGoldenSingle);
    EXPECT_EQ(ShownCrc(), BackbufCrc());
}
