// ptyrelay: a null-modem cable between two programs, made of two pty pairs.
//
//   ptyrelay --ports FILE [--seed S] [--noise P] [--loss P] [--split P] [--bps B]
//
// Writes the terminal ends' paths to FILE (one a line, written whole once both
// exist) and relays every byte from one master end to the other, until
// SIGTERM or SIGINT, then prints what it did. Per chunk read, seeded: with
// P % a burst of 1 to 8 noise bytes goes before it (between or inside
// frames, wherever the chunk starts), with P % one byte of it is lost, and
// with P % it is written in pieces. --bps throttles each direction to a line
// speed in bytes per second.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

volatile sig_atomic_t s_stop;

void OnSignal(int) { s_stop = 1; }

struct Side {
    int master, slave;
    char path[256];
};

struct Counts {
    unsigned long bytes, noise, lost, splits;
};

std::mt19937 s_rand;
int s_noise, s_loss, s_split;
long s_bps;

int Chance(int percent) { return (int)(s_rand() % 100) < percent; }

// Writes all of n bytes, waiting while the far master is full; 0 when stopping.
int WriteAll(int fd, const uint8_t* data, size_t n)
{
    while (n > 0) {
        ssize_t k = write(fd, data, n);
        if (k > 0) {
            data += k;
            n -= (size_t)k;
            continue;
        }
        if (k < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) return 0;
        if (s_stop) return 0;
        pollfd p = {fd, POLLOUT, 0};
        poll(&p, 1, 50);
    }
    return 1;
}

void Relay(int from, int to, Counts* c)
{
    uint8_t chunk[512];
    ssize_t n = read(from, chunk, sizeof chunk);
    if (n <= 0) return; // EIO while no program holds the terminal end
    uint8_t out[600];
    size_t m = 0;
    if (Chance(s_noise)) {
        int burst = 1 + (int)(s_rand() % 8);
        for (int i = 0; i < burst; i++) out[m++] = (uint8_t)s_rand();
        c->noise += (unsigned long)burst;
    }
    int lose = Chance(s_loss) ? (int)(s_rand() % (unsigned)n) : -1;
    for (ssize_t i = 0; i < n; i++) {
        if (i == lose) {
            c->lost++;
            continue;
        }
        out[m++] = chunk[i];
    }
    c->bytes += (unsigned long)n;
    if (Chance(s_split) && m > 1) {
        size_t cut = 1 + s_rand() % (m - 1);
        c->splits++;
        WriteAll(to, out, cut);
        usleep(1000);
        WriteAll(to, out + cut, m - cut);
    } else {
        WriteAll(to, out, m);
    }
    // A line moves bytes no faster than its speed.
    if (s_bps > 0) usleep((useconds_t)(m * 1000000 / (size_t)s_bps));
}

int Open(Side* s)
{
    if (openpty(&s->master, &s->slave, s->path, nullptr, nullptr) != 0) return 0;
    termios t;
    tcgetattr(s->master, &t);
    cfmakeraw(&t);
    tcsetattr(s->master, TCSANOW, &t);
    fcntl(s->master, F_SETFL, fcntl(s->master, F_GETFL) | O_NONBLOCK);
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    const char* ports = nullptr;
    unsigned seed = 1;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string k = argv[i];
        const char* v = argv[i + 1];
        if (k == "--ports") ports = v;
        else if (k == "--seed") seed = (unsigned)strtoul(v, nullptr, 10);
        else if (k == "--noise") s_noise = atoi(v);
        else if (k == "--loss") s_loss = atoi(v);
        else if (k == "--split") s_split = atoi(v);
        else if (k == "--bps") s_bps = atol(v);
        else {
            fprintf(stderr, "ptyrelay: unknown option %s\n", k.c_str());
            return 2;
        }
    }
    if (!ports) {
        fputs("usage: ptyrelay --ports FILE [--seed S] [--noise P] [--loss P] [--split P] [--bps B]\n", stderr);
        return 2;
    }
    s_rand.seed(seed);
    signal(SIGTERM, OnSignal);
    signal(SIGINT, OnSignal);
    Side a, b;
    if (!Open(&a) || !Open(&b)) {
        perror("ptyrelay: openpty");
        return 1;
    }
    std::string tmp = std::string(ports) + ".tmp";
    FILE* f = fopen(tmp.c_str(), "w");
    if (!f) return 1;
    fprintf(f, "%s\n%s\n", a.path, b.path);
    fclose(f);
    rename(tmp.c_str(), ports);
    // The terminal ends stay open here too, so that a master never reads
    // EIO between the programs' opens and closes.
    Counts ab = {}, ba = {};
    while (!s_stop) {
        pollfd p[2] = {{a.master, POLLIN, 0}, {b.master, POLLIN, 0}};
        if (poll(p, 2, 100) <= 0) continue;
        if (p[0].revents & POLLIN) Relay(a.master, b.master, &ab);
        if (p[1].revents & POLLIN) Relay(b.master, a.master, &ba);
    }
    printf("ptyrelay: %lu and %lu bytes relayed, %lu noise bytes added, %lu bytes lost, %lu writes split\n",
           ab.bytes, ba.bytes, ab.noise + ba.noise, ab.lost + ba.lost, ab.splits + ba.splits);
    return 0;
}
