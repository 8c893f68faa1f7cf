// The configuration reader and the line rewrites.
#include <gtest/gtest.h>

#include <unistd.h>

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

// ---------------------------------------------------------------------------
// Reading

std::string Text(const char* field) { return field; }
std::string Number(long value) { return std::to_string(value); }

// Each key in its section, read over the defaults: the field it fills.
TEST(ConfigRead, EveryKeyFillsItsField)
{
    struct Row {
        const char* text;
        std::string (*field)(const QCONFIG&);
        std::string want;
    };
#define NUMBER(f) [](const QCONFIG& c) { return Number((long)c.f); }
    const Row rows[] = {
        {"EngineSetup { SetUnitsFile u SetBuildFile b SetWeaponFile w SetOverlayFile o "
         "SetAnimateFile a SetDamageFile d SetTrnEffFile t SetOvlEffFile v SetGeneralFile g "
         "SetGameMsgFile m }",
         [](const QCONFIG& c) {
             std::string all;
             for (const char* f : c.deffiles) all += f;
             return all;
         },
         "ubwoadtvgm"},
        {"EngineSetup { SetEntryPoint mapedit }", NUMBER(entrypoint), Number(CFG_ENTRY_MAPEDIT)},
        {"EngineSetup { SetStartCategory CAMPAIGN }", NUMBER(startcategory), Number(SC_CAMPAIGN)},
        {"EngineSetup { SetStartTeam abc }", NUMBER(startteam), "0"},
        {"LoggingPreferences { EnableErrors 0 EnableNetErrors 1 EnableMemory 1 EnableMemory 0 }",
         NUMBER(logmask), Number(TLOG_WARNING | TLOG_NERR)},
        {"LoggingPreferences { ShowLogMarker 1 ShowLogTime 1 ShowLogCategory 1 ShowLogLine 1 "
         "ShowLogCategory 0 }",
         NUMBER(logoptions), Number(TLOGP_MARKER | TLOGP_TIME | TLOGP_LINE)},
        {"MultiPlayerConfiguration { SetPlayerName \"Ann Smith\" }",
         [](const QCONFIG&) { return Text(g_CfgPlayerName); }, "Ann Smith"},
        {"MultiPlayerConfiguration { SetZephnetServer \"zn.example\" SetModem \"Hayes\" "
         "SerialSettings { SetPort \"COM2\" SetBaud \"19200\" } }",
         [](const QCONFIG& c) {
             return Text(c.zephnetserver) + "," + c.modem + "," + c.serialport + "," + c.serialbaud;
         },
         "zn.example,Hayes,COM2,19200"},
    };
#undef NUMBER
    for (const Row& row : rows) EXPECT_EQ(row.field(LoadText(row.text)), row.want) << row.text;
    EXPECT_STREQ(g_CfgPlayerName, "") << "emptied when the line is absent";
}

