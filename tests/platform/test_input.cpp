// Scripted mouse and keyboard input through to the mouse queue, the key
// buffer and the input event records.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/tlog.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "support/testsupport.h"

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
    std::vector<uint32_t> MouseTypes()
    {
        std::vector<uint32_t> types;
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
    std::vector<uint32_t> Kinds()
    {
        std::vector<uint32_t> kinds;
        for (const EVENT& e : Poll()) kinds.push_back(e.kind);
        return kinds;
    }
};

using Types = std::vector<uint32_t>;

TEST_F(Input, MouseEventsCarryTypePositionButtonsAndModifiers)
{
    Input_RawMouseMove(10, 20);
    Input_RawMouseButton(0, 1);
    Input_RawMouseMove(30, 40);
    Input_RawKey(SC_LSHIFT, 1, 0);
    Input_RawMouseButton(1, 1);
    Input_RawMouseButton(0, 0);
    Input_RawMouseButton(1, 0);

    MOUSE_EVENT m;
    ASSERT_TRUE(Mouse_PeekEvent(&m));
    EXPECT_EQ(m.type, (uint32_t)MOUSE_LEFTDOWN);
    ASSERT_TRUE(Mouse_GetEvent(&m)) << "peeking left the event queued";
    EXPECT_EQ(m.x, 10);
    EXPECT_EQ(m.y, 20);
    EXPECT_EQ(m.buttons, MOUSE_BUTTON_LEFT);
    EXPECT_EQ(m.modifiers, 0);
    ASSERT_TRUE(Mouse_GetEvent(&m));
    EXPECT_EQ(m.type, (uint32_t)MOUSE_RIGHTDOWN);
    EXPECT_EQ(m.x, 30);
    EXPECT_EQ(m.buttons, MOUSE_BUTTON_LEFT | MOUSE_BUTTON_RIGHT);
    EXPECT_EQ(m.modifiers, MOD_LSHIFT);
    EXPECT_EQ(MouseTypes(), (Types{MOUSE_LEFTUP, MOUSE_RIGHTUP}));
    EXPECT_FALSE(Mouse_GetEvent(&m));
}

TEST_F(Input, RepeatedButtonReportIsOneEvent)
{
    Input_RawMouseButton(0, 1);
    Input_RawMouseButton(0, 1);
    Input_RawMouseButton(0, 0);
    Input_RawMouseButton(0, 0);
    Input_RawMouseButton(7, 1); // no such button
    EXPECT_EQ(MouseTypes(), (Types{MOUSE_LEFTDOWN, MOUSE_LEFTUP}));
}

// ---- double clicks ----

