// Lists: adding and ordering items, scrolling, and what clicks and drags
// select.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/input.h"
#include "support/passscript.h"
#include "widgets/qidesktop.h"
#include "widgets/qilist.h"
#include "widgets/qislider.h"

namespace {

typedef std::vector<std::string> LOG;

// A 20 x 10 item with a sort key; logs its draws and clicks.
struct Cell : QIGraphic {
    int key;
    explicit Cell(int k) : key(k)
    {
        w = 20;
        h = 10;
    }
    void Draw(const IPoint&, const IRect&, uint32_t) override { Log().push_back("draw " + std::to_string(key)); }
    void Clicked(const IPoint&, int) override { Log().push_back("click " + std::to_string(key)); }
    int Compare(QIGraphic* other) override { return key <= static_cast<Cell*>(other)->key ? 0 : 1; }
    static LOG& Log()
    {
        static LOG log;
        return log;
    }
};

QIPointer At(int x, int y, uint32_t modifiers = 0, uint32_t buttons = 0)
{
    QIPointer p;
    p.x = x;
    p.y = y;
    p.modifiers = modifiers;
    p.buttons = buttons;
    return p;
}

std::vector<int> Keys(const QIList& l)
{
    std::vector<int> keys;
    for (QIGraphic* it = l.first; it; it = static_cast<QIGraphic*>(it->next)) keys.push_back(static_cast<Cell*>(it)->key);
    return keys;
}

// A shown 40 x 25 list of 20 x 10 cells in two columns at the origin.
struct ListPage {
    QIDesktop d{"Test", nullptr, QIImage(), "wdemo\\"};
    QIList* list;
    explicit ListPage(int items, uint32_t listFlags = QILF_VSCROLL)
    {
        list = new QIList("list", QvPass_Record, IRect(0, 0, 40, 25), IPoint(20, 10), 2, nullptr, nullptr);
        list->listFlags = listFlags;
        QIWidget::AddChild(nullptr, list);
        for (int i = 0; i < items; i++) list->Add(new Cell(i));
        QvPass_Log().clear();
        Cell::Log().clear();
    }
};

} // namespace

TEST(List, AddingKeepsCountExtentAndOrder)
{
    QvHeadlessScreen screen;
    const struct {
        const char* rule;
        int items, maxItems;
        std::vector<int> sorted; // keys inserted sorted after the items
        uint32_t listFlags;
        std::vector<int> keys;
        int32_t extentY, scrollY;
    } cases[] = {
        {"5 items in 2 columns: 3 rows", 5, 0, {}, QILF_VSCROLL, {0, 1, 2, 3, 4}, 30, 0},
        {"following the end: 2 rows x 10 - 25, at least 0", 5, 0, {}, QILF_VSCROLL | QILF_FOLLOWEND,
         {0, 1, 2, 3, 4}, 30, 0},
        {"following the end with 8: 4 rows x 10 - 25", 8, 0, {}, QILF_VSCROLL | QILF_FOLLOWEND,
         {0, 1, 2, 3, 4, 5, 6, 7}, 40, 15},
        {"a 6th item at maxItems 5 drops the first", 6, 5, {}, QILF_VSCROLL, {1, 2, 3, 4, 5}, 30, 0},
        {"equal keys go after the last equal one", 0, 0, {2, 1, 2, 0, 1}, QILF_VSCROLL, {0, 1, 1, 2, 2},
         30, 0},
    };
    for (const auto& c : cases) {
        ListPage p(0, c.listFlags);
        p.list->maxItems = c.maxItems;
        for (int i = 0; i < c.items; i++) p.list->Add(new Cell(i));
        // Equal keys are told apart by their order of insertion.
        std::vector<Cell*> inserted;
        for (int k : c.sorted) {
            inserted.push_back(new Cell(k));
            p.list->InsertSorted(inserted.back());
        }
        EXPECT_EQ(Keys(*p.list), c.keys) << c.rule;
        EXPECT_EQ(p.list->count, (int)c.keys.size()) << c.rule;
        EXPECT_EQ(p.list->extent.y, c.extentY) << c.rule;
        EXPECT_EQ(p.list->scroll.y, c.scrollY) << c.rule;
        if (!c.sorted.empty()) {
            EXPECT_EQ(p.list->ItemAt(1), inserted[1]) << c.rule;
            EXPECT_EQ(p.list->ItemAt(3), inserted[0]) << c.rule;
        }
    }
    ListPage p(5);
    p.list->ScrollToEnd();
    EXPECT_EQ(p.list->scroll.y, 0);
    p.list->h = 15;
    p.list->ScrollToEnd();
    EXPECT_EQ(p.list->scroll.y, 5);
}

