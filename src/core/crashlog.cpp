#include "core/crashlog.h"

#include <execinfo.h>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#ifndef QV_SANITIZED
static char s_path[512];
static const int s_signals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

static void PutText(int fd, const char* text)
{
    ssize_t ignored = write(fd, text, strlen(text));
    (void)ignored;
}

static void PutHex(int fd, unsigned long value)
{
    char buf[19] = "0x";
    for (int i = 0; i < 16; i++) buf[2 + i] = "0123456789abcdef"[(value >> (60 - 4 * i)) & 15];
    buf[18] = 0;
    PutText(fd, buf);
}

static void PutDec(int fd, int value)
{
    char buf[16];
    int i = 15;
    buf[i] = 0;
    unsigned v = value < 0 ? -(unsigned)value : (unsigned)value;
    do buf[--i] = (char)('0' + v % 10);
    while ((v /= 10) && i > 1);
    if (value < 0) buf[--i] = '-';
    PutText(fd, buf + i);
}

static const char* SignalName(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV (access violation)";
    case SIGBUS: return "SIGBUS (bus error)";
    case SIGILL: return "SIGILL (illegal instruction)";
    case SIGFPE: return "SIGFPE (arithmetic fault)";
    case SIGABRT: return "SIGABRT (abort)";
    default: return "signal";
    }
}

static void OnCrash(int sig, siginfo_t* info, void*)
{
    int fd = open(s_path, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
        PutText(fd, "Exception: ");
        PutText(fd, SignalName(sig));
        PutText(fd, " signal ");
        PutDec(fd, sig);
        PutText(fd, " at address ");
        PutHex(fd, (unsigned long)(info ? info->si_addr : nullptr));
        PutText(fd, "\nCall stack:\n");
        void* frames[64];
        int n = backtrace(frames, 64);
        backtrace_symbols_fd(frames, n, fd);
        PutText(fd, "\n");
        close(fd);
    }
    // SA_RESETHAND restored the default action: let the signal end the process.
    raise(sig);
}

int Crashlog_Install(const char* path)
{
    strncpy(s_path, path, sizeof s_path - 1);
    // The first backtrace() loads the unwinder; do that now, not in the handler.
    void* warm[2];
    backtrace(warm, 2);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_sigaction = OnCrash;
    sa.sa_flags = SA_SIGINFO | SA_RESETHAND;
    sigemptyset(&sa.sa_mask);
    for (int sig : s_signals) sigaction(sig, &sa, nullptr);
    return 1;
}
#else
// The sanitizers' own reports are better than ours.
int Crashlog_Install(const char*) { return 0; }
#endif

void Crashlog_Remove(void)
{
#ifndef QV_SANITIZED
    for (int sig : s_signals) signal(sig, SIG_DFL);
#endif
}
