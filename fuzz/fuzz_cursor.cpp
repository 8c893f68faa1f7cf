// Cursor files over arbitrary bytes: loading, then selecting, animating and
// drawing every cursor at the screen's corners never goes out of bounds.

#include <cstdio>

#include "fuzzsupport.h"
#include "platform/cursor.h"
#include "platform/graph.h"
#include "platform/plat.h"

static void Exercise(const char* path)
{
    PlatHeadless_UseVirtualClock(1);
    if (!Cursor_Load(path)) return;
    BITMAP b;
    if (Graph_InitBitmap(&b, 48, 40, nullptr)) {
        static const int points[][2] = {{0, 0}, {47, 39}, {-5, 20}, {50, -3}, {24, 20}};
        for (int c = 0; c < cursorinfo.nrcursors; c++) {
            Cursor_Set(c);
            for (int step = 0; step < 3; step++) {
                PlatHeadless_Advance(37);
                Cursor_Update();
                for (const auto& p : points) {
                    GRECT r;
                    Cursor_GetRect(p[0], p[1], &r);
                    Cursor_Draw(&b, p[0], p[1]);
                }
            }
        }
        Graph_FreeBitmap(&b);
    }
    Cursor_Unload();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    const char* path = QvFuzz_WriteTemp(".crs", data, size);
    if (!path) return 0;

    QV_FUZZ_GUARD(Exercise(path));
    return 0;
}
