// A team's settings given through the team menu, the Player and AI layers
// of the editor on a copy of the demo scenario: saved, read back by the
// scenario reader and the editor, and played.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ai/ai.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "editor/editor.h"
#include "editor/mebigmap.h"
#include "editor/mebrush.h"
#include "editor/mefile.h"
#include "editorvisit.h"
#include "game/quorvex.h"
#include "map/region.h"
#include "platform/input.h"
#include "rules/endcond.h"
#include "units/team.h"
#include "units/unit.h"
#include "widgets/qidesktop.h"
#include "widgets/qidroplist.h"
#include "widgets/qiedit.h"
#include "widgets/qiitem.h"
#include "widgets/qimenu.h"

namespace {

enum { SCAN_O = 24, SCAN_S = 31, SCAN_5 = 6, SCAN_0 = 11 };

class TeamVisit : public EditorVisit {
protected:
    MeEditor& me = g_MeEditor;
    std::string Folder(const char* file) { return home.file(std::string("scenario/SINGLE/DEMO/") + file); }
    std::string Scenario(void)
    {
        std::string text;
        Fs_ReadAll(Folder("QUORVEX.scn").c_str(), &text);
        return text;
    }
    // The SetTeam block of team in the saved scenario.
    std::string Block(int team)
    {
        const std::string text = Scenario();
        const size_t at = text.find("SetTeam(" + std::to_string(team) + ")");
        if (at == std::string::npos) return "";
        return text.substr(at, text.find('}', at) - at);
    }
    // The text a field shows.
    static const char* Field(const char* name)
    {
        const QIEdit* e = dynamic_cast<QIEdit*>(g_MeEditor.desktop->FindByName(name));
        return e ? e->buffer : "";
    }
    static std::string Current(QIWidget* menu)
    {
        const QIWidget* c = static_cast<QIMenu*>(menu)->current;
        return c ? c->name.c_str() : "";
    }
    static std::vector<QvPass> ClickAt(int x, int y) { return {QvMove(x, y), QvButton(1), QvPass{}, QvButton(0), QvPass{}}; }
    static std::vector<QvPass> ClickMiddle(const QIWidget* w) { return ClickAt(w->x + w->w / 2, w->y + w->h / 2); }
    // choice 0 Enemy, 1 Neutral, 2 Ally of relation row.
    QIWidget* RelationButton(int row, int choice)
    {
        QIWidget* b = me.teams[row].relationWidget->FirstChild();
        for (int i = 0; i < choice; i++) b = b->Next();
        return b;
    }
    // A press on the file list's row named file (any case) and Ok.
    static std::vector<QvPass> PickFile(const char* dialog, const char* file)
    {
        QIDesktop* d = g_MeEditor.desktop;
        const QIList* list = static_cast<QIList*>(d->FindByName((std::string(dialog) + "FileList").c_str()));
        std::vector<QvPass> v;
        if (!list) return v;
        for (int i = 0; i < list->count; i++)
            if (strcasecmp(static_cast<QITextItem*>(list->ItemAt(i))->text.c_str(), file) == 0)
                v = ClickAt(list->x + 20, list->y + i * list->itemSize.y + list->itemSize.y / 2);
        const std::vector<QvPass> ok = ClickMiddle(d->FindByName((std::string(dialog) + "Ok").c_str()));
        v.insert(v.end(), ok.begin(), ok.end());
        return v;
    }
    static std::vector<std::string> Rows(const QIList* list)
    {
        std::vector<std::string> rows;
        for (int i = 0; i < list->count; i++) rows.push_back(static_cast<QITextItem*>(list->ItemAt(i))->text.c_str());
        return rows;
    }
};

// What team T was given, as the reader and the editor should show it.
struct Given {
    int side = 1, credits = 5000, group = 2;
    int relation[MEEDITOR_RELTEAMS] = {TR_ALLY, TR_ENEMY, TR_ENEMY, TR_ALLY, TR_NEUTRAL, TR_NEUTRAL, TR_NEUTRAL, TR_NEUTRAL};
    TEAM_STARTPOS start = {-1, -1};
    REGION region = {};
};

} // namespace

