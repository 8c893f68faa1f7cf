#include "widgets/qilist.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/rand.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/video.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qislider.h"

static QIDesktopBase* Desk(void) { return dynamic_cast<QIDesktopBase*>(g_QIDesktop); }

static void Bind(QIList* list, QISlider* bar, int32_t* value, int32_t* range, int32_t* page)
{
    bar->listener = list;
    bar->value = value;
    bar->range = range;
    bar->page = page;
}

QIList::QIList(const char* name, QIHANDLER fn, const IRect& rect, const IPoint& cellSize,
               int32_t cols, QISlider* vBar, QISlider* hBar)
    : QIWidget(name, fn), columns(std::max(cols, 1)), itemSize(cellSize), vScroll(vBar), hScroll(hBar)
{
    IRect::operator=(rect);
    flags = (flags | QIWF_STICKY | QIWF_MOVEUPDATE | QIWF_MARK) & ~(QIWF_REPEATRIGHT | QIWF_FASTRIGHT);
    if (vBar) {
        Bind(this, vBar, &scroll.y, &extent.y, &h);
        AddChild(this, vBar);
    }
    if (hBar) {
        Bind(this, hBar, &scroll.x, &extent.x, &w);
        AddChild(this, hBar);
    }
}

QIList::~QIList()
{
    while (first) {
        QIGraphic* next = static_cast<QIGraphic*>(first->next);
        delete first;
        first = next;
    }
}

QIGraphic* QIList::ItemAt(int32_t index) const
{
    if (index < 0 || index >= count) return nullptr;
    QIGraphic* it = first;
    while (it && index-- > 0) it = static_cast<QIGraphic*>(it->next);
    return it;
}

IPoint QIList::CellOf(int32_t index) const
{
    return IPoint((index % columns) * itemSize.x - scroll.x, (index / columns) * itemSize.y - scroll.y);
}

void QIList::RecomputeExtent(void)
{
    extent.x = itemSize.x * columns;
    extent.y = (count + columns - 1) / columns * itemSize.y;
}

void QIList::Link(QIGraphic* item, QIGraphic* after)
{
    item->prev = after;
    item->next = after ? after->next : first;
    if (item->next)
        item->next->prev = item;
    else
        last = item;
    if (after)
        after->next = item;
    else
        first = item;
    count++;
}

void QIList::Unlink(QIGraphic* item)
{
    if (item->prev)
        item->prev->next = item->next;
    else
        first = static_cast<QIGraphic*>(item->next);
    if (item->next)
        item->next->prev = item->prev;
    else
        last = static_cast<QIGraphic*>(item->prev);
    item->next = item->prev = nullptr;
    count--;
}

// What Add and InsertSorted do before placing the item.
void QIList::Take(QIGraphic* item)
{
    item->owner = this;
    item->Update();
    itemSize.x = std::max(itemSize.x, (int32_t)item->Width());
    itemSize.y = std::max(itemSize.y, (int32_t)item->Height());
    if (count == maxItems && first) {
        QIGraphic* gone = first;
        Unlink(gone);
        Gone(0);
        delete gone;
    }
}

// ... and after.
void QIList::Placed(void)
{
    RecomputeExtent();
    if ((listFlags & QILF_FOLLOWMASK) == QILF_FOLLOWEND) {
        ScrollToEnd();
    }
    Refresh();
}

void QIList::Add(QIGraphic* item)
{
    Take(item);
    Link(item, last);
    Placed();
}

void QIList::InsertSorted(QIGraphic* item)
{
    Take(item);
    QIGraphic* after = last;
    while (after && after->Compare(item) != 0) after = static_cast<QIGraphic*>(after->prev);
    Link(item, after);
    Placed();
}

int32_t QIList::IndexOf(const QIGraphic* item) const
{
    int32_t index = 0;
    for (const QIGraphic* it = first; it && it != item; it = static_cast<const QIGraphic*>(it->next)) index++;
    return index;
}

// After the item at index left: the current and hover indices stay on
// their items (none when it was the one gone), or a page that removes rows
// as it polls would show another row picked and act on it. Every row after
// it moved: all are drawn again.
void QIList::Gone(int32_t index)
{
    for (int32_t* at : {&current, &hover}) {
        if (*at == index)
            *at = -1;
        else if (*at > index)
            (*at)--;
    }
    flags |= QIWF_MARK;
}

