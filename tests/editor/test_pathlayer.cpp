// The Paths layer: the direction it shows for a selection, and its buttons
// through the path tool.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "editor/editor.h"
#include "editor/mepath.h"
#include "editor/methings.h"
#include "core/gamestate.h"
#include "editorfixture.h"
#include "rules/scenario.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitsorder.h"
#include "widgets/qidesktop.h"
#include "widgets/qimenu.h"

namespace {

class PathsLayer : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        MeEditor& me = g_MeEditor;
        me.desktop = new QIDesktop("MapEdit", nullptr, QIImage(), "mapedit\\");
        me.backdrop = new QIContainer("Backdrop", nullptr);
        QIWidget::AddChild(nullptr, me.backdrop);
        MePaths::BuildLayer();
        me.tool = &me.pathTool;
        me.flags |= MEF_OPEN;
        tank = QvWorld_UnitType("Tank");
    }
    void TearDown() override
    {
        MeEditor& me = g_MeEditor;
        MePaths::Clear();
        me.pathTool.ForgetSelection();
        me.pathTool.state = METS_IDLE;
        me.pathTool.pathFlags = 0;
        me.flags &= ~MEF_OPEN;
        me.tool = &me.plainTool;
        me.paths.directionMenu = nullptr;
        EditorTest::TearDown();
    }
    static void Click(const char* name)
    {
        QIWidget* w = g_MeEditor.desktop->FindByName(name);
        ASSERT_NE(w, nullptr) << name;
        QIPointer p = At(w->x + 2, w->y + 2, 1);
        QIWidget* path[2] = {nullptr, w};
        w->Parent()->HandleInput(&path[1], QIE_LEFTDOWN, (QIARG)&p);
        p.buttons = 0;
        w->Parent()->HandleInput(&path[1], QIE_LEFTUP, (QIARG)&p);
    }
    static TRAIL& Edit(void) { return g_MeEditor.pathTool.editPath; }
    UNITTYPE* tank = nullptr;
};

} // namespace

TEST_F(PathsLayer, TheShownDirectionIsTheOneDirectionOfTheSelection)
{
    MeEditor& me = g_MeEditor;
    QIMenu* menu = static_cast<QIMenu*>(me.paths.directionMenu);
    const struct {
        uint32_t mask;
        int direction;
        const char* chosen;
    } rows[] = {{0, -1, ""}, {1, 0, "PathDirOnce"}, {2, 1, "PathDirPingPong"}, {4, 2, "PathDirLooped"},
                {3, -1, ""}, {5, -1, ""}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.mask);
        me.paths.directionMask = r.mask;
        MePaths::DirectionFromMenu();
        EXPECT_EQ(me.paths.direction, r.direction);
        EXPECT_EQ(std::string(menu->current ? menu->current->name.c_str() : ""), r.chosen);
    }
}

TEST_F(PathsLayer, ButtonsWorkThePathToolOnlyWithAScenarioOpen)
{
    MeEditor& me = g_MeEditor;
    UNIT* u = Units_NewAt(tank, 0, -1, 10, 10);
    Trail_AddWaypoint(&Edit(), WPT_MOVE, 5, 5, 0);
    g_MeBrushLists[MEBL_SELECTION].Append(new MeBrushUnit(u));
    me.flags &= ~MEF_OPEN;
    for (const char* b : {"PathWpAdd", "PathWpClear", "PathWpDelete", "PathWpAssign", "PathWpCopy"}) Click(b);
    EXPECT_EQ(Trail_Count(&Edit()), 1);
    EXPECT_NE(u->sorder.code, SO_TRAIL);
    EXPECT_EQ(me.pathTool.state, METS_IDLE);

    me.flags |= MEF_OPEN;
    // The looped choice goes with the assignment; "Delete" leaves the unit.
    Click("PathDirLooped");
    Click("PathWpAssign");
    EXPECT_EQ(u->sorder.code, SO_TRAIL);
    EXPECT_EQ(u->sorder.trail.mode, TRAIL_LOOP);
    EXPECT_EQ(Trail_Count(&Edit()), 0);
    Click("PathWpCopy");
    EXPECT_EQ(Trail_Count(&Edit()), 1);
    Click("PathDirOnce");
    EXPECT_EQ(u->sorder.trail.mode, TRAIL_STOP);
    Click("PathWpDelete");
    EXPECT_EQ(Units_UnitAtMapLevel(u->maplevel, 10, 10), u);
    Click("PathWpAdd");
    EXPECT_EQ(me.pathTool.state, METS_CLICK);
    Click("PathWpClear");
    EXPECT_EQ(Trail_Count(&Edit()), 0);
}

TEST_F(PathsLayer, EachShownDirectionIsSavedAsTheTrailModeTheGameReads)
{
    MeEditor& me = g_MeEditor;
    const struct {
        const char *choice, *mode;
    } rows[] = {{"PathDirOnce", "Stop"}, {"PathDirPingPong", "Reverse"}, {"PathDirLooped", "Loop"}, {nullptr, "Stop"}};
    std::vector<int> ids;
    for (const auto& r : rows) {
        UNIT* u = Units_NewAt(tank, 0, -1, 10 + 2 * (int)ids.size(), 10);
        ids.push_back(u->id);
        me.pathTool.ForgetSelection();
        g_MeBrushLists[MEBL_SELECTION].Append(new MeBrushUnit(u));
        Trail_AddWaypoint(&Edit(), WPT_MOVE, 5, 5, 0);
        if (r.choice) {
            Click(r.choice);
        } else {
            me.paths.directionMask = 0;
            MePaths::DirectionFromMenu();
        }
        Click("PathWpAssign");
    }
    const std::string kept = g_ScenarioScnPath, file = dir_.file("PATHS.scn");
    snprintf(g_ScenarioScnPath, sizeof g_ScenarioScnPath, "%s", file.c_str());
    const int saved = Scenario_Save();
    snprintf(g_ScenarioScnPath, sizeof g_ScenarioScnPath, "%s", kept.c_str());
    ASSERT_EQ(saved, 1);
    std::ifstream in(file);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (size_t i = 0; i < ids.size(); i++) {
        const std::string line = "SetSOrderTrail(" + std::to_string(ids[i]) + " Local " + rows[i].mode + " ";
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
}
