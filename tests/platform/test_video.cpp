// The display on the headless backend: the back buffer, the flip with the
// cursor, the frame's draw step, the base system's display entries, and the
// test frame against its recorded CRC.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/debug.h"
#include "core/error.h"
#include "core/gamestate.h"
#include "support/testframe.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "platform/cursor.h"
#include "platform/demofixture.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "support/testsupport.h"

static const size_t kFrameBytes = (size_t)PLAT_WIDTH * PLAT_HEIGHT;

class Display : public testing::Test {
protected:
    bool open_ = false;
    void SetUp() override
    {
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        Cfg_SetDefaults(&g_Config);
        g_Config.windowed = 1;
        Input_Init();
        Video_Init();
        open_ = true;
    }
    void TearDown() override
    {
        if (open_) Video_Close();
        Cursor_Unload();
        Mouse_ShowCursor();
        Input_Close();
        Game_SetDrawHook(nullptr);
        Plat_Close();
    }
    void CloseVideo()
    {
        Video_Close();
        open_ = false;
    }
    const uint8_t* Shown()
    {
        const uint8_t* pixels = nullptr;
        PlatHeadless_LastFrame(&pixels, nullptr);
        return pixels;
    }
};

TEST_F(Display, FullScreenIsOpenedWhenConfigured)
{
    CloseVideo();
    g_Config.windowed = 0;
    Video_Init();
    open_ = true;
    int shown = -1;
    EXPECT_TRUE(PlatHeadless_VideoOpen(&shown));
    EXPECT_EQ(std::pair(shown, Video_IsWindowed()), std::pair(0, 0));
}

static int s_draws;
static BITMAP* s_drawnInto;
static void CountingDraw(BITMAP* bb)
{
    s_draws++;
    s_drawnInto = bb;
    Graph_FillRect(bb, nullptr, 0, 0, 0, 4, 4, 9);
}

static int s_pumps;
TEST_F(Display, FramesDrawThroughTheHookUntilTheDisplayCloses)
{
    Game_ResetState();
    Game_StartTimer();
    s_draws = s_pumps = 0;
    Game_SetDrawHook(CountingDraw);
    int flips = PlatHeadless_Flips();
    Game_Tick();
    EXPECT_TRUE(s_draws == 1 && s_drawnInto == Backbuf_Lock());
    EXPECT_EQ(PlatHeadless_Flips(), flips + 1);
    EXPECT_EQ(Shown()[0], 9);

    CloseVideo();
    // The flip still pumps the window's messages and the frame still counts.
    PlatHeadless_SetPumpHook(+[] { s_pumps++; });
    Graph_FlipWithCursor();
    Game_Tick();
    PlatHeadless_SetPumpHook(nullptr);
    EXPECT_EQ(std::tuple(s_pumps, s_draws, g_FrameCount), std::tuple(2, 1, 2u));
    EXPECT_EQ(PlatHeadless_Flips(), flips + 1);
}

static int RefuseWindow(int) { return 0; }
static PLAT_BACKEND NoWindowBackend(void)
{
    PLAT_BACKEND b = {};
    b.name = "nowindow";
    b.openvideo = RefuseWindow;
    return b;
}
static const PLAT_BACKEND s_noWindow = NoWindowBackend();

TEST(VideoOpen, AWindowThatCannotOpenIsFatal)
{
    ASSERT_EQ(Plat_InitWith(&s_noWindow), 1);
    QV_EXPECT_FATAL(Video_Init(), "Unable to open the display (nowindow)");
    EXPECT_EQ(Backbuf_Lock(), nullptr);
    Plat_Close();
    EXPECT_TRUE(Plat_IsHeadless());
}

TEST(VideoOpen, MissingBackendOperationsDoNothing)
{
    ASSERT_EQ(Plat_InitWith(&s_noWindow), 1);
    uint8_t pixels[16] = {};
    Plat_Present(pixels, g_Palette);
    Plat_WarpMouse(1, 2);
    Plat_LockAudio(1);
    Plat_CloseAudio();
    Plat_CloseVideo();
    Plat_Dialog("title", "body");
    Plat_Idle();
    EXPECT_EQ(std::tuple(Plat_OpenAudio(), Plat_PumpMessages(), Plat_SystemMs()), std::tuple(0, 1, 0u));
    Plat_Close();
    EXPECT_TRUE(Plat_IsHeadless());
}

class BaseDisplay : public testing::Test {
protected:
    QvTempDir home;
    void SetUp() override
    {
        Plat_InitWith(&g_PlatHeadless);
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        Game_SetDirectories(home.path().c_str(), "data", "", "save", "scenario");
    }
    void TearDown() override { Plat_Close(); }
};

