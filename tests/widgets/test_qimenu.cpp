// The radio menu: which child is current, what the index target holds and
// who hears about it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/input.h"
#include "support/passscript.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qimenu.h"

namespace {

typedef std::vector<std::string> LOG;

struct MenuPage {
    QIDesktop d{"Test", nullptr, QIImage(), "wdemo\\"};
    int32_t index = -1;
    QIMenu* menu;
    QIButton* b[3];
    MenuPage()
    {
        menu = new QIMenu("menu", QvPass_Record, &index);
        menu->Assign(IRect(0, 0, 640, 480));
        QIWidget::AddChild(nullptr, menu);
        static const char* names[] = {"b0", "b1", "b2"};
        for (int i = 0; i < 3; i++) {
            b[i] = new QIButton(names[i], QvPass_Record, IRect(i * 60, 0, 50, 20), "", nullptr,
                                nullptr, nullptr);
            b[i]->style = QIBS_LATCHING;
            QIWidget::AddChild(menu, b[i]);
        }
    }
};

} // namespace

TEST(Menu, SyncFromIndexAndSetCurrentSelectWithoutNotifying)
{
    QvHeadlessScreen screen;
    const struct {
        const char* rule;
        int32_t start;   // current child before (-1 none)
        int32_t index;   // SyncFromIndex's index; -2: SetCurrent(b[2]) instead
        QIWidget* (*expect)(MenuPage&);
        int32_t indexAfter;
        LOG log;
    } cases[] = {
        {"-1 deselects", 0, -1, [](MenuPage&) -> QIWidget* { return nullptr; }, -1, {"b0 18"}},
        {"in range selects quietly", 0, 1, [](MenuPage& p) -> QIWidget* { return p.b[1]; }, 1,
         {"b0 18"}},
        {"out of range leaves none", 0, 3, [](MenuPage&) -> QIWidget* { return nullptr; }, 3,
         {"b0 18"}},
        {"SetCurrent: 1 to the old, 2 to the new, no 12", 0, -2,
         [](MenuPage& p) -> QIWidget* { return p.b[2]; }, 2, {"b0 18", "b2 17"}},
    };
    for (const auto& c : cases) {
        MenuPage p;
        p.menu->SetCurrent(p.b[c.start]);
        QvPass_Log().clear();
        if (c.index == -2) {
            p.menu->SetCurrent(p.b[2]);
        } else {
            p.index = c.index;
            p.menu->SyncFromIndex();
        }
        EXPECT_EQ(p.menu->current, c.expect(p)) << c.rule;
        EXPECT_EQ(p.index, c.indexAfter) << c.rule;
        EXPECT_EQ(QvPass_Log(), c.log) << c.rule;
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(p.b[i]->pressed != 0, p.b[i] == c.expect(p)) << c.rule << " b" << i;
    }
}

TEST(Menu, AClickOnALatchingChildMakesItCurrentAndNotifies)
{
    QvHeadlessScreen screen;
    Input_RawMouseButton(0, 0);
    Mouse_FlushEvents();
    Input_RawMouseMove(300, 300);
    MenuPage p;
    p.menu->SetCurrent(p.b[0]);
    QvPass_Log().clear();
    QvPassScript script;
    script.Add(QvMove(70, 10)).Add(QvButton(1)).Add(QvButton(0));
    script.Add(QvButton(1)).Add(QvButton(0)); // a second press on the current: no 12
    p.d.EventLoop(nullptr, 0);
    EXPECT_EQ(QvPass_Log(), (LOG{"b1 17", "b0 18", "menu 12"}));
    EXPECT_EQ(p.menu->current, p.b[1]);
    EXPECT_EQ(p.index, 1);
    EXPECT_FALSE(p.b[0]->pressed);
    EXPECT_FALSE(script.overran);
}
