// The main menu's presses: which layer shows, which tool the big map talks
// to, and which picker the select tool places from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/editor.h"
#include "editor/melayers.h"
#include "editor/mestats.h"
#include "editorfixture.h"
#include "units/team.h"
#include "units/unit.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qilayer.h"
#include "widgets/qilist.h"
#include "widgets/qimenu.h"

namespace {

const char* const kLayers[] = {"FileLayer",   "TerrainLayer", "AddUnitLayer", "AddBuildingLayer", "AddObjectLayer",
                               "PathsLayer", "OrdersLayer",  "EndCondLayer", "PlayerLayer",      "StatsLayer"};

class MainMenu : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        MeEditor& me = g_MeEditor;
        me.flags &= ~MEF_OPEN;
        me.desktop = new QIDesktop("MapEdit", nullptr, QIImage(), "mapedit\\");
        me.backdrop = new QIContainer("Backdrop", nullptr);
        QIWidget::AddChild(nullptr, me.backdrop);
        for (const char* name : kLayers) {
            QILayer* layer = new QILayer(name, nullptr, IRect(448, 32, 192, 300), 0);
            if (std::string(name) != "FileLayer") layer->flags &= ~QIWF_SHOWN;
            QIWidget::AddChild(me.backdrop, layer);
        }
        QIList** pickers[3] = {&me.unitPicker, &me.buildingPicker, &me.objectPicker};
        for (QIList** p : pickers) {
            *p = new QIList("", nullptr, IRect(0, 0, 10, 10), IPoint(10, 10), 1, nullptr, nullptr);
            QIWidget::AddChild(me.backdrop, *p);
        }
        me.outstandingList = new QIList("", nullptr, IRect(0, 0, 10, 10), IPoint(10, 10), 1, nullptr, nullptr);
        QIWidget::AddChild(me.backdrop, me.outstandingList);
        MeLayers::BuildMainMenu();
        menu = static_cast<QIMenu*>(me.desktop->FindByName("MainMenu"));
        tank = QvWorld_UnitType("Tank");
    }
    void TearDown() override
    {
        g_MeEditor.outstandingList = nullptr;
        EditorTest::TearDown();
    }
    // A left press and release on the named button, as the desktop delivers
    // them through the menu.
    void Press(const char* name)
    {
        QIWidget* button = g_MeEditor.desktop->FindByName(name);
        ASSERT_NE(button, nullptr) << name;
        QIPointer p = At(button->x + 2, button->y + 2, 1);
        QIWidget* path[2] = {nullptr, button};
        menu->HandleInput(&path[1], QIE_LEFTDOWN, (QIARG)&p);
        p.buttons = 0;
        menu->HandleInput(&path[1], QIE_LEFTUP, (QIARG)&p);
    }
    std::string Shown()
    {
        std::string s;
        for (const char* name : kLayers)
            if (!g_MeEditor.desktop->FindByName(name)->IsHidden()) s += std::string(s.empty() ? "" : " ") + name;
        return s;
    }
    QIMenu* menu = nullptr;
    UNITTYPE* tank = nullptr;
};

enum { T_PLAIN, T_SELECT, T_TERRAIN, T_PATH };
enum { P_NONE, P_UNITS, P_BUILDINGS, P_OBJECTS };

struct PressRow {
    const char* button;
    const char* shown;
    int tool;
    int picker;
};

MeTool* Tool(int t)
{
    MeEditor& me = g_MeEditor;
    MeTool* tools[] = {&me.plainTool, &me.selectTool, &me.terrainBrush, &me.pathTool};
    return tools[t];
}

QIList* Picker(int p)
{
    MeEditor& me = g_MeEditor;
    QIList* pickers[] = {nullptr, me.unitPicker, me.buildingPicker, me.objectPicker};
    return pickers[p];
}

} // namespace

TEST_F(MainMenu, StartsOnTheFileLayerWithOnlyFileDown)
{
    EXPECT_EQ(Shown(), "FileLayer");
    int down = 0;
    for (QIWidget* c = menu->FirstChild(); c; c = c->Next()) down += static_cast<QIButton*>(c)->pressed;
    EXPECT_EQ(down, 1);
    EXPECT_EQ(menu->current, g_MeEditor.desktop->FindByName("File"));
    EXPECT_EQ(g_MeEditor.tool, &g_MeEditor.plainTool);
}

TEST_F(MainMenu, PressesChooseLayerToolAndPicker)
{
    MeEditor& me = g_MeEditor;
    auto check = [&](const std::vector<PressRow>& rows) {
        for (const PressRow& r : rows) {
            SCOPED_TRACE(r.button);
            Press(r.button);
            EXPECT_EQ(Shown(), r.shown);
            EXPECT_EQ(me.tool, Tool(r.tool));
            EXPECT_EQ(me.selectTool.picker, Picker(r.picker));
        }
    };
    // No scenario: the layers follow, the plain tool stays.
    check({{"AddUnit", "AddUnitLayer", T_PLAIN, P_NONE},
           {"Terrain", "TerrainLayer", T_PLAIN, P_NONE},
           {"Paths", "PathsLayer", T_PLAIN, P_NONE},
           {"File", "FileLayer", T_PLAIN, P_NONE}});
    me.flags |= MEF_OPEN;
    check({{"AddUnit", "AddUnitLayer", T_SELECT, P_UNITS},
           {"AddBuilding", "AddBuildingLayer", T_SELECT, P_BUILDINGS},
           {"Terrain", "TerrainLayer", T_TERRAIN, P_BUILDINGS},
           {"Stats", "StatsLayer", T_SELECT, P_NONE},
           {"Paths", "PathsLayer", T_PATH, P_NONE},
           {"Terrain", "TerrainLayer", T_TERRAIN, P_NONE},
           {"Orders", "OrdersLayer", T_SELECT, P_NONE},
           {"Orders", "OrdersLayer", T_SELECT, P_NONE},
           {"AddObject", "AddObjectLayer", T_SELECT, P_OBJECTS},
           {"File", "FileLayer", T_SELECT, P_NONE}});
    EXPECT_GT(me.outstandingList->count, 0) << "showing Stats rebuilt the list";
}

TEST_F(MainMenu, PlayerAndStatsRecountWhenChosenAndWhenLeft)
{
    MeEditor& me = g_MeEditor;
    me.flags |= MEF_OPEN;
    ASSERT_NE(Units_NewAt(tank, 4, -1, 10, 10), nullptr);
    Press("Player");
    EXPECT_EQ(me.teams[4].units, 1);
    ASSERT_NE(Units_NewAt(tank, 4, -1, 12, 10), nullptr);
    Press("Stats");
    EXPECT_EQ(me.teams[4].units, 2);
    ASSERT_NE(Units_NewAt(tank, 4, -1, 14, 10), nullptr);
    Press("File");
    EXPECT_EQ(me.teams[4].units, 3);
}

TEST_F(MainMenu, AMissingLayerChangesNothing)
{
    MeEditor& me = g_MeEditor;
    me.flags |= MEF_OPEN;
    QIWidget* paths = me.desktop->FindByName("PathsLayer");
    paths->name.Set("Elsewhere");
    Press("Paths");
    EXPECT_EQ(me.tool, &me.plainTool);
    EXPECT_EQ(MeLayers::ShowLayer(MELAYER_PATHS, QIN_PRESSED), nullptr);
}
