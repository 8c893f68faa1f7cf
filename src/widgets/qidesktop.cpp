#include "widgets/qidesktop.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/config.h"
#include "core/debug.h"
#include "core/frame.h"
#include "core/mlstring.h"
#include "core/mono.h"
#include "core/tlog.h"
#include "platform/cursor.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "widgets/qidraw.h"
#include "widgets/qiproptree.h"
#include "widgets/qitext.h"

// ---------------------------------------------------------------- paths

// Fills path with widget and its ancestors; cursor and root as the routing
// needs them. A null widget clears all three.
static void SetPath(QIPATH* path, QIWidget* widget, QIWidget*** cursor, QIWidget** root)
{
    *path = QIPATH{};
    *cursor = nullptr;
    *root = nullptr;
    if (!widget) return;
    int depth = 0;
    for (QIWidget* a = widget; a; a = a->Parent()) depth++;
    ASSERT(depth <= QIPATH_SIZE - 1);
    int i = 0;
    for (QIWidget* a = widget; a; a = a->Parent()) path->entry[++i] = a;
    path->depth = depth;
    *root = path->entry[depth];
    *cursor = &path->entry[depth - 1];
}

// ---------------------------------------------------------------- base

QIDesktopBase::QIDesktopBase(const char* sectionName, QIFRAMEHOOK hook)
    : section(sectionName), frameHook(hook)
{
    g_QIDefaultFlags = 0x36200;
}

QIDesktopBase::~QIDesktopBase()
{
    while (itemHead) {
        LListNode* n = itemHead;
        itemHead = n->next;
        delete n;
    }
    itemTail = nullptr;
    itemCount = 0;
}

void QIDesktopBase::DumpTree(QIWidget*, int) {}

void QIDesktopBase::SavePointer(void)
{
    saved = current;
    dflags |= QID_POINTERSAVED;
}

void QIDesktopBase::RestorePointer(void)
{
    current = saved;
    dflags &= ~QID_POINTERSAVED;
}

void QIDesktopBase::SetFocus(QIWidget* widget)
{
    SetPath(&focusPath, widget, &focusCursor, &focusRoot);
    focusWidget = widget;
}

void QIDesktopBase::ClearFocus(void)
{
    SetPath(&focusPath, nullptr, &focusCursor, &focusRoot);
    focusWidget = nullptr;
}

void QIDesktopBase::ClearCapture(void)
{
    SetPath(&capturePath, nullptr, &captureCursor, &captureRoot);
    captureWidget = nullptr;
}

int QIDesktopBase::DeliverFocus(int kind)
{
    if (!focusWidget) return 0;
    return focusRoot->HandleInput(focusCursor, kind, (QIARG)&current);
}

int QIDesktopBase::DeliverCapture(int kind)
{
    if (!captureWidget) return 0;
    return captureRoot->HandleInput(captureCursor, kind, (QIARG)&current);
}

void QIDesktopBase::DeliverKey(void)
{
    if (captureWidget) captureRoot->FilterChar(captureCursor, &key);
}

void QIDesktopBase::Draw(QIWidget* from, const IRect* clip)
{
    QIDrawClip within(clip);
    for (QIWidget* w = from ? from : first; w; w = w->Next()) w->Draw(clip);
}

void QIDesktopBase::TickAll(QIWidget* widget)
{
    if (widget) {
        widget->Update();
        TickSiblings(widget->FirstChild());
        return;
    }
    QIWidget* w = first;
    while (w) {
        w->Update();
        if (w->FirstChild()) {
            w = w->FirstChild();
            continue;
        }
        while (w && !w->Next()) w = w->Parent();
        if (w) w = w->Next();
    }
}

void QIDesktopBase::TickSiblings(QIWidget* widget)
{
    for (QIWidget* w = widget; w; w = w->Next()) {
        w->Update();
        TickSiblings(w->FirstChild());
    }
}

void QIDesktopBase::Close(void)
{
    // Nothing delivered: every widget is going.
    ClearFocus();
    ClearCapture();
    hitWidget = nullptr;
    while (first) DeleteSubtree(first);
}

void QIDesktopBase::LoadProperties(void)
{
    if (!propTree) return;
    propTree->Load();
    propTree->Enter(section);
    propTree->GetInt("RepeatDelayInitial", RepeatDelayInitial);
    propTree->GetInt("RepeatDelay", RepeatDelay);
    propTree->Leave();
}

