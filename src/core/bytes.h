// Little-endian fields of binary files.
//
// Plain loads for readers that check sizes themselves, and a bounds-checked
// reader whose first failure sticks with its offset and what was expected
// there, so that a broken file is reported once, precisely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

inline uint32_t Bytes_U16(const uint8_t* p) { return (uint32_t)p[0] | (uint32_t)p[1] << 8; }
inline uint32_t Bytes_U32(const uint8_t* p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// Stores v at p, low byte first (the low 16 / 32 bits of v).
inline void Bytes_PutU16(uint8_t* p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
}
inline void Bytes_PutU32(uint8_t* p, uint32_t v)
{
    Bytes_PutU16(p, v);
    Bytes_PutU16(p + 2, v >> 16);
}
// Appends v to out, low byte first.
inline void Bytes_AppendU16(std::string* out, uint32_t v)
{
    out->push_back((char)(uint8_t)v);
    out->push_back((char)(uint8_t)(v >> 8));
}
inline void Bytes_AppendU32(std::string* out, uint32_t v)
{
    Bytes_AppendU16(out, v);
    Bytes_AppendU16(out, v >> 16);
}
inline void Bytes_AppendU16(std::vector<uint8_t>* out, uint32_t v)
{
    out->push_back((uint8_t)v);
    out->push_back((uint8_t)(v >> 8));
}
inline void Bytes_AppendU32(std::vector<uint8_t>* out, uint32_t v)
{
    Bytes_AppendU16(out, v);
    Bytes_AppendU16(out, v >> 16);
}

struct BYTEREADER {
    const uint8_t* data;
    size_t size;
    size_t at;           // the next byte to read
    size_t failat;       // where the first failure was
    const char* expected; // what was expected there; null while all is well
};

// A reader at the start of size bytes.
void Bytes_Init(BYTEREADER* r, const uint8_t* data, size_t size);
// Records a failure at an offset (only the first one sticks); returns 0.
int Bytes_Fail(BYTEREADER* r, size_t at, const char* expected);
// The next u16 / u32, which must lie in lo..hi; 0 (a failure recorded, "the
// file to go on" at the end of the data) otherwise, and after any failure.
int Bytes_ReadU16(BYTEREADER* r, uint32_t lo, uint32_t hi, const char* what, uint32_t* out);
int Bytes_ReadU32(BYTEREADER* r, uint32_t lo, uint32_t hi, const char* what, uint32_t* out);
