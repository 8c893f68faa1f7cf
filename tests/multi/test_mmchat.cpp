// The staging page in-process: entered as creator or guest on the
// in-memory network, lines queued as the network would, polls run by hand,
// and the launched settings turned into teams.
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/rand.h"
#include "core/textlines.h"
#include "core/utils.h"
#include "game/systems.h"
#include "mmfixture.h"
#include "multi/mmchat.h"
#include "multi/mmframe.h"
#include "multi/mmsummary.h"
#include "net/net.h"
#include "units/team.h"
#include "widgets/qidesktop.h"
#include "widgets/qiedit.h"
#include "widgets/qilist.h"
#include "widgets/qimenu.h"
#include "widgets/qistatic.h"

namespace {

std::string Lines(QIList* list)
{
    std::string out;
    for (int i = 0; list && list->ItemAt(i); i++) {
        const QITextItem* t = dynamic_cast<const QITextItem*>(list->ItemAt(i));
        out += std::string(t ? t->text.c_str() : "?") + "|";
    }
    return out;
}

// The creator's LAUNCH reads the scenario as the start will: the run
// directory is the home of its data.
class MmChat : public MmFixture {
protected:
    std::vector<std::string> dirs;
    static std::vector<char*> Dirs(void)
    {
        return {g_HomeDir,     g_DataDir,      g_DataDir2, g_AipDir,  g_DefTxtDir,
                g_LocalDir,    g_GraphicsDir,  g_InterfaceDir, g_SaveDir, g_ScenarioBaseDir};
    }
    void SetUp() override
    {
        for (char* d : Dirs()) dirs.emplace_back(d);
        MmFixture::SetUp();
    }
    void TearDown() override
    {
        MmFixture::TearDown();
        std::vector<char*> d = Dirs();
        for (size_t i = 0; i < d.size(); i++) Str_CopySafe(d[i], dirs[i].c_str(), GAME_PATH);
    }
    // Hosts on the in-memory network and enters the page as node 0.
    void Host(void)
    {
        Build();
        Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_MULTI);
        Game_SetScenarioName("DUEL");
        MemoryNetwork(NET_TYPE_UDP);
        Net_BeginSession();
        Net_HostGame();
        MM_chat_enter_from(Mm_Page("MultiMenuInternet"));
    }
    // A node in the session, human or not.
    static void Join(int n, const char* name, int type, uint8_t flags = NET_PLAYER_ACTIVE)
    {
        Net_Lock();
        g_NetSession.players[n].flags = flags;
        snprintf(g_NetSession.players[n].name, NET_NAME_SIZE, "%s", name);
        g_NetSettings.slottypes[n] = (uint8_t)type;
        Net_Unlock();
    }
};

TEST_F(MmChat, EntryAsCreatorThenGuestSetsControlsAndDefaults)
{
    Host();
    EXPECT_TRUE(Shown("MultiMenuChat"));
    EXPECT_FALSE(Shown("MultiMenuInternet"));
    EXPECT_EQ(Mm_Poll(), MM_chat_poll);
    EXPECT_TRUE(Shown("ChatKick"));
    EXPECT_FALSE(MM_chat.ed_credits->flags & QIWF_DISABLED);
    EXPECT_FALSE(MM_chat.btn_selectmap->flags & QIWF_DISABLED);
    EXPECT_EQ(MM_chat.drp_message->ItemAt(5) != nullptr, true) << "the creator may add rules";
    // The map's rules end in the heading; the credits are the summary's.
    const std::string rules = Lines(MM_chat.rulelist);
    EXPECT_NE(rules.find("||RULES||"), std::string::npos) << rules;
    EXPECT_EQ(std::string(MM_chat.ed_credits->buffer), std::to_string(g_MultiScenario.base_credits));
    MM_chat.givemoney = 0;
    MM_chat.fogstyle = 3;
    // Entering again as a guest: controls off, Kick hidden, defaults back.
    Net_Lock();
    g_NetCreator = 0;
    Net_Unlock();
    MM_chat_start();
    EXPECT_FALSE(Shown("ChatKick"));
    EXPECT_TRUE(MM_chat.ed_game_name->flags & QIWF_DISABLED);
    EXPECT_TRUE(MM_chat.btn_selectmap->flags & QIWF_DISABLED);
    EXPECT_EQ(MM_chat.drp_message->ItemAt(5), nullptr);
    EXPECT_EQ(MM_chat.givemoney, 1);
    EXPECT_EQ(MM_chat.fogstyle, 0);
    EXPECT_EQ(g_NetStaged.team, NET_NO_TEAM);
    EXPECT_EQ(g_NetStaged.colour, NET_NO_COLOUR);
}