TEST(List, ScrollByMovesAQuarterMoreWithinTheContent)
{
    QvHeadlessScreen screen;
    const struct {
        uint32_t listFlags;
        int32_t startY, dx, dy;
        int32_t x, y;
        uint32_t followAfter;
    } cases[] = {
        {QILF_VSCROLL, 0, 0, 7, 0, 8, 0},                                  // 7 + 1
        {QILF_VSCROLL, 20, 0, -7, 0, 12, 0},                               // -7 + -1
        {QILF_VSCROLL, 0, 0, 3, 0, 3, 0},                                  // 3 / 4 is 0
        {QILF_VSCROLL, 0, 0, 500, 0, 75, 0},                               // 100 - 25
        {QILF_VSCROLL | QILF_FOLLOWDRAG, 0, 0, 500, 0, 75, 0},             // the end stops following
        {QILF_VSCROLL | QILF_FOLLOWDRAG, 0, 0, 8, 0, 10, QILF_FOLLOWDRAG},
        {QILF_VSCROLL, 10, 0, -500, 0, 0, 0},
        {QILF_VSCROLL, 0, 40, 0, 0, 0, 0},                                 // x not allowed
        {QILF_HSCROLL | QILF_VSCROLL, 0, 40, 0, 0, 0, 0},                  // extent 40 = width
    };
    for (const auto& c : cases) {
        ListPage p(20, c.listFlags);
        p.list->scroll.y = c.startY;
        p.list->ScrollBy(c.dx, c.dy);
        EXPECT_EQ(p.list->scroll.x, c.x) << c.dy;
        EXPECT_EQ(p.list->scroll.y, c.y) << c.dy;
        EXPECT_EQ(p.list->listFlags & QILF_FOLLOWMASK, c.followAfter) << c.dy;
    }
}

