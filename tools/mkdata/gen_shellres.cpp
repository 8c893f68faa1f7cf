// The shell's resource library: packer and file layout. The library's own
// pictures and fonts join it with the front end's pages.
#include "gen_shellres.h"

#include <algorithm>
#include <cstring>

#include "core/bytes.h"

static const size_t WINDOW = 4096, MIN_MATCH = 3, MAX_MATCH = 18, CHAIN = 128;

std::vector<uint8_t> Mkdata_ShellPack(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> out;
    // Positions by their first three bytes, newest first through prev.
    std::vector<int64_t> head(1 << 16, -1), prev(size, -1);
    auto hash = [&](size_t i) {
        return (size_t)((data[i] << 8 ^ data[i + 1] << 4 ^ data[i + 2]) & 0xFFFF);
    };
    size_t flagAt = 0;
    int items = 8;
    size_t i = 0;
    auto insert = [&](size_t p) {
        if (p + MIN_MATCH > size) return;
        size_t h = hash(p);
        prev[p] = head[h];
        head[h] = (int64_t)p;
    };
    while (i < size) {
        if (items == 8) {
            flagAt = out.size();
            out.push_back(0);
            items = 0;
        }
        size_t bestLength = 0, bestDistance = 0;
        if (i + MIN_MATCH <= size) {
            size_t limit = std::min(MAX_MATCH, size - i);
            size_t tries = 0;
            for (int64_t p = head[hash(i)]; p >= 0 && i - (size_t)p <= WINDOW && tries < CHAIN;
                 p = prev[p], tries++) {
                size_t n = 0;
                while (n < limit && data[(size_t)p + n] == data[i + n]) n++;
                if (n > bestLength) {
                    bestLength = n;
                    bestDistance = i - (size_t)p;
                }
            }
        }
        if (bestLength >= MIN_MATCH) {
            size_t field = WINDOW - bestDistance; // the distance as the unpacker reads it
            out.push_back((uint8_t)(field & 0xFF));
            out.push_back((uint8_t)((bestLength - MIN_MATCH) << 4 | (field >> 8)));
            for (size_t k = 0; k < bestLength; k++) insert(i + k);
            i += bestLength;
        } else {
            out[flagAt] |= (uint8_t)(1 << items);
            out.push_back(data[i]);
            insert(i);
            i++;
        }
        items++;
    }
    return out;
}

std::vector<uint8_t> Mkdata_ShellContainer(
    uint32_t tag, const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& chunks)
{
    std::vector<uint8_t> out(8);
    for (const auto& c : chunks) {
        size_t at = out.size();
        out.resize(at + 8);
        Bytes_PutU32(&out[at], c.first);
        Bytes_PutU32(&out[at + 4], (uint32_t)(8 + c.second.size()));
        out.insert(out.end(), c.second.begin(), c.second.end());
    }
    Bytes_PutU32(&out[0], tag);
    Bytes_PutU32(&out[4], (uint32_t)out.size());
    return out;
}

void Mkdata_ShellLibrary(const std::vector<MKSHELLRES>& resources, std::vector<uint8_t>* index,
                         std::vector<uint8_t>* data)
{
    index->assign(12 + 32 * resources.size(), 0);
    memcpy(index->data(), "QVSHLIB1", 8);
    Bytes_PutU32(&(*index)[8], (uint32_t)resources.size());
    data->clear();
    for (size_t r = 0; r < resources.size(); r++) {
        uint8_t* e = &(*index)[12 + 32 * r];
        const MKSHELLRES& res = resources[r];
        memcpy(e, res.name.c_str(), std::min<size_t>(res.name.size(), 11));
        std::vector<uint8_t> packed = Mkdata_ShellPack(res.content.data(), res.content.size());
        Bytes_PutU32(e + 12, res.type);
        Bytes_PutU32(e + 16, 0);
        Bytes_PutU32(e + 20, (uint32_t)data->size());
        Bytes_PutU32(e + 24, (uint32_t)packed.size());
        Bytes_PutU32(e + 28, (uint32_t)res.content.size());
        data->insert(data->end(), packed.begin(), packed.end());
    }
}

#ifndef MKDATA_FUNCTIONS_ONLY
#include "mkdata.h"
#include "shell/shellres.h"

// fuzz_shellres takes a u32 index length, the index, then the data file.
static int Seeds(const std::string& target, const std::string& dir)
{
    if (target != "fuzz_shellres") return 1;
    std::vector<uint8_t> pixl(8 + 6 * 4, 9), palette(768);
    Bytes_PutU16(&pixl[4], 6);
    Bytes_PutU16(&pixl[6], 4);
    for (size_t i = 0; i < palette.size(); i++) palette[i] = (uint8_t)(i / 3);
    std::vector<MKSHELLRES> res = {
        {"main", SHELLRES_FLT,
         Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_RGB3, palette}, {SHELLRES_PIXL, pixl}})},
        {"scroll", SHELLRES_FLT, Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_PIXL, pixl}})},
        {"main", SHELLRES_PIXL, Mkdata_ShellContainer(SHELLRES_FLT, {})},
    };
    std::vector<uint8_t> index, data, seed(4);
    Mkdata_ShellLibrary(res, &index, &data);
    Bytes_PutU32(seed.data(), (uint32_t)index.size());
    seed.insert(seed.end(), index.begin(), index.end());
    seed.insert(seed.end(), data.begin(), data.end());
    return Mkdata_MakeDirs(dir) && Mkdata_WriteFile(dir + "/library.bin", seed.data(), seed.size());
}

MKDATA_REGISTER(shellres, "shellres", nullptr, Seeds);
#endif
