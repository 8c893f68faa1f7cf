// Loading: the whole file is read and checked before the running game is
// touched; a refusal leaves it exactly as it was.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "ai/ai.h"
#include "ai/aip.h"
#include "core/gll.h"
#include "core/crc32.h"
#include "core/debug.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/uid.h"
#include "core/utils.h"
#include "map/cre.h"
#include "map/fog.h"
#include "map/mapgrid.h"
#include "map/mapview.h"
#include "map/pathsrch.h"
#include "map/overlay.h"
#include "platform/sortdisp.h"
#include "save/saveget.h"
#include "units/constructq.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "save/save.h"
#include "save/saveblk.h"
#include "save/savefield.h"
#include "save/saveptr.h"
#include "save/savetype.h"
#include "rules/endcond.h"
#include "units/team.h"
#include "units/building.h"
#include "units/autoprod.h"
#include "units/explosion.h"
#include "units/projectile.h"
#include "units/swave.h"
#include "units/unit.h"
#include "units/vortex.h"

namespace {

enum : uint32_t {
    SAVE_MARKER = 0x5A5A5A5A,
    SAVE_HEADERLEN = 24,
    SAVE_PREAMBLE = 4 + SAVE_HEADERLEN + 4,
    SAVE_MAXFILE = 256u << 20,
};

std::string s_error, s_reason;

uint32_t get32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }

// A block of the file, as found by the structural check.
struct FILEBLOCK {
    uint32_t offset;   // of its marker
    uint32_t flags, id, crc;
    const uint8_t* bytes;  // null for a static block
};

// The file is read as its blocks are walked, each after its length was
// found within what the file has left: a file whose rest is short or false
// costs no more than what its blocks say they hold.
struct LoadFile {
    const char* path;
    std::vector<uint8_t> data;  // the bytes read so far, from the start
    std::vector<FILEBLOCK> globals, locals;
    int fd = -1;
    size_t size = 0;  // the file's, as measured when it was opened
    ~LoadFile()
    {
        if (fd >= 0) close(fd);
    }
};

int refuse(const LoadFile& f, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
int refuse(const LoadFile& f, const char* fmt, ...)
{
    char why[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(why, sizeof why, fmt, ap);
    va_end(ap);
    s_reason = why;
    s_error = Fs_Resolve(f.path) + ": " + why;
    TLOG(TLOG_ERROR, "Saved game refused: %s", s_error.c_str());
    return 0;
}

// 0, 1 or 3 (SAVE_LOADRESULT) from the preamble (the file's first bytes).
int checkHeader(LoadFile& f)
{
    const uint8_t* d = f.data.data();
    if (f.data.size() < SAVE_PREAMBLE) return refuse(f, "ends in the header at offset %u", (unsigned)f.data.size()), 1;
    if (get32(d) != SAVE_HEADERLEN) return refuse(f, "header length %u at offset 0, not 24", get32(d)), 1;
    if (Crc32_Block(d + 4, SAVE_HEADERLEN) != get32(d + 28)) {
        TLOG(TLOG_WARNING, "Save file has bad CRC");
        return refuse(f, "bad header CRC at offset 28"), 1;
    }
    SAVEHEADER& h = g_SaveHeader;
    h.major = (uint16_t)(d[4] | d[5] << 8);
    h.minor = (uint16_t)(d[6] | d[7] << 8);
    h.flag = get32(d + 8);
    memcpy(h.scenario, d + 12, 16);
    h.scenario[15] = '\0';
    if (h.major != 1 || h.minor != 6) {
        TLOG(TLOG_WARNING, "Save file out of date: version=%u.%u should be=%u.%u", h.major, h.minor, 1u, 6u);
        return refuse(f, "version %u.%u, not 1.6", h.major, h.minor), 3;
    }
    return 0;
}

// Reads up to n bytes at dst: the count read, or -1 when the read fails.
long readUpTo(int fd, uint8_t* dst, size_t n)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = read(fd, dst + got, n - got);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        got += (size_t)r;
    }
    return (long)got;
}

// Appends the file's next n bytes, which its measured size holds, to
// f.data; 0 after refusing. The buffer grows no further than the file.
int readMore(LoadFile& f, size_t n)
{
    const size_t have = f.data.size();
    if (have + n > f.data.capacity()) f.data.reserve(std::min(f.size, std::max(have + n, 2 * f.data.capacity())));
    f.data.resize(have + n);
    long got = readUpTo(f.fd, f.data.data() + have, n);
    if (got < 0) return refuse(f, "can't be read");
    if ((size_t)got != n) return refuse(f, "changed while being read");
    return 1;
}

// Read to the size measured: one more byte there means the file grew
// since, and it isn't the file measured. 0 after refusing.
int atEnd(LoadFile& f)
{
    uint8_t extra;
    long got = readUpTo(f.fd, &extra, 1);
    if (got < 0) return refuse(f, "can't be read");
    if (got != 0) return refuse(f, "changed while being read");
    return 1;
}

