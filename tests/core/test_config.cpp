// The configuration reader and the line rewrites.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/config.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/tfmod.h"
#include "core/tlog.h"
#include "support/testsupport.h"

namespace {

QCONFIG LoadText(const std::string& text)
{
    QCONFIG cfg;
    Cfg_SetDefaults(&cfg);
    Cfg_LoadText("test.cfg", text.data(), text.size(), &cfg);
    return cfg;
}

QCONFIG Defaults()
{
    QCONFIG cfg;
    Cfg_SetDefaults(&cfg);
    return cfg;
}

const char kFullConfig[] =
    "; every section\n"
    "EngineSetup {\n"
    "  SetDataDir \"gamedata\"  SetSecondDataDir \"cd\\data\"\n"
    "  SetScenarioDir \"scn\"   SetSaveDir \"saves\"\n"
    "  SetUnitsFile \"u.txt\"   SetBuildFile \"b.txt\"   SetWeaponFile \"w.txt\"\n"
    "  SetOverlayFile \"o.txt\" SetAnimateFile \"a.txt\" SetDamageFile \"d.txt\"\n"
    "  SetTrnEffFile \"t.txt\"  SetOvlEffFile \"v.txt\"  SetGeneralFile \"g.txt\"\n"
    "  SetGameMsgFile \"m.txt\"\n"
    "  SetEntryPoint mapedit\n"
    "  SetStartScenario \"alpha\" SetStartCategory CAMPAIGN SetStartTeam 5\n"
    "  SetWindowed 1 SetDebugFlags 68 SetMonoDisplay 1 SetRateDisplay 1\n"
    "  DisableAI 1 DisableEndConditions 1 EnableFSMMessages 1\n"
    "  SetOrderRecord \"rec.ord\" SetOrderPlayback \"play.ord\" SetOrderSkip 7\n"
    "  SetIntroducedNetLoss 12 LoadSavedGame 1 LoadSavedGameName \"slot3\"\n"
    "}\n"
    "LoggingPreferences {\n"
    "  SetLogFile \"run.log\"\n"
    "  EnableWarnings 0 EnableAI 1 EnableNetStatistics 1\n"
    "  ShowLogMarker 1 ShowLogTime 1\n"
    "}\n"
    "UserPreferences { SetDefaultMove 0 SetDefaultFire 2 SetInfoDelay 350 }\n"
    "MultiPlayerConfiguration {\n"
    "  SetPlayerName \"Ann Smith\"\n"
    "  SetZephnetServer \"zn.example\"\n"
    "  SetModem \"Hayes\"\n"
    "  SerialSettings { SetPort \"COM2\" SetBaud \"19200\" }\n"
    "}\n";

// ---------------------------------------------------------------------------
// Reading

TEST(ConfigRead, EverySectionFillsItsFields)
{
    QCONFIG cfg = LoadText(kFullConfig);
    EXPECT_STREQ(cfg.datadir, "gamedata");
    EXPECT_STREQ(cfg.datadir2, "cd\\data");
    EXPECT_STREQ(cfg.scenariodir, "scn");
    EXPECT_STREQ(cfg.savedir, "saves");
    const char* files[CFG_NDEFFILES] = {"u.txt", "b.txt", "w.txt", "o.txt", "a.txt",
                                        "d.txt", "t.txt", "v.txt", "g.txt", "m.txt"};
    for (int i = 0; i < CFG_NDEFFILES; i++) EXPECT_STREQ(cfg.deffiles[i], files[i]) << i;
    EXPECT_EQ(cfg.entrypoint, CFG_ENTRY_MAPEDIT);
    EXPECT_STREQ(cfg.startscenario, "alpha");
    EXPECT_EQ(cfg.startcategory, SC_CAMPAIGN);
    EXPECT_EQ(cfg.startteam, 5);
    EXPECT_EQ(cfg.windowed, 1);
    EXPECT_EQ(cfg.debugflags, 68);
    EXPECT_EQ(cfg.monodisplay, 1);
    EXPECT_EQ(cfg.ratedisplay, 1);
    EXPECT_EQ(cfg.disableai, 1);
    EXPECT_EQ(cfg.disableendconditions, 1);
    EXPECT_EQ(cfg.enablefsmmessages, 1);
    EXPECT_STREQ(cfg.orderrecord, "rec.ord");
    EXPECT_STREQ(cfg.orderplayback, "play.ord");
    EXPECT_EQ(cfg.orderskip, 7);
    EXPECT_EQ(cfg.netloss, 12);
    EXPECT_EQ(cfg.loadsavedgame, 1);
    EXPECT_STREQ(cfg.loadsavedgamename, "slot3");
    EXPECT_STREQ(cfg.logfile, "run.log");
    EXPECT_EQ(cfg.logmask, unsigned(TLOG_ERROR | TLOG_AI | TLOG_NSTAT));
    EXPECT_EQ(cfg.logoptions, unsigned(TLOGP_MARKER | TLOGP_TIME));
    EXPECT_EQ(cfg.defaultmove, 0);
    EXPECT_EQ(cfg.defaultfire, 2);
    EXPECT_EQ(cfg.infodelay, 350);
    EXPECT_STREQ(g_CfgPlayerName, "Ann Smith");
    EXPECT_STREQ(cfg.zephnetserver, "zn.example");
    EXPECT_STREQ(cfg.modem, "Hayes");
    EXPECT_STREQ(cfg.serialport, "COM2");
    EXPECT_STREQ(cfg.serialbaud, "19200");
}

TEST(ConfigRead, MissingLinesKeepTheirDefaults)
{
    QCONFIG cfg = LoadText("UserPreferences { SetInfoDelay 100 }\nLoggingPreferences { }\n");
    QCONFIG expected = Defaults();
    expected.infodelay = 100;
    EXPECT_EQ(memcmp(&cfg, &expected, sizeof cfg), 0);
    EXPECT_STREQ(cfg.datadir, "data");
    EXPECT_STREQ(cfg.deffiles[CFG_GAMEMSG], "gamemsg.txt");
    EXPECT_EQ(cfg.startcategory, SC_SINGLE);
    EXPECT_EQ(cfg.logmask, unsigned(TLOG_ERROR | TLOG_WARNING));
    EXPECT_STREQ(cfg.logfile, "quorvex.log");
}

TEST(ConfigRead, PlayerNameIsEmptiedWhenTheLineIsAbsent)
{
    snprintf(g_CfgPlayerName, sizeof g_CfgPlayerName, "%s", "Left over");
    LoadText("MultiPlayerConfiguration { SetModem \"x\" }");
    EXPECT_STREQ(g_CfgPlayerName, "");
}

TEST(ConfigRead, LogSwitchesSetAndClearTheirBits)
{
    QCONFIG cfg = LoadText("LoggingPreferences { EnableErrors 0 EnableNetErrors 1 "
                           "EnableMemory 1 EnableMemory 0 ShowLogCategory 1 ShowLogLine 1 }");
    EXPECT_EQ(cfg.logmask, unsigned(TLOG_WARNING | TLOG_NERR));
    EXPECT_EQ(cfg.logoptions, unsigned(TLOGP_CATEGORY | TLOGP_LINE));
}

TEST(ConfigRead, EntryPointAndCategoryAcceptNamesAndNumbers)
{
    EXPECT_EQ(LoadText("EngineSetup { SetEntryPoint multi }").entrypoint, CFG_ENTRY_MULTI);
    EXPECT_EQ(LoadText("EngineSetup { SetEntryPoint \"Game\" }").entrypoint, CFG_ENTRY_GAME);
    EXPECT_EQ(LoadText("EngineSetup { SetStartCategory FIXED }").startcategory, SC_FIXED);
    EXPECT_EQ(LoadText("EngineSetup { SetStartCategory 2 }").startcategory, SC_MULTI);
    EXPECT_STREQ(Cfg_EntryName(CFG_ENTRY_MAPEDIT), "MAPEDIT");
}

TEST(ConfigRead, TextValuesAreCutTo63AndNumbersFromWordsAreZero)
{
    std::string longname(100, 'x');
    QCONFIG cfg = LoadText("EngineSetup { SetDataDir \"" + longname + "\" SetStartTeam abc }");
    EXPECT_EQ(std::string(cfg.datadir), std::string(63, 'x'));
    EXPECT_EQ(cfg.startteam, 0);
}

TEST(ConfigRead, LoadReadsAFileOverWhatTheRecordHolds)
{
    QvTempDir dir;
    dir.write("quorvex.cfg", "EngineSetup { SetSaveDir \"mine\" }\n");
    QCONFIG cfg = Defaults();
    cfg.infodelay = 42;
    Cfg_Load(dir.file("quorvex.cfg").c_str(), &cfg);
    EXPECT_STREQ(cfg.savedir, "mine");
    EXPECT_EQ(cfg.infodelay, 42);
}

// ---------------------------------------------------------------------------
// Broken files

TEST(ConfigErrors, UnknownSectionIsFatalNamingTheFile)
{
    QV_EXPECT_FATAL(LoadText("EngineSetup { }\nFoo { }\n"), "Unknown Section [Foo] in test.cfg");
    EXPECT_EQ(Error_LastClass(), ERRC_PARSE);
    // Section names are matched with case.
    QV_EXPECT_FATAL(LoadText("enginesetup { }"), "Unknown Section [enginesetup] in test.cfg");
}

TEST(ConfigErrors, UnknownOrMiscasedKeyIsFatal)
{
    QV_EXPECT_FATAL(LoadText("EngineSetup { SetBogus 1 }"), "Unknown string [SetBogus]");
    QV_EXPECT_FATAL(LoadText("UserPreferences { setinfodelay 1 }"), "Unknown string [setinfodelay]");
    // A key of another section is unknown here.
    QV_EXPECT_FATAL(LoadText("EngineSetup { SetModem \"x\" }"), "Unknown string [SetModem]");
}

TEST(ConfigErrors, TruncatedTextIsFatal)
{
    QV_EXPECT_FATAL(LoadText("EngineSetup { SetDataDir"), "Expected [value] but found [EOF]");
    QV_EXPECT_FATAL(LoadText("UserPreferences { SetInfoDelay"), "Expected [value] but found [EOF]");
    QV_EXPECT_FATAL(LoadText("EngineSetup { SetWindowed 1"), "Expected [}] but found [EOF]");
    QV_EXPECT_FATAL(LoadText("EngineSetup SetWindowed 1 }"),
                    "Expected [{] but found [SetWindowed]");
}

TEST(ConfigErrors, BadEntryPointOrCategoryIsFatal)
{
    QV_EXPECT_FATAL(LoadText("EngineSetup { SetEntryPoint EDITOR }"), "Unknown entry point [EDITOR]");
    QV_EXPECT_FATAL(LoadText("EngineSetup { SetStartCategory 4 }"), "Unknown start category [4]");
}

TEST(ConfigErrors, FatalErrorFreesTheParser)
{
    long before = Debug_LiveBlocks();
    QV_EXPECT_FATAL(LoadText("EngineSetup { SetBogus 1 }"), "Unknown string [SetBogus]");
    EXPECT_EQ(Debug_LiveBlocks(), before);
}

TEST(ConfigErrorsDeathTest, MissingFileExitsWithCode1)
{
    QvTempDir dir;
    std::string path = dir.file("absent.cfg");
    QCONFIG cfg = Defaults();
    EXPECT_EXIT(Cfg_Load(path.c_str(), &cfg), testing::ExitedWithCode(1), "Configuration File : ");
}

// ---------------------------------------------------------------------------
// Line rewrites

class ConfigRewrite : public testing::Test {
protected:
    void SetUp() override { Tfmod_SetConfigPath(dir_.file("quorvex.cfg").c_str()); }
    void TearDown() override { Tfmod_SetConfigPath(nullptr); }
    void Write(const std::string& text) { dir_.write("quorvex.cfg", text); }
    std::string Read() { return dir_.read("quorvex.cfg"); }

