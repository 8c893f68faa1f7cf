// The readers shared by the definition files.
#include "core/textfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mlstring.h"
#include "support/testsupport.h"

namespace {

class TextfileTest : public testing::Test {
protected:
    void TearDown() override
    {
        for (TF_PARSER* p : parsers_) TF_Close(p);
        MLString_Unload();
    }
    TF_PARSER* Open(const std::string& text)
    {
        TF_PARSER* p = TF_OpenText("build.txt", text.data(), text.size());
        parsers_.push_back(p);
        return p;
    }
    std::string Next(TF_PARSER* p)
    {
        char token[TF_FIELD];
        return TF_GetToken(p, token, sizeof token) ? token : "<end>";
    }

    QvTempDir dir_;
    QvLogCapture log_;
    std::vector<TF_PARSER*> parsers_;
};

// ---- the one-line readers

class TextfileLines : public TextfileTest {};

typedef int (*READER)(TF_PARSER*, int, int*, int*);
#define ONE(fn) [](TF_PARSER* p, int k, int* a, int*) { return fn(p, k, a); }

// Each reader over one text: its result and the values it read, or the
// fatal message.
TEST_F(TextfileLines, ReadTheirLineOrReturnZeroAtTheEndOrStop)
{
    struct Row {
        READER read;
        const char* text;
        int keyword_read;
        int result;
        int a, b;
        const char* fatal;
    };
    const Row rows[] = {
        {ONE(Textfile_ParseSetCPULoad), "SetCPULoad(3) next", 0, 1, 3, 0, nullptr},
        {ONE(Textfile_ParseSetSide), "(4) next", 1, 1, 4, 0, nullptr},
        // Production divides by the time: below 1 it becomes 1.
        {Textfile_ParseSetCost, "SetCost(500 0) next", 0, 1, 500, 1, nullptr},
        {Textfile_ParseSetCost, "SETCOST(-2 -40) next", 0, 1, -2, 1, nullptr},
        {ONE(Textfile_ParseCanHeal), "canheal ( ) next", 0, 1, 1, 0, nullptr},
        {Textfile_ParseSetCost, "SetCost(5", 0, 0, 5, 0, nullptr},
        {ONE(Textfile_ParseCanRepair), "CanRepair(", 0, 0, 0, 0, nullptr},
        {ONE(Textfile_ParseSetCPULoad), "SetSide(1)", 0, 0, 0, 0,
         "Expected [SetCPULoad] but found [SetSide]"},
        {Textfile_ParseSetHitpoints, "SetHitpoints(1 2 3)", 0, 0, 0, 0,
         "Expected [)] but found [3]"},
        {ONE(Textfile_ParseCanHeal), "CanHeal{}", 0, 0, 0, 0, "Expected [(] but found [{]"},
    };
    for (const Row& row : rows) {
        int a = 0, b = 0;
        TF_PARSER* p = Open(row.text);
        if (row.fatal) {
            QV_EXPECT_FATAL(row.read(p, row.keyword_read, &a, &b), row.fatal);
            continue;
        }
        EXPECT_EQ(row.read(p, row.keyword_read, &a, &b), row.result) << row.text;
        EXPECT_EQ(a, row.a) << row.text;
        EXPECT_EQ(b, row.b) << row.text;
        EXPECT_EQ(Next(p), row.result ? "next" : "<end>") << row.text;
    }
}

#undef ONE

TEST_F(TextfileLines, DescriptionIsTheTextOfTheKeyOrElseTheKey)
{
    char text[TF_FIELD];
    // Before the strings are loaded there is no text: the key stands in.
    ASSERT_EQ(Textfile_ParseSetDescription(Open("SetDescription(\"TANK_NAME\")"), 0, text), 1);
    EXPECT_STREQ(text, "TANK_NAME");

    dir_.write("mlstring.cfg", "english.str\n");
    dir_.write("english.str", "#define TANK_NAME \"Heavy Tank\"\n");
    ASSERT_EQ(MLString_Load(dir_.file("mlstring.cfg").c_str()), 1);
    ASSERT_EQ(Textfile_ParseSetDescription(Open("SetDescription(TANK_NAME)"), 0, text), 1);
    EXPECT_STREQ(text, "Heavy Tank");
    ASSERT_EQ(Textfile_ParseSetDescription(Open("(\"NO_SUCH\")"), 1, text), 1);
    EXPECT_STREQ(text, "NO_SUCH");
    EXPECT_EQ(Textfile_ParseSetDescription(Open("SetDescription(\"K\""), 0, text), 0);
    QV_EXPECT_FATAL(Textfile_ParseSetDescription(Open("SetDescription()"), 0, text),
                    "Expected [_string_] but found [)]");
}

// ---- the prerequisite block

class TextfilePrereqs : public TextfileTest {
protected:
    int Parse(const std::string& text, int keyword_read = 0)
    {
        last_ = Open(text);
        return Textfile_ParsePrereqs(last_, keyword_read, &type_, makers_, prereqs_, &equiv_,
                                     &tech_);
    }
    TF_PARSER* last_ = nullptr;
    int type_ = 0, equiv_ = 0, tech_ = 0;
    int makers_[TEXTFILE_PREREQS] = {};
    int prereqs_[TEXTFILE_PREREQS] = {};
};

// Every output is cleared first; optional lines may be left out.
TEST_F(TextfilePrereqs, BlockFillsEveryOutput)
{
    struct Row {
        const char* text;
        int keyword_read;
        std::vector<int> got; // type, 4 prereqs, 4 makers, equivalence, tech level
    };
    const Row rows[] = {
        {"SetRequirements {\n SetType(12)\n SetPrereqs(3 4 5 6)\n SetMaker(7 8)\n"
         " SetEquivalence(9)\n SetTechLevel(10)\n}\nnext",
         0, {12, 3, 4, 5, 6, 7, 8, 0, 0, 9, 10}},
        {"SetRequirements{SetType(2)SetPrereqs(1)SetMaker(1)SetTechLevel(4)}next",
         0, {2, 1, 0, 0, 0, 1, 0, 0, 0, 0, 4}},
    };
    for (const Row& row : rows) {
        type_ = equiv_ = tech_ = 99;
        for (int i = 0; i < TEXTFILE_PREREQS; i++) makers_[i] = prereqs_[i] = 99;
        ASSERT_EQ(Parse(row.text, row.keyword_read), 1) << row.text;
        std::vector<int> got = {type_};
        got.insert(got.end(), prereqs_, prereqs_ + 4);
        got.insert(got.end(), makers_, makers_ + 4);
        got.push_back(equiv_);
        got.push_back(tech_);
        EXPECT_EQ(got, row.got) << row.text;
        EXPECT_EQ(Next(last_), "next");
    }
}

TEST_F(TextfilePrereqs, RefusesWhatTheBlockDoesNotAllow)
{
    struct Row {
        const char* lines;  // inside "SetRequirements { ... }"
        const char* fatal;  // null: read whole
    };
    const Row rows[] = {
        // Required lines ignore case, optional ones must be spelt exactly.
        {"settype(1) SETPREREQS() setmaker(2)", nullptr},
        {"SetType(1) SetPrereqs() SetMaker(2) settechlevel(3)",
         "Expected [}] but found [settechlevel]"},
        // Lines come in their order.
        {"SetType(1) SetMaker(2)", "Expected [SetPrereqs] but found [SetMaker]"},
        {"SetType(1) SetPrereqs() SetMaker(2) SetTechLevel(3) SetEquivalence(4)",
         "Expected [}] but found [SetEquivalence]"},
        // Tech levels 0..10, ids 16 bits, lists four entries.
        {"SetType(1) SetPrereqs() SetMaker() SetTechLevel(11)", "Tech-level out of range [11]"},
        {"SetType(65535) SetPrereqs() SetMaker(65535)", nullptr},
        {"SetType(65536) SetPrereqs() SetMaker()", "Prerequisite id out of range [65536]"},
        {"SetType(1) SetPrereqs(1 2 3 4 5) SetMaker()", "Expected [)] but found [5]"},
    };
    for (const Row& row : rows) {
        std::string text = std::string("SetRequirements { ") + row.lines + " }";
        if (row.fatal) {
            QV_EXPECT_FATAL(Parse(text), row.fatal);
        } else {
            EXPECT_EQ(Parse(text), 1) << row.lines;
        }
    }
}

TEST_F(TextfilePrereqs, TextEndingInsideTheBlockReturnsZero)
{
    const char* const texts[] = {
        "SetRequirements {",
        "SetRequirements { SetType(1) SetPrereqs() SetMaker(1) SetTechLevel(",
        "SetRequirements { SetType(1) SetPrereqs() SetMaker(1)",
    };
    for (const char* text : texts) EXPECT_EQ(Parse(text), 0) << text;
    // The id lists are the tokenizer's list form, whose "(" is required.
    QV_EXPECT_FATAL(Parse("SetRequirements { SetType(1) SetPrereqs"),
                    "Expected [(] but found [EOF]");
}

} // namespace
