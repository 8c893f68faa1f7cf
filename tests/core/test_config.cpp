// The configuration reader and the line rewrites.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

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

TEST(ConfigRead, ValuesAreTranslatedAsTheirKeysSay)
{
    snprintf(g_CfgPlayerName, sizeof g_CfgPlayerName, "%s", "Left over");
    QCONFIG cfg = LoadText("LoggingPreferences { EnableErrors 0 EnableNetErrors 1 "
                           "EnableMemory 1 EnableMemory 0 ShowLogCategory 1 ShowLogLine 1 }");
    EXPECT_STREQ(g_CfgPlayerName, ""); // emptied when the line is absent
    EXPECT_EQ(cfg.logmask, unsigned(TLOG_WARNING | TLOG_NERR));
    EXPECT_EQ(cfg.logoptions, unsigned(TLOGP_CATEGORY | TLOGP_LINE));
    EXPECT_EQ(LoadText("EngineSetup { SetEntryPoint multi }").entrypoint, CFG_ENTRY_MULTI);
    EXPECT_EQ(LoadText("EngineSetup { SetEntryPoint \"Game\" }").entrypoint, CFG_ENTRY_GAME);
    EXPECT_EQ(LoadText("EngineSetup { SetStartCategory FIXED }").startcategory, SC_FIXED);
    EXPECT_EQ(LoadText("EngineSetup { SetStartCategory 2 }").startcategory, SC_MULTI);
    EXPECT_EQ(LoadText("EngineSetup { SetStartTeam abc }").startteam, 0);
    EXPECT_STREQ(Cfg_EntryName(CFG_ENTRY_MAPEDIT), "MAPEDIT");
}

// A value cut to fit would silently name another directory or file.
TEST(ConfigRead, TextValueFillsItsWholeFieldAndALongerOneStops)
{
    struct Row {
        const char* line;  // section and key
        size_t size;
        const char* (*field)(const QCONFIG&);
    };
    const Row rows[] = {
        {"EngineSetup { SetDataDir", CFG_PATH, [](const QCONFIG& c) { return c.datadir; }},
        {"EngineSetup { SetSaveDir", CFG_PATH, [](const QCONFIG& c) { return c.savedir; }},
        {"EngineSetup { SetUnitsFile", TF_FIELD,
         [](const QCONFIG& c) { return c.deffiles[CFG_UNITS]; }},
        {"MultiPlayerConfiguration { SetPlayerName", sizeof g_CfgPlayerName,
         [](const QCONFIG&) { return (const char*)g_CfgPlayerName; }},
    };
    for (const Row& row : rows) {
        std::string fits(row.size - 1, 'd');
        QCONFIG cfg = LoadText(std::string(row.line) + " \"" + fits + "\" }");
        EXPECT_EQ(row.field(cfg), fits) << row.line;
        QV_EXPECT_FATAL(LoadText(std::string(row.line) + "\n \"" + fits + "d\" }"),
                        std::string("Value of ") + (strchr(row.line, '{') + 2) + " longer than " +
                            std::to_string(row.size - 1) + " characters");
        EXPECT_EQ(Error_LastClass(), ERRC_PARSE);
    }
}

// ---------------------------------------------------------------------------
// Broken files

