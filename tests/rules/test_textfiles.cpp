// Where the rule files come from: the scenario's folder first, then deftxt.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/config.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "rules/textfiles.h"
#include "support/testsupport.h"

namespace {

std::vector<std::string> s_tried;

// Loads a file whose text is "good"; anything else fails.
int FakeLoad(const char* path)
{
    s_tried.push_back(path);
    std::string text;
    return Fs_ReadAll(path, &text) && text == "good";
}

class RuleFiles : public testing::Test {
protected:
    QvTempDir dir;
    RULEFILE file{CFG_WEAPON, FakeLoad, nullptr};
    char failed[GAME_PATH] = "";

    void SetUp() override
    {
        s_tried.clear();
        Cfg_SetDefaults(&g_Config);
        Str_CopySafe(g_ScenarioDir, dir.file("scn").c_str(), sizeof g_ScenarioDir);
        Str_CopySafe(g_DefTxtDir, dir.file("deftxt").c_str(), sizeof g_DefTxtDir);
    }
    void TearDown() override
    {
        g_ScenarioDir[0] = 0;
        g_DefTxtDir[0] = 0;
    }
    std::string Scenario() const { return dir.file("scn") + "\\weapon.txt"; }
    std::string Default() const { return dir.file("deftxt") + "\\weapon.txt"; }
};

TEST_F(RuleFiles, ScenarioFileComesFirst)
{
    dir.write("scn/weapon.txt", "good");
    dir.write("deftxt/weapon.txt", "good");
    EXPECT_EQ(Game_LoadRuleFile(&file, failed, sizeof failed), 1);
    EXPECT_EQ(s_tried, std::vector<std::string>{Scenario()});
}

TEST_F(RuleFiles, DefaultFileWhenTheScenarioHasNone)
{
    dir.write("deftxt/weapon.txt", "good");
    EXPECT_EQ(Game_LoadRuleFile(&file, failed, sizeof failed), 1);
    EXPECT_EQ(s_tried, std::vector<std::string>{Default()});
}

TEST_F(RuleFiles, BrokenScenarioFileFallsBackButIsTheOneReported)
{
    dir.write("scn/weapon.txt", "broken");
    dir.write("deftxt/weapon.txt", "good");
    EXPECT_EQ(Game_LoadRuleFile(&file, failed, sizeof failed), 1);
    EXPECT_EQ(s_tried.size(), 2u);

    dir.write("deftxt/weapon.txt", "broken too");
    EXPECT_EQ(Game_LoadRuleFile(&file, failed, sizeof failed), 0);
    EXPECT_EQ(std::string(failed), Scenario()) << "the first error is the one reported";
}

TEST_F(RuleFiles, MissingEverywhereNamesTheDefaultFile)
{
    EXPECT_EQ(Game_LoadRuleFile(&file, failed, sizeof failed), 0);
    EXPECT_EQ(std::string(failed), Default());
}

TEST_F(RuleFiles, GameStopsWhenARuleFileLoadsFromNeitherPlace)
{
    QV_EXPECT_FATAL(Game_LoadTextFiles(nullptr),
                    "Processing failed on [" + dir.file("deftxt") + "\\animate.txt]");
}

} // namespace
