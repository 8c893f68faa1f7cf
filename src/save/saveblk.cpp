// The block registry: lists, a top-down red-black tree with a head record
// (key 0) and a sentinel keyed by address while saving, and a table by
// sequence number while loading: a load converts every pointer slot through
// it, and a file's sequence numbers are dense (and below 0x100000).
#include "save/saveblk.h"

#include <vector>

#include "core/debug.h"
#include "core/tlog.h"
#include "save/saveget.h"
#include "save/saveptr.h"
#include "save/savetype.h"

namespace {

// Records come from chunks the registry keeps until it closes: a load
// makes and gives back a record per block three times over.
enum { RECCHUNK_RECORDS = 1024 };
struct RECCHUNK {
    RECCHUNK* next;
    SAVEBLOCK records[RECCHUNK_RECORDS];
};

// A set of addresses, open addressing with linear probing: a listing asks
// it once per local block. Zero marks a free slot (no block is at 0); it is
// only ever asked, never walked.
struct ADDRSET {
    std::vector<uintptr_t> slots;  // a power of two, at most half used
    size_t used = 0;
};

size_t addrSlot(const ADDRSET& s, uintptr_t a)
{
    uint64_t h = (uint64_t)a;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    const size_t mask = s.slots.size() - 1;
    size_t i = (size_t)h & mask;
    while (s.slots[i] && s.slots[i] != a) i = (i + 1) & mask;
    return i;
}

// 1 when a joined the set, 0 when it was there.
int addrInsert(ADDRSET& s, uintptr_t a)
{
    if ((s.used + 1) * 2 > s.slots.size()) {
        std::vector<uintptr_t> old(s.slots.size() ? s.slots.size() * 2 : 1024, 0);
        old.swap(s.slots);
        for (uintptr_t v : old)
            if (v) s.slots[addrSlot(s, v)] = v;
    }
    size_t i = addrSlot(s, a);
    if (s.slots[i]) return 0;
    s.slots[i] = a;
    s.used++;
    return 1;
}

struct SBLIST {
    SAVEBLOCK* first;
    SAVEBLOCK* last;
};

struct SBSTATE {
    SAVEBLOCK* rbhead;
    SAVEBLOCK* rbz;
    SBLIST local, global;
    uint32_t count, globalcount;
    size_t recordbytes, localbytes, globalbytes;
    uint32_t nextseq, depth, maxdepth;
    SAVEBLOCK* cursor;
    const char* refusal;
    uint32_t calls, repeats, walklimit;
    // Local addresses listed while no tree is kept (LISTONLY), so that a
    // local registered twice is still listed once.
    ADDRSET* listed;
    std::vector<SAVEBLOCK*>* byseq;  // loading: by sequence number
    RECCHUNK* chunks;                // the newest first
    uint32_t chunkused;              // records of the newest chunk handed out
    SAVEBLOCK* freerecords;          // given back, linked by next
};

SBSTATE sb;
int s_byId;  // 0 the address tree, 1 the sequence table

uint64_t keyOf(const SAVEBLOCK* n) { return (uintptr_t)n->data; }

// A repeated sequence number keeps the record entered first.
void enterById(SAVEBLOCK* n)
{
    std::vector<SAVEBLOCK*>& t = *sb.byseq;
    uint32_t seq = SaveId_Seq(n->id);
    if (seq >= t.size()) t.resize(seq + 1, nullptr);
    if (!t[seq]) t[seq] = n;
}

int isRed(const SAVEBLOCK* n) { return (n->flags & SAVEBLK_COLOURMASK) == SAVEBLK_RED; }
void setRed(SAVEBLOCK* n, int red)
{
    n->flags = (n->flags & ~(uint32_t)SAVEBLK_COLOURMASK) | (red ? (uint32_t)SAVEBLK_RED : 0u);
}

SAVEBLOCK* rotate(uint64_t v, SAVEBLOCK* y)
{
    SAVEBLOCK* c = v < keyOf(y) ? y->left : y->right;
    SAVEBLOCK* gc;
    if (v < keyOf(c)) {
        gc = c->left;
        c->left = gc->right;
        gc->right = c;
    } else {
        gc = c->right;
        c->right = gc->left;
        gc->left = c;
    }
    if (v < keyOf(y))
        y->left = gc;
    else
        y->right = gc;
    return gc;
}

struct Path {
    SAVEBLOCK *x, *p, *g, *gg;
};

void split(uint64_t v, Path& w)
{
    setRed(w.x, 1);
    setRed(w.x->left, 0);
    setRed(w.x->right, 0);
    if (isRed(w.p)) {
        setRed(w.g, 1);
        if ((v < keyOf(w.g)) != (v < keyOf(w.p))) w.p = rotate(v, w.g);
        w.x = rotate(v, w.gg);
        setRed(w.x, 0);
    }
    setRed(sb.rbhead->right, 0);
    setRed(sb.rbz, 0);
}

// 0 when an equal key ends the insertion.
int treeInsert(SAVEBLOCK* n)
{
    uint64_t v = keyOf(n);
    Path w{sb.rbhead, sb.rbhead, sb.rbhead, sb.rbhead};
    while (w.x != sb.rbz) {
        w.gg = w.g;
        w.g = w.p;
        w.p = w.x;
        if (w.x != sb.rbhead && v == keyOf(w.x)) {
            TLOG(TLOG_SAVE, "Duplicate pointer");
            return 0;
        }
        w.x = v < keyOf(w.x) ? w.x->left : w.x->right;
        if (isRed(w.x->left) && isRed(w.x->right)) split(v, w);
    }
    n->left = n->right = sb.rbz;
    if (v < keyOf(w.p))
        w.p->left = n;
    else
        w.p->right = n;
    w.x = n;
    split(v, w);
    return 1;
}

void listAppend(SBLIST& l, SAVEBLOCK* n)
{
    n->next = nullptr;
    if (l.last)
        l.last->next = n;
    else
        l.first = n;
    l.last = n;
}

SAVEBLOCK* newSpecial(void)
{
    SAVEBLOCK* n = Saveblk_NewRecord();
    n->id = SaveId_Make(SAVE_TYPE_COUNT, 0);
    n->flags = (uint32_t)SAVE_TYPE_COUNT << SAVEBLK_TYPESHIFT;
    return n;
}

void assignWalk(SAVEBLOCK* n, uint32_t depth)
{
    if (n == sb.rbz) return;
    if (depth > sb.maxdepth) sb.maxdepth = depth;
    assignWalk(n->left, depth + 1);
    n->id = SaveId_Make(n == sb.rbhead ? SAVE_TYPE_COUNT : SaveBlk_Type(n), sb.nextseq++);
    assignWalk(n->right, depth + 1);
}

uint32_t depthOf(const SAVEBLOCK* n)
{
    if (!sb.rbz || n == sb.rbz) return 0;
    uint32_t l = depthOf(n->left), r = depthOf(n->right);
    return 1 + (l > r ? l : r);
}

void refuse(const char* why)
{
    if (!sb.refusal) TLOG(TLOG_ERROR, "Save refused: %s", why);
    sb.refusal = why;
}

SAVEBLOCK* removeFirst(SBLIST& l)
{
    SAVEBLOCK* n = l.first;
    if (!n) return nullptr;
    l.first = n->next;
    if (!l.first) l.last = nullptr;
    n->next = nullptr;
    sb.count--;
    sb.recordbytes -= sizeof(SAVEBLOCK);
    return n;
}

} // namespace

