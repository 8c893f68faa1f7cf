#include "widgets/qidroplist.h"

#include <algorithm>

#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"

QITextList::QITextList(const char* name, QIHANDLER fn, const QIImage& backgroundImage,
                       const IRect& rect, const IPoint& cellSize, int32_t cols, QISlider* vBar,
                       QISlider* hBar)
    : QIList(name, fn, rect, cellSize, cols, vBar, hBar), background(backgroundImage)
{
}

void QITextList::Update(void)
{
    background.Resolve();
    QIList::Update();
}

void QITextList::FillCell(const IPoint& from, const IPoint& to)
{
    const int32_t left = std::max(from.x, x), top = std::max(from.y, y);
    const IRect cells(left, top, std::min(to.x + 1, x + w) - left, std::min(to.y + 1, y + h) - top);
    if (cells.w > 0 && cells.h > 0) QI_DrawBitmapClipped(&background, x, y, &cells);
}

QIDropList::QIDropList(const char* name, QIHANDLER fn, const IRect& closed, const IRect& open,
                       const IPoint& cellSize, const QIImage& closedImage, const QIImage& closedFocus,
                       const QIImage& openImage, const QIImage& openFocus)
    : QIList(name, fn, closed, cellSize, 1, nullptr, nullptr), closedBox(closed), openBox(open)
{
    images[QIDI_CLOSED] = closedImage;
    images[QIDI_CLOSEDFOCUS] = closedFocus;
    images[QIDI_OPEN] = openImage;
    images[QIDI_OPENFOCUS] = openFocus;
    openBox.h = QIDROP_STARTHEIGHT;
    flags |= QIWF_STICKY;
}

void QIDropList::ItemsChanged(void)
{
    if (!currentItem) currentItem = first;
    openBox.h = extent.y;
    if (IsOpen()) h = openBox.h;
}

void QIDropList::Add(QIGraphic* item)
{
    // A full list drops its first item to make room.
    if (count == maxItems && first == currentItem) currentItem = nullptr;
    QIList::Add(item);
    ItemsChanged();
}

void QIDropList::InsertSorted(QIGraphic* item)
{
    if (count == maxItems && first == currentItem) currentItem = nullptr;
    QIList::InsertSorted(item);
    ItemsChanged();
}

void QIDropList::Remove(QIGraphic* item)
{
    if (item && item == currentItem) currentItem = nullptr;
    QIList::Remove(item);
    ItemsChanged();
}

void QIDropList::Detach(QIGraphic* item)
{
    if (item && item == currentItem) currentItem = nullptr;
    QIList::Detach(item);
    openBox.h = extent.y;
    if (IsOpen()) h = openBox.h;
}

void QIDropList::Clear(void)
{
    currentItem = nullptr;
    QIList::Clear();
    openBox.h = extent.y;
    if (IsOpen()) h = openBox.h;
}

void QIDropList::SetCurrent(int32_t index)
{
    flags |= QIWF_MARK;
    current = index;
    currentItem = ItemAt(index);
}

int QIDropList::HandleInput(QIWidget** path, int kind, QIARG pointer)
{
    if (*path) return (*path)->HandleInput(path - 1, kind, pointer);
    QIDesktopBase* d = dynamic_cast<QIDesktopBase*>(g_QIDesktop);
    if (!IsOpen()) {
        switch (kind) {
        case QIE_FOCUS:
            flags |= QIWF_FOCUS;
            Refresh();
            break;
        case QIE_UNFOCUS:
            flags &= ~QIWF_FOCUS;
            Refresh();
            break;
        case QIE_LEFTDOWN:
            if (flags & QIWF_DISABLED) break;
            dropState |= QIDROP_OPEN;
            Assign(openBox);
            flags |= QIWF_FOCUS | QIWF_MARK;
            Refresh();
            Notify(QIN_DROPOPEN, pointer);
            break;
        default:
            break;
        }
        return 0;
    }
    if ((kind != QIE_UNFOCUS && kind != QIE_LEFTUP) || !(flags & QIWF_FOCUS))
        return QIList::HandleInput(path, kind, pointer);
    flags &= ~QIWF_FOCUS;
    if (QIGraphic* chosen = ItemAt(current)) {
        currentItem = chosen;
        chosen->Clicked(IPoint(0, 0), QIITEM_CHOSEN);
    }
    dropState &= ~QIDROP_OPEN;
    QIList::HandleInput(path, kind, pointer);
    Assign(closedBox);
    if (d) d->dflags |= QID_REHITPENDING;
    flags |= QIWF_MARK;
    Refresh();
    if (d) {
        const IRect covered(openBox.x - 2, openBox.y - 2, openBox.w + 6, openBox.h + 6);
        d->Repaint(&covered);
    }
    Notify(QIN_DROPCLOSE, pointer);
    return 0;
}

void QIDropList::Draw(const IRect* clip)
{
    if (!(flags & QIWF_SHOWN)) return;
    QIDrawClip within(clip);
    const bool focus = flags & QIWF_FOCUS;
    const QIImage& image = images[IsOpen() ? (focus ? QIDI_OPENFOCUS : QIDI_OPEN)
                                           : (focus ? QIDI_CLOSEDFOCUS : QIDI_CLOSED)];
    const IRect& c = closedBox;
    if (image.Usable())
        QI_DrawBitmapAt(&image, IPoint(c.x, c.y));
    else
        QI_FillFramed(c.x, c.y, c.x + c.w, c.y + c.h, IsOpen(), focus);
    if (currentItem) {
        const uint32_t state = (IsOpen() ? QIROW_CURRENT : 0u) | (focus ? QIROW_HOVER : 0u) | QIROW_NOBACK;
        currentItem->Draw(IPoint(c.x, c.y + (c.h - currentItem->Height()) / 2), c, state);
    }
    if (IsOpen()) {
        QI_DrawFrame(openBox.x - 2, openBox.y - 2, openBox.x + openBox.w + 2, openBox.y + openBox.h + 2, 2, 1);
        QIList::Draw(clip);
    } else {
        flags &= ~QIWF_MARK;
    }
}

void QIDropList::Update(void)
{
    for (QIImage& image : images) image.Resolve();
    QIList::Update();
}
