// Any bytes as a video through the movie layer: the file either can't be
// played or gives frames; every frame is decoded into a small destination
// placed from the first bytes, then frame 1 is gone to and decoded. No write
// may fall outside the destination (a heap block of exactly its size, with
// guard bytes around it checked here).
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzzsupport.h"
#include "platform/movie.h"
#include "platform/plat.h"

enum { PITCH = 24, HEIGHT = 16, GUARD = 32 };

static void fuzz_Movie(const uint8_t* data, size_t n)
{
    int left = n > 0 ? (int)(int8_t)data[0] : 0, top = n > 1 ? (int)(int8_t)data[1] : 0;
    const char* path = QvFuzz_WriteTemp(".smk", data, n);
    if (!path) return;
    MOVIE* m = Movie_Open(path);
    if (!m) return;
    if (m->frames < 1 || m->width < 1 || m->height < 1) abort();
    std::vector<uint8_t> block(GUARD + PITCH * HEIGHT + GUARD, 0xA5);
    uint8_t* dest = block.data() + GUARD;
    Movie_SetDestination(m, left % 32, top % 32, PITCH, HEIGHT, dest);
    // Bounded: a file may claim many frames.
    for (int i = 0; i < m->frames && i < 64; i++) {
        Movie_DecodeFrame(m);
        Movie_NextFrame(m);
    }
    Movie_GoToFrame(m, 1);
    Movie_DecodeFrame(m);
    if (m->current < 0 || m->current >= m->frames) abort();
    Movie_Close(m);
    for (int i = 0; i < GUARD; i++)
        if (block[i] != 0xA5 || block[GUARD + PITCH * HEIGHT + i] != 0xA5) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int ready = (Plat_InitWith(&g_PlatHeadless), 1);
    (void)ready;
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(fuzz_Movie(data, size));
    return 0;
}
