// The serial page in-process: its lists from the configuration and the
// ports present, what it keeps, and Create Game on a pseudo-terminal.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "core/config.h"
#include "core/utils.h"
#include "mmfixture.h"
#include "multi/mmchat.h"
#include "multi/mmframe.h"
#include "multi/mmserial.h"
#include "net/net.h"
#include "net/netpkt.h"
#include "widgets/qidesktop.h"
#include "widgets/qilist.h"
#include "widgets/qislider.h"

namespace {

class MmSerial : public MmFixture {
protected:
    QCONFIG saved = g_Config;
    void TearDown() override
    {
        MmFixture::TearDown();
        g_Config = saved;
    }
    void Enter(const char* ports, const char* port, const char* baud)
    {
        Str_CopySafe(g_Config.serialports, ports, sizeof g_Config.serialports);
        Str_CopySafe(g_Config.serialport, port, sizeof g_Config.serialport);
        Str_CopySafe(g_Config.serialbaud, baud, sizeof g_Config.serialbaud);
        if (!desktop) Build();
        MM_serial_start();
    }
    static std::string Current(QIList* l)
    {
        auto* r = dynamic_cast<MMScrollSerial*>(l->ItemAt(l->current));
        return r ? r->text.c_str() : "";
    }
};

TEST_F(MmSerial, TheListsPreselectTheConfiguredPortAndSpeed)
{
    struct ROW {
        const char* name;
        const char* port;
        const char* baud;
        const char* wantPort;
        const char* wantBaud;
    } rows[] = {
        {"both found", "/tmp/qvB", "38400", "/tmp/qvB", "38400"},
        {"an unknown speed", "/tmp/qvB", "12345", "/tmp/qvB", "9600"},
        {"the port compared with case", "/tmp/qvb", "115200", "/tmp/qvA", "115200"},
        {"nothing configured", "", "", "/tmp/qvA", "9600"},
    };
    for (const ROW& r : rows) {
        Enter("/tmp/qvA;/tmp/qvB", r.port, r.baud);
        EXPECT_EQ(Current(MM_serial_ports()), r.wantPort) << r.name;
        EXPECT_EQ(Current(MM_serial_speeds()), r.wantBaud) << r.name;
    }
    EXPECT_EQ(MM_serial_speeds()->count, 8);
    // Only the speed list scrolls, by the port list's name.
    EXPECT_EQ(MM_serial_ports()->vScroll, nullptr);
    ASSERT_NE(MM_serial_speeds()->vScroll, nullptr);
    EXPECT_STREQ(MM_serial_speeds()->vScroll->name.c_str(), "SerialPortScrollerVS");
}

TEST_F(MmSerial, LeavingWritesTheChoiceOnlyWhenItChanged)
{
    dir.write("quorvex.cfg", "MultiPlayerConfiguration\n{\n    SerialSettings\n    {\n        SetPort \"/tmp/qvA\"\n"
                             "        SetBaud \"9600\"\n    }\n}\n");
    const std::string before = dir.read("quorvex.cfg");
    Enter("/tmp/qvA;/tmp/qvB", "/tmp/qvA", "9600");
    MM_serial_back(nullptr, QIN_CLICKED, 0);
    EXPECT_EQ(dir.read("quorvex.cfg"), before) << "unchanged: nothing written";
    Enter("/tmp/qvA;/tmp/qvB", "/tmp/qvA", "9600");
    MM_serial_ports()->SetCurrent(1);
    MM_serial_speeds()->SetCurrent(6);
    MM_serial_back(nullptr, QIN_CLICKED, 0);
    const std::string after = dir.read("quorvex.cfg");
    EXPECT_NE(after.find("\"/tmp/qvB\""), std::string::npos) << after;
    EXPECT_NE(after.find("\"115200\""), std::string::npos) << after;
    EXPECT_STREQ(g_Config.serialport, "/tmp/qvB");
}

// A failed Create closes the network, so the next one opens the port chosen
// then; with no port at all Create and Join show the box and stay.
TEST_F(MmSerial, ARetryUsesTheNewPortAndNoPortShowsTheBox)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string pty = ptsname(master);
    Enter(("/nonexistent/qv0;" + pty).c_str(), "/nonexistent/qv0", "9600");
    for (int attempt = 0; attempt < 2; attempt++) {
        QvPassScript s(200);
        s.stopWhenDone = false;
        Click(s, 314, 273); // the box's Ok
        if (attempt == 1) MM_serial_ports()->SetCurrent(1);
        MM_serial_create(nullptr, QIN_CLICKED, 0);
        if (attempt == 0) {
            EXPECT_FALSE(NetPkt_Running()) << "closed after the failure";
            EXPECT_FALSE(Shown("MultiMenuChat"));
        }
    }
    EXPECT_TRUE(Shown("MultiMenuChat")) << "the pseudo-terminal opened: hosting";
    EXPECT_TRUE(g_NetCreator);
    MM_chat_finish();
    close(master);
    // No port: the box, and nothing started.
    Enter("", "", "");
    ASSERT_EQ(MM_serial_ports()->count >= 0, true);
    if (MM_serial_ports()->count == 0) {
        QvLogCapture log(0xFFFFFFFF);
        QvPassScript s(200);
        s.stopWhenDone = false;
        Click(s, 314, 273);
        MM_serial_join(nullptr, QIN_CLICKED, 0);
        EXPECT_NE(log.text().find("Could not initialise serial interface"), std::string::npos);
        EXPECT_FALSE(NetPkt_Running());
    }
}

} // namespace
