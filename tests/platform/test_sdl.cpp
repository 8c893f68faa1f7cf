// The SDL backend: the scan-code table, and (with a display) the window, the
// picture it shows, scripted window events and the audio device.
//
// The display tests need an X display. Without DISPLAY they skip, so that a
// developer's run of test_platform passes; CTest runs them once more under
// xvfb-run with QV_REQUIRE_DISPLAY=1, which turns the skip into a failure.
// The picture is read back from the renderer (PlatSdl_ReadBack draws the
// last frame's texture again and reads the render target), which covers the
// palette conversion, the texture upload and the scaling to the window.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "core/config.h"
#include "support/testframe.h"
#include "platform/cursor.h"
#include "platform/demofixture.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/sound.h"
#include "platform/video.h"
#include "support/sdlwindow.h"
#include "support/testsupport.h"

TEST(SdlScanCodes, EveryGameCodeHasOneKeyAndTheOddOnesAreRight)
{
    // Keys whose game codes are not in the main block's order.
    const int cases[][2] = {{SDL_SCANCODE_RCTRL, SC_RCTRL}, {SDL_SCANCODE_KP_ENTER, SC_KP_ENTER},
                            {SDL_SCANCODE_UP, SC_UP},       {SDL_SCANCODE_F12, SC_F12},
                            {SDL_SCANCODE_Q, SC_Q},         {SDL_SCANCODE_AUDIOPLAY, 0}};
    for (const auto& c : cases) EXPECT_EQ(PlatSdl_ScanCode(c[0]), c[1]) << "SDL " << c[0];
    std::set<int> codes;
    for (int s = 0; s < SDL_NUM_SCANCODES; s++)
        if (int c = PlatSdl_ScanCode(s)) {
            EXPECT_TRUE(codes.insert(c).second) << "code " << c << " twice (SDL " << s << ")";
        }
    // The main block, function keys and keypad: every code of 1..83 reachable.
    for (int c = 1; c <= 83; c++) EXPECT_TRUE(codes.count(c)) << "no key gives " << c;
}

class SdlDisplay : public QvSdlWindowTest {
protected:
    QvTempDir dir;

    // The suite's next test has the same window.
    void TearDown() override
    {
        if (!open) return;
        Demo_Close();
        Cursor_Unload();
        Plat_SetActive(1);
        Plat_ClearQuit();
    }
    // Runs the pump until SDL's queue stays empty.
    void Drain()
    {
        for (int i = 0; i < 20; i++) Plat_PumpMessages();
    }
};