TEST_F(Input, DoubleClicksAreLeftPressesWithin500msWhenEnabled)
{
    const uint32_t D = MOUSE_LEFTDOWN, U = MOUSE_LEFTUP, DC = MOUSE_DOUBLECLICK;
    const struct {
        const char* name;
        int enabled;
        int button;
        std::vector<uint32_t> gaps; // ms after each click
        Types expected;
    } rows[] = {
        {"within 500 ms", 1, 0, {500, 0}, {D, U, DC, U}},
        {"after 500 ms", 1, 0, {501, 0}, {D, U, D, U}},
        {"a third press starts a new pair", 1, 0, {100, 100, 100, 100}, {D, U, DC, U, D, U, DC, U}},
        {"switched off", 0, 0, {0, 0}, {D, U, D, U}},
        {"right button", 1, 1, {0, 0}, {MOUSE_RIGHTDOWN, MOUSE_RIGHTUP, MOUSE_RIGHTDOWN, MOUSE_RIGHTUP}},
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

TEST_F(Input, DoubleClickBecomesDoubleClickPressAndReleaseEvents)
{
    Mouse_EnableDoubleClick(1);
    Click(0);
    PlatHeadless_Advance(200);
    Click(0);
    Click(1);
    std::vector<EVENT> ev = Poll();
    ASSERT_EQ(ev.size(), 6u);
    EXPECT_EQ(ev[0].kind, (uint32_t)EV_LEFTDOWN);
    EXPECT_EQ(ev[1].kind, (uint32_t)EV_LEFTUP);
    EXPECT_EQ(ev[2].kind, (uint32_t)EV_LEFTDOUBLE);
    EXPECT_EQ(ev[2].dblclick, 1u);
    EXPECT_EQ(ev[3].kind, (uint32_t)EV_LEFTDOUBLEUP);
    EXPECT_EQ(ev[3].dblclick, 1u);
    EXPECT_EQ(ev[4].kind, (uint32_t)EV_RIGHTDOWN);
    EXPECT_EQ(ev[5].kind, (uint32_t)EV_RIGHTUP);
    EXPECT_EQ(ev[5].dblclick, 0u);
}

TEST_F(Input, ReleaseAfterADoubleClickPolledInALaterFrameKeepsItsKind)
{
    Mouse_EnableDoubleClick(1);
    Click(0);
    Input_RawMouseButton(0, 1);
    EXPECT_EQ(Kinds(), (Types{EV_LEFTDOWN, EV_LEFTUP, EV_LEFTDOUBLE}));
    Input_RawMouseButton(0, 0);
    EXPECT_EQ(Kinds(), (Types{EV_LEFTDOUBLEUP}));
    Click(0); // 0 ms later, but a new pair
    EXPECT_EQ(Kinds(), (Types{EV_LEFTDOWN, EV_LEFTUP}));
}

// ---- the keyboard ----

TEST_F(Input, KeyPressesAreBufferedReleasesOnlyChangeTheState)
{
    Input_RawKey(SC_A, 1, 'a');
    EXPECT_TRUE(Input_KeyDown(SC_A));
    Input_RawKey(SC_A, 0, 0);
    EXPECT_FALSE(Input_KeyDown(SC_A));
    Input_RawKey(SC_RETURN, 1, 13);
    Input_RawKey(0, 1, 'x');   // out of range: ignored
    Input_RawKey(256, 1, 'x');
    KEY_EVENT k;
    ASSERT_TRUE(Input_PeekKeyEvent(&k));
    EXPECT_EQ(k.scancode, (uint32_t)SC_A);
    ASSERT_TRUE(Input_GetKeyEvent(&k));
    EXPECT_EQ(k.ch[0], 'a');
    EXPECT_EQ(k.ch[1], 0);
    ASSERT_TRUE(Input_GetKeyEvent(&k));
    EXPECT_EQ(k.scancode, (uint32_t)SC_RETURN);
    EXPECT_EQ(k.ch[0], 13);
    EXPECT_FALSE(Input_GetKeyEvent(&k));
    EXPECT_FALSE(Input_KeyDown(0));
    EXPECT_FALSE(Input_KeyDown(999));
}

TEST_F(Input, ModifiersFollowTheHeldKeys)
{
    Input_RawKey(SC_TAB, 1, 9);
    EXPECT_EQ(Input_GetModifiers(), MOD_TAB);
    Input_RawKey(SC_RSHIFT, 1, 0);
    Input_RawKey(SC_RCTRL, 1, 0);
    Input_RawKey(SC_RALT, 1, 0);
    EXPECT_EQ(Input_GetModifiers(), MOD_TAB | MOD_RSHIFT | MOD_CTRL | MOD_ALT);
    Input_RawKey(SC_RCTRL, 0, 0);
    Input_RawKey(SC_LCTRL, 1, 0);
    Input_RawKey(SC_LSHIFT, 1, 0);
    EXPECT_EQ(Input_GetModifiers(), MOD_TAB | MOD_RSHIFT | MOD_LSHIFT | MOD_CTRL | MOD_ALT);
    Input_RawReleaseAll(); // the window lost the focus
    EXPECT_EQ(Input_GetModifiers(), 0);
    EXPECT_FALSE(Input_KeyDown(SC_TAB));
}

TEST_F(Input, KeyEventRecordsKeepTheModifiersOfTheirPress)
{
    Input_RawMouseMove(5, 6);
    Input_RawKey(SC_TAB, 1, 9);
    Input_RawKey(SC_Q, 1, 'q');
    Input_RawKey(SC_TAB, 0, 0);
    Input_RawKey(SC_RSHIFT, 1, 0);
    Input_RawKey(SC_Q, 1, 'Q');
    std::vector<EVENT> ev = Poll();
    ASSERT_EQ(ev.size(), 4u);
    EXPECT_EQ(ev[0].kind, (uint32_t)EV_KEY);
    EXPECT_EQ(ev[0].key, (uint32_t)SC_TAB);
    EXPECT_EQ(ev[1].key, (uint32_t)SC_Q);
    EXPECT_EQ(ev[1].ch, 'q');
    EXPECT_EQ(ev[1].modifiers, (uint32_t)MOD_TAB) << "Tab was held when q went down";
    EXPECT_EQ(ev[1].x, 5);
    EXPECT_EQ(ev[1].y, 6);
    EXPECT_EQ(ev[2].key, (uint32_t)SC_RSHIFT);
    EXPECT_EQ(ev[3].ch, 'Q');
    EXPECT_EQ(ev[3].modifiers, (uint32_t)MOD_RSHIFT);
}

// ---- the input event queue ----

TEST_F(Input, EventPollKeepsTheOrderOfMouseKeysAndWheel)
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
    EXPECT_EQ(Event_Poll(&head, &tail), 0);
    EVENT e;
    std::vector<uint32_t> kinds;
    std::vector<EVENT> all;
    while (Event_Get(&head, &tail, &e)) {
        EXPECT_EQ(e.next, nullptr);
        all.push_back(e);
        kinds.push_back(e.kind);
    }
    EXPECT_EQ(kinds, (Types{EV_KEY, EV_LEFTDOWN, EV_WHEEL, EV_KEY, EV_LEFTUP, EV_RIGHTDOWN}));
    EXPECT_EQ(all[2].value, -120);
    EXPECT_EQ(all[2].x, 100);
    EXPECT_EQ(all[1].value, MOUSE_BUTTON_LEFT);
    EXPECT_EQ(head, nullptr);
    EXPECT_EQ(tail, nullptr);
    // Both sources were drained; an empty queue gives nothing.
    EXPECT_FALSE(Mouse_PeekEvent(nullptr));
    EXPECT_FALSE(Input_PeekKeyEvent(nullptr));
    e.kind = 77;
    EXPECT_FALSE(Event_Get(&head, &tail, &e));
    EXPECT_EQ(e.kind, 77u);
}

TEST_F(Input, FlushEmptiesTheMouseAndWheelButNotTheKeys)
{
    Click(0);
    Input_RawWheel(120);
    Input_RawKey(SC_ESCAPE, 1, 27);
    Mouse_FlushEvents();
    EXPECT_EQ(Kinds(), (Types{EV_KEY}));
}

TEST_F(Input, FullQueuesDropTheNewestAndLogOncePerOverflow)
{
    QvTempDir dir;
    std::string log = dir.file("input.log");
    Tlog_SetFile(log.c_str());
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
    Tlog_SetFile(nullptr);

    std::string text = dir.read("input.log");
    auto count = [&](const std::string& what) {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
        return n;
    };
    EXPECT_EQ(count("The keyboard queue is full"), 2) << text;
    EXPECT_EQ(count("The mouse event queue is full"), 1) << text;
}

// ---- the pointer ----

TEST_F(Input, PositionIsClampedToTheClipRectangle)
{
    Input_RawMouseMove(10, 300);
    Mouse_SetClipRect(100, 50, 199, 149);
    int x, y, b;
    Mouse_GetState(&x, &y, &b);
    EXPECT_EQ(x, 100);
    EXPECT_EQ(y, 149);
    EXPECT_EQ(b, 0);
    Input_RawMouseMove(500, 20);
    Input_RawMouseButton(1, 1);
    Mouse_GetState(&x, &y, &b);
    EXPECT_EQ(x, 199);
    EXPECT_EQ(y, 50);
    EXPECT_EQ(b, MOUSE_BUTTON_RIGHT);
    MOUSE_EVENT m;
    ASSERT_TRUE(Mouse_GetEvent(&m));
    EXPECT_EQ(m.x, 199) << "events report the clamped position too";
    EXPECT_EQ(m.y, 50);
    int l, t, r, bt;
    Mouse_GetClipRect(&l, &t, &r, &bt);
    EXPECT_EQ(l, 100);
    EXPECT_EQ(t, 50);
    EXPECT_EQ(r, 199);
    EXPECT_EQ(bt, 149);

    Mouse_SetClipRect(0, 0, 639, 479); // freed
    Mouse_GetState(&x, &y, nullptr);
    EXPECT_EQ(x, 500);
    EXPECT_EQ(y, 20);
}

TEST_F(Input, ClipRectangleStaysOnTheScreen)
{
    Mouse_SetClipRect(-50, -10, 900, 700);
    int l, t, r, b;
    Mouse_GetClipRect(&l, &t, &r, &b);
    EXPECT_EQ(l, 0);
    EXPECT_EQ(t, 0);
    EXPECT_EQ(r, 639);
    EXPECT_EQ(b, 479);
    Mouse_SetClipRect(300, 200, 100, 50); // inverted: one point
    Mouse_GetClipRect(&l, &t, &r, &b);
    EXPECT_EQ(r, 300);
    EXPECT_EQ(b, 200);
    Input_RawMouseMove(-40, 9999);
    int x, y;
    Mouse_GetState(&x, &y, nullptr);
    EXPECT_EQ(x, 300);
    EXPECT_EQ(y, 200);
}

TEST_F(Input, SetPosWarpsThePointerAndRestoreReturnsToTheSavedPlace)
{
    int warps = PlatHeadless_LastWarp(nullptr, nullptr);
    Input_RawMouseMove(40, 50);
    Mouse_SavePos();
    Mouse_SetPos(620, 470);
    int wx, wy, x, y;
    EXPECT_EQ(PlatHeadless_LastWarp(&wx, &wy), warps + 1);
    EXPECT_EQ(wx, 620);
    EXPECT_EQ(wy, 470);
    Mouse_GetState(&x, &y, nullptr);
    EXPECT_EQ(x, 620);
    EXPECT_EQ(y, 470);
    Mouse_SetPos(1000, -5);
    Mouse_GetState(&x, &y, nullptr);
    EXPECT_EQ(x, 639);
    EXPECT_EQ(y, 0);
    Mouse_RestorePos();
    Mouse_GetState(&x, &y, nullptr);
    EXPECT_EQ(x, 40);
    EXPECT_EQ(y, 50);
}
