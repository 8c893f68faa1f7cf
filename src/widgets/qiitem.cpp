#include "widgets/qiitem.h"

#include <algorithm>

#include "platform/graph.h"
#include "platform/video.h"
#include "widgets/qidraw.h"

void QIGraphic::Draw(const IPoint&, const IRect&, uint32_t) {}
void QIGraphic::Clicked(const IPoint&, int) {}
int QIGraphic::Compare(QIGraphic*) { return 0; }

QITextItem::QITextItem(const QIFont* f, const char* t) : text(t), font(f)
{
    w = QI_TextWidth(f, text.c_str());
    h = QI_FontHeight(f);
}

QITextItem::QITextItem(const QIFont* f, const QIRemap& r, const char* t) : QITextItem(f, t)
{
    ownRemap = true;
    remap = r;
}

void QITextItem::Background(int bx, int by, const IRect& row, uint32_t state) const
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb || (state & QIROW_NOBACK)) return;
    const int x1 = std::max(bx, row.x), y1 = std::max(by, row.y);
    const int x2 = std::min(bx + w, row.x + row.w), y2 = std::min(by + h, row.y + row.h);
    if (x2 <= x1 || y2 <= y1) return;
    const int entry = (state & QIROW_CURRENT) ? QIC_FACE : (state & QIROW_HOVER) ? QIC_TRACK : QIC_BACK;
    QI_FillBox(x1, y1, x2 - x1, y2 - y1, entry);
}

void QITextItem::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    const int bx = origin.x + x, by = origin.y + y;
    Background(bx, by, row, state);
    if (ownRemap)
        QI_DrawTextClipped(font, bx, by, &remap, &row, text.c_str());
    else
        QI_DrawText(font, bx, by, &row, text.c_str());
}

QIGraphicText::QIGraphicText(const QIFont* f, const QIFont* second, const QIFont* third,
                             const char* t, int32_t* valueAt, int32_t v, int32_t just)
    : QITextItem(f, t), valuePointer(valueAt), value(v), secondFont(second), thirdFont(third),
      justification(just)
{
}

void QIGraphicText::SetFont(const QIFont* f) { font = secondFont = thirdFont = f; }

void QIGraphicText::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    const int bx = origin.x + x, by = origin.y + y;
    Background(bx, by, row, state);
    const QIFont* f = secondFont;
    if (state & QIROW_NOBACK)
        f = (state & QIROW_CURRENT) ? thirdFont : (state & QIROW_HOVER) ? secondFont : font;
    const int tw = QI_TextWidth(f, text.c_str());
    int tx = bx;
    if (justification == 1) tx = bx + w / 2 - tw / 2;
    else if (justification == 2) tx = bx + w - tw;
    QI_DrawText(f, tx, by, &row, text.c_str());
}

void QIGraphicText::Clicked(const IPoint&, int kind)
{
    if (kind == QIITEM_CHOSEN && valuePointer) *valuePointer = value;
}

QIStateImage::QIStateImage(const QIImage& normal, const QIImage& selected,
                           const QIImage& highlighted, const QIImage& both, const IPoint& size)
    : images{normal, selected, highlighted, both}
{
    w = size.x;
    h = size.y;
}

void QIStateImage::Update(void)
{
    for (QIImage& image : images) image.Resolve();
}

void QIStateImage::Draw(const IPoint& origin, const IRect& row, uint32_t state)
{
    const bool high = (itemFlags & QIIF_SELECTED) || (state & QIROW_CURRENT);
    const bool sel = state & QIROW_HOVER;
    const QIImage& image = images[(high ? 2 : 0) + (sel ? 1 : 0)];
    if (image.Usable()) QI_DrawBitmapClipped(&image, origin.x + x, origin.y + y, &row);
}
