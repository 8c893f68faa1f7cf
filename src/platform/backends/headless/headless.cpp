// Headless backend: no window; clocks virtual (tests) or real (a headless run).
#include <ctime>

#include "platform/plat.h"

static int s_virtual = 1;
static uint32_t s_systemms = 0;
static uint32_t s_gamems = 0;

static uint32_t MonotonicMs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint32_t)((uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u);
}

static int HeadlessInit(void) { return 1; }
static void HeadlessClose(void) {}
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

const PLAT_BACKEND g_PlatHeadless = {"headless",       HeadlessInit,   HeadlessClose, HeadlessPump,
                                     HeadlessSystemMs, HeadlessGameMs, HeadlessIdle};

void PlatHeadless_UseVirtualClock(int on) { s_virtual = on ? 1 : 0; }

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
