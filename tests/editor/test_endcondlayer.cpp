// The end-condition layer: wrapped descriptions, the file pickers and what
// they leave in the team's names, and the lower panel's switches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ai/ai.h"
#include "core/gamestate.h"
#include "editor/editor.h"
#include "editor/meendcond.h"
#include "editorfixture.h"
#include "platform/font.h"
#include "rules/endcond.h"
#include "support/passscript.h"
#include "widgets/qidesktop.h"
#include "widgets/qimenu.h"
#include "widgets/qiitem.h"
#include "widgets/qilist.h"

namespace {

class EndCondLayer : public EditorTest {
protected:
    MeEditor& me = g_MeEditor;
    std::string savedScenario_, savedAip_;
    void SetUp() override
    {
        EditorTest::SetUp();
        const std::string font = std::string(QV_TEST_RUNDIR) + "/data/mapedit/font256b.pcx";
        ASSERT_TRUE(Font_Load(font.c_str(), me.fontB->font.slot));
        me.desktop = new QIDesktop("MapEdit", nullptr, QIImage(), "mapedit\\");
        me.backdrop = new QIContainer("Backdrop", nullptr);
        QIWidget::AddChild(nullptr, me.backdrop);
        MeEndCond::BuildLayer();
        savedScenario_ = g_ScenarioDir, savedAip_ = g_AipDir;
        snprintf(g_ScenarioDir, sizeof g_ScenarioDir, "%s", files.path().c_str());
        snprintf(g_AipDir, sizeof g_AipDir, "%s", files.file("none").c_str());
        const std::string longText = "Hold the ridge until the relief column arrives, then take the "
                                     "crossing. Supercalifragilisticexpialidociousnessnessness";
        files.write("LONG.END", "DefineEndCondTree(1) { Description(\"" + longText + "\") }\n");
        files.write("EMPTY.END", "DefineEndCondTree(1) { Description(\"\") }\n");
        files.write("NODESC.END", "DefineEndCondTree(1) { State(1) }\n");
        files.write("RUSH.FSM", "DefineAICondTree() { Description(\"Rush early\") }\n");
    }
    void TearDown() override
    {
        for (int t = 0; t < MEEDITOR_TEAMS; t++) {
            Endcond_SetEndCondFile(t, nullptr);
            for (int v = 0; v < 3; v++) AI_SetFsmFilename(t, v, "");
        }
        snprintf(g_ScenarioDir, sizeof g_ScenarioDir, "%s", savedScenario_.c_str());
        snprintf(g_AipDir, sizeof g_AipDir, "%s", savedAip_.c_str());
        me.team = 0;
        me.backdrop = nullptr;
        EditorTest::TearDown();
    }
    static std::vector<std::string> Rows(const QIList* list)
    {
        std::vector<std::string> rows;
        for (int i = 0; i < list->count; i++) rows.push_back(static_cast<QITextItem*>(list->ItemAt(i))->text.c_str());
        return rows;
    }
    int Width(const std::string& s) const { return Font_StringWidth(s.c_str(), me.fontB->font.slot); }
    // Runs the picker of button, picking row (-1: none) and pressing Ok.
    void Pick(void (*select)(void), int row)
    {
        const int line = Font_GetHeight(me.fontB->font.slot);
        QvPassScript s;
        s.Wait(10);
        if (row >= 0) {
            const int rowY = 70 + 12 + line + 4 + row * line + line / 2;
            s.Add(QvMove(300, rowY)).Wait(10).Add(QvButton(1)).Add(QvButton(0)).Wait(10);
        }
        s.Add(QvMove(356, 352)).Wait(10).Add(QvButton(1)).Add(QvButton(0)).Wait(10);
        select();
        EXPECT_FALSE(s.overran);
    }
    QvTempDir files;
};

} // namespace