SAVEBLOCK* Saveblk_NewRecord(void)
{
    SAVEBLOCK* n = sb.freerecords;
    if (n) {
        sb.freerecords = n->next;
    } else {
        if (!sb.chunks || sb.chunkused == RECCHUNK_RECORDS) {
            RECCHUNK* c = (RECCHUNK*)Debug_MallocFor(sizeof(RECCHUNK), "save blocks");
            c->next = sb.chunks;
            sb.chunks = c;
            sb.chunkused = 0;
        }
        n = &sb.chunks->records[sb.chunkused++];
    }
    *n = SAVEBLOCK{};
    n->left = n->right = sb.rbz;
    return n;
}

void Saveblk_FreeRecord(SAVEBLOCK* record)
{
    record->next = sb.freerecords;
    sb.freerecords = record;
}

void Saveblk_Init(void)
{
    sb = SBSTATE{};
    s_byId = 0;
    sb.rbz = newSpecial();
    sb.rbz->left = sb.rbz->right = sb.rbz;
    sb.rbhead = newSpecial();
    sb.rbhead->left = sb.rbhead->right = sb.rbz;
    sb.listed = new ADDRSET;
    sb.byseq = new std::vector<SAVEBLOCK*>;
    sb.walklimit = SAVE_MAX_BLOCKS + 1;
}

int Save_Listing(void) { return sb.rbz != nullptr; }

int Save_WalkGoesOn(void) { return sb.calls < sb.walklimit && !sb.refusal; }
void Saveblk_SetWalkLimit(uint32_t limit) { sb.walklimit = limit; }
uint32_t Saveblk_Repeats(void) { return sb.repeats; }

void Save_RegisterHead(void* address, int count, int target, const char* desc)
{
    Save_RegisterBlock(SAVEK_GLOBAL, address, ST_VOID, (size_t)count * sizeof(void*));
    if (sb.global.last && sb.global.last->data == address) sb.global.last->target = target;
    void** slots = (void**)address;
    for (int i = 0; i < count; i++) Save_RegisterPointer(&slots[i], slots[i], target, desc);
}

