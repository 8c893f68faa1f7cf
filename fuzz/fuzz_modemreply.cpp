// Modem replies through the line module into the modem layer's line
// callback. The input is a mode byte (bit 0: wait for a call instead of
// dialling; bit 1: take the channel over once connected), then chunks
// {u8 length, bytes} as the modem would send them; the queued line messages
// are pumped after each chunk. The line is a pty of the target's own whose
// far end only swallows what the module writes.
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "core/config.h"
#include "fuzzsupport.h"
#include "net/atline.h"
#include "net/comm.h"
#include "net/modem.h"

static int s_master = -1, s_slave = -1;

static void Setup(void)
{
    if (s_master >= 0) return;
    char name[256];
    if (openpty(&s_master, &s_slave, name, nullptr, nullptr) != 0) abort();
    fcntl(s_master, F_SETFL, fcntl(s_master, F_GETFL) | O_NONBLOCK);
    snprintf(g_Config.modemports, sizeof g_Config.modemports, "%s", name);
    ATLine_SetGuardMs(0);
}

static void OnStatus(const char*) {}

static void fuzz_ModemReply(const uint8_t* data, size_t size)
{
    if (size == 0) return;
    if (!MODEM_Init(nullptr)) abort();
    MODEM_MessageRegister(OnStatus);
    int opened = data[0] & 1 ? MODEM_Answer(0) : MODEM_dial(0, "5551234");
    if (!opened) abort();
    size_t at = 1;
    while (at < size) {
        size_t length = data[at++];
        if (length > size - at) length = size - at;
        ATLine_Receive(ATLine_LineOf(0), data + at, length);
        ATLine_Pump();
        uint32_t status = MODEM_GetStatus();
        if (status > 4) abort();
        if (status == 3 && (data[0] & 2)) MODEM_Connect();
        at += length;
    }
    MODEM_Close();
    if (MODEM_GetStatus() != 0) abort();
    COMM_SetPort("", 0);
    uint8_t drain[4096];
    while (read(s_master, drain, sizeof drain) > 0) {
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Setup();
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(fuzz_ModemReply(data, size));
    return 0;
}
