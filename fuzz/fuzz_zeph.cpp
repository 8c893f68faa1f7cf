// The meeting client's reader: server bytes into the client library, as
// chunks {u8 length, bytes} the way reads from the socket deliver them, each
// chunk followed by a poll of the client. Texts handed to the handlers must
// end within what a packet can carry; the client's lists are freed at the
// end of every input.
#include <cstdlib>
#include <cstring>

#include "fuzzsupport.h"
#include "net/zeph.h"

static void CheckText(const char* sender, const char* text)
{
    if (strlen(sender) > DP_NAME_SIZE || strlen(text) > ZEPH_RECEIVE_BYTES - 2) abort();
}

static void fuzz_Zeph(const uint8_t* data, size_t size)
{
    DPHANDLE handle = nullptr;
    dpCreate(&handle, "fuzz", nullptr, nullptr);
    Zeph_InitWithHandle(handle);
    Zeph_SetTagAKHandler(CheckText);
    Zeph_SetTagAMHandler(CheckText);
    size_t at = 0;
    while (at < size) {
        size_t length = data[at++];
        if (length > size - at) length = size - at;
        dpFeed(handle, data + at, (uint32_t)length);
        ZEPH_poll();
        at += length;
    }
    Zeph_PlayerListRewind();
    while (const ZephPlayerRecord* p = Zeph_PlayerListNext())
        if (strnlen(p->name, sizeof p->name) == sizeof p->name) abort();
    Zeph_Shutdown();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(fuzz_Zeph(data, size));
    return 0;
}
