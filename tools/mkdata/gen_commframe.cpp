// Seeds for the serial frame reader's fuzz target: frames of packets made
// with the engine's own packet functions, with noise and a bad length, cut
// into chunks ({u8 length, bytes}).
#include <cstring>
#include <string>

#include "core/bytes.h"
#include "mkdata.h"
#include "net/netpacket.h"

static std::string Frame(uint32_t type, const char* text)
{
    NetPacket p;
    memset(&p, 0, sizeof p);
    Net_BuildPacket(&p, text, (uint32_t)strlen(text) + 1, type);
    Net_StampCrc(&p);
    std::string f = "HEAD";
    Bytes_AppendU32(&f, Net_Length(&p));
    f.append((const char*)p.raw, Net_Length(&p));
    return f;
}

static std::string Chunks(const std::string& line, size_t size)
{
    std::string out;
    for (size_t at = 0; at < line.size(); at += size) {
        size_t n = line.size() - at < size ? line.size() - at : size;
        out.push_back((char)n);
        out.append(line, at, n);
    }
    return out;
}

static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_commframe") return 1;
    std::string clean = Frame(NET_CHAT, "hello there") + Frame(NET_ROUND | NET_WANTS_ACK, "orders");
    std::string noisy = "xyHEADzz" + Frame(NET_PING, "") + std::string("HEAD\x10\x27\0\0", 8) + Frame(NET_MESSAGE, "again");
    std::string one = Chunks(clean, 255), bytes = Chunks(noisy, 1), sevens = Chunks(noisy, 7);
    return Mkdata_WriteFile(dir + "/clean.bin", one.data(), one.size()) &&
           Mkdata_WriteFile(dir + "/bytes.bin", bytes.data(), bytes.size()) &&
           Mkdata_WriteFile(dir + "/sevens.bin", sevens.data(), sevens.size());
}

MKDATA_REGISTER(commframe, "commframe", nullptr, Seeds);
