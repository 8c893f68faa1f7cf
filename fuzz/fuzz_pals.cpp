// The palette information reader over arbitrary bytes in a file, followed by
// applying what it accepted (the colour tables built from any palette).
#include <unistd.h>

#include <cstdio>

#include "fuzzsupport.h"
#include "platform/palette.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static char path[64];
    if (!path[0]) snprintf(path, sizeof path, "/tmp/qvfuzz-pals-%d.pal", (int)getpid());
    FILE* f = fopen(path, "wb");
    if (!f) return 0;
    if (size) fwrite(data, 1, size, f);
    fclose(f);
    QV_FUZZ_GUARD({
        if (Palstuff_LoadInfo(path)) Display_BuildTeamRemaps();
    });
    return 0;
}
