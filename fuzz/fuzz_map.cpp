// The map reader over arbitrary bytes in a file, then every element read
// through the bounded accessor, and a map it accepted written and read back.
#include <cstdio>
#include <cstdlib>

#include "fuzzsupport.h"
#include "map/map.h"

static void fuzz_Map(const char* path)
{
    const char* again = QvFuzz_Path("again.map");
    if (Map_Load(path)) {
        unsigned sum = 0;
        for (int y = -1; y <= mapsizey; y++)
            for (int x = -1; x <= mapsizex; x++) {
                const MAP_ELEMENT* e = MAP_ELEMENT_AT(x, y);
                sum += e->tile + e->shadev + e->altitude + e->effect + e->water + e->mineral +
                       e->initalt;
            }
        (void)sum;
        // What was accepted must survive a save and a load.
        int w = mapsizex, h = mapsizey;
        if (!Map_Save(again) || !Map_Load(again) || mapsizex != w || mapsizey != h) abort();
    }
    Map_Free();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    const char* path = QvFuzz_WriteTemp(".map", data, size);
    if (!path) return 0;
    QV_FUZZ_GUARD(fuzz_Map(path));
    return 0;
}
