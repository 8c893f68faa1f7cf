// Matrices over arbitrary index ranges.
//
// Layout of one matrix (two plain malloc blocks, so that a failure can be
// reported with its own text rather than the debug heap's):
//
//   table block: NR_HEADER | row pointers for indices min(row_low,0) .. max(row_high,0)
//   data block:  (row_high-row_low+1) rows of min(col_low,0) .. max(col_high,0) elements
//
// The caller's pointer m is the row table's slot for index 0, and m[r] is the
// element slot for column 0 of row r. Widening both ranges to include 0
// keeps those slots inside their blocks, so no pointer is ever formed
// outside an allocation, whatever the signs of the bounds. The cost is
// unused padding when a low bound is positive.
#include "core/nrmatrix.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "core/debug.h"
#include "core/error.h"

namespace {

struct NR_HEADER {
    void* data;
    int32_t row_low, row_high, col_low, col_high;
};

// Bytes for count items of size, or 0 when that exceeds what malloc can give.
size_t nr_Bytes(uint64_t count, size_t size, size_t extra)
{
    uint64_t bytes;
    if (__builtin_mul_overflow(count, (uint64_t)size, &bytes)) return 0;
    if (__builtin_add_overflow(bytes, (uint64_t)extra, &bytes)) return 0;
    if (bytes > (uint64_t)PTRDIFF_MAX) return 0;
    return (size_t)bytes;
}

template <class T>
T** nr_Matrix(int32_t row_low, int32_t row_high, int32_t col_low, int32_t col_high)
{
    ASSERT(row_high >= row_low);
    ASSERT(col_high >= col_low);
    int64_t table_low = std::min<int64_t>(row_low, 0);
    int64_t table_rows = (int64_t)std::max<int32_t>(row_high, 0) - table_low + 1;
    int64_t rows = (int64_t)row_high - row_low + 1;
    int64_t col_base = std::min<int64_t>(col_low, 0);
    int64_t width = (int64_t)std::max<int32_t>(col_high, 0) - col_base + 1;

    // Sizes are checked before anything is allocated, so neither failure leaks.
    size_t table_bytes = nr_Bytes((uint64_t)table_rows, sizeof(T*), sizeof(NR_HEADER));
    if (!table_bytes) ERR_FATAL(ERRC_MEMORY, "allocation failure 1 in matrix()");
    uint64_t cells;
    size_t data_bytes = 0;
    if (!__builtin_mul_overflow((uint64_t)rows, (uint64_t)width, &cells))
        data_bytes = nr_Bytes(cells, sizeof(T), 0);
    if (!data_bytes) ERR_FATAL(ERRC_MEMORY, "allocation failure 2 in NR_Ptr_Matrix()");

    char* table_block = (char*)malloc(table_bytes);
    if (!table_block) ERR_FATAL(ERRC_MEMORY, "allocation failure 1 in matrix()");
    T* data = (T*)malloc(data_bytes);
    if (!data) {
        free(table_block);
        ERR_FATAL(ERRC_MEMORY, "allocation failure 2 in NR_Ptr_Matrix()");
    }

    NR_HEADER* header = (NR_HEADER*)table_block;
    header->data = data;
    header->row_low = row_low;
    header->row_high = row_high;
    header->col_low = col_low;
    header->col_high = col_high;
    T** table = (T**)(table_block + sizeof(NR_HEADER));
    T** m = table - table_low;
    for (int64_t r = 0; r < rows; r++) m[row_low + r] = data + r * width - col_base;
    return m;
}

template <class T>
void nr_Free(T** m, int32_t row_low, int32_t row_high, int32_t col_low, int32_t col_high)
{
    if (!m) return;
    T** table = m + std::min<int32_t>(row_low, 0);
    NR_HEADER* header = (NR_HEADER*)((char*)table - sizeof(NR_HEADER));
    ASSERT(header->row_low == row_low && header->row_high == row_high);
    ASSERT(header->col_low == col_low && header->col_high == col_high);
    free(header->data);
    free(header);
}

} // namespace

void*** NR_Ptr_Matrix(int32_t row_low, int32_t row_high, int32_t col_low, int32_t col_high)
{
    return nr_Matrix<void*>(row_low, row_high, col_low, col_high);
}

int32_t** NR_Imatrix(int32_t row_low, int32_t row_high, int32_t col_low, int32_t col_high)
{
    return nr_Matrix<int32_t>(row_low, row_high, col_low, col_high);
}

void NR_FreePtrMatrix(void*** m, int32_t row_low, int32_t row_high, int32_t col_low,
                      int32_t col_high)
{
    nr_Free<void*>(m, row_low, row_high, col_low, col_high);
}

void NR_FreeMatrix(int32_t** m, int32_t row_low, int32_t row_high, int32_t col_low,
                   int32_t col_high)
{
    nr_Free<int32_t>(m, row_low, row_high, col_low, col_high);
}