TEST_F(TeamVisit, ATeamsSettingsGivenThroughItsLayersAreSavedReadBackAndPlayed)
{
    // The picker lists the demo's own Def_01_0.FSM (its folder's) before the
    // plan directory's three.
    enum : uint32_t { PLAYER = 0xA4C85F05u, AI = 0xD38A3E6Cu, DIALOG = 0x7A75FCB3u };
    const int T = 0;
    QvPassScript s(4000);
    VisitPace(s);
    Given want;
    const UNIT* unit = nullptr;
    IPoint at(-1, -1);
    bool readOk = false, shownOk = false, won = false, playerOk = false, aiOk = false, dialogOk = false;
    uint32_t wonAt = 0;
    s.onPass = [&](int) {
        if (!won && log.text().find("Team 0 won (That's you)") != std::string::npos) won = true, wonAt = g_UpdateCount;
    };
    s.ClickOn("ScenarioList", 10, 4)
        .Chord(SC_LCTRL, SCAN_O)
        .Pause(20, 3)
        .ClickOn("Plr2")
        .ClickOn("Plr1")
        .ClickOn("Player")
        .ClickOn("PlrSide1")
        .ClickOn("StartCredit");
    for (int i = 0; i < 8; i++) s.TypeKey(SC_BACKSPACE, 0);
    s.TypeKey(SCAN_5, '5').TypeKey(SCAN_0, '0').TypeKey(SCAN_0, '0').TypeKey(SCAN_0, '0').TypeKey(SC_RETURN, '\r');
    // The group list opens under the press; letting go on its third row picks it.
    s.Input([&] {
            const QIDropList* l = static_cast<QIDropList*>(me.groupWidget);
            const int x = l->x + l->w / 2, y = l->openBox.y + 2 * l->itemSize.y + l->itemSize.y / 2;
            return std::vector<QvPass>{QvMove(x, l->y + l->h / 2), QvButton(1), QvPass{}, QvMove(x, y - 8),
                                       QvPass{}, QvMove(x, y), QvPass{}, QvButton(0), QvPass{}};
        })
        .Input([&] { return ClickMiddle(RelationButton(2, 0)); })
        .Input([&] { return ClickMiddle(RelationButton(3, 2)); })
        .Do([&] {
            unit = Units_IdToUnitPtr(1, T);
            ASSERT_NE(unit, nullptr);
            MeBigMap::Centre(24 * (unit->tilepos.x - 6), 24 * (unit->tilepos.y - 6));
            me.desktop->Repaint(nullptr);
        })
        .ClickOn("PlrStartPos")
        .Input([&] {
            at = MeBigMap::TileToScreen(IPoint(unit->tilepos.x + 4, unit->tilepos.y + 2));
            at = IPoint(at.x + 5, at.y + 7);
            want.start = TEAM_STARTPOS{MeBigMap::ScreenToWorld(at).x, MeBigMap::ScreenToWorld(at).y};
            return ClickAt(at.x, at.y);
        })
        .Pause(20, 2)
        .Do([&] { playerOk = FrameMatches(PLAYER, "team_player.pcx"); })
        .ClickOn("AI")
        .ClickOn("RegionNew")
        .Input([&] {
            IPoint a = MeBigMap::TileToScreen(IPoint(unit->tilepos.x, unit->tilepos.y));
            a = IPoint(a.x - 10, a.y - 10);
            std::vector<QvPass> v = {QvMove(a.x, a.y), QvPass{}, QvButton(1)};
            for (int i = 1; i <= 4; i++) v.push_back(QvMove(a.x + 11 * i, a.y + 12 * i));
            v.push_back(QvButton(0));
            v.push_back(QvPass{});
            return v;
        })
        .Do([&] {
            for (REGION* r = Region_FindByIndex(1); r; r = Region_FindByIndex(0))
                if (r->id != 51) want.region = *r;
            ASSERT_NE(want.region.id, 0u);
            const std::string text = "DefineEndCondTree(0)\n{\n    Description(\"Hold the ground around the west depot's first "
                        "guard: the region drawn for it in the editor. Uninterruptedly.\")\n"
                        "    DefineCondState()\n    {\n        DefineCondition(0 0 0 0 \"Held\") { CritInRegion(" +
                            std::to_string(want.region.id) + ") }\n    }\n}\n";
            ASSERT_EQ(Fs_WriteAtomic(Folder("REGWIN.END").c_str(), text.data(), text.size()), 1);
        })
        .ClickOn("EndCondSelect")
        .Input([] { return PickFile("EndCondSelect", "REGWIN.END"); })
        .ClickOn("FSMSelect")
        // Regression: the open picker showed none of its names.
        .Do([&] { dialogOk = FrameMatches(DIALOG, "team_fsmdialog.pcx"); })
        .Input([] { return PickFile("FSMSelect", "Def_01_0.FSM"); })
        .Pause(20, 2)
        .Do([&] { aiOk = FrameMatches(AI, "team_ai.pcx"); })
        .Chord(SC_LCTRL, SCAN_S)
        .Pause(20, 3)
        .Do([&] {
            // The reader's view of the saved file, then the editor's.
            OpenScenario("DEMO");
            EXPECT_EQ(teamdata[T].side, want.side);
            EXPECT_EQ(teamdata[T].credits, want.credits);
            EXPECT_EQ(teamdata[T].group, want.group);
            EXPECT_EQ(teamdata[T].startpos.x, want.start.x);
            EXPECT_EQ(teamdata[T].startpos.y, want.start.y);
            EXPECT_STRCASEEQ(Endcond_GetEndCondFile(T), "REGWIN.END");
            for (int v = 0; v < 3; v++) EXPECT_STRCASEEQ(AI_GetFsmFilename(T, v), "Def_01_0.FSM") << v;
            for (int i = 0; i < MEEDITOR_RELTEAMS; i++) EXPECT_EQ(Team_GetRelation(T, i), want.relation[i]) << i;
            const REGION* r = Region_FindById(want.region.id);
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(std::vector<int>({r->x1, r->y1, r->x2, r->y2}),
                      std::vector<int>({want.region.x1, want.region.y1, want.region.x2, want.region.y2}));
            EXPECT_EQ(want.region.x2 - want.region.x1, 45); // both edges inside
            readOk = !testing::Test::HasFailure();
        })
        .ClickOn("Plr2")
        .Do([&] {
            EXPECT_STREQ(Field("StartCredit"), "2000");
            EXPECT_STRCASEEQ(Field("EndCondName"), "DEMO1.END");
        })
        .ClickOn("Plr1")
        .Do([&] {
            EXPECT_EQ(me.team, T);
            EXPECT_STREQ(Field("StartCredit"), "5000");
            EXPECT_STRCASEEQ(Field("EndCondName"), "REGWIN.END");
            EXPECT_STRCASEEQ(Field("FSMName"), "Def_01_0.FSM");
            EXPECT_EQ(Current(me.sideWidget), "PlrSide1");
            EXPECT_STREQ(me.credits->c_str(), "5000");
            EXPECT_EQ(static_cast<QIDropList*>(me.groupWidget)->current, want.group);
            static const char* const kChoice[5] = {"", "Enemy", "Neutral", "", "Ally"};
            for (int i = 0; i < MEEDITOR_RELTEAMS; i++)
                EXPECT_EQ(Current(me.teams[i].relationWidget), kChoice[want.relation[i]]) << i;
            EXPECT_STRCASEEQ(me.endCondSelector.text->c_str(), "REGWIN.END");
            EXPECT_STRCASEEQ(me.fsmSelector.text->c_str(), "Def_01_0.FSM");
            EXPECT_GE(Rows(me.endCondSelector.list).size(), 3u);
            EXPECT_GE(Rows(me.fsmSelector.list).size(), 2u);
            std::string fsmText;
            for (const std::string& row : Rows(me.fsmSelector.list)) fsmText += row + " ";
            EXPECT_NE(fsmText.find("strike force"), std::string::npos);
            shownOk = !testing::Test::HasFailure();
        })
        .ClickOn("File")
        .ClickOn("Launch")
        .Pause(50, 200);
    g_GameState = GS_EDITOR;
    Game_Main();
    EXPECT_TRUE(s.done());
    EXPECT_TRUE(playerOk);
    EXPECT_TRUE(aiOk);
    EXPECT_TRUE(dialogOk);
    EXPECT_TRUE(readOk);
    EXPECT_TRUE(shownOk);
    EXPECT_TRUE(won) << "T's unit stands in the region its end condition names";
    EXPECT_LE(wonAt, 100u);
}

