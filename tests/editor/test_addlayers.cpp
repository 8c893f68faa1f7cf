// The add layers' pickers and buttons: what reaches the current tool, and
// the value buttons' limits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/editor.h"
#include "editor/melayers.h"
#include "editor/meterrain.h"
#include "editorfixture.h"
#include "units/iterate.h"
#include "units/unit.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qiitem.h"
#include "widgets/qilist.h"
#include "widgets/qimenu.h"
#include "widgets/qistatic.h"

namespace {

struct CallsSeen : MeTool {
    std::vector<std::string> calls;
    void DeleteSelection(void) override { calls.push_back("Delete"); }
    void CopySelection(void) override { calls.push_back("Copy"); }
    void SelectUnitsOfTeam(int team) override { calls.push_back("Units " + std::to_string(team)); }
    void SelectBuildingsOfTeam(int team) override { calls.push_back("Buildings " + std::to_string(team)); }
    void SelectAllObjects(void) override { calls.push_back("Objects"); }
    void NextTeamSelection(void) override { calls.push_back("NextTeam"); }
    void RemoveDuplicateObjects(void) override { calls.push_back("NoDups"); }
};

int g_zoomCalls = 0;
int CountZoom(QIWidget*, int event, QIARG)
{
    g_zoomCalls++;
    return event;
}

class AddLayers : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        MeEditor& me = g_MeEditor;
        saved = g_QIDefaultFlags;
        me.desktop = new QIDesktop("MapEdit", nullptr, QIImage(), "mapedit\\");
        me.backdrop = new QIContainer("Backdrop", nullptr);
        QIWidget::AddChild(nullptr, me.backdrop);
        MeLayers::BuildAddUnit();
        MeLayers::BuildAddBuilding();
        MeLayers::BuildAddObject();
    }
    void TearDown() override
    {
        MeEditor& me = g_MeEditor;
        g_QIDefaultFlags = saved;
        me.selectTool.ForgetSelection();
        me.tool = &me.plainTool;
        me.unitPicker = me.buildingPicker = me.objectPicker = nullptr;
        me.objectShapeMenu = nullptr;
        me.view.zoomInc[1] = me.view.zoomDec[1] = nullptr;
        EditorTest::TearDown();
    }
    static QIWidget* Find(QIWidget* w, const char* name)
    {
        if (std::string(w->name.c_str()) == name) return w;
        for (QIWidget* c = w->FirstChild(); c; c = c->Next())
            if (QIWidget* f = Find(c, name)) return f;
        return nullptr;
    }
    // A left press, repeated repeats times, and its release.
    static void Press(const char* layer, const char* name, int repeats = 0)
    {
        QIWidget* w = Find(g_MeEditor.desktop->FindByName(layer), name);
        ASSERT_NE(w, nullptr) << name;
        QIPointer p = At(w->x + 2, w->y + 2, 1);
        QIWidget* path[2] = {nullptr, w};
        for (int i = 0; i <= repeats; i++) w->Parent()->HandleInput(&path[1], QIE_LEFTDOWN, (QIARG)&p);
        p.buttons = 0;
        w->Parent()->HandleInput(&path[1], QIE_LEFTUP, (QIARG)&p);
    }
    uint32_t saved = 0;
};

} // namespace

TEST_F(AddLayers, ButtonsCallTheCurrentToolOnAClick)
{
    MeEditor& me = g_MeEditor;
    CallsSeen seen;
    me.tool = &seen;
    me.team = 5;
    const struct {
        const char *layer, *button, *call;
    } rows[] = {
        {"AddUnitLayer", "Delete", "Delete"},          {"AddUnitLayer", "Copy", "Copy"},
        {"AddUnitLayer", "UnitSelectAll", "Units -1"}, {"AddUnitLayer", "UnitSelectPlr", "Units 5"},
        {"AddUnitLayer", "IncPlr", "NextTeam"},        {"AddBuildingLayer", "BuildingSelectAll", "Buildings -1"},
        {"AddBuildingLayer", "BuildingSelectPlr", "Buildings 5"},
        {"AddBuildingLayer", "IncPlr", "NextTeam"},    {"AddObjectLayer", "Delete", "Delete"},
        {"AddObjectLayer", "OvlSelectAll", "Objects"}, {"AddObjectLayer", "OvlRemoveDups", "NoDups"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::string(r.layer) + " " + r.button);
        seen.calls.clear();
        // A press alone does nothing; a click acts once, even where presses
        // repeat.
        QIWidget* w = Find(me.desktop->FindByName(r.layer), r.button);
        w->handler(w, QIN_PRESSED, 0);
        EXPECT_TRUE(seen.calls.empty());
        Press(r.layer, r.button, 3);
        EXPECT_EQ(seen.calls, std::vector<std::string>{r.call});
    }
    // With no scenario open, no button reaches the tool.
    seen.calls.clear();
    me.flags &= ~MEF_OPEN;
    for (const auto& r : rows) Press(r.layer, r.button);
    EXPECT_TRUE(seen.calls.empty());
    me.team = 0;
}

