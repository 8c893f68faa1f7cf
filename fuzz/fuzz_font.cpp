// Font images over arbitrary bytes: loading, measuring and drawing every
// character (with the inline codes) never reads or writes out of bounds.

#include <cstdio>

#include "fuzzsupport.h"
#include "platform/font.h"
#include "platform/graph.h"

static void Exercise(const char* path)
{
    static char text[256 + 16];
    for (int i = 0; i < 255; i++) text[i] = (char)(i + 1);
    snprintf(text + 255, 16, "|1~999|0~5");

    Font_Init(1 << 16);
    BITMAP b;
    if (Font_Load(path, 0) && Font_Load(path, 1) && Graph_InitBitmap(&b, 64, 24, nullptr)) {
        uint8_t remap[256];
        for (int i = 0; i < 256; i++) remap[i] = (uint8_t)(255 - i);
        GRECT clip{3, 2, 50, 15};
        (void)Font_StringWidth(text, 0);
        Font_Print(-7, -3, text, 0, 0, remap, nullptr, &b);
        Font_Print(10, 5, text, 40, 1, nullptr, &clip, &b, 9);
        Font_Unload(0);
        Font_Print(60, 20, text, 0, 1, nullptr, nullptr, &b);
        Graph_FreeBitmap(&b);
    }
    Font_Close();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    const char* path = QvFuzz_WriteTemp(".pcx", data, size);
    if (!path) return 0;
    QV_FUZZ_GUARD(Exercise(path));
    return 0;
}
