// Scripted input for modal loops on the headless platform.
//
// A script hooks the headless pump and acts once a presented frame: each
// pass it advances the virtual clocks and posts its pass's moves, button
// changes and keys, which the loop reads in that same pass. When the script
// runs out it stops the desktop; a loop that goes on past the bound is made
// to quit and marked overrun, so it fails instead of hanging.
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
    bool quit = false;          // the window is closed
};

// One-event passes.
QvPass QvMove(int x, int y);
QvPass QvButton(int down, int button = 0);
QvPass QvKey(int scancode);

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
    // Stop the desktop once the passes are used up (else let it run on).
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
