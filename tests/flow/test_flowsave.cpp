// A game saved and loaded from the menus: the demo scenario started from
// the front end and saved at update 500 from the in-game menu panel under a
// typed name; the program closed and started again by its configuration
// (LoadSavedGame, LoadSavedGameName) on that file, played on to update
// 1500. A damaged file is refused, at the start and from the menu panel; the
// good one loaded again from the menu panel goes on as the first load did.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "flow/flowfixture.h"
#include "game/gameloop.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "rules/gamemsg.h"
#include "shell/shell.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "ui/igi.h"
#include "ui/igipanel.h"

namespace {

enum { PASS_MS = 50, MAX_PASSES = 5000, SAVED_AT = 500, RELOAD_AT = 800, REFUSED_AT = 700, END = 1500 };

using Digests = std::map<uint32_t, uint64_t>;
Digests* s_digests;

// The in-game menu panel: its selector, the name field, the buttons.
void MenuPanel(QvPassScript& p)
{
    p.Click(600, 10).Then([] { EXPECT_EQ(igi_nfo.mfdmode, MFD_MENU); });
}

void TypeName(QvPassScript& p, const std::string& name)
{
    p.Click(590, 99);
    for (int i = 0; i < 16; i++) p.Add(QvKey(SC_BACKSPACE));
    p.Type(name).Add(QvKey(SC_RETURN)).Then([name] { EXPECT_STREQ(igi_nfo.savename, name.c_str()); });
}

// A button acts in the frame after its release.
void SaveButton(QvPassScript& p) { p.Click(508, 122).Wait(0); }
void LoadButton(QvPassScript& p) { p.Click(508, 100).Wait(0); }
void ExitButton(QvPassScript& p)
{
    MenuPanel(p);
    p.Click(550, 326);
}

void PlayTo(QvPassScript& p, uint32_t update)
{
    p.Until([update] { return g_GameState == GS_INGAME && g_UpdateCount >= update; }, PASS_MS);
    p.Then([update] { EXPECT_EQ(g_UpdateCount, update); });
}

// Where the menu panel is used next: its passes take no time, so they must
// find the game owing no update. A frame that ran long (the flow's first
// frame of a game takes two passes) leaves the schedule an update to make
// up, which passes of 50 ms never do; short passes reach the update.
void PlayToSettled(QvPassScript& p, uint32_t update)
{
    PlayTo(p, update - 1);
    p.Until([update] { return g_UpdateCount >= update; }, 10);
    p.Then([update] { EXPECT_EQ(g_UpdateCount, update); });
}

class FlowSave : public testing::Test {
protected:
    QvLogCapture log{TLOG_SAVE};
    QvLocalMessages messages;
    QvTempDir home;

    void SetUp() override
    {
        QvFlow_MakeHome(home);
        Game_SetUpdateHook(+[] {
            if (s_digests) (*s_digests)[g_UpdateCount] = QvDigest_State();
        });
    }
    void TearDown() override
    {
        Game_SetUpdateHook(nullptr);
        s_digests = nullptr;
        Cfg_SetDefaults(&g_Config);
        g_GameState = GS_FRONTEND;
    }

    // The program once: started in its home on a configuration (the demo's
    // with extra lines), driven by script until it quits, closed.
    bool Program(const std::string& extra, const std::function<void(QvPassScript&)>& script, Digests* digests)
    {
        home.write("quorvex.cfg", "EngineSetup\n{\n  SetDataDir \"data\"\n  SetScenarioDir \"scenario\"\n"
                                  "  SetSaveDir \"save\"\n  SetEntryPoint SHELL\n  SetStartCategory SINGLE\n"
                                  "  SetStartScenario \"DEMO\"\n  SetStartTeam 0\n" +
                                      extra + "}\n");
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        Cfg_Load(home.file("quorvex.cfg").c_str(), &g_Config);
        Game_SetDirectories(home.path().c_str(), g_Config.datadir, g_Config.datadir2, g_Config.savedir,
                            g_Config.scenariodir);
        Game_SetScenarioCategory(g_Config.startcategory);
        Game_SetScenarioName(g_Config.startscenario);
        g_LocalTeam = g_Config.startteam;
        Game_ClearResult();
        Shell_Reset();
        memset(&g_ShellInfo, 0, sizeof g_ShellInfo);
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        InitBaseSystem();
        Igipanel_ResetMsgCounts();
        g_GameState = Game_ConfiguredState();
        bool overran;
        {
            QvPassScript p(MAX_PASSES);
            p.stopWhenDone = false;
            script(p);
            s_digests = digests;
            Game_Main();
            s_digests = nullptr;
            overran = p.overran;
        }
        CloseBaseSystem();
        Plat_Close();
        EXPECT_EQ(g_GameState, GS_QUIT);
        return !overran;
    }

    // The front end to the demo's game.
    void ToTheDemo(QvPassScript& p)
    {
        p.Wait(0, 12);
        QvFlow_CustomMissions(p);
        QvFlow_LoadMission(p, home.path(), "DEMO", 12);
    }

    // The game from the front end, saved at SAVED_AT under name, exit.
    void SaveAt500(const std::string& options, const std::string& name)
    {
        ASSERT_TRUE(Program(options, [&](QvPassScript& p) {
            ToTheDemo(p);
            PlayToSettled(p, SAVED_AT);
            MenuPanel(p);
            TypeName(p, name);
            SaveButton(p);
            p.Then([] {
                EXPECT_EQ(g_UpdateCount, (uint32_t)SAVED_AT) << "no update while the panel was used";
                EXPECT_EQ(Igipanel_MsgCount(MSG_SAVEDONE), 1);
            });
            ExitButton(p);
        }, nullptr));
        ASSERT_TRUE(std::filesystem::exists(home.file("save/" + name))) << log.text();
    }

