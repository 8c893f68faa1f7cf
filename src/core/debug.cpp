// Assertions and the debug heap.
//
// Each block is [header | user bytes | tail guard]. The header links every
// live block so that the heap can be validated and counted per source file.
#include "core/debug.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "core/error.h"
#include "core/tlog.h"

namespace {
const uint32_t HEAD_MAGIC = 0x51564844u; // "DHVQ"
const uint32_t TAIL_MAGIC = 0x5156544cu;
const uint32_t FREED_MAGIC = 0xdeadbeefu;
const uint32_t DAMAGED_MAGIC = 0x5156444du;

struct alignas(16) BLOCKHEAD {
    uint32_t magic;
    int line;
    size_t size;
    const char* file;
    unsigned long serial; // when it was allocated, for the leak report
    BLOCKHEAD* prev;
    BLOCKHEAD* next;
};

BLOCKHEAD* s_live = nullptr;
long s_blocks = 0;
long s_bytes = 0;
unsigned long s_serial = 0;
long s_faults = 0; // heap faults reported, read by hooks that catch fatal errors
std::mutex s_lock; // the network threads allocate too
}

void Debug_AssertFail(int line, const char* file, const char* expr)
{
    Error_SetLocation(file, line);
    Error_SetUncatchable();
    Error_Fatal(ERRC_FATAL, "ASSERT (%s)", expr ? expr : "");
}

static void* UserPtr(BLOCKHEAD* h) { return reinterpret_cast<char*>(h) + sizeof(BLOCKHEAD); }
static BLOCKHEAD* HeadOf(void* p)
{
    return reinterpret_cast<BLOCKHEAD*>(static_cast<char*>(p) - sizeof(BLOCKHEAD));
}

static void SetTail(BLOCKHEAD* h)
{
    uint32_t tail = TAIL_MAGIC;
    memcpy(static_cast<char*>(UserPtr(h)) + h->size, &tail, sizeof tail);
}

static int TailOk(const BLOCKHEAD* h)
{
    uint32_t tail;
    memcpy(&tail, reinterpret_cast<const char*>(h) + sizeof(BLOCKHEAD) + h->size, sizeof tail);
    return tail == TAIL_MAGIC;
}

static void Link(BLOCKHEAD* h)
{
    h->serial = ++s_serial;
    h->prev = nullptr;
    h->next = s_live;
    if (s_live) s_live->prev = h;
    s_live = h;
    s_blocks++;
    s_bytes += (long)h->size;
}

static void Unlink(BLOCKHEAD* h)
{
    if (h->prev) h->prev->next = h->next;
    else s_live = h->next;
    if (h->next) h->next->prev = h->prev;
    s_blocks--;
    s_bytes -= (long)h->size;
}

// The allocations still to succeed before one fails; -1 for never.
static long s_failAfter = -1;

void Debug_FailAllocation(long after) { s_failAfter = after < 0 ? -1 : after; }

static int Refused(void)
{
    if (s_failAfter < 0) return 0;
    if (s_failAfter-- > 0) return 0;
    return 1; // the count is now -1: the next allocation succeeds again
}

// what: the caller's own text for the box; null gives the general one.
[[noreturn]] static void OutOfMemory(size_t size, const char* what, const char* file, int line)
{
    Error_AddContext("Size : %zu bytes", size);
    Error_SetLocation(file, line);
    Error_Fatal(ERRC_MEMORY, "%s", what ? what : "No more available memory");
}

static void* MallocChecked(size_t size, const char* what, const char* file, int line)
{
    if (size > SIZE_MAX - sizeof(BLOCKHEAD) - sizeof(uint32_t)) OutOfMemory(size, what, file, line);
    BLOCKHEAD* h = Refused() ? nullptr
                             : static_cast<BLOCKHEAD*>(
                                   malloc(sizeof(BLOCKHEAD) + size + sizeof(uint32_t)));
    if (!h) OutOfMemory(size, what, file, line);
    h->magic = HEAD_MAGIC;
    h->size = size;
    h->file = file;
    h->line = line;
    SetTail(h);
    std::lock_guard<std::mutex> hold(s_lock);
    Link(h);
    return UserPtr(h);
}

void* Debug_MallocAt(size_t size, const char* file, int line)
{
    return MallocChecked(size, nullptr, file, line);
}

void* Debug_MallocForAt(size_t size, const char* what, const char* file, int line)
{
    return MallocChecked(size, what, file, line);
}

void* Debug_CallocAt(size_t count, size_t size, const char* file, int line)
{
    if (size != 0 && count > SIZE_MAX / size) OutOfMemory(SIZE_MAX, nullptr, file, line);
    void* p = Debug_MallocAt(count * size, file, line);
    memset(p, 0, count * size);
    return p;
}

