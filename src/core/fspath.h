// The one path resolver.
//
// Paths in data and configuration use backslashes and short names in mixed
// case. Every file open goes through Fs_Resolve: backslashes become '/', and
// each component is matched without regard to case when the exact name is
// absent. A component that matches nothing is kept as written (so a file
// about to be created gets the name it was given).
#pragma once

#include <cstdio>
#include <string>

// The Linux path for a game path.
std::string Fs_Resolve(const char* path);
// fopen over the resolved path; null on failure.
FILE* Fs_Open(const char* path, const char* mode);
// 1 when the resolved path names an existing file or directory.
int Fs_Exists(const char* path);
// 1 when it names a directory.
int Fs_IsDir(const char* path);
// Writes data to path through a temporary file and a rename, so a failed
// write leaves the previous file intact; 1 on success. A symbolic link is
// written through (the file it names changes, the link stays) and an
// existing file keeps its permission bits.
int Fs_WriteAtomic(const char* path, const void* data, size_t length);
// The file that a write to path replaces: the resolved path or, for a
// symbolic link, the file at the end of its chain (which need not exist);
// "" for a chain that doesn't end.
std::string Fs_WriteTarget(const char* path);
// Gives the open file fd the permission bits of the existing regular file
// target; 1, also when there is none, 0 when they can't be set.
int Fs_KeepMode(int fd, const char* target);
// What stands at a name that is no regular file, for a message ("a FIFO",
// "a directory", ...), from its stat mode.
const char* Fs_KindOf(unsigned mode);
// Opens the temporary file beside target that a write goes to, for
// writing, created afresh: never through a link, never a device already
// there (a leftover regular file, FIFO or socket of the name is removed
// first); fails, errno set, for a target that is there and no regular
// file (a directory included, before anything is written).
// The descriptor (blocking) or -1; with why, a failure because of what
// stands at either name says which and what it is ("... is a FIFO, not a
// regular file").
int Fs_OpenTemp(const std::string& tmp, const char* target, std::string* why = nullptr);
// Reads a whole file; 1 on success with out filled.
int Fs_ReadAll(const char* path, std::string* out);
