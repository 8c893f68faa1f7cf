// The file wrapper's readers over arbitrary bytes: integers, raw reads and
// length-prefixed blocks of every size, never past the end or the buffer.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/cfile.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    const char* path = QvFuzz_WriteTemp(".bin", size ? data + 1 : data, size ? size - 1 : 0);
    if (!path) return 0;

    // The first byte picks the reader sizes, so blocks meet short and long buffers.
    unsigned char plan = size ? data[0] : 0;
    CFILE* w = Cfile_BufferCreate();
    QV_FUZZ_GUARD({
        if (Cfile_OpenRead(w, path)) {
            unsigned char buffer[64];
            for (int step = 0; step < 16 && !Cfile_Failed(w); step++) {
                switch ((plan >> (step % 4 * 2)) & 3) {
                case 0: (void)Cfile_ReadInt(w); break;
                case 1: Cfile_Read(w, buffer, (size_t)(step * 3) % sizeof buffer); break;
                case 2: Cfile_ReadBlock(w, buffer, (size_t)(plan % sizeof buffer)); break;
                default: Cfile_ReadBlock(w, buffer, sizeof buffer); break;
                }
            }
            Cfile_Close(w);
        }
    });
    Cfile_BufferFree(w);
    return 0;
}
