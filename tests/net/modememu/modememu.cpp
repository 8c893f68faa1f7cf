// modememu: two modems on one telephone exchange, made of two pty pairs.
//
//   modememu --ports FILE [--seed S] [--noise P] [--drop-after BYTES] [--ring-ms M]
//            [--busy NUMBER] [--noanswer NUMBER] [--nodialtone NUMBER]
//
// Writes the terminal ends' paths to FILE (one a line, written whole once both
// exist); each is one modem. A modem answers AT commands: "AT" (and any
// command it doesn't know) "OK"; "ATD<number>" rings the other modem at once
// and every --ring-ms (2000) until it answers, the caller hangs up, or ten
// rings went unanswered ("NO ANSWER"); the three fault numbers (5550001,
// 5550002, 5550003) answer "BUSY", "NO ANSWER", "NO DIALTONE", and a modem
// already in a call is "BUSY". "ATA" on a ringing modem connects both with
// "CONNECT 57600" and from then on relays their data, with P % of the chunks
// given a burst of noise. In data mode "+++" between two guard times (ATS12,
// fiftieths of a second) returns to commands; "ATH" hangs up and the other
// modem gets "NO CARRIER", as both do when --drop-after bytes of a call have
// gone through (the line drops). Runs until SIGTERM or SIGINT, then prints
// what it saw.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

volatile sig_atomic_t s_stop;

void OnSignal(int) { s_stop = 1; }

// ESCAPED: the call is up and the modem takes commands ("+++" was seen).
enum State { IDLE, CALLING, RINGING, DATA, ESCAPED };

struct Modem {
    int master, slave;
    char path[256];
    State state;
    std::string command;
    long guardMs;
    int plus;       // escape characters held back
    long lastByte;  // when the program last sent a byte
    long nextRing;  // CALLING: when the other rings next
    int rings;
    unsigned long bytes;
};

struct Counts {
    unsigned long calls, rings, connects, busy, noanswer, nodialtone, hangups, drops, noise, escapes;
};

Modem s_m[2];
Counts s_c;
std::mt19937 s_rand;
int s_noise;
unsigned long s_dropAfter;
long s_ringMs = 2000;
std::string s_busy = "5550001", s_noanswer = "5550002", s_nodialtone = "5550003";
const int kMaxRings = 10;

long NowMs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000L + t.tv_nsec / 1000000L;
}

void Put(Modem* m, const void* data, size_t n)
{
    const char* p = (const char*)data;
    while (n > 0 && !s_stop) {
        ssize_t k = write(m->master, p, n);
        if (k > 0) {
            p += k;
            n -= (size_t)k;
            continue;
        }
        if (k < 0 && errno != EAGAIN && errno != EINTR) return;
        pollfd f = {m->master, POLLOUT, 0};
        poll(&f, 1, 50);
    }
}

void Say(Modem* m, const char* text)
{
    std::string s = std::string("\r\n") + text + "\r\n";
    Put(m, s.data(), s.size());
    printf("modem %d <- %s\n", (int)(m - s_m), text);
}

Modem* Other(Modem* m) { return &s_m[1 - (m - s_m)]; }

// Both ends of a call back to commands; the other hears the carrier go.
void EndCall(Modem* m, const char* self, const char* other)
{
    Modem* o = Other(m);
    if (o->state != IDLE) {
        o->state = IDLE;
        o->plus = 0;
        Say(o, other);
    }
    m->state = IDLE;
    m->plus = 0;
    if (self) Say(m, self);
}

