// Lock-step rounds between two processes on loopback, no orders and no
// updates, against a plain UDP exchange between two processes in which each
// sends one datagram a round and waits for the other's. Times are per round.
// The other side is a child process (forked before this one starts its
// network) that plays rounds until it is killed or its time is up.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "benchsupport.h"
#include "core/gamestate.h"
#include "net/quornet.h"
#include "platform/thread.h"

namespace {

const uint32_t kChildSeconds = 120; // the child's own bound

NetAddress Node(int n) { return {NET_TYPE_UDP, {127, 0, 0, (uint8_t)(1 + n), 0, 0}}; }

// This process as node own of a two-node game already launched.
bool JoinGame(int own)
{
    char ip[16];
    snprintf(ip, sizeof ip, "127.0.0.%d", 1 + own);
    setenv("QUORVEX_NETADDRESS", ip, 1);
    if (!Net_Init(NET_TYPE_UDP)) return false;
    Net_Lock();
    memset(&g_NetSession, 0, sizeof g_NetSession);
    g_NetSession.count = 2;
    g_NetSession.creator_address = Node(0);
    for (int n = 0; n < 2; n++) {
        g_NetSession.players[n].flags = NET_PLAYER_ACTIVE;
        g_NetSession.players[n].address = Node(n);
        g_NetSettings.node[n].team = (uint8_t)n;
    }
    g_NetOwnNode = (uint8_t)own;
    g_NetCreator = own == 0;
    g_NetworkGame = 1;
    Net_Unlock();
    QuorNet_SetOrders(nullptr);
    Net_InitGame();
    return true;
}

// One round: send, then step until complete; false when it did not complete
// within the bound.
bool PlayRound(uint32_t boundms)
{
    uint8_t send = 1;
    uint32_t start = Thread_ClockMs();
    // Between steps the processor goes to the other threads, as a frame
    // loop idles between frames: spinning on the step would hold the game
    // lock and a core that the packet, send and receive threads need.
    while (QuorNet_Step(&send) & QUORNET_WAITING) {
        if (Thread_ClockMs() - start > boundms) return false;
        sched_yield();
    }
    return true;
}

void LeaveGame(void)
{
    Net_Lock();
    for (NetSessionPlayer& p : g_NetSession.players) p.flags = 0; // nobody to say goodbye to
    Net_Unlock();
    Net_Close();
    g_NetworkGame = 0;
    g_NetCreator = 0;
    unsetenv("QUORVEX_NETADDRESS");
}

void Stop(pid_t child)
{
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

// Starts the child and plays the first rounds, which wait for the child to
// start and the estimates to settle; the child's pid, or -1.
pid_t StartGame(void)
{
    pid_t child = fork();
    if (child == 0) {
        if (JoinGame(1)) {
            uint32_t start = Thread_ClockMs();
            while (Thread_ClockMs() - start < kChildSeconds * 1000) PlayRound(1000);
        }
        _exit(0);
    }
    bool ok = JoinGame(0);
    for (int i = 0; ok && i < 20; i++) ok = PlayRound(5000);
    if (ok) return child;
    Stop(child);
    if (g_NetState == NET_IN_GAME) LeaveGame();
    return -1;
}

void BM_NetRounds(benchmark::State& state)
{
    pid_t child = -1;
    for (int tries = 0; tries < 3 && child < 0; tries++) child = StartGame();
    if (child < 0) {
        state.SkipWithError("the first rounds with the other process did not complete");
        return;
    }
    for (auto _ : state) {
        if (!PlayRound(5000)) {
            state.SkipWithError("a round did not complete");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    Stop(child);
    LeaveGame();
}
BENCHMARK(BM_NetRounds)->UseRealTime();

int Bound(const char* ip)
{
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(1700);
    inet_pton(AF_INET, ip, &a.sin_addr);
    bind(fd, (sockaddr*)&a, sizeof a);
    return fd;
}

// One round of the plain exchange: a datagram out, the other's in.
bool Exchange(int fd, const char* to)
{
    sockaddr_in a;
    memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_port = htons(1700);
    inet_pton(AF_INET, to, &a.sin_addr);
    uint8_t data[NET_HEADER_SIZE] = {};
    // Sent again after a silence: the other side's first datagram may have
    // gone before this socket was bound.
    for (int tries = 0; tries < 5; tries++) {
        sendto(fd, data, sizeof data, 0, (sockaddr*)&a, sizeof a);
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 200) != 1) continue;
        uint8_t back[NET_MAX_PACKET];
        return recv(fd, back, sizeof back, 0) >= 0;
    }
    return false;
}

void BM_UdpRounds(benchmark::State& state)
{
    pid_t child = fork();
    if (child == 0) {
        int fd = Bound("127.0.0.4");
        uint32_t start = Thread_ClockMs();
        while (Thread_ClockMs() - start < kChildSeconds * 1000) Exchange(fd, "127.0.0.3");
        _exit(0);
    }
    int fd = Bound("127.0.0.3");
    for (auto _ : state) {
        if (!Exchange(fd, "127.0.0.4")) {
            state.SkipWithError("the other side did not answer");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    Stop(child);
    close(fd);
}
BENCHMARK(BM_UdpRounds)->UseRealTime();

} // namespace

QV_BENCH_RATIO(netround, "net round ratio (lock-step round time / plain UDP exchange time)", "BM_NetRounds/real_time",
               "BM_UdpRounds/real_time");
