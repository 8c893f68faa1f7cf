// The text-file tokenizer.
//
// The whole file is held in memory and scanned by position, so a peek is a
// saved {pos, line} pair and nothing is ever read past length. Bytes up to
// and including ' ' are white space; NUL bytes are turned into blanks when
// the text is loaded, so hostile files can neither end the text early nor
// hide bytes from the scanner.
//
// A quoted string never spans lines: an unterminated one ends at the end of
// its line, which keeps the line count of every later error right.
//
// The compound readers (paren, keyword, list and brace forms) return 0 when
// the text ends early and treat any other misplaced token as fatal; a
// bracket found where a value belongs is a broken file, not the value 0.
#include "core/tfparse.h"

#include "core/debug.h"
#include "core/error.h"
#include "core/fspath.h"
#include "core/gll.h"
#include "core/tlog.h"
#include "core/utils.h"

#include <sys/stat.h>

#include <cfloat>
#include <charconv>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <strings.h>

// The text ends in a NUL that the scanner stops at.
enum { TF_PAD = 1 };

// Shown as the found token when the text ends where a bracket was required.
static const char TF_EOF_TEXT[] = "EOF";

static int IsBracket(unsigned char c)
{
    return c == '(' || c == ')' || c == '{' || c == '}';
}

static TF_PARSER* NewParser(const char* name, size_t length)
{
    TF_PARSER* parser = (TF_PARSER*)Debug_Calloc(1, sizeof(TF_PARSER));
    Str_CopySafe(parser->filename, name, sizeof(parser->filename));
    parser->text = (char*)Debug_Malloc(length + TF_PAD);
    memset(parser->text + length, 0, TF_PAD);
    parser->length = length;
    parser->pos = 0;
    parser->line = 1;
    return parser;
}

// A NUL inside the text would end C-string handling of the buffer early;
// as white space it separates tokens like any other control byte.
static void BlankNulBytes(TF_PARSER* parser)
{
    char* p = parser->text;
    char* end = parser->text + parser->length;
    while ((p = static_cast<char*>(memchr(p, '\0', (size_t)(end - p)))) != nullptr) *p++ = ' ';
}

TF_PARSER* TF_Open(const char* path)
{
    FILE* file = Fs_Open(path, "rb");
    if (!file) return nullptr;

    // A directory or a device opens fine but has no meaningful size.
    struct stat info;
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        fclose(file);
        return nullptr;
    }

    size_t size = (size_t)info.st_size;
    // Messages name the file as a shell would find it, not as configured.
    TF_PARSER* parser = NewParser(Fs_Resolve(path).c_str(), size);
    size_t got = size ? fread(parser->text, 1, size, file) : 0;
    fclose(file);
    if (got != size) {
        TF_Close(parser);
        ERR_FATAL(ERRC_FATAL, "Only read %d/%d bytes for file %s", (int)got, (int)size,
                  Fs_Resolve(path).c_str());
    }
    BlankNulBytes(parser);
    return parser;
}

TF_PARSER* TF_OpenText(const char* name, const char* text, size_t length)
{
    ASSERT(text || length == 0);
    TF_PARSER* parser = NewParser(name, length);
    if (length) memcpy(parser->text, text, length);
    BlankNulBytes(parser);
    return parser;
}

void TF_Close(TF_PARSER* parser)
{
    if (!parser) return;
    Debug_Free(&parser->text);
    Debug_Free(&parser);
}

// Character classes for the scanner. The text ends in a NUL (embedded NULs
// were blanked at load), which every loop below stops at, so the hot loops
// need no length test.
enum { CC_WORD = 0, CC_BLANK = 1, CC_NEWLINE = 2, CC_COMMENT = 3, CC_QUOTE = 4, CC_BRACKET = 5, CC_END = 6 };

struct CHARCLASSES {
    unsigned char c[256];
    constexpr CHARCLASSES() : c()
    {
        for (int i = 1; i <= ' '; i++) c[i] = CC_BLANK;
        c[(unsigned char)'\n'] = CC_NEWLINE;
        c[(unsigned char)';'] = CC_COMMENT;
        c[(unsigned char)'"'] = CC_QUOTE;
        for (unsigned char b : {'(', ')', '{', '}'}) c[b] = CC_BRACKET;
        c[0] = CC_END;
    }
};
static constexpr CHARCLASSES s_class;

