// A player at the program's frame loop on the headless platform, for the
// whole-game flows: steps of input, one a presented frame, where a step may
// repeat until a condition holds (the game reaching an update, a page
// showing) and checks run between steps. When the steps run out the desktop
// stops, or the game goes back to the front end; a loop that goes on past
// the bound is made to quit and marked overrun, so it fails instead of
// hanging.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/passscript.h"

class QvTempDir;

// A program's own directory for a flow: the test run directory's "data" and
// its single-player DEMO linked in, an empty "save"; each folder of extra
// (name, scenario file text) beside DEMO, on the demo's map.
void QvFlow_MakeHome(const QvTempDir& home, const std::vector<std::pair<std::string, std::string>>& extra = {});
// The line of a folder in the custom-mission list of a home: the
// single-player folders in name order.
int QvFlow_ListLine(const std::string& home, const std::string& folder);

class QvFlowPlayer {
public:
    explicit QvFlowPlayer(int maxPasses);
    // Unhooks and forgets any quit.
    ~QvFlowPlayer();
    QvFlowPlayer& Pass(const QvPass& pass);
    QvFlowPlayer& Wait(uint32_t ms, int count = 1);
    // Passes that let ms go by until done() holds at a pass's start.
    QvFlowPlayer& Until(std::function<bool()> done, uint32_t ms = 50);
    // Runs at the start of the pass after everything added so far.
    QvFlowPlayer& Then(std::function<void()> check);
    // A move there, a press and a release: three passes of ms each.
    QvFlowPlayer& Click(int x, int y, int button = 0, uint32_t ms = 0);
    // As Click, at the point where() gives when the move is posted.
    QvFlowPlayer& ClickWhere(std::function<void(int* x, int* y)> where, int button = 0);
    // A left press at one corner, the pointer through the middle to the
    // other, a release.
    QvFlowPlayer& Box(int x1, int y1, int x2, int y2, uint32_t ms = 0);
    // One key a pass, each with its character (letters, digits, '.').
    QvFlowPlayer& Type(const std::string& text, uint32_t ms = 0);
    // After settle still passes, the presented frame against its recorded
    // CRC (written to pcx on a mismatch).
    QvFlowPlayer& Look(uint32_t golden, const std::string& pcx, int settle = 12);
    // Called at the start of every pass.
    std::function<void()> eachPass;
    bool stopWhenDone = true;
    int passes = 0;
    bool overran = false;

private:
    struct Step {
        QvPass pass;
        std::function<bool()> until;
        std::function<void()> check;
        std::function<void(int* x, int* y)> where;
    };
    static void Hook(void);
    void Next(void);
    std::vector<Step> steps_;
    size_t at_ = 0;
    int max_;
    int lastFlips_ = -1;
};
