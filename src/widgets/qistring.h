// The widget library's owned, growable text.
//
// Names, tips, property names and values and image file names are QIStrings:
// an 8-bit text with a capacity that grows in steps of QISTRING_GRANULE and a
// case-blind three-way comparison. Every string owns its buffer (from the
// debug heap); copies never share one.
#pragma once

#include <cstdint>

enum { QISTRING_GRANULE = 16 };

// The results of the comparisons.
enum { QISTR_LESS = 0, QISTR_EQUAL = 1, QISTR_GREATER = 2 };

class QIString {
public:
    char* text = nullptr;  // null for a string that never held a value
    uint32_t capacity = 0; // bytes of text (0 when text is null)
    uint32_t length = 0;   // characters before the terminator

    QIString() {}
    // A null text gives the empty string without a buffer.
    QIString(const char* from);
    QIString(const QIString& other);
    ~QIString();
    QIString& operator=(const QIString& other)
    {
        Assign(other);
        return *this;
    }

    // The capacity for a text of n characters: the smallest multiple of the
    // granule strictly greater than n + 1.
    static uint32_t CapacityFor(uint32_t n);

    // Replaces the text (null empties the string); a text inside this
    // string's own buffer is copied before the buffer goes. Returns a copy.
    QIString Set(const char* from);
    // Takes over other's text, reusing this buffer when the capacities are
    // equal and this string is not empty; assigning a string to itself
    // changes nothing. Returns a copy.
    QIString Assign(const QIString& other);
    // printf into the string, cut at limit characters; length is what was
    // stored. The buffer grows when needed and never shrinks.
    void Format(int limit, const char* format, ...) __attribute__((format(printf, 3, 4)));
    // Case-blind ("C" locale) three-way comparisons: QISTR_LESS, _EQUAL or
    // _GREATER. A string without text is equal only to another without
    // text (a null pointer for CompareCStr) and less than any text, even "".
    int CompareCStr(const char* other) const;
    int Compare(const QIString& other) const;
    // Every blank among the first length characters becomes "_".
    void SpaceToUnderscore(void);

    // The text, "" when there is none.
    const char* c_str(void) const { return text ? text : ""; }
    int empty(void) const { return length == 0; }

private:
    void Release(void);
};
