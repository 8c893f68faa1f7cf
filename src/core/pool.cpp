// Record pools: blocks of records, freed records kept on a free list.
#include "core/pool.h"

#include <cstring>

#include "core/debug.h"
#include "core/tlog.h"

struct POOL_BLOCK {
    POOL_BLOCK* next;
};

// Records start after the block header, each rounded up to 16 bytes so that any
// record type is suitably aligned.
static size_t Stride(const POOL* pool) { return (pool->recsize + 15) & ~(size_t)15; }
static const size_t BLOCK_HEADER = 16;

void Pool_Init(POOL* pool, const char* name, size_t recsize, int perblock)
{
    pool->name = name;
    pool->recsize = recsize < sizeof(void*) ? sizeof(void*) : recsize;
    pool->perblock = perblock > 0 ? perblock : 64;
    pool->live = 0;
    pool->freelist = nullptr;
    pool->blocks = nullptr;
}

void* Pool_Alloc(POOL* pool)
{
    if (!pool->freelist) {
        size_t stride = Stride(pool);
        char* mem = static_cast<char*>(Debug_Malloc(BLOCK_HEADER + stride * (size_t)pool->perblock));
        POOL_BLOCK* block = reinterpret_cast<POOL_BLOCK*>(mem);
        block->next = pool->blocks;
        pool->blocks = block;
        for (int i = pool->perblock - 1; i >= 0; i--) {
            void* rec = mem + BLOCK_HEADER + stride * (size_t)i;
            *static_cast<void**>(rec) = pool->freelist;
            pool->freelist = rec;
        }
    }
    void* rec = pool->freelist;
    pool->freelist = *static_cast<void**>(rec);
    memset(rec, 0, pool->recsize);
    pool->live++;
    return rec;
}

void Pool_Free(POOL* pool, void* record)
{
    if (!record) return;
    *static_cast<void**>(record) = pool->freelist;
    pool->freelist = record;
    pool->live--;
}

void Pool_Close(POOL* pool)
{
    if (pool->live != 0)
        TLOG(TLOG_WARNING, "%d extra mallocs", pool->live);
    while (pool->blocks) {
        POOL_BLOCK* next = pool->blocks->next;
        Debug_Free(&pool->blocks);
        pool->blocks = next;
    }
    pool->freelist = nullptr;
    pool->live = 0;
}
