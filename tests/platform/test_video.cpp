// The display on the headless backend: the back buffer, the flip with the
// cursor, the frame's draw step, the base system's display entries, and the
// test frame against its recorded CRC.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/error.h"
#include "core/gameloop.h"
#include "core/gamestate.h"
#include "core/systems.h"
#include "demo/testframe.h"
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
    void SetUp() override
    {
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        Cfg_SetDefaults(&g_Config);
        g_Config.windowed = 1;
        Input_Init();
        Video_Init();
    }
    void TearDown() override
    {
        Video_Close();
        Cursor_Unload();
        Mouse_ShowCursor();
        Input_Close();
        Game_SetDrawHook(nullptr);
        Plat_Close();
    }
    const uint8_t* Shown()
    {
        const uint8_t* pixels = nullptr;
        PlatHeadless_LastFrame(&pixels, nullptr);
        return pixels;
    }
};

TEST_F(Display, BackBufferExistsOnlyWhileTheDisplayIsOpen)
{
    BITMAP* bb = Backbuf_Lock();
    ASSERT_NE(bb, nullptr);
    EXPECT_EQ(bb->x_size, 640);
    EXPECT_EQ(bb->y_size, 480);
    int windowed = 0;
    EXPECT_TRUE(PlatHeadless_VideoOpen(&windowed));
    EXPECT_EQ(windowed, 1);
    EXPECT_EQ(Video_IsWindowed(), 1);
    Video_Init(); // again: the same buffer
    EXPECT_EQ(Backbuf_Lock(), bb);
    Video_Close();
    EXPECT_EQ(Backbuf_Lock(), nullptr);
    EXPECT_FALSE(PlatHeadless_VideoOpen(nullptr));
    Video_Close(); // twice is harmless

    g_Config.windowed = 0;
    Video_Init();
    EXPECT_EQ(Video_IsWindowed(), 0);
    PlatHeadless_VideoOpen(&windowed);
    EXPECT_EQ(windowed, 0);
}

TEST_F(Display, FlipShowsTheCursorAndLeavesTheBackBufferAsItWas)
{
    QvTempDir dir;
    ASSERT_TRUE(DemoFixture_Write(dir.path()));
    ASSERT_TRUE(Cursor_Load(dir.file("mouse.crs").c_str()));
    BITMAP* bb = Backbuf_Lock();
    for (size_t i = 0; i < kFrameBytes; i++) bb->data[i] = (uint8_t)(i * 7 + i / 640);
    const std::vector<uint8_t> before(bb->data, bb->data + kFrameBytes);

    // The middle, both corners (cursor cut by the edges) and near an edge.
    const int spots[][2] = {{320, 240}, {0, 0}, {639, 479}, {630, 5}, {3, 470}};
    for (const auto& s : spots) {
        SCOPED_TRACE(testing::Message() << "pointer at " << s[0] << ", " << s[1]);
        Mouse_SetPos(s[0], s[1]);
        int flips = PlatHeadless_Flips();
        Graph_FlipWithCursor();
        EXPECT_EQ(PlatHeadless_Flips(), flips + 1);
        EXPECT_EQ(memcmp(bb->data, before.data(), kFrameBytes), 0) << "the block was restored";

        std::vector<uint8_t> expect = before;
        BITMAP eb;
        Graph_InitBitmap(&eb, PLAT_WIDTH, PLAT_HEIGHT, expect.data());
        Cursor_Draw(&eb, s[0], s[1]);
        EXPECT_EQ(memcmp(Shown(), expect.data(), kFrameBytes), 0) << "the cursor was shown";
    }
    Mouse_SetPos(320, 240);
    Graph_FlipWithCursor();
    EXPECT_NE(memcmp(Shown(), before.data(), kFrameBytes), 0);
    const PAL_RGB* pal = nullptr;
    PlatHeadless_LastFrame(nullptr, &pal);
    EXPECT_EQ(memcmp(pal, g_Palette, sizeof g_Palette), 0);

    Mouse_HideCursor();
    Graph_FlipWithCursor();
    EXPECT_EQ(memcmp(Shown(), before.data(), kFrameBytes), 0) << "hidden: the frame as drawn";
}

TEST_F(Display, FlipWithoutACursorFileShowsTheFrameAsDrawn)
{
    BITMAP* bb = Backbuf_Lock();
    Graph_ClearBitmap(bb, 42);
    Graph_FlipWithCursor();
    const uint8_t* shown = Shown();
    ASSERT_NE(shown, nullptr);
    for (size_t i = 0; i < kFrameBytes; i++)
        if (shown[i] != 42) FAIL() << "pixel " << i;
}

static int s_pumps;
TEST_F(Display, FlipPumpsMessagesEvenWithoutABackBuffer)
{
    Video_Close();
    s_pumps = 0;
    PlatHeadless_SetPumpHook(+[] { s_pumps++; });
    int flips = PlatHeadless_Flips();
    Graph_FlipWithCursor();
    PlatHeadless_SetPumpHook(nullptr);
    EXPECT_EQ(s_pumps, 1);
    EXPECT_EQ(PlatHeadless_Flips(), flips);
}

static int s_draws;
static BITMAP* s_drawnInto;
static void CountingDraw(BITMAP* bb)
{
    s_draws++;
    s_drawnInto = bb;
    Graph_FillRect(bb, nullptr, 0, 0, 0, 4, 4, 9);
}

