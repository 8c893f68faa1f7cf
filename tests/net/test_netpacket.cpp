// The packet format: building, CRC, names and unpacking, one table.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "core/crc32.h"
#include "core/tlog.h"
#include "net/netlog.h"
#include "net/netpacket.h"
#include "support/testsupport.h"

namespace {

NetPacket Stamped(uint32_t datalength)
{
    NetPacket p;
    memset(&p, 0, sizeof p);
    uint8_t data[NET_MAX_DATA];
    for (uint32_t i = 0; i < datalength; i++) data[i] = (uint8_t)(i * 7 + 1);
    EXPECT_TRUE(Net_BuildPacket(&p, datalength ? data : nullptr, datalength, NET_ROUND));
    Net_SetId(&p, 0x01020304);
    Net_StampCrc(&p);
    return p;
}

TEST(NetPacket, EveryChangedByteFailsTheCrcAndARestoredOneVerifies)
{
    struct Row {
        uint32_t datalength;
        int offset; // byte changed; -1 none
        int verifies;
    } rows[] = {
        {0, -1, 1},                      // empty: 21 bytes, CRC over the header alone
        {0, NET_OFF_LENGTH, 0},          // (length 21 ^ 1 = 20 is still read as 20 bytes)
        {10, NET_OFF_TYPE, 0},
        {10, NET_OFF_ID + 2, 0},
        {10, NET_OFF_ROUND, 0},
        {279, NET_HEADER_SIZE + 278, 0}, // the last data byte
    };
    QvLogCapture log(TLOG_NERR);
    for (const Row& r : rows) {
        NetPacket p = Stamped(r.datalength);
        EXPECT_EQ(Net_Length(&p), NET_HEADER_SIZE + r.datalength);
        if (r.datalength == 0) {
            NetPacket z = p;
            Net_SetCrc(&z, 0);
            EXPECT_EQ(Net_Crc(&p), Crc32_Block(z.raw, NET_HEADER_SIZE));
        }
        uint32_t crc = Net_Crc(&p);
        if (r.offset >= 0) p.raw[r.offset] ^= 1;
        EXPECT_EQ(Net_VerifyCrc(&p), r.verifies) << r.offset;
        EXPECT_EQ(Net_Crc(&p), r.verifies ? 0u : crc) << "0 after a pass, what arrived after a failure";
        if (r.offset >= 0) p.raw[r.offset] ^= 1;
        if (r.verifies) {
            EXPECT_EQ(Net_VerifyCrc(&p), 0) << "verified again without its crc restored";
        }
        Net_SetCrc(&p, crc);
        EXPECT_EQ(Net_VerifyCrc(&p), 1);
    }
    EXPECT_NE(log.text().find("CRC Error during verification"), std::string::npos);
}

TEST(NetPacket, CrcDumpPrintedZeroInsteadOfTheReceivedSum)
{
    QvLogCapture log(TLOG_NERR | TLOG_NDIAG);
    NetLog_Reset();
    NetPacket p = Stamped(10);
    uint32_t crc = Net_Crc(&p);
    p.raw[NET_HEADER_SIZE] ^= 1;
    EXPECT_EQ(Net_VerifyCrc(&p), 0);
    char line[32];
    snprintf(line, sizeof line, "crc32:  %08x", crc);
    EXPECT_NE(log.text().find(line), std::string::npos) << log.text();
}

TEST(NetPacket, LengthFieldIsComparedWithItsDatagram)
{
    QvLogCapture log(TLOG_NERR);
    NetLog_Reset();
    NetPacket p = Stamped(10);
    const struct {
        uint32_t size;
        int fits;
    } rows[] = {{31, 1}, {30, 0}, {32, 0}, {300, 0}, {0, 0}};
    for (const auto& r : rows) EXPECT_EQ(Net_FitsDatagram(&p, r.size), r.fits) << r.size;
    EXPECT_NE(log.text().find("Packet length 31 in a datagram of 30 bytes dropped"), std::string::npos);
    EXPECT_NE(log.text().find("Packet length 31 in a datagram of 32 bytes dropped"), std::string::npos);
}

TEST(NetPacket, NamesUnpacksAndRefusesByLength)
{
    EXPECT_STREQ(Net_PacketTypeName(0x10C), "ROUND");
    EXPECT_STREQ(Net_PacketTypeName(0x201), "PING");
    EXPECT_STREQ(Net_PacketTypeName(0), "unknown *@#%$!@*^#%@#*$%@*^!@");
    EXPECT_STREQ(Net_PacketTypeName(14), "unknown *@#%$!@*^#%@#*$%@*^!@");

    struct Row {
        uint32_t length;   // the header's length field
        uint32_t destsize;
        int unpacks;
    } rows[] = {
        {21, 0, 1},    {31, 10, 1},          {31, 9, 0}, // exactly fits; one byte short
        {20, 300, 0},  {300, 279, 1},        {301, 300, 0},
        {0xFFFFFFFFu, 0xFFFFFFFFu, 0},
    };
    QvLogCapture log(TLOG_NERR);
    for (const Row& r : rows) {
        NetPacket p = Stamped(10);
        Net_SetLength(&p, r.length);
        uint8_t dest[400];
        memset(dest, 0xEE, sizeof dest);
        EXPECT_EQ(Net_UnpackPacket(&p, dest, r.destsize), r.unpacks) << r.length << " " << r.destsize;
        EXPECT_EQ(dest[0], r.unpacks && r.length > 21 ? 1 : 0xEE) << r.length;
    }
    EXPECT_NE(log.text().find("Destination is not large enough for incomming packet data.  Type: "
                              "ROUND From: 0 [9:10]"),
              std::string::npos);

    NetPacket p = Stamped(5);
    NetPacket before = p;
    uint8_t big[280] = {};
    EXPECT_EQ(Net_BuildPacket(&p, big, 280, NET_MESSAGE), 0);
    EXPECT_EQ(memcmp(&p, &before, sizeof p), 0);
    EXPECT_NE(log.text().find("Data is too large for packet.  Type: MESSAGE [301:300]"),
              std::string::npos);
}

} // namespace
