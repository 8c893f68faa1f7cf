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
    if (!s_backend->init()) {
        s_backend = &g_PlatHeadless;
        return 0;
    }
    TLOG(TLOG_DIAG, "Platform: %s", s_backend->name);
    return 1;
}

int Plat_Init(void)
{
    const char* want = getenv("QUORVEX_PLATFORM");
    if (want && *want && strcmp(want, "headless") != 0)
        TLOG(TLOG_WARNING, "Unknown platform [%s]: running headless", want);
    return Plat_InitWith(&g_PlatHeadless);
}

void Plat_Close(void)
{
    s_backend->close();
    s_backend = &g_PlatHeadless;
}

const PLAT_BACKEND* Plat_Backend(void) { return s_backend; }
int Plat_IsHeadless(void) { return s_backend == &g_PlatHeadless; }

int Plat_PumpMessages(void)
{
    s_backend->pump();
    return s_quit ? 0 : 1;
}

void Plat_PostQuit(void) { s_quit = 1; }
int Plat_QuitSeen(void) { return s_quit != 0; }
void Plat_ClearQuit(void) { s_quit = 0; }
int Plat_IsActive(void) { return s_active; }
void Plat_SetActive(int active) { s_active = active ? 1 : 0; }
uint32_t Plat_SystemMs(void) { return s_backend->systemms(); }
uint32_t Plat_GameMs(void) { return s_backend->gamems(); }
void Plat_Idle(void) { s_backend->idle(); }

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