    // The program started on the saved game by its configuration, played to
    // END; with reload, the damaged file refused from the menu panel at
    // REFUSED_AT and the good one loaded there again at RELOAD_AT.
    void LoadAndPlay(const std::string& options, const std::string& name, Digests* digests, Digests* reloaded)
    {
        ASSERT_TRUE(Program(options + "  LoadSavedGame 1\n  LoadSavedGameName \"" + name + "\"\n",
                            [&](QvPassScript& p) {
            p.Until([] { return g_GameState == GS_INGAME; }, 0).Then([] {
                EXPECT_EQ(g_UpdateCount, (uint32_t)SAVED_AT);
            });
            if (reloaded) {
                PlayToSettled(p, REFUSED_AT);
                MenuPanel(p);
                TypeName(p, "damaged.sav");
                LoadButton(p);
                p.Then([] {
                    EXPECT_EQ(Igipanel_MsgCount(MSG_SAVEINVALID), 1) << "refused";
                    EXPECT_EQ(g_UpdateCount, (uint32_t)REFUSED_AT) << "the game as it was";
                });
                PlayToSettled(p, RELOAD_AT);
                TypeName(p, name);
                LoadButton(p);
                p.Then([reloaded] {
                    EXPECT_EQ(g_UpdateCount, (uint32_t)SAVED_AT);
                    s_digests = reloaded;
                });
            }
            PlayTo(p, END);
            ExitButton(p);
        }, digests));
    }

    // The saved file with a run of its middle bytes overwritten.
    void Damage(const std::string& from, const std::string& to)
    {
        std::string bytes = home.read("save/" + from);
        ASSERT_GT(bytes.size(), 1000u);
        for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + 64; i++) bytes[i] = (char)0xA5;
        home.write("save/" + to, bytes);
    }
};

testing::AssertionResult SameFrom(const Digests& want, const Digests& got, uint32_t from, uint32_t to)
{
    for (uint32_t u = from; u <= to; u++) {
        auto w = want.find(u), g = got.find(u);
        if (w == want.end() || g == got.end())
            return testing::AssertionFailure() << "no digest of update " << u;
        if (w->second != g->second) return testing::AssertionFailure() << "the games part at update " << u;
    }
    return testing::AssertionSuccess();
}

TEST_F(FlowSave, SavedFromTheMenuPanelAndStartedAgainOnItPlaysOnAsTheGameNeverSaved)
{
    const std::string noAi = "  DisableAI 1\n";
    Digests never;
    ASSERT_TRUE(Program(noAi, [&](QvPassScript& p) {
        ToTheDemo(p);
        PlayTo(p, END);
        ExitButton(p);
    }, &never));
    SaveAt500(noAi, "flowsave.sav");
    Damage("flowsave.sav", "damaged.sav");
    Digests first, second, reloaded;
    LoadAndPlay(noAi, "flowsave.sav", &first, nullptr);
    EXPECT_TRUE(SameFrom(never, first, SAVED_AT + 1, END));
    LoadAndPlay(noAi, "flowsave.sav", &second, &reloaded);
    EXPECT_TRUE(SameFrom(never, second, SAVED_AT + 1, RELOAD_AT));
    EXPECT_TRUE(SameFrom(never, reloaded, SAVED_AT + 1, END));
    const std::string text = log.text();
    EXPECT_NE(text.find("- done."), std::string::npos) << text;
}

// The computer players start their thinking afresh at a load: two loads of
// one file are the same game, whether the program starts on it or the menu
// panel loads it mid-game.
TEST_F(FlowSave, WithComputerPlayersTwoLoadsOfOneFilePlayTheSameGame)
{
    SaveAt500("", "flowsave.sav");
    Damage("flowsave.sav", "damaged.sav");
    Digests first, second, reloaded;
    LoadAndPlay("", "flowsave.sav", &first, nullptr);
    LoadAndPlay("", "flowsave.sav", &second, &reloaded);
    EXPECT_TRUE(SameFrom(first, second, SAVED_AT + 1, RELOAD_AT));
    EXPECT_TRUE(SameFrom(first, reloaded, SAVED_AT + 1, END));
}

// A damaged file named by the configuration: refused with its reason, the
// front end's main page instead of a game, and the program quits from it.
TEST_F(FlowSave, ADamagedFileIsRefusedAndTheProgramGoesToTheFrontEnd)
{
    SaveAt500("  DisableAI 1\n", "flowsave.sav");
    Damage("flowsave.sav", "damaged.sav");
    log.clear();
    Digests none;
    ASSERT_TRUE(Program("  LoadSavedGame 1\n  LoadSavedGameName \"damaged.sav\"\n", [&](QvPassScript& p) {
        p.Look(0x4D6343CEu, "flow3_refused_main.pcx");
        p.Then([] { EXPECT_EQ(g_GameState, GS_FRONTEND); });
        p.Click(320, 418); // Quit
    }, &none));
    EXPECT_TRUE(none.empty()) << "no game was played";
    const std::string text = log.text();
    EXPECT_NE(text.find("Saved game not loaded: "), std::string::npos) << text;
    EXPECT_NE(text.find("damaged.sav"), std::string::npos) << text;
}

} // namespace
