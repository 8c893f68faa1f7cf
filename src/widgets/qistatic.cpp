#include "widgets/qistatic.h"

#include <string>

#include "core/mlstring.h"
#include "platform/graph.h"
#include "platform/video.h"
#include "widgets/qidraw.h"

// Statics take no input and carry no tip.
static const uint32_t kNotInput = QIWF_HITTEST | QIWF_HASTIP;

static void FillBox(int x, int y, int w, int h) { QI_FillBox(x, y, w, h, QIC_FACE); }

// The title of a widget by id (name + "StaticTitle"), the current text as
// the default.
static void LookUpTitle(const QIString& name, QIString* text)
{
    if (!text->length) return;
    std::string key = std::string(name.c_str()) + "StaticTitle";
    char buffer[256];
    MLString_GetOrDefine(key.c_str(), text->c_str(), buffer, sizeof buffer);
    text->Set(buffer);
}

QIStatic::QIStatic(const char* name, QIHANDLER fn, const IRect& rect, const char* t,
                   const QIFont* f, int32_t just)
    : QIWidget(name, fn), text(t), font(f), justification(just)
{
    Assign(rect);
    flags &= ~kNotInput;
}

QIStatic::QIStatic(const char* name, QIHANDLER fn, const IRect& rect, const QIImage& picture)
    : QIWidget(name, fn), image(picture)
{
    Assign(rect);
    flags &= ~kNotInput;
}

QIStatic::QIStatic(const char* name, QIHANDLER fn, const IRect& rect, const QIImage& picture,
                   const char* t, const QIFont* f, int32_t just)
    : QIWidget(name, fn), text(t), font(f), image(picture), justification(just)
{
    Assign(rect);
    flags &= ~kNotInput;
}

void QIStatic::Draw(const IRect* clip)
{
    if (!(flags & QIWF_SHOWN)) return;
    QIDrawClip within(clip);
    if (image.Usable()) QI_DrawBitmapClipped(&image, x, y, clip);
    if (style & QISS_FILL) FillBox(x, y, w + 1, h + 1);
    if (text.length) {
        const int tw = QI_TextWidth(font, text.text);
        if (justification == QIJ_CENTRE)
            QI_DrawText(font, x + w / 2 - tw / 2, y + h / 2 - QI_FontHeight(font) / 2, clip, text.text);
        else if (justification == QIJ_RIGHT)
            QI_DrawText(font, x + w - tw, y, clip, text.text);
        else
            QI_DrawText(font, x, y, clip, text.text);
    }
    QIWidget::Draw(clip);
}

void QIStatic::Update(void) { image.Resolve(); }

void QIStatic::ExportDefines(void) { LookUpTitle(name, &text); }

void QIStatic::SetImage(const QIImage& picture)
{
    image = picture;
    if (!IsHidden()) Draw(nullptr);
}

void QIStatic::SetText(const char* t)
{
    text.Set(t);
    if (!IsHidden()) Draw(nullptr);
}

QICaptionFrame::QICaptionFrame(const char* name, QIHANDLER fn, const IRect& rect, const char* t,
                               const QIFont* f, int32_t just)
    : QIWidget(name, fn), caption(t), font(f), justification(just)
{
    Assign(rect);
    flags &= ~kNotInput;
}

void QICaptionFrame::Draw(const IRect* clip)
{
    if (!(flags & QIWF_SHOWN)) return;
    QIDrawClip within(clip);
    const int fh = QI_FontHeight(font), tw = QI_TextWidth(font, caption.c_str());
    QI_DrawFrame(x, y + fh / 2 - 1, x + w, y + h, 1, 0);
    QI_DrawFrame(x + 1, y + fh / 2, x + w - 1, y + h - 1, 0, 0);
    if (caption.length) {
        FillBox(x + 8, y, tw + 3, fh + 1);
        int tx = x + 10;
        if (justification == QIJ_CENTRE) tx = x + w / 2 - tw / 2;
        else if (justification == QIJ_RIGHT) tx = x + w - tw - 10;
        QI_DrawText(font, tx, y, clip, caption.text);
    }
    QIWidget::Draw(clip);
}

void QICaptionFrame::ExportDefines(void) { LookUpTitle(name, &caption); }

QICallbackText::QICallbackText(const char* name, QIHANDLER fn, const IRect& rect, QITEXTFN cb,
                               const QIFont* f, int32_t just)
    : QIWidget(name, fn), font(f), callback(cb), justification(just)
{
    Assign(rect);
    flags &= ~kNotInput;
}

void QICallbackText::Draw(const IRect* clip)
{
    if (!(flags & QIWF_SHOWN)) return;
    QIDrawClip within(clip);
    FillBox(x, y, w + 1, h + 1);
    if (callback) callback(&text);
    if (text.length) {
        const int tw = QI_TextWidth(font, text.text);
        int tx = x;
        if (justification == QIJ_CENTRE) tx = x + w / 2 - tw / 2 + 1;
        else if (justification == QIJ_RIGHT) tx = x + w - tw;
        QI_DrawText(font, tx, y, clip, text.text);
    }
    QIWidget::Draw(clip);
}

int QICallbackText::OnChildNotify(QIWidget*, int p1, QIARG)
{
    if (p1 == QIN_CHANGED && !IsHidden()) Draw(nullptr);
    return 0;
}
