// The modem layer over our line module, against the modem emulator: the
// layer drives modem 0, the test speaks raw AT commands on modem 1 as the far
// party. Every wait is bounded.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/tlog.h"
#include "net/atline.h"
#include "net/comm.h"
#include "net/modem.h"
#include "net/netpacket.h"
#include "net/netpkt.h"
#include "platform/thread.h"
#include "support/testsupport.h"

namespace {

const int kWaitMs = 8000;

std::vector<std::string> s_reports;
std::vector<std::string> s_devices;

void OnStatus(const char* id) { s_reports.push_back(id); }
void OnDevice(uint32_t device, const char* name, uint32_t rate)
{
    s_devices.push_back(std::to_string(device) + " " + name + " " + std::to_string(rate));
}

class NetModem : public ::testing::Test {
protected:
    void SetUp() override
    {
        s_reports.clear();
        s_devices.clear();
        StartEmulator(nullptr);
    }
    void TearDown() override
    {
        MODEM_Close();
        COMM_Close();
        ATLine_SetUnavailable(nullptr);
        ATLine_SetNoDataModem(-1);
        StopEmulator();
        g_Config.modemports[0] = 0;
        MODEM_ResetLoader();
    }
    // The emulator with one more option and its value (or none).
    void StartEmulator(const char* option, const char* value = nullptr)
    {
        std::string ports = dir_.file("ports");
        unlink(ports.c_str());
        emulator_ = fork();
        if (emulator_ == 0) {
            execl(QV_MODEMEMU, QV_MODEMEMU, "--ports", ports.c_str(), "--ring-ms", "300", option, value,
                  (char*)nullptr);
            _exit(127);
        }
        for (int i = 0; i < 100 && dir_.read("ports").empty(); i++) Thread_Sleep(20);
        std::ifstream in(ports);
        std::getline(in, port_[0]);
        std::getline(in, port_[1]);
        ASSERT_FALSE(port_[1].empty()) << "the emulator gave no ports";
        Use(port_[0] + ";" + port_[1]);
    }
    void StopEmulator()
    {
        if (far_ >= 0) close(far_);
        far_ = -1;
        kill(emulator_, SIGTERM);
        waitpid(emulator_, nullptr, 0);
    }
    // The ports the next load of the line library finds.
    void Use(const std::string& ports)
    {
        snprintf(g_Config.modemports, sizeof g_Config.modemports, "%s", ports.c_str());
        MODEM_ResetLoader();
    }
    void Start()
    {
        ASSERT_EQ(MODEM_Init(OnDevice), 1);
        MODEM_MessageRegister(OnStatus);
    }
    // Pumps the line messages until the status is reached.
    bool PumpUntilStatus(uint32_t status)
    {
        for (int i = 0; i < kWaitMs / 10 && MODEM_GetStatus() != status; i++) {
            ATLine_Pump();
            Thread_Sleep(10);
        }
        ATLine_Pump();
        return MODEM_GetStatus() == status;
    }
    // The far party: modem 1, raw.
    void OpenFar()
    {
        far_ = open(port_[1].c_str(), O_RDWR | O_NOCTTY);
        termios t;
        tcgetattr(far_, &t);
        cfmakeraw(&t);
        tcsetattr(far_, TCSANOW, &t);
    }
    void FarSays(const char* text) { ASSERT_EQ(write(far_, text, strlen(text)), (ssize_t)strlen(text)); }
    // Reads what modem 1 hears until the text came; all of it.
    std::string FarHears(const std::string& text)
    {
        std::string got;
        char buffer[256];
        while (got.find(text) == std::string::npos) {
            pollfd p = {far_, POLLIN, 0};
            if (poll(&p, 1, kWaitMs) != 1) break;
            ssize_t k = read(far_, buffer, sizeof buffer);
            if (k <= 0) break;
            got.append(buffer, (size_t)k);
        }
        return got;
    }
    std::string Reports()
    {
        std::string all;
        for (const std::string& r : s_reports) all += r + " ";
        return all;
    }
    QvTempDir dir_;
    pid_t emulator_ = -1;
    std::string port_[2];
    int far_ = -1;
};

TEST_F(NetModem, WithoutTheLineLibraryNothingStartsAndEveryCallSaysSo)
{
    QvLogCapture log(TLOG_NERR | TLOG_NWARN | TLOG_NDIAG | TLOG_DIAG);
    Use("");
    EXPECT_EQ(MODEM_Init(OnDevice), 0);
    EXPECT_TRUE(s_devices.empty());
    EXPECT_EQ(MODEM_dial(0, "5551234"), 0);
    MODEM_MessageRegister(OnStatus);
    // After a plain serial session the transport's close asks too.
    EXPECT_EQ(MODEM_Disconnect(), 0);
    EXPECT_EQ(MODEM_GetStatus(), 0u);
    std::string t = log.text();
    EXPECT_NE(t.find("TAPI ERROR: -2147483575 : "), std::string::npos) << t;
    EXPECT_NE(t.find("call to MODEM_dial without initialising"), std::string::npos);
    EXPECT_NE(t.find("call to MODEM_MessageRegister without initialising"), std::string::npos);
    EXPECT_NE(t.find("MODEM Disconnecting"), std::string::npos);
    EXPECT_NE(t.find("call to MODEM_Disconnect without initialising"), std::string::npos);
    // The library was looked for once: ports named now are not seen.
    snprintf(g_Config.modemports, sizeof g_Config.modemports, "%s", port_[0].c_str());
    EXPECT_EQ(MODEM_Init(OnDevice), 0);
}

TEST_F(NetModem, OnlyDataModemsAreOfferedAndOpened)
{
    QvLogCapture log(TLOG_NERR | TLOG_NWARN | TLOG_NDIAG);
    ATLine_SetNoDataModem(1);
    Start();
    ASSERT_EQ(s_devices.size(), 1u);
    EXPECT_EQ(s_devices[0], "0 " + port_[0] + " 57600");
    EXPECT_NE(log.text().find("  Media:    INTERACTIVEVOICE "), std::string::npos) << log.text();
    EXPECT_EQ(MODEM_dial(1, "5551234"), 0);
    EXPECT_EQ(MODEM_Answer(1), 0);
    EXPECT_NE(log.text().find("device specified is not a DATA MODEM"), std::string::npos);
    EXPECT_EQ(MODEM_GetStatus(), 1u);
}

TEST_F(NetModem, ARefusedLineOrCallIsReportedAndClosed)
{
    struct Row {
        const char* name;
        const char* unavailable;
        bool missingPort;
        const char* number;
    };
    const Row rows[] = {
        {"the port can't be opened", nullptr, true, "5551234"},
        {"the line library refuses the line", "lineOpen", false, "5551234"},
        {"the line library refuses the call", "lineMakeCall", false, "5551234"},
        {"a number that would end the dial command", nullptr, false, "555\rATH"},
    };
    for (const Row& row : rows) {
        QvLogCapture log(TLOG_NERR);
        s_reports.clear();
        Use(row.missingPort ? dir_.file("no-such-tty") : port_[0]);
        ATLine_SetUnavailable(row.unavailable);
        Start();
        EXPECT_EQ(MODEM_dial(0, row.number), 0) << row.name;
        EXPECT_EQ(MODEM_GetStatus(), 1u) << row.name;
        EXPECT_EQ(Reports(), "ModemStatusDisconnected ") << row.name;
        EXPECT_NE(log.text().find("TAPI ERROR: "), std::string::npos) << row.name;
        // Closed: the port opens again.
        ATLine_SetUnavailable(nullptr);
        MODEM_Close();
    }
}

TEST_F(NetModem, FaultNumbersDisconnectWithTheirModes)
{
    struct Row {
        const char* number;
        const char* report;
        const char* log;
    };
    const Row rows[] = {
        {"5550001", "ModemStatusDisconnectedBusy", "-------- BUSY"},
        {"555-0002", "ModemStatusDisconnectedNoAnswer", "-------- NO ANSWER"},
        {"5550003", "ModemStatusDisconnectedNoDialTone", "-------- NO DIALTONE"},
    };
    Start();
    for (const Row& row : rows) {
        QvLogCapture log(TLOG_NDIAG);
        s_reports.clear();
        ASSERT_EQ(MODEM_dial(0, row.number), 1) << row.number;
        EXPECT_EQ(MODEM_GetStatus(), 2u);
        for (int i = 0; i < kWaitMs / 10 && s_reports.size() < 3; i++) {
            ATLine_Pump();
            Thread_Sleep(10);
        }
        EXPECT_EQ(Reports(), std::string("ModemStatusDialing ModemStatusProceeding ") + row.report + " ")
            << row.number;
        EXPECT_NE(log.text().find(row.log), std::string::npos) << row.number;
        EXPECT_EQ(MODEM_Disconnect(), 1);
        EXPECT_EQ(MODEM_GetStatus(), 1u);
    }
}

TEST_F(NetModem, AnOfferedCallIsAnsweredAtOnceAndCarriesTheSerialLine)
{
    QvLogCapture log(TLOG_NERR | TLOG_NDIAG | TLOG_DIAG);
    Start();
    ASSERT_EQ(MODEM_Answer(0), 1);
    OpenFar();
    FarSays("ATD5551234\r");
    ASSERT_TRUE(PumpUntilStatus(3)) << Reports() << log.text();
    EXPECT_EQ(Reports(), "ModemStatusPrivilegeOwner ModemStatusRinging ModemStatusAccepted ModemStatusConnected ");
    ASSERT_NE(FarHears("CONNECT 57600").find("CONNECT 57600"), std::string::npos);
    ASSERT_EQ(MODEM_Connect(), 1) << log.text();
    EXPECT_EQ(MODEM_GetStatus(), 4u);
    EXPECT_NE(log.text().find("Connection Speed : 57600"), std::string::npos);
    EXPECT_NE(log.text().find("Device ID: " + port_[0]), std::string::npos);

    // The transport takes the channel as it is and frames packets on it.
    NetAddress own;
    ASSERT_EQ(COMM_Init(&own), 1) << log.text();
    NetPacket p;
    memset(&p, 0, sizeof p);
    std::vector<uint8_t> data(10, 7);
    Net_BuildPacket(&p, data.data(), (uint32_t)data.size(), 1);
    ASSERT_EQ(COMM_iface_send(&p, &own), 1);
    EXPECT_NE(FarHears("HEAD").find("HEAD"), std::string::npos);

    // Closing the transport hangs up: escape, ATH, and the far modem loses
    // its carrier.
    COMM_Close();
    EXPECT_EQ(MODEM_GetStatus(), 1u);
    EXPECT_NE(FarHears("NO CARRIER").find("NO CARRIER"), std::string::npos);
}

TEST_F(NetModem, ADroppedLineStillHangsUpAndClosesCleanly)
{
    StopEmulator();
    StartEmulator("--drop-after", "100");
    Start();
    ASSERT_EQ(MODEM_Answer(0), 1);
    OpenFar();
    FarSays("ATD5551234\r");
    ASSERT_TRUE(PumpUntilStatus(3)) << Reports();
    ASSERT_EQ(MODEM_Connect(), 1);
    NetAddress own;
    ASSERT_EQ(COMM_Init(&own), 1);
    NetPacket p;
    memset(&p, 0, sizeof p);
    std::vector<uint8_t> data(60, 9);
    Net_BuildPacket(&p, data.data(), (uint32_t)data.size(), 1);
    EXPECT_EQ(COMM_iface_send(&p, &own), 1);
    EXPECT_EQ(COMM_iface_send(&p, &own), 1);
    EXPECT_NE(FarHears("NO CARRIER").find("NO CARRIER"), std::string::npos);
    // The carrier went under the serial line: the hang-up finds the modem
    // in commands already and the line closes all the same.
    uint32_t start = Thread_ClockMs();
    EXPECT_EQ(COMM_Close(), 1);
    EXPECT_LT(Thread_ClockMs() - start, (uint32_t)kWaitMs);
    EXPECT_EQ(MODEM_GetStatus(), 1u);
}

TEST_F(NetModem, ADialledCallConnectsWhenTheFarPartyAnswers)
{
    Start();
    OpenFar();
    ASSERT_EQ(MODEM_dial(0, "5551234"), 1);
    ASSERT_NE(FarHears("RING").find("RING"), std::string::npos);
    FarSays("ATA\r");
    ASSERT_TRUE(PumpUntilStatus(3)) << Reports();
    EXPECT_EQ(Reports(), "ModemStatusDialing ModemStatusProceeding ModemStatusConnected ");
    // Dropped before the channel was taken: the modem is in data mode all
    // the same, so the escape comes first.
    EXPECT_EQ(MODEM_Disconnect(), 1);
    EXPECT_EQ(MODEM_GetStatus(), 1u);
}

TEST_F(NetModem, CallStatesReportTheirIdsAndRepliesForNoCallChangeNothing)
{
    struct Row {
        uint32_t state, detail;
        const char* report; // "" none
        uint32_t status;    // after the message, from 2
    };
    const Row rows[] = {
        {LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL, "ModemStatusDialTone", 2},
        {LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_UNAVAIL, "ModemStatusDialTone", 2},
        {LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_EXTERNAL, "ModemStatusDialTone", 2},
        {LINECALLSTATE_BUSY, LINEBUSYMODE_TRUNK, "", 2},
        {LINECALLSTATE_CONNECTED, 0, "ModemStatusConnected", 3},
        {LINECALLSTATE_ONHOLDPENDTRANSFER, 0, "", 2},
        {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_NORMAL, "ModemStatusDisconnectedNormal", 2},
        {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_REJECT, "ModemStatusDisconenctedRejected", 2},
        {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_PICKUP, "ModemStatusDisconnected", 2},
        {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_CONGESTION, "ModemStatusDisconnected", 2},
        {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_UNAVAIL, "ModemStatusDisconnected", 2},
    };
    Start();
    ASSERT_EQ(MODEM_Answer(0), 1);
    for (const Row& row : rows) {
        s_reports.clear();
        MODEM_LineCallback(0, LINE_CALLSTATE, 0, row.state, row.detail, 0);
        EXPECT_EQ(Reports(), row.report[0] ? std::string(row.report) + " " : "") << row.state << "/" << row.detail;
        EXPECT_EQ(MODEM_GetStatus(), row.status) << row.state << "/" << row.detail;
        MODEM_LineCallback(0, LINE_CALLSTATE, 0, LINECALLSTATE_DISCONNECTED, 0, 0);
    }
    // Replies with no call behind them, and noise, reach no one.
    s_reports.clear();
    const char noise[] = "CONNECT 57600\r\nBUSY\r\nNO CARRIER\r\n\x01\x02RIN\r\nOK\r\nERROR\r\n";
    ATLine_Receive(ATLine_LineOf(0), (const uint8_t*)noise, sizeof noise - 1);
    ATLine_Pump();
    EXPECT_EQ(Reports(), "");
    EXPECT_EQ(MODEM_GetStatus(), 2u);
}

// Replies fed straight into the line module, on a pty of the test's own
// that answers nothing, so that only the fed bytes make messages.
TEST(NetModemReplies, RepliesBecomeCallStatesWhateverTheirCuts)
{
    struct Row {
        const char* name;
        bool answer; // the line waits for calls, else it dials
        std::vector<std::string> chunks;
        const char* reports; // after the dial's or the open's own
        uint32_t status;
    };
    const std::string junk(100, 'x');
    const Row rows[] = {
        {"a ring offers once and is answered", true, {"\r\nRING\r\n", "RING\r\nRING\r"},
         "ModemStatusPrivilegeOwner ModemStatusRinging ModemStatusAccepted ", 2},
        {"a ring cut in two", true, {"RI", "N", "G\r"},
         "ModemStatusPrivilegeOwner ModemStatusRinging ModemStatusAccepted ", 2},
        {"a ring on a dialling line is no call", false, {"RING\r\n"}, "", 2},
        {"connect with its rate", false, {"\r\nOK\r\n", "CONNECT 2400", "\r\n"}, "ModemStatusConnected ", 3},
        {"busy cut in two", false, {"BU", "SY\r"}, "ModemStatusDisconnectedBusy ", 2},
        {"a refused dial string", false, {"ERROR\r"}, "ModemStatusDisconnected ", 2},
        {"no carrier before the call was up", false, {"NO CARRIER\n"}, "ModemStatusDisconnected ", 2},
        {"an over-long line is dropped whole", false, {junk + "BUSY\r", "CONNECTED\r", "RINGING\r"}, "", 2},
        {"a NUL spoils its line", false, {std::string("BU\0SY\r", 6), "\rBUSY\r"}, "ModemStatusDisconnectedBusy ", 2},
    };
    int master, slave;
    char name[256];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    snprintf(g_Config.modemports, sizeof g_Config.modemports, "%s", name);
    MODEM_ResetLoader();
    ATLine_SetGuardMs(0);
    for (const Row& row : rows) {
        QvLogCapture log(TLOG_DIAG | TLOG_NDIAG);
        ASSERT_EQ(MODEM_Init(nullptr), 1);
        MODEM_MessageRegister(OnStatus);
        ASSERT_EQ(row.answer ? MODEM_Answer(0) : MODEM_dial(0, "5551234"), 1) << row.name;
        ATLine_Pump();
        s_reports.clear();
        for (const std::string& chunk : row.chunks) {
            ATLine_Receive(ATLine_LineOf(0), (const uint8_t*)chunk.data(), chunk.size());
            ATLine_Pump();
        }
        std::string all;
        for (const std::string& r : s_reports) all += r + " ";
        EXPECT_EQ(all, row.reports) << row.name;
        EXPECT_EQ(MODEM_GetStatus(), row.status) << row.name;
        if (row.status == 3) {
            EXPECT_EQ(MODEM_Connect(), 1) << row.name;
            EXPECT_NE(log.text().find("Connection Speed : 2400"), std::string::npos) << row.name;
        }
        MODEM_Close();
    }
    ATLine_SetGuardMs(250);
    g_Config.modemports[0] = 0;
    MODEM_ResetLoader();
    COMM_SetPort("", 0);
    close(master);
    close(slave);
}

TEST(NetModemReplies, ALongLineNameGrowsTheCapabilitiesBuffer)
{
    int master, slave;
    char name[256];
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    QvTempDir dir;
    std::string link = dir.file(std::string(230, 'm'));
    ASSERT_EQ(symlink(name, link.c_str()), 0);
    snprintf(g_Config.modemports, sizeof g_Config.modemports, "%s", link.c_str());
    MODEM_ResetLoader();
    s_devices.clear();
    ASSERT_EQ(MODEM_Init(OnDevice), 1);
    ASSERT_EQ(s_devices.size(), 1u);
    EXPECT_EQ(s_devices[0], "0 " + link + " 57600");
    MODEM_Close();
    g_Config.modemports[0] = 0;
    MODEM_ResetLoader();
    close(master);
    close(slave);
}

TEST(NetModemText, ErrorCodesHaveTextsOnlyWhereTheLineLibraryUsesThem)
{
    struct Row {
        uint32_t code;
        const char* text;
    };
    const Row rows[] = {
        {0x80000048u, "The operation failed for an unspecified or unknown reason."},
        {0x80000049u, "The line library does not offer this operation."},
        {0x80000004u, "Unknown TAPI error code"},
        {0x80000033u, "Unknown TAPI error code"},
        {0x80000054u, "Unknown TAPI error code"},
        {0x8000005Cu, "Unknown TAPI error code"},
        {0u, "Unknown TAPI error code"},
    };
    for (const Row& row : rows) EXPECT_STREQ(MODEM_ErrorText(row.code), row.text) << std::hex << row.code;
}

} // namespace
