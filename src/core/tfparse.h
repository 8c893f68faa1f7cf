// The text-file tokenizer.
//
// Tokens are quoted strings (no escapes; the quotes are dropped), the single
// characters ( ) { } even when touching words, and runs of other non-space
// characters. ';' starts a comment to the end of the line. A quoted string
// never spans lines: an unterminated one ends at the end of its line. Bytes
// up to ' ' (NUL included) are white space. Lines are counted for error
// reports: line 1 at the start, one more per '\n' ("\r\n" counts once).
//
// Errors that a definition file can't recover from go through TF_Error:
// "File : %s" and "Line : %d" are logged, then the fatal "Text file parsing
// error" with the message.
#pragma once

#include <cstddef>

struct GLL;

enum {
    TF_FIELD = 64,       // string fields: 63 characters and the terminator
    TF_FILENAME = 13,    // file names: 12 characters and the terminator
    TF_LONGTOKEN = 1024, // TF_GetString reads tokens up to this size
};

struct TF_PARSER {
    char filename[260];
    char* text;          // the whole file, NUL-terminated
    size_t length;
    size_t pos;
    int line;
};

// A parser over the whole file (line 1), or null when it can't be opened.
// A short read is fatal: "Only read %d/%d bytes for file %s".
TF_PARSER* TF_Open(const char* path);
// A parser over a copy of text, reported under name (tests, fuzzing).
TF_PARSER* TF_OpenText(const char* name, const char* text, size_t length);
// Frees the parser and its text; null is nothing to do.
void TF_Close(TF_PARSER* parser);

// Where one token lies in a text, for readers that copy it and for tools that
// edit the text in place around it.
struct TF_SPAN {
    size_t start;  // its first byte (the opening quote of a quoted string)
    size_t end;    // one past its last byte (past the closing quote)
    int quoted;    // a quoted string
    int closed;    // a quoted string whose closing quote is on its line
};
// The token at or after *pos in text, which holds length bytes followed by a
// NUL and no NUL before it: 1 with span filled and *pos past the token, 0 at
// the end (*pos = length). *line grows by one per line break skipped.
int TF_ScanToken(const char* text, size_t length, size_t* pos, int* line, TF_SPAN* span);
// The token's own text: a quoted string without its quotes.
inline size_t TF_SpanTextStart(const TF_SPAN* span) { return span->start + (span->quoted ? 1 : 0); }
inline size_t TF_SpanTextEnd(const TF_SPAN* span) { return span->end - (span->closed ? 1 : 0); }

// 1 with the next token cut to size - 1 characters; 0 at the end of the text.
int TF_GetToken(TF_PARSER* parser, char* buffer, size_t size);
// As TF_GetToken, leaving the parser where it was.
int TF_PeekToken(TF_PARSER* parser, char* buffer, size_t size);
// As TF_GetToken; *quoted tells a quoted string, whose text may look like a
// bracket, from the bracket itself.
int TF_GetTokenQuoted(TF_PARSER* parser, char* buffer, size_t size, int* quoted);
// Reads the next token as the value of a key line: 1 when it is one, 0
// quietly at the end of the text; a bare bracket, which closes or opens a
// block rather than giving a value, is the fatal "Expected [value] but found
// [%s]".
int TF_GetValue(TF_PARSER* parser, char* buffer, size_t size);

// Reads the next token into buffer (TF_FIELD bytes); 1 when it equals keyword
// without regard to case, 0 quietly at the end of the text; anything else is
// the fatal "Expected [%s] but found [%s]".
int TF_ExpectKeyword(TF_PARSER* parser, const char* keyword, char* buffer);
// As TF_ExpectKeyword, but reads nothing and returns 1 when alreadyread.
int TF_ExpectKeywordIf(TF_PARSER* parser, int alreadyread, const char* keyword);
// The next token must be that character, unquoted: 1 when it is, 0 quietly at
// the end of the text, any other token the fatal "Expected [%s] but found
// [%s]".
int TF_ExpectOpenParen(TF_PARSER* parser);
int TF_ExpectCloseParen(TF_PARSER* parser);
int TF_ExpectOpenBrace(TF_PARSER* parser);
int TF_ExpectCloseBrace(TF_PARSER* parser);
// "(" then ")"; 0 when the text ends before either.
int TF_ExpectEmptyParens(TF_PARSER* parser);

