// Word wrap over any bytes: a section, a width and a character-width rule
// from the first bytes, the text after them, read both from memory and from
// a file. No line may be longer than 157 characters plus the two-space
// indent, and nothing past the text (or past 4999 bytes of the file) may be
// read: the text is handed over in a buffer of exactly its size.
#include <cstdlib>
#include <cstring>

#include "core/textlines.h"
#include "fuzzsupport.h"

static int s_Modulus;

static int CharWidth(int c) { return s_Modulus ? c % s_Modulus : 0; }

static void CheckLine(const char* line)
{
    if (strlen(line) > TEXT_LINEMAX + 2) abort();
}

static void fuzz_Wrap(const uint8_t* data, size_t n)
{
    if (n < 4) return;
    int section = data[0] % 12;
    int width = data[1] | (data[2] & 0x7f) << 8;
    if (data[2] & 0x80) width = -width;
    s_Modulus = data[3] % 24; // 0: every character 0 pixels wide
    data += 4;
    n -= 4;
    uint8_t* text = (uint8_t*)malloc(n ? n : 1);
    memcpy(text, data, n);
    Text_WrapSection((const char*)text, (int)n, section, width, CharWidth, CheckLine);
    free(text);
    if (const char* path = QvFuzz_WriteTemp(".txt", data, n))
        if (!Text_WrapFileSection(path, section, width, CharWidth, CheckLine)) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(fuzz_Wrap(data, size));
    return 0;
}
