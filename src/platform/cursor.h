// The mouse cursors.
//
// The cursor file ("mouse.crs", docs/formats.md) holds every cursor the game
// shows: a hot spot and a few frames of palette indices, animated at a fixed
// number of milliseconds per frame. One cursor is current; the display draws
// it into the back buffer at each flip while the shown flag is set.
//
// The animation runs on the system clock (Plat_SystemMs), not the game
// clock, so a paused game keeps a live pointer. Selecting a cursor restarts
// its animation from the first frame, but selecting the cursor that is
// already current changes nothing: callers set the cursor every frame from
// what lies under the pointer, which must not freeze the animation on frame 0.
#pragma once

#include <cstdint>

struct BITMAP;
struct GRECT;

enum {
    CURSOR_VERSION = 512,
    CURSOR_MAXCURSORS = 1024,
    CURSOR_MAXFRAMES = 64,
    CURSOR_MAXSIZE = 32,
};

// One cursor: frames x w x h palette indices (0 transparent), frame by frame,
// each row by row.
struct CURSOR {
    int frames;
    int hotx, hoty;
    int msperframe;
    int w, h;
    uint8_t* pixels;
};

// The loaded cursors and the animation state.
struct CURSORINFO {
    int nrcursors;        // 0 until a file is loaded
    CURSOR* cursors;
    int current;          // -1 until a file is loaded
    int frame;
    uint32_t framestart;  // system ms when the current frame began
    int shown;
};
extern CURSORINFO cursorinfo;

// Loads a cursor file, replacing the loaded cursors; cursor 0 becomes current
// from its first frame. 1 ok; 0 on a missing, truncated or inconsistent file
// (logged with the file and the offset), the cursors loaded before kept.
int Cursor_Load(const char* path);
// Frees the cursors; nothing is drawn until the next load.
void Cursor_Unload(void);
// Writes count cursors as a cursor file (atomically); 1 ok, 0 when a cursor
// is out of the format's ranges or the write fails (logged).
int Cursor_Write(const char* path, const CURSOR* cursors, int count);

// Makes cursor c current, its animation from the first frame; the current
// cursor again is nothing to do. Asserts "c>=0 && c<cursorinfo.nrcursors".
void Cursor_Set(int c);
// Advances the current cursor's animation by the system time passed.
void Cursor_Update(void);
// The current cursor's number; -1 before a load.
int Cursor_Current(void);

// Sets and clears the flag that has the flip draw the cursor (set at start).
void Mouse_ShowCursor(void);
void Mouse_HideCursor(void);
int Mouse_IsCursorShown(void);

// The part of the 640 x 480 screen the current frame covers with the pointer
// at (x, y) (at most 32 x 32; empty off screen or before a load). Asserts "out".
void Cursor_GetRect(int x, int y, GRECT* out);
// Draws the current frame with its hot spot at (x, y), colour 0 transparent,
// clipped to dst; nothing before a load. Asserts "dst".
void Cursor_Draw(BITMAP* dst, int x, int y);
