// The path tool: waypoints added on vertices, dragged and deleted through
// their brushes, and the edit path given to, and taken from, units.
#include <gtest/gtest.h>

#include "editor/editor.h"
#include "editor/mepath.h"
#include "editor/methings.h"
#include "editorfixture.h"
#include "units/iterate.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitsorder.h"

namespace {

class Path : public EditorTest {
public:
    void SetUp() override
    {
        EditorTest::SetUp();
        tank = QvWorld_UnitType("Tank");
        tool().state = METS_IDLE, tool().flags = 0;
        View(0, 0, 1);
        g_MeEditor.tool = &tool();
    }
    void TearDown() override
    {
        tool().ForgetSelection();
        EditorTest::TearDown();
    }
    static MeToolPath& tool() { return g_MeEditor.pathTool; }
    static MeBrushList& sel() { return g_MeBrushLists[MEBL_SELECTION]; }
    // A press, moves and release in click mode over vertices (x, y).
    static void Press(std::initializer_list<IPoint> vertices)
    {
        for (const IPoint& v : vertices) tool().PointerMove(At(24 * v.x + 3, 32 + 24 * v.y - 4, 1));
        tool().ClickDone();
    }
    static int Count(void) { return Trail_Count(&tool().editPath); }
    UNITTYPE* tank = nullptr;
};

} // namespace

TEST_F(Path, ClicksAddOneWaypointAPressInsideTheMap)
{
    MePaths::BeginAdd();
    Press({IPoint(5, 5), IPoint(5, 5)});
    Press({IPoint(5, 5), IPoint(6, 5), IPoint(7, 5)});
    EXPECT_EQ(Count(), 2) << "the first free vertex of a press only";
    Press({IPoint(0, 8)});
    Press({IPoint(64, 8)});
    EXPECT_EQ(Count(), 2) << "the map's edge";
    ASSERT_NE(tool().editPath.tail, nullptr);
    EXPECT_EQ(tool().editPath.tail->x, 6);
    View(0, 0, 2);
    Press({IPoint(4, 4)}); // zoom 2: screen (99, 124) is world (198, 184)
    EXPECT_EQ(tool().editPath.tail->x, 8);
    EXPECT_EQ(tool().editPath.tail->y, 8);
    // The tools leaving the map (a load, a create) take the edit path with
    // them: kept, its waypoints could lie off the next, smaller map.
    g_MeEditor.CloseTools();
    EXPECT_EQ(Count(), 0);
}

TEST_F(Path, DragsMoveOnlyWaypointsOntoFreeVertices)
{
    Trail_AddWaypoint(&tool().editPath, WPT_MOVE, 5, 5, 0);
    Trail_AddWaypoint(&tool().editPath, WPT_MOVE, 7, 5, 0);
    UNIT* u = Units_NewAt(tank, 0, -1, 10, 10);
    sel().Append(new MeBrushWaypoint(tool().editPath.head, &tool().editPath));
    sel().Append(new MeBrushUnit(u));
    tool().MoveBy(IPoint(48, 0), IPoint(0, 0));
    EXPECT_EQ(tool().editPath.head->x, 5) << "onto the other waypoint";
    tool().MoveBy(IPoint(24, 24), IPoint(0, 0));
    EXPECT_EQ(tool().editPath.head->x, 8);
    EXPECT_EQ(tool().editPath.head->y, 6);
    EXPECT_EQ(u->tilepos.x, 10);
    tool().DeleteSelection();
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(Units_UnitAtMapLevel(u->maplevel, 10, 10), u) << "units are never deleted";
    EXPECT_EQ(sel().count, 1);
}

TEST_F(Path, AssignAndCopyCarryTheEditPath)
{
    UNIT* a = Units_NewAt(tank, 0, -1, 10, 10);
    UNIT* b = Units_NewAt(tank, 0, -1, 12, 10);
    Trail_AddWaypoint(&tool().editPath, WPT_MOVE, 5, 5, 0);
    MePaths::AssignToSelection(2);
    EXPECT_EQ(Count(), 1) << "nothing selected: the path stays";
    sel().Append(new MeBrushUnit(a));
    MePaths::AssignToSelection(2);
    EXPECT_EQ(Count(), 0);
    EXPECT_EQ(a->sorder.code, SO_TRAIL);
    EXPECT_EQ(a->sorder.trail.mode, TRAIL_LOOP);
    tool().ForgetSelection();
    Trail_AddWaypoint(&tool().editPath, WPT_MOVE, 6, 6, 0);
    Trail_AddWaypoint(&tool().editPath, WPT_MOVE, 7, 6, 0);
    sel().Append(new MeBrushUnit(b));
    MePaths::AssignToSelection(-1);
    EXPECT_EQ(b->sorder.trail.mode, TRAIL_STOP) << "no direction runs once";
    tool().ForgetSelection();
    sel().Append(new MeBrushUnit(a));
    sel().Append(new MeBrushUnit(b));
    MePaths::CopyFromSelection();
    EXPECT_EQ(Count(), 1) << "a's path first";
    MePaths::CopyFromSelection();
    EXPECT_EQ(Count(), 2) << "then b's";
    struct { int direction, mode; } rows[] = {{0, TRAIL_STOP}, {1, TRAIL_REVERSE}, {2, TRAIL_LOOP}};
    for (const auto& r : rows) {
        EXPECT_EQ(MeBrushUnit::TrailMode(r.direction), r.mode);
        EXPECT_EQ(MeBrushUnit::Direction(r.mode), r.direction);
    }
}