TEST_F(MmChat, AMapWithoutRulesShowsTheHeadingOnEntryOnly)
{
    Host();
    Game_SetScenarioName("NOSUCHMAP");
    MM_chat_start();
    EXPECT_EQ(Lines(MM_chat.rulelist), "|RULES||");
    MM_chat_reload_rules();
    EXPECT_EQ(Lines(MM_chat.rulelist), "") << "a later map load without the file";
}

TEST_F(MmChat, OptionsPackIntoTheirBits)
{
    struct ROW {
        const char* name;
        int give, view, velkin, handicap, alliances, fog, units, type;
        uint32_t options;
    } rows[] = {
        {"defaults", 1, 1, 1, 0, 1, 0, 0, 0, 0x67},
        {"teams mode", 0, 0, 0, 0, 0, 0, 0, 0, 0x70},
        {"fog on, shroud off", 0, 0, 0, 0, 1, 2, 0, 0, 0x20},
        {"fog and shroud off", 0, 0, 0, 0, 1, 3, 0, 0, 0x00},
        {"fog off, shroud on", 0, 0, 0, 1, 1, 1, 1, 1, 0x10C8},
    };
    for (const ROW& r : rows) {
        MM_chat.givemoney = r.give;
        MM_chat.viewresources = r.view;
        MM_chat.allowvelkin = r.velkin;
        MM_chat.allowhandicap = r.handicap;
        MM_chat.allowalliances = r.alliances;
        MM_chat.fogstyle = r.fog;
        MM_chat.startingunits = r.units;
        MM_chat.game_type = r.type;
        MM_chat.locations_placement = MM_chat.locations_visible = MM_chat.map_category = 0;
        EXPECT_EQ(MM_chat_pack_options(), r.options) << r.name;
    }
}

TEST_F(MmChat, ReceivedLinesShowInArrivalOrderAndRulesOnce)
{
    Host();
    Join(1, "Bravo", NET_SLOT_HUMAN);
    const std::string rule = std::string(1, (char)MM_CHAT_RULE_MARK) + "007Build no towers";
    MM_chat_add_line(1, "first");
    MM_chat_add_line(1, "second");
    MM_chat_add_line(1, rule.c_str());
    MM_chat_add_line(2, rule.c_str()); // the same rule from another machine
    MM_chat_add_line(1, (std::string(1, (char)MM_CHAT_RULE_MARK) + "0xNot a rule").c_str());
    MM_chat_poll();
    EXPECT_EQ(Lines(MM_chat.msglist), "Bravo> first|Bravo> second|");
    const std::string rules = Lines(MM_chat.rulelist);
    ASSERT_GT(rules.size(), 23u);
    EXPECT_EQ(rules.substr(rules.size() - 23), "RULES||Build no towers|") << "after the heading, once: " << rules;
    EXPECT_EQ(TextLines_Count(), 1);
}

TEST_F(MmChat, PollFollowsTheSessionRowByRow)
{
    Host();
    Join(3, "Charlie", NET_SLOT_HUMAN, NET_PLAYER_ACTIVE | NET_PLAYER_READY);
    Net_Lock();
    g_NetSettings.node[3].colour = 3;
    g_NetSettings.node[3].side = 7; // unknown: the selection stays
    g_NetSettings.node[3].group = 200;
    Net_Unlock();
    MM_chat_poll();
    MMChatSlot* s = MM_chat.slots[3];
    EXPECT_EQ(s->option, HUMAN);
    EXPECT_EQ(s->ready, 1);
    EXPECT_FALSE(QIWidget::IsHidden(s->img_launch));
    EXPECT_EQ(s->side, 0);
    EXPECT_EQ(s->team, 0);
    EXPECT_TRUE(QIWidget::IsHidden(MM_chat.colour_btns[3])) << "a colour in use";
    // Computer2 on row 5 and back.
    MM_chat.slots[5]->option = COMPUTER_MEDIUM;
    MM_chat_row_changed(nullptr, QIN_DROPCLOSE, 0);
    EXPECT_TRUE(Net_IsNodeInSession(5));
    EXPECT_EQ(g_NetSettings.slottypes[5], COMPUTER_MEDIUM);
    MM_chat.slots[5]->option = AVAILABLE;
    MM_chat_row_changed(nullptr, QIN_DROPCLOSE, 0);
    EXPECT_FALSE(Net_IsNodeInSession(5));
    // Charlie leaves: the row is free again, the colour back.
    Join(3, "", NET_SLOT_AVAILABLE, 0);
    MM_chat_poll();
    EXPECT_EQ(s->option, AVAILABLE);
    EXPECT_EQ(s->alliance, 1);
    EXPECT_FALSE(QIWidget::IsHidden(MM_chat.colour_btns[3]));
}