void Dial(Modem* m, std::string number)
{
    std::string digits;
    for (char ch : number)
        if (isdigit((unsigned char)ch)) digits += ch;
    s_c.calls++;
    printf("modem %d dials %s\n", (int)(m - s_m), digits.c_str());
    Modem* o = Other(m);
    if (m->state != IDLE) {
        Say(m, "ERROR");
    } else if (digits == s_busy || o->state != IDLE) {
        s_c.busy++;
        Say(m, "BUSY");
    } else if (digits == s_noanswer) {
        s_c.noanswer++;
        Say(m, "NO ANSWER");
    } else if (digits == s_nodialtone) {
        s_c.nodialtone++;
        Say(m, "NO DIALTONE");
    } else {
        m->state = CALLING;
        o->state = RINGING;
        m->rings = 0;
        m->nextRing = NowMs();
    }
}

void Command(Modem* m, std::string line)
{
    // Anything else is line noise or data sent after the carrier went.
    if (line.size() < 2 || toupper((unsigned char)line[0]) != 'A' || toupper((unsigned char)line[1]) != 'T') return;
    std::string shown;
    for (char ch : line) shown += isprint((unsigned char)ch) ? ch : '.';
    printf("modem %d -> %s\n", (int)(m - s_m), shown.c_str());
    std::string rest = line.substr(2);
    char op = rest.empty() ? 0 : (char)toupper((unsigned char)rest[0]);
    if (op == 'D') {
        size_t at = 1;
        if (at < rest.size() && strchr("TPtp", rest[at])) at++;
        Dial(m, rest.substr(at));
    } else if (op == 'A') {
        if (m->state != RINGING) {
            Say(m, "NO CARRIER");
            return;
        }
        Modem* o = Other(m);
        s_c.connects++;
        m->state = o->state = DATA;
        m->bytes = o->bytes = 0;
        m->lastByte = o->lastByte = NowMs();
        Say(o, "CONNECT 57600");
        Say(m, "CONNECT 57600");
    } else if (op == 'H') {
        if (m->state != IDLE) s_c.hangups++;
        EndCall(m, "OK", "NO CARRIER");
    } else if (op == 'S' && rest.size() > 4 && rest.compare(1, 3, "12=") == 0) {
        m->guardMs = atol(rest.c_str() + 4) * 20;
        Say(m, "OK");
    } else {
        Say(m, "OK");
    }
}

void CommandBytes(Modem* m, const uint8_t* b, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        if (b[i] == '\r') {
            Command(m, m->command);
            m->command.clear();
        } else if (b[i] != '\n' && m->command.size() < 128) {
            m->command += (char)b[i];
        }
    }
}

// Data towards the other modem, with the seeded noise; the line drops once
// the call has carried its bytes.
void Relay(Modem* m, const uint8_t* b, size_t n)
{
    Modem* o = Other(m);
    if (o->state != DATA || n == 0) return;
    if ((int)(s_rand() % 100) < s_noise) {
        uint8_t burst[8];
        int k = 1 + (int)(s_rand() % 8);
        for (int i = 0; i < k; i++) burst[i] = (uint8_t)s_rand();
        Put(o, burst, (size_t)k);
        s_c.noise += (unsigned long)k;
    }
    Put(o, b, n);
    m->bytes += n;
    if (s_dropAfter && m->bytes + o->bytes >= s_dropAfter) {
        s_c.drops++;
        EndCall(m, "NO CARRIER", "NO CARRIER");
    }
}

void DataBytes(Modem* m, const uint8_t* b, size_t n, long now)
{
    // What goes on, relayed as one chunk (the noise is per chunk).
    std::string out;
    for (size_t i = 0; i < n; i++) {
        // "+" after a guard time of silence may start the escape: held back
        // until the next byte shows it was data after all.
        if (b[i] == '+' && m->plus < 3 && (m->plus > 0 || now - m->lastByte >= m->guardMs)) {
            m->plus++;
        } else {
            out.append((size_t)m->plus, '+');
            m->plus = 0;
            out += (char)b[i];
        }
        m->lastByte = now;
    }
    Relay(m, (const uint8_t*)out.data(), out.size());
}

