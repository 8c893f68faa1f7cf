// Mouse and keyboard input.
//
// Backends report what they see through the Input_Raw* calls; this module
// turns it into the three forms the game reads:
//   - the mouse event queue (64 entries; types 2 left down, 4 left up,
//     8 right down, 16 right up, 512 left double-click press), read by the
//     modal loops with Mouse_GetEvent;
//   - the buffered keyboard (64 key presses, each a scan code and up to two
//     character bytes) and the held-key state;
//   - the input event queue: Event_Poll drains both of the above, in the
//     order they arrived, into the caller's linked list of EVENT records.
//
// Scan codes are the DirectInput codes (1 Escape .. 88 F12, 156 keypad Enter,
// 200 Up, 203 Left, 205 Right, 208 Down, ...). Positions are 640 x 480 screen
// pixels.
//
// A double click: with double clicks enabled, a left press within 500 ms
// (inclusive, on the system clock) of the previous left press is queued as
// type 512 instead of type 2; the press after a double click starts afresh,
// so a triple click is a double click and then a single press. In the event
// queue that press becomes kind 2048 and the release that follows it kind
// 8192 (instead of 64 and 512). Right double clicks are not detected: the
// kinds 4096 and 16384 exist for callers that test them, and never arrive.
//
// A full queue drops the newest event; the first drop is logged, and again
// only after the queue has been empty since.
#pragma once

#include <cstdint>

enum { INPUT_QUEUE_SIZE = 64, DOUBLECLICK_MS = 500, DOUBLECLICK_PX = 4 };

enum MOUSE_EVENT_TYPE {
    MOUSE_LEFTDOWN = 2,
    MOUSE_LEFTUP = 4,
    MOUSE_RIGHTDOWN = 8,
    MOUSE_RIGHTUP = 16,
    MOUSE_DOUBLECLICK = 512,
};

enum MOUSE_BUTTON { MOUSE_BUTTON_LEFT = 1, MOUSE_BUTTON_RIGHT = 2 };

enum INPUT_MODIFIER {
    MOD_RSHIFT = 1,
    MOD_LSHIFT = 2,
    MOD_CTRL = 4,
    MOD_ALT = 8,
    MOD_TAB = 16,
    // Left Ctrl alone (MOD_CTRL is either): the developer keys want the left
    // one, and a key's event must say what was held at its press.
    MOD_LCTRL = 32,
};

// The scan codes the module itself needs (modifiers) and the ones tests use.
enum SCANCODE {
    SC_ESCAPE = 1,
    SC_1 = 2,
    SC_BACKSPACE = 14,
    SC_TAB = 15,
    SC_Q = 16,
    SC_A = 30,
    SC_RETURN = 28,
    SC_LCTRL = 29,
    SC_LSHIFT = 42,
    SC_RSHIFT = 54,
    SC_LALT = 56,
    SC_SPACE = 57,
    SC_F1 = 59,
    SC_F12 = 88,
    SC_KP_ENTER = 156,
    SC_RCTRL = 157,
    SC_KP_DIVIDE = 181,
    SC_RALT = 184,
    SC_HOME = 199,
    SC_UP = 200,
    SC_PGUP = 201,
    SC_LEFT = 203,
    SC_RIGHT = 205,
    SC_END = 207,
    SC_DOWN = 208,
    SC_PGDN = 209,
    SC_INSERT = 210,
    SC_DELETE = 211,
};

enum EVENT_KIND {
    EV_RIGHTDOWN = 32,
    EV_LEFTDOWN = 64,
    EV_KEY = 128,
    EV_LEFTUP = 512,
    EV_RIGHTUP = 1024,
    EV_LEFTDOUBLE = 2048,
    EV_RIGHTDOUBLE = 4096,
    EV_LEFTDOUBLEUP = 8192,
    EV_RIGHTDOUBLEUP = 16384,
    EV_WHEEL = 32768,
};

// One mouse event.
struct MOUSE_EVENT {
    uint32_t type;       // MOUSE_EVENT_TYPE
    int32_t x, y;        // pointer position, clamped to the clip rectangle
    uint16_t reserved;   // always 0
    uint16_t buttons;    // buttons held after the event (MOUSE_BUTTON bits)
    uint8_t modifiers;   // Input_GetModifiers() when it happened
};

// One buffered key press.
struct KEY_EVENT {
    uint32_t scancode;
    uint8_t ch[2];       // the character typed (0 for none), then 0
};