TEST_F(EndCondLayer, DescriptionsWrapAtSpacesAndInsideLongWords)
{
    struct Row {
        const char* label;
        std::string text;
        int width;
    };
    const Row rows[] = {
        {"spaces", "one two three four five six seven eight nine ten", 60},
        {"a word wider than the list", "Supercalifragilisticexpialidocious", 50},
        // Regression: a glyph wider than the list looped for ever.
        {"glyph wider than the list", "WWW W", 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        QIList list("", nullptr, IRect(0, 0, r.width, 100), IPoint(200, 10), 1, nullptr, nullptr);
        MeEndCond::Wrap(&list, r.text.c_str(), r.width, &me.fontB->font);
        std::string joined;
        for (const std::string& row : Rows(&list)) {
            EXPECT_FALSE(row.empty());
            if (row.size() > 1) {
                EXPECT_LE(Width(row), r.width) << row;
            }
            joined += row;
        }
        std::string flat = r.text;
        flat.erase(std::remove(flat.begin(), flat.end(), ' '), flat.end());
        joined.erase(std::remove(joined.begin(), joined.end(), ' '), joined.end());
        EXPECT_EQ(joined, flat);
        if (r.width == 60) {
            EXPECT_EQ(Rows(&list)[0].back(), 'o') << "ends before a space";
        }
    }
}

TEST_F(EndCondLayer, TeamsShowTheirNamesAndDescriptions)
{
    struct Row {
        const char* label;
        const char* file;
        size_t minRows, maxRows;
    };
    const Row rows[] = {
        {"no file", nullptr, 1, 2},
        {"long description", "LONG.END", 3, 20},
        {"empty description", "EMPTY.END", 0, 0},
        {"no description", "NODESC.END", 0, 0},
        {"missing file", "GONE.END", 0, 0},
    };
    for (int t = 0; t < 5; t++) Endcond_SetEndCondFile(t, rows[t].file);
    for (int t = 0; t < 5; t++) {
        SCOPED_TRACE(rows[t].label);
        me.team = t;
        me.RefreshTeam();
        EXPECT_STREQ(me.endCondSelector.text->c_str(), rows[t].file ? rows[t].file : "");
        const size_t n = Rows(me.endCondSelector.list).size();
        EXPECT_GE(n, rows[t].minRows);
        EXPECT_LE(n, rows[t].maxRows);
        if (t == 0) {
            EXPECT_EQ(Rows(me.endCondSelector.list)[0].rfind("No Endcondition", 0), 0u);
        }
    }
}

TEST_F(EndCondLayer, PicksSetTheTeamsFilesAndAnEmptyPickIsNone)
{
    files.write("two words.END", "x");
    files.write("BR(ACE.FSM", "x");
    files.write(std::string(61, 'x') + ".END", "x");
    me.team = 2;
    // Only RUSH.FSM is listed: a name with "(" is not.
    Pick(MeEndCond::SelectFsm, 0);
    for (int v = 0; v < 3; v++) EXPECT_STREQ(AI_GetFsmFilename(2, v), "Rush.fsm") << v;
    EXPECT_EQ(Rows(me.fsmSelector.list), std::vector<std::string>{"Rush early"});
    // Regression: Ok with nothing picked stored "", which saved as SetEnd().
    Endcond_SetEndCondFile(2, "LONG.END");
    Pick(MeEndCond::SelectEndCond, -1);
    EXPECT_EQ(Endcond_GetEndCondFile(2), nullptr);
    Pick(MeEndCond::SelectFsm, -1);
    EXPECT_EQ(AI_GetFsmFilename(2, 0), nullptr);
    // Rows: Empty, Long, Nodesc; never the name with a space or over 63 characters.
    Pick(MeEndCond::SelectEndCond, 1);
    EXPECT_STREQ(Endcond_GetEndCondFile(2), "Long.end");
}

// A new map's folder holds no end condition: the shared ones are offered,
// and not those that only stored scenarios name (the demo's depot, which
// on another map names nothing and is won from the start).
TEST_F(EndCondLayer, ANewMapIsOfferedTheSharedEndConditionsAndNotTheRetiredOnes)
{
    QvTempDir empty;
    snprintf(g_ScenarioDir, sizeof g_ScenarioDir, "%s", empty.path().c_str());
    snprintf(g_AipDir, sizeof g_AipDir, "%s", QV_TEST_RUNDIR "/data/aip");
    me.team = 0;
    Pick(MeEndCond::SelectEndCond, 0);
    EXPECT_STREQ(Endcond_GetEndCondFile(0), "Demo1.end");
    Pick(MeEndCond::SelectEndCond, 1);
    EXPECT_EQ(Endcond_GetEndCondFile(0), nullptr) << "one row alone";
    Endcond_SetEndCondFile(0, "DEMO0.END");
    me.RefreshTeam();
    const std::vector<std::string> rows = Rows(me.endCondSelector.list);
    ASSERT_FALSE(rows.empty()) << "a stored scenario's file shows its description";
    EXPECT_EQ(rows[0], "Destroy the east base's");
}
