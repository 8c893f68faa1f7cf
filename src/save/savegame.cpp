// Saving and loading (design note in save.h).
#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "core/cfile.h"
#include "core/crc32.h"
#include "core/debug.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/uid.h"
#include "core/utils.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/mapview.h"
#include "map/overlay.h"
#include "map/path.h"
#include "map/pathsrch.h"
#include "map/region.h"
#include "platform/animtype.h"
#include "platform/effects.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "save/saveget.h"
#include "units/autoprod.h"
#include "units/building.h"
#include "units/constructq.h"
#include "units/prereq.h"
#include "units/explosion.h"
#include "units/projectile.h"
#include "units/swave.h"
#include "units/vortex.h"
#include "save/save.h"
#include "save/saveblk.h"
#include "save/savefield.h"
#include "save/saveptr.h"
#include "save/savetype.h"
#include "shell/shell.h"

SAVEHEADER g_SaveHeader;

namespace {

enum : uint32_t {
    SAVE_MARKER = 0x5A5A5A5A,
    SAVE_MAJOR = 1,
    SAVE_MINOR = 6,
    SAVE_HEADERLEN = 24,
    SAVE_MAXFILE = 256u << 20,
};

char s_dumpName[GAME_PATH];
uint32_t s_listFlag;  // the header flag the list construction serves

using Clock = std::chrono::steady_clock;

void logTime(Clock::time_point start)
{
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    TLOG(TLOG_SAVE, "Time: %8.1fs", ms * 0.001);
}

void put32(std::vector<uint8_t>& v, uint32_t x)
{
    for (int i = 0; i < 4; i++) v.push_back((uint8_t)(x >> (8 * i)));
}

void headerBytes(const SAVEHEADER& h, uint8_t out[SAVE_HEADERLEN])
{
    out[0] = (uint8_t)h.major, out[1] = (uint8_t)(h.major >> 8);
    out[2] = (uint8_t)h.minor, out[3] = (uint8_t)(h.minor >> 8);
    for (int i = 0; i < 4; i++) out[4 + i] = (uint8_t)(h.flag >> (8 * i));
    memcpy(out + 8, h.scenario, 16);
}

} // namespace

void Save_Statistics(int withMissing)
{
    static const char line[] = "-------------------------------------------------";
    TLOG(TLOG_SAVE, "%s", line);
    for (int t = 0; t < SAVE_TYPE_COUNT; t++) {
        if (Save_TypeBlocks(t))
            TLOG(TLOG_SAVE, "%4d %s blocks (%d)", (int)Save_TypeBlocks(t), Save_TypeName(t),
                 (int)Save_TypeSize(t));
    }
    TLOG(TLOG_SAVE, "%s", line);
    for (int t = 0; withMissing && t < SAVE_TYPE_COUNT; t++) {
        uint32_t m = Save_TypeMissing(t);
        if (m)
            TLOG(TLOG_ERROR, "%2d. %5d missing %s%s (%d)", t, (int)m, Save_TypeName(t), m >= 2 ? "s" : "",
                 (int)Save_TypeSize(t));
    }
}

