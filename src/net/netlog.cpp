#include "net/netlog.h"

#include <cstdint>
#include <mutex>

#include "core/tlog.h"
#include "platform/thread.h"

namespace {

struct Kind {
    unsigned category;
    const char* name;
};

// The summary's category is the one of the kind's own lines.
const Kind kKinds[NETLOG_KINDS] = {
    {TLOG_NERR, "Packet of impossible length"},
    {TLOG_NERR, "Packet length against its datagram"},
    {TLOG_NWARN, "Datagram longer than a packet"},
    {TLOG_NERR, "CRC Error during verification"},
    {TLOG_NERR, "Packet of unknown type"},
    {TLOG_NWARN, "Acknowledgement of no pending packet"},
    {TLOG_NWARN, "Acknowledgement from another address"},
    {TLOG_NDIAG, "Duplicate packet"},
    {TLOG_NWARN, "No room for a new source"},
    {TLOG_NWARN, "Source table full"},
    {TLOG_NWARN, "Packet refused from an address that may not send it"},
    {TLOG_NERR, "Outgoing buffer is full"},
    {TLOG_NWARN, "Incoming buffer is full!"},
    {TLOG_NWARN, "Send refused by the transport"},
    {TLOG_NWARN, "Packet of no use in this state"},
};

struct Window {
    bool open;
    uint32_t start; // network clock
    int logged, counted;
};

std::mutex s_lock;
Window s_windows[NETLOG_KINDS];

// Under s_lock: the kind's count to report when its second is over (then
// closing the window), else 0.
int Expire(Window& w, uint32_t now)
{
    if (!w.open || now - w.start < 1000) return 0;
    int n = w.counted;
    w = Window{};
    return n;
}

void Summary(int kind, int n)
{
    if (n > 0) TLOG(kKinds[kind].category, "%s: %d more dropped in the last second", kKinds[kind].name, n);
}

} // namespace

int NetLog_Allow(int kind)
{
    uint32_t now = Thread_ClockMs();
    int expired, allow;
    {
        std::lock_guard<std::mutex> hold(s_lock);
        Window& w = s_windows[kind];
        expired = Expire(w, now);
        if (!w.open) w = Window{true, now, 0, 0};
        allow = w.logged < NETLOG_LINES_PER_SECOND;
        if (allow)
            w.logged++;
        else
            w.counted++;
    }
    Summary(kind, expired);
    return allow;
}

void NetLog_Flush(void)
{
    uint32_t now = Thread_ClockMs();
    int expired[NETLOG_KINDS];
    {
        std::lock_guard<std::mutex> hold(s_lock);
        for (int k = 0; k < NETLOG_KINDS; k++) expired[k] = Expire(s_windows[k], now);
    }
    for (int k = 0; k < NETLOG_KINDS; k++) Summary(k, expired[k]);
}

void NetLog_Reset(void)
{
    std::lock_guard<std::mutex> hold(s_lock);
    for (Window& w : s_windows) w = Window{};
}
