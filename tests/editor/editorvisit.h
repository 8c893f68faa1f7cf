// The editor state run through the state loop with scripted passes, on a
// copy of the run directory's demo scenario in a home of the test's own.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

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

// The visits' pace on a script: a step's passes follow the last pass before
// it with one empty pass after them; a call, a typed key and a drag come
// after spare passes, and a click's press is held for them, for the flips of
// a load that it starts. Widgets are the editor's; three passes of 20 ms
// come first. Returns s.
QvPassScript& VisitPace(QvPassScript& s);
