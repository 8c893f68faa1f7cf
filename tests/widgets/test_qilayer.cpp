// Layers and popups: placement, what a modal popup's loop returns and who
// hears the clicks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/graph.h"
#include "platform/input.h"
#include "platform/video.h"
#include "support/passscript.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qilayer.h"

namespace {

typedef std::vector<std::string> LOG;

int StopAll(QIWidget* w, int code, QIARG arg)
{
    QvPass_Record(w, code, arg);
    if (code == QIN_CLICKED) static_cast<QIDesktopBase*>(g_QIDesktop)->dflags &= ~QID_RUNNING;
    return 0;
}

} // namespace

TEST(Popup, CentredWithButtonsRightToLeft)
{
    QvHeadlessScreen screen;
    QIDesktop d("Test", nullptr, QIImage(), "wdemo\\");
    QIPopup* pop = new QIPopup("pop", nullptr, IPoint(200, 100), nullptr, "Sure?");
    QIButton* yes = new QIButton("yes", nullptr, IRect(0, 0, 60, 20), "Yes", nullptr, nullptr, nullptr);
    QIButton* no = new QIButton("no", nullptr, IRect(0, 0, 60, 20), "No", nullptr, nullptr, nullptr);
    QIButton* placed = new QIButton("own", nullptr, IRect(230, 180, 30, 20), "", nullptr, nullptr, nullptr);
    pop->AddButton(yes, 2);
    pop->AddButton(no, 3);
    pop->AddButton(placed, 4);
    QIWidget::AddChild(nullptr, pop);
    EXPECT_EQ(pop->x, 220);
    EXPECT_EQ(pop->y, 170);
    const struct {
        QIButton* b;
        int x, bottom;
    } expect[] = {{yes, 348, 258}, {no, 288, 258}, {placed, 230, 200}};
    for (const auto& e : expect) {
        EXPECT_EQ(e.b->x, e.x) << e.b->name.c_str();
        EXPECT_EQ(e.b->y + e.b->h, e.bottom) << e.b->name.c_str();
        EXPECT_EQ(e.b->listener, pop);
    }
    EXPECT_TRUE(pop->flags & QIWF_CAPTURE);
    EXPECT_DEATH(pop->AddButton(new QIButton("x", nullptr), 5), "");
}

TEST(Popup, TheModalLoopReturnsTheClickedSlotsCode)
{
    QvHeadlessScreen screen;
    const struct {
        const char* rule;
        std::vector<QvPass> passes;
        QIHANDLER buttonHandler;
        int32_t result;
        LOG log;
        bool running;
    } cases[] = {
        {"slot 1 returns 24", {QvMove(290, 250), QvButton(1), QvButton(0)}, QvPass_Record, 24,
         {"b1 17", "b1 18"}, true},
        {"slot 0 returns 23", {QvMove(350, 250), QvButton(1), QvButton(0)}, QvPass_Record, 23,
         {"b0 17", "b0 18"}, true},
        {"a click outside reaches the popup, not the page; only a button ends it",
         {QvMove(20, 20), QvButton(1), QvButton(0), QvMove(290, 250), QvButton(1), QvButton(0)}, QvPass_Record,
         24, {"pop 1", "pop 3", "pop 4", "pop 2", "b1 17", "b1 18"}, true},
        {"Running cleared inside the popup ends both loops", {QvMove(290, 250), QvButton(1), QvButton(0)},
         StopAll, 24, {"b1 17", "b1 18"}, false},
    };
    for (const auto& c : cases) {
        Input_RawMouseButton(0, 0);
        Mouse_FlushEvents();
        Input_RawMouseMove(600, 400);
        QIDesktop d("Test", nullptr, QIImage(), "wdemo\\");
        QILayer* page = new QILayer("page", QvPass_Record, IRect(0, 0, 640, 480), 0);
        QIWidget::AddChild(nullptr, page);
        QIButton* under = new QIButton("under", QvPass_Record, IRect(10, 10, 40, 20), "", nullptr, nullptr,
                                       nullptr);
        QIWidget::AddChild(page, under);
        QIPopup* pop = new QIPopup("pop", QvPass_Record, IPoint(200, 100), nullptr, "");
        pop->AddButton(new QIButton("b0", c.buttonHandler, IRect(0, 0, 60, 20), "", nullptr, nullptr, nullptr), 0);
        pop->AddButton(new QIButton("b1", c.buttonHandler, IRect(0, 0, 60, 20), "", nullptr, nullptr, nullptr), 1);
        // On the page: a later sibling, hit before the page's buttons.
        QIWidget::AddChild(page, pop);
        d.Refresh(pop);
        QvPass_Log().clear();
        QvPassScript script;
        for (const auto& p : c.passes) script.Add(p);
        const int result = d.EventLoop(pop, 0);
        d.ClosePopup(pop);
        EXPECT_EQ(result, c.result) << c.rule;
        EXPECT_EQ(QvPass_Log(), c.log) << c.rule;
        EXPECT_EQ((d.dflags & QID_RUNNING) != 0, c.running) << c.rule;
        if (!c.running) {
            EXPECT_EQ(d.EventLoop(nullptr, 0), c.result) << c.rule; // at once
        }
    }
}

TEST(Layer, WithoutImageOrFrameDrawsOnlyItsChildren)
{
    QvHeadlessScreen screen;
    QIDesktop d("Test", nullptr, QIImage(), "wdemo\\");
    BITMAP* bb = Backbuf_Lock();
    ASSERT_NE(bb, nullptr);
    for (const uint32_t style : {0u, (uint32_t)QILS_FRAME}) {
        Graph_ClearBitmap(bb, 0);
        QILayer* layer = new QILayer("layer", nullptr, IRect(100, 100, 200, 100), 0);
        layer->frameStyle = style;
        layer->flags |= QIWF_SHOWN;
        QIWidget::AddChild(nullptr, layer);
        QIButton* child = new QIButton("c", nullptr, IRect(150, 150, 20, 10), "", nullptr, nullptr, nullptr);
        child->flags |= QIWF_SHOWN;
        QIWidget::AddChild(layer, child);
        layer->Draw(nullptr);
        EXPECT_EQ(bb->data[100 * bb->x_size + 100] != 0, style != 0) << style; // the frame's corner
        EXPECT_NE(bb->data[150 * bb->x_size + 150], 0) << style;               // the child
        d.DeleteSubtree(layer);
    }
}
