// Record pools with free lists.
//
// Hot records (units, parts, path nodes, list cells) come from pools: blocks
// of records are allocated as needed and freed records go onto a free list.
// A pool that is not back to zero records at close logs "%d extra mallocs".
#pragma once

#include <cstddef>

struct POOL_BLOCK;
struct POOL {
    const char* name;
    size_t recsize;
    int perblock;
    int live;             // records handed out and not yet returned
    void* freelist;
    POOL_BLOCK* blocks;
};

// Sets up an empty pool of records of recsize bytes, perblock to a block.
void Pool_Init(POOL* pool, const char* name, size_t recsize, int perblock);
// A zeroed record; never null.
void* Pool_Alloc(POOL* pool);
// Returns a record to the free list; null is nothing to do.
void Pool_Free(POOL* pool, void* record);
// Frees every block; logs "%d extra mallocs" (warning) when records are live.
void Pool_Close(POOL* pool);
