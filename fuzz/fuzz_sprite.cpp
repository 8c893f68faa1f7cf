// Sprite files over arbitrary bytes: loading, then drawing every frame of
// every rotation at the bitmap's corners, across its edges and inside it, in
// each kind's drawing and every render mode, never goes out of bounds.
#include <cstdio>

#include "fuzzsupport.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "platform/sprite.h"

static void Exercise(const char* path)
{
    SPRITE* s = Sprite_Load(path);
    if (!s) return;
    BITMAP b;
    if (Graph_InitBitmap(&b, 40, 30, nullptr)) {
        int w = Sprite_GetWidth(s), h = Sprite_GetHeight(s);
        const int points[][2] = {{0, 0}, {-w / 2, -h / 2}, {40 - w / 2, 30 - h / 2}, {1 - w, 29},
                                 {39, 1 - h}, {7, 5}};
        const GRECT clip = {3, 2, 30, 20};
        int mode = 0;
        for (int f = 0; f < Sprite_NrFrames(s); f++)
            for (int r = 0; r < Sprite_NrRotations(s); r++) {
                const uint8_t* rle = Sprite_GetFrame(s, f, r);
                for (const auto& p : points) {
                    Graph_DrawRLE(&b, nullptr, 0, p[0], p[1], rle, w, h, nullptr,
                                  Sprite_GetKind(s), mode);
                    Graph_DrawRLE(&b, &clip, 0, p[0], p[1], rle, w, h, g_TeamRemap[1],
                                  SPRITE_REGULAR, mode);
                    mode = (mode + 1) % 16;
                }
                int x, y;
                Sprite_GetHotspotXY(s, f % 17, f, r, &x, &y);
            }
        for (int n = -1; n < 257; n++) Sprite_GetSectionInfo(s, n);
        Graph_FreeBitmap(&b);
    }
    Sprite_Free(s);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    const char* path = QvFuzz_WriteTemp(".spr", data, size);
    if (!path) return 0;

    QV_FUZZ_GUARD(Exercise(path));
    return 0;
}
