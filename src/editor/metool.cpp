#include "editor/metool.h"

#include <algorithm>

#include "editor/editor.h"
#include "map/mapview.h"
#include "platform/cursor.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "widgets/qidesktop.h"

static uint32_t NowMs(void)
{
    QIDesktop* d = g_MeEditor.desktop;
    return d ? d->GetTimeMs() : Plat_SystemMs();
}

void MeTool::TakePoint(const QIPointer& event) { current = MeBigMap::ScreenToWorld(event); }

void MeTool::StartDrag(const QIPointer& event)
{
    TakePoint(event);
    anchor = current;
}

void MeTool::SetState(int newState)
{
    state = newState;
    UpdateCursor();
}

void MeTool::UpdateCursor(void)
{
    int cursor;
    if (!(flags & METF_POINTERINSIDE)) cursor = CursorIdle();
    else if (flags & METF_SCROLLING) cursor = CursorScroll();
    else
        switch (state) {
        case METS_IDLE: cursor = CursorIdle(); break;
        case METS_CLICK: cursor = CursorClick(); break;
        case METS_BAND: cursor = CursorBand(); break;
        case METS_SHIFTBAND: cursor = CursorShiftBand(); break;
        case METS_MOVE: cursor = CursorMove(); break;
        case METS_PAINT: cursor = CursorPaint(); break;
        default: return; // the Ctrl band keeps whatever it had
        }
    // Cursor_Set asserts a loaded cursor; without a cursor file there is none to show.
    if (cursor >= 0 && cursor < cursorinfo.nrcursors) Cursor_Set(cursor);
}

void MeTool::PointerEnter(void)
{
    flags |= METF_POINTERINSIDE;
    UpdateCursor();
}

void MeTool::PointerLeave(const QIPointer& event)
{
    switch (state) {
    case METS_CLICK: ClickDone(); break;
    case METS_BAND:
    case METS_SHIFTBAND:
    case METS_CTRLBAND:
        TakePoint(event);
        BandDone();
        SetState(METS_IDLE);
        break;
    case METS_MOVE:
        TakePoint(event);
        SetState(METS_IDLE);
        break;
    default: break;
    }
    flags &= ~METF_POINTERINSIDE;
    UpdateCursor();
}

void MeTool::LeftDown(const QIPointer& event)
{
    if (flags & METF_SCROLLING) return;
    switch (state) {
    case METS_IDLE:
        if (event.modifiers & MOD_CTRL) {
            SetState(METS_CTRLBAND);
            StartDrag(event);
            BandChanged();
        } else if (event.modifiers & MOD_ALT) {
            AltClick(event);
        } else if (event.modifiers & (MOD_LSHIFT | MOD_RSHIFT)) {
            StartDrag(event);
            SetState(METS_SHIFTBAND);
            BandChanged();
        } else if (HitSelection(event)) {
            SetState(METS_MOVE);
            StartDrag(event);
        } else {
            Cancel(0);
            StartDrag(event);
            SetState(METS_BAND);
            BandChanged();
        }
        break;
    case METS_CLICK:
        StartDrag(event);
        Click(event);
        break;
    case METS_PAINT: AltClick(event); break;
    default: break;
    }
}

void MeTool::PointerMove(const QIPointer& event)
{
    const bool left = event.buttons & MOUSE_BUTTON_LEFT;
    if (flags & METF_SCROLLING) {
        MeBigMap::DragScroll(event);
        if (!left) return;
        if (state == METS_MOVE) {
            MoveBy(IPoint(0, 0), MeBigMap::ScreenToWorld(event));
        } else if (state >= METS_BAND && state <= METS_CTRLBAND) {
            TakePoint(event);
            BandChanged();
        }
        return;
    }
    if (!left) return;
    switch (state) {
    case METS_CLICK:
        TakePoint(event);
        Click(event);
        break;
    case METS_BAND:
    case METS_SHIFTBAND:
    case METS_CTRLBAND:
        TakePoint(event);
        BandChanged();
        break;
    case METS_MOVE: {
        const IPoint p = MeBigMap::ScreenToWorld(event);
        const IPoint d(p.x - anchor.x, p.y - anchor.y);
        current = anchor;
        anchor = p;
        MoveBy(d, p);
        break;
    }
    case METS_PAINT: AltClick(event); break;
    default: break;
    }
}

void MeTool::LeftUp(const QIPointer& event)
{
    if (flags & METF_SCROLLING) return;
    switch (state) {
    case METS_CLICK: ClickDone(); break;
    case METS_BAND:
    case METS_SHIFTBAND:
    case METS_CTRLBAND:
        TakePoint(event);
        BandDone();
        SetState(METS_IDLE);
        break;
    case METS_MOVE:
        TakePoint(event);
        SetState(METS_IDLE);
        MoveDone();
        break;
    default: break;
    }
}

void MeTool::RightDown(const QIPointer& event)
{
    (void)event;
    if (flags & METF_SCROLLING) return;
    if (QIDesktop* d = g_MeEditor.desktop) d->SavePointer();
    scrollStart = NowMs();
    flags |= METF_SCROLLING;
    UpdateCursor();
}

void MeTool::RightUp(const QIPointer& event)
{
    (void)event;
    if (!(flags & METF_SCROLLING)) return;
    flags &= ~METF_SCROLLING;
    if (QIDesktop* d = g_MeEditor.desktop) d->RestorePointer();
    if (NowMs() - scrollStart < METOOL_SHORTCLICKMS) Cancel(1);
    UpdateCursor();
}

void MeTool::Cancel(int byRightClick)
{
    (void)byRightClick;
    if (state != METS_CLICK) return;
    SetState(METS_IDLE);
    if (flags & METF_POINTERINSIDE) PointerEnter();
}

void MeTool::Draw(const QIPointer& event)
{
    (void)event;
    DrawRubberBand();
}

void MeTool::DrawRubberBand(void)
{
    if (state >= METS_BAND && state <= METS_CTRLBAND) DrawBand();
}

void MeTool::DrawBand(void)
{
    const int x0 = std::min(anchor.x, current.x), x1 = std::max(anchor.x, current.x);
    const int y0 = std::min(anchor.y, current.y), y1 = std::max(anchor.y, current.y);
    const int w = x1 - x0 + 1, h = y1 - y0 + 1;
    if (w <= 4 && h <= 4) return;
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    // Through the transform, so that the band stays under the pointer at every zoom.
    const IPoint a = MeBigMap::WorldToScreen(IPoint(x0, y0));
    const IPoint b = MeBigMap::WorldToScreen(IPoint(x1, y1));
    const GRECT c = {clip.x, clip.y, clip.w, clip.h};
    Graph_DrawRect(bb, &c, 0, a.x, a.y, b.x - a.x + 2, b.y - a.y + 2, 15);
}
