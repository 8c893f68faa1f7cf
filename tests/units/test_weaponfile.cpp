// Weapon types and the weapon file.
#include "units/weapon.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/tfparse.h"
#include "platform/animtype.h"
#include "support/testsupport.h"
#include "units/damage.h"
#include "units/expltype.h"

namespace {

// The damage table declares A0 B0 C0 (columns 0 1 2); the explosion types
// SmallBlast and BigBlast and the animation type Tracer exist.
class WeaponTest : public testing::Test {
protected:
    void SetUp() override
    {
        Weapon_Init();
        Damage_Init();
        ExplType_Init();
        AnimType_Init();
        for (const char* c : {"A0", "B0", "C0"}) Damage_AddOffense(Damage_OffenseIndex(c));
        Expl_AddType("SmallBlast");
        Expl_AddType("BigBlast");
        AnimType_New("Tracer");
    }
    void TearDown() override
    {
        for (TF_PARSER* p : parsers_) TF_Close(p);
        Weapon_Close();
        ExplType_Close();
        AnimType_Close();
        Damage_Close();
        Error_ClearContext();
    }
    int Load(const std::string& text)
    {
        TF_PARSER* p = TF_OpenText("weapon.txt", text.data(), text.size());
        parsers_.push_back(p);
        return Tfweapon_ParseWeapon(p);
    }
    bool Logged(const std::string& line) const
    {
        return log_.text().find(line) != std::string::npos;
    }
    // A complete linear weapon around the extra lines.
    static std::string Weapon(const std::string& name, const std::string& lines)
    {
        return "DefineWeapon(" + name + ") {\n SetMovement(LINEAR)\n SetAttributes(0 3 10 5 0)\n"
               " SetSpeed(1.0 0.0 2.0 0)\n SetOffense(A0 10 2)\n" + lines + "}\n";
    }

    QvTempDir dir_;
    QvLogCapture log_;
    std::vector<TF_PARSER*> parsers_;
};

// ---- lines and their values

class WeaponFileLines : public WeaponTest {};

TEST_F(WeaponFileLines, EveryLineSetsItsFields)
{
    ASSERT_EQ(Load(Weapon("Full", " SetAttributes(2 7 30 15 4)\n SetDirectDamage(9 3)\n"
                                  " SetSpeed(1.5 0.25 8.0 90)\n SetOffense(b0 33 6)\n"
                                  " IsEnergyWeapon(40)\n SetAnimation(tracer)\n"
                                  " SetSmokeExplosion(4 smallblast)\n SetHitExplosion(BigBlast)\n"
                                  " SetFireExplosion(SmallBlast)\n CanCancelBoosting()\n"
                                  " CanOnlyShootHumans()\n CanOnlyShootNonHumans()\n"
                                  " CanShootFlyer()\n CanShootGround()\n CanShootBuilding()\n"
                                  " CanShootGroundUnit()\n CanShootIndirect()\n"
                                  " SetBooster(5 30 1.5 1)\n PersistentDamage(3 12 C0 7 9)\n"
                                  " SetFireSound(nofile -1)\n SetHitSound(nofile 60)\n")),
              1);
    const WEAPONTYPE* w = Weapon_FindType("full"); // found in any case
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->mintilerange * 100 + w->tilerange * 10 + w->energyusedpershot, 274);
    EXPECT_EQ(w->range, 180.0f);
    EXPECT_EQ(w->rotationalspeed, 4194304); // a quarter turn
    EXPECT_EQ(w->oinfo.offense, 1);
    EXPECT_EQ(w->InFlightAnimation, AnimType_Find("Tracer"));
    EXPECT_EQ(w->HitExplosion, Expl_FindType("BigBlast"));
    EXPECT_TRUE(w->CanCancelBoosting && w->CanOnlyShootHuman && w->CanOnlyShootNonHuman &&
                w->CanShootFlyer && w->CanShootGround && w->CanShootBuilding &&
                w->CanShootGroundUnit && w->CanShootIndirect);
    EXPECT_EQ(w->boost.fadespeed, 384);
    EXPECT_EQ(w->persistent.oinfo.offense, 2);
    EXPECT_EQ(w->FireSound.volume, 80); // a negative volume
    EXPECT_EQ(w->HitSound.volume, 60);
}

