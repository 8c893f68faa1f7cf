// Start positions and regions: the one-shot tools, moving, resizing and
// selecting through their brushes, the list rows and what the map shows.
#include <gtest/gtest.h>

#include <string>

#include "editor/editor.h"
#include "editor/mestart.h"
#include "editorfixture.h"
#include "map/map.h"
#include "map/region.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/palette.h"
#include "support/golden.h"
#include "units/team.h"
#include "widgets/qilist.h"

namespace {

class StartRegion : public EditorTest {
protected:
    StartRegion() : EditorTest(20, 16) {} // 480 x 384 world pixels
    MeEditor& me = g_MeEditor;
    TEAM_STARTPOS saved_[TEAM_MAXTEAMS];
    void SetUp() override
    {
        EditorTest::SetUp();
        for (int t = 0; t < TEAM_MAXTEAMS; t++) saved_[t] = teamdata[t].startpos;
        View(0, 0, 1);
        me.tool = &me.selectTool;
        for (int t = 0; t < TEAM_MAXTEAMS; t++) teamdata[t].startpos = TEAM_STARTPOS{-1, -1};
    }
    void TearDown() override
    {
        me.selectTool.ForgetSelection();
        Region_FreeAll();
        for (int t = 0; t < TEAM_MAXTEAMS; t++) teamdata[t].startpos = saved_[t];
        // The editor object outlives the test: leave its tools as a visit finds them.
        me.team = 0;
        for (MeTool* t : {static_cast<MeTool*>(&me.selectTool), static_cast<MeTool*>(&me.startPosTool),
                          static_cast<MeTool*>(&me.regionTool)}) {
            t->flags = 0;
            t->state = METS_IDLE;
        }
        EditorTest::TearDown();
    }
    static REGION* Add(uint32_t id, uint32_t shape, int x1, int y1, int x2, int y2)
    {
        REGION r = {};
        r.id = id, r.flags = shape, r.x1 = x1, r.y1 = y1, r.x2 = x2, r.y2 = y2;
        return Region_Add(&r);
    }
    // A drag of the brush pressed at world point p by (dx, dy) in two steps,
    // as the select tool moves it: each step with the pointer's new point.
    template <class B> static void Drag(B& b, IPoint p, int dx, int dy)
    {
        b.MoveBy(IPoint(dx / 2, dy / 2), IPoint(p.x + dx / 2, p.y + dy / 2));
        b.MoveBy(IPoint(dx - dx / 2, dy - dy / 2), IPoint(p.x + dx, p.y + dy));
        b.Snap();
    }
    static std::string Corners(const REGION* r)
    {
        return std::to_string(r->x1) + "," + std::to_string(r->y1) + " " + std::to_string(r->x2) + "," +
               std::to_string(r->y2);
    }
};

} // namespace

TEST_F(StartRegion, TheStartToolSetsTheTeamsStartOnceKeptInsideTheMap)
{
    me.team = 3;
    me.startPosTool.Click(At(50, 82)); // not armed: nothing
    EXPECT_EQ(teamdata[3].startpos.x, -1);
    struct Row {
        const char* name;
        int sx, sy, x, y;
    } rows[] = {{"inside", 50, 82, 50, 50}, {"world 0 is kept off the edge", 0, 32, 1, 1}};
    for (const Row& r : rows) {
        me.startPosTool.Arm();
        me.startPosTool.Arm(); // twice: still returns to the select tool
        EXPECT_EQ(me.tool, &me.startPosTool);
        EXPECT_EQ(me.startPosTool.state, METS_CLICK);
        me.tool->LeftDown(At(r.sx, r.sy, 1));
        EXPECT_EQ(teamdata[3].startpos.x, r.x) << r.name;
        EXPECT_EQ(teamdata[3].startpos.y, r.y) << r.name;
        EXPECT_EQ(me.tool, &me.selectTool);
        EXPECT_EQ(me.startPosTool.previousTool, nullptr);
    }
    // Dragged past an edge: 1 or 24 x size - 2; deleted: (-1, -1).
    MeBrushStart b(&teamdata[3].startpos);
    Drag(b, IPoint(1, 1), 1000, -50);
    EXPECT_EQ(teamdata[3].startpos.x, 24 * 20 - 2);
    EXPECT_EQ(teamdata[3].startpos.y, 1);
    Drag(b, IPoint(478, 1), -2000, 2000);
    EXPECT_EQ(teamdata[3].startpos.x, 1);
    EXPECT_EQ(teamdata[3].startpos.y, 24 * 16 - 2);
    b.Delete();
    EXPECT_EQ(teamdata[3].startpos.x, -1);
    EXPECT_EQ(teamdata[3].startpos.y, -1);
}

