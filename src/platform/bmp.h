// Windows BMP pictures: 8 bits a pixel (with a palette), uncompressed or
// run-length compressed, or 24 bits uncompressed.
#pragma once

#include <cstdint>

#include "platform/palette.h"

enum {
    BMP_OK = 0,
    BMP_CANT_OPEN = 1,   // the file can't be opened or read
    BMP_NOT_BMP = 2,     // no "BM" magic, or a header cut short or malformed
    BMP_UNSUPPORTED = 3, // another depth, compression, a size out of 1..8192,
                         // pixel data missing or misplaced, or a run or
                         // move that leaves the picture
    BMP_MAX_SIDE = 8192,
};

// Reads a BMP file into *pixels (Debug_Malloc'd, rows from the top whichever
// way the file stores them): 8-bit gives one palette index a pixel and fills
// palette (entries the file lacks are black; pixels a compressed picture
// skips are index 0); 24-bit gives r, g, b a pixel and zeroes palette. palette may be null. Returns a BMP_ code, logging the
// file and offset of a fault; on failure nothing is allocated and the outputs
// are left alone.
int Bmp_Read(const char* path, uint8_t** pixels, PAL_RGB palette[256], int* depth, int* width,
             int* height);
