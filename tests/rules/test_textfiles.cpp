// Where the rule files come from: the scenario's folder first, then deftxt.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
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

// The scenario's file comes first; a broken one falls back to the default
// but is the one reported, and a file missing everywhere names the default.
TEST_F(RuleFiles, ScenarioFirstThenTheDefault)
{
    const struct {
        const char* scenario; // the files' texts, null for none
        const char* deftxt;
        int ok;
        const char* tried; // S the scenario's, D the default; * any
        const char* failed;
    } rows[] = {
        {"good", "good", 1, "S", ""},
        {nullptr, "good", 1, "D", ""},
        {"broken", "good", 1, "SD", ""},
        {"broken", "broken too", 0, "SD", "S"},
        {nullptr, nullptr, 0, "*", "D"},
    };
    for (const auto& r : rows) {
        std::error_code ec;
        std::filesystem::remove(dir.file("scn/weapon.txt"), ec);
        std::filesystem::remove(dir.file("deftxt/weapon.txt"), ec);
        if (r.scenario) dir.write("scn/weapon.txt", r.scenario);
        if (r.deftxt) dir.write("deftxt/weapon.txt", r.deftxt);
        s_tried.clear();
        failed[0] = '\0';
        EXPECT_EQ(Game_LoadRuleFile(&file, failed, sizeof failed), r.ok) << r.tried;
        if (strcmp(r.tried, "*") != 0) {
            std::vector<std::string> want;
            for (const char* c = r.tried; *c; c++) want.push_back(*c == 'S' ? Scenario() : Default());
            EXPECT_EQ(s_tried, want);
        }
        if (*r.failed) {
            EXPECT_EQ(std::string(failed), *r.failed == 'S' ? Scenario() : Default());
        }
    }
}

TEST_F(RuleFiles, GameStopsWhenARuleFileLoadsFromNeitherPlace)
{
    QV_EXPECT_FATAL(Game_LoadTextFiles(nullptr),
                    "Processing failed on [" + dir.file("deftxt") + "\\animate.txt]");
}

} // namespace
