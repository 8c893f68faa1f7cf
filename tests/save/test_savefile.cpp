// The saved-game file: a save and a load of the game's registered words,
// the header's results, and the refusal of damaged files with the game left
// as it was.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "core/crc32.h"
#include "core/debug.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/uid.h"
#include "core/utils.h"
#include "map/mapview.h"
#include "save/save.h"
#include "support/testsupport.h"

namespace {

struct Words {
    MAPVIEW view;
    uint32_t update;
    int32_t uid;
    bool operator==(const Words& o) const { return memcmp(this, &o, sizeof *this) == 0; }
};

Words Current() { return Words{g_MapView, g_UpdateCount, Uid_Get()}; }
void SetWords(int base)
{
    g_MapView = MAPVIEW{base, base + 1, base + 2, base + 3, base + 4, base + 5};
    g_UpdateCount = (uint32_t)base * 7;
    Uid_Set(base * 3);
}

class SaveFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        Save_Init();
        memcpy(oldName_, g_ScenarioName, sizeof oldName_);
        strcpy(g_ScenarioName, "Alpha");
        SetWords(100);
        saved_ = Current();
        ASSERT_EQ(Save_Game(dir_.file("save/a.sav").c_str(), 0), 1);
        file_ = dir_.read("save/a.sav");
        SetWords(500);
        other_ = Current();
    }
    void TearDown() override { memcpy(g_ScenarioName, oldName_, sizeof oldName_); }
    int LoadBytes(const std::string& bytes)
    {
        dir_.write("b.sav", bytes);
        return Save_Load(dir_.file("b.sav").c_str());
    }
    static void Put32(std::string& s, size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; i++) s[at + i] = (char)(v >> (8 * i));
    }
    QvTempDir dir_;
    std::string file_;
    Words saved_{}, other_{};
    char oldName_[16];
};

TEST_F(SaveFile, RoundTripRestoresTheRegisteredWordsAndLogsItsSteps)
{
    QvLogCapture log(TLOG_SAVE);
    EXPECT_EQ(Save_Load(dir_.file("save/a.sav").c_str()), SAVE_LOADED) << Save_LoadError();
    EXPECT_TRUE(Current() == saved_);
    for (const char* line : {"Loading...", "- done.", "Time: "})
        EXPECT_NE(log.text().find(line), std::string::npos) << line;
    strcpy(g_ScenarioName, "ALPHA");
    SetWords(9);
    EXPECT_EQ(Save_Load(dir_.file("save/a.sav").c_str()), SAVE_LOADED) << "scenario names match in any case";
    EXPECT_TRUE(Current() == saved_);
}

TEST_F(SaveFile, SavingTwiceGivesTheSameBytesAndADump)
{
    SetWords(100);
    Save_SetDumpFileName(dir_.file("SAVE.LOG").c_str());
    ASSERT_EQ(Save_Game(dir_.file("c.sav").c_str(), 0), 1);
    EXPECT_EQ(dir_.read("c.sav"), file_);
    std::string dump = dir_.read("SAVE.LOG");
    // The dump's count of globals is the number of global blocks it lists.
    size_t locals = dump.find("Locals:");
    ASSERT_NE(locals, std::string::npos) << dump;
    int listed = 0;
    for (size_t at = dump.find(" Block:"); at < locals; at = dump.find(" Block:", at + 1)) listed++;
    EXPECT_EQ(dump.rfind("Globals: " + std::string(listed < 10000 ? 5 - std::to_string(listed).size() : 0, ' ') +
                             std::to_string(listed) + "\n",
                         0),
              0u)
        << dump.substr(0, 200);
    EXPECT_GT(listed, 17);
    EXPECT_NE(dump.find("ULONG CRC: "), std::string::npos) << dump;
    // The one local block of a bare game: the (empty) vortex list.
    EXPECT_NE(dump.find("Locals:     1\n"), std::string::npos) << dump;
    EXPECT_NE(dump.find("VORTEXGLLHEADER"), std::string::npos) << dump;
    EXPECT_EQ(g_SaveFlags & SAVEF_DUMP, 0u) << "the dump goes with one save";
}

