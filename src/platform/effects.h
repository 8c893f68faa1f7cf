// Terrain effects tables and overlay-effect grids.
//
// An effects table says how each kind of ground treats a class of units:
// 18 rows of 8 cells, each a pair of bytes (the rule files put a speed
// percentage and a climb limit there). Rows 0..15 are the terrain texture
// rows, columns 0..7 their variations; rows 16 and 17 hold the 16 special
// effects that things and buildings put on tiles (effect n is cell
// (16 + n / 8, n % 8)). Each table also keeps the smallest and largest first
// value set through Effects_SetEffect (starting at 255 and 0: the value the
// table was made with doesn't count).
//
// The texture defaults are one table of their own, 16 texture rows x 8
// variations of 16-bit pairs (the rule files put the terrain's offense code
// and strength there); Effects_SetTextureDefault writes that table only.
//
// An overlay-effect grid is the footprint of a thing or building: w x h
// two-byte entries, row by row, the first byte the effect code the tile gets
// (EFFECTS_NOT_FOOTPRINT for a tile that is not part of the footprint).
// Grids are kept in one list in the order they were added; their entries may
// be written after they are added.
#pragma once

#include <cstdint>

struct GLL;

enum {
    EFFECTS_MAX_TABLES = 16,
    EFFECTS_ROWS = 18,
    EFFECTS_COLUMNS = 8,
    EFFECTS_TEXTURE_ROWS = 16,
    EFFECTS_SPECIAL_ROW = 16,      // first row of the special effects
    EFFECTS_NAME = 64,             // name field, 63 characters
    EFFECTS_NOT_FOOTPRINT = 31,    // grid code of a tile outside the footprint
    EFFECTS_OVL_MAX_SIDE = 64,     // largest grid width or height
};

struct EFFECTTYPE {
    char name[EFFECTS_NAME];
    uint8_t cell[EFFECTS_ROWS][EFFECTS_COLUMNS][2];   // {value, second}
    int32_t min;   // smallest first value set by Effects_SetEffect (255 before any)
    int32_t max;   // largest (0 before any)
};

struct OVLEFFECT {
    char name[EFFECTS_NAME];
    int16_t width;
    int16_t height;
    uint8_t* grid;   // width x height entries of 2 bytes, row by row
};

// Empties the tables, the texture defaults and the grid list; fatal
// "Effects already initialised" when it is.
void Effects_Init(void);
// Frees every grid; fatal "Effects not initialised" when it isn't.
void Effects_Close(void);
// Empties the tables and the texture defaults, keeping the grids: a terrain
// effects file read again replaces them rather than adding to them. Fatal
// "Effects not initialised" when it isn't.
void Effects_FreeTables(void);

// A new table named name (cut to 63 characters) with every cell
// {value, second}, min 255 and max 0; null (logged) when 16 tables exist.
EFFECTTYPE* Effects_NewTable(const char* name, int value, int second);
// Sets cell (row, column), or the whole row for column -1, to
// {value, second} (each cut to a byte) and widens min and max by value.
// 0 (nothing set) for a row outside 0..17 or a column outside -1..7.
int Effects_SetEffect(EFFECTTYPE* table, int row, int column, int value, int second);
// Sets the texture default (row, column), or all 8 of the row for column -1,
// to {value, second} (each cut to 16 bits). 0 (nothing set) for a row
// outside 0..15 or a column outside -1..7.
int Effects_SetTextureDefault(int row, int column, int value, int second);
// The texture default of (row, column) into value and second; 0 (both 0)
// outside the table.
int Effects_GetTextureDefault(int row, int column, int* value, int* second);
// The table of that name (case ignored), null when none.
EFFECTTYPE* Effects_FindTable(const char* name);
// The number of tables and the table at index 0 .. count - 1 (null outside).
int Effects_NrTables(void);
EFFECTTYPE* Effects_GetTable(int index);
// Registers every effects table in use as a static global EFFECTTYPE block.
void Effects_SaveAll(void);

// Adds a grid named name (cut to 63 characters) with a copy of w x h entries
// of 2 bytes from grid. Null (logged) for w or h outside
// 1..EFFECTS_OVL_MAX_SIDE, a null grid, or a name already in the list.
OVLEFFECT* Effects_AddOvlEffect(const char* name, int w, int h, const uint8_t* grid);
// Frees every grid, leaving the list empty (a failed overlay-effects file);
// the tables stay.
void Effects_FreeOvlEffects(void);
// The grid of that name (case ignored), null when none.
OVLEFFECT* Effects_FindType(const char* name);
// The entry at column x, row y of a grid (null outside it).
uint8_t* Effects_OvlEntry(OVLEFFECT* effect, int x, int y);
// The grid list (elements OVLEFFECT*), in the order of adding; null before
// Effects_Init.
GLL* Effects_OvlList(void);
