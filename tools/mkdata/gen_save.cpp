// Seeds of the saved-game loader's fuzz target: saves of its fixed world.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/gamestate.h"
#include "core/uid.h"
#include "map/mapview.h"
#include "mkdata.h"
#include "save/save.h"

// The fuzz target's world: the same scenario name, its own words.
static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_save") return 1;
    strcpy(g_ScenarioName, "FuzzWorld");
    g_MapView = MAPVIEW{48, 72, 2, 3, 0, 0};
    g_UpdateCount = 50;
    Uid_Set(1234);
    std::string tmp = dir + "/save.tmp";
    int ok = Save_Game(tmp.c_str(), 0);
    std::string bytes;
    if (ok) {
        FILE* f = fopen(tmp.c_str(), "rb");
        int c;
        while (f && (c = fgetc(f)) != EOF) bytes.push_back((char)c);
        if (f) fclose(f);
        remove(tmp.c_str());
    }
    // The first byte is the target's switch: 1 repairs every CRC.
    for (char flag : {'\0', '\1'}) {
        std::string path = dir + (flag ? "/repaired.sav" : "/plain.sav");
        FILE* f = ok ? fopen(path.c_str(), "wb") : nullptr;
        ok = f && fputc(flag, f) != EOF && fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        if (f) ok = fclose(f) == 0 && ok;
    }
    if (!ok) fprintf(stderr, "mkdata: cannot write the seeds of %s in [%s]\n", target.c_str(), dir.c_str());
    return ok;
}

MKDATA_REGISTER(save, "save", nullptr, Seeds);