TEST(ConfigRead, MissingLinesKeepTheirDefaults)
{
    QCONFIG cfg = LoadText("UserPreferences { SetInfoDelay 100 }\nLoggingPreferences { }\n");
    QCONFIG expected = Defaults();
    expected.infodelay = 100;
    EXPECT_EQ(memcmp(&cfg, &expected, sizeof cfg), 0);
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
        {"EngineSetup { SetBogus 1 }", "Unknown string [SetBogus]"},
        {"EngineSetup { SetModem \"x\" }", "Unknown string [SetModem]"},
        {"EngineSetup { SetWindowed 1", "Expected [}] but found [EOF]"},
        // A bracket is no value: taking "}" as one let the block run on, and
        // the configuration rewrite then edited another line than was read.
        {"MultiPlayerConfiguration { SetModem }", "Expected [value] but found [}]"},
        {"EngineSetup { SetWindowed }", "Expected [value] but found [}]"},
        {"EngineSetup { SetWindowed 1 \"}\"", "Unknown string [}]"},
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
        // Quotes and line breaks would break the line for the loader.
        {[] { Tfmod_SetPlayerName("Ann \"Ace\"\r\nJones"); },
         Replaced(kMulti, "\"Bob\"", "\"Ann 'Ace'  Jones\"")},
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

// The loader stops on a value longer than its field: a rewrite that wrote one
// made the next start fail. Whatever the length, a rewrite is followed by a
// load that succeeds, with the new value when it fits and the old one when not.
TEST_F(ConfigRewrite, OverlongValueIsRefusedSoTheNextLoadNeverFails)
{
    struct Row {
        const char* name;
        void (*rewrite)(const char* value);
        std::string (*field)(const QCONFIG&);
        const char* old;
    };
    const Row rows[] = {
        {"SetPlayerName", [](const char* v) { Tfmod_SetPlayerName(v); },
         [](const QCONFIG&) { return std::string(g_CfgPlayerName); }, "Bob"},
        {"SetPort", [](const char* v) { Tfmod_SetSerial(v, "9600"); },
         [](const QCONFIG& c) { return std::string(c.serialport); }, "COM1"},
        {"SetBaud", [](const char* v) { Tfmod_SetSerial("COM1", v); },
         [](const QCONFIG& c) { return std::string(c.serialbaud); }, "9600"},
        {"SetModem", [](const char* v) { Tfmod_SetModem(v); },
         [](const QCONFIG& c) { return std::string(c.modem); }, "Hayes"},
    };
    const size_t field = TF_FIELD - 1;
    QvTempDir logdir;
    Tlog_SetFile(logdir.file("t.log").c_str());
    for (const Row& row : rows) {
        for (size_t len : {(size_t)0, field, field + 1, (size_t)5000}) {
            Write(kMulti);
            std::string value(len, 'v');
            row.rewrite(value.c_str());
            QCONFIG cfg;
            Error_SetFatalHook(QvTest_ThrowHook);
            try {
                cfg = LoadText(Read());
            } catch (const QvFatal& f) {
                ADD_FAILURE() << row.name << " " << len << ": " << f.message;
            }
            Error_SetFatalHook(nullptr);
            EXPECT_EQ(row.field(cfg), len <= field ? value : row.old) << row.name << " " << len;
        }
    }
    Tlog_SetFile(nullptr);
    EXPECT_NE(logdir.read("t.log").find("Value of SetModem longer than 63 characters"), std::string::npos);
}

TEST_F(ConfigRewrite, FileUnchangedWhenABlockLineOrQuoteIsMissing)
{
    const std::string cases[] = {
        "EngineSetup { SetDataDir \"data\" }\n",
        "MultiPlayerConfiguration { SetPlayerName \"Bob }\n",
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

// Both lines, whichever step failed: the file can't be opened, or a
// directory sits on the temporary file's name.
TEST_F(ConfigRewrite, FailedRewriteKeepsThePreviousFileAndLogsBothLines)
{
    QvLogCapture log;
    std::string missing = dir_.file("no/such/dir/quorvex.cfg");
    Tfmod_SetConfigPath(missing.c_str());
    Tfmod_SetPlayerName("Zed");
    EXPECT_FALSE(std::filesystem::exists(dir_.file("no")));
    Tfmod_SetConfigPath(dir_.file("quorvex.cfg").c_str());
    Write(kMulti);
    std::filesystem::create_directory(dir_.file("quorvex.cfg.tmp" + std::to_string(getpid())));
    Tfmod_SetPlayerName("Zed");
    EXPECT_EQ(Read(), kMulti);
    for (const std::string& path : {missing, dir_.file("quorvex.cfg")}) {
        size_t first = log.text().find("Unable to write file [" + path + "]");
        size_t second = log.text().find("Unable to write to file [" + path + "]");
        EXPECT_NE(second, std::string::npos) << log.text();
        EXPECT_LT(first, second);
    }
}

} // namespace
