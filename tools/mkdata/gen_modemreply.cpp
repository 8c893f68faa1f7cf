// Seeds for the modem replies' fuzz target: a mode byte, then what a modem
// says in a call, cut into chunks ({u8 length, bytes}).
#include <string>

#include "mkdata.h"

static std::string Chunks(const std::string& text, size_t size)
{
    std::string out;
    for (size_t at = 0; at < text.size(); at += size) {
        size_t n = text.size() - at < size ? text.size() - at : size;
        out.push_back((char)n);
        out.append(text, at, n);
    }
    return out;
}

static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_modemreply") return 1;
    const struct {
        const char* name;
        char mode;
        std::string replies;
        size_t chunk;
    } seeds[] = {
        {"dialled", 2, "\r\nOK\r\n\r\nCONNECT 57600\r\nHEAD", 255},
        {"answered", 3, "\r\nOK\r\n\r\nRING\r\n\r\nRING\r\n\r\nCONNECT 28800\r\n", 3},
        {"busy", 0, "\r\nOK\r\n\r\nBUSY\r\n", 1},
        {"noanswer", 0, "\r\nNO ANSWER\r\n\r\nCONNECT\r\n", 5},
        {"nodialtone", 0, "\r\nNO DIALTONE\r\n", 255},
        {"nocarrier", 1, "\r\nRING\r\n\r\nNO CARRIER\r\n\r\nRING\r\n", 4},
        {"noise", 0, std::string("\x01\x02\0RING\r\nERROR\r\nCONNECT 9999999999999\r\n", 39), 7},
    };
    for (const auto& s : seeds) {
        std::string bytes = std::string(1, s.mode) + Chunks(s.replies, s.chunk);
        if (!Mkdata_WriteFile(dir + "/" + s.name + ".bin", bytes.data(), bytes.size())) return 0;
    }
    return 1;
}

MKDATA_REGISTER(modemreply, "modemreply", nullptr, Seeds);