TEST_F(Display, DrawnFramesRunTheDrawHookThenFlip)
{
    Game_ResetState();
    Game_StartTimer();
    s_draws = 0;
    Game_SetDrawHook(CountingDraw);
    int flips = PlatHeadless_Flips();
    Game_Tick();
    EXPECT_EQ(s_draws, 1);
    EXPECT_EQ(s_drawnInto, Backbuf_Lock());
    EXPECT_EQ(PlatHeadless_Flips(), flips + 1);
    EXPECT_EQ(Shown()[0], 9);

    // Fast playback draws only every 100th update.
    g_Config.orderskip = 500;
    Game_SetPlayback(1);
    for (int i = 0; i < 99; i++) Game_Tick();
    EXPECT_EQ(s_draws, 1);
    Game_Tick();
    EXPECT_EQ(g_UpdateCount, 100u);
    EXPECT_EQ(s_draws, 2);
    Game_SetPlayback(0);

    // No back buffer: the hook isn't called, the frame still counts.
    Video_Close();
    uint32_t frames = g_FrameCount;
    Game_Tick();
    EXPECT_EQ(s_draws, 2);
    EXPECT_EQ(g_FrameCount, frames + 1);
}

static void RecordSurface(uint8_t* pixels, int pitch, int height, void* value)
{
    auto* seen = (std::vector<intptr_t>*)value;
    *seen = {(intptr_t)pixels, pitch, height};
}

TEST_F(Display, LockedSurfaceIsTheBackBuffer)
{
    std::vector<intptr_t> seen;
    ASSERT_TRUE(Video_WithLockedSurface(RecordSurface, &seen));
    EXPECT_EQ(seen, (std::vector<intptr_t>{(intptr_t)Backbuf_Lock()->data, 640, 480}));
    Video_Close();
    seen.clear();
    EXPECT_FALSE(Video_WithLockedSurface(RecordSurface, &seen));
    EXPECT_TRUE(seen.empty());
}

TEST_F(Display, TerrainBufferIsCreatedOnceAndFreedSafely)
{
    EXPECT_EQ(Display_TerrainBuffer(), nullptr);
    Display_CreateTerrainBuffer();
    BITMAP* t = Display_TerrainBuffer();
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->x_size, 480);
    EXPECT_EQ(t->y_size, 480);
    Display_CreateTerrainBuffer();
    EXPECT_EQ(Display_TerrainBuffer(), t);
    Display_FreeTerrainBuffer();
    EXPECT_EQ(Display_TerrainBuffer(), nullptr);
    Display_FreeTerrainBuffer();
    Display_CreateTerrainBuffer();
    Video_Close(); // takes the terrain buffer with it
    EXPECT_EQ(Display_TerrainBuffer(), nullptr);
}

// ---- a backend that can't open a window ----

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
    EXPECT_EQ(Plat_OpenAudio(), 0);
    Plat_LockAudio(1);
    Plat_LockAudio(0);
    Plat_CloseAudio();
    Plat_CloseVideo();
    Plat_Dialog("title", "body");
    EXPECT_EQ(Plat_PumpMessages(), 1);
    EXPECT_EQ(Plat_SystemMs(), 0u);
    EXPECT_EQ(Plat_GameMs(), 0u);
    Plat_Idle();
    Plat_Close();
    EXPECT_TRUE(Plat_IsHeadless());
}

// ---- the base system's display entries ----

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

TEST_F(BaseDisplay, StartsWithoutACursorFileAndClosesEverything)
{
    InitBaseSystem();
    BITMAP* bb = Backbuf_Lock();
    ASSERT_NE(bb, nullptr);
    EXPECT_TRUE(PlatHeadless_VideoOpen(nullptr));
    EXPECT_EQ(Cursor_Current(), -1) << "no cursor file: no cursor, and no fatal error";
    const uint8_t* shown = nullptr;
    ASSERT_TRUE(PlatHeadless_LastFrame(&shown, nullptr));
    EXPECT_EQ(DemoFixture_Crc(shown), DemoFixture_Crc(bb->data)) << "a blank first frame";
    Graph_FlipWithCursor();
    CloseBaseSystem();
    EXPECT_EQ(Backbuf_Lock(), nullptr);
    EXPECT_FALSE(PlatHeadless_VideoOpen(nullptr));
}

TEST_F(BaseDisplay, LoadsTheCursorFromTheInterfaceDirectory)
{
    std::filesystem::create_directories(home.file("data/graphics/intface"));
    ASSERT_TRUE(DemoFixture_Write(home.file("data/graphics/intface")));
    InitBaseSystem();
    EXPECT_EQ(Cursor_Current(), 0);
    CloseBaseSystem();
    EXPECT_EQ(Cursor_Current(), -1);
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

// ---- the test frame ----

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

TEST_F(TestFrame, BackBufferMatchesTheRecordedPicture)
{
    BITMAP* bb = Backbuf_Lock();
    memset(bb->data, 0xA5, kFrameBytes); // whatever was there before is covered
    for (int pass = 0; pass < 2; pass++) {
        Demo_DrawTestFrame(bb);
        EXPECT_TRUE(DemoFixture_Matches(bb->data, g_Palette, kGoldenTestFrame,
                                        "testframe_actual.pcx"))
            << "pass " << pass;
    }
}

TEST_F(TestFrame, ShownWithTheCursorMatchesTheRecordedPicture)
{
    BITMAP* bb = Backbuf_Lock();
    Demo_DrawTestFrame(bb);
    Mouse_SetPos(GOLDEN_CURSOR_X, GOLDEN_CURSOR_Y);
    for (int pass = 0; pass < 2; pass++) {
        Graph_FlipWithCursor();
        EXPECT_TRUE(DemoFixture_Matches(Shown(), g_Palette, kGoldenTestFrameWithCursor,
                                        "testframe_cursor_actual.pcx"))
            << "pass " << pass;
        EXPECT_TRUE(DemoFixture_Matches(bb->data, g_Palette, kGoldenTestFrame,
                                        "testframe_actual.pcx"))
            << "the back buffer keeps no cursor";
    }
}
