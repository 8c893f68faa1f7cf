// Lists with pictures: the text list drawn over a background image, and
// the drop-down list.
//
// A drop list shows its current item in a closed box; a press opens the
// list over its open box (21), and letting go or leaving it closes it
// again (22), choosing the item at the list's current index: that item is
// told it was chosen (a QIGraphicText then stores its value). The first
// item added becomes current; removing the current item makes the first
// current; clearing or detaching it leaves none until the next item or
// SetCurrent.
//
// Name used elsewhere: QIList::QIListFiles is QIDropList.
#pragma once

#include <cstdint>

#include "widgets/qiimage.h"
#include "widgets/qilist.h"

class QITextList : public QIList {
public:
    QIImage background;

    QITextList(const char* name, QIHANDLER fn, const QIImage& backgroundImage, const IRect& rect,
               const IPoint& cellSize, int32_t cols, QISlider* vBar, QISlider* hBar);
    // Resolves the background, then the items.
    void Update(void) override;
    // The background, clipped to the cells' area.
    void FillCell(const IPoint& from, const IPoint& to) override;
};

enum QIDROP_IMAGE { QIDI_CLOSED, QIDI_CLOSEDFOCUS, QIDI_OPEN, QIDI_OPENFOCUS, QIDI_COUNT };
enum { QIDROP_OPEN = 0x1, QIDROP_STARTHEIGHT = 5 };

class QIDropList : public QIList {
public:
    QIImage images[QIDI_COUNT];
    uint32_t dropState = 0; // QIDROP_OPEN
    IRect closedBox;
    IRect openBox;          // its height follows the items
    QIGraphic* currentItem = nullptr;

    // The widget takes the closed box.
    QIDropList(const char* name, QIHANDLER fn, const IRect& closed, const IRect& open,
               const IPoint& cellSize, const QIImage& closedImage, const QIImage& closedFocus,
               const QIImage& openImage, const QIImage& openFocus);

    // Closed: focus, and a press opens (21). Open: leaving or letting go
    // with the focus closes (22); the rest goes to the list.
    int HandleInput(QIWidget** path, int kind, QIARG pointer) override;
    void Draw(const IRect* clip) override;
    void Update(void) override;
    void SetCurrent(int32_t index) override;
    void Add(QIGraphic* item) override;
    void InsertSorted(QIGraphic* item) override;
    void Remove(QIGraphic* item) override;
    void Detach(QIGraphic* item) override;
    void Clear(void) override;

    bool IsOpen(void) const { return dropState & QIDROP_OPEN; }

protected:
    // After a change of the items: the first is current when none is, and
    // the open box is as high as the items.
    void ItemsChanged(void);
};