// Only a regular file is read: a named pipe would hold the game until
// something wrote to it, a device would be read without end. The preamble
// and the global count are read and checked first; the blocks are read by
// the walk (readSection), so that a large file that isn't a saved game is
// refused without being read whole. 0 with the file open in f, else a
// SAVE_LOADRESULT.
int readFile(LoadFile& f)
{
    struct stat st;
    std::string real = Fs_Resolve(f.path);
    if (stat(real.c_str(), &st) != 0) return refuse(f, "can't be opened"), SAVE_BADFILE;
    if (!S_ISREG(st.st_mode)) return refuse(f, "is %s, not a saved game", Fs_KindOf(st.st_mode)), SAVE_BADFILE;
    if ((uint64_t)st.st_size > SAVE_MAXFILE)
        return refuse(f, "over 256 MiB (%lld bytes)", (long long)st.st_size), SAVE_BADFILE;
    // The name may have been given to something else since: opened without
    // waiting and looked at again.
    f.fd = open(real.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (f.fd < 0) return refuse(f, "can't be read"), SAVE_BADFILE;
    if (fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return refuse(f, "is %s, not a saved game", Fs_KindOf(st.st_mode)), SAVE_BADFILE;
    if ((uint64_t)st.st_size > SAVE_MAXFILE)
        return refuse(f, "over 256 MiB (%lld bytes)", (long long)st.st_size), SAVE_BADFILE;
    f.size = (size_t)st.st_size;
    if (!readMore(f, std::min(f.size, (size_t)SAVE_PREAMBLE + 4))) return SAVE_BADFILE;
    if (f.data.size() == f.size && !atEnd(f)) return SAVE_BADFILE;
    if (int r = checkHeader(f)) return r;
    if (f.size >= SAVE_PREAMBLE + 4 && get32(&f.data[SAVE_PREAMBLE]) > (f.size - SAVE_PREAMBLE - 4) / 16)
        return refuse(f, "global count %u at offset %u beyond the file's bytes", get32(&f.data[SAVE_PREAMBLE]),
                      (unsigned)SAVE_PREAMBLE),
               SAVE_BADFILE;
    return 0;
}

// seen: a bit per sequence number.
int readSection(LoadFile& f, size_t& at, int global, std::vector<uint64_t>& seen)
{
    std::vector<FILEBLOCK>& out = global ? f.globals : f.locals;
    const char* section = global ? "global" : "local";
    if (f.size - at < 4) return refuse(f, "ends before the %s count at offset %zu", section, at);
    if (f.data.size() < at + 4 && !readMore(f, at + 4 - f.data.size())) return 0;
    uint32_t count = get32(&f.data[at]);
    at += 4;
    if (count > (f.size - at) / 16)
        return refuse(f, "%s count %u at offset %zu beyond the file's bytes", section, count, at - 4);
    for (uint32_t i = 0; i < count; i++) {
        if (f.size - at < 16) return refuse(f, "ends in %s block %u at offset %zu", section, i, at);
        if (!readMore(f, 16)) return 0;
        const uint8_t* d = &f.data[at];
        FILEBLOCK b{(uint32_t)at, get32(d + 4), get32(d + 8), get32(d + 12), nullptr};
        if (get32(d) != SAVE_MARKER) return refuse(f, "Save out of sync at offset %zu", at);
        uint32_t kind = b.flags & SAVEBLK_KINDMASK;
        int type = (int)((b.flags >> SAVEBLK_TYPESHIFT) & 0xFF);
        uint32_t size = b.flags & SAVEBLK_SIZEMASK;
        if (type >= SAVE_TYPE_COUNT || (global ? kind == 0 || kind == SAVEBLK_STATIC : kind != 0))
            return refuse(f, "bad flags word %08X at offset %zu", b.flags, at + 4);
        const uint32_t seq = SaveId_Seq(b.id);
        const uint64_t bit = 1ull << (seq & 63);
        if (!SaveId_IsId(b.id) || SaveId_Type(b.id) != type || seq < SAVEID_FIRSTSEQ || (seen[seq >> 6] & bit))
            return refuse(f, "bad or repeated id %08X at offset %zu", b.id, at + 8);
        seen[seq >> 6] |= bit;
        at += 16;
        if (kind != (SAVEBLK_GLOBAL | SAVEBLK_STATIC)) {
            if (f.size - at < size) return refuse(f, "block at offset %u ends past the file", b.offset);
            if (!readMore(f, size)) return 0;
            if (Crc32_Block(&f.data[at], size) != b.crc)
                return refuse(f, "CRC fails for %d(%s) at offset %u", type, Save_TypeName(type), b.offset);
            at += size;
        }
        out.push_back(b);
    }
    return 1;
}

int checkBlocks(LoadFile& f)
{
    size_t at = SAVE_PREAMBLE;
    std::vector<uint64_t> seen((SAVEID_SEQMASK >> 6) + 1);
    if (!readSection(f, at, 1, seen) || !readSection(f, at, 0, seen)) return 0;
    if (at != f.size) return refuse(f, "%zu bytes after the last block at offset %zu", f.size - at, at);
    if (!atEnd(f)) return 0;
    // Placed once the buffer has stopped moving.
    for (std::vector<FILEBLOCK>* section : {&f.globals, &f.locals})
        for (FILEBLOCK& b : *section)
            if ((b.flags & SAVEBLK_KINDMASK) != (SAVEBLK_GLOBAL | SAVEBLK_STATIC))
                b.bytes = f.data.data() + b.offset + 16;
    return 1;
}

// The local records a load can give back to their modules.
int Save_LoadableLocal(int type)
{
    // The condition machine's records and lists (regions and plans are
    // global and static blocks).
    if (type >= ST_CONDTREE && type <= ST_CRITERIA && type != ST_AIP_struct) return 1;
    if (type >= ST_CNBOOLGLLHEADER && type <= ST_IDLISTGLLNODE) return 1;
    if (type >= ST_SPECIAL_FORCE && type <= ST_SPECIAL_FORCEGLLNODE) return 1;
    switch (type) {
    case ST_DISPLAYELEMENT: case ST_OVERLAY: case ST_BYTEMAP: case ST_MAPGRID: case ST_VOID: case ST_ULONG:
    case ST_NONE: case ST_VORTEXGLLHEADER: case ST_VORTEXGLLNODE: case ST_VORTEX: case ST_UNIT: case ST_PART:
    case ST_PATHNODE: case ST_TRAIL: case ST_WAYPOINT: case ST_UNITLISTELEM: case ST_BUILDINGPACKAGE:
    case ST_BUILDING: case ST_APGLLHEADER: case ST_APGLLNODE: case ST_BUILDID: case ST_MINIBUILDING:
    case ST_PROJECTILE: case ST_EXPL: case ST_EXPLANIM: case ST_SWave: case ST_SWaveNode: case ST_PQELEMENT:
    case ST_UNITID:
        return 1;
    default: return 0;
    }
}

// The form of a loaded local block, or null after refusing it.
const SAVEFORM* localForm(LoadFile& f, const FILEBLOCK& fb)
{
    int type = (int)((fb.flags >> SAVEBLK_TYPESHIFT) & 0xFF);
    if (!Save_LoadableLocal(type))
        return refuse(f, "local block of type %d(%s) at offset %u, which saved games don't load yet", type,
                      Save_TypeName(type), fb.offset),
               nullptr;
    const SAVEFORM* form = SaveForm_Get(type, 0);
    const uint32_t size = fb.flags & SAVEBLK_SIZEMASK;
    if (!form || size % form->stored)
        return refuse(f, "local block of type %d(%s) with no stored form of %u bytes at offset %u", type,
                      Save_TypeName(type), size, fb.offset),
               nullptr;
    // A pooled record takes exactly what its pool gives.
    const uint32_t records = Save_LocalRecords(type);
    if (records && size != records * form->stored)
        return refuse(f, "block at offset %u holds %u records of type %d(%s), not %u", fb.offset,
                      size / form->stored, type, Save_TypeName(type), records),
               nullptr;
    return form;
}

// The file's blocks by id, for what can be followed without a game.
struct FileIds {
    std::unordered_map<uint32_t, const FILEBLOCK*> byId;
    char why[128];
};

// A pointer id names the null id or a block of the file of the type its
// field points at (-1: any, as a pointer variable's or a grid array's,
// whose type only the game's own listing gives).
const char* checkId(void* ctx, uint32_t id, int target, const char* desc)
{
    FileIds& ids = *(FileIds*)ctx;
    if (id == SAVEID_NULL) return nullptr;
    auto it = ids.byId.find(id);
    if (!SaveId_IsId(id) || it == ids.byId.end() ||
        (target >= 0 && (int)((it->second->flags >> SAVEBLK_TYPESHIFT) & 0xFF) != target)) {
        snprintf(ids.why, sizeof ids.why, "bad pointer [%s] (%08X)", desc, id);
        return ids.why;
    }
    return nullptr;
}

// The one record of the local block id names, decoded aside (its pointers
// still ids), when the block is one of type.
bool fileRecord(const FileIds& ids, uint32_t id, int type, std::vector<uint8_t>& out, const FILEBLOCK** block)
{
    auto it = ids.byId.find(id);
    const SAVEFORM* form = SaveForm_Get(type, 0);
    if (it == ids.byId.end() || !it->second->bytes || !form || SaveId_Type(id) != type ||
        (it->second->flags & SAVEBLK_SIZEMASK) != form->stored)
        return false;
    const char* bad = nullptr;
    out.assign(form->memsize, 0);
    *block = it->second;
    return SaveForm_Decode(form, it->second->bytes, out.data(), form->memsize, &bad);
}

uint32_t idOf(const void* slot) { return (uint32_t)(uintptr_t)slot; }

// The element ids of the list whose header id names, in order; false for a
// list that doesn't hold together (a null header is an empty list).
bool fileList(const FileIds& ids, uint32_t header, int headerType, int nodeType, std::vector<uint32_t>& out)
{
    out.clear();
    if (header == SAVEID_NULL) return true;
    std::vector<uint8_t> rec;
    const FILEBLOCK* fb;
    if (!fileRecord(ids, header, headerType, rec, &fb)) return false;
    uint32_t node = idOf(((const GLL*)rec.data())->first);
    for (size_t limit = ids.byId.size(); node != SAVEID_NULL; limit--) {
        if (!limit || !fileRecord(ids, node, nodeType, rec, &fb)) return false;
        out.push_back(idOf(((const GLL_NODE*)rec.data())->element));
        node = idOf(((const GLL_NODE*)rec.data())->next);
    }
    return true;
}

// A condition machine stands in a state it has (a machine without states
// in its first) and heads only for states it has (0: the win).
int checkFileMachines(LoadFile& f, const FileIds& ids)
{
    std::vector<uint8_t> tree, state, cond;
    std::vector<uint32_t> states, conds;
    const FILEBLOCK* fb;
    for (const FILEBLOCK& t : f.locals) {
        if ((int)((t.flags >> SAVEBLK_TYPESHIFT) & 0xFF) != ST_CONDTREE) continue;
        if (!fileRecord(ids, t.id, ST_CONDTREE, tree, &fb) ||
            !fileList(ids, idOf(((const CONDTREE*)tree.data())->condstates), ST_CONDSTATEGLLHEADER,
                      ST_CONDSTATEGLLNODE, states))
            return refuse(f, "the condition machine at offset %u doesn't hold together", t.offset);
        const int32_t n = (int32_t)states.size();
        const int32_t current = ((const CONDTREE*)tree.data())->current;
        if (current < 1 || current > (n ? n : 1))
            return refuse(f, "field current out of range in the block at offset %u", t.offset);
        for (uint32_t s : states) {
            if (!fileRecord(ids, s, ST_CONDSTATE, state, &fb) ||
                !fileList(ids, idOf(((const CONDSTATE*)state.data())->conds), ST_CONDITIONGLLHEADER,
                          ST_CONDITIONGLLNODE, conds))
                return refuse(f, "the condition machine at offset %u doesn't hold together", t.offset);
            for (uint32_t c : conds) {
                if (!fileRecord(ids, c, ST_CONDITION, cond, &fb))
                    return refuse(f, "the condition machine at offset %u doesn't hold together", t.offset);
                const int32_t next = ((const CONDITION*)cond.data())->next;
                if (next < 0 || next > n)
                    return refuse(f, "field next out of range in the block at offset %u", fb->offset);
            }
        }
    }
    return 1;
}

// Every block's records decoded aside against their stored form: the field
// ranges a load into a game checks, every pointer id followed to its block
// and the condition machines' states, all without the game.
int checkForms(LoadFile& f)
{
    std::vector<uint8_t> scratch;
    const char* bad = nullptr;
    FileIds ids{{}, {}};
    for (const std::vector<FILEBLOCK>* section : {&f.globals, &f.locals})
        for (const FILEBLOCK& fb : *section) ids.byId.emplace(fb.id, &fb);
    for (int global = 1; global >= 0; global--)
        for (const FILEBLOCK& fb : global ? f.globals : f.locals) {
            if (!fb.bytes) continue;  // static: the running program's own data
            const int type = (int)((fb.flags >> SAVEBLK_TYPESHIFT) & 0xFF);
            const uint32_t size = fb.flags & SAVEBLK_SIZEMASK;
            const SAVEFORM* form = global ? SaveForm_Get(type, 1) : localForm(f, fb);
            if (!global && !form) return 0;
            if (!form || size % form->stored)
                return refuse(f, "global block of type %d(%s) with no stored form of %u bytes at offset %u", type,
                              Save_TypeName(type), size, fb.offset);
            const uint32_t memsize = size / form->stored * form->memsize;
            scratch.assign(memsize, 0);
            if (!SaveForm_Decode(form, fb.bytes, scratch.data(), memsize, &bad))
                return refuse(f, "field %s out of range in the block at offset %u", bad, fb.offset);
            const int target = (global && type == ST_VOID) || (!global && type == ST_MAPGRID) ? -1 : ST_VOID;
            if (const char* why = SaveForm_CheckIds(form, scratch.data(), memsize, target, checkId, &ids))
                return refuse(f, "%s in the block at offset %u", why, fb.offset);
        }
    return checkFileMachines(f, ids);
}

// The scenario a file names is a folder of the current category, as the
// new game of state 6 finds it.
int checkScenario(LoadFile& f)
{
    const char* name = g_SaveHeader.scenario;
    char dir[GAME_PATH], scn[GAME_PATH];
    struct stat st;
    if (!name[0] || name[0] == '.' || strpbrk(name, "/\\:") ||
        !Utils_MakePath(dir, g_ScenarioCategoryDir, name, "", "", "") ||
        !Utils_MakePath(scn, dir, "", "", "QUORVEX", ".scn") || stat(Fs_Resolve(scn).c_str(), &st) != 0 ||
        !S_ISREG(st.st_mode))
        return refuse(f, "its scenario [%s] isn't in the current category", name);
    return 1;
}

// The global blocks of a type: the file's, counted by the type in each
// block's flags word, and the present game's listing.
uint32_t fileBlocks(const LoadFile& f, int type)
{
    uint32_t n = 0;
    for (const FILEBLOCK& fb : f.globals) n += (int)((fb.flags >> SAVEBLK_TYPESHIFT) & 0xFF) == type;
    return n;
}

uint32_t liveBlocks(int type)
{
    uint32_t n = 0;
    for (SAVEBLOCK* b = Saveblk_FirstGlobal(); b; b = Saveblk_Next()) n += SaveBlk_Type(b) == type;
    return n;
}

// A file saved with other definition files holds another number of some
// type table's static blocks: no check of its blocks could say more than
// that it is of another game. 0 after refusing.
int checkTypeTables(LoadFile& f)
{
    static const struct {
        int type;
        const char* name;
    } tables[] = {{ST_UNITTYPE, "unit"}, {ST_BUILDINGTYPE, "building"}, {ST_PARTTYPE, "part"},
                  {ST_WEAPONTYPE, "weapon"}};
    std::string why;
    for (const auto& t : tables) {
        const uint32_t file = fileBlocks(f, t.type), live = liveBlocks(t.type);
        if (file == live) continue;
        char part[80];
        snprintf(part, sizeof part, "%s%u %s types in the file, %u here", why.empty() ? "" : "; ", file, t.name,
                 live);
        why += part;
    }
    return why.empty() ? 1 : refuse(f, "made with other game data: %s", why.c_str());
}

// The computer players' plans are static globals: a file saved with them on
// holds a block for each plan of its computer teams, one saved with them
// off none.
int countError(LoadFile& f)
{
    const uint32_t livePlans = liveBlocks(ST_AIP_struct), filePlans = fileBlocks(f, ST_AIP_struct);
    const uint32_t file = (uint32_t)f.globals.size(), live = Saveblk_GlobalCount();
    char why[96] = "";
    if (filePlans != livePlans && file - filePlans == live - livePlans) {
        if (!filePlans || !livePlans)
            snprintf(why, sizeof why, ": the file was saved with computer players %s, this game has them %s",
                     filePlans ? "on" : "off", livePlans ? "on" : "off");
        else
            snprintf(why, sizeof why, ": the file holds %u computer players' plans, this game %u", filePlans,
                     livePlans);
    }
    return refuse(f, "Global block count error. File=%d List=%d%s", (int)file, (int)live, why);
}

// The global section against the present game's listing.
int checkGlobals(LoadFile& f)
{
    if (f.globals.size() != Saveblk_GlobalCount()) return countError(f);
    size_t i = 0;
    for (SAVEBLOCK* b = Saveblk_FirstGlobal(); b; b = Saveblk_Next(), i++) {
        const FILEBLOCK& fb = f.globals[i];
        int ftype = (int)((fb.flags >> SAVEBLK_TYPESHIFT) & 0xFF), ltype = SaveBlk_Type(b);
        if (ftype != ltype || (fb.flags & SAVEBLK_KINDMASK) != (b->flags & SAVEBLK_KINDMASK))
            return refuse(f, "Global block type error. File=%d(%s) List=%d(%s) at offset %u", ftype,
                          Save_TypeName(ftype), ltype, Save_TypeName(ltype), fb.offset);
        long want = SaveForm_StoredSize(ltype, 1, SaveBlk_Size(b));
        if (want != (long)(fb.flags & SAVEBLK_SIZEMASK))
            return refuse(f, "global block %zu of type %d(%s) holds %u bytes, not %ld, at offset %u", i, ltype,
                          Save_TypeName(ltype), fb.flags & SAVEBLK_SIZEMASK, want, fb.offset);
        if (SaveBlk_IsStatic(b)) {
            std::vector<uint8_t> live((size_t)want);
            SaveForm_Encode(SaveForm_Get(ltype, 1), b->data, SaveBlk_Size(b), live.data());
            if (Crc32_Block(live.data(), live.size()) != fb.crc)
                return refuse(f, "CRC fails for %d(%s): static data differs, at offset %u", ltype,
                              Save_TypeName(ltype), fb.offset);
        }
    }
    for (const FILEBLOCK& fb : f.locals)
        if (!localForm(f, fb)) return 0;
    return 1;
}

// What a load leaves behind until it is kept or refused.
struct Staging {
    struct Global {
        void* data;
        int type;
    };
    std::vector<Global> globals;
    std::vector<std::vector<uint8_t>> saved;   // the globals' bytes before
    std::vector<std::pair<void*, int>> old;    // the present game's locals
    struct Loaded {
        void* data;
        int type;
        uint32_t size;
    };
    std::vector<Loaded> fresh;  // the loaded locals, file order
};

// The loaded blocks' sizes, by address.
using LoadedSize = std::pair<const void*, uint32_t>;
std::vector<LoadedSize>* s_loadedSizes;
bool before(const LoadedSize& e, const void* p) { return std::less<const void*>()(e.first, p); }

// A refusal: the globals copied back, the loaded records given back.
int undo(Staging& st)
{
    for (size_t i = 0; i < st.globals.size(); i++)
        memcpy(st.globals[i].data, st.saved[i].data(), st.saved[i].size());
    while (SAVEBLOCK* b = Saveblk_RemoveFirstLocal()) {
        Save_FreeLocal(SaveBlk_Type(b), b->data);
        Saveblk_FreeRecord(b);
    }
    for (auto& r : st.fresh) Save_FreeLocal(r.type, r.data);
    st.fresh.clear();
    return 0;
}

// A grid cell's array holds the entries of its list: the decoded cells
// (ids still) say which list each array's id serves.
std::map<uint32_t, int> gridArrayTargets(void)
{
    std::map<uint32_t, int> out;
    for (int cy = 0; cy < Mapgrid_CellsY(); cy++)
        for (int cx = 0; cx < Mapgrid_CellsX(); cx++) {
            const MAPGRID_CELL* cell = Mapgrid_Cell(cx, cy);
            for (int l = 0; l < MGL_LISTS; l++) {
                uint64_t v;
                memcpy(&v, &cell->items[l], sizeof v);
                if (SaveSlot_IsId(v)) out.emplace((uint32_t)v, Mapgrid_EntryType(l));
            }
        }
    return out;
}

// Fills the globals and new local blocks and converts every id.
int applyBlocks(LoadFile& f, Staging& st)
{
    for (SAVEBLOCK* b = Saveblk_FirstGlobal(); b; b = Saveblk_Next()) {
        st.globals.push_back({b->data, SaveBlk_Type(b)});
        st.saved.emplace_back((const uint8_t*)b->data, (const uint8_t*)b->data + SaveBlk_Size(b));
    }
    // The present game's local records are listed only: its blocks stay
    // with their modules until the load is kept.
    while (SAVEBLOCK* b = Saveblk_RemoveFirstLocal()) {
        st.old.emplace_back(b->data, SaveBlk_Type(b));
        Saveblk_FreeRecord(b);
    }
    TLOG(TLOG_SAVE, "- reading blocks (global)");
    const char* bad = nullptr;
    size_t i = 0;
    for (SAVEBLOCK* b = Saveblk_FirstGlobal(); b; b = Saveblk_Next(), i++) {
        const FILEBLOCK& fb = f.globals[i];
        b->id = fb.id;
        Save_TypeAddBlock(SaveBlk_Type(b));
        if (SaveBlk_IsStatic(b)) continue;
        if (!SaveForm_Decode(SaveForm_Get(SaveBlk_Type(b), 1), fb.bytes, b->data, SaveBlk_Size(b), &bad))
            return refuse(f, "field %s out of range in the block at offset %u", bad, fb.offset);
        Save_RegisterBlockPointers(SaveBlk_Type(b), 1, b->data, SaveBlk_Size(b), b->target);
    }
    TLOG(TLOG_SAVE, "- reading blocks (local)");
    std::map<uint32_t, int> gridTargets = gridArrayTargets();
    for (const FILEBLOCK& fb : f.locals) {
        int type = (int)((fb.flags >> SAVEBLK_TYPESHIFT) & 0xFF);
        const SAVEFORM* form = localForm(f, fb);
        if (!form) return 0;
        uint32_t memsize = (fb.flags & SAVEBLK_SIZEMASK) / form->stored * form->memsize;
        SAVEBLOCK* n = Saveblk_NewRecord();
        n->data = Save_AllocLocal(type, memsize);
        n->id = fb.id;
        n->flags = ((uint32_t)type << SAVEBLK_TYPESHIFT) | memsize;
        Saveblk_AddLoaded(n);
        Save_TypeAddBlock(type);
        if (!SaveForm_Decode(form, fb.bytes, n->data, memsize, &bad))
            return refuse(f, "field %s out of range in the block at offset %u", bad, fb.offset);
        auto grid = type == ST_MAPGRID ? gridTargets.find(fb.id) : gridTargets.end();
        Save_RegisterBlockPointers(type, 0, n->data, memsize, grid == gridTargets.end() ? ST_VOID : grid->second);
    }
    SavePtr_Stats();
    Saveblk_InsertGlobalsById();
    Saveblk_Stats();
    if (const char* why = Save_IdsToPointers()) return refuse(f, "%s", why);
    Save_Statistics(0);
    // The loaded locals now belong to the game, whose own walks must reach
    // exactly them.
    while (SAVEBLOCK* b = Saveblk_RemoveFirstLocal()) {
        st.fresh.push_back({b->data, SaveBlk_Type(b), SaveBlk_Size(b)});
        Saveblk_FreeRecord(b);
    }
    return 1;
}

// The list construction over the loaded game, listing only, must list the
// globals as before and exactly the loaded local blocks, each once, in file
// order; its walks stop past the file's block count (a loaded cycle).
int relist(LoadFile& f, Staging& st)
{
    SavePtr_Reset();
    Saveblk_Init();
    Saveblk_SetWalkLimit((uint32_t)(f.globals.size() + f.locals.size() + 1));
    g_SaveFlags |= SAVEF_LISTONLY;
    Save_ConstructLists();
    g_SaveFlags &= ~(uint32_t)SAVEF_LISTONLY;
    int ok = Saveblk_GlobalCount() == st.globals.size() && Saveblk_Repeats() == 0 &&
             Saveblk_Count() - Saveblk_GlobalCount() == st.fresh.size();
    size_t i = 0;
    for (SAVEBLOCK* b = Saveblk_FirstGlobal(); ok && b; b = Saveblk_Next(), i++)
        ok = b->data == st.globals[i].data && SaveBlk_Type(b) == st.globals[i].type;
    i = 0;
    for (SAVEBLOCK* b = Saveblk_FirstLocal(); ok && b; b = Saveblk_Next(), i++)
        ok = b->data == st.fresh[i].data && SaveBlk_Type(b) == st.fresh[i].type;
    uint32_t repeats = Saveblk_Repeats(), listed = Saveblk_Count() - Saveblk_GlobalCount();
    Saveblk_Close();
    SavePtr_Close();
    if (!ok)
        return refuse(f, "the loaded game's lists reach %u local blocks (%u twice), not the file's %zu in order",
                      listed, repeats, st.fresh.size());
    return 1;
}

// Each byte map in use is one sweep's: kept by exactly one unit or building
// (an unsweep gives it back to the list once).
const char* checkSweeps(void)
{
    std::set<const BYTEMAP*> kept;
    size_t held = 0;
    auto keep = [&](const SEEMAP& m) {
        for (const BYTEMAPINFO& i : m.bytemapinfo)
            if (i.bytemap) kept.insert(i.bytemap), held++;
    };
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        for (int m = 0; m <= TEAM_MOVELISTS; m++)
            for (UNIT* u = m < TEAM_MOVELISTS ? teamdata[t].unitlist[m] : teamdata[t].offmaplist; u; u = u->next)
                keep(u->seemap);
        for (BUILDING* b = teamdata[t].firstbuilding; b; b = b->teamnext) keep(b->seemap);
    }
    size_t listed = 0;
    for (const BYTEMAP* b = Seemap_First(); b; b = b->next) listed++;
    if (held != kept.size()) return "a byte map kept by two sweeps";
    return held == listed ? nullptr : "a byte map in use kept by no sweep";
}

// A field a module's check found out of the range that its record allows
// (a range no field table holds: another record's count bounds it).
struct BadField {
    const void* record;
    const char* field;
} s_badField;

// The modules' own checks of what they were given.
int checkModules(LoadFile& f, Staging& st)
{
    const char* why = nullptr;
    s_badField = BadField{nullptr, nullptr};
    const char* (*checks[])(void) = {SortDisp_CheckLoaded,  Ovl_CheckLoaded,    Seemap_CheckLoaded,
                                     Mapgrid_CheckLoaded,   Units_CheckLoaded,  Build_CheckLoaded,
                                     checkSweeps,           Projectile_CheckLoaded, Expl_CheckLoaded,
                                     Vortex_CheckLoaded,    Swave_CheckLoaded,  Units_ConstructQueueCheckLoaded,
                                     Pathsrch_CheckLoaded,  Endcond_CheckLoaded, SpecialForces_CheckLoaded,
                                     AP_CheckLoaded};
    for (auto check : checks)
        if (!why) why = check();
    if (why && s_badField.record) {
        for (size_t i = 0; i < st.fresh.size(); i++)
            if (st.fresh[i].data == s_badField.record)
                return refuse(f, "field %s out of range in the block at offset %u", s_badField.field,
                              f.locals[i].offset);
        return refuse(f, "field %s out of range", s_badField.field);
    }
    if (why) return refuse(f, "the loaded game is inconsistent: %s", why);
    return 1;
}

// The load is kept: what no block carries is taken down, the replaced
// records go back to their modules, and the rest is rebuilt.
void keep(Staging& st)
{
    Save_PreSaveParsing();
    for (auto& r : st.old) Save_FreeLocal(r.second, r.first);
    Units_AfterLoad();
    Build_AfterLoad();
    Save_RestoreStaged();
    Save_PostSaveParsing();
}

} // namespace

