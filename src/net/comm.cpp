#include "net/comm.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "core/bytes.h"
#include "core/tlog.h"
#include "net/modem.h"
#include "net/netlog.h"
#include "net/netpacket.h"
#include "net/netpkt.h"
#include "platform/thread.h"

namespace {

// One ring slot: arrival time (receive ring), then the frame from its marker.
struct Slot {
    uint32_t time;
    uint8_t frame[(int)COMM_FRAME_HEADER + (int)NET_SLOT_SIZE];
    Slot* next;
};

struct Ring {
    Slot slots[COMM_RING_SLOTS];
    std::atomic<Slot*> write, read;
};

const uint8_t kMarker[4] = {'H', 'E', 'A', 'D'};

const struct {
    uint32_t bits;
    speed_t code;
} kSpeeds[] = {
    {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},     {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

char s_port[PATH_MAX];
uint32_t s_speed;
int s_modemfd = -1;
int s_modemflags = -1; // the modem descriptor's file flags, given back at close

std::atomic<int> s_running{0};
int s_fd = -1;
int s_stopfd = -1; // set by close: releases both threads from poll
Ring* s_out;
Ring* s_in;
THREAD_EVENT* s_sendWake; // a frame was queued
THREAD_EVENT* s_consumed; // a received frame was taken
THREAD* s_readThread;
THREAD* s_writeThread;
std::atomic<uint32_t> s_framesIn, s_framesOut, s_noise, s_badlength;
// Refused modem control is reported once per process, not per start.
int s_dtrLogged, s_ctsLogged;

Ring* NewRing()
{
    Ring* r = new Ring;
    memset(r->slots, 0, sizeof r->slots);
    for (int i = 0; i < COMM_RING_SLOTS; i++) r->slots[i].next = &r->slots[(i + 1) % COMM_RING_SLOTS];
    r->write.store(&r->slots[0]);
    r->read.store(&r->slots[0]);
    return r;
}

bool Empty(Ring* r) { return r->write.load(std::memory_order_acquire) == r->read.load(std::memory_order_acquire); }
bool Full(Ring* r) { return r->write.load(std::memory_order_acquire)->next == r->read.load(std::memory_order_acquire); }

int SpeedCode(uint32_t bits, speed_t* code)
{
    for (const auto& s : kSpeeds)
        if (s.bits == bits) {
            *code = s.code;
            return 1;
        }
    return 0;
}

uint32_t SpeedBits(speed_t code)
{
    for (const auto& s : kSpeeds)
        if (s.code == code) return s.bits;
    return 0;
}

// Raw 8N1 at the speed with CTS flow control, then DTR. A refused speed or
// framing is the one failure that counts; modem control is best effort.
void SetLine(int fd)
{
    termios t;
    memset(&t, 0, sizeof t);
    speed_t code;
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    t.c_cflag &= ~(tcflag_t)(CSIZE | PARENB | CSTOPB);
    t.c_cflag |= CS8 | CREAD | CLOCAL | CRTSCTS;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (!SpeedCode(s_speed, &code) || cfsetispeed(&t, code) != 0 || cfsetospeed(&t, code) != 0 ||
        tcsetattr(fd, TCSANOW, &t) != 0) {
        TLOG(TLOG_NERR, "SetCommState failed");
        return;
    }
    termios back;
    if (tcgetattr(fd, &back) == 0 && !(back.c_cflag & CRTSCTS) && !s_ctsLogged) {
        s_ctsLogged = 1;
        TLOG(TLOG_NWARN, "%s ignores CTS flow control", s_port);
    }
    int dtr = TIOCM_DTR;
    if (ioctl(fd, TIOCMBIS, &dtr) != 0 && !s_dtrLogged) {
        s_dtrLogged = 1;
        TLOG(TLOG_NWARN, "%s refuses DTR: %s", s_port, strerror(errno));
    }
}

// Waits until fd is ready for events or close sets the stop descriptor; 1
// when ready, 0 when stopping.
int WaitFor(int fd, short events)
{
    pollfd p[2] = {{s_stopfd, POLLIN, 0}, {fd, events, 0}};
    for (;;) {
        if (!s_running.load()) return 0;
        int n = poll(p, 2, -1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return 1; // the caller's read or write reports it
        if (p[0].revents) return 0;
        return 1;
    }
}

int WriteFrame(const Slot* slot)
{
    uint32_t length = Bytes_U32(slot->frame + 4) + COMM_FRAME_HEADER;
    uint32_t done = 0;
    while (done < length) {
        ssize_t n = write(s_fd, slot->frame + done, length - done);
        if (n > 0) {
            done += (uint32_t)n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return 0;
        if (!WaitFor(s_fd, POLLOUT)) return 1; // stopping: the rest is lost with the line
    }
    return 1;
}

// Stores the reader's frame in the receive ring, which has room.
void Deliver(const CommReader* reader)
{
    Slot* slot = s_in->write.load(std::memory_order_relaxed);
    uint32_t length = Bytes_U32(reader->buffer + 4);
    memset(slot->frame, 0, sizeof slot->frame);
    memcpy(slot->frame, reader->buffer, length + COMM_FRAME_HEADER);
    slot->time = Thread_ClockMs();
    s_in->write.store(slot->next, std::memory_order_release);
    s_framesIn.fetch_add(1);
    NetPkt_Wake();
}

void FreeAll()
{
    if (s_fd >= 0 && s_fd != s_modemfd) close(s_fd);
    if (s_fd >= 0 && s_fd == s_modemfd && s_modemflags >= 0) fcntl(s_fd, F_SETFL, s_modemflags);
    s_fd = -1;
    s_modemflags = -1;
    if (s_stopfd >= 0) close(s_stopfd);
    s_stopfd = -1;
    delete s_in;
    delete s_out;
    s_in = s_out = nullptr;
    Event_Destroy(s_sendWake);
    Event_Destroy(s_consumed);
    s_sendWake = s_consumed = nullptr;
}

} // namespace

void COMM_SetPort(const char* port, uint32_t speed)
{
    snprintf(s_port, sizeof s_port, "%s", port ? port : "");
    s_speed = speed;
    s_modemfd = -1;
}

void COMM_SetModemHandle(int fd) { s_modemfd = fd; }

int COMM_OpenPort(void)
{
    if (s_modemfd >= 0) {
        s_fd = s_modemfd;
    } else {
        s_fd = open(s_port, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (s_fd < 0) {
            TLOG(TLOG_NERR, "Failed to open port");
            return 0;
        }
        // Not shared: a second program on the port is refused from now on.
        ioctl(s_fd, TIOCEXCL);
    }
    termios t;
    if (tcgetattr(s_fd, &t) != 0) {
        // Only a terminal keeps line settings and time-outs.
        TLOG(TLOG_NERR, "SetCommTimeouts failed");
        if (s_fd != s_modemfd) close(s_fd);
        s_fd = -1;
        return 0;
    }
    if (s_modemfd >= 0) {
        s_modemflags = fcntl(s_fd, F_GETFL);
        if (s_modemflags >= 0) fcntl(s_fd, F_SETFL, s_modemflags | O_NONBLOCK);
        if (tcsetattr(s_fd, TCSANOW, &t) != 0) TLOG(TLOG_NERR, "SetCommState failed");
    } else {
        SetLine(s_fd);
    }
    tcflush(s_fd, TCIOFLUSH);
    TLOG(TLOG_NDIAG, "COMAPI Started Successfully");
    if (s_modemfd < 0) TLOG(TLOG_NDIAG, " - Port          : %s", s_port);
    termios now;
    int baud = tcgetattr(s_fd, &now) == 0 ? (int)SpeedBits(cfgetospeed(&now)) : 0;
    TLOG(TLOG_DIAG, " - Baud          : %d", baud);
    return 1;
}

int COMM_Init(NetAddress* own)
{
    if (s_running.load()) {
        TLOG(TLOG_NWARN, "Re-initialisation Detected");
        return 1;
    }
    memset(own, 0, sizeof *own);
    own->kind = NET_TYPE_SERIAL;
    if (!COMM_OpenPort()) {
        TLOG(TLOG_NERR, "Could not open comm port");
        return 0;
    }
    s_stopfd = eventfd(0, EFD_NONBLOCK);
    if (s_stopfd < 0) {
        TLOG(TLOG_NERR, "Could not create threads");
        FreeAll();
        return 0;
    }
    s_in = NewRing();
    s_out = NewRing();
    s_sendWake = Event_Create();
    s_consumed = Event_Create();
    s_framesIn.store(0);
    s_framesOut.store(0);
    s_noise.store(0);
    s_badlength.store(0);
    s_running.store(1);
    s_readThread = Thread_Create(COMM_ReadThread, nullptr);
    s_writeThread = Thread_Create(COMM_WriteThread, nullptr);
    Thread_RaisePriority(s_readThread);
    Thread_RaisePriority(s_writeThread);
    return 1;
}

int COMM_Close(void)
{
    if (!s_running.load()) return 1;
    s_running.store(0);
    uint64_t one = 1;
    if (write(s_stopfd, &one, sizeof one) < 0) TLOG(TLOG_NERR, "Could not stop the line's threads");
    Event_Set(s_sendWake);
    Event_Set(s_consumed);
    Thread_Join(s_readThread);
    Thread_Join(s_writeThread);
    s_readThread = s_writeThread = nullptr;
    tcflush(s_fd, TCIOFLUSH);
    FreeAll();
    // Ends a modem call under the line; after a plain serial session the
    // modem layer only says it has nothing to do.
    MODEM_Disconnect();
    return 1;
}

int COMM_iface_send(const NetPacket* packet, const NetAddress*)
{
    if (!s_running.load()) {
        TLOG(TLOG_NERR, "Call to COMM_iface_send with initialising COMM");
        return 0;
    }
    uint32_t length = Bytes_U32(packet->raw);
    if (length < COMM_MIN_LENGTH || length > COMM_MAX_LENGTH) {
        // A frame the far reader drops anyway; a longer one would overrun the slot.
        TLOG(TLOG_NERR, "Packet of length %u not sent on the serial line", length);
        return 0;
    }
    if (Full(s_out)) return 0;
    Slot* slot = s_out->write.load(std::memory_order_relaxed);
    memcpy(slot->frame, kMarker, 4);
    Bytes_PutU32(slot->frame + 4, length);
    memcpy(slot->frame + COMM_FRAME_HEADER, packet->raw, NET_SLOT_SIZE);
    s_out->write.store(slot->next, std::memory_order_release);
    Event_Set(s_sendWake);
    return 1;
}

int COMM_iface_recv(NetPacket* packet, NetAddress* from, uint32_t* time)
{
    if (!s_running.load()) {
        TLOG(TLOG_NERR, "Call to COMM_iface_recv with initialising COMM");
        return 0;
    }
    if (Empty(s_in)) return 0;
    Slot* slot = s_in->read.load(std::memory_order_relaxed);
    memcpy(packet->raw, slot->frame + COMM_FRAME_HEADER, NET_SLOT_SIZE);
    memset(from, 0, sizeof *from);
    from->kind = NET_TYPE_SERIAL;
    from->bytes[0] = 1;
    *time = slot->time;
    s_in->read.store(slot->next, std::memory_order_release);
    Event_Set(s_consumed);
    return 1;
}

void COMM_WriteThread(void*)
{
    while (s_running.load()) {
        if (Empty(s_out)) {
            Event_Wait(s_sendWake, THREAD_INFINITE);
            continue;
        }
        Slot* slot = s_out->read.load(std::memory_order_relaxed);
        if (!WriteFrame(slot)) {
            TLOG(TLOG_NERR, "Error whilst writting to COM port");
            return;
        }
        s_framesOut.fetch_add(1);
        s_out->read.store(slot->next, std::memory_order_release);
    }
}

// The pause after a failed read, so that a line that keeps failing (a
// hung-up pty) does not spin.
const uint32_t kReadRetryMs = 10;

void COMM_ReadThread(void*)
{
    CommReader reader;
    COMM_ReaderReset(&reader);
    uint8_t chunk[512];
    int have = 0, at = 0;
    int failing = 0;
    while (s_running.load()) {
        if (at == have) {
            if (!WaitFor(s_fd, POLLIN)) break;
            ssize_t n = read(s_fd, chunk, sizeof chunk);
            if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
            if (n <= 0) {
                // Logged once per run of failures; reading goes on.
                if (!failing) TLOG(TLOG_NERR, "Read File failed");
                failing = 1;
                Thread_Sleep(kReadRetryMs);
                continue;
            }
            failing = 0;
            have = (int)n;
            at = 0;
        }
        while (at < have) {
            if (Full(s_in)) {
                Event_Wait(s_consumed, 100);
                break;
            }
            uint32_t noise = reader.noise, bad = reader.badlength;
            int done = COMM_ReaderFeed(&reader, chunk[at++]);
            s_noise.fetch_add(reader.noise - noise);
            if (reader.badlength != bad) {
                s_badlength.fetch_add(1);
                if (NetLog_Allow(NETLOG_LENGTH)) TLOG(TLOG_NWARN, "Frame with a bad length dropped");
            }
            if (done) Deliver(&reader);
        }
    }
}

void COMM_ReaderReset(CommReader* reader) { memset(reader, 0, sizeof *reader); }

// Drops bytes from the front until the buffer starts with the marker (or
// holds fewer than four bytes), and a header whose length no packet has
// loses its marker's first byte the same way, so that a marker inside it is
// still found.
static void Resync(CommReader* reader)
{
    for (;;) {
        if (reader->count < 4) return;
        if (memcmp(reader->buffer, kMarker, 4) == 0) {
            reader->synchronised = 1;
            if (reader->count < COMM_FRAME_HEADER) return;
            uint32_t length = Bytes_U32(reader->buffer + 4);
            if (length >= COMM_MIN_LENGTH && length <= COMM_MAX_LENGTH) return;
            reader->badlength++;
        } else {
            reader->noise++;
        }
        reader->synchronised = 0;
        memmove(reader->buffer, reader->buffer + 1, --reader->count);
    }
}

int COMM_ReaderFeed(CommReader* reader, uint8_t byte)
{
    reader->buffer[reader->count++] = byte;
    if (!reader->synchronised || reader->count == COMM_FRAME_HEADER) {
        Resync(reader);
        return 0;
    }
    if (reader->count < COMM_FRAME_HEADER) return 0;
    if (reader->count < Bytes_U32(reader->buffer + 4) + COMM_FRAME_HEADER) return 0;
    reader->frames++;
    reader->synchronised = 0;
    reader->count = 0;
    return 1;
}

CommCounts COMM_GetCounts(void)
{
    CommCounts c;
    c.framesIn = s_framesIn.load();
    c.framesOut = s_framesOut.load();
    c.noise = s_noise.load();
    c.badlength = s_badlength.load();
    return c;
}