// The one scanner, for the readers and for TF_ScanToken. With out, the
// token's own text is copied while scanning, cut at last: tokens are short,
// and a call to memcpy per token costs more than the copy. Inlined into both
// callers, so the scan without a copy carries none of it.
__attribute__((always_inline)) static inline int Scan(const char* text, size_t length, size_t* pos,
                                                      int* line, TF_SPAN* span, char* out,
                                                      char* last)
{
    const char* p = text + *pos;
    for (;;) {
        while (s_class.c[(unsigned char)*p] == CC_BLANK) p++;
        unsigned char k = s_class.c[(unsigned char)*p];
        if (k == CC_NEWLINE) {
            (*line)++;
            p++;
        } else if (k == CC_COMMENT) {
            const char* eol = static_cast<const char*>(memchr(p, '\n', length - (size_t)(p - text)));
            p = eol ? eol : text + length;
        } else if (k == CC_END) {
            *pos = length;
            return 0;
        } else {
            break;
        }
    }

    span->start = (size_t)(p - text);
    span->quoted = 0;
    span->closed = 0;
    unsigned char k = s_class.c[(unsigned char)*p];
    if (k == CC_QUOTE) {
        // A quoted string ends at its closing quote or, unterminated, at the line's end.
        span->quoted = 1;
        p++;
        while (*p && *p != '"' && *p != '\n' && *p != '\r') {
            if (out && out < last) *out++ = *p;
            p++;
        }
        if (*p == '"') {
            span->closed = 1;
            p++;
        }
    } else if (k == CC_BRACKET) {
        if (out && out < last) *out++ = *p;
        p++;
    } else {
        for (char c; s_class.c[(unsigned char)(c = *p)] == CC_WORD; p++)
            if (out && out < last) *out++ = c;
    }
    if (out) *out = '\0';
    span->end = (size_t)(p - text);
    *pos = span->end;
    return 1;
}

int TF_ScanToken(const char* text, size_t length, size_t* pos, int* line, TF_SPAN* span)
{
    ASSERT(text && pos && line && span && *pos <= length);
    return Scan(text, length, pos, line, span, nullptr, nullptr);
}

// The token reader behind every form. quoted tells a quoted ")" (a string)
// from the bracket. Characters beyond size - 1 are consumed and dropped.
static int ReadToken(TF_PARSER* parser, char* buffer, size_t size, int* quoted)
{
    ASSERT(parser && buffer && size > 0);
    TF_SPAN span;
    buffer[0] = '\0';
    *quoted = 0;
    if (!Scan(parser->text, parser->length, &parser->pos, &parser->line, &span, buffer,
              buffer + size - 1))
        return 0;
    *quoted = span.quoted;
    return 1;
}

int TF_GetToken(TF_PARSER* parser, char* buffer, size_t size)
{
    int quoted;
    return ReadToken(parser, buffer, size, &quoted);
}

int TF_GetTokenQuoted(TF_PARSER* parser, char* buffer, size_t size, int* quoted)
{
    return ReadToken(parser, buffer, size, quoted);
}

int TF_PeekToken(TF_PARSER* parser, char* buffer, size_t size)
{
    ASSERT(parser);
    size_t pos = parser->pos;
    int line = parser->line;
    int result = TF_GetToken(parser, buffer, size);
    parser->pos = pos;
    parser->line = line;
    return result;
}

// A quoted "(" is shown with its quotes so the message doesn't read
// "Expected [(] but found [(]".
[[noreturn]] static void ReportFound(TF_PARSER* parser, const char* expected, const char* token,
                                     int quoted)
{
    if (!quoted) TF_ReportExpected(parser, expected, token);
    char shown[TF_FIELD + 2];
    snprintf(shown, sizeof(shown), "\"%s\"", token);
    TF_ReportExpected(parser, expected, shown);
}