void QIDesktopBase::SaveProperties(void)
{
    if (!propTree) return;
    propTree->Enter(section);
    propTree->SetInt("RepeatDelayInitial", RepeatDelayInitial);
    propTree->SetInt("RepeatDelay", RepeatDelay);
    propTree->Leave();
    propTree->Save();
}

void QIDesktopBase::DrawWidgets(void)
{
    for (QIWidget* w = first; w; w = w->Next()) w->Draw(nullptr);
}

void QIDesktopBase::Open(void)
{
    if (dflags & QID_EXPORTTIPS) ExportDefines(nullptr);
}

int QIDesktopBase::Run(void)
{
    TickAll(nullptr);
    Open();
    ApplyPalette();
    Draw(nullptr, nullptr);
    EventLoop(nullptr, 0);
    AfterRun();
    return exitCode;
}

int QIDesktopBase::EventLoop(QIWidget*, int noHook)
{
    dflags |= QID_LOOPCONTINUES;
    if (!(dflags & QID_RUNNING)) return loopResult;
    const uint32_t both = QID_RUNNING | QID_LOOPCONTINUES;
    while ((dflags & both) == both) Pass(noHook);
    return loopResult;
}

void QIDesktopBase::Pass(int noHook)
{
    eventKind = QIE_NONE;
    keyEventKind = QIE_NONE;
    PumpMessages();
    if (!(dflags & QID_RUNNING)) return; // the window was closed
    PollKeys();
    PollPointer();
    if (eventKind == QIE_MOVE || (dflags & QID_REHITPENDING)) {
        Hover();
    } else if (eventKind != QIE_NONE) {
        PressWhereItHappened();
        PointerEvent();
    }
    Keys();
    Repeat();
    if (frameHook && !noHook) frameHook(&current);
    EndPass();
}

// Pointer movement, or a tree that changed under the pointer.
void QIDesktopBase::Hover(void)
{
    dflags &= ~QID_REHITPENDING;
    previous.x = current.x;
    previous.y = current.y;
    previous.buttons = current.buttons;
    previous.modifiers = current.modifiers;
    if (!(dflags & QID_POINTERSAVED)) hitWidget = HitTest(current, first);
    if (!focusWidget) {
        if (hitWidget) {
            SetFocus(hitWidget);
            DeliverFocus(QIE_FOCUS);
        }
        return;
    }
    if (hitWidget == focusWidget) {
        if (focusWidget->flags & QIWF_MOVEUPDATE) DeliverFocus((int)eventKind);
        return;
    }
    if ((focusWidget->flags & QIWF_STICKY) && current.buttons) {
        if (focusWidget->flags & QIWF_MOVEUPDATE) DeliverFocus((int)eventKind);
        return;
    }
    DeliverFocus(QIE_UNFOCUS);
    SetFocus(hitWidget);
    if (focusWidget) DeliverFocus(QIE_FOCUS);
}

// A quick click: the pointer moved and pressed within one pass. The move is
// handled first, with the buttons held before the press, so the press goes
// to the widget under it rather than to the one the pointer left.
void QIDesktopBase::PressWhereItHappened(void)
{
    if (eventKind != QIE_LEFTDOWN && eventKind != QIE_RIGHTDOWN) return;
    if (current.x == previous.x && current.y == previous.y) return;
    if (dflags & QID_POINTERSAVED) return;
    const uint32_t kind = eventKind;
    const uint32_t held = current.buttons;
    eventKind = QIE_MOVE;
    current.buttons = previous.buttons;
    Hover();
    current.buttons = held;
    eventKind = kind;
}

void QIDesktopBase::PointerEvent(void)
{
    if ((eventKind == QIE_LEFTDOWN || eventKind == QIE_RIGHTDOWN) && captureWidget)
        SetCapture(nullptr, true);
    if (!focusWidget) return;
    switch (eventKind) {
    case QIE_LEFTDOWN:
        if (focusWidget->flags & QIWF_REPEATLEFT) repeatDeadline = GetTimeMs() + RepeatDelayInitial;
        DeliverFocus(QIE_LEFTDOWN);
        break;
    case QIE_RIGHTDOWN:
        if (focusWidget->flags & QIWF_REPEATRIGHT) repeatDeadline = GetTimeMs() + RepeatDelayInitial;
        DeliverFocus(QIE_RIGHTDOWN);
        break;
    case QIE_LEFTUP:
    case QIE_RIGHTUP:
        if (hitWidget != focusWidget && !current.buttons) {
            DeliverFocus(QIE_UNFOCUS);
            SetFocus(hitWidget);
            if (focusWidget) DeliverFocus(QIE_FOCUS);
        } else {
            DeliverFocus((int)eventKind);
        }
        break;
    default: DeliverFocus((int)eventKind); break;
    }
}

