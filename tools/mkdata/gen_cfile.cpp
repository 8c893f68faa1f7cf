// Seeds of the file wrapper's fuzz target.
#include <cstdio>

#include "core/cfile.h"
#include "mkdata.h"

// An integer, then blocks shorter and longer than the readers' buffers, then
// one cut short.
static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_cfile") return 1;
    CFILE* w = Cfile_BufferCreate();
    int ok = Cfile_OpenWrite(w, (dir + "/blocks.bin").c_str(), 0);
    if (ok) {
        static const char text[] = "a block of text longer than most of the buffers";
        // The first byte is the fuzz target's plan, not file content.
        unsigned char plan = 0xE4;
        Cfile_Write(w, &plan, 1);
        Cfile_WriteInt(w, 0x12345678);
        Cfile_WriteBlock(w, text, 4);
        Cfile_WriteBlock(w, text, sizeof text);
        Cfile_WriteBlock(w, nullptr, 0);
        Cfile_WriteInt(w, 1000); // a length with no bytes behind it
        ok = Cfile_Close(w);
    }
    Cfile_BufferFree(w);
    if (!ok) fprintf(stderr, "mkdata: cannot write the seeds of %s in [%s]\n", target.c_str(), dir.c_str());
    return ok;
}

MKDATA_REGISTER(cfile, "cfile", nullptr, Seeds);
