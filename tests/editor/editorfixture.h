// The editor on a headless screen over a test world: the demo palette and
// tile set, a flat w x h map (altitude 4, corner type 1), the editor object
// started without its desktop.
#pragma once

#include <gtest/gtest.h>

#include "support/passscript.h"
#include "widgets/qidesktop.h"
#include "support/world.h"

struct BITMAP;

class EditorTest : public testing::Test {
public:
    // The terrain brush's first settings: the editor object outlives a test.
    static void ResetTerrainBrush(void);

protected:
    explicit EditorTest(int w = 64, int h = 64) : w_(w), h_(h) {}
    void SetUp() override;
    void TearDown() override;
    // The view at world pixel (x, y) and zoom z, as the editor sets them.
    void View(int x, int y, int z);
    // A pointer record at screen (x, y).
    static QIPointer At(int x, int y, uint32_t buttons = 0, uint32_t modifiers = 0);

    QvTempDir dir_;
    QvLogCapture log_;
    QvHeadlessScreen* screen_ = nullptr;
    BITMAP* bb_ = nullptr;

private:
    int w_, h_;
};