void Saveblk_Close(void)
{
    while (sb.local.first) Saveblk_DropFirstLocal();
    while (sb.global.first) Saveblk_DropFirstGlobal();
    while (RECCHUNK* c = sb.chunks) {
        sb.chunks = c->next;
        Debug_Free(&c);
    }
    sb.rbz = sb.rbhead = nullptr;
    sb.freerecords = nullptr;
    delete sb.listed;
    sb.listed = nullptr;
    delete sb.byseq;
    sb.byseq = nullptr;
    if (sb.count != 0) TLOG(TLOG_ERROR, "Node count not zero on shutdown (%d)", (int)sb.count);
    sb.count = sb.globalcount = 0;
    sb.cursor = nullptr;
}

void Save_RegisterBlock(int kind, const void* address, int type, size_t size)
{
    void* p = const_cast<void*>(address);
    ASSERT(p);
    ASSERT(kind == SAVEK_LOCAL || kind == SAVEK_GLOBAL || kind == SAVEK_STATIC);
    ASSERT(type >= 0 && type < SAVE_TYPE_COUNT);
    sb.calls++;
    if (size > SAVE_MAX_BLOCKSIZE) {
        refuse("a block over 0xFFFFF bytes");
        return;
    }
    if (sb.count >= SAVE_MAX_BLOCKS) {
        refuse("more blocks than save ids");
        return;
    }
    if (kind == SAVEK_LOCAL && (g_SaveFlags & SAVEF_LISTONLY)) {
        if (!addrInsert(*sb.listed, (uintptr_t)p)) {
            sb.repeats++;
            return;
        }
    }
    SAVEBLOCK* n = Saveblk_NewRecord();
    n->data = p;
    n->flags = ((uint32_t)type << SAVEBLK_TYPESHIFT) | (uint32_t)size |
               ((uint32_t)kind << 28 & SAVEBLK_KINDMASK);
    if (kind != SAVEK_LOCAL) {
        Saveblk_AddGlobal(n);
        if (kind != SAVEK_STATIC) sb.globalbytes += size;
        return;
    }
    if (!(g_SaveFlags & SAVEF_LISTONLY) && Saveblk_FindByAddress(p)) {
        // Listed once: a second record would be written twice and loaded as
        // two blocks of which pointers reach one.
        TLOG(TLOG_SAVE, "Duplicate pointer");
        sb.repeats++;
        Saveblk_FreeRecord(n);
        return;
    }
    Saveblk_AddLocal(n);
    sb.localbytes += size;
}

void Saveblk_AddGlobal(SAVEBLOCK* record)
{
    listAppend(sb.global, record);
    sb.count++;
    sb.globalcount++;
    sb.recordbytes += sizeof(SAVEBLOCK);
    if (!(g_SaveFlags & SAVEF_LISTONLY)) treeInsert(record);
}

void Saveblk_AddLocal(SAVEBLOCK* record)
{
    listAppend(sb.local, record);
    sb.count++;
    sb.recordbytes += sizeof(SAVEBLOCK);
    if (!(g_SaveFlags & SAVEF_LISTONLY)) treeInsert(record);
}

void Saveblk_AddLoaded(SAVEBLOCK* record)
{
    listAppend(sb.local, record);
    sb.count++;
    sb.recordbytes += sizeof(SAVEBLOCK);
    s_byId = 1;
    enterById(record);
}

void Saveblk_InsertGlobalsById(void)
{
    TLOG(TLOG_SAVE, "- inserting globals");
    s_byId = 1;
    for (SAVEBLOCK* n = sb.global.first; n; n = n->next) enterById(n);
}

void Saveblk_AssignIds(void)
{
    TLOG(TLOG_SAVE, "- assigning ids");
    sb.nextseq = 2;
    sb.maxdepth = 0;
    assignWalk(sb.rbhead, 0);
    TLOG(TLOG_SAVE, "- depth = %u", sb.maxdepth);
}

SAVEBLOCK* Saveblk_FindByAddress(const void* address)
{
    if (!sb.rbhead || s_byId) return nullptr;
    uint64_t v = (uintptr_t)address;
    SAVEBLOCK* n = sb.rbhead->right;
    while (n != sb.rbz) {
        uint64_t k = (uintptr_t)n->data;
        if (v == k) return n;
        n = v < k ? n->left : n->right;
    }
    return nullptr;
}

SAVEBLOCK* Saveblk_FindById(uint32_t id)
{
    if (!sb.byseq || !s_byId) return nullptr;
    uint32_t seq = SaveId_Seq(id);
    return seq < sb.byseq->size() ? (*sb.byseq)[seq] : nullptr;
}

