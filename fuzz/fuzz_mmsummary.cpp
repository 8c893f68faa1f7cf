// Hostile bytes as a multiplayer summary: both readers refuse them or read
// them whole, and a thumbnail that is read matches what the file says.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/bytes.h"
#include "fuzzsupport.h"
#include "multi/mmsummary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    const char* path = QvFuzz_WriteTemp(".mm", data, size);
    if (!path) abort();
    QV_FUZZ_GUARD({
        MULTI_scenario browsed;
        const int b = Mm_Browse(&browsed, path);
        const int l = Mm_Load(path);
        if (b != l) abort();
        if (l) {
            const uint32_t w = Bytes_U32(data + MM_SUMMARY_RECORD_BYTES);
            const uint32_t h = Bytes_U32(data + MM_SUMMARY_RECORD_BYTES + 4);
            if ((uint32_t)MM_minimap.x_size != w || (uint32_t)MM_minimap.y_size != h) abort();
            if (memcmp(MM_minimap.data, data + MM_SUMMARY_HEAD_BYTES, (size_t)w * h) != 0) abort();
            if (memcmp(&browsed, &g_MultiScenario, sizeof browsed) != 0) abort();
        } else if (MM_minimap.data) {
            abort();
        }
        Mm_FreeMinimap();
    });
    return 0;
}
