// List items: what a list widget holds and draws row by row.
//
// An item has a box relative to the list's origin, an item flag word and an
// owner (the list, set when it takes the item). The list passes its row
// state when it draws: bit 0 under the pointer, bit 1 current, bit 2 no
// background. Text rows fill the part of their box inside the row with
// colour-table entry 1 when current, 3 under the pointer, else 4, then draw
// their text clipped to the row.
#pragma once

#include <cstdint>

#include "widgets/qiimage.h"
#include "widgets/qistring.h"
#include "widgets/qitext.h"
#include "widgets/qivalue.h"

class QIWidget;

enum QIITEM_FLAGS : uint32_t {
    QIIF_SELECTED = 0x1,
    QIIF_UNSELECTABLE = 0x2,
    QIIF_REDRAW = 0x4, // set at construction
};

enum QIROW_STATE : uint32_t {
    QIROW_HOVER = 0x1,
    QIROW_CURRENT = 0x2,
    QIROW_NOBACK = 0x4,
};

// The clicked operation's kind for "the item was chosen".
enum { QIITEM_CHOSEN = 4 };

class QIGraphic : public LListNode, public IRect {
public:
    uint32_t itemFlags = QIIF_REDRAW;
    QIWidget* owner = nullptr;

    QIGraphic() : IRect(0, 0, 0, 0) {}
    // The list's tick.
    virtual void Update(void) {}
    // Draws the item at origin + (x, y) within row; state QIROW_STATE.
    virtual void Draw(const IPoint& origin, const IRect& row, uint32_t state);
    virtual int Height(void) { return h; }
    virtual int Width(void) { return w; }
    // A click at a point relative to the cell, with the event kind.
    virtual void Clicked(const IPoint& at, int kind);
    virtual const char* TipText(void) { return ""; }
    // 0 when other belongs after this item.
    virtual int Compare(QIGraphic* other);
};

class QITextItem : public QIGraphic {
public:
    QIString text;
    const QIFont* font;
    bool ownRemap = false;
    QIRemap remap{0, nullptr};

    // w and h from the text's width and the font's height.
    QITextItem(const QIFont* f, const char* t);
    // With a remap pair of its own instead of the font's.
    QITextItem(const QIFont* f, const QIRemap& r, const char* t);
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;

protected:
    // Fills the part of the box at (bx, by) that lies inside row.
    void Background(int bx, int by, const IRect& row, uint32_t state) const;
};

class QIGraphicText : public QITextItem {
public:
    int32_t* valuePointer;
    int32_t value;
    const QIFont* secondFont;
    const QIFont* thirdFont;
    int32_t justification; // 0 left, 1 centre, 2 right

    QIGraphicText(const QIFont* f, const QIFont* second, const QIFont* third, const char* t,
                  int32_t* valueAt, int32_t v, int32_t just);
    // Sets all three fonts.
    void SetFont(const QIFont* f);
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
    // Chosen (kind QIITEM_CHOSEN): stores the value through the pointer.
    void Clicked(const IPoint& at, int kind) override;
};

class QIStateImage : public QIGraphic {
public:
    QIImage images[4]; // normal, selected, highlighted, highlighted and selected

    QIStateImage(const QIImage& normal, const QIImage& selected, const QIImage& highlighted,
                 const QIImage& both, const IPoint& size);
    // Binds the four images.
    void Update(void) override;
    // Highlighted when the item is selected or the row is current; the
    // selected variant when the row is under the pointer.
    void Draw(const IPoint& origin, const IRect& row, uint32_t state) override;
};
