// The saved-game loader over arbitrary files for a fixed world (things,
// display elements, regions, the map grid; two teams' units with parts and
// paths, a hold, a package, buildings with a service queue, a shot with its
// vortex and wave, an explosion, a search, a condition tree), each file
// taken by the in-game load of the running game: no crash, no hang, every
// block it takes given back, and a refused file leaves the game exactly as
// it was (its own save unchanged) and in play. A file of another scenario
// ends the game for state 6 only when it is whole and its scenario (OTHER,
// beside the world's) is there. The first byte's bit 0 repairs every CRC,
// so that mutations reach the decoding behind the checksums.

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/crc32.h"
#include "core/gamestate.h"
#include "core/uid.h"
#include "core/utils.h"
#include "fuzzsupport.h"
#include "gen_save.h"
#include "save/save.h"
#include "ui/igimenu.h"

namespace {

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

// Walked apart from the loader: the header's sum, every block's marker and
// sum, the sections ending where the file ends.
bool Whole(const std::string& s)
{
    if (s.size() < 36 || Get32(s, 0) != 24 || Get32(s, 28) != Crc32_Block(s.data() + 4, 24)) return false;
    size_t at = 32;
    for (int section = 0; section < 2; section++) {
        if (s.size() - at < 4) return false;
        uint32_t count = Get32(s, at);
        at += 4;
        for (uint32_t i = 0; i < count; i++) {
            if (s.size() - at < 16 || Get32(s, at) != 0x5A5A5A5A) return false;
            uint32_t flags = Get32(s, at + 4), size = (flags & 0x30000000) == 0x30000000 ? 0 : flags & 0xFFFFF;
            if (s.size() - at - 16 < size) return false;
            if (size && Get32(s, at + 12) != Crc32_Block(s.data() + at + 16, size)) return false;
            at += 16 + size;
        }
    }
    return at == s.size();
}

// The scenarios' category: OTHER is there.
void Scenarios(void)
{
    static bool made = false;
    if (made) return;
    made = true;
    Game_SetDirectories(QvFuzz_Dir(), "data", "", "save", "scenario");
    Game_SetScenarioCategory(SC_SINGLE);
    const std::string dir = std::string(QvFuzz_Dir()) + "/scenario";
    for (const char* sub : {"", "/SINGLE", "/SINGLE/OTHER"}) mkdir((dir + sub).c_str(), 0700);
    FILE* f = fopen((dir + "/SINGLE/OTHER/QUORVEX.scn").c_str(), "wb");
    if (!f || fclose(f) != 0) abort();
}

// The world's own save: equal bytes, equal worlds (same addresses).
std::string WorldBytes(void)
{
    const char* path = QvFuzz_Path("world.sav");
    std::string out;
    if (!Save_Game(path, 0)) abort();
    FILE* f = fopen(path, "rb");
    for (int c; f && (c = fgetc(f)) != EOF;) out.push_back((char)c);
    if (f) fclose(f);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Scenarios();
    QvFuzzHeapCheck check;
    Save_Init();
    Uid_Reset();
    Mkdata_SaveWorldOpen();
    const std::string before = WorldBytes();
    std::string file(size ? (const char*)data + 1 : "", size ? size - 1 : 0);
    if (size && (data[0] & 1)) RepairCrcs(file);
    const char* path = QvFuzz_WriteTemp(".sav", (const uint8_t*)file.data(), file.size());
    int result = -1;
    g_GameState = GS_INGAME;
    if (path) QV_FUZZ_GUARD(result = Igimenu_LoadFile(path));
    if (result != SAVE_LOADED && WorldBytes() != before) abort();
    const bool toState6 = g_GameState == GS_LOADGAME && (g_SaveFlags & SAVEF_PENDINGLOAD);
    if (toState6 != (result == SAVE_OTHERSCENARIO)) abort();
    if (toState6 && (Str_CompareNoCase(g_SaveHeader.scenario, "OTHER") != 0 || !Whole(file))) abort();
    g_SaveFlags &= ~(uint32_t)SAVEF_PENDINGLOAD;
    g_GameState = GS_FRONTEND;
    Mkdata_SaveWorldClose();
    return 0;
}
