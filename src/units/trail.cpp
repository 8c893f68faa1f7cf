// Trails: doubly linked waypoint lists over one module-wide free list.
#include "units/trail.h"

#include "core/debug.h"
#include "core/tlog.h"

// Freed waypoints, linked through next. s_allocated counts every waypoint
// taken from the heap and not yet given back to it, on trails or free.
static WAYPOINT* s_freelist = nullptr;
static int s_allocated = 0;

static void FreeListRelease(void)
{
    while (s_freelist != nullptr) {
        WAYPOINT* w = s_freelist;
        s_freelist = w->next;
        Debug_Free(&w);
        s_allocated--;
    }
}

void Trail_Startup(void)
{
    FreeListRelease();
}

void Trail_Shutdown(void)
{
    FreeListRelease();
    TLOG(TLOG_DIAG, "Total malloced = %d", s_allocated);
}

static WAYPOINT* NewWaypoint(int type, int x, int y, int value)
{
    WAYPOINT* w = s_freelist;
    if (w != nullptr) {
        s_freelist = w->next;
    } else {
        // Debug_Malloc never returns null: running out of memory is fatal there.
        w = static_cast<WAYPOINT*>(Debug_Malloc(sizeof(WAYPOINT)));
        s_allocated++;
    }
    w->type = type;
    w->x = x;
    w->y = y;
    w->value = value;
    w->next = nullptr;
    w->prev = nullptr;
    return w;
}

// The marks make a waypoint that is used after being freed stand out.
static void FreeWaypoint(WAYPOINT* w)
{
    w->x = WAYPOINT_FREED;
    w->y = WAYPOINT_FREED;
    w->value = 0;
    w->prev = nullptr;
    w->next = s_freelist;
    s_freelist = w;
}

void Trail_Init(TRAIL* trail)
{
    ASSERT(trail);
    trail->head = nullptr;
    trail->tail = nullptr;
}

TRAIL* Trail_New(void)
{
    TRAIL* trail = static_cast<TRAIL*>(Debug_Malloc(sizeof(TRAIL)));
    Trail_Init(trail);
    return trail;
}

void Trail_Free(TRAIL** trail)
{
    ASSERT(trail);
    if (*trail == nullptr) return;
    Trail_Clear(*trail);
    Debug_Free(trail);
}

void Trail_Clear(TRAIL* trail)
{
    ASSERT(trail);
    WAYPOINT* w = trail->head;
    while (w != nullptr) {
        WAYPOINT* next = w->next;
        FreeWaypoint(w);
        w = next;
    }
    Trail_Init(trail);
}

WAYPOINT* Trail_AddWaypoint(TRAIL* trail, int type, int x, int y, int value)
{
    ASSERT(trail);
    return Trail_InsertWaypoint(trail, trail->tail, type, x, y, value);
}

WAYPOINT* Trail_InsertWaypoint(TRAIL* trail, WAYPOINT* after, int type, int x, int y, int value)
{
    ASSERT(trail);
    WAYPOINT* w = NewWaypoint(type, x, y, value);
    w->prev = after;
    w->next = after != nullptr ? after->next : trail->head;
    if (w->next != nullptr) w->next->prev = w;
    else trail->tail = w;
    if (after != nullptr) after->next = w;
    else trail->head = w;
    return w;
}

static void CopyOut(const WAYPOINT* w, int* type, int* x, int* y, int* value)
{
    if (type != nullptr) *type = w->type;
    if (x != nullptr) *x = w->x;
    if (y != nullptr) *y = w->y;
    if (value != nullptr) *value = w->value;
}

WAYPOINT* Trail_GetFirst(TRAIL* trail, int* type, int* x, int* y, int* value)
{
    ASSERT(trail);
    if (trail->head != nullptr) CopyOut(trail->head, type, x, y, value);
    return trail->head;
}

WAYPOINT* Trail_GetLast(TRAIL* trail, int* type, int* x, int* y, int* value)
{
    ASSERT(trail);
    if (trail->tail != nullptr) CopyOut(trail->tail, type, x, y, value);
    return trail->tail;
}

