// The fog tile reader over arbitrary bytes: parsed from memory, then loaded
// through a file.
#include "fuzzsupport.h"
#include "map/fog.h"

static void fuzz_FogTile(const uint8_t* data, size_t size)
{
    (void)Fog_ParseTiles(data, size, "fuzz.fog");
    if (const char* path = QvFuzz_WriteTemp(".fog", data, size)) (void)Fog_LoadTiles(path);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(fuzz_FogTile(data, size));
    return 0;
}
