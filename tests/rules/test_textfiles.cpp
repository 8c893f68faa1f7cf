// Where the rule files come from: the scenario's folder first, then deftxt.
#include <gtest/gtest.h>

#include <string>

#include "core/config.h"
#include "core/fspath.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "rules/textfiles.h"
#include "support/testsupport.h"

namespace {

int s_tried;

// Loads a file whose text is "good"; anything else fails.
int FakeLoad(const char* path)
{
    s_tried++;
    std::string text;
    return Fs_ReadAll(path, &text) && text == "good";
}

class RuleFiles : public testing::Test {
protected:
    QvTempDir dir;

    void SetUp() override
    {
        Cfg_SetDefaults(&g_Config);
        Str_CopySafe(g_ScenarioDir, dir.file("scn").c_str(), sizeof g_ScenarioDir);
        Str_CopySafe(g_DefTxtDir, dir.file("deftxt").c_str(), sizeof g_DefTxtDir);
    }
    void TearDown() override
    {
        g_ScenarioDir[0] = 0;
        g_DefTxtDir[0] = 0;
    }
};

// The scenario's file comes first; a broken one falls back to the default
// but is the one reported, and a file missing everywhere names the default.
TEST_F(RuleFiles, ScenarioFileFirstThenTheDefault)
{
    const struct {
        const char *scn, *def; // contents, or "" for no file
        int result, tried;
        const char* failed;
    } rows[] = {
        {"", "", 0, 1, "deftxt/weapon.txt"},
        {"", "good", 1, 1, ""},
        {"good", "good", 1, 1, ""},
        {"broken", "good", 1, 2, ""},
        {"broken", "broken too", 0, 2, "scn/weapon.txt"},
    };
    RULEFILE file{CFG_WEAPON, FakeLoad, nullptr};
    for (const auto& r : rows) {
        if (r.scn[0]) dir.write("scn/weapon.txt", r.scn);
        if (r.def[0]) dir.write("deftxt/weapon.txt", r.def);
        char failed[GAME_PATH] = "";
        s_tried = 0;
        EXPECT_EQ(Game_LoadRuleFile(&file, failed, sizeof failed), r.result) << r.scn << r.def;
        EXPECT_EQ(s_tried, r.tried) << r.scn << r.def;
        EXPECT_EQ(failed, r.failed[0] ? dir.file(r.failed) : "") << "a Linux path";
    }
}

TEST_F(RuleFiles, GameStopsWhenARuleFileLoadsFromNeitherPlace)
{
    QV_EXPECT_FATAL(Game_LoadTextFiles(nullptr),
                    "Processing failed on [" + dir.file("deftxt/ovleff.txt") + "]");
}

} // namespace