TEST_F(BaseDisplay, OpensWithACursorWhenItsFileIsThereAndClosesEverything)
{
    for (bool file : {false, true}) {
        SCOPED_TRACE(file ? "cursor file" : "no cursor file");
        if (file) {
            std::filesystem::create_directories(home.file("data/graphics/intface"));
            ASSERT_TRUE(DemoFixture_Write(home.file("data/graphics/intface")));
        }
        InitBaseSystem();
        BITMAP* bb = Backbuf_Lock();
        ASSERT_NE(bb, nullptr);
        EXPECT_EQ(Cursor_Current(), file ? 0 : -1) << "a missing file isn't fatal";
        const uint8_t* shown = nullptr;
        ASSERT_TRUE(PlatHeadless_LastFrame(&shown, nullptr));
        EXPECT_EQ(DemoFixture_Crc(shown), DemoFixture_Crc(bb->data)) << "a blank first frame";
        CloseBaseSystem();
        EXPECT_TRUE(!Backbuf_Lock() && !PlatHeadless_VideoOpen(nullptr) && Cursor_Current() == -1);
    }
}

TEST_F(BaseDisplay, FatalPathClosesTheDisplayBeforeTheExit)
{
    EXPECT_EXIT(
        {
            // Added first, so it runs after the base system's hooks.
            Error_AddShutdownHook(+[] {
                fprintf(stderr, "display %s\n",
                        Backbuf_Lock() || PlatHeadless_VideoOpen(nullptr) ? "open" : "closed");
            });
            InitBaseSystem();
            ERR_FATAL(ERRC_FATAL, "stop here");
        },
        testing::ExitedWithCode(1), "stop here(.|\n)*display closed");
}

class TestFrame : public Display {
protected:
    QvTempDir dir;
    void SetUp() override
    {
        Display::SetUp();
        ASSERT_TRUE(DemoFixture_Write(dir.path()));
        ASSERT_TRUE(Demo_LoadAssets(dir.path().c_str()));
        ASSERT_TRUE(Cursor_Load(dir.file("mouse.crs").c_str()));
    }
    void TearDown() override
    {
        Demo_Close();
        Display::TearDown();
    }
};

TEST_F(TestFrame, DrawnAndShownWithTheCursorMatchTheRecordedPictures)
{
    BITMAP* bb = Backbuf_Lock();
    memset(bb->data, 0xA5, kFrameBytes); // whatever was there before is covered
    Mouse_SetPos(GOLDEN_CURSOR_X, GOLDEN_CURSOR_Y);
    for (int pass = 0; pass < 2; pass++) {
        SCOPED_TRACE(testing::Message() << "pass " << pass);
        Demo_DrawTestFrame(bb);
        Graph_FlipWithCursor();
        EXPECT_TRUE(DemoFixture_Matches(Shown(), g_Palette, kGoldenTestFrameWithCursor,
                                        "testframe_cursor_actual.pcx"));
        EXPECT_TRUE(DemoFixture_Matches(bb->data, g_Palette, kGoldenTestFrame,
                                        "testframe_actual.pcx"))
            << "the back buffer keeps no cursor";
    }
    // In the corners the cursor is cut by the edges; the block under it comes
    // back all the same. Hidden, the frame is shown as drawn.
    for (auto [x, y] : {std::pair{0, 0}, {639, 479}}) {
        Mouse_SetPos(x, y);
        Graph_FlipWithCursor();
        std::vector<uint8_t> expect(bb->data, bb->data + kFrameBytes);
        BITMAP eb;
        Graph_InitBitmap(&eb, PLAT_WIDTH, PLAT_HEIGHT, expect.data());
        Cursor_Draw(&eb, x, y);
        EXPECT_EQ(memcmp(Shown(), expect.data(), kFrameBytes), 0) << "cursor at " << x << ", " << y;
        EXPECT_EQ(DemoFixture_Crc(bb->data), kGoldenTestFrame);
    }
    Mouse_HideCursor();
    Graph_FlipWithCursor();
    EXPECT_EQ(DemoFixture_Crc(Shown()), kGoldenTestFrame);
    const PAL_RGB* pal = nullptr;
    PlatHeadless_LastFrame(nullptr, &pal);
    EXPECT_EQ(memcmp(pal, g_Palette, sizeof g_Palette), 0);
}

#ifndef QV_SANITIZED // the sanitizers report the overrun themselves, before we can
// The fatal path's shutdown hooks close the display, which frees its back
// buffer through the heap whose fault is being reported: that used to wait
// for ever on the heap's own lock. The alarm turns such a hang into a failure.
TEST_F(Display, HeapFaultWithTheDisplayOpenExitsInsteadOfHanging)
{
    auto overrunThenFree = [](bool validate) {
        alarm(20);
        Error_AddShutdownHook(Video_Shutdown);
        char* p = static_cast<char*>(Debug_Malloc(8));
        p[8] = 'x';
        if (validate) Debug_ValidateHeap();
        Debug_Free(&p);
    };
    EXPECT_EXIT(overrunThenFree(false), testing::ExitedWithCode(1), "Heap damaged: block of 8 bytes overrun");
    EXPECT_EXIT(overrunThenFree(true), testing::ExitedWithCode(1), "Heap damaged: block of 8 bytes overrun");
}
#endif
