#include "widgets/qitext.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/gamestate.h"
#include "core/utils.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/video.h"
#include "widgets/qidraw.h"
#include "widgets/qiimage.h"
#include "widgets/qivalue.h"

int QI_FontHeight(const QIFont* font) { return font ? Font_GetHeight(font->slot) : 0; }

int QI_TextWidth(const QIFont* font, const char* text)
{
    return font && text ? Font_StringWidth(text, font->slot) : 0;
}

static void Print(const QIFont* font, int x, int y, const uint8_t* remap, const IRect* clip,
                  const char* text)
{
    BITMAP* bb = Backbuf_Lock();
    if (!font || !text || !bb || font->slot < 0 || font->slot >= FONT_SLOTS) return;
    GRECT g;
    const GRECT* gc = QI_WithinDrawClip(clip, &g);
    Font_Print(x, y, text, 0, font->slot, remap, gc, bb);
}

static const uint8_t* Remap(const QIFont* font)
{
    return font && font->remapBase ? font->remapBase + font->remapOffset : nullptr;
}

static const uint8_t* Remap(const QIRemap* remap)
{
    return remap && remap->base ? remap->base + remap->offset : nullptr;
}

// One buffer for the printf forms, as every caller draws at once.
static char s_line[QITEXT_MAX + 1];

static const char* Expand(const char* format, va_list ap)
{
    vsnprintf(s_line, sizeof s_line, format, ap);
    return s_line;
}

void QI_DrawText(const QIFont* font, int x, int y, const IRect* clip, const char* text)
{
    Print(font, x, y, Remap(font), clip, text);
}

void QI_DrawTextf(const QIFont* font, int x, int y, const IRect* clip, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    Print(font, x, y, Remap(font), clip, Expand(format, ap));
    va_end(ap);
}

void QI_DrawTextfAt(const QIFont* font, int x, int y, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    Print(font, x, y, Remap(font), nullptr, Expand(format, ap));
    va_end(ap);
}

void QI_DrawTextClipped(const QIFont* font, int x, int y, const QIRemap* remap, const IRect* clip,
                        const char* text)
{
    Print(font, x, y, Remap(remap), clip, text);
}

void QI_DrawTextfRemap(const QIFont* font, int x, int y, const QIRemap* remap, const char* format,
                       ...)
{
    va_list ap;
    va_start(ap, format);
    Print(font, x, y, Remap(remap), nullptr, Expand(format, ap));
    va_end(ap);
}

void QI_DrawTextfRemapClipped(const QIFont* font, int x, int y, const QIRemap* remap,
                              const IRect* clip, const char* format, ...)
{
    va_list ap;
    va_start(ap, format);
    Print(font, x, y, Remap(remap), clip, Expand(format, ap));
    va_end(ap);
}

// Calls piece(start, length) for runs of text that hold no inline code:
// a run ends right after a '|' or '~' that a digit follows, so the font
// never sees the pair together.
template <class PIECE> static void LiteralPieces(const char* text, PIECE&& piece)
{
    const char* start = text;
    for (const char* p = text; *p; p++) {
        if ((*p == '|' || *p == '~') && p[1] >= '0' && p[1] <= '9') {
            piece(start, (size_t)(p + 1 - start));
            start = p + 1;
        }
    }
    if (*start) piece(start, strlen(start));
}

int QI_TextWidthLiteral(const QIFont* font, const char* text)
{
    if (!font || !text) return 0;
    int width = 0;
    LiteralPieces(text, [&](const char* s, size_t n) {
        const std::string run(s, n);
        width += Font_StringWidth(run.c_str(), font->slot);
    });
    return width;
}

void QI_DrawTextLiteral(const QIFont* font, int x, int y, const IRect* clip, const char* text)
{
    if (!font || !text) return;
    LiteralPieces(text, [&](const char* s, size_t n) {
        const std::string run(s, n);
        Print(font, x, y, Remap(font), clip, run.c_str());
        x += Font_StringWidth(run.c_str(), font->slot);
    });
}

int QI_LoadNamedResource(QIFont* font, int slot, const char* name)
{
    font->slot = slot;
    char path[UTILS_PATH];
    if (!Utils_MakePath(path, g_DataDir, QI_BitmapDir(), "", name, "")) return 0;
    return Font_Load(path, slot);
}
