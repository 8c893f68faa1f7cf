// Stored paths: the tile steps a unit still has to walk.
//
// A PATH holds the tile of its next step (headx, heady) and, for every
// further step, the move from the step before: a signed 2-bit delta per axis
// (-1, 0, +1), 32 to a PATHNODE. The nodes come from one free list shared by
// every path, counted for the save system; Path_CleanUp frees the free list.
//
// Steps are taken from the front (Path_Pop); the search appends them
// (Path_Append). Path_Push puts a tile back at the front as the next step (a
// blocked step, a detour); it must lie within 1 of the current next step.
// Path_PushOptimal does the same but, when the pushed tile is the one after
// the current next step, the walk there and back is cancelled instead.
// Tiles are asserted to lie within 1 .. size - 1.
#pragma once

#include <cstdint>
#include <vector>

enum {
    PATH_NODESTEPS = 32,
};

struct PATHNODE {
    PATHNODE* next;
    PATHNODE* prev;
    uint8_t steps[PATH_NODESTEPS];    // per step: bits 0..1 dx + 1, bits 2..3 dy + 1
    int16_t first;                    // index of the first step in use
    int16_t count;                    // steps in use from first
};

struct PATH {
    PATHNODE* head;                   // deltas of the steps after the next one
    PATHNODE* tail;
    int32_t count;                    // steps, the next one included
    int32_t headx, heady;             // tile of the next step (count > 0)
    int32_t lastx, lasty;             // tile of the last step (count > 0)
};

// An empty path.
void Path_Init(PATH* path);
// Appends a step to (x, y), which must lie within 1 of the last step
// (asserted; any tile for an empty path).
void Path_Append(PATH* path, int x, int y);
// Removes the next step and gives its tile; 0 (outputs untouched) when the
// path is empty.
int Path_Pop(PATH* path, int* x, int* y);
// The tile n steps ahead (n = 0: the next step) without removing anything;
// 0 when there is none.
int Path_Peek(const PATH* path, int* x, int* y, int n);
int Path_Count(const PATH* path);
// Every node back to the free list; the path is empty.
void Path_Clear(PATH* path);
// Puts (x, y) back as the next step.
void Path_Push(PATH* path, int x, int y);
// As Path_Push, cancelling a step that would only reverse the next one.
void Path_PushOptimal(PATH* path, int x, int y);
// Why a loaded path can't be walked, or null: its nodes linked both ways
// from head to tail, each holding 1 to PATH_NODESTEPS steps within its
// array, one step fewer in all than the path counts, and every tile from the
// next step to the last on the map. Each node is added to nodes, so that the
// caller can find a node two paths share.
const char* Path_CheckLoaded(const PATH* path, std::vector<const PATHNODE*>* nodes);
// Frees the free list of nodes.
void Path_CleanUp(void);
// Nodes allocated and nodes in use (the save system's two counters).
int Path_NodesAllocated(void);
int Path_NodesInUse(void);
