#include "core/textlines.h"

#include <cstdio>
#include <cstring>

#include "core/debug.h"
#include "core/fspath.h"

namespace {

enum { LINEBUF = 160 };

enum LINE_END { END_WIDTH, END_NEWLINE, END_SECTION, END_TEXT };

struct WRAP {
    const unsigned char* text;
    int length;
    int width;
    TEXT_CHARWIDTHFN charwidth;
    TEXT_EMITFN emit;
    char line[LINEBUF];
    int len;      // characters in line
    int w;        // their width
    int breakpos; // text position of the last space, -1 for none
    int breaklen; // the line's length before it
    int bullet;   // a bulleted paragraph is running
};

} // namespace

static int FindSection(const unsigned char* text, int length, int section)
{
    for (int i = 0; i + 1 < length; i++)
        if (text[i] == '\\' && text[i + 1] == '0' + section) return i + 2;
    return 0;
}

static void EmitLine(WRAP* wr, int end)
{
    wr->line[wr->len] = 0;
    if ((unsigned char)wr->line[0] == TEXT_BULLET) {
        wr->bullet = 1;
    } else if (wr->bullet) {
        int n = wr->len > LINEBUF - 2 ? LINEBUF - 2 : wr->len;
        memmove(wr->line + 2, wr->line, n);
        wr->line[0] = wr->line[1] = ' ';
        wr->line[n + 2 < LINEBUF ? n + 2 : LINEBUF - 1] = 0;
    }
    // The paragraph is the text up to its backslash n, the bullet line's own
    // included: a one-line item doesn't indent the next paragraph.
    if (end == END_NEWLINE) wr->bullet = 0;
    wr->emit(wr->line);
    wr->len = wr->w = 0;
    wr->breakpos = -1;
    wr->breaklen = 0;
}

// Handles the character at i; returns where reading goes on, or -1 after a
// section marker.
static int Step(WRAP* wr, int i)
{
    unsigned char c = wr->text[i];
    if (c == '\r' || c == '\n') return i + 1;
    if (c == '\\') {
        if (i + 1 >= wr->length) return i + 1;
        unsigned char d = wr->text[i + 1];
        if (d >= '0' && d <= '9') {
            if (wr->len) EmitLine(wr, END_SECTION);
            return -1;
        }
        if (d != 'n') return i + 2;
        EmitLine(wr, END_NEWLINE);
        i += 2;
        while (i < wr->length && wr->text[i] == ' ') i++;
        return i;
    }
    int trial = wr->w + wr->charwidth(c);
    if (c == ' ') {
        wr->breakpos = i;
        wr->breaklen = wr->len;
    }
    int full = trial > wr->width || wr->len >= TEXT_LINEMAX;
    // An empty line takes the character whatever its width, so that reading
    // always moves on.
    if (full && wr->len > 0) {
        if (wr->breakpos >= 0) {
            int resume = wr->breakpos + 1;
            wr->len = wr->breaklen;
            EmitLine(wr, END_WIDTH);
            return resume;
        }
        EmitLine(wr, END_WIDTH);
        return i;
    }
    wr->line[wr->len++] = (char)c;
    wr->w = trial;
    return i + 1;
}

void Text_WrapSection(const char* text, int length, int section, int width,
                      TEXT_CHARWIDTHFN charwidth, TEXT_EMITFN emit)
{
    WRAP wr = {};
    wr.text = (const unsigned char*)text;
    wr.length = length < 0 ? 0 : (length > TEXT_WRAPMAX ? TEXT_WRAPMAX : length);
    wr.width = width;
    wr.charwidth = charwidth;
    wr.emit = emit;
    wr.breakpos = -1;
    int i = FindSection(wr.text, wr.length, section);
    while (i >= 0 && i < wr.length) i = Step(&wr, i);
    if (i >= 0 && wr.len) EmitLine(&wr, END_TEXT);
}

int Text_WrapFileSection(const char* path, int section, int width, TEXT_CHARWIDTHFN charwidth,
                         TEXT_EMITFN emit)
{
    FILE* f = Fs_Open(path, "rb");
    if (!f) return 0;
    char buffer[TEXT_WRAPMAX];
    int length = (int)fread(buffer, 1, sizeof buffer, f);
    fclose(f);
    Text_WrapSection(buffer, length, section, width, charwidth, emit);
    return 1;
}

// The keyed list.

namespace {
struct TEXTLINE {
    char* text;
    int32_t key;
    TEXTLINE* next;
};
} // namespace

static TEXTLINE* s_Head;
static TEXTLINE* s_Tail;
static int s_Count;

void TextLines_AddSorted(const char* text, int32_t key)
{
    TEXTLINE* node = (TEXTLINE*)Debug_MallocFor(sizeof(TEXTLINE), "text line");
    node->text = Debug_Strdup(text ? text : "");
    node->key = key;
    TEXTLINE** link = &s_Head;
    while (*link && (*link)->key <= key) {
        link = &(*link)->next;
    }
    node->next = *link;
    *link = node;
    if (!node->next) s_Tail = node;
    s_Count++;
}

int TextLines_Count(void) { return s_Count; }

void TextLines_ForEach(TEXTLINES_FN fn)
{
    for (TEXTLINE* l = s_Head; l; l = l->next)
        if (!fn(l->text ? l->text : "", l->key)) return;
}

void TextLines_Clear(void)
{
    while (TEXTLINE* l = s_Head) {
        s_Head = l->next;
        Debug_Free(&l->text);
        Debug_Free(&l);
    }
    s_Tail = nullptr;
    s_Count = 0;
}

void TextLines_Reset(void) { TextLines_Clear(); }