TEST_F(StartRegion, TheRegionToolAddsTheDraggedRectangleAndGivesTheMapBack)
{
    me.regionTool.ClickDone(); // not armed: nothing
    EXPECT_EQ(Region_Count(), 0);
    me.regionTool.Arm();
    EXPECT_EQ(me.tool, &me.regionTool);
    me.tool->PointerEnter();
    me.tool->LeftDown(At(120, 152, 1));
    me.tool->PointerMove(At(90, 182, 1));
    me.tool->PointerMove(At(60, 212, 1));
    me.tool->LeftUp(At(60, 212));
    ASSERT_EQ(Region_Count(), 1);
    REGION* r = Region_FindByIndex(1);
    EXPECT_EQ(Corners(r), "60,120 121,181");
    EXPECT_EQ(r->flags, 0u);
    EXPECT_EQ(me.tool, &me.selectTool);
    EXPECT_EQ(me.selectTool.state, METS_IDLE);
    EXPECT_FALSE(me.regionTool.flags & METF_POINTERINSIDE);
    // A click without a drag makes 1 x 1, with a new id.
    me.regionTool.Arm();
    me.tool->LeftDown(At(10, 42, 1));
    me.tool->LeftUp(At(10, 42));
    REGION* dot = Region_FindByIndex(0);
    ASSERT_NE(dot, nullptr);
    EXPECT_EQ(Corners(dot), "10,10 11,11");
    EXPECT_NE(dot->id, r->id);
}

TEST_F(StartRegion, CornersResizeEdgesMoveWholeAndCirclesKeepTheirRadius)
{
    struct Row {
        const char* name;
        IPoint grab;
        int dx, dy;
        const char* after;
    } rows[] = {
        {"top-left corner stops at 8 x 8", {100, 100}, 500, 500, "192,192 200,200"},
        {"top-right corner", {200, 101}, 40, -20, "100,80 240,200"},
        {"bottom-left corner to the edge", {99, 199}, -200, 500, "1,100 200,383"},
        {"bottom-right corner stops at 8 x 8", {203, 203}, -500, -500, "100,100 108,108"},
        {"left edge moves whole to the edge", {102, 150}, -300, 0, "1,100 101,200"},
        {"interior moves whole to the far edges", {150, 150}, 900, 900, "379,283 479,383"},
        {"a quick drag still takes the pressed corner", {200, 200}, 60, 60, "100,100 260,260"},
    };
    for (const Row& r : rows) {
        REGION* region = Add(7, RT_RECTANGLE, 100, 100, 200, 200);
        MeBrushRegion b(region);
        Drag(b, r.grab, r.dx, r.dy);
        EXPECT_EQ(Corners(region), r.after) << r.name;
        Region_Delete(region);
    }
    // A circle moves whole, its radius kept, and stays inside the map.
    REGION* circle = Add(8, RT_CIRCLE, 200, 200, 30, 0);
    MeBrushRegion c(circle);
    Drag(c, IPoint(230, 200), 40, 0);
    EXPECT_EQ(Corners(circle), "240,200 30,0");
    Drag(c, IPoint(270, 200), -1000, 1000);
    EXPECT_EQ(Corners(circle), "31,353 30,0");
}

