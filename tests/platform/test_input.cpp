// Scripted mouse and keyboard input through to the mouse queue, the key
// buffer and the input event records.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/input.h"
#include "platform/plat.h"
#include "support/testsupport.h"

using Types = std::vector<uint32_t>;
using XY = std::pair<int, int>;

class Input : public testing::Test {
protected:
    EVENT* head = nullptr;
    EVENT* tail = nullptr;

    void SetUp() override
    {
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(10000, 10000);
        Input_Init();
    }
    void TearDown() override
    {
        Event_Flush(&head, &tail);
        Input_Close();
    }
    void Click(int button)
    {
        Input_RawMouseButton(button, 1);
        Input_RawMouseButton(button, 0);
    }
    Types MouseTypes()
    {
        Types types;
        MOUSE_EVENT m;
        while (Mouse_GetEvent(&m)) types.push_back(m.type);
        return types;
    }
    std::vector<EVENT> Poll()
    {
        Event_Poll(&head, &tail);
        std::vector<EVENT> out;
        EVENT e;
        while (Event_Get(&head, &tail, &e)) out.push_back(e);
        return out;
    }
    Types Kinds()
    {
        Types kinds;
        for (const EVENT& e : Poll()) kinds.push_back(e.kind);
        return kinds;
    }
    XY Pointer()
    {
        int x, y;
        Mouse_GetState(&x, &y, nullptr);
        return {x, y};
    }
};

TEST_F(Input, MouseEventsCarryTypePositionButtonsAndModifiers)
{
    Input_RawMouseMove(10, 20);
    Input_RawMouseButton(0, 1);
    Input_RawMouseMove(30, 40);
    Input_RawKey(SC_LSHIFT, 1, 0);
    Input_RawMouseButton(1, 1);
    Input_RawMouseButton(0, 0);
    Input_RawMouseButton(1, 0);
    Input_RawMouseButton(1, 0); // repeated report: one event
    Input_RawMouseButton(7, 1); // no such button

    MOUSE_EVENT m;
    auto fields = [&] {
        return std::tuple<uint32_t, int, int, int, int>(m.type, m.x, m.y, m.buttons, m.modifiers);
    };
    ASSERT_TRUE(Mouse_PeekEvent(&m));
    ASSERT_TRUE(Mouse_GetEvent(&m)) << "peeking left the event queued";
    EXPECT_EQ(fields(), std::tuple(MOUSE_LEFTDOWN, 10, 20, MOUSE_BUTTON_LEFT, 0));
    ASSERT_TRUE(Mouse_GetEvent(&m));
    EXPECT_EQ(fields(),
              std::tuple(MOUSE_RIGHTDOWN, 30, 40, MOUSE_BUTTON_LEFT | MOUSE_BUTTON_RIGHT, MOD_LSHIFT));
    EXPECT_EQ(MouseTypes(), (Types{MOUSE_LEFTUP, MOUSE_RIGHTUP}));
}

TEST_F(Input, DoubleClicksAreLeftPressesWithin500msWhenEnabled)
{
    const uint32_t D = MOUSE_LEFTDOWN, U = MOUSE_LEFTUP, DC = MOUSE_DOUBLECLICK;
    const uint32_t RD = MOUSE_RIGHTDOWN, RU = MOUSE_RIGHTUP;
    const struct {
        const char* name;
        int enabled, button;
        std::vector<uint32_t> gaps; // ms after each click
        Types expected;
    } rows[] = {
        {"within 500 ms", 1, 0, {500, 0}, {D, U, DC, U}},
        {"after 500 ms", 1, 0, {501, 0}, {D, U, D, U}},
        {"a third press starts a new pair", 1, 0, {100, 100, 100, 100}, {D, U, DC, U, D, U, DC, U}},
        {"switched off", 0, 0, {0, 0}, {D, U, D, U}},
        {"right button", 1, 1, {0, 0}, {RD, RU, RD, RU}},
    };
    for (const auto& row : rows) {
        Input_Shutdown();
        Mouse_EnableDoubleClick(row.enabled);
        for (uint32_t gap : row.gaps) {
            Click(row.button);
            PlatHeadless_Advance(gap);
        }
        EXPECT_EQ(MouseTypes(), row.expected) << row.name;
    }
}

TEST_F(Input, ReleaseAfterADoubleClickPolledInALaterFrameKeepsItsKind)
{
    Mouse_EnableDoubleClick(1);
    Click(0);
    Input_RawMouseButton(0, 1);
    std::vector<EVENT> ev = Poll();
    ASSERT_EQ(ev.size(), 3u);
    EXPECT_EQ(std::pair(ev[2].kind, ev[2].dblclick), std::pair((uint32_t)EV_LEFTDOUBLE, 1u));
    Input_RawMouseButton(0, 0);
    ev = Poll();
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(std::pair(ev[0].kind, ev[0].dblclick), std::pair((uint32_t)EV_LEFTDOUBLEUP, 1u));
    Click(0); // 0 ms later, but a new pair
    EXPECT_EQ(Kinds(), (Types{EV_LEFTDOWN, EV_LEFTUP}));
}

