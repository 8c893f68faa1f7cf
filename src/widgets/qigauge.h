// The level gauge and the track slider.
//
// A gauge is a picture of levels: while the left button is held the level
// follows the pointer, one level every step pixels from the origin (along
// y when step y isn't 0, else along x), clamped to minimum .. maximum. It
// draws its pressed background and the strip part for the level while
// down, its normal or focus picture otherwise.
#pragma once

#include <cstdint>

#include "widgets/qiimage.h"
#include "widgets/qislider.h"
#include "widgets/qiwidget.h"

enum QIGAUGE_IMAGE { QIGI_NORMAL, QIGI_FOCUS, QIGI_PRESSED, QIGI_STRIP, QIGI_COUNT };

class QIGauge : public QIWidget {
public:
    QIImage images[QIGI_COUNT];
    int32_t* value;
    int32_t level = 0;
    int32_t minimum, maximum;
    IPoint origin; // level 0 relative to the corner
    IPoint step;   // pixels a level; one of the two is 0

    QIGauge(const char* name, QIHANDLER fn, const IRect& rect, const QIImage& normal,
            const QIImage& focus, const QIImage& pressedBackground, const QIImage& levelStrip,
            int32_t minimumLevel, int32_t maximumLevel, int32_t* valuePtr, const IPoint& levelOrigin,
            const IPoint& levelStep);

    // Focus in and out; with the left button held, the level from the
    // pointer (12 on a change).
    int HandleInput(QIWidget** path, int kind, QIARG pointer) override;
    // 1 while down: up, 18; 2 while up: down, 17.
    void HandleMessage(int message, void* record, int extra) override;
    void Draw(const IRect* clip) override;
    void Update(void) override;
    const char* ValueText(void) override;

    // The level under a point, clamped.
    int32_t LevelAt(const IPoint& p) const;

private:
    char text_[24];
};

// A slider drawn as a filled track with a framed thumb.
class QITrackSlider : public QISlider {
public:
    using QISlider::QISlider;
    void Draw(const IRect* clip) override;
};
