// The palette information reader over arbitrary bytes in a file, followed by
// applying what it accepted (the colour tables built from any palette).

#include <cstdio>

#include "fuzzsupport.h"
#include "platform/palette.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    const char* path = QvFuzz_WriteTemp(".pal", data, size);
    if (!path) return 0;
    QV_FUZZ_GUARD({
        if (Palstuff_LoadInfo(path)) Display_BuildTeamRemaps();
    });
    return 0;
}