TEST(List, ClicksSelectAsTheModesSay)
{
    QvHeadlessScreen screen;
    struct Ev {
        int kind, x, y;
        uint32_t modifiers;
    };
    const struct {
        const char* rule;
        uint32_t listFlags;
        uint32_t selected, blocked; // item bits before
        int32_t current;
        std::vector<Ev> events;
        int32_t currentAfter;
        uint32_t selectedAfter;
        uint32_t dragMode;
        LOG log;
    } cases[] = {
        {"a plain click selects and tells the item", QILF_VSCROLL, 0, 0, -1,
         {{QIE_FOCUS, 25, 5, 0}, {QIE_LEFTDOWN, 25, 5, 0}}, 1, 0, QILF_DRAGSELECT, {"list 12"}},
        {"a blocked item selects nothing, silently", QILF_VSCROLL, 0, 0x2, -1,
         {{QIE_FOCUS, 25, 5, 0}, {QIE_LEFTDOWN, 25, 5, 0}}, -1, 0, 0, {}},
        {"multiple: a plain click clears the others", QILF_VSCROLL | QILF_MULTISELECT, 0x9, 0, 0,
         {{QIE_FOCUS, 5, 15, 0}, {QIE_LEFTDOWN, 5, 15, 0}}, 2, 0x4, QILF_DRAGSELECT, {"list 12"}},
        {"extending over a selected item deselects it", QILF_VSCROLL | QILF_MULTISELECT, 0x3, 0, 1,
         {{QIE_FOCUS, 5, 5, 0}, {QIE_LEFTDOWN, 5, 5, MOD_CTRL}}, -1, 0x2, QILF_DRAGDESELECT, {"list 12"}},
        {"and dragging on deselects the next", QILF_VSCROLL | QILF_MULTISELECT, 0x3, 0, 1,
         {{QIE_FOCUS, 5, 5, 0}, {QIE_LEFTDOWN, 5, 5, MOD_CTRL}, {QIE_MOVE, 25, 5, MOD_CTRL}}, 1, 0x0,
         QILF_DRAGDESELECT, {"list 12", "list 12"}},
        {"extending without multiple selection: nothing", QILF_VSCROLL, 0, 0, 0,
         {{QIE_FOCUS, 25, 5, 0}, {QIE_LEFTDOWN, 25, 5, MOD_CTRL}}, 0, 0, 0, {}},
        {"a click below the last item: no item, nothing", QILF_VSCROLL, 0, 0, 0,
         {{QIE_FOCUS, 25, 24, 0}, {QIE_LEFTDOWN, 25, 24, 0}}, 0, 0, 0, {}},
    };
    for (const auto& c : cases) {
        ListPage p(4, c.listFlags);
        int i = 0;
        for (QIGraphic* it = p.list->first; it; it = static_cast<QIGraphic*>(it->next), i++) {
            if (c.selected & (1u << i)) it->itemFlags |= QIIF_SELECTED;
            if (c.blocked & (1u << i)) it->itemFlags |= QIIF_UNSELECTABLE;
        }
        p.list->current = c.current;
        QIWidget* end[1] = {nullptr};
        for (const auto& e : c.events) {
            QIPointer ptr = At(e.x, e.y, e.modifiers, e.kind == QIE_MOVE ? MOUSE_BUTTON_LEFT : 0);
            p.list->HandleInput(end, e.kind, (QIARG)&ptr);
        }
        EXPECT_EQ(p.list->current, c.currentAfter) << c.rule;
        uint32_t selected = 0;
        i = 0;
        for (QIGraphic* it = p.list->first; it; it = static_cast<QIGraphic*>(it->next), i++)
            if (it->itemFlags & QIIF_SELECTED) selected |= 1u << i;
        EXPECT_EQ(selected, c.selectedAfter) << c.rule;
        EXPECT_EQ(p.list->listFlags & QILF_DRAGMASK, c.dragMode) << c.rule;
        EXPECT_EQ(QvPass_Log(), c.log) << c.rule;
    }
}

TEST(List, RemovingTheCurrentLastItemLeavesNothingToDrawOrClick)
{
    QvHeadlessScreen screen;
    ListPage p(3);
    p.list->flags |= QIWF_SHOWN;
    p.list->current = 2;
    p.list->Remove(p.list->last);
    EXPECT_EQ(p.list->count, 2);
    EXPECT_EQ(p.list->extent.y, 10);
    p.list->flags |= QIWF_MARK;
    p.list->Draw(nullptr);
    EXPECT_EQ(Cell::Log(), (LOG{"draw 0", "draw 1"}));
    QIWidget* end[1] = {nullptr};
    QIPointer ptr = At(5, 15);
    p.list->HandleInput(end, QIE_FOCUS, (QIARG)&ptr);
    p.list->HandleInput(end, QIE_LEFTDOWN, (QIARG)&ptr);
    EXPECT_EQ(p.list->current, -1) << "the picked item went: none picked";
    EXPECT_TRUE(QvPass_Log().empty());
    EXPECT_STREQ(p.list->ValueText(), "Item=2/2 Pos=0,0 Sel:0");
}

