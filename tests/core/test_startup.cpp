// Start-up, the state loop, the frame and update decisions, the module guards
// and the fatal path.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "core/addrbook.h"
#include "core/config.h"
#include "core/debug.h"
#include "core/error.h"
#include "core/gamestate.h"
#include "core/guard.h"
#include "core/tfparse.h"
#include "game/gameloop.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "platform/font.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/pcx.h"
#include "platform/plat.h"
#include "platform/sound.h"
#include "platform/video.h"
#include "support/testsupport.h"

TEST(FatalPath, ExitsWithCodeOneAndTheClassTitle)
{
    EXPECT_EXIT(ERR_FATAL(ERRC_OPENFILE, "Configuration File : %s", "x.cfg"),
                testing::ExitedWithCode(1),
                "QUORVEX ENGINE : Unable to open required file\nConfiguration File : x.cfg\n"
                "Code Location : \\[test_startup.cpp, [0-9]+\\]");
    int units = 3;
    EXPECT_EXIT(ASSERT(units == 4), testing::ExitedWithCode(1), "ASSERT \\(units == 4\\)");
}

TEST(FatalPath, OutOfMemoryShowsItsOwnBoxOrTheCallersText)
{
    EXPECT_EXIT(Debug_Malloc(SIZE_MAX - 4), testing::ExitedWithCode(1),
                "Memory allocation error\nNo more available memory\nCode Location : "
                "\\[test_startup.cpp, [0-9]+\\]\n\nSize : [0-9]+ bytes\n");
    static ADDRESSBOOK_ENTRY* book = nullptr;
    static EVENT *head = nullptr, *tail = nullptr;
    const struct {
        std::function<void()> allocate;
        const char* text;
    } rows[] = {
        {[] { Debug_Calloc(2, 3); }, "No more available memory"},
        {[] { AddressBook_Insert(&book, "Bob", "10.0.0.1"); }, "addressbook"},
        {[] {
             Input_RawKey(30, 1, 'a');
             Event_Poll(&head, &tail);
         },
         "event"},
    };
    for (const auto& row : rows) {
        Debug_FailAllocation(0);
        QV_EXPECT_FATAL(row.allocate(), row.text);
        EXPECT_EQ(Error_LastClass(), ERRC_MEMORY) << row.text;
        Debug_FailAllocation(-1);
    }
    EXPECT_EQ(book, nullptr);
    EXPECT_EQ(head, nullptr);
    Input_Shutdown();
}

static void FailingShutdown(void) { ERR_FATAL(ERRC_FATAL, "again"); }

TEST(FatalPath, ReentryFromAShutdownHookExitsOnce)
{
    EXPECT_EXIT(
        {
            Error_AddShutdownHook(FailingShutdown);
            ERR_FATAL(ERRC_FATAL, "first");
        },
        testing::ExitedWithCode(1), "ERR macro triggered twice");
}

static int s_shutdowns;
static void CountShutdown(void) { s_shutdowns++; }

TEST(FatalPath, ShutdownHooksRunAndTheLastThreeContextLinesShow)
{
    EXPECT_EXIT(
        {
            // The last added runs first: the report runs after the counter.
            Error_AddShutdownHook(+[] { fprintf(stderr, "hooks ran %d\n", s_shutdowns); });
            Error_AddShutdownHook(CountShutdown);
            Error_AddShutdownHook(CountShutdown); // kept once
            Error_AddContext("one");
            Error_AddContext("File : %s", "units.txt");
            Error_AddContext("Line : %d", 12);
            Error_AddContext("four");
            ERR_FATAL(ERRC_PARSE, "bad");
        },
        testing::ExitedWithCode(1),
        "\\]\n\nFile : units.txt\nLine : 12\nfour\n(.|\n)*hooks ran 1");
}

static MODULE_GUARD s_widgets = MODULE_GUARD_INIT("Widgets");

