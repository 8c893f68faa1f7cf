// The widget base and the root of a widget tree.
//
// Every screen of the multiplayer menus and of the editor is a tree of
// widgets. A widget has a rectangle in screen pixels, a flag word, a name
// (also the key of its property section and of its texts), a tip, a
// handler (a plain function of the page) and a listener (a widget, usually
// its container, told of every notification in OnChildNotify).
//
// Input travels along a path: an array of widget pointers that holds a null
// entry, the target, its parent and so on up to a top-level widget. Each
// widget reads the entry below its own; a null entry makes it the target.
//
// The tree root (QITreeRoot) keeps the top-level widgets and counts every
// attached widget; one exists at a time, reachable through g_QIDesktop.
// The root deletes widgets; a widget's destructor leaves its links alone.
#pragma once

#include <cstdint>

#include "widgets/qistring.h"
#include "widgets/qivalue.h"

class QIWidget;
class QITreeRoot;
struct QIKey;

// The argument of a notification: a number, or a pointer to the desktop's
// pointer record for pointer events.
typedef intptr_t QIARG;
// A page's handler: (widget, event code, argument) -> result.
typedef int (*QIHANDLER)(QIWidget* widget, int code, QIARG arg);

// The widget flag word.
enum QIWIDGET_FLAGS : uint32_t {
    QIWF_DISABLED = 0x1,
    QIWF_REPEATLEFT = 0x2,   // the left press repeats while held (desktop's delays)
    QIWF_REPEATRIGHT = 0x4,
    QIWF_FASTLEFT = 0x8,     // the left press repeats on every pass while held
    QIWF_FASTRIGHT = 0x10,
    QIWF_MOVEUPDATE = 0x20,  // pointer-move events wanted
    QIWF_IDLEUPDATE = 0x40,  // stored only
    QIWF_UPDATE = 0x80,      // stored only
    QIWF_STICKY = 0x100,     // keeps the pointer focus while a button is held
    QIWF_MARK = 0x200,       // needs redrawing
    QIWF_FOCUS = 0x400,      // the pointer is over it
    QIWF_EDITING = 0x800,
    QIWF_DOWN = 0x1000,      // pressed look; drag scrolling of lists
    QIWF_SHOWN = 0x2000,     // children are drawn only while set
    QIWF_HITTEST = 0x4000,   // HitTest descends into it
    QIWF_TABSTOP = 0x8000,
    QIWF_HASTIP = 0x10000,
    QIWF_EXPORTS = 0x20000,  // ExportDefines is called by the text export
    QIWF_CAPTURE = 0x40000,  // hit even outside its rectangle (pop-ups)
};

// The notification codes that every page shares.
enum QIWIDGET_CODES {
    QIN_CHANGED = 12,  // selection or value changed
    QIN_PRESSED = 17,
    QIN_CLICKED = 18,
    QIN_ENTER = 19,    // edit ended with Enter
    QIN_EDITED = 20,   // edit text changed
    QIN_DROPOPEN = 21,
    QIN_DROPCLOSE = 22,
};

// The flag word every new widget starts with (the desktop sets 0x36200).
extern uint32_t g_QIDefaultFlags;
// The one tree root; null when none exists.
extern QITreeRoot* g_QIDesktop;

class QIWidget : public LTreeNode, public IRect {
public:
    uint32_t flags;
    QIHANDLER handler = nullptr;
    QIString name;
    QIString tip;
    QIWidget* listener = nullptr;

    // Rectangle 0, flags from g_QIDefaultFlags; a null name is empty.
    QIWidget(const char* widgetName, QIHANDLER fn);
    QIWidget();
    ~QIWidget() override {}

    QIWidget* Next(void) const { return static_cast<QIWidget*>(next); }
    QIWidget* FirstChild(void) const { return static_cast<QIWidget*>(firstChild); }
    QIWidget* Parent(void) const { return static_cast<QIWidget*>(parent); }

    // Appends child after parent's last child, or, with a null parent, puts
    // it at the head of the root's top-level list; the root counts it.
    // Asserts a root and an unattached child.
    static void AddChild(QIWidget* parent, QIWidget* child);
    // True when w or an ancestor lacks QIWF_SHOWN; false for null.
    static bool IsHidden(const QIWidget* w);
    bool IsHidden(void) const { return IsHidden(this); }
    // Sets QIWF_MARK on the widget and every descendant.
    void MarkTree(void);

    // The handler with (this, p1, p2), then the listener's OnChildNotify;
    // the listener's result when there is one, else the handler's, else 0.
    virtual int Notify(int p1, QIARG p2);
    virtual void Disable(void) { flags |= QIWF_DISABLED; }
    virtual void Enable(void) { flags &= ~QIWF_DISABLED; }
    // Routes an input event: a null *path makes this widget the target
    // (Notify); otherwise the widget there gets it with path - 1.
    virtual int HandleInput(QIWidget** path, int p1, QIARG p2);
    virtual void HandleMessage(int message, void* record, int extra);
    virtual int OnChildNotify(QIWidget* child, int p1, QIARG p2);
    // While shown, draws the children in order; nothing of its own.
    virtual void Draw(const IRect* clip);
    virtual void Update(void) {}
    // A short text of the value for debug read-outs; "" here.
    virtual const char* ValueText(void) { return ""; }
    // Routes a key record (widgets/qidesktop.h) as HandleInput does; the
    // target ignores it.
    virtual void FilterChar(QIWidget** path, QIKey* key);
    virtual void ExportDefines(void) {}
    // The deepest hit-testable child (in child order) containing the point,
    // or this widget.
    virtual QIWidget* HitTest(const IPoint& point);

    // The whole widget: enters section (null: the name), then "Rect" (left
    // again) and the nine flags "Disabled" .. "Sticky"; a missing key keeps
    // the current value. The widget's section is left entered. 1.
    int Load(QIPropTree* tree, const char* section) override;
    int Save(QIPropTree* tree, const char* section) override;
};

class QITreeRoot {
public:
    QIWidget* first = nullptr; // first top-level widget
    uint32_t count = 0;        // widgets attached anywhere in the tree

    // Becomes g_QIDesktop.
    QITreeRoot();
    QITreeRoot(const QITreeRoot&) = delete;
    QITreeRoot& operator=(const QITreeRoot&) = delete;
    // Deletes every top-level widget with its subtree; clears g_QIDesktop
    // when it is this root.
    virtual ~QITreeRoot();

    // Unlinks an attached widget and deletes it with all its descendants,
    // leaves first (no recursion), uncounting each: 1. 0, deleting nothing,
    // for null or a widget not found in its parent's (or the top-level)
    // chain.
    int DeleteSubtree(QIWidget* w);
};
