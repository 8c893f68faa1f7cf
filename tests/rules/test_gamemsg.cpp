// Game messages: the message files, the time rules, what a trigger shows,
// plays and places, the composer, and who hears the executed orders.
#include "rules/gamemsg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/mlstring.h"
#include "core/tlog.h"
#include "core/tfparse.h"
#include "core/utils.h"
#include "platform/plat.h"
#include "platform/sound.h"
#include "platform/wav.h"
#include "support/testsupport.h"
#include "ui/blip.h"
#include "units/orders.h"
#include "units/team.h"

namespace {

// A data directory with the sound "s" (one second long) and the messages of
// one local file, read as the game reads them; sound on when asked.
class GameMsgTest : public testing::Test {
protected:
    void SetUp() override
    {
        memcpy(oldData_, g_DataDir, sizeof oldData_);
        memcpy(oldScenario_, g_ScenarioDir, sizeof oldScenario_);
        snprintf(g_DataDir, sizeof g_DataDir, "%s", data_.path().c_str());
        snprintf(g_ScenarioDir, sizeof g_ScenarioDir, "%s", data_.file("scn").c_str());
        std::filesystem::create_directories(data_.file("sound"));
        std::vector<uint8_t> s(11025, 200);
        ASSERT_TRUE(Wav_Write(data_.file("sound/s.wav").c_str(), s.data(), (int)s.size()));
        PlatHeadless_SetClock(0, 0);
    }
    void TearDown() override
    {
        GameMsg_ResetStdIds();
        GameMsg_Close();
        Blip_Close();
        if (sound_) Sound_Close();
        memcpy(g_DataDir, oldData_, sizeof oldData_);
        memcpy(g_ScenarioDir, oldScenario_, sizeof oldScenario_);
    }
    void Load(const std::string& local, const std::string& scenario = "", bool sound = false)
    {
        if (sound && !sound_) Sound_Init();
        sound_ = sound_ || sound;
        QvLocalMessages files(local);
        if (!scenario.empty()) data_.write("scn/gamemsg.txt", scenario);
        GameMsg_Init();
    }
    bool Shown(const std::string& text) const
    {
        return log_.text().find("Message: " + text) != std::string::npos;
    }

    QvLogCapture log_{TLOG_DIAG};
    QvTempDir data_;
    char oldData_[GAME_PATH], oldScenario_[GAME_PATH];
    bool sound_ = false;
};

} // namespace

class GameMsgFile : public GameMsgTest {};

TEST_F(GameMsgFile, EveryLineSetsItsFieldAndTheScenarioComesFirst)
{
    Load("CreateMsg(\"A\") { SetSound(\"s\") SetSound(\"s\") IsSfx() SetTimeLimit(3) }\n"
         "CreateMsg(\"B\") { QueueSound() SetTimeQuiet(0) GetMLString(1)\n"
         "  CreateBlip(\"CIRCLE\") { CircleRGB(40 -3 12) CircleLife(0) CircleSpeed(-5) } }\n"
         "CreateMsg(\"MSG_UNITDESTROYED\") { }\n"
         "}\nCreateMsg(\"after the end\") { }\n",
         "CreateMsg(\"MSG_UNITDESTROYED\") { IsSfx() }\n");
    const GAME_MSG* a = GameMsg_SymToData("A");
    const GAME_MSG* b = GameMsg_SymToData("B");
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->queuesnd, 1) << "a second sound queues";
    EXPECT_EQ(b->forcestring, 1);
    EXPECT_STREQ(b->text, "MLS ERROR") << "no strings loaded";
    ASSERT_NE(b->bliptype, nullptr);
    EXPECT_EQ(b->bliptype->circle.color, 31756);
    EXPECT_EQ(b->bliptype->circle.speed, 1);
    EXPECT_EQ(GameMsg_SymToData("after the end"), nullptr);
    EXPECT_EQ(GameMsg_SymToData("a"), nullptr) << "symbols keep their case";
    GameMsg_LookupStdIds();
    ASSERT_NE(GameMsg_Std(MSG_UNITDESTROYED), nullptr);
    EXPECT_EQ(GameMsg_Std(MSG_UNITDESTROYED)->issfx, 1) << "the scenario's replaces the local one";
    EXPECT_EQ(GameMsg_Std(MSG_SFXRUMBLE), nullptr);
    EXPECT_NE(log_.text().find("Missing game message [MSG_SFXRUMBLE]"), std::string::npos);
}

