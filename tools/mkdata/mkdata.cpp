// mkdata: generates the binary data files of the demo world and the fuzz seeds
// from source, with the engine's own writers.
//
//   mkdata demo <rundir>          completes a run directory
//   mkdata seeds <target> <dir>   adds generated seeds for a fuzz target
//
// Text data is written by hand under data/ and fuzz/corpus/; this tool makes
// only what can't be written by hand.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/cfile.h"

static int Usage(void)
{
    fputs("usage: mkdata demo <rundir> | mkdata seeds <target> <dir>\n", stderr);
    return 2;
}

static int MakeDir(const std::string& path)
{
    if (mkdir(path.c_str(), 0755) == 0) return 1;
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The run directory's own folders: saved games go to "save".
static int Demo(const char* rundir)
{
    if (!MakeDir(rundir) || !MakeDir(std::string(rundir) + "/save")) {
        fprintf(stderr, "mkdata: cannot create the run directory [%s]\n", rundir);
        return 1;
    }
    return 0;
}

// The file wrapper's blocks: an integer, then blocks shorter and longer
// than the readers' buffers, then one cut short.
static int SeedCfile(const std::string& dir)
{
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
    return ok;
}

// Text readers' seeds are hand-written in fuzz/corpus; binary readers' seeds
// are generated here.
static int Seeds(const char* target, const char* dir)
{
    if (!MakeDir(dir)) {
        fprintf(stderr, "mkdata: cannot create [%s]\n", dir);
        return 1;
    }
    int ok = 1;
    if (strcmp(target, "fuzz_cfile") == 0) ok = SeedCfile(dir);
    if (!ok) fprintf(stderr, "mkdata: cannot write the seeds of %s in [%s]\n", target, dir);
    return ok ? 0 : 1;
}

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "demo") == 0) return Demo(argv[2]);
    if (argc == 4 && strcmp(argv[1], "seeds") == 0) return Seeds(argv[2], argv[3]);
    return Usage();
}