TEST_F(WeaponFileLines, ValuesAreConvertedAsTheGameUsesThem)
{
    ASSERT_EQ(Load(Weapon("A", " SetAttributes(0 3 1 1 1)\n SetSpeed(1 1 1 360)\n"
                               " IsEnergyWeapon(150)\n") +
                   Weapon("B", " SetSpeed(1 1 1 -90)\n IsEnergyWeapon(-5)\n")),
              1);
    const WEAPONTYPE* a = Weapon_FindType("A");
    EXPECT_EQ(a->range, 84.0f);        // (3 + 0.5) x 24 pixels
    EXPECT_EQ(a->rotationalspeed, 0); // a whole turn wraps
    EXPECT_EQ(a->bleedpercent, 100);
    const WEAPONTYPE* b = Weapon_FindType("B");
    EXPECT_EQ(b->rotationalspeed, WEAPON_ROTATION_TURN - 4194304); // three quarters forwards
    EXPECT_EQ(b->bleedpercent, 0);
}

TEST_F(WeaponFileLines, RegressionBoostFadesJustInsideTheBoundsWereRoundedOntoThemAndRefused)
{
    const struct {
        const char* fade;
        int fadespeed;
    } rows[] = {
        {"4194303.9", 1073741798}, {"4194303.99", 1073741821}, {"-4194304.003", -(1 << 30)},
        {"4194303.5", 1073741696}, {"0.1", 25},
    };
    for (const auto& r : rows) {
        Weapon_FreeAll();
        ASSERT_EQ(Load(Weapon("B", std::string(" SetBooster(10 50 ") + r.fade + " 0)\n")), 1) << r.fade;
        EXPECT_EQ(Weapon_FindType("B")->boost.fadespeed, r.fadespeed) << r.fade;
    }
}

TEST_F(WeaponFileLines, CopyWeaponOverwritesEarlierLinesAndLaterLinesOverrideIt)
{
    ASSERT_EQ(Load(Weapon("Gun", " SetDirectDamage(7 1)\n CanShootFlyer()\n") +
                   "DefineWeapon(Copy) {\n SetDirectDamage(99 99)\n CanShootBuilding()\n"
                   " CopyWeapon(GUN)\n SetOffense(C0 5 5)\n}\n"),
              1);
    const WEAPONTYPE* copy = Weapon_FindType("Copy");
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->name, "Copy");
    EXPECT_EQ(copy->directhitpointdamage, 7);
    EXPECT_EQ(copy->CanShootBuilding, 0);
    EXPECT_EQ(copy->oinfo.offense, 2);
}

TEST_F(WeaponFileLines, UnknownNameFailsItsLine)
{
    const struct {
        std::string text;
        const char* logged;
        const char* keyword;
    } rows[] = {
        {"DefineWeapon(W) {\n SetMovement(Bouncing)\n}\n",
         "Expected LINEAR, HOMING, VORTEX, WAVE, SHREDDER or SELFDESTRUCT in DefineWeapon(W)",
         "SetMovement"},
        {"DefineWeapon(Copy) {\n CopyWeapon(Nothing)\n}\n",
         "Couldn't find weapon type with name Nothing", "CopyWeapon"},
        {Weapon("A", " SetHitExplosion(Fizzle)\n"), "Explosion type \"Fizzle\" not previously defined",
         "SetHitExplosion"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Load(r.text), 0) << r.text;
        EXPECT_TRUE(Logged(r.logged)) << r.logged;
        EXPECT_TRUE(Logged(std::string("Error parsing ") + r.keyword)) << r.keyword;
    }
    EXPECT_TRUE(Logged("Error in file [weapon.txt] at line [2]"));
}

// ---- the lines a weapon needs

class WeaponFileMissingLines : public WeaponTest {};

