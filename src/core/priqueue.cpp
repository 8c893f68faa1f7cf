// The priority queue: a binary heap with parent (i - 1) / 2, children 2i + 1
// and 2i + 2.
#include "core/priqueue.h"

#include <cstdint>

#include "core/debug.h"

// Strict order on {key, seq}; seq is unique so no two entries compare equal.
static bool pq_Before(const PRIQUEUE_ENTRY& a, const PRIQUEUE_ENTRY& b)
{
    if (a.key != b.key) return a.key < b.key;
    return a.seq < b.seq;
}

PRIQUEUE* PriQueue_Create(int32_t capacity)
{
    ASSERT(capacity >= 0);
    if (capacity < 1) capacity = 1;
    PRIQUEUE* queue = (PRIQUEUE*)Debug_Malloc(sizeof(PRIQUEUE));
    queue->capacity = capacity;
    queue->count = 0;
    queue->nextseq = 0;
    queue->heap = (PRIQUEUE_ENTRY*)Debug_Malloc(sizeof(PRIQUEUE_ENTRY) * (size_t)capacity);
    return queue;
}

static void pq_Grow(PRIQUEUE* queue)
{
    ASSERT(queue->capacity <= INT32_MAX / 2);
    queue->capacity *= 2;
    queue->heap = (PRIQUEUE_ENTRY*)Debug_Realloc(queue->heap,
                                                 sizeof(PRIQUEUE_ENTRY) * (size_t)queue->capacity);
}

void PriQueue_Push(PRIQUEUE* queue, void* item, int32_t key)
{
    ASSERT(queue);
    if (queue->count == queue->capacity) pq_Grow(queue);

    PRIQUEUE_ENTRY entry = {item, key, queue->nextseq++};
    int32_t i = queue->count++;
    while (i > 0) {
        int32_t parent = (i - 1) / 2;
        if (!pq_Before(entry, queue->heap[parent])) break;
        queue->heap[i] = queue->heap[parent];
        i = parent;
    }
    queue->heap[i] = entry;
}

void* PriQueue_Pop(PRIQUEUE* queue)
{
    ASSERT(queue);
    if (queue->count == 0) return nullptr;

    void* item = queue->heap[0].item;
    queue->count--;
    if (queue->count == 0) {
        queue->nextseq = 0;
        return item;
    }
    // Sift the last entry down from the root.
    PRIQUEUE_ENTRY entry = queue->heap[queue->count];
    int32_t n = queue->count;
    int32_t i = 0;
    for (;;) {
        int64_t wide = 2 * (int64_t)i + 1;
        if (wide >= n) break;
        int32_t child = (int32_t)wide;
        if (child + 1 < n && pq_Before(queue->heap[child + 1], queue->heap[child])) child++;
        if (!pq_Before(queue->heap[child], entry)) break;
        queue->heap[i] = queue->heap[child];
        i = child;
    }
    queue->heap[i] = entry;
    return item;
}

void* PriQueue_Peek(const PRIQUEUE* queue)
{
    ASSERT(queue);
    return queue->count ? queue->heap[0].item : nullptr;
}

int32_t PriQueue_Count(const PRIQUEUE* queue)
{
    ASSERT(queue);
    return queue->count;
}

void PriQueue_Clear(PRIQUEUE* queue)
{
    ASSERT(queue);
    queue->count = 0;
    queue->nextseq = 0;
}

void PriQueue_Destroy(PRIQUEUE* queue)
{
    if (!queue) return;
    Debug_Free(&queue->heap);
    Debug_Free(&queue);
}
