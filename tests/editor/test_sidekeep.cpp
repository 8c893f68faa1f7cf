// The current team's side across visits, loads and saves: the editor shows
// the team's own side and writes a side only where the user picked one.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/fspath.h"
#include "editor/editor.h"
#include "editor/mefile.h"
#include "editorvisit.h"
#include "game/systems.h"
#include "units/team.h"
#include "widgets/qidesktop.h"
#include "widgets/qimenu.h"

namespace {

// The demo's teams: 0 and 1 have sides, 2..7 none, the neutral team its own.
const std::vector<int> kDemoSides = {0, 1, -1, -1, -1, -1, -1, -1, 2};

class SideKeep : public EditorVisit {
protected:
    MeEditor& me = g_MeEditor;
    void SetUp() override
    {
        EditorVisit::SetUp();
        InitCommonGameSystems();
    }
    void TearDown() override
    {
        if (me.desktop) Leave();
        CloseCommonGameSystems();
        EditorVisit::TearDown();
    }
    void Visit(void)
    {
        me.Init();
        me.BuildDesktop();
    }
    void Leave(void)
    {
        me.desktop->Close();
        me.Close();
    }
    void Load(void)
    {
        me.scenarioName->Set("DEMO");
        MeMenuFile::Load();
        ASSERT_TRUE(me.flags & MEF_OPEN);
    }
    // As the number keys choose a team.
    void Choose(int team)
    {
        me.team = team;
        me.RefreshTeam();
    }
    static std::vector<int> Sides(void)
    {
        std::vector<int> v;
        for (int t = 0; t < TEAM_MAXTEAMS; t++) v.push_back(teamdata[t].side);
        return v;
    }
    std::string Shown(void) const
    {
        const QIWidget* c = static_cast<QIMenu*>(me.sideWidget)->current;
        return c ? c->name.c_str() : "";
    }
    std::string Block(int team)
    {
        std::string text;
        Fs_ReadAll(home.file("scenario/SINGLE/DEMO/QUORVEX.scn").c_str(), &text);
        const size_t at = text.find("SetTeam(" + std::to_string(team) + ")");
        return at == std::string::npos ? "" : text.substr(at, text.find('}', at) - at);
    }
};

} // namespace

TEST_F(SideKeep, ALoadKeepsEveryTeamsSideWhateverTheEditorShowedBefore)
{
    struct Row {
        const char* label;
        int team;    // current before the load
        int pick;    // a side picked for it and not saved (-1 none)
        bool revisit;
    };
    const Row rows[] = {
        {"second visit after a team without a side", 3, -1, true},
        {"second visit after another side's team", 1, -1, true},
        {"second visit after the neutral team", 8, -1, true},
        {"same visit, an unsaved pick", 1, 3, false},
        {"same visit, a team without a side", 5, -1, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.label);
        Visit();
        Load();
        Choose(r.team);
        if (r.pick >= 0) {
            me.side = r.pick;
            me.SetSide();
            ASSERT_EQ(teamdata[r.team].side, r.pick);
        }
        if (r.revisit) {
            Leave();
            Visit();
            EXPECT_EQ(me.team, 0);
            EXPECT_EQ(me.side, teamdata[0].side);
        }
        Load();
        EXPECT_EQ(Sides(), kDemoSides);
        EXPECT_EQ(me.side, kDemoSides[me.team]);
        const int side = kDemoSides[me.team];
        EXPECT_EQ(Shown(), side < 0 ? "" : "PlrSide" + std::to_string(side));
        Leave();
    }
}

TEST_F(SideKeep, ASaveWritesThePickedAndTheLoadedSides)
{
    Visit();
    Load();
    Choose(4);
    me.side = 2;
    me.SetSide();
    // Shown, left for another team and back: the pick stays with its team.
    Choose(0);
    EXPECT_EQ(Shown(), "PlrSide0");
    Choose(4);
    EXPECT_EQ(Shown(), "PlrSide2");
    Choose(2);
    EXPECT_EQ(Shown(), "");
    MeMenuFile::Save();
    EXPECT_NE(Block(0).find("SetTeamSide(0)"), std::string::npos);
    EXPECT_NE(Block(1).find("SetTeamSide(1)"), std::string::npos);
    EXPECT_NE(Block(4).find("SetTeamSide(2)"), std::string::npos);
    EXPECT_EQ(Block(2).find("SetTeamSide"), std::string::npos);
    Leave();
    Visit();
    Load();
    std::vector<int> want = kDemoSides;
    want[4] = 2;
    EXPECT_EQ(Sides(), want);
}
