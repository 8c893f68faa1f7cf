#include "core/parse.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/tlog.h"
#include "support/testsupport.h"

namespace {

// A fresh script per test, fixtures written into a private directory and the
// trace log kept there so that error lines can be read back.
class ParseTest : public testing::Test {
protected:
    void SetUp() override
    {
        oldLog_ = Tlog_GetFile();
        oldErrorLog_ = Tlog_GetErrorFile();
        Tlog_SetFile(dir_.file("trace.log").c_str());
        Tlog_SetErrorFile(dir_.file("error.log").c_str());
        script_ = IParse_NewScript();
    }
    void TearDown() override
    {
        Parse_FreeData(script_);
        Tlog_SetFile(oldLog_.c_str());
        Tlog_SetErrorFile(oldErrorLog_.c_str());
    }
    // Writes text as name and loads it into the script.
    int Load(const std::string& name, const std::string& text)
    {
        dir_.write(name, text);
        return IParse_LoadScript(dir_.file(name).c_str(), script_);
    }
    int Int(const char* name)
    {
        int status = 99;
        int v = Parse_GetIntPtr(script_, name, &status);
        EXPECT_EQ(status, 0) << name;
        return v;
    }
    std::string Str(const char* name)
    {
        char buf[PARSE_STRINGMAX];
        int status = 99;
        Parse_GetStringPtr(script_, name, &status, buf, sizeof buf);
        EXPECT_EQ(status, 0) << name;
        return buf;
    }
    // The value at name through the getter of kind (0: the array size), as
    // text; "fail:" and the getter's failure value when its status is -1.
    std::string Value(const char* name, int kind)
    {
        int status = 99;
        char buf[PARSE_STRINGMAX] = "junk";
        switch (kind) {
        case PARSE_INT:
            snprintf(buf, sizeof buf, "%d", Parse_GetInt(script_, name, &status));
            break;
        case PARSE_FLOAT:
            snprintf(buf, sizeof buf, "%g", Parse_GetFloat(script_, name, &status));
            break;
        case PARSE_DOUBLE:
            snprintf(buf, sizeof buf, "%g", Parse_GetDouble(script_, name, &status));
            break;
        case PARSE_STRING:
            Parse_GetString(script_, name, &status, buf, sizeof buf);
            break;
        default:
            snprintf(buf, sizeof buf, "%d", Parse_GetArraySize(script_, name, &status));
        }
        return (status == 0 ? "" : status == -1 ? "fail:" : "status?:") + std::string(buf);
    }
    std::string Log() const { return dir_.read("trace.log"); }

    QvTempDir dir_;
    PARSE_SCRIPT* script_ = nullptr;
    std::string oldLog_, oldErrorLog_;
};

// The construction program of a plan: accounts with budgets, each account an
// array of priority entries.
const char kPlan[] = R"(// plan
struct account { string account_name; int budget; int max_reserve; };
struct entry { int priority; int build_type; char item_name[32]; int build_amount; };

account unit_construction_program[] = {
    { "base", 100, 50 },
    { "army", -20, 0 },
    { "air", 700, 350 },   /* trailing comma allowed */
};
entry base[3] = { { 5, 0, "Refinery", 1 }, { 5, 1, "Tank", 4 } };
double max_matching_force_ratio = 1.5;
float relaxation_coefficient = .25f;
int recompute_strategy_period = 0x40;
string transport = "Hauler" " Mk2";
char label[] = "plan";
)";

// ---------------------------------------------------------------------------

using ParseDeclarations = ParseTest;

