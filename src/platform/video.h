// The display: the window, the 640 x 480 8-bit back buffer that everything
// draws into, and the flip that shows it with the mouse cursor on top.
//
// There is one buffer in memory; a flip hands it to the backend with the
// current palette (the backend converts and shows it at once), so nothing
// waits for a vertical blank and the buffer keeps its contents across flips.
#pragma once

#include <cstdint>

struct BITMAP;

// Opens the window (windowed from g_Config.windowed) and the back buffer.
// A window that can't be opened is fatal ("Unable to open the display").
// In an interactive run (a real window, standard input a terminal) fatal
// errors are also shown in a message box. Fatal "Video already initialised"
// on a second call.
void Video_Init(void);
// Closes the window, frees the back buffer and the terrain buffer, and
// removes the message box; fatal "Video not initialised" before Video_Init.
void Video_Close(void);
// Closes what is open but keeps the message box and the module state: the
// fatal path's hook, which runs before the box is shown; may run any time.
void Video_Shutdown(void);
// 1 while the display runs in a window (not full screen).
int Video_IsWindowed(void);

// Clears the back buffer to colour 0 and shows it (the base system's
// "Backbuffer", after the palette and cursor exist).
void Backbuf_Init(void);
// The back buffer as a drawing target; null before Video_Init.
BITMAP* Backbuf_Lock(void);

// Pumps window messages, then shows the back buffer with the cursor drawn at
// the mouse position (when shown); the back buffer is unchanged afterwards.
// Without a back buffer only the pump runs.
void Graph_FlipWithCursor(void);
// Waits until the display has finished: a flip is complete when it returns,
// so there is nothing to wait for.
void Graph_Flush(void);

// Calls callback with the primary surface's pixels, pitch and height and
// value; 0 (not called) before Video_Init. The primary surface is the back
// buffer: what the callback writes shows at the next flip.
typedef void (*VIDEO_SURFACE_FN)(uint8_t* pixels, int pitch, int height, void* value);
int Video_WithLockedSurface(VIDEO_SURFACE_FN callback, void* value);

// The 480 x 480 terrain buffer: created (fatal "Unable to create terrain
// buffer" when it can't be), freed (safe when absent) and read (null when
// absent). Creating it again keeps the one there is.
void Display_CreateTerrainBuffer(void);
void Display_FreeTerrainBuffer(void);
BITMAP* Display_TerrainBuffer(void);

// Where message lines go while the in-game interface shows them (null: only
// to the trace log, which keeps every message as a diagnostic line).
typedef void (*DISPLAY_MESSAGEFN)(const char* line);
void Display_SetMessageHook(DISPLAY_MESSAGEFN fn);
// A line for the player's message line.
void Display_Message(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// As Display_Message; the game messages use this one.
void Display_PaddedMessage(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