// A step tried under Error_Try: a broken file is a refusal naming its file
// and line, logged without the box, and the program goes on with its fatal
// path whole; a fault of the program is never taken for a broken file.
TEST(FileTrustErrorTry, AFileErrorReturnsItsFileAndLineAndAProgramFaultStillEnds)
{
    QvLogCapture log;
    std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> text(TF_OpenText("rules.txt", "a\nb\nc\n", 6), TF_Close);
    char why[300];
    // The tokenizer's error names its own file and line.
    EXPECT_EQ(Error_Try(
                  [](void* arg) {
                      TF_PARSER* p = static_cast<TF_PARSER*>(arg);
                      char token[TF_FIELD];
                      TF_GetToken(p, token, sizeof token);
                      TF_GetToken(p, token, sizeof token);
                      TF_Error(p, "Unknown string [%s]", token);
                  },
                  text.get(), why, sizeof why),
              0);
    EXPECT_STREQ(why, "rules.txt line 2: Unknown string [b]");
    EXPECT_NE(log.text().find("Text file parsing error: rules.txt line 2: Unknown string [b]"), std::string::npos);
    // Another error names the line of the file being read, where the reader
    // is when it fails; nested tries keep their own reading.
    EXPECT_EQ(Error_Try(
                  [](void* arg) {
                      TF_PARSER* p = static_cast<TF_PARSER*>(arg);
                      const ERROR_READING before = Error_SetReading(p->filename, &p->line);
                      char token[TF_FIELD];
                      TF_GetToken(p, token, sizeof token); // the reader moves on to "c"
                      char inner[100];
                      EXPECT_EQ(Error_Try([](void*) { ERR_FATAL(ERRC_FATAL, "inner"); }, nullptr, inner,
                                          sizeof inner),
                                0);
                      EXPECT_STREQ(inner, "rules.txt line 3: inner");
                      Error_SetReading(nullptr, nullptr);
                      EXPECT_EQ(Error_Try([](void*) { ERR_FATAL(ERRC_FATAL, "alone"); }, nullptr, inner,
                                          sizeof inner),
                                0);
                      EXPECT_STREQ(inner, "alone");
                      Error_RestoreReading(before);
                      Error_SetReading(p->filename, &p->line);
                      ERR_FATAL(ERRC_FATAL, "No special forces with ID %d to trigger", 7);
                  },
                  text.get(), why, sizeof why),
              0);
    EXPECT_STREQ(why, "rules.txt line 3: No special forces with ID 7 to trigger");
    // The reading ended with the step that set it.
    EXPECT_EQ(Error_Try([](void*) { ERR_FATAL(ERRC_OPENFILE, "map file [%s]", "m"); }, nullptr, why, sizeof why), 0);
    EXPECT_STREQ(why, "map file [m]");
    EXPECT_EQ(Error_Try([](void*) {}, nullptr, why, sizeof why), 1);
    EXPECT_STREQ(why, "");
    // The fatal path after a refusal, and the faults inside a try, end the
    // program with their box.
    EXPECT_EXIT(ERR_FATAL(ERRC_PARSE, "after"), testing::ExitedWithCode(1),
                "QUORVEX ENGINE : Text file parsing error\nafter");
    EXPECT_EXIT(Error_Try([](void*) { ASSERT(g_GameState == -7); }, nullptr, why, sizeof why),
                testing::ExitedWithCode(1), "QUORVEX ENGINE : Fatal error\nASSERT");
    EXPECT_EXIT(Error_Try([](void*) { Debug_Malloc(SIZE_MAX - 4); }, nullptr, why, sizeof why),
                testing::ExitedWithCode(1), "QUORVEX ENGINE : Memory allocation error");
    EXPECT_EXIT(Error_Try(
                    [](void*) {
                        static MODULE_GUARD guard = MODULE_GUARD_INIT("Tried");
                        Guard_Close(&guard);
                    },
                    nullptr, why, sizeof why),
                testing::ExitedWithCode(1), "Tried not initialised");
}

