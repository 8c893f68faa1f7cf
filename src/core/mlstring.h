// Multi-language strings.
//
// Every text that a player reads is fetched by key, so that a translation is
// a different set of string scripts rather than a different program. The list
// "mlstring.cfg" (in the data directory) names the string scripts, each a
// script of lines '#define KEY "text"'; a later definition of a key replaces
// an earlier one. A key without text yields the default text and the key,
// "MLS DEFAULT [KEY]", so a missing translation shows on screen instead of
// an empty label.
//
// The fixed texts of the game screen are looked up once after loading and
// read through MLString_Display; those keys never show the default form but
// keep a built-in English text.
#pragma once

#include <cstddef>

enum {
    MLSTRING_DEFAULT_MAX = 63, // the default text is cut to this many characters
};

// The fixed texts of the game screen, one per key "MLS_DISP_..." (and the
// five others named after their keys).
enum MLS_DISPLAY_ID {
    MLSD_ADVANCED,     // MLS_DISP_ADVANCED: tab of the orders panel
    MLSD_BASIC,        // MLS_DISP_BASIC: tab of the orders panel
    MLSD_BEHAVIOURS,   // MLS_DISP_BEHAVIOURS
    MLSD_BUILDINGS,    // MLS_DISP_BUILDINGS
    MLSD_CHARGE,       // MLS_DISP_CHARGE: building state
    MLSD_CONST,        // MLS_DISP_CONST: building state
    MLSD_CREDIT,       // MLS_DISP_CREDIT: tooltip
    MLSD_CURRPATH,     // MLS_DISP_CURRPATH
    MLSD_DEMO,         // MLS_DISP_DEMO: building state
    MLSD_DISABLE,      // MLS_DISP_DISABLE: building state
    MLSD_FILES,        // MLS_DISP_FILES
    MLSD_FIRE,         // MLS_DISP_FIRE: tooltip
    MLSD_MOVE,         // MLS_DISP_MOVE: tooltip
    MLSD_NOUP,         // MLS_DISP_NOUP: tooltip
    MLSD_N_QUEUED,     // MLS_DISP_N_QUEUED: printf format, one integer
    MLSD_OPTIONS,      // MLS_DISP_OPTIONS
    MLSD_ORDERS,       // MLS_DISP_ORDERS
    MLSD_PACK,         // MLS_DISP_PACK: building state
    MLSD_PATHDIR,      // MLS_DISP_PATHDIR
    MLSD_PAUSED,       // MLS_DISP_PAUSED
    MLSD_PLAYERS,      // MLS_DISP_PLAYERS
    MLSD_POWER,        // MLS_DISP_POWER: tooltip
    MLSD_PWRDN,        // MLS_DISP_PWRDN: building state
    MLSD_PWROFF,       // MLS_DISP_PWROFF: building state
    MLSD_PWRUP,        // MLS_DISP_PWRUP: building state
    MLSD_REPAIR,       // MLS_DISP_REPAIR: tooltip
    MLSD_SAVEDPATHS,   // MLS_DISP_SAVEDPATHS
    MLSD_SELL,         // MLS_DISP_SELL: tooltip
    MLSD_SELUP,        // MLS_DISP_SELUP: tooltip
    MLSD_STOP,         // MLS_DISP_STOP: tooltip
    MLSD_UNITS,        // MLS_DISP_UNITS
    MLSD_UNPACK,       // MLS_DISP_UNPACK: building state
    MLSD_UPGRADE,      // MLS_DISP_UPGRADE: building state
    MLSD_UPGRADE_N,    // MLS_DISP_UPGRADE_N: printf format, one integer (the cost)
    MLSD_WATERSALE,    // MLS_DISP_WATERSALE: printf format, one integer (the charge)
    MLSD_NEWTRAIL,     // MLS_EVNT_NEWTRAIL: printf format, one integer (the counter)
    MLSD_NOTRAIL,      // MLS_EVNT_NOTRAIL
    MLSD_SAVE_OUTDATE, // MLS_IGI_SAVE_OUTDATE
    MLSD_ORD_NOW,      // MLS_ORD_NOW
    MLSD_ORDER_NOT,    // MLS_ORDER_NOT
    MLSD_COUNT
};

// Reads the list file at path and every string script it names (relative
// to the list's own directory), replacing what was loaded before. Returns
// the number of keys held and logs it (diagnostics: "Loaded %d
// multi-language strings from [%s]"); -1, with a warning and nothing
// loaded, when the list can't be opened. A script that can't be read is
// logged and skipped. The display texts are looked up afterwards.
int MLString_Load(const char* path);
// Forgets the strings; MLString_Get answers "MLS ERROR" again and the
// display texts return to their built-in defaults.
void MLString_Unload(void);
// 1 with the text of key in buffer (cut to size - 1, terminated). A missing
// key writes "%s [%s]" (the default text and the key, cut to fit) and
// returns 0, logging the warning "No conversion for [%s]" when logmissing is
// set; before loading it writes "MLS ERROR" and returns 0. Size 0 writes
// nothing; a null key counts as "".
int MLString_Get(const char* key, char* buffer, size_t size, int logmissing);
// As MLString_Get, but a missing key (or no strings) writes defaulttext
// instead and logs the warning '#define %s "%s"' (key, defaulttext): a line
// ready to paste into a string script.
int MLString_GetOrDefine(const char* key, const char* defaulttext, char* buffer, size_t size);
// Sets the default text of missing keys (cut to 63 characters); null
// restores "MLS DEFAULT".
void MLString_SetDefault(const char* text);
// The text of a fixed display key: the loaded text, or the built-in one when
// the key has none (or, for the printf formats, when the loaded text takes
// other arguments than one integer). Never null; asserts the id.
const char* MLString_Display(int id);
// The key of a display id ("MLS_DISP_SELL"); asserts the id.
const char* MLString_DisplayKey(int id);