TEST_F(ParseDeclarations, EveryValueIsReadAtItsAddressByItsKindOnly)
{
    ASSERT_EQ(Load("plan.aip", std::string(kPlan) +
                                   "int lo = -2147483648; int hex = 0xFFFFFFFF; float f = 3;\n"
                                   "double e = -1.5e-3; int noinit; string empty;\n"
                                   "string esc = \"a\\tb\\\"c\\\\\";\n"
                                   "struct pt { int x; float y; };\n"
                                   "struct pt origin = { 7 };\n"
                                   "pt spot = { 1, 2.5 };\n"
                                   "float mult[] = { 1, 0.5, 2 };\n"
                                   "string names[2] = { \"a\" };\n"
                                   "int none[] = { };\n"),
              PARSE_OK);
    struct Row {
        const char* name;
        int kind;
        const char* want;
    };
    const Row rows[] = {
        {"unit_construction_program", 0, "3"},
        {"unit_construction_program[2].budget", PARSE_INT, "700"},
        {"unit_construction_program[1].budget", PARSE_INT, "-20"},
        {"unit_construction_program[1].account_name", PARSE_STRING, "army"},
        {"unit_construction_program[0].max_reserve", PARSE_INT, "50"},
        // A sized array keeps its size; elements without values are zero and "".
        {"base", 0, "3"},
        {"base[1].item_name", PARSE_STRING, "Tank"},
        {"base[1].build_amount", PARSE_INT, "4"},
        {"base[2].priority", PARSE_INT, "0"},
        {"base[2].item_name", PARSE_STRING, ""},
        {"max_matching_force_ratio", PARSE_DOUBLE, "1.5"},
        {"relaxation_coefficient", PARSE_FLOAT, "0.25"},
        {"recompute_strategy_period", PARSE_INT, "64"},
        {"transport", PARSE_STRING, "Hauler Mk2"},
        {"label", PARSE_STRING, "plan"},
        // Numbers convert as in C.
        {"lo", PARSE_INT, "-2147483648"},
        {"hex", PARSE_INT, "-1"},
        {"noinit", PARSE_INT, "0"},
        {"f", PARSE_FLOAT, "3"},
        {"e", PARSE_DOUBLE, "-0.0015"},
        {"empty", PARSE_STRING, ""},
        {"esc", PARSE_STRING, "a\tb\"c\\"},
        // Plain structs and plain arrays.
        {"origin.x", PARSE_INT, "7"},
        {"origin.y", PARSE_FLOAT, "0"},
        {"spot.y", PARSE_FLOAT, "2.5"},
        {"mult[1]", PARSE_FLOAT, "0.5"},
        {"mult", 0, "3"},
        {"names[0]", PARSE_STRING, "a"},
        {"names[1]", PARSE_STRING, ""},
        {"none", 0, "0"},
        // An int is no float and the other way round.
        {"max_matching_force_ratio", PARSE_INT, "fail:-1"},
        {"max_matching_force_ratio", PARSE_FLOAT, "fail:-1"},
        {"recompute_strategy_period", PARSE_DOUBLE, "fail:-1"},
        {"recompute_strategy_period", PARSE_STRING, "fail:"},
        {"unit_construction_program[0].account_name", PARSE_INT, "fail:-1"},
        {"transport", 0, "fail:-1"},
    };
    for (const Row& row : rows) EXPECT_EQ(Value(row.name, row.kind), row.want) << row.name;
}

TEST_F(ParseDeclarations, EnumeratorsListVariablesAndMembersInOrder)
{
    ASSERT_EQ(Load("plan.aip", kPlan), PARSE_OK);
    std::vector<std::string> seen;
    Parse_ForEachVariable(
        script_,
        [](const char* name, int kind, int count, void* ctx) {
            static_cast<std::vector<std::string>*>(ctx)->push_back(
                std::string(name) + ":" + std::to_string(kind) + ":" + std::to_string(count));
        },
        &seen);
    std::vector<std::string> want = {"unit_construction_program:5:3",
                                     "base:5:3",
                                     "max_matching_force_ratio:3:-1",
                                     "relaxation_coefficient:2:-1",
                                     "recompute_strategy_period:1:-1",
                                     "transport:4:-1",
                                     "label:4:-1"};
    EXPECT_EQ(seen, want);

    std::vector<std::string> members;
    int n = Parse_ForEachMember(
        script_, "base",
        [](const char* m, int kind, void* ctx) {
            static_cast<std::vector<std::string>*>(ctx)->push_back(std::string(m) + ":" +
                                                                   std::to_string(kind));
        },
        &members);
    EXPECT_EQ(n, 4);
    EXPECT_EQ(members, (std::vector<std::string>{"priority:1", "build_type:1", "item_name:4",
                                                 "build_amount:1"}));
    EXPECT_EQ(Parse_ForEachMember(script_, "transport", nullptr, nullptr), -1);
}

// ---------------------------------------------------------------------------

using ParseQueries = ParseTest;

TEST_F(ParseQueries, MissingNamesAndBadAddressesFail)
{
    ASSERT_EQ(Load("plan.aip", kPlan), PARSE_OK);
    const char* bad[] = {
        "ground_unit_threat",                   // not declared
        "unit_construction_program[3].budget",  // past the end
        "unit_construction_program[-1].budget", // no signs in an index
        "unit_construction_program[0].nothing", // no such member
        "unit_construction_program[0]",         // an element, not a value
        "unit_construction_program.budget",     // array without index
        "recompute_strategy_period[0]",         // index on a scalar
        "unit_construction_program[0].budget ", // trailing text
        "unit_construction_program[99999999999].budget",
        "",
    };
    for (const char* name : bad) {
        int status = 0;
        EXPECT_EQ(Parse_GetIntPtr(script_, name, &status), -1) << name;
        EXPECT_EQ(status, -1) << name;
    }
    int status = 0;
    EXPECT_EQ(Parse_GetInt(script_, nullptr, &status), -1);
    EXPECT_EQ(Parse_GetInt(script_, "recompute_strategy_period", nullptr), 64);
}