TEST(List, RightDragScrollsInRelativeMode)
{
    QvHeadlessScreen screen;
    ListPage p(20);
    QIWidget* end[1] = {nullptr};
    QIPointer ptr = At(5, 5);
    p.list->HandleInput(end, QIE_RIGHTDOWN, (QIARG)&ptr);
    EXPECT_TRUE(p.d.dflags & QID_POINTERSAVED);
    EXPECT_TRUE(p.list->flags & QIWF_DOWN);
    EXPECT_EQ(p.list->listFlags & QILF_FOLLOWMASK, (uint32_t)QILF_FOLLOWDRAG);
    // The pointer sits at the centre; each move is its offset from there.
    const int32_t ys[] = {248, 248, 236};
    const int32_t scrolled[] = {10, 20, 15};
    for (int i = 0; i < 3; i++) {
        QIPointer move = At(320, ys[i]);
        move.press = IPoint(320, 240);
        p.list->HandleInput(end, QIE_MOVE, (QIARG)&move);
        EXPECT_EQ(p.list->scroll.y, scrolled[i]) << i;
    }
    p.list->HandleInput(end, QIE_RIGHTUP, (QIARG)&ptr);
    EXPECT_FALSE(p.d.dflags & QID_POINTERSAVED);
    EXPECT_FALSE(p.list->flags & QIWF_DOWN);
}

namespace {
// Keeps the state each cell was last drawn with.
struct StateCell : QIGraphic {
    int key;
    std::vector<uint32_t>* states;
    StateCell(int k, std::vector<uint32_t>* s) : key(k), states(s)
    {
        w = 40;
        h = 10;
    }
    void Draw(const IPoint&, const IRect&, uint32_t state) override { (*states)[(size_t)key] = state; }
};
} // namespace

// Selecting a row redraws the one it leaves after current has moved on, so
// that row loses its highlight; moving with either button held selects.
TEST(List, OldRowsLoseTheirHighlightAndEitherHeldButtonSelects)
{
    QvHeadlessScreen screen;
    const struct {
        const char* rule;
        int kind;
        uint32_t buttons;
        int32_t current;       // after three events on rows 0, 1, 2
        int drawnCurrent;      // rows last drawn as current
    } cases[] = {
        {"three clicks", QIE_LEFTDOWN, MOUSE_BUTTON_LEFT, 2, 1},
        {"three moves with the left button held", QIE_MOVE, MOUSE_BUTTON_LEFT, 2, 1},
        {"three moves with the right button held", QIE_MOVE, MOUSE_BUTTON_RIGHT, 2, 1},
        {"three moves with nothing held", QIE_MOVE, 0, -1, 0},
    };
    for (const auto& c : cases) {
        QIDesktop d{"Test", nullptr, QIImage(), "wdemo\\"};
        std::vector<uint32_t> states(5, 0);
        QIList* list = new QIList("list", nullptr, IRect(0, 0, 40, 50), IPoint(40, 10), 1, nullptr, nullptr);
        list->listFlags = 0; // not scrollable: a right press doesn't drag-scroll
        QIWidget::AddChild(nullptr, list);
        for (int i = 0; i < 5; i++) list->Add(new StateCell(i, &states));
        QIWidget* end[1] = {nullptr};
        for (int row = 0; row < 3; row++) {
            QIPointer p = At(5, 10 * row + 5, 0, c.buttons);
            if (c.kind != QIE_MOVE) list->HandleInput(end, QIE_MOVE, (QIARG)&p);
            list->HandleInput(end, c.kind, (QIARG)&p);
            list->listFlags &= ~QILF_DRAGMASK; // each a separate gesture
        }
        EXPECT_EQ(list->current, c.current) << c.rule;
        int drawnCurrent = 0;
        for (uint32_t s : states) drawnCurrent += (s & QIROW_CURRENT) ? 1 : 0;
        EXPECT_EQ(drawnCurrent, c.drawnCurrent) << c.rule;
        if (c.drawnCurrent) {
            EXPECT_TRUE(states[2] & QIROW_CURRENT) << c.rule;
        }
    }
}

// A list's scroll bar made with the plain constructor drags with its thumb,
// on and off the bar, while the button is held.
TEST(List, ScrollBarThumbDragsTheList)
{
    QvHeadlessScreen screen;
    ListPage p(20);
    p.list->AttachVScroll(new QISlider());
    QIDesktop& d = p.d;
    QvPassScript script;
    script.Add(QvMove(45, 2)).Add(QvButton(1)).Add(QvMove(45, 8)).Add(QvMove(90, 14)).Add(QvButton(0));
    d.EventLoop(nullptr, 0);
    EXPECT_FALSE(script.overran);
    EXPECT_GT(p.list->scroll.y, 0);
}