TEST_F(WeaponFileMissingLines, EachRequiredLineIsCheckedInTurn)
{
    const struct {
        const char* block;
        const char* keyword;
    } rows[] = {
        {" SetMovement(SELFDESTRUCT) SetOffense(A0 1 1)\n", "SetSelfDestruct"},
        {" SetMovement(LINEAR) SetAttributes(0 1 1 1 1) SetSpeed(1 1 1 1)\n", "SetOffense"},
        // An offense class the damage table doesn't declare counts as none.
        {" SetMovement(LINEAR) SetAttributes(0 1 1 1 1) SetSpeed(1 1 1 1) SetOffense(D0 1 1)\n",
         "SetOffense"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Load(std::string("DefineWeapon(W) {\n") + r.block + "}\n"), 0) << r.block;
        EXPECT_TRUE(Logged(std::string("Missing ") + r.keyword + " line in definition of weapon W"))
            << r.block;
        Weapon_FreeAll();
    }
}

// ---- broken files

class WeaponFileErrors : public WeaponTest {};

// A word other than DefineWeapon at the top level ends the file as a
// success (it used to fail the whole file); the warning says where, since a
// misspelt keyword looks the same. Inside a block an unknown keyword fails.
TEST_F(WeaponFileErrors, TopLevelWordEndsTheFileButUnknownKeywordFails)
{
    EXPECT_EQ(Load(Weapon("First", "") + "\nDefineWepon(Second) {\n}\n" + Weapon("Third", "")),
              1);
    EXPECT_TRUE(Logged("Weapon file ends at [DefineWepon] in file [weapon.txt] at line [8]"));
    EXPECT_NE(Weapon_FindType("First"), nullptr);
    EXPECT_EQ(Weapon_FindType("Third"), nullptr);

    EXPECT_EQ(Load("DefineWeapon(W) {\n SetMovement(LINEAR)\n setspeed(1 1 1 1)\n}\n"), 0);
    EXPECT_TRUE(Logged("Unknown token [setspeed] in weapon file, line 3"));
    EXPECT_TRUE(Logged("Error in file [weapon.txt] at line [3]"));
}

TEST_F(WeaponFileErrors, SecondWeaponOfTheSameNameOrAMissingFileFails)
{
    EXPECT_EQ(Load(Weapon("Gun", "") + Weapon("GUN", "")), 0);
    EXPECT_TRUE(Logged("Weapon GUN already defined"));
    EXPECT_EQ(Weapon_TypeCount(), 1);
    EXPECT_EQ(Tfweapon_LoadWeaponFile((dir_.path() + "\\Sub\\none.txt").c_str()), 0);
    EXPECT_TRUE(Logged("Can't open weapon file [" + dir_.path() + "/Sub/none.txt]"))
        << "named as a shell would look for it";
}

