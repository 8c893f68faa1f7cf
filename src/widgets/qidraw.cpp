#include "widgets/qidraw.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <set>
#include <string>

#include "core/mlstring.h"
#include "core/tlog.h"
#include "platform/graph.h"
#include "platform/video.h"
#include "widgets/qistring.h"
#include "widgets/qitext.h"

const uint8_t g_QILibraryColours[QIC_LIBRARY_ENTRIES] = {12, 10, 8, 7, 0, 5, 5, 5, 25, 0, 0, 0, 0};
const uint8_t* g_QIColours = g_QILibraryColours;

static uint8_t Colour(int entry) { return g_QIColours[entry]; }

// The repaint rectangle in force (QIDrawClip); null: the whole buffer.
static GRECT s_clipRect;
static const GRECT* s_clip = nullptr;

QIDrawClip::QIDrawClip(const IRect* rect) : saved_(s_clipRect), hadClip_(s_clip != nullptr)
{
    if (!rect) return;
    GRECT r{rect->x, rect->y, rect->w, rect->h};
    if (s_clip) {
        // Nested repaints never draw outside the outer one.
        const int x1 = std::max(r.x, s_clipRect.x), y1 = std::max(r.y, s_clipRect.y);
        const int x2 = std::min(r.x + r.w, s_clipRect.x + s_clipRect.w);
        const int y2 = std::min(r.y + r.h, s_clipRect.y + s_clipRect.h);
        r = GRECT{x1, y1, std::max(x2 - x1, 0), std::max(y2 - y1, 0)};
    }
    s_clipRect = r;
    s_clip = &s_clipRect;
}

QIDrawClip::~QIDrawClip()
{
    s_clipRect = saved_;
    s_clip = hadClip_ ? &s_clipRect : nullptr;
}

const GRECT* QI_WithinDrawClip(const IRect* own, GRECT* out)
{
    if (!own && !s_clip) return nullptr;
    if (!own) {
        *out = s_clipRect;
        return out;
    }
    GRECT r{own->x, own->y, own->w, own->h};
    if (s_clip) {
        const int x1 = std::max(r.x, s_clipRect.x), y1 = std::max(r.y, s_clipRect.y);
        const int x2 = std::min(r.x + r.w, s_clipRect.x + s_clipRect.w);
        const int y2 = std::min(r.y + r.h, s_clipRect.y + s_clipRect.h);
        r = GRECT{x1, y1, std::max(x2 - x1, 0), std::max(y2 - y1, 0)};
    }
    *out = r;
    return out;
}

void QI_OutlineBox(int x, int y, int w, int h, int entry)
{
    BITMAP* bb = Backbuf_Lock();
    if (bb && w >= 1 && h >= 1) Graph_DrawRect(bb, s_clip, 0, x, y, w, h, Colour(entry));
}

void QI_FillBox(int x, int y, int w, int h, int entry)
{
    BITMAP* bb = Backbuf_Lock();
    if (bb && w >= 1 && h >= 1) Graph_FillRect(bb, s_clip, 0, x, y, w, h, Colour(entry));
}

static void Fill(BITMAP* bb, int x, int y, int w, int h, int entry)
{
    if (w >= 1 && h >= 1) Graph_FillRect(bb, s_clip, 0, x, y, w, h, Colour(entry));
}

static void Outline(BITMAP* bb, int x1, int y1, int x2, int y2, int entry)
{
    if (x2 >= x1 && y2 >= y1)
        Graph_DrawRect(bb, s_clip, 0, x1, y1, x2 - x1 + 1, y2 - y1 + 1, Colour(entry));
}

void QI_DrawFrame(int x1, int y1, int x2, int y2, int style, int fill)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb || x2 < x1 || y2 < y1) return;
    static const struct {
        int light, dark, face;
    } kStyles[4] = {{QIC_HIGHLIGHT, QIC_SHADOW, QIC_FACE},
                    {QIC_SHADOW, QIC_HIGHLIGHT, QIC_FACE},
                    {QIC_SHADOW, QIC_HIGHLIGHT, QIC_BACK},
                    {QIC_SHADOW, QIC_HIGHLIGHT, QIC_TRACK}};
    const auto& s = kStyles[style >= 0 && style < 4 ? style : 0];
    Graph_DrawLine(bb, s_clip, 0, x1, y1, x2, y1, Colour(s.light));
    Graph_DrawLine(bb, s_clip, 0, x1, y1, x1, y2, Colour(s.light));
    Graph_DrawLine(bb, s_clip, 0, x2, y1, x2, y2, Colour(s.dark));
    Graph_DrawLine(bb, s_clip, 0, x1, y2, x2, y2, Colour(s.dark));
    if (fill) Fill(bb, x1 + 1, y1 + 1, x2 - x1 - 1, y2 - y1 - 1, s.face);
}

void QI_FillFramed(int x1, int y1, int x2, int y2, int pressed, int focus)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb || x2 < x1 || y2 < y1) return;
    Outline(bb, x1, y1, x2, y2, focus ? (pressed ? QIC_FOCUSDOWN : QIC_FOCUS) : QIC_OUTLINE);
    const int style = pressed ? 1 : 0;
    QI_DrawFrame(x1 + 1, y1 + 1, x2 - 1, y2 - 1, style, 0);
    QI_DrawFrame(x1 + 2, y1 + 2, x2 - 2, y2 - 2, style, 1);
}

