#include "core/bytes.h"

void Bytes_Init(BYTEREADER* r, const uint8_t* data, size_t size)
{
    r->data = data;
    r->size = size;
    r->at = 0;
    r->failat = 0;
    r->expected = nullptr;
}

int Bytes_Fail(BYTEREADER* r, size_t at, const char* expected)
{
    if (!r->expected) {
        r->failat = at;
        r->expected = expected;
    }
    return 0;
}

static int ReadField(BYTEREADER* r, size_t width, uint32_t lo, uint32_t hi, const char* what,
                     uint32_t* out)
{
    if (r->expected) return 0;
    if (r->size - r->at < width) return Bytes_Fail(r, r->size, "the file to go on");
    uint32_t v = width == 2 ? Bytes_U16(r->data + r->at) : Bytes_U32(r->data + r->at);
    if (v < lo || v > hi) return Bytes_Fail(r, r->at, what);
    r->at += width;
    *out = v;
    return 1;
}

int Bytes_ReadU16(BYTEREADER* r, uint32_t lo, uint32_t hi, const char* what, uint32_t* out)
{
    return ReadField(r, 2, lo, hi, what, out);
}

int Bytes_ReadU32(BYTEREADER* r, uint32_t lo, uint32_t hi, const char* what, uint32_t* out)
{
    return ReadField(r, 4, lo, hi, what, out);
}