const char* Save_LoadError(void) { return s_error.c_str(); }

const char* Save_LoadReason(void) { return s_reason.c_str(); }

const char* Save_FieldOutOfRange(const void* record, const char* field)
{
    if (!s_badField.record) s_badField = BadField{record, field};
    return "a field out of range";
}

const char* Save_IdsToPointers(void)
{
    static char why[128];
    TLOG(TLOG_SAVE, "- converting ids to pointers");
    for (SAVEPOINTER* p = SavePtr_First(); p; p = SavePtr_Next()) {
        uint64_t v;
        memcpy(&v, p->slot, sizeof v);
        // The all-ones sentinel marks a cleared handle; no field of what a
        // saved game holds yet is one, and a link holding it would be followed.
        if (v == SAVE_SENTINEL) {
            snprintf(why, sizeof why, "bad pointer [%s]: the all-ones sentinel", p->desc);
            return why;
        }
        if (!Saveblk_IdToPtr(&v, p)) {
            snprintf(why, sizeof why, "bad pointer [%s] (%08X)", p->desc, (uint32_t)v);
            return why;
        }
        memcpy(p->slot, &v, sizeof v);
    }
    return nullptr;
}

// Computer players are not saved: a game that had them closes them before
// the replaced records go, then boots each computer team (sites and
// upgrades removed, production cancelled, units stopped) and starts them
// again from what was loaded, each team back on the plan of its state
// machine's current state. The plans outlive the players, so their own
// thinking starts afresh too: a load into a running game then goes on as a
// load into a new one.
static int s_hadComputerPlayers;