// The next token must be the bracket what. At the end of the text: 0 when
// quiet, otherwise fatal.
static int ExpectBracket(TF_PARSER* parser, const char* what, int quietAtEnd)
{
    char token[TF_FIELD];
    int quoted;
    if (!ReadToken(parser, token, sizeof(token), &quoted)) {
        if (quietAtEnd) return 0;
        TF_ReportExpected(parser, what, TF_EOF_TEXT);
    }
    if (quoted || strcmp(token, what) != 0) ReportFound(parser, what, token, quoted);
    return 1;
}

static int IsBareBracket(const char* token, int quoted)
{
    return !quoted && IsBracket((unsigned char)token[0]) && token[1] == '\0';
}

// A value of a compound form: 0 at the end of the text; a bracket is fatal.
static int ReadValue(TF_PARSER* parser, char* buffer, size_t size, const char* what)
{
    int quoted;
    if (!ReadToken(parser, buffer, size, &quoted)) return 0;
    if (IsBareBracket(buffer, quoted)) TF_ReportExpected(parser, what, buffer);
    return 1;
}

int TF_GetValue(TF_PARSER* parser, char* buffer, size_t size)
{
    return ReadValue(parser, buffer, size, "value");
}

int TF_ExpectKeyword(TF_PARSER* parser, const char* keyword, char* buffer)
{
    ASSERT(keyword);
    if (!TF_GetToken(parser, buffer, TF_FIELD)) return 0;
    if (strcasecmp(buffer, keyword) != 0) TF_ReportExpected(parser, keyword, buffer);
    return 1;
}

int TF_ExpectKeywordIf(TF_PARSER* parser, int alreadyread, const char* keyword)
{
    if (alreadyread) return 1;
    char buffer[TF_FIELD];
    return TF_ExpectKeyword(parser, keyword, buffer);
}

int TF_ExpectOpenParen(TF_PARSER* parser)
{
    return ExpectBracket(parser, "(", 1);
}

int TF_ExpectCloseParen(TF_PARSER* parser)
{
    return ExpectBracket(parser, ")", 1);
}

int TF_ExpectOpenBrace(TF_PARSER* parser)
{
    return ExpectBracket(parser, "{", 1);
}

int TF_ExpectCloseBrace(TF_PARSER* parser)
{
    return ExpectBracket(parser, "}", 1);
}

int TF_ExpectEmptyParens(TF_PARSER* parser)
{
    return TF_ExpectOpenParen(parser) && TF_ExpectCloseParen(parser);
}

static void CopyField(char* field, const char* token)
{
    Str_CopySafe(field, token, TF_FIELD);
}

// Whether a decimal number that doesn't fit a double is huge (1) or tiny
// (0): the position of its first significant digit plus its exponent.
static int DecimalOverflows(const char* p)
{
    long magnitude = 0;
    while (*p == '0') p++;
    while (*p >= '0' && *p <= '9') {
        magnitude++;
        p++;
    }
    if (*p == '.') {
        p++;
        if (magnitude == 0) {
            while (*p == '0') {
                magnitude--;
                p++;
            }
            if (!(*p >= '1' && *p <= '9')) return 0;
        }
        while (*p >= '0' && *p <= '9') p++;
    }
    long exponent = 0;
    if (*p == 'e' || *p == 'E') {
        p++;
        int negative = 0;
        if (*p == '-' || *p == '+') negative = (*p++ == '-');
        while (*p >= '0' && *p <= '9') {
            if (exponent < 100000) exponent = exponent * 10 + (*p - '0');
            p++;
        }
        if (negative) exponent = -exponent;
    }
    return magnitude + exponent > 0;
}

// Leading decimal number as strtod reads it, without the locale, hex forms,
// infinities or NaN: none of them belongs in a definition file, and a NaN
// would poison every computation that touched it. Clamped to float range.
static float TokenToFloat(const char* token)
{
    const char* p = token;
    while (*p == ' ' || *p == '\t') p++;
    int negative = 0;
    if (*p == '-' || *p == '+') negative = (*p++ == '-');
    if (!((*p >= '0' && *p <= '9') || (*p == '.' && p[1] >= '0' && p[1] <= '9'))) return 0.0f;

    double value = 0.0;
    auto result = std::from_chars(p, p + strlen(p), value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        value = DecimalOverflows(p) ? DBL_MAX : 0.0;
    } else if (result.ec != std::errc()) {
        return 0.0f;
    }
    if (!(value <= FLT_MAX)) value = FLT_MAX;
    float f = (float)value;
    return negative ? -f : f;
}

