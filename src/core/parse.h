// The script language of the AI plans and the string scripts.
//
// A script is a small C-like text that declares named values; loading it
// "runs" the declarations, and the game then reads the values back by name:
//
//   #include "common.aip"
//   #define BUDGET 500
//   struct account { string account_name; int budget; int max_reserve; };
//   account unit_construction_program[] = { { "base", BUDGET, 100 } };
//   double max_matching_force_ratio = 1.5;
//
// Kinds are int (32-bit), float, double and string, struct types of members
// of those kinds, and arrays of any of them. A value is addressed by a name
// such as "x", "v.member", "arr[3]" or "arr[3].member". docs/formats.md
// gives the grammar.
//
// Loading never ends the program: a broken script is a failed load with the
// file and line logged on the error channel, and the script keeps exactly
// what it held before that load. Everything the text can make the loader
// allocate is bounded (file size, string length, array size, total values,
// include depth and count), so hostile files can't exhaust memory or loop.
#pragma once

#include <cstddef>

// Opaque: the declarations, values and include directories of one script.
struct PARSE_SCRIPT;

// Results of IParse_LoadScript.
enum PARSE_RESULT {
    PARSE_OK = 0,
    PARSE_ERROR = 1,   // a syntax or limit error, or a missing include
    PARSE_NOFILE = 10, // the script file itself could not be opened or read
};

// Kinds reported by the enumerators.
enum PARSE_KIND {
    PARSE_INT = 1,
    PARSE_FLOAT = 2,
    PARSE_DOUBLE = 3,
    PARSE_STRING = 4,
    PARSE_STRUCT = 5,
};

enum {
    PARSE_NAME = 64,            // identifiers: 63 characters and the terminator
    PARSE_STRINGMAX = 1024,     // string values: 1023 characters and the terminator
    PARSE_MAXARRAY = 65536,     // elements of one array
    PARSE_MAXMEMBERS = 64,      // members of one struct type
    PARSE_MAXINCLUDEDEPTH = 16, // files open at once: the script and nested includes
    PARSE_MAXINCLUDES = 256,    // #include lines processed by one load
    PARSE_SCALAR = -1,          // the count the enumerator reports for a non-array
};

// A new empty script, to be released with Parse_FreeData.
PARSE_SCRIPT* IParse_NewScript(void);
// Adds a directory searched by #include "name" after the including file's own
// directory, in the order added. Asserts the script; null or "" is ignored.
void Parse_AddIncludeDir(PARSE_SCRIPT* script, const char* directory);
// Reads and runs the declarations of a script file into script. PARSE_OK on
// success; PARSE_NOFILE when the file can't be opened or read; PARSE_ERROR on
// anything wrong in the text, logged as "Script error in file [%s] at line
// [%d]: %s". After a failure the script holds what it held before the call.
int IParse_LoadScript(const char* path, PARSE_SCRIPT* script);
// Frees the script record and everything in it; null is nothing to do.
void Parse_FreeData(PARSE_SCRIPT* script);

// The value at an address ("x", "v.m", "a[2]", "a[2].m") when it is of the
// getter's kind: status 0; otherwise status -1 and -1 (or -1.0). An int is
// not read as a float or the other way round. status may be null.
int Parse_GetInt(PARSE_SCRIPT* script, const char* name, int* status);
float Parse_GetFloat(PARSE_SCRIPT* script, const char* name, int* status);
double Parse_GetDouble(PARSE_SCRIPT* script, const char* name, int* status);
// Copies the string at an address into buffer, cut to size - 1 characters and
// always terminated (size 0 writes nothing); status 0, or -1 with "" when the
// address holds no string.
void Parse_GetString(PARSE_SCRIPT* script, const char* name, int* status, char* buffer,
                     size_t size);
// The element count of the array called name (0 for "{}"); status -1 and -1
// when name is no array.
int Parse_GetArraySize(PARSE_SCRIPT* script, const char* name, int* status);
// The forms the plan loader uses for array elements: the same as the getters
// above, kept under their own names for addresses built as "%s[%d].%s". An
// index outside the array gives status -1.
int Parse_GetIntPtr(PARSE_SCRIPT* script, const char* name, int* status);
float Parse_GetFloatPtr(PARSE_SCRIPT* script, const char* name, int* status);
void Parse_GetStringPtr(PARSE_SCRIPT* script, const char* name, int* status, char* buffer,
                        size_t size);

// Copies the value of #define name (a string's text, or a number as written)
// into buffer like Parse_GetString; status 0, or -1 with "" when undefined.
void Parse_GetDefine(PARSE_SCRIPT* script, const char* name, int* status, char* buffer,
                     size_t size);
// Calls fn for every #define in the order first defined, with its current
// value (a later #define of the same name replaces the value in place).
typedef void (*PARSE_DEFINEFN)(const char* name, const char* value, void* context);
void Parse_ForEachDefine(PARSE_SCRIPT* script, PARSE_DEFINEFN fn, void* context);
// Calls fn for every variable in declaration order: its kind (PARSE_KIND) and
// its element count, or PARSE_SCALAR for a single value.
typedef void (*PARSE_VARFN)(const char* name, int kind, int count, void* context);
void Parse_ForEachVariable(PARSE_SCRIPT* script, PARSE_VARFN fn, void* context);
// Calls fn for every member of the struct type of variable name, in order,
// with the member's kind; the member count, or -1 when name is no struct
// variable or array.
typedef void (*PARSE_MEMBERFN)(const char* member, int kind, void* context);
int Parse_ForEachMember(PARSE_SCRIPT* script, const char* name, PARSE_MEMBERFN fn, void* context);
