// The singly linked cell list.
//
// The cache exists for loops of the form "for i in 0..count-1: GetAt(i)":
// each call starts from the cached cell when the index is at or past it.
// Removing or inserting in front of the cached cell shifts its index, so
// those paths adjust the cache instead of leaving it one off.
#include "core/linklist.h"

#include "core/debug.h"

static void ll_DropCache(LINKLIST* list)
{
    list->cachedindex = LINKLIST_NOCACHE;
    list->cachedcell = nullptr;
}

void LinkList_Init(LINKLIST* list)
{
    ASSERT(list);
    list->count = 0;
    list->head = nullptr;
    list->tail = nullptr;
    ll_DropCache(list);
}

LINKLIST* LinkList_New(void)
{
    LINKLIST* list = (LINKLIST*)Debug_Malloc(sizeof(LINKLIST));
    LinkList_Init(list);
    return list;
}

void LinkList_Clear(LINKLIST* list)
{
    ASSERT(list);
    LINKLIST_CELL* cell = list->head;
    while (cell) {
        LINKLIST_CELL* next = cell->next;
        Debug_Free(&cell);
        cell = next;
    }
    LinkList_Init(list);
}

void LinkList_Delete(LINKLIST* list)
{
    if (!list) return;
    LinkList_Clear(list);
    Debug_Free(&list);
}

static LINKLIST_CELL* ll_NewCell(void* data)
{
    LINKLIST_CELL* cell = (LINKLIST_CELL*)Debug_Malloc(sizeof(LINKLIST_CELL));
    cell->next = nullptr;
    cell->data = data;
    return cell;
}

LINKLIST_CELL* LinkList_AddHead(LINKLIST* list, void* data)
{
    ASSERT(list);
    LINKLIST_CELL* cell = ll_NewCell(data);
    cell->next = list->head;
    list->head = cell;
    if (!list->tail) list->tail = cell;
    list->count++;
    if (list->cachedindex != LINKLIST_NOCACHE) list->cachedindex++;
    return cell;
}

LINKLIST_CELL* LinkList_AddTail(LINKLIST* list, void* data)
{
    ASSERT(list);
    LINKLIST_CELL* cell = ll_NewCell(data);
    if (list->tail) list->tail->next = cell;
    else list->head = cell;
    list->tail = cell;
    list->count++;
    return cell;
}

void LinkList_Remove(LINKLIST* list, void* data)
{
    ASSERT(list);
    LINKLIST_CELL* prev = nullptr;
    LINKLIST_CELL* cell = list->head;
    int32_t index = 0;
    while (cell && cell->data != data) {
        prev = cell;
        cell = cell->next;
        index++;
    }
    if (!cell) return;

    if (prev) prev->next = cell->next;
    else list->head = cell->next;
    if (list->tail == cell) list->tail = prev;
    list->count--;

    if (list->cachedcell == cell) {
        ll_DropCache(list);
    } else if (list->cachedindex != LINKLIST_NOCACHE && list->cachedindex > index) {
        list->cachedindex--;
    }
    Debug_Free(&cell);
}

void* LinkList_GetAt(LINKLIST* list, int32_t index)
{
    ASSERT(list);
    if (index < 0 || index >= list->count) return nullptr;

    LINKLIST_CELL* cell;
    int32_t at;
    if (index == list->count - 1) {
        cell = list->tail;
        at = index;
    } else if (list->cachedindex != LINKLIST_NOCACHE && list->cachedindex <= index) {
        cell = list->cachedcell;
        at = list->cachedindex;
    } else {
        cell = list->head;
        at = 0;
    }
    while (at < index) {
        cell = cell->next;
        at++;
    }
    list->cachedindex = index;
    list->cachedcell = cell;
    return cell->data;
}

int LinkList_Contains(const LINKLIST* list, const void* data)
{
    ASSERT(list);
    for (const LINKLIST_CELL* cell = list->head; cell; cell = cell->next)
        if (cell->data == data) return 1;
    return 0;
}