TEST_F(MmChat, AGuestFollowsTheCreatorsMapOnce)
{
    Host();
    Net_Lock();
    g_NetCreator = 0;
    snprintf(g_NetSettings.scenario, sizeof g_NetSettings.scenario, "QUAD");
    g_NetSettings.options = MM_OPT_TEAMS | MM_OPT_FOG;
    Net_Unlock();
    MM_chat_poll();
    EXPECT_STREQ(g_ScenarioName, "QUAD");
    EXPECT_EQ(std::string(MM_chat.maptext->text.c_str()).rfind("QUAD ", 0), 0u);
    EXPECT_EQ(MM_chat.allowalliances, 0);
    EXPECT_EQ(MM_chat.fogstyle, 2);
    EXPECT_EQ(std::string(MM_chat.title_alliance->text.c_str()), "Teams");
    MM_chat_add_line(0, (std::string(1, (char)MM_CHAT_RULE_MARK) + "001Keep it").c_str());
    MM_chat_poll();
    MM_chat_poll();
    const std::string rules = Lines(MM_chat.rulelist);
    EXPECT_NE(rules.find("Keep it|"), std::string::npos) << "not reloaded again: " << rules;
}

TEST_F(MmChat, TheLaunchSetsUpTheGameAndFinishesThePass)
{
    Host();
    Join(1, "Bravo", NET_SLOT_HUMAN);
    Net_Lock();
    g_NetSettings.node[0].team = 2;
    g_NetSettings.node[1].team = 5;
    g_NetLaunched = 1;
    Net_Unlock();
    MM_chat_add_line(1, "go");
    MM_chat_poll();
    EXPECT_EQ(g_GameState, GS_NEWGAME);
    EXPECT_EQ(Mm_Poll(), nullptr);
    EXPECT_EQ(Net_MessageHandler(), nullptr);
    EXPECT_EQ(Lines(MM_chat.msglist), "Bravo> go|");
    EXPECT_EQ(MM_chat.slots[1]->option, HUMAN) << "the rows still follow in that pass";
    EXPECT_EQ(teamdata[5].type, TT_HUMAN);
    EXPECT_EQ(g_LocalTeam, 2);
    Game_ClearLaunchMarks();
}

TEST_F(MmChat, EightRowsFillAndEmptyInPlace)
{
    Host();
    for (int n = 1; n < NET_NODES; n++) Join(n, ("Guest " + std::to_string(n)).c_str(), NET_SLOT_HUMAN);
    MM_chat_poll();
    for (int n = 0; n < NET_NODES; n++) {
        MMChatSlot* s = MM_chat.slots[n];
        EXPECT_EQ(s->option, HUMAN) << n;
        EXPECT_FALSE(QIWidget::IsHidden(s->inner)) << n;
        ASSERT_NE(s->type_entry, nullptr);
        EXPECT_EQ(std::string(s->type_entry->text.c_str()), n ? "Guest " + std::to_string(n) : "Player 1");
        EXPECT_EQ(s->row->y, MM_CHAT_PLAYERS_TOP + MM_CHAT_PLAYERS_HEIGHT * n);
    }
    for (int n = 1; n < NET_NODES; n++) Join(n, "", NET_SLOT_AVAILABLE, 0);
    MM_chat_poll();
    for (int n = 1; n < NET_NODES; n++) {
        EXPECT_EQ(MM_chat.slots[n]->option, AVAILABLE) << n;
        EXPECT_TRUE(QIWidget::IsHidden(MM_chat.slots[n]->inner)) << n;
    }
}

TEST_F(MmChat, CommandsRefuseWithLines)
{
    Host();
    Join(1, "Bravo", NET_SLOT_HUMAN);
    Join(2, "Comp", COMPUTER_EASY);
    MM_chat_poll();
    struct ROW {
        const char* name;
        int dest, msgdest;
        const char* typed;
        const char* line; // the last line of the list
        bool kept;        // the text stays in the entry
    } rows[] = {
        {"kick a computer", 2, -1, "", "[No Human Player Selected]|", false},
        {"kick yourself", 0, -1, "", "[You Cannot Kick Yourself]|", false},
        {"allies, none", 1, MM_DEST_ALLIES, "hello", "[You have no Allies]|", true},
        {"private to a computer", 2, MM_DEST_PRIVATE, "psst", "[No Human Player Selected]|", true},
        {"private to Bravo", 1, MM_DEST_PRIVATE, "psst", "[Bravo] psst|", false},
        {"launch before ready", 0, -2, "", "Launch Not Possible|Not all players are ready to launch|", false},
    };
    for (const ROW& r : rows) {
        MM_chat.msglist->Clear();
        MM_chat.msg_dest = r.dest;
        if (r.msgdest == -1) {
            MM_chat_kick(nullptr, QIN_CLICKED, 0);
        } else if (r.msgdest == -2) {
            MM_chat_launch(nullptr, QIN_CLICKED, 0);
        } else {
            MM_chat.msgdest = r.msgdest;
            desktop->SetCapture(MM_chat.ed_message, false); // the last refusal left it editing
            Mm_SetEditText(MM_chat.ed_message, r.typed);
            MM_chat_send_message(nullptr, QIN_ENTER, 0);
            EXPECT_EQ(std::string(MM_chat.ed_message->buffer), r.kept ? r.typed : "") << r.name;
        }
        EXPECT_EQ(Lines(MM_chat.msglist), r.line) << r.name;
    }
}

