// The singly linked cell list.
//
// A list of data pointers in cells, with a cached {index, cell} pair so that
// walking it with consecutive LinkList_GetAt calls costs one step per call.
// Every change to the list keeps the cache pointing at the cell it names, or
// drops it (LINKLIST_NOCACHE).
#pragma once

#include <cstdint>

enum { LINKLIST_NOCACHE = -999 };

struct LINKLIST_CELL {
    LINKLIST_CELL* next;
    void* data;
};

struct LINKLIST {
    int32_t cachedindex;       // index of cachedcell, or LINKLIST_NOCACHE
    LINKLIST_CELL* cachedcell;
    int32_t count;
    LINKLIST_CELL* head;
    LINKLIST_CELL* tail;
};

// Sets up an empty list in caller-owned storage.
void LinkList_Init(LINKLIST* list);
// A new empty list from the debug heap; never null.
LINKLIST* LinkList_New(void);
// Frees every cell (not the data); the list is empty afterwards.
void LinkList_Clear(LINKLIST* list);
// Clears a list from LinkList_New and frees it; null is nothing to do.
void LinkList_Delete(LINKLIST* list);
// Adds data at the front; returns the new cell.
LINKLIST_CELL* LinkList_AddHead(LINKLIST* list, void* data);
// Adds data at the end; returns the new cell.
LINKLIST_CELL* LinkList_AddTail(LINKLIST* list, void* data);
// Unlinks and frees the first cell holding data; nothing when data is absent.
void LinkList_Remove(LINKLIST* list, void* data);
// The data at index 0..count-1, null outside.
void* LinkList_GetAt(LINKLIST* list, int32_t index);
// 1 when a cell holds data, else 0.
int LinkList_Contains(const LINKLIST* list, const void* data);