// The cause with file and line in the log, then the fatal error that names
// the file; the causes that stop at once name the line in the box.
TEST_F(GameMsgFile, BrokenFilesStopWithFileAndLine)
{
    const struct {
        const char* text;
        const char* cause; // logged before "Error parsing"; null: stops at once
        const char* fatal;
    } rows[] = {
        {"\nCreateMsg(\"A\") { }\nDefineMsg", "Unknown function [DefineMsg] in ", nullptr},
        {"CreateMsg(\"A\") {\n Play() }", "Unknown String [Play] in CreateMsg(A)", nullptr},
        {"CreateMsg(\"\") { }", "Null game message symbol name", nullptr},
        {"CreateMsg(\"A\") { SetSound(\"s\")", "Unexpected end of file in CreateMsg(A)", nullptr},
        {"CreateMsg() { }", nullptr, "Expected String"},
        {"CreateMsg(\"A\") { CreateBlip(\"CIRCLE\") { CircleSize(3) } }", nullptr,
         "Unknown CIRCLE function [CircleSize] in CreateMsg(A)"},
    };
    for (const auto& r : rows) {
        log_.clear();
        QvLocalMessages files(r.text);
        std::string path = files.dir().file("gamemsg.txt");
        QV_EXPECT_FATAL(GameMsg_Init(), r.cause ? "Error parsing [" + path + "]" : r.fatal);
        if (r.cause) {
            EXPECT_NE(log_.text().find(r.cause), std::string::npos) << r.text << log_.text();
            EXPECT_NE(log_.text().find("Error in file [" + path + "] at line ["), std::string::npos);
        } else {
            EXPECT_NE(log_.text().find("File : " + path), std::string::npos) << r.text;
        }
        GameMsg_Close();
    }
}

TEST(GameMsgFileDeath, MissingLocalFileStopsTheProgram)
{
    QvTempDir dir;
    char old[GAME_PATH];
    memcpy(old, g_LocalDir, sizeof old);
    snprintf(g_LocalDir, sizeof g_LocalDir, "%s", dir.path().c_str());
    EXPECT_EXIT(GameMsg_Init(), testing::ExitedWithCode(1),
                "Unable to open required file\nGame message file \\[" + dir.path() + "/gamemsg.txt\\]");
    memcpy(g_LocalDir, old, sizeof old);
}

// The demo world's messages of the in-game save and load buttons show a
// line each: with only a sound, a refused file went by without a word on a
// machine without sound.
TEST_F(GameMsgFile, TheDemoWorldsSaveAndLoadMessagesShowALine)
{
    ASSERT_GT(MLString_Load(QV_DEMO_DEFTXT "/../mlstring.cfg"), 0);
    char old[GAME_PATH];
    memcpy(old, g_LocalDir, sizeof old);
    snprintf(g_LocalDir, sizeof g_LocalDir, "%s", QV_DEMO_DEFTXT "/../local");
    GameMsg_Init();
    memcpy(g_LocalDir, old, sizeof old);
    GameMsg_LookupStdIds();
    const GAMEMSG_ARG name = GameMsg_Str("first.sav");
    for (int id : {MSG_IGISAVINGGAME, MSG_SAVEDONE, MSG_IGILOADINGGAME, MSG_SAVEINVALID, MSG_SAVEOUTOFDATE}) {
        GAME_MSG* m = GameMsg_Std(id);
        ASSERT_NE(m, nullptr) << id;
        EXPECT_EQ(std::string(m->text).find("MLS"), std::string::npos) << m->msgsym << ": " << m->text;
        log_.clear();
        EXPECT_EQ(GameMsg_TriggerVar(m, &name, 1), 1) << m->msgsym;
        EXPECT_NE(log_.text().find("Message: "), std::string::npos) << m->msgsym;
        const bool named = id == MSG_IGISAVINGGAME || id == MSG_IGILOADINGGAME;
        EXPECT_EQ(log_.text().find("first.sav") != std::string::npos, named) << m->msgsym;
    }
    MLString_Unload();
}