TEST_F(MmChat, RandomPlacementGivesUsableSlotsOrRefuses)
{
    Host();
    for (int n = 1; n < NET_NODES; n++) Join(n, "Comp", COMPUTER_EASY);
    for (int round = 0; round < 20; round++) {
        memset(g_MultiScenario.teams, 0, sizeof g_MultiScenario.teams);
        for (int t = 0; t < NET_NODES; t++) g_MultiScenario.teams[t].units = 1;
        MM_chat.msglist->Clear();
        MM_chat_launch(nullptr, QIN_CLICKED, 0);
        std::set<int> slots;
        for (int n = 0; n < NET_NODES; n++) slots.insert(g_NetSettings.node[n].team);
        EXPECT_EQ(slots.size(), 8u);
        Net_Lock();
        g_NetLaunched = 0;
        Net_Unlock();
    }
    g_MultiScenario.teams[6].units = 0;
    MM_chat.msglist->Clear();
    MM_chat_launch(nullptr, QIN_CLICKED, 0);
    EXPECT_EQ(Lines(MM_chat.msglist), "Launch Not Possible|Not enough start locations|");
}

// A scenario folder of the test's own beside the run directory's data: the
// LAUNCH's check used to read only the ".scn", and every node left for a
// game that couldn't start.
class MmChatFileTrust : public MmChat {
protected:
    QvTempDir home;
};

TEST_F(MmChatFileTrust, ABrokenEndFileRefusesTheLaunchWithItsFileAndLineAndSendsNothing)
{
    Host();
    Join(1, "Bravo", NET_SLOT_HUMAN, NET_PLAYER_ACTIVE | NET_PLAYER_READY);
    MM_chat_poll();
    std::string scn, map;
    ASSERT_TRUE(Fs_ReadAll(QV_TEST_RUNDIR "/scenario/MULTI/DUEL/QUORVEX.scn", &scn));
    ASSERT_TRUE(Fs_ReadAll(QV_TEST_RUNDIR "/scenario/MULTI/DUEL/QUORVEX.map", &map));
    const std::string at = "SetStartLocation(156 156)\n";
    ASSERT_NE(scn.find(at), std::string::npos);
    scn.replace(scn.find(at), at.size(), at + "    SetEnd(OPEN.END)\n");
    const std::string open = "DefineEndCondTree(0)\n{\n    DefineCondState()\n    {\n"
                             "        DefineCondition(0 0 0 0 \"never\")\n        {\n"
                             "            CritTimerGame(99999)\n        }\n    }\n";
    home.write("scenario/MULTI/BROKEN/QUORVEX.scn", scn);
    home.write("scenario/MULTI/BROKEN/QUORVEX.map", map);
    home.write("scenario/MULTI/BROKEN/OPEN.END", open);
    Str_CopySafe(g_ScenarioBaseDir, home.file("scenario").c_str(), sizeof g_ScenarioBaseDir);
    Game_SetScenarioCategory(SC_MULTI);
    Game_SetScenarioName("BROKEN");

    MM_chat.msglist->Clear();
    MM_chat_launch(nullptr, QIN_CLICKED, 0);
    EXPECT_EQ(Lines(MM_chat.msglist), "Launch Not Possible|OPEN.END line 10: Expected [}] but found [EOF]|");
    Net_Lock();
    EXPECT_EQ(g_NetLaunched, 0) << "nothing sent";
    EXPECT_FALSE(g_NetSession.flags & NET_SESSION_LAUNCHED);
    Net_Unlock();
    EXPECT_TRUE(Shown("MultiMenuChat"));
    EXPECT_EQ(Mm_Poll(), MM_chat_poll);
    EXPECT_NE(g_GameState, GS_NEWGAME);
    EXPECT_EQ(g_OptTeamSetupGiven, 0) << "the check's set-up is gone with it";

    // Mended, the same LAUNCH goes out.
    home.write("scenario/MULTI/BROKEN/OPEN.END", open + "}\n");
    MM_chat.msglist->Clear();
    MM_chat_launch(nullptr, QIN_CLICKED, 0);
    EXPECT_EQ(Lines(MM_chat.msglist), "");
    Net_Lock();
    EXPECT_EQ(g_NetLaunched, 1);
    Net_Unlock();
}

