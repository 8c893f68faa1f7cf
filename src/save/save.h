// Saved games.
//
// Design note. A saved game is the registered memory of a running game. No
// module writes a file of its own: each registers its blocks (kind, address,
// save type, size) and every pointer slot inside them (the slot, its value,
// the save type it points at, a text naming the field) with the registry
// (saveblk.h, saveptr.h). The same registrations serve both directions:
//   - Saving: every block enters an address tree; one in-order walk gives
//     each block its save id (ascending address order, so ids are dense and
//     a lookup is a tree search); each slot is rewritten in place from its
//     address to the id of the block that starts there, the blocks are
//     written, and each slot gets back the value recorded at registration.
//     Nothing else in the running game changes.
//   - Loading: the present game's blocks are only listed (flag LISTONLY),
//     so the file's global blocks can be matched to their places and its
//     local blocks to their types; the file's blocks then fill the globals
//     (copied aside first) and fresh records from their modules' pools, the
//     pointer slots of every loaded block are registered again from its
//     type's field table, and each id becomes the address of its new block.
//     The list construction then runs once more over the loaded game,
//     listing only: it must reach exactly the loaded local blocks, each
//     once, in file order (its walks stop past the file's block count, so a
//     loaded cycle ends), and the modules check what they were given (links
//     both ways, buckets, grid arrays, team lists, part chains, sweeps).
//     Only then is the load kept: the present game's records go back to
//     their pools without being unlinked from anything (every list they sat
//     on was replaced), and what no block carries is taken down or rebuilt
//     (order queues, recording and playback, the making sequence, the sight
//     counts, the path search's open list, the connected regions, the
//     terrain cache). Any refusal before puts the globals back and gives the
//     new records back: the game is as it was.
//
// The flags word (g_SaveFlags) holds the direction's state:
//   SAVEF_DUMP        a text dump of the blocks goes with the next save;
//   SAVEF_LIVE        slot values are live addresses (registrations check
//                     them, weak handles are validated); clear only while a
//                     file's blocks are being converted back;
//   SAVEF_LISTONLY    registrations list blocks and record no pointer;
//   SAVEF_PENDINGLOAD a saved game waits to be loaded by the next game's
//                     start-up (set by the state loop and the interface).
//
// Save ids. A u32: bits 28-31 all ones (the marker), 20-27 the block's save
// type, 0-19 its sequence number (3 up; 2 is the tree's head, 0 is null). The
// null pointer is 0xF0000000. Our slots are 64 bits wide, so while converted
// a slot holds the id in its low word and all ones in its high word: no user
// address has that form, and a live slot that has it is a fault ("Strange
// pointer"). The all-ones value is a sentinel that passes unchanged.
//
// The stored form of a block is its records field by field, little-endian,
// pointers as u32 save ids: each save type has a field table (its record's
// fields in order, each with stored width and valid range), and the file is
// never a copy of memory. A load reads the whole file and checks it before
// anything in the running game changes (markers, flags, ids, sizes, CRC-32s,
// counts, the global section against the present game's listing); a bad
// file is refused with its reason and offset and the game goes on as it was.
#pragma once

#include <cstdint>

enum SAVE_FLAG {
    SAVEF_DUMP = 1,
    SAVEF_LIVE = 2,
    SAVEF_LISTONLY = 4,
    SAVEF_PENDINGLOAD = 8,
};

// The save system's flags word (SAVE_FLAG bits); the state loop and the
// interface set and clear SAVEF_PENDINGLOAD.
extern uint32_t g_SaveFlags;

enum : uint32_t {
    SAVEID_MARKER = 0xF0000000u,
    SAVEID_NULL = 0xF0000000u,
    SAVEID_SEQMASK = 0x000FFFFFu,
    SAVEID_FIRSTSEQ = 3,           // the head of the tree takes 2
};
enum : uint64_t {
    SAVE_SLOTIDHIGH = 0xFFFFFFFF00000000ull,
    SAVE_SENTINEL = 0xFFFFFFFFFFFFFFFFull,
};