TEST_F(AddLayers, APickPutsTheSelectToolInClickModeOnlyWhenItNamesAnItem)
{
    MeEditor& me = g_MeEditor;
    for (QIList* l : {me.unitPicker, me.buildingPicker, me.objectPicker})
        for (int i = 0; i < 2; i++) l->Add(new QIStateImage(QIImage(), QIImage(), QIImage(), QIImage(), IPoint(60, 50)));
    const QIHANDLER handlers[3] = {MeLayers::OnUnitPicked, MeLayers::OnBuildingPicked, MeLayers::OnObjectPicked};
    QIList* lists[3] = {me.unitPicker, me.buildingPicker, me.objectPicker};
    const struct {
        const char* name;
        int current, event, state;
        bool open;
    } rows[] = {{"none", -1, QIN_CHANGED, METS_IDLE, true},
                {"past the end", 2, QIN_CHANGED, METS_IDLE, true},
                {"another event", 1, QIN_CLICKED, METS_IDLE, true},
                {"no scenario", 1, QIN_CHANGED, METS_IDLE, false},
                {"the second", 1, QIN_CHANGED, METS_CLICK, true}};
    for (int k = 0; k < 3; k++)
        for (const auto& r : rows) {
            SCOPED_TRACE(std::to_string(k) + " " + r.name);
            me.flags = r.open ? me.flags | MEF_OPEN : me.flags & ~MEF_OPEN;
            me.selectTool.state = METS_IDLE;
            lists[k]->current = r.current;
            handlers[k](lists[k], r.event, 0);
            EXPECT_EQ(me.selectTool.state, r.state);
        }
    me.selectTool.SetState(METS_IDLE);
}

TEST_F(AddLayers, ValueButtonsStopAtTheirLimitsWithTheirTextFollowing)
{
    MeEditor& me = g_MeEditor;
    QIWidget* layer = me.desktop->FindByName("AddObjectLayer");
    QICallbackText* size = static_cast<QICallbackText*>(Find(layer, "ObjBrushSize"));
    ASSERT_TRUE(Find(layer, "BrushInc")->flags & QIWF_REPEATLEFT);
    me.selectTool.brushSize = 1;
    Press("AddObjectLayer", "BrushInc", 20);
    EXPECT_EQ(me.selectTool.brushSize, 10);
    size->Draw(nullptr);
    EXPECT_EQ(size->text.c_str(), std::string("10"));
    Press("AddObjectLayer", "BrushDec", 20);
    EXPECT_EQ(me.selectTool.brushSize, 1);
    size->Draw(nullptr);
    EXPECT_EQ(size->text.c_str(), std::string("1"));

    // At a limit the handler is not called: 4 before a map sets one, 3 on
    // a 64-element map.
    static_cast<QIButton*>(me.view.zoomInc[1])->handler = CountZoom;
    static_cast<QIButton*>(me.view.zoomDec[1])->handler = CountZoom;
    me.view.zoom = 1;
    g_zoomCalls = 0;
    Press("AddObjectLayer", "ZoomInc", 5);
    EXPECT_EQ(me.view.zoom, 4);
    EXPECT_EQ(g_zoomCalls, 3);
    MeTerrain::InitZoom();
    me.view.zoom = 1;
    g_zoomCalls = 0;
    Press("AddObjectLayer", "ZoomInc", 4);
    EXPECT_EQ(me.view.zoom, 3);
    EXPECT_EQ(g_zoomCalls, 2);
    Press("AddObjectLayer", "ZoomDec", 4);
    EXPECT_EQ(me.view.zoom, 1);
    EXPECT_EQ(g_zoomCalls, 4);
}

TEST_F(AddLayers, SelectAllTwiceAppendsAndDeletesOnceAndNextTeamWrapsTeamsNotNeutrals)
{
    MeEditor& me = g_MeEditor;
    UNITTYPE* tank = QvWorld_UnitType("Tank");
    UNIT* u[3] = {Units_NewAt(tank, 7, -1, 10, 10), Units_NewAt(tank, 2, -1, 12, 10), Units_NewAt(tank, 8, -1, 14, 10)};
    me.tool = &me.selectTool;
    me.flags |= MEF_OPEN;
    Press("AddUnitLayer", "UnitSelectAll");
    Press("AddUnitLayer", "IncPlr");
    EXPECT_EQ(u[0]->team, 0);
    EXPECT_EQ(u[1]->team, 3);
    EXPECT_EQ(u[2]->team, 8);
    Press("AddUnitLayer", "UnitSelectAll");
    EXPECT_EQ(g_MeBrushLists[MEBL_SELECTION].count, 6);
    Press("AddUnitLayer", "Delete");
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    EXPECT_EQ(Iterate_UnitNext(&it), nullptr);
    EXPECT_EQ(g_MeBrushLists[MEBL_SELECTION].count, 0);
    me.flags &= ~MEF_OPEN;
}