void QIDesktopBase::Keys(void)
{
    if (!captureWidget) {
        if (keyEventKind == QIE_KEY && keyHook) keyHook(&key, &current);
        keyEventKind = QIE_NONE;
        return;
    }
    if (keyEventKind != QIE_KEY) {
        DeliverCapture(QIE_CAPTURETICK);
        return;
    }
    if (key.code == SC_TAB) {
        QIWidget* next = NextTabStop();
        if (next) {
            DeliverKey();
            SetCapture(next, true);
        }
    }
    DeliverKey();
}

void QIDesktopBase::Repeat(void)
{
    if (!focusWidget) return;
    static const struct {
        uint32_t button, fast, slow;
        int kind;
    } kButtons[2] = {{MOUSE_BUTTON_LEFT, QIWF_FASTLEFT, QIWF_REPEATLEFT, QIE_LEFTDOWN},
                     {MOUSE_BUTTON_RIGHT, QIWF_FASTRIGHT, QIWF_REPEATRIGHT, QIE_RIGHTDOWN}};
    for (const auto& b : kButtons) {
        // A delivery may have dropped the focus.
        if (!focusWidget || !(current.buttons & b.button)) continue;
        if (focusWidget->flags & b.fast) {
            DeliverFocus(b.kind);
        } else if (focusWidget->flags & b.slow) {
            const uint32_t now = GetTimeMs();
            if (now > repeatDeadline) {
                repeatDeadline = now + RepeatDelay;
                DeliverFocus(b.kind);
            }
        }
    }
}

QIWidget* QIDesktopBase::FindByName(const char* name)
{
    QIWidget* w = first;
    while (w) {
        if (w->name.CompareCStr(name) == QISTR_EQUAL) return w;
        if (w->FirstChild()) {
            w = w->FirstChild();
            continue;
        }
        while (w && !w->Next()) w = w->Parent();
        if (w) w = w->Next();
    }
    return nullptr;
}

IRect QIDesktopBase::DrawTip(const char*, const IPoint&) { return IRect(0, 0, 0, 0); }

void QIDesktopBase::SetCapture(QIWidget* widget, bool set)
{
    if (set) {
        if (captureWidget) DeliverCapture(QIE_UNCAPTURE);
        SetPath(&capturePath, widget, &captureCursor, &captureRoot);
        captureWidget = widget;
        if (captureWidget) DeliverCapture(QIE_CAPTURE);
    } else if (widget && widget == captureWidget) {
        DeliverCapture(QIE_UNCAPTURE);
        ClearCapture();
    }
}

void QIDesktopBase::ShowWidget(QIWidget* widget)
{
    widget->flags |= QIWF_SHOWN;
    widget->MarkTree();
    widget->Draw(nullptr);
}

void QIDesktopBase::HideWidget(QIWidget* widget)
{
    ForgetWidget(widget);
    widget->flags &= ~QIWF_SHOWN;
}

void QIDesktopBase::ForgetWidget(QIWidget* widget)
{
    if (!widget) widget = first;
    if (focusWidget && IsAncestor(focusWidget, widget)) {
        DeliverFocus(QIE_UNFOCUS);
        ClearFocus();
    }
    if (captureWidget && IsAncestor(captureWidget, widget)) {
        DeliverCapture(QIE_UNCAPTURE);
        ClearCapture();
    }
    dflags |= QID_REHITPENDING;
}

void QIDesktopBase::Repaint(const IRect* rect)
{
    for (QIWidget* w = first; w; w = w->Next()) w->MarkTree();
    Draw(nullptr, rect);
}

void QIDesktopBase::DropRefs(QIWidget* widget)
{
    // Iterative over the subtree and the later siblings: depth-first.
    QIWidget* w = widget;
    QIWidget* const stopParent = widget ? widget->Parent() : nullptr;
    while (w) {
        if (w == focusWidget) {
            DeliverFocus(QIE_UNFOCUS);
            ClearFocus();
        }
        if (w == captureWidget) {
            DeliverCapture(QIE_UNCAPTURE);
            ClearCapture();
        }
        if (w == hitWidget) {
            hitWidget = nullptr;
            dflags |= QID_REHITPENDING;
        }
        if (w->FirstChild()) {
            w = w->FirstChild();
            continue;
        }
        while (w && w != stopParent && !w->Next()) w = w->Parent();
        if (w == stopParent) break;
        w = w->Next();
    }
}

