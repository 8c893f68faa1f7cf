// Gauges and drop lists: levels from the pointer, opening, choosing and
// closing, and which item a drop list shows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/input.h"
#include "support/passscript.h"
#include "widgets/qidesktop.h"
#include "widgets/qidroplist.h"
#include "widgets/qigauge.h"

namespace {

typedef std::vector<std::string> LOG;

QIPointer At(int x, int y, uint32_t buttons = MOUSE_BUTTON_LEFT)
{
    QIPointer p;
    p.x = x;
    p.y = y;
    p.buttons = buttons;
    return p;
}

} // namespace

TEST(Gauge, LevelFollowsThePointerWithinItsLimits)
{
    QvHeadlessScreen screen;
    const struct {
        const char* rule;
        IPoint origin, step;
        std::vector<IPoint> points; // a press, then moves
        int32_t value;
        LOG log;
    } cases[] = {
        {"vertical: a level every 8 pixels up", IPoint(0, 80), IPoint(0, -8), {IPoint(5, 72), IPoint(5, 60)},
         3, {"g 12", "g 12"}},
        {"above the top clamps at 10, told once", IPoint(0, 80), IPoint(0, -8),
         {IPoint(5, 0), IPoint(5, -20), IPoint(5, -90)}, 10, {"g 12"}},
        {"below the bottom clamps at 0: no change", IPoint(0, 80), IPoint(0, -8), {IPoint(5, 99)}, 0, {}},
        {"horizontal: from the origin, a level every 10", IPoint(5, 0), IPoint(10, 0), {IPoint(34, 5)}, 3,
         {"g 12"}},
    };
    for (const auto& c : cases) {
        QIDesktop d("Test", nullptr, QIImage(), "wdemo\\");
        int32_t value = 0;
        QIGauge* g = new QIGauge("g", QvPass_Record, IRect(0, 0, 40, 100), QIImage(), QIImage(), QIImage(),
                                 QIImage(), 0, 10, &value, c.origin, c.step);
        QIWidget::AddChild(nullptr, g);
        QvPass_Log().clear();
        QIWidget* end[1] = {nullptr};
        bool press = true;
        for (const IPoint& pt : c.points) {
            QIPointer p = At(pt.x, pt.y);
            g->HandleInput(end, press ? QIE_LEFTDOWN : QIE_MOVE, (QIARG)&p);
            press = false;
        }
        QIPointer up = At(0, 0, 0);
        g->HandleInput(end, QIE_MOVE, (QIARG)&up); // nothing held: ignored
        EXPECT_EQ(value, c.value) << c.rule;
        EXPECT_EQ(QvPass_Log(), c.log) << c.rule;
        EXPECT_TRUE(g->flags & QIWF_DOWN) << c.rule;
    }
}

TEST(DropList, OpensChoosesAndCloses)
{
    QvHeadlessScreen screen;
    QIDesktop d("Test", nullptr, QIImage(), "wdemo\\");
    int32_t chosen = -1;
    QIDropList* drop = new QIDropList("drop", QvPass_Record, IRect(10, 10, 80, 12), IRect(10, 24, 80, 0),
                                      IPoint(80, 10), QIImage(), QIImage(), QIImage(), QIImage());
    QIWidget::AddChild(nullptr, drop);
    drop->flags |= QIWF_SHOWN;
    QIGraphicText* items[3];
    for (int i = 0; i < 3; i++) {
        items[i] = new QIGraphicText(nullptr, nullptr, nullptr, "row", &chosen, 100 + i, 0);
        drop->Add(items[i]);
    }
    EXPECT_EQ(drop->currentItem, items[0]);
    EXPECT_EQ(drop->openBox.h, 30);
    QvPass_Log().clear();
    QIWidget* end[1] = {nullptr};
    const struct {
        int kind, x, y;
    } steps[] = {{QIE_FOCUS, 20, 15}, {QIE_LEFTDOWN, 20, 15}, {QIE_MOVE, 20, 46}, {QIE_LEFTUP, 20, 46}};
    for (const auto& s : steps) {
        QIPointer p = At(s.x, s.y, s.kind == QIE_LEFTUP ? 0 : MOUSE_BUTTON_LEFT);
        drop->HandleInput(end, s.kind, (QIARG)&p);
        if (s.kind == QIE_LEFTDOWN) {
            EXPECT_TRUE(drop->IsOpen());
            EXPECT_EQ(drop->y, 24);
        }
    }
    EXPECT_EQ(QvPass_Log(), (LOG{"drop 21", "drop 12", "drop 22"}));
    EXPECT_FALSE(drop->IsOpen());
    EXPECT_EQ(drop->currentItem, items[2]);
    EXPECT_EQ(chosen, 102);
    EXPECT_EQ(drop->y, 10);
    EXPECT_TRUE(d.dflags & QID_REHITPENDING);

    // No item at the current index: closing keeps the shown item.
    drop->Remove(items[2]);
    EXPECT_EQ(drop->currentItem, items[0]);
    QIPointer p = At(20, 15);
    drop->HandleInput(end, QIE_LEFTDOWN, (QIARG)&p);
    drop->HandleInput(end, QIE_UNFOCUS, (QIARG)&p);
    EXPECT_EQ(drop->currentItem, items[0]);
    EXPECT_EQ(chosen, 102);

    // Cleared, nothing is shown; refilled, the new first item is.
    drop->Clear();
    EXPECT_EQ(drop->currentItem, nullptr);
    drop->Draw(nullptr);
    QIGraphicText* fresh = new QIGraphicText(nullptr, nullptr, nullptr, "new", &chosen, 7, 0);
    drop->Add(fresh);
    EXPECT_EQ(drop->currentItem, fresh);
    drop->Draw(nullptr);
    drop->Detach(fresh);
    EXPECT_EQ(drop->currentItem, nullptr);
    drop->Draw(nullptr);
    delete fresh;
}
