// The sorted array.
#include "core/sortarr.h"

#include <cstring>

#include "core/debug.h"

SORTEDARRAY* SortedArray_Create(int32_t capacity)
{
    ASSERT(capacity >= 0);
    SORTEDARRAY* array = (SORTEDARRAY*)Debug_Malloc(sizeof(SORTEDARRAY));
    array->capacity = capacity;
    array->count = 0;
    // One entry at least, so that entries is never null.
    array->entries = (SORTEDARRAY_ENTRY*)Debug_Malloc(sizeof(SORTEDARRAY_ENTRY) *
                                                      (size_t)(capacity > 0 ? capacity : 1));
    return array;
}

int32_t SortedArray_Insert(SORTEDARRAY* array, void* pointer, double key)
{
    ASSERT(array);
    // A NaN compares false with everything and would leave the order undefined.
    ASSERT(key == key);
    if (array->count >= array->capacity) return -1;

    // First entry whose key is greater than key: equal keys stay in front.
    int32_t low = 0;
    int32_t high = array->count;
    while (low < high) {
        int32_t mid = low + (high - low) / 2;
        if (array->entries[mid].key <= key) low = mid + 1;
        else high = mid;
    }
    memmove(&array->entries[low + 1], &array->entries[low],
            sizeof(SORTEDARRAY_ENTRY) * (size_t)(array->count - low));
    array->entries[low].pointer = pointer;
    array->entries[low].key = key;
    array->count++;
    return low;
}

void* SortedArray_GetAt(const SORTEDARRAY* array, int32_t index)
{
    ASSERT(array);
    if (index < 0 || index >= array->count) return nullptr;
    return array->entries[index].pointer;
}

void SortedArray_Destroy(SORTEDARRAY* array)
{
    if (!array) return;
    Debug_Free(&array->entries);
    Debug_Free(&array);
}
