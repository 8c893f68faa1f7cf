// The serial transport over a pty pair: the transport opens the pty's
// terminal end by name, the test speaks raw bytes on the master end. Waits
// are bounded by poll and event time-outs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/tlog.h"
#include "net/comm.h"
#include "net/netpkt.h"
#include "platform/thread.h"
#include "support/testsupport.h"

namespace {

const int kWaitMs = 10000;

std::string Frame(uint32_t length, uint8_t fill)
{
    std::string f = "HEAD";
    Bytes_AppendU32(&f, length);
    f.append(length < 1000 ? length : 0, (char)fill);
    return f;
}

struct ReaderRow {
    const char* name;
    std::string bytes;
    uint32_t frames, noise, badlength;
};

TEST(NetSerial, ReaderFindsMarkersAtAnyOffsetAndDropsBadLengths)
{
    // Dropping a header keeps what follows its marker's first byte: counted
    // as noise until a marker starts the buffer again.
    const ReaderRow rows[] = {
        {"one frame", Frame(21, 1), 1, 0, 0},
        {"back to back", Frame(21, 1) + Frame(300, 2) + Frame(40, 3), 3, 0, 0},
        {"noise of any length before a marker", "xyz" + Frame(22, 5), 1, 3, 0},
        {"a marker straddling groups of four is found", "xx" + Frame(21, 4), 1, 2, 0},
        {"a marker inside a false header's length", "xxHEADyy" + Frame(21, 4), 1, 7, 1},
        {"length 0 dropped", Frame(0, 0) + Frame(21, 6), 1, 7, 1},
        {"length 20 dropped", Frame(20, 0).substr(0, 8) + Frame(21, 6), 1, 7, 1},
        {"length 301 dropped", Frame(301, 0).substr(0, 8) + Frame(21, 6), 1, 7, 1},
        {"length 5000 dropped", Frame(5000, 0) + Frame(21, 6), 1, 7, 1},
        {"a cut frame waits", Frame(21, 7).substr(0, 28), 0, 0, 0},
    };
    for (const ReaderRow& row : rows) {
        CommReader r;
        COMM_ReaderReset(&r);
        std::vector<uint32_t> lengths;
        for (char c : row.bytes)
            if (COMM_ReaderFeed(&r, (uint8_t)c)) {
                lengths.push_back(Bytes_U32(r.buffer + 4));
                EXPECT_EQ(memcmp(r.buffer, "HEAD", 4), 0) << row.name;
            }
        EXPECT_EQ(r.frames, row.frames) << row.name;
        EXPECT_EQ(lengths.size(), row.frames) << row.name;
        EXPECT_EQ(r.noise, row.noise) << row.name;
        EXPECT_EQ(r.badlength, row.badlength) << row.name;
    }
}

NetPacket Make(uint32_t type, uint8_t fill, uint32_t datalength)
{
    NetPacket p;
    memset(&p, 0xEE, sizeof p);
    std::vector<uint8_t> data(datalength, fill);
    Net_BuildPacket(&p, data.data(), datalength, type);
    Net_StampCrc(&p);
    return p;
}

// Reads exactly n bytes from fd within the bound; what came.
std::string ReadBytes(int fd, size_t n)
{
    std::string got;
    char buffer[512];
    while (got.size() < n) {
        pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, kWaitMs) != 1) break;
        ssize_t k = read(fd, buffer, std::min(sizeof buffer, n - got.size()));
        if (k <= 0) break;
        got.append(buffer, (size_t)k);
    }
    return got;
}

// Waits for a received packet.
int Receive(NetPacket* p, NetAddress* from, uint32_t* time)
{
    for (int i = 0; i < kWaitMs; i++) {
        if (COMM_iface_recv(p, from, time)) return 1;
        Thread_Sleep(1);
    }
    return 0;
}

class NetSerialLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[256];
        ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        path_ = name;
        termios t;
        tcgetattr(master_, &t);
        cfmakeraw(&t);
        tcsetattr(master_, TCSANOW, &t);
    }
    void TearDown() override
    {
        COMM_Close();
        close(master_);
        close(slave_);
    }
    int master_ = -1, slave_ = -1;
    std::string path_;
};

