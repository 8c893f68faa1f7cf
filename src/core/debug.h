// Assertions and the debug heap.
//
// Every allocation goes through these wrappers: they never return null (a
// failure is the fatal "Memory allocation error" whose box says "No more
// available memory", or the caller's own text, with the size on a context
// line), they count blocks and bytes per source file, and each block carries
// guard words that Debug_ValidateHeap checks.
#pragma once

#include <cstddef>
#include <cstdio>

// Ends the program through the fatal path with "ASSERT (%s)"; never returns.
[[noreturn]] void Debug_AssertFail(int line, const char* file, const char* expr);

#define ASSERT(expr)                                                                               \
    do {                                                                                           \
        if (!(expr)) Debug_AssertFail(__LINE__, __FILE__, #expr);                                 \
    } while (0)

void* Debug_MallocAt(size_t size, const char* file, int line);
void* Debug_MallocForAt(size_t size, const char* what, const char* file, int line);
void* Debug_CallocAt(size_t count, size_t size, const char* file, int line);
void* Debug_ReallocAt(void* block, size_t size, const char* file, int line);
char* Debug_StrdupAt(const char* text, const char* file, int line);
// Frees a block from the wrappers; null is nothing to do.
void Debug_FreeBlock(void* block);

// A block of size bytes (contents undefined); never null.
#define Debug_Malloc(size) Debug_MallocAt((size), __FILE__, __LINE__)
// As Debug_Malloc, but running out of memory stops with the caller's text
// what (e.g. "event") in the box.
#define Debug_MallocFor(size, what) Debug_MallocForAt((size), (what), __FILE__, __LINE__)
// count x size zeroed bytes; never null.
#define Debug_Calloc(count, size) Debug_CallocAt((count), (size), __FILE__, __LINE__)
// Resizes a block (null acts as malloc); never null.
#define Debug_Realloc(block, size) Debug_ReallocAt((block), (size), __FILE__, __LINE__)
// A copy of a text; never null.
#define Debug_Strdup(text) Debug_StrdupAt((text), __FILE__, __LINE__)

// Frees *pointer and sets it to null.
template <class T> inline void Debug_Free(T** pointer)
{
    Debug_FreeBlock(const_cast<void*>(static_cast<const void*>(*pointer)));
    *pointer = nullptr;
}

// Checks the guard words of every live block; a damaged block is fatal
// ("Heap damaged ...") naming the block's source file and line.
void Debug_ValidateHeap(void);
// Logs the live blocks and bytes per source file (diagnostics channel).
void Debug_PrintCurrentStats(void);
// Lets after more new blocks succeed, then refuses the next one as the system
// would when out of memory (tests of that path); -1 switches it off.
void Debug_FailAllocation(long after);
// Live blocks and bytes over the whole heap.
long Debug_LiveBlocks(void);
long Debug_LiveBytes(void);
// How many heap faults (an overrun guard word, a free or resize of a block
// not on the heap) have been reported through the fatal path: a hook that
// catches fatal errors tells them from refusals of bad input by it.
long Debug_HeapFaults(void);
// The number of allocations so far (a realloc counts as one): a mark for
// Debug_ReportLiveSince.
unsigned long Debug_Serial(void);
// Writes each live block allocated or resized after the mark (size, source
// file and line) to out, which may be null; returns how many there are.
long Debug_ReportLiveSince(unsigned long serial, FILE* out);
