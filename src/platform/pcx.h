// 8-bit PCX pictures: version 5, one plane, run-length encoded, with the
// 256-colour palette (0x0C and 768 bytes) at the end of the file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/graph.h"
#include "platform/palette.h"

// The largest picture side the reader accepts.
enum { PCX_MAX_SIDE = 8192 };

// Reads a PCX file into out (allocating its data) and, when palette isn't
// null, its palette; 1 ok, 0 when the file is missing, truncated or
// inconsistent (logged with the file and the offset; out left untouched).
int Pcx_Read(const char* path, BITMAP* out, PAL_RGB palette[256]);
// As Pcx_Read over the bytes of a file; name is what the log calls it.
int Pcx_ReadMemory(const uint8_t* data, size_t len, const char* name, BITMAP* out,
                   PAL_RGB palette[256]);
// Writes bitmap as an 8-bit PCX (atomically: a failed write leaves the old
// file) with palette, or the current palette when palette is null; 1 ok,
// 0 (logged) when the bitmap is unusable or larger than PCX_MAX_SIDE, or the
// write failed.
int Graph_SavePCX(const char* name, const BITMAP* bitmap, const PAL_RGB* palette);
