#include "ui/textedit.h"

#include <cstring>

#include "platform/font.h"
#include "platform/graph.h"
#include "platform/input.h"

enum {
    SC_KP7 = 71,
    SC_KP4 = 75,
    SC_KP6 = 77,
    SC_KP1 = 79,
    SC_KPSTOP = 83,
};

static int InClass(int c, unsigned cls)
{
    if ((cls & TEC_LETTERS) && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) return 1;
    if ((cls & TEC_DIGITS) && c >= '0' && c <= '9') return 1;
    if ((cls & TEC_SPACE) && c == ' ') return 1;
    if ((cls & TEC_FULLSTOP) && c == '.') return 1;
    if ((cls & TEC_PUNCTUATION) && c != 0 && strchr(".,;:<>?!@#$%^&*()-='\"[]{}|\\/", c)) return 1;
    if ((cls & TEC_HEX) && ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return 1;
    if ((cls & TEC_BACKSLASH) && c == '\\') return 1;
    if ((cls & TEC_COLON) && c == ':') return 1;
    return 0;
}

static int IsSeparator(char c) { return c != 0 && strchr(" .,;:/\\", c) != nullptr; }

static void DeleteRange(TEXTEDIT* e, int from, int to)
{
    if (to <= from) return;
    memmove(e->buffer + from, e->buffer + to, (size_t)(e->length - to + 1));
    e->length -= to - from;
}

int TextEdit_Init(TEXTEDIT* edit, char* buffer, int charclass, int max, int cursor, int start)
{
    unsigned cls = (unsigned)charclass & 0xffff;
    if ((cls & TEC_TOUPPER) && (cls & TEC_TOLOWER)) cls &= ~(unsigned)(TEC_TOUPPER | TEC_TOLOWER);
    edit->buffer = buffer;
    edit->charclass = (uint16_t)cls;
    edit->max = max < 0 ? 0 : max;
    edit->length = (int)strlen(buffer);
    edit->start = start < 0 ? 0 : (start > edit->length ? edit->length : start);
    edit->cursor = cursor < edit->start ? edit->start : (cursor > edit->length ? edit->length : cursor);
    return edit->length;
}

static void StepLeft(TEXTEDIT* e, int ctrl)
{
    if (e->cursor <= e->start) return;
    e->cursor--;
    if (!ctrl) return;
    while (e->cursor > e->start && !IsSeparator(e->buffer[e->cursor - 1])) e->cursor--;
}

static void StepRight(TEXTEDIT* e, int ctrl)
{
    if (e->cursor >= e->length) return;
    e->cursor++;
    if (!ctrl) return;
    while (e->cursor < e->length && !IsSeparator(e->buffer[e->cursor])) e->cursor++;
}

static int Insert(TEXTEDIT* e, int character)
{
    int c = character & 0xff;
    if (c == 0) return TE_OK;
    if (e->length >= e->max) return TE_FULL;
    if (!InClass(c, e->charclass)) return TE_REFUSED;
    if ((e->charclass & TEC_TOUPPER) && c >= 'a' && c <= 'z') c -= 'a' - 'A';
    if ((e->charclass & TEC_TOLOWER) && c >= 'A' && c <= 'Z') c += 'a' - 'A';
    memmove(e->buffer + e->cursor + 1, e->buffer + e->cursor, (size_t)(e->length - e->cursor + 1));
    e->buffer[e->cursor++] = (char)c;
    e->length++;
    return TE_OK;
}

int TextEdit_Key(TEXTEDIT* edit, int scancode, int character, int modifiers)
{
    int ctrl = (modifiers & MOD_CTRL) != 0;
    switch (scancode) {
    case SC_ESCAPE: return TE_CANCEL;
    case SC_RETURN:
    case SC_KP_ENTER: return TE_ACCEPT;
    case SC_BACKSPACE:
        if (ctrl) {
            DeleteRange(edit, edit->start, edit->cursor);
            edit->cursor = edit->start;
        } else if (edit->cursor > edit->start) {
            DeleteRange(edit, edit->cursor - 1, edit->cursor);
            edit->cursor--;
        }
        return TE_OK;
    case SC_HOME:
    case SC_KP7: edit->cursor = edit->start; return TE_OK;
    case SC_END:
    case SC_KP1: edit->cursor = edit->length; return TE_OK;
    case SC_LEFT:
    case SC_KP4: StepLeft(edit, ctrl); return TE_OK;
    case SC_RIGHT:
    case SC_KP6: StepRight(edit, ctrl); return TE_OK;
    case SC_DELETE:
    case SC_KPSTOP:
        DeleteRange(edit, edit->cursor, ctrl ? edit->length : (edit->cursor < edit->length ? edit->cursor + 1 : edit->cursor));
        return TE_OK;
    default: return Insert(edit, character);
    }
}

static void Place(TEXTFIELD* f)
{
    int w = Font_StringWidth(f->edit.buffer, f->font);
    if (f->alignment == TFA_RIGHT) f->textx = f->x + f->width - w;
    else if (f->alignment == TFA_CENTRE) f->textx = f->x + f->width / 2 - w / 2;
    else f->textx = f->x;
}

void TextField_Init(TEXTFIELD* field, int x, int y, int width, int alignment, char* buffer,
                    size_t size, int charclass, int cursor, int start, int limit, int font)
{
    int max = limit + 1;
    if (size == 0) size = 1;
    if ((size_t)max > size - 1) max = (int)(size - 1);
    // A caller's text longer than the buffer would let the edit run past it.
    buffer[size - 1] = 0;
    field->x = x;
    field->y = y;
    field->width = width;
    field->alignment = alignment;
    field->font = font;
    TextEdit_Init(&field->edit, buffer, charclass, max, cursor, start);
    if (field->edit.length > field->edit.max) field->edit.max = field->edit.length;
    Place(field);
}

int TextField_Key(TEXTFIELD* field, int scancode, int character, int modifiers)
{
    int before = field->edit.length;
    int result = TextEdit_Key(&field->edit, scancode, character, modifiers);
    if (result != TE_OK) return result;
    // Only a character just typed is taken back: a text that came in wider
    // than the box must not lose a character to a cursor key.
    if (field->edit.length > before && Font_StringWidth(field->edit.buffer, field->font) > field->width) {
        TextEdit_Key(&field->edit, SC_BACKSPACE, 0, 0);
        return TE_FULL;
    }
    Place(field);
    return TE_OK;
}

void TextField_Draw(const TEXTFIELD* field, BITMAP* dst)
{
    const TEXTEDIT* e = &field->edit;
    Font_Print(field->textx, field->y, e->buffer, 0, field->font, nullptr, nullptr, dst);
    char before[256];
    int n = e->cursor < (int)sizeof before - 1 ? e->cursor : (int)sizeof before - 1;
    memcpy(before, e->buffer, (size_t)n);
    before[n] = 0;
    int cx = field->textx + Font_StringWidth(before, field->font) - 1;
    int h = Font_GetHeight(field->font);
    Graph_DrawLine(dst, nullptr, 0, cx, field->y, cx, field->y + h - 2, 15);
}
