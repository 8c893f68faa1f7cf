// Picker items: the cells of the editor's texture, mask, unit, building and
// object pickers.
//
// Design note. Every picker cell is a state image whose four frames
// (normal, under the pointer, current, current under the pointer) come from
// one of two frame sets, and whose content shifts one pixel right and down
// while it is pressed. The three kinds that put things on the map also place
// their thing and draw its ghost under the pointer when the select tool
// forwards a click or a frame to the picker's item; the others do nothing
// there.
#pragma once

#include <cstdint>

#include "widgets/qiitem.h"

class QIPointer;

// The two frame sets: 32 x 32 cells of "me_butns.bmp" for terrain pickers,
// 60 x 50 cells of "me_objbo.bmp" for unit, building and object pickers.
enum MEPICK_FRAMES { MEPF_BUTNS = 0, MEPF_OBJBO = 1 };

enum { MEPICK_TILESIDE = 32, MEPICK_OBJW = 60, MEPICK_OBJH = 50 };

class MePickItem : public QIStateImage {
public:
    // The frames and cell size of set frames (MEPICK_FRAMES).
    explicit MePickItem(int frames);

    // Puts the item's thing on the map at the pointer (nothing in the base).
    virtual void Place(const QIPointer& pointer) { (void)pointer; }
    // Draws the item's placement ghost at the pointer (nothing in the base).
    virtual void Preview(const QIPointer& pointer) { (void)pointer; }

protected:
    // Where the cell's content goes: the cell's corner, one pixel right and
    // down when the item is selected or the row is current.
    IPoint ContentAt(const IPoint& origin, uint32_t state) const;
};