    QvTempDir dir_;
};

const char kMulti[] =
    "EngineSetup { SetDataDir \"data\" }   ; keep this comment\n"
    "MultiPlayerConfiguration\n"
    "{\n"
    "\tSetPlayerName  \"Bob\"   ; the name\n"
    "\tSetModem \"Hayes\"\n"
    "\tSerialSettings { SetPort \"COM1\" SetBaud \"9600\" }\n"
    "}\n";

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
}

TEST_F(ConfigRewrite, PlayerNameChangesOnlyItsValueAndGrowsOrShrinks)
{
    Write(kMulti);
    Tfmod_SetPlayerName("Alexandra the Great");
    EXPECT_EQ(Read(), Replaced(kMulti, "\"Bob\"", "\"Alexandra the Great\""));
    Tfmod_SetPlayerName("Al");
    EXPECT_EQ(Read(), Replaced(kMulti, "\"Bob\"", "\"Al\""));
    Tfmod_SetPlayerName("");
    EXPECT_EQ(Read(), Replaced(kMulti, "\"Bob\"", "\"\""));
}

TEST_F(ConfigRewrite, SerialRewritesPortAndBaudTogether)
{
    Write(kMulti);
    Tfmod_SetSerial("COM3", "115200");
    EXPECT_EQ(Read(), Replaced(Replaced(kMulti, "\"COM1\"", "\"COM3\""), "\"9600\"", "\"115200\""));
}

