// The unit-type file: unit types with their parts, and the lines that stop it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/gamestate.h"
#include "core/tfparse.h"
#include "core/utils.h"
#include "platform/effects.h"
#include "platform/sprite.h"
#include "rules/tfunit.h"
#include "support/testsupport.h"
#include "units/damage.h"
#include "units/expltype.h"
#include "units/hlthexpl.h"
#include "units/mpteams.h"
#include "units/parts.h"
#include "units/unit.h"
#include "units/weapon.h"

namespace {

// The lines every valid type needs; a block adds its own after them.
std::string Block(const std::string& sym, const std::string& extra = "",
                  const std::string& part = "SetImage(\"body.spr\")")
{
    return "DefineUnitType(\"" + sym + "\") {\n" +
           "  SetDescription(\"" + sym + " unit\") SetMenuImage(\"menu.spr\")\n" +
           "  UseEffects(Tracked) SetVulnerability(\"Armour\" \"2\")\n" +
           "  SetRequirements { settype(1) SetPrereqs() SetMaker() }\n" +
           "  AddPart { " + part + " }\n" + extra + "\n}\n";
}

class UnitFile : public testing::Test {
protected:
    QvTempDir dir_;
    QvLogCapture log_;
    char graphics_[GAME_PATH], data2_[GAME_PATH];

