// The desktop: the root of a widget tree and its modal input loop.
//
// Design note. One pass of the loop pumps the window, takes at most one key
// and one pointer event (or the pointer's state), then:
//   - hover: on a move (or after the tree changed under the pointer) the
//     widget under the pointer becomes the focus widget, the old one gets 2
//     and the new one 1; a Sticky widget keeps the focus while a button is
//     held;
//   - presses and releases go to the focus widget; a press first takes the
//     keyboard capture away from whoever holds it;
//   - keys go to the capture widget (Tab moves the capture along its
//     siblings' tab stops), or to the key hook when nothing holds it;
//   - held buttons repeat on the desktop's delays;
//   - the per-frame hook runs, the frame is drawn and flipped.
// Every delivery runs down a path (null, target, parent, ..., top-level),
// so each container on the way may intercept it. Paths hold ten entries:
// trees are at most nine widgets deep.
//
// Invariants: the focus and capture widgets are always attached; deleting or
// hiding a widget drops every reference the desktop holds to it and asks for
// a new hit test, so nothing stale is ever delivered to.
//
// The loop ends when a handler clears Running (Run returns the exit code),
// when something clears LoopContinues (a popup's loop returns the loop
// result), or when the window is closed: then both are cleared, so nested
// loops and Run all return and the state loop sees the quit.
//
// Names used elsewhere: DispatchInput is EventLoop, SetKeyFocus is
// SetCapture, CapturePointer and ReleasePointer are SavePointer and
// RestorePointer, OpenPopup is Refresh of the popup, QIPointerEvent is
// QIPointer. HideWidget does not repaint what the widget covered.
#pragma once

#include <cstdint>

#include "widgets/qiimage.h"
#include "widgets/qistatic.h"
#include "widgets/qiwidget.h"

// The event kinds routed through HandleInput (and 13, the key pass).
enum QIEVENT_KIND {
    QIE_NONE = 0,
    QIE_FOCUS = 1,       // the pointer entered the widget
    QIE_UNFOCUS = 2,     // the pointer left it, or the focus was dropped
    QIE_LEFTDOWN = 3,    // also each repeat
    QIE_LEFTUP = 4,
    QIE_SPARE5 = 5,      // routed when a derived desktop makes them
    QIE_SPARE6 = 6,
    QIE_RIGHTDOWN = 7,   // also each repeat
    QIE_RIGHTUP = 8,
    QIE_MOVE = 9,
    QIE_DOUBLE = 10,
    QIE_KEY = 13,        // a pass with a key; the key goes through FilterChar
    QIE_CAPTURETICK = 14,
    QIE_CAPTURE = 15,
    QIE_UNCAPTURE = 16,
};

// The desktop flag word.
enum QIDESKTOP_FLAGS : uint32_t {
    QID_RUNNING = 0x1,
    QID_LOOPCONTINUES = 0x2,
    QID_POINTERSAVED = 0x4,  // relative mode: the pointer is held at the centre
    QID_EXPORTTIPS = 0x10,   // look tips up at Open
    QID_REHITPENDING = 0x20, // the next pass hit-tests again
};

enum { QIPATH_SIZE = 10, QIPOINTER_CENTREX = 320, QIPOINTER_CENTREY = 240 };

// The pointer record of every routed event.
class QIPointer : public IPoint {
public:
    int32_t unused = 0;
    uint32_t buttons = 0;   // MOUSE_BUTTON bits
    uint32_t modifiers = 0; // INPUT_MODIFIER bits
    IPoint press;           // where the last left press happened
};

// The key record handed to FilterChar and to the key hook.
struct QIKey {
    int32_t character; // first character byte, sign-extended
    int32_t code;      // scan code (Tab is 15)
    int32_t second;    // second character byte, sign-extended
    uint32_t modifiers; // Input_GetModifiers() when the key was taken
};

typedef void (*QIFRAMEHOOK)(QIPointer* pointer);
typedef void (*QIKEYHOOK)(QIKey* key, QIPointer* pointer);

// A focus or capture path: entry 0 null, 1 the widget, 2 its parent, ...
struct QIPATH {
    QIWidget* entry[QIPATH_SIZE];
    int32_t depth;
};

