// What the widgets draw: the demonstration page against its recorded frame,
// and the placement rules of statics, callback texts and list rows.
#include <gtest/gtest.h>

#include <string>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/utils.h"
#include "demo/widgetdemo.h"
#include "gen_widgets.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "support/golden.h"
#include "support/testsupport.h"
#include "widgets/qidraw.h"
#include "widgets/qiitem.h"
#include "widgets/qistatic.h"

namespace {

// The page with the clock at 0 and frame 0. To record a new value after a
// deliberate change, run test_widgets --gtest_filter='WidgetPage.*': a
// mismatch prints the value and writes widgetpage_actual.pcx to look at.
const uint32_t kGoldenWidgetPage = 0xD287D8D9u;

class WidgetPage : public testing::Test {
protected:
    void SetUp() override
    {
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        Cfg_SetDefaults(&g_Config);
        Video_Init();
        Str_CopySafe(oldData_, g_DataDir, sizeof oldData_);
        Str_CopySafe(g_DataDir, dir.path().c_str(), sizeof g_DataDir);
        dir.write("wdemo/.keep", "");
        ASSERT_TRUE(GenWidgets_WriteAll(dir.file("wdemo")));
        g_FrameCount = 0;
        QvLogCapture quiet; // the page's titles are missing here: no strings
        ASSERT_EQ(WidgetDemo_Open(), 1);
        bb = Backbuf_Lock();
        ASSERT_NE(bb, nullptr);
    }
    void TearDown() override
    {
        WidgetDemo_Close();
        Str_CopySafe(g_DataDir, oldData_, sizeof g_DataDir);
        Video_Close();
        Plat_Close();
    }
    // The bounding box of pixels that differ from colour 0: x1, y1, x2, y2
    // (x1 > x2 when none does).
    GRECT Drawn(void) const
    {
        GRECT r{PLAT_WIDTH, PLAT_HEIGHT, -1, -1};
        for (int y = 0; y < PLAT_HEIGHT; y++)
            for (int x = 0; x < PLAT_WIDTH; x++)
                if (bb->data[y * PLAT_WIDTH + x]) {
                    r.x = std::min(r.x, x);
                    r.y = std::min(r.y, y);
                    r.w = std::max(r.w, x);
                    r.h = std::max(r.h, y);
                }
        return r;
    }
    QvTempDir dir;
    BITMAP* bb = nullptr;
    QIFont font{2, nullptr, 0};
    char oldData_[GAME_PATH];
};

int s_callbacks = 0;
void CountingText(QIString* text)
{
    s_callbacks++;
    text->Set("live");
}

} // namespace

TEST_F(WidgetPage, DrawsItsRecordedFrame)
{
    WidgetDemo_Draw();
    EXPECT_TRUE(DemoFixture_Matches(bb->data, g_Palette, kGoldenWidgetPage, "widgetpage_actual.pcx"));
}

TEST_F(WidgetPage, StaticsPlaceTheirTextAndDrawNothingWhenEmpty)
{
    const struct {
        const char* text;
        int just;
        uint32_t style;
        bool leftOfBox; // the text starts left of x = 200
        bool drawn;
    } cases[] = {
        {"a text far wider than its box", QIJ_CENTRE, 0, true, true},
        {"a text far wider than its box", QIJ_LEFT, 0, false, true},
        {"", QIJ_CENTRE, 0, false, false},
        {"", QIJ_LEFT, QISS_FILL, false, true},
    };
    for (const auto& c : cases) {
        Graph_ClearBitmap(bb, 0);
        QIStatic s("s", nullptr, IRect(200, 100, 20, 10), c.text, &font, c.just);
        s.flags |= QIWF_SHOWN;
        s.style = c.style;
        s.Draw(nullptr);
        const GRECT r = Drawn();
        EXPECT_EQ(r.x <= r.w, c.drawn) << c.text;
        if (c.drawn) {
            EXPECT_EQ(r.x < 200, c.leftOfBox) << c.text << " starts at " << r.x;
        }
        if (c.style) {
            EXPECT_TRUE(r.x == 200 && r.y == 100 && r.w == 220 && r.h == 110);
        }
    }
}

TEST_F(WidgetPage, CallbackTextRunsItsCallbackOncePerDraw)
{
    QICallbackText t("t", nullptr, IRect(10, 10, 100, 12), CountingText, &font, QIJ_LEFT);
    t.flags |= QIWF_SHOWN;
    QIWidget child("child", nullptr);
    s_callbacks = 0;
    t.Draw(nullptr);
    EXPECT_EQ(s_callbacks, 1);
    EXPECT_EQ(t.OnChildNotify(&child, QIN_CHANGED, 0), 0);
    EXPECT_EQ(s_callbacks, 2) << "a changed child redraws it";
    t.OnChildNotify(&child, QIN_CLICKED, 0);
    t.flags &= ~QIWF_SHOWN;
    t.OnChildNotify(&child, QIN_CHANGED, 0);
    EXPECT_EQ(s_callbacks, 2) << "other codes, and a hidden text, draw nothing";
}

TEST_F(WidgetPage, RowFillsStayInsideTheirRow)
{
    const struct {
        uint32_t state;
        int entry; // -1: no fill
    } cases[] = {
        {0, QIC_BACK}, {QIROW_HOVER, QIC_TRACK}, {QIROW_CURRENT, QIC_FACE},
        {QIROW_CURRENT | QIROW_HOVER, QIC_FACE}, {QIROW_NOBACK, -1},
    };
    const uint8_t colours[QIC_LIBRARY_ENTRIES] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    g_QIColours = colours;
    for (const auto& c : cases) {
        Graph_ClearBitmap(bb, 0);
        QITextItem item(&font, "");
        item.x = -10;
        item.y = 4;
        item.w = 200;
        item.h = 30;
        const IRect row(50, 60, 100, 18);
        item.Draw(IPoint(50, 56), row, c.state);
        const GRECT r = Drawn();
        if (c.entry < 0) {
            EXPECT_GT(r.x, r.w);
            continue;
        }
        EXPECT_EQ(bb->data[60 * PLAT_WIDTH + 50], colours[c.entry]);
        EXPECT_TRUE(r.x == 50 && r.y == 60 && r.w == 149 && r.h == 77)
            << r.x << "," << r.y << " .. " << r.w << "," << r.h;
    }
    g_QIColours = g_QILibraryColours;
}
