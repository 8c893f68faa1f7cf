// Mouse and keyboard input: the raw reports, the two 64-entry queues and the
// input event queue built from them.
#include "platform/input.h"

#include <cstdlib>
#include <cstring>

#include "core/debug.h"
#include "core/guard.h"
#include "core/tlog.h"
#include "platform/plat.h"

// Each queued event carries a sequence number, so that Event_Poll can merge
// the mouse, wheel and key queues back into the order the user acted in.
struct MOUSE_SLOT {
    MOUSE_EVENT ev;
    uint32_t seq;
    int paired; // a left press that ends a double click, whether or not the widget queue shows it so
};
struct KEY_SLOT {
    KEY_EVENT ev;
    uint32_t seq;
    uint8_t modifiers;
    int32_t x, y;
};
struct WHEEL_SLOT {
    int32_t delta;
    uint32_t seq;
    uint8_t modifiers;
    int32_t x, y;
};

// A fixed ring of N slots.
template <class T, int N> struct RING {
    T slot[N];
    int head;
    int count;
    int overflowLogged;
    const char* name;

    void Clear()
    {
        head = count = 0;
        overflowLogged = 0;
    }
    // 0 when full: the newest event is the one dropped.
    int Push(const T& v)
    {
        if (count == N) {
            if (!overflowLogged) {
                TLOG(TLOG_WARNING, "The %s queue is full: events dropped", name);
                overflowLogged = 1;
            }
            return 0;
        }
        slot[(head + count) % N] = v;
        count++;
        return 1;
    }
    const T* Front() const { return count ? &slot[head] : nullptr; }
    void Pop()
    {
        head = (head + 1) % N;
        if (--count == 0) overflowLogged = 0;
    }
};

static RING<MOUSE_SLOT, INPUT_QUEUE_SIZE> s_mouse = {{}, 0, 0, 0, "mouse event"};
static RING<KEY_SLOT, INPUT_QUEUE_SIZE> s_keys = {{}, 0, 0, 0, "keyboard"};
static RING<WHEEL_SLOT, INPUT_QUEUE_SIZE> s_wheel = {{}, 0, 0, 0, "mouse wheel"};

static uint32_t s_seq = 0;
static int s_keyRepeat = 0;
static uint8_t s_keyDown[256];
static int s_x = 0, s_y = 0;       // the pointer as reported, on the screen
static int s_buttons = 0;
static int s_inside = 1;
static int s_clipL = 0, s_clipT = 0, s_clipR = PLAT_WIDTH - 1, s_clipB = PLAT_HEIGHT - 1;
static int s_savedX = 0, s_savedY = 0;
// The widget queue shows a paired press as a double click only while this is
// on; the game's event pump always does, so the game's double-click actions
// don't wait for a widget desktop to have run once.
static int s_doubleClick = 0;
static int s_havePress = 0;        // a left press that the next one may pair with
static uint32_t s_lastPressMs = 0;
static int s_lastPressX = 0, s_lastPressY = 0;
// Event_Poll's memory: the left release after a double click is its own kind.
static int s_leftAfterDouble = 0;

EVENT* g_EventHead = nullptr;
EVENT* g_EventTail = nullptr;

static int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

static MODULE_GUARD s_inputGuard = MODULE_GUARD_INIT("Input");
static MODULE_GUARD s_eventGuard = MODULE_GUARD_INIT("Events");

void Input_Init(void)
{
    Guard_Init(&s_inputGuard);
    Input_Shutdown();
}

void Input_Close(void)
{
    Guard_Close(&s_inputGuard);
    Input_Shutdown();
}