// The game's pump took its double clicks from the widget queue's setting,
// which only a widget desktop's end turns on: from a fresh program the game's
// double-click actions could not be reached. The pump reports them always;
// the widget queue still follows its setting.
class PlayerViewInput : public Input {};

TEST_F(PlayerViewInput, AFreshInputLayerGaveTheGameNoDoubleClicks)
{
    const uint32_t D = MOUSE_LEFTDOWN, U = MOUSE_LEFTUP, DC = MOUSE_DOUBLECLICK;
    const struct {
        const char* name;
        int setting; // -1: never set
        bool pump;   // read through the game's pump, else the widget queue
        Types expected;
    } rows[] = {
        {"fresh, the game's pump", -1, true, {EV_LEFTDOWN, EV_LEFTUP, EV_LEFTDOUBLE, EV_LEFTDOUBLEUP}},
        {"switched off, the game's pump", 0, true, {EV_LEFTDOWN, EV_LEFTUP, EV_LEFTDOUBLE, EV_LEFTDOUBLEUP}},
        {"fresh, the widget queue", -1, false, {D, U, D, U}},
        {"switched on, the widget queue", 1, false, {D, U, DC, U}},
    };
    for (const auto& row : rows) {
        Input_Shutdown();
        if (row.setting >= 0) Mouse_EnableDoubleClick(row.setting);
        Click(0);
        PlatHeadless_Advance(100);
        Click(0);
        EXPECT_EQ(row.pump ? Kinds() : MouseTypes(), row.expected) << row.name;
    }
}

// Presses are buffered (key codes out of range ignored), releases only change
// the state; each record keeps the modifiers held at its press, and losing the
// focus lets every key go.
TEST_F(Input, KeyPressesAreBufferedWithTheModifiersOfTheirPress)
{
    Input_RawMouseMove(5, 6);
    Input_RawKey(SC_TAB, 1, 9);
    Input_RawKey(SC_Q, 1, 'q');
    Input_RawKey(SC_TAB, 0, 0);
    Input_RawKey(0, 1, 'x');
    Input_RawKey(256, 1, 'x');
    Input_RawKey(SC_RSHIFT, 1, 0);
    Input_RawKey(SC_RCTRL, 1, 0);
    Input_RawKey(SC_RALT, 1, 0);
    Input_RawKey(SC_RCTRL, 0, 0);
    Input_RawKey(SC_LCTRL, 1, 0);
    Input_RawKey(SC_Q, 1, 'Q');
    EXPECT_EQ(Input_GetModifiers(), MOD_RSHIFT | MOD_CTRL | MOD_LCTRL | MOD_ALT);
    EXPECT_TRUE(Input_KeyDown(SC_Q) && !Input_KeyDown(SC_TAB) && !Input_KeyDown(999));
    KEY_EVENT k;
    ASSERT_TRUE(Input_PeekKeyEvent(&k));
    EXPECT_EQ(std::tuple(k.scancode, k.ch[0], k.ch[1]), std::tuple((uint32_t)SC_TAB, (uint8_t)9, (uint8_t)0));
    std::vector<EVENT> ev = Poll();
    ASSERT_EQ(ev.size(), 7u);
    auto fields = [](const EVENT& e) {
        return std::tuple<uint32_t, uint32_t, int, uint32_t, int, int>(e.kind, e.key, e.ch,
                                                                       e.modifiers, e.x, e.y);
    };
    EXPECT_EQ(fields(ev[1]), std::tuple(EV_KEY, SC_Q, 'q', MOD_TAB, 5, 6)) << "Tab was held when q went down";
    EXPECT_EQ(fields(ev[6]), std::tuple(EV_KEY, SC_Q, 'Q', MOD_RSHIFT | MOD_CTRL | MOD_LCTRL | MOD_ALT, 5, 6));
    Input_RawReleaseAll(); // the window lost the focus
    EXPECT_TRUE(Input_GetModifiers() == 0 && !Input_KeyDown(SC_Q));
}