// One record of the input event queue.
struct EVENT {
    uint32_t kind;       // EVENT_KIND
    int32_t x, y;        // pointer position when it happened
    int32_t value;       // wheel: the delta (+120 a notch away from the user); mouse: buttons held
    uint8_t ch;          // key: the character typed, 0 for none
    uint32_t key;        // key: the scan code
    uint32_t modifiers;  // INPUT_MODIFIER bits when it happened
    uint32_t dblclick;   // 1 for the double-click kinds
    EVENT* next;
};

// Clears every queue, the key state, the clip rectangle and the pointer.
// Fatal "Input already initialised" on a second call.
void Input_Init(void);
// Clears as Input_Init does; fatal "Input not initialised" before it.
void Input_Close(void);
// Clears everything without the module's guard: the fatal path's hook, which
// may run any time and twice.
void Input_Shutdown(void);

// --- what backends call ---

// A key went down (down 1) or up (0); character: what it types (0 for
// none). A press is buffered; scan codes outside 1..255 are ignored.
void Input_RawKey(int scancode, int down, int character);
// The pointer moved to (x, y) (clamped to the screen).
void Input_RawMouseMove(int x, int y);
// A button (0 left, 1 right) went down or up at the current position; a
// report of the state it already has is ignored.
void Input_RawMouseButton(int button, int down);
// The wheel turned by delta.
void Input_RawWheel(int delta);
// The pointer left the window (0) or came back (1). Outside, it stays where
// it was last seen.
void Input_RawMouseInside(int inside);
// Releases every held key and button (the window lost the focus); queues
// no event.
void Input_RawReleaseAll(void);

// --- the mouse ---

// Copies the oldest mouse event without removing it; 1 when there was one.
int Mouse_PeekEvent(MOUSE_EVENT* event);
// Removes the oldest mouse event into event; 1 when there was one.
int Mouse_GetEvent(MOUSE_EVENT* event);
// Turns the widget queue's double clicks on or off (off by default): a left
// press within DOUBLECLICK_MS and DOUBLECLICK_PX pixels of the previous one.
// Event_Poll reports such a press as a double click whatever this says.
void Mouse_EnableDoubleClick(int on);
// Empties the mouse event queue (and the wheel's).
void Mouse_FlushEvents(void);
// The pointer position clamped to the clip rectangle, and the held buttons
// (MOUSE_BUTTON bits); any pointer may be null.
void Mouse_GetState(int* x, int* y, int* buttons);
// 0 while the pointer is outside the window: the screen edge it left by is
// not pointed at.
int Mouse_Inside(void);
// Moves the pointer (through the backend).
void Mouse_SetPos(int x, int y);
// Remembers the pointer position / moves the pointer back there.
void Mouse_SavePos(void);
void Mouse_RestorePos(void);
// Confines the pointer to the inclusive rectangle (clamped to the screen;
// an inverted edge is moved onto the other); (0, 0, 639, 479) frees it.
void Mouse_SetClipRect(int left, int top, int right, int bottom);
void Mouse_GetClipRect(int* left, int* top, int* right, int* bottom);

// --- the keyboard ---

// Copies the oldest buffered key press; 1 when there was one.
int Input_PeekKeyEvent(KEY_EVENT* event);
// Removes the oldest buffered key press; 1 when there was one.
int Input_GetKeyEvent(KEY_EVENT* event);
// The order number of the oldest waiting key press / mouse event, from the
// one counter that numbers both (compare them by difference, as int32_t);
// 1 when there was one.
int Input_PeekKeySeq(uint32_t* seq);
int Mouse_PeekEventSeq(uint32_t* seq);
// Lets the backend pass on the presses that a held key repeats (off at
// start: in the game a held key is one press).
void Input_EnableKeyRepeat(int on);
// 1 while held keys repeat.
int Input_KeyRepeatEnabled(void);
// 1 while the key is held.
int Input_KeyDown(int scancode);
// INPUT_MODIFIER bits from the held keys.
int Input_GetModifiers(void);

// --- the input event queue ---

// Starts the event module (the base system's "Events"); fatal "Events
// already initialised" on a second call.
void Event_Init(void);
// Frees what is left in the program's own queue (g_EventHead); fatal
// "Events not initialised" before Event_Init.
void Event_Close(void);
// Moves every pending mouse, wheel and key event, in arrival order, to the
// end of the caller's queue; returns how many were added. Running out of
// memory for a record is fatal ("event").
int Event_Poll(EVENT** head, EVENT** tail);
// Removes the first record of the queue into *record (its next cleared) and
// frees it; 1 when there was one.
int Event_Get(EVENT** head, EVENT** tail, EVENT* record);
// Frees every record of the queue.
void Event_Flush(EVENT** head, EVENT** tail);

// The program's input event queue.
extern EVENT* g_EventHead;
extern EVENT* g_EventTail;