TEST_F(NetSerialLine, FramesCrossBothWaysSplitOrBackToBack)
{
    QvLogCapture log(TLOG_NERR | TLOG_NWARN | TLOG_NDIAG | TLOG_DIAG);
    // A path longer than 31 characters names the port as well.
    QvTempDir dir;
    std::string link = dir.file("a-serial-port-with-a-rather-long-name");
    ASSERT_EQ(symlink(path_.c_str(), link.c_str()), 0);
    COMM_SetPort(link.c_str(), 57600);
    NetAddress own;
    ASSERT_EQ(COMM_Init(&own), 1) << log.text();
    const NetAddress local = {NET_TYPE_SERIAL, {0, 0, 0, 0, 0, 0}};
    EXPECT_TRUE(NetPkt_SameAddress(&own, &local));
    EXPECT_NE(log.text().find("COMAPI Started Successfully"), std::string::npos);
    EXPECT_NE(log.text().find(" - Port          : " + link), std::string::npos);
    EXPECT_NE(log.text().find(" - Baud          : 57600"), std::string::npos) << log.text();
    int exclusive = 0;
    ASSERT_EQ(ioctl(slave_, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1) << "the port is not shared";
    NetAddress again = {9, {}};
    EXPECT_EQ(COMM_Init(&again), 1);
    EXPECT_EQ(again.kind, 9u);
    EXPECT_NE(log.text().find("Re-initialisation Detected"), std::string::npos);

    // Outgoing: the frame is the marker, the length and just the packet's bytes.
    NetPacket ping = Make(NET_PING, 0x11, 10);
    ASSERT_EQ(COMM_iface_send(&ping, &own), 1);
    std::string expect = "HEAD";
    Bytes_AppendU32(&expect, 31);
    expect.append((const char*)ping.raw, 31);
    EXPECT_EQ(ReadBytes(master_, expect.size()), expect);

    // Incoming: one frame byte by byte, then two in one write.
    NetPacket chat = Make(NET_CHAT, 0x22, 100), round = Make(NET_ROUND, 0x33, 279);
    std::string one = "HEAD", two = "HEAD";
    Bytes_AppendU32(&one, Net_Length(&chat));
    one.append((const char*)chat.raw, Net_Length(&chat));
    Bytes_AppendU32(&two, Net_Length(&round));
    two.append((const char*)round.raw, Net_Length(&round));
    for (char c : one) {
        ASSERT_EQ(write(master_, &c, 1), 1);
        Thread_Sleep(c == 'H' ? 2 : 0);
    }
    std::string both = two + one;
    ASSERT_EQ(write(master_, both.data(), both.size()), (ssize_t)both.size());
    NetPacket got;
    NetAddress from;
    uint32_t time;
    const NetAddress far = {NET_TYPE_SERIAL, {1, 0, 0, 0, 0, 0}};
    const NetPacket* want[] = {&chat, &round, &chat};
    for (const NetPacket* w : want) {
        memset(&got, 0x55, sizeof got);
        ASSERT_TRUE(Receive(&got, &from, &time));
        EXPECT_TRUE(NetPkt_SameAddress(&from, &far));
        uint32_t n = Net_Length(w);
        EXPECT_EQ(memcmp(got.raw, w->raw, n), 0);
        // The whole slot comes back, nothing of an older frame behind the packet.
        EXPECT_EQ(std::string((const char*)got.raw + n, NET_SLOT_SIZE - n), std::string(NET_SLOT_SIZE - n, '\0'));
    }
    EXPECT_EQ(COMM_iface_recv(&got, &from, &time), 0);
    CommCounts counts = COMM_GetCounts();
    EXPECT_EQ(counts.framesIn, 3u);
    EXPECT_EQ(counts.framesOut, 1u);
}

TEST_F(NetSerialLine, SevenWaitAndTheEighthIsRefusedUntilTheLineMoves)
{
    COMM_SetPort(path_.c_str(), 115200);
    NetAddress own;
    ASSERT_EQ(COMM_Init(&own), 1);
    // Output stopped: the write thread holds its first frame.
    ASSERT_EQ(tcflow(slave_, TCOOFF), 0);
    NetPacket p = Make(NET_MESSAGE, 0x44, 30);
    for (int i = 0; i < 7; i++) ASSERT_EQ(COMM_iface_send(&p, &own), 1) << i;
    EXPECT_EQ(COMM_iface_send(&p, &own), 0);
    ASSERT_EQ(tcflow(slave_, TCOON), 0);
    EXPECT_EQ(ReadBytes(master_, 7 * 59).size(), 7u * 59);
    EXPECT_EQ(COMM_iface_send(&p, &own), 1);
    EXPECT_EQ(ReadBytes(master_, 59).size(), 59u);
}

TEST_F(NetSerialLine, ModemHandleIsNeitherReconfiguredNorClosed)
{
    termios before;
    tcgetattr(slave_, &before);
    before.c_lflag |= ECHO; // something a raw port would not keep
    cfsetspeed(&before, B9600);
    tcsetattr(slave_, TCSANOW, &before);
    tcgetattr(slave_, &before);
    int flags = fcntl(slave_, F_GETFL);
    COMM_SetModemHandle(slave_);
    NetAddress own;
    ASSERT_EQ(COMM_Init(&own), 1);
    NetPacket p = Make(NET_PING, 1, 0);
    ASSERT_EQ(COMM_iface_send(&p, &own), 1);
    EXPECT_EQ(ReadBytes(master_, 29).size(), 29u);
    EXPECT_EQ(COMM_Close(), 1);
    termios after;
    ASSERT_EQ(tcgetattr(slave_, &after), 0) << "still open";
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
    EXPECT_EQ(fcntl(slave_, F_GETFL), flags);
    // SetPort forgets the handle: the next start opens the named port.
    COMM_SetPort("/nonexistent/tty", 57600);
    QvLogCapture log(TLOG_NERR | TLOG_NWARN);
    EXPECT_EQ(COMM_Init(&own), 0);
    EXPECT_NE(log.text().find("Failed to open port"), std::string::npos);
}

TEST_F(NetSerialLine, StartFailuresAndCallsWhileStopped)
{
    struct Row {
        const char* name;
        const char* port;
        uint32_t speed;
        int result;
        const char* message;
    } rows[] = {
        {"no such device", "/nonexistent/tty", 57600, 0, "Failed to open port"},
        {"not a terminal", "/dev/null", 57600, 0, "SetCommTimeouts failed"},
        {"a speed the line refuses", nullptr, 12345, 1, "SetCommState failed"},
    };
    for (const Row& row : rows) {
        QvLogCapture log(TLOG_NERR | TLOG_NWARN);
        COMM_SetPort(row.port ? row.port : path_.c_str(), row.speed);
        NetAddress own;
        EXPECT_EQ(COMM_Init(&own), row.result) << row.name;
        EXPECT_NE(log.text().find(row.message), std::string::npos) << row.name << ": " << log.text();
        if (!row.result) {
            EXPECT_NE(log.text().find("Could not open comm port"), std::string::npos) << row.name;
        }
        COMM_Close();
    }
    QvLogCapture log(TLOG_NERR | TLOG_NWARN);
    EXPECT_EQ(COMM_Close(), 1) << "close without a start";
    EXPECT_EQ(log.text(), "");
    NetPacket p = Make(NET_PING, 1, 0);
    NetAddress a;
    uint32_t t;
    EXPECT_EQ(COMM_iface_send(&p, &a), 0);
    EXPECT_EQ(COMM_iface_recv(&p, &a, &t), 0);
    EXPECT_NE(log.text().find("Call to COMM_iface_send with initialising COMM"), std::string::npos);
    EXPECT_NE(log.text().find("Call to COMM_iface_recv with initialising COMM"), std::string::npos);
}

TEST_F(NetSerialLine, CloseWhileTheReaderWaitsAndAfterTheFarEndHangsUp)
{
    COMM_SetPort(path_.c_str(), 57600);
    NetAddress own;
    ASSERT_EQ(COMM_Init(&own), 1);
    Thread_Sleep(20); // the reader is in poll now
    uint32_t start = Thread_ClockMs();
    EXPECT_EQ(COMM_Close(), 1);
    EXPECT_LT(Thread_ClockMs() - start, (uint32_t)kWaitMs);

    ASSERT_EQ(COMM_Init(&own), 1);
    QvLogCapture log(TLOG_NERR | TLOG_NWARN);
    close(master_); // the line fails under the reader: logged once, no spin
    master_ = -1;
    Thread_Sleep(50);
    EXPECT_EQ(COMM_Close(), 1);
    std::string text = log.text();
    size_t first = text.find("Read File failed");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(text.find("Read File failed", first + 1), std::string::npos) << text;
    // The close asked the modem layer to hang up, which had no call.
    EXPECT_NE(text.find("call to MODEM_Disconnect without initialising"), std::string::npos) << text;
}

// The packet layer on network type 2: a packet sent goes out as a frame,
// a frame that comes in reaches the handler from the far end.
std::vector<NetPacket> s_handled;
THREAD_EVENT* s_arrived;
void Handler(NetPacket* p, const NetAddress* from, uint32_t)
{
    if (from->kind == NET_TYPE_SERIAL && from->bytes[0] == 1) s_handled.push_back(*p);
    Event_Set(s_arrived);
}

TEST_F(NetSerialLine, PacketLayerRunsOnTheSerialLine)
{
    s_arrived = Event_Create();
    s_handled.clear();
    COMM_SetPort(path_.c_str(), 57600);
    ASSERT_EQ(NetPkt_Init(NET_TYPE_SERIAL), 1);
    NetPkt_SetReceiveHandler(Handler);
    NetPacket chat = Make(NET_CHAT, 0x66, 12);
    std::string frame = "HEAD";
    Bytes_AppendU32(&frame, Net_Length(&chat));
    frame.append((const char*)chat.raw, Net_Length(&chat));
    ASSERT_EQ(write(master_, frame.data(), frame.size()), (ssize_t)frame.size());
    ASSERT_TRUE(Event_Wait(s_arrived, kWaitMs));
    NetPacket ping = Make(NET_PING, 0, 0);
    NetAddress far = {NET_TYPE_SERIAL, {1, 0, 0, 0, 0, 0}};
    EXPECT_EQ(NetPkt_Send(&ping, &far), 1);
    std::string out = ReadBytes(master_, 29);
    NetPkt_Close();
    Event_Destroy(s_arrived);
    ASSERT_EQ(s_handled.size(), 1u);
    EXPECT_EQ(Net_Type(&s_handled[0]), (uint32_t)NET_CHAT);
    ASSERT_EQ(out.size(), 29u);
    EXPECT_EQ(out.substr(0, 4), "HEAD");
    EXPECT_EQ(Bytes_U32((const uint8_t*)out.data() + 8 + NET_OFF_TYPE), (uint32_t)NET_PING);
}

} // namespace
