// The text-entry field over arbitrary keys: a buffer size, limit, class,
// alignment and starting text from the input, then key events of three
// bytes (scan code, character, modifiers). No byte past the buffer may
// change and the cursor stays within start .. length.
#include <cstdlib>
#include <cstring>

#include "fuzzsupport.h"
#include "ui/textedit.h"

enum { GUARD = 16, GUARDBYTE = 0xa5 };

static void Check(const TEXTFIELD& f, const uint8_t* mem, size_t size)
{
    const TEXTEDIT& e = f.edit;
    for (size_t i = 0; i < GUARD; i++)
        if (mem[i] != GUARDBYTE || mem[GUARD + size + i] != GUARDBYTE) abort();
    if (e.cursor < e.start || e.cursor > e.length) abort();
    if ((size_t)e.length >= size || strlen(e.buffer) != (size_t)e.length) abort();
}

static void fuzz_Field(const uint8_t* data, size_t n)
{
    if (n < 6) return;
    size_t size = 1 + data[0] % 64;
    int limit = (int)data[1] - 1;
    int charclass = data[2] | data[3] << 8;
    int alignment = 1 << (data[4] % 3);
    size_t textlen = data[5] % 80;
    data += 6;
    n -= 6;
    uint8_t mem[GUARD + 64 + GUARD];
    memset(mem, GUARDBYTE, sizeof mem);
    char* buffer = (char*)mem + GUARD;
    // The caller's text, unterminated when it fills the buffer.
    for (size_t i = 0; i < size; i++) buffer[i] = i < textlen && i < n ? (char)(data[i] | 1) : 0;
    TEXTFIELD f;
    TextField_Init(&f, 10, 10, 200, alignment, buffer, size, charclass, (int)textlen, (int)(textlen / 2), limit, 0);
    Check(f, mem, size);
    for (size_t at = textlen < n ? textlen : n; at + 3 <= n; at += 3) {
        TextField_Key(&f, data[at], data[at + 1], data[at + 2]);
        Check(f, mem, size);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD(fuzz_Field(data, size));
    return 0;
}
