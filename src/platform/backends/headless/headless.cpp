// Headless backend: no window; clocks virtual (tests) or real (a headless run).
// Presents are captured, pointer warps recorded and audio pulled on demand,
// so tests can see everything a window would show.
#include <cstring>
#include <ctime>

#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/sound.h"

static int s_virtual = 1;
static uint32_t s_systemms = 0;
static uint32_t s_gamems = 0;

static int s_videoOpen = 0;
static int s_windowed = 0;
static int s_flips = 0;
static uint8_t s_frame[PLAT_WIDTH * PLAT_HEIGHT];
static PAL_RGB s_framePalette[256];
static int s_warps = 0;
static int s_warpX = 0, s_warpY = 0;

static uint32_t MonotonicMs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint32_t)((uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u);
}

static int HeadlessInit(void) { return 1; }
static void HeadlessClose(void) { s_videoOpen = 0; }
static void (*s_pumpHook)(void) = nullptr;
static void HeadlessPump(void)
{
    if (s_pumpHook) s_pumpHook();
}
static uint32_t HeadlessSystemMs(void) { return s_virtual ? s_systemms : MonotonicMs(); }
static uint32_t HeadlessGameMs(void) { return s_virtual ? s_gamems : MonotonicMs(); }

static void HeadlessIdle(void)
{
    if (s_virtual) return; // tests drive time themselves
    struct timespec ts = {0, 1000000};
    nanosleep(&ts, nullptr);
}

static int HeadlessOpenVideo(int windowed)
{
    s_videoOpen = 1;
    s_windowed = windowed ? 1 : 0;
    return 1;
}

static void HeadlessCloseVideo(void) { s_videoOpen = 0; }

static void HeadlessPresent(const uint8_t* pixels, const PAL_RGB* palette)
{
    if (!pixels || !palette) return;
    memcpy(s_frame, pixels, sizeof s_frame);
    memcpy(s_framePalette, palette, sizeof s_framePalette);
    s_flips++;
}

static void HeadlessWarpMouse(int x, int y)
{
    s_warps++;
    s_warpX = x;
    s_warpY = y;
    Input_RawMouseMove(x, y);
}

static int HeadlessOpenAudio(void) { return 1; }
static void HeadlessCloseAudio(void) {}
// Audio is pulled on the caller's own thread: nothing to hold off.
static void HeadlessLockAudio(int) {}
// The fatal text already went to standard error and the error file.
static void HeadlessDialog(const char*, const char*) {}

const PLAT_BACKEND g_PlatHeadless = {
    "headless",        HeadlessInit,       HeadlessClose,     HeadlessPump,
    HeadlessSystemMs,  HeadlessGameMs,     HeadlessIdle,      HeadlessOpenVideo,
    HeadlessCloseVideo, HeadlessPresent,   HeadlessWarpMouse, HeadlessOpenAudio,
    HeadlessCloseAudio, HeadlessLockAudio, HeadlessDialog,
};

void PlatHeadless_UseVirtualClock(int on) { s_virtual = on ? 1 : 0; }
int PlatHeadless_VirtualClock(void) { return s_virtual; }

void PlatHeadless_Advance(uint32_t ms)
{
    s_systemms += ms;
    s_gamems += ms;
}

void PlatHeadless_SetClock(uint32_t systemms, uint32_t gamems)
{
    s_systemms = systemms;
    s_gamems = gamems;
}

void PlatHeadless_SetPumpHook(void (*hook)(void)) { s_pumpHook = hook; }

int PlatHeadless_Flips(void) { return s_flips; }

int PlatHeadless_LastFrame(const uint8_t** pixels, const PAL_RGB** palette)
{
    int have = s_flips > 0;
    if (pixels) *pixels = have ? s_frame : nullptr;
    if (palette) *palette = have ? s_framePalette : nullptr;
    return have;
}

void PlatHeadless_PullAudio(uint8_t* out, int samples)
{
    if (!out || samples <= 0) return;
    Sound_Mix(out, samples);
}

int PlatHeadless_LastWarp(int* x, int* y)
{
    if (x) *x = s_warpX;
    if (y) *y = s_warpY;
    return s_warps;
}

int PlatHeadless_VideoOpen(int* windowed)
{
    if (windowed) *windowed = s_windowed;
    return s_videoOpen;
}