SAVEBLOCK* Saveblk_FirstGlobal(void) { return sb.cursor = sb.global.first; }
SAVEBLOCK* Saveblk_FirstLocal(void) { return sb.cursor = sb.local.first; }
SAVEBLOCK* Saveblk_Next(void) { return sb.cursor ? (sb.cursor = sb.cursor->next) : nullptr; }
uint32_t Saveblk_GlobalCount(void) { return sb.globalcount; }
uint32_t Saveblk_Count(void) { return sb.count; }

SAVEBLOCK* Saveblk_RemoveFirstLocal(void) { return removeFirst(sb.local); }

void Saveblk_DropFirstLocal(void)
{
    SAVEBLOCK* n = removeFirst(sb.local);
    if (n) Saveblk_FreeRecord(n);
}

void Saveblk_DropFirstGlobal(void)
{
    SAVEBLOCK* n = removeFirst(sb.global);
    if (!n) return;
    sb.globalcount--;
    Saveblk_FreeRecord(n);
}

void Saveblk_FreeLocals(void)
{
    while (SAVEBLOCK* n = removeFirst(sb.local)) {
        Debug_FreeBlock(n->data);
        Saveblk_FreeRecord(n);
    }
    sb.localbytes = 0;
}

const char* Saveblk_Refusal(void) { return sb.refusal; }
void Save_Refuse(const char* why) { refuse(why); }

uint32_t Saveblk_Depth(void) { return sb.rbhead ? depthOf(sb.rbhead->right) : 0; }

void Saveblk_Stats(void)
{
    TLOG(TLOG_SAVE, "- Memory: Blks: (%u) %u - Blks: %u", sb.count, (unsigned)sb.recordbytes,
         (unsigned)(sb.localbytes + sb.globalbytes));
    TLOG(TLOG_SAVE, "- Depth Left: %u Right %u", sb.rbhead ? depthOf(sb.rbhead->left) : 0,
         Saveblk_Depth());
}

void Saveblk_PtrToId(uint64_t* value, SAVEPOINTER* record)
{
    uint64_t v = *value;
    if (v == 0 || (record->flags & SAVEPTR_STALE)) {
        *value = SaveSlot_FromId(SAVEID_NULL);
        return;
    }
    if (SaveSlot_IsId(v)) {
        int t = (int)(int8_t)SaveId_Type((uint32_t)v);
        TLOG(TLOG_ERROR, "Pointer already an ID? (%08X) Type=%d(%s)", (unsigned)(uint32_t)v, t,
             Save_TypeName(t));
        return;
    }
    if (SAVEBLOCK* b = Saveblk_FindByAddress((const void*)(uintptr_t)v)) {
        *value = SaveSlot_FromId(b->id);
        return;
    }
    // Written as null, never as the raw address: a load would follow it.
    Save_TypeAddMissing((int)record->type);
    if (Save_TypeMissing((int)record->type) == 1)
        TLOG(TLOG_ERROR, "Can't find pointer (%08X) Type=%d(%s) [%s]", (unsigned)(uint32_t)v,
             (int)record->type, Save_TypeName((int)record->type), record->desc);
    record->flags &= ~SAVEPTR_CONVERTING;
    *value = SaveSlot_FromId(SAVEID_NULL);
}

int Saveblk_IdToPtr(uint64_t* value, SAVEPOINTER* record)
{
    uint64_t v = *value;
    uint32_t id = (uint32_t)v;
    int rtype = (int)record->type;
    if (!SaveSlot_IsId(v) || !SaveId_IsId(id)) {
        TLOG(TLOG_ERROR, "ID already a Pointer? (%08X) Type=%d(%s) [%s]", id, rtype,
             Save_TypeName(rtype), record->desc);
        return 0;
    }
    if (v == SAVE_SENTINEL) return 1;
    // The writer's null is one id: another of sequence 0 is damage.
    if (id == SAVEID_NULL) {
        *value = 0;
        return 1;
    }
    int vtype = SaveId_Type(id);
    SAVEBLOCK* b = Saveblk_FindById(id);
    if (!b) {
        TLOG(TLOG_ERROR, "Can't find ID (%08X) Type=%d(%s)", id, vtype, Save_TypeName(vtype));
        return 0;
    }
    int btype = SaveBlk_Type(b);
    if (btype != vtype || btype != rtype) {
        int passed = btype != vtype ? vtype : rtype;
        TLOG(TLOG_ERROR, "Id (%08X) type different. Got=%d(%s) Passed=%d(%s)", id, btype,
             Save_TypeName(btype), passed, Save_TypeName(passed));
        return 0;
    }
    *value = (uintptr_t)b->data;
    return 1;
}