TEST_F(ConfigRewrite, ModemChangesOnlyItsValue)
{
    Write(kMulti);
    Tfmod_SetModem("US Robotics 56k");
    EXPECT_EQ(Read(), Replaced(kMulti, "\"Hayes\"", "\"US Robotics 56k\""));
}

TEST_F(ConfigRewrite, FileUnchangedWhenSectionLineOrQuoteIsMissing)
{
    const std::string cases[] = {
        "EngineSetup { SetDataDir \"data\" }\n",
        "MultiPlayerConfiguration { SetModem \"x\" }\n",
        "MultiPlayerConfiguration { SetPlayerName Bob }\n",
        "MultiPlayerConfiguration { SetPlayerName \"Bob }\n",
        "MultiPlayerConfiguration { SetPlayerName \"Bob\n\" }\n",
        "MultiPlayerConfiguration { SetPlayerName",
        "MultiPlayerConfiguration SetPlayerName \"Bob\"\n",
    };
    for (const std::string& text : cases) {
        Write(text);
        Tfmod_SetPlayerName("Zed");
        EXPECT_EQ(Read(), text);
    }
}

TEST_F(ConfigRewrite, SerialUnchangedWhenEitherLineIsMissingOrUnquoted)
{
    const std::string cases[] = {
        "MultiPlayerConfiguration { SerialSettings { SetPort \"COM1\" } }\n",
        "MultiPlayerConfiguration { SerialSettings { SetPort \"COM1\" SetBaud 9600 } }\n",
        // SetPort outside the SerialSettings block isn't its line.
        "MultiPlayerConfiguration { SetPort \"COM1\" SerialSettings { SetBaud \"9600\" } }\n",
    };
    for (const std::string& text : cases) {
        Write(text);
        Tfmod_SetSerial("COM4", "2400");
        EXPECT_EQ(Read(), text);
    }
}