void QIDesktopBase::DeleteWidget(QIWidget* widget)
{
    if (!widget) return;
    DropRefs(widget);
    DeleteSubtree(widget);
}

void QIDesktopBase::ClosePopup(QIWidget* widget)
{
    const IRect area = widget ? IRect(widget->x, widget->y, widget->w, widget->h) : IRect(0, 0, 0, 0);
    DeleteWidget(widget);
    Repaint(&area);
    dflags |= QID_LOOPCONTINUES;
}

void QIDesktopBase::Refresh(QIWidget* widget)
{
    if (focusWidget) {
        DeliverFocus(QIE_UNFOCUS);
        ClearFocus();
    }
    if (captureWidget) {
        DeliverCapture(QIE_UNCAPTURE);
        ClearCapture();
    }
    TickAll(widget);
    if (dflags & QID_EXPORTTIPS) ExportDefines(widget);
    Draw(widget, nullptr);
    PumpMessages();
    EndPass();
}

QIWidget* QIDesktopBase::HitTest(const QIPointer& pointer, QIWidget* widget)
{
    if (!widget) return nullptr;
    if (widget->Next()) {
        QIWidget* hit = HitTest(pointer, widget->Next());
        if (hit) return hit;
    }
    if (!(widget->flags & QIWF_SHOWN)) return nullptr;
    if (widget->FirstChild()) {
        QIWidget* hit = HitTest(pointer, widget->FirstChild());
        if (hit) return hit;
    }
    if (!(widget->flags & QIWF_HITTEST)) return nullptr;
    if (widget->Contains(pointer.x, pointer.y) || (widget->flags & QIWF_CAPTURE)) return widget;
    return nullptr;
}

int QIDesktopBase::IsAncestor(const QIWidget* widget, const QIWidget* candidate)
{
    if (!widget || !candidate) return 0;
    for (const QIWidget* a = widget->Parent(); a; a = a->Parent())
        if (a == candidate) return 1;
    return 0;
}

QIWidget* QIDesktopBase::NextTabStop(void)
{
    if (!captureWidget || !captureWidget->Parent()) return nullptr;
    QIWidget* w = captureWidget;
    do {
        w = w->Next() ? w->Next() : w->Parent()->FirstChild();
    } while (w != captureWidget && !(w->flags & QIWF_TABSTOP));
    return w == captureWidget ? nullptr : w;
}

void QIDesktopBase::ClearWidgetRects(void)
{
    BITMAP* bb = Backbuf_Lock();
    if (!bb) return;
    QIWidget* w = first;
    while (w) {
        if (w->w > 0 && w->h > 0) Graph_FillRect(bb, nullptr, 0, w->x, w->y, w->w, w->h, 0);
        if (w->FirstChild()) {
            w = w->FirstChild();
            continue;
        }
        while (w && !w->Next()) w = w->Parent();
        if (w) w = w->Next();
    }
}

// ---------------------------------------------------------------- platform

QIDesktop::QIDesktop(const char* sectionName, QIFRAMEHOOK hook, const QIImage& backgroundImage,
                     const char* bitmapDirectory)
    : QIDesktopBase(sectionName, hook), bitmaps(bitmapDirectory), background(backgroundImage),
      bitmapDir(bitmapDirectory)
{
    QI_SetBmpList(&bitmaps);
    QI_SetBitmapDir(bitmapDirectory);
}

QIDesktop::~QIDesktop()
{
    // Widgets first: their images were bound through the list.
    status = nullptr;
    ClearFocus();
    ClearCapture();
    hitWidget = nullptr;
    while (first) DeleteSubtree(first);
    delete[] palette;
    palette = nullptr;
    if (QI_BmpList() == &bitmaps) QI_SetBmpList(nullptr);
}

void QIDesktop::DumpTree(QIWidget* widget, int depth)
{
    if (!widget && depth == 0) {
        TLOG(TLOG_DIAG, "Desktop Tree:");
        widget = first;
    }
    for (QIWidget* w = widget; w; w = w->Next()) {
        // The box-drawing bytes of code page 437: branch, last branch, stroke.
        const char branch = (char)(w->Next() ? 0xC3 : 0xC0);
        const int width = 3 * (10 - depth) > 0 ? 3 * (10 - depth) : 0;
        TLOG(TLOG_DIAG, "%*s%c\xC4 %-*s %c", 3 * depth, "", branch, width, w->name.c_str(),
             (w->flags & QIWF_SHOWN) ? 'V' : ' ');
        DumpTree(w->FirstChild(), depth + 1);
    }
}

