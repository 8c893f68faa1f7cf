// The mouse cursors: the cursor file written and read back, refusal of
// broken files, the animation on the system clock, and drawing with the hot
// spot on the pointer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/tlog.h"
#include "gen_cursor.h"
#include "gen_palette.h"
#include "platform/cursor.h"
#include "platform/graph.h"
#include "platform/plat.h"
#include "support/testsupport.h"

namespace {

// Three cursors: a still 3 x 2 with its hot spot in the middle of the bottom
// row's left pair, a 3-frame 2 x 2 animation at 100 ms a frame (frame k is
// 10 + k with a transparent top-left pixel), and a full 32 x 32.
struct Fixture {
    std::vector<std::vector<uint8_t>> px;
    std::vector<CURSOR> cursors;
    Fixture()
    {
        px.push_back({1, 2, 3, 4, 5, 6});
        px.push_back({0, 10, 10, 10, 0, 11, 11, 11, 0, 12, 12, 12});
        std::vector<uint8_t> big(32 * 32);
        for (size_t i = 0; i < big.size(); i++) big[i] = (uint8_t)(i % 251 + 1);
        px.push_back(big);
        cursors.push_back(CURSOR{1, 1, 1, 0, 3, 2, px[0].data()});
        cursors.push_back(CURSOR{3, 0, 0, 100, 2, 2, px[1].data()});
        cursors.push_back(CURSOR{1, 31, 0, 0, 32, 32, px[2].data()});
    }
};

class CursorTest : public testing::Test {
protected:
    QvTempDir dir_;
    Fixture fx_;
    std::string path_;
    void SetUp() override
    {
        PlatHeadless_SetClock(1000, 0);
        path_ = dir_.file("mouse.crs");
        ASSERT_EQ(Cursor_Write(path_.c_str(), fx_.cursors.data(), (int)fx_.cursors.size()), 1);
        Tlog_SetFile(dir_.file("trace.log").c_str());
    }
    void TearDown() override
    {
        Tlog_SetFile(nullptr);
        Cursor_Unload();
        Mouse_ShowCursor();
    }
    void Advance(uint32_t ms)
    {
        PlatHeadless_Advance(ms);
        Cursor_Update();
    }
};

// ---------------------------------------------------------------- the file

TEST_F(CursorTest, WrittenFileReadsBackTheSameCursors)
{
    ASSERT_EQ(Cursor_Load(path_.c_str()), 1);
    ASSERT_EQ(cursorinfo.nrcursors, 3);
    for (int i = 0; i < 3; i++) {
        const CURSOR& a = fx_.cursors[i];
        const CURSOR& b = cursorinfo.cursors[i];
        EXPECT_EQ(b.frames, a.frames);
        EXPECT_EQ(b.hotx, a.hotx);
        EXPECT_EQ(b.hoty, a.hoty);
        EXPECT_EQ(b.msperframe, a.msperframe);
        EXPECT_EQ(b.w, a.w);
        EXPECT_EQ(b.h, a.h);
        EXPECT_EQ(memcmp(b.pixels, a.pixels, (size_t)a.frames * a.w * a.h), 0) << "cursor " << i;
    }
    EXPECT_EQ(Cursor_Current(), 0);
    EXPECT_EQ(cursorinfo.frame, 0);
    // Written again, the file is the same bytes.
    std::string again = dir_.file("again.crs");
    ASSERT_EQ(Cursor_Write(again.c_str(), cursorinfo.cursors, cursorinfo.nrcursors), 1);
    EXPECT_EQ(dir_.read("again.crs"), dir_.read("mouse.crs"));
}

TEST_F(CursorTest, DemoCursorsRoundTrip)
{
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    GENCURSOR_SET set;
    GenCursor_Build(pal.colours, &set);
    ASSERT_GE((int)set.cursors.size(), 54);
    std::string path = dir_.file("demo.crs");
    ASSERT_EQ(Cursor_Write(path.c_str(), set.cursors.data(), (int)set.cursors.size()), 1);
    ASSERT_EQ(Cursor_Load(path.c_str()), 1);
    ASSERT_EQ(cursorinfo.nrcursors, (int)set.cursors.size());
    EXPECT_EQ(cursorinfo.cursors[1].frames, 4) << "the hourglass";
    for (int i = 0; i < cursorinfo.nrcursors; i++) {
        const CURSOR& c = cursorinfo.cursors[i];
        EXPECT_EQ(memcmp(c.pixels, set.cursors[i].pixels, (size_t)c.frames * c.w * c.h), 0) << i;
        // The hot spot lies within the drawing, not in a blank margin.
        int x0 = c.w, y0 = c.h, x1 = -1, y1 = -1;
        for (int y = 0; y < c.h; y++)
            for (int x = 0; x < c.w; x++)
                if (c.pixels[y * c.w + x]) {
                    x0 = std::min(x0, x), y0 = std::min(y0, y);
                    x1 = std::max(x1, x), y1 = std::max(y1, y);
                }
        EXPECT_TRUE(c.hotx >= x0 && c.hotx <= x1 && c.hoty >= y0 && c.hoty <= y1) << "cursor " << i;
    }
}

class CursorRefusal : public CursorTest {
protected:
    std::string whole_;
    void SetUp() override
    {
        CursorTest::SetUp();
        whole_ = dir_.read("mouse.crs");
        ASSERT_EQ(Cursor_Load(path_.c_str()), 1);
        Cursor_Set(2);
    }
    // The bytes are refused with the offset logged, and the cursors loaded
    // before are still there.
    void ExpectRefused(const std::string& bytes, const std::string& offset)
    {
        dir_.write("bad.crs", bytes);
        std::string path = dir_.file("bad.crs");
        EXPECT_EQ(Cursor_Load(path.c_str()), 0) << offset;
        EXPECT_EQ(cursorinfo.nrcursors, 3);
        EXPECT_EQ(Cursor_Current(), 2);
        EXPECT_EQ(cursorinfo.cursors[2].pixels[5], fx_.px[2][5]);
        std::string log = dir_.read("trace.log");
        EXPECT_NE(log.find("Cursor file [" + path + "]: offset " + offset + ":"), std::string::npos)
            << offset << "\n" << log;
    }
    static void PutU16(std::string* s, size_t at, int v)
    {
        (*s)[at] = (char)(v & 0xFF);
        (*s)[at + 1] = (char)(v >> 8);
    }
};

TEST_F(CursorRefusal, EveryTruncationIsRefused)
{
    for (size_t len = 0; len < whole_.size(); len++) {
        dir_.write("cut.crs", whole_.substr(0, len));
        ASSERT_EQ(Cursor_Load(dir_.file("cut.crs").c_str()), 0) << "cut at " << len;
    }
    EXPECT_EQ(cursorinfo.nrcursors, 3);
}

TEST_F(CursorRefusal, InconsistentFieldsAreRefusedAtTheirOffset)
{
    std::string s = whole_;
    s[0] = 'X';
    ExpectRefused(s, "0");
    s = whole_;
    s[4] = 1;
    ExpectRefused(s, "4");
    s = whole_;
    s[8] = 0;
    ExpectRefused(s, "8");
    s = whole_;
    s[8] = 100; // more cursors than the file holds
    ExpectRefused(s, std::to_string(whole_.size()));
    s = whole_;
    PutU16(&s, 12, 0); // no frames
    ExpectRefused(s, "12");
    s = whole_;
    PutU16(&s, 12 + 8, 33); // width
    ExpectRefused(s, "20");
    s = whole_;
    PutU16(&s, 12 + 2, 3); // hot spot x not below the width 3
    ExpectRefused(s, "14");
    s = whole_;
    PutU16(&s, 12 + 4, 2); // hot spot y not below the height 2
    ExpectRefused(s, "16");
    const size_t second = 12 + 12 + 6;
    s = whole_;
    PutU16(&s, second + 6, 0); // an animation at 0 ms a frame
    ExpectRefused(s, std::to_string(second + 6));
    ExpectRefused(whole_ + '\0', std::to_string(whole_.size()));
    dir_.write("trace.log", "");
    EXPECT_EQ(Cursor_Load(dir_.file("absent.crs").c_str()), 0);
    EXPECT_NE(dir_.read("trace.log").find("absent.crs"), std::string::npos);
}

TEST_F(CursorTest, WriterRefusesWhatTheFormatCannotHold)
{
    Fixture f;
    f.cursors[1].msperframe = 0;
    EXPECT_EQ(Cursor_Write(path_.c_str(), f.cursors.data(), 3), 0);
    f.cursors[1].msperframe = 100;
    f.cursors[0].w = 33;
    EXPECT_EQ(Cursor_Write(path_.c_str(), f.cursors.data(), 3), 0);
    EXPECT_EQ(Cursor_Write(path_.c_str(), f.cursors.data(), 0), 0);
    // The file written before is intact.
    EXPECT_EQ(Cursor_Load(path_.c_str()), 1);
}

// ---------------------------------------------------------------- selection and time

TEST_F(CursorTest, AnimationFollowsTheSystemClock)
{
    ASSERT_EQ(Cursor_Load(path_.c_str()), 1);
    Cursor_Set(1);
    Advance(99);
    EXPECT_EQ(cursorinfo.frame, 0);
    Advance(1);
    EXPECT_EQ(cursorinfo.frame, 1);
    Advance(250);
    EXPECT_EQ(cursorinfo.frame, 0) << "350 ms: three frames on, wrapped";
    // Irregular updates keep the pace: the remainder stays with the frame.
    for (int i = 0; i < 7; i++) Advance(30); // 560 ms
    EXPECT_EQ(cursorinfo.frame, 2);
    // Only the system clock counts.
    PlatHeadless_SetClock(Plat_SystemMs(), Plat_GameMs() + 100000);
    Cursor_Update();
    EXPECT_EQ(cursorinfo.frame, 2);
}

TEST_F(CursorTest, SettingTheCurrentCursorKeepsItsAnimation)
{
    ASSERT_EQ(Cursor_Load(path_.c_str()), 1);
    Cursor_Set(1);
    Advance(150);
    EXPECT_EQ(cursorinfo.frame, 1);
    Cursor_Set(1);
    EXPECT_EQ(cursorinfo.frame, 1);
    Advance(50); // 200 ms since the start, not since the second set
    EXPECT_EQ(cursorinfo.frame, 2);

    // Another cursor and back restarts from the first frame.
    Cursor_Set(0);
    Cursor_Set(1);
    EXPECT_EQ(cursorinfo.frame, 0);
    Advance(99);
    EXPECT_EQ(cursorinfo.frame, 0);
}

TEST_F(CursorTest, SetAssertsACursorOfTheFile)
{
    QV_EXPECT_FATAL(Cursor_Set(0), "ASSERT (c>=0 && c<cursorinfo.nrcursors)");
    ASSERT_EQ(Cursor_Load(path_.c_str()), 1);
    QV_EXPECT_FATAL(Cursor_Set(3), "ASSERT (c>=0 && c<cursorinfo.nrcursors)");
    QV_EXPECT_FATAL(Cursor_Set(-1), "ASSERT (c>=0 && c<cursorinfo.nrcursors)");
    Cursor_Set(2);
    EXPECT_EQ(Cursor_Current(), 2);
}

TEST_F(CursorTest, ShownFlagIsSetAndCleared)
{
    EXPECT_TRUE(Mouse_IsCursorShown());
    Mouse_HideCursor();
    EXPECT_FALSE(Mouse_IsCursorShown());
    Mouse_ShowCursor();
    EXPECT_TRUE(Mouse_IsCursorShown());
}

// ---------------------------------------------------------------- drawing

class CursorDraw : public CursorTest {
protected:
    BITMAP screen_{};
    void SetUp() override
    {
        CursorTest::SetUp();
        Graph_InitBitmap(&screen_, 40, 30, nullptr);
    }
    void TearDown() override
    {
        Graph_FreeBitmap(&screen_);
        CursorTest::TearDown();
    }
    uint8_t At(int x, int y) const { return screen_.data[y * 40 + x]; }
    // The bitmap after drawing the current cursor at (x, y) onto 200s is the
    // frame's non-zero pixels moved by the hot spot, inside the bitmap.
    void ExpectDrawnAt(int x, int y)
    {
        Graph_ClearBitmap(&screen_, 200);
        Cursor_Draw(&screen_, x, y);
        const CURSOR& c = cursorinfo.cursors[Cursor_Current()];
        const uint8_t* f = c.pixels + (size_t)cursorinfo.frame * c.w * c.h;
        for (int py = 0; py < 30; py++)
            for (int px = 0; px < 40; px++) {
                int fx = px - (x - c.hotx), fy = py - (y - c.hoty);
                uint8_t want = 200;
                if (fx >= 0 && fy >= 0 && fx < c.w && fy < c.h && f[fy * c.w + fx]) want = f[fy * c.w + fx];
                ASSERT_EQ(At(px, py), want) << "pointer " << x << "," << y << " pixel " << px << "," << py;
            }
    }
};

TEST_F(CursorDraw, NothingIsDrawnBeforeALoad)
{
    Graph_ClearBitmap(&screen_, 7);
    Cursor_Draw(&screen_, 5, 5);
    for (int i = 0; i < 40 * 30; i++) ASSERT_EQ(screen_.data[i], 7);
    GRECT r;
    Cursor_GetRect(5, 5, &r);
    EXPECT_TRUE(r.w < 1 || r.h < 1);
}

TEST_F(CursorDraw, HotSpotSitsOnThePointer)
{
    ASSERT_EQ(Cursor_Load(path_.c_str()), 1);
    Graph_ClearBitmap(&screen_, 200);
    Cursor_Draw(&screen_, 10, 10);
    EXPECT_EQ(At(9, 9), 1);
    EXPECT_EQ(At(10, 10), 5) << "the hot spot's pixel";
    EXPECT_EQ(At(11, 10), 6);
    EXPECT_EQ(At(12, 10), 200);
}

TEST_F(CursorDraw, ClippedAtEveryEdgeOfTheBitmap)
{
    ASSERT_EQ(Cursor_Load(path_.c_str()), 1);
    for (int c = 0; c < 3; c++) {
        Cursor_Set(c);
        const int points[][2] = {{0, 0},   {39, 29}, {-1, 5},  {40, 5},  {5, -1},   {5, 30},
                                 {-40, 0}, {0, -40}, {60, 60}, {20, 15}, {-31, -31}};
        for (const auto& p : points) ExpectDrawnAt(p[0], p[1]);
    }
    Cursor_Set(1);
    Advance(100);
    ExpectDrawnAt(0, 0); // the second frame, transparent corner included
    EXPECT_EQ(At(0, 0), 200);
    EXPECT_EQ(At(1, 0), 11);
}

TEST_F(CursorDraw, RectangleIsTheFrameOnTheScreen)
{
    ASSERT_EQ(Cursor_Load(path_.c_str()), 1);
    GRECT r;
    Cursor_GetRect(100, 50, &r);
    EXPECT_EQ(r.x, 99);
    EXPECT_EQ(r.y, 49);
    EXPECT_EQ(r.w, 3);
    EXPECT_EQ(r.h, 2);
    Cursor_GetRect(0, 0, &r);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 0);
    EXPECT_EQ(r.w, 2);
    EXPECT_EQ(r.h, 1);
    Cursor_GetRect(PLAT_WIDTH - 1, PLAT_HEIGHT - 1, &r);
    EXPECT_EQ(r.x, PLAT_WIDTH - 2);
    EXPECT_EQ(r.y, PLAT_HEIGHT - 2);
    EXPECT_EQ(r.w, 2);
    EXPECT_EQ(r.h, 2);
    Cursor_Set(2);
    Cursor_GetRect(300, 200, &r);
    EXPECT_EQ(r.x, 269);
    EXPECT_EQ(r.w, 32);
    EXPECT_EQ(r.h, 32);
    Cursor_GetRect(-100, 200, &r);
    EXPECT_TRUE(r.w < 1);
}

} // namespace