// The content shrank: the scroll stays within it, or the view would show
// empty rows below the last until scrolled up.
void QIList::Shrunk(void)
{
    RecomputeExtent();
    scroll.y = std::clamp(scroll.y, 0, std::max(extent.y - h, 0));
    scroll.x = std::clamp(scroll.x, 0, std::max(extent.x - w, 0));
}

void QIList::Remove(QIGraphic* item)
{
    if (!item) return;
    const int32_t index = IndexOf(item);
    Unlink(item);
    delete item;
    Gone(index);
    Shrunk();
}

void QIList::Detach(QIGraphic* item)
{
    if (!item) return;
    const int32_t index = IndexOf(item);
    Unlink(item);
    item->owner = nullptr;
    Gone(index);
    Shrunk();
}

void QIList::Refresh(void)
{
    if (!IsHidden()) Draw(nullptr);
}

void QIList::Clear(void)
{
    while (first) {
        QIGraphic* gone = first;
        Unlink(gone);
        delete gone;
    }
    scroll = IPoint(0, 0);
    extent = IPoint(0, 0);
    flags |= QIWF_MARK;
}

void QIList::SetCurrent(int32_t index)
{
    if (index == current) return;
    current = index;
    flags |= QIWF_MARK;
}

void QIList::ScrollToItem(int32_t index)
{
    if (!ItemAt(index) || itemSize.y <= 0) return;
    const int32_t top = std::max(extent.y - h, 0);
    scroll.y = std::clamp((index / columns) * itemSize.y, 0, top);
    flags |= QIWF_MARK;
    Refresh();
}

void QIList::FillCell(const IPoint& from, const IPoint& to)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    const IRect list(x, y, w, h);
    GRECT clip;
    Graph_FillRect(bb, QI_WithinDrawClip(&list, &clip), 0, from.x, from.y, to.x - from.x + 1,
                   to.y - from.y + 1, 0);
}

uint32_t QIList::State(int32_t index) const
{
    return (index == hover ? (uint32_t)QIROW_HOVER : 0u) | (index == current ? (uint32_t)QIROW_CURRENT : 0u);
}

IRect QIList::Row(const IPoint& at) const
{
    const int32_t rx = std::max(at.x, x), ry = std::max(at.y, y);
    return IRect(rx, ry, std::min(at.x + itemSize.x, x + w) - rx, std::min(at.y + itemSize.y, y + h) - ry);
}

void QIList::DrawItem(const IRect*, int32_t index)
{
    if (itemSize.x <= 0 || itemSize.y <= 0 || index < 0) return;
    const IPoint cell = CellOf(index);
    if (cell.x >= w || cell.y >= h || cell.x + itemSize.x <= 0 || cell.y + itemSize.y <= 0) return;
    const IPoint at(x + cell.x, y + cell.y);
    if (listFlags & QILF_FILLCELLS)
        FillCell(at, IPoint(at.x + itemSize.x - 1, at.y + itemSize.y - 1));
    const uint32_t state = State(index);
    const IRect row = Row(at);
    QIGraphic* item = ItemAt(index);
    if (item)
        item->Draw(at, row, state);
    else if (emptyItem)
        emptyItem->Draw(at, row, state);
}

void QIList::Draw(const IRect* clip)
{
    if (!(flags & QIWF_SHOWN)) return;
    QIDrawClip within(clip);
    if (listFlags & QILF_FRAME) QI_FillOrFrame(x - 6, y - 6, x + w + 6, y + h + 6, 0, 1);
    const bool full = flags & QIWF_MARK;
    if (itemSize.x > 0 && itemSize.y > 0) {
        const int32_t firstIndex = scroll.y / itemSize.y * columns + scroll.x / itemSize.x;
        const IPoint start(-(scroll.x % itemSize.x), -(scroll.y % itemSize.y));
        QIGraphic* item = ItemAt(firstIndex);
        int32_t rowIndex = firstIndex;
        for (int32_t top = start.y; top < h; top += itemSize.y, rowIndex += columns) {
            int32_t index = rowIndex;
            // Cells cut off at the right edge leave the walk behind the next
            // row's first item.
            if (index != firstIndex) item = ItemAt(index);
            for (int32_t col = 0, left = start.x; col < columns && left < w;
                 col++, left += itemSize.x, index++) {
                const IPoint at(x + left, y + top);
                const IPoint to(at.x + itemSize.x - 1, at.y + itemSize.y - 1);
                const uint32_t state = State(index);
                const IRect row = Row(at);
                if (item) {
                    const bool redraw = full || (item->itemFlags & QIIF_REDRAW);
                    if (redraw) {
                        if (listFlags & QILF_FILLCELLS) FillCell(at, to);
                        item->Draw(at, row, state);
                        item->itemFlags &= ~QIIF_REDRAW;
                    }
                    item = static_cast<QIGraphic*>(item->next);
                } else if (full) {
                    if (listFlags & QILF_FILLCELLS) FillCell(at, to);
                    if (emptyItem) emptyItem->Draw(at, row, state);
                }
            }
        }
    }
    QIWidget::Draw(clip);
    flags &= ~QIWF_MARK;
}