TEST(ModuleGuards, ARepeatedOrPrematureCallIsFatal)
{
    Cfg_SetDefaults(&g_Config);
    const struct {
        const char* name;
        void (*init)(void);
        void (*close)(void);
    } rows[] = {
        {"Widgets", [] { Guard_Init(&s_widgets); }, [] { Guard_Close(&s_widgets); }},
        {"Video", Video_Init, Video_Close},
        {"Sound", Sound_Init, Sound_Close},
        {"Input", Input_Init, Input_Close},
        {"Events", Event_Init, Event_Close},
        {"Fonts", [] { Font_Init(64); }, Font_Close},
        {"BaseSystem", InitBaseSystem, CloseBaseSystem},
        {"CommonGameSystems", InitCommonGameSystems, CloseCommonGameSystems},
    };
    for (const auto& row : rows) {
        const std::string name = row.name;
        QV_EXPECT_FATAL(row.close(), name + " not initialised");
        row.init();
        QV_EXPECT_FATAL(row.init(), name + " already initialised");
        row.close();
        QV_EXPECT_FATAL(row.close(), name + " not initialised");
    }
    QV_EXPECT_FATAL(Guard_Require(&s_widgets), "Widgets not initialised");
    QV_EXPECT_FATAL(CloseGameSpecifics(), "GameSpecifics not initialised");
}

TEST(CommonSystems, ResetCountersTechLevelAndRate)
{
    Game_ResetState();
    g_UpdateCount = 77;
    g_TechLevel = 3;
    Game_SetUpdatesPerSecond(45);
    InitCommonGameSystems();
    EXPECT_EQ(std::tuple(g_UpdateCount, g_TechLevel, g_UpdatesPerSecond), std::tuple(0u, 10, 20));
    CloseCommonGameSystems();
}

TEST(UpdateDecision, DueAfterOneClampedIntervalUnlessPausedOrSkipping)
{
    const struct {
        uint32_t now, last;
        int rate, paused, playback;
        uint32_t count;
        int skip, run, skipdraw;
    } rows[] = {
        {1049, 1000, 20, 0, 0, 0, 0, 0, 0},
        {1050, 1000, 20, 0, 0, 0, 0, 1, 0},
        {40, 0xFFFFFFF0u, 20, 0, 0, 0, 0, 1, 0},   // across the clock's wrap
        {999, 0, 0, 0, 0, 0, 0, 0, 0},             // rate clamped to 1: 1000 ms
        {16, 0, 500, 0, 0, 0, 0, 1, 0},            // rate clamped to 60: 16 ms
        {0, 0, 20, 0, 0, 10, 500, 0, 0},           // skipping only during playback
    };
    for (const auto& r : rows) {
        FRAME_DECISION d =
            Game_DecideFrame(r.now, r.last, r.rate, r.paused, r.playback, r.count, r.skip);
        EXPECT_EQ(d.runupdate, r.run) << r.now << " after " << r.last << " at " << r.rate;
        EXPECT_EQ(d.skipdraw, r.skipdraw) << r.now << " after " << r.last;
    }
    Game_SetUpdatesPerSecond(99);
    EXPECT_EQ(g_UpdatesPerSecond, 60);
}

TEST(NetInterval, GrowsWhenLateUpToTwiceTheBaseAndShrinksBack)
{
    NETINTERVAL ni;
    Game_NetIntervalStart(&ni, 20);
    for (int i = 0; i < 21; i++) Game_NetIntervalRetune(&ni, 1);
    EXPECT_EQ(ni.interval, 100);
    Game_NetIntervalRetune(&ni, 0);
    EXPECT_EQ(ni.interval, 99);
    for (int i = 0; i < 100; i++) Game_NetIntervalRetune(&ni, 0);
    EXPECT_EQ(ni.interval, 50);
}

// A game starts from a scenario: the demo's, in the test run directory.
static void UseDemoScenario(void)
{
    Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
    Game_SetScenarioCategory(SC_SINGLE);
    Game_SetScenarioName("DEMO");
}