void QI_FillOrFrame(int x1, int y1, int x2, int y2, int style, int outlined)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb || x2 < x1 || y2 < y1) return;
    int k = 0;
    if (outlined) {
        Outline(bb, x1, y1, x2, y2, QIC_OUTLINE);
        k = 1;
    } else {
        x2--;
        y2--;
    }
    QI_DrawFrame(x1 + k, y1 + k, x2 - k, y2 - k, 0, 0);
    Outline(bb, x1 + k + 1, y1 + k + 1, x2 - k - 1, y2 - k - 1, QIC_FACE);
    Outline(bb, x1 + k + 2, y1 + k + 2, x2 - k - 2, y2 - k - 2, QIC_FACE);
    Outline(bb, x1 + k + 4, y1 + k + 4, x2 - k - 4, y2 - k - 4, QIC_BACK);
    QI_DrawFrame(x1 + k + 3, y1 + k + 3, x2 - k - 3, y2 - k - 3, 2, style != 0);
}

void QI_DrawVTrack(int x, int y, int length)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb || length < 1) return;
    Outline(bb, x, y, x + 12, y + length, QIC_OUTLINE);
    Fill(bb, x + 1, y + 1, 11, length - 1, QIC_TRACK);
}

void QI_DrawHTrack(int x, int y, int length)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb || length < 1) return;
    Outline(bb, x, y, x + length, y + 12, QIC_OUTLINE);
    Fill(bb, x + 1, y + 1, length - 1, 11, QIC_TRACK);
}

IRect QI_DrawTextBox(int x, int y, const char* text, const QIFont* font)
{
    const int w = QI_TextWidth(font, text) + 2, h = QI_FontHeight(font);
    BITMAP* bb = Backbuf_Lock();
    if (bb) {
        Outline(bb, x, y, x + w, y + h, QIC_OUTLINE);
        Fill(bb, x + 1, y + 1, w - 1, h - 1, QIC_TIP);
        QI_DrawText(font, x + 1, y + 1, nullptr, text);
    }
    return IRect(x, y, w, h);
}

// ---------------------------------------------------------------- texts by id

// What a format asks of its arguments: one letter per argument, in order
// ('*' a width or precision, then the conversion's kind with its length
// modifier). '!' marks a conversion no text may use (%n, or one cut short).
static std::string Arguments(const char* format)
{
    std::string sig;
    for (const char* p = format; *p; p++) {
        if (*p != '%') continue;
        p++;
        if (*p == '%') continue;
        while (*p && std::string("-+ #0'").find(*p) != std::string::npos) p++;
        for (int part = 0; part < 2; part++) {
            if (*p == '*') {
                sig += '*';
                p++;
            }
            while (*p >= '0' && *p <= '9') p++;
            if (part == 0 && *p == '.') p++;
            else break;
        }
        std::string length;
        while (*p && std::string("hlLqjzt").find(*p) != std::string::npos) length += *p++;
        char kind;
        switch (*p) {
        case 'd': case 'i': kind = 'd'; break;
        case 'u': case 'o': case 'x': case 'X': kind = 'd'; break;
        case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A': kind = 'f'; break;
        case 'c': kind = 'c'; break;
        case 's': kind = 's'; break;
        case 'p': kind = 'p'; break;
        default: return sig + '!';
        }
        sig += length + kind;
    }
    return sig;
}

int QI_SameArguments(const char* found, const char* defaultFormat)
{
    const std::string want = Arguments(defaultFormat);
    return Arguments(found) == want && want.find('!') == std::string::npos;
}

// Ids whose '#define' line was written already: pages look texts up on every
// poll, and a line a frame would grow the log without bound.
static std::set<std::string>& DefinedIds(void)
{
    static std::set<std::string> ids;
    return ids;
}

void QI_PlainText(const char* id, QIString* out, const char* def)
{
    if (!def) def = "";
    char found[QITEXT_MAX + 1];
    if (MLString_Get(id, found, sizeof found, 0)) {
        out->Set(found);
        return;
    }
    if (DefinedIds().insert(id ? id : "").second) TLOG(TLOG_WARNING, "#define %s \"%s\"", id ? id : "", def);
    out->Set(def);
}

void QI_Text(const char* id, QIString* out, const char* defaultFormat, ...)
{
    char format[QITEXT_MAX + 1];
    const char* chosen = defaultFormat;
    if (MLString_Get(id, format, sizeof format, 0)) {
        if (QI_SameArguments(format, defaultFormat))
            chosen = format;
        else
            TLOG(TLOG_WARNING, "Text [%s] takes other arguments than \"%s\": the default is used",
                 id, defaultFormat);
    } else if (DefinedIds().insert(id ? id : "").second) {
        TLOG(TLOG_WARNING, "#define %s \"%s\"", id ? id : "", defaultFormat);
    }
    char text[QITEXT_MAX + 1];
    va_list ap;
    va_start(ap, defaultFormat);
    vsnprintf(text, sizeof text, chosen, ap);
    va_end(ap);
    out->Set(text);
}