// ---------------------------------------------------------------- into the game

struct NODE {
    int type;      // slot type; -1 inactive
    int team, group, colour, handicap, side;
    uint8_t rel[NET_NODES];
};

class MmOptions : public MmChat {
protected:
    static uint32_t Options(void)
    {
        Net_Lock();
        const uint32_t o = g_NetSettings.options;
        Net_Unlock();
        return o;
    }
};

// Each of the creator's choices as its bits and its effect on the rows.
TEST_F(MmOptions, TheCreatorsChoicesReachTheWordAndTheRows)
{
    Host();
    Join(1, "Bravo", NET_SLOT_HUMAN);
    MM_chat_poll();
    MMChatSlot* own = MM_chat.slots[0];
    MMChatSlot* other = MM_chat.slots[1];
    MM_CHAT& c = MM_chat;
    struct ROW {
        const char* name;
        std::function<void()> choose;
        uint32_t set, clear;
        std::function<void()> check;
    } rows[] = {
        {"fog style 2", [&] { c.fogstyle = 2; }, MM_OPT_FOG, MM_OPT_SHROUD, [] {}},
        {"fog style 3", [&] { c.fogstyle = 3; }, 0, MM_OPT_FOG | MM_OPT_SHROUD, [] {}},
        {"teams", [&] { c.allowalliances = 0; }, MM_OPT_TEAMS, 0,
         [&] {
             EXPECT_FALSE(QIWidget::IsHidden(own->drp_team));
             EXPECT_FALSE(own->drp_team->flags & QIWF_DISABLED) << "the own team list is the one enabled";
             EXPECT_TRUE(other->drp_team->flags & QIWF_DISABLED);
             EXPECT_TRUE(QIWidget::IsHidden(other->bar_alliance));
             EXPECT_STREQ(c.title_alliance->text.c_str(), "Teams");
         }},
        {"three rigs", [&] { c.startingunits = 1; }, MM_OPT_THREERIGS, 0,
         [&] { EXPECT_FALSE(own->drp_side->flags & QIWF_DISABLED); }},
        {"default units sends -1",
         [&] {
             g_NetSettings.node[1].side = 2;
             g_NetStaged.side = 1;
             c.startingunits = 0;
         },
         0, MM_OPT_THREERIGS,
         [&] {
             for (const NetNodeSettings& n : g_NetSettings.node) EXPECT_EQ(n.side, NET_NO_SIDE);
             EXPECT_TRUE(own->drp_side->flags & QIWF_DISABLED);
         }},
        {"handicaps on", [&] { c.allowhandicap = 1; }, MM_OPT_HANDICAP, 0,
         [&] { EXPECT_FALSE(other->drp_handicap->flags & QIWF_DISABLED); }},
        {"handicaps off",
         [&] {
             other->handicap = 5;
             other->drp_handicap->SetCurrent(5);
             c.allowhandicap = 0;
         },
         0, MM_OPT_HANDICAP,
         [&] {
             EXPECT_EQ(other->handicap, 0);
             EXPECT_EQ(other->drp_handicap->current, 0) << "Default 1.00";
             EXPECT_TRUE(other->drp_handicap->flags & QIWF_DISABLED);
         }},
        {"no third side", [&] { c.allowvelkin = 0; }, 0, MM_OPT_VELKIN, [&] { EXPECT_EQ(other->drp_side->count, 3); }},
        {"fixed placement showing allies",
         [&] {
             MM_chat_set_locations(nullptr, QIN_CLICKED, 0);
             c.locations_visible = 2;
         },
         MM_OPT_FIXED | 2u << MM_OPT_VISIBLE_SHIFT, 1u << MM_OPT_VISIBLE_SHIFT,
         [&] { EXPECT_EQ(c.minimap->locations_type, 2); }},
        {"minimap shown", [&] { MM_chat_show_minimap(nullptr, QIN_CLICKED, 0); }, MM_OPT_MINIMAP, 0, [] {}},
    };
    for (const ROW& r : rows) {
        Net_Lock();
        r.choose();
        Net_Unlock();
        MM_chat_options_changed(nullptr, QIN_DROPCLOSE, 0);
        const uint32_t o = Options();
        EXPECT_EQ(o & r.set, r.set) << r.name;
        EXPECT_EQ(o & r.clear, 0u) << r.name;
        r.check();
        EXPECT_STREQ(g_NetSettings.scenario, "DUEL") << r.name;
    }
    // A list still held open, or a guest's handler: nothing changes.
    const uint32_t before = Options();
    c.fogstyle = 0;
    QIPointer held{};
    held.buttons = 1;
    MM_chat_options_changed(nullptr, QIN_CHANGED, reinterpret_cast<QIARG>(&held));
    EXPECT_EQ(Options(), before) << "held";
    Net_Lock();
    g_NetCreator = 0;
    Net_Unlock();
    MM_chat_options_changed(nullptr, QIN_DROPCLOSE, 0);
    EXPECT_EQ(Options(), before) << "guest";
    // Enter in an edit: the game name and the credits go out.
    Net_Lock();
    g_NetCreator = 1;
    Net_Unlock();
    Mm_SetEditText(c.ed_game_name, "Renamed");
    Mm_SetEditText(c.ed_credits, "1234");
    MM_chat_options_changed(nullptr, QIN_ENTER, 0);
    EXPECT_STREQ(g_NetSession.name, "Renamed");
    EXPECT_EQ(g_NetSettings.credits, 1234u);
}

