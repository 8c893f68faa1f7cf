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

// Events pushed through SDL's queue one a frame, from the page's own
// updates once its fade-in is over: each reaches the page in the frame's
// pump, alone, however slow the frames come (pushed on a clock, a press and
// its release 200 ms apart could meet in one pump on a loaded machine, and
// the click would be lost). A page the script didn't end is closed, so that a
// lost click fails instead of hanging.
enum { FRAMES_AFTER = 60 };
static std::vector<SDL_Event>* s_script;
static size_t s_scriptAt;
static int s_scriptFrames;
static SHELL_HANDLER s_scriptPage;

static intptr_t ScriptedPage(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    if ((message & 0xFFFF) == SM_UPDATE && Shell_FadeSpeed() == 0) {
        if (s_scriptAt < s_script->size()) {
            SDL_PushEvent(&(*s_script)[s_scriptAt++]);
        } else if (++s_scriptFrames == FRAMES_AFTER) {
            SDL_Event quit;
            SDL_zero(quit);
            quit.type = SDL_QUIT;
            SDL_PushEvent(&quit);
        }
    }
    return s_scriptPage(c, message, p1, p2, p3, p4);
}

static int RunPage(const char* background, SHELL_HANDLER handler, std::vector<SDL_Event>& events)
{
    s_script = &events;
    s_scriptAt = 0;
    s_scriptFrames = 0;
    s_scriptPage = handler;
    SHELLCTL* page = Shell_CreateControl(SHELL_FOURCC('D', 'I', 'A', 'L'), nullptr, 0, 0, 0, 640, 480,
                                         (intptr_t)background, (intptr_t)ScriptedPage, 0, 0);
    int result = page ? Shell_RunDialog(page) : -1;
    Shell_SendMessage(page, SM_DESTROY);
    s_script = nullptr;
    return result;
}

TEST_F(SdlShell, MainPageShowsAsHeadlessAndAClickLeadsToSinglePlayer)
{
    SDL_Event quit;
    SDL_zero(quit);
    quit.type = SDL_QUIT;
    std::vector<SDL_Event> look = {Mouse(SDL_MOUSEMOTION, 320, 300), quit};
    ASSERT_EQ(RunPage("main", Shell_BuildMainMenu, look), 2) << "quit ends the page with 2";
    EXPECT_EQ(DemoFixture_Crc(Backbuf_Lock()->data), kGoldenMain);
    EXPECT_EQ(ShownCrc(), BackbufCrc()) << "the window shows the back buffer";
    Plat_ClearQuit();

    std::vector<SDL_Event> click = {Mouse(SDL_MOUSEMOTION, 320, 105), Mouse(SDL_MOUSEBUTTONDOWN, 320, 105),
                                    Mouse(SDL_MOUSEBUTTONUP, 320, 105)};
    EXPECT_EQ(RunPage("main", Shell_BuildMainMenu, click), SS_SINGLE);
    std::vector<SDL_Event> single = {quit};
    ASSERT_EQ(RunPage("single", Shell_BuildSinglePlayer, single), 2);
    EXPECT_EQ(DemoFixture_Crc(Backbuf_Lock()->data), kGoldenSingle);
    EXPECT_EQ(ShownCrc(), BackbufCrc());
}
