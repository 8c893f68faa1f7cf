// Hostile bytes as a configuration file: every error must be a clean fatal
// (caught here) and no byte may be read out of bounds. A file that loads
// must still load after a line rewrite, with the rewritten name or, when the
// rewrite left the file alone, the old one.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/config.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tfmod.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QCONFIG cfg;
    Cfg_SetDefaults(&cfg);
    bool loaded = false;
    QV_FUZZ_GUARD({
        Cfg_LoadText("fuzz.cfg", reinterpret_cast<const char*>(data), size, &cfg);
        loaded = true;
    });
    if (!loaded) return 0;

    const std::string before = g_CfgPlayerName;
    const char* path = QvFuzz_WriteTemp(".cfg", data, size);
    if (!path) return 0;
    Tfmod_SetConfigPath(path);
    Tfmod_SetPlayerName("Fuzz Name");
    Tfmod_SetConfigPath(nullptr);
    std::string text;
    if (!Fs_ReadAll(path, &text)) abort();
    bool reloaded = false;
    QV_FUZZ_GUARD({
        Cfg_SetDefaults(&cfg);
        Cfg_LoadText("fuzz.cfg", text.data(), text.size(), &cfg);
        reloaded = true;
    });
    if (!reloaded) abort();
    bool same = text.size() == size && memcmp(text.data(), data, size) == 0;
    if (strcmp(g_CfgPlayerName, same ? before.c_str() : "Fuzz Name") != 0) abort();
    return 0;
}
