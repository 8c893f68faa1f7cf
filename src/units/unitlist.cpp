// Unit handles and unit lists; the list elements' shared free list.
#include "units/unitlist.h"

#include "core/debug.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

UNITLISTELEM* s_free = nullptr;   // through next

UNITLISTELEM* NewElem(void)
{
    UNITLISTELEM* e = s_free;
    if (e) s_free = e->next;
    else e = static_cast<UNITLISTELEM*>(Debug_Malloc(sizeof(UNITLISTELEM)));
    e->next = nullptr;
    UnitId_Clear(&e->u);
    return e;
}

void FreeElem(UNITLISTELEM* e)
{
    e->next = s_free;
    s_free = e;
}

// The element's unit while its handle is valid. Unlike UnitId_Ptr this
// leaves a stale element's id in place: lists are searched and emptied by
// id, and an element whose id was wiped could never be deleted by it.
UNIT* ElemUnit(const UNITLISTELEM* e)
{
    const UNITID& h = e->u;
    return h.unit && h.id != -1 && h.unit->id == h.id ? h.unit : nullptr;
}

// Unlinks e, whose predecessor is prev (null for the head), and frees it.
void RemoveElem(UNITLIST* list, UNITLISTELEM* prev, UNITLISTELEM* e)
{
    if (prev) prev->next = e->next;
    else list->head = e->next;
    if (list->tail == e) list->tail = prev;
    list->count--;
    FreeElem(e);
}

} // namespace

// ------------------------------------------------------------------ handles

int UnitId_Valid(UNITID* handle)
{
    if (!handle) return 0;
    if (handle->unit && handle->id != -1 && handle->unit->id == handle->id) return 1;
    UnitId_Clear(handle);
    return 0;
}

UNIT* UnitId_Ptr(UNITID* handle) { return UnitId_Valid(handle) ? handle->unit : nullptr; }

int UnitId_Id(UNITID* handle) { return UnitId_Valid(handle) ? handle->id : -1; }

void UnitId_Clear(UNITID* handle)
{
    if (!handle) return;
    handle->unit = nullptr;
    handle->id = -1;
}

void UnitId_Setup(UNITID* handle, UNIT* unit)
{
    if (!handle) return;
    if (!unit) {
        UnitId_Clear(handle);
        return;
    }
    handle->unit = unit;
    handle->id = unit->id;
}

// ------------------------------------------------------------------ lists

void Units_ListInit(UNITLIST* list)
{
    list->head = list->tail = nullptr;
    list->count = 0;
}

void Units_ListAppend(UNITLIST* list, UNIT* unit, int id, int team)
{
    if (unit && team != -1) ASSERT(team >= 0 && team < TEAM_MAXTEAMS);
    UNITLISTELEM* e = NewElem();
    e->u.unit = unit;
    e->u.id = id;
    if (list->tail) list->tail->next = e;
    else list->head = e;
    list->tail = e;
    list->count++;
}

int Units_ListDelete(UNITLIST* list, int id)
{
    UNITLISTELEM* prev = nullptr;
    for (UNITLISTELEM* e = list->head; e; prev = e, e = e->next) {
        if (e->u.id == id) {
            RemoveElem(list, prev, e);
            return 1;
        }
    }
    return 0;
}

int Units_ListRemoveFirst(UNITLIST* list, UNIT** unit, int* id)
{
    UNITLISTELEM* e = list->head;
    if (!e) return 0;
    if (unit) *unit = ElemUnit(e);
    if (id) *id = e->u.id;
    RemoveElem(list, nullptr, e);
    return 1;
}

int Units_ListSize(const UNITLIST* list) { return list->count; }

int Units_ListEmpty(const UNITLIST* list) { return list->count == 0; }

UNITLISTELEM* Units_ListFind(UNITLIST* list, int id)
{
    for (UNITLISTELEM* e = list->head; e; e = e->next)
        if (e->u.id == id) return e;
    return nullptr;
}

UNIT* Units_ListGetFirst(UNITLIST* list)
{
    return list->head ? ElemUnit(list->head) : nullptr;
}

void Units_ListCopy(UNITLIST* dest, const UNITLIST* src)
{
    if (dest == src) return;
    Units_ListClear(dest);
    for (const UNITLISTELEM* e = src->head; e; e = e->next) {
        UNITLISTELEM* c = NewElem();
        c->u = e->u;
        if (dest->tail) dest->tail->next = c;
        else dest->head = c;
        dest->tail = c;
        dest->count++;
    }
}

void Units_ListValidateTeamOnMap(UNITLIST* list, int team)
{
    UNITLISTELEM* prev = nullptr;
    UNITLISTELEM* e = list->head;
    while (e) {
        UNITLISTELEM* next = e->next;
        UNIT* u = ElemUnit(e);
        if (!u || u->team != team || !u->onmap) {
            RemoveElem(list, prev, e);
        } else {
            prev = e;
        }
        e = next;
    }
}

void Units_ListClear(UNITLIST* list)
{
    UNITLISTELEM* e = list->head;
    while (e) {
        UNITLISTELEM* next = e->next;
        FreeElem(e);
        e = next;
    }
    Units_ListInit(list);
}

void Units_ListClose(UNITLIST* list) { Units_ListClear(list); }

void Units_ListFreeAll(void)
{
    while (s_free) {
        UNITLISTELEM* next = s_free->next;
        Debug_Free(&s_free);
        s_free = next;
    }
}
