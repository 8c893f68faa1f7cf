// The overlay-effects and terrain-effects files.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/tfparse.h"
#include "platform/effects.h"
#include "rules/tfgen.h"
#include "rules/tfovl.h"
#include "support/testsupport.h"

namespace {

typedef int (*PARSE)(TF_PARSER*);

void Parse(PARSE parse, const std::string& text)
{
    std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> p(
        TF_OpenText("effects.txt", text.data(), text.size()), TF_Close);
    parse(p.get());
}

class EffectFiles : public testing::Test {
protected:
    void SetUp() override { Effects_Init(); }
    void TearDown() override { Effects_Close(); }
};

TEST_F(EffectFiles, OvlGridCellsAreStoredAsBytesWithMinusOneAsNotFootprint)
{
    Parse(Tfovl_ParseOvlEffects, "DefineOvlEffect(\"x\" 2 1) { 1 2 -1 5 }\n"
                                 "DefineOvlEffect(\"y\" 1 2) { 7 -1 300 0 }");
    OVLEFFECT* x = Effects_FindType("x");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(std::string((const char*)x->grid, 4), std::string("\x01\x02\x1f\x05", 4));
    OVLEFFECT* y = Effects_FindType("y");
    ASSERT_NE(y, nullptr);
    EXPECT_EQ(std::string((const char*)y->grid, 4), std::string("\x07\x1f\x2c\x00", 4));
}

TEST_F(EffectFiles, TablesTakeCellsSpecialEffectsAndTextureDefaults)
{
    Parse(Tfovl_ParseTerrainEffects, "defineeffecttype(\"Tracked\" 90 3) {\n"
                                     "  SetEffect(2 -1 50 1) SetEffect(0 7 120 2)\n"
                                     "  SetOvlEffect(9 4 1)\n"
                                     "}\n"
                                     "SETTERRAINOFFENSE(3 -1 c2 50)\n"
                                     "SetTerrainOffense(0 5 \"A0x\" 7)");
    EFFECTTYPE* t = Effects_FindTable("Tracked");
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->cell[2][6][0], 50);
    EXPECT_EQ(t->cell[0][7][1], 2);
    EXPECT_EQ(t->cell[17][1][0], 4);
    EXPECT_EQ(t->cell[17][0][0], 90) << "the defaults elsewhere";
    EXPECT_EQ(t->min, 4) << "the defaults don't count";
    EXPECT_EQ(t->max, 120);
    for (int c = 0; c < EFFECTS_COLUMNS; c++) {
        int value, second;
        Effects_GetTextureDefault(3, c, &value, &second);
        EXPECT_EQ(value, 22);
        EXPECT_EQ(second, 50);
    }
    int value, second;
    Effects_GetTextureDefault(0, 5, &value, &second);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(second, 7);
}

TEST_F(EffectFiles, BadInputStopsWithFileAndLine)
{
    std::string seventeen;
    for (int i = 0; i <= EFFECTS_MAX_TABLES; i++)
        seventeen += "DefineEffectType(t" + std::to_string(i) + " 1 1) { }\n";
    const struct {
        PARSE parse;
        std::string text, message;
    } rows[] = {
        {Tfovl_ParseOvlEffects, "defineovleffect(\"x\" 1 1) { 0 0 }", "Unknown string [defineovleffect]"},
        {Tfovl_ParseOvlEffects, "DefineOvlEffect(\"x\" 1 65) { }", "Unable to add ovl effect"},
        {Tfovl_ParseOvlEffects, "DefineOvlEffect(x 1 1) {0 0} DefineOvlEffect(X 1 1) {0 0}",
         "Unable to add ovl effect"},
        {Tfovl_ParseOvlEffects, "DefineOvlEffect(\"x\" 2 1) { 1 2 3 }", "Expected [value] but found [}]"},
        {Tfovl_ParseOvlEffects, "DefineOvlEffect(\"x\" 1 1) { 1 2", "Expected [}] but found [EOF]"},
        {Tfovl_ParseTerrainEffects, "Bogus()", "Unknown string [Bogus]"},
        {Tfovl_ParseTerrainEffects, "DefineEffectType(t 1 1) { seteffect(0 0 1 1) }",
         "Unexpected function [seteffect]"},
        {Tfovl_ParseTerrainEffects, "DefineEffectType(t 1 1) { SetOvlEffect(16 1 1) }",
         "Limit of 16 special effects exceeded"},
        {Tfovl_ParseTerrainEffects, "DefineEffectType(t 1 1) { SetOvlEffect(-1 1 1) }",
         "Bad special effect [-1]"},
        {Tfovl_ParseTerrainEffects, "DefineEffectType(t 1 1) { SetEffect(18 0 1 1) }",
         "Effect cell (18, 0) is outside the table (rows 0..17, columns -1..7)"},
        {Tfovl_ParseTerrainEffects, "DefineEffectType(t 1 1) { SetEffect(0 0 1 1)",
         "Expected [}] but found [EOF]"},
        {Tfovl_ParseTerrainEffects, seventeen, "Too many effects tables (at most 16)"},
        {Tfovl_ParseTerrainEffects, "SetTerrainOffense(16 0 A1 1)",
         "Terrain cell (16, 0) is outside the table (rows 0..15, columns -1..7)"},
        {Tfovl_ParseTerrainEffects, "SetTerrainOffense(0 0 1A 1)",
         "Bad terrain offense [1A] (a letter and a digit)"},
    };
    for (const auto& r : rows) {
        QV_EXPECT_FATAL(Parse(r.parse, r.text), r.message);
        Effects_Close();
        Effects_Init();
    }
}

TEST_F(EffectFiles, MissingFilesAreNotLoaded)
{
    EXPECT_EQ(Tfovl_LoadOvlEffects("/nonexistent/ovleff.txt"), 0);
    EXPECT_EQ(Tfovl_LoadTerrainEffects("/nonexistent/trneff.txt"), -1);
    EXPECT_EQ(Tfovl_LoadThings("/nonexistent/overlay.txt"), 0);
    EXPECT_EQ(Tfgen_Load("/nonexistent/general.txt"), 0);
}

} // namespace
