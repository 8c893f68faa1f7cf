#include "widgets/qistring.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/debug.h"

uint32_t QIString::CapacityFor(uint32_t n)
{
    return ((n + 1) / QISTRING_GRANULE + 1) * QISTRING_GRANULE;
}

// A buffer of capacity bytes holding the first length bytes of from and a
// terminator.
static char* CopyOf(const char* from, uint32_t length, uint32_t capacity)
{
    char* buffer = (char*)Debug_Malloc(capacity);
    memcpy(buffer, from, length);
    buffer[length] = 0;
    return buffer;
}

QIString::QIString(const char* from)
{
    if (!from) return;
    length = (uint32_t)strlen(from);
    capacity = CapacityFor(length);
    text = CopyOf(from, length, capacity);
}

QIString::QIString(const QIString& other)
{
    if (!other.text) return;
    length = other.length;
    capacity = other.capacity;
    text = CopyOf(other.text, length, capacity);
}

QIString::~QIString() { Release(); }

void QIString::Release(void)
{
    Debug_Free(&text);
    capacity = 0;
    length = 0;
}

QIString QIString::Set(const char* from)
{
    char* buffer = nullptr;
    uint32_t n = 0, cap = 0;
    if (from) {
        n = (uint32_t)strlen(from);
        cap = CapacityFor(n);
        buffer = CopyOf(from, n, cap); // before the old buffer goes: from may lie in it
    }
    Release();
    text = buffer;
    length = n;
    capacity = cap;
    return *this;
}

QIString QIString::Assign(const QIString& other)
{
    if (&other == this) return *this;
    if (capacity == other.capacity && length != 0 && other.text) {
        memcpy(text, other.text, other.length + 1);
        length = other.length;
        return *this;
    }
    char* buffer = other.capacity && other.text ? CopyOf(other.text, other.length, other.capacity)
                                                : nullptr;
    Release();
    text = buffer;
    if (buffer) {
        capacity = other.capacity;
        length = other.length;
    }
    return *this;
}

void QIString::Format(int limit, const char* format, ...)
{
    if (limit < 0) limit = 0;
    char* scratch = (char*)Debug_Malloc((size_t)limit + 1);
    va_list ap;
    va_start(ap, format);
    int produced = vsnprintf(scratch, (size_t)limit + 1, format, ap);
    va_end(ap);
    if (produced < 0) produced = 0;
    if (produced > limit) produced = limit;
    const uint32_t n = (uint32_t)produced;
    if (capacity < CapacityFor(n)) {
        Release();
        capacity = CapacityFor(n);
        text = (char*)Debug_Malloc(capacity);
    }
    memcpy(text, scratch, n);
    text[n] = 0;
    length = n;
    Debug_Free(&scratch);
}

static int Lower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

static int CompareTexts(const char* a, uint32_t alen, const char* b, uint32_t blen)
{
    if (!a) return b ? QISTR_LESS : QISTR_EQUAL;
    if (!b) return QISTR_GREATER;
    const uint32_t n = alen < blen ? alen : blen;
    for (uint32_t i = 0; i < n; i++) {
        const int d = Lower((unsigned char)a[i]) - Lower((unsigned char)b[i]);
        if (d) return d < 0 ? QISTR_LESS : QISTR_GREATER;
    }
    if (alen == blen) return QISTR_EQUAL;
    return alen > blen ? QISTR_GREATER : QISTR_LESS;
}

int QIString::CompareCStr(const char* other) const
{
    return CompareTexts(text, length, other, other ? (uint32_t)strlen(other) : 0);
}

int QIString::Compare(const QIString& other) const
{
    return CompareTexts(text, length, other.text, other.length);
}

void QIString::SpaceToUnderscore(void)
{
    for (uint32_t i = 0; i < length; i++)
        if (text[i] == ' ') text[i] = '_';
}