namespace {

// The stored bytes of a registered block; 0 when it has no form.
int storedBytes(const SAVEBLOCK* b, std::vector<uint8_t>& out)
{
    const SAVEFORM* f = SaveForm_Get(SaveBlk_Type(b), SaveBlk_IsGlobal(b));
    long n = SaveForm_StoredSize(SaveBlk_Type(b), SaveBlk_IsGlobal(b), SaveBlk_Size(b));
    if (!f || n < 0) {
        TLOG(TLOG_ERROR, "No stored form for a block of %u bytes of type %d(%s)", SaveBlk_Size(b),
             SaveBlk_Type(b), Save_TypeName(SaveBlk_Type(b)));
        return 0;
    }
    out.resize((size_t)n);
    // A game holding what a load refuses isn't saved as if it would load
    // (a static block is only compared by its sum).
    const char* bad = nullptr;
    if (!SaveForm_Encode(f, b->data, SaveBlk_Size(b), out.data(), SaveBlk_IsStatic(b) ? nullptr : &bad)) {
        TLOG(TLOG_ERROR, "Save refused: field %s out of range in a block of type %d(%s)", bad, SaveBlk_Type(b),
             Save_TypeName(SaveBlk_Type(b)));
        return 0;
    }
    return 1;
}

int writeBlock(CFILE* w, FILE* dump, SAVEBLOCK* b, unsigned number)
{
    std::vector<uint8_t> bytes;
    if (!storedBytes(b, bytes)) return 0;
    if (bytes.size() > SAVE_MAX_BLOCKSIZE) {
        TLOG(TLOG_ERROR, "Block of type %d(%s) too large: %u bytes", SaveBlk_Type(b),
             Save_TypeName(SaveBlk_Type(b)), (unsigned)bytes.size());
        return 0;
    }
    // The tree colour is left out: it would make equal games differ.
    uint32_t flags = (b->flags & ~(SAVEBLK_COLOURMASK | SAVEBLK_SIZEMASK)) | (uint32_t)bytes.size();
    uint32_t crc = Crc32_Block(bytes.data(), bytes.size());
    std::vector<uint8_t> head;
    put32(head, SAVE_MARKER);
    put32(head, flags);
    put32(head, b->id);
    put32(head, crc);
    int ok = Cfile_Write(w, head.data(), head.size());
    if (!SaveBlk_IsStatic(b)) ok &= Cfile_Write(w, bytes.data(), bytes.size());
    Save_TypeAddBlock(SaveBlk_Type(b));
    if (dump)
        fprintf(dump, "-%5u Block: %4u i%08X t%02d %25s CRC: %08X%s\n", number, (unsigned)bytes.size(), b->id,
                SaveBlk_Type(b), Save_TypeName(SaveBlk_Type(b)), crc, SaveBlk_IsStatic(b) ? " (Static)" : "");
    return ok;
}

void makeParentDir(const char* path)
{
    std::string target = Fs_Resolve(path);
    size_t slash = target.rfind('/');
    if (slash != std::string::npos && slash > 0) mkdir(target.substr(0, slash).c_str(), 0777);
}

} // namespace

int Save_Write(CFILE* w)
{
    TLOG(TLOG_SAVE, "Saving...");
    SavePtr_Reset();
    Saveblk_Init();
    Save_ConstructLists();
    Saveblk_Stats();
    SavePtr_Stats();
    int ok = Saveblk_Refusal() == nullptr;
    if (ok) {
        Saveblk_AssignIds();
        Save_PointersToIds();
        ok = Save_WriteBlocks(w);
        Save_RestorePointers();
    }
    Saveblk_Close();
    SavePtr_Close();
    TLOG(TLOG_SAVE, "- done.");
    Save_Statistics(1);
    return ok;
}

void Save_SetDumpFileName(const char* path)
{
    Str_CopySafe(s_dumpName, path, sizeof s_dumpName);
    g_SaveFlags |= SAVEF_DUMP;
}

void Save_SetListFlag(uint32_t flag) { s_listFlag = flag; }

// The order of the registrations is the order of the global blocks in the
// file. After the things: the unique-id counter (else new ids collide with
// the loaded game's), the regions with their harassment totals, and the map
// grid's cells with their overlays in order (targeting walks them).
int Save_ConstructLists(void)
{
    TLOG(TLOG_SAVE, "- constructing lists");
    if (s_listFlag == 0) {
        int* view[6] = {&g_MapView.x, &g_MapView.y, &g_MapView.tilex, &g_MapView.tiley, &g_MapView.offx,
                        &g_MapView.offy};
        for (int* word : view) Save_RegisterBlock(SAVEK_GLOBAL, word, ST_ULONG, 4);
        Save_RegisterBlock(SAVEK_GLOBAL, &g_UpdateCount, ST_ULONG, 4);
        Rand_Save();
        Build_SaveAll();
        Path_CleanUp();
        Pathsrch_SaveAll();
        Save_RegisterGameTypes();
        PREREQ_SaveAll();
        Units_SaveConstructQueue();
        Expl_Save();
        Sprite_SaveAll();
        Seemap_SaveAll();
        Effects_SaveAll();
        Saveget_Teams();
        SortDisp_RegisterForSave();
        Line_Save();
        AnimType_SaveAll();
        Ovl_SaveAll();
        Weapon_SaveProjectiles();
        Saveget_APUnitInfo();
        Saveget_Vortices();
        Swave_Save();
        Saveget_EndConditions();
        Saveget_SpecialForces();
        Build_SaveVisibilityCursors();
        Save_RegisterUid();
        Save_RegisterUnitCounters();
        Region_SaveAll();
        Mapgrid_SaveAll();
    }
    Save_RegisterShellInfo();
    return 1;
}