void QIDesktop::SavePointer(void)
{
    QIDesktopBase::SavePointer();
    Mouse_SavePos();
    Mouse_SetPos(QIPOINTER_CENTREX, QIPOINTER_CENTREY);
    current.x = previous.x = QIPOINTER_CENTREX;
    current.y = previous.y = QIPOINTER_CENTREY;
    current.press = IPoint(QIPOINTER_CENTREX, QIPOINTER_CENTREY);
    previous.buttons = current.buttons;
    previous.modifiers = current.modifiers;
}

void QIDesktop::RestorePointer(void)
{
    QIDesktopBase::RestorePointer();
    Mouse_RestorePos();
    Mouse_SetPos(current.x, current.y);
    previous = current;
}

uint32_t QIDesktop::GetTimeMs(void) { return Plat_SystemMs(); }

void QIDesktop::SetFocus(QIWidget* widget)
{
    QIDesktopBase::SetFocus(widget);
    if (status) status->SetText(widget && !widget->tip.empty() ? widget->tip.c_str() : nullptr);
}

void QIDesktop::Draw(QIWidget* from, const IRect* clip)
{
    // Drawing from a widget on (a popup's first draw) leaves what lies
    // under it on screen.
    if (!from && (background.bitmap || (background.flags & QIIMG_REMAP)))
        QI_DrawBitmapClipped(&background, 0, 0, clip);
    QIDesktopBase::Draw(from, clip);
}

void QIDesktop::TickAll(QIWidget* widget)
{
    if (!widget && !background.file.empty()) {
        // A refused picture keeps the palette there was.
        uint8_t loaded[768];
        if (QI_LoadPalette(loaded, background.file.c_str(), bitmapDir)) {
            if (!palette) palette = new uint8_t[768];
            memcpy(palette, loaded, sizeof loaded);
        }
        background.Resolve();
    }
    QIDesktopBase::TickAll(widget);
}

void QIDesktop::Close(void)
{
    Mouse_HideCursor();
    BITMAP* bb = Backbuf_Lock();
    if (bb) Graph_FillRect(bb, nullptr, 0, 0, 0, 641, 481, 0);
    Graph_FlipWithCursor();
    delete[] palette;
    palette = nullptr;
    status = nullptr;
    QIDesktopBase::Close();
}

void QIDesktop::DeleteWidget(QIWidget* widget)
{
    if (status && (status == widget || IsAncestor(status, widget))) status = nullptr;
    QIDesktopBase::DeleteWidget(widget);
}

void QIDesktop::Open(void)
{
    // The base system runs without a cursor file; there is no cursor 0 then.
    if (cursorinfo.nrcursors > 0) Cursor_Set(0);
    Mouse_EnableDoubleClick(0);
    Mouse_ShowCursor();
    QIDesktopBase::Open();
}

void QIDesktop::AfterRun(void)
{
    Mouse_RestorePos();
    Mouse_EnableDoubleClick(1);
    Input_EnableKeyRepeat(0);
}

void QIDesktop::PumpMessages(void)
{
    if (!Game_PumpMessages()) dflags &= ~(QID_RUNNING | QID_LOOPCONTINUES);
}

void QIDesktop::PollKeys(void)
{
    Input_EnableKeyRepeat(captureWidget != nullptr);
    KEY_EVENT ev;
    if (keyEventKind != QIE_NONE || !Input_PeekKeyEvent(&ev)) return;
    Input_PeekKeySeq(&keySeq_);
    Input_GetKeyEvent(&ev);
    keyEventKind = QIE_KEY;
    key.character = (int8_t)ev.ch[0];
    key.code = (int32_t)ev.scancode;
    key.second = (int8_t)ev.ch[1];
    key.modifiers = (uint32_t)Input_GetModifiers();
}

