#include "widgets/qiedit.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "core/tlog.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qitext.h"

namespace {

// The working text of the field being edited, sized for the longest field.
std::vector<char>& WorkText(void)
{
    static std::vector<char> text(1, '\0');
    return text;
}

void Reserve(int32_t maxLength)
{
    std::vector<char>& t = WorkText();
    if ((size_t)maxLength + 1 > t.size()) t.resize((size_t)maxLength + 1, '\0');
}

// Copies from into to (maxLength + 1 bytes), cut at maxLength.
void CopyCut(char* to, const char* from, int32_t maxLength)
{
    const size_t n = std::min(strlen(from), (size_t)maxLength);
    memmove(to, from, n);
    to[n] = '\0';
}

QIDesktopBase* Desk(void) { return dynamic_cast<QIDesktopBase*>(g_QIDesktop); }

bool Separator(char c) { return c && strchr(" .,;:/\\", c); }

enum {
    KEY_ESC = 1, KEY_BACKSPACE = 14, KEY_ENTER = 28, KEY_PADENTER = 156, KEY_HOME = 71,
    KEY_XHOME = 199, KEY_END = 79, KEY_XEND = 207, KEY_LEFT = 75, KEY_XLEFT = 203,
    KEY_RIGHT = 77, KEY_XRIGHT = 205, KEY_DELETE = 83, KEY_XDELETE = 211,
};

} // namespace

char* QIEditBase::Working(void) { return WorkText().data(); }

int32_t QIEditBase::WorkingLength(void) { return (int32_t)strlen(Working()); }

QIEditBase::QIEditBase(const char* name, QIHANDLER fn, const IRect& rect, char* external,
                       uint32_t classes, int32_t minimumCaret, int32_t maximumLength)
    : QIWidget(name, fn), buffer(external), charClasses(classes), maxLength(std::max(maximumLength, 0)),
      minCaret(std::max(minimumCaret, 0))
{
    IRect::operator=(rect);
    flags |= QIWF_TABSTOP;
    Reserve(maxLength);
    buffer[std::min((size_t)maxLength, strlen(buffer))] = '\0';
}

QIEditBase::QIEditBase(const char* name, QIHANDLER fn, const IRect& rect, QIString* boundString,
                       uint32_t classes, int32_t minimumCaret, int32_t maximumLength)
    : QIWidget(name, fn), bound(boundString), buffer(nullptr), charClasses(classes),
      maxLength(std::max(maximumLength, 0)), minCaret(std::max(minimumCaret, 0))
{
    IRect::operator=(rect);
    flags |= QIWF_TABSTOP;
    Reserve(maxLength);
    buffer = new char[(size_t)maxLength + 1];
    CopyCut(buffer, bound->c_str(), maxLength);
}

QIEditBase::QIEditBase(const char* name, QIHANDLER fn, const IRect& rect, uint32_t classes,
                       int32_t minimumCaret, int32_t maximumLength)
    : QIEditBase(name, fn, rect, new QIString(""), classes, minimumCaret, maximumLength)
{
    editFlags |= QIEF_OWNSBOUND;
}

QIEditBase::~QIEditBase()
{
    if (!bound) return;
    delete[] buffer;
    if (editFlags & QIEF_OWNSBOUND) delete bound;
}

void QIEditBase::BeginEdit(void)
{
    if (bound) CopyCut(buffer, bound->c_str(), maxLength);
    CopyCut(Working(), buffer, maxLength);
    caret = WorkingLength();
    flags |= QIWF_EDITING | QIWF_DOWN;
    Draw(nullptr);
}

void QIEditBase::Commit(void)
{
    CopyCut(buffer, Working(), maxLength);
    if (bound) bound->Set(buffer);
    caret = 0;
    flags &= ~(QIWF_EDITING | QIWF_DOWN);
}

int QIEditBase::HandleInput(QIWidget**, int kind, QIARG)
{
    const bool idle = !(flags & (QIWF_EDITING | QIWF_DISABLED));
    switch (kind) {
    case QIE_FOCUS:
        flags |= QIWF_FOCUS;
        Draw(nullptr);
        break;
    case QIE_UNFOCUS:
        flags &= ~QIWF_FOCUS;
        Draw(nullptr);
        break;
    case QIE_LEFTDOWN:
        if (idle) {
            if (QIDesktopBase* d = Desk()) d->SetCapture(this, true);
            // Taking the capture may have begun the edit already.
            if (!Editing()) BeginEdit();
        }
        break;
    case QIE_CAPTURE:
        if (idle) BeginEdit();
        break;
    case QIE_UNCAPTURE:
        // Redrawn at once, so the field loses its caret and editing look.
        if (Editing()) {
            Commit();
            if (!IsHidden()) Draw(nullptr);
        }
        break;
    default:
        break;
    }
    return 0;
}

