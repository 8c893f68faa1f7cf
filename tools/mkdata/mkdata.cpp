// mkdata: generates the binary data files of the demo world and the fuzz seeds
// from source, with the engine's own writers.
//
//   mkdata demo <rundir>          completes a run directory
//   mkdata seeds <target> <dir>   adds generated seeds for a fuzz target
//
// Text data is written by hand under data/ and fuzz/corpus/; this tool makes
// only what can't be written by hand.
#include "mkdata.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/fspath.h"

static std::vector<MKDATA_GEN>& Generators()
{
    static std::vector<MKDATA_GEN> list;
    return list;
}

MkdataRegistrar::MkdataRegistrar(const MKDATA_GEN& gen) { Generators().push_back(gen); }

int Mkdata_MakeDirs(const std::string& path)
{
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (std::filesystem::is_directory(path, ec)) return 1;
    fprintf(stderr, "mkdata: cannot create [%s]\n", path.c_str());
    return 0;
}

int Mkdata_WriteFile(const std::string& path, const void* data, size_t length)
{
    std::filesystem::path p(path);
    if (p.has_parent_path() && !Mkdata_MakeDirs(p.parent_path().string())) return 0;
    if (Fs_WriteAtomic(path.c_str(), data, length)) return 1;
    fprintf(stderr, "mkdata: cannot write [%s]\n", path.c_str());
    return 0;
}

static int Usage(void)
{
    fputs("usage: mkdata demo <rundir> | mkdata seeds <target> <dir>\n", stderr);
    return 2;
}

int main(int argc, char** argv)
{
    if (argc == 3 && strcmp(argv[1], "demo") == 0) {
        // The run directory's own folders: saved games go to "save".
        if (!Mkdata_MakeDirs(std::string(argv[2]) + "/save")) return 1;
        for (int late = 0; late < 2; late++)
            for (const MKDATA_GEN& g : Generators())
                if (g.late == late && g.demo && !g.demo(argv[2])) return 1;
        return 0;
    }
    if (argc == 4 && strcmp(argv[1], "seeds") == 0) {
        if (!Mkdata_MakeDirs(argv[3])) return 1;
        for (const MKDATA_GEN& g : Generators())
            if (g.seeds && !g.seeds(argv[2], argv[3])) return 1;
        return 0;
    }
    return Usage();
}