class QIDesktopBase : public QITreeRoot {
public:
    int32_t RepeatDelayInitial = 300; // ms before a held button first repeats
    int32_t RepeatDelay = 75;         // ms between later repeats
    QIPATH focusPath{}, capturePath{};
    LListNode* itemHead = nullptr; // owned items, deleted with the desktop
    LListNode* itemTail = nullptr;
    int32_t itemCount = 0;
    const char* section;
    QIPropTree* propTree = nullptr; // attached by a client; null: no properties
    QIWidget** focusCursor = nullptr;
    QIWidget* focusRoot = nullptr;
    QIWidget* focusWidget = nullptr;
    QIWidget* hitWidget = nullptr;
    QIWidget** captureCursor = nullptr;
    QIWidget* captureWidget = nullptr;
    QIWidget* captureRoot = nullptr;
    QIKey key{};
    QIPointer current, previous, saved;
    uint32_t eventKind = 0;
    uint32_t keyEventKind = 0;
    int32_t exitCode = 0;
    int32_t loopResult = 0;
    uint32_t repeatDeadline = 0;
    uint32_t dflags = QID_RUNNING; // QIDESKTOP_FLAGS
    QIFRAMEHOOK frameHook;
    QIKEYHOOK keyHook = nullptr;

    // Running set, nothing focused; sets g_QIDefaultFlags to 0x36200 and
    // becomes g_QIDesktop.
    QIDesktopBase(const char* sectionName, QIFRAMEHOOK hook);
    // Deletes the owned items, then every widget.
    ~QIDesktopBase() override;

    virtual void DumpTree(QIWidget* widget, int depth);
    // saved := current; sets PointerSaved.
    virtual void SavePointer(void);
    // current := saved; clears PointerSaved.
    virtual void RestorePointer(void);
    virtual uint32_t GetTimeMs(void) { return 0; }
    // Records widget (null: none) and its path; sends nothing. Asserts a
    // tree at most nine deep.
    virtual void SetFocus(QIWidget* widget);
    // Draw(clip) of from (null: the first top-level widget) and each later
    // sibling.
    virtual void Draw(QIWidget* from, const IRect* clip);
    // With a widget: its Update and TickSiblings of its children; without:
    // Update of every widget, parents first.
    virtual void TickAll(QIWidget* widget);
    virtual void TickSiblings(QIWidget* widget);
    // Deletes every widget.
    virtual void Close(void);
    // Read and write the repeat delays in the section of the attached tree.
    virtual void LoadProperties(void);
    virtual void SaveProperties(void);
    virtual void DrawWidgets(void);
    // With ExportTips: ExportDefines(null).
    virtual void Open(void);
    // Tick, open, palette, draw, loop, after-run; the exit code.
    virtual int Run(void);
    // The modal loop until Running or LoopContinues is cleared; the loop
    // result. Returns at once when Running is clear. owner is unused;
    // noHook skips the per-frame hook.
    virtual int EventLoop(QIWidget* owner, int noHook);
    virtual void AfterRun(void) {}
    // Clears Running and LoopContinues when the window was closed.
    virtual void PumpMessages(void) {}
    virtual void PollKeys(void) {}
    virtual void PollPointer(void) {}
    virtual void EndPass(void) {}
    // The first widget in pre-order named name (case-blind); null when none.
    virtual QIWidget* FindByName(const char* name);
    virtual IRect DrawTip(const char* text, const IPoint& at);
    // set: the old holder gets 16, widget (null: none) gets 15. Not set:
    // only when widget holds the capture, it gets 16 and loses it. Asserts
    // a tree at most nine deep.
    virtual void SetCapture(QIWidget* widget, bool set);
    // Shows, marks and draws the widget.
    virtual void ShowWidget(QIWidget* widget);
    // ForgetWidget, then clears the shown flag (no repaint).
    virtual void HideWidget(QIWidget* widget);
    // Drops the focus or capture held below widget (null: the first
    // top-level widget), sending 2 or 16; always asks for a new hit test.
    virtual void ForgetWidget(QIWidget* widget);
    // Marks everything and draws it, clipped to rect when given.
    virtual void Repaint(const IRect* rect);
    // Drops the focus, capture and hit held by widget, its subtree and its
    // later siblings (2 and 16 sent); a dropped hit asks for a new hit test.
    virtual void DropRefs(QIWidget* widget);
    // DropRefs, then deletes the widget with its subtree; null is nothing.
    virtual void DeleteWidget(QIWidget* widget);
    virtual void ExportDefines(QIWidget* widget) { (void)widget; }
    virtual void SetStatusText(const char* text) { (void)text; }
    // Deletes the popup, repaints what it covered, lets the outer loop go on.
    virtual void ClosePopup(QIWidget* widget);
    // Drops focus and capture, ticks, exports and draws widget, one pass's
    // pump and flip: a popup is shown before its loop starts.
    virtual void Refresh(QIWidget* widget);
    virtual void ApplyPalette(void) {}