void Save_PreSaveParsing(void)
{
    TLOG(TLOG_SAVE, "- pre save parsing");
    s_hadComputerPlayers = ai_game_initialised;
    if (s_hadComputerPlayers) AI_Close();
    Orders_AfterLoad();
}

static void RestartComputerPlayers(void)
{
    if (!s_hadComputerPlayers) return;
    for (int t = 0; t < TEAM_MAXTEAMS; t++)
        if (teamdata[t].type == TT_COMPUTER) AI_BootTeam(t);
    for (GLL_NODE* n = AI_AIPList() ? AI_AIPList()->first : nullptr; n; n = n->next)
        AIP_Restart(static_cast<AIP_struct*>(n->element));
    AI_Init();
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        if (!AI_IsComputerTeam(t)) continue;
        AI_Activate(t);
        const CONDTREE* fsm = Endcond_GetTree(t, ENDCOND_FSM);
        const CONDSTATE* state = fsm ? Endcond_GetState(fsm, fsm->current) : nullptr;
        if (state && state->aip) AI_AIPSwitch(t, state->aip);
    }
}

// The sight counts are the sum of the loaded sweeps.
static void RecountSight(void)
{
    Fog_ClearCounts();
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        for (int m = 0; m <= TEAM_MOVELISTS; m++)
            for (UNIT* u = m < TEAM_MOVELISTS ? teamdata[t].unitlist[m] : teamdata[t].offmaplist; u; u = u->next)
                Fog_CountSweep(&u->seemap);
        for (BUILDING* b = teamdata[t].firstbuilding; b; b = b->teamnext) Fog_CountSweep(&b->seemap);
    }
}