// A token as an integer: text that is no number gives 0, as it always has;
// one that starts as a number but is no whole int ("1e3", "4.5",
// "99999999999") is fatal, naming it, rather than read as another number.
int TF_TokenToInt(TF_PARSER* parser, const char* token);
// Next token (read up to TF_LONGTOKEN) into a TF_FIELD-byte field; 0 at end.
int TF_GetString(TF_PARSER* parser, char* field);
// Next token as a signed decimal: the leading sign and digits as atoi reads
// them, clamped to int (a token that is not a number gives 0); scratch holds
// the token (TF_FIELD bytes); 0 only at the end of the text.
int TF_GetInt(TF_PARSER* parser, char* scratch, int* value);
// As TF_GetInt for a leading decimal float, clamped to +-FLT_MAX; NaN,
// infinities and other non-numbers give 0.0f.
int TF_GetFloat(TF_PARSER* parser, char* scratch, float* value);
// Next token as a file name into a TF_FILENAME field; a longer one is cut to
// 12 and logged ("Filename [%s] too long - truncated", then "Error in file
// [%s] at line [%d]"); a missing token is fatal ("_filename_" expected).
int TF_GetFilename(TF_PARSER* parser, char* name);

// The forms below return 0 when the text ends inside them; any other wrong
// token (a bracket where a value belongs included) is the fatal "Expected".
// "(" 1..4 integers ")", each read as TF_TokenToInt reads it.
int TF_GetParenInt(TF_PARSER* parser, int* a);
int TF_GetParenInt2(TF_PARSER* parser, int* a, int* b);
int TF_GetParenInt3(TF_PARSER* parser, int* a, int* b, int* c);
int TF_GetParenInt4(TF_PARSER* parser, int* a, int* b, int* c, int* d);
// "(" string ")" into a TF_FIELD-byte field.
int TF_GetParenString(TF_PARSER* parser, char* field);
// keyword (without regard to case) "(" values ")".
int TF_GetKeywordInt(TF_PARSER* parser, const char* keyword, int* a);
int TF_GetKeywordInt2(TF_PARSER* parser, const char* keyword, int* a, int* b);
int TF_GetKeywordInt3(TF_PARSER* parser, const char* keyword, int* a, int* b, int* c);
int TF_GetKeywordString(TF_PARSER* parser, const char* keyword, char* field);
// "(" up to n values ")"; the number read (0 for "()"). Missing "(" or ")"
// is fatal, and so is a value beyond n ("Expected [)] but found [%s]").
// String slots are TF_FIELD bytes each; a quoted ")" is a string.
int TF_GetIntList(TF_PARSER* parser, int* dest, int n);
int TF_GetStringList(TF_PARSER* parser, char (*dest)[TF_FIELD], int n);
int TF_GetFloatList(TF_PARSER* parser, float* dest, int n);
// "{" decimal tokens "}" appended to the end of list as Debug_Malloc'd ints
// (the cursor ends on the last); 1 when the closing brace was found, 0 when
// the text ended first.
int TF_GetBraceInt(TF_PARSER* parser, GLL* list);

// Logs "File : %s" and "Line : %d" and adds them as context of the box, then
// fatal class 2 with the message. A null parser reports the message alone.
[[noreturn]] void TF_Error(TF_PARSER* parser, const char* fmt, ...)
    __attribute__((format(printf, 2, 3)));
// TF_Error with "Expected [%s] but found [%s]".
[[noreturn]] void TF_ReportExpected(TF_PARSER* parser, const char* expected, const char* found);
// Logs "Error in file [%s] at line [%d]" (errors) and returns.
void TF_ReportErrorLine(TF_PARSER* parser);
// Replaces every '_' by a blank.
void TF_UnderscoreToSpace(char* text);