TEST_F(SaveFile, AFileThatCantBeMadeFailsAndKeepsTheOldOne)
{
    dir_.write("plain", "x");
    QvLogCapture log;
    EXPECT_EQ(Save_Game(dir_.file("plain/a.sav").c_str(), 0), 0);
    EXPECT_EQ(dir_.read("save/a.sav"), file_);
}

TEST_F(SaveFile, HeaderResults)
{
    struct Row {
        const char* name;
        size_t at;
        uint32_t value;
        bool fixcrc;
        int result;
        const char* log;
    } rows[] = {
        {"bad header CRC", 28, 0x12345678, false, SAVE_BADFILE, "Save file has bad CRC"},
        {"version 1.5", 4, 0x00050001, true, SAVE_OLDVERSION,
         "Save file out of date: version=1.5 should be=1.6"},
        {"other scenario", 12, 0x61746542, true, SAVE_OTHERSCENARIO, "Scenario different: File=Betaa Game=Alpha"},
        {"header length", 0, 25, false, SAVE_BADFILE, "header length 25 at offset 0"},
    };
    // Another scenario's file names a folder of the current category.
    char category[GAME_PATH];
    memcpy(category, g_ScenarioCategoryDir, sizeof category);
    Str_CopySafe(g_ScenarioCategoryDir, dir_.file("scenario").c_str(), sizeof g_ScenarioCategoryDir);
    dir_.write("scenario/Betaa/QUORVEX.scn", "");
    for (const Row& r : rows) {
        QvLogCapture log(TLOG_SAVE);
        std::string bytes = file_;
        Put32(bytes, r.at, r.value);
        if (r.fixcrc) Put32(bytes, 28, Crc32_Block(bytes.data() + 4, 24));
        EXPECT_EQ(LoadBytes(bytes), r.result) << r.name;
        EXPECT_NE(log.text().find(r.log), std::string::npos) << r.name << ": " << log.text();
        EXPECT_TRUE(Current() == other_) << r.name;
    }
    memcpy(g_ScenarioCategoryDir, category, sizeof category);
    EXPECT_EQ(Save_CheckHeader(dir_.file("save/a.sav").c_str()), SAVE_LOADED);
    EXPECT_STREQ(g_SaveHeader.scenario, "Alpha");
    EXPECT_EQ(Save_CheckHeader(dir_.file("none.sav").c_str()), SAVE_BADFILE);
}

TEST_F(SaveFile, DamagedFilesAreRefusedWithTheGameUnchanged)
{
    QvLogCapture log;
    long blocks = Debug_LiveBlocks();
    auto refused = [&](const std::string& bytes, const std::string& what) {
        EXPECT_EQ(LoadBytes(bytes), SAVE_BADFILE) << what;
        EXPECT_TRUE(Current() == other_) << what;
        EXPECT_NE(std::string(Save_LoadError()).find("b.sav: "), std::string::npos) << what;
    };
    for (size_t n = 0; n < file_.size(); n++) refused(file_.substr(0, n), "cut at " + std::to_string(n));
    refused(file_ + '\0', "a trailing byte");
    std::string resized = file_;
    Put32(resized, 36 + 4, (resized[40] & 0xF0) | 8u | (3u << 20) | 0x10000000u);
    refused(resized, "a block of another size");
    std::string count = file_;
    Put32(count, 32, 7);
    refused(count, "one global fewer");
    // A refused load is told as one, not in the writer's words.
    EXPECT_NE(log.text().find("Saved game refused: "), std::string::npos);
    EXPECT_EQ(log.text().find("Save refused: "), std::string::npos) << log.text();

    // A flipped byte is refused, or (in bits that carry nothing, such as a
    // block's tree colour) loads the saved game exactly.
    std::mt19937 rng(39);
    for (int i = 0; i < 500; i++) {
        std::string bytes = file_;
        size_t at = rng() % bytes.size();
        bytes[at] = (char)(bytes[at] ^ (1 + rng() % 255));
        int r = LoadBytes(bytes);
        if (r == SAVE_LOADED) {
            EXPECT_TRUE(Current() == saved_) << "flip at " << at;
            SetWords(500);
        } else {
            EXPECT_TRUE(Current() == other_) << "flip at " << at;
        }
    }
    EXPECT_EQ(Debug_LiveBlocks(), blocks) << "every refusal gives back what it took";
}

} // namespace
