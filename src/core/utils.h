// Small helpers for texts and game paths.
//
// Game paths are written with backslashes (Fs_Resolve turns them into Linux
// paths when a file is opened) and live in buffers of UTILS_PATH bytes.
#pragma once

#include <cstddef>
#include <cstdint>

enum { UTILS_PATH = 260 };
// The AI-plan directory's folder of the files that only stored scenarios
// still read (Utils_FindSharedDataFile).
inline constexpr const char UTILS_RETIRED_DIR[] = "retired";

// Copies at most size-1 characters of src (null counts as "") and always
// terminates; size 0 writes nothing.
void Str_CopySafe(char* dst, const char* src, size_t size);
// strcmp without regard to the case of ASCII letters: the order and the
// matches of names and paths must not depend on the locale.
int Str_CompareNoCase(const char* a, const char* b);
// Leading blanks, an optional sign and the leading digits, as atoi reads
// them, clamped to the int range; 0 when there are no digits.
int Str_ToInt(const char* text);
// 1 with the value when text is a whole decimal integer that an int holds
// (blanks around it and a sign allowed); 0 for anything else, value unset.
int Str_ReadInt(const char* text, int* value);

// A sum taken wide, held at the nearest end of the int32 range: counts that
// are stored as 32-bit words stop there instead of wrapping.
inline int32_t Utils_Saturate32(int64_t v)
{
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : (int32_t)v;
}

// Joins the non-empty parts (each may be null) into out, which holds at least
// UTILS_PATH bytes and never gets more: dir1, dir2, dir3 and name with single
// '\' between them (no separator added where a part already ends, or the next
// one starts, with '\' or '/'; never two in a row), then the extension
// appended to the name (a missing leading '.' is added; no name, no extension).
// 1, or 0 with out empty when the path doesn't fit.
int Utils_MakePath(char* out, const char* dir1, const char* dir2, const char* dir3,
                   const char* name, const char* extension);

// Looks for a data file in the current scenario's folder (g_ScenarioDir),
// then as Utils_FindSharedDataFile does; 1 with out (UTILS_PATH bytes)
// holding the first path that exists, else 0 with out empty.
int Utils_FindDataFile(char* out, const char* name);
// Looks for a data file in the AI-plan directory (g_AipDir), then in its
// folder UTILS_RETIRED_DIR: files that stored scenarios name but that no new
// map is offered; as Utils_FindDataFile otherwise.
int Utils_FindSharedDataFile(char* out, const char* name);

// Removes everything below dir, depth first, then dir itself, never
// following a symbolic link (the link is removed, not what it points to).
// What can't be removed is logged as a warning, "Cannot remove file: %s" or
// "Cannot remove directory: %s", and the walk goes on. 1 when dir is gone
// afterwards (a dir that didn't exist counts), 0 otherwise. An empty path and
// the root directory are refused (0).
int Utils_DeleteTree(const char* dir);