void Input_Shutdown(void)
{
    s_mouse.Clear();
    s_keys.Clear();
    s_wheel.Clear();
    s_seq = 0;
    s_keyRepeat = 0;
    memset(s_keyDown, 0, sizeof s_keyDown);
    s_x = s_y = 0;
    s_buttons = 0;
    s_inside = 1;
    s_clipL = s_clipT = 0;
    s_clipR = PLAT_WIDTH - 1;
    s_clipB = PLAT_HEIGHT - 1;
    s_savedX = s_savedY = 0;
    s_doubleClick = 0;
    s_havePress = 0;
    s_lastPressMs = 0;
    s_lastPressX = s_lastPressY = 0;
    s_leftAfterDouble = 0;
}

// --- raw reports ---

void Input_RawKey(int scancode, int down, int character)
{
    if (scancode < 1 || scancode > 255) return;
    s_keyDown[scancode] = down ? 1 : 0;
    if (!down) return;
    KEY_SLOT k;
    k.ev.scancode = (uint32_t)scancode;
    k.ev.ch[0] = (uint8_t)character;
    k.ev.ch[1] = 0;
    k.seq = s_seq++;
    k.modifiers = (uint8_t)Input_GetModifiers();
    Mouse_GetState(&k.x, &k.y, nullptr);
    s_keys.Push(k);
}

void Input_RawMouseMove(int x, int y)
{
    s_x = Clamp(x, 0, PLAT_WIDTH - 1);
    s_y = Clamp(y, 0, PLAT_HEIGHT - 1);
}

static void QueueMouse(uint32_t type, int paired = 0)
{
    MOUSE_SLOT m;
    m.paired = paired;
    m.ev.type = type;
    Mouse_GetState(&m.ev.x, &m.ev.y, nullptr);
    m.ev.reserved = 0;
    m.ev.buttons = (uint16_t)s_buttons;
    m.ev.modifiers = (uint8_t)Input_GetModifiers();
    m.seq = s_seq++;
    s_mouse.Push(m);
}

void Input_RawMouseButton(int button, int down)
{
    if (button != 0 && button != 1) return;
    int bit = button == 0 ? MOUSE_BUTTON_LEFT : MOUSE_BUTTON_RIGHT;
    if (((s_buttons & bit) != 0) == (down != 0)) return;
    s_buttons = down ? (s_buttons | bit) : (s_buttons & ~bit);
    if (button == 1) {
        QueueMouse(down ? MOUSE_RIGHTDOWN : MOUSE_RIGHTUP);
        return;
    }
    if (!down) {
        QueueMouse(MOUSE_LEFTUP);
        return;
    }
    uint32_t now = Plat_SystemMs();
    // A press elsewhere is a new click, however soon: two quick clicks on
    // two buttons, or a click and a box drawn at once, stay what they are.
    int x, y;
    Mouse_GetState(&x, &y, nullptr);
    int near = abs(x - s_lastPressX) <= DOUBLECLICK_PX && abs(y - s_lastPressY) <= DOUBLECLICK_PX;
    s_lastPressX = x;
    s_lastPressY = y;
    if (s_havePress && near && now - s_lastPressMs <= DOUBLECLICK_MS) {
        s_havePress = 0; // a third press starts a new pair
        QueueMouse(s_doubleClick ? MOUSE_DOUBLECLICK : MOUSE_LEFTDOWN, 1);
        return;
    }
    s_havePress = 1;
    s_lastPressMs = now;
    QueueMouse(MOUSE_LEFTDOWN);
}

void Input_RawWheel(int delta)
{
    if (delta == 0) return;
    WHEEL_SLOT w;
    w.delta = delta;
    w.seq = s_seq++;
    w.modifiers = (uint8_t)Input_GetModifiers();
    Mouse_GetState(&w.x, &w.y, nullptr);
    s_wheel.Push(w);
}

void Input_RawReleaseAll(void)
{
    memset(s_keyDown, 0, sizeof s_keyDown);
    s_buttons = 0;
}

// --- the mouse ---

int Mouse_PeekEvent(MOUSE_EVENT* event)
{
    const MOUSE_SLOT* m = s_mouse.Front();
    if (!m) return 0;
    if (event) *event = m->ev;
    return 1;
}

