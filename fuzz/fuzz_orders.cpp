// The order entry codec and the order recording reader over arbitrary bytes:
// every entry that unpacks packs back to the same bytes; the recording is
// parsed from memory, then played back through a file.
#include <cstdlib>
#include <cstring>

#include "fuzzsupport.h"
#include "units/orders.h"
#include "units/unitlist.h"

static void fuzz_Entries(const uint8_t* data, size_t size)
{
    size_t at = 0;
    while (at < size) {
        ORDERREC* node;
        char err[128];
        size_t used = Orders_UnpackEntry(data + at, size - at, &node, err, sizeof err);
        if (used == 0) break;
        uint8_t buf[ORDER_ENTRY_HEADER + 4 * ORDER_MAXSELECTION];
        int whole = 0;
        size_t packed = Orders_PackEntry(node, buf, sizeof buf, &whole);
        if (packed != used || !whole || memcmp(buf, data + at, used) != 0) abort();
        Orders_FreeNode(node);
        at += used;
    }
}

static void fuzz_Orders(const uint8_t* data, size_t size)
{
    fuzz_Entries(data, size);
    (void)Orders_ParseRecording(data, size, "fuzz.rec");
    if (const char* path = QvFuzz_WriteTemp(".rec", data, size)) (void)Orders_StartPlayback(path);
    Orders_StopPlayback();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(fuzz_Orders(data, size));
    // The node pool and the unit-list elements keep their memory for reuse
    // until the orders close and the lists' store is freed.
    Orders_Close();
    Units_ListFreeAll();
    return 0;
}