void QIList::Update(void)
{
    for (QIGraphic* it = first; it; it = static_cast<QIGraphic*>(it->next)) it->Update();
}

const char* QIList::ValueText(void)
{
    snprintf(text_, sizeof text_, "Item=%d/%d Pos=%d,%d Sel:%d", hover, count, scroll.x, scroll.y,
             (int)((listFlags & QILF_DRAGMASK) >> 6));
    return text_;
}

int QIList::OnChildNotify(QIWidget*, int code, QIARG)
{
    if (code == QIN_CHANGED) {
        flags |= QIWF_MARK;
        if (!IsHidden()) PaintBackground();
        Refresh();
    }
    return 0;
}

// Every row moves on a scroll: a list that draws its items over what lies
// under them (no cell fill) would leave the old lines under the new ones.
void QIList::PaintBackground(void)
{
    if (w > 0 && h > 0) FillCell(IPoint(x, y), IPoint(x + w - 1, y + h - 1));
}

void QIList::AttachVScroll(QISlider* slider)
{
    slider->name.Format(100, "%sVS", name.c_str());
    if (!slider->x && !slider->y && !slider->w && !slider->h) {
        if (listFlags & QILF_FRAME)
            slider->Assign(IRect(x + w + 6, y - 6, 12, h + 12));
        else
            slider->Assign(IRect(x + w, y, 10, h - 1));
    }
    Bind(this, slider, &scroll.y, &extent.y, &h);
    slider->step = &itemSize.y;
    // Dragging the thumb follows the pointer even off the bar.
    slider->flags |= QIWF_MOVEUPDATE | QIWF_STICKY;
    vScroll = slider;
    AddChild(this, slider);
}

void QIList::ScrollBy(int32_t dx, int32_t dy)
{
    if (listFlags & QILF_HSCROLL) scroll.x += dx + dx / 4;
    if (listFlags & QILF_VSCROLL) scroll.y += dy + dy / 4;
    if (scroll.y >= extent.y - h) {
        scroll.y = extent.y - h;
        if ((listFlags & QILF_FOLLOWMASK) == QILF_FOLLOWDRAG) listFlags &= ~QILF_FOLLOWMASK;
    }
    scroll.x = std::min(scroll.x, extent.x - w);
    scroll.x = std::max(scroll.x, 0);
    scroll.y = std::max(scroll.y, 0);
    flags |= QIWF_MARK;
    if (flags & QIWF_SHOWN) PaintBackground();
    Draw(nullptr);
}

void QIList::ScrollToEnd(void)
{
    scroll.y = std::max(count / columns * itemSize.y - h, 0);
    flags |= QIWF_MARK;
}

void QIList::ClearHover(void)
{
    if (hover == -1) return;
    const int32_t old = hover;
    hover = -1;
    if (!IsHidden()) DrawItem(nullptr, old);
}

bool QIList::ClearSelection(void)
{
    bool any = false;
    for (QIGraphic* it = first; it; it = static_cast<QIGraphic*>(it->next))
        if (it->itemFlags & QIIF_SELECTED) {
            it->itemFlags = (it->itemFlags & ~QIIF_SELECTED) | QIIF_REDRAW;
            any = true;
        }
    return any;
}

QIGraphic* QIList::PickRandomSelected(void)
{
    std::vector<QIGraphic*> picks;
    int32_t i = 0;
    for (QIGraphic* it = first; it; it = static_cast<QIGraphic*>(it->next), i++)
        if ((it->itemFlags & QIIF_SELECTED) || i == current) picks.push_back(it);
    if (picks.empty()) return nullptr;
    return picks[(size_t)Crt_Rand() % picks.size()];
}

void QIList::ShowHoverTip(void)
{
    QIDesktopBase* d = Desk();
    if (!d) return;
    QIGraphic* item = ItemAt(hover);
    const char* text = item ? item->TipText() : "";
    d->SetStatusText(text && *text ? text : tip.c_str());
}