// 1 when a u32 carries the id marker.
inline int SaveId_IsId(uint32_t v) { return (v & SAVEID_MARKER) == SAVEID_MARKER; }
inline uint32_t SaveId_Make(int type, uint32_t seq) { return SAVEID_MARKER | ((uint32_t)type << 20) | (seq & SAVEID_SEQMASK); }
inline int SaveId_Type(uint32_t id) { return (int)((id >> 20) & 0xFF); }
inline uint32_t SaveId_Seq(uint32_t id) { return id & SAVEID_SEQMASK; }
// 1 when a slot value has the converted form (all ones in the high word).
inline int SaveSlot_IsId(uint64_t v) { return (v & SAVE_SLOTIDHIGH) == SAVE_SLOTIDHIGH; }
inline uint64_t SaveSlot_FromId(uint32_t id) { return SAVE_SLOTIDHIGH | id; }

// Start-up state of the flags word: LIVE set, LISTONLY and PENDINGLOAD
// cleared, DUMP kept.
void Save_Init(void);

// The header of the file last read (Save_CheckHeader, Save_Load).
struct SAVEHEADER {
    uint16_t major, minor;   // 1.6
    uint32_t flag;           // 0 from every caller
    char scenario[16];       // NUL-terminated
};
extern SAVEHEADER g_SaveHeader;

enum SAVE_LOADRESULT { SAVE_LOADED = 0, SAVE_BADFILE = 1, SAVE_OTHERSCENARIO = 2, SAVE_OLDVERSION = 3 };

// Saves the running game to path (its directory made when missing); 1 when
// the whole file was written, 0 when anything failed (the previous file is
// kept). Nothing in the running game changes. Logs "Saving...", the steps,
// the block statistics and "Time: %8.1fs".
int Save_Game(const char* path, uint32_t flag);
// Loads a saved game into the running game: SAVE_LOADRESULT. A bad file is
// refused before anything changes; the reason (file, offset or block) is
// logged and kept for Save_LoadError. Only a regular file is read. A file of
// another scenario gives SAVE_OTHERSCENARIO (nothing loaded) only once its
// structure and every block's fields have passed and its scenario is a
// folder of the current category; a damaged one is SAVE_BADFILE. A file
// whose unit, building, part or weapon types are more or fewer than this
// game's is SAVE_OLDVERSION ("made with other game data").
int Save_Load(const char* path);
// Reads and checks the header alone into g_SaveHeader: 0, 1 or 3 as Save_Load.
int Save_CheckHeader(const char* path);
// Why the last Save_Load or Save_CheckHeader didn't load ("" after a load).
const char* Save_LoadError(void);
// The same without the file's path in front.
const char* Save_LoadReason(void);
// The next save also writes a text dump of its blocks to path.
void Save_SetDumpFileName(const char* path);

// The steps of a save, each also callable alone.
// Registers every block of the game (listing only while LISTONLY); 1.
int Save_ConstructLists(void);
// Registers the front end's progress record alone (every save has it).
void Save_RegisterShellInfo(void);
// Logs the blocks of each type and, with withMissing, the missing pointers.
void Save_Statistics(int withMissing);
// The header flag that the next list construction serves: the one being
// written, or on loading the file's (a non-zero flag lists only the front
// end's record).
void Save_SetListFlag(uint32_t flag);
// Rewrites every registered slot to its id.
void Save_PointersToIds(void);
struct CFILE;
// The body of a save into an open file: lists the game, converts its
// pointers, writes the blocks, puts the pointers back; 1, or 0 when the
// save was refused or a write failed.
int Save_Write(CFILE* w);
// Writes the global and the local section; 0 when a block has no stored
// form or is too large, or a write failed.
int Save_WriteBlocks(CFILE* w);
// Puts every slot back to its value at registration (after writing).
void Save_RestorePointers(void);
// Loading: converts every registered slot from its id to its block's
// address through the id tree; null, or why the first slot that can't be
// converted is refused (no block, another type, the sentinel).
const char* Save_IdsToPointers(void);
// A load being kept takes down what no block carries before the replaced
// records go (a save changes nothing and runs neither): the computer
// players closed, the order queues, executed selections and selections last
// sent emptied, recording and playback ended (logged, not restarted).
void Save_PreSaveParsing(void);
// ... and rebuilds the rest from what was loaded: the thing list's count and
// end, the grid arrays' capacity, the sight counts from the loaded sweeps,
// the path search from its loaded state (phase effects dropped), the
// connected regions
// (when the game had them), the terrain cache; computer teams booted, the
// computer players started again (when the game had them), each activated
// on its state machine's current plan. The update timer is the caller's
// (the game layer restarts it).
void Save_PostSaveParsing(void);
