// The readers shared by the definition files.
#include "core/textfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/mlstring.h"
#include "core/tlog.h"
#include "support/testsupport.h"

namespace {

class TextfileTest : public testing::Test {
protected:
    void SetUp() override
    {
        oldLog_ = Tlog_GetFile();
        Tlog_SetFile(dir_.file("trace.log").c_str());
    }
    void TearDown() override
    {
        for (TF_PARSER* p : parsers_) TF_Close(p);
        MLString_Unload();
        Tlog_SetFile(oldLog_.c_str());
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
    std::vector<TF_PARSER*> parsers_;
    std::string oldLog_;
};

// ---- the one-line readers

class TextfileLines : public TextfileTest {};

TEST_F(TextfileLines, ReadTheirKeywordOrTakeItAsRead)
{
    int value = -1;
    EXPECT_EQ(Textfile_ParseSetCPULoad(Open("SetCPULoad(3) next"), 0, &value), 1);
    EXPECT_EQ(value, 3);
    TF_PARSER* p = Open("(4) next");
    EXPECT_EQ(Textfile_ParseSetSide(p, 1, &value), 1);
    EXPECT_EQ(value, 4);
    EXPECT_EQ(Next(p), "next");
    EXPECT_EQ(Textfile_ParseSetImageSortHeight(Open("setimagesortheight ( -12 )"), 0, &value), 1);
    EXPECT_EQ(value, -12);
}

TEST_F(TextfileLines, CostKeepsTheCostAndRaisesTimeBelowOneToOne)
{
    int cost = 0, time = 0;
    ASSERT_EQ(Textfile_ParseSetCost(Open("SetCost(500 0)"), 0, &cost, &time), 1);
    EXPECT_EQ(cost, 500);
    EXPECT_EQ(time, 1);
    ASSERT_EQ(Textfile_ParseSetCost(Open("SETCOST(-2 -40)"), 0, &cost, &time), 1);
    EXPECT_EQ(cost, -2);
    EXPECT_EQ(time, 1);
    ASSERT_EQ(Textfile_ParseSetCost(Open("(10 25)"), 1, &cost, &time), 1);
    EXPECT_EQ(time, 25);
}

TEST_F(TextfileLines, HitpointsAndFlags)
{
    int max = 0, second = 0, repair = 0, heal = 0;
    TF_PARSER* p = Open("SetHitpoints(900 450) CanRepair() canheal ( )");
    ASSERT_EQ(Textfile_ParseSetHitpoints(p, 0, &max, &second), 1);
    EXPECT_EQ(max, 900);
    EXPECT_EQ(second, 450);
    ASSERT_EQ(Textfile_ParseCanRepair(p, 0, &repair), 1);
    ASSERT_EQ(Textfile_ParseCanHeal(p, 0, &heal), 1);
    EXPECT_EQ(repair, 1);
    EXPECT_EQ(heal, 1);
}

TEST_F(TextfileLines, TextEndingInsideALineReturnsZero)
{
    int a = 0, b = 0;
    char text[TF_FIELD];
    EXPECT_EQ(Textfile_ParseSetCost(Open(""), 0, &a, &b), 0);
    EXPECT_EQ(Textfile_ParseSetCost(Open("SetCost(5"), 0, &a, &b), 0);
    EXPECT_EQ(Textfile_ParseCanRepair(Open("CanRepair("), 0, &a), 0);
    EXPECT_EQ(Textfile_ParseSetDescription(Open("SetDescription(\"K\""), 0, text), 0);
}

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
    EXPECT_NE(dir_.read("trace.log").find("No conversion for [NO_SUCH]"), std::string::npos);
}

// ---- broken lines

class TextfileErrors : public TextfileTest {};

TEST_F(TextfileErrors, WrongTokensNameWhatWasExpected)
{
    int a = 0, b = 0;
    char text[TF_FIELD];
    QV_EXPECT_FATAL(Textfile_ParseSetCPULoad(Open("SetSide(1)"), 0, &a),
                    "Expected [SetCPULoad] but found [SetSide]");
    QV_EXPECT_FATAL(Textfile_ParseSetCost(Open("SetCost x"), 0, &a, &b),
                    "Expected [(] but found [x]");
    QV_EXPECT_FATAL(Textfile_ParseSetHitpoints(Open("SetHitpoints(1 2 3)"), 0, &a, &b),
                    "Expected [)] but found [3]");
    QV_EXPECT_FATAL(Textfile_ParseCanRepair(Open("CanRepair(1)"), 0, &a),
                    "Expected [)] but found [1]");
    QV_EXPECT_FATAL(Textfile_ParseCanHeal(Open("CanHeal{}"), 0, &a),
                    "Expected [(] but found [{]");
    QV_EXPECT_FATAL(Textfile_ParseSetDescription(Open("SetDescription()"), 0, text),
                    "Expected [_string_] but found [)]");
    QV_EXPECT_FATAL(Textfile_ParseSetSide(Open("SetSide(1 2)"), 0, &a),
                    "Expected [)] but found [2]");
}

// A real file through TF_Open: the program stops with exit code 1 and the
// box names the file and the line of the bad token.
void ReadCostThenHitpoints(const std::string& path)
{
    TF_PARSER* p = TF_Open(path.c_str());
    int a = 0, b = 0;
    Textfile_ParseSetCost(p, 0, &a, &b);
    Textfile_ParseSetHitpoints(p, 0, &a, &b);
}

TEST(TextfileFatalPath, BrokenDefinitionFileNamesFileAndLine)
{
    QvTempDir dir;
    dir.write("broken.txt", "; building\nSetCost(100 20)\nSetHitpoints(300 (\n");
    EXPECT_EXIT(ReadCostThenHitpoints(dir.file("broken.txt")), testing::ExitedWithCode(1),
                "Text file parsing error\nExpected \\[_number_\\] but found \\[\\(\\]"
                ".*File : .*broken\\.txt\nLine : 3\n");
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
    void Junk()
    {
        type_ = equiv_ = tech_ = 99;
        for (int i = 0; i < TEXTFILE_PREREQS; i++) makers_[i] = prereqs_[i] = 99;
    }
    TF_PARSER* last_ = nullptr;
    int type_ = 0, equiv_ = 0, tech_ = 0;
    int makers_[TEXTFILE_PREREQS] = {};
    int prereqs_[TEXTFILE_PREREQS] = {};
};

TEST_F(TextfilePrereqs, FullBlockFillsEveryOutput)
{
    ASSERT_EQ(Parse("SetRequirements {\n SetType(12)\n SetPrereqs(3 4 5 6)\n"
                    " SetMaker(7 8)\n SetEquivalence(9)\n SetTechLevel(10)\n}\nnext"),
              1);
    EXPECT_EQ(type_, 12);
    EXPECT_EQ(std::vector<int>(prereqs_, prereqs_ + 4), (std::vector<int>{3, 4, 5, 6}));
    EXPECT_EQ(std::vector<int>(makers_, makers_ + 4), (std::vector<int>{7, 8, 0, 0}));
    EXPECT_EQ(equiv_, 9);
    EXPECT_EQ(tech_, 10);
    EXPECT_EQ(Next(last_), "next");
}

TEST_F(TextfilePrereqs, OptionalLinesMayBeLeftOutAndOutputsAreClearedFirst)
{
    Junk();
    ASSERT_EQ(Parse("{ SetType(2) SetPrereqs() SetMaker(1) } after", 1), 1);
    EXPECT_EQ(type_, 2);
    EXPECT_EQ(std::vector<int>(prereqs_, prereqs_ + 4), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(std::vector<int>(makers_, makers_ + 4), (std::vector<int>{1, 0, 0, 0}));
    EXPECT_EQ(equiv_, 0);
    EXPECT_EQ(tech_, 0);
    EXPECT_EQ(Next(last_), "after");

    Junk();
    ASSERT_EQ(Parse("SetRequirements{SetType(2)SetPrereqs(1)SetMaker(1)SetTechLevel(4)}"), 1);
    EXPECT_EQ(equiv_, 0);
    EXPECT_EQ(tech_, 4);
}

TEST_F(TextfilePrereqs, RequiredKeywordsIgnoreCaseOptionalOnesMustBeExact)
{
    ASSERT_EQ(Parse("setrequirements { settype(1) SETPREREQS() setmaker(2) }"), 1);
    EXPECT_EQ(type_, 1);
    QV_EXPECT_FATAL(Parse("SetRequirements { SetType(1) SetPrereqs() SetMaker(2) "
                          "settechlevel(3) }"),
                    "Expected [}] but found [settechlevel]");
    QV_EXPECT_FATAL(Parse("SetRequirements { SetType(1) SetPrereqs() SetMaker(2) "
                          "SETEQUIVALENCE(3) }"),
                    "Expected [}] but found [SETEQUIVALENCE]");
}

TEST_F(TextfilePrereqs, LinesComeInTheirOrder)
{
    QV_EXPECT_FATAL(Parse("SetRequirements { SetType(1) SetMaker(2) }"),
                    "Expected [SetPrereqs] but found [SetMaker]");
    QV_EXPECT_FATAL(Parse("SetRequirements { SetType(1) SetPrereqs() SetMaker(2) "
                          "SetTechLevel(3) SetEquivalence(4) }"),
                    "Expected [}] but found [SetEquivalence]");
    QV_EXPECT_FATAL(Parse("SetRequirements ( SetType(1) )"), "Expected [{] but found [(]");
}

TEST_F(TextfilePrereqs, TechLevelOutsideZeroToTenStops)
{
    ASSERT_EQ(Parse("SetRequirements { SetType(1) SetPrereqs() SetMaker() SetTechLevel(0) }"), 1);
    QV_EXPECT_FATAL(Parse("SetRequirements { SetType(1) SetPrereqs() SetMaker() "
                          "SetTechLevel(11) }"),
                    "Tech-level out of range [11]");
    QV_EXPECT_FATAL(Parse("SetRequirements { SetType(1) SetPrereqs() SetMaker() "
                          "SetTechLevel(-1) }"),
                    "Tech-level out of range [-1]");
}

TEST_F(TextfilePrereqs, IdsMustFitSixteenBitsAndListsFourEntries)
{
    QV_EXPECT_FATAL(Parse("SetRequirements { SetType(65536) SetPrereqs() SetMaker() }"),
                    "Prerequisite id out of range [65536]");
    QV_EXPECT_FATAL(Parse("SetRequirements { SetType(1) SetPrereqs(2 -3) SetMaker() }"),
                    "Prerequisite id out of range [-3]");
    QV_EXPECT_FATAL(Parse("SetRequirements { SetType(1) SetPrereqs(1 2 3 4 5) SetMaker() }"),
                    "Expected [)] but found [5]");
    ASSERT_EQ(Parse("SetRequirements { SetType(65535) SetPrereqs() SetMaker(65535) }"), 1);
    EXPECT_EQ(makers_[0], 65535);
}

TEST_F(TextfilePrereqs, TextEndingInsideTheBlockReturnsZero)
{
    EXPECT_EQ(Parse(""), 0);
    EXPECT_EQ(Parse("SetRequirements"), 0);
    EXPECT_EQ(Parse("SetRequirements { SetType(1)"), 0);
    EXPECT_EQ(Parse("SetRequirements { SetType(1) SetPrereqs"), 0);
    EXPECT_EQ(Parse("SetRequirements { SetType(1) SetPrereqs() SetMaker(1) SetTechLevel"), 0);
    EXPECT_EQ(Parse("SetRequirements { SetType(1) SetPrereqs() SetMaker(1)"), 0);
}

} // namespace
