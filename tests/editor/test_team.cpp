// The team menu and the Player layer: which team is current, where the view
// goes, and what each pick leaves in the team records and the widgets.
#include <gtest/gtest.h>

#include <string>

#include "editor/editor.h"
#include "editor/melayers.h"
#include "editor/meplayer.h"
#include "editorfixture.h"
#include "map/mapview.h"
#include "platform/input.h"
#include "units/team.h"
#include "widgets/qibutton.h"
#include "widgets/qidesktop.h"
#include "widgets/qidroplist.h"
#include "widgets/qiitem.h"
#include "widgets/qimenu.h"

namespace {

class TeamPanel : public EditorTest {
protected:
    MeEditor& me = g_MeEditor;
    TEAM_DATA saved_[TEAM_MAXTEAMS];
    void SetUp() override
    {
        EditorTest::SetUp();
        for (int t = 0; t < TEAM_MAXTEAMS; t++) saved_[t] = teamdata[t];
        g_AlliancesDisabled = 0;
        me.team = 0;
        me.desktop = new QIDesktop("MapEdit", nullptr, QIImage(), "mapedit\\");
        me.backdrop = new QIContainer("Backdrop", nullptr);
        QIWidget::AddChild(nullptr, me.backdrop);
        MeLayers::BuildTeamMenu();
        MePlayer::BuildLayer();
        View(120, 96, 1);
        me.tool = &me.selectTool;
    }
    void TearDown() override
    {
        for (int t = 0; t < TEAM_MAXTEAMS; t++) teamdata[t] = saved_[t];
        me.team = 0;
        EditorTest::TearDown();
    }
    // A left press and release on child of menu, as the desktop delivers it.
    static void Press(QIWidget* menu, QIWidget* child, uint32_t modifiers = 0)
    {
        ASSERT_NE(child, nullptr);
        QIPointer p = At(child->x + 2, child->y + 2, 1, modifiers);
        QIWidget* path[2] = {nullptr, child};
        menu->HandleInput(&path[1], QIE_LEFTDOWN, (QIARG)&p);
        p.buttons = 0;
        menu->HandleInput(&path[1], QIE_LEFTUP, (QIARG)&p);
    }
    void PressTeam(int team, uint32_t modifiers = 0)
    {
        const std::string name = "Plr" + std::to_string(team + 1);
        Press(me.teamMenu, me.desktop->FindByName(name.c_str()), modifiers);
    }
    // choice 0 Enemy, 1 Neutral, 2 Ally in the relation row of team row.
    void PressRelation(int row, int choice)
    {
        QIWidget* menu = me.teams[row].relationWidget;
        QIWidget* b = menu->FirstChild();
        for (int i = 0; i < choice; i++) b = b->Next();
        Press(menu, b);
    }
    static std::string Current(QIWidget* menu)
    {
        QIWidget* c = static_cast<QIMenu*>(menu)->current;
        return c ? c->name.c_str() : "";
    }
};

struct TeamRow {
    const char* label;
    int team;
    uint32_t modifiers;
    int startX, startY;
    int viewX, viewY; // where the view's top-left ends
};

TEST_F(TeamPanel, TeamButtonsChooseTheTeamAndShiftJumpsToItsStart)
{
    EXPECT_EQ(Current(me.teamMenu), "Plr1");
    const TeamRow rows[] = {
        {"neutral team, no modifier", 8, 0, 480, 240, 120, 96},
        {"left Shift jumps", 2, MOD_LSHIFT, 480, 240, 480, 240},
        {"right Shift jumps", 3, MOD_RSHIFT, 240, 480, 240, 480},
        {"start at x 0 does not move", 4, MOD_LSHIFT, 0, 240, 120, 96},
        {"start at y 0 does not move", 5, MOD_LSHIFT, 240, 0, 120, 96},
        {"no start goes to the top-left", 6, MOD_LSHIFT, -1, -1, 0, 0},
        {"Ctrl alone does not move", 7, MOD_CTRL, 480, 240, 120, 96},
        {"Alt alone does not move", 1, MOD_ALT, 480, 240, 120, 96},
    };
    for (const TeamRow& r : rows) {
        SCOPED_TRACE(r.label);
        View(120, 96, 1);
        teamdata[r.team].startpos = TEAM_STARTPOS{r.startX, r.startY};
        PressTeam(r.team, r.modifiers);
        EXPECT_EQ(me.team, r.team);
        EXPECT_EQ(g_MapView.x, r.viewX);
        EXPECT_EQ(g_MapView.y, r.viewY);
    }
    // The pressed button pressed again neither refreshes nor jumps.
    View(120, 96, 1);
    teamdata[1].credits = 4321;
    PressTeam(1, MOD_LSHIFT);
    EXPECT_EQ(g_MapView.x, 120);
    EXPECT_STRNE(me.credits->c_str(), "4321");
}

TEST_F(TeamPanel, RelationPicksFollowTheTeamSetterRules)
{
    struct Row {
        const char* label;
        int team, row, choice;
        int shown;      // the row's choice after the pick
        int relation;   // the team's relation towards the row's team
        int reverse;    // the row's team towards the team, untouched
    };
    const Row rows[] = {
        {"own row snaps back to Ally", 0, 0, 0, 2, TR_ALLY, TR_ALLY},
        {"neutral team stays Neutral", 8, 3, 0, 1, TR_NEUTRAL, TR_NEUTRAL},
        {"one way only", 0, 1, 0, 0, TR_ENEMY, TR_NEUTRAL},
        {"ally", 2, 6, 2, 2, TR_ALLY, TR_NEUTRAL},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        for (int i = 0; i < TEAM_MAXTEAMS; i++)
            if (i != r.team) {
                Team_ForceRelation(r.team, i, TR_NEUTRAL);
                Team_ForceRelation(i, r.team, TR_NEUTRAL);
            }
        PressTeam(r.team);
        PressRelation(r.row, r.choice);
        EXPECT_EQ(me.teams[r.row].relation, r.shown);
        static const char* const kButtons[3] = {"Enemy", "Neutral", "Ally"};
        EXPECT_EQ(Current(me.teams[r.row].relationWidget), kButtons[r.shown]);
        EXPECT_EQ(Team_GetRelation(r.team, r.row), r.relation);
        EXPECT_EQ(Team_GetRelation(r.row, r.team), r.reverse);
    }
    // With the neutral team current no pick sticks.
    PressTeam(8);
    for (int row = 0; row < MEEDITOR_RELTEAMS; row++)
        for (int choice : {0, 2}) {
            PressRelation(row, choice);
            EXPECT_EQ(Current(me.teams[row].relationWidget), "Neutral") << row << " " << choice;
            EXPECT_EQ(Team_GetRelation(8, row), TR_NEUTRAL) << row;
        }
}

TEST_F(TeamPanel, CreditsAndGroupGoToTheTeamOnlyWithAScenarioOpen)
{
    // An empty commit stores 0 and shows it.
    teamdata[0].credits = 900;
    me.credits->Set("");
    MePlayer::OnCredits(nullptr, QIN_ENTER, 0);
    EXPECT_EQ(teamdata[0].credits, 0);
    EXPECT_STREQ(me.credits->c_str(), "0");
    me.credits->Set("12345678");
    MePlayer::OnCredits(nullptr, QIN_ENTER, 0);
    EXPECT_EQ(teamdata[0].credits, 12345678);
    // No scenario: neither the team nor the text changes.
    me.flags &= ~MEF_OPEN;
    me.credits->Set("55");
    MePlayer::OnCredits(nullptr, QIN_ENTER, 0);
    EXPECT_EQ(teamdata[0].credits, 12345678);
    EXPECT_STREQ(me.credits->c_str(), "55");
    me.flags |= MEF_OPEN;

    // A group pick sets the group; a group outside the rows shows none.
    QIDropList* list = static_cast<QIDropList*>(me.groupWidget);
    list->ItemAt(2)->Clicked(IPoint(0, 0), QIITEM_CHOSEN);
    MePlayer::OnGroup(list, QIN_DROPCLOSE, 0);
    EXPECT_EQ(teamdata[0].group, 2);
    EXPECT_EQ(list->current, 2);
    teamdata[8].group = 8;
    PressTeam(8);
    EXPECT_EQ(list->currentItem, nullptr);

}

TEST_F(TeamPanel, ATeamSwitchShowsSideGroupCreditsAndEveryRow)
{
    teamdata[3].side = 2;
    teamdata[3].group = 5;
    teamdata[3].credits = 777;
    for (int i = 0; i < MEEDITOR_RELTEAMS; i++) Team_ForceRelation(3, i, i == 3 ? TR_ALLY : i % 2 ? TR_ENEMY : TR_NEUTRAL);
    PressTeam(3);
    EXPECT_EQ(Current(me.sideWidget), "PlrSide2");
    EXPECT_EQ(static_cast<QIDropList*>(me.groupWidget)->current, 5);
    EXPECT_STREQ(me.credits->c_str(), "777");
    for (int i = 0; i < MEEDITOR_RELTEAMS; i++)
        EXPECT_EQ(Current(me.teams[i].relationWidget), i == 3 ? "Ally" : i % 2 ? "Enemy" : "Neutral") << i;
    // A side pick goes to the team.
    Press(me.sideWidget, me.desktop->FindByName("PlrSide1"));
    EXPECT_EQ(teamdata[3].side, 1);
}

} // namespace
