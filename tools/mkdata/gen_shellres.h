// The shell's resource library as mkdata writes it: an LZSS packer the
// shell's unpacker reads, chunk containers, and the index and data files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct MKSHELLRES {
    std::string name;             // at most 11 characters
    uint32_t type;                // SHELLRES_FLT for the shell's own
    std::vector<uint8_t> content; // the unpacked container
};

// The LZSS stream of data: greedy matches of 3..18 bytes up to 4096 back.
std::vector<uint8_t> Mkdata_ShellPack(const uint8_t* data, size_t size);
// A container {tag, size} of the sub-chunks, each {tag, size, data}.
std::vector<uint8_t> Mkdata_ShellContainer(
    uint32_t tag, const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& chunks);
// The index and data files of the resources, packed, in the given order.
void Mkdata_ShellLibrary(const std::vector<MKSHELLRES>& resources, std::vector<uint8_t>* index,
                         std::vector<uint8_t>* data);
// The demo world's front end: palette, page backgrounds, fonts of slots
// 0..13, scroll-bar strips and navigation images.
void Mkdata_ShellDemoResources(std::vector<MKSHELLRES>* out);