TEST_F(MmOptions, AGuestMirrorsEachBit)
{
    Host();
    Net_Lock();
    g_NetCreator = 0;
    Net_Unlock();
    MM_CHAT& c = MM_chat;
    const uint32_t base = MM_OPT_GIVEMONEY | MM_OPT_VIEWRESOURCES | MM_OPT_VELKIN | MM_OPT_FOG | MM_OPT_SHROUD;
    struct ROW {
        const char* name;
        uint32_t options;
        int32_t* field;
        int32_t value;
    } rows[] = {
        {"no giving", base & ~MM_OPT_GIVEMONEY, &c.givemoney, 0},
        {"resources hidden", base & ~MM_OPT_VIEWRESOURCES, &c.viewresources, 0},
        {"no third side", base & ~MM_OPT_VELKIN, &c.allowvelkin, 0},
        {"handicaps", base | MM_OPT_HANDICAP, &c.allowhandicap, 1},
        {"teams", base | MM_OPT_TEAMS, &c.allowalliances, 0},
        {"fog without shroud", base & ~MM_OPT_SHROUD, &c.fogstyle, 2},
        {"three rigs", base | MM_OPT_THREERIGS, &c.startingunits, 1},
        {"fixed placement", base | MM_OPT_FIXED | 3u << MM_OPT_VISIBLE_SHIFT, &c.locations_placement, 1},
        {"shown locations", base | MM_OPT_FIXED | 3u << MM_OPT_VISIBLE_SHIFT, &c.locations_visible, 3},
        {"campaign type", base | 1u << MM_OPT_TYPE_SHIFT, &c.game_type, 1},
    };
    for (const ROW& r : rows) {
        Net_Lock();
        g_NetSettings.options = r.options;
        Net_Unlock();
        MM_chat_poll();
        EXPECT_EQ(*r.field, r.value) << r.name;
    }
}

class MmMaps : public MmChat {
protected:
    // Clicks a row of the chooser, notes its details, then OK or Cancel.
    std::string Choose(int row, bool ok)
    {
        std::string details;
        QvPassScript s(400);
        s.stopWhenDone = false;
        s.onPass = [&](int pass) {
            QIWidget* list = Find("ChatSelectMapList");
            QIWidget* button = Find(ok ? "ChatSelectMapOk" : "ChatSelectMapCancel");
            if (pass == 0 && list && button) {
                s.Add(QvMove(list->x + 10, list->y + 13 * row + 6)).Wait(10);
                s.Add(QvButton(1)).Add(QvButton(0)).Wait(10, 3);
                Click(s, button->x + 10, button->y + 10);
            }
            if (pass != 5) return;
            for (const char* n : {"ChatSelectMapDispMapSize", "ChatSelectMapDispNumPlayers", "ChatSelectMapDispMapType"})
                if (auto* t = dynamic_cast<QIStatic*>(Find(n))) details += std::string(t->text.c_str()) + "|";
        };
        MM_chat_select_map(nullptr, QIN_CLICKED, 0);
        EXPECT_FALSE(s.overran);
        return details;
    }
};

