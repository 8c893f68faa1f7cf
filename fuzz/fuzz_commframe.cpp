// Line bytes into the serial transport's frame reader. The input is chunks,
// each {u8 length, bytes}, as reads from the line deliver them; every frame
// found must hold a length a packet can have and fit a ring slot, and is
// read as a packet.
#include <cstdlib>
#include <cstring>

#include "core/bytes.h"
#include "fuzzsupport.h"
#include "net/comm.h"
#include "net/netpacket.h"

static void fuzz_CommFrame(const uint8_t* data, size_t size)
{
    CommReader reader;
    COMM_ReaderReset(&reader);
    size_t at = 0;
    while (at < size) {
        size_t length = data[at++];
        if (length > size - at) length = size - at;
        for (size_t i = 0; i < length; i++) {
            if (!COMM_ReaderFeed(&reader, data[at + i])) continue;
            uint32_t l = Bytes_U32(reader.buffer + 4);
            if (l < COMM_MIN_LENGTH || l > COMM_MAX_LENGTH || memcmp(reader.buffer, "HEAD", 4) != 0) abort();
            NetPacket p;
            memset(&p, 0, sizeof p);
            memcpy(p.raw, reader.buffer + COMM_FRAME_HEADER, l);
            uint8_t out[NET_MAX_DATA];
            Net_UnpackPacket(&p, out, sizeof out);
        }
        if (reader.count > COMM_FRAME_HEADER + COMM_MAX_LENGTH) abort();
        at += length;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(fuzz_CommFrame(data, size));
    return 0;
}
