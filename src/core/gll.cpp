// The generic list with a cursor.
//
// Invariants kept by every function: count is the number of nodes; curr is
// null exactly when pos is 0; otherwise curr is the pos-th node (1-based).
// Nodes come from the debug heap so that a leaked list shows up in the
// per-file statistics.
#include "core/gll.h"

#include "core/debug.h"

static GLL_NODE* gll_NewNode(void* element)
{
    GLL_NODE* node = (GLL_NODE*)Debug_Malloc(sizeof(GLL_NODE));
    node->next = nullptr;
    node->prev = nullptr;
    node->element = element;
    return node;
}

// Links node in before next (null next: at the end).
static void gll_LinkBefore(GLL* list, GLL_NODE* node, GLL_NODE* next)
{
    GLL_NODE* prev = next ? next->prev : list->last;
    node->prev = prev;
    node->next = next;
    if (prev) prev->next = node;
    else list->first = node;
    if (next) next->prev = node;
    else list->last = node;
    list->count++;
}

GLL* GLL_Create(void)
{
    GLL* list = (GLL*)Debug_Malloc(sizeof(GLL));
    list->first = nullptr;
    list->curr = nullptr;
    list->last = nullptr;
    list->count = 0;
    list->pos = 0;
    return list;
}

void GLL_Destroy(GLL* list, GLL_FREEFN fn)
{
    if (!list) return;
    GLL_NODE* node = list->first;
    while (node) {
        GLL_NODE* next = node->next;
        if (fn == GLL_FREE_ELEMENTS) Debug_Free(&node->element);
        else if (fn) fn(node->element);
        Debug_Free(&node);
        node = next;
    }
    Debug_Free(&list);
}

void GLL_InsertAfter(GLL* list, void* element)
{
    ASSERT(list);
    GLL_NODE* node = gll_NewNode(element);
    if (list->count == 0) {
        gll_LinkBefore(list, node, nullptr);
        list->pos = 1;
    } else if (!list->curr) {
        gll_LinkBefore(list, node, nullptr);
        list->pos = list->count;
    } else {
        gll_LinkBefore(list, node, list->curr->next);
        list->pos++;
    }
    list->curr = node;
}

void GLL_InsertBefore(GLL* list, void* element)
{
    ASSERT(list);
    GLL_NODE* node = gll_NewNode(element);
    if (!list->curr) {
        gll_LinkBefore(list, node, list->first);
        list->pos = 1;
    } else {
        // The new node takes over the cursor's position; pos is unchanged.
        gll_LinkBefore(list, node, list->curr);
    }
    list->curr = node;
}

static void* gll_Element(GLL* list)
{
    return list->curr ? list->curr->element : nullptr;
}

void* GLL_GoFirst(GLL* list)
{
    ASSERT(list);
    list->curr = list->first;
    list->pos = list->curr ? 1 : 0;
    return gll_Element(list);
}

void* GLL_GoLast(GLL* list)
{
    ASSERT(list);
    list->curr = list->last;
    list->pos = list->count;
    return gll_Element(list);
}

void* GLL_GoNext(GLL* list)
{
    ASSERT(list);
    if (!list->curr) return nullptr;
    list->curr = list->curr->next;
    list->pos = list->curr ? list->pos + 1 : 0;
    return gll_Element(list);
}

void* GLL_GoPrev(GLL* list)
{
    ASSERT(list);
    if (!list->curr) return nullptr;
    list->curr = list->curr->prev;
    list->pos = list->curr ? list->pos - 1 : 0;
    return gll_Element(list);
}

void* GLL_GoTo(GLL* list, int position)
{
    ASSERT(list);
    if (position < 1 || position > list->count) {
        list->curr = nullptr;
        list->pos = 0;
        return nullptr;
    }
    // Walk from whichever end is nearer.
    GLL_NODE* node;
    if (position <= list->count / 2 + 1) {
        node = list->first;
        for (int i = 1; i < position; i++) node = node->next;
    } else {
        node = list->last;
        for (int i = list->count; i > position; i--) node = node->prev;
    }
    list->curr = node;
    list->pos = position;
    return node->element;
}

void* GLL_GetCurrent(GLL* list)
{
    ASSERT(list);
    return gll_Element(list);
}

void* GLL_DeleteCurrent(GLL* list)
{
    ASSERT(list);
    GLL_NODE* node = list->curr;
    if (!node) return nullptr;
    if (node->prev) node->prev->next = node->next;
    else list->first = node->next;
    if (node->next) node->next->prev = node->prev;
    else list->last = node->prev;
    list->count--;
    // The next node slides into the deleted node's position.
    list->curr = node->next;
    if (!list->curr) list->pos = 0;
    void* element = node->element;
    Debug_Free(&node);
    return element;
}

void GLL_Iterate(GLL* list, GLL_ITERFN fn)
{
    ASSERT(list);
    ASSERT(fn);
    int position = 1;
    GLL_NODE* node = list->first;
    while (node) {
        // Taken first so that fn may delete the node it is given.
        GLL_NODE* next = node->next;
        fn(node->element, position++);
        node = next;
    }
}