void Save_RegisterShellInfo(void) { Save_RegisterBlock(SAVEK_GLOBAL, &g_ShellInfo, ST_SHELLINFO, sizeof g_ShellInfo); }

void Save_PointersToIds(void)
{
    TLOG(TLOG_SAVE, "- converting pointers to ids");
    for (SAVEPOINTER* p = SavePtr_First(); p; p = SavePtr_Next()) {
        p->flags |= SAVEPTR_CONVERTING;
        uint64_t v;
        memcpy(&v, p->slot, sizeof v);
        Saveblk_PtrToId(&v, p);
        memcpy(p->slot, &v, sizeof v);
    }
}

void Save_RestorePointers(void)
{
    TLOG(TLOG_SAVE, "- converting ids to pointers (fast)");
    for (SAVEPOINTER* p = SavePtr_First(); p; p = SavePtr_Next()) memcpy(p->slot, &p->value, sizeof p->value);
}

int Save_WriteBlocks(CFILE* w)
{
    FILE* dump = nullptr;
    if (g_SaveFlags & SAVEF_DUMP) {
        dump = Fs_Open(s_dumpName, "w");
        if (!dump) TLOG(TLOG_WARNING, "Can't write the save dump [%s]", Fs_Resolve(s_dumpName).c_str());
    }
    TLOG(TLOG_SAVE, "- writing blocks");
    int ok = Cfile_WriteInt(w, (int)Saveblk_GlobalCount());
    if (dump) fprintf(dump, "Globals: %5d\n", (int)Saveblk_GlobalCount());
    unsigned n = 0;
    for (SAVEBLOCK* b = Saveblk_FirstGlobal(); b && ok; b = Saveblk_Next()) ok = writeBlock(w, dump, b, ++n);
    uint32_t locals = Saveblk_Count() - Saveblk_GlobalCount();
    ok = ok && Cfile_WriteInt(w, (int)locals);
    if (dump) fprintf(dump, "Locals: %5d\n", (int)locals);
    n = 0;
    for (SAVEBLOCK* b = Saveblk_FirstLocal(); b && ok; b = Saveblk_Next()) ok = writeBlock(w, dump, b, ++n);
    if (dump) fclose(dump);
    g_SaveFlags &= ~(uint32_t)SAVEF_DUMP;
    return ok;
}

int Save_Game(const char* path, uint32_t flag)
{
    Clock::time_point start = Clock::now();
    Debug_ValidateHeap();
    Save_TypeResetCounts();
    g_SaveFlags = (g_SaveFlags | SAVEF_LIVE) & ~(uint32_t)SAVEF_LISTONLY;
    makeParentDir(path);
    CFILE* w = Cfile_BufferCreate();
    int ok = Cfile_OpenWrite(w, path, 0);
    if (ok) {
        SAVEHEADER h{SAVE_MAJOR, SAVE_MINOR, flag, {}};
        Save_SetListFlag(flag);
        Str_CopySafe(h.scenario, g_ScenarioName, sizeof h.scenario);
        uint8_t bytes[SAVE_HEADERLEN];
        headerBytes(h, bytes);
        ok = Cfile_WriteBlock(w, bytes, sizeof bytes) && Cfile_WriteInt(w, (int)Crc32_Block(bytes, sizeof bytes));
        ok = Save_Write(w) && ok;
        if (!ok) w->failed = 1;  // the previous file stays
        ok = Cfile_Close(w) && ok;
    }
    if (!ok) {
        // The failing step's reason tells a full disk from a read-only folder.
        const char* why = Cfile_Why(w);
        TLOG(TLOG_ERROR, "Save failed [%s]%s%s", Fs_Resolve(path).c_str(), *why ? ": " : "", why);
    }
    Cfile_BufferFree(w);
    logTime(start);
    Debug_ValidateHeap();
    return ok;
}
