// Matrices over arbitrary index ranges.
//
// m = NR_Imatrix(rl, rh, cl, ch) is indexed m[r][c] for rl <= r <= rh and
// cl <= c <= ch (inclusive; the bounds may be negative). The contents are not
// initialised. Every pointer handed out points inside its allocation: the row
// table and the rows reserve room so that index 0 of each lies within the
// block, and a small header before the row table records the data block and
// the ranges, which the free functions check.
#pragma once

#include <cstdint>

// A matrix of pointers over the inclusive ranges. Asserts row_high >= row_low
// and col_high >= col_low; fatal (Memory allocation error) with "allocation
// failure 1 in matrix()" when the row table can't be had, "allocation
// failure 2 in NR_Ptr_Matrix()" when the elements can't.
void*** NR_Ptr_Matrix(int32_t row_low, int32_t row_high, int32_t col_low, int32_t col_high);
// A matrix of int32 over the inclusive ranges; asserts and fails as
// NR_Ptr_Matrix, with the same texts.
int32_t** NR_Imatrix(int32_t row_low, int32_t row_high, int32_t col_low, int32_t col_high);
// Frees a matrix from NR_Ptr_Matrix given the ranges it was made with; other
// ranges are an assertion failure (the header is found through
// min(row_low, 0), so that much must agree). Null is nothing to do.
void NR_FreePtrMatrix(void*** m, int32_t row_low, int32_t row_high, int32_t col_low,
                      int32_t col_high);
// Frees a matrix from NR_Imatrix; asserts the ranges. Null is nothing to do.
void NR_FreeMatrix(int32_t** m, int32_t row_low, int32_t row_high, int32_t col_low,
                   int32_t col_high);