class FrameLoop : public testing::Test {
protected:
    QvLocalMessages messages_;
    void SetUp() override
    {
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        // The frame loop's pace is what is tested, not how the game ends.
        g_Config.disableendconditions = 1;
        UseDemoScenario();
        PlatHeadless_SetClock(0, 0);
        InitCommonGameSystems();
        InitGameSpecifics();
    }
    void TearDown() override
    {
        CloseGameSpecifics();
        CloseCommonGameSystems();
        Game_SetPlayback(0);
        PlatHeadless_SetPumpHook(nullptr);
        Plat_ClearQuit();
        Plat_SetActive(1);
    }
};

TEST_F(FrameLoop, AtMostOneUpdatePerFrameAndNoneWhilePaused)
{
    PlatHeadless_Advance(50);
    Game_Tick();
    EXPECT_EQ(g_UpdateCount, 1u);
    PlatHeadless_Advance(500); // ten intervals late: still one per frame
    Game_Tick();
    Game_Tick();
    EXPECT_EQ(g_UpdateCount, 2u);
    g_GamePaused = 1;
    PlatHeadless_Advance(1000);
    Game_Tick();
    EXPECT_EQ(g_UpdateCount, 2u);
    g_GamePaused = 0;
    Game_Tick();
    EXPECT_EQ(g_UpdateCount, 3u);
    EXPECT_EQ(g_FrameCount, 5u) << "every frame is drawn";
}

TEST_F(FrameLoop, OrderSkipDrawsEveryHundredthUpdate)
{
    g_Config.orderskip = 250;
    Game_SetPlayback(1);
    for (int i = 0; i < 250; i++) Game_Tick(); // the clock never moves
    EXPECT_EQ(g_UpdateCount, 250u);
    EXPECT_EQ(g_FrameCount, 2u) << "updates 100 and 200 were drawn";
    Game_Tick();
    EXPECT_EQ(g_UpdateCount, 250u) << "normal pace after the skip count";
}

// The update schedule seen from the frames of a real window: they don't
// tick evenly, each a few milliseconds off its even share (the pattern
// below) without drifting. Updates restarting their wait from the frame
// that ran them fell behind the clock by that lateness, every update.
class PlayerViewPace : public FrameLoop {};

TEST_F(PlayerViewPace, UpdatesFellBehindTheClockByEachFramesLateness)
{
    static const uint32_t jitter[] = {0, 3, 1, 4, 2, 4, 1};
    uint32_t start = 0;
    for (uint32_t fps : {30u, 60u, 200u}) {
        PlatHeadless_SetClock(start, start);
        Game_StartTimer();
        const uint32_t before = g_UpdateCount;
        const uint32_t frames = 100 * fps;
        for (uint32_t i = 1; i <= frames; i++) {
            // The last frame ends the 100 s exactly.
            const uint32_t t = start + i * 1000 / fps + (i < frames ? jitter[i % 7] : 0);
            PlatHeadless_SetClock(t, t);
            Game_Tick();
        }
        EXPECT_EQ(g_UpdateCount - before, 2000u) << "100 s of frames at " << fps << " a second";
        start += 100000;
    }
    // After a stall the schedule starts afresh: twenty a second from there,
    // not one a frame until the missed ones were made up.
    start += 3000;
    PlatHeadless_SetClock(start, start);
    const uint32_t before = g_UpdateCount;
    Game_Tick();
    for (uint32_t i = 1; i <= 200; i++) {
        PlatHeadless_SetClock(start + 5 * i, start + 5 * i);
        Game_Tick();
    }
    EXPECT_EQ(g_UpdateCount - before, 21u) << "the late one, then 20 in the second after it";
    // Nor is a short pause made up: the update due when it ends, then the
    // schedule from there.
    start += 1000;
    g_GamePaused = 1;
    PlatHeadless_SetClock(start + 150, start + 150);
    Game_Tick();
    g_GamePaused = 0;
    const uint32_t paused = g_UpdateCount;
    for (uint32_t i = 0; i <= 10; i++) {
        PlatHeadless_SetClock(start + 150 + 5 * i, start + 150 + 5 * i);
        Game_Tick();
    }
    EXPECT_EQ(g_UpdateCount - paused, 2u) << "one at once, the next an interval later";
}