void QIEditBase::HandleMessage(int message, void*, int)
{
    if (message != 2 || Editing()) return;
    if (QIDesktopBase* d = Desk()) d->SetCapture(this, true);
    if (!Editing()) BeginEdit();
}

bool QIEditBase::Accepts(int c) const
{
    if (c <= 0 || c > 127) return false;
    static const char kPunctuation[] = ".,;:<>?!@#$%^&*()-=+'\"[]{}|\\/";
    const struct {
        uint32_t bit;
        bool in;
    } classes[] = {
        {QIEC_LETTERS, isalpha(c) != 0},
        {QIEC_DIGITS, isdigit(c) != 0},
        {QIEC_SPACE, c == ' '},
        {QIEC_STOP, c == '.'},
        {QIEC_PUNCTUATION, strchr(kPunctuation, c) != nullptr},
        {QIEC_HEX, isdigit(c) || (c >= 'A' && c <= 'F')},
        {QIEC_BACKSLASH, c == '\\'},
        {QIEC_COLON, c == ':'},
        {QIEC_MINUS, c == '-'},
    };
    for (const auto& k : classes)
        if ((charClasses & k.bit) && k.in) return true;
    return false;
}

void QIEditBase::Insert(int c)
{
    char* t = Working();
    const int32_t len = WorkingLength();
    // Converted before the check, so a hexadecimal field takes "a" as "A".
    if ((charClasses & QIEC_UPPER) && c > 0 && c <= 127 && islower(c)) c = toupper(c);
    if ((charClasses & QIEC_LOWER) && c > 0 && c <= 127 && isupper(c)) c = tolower(c);
    if (len >= maxLength || !Accepts(c)) return;
    caret = std::clamp(caret, 0, len);
    memmove(t + caret + 1, t + caret, (size_t)(len - caret) + 1);
    t[caret++] = (char)c;
    QIPointer zero;
    Notify(QIN_EDITED, (QIARG)&zero);
}

void QIEditBase::Delete(int32_t at, int32_t n)
{
    char* t = Working();
    const int32_t len = WorkingLength();
    if (at < 0 || n <= 0 || at >= len) return;
    n = std::min(n, len - at);
    memmove(t + at, t + at + n, (size_t)(len - at - n) + 1);
    QIPointer zero;
    Notify(QIN_EDITED, (QIARG)&zero);
}

void QIEditBase::FilterChar(QIWidget**, QIKey* key)
{
    if (!Editing() || !key) return;
    const bool control = key->modifiers & MOD_CTRL;
    // A hint goes whole at the first key that edits: nobody means to keep
    // part of it. Moving the caret over it or leaving keeps it.
    bool erases = false, types = false;
    switch (key->code) {
    case KEY_BACKSPACE: case KEY_DELETE: case KEY_XDELETE: erases = true; break;
    case KEY_ESC: case KEY_ENTER: case KEY_PADENTER: case KEY_HOME: case KEY_XHOME: case KEY_END:
    case KEY_XEND: case KEY_LEFT: case KEY_XLEFT: case KEY_RIGHT: case KEY_XRIGHT: break;
    default: types = key->character < 0 || key->character >= ' '; break;
    }
    if ((editFlags & QIEF_HINT) && (erases || types)) {
        editFlags &= ~QIEF_HINT;
        Working()[0] = '\0';
        caret = 0;
        QIPointer zero;
        Notify(QIN_EDITED, (QIARG)&zero);
        if (erases) return;
    }
    const char* t = Working();
    const int32_t len = WorkingLength();
    caret = std::clamp(caret, 0, len);
    QIDesktopBase* d = Desk();
    switch (key->code) {
    case KEY_ESC:
        caret = 0;
        flags &= ~(QIWF_EDITING | QIWF_DOWN);
        Draw(nullptr);
        if (d) d->SetCapture(this, false);
        break;
    case KEY_ENTER:
    case KEY_PADENTER: {
        Commit();
        Draw(nullptr);
        if (d) d->SetCapture(this, false);
        QIPointer zero;
        Notify(QIN_ENTER, (QIARG)&zero);
        break;
    }
    case KEY_BACKSPACE:
        if (caret > minCaret) {
            const int32_t from = control ? minCaret : caret - 1;
            const int32_t n = caret - from;
            caret = from;
            Delete(from, n);
        }
        break;
    case KEY_HOME:
    case KEY_XHOME:
        caret = std::min(minCaret, len);
        break;
    case KEY_END:
    case KEY_XEND:
        caret = len;
        break;
    case KEY_LEFT:
    case KEY_XLEFT:
        if (caret > minCaret) {
            do caret--;
            while (control && caret > minCaret && !Separator(t[caret - 1]));
        }
        break;
    case KEY_RIGHT:
    case KEY_XRIGHT:
        if (caret < len) {
            do caret++;
            while (control && caret < len && !Separator(t[caret]));
        }
        break;
    case KEY_DELETE:
    case KEY_XDELETE:
        if (caret >= minCaret) Delete(caret, control ? len - caret : 1);
        break;
    default:
        if (key->character) Insert(key->character);
        break;
    }
}

