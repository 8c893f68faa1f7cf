// What the widgets draw: the demonstration page against its recorded frame,
// and the placement rules of statics, callback texts and list rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/utils.h"
#include "demo/widgetdemo.h"
#include "gen_widgets.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "support/golden.h"
#include "support/passscript.h"
#include "support/testsupport.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qiedit.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qiitem.h"
#include "widgets/qistatic.h"
#include "widgets/qitext.h"

namespace {

// The page with the clock at 0 and frame 0, at rest and with a button in
// each of its looks. To record new values after a deliberate change, run
// test_widgets --gtest_filter='WidgetPage.*': a mismatch prints the value
// and writes a PCX to look at.
const struct {
    const char* look;
    const char* button; // null: the page at rest
    int message;        // pressed through HandleMessage, or 0
    uint32_t flags;
    uint32_t golden;
    const char* file;
} kLooks[] = {
    {"at rest", nullptr, 0, 0, 0x66EF49A2u, "widgetpage_actual.pcx"},
    {"pressed", "WCount", QIBM_PRESSQUIET, 0, 0x5909CA2Au, "widgetpage_pressed.pcx"},
    {"focused", "WPlay", 0, QIWF_FOCUS, 0xE08363B1u, "widgetpage_focused.pcx"},
    {"latched", "WLatch", QIBM_PRESSQUIET, 0, 0xE41BE192u, "widgetpage_latched.pcx"},
};

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

TEST_F(WidgetPage, DrawsItsRecordedFrames)
{
    for (const auto& look : kLooks) {
        QIButton* b = look.button ? dynamic_cast<QIButton*>(WidgetDemo_Desktop()->FindByName(look.button))
                                  : nullptr;
        if (b) {
            b->flags |= look.flags;
            if (look.message) b->HandleMessage(look.message, nullptr, 0);
        }
        WidgetDemo_Draw();
        EXPECT_TRUE(DemoFixture_Matches(bb->data, g_Palette, look.golden, look.file)) << look.look;
        if (b) {
            b->flags &= ~look.flags;
            b->HandleMessage(QIBM_RELEASE, nullptr, 0);
        }
    }
    // The other two layers, then the question popup over the last.
    const struct {
        int layer;
        bool popup;
        uint32_t golden;
        const char* file;
    } kLayers[] = {
        {1, false, 0x0B9F591Eu, "widgetlists_actual.pcx"},
        {2, false, 0x35C54650u, "widgetedits_actual.pcx"},
        {2, true, 0x0E80B18Au, "widgetpopup_actual.pcx"},
    };
    for (const auto& l : kLayers) {
        WidgetDemo_ShowLayer(l.layer);
        QIDesktop* d = WidgetDemo_Desktop();
        QIPopup* pop = nullptr;
        if (l.popup) {
            pop = new QIPopup("WAsk", nullptr, IPoint(240, 100), &font, "Are you sure?");
            pop->AddButton(new QIButton("WAskNo", nullptr, IRect(0, 0, 60, 20), "No", &font, &font, &font), 3);
            pop->AddButton(new QIButton("WAskYes", nullptr, IRect(0, 0, 60, 20), "Yes", &font, &font, &font), 2);
            QIWidget::AddChild(d->FindByName("WEdits"), pop);
            pop->flags |= QIWF_SHOWN;
        }
        WidgetDemo_Draw();
        EXPECT_TRUE(DemoFixture_Matches(bb->data, g_Palette, l.golden, l.file)) << l.file;
        if (pop) d->DeleteWidget(pop);
    }
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

TEST_F(WidgetPage, PlayAndQuitEndTheRunWithTheirState)
{
    const struct {
        int x, y;
        int state;
    } cases[] = {{200, 440, GS_NEWGAME}, {270, 440, GS_QUIT}};
    for (const auto& c : cases) {
        QvPassScript script;
        script.Add(QvMove(c.x, c.y)).Wait(1).Add(QvButton(1)).Add(QvButton(0));
        script.stopWhenDone = false;
        script.Wait(1, 5);
        QIDesktop* d = WidgetDemo_Desktop();
        d->dflags |= QID_RUNNING;
        g_GameState = GS_FRONTEND;
        EXPECT_EQ(d->Run(), c.state);
        EXPECT_EQ(g_GameState, c.state);
        EXPECT_FALSE(script.overran);
    }
    g_GameState = GS_FRONTEND;
}

TEST_F(WidgetPage, EditFieldsPlaceTheirTextAndBlinkTheirCaret)
{
    const struct {
        int32_t justification;
        int32_t (*start)(int32_t width); // from the width of the text
    } placements[] = {
        {QIEJ_LEFT, [](int32_t) { return 4; }},
        {QIEJ_CENTRE, [](int32_t width) { return 100 / 2 - width / 2; }},
        {QIEJ_RIGHT, [](int32_t width) { return 100 - width - 4; }},
    };
    QIWidget* end[1] = {nullptr};
    ASSERT_GT(QI_TextWidth(&font, "wide text keeps on going"), 100);
    // Where the caret is drawn, from the left of the 92-pixel visible box.
    auto caretInBox = [](const QIEdit* e) {
        const std::string before(QIEditBase::Working(), (size_t)e->caret);
        return e->textStart - e->textOffset.x + QI_TextWidth(e->font, before.c_str()) - e->ScrollShift();
    };
    for (const auto& c : placements) {
        QIEdit* e = new QIEdit("e", nullptr, IRect(0, 0, 100, 14), IPoint(4, 2), c.justification,
                               QIEC_LETTERS, 0, 64, 1, &font);
        QIWidget::AddChild(nullptr, e);
        e->HandleMessage(2, nullptr, 0);
        std::string typed;
        for (char ch : std::string("wide text keeps on going past the edge")) {
            QIKey key{ch, 30, 0, 0};
            e->FilterChar(end, &key);
            if (ch != ' ') typed += ch;
            const int32_t width = QI_TextWidth(&font, typed.c_str());
            ASSERT_EQ(e->textStart, c.start(width)) << c.justification << " " << typed;
            // EditScrollsFromTheTextStart: the caret stays inside the box and
            // at most 10 pixels short of its right edge, sitting there once
            // the text is wider than the box.
            const int32_t at = caretInBox(e);
            EXPECT_TRUE(at >= 0 && at <= 92 - 10) << c.justification << " " << typed << " at " << at;
            if (width > 92) {
                EXPECT_EQ(at, 92 - 10) << c.justification << " " << typed;
            }
        }
        QIKey home{0, 71, 0, 0};
        e->FilterChar(end, &home);
        EXPECT_EQ(caretInBox(e), 0) << c.justification << ": Home shows the text's start";
        WidgetDemo_Desktop()->DeleteWidget(e);
    }
    // The caret shows for 667 ms of each second from the last key.
    QIEdit* e = new QIEdit("e", nullptr, IRect(0, 0, 100, 14), IPoint(4, 2), QIEJ_LEFT, QIEC_LETTERS, 0,
                           8, 1, &font);
    QIWidget::AddChild(nullptr, e);
    EXPECT_FALSE(e->CaretShown(0)); // not editing
    e->HandleMessage(2, nullptr, 0);
    PlatHeadless_SetClock(5300, 0);
    QIKey key{'a', 30, 0, 0};
    e->FilterChar(end, &key);
    const struct {
        uint32_t now;
        bool shown;
    } blink[] = {{5300, true}, {5966, true}, {5967, false}, {6299, false}, {6300, true}, {7967, false}};
    for (const auto& b : blink) EXPECT_EQ(e->CaretShown(b.now), b.shown) << b.now;
}

// A repaint of a rectangle redraws each widget in it exactly as a whole draw
// would, and leaves every pixel outside it alone: faces and fills are clipped
// as titles are.
TEST_F(WidgetPage, ClippedRepaintDrawsFacesAndTitlesAlikeAndNothingOutside)
{
    QIButton button("b", nullptr, IRect(100, 100, 80, 24), "Title", &font, &font, &font);
    QIStatic filled("s", nullptr, IRect(100, 100, 80, 24), "Filled static", &font, QIJ_CENTRE);
    filled.style = QISS_FILL;
    QICaptionFrame frame("f", nullptr, IRect(100, 100, 80, 40), "Caption", &font, QIJ_LEFT);
    QIWidget* widgets[] = {&button, &filled, &frame};
    const IRect clip(90, 90, 50, 20); // over the left half of the top
    std::vector<uint8_t> whole((size_t)PLAT_WIDTH * PLAT_HEIGHT);
    for (QIWidget* w : widgets) {
        w->flags |= QIWF_SHOWN;
        Graph_ClearBitmap(bb, 0);
        w->Draw(nullptr);
        std::copy(bb->data, bb->data + whole.size(), whole.begin());
        Graph_ClearBitmap(bb, 77);
        w->Draw(&clip);
        int outside = 0, wrongInside = 0;
        for (int y = 0; y < PLAT_HEIGHT; y++)
            for (int x = 0; x < PLAT_WIDTH; x++) {
                const uint8_t got = bb->data[y * PLAT_WIDTH + x], want = whole[y * PLAT_WIDTH + x];
                if (!clip.Contains(x, y))
                    outside += got != 77;
                else if (want != 0)
                    wrongInside += got != want;
            }
        EXPECT_EQ(outside, 0) << w->name.c_str() << ": pixels drawn outside the repaint";
        EXPECT_EQ(wrongInside, 0) << w->name.c_str() << ": pixels missing inside the repaint";
        w->flags &= ~QIWF_SHOWN;
    }
}

// A centred value row halves both widths on their own (w / 2 - tw / 2), as
// every other centring does.
TEST_F(WidgetPage, CentredValueRowHalvesEachWidthTowardZero)
{
    const char* text = "Centred";
    const int tw = QI_TextWidth(&font, text);
    QIGraphicText item(&font, &font, &font, text, nullptr, 0, QIJ_CENTRE);
    item.w = 5; // (5 - tw) / 2 rounds toward zero the other way than 5 / 2 - tw / 2
    ASSERT_NE((item.w - tw) / 2, item.w / 2 - tw / 2);
    const IRect row(40, 100, 200, 20);
    Graph_ClearBitmap(bb, 0);
    item.Draw(IPoint(100, 100), row, QIROW_NOBACK);
    std::vector<uint8_t> drawn(bb->data, bb->data + (size_t)PLAT_WIDTH * PLAT_HEIGHT);
    Graph_ClearBitmap(bb, 0);
    QI_DrawText(&font, 100 + item.w / 2 - tw / 2, 100, &row, text);
    EXPECT_TRUE(std::equal(drawn.begin(), drawn.end(), bb->data)) << text << " of width " << tw;
}

// A player's text with the font's inline codes is measured and drawn as the
// characters typed.
TEST_F(WidgetPage, EditFieldDrawsInlineCodesLiterally)
{
    const char* typed = "|1Big|2~9x";
    int sum = 0;
    for (const char* p = typed; *p; p++) sum += Font_CharWidth(font.slot, (unsigned char)*p);
    EXPECT_EQ(QI_TextWidthLiteral(&font, typed), sum);
    Graph_ClearBitmap(bb, 0);
    QI_DrawTextLiteral(&font, 10, 10, nullptr, typed);
    std::vector<uint8_t> literal(bb->data, bb->data + (size_t)PLAT_WIDTH * PLAT_HEIGHT);
    Graph_ClearBitmap(bb, 0);
    int x = 10;
    for (const char* p = typed; *p; p++) {
        const char one[2] = {*p, 0};
        QI_DrawText(&font, x, 10, nullptr, one);
        x += Font_CharWidth(font.slot, (unsigned char)*p);
    }
    EXPECT_TRUE(std::equal(literal.begin(), literal.end(), bb->data));

    // The field itself: its frame and text as drawn literally.
    char text[32] = "|1Big|2";
    QIEdit* e = new QIEdit("e", nullptr, IRect(10, 40, 200, 14), IPoint(4, 2), QIEJ_LEFT, text,
                           QIEC_LETTERS, 0, 30, 1, &font);
    QIWidget::AddChild(nullptr, e);
    Graph_ClearBitmap(bb, 0);
    e->Draw(nullptr);
    std::vector<uint8_t> field(bb->data, bb->data + (size_t)PLAT_WIDTH * PLAT_HEIGHT);
    Graph_ClearBitmap(bb, 0);
    QI_DrawFrame(10, 40, 210, 54, 2, 1);
    const IRect box(14, 40, 192, 14);
    QI_DrawTextLiteral(&font, 14, 42, &box, text);
    EXPECT_TRUE(std::equal(field.begin(), field.end(), bb->data));
    WidgetDemo_Desktop()->DeleteWidget(e);
}

namespace {
// Records whether each of its draws showed it editing.
struct DrawLog : QIEdit {
    DrawLog(const char* n, int y)
        : QIEdit(n, nullptr, IRect(10, y, 100, 14), IPoint(4, 2), QIEJ_LEFT, QIEC_LETTERS, 0, 8, 1, nullptr)
    {
    }
    void Draw(const IRect* clip) override
    {
        editing.push_back(Editing());
        QIEdit::Draw(clip);
    }
    std::vector<bool> editing;
};
} // namespace

TEST_F(WidgetPage, EditFieldLosingTheCaptureIsRedrawnIdleAndBadJustificationLogsOnce)
{
    QIDesktop* d = WidgetDemo_Desktop();
    DrawLog* a = new DrawLog("a", 400);
    DrawLog* b = new DrawLog("b", 420);
    QIWidget::AddChild(nullptr, a);
    QIWidget::AddChild(nullptr, b);
    d->SetCapture(a, true);
    ASSERT_TRUE(a->Editing());
    a->editing.clear();
    d->SetCapture(b, true); // as Tab does
    ASSERT_FALSE(a->editing.empty()) << "not redrawn when the capture left";
    EXPECT_FALSE(a->editing.back());

    QvLogCapture log;
    a->justification = 7;
    for (int i = 0; i < 3; i++) a->Draw(nullptr);
    const std::string text = log.text();
    size_t lines = 0;
    for (size_t at = text.find("QIEdit::just invalid justification"); at != std::string::npos;
         at = text.find("QIEdit::just invalid justification", at + 1))
        lines++;
    EXPECT_EQ(lines, 1u) << text;
    d->DeleteWidget(a);
    d->DeleteWidget(b);
}

// A popup's first draw (Refresh from the popup) leaves the page under it.
TEST_F(WidgetPage, PopupFirstDrawKeepsThePageUnderIt)
{
    WidgetDemo_ShowLayer(2);
    WidgetDemo_Draw();
    std::vector<uint8_t> page(bb->data, bb->data + (size_t)PLAT_WIDTH * PLAT_HEIGHT);
    QIDesktop* d = WidgetDemo_Desktop();
    QIPopup* pop = new QIPopup("WAsk", nullptr, IPoint(240, 100), &font, "Are you sure?");
    QIWidget::AddChild(d->FindByName("WEdits"), pop);
    d->Refresh(pop);
    int changedOutside = 0;
    for (int y = 0; y < PLAT_HEIGHT; y++)
        for (int x = 0; x < PLAT_WIDTH; x++)
            if (!(x >= pop->x && x <= pop->x + pop->w && y >= pop->y && y <= pop->y + pop->h))
                changedOutside += bb->data[y * PLAT_WIDTH + x] != page[y * PLAT_WIDTH + x];
    EXPECT_EQ(changedOutside, 0);
    d->DeleteWidget(pop);
}

// The page as a person drives it: golden frames after a page switch, three
// clicks on list rows (one row current), a drop list chosen and closed (the
// menu's titles whole), and with the popup open over its page.
TEST_F(WidgetPage, DrivenByClicksShowsEachPageWhole)
{
    const struct {
        int pass; // the frame presented before this pass
        // The drop list closed over the rows' frame leaves it as it was.
        uint32_t golden;
        const char* file;
    } kFrames[] = {
        {4, 0x0B9F591Eu, "widgetdriven_switch.pcx"},
        {15, 0xB6612D3Eu, "widgetdriven_rows.pcx"},
        {21, 0xB6612D3Eu, "widgetdriven_drop.pcx"},
        {28, 0x1F82B7BDu, "widgetdriven_popup.pcx"},
    };
    auto click = [](QvPassScript& s, int x, int y) { s.Add(QvMove(x, y)).Add(QvButton(1)).Add(QvButton(0)); };
    QvPassScript script(400);
    click(script, 120, 15); // "Lists"
    script.Wait(1);
    for (int y : {60, 74, 88}) click(script, 40, y);
    script.Add(QvMove(600, 300)).Wait(1);
    script.Add(QvMove(390, 208)).Add(QvButton(1)).Add(QvMove(390, 240)).Add(QvButton(0));
    script.Add(QvMove(600, 300)).Wait(1);
    click(script, 190, 15); // "Edits"
    click(script, 55, 190); // "Ask": the popup runs its own loop
    script.Wait(1, 3);
    std::vector<std::string> failures;
    script.onPass = [&](int pass) {
        for (const auto& f : kFrames) {
            if (f.pass != pass) continue;
            const ::testing::AssertionResult r = DemoFixture_Matches(bb->data, g_Palette, f.golden, f.file);
            if (!r) failures.push_back(std::string(f.file) + ": " + r.message());
        }
    };
    QIDesktop* d = WidgetDemo_Desktop();
    d->dflags |= QID_RUNNING;
    d->Run(); // as the program does: no double clicks on the real clock
    EXPECT_FALSE(script.overran);
    EXPECT_EQ(failures, std::vector<std::string>{});
    QIList* grid = dynamic_cast<QIList*>(d->FindByName("WGrid"));
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->current, 4) << "the third click's row";
}