TEST_F(ConfigRewrite, KeywordInCommentStringOrOtherSectionIsNotMatched)
{
    const std::string text =
        "UserPreferences { SetPlayerName \"wrong section\" }\n"
        "MultiPlayerConfiguration {\n"
        "  ; SetPlayerName \"in a comment\"\n"
        "  SetZephnetServer \"SetPlayerName\" SetModem \"{\"\n"
        "  SetPlayerName \"Bob\"\n"
        "}\n"
        "; MultiPlayerConfiguration { SetPlayerName \"commented section\" }\n";
    Write(text);
    Tfmod_SetPlayerName("Eve");
    EXPECT_EQ(Read(), Replaced(text, "\"Bob\"", "\"Eve\""));
}

// The loader keeps the last of repeated lines; rewriting the first one would
// be undone at the next start.
TEST_F(ConfigRewrite, RepeatedLineRewritesTheOneTheLoaderKeeps)
{
    const std::string text = "MultiPlayerConfiguration { SetPlayerName \"First\" }\n"
                             "MultiPlayerConfiguration { SetPlayerName \"Second\" }\n";
    Write(text);
    Tfmod_SetPlayerName("Third");
    EXPECT_EQ(Read(), Replaced(text, "\"Second\"", "\"Third\""));
    QCONFIG cfg = Defaults();
    Cfg_Load(dir_.file("quorvex.cfg").c_str(), &cfg);
    EXPECT_STREQ(g_CfgPlayerName, "Third");
}

TEST_F(ConfigRewrite, RewrittenFileLoadsBackWithQuotesAndLineBreaksMended)
{
    Write(kMulti);
    Tfmod_SetPlayerName("Ann \"Ace\"\r\nJones");
    std::string text = Read();
    EXPECT_EQ(text, Replaced(kMulti, "\"Bob\"", "\"Ann 'Ace'  Jones\""));
    QCONFIG cfg = Defaults();
    Cfg_LoadText("quorvex.cfg", text.data(), text.size(), &cfg);
    EXPECT_STREQ(g_CfgPlayerName, "Ann 'Ace'  Jones");
    EXPECT_STREQ(cfg.modem, "Hayes");
    EXPECT_STREQ(cfg.serialbaud, "9600");
}

TEST_F(ConfigRewrite, UnreadableFileIsLoggedAndNothingIsCreated)
{
    std::string log = dir_.file("trace.log");
    Tlog_SetFile(log.c_str());
    std::string missing = dir_.file("no/such/dir/quorvex.cfg");
    Tfmod_SetConfigPath(missing.c_str());
    Tfmod_SetPlayerName("Zed");
    Tlog_SetFile(nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir_.file("no")));
    EXPECT_NE(dir_.read("trace.log").find("Unable to write file [" + missing + "]"),
              std::string::npos);
}

// A write that fails part-way (here: the file size limit) must leave the old
// configuration whole.
TEST_F(ConfigRewrite, FailedWriteKeepsThePreviousFile)
{
    Write(kMulti);
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    void (*oldhandler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    Tfmod_SetPlayerName("A much longer name than before");
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldhandler);
    EXPECT_EQ(Read(), kMulti);
}

} // namespace
