// The program itself started on a saved game (LoadSavedGame): it loads the
// file through a new game of its scenario and plays on from the file's
// update; a truncated file is reported and the program ends cleanly through
// the front end.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/config.h"
#include "core/gamestate.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "save/save.h"
#include "support/testsupport.h"
#include "units/orders.h"

namespace {

pid_t StartProgram(const std::string& dir)
{
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(99);
        setenv("QUORVEX_PLATFORM", "headless", 1);
        execl(QV_PROGRAM, QV_PROGRAM, (char*)nullptr);
        _exit(98);
    }
    return pid;
}

void Pause(long ms)
{
    struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
}

// A copy of the test run directory with the fixture scenario saved at
// update 50 in its saved-games directory (made there, so that what the file
// names matches what the program loads).
class SaveProgram : public testing::Test {
protected:
    QvTempDir dir_;
    void SetUp() override
    {
        std::filesystem::copy(QV_TEST_RUNDIR, dir_.path(), std::filesystem::copy_options::recursive);
        QvLogCapture log;
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        g_Config.disableendconditions = 1;
        Plat_InitWith(&g_PlatHeadless);
        Game_SetDirectories(dir_.path().c_str(), "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        Game_SetScenarioName("SAVEGAME");
        Input_Init();
        Video_Init();
        Event_Init();
        Save_Init();
        InitCommonGameSystems();
        InitGameSpecifics();
        while (g_UpdateCount < 50) {
            Game_Update();
            Orders_AfterUpdate();
        }
        ASSERT_EQ(Save_Game(dir_.file("save/at50.sav").c_str(), 0), 1);
        CloseGameSpecifics();
        CloseCommonGameSystems();
        Event_Close();
        Video_Close();
        Input_Close();
        Plat_Close();
        Cfg_SetDefaults(&g_Config);
    }
    // Runs the program on name until the log holds until (or 60 s), half a
    // second more, then an interrupt; its exit status.
    int Run(const char* name, const char* until)
    {
        dir_.write("quorvex.cfg", std::string("EngineSetup\n{\n  SetEntryPoint GAME\n  DisableEndConditions 1\n"
                                              "  LoadSavedGame 1\n  LoadSavedGameName \"") +
                                      name + "\"\n}\nLoggingPreferences\n{\n  EnableSave 1\n  EnableDiagnostics 1\n}\n");
        pid_t pid = StartProgram(dir_.path());
        int status = 0;
        bool seen = false, ended = false;
        for (int waited = 0; waited < 60000 && !seen && !ended; waited += 10) {
            seen = dir_.read("quorvex.log").find(until) != std::string::npos;
            if (!seen) Pause(10);
            ended = waitpid(pid, &status, WNOHANG) == pid;
        }
        if (!ended) {
            Pause(500);
            kill(pid, SIGINT);
            waitpid(pid, &status, 0);
        }
        EXPECT_TRUE(seen) << dir_.read("quorvex.log");
        return status;
    }
};

TEST_F(SaveProgram, LoadSavedGameStartsTheSavedGameAndPlaysOn)
{
    const int status = Run("at50.sav", "- done.");
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string log = dir_.read("quorvex.log");
    for (const char* line : {"Loading...", "- done.", "Time: ", "Standard exit point"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    const char* const ended = "Game ended after ";
    const size_t at = log.find(ended);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_GE(atoi(log.c_str() + at + strlen(ended)), 51) << "the game went on from update 50";
}

TEST_F(SaveProgram, ATruncatedFileIsReportedAndTheProgramEndsThroughTheFrontEnd)
{
    const std::string good = dir_.read("save/at50.sav");
    dir_.write("save/cut.sav", good.substr(0, good.size() - 100));
    const int status = Run("cut.sav", "Saved game not loaded: ");
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string log = dir_.read("quorvex.log");
    EXPECT_NE(log.find("cut.sav: "), std::string::npos) << log;
    EXPECT_NE(log.find(" at offset "), std::string::npos) << log;
    EXPECT_NE(log.find("Game ended after 0 updates"), std::string::npos) << "no game was played\n" << log;
    EXPECT_NE(log.find("Standard exit point"), std::string::npos) << log;
}

} // namespace
