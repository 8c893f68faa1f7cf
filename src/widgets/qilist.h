// The scrolling item list: rows of equal cells, one or more columns,
// optional scroll bars, single or multiple selection.
//
// Items (widgets/qiitem.h) belong to the list from Add or InsertSorted
// until Remove, Clear or the list's end; Detach hands one back. Indices
// (current, hover) count items from the first; an index that names no
// item draws the empty item, or nothing.
//
// A right-button drag scrolls the list with the pointer held in the
// middle of the screen (the desktop's relative mode). The follow mode
// keeps the last row in view as items arrive, for logs.
//
// Names used elsewhere: QIList::Append is Add, QIList::Redraw is Refresh.
#pragma once

#include <cstdint>

#include "widgets/qiitem.h"
#include "widgets/qiwidget.h"

class QISlider;
class QIPointer;

enum QILIST_FLAGS : uint32_t {
    QILF_VSCROLL = 0x1,
    QILF_HSCROLL = 0x2,
    QILF_MULTISELECT = 0x4,
    QILF_ALWAYSEXTEND = 0x8,
    QILF_FOLLOWEND = 0x10,    // keep the last row in view as items are added
    QILF_FOLLOWDRAG = 0x20,   // the user is drag scrolling
    QILF_FOLLOWMASK = 0x30,
    QILF_DRAGSELECT = 0x40,
    QILF_DRAGDESELECT = 0x80,
    QILF_DRAGMASK = 0xC0,
    QILF_FILLCELLS = 0x100,
    QILF_FRAME = 0x200,       // a frame 6 pixels outside the rectangle
};

class QIList : public QIWidget {
public:
    uint32_t listFlags = QILF_VSCROLL;
    int32_t maxItems = 0; // adding at this count drops the first item; 0: never
    int32_t current = -1;
    int32_t hover = -1;
    int32_t columns;
    IPoint scroll{0, 0};
    IPoint extent{0, 0};
    IPoint itemSize;
    QISlider* vScroll = nullptr;
    QISlider* hScroll = nullptr;
    QIGraphic* first = nullptr;
    QIGraphic* last = nullptr;
    int32_t count = 0;
    QIGraphic* emptyItem = nullptr; // not owned

    // Columns at least 1. A given scroll bar becomes a child bound to the
    // scroll position, the extent and the list's size.
    QIList(const char* name, QIHANDLER fn, const IRect& rect, const IPoint& cellSize, int32_t cols,
           QISlider* vBar, QISlider* hBar);
    // Deletes every item.
    ~QIList() override;

    // Hover, selection (control extends) and right-drag scrolling at the
    // end of the path; no handler is called directly.
    int HandleInput(QIWidget** path, int kind, QIARG pointer) override;
    // 12 from a scroll bar: the background (FillCell over the whole list),
    // then everything.
    int OnChildNotify(QIWidget* child, int code, QIARG pointer) override;
    // The visible cells (all on a full redraw, marked; else the items
    // that need it), then the scroll bars.
    void Draw(const IRect* clip) override;
    void Update(void) override;
    const char* ValueText(void) override;

    // One cell, whatever its redraw bit; nothing when it lies outside.
    virtual void DrawItem(const IRect* clip, int32_t index);
    virtual void SetCurrent(int32_t index);
    virtual void SetEmptyItem(QIGraphic* item) { emptyItem = item; }
    virtual void Add(QIGraphic* item);
    // After the last item whose Compare with item gives 0, else first.
    virtual void InsertSorted(QIGraphic* item);
    // Remove and Detach (and the first item dropped at maxItems) keep
    // current and hover on their items, -1 for the one gone, and the
    // scroll within the content.
    virtual void Remove(QIGraphic* item);
    virtual void Detach(QIGraphic* item);
    // Draws unless hidden.
    virtual void Refresh(void);
    // Deletes every item; scroll and extent 0; current and hover stay.
    virtual void Clear(void);
    // The item's row to the top, within the scroll range; an index with no
    // item changes nothing.
    virtual void ScrollToItem(int32_t index);
    // Colour 0 from..to inclusive, clipped to the list.
    virtual void FillCell(const IPoint& from, const IPoint& to);

    // Named "%sVS"; an unplaced bar goes right of the list (outside the
    // frame when there is one); its step is the item height; its thumb
    // drags (MoveUpdate, Sticky).
    void AttachVScroll(QISlider* slider);
    // Each allowed axis by d + d / 4, within the content; repaints the
    // background and everything.
    void ScrollBy(int32_t dx, int32_t dy);
    // FillCell over the whole list.
    void PaintBackground(void);
    void ScrollToEnd(void);
    void ClearHover(void);
    // Whether any item was selected.
    bool ClearSelection(void);
    // A selected item or the current one, at random; null when none.
    QIGraphic* PickRandomSelected(void);
    // The hover item's tip (else the list's) into the status line.
    void ShowHoverTip(void);

    // The item at index, null when none.
    QIGraphic* ItemAt(int32_t index) const;

protected:
    void Link(QIGraphic* item, QIGraphic* after);
    void Unlink(QIGraphic* item);
    void Take(QIGraphic* item);
    void Placed(void);
    void RecomputeExtent(void);
    // The index of a linked item.
    int32_t IndexOf(const QIGraphic* item) const;
    // After the item at index was unlinked: current and hover follow.
    void Gone(int32_t index);
    // The extent again, the scroll held within it.
    void Shrunk(void);
    // The cell of index relative to the list's origin.
    IPoint CellOf(int32_t index) const;
    // The row state of index, and the cell at a screen point clipped to
    // the list.
    uint32_t State(int32_t index) const;
    IRect Row(const IPoint& at) const;
    void Hover(const QIPointer* pointer);
    void Select(bool extend, const QIPointer* pointer, int kind);

private:
    char text_[64];
};
