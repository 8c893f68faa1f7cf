// The sorted array.
//
// A fixed-capacity array of {pointer, key} kept in ascending key order.
// An entry inserted with a key already present goes after the entries with
// that key, so equal keys keep their insertion order.
#pragma once

#include <cstdint>

struct SORTEDARRAY_ENTRY {
    void* pointer;
    double key;
};

struct SORTEDARRAY {
    int32_t capacity;
    int32_t count;
    SORTEDARRAY_ENTRY* entries;
};

// An empty array with room for capacity entries (asserts capacity >= 0); never null.
SORTEDARRAY* SortedArray_Create(int32_t capacity);
// Inserts in key order after any equal keys; returns the new entry's index,
// or -1 (nothing changed) when the array is full. Asserts the key is not NaN.
int32_t SortedArray_Insert(SORTEDARRAY* array, void* pointer, double key);
// The pointer at index 0..count-1, null outside.
void* SortedArray_GetAt(const SORTEDARRAY* array, int32_t index);
// Frees the entries and the array, not the data; null is nothing to do.
void SortedArray_Destroy(SORTEDARRAY* array);
