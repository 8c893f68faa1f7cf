#include "widgets/qiproptree.h"

#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/fspath.h"
#include "core/tlog.h"
#include "core/utils.h"

// Frees a chain of siblings with all their descendants, leaves first.
static void FreeChain(QIPropNode* node)
{
    while (node) {
        while (node->firstChild) node = node->FirstChild();
        QIPropNode* up = node->Parent();
        QIPropNode* after = node->Next();
        if (up) up->firstChild = after;
        delete node;
        node = after ? after : up;
    }
}

QIPropTree::~QIPropTree()
{
    FreeChain(first);
    first = current = nullptr;
}

// A new node as the last child of the current section, or at the head of
// the top-level list.
QIPropNode* QIPropTree::Link(const char* name)
{
    QIPropNode* node = new QIPropNode(name);
    node->parent = current;
    if (current) {
        LTreeNode** at = &current->firstChild;
        while (*at) at = &(*at)->next;
        *at = node;
    } else {
        node->next = first;
        first = node;
    }
    count++;
    return node;
}

QIPropNode* QIPropTree::Find(const char* name) const
{
    for (QIPropNode* n = current ? current->FirstChild() : first; n; n = n->Next())
        if (n->name.CompareCStr(name) == QISTR_EQUAL) return n;
    return nullptr;
}

void QIPropTree::Enter(const char* name)
{
    QIPropNode* n = Find(name);
    current = n ? n : Link(name);
}

void QIPropTree::Leave(void)
{
    if (current) current = current->Parent();
}

void QIPropTree::GetInt(const char* key, int32_t& value)
{
    QIPropNode* n = Find(key);
    if (n) {
        n->defaultValue.Format(20, "%d", value);
        value = Str_ToInt(n->value.c_str());
        return;
    }
    n = Link(key);
    n->value.Format(20, "%d", value);
    n->defaultValue.Format(20, "%d", value);
}

void QIPropTree::SetInt(const char* key, int32_t value)
{
    QIPropNode* n = Find(key);
    if (!n) n = Link(key);
    n->value.Format(20, "%d", value);
}

void QIPropTree::GetString(const char* key, QIString& value)
{
    QIPropNode* n = Find(key);
    if (n) {
        n->defaultValue.Assign(value);
        value.Assign(n->value);
        return;
    }
    n = Link(key);
    n->value.Assign(value);
    n->defaultValue.Assign(value);
}

void QIPropTree::SetString(const char* key, const QIString& value)
{
    QIPropNode* n = Find(key);
    if (!n) n = Link(key);
    n->value.Assign(value);
}

// ---------------------------------------------------------------- reading

namespace {

enum TOKEN_RESULT { TOK_NONE, TOK_OK, TOK_REFUSED };

// White space as the C library classes it; a zero byte counts too, so a
// name never ends early inside the tree's C texts.
bool Blank(unsigned char c) { return c == 0 || c == ' ' || (c >= '\t' && c <= '\r'); }

bool StartsNull(const char* p, const char* end)
{
    static const char word[] = "(null)";
    if (end - p < 6) return false;
    for (int i = 0; i < 6; i++)
        if ((p[i] >= 'A' && p[i] <= 'Z' ? p[i] + 32 : p[i]) != word[i]) return false;
    return true;
}

struct TOKENIZER {
    const char* file;
    const std::string* data;
    size_t at = 0;       // next byte of the current line
    size_t lineEnd = 0;  // end of the current line
    size_t nextLine = 0; // start of the next line
    int line = 0;        // 1-based number of the current line
    char token[QIPROP_MAX_TOKEN + 1];
    bool quoted = false; // the token was written in quotes: never "(", ")" or "="

    int Refuse(const char* expected)
    {
        TLOG(TLOG_ERROR, "Property file [%s] line %d: expected %s", file, line, expected);
        return TOK_REFUSED;
    }

    int Next(void)
    {
        const char* base = data->data();
        for (;;) {
            while (at < lineEnd && Blank((unsigned char)base[at])) at++;
            if (at < lineEnd) break;
            if (nextLine >= data->size()) return TOK_NONE;
            at = nextLine;
            const void* nl = memchr(base + at, '\n', data->size() - at);
            lineEnd = nl ? (size_t)((const char*)nl - base) : data->size();
            nextLine = lineEnd + 1;
            line++;
        }
        const char* p = base + at;
        const char* end = base + lineEnd;
        size_t n;
        if (StartsNull(p, end)) {
            n = 6;
        } else if (*p == '(' || *p == ')') {
            n = 1;
        } else if (*p == '"') {
            return Quoted(p, end);
        } else {
            n = 0;
            while (p + n < end && !Blank((unsigned char)p[n]) && p[n] != '(' && p[n] != ')') n++;
            // "=" ending a run is a token of its own ("Name= value" is what
            // the writer puts out for a long name), so no token but "="
            // itself ends with one.
            size_t cut = n;
            while (cut > 0 && p[cut - 1] == '=') cut--;
            n = cut ? cut : 1;
        }
        if (n > QIPROP_MAX_TOKEN) return Refuse("a token of at most 255 characters");
        memcpy(token, p, n);
        token[n] = 0;
        at += n;
        quoted = false;
        return TOK_OK;
    }

