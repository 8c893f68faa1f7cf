// The PCX reader over arbitrary bytes: a picture or a refusal, never a read
// past the input or a write past the picture.
#include <cstddef>
#include <cstdint>

#include "fuzzsupport.h"
#include "platform/pcx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD({
        BITMAP out{};
        PAL_RGB palette[256];
        if (Pcx_ReadMemory(data, size, "fuzz.pcx", &out, palette)) Graph_FreeBitmap(&out);
    });
    return 0;
}