TEST_F(SdlDisplay, TitledWindowShowsTheTestFrameWithTheCursor)
{
    const char* title = nullptr;
    int w = 0, h = 0;
    ASSERT_TRUE(PlatSdl_WindowInfo(&title, &w, &h));
    EXPECT_STREQ(title, "Quorvex Engine");
    EXPECT_EQ(std::pair(w, h), std::pair(640, 480));
    ASSERT_TRUE(DemoFixture_Write(dir.path()));
    ASSERT_TRUE(Demo_LoadAssets(dir.path().c_str()));
    ASSERT_TRUE(Cursor_Load(dir.file("mouse.crs").c_str()));
    BITMAP* bb = Backbuf_Lock();
    Demo_DrawTestFrame(bb);
    ASSERT_EQ(DemoFixture_Crc(bb->data), kGoldenTestFrame);

    // The pointer warped into place; SDL's own report of it is drained
    // before the flip so that only the scripted position counts.
    Mouse_SetPos(GOLDEN_CURSOR_X, GOLDEN_CURSOR_Y);
    Drain();
    Input_RawMouseMove(GOLDEN_CURSOR_X, GOLDEN_CURSOR_Y);
    Graph_FlipWithCursor();
    int x, y;
    Mouse_GetState(&x, &y, nullptr);
    ASSERT_EQ(std::pair(x, y), (std::pair<int, int>(GOLDEN_CURSOR_X, GOLDEN_CURSOR_Y)));

    std::vector<uint32_t> rgb((size_t)PLAT_WIDTH * PLAT_HEIGHT);
    ASSERT_TRUE(PlatSdl_ReadBack(rgb.data()));
    // Back through the palette to indices, each colour to its first index
    // (the palette repeats some colours), the expected picture likewise.
    auto colour = [](int c) {
        return (uint32_t)g_Palette[c].r << 16 | (uint32_t)g_Palette[c].g << 8 | g_Palette[c].b;
    };
    std::map<uint32_t, uint8_t> first;
    for (int c = 255; c >= 0; c--) first[colour(c)] = (uint8_t)c;
    std::vector<uint8_t> shown(rgb.size()), expect(bb->data, bb->data + rgb.size());
    size_t unmatched = 0;
    for (size_t i = 0; i < rgb.size(); i++) {
        auto it = first.find(rgb[i]);
        unmatched += it == first.end();
        shown[i] = it == first.end() ? 0 : it->second;
    }
    EXPECT_EQ(unmatched, 0u) << "colours the palette doesn't have";
    BITMAP eb;
    Graph_InitBitmap(&eb, PLAT_WIDTH, PLAT_HEIGHT, expect.data());
    Cursor_Draw(&eb, GOLDEN_CURSOR_X, GOLDEN_CURSOR_Y);
    EXPECT_EQ(DemoFixture_Crc(expect.data()), kGoldenTestFrameWithCursor);
    for (uint8_t& p : expect) p = first[colour(p)];
    EXPECT_TRUE(DemoFixture_Matches(shown.data(), g_Palette, DemoFixture_Crc(expect.data()),
                                    "testframe_window_actual.pcx"));
}

static SDL_Event KeyEvent(Uint32 type, SDL_Scancode sc, SDL_Keycode sym, Uint16 mod)
{
    SDL_Event e;
    SDL_zero(e);
    e.type = type, e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = sc, e.key.keysym.sym = sym, e.key.keysym.mod = mod;
    return e;
}

static SDL_Event TextEvent(const char* text)
{
    SDL_Event e;
    SDL_zero(e);
    e.type = SDL_TEXTINPUT;
    strncpy(e.text.text, text, sizeof e.text.text - 1);
    return e;
}

TEST_F(SdlDisplay, KeysTakeTheirCharacterFromTheTextThatFollows)
{
    Drain();
    Input_Shutdown(); // a clean slate
    std::vector<SDL_Event> script = {
        KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_RSHIFT, SDLK_RSHIFT, 0),
        KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_2, SDLK_2, KMOD_RSHIFT),
        TextEvent("\""), // a layout where Shift+2 types a quote
        KeyEvent(SDL_KEYUP, SDL_SCANCODE_2, SDLK_2, KMOD_RSHIFT),
        KeyEvent(SDL_KEYUP, SDL_SCANCODE_RSHIFT, SDLK_RSHIFT, 0),
        KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_E, SDLK_e, 0),
        TextEvent("\xC3\xA9"), // é, Latin-1 0xE9
        KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_RETURN, SDLK_RETURN, 0),
        KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_A, SDLK_a, KMOD_LCTRL), // no text: Ctrl+A is 1
        KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_B, SDLK_b, 0),          // no text came: ASCII
    };
    SDL_Event repeat = KeyEvent(SDL_KEYDOWN, SDL_SCANCODE_B, SDLK_b, 0);
    repeat.key.repeat = 1;
    script.push_back(repeat); // a held key is one press
    for (SDL_Event& e : script) ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError();
    Plat_PumpMessages();

    struct {
        int scan, ch;
    } want[] = {{SC_RSHIFT, 0}, {SC_1 + 1, '"'}, {18, 0xE9}, {SC_RETURN, 13}, {SC_A, 1}, {48, 'b'}};
    for (const auto& w : want) {
        KEY_EVENT k;
        ASSERT_TRUE(Input_GetKeyEvent(&k)) << "missing key " << w.scan;
        EXPECT_EQ((int)k.scancode, w.scan);
        EXPECT_EQ(k.ch[0], w.ch) << "key " << w.scan;
    }
    EXPECT_FALSE(Input_GetKeyEvent(nullptr));
    EXPECT_TRUE(Input_KeyDown(48));
    EXPECT_FALSE(Input_KeyDown(SC_RSHIFT));
}