static int s_pumps;

// While the window is inactive the loop only pumps messages: until it is
// active again, or a quit ends the game; at the multiplayer menus and in a
// network game it goes on.
TEST_F(FrameLoop, InactiveWindowPumpsUntilActiveOrQuit)
{
    s_pumps = 0;
    Plat_SetActive(0);
    PlatHeadless_SetPumpHook(+[] {
        if (++s_pumps == 3) Plat_SetActive(1);
    });
    EXPECT_EQ(Game_PumpMessages(), 1);
    EXPECT_EQ(s_pumps, 3);
    // Machines that others wait on never wait for the focus.
    const struct { const char* name; int network, state; } rows[] = {
        {"at the multiplayer menus", 0, GS_MULTIMENU},
        {"in a network game", 1, GS_INGAME},
    };
    for (const auto& r : rows) {
        s_pumps = 0;
        Plat_SetActive(0);
        g_NetworkGame = r.network;
        g_GameState = r.state;
        EXPECT_EQ(Game_PumpMessages(), 1) << r.name;
        EXPECT_EQ(s_pumps, 1) << r.name;
    }
    g_NetworkGame = 0;
    Plat_SetActive(0);
    PlatHeadless_SetPumpHook(+[] { Plat_PostQuit(); });
    g_GameState = GS_INGAME;
    Game_RunInGame();
    EXPECT_TRUE(g_GameState == GS_QUIT && g_QuitRequested == 1);
}

// The menus and the editor lead back to the front end, which leaves as quit
// without its library here; so does loading a saved game that isn't there.
TEST(StateLoop, MissingSubsystemsQuitCleanly)
{
    struct Row {
        int state;
        const char* logged;
    } rows[] = {
        {GS_FRONTEND, "Shell library ["},
        {GS_MULTIMENU, "Multi Menu could not be built: [f16blue.pcx] is missing"},
        {GS_LOADGAME, "Saved game not loaded: "},
    };
    // A start directory without the shell's library, whatever an earlier
    // test of this process pointed the directories at.
    QvTempDir empty;
    Game_SetDirectories(empty.path().c_str(), "data", "", "save", "scenario");
    for (const Row& r : rows) {
        QvLogCapture log;
        Game_ResetState();
        g_GameState = r.state;
        Game_Main();
        EXPECT_EQ(g_GameState, GS_QUIT) << r.state;
        EXPECT_NE(log.text().find(r.logged), std::string::npos) << log.text();
        EXPECT_NE(log.text().find("Shell page [main] could not be built"), std::string::npos) << log.text();
    }
}

TEST(StateLoop, NewGameRunsUntilQuitAndClosesItsLayers)
{
    Game_ResetState();
    QvLocalMessages messages;
    Cfg_SetDefaults(&g_Config);
    UseDemoScenario();
    PlatHeadless_SetPumpHook(+[] {
        PlatHeadless_Advance(50);
        if (g_UpdateCount == 3) Plat_PostQuit();
    });
    g_GameState = GS_NEWGAME;
    Game_Main();
    PlatHeadless_SetPumpHook(nullptr);
    Plat_ClearQuit();
    EXPECT_EQ(g_GameState, GS_QUIT);
    EXPECT_EQ(g_UpdateCount, 3u);
    // Both layers were closed: they can start again.
    InitCommonGameSystems();
    InitGameSpecifics();
    CloseGameSpecifics();
    CloseCommonGameSystems();
}