TEST_F(MmMaps, TheListingTakesFoldersWithAScenarioWhoseNamesFit)
{
    QvTempDir tree;
    for (const char* f : {"duel/QUORVEX.scn", "MiXed/quorvex.SCN", "NoScn/other.txt", "ThirteenChars/QUORVEX.scn",
                          "TwelveCharsX/QUORVEX.scn", "caf\xE9/QUORVEX.scn", "Plain"})
        tree.write(f, "");
    std::vector<std::string> names;
    ASSERT_EQ(MM_chat_list_maps(tree.path().c_str(), &names), 1);
    std::string all;
    for (const std::string& n : names) all += n + "|";
    EXPECT_EQ(all, "Caf\xE9|Duel|Mixed|Twelvecharsx|");
    EXPECT_EQ(MM_chat_list_maps((tree.path() + "/none").c_str(), &names), 0);
    // A folder without its summary shows no details; one with it, its own.
    Host();
    tree.write("MULTI/Nosummary/QUORVEX.scn", "");
    tree.write("MULTI/Duel/QUORVEX.scn", "");
    std::string summary;
    ASSERT_TRUE(Fs_ReadAll(QV_TEST_RUNDIR "/scenario/MULTI/DUEL/QUORVEX.mm", &summary));
    tree.write("MULTI/Duel/QUORVEX.mm", summary);
    Str_CopySafe(g_ScenarioBaseDir, tree.path().c_str(), sizeof g_ScenarioBaseDir);
    EXPECT_EQ(Choose(1, false), "|||");
    EXPECT_EQ(Choose(0, false), std::to_string(g_MultiScenario.size_x) + " x " +
                                    std::to_string(g_MultiScenario.size_y) + "|2|normal|");
    EXPECT_STREQ(g_ScenarioName, "DUEL") << "Cancel changes nothing";
}

TEST_F(MmMaps, OkLoadsTheMapItsCreditsAndRulesAndSendsThem)
{
    Host();
    EXPECT_EQ(Choose(2, false).substr(0, 3), "64 ") << "Quad's details";
    EXPECT_STREQ(g_ScenarioName, "DUEL");
    EXPECT_EQ(g_ScenarioCategory, SC_MULTI);
    Choose(2, true);
    EXPECT_STREQ(g_ScenarioName, "Quad");
    EXPECT_STREQ(g_NetSettings.scenario, "Quad");
    EXPECT_EQ(g_NetSettings.credits, (uint32_t)g_MultiScenario.base_credits);
    EXPECT_EQ(std::string(MM_chat.ed_credits->buffer), std::to_string(g_MultiScenario.base_credits));
    EXPECT_EQ(std::string(MM_chat.maptext->text.c_str()).rfind("Quad ", 0), 0u);
    EXPECT_NE(Lines(MM_chat.rulelist).find("RULES"), std::string::npos);
    // Campaign: its folder, and bits 14-15 tell the guests where to look.
    MM_chat.game_type = 1;
    Choose(0, true);
    EXPECT_STREQ(g_ScenarioName, "Outpost");
    EXPECT_EQ(g_ScenarioCategory, SC_CAMPAIGN);
    EXPECT_EQ(g_NetSettings.options >> MM_OPT_CATEGORY_SHIFT & 3, 1u);
    EXPECT_NE(Lines(MM_chat.rulelist).find("outposts"), std::string::npos);
    // Cancel under the other game type leaves the map's folder as it was.
    MM_chat.game_type = 0;
    Choose(0, false);
    EXPECT_EQ(g_ScenarioCategory, SC_CAMPAIGN);
}

class MmLaunch : public ::testing::Test {
protected:
    NetSession session{};
    NetGameSettings settings{};
    void TearDown() override
    {
        g_OptTeamSetupGiven = g_OptCreditsSet = g_OptRelationsLocked = 0;
        g_OptFogDisabled = g_OptShroudDisabled = g_OptGivingDisabled = g_OptAlliedResourcesHidden = 0;
    }
    void Set(uint32_t options, uint32_t credits, std::initializer_list<NODE> nodes)
    {
        session = NetSession{};
        settings = NetGameSettings{};
        settings.options = options;
        settings.credits = credits;
        int n = 0;
        for (const NODE& d : nodes) {
            settings.slottypes[n] = (uint8_t)(d.type < 0 ? NET_SLOT_AVAILABLE : d.type);
            session.players[n].flags = d.type < 0 ? 0 : NET_PLAYER_ACTIVE;
            NetNodeSettings& s = settings.node[n];
            s.team = (uint8_t)d.team;
            s.group = (uint8_t)d.group;
            s.colour = (uint8_t)d.colour;
            s.handicap = (uint8_t)d.handicap;
            s.side = (int8_t)d.side;
            memcpy(s.relations, d.rel, sizeof s.relations);
            n++;
        }
        for (int t = 0; t < 8; t++) teamdata[t].credits = -1;
        MM_chat_update_game_from(&session, &settings, 0);
    }
};

const uint8_t kN[8] = {2, 2, 2, 2, 2, 2, 2, 2};

