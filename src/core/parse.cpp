// The script language.
//
// One pass: the lexer hands tokens from a stack of open files (the script and
// the includes it is inside) and handles "#" lines itself, so the parser never
// sees a directive and includes cost no copying. The parser is a recursive
// descent whose depth is fixed by the grammar (a struct array initialiser is
// the deepest form, two braces), so no input can nest it further.
//
// Values live in one array of 8-byte slots; a variable owns a contiguous run
// of them (count x members). Strings live in one pool of NUL-terminated texts,
// offset 0 being "", so a zero-filled slot is a valid empty value of every
// kind. A string that comes whole from a #define shares the define's text.
//
// An error anywhere in a load unwinds to IParse_LoadScript by an exception
// private to this file, which then cuts every table back to its size before
// the load (and restores redefined #defines), so a failed load adds nothing.
#include "core/parse.h"

#include "core/debug.h"
#include "core/fspath.h"
#include "core/tlog.h"

#include <climits>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

// Caps on what a text can make a load allocate.
static const size_t PARSE_MAXFILE = 16u << 20;  // bytes of one file
static const size_t PARSE_MAXVALUES = 1u << 20; // value slots of a script
static const size_t PARSE_MAXPOOL = 32u << 20;  // bytes of string text of a script

struct PARSE_MEMBER {
    char name[PARSE_NAME];
    int kind;
    int strmax; // characters a char[N] member holds (N - 1); PARSE_STRINGMAX - 1 otherwise
};

struct PARSE_TYPE {
    char name[PARSE_NAME];
    std::vector<PARSE_MEMBER> members;
};

struct PARSE_VAR {
    char name[PARSE_NAME];
    int kind;
    int type;     // PARSE_TYPE index of a struct variable, else -1
    int count;    // elements, or PARSE_SCALAR
    int strmax;   // as PARSE_MEMBER for char[N] variables
    size_t first; // first value slot
};

union PARSE_VALUE {
    int32_t i;
    float f;
    double d;
    uint32_t str; // offset into the pool
};

struct PARSE_DEFINE {
    char name[PARSE_NAME];
    int isstring;
    uint32_t text; // the string, or the number as written
};

struct PARSE_SCRIPT {
    std::vector<std::string> includedirs;
    std::vector<PARSE_TYPE> types;
    std::unordered_map<std::string, int> typeindex;
    std::vector<PARSE_VAR> vars;
    std::unordered_map<std::string, int> varindex;
    std::vector<PARSE_VALUE> values;
    std::string pool;
    std::vector<PARSE_DEFINE> defines;
    std::unordered_map<std::string, int> defineindex;
};

// ---------------------------------------------------------------------------
// Loading state

enum { TK_EOF, TK_IDENT, TK_NUMBER, TK_STRING, TK_PUNCT };

struct PARSE_SOURCE {
    int file; // index into PARSE_LOADER::names
    std::string text;
    size_t pos;
    int line;
    bool linestart;       // nothing but blanks and comments yet on this line
    std::string identity; // canonical path, for include cycles
    std::string dir;      // resolved directory, searched first by its includes
};

struct PARSE_TOKEN {
    int kind;
    std::string text; // identifier, number as written, decoded string, punctuation
    int file;
    int line;
    bool linestart;
};

struct PARSE_UNDO {
    int index;
    PARSE_DEFINE old;
};

struct PARSE_LOADER {
    PARSE_SCRIPT* script;
    std::vector<std::string> names; // every file opened by this load, as named
    std::vector<PARSE_SOURCE> stack;
    int includes;
    PARSE_TOKEN tok;
    std::vector<PARSE_UNDO> undo;
};

struct PARSE_FAILURE {};

static const char* const s_Keywords[] = {"int", "float", "double", "string", "char", "struct"};

static bool IsKeyword(const std::string& word)
{
    for (const char* k : s_Keywords) {
        if (word == k) return true;
    }
    return false;
}

// Character classes, one table look-up per byte in the lexer's loops.
enum { CC_IDSTART = 1, CC_DIGIT = 2, CC_PUNCT = 4, CC_BLANK = 8 };

struct PARSE_CLASSES {
    unsigned char c[256];
    PARSE_CLASSES() : c{}
    {
        for (int i = 'a'; i <= 'z'; i++) c[i] = CC_IDSTART;
        for (int i = 'A'; i <= 'Z'; i++) c[i] = CC_IDSTART;
        c[(unsigned char)'_'] = CC_IDSTART;
        for (int i = '0'; i <= '9'; i++) c[i] = CC_DIGIT;
        for (const char* p = "{}[];,=.-+#"; *p; p++) c[(unsigned char)*p] = CC_PUNCT;
        for (const char* p = " \t\r\f\v"; *p; p++) c[(unsigned char)*p] = CC_BLANK;
    }
};
static const PARSE_CLASSES s_Class;

static bool IsIdentStart(unsigned char c)
{
    return s_Class.c[c] & CC_IDSTART;
}

static bool IsIdentChar(unsigned char c)
{
    return s_Class.c[c] & (CC_IDSTART | CC_DIGIT);
}

static bool IsDigit(unsigned char c)
{
    return s_Class.c[c] & CC_DIGIT;
}

