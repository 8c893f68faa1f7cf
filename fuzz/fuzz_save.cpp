// The saved-game loader over arbitrary files for a fixed world: no crash, no
// hang, every block it takes given back, and a refused file leaves the game
// exactly as it was. The first byte's bit 0 repairs every CRC, so that
// mutations reach the decoding behind the checksums.

#include <cstdlib>
#include <cstring>
#include <string>

#include "core/crc32.h"
#include "core/gamestate.h"
#include "core/uid.h"
#include "fuzzsupport.h"
#include "map/mapview.h"
#include "save/save.h"
#include "shell/shell.h"

namespace {

struct Words {
    MAPVIEW view;
    uint32_t update;
    int32_t uid;
    SHELLINFO shell;
};

Words Current() { return Words{g_MapView, g_UpdateCount, Uid_Get(), g_ShellInfo}; }

uint32_t Get32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= (uint32_t)(uint8_t)s[at + i] << (8 * i);
    return v;
}

void Put32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++) s[at + i] = (char)(v >> (8 * i));
}

// Recomputes the header's and every reachable block's CRC.
void RepairCrcs(std::string& s)
{
    if (s.size() < 32) return;
    Put32(s, 28, Crc32_Block(s.data() + 4, 24));
    size_t at = 32;
    for (int section = 0; section < 2 && s.size() - at >= 4; section++) {
        uint32_t count = Get32(s, at);
        at += 4;
        for (uint32_t i = 0; i < count && s.size() - at >= 16; i++) {
            uint32_t flags = Get32(s, at + 4), size = flags & 0xFFFFF;
            if ((flags & 0x30000000) == 0x30000000) {
                at += 16;
                continue;
            }
            if (s.size() - at - 16 < size) return;
            Put32(s, at + 12, Crc32_Block(s.data() + at + 16, size));
            at += 16 + size;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    strcpy(g_ScenarioName, "FuzzWorld");
    g_MapView = MAPVIEW{1, 2, 3, 4, 5, 6};
    g_UpdateCount = 7;
    Uid_Set(8);
    Words before = Current();
    QvFuzzHeapCheck check;
    std::string file(size ? (const char*)data + 1 : "", size ? size - 1 : 0);
    if (size && (data[0] & 1)) RepairCrcs(file);
    const char* path = QvFuzz_WriteTemp(".sav", (const uint8_t*)file.data(), file.size());
    if (!path) return 0;
    int result = -1;
    QV_FUZZ_GUARD(result = Save_Load(path));
    Words after = Current();
    if (result != SAVE_LOADED && memcmp(&before, &after, sizeof before) != 0) abort();
    return 0;
}
