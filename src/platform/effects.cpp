// Effects tables, the texture defaults and the overlay-effect grids.
//
// The tables are one fixed array (at most 16 ever exist, and the save step
// walks them by index); the grids are a list because the rule files may add
// any number.
#include "platform/effects.h"

#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/savetype.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/debug.h"
#include "core/gll.h"
#include "core/guard.h"
#include "core/tlog.h"

static MODULE_GUARD s_guard = MODULE_GUARD_INIT("Effects");
static EFFECTTYPE s_tables[EFFECTS_MAX_TABLES];
static int s_ntables = 0;
static uint16_t s_texdefault[EFFECTS_TEXTURE_ROWS][EFFECTS_COLUMNS][2];
static GLL* s_ovleffects = nullptr;

static void CopyName(char* dst, const char* name)
{
    snprintf(dst, EFFECTS_NAME, "%s", name ? name : "");
}

void Effects_Init(void)
{
    Guard_Init(&s_guard);
    memset(s_tables, 0, sizeof(s_tables));
    s_ntables = 0;
    memset(s_texdefault, 0, sizeof(s_texdefault));
    s_ovleffects = GLL_Create();
}

static void FreeOvlEffect(void* element)
{
    OVLEFFECT* e = static_cast<OVLEFFECT*>(element);
    Debug_Free(&e->grid);
    Debug_Free(&e);
}

void Effects_Close(void)
{
    Guard_Close(&s_guard);
    GLL_Destroy(s_ovleffects, FreeOvlEffect);
    s_ovleffects = nullptr;
    s_ntables = 0;
}

void Effects_FreeTables(void)
{
    Guard_Require(&s_guard);
    memset(s_tables, 0, sizeof(s_tables));
    s_ntables = 0;
    memset(s_texdefault, 0, sizeof(s_texdefault));
}

void Effects_FreeOvlEffects(void)
{
    Guard_Require(&s_guard);
    GLL_Destroy(s_ovleffects, FreeOvlEffect);
    s_ovleffects = GLL_Create();
}

EFFECTTYPE* Effects_NewTable(const char* name, int value, int second)
{
    if (s_ntables >= EFFECTS_MAX_TABLES) {
        TLOG(TLOG_ERROR, "Too many effects tables: [%s] is beyond %d", name ? name : "",
             EFFECTS_MAX_TABLES);
        return nullptr;
    }
    EFFECTTYPE* t = &s_tables[s_ntables++];
    memset(t, 0, sizeof(*t));
    CopyName(t->name, name);
    for (auto& row : t->cell)
        for (auto& cell : row) {
            cell[0] = (uint8_t)value;
            cell[1] = (uint8_t)second;
        }
    t->min = 255;
    t->max = 0;
    return t;
}

int Effects_SetEffect(EFFECTTYPE* table, int row, int column, int value, int second)
{
    if (!table || row < 0 || row >= EFFECTS_ROWS || column < -1 || column >= EFFECTS_COLUMNS)
        return 0;
    int first = column < 0 ? 0 : column;
    int last = column < 0 ? EFFECTS_COLUMNS - 1 : column;
    for (int c = first; c <= last; c++) {
        table->cell[row][c][0] = (uint8_t)value;
        table->cell[row][c][1] = (uint8_t)second;
    }
    // min and max describe what the cells hold, so they take the stored byte.
    int stored = (uint8_t)value;
    if (stored < table->min) table->min = stored;
    if (stored > table->max) table->max = stored;
    return 1;
}

int Effects_SetTextureDefault(int row, int column, int value, int second)
{
    if (row < 0 || row >= EFFECTS_TEXTURE_ROWS || column < -1 || column >= EFFECTS_COLUMNS)
        return 0;
    int first = column < 0 ? 0 : column;
    int last = column < 0 ? EFFECTS_COLUMNS - 1 : column;
    for (int c = first; c <= last; c++) {
        s_texdefault[row][c][0] = (uint16_t)value;
        s_texdefault[row][c][1] = (uint16_t)second;
    }
    return 1;
}

int Effects_GetTextureDefault(int row, int column, int* value, int* second)
{
    int ok = row >= 0 && row < EFFECTS_TEXTURE_ROWS && column >= 0 && column < EFFECTS_COLUMNS;
    if (value) *value = ok ? s_texdefault[row][column][0] : 0;
    if (second) *second = ok ? s_texdefault[row][column][1] : 0;
    return ok;
}

EFFECTTYPE* Effects_FindTable(const char* name)
{
    if (!name) return nullptr;
    for (int i = 0; i < s_ntables; i++)
        if (strcasecmp(s_tables[i].name, name) == 0) return &s_tables[i];
    return nullptr;
}

int Effects_NrTables(void) { return s_ntables; }

EFFECTTYPE* Effects_GetTable(int index)
{
    return index >= 0 && index < s_ntables ? &s_tables[index] : nullptr;
}

OVLEFFECT* Effects_AddOvlEffect(const char* name, int w, int h, const uint8_t* grid)
{
    Guard_Require(&s_guard);
    const char* shown = name ? name : "";
    if (!grid || w < 1 || h < 1 || w > EFFECTS_OVL_MAX_SIDE || h > EFFECTS_OVL_MAX_SIDE) {
        TLOG(TLOG_ERROR, "Overlay effect [%s]: a %d x %d grid is refused (1..%d a side)", shown, w,
             h, EFFECTS_OVL_MAX_SIDE);
        return nullptr;
    }
    char cut[EFFECTS_NAME];
    CopyName(cut, shown);
    if (Effects_FindType(cut)) {
        TLOG(TLOG_ERROR, "Overlay effect [%s] is defined twice", cut);
        return nullptr;
    }
    OVLEFFECT* e = static_cast<OVLEFFECT*>(Debug_Calloc(1, sizeof(OVLEFFECT)));
    memcpy(e->name, cut, sizeof(cut));
    e->width = (int16_t)w;
    e->height = (int16_t)h;
    size_t bytes = (size_t)w * h * 2;
    e->grid = static_cast<uint8_t*>(Debug_Malloc(bytes));
    memcpy(e->grid, grid, bytes);
    GLL_GoLast(s_ovleffects);
    GLL_InsertAfter(s_ovleffects, e);
    return e;
}

OVLEFFECT* Effects_FindType(const char* name)
{
    if (!name || !s_ovleffects) return nullptr;
    for (GLL_NODE* n = s_ovleffects->first; n; n = n->next) {
        OVLEFFECT* e = static_cast<OVLEFFECT*>(n->element);
        if (strcasecmp(e->name, name) == 0) return e;
    }
    return nullptr;
}

uint8_t* Effects_OvlEntry(OVLEFFECT* effect, int x, int y)
{
    if (!effect || x < 0 || y < 0 || x >= effect->width || y >= effect->height) return nullptr;
    return effect->grid + ((size_t)y * effect->width + x) * 2;
}

GLL* Effects_OvlList(void) { return s_ovleffects; }

void Effects_SaveAll(void)
{
    for (int i = 0; i < s_ntables; i++) Save_RegisterBlock(SAVEK_STATIC, &s_tables[i], ST_EFFECTTYPE, sizeof s_tables[i]);
}
