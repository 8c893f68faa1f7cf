#include "widgets/qislider.h"

#include <algorithm>

#include "widgets/qidesktop.h"

static int32_t Bound(const int32_t* p, int32_t absent) { return p ? *p : absent; }

static void AttachChild(QIWidget* slider, QIWidget* button)
{
    button->listener = slider;
    QIWidget::AddChild(slider, button);
}

QISlider::QISlider(const char* name, QIHANDLER fn, const IRect& rect, int32_t orient,
                   int32_t* valuePtr, int32_t* rangePtr, int32_t* pagePtr, int32_t* stepPtr,
                   QIWidget* inc, QIWidget* dec)
    : QIWidget(name, fn), value(valuePtr), range(rangePtr), step(stepPtr), page(pagePtr),
      incButton(inc), decButton(dec), orientation(orient)
{
    IRect::operator=(rect);
    flags = (flags & ~QIWF_HASTIP) | QIWF_MOVEUPDATE | QIWF_STICKY | QIWF_REPEATLEFT;
    if (inc) AttachChild(this, inc);
    if (dec) AttachChild(this, dec);
}

// Placed and bound later (a list's scroll bar): its thumb drags all the same.
QISlider::QISlider() : QIWidget() { flags |= QIWF_MOVEUPDATE | QIWF_STICKY; }

void QISlider::Layout(void)
{
    const int32_t length = Length();
    const int32_t r = Bound(range, 0);
    if (value && range && Bound(page, 0) <= r && r != 0) {
        const int32_t computed = (int32_t)((int64_t)length * Bound(page, 0) / r);
        thumbShortfall = computed < QISLIDER_MINTHUMB ? QISLIDER_MINTHUMB - computed : 0;
        thumbLength = std::max(computed, (int32_t)QISLIDER_MINTHUMB);
        thumbPos = (int32_t)((int64_t)(length - thumbShortfall) * *value / r);
    } else {
        thumbPos = 0;
        thumbLength = length;
    }
}

void QISlider::MoveTo(int64_t v, QIARG pointer)
{
    if (!value) return;
    const int64_t top = std::max<int64_t>((int64_t)Bound(range, 0) - Bound(page, 0), 0);
    v = std::max<int64_t>(std::min(v, top), 0);
    if (v == *value) return;
    *value = (int32_t)v;
    Draw(nullptr);
    Notify(QIN_CHANGED, pointer);
}

int QISlider::HandleInput(QIWidget** path, int kind, QIARG pointer)
{
    if (*path) return (*path)->HandleInput(path - 1, kind, pointer);
    const QIPointer* p = (const QIPointer*)pointer;
    switch (kind) {
    case QIE_FOCUS:
        flags |= QIWF_FOCUS;
        break;
    case QIE_UNFOCUS:
        dragging = 0;
        flags &= ~QIWF_FOCUS;
        Draw(nullptr);
        break;
    case QIE_LEFTUP:
        dragging = 0;
        Draw(nullptr);
        break;
    case QIE_LEFTDOWN:
        if (!dragging && p && value) {
            Layout();
            const int32_t at = Along(*p);
            const int64_t pg = Bound(page, 0);
            if (at < thumbPos) {
                MoveTo(std::max<int64_t>(*value - pg, 0), pointer);
            } else if (at >= thumbPos + thumbLength) {
                MoveTo(*value + pg, pointer);
            } else {
                dragging = 1;
                anchor = orientation == QISO_HORIZONTAL ? IPoint(at - thumbPos, 0)
                                                        : IPoint(0, at - thumbPos);
            }
        }
        Draw(nullptr);
        break;
    case QIE_MOVE:
        if (dragging && p && value) {
            Layout();
            // A slider no longer than its minimum thumb has no travel.
            const int32_t travel = Length() - thumbShortfall;
            if (travel <= 0) break;
            const int32_t grip = orientation == QISO_HORIZONTAL ? anchor.x : anchor.y;
            MoveTo((int64_t)Bound(range, 0) * (Along(*p) - grip) / travel, pointer);
        }
        break;
    default:
        break;
    }
    return 0;
}

int QISlider::OnChildNotify(QIWidget* child, int code, QIARG pointer)
{
    if (code != QIN_PRESSED || !value) return 0;
    const int64_t by = Bound(step, 1);
    if (child == incButton) {
        const int64_t top = std::max<int64_t>((int64_t)Bound(range, 0) - Bound(page, 0), 0);
        MoveTo(std::min(*value + by, top), pointer);
    } else if (child == decButton) {
        MoveTo(*value - by, pointer);
    }
    return 0;
}

void QISlider::AttachStep(QIWidget* button, bool far, const char* suffix)
{
    if (!button->x && !button->y && !button->w && !button->h) {
        if (orientation == QISO_HORIZONTAL) {
            button->Assign(IRect(far ? x + w - h : x, y, h, h));
            if (!far) x += h;
            w -= h;
        } else {
            button->Assign(IRect(x, far ? y + h - w : y, w, w));
            if (!far) y += w;
            h -= w;
        }
    }
    button->name.Format(100, "%s%s", name.c_str(), suffix);
    button->flags = (button->flags & ~QIWF_HASTIP) | QIWF_REPEATLEFT | QIWF_FASTRIGHT;
    AttachChild(this, button);
}

void QISlider::AttachIncButton(QIWidget* button)
{
    incButton = button;
    AttachStep(button, true, "Inc");
}

void QISlider::AttachDecButton(QIWidget* button)
{
    decButton = button;
    AttachStep(button, false, "Dec");
}
