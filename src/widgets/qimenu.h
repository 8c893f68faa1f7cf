// Groups, containers and the radio-style menu.
//
// A menu's children are buttons; the one a press leaves down (QIWF_DOWN)
// becomes the selection and the others are let go. The client may keep the
// selected child's position in an int of its own (the index target), which
// the menu writes on every change and reads back in SyncFromIndex.
//
// Names used elsewhere: QIContainer::SetFocus is QIMenu::SetCurrent,
// SyncFromValue is SyncFromIndex.
#pragma once

#include <cstdint>

#include "widgets/qiwidget.h"

// The messages a menu sends its children through HandleMessage.
enum QIMENU_MESSAGE { QIMM_DESELECT = 1, QIMM_SELECT = 2, QIMM_SELECTQUIET = 4 };

// A plain group that draws its children.
class QIGroup : public QIWidget {
public:
    QIGroup(const char* name, QIHANDLER fn, const IRect& rect);
};

// A hit-testable widget without a tip.
class QIContainer : public QIWidget {
public:
    QIContainer(const char* name, QIHANDLER fn);
};

class QIMenu : public QIWidget {
public:
    QIWidget* current = nullptr;
    int32_t* indexTarget;   // the client's copy of current's position; may be null
    int32_t enabled = 1;

    // Rectangle 0, no tip.
    QIMenu(const char* name, QIHANDLER fn, int32_t* index);

    // Forwards to the child on the path first; a child the event left down
    // becomes current (the old one gets 1) and the menu notifies 12. Nothing
    // when the menu itself is the target.
    int HandleInput(QIWidget** path, int kind, QIARG pointer) override;
    // From the index target (none: -1): -1 deselects, a child's position
    // selects it quietly (4), a position past the children leaves none;
    // then draws unless hidden.
    virtual void SyncFromIndex(void);

    // The option word (enabled) on or off.
    void SetFlag(bool on) { enabled = on ? 1 : 0; }
    // Sends 1 to the old current and 2 to child (null: none), updates the
    // index; no notification.
    void SetCurrent(QIWidget* child);
    // current's position among the children into the index target, -1 when
    // there is none or it isn't a child.
    void UpdateIndex(void);
};