void Save_PostSaveParsing(void)
{
    TLOG(TLOG_SAVE, "- post save parsing");
    Ovl_AfterLoad();
    Mapgrid_AfterLoad();
    PhaseEff_FreeAll();
    RecountSight();
    Pathsrch_AfterLoad();
    AI_SpecialForcesAfterLoad();
    if (CRE_IsBuilt()) CRE_Build();
    // The view's tile and offset follow from its origin, held on the map as
    // scrolling holds it (the file's six words could disagree or lie off it);
    // without a map there is no view to hold.
    if (mapsizex > 0 && mapsizey > 0) Map_SetViewPixelPos(g_MapView.x, g_MapView.y);
    Map_InvalidateTerrainCache();
    RestartComputerPlayers();
}

long Save_LoadedSize(const void* data)
{
    if (!s_loadedSizes) return -1;
    auto it = std::lower_bound(s_loadedSizes->begin(), s_loadedSizes->end(), data, before);
    return it == s_loadedSizes->end() || it->first != data ? -1 : (long)it->second;
}

int Save_CheckHeader(const char* path)
{
    LoadFile f{path, {}, {}, {}};
    s_error.clear();
    s_reason.clear();
    return readFile(f);
}

int Save_Load(const char* path)
{
    auto start = std::chrono::steady_clock::now();
    Save_TypeResetCounts();
    g_SaveFlags = (g_SaveFlags | SAVEF_LIVE) & ~(uint32_t)SAVEF_LISTONLY;
    s_error.clear();
    s_reason.clear();
    LoadFile f{path, {}, {}, {}};
    int result = readFile(f);
    // The file's own structure first: most damage is found before the game
    // is even listed.
    if (result == 0 && !checkBlocks(f)) result = SAVE_BADFILE;
    // A file of another scenario ends the running game for a new game of
    // its scenario (state 6), into which it is loaded: everything that can
    // be checked without that game is checked before this one is given up.
    if (result == 0 && Str_CompareNoCase(g_SaveHeader.scenario, g_ScenarioName) != 0) {
        result = SAVE_BADFILE;
        if (checkForms(f) && checkScenario(f)) {
            TLOG(TLOG_SAVE, "Scenario different: File=%s Game=%s", g_SaveHeader.scenario, g_ScenarioName);
            s_reason = std::string("scenario ") + g_SaveHeader.scenario + ", not " + g_ScenarioName;
            s_error = std::string(path) + ": " + s_reason;
            result = SAVE_OTHERSCENARIO;
        }
    }
    if (result == 0) {
        TLOG(TLOG_SAVE, "Loading...");
        SavePtr_Reset();
        Saveblk_Init();
        Save_SetListFlag(g_SaveHeader.flag);
        g_SaveFlags |= SAVEF_LISTONLY;
        Save_ConstructLists();
        g_SaveFlags &= ~(uint32_t)(SAVEF_LISTONLY | SAVEF_LIVE);
        Saveblk_Stats();
        Staging st;
        const int sameTables = checkTypeTables(f);
        int ok = sameTables && checkGlobals(f);
        if (ok && !applyBlocks(f, st)) ok = undo(st);
        Saveblk_Close();
        SavePtr_Close();
        // The loaded blocks' sizes serve the walks (a loaded text is read
        // no further than its block) and the modules' checks.
        std::vector<LoadedSize> sizes;
        sizes.reserve(st.fresh.size());
        for (const Staging::Loaded& r : st.fresh) sizes.emplace_back(r.data, r.size);
        std::sort(sizes.begin(), sizes.end(), [](const LoadedSize& a, const LoadedSize& b) { return before(a, b.first); });
        s_loadedSizes = &sizes;
        if (ok && !(relist(f, st) && checkModules(f, st))) ok = undo(st);
        s_loadedSizes = nullptr;
        g_SaveFlags |= SAVEF_LIVE;
        if (ok) {
            keep(st);
            TLOG(TLOG_SAVE, "- done.");
        }
        result = ok ? SAVE_LOADED : sameTables ? SAVE_BADFILE : SAVE_OLDVERSION;
    }
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    TLOG(TLOG_SAVE, "Time: %8.1fs", ms * 0.001);
    return result;
}
