// The slider under every scroll bar, with its two optional step buttons.
//
// A slider controls an int the client owns (often a list's scroll
// position) against a range and a page (the visible part), all bound by
// pointer so the slider always reads the owner's latest numbers. A thumb
// shorter than 10 pixels is drawn 10 long; the travel shrinks by the
// difference (the shortfall) so the far end is still reachable.
//
// The base draws only its children; QITrackSlider draws a track and thumb.
// Name used elsewhere: QISliderDefault is the default constructor.
#pragma once

#include <cstdint>

#include "widgets/qiwidget.h"

enum { QISLIDER_MINTHUMB = 10 };
enum QISLIDER_ORIENTATION { QISO_HORIZONTAL = 0, QISO_VERTICAL = 1 };

class QISlider : public QIWidget {
public:
    int32_t* value = nullptr;
    int32_t* range = nullptr;
    int32_t* step = nullptr; // null: 1
    int32_t* page = nullptr; // null: 0
    int32_t thumbLength = 0;
    int32_t thumbPos = 0;
    uint8_t dragging = 0;
    IPoint anchor;
    int32_t thumbShortfall = 0;
    QIWidget* incButton = nullptr;
    QIWidget* decButton = nullptr;
    int32_t orientation = QISO_VERTICAL;

    // Each given button becomes a child told to the slider; no tip.
    QISlider(const char* name, QIHANDLER fn, const IRect& rect, int32_t orient, int32_t* valuePtr,
             int32_t* rangePtr, int32_t* pagePtr, int32_t* stepPtr, QIWidget* inc, QIWidget* dec);
    // Nothing bound, vertical; its thumb drags (MoveUpdate, Sticky).
    QISlider();

    // At the end of the path: focus, paging, thumb dragging (clamped to
    // 0 .. range - page); a change draws and notifies 12.
    int HandleInput(QIWidget** path, int kind, QIARG pointer) override;
    // 17 from a step button moves the value by the step within the range.
    int OnChildNotify(QIWidget* child, int code, QIARG pointer) override;
    // The thumb's length, shortfall and position from the bound numbers.
    virtual void Layout(void);

    // A button with an all-zero rectangle is cut from the slider's far
    // (inc) or near (dec) end as a square; named "%sInc" / "%sDec".
    void AttachIncButton(QIWidget* button);
    void AttachDecButton(QIWidget* button);

    // Along the slider's axis: the length, and a point's offset from the
    // slider's start.
    int32_t Length(void) const { return orientation == QISO_HORIZONTAL ? w : h; }
    int32_t Along(const IPoint& p) const { return orientation == QISO_HORIZONTAL ? p.x - x : p.y - y; }

protected:
    // value := v clamped to 0 .. max(range - page, 0); on a change draws
    // and notifies 12.
    void MoveTo(int64_t v, QIARG pointer);
    void AttachStep(QIWidget* button, bool far, const char* suffix);
};
