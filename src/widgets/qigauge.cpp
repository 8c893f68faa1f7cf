#include "widgets/qigauge.h"

#include <algorithm>
#include <cstdio>

#include "platform/graph.h"
#include "platform/input.h"
#include "platform/video.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"

QIGauge::QIGauge(const char* name, QIHANDLER fn, const IRect& rect, const QIImage& normal,
                 const QIImage& focus, const QIImage& pressedBackground, const QIImage& levelStrip,
                 int32_t minimumLevel, int32_t maximumLevel, int32_t* valuePtr,
                 const IPoint& levelOrigin, const IPoint& levelStep)
    : QIWidget(name, fn), value(valuePtr), minimum(minimumLevel), maximum(maximumLevel),
      origin(levelOrigin), step(levelStep)
{
    IRect::operator=(rect);
    images[QIGI_NORMAL] = normal;
    images[QIGI_FOCUS] = focus;
    images[QIGI_PRESSED] = pressedBackground;
    images[QIGI_STRIP] = levelStrip;
    flags |= QIWF_MOVEUPDATE;
    if (value) level = *value;
}

int32_t QIGauge::LevelAt(const IPoint& p) const
{
    int32_t l = level;
    if (step.y)
        l = (p.y - y - origin.y + step.y) / step.y;
    else if (step.x)
        l = (p.x - x - origin.x + step.x) / step.x;
    return std::clamp(l, minimum, std::max(minimum, maximum));
}

int QIGauge::HandleInput(QIWidget** path, int kind, QIARG pointer)
{
    if (*path) return (*path)->HandleInput(path - 1, kind, pointer);
    const QIPointer* p = (const QIPointer*)pointer;
    switch (kind) {
    case QIE_FOCUS:
        flags |= QIWF_FOCUS;
        Draw(nullptr);
        break;
    case QIE_UNFOCUS:
        flags &= ~QIWF_FOCUS;
        Draw(nullptr);
        break;
    case QIE_LEFTDOWN:
    case QIE_MOVE:
        if (!p || !(p->buttons & MOUSE_BUTTON_LEFT)) break;
        if (!(flags & QIWF_DOWN)) {
            flags |= QIWF_DOWN;
            if (value) *value = level;
            Draw(nullptr);
        }
        {
            const int32_t l = LevelAt(*p);
            if (value && l != *value) {
                *value = level = l;
                Draw(nullptr);
                Notify(QIN_CHANGED, pointer);
            }
        }
        break;
    default:
        break;
    }
    return 0;
}

void QIGauge::HandleMessage(int message, void* record, int)
{
    if (message == 1 && (flags & QIWF_DOWN)) {
        flags &= ~QIWF_DOWN;
        Draw(nullptr);
        Notify(QIN_CLICKED, (QIARG)record);
    } else if (message == 2 && !(flags & QIWF_DOWN)) {
        flags |= QIWF_DOWN;
        Draw(nullptr);
        Notify(QIN_PRESSED, (QIARG)record);
    }
}

void QIGauge::Draw(const IRect* clip)
{
    if (!(flags & QIWF_SHOWN)) return;
    QIDrawClip within(clip);
    const bool usable = images[QIGI_NORMAL].Usable() && images[QIGI_FOCUS].Usable() &&
                        images[QIGI_PRESSED].Usable();
    if (usable && w > 0 && h > 0) {
        const IPoint corner(x, y);
        if (flags & QIWF_DOWN) {
            QI_DrawBitmapAt(&images[QIGI_PRESSED], corner);
            const QIImage& strip = images[QIGI_STRIP];
            if (strip.Usable()) {
                const IPoint at(x + origin.x + step.x * level, y + origin.y + step.y * level);
                const IPoint from(step.x * (level - minimum), step.y * (level - minimum));
                QI_DrawBitmapOffset(&strip, at, IPoint(strip.w, strip.h), from);
            }
        } else {
            QI_DrawBitmapAt(&images[(flags & QIWF_FOCUS) ? QIGI_FOCUS : QIGI_NORMAL], corner);
        }
    }
    QIWidget::Draw(clip);
}

void QIGauge::Update(void)
{
    for (QIImage& image : images) image.Resolve();
}

const char* QIGauge::ValueText(void)
{
    snprintf(text_, sizeof text_, "Level=%d", value ? *value : level);
    return text_;
}

void QITrackSlider::Draw(const IRect* clip)
{
    if (!(flags & QIWF_SHOWN)) return;
    QIDrawClip within(clip);
    QI_OutlineBox(x, y, w + 1, h + 1, QIC_OUTLINE);
    QI_FillBox(x + 1, y + 1, w - 1, h - 1, QIC_TRACK);
    if (range && *range) {
        Layout();
        if (orientation == QISO_HORIZONTAL)
            QI_FillFramed(x + thumbPos, y, x + thumbPos + thumbLength, y + h, dragging, flags & QIWF_FOCUS);
        else
            QI_FillFramed(x, y + thumbPos, x + w, y + thumbPos + thumbLength, dragging, flags & QIWF_FOCUS);
    }
    QIWidget::Draw(clip);
}