static void Push(Uint32 type, void (*fill)(SDL_Event*))
{
    SDL_Event e;
    SDL_zero(e);
    e.type = type;
    if (fill) fill(&e);
    SDL_PushEvent(&e);
}

TEST_F(SdlDisplay, WindowEventsReachActivationQuitAndTheMouse)
{
    Drain();
    Input_Shutdown(); // a clean slate
    Input_RawKey(SC_TAB, 1, 9);
    Push(SDL_WINDOWEVENT, [](SDL_Event* e) { e->window.event = SDL_WINDOWEVENT_FOCUS_LOST; });
    Plat_PumpMessages();
    EXPECT_FALSE(Plat_IsActive());
    EXPECT_FALSE(Input_KeyDown(SC_TAB)) << "keys are let go with the focus";
    Push(SDL_WINDOWEVENT, [](SDL_Event* e) { e->window.event = SDL_WINDOWEVENT_FOCUS_GAINED; });
    Plat_PumpMessages();
    EXPECT_TRUE(Plat_IsActive());
    Push(SDL_WINDOWEVENT, [](SDL_Event* e) { e->window.event = SDL_WINDOWEVENT_LEAVE; });
    Plat_PumpMessages();
    EXPECT_FALSE(Mouse_Inside()) << "the pointer left the window";
    Push(SDL_WINDOWEVENT, [](SDL_Event* e) { e->window.event = SDL_WINDOWEVENT_ENTER; });
    Plat_PumpMessages();
    EXPECT_TRUE(Mouse_Inside());

    Push(SDL_MOUSEBUTTONDOWN, [](SDL_Event* e) {
        e->button.button = SDL_BUTTON_RIGHT, e->button.state = SDL_PRESSED;
        e->button.x = 123, e->button.y = 456;
    });
    Push(SDL_MOUSEWHEEL, [](SDL_Event* e) { e->wheel.y = -2; });
    Plat_PumpMessages();
    EVENT *head = nullptr, *tail = nullptr, ev;
    ASSERT_EQ(Event_Poll(&head, &tail), 3);
    Event_Get(&head, &tail, &ev); // the key
    Event_Get(&head, &tail, &ev);
    EXPECT_EQ(std::tuple(ev.kind, ev.x, ev.y), std::tuple((uint32_t)EV_RIGHTDOWN, 123, 456));
    Event_Get(&head, &tail, &ev);
    EXPECT_EQ(std::pair(ev.kind, ev.value), std::pair((uint32_t)EV_WHEEL, -240));
    Push(SDL_QUIT, nullptr);
    EXPECT_EQ(Plat_PumpMessages(), 0) << "closing the window quits";
}

TEST_F(SdlDisplay, AudioDeviceOpensAndTheMixerFeedsIt)
{
    Sound_Init();
    EXPECT_TRUE(Sound_DigitalOn()) << "SDL's dummy audio driver";
    Plat_LockAudio(1); // the callback held off and let go
    Plat_LockAudio(0);
    Sound_Close();
}

// A game frozen by the lost focus presents no frames of its own: the window,
// uncovered, kept whatever had covered it until the focus came back.
class PlayerViewWindow : public SdlDisplay {};

TEST_F(PlayerViewWindow, AnUncoveredFrozenWindowKeptWhatHadCoveredIt)
{
    Drain();
    Push(SDL_WINDOWEVENT, [](SDL_Event* e) { e->window.event = SDL_WINDOWEVENT_FOCUS_LOST; });
    Plat_PumpMessages();
    const int before = PlatSdl_Repaints();
    Push(SDL_WINDOWEVENT, [](SDL_Event* e) { e->window.event = SDL_WINDOWEVENT_EXPOSED; });
    Plat_PumpMessages();
    EXPECT_EQ(PlatSdl_Repaints(), before + 1) << "the last frame shown again";
}
