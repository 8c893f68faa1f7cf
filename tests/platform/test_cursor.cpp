// The mouse cursors: the cursor file written and read back, refusal of
// broken files, the animation on the system clock, and drawing with the hot
// spot on the pointer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

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
    QvLogCapture log_;
    Fixture fx_;
    std::string path_;
    void SetUp() override
    {
        PlatHeadless_SetClock(1000, 0);
        path_ = dir_.file("mouse.crs");
        ASSERT_EQ(Cursor_Write(path_.c_str(), fx_.cursors.data(), (int)fx_.cursors.size()), 1);
    }
    void TearDown() override
    {
        Cursor_Unload();
        Mouse_ShowCursor();
    }
    void Advance(uint32_t ms)
    {
        PlatHeadless_Advance(ms);
        Cursor_Update();
    }
};

// Written again from what was loaded, the file is the same bytes; what the
// format can't hold is refused and leaves the file as it was.
TEST_F(CursorTest, WriterRoundTripsAndRefusesWhatTheFormatCannotHold)
{
    ASSERT_EQ(Cursor_Load(path_.c_str()), 1);
    EXPECT_EQ(std::pair(cursorinfo.nrcursors, Cursor_Current()), std::pair(3, 0));
    const std::string written = dir_.read("mouse.crs");
    ASSERT_EQ(Cursor_Write(path_.c_str(), cursorinfo.cursors, cursorinfo.nrcursors), 1);
    EXPECT_EQ(dir_.read("mouse.crs"), written);
    Fixture f;
    f.cursors[0].w = 33;
    EXPECT_EQ(Cursor_Write(path_.c_str(), f.cursors.data(), 3), 0);
    EXPECT_EQ(dir_.read("mouse.crs"), written);
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
        EXPECT_EQ(std::pair(cursorinfo.nrcursors, Cursor_Current()), std::pair(3, 2));
        EXPECT_EQ(cursorinfo.cursors[2].pixels[5], fx_.px[2][5]);
        std::string log = log_.text();
        EXPECT_NE(log.find("Cursor file [" + path + "]: offset " + offset + ":"), std::string::npos)
            << offset << "\n" << log;
    }
};

TEST_F(CursorRefusal, InconsistentFieldsAreRefusedAtTheirOffset)
{
    const size_t second = 12 + 12 + 6; // the second cursor's record
    const struct {
        size_t at;
        int value, bytes;
        size_t offset; // logged
    } cases[] = {
        {0, 'X', 1, 0},                 // magic
        {8, 0, 1, 8},                   // no cursors
        {8, 100, 1, whole_.size()},     // more cursors than the file holds
        {12 + 8, 33, 2, 20},            // width
        {12 + 2, 3, 2, 14},             // hot spot x not below the width 3
        {second + 6, 0, 2, second + 6}, // an animation at 0 ms a frame
    };
    for (const auto& c : cases) {
        std::string s = whole_;
        for (int k = 0; k < c.bytes; k++) s[c.at + k] = (char)(c.value >> (8 * k));
        ExpectRefused(s, std::to_string(c.offset));
    }
    ExpectRefused(whole_ + '\0', std::to_string(whole_.size()));
    EXPECT_EQ(Cursor_Load(dir_.file("absent.crs").c_str()), 0);
    EXPECT_NE(log_.text().find("absent.crs"), std::string::npos);
}

TEST_F(CursorTest, AnimationFollowsTheSystemClockFromTheCursorsSetting)
{
    ASSERT_EQ(Cursor_Load(path_.c_str()), 1);
    Cursor_Set(1);
    Advance(99);
    EXPECT_EQ(cursorinfo.frame, 0);
    Advance(251);
    EXPECT_EQ(cursorinfo.frame, 0) << "350 ms: three frames on, wrapped";
    // Irregular updates keep the pace: the remainder stays with the frame.
    for (int i = 0; i < 7; i++) Advance(30); // 560 ms
    EXPECT_EQ(cursorinfo.frame, 2);
    // Only the system clock counts.
    PlatHeadless_SetClock(Plat_SystemMs(), Plat_GameMs() + 100000);
    Cursor_Update();
    EXPECT_EQ(cursorinfo.frame, 2);
    // Another cursor and back restarts; the current one set again goes on.
    Cursor_Set(0);
    Cursor_Set(1);
    EXPECT_EQ(cursorinfo.frame, 0);
    Advance(150);
    Cursor_Set(1);
    EXPECT_EQ(cursorinfo.frame, 1);
    Advance(50); // 200 ms since the start, not since the second set
    EXPECT_EQ(cursorinfo.frame, 2);
}

TEST_F(CursorTest, SetAssertsACursorOfTheFile)
{
    ASSERT_EQ(Cursor_Load(path_.c_str()), 1);
    QV_EXPECT_FATAL(Cursor_Set(3), "ASSERT (c>=0 && c<cursorinfo.nrcursors)");
}

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

TEST_F(CursorDraw, NothingBeforeALoadThenClippedAtEveryEdgeOfTheBitmap)
{
    Graph_ClearBitmap(&screen_, 7);
    Cursor_Draw(&screen_, 5, 5);
    EXPECT_EQ(std::count(screen_.data, screen_.data + 40 * 30, 7), 40 * 30);
    GRECT r;
    Cursor_GetRect(5, 5, &r);
    EXPECT_TRUE(r.w < 1 || r.h < 1);
    ASSERT_EQ(Cursor_Load(path_.c_str()), 1);
    for (int c = 0; c < 3; c++) {
        Cursor_Set(c);
        const int points[][2] = {{0, 0}, {39, 29}, {-1, 5}, {40, 5}, {5, -1}, {5, 30}, {-31, -31}};
        for (const auto& p : points) ExpectDrawnAt(p[0], p[1]);
    }
    Cursor_Set(1);
    Advance(100);
    ExpectDrawnAt(0, 0); // the second frame, transparent corner included
    EXPECT_TRUE(At(0, 0) == 200 && At(1, 0) == 11);
}

} // namespace
