// The file wrapper for saved games and other binary or text files we write.
//
// Values go to the file field by field, little-endian, with explicit sizes.
// A file opened for writing is written under a temporary name beside it
// ("<path>.tmp<pid>") and renamed over the target by Cfile_Close only when
// every write, the flush and the close succeeded: a failed or interrupted
// save leaves the previous file as it was. As with Fs_WriteAtomic, a symbolic
// link is written through and the file keeps its permission bits.
//
// Errors are sticky: every write (and read) returns 1 or 0, and Cfile_Failed
// tells afterwards whether any of them failed since the open, so a caller can
// write a whole record and check once.
#pragma once

#include <cstddef>
#include <cstdio>

enum { CFILE_NAME = 260, CFILE_BUFFER = 64 * 1024 };

struct CFILE {
    FILE* file;              // null while closed
    char name[CFILE_NAME];   // the resolved path (the target when writing)
    unsigned char* buffer;   // the stdio buffer of the open file
    size_t cursor;           // byte offset of the next read or write
    size_t capacity;         // size of buffer
    int text;                // opened for text (Cfile_Printf only)
    int writing;             // opened by Cfile_OpenWrite
    int failed;              // a read or write fell short since the open
    char why[CFILE_NAME + 160]; // the first system call that failed since the open and its reason
};

// A closed wrapper with its buffer; never null.
CFILE* Cfile_BufferCreate(void);
// Closes the wrapper if open (as Cfile_Close) and frees it; null is nothing to do.
void Cfile_BufferFree(CFILE* w);

// Opens path for writing ("w" when text, else "wb"); 1, or 0 when the wrapper
// is already open, the path is 260 bytes or longer, or the file can't be made.
int Cfile_OpenWrite(CFILE* w, const char* path, int text);
// Opens path for reading ("rb"); 1, or 0 as for Cfile_OpenWrite.
int Cfile_OpenRead(CFILE* w, const char* path);
// Closes; 1, or 0 when not open. For a written file also 0 when any write,
// the flush or the close failed or the rename over the target did: the
// target then keeps its previous contents.
int Cfile_Close(CFILE* w);
// 1 when a read or write since the last open fell short (kept after the close,
// which also sets it when it fails).
int Cfile_Failed(const CFILE* w);
// The step of the first system call that failed since the last open (or in
// that open) with the system's reason, as "open: Permission denied"; "" when
// none did (a failure of the caller's own making has no reason here).
const char* Cfile_Why(const CFILE* w);

// Binary writes; 1 on success, 0 (and the sticky flag set) when the wrapper
// isn't open for binary writing or the bytes couldn't be written.
// value as 4 bytes little-endian.
int Cfile_WriteInt(CFILE* w, int value);
// len bytes from addr; nothing (and 1) for len 0 or a null addr.
int Cfile_Write(CFILE* w, const void* addr, size_t len);
// A block: its length as u32 little-endian, then the bytes (docs/formats.md);
// only the u32 0 for len 0 or a null addr. A len over 4 GiB - 1 writes nothing
// and fails.
int Cfile_WriteBlock(CFILE* w, const void* addr, size_t len);
// Formatted text; text mode only, 0 otherwise or when the write fails.
int Cfile_Printf(CFILE* w, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Reads; a short read fills what wasn't read with zeros, sets the sticky flag
// and logs the file and offset.
// 4 bytes little-endian; 0 when they can't be read.
int Cfile_ReadInt(CFILE* w);
// len bytes into addr; nothing (and 1) for len 0 or a null addr; 1 when all were read.
int Cfile_Read(CFILE* w, void* addr, size_t len);
// A block written by Cfile_WriteBlock into size bytes at addr: a longer block
// gives its first size bytes and the rest is skipped, a shorter one is padded
// with zeros. 1, or 0 when the file ends before the block does.
int Cfile_ReadBlock(CFILE* w, void* addr, size_t size);