    // The widget under the pointer among first, its later siblings and
    // their descendants: later siblings over earlier, children over parents,
    // hidden subtrees skipped, grab widgets hit anywhere; null for none.
    QIWidget* HitTest(const QIPointer& pointer, QIWidget* first);
    QIWidget* HitTestAll(const QIPointer& pointer) { return HitTest(pointer, first); }
    // 1 when candidate is a strict ancestor of widget.
    static int IsAncestor(const QIWidget* widget, const QIWidget* candidate);
    // The next tab stop after the capture widget among its siblings
    // (wrapping); null when none other or no parent.
    QIWidget* NextTabStop(void);
    // Fills every widget's rectangle with colour 0.
    void ClearWidgetRects(void);

protected:
    // Kind k down the focus path, or the capture path.
    int DeliverFocus(int kind);
    int DeliverCapture(int kind);
    void DeliverKey(void);
    void ClearFocus(void);
    void ClearCapture(void);

private:
    void Pass(int noHook);
    void Hover(void);
    void PressWhereItHappened(void);
    void PointerEvent(void);
    void Keys(void);
    void Repeat(void);
};

// The desktop on the platform: mouse, keyboard, cursor, back buffer and
// palette, with a background picture, its bitmap list, a status line and
// the rate read-out.
class QIDesktop : public QIDesktopBase {
public:
    QIBmpList bitmaps;
    QIImage background;
    uint8_t* palette = nullptr; // 768 bytes of 6-bit components; owned
    const char* bitmapDir;
    const QIFont* tipFont = nullptr;
    const QIFont* defaultFont = nullptr; // what a client's widgets use unless told otherwise
    QIStatic* status = nullptr; // shows the focus widget's tip

    // The base, then makes its bitmap list and directory current.
    QIDesktop(const char* sectionName, QIFRAMEHOOK hook, const QIImage& backgroundImage,
              const char* bitmapDirectory);
    // Frees the palette; the bitmap list goes only after every widget
    // (images point into it), and stops being current.
    ~QIDesktop() override;

    // "Desktop Tree:" and one line a widget (trace log, category 4).
    void DumpTree(QIWidget* widget, int depth) override;
    // The base, then the pointer is held at (320, 240).
    void SavePointer(void) override;
    void RestorePointer(void) override;
    uint32_t GetTimeMs(void) override;
    // The base, then the widget's tip (or nothing) into the status line.
    void SetFocus(QIWidget* widget) override;
    // The background first on a whole draw (from null); from a widget on,
    // what lies under it stays.
    void Draw(QIWidget* from, const IRect* clip) override;
    // Without a widget, loads the background's palette first.
    void TickAll(QIWidget* widget) override;
    // Hides the cursor, clears and flips the screen, frees the palette,
    // deletes every widget.
    void Close(void) override;
    // Cursor 0 (when cursors are loaded), no double clicks, cursor shown.
    void Open(void) override;
    void AfterRun(void) override;
    void PumpMessages(void) override;
    // One key press; while a field holds the keyboard, held keys repeat.
    void PollKeys(void) override;
    // One mouse event, or the pointer's state. A mouse event made after
    // the key of this pass waits for a later pass: the loop handles the
    // pointer before the key, and the key must reach the field it was
    // typed into, not the one the click moves the keyboard to.
    void PollPointer(void) override;
    // The rate read-out (when on), cursor, flip; then yields the processor.
    void EndPass(void) override;
    IRect DrawTip(const char* text, const IPoint& at) override;
    // Fills rect (and one pixel more) with the background colour first,
    // then redraws the widgets over all of that.
    void Repaint(const IRect* rect) override;
    // Tips (name + "Tip") and the widgets' own texts, widget (null: the
    // first top-level) and its later siblings, recursively.
    void ExportDefines(QIWidget* widget) override;
    void SetStatusText(const char* text) override;
    // Forgets the status widget when it goes.
    void DeleteWidget(QIWidget* widget) override;
    // Clears the screen, flips, sets the palette and rebuilds the colour
    // tables; nothing without a palette.
    void ApplyPalette(void) override;

private:
    uint32_t keySeq_ = 0; // order number of this pass's key
    uint32_t lastPassMs_ = 0;
    uint32_t average_ = 0;
    int spinner_ = 0;
};
