// The Orders layer: what it shows for a selection and what it hands the
// current tool's selection.
#include <gtest/gtest.h>

#include <vector>

#include "editor/editor.h"
#include "editor/meorders.h"
#include "editor/methings.h"
#include "editorfixture.h"
#include "units/unit.h"
#include "units/team.h"
#include "widgets/qidesktop.h"
#include "widgets/qimenu.h"

namespace {

// A tool that records what the layer applies.
struct OrdersSeen : MeTool {
    std::vector<std::vector<int>> calls;
    void SetSelectionOrders(int tenacity, int autonomy, int selfpreservation, int level) override
    {
        calls.push_back({tenacity, autonomy, selfpreservation, level});
    }
};

class Orders : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        MeEditor& me = g_MeEditor;
        me.desktop = new QIDesktop("MapEdit", nullptr, QIImage(), "mapedit\\");
        me.backdrop = new QIContainer("Backdrop", nullptr);
        QIWidget::AddChild(nullptr, me.backdrop);
        MeOrders::BuildLayer();
        me.tool = &seen;
    }
    void TearDown() override
    {
        g_MeEditor.tool = &g_MeEditor.plainTool;
        g_MeEditor.orders = MEORDERS{};
        EditorTest::TearDown();
    }
    // A left press and release on the named widget, through its parent.
    void Click(const char* name)
    {
        QIWidget* w = g_MeEditor.desktop->FindByName(name);
        ASSERT_NE(w, nullptr) << name;
        QIPointer p = At(w->x + 2, w->y + 2, 1);
        QIWidget* path[2] = {nullptr, w};
        w->Parent()->HandleInput(&path[1], QIE_LEFTDOWN, (QIARG)&p);
        p.buttons = 0;
        w->Parent()->HandleInput(&path[1], QIE_LEFTUP, (QIARG)&p);
    }
    std::vector<int> Shown()
    {
        const MEORDERS& o = g_MeEditor.orders;
        return {o.order, o.pursuit, o.tolerance, o.independence};
    }
    OrdersSeen seen;
};

} // namespace

TEST_F(Orders, FromSelectionShowsWhatTheSelectionShares)
{
    // Masks: tenacity, self-preservation, autonomy, automove.
    struct Row {
        const char* name;
        uint32_t masks[4];
        std::vector<int> shown; // order, pursuit, tolerance, independence
    } rows[] = {
        {"all scout", {0, 0, 0, 1}, {0, -1, -1, -1}},
        {"scout and harass", {0, 0, 0, 3}, {-1, -1, -1, -1}},
        {"two pursuit ranges, one tolerance", {1 | 4, 2, 4, 0}, {-1, -1, 1, 2}},
        {"self-preservation 0 is tolerance high", {2, 1, 1, 0}, {-1, 1, 2, 0}},
        {"automove mixed with settings", {1, 1, 1, 4}, {-1, -1, -1, -1}},
        {"empty", {0, 0, 0, 0}, {-1, -1, -1, -1}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        g_MeEditor.orders.order = 1;
        for (int i = 0; i < 4; i++) g_MeEditor.orders.masks[i] = r.masks[i];
        MeOrders::FromSelection();
        EXPECT_EQ(Shown(), r.shown);
    }
}

TEST_F(Orders, ChoicesAndPresetsApplyWithinRange)
{
    MEORDERS& o = g_MeEditor.orders;
    teamdata[0].unitdef = TEAM_UNITDEF{0, 2, 1}; // self-preservation, tenacity, autonomy
    MeOrders::Reset();
    EXPECT_EQ(Shown(), (std::vector<int>{-1, -1, -1, -1}));

    // "High" tolerance alone: self-preservation 0, the mixed values stay -1.
    Click("OrderDTHigh");
    Click("OrderBehavGuard");
    Click("OrderScout");
    EXPECT_EQ(Shown(), (std::vector<int>{0, -1, -1, -1}));
    // "Default" right after a load: team 0's defaults.
    Click("OrderBehavDefault");
    Click("OrderPRMed");
    EXPECT_EQ(Shown(), (std::vector<int>{-1, 1, 2, 1}));
    const std::vector<std::vector<int>> want = {
        {-1, -1, 0, -1}, {0, 2, 0, -1}, {-1, -1, -1, 0}, {2, 1, 0, -1}, {1, 1, 0, -1},
    };
    EXPECT_EQ(seen.calls, want);

    // A mixed value keeps its old default.
    o.pursuit = -1;
    o.tolerance = 0;
    Click("OrderSetDefault");
    EXPECT_EQ((std::vector<int>{o.defPursuit, o.defTolerance, o.defIndependence}), (std::vector<int>{2, 0, 1}));
}

TEST_F(Orders, ALevelOverAMixedSelectionKeepsEachUnitsOwnOthers)
{
    MeEditor& me = g_MeEditor;
    UNITTYPE* tank = QvWorld_UnitType("Tank");
    UNIT* a = Units_NewAt(tank, 0, -1, 10, 10);
    UNIT* b = Units_NewAt(tank, 0, -1, 12, 10);
    a->usertactaiinfo = a->tactaiinfo = UNIT_TACTAI{};
    b->usertactaiinfo = b->tactaiinfo = UNIT_TACTAI{};
    a->usertactaiinfo.tenacity = 0, b->usertactaiinfo.tenacity = 2;
    me.tool = &me.selectTool;
    for (UNIT* u : {a, b}) g_MeBrushLists[MEBL_SELECTION].Append(new MeBrushUnit(u));
    me.selectTool.SelectionChanged();
    EXPECT_EQ(me.orders.pursuit, -1);
    Click("OrderDTHigh");
    EXPECT_EQ(a->usertactaiinfo.tenacity, 0);
    EXPECT_EQ(b->usertactaiinfo.tenacity, 2);
    EXPECT_EQ(a->usertactaiinfo.selfpreservation, 0);
    EXPECT_EQ(b->usertactaiinfo.selfpreservation, 0);
    me.selectTool.ForgetSelection();
    me.selectTool.SelectionChanged();
    EXPECT_EQ(Shown(), (std::vector<int>{-1, -1, -1, -1}));
}
