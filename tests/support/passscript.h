// Scripted input for modal loops, the in-game loop and the program's frame
// loop on the headless platform: the one player of every test that plays.
//
// A script hooks the headless pump and acts once a presented frame: each
// pass it advances the virtual clocks and posts its pass's moves, button
// changes, wheel turns and keys, which the loop reads in that same pass. A
// key is pressed and released in its pass unless the pass holds it; a held
// key stays down until a later pass lets it go. When the script runs out it
// stops the desktop, or ends the game when the in-game loop runs; a loop that
// goes on past the bound is made to quit and marked overrun, so it fails
// instead of hanging.
//
// Besides fixed passes a script holds steps:
// - a pass repeated until a condition holds at a pass's start (Until), a
//   check between passes (Then), a click whose point is computed when it is
//   posted (ClickWhere);
// - steps made when they run (Step and the helpers under it): a step runs
//   while the last pass queued before it plays, so it sees the screen the
//   earlier steps left (a widget's place, a placed thing's tile), and the
//   passes it queues follow without a gap; each run is followed by the
//   pace's gap pass, and a step that is not ready yet is tried again after
//   it. Modal boxes and loads flip through the same hook: flips inside a
//   running step play the passes queued before it (the pace's spare ones),
//   nothing else.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "widgets/qiwidget.h"

class QIDesktopBase;

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
// A pass that only lets ms go by.
QvPass QvTime(uint32_t ms);

// How the steps made when they run play: the pass after each run, the empty
// passes a call or a click leaves for the flips a load inside it makes, and
// the time a click's and a drag's passes take.
struct QvPace {
    QvPass gap;            // after every run of a step
    int spare = 0;         // empty passes before a call, and between a click's press and release
    uint32_t clickMs = 0;  // a pass of it after a click's move, press and release (0: none) and
                           // always one after a drag's first move
    uint32_t dragMs = 0;   // each of a drag's moves
};

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

    // Fixed passes. Called inside a step that runs, these and every step
    // below queue right after that step instead of at the script's end.
    QvPassScript& Add(const QvPass& pass);
    // Passes that only let time go by.
    QvPassScript& Wait(uint32_t ms, int count = 1);
    // Passes that let ms go by until done() holds at a pass's start.
    QvPassScript& Until(std::function<bool()> done, uint32_t ms = 50);
    // Runs at the start of the pass after everything added so far.
    QvPassScript& Then(std::function<void()> check);
    // A move there, a press and a release: three passes of ms each.
    QvPassScript& Click(int x, int y, int button = 0, uint32_t ms = 0);
    // As Click, at the point where() gives when the move is posted.
    QvPassScript& ClickWhere(std::function<void(int* x, int* y)> where, int button = 0);
    // A left press at one corner, the pointer through the middle to the
    // other, a release.
    QvPassScript& Box(int x1, int y1, int x2, int y2, uint32_t ms = 0);
    // One key a pass, each with its character (letters, digits, '.').
    QvPassScript& Type(const std::string& text, uint32_t ms = 0);
    // After settle still passes, the presented frame against its recorded
    // CRC (written to pcx on a mismatch).
    QvPassScript& Look(uint32_t golden, const std::string& pcx, int settle = 12);

    // Steps made when they run. made() queues its passes (Add and the
    // rest); false: not ready, try again after the gap.
    QvPassScript& Step(std::function<bool()> made);
    // The spare passes, then call(); times steps of it.
    QvPassScript& Do(std::function<void()> call, int times = 1);
    // The passes make() gives when the step runs.
    QvPassScript& Input(std::function<std::vector<QvPass>()> make);
    // count passes of ms.
    QvPassScript& Pause(uint32_t ms, int count);
    // A key, with a modifier held about it (0: none).
    QvPassScript& Chord(int modifier, int scancode);
    // After the spare passes, a key with its character pressed and let go.
    QvPassScript& TypeKey(int scancode, int character);
    // A click at (dx, dy) inside the named widget of the desktop that
    // desktop() gives (its middle by default), once it is there and shown.
    QvPassScript& ClickOn(const std::string& name, int dx = -1, int dy = -1);
    // After the spare passes, a left drag over the screen (a click when both
    // ends are one) with a key held through it (0: none).
    QvPassScript& Drag(int x, int y, int toX, int toY, int held = 0);
    // The passes of a click and of a drag at the pace.
    std::vector<QvPass> ClickPasses(int x, int y) const;
    std::vector<QvPass> DragPasses(int x, int y, int toX, int toY, int held = 0) const;
    // Every step has run (passes may be left).
    bool done(void) const;

    QvPace pace;
    // Where ClickOn finds its widgets (the current desktop by default).
    std::function<QIDesktopBase*(void)> desktop;
    // Called at the start of every pass with its number (the previous
    // pass's frame is the last presented one), inside steps too.
    std::function<void(int pass)> onPass;
    // Called when the bound is passed, before the quit is posted: a loop
    // that holds close requests back is told to let this one through.
    std::function<void(void)> onOverrun;
    // Stop the desktop, or end the game, once the passes are used up (else
    // let it run on).
    bool stopWhenDone = true;
    int passes = 0;
    // Steps made when they run that have run.
    int stepsRun = 0;
    bool overran = false;

private:
    struct Entry {
        QvPass pass;
        std::function<bool()> until;
        std::function<void()> check;
        std::function<void(int* x, int* y)> where;
        std::function<bool()> made;
    };
    static void Hook(void);
    void Next(void);
    void Push(Entry e);
    void Run(size_t at);
    void Play(const Entry& e);
    void RunDry(void);
    bool Plain(size_t at) const;
    std::vector<Entry> script_;
    size_t at_ = 0;
    size_t insert_ = 0; // where a running step queues
    int running_ = 0;
    int max_;
    int lastFlips_ = -1;
};

// The frame last presented against its recorded CRC (written to pcx on a
// mismatch); a failure when none was.
::testing::AssertionResult QvLastFrameMatches(uint32_t golden, const std::string& pcx);

// Notifications recorded by QvPass_Record, as "name code".
std::vector<std::string>& QvPass_Log(void);
// A handler that records its calls; returns 0.
int QvPass_Record(QIWidget* widget, int code, QIARG arg);