void QIDesktop::PollPointer(void)
{
    if (eventKind != QIE_NONE) return;
    MOUSE_EVENT ev;
    uint32_t seq = 0;
    if (Mouse_PeekEventSeq(&seq) && keyEventKind == QIE_KEY && (int32_t)(seq - keySeq_) > 0) return;
    if (Mouse_PeekEvent(&ev)) {
        Mouse_GetEvent(&ev);
        static const struct {
            uint32_t type, kind;
        } kTypes[] = {{MOUSE_LEFTDOWN, QIE_LEFTDOWN},   {MOUSE_LEFTUP, QIE_LEFTUP},
                      {MOUSE_RIGHTDOWN, QIE_RIGHTDOWN}, {MOUSE_RIGHTUP, QIE_RIGHTUP},
                      {MOUSE_DOUBLECLICK, QIE_DOUBLE}};
        for (const auto& t : kTypes) {
            if (t.type != ev.type) continue;
            eventKind = t.kind;
            current.x = ev.x;
            current.y = ev.y;
            current.buttons = ev.buttons;
            current.modifiers = ev.modifiers;
            if (eventKind == QIE_LEFTDOWN) current.press = IPoint(ev.x, ev.y);
        }
        return;
    }
    if (dflags & QID_POINTERSAVED) {
        previous.x = QIPOINTER_CENTREX;
        previous.y = QIPOINTER_CENTREY;
    }
    int x = 0, y = 0, buttons = 0;
    Mouse_GetState(&x, &y, &buttons);
    current.x = x;
    current.y = y;
    current.buttons = (uint32_t)buttons;
    current.modifiers = (uint32_t)Input_GetModifiers();
    if (x != previous.x || y != previous.y) {
        eventKind = QIE_MOVE;
        if (dflags & QID_POINTERSAVED) Mouse_SetPos(QIPOINTER_CENTREX, QIPOINTER_CENTREY);
    }
}

void QIDesktop::EndPass(void)
{
    if (g_Config.ratedisplay) {
        const uint32_t now = Plat_SystemMs();
        const uint32_t elapsed = now - lastPassMs_;
        lastPassMs_ = now;
        average_ = (56u * elapsed + 200u * average_) / 256u;
        static const char kSpinner[4] = {'/', '|', '\\', '-'};
        Mono_PutChar(78, 0, kSpinner[spinner_]);
        spinner_ = (spinner_ + 1) & 3;
        char line[MONO_COLUMNS * 2];
        snprintf(line, sizeof line, "%30s %c%c %6u fps %4d,%4d %20s",
                 focusWidget ? focusWidget->ValueText() : "",
                 (current.buttons & MOUSE_BUTTON_LEFT) ? 'L' : ' ',
                 (current.buttons & MOUSE_BUTTON_RIGHT) ? 'R' : ' ',
                 1000u / (average_ ? average_ : 1u), current.x, current.y,
                 focusWidget ? focusWidget->name.c_str() : "");
        Mono_PrintAt(0, 0, line);
    }
    Cursor_Update();
    Graph_FlipWithCursor();
    // A menu waits for input as the game loop does: it must not spin a core.
    Plat_Idle();
}

IRect QIDesktop::DrawTip(const char* text, const IPoint& at)
{
    return QI_DrawTextBox(at.x, at.y, text, tipFont);
}

void QIDesktop::Repaint(const IRect* rect)
{
    if (!rect) return QIDesktopBase::Repaint(nullptr);
    // The widgets are redrawn over all that was filled: a redraw of the
    // rectangle alone left its last column and row in the fill colour.
    const IRect filled(rect->x, rect->y, rect->w + 1, rect->h + 1);
    BITMAP* bb = Backbuf_Lock();
    if (bb) Graph_FillRect(bb, nullptr, 0, filled.x, filled.y, filled.w, filled.h, g_QIColours[QIC_BACK]);
    QIDesktopBase::Repaint(&filled);
}

void QIDesktop::ExportDefines(QIWidget* widget)
{
    if (!widget) widget = first;
    for (QIWidget* w = widget; w; w = w->Next()) {
        if (w->flags & QIWF_HASTIP) {
            const std::string tipKey = std::string(w->name.c_str()) + "Tip";
            char text[256];
            if (MLString_Get(tipKey.c_str(), text, sizeof text, 0))
                w->tip.Set(text);
            else
                TLOG(TLOG_WARNING, "#define %s \"\"", tipKey.c_str());
        }
        if (w->flags & QIWF_EXPORTS) w->ExportDefines();
        if (w->FirstChild()) ExportDefines(w->FirstChild());
    }
}

void QIDesktop::SetStatusText(const char* text)
{
    if (status) status->SetText(text);
}

void QIDesktop::ApplyPalette(void)
{
    if (!palette) return;
    BITMAP* bb = Backbuf_Lock();
    if (bb) Graph_FillRect(bb, nullptr, 0, 0, 0, 641, 481, 0);
    Graph_FlipWithCursor();
    Graph_SetPalette(palette, 0, 256);
    // Remapping images and the grey table follow the palette.
    Display_BuildColourTables();
}
