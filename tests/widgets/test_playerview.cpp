// What a player sees of the desktop's loop: presses and keys reach the
// widgets in the order they were made, however many wait at once.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/utils.h"
#include "demo/widgetdemo.h"
#include "gen_widgets.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "support/passscript.h"
#include "support/testsupport.h"
#include "widgets/qidesktop.h"
#include "widgets/qiedit.h"
#include "widgets/qiimage.h"

namespace {

// Characters typed (the scan code doesn't matter to a field).
void Type(const char* text)
{
    for (const char* c = text; *c; c++) {
        Input_RawKey(SC_A, 1, *c);
        Input_RawKey(SC_A, 0, 0);
    }
}

} // namespace

TEST(PlayerViewMenusEventOrder, KeysTypedBeforeAClickStayInTheFieldTheyWereTypedInto)
{
    QvHeadlessScreen screen;
    QIDesktop d("Test", nullptr, QIImage(), "wdemo\\");
    QIString a(""), b("");
    QIEditBase* ea = new QIEditBase("a", nullptr, IRect(0, 0, 100, 12), &a, QIEC_LETTERS | QIEC_DIGITS, 0, 12);
    QIEditBase* eb = new QIEditBase("b", nullptr, IRect(0, 40, 100, 12), &b, QIEC_LETTERS | QIEC_DIGITS, 0, 12);
    QIWidget::AddChild(nullptr, ea);
    QIWidget::AddChild(nullptr, eb);
    d.SetCapture(ea, true);
    QvPassScript script;
    script.onPass = [&](int pass) {
        if (pass != 1) return;
        Type("Alice");
        Input_RawMouseMove(10, 45);
        Input_RawMouseButton(0, 1);
        Input_RawMouseButton(0, 0);
        Type("777");
    };
    script.Wait(0, 20);
    d.EventLoop(nullptr, 0);
    d.SetCapture(nullptr, true); // commits the field being edited
    EXPECT_FALSE(script.overran);
    EXPECT_STREQ(a.c_str(), "Alice");
    EXPECT_STREQ(b.c_str(), "777");
}

// The demonstration page with a 24-bit page picture: no palette of its
// own, so the desktop kept the black start-up one and the window was
// black; the refusal was logged at every tick.
TEST(PlayerViewMenusWidgetPage, A24BitPagePictureStillShowsThePageInTheCellsPaletteAndIsReportedOnce)
{
    Plat_InitWith(&g_PlatHeadless);
    PlatHeadless_SetClock(0, 0);
    Cfg_SetDefaults(&g_Config);
    Video_Init();
    QvTempDir dir;
    char oldData[GAME_PATH];
    Str_CopySafe(oldData, g_DataDir, sizeof oldData);
    Str_CopySafe(g_DataDir, dir.path().c_str(), sizeof g_DataDir);
    dir.write("wdemo/.keep", "");
    ASSERT_TRUE(GenWidgets_WriteAll(dir.file("wdemo")));
    // A 2 x 2 picture of 24 bits in place of the page.
    std::string bmp = {'B', 'M'};
    auto put32 = [&bmp](uint32_t v) { for (int i = 0; i < 4; i++) bmp += (char)(v >> (8 * i)); };
    auto put16 = [&bmp](uint16_t v) { bmp += (char)v; bmp += (char)(v >> 8); };
    put32(54 + 16); put32(0); put32(54); put32(40); put32(2); put32(2); put16(1); put16(24);
    for (int i = 0; i < 6; i++) put32(0);
    bmp += std::string(16, '\x40');
    dir.write("wdemo/wpage.bmp", bmp);
    {
        QvLogCapture log;
        WidgetDemo_Open();
        QIDesktop* d = WidgetDemo_Desktop();
        ASSERT_NE(d, nullptr);
        ASSERT_NE(d->palette, nullptr) << "the page has a palette to show";
        uint8_t cells[768];
        ASSERT_EQ(QI_LoadPalette(cells, "wcells.bmp", "wdemo\\"), 1);
        EXPECT_EQ(memcmp(d->palette, cells, sizeof cells), 0);
        int nonBlack = 0;
        for (int i = 0; i < 768; i++) nonBlack += d->palette[i] != 0;
        EXPECT_GT(nonBlack, 100);
        d->TickAll(nullptr); // as Run does again
        const std::string text = log.text();
        const size_t at = text.find("Bitmap must be 8 bit");
        EXPECT_NE(at, std::string::npos) << text;
        EXPECT_EQ(text.find("Bitmap must be 8 bit", at + 1), std::string::npos) << "once: " << text;
    }
    WidgetDemo_Close();
    Str_CopySafe(g_DataDir, oldData, sizeof g_DataDir);
    Video_Close();
    Plat_Close();
}