void QIList::Hover(const QIPointer* p)
{
    if (!p || itemSize.x <= 0 || itemSize.y <= 0) return;
    const int32_t px = std::clamp(p->x, x, x + w), py = std::clamp(p->y, y, y + h);
    const int32_t index = columns * ((py - y + scroll.y) / itemSize.y) + (px - x + scroll.x) / itemSize.x;
    if (index == hover) return;
    if (IsHidden()) {
        hover = index;
        return;
    }
    ClearHover();
    hover = index;
    DrawItem(nullptr, hover);
    if (flags & QIWF_HASTIP) ShowHoverTip();
}

void QIList::Select(bool extend, const QIPointer* p, int kind)
{
    if (current == hover && (listFlags & QILF_DRAGMASK)) return;
    const int32_t before = current;
    QIGraphic* item = ItemAt(hover);
    const bool usable = item && !(item->itemFlags & QIIF_UNSELECTABLE);
    if (!extend && !(listFlags & QILF_ALWAYSEXTEND)) {
        if (!usable) return;
        // The old cell is drawn once current has moved on: drawing it
        // before would paint it as current again.
        const int32_t old = current;
        current = hover;
        if (ClearSelection()) Refresh();
        if (old != current) DrawItem(nullptr, old);
        if (listFlags & QILF_MULTISELECT) item->itemFlags |= QIIF_SELECTED;
        const IPoint cell = CellOf(current);
        item->Clicked(p ? IPoint(p->x - x - cell.x, p->y - y - cell.y) : IPoint(0, 0), kind);
        DrawItem(nullptr, current);
        listFlags = (listFlags & ~QILF_DRAGMASK) | QILF_DRAGSELECT;
    } else if ((listFlags & QILF_MULTISELECT) && usable) {
        const int32_t old = current;
        switch (listFlags & QILF_DRAGMASK) {
        case 0:
            item->itemFlags ^= QIIF_SELECTED;
            if (item->itemFlags & QIIF_SELECTED) {
                listFlags |= QILF_DRAGSELECT;
                current = hover;
            } else {
                listFlags |= QILF_DRAGDESELECT;
                current = -1;
            }
            break;
        case QILF_DRAGSELECT:
            item->itemFlags |= QIIF_SELECTED;
            current = hover;
            break;
        default:
            item->itemFlags &= ~QIIF_SELECTED;
            current = hover;
            break;
        }
        DrawItem(nullptr, old);
        DrawItem(nullptr, hover);
    }
    if (current != before) Notify(QIN_CHANGED, (QIARG)p);
}

int QIList::HandleInput(QIWidget** path, int kind, QIARG pointer)
{
    if (*path) return (*path)->HandleInput(path - 1, kind, pointer);
    const QIPointer* p = (const QIPointer*)pointer;
    QIDesktopBase* d = Desk();
    const bool saved = d && (d->dflags & QID_POINTERSAVED);
    const bool scrollable = listFlags & (QILF_VSCROLL | QILF_HSCROLL);
    const bool control = p && (p->modifiers & MOD_CTRL);
    switch (kind) {
    case QIE_FOCUS:
        Hover(p);
        break;
    case QIE_UNFOCUS:
        ClearHover();
        listFlags &= ~QILF_DRAGMASK;
        break;
    case QIE_LEFTDOWN:
        Select(control, p, kind);
        break;
    case QIE_LEFTUP:
        listFlags &= ~QILF_DRAGMASK;
        break;
    case QIE_RIGHTDOWN:
        if (scrollable && d && !saved) {
            ClearHover();
            d->SavePointer();
            flags |= QIWF_DOWN;
            Refresh();
            listFlags = (listFlags & ~QILF_FOLLOWMASK) | QILF_FOLLOWDRAG;
        }
        break;
    case QIE_RIGHTUP:
        if (scrollable && saved) {
            d->RestorePointer();
            flags &= ~QIWF_DOWN;
            Hover(p);
        }
        break;
    case QIE_MOVE:
        if (saved && (flags & QIWF_DOWN)) {
            if (p) ScrollBy(p->x - p->press.x, p->y - p->press.y);
        } else {
            Hover(p);
            if (p && (p->buttons & (MOUSE_BUTTON_LEFT | MOUSE_BUTTON_RIGHT))) Select(control, p, kind);
        }
        break;
    default:
        break;
    }
    return 0;
}