void Read(Modem* m)
{
    uint8_t chunk[512];
    ssize_t n = read(m->master, chunk, sizeof chunk);
    if (n <= 0) return; // EIO while no program holds the terminal end
    long now = NowMs();
    if (m->state == DATA) {
        DataBytes(m, chunk, (size_t)n, now);
    } else {
        m->lastByte = now;
        CommandBytes(m, chunk, (size_t)n);
    }
}

void Tick(Modem* m, long now)
{
    if (m->state == DATA && m->plus == 3 && now - m->lastByte >= m->guardMs) {
        // The far modem keeps its carrier until this one hangs up.
        s_c.escapes++;
        m->plus = 0;
        m->state = ESCAPED;
        Say(m, "OK");
        return;
    }
    if (m->state == CALLING && now >= m->nextRing) {
        Modem* o = Other(m);
        if (m->rings == kMaxRings) {
            s_c.noanswer++;
            o->state = IDLE;
            m->state = IDLE;
            Say(m, "NO ANSWER");
            return;
        }
        m->rings++;
        s_c.rings++;
        m->nextRing = now + s_ringMs;
        Say(o, "RING");
    }
}

int Open(Modem* m)
{
    if (openpty(&m->master, &m->slave, m->path, nullptr, nullptr) != 0) return 0;
    termios t;
    tcgetattr(m->master, &t);
    cfmakeraw(&t);
    tcsetattr(m->master, TCSANOW, &t);
    fcntl(m->master, F_SETFL, fcntl(m->master, F_GETFL) | O_NONBLOCK);
    m->guardMs = 1000;
    return 1;
}

const char kUsage[] = "usage: modememu --ports FILE [--seed S] [--noise P] [--drop-after BYTES] [--ring-ms M]\n"
                      "                [--busy NUMBER] [--noanswer NUMBER] [--nodialtone NUMBER]\n";

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
        else if (k == "--drop-after") s_dropAfter = strtoul(v, nullptr, 10);
        else if (k == "--ring-ms") s_ringMs = atol(v);
        else if (k == "--busy") s_busy = v;
        else if (k == "--noanswer") s_noanswer = v;
        else if (k == "--nodialtone") s_nodialtone = v;
        else {
            fprintf(stderr, "modememu: unknown option %s\n%s", k.c_str(), kUsage);
            return 2;
        }
    }
    if (!ports) {
        fputs(kUsage, stderr);
        return 2;
    }
    s_rand.seed(seed);
    signal(SIGTERM, OnSignal);
    signal(SIGINT, OnSignal);
    if (!Open(&s_m[0]) || !Open(&s_m[1])) {
        perror("modememu: openpty");
        return 1;
    }
    std::string tmp = std::string(ports) + ".tmp";
    FILE* f = fopen(tmp.c_str(), "w");
    if (!f) return 1;
    fprintf(f, "%s\n%s\n", s_m[0].path, s_m[1].path);
    fclose(f);
    rename(tmp.c_str(), ports);
    while (!s_stop) {
        pollfd p[2] = {{s_m[0].master, POLLIN, 0}, {s_m[1].master, POLLIN, 0}};
        int n = poll(p, 2, 20);
        for (int i = 0; i < 2 && n > 0; i++)
            if (p[i].revents & POLLIN) Read(&s_m[i]);
        long now = NowMs();
        Tick(&s_m[0], now);
        Tick(&s_m[1], now);
        fflush(stdout);
    }
    printf("modememu: %lu calls, %lu rings, %lu connected, %lu busy, %lu no answer, %lu no dial tone, "
           "%lu hang-ups, %lu lines dropped, %lu escapes, %lu and %lu data bytes, %lu noise bytes added\n",
           s_c.calls, s_c.rings, s_c.connects, s_c.busy, s_c.noanswer, s_c.nodialtone, s_c.hangups, s_c.drops,
           s_c.escapes, s_m[0].bytes, s_m[1].bytes, s_c.noise);
    return 0;
}
