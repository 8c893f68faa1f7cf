// Buttons: what their handlers hear as the desktop's loop drives them, the
// programmatic press and release, and their look.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/config.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "support/passscript.h"
#include "support/testsupport.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qidraw.h"
#include "widgets/qiproptree.h"

namespace {

typedef std::vector<std::string> LOG;

QvPass Wait(uint32_t ms)
{
    QvPass p;
    p.advanceMs = ms;
    return p;
}

const IRect kBox(0, 0, 50, 50);
const QIImage kNone;
int32_t s_value = 0;

class Buttons : public testing::Test {
protected:
    QvHeadlessScreen screen;
};

QIButton* Push(uint32_t style, uint32_t flags = 0)
{
    QIButton* b = new QIButton("btn", QvPass_Record, kBox, "Go", nullptr, nullptr, nullptr);
    b->style = style;
    b->flags |= flags;
    return b;
}

} // namespace

TEST_F(Buttons, LoopTurnsPointerEventsIntoNotifications)
{
    const std::vector<QvPass> click = {QvMove(10, 10), QvButton(1), QvButton(0)};
    const struct {
        const char* rule;
        std::function<QIButton*()> make;
        int32_t start;
        std::vector<QvPass> passes;
        LOG expect;
        int32_t value;  // after the passes (-99: not checked)
        int32_t pressed;
    } cases[] = {
        {"a click: 17, 18", [] { return Push(0); }, 0, click, {"btn 17", "btn 18"}, -99, 0},
        {"dragged off and released: 17 and no 18", [] { return Push(0); }, 0,
         {QvMove(10, 10), QvButton(1), QvMove(200, 200), QvButton(0)}, {"btn 17"}, -99, 0},
        {"off and back while held: 17, 17, 18", [] { return Push(0); }, 0,
         {QvMove(10, 10), QvButton(1), QvMove(200, 200), QvMove(10, 10), QvButton(0)},
         {"btn 17", "btn 17", "btn 18"}, -99, 0},
        {"held with RepeatLeft: 17 at once, after 300 ms, every 75 ms",
         [] { return Push(0, QIWF_REPEATLEFT); }, 0,
         {QvMove(10, 10), QvButton(1), Wait(300), Wait(5), Wait(75), Wait(5), QvButton(0)},
         {"btn 17", "btn 17", "btn 17", "btn 18"}, -99, 0},
        {"latching: down at the press, stays down", [] { return Push(QIBS_LATCHING); }, 0,
         {QvMove(10, 10), QvButton(1), QvButton(0), QvButton(1), QvButton(0)}, {"btn 17"}, -99, 1},
        {"latching, second press releases", [] { return Push(QIBS_LATCHING | QIBS_SECONDPRESSRELEASES); },
         0, {QvMove(10, 10), QvButton(1), QvButton(0), QvButton(1), QvButton(0)}, {"btn 17", "btn 18"}, -99, 0},
        {"toggle on release: flips at each release inside",
         [] { return Push(QIBS_LATCHING | QIBS_TOGGLEONRELEASE); }, 0,
         {QvMove(10, 10), QvButton(1), QvButton(0), QvButton(1), QvButton(0)}, {"btn 17", "btn 18"}, -99, 0},
        {"toggle on release: a release outside flips nothing",
         [] { return Push(QIBS_LATCHING | QIBS_TOGGLEONRELEASE); }, 0,
         {QvMove(10, 10), QvButton(1), QvMove(200, 200), QvButton(0)}, {}, -99, 0},
        {"disabled: follows focus, ignores the press", [] { return Push(0, QIWF_DISABLED); }, 0,
         click, {}, -99, 0},
        {"value, step 1 to 10: stops at the limit without a call",
         [] {
             return new QIValueButton("btn", QvPass_Record, kBox, kNone, kNone, kNone, kNone,
                                      &s_value, 1, 10);
         },
         8, {QvMove(10, 10), QvButton(1), QvButton(0), QvButton(1), QvButton(0), QvButton(1), QvButton(0)},
         {"btn 12", "btn 12"}, 10, 0},
        {"value, step -1 to 0: never below",
         [] {
             return new QIValueButton("btn", QvPass_Record, kBox, kNone, kNone, kNone, kNone,
                                      &s_value, -1, 0);
         },
         1, {QvMove(10, 10), QvButton(1), QvButton(0), QvButton(1), QvButton(0)}, {"btn 12"}, 0, 0},
        {"press button: one value held, the other released",
         [] {
             return new QIPressButton("btn", QvPass_Record, kBox, kNone, kNone, kNone, kNone,
                                      &s_value, 5, 6);
         },
         0, click, {"btn 12", "btn 12"}, 6, 0},
        {"toggle: 0, then 1, then 0",
         [] {
             return new QIToggleButton("btn", QvPass_Record, kBox, "On", "Off", nullptr, nullptr,
                                       nullptr, &s_value, 1, 0);
         },
         7, {QvMove(10, 10), QvButton(1), QvButton(0), QvButton(1), QvButton(0)}, {"btn 12", "btn 12"}, 0, 0},
    };
    for (const auto& c : cases) {
        QvPass_Log().clear();
        Input_RawMouseButton(0, 0);
        Mouse_FlushEvents();
        Input_RawMouseMove(300, 300);
        PlatHeadless_SetClock(0, 0);
        s_value = c.start;
        QIDesktop d("Test", nullptr, QIImage(), "wdemo\\");
        QIWidget* page = new QIWidget("page", nullptr);
        page->Assign(IRect(0, 0, 640, 480));
        QIWidget::AddChild(nullptr, page);
        QIButton* b = c.make();
        QIWidget::AddChild(page, b);
        QvPassScript script;
        for (const auto& p : c.passes) script.Add(p);
        d.EventLoop(nullptr, 0);
        EXPECT_EQ(QvPass_Log(), c.expect) << c.rule;
        EXPECT_EQ(b->pressed, c.pressed) << c.rule;
        if (c.value != -99) {
            EXPECT_EQ(s_value, c.value) << c.rule;
        }
        if (b->flags & QIWF_DISABLED) {
            EXPECT_TRUE(b->flags & QIWF_FOCUS) << c.rule;
        }
        EXPECT_FALSE(script.overran);
    }
}