// The fatal path runs the shutdown hooks, which free through this heap on the
// same thread: a fault is only reported once the heap lock is released. A
// damaged block leaves the live list marked as such, so that the hooks freeing
// it meet no second fault (its memory is not trusted and stays allocated).
[[noreturn]] static void HeapFault(std::unique_lock<std::mutex>& hold, const char* file, int line,
                                   const char* message)
{
    s_faults++;
    hold.unlock();
    Error_SetLocation(file, line);
    Error_SetUncatchable();
    Error_Fatal(ERRC_FATAL, "%s", message);
}

[[noreturn]] static void DamagedBlock(std::unique_lock<std::mutex>& hold, BLOCKHEAD* h)
{
    char message[96];
    snprintf(message, sizeof message, "Heap damaged: block of %zu bytes overrun", h->size);
    Unlink(h);
    h->magic = DAMAGED_MAGIC;
    HeapFault(hold, h->file, h->line, message);
}

static BLOCKHEAD* CheckedHead(std::unique_lock<std::mutex>& hold, void* block, const char* what)
{
    BLOCKHEAD* h = HeadOf(block);
    if (h->magic != HEAD_MAGIC) {
        char message[96];
        snprintf(message, sizeof message, "%s of a block that is not on the heap (%s)", what,
                 h->magic == FREED_MAGIC ? "already freed" : "bad header");
        HeapFault(hold, __FILE__, __LINE__, message);
    }
    if (!TailOk(h)) DamagedBlock(hold, h);
    return h;
}

void* Debug_ReallocAt(void* block, size_t size, const char* file, int line)
{
    if (!block) return Debug_MallocAt(size, file, line);
    if (size > SIZE_MAX - sizeof(BLOCKHEAD) - sizeof(uint32_t))
        OutOfMemory(size, nullptr, file, line);
    std::unique_lock<std::mutex> hold(s_lock);
    BLOCKHEAD* h = CheckedHead(hold, block, "Realloc");
    Unlink(h);
    hold.unlock();
    BLOCKHEAD* n = static_cast<BLOCKHEAD*>(realloc(h, sizeof(BLOCKHEAD) + size + sizeof(uint32_t)));
    if (!n) OutOfMemory(size, nullptr, file, line);
    n->size = size;
    n->file = file;
    n->line = line;
    SetTail(n);
    hold.lock();
    Link(n);
    return UserPtr(n);
}

char* Debug_StrdupAt(const char* text, const char* file, int line)
{
    if (!text) text = "";
    size_t len = strlen(text);
    char* p = static_cast<char*>(Debug_MallocAt(len + 1, file, line));
    memcpy(p, text, len + 1);
    return p;
}

void Debug_FreeBlock(void* block)
{
    if (!block) return;
    std::unique_lock<std::mutex> hold(s_lock);
    if (HeadOf(block)->magic == DAMAGED_MAGIC) return; // reported already
    BLOCKHEAD* h = CheckedHead(hold, block, "Free");
    Unlink(h);
    h->magic = FREED_MAGIC;
    hold.unlock();
    free(h);
}

void Debug_ValidateHeap(void)
{
    std::unique_lock<std::mutex> hold(s_lock);
    for (BLOCKHEAD* h = s_live; h; h = h->next) {
        if (h->magic != HEAD_MAGIC || !TailOk(h)) DamagedBlock(hold, h);
    }
}

void Debug_PrintCurrentStats(void)
{
    std::map<std::string, std::pair<long, long>> perfile;
    {
        std::lock_guard<std::mutex> hold(s_lock);
        for (BLOCKHEAD* h = s_live; h; h = h->next) {
            auto& e = perfile[h->file ? h->file : "?"];
            e.first++;
            e.second += (long)h->size;
        }
    }
    TLOG(TLOG_MEMORY, "Heap: %ld blocks, %ld bytes", Debug_LiveBlocks(), Debug_LiveBytes());
    for (const auto& [file, e] : perfile)
        TLOG(TLOG_MEMORY, "  %-40s %6ld blocks %10ld bytes", file.c_str(), e.first, e.second);
}

long Debug_HeapFaults(void) { return s_faults; }

unsigned long Debug_Serial(void)
{
    std::lock_guard<std::mutex> hold(s_lock);
    return s_serial;
}

long Debug_ReportLiveSince(unsigned long serial, FILE* out)
{
    std::lock_guard<std::mutex> hold(s_lock);
    long count = 0;
    for (BLOCKHEAD* h = s_live; h; h = h->next) {
        if (h->serial <= serial) continue;
        count++;
        if (out) fprintf(out, "  %zu bytes from %s:%d\n", h->size, h->file ? h->file : "?", h->line);
    }
    return count;
}

long Debug_LiveBlocks(void)
{
    std::lock_guard<std::mutex> hold(s_lock);
    return s_blocks;
}

long Debug_LiveBytes(void)
{
    std::lock_guard<std::mutex> hold(s_lock);
    return s_bytes;
}