TEST_F(Input, EventPollKeepsTheOrderOfMouseKeysAndWheelAndFlushDropsTheMouse)
{
    Input_RawKey(SC_1, 1, '1');
    Input_RawMouseMove(100, 200);
    Input_RawMouseButton(0, 1);
    Input_RawWheel(-120);
    Input_RawKey(SC_SPACE, 1, ' ');
    Input_RawMouseButton(0, 0);
    Input_RawWheel(0); // no movement: nothing
    EXPECT_EQ(Event_Poll(&head, &tail), 5);
    // A second poll appends behind what the caller hasn't taken.
    Input_RawMouseButton(1, 1);
    EXPECT_EQ(Event_Poll(&head, &tail), 1);
    EVENT e;
    std::vector<EVENT> all;
    while (Event_Get(&head, &tail, &e)) {
        EXPECT_EQ(e.next, nullptr);
        all.push_back(e);
    }
    ASSERT_EQ(all.size(), 6u);
    Types kinds;
    for (const EVENT& ev : all) kinds.push_back(ev.kind);
    EXPECT_EQ(kinds, (Types{EV_KEY, EV_LEFTDOWN, EV_WHEEL, EV_KEY, EV_LEFTUP, EV_RIGHTDOWN}));
    EXPECT_EQ(std::tuple(all[2].value, all[2].x, all[1].value),
              std::tuple(-120, 100, (int)MOUSE_BUTTON_LEFT));
    EXPECT_TRUE(head == nullptr && tail == nullptr);
    // A flush empties the mouse and wheel but not the keys.
    Click(0);
    Input_RawWheel(120);
    Input_RawKey(SC_ESCAPE, 1, 27);
    Mouse_FlushEvents();
    EXPECT_EQ(Kinds(), (Types{EV_KEY}));
}

TEST_F(Input, FullQueuesDropTheNewestAndLogOncePerOverflow)
{
    QvLogCapture log;
    for (int i = 0; i < INPUT_QUEUE_SIZE + 6; i++) Input_RawKey(SC_1 + i % 10, 1, '0' + i % 10);
    for (int i = 0; i < INPUT_QUEUE_SIZE / 2 + 3; i++) Click(0);

    int keys = 0, lastkey = 0;
    KEY_EVENT k;
    while (Input_GetKeyEvent(&k)) keys++, lastkey = (int)k.scancode;
    EXPECT_EQ(keys, INPUT_QUEUE_SIZE);
    EXPECT_EQ(lastkey, SC_1 + (INPUT_QUEUE_SIZE - 1) % 10) << "the oldest ones are kept";
    EXPECT_EQ(MouseTypes().size(), (size_t)INPUT_QUEUE_SIZE);
    // Emptied: the next overflow is logged again.
    for (int i = 0; i < INPUT_QUEUE_SIZE + 1; i++) Input_RawKey(SC_A, 1, 'a');

    std::string text = log.text();
    auto count = [&](const std::string& what) {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
        return n;
    };
    EXPECT_EQ(count("The keyboard queue is full"), 2) << text;
    EXPECT_EQ(count("The mouse event queue is full"), 1) << text;
}

TEST_F(Input, PositionIsClampedToAClipRectangleOnTheScreen)
{
    Input_RawMouseMove(10, 300);
    Mouse_SetClipRect(100, 50, 199, 149);
    EXPECT_EQ(Pointer(), XY(100, 149));
    Input_RawMouseMove(500, 20);
    Input_RawMouseButton(1, 1);
    MOUSE_EVENT m;
    ASSERT_TRUE(Mouse_GetEvent(&m));
    EXPECT_EQ(XY(m.x, m.y), XY(199, 50)) << "events report the clamped position too";
    Mouse_SetClipRect(-50, -10, 900, 700); // cut to the screen: freed
    int l, t, r, b;
    Mouse_GetClipRect(&l, &t, &r, &b);
    EXPECT_EQ(std::tuple(l, t, r, b), std::tuple(0, 0, 639, 479));
    EXPECT_EQ(Pointer(), XY(500, 20));
    Mouse_SetClipRect(300, 200, 100, 50); // inverted: one point
    Input_RawMouseMove(-40, 9999);
    EXPECT_EQ(Pointer(), XY(300, 200));
}

TEST_F(Input, SetPosWarpsThePointerAndRestoreReturnsToTheSavedPlace)
{
    int warps = PlatHeadless_LastWarp(nullptr, nullptr);
    Input_RawMouseMove(40, 50);
    Mouse_SavePos();
    Mouse_SetPos(620, 470);
    int wx, wy;
    EXPECT_EQ(PlatHeadless_LastWarp(&wx, &wy), warps + 1);
    EXPECT_EQ(XY(wx, wy), XY(620, 470));
    EXPECT_EQ(Pointer(), XY(620, 470));
    Mouse_SetPos(1000, -5);
    EXPECT_EQ(Pointer(), XY(639, 0));
    Mouse_RestorePos();
    EXPECT_EQ(Pointer(), XY(40, 50));
}
