// The general settings file: its values, what each parse resets, and the
// lines that stop the game.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/gamestate.h"
#include "core/tfparse.h"
#include "rules/tfgen.h"
#include "support/testsupport.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

void Parse(const std::string& text)
{
    std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> p(
        TF_OpenText("general.txt", text.data(), text.size()), TF_Close);
    ASSERT_EQ(Tfgen_ParseLine(p.get()), 1) << text;
}

class GeneralFile : public testing::Test {
protected:
    void SetUp() override
    {
        Tfgen_Reset();
        Game_SetUpdatesPerSecond(20);
        for (int t = 0; t < TEAM_MAXTEAMS; t++) Team_SetDefaultBehaviour(t, 1, 1, 1);
    }
    void TearDown() override { SetUp(); }
};

TEST_F(GeneralFile, KeywordsSetTheirValuesAndTheLastOneWins)
{
    const struct {
        const char* text;
        int heal, low, high, radius, ups;
    } rows[] = {
        {"", 0, 33, 66, 40, 20},
        {"SetSfxRadius(0)", 0, 33, 66, 1, 20},
        {"SetSfxRadius(1)", 0, 33, 66, 1, 20},
        {"SetSfxRadius(2)", 0, 33, 66, 2, 20},
        {"SetInitialGameSpd(100)", 0, 33, 66, 40, 60},
        {"SetInitialGameSpd(0)", 0, 33, 66, 40, 1},
        {"SetHealSpeed(4) SetHealthLevels(10 90)\nSetHealSpeed(7)", 7, 10, 90, 40, 20},
    };
    for (const auto& r : rows) {
        SetUp();
        Parse(r.text);
        EXPECT_EQ(g_General.healspeed, r.heal) << r.text;
        EXPECT_EQ(g_General.healthlow, r.low) << r.text;
        EXPECT_EQ(g_General.healthhigh, r.high) << r.text;
        EXPECT_EQ(g_General.sfxradius, r.radius) << r.text;
        EXPECT_EQ(g_UpdatesPerSecond, r.ups) << r.text;
    }
}

TEST_F(GeneralFile, TacticalDefaultsAreClampedForEveryTeam)
{
    Parse("SetTactAI(5 -1 1)");
    for (int t = 0; t < TEAM_MAXTEAMS; t++) {
        EXPECT_EQ(teamdata[t].unitdef.tenacity, TACTAI_HIGH) << t;
        EXPECT_EQ(teamdata[t].unitdef.autonomy, TACTAI_LOW) << t;
        EXPECT_EQ(teamdata[t].unitdef.selfpreservation, TACTAI_MEDIUM) << t;
    }
}

// The thresholds and the radius start over with each parse; the service
// values stay until a file sets them.
TEST_F(GeneralFile, SecondParseResetsThresholdsAndRadiusOnly)
{
    Parse("SetHealthLevels(10 20) SetSfxRadius(7) SetRepairCost(5) SetRearmSpeed(9)");
    Parse("");
    EXPECT_EQ(g_General.healthlow, 33);
    EXPECT_EQ(g_General.healthhigh, 66);
    EXPECT_EQ(g_General.sfxradius, 40);
    EXPECT_EQ(g_General.repaircost, 5);
    EXPECT_EQ(g_General.rearmspeed, 9);
}

// Keywords are exact, and a truncated line is an error rather than a
// shorter file.
TEST_F(GeneralFile, BadLinesStopTheGame)
{
    const struct {
        const char *text, *message;
    } rows[] = {
        {"SetHealSpeed(1)\nBogus(1)", "Unknown string [Bogus]"},
        {"sethealspeed(1)", "Unknown string [sethealspeed]"},
        {"SetHealSpeed 1", "Expected [(] but found [1]"},
        {"SetHealthLevels(1)", "Expected [_number_] but found [)]"},
        {"SetTactAI(1 2", "Expected [_number_] but found [EOF]"},
    };
    for (const auto& r : rows) QV_EXPECT_FATAL(Parse(r.text), r.message);
}

} // namespace
