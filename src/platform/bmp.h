// Windows BMP pictures: uncompressed, 8 bits a pixel (with a palette) or 24.
#pragma once

#include <cstdint>

#include "platform/palette.h"

enum {
    BMP_OK = 0,
    BMP_CANT_OPEN = 1,   // the file can't be opened or read
    BMP_NOT_BMP = 2,     // no "BM" magic, or a header cut short or malformed
    BMP_UNSUPPORTED = 3, // another depth, compression, a size out of 1..8192,
                         // or pixel data missing or misplaced
    BMP_MAX_SIDE = 8192,
};

// Reads a BMP file into *pixels (Debug_Malloc'd, rows from the top whichever
// way the file stores them): 8-bit gives one palette index a pixel and fills
// palette (entries the file lacks are black); 24-bit gives r, g, b a pixel
// and zeroes palette. palette may be null. Returns a BMP_ code, logging the
// file and offset of a fault; on failure nothing is allocated and the outputs
// are left alone.
int Bmp_Read(const char* path, uint8_t** pixels, PAL_RGB palette[256], int* depth, int* width,
             int* height);
