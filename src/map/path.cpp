// Stored paths: step deltas in nodes of 32, nodes from one counted free list.
//
// The next step's tile is kept whole in the PATH; every further step is the
// move from the step before it. Appending fills the tail node from the back
// of its used range, pushing fills the head node from the front: a node made
// by a push starts with its single step in the last slot, so that further
// pushes (a detour put back step by step) fill the same node.
#include "map/path.h"

#include "save/saveblk.h"
#include "save/saveget.h"
#include "save/savetype.h"

#include <cstdlib>

#include "core/debug.h"
#include "map/map.h"

namespace {

PATHNODE* s_free = nullptr;     // free nodes, linked through next
int s_allocated = 0;            // nodes allocated, free ones included
int s_inUse = 0;

PATHNODE* NewNode(void)
{
    PATHNODE* n = s_free;
    if (n) {
        s_free = n->next;
    } else {
        n = static_cast<PATHNODE*>(Debug_Malloc(sizeof(PATHNODE)));
        s_allocated++;
    }
    s_inUse++;
    *n = PATHNODE{};
    return n;
}

void FreeNode(PATHNODE* n)
{
    n->next = s_free;
    s_free = n;
    s_inUse--;
}

uint8_t Encode(int dx, int dy) { return (uint8_t)((dx + 1) | (dy + 1) << 2); }
int DeltaX(uint8_t step) { return (step & 3) - 1; }
int DeltaY(uint8_t step) { return (step >> 2 & 3) - 1; }

bool Adjacent(int x0, int y0, int x1, int y1) { return abs(x1 - x0) <= 1 && abs(y1 - y0) <= 1; }

// Removes the first delta of the path (there must be one) and gives it.
uint8_t TakeFirstDelta(PATH* path)
{
    PATHNODE* n = path->head;
    uint8_t step = n->steps[n->first];
    n->first++;
    if (--n->count == 0) {
        path->head = n->next;
        if (path->head) path->head->prev = nullptr;
        else path->tail = nullptr;
        FreeNode(n);
    }
    return step;
}

} // namespace

void Path_Init(PATH* path)
{
    *path = PATH{};
}

void Path_Append(PATH* path, int x, int y)
{
    ASSERT(Map_IsValidTile(x, y));
    if (path->count == 0) {
        path->headx = path->lastx = x;
        path->heady = path->lasty = y;
        path->count = 1;
        return;
    }
    ASSERT(Adjacent(path->lastx, path->lasty, x, y));
    PATHNODE* t = path->tail;
    if (!t || t->first + t->count == PATH_NODESTEPS) {
        PATHNODE* n = NewNode();
        n->prev = t;
        if (t) t->next = n;
        else path->head = n;
        path->tail = t = n;
    }
    t->steps[t->first + t->count] = Encode(x - path->lastx, y - path->lasty);
    t->count++;
    path->lastx = x;
    path->lasty = y;
    path->count++;
}

int Path_Pop(PATH* path, int* x, int* y)
{
    if (path->count == 0) return 0;
    *x = path->headx;
    *y = path->heady;
    if (--path->count > 0) {
        uint8_t step = TakeFirstDelta(path);
        path->headx += DeltaX(step);
        path->heady += DeltaY(step);
    }
    return 1;
}

const char* Path_CheckLoaded(const PATH* path, std::vector<const PATHNODE*>* nodes)
{
    if (path->count == 0) return path->head || path->tail ? "an empty path holding steps" : nullptr;
    if (path->count < 0 || !Map_IsValidTile(path->headx, path->heady)) return "a path's next step off the map";
    int x = path->headx, y = path->heady;
    int64_t steps = 0;
    const PATHNODE* prev = nullptr;
    for (const PATHNODE* n = path->head; n; prev = n, n = n->next) {
        if (n->prev != prev) return "a path node's prev link";
        if (n->first < 0 || n->count < 1 || n->first + n->count > PATH_NODESTEPS) return "a path node's steps";
        nodes->push_back(n);
        for (int i = n->first; i < n->first + n->count; i++) {
            if ((n->steps[i] & 3) > 2 || (n->steps[i] >> 2 & 3) > 2) return "a path's step";
            x += DeltaX(n->steps[i]);
            y += DeltaY(n->steps[i]);
            if (!Map_IsValidTile(x, y)) return "a path's step off the map";
        }
        steps += n->count;
    }
    if (prev != path->tail || steps != path->count - 1) return "a path's step count";
    if (x != path->lastx || y != path->lasty) return "a path's last step";
    return nullptr;
}

int Path_Peek(const PATH* path, int* x, int* y, int n)
{
    if (n < 0 || n >= path->count) return 0;
    int px = path->headx, py = path->heady;
    for (const PATHNODE* node = path->head; node && n > 0; node = node->next) {
        for (int i = 0; i < node->count && n > 0; i++, n--) {
            uint8_t step = node->steps[node->first + i];
            px += DeltaX(step);
            py += DeltaY(step);
        }
    }
    *x = px;
    *y = py;
    return 1;
}

int Path_Count(const PATH* path)
{
    return path->count;
}

void Path_Clear(PATH* path)
{
    PATHNODE* n = path->head;
    while (n) {
        PATHNODE* next = n->next;
        FreeNode(n);
        n = next;
    }
    Path_Init(path);
}

void Path_Push(PATH* path, int x, int y)
{
    ASSERT(Map_IsValidTile(x, y));
    if (path->count == 0) {
        Path_Append(path, x, y);
        return;
    }
    ASSERT(Adjacent(path->headx, path->heady, x, y));
    PATHNODE* h = path->head;
    if (!h || h->first == 0) {
        PATHNODE* n = NewNode();
        n->first = PATH_NODESTEPS;
        n->next = h;
        if (h) h->prev = n;
        else path->tail = n;
        path->head = h = n;
    }
    h->first--;
    h->count++;
    h->steps[h->first] = Encode(path->headx - x, path->heady - y);
    path->headx = x;
    path->heady = y;
    path->count++;
}

void Path_PushOptimal(PATH* path, int x, int y)
{
    int nx, ny;
    if (Path_Peek(path, &nx, &ny, 1) && nx == x && ny == y) {
        // Pushing the step after the next one would walk there and back.
        Path_Pop(path, &nx, &ny);
        return;
    }
    Path_Push(path, x, y);
}

void Path_CleanUp(void)
{
    while (s_free) {
        PATHNODE* n = s_free;
        s_free = n->next;
        Debug_Free(&n);
        s_allocated--;
    }
    // The game's close frees the free list too; only a save or a load lists.
    if (Save_Listing()) {
        Save_RegisterBlock(SAVEK_GLOBAL, &s_allocated, ST_ULONG, sizeof s_allocated);
        Save_RegisterBlock(SAVEK_GLOBAL, &s_inUse, ST_ULONG, sizeof s_inUse);
    }
}

int Path_NodesAllocated(void)
{
    return s_allocated;
}

int Path_NodesInUse(void)
{
    return s_inUse;
}