int TF_GetString(TF_PARSER* parser, char* field)
{
    char token[TF_LONGTOKEN];
    int result = TF_GetToken(parser, token, sizeof(token));
    CopyField(field, token);
    return result;
}

int TF_TokenToInt(TF_PARSER* parser, const char* token)
{
    const char* c = token;
    while (*c == ' ' || *c == '\t') c++;
    if (*c == '-' || *c == '+') c++;
    if (*c < '0' || *c > '9') return Str_ToInt(token);
    int value;
    if (!Str_ReadInt(token, &value))
        TF_Error(parser, "Number [%s] is not a whole number from %d to %d", token, INT_MIN, INT_MAX);
    return value;
}

int TF_GetInt(TF_PARSER* parser, char* scratch, int* value)
{
    if (!TF_GetToken(parser, scratch, TF_FIELD)) return 0;
    *value = Str_ToInt(scratch);
    return 1;
}

int TF_GetFloat(TF_PARSER* parser, char* scratch, float* value)
{
    if (!TF_GetToken(parser, scratch, TF_FIELD)) return 0;
    *value = TokenToFloat(scratch);
    return 1;
}

int TF_GetFilename(TF_PARSER* parser, char* name)
{
    char token[TF_LONGTOKEN];
    if (!TF_GetToken(parser, token, sizeof(token))) TF_ReportExpected(parser, "_filename_", "");
    Str_CopySafe(name, token, TF_FILENAME);
    if (strlen(token) > TF_FILENAME - 1) {
        TLOG(TLOG_WARNING, "Filename [%s] too long - truncated", token);
        TF_ReportErrorLine(parser);
    }
    return 1;
}

// "(" count integers ")".
static int ParenInts(TF_PARSER* parser, int* const* values, int count)
{
    if (!ExpectBracket(parser, "(", 1)) return 0;
    char token[TF_FIELD];
    for (int i = 0; i < count; i++) {
        if (!ReadValue(parser, token, sizeof(token), "_number_")) return 0;
        *values[i] = TF_TokenToInt(parser, token);
    }
    return ExpectBracket(parser, ")", 1);
}

int TF_GetParenInt(TF_PARSER* parser, int* a)
{
    int* const values[] = {a};
    return ParenInts(parser, values, 1);
}

int TF_GetParenInt2(TF_PARSER* parser, int* a, int* b)
{
    int* const values[] = {a, b};
    return ParenInts(parser, values, 2);
}

int TF_GetParenInt3(TF_PARSER* parser, int* a, int* b, int* c)
{
    int* const values[] = {a, b, c};
    return ParenInts(parser, values, 3);
}

int TF_GetParenInt4(TF_PARSER* parser, int* a, int* b, int* c, int* d)
{
    int* const values[] = {a, b, c, d};
    return ParenInts(parser, values, 4);
}

int TF_GetParenString(TF_PARSER* parser, char* field)
{
    if (!ExpectBracket(parser, "(", 1)) return 0;
    char token[TF_LONGTOKEN];
    if (!ReadValue(parser, token, sizeof(token), "_string_")) return 0;
    CopyField(field, token);
    return ExpectBracket(parser, ")", 1);
}

int TF_GetKeywordInt(TF_PARSER* parser, const char* keyword, int* a)
{
    char buffer[TF_FIELD];
    return TF_ExpectKeyword(parser, keyword, buffer) && TF_GetParenInt(parser, a);
}

int TF_GetKeywordInt2(TF_PARSER* parser, const char* keyword, int* a, int* b)
{
    char buffer[TF_FIELD];
    return TF_ExpectKeyword(parser, keyword, buffer) && TF_GetParenInt2(parser, a, b);
}