    void SetUp() override
    {
        memcpy(graphics_, g_GraphicsDir, sizeof graphics_);
        memcpy(data2_, g_DataDir2, sizeof data2_);
        Str_CopySafe(g_GraphicsDir, dir_.path().c_str(), sizeof g_GraphicsDir);
        g_DataDir2[0] = '\0';
        WriteSprite("menu.spr", 1, 1, 20);
        WriteSprite("body.spr", 2, 8, 24);
        WriteSprite("shadow.spr", 1, 1, 30);
        WriteSprite("wake.spr", 3, 8, 24);
        Effects_Init();
        Effects_NewTable("Tracked", 100, 2);
        Damage_Init();
        Damage_AddDefense("Armour", 100, 0, 0);
        Weapon_Init();
        NewWeapon("Gun", WLINEAR);
        NewWeapon("Grinder", WSHREDDER);
        ExplType_Init();
        Expl_AddType("Boom");
        Parts_Init();
    }
    void TearDown() override
    {
        g_MpTeamsPresetSides = g_MpTeamsStartUnits = 0;
        Tfunit_Reset();
        Parts_Close();
        ExplType_Close();
        Weapon_Close();
        Damage_Close();
        Effects_Close();
        Sprite_FreeAll();
        memcpy(g_GraphicsDir, graphics_, sizeof graphics_);
        memcpy(g_DataDir2, data2_, sizeof data2_);
    }
    void WriteSprite(const char* name, int frames, int rotations, int side)
    {
        std::vector<uint8_t> pixels((size_t)frames * rotations * side * side, 3);
        SPRITE_DESC d{SPRITE_REGULAR, frames, rotations, side, side, pixels.data(), 0, nullptr, 0,
                      nullptr, nullptr};
        ASSERT_EQ(Sprite_Write(dir_.file(name).c_str(), &d), 1);
    }
    static void NewWeapon(const char* name, int kind)
    {
        WEAPONTYPE* w = Weapon_NewType();
        Str_CopySafe(w->name, name, sizeof w->name);
        w->kind = kind;
    }
    static int Parse(const std::string& text)
    {
        std::unique_ptr<TF_PARSER, void (*)(TF_PARSER*)> p(
            TF_OpenText("units.txt", text.data(), text.size()), TF_Close);
        return Tfunit_ParseFile(p.get());
    }
    bool Logged(const std::string& text) const
    {
        return log_.text().find(text) != std::string::npos;
    }
};

TEST_F(UnitFile, BlocksFillTheTypeAndItsParts)
{
    EXPECT_EQ(Parse("; nothing but a comment\n"), 1);
    EXPECT_EQ(Units_UnitTypeCount(), 0);
    Parse(Block("Scout") +
          Block("Tank",
                "SetShadowImage(shadow.spr) SetSelectSounds(a b) SetCommandPointLoad(4) SetSide(2)\n"
                "SetCost(700 0) SetStealTime(-5) SetMoveMode(Hover) SetDefaultAttackMode(FireNoMove)\n"
                "SetStrength(300) SetPhysics(9 12) SetHitSize(3) SetSeeingRange(7) SetCarry(2 8)\n"
                "SetBuildingSrcAndDst { } SetResourceTransport(4 10 20 30)\n"
                "SetTransportLoadAnimation(90 2) SetTransportUnLoadAnimation(-90 1)\n"
                "SetIdleAnimation(0 0 9 3) IsHuman() CanGrab(\"Scout\" \"5\") CanSpy(1 2)\n"
                "CanSabotage(3 4 5) CanPhase(\"6\" \"x\" \"Depot\" \"8\") CanMorphIntoUnit(Boom \"2\")\n"
                "ChargeWeapon(3) NoAutoTarget()\n"
                "SetRundownInfo { SetDefence(4) SetSquishSound(squish) SetAttack(9) }\n"
                "AddPart { SetImage(body.spr) SetRotationRate(90) SetRotationalArc(45)\n"
                "  SetScanDelay(6) SetMoveAnimation(2) SetStandingAnimation(3)\n"
                "  SetDefaultFireAnimation(4) SetHealthExplosion(\"50\" Boom \"attach\")\n"
                "  AddWeapon(Gun \"5\" \"1\") AddWeapon(Gun 1 0) AddWeapon(Grinder 0 0)\n"
                "  AddWeapon(Gun 1 0) AddWeapon(Gun 1 0) }\n"
                "AddPart { SetImage(body.spr) SetRotationRate(400) SetRotationalArc(360) }\n") +
          Block("Dummy", "IsDecoyOf(\"Tank\" \"7\")"));
    ASSERT_EQ(Units_UnitTypeCount(), 3);
    const UNITTYPE* t = Units_GetTypePtr(1);
    EXPECT_STREQ(t->description, "Tank unit");
    EXPECT_EQ(t->defense, Damage_FindDefense("Armour"));
    EXPECT_EQ(t->defensestrength, 2);
    EXPECT_EQ(t->prereq.id, 1);
    EXPECT_EQ(t->sound[0].count, 2);
    EXPECT_STREQ(t->sound[0].file[1], "b");
    EXPECT_EQ(t->sound[0].effect[1].volume, 80);
    EXPECT_EQ(t->commandpointsload * 10 + t->side, 42);
    EXPECT_EQ(t->buildcost * 10 + t->buildtime, 7001) << "a time below 1 becomes 1";
    EXPECT_EQ(t->stealtime, 0);
    EXPECT_EQ(t->defmovemode * 10 + t->defmaplevel, MM_HOVER * 10 + 1);
    EXPECT_EQ(t->defattackmode, UAM_FIRENOMV);
    EXPECT_EQ(t->maxhitpoints, 300);
    EXPECT_EQ(t->mass * 100 + t->speed, 912);
    EXPECT_EQ(t->hitsize * 10 + t->seeingrange, 37);
    EXPECT_EQ(t->hold * 10 + t->holdmass, 28);
    EXPECT_EQ(t->bldpairs.count, 0);
    EXPECT_EQ(t->resource[4][0] + t->resource[4][1] + t->resource[4][2], 60);
    EXPECT_EQ(t->transportload.facing * 10 + t->transportload.n, 642);
    EXPECT_EQ(t->transportunload.facing, 192);
    const int idle[4] = {1, 1, 3, 9};
    EXPECT_EQ(memcmp(t->idleanimationinfo, idle, sizeof idle), 0);
    EXPECT_TRUE(t->abilities.canidle && t->abilities.ishuman && t->abilities.cangrab &&
                t->abilities.canspy && t->abilities.cansabotage && t->abilities.canphase &&
                t->abilities.canmorphunit && t->abilities.weaponcharge && t->abilities.noautotarget);
    EXPECT_EQ(t->grabinfo.type, Units_GetTypePtr(0));
    EXPECT_EQ(t->grabinfo.n, 5);
    EXPECT_EQ(t->phaseinfo.a * 100 + t->phaseinfo.b * 10 + t->phaseinfo.c, 608) << "text is 0";
    EXPECT_STREQ(t->phaseinfo.text, "Depot");
    EXPECT_EQ(t->morphunitinfo.expltype, Expl_FindType("Boom"));
    EXPECT_EQ(t->weaponchargeinfo, 300);
    EXPECT_EQ(t->rundowninfo.attack * 10 + t->rundowninfo.defence, 94);
    EXPECT_STREQ(t->rundowninfo.squishsound, "squish");
    EXPECT_EQ(t->rundowninfo.squish.volume, 80);
    EXPECT_TRUE(t->abilities.isshredder);
    EXPECT_EQ(t->shredderinfo, Weapon_FindType("Grinder"));
    ASSERT_EQ(t->partinfo.nrparts, 3);
    const PARTTYPE* turret = t->partinfo.parttype[1];
    EXPECT_EQ(turret->rotationspeed, (int)(90 * 46603.38f));
    EXPECT_EQ(turret->halfrotationangle, (int)(45 * 46603.38f));
    EXPECT_EQ(turret->scandelay, 6);
    EXPECT_EQ(turret->defaultanim * 100 + turret->overrideanim * 10 + turret->fireanim, 234);
    EXPECT_EQ(turret->nrweapons, 4) << "the shredder takes no slot";
    EXPECT_EQ(turret->weapons[0].fireanim * 10 + turret->weapons[0].fireframe, 51);
    ASSERT_NE(turret->healthexpl, nullptr);
    EXPECT_EQ(turret->healthexpl->threshold * 10 + turret->healthexpl->attach, 501);
    // Mend: a whole turn or more turns at once and leaves the part free,
    // where masking to 24 bits would make both 0.
    const PARTTYPE* top = t->partinfo.parttype[2];
    EXPECT_EQ(top->rotationspeed, PARTS_FULLTURN);
    EXPECT_EQ(top->halfrotationangle, PARTS_FULLTURN / 2);
    // A decoy and the type it stands for point at each other.
    const UNITTYPE* dummy = Units_GetTypePtr(2);
    EXPECT_EQ(t->decoy * 10 + dummy->decoy, DM_HASDECOY * 10 + DM_ISDECOY);
    EXPECT_EQ(t->decoyinfo.type, dummy);
    EXPECT_EQ(dummy->decoyinfo.type, t);
    EXPECT_EQ(dummy->decoyinfo.n, 7);
}

TEST_F(UnitFile, BadLinesStopNamingTheCause)
{
    const char* unable = "Unable to parse unit type definition";
    const struct {
        const char* name;
        std::string text;
        std::string fatal;
        const char* logged;
    } rows[] = {
        {"lower-case mode", Block("A", "SetMoveMode(fly)"),
         "Invalid movement mode : expected FLY, HOVER, FIXED, GROUND or TUNNEL", ""},
        {"attack mode", Block("A", "SetDefaultAttackMode(fire)"),
         "Invalid attack mode : expected FIRE or FIRENOMOVE", ""},
        {"forward reference", Block("A", "CanGrab(Later 1)") + Block("Later"), unable,
         "The Unit Type 'Later' has not been defined"},
        {"fourth part", Block("A", "AddPart { SetImage(body.spr) } AddPart { SetImage(body.spr) }\n"
                                   "AddPart { SetImage(body.spr) }"),
         unable, "Too many parts in unit"},
        {"short integer list", Block("A", "SetPhysics(5)"), "Expected Integer", ""},
        {"word for a number", Block("A", "SetStrength(lots)"), "Expected Integer", ""},
        {"short string list", Block("A", "IsDecoyOf()"), "Expected String", ""},
        {"one value too many", Block("A", "SetStrength(5 6)"), "Expected [)] but found [6]", ""},
        {"resource index", Block("A", "SetResourceTransport(5 1 2 3)"), unable,
         "Resource index [5] out of range (0..4)"},
        {"resource count", Block("A", "SetResourceTransport(1 2 3 4 5)"),
         "Wrong number of parameters", ""},
        {"shadow layout", Block("A", "SetShadowImage(wake.spr)"),
         "Shadow sprite must have same geometry as base part's sprite in unit type [A], or must "
         "have exactly one frame",
         ""},
        {"two shredders in a part",
         Block("A", "", "SetImage(body.spr) AddWeapon(Grinder 0 0) AddWeapon(Grinder 0 0)"),
         unable, "Only one SHREDDER is allowed per unit"},
        {"shredders in two parts", Block("A", "AddPart { SetImage(body.spr) AddWeapon(Grinder 0 0) }",
                                         "SetImage(body.spr) AddWeapon(Grinder 0 0)"),
         unable, "Only one SHREDDER is allowed per unit"},
        {"fifth weapon", Block("A", "", "SetImage(body.spr) AddWeapon(Gun 1 0) AddWeapon(Gun 1 0)\n"
                                        "AddWeapon(Gun 1 0) AddWeapon(Gun 1 0) AddWeapon(Gun 1 0)"),
         unable, "Too many weapons in part"},
        {"unknown weapon", Block("A", "", "SetImage(body.spr) AddWeapon(Laser 1 0)"), unable,
         "Couldn't find weapon type with name Laser"},
        {"armed decoy", Block("A") + Block("B", "IsDecoyOf(A 1) AddPart { SetImage(body.spr) AddWeapon(Gun 1 0) }"),
         unable, "Weapons cannot be added to parts of a DECOY unit!"},
        {"decoy of a decoy", Block("A") + Block("B", "IsDecoyOf(A 1)") + Block("C", "IsDecoyOf(B 1)"),
         unable, "Unit Type B is a decoy.  Can't have a decoy of a decoy"},
        {"second decoy", Block("A") + Block("B", "IsDecoyOf(A 1)") + Block("C", "IsDecoyOf(A 1)"),
         unable, "Unit Type A already has a decoy"},
        {"unknown explosion", Block("A", "", "SetImage(body.spr) SetHealthExplosion(50 Fizz A)"),
         unable, "Explosion type Fizz not defined"},
        {"unknown defence", Block("A", "SetVulnerability(Paper 1)"), unable,
         "No match for defense [Paper] in damage.txt"},
        {"unknown keyword", Block("A", "SetColour(3)"), unable,
         "Unknown String in Unit Definition : 'SetColour'"},
        {"unknown part keyword", Block("A", "", "SetImage(body.spr) SetColour(3)"), unable,
         "Unknown String in Part Definition : 'SetColour'"},
        {"unknown rundown line", Block("A", "SetRundownInfo { SetSpeed(3) }"), unable,
         "Unknown string in rundown information SetSpeed"},
        {"second menu image", Block("A", "SetMenuImage(menu.spr)"),
         "Unit Type A 'A unit' has too many menu images", ""},
        {"missing sprite", Block("A", "SetShadowImage(none.spr)"), "Sprite file is required", ""},
        {"unknown effects", Block("A", "UseEffects(Wheeled)"), "Unable to find effects [Wheeled]", ""},
        {"fifth equivalent", Block("A", "SetEquivalentUnit(B) SetEquivalentUnit(C)\n"
                                        "SetEquivalentUnit(D) SetEquivalentUnit(E) SetEquivalentUnit(F)"),
         "Too many equivalents for a unit", ""},
        {"fifth building pair", Block("A", "SetBuildingSrcAndDst { (a b 1) (a b 1) (a b 1) (a b 1) (a b 1) }"),
         "Expected [}] but found [(]", ""},
        {"another top-level word", "DefineThingType(\"A\") { }",
         "Expected [DefineUnitType] but found [DefineThingType]", ""},
        // Mend: a rotation rate of 0 would leave the part turning for ever.
        {"no rotation rate", Block("A", "", "SetImage(body.spr) SetRotationRate(0.00001)"), unable,
         "Rotation rate [0.00001] never turns the part"},
        // Mend: a file cut off inside a block is not a whole file.
        {"cut in the block", "DefineUnitType(A) { SetStrength(5)", "Expected [}] but found [EOF]", ""},
        {"cut in a part", "DefineUnitType(A) { AddPart { SetImage(body.spr)",
         "Expected [}] but found [EOF]", ""},
        {"cut in a list", "DefineUnitType(A) { SetPhysics(1", "Expected Integer", ""},
        {"cut in the description", "DefineUnitType(A) { SetDescription(", unable,
         "Unexpected end of file in a unit type definition"},
    };
    for (const auto& r : rows) {
        log_.clear();
        QV_EXPECT_FATAL(Parse(r.text), r.fatal);
        EXPECT_TRUE(Logged(r.logged)) << r.name << ": " << log_.text();
        EXPECT_TRUE(Logged(r.fatal == unable ? "Error in file [units.txt] at line" : ""))
            << r.name;
        Tfunit_Reset();
    }
}

// Values that their fields can't hold, or that the game can't use, and
// types that can't be told apart or that name themselves: each stops the
// file naming the value, the file and the line.
class UnitsInPlayUnitFile : public UnitFile {};

TEST_F(UnitsInPlayUnitFile, RegressionValuesPastTheirFieldsAreRefused)
{
    const struct {
        const char* line;
        const char* fatal;
    } rows[] = {
        {"SetCost(400 65536)", "SetCost time [65536] out of range (1..65535)"},
        {"SetCost(-5 10)", "SetCost cost [-5] out of range (0..65535)"},
        {"SetSeeingRange(300)", "SetSeeingRange [300] out of range (0..255)"},
        {"SetCarry(-1 -1)", "SetCarry units [-1] out of range (0..255)"},
        {"SetCarry(2 256)", "SetCarry mass [256] out of range (0..255)"},
        {"SetPhysics(5 300)", "SetPhysics speed [300] out of range (0..255)"},
        {"SetPhysics(-1 10)", "SetPhysics mass [-1] out of range (0..255)"},
        {"SetHitSize(999)", "SetHitSize [999] out of range (0..255)"},
        {"SetSide(256)", "SetSide [256] out of range (0..255)"},
        {"SetResourceTransport(0 20 0 5)",
         "SetResourceTransport loading rate [0] out of range (1..2147483647)"},
        {"SetResourceTransport(1 20 5 -1)",
         "SetResourceTransport unloading rate [-1] out of range (1..2147483647)"},
        {"SetResourceTransport(1 -20 5 5)",
         "SetResourceTransport load [-20] out of range (0..2147483647)"},
        // Numbers read as far as they looked like one
        {"SetStrength(1e3)", "Number [1e3] is not a whole number from -2147483648 to 2147483647"},
        {"SetStrength(4.5)", "Number [4.5] is not a whole number from -2147483648 to 2147483647"},
        {"SetSeeingRange(99999999999)",
         "Number [99999999999] is not a whole number from -2147483648 to 2147483647"},
        {"SetResourceTransport(1 20 5 5x)", "Number [5x] is not a whole number from -2147483648 to 2147483647"},
        {"CanSpy(50 10)", "CanSpy maximum time [10] out of range (50..2147483647)"},
        {"CanSpy(-1 10)", "CanSpy minimum time [-1] out of range (0..2147483647)"},
        {"CanSabotage(-3 0 0)", "CanSabotage time [-3] out of range (1..2147483647)"},
        // Counts a saved game must hold as they run down or up
        {"ChargeWeapon(-1)", "ChargeWeapon [-1] out of range (0..2147483647)"},
        {"CanMorphIntoUnit(\"A\" \"-2147483648\")", "CanMorphIntoUnit time [-2147483648] out of range (-2147483647..2147483647)"},
        {"CanMorphIntoOverlay(\"X\" \"-2147483648\")",
         "CanMorphIntoOverlay time [-2147483648] out of range (-2147483647..2147483647)"},
        {"CanGrab(\"A\" \"2147483646\")", "CanGrab time [2147483646] out of range (-2147483648..2147483645)"},
    };
    for (const auto& r : rows) {
        log_.clear();
        QV_EXPECT_FATAL(Parse(Block("A", r.line)), r.fatal);
        EXPECT_TRUE(Logged("File : units.txt")) << r.line;
        EXPECT_TRUE(Logged("Line : 6")) << r.line << ": " << log_.text();
        Tfunit_Reset();
    }
    // A decoy's count, after the type it copies (its line is the 13th).
    for (const auto& r : {std::pair<const char*, const char*>{"IsDecoyOf(B -1)", "IsDecoyOf count [-1] out of range (0..65535)"},
                          {"IsDecoyOf(B 65536)", "IsDecoyOf count [65536] out of range (0..65535)"},
                          {"IsDecoyOf(B 2e9)", "Number [2e9] is not a whole number from -2147483648 to 2147483647"}}) {
        log_.clear();
        QV_EXPECT_FATAL(Parse(Block("B") + Block("A", r.first)), r.second);
        EXPECT_TRUE(Logged("Line : 13")) << r.first << ": " << log_.text();
        Tfunit_Reset();
    }
    // The limits themselves load, and a type that carries nothing needs no
    // rates.
    EXPECT_EQ(Parse(Block("A", "SetCost(0 65535) SetSeeingRange(255) SetCarry(255 255)\n"
                               "SetPhysics(255 255) SetResourceTransport(2 0 0 0)")),
              1);
    EXPECT_EQ(Units_GetTypePtr(0)->buildtime, 65535);
    Tfunit_Reset();
    EXPECT_EQ(Parse(Block("B", "SetStrength(+400)") + Block("A", "IsDecoyOf(B 65535) CanSpy(7 7)")), 1);
    EXPECT_EQ(Units_GetTypePtr(0)->maxhitpoints, 400);
    EXPECT_EQ(Units_GetTypePtr(1)->decoyinfo.n, 65535);
}

TEST_F(UnitsInPlayUnitFile, RegressionATypeNamingItselfOrAnEarlierNameIsRefused)
{
    const char* unable = "Unable to parse unit type definition";
    for (const char* line : {"CanVeteran(A 3 0)", "CanGrab(A 10)", "CanAlternate(A 0)", "IsDecoyOf(A 1)"}) {
        log_.clear();
        QV_EXPECT_FATAL(Parse(Block("A", line)), unable);
        EXPECT_TRUE(Logged("Unit Type A names itself")) << line << ": " << log_.text();
        EXPECT_TRUE(Logged("Error in file [units.txt] at line [6]")) << line;
        Tfunit_Reset();
    }
    log_.clear();
    QV_EXPECT_FATAL(Parse(Block("Tank") + Block("TANK")), "Repeat unit type symbol [TANK]");
    EXPECT_TRUE(Logged("Line : 8")) << log_.text();
}

// Each check names the first thing the type lacks; the file then stops.
TEST_F(UnitFile, InvalidTypesNameWhatTheyLack)
{
    const std::string base = "SetDescription(d) SetMenuImage(menu.spr) UseEffects(Tracked)\n"
                             "SetVulnerability(Armour 1) SetRequirements { SetType(1) SetPrereqs() SetMaker() }\n";
    const std::string part = "AddPart { SetImage(body.spr) }";
    const struct {
        std::string lines;
        const char* logged;
    } rows[] = {
        {base, "[A] - no base part"},
        {"SetDescription(d) SetMenuImage(menu.spr) SetVulnerability(Armour 1)" + part, "[A] - no effects"},
        {"SetDescription(d) UseEffects(Tracked)" + part, "[A] - no menu image"},
        {"SetDescription(d) SetMenuImage(menu.spr) UseEffects(Tracked)" + part, "[A] - no defence"},
        {"SetDescription(d) SetMenuImage(menu.spr) UseEffects(Tracked) SetVulnerability(Armour 1)" + part,
         "[A] - no prerequisites"},
        {base + part + " SetStrength(0)", "[A] - no hit points"},
        {base + part + " CanBeMorphedInto()", "[A] - non-human cannot be morphed into"},
        {base + part + " CanMorphIntoOverlay(Boom 1) CanMorphIntoUnit(Boom 1)",
         "[A] - non-human cannot morph into unit"},
        {part, "[A] - no description"},
    };
    for (const auto& r : rows) {
        log_.clear();
        QV_EXPECT_FATAL(Parse("DefineUnitType(A) {" + r.lines + "}"),
                        "Unable to parse unit type definition");
        EXPECT_TRUE(Logged(r.logged)) << r.logged << ": " << log_.text();
        Tfunit_Reset();
    }
    QV_EXPECT_FATAL(Parse(Block("")), "Unable to parse unit type definition");
    EXPECT_TRUE(Logged("[] - no symbol"));
}

TEST_F(UnitFile, StartUnitsAndEquivalentsJoinTheirSides)
{
    g_MpTeamsPresetSides = 1;
    Parse(Block("Rifle", "SetSide(1) SetDefaultUnit(3) SetEquivalentUnit(Spear)") +
          Block("Spear", "SetSide(2) SetDefaultUnit(0)"));
    ASSERT_EQ(MpTeams_StartUnitCount(1), 1);
    EXPECT_EQ(MpTeams_StartUnit(1, 0)->type, Units_SymToTypePtr("Rifle"));
    EXPECT_EQ(MpTeams_StartUnit(1, 0)->count, 3);
    EXPECT_EQ(MpTeams_StartUnitCount(2), 0) << "a count of 0 adds nothing";
    EXPECT_EQ(MpTeams_EquivalentUnit(Units_SymToTypePtr("Rifle"), 2), Units_SymToTypePtr("Spear"));
    // Read again after the reset: the same tables, nothing added to the old.
    Tfunit_Reset();
    EXPECT_EQ(MpTeams_StartUnitCount(1), 0);
    Parse(Block("Rifle", "SetSide(1) SetDefaultUnit(3)"));
    EXPECT_EQ(Units_UnitTypeCount(), 1);
    EXPECT_EQ(g_NrPartTypes, 1);
    EXPECT_EQ(MpTeams_StartUnitCount(1), 1);
    // Regression: the start units outlived their types at the game's close,
    // and the next game's file added its own to them.
    Units_FreeTypes();
    EXPECT_EQ(MpTeams_StartUnitCount(1), 0);
}

TEST_F(UnitFile, SpritesReloadInPlace)
{
    Parse(Block("Tank", "SetShadowImage(shadow.spr)"));
    const UNITTYPE* t = Units_GetTypePtr(0);
    const SPRITE* menu = t->menusprite;
    Units_ReloadTypeSprites();
    EXPECT_EQ(t->menusprite, menu);
    WriteSprite("body.spr", 1, 8, 24);
    QV_EXPECT_FATAL(Units_ReloadTypeSprites(),
                    "Incompatible sprites [body.spr] and [" + dir_.file("body.spr") + "]");
}

} // namespace