    // A token in double quotes, as the writer puts out names and values the
    // plain form would split: \\, \" and \xHH stand for themselves.
    int Quoted(const char* p, const char* end)
    {
        size_t n = 0;
        const char* q = p + 1;
        for (; q < end && *q != '"'; q++) {
            int c = (unsigned char)*q;
            if (c == '\\') {
                if (q + 1 < end && (q[1] == '\\' || q[1] == '"')) {
                    c = (unsigned char)*++q;
                } else if (q + 3 < end && q[1] == 'x' && isxdigit((unsigned char)q[2]) &&
                           isxdigit((unsigned char)q[3])) {
                    c = (int)strtol(std::string(q + 2, 2).c_str(), nullptr, 16);
                    q += 3;
                } else {
                    return Refuse("\\\\, \\\" or \\xHH after a backslash");
                }
            }
            if (c == 0) return Refuse("no zero byte in a quoted text");
            if (n >= QIPROP_MAX_TOKEN) return Refuse("a token of at most 255 characters");
            token[n++] = (char)c;
        }
        if (q >= end) return Refuse("a closing double quote");
        token[n] = 0;
        at = (size_t)(q + 1 - data->data());
        quoted = true;
        return TOK_OK;
    }

    bool Is(const char* word) const { return !quoted && strcmp(token, word) == 0; }
};

} // namespace

int QIPropTree::Load(void)
{
    std::string data;
    current = nullptr;
    if (!fileName.text || !Fs_ReadAll(fileName.text, &data)) return 0;

    // Parsed into a tree of its own, so a refused file adds nothing.
    QIPropTree staged(nullptr);
    TOKENIZER t;
    t.file = fileName.text;
    t.data = &data;
    int depth = 0, r;
    while ((r = t.Next()) == TOK_OK) {
        if (t.Is(")")) {
            if (staged.current) depth--;
            staged.Leave();
            continue;
        }
        if (t.Is("(")) break;
        QIString name(t.token);
        if ((r = t.Next()) != TOK_OK) break;
        if (t.Is("(")) {
            if (++depth > QIPROP_MAX_DEPTH) {
                r = t.Refuse("at most 64 nested sections");
                break;
            }
            staged.current = staged.Link(name.text);
        } else if (t.Is("=")) {
            if ((r = t.Next()) != TOK_OK) break;
            QIPropNode* n = staged.Link(name.text);
            if (t.quoted || !StartsNull(t.token, t.token + strlen(t.token)) || t.token[6])
                n->value.Set(t.token);
        }
    }
    if (r == TOK_REFUSED) return 0;

    // Splice: the staged top-level list (already in reverse file order) goes
    // in front of the existing one.
    if (staged.first) {
        QIPropNode* last = staged.first;
        while (last->next) last = last->Next();
        last->next = first;
        first = staged.first;
        count += staged.count;
        staged.first = nullptr;
    }
    staged.current = nullptr;
    return 1;
}

// ---------------------------------------------------------------- writing

static void Appendf(std::string* out, const char* format, ...) __attribute__((format(printf, 2, 3)));
static void Appendf(std::string* out, const char* format, ...)
{
    char line[1024];
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    if (n < 0) return;
    if ((size_t)n < sizeof line) {
        out->append(line, (size_t)n);
        return;
    }
    std::string big((size_t)n + 1, '\0');
    va_start(ap, format);
    vsnprintf(&big[0], big.size(), format, ap);
    va_end(ap);
    out->append(big.data(), (size_t)n);
}

// A name or value as one token the reader takes back as it is: in double
// quotes when the plain form would split it, end early or read as a
// bracket, "=" or "(null)".
static std::string Token(const char* text)
{
    bool plain = *text && *text != '"';
    const size_t length = strlen(text);
    if (plain && text[length - 1] == '=') plain = false;
    for (const char* p = text; plain && *p; p++)
        if (Blank((unsigned char)*p) || *p == '(' || *p == ')' || (unsigned char)*p < 0x20 || *p == 0x7F)
            plain = false;
    if (plain) return text;
    std::string out = "\"";
    for (const char* p = text; *p; p++) {
        const unsigned char c = (unsigned char)*p;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += (char)c;
        } else if (c < 0x20 || c == 0x7F) {
            char hex[5];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += (char)c;
        }
    }
    return out + '"';
}

// Writes one level; the number of lines written at it.
static int WriteLevel(std::string* out, QIPropNode* node, int depth)
{
    int written = 0;
    for (; node; node = node->Next()) {
        if (!node->firstChild) {
            if (node->value.Compare(node->defaultValue) == QISTR_EQUAL) continue;
            if (!written) out->append("\n");
            node->value.SpaceToUnderscore();
            const std::string name = Token(node->name.c_str());
            Appendf(out, "%*s%s%*s= %s\n", 2 * depth, "", name.c_str(),
                    QIPROP_EQUALS_COLUMN - 2 * depth - (int)name.size(), "",
                    node->value.length ? Token(node->value.text).c_str() : "(null)");
        } else {
            if (!written) out->append("\n");
            Appendf(out, "%*s%s(", 2 * depth, "", Token(node->name.c_str()).c_str());
            if (WriteLevel(out, node->FirstChild(), depth + 1))
                Appendf(out, "%*s)\n", 2 * depth, "");
            else
                out->append(")\n");
        }
        written++;
    }
    return written;
}

std::string QIPropTree::Text(void)
{
    std::string out;
    WriteLevel(&out, first, 0);
    return out;
}

int QIPropTree::Save(void)
{
    if (!fileName.text) return 0;
    std::string text = Text();
    if (Fs_WriteAtomic(fileName.text, text.data(), text.size())) return 1;
    TLOG(TLOG_ERROR, "Unable to write to file [%s]", fileName.text);
    return 0;
}
