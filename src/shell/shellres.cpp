#include "shell/shellres.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/debug.h"
#include "core/fspath.h"

static SHELLFILEMAP s_index = {-1, nullptr, 0};
static SHELLFILEMAP s_data = {-1, nullptr, 0};

// A group of one flag byte and eight two-byte references gives 8 x 18 bytes
// from 17: no stream unpacks to more than 9 bytes a packed byte.
static const uint64_t MAX_EXPANSION = 9;

int Shell_MapFile(SHELLFILEMAP* record, const char* path)
{
    Shell_UnmapFile(record);
    std::string resolved = Fs_Resolve(path);
    int fd = open(resolved.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    struct stat st;
    // An empty file can't be mapped; nor can anything but a regular file.
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        close(fd);
        return 0;
    }
    void* view = mmap(nullptr, (size_t)st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (view == MAP_FAILED) {
        close(fd);
        return 0;
    }
    record->file = fd;
    record->view = (const uint8_t*)view;
    record->size = (size_t)st.st_size;
    return 1;
}

void Shell_UnmapFile(SHELLFILEMAP* record)
{
    if (record->view) munmap(const_cast<uint8_t*>(record->view), record->size);
    if (record->file >= 0) close(record->file);
    record->file = -1;
    record->view = nullptr;
    record->size = 0;
}

void Shell_MapResourceLibrary(const char* indexPath)
{
    Shell_UnmapResourceLibrary();
    Shell_MapFile(&s_index, indexPath);
    std::string dataPath = indexPath;
    if (!dataPath.empty()) {
        dataPath.back() = 'd';
        Shell_MapFile(&s_data, dataPath.c_str());
    }
}

void Shell_UnmapResourceLibrary(void)
{
    Shell_UnmapFile(&s_index);
    Shell_UnmapFile(&s_data);
}

int Shell_ResourceLibraryMapped(void) { return s_index.view && s_data.view; }

int Shell_FindResourceEntry(const char* name, uint32_t type, SHELLRESENTRY* entry)
{
    if (!s_index.view || s_index.size < SHELLRES_INDEX_HEADER || !name) return 0;
    uint64_t count = Bytes_U32(s_index.view + 8);
    if (count > (s_index.size - SHELLRES_INDEX_HEADER) / SHELLRES_ENTRY_SIZE) return 0;
    size_t nameLength = strlen(name);
    if (nameLength >= SHELLRES_NAME_SIZE) return 0;
    for (uint64_t i = 0; i < count; i++) {
        const uint8_t* e = s_index.view + SHELLRES_INDEX_HEADER + i * SHELLRES_ENTRY_SIZE;
        // Equal through the terminator: a stored name without one (12 bytes
        // of text) matches no name the shell can ask for.
        if (memcmp(e, name, nameLength + 1) != 0 || Bytes_U32(e + 12) != type) continue;
        if (entry) {
            memcpy(entry->name, e, SHELLRES_NAME_SIZE);
            entry->name[SHELLRES_NAME_SIZE - 1] = 0;
            entry->type = type;
            entry->offset = Bytes_U32(e + 20);
            entry->packedSize = Bytes_U32(e + 24);
            entry->unpackedSize = Bytes_U32(e + 28);
        }
        return 1;
    }
    return 0;
}

size_t Shell_Unpack(const uint8_t* source, size_t packedSize, uint8_t* destination,
                    size_t capacity)
{
    size_t in = 0, out = 0;
    unsigned flags = 1;
    while (in < packedSize && out < capacity) {
        if (flags == 1) flags = source[in++] | 0x100u;
        if (in >= packedSize) break; // a flag byte that ends the stream describes nothing
        if (flags & 1) {
            destination[out++] = source[in++];
        } else {
            if (packedSize - in < 2) break; // a reference cut off by the stream's end
            unsigned b0 = source[in], b1 = source[in + 1];
            in += 2;
            size_t length = (b1 >> 4) + 3;
            size_t distance = 4096 - (((b1 & 15u) << 8) | b0);
            if (distance > out) break; // nothing before the first output byte
            for (size_t k = 0; k < length && out < capacity; k++, out++)
                destination[out] = destination[out - distance];
        }
        flags >>= 1;
    }
    return out;
}

void* Shell_LoadResource(const char* name, uint32_t type, void* destination)
{
    SHELLRESENTRY entry;
    if (!Shell_FindResourceEntry(name, type, &entry) || !s_data.view) return nullptr;
    if ((uint64_t)entry.offset + entry.packedSize > s_data.size) return nullptr;
    if (entry.unpackedSize < 8 || entry.unpackedSize > entry.packedSize * MAX_EXPANSION)
        return nullptr;
    uint8_t* out = destination ? (uint8_t*)destination : (uint8_t*)Debug_Malloc(entry.unpackedSize);
    size_t written = Shell_Unpack(s_data.view + entry.offset, entry.packedSize, out,
                                  entry.unpackedSize);
    uint32_t containerSize = written >= 8 ? Bytes_U32(out + 4) : 0;
    if (containerSize < 8 || containerSize > written) {
        if (!destination) Debug_Free(&out);
        return nullptr;
    }
    return out;
}

// A known chunk holds what its readers take from it.
static int ChunkHoldsItsData(const uint8_t* chunk, uint32_t size)
{
    switch (Bytes_U32(chunk)) {
    case SHELLRES_RGB3: return size >= 8 + SHELLRES_PALETTE_SIZE;
    case SHELLRES_PIXL:
        return size >= 16 &&
               (uint64_t)Bytes_U16(chunk + 12) * Bytes_U16(chunk + 14) <= (uint64_t)size - 16;
    default: return 1;
    }
}

const uint8_t* Shell_FindChunk(const void* container, uint32_t tag)
{
    if (!container) return nullptr;
    const uint8_t* base = (const uint8_t*)container;
    uint32_t end = Bytes_U32(base + 4);
    uint32_t at = 8;
    while (end >= at && end - at >= 8) {
        const uint8_t* chunk = base + at;
        uint32_t size = Bytes_U32(chunk + 4);
        if (size < 8 || size > end - at) return nullptr;
        if (Bytes_U32(chunk) == tag) return ChunkHoldsItsData(chunk, size) ? chunk : nullptr;
        at += size;
    }
    return nullptr;
}

static int MatchFrom(const char* pattern, const char* name)
{
    for (;; pattern++, name++) {
        if (*pattern == '*') {
            for (const char* rest = name;; rest++) {
                if (MatchFrom(pattern + 1, rest)) return 1;
                if (!*rest) return 0;
            }
        }
        if (!*name) return !*pattern;
        if (*pattern == '?') continue;
        if (tolower((unsigned char)*pattern) != tolower((unsigned char)*name)) return 0;
    }
}

// Wildcards as the data's patterns mean them: a trailing ".*" also takes a
// name without an extension.
static int WildcardMatches(const std::string& pattern, const char* name)
{
    if (MatchFrom(pattern.c_str(), name)) return 1;
    size_t n = pattern.size();
    if (n >= 2 && pattern[n - 2] == '.' && pattern[n - 1] == '*' && !strchr(name, '.'))
        return MatchFrom(pattern.substr(0, n - 2).c_str(), name);
    return 0;
}

void Shell_ForEachFile(void (*callback)(const char* name, void* parameter, int flag),
                       const char* pattern, void* parameter)
{
    std::string full = pattern ? pattern : "";
    size_t slash = full.find_last_of("\\/");
    // A pattern right under the root keeps the root as its folder.
    const std::string dir = slash == std::string::npos ? std::string(".")
                            : slash == 0              ? std::string(1, '/')
                                                      : full.substr(0, slash);
    std::string wildcard = slash == std::string::npos ? full : full.substr(slash + 1);

    std::string resolved = Fs_Resolve(dir.c_str());
    std::vector<std::pair<std::string, int>> found;
    if (DIR* d = opendir(resolved.c_str())) {
        while (struct dirent* e = readdir(d)) {
            if (!WildcardMatches(wildcard, e->d_name)) continue;
            struct stat st;
            std::string path = resolved + "/" + e->d_name;
            int isDir = stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            found.emplace_back(e->d_name, isDir ? SHELLRES_DIR_FLAG : 0);
        }
        closedir(d);
    }
    // The directory's own order differs between file systems; lists show names sorted.
    std::sort(found.begin(), found.end());
    if (found.empty()) {
        callback("INVALID DIRECTORY", parameter, SHELLRES_DIR_FLAG);
        return;
    }
    for (const auto& f : found) callback(f.first.c_str(), parameter, f.second);
}
