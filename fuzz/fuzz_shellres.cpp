// The shell's resource library over arbitrary index and data bytes: every
// lookup, unpacking, chunk walk and font load stays inside the mappings and
// buffers, and every block it allocates is freed.

#include <cstring>

#include "core/bytes.h"
#include "core/debug.h"
#include "fuzzsupport.h"
#include "shell/shellctl.h"
#include "shell/shellres.h"

// Reads every byte the shell's readers take from a found chunk.
static unsigned Touch(const uint8_t* chunk)
{
    if (!chunk) return 0;
    unsigned sum = 0;
    size_t n = Bytes_U32(chunk) == SHELLRES_RGB3 ? 8 + SHELLRES_PALETTE_SIZE
                                                 : 16 + (size_t)Bytes_U16(chunk + 12) * Bytes_U16(chunk + 14);
    for (size_t i = 0; i < n; i++) sum += chunk[i];
    return sum;
}

static void Exercise(const uint8_t* index, size_t indexSize)
{
    static uint8_t buffer[1 << 16];
    static char text[256];
    for (int i = 0; i < 255; i++) text[i] = (char)(i + 1);
    unsigned sink = 0;
    // Names as the index holds them, so that lookups reach the streams.
    for (size_t at = 12; at + 12 <= indexSize && at < 12 + 32 * 16; at += 32) {
        char name[SHELLRES_NAME_SIZE];
        memcpy(name, index + at, sizeof name);
        name[sizeof name - 1] = 0;
        uint32_t type = at + 16 <= indexSize ? Bytes_U32(index + at + 12) : SHELLRES_FLT;
        SHELLRESENTRY entry;
        if (!Shell_FindResourceEntry(name, type, &entry)) continue;
        uint8_t* res = (uint8_t*)Shell_LoadResource(name, type, nullptr);
        sink += Touch(Shell_FindChunk(res, SHELLRES_RGB3)) + Touch(Shell_FindChunk(res, SHELLRES_PIXL));
        Debug_Free(&res);
        if (entry.unpackedSize <= sizeof buffer)
            sink += Shell_LoadResource(name, type, buffer) != nullptr;
        if (type == SHELLRES_FLT) {
            int w = 0, h = 0;
            Shell_LoadFont(0, name);
            Shell_MeasureText(0, text, &w, &h);
            sink += (unsigned)(w + h);
            Shell_FreeFont(0);
        }
    }
    __asm__ volatile("" : : "r"(sink));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    if (size < 4) return 0;
    size_t indexSize = Bytes_U32(data);
    if (indexSize > size - 4) indexSize = size - 4;
    const char* indexPath = QvFuzz_WriteTemp(".rli", data + 4, indexSize);
    const char* dataPath = QvFuzz_WriteTemp(".rld", data + 4 + indexSize, size - 4 - indexSize);
    if (!indexPath || !dataPath) return 0;
    QV_FUZZ_GUARD(Shell_MapResourceLibrary(indexPath); Exercise(data + 4, indexSize);
                  Shell_UnmapResourceLibrary());
    uint8_t out[64];
    (void)Shell_Unpack(data, size, out, sizeof out);
    return 0;
}
