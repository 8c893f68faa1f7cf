// The block registry: every registered block of one save or load, in a
// global and a local list (registration order), in a red-black tree keyed
// by block address (saving) and in a table by the sequence number of its id
// (loading).
//
// Valid between Saveblk_Init and Saveblk_Close; outside a save or a load it
// holds nothing. Errors go to the trace log's error category, progress lines
// to the save category.
#pragma once

#include <cstddef>
#include <cstdint>

#include "save/save.h"

enum : uint32_t {
    SAVE_MAX_IDS = 0x100000,
    // Sequence numbers 3..0xFFFFF: the blocks one save can name. A save that
    // registers more is refused rather than give two blocks one id.
    SAVE_MAX_BLOCKS = SAVEID_SEQMASK - SAVEID_FIRSTSEQ + 1,
    SAVE_MAX_BLOCKSIZE = 0xFFFFF,
};

// Block flags word: size, type, kind; bits 30-31 the tree colour.
enum : uint32_t {
    SAVEBLK_SIZEMASK = 0x000FFFFF,
    SAVEBLK_TYPESHIFT = 20,
    SAVEBLK_GLOBAL = 0x10000000,
    SAVEBLK_STATIC = 0x20000000,
    SAVEBLK_KINDMASK = 0x30000000,
    SAVEBLK_RED = 0x40000000,
    SAVEBLK_COLOURMASK = 0xC0000000,
};

// Kinds passed to Save_RegisterBlock (the flags word's bits 28-29).
enum SAVE_KIND { SAVEK_LOCAL = 0, SAVEK_GLOBAL = 1, SAVEK_STATIC = 3 };

struct SAVEBLOCK {
    void* data;
    uint32_t id;         // set by Saveblk_AssignIds or read from a file
    uint32_t flags;      // SAVEBLK_* bits
    SAVEBLOCK* next;     // global or local list
    SAVEBLOCK* left;
    SAVEBLOCK* right;
    int target;          // a global VOID head: the save type it points at
};

inline uint32_t SaveBlk_Size(const SAVEBLOCK* b) { return b->flags & SAVEBLK_SIZEMASK; }
inline int SaveBlk_Type(const SAVEBLOCK* b) { return (int)((b->flags >> SAVEBLK_TYPESHIFT) & 0xFF); }
inline int SaveBlk_IsGlobal(const SAVEBLOCK* b) { return (b->flags & SAVEBLK_KINDMASK) != 0; }
inline int SaveBlk_IsStatic(const SAVEBLOCK* b) { return (b->flags & SAVEBLK_STATIC) != 0; }

// Registers one block: kind SAVE_KIND, type 0..112 (else asserted), address
// non-null (assertion "p"). Non-zero kinds join the global list (a global
// address registered twice is listed twice, the second kept out of the tree
// with "Duplicate pointer"); a local address registered again is listed once.
// A block over 0xFFFFF bytes, or more blocks than sequence numbers, refuses
// the save (Saveblk_Refusal) instead of being listed.
void Save_RegisterBlock(int kind, const void* address, int type, size_t size);

// Registers a global VOID block of count pointer variables at address (a
// module's list heads), each pointer with desc and target; a load converts
// them with that target.
void Save_RegisterHead(void* address, int count, int target, const char* desc);
// 0 once the registrations since Saveblk_Init (a local registered again
// included) have passed the walk limit or the save was refused: every list
// walk of a registrar stops there, so that a cycle in a loaded list ends.
int Save_WalkGoesOn(void);
// The walk limit (registrations); SAVE_MAX_BLOCKS + 1 after Saveblk_Init.
void Saveblk_SetWalkLimit(uint32_t limit);
// Local registrations of an address already listed since Saveblk_Init.
uint32_t Saveblk_Repeats(void);

// Creates the tree's head and sentinel and empties the lists and counters.
void Saveblk_Init(void);
// Frees every record (block memory is freed for no record); logs
// "Node count not zero on shutdown (%d)" if the count doesn't come to 0.
void Saveblk_Close(void);

// Append to the global or local list; into the address tree unless LISTONLY.
void Saveblk_AddGlobal(SAVEBLOCK* record);
void Saveblk_AddLocal(SAVEBLOCK* record);
// Appends a record read from a file to the local list and the id table.
void Saveblk_AddLoaded(SAVEBLOCK* record);
// A fresh record (zeroed, links at the sentinel); never null. Records live
// until Saveblk_Close; Saveblk_FreeRecord gives one back for reuse.
SAVEBLOCK* Saveblk_NewRecord(void);
void Saveblk_FreeRecord(SAVEBLOCK* record);
// Enters every global record into the id table; logs "- inserting globals".
void Saveblk_InsertGlobalsById(void);
// Gives every record of the address tree its id in ascending address order
// (sequence 3 up); logs "- assigning ids" and "- depth = %u".
void Saveblk_AssignIds(void);

struct SAVEPOINTER;
// Saving: a slot value to its id form. Null gives the null id; a value
// already of id form stays (error "Pointer already an ID? (%08X) Type=%d(%s)");
// the start of a registered block gives its id; anything else, and a stale
// weak handle, gives the null id: a value that finds no block counts as
// missing for its type and logs "Can't find pointer (%08X) Type=%d(%s) [%s]"
// the first time for that type.
void Saveblk_PtrToId(uint64_t* value, SAVEPOINTER* record);
// Loading: an id-form slot value to the address of its block through the id
// table. The null id gives null and the sentinel stays. 1 when converted; 0,
// with the reason logged and the slot unchanged, for a value not of id form
// ("ID already a Pointer? (%08X) Type=%d(%s) [%s]"), an id not found
// ("Can't find ID (%08X) Type=%d(%s)"), or one whose block's type differs
// from the id's or the field's ("Id (%08X) type different. Got=%d(%s)
// Passed=%d(%s)").
int Saveblk_IdToPtr(uint64_t* value, SAVEPOINTER* record);

// The record whose data is address (address tree), or null.
SAVEBLOCK* Saveblk_FindByAddress(const void* address);
// The first record entered whose id has the sequence number of id (id
// table), or null.
SAVEBLOCK* Saveblk_FindById(uint32_t id);

// Walk a list in registration order (null at the end).
SAVEBLOCK* Saveblk_FirstGlobal(void);
SAVEBLOCK* Saveblk_FirstLocal(void);
SAVEBLOCK* Saveblk_Next(void);
uint32_t Saveblk_GlobalCount(void);
uint32_t Saveblk_Count(void);

// Removes every local record, freeing its block memory (through the debug
// heap) and the record.
void Saveblk_FreeLocals(void);
// Removes the first local record and returns it (null when none); its block
// memory stays. Saveblk_DropFirstLocal frees the record; Saveblk_DropFirstGlobal
// the first global record.
SAVEBLOCK* Saveblk_RemoveFirstLocal(void);
void Saveblk_DropFirstLocal(void);
void Saveblk_DropFirstGlobal(void);

// Refuses the save being listed (logged "Save refused: %s" the first time);
// every walk stops.
void Save_Refuse(const char* why);
// Why the registrations since Saveblk_Init can't be saved (a block too large,
// more blocks than ids), or null when they can.
const char* Saveblk_Refusal(void);
// The deepest path from the head to a record (head's child is depth 1).
uint32_t Saveblk_Depth(void);
// Logs "- Memory: Blks: (%u) %u - Blks: %u" and "- Depth Left: %u Right %u".
void Saveblk_Stats(void);
