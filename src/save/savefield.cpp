// The stored form of save types.
#include "save/savefield.h"

#include <climits>
#include <cstddef>
#include <cstring>

#include "save/save.h"
#include "save/savetype.h"
#include "shell/shell.h"

namespace {

const SAVEFIELD kUlong[] = {{"value", 0, 4, 4, SF_UINT, 0, 0xFFFFFFFF}};
const SAVEFIELD kByte[] = {{"byte", 0, 1, 1, SF_UINT, 0, 0xFF}};
const SAVEFIELD kHead[] = {{"pointer", 0, sizeof(void*), 4, SF_PTR, 0, 0}};

const SAVEFORM kForms[] = {
    {"ULONG", 4, 4, kUlong, 1},
    {"bytes", 1, 1, kByte, 1},
    {"pointer variable", sizeof(void*), 4, kHead, 1},
};

// The front end's record: its words as i32 and the title's bytes as u8, in
// memory order; any value loads (the front end treats every one safely).
struct ShellInfoForm {
    SAVEFIELD fields[SHELLINFO_SIZE / 4 + SHELL_TITLE * 3 / 4];
    SAVEFORM form;
    ShellInfoForm()
    {
        int n = 0;
        const uint32_t title = offsetof(SHELLINFO, title);
        for (uint32_t at = 0; at < SHELLINFO_SIZE;) {
            if (at >= title && at < title + SHELL_TITLE) {
                fields[n++] = SAVEFIELD{"title", at, 1, 1, SF_UINT, 0, 0xFF};
                at += 1;
            } else {
                fields[n++] = SAVEFIELD{"word", at, 4, 4, SF_INT, INT32_MIN, INT32_MAX};
                at += 4;
            }
        }
        form = SAVEFORM{"SHELLINFO", SHELLINFO_SIZE, SHELLINFO_SIZE, fields, n};
    }
};

const SAVEFORM* ShellInfo(void)
{
    static const ShellInfoForm f;
    return &f.form;
}

uint64_t readMem(const uint8_t* p, int size)
{
    uint64_t v = 0;
    memcpy(&v, p, (size_t)size);  // little-endian host
    return v;
}

} // namespace

const SAVEFORM* SaveForm_Get(int type, int global)
{
    switch (type) {
    case ST_ULONG:
        return &kForms[0];
    case ST_NONE:
        return &kForms[1];
    case ST_VOID:
        return global ? &kForms[2] : &kForms[1];
    case ST_SHELLINFO:
        return ShellInfo();
    default:
        return nullptr;
    }
}

long SaveForm_StoredSize(int type, int global, uint32_t memsize)
{
    const SAVEFORM* f = SaveForm_Get(type, global);
    if (!f || memsize % f->memsize) return -1;
    return (long)(memsize / f->memsize) * f->stored;
}

void SaveForm_Encode(const SAVEFORM* form, const void* data, uint32_t memsize, uint8_t* out)
{
    const uint8_t* rec = (const uint8_t*)data;
    for (uint32_t r = 0; r < memsize / form->memsize; r++, rec += form->memsize) {
        for (int i = 0; i < form->nfields; i++) {
            const SAVEFIELD& f = form->fields[i];
            uint64_t v = readMem(rec + f.offset, f.memsize);
            // An unconverted pointer field is no id: written as null.
            if (f.kind == SF_PTR) v = SaveSlot_IsId(v) ? (uint32_t)v : SAVEID_NULL;
            for (int b = 0; b < f.stored; b++) *out++ = (uint8_t)(v >> (8 * b));
        }
    }
}

int SaveForm_Decode(const SAVEFORM* form, const uint8_t* in, void* data, uint32_t memsize, const char** bad)
{
    uint8_t* rec = (uint8_t*)data;
    for (uint32_t r = 0; r < memsize / form->memsize; r++, rec += form->memsize) {
        for (int i = 0; i < form->nfields; i++) {
            const SAVEFIELD& f = form->fields[i];
            uint64_t v = 0;
            for (int b = 0; b < f.stored; b++) v |= (uint64_t)*in++ << (8 * b);
            if (f.kind == SF_PTR) {
                v = SaveSlot_FromId((uint32_t)v);
            } else if (f.kind == SF_INT) {
                int64_t s = (int64_t)(v << (64 - 8 * f.stored)) >> (64 - 8 * f.stored);
                if (s < f.min || s > f.max) return *bad = f.name, 0;
                v = (uint64_t)s;
            } else if ((int64_t)v < f.min || (int64_t)v > f.max) {
                return *bad = f.name, 0;
            }
            memcpy(rec + f.offset, &v, f.memsize);
        }
    }
    return 1;
}