int Trail_PopFirst(TRAIL* trail, int* type, int* x, int* y, int* value)
{
    ASSERT(trail);
    if (trail->head == nullptr) return 0;
    CopyOut(trail->head, type, x, y, value);
    Trail_RemoveWaypoint(trail, trail->head);
    return 1;
}

WAYPOINT* Trail_RemoveWaypoint(TRAIL* trail, WAYPOINT* w)
{
    ASSERT(trail);
    ASSERT(w);
    WAYPOINT* next = w->next;
    WAYPOINT* prev = w->prev;
    if (prev != nullptr) prev->next = next;
    else trail->head = next;
    if (next != nullptr) next->prev = prev;
    else trail->tail = prev;
    FreeWaypoint(w);
    return next != nullptr ? next : prev;
}

WAYPOINT* Trail_DeleteWaypoint(TRAIL* trail, WAYPOINT* w)
{
    ASSERT(trail);
    ASSERT(w);
    if (w->type == WPT_MOVE) {
        while (w->next != nullptr && w->next->type == WPT_FIRE) Trail_RemoveWaypoint(trail, w->next);
    }
    return Trail_RemoveWaypoint(trail, w);
}

void Trail_Copy(TRAIL* dest, const TRAIL* src)
{
    ASSERT(dest);
    ASSERT(src);
    // Stop at the source's last waypoint as it is now: copying a trail onto
    // itself would otherwise keep meeting the copies it has just appended.
    const WAYPOINT* last = src->tail;
    for (const WAYPOINT* w = src->head; w != nullptr; w = w->next) {
        Trail_AddWaypoint(dest, w->type, w->x, w->y, w->value);
        if (w == last) break;
    }
}

WAYPOINT* Trail_FindWaypoint(TRAIL* trail, int x, int y)
{
    ASSERT(trail);
    for (WAYPOINT* w = trail->head; w != nullptr; w = w->next) {
        if (w->x == x && w->y == y) return w;
    }
    return nullptr;
}

WAYPOINT* Trail_Follow(TRAIL* trail, WAYPOINT* w, int mode, int* direction)
{
    ASSERT(trail);
    ASSERT(w);
    switch (mode) {
    case TRAIL_REVERSE: {
        ASSERT(direction);
        int backward = *direction != 0;
        WAYPOINT* ahead = backward ? w->prev : w->next;
        if (ahead != nullptr) return ahead;
        // At an end: turn round and head for the waypoint on the other side.
        *direction = !backward;
        return backward ? w->next : w->prev;
    }
    case TRAIL_LOOP:
        return w->next != nullptr ? w->next : trail->head;
    case TRAIL_STOP:
        return w->next;
    default:
        TLOG(TLOG_ERROR, "Unknown trail mode [%d]", mode);
        return nullptr;
    }
}

int Trail_Count(const TRAIL* trail)
{
    ASSERT(trail);
    int n = 0;
    for (const WAYPOINT* w = trail->head; w != nullptr; w = w->next) n++;
    return n;
}

int Trail_Allocated(void)
{
    return s_allocated;
}

WAYPOINT* Trail_AllocWaypointRecord(void)
{
    WAYPOINT* w = s_freelist;
    if (w != nullptr) {
        s_freelist = w->next;
    } else {
        w = static_cast<WAYPOINT*>(Debug_Malloc(sizeof(WAYPOINT)));
        s_allocated++;
    }
    *w = WAYPOINT{};
    return w;
}

void Trail_FreeWaypointRecord(WAYPOINT* w)
{
    w->prev = nullptr;
    w->next = s_freelist;
    s_freelist = w;
}

const char* Trail_CheckLoaded(const TRAIL* trail)
{
    // A fire waypoint looks back along prev for its move waypoint: a prev
    // link that leaves the chain could go round for ever.
    const WAYPOINT* last = nullptr;
    for (const WAYPOINT* w = trail->head; w; last = w, w = w->next)
        if (w->prev != last) return "a waypoint's prev link";
    return trail->tail == last ? nullptr : "a trail's tail";
}