TEST_F(StartRegion, OnlyOutlinesAndWholeRegionsAreSelectedAndTheNeutralStartIsNotDrawn)
{
    REGION* rect = Add(1, RT_RECTANGLE, 100, 100, 200, 200);
    REGION* circle = Add(2, RT_CIRCLE, 300, 300, 40, 0);
    MeBrushRegion br(rect), bc(circle);
    struct Row {
        const char* name;
        IRect r;
        bool rectHit, circleHit;
    } rows[] = {
        {"band enclosing the rectangle", IRect(90, 90, 120, 120), true, false},
        {"band covering part", IRect(90, 90, 60, 120), false, false},
        {"band touching the edges exactly", IRect(100, 100, 100, 100), false, false},
        {"point on the left outline", IRect(104, 150, 1, 1), true, false},
        {"point inside", IRect(150, 150, 1, 1), false, false},
        {"point just past the corner", IRect(205, 205, 1, 1), true, false},
        {"point on the circle", IRect(300, 343, 1, 1), false, true},
        {"point at the circle's centre", IRect(300, 300, 1, 1), false, false},
        {"band enclosing the circle", IRect(250, 250, 100, 100), false, true},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(br.Intersects(r.r), r.rectHit) << r.name;
        EXPECT_EQ(bc.Intersects(r.r), r.circleHit) << r.name;
    }
    // The band over everything: both regions and every start but a missing one.
    teamdata[0].startpos = TEAM_STARTPOS{50, 50};
    teamdata[8].startpos = TEAM_STARTPOS{60, 60};
    MeToolSelect& s = me.selectTool;
    s.anchor = IPoint(2, 2);
    s.current = IPoint(470, 370);
    s.SelectRegions();
    s.SelectStarts();
    s.BandDone();
    int regions = 0, starts = 0;
    for (MeBrush* b = g_MeBrushLists[MEBL_SELECTION].head; b; b = b->Next()) {
        regions += b->Kind() == MEBK_REGION;
        starts += b->Kind() == MEBK_START;
    }
    EXPECT_EQ(regions, 2);
    EXPECT_EQ(starts, 2);
    EXPECT_TRUE(rect->flags & REGION_HILITE);
    // Team 8's start is selected but never drawn; a deleted one neither.
    Graph_ClearBitmap(bb_, 0);
    teamdata[0].startpos = TEAM_STARTPOS{-1, -1};
    me.DrawStartPositions();
    for (int i = 0; i < bb_->x_size * bb_->y_size; i++) ASSERT_EQ(bb_->data[i], 0) << i;

    // The list rows, filled by the refresh after the pickers'.
    QIList list("RegionList", nullptr, IRect(0, 0, 100, 100), IPoint(100, 10), 1, nullptr, nullptr);
    me.regionList = &list;
    me.RefreshAll();
    me.regionList = nullptr;
    ASSERT_EQ(list.count, 2);
    char text[64];
    static_cast<MeRegionItem*>(list.ItemAt(0))->Text(text, sizeof text);
    EXPECT_STREQ(text, "Rect     1 100,100->200,200");
    static_cast<MeRegionItem*>(list.ItemAt(1))->Text(text, sizeof text);
    EXPECT_STREQ(text, "Circle     2 300,300 ( 40)");
}

TEST_F(StartRegion, CrossesRegionsAndLabelsMatchTheirGoldenFrame)
{
    const std::string dir = std::string(QV_TEST_RUNDIR) + "/data/mapedit/";
    ASSERT_TRUE(Font_Load((dir + "font256a.pcx").c_str(), me.fontA->font.slot));
    ASSERT_TRUE(Font_Load((dir + "font256b.pcx").c_str(), me.fontB->font.slot));
    Graph_FillRect(bb_, nullptr, 0, 0, 0, 640, 480, 90);
    teamdata[0].startpos = TEAM_STARTPOS{60, 60};
    teamdata[5].startpos = TEAM_STARTPOS{300, 80};
    Add(11, RT_RECTANGLE, 40, 150, 200, 260);
    REGION* lit = Add(12, RT_RECTANGLE, 240, 150, 400, 300);
    Add(13, RT_CIRCLE, 120, 340, 30, 0);
    Add(14, RT_RECTANGLE, 420, 20, 423, 23); // too small for an outline
    MeBrushRegion b(lit);
    b.Hilite();
    MeToolSelect& s = me.selectTool;
    s.anchor = IPoint(295, 75);
    s.current = IPoint(305, 85);
    s.SelectStarts();
    s.BandDone();
    me.DrawRegions();
    me.DrawStartPositions();
    EXPECT_TRUE(Golden_BitmapMatches(bb_, g_PalInfo.colours, 0x42D2B55Du, "startregions.pcx"));
}
