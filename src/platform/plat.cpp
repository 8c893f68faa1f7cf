// Backend selection and the parts of the platform layer common to backends.
#include "platform/plat.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "core/tlog.h"

static const PLAT_BACKEND* s_backend = &g_PlatHeadless;
static volatile sig_atomic_t s_quit = 0;
static int s_active = 1;

int Plat_InitWith(const PLAT_BACKEND* backend)
{
    s_backend = backend;
    s_active = 1;
    if (s_backend->init && !s_backend->init()) {
        s_backend = &g_PlatHeadless;
        return 0;
    }
    TLOG(TLOG_DIAG, "Platform: %s", s_backend->name);
    return 1;
}

int Plat_Init(void)
{
    const char* want = getenv("QUORVEX_PLATFORM");
    if (want && strcmp(want, "headless") == 0) return Plat_InitWith(&g_PlatHeadless);
    if (want && *want && strcmp(want, "sdl") != 0)
        TLOG(TLOG_WARNING, "Unknown platform [%s]: using SDL", want);
    return Plat_InitWith(&g_PlatSdl);
}

void Plat_Close(void)
{
    if (s_backend->close) s_backend->close();
    s_backend = &g_PlatHeadless;
}

const PLAT_BACKEND* Plat_Backend(void) { return s_backend; }
int Plat_IsHeadless(void) { return s_backend == &g_PlatHeadless; }

int Plat_PumpMessages(void)
{
    if (s_backend->pump) s_backend->pump();
    return s_quit ? 0 : 1;
}

void Plat_PostQuit(void) { s_quit = 1; }
int Plat_QuitSeen(void) { return s_quit != 0; }
void Plat_ClearQuit(void) { s_quit = 0; }
int Plat_IsActive(void) { return s_active; }
void Plat_SetActive(int active) { s_active = active ? 1 : 0; }
uint32_t Plat_SystemMs(void) { return s_backend->systemms ? s_backend->systemms() : 0; }
uint32_t Plat_GameMs(void) { return s_backend->gamems ? s_backend->gamems() : 0; }

void Plat_Idle(void)
{
    if (s_backend->idle) s_backend->idle();
}

// The window operations: a backend that lacks one does without it.

int Plat_OpenVideo(int windowed)
{
    return s_backend->openvideo ? s_backend->openvideo(windowed) : 0;
}

void Plat_CloseVideo(void)
{
    if (s_backend->closevideo) s_backend->closevideo();
}

void Plat_Present(const uint8_t* pixels, const PAL_RGB* palette)
{
    if (s_backend->present) s_backend->present(pixels, palette);
}

void Plat_WarpMouse(int x, int y)
{
    if (s_backend->warpmouse) s_backend->warpmouse(x, y);
}

int Plat_OpenAudio(void) { return s_backend->openaudio ? s_backend->openaudio() : 0; }

void Plat_CloseAudio(void)
{
    if (s_backend->closeaudio) s_backend->closeaudio();
}

void Plat_LockAudio(int lock)
{
    if (s_backend->lockaudio) s_backend->lockaudio(lock);
}

void Plat_Dialog(const char* title, const char* body)
{
    if (s_backend->dialog) s_backend->dialog(title, body);
}

static void OnQuitSignal(int) { s_quit = 1; }

void Plat_InstallQuitSignals(void)
{
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnQuitSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    // A parent may have started us with these blocked; closing must still work.
    sigset_t quit;
    sigemptyset(&quit);
    sigaddset(&quit, SIGINT);
    sigaddset(&quit, SIGTERM);
    sigprocmask(SIG_UNBLOCK, &quit, nullptr);
}
