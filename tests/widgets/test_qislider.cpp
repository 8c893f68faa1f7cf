// Sliders: the thumb's size and place, paging, dragging and the step
// buttons, with the value clamped to 0 .. range - page throughout.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/passscript.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qislider.h"

namespace {

typedef std::vector<std::string> LOG;

QIPointer At(int x, int y)
{
    QIPointer p;
    p.x = x;
    p.y = y;
    return p;
}

std::vector<int> Box(const IRect& r) { return {r.x, r.y, r.w, r.h}; }

} // namespace

TEST(Slider, ThumbPagingDraggingAndSteps)
{
    QIDesktop d("Test", nullptr, QIImage(), "wdemo\\");
    enum Act { LAYOUT, PRESS, DRAG, INC, DEC };
    const struct {
        const char* rule;
        int32_t length, value, range, page;
        Act act;
        int at, to;            // press point, drag end (along the slider)
        int32_t thumbLength, shortfall, thumbPos, valueAfter;
        LOG log;
    } cases[] = {
        {"page above range: full thumb at 0", 100, 5, 50, 80, LAYOUT, 0, 0, 100, 0, 0, 5, {}},
        {"range 0: full thumb", 100, 0, 0, 0, LAYOUT, 0, 0, 100, 0, 0, 0, {}},
        {"a 4-pixel thumb is drawn 10, travel 94", 100, 500, 1000, 40, LAYOUT, 0, 0, 10, 6, 47, 500, {}},
        {"press before the thumb pages down, clamped at 0", 100, 10, 100, 25, PRESS, 0, 0, 25, 0, 0, 0,
         {"s 12"}},
        {"press after the thumb pages up, clamped to range - page", 100, 70, 100, 25, PRESS, 99, 0, 25, 0,
         75, 75, {"s 12"}},
        {"press after the thumb at the end: silent", 100, 60, 100, 40, PRESS, 99, 0, 40, 0, 60, 60, {}},
        {"drag from the thumb's start", 100, 0, 100, 25, DRAG, 5, 45, 25, 0, 40, 40, {"s 12"}},
        {"drag past the end clamps", 100, 0, 100, 25, DRAG, 5, 500, 25, 0, 75, 75, {"s 12"}},
        {"a slider shorter than its minimum thumb drags nothing", 8, 0, 100, 10, DRAG, 2, 7, 10, 10, 0,
         0, {}},
        {"decrement at 0: silent", 100, 0, 100, 25, DEC, 0, 0, 25, 0, 0, 0, {}},
        {"increment stops at range - page", 100, 74, 100, 25, INC, 0, 0, 25, 0, 75, 75, {"s 12"}},
    };
    for (const auto& c : cases) {
        int32_t value = c.value, range = c.range, page = c.page, step = 1;
        QIButton* inc = new QIButton("", nullptr, IRect(0, 0, 0, 0), "", nullptr, nullptr, nullptr);
        QIButton* dec = new QIButton("", nullptr, IRect(0, 0, 0, 0), "", nullptr, nullptr, nullptr);
        QISlider* s = new QISlider("s", QvPass_Record, IRect(0, 0, 13, c.length), QISO_VERTICAL, &value,
                                   &range, &page, &step, nullptr, nullptr);
        QIWidget::AddChild(nullptr, s);
        QvPass_Log().clear();
        QIWidget* end[1] = {nullptr};
        QIPointer p = At(5, c.at);
        switch (c.act) {
        case LAYOUT:
            break;
        case PRESS:
            s->HandleInput(end, QIE_LEFTDOWN, (QIARG)&p);
            break;
        case DRAG: {
            s->HandleInput(end, QIE_LEFTDOWN, (QIARG)&p);
            EXPECT_TRUE(s->dragging) << c.rule;
            QIPointer q = At(5, c.to);
            s->HandleInput(end, QIE_MOVE, (QIARG)&q);
            break;
        }
        case INC:
        case DEC:
            s->AttachIncButton(inc);
            s->AttachDecButton(dec);
            inc = dec = nullptr;
            s->OnChildNotify(c.act == INC ? s->incButton : s->decButton, QIN_PRESSED, (QIARG)&p);
            break;
        }
        s->Layout();
        if (c.act != INC && c.act != DEC) {
            EXPECT_EQ(s->thumbLength, c.thumbLength) << c.rule;
            EXPECT_EQ(s->thumbShortfall, c.shortfall) << c.rule;
            EXPECT_EQ(s->thumbPos, c.thumbPos) << c.rule;
        }
        EXPECT_EQ(value, c.valueAfter) << c.rule;
        EXPECT_EQ(QvPass_Log(), c.log) << c.rule;
        d.DeleteSubtree(s);
        delete inc;
        delete dec;
    }
}

TEST(Slider, StepButtonsAreCutFromTheEnds)
{
    QIDesktop d("Test", nullptr, QIImage(), "wdemo\\");
    const struct {
        int32_t orientation;
        IRect slider, inc, dec;
    } cases[] = {
        {QISO_VERTICAL, IRect(20, 30, 12, 100), IRect(20, 118, 12, 12), IRect(20, 30, 12, 12)},
        {QISO_HORIZONTAL, IRect(20, 30, 100, 12), IRect(108, 30, 12, 12), IRect(20, 30, 12, 12)},
    };
    for (const auto& c : cases) {
        QISlider* s = new QISlider("bar", nullptr, c.slider, c.orientation, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr);
        QIWidget::AddChild(nullptr, s);
        QIButton* inc = new QIButton("", nullptr, IRect(0, 0, 0, 0), "", nullptr, nullptr, nullptr);
        QIButton* dec = new QIButton("", nullptr, IRect(0, 0, 0, 0), "", nullptr, nullptr, nullptr);
        s->AttachIncButton(inc);
        s->AttachDecButton(dec);
        EXPECT_EQ(Box(*inc), Box(c.inc)) << c.orientation;
        EXPECT_EQ(Box(*dec), Box(c.dec)) << c.orientation;
        const int32_t along = c.orientation == QISO_VERTICAL ? s->h : s->w;
        EXPECT_EQ(along, 76) << c.orientation;
        EXPECT_STREQ(inc->name.c_str(), "barInc");
        EXPECT_STREQ(dec->name.c_str(), "barDec");
        EXPECT_EQ(inc->listener, s);
        EXPECT_TRUE(inc->flags & QIWF_REPEATLEFT);
        d.DeleteSubtree(s);
    }
}