TEST_F(Buttons, ToggleAndCheckBoxStartFromTheirValue)
{
    const struct {
        int32_t start, off;
        int32_t pressed;
    } boxes[] = {{0, 0, 0}, {1, 0, 1}, {5, 5, 0}, {-1, 5, 1}};
    for (const auto& c : boxes) {
        int32_t v = c.start;
        QICheckButton box("box", nullptr, IRect(0, 0, 11, 18), IPoint(14, 0), kNone, kNone, &v, 1,
                          c.off);
        EXPECT_EQ(box.pressed, c.pressed) << c.start;
        EXPECT_EQ(box.active, c.pressed);
        EXPECT_EQ((box.flags & QIWF_DOWN) != 0, c.pressed != 0);
        EXPECT_STREQ(box.ValueText(), c.pressed ? "Val=TRUE" : "Val=FALSE");
    }
    int32_t v = 7;
    QIToggleButton t("t", nullptr, kBox, "On", "Off", nullptr, nullptr, nullptr, &v, 1, 0);
    EXPECT_EQ(v, 0);
    EXPECT_STREQ(t.title.c_str(), "Off");
    t.Notify(QIN_CLICKED, 0);
    t.flags |= QIWF_SHOWN;
    t.Draw(nullptr);
    EXPECT_EQ(v, 1);
    EXPECT_STREQ(t.title.c_str(), "On");
}

TEST_F(Buttons, MessagesPressAndReleaseWithoutThePointer)
{
    const struct {
        int startPressed, message;
        int pressed;
        LOG expect;
    } cases[] = {
        {1, QIBM_RELEASE, 0, {"btn 18"}}, {0, QIBM_RELEASE, 0, {}},
        {0, QIBM_PRESS, 1, {"btn 17"}},   {1, QIBM_PRESS, 1, {}},
        {0, QIBM_PRESSQUIET, 1, {}},      {0, 3, 0, {}},
    };
    for (const auto& c : cases) {
        QvPass_Log().clear();
        QIButton b("btn", QvPass_Record, kBox, "Go", nullptr, nullptr, nullptr);
        b.pressed = b.active = c.startPressed;
        b.HandleMessage(c.message, nullptr, 0);
        EXPECT_EQ(b.pressed, c.pressed) << c.message;
        EXPECT_EQ((b.flags & QIWF_DOWN) != 0, c.pressed && c.startPressed != c.pressed) << c.message;
        EXPECT_EQ(QvPass_Log(), c.expect) << c.message;
    }
}

TEST_F(Buttons, WithoutImagesAFramedFillSunkenWhilePressed)
{
    BITMAP* bb = Backbuf_Lock();
    ASSERT_NE(bb, nullptr);
    const struct {
        int pressed;
        uint32_t flags;
        int entry; // of the pixel inside the outline's corner
    } cases[] = {{0, 0, QIC_HIGHLIGHT}, {1, 0, QIC_SHADOW}, {1, QIWF_FOCUS, QIC_SHADOW}};
    for (const auto& c : cases) {
        Graph_ClearBitmap(bb, 255);
        QIButton b("b", nullptr, IRect(10, 10, 40, 20), "", nullptr, nullptr, nullptr);
        b.flags |= QIWF_SHOWN | c.flags;
        b.pressed = b.active = c.pressed;
        b.Draw(nullptr);
        EXPECT_EQ(bb->data[11 * PLAT_WIDTH + 11], g_QIColours[c.entry]) << c.pressed;
        EXPECT_EQ(bb->data[10 * PLAT_WIDTH + 10],
                  g_QIColours[(c.flags & QIWF_FOCUS) ? QIC_FOCUSDOWN : QIC_OUTLINE]);
    }
}

TEST_F(Buttons, LoadAndSaveCarryTheFourImages)
{
    QIPropTree tree;
    QIButton saved("btn", nullptr, kBox, QIImage("n.bmp", IRect(1, 2, 3, 4), 0),
                   QIImage("nf.bmp", IRect(5, 6, 7, 8), 0), QIImage("a.bmp", IRect(9, 10, 11, 12), 0),
                   QIImage("af.bmp", IRect(13, 14, 15, 16), 0), "t", nullptr, nullptr, nullptr);
    EXPECT_EQ(saved.Save(&tree, nullptr), 1);
    tree.Leave();
    QIButton loaded("btn", nullptr);
    EXPECT_EQ(loaded.Load(&tree, nullptr), 1);
    tree.Leave();
    for (int i = 0; i < QIBI_COUNT; i++) {
        EXPECT_STREQ(loaded.images[i].file.c_str(), saved.images[i].file.c_str());
        EXPECT_EQ(loaded.images[i].h, saved.images[i].h);
    }
    EXPECT_EQ(loaded.w, kBox.w);
    EXPECT_NE(tree.Text().find("BitmapActive&Focus"), std::string::npos);
}
