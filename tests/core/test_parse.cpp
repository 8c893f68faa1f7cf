#include "core/parse.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/testsupport.h"

namespace {

constexpr int kDefine = 9; // Value() of a #define

// A fresh script per test, fixtures written into a private directory and the
// trace log captured so that error lines can be read back.
class ParseTest : public testing::Test {
protected:
    void SetUp() override { script_ = IParse_NewScript(); }
    void TearDown() override { Parse_FreeData(script_); }
    // Writes text as name and loads it into the script.
    int Load(const std::string& name, const std::string& text)
    {
        dir_.write(name, text);
        return IParse_LoadScript(dir_.file(name).c_str(), script_);
    }
    // The value at name through the getter of kind (0: the array size), as
    // text; "fail:" and the getter's failure value when its status is -1.
    std::string Value(const char* name, int kind = PARSE_INT)
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
        case kDefine:
            Parse_GetDefine(script_, name, &status, buf, sizeof buf);
            break;
        default:
            snprintf(buf, sizeof buf, "%d", Parse_GetArraySize(script_, name, &status));
        }
        return (status == 0 ? "" : status == -1 ? "fail:" : "status?:") + std::string(buf);
    }
    std::string Log() const { return log_.text(); }

    QvTempDir dir_;
    QvLogCapture log_;
    PARSE_SCRIPT* script_ = nullptr;
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
)";

// ---------------------------------------------------------------------------

using ParseDeclarations = ParseTest;

