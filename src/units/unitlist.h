// Unit handles and unit lists.
//
// A UNITID is {unit pointer, id}: followed only while the unit record still
// carries that id, so a handle to a deleted unit is detected even after its
// pool slot was reused (a reused record gets a new id; a deleted record has
// id -1). A stale handle is cleared when it is checked.
//
// A UNITLIST is a singly linked list of handles with a head, a tail and a
// count; its elements come from one free list shared by every list.
#pragma once

#include <cstdint>

struct UNIT;

struct UNITID {
    UNIT* unit;
    int32_t id;          // -1 for the empty handle
};

// 1 while the unit still has the stored id; clears the handle otherwise.
int UnitId_Valid(UNITID* handle);
// The unit, or null (a stale handle is cleared).
UNIT* UnitId_Ptr(UNITID* handle);
// The id, or -1 (a stale handle is cleared).
int UnitId_Id(UNITID* handle);
void UnitId_Clear(UNITID* handle);
// {unit, its id}; null gives the empty handle.
void UnitId_Setup(UNITID* handle, UNIT* unit);

struct UNITLISTELEM {
    UNITID u;
    UNITLISTELEM* next;
};

struct UNITLIST {
    UNITLISTELEM* head;
    UNITLISTELEM* tail;
    int32_t count;
};

void Units_ListInit(UNITLIST* list);
// Appends {unit, id}. With a null unit the handle keeps only the id.
// team is only checked (0..8) when a unit is given.
void Units_ListAppend(UNITLIST* list, UNIT* unit, int id, int team = -1);
// Removes the first element with that id; 1 when one was found.
int Units_ListDelete(UNITLIST* list, int id);
// Removes the first element, copying its unit (null when stale) and id;
// 0 when the list is empty.
int Units_ListRemoveFirst(UNITLIST* list, UNIT** unit, int* id);
int Units_ListSize(const UNITLIST* list);
int Units_ListEmpty(const UNITLIST* list);
// The first element with that id, or null.
UNITLISTELEM* Units_ListFind(UNITLIST* list, int id);
// The head's unit (null when empty or stale).
UNIT* Units_ListGetFirst(UNITLIST* list);
// dest becomes a copy of src (dest emptied first).
void Units_ListCopy(UNITLIST* dest, const UNITLIST* src);
// Drops elements whose unit is stale, no longer of team, or off the map.
void Units_ListValidateTeamOnMap(UNITLIST* list, int team);
// Every element back to the shared free list.
void Units_ListClear(UNITLIST* list);
void Units_ListClose(UNITLIST* list);
// Frees the shared free list (the units layer's close).
void Units_ListFreeAll(void);
