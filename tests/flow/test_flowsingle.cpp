// One player through the whole program: the front end's main page, Single
// Player, Play Custom Mission, the demo scenario, then in the game screen
// a unit clicked, a column boxed, the factory's building panel starting a
// unit, guards sent at the first enemy that comes, the game to the end its
// conditions give, the debriefing, the main page again and Quit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "flow/flowfixture.h"
#include "game/gameloop.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "map/mapview.h"
#include "platform/plat.h"
#include "shell/shell.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "ui/igi.h"
#include "units/building.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitlist.h"

namespace {

enum { PASS_MS = 50, MAX_PASSES = 4000, FACTORY = 1002 };

std::vector<std::string> s_executed;
std::map<uint32_t, uint64_t>* s_digests;

UNIT* Unit(int id) { return Units_IdToUnitPtr(id, -1); }

// A tile's centre on the screen under the current view.
void TileOnScreen(int tx, int ty, int* x, int* y)
{
    *x = tx * 24 - g_MapView.x + 12;
    *y = ty * 24 - g_MapView.y + MAPVIEW_SCREEN_Y + 12;
}

std::vector<int> SelectedIds(void)
{
    std::vector<int> ids;
    for (UNITLISTELEM* e = igi_nfo.selected.head; e; e = e->next) ids.push_back(e->u.id);
    return ids;
}

std::set<int> TeamUnits(int team)
{
    std::set<int> ids;
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    for (UNIT* u = Iterate_UnitNext(&it); u; u = Iterate_UnitNext(&it))
        if (u->team == team) ids.insert(u->id);
    return ids;
}

// The payloads (hex) of the orders of code executed since the last take.
std::vector<std::string> TakePayloads(int code)
{
    std::vector<std::string> out;
    for (const std::string& line : s_executed) {
        unsigned update;
        int c, team, at = 0;
        if (sscanf(line.c_str(), "%u %d %d %n", &update, &c, &team, &at) >= 3 && c == code)
            out.push_back(line.substr(at));
    }
    s_executed.clear();
    return out;
}

std::string Hex32(uint32_t v)
{
    char s[16];
    snprintf(s, sizeof s, "%02x%02x%02x%02x", v & 255, v >> 8 & 255, v >> 16 & 255, v >> 24 & 255);
    return s;
}

std::string ReadDemo(void)
{
    std::ifstream in(QV_TEST_RUNDIR "/scenario/SINGLE/DEMO/QUORVEX.scn", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class FlowSingle : public testing::Test {
protected:
    QvLogCapture log;
    QvLocalMessages messages;
    void SetUp() override
    {
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        // As the program starts from the demo's configuration.
        Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        Game_SetScenarioName("DEMO");
        g_LocalTeam = 0;
        Game_ClearResult();
        Shell_Reset();
        memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
        InitBaseSystem();
        s_executed.clear();
        Orders_SetExecutedLog(+[](const char* line) { s_executed.push_back(line); });
        Game_SetUpdateHook(+[] {
            if (s_digests) (*s_digests)[g_UpdateCount] = QvDigest_State();
        });
    }
    void TearDown() override
    {
        Game_SetUpdateHook(nullptr);
        Orders_SetExecutedLog(nullptr);
        s_digests = nullptr;
        CloseBaseSystem();
        Plat_Close();
        Shell_Reset();
        memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
        g_GameState = GS_FRONTEND;
    }

    // What a run saw besides its checks.
    struct Seen {
        std::map<uint32_t, uint64_t> digests;
        int built = 0;         // the unit the factory made
        int target = 0;        // the enemy the guards were sent at
        bool overran = false;
    };

    // The whole flow once, its frames checked against the golden ones.
    void Play(Seen* seen)
    {
        QvPassScript p(MAX_PASSES);
        p.Look(kMain, "flow1_main.pcx");
        QvFlow_CustomMissions(p);
        QvFlow_LoadMission(p, QV_TEST_RUNDIR, "DEMO", 12);
        p.Until([] { return g_GameState == GS_INGAME && g_UpdateCount >= 2; }, PASS_MS);
        static std::set<int> before;
        p.Then([] {
            EXPECT_STREQ(g_ScenarioName, "DEMO");
            before = TeamUnits(0);
            ASSERT_EQ(before.size(), 11u);
        });
        // A click on the roaming tank 8; a box about the column of six.
        p.ClickWhere([](int* x, int* y) { TileOnScreen(Unit(8)->tilepos.x, Unit(8)->tilepos.y, x, y); });
        p.Then([] { EXPECT_EQ(SelectedIds(), std::vector<int>({8})); });
        p.Box(236, 268, 314, 322).Then([] {
            EXPECT_EQ(SelectedIds(), std::vector<int>({4, 5, 6, 7, 10, 11})) << "the column of (10..12, 11..12)";
        });
        // A right click empties the selection; the factory then shows what it
        // makes in the building panel.
        p.Click(200, 200, 1).Then([] { EXPECT_TRUE(SelectedIds().empty()); });
        p.ClickWhere([](int* x, int* y) {
            const BUILDING* f = Build_FindById(FACTORY);
            TileOnScreen(f->tilex + 1, f->tiley + 1, x, y);
        });
        p.Look(kPanel, "flow1_panel.pcx", 2);
        static int credits;
        p.Then([] {
            ASSERT_EQ(igi_nfo.sbuild, Build_FindById(FACTORY));
            credits = teamdata[0].credits;
            s_executed.clear();
        });
        p.Click(448 + 32, 64 + 25).Wait(PASS_MS).Then([] {
            const std::vector<std::string> orders = TakePayloads(QCONSTRUCTUNIT);
            ASSERT_EQ(orders.size(), 1u);
            EXPECT_EQ(orders[0].substr(8), Hex32(FACTORY)) << "made at the factory";
        });
        p.Until([] { return TeamUnits(0).size() > before.size(); }, PASS_MS);
        p.Then([seen] {
            const std::set<int> now = TeamUnits(0);
            std::vector<int> added;
            std::set_difference(now.begin(), now.end(), before.begin(), before.end(), std::back_inserter(added));
            ASSERT_EQ(added.size(), 1u);
            seen->built = added[0];
            const UNIT* u = Unit(added[0]);
            EXPECT_EQ(credits - teamdata[0].credits, (int)u->type->buildcost) << "paid for";
            EXPECT_EQ(teamdata[0].stats.made_units, 1);
            const BUILDING* f = Build_FindById(FACTORY);
            EXPECT_LE(std::abs(u->tilepos.x - f->tilex), 4) << "by the factory";
            EXPECT_LE(std::abs(u->tilepos.y - f->tiley), 4) << "by the factory";
        });
        // The east base's strike force comes west: once a tank of it is seen,
        // the guards by the depot are boxed and sent at it with a click.
        p.Until([seen] {
            ITERATOR it;
            Iterate_UnitInitAll(&it);
            for (UNIT* u = Iterate_UnitNext(&it); u; u = Iterate_UnitNext(&it))
                if (u->team == 1 && u->seen[0] && u->tilepos.x < 16 && u->tilepos.y < 16 &&
                    strcmp(u->type->symbolid, "DemoTank") == 0)
                    seen->target = u->id;
            return seen->target != 0;
        }, PASS_MS);
        p.Box(168 - 4, 248 - 4, 216 + 4, 320 + 4).Then([] {
            const std::vector<int> sel = SelectedIds();
            EXPECT_TRUE(std::find(sel.begin(), sel.end(), 1) != sel.end()) << sel.size();
            EXPECT_TRUE(std::find(sel.begin(), sel.end(), 3) != sel.end()) << sel.size();
            s_executed.clear();
        });
        p.ClickWhere([seen](int* x, int* y) {
            const UNIT* u = Unit(seen->target);
            TileOnScreen(u->tilepos.x, u->tilepos.y, x, y);
        });
        p.Wait(PASS_MS).Then([seen] {
            const std::vector<std::string> orders = TakePayloads(QFIREATUNIT);
            ASSERT_EQ(orders.size(), 1u);
            EXPECT_EQ(orders[0].substr(0, 8), Hex32((uint32_t)seen->target));
        });
        p.Until([seen] { return !Unit(seen->target); }, PASS_MS).Then([] {
            EXPECT_GE(teamdata[0].stats.kills_units, 1);
        });
        // The game to its end; its end picture is answered by a click.
        p.Until([this] { return log.text().find(" won (") != std::string::npos; }, PASS_MS);
        p.Wait(0, 2).Click(320, 240);
        p.Look(kDebrief, "flow1_debrief.pcx");
        p.Then([] {
            EXPECT_EQ(g_ShellInfo.current, SS_CDEBRIEF);
            EXPECT_EQ(g_ShellInfo.debrief[0].type, TT_HUMAN);
            EXPECT_EQ(g_ShellInfo.debrief[1].type, TT_COMPUTER);
            EXPECT_EQ(g_ShellInfo.debrief[0].madeUnits, 1);
            EXPECT_GE(g_ShellInfo.debrief[0].killedUnits, 1);
        });
        p.Click(560, 427);        // Main Menu
        p.Add(QvMove(320, 240)); // where the engine put the pointer the first time
        p.Look(kMain, "flow1_main_again.pcx");
        p.Click(320, 418); // Quit
        p.stopWhenDone = false;
        s_digests = &seen->digests;
        g_GameState = GS_FRONTEND;
        Game_Main();
        s_digests = nullptr;
        seen->overran = p.overran;
    }

    static constexpr uint32_t kMain = 0x4D6343CEu, kPanel = 0xF13F66EDu, kDebrief = 0x891BA97Au, kRefused = 0x26582FB2u;
};

TEST_F(FlowSingle, TheDemoFromTheMainPageThroughClicksAndTheBuildingPanelToItsDebriefingAndQuit)
{
    Seen first;
    Play(&first);
    EXPECT_FALSE(first.overran) << log.text();
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_NE(log.text().find("Team 1 won (ie. You lost)"), std::string::npos) << log.text();
    EXPECT_EQ(Game_GetResult().winner, 1);
    EXPECT_EQ(g_ShellInfo.result, 0);
    EXPECT_EQ(g_ShellInfo.mode, SHELL_CUSTOM);
    EXPECT_NE(first.built, 0);
    EXPECT_NE(first.target, 0);
    ASSERT_GT(first.digests.size(), 2000u) << "the game ran to its end";

    // The same clicks again in the same process: the same game at every
    // update, nothing of the first kept.
    log.clear();
    Seen second;
    Play(&second);
    EXPECT_FALSE(second.overran);
    EXPECT_NE(log.text().find("Team 1 won (ie. You lost)"), std::string::npos);
    EXPECT_EQ(second.built, first.built);
    EXPECT_EQ(second.target, first.target);
    ASSERT_EQ(second.digests.size(), first.digests.size());
    for (const auto& [update, digest] : first.digests) {
        ASSERT_EQ(second.digests[update], digest) << "update " << update;
    }
}

// Broken scenarios chosen from the custom-mission page: each is refused
// with the reason naming its file and line, the page stays with the last
// refused row chosen and a box saying why, and the demo chosen after them
// starts.
TEST_F(FlowSingle, BrokenScenariosFromTheCustomMissionPageAreRefusedAndThePageStays)
{
    const std::string demo = ReadDemo();
    struct Row {
        const char* folder;
        std::string text;
        const char* why;
    } rows[] = {
        {"GARBAGE", "\x01\x02 not a scenario\n", "QUORVEX.scn line 1: not a scenario of version 2"},
        {"OLDVERSION", "SetVersion(1)\nSetDefaultTerrain(DEMO)\n", "line 1: not a scenario of version 2"},
        {"NOTERRAIN", "SetVersion(2)\n", "line 2: no default terrain after the version"},
        {"UNKNOWN", demo + "\nPutUnitsAt(40 DemoTank 5 5)\n", "unknown command [PutUnitsAt]"},
        {"CUT", demo.substr(0, demo.find("PutUnitAt(2 ") + 20), "the file ends inside PutUnitAt's values"},
        {"NOMAP", demo, "NOMAP/QUORVEX.map] not found"},
        {"OPENTEAM", "SetVersion(2)\nSetDefaultTerrain(DEMO)\nSetTeam(0)\n{\n  SetCredit(10)\n",
         "line 6: the file ends inside a block"},
    };
    std::vector<std::pair<std::string, std::string>> folders;
    for (const Row& r : rows) folders.emplace_back(r.folder, r.text);
    QvTempDir home;
    QvFlow_MakeHome(home, folders);
    std::filesystem::remove(home.file("scenario/SINGLE/NOMAP/QUORVEX.map"));
    Game_SetDirectories(home.path().c_str(), "data", "", "save", "scenario");
    Game_SetScenarioCategory(SC_SINGLE);

    QvPassScript p(MAX_PASSES);
    p.Wait(0, 12);
    QvFlow_CustomMissions(p);
    p.Wait(0, 12);
    for (const Row& r : rows) {
        const std::string folder = r.folder, why = r.why;
        p.Then([this] { log.clear(); });
        QvFlow_LoadMission(p, home.path(), folder, 2);
        p.Wait(0, 12);
        p.Then([this, folder, why] {
            EXPECT_EQ(g_GameState, GS_FRONTEND) << folder;
            EXPECT_EQ(g_ShellInfo.current, SS_CUSTOM) << folder;
            const std::string text = log.text();
            EXPECT_NE(text.find("Scenario [" + folder + "] not started: "), std::string::npos) << text;
            EXPECT_NE(text.find("/" + folder + "/QUORVEX."), std::string::npos) << text;
            EXPECT_NE(text.find(why), std::string::npos) << folder << ": " << text;
        });
    }
    p.Look(kRefused, "flow1_refused_custom.pcx", 2);
    QvFlow_LoadMission(p, home.path(), "DEMO", 2);
    QvFlow_PlayThenExit(p, "DEMO", 10, PASS_MS);
    EXPECT_FALSE(p.overran) << log.text();
    EXPECT_EQ(g_GameState, GS_QUIT);
}

} // namespace
