// The pointer-record pool and the word lists.
#include "save/saveptr.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/debug.h"
#include "core/error.h"
#include "core/fspath.h"
#include "core/tlog.h"
#include "save/save.h"
#include "save/savetype.h"

namespace {

struct PTRCHUNK {
    SAVEPOINTER records[SAVEPTR_CHUNK];
    PTRCHUNK* next;
};

struct PTRPOOL {
    PTRCHUNK *first, *last;
    uint32_t count, chunks;
    size_t bytes;
    PTRCHUNK* cur;
    uint32_t index, remaining;
};

PTRPOOL s_pool;

SAVEPOINTER* cursorRecord(void)
{
    if (!s_pool.remaining || !s_pool.cur) return nullptr;
    if (s_pool.index == SAVEPTR_CHUNK) {
        s_pool.cur = s_pool.cur->next;
        s_pool.index = 0;
        if (!s_pool.cur) return nullptr;
    }
    s_pool.remaining--;
    return &s_pool.cur->records[s_pool.index++];
}

void registerSlot(void* slot, const void* value, int type, const char* desc, uint32_t flags)
{
    if (g_SaveFlags & SAVEF_LISTONLY) return;
    uint64_t v = (uintptr_t)value;
    if ((g_SaveFlags & SAVEF_LIVE) && SaveSlot_IsId(v) && v != SAVE_SENTINEL)
        ERR_FATAL(ERRC_FATAL, "Strange pointer: %08X Type=%d(%s)", (unsigned)(uint32_t)v, type,
                  Save_TypeName(type));
    if (!slot) ERR_FATAL(ERRC_FATAL, "Null Pointer");
    SAVEPOINTER r{slot, v, (uint32_t)type, desc, flags};
    SavePtr_Add(&r);
}

} // namespace

void Save_RegisterPointer(void* slot, const void* value, int type, const char* desc)
{
    registerSlot(slot, value, type, desc, 0);
}

void Save_RegisterWeakPointer(void* slot, const void* value, int valid, int type, const char* desc)
{
    int stale = (g_SaveFlags & SAVEF_LIVE) && !valid;
    registerSlot(slot, value, type, desc, stale ? SAVEPTR_STALE : 0);
}

void SavePtr_Add(const SAVEPOINTER* record)
{
    if (s_pool.count % SAVEPTR_CHUNK == 0) {
        PTRCHUNK* c = (PTRCHUNK*)Debug_MallocFor(sizeof(PTRCHUNK), "save pointers");
        memset(c, 0xA5, sizeof(PTRCHUNK));
        c->next = nullptr;
        if (s_pool.last)
            s_pool.last->next = c;
        else
            s_pool.first = c;
        s_pool.last = c;
        s_pool.chunks++;
        s_pool.bytes += sizeof(PTRCHUNK);
    }
    s_pool.last->records[s_pool.count % SAVEPTR_CHUNK] = *record;
    s_pool.count++;
}

SAVEPOINTER* SavePtr_First(void)
{
    s_pool.cur = s_pool.first;
    s_pool.index = 0;
    s_pool.remaining = s_pool.count;
    return cursorRecord();
}

SAVEPOINTER* SavePtr_Next(void) { return cursorRecord(); }
uint32_t SavePtr_Count(void) { return s_pool.count; }

void SavePtr_Reset(void) { s_pool = PTRPOOL{}; }

void SavePtr_Close(void)
{
    while (PTRCHUNK* c = s_pool.first) {
        s_pool.first = c->next;
        Debug_Free(&c);
        s_pool.chunks--;
    }
    if (s_pool.chunks != 0)
        TLOG(TLOG_ERROR, "Node count not zero on shutdown (%d)", (int)s_pool.count);
    s_pool = PTRPOOL{};
}

void SavePtr_Stats(void)
{
    TLOG(TLOG_SAVE, "- Memory: Ptrs: %u (%u) %u", s_pool.count, s_pool.chunks,
         (unsigned)s_pool.bytes);
}

void WordList_ReadFile(const char* path, int* count, char** array, int max)
{
    *count = 0;
    FILE* f = Fs_Open(path, "r");
    if (!f) return;
    char word[128];
    while (*count < max) {
        int c, n = 0;
        while ((c = fgetc(f)) != EOF && isspace(c)) {
        }
        if (c == EOF) break;
        do {
            if (n < 127) word[n++] = (char)c;
        } while ((c = fgetc(f)) != EOF && !isspace(c));
        word[n] = '\0';
        array[(*count)++] = Debug_Strdup(word);
    }
    fclose(f);
}

void WordList_Free(int count, char** array)
{
    for (int i = 0; i < count; i++) {
        if (array[i]) Debug_Free(&array[i]);
    }
}