QIEdit::QIEdit(const char* name, QIHANDLER fn, const IRect& rect, const IPoint& offset, int32_t just,
               char* external, uint32_t classes, int32_t minimumCaret, int32_t maximumLength,
               int32_t caretCol, const QIFont* f)
    : QIEditBase(name, fn, rect, external, classes, minimumCaret, maximumLength), textOffset(offset),
      font(f), caretColour(caretCol), justification(just)
{
    PlaceText();
}

QIEdit::QIEdit(const char* name, QIHANDLER fn, const IRect& rect, const IPoint& offset, int32_t just,
               QIString* boundString, uint32_t classes, int32_t minimumCaret, int32_t maximumLength,
               int32_t caretCol, const QIFont* f)
    : QIEditBase(name, fn, rect, boundString, classes, minimumCaret, maximumLength), textOffset(offset),
      font(f), caretColour(caretCol), justification(just)
{
    PlaceText();
}

QIEdit::QIEdit(const char* name, QIHANDLER fn, const IRect& rect, const IPoint& offset, int32_t just,
               uint32_t classes, int32_t minimumCaret, int32_t maximumLength, int32_t caretCol,
               const QIFont* f)
    : QIEditBase(name, fn, rect, classes, minimumCaret, maximumLength), textOffset(offset), font(f),
      caretColour(caretCol), justification(just)
{
    PlaceText();
}

void QIEdit::PlaceText(void)
{
    const int32_t width = QI_TextWidthLiteral(font, Shown());
    switch (justification) {
    case QIEJ_LEFT: textStart = textOffset.x; break;
    case QIEJ_CENTRE: textStart = w / 2 - width / 2; break;
    case QIEJ_RIGHT: textStart = w - width - textOffset.x; break;
    default:
        // Placed on every draw and key: once is enough to tell.
        if (!justificationLogged_) TLOG(TLOG_ERROR, "QIEdit::just invalid justification");
        justificationLogged_ = true;
        break;
    }
}

// The caret's x from the left of the visible box, before any shift.
int32_t QIEdit::CaretFromBox(void) const
{
    const std::string before(Working(), (size_t)std::clamp(caret, 0, WorkingLength()));
    return textStart - textOffset.x + QI_TextWidthLiteral(font, before.c_str());
}

int32_t QIEdit::ScrollShift(void) const
{
    if (!Editing()) return 0;
    const int32_t visible = w - 2 * textOffset.x;
    const int32_t caretX = CaretFromBox();
    // The text starts at textStart whatever the justification: a caret
    // past the margin or left of the box moves the text, not the caret.
    if (caretX > visible - QIEDIT_MARGIN) return caretX - (visible - QIEDIT_MARGIN);
    return caretX < 0 ? caretX : 0;
}

bool QIEdit::CaretShown(uint32_t now) const
{
    return (flags & QIWF_DOWN) && (now - lastKeyMs) % QIEDIT_BLINKMS < QIEDIT_CARETONMS;
}

int QIEdit::HandleInput(QIWidget** path, int kind, QIARG pointer)
{
    if (kind == QIE_CAPTURETICK) {
        Draw(nullptr);
        return 0;
    }
    return QIEditBase::HandleInput(path, kind, pointer);
}

void QIEdit::FilterChar(QIWidget** path, QIKey* key)
{
    lastKeyMs = Plat_SystemMs();
    QIEditBase::FilterChar(path, key);
    PlaceText();
}

void QIEdit::Draw(const IRect* clip)
{
    if (!(flags & QIWF_SHOWN)) return;
    QIDrawClip within(clip);
    PlaceText();
    const int style = (flags & QIWF_FOCUS) && !Editing() ? 3 : 2;
    QI_DrawFrame(x, y, x + w, y + h, style, 1);
    const int32_t visible = w - 2 * textOffset.x;
    const int32_t shift = ScrollShift();
    const IRect box(x + textOffset.x, y, visible, h);
    // A player's text is drawn as typed: its inline codes stay characters.
    QI_DrawTextLiteral(font, x + textStart - shift, y + textOffset.y, &box, Shown());
    if (CaretShown(Plat_SystemMs())) {
        BITMAP* bb = Backbuf_Lock();
        // The caret follows the text, wherever the justification put it.
        const int cx = x + textOffset.x + CaretFromBox() - shift;
        const int top = y + textOffset.y;
        if (bb) Graph_DrawLine(bb, nullptr, 0, cx, top, cx, top + QI_FontHeight(font) - 2, (uint8_t)caretColour);
    }
    QIWidget::Draw(clip);
}
