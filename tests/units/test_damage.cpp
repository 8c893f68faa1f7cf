// The damage table, its formula and the "damage.txt" loader.
#include "units/damage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/debug.h"
#include "core/rand.h"
#include "core/tfparse.h"
#include "support/testsupport.h"

namespace {

class DamageTest : public testing::Test {
protected:
    void SetUp() override
    {
        Damage_Init();
        Rand_SetPosition(0);
    }
    void TearDown() override
    {
        Damage_Close();
    }
    // Loads text as "damage.txt" into an empty table; the parser is closed
    // even when loading dies.
    int Load(const std::string& text)
    {
        Damage_FreeAll();
        TF_PARSER* p = TF_OpenText("damage.txt", text.data(), text.size());
        struct Closer {
            TF_PARSER* p;
            ~Closer() { TF_Close(p); }
        } closer{p};
        return Tfweapon_LoadDamage(p);
    }
    std::string Log() const { return log_.text(); }
    static DAMAGEENTRY Entry(int defense, const char* offense)
    {
        return Damage_GetDefense(defense)->row[Damage_OffenseColumn(offense)];
    }

    QvTempDir dir_;
    QvLogCapture log_;
};

// ---- the table as the file fills it

class DamageTable : public DamageTest {};

// Classes name their column in any case and a repeat keeps its first; a
// one-letter entry sets the ten classes of its group over the defaults, and
// one for an undeclared class is ignored.
TEST_F(DamageTable, FileFillsTheColumnsAndRowsItDeclares)
{
    for (const char* bad : {"A10", "\xc1" "1"}) EXPECT_EQ(Damage_OffenseIndex(bad), -1) << bad;
    ASSERT_EQ(Load("DeclareOffenses() { C0 a5 c0 B3 B0 A5 }\n"
                   "DefineVulnerability(Light 100 0 0) { D4 50 0 0 }\n"
                   "DefineVulnerability(Armour 80 5 2) {\n"
                   "  b 150 10 0\n"
                   "}\n"),
              1);
    EXPECT_EQ(Damage_ColumnCount(), 4);
    EXPECT_EQ(Damage_OffenseColumn("A5"), 1);
    EXPECT_EQ(Damage_OffenseColumn("D0"), -1);
    EXPECT_EQ(Damage_GetDefense(0)->row, nullptr);
    int armour = Damage_FindDefense("ARMOUR");
    auto values = [&](const char* cls) {
        DAMAGEENTRY e = Entry(armour, cls);
        return std::vector<int>{e.damage, e.deviation, e.critical};
    };
    EXPECT_EQ(values("C0"), (std::vector<int>{80, 5, 2}));
    for (const char* cls : {"B0", "B3"}) EXPECT_EQ(values(cls), (std::vector<int>{150, 10, 0})) << cls;
}

TEST_F(DamageTable, FileEndsCleanlyInsideABlockOrAtAnotherToken)
{
    EXPECT_EQ(Load("DeclareOffenses() { A0 } DefineVulnerability(Light 100 0 0) { A0 50 0 0"), 1);
    EXPECT_EQ(Entry(0, "A0").damage, 50);
    EXPECT_EQ(Load("DeclareOffenses() { A0 }\n"
                   "DefineVulnerability(Light 100 0 0) { }\n"
                   "definevulnerability(Heavy 100 0 0) { }\n"),
              1);
    EXPECT_EQ(Damage_DefenseCount(), 1);
    EXPECT_NE(Log().find("Damage file ends at [definevulnerability] in file [damage.txt] at line [3]"),
              std::string::npos);
}

// Regression: a row made before a later class was declared was read past its end.
TEST_F(DamageTable, RegressionClassDeclaredAfterTheRowReadsTheDefaults)
{
    Damage_AddOffense(0);
    int def = Damage_AddDefense("Light", 90, 0, 0);
    Damage_SetEntry(def, 0, 40, 0, 0);
    int late = Damage_AddOffense(1);
    int critical = 0;
    EXPECT_EQ(Damage_GetDamage(late, def, 100, 100, 0, 0, &critical), 90);
}

// Regression: the defense index one past the last class was accepted and
// wrote into an unused record; so was class 260.
TEST_F(DamageTable, RegressionSetEntryRefusesIndexesOnePastTheEnd)
{
    Damage_AddOffense(0);
    Damage_AddDefense("Light", 100, 0, 0);
    QV_EXPECT_FATAL(Damage_SetEntry(1, 0, 50, 0, 0),
                    "ASSERT (defense >= 0 && defense < defensiveclasses)");
    QV_EXPECT_FATAL(Damage_SetEntry(0, 260, 50, 0, 0),
                    "ASSERT (offenseclass >= 0 && offenseclass < MAXOFFENSECLASSES)");
}

// ---- the formula

class DamageFormula : public DamageTest {
protected:
    void SetUp() override
    {
        DamageTest::SetUp();
        column_ = Damage_AddOffense(0);
        defense_ = Damage_AddDefense("Light", 100, 0, 0);
    }
    void SetEntry(int damage, int deviation, int critical)
    {
        Damage_SetEntry(defense_, 0, damage, deviation, critical);
    }
    int Hit(int hitpoints, int strength, int area, int distance, int* critical)
    {
        return Damage_GetDamage(column_, defense_, hitpoints, strength, area, distance, critical);
    }
    // A stream position whose next draw from range satisfies want.
    static int FindPosition(int range, bool (*want)(int))
    {
        for (int pos = 0; pos < RAND_TABLESIZE; pos++) {
            Rand_SetPosition(pos);
            if (want(Rand_Next(range))) return pos;
        }
        return -1;
    }

