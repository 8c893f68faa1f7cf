// The platform layer.
//
// One interface over the machine: the window's message pump and activation,
// the system millisecond clock (time stamps, time-outs, rate displays) and
// the game clock that paces the updates. Two backends implement it: SDL2 for
// play and a headless one for tests, whose clocks the caller advances.
// QUORVEX_PLATFORM=headless selects the headless backend.
#pragma once

#include <cstdint>

struct PAL_RGB;

enum PLAT_BACKEND_KIND { PLAT_HEADLESS = 0, PLAT_SDL = 1 };
enum { PLAT_WIDTH = 640, PLAT_HEIGHT = 480, PLAT_AUDIO_RATE = 11025 };

// The operations a backend provides. A backend turns its own events into the
// input module's raw calls (Input_Raw*), posts quit and activation here, and
// pulls audio from the mixer (Sound_Mix).
struct PLAT_BACKEND {
    const char* name;
    int (*init)(void);            // 1 ready, 0 failed (the reason logged)
    void (*close)(void);
    void (*pump)(void);           // handles pending window events
    uint32_t (*systemms)(void);
    uint32_t (*gamems)(void);
    void (*idle)(void);           // gives the processor away briefly between frames
    // The 640 x 480 window (windowed or full screen); 1 on success.
    int (*openvideo)(int windowed);
    void (*closevideo)(void);
    // Shows a 640 x 480 8-bit frame through the palette.
    void (*present)(const uint8_t* pixels, const PAL_RGB* palette);
    // Moves the pointer (640 x 480 coordinates).
    void (*warpmouse)(int x, int y);
    // The audio device at 11025 Hz, unsigned 8-bit mono; 1 on success.
    int (*openaudio)(void);
    void (*closeaudio)(void);
    // Holds the audio callback off while the mixer's voices change.
    void (*lockaudio)(int lock);
    // Shows a message box (the fatal dialog of an interactive run).
    void (*dialog)(const char* title, const char* body);
};

// Chooses the backend from QUORVEX_PLATFORM ("headless", else SDL) and starts
// it; 1 on success. SDL without a display says so on stderr and fails.
int Plat_Init(void);
// Starts the given backend (tests); 1 on success.
int Plat_InitWith(const PLAT_BACKEND* backend);
void Plat_Close(void);
// The running backend (headless before Plat_Init).
const PLAT_BACKEND* Plat_Backend(void);
int Plat_IsHeadless(void);

// Handles pending window events; 0 once quit was seen, 1 otherwise.
int Plat_PumpMessages(void);
// Asks the program to quit, as closing the window does. Async-signal-safe.
void Plat_PostQuit(void);
// 1 once quit was asked for.
int Plat_QuitSeen(void);
// Clears the quit request (a new run in the same process).
void Plat_ClearQuit(void);
// 1 while the window is active (the game is frozen while it isn't).
int Plat_IsActive(void);
void Plat_SetActive(int active);
// The system millisecond clock.
uint32_t Plat_SystemMs(void);
// The game clock in milliseconds.
uint32_t Plat_GameMs(void);
// Gives the processor away briefly (between frames of an idle loop).
void Plat_Idle(void);
// Routes SIGINT and SIGTERM to Plat_PostQuit.
void Plat_InstallQuitSignals(void);

// Window operations through the running backend; an operation the backend
// lacks does nothing (and reports failure where it returns a result).
// Opens the 640 x 480 window; 1 on success.
int Plat_OpenVideo(int windowed);
// Closes the window; nothing when none is open.
void Plat_CloseVideo(void);
// Shows a 640 x 480 8-bit frame through a 256-entry palette.
void Plat_Present(const uint8_t* pixels, const PAL_RGB* palette);
// Moves the pointer to (x, y) in 640 x 480 coordinates.
void Plat_WarpMouse(int x, int y);
// Opens the audio device (11025 Hz u8 mono, pulled from Sound_Mix); 1 on success.
int Plat_OpenAudio(void);
// Closes the audio device; nothing when none is open.
void Plat_CloseAudio(void);
// lock 1 holds the audio callback off until a matching lock 0.
void Plat_LockAudio(int lock);
// Shows a message box (nothing on a backend without one).
void Plat_Dialog(const char* title, const char* body);

// Headless backend.
extern const PLAT_BACKEND g_PlatHeadless;
// Virtual clocks advance only by PlatHeadless_Advance (the default, for
// tests); real clocks follow the monotonic clock and idling sleeps, as the
// program's own run chooses (Quorvex_Main).
void PlatHeadless_UseVirtualClock(int on);
// 1 while the virtual clocks run.
int PlatHeadless_VirtualClock(void);
// Advances both virtual clocks by ms.
void PlatHeadless_Advance(uint32_t ms);
// Called at every pump: a test's script of window events (activation, quit).
void PlatHeadless_SetPumpHook(void (*hook)(void));
// Sets the virtual clocks.
void PlatHeadless_SetClock(uint32_t systemms, uint32_t gamems);
// Frames presented since the process started.
int PlatHeadless_Flips(void);
// The last presented frame (640 x 480 bytes) and its palette; 0 (both null)
// before the first present.
int PlatHeadless_LastFrame(const uint8_t** pixels, const PAL_RGB** palette);
// Fills out with samples of the mixer's output (Sound_Mix), as an audio
// device would pull them.
void PlatHeadless_PullAudio(uint8_t* out, int samples);
// The number of pointer warps so far and the last position warped to.
int PlatHeadless_LastWarp(int* x, int* y);
// 1 while the headless window is open; its windowed flag.
int PlatHeadless_VideoOpen(int* windowed);

// SDL backend.
extern const PLAT_BACKEND g_PlatSdl;
// Draws the last presented frame again and reads the window's pixels back
// as 640 x 480 0x00RRGGBB words (tests of the real display); 1 on success,
// 0 without a window or when it isn't 640 x 480 (full screen).
int PlatSdl_ReadBack(uint32_t* argb);
// The times the last frame was shown again because the window was uncovered.
int PlatSdl_Repaints(void);
// The window's title and size; 1 while the window is open.
int PlatSdl_WindowInfo(const char** title, int* w, int* h);
// The DirectInput scan code of an SDL scan code; 0 for a key the game doesn't know.
int PlatSdl_ScanCode(int sdlscancode);