TEST_F(ParseDeclarations, EveryValueIsReadAtItsAddressByItsKindOnly)
{
    ASSERT_EQ(Load("plan.aip", std::string(kPlan) +
                                   "int lo = -2147483648; int hex = 0xFFFFFFFF;\n"
                                   "string esc = \"a\\tb\\\"c\\\\\";\n"
                                   "struct pt { int x; float y; };\n"
                                   "pt spot = { 1 };\n"
                                   "float mult[] = { 1, 0.5, 2 };\n"
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
        // A sized array keeps its size; elements without values are zero and "".
        {"base", 0, "3"},
        {"base[1].item_name", PARSE_STRING, "Tank"},
        {"max_matching_force_ratio", PARSE_DOUBLE, "1.5"},
        {"recompute_strategy_period", PARSE_INT, "64"},
        {"transport", PARSE_STRING, "Hauler Mk2"},
        // Numbers convert as in C.
        {"lo", PARSE_INT, "-2147483648"},
        {"hex", PARSE_INT, "-1"},
        {"esc", PARSE_STRING, "a\tb\"c\\"},
        {"mult[1]", PARSE_FLOAT, "0.5"},
        {"none", 0, "0"},
        // An int is no float and the other way round.
        {"max_matching_force_ratio", PARSE_INT, "fail:-1"},
        {"recompute_strategy_period", PARSE_DOUBLE, "fail:-1"},
        {"transport", 0, "fail:-1"},
        // Bad addresses.
        {"ground_unit_threat", PARSE_INT, "fail:-1"},
        {"unit_construction_program[3].budget", PARSE_INT, "fail:-1"},
        {"unit_construction_program[0]", PARSE_INT, "fail:-1"},
        {"unit_construction_program[99999999999].budget", PARSE_INT, "fail:-1"},
    };
    for (const Row& row : rows) EXPECT_EQ(Value(row.name, row.kind), row.want) << row.name;
}

TEST_F(ParseDeclarations, EnumeratorListsVariablesInOrder)
{
    ASSERT_EQ(Load("plan.aip", kPlan), PARSE_OK);
    std::string seen;
    Parse_ForEachVariable(
        script_,
        [](const char* name, int kind, int count, void* ctx) {
            *static_cast<std::string*>(ctx) += " " + std::string(name) + ":" +
                                               std::to_string(kind) + ":" + std::to_string(count);
        },
        &seen);
    EXPECT_EQ(seen, " unit_construction_program:5:3 base:5:3 max_matching_force_ratio:3:-1"
                    " relaxation_coefficient:2:-1 recompute_strategy_period:1:-1 transport:4:-1");
}

// Parse_GetString used to be given no size, so a long value ran past the
// caller's field.
TEST_F(ParseDeclarations, GetStringStopsAtBufferSizeNoOverflow)
{
    ASSERT_EQ(Load("s.aip", "string s = \"abcdefghijklmnopqrstuvwxyz\";\n"
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
    Parse_GetDefine(script_, "K", &status, guard, 6);
    EXPECT_STREQ(guard, "longe");
    EXPECT_EQ(guard[6], '#');
}

// ---------------------------------------------------------------------------

using ParseDefines = ParseTest;

TEST_F(ParseDefines, DefinesSubstituteInInitialisersAndReadBack)
{
    ASSERT_EQ(Load("d.aip",
                   "#define BUDGET 500\n"
                   "#define NEG -3\n"
                   "#define NAME \"Tank\"\n"
                   "#define SIZE 4\n"
                   "struct e { string n; int b; float r; };\n"
                   "e arr[SIZE] = { { NAME, BUDGET }, { \"Big \" NAME, -NEG, NEG } };\n"),
              PARSE_OK);
    EXPECT_EQ(Value("arr", 0), "4");
    EXPECT_EQ(Value("arr[1].n", PARSE_STRING), "Big Tank");
    EXPECT_EQ(Value("arr[1].b"), "3");
    EXPECT_EQ(Value("arr[1].r", PARSE_FLOAT), "-3");
    EXPECT_EQ(Value("NAME", kDefine), "Tank");
    EXPECT_EQ(Value("UNDEFINED", kDefine), "fail:");
}

TEST_F(ParseDefines, StringScriptKeysAreListedInOrderWithLaterValues)
{
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
    dir_.write("first/sub/more.aih", "int from_sub = 1;\n");
    dir_.write("second/types.aih", "int shadowed = 1;\n");
    dir_.write("second/common.aih", "#define B 9\n");
    dir_.write("plans/local.aih", "int local = 2;\n");
    Parse_AddIncludeDir(script_, dir_.file("first").c_str());
    Parse_AddIncludeDir(script_, dir_.file("second").c_str());
    ASSERT_EQ(Load("plans/p.aip", "#include \"common.aih\"\n#include \"types.aih\"\n"
                                  "#include \"local.aih\"\ne arr[] = { { B } };\n"),
              PARSE_OK);
    EXPECT_EQ(Value("arr[0].b"), "9");
    EXPECT_EQ(Value("from_sub"), "1");
    EXPECT_EQ(Value("local"), "2");
    EXPECT_EQ(Value("shadowed"), "fail:-1");
}

TEST_F(ParseIncludes, CyclesAndRunawayIncludesFailTheLoad)
{
    dir_.write("a.aih", "int a = 1;\n#include \"b.aih\"\n");
    dir_.write("b.aih", "\n#include \"a.aih\"\n");
    EXPECT_EQ(Load("p.aip", "#include \"a.aih\"\n"), PARSE_ERROR);
    EXPECT_NE(Log().find("b.aih] at line [2]: [a.aih] includes itself"), std::string::npos);
    EXPECT_EQ(Value("a"), "fail:-1");

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
    for (int i = 0; i <= PARSE_MAXINCLUDEDEPTH; i++) {
        dir_.write("c" + std::to_string(i) + ".aih",
                   i < PARSE_MAXINCLUDEDEPTH ? "#include \"c" + std::to_string(i + 1) + ".aih\"\n"
                                             : std::string("int deep;\n"));
    }
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
    EXPECT_EQ(IParse_LoadScript(dir_.file("absent.aip").c_str(), script_), PARSE_NOFILE);
    EXPECT_EQ(IParse_LoadScript(dir_.path().c_str(), script_), PARSE_NOFILE); // a directory
}

TEST_F(ParseErrors, FailedLoadLeavesEarlierLoadsIntact)
{
    ASSERT_EQ(Load("a.aip", "#define K \"old\"\nstruct s { int v; };\nint kept = 4;\n"), PARSE_OK);
    EXPECT_EQ(Load("b.aip", "#define K \"new\"\nstruct t { int w; };\n"
                            "s made[] = { { 1 } };\nint kept2 = 5;\nint broken = \"x\";\n"),
              PARSE_ERROR);
    EXPECT_EQ(Value("kept"), "4");
    EXPECT_EQ(Value("K", kDefine), "old");
    EXPECT_EQ(Value("made", 0), "fail:-1");
    // The names from the failed load are free to declare again.
    ASSERT_EQ(Load("c.aip", "struct t { int w; }; int kept2 = 6; s made[1];\n"), PARSE_OK);
    EXPECT_EQ(Value("kept2"), "6");
}

TEST_F(ParseErrors, BrokenAndHostileTextsFailCleanly)
{
    const std::string longName(64, 'n');
    const std::string longText(1024, 't');
    const std::string cases[] = {
        "string s = \"unterminated;\n",
        "/* never closed\nint a;\n",
        "int a = 1.5;",
        "int a = 2147483648;",
        "int a[2] = { 1, 2, 3 };",
        "int a[65537];",
        "struct s { int a; }; s v = { 1, 2 };",
        "struct s { int a; }; struct s { int b; };",
        "int a; int a;",
        "char c[3] = \"abc\";",
        "string s = \"bad escape \\q\";",
        "int a = UNDEFINED;",
        "int " + longName + ";",
        "string s = \"" + longText + "\";",
        "string s = \"" + longText.substr(1) + "\" \"t\";",
        std::string("int a = 1;\0int b;", 17),
    };
    for (const std::string& text : cases) EXPECT_EQ(Load("x.aip", text), PARSE_ERROR) << text;
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
