// The stored form of save types: each type's record as a table of fields in
// order, each with its width in memory and in the file and its valid range.
// A block is stored as its records one after another, each field by field,
// little-endian; pointer fields go as u32 save ids (docs/formats.md, whose
// tables SaveForm_Describe writes).
//
// The same tables give each type's pointer fields, so one dispatcher
// registers the pointers of any record (Save_RegisterTypePointers). The
// forms of static types list only the fields that name the record (a
// sprite's name and layout, not its use count): the file carries their CRC,
// which a load compares with the running program's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum SAVEFIELD_KIND {
    SF_UINT,   // unsigned integer, checked against [min, max] on load
    SF_INT,    // signed integer, checked against [min, max] on load
    SF_PTR,    // pointer slot: the u32 save id (low word of the converted slot)
    SF_WEAK,   // the pointer of a weak {pointer, int32 id} handle: stored as
               // SF_PTR, but a handle whose target no longer carries the id
               // goes as the null id (the id field follows in the table)
    SF_TEXT,   // a character array: its bytes up to the first NUL, stored
               // as zeros after it (what follows a name's end is no part
               // of it)
    SF_VARIANT,// a sub-record with a selector and a union: stored as the
               // selector (u32) and the fields of its case, padded to the
               // widest case; an unknown selector is stored as the first
               // case. stored is the selector's width in memory (0: 4)
};

struct SAVEFIELD;

// One case of a variant: the selector value and the fields it uses, their
// offsets from the start of the sub-record.
struct SAVECASE {
    int32_t value;
    const SAVEFIELD* fields;
    int nfields;
};

struct SAVEFIELD {
    const char* name;   // for a pointer, also the text its registration names
    uint32_t offset;    // in the record in memory
    uint8_t memsize;    // 1, 2, 4 or 8, of one element
    uint8_t stored;     // 1, 2 or 4, of one element
    uint8_t kind;       // SAVEFIELD_KIND
    uint16_t count;     // elements side by side (an array field)
    int64_t min, max;
    int target;         // SF_PTR, SF_WEAK: the save type pointed at
    const SAVECASE* cases; // SF_VARIANT: the cases, the first the default;
    uint16_t ncases;       // memsize is then the sub-record's size
    uint16_t selector;     // SF_VARIANT: offset of the selector in the sub-record
};

struct SAVEFORM {
    const char* name;
    uint32_t memsize;   // bytes of one record in memory
    uint32_t stored;    // bytes of one record in the file
    const SAVEFIELD* fields;
    int nfields;
    int naming;         // 1: a static type's naming fields only
};

// The stored bytes of one field, all its elements (a variant: its widest case).
uint32_t SaveField_Stored(const SAVEFIELD* f);
// The tables of the game's own records (saveunits.cpp): rows of {type, kind
// (-1 either, 0 local, 1 global), form}, ended by a row of type -1.
struct SAVEFORMROW {
    int type;
    int global;
    SAVEFORM form;
};
extern SAVEFORMROW g_SaveUnitForms[];
// 1 when a weak handle's target still carries the id: the unit, building,
// explosion, projectile or part at p has id (a null p is never valid).
int SaveField_WeakValid(int target, const void* p, int32_t id);

// The form of a block of the type and kind (a global VOID block is a pointer
// variable, a local one a string), or null for a type that has none.
const SAVEFORM* SaveForm_Get(int type, int global);
// Stored bytes of a block of memsize bytes, or -1 when the type has no form
// or memsize isn't a whole number of its records.
long SaveForm_StoredSize(int type, int global, uint32_t memsize);
// Appends the stored form of a block's memsize bytes at data to out. With
// bad: 0, the first field a load would refuse named in *bad, when a number
// lies outside its range (written all the same); else 1.
int SaveForm_Encode(const SAVEFORM* form, const void* data, uint32_t memsize, uint8_t* out,
                    const char** bad = nullptr);
// Decodes stored bytes into memory (memsize bytes); pointer fields get the
// converted form of their id. 1, or 0 with the field's name in *bad when a
// field lies outside its range.
int SaveForm_Decode(const SAVEFORM* form, const uint8_t* in, void* data, uint32_t memsize, const char** bad);
// Registers every pointer field of the records of a block (memsize bytes)
// with its field's text and target type; a global VOID block's pointers
// take target instead. Nothing for a type without pointer fields.
void SaveForm_RegisterPointers(const SAVEFORM* form, void* data, uint32_t memsize, int target);
// Over a decoded block (its pointer slots still ids): check(ctx, id, target
// type, field text) for every pointer, a field aimed at ST_VOID taking
// target; the first text check returns, else null.
const char* SaveForm_CheckIds(const SAVEFORM* form, void* data, uint32_t memsize, int target,
                              const char* (*check)(void* ctx, uint32_t id, int target, const char* desc), void* ctx);
// The number of forms and the i-th, with the type and kind it serves, for
// the documentation and the tests.
int SaveForm_Count(void);
const SAVEFORM* SaveForm_At(int i, int* type, int* global);
// The stored-form tables as docs/formats.md shows them (markdown).
std::string SaveForm_Describe(void);
