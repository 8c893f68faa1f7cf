// The BMP reader over arbitrary bytes in a file: a picture or an error code,
// never a read past the file's bytes.

#include <cstdio>

#include "core/debug.h"
#include "fuzzsupport.h"
#include "platform/bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    const char* path = QvFuzz_WriteTemp(".bmp", data, size);
    if (!path) return 0;
    QV_FUZZ_GUARD({
        uint8_t* pixels = nullptr;
        PAL_RGB palette[256];
        int size3[3];
        if (Bmp_Read(path, &pixels, palette, &size3[0], &size3[1], &size3[2]) == BMP_OK)
            Debug_Free(&pixels);
    });
    return 0;
}