    int column_ = -1;
    int defense_ = -1;
};

// Without a critical chance or a deviation nothing is drawn from the stream.
TEST_F(DamageFormula, EntryStrengthAndDistanceWithoutDraws)
{
    const struct {
        int damage, hitpoints, strength, area, distance, expected;
    } rows[] = {
        {100, 50, 100, 0, 0, 50},                       // the centre of a point hit
        {100, 100, 100, 10, 5, 75},                     // the square of the distance
        {100, 100, 100, 10, 10, 0},                     // the edge itself
        {100, 100, 100, 0, 1, 0},                       // a point hit only at its point
        {65535, INT32_MAX, INT32_MAX, 0, 0, INT32_MAX}, // saturates, no overflow
    };
    for (const auto& r : rows) {
        SetEntry(r.damage, 0, 0);
        Rand_SetPosition(17);
        int critical = 1;
        EXPECT_EQ(Hit(r.hitpoints, r.strength, r.area, r.distance, &critical), r.expected)
            << r.damage << " " << r.area << " " << r.distance;
        EXPECT_EQ(critical, 0);
        EXPECT_EQ(Rand_GetPosition(), 17);
    }
}

TEST_F(DamageFormula, DrawsTheCriticalTestFirstThenTheDeviation)
{
    // Not critical: the deviation is drawn next and may make the result negative.
    SetEntry(2, 10, 50);
    int pos = FindPosition(100, [](int r) { return r >= 50; });
    ASSERT_GE(pos, 0);
    Rand_SetPosition(pos);
    Rand_Next(100);
    int dev = Rand_Next(20) - 10;
    Rand_SetPosition(pos);
    int critical = 1;
    EXPECT_EQ(Hit(100, 100, 0, 0, &critical), 2 + dev);
    EXPECT_EQ(critical, 0);
    EXPECT_EQ(Rand_GetPosition(), (pos + 2) % RAND_TABLESIZE);
    // Critical: full strength, wherever in the area, without the deviation draw.
    SetEntry(10, 10, 50);
    pos = FindPosition(100, [](int r) { return r < 50; });
    ASSERT_GE(pos, 0);
    Rand_SetPosition(pos);
    EXPECT_EQ(Hit(80, 100, 10, 5, &critical), 80);
    EXPECT_EQ(critical, 1);
    EXPECT_EQ(Rand_GetPosition(), (pos + 1) % RAND_TABLESIZE);
}

TEST_F(DamageFormula, DefenseWithoutARowLogsAndDoesFullDamage)
{
    SetEntry(10, 0, 0);
    int bare = Damage_AddDefense("Building", 50, 0, 0);
    int critical = 7;
    EXPECT_EQ(Damage_GetDamage(column_, bare, 120, 100, 10, 9, &critical), 120);
    EXPECT_EQ(critical, 7);
    EXPECT_NE(Log().find("No entries for defense 1 (Building)"), std::string::npos);
}

// ---- errors in the file

class DamageFileErrors : public DamageTest {
protected:
    static std::string Block(const std::string& body)
    {
        return "DeclareOffenses() { A0 B0 }\nDefineVulnerability(Light 100 0 0) {\n" + body + "\n}\n";
    }
};

TEST_F(DamageFileErrors, MalformedTextIsAFatalTextFileError)
{
    std::string many = "DeclareOffenses() { A0 }\n";
    for (int i = 0; i <= MAXDEFENSECLASSES; i++)
        many += "DefineVulnerability(D" + std::to_string(i) + " 100 0 0) { }\n";
    const struct {
        std::string text;
        const char* message;
    } rows[] = {
        {"DeclareOffenses() { A0 AA }", "Bad offense class [AA]"},
        {Block("5A 10 0 0"), "Bad offense [5A] for defense [Light]"},
        {Block("") + "DefineVulnerability(LIGHT 100 0 0) { }", "Duplicate defense [LIGHT]"},
        {"", "Expected [DeclareOffenses] but found [EOF]"},
        {"DeclareOffenses() { A0", "Expected [}] but found [EOF]"},
        {Block("A0 10 256 0"), "Value of deviation out of range [256]"},
        {"DeclareOffenses() { A0 } DefineVulnerability(Light 100 0 300) { }",
         "Value of criticalhit out of range [300]"},
    };
    for (const auto& r : rows) QV_EXPECT_FATAL(Load(r.text), r.message);
    // The forty-first defense was refused, not written past the table.
    QV_EXPECT_FATAL(Load(many), "Maximum defense classes (40) exceeded");
    EXPECT_EQ(Damage_DefenseCount(), MAXDEFENSECLASSES);
}

// The file's parser used to stay allocated when a fatal error left through a
// test or fuzz hook.
TEST_F(DamageFileErrors, RegressionFatalErrorLeavesNoParserBehind)
{
    dir_.write("damage.txt", "DeclareOffenses() { A0 AA }");
    long blocks = Debug_LiveBlocks();
    QV_EXPECT_FATAL(Tfweapon_LoadDamageFile(dir_.file("damage.txt").c_str()),
                    "Bad offense class [AA]");
    EXPECT_EQ(Debug_LiveBlocks(), blocks);
}

TEST_F(DamageFileErrors, MissingValueFailsTheLoadWithFileAndLine)
{
    const struct {
        std::string text;
        const char* logged;
    } rows[] = {
        {Block("A0 ten 0 0"), "Expecting damage, but got ten"},
        {"DeclareOffenses() { A0 } DefineVulnerability(Light 100 0", "Expecting criticalhit, but got EOF"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Load(r.text), 0) << r.text;
        EXPECT_NE(Log().find(r.logged), std::string::npos) << r.logged;
    }
    EXPECT_NE(Log().find("Error in file [damage.txt] at line [3]"), std::string::npos);
}

class DamageFileErrorsDeathTest : public DamageTest {};

TEST_F(DamageFileErrorsDeathTest, DuplicateDefenseExitsNamingFileAndLine)
{
    EXPECT_EXIT(Load("DeclareOffenses() { A0 }\n"
                     "DefineVulnerability(Light 100 0 0) { }\n\n"
                     "DefineVulnerability(light 100 0 0) { }\n"),
                testing::ExitedWithCode(1),
                "Duplicate defense \\[light\\].*File : damage.txt.*Line : 4");
}

// ---- the SetVulnerability line of the type files

TEST_F(DamageTest, SetVulnerabilityFindsTheDefenseIgnoringCaseAndTheCutTo63Characters)
{
    const std::string longname(70, 'x');
    Damage_AddDefense("Light", 100, 0, 0);
    EXPECT_EQ(Damage_AddDefense("LIGHT", 100, 0, 0), -1);
    Damage_AddDefense(longname.c_str(), 100, 0, 0);
    const struct {
        std::string text;
        int keyword_read, ok, defense, strength;
    } rows[] = {
        {"setvulnerability(light 75)", 0, 1, 0, 75},
        {"(\"" + longname + "\" -5)", 1, 1, 1, -5},
        {"SetVulnerability(Steel 100)", 0, 0, -1, 100},
    };
    for (const auto& r : rows) {
        TF_PARSER* p = TF_OpenText("units.txt", r.text.data(), r.text.size());
        int defense = -1, strength = -1;
        EXPECT_EQ(Textfile_ParseSetVulnerability(p, r.keyword_read, &defense, &strength), r.ok)
            << r.text;
        TF_Close(p);
        EXPECT_EQ(defense, r.defense) << r.text;
        EXPECT_EQ(strength, r.strength) << r.text;
    }
    EXPECT_NE(Log().find("No match for defense [Steel] in damage.txt"), std::string::npos);
}

} // namespace
