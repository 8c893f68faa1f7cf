// The platform layer.
//
// One interface over the machine: the window's message pump and activation,
// the system millisecond clock (time stamps, time-outs, rate displays) and
// the game clock that paces the updates. Two backends implement it: SDL2 for
// play and a headless one for tests, whose clocks the caller advances.
// QUORVEX_PLATFORM=headless selects the headless backend.
#pragma once

#include <cstdint>

enum PLAT_BACKEND_KIND { PLAT_HEADLESS = 0, PLAT_SDL = 1 };

// The operations a backend provides.
struct PLAT_BACKEND {
    const char* name;
    int (*init)(void);            // 1 ready, 0 failed (the reason logged)
    void (*close)(void);
    void (*pump)(void);           // handles pending window events
    uint32_t (*systemms)(void);
    uint32_t (*gamems)(void);
    void (*idle)(void);           // gives the processor away briefly between frames
};

// Chooses the backend from QUORVEX_PLATFORM and starts it; 1 on success.
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

// Headless backend.
extern const PLAT_BACKEND g_PlatHeadless;
// Virtual clocks advance only by PlatHeadless_Advance (the default in tests);
// real clocks follow the monotonic clock (a headless run of the program).
void PlatHeadless_UseVirtualClock(int on);
// Advances both virtual clocks by ms.
void PlatHeadless_Advance(uint32_t ms);
// Called at every pump: a test's script of window events (activation, quit).
void PlatHeadless_SetPumpHook(void (*hook)(void));
// Sets the virtual clocks.
void PlatHeadless_SetClock(uint32_t systemms, uint32_t gamems);
