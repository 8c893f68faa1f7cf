// Multi-language strings: loading the list and its scripts, lookups, the
// default form of missing keys and the fixed display texts.
#include "core/mlstring.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/gamestate.h"
#include "game/systems.h"
#include "support/testsupport.h"

namespace {

class MlsTest : public testing::Test {
protected:
    void TearDown() override
    {
        MLString_Unload();
        MLString_SetDefault(nullptr);
    }
    // A list naming one script that holds the given lines.
    int LoadOne(const std::string& lines)
    {
        dir_.write("mlstring.cfg", "english.str\n");
        dir_.write("english.str", lines);
        return MLString_Load(dir_.file("mlstring.cfg").c_str());
    }
    std::string Get(const char* key, size_t size = 256, int log = 0, int* result = nullptr)
    {
        char buffer[256];
        int r = MLString_Get(key, buffer, size, log);
        if (result) *result = r;
        return buffer;
    }
    bool Logged(const std::string& text) const
    {
        return log_.text().find(text) != std::string::npos;
    }

    QvTempDir dir_;
    QvLogCapture log_;
};

// ---- loading

class MlsLoad : public MlsTest {};

TEST_F(MlsLoad, LaterScriptsOverrideEarlierOnesAndKeysAreCountedOnce)
{
    dir_.write("data/mlstring.cfg", "; the full set, then corrections\nlocal\\english.str\n"
                                    "local\\patch.str\n");
    dir_.write("data/local/english.str", "#define HELLO \"Hello\"\n#define BYE \"Bye\"\n"
                                         "#define SELL \"Sell it\"\n");
    dir_.write("data/local/patch.str", "#define BYE \"Goodbye\"\n");
    std::string list = dir_.path() + "\\data\\mlstring.cfg";
    EXPECT_EQ(MLString_Load(list.c_str()), 3);
    EXPECT_EQ(Get("BYE"), "Goodbye");
    // Loading again replaces the old strings.
    EXPECT_EQ(LoadOne("#define NEW \"new\"\n"), 1);
    EXPECT_EQ(Get("HELLO"), "MLS DEFAULT [HELLO]");
}

TEST_F(MlsLoad, BrokenOrMissingScriptsAreSkippedAndTheRestLoads)
{
    dir_.write("mlstring.cfg", "good.str gone.str broken.str");
    dir_.write("good.str", "#define A \"a\"\n");
    dir_.write("broken.str", "#define B \"b\"\nint = ;\n");
    EXPECT_EQ(MLString_Load(dir_.file("mlstring.cfg").c_str()), 1);
    EXPECT_EQ(Get("A"), "a");
    EXPECT_EQ(Get("B"), "MLS DEFAULT [B]");
    // Named by their Linux paths: the list's directory and the name.
    EXPECT_TRUE(Logged("Cannot open string script [" + dir_.file("gone.str") + "]"));
    EXPECT_TRUE(Logged("String script [" + dir_.file("broken.str") + "] not loaded"));
    // A missing list loads nothing.
    EXPECT_EQ(MLString_Load(dir_.file("nothing.cfg").c_str()), -1);
    EXPECT_EQ(Get("A"), "MLS ERROR");
}

// The base system loads the list from the data directory and forgets it at
// close; without a list the game still starts.
TEST_F(MlsLoad, BaseSystemLoadsTheDataDirectoryListAndUnloadsAtClose)
{
    dir_.write("data/mlstring.cfg", "english.str\n");
    dir_.write("data/english.str", "#define MLS_DISP_SELL \"Sell now\"\n");
    Game_SetDirectories(dir_.path().c_str(), "data", "", "save", "scenario");
    InitBaseSystem();
    EXPECT_STREQ(MLString_Display(MLSD_SELL), "Sell now");
    CloseBaseSystem();
    EXPECT_EQ(Get("MLS_DISP_SELL"), "MLS ERROR");

    Game_SetDirectories(dir_.path().c_str(), "nodata", "", "save", "scenario");
    InitBaseSystem();
    EXPECT_STREQ(MLString_Display(MLSD_SELL), "Sell");
    CloseBaseSystem();
    Game_ResetState();
}

// ---- lookups

class MlsGet : public MlsTest {};

TEST_F(MlsGet, GivesTheTextOrTheDefaultAndKeyOrAnErrorCutToTheBuffer)
{
    struct Row {
        int loaded;
        const char* key;
        size_t size;
        int log;
        const char* want;
        int result;
    };
    const Row rows[] = {
        {0, "TANK", 256, 1, "MLS ERROR", 0},
        {0, "TANK", 4, 0, "MLS", 0},
        {1, "TANK", 6, 0, "Heavy", 1},
        {1, nullptr, 256, 0, "MLS DEFAULT []", 0},
        {1, "NOPE", 8, 1, "MLS DEF", 0},
    };
    for (const Row& row : rows) {
        if (row.loaded) LoadOne("#define TANK \"Heavy Tank\"\n");
        int result = -1;
        EXPECT_EQ(Get(row.key, row.size, row.log, &result), row.want);
        EXPECT_EQ(result, row.result) << row.want;
        // A missing key is logged only when asked.
        EXPECT_EQ(Logged("No conversion for [NOPE]"), row.log && row.loaded) << row.want;
    }
    char untouched[4] = "xyz";
    EXPECT_EQ(MLString_Get("TANK", untouched, 0, 0), 1);
    EXPECT_STREQ(untouched, "xyz");
}

TEST_F(MlsGet, DefaultTextCanBeChangedAndRestored)
{
    LoadOne("");
    MLString_SetDefault(std::string(100, 'd').c_str());
    EXPECT_EQ(Get("K"), std::string(63, 'd') + " [K]");
    MLString_SetDefault(nullptr);
    EXPECT_EQ(Get("KEY"), "MLS DEFAULT [KEY]");
}

TEST_F(MlsGet, GetOrDefineUsesTheDefaultAndLogsAPastableLine)
{
    LoadOne("#define OkTitle \"Accept\"\n");
    char buffer[64];
    EXPECT_EQ(MLString_GetOrDefine("OkTitle", "OK", buffer, sizeof buffer), 1);
    EXPECT_STREQ(buffer, "Accept");
    EXPECT_EQ(MLString_GetOrDefine("CancelTitle", "Cancel", buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "Cancel");
    EXPECT_TRUE(Logged("#define CancelTitle \"Cancel\""));
}

// ---- the fixed display texts

class MlsDisplay : public MlsTest {};

// Keys without a text keep their built-in one. The display prints some with
// one integer: a text asking for a string or a second number would read an
// argument that isn't there, so such a text keeps the built-in format.
TEST_F(MlsDisplay, KeysWithoutTextOrWithTheWrongFormatKeepTheBuiltInText)
{
    LoadOne("#define MLS_EVNT_NOTRAIL \"Aucune\"\n"
            "#define MLS_DISP_N_QUEUED \"%s queued\"\n"
            "#define MLS_EVNT_NEWTRAIL \"Trail %d of %d\"\n"
            "#define MLS_DISP_UPGRADE_N \"Upgrade: %5d credits (100%%)\"\n");
    EXPECT_STREQ(MLString_Display(MLSD_NOTRAIL), "Aucune");
    EXPECT_STREQ(MLString_Display(MLSD_PAUSED), "Paused");
    EXPECT_STREQ(MLString_Display(MLSD_N_QUEUED), "%d queued");
    EXPECT_STREQ(MLString_Display(MLSD_NEWTRAIL), "Trail %d");
    EXPECT_STREQ(MLString_Display(MLSD_UPGRADE_N), "Upgrade: %5d credits (100%%)");
    EXPECT_TRUE(Logged("Text of [MLS_DISP_N_QUEUED] is not a format for one integer"));
}

// The demo's own strings define every display key, so its screens never fall
// back to a built-in text.
TEST_F(MlsDisplay, DemoStringsDefineEveryDisplayKey)
{
    std::filesystem::path root = std::filesystem::path(__FILE__).parent_path() / ".." / "..";
    std::string list = (root / "data" / "demo" / "data" / "mlstring.cfg").string();
    ASSERT_GT(MLString_Load(list.c_str()), 0) << list;
    for (int id = 0; id < MLSD_COUNT; id++) {
        char buffer[256];
        EXPECT_EQ(MLString_Get(MLString_DisplayKey(id), buffer, sizeof buffer, 0), 1)
            << MLString_DisplayKey(id);
        EXPECT_STREQ(MLString_Display(id), buffer) << MLString_DisplayKey(id);
    }
    EXPECT_EQ(log_.text(), "");
}

} // namespace
