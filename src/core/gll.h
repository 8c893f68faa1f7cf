// The generic list with a cursor.
//
// A doubly linked list of element pointers with one cursor {curr, pos}.
// Positions are 1-based; pos is 0 when the cursor is on no node. Callers read
// count, pos and the cursor's element directly.
#pragma once

struct GLL_NODE {
    GLL_NODE* next;
    GLL_NODE* prev;
    void* element;
};

struct GLL {
    GLL_NODE* first;
    GLL_NODE* curr;
    GLL_NODE* last;
    int count;
    int pos;
};

typedef void (*GLL_FREEFN)(void* element);
typedef void (*GLL_ITERFN)(void* element, int position);
// Passed to GLL_Destroy: free each element with Debug_Free.
#define GLL_FREE_ELEMENTS ((GLL_FREEFN)-1)

// A new empty list; never null.
GLL* GLL_Create(void);
// Frees the list; fn is called on each element (GLL_FREE_ELEMENTS frees them
// with the debug heap, null leaves them). A null list is nothing to do.
void GLL_Destroy(GLL* list, GLL_FREEFN fn);
// Inserts after the cursor (at the end when the cursor is on the last node,
// at the front of an empty list, at the end when the cursor is on no node);
// the cursor moves to the new node.
void GLL_InsertAfter(GLL* list, void* element);
// Inserts before the cursor (at the front when the cursor is on no node);
// the cursor moves to the new node.
void GLL_InsertBefore(GLL* list, void* element);
// Cursor moves; each returns the element under the cursor afterwards, or null.
void* GLL_GoFirst(GLL* list);
void* GLL_GoLast(GLL* list);
void* GLL_GoNext(GLL* list);
void* GLL_GoPrev(GLL* list);
// Moves the cursor to a 1-based position; null (cursor on no node) outside.
void* GLL_GoTo(GLL* list, int position);
// The cursor's element, or null.
void* GLL_GetCurrent(GLL* list);
// Unlinks the cursor's node and returns its element; the cursor moves to the
// next node (on no node after the last). Null when the cursor is on no node.
void* GLL_DeleteCurrent(GLL* list);
// Calls fn(element, position) for each element in order, positions from 1.
void GLL_Iterate(GLL* list, GLL_ITERFN fn);