// Parse_GetString used to be given no size, so a long value ran past the
// caller's field.
TEST_F(ParseQueries, GetStringStopsAtBufferSizeNoOverflow)
{
    ASSERT_EQ(Load("s.aip", "string s = \"abcdefghijklmnopqrstuvwxyz\";\n"
                            "struct e { string n; }; e arr[] = { { \"0123456789\" } };\n"
                            "#define K \"longer than eight\"\n"),
              PARSE_OK);
    char guard[32];
    memset(guard, '#', sizeof guard);
    int status = 99;
    Parse_GetString(script_, "s", &status, guard, 8);
    EXPECT_EQ(status, 0);
    EXPECT_STREQ(guard, "abcdefg");
    EXPECT_EQ(guard[8], '#');
    memset(guard, '#', sizeof guard);
    Parse_GetStringPtr(script_, "arr[0].n", &status, guard, 4);
    EXPECT_STREQ(guard, "012");
    EXPECT_EQ(guard[4], '#');
    memset(guard, '#', sizeof guard);
    Parse_GetDefine(script_, "K", &status, guard, 6);
    EXPECT_STREQ(guard, "longe");
    EXPECT_EQ(guard[6], '#');
    Parse_GetString(script_, "s", &status, guard, 0); // nothing written at all
    EXPECT_EQ(guard[0], 'l');
}

// ---------------------------------------------------------------------------

using ParseDefines = ParseTest;

TEST_F(ParseDefines, DefinesSubstituteInInitialisersAndReadBack)
{
    ASSERT_EQ(Load("d.aip",
                   "#define BUDGET 500\n"
                   "#define NEG -3\n"
                   "#define RATIO 0.75\n"
                   "#define NAME \"Tank\"\n"
                   "#define SIZE 4\n"
                   "struct e { string n; int b; float r; };\n"
                   "e arr[SIZE] = { { NAME, BUDGET, RATIO }, { \"Big \" NAME, -NEG, NEG } };\n"
                   "int plain = BUDGET;\n"),
              PARSE_OK);
    int status;
    EXPECT_EQ(Parse_GetArraySize(script_, "arr", &status), 4);
    EXPECT_EQ(Str("arr[0].n"), "Tank");
    EXPECT_EQ(Int("arr[0].b"), 500);
    EXPECT_EQ(Parse_GetFloatPtr(script_, "arr[0].r", &status), 0.75f);
    EXPECT_EQ(Str("arr[1].n"), "Big Tank");
    EXPECT_EQ(Int("arr[1].b"), 3);
    EXPECT_EQ(Parse_GetFloatPtr(script_, "arr[1].r", &status), -3.0f);
    EXPECT_EQ(Int("plain"), 500);

    char buf[64];
    Parse_GetDefine(script_, "NAME", &status, buf, sizeof buf);
    EXPECT_EQ(status, 0);
    EXPECT_STREQ(buf, "Tank");
    Parse_GetDefine(script_, "NEG", &status, buf, sizeof buf);
    EXPECT_STREQ(buf, "-3");
    Parse_GetDefine(script_, "UNDEFINED", &status, buf, sizeof buf);
    EXPECT_EQ(status, -1);
    EXPECT_STREQ(buf, "");
}

TEST_F(ParseDefines, StringScriptKeysAreListedInOrderWithLaterValues)
{
    ASSERT_EQ(Load("strings.txt", "// texts\n"
                                  "#define MLS_HELLO \"Hello\"\n"
                                  "#define MLS_TWO \"Line one\\n\"\n"
                                  "   \"not joined: next line\";\n"), // a new line ends a #define
              PARSE_ERROR);
    ASSERT_EQ(Load("strings.txt", "#define MLS_HELLO \"Hello\"\n"
                                  "#define MLS_TWO \"Line one\\n\" \"two\" /* same line */\n"
                                  "#define MLS_HELLO \"Hi\"\n"),
              PARSE_OK);
    std::vector<std::string> seen;
    Parse_ForEachDefine(
        script_,
        [](const char* name, const char* value, void* ctx) {
            static_cast<std::vector<std::string>*>(ctx)->push_back(std::string(name) + "=" + value);
        },
        &seen);
    EXPECT_EQ(seen, (std::vector<std::string>{"MLS_HELLO=Hi", "MLS_TWO=Line one\ntwo"}));
    EXPECT_NE(Log().find("[MLS_HELLO] redefined"), std::string::npos);
}

