// CRC-32 of blocks, files and directory trees.
//
// The polynomial 04C11DB7 processed most significant bit first, initial value
// all ones, final complement (check value FC891918 for "123456789"). Screens,
// saved games and data sets are compared by this value, so every path below
// gives exactly the result of the plain 256-entry table definition.
//
// The portable path slices 16 bytes per step through constant tables built at
// compile time. Where the processor has carry-less multiply (checked once with
// cpuid), long blocks are folded 64 bytes per step instead.
#pragma once

#include <cstddef>
#include <cstdint>

// The CRC of length bytes; 0 for length 0.
uint32_t Crc32_Block(const void* data, size_t length);
// Continues a CRC: Crc32_Update(Crc32_Block(a), b) == Crc32_Block(a followed
// by b), and chaining from 0 gives the CRC of all the bytes; length 0 returns
// crc unchanged.
uint32_t Crc32_Update(uint32_t crc, const void* data, size_t length);

// The CRC of a whole file, read in chunks through Fs_Open; 1 on success with
// *crc set, 0 (and *crc = 0) when it can't be opened or read.
int Crc32_File(const char* path, uint32_t* crc);

// The CRC of a directory tree; 1 on success with *crc set, 0 (and *crc = 0)
// when the directory or a file below it can't be read.
//
// The order is fixed so that the value doesn't depend on the file system:
// the entries of each directory are taken in bytewise order of their names,
// depth first (a sub-directory's contents come at the sub-directory's place in
// that order). For each regular file, one CRC runs over
//   - its path relative to dirpath, components joined with '\', e.g. "sub\a.txt",
//   - one zero byte,
//   - its length in bytes as 8 bytes little-endian,
//   - its bytes.
// The terminator and the length keep a byte moved from one file into the next
// file's name from giving the same value. Directories add nothing of their own
// (an empty directory changes nothing); symbolic links and special files are
// skipped, so the walk never leaves the tree. An empty tree gives 0.
int Crc32_Tree(const char* dirpath, uint32_t* crc);

// Turns the carry-less multiply path off (0) or back on (1) where the
// processor has it; returns 1 when that path is in use afterwards. Lets tests
// and benchmarks check both paths on one machine.
int Crc32_SetCarryless(int enable);