class GameMsgTrigger : public GameMsgTest {};

TEST_F(GameMsgTrigger, TimeRulesPassOncePerPeriodOrAfterAQuietPeriod)
{
    const struct {
        const char* rule;
        std::vector<int> seconds;
        std::string passed; // one character per trigger
    } rows[] = {
        {"SetTimeLimit(5)", {0, 1, 2, 3, 4, 5, 6, 9, 10}, "100001001"},
        {"SetTimeQuiet(5)", {0, 1, 2, 3, 4, 5, 6, 7, 13, 14}, "1000000010"},
        {"SetTimeLimit(0)", {0, 0, 1}, "111"},
    };
    for (const auto& r : rows) {
        Load(std::string("CreateMsg(\"T\") { IsSfx() ") + r.rule + " }");
        GAME_MSG* m = GameMsg_SymToData("T");
        snprintf(m->text, sizeof m->text, "tick");
        std::string passed;
        for (int s : r.seconds) {
            PlatHeadless_SetClock(0, (uint32_t)s * 1000);
            passed += GameMsg_TriggerStd(m) ? '1' : '0';
        }
        EXPECT_EQ(passed, r.passed) << r.rule;
        GameMsg_Close();
    }
}

TEST_F(GameMsgTrigger, TextSoundsAndBlipFollowTheMessageAndTheSoundState)
{
    const struct { const char* lines; bool sound; int x, y; bool text, playing, blip; } rows[] = {
        {"SetSound(\"s\")", true, -1, -1, false, true, false},
        {"SetSound(\"s\")", false, -1, -1, true, false, false},
        {"SetSound(\"s\") GetMLString(1)", true, -1, -1, true, true, false},
        {"", true, -1, -1, true, false, false},
        {"CreateBlip(\"CIRCLE\") { }", false, 0, 5, true, false, false},
        {"CreateBlip(\"CIRCLE\") { }", false, 4, 5, true, false, true},
        {"SetSound(\"s\") IsSfx()", true, -1, -1, false, true, false},
    };
    for (const auto& r : rows) {
        if (sound_ && !r.sound) {
            Sound_Close();
            sound_ = false;
        }
        Load(std::string("CreateMsg(\"T\") { ") + r.lines + " }", "", r.sound);
        Blip_Init();
        GAME_MSG* m = GameMsg_SymToData("T");
        snprintf(m->text, sizeof m->text, "hello %d", (int)(&r - rows));
        log_.clear();
        EXPECT_EQ(GameMsg_TriggerStdXY(m, r.x, r.y), 1) << r.lines;
        EXPECT_EQ(Shown(m->text), r.text) << r.lines << " sound " << r.sound;
        EXPECT_EQ(Sound_VoicesPlaying() > 0, r.playing) << r.lines;
        EXPECT_EQ(Blip_First() != nullptr, r.blip) << r.lines;
        GameMsg_Close();
    }
    EXPECT_EQ(GameMsg_TriggerStd(nullptr), 0);
}