TEST_F(TeamVisit, TheSidePanelsAroundTheTeamsTakeOnlyWhatIsTheirs)
{
    QvPassScript s(2000);
    VisitPace(s);
    MeTool* tool = nullptr;
    uint32_t checksum = 0;
    int selected = -1;
    bool checked = false;
    s.ClickOn("ScenarioList", 10, 4)
        .Chord(SC_LCTRL, SCAN_O)
        .Pause(20, 3)
        // The add-object layer's brush panel lies over the team menu.
        .ClickOn("AddObject")
        .ClickOn("Plr5")
        .Do([&] { EXPECT_EQ(me.team, 0); })
        .ClickOn("Terrain")
        .ClickOn("Plr5")
        .Do([&] { EXPECT_EQ(me.team, 4); })
        .ClickOn("Plr2")
        .ClickOn("AI")
        .Do([&] {
            tool = me.tool;
            selected = g_MeBrushLists[MEBL_SELECTION].count;
            checksum = MeMenuFile::ChangeChecksum();
        })
        // A name field takes no typing: the key goes on to the editor.
        .ClickOn("EndCondName")
        .TypeKey(SC_A, 'a')
        .Do([&] {
            EXPECT_STRCASEEQ(Field("EndCondName"), "DEMO1.END");
            EXPECT_TRUE(me.flags & MEF_ALTITUDES);
        })
        .ClickOn("ToggleIDs")
        .ClickOn("TogglePlayer")
        .Do([&] {
            EXPECT_EQ(me.showIds, 1);
            EXPECT_EQ(me.showPlayers, 1);
            EXPECT_EQ(me.tool, tool);
            EXPECT_EQ(g_MeBrushLists[MEBL_SELECTION].count, selected);
            EXPECT_EQ(MeMenuFile::ChangeChecksum(), checksum);
            EXPECT_EQ(me.team, 1);
        })
        // Ok with nothing picked leaves the team without a condition, and
        // the saved file without SetEnd (it was saved as "SetEnd()", which
        // the reader refuses).
        .ClickOn("EndCondSelect")
        .ClickOn("EndCondSelectOk")
        .Chord(SC_LCTRL, SCAN_S)
        .Pause(20, 3)
        .Do([&] {
            EXPECT_EQ(Block(1).find("SetEnd"), std::string::npos) << Block(1);
            EXPECT_NE(Block(0).find("SetEnd(DEMO0.END)"), std::string::npos) << Block(0);
            OpenScenario("DEMO");
            EXPECT_EQ(Endcond_GetEndCondFile(1), nullptr);
            EXPECT_STRCASEEQ(Endcond_GetEndCondFile(0), "DEMO0.END");
            checked = true;
        })
        .ClickOn("AddUnit")
        .Chord(SC_LALT, SC_Q);
    g_GameState = GS_EDITOR;
    Game_Main();
    EXPECT_TRUE(s.done());
    EXPECT_TRUE(checked);
    // Regression: the next visit drew through the freed object picker and
    // refreshed the freed Orders menus.
    EXPECT_EQ(me.selectTool.picker, nullptr);
    EXPECT_EQ(me.orders.orderMenu, nullptr);
}