// ---------------------------------------------------------------------------

using ParseIncludes = ParseTest;

TEST_F(ParseIncludes, IncludeIsSearchedInOwnDirectoryThenIncludeDirectoriesInOrder)
{
    dir_.write("first/types.aih", "struct e { int b; };\n#include \"sub/more.aih\"\n");
    dir_.write("first/sub/more.aih", "#include \"leaf.aih\"\n");
    dir_.write("first/sub/leaf.aih", "int from_leaf = 1;\n"); // beside its includer
    dir_.write("second/types.aih", "int shadowed = 1;\n");
    dir_.write("second/common.aih", "#define B 9\n");
    Parse_AddIncludeDir(script_, dir_.file("first").c_str());
    Parse_AddIncludeDir(script_, dir_.file("second").c_str());
    ASSERT_EQ(Load("plans/p.aip", "#include \"common.aih\"\n#include \"types.aih\"\n"
                                  "e arr[] = { { B } };\n"),
              PARSE_OK);
    EXPECT_EQ(Int("arr[0].b"), 9);
    EXPECT_EQ(Int("from_leaf"), 1);
    int status;
    Parse_GetInt(script_, "shadowed", &status);
    EXPECT_EQ(status, -1);
    // The plan's own directory comes before every include directory.
    dir_.write("plans/types.aih", "int local = 2;\n");
    ASSERT_EQ(Load("plans/q.aip", "#include \"types.aih\"\n"), PARSE_OK);
    EXPECT_EQ(Int("local"), 2);
}

TEST_F(ParseIncludes, IncludeCycleFailsTheLoadInsteadOfLooping)
{
    dir_.write("a.aih", "int a = 1;\n#include \"b.aih\"\n");
    dir_.write("b.aih", "\n#include \"a.aih\"\n");
    EXPECT_EQ(Load("self.aip", "#include \"self.aip\"\n"), PARSE_ERROR);
    EXPECT_EQ(Load("p.aip", "#include \"a.aih\"\n"), PARSE_ERROR);
    EXPECT_NE(Log().find("b.aih] at line [2]: [a.aih] includes itself"), std::string::npos);
    int status;
    Parse_GetInt(script_, "a", &status);
    EXPECT_EQ(status, -1);
}

TEST_F(ParseIncludes, DiamondOfIncludesIsBoundedByTheIncludeCount)
{
    // Each level includes the next twice: 2^14 loads, all within the depth
    // limit, unless the count stops it.
    for (int i = 0; i < 14; i++) {
        std::string next = "l" + std::to_string(i + 1) + ".aih";
        dir_.write("l" + std::to_string(i) + ".aih",
                   "#include \"" + next + "\"\n#include \"" + next + "\"\n");
    }
    dir_.write("l14.aih", "\n");
    EXPECT_EQ(Load("p.aip", "#include \"l0.aih\"\n"), PARSE_ERROR);
    EXPECT_NE(Log().find("more than 256 #include lines"), std::string::npos);

    // A plain chain one file deeper than the limit.
    for (int i = 0; i < PARSE_MAXINCLUDEDEPTH; i++) {
        dir_.write("c" + std::to_string(i) + ".aih",
                   "#include \"c" + std::to_string(i + 1) + ".aih\"\n");
    }
    dir_.write("c" + std::to_string(PARSE_MAXINCLUDEDEPTH) + ".aih", "int deep;\n");
    EXPECT_EQ(Load("p.aip", "#include \"c0.aih\"\n"), PARSE_ERROR);
    EXPECT_NE(Log().find("c14.aih] at line [1]: #include nested more than 16 files deep"),
              std::string::npos);
}

// ---------------------------------------------------------------------------

using ParseErrors = ParseTest;

