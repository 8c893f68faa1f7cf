// The tools' pointer state machine, right-button scrolling and the band.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/editor.h"
#include "editorfixture.h"
#include "map/mapview.h"
#include "platform/cursor.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"

namespace {

// A tool that records the hooks the base calls.
class Recorder : public MeTool {
public:
    std::string calls;
    bool hit = false;
    void Note(const char* c) { calls += calls.empty() ? c : std::string(" ") + c; }
    void Click(const QIPointer&) override { Note("Click"); }
    void ClickDone(void) override { Note("ClickDone"); }
    void AltClick(const QIPointer&) override { Note("AltClick"); }
    void BandDone(void) override { Note("BandDone"); }
    void BandChanged(void) override { Note("BandChanged"); }
    void MoveBy(const IPoint&, const IPoint&) override { Note("MoveBy"); }
    void MoveDone(void) override { Note("MoveDone"); }
    bool HitSelection(const QIPointer&) override { return hit; }
    void Cancel(int byRightClick) override
    {
        Note(byRightClick ? "Cancel(1)" : "Cancel(0)");
        MeTool::Cancel(byRightClick);
    }
};

class Tool : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        // Cursors 0..40, so that every cursor the tools choose can be told apart.
        std::vector<uint8_t> pixel(41, 1);
        std::vector<CURSOR> cursors(41);
        for (int i = 0; i < 41; i++) cursors[i] = CURSOR{1, 0, 0, 100, 1, 1, &pixel[i]};
        ASSERT_EQ(Cursor_Write(dir_.file("mouse.crs").c_str(), cursors.data(), 41), 1);
        ASSERT_EQ(Cursor_Load(dir_.file("mouse.crs").c_str()), 1);
        View(0, 0, 1);
        tool.clip = IRect(0, 32, 448, 448);
        g_MeEditor.tool = &tool;
    }
    void TearDown() override
    {
        g_MeEditor.tool = &g_MeEditor.plainTool;
        Cursor_Unload();
        EditorTest::TearDown();
    }
    Recorder tool;
};

} // namespace

enum { CTRL = MOD_CTRL, ALT = MOD_ALT, SHIFT = MOD_LSHIFT, LEFT = MOUSE_BUTTON_LEFT };
enum EV { DOWN, UP, MOVE, LEAVE };

TEST_F(Tool, PointerEventsDriveTheStateMachine)
{
    struct Row {
        const char* name;
        int state, modifiers;
        bool hit;
        EV event;
        int next;
        const char* calls;
        int cursor;
    } rows[] = {
        {"plain press on empty map starts a band", 0, 0, false, DOWN, 2, "Cancel(0) BandChanged", 0},
        {"plain press on the selection moves it", 0, 0, true, DOWN, 5, "", 40},
        {"Ctrl starts the Ctrl band, keeping the cursor", 0, CTRL, false, DOWN, 4, "BandChanged", 7},
        {"Ctrl and Shift: Ctrl first", 0, CTRL | SHIFT, false, DOWN, 4, "BandChanged", 7},
        {"Alt clicks without a band", 0, ALT, false, DOWN, 0, "AltClick", 7},
        {"Alt and Shift: still the Alt click", 0, ALT | SHIFT, false, DOWN, 0, "AltClick", 7},
        {"Shift starts the Shift band", 0, SHIFT, false, DOWN, 3, "BandChanged", 0},
        {"click mode clicks", 1, 0, false, DOWN, 1, "Click", 7},
        {"click mode repeats the click while dragged", 1, 0, false, MOVE, 1, "Click", 7},
        {"click mode release", 1, 0, false, UP, 1, "ClickDone", 7},
        {"band follows the pointer", 2, 0, false, MOVE, 2, "BandChanged", 7},
        {"band release", 3, 0, false, UP, 0, "BandDone", 0},
        {"band leaving the map", 4, 0, false, LEAVE, 0, "BandDone", 0},
        {"move follows the pointer", 5, 0, false, MOVE, 5, "MoveBy", 7},
        {"move release", 5, 0, false, UP, 0, "MoveDone", 0},
        {"move leaving the map: no MoveDone", 5, 0, false, LEAVE, 0, "", 0},
        {"continuous action on press", 6, 0, false, DOWN, 6, "AltClick", 7},
        {"continuous action on drag", 6, 0, false, MOVE, 6, "AltClick", 7},
        {"idle release does nothing", 0, 0, false, UP, 0, "", 7},
        {"busy states ignore a press", 2, 0, false, DOWN, 2, "", 7},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        tool.flags = METF_POINTERINSIDE;
        tool.state = r.state;
        Cursor_Set(7); // none of the tools' cursors
        tool.hit = r.hit;
        tool.calls.clear();
        const QIPointer p = At(100, 100, r.event == UP ? 0 : LEFT, (uint32_t)r.modifiers);
        switch (r.event) {
        case DOWN: tool.LeftDown(p); break;
        case UP: tool.LeftUp(p); break;
        case MOVE: tool.PointerMove(p); break;
        case LEAVE: tool.PointerLeave(p); break;
        }
        EXPECT_EQ(tool.state, r.next);
        EXPECT_EQ(tool.calls, r.calls);
        EXPECT_EQ(Cursor_Current(), r.cursor);
    }
}