TEST(ConfigErrors, BrokenTextStopsWithWhatWasWrong)
{
    struct Row {
        const char* text;
        const char* message;
    };
    const Row rows[] = {
        {"EngineSetup { }\nFoo { }\n", "Unknown Section [Foo] in test.cfg"},
        {"enginesetup { }", "Unknown Section [enginesetup] in test.cfg"},
        {"EngineSetup { SetBogus 1 }", "Unknown string [SetBogus]"},
        {"UserPreferences { setinfodelay 1 }", "Unknown string [setinfodelay]"},
        {"EngineSetup { SetModem \"x\" }", "Unknown string [SetModem]"},
        {"EngineSetup { SetDataDir", "Expected [value] but found [EOF]"},
        {"UserPreferences { SetInfoDelay", "Expected [value] but found [EOF]"},
        {"EngineSetup { SetWindowed 1", "Expected [}] but found [EOF]"},
        {"EngineSetup", "Expected [{] but found [EOF]"},
        {"EngineSetup SetWindowed 1 }", "Expected [{] but found [SetWindowed]"},
        {"EngineSetup { SetEntryPoint EDITOR }", "Unknown entry point [EDITOR]"},
        {"EngineSetup { SetStartCategory 4 }", "Unknown start category [4]"},
    };
    for (const Row& row : rows) {
        long before = Debug_LiveBlocks();
        QV_EXPECT_FATAL(LoadText(row.text), row.message);
        EXPECT_EQ(Error_LastClass(), ERRC_PARSE) << row.text;
        EXPECT_EQ(Debug_LiveBlocks(), before) << "the parser is freed on the fatal path";
    }
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

TEST_F(ConfigRewrite, EachRewriteChangesOnlyItsValues)
{
    struct Row {
        void (*rewrite)();
        std::string expected;
    };
    const Row rows[] = {
        {[] { Tfmod_SetPlayerName("Alexandra the Great"); },
         Replaced(kMulti, "\"Bob\"", "\"Alexandra the Great\"")},
        {[] { Tfmod_SetPlayerName("Al"); }, Replaced(kMulti, "\"Bob\"", "\"Al\"")},
        {[] { Tfmod_SetPlayerName(""); }, Replaced(kMulti, "\"Bob\"", "\"\"")},
        {[] { Tfmod_SetSerial("COM3", "115200"); },
         Replaced(Replaced(kMulti, "\"COM1\"", "\"COM3\""), "\"9600\"", "\"115200\"")},
        {[] { Tfmod_SetModem("US Robotics 56k"); },
         Replaced(kMulti, "\"Hayes\"", "\"US Robotics 56k\"")},
    };
    for (const Row& row : rows) {
        Write(kMulti);
        row.rewrite();
        EXPECT_EQ(Read(), row.expected);
    }
}

TEST_F(ConfigRewrite, FileUnchangedWhenABlockLineOrQuoteIsMissing)
{
    const std::string cases[] = {
        "EngineSetup { SetDataDir \"data\" }\n",
        "MultiPlayerConfiguration { SetModem \"x\" }\n",
        "MultiPlayerConfiguration { SetPlayerName Bob }\n",
        "MultiPlayerConfiguration { SetPlayerName \"Bob }\n",
        "MultiPlayerConfiguration { SetPlayerName \"Bob\n\" }\n",
        "MultiPlayerConfiguration { SetPlayerName",
        "MultiPlayerConfiguration SetPlayerName \"Bob\"\n",
        "MultiPlayerConfiguration { SerialSettings { SetPort \"COM1\" } }\n",
        "MultiPlayerConfiguration { SerialSettings { SetPort \"COM1\" SetBaud 9600 } }\n",
        // SetPort outside the SerialSettings block isn't its line.
        "MultiPlayerConfiguration { SetPort \"COM1\" SerialSettings { SetBaud \"9600\" } }\n",
    };
    for (const std::string& text : cases) {
        Write(text);
        Tfmod_SetPlayerName("Zed");
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

// Both lines, whichever step failed.
TEST_F(ConfigRewrite, FailedRewriteKeepsThePreviousFileAndLogsBothLines)
{
    std::string log = dir_.file("trace.log");
    Tlog_SetFile(log.c_str());
    std::string missing = dir_.file("no/such/dir/quorvex.cfg");
    Tfmod_SetConfigPath(missing.c_str());
    Tfmod_SetPlayerName("Zed");
    EXPECT_FALSE(std::filesystem::exists(dir_.file("no")));

    // A write that fails: a directory sits on the temporary file's name.
    Tfmod_SetConfigPath(dir_.file("quorvex.cfg").c_str());
    Write(kMulti);
    std::filesystem::create_directory(dir_.file("quorvex.cfg.tmp" + std::to_string(getpid())));
    Tfmod_SetPlayerName("Zed");
    Tlog_SetFile(nullptr);
    EXPECT_EQ(Read(), kMulti);
    std::filesystem::remove(dir_.file("quorvex.cfg.tmp" + std::to_string(getpid())));

    // One that fails part-way (here: the file size limit).
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

    std::string text = dir_.read("trace.log");
    for (const std::string& path : {missing, dir_.file("quorvex.cfg")}) {
        size_t first = text.find("Unable to write file [" + path + "]");
        size_t second = text.find("Unable to write to file [" + path + "]");
        EXPECT_NE(first, std::string::npos) << text;
        EXPECT_NE(second, std::string::npos) << text;
        EXPECT_LT(first, second);
    }
}

// A private configuration stays private, and one kept elsewhere behind a
// link is the one that changes.
TEST_F(ConfigRewrite, RewriteKeepsPermissionsAndWritesThroughALink)
{
    std::filesystem::create_directory(dir_.file("real"));
    dir_.write("real/multi.cfg", kMulti);
    std::filesystem::permissions(dir_.file("real/multi.cfg"), std::filesystem::perms(0600));
    std::filesystem::create_symlink("real/multi.cfg", dir_.file("quorvex.cfg"));
    Tfmod_SetPlayerName("Linked");
    EXPECT_TRUE(std::filesystem::is_symlink(dir_.file("quorvex.cfg")));
    EXPECT_EQ(dir_.read("real/multi.cfg"), Replaced(kMulti, "\"Bob\"", "\"Linked\""));
    EXPECT_EQ(std::filesystem::status(dir_.file("real/multi.cfg")).permissions(),
              std::filesystem::perms(0600));
}

} // namespace
