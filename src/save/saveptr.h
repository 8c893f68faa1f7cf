// The pointer-record pool: every registered pointer slot of one save or
// load, in registration order, in chunks of 256 records that never move.
// Also two small word-list routines that share the module.
#pragma once

#include <cstddef>
#include <cstdint>

enum SAVEPTR_FLAG {
    SAVEPTR_CONVERTING = 1,  // the slot is being turned into an id
    SAVEPTR_STALE = 2,       // a weak handle gone stale: written as the null id
};

struct SAVEPOINTER {
    void* slot;          // the pointer-sized slot
    uint64_t value;      // the slot's value when registered (restored after a save)
    uint32_t type;       // save type of what it points at
    const char* desc;    // constant text naming the field, e.g. "u->type"
    uint32_t flags;      // SAVEPTR_FLAG bits
};

enum { SAVEPTR_CHUNK = 256 };

// Registers one pointer slot holding value (the registry doesn't read the
// slot). Nothing while LISTONLY. While LIVE, a value of the converted form
// (all ones in the high word) other than the all-ones sentinel is fatal
// class 4 "Strange pointer: %08X Type=%d(%s)". A null slot is fatal class 4
// "Null Pointer".
void Save_RegisterPointer(void* slot, const void* value, int type, const char* desc);
// As Save_RegisterPointer for the pointer of a weak {pointer, id} handle;
// while LIVE a handle that isn't valid (its target gone or renumbered) is
// written as the null id and the running game keeps it as it was.
void Save_RegisterWeakPointer(void* slot, const void* value, int valid, int type, const char* desc);

// Appends a copy of a record.
void SavePtr_Add(const SAVEPOINTER* record);
// Walk in registration order; null at the end.
SAVEPOINTER* SavePtr_First(void);
SAVEPOINTER* SavePtr_Next(void);
// Records in the pool.
uint32_t SavePtr_Count(void);
// Forgets every chunk without freeing (the pool's start state).
void SavePtr_Reset(void);
// Frees every chunk; logs "Node count not zero on shutdown (%d)" if any stays.
void SavePtr_Close(void);
// Logs "- Memory: Ptrs: %u (%u) %u" (records, chunks, bytes).
void SavePtr_Stats(void);

// Reads whitespace-separated words (at most 127 characters each; longer ones
// are cut) of a text file into fresh copies in array, at most max; *count is
// the number read (0 when the file can't be opened).
void WordList_ReadFile(const char* path, int* count, char** array, int max);
// Frees and clears count entries of array.
void WordList_Free(int count, char** array);