// Logs the error at a file and line of this load and unwinds the load.
[[noreturn]] static void FailAt(PARSE_LOADER* ld, int file, int line, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));
[[noreturn]] static void FailAt(PARSE_LOADER* ld, int file, int line, const char* fmt, ...)
{
    char message[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(message, sizeof message, fmt, ap);
    va_end(ap);
    const char* name = file >= 0 && file < (int)ld->names.size() ? ld->names[file].c_str() : "?";
    TLOG(TLOG_ERROR, "Script error in file [%s] at line [%d]: %s", name, line, message);
    throw PARSE_FAILURE{};
}

// The current token as an error message shows it: printable and short.
static std::string Describe(const PARSE_TOKEN& tok)
{
    if (tok.kind == TK_EOF) return "end of file";
    std::string out = tok.kind == TK_STRING ? "\"" : "";
    for (size_t i = 0; i < tok.text.size() && i < 40; i++) {
        unsigned char c = (unsigned char)tok.text[i];
        out += (c >= ' ' && c < 0x7F) ? (char)c : '?';
    }
    if (tok.text.size() > 40) out += "...";
    if (tok.kind == TK_STRING) out += "\"";
    return out;
}

// Fails at the current token with "<what> but found [<token>]".
[[noreturn]] static void FailExpected(PARSE_LOADER* ld, const char* what)
{
    FailAt(ld, ld->tok.file, ld->tok.line, "expected %s but found [%s]", what,
           Describe(ld->tok).c_str());
}

// ---------------------------------------------------------------------------
// Files

enum { READ_OK, READ_CANNOT, READ_TOOLARGE };

static int ReadFile(const char* path, std::string* out)
{
    out->clear();
    FILE* f = Fs_Open(path, "rb");
    if (!f) return READ_CANNOT;
    char buf[64 * 1024];
    size_t got;
    int result = READ_OK;
    while ((got = fread(buf, 1, sizeof buf, f)) > 0) {
        if (out->size() + got > PARSE_MAXFILE) {
            result = READ_TOOLARGE;
            break;
        }
        out->append(buf, got);
    }
    if (result == READ_OK && ferror(f)) result = READ_CANNOT; // a directory reads as an error
    fclose(f);
    return result;
}

static std::string JoinPath(const std::string& dir, const std::string& name)
{
    if (dir.empty()) return name;
    char last = dir.back();
    return (last == '/' || last == '\\') ? dir + name : dir + "/" + name;
}

// Pushes a file read into text as the innermost source.
static void PushSource(PARSE_LOADER* ld, const std::string& name, std::string&& text)
{
    PARSE_SOURCE src;
    src.file = (int)ld->names.size();
    std::string resolved = Fs_Resolve(name.c_str());
    ld->names.push_back(resolved); // messages name the file a shell can open
    src.text = std::move(text);
    // Editors on other systems may start a text with a byte-order mark.
    src.pos = src.text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    src.line = 1;
    src.linestart = true;
    size_t slash = resolved.rfind('/');
    src.dir = slash == std::string::npos ? "" : slash == 0 ? "/" : resolved.substr(0, slash);
    char* real = realpath(resolved.c_str(), nullptr);
    src.identity = real ? real : resolved;
    free(real);
    ld->stack.push_back(std::move(src));
}

// ---------------------------------------------------------------------------
// Lexer

// Skips blanks and comments; an unterminated block comment is an error at the
// line it started on.
static void SkipBlanks(PARSE_LOADER* ld, PARSE_SOURCE& s)
{
    const std::string& t = s.text;
    while (s.pos < t.size()) {
        char c = t[s.pos];
        if (c == '\n') {
            s.line++;
            s.pos++;
            s.linestart = true;
        } else if (s_Class.c[(unsigned char)c] & CC_BLANK) {
            s.pos++;
        } else if (c == '/' && s.pos + 1 < t.size() && t[s.pos + 1] == '/') {
            while (s.pos < t.size() && t[s.pos] != '\n') s.pos++;
        } else if (c == '/' && s.pos + 1 < t.size() && t[s.pos + 1] == '*') {
            size_t close = t.find("*/", s.pos + 2);
            if (close == std::string::npos) FailAt(ld, s.file, s.line, "comment not closed by */");
            for (size_t i = s.pos + 2; i < close; i++) s.line += t[i] == '\n';
            s.pos = close + 2;
        } else {
            return;
        }
    }
}

static void LexString(PARSE_LOADER* ld, PARSE_SOURCE& s, PARSE_TOKEN& tok)
{
    const std::string& t = s.text;
    s.pos++; // the opening quote
    while (true) {
        if (s.pos >= t.size() || t[s.pos] == '\n') {
            FailAt(ld, s.file, tok.line, "string not closed by \" on its line");
        }
        char c = t[s.pos++];
        if (c == '"') return;
        if (c == '\0') FailAt(ld, s.file, s.line, "NUL byte inside a string");
        if (c == '\\') {
            char e = s.pos < t.size() ? t[s.pos++] : '\0';
            switch (e) {
            case 'n': c = '\n'; break;
            case 't': c = '\t'; break;
            case 'r': c = '\r'; break;
            case '\\': c = '\\'; break;
            case '"': c = '"'; break;
            case '\'': c = '\''; break;
            default:
                FailAt(ld, s.file, s.line,
                       "unknown escape \\%c in a string (known: \\n \\t \\r \\\\ \\\" \\')",
                       (e >= ' ' && e < 0x7F) ? e : '?');
            }
        }
        if (tok.text.size() >= PARSE_STRINGMAX - 1) {
            FailAt(ld, s.file, s.line, "string longer than %d characters", PARSE_STRINGMAX - 1);
        }
        tok.text += c;
    }
}

// Reads one token of the innermost source, without directives or includes.
static void LexOne(PARSE_LOADER* ld, PARSE_SOURCE& s, PARSE_TOKEN& tok)
{
    SkipBlanks(ld, s);
    tok.text.clear();
    tok.file = s.file;
    tok.line = s.line;
    tok.linestart = s.linestart;
    const std::string& t = s.text;
    if (s.pos >= t.size()) {
        tok.kind = TK_EOF;
        return;
    }
    s.linestart = false;
    unsigned char c = (unsigned char)t[s.pos];
    if (IsIdentStart(c)) {
        size_t start = s.pos;
        while (s.pos < t.size() && IsIdentChar((unsigned char)t[s.pos])) s.pos++;
        if (s.pos - start > PARSE_NAME - 1) {
            FailAt(ld, s.file, s.line, "name longer than %d characters", PARSE_NAME - 1);
        }
        tok.kind = TK_IDENT;
        tok.text.assign(t, start, s.pos - start);
    } else if (IsDigit(c) ||
               (c == '.' && s.pos + 1 < t.size() && IsDigit((unsigned char)t[s.pos + 1]))) {
        size_t start = s.pos;
        bool hex = c == '0' && s.pos + 1 < t.size() && (t[s.pos + 1] == 'x' || t[s.pos + 1] == 'X');
        while (s.pos < t.size()) {
            unsigned char d = (unsigned char)t[s.pos];
            if (IsIdentChar(d) || d == '.') {
                s.pos++;
            } else if ((d == '+' || d == '-') && !hex &&
                       (t[s.pos - 1] == 'e' || t[s.pos - 1] == 'E')) {
                s.pos++;
            } else {
                break;
            }
        }
        if (s.pos - start > PARSE_NAME - 1) {
            FailAt(ld, s.file, s.line, "number longer than %d characters", PARSE_NAME - 1);
        }
        tok.kind = TK_NUMBER;
        tok.text.assign(t, start, s.pos - start);
    } else if (c == '"') {
        tok.kind = TK_STRING;
        LexString(ld, s, tok);
    } else if (s_Class.c[c] & CC_PUNCT) {
        tok.kind = TK_PUNCT;
        tok.text.assign(1, (char)c);
        s.pos++;
    } else {
        FailAt(ld, s.file, s.line, "unexpected character 0x%02X", c);
    }
}

// Reads the next token of a directive line; it must be on that line.
static void LexDirective(PARSE_LOADER* ld, PARSE_SOURCE& s, PARSE_TOKEN& tok, int line,
                         const char* what)
{
    LexOne(ld, s, tok);
    if (tok.kind == TK_EOF || tok.line != line) {
        FailAt(ld, s.file, line, "expected %s on the # line", what);
    }
}

// Looks at the next token of s without taking it.
static bool PeekOnLine(PARSE_LOADER* ld, PARSE_SOURCE& s, PARSE_TOKEN& tok, int line)
{
    size_t pos = s.pos;
    int l = s.line;
    bool start = s.linestart;
    LexOne(ld, s, tok);
    bool on = tok.kind != TK_EOF && tok.line == line;
    s.pos = pos;
    s.line = l;
    s.linestart = start;
    return on;
}

static void EndDirective(PARSE_LOADER* ld, PARSE_SOURCE& s, int line)
{
    PARSE_TOKEN extra;
    if (PeekOnLine(ld, s, extra, line)) {
        FailAt(ld, s.file, line, "unexpected [%s] after the directive", Describe(extra).c_str());
    }
}

static uint32_t PoolAdd(PARSE_LOADER* ld, const std::string& text, int file, int line)
{
    std::string& pool = ld->script->pool;
    if (text.empty()) return 0;
    if (pool.size() + text.size() + 1 > PARSE_MAXPOOL) {
        FailAt(ld, file, line, "script holds more than %u bytes of strings",
               (unsigned)PARSE_MAXPOOL);
    }
    uint32_t at = (uint32_t)pool.size();
    pool.append(text);
    pool.push_back('\0');
    return at;
}

static void Define(PARSE_LOADER* ld, const PARSE_TOKEN& name, int isstring,
                   const std::string& value)
{
    PARSE_SCRIPT* sc = ld->script;
    PARSE_DEFINE def;
    memset(&def, 0, sizeof def);
    memcpy(def.name, name.text.data(), name.text.size());
    def.isstring = isstring;
    auto it = sc->defineindex.find(name.text);
    if (it != sc->defineindex.end()) {
        PARSE_DEFINE& old = sc->defines[it->second];
        if (old.isstring == isstring && value == sc->pool.c_str() + old.text) return;
        TLOG(TLOG_WARNING, "Script warning in file [%s] at line [%d]: [%s] redefined",
             ld->names[name.file].c_str(), name.line, name.text.c_str());
        def.text = PoolAdd(ld, value, name.file, name.line);
        ld->undo.push_back(PARSE_UNDO{it->second, old});
        sc->defines[it->second] = def;
        return;
    }
    def.text = PoolAdd(ld, value, name.file, name.line);
    sc->defineindex.emplace(name.text, (int)sc->defines.size());
    sc->defines.push_back(def);
}

static void DirectiveDefine(PARSE_LOADER* ld, PARSE_SOURCE& s, int line)
{
    PARSE_TOKEN name, tok;
    LexDirective(ld, s, name, line, "a name after #define");
    if (name.kind != TK_IDENT) FailAt(ld, s.file, line, "expected a name after #define");
    LexDirective(ld, s, tok, line, "a value after #define");
    std::string value;
    int isstring = 0;
    if (tok.kind == TK_PUNCT && (tok.text == "-" || tok.text == "+")) {
        value = tok.text;
        LexDirective(ld, s, tok, line, "a number after the sign");
        if (tok.kind != TK_NUMBER) FailAt(ld, s.file, line, "expected a number after the sign");
        value += tok.text;
    } else if (tok.kind == TK_NUMBER) {
        value = tok.text;
    } else if (tok.kind == TK_STRING) {
        isstring = 1;
        value = tok.text;
        PARSE_TOKEN next;
        while (PeekOnLine(ld, s, next, line) && next.kind == TK_STRING) {
            LexOne(ld, s, next);
            if (value.size() + next.text.size() > PARSE_STRINGMAX - 1) {
                FailAt(ld, s.file, line, "string longer than %d characters", PARSE_STRINGMAX - 1);
            }
            value += next.text;
        }
    } else {
        FailAt(ld, s.file, line, "a #define value must be a number or a string, not [%s]",
               Describe(tok).c_str());
    }
    EndDirective(ld, s, line);
    Define(ld, name, isstring, value);
}

static void DirectiveInclude(PARSE_LOADER* ld, PARSE_SOURCE& s, int line)
{
    PARSE_TOKEN name;
    LexDirective(ld, s, name, line, "a quoted file name after #include");
    if (name.kind != TK_STRING || name.text.empty()) {
        FailAt(ld, s.file, line, "expected a quoted file name after #include");
    }
    EndDirective(ld, s, line);
    if ((int)ld->stack.size() >= PARSE_MAXINCLUDEDEPTH) {
        FailAt(ld, s.file, line, "#include nested more than %d files deep", PARSE_MAXINCLUDEDEPTH);
    }
    if (++ld->includes > PARSE_MAXINCLUDES) {
        FailAt(ld, s.file, line, "more than %d #include lines", PARSE_MAXINCLUDES);
    }
    std::vector<std::string> candidates;
    if (name.text[0] == '/' || name.text[0] == '\\') {
        candidates.push_back(name.text);
    } else {
        candidates.push_back(JoinPath(s.dir, name.text));
        for (const std::string& dir : ld->script->includedirs) {
            candidates.push_back(JoinPath(dir, name.text));
        }
    }
    for (const std::string& path : candidates) {
        if (!Fs_Exists(path.c_str()) || Fs_IsDir(path.c_str())) continue;
        std::string text;
        int r = ReadFile(path.c_str(), &text);
        if (r == READ_TOOLARGE) {
            FailAt(ld, s.file, line, "include file [%s] larger than %u bytes", path.c_str(),
                   (unsigned)PARSE_MAXFILE);
        }
        if (r != READ_OK) FailAt(ld, s.file, line, "cannot read include file [%s]", path.c_str());
        int file = s.file;
        PushSource(ld, path, std::move(text)); // s is no longer valid from here
        const std::string& identity = ld->stack.back().identity;
        for (size_t i = 0; i + 1 < ld->stack.size(); i++) {
            if (ld->stack[i].identity == identity) {
                FailAt(ld, file, line, "[%s] includes itself", name.text.c_str());
            }
        }
        return;
    }
    FailAt(ld, s.file, line, "cannot find include file [%s]", name.text.c_str());
}

// Moves to the next token of the load: directives are carried out on the way
// and an exhausted include returns to the file that included it.
static void Next(PARSE_LOADER* ld)
{
    while (true) {
        PARSE_SOURCE& s = ld->stack.back();
        LexOne(ld, s, ld->tok);
        if (ld->tok.kind == TK_EOF) {
            if (ld->stack.size() > 1) {
                ld->stack.pop_back();
                continue;
            }
            return;
        }
        if (ld->tok.kind != TK_PUNCT || ld->tok.text[0] != '#') return;
        int line = ld->tok.line;
        if (!ld->tok.linestart) FailAt(ld, s.file, line, "# must begin its line");
        PARSE_TOKEN word;
        LexDirective(ld, s, word, line, "include or define after #");
        if (word.kind == TK_IDENT && word.text == "include") {
            DirectiveInclude(ld, s, line);
        } else if (word.kind == TK_IDENT && word.text == "define") {
            DirectiveDefine(ld, s, line);
        } else {
            FailAt(ld, s.file, line, "unknown directive #%s", Describe(word).c_str());
        }
    }
}

// ---------------------------------------------------------------------------
// Parser

static bool IsPunct(const PARSE_LOADER* ld, char c)
{
    return ld->tok.kind == TK_PUNCT && ld->tok.text[0] == c;
}

static void Expect(PARSE_LOADER* ld, char c)
{
    if (!IsPunct(ld, c)) {
        char what[8];
        snprintf(what, sizeof what, "[%c]", c);
        FailExpected(ld, what);
    }
    Next(ld);
}

// Takes a name being declared; it may not be a reserved word.
static std::string TakeNewName(PARSE_LOADER* ld, const char* what)
{
    if (ld->tok.kind != TK_IDENT) FailExpected(ld, what);
    if (IsKeyword(ld->tok.text)) {
        FailAt(ld, ld->tok.file, ld->tok.line, "[%s] is a reserved word", ld->tok.text.c_str());
    }
    std::string name = ld->tok.text;
    Next(ld);
    return name;
}

// The kind of a base type word, 0 for none; char declares a string.
static int BaseKind(const std::string& word)
{
    if (word == "int") return PARSE_INT;
    if (word == "float") return PARSE_FLOAT;
    if (word == "double") return PARSE_DOUBLE;
    if (word == "string" || word == "char") return PARSE_STRING;
    return 0;
}

static const PARSE_DEFINE* FindDefine(PARSE_LOADER* ld, const std::string& name)
{
    auto it = ld->script->defineindex.find(name);
    return it == ld->script->defineindex.end() ? nullptr : &ld->script->defines[it->second];
}

struct PARSE_NUMBER {
    bool isint;
    int32_t i;
    double d;
};

// Converts a number as written, with an optional sign of its own, negated
// once more when negate is set. Decimal integers must fit 32 bits; hex ones
// may use all 32 bits (0xFFFFFFFF is -1, as in C); no octal.
static bool ConvertNumber(const char* s, const char* end, bool negate, PARSE_NUMBER* out)
{
    bool neg = negate;
    if (*s == '-' || *s == '+') neg = (*s++ == '-') != neg;
    if (s == end) return false;
    if (end - s > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        uint64_t v = 0;
        auto r = std::from_chars(s + 2, end, v, 16);
        if (r.ec != std::errc() || r.ptr != end || v > 0xFFFFFFFFu) return false;
        uint32_t u = (uint32_t)v;
        if (neg) u = 0u - u;
        out->isint = true;
        out->i = (int32_t)u;
        return true;
    }
    bool fraction = false;
    for (const char* p = s; p < end; p++) {
        fraction |= *p == '.' || *p == 'e' || *p == 'E' || *p == 'f' || *p == 'F';
    }
    if (fraction) {
        if (end[-1] == 'f' || end[-1] == 'F') end--;
        double d = 0;
        auto r = std::from_chars(s, end, d, std::chars_format::general);
        if (r.ec != std::errc() || r.ptr != end || !std::isfinite(d)) return false;
        out->isint = false;
        out->d = neg ? -d : d;
        return true;
    }
    uint64_t v = 0;
    auto r = std::from_chars(s, end, v, 10);
    if (r.ec != std::errc() || r.ptr != end) return false;
    if (v > (neg ? (uint64_t)INT_MAX + 1 : (uint64_t)INT_MAX)) return false;
    out->isint = true;
    out->i = neg ? (int32_t)(0 - v) : (int32_t)v;
    out->d = 0;
    return true;
}

// A number in a value position: an optional sign, then a literal or the name
// of a numeric #define.
static PARSE_NUMBER TakeNumber(PARSE_LOADER* ld, const char* what)
{
    bool negate = false;
    if (IsPunct(ld, '-') || IsPunct(ld, '+')) {
        negate = IsPunct(ld, '-');
        Next(ld);
    }
    const char* text;
    if (ld->tok.kind == TK_NUMBER) {
        text = ld->tok.text.c_str();
    } else if (ld->tok.kind == TK_IDENT) {
        const PARSE_DEFINE* def = FindDefine(ld, ld->tok.text);
        if (!def || def->isstring) FailExpected(ld, what);
        text = ld->script->pool.c_str() + def->text;
    } else {
        FailExpected(ld, what);
    }
    PARSE_NUMBER n;
    if (!ConvertNumber(text, text + strlen(text), negate, &n)) {
        FailAt(ld, ld->tok.file, ld->tok.line, "bad or out-of-range number [%s]", text);
    }
    Next(ld);
    return n;
}

static int TakeSize(PARSE_LOADER* ld, int low, int high, const char* what)
{
    int file = ld->tok.file, line = ld->tok.line;
    PARSE_NUMBER n = TakeNumber(ld, what);
    if (!n.isint || n.i < low || n.i > high) {
        FailAt(ld, file, line, "%s must be a whole number from %d to %d", what, low, high);
    }
    return n.i;
}

// A string in a value position: adjacent literals and string #defines,
// joined. One piece alone from a #define shares its text.
static uint32_t TakeString(PARSE_LOADER* ld, int strmax)
{
    int file = ld->tok.file, line = ld->tok.line;
    std::string text;
    int pieces = 0;
    uint32_t shared = 0;
    while (true) {
        const char* piece;
        if (ld->tok.kind == TK_STRING) {
            piece = ld->tok.text.c_str();
            shared = UINT32_MAX;
        } else if (ld->tok.kind == TK_IDENT) {
            const PARSE_DEFINE* def = FindDefine(ld, ld->tok.text);
            if (!def || !def->isstring) break;
            piece = ld->script->pool.c_str() + def->text;
            shared = def->text;
        } else {
            break;
        }
        text += piece;
        pieces++;
        if ((int)text.size() > PARSE_STRINGMAX - 1) {
            FailAt(ld, file, line, "string longer than %d characters", PARSE_STRINGMAX - 1);
        }
        Next(ld);
    }
    if (pieces == 0) FailExpected(ld, "a string");
    if ((int)text.size() > strmax) {
        FailAt(ld, file, line, "string of %d characters where %d fit", (int)text.size(), strmax);
    }
    if (pieces == 1 && shared != UINT32_MAX) return shared;
    return PoolAdd(ld, text, file, line);
}

// One value of a kind, stored in slot.
static void TakeValue(PARSE_LOADER* ld, int kind, int strmax, size_t slot)
{
    PARSE_VALUE v;
    memset(&v, 0, sizeof v);
    if (kind == PARSE_STRING) {
        v.str = TakeString(ld, strmax);
    } else {
        int file = ld->tok.file, line = ld->tok.line;
        PARSE_NUMBER n = TakeNumber(ld, kind == PARSE_INT ? "an integer" : "a number");
        if (kind == PARSE_INT) {
            if (!n.isint) FailAt(ld, file, line, "expected an integer but found a fraction");
            v.i = n.i;
        } else if (kind == PARSE_FLOAT) {
            double d = n.isint ? (double)n.i : n.d;
            if (std::fabs(d) > FLT_MAX) FailAt(ld, file, line, "number out of float range");
            v.f = (float)d;
        } else {
            v.d = n.isint ? (double)n.i : n.d;
        }
    }
    ld->script->values[slot] = v;
}

// Appends n zero-filled value slots; the first of them.
static size_t AddSlots(PARSE_LOADER* ld, size_t n)
{
    std::vector<PARSE_VALUE>& values = ld->script->values;
    if (n > PARSE_MAXVALUES - values.size()) {
        FailAt(ld, ld->tok.file, ld->tok.line, "script holds more than %u values",
               (unsigned)PARSE_MAXVALUES);
    }
    size_t first = values.size();
    PARSE_VALUE zero;
    memset(&zero, 0, sizeof zero);
    values.resize(first + n, zero);
    return first;
}

// "{" member values "}" into the slots from first; missing ones stay zero.
static void TakeStructInit(PARSE_LOADER* ld, const PARSE_TYPE& type, size_t first)
{
    Expect(ld, '{');
    size_t m = 0;
    while (!IsPunct(ld, '}')) {
        if (m >= type.members.size()) {
            FailAt(ld, ld->tok.file, ld->tok.line, "more values than struct [%s] has members",
                   type.name);
        }
        TakeValue(ld, type.members[m].kind, type.members[m].strmax, first + m);
        m++;
        if (!IsPunct(ld, ',')) break;
        Next(ld);
    }
    Expect(ld, '}');
}

static void TakeElement(PARSE_LOADER* ld, const PARSE_VAR& var, size_t slot)
{
    if (var.kind == PARSE_STRUCT) {
        TakeStructInit(ld, ld->script->types[var.type], slot);
    } else {
        TakeValue(ld, var.kind, var.strmax, slot);
    }
}

// "{" elements "}"; an array declared without a size takes the count given.
static void TakeArrayInit(PARSE_LOADER* ld, PARSE_VAR* var, size_t width)
{
    Expect(ld, '{');
    int count = 0;
    while (!IsPunct(ld, '}')) {
        if (var->count >= 0 && count >= var->count) {
            FailAt(ld, ld->tok.file, ld->tok.line, "more values than the %d elements of [%s]",
                   var->count, var->name);
        }
        if (var->count < 0) {
            if (count >= PARSE_MAXARRAY) {
                FailAt(ld, ld->tok.file, ld->tok.line, "array [%s] longer than %d elements",
                       var->name, PARSE_MAXARRAY);
            }
            AddSlots(ld, width);
        }
        TakeElement(ld, *var, var->first + (size_t)count * width);
        count++;
        if (!IsPunct(ld, ',')) break;
        Next(ld);
    }
    Expect(ld, '}');
    if (var->count < 0) var->count = count;
}

// A variable declaration after its type: name, "[size]", "= initialiser", ";".
static void TakeVariable(PARSE_LOADER* ld, int kind, int type, bool ischar)
{
    PARSE_SCRIPT* sc = ld->script;
    int file = ld->tok.file, line = ld->tok.line;
    std::string name = TakeNewName(ld, "a variable name");
    if (sc->varindex.count(name)) {
        FailAt(ld, file, line, "variable [%s] declared twice", name.c_str());
    }

    PARSE_VAR var;
    memset(&var, 0, sizeof var);
    memcpy(var.name, name.data(), name.size());
    var.kind = kind;
    var.type = type;
    var.count = PARSE_SCALAR;
    var.strmax = PARSE_STRINGMAX - 1;
    bool isarray = false;
    if (ischar) {
        // char name[] and char name[N] are strings, as in C.
        if (!IsPunct(ld, '[')) FailExpected(ld, "[ after a char name (char name[] = \"text\")");
        Next(ld);
        if (!IsPunct(ld, ']')) {
            var.strmax = TakeSize(ld, 1, PARSE_STRINGMAX, "a char array size") - 1;
        }
        Expect(ld, ']');
    } else if (IsPunct(ld, '[')) {
        Next(ld);
        isarray = true;
        var.count = -1; // until the initialiser counts its elements
        if (!IsPunct(ld, ']')) var.count = TakeSize(ld, 1, PARSE_MAXARRAY, "an array size");
        Expect(ld, ']');
    }
    size_t width = kind == PARSE_STRUCT ? sc->types[type].members.size() : 1;
    if (isarray && var.count >= 0) {
        var.first = AddSlots(ld, (size_t)var.count * width);
    } else if (isarray) {
        var.first = sc->values.size(); // the initialiser appends the elements
    } else {
        var.first = AddSlots(ld, width);
    }
    if (IsPunct(ld, '=')) {
        Next(ld);
        if (isarray) {
            TakeArrayInit(ld, &var, width);
        } else if (kind == PARSE_STRUCT) {
            TakeStructInit(ld, sc->types[type], var.first);
        } else {
            TakeValue(ld, kind, var.strmax, var.first);
        }
    } else if (isarray && var.count < 0) {
        FailAt(ld, file, line, "array [%s] needs a size or an initialiser", name.c_str());
    }
    Expect(ld, ';');
    sc->varindex.emplace(name, (int)sc->vars.size());
    sc->vars.push_back(var);
}

// "struct" name "{" members "}" ";" with the struct word and name taken.
static void TakeStructType(PARSE_LOADER* ld, const std::string& name, int file, int line)
{
    PARSE_SCRIPT* sc = ld->script;
    if (sc->typeindex.count(name)) {
        FailAt(ld, file, line, "struct [%s] declared twice", name.c_str());
    }
    PARSE_TYPE type;
    memset(type.name, 0, sizeof type.name);
    memcpy(type.name, name.data(), name.size());
    Expect(ld, '{');
    while (!IsPunct(ld, '}')) {
        int kind = ld->tok.kind == TK_IDENT ? BaseKind(ld->tok.text) : 0;
        if (!kind) FailExpected(ld, "a member type (int, float, double, string or char)");
        bool ischar = ld->tok.text == "char";
        Next(ld);
        int mline = ld->tok.line;
        std::string mname = TakeNewName(ld, "a member name");
        PARSE_MEMBER member;
        memset(&member, 0, sizeof member);
        memcpy(member.name, mname.data(), mname.size());
        member.kind = kind;
        member.strmax = PARSE_STRINGMAX - 1;
        if (ischar) {
            Expect(ld, '[');
            if (!IsPunct(ld, ']')) {
                member.strmax = TakeSize(ld, 1, PARSE_STRINGMAX, "a char array size") - 1;
            }
            Expect(ld, ']');
        } else if (IsPunct(ld, '[')) {
            FailAt(ld, ld->tok.file, ld->tok.line,
                   "array members are not supported (only char name[N])");
        }
        Expect(ld, ';');
        for (const PARSE_MEMBER& m : type.members) {
            if (mname == m.name) {
                FailAt(ld, file, mline, "member [%s] declared twice", mname.c_str());
            }
        }
        if ((int)type.members.size() >= PARSE_MAXMEMBERS) {
            FailAt(ld, file, mline, "struct [%s] has more than %d members", name.c_str(),
                   PARSE_MAXMEMBERS);
        }
        type.members.push_back(member);
    }
    if (type.members.empty()) FailAt(ld, file, line, "struct [%s] has no members", name.c_str());
    Next(ld);
    Expect(ld, ';');
    sc->typeindex.emplace(name, (int)sc->types.size());
    sc->types.push_back(std::move(type));
}

static void TakeStatement(PARSE_LOADER* ld)
{
    PARSE_SCRIPT* sc = ld->script;
    if (IsPunct(ld, ';')) {
        Next(ld);
        return;
    }
    if (ld->tok.kind != TK_IDENT) FailExpected(ld, "a declaration");
    int file = ld->tok.file, line = ld->tok.line;
    if (ld->tok.text == "struct") {
        Next(ld);
        std::string name = TakeNewName(ld, "a struct name");
        if (IsPunct(ld, '{')) {
            TakeStructType(ld, name, file, line);
            return;
        }
        auto it = sc->typeindex.find(name);
        if (it == sc->typeindex.end()) FailAt(ld, file, line, "unknown struct [%s]", name.c_str());
        TakeVariable(ld, PARSE_STRUCT, it->second, false);
        return;
    }
    if (int kind = BaseKind(ld->tok.text)) {
        bool ischar = ld->tok.text == "char";
        Next(ld);
        TakeVariable(ld, kind, -1, ischar);
        return;
    }
    auto it = sc->typeindex.find(ld->tok.text);
    if (it == sc->typeindex.end()) {
        FailAt(ld, file, line, "unknown type [%s]", Describe(ld->tok).c_str());
    }
    Next(ld);
    TakeVariable(ld, PARSE_STRUCT, it->second, false);
}

// Cuts every table back to its size when the load began.
struct PARSE_MARK {
    size_t types, vars, values, pool, defines;
};

static void Rollback(PARSE_LOADER* ld, const PARSE_MARK& mark)
{
    PARSE_SCRIPT* sc = ld->script;
    for (size_t i = ld->undo.size(); i-- > 0;) sc->defines[ld->undo[i].index] = ld->undo[i].old;
    for (size_t i = mark.defines; i < sc->defines.size(); i++) {
        sc->defineindex.erase(sc->defines[i].name);
    }
    sc->defines.resize(mark.defines);
    for (size_t i = mark.vars; i < sc->vars.size(); i++) sc->varindex.erase(sc->vars[i].name);
    sc->vars.resize(mark.vars);
    for (size_t i = mark.types; i < sc->types.size(); i++) sc->typeindex.erase(sc->types[i].name);
    sc->types.resize(mark.types);
    sc->values.resize(mark.values);
    sc->pool.resize(mark.pool);
}

// ---------------------------------------------------------------------------
// Public: scripts

PARSE_SCRIPT* IParse_NewScript(void)
{
    void* block = Debug_Malloc(sizeof(PARSE_SCRIPT));
    PARSE_SCRIPT* script = new (block) PARSE_SCRIPT();
    script->pool.push_back('\0'); // offset 0: the empty string
    return script;
}

void Parse_AddIncludeDir(PARSE_SCRIPT* script, const char* directory)
{
    ASSERT(script);
    if (directory && *directory) script->includedirs.push_back(directory);
}

int IParse_LoadScript(const char* path, PARSE_SCRIPT* script)
{
    ASSERT(script);
    if (!path || !*path) return PARSE_NOFILE;
    std::string text;
    int r = ReadFile(path, &text);
    if (r == READ_CANNOT) {
        TLOG(TLOG_DIAG, "Cannot load script [%s]", Fs_Resolve(path).c_str());
        return PARSE_NOFILE;
    }
    if (r == READ_TOOLARGE) {
        TLOG(TLOG_ERROR, "Script error in file [%s] at line [0]: larger than %u bytes",
             Fs_Resolve(path).c_str(), (unsigned)PARSE_MAXFILE);
        return PARSE_ERROR;
    }

    PARSE_LOADER ld;
    ld.script = script;
    ld.includes = 0;
    PARSE_MARK mark = {script->types.size(), script->vars.size(), script->values.size(),
                       script->pool.size(), script->defines.size()};
    try {
        PushSource(&ld, path, std::move(text));
        Next(&ld);
        while (ld.tok.kind != TK_EOF) TakeStatement(&ld);
    } catch (const PARSE_FAILURE&) {
        Rollback(&ld, mark);
        return PARSE_ERROR;
    }
    return PARSE_OK;
}

void Parse_FreeData(PARSE_SCRIPT* script)
{
    if (!script) return;
    script->~PARSE_SCRIPT();
    Debug_Free(&script);
}

// ---------------------------------------------------------------------------
// Public: queries

// The variable called exactly name (no address), or null.
static const PARSE_VAR* FindVar(const PARSE_SCRIPT* script, const char* name)
{
    if (!script || !name) return nullptr;
    auto it = script->varindex.find(name);
    return it == script->varindex.end() ? nullptr : &script->vars[it->second];
}

// The slot an address names and the kind stored there; null when the address
// is malformed, unknown, out of range, or names an aggregate, not a value.
static const PARSE_VALUE* Address(const PARSE_SCRIPT* script, const char* name, int* kind)
{
    if (!script || !name) return nullptr;
    size_t n = 0;
    while (IsIdentChar((unsigned char)name[n])) n++;
    if (n == 0 || n > PARSE_NAME - 1) return nullptr;
    auto it = script->varindex.find(std::string(name, n));
    if (it == script->varindex.end()) return nullptr;
    const PARSE_VAR& var = script->vars[it->second];
    const char* p = name + n;

    long index = -1;
    if (*p == '[') {
        p++;
        index = 0;
        int digits = 0;
        for (; IsDigit((unsigned char)*p); p++, digits++) {
            if (digits >= 9) return nullptr;
            index = index * 10 + (*p - '0');
        }
        if (digits == 0 || *p++ != ']') return nullptr;
    }
    if ((index >= 0) != (var.count != PARSE_SCALAR)) return nullptr;
    if (index >= var.count && var.count != PARSE_SCALAR) return nullptr;

    size_t slot = var.first;
    if (var.kind == PARSE_STRUCT) {
        const PARSE_TYPE& type = script->types[var.type];
        if (index > 0) slot += (size_t)index * type.members.size();
        if (*p++ != '.') return nullptr;
        for (size_t m = 0; m < type.members.size(); m++) {
            if (strcmp(p, type.members[m].name) == 0) {
                *kind = type.members[m].kind;
                return &script->values[slot + m];
            }
        }
        return nullptr;
    }
    if (*p) return nullptr;
    if (index > 0) slot += (size_t)index;
    *kind = var.kind;
    return &script->values[slot];
}

static const PARSE_VALUE* Lookup(PARSE_SCRIPT* script, const char* name, int want, int* status)
{
    int kind = 0;
    const PARSE_VALUE* v = Address(script, name, &kind);
    if (v && kind != want) v = nullptr;
    if (status) *status = v ? 0 : -1;
    return v;
}

static void CopyOut(char* buffer, size_t size, const char* text)
{
    if (!buffer || size == 0) return;
    size_t n = strlen(text);
    if (n > size - 1) n = size - 1;
    memcpy(buffer, text, n);
    buffer[n] = '\0';
}

int Parse_GetInt(PARSE_SCRIPT* script, const char* name, int* status)
{
    const PARSE_VALUE* v = Lookup(script, name, PARSE_INT, status);
    return v ? v->i : -1;
}

float Parse_GetFloat(PARSE_SCRIPT* script, const char* name, int* status)
{
    const PARSE_VALUE* v = Lookup(script, name, PARSE_FLOAT, status);
    return v ? v->f : -1.0f;
}

double Parse_GetDouble(PARSE_SCRIPT* script, const char* name, int* status)
{
    const PARSE_VALUE* v = Lookup(script, name, PARSE_DOUBLE, status);
    return v ? v->d : -1.0;
}

void Parse_GetString(PARSE_SCRIPT* script, const char* name, int* status, char* buffer, size_t size)
{
    const PARSE_VALUE* v = Lookup(script, name, PARSE_STRING, status);
    CopyOut(buffer, size, v ? script->pool.c_str() + v->str : "");
}

int Parse_GetArraySize(PARSE_SCRIPT* script, const char* name, int* status)
{
    const PARSE_VAR* var = FindVar(script, name);
    bool ok = var && var->count != PARSE_SCALAR;
    if (status) *status = ok ? 0 : -1;
    return ok ? var->count : -1;
}

int Parse_GetIntPtr(PARSE_SCRIPT* script, const char* name, int* status)
{
    return Parse_GetInt(script, name, status);
}

float Parse_GetFloatPtr(PARSE_SCRIPT* script, const char* name, int* status)
{
    return Parse_GetFloat(script, name, status);
}

void Parse_GetStringPtr(PARSE_SCRIPT* script, const char* name, int* status, char* buffer,
                        size_t size)
{
    Parse_GetString(script, name, status, buffer, size);
}

void Parse_GetDefine(PARSE_SCRIPT* script, const char* name, int* status, char* buffer, size_t size)
{
    const PARSE_DEFINE* def = nullptr;
    if (script && name) {
        auto it = script->defineindex.find(name);
        if (it != script->defineindex.end()) def = &script->defines[it->second];
    }
    if (status) *status = def ? 0 : -1;
    CopyOut(buffer, size, def ? script->pool.c_str() + def->text : "");
}

void Parse_ForEachDefine(PARSE_SCRIPT* script, PARSE_DEFINEFN fn, void* context)
{
    if (!script || !fn) return;
    for (const PARSE_DEFINE& def : script->defines) {
        fn(def.name, script->pool.c_str() + def.text, context);
    }
}

void Parse_ForEachVariable(PARSE_SCRIPT* script, PARSE_VARFN fn, void* context)
{
    if (!script || !fn) return;
    for (const PARSE_VAR& var : script->vars) fn(var.name, var.kind, var.count, context);
}

int Parse_ForEachMember(PARSE_SCRIPT* script, const char* name, PARSE_MEMBERFN fn, void* context)
{
    const PARSE_VAR* var = FindVar(script, name);
    if (!var || var->kind != PARSE_STRUCT) return -1;
    const PARSE_TYPE& type = script->types[var->type];
    if (fn) {
        for (const PARSE_MEMBER& m : type.members) fn(m.name, m.kind, context);
    }
    return (int)type.members.size();
}
