#include "widgets/qiproptree.h"

#include <cstdarg>
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
            return Refuse("a name or value, not a quoted text");
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
        return TOK_OK;
    }
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
        if (strcmp(t.token, ")") == 0) {
            if (staged.current) depth--;
            staged.Leave();
            continue;
        }
        if (strcmp(t.token, "(") == 0) break;
        QIString name(t.token);
        if ((r = t.Next()) != TOK_OK) break;
        if (strcmp(t.token, "(") == 0) {
            if (++depth > QIPROP_MAX_DEPTH) {
                r = t.Refuse("at most 64 nested sections");
                break;
            }
            staged.current = staged.Link(name.text);
        } else if (strcmp(t.token, "=") == 0) {
            if ((r = t.Next()) != TOK_OK) break;
            QIPropNode* n = staged.Link(name.text);
            if (!StartsNull(t.token, t.token + strlen(t.token)) || t.token[6]) n->value.Set(t.token);
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

// Writes one level; the number of lines written at it.
static int WriteLevel(std::string* out, QIPropNode* node, int depth)
{
    int written = 0;
    for (; node; node = node->Next()) {
        if (!node->firstChild) {
            if (node->value.Compare(node->defaultValue) == QISTR_EQUAL) continue;
            if (!written) out->append("\n");
            node->value.SpaceToUnderscore();
            Appendf(out, "%*s%s%*s= %s\n", 2 * depth, "", node->name.c_str(),
                    QIPROP_EQUALS_COLUMN - 2 * depth - (int)node->name.length, "",
                    node->value.length ? node->value.text : "(null)");
        } else {
            if (!written) out->append("\n");
            Appendf(out, "%*s%s(", 2 * depth, "", node->name.c_str());
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
