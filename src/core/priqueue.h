// The priority queue.
//
// A binary min-heap of {item, key} in one array inside a plain record, so
// that a saved game can write it field by field and read it back in the same
// order. Equal keys pop first in, first out: each push takes the next
// sequence number and ties are broken by it. The order therefore depends
// only on the pushes and pops, never on addresses, and is the same on every
// machine. The sequence restarts at 0 whenever the queue becomes empty.
#pragma once

#include <cstdint>

struct PRIQUEUE_ENTRY {
    void* item;
    int32_t key;
    uint64_t seq;              // push order; breaks ties between equal keys
};

struct PRIQUEUE {
    int32_t capacity;
    int32_t count;
    uint64_t nextseq;
    PRIQUEUE_ENTRY* heap;      // heap[0] is the smallest {key, seq}
};

// An empty queue with room for capacity entries (at least 1; asserts
// capacity >= 0); it grows when full. Never null.
PRIQUEUE* PriQueue_Create(int32_t capacity);
// Adds item with key; grows the array when full.
void PriQueue_Push(PRIQUEUE* queue, void* item, int32_t key);
// Removes and returns the item with the smallest key (the earliest pushed
// among equal keys); null when empty.
void* PriQueue_Pop(PRIQUEUE* queue);
// The item PriQueue_Pop would return, left in place; null when empty.
void* PriQueue_Peek(const PRIQUEUE* queue);
// The number of entries.
int32_t PriQueue_Count(const PRIQUEUE* queue);
// Empties the queue (the items are not freed); keeps the capacity.
void PriQueue_Clear(PRIQUEUE* queue);
// Frees the queue, not the items; null is nothing to do.
void PriQueue_Destroy(PRIQUEUE* queue);
