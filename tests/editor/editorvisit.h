// The editor state run through the state loop with scripted passes, on a
// copy of the run directory's demo scenario in a home of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "core/tlog.h"
#include "support/passscript.h"
#include "support/testsupport.h"

// Opens the scenario as the File layer's Load does.
void OpenScenario(const char* name);
// The frame now on the back buffer against its recorded CRC (written as a
// PCX on a mismatch).
::testing::AssertionResult FrameMatches(uint32_t golden, const char* file);
// The text of the named edit field of the editor's desktop.
void SetEdit(const char* name, const char* text);

class EditorVisit : public testing::Test {
protected:
    QvLogCapture log{TLOG_SAVE};
    QvTempDir home{true};
    void SetUp() override;
    void TearDown() override;
    static void Chord(QvPassScript& s, int modifierKey, int scancode);
    static void Drag(QvPassScript& s, int button, int x, int y, int toX, int toY);
};

// Steps run one after another on a script: a click on a named widget once
// the desktop has it, keys, waits, calls.
class Steps {
public:
    explicit Steps(QvPassScript& s) : s_(s)
    {
        s_.Wait(20, 3);
        queued_ = 3;
        s_.onPass = [this](int pass) { OnPass(pass); };
    }
    // At (dx, dy) inside the widget; its middle by default.
    Steps& Click(const char* name, int dx = -1, int dy = -1)
    {
        steps_.push_back({name, dx, dy, nullptr, nullptr});
        return *this;
    }
    // Called at every pass, inside steps too.
    std::function<void(void)> every;
    Steps& Wait(uint32_t ms, int count)
    {
        steps_.push_back({nullptr, (int)ms, -count, nullptr, nullptr});
        return *this;
    }
    // A key with its character, pressed and let go.
    Steps& Type(int scancode, int character)
    {
        return Do([this, scancode, character] {
            Add(QvKeyDown(scancode, character));
            Add(QvKeyUp(scancode));
        });
    }
    Steps& Chord(int modifier, int scancode)
    {
        steps_.push_back({nullptr, modifier, scancode, nullptr, nullptr});
        return *this;
    }
    Steps& Do(std::function<void()> f, int wait = 1)
    {
        steps_.push_back({nullptr, 0, 0, std::move(f), nullptr});
        for (int i = 1; i < wait; i++) steps_.push_back({nullptr, 0, 0, [] {}, nullptr});
        return *this;
    }
    // Passes made when the step runs, from the state then (map points of
    // things placed by earlier steps).
    Steps& Input(std::function<std::vector<QvPass>(void)> make)
    {
        steps_.push_back({nullptr, 0, 0, nullptr, std::move(make)});
        return *this;
    }
    bool done(void) const { return next_ == steps_.size() && !busy_; }
    // A left-button drag over the map (a click when both ends are one),
    // with a key held through it (0: none).
    Steps& Drag(int x, int y, int toX, int toY, int held = 0)
    {
        return Do([=, this] {
            if (held) Add(QvKeyDown(held));
            Add(QvMove(x, y));
            Add(QvPass{});
            Add(QvButton(1));
            for (int i = 1; i <= 4; i++) Add(QvMove(x + (toX - x) * i / 4, y + (toY - y) * i / 4));
            Add(QvButton(0));
            if (held) Add(QvKeyUp(held));
        });
    }

private:
    struct Step {
        const char* name;
        int modifier, scancode;
        std::function<void()> call;
        std::function<std::vector<QvPass>(void)> passes;
    };
    void Add(const QvPass& p)
    {
        s_.Add(p);
        queued_++;
    }
    // A click or a call may run a load, which flips (and so passes) once a
    // stage: each step leaves passes enough behind it, and a pass inside a
    // step only uses them up.
    void OnPass(int pass);
    enum { SPARE = 24 };
    bool busy_ = false;
    QvPassScript& s_;
    std::vector<Step> steps_;
    size_t next_ = 0;
    int queued_ = 0;
};
