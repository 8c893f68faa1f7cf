// Scripted input for modal loops and the in-game loop on the headless
// platform.
//
// A script hooks the headless pump and acts once a presented frame: each
// pass it advances the virtual clocks and posts its pass's moves, button
// changes, wheel turns and keys, which the loop reads in that same pass. A
// key is pressed and released in its pass unless the pass holds it; a held
// key stays down until a later pass lets it go. When the script runs out it
// stops the desktop, or ends the game when the in-game loop runs; a loop that
// goes on past the bound is made to quit and marked overrun, so it fails
// instead of hanging.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "widgets/qiwidget.h"

struct QvPass {
    uint32_t advanceMs = 0;
    int moveX = -1, moveY = -1; // -1: no move
    int button = -1;            // 0 left, 1 right; -1 none
    int down = 0;
    int scancode = 0;           // 0: no key
    int character = 0;
    int keyHeld = -1;           // -1: pressed and released; 1 pressed and held; 0 a held key let go
    int wheel = 0;              // 0: no turn; +120 a notch away from the user
    bool quit = false;          // the window is closed
};

// One-event passes.
QvPass QvMove(int x, int y);
QvPass QvButton(int down, int button = 0);
QvPass QvKey(int scancode);
// A key pressed (with its character) and held across passes, and let go.
QvPass QvKeyDown(int scancode, int character = 0);
QvPass QvKeyUp(int scancode);
QvPass QvWheel(int delta);

// The headless platform with a back buffer and input, on a virtual clock at
// 0, for the object's lifetime; the pointer starts at (0, 0), nothing held.
struct QvHeadlessScreen {
    QvHeadlessScreen();
    ~QvHeadlessScreen();
};

class QvPassScript {
public:
    // At most maxPasses passes, then quit.
    explicit QvPassScript(int maxPasses = 200);
    // Unhooks and forgets any quit.
    ~QvPassScript();
    QvPassScript& Add(const QvPass& pass);
    // A pass that only lets time go by.
    QvPassScript& Wait(uint32_t ms, int count = 1);
    // Called at the start of every pass with its number (the previous
    // pass's frame is the last presented one).
    std::function<void(int pass)> onPass;
    // Stop the desktop, or end the game, once the passes are used up (else
    // let it run on).
    bool stopWhenDone = true;
    int passes = 0;
    bool overran = false;

private:
    static void Hook(void);
    void Step(void);
    std::vector<QvPass> script_;
    int max_;
    int lastFlips_ = -1;
};

// Notifications recorded by QvPass_Record, as "name code".
std::vector<std::string>& QvPass_Log(void);
// A handler that records its calls; returns 0.
int QvPass_Record(QIWidget* widget, int code, QIARG arg);
