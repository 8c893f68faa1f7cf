// The stored form of save types: one field table per record type.
#include "save/savefield.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "map/map.h"
#include "map/mapgrid.h"
#include "map/fog.h"
#include "map/overlay.h"
#include "map/region.h"
#include "platform/animtype.h"
#include "platform/effects.h"
#include "platform/sortdisp.h"
#include "platform/sprite.h"
#include "save/save.h"
#include "save/saveptr.h"
#include "save/savetype.h"
#include "shell/shell.h"

namespace {

#define MEMBER(rec, f) (((rec*)nullptr)->f)
#define FLD(rec, f, st, kind, lo, hi) \
    {#f, (uint32_t)offsetof(rec, f), (uint8_t)sizeof(MEMBER(rec, f)), st, kind, 1, lo, hi, 0, nullptr, 0, 0}
#define ARR(rec, f, st, kind, lo, hi)                                                             \
    {#f, (uint32_t)offsetof(rec, f), (uint8_t)sizeof(MEMBER(rec, f)[0]), st, kind,                \
     (uint16_t)(sizeof(MEMBER(rec, f)) / sizeof(MEMBER(rec, f)[0])), lo, hi, 0, nullptr, 0, 0}
#define BYTES(rec, f) {#f, (uint32_t)offsetof(rec, f), 1, 1, SF_UINT, (uint16_t)sizeof(MEMBER(rec, f)), 0, 255, 0, nullptr, 0, 0}
#define PTR(rec, f, desc, target) {desc, (uint32_t)offsetof(rec, f), 8, 4, SF_PTR, 1, 0, 0, target, nullptr, 0, 0}
#define PTRS(rec, f, desc, target)                                                                \
    {desc, (uint32_t)offsetof(rec, f), 8, 4, SF_PTR,                                              \
     (uint16_t)(sizeof(MEMBER(rec, f)) / sizeof(MEMBER(rec, f)[0])), 0, 0, target, nullptr, 0, 0}
#define WORD(name, off, hi) {name, (uint32_t)(off), 4, 4, SF_UINT, 1, 0, hi, 0, nullptr, 0, 0}
#define FORM(name, rec, table, naming) {name, (uint32_t)sizeof(rec), 0, table, (int)(sizeof table / sizeof table[0]), naming}

const int64_t I32MIN = INT32_MIN, I32MAX = INT32_MAX, U32MAX = UINT32_MAX;
const int64_t TILEMAX = MAP_MAX_SIDE - 1, PIXELMAX = MAP_MAX_SIDE * 24;
// A region's pixels: its corners, or a circle's centre, on the largest map,
// a circle's radius up to the map's width and height together.
const int64_t REGIONMAX = 2 * PIXELMAX;

const SAVEFIELD kUlong[] = {{"value", 0, 4, 4, SF_UINT, 1, 0, U32MAX, 0, nullptr, 0, 0}};
const SAVEFIELD kByte[] = {{"byte", 0, 1, 1, SF_UINT, 1, 0, 255, 0, nullptr, 0, 0}};
const SAVEFIELD kHead[] = {{"pointer", 0, sizeof(void*), 4, SF_PTR, 1, 0, 0, ST_VOID, nullptr, 0, 0}};

// The bit-field words have no address of their own: each sits right after
// the field before it.
const uint32_t kDisplayBits = offsetof(DISPLAYELEMENT, y) + 4;
static_assert(offsetof(DISPLAYELEMENT, layer) == kDisplayBits + 4, "display element layout");
const SAVEFIELD kDisplay[] = {
    PTR(DISPLAYELEMENT, next, "e->next", ST_DISPLAYELEMENT),
    PTR(DISPLAYELEMENT, prev, "e->prev", ST_DISPLAYELEMENT),
    PTR(DISPLAYELEMENT, nextup, "e->nextup", ST_DISPLAYELEMENT),
    PTR(DISPLAYELEMENT, prevup, "e->prevup", ST_DISPLAYELEMENT),
    PTR(DISPLAYELEMENT, sprite, "e->sprite", ST_SPRITE),
    FLD(DISPLAYELEMENT, x, 4, SF_INT, I32MIN, I32MAX),
    FLD(DISPLAYELEMENT, y, 4, SF_INT, I32MIN, I32MAX),
    WORD("frame/direction/remap/rendermode/visible bits", kDisplayBits, (1 << 29) - 1),
    FLD(DISPLAYELEMENT, layer, 2, SF_UINT, 0, SORTDISP_LAYERS - 1),
    FLD(DISPLAYELEMENT, flags, 2, SF_UINT, 0, 0xFFFF),
};

const SAVEFIELD kOverlay[] = {
    FLD(OVERLAY, id, 4, SF_INT, -1, I32MAX),
    FLD(OVERLAY, type, 4, SF_INT, -1, OVL_MAX_TYPES - 1),
    FLD(OVERLAY, tilepos.x, 4, SF_INT, 0, TILEMAX),
    FLD(OVERLAY, tilepos.y, 4, SF_INT, 0, TILEMAX),
    FLD(OVERLAY, pixelpos.x, 4, SF_INT, 0, PIXELMAX),
    FLD(OVERLAY, pixelpos.y, 4, SF_INT, 0, PIXELMAX),
    FLD(OVERLAY, sx, 4, SF_INT, 0, 0xFFFF),
    FLD(OVERLAY, sy, 4, SF_INT, 0, 0xFFFF),
    FLD(OVERLAY, remap, 4, SF_INT, 0, SORTDISP_MAX_REMAP),
    FLD(OVERLAY, layer, 4, SF_INT, 0, SORTDISP_LAYERS - 1),
    FLD(OVERLAY, flags, 4, SF_UINT, 0, OVF_FOGGED | OVF_SEEN | OVF_DELETEPENDING | OVF_INGRID),
    FLD(OVERLAY, usecount, 4, SF_INT, 0, I32MAX - 1),  // counted up by one
    PTR(OVERLAY, display, "o->display", ST_DISPLAYELEMENT),
    PTR(OVERLAY, shadowdisplay, "o->shadowdisplay", ST_DISPLAYELEMENT),
    PTR(OVERLAY, nextoverlay, "o->nextoverlay", ST_OVERLAY),
    PTR(OVERLAY, prevoverlay, "o->prevoverlay", ST_OVERLAY),
};

const SAVEFIELD kAnimIter[] = {
    PTR(ANIMITERATOR, animtype, "a->animtype", ST_ANIMTYPE),
    PTR(ANIMITERATOR, curframe, "a->curframe", ST_ANIMFRAME),
    PTR(ANIMITERATOR, sprite, "a->sprite", ST_SPRITE),
    FLD(ANIMITERATOR, frame, 4, SF_INT, 0, SORTDISP_MAX_FRAME),
    FLD(ANIMITERATOR, wait, 4, SF_INT, I32MIN + 1, I32MAX),  // counted down by one
};

const SAVEFIELD kBytemap[] = {
    PTR(BYTEMAP, next, "b->next", ST_BYTEMAP),
    PTR(BYTEMAP, prev, "b->prev", ST_BYTEMAP),
    FLD(BYTEMAP, x0, 4, SF_INT, I32MIN, I32MAX),
    FLD(BYTEMAP, y0, 4, SF_INT, I32MIN, I32MAX),
    BYTES(BYTEMAP, bits),
};

const uint32_t kElementBits = offsetof(MAP_ELEMENT, shadev) + 4;
const SAVEFIELD kMapElement[] = {
    FLD(MAP_ELEMENT, tile, 4, SF_UINT, 0, U32MAX),
    FLD(MAP_ELEMENT, shadev, 4, SF_UINT, 0, U32MAX),
    WORD("altitude/effect/water/mineral/initalt bits", kElementBits, (1 << 21) - 1),
    PTRS(MAP_ELEMENT, unit, "m->unit[l]", ST_UNIT),
};

const SAVEFIELD kRegion[] = {
    FLD(REGION, id, 4, SF_UINT, 0, U32MAX),
    FLD(REGION, flags, 4, SF_UINT, 0, U32MAX),
    FLD(REGION, x1, 4, SF_INT, 0, REGIONMAX),
    FLD(REGION, y1, 4, SF_INT, 0, REGIONMAX),
    FLD(REGION, x2, 4, SF_INT, 0, REGIONMAX),
    FLD(REGION, y2, 4, SF_INT, 0, REGIONMAX),
    ARR(REGION, harass, 4, SF_INT, I32MIN, I32MAX),
};

// A grid cell keeps, per list, an array of its objects; a cell's overlay
// array is a local block of overlay pointers.
const SAVEFIELD kGridCell[] = {
    PTRS(MAPGRID_CELL, items, "cell->items[l]", ST_MAPGRID),
    ARR(MAPGRID_CELL, count, 4, SF_INT, 0, 0xFFFFFF),
    ARR(MAPGRID_CELL, capacity, 4, SF_INT, 0, 0xFFFFFF),
};
// A cell's array: its entries' type is its list's, given by the cell
// slot that names the array.
const SAVEFIELD kGridItems[] = {{"cell->items[l][i]", 0, sizeof(void*), 4, SF_PTR, 1, 0, 0, ST_VOID, nullptr, 0, 0}};

// Static types: only what names the record.
const SAVEFIELD kSprite[] = {
    BYTES(SPRITE, name),
    FLD(SPRITE, byname, 4, SF_INT, 0, 1),
    FLD(SPRITE, kind, 4, SF_INT, I32MIN, I32MAX),
    FLD(SPRITE, fsize, 4, SF_INT, I32MIN, I32MAX),
    FLD(SPRITE, rsize, 4, SF_INT, I32MIN, I32MAX),
    FLD(SPRITE, w, 4, SF_INT, I32MIN, I32MAX),
    FLD(SPRITE, h, 4, SF_INT, I32MIN, I32MAX),
    FLD(SPRITE, nrsections, 4, SF_INT, I32MIN, I32MAX),
};
const SAVEFIELD kEffectType[] = {
    BYTES(EFFECTTYPE, name),
    BYTES(EFFECTTYPE, cell),
    FLD(EFFECTTYPE, min, 4, SF_INT, I32MIN, I32MAX),
    FLD(EFFECTTYPE, max, 4, SF_INT, I32MIN, I32MAX),
};
const SAVEFIELD kAnimType[] = {
    BYTES(ANIMTYPE, name),
    FLD(ANIMTYPE, nrframes, 4, SF_INT, I32MIN, I32MAX),
};
const SAVEFIELD kAnimFrame[] = {
    FLD(ANIMFRAME, first, 4, SF_INT, I32MIN, I32MAX),
    FLD(ANIMFRAME, last, 4, SF_INT, I32MIN, I32MAX),
    FLD(ANIMFRAME, delay, 4, SF_INT, I32MIN, I32MAX),
};
const SAVEFIELD kOverlayType[] = {
    BYTES(OVERLAYTYPE, name),
    BYTES(OVERLAYTYPE, imagename),
    FLD(OVERLAYTYPE, sx, 4, SF_INT, I32MIN, I32MAX),
    FLD(OVERLAYTYPE, sy, 4, SF_INT, I32MIN, I32MAX),
    FLD(OVERLAYTYPE, maxhitpoints, 4, SF_INT, I32MIN, I32MAX),
    FLD(OVERLAYTYPE, level, 4, SF_INT, I32MIN, I32MAX),
    BYTES(OVERLAYTYPE, effectname),
};

// The front end's record: each field within what the front end sets it to,
// 0 for a value never set; ShellInfoHolds checks the gaps inside these
// ranges and the fields that depend on each other.
const SAVEFIELD kShellInfo[] = {
    FLD(SHELLINFO, current, 4, SF_INT, 0, SS_LAST),
    FLD(SHELLINFO, next, 4, SF_INT, 0, SS_LAST),
    FLD(SHELLINFO, previous, 4, SF_INT, 0, SS_LAST),
    FLD(SHELLINFO, mode, 4, SF_INT, 0, SHELL_INSTANT),
    FLD(SHELLINFO, reserved, 4, SF_INT, I32MIN, I32MAX),
    FLD(SHELLINFO, selectedMission, 4, SF_INT, 0, 215),
    FLD(SHELLINFO, highestMission, 4, SF_INT, 0, 216),
    FLD(SHELLINFO, result, 4, SF_INT, 0, 1),
    FLD(SHELLINFO, wonFirst, 4, SF_INT, 0, 0x1FFF),
    FLD(SHELLINFO, wonSecond, 4, SF_INT, 0, 0x1FFF),
    FLD(SHELLINFO, mission, 4, SF_INT, 0, 216),
    FLD(SHELLINFO, side, 4, SF_INT, 0, SHELL_SIDE_SECOND),
    BYTES(SHELLINFO, title),
    FLD(SHELLINFO, lastMission, 4, SF_INT, 0, 216),
    FLD(SHELLINFO, lastSide, 4, SF_INT, 0, SHELL_SIDE_SECOND),
    {"debrief", (uint32_t)offsetof(SHELLINFO, debrief), 4, 4, SF_INT,
     (uint16_t)(sizeof(MEMBER(SHELLINFO, debrief)) / 4), I32MIN, I32MAX, 0, nullptr, 0, 0},
};

int InSet(int32_t v, int32_t lo, int32_t hi) { return v == 0 || (v >= lo && v <= hi); }
int IsSide(int32_t v) { return v == 0 || v == SHELL_SIDE_FIRST || v == SHELL_SIDE_SECOND; }

// 1, or 0 with the failing field's name in *bad.
int ShellInfoHolds(const SHELLINFO* s, const char** bad)
{
    if (!InSet(s->mode, SHELL_FRONTEND, SHELL_INSTANT)) return *bad = "mode", 0;
    if (!InSet(s->selectedMission, 204, 215)) return *bad = "selectedMission", 0;
    if (!InSet(s->highestMission, 204, 216)) return *bad = "highestMission", 0;
    if (!InSet(s->mission, 200, 216)) return *bad = "mission", 0;
    if (!InSet(s->lastMission, 200, 216)) return *bad = "lastMission", 0;
    if (!IsSide(s->side) || (s->mode == SHELL_CAMPAIGN && !s->side)) return *bad = "side", 0;
    if (!IsSide(s->lastSide)) return *bad = "lastSide", 0;
    // The pages show the title as text.
    if (!memchr(s->title, 0, sizeof s->title)) return *bad = "title", 0;
    return 1;
}
static_assert(sizeof(SHELLDEBRIEF) == 4 * SHELL_DEBRIEF_WORDS, "debriefing lines are words");

using FORMROW = SAVEFORMROW;

FORMROW s_forms[] = {
    {ST_ULONG, -1, {"ULONG", 4, 0, kUlong, 1, 0}},
    {ST_NONE, -1, {"bytes", 1, 0, kByte, 1, 0}},
    {ST_VOID, 1, {"pointer variable", sizeof(void*), 0, kHead, 1, 0}},
    {ST_VOID, 0, {"string", 1, 0, kByte, 1, 0}},
    {ST_DISPLAYELEMENT, 0, FORM("DISPLAYELEMENT", DISPLAYELEMENT, kDisplay, 0)},
    {ST_OVERLAY, 0, FORM("OVERLAY", OVERLAY, kOverlay, 0)},
    {ST_ANIMITERATOR, -1, FORM("ANIMITERATOR", ANIMITERATOR, kAnimIter, 0)},
    {ST_BYTEMAP, 0, FORM("BYTEMAP", BYTEMAP, kBytemap, 0)},
    {ST_MAP_ELEMENT, 1, FORM("MAP_ELEMENT", MAP_ELEMENT, kMapElement, 0)},
    {ST_REGION, 1, FORM("REGION", REGION, kRegion, 0)},
    {ST_MAPGRID, 1, FORM("MAPGRID cell", MAPGRID_CELL, kGridCell, 0)},
    {ST_MAPGRID, 0, {"MAPGRID array", sizeof(void*), 0, kGridItems, 1, 0}},
    {ST_SPRITE, 1, FORM("SPRITE", SPRITE, kSprite, 1)},
    {ST_EFFECTTYPE, 1, FORM("EFFECTTYPE", EFFECTTYPE, kEffectType, 1)},
    {ST_ANIMTYPE, 1, FORM("ANIMTYPE", ANIMTYPE, kAnimType, 1)},
    {ST_ANIMFRAME, 1, FORM("ANIMFRAME", ANIMFRAME, kAnimFrame, 1)},
    {ST_OVERLAYTYPE, 1, FORM("OVERLAYTYPE", OVERLAYTYPE, kOverlayType, 1)},
    {ST_SHELLINFO, 1, FORM("SHELLINFO", SHELLINFO, kShellInfo, 0)},
};
const int kForms = (int)(sizeof s_forms / sizeof s_forms[0]);

// The stored sizes follow from the fields.
uint32_t storedOf(const SAVEFIELD* fields, int n)
{
    uint32_t sum = 0;
    for (int i = 0; i < n; i++) sum += SaveField_Stored(&fields[i]);
    return sum;
}

struct StoredSizes {
    StoredSizes()
    {
        for (FORMROW& r : s_forms) r.form.stored = storedOf(r.form.fields, r.form.nfields);
        for (FORMROW* r = g_SaveUnitForms; r->type >= 0; r++) r->form.stored = storedOf(r->form.fields, r->form.nfields);
    }
} s_storedSizes;

// Every field of a load and a save passes here: the usual widths are
// copied as words rather than as a copy of a variable length.
uint64_t readMem(const uint8_t* p, int size)
{
    uint16_t v2;
    uint32_t v4;
    uint64_t v = 0;
    switch (size) {
    case 1: return *p;
    case 2: memcpy(&v2, p, 2); return v2;
    case 4: memcpy(&v4, p, 4); return v4;
    case 8: memcpy(&v, p, 8); return v;
    default: memcpy(&v, p, (size_t)size); return v;  // little-endian host
    }
}

void writeMem(uint8_t* p, uint64_t v, int size)
{
    const uint16_t v2 = (uint16_t)v;
    const uint32_t v4 = (uint32_t)v;
    switch (size) {
    case 1: *p = (uint8_t)v; break;
    case 2: memcpy(p, &v2, 2); break;
    case 4: memcpy(p, &v4, 4); break;
    default: memcpy(p, &v, (size_t)size); break;
    }
}

// Bytes whose every value is in range (a byte map's bits, a text) are
// copied whole.
bool anyByte(const SAVEFIELD& f)
{
    return (f.kind == SF_UINT || f.kind == SF_TEXT) && f.stored == 1 && f.memsize == 1 && f.min <= 0 && f.max >= 255;
}

int unitFormCount(void)
{
    int n = 0;
    while (g_SaveUnitForms[n].type >= 0) n++;
    return n;
}

const FORMROW* rowAt(int i)
{
    if (i < 0) return nullptr;
    if (i < kForms) return &s_forms[i];
    return i - kForms < unitFormCount() ? &g_SaveUnitForms[i - kForms] : nullptr;
}

int selectorWidth(const SAVEFIELD& f) { return f.stored ? f.stored : 4; }

const SAVECASE* caseOf(const SAVEFIELD& f, int32_t value)
{
    for (int c = 0; c < f.ncases; c++)
        if (f.cases[c].value == value) return &f.cases[c];
    return nullptr;
}

// 1 when a number field's value in memory is one a load takes.
bool inRange(const SAVEFIELD& f, uint64_t v)
{
    if (f.kind == SF_INT) {
        const int64_t sv = (int64_t)(v << (64 - 8 * f.memsize)) >> (64 - 8 * f.memsize);
        return sv >= f.min && sv <= f.max;
    }
    return (int64_t)v >= f.min && (int64_t)v <= f.max;
}

void encodeFields(const SAVEFIELD* fields, int n, const uint8_t* rec, uint8_t*& out, const char** bad)
{
    for (int i = 0; i < n; i++) {
        const SAVEFIELD& f = fields[i];
        if (f.kind == SF_VARIANT) {
            const uint8_t* sub = rec + f.offset;
            const SAVECASE* c = caseOf(f, (int32_t)readMem(sub + f.selector, selectorWidth(f)));
            if (!c) c = &f.cases[0];
            uint8_t* end = out + SaveField_Stored(&f);
            for (int b = 0; b < 4; b++) *out++ = (uint8_t)((uint32_t)c->value >> (8 * b));
            encodeFields(c->fields, c->nfields, sub, out, bad);
            while (out < end) *out++ = 0;
            continue;
        }
        if (f.kind == SF_TEXT) {
            const uint8_t* text = rec + f.offset;
            int k = 0;
            for (; k < f.count && text[k]; k++) *out++ = text[k];
            for (; k < f.count; k++) *out++ = 0;
            continue;
        }
        for (int k = 0; k < f.count; k++) {
            uint64_t v = readMem(rec + f.offset + (size_t)k * f.memsize, f.memsize);
            // An unconverted pointer field is no id: written as null.
            if (f.kind == SF_PTR || f.kind == SF_WEAK) v = SaveSlot_IsId(v) ? (uint32_t)v : SAVEID_NULL;
            else if (bad && !*bad && !anyByte(f) && !inRange(f, v)) *bad = f.name;
            for (int b = 0; b < f.stored; b++) *out++ = (uint8_t)(v >> (8 * b));
        }
    }
}

int decodeFields(const SAVEFIELD* fields, int n, const uint8_t*& in, uint8_t* rec, const char** bad)
{
    for (int i = 0; i < n; i++) {
        const SAVEFIELD& f = fields[i];
        if (f.kind == SF_VARIANT) {
            const uint8_t* end = in + SaveField_Stored(&f);
            int32_t value = (int32_t)(in[0] | in[1] << 8 | in[2] << 16 | (uint32_t)in[3] << 24);
            in += 4;
            const SAVECASE* c = caseOf(f, value);
            if (!c) return *bad = f.name, 0;
            uint8_t* sub = rec + f.offset;
            memset(sub, 0, f.memsize);
            memcpy(sub + f.selector, &value, (size_t)selectorWidth(f));
            if (!decodeFields(c->fields, c->nfields, in, sub, bad)) return 0;
            for (; in < end; in++)
                if (*in) return *bad = f.name, 0;
            continue;
        }
        if (anyByte(f)) {
            memcpy(rec + f.offset, in, f.count);
            in += f.count;
            continue;
        }
        for (int k = 0; k < f.count; k++) {
            uint64_t v = readMem(in, f.stored);
            in += f.stored;
            if (f.kind == SF_PTR || f.kind == SF_WEAK) {
                v = SaveSlot_FromId((uint32_t)v);
            } else if (f.kind == SF_INT) {
                int64_t s = (int64_t)(v << (64 - 8 * f.stored)) >> (64 - 8 * f.stored);
                if (s < f.min || s > f.max) return *bad = f.name, 0;
                v = (uint64_t)s;
            } else if ((int64_t)v < f.min || (int64_t)v > f.max) {
                return *bad = f.name, 0;
            }
            writeMem(rec + f.offset + (size_t)k * f.memsize, v, f.memsize);
        }
    }
    return 1;
}

// Calls fn(field, slot, target type) for every pointer slot of a record:
// a variant's by the case its selector names (an unknown case is stored as
// the default, which has no pointer); a field aimed at ST_VOID takes target.
template <class Fn> void walkPointers(const SAVEFIELD* fields, int n, uint8_t* rec, int target, Fn&& fn)
{
    for (int i = 0; i < n; i++) {
        const SAVEFIELD& f = fields[i];
        if (f.kind == SF_VARIANT) {
            uint8_t* sub = rec + f.offset;
            if (const SAVECASE* c = caseOf(f, (int32_t)readMem(sub + f.selector, selectorWidth(f))))
                walkPointers(c->fields, c->nfields, sub, target, fn);
            continue;
        }
        if (f.kind != SF_PTR && f.kind != SF_WEAK) continue;
        for (int k = 0; k < f.count; k++) fn(f, rec + f.offset + (size_t)k * f.memsize, f.target == ST_VOID ? target : f.target);
    }
}

void registerFields(const SAVEFIELD* fields, int n, uint8_t* rec, int target)
{
    walkPointers(fields, n, rec, target, [](const SAVEFIELD& f, uint8_t* slot, int type) {
        const void* p = (const void*)(uintptr_t)readMem(slot, f.memsize);
        if (f.kind == SF_WEAK) {
            int32_t id = (int32_t)readMem(slot + sizeof(void*), 4);
            // Only a live address can be followed to its id.
            int valid = !(g_SaveFlags & SAVEF_LIVE) || SaveField_WeakValid(f.target, p, id);
            Save_RegisterWeakPointer(slot, p, valid, f.target, f.name);
        } else {
            Save_RegisterPointer(slot, p, type, f.name);
        }
    });
}

} // namespace

uint32_t SaveField_Stored(const SAVEFIELD* f)
{
    if (f->kind != SF_VARIANT) return (uint32_t)f->stored * f->count;
    uint32_t widest = 0;
    for (int c = 0; c < f->ncases; c++) {
        uint32_t w = storedOf(f->cases[c].fields, f->cases[c].nfields);
        if (w > widest) widest = w;
    }
    return 4 + widest;
}

// Every block of a load and a save looks its form up: the first row that
// serves each type and section, found once.
const SAVEFORM* SaveForm_Get(int type, int global)
{
    static const SAVEFORM* s_first[SAVE_TYPE_COUNT][2];
    static bool s_ready = false;
    if (!s_ready) {
        for (int i = 0; const FORMROW* r = rowAt(i); i++)
            for (int g = 0; g < 2; g++)
                if (r->type >= 0 && r->type < SAVE_TYPE_COUNT && (r->global < 0 || r->global == g) &&
                    !s_first[r->type][g])
                    s_first[r->type][g] = &r->form;
        s_ready = true;
    }
    if (type < 0 || type >= SAVE_TYPE_COUNT) return nullptr;
    return s_first[type][global ? 1 : 0];
}

int SaveForm_Count(void) { return kForms + unitFormCount(); }

const SAVEFORM* SaveForm_At(int i, int* type, int* global)
{
    const FORMROW* r = rowAt(i);
    if (!r) return nullptr;
    *type = r->type;
    *global = r->global;
    return &r->form;
}

long SaveForm_StoredSize(int type, int global, uint32_t memsize)
{
    const SAVEFORM* f = SaveForm_Get(type, global);
    if (!f || memsize % f->memsize) return -1;
    return (long)(memsize / f->memsize) * f->stored;
}

int SaveForm_Encode(const SAVEFORM* form, const void* data, uint32_t memsize, uint8_t* out, const char** bad)
{
    const uint8_t* rec = (const uint8_t*)data;
    const uint32_t records = memsize / form->memsize;
    if (bad) *bad = nullptr;
    for (uint32_t r = 0; r < records; r++, rec += form->memsize)
        encodeFields(form->fields, form->nfields, rec, out, bad);
    return !bad || !*bad;
}

int SaveForm_Decode(const SAVEFORM* form, const uint8_t* in, void* data, uint32_t memsize, const char** bad)
{
    uint8_t* rec = (uint8_t*)data;
    const uint32_t records = memsize / form->memsize;
    // A block of plain bytes (a text, a byte array) is its stored bytes.
    if (form->nfields == 1 && form->fields[0].offset == 0 && form->fields[0].count == 1 &&
        form->memsize == 1 && anyByte(form->fields[0])) {
        memcpy(rec, in, records);
        return 1;
    }
    for (uint32_t r = 0; r < records; r++, rec += form->memsize) {
        if (!decodeFields(form->fields, form->nfields, in, rec, bad)) return 0;
        if (form->fields == kShellInfo && !ShellInfoHolds((const SHELLINFO*)rec, bad)) return 0;
    }
    return 1;
}

void SaveForm_RegisterPointers(const SAVEFORM* form, void* data, uint32_t memsize, int target)
{
    // A listing keeps no pointer: the walk of the fields would find nothing.
    if (g_SaveFlags & SAVEF_LISTONLY) return;
    uint8_t* rec = (uint8_t*)data;
    const uint32_t records = memsize / form->memsize;
    for (uint32_t r = 0; r < records; r++, rec += form->memsize)
        registerFields(form->fields, form->nfields, rec, target);
}

const char* SaveForm_CheckIds(const SAVEFORM* form, void* data, uint32_t memsize, int target,
                              const char* (*check)(void* ctx, uint32_t id, int target, const char* desc), void* ctx)
{
    const char* why = nullptr;
    uint8_t* rec = (uint8_t*)data;
    const uint32_t records = memsize / form->memsize;
    for (uint32_t r = 0; r < records && !why; r++, rec += form->memsize)
        walkPointers(form->fields, form->nfields, rec, target, [&](const SAVEFIELD& f, uint8_t* slot, int type) {
            if (!why) why = check(ctx, (uint32_t)readMem(slot, f.memsize), type, f.name);
        });
    return why;
}

std::string SaveForm_Describe(void)
{
    static const char* const kKinds[] = {"u", "i", "id", "weak id", "text", "variant"};
    std::string out = "| type | block | record fields (stored bytes) |\n| --- | --- | --- |\n";
    for (int ri = 0; const FORMROW* row = rowAt(ri); ri++) {
        const FORMROW& r = *row;
        char line[160];
        const char* kind = r.global < 0 ? "any" : r.global ? (r.form.naming ? "static" : "global") : "local";
        snprintf(line, sizeof line, "| %s (%d) | %s, %s, %u bytes | ", Save_TypeName(r.type), r.type, r.form.name,
                 kind, r.form.stored);
        out += line;
        for (int i = 0; i < r.form.nfields; i++) {
            const SAVEFIELD& f = r.form.fields[i];
            if (f.kind == SF_VARIANT)
                snprintf(line, sizeof line, "%s%s variant(%u cases, %u bytes)", i ? ", " : "", f.name, f.ncases,
                         SaveField_Stored(&f));
            else if (f.count > 1)
                snprintf(line, sizeof line, "%s%s %s%d[%u]", i ? ", " : "", f.name, kKinds[f.kind], 8 * f.stored,
                         f.count);
            else
                snprintf(line, sizeof line, "%s%s %s%d", i ? ", " : "", f.name, kKinds[f.kind], 8 * f.stored);
            out += line;
        }
        out += " |\n";
    }
    return out;
}
