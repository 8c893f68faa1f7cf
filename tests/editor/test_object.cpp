// The editor object: the scenario list and what it does without a scenario.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "core/gamestate.h"
#include "core/utils.h"
#include "editor/editor.h"
#include "editorfixture.h"
#include "units/team.h"
#include "widgets/qiitem.h"
#include "widgets/qilist.h"

namespace {

class Object : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        list = new QIList("ScenarioList", nullptr, IRect(448, 100, 200, 100), IPoint(200, 10), 1, nullptr, nullptr);
        g_MeEditor.scenarioList = list;
        Str_CopySafe(savedDir, g_ScenarioCategoryDir, sizeof savedDir);
    }
    void TearDown() override
    {
        Str_CopySafe(g_ScenarioCategoryDir, savedDir, sizeof g_ScenarioCategoryDir);
        g_MeEditor.scenarioList = nullptr;
        delete list;
        EditorTest::TearDown();
    }
    std::vector<std::string> Shown(void) const
    {
        std::vector<std::string> names;
        for (int i = 0; i < list->count; i++) names.push_back(static_cast<QITextItem*>(list->ItemAt(i))->text.c_str());
        return names;
    }
    QIList* list = nullptr;
    char savedDir[GAME_PATH];
};

} // namespace

TEST_F(Object, TheScenarioListHoldsWritableVisibleFoldersWithAScenario)
{
    QvTempDir cat;
    for (const char* f : {"mYmAP", "Lake", "ReadOnly", ".hidden", "A2345678901234567890", "abcdefghijkl"})
        cat.write(std::string(f) + "/QUORVEX.scn", "; scenario\n");
    cat.write("NoScn/QUORVEX.map", "");
    cat.write("plain.scn", "");
    chmod(cat.file("ReadOnly").c_str(), 0555);
    Str_CopySafe(g_ScenarioCategoryDir, cat.path().c_str(), sizeof g_ScenarioCategoryDir);
    EXPECT_TRUE(g_MeEditor.ListScenarios());
    EXPECT_EQ(Shown(), (std::vector<std::string>{"Abcdefghijkl", "Lake", "Mymap"}));
    EXPECT_NE(log_.text().find("[A2345678901234567890] skipped"), std::string::npos) << log_.text();
    EXPECT_TRUE(g_MeEditor.ScenarioExists("Lake"));
    EXPECT_FALSE(g_MeEditor.ScenarioExists("NoScn"));
    chmod(cat.file("ReadOnly").c_str(), 0755);

    Str_CopySafe(g_ScenarioCategoryDir, cat.file("absent").c_str(), sizeof g_ScenarioCategoryDir);
    EXPECT_FALSE(g_MeEditor.ListScenarios());
    EXPECT_EQ(list->count, 0);
    EXPECT_NE(log_.text().find("Cannot open directory " + cat.file("absent")), std::string::npos);
}

TEST_F(Object, WithoutAScenarioThePickersStayEmptyAndRefreshAllIsIdle)
{
    g_MeEditor.flags &= ~MEF_OPEN;
    g_MeEditor.unitPicker = list;
    list->Add(new QITextItem(nullptr, "Tank"));
    g_MeEditor.FillObjectPickers();
    EXPECT_EQ(list->count, 0);
    g_MeEditor.unitPicker = nullptr;
    g_MeEditor.team = 0;
    teamdata[0].credits = 1234;
    g_MeEditor.RefreshAll();
    EXPECT_STREQ(g_MeEditor.credits->c_str(), "20000");
    g_MeEditor.flags |= MEF_OPEN;
    g_MeEditor.RefreshAll();
    EXPECT_STREQ(g_MeEditor.credits->c_str(), "1234");
}

TEST_F(Object, RelationsFollowTheTeamsOrTheChoices)
{
    g_MeEditor.team = 1;
    Team_SetRelation(1, 3, TR_ALLY);
    g_MeEditor.SyncRelations(1);
    EXPECT_EQ(g_MeEditor.teams[3].relation, 2);
    g_MeEditor.teams[3].relation = 0; // the widget's choice
    g_MeEditor.SyncRelations(0);
    EXPECT_EQ(Team_GetRelation(1, 3), TR_ENEMY);
    EXPECT_EQ(g_MeEditor.teams[3].relation, 0);
}