int Mouse_GetEvent(MOUSE_EVENT* event)
{
    if (!Mouse_PeekEvent(event)) return 0;
    s_mouse.Pop();
    return 1;
}

void Mouse_EnableDoubleClick(int on)
{
    s_doubleClick = on ? 1 : 0;
    s_havePress = 0;
}

void Mouse_FlushEvents(void)
{
    s_mouse.Clear();
    s_wheel.Clear();
    s_leftAfterDouble = 0;
}

void Input_RawMouseInside(int inside) { s_inside = inside ? 1 : 0; }

int Mouse_Inside(void) { return s_inside; }

void Mouse_GetState(int* x, int* y, int* buttons)
{
    if (x) *x = Clamp(s_x, s_clipL, s_clipR);
    if (y) *y = Clamp(s_y, s_clipT, s_clipB);
    if (buttons) *buttons = s_buttons;
}

void Mouse_SetPos(int x, int y)
{
    x = Clamp(x, 0, PLAT_WIDTH - 1);
    y = Clamp(y, 0, PLAT_HEIGHT - 1);
    Plat_WarpMouse(x, y);
    // The backend's report may come later (or never, without a window):
    // the game reads the new position at once.
    Input_RawMouseMove(x, y);
}

void Mouse_SavePos(void) { Mouse_GetState(&s_savedX, &s_savedY, nullptr); }
void Mouse_RestorePos(void) { Mouse_SetPos(s_savedX, s_savedY); }

void Mouse_SetClipRect(int left, int top, int right, int bottom)
{
    s_clipL = Clamp(left, 0, PLAT_WIDTH - 1);
    s_clipT = Clamp(top, 0, PLAT_HEIGHT - 1);
    s_clipR = Clamp(right, s_clipL, PLAT_WIDTH - 1);
    s_clipB = Clamp(bottom, s_clipT, PLAT_HEIGHT - 1);
}

void Mouse_GetClipRect(int* left, int* top, int* right, int* bottom)
{
    if (left) *left = s_clipL;
    if (top) *top = s_clipT;
    if (right) *right = s_clipR;
    if (bottom) *bottom = s_clipB;
}

// --- the keyboard ---

int Input_PeekKeyEvent(KEY_EVENT* event)
{
    const KEY_SLOT* k = s_keys.Front();
    if (!k) return 0;
    if (event) *event = k->ev;
    return 1;
}

int Input_GetKeyEvent(KEY_EVENT* event)
{
    if (!Input_PeekKeyEvent(event)) return 0;
    s_keys.Pop();
    return 1;
}

int Input_PeekKeySeq(uint32_t* seq)
{
    const KEY_SLOT* k = s_keys.Front();
    if (!k) return 0;
    if (seq) *seq = k->seq;
    return 1;
}

int Mouse_PeekEventSeq(uint32_t* seq)
{
    const MOUSE_SLOT* m = s_mouse.Front();
    if (!m) return 0;
    if (seq) *seq = m->seq;
    return 1;
}

void Input_EnableKeyRepeat(int on) { s_keyRepeat = on ? 1 : 0; }

int Input_KeyRepeatEnabled(void) { return s_keyRepeat; }

int Input_KeyDown(int scancode)
{
    if (scancode < 1 || scancode > 255) return 0;
    return s_keyDown[scancode];
}

int Input_GetModifiers(void)
{
    int m = 0;
    if (s_keyDown[SC_RSHIFT]) m |= MOD_RSHIFT;
    if (s_keyDown[SC_LSHIFT]) m |= MOD_LSHIFT;
    if (s_keyDown[SC_LCTRL] || s_keyDown[SC_RCTRL]) m |= MOD_CTRL;
    if (s_keyDown[SC_LCTRL]) m |= MOD_LCTRL;
    if (s_keyDown[SC_LALT] || s_keyDown[SC_RALT]) m |= MOD_ALT;
    if (s_keyDown[SC_TAB]) m |= MOD_TAB;
    return m;
}