TEST(GameMsgFormat, FillsOnlyConversionsThatMatchTheirArguments)
{
    const GAMEMSG_ARG i7 = GameMsg_Int(7), sx = GameMsg_Str("x"), ineg = GameMsg_Int(-1);
    const struct {
        const char* fmt;
        std::vector<GAMEMSG_ARG> args;
        const char* out;
        int stray;
    } rows[] = {
        {"%d units of %s", {i7, sx}, "7 units of x", 0},
        {"%05d|%-3s|%x|%u|%c|%i|%%", {i7, sx, GameMsg_Int(255), ineg, GameMsg_Int('A'), i7},
         "00007|x  |ff|4294967295|A|7|%", 0},
        {"%s took %d", {i7}, "%s took %d", 2},
        {"%n%p%f%ld%*d", {i7, i7, i7}, "%n%p%f%ld%*d", 5},
        {"end %", {}, "end %", 1},
        {"%s", {GameMsg_Str(nullptr)}, "", 0},
        {"%99999d%99999d", {i7, i7}, "", 0}, // widths cut to the line: checked by length
    };
    for (const auto& r : rows) {
        char out[GAMEMSG_STRLEN];
        EXPECT_EQ(GameMsg_Format(out, r.fmt, r.args.data(), (int)r.args.size()), r.stray) << r.fmt;
        if (r.out[0]) EXPECT_STREQ(out, r.out) << r.fmt;
        else EXPECT_LT(strlen(out), (size_t)GAMEMSG_STRLEN) << r.fmt;
    }
}

class GameMsgOrders : public GameMsgTest {};

TEST_F(GameMsgOrders, OnlyTheLocalSidesOfGiftsAndAllianceChangesHearOfThem)
{
    std::string file;
    for (const char* s : {"MSG_GAVECREDITS", "MSG_ORDGIVENCREDITS", "MSG_ALLIANCECHANGED",
                          "MSG_NEWENEMY", "MSG_ALLYREQUEST", "MSG_SFXCREDITADD"})
        file += std::string("CreateMsg(\"") + s + "\") { }\n";
    Load(file);
    GameMsg_LookupStdIds();
    for (int i = 0; i < MSG_STDCOUNT; i++)
        if (GAME_MSG* m = GameMsg_Std(i)) snprintf(m->text, sizeof m->text, "<%d>", i);
    Cfg_SetDefaults(&g_Config);
    Team_SetDefaults();
    Team_InitTeamData();
    Orders_Init();
    g_AlliancesDisabled = 0;
    g_LocalTeam = 3;
    const struct { void (*order)(void); std::vector<int> heard; } rows[] = {
        {[] { Orders_QGiveCredits(3, 4, 10); }, {MSG_GAVECREDITS}},
        {[] { Orders_QGiveCredits(4, 3, 10); }, {MSG_SFXCREDITADD, MSG_ORDGIVENCREDITS}},
        {[] { Orders_QGiveCredits(4, 5, 10); }, {}},
        {[] { Orders_QChangeAlly(4, 3, TR_ENEMY); }, {MSG_ALLIANCECHANGED, MSG_NEWENEMY}},
        {[] { Orders_QChangeAlly(4, 3, TR_ALLY); }, {MSG_ALLIANCECHANGED, MSG_ALLYREQUEST}},
        {[] { Orders_QChangeAlly(3, 4, TR_ALLY); }, {}},
        {[] { Orders_QChangeAlly(4, 3, TR_ALLY); }, {MSG_ALLIANCECHANGED}},
        {[] { Orders_QChangeAlly(4, 5, TR_ENEMY); }, {}},
    };
    Team_SetCredits(3, 100);
    Team_SetCredits(4, 100);
    for (const auto& r : rows) {
        log_.clear();
        r.order();
        Orders_AfterUpdate();
        std::vector<int> heard, want = r.heard;
        for (int i = 0; i < MSG_STDCOUNT; i++)
            if (Shown("<" + std::to_string(i) + ">")) heard.push_back(i);
        std::sort(want.begin(), want.end());
        EXPECT_EQ(heard, want) << (&r - rows);
    }
    Orders_Close();
    Team_CloseTeamData();
    g_LocalTeam = 0;
}
