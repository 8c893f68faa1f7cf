// The map reader over arbitrary bytes in a file, then every element read
// through the bounded accessor, and a map it accepted written and read back.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "fuzzsupport.h"
#include "map/map.h"

static char s_path[64], s_again[64];

static void fuzz_Map(void)
{
    if (Map_Load(s_path)) {
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
        if (!Map_Save(s_again) || !Map_Load(s_again) || mapsizex != w || mapsizey != h) abort();
    }
    Map_Free();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!s_path[0]) {
        snprintf(s_path, sizeof s_path, "/tmp/qvfuzz-map-%d.map", (int)getpid());
        snprintf(s_again, sizeof s_again, "/tmp/qvfuzz-map-%d-again.map", (int)getpid());
    }
    FILE* f = fopen(s_path, "wb");
    if (!f) return 0;
    if (size) fwrite(data, 1, size, f);
    fclose(f);
    QV_FUZZ_GUARD(fuzz_Map());
    return 0;
}