TEST_F(MmLaunch, TeamsFollowTheSettings)
{
    // Two humans without colour, the second's colour 0 taken by node 2.
    Set(MM_OPT_FOG | MM_OPT_SHROUD, 5000,
        {{0, 4, 0, 8, 0, -1, {}}, {0, 5, 0, 8, 0, 1, {}}, {1, 6, 0, 0, 0, 9, {}}});
    EXPECT_EQ(teamdata[4].colour, 1);
    EXPECT_EQ(teamdata[5].colour, 2);
    EXPECT_EQ(settings.node[2].side, -1) << "a side out of range";
    EXPECT_EQ(teamdata[4].type, TT_HUMAN);
    EXPECT_EQ(teamdata[6].type, TT_COMPUTER);
    EXPECT_EQ(teamdata[0].type, TT_DISABLED);
    EXPECT_EQ(teamdata[4].credits, 5000);
    EXPECT_EQ(teamdata[6].credits, 5000);
    EXPECT_EQ(teamdata[4].relation[4], TR_ALLY);
    EXPECT_EQ(teamdata[4].relation[0], TR_NEUTRAL) << "alliances: an unplayed team is neutral";
    EXPECT_EQ(teamdata[6].relation[4], TR_ENEMY);
    EXPECT_EQ(g_LocalTeam, 4);
    EXPECT_FALSE(session.players[2].flags & NET_PLAYER_ACTIVE) << "a computer node leaves the session";
    EXPECT_EQ(g_OptTeamSetupGiven, 1);
    EXPECT_EQ(g_OptGivingDisabled, 1);
    EXPECT_EQ(g_OptFogDisabled, 0);
}

TEST_F(MmLaunch, HandicapsAndTeamsMode)
{
    struct ROW {
        const char* name;
        uint32_t credits;
        int handicap;
        int expected;
    } rows[] = {
        {"2.00", 10000, 5, 20000},
        {"default", 10000, 0, 10000},
        {"5.75 of 99,999,999", 99999999, 20, 574999994},
    };
    for (const ROW& r : rows) {
        Set(MM_OPT_HANDICAP, r.credits, {{0, 0, 0, 0, r.handicap, 0, {}}});
        EXPECT_EQ(teamdata[0].credits, r.expected) << r.name;
    }
    // Teams mode: group 0 allies nobody; the computer node before a human
    // still counts for the human's relations.
    Set(MM_OPT_TEAMS, 100,
        {{1, 0, 1, 1, 0, 0, {}}, {0, 1, 1, 2, 0, 0, {}}, {0, 2, 0, 3, 0, 0, {}}, {0, 3, 0, 4, 0, 0, {}}});
    EXPECT_EQ(teamdata[1].relation[0], TR_ALLY);
    EXPECT_EQ(teamdata[2].relation[3], TR_ENEMY);
    EXPECT_EQ(teamdata[1].relation[7], TR_ENEMY) << "teams: an unplayed team is an enemy";
    EXPECT_EQ(g_OptRelationsLocked, 1);
    // A node without a location plays nothing.
    Set(0, 100, {{0, 255, 0, 0, 0, 0, {}}});
    for (int t = 0; t < 8; t++) EXPECT_EQ(teamdata[t].type, TT_DISABLED);
    (void)kN;
}

TEST_F(MmLaunch, TheTeamDefaultsKeepWhatTheLaunchWroteUntilTheMarksAreCleared)
{
    Set(MM_OPT_TEAMS, 4321, {{0, 2, 1, 5, 0, 1, {}}, {-1, 0, 0, 8, 0, 0, {}}});
    Team_SetDefaults();
    Team_InitTeamData();
    EXPECT_EQ(teamdata[2].type, TT_HUMAN);
    EXPECT_EQ(teamdata[2].colour, 5);
    EXPECT_EQ(teamdata[2].credits, 4321);
    EXPECT_EQ(teamdata[2].side, 1);
    EXPECT_EQ(teamdata[2].relation[3], TR_ENEMY);
    EXPECT_EQ(teamdata[4].type, TT_DISABLED) << "a team nobody plays";
    EXPECT_EQ(teamdata[4].colour, 4);
    Game_ClearLaunchMarks();
    for (uint8_t mark : {g_OptTeamSetupGiven, g_OptCreditsSet, g_OptRelationsLocked, g_OptFogDisabled,
                         g_OptShroudDisabled, g_OptGivingDisabled, g_OptAlliedResourcesHidden, g_OptThreeRigs})
        EXPECT_EQ(mark, 0);
    Team_SetDefaults();
    EXPECT_EQ(teamdata[2].credits, 0) << "the next game starts from its own settings";
}

} // namespace
