// The tile-set reader over arbitrary bytes in a file, then a few tile words
// drawn from what it accepted.
#include <cstdio>

#include "fuzzsupport.h"
#include "map/tile.h"
#include "platform/graph.h"

static void fuzz_Tile(const char* path)
{
    if (Tile_LoadInfo(path)) {
        static uint8_t pixels[30 * 30];
        BITMAP bmp{pixels, 0, 30, 30};
        const uint32_t words[] = {0u, 0x3210u, 0xFFFFFFFFu, 0x1C5A7Eu, 0x8F0F0u | 2u << 16};
        for (uint32_t w : words) {
            Tile_Draw(w, &bmp, 0);
            Tile_DrawAt(w, &bmp, 17, -5);
            (void)Tile_MiniColour(w);
        }
        for (int m = 0; m < TILEMAXMASKVARIATIONS; m++) (void)Tile_GetMask(m);
    }
    Tile_Close();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    const char* path = QvFuzz_WriteTemp(".til", data, size);
    if (!path) return 0;
    QV_FUZZ_GUARD(fuzz_Tile(path));
    return 0;
}