TEST_F(ParseErrors, FailedLoadLogsFileLineAndWhatWasWrong)
{
    std::string many;
    for (int i = 0; i < 17; i++) many += "int a" + std::to_string(i) + "[65536];\n";
    struct Row {
        std::string text;
        std::string logged;
    };
    const Row rows[] = {
        {"int a = 1;\n\nint b = ;\n", "Script error in file [" + dir_.file("x.aip") +
                                          "] at line [3]: expected an integer but found [;]"},
        {"int a;\n#include \"nowhere.aih\"\n",
         "x.aip] at line [2]: cannot find include file [nowhere.aih]"},
        {many, "x.aip] at line [17]: script holds more than 1048576 values"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Load("x.aip", row.text), PARSE_ERROR);
        EXPECT_NE(Log().find(row.logged), std::string::npos) << Log();
    }
}

TEST_F(ParseErrors, MissingFileGivesTen)
{
    EXPECT_EQ(IParse_LoadScript(dir_.file("absent.aip").c_str(), script_), PARSE_NOFILE);
    EXPECT_EQ(IParse_LoadScript(dir_.path().c_str(), script_), PARSE_NOFILE); // a directory
    EXPECT_EQ(IParse_LoadScript(nullptr, script_), PARSE_NOFILE);
}

TEST_F(ParseErrors, FailedLoadLeavesEarlierLoadsIntact)
{
    ASSERT_EQ(Load("a.aip", "#define K \"old\"\nstruct s { int v; };\nint kept = 4;\n"), PARSE_OK);
    EXPECT_EQ(Load("b.aip", "#define K \"new\"\n#define J 1\nstruct t { int w; };\n"
                            "s made[] = { { 1 } };\nint kept2 = 5;\nint broken = \"x\";\n"),
              PARSE_ERROR);
    EXPECT_EQ(Int("kept"), 4);
    int status;
    char buf[16];
    Parse_GetDefine(script_, "K", &status, buf, sizeof buf);
    EXPECT_STREQ(buf, "old");
    Parse_GetDefine(script_, "J", &status, buf, sizeof buf);
    EXPECT_EQ(status, -1);
    Parse_GetArraySize(script_, "made", &status);
    EXPECT_EQ(status, -1);
    // The names from the failed load are free to declare again.
    ASSERT_EQ(Load("c.aip", "struct t { int w; }; int kept2 = 6; s made[1];\n"), PARSE_OK);
    EXPECT_EQ(Int("kept2"), 6);
    EXPECT_EQ(Int("made[0].v"), 0);
}

TEST_F(ParseErrors, BrokenAndHostileTextsFailCleanly)
{
    const std::string longName(64, 'n');
    const std::string longText(1024, 't');
    const char* cases[] = {
        "string s = \"unterminated;\n",
        "/* never closed\nint a;\n",
        "int a = 1.5;",
        "int a = 2147483648;",
        "float f = 1e39;",
        "double d = 1e999;",
        "int a = 12abc;",
        "int a[2] = { 1, 2, 3 };",
        "int a[65537];",
        "int a[0];",
        "int a[];",
        "int a[] = { 1 ",
        "struct s { int a; }; s v = { 1, 2 };",
        "struct s { int a; }; s v[] = { 1 };",
        "struct s { };",
        "struct s { int a; int a; };",
        "struct s { int a[3]; };",
        "struct s { int a; }; struct s { int b; };",
        "unknown v;",
        "int int = 1;",
        "int a; int a;",
        "int a = 1; #define X 2\n",
        "#pragma once\n",
        "#define X\n",
        "#include <file.aih>\n",
        "char c = \"x\";",
        "char c[3] = \"abc\";",
        "string s = \"bad escape \\q\";",
        "string s = 5;",
        "int a = \"5\";",
        "int a = UNDEFINED;",
        "int a = 1",
        "$",
        "int a = - - 1;",
    };
    for (const char* text : cases) {
        EXPECT_EQ(Load("x.aip", text), PARSE_ERROR) << text;
    }
    EXPECT_EQ(Load("x.aip", "int " + longName + ";"), PARSE_ERROR);
    EXPECT_EQ(Load("x.aip", "string s = \"" + longText + "\";"), PARSE_ERROR);
    EXPECT_EQ(Load("x.aip", "string s = \"" + longText.substr(1) + "\" \"t\";"), PARSE_ERROR);
    EXPECT_EQ(Load("x.aip", std::string("int a = 1;\0int b;", 17)), PARSE_ERROR);
    int declared = 0;
    Parse_ForEachVariable(
        script_, [](const char*, int, int, void* ctx) { ++*static_cast<int*>(ctx); }, &declared);
    EXPECT_EQ(declared, 0);
    // At the limits everything still loads.
    EXPECT_EQ(Load("y.aip", "int " + longName.substr(1) + "; int big[65536]; string s = \"" +
                                longText.substr(1) + "\";"),
              PARSE_OK);
}

} // namespace
