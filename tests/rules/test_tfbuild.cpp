// The building-type file: keyword conversions, decoys and upgrades, the
// efficiency lines, the sprites reloaded in place and the blocks that fail.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/gamestate.h"
#include "core/tfparse.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "map/overlay.h"
#include "platform/effects.h"
#include "platform/sprite.h"
#include "rules/tfbuild.h"
#include "support/testsupport.h"
#include "units/building.h"
#include "units/expltype.h"
#include "units/hlthexpl.h"
#include "units/unit.h"

namespace {

// A block with everything a type needs around the keywords under test.
std::string Block(const std::string& sym, const std::string& lines)
{
    return "DefineBuildingType(" + sym +
           ") {\n SetBuildingImages(bld48.spr bld48.spr bld48.spr) SetHitpoints(500 0)\n" +
           lines + "\n}\n";
}

class BuildingFile : public testing::Test {
protected:
    QvTempDir dir_;
    QvLogCapture log_{TLOG_DIAG};
    char oldGraphics_[GAME_PATH];
    void SetUp() override
    {
        Str_CopySafe(oldGraphics_, g_GraphicsDir, sizeof oldGraphics_);
        Str_CopySafe(g_GraphicsDir, dir_.path().c_str(), sizeof g_GraphicsDir);
        Effects_Init();
        Ovl_Init();
        ExplType_Init();
        Sprite("BLD48.SPR", 48, 48);
        Sprite("SHADOW.SPR", 56, 56);
        Sprite("WIDE.SPR", 200, 48);
        Sprite("SMALL.SPR", 20, 48);
        const uint8_t grid[2 * 2 * 2] = {0, 0, 0, 0, 0, 0, 31, 0};
        // The footprints are named after the first image.
        Sprite("DOT.SPR", 48, 48);
        for (const char* name : {"BLD48.SPR", "WIDE.SPR", "SMALL.SPR"})
            Effects_AddOvlEffect(name, 2, 2, grid);
        Effects_AddOvlEffect("DOT.SPR", 1, 1, grid);
        Expl_AddType("Boom");
        Str_CopySafe(Units_NewType()->symbolid, "Tank", UNITTYPE_NAME);
        Str_CopySafe(Ovl_NewType()->name, "Spanner", sizeof(OVERLAYTYPE::name));
    }
    void TearDown() override
    {
        Build_FreeTypes();
        Units_FreeTypes();
        Ovl_FreeAll();
        ExplType_Close();
        Effects_Close();
        Sprite_FreeAll();
        Str_CopySafe(g_GraphicsDir, oldGraphics_, sizeof g_GraphicsDir);
    }
    void Sprite(const char* name, int w, int h, int frames = 1)
    {
        std::vector<uint8_t> pixels((size_t)w * h * frames, 7);
        SPRITE_DESC d{SPRITE_REGULAR, frames, 1, w, h, pixels.data(), 0, nullptr, 0, nullptr, nullptr};
        ASSERT_EQ(Sprite_Write(dir_.file(name).c_str(), &d), 1);
    }
    static void Parse(const std::string& text)
    {
        std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> p(
            TF_OpenText("build.txt", text.data(), text.size()), TF_Close);
        BuildingType_Parse(p.get());
    }
};

TEST_F(BuildingFile, KeywordsStoreTheirConvertedValues)
{
    const struct {
        const char* name;
        const char* line;
        int (*get)(const BUILDINGTYPE*);
        int expected;
    } rows[] = {
        {"range clamped high", "SetSeeingRange(25)", [](const BUILDINGTYPE* t) { return (int)t->seeingrange; }, 20},
        {"range clamped low", "SetSeeingRange(-3)", [](const BUILDINGTYPE* t) { return (int)t->seeingrange; }, 0},
        {"build time at least 1", "SetCost(500 0)", [](const BUILDINGTYPE* t) { return t->cost * 10 + t->buildtime; }, 5001},
        {"sell values", "SetSell(-5 -5)", [](const BUILDINGTYPE* t) { return t->sell[0] * 10 + t->sell[1]; }, -9},
        {"spy type exact", "SetSpyType(HQ)", [](const BUILDINGTYPE* t) { return t->spytype; }, 1},
        {"no active parts", "ActivePart(none 0 0 none 0 0 none 0 0 none 0 0)",
         [](const BUILDINGTYPE* t) { return (int)(t->activepart[0].type != nullptr); }, 0},
        {"active part", "ActivePart(none 0 0 tank 5 6 none 0 0 NONE 0 0)",
         [](const BUILDINGTYPE* t) { return t->activepart[1].x * 10 + t->activepart[1].y; }, 56},
        {"bay 15 is none", "SetBay(1 15)", [](const BUILDINGTYPE* t) { return t->bayx * 10 + t->bayy; }, 9},
        {"radar signed 4 bits", "SetRadar(8 -2)", [](const BUILDINGTYPE* t) { return t->radarx * 100 + t->radary; }, -802},
        {"crater 3 bits", "MakesCrater(9)", [](const BUILDINGTYPE* t) { return t->cratersize; }, 1},
        {"seeing height 4 bits", "SetSeeingHeight(17)", [](const BUILDINGTYPE* t) { return (int)t->seeingheight; }, 1},
        {"off/on below 1", "SetOffOnTimes(0 4)", [](const BUILDINGTYPE* t) { return t->offtime * 10 + t->ontime; }, 4},
        {"steal time below 1", "SetStealTime(-4)", [](const BUILDINGTYPE* t) { return t->stealtime; }, 0},
        {"resource", "SetResource(4 5 100 100) SetResourceSale(4 2 0) SupplyResource(4 0 1 30) NeedResource(4 7)",
         [](const BUILDINGTYPE* t) {
             const BUILDTYPE_RESOURCE& r = t->resource[4];
             return r.production + r.maxstored + r.initial + r.salepercent + r.supplytarget * 1000 +
                    r.supplypercent * 10000 + r.need * 100000;
         }, 1001207},
        {"flags", "CanMake() IsBridge() CanRepair() CanHeal() AssociatedUnit(Tank 3)",
         [](const BUILDINGTYPE* t) { return (int)t->flags; },
         BTF_CANMAKE | BTF_ISBRIDGE | BTF_CANREPAIR | BTF_CANHEAL | BTF_ASSOCIATEFLAG},
        {"teleport", "IsTeleport(3 boom)", [](const BUILDINGTYPE* t) { return t->teleportn * (t->teleportexpl != nullptr); }, 3},
        {"health explosion", "SetHealthExplosion(50 Boom)", [](const BUILDINGTYPE* t) { return t->healthexplosions->threshold; }, 50},
        {"animation section", "SetBoardAnimation(3)", [](const BUILDINGTYPE* t) { return t->anim[7] * 10 + t->anim[0]; }, 29},
        {"action indicator", "SetPackActionIndicator(spanner)", [](const BUILDINGTYPE* t) { return t->actionindicator[4]; }, 0},
        {"requirements", "SetRequirements { SetType(12) SetPrereqs(3 4) SetMaker(5) }",
         [](const BUILDINGTYPE* t) { return t->prereq.id * 100 + t->prereq.prereqs[1] * 10 + t->prereq.makers[0]; }, 1245},
        {"tile size from image 1", "SetShadowImage(shadow.spr)",
         [](const BUILDINGTYPE* t) { return t->pixelw * 10 + t->width + (t->shadowsprite != nullptr) * 100000; }, 100482},
    };
    for (const auto& r : rows) {
        Parse(Block("A", r.line));
        ASSERT_EQ(g_NrBuildingTypes, 1) << r.name;
        EXPECT_EQ(r.get(&g_BuildingTypes[0]), r.expected) << r.name;
        Build_FreeTypes();
    }
}

TEST_F(BuildingFile, DecoysTakeHalvesAndUpgradesLinkBothWays)
{
    Parse(Block("Base", "SetCost(301 1) SetHitpoints(99 0) SetSeeingRange(6) SetDescription(Big_Base)") +
          "DefineBuildingType(Fake) { IsDecoyOf(base) }\n" + Block("Better", "IsUpgradeOf(Base)"));
    ASSERT_EQ(g_NrBuildingTypes, 3);
    BUILDINGTYPE *base = &g_BuildingTypes[0], *fake = &g_BuildingTypes[1];
    EXPECT_STREQ(base->description, "Big Base");
    EXPECT_STREQ(base->image[1], "BLD48.SPR");
    EXPECT_EQ(fake->cost * 1000 + fake->maxhitpoints, 150049);
    EXPECT_EQ(fake->buildtime, 1) << "half of 1, kept at 1";
    EXPECT_EQ(fake->seeingrange, 6);
    EXPECT_EQ(fake->footprint, base->footprint);
    EXPECT_STREQ(fake->description, "Decoy");
    EXPECT_EQ(base->decoy, fake);
    EXPECT_EQ(fake->decoyof, base);
    EXPECT_EQ(base->upgradeto, &g_BuildingTypes[2]);
    EXPECT_EQ(g_BuildingTypes[2].upgradefrom, base);
}

TEST_F(BuildingFile, EfficiencyLinesHaveSlopeAndIntercept)
{
    const int rows[][6] = {
        // a b c d -> 16.16 slope, intercept
        {20, 0, 100, 50, 104857, 20},
        {100, 10, 40, 70, -65536, 110},
        {100, 0, 100, 100, 0, 100},
    };
    for (const auto& r : rows) {
        char line[128];
        snprintf(line, sizeof line, "SetEfficiencyResource { (%d %d) (%d %d) }", r[0], r[1], r[2], r[3]);
        Parse(Block("A", line));
        const BUILDTYPE_EFFICIENCY& e = g_BuildingTypes[0].efficiencyres;
        EXPECT_EQ(e.slope, r[4]) << line;
        EXPECT_EQ(e.intercept, r[5]) << line;
        EXPECT_EQ(g_BuildingTypes[0].efficiencyhp.intercept, 100) << "the default stays flat";
        Build_FreeTypes();
    }
}

TEST_F(BuildingFile, BadBlocksStopNamingTheCause)
{
    const std::string failed = "Failed on parsing of DefineBuildingType()";
    const struct {
        std::string text, message, logged;
    } rows[] = {
        {Block("A", "SetResource(0 5 100 150)"), failed, "SetResource for [A] - invalid value [0 5 100]"},
        {Block("A", "SetResource(5 1 1 1)"), failed, "SetResource for [A] - invalid resource [5] (0..4)"},
        {Block("A", "SupplyResource(0 1 -1 5)"), failed, "invalid resource [-1]"},
        {Block("A", "NeedResource(0 0)"), failed, "NeedResource for [A] - invalid value [0 0]"},
        {Block("A", "SetSpyType(hq)"), failed, "Unknown SPY TYPE in building type"},
        {Block("A", "setcost(1 1)"), failed, "Unexpected function [setcost]"},
        {Block("A", "SetEquivalentBuilding(a) SetEquivalentBuilding(b) SetEquivalentBuilding(c)\n"
                    "SetEquivalentBuilding(d) SetEquivalentBuilding(e)"),
         failed, "Too many equivalents for a building"},
        {Block("A", "ActivePart(none 0 0 Jeep 0 0 none 0 0 none 0 0)"), failed, "Undefined active unit type [Jeep]"},
        {Block("A", "IsUpgradeOf(A)"), failed, "Invalid building name"},
        {Block("A", "SetPowerUpActionIndicator(Wrench)"), failed, "Undefined action indicator [Wrench]"},
        {Block("A", "") + "DefineBuildingType(B) { IsDecoyOf(A) }\nDefineBuildingType(C) { IsDecoyOf(B) }",
         failed, "Can't make a decoy of B, it's a decoy!"},
        {Block("A", "") + "DefineBuildingType(B) { IsDecoyOf(A) }\nDefineBuildingType(C) { IsDecoyOf(A) }",
         failed, "A already has decoy"},
        {"DefineBuildingType(A) { SetBuildingImages(bld48.spr bld48.spr bld48.spr) SetCost(1 1)", failed,
         "Unexpected end of file in building type [A]"},
        {Block("A", "SetRepairCost(3 -1)"), "Expected [SetRepairCost] but found [-1]", ""},
        {Block("A", "SetEfficiencyHitPoints { (10 50) (90 50) }"),
         "Efficiency line of [A] has both points at 50: no slope", ""},
        {Block("A", "") + Block("A", ""), "Repeat building type symbol [A]", ""},
        {"DefineBuildingType(A) { SetDescription(Shed) }", "Missing image definitions for building [Shed]", ""},
        {"DefineBuildingType(A) { SetBuildingImages(Nowhere x y) }", "No effects for [Nowhere]", ""},
        {"DefineBuildingType(A) { SetBuildingImages(wide.spr bld48.spr bld48.spr) }",
         "Building [A]: image [WIDE.SPR] of 200 x 48 pixels makes 8 x 2 tiles (1..7)", ""},
        {"DefineBuildingType(A) { SetBuildingImages(small.spr bld48.spr bld48.spr) }",
         "Building [A]: image [SMALL.SPR] of 20 x 48 pixels makes 0 x 2 tiles (1..7)", ""},
        {Block("A", "CanMake() SetBay(0 15)"), "Bay (0, -1) of [A] is outside its footprint [BLD48.SPR]", ""},
        {Block("A", "CanMake() SetBay(2 0)"), "Bay (2, 0) of [A] is outside its footprint [BLD48.SPR]", ""},
        {Block("A", "") + "SetCost(1 1)", "Expected [DefineBuildingType] but found [SetCost]", ""},
    };
    for (const auto& r : rows) {
        log_.clear();
        QV_EXPECT_FATAL(Parse(r.text), r.message);
        EXPECT_NE(log_.text().find(r.logged), std::string::npos) << r.text;
        EXPECT_NE(log_.text().find("build.txt"), std::string::npos) << "names the file: " << r.text;
        Build_FreeTypes();
    }
}

// Values that their fields can't hold, or that the game can't use, stop the
// file naming the keyword, the value, the file and the line.
class UnitsInPlayBuildingFile : public BuildingFile {};

TEST_F(UnitsInPlayBuildingFile, RegressionValuesPastTheirFieldsAreRefused)
{
    const std::string failed = "Failed on parsing of DefineBuildingType()";
    const struct {
        const char* line;
        const char* logged;
    } rows[] = {
        {"SetCost(-100 10)", "SetCost cost for [A] - value [-100] out of range (0..2147483647)"},
        {"SetCost(100 30000000)", "SetCost time for [A] - value [30000000] out of range (1..21474836)"},
        {"SetRooms(-1 300)", "SetRooms units for [A] - value [-1] out of range (0..255)"},
        {"SetRooms(2 300)", "SetRooms mass for [A] - value [300] out of range (0..255)"},
        {"SetHitpoints(0 0)", "SetHitpoints for [A] - value [0] out of range (1..2147483647)"},
        {"SetSide(200)", "SetSide for [A] - value [200] out of range (-128..127)"},
    };
    for (const auto& r : rows) {
        log_.clear();
        QV_EXPECT_FATAL(Parse(Block("A", r.line)), failed);
        EXPECT_NE(log_.text().find(r.logged), std::string::npos) << r.line << ": " << log_.text();
        EXPECT_NE(log_.text().find("Error in file [build.txt] at line [3]"), std::string::npos) << r.line;
        Build_FreeTypes();
    }
    // Hit points missing when the block ends, its own or a decoy's half of 1.
    const std::string bare = "DefineBuildingType(A) {\n SetBuildingImages(bld48.spr bld48.spr bld48.spr)\n\n}\n";
    for (const auto& [text, at] :
         {std::pair<std::string, const char*>{bare, "at line [4]"},
          {Block("B", "SetHitpoints(1 0)") + "\nDefineBuildingType(A) { IsDecoyOf(B) }\n", "at line [6]"}}) {
        log_.clear();
        QV_EXPECT_FATAL(Parse(text), failed);
        EXPECT_NE(log_.text().find("Maximum hit points (SetHitpoints) for [A] - value [0] out of range "
                                   "(1..2147483647)"),
                  std::string::npos)
            << text << ": " << log_.text();
        EXPECT_NE(log_.text().find(std::string("Error in file [build.txt] ") + at), std::string::npos) << text;
        Build_FreeTypes();
    }
    // A number that is no whole int.
    for (const std::string value : {"1e3", "99999999999", "3.5"}) {
        const std::string line = "SetHitpoints(" + value + " 0)";
        log_.clear();
        QV_EXPECT_FATAL(Parse(Block("A", line)),
                        "Number [" + value + "] is not a whole number from -2147483648 to 2147483647");
        EXPECT_NE(log_.text().find("Line : 3"), std::string::npos) << line << ": " << log_.text();
        EXPECT_NE(log_.text().find("File : build.txt"), std::string::npos) << line;
        Build_FreeTypes();
    }
    // The limits themselves load.
    Parse(Block("A", "SetCost(0 21474836) SetRooms(255 255) SetHitpoints(1 0)"));
    ASSERT_EQ(g_NrBuildingTypes, 1);
    EXPECT_EQ(g_BuildingTypes[0].rooms[1], 255);
}

TEST_F(BuildingFile, SixtyFirstBlockIsNotRead)
{
    std::string text;
    for (int i = 0; i <= BUILD_MAXTYPES; i++) text += Block("T" + std::to_string(i), "");
    text += "DefineBuildingType(";  // never reached
    Parse(text);
    EXPECT_EQ(g_NrBuildingTypes, BUILD_MAXTYPES);
    EXPECT_NE(log_.text().find("Max of [60] building types reached"), std::string::npos);
}

TEST_F(BuildingFile, FactoryBayMarksItsFootprintCell)
{
    Parse(Block("Factory", "CanMake() SetBay(1 0)"));
    EXPECT_EQ(Effects_OvlEntry(Effects_FindType("BLD48.SPR"), 1, 0)[0], 4);
    // The image makes 2 x 2 tiles over a 1 x 1 grid: only the grid's cell
    // is the building's.
    Parse("DefineBuildingType(Dot) { SetBuildingImages(dot.spr bld48.spr bld48.spr) SetHitpoints(9 0) }");
    const BUILDINGTYPE* dot = &g_BuildingTypes[1];
    EXPECT_EQ(dot->width * 10 + dot->height, 22);
    EXPECT_EQ(Build_TypeCovers(dot, 0, 0), 1);
    EXPECT_EQ(Build_TypeCovers(dot, 1, 0) + Build_TypeCovers(dot, 0, 1), 0);
}

TEST_F(BuildingFile, SpritesReloadInPlaceAndASecondLoadReplacesTheTypes)
{
    const std::string text = Block("A", "SetShadowImage(SHADOW.SPR)") + Block("B", "");
    Parse(text);
    ASSERT_EQ(g_NrBuildingTypes, 2);
    SPRITE* body = g_BuildingTypes[0].sprite[0];
    SPRITE* shadow = g_BuildingTypes[0].shadowsprite;
    EXPECT_EQ(body, g_BuildingTypes[1].sprite[2]) << "one sprite per name";
    Sprite("BLD48.SPR", 48, 48);
    BuildingType_FreeSprites();
    EXPECT_EQ(g_BuildingTypes[0].sprite[0], body);
    EXPECT_EQ(g_BuildingTypes[0].shadowsprite, shadow);

    Build_FreeTypes();
    Parse(text);
    EXPECT_EQ(g_NrBuildingTypes, 2);
    EXPECT_EQ(Textfile_FindBuildingType("B"), 1);

    Sprite("SHADOW.SPR", 56, 56, 2);
    QV_EXPECT_FATAL(BuildingType_ReloadSprites(),
                    "Incompatible sprites [SHADOW.SPR] and [" + dir_.file("SHADOW.SPR") + "]");
    remove(dir_.file("BLD48.SPR").c_str());
    QV_EXPECT_FATAL(BuildingType_ReloadSprites(), "Unable to reload [BLD48.SPR]");
}

} // namespace