#ifdef QV_PROGRAM
// Starts the program headless in dir, with SIGINT blocked as some parents
// leave it: the program must unblock it to be interrupted.
static pid_t StartProgram(const std::string& dir)
{
    pid_t pid = fork();
    if (pid == 0) {
        sigset_t block;
        sigemptyset(&block);
        sigaddset(&block, SIGINT);
        sigprocmask(SIG_BLOCK, &block, nullptr);
        if (chdir(dir.c_str()) != 0) _exit(99);
        setenv("QUORVEX_PLATFORM", "headless", 1);
        execl(QV_PROGRAM, QV_PROGRAM, (char*)nullptr);
        _exit(98);
    }
    return pid;
}

// The configuration's own faults are read in the configuration tests; here
// the program's way out: exit code 1 and the error log.
TEST(Program, MissingConfigurationExitsOneAndWritesTheErrorLog)
{
    QvTempDir dir;
    int status = 0;
    waitpid(StartProgram(dir.path()), &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    std::string errlog = dir.read("error.log");
    EXPECT_NE(errlog.find("Unable to open required file\nConfiguration File : "), std::string::npos) << errlog;
}

static void Pause(long ms)
{
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
}

// A run of the program itself paces by real time: once the game has started,
// it gets half a second (ten update intervals), then an interrupt.
TEST(Program, HeadlessRunUpdatesUntilInterrupted)
{
    QvTempDir dir;
    std::filesystem::copy(QV_TEST_RUNDIR, dir.path(), std::filesystem::copy_options::recursive);
    dir.write("quorvex.cfg", "EngineSetup\n{\n  SetEntryPoint GAME\n  SetStartScenario \"DEMO\"\n}\n"
                             "LoggingPreferences\n{\n  EnableDiagnostics 1\n}\n");
    pid_t pid = StartProgram(dir.path());
    int status = 0;
    bool started = false;
    for (int waited = 0; waited < 60000 && !started; waited += 10) {
        started = dir.read("quorvex.log").find("init UpdateTimer") != std::string::npos;
        if (!started) Pause(10);
        if (waitpid(pid, &status, WNOHANG) == pid) break;
    }
    if (started) Pause(500);
    kill(pid, started ? SIGINT : SIGKILL);
    waitpid(pid, &status, 0);
    ASSERT_TRUE(started) << dir.read("quorvex.log");
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::string log = dir.read("quorvex.log");
    EXPECT_NE(log.find("Standard exit point"), std::string::npos) << log;
    EXPECT_EQ(dir.read("error.log"), "");
    const char* const ended = "Game ended after ";
    size_t at = log.find(ended);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_GT(atoi(log.c_str() + at + strlen(ended)), 0) << log.substr(at, 40);
}

// The demo's own configuration, as `make run` copies it: the program opens
// on the front end's main page, and an interrupt there ends it cleanly
// without a game having run.
TEST(Program, DemoConfigurationStartsOnTheMainPageAndQuitsThereOnInterrupt)
{
    QvTempDir dir;
    std::filesystem::copy(QV_TEST_RUNDIR, dir.path(), std::filesystem::copy_options::recursive);
    pid_t pid = StartProgram(dir.path());
    int status = 0;
    bool shown = false;
    for (int waited = 0; waited < 60000 && !shown; waited += 10) {
        shown = dir.read("quorvex.log").find("Shell state 1") != std::string::npos;
        if (!shown) Pause(10);
        if (waitpid(pid, &status, WNOHANG) == pid) break;
    }
    if (shown) Pause(300);
    kill(pid, shown ? SIGINT : SIGKILL);
    waitpid(pid, &status, 0);
    const std::string log = dir.read("quorvex.log");
    ASSERT_TRUE(shown) << log;
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(log.find("Standard exit point"), std::string::npos) << log;
    EXPECT_EQ(log.find("Game ended after"), std::string::npos) << log;
    EXPECT_EQ(log.find("Shell state 7"), std::string::npos) << "left the main page: " << log;
    EXPECT_EQ(dir.read("error.log"), "");
}
#endif

TEST(ScenarioPaths, CategoryNameAndTerrainDeriveTheirPaths)
{
    Game_ResetState();
    Game_SetDirectories("/home/q", "data", "", "save", "scenario");
    Game_SetScenarioName("Twin Rivers");
    Game_SetScenarioCategory(SC_CAMPAIGN);
    EXPECT_STREQ(g_ScenarioScnPath, "/home/q\\scenario\\CAMPAIGN\\Twin Rivers\\QUORVEX.scn");
    Game_SetScenarioCategory(9); // not a category: nothing changes
    EXPECT_EQ(g_ScenarioCategory, SC_CAMPAIGN);
    QvLogCapture log;
    Game_SetScenarioName("AVeryLongScenarioName");
    EXPECT_STREQ(g_ScenarioName, "AVeryLongScenar") << "15 characters fit the 16-byte field";
    EXPECT_NE(log.text().find("[AVeryLongScenarioName] cut to 15 characters: [AVeryLongScenar]"),
              std::string::npos)
        << log.text();
    Game_SetTerrainName("desert");
    EXPECT_STREQ(g_TerrainTilPath, "/home/q\\data\\graphics\\desert\\desert.til");
}

// A data directory that fitted its field but not once joined to the start
// directory used to become "", and the run ended on some unrelated missing file.
TEST(ScenarioPaths, DirectoryTooLongOnceJoinedIsRefusedNamingItsKey)
{
    Game_ResetState();
    const std::string home = "/home/q";
    const std::string fitsAlone(GAME_PATH - 1 - home.size(), 'd'); // its field holds it, home doesn't
    struct Row {
        const char* key;
        std::string data, data2, save, scenario;
        size_t length;
    };
    const Row rows[] = {
        {"SetDataDir", fitsAlone, "", "save", "scenario", GAME_PATH},
        // fits, but "graphics\intface" below it doesn't
        {"SetDataDir", std::string(242, 'd'), "", "save", "scenario", GAME_PATH + 7},
        {"SetSecondDataDir", "data", fitsAlone, "save", "scenario", GAME_PATH},
        {"SetSaveDir", "data", "", fitsAlone, "scenario", GAME_PATH},
        {"SetScenarioDir", "data", "", "save", fitsAlone, GAME_PATH},
    };
    for (const Row& row : rows) {
        QV_EXPECT_FATAL(Game_SetDirectories(home.c_str(), row.data.c_str(), row.data2.c_str(),
                                            row.save.c_str(), row.scenario.c_str()),
                        std::string(row.key) + " is " + std::to_string(row.length) +
                            " characters once joined to the start directory, more than " +
                            std::to_string(GAME_PATH - 1));
    }
    Game_SetDirectories(home.c_str(), std::string(234, 'd').c_str(), "", "save", "scenario");
    EXPECT_EQ(strlen(g_InterfaceDir), (size_t)GAME_PATH - 1) << "the longest that fits is kept whole";
}

// A file named as data and configuration do (backslashes, another case) is
// reported by the name a shell can open.
TEST(FileMessages, NameTheResolvedPath)
{
    QvTempDir dir;
    dir.write("Data/DefTxt/Damage.txt", "Defense\n");
    dir.write("Data/Graphics/Broken.pcx", "not a picture");
    const std::string configured = dir.path() + "\\data\\deftxt\\";
    const struct {
        std::function<void()> read;
        std::string expected;
    } rows[] = {
        {[&] {
             TF_PARSER* p = TF_Open((configured + "damage.txt").c_str());
             ASSERT_NE(p, nullptr);
             QV_EXPECT_FATAL(TF_Error(p, "bad"), "bad");
             TF_Close(p);
         },
         "File : " + dir.path() + "/Data/DefTxt/Damage.txt"},
        {[&] {
             BITMAP b{};
             EXPECT_FALSE(Pcx_Read((dir.path() + "\\DATA\\graphics\\broken.pcx").c_str(), &b,
                                   nullptr));
         },
         "Bad PCX file [" + dir.path() + "/Data/Graphics/Broken.pcx]"},
    };
    for (const auto& row : rows) {
        QvLogCapture log;
        row.read();
        EXPECT_NE(log.text().find(row.expected), std::string::npos) << log.text();
    }
}