// --- the input event queue ---

void Event_Init(void)
{
    Guard_Init(&s_eventGuard);
    Event_Flush(&g_EventHead, &g_EventTail);
    s_leftAfterDouble = 0;
}

void Event_Close(void)
{
    Guard_Close(&s_eventGuard);
    Event_Flush(&g_EventHead, &g_EventTail);
}

static void Append(EVENT** head, EVENT** tail, const EVENT& e)
{
    EVENT* r = (EVENT*)Debug_MallocFor(sizeof(EVENT), "event");
    *r = e;
    r->next = nullptr;
    if (*tail)
        (*tail)->next = r;
    else
        *head = r;
    *tail = r;
}

static EVENT FromMouse(const MOUSE_EVENT& m, int paired)
{
    EVENT e = {};
    e.x = m.x;
    e.y = m.y;
    e.value = m.buttons;
    e.modifiers = m.modifiers;
    switch (m.type) {
    case MOUSE_LEFTDOWN:
        if (!paired) {
            e.kind = EV_LEFTDOWN;
            s_leftAfterDouble = 0;
            break;
        }
        [[fallthrough]];
    case MOUSE_DOUBLECLICK:
        e.kind = EV_LEFTDOUBLE;
        e.dblclick = 1;
        s_leftAfterDouble = 1;
        break;
    case MOUSE_LEFTUP:
        e.kind = s_leftAfterDouble ? EV_LEFTDOUBLEUP : EV_LEFTUP;
        e.dblclick = (uint32_t)s_leftAfterDouble;
        s_leftAfterDouble = 0;
        break;
    case MOUSE_RIGHTDOWN: e.kind = EV_RIGHTDOWN; break;
    default: e.kind = EV_RIGHTUP; break;
    }
    return e;
}

int Event_Poll(EVENT** head, EVENT** tail)
{
    ASSERT(head && tail);
    int added = 0;
    for (;;) {
        const MOUSE_SLOT* m = s_mouse.Front();
        const KEY_SLOT* k = s_keys.Front();
        const WHEEL_SLOT* w = s_wheel.Front();
        // The oldest of the three fronts (sequence numbers are compared by
        // difference, so their wrap doesn't matter).
        int pick = -1;
        uint32_t best = 0;
        if (m) pick = 0, best = m->seq;
        if (k && (pick < 0 || (int32_t)(k->seq - best) < 0)) pick = 1, best = k->seq;
        if (w && (pick < 0 || (int32_t)(w->seq - best) < 0)) pick = 2, best = w->seq;
        if (pick < 0) break;
        EVENT e = {};
        if (pick == 0) {
            e = FromMouse(m->ev, m->paired);
            s_mouse.Pop();
        } else if (pick == 1) {
            e.kind = EV_KEY;
            e.x = k->x;
            e.y = k->y;
            e.ch = k->ev.ch[0];
            e.key = k->ev.scancode;
            e.modifiers = k->modifiers;
            s_keys.Pop();
        } else {
            e.kind = EV_WHEEL;
            e.x = w->x;
            e.y = w->y;
            e.value = w->delta;
            e.modifiers = w->modifiers;
            s_wheel.Pop();
        }
        Append(head, tail, e);
        added++;
    }
    return added;
}

int Event_Get(EVENT** head, EVENT** tail, EVENT* record)
{
    ASSERT(head && tail);
    EVENT* first = *head;
    if (!first) return 0;
    *head = first->next;
    if (!*head) *tail = nullptr;
    if (record) {
        *record = *first;
        record->next = nullptr;
    }
    Debug_Free(&first);
    return 1;
}

void Event_Flush(EVENT** head, EVENT** tail)
{
    while (Event_Get(head, tail, nullptr)) {
    }
}