int TF_GetKeywordInt3(TF_PARSER* parser, const char* keyword, int* a, int* b, int* c)
{
    char buffer[TF_FIELD];
    return TF_ExpectKeyword(parser, keyword, buffer) && TF_GetParenInt3(parser, a, b, c);
}

int TF_GetKeywordString(TF_PARSER* parser, const char* keyword, char* field)
{
    char buffer[TF_FIELD];
    return TF_ExpectKeyword(parser, keyword, buffer) && TF_GetParenString(parser, field);
}

// Reads "(" and then one list item into token per call: 1 with an item,
// 0 at the closing ")". An item beyond capacity (n) is reported against ")"
// rather than written past the caller's array.
static int NextListItem(TF_PARSER* parser, char* token, size_t size, int count, int n,
                        const char* what)
{
    int quoted;
    if (!ReadToken(parser, token, size, &quoted)) TF_ReportExpected(parser, ")", TF_EOF_TEXT);
    if (!quoted && strcmp(token, ")") == 0) return 0;
    if (count >= n) ReportFound(parser, ")", token, quoted);
    if (IsBareBracket(token, quoted)) TF_ReportExpected(parser, what, token);
    return 1;
}

int TF_GetIntList(TF_PARSER* parser, int* dest, int n)
{
    ExpectBracket(parser, "(", 0);
    char token[TF_FIELD];
    int count = 0;
    while (NextListItem(parser, token, sizeof(token), count, n, "_number_")) {
        dest[count++] = Str_ToInt(token);
    }
    return count;
}

int TF_GetStringList(TF_PARSER* parser, char (*dest)[TF_FIELD], int n)
{
    ExpectBracket(parser, "(", 0);
    char token[TF_LONGTOKEN];
    int count = 0;
    while (NextListItem(parser, token, sizeof(token), count, n, "_string_")) {
        CopyField(dest[count++], token);
    }
    return count;
}

int TF_GetFloatList(TF_PARSER* parser, float* dest, int n)
{
    ExpectBracket(parser, "(", 0);
    char token[TF_FIELD];
    int count = 0;
    while (NextListItem(parser, token, sizeof(token), count, n, "_number_")) {
        dest[count++] = TokenToFloat(token);
    }
    return count;
}

int TF_GetBraceInt(TF_PARSER* parser, GLL* list)
{
    ASSERT(list);
    if (!ExpectBracket(parser, "{", 1)) return 0;
    char token[TF_FIELD];
    for (;;) {
        int quoted;
        if (!ReadToken(parser, token, sizeof(token), &quoted)) return 0;
        if (!quoted && strcmp(token, "}") == 0) return 1;
        if (IsBareBracket(token, quoted)) TF_ReportExpected(parser, "_number_", token);
        int* value = (int*)Debug_Malloc(sizeof(int));
        *value = Str_ToInt(token);
        GLL_GoLast(list);
        GLL_InsertAfter(list, value);
    }
}

void TF_Error(TF_PARSER* parser, const char* fmt, ...)
{
    char message[TF_LONGTOKEN + 256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(message, sizeof(message), fmt, ap);
    va_end(ap);

    if (parser) {
        TLOG(TLOG_ERROR, "File : %s", parser->filename);
        TLOG(TLOG_ERROR, "Line : %d", parser->line);
        Error_AddContext("File : %s", parser->filename);
        Error_AddContext("Line : %d", parser->line);
        Error_SetTextPosition(parser->filename, parser->line);
    }
    ERR_FATAL(ERRC_PARSE, "%s", message);
}

void TF_ReportExpected(TF_PARSER* parser, const char* expected, const char* found)
{
    TF_Error(parser, "Expected [%s] but found [%s]", expected ? expected : "",
             found ? found : "");
}

void TF_ReportErrorLine(TF_PARSER* parser)
{
    if (!parser) return;
    TLOG(TLOG_ERROR, "Error in file [%s] at line [%d]", parser->filename, parser->line);
}

void TF_UnderscoreToSpace(char* text)
{
    if (!text) return;
    for (; *text; text++) {
        if (*text == '_') *text = ' ';
    }
}