TEST_F(WeaponFileErrors, MalformedLinesAreFatalNamingWhatWasExpected)
{
    const struct {
        std::string text;
        const char* message;
        int line = 0;  // where the log says it is, when checked
    } rows[] = {
        {"DefineWeapon(W1) { SetOffense(A0 ) }", "Expected [_WeaponStrength_] but found [)]"},
        {"DefineWeapon(W3) { SetSelfDestruct(1 2 3) }",
         "Expected [_MaxOffensePercent_] but found [)]"},
        {"DefineWeapon(W5) { SetAttributes(1 2 3 4 5 6) }", "Expected [)] but found [6]"},
        {"DefineWeapon(W7) SetMovement(LINEAR)", "Expected [{] but found [SetMovement]"},
        {Weapon("W8", " SetOffense(AA 1 1)\n"), "Bad offense class [AA]"},
        // Past what the damage sums take: they overflowed.
        {Weapon("W9", " SetOffense(A0 2000000 2)\n"), "Weapon strength 2000000 out of range (-1048576..1048576)"},
        {Weapon("W10", " SetOffense(A0 10 -2147483648)\n"), "Area effect -2147483648 out of range (-1048576..1048576)"},
        {Weapon("W11", " PersistentDamage(6 8 A0 -1048577 16)\n"), "Weapon strength -1048577 out of range (-1048576..1048576)"},
        // Past what a boosted unit's count holds (and so every save from
        // the first boost on), or what a shot counts its hits down from.
        {Weapon("W12", " SetBooster(10 2000000000 0.5 0)\n"), "Boost time 2000000000 out of range (-1073741823..1073741823)", 6},
        {Weapon("W13", " SetBooster(10 -1073741824 0.5 0)\n"), "Boost time -1073741824 out of range (-1073741823..1073741823)", 6},
        {Weapon("W14", " SetBooster(10 50 5000000.0 0)\n"),
         "Boost fade speed 5000000.0 out of range (from -4194304 to below 4194304)", 6},
        {Weapon("W14a", " SetBooster(10 50 4194304.0 0)\n"),
         "Boost fade speed 4194304.0 out of range (from -4194304 to below 4194304)", 6},
        {Weapon("W14b", " SetBooster(10 50 -4194304.2 0)\n"),
         "Boost fade speed -4194304.2 out of range (from -4194304 to below 4194304)", 6},
        {Weapon("W15", " SetBooster(10 50 -4194305 0)\n"),
         "Boost fade speed -4194305 out of range (from -4194304 to below 4194304)", 6},
        {Weapon("W16", " PersistentDamage(-2147483648 8 A0 1 16)\n"),
         "Persistent damage times -2147483648 out of range (-2147483647..2147483647)", 6},
    };
    for (const auto& r : rows) {
        log_.clear();
        QV_EXPECT_FATAL(Load(r.text), r.message);
        if (r.line) {
            EXPECT_TRUE(Logged("File : weapon.txt") && Logged("Line : " + std::to_string(r.line))) << log_.text();
        }
    }
}

TEST_F(WeaponFileErrors, TruncatedFileNeverSucceeds)
{
    // Cut inside the first word, the text is a file that ends at another word.
    const std::string whole = Weapon("W", " SetBooster(1 2 0.5 1)\n");
    for (size_t n = strlen("DefineWeapon"); n + 1 < whole.size(); n++) {
        Weapon_FreeAll();
        Error_SetFatalHook(QvTest_ThrowHook);
        int result = -1;
        try {
            result = Load(whole.substr(0, n));
        } catch (const QvFatal&) {
            result = 0;
        }
        Error_SetFatalHook(nullptr);
        // A cut inside the block may leave the weapon incomplete but never
        // a success.
        EXPECT_EQ(result, 0) << whole.substr(0, n);
    }
}

// ---- the limit

class WeaponFileLimit : public WeaponTest {
protected:
    static std::string Weapons(int count)
    {
        std::string text;
        for (int i = 0; i < count; i++) {
            text += "DefineWeapon(W" + std::to_string(i) +
                    ") { SetMovement(LINEAR) SetAttributes(0 1 1 1 1) SetSpeed(1 1 1 1)"
                    " SetOffense(A0 1 1) }\n";
        }
        return text;
    }
};

TEST_F(WeaponFileLimit, FileMayDefineAll128Types)
{
    EXPECT_EQ(Load(Weapons(WEAPON_MAXTYPES)), 1);
    EXPECT_EQ(Weapon_TypeCount(), WEAPON_MAXTYPES);
}

// The real stop: exit code 1, the box naming the file and line.
void LoadWeaponFile(const std::string& path)
{
    Tfweapon_LoadWeaponFile(path.c_str());
}

TEST_F(WeaponFileLimit, The129thWeaponStopsTheProgram)
{
    dir_.write("weapon.txt", Weapons(WEAPON_MAXTYPES + 1));
    EXPECT_EXIT(LoadWeaponFile(dir_.file("weapon.txt")), testing::ExitedWithCode(1),
                "Text file parsing error\nMaximum weapon types \\(128\\) exceeded"
                ".*File : .*weapon\\.txt\nLine : 129\n");
}

} // namespace
