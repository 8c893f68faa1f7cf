// The shell's resource library: every picture, palette, font and scroll-bar
// strip of the front end, in one index file and one data file, both mapped
// read-only while the shell runs.
//
// A resource is an LZSS stream that unpacks to a chunk container: {tag, size}
// followed by sub-chunks {tag, size, data}. Lookups and unpacking work on the
// mapped views; only the unpacked resource is allocated.
//
// Any bytes may be in either file. Every size is checked against the bytes it
// claims (the entry count against the index, each stream against the data
// file, the container and each sub-chunk against the bytes unpacked, a palette
// and a picture against their chunk); a size that doesn't fit makes the
// resource missing, so nothing is read outside a mapping or a buffer.
#pragma once

#include <cstddef>
#include <cstdint>

// FourCC tags, first character in the high byte.
enum SHELLRES_TAGS : uint32_t {
    SHELLRES_FLT = 0x2E464C54,  // ".FLT": every resource the shell asks for
    SHELLRES_RGB3 = 0x52474233, // 256 palette entries of red, green, blue
    SHELLRES_PIXL = 0x5049584C, // u32 unused, u16 width, u16 height, the pixels
};

enum {
    SHELLRES_INDEX_HEADER = 12,  // 8 unread bytes and the u32 entry count
    SHELLRES_ENTRY_SIZE = 32,
    SHELLRES_NAME_SIZE = 12,     // NUL-terminated, at most 11 characters
    SHELLRES_PALETTE_SIZE = 768,
    SHELLRES_DIR_FLAG = 16,      // directory attribute of Shell_ForEachFile
};

// A read-only file mapping; view null means not mapped.
struct SHELLFILEMAP {
    int file;            // descriptor, -1 when closed
    const uint8_t* view; // the whole file
    size_t size;
};

// An index entry, read from the index field by field.
struct SHELLRESENTRY {
    char name[SHELLRES_NAME_SIZE];
    uint32_t type;
    uint32_t offset;       // of the packed stream in the data file
    uint32_t packedSize;
    uint32_t unpackedSize;
};

// Maps the index at the game path indexPath and the data file (the same path
// with its last character 'd'), each whole; a file that can't be opened or
// mapped stays unmapped, silently. Unmaps a library mapped before.
void Shell_MapResourceLibrary(const char* indexPath);
// Unmaps and closes both files.
void Shell_UnmapResourceLibrary(void);
// 1 when both files of the library are mapped.
int Shell_ResourceLibraryMapped(void);

// The first entry in index order with this type and exactly this name (case
// counts); 0 when the index isn't mapped, its entry count doesn't fit in it,
// or nothing matches. entry may be null.
int Shell_FindResourceEntry(const char* name, uint32_t type, SHELLRESENTRY* entry);
// Unpacks the resource into destination (capacity at least the entry's
// unpacked size) or, when destination is null, into a new Debug_Malloc block
// the caller frees. Null (nothing allocated) when the entry is missing, its
// stream lies outside the data file, its unpacked size is more than its
// stream can give, or the unpacked container's size is below 8 or beyond the
// bytes unpacked.
void* Shell_LoadResource(const char* name, uint32_t type, void* destination);
// Unpacks packedSize bytes of source into destination, writing at most
// capacity bytes; stops at the end of the input, at a reference before the
// output's start or cut off by the input's end, and at capacity. Returns the
// bytes written.
size_t Shell_Unpack(const uint8_t* source, size_t packedSize, uint8_t* destination,
                    size_t capacity);
// The first sub-chunk of container with tag (pointing at its 8-byte header),
// within the container's size; the walk ends at a sub-chunk whose size is
// below 8 or runs past the container. An "RGB3" chunk without its 768 bytes
// or a "PIXL" chunk without its header and width x height pixels is not
// found. Null for a null container.
const uint8_t* Shell_FindChunk(const void* container, uint32_t tag);

// Maps the file at the game path read-only into record (closed first when
// mapped); 1 on success, 0 with record unmapped.
int Shell_MapFile(SHELLFILEMAP* record, const char* path);
// Unmaps and closes record's file; an unmapped record is nothing to do.
void Shell_UnmapFile(SHELLFILEMAP* record);

// callback(name, parameter, flag) for each entry of the pattern's directory
// (game path, a wildcard pattern after the last separator) whose name
// matches, '*' and '?' compared case-blind and "*.*" also taking names
// without a dot; in name order; flag SHELLRES_DIR_FLAG for a directory, else
// 0. When nothing matches (or the directory can't be read) calls it once with
// "INVALID DIRECTORY" and SHELLRES_DIR_FLAG, which the file lists never show
// as a file.
void Shell_ForEachFile(void (*callback)(const char* name, void* parameter, int flag),
                       const char* pattern, void* parameter);
