// The serial transport over a pty pair: 300-byte packets sent with
// COMM_iface_send, echoed back by a thread on the master end, taken with
// COMM_iface_recv, at most seven in flight (a ring's room). The reference
// writes the same frames straight to the terminal end and reads them back
// from it through the same echo. Times are per frame; the ratio line gives
// the transport's rate in bytes per second as well.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "benchsupport.h"
#include "core/bytes.h"
#include "net/comm.h"
#include "net/netpacket.h"
#include "net/netpkt.h"

namespace {

const int kWindow = 7;
const int kFrame = (int)COMM_FRAME_HEADER + (int)NET_MAX_PACKET;

struct Pty {
    int master = -1, slave = -1;
    char path[256];
    std::atomic<int> stop{0};
    std::thread echo;
};

void WriteAll(int fd, const uint8_t* p, size_t n)
{
    while (n > 0) {
        ssize_t k = write(fd, p, n);
        if (k > 0) {
            p += k;
            n -= (size_t)k;
        } else if (k < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            pollfd w = {fd, POLLOUT, 0};
            poll(&w, 1, 10);
        }
    }
}

int Open(Pty* pty)
{
    if (openpty(&pty->master, &pty->slave, pty->path, nullptr, nullptr) != 0) return 0;
    termios t;
    tcgetattr(pty->master, &t);
    cfmakeraw(&t);
    tcsetattr(pty->master, TCSANOW, &t);
    tcsetattr(pty->slave, TCSANOW, &t);
    pty->echo = std::thread([pty] {
        uint8_t b[4096];
        while (!pty->stop.load()) {
            pollfd p = {pty->master, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            ssize_t n = read(pty->master, b, sizeof b);
            if (n > 0) WriteAll(pty->master, b, (size_t)n);
        }
    });
    return 1;
}

void Close(Pty* pty)
{
    pty->stop.store(1);
    pty->echo.join();
    close(pty->master);
    close(pty->slave);
}

NetPacket Packet()
{
    NetPacket p;
    memset(&p, 0, sizeof p);
    uint8_t data[NET_MAX_DATA];
    for (int i = 0; i < NET_MAX_DATA; i++) data[i] = (uint8_t)i;
    Net_BuildPacket(&p, data, NET_MAX_DATA, NET_ROUND);
    return p;
}

void BM_SerialTransport(benchmark::State& state)
{
    Pty pty;
    if (!Open(&pty)) {
        state.SkipWithError("no pty");
        return;
    }
    COMM_SetPort(pty.path, 115200);
    NetAddress own;
    if (!COMM_Init(&own)) {
        Close(&pty);
        state.SkipWithError("the serial transport did not start");
        return;
    }
    NetPacket out = Packet(), in;
    NetAddress from;
    uint32_t time;
    long sent = 0, back = 0;
    for (auto _ : state) {
        while (sent - back >= kWindow || !COMM_iface_send(&out, &own)) {
            if (COMM_iface_recv(&in, &from, &time)) back++;
            else std::this_thread::yield();
        }
        sent++;
        while (COMM_iface_recv(&in, &from, &time)) back++;
    }
    for (int spins = 0; back < sent && spins < 1000000; spins++)
        if (COMM_iface_recv(&in, &from, &time)) back++;
        else std::this_thread::yield();
    state.SetBytesProcessed(state.iterations() * kFrame);
    COMM_Close();
    Close(&pty);
}
BENCHMARK(BM_SerialTransport)->UseRealTime();

void BM_PtyFrames(benchmark::State& state)
{
    Pty pty;
    if (!Open(&pty)) {
        state.SkipWithError("no pty");
        return;
    }
    fcntl(pty.slave, F_SETFL, fcntl(pty.slave, F_GETFL) | O_NONBLOCK);
    uint8_t frame[kFrame];
    NetPacket p = Packet();
    memcpy(frame, "HEAD", 4);
    Bytes_PutU32(frame + 4, NET_MAX_PACKET);
    memcpy(frame + COMM_FRAME_HEADER, p.raw, NET_MAX_PACKET);
    uint8_t b[4096];
    long sent = 0, got = 0; // bytes
    for (auto _ : state) {
        while (got < (sent - (kWindow - 1) * kFrame)) {
            pollfd r = {pty.slave, POLLIN, 0};
            poll(&r, 1, 10);
            ssize_t n = read(pty.slave, b, sizeof b);
            if (n > 0) got += n;
        }
        WriteAll(pty.slave, frame, kFrame);
        sent += kFrame;
        ssize_t n = read(pty.slave, b, sizeof b);
        if (n > 0) got += n;
    }
    for (int tries = 0; got < sent && tries < 1000; tries++) {
        pollfd r = {pty.slave, POLLIN, 0};
        poll(&r, 1, 10);
        ssize_t n = read(pty.slave, b, sizeof b);
        if (n > 0) got += n;
    }
    state.SetBytesProcessed(state.iterations() * kFrame);
    Close(&pty);
}
BENCHMARK(BM_PtyFrames)->UseRealTime();

} // namespace

QV_BENCH_RATIO(serial, "serial ratio (COMM frame round trip / plain pty frame round trip)", "BM_SerialTransport/real_time",
               "BM_PtyFrames/real_time");