TEST_F(Tool, AShortRightClickCancelsAndALongOneOnlyScrolls)
{
    for (int held : {199, 200}) {
        SCOPED_TRACE(held);
        tool.calls.clear();
        tool.flags = METF_POINTERINSIDE;
        tool.state = METS_CLICK;
        PlatHeadless_SetClock(1000, 0);
        tool.RightDown(At(100, 100, 2));
        EXPECT_EQ(Cursor_Current(), 40);
        // Presses are ignored while scrolling.
        tool.LeftDown(At(100, 100, 3));
        EXPECT_EQ(tool.calls, "");
        PlatHeadless_SetClock(1000 + held, 0);
        tool.RightUp(At(100, 100));
        EXPECT_EQ(tool.calls, held < 200 ? "Cancel(1)" : "");
        EXPECT_EQ(tool.state, held < 200 ? METS_IDLE : METS_CLICK);
        EXPECT_FALSE(tool.flags & METF_SCROLLING);
    }
}

// The band's outline pixels in colour 15 on the back buffer.
static int BandPixels(BITMAP* bb)
{
    int n = 0;
    for (int y = 32; y < 480; y++)
        for (int x = 0; x < 448; x++) n += bb->data[y * bb->x_size + x] == 15;
    return n;
}

TEST_F(Tool, BandsWiderOrHigherThanFourAreDrawnUnderThePointerAtEveryZoom)
{
    struct Row {
        const char* name;
        int z, w, h;
        bool drawn;
    } rows[] = {
        {"5 x 1 is drawn", 1, 5, 1, true},
        {"4 x 4 is not", 1, 4, 4, false},
        {"zoom 2: under the pointer", 2, 40, 20, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        View(96, 48, r.z);
        Graph_ClearBitmap(bb_, 0);
        tool.state = METS_BAND;
        tool.anchor = MeBigMap::ScreenToWorld(IPoint(50, 60));
        tool.current = IPoint(tool.anchor.x + r.w - 1, tool.anchor.y + r.h - 1);
        tool.DrawRubberBand();
        if (r.z == 1) {
            EXPECT_EQ(BandPixels(bb_) > 0, r.drawn);
            continue;
        }
        // The top-left corner sits at the press, the outline spans the band's screen size.
        EXPECT_EQ(bb_->data[60 * bb_->x_size + 50], 15);
        EXPECT_EQ(bb_->data[60 * bb_->x_size + 50 + r.w / r.z], 15);
        EXPECT_EQ(bb_->data[60 * bb_->x_size + 50 + r.w / r.z + 1], 0);
    }
}
