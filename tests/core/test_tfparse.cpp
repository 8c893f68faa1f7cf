#include "core/tfparse.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <string>
#include <vector>

#include "core/debug.h"
#include "core/error.h"
#include "core/gll.h"
#include "core/tlog.h"
#include "support/testsupport.h"

namespace {

// Opens texts by name, logs into a private directory and closes every parser
// at the end, also when a fatal error left a test half way.
class TfTest : public testing::Test {
protected:
    void SetUp() override
    {
        oldLog_ = Tlog_GetFile();
        oldErrorLog_ = Tlog_GetErrorFile();
        Tlog_SetFile(dir_.file("trace.log").c_str());
        Tlog_SetErrorFile(dir_.file("error.log").c_str());
    }
    void TearDown() override
    {
        for (TF_PARSER* p : parsers_) TF_Close(p);
        Tlog_SetFile(oldLog_.c_str());
        Tlog_SetErrorFile(oldErrorLog_.c_str());
    }
    TF_PARSER* Open(const std::string& text, const char* name = "units.txt")
    {
        TF_PARSER* p = TF_OpenText(name, text.data(), text.size());
        parsers_.push_back(p);
        return p;
    }
    // Every token to the end, as the caller of TF_GetToken sees them.
    std::vector<std::string> Tokens(const std::string& text)
    {
        TF_PARSER* p = Open(text);
        std::vector<std::string> out;
        char buf[TF_FIELD];
        while (TF_GetToken(p, buf, sizeof buf)) out.push_back(buf);
        return out;
    }
    std::string TraceLog() const { return dir_.read("trace.log"); }
    std::string ErrorLog() const { return dir_.read("error.log"); }
    // The context lines that close the last fatal box in the error file.
    std::string LastBoxContext() const
    {
        std::string log = ErrorLog();
        size_t at = log.rfind("Code Location");
        return at == std::string::npos ? "" : log.substr(at);
    }

    QvTempDir dir_;
    std::vector<TF_PARSER*> parsers_;
    std::string oldLog_, oldErrorLog_;
};

using Strings = std::vector<std::string>;

// ---- what a token is

class TfTokens : public TfTest {};

TEST_F(TfTokens, QuotedStringKeepsBlanksAndSemicolonsAndDropsQuotes)
{
    EXPECT_EQ(Tokens("Name \"Heavy Tank; Mk 2\" next"),
              (Strings{"Name", "Heavy Tank; Mk 2", "next"}));
}

TEST_F(TfTokens, EmptyQuotedStringIsAnEmptyToken)
{
    TF_PARSER* p = Open("\"\" after");
    char buf[TF_FIELD] = "junk";
    EXPECT_EQ(TF_GetToken(p, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(TF_GetToken(p, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "after");
}

TEST_F(TfTokens, UnterminatedQuoteEndsAtItsLine)
{
    TF_PARSER* p = Open("\"open string\r\nNext");
    char buf[TF_FIELD];
    ASSERT_EQ(TF_GetToken(p, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "open string");
    ASSERT_EQ(TF_GetToken(p, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "Next");
    EXPECT_EQ(p->line, 2);
}

TEST_F(TfTokens, BracketsStandAloneWhenTouchingWords)
{
    EXPECT_EQ(Tokens("Foo(1){bar}x"), (Strings{"Foo", "(", "1", ")", "{", "bar", "}", "x"}));
    EXPECT_EQ(Tokens("a\"b c\"d"), (Strings{"a", "b c", "d"}));
}

TEST_F(TfTokens, SemicolonCommentsRunToTheEndOfTheLine)
{
    EXPECT_EQ(Tokens("; whole line ( \"\nabc;touching\nx ; trailing ) \n;last"),
              (Strings{"abc", "x"}));
}

TEST_F(TfTokens, LongTokenIsCutToBufferAndItsRestConsumed)
{
    TF_PARSER* p = Open("abcdefghij next");
    char buf[5];
    ASSERT_EQ(TF_GetToken(p, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "abcd");
    ASSERT_EQ(TF_GetToken(p, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "next");
}

TEST_F(TfTokens, EndOfTextGivesZeroAndEmptyBufferEveryTime)
{
    TF_PARSER* p = Open("  only ; tail");
    char buf[TF_FIELD];
    ASSERT_EQ(TF_GetToken(p, buf, sizeof buf), 1);
    EXPECT_EQ(TF_GetToken(p, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(TF_GetToken(p, buf, sizeof buf), 0);
    EXPECT_EQ(Tokens(""), Strings{});
}

TEST_F(TfTokens, PeekRestoresPositionAndLine)
{
    TF_PARSER* p = Open("\n\n  third\nfourth");
    char buf[TF_FIELD];
    ASSERT_EQ(TF_PeekToken(p, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "third");
    EXPECT_EQ(p->line, 1);
    EXPECT_EQ(p->pos, 0u);
    ASSERT_EQ(TF_GetToken(p, buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "third");
    EXPECT_EQ(p->line, 3);
}

TEST_F(TfTokens, EmbeddedNulSeparatesTokensAndLengthBoundsTheText)
{
    // The bytes after the given length must never be seen.
    std::string text("ab\0cd\"e\0f\"gh", 12);
    text += "NOTPART";
    TF_PARSER* p = TF_OpenText("nul.txt", text.data(), 12);
    parsers_.push_back(p);
    std::vector<std::string> got;
    char buf[TF_FIELD];
    while (TF_GetToken(p, buf, sizeof buf)) got.push_back(buf);
    EXPECT_EQ(got, (Strings{"ab", "cd", "e f", "gh"}));
}

TEST_F(TfTokens, CloseFreesEveryBlock)
{
    long before = Debug_LiveBlocks();
    TF_PARSER* p = TF_OpenText("a.txt", "x y", 3);
    TF_Close(p);
    TF_Close(nullptr);
    EXPECT_EQ(Debug_LiveBlocks(), before);
}

// ---- files

class TfOpen : public TfTest {};

TEST_F(TfOpen, ReadsWholeFileUnderItsName)
{
    dir_.write("def.txt", "Unit ( 7 )\n");
    std::string path = dir_.file("def.txt");
    TF_PARSER* p = TF_Open(path.c_str());
    ASSERT_NE(p, nullptr);
    parsers_.push_back(p);
    EXPECT_STREQ(p->filename, path.c_str());
    EXPECT_EQ(p->length, 11u);
    EXPECT_EQ(p->line, 1);
    int v = 0;
    char buf[TF_FIELD];
    EXPECT_EQ(TF_GetKeywordInt(p, "unit", &v), 1);
    EXPECT_EQ(v, 7);
    EXPECT_EQ(TF_GetToken(p, buf, sizeof buf), 0);
}

TEST_F(TfOpen, MissingFileOrDirectoryGivesNull)
{
    EXPECT_EQ(TF_Open(dir_.file("absent.txt").c_str()), nullptr);
    EXPECT_EQ(TF_Open(dir_.path().c_str()), nullptr);
}

TEST_F(TfOpen, OverlongNameIsCutToTheField)
{
    std::string name(400, 'n');
    TF_PARSER* p = Open("x", name.c_str());
    EXPECT_EQ(std::string(p->filename), name.substr(0, sizeof(p->filename) - 1));
}

// ---- line numbers in reports

class TfLines : public TfTest {};

TEST_F(TfLines, ErrorNamesFileAndLineOfTheOffendingToken)
{
    TF_PARSER* q = Open("Unit\n\n\r\n  x", "rules.txt");
    char buf[TF_FIELD];
    ASSERT_EQ(TF_GetToken(q, buf, sizeof buf), 1);
    QV_EXPECT_FATAL(TF_ExpectOpenParen(q), "Expected [(] but found [x]");
    EXPECT_STREQ(Error_LastMessage(), "Expected [(] but found [x]");
    EXPECT_EQ(Error_LastClass(), ERRC_PARSE);
    EXPECT_NE(LastBoxContext().find("\nFile : rules.txt\nLine : 4\n"), std::string::npos)
        << ErrorLog();
    EXPECT_NE(TraceLog().find("Line : 4"), std::string::npos);
}

TEST_F(TfLines, CommentsAndQuotesDoNotDisturbTheCount)
{
    TF_PARSER* p = Open("Unit ; c \"(\r\n\"q;\" x\n", "rules.txt");
    char buf[TF_FIELD];
    ASSERT_EQ(TF_GetToken(p, buf, sizeof buf), 1);
    QV_EXPECT_FATAL(TF_ExpectOpenParen(p), "Expected [(] but found [\"q;\"]");
    EXPECT_NE(LastBoxContext().find("\nFile : rules.txt\nLine : 2\n"), std::string::npos)
        << ErrorLog();
}

TEST_F(TfLines, ErrorWithoutParserStillReportsTheMessage)
{
    QV_EXPECT_FATAL(TF_Error(nullptr, "bad value %d", 3), "bad value 3");
    EXPECT_EQ(TraceLog().find("File :"), std::string::npos);
}

// ---- keywords and brackets

class TfExpect : public TfTest {};

TEST_F(TfExpect, KeywordMatchesWithoutRegardToCase)
{
    TF_PARSER* p = Open("UNITDEF unitDef");
    char buf[TF_FIELD];
    EXPECT_EQ(TF_ExpectKeyword(p, "UnitDef", buf), 1);
    EXPECT_STREQ(buf, "UNITDEF");
    EXPECT_EQ(TF_ExpectKeyword(p, "unitdef", buf), 1);
}

TEST_F(TfExpect, KeywordAtEndOfTextIsQuietZero)
{
    TF_PARSER* p = Open("  ; nothing but a comment\n");
    char buf[TF_FIELD];
    EXPECT_EQ(TF_ExpectKeyword(p, "Unit", buf), 0);
    EXPECT_EQ(TraceLog(), "");
}

TEST_F(TfExpect, OtherKeywordIsFatal)
{
    TF_PARSER* p = Open("Weapon");
    char buf[TF_FIELD];
    QV_EXPECT_FATAL(TF_ExpectKeyword(p, "Unit", buf), "Expected [Unit] but found [Weapon]");
}

TEST_F(TfExpect, KeywordIfReadsNothingWhenAlreadyRead)
{
    TF_PARSER* p = Open("Unit");
    EXPECT_EQ(TF_ExpectKeywordIf(p, 1, "Other"), 1);
    EXPECT_EQ(p->pos, 0u);
    EXPECT_EQ(TF_ExpectKeywordIf(p, 0, "unit"), 1);
}

TEST_F(TfExpect, BracketsMustBeExactlyThatCharacter)
{
    TF_PARSER* p = Open("( ) { } () )");
    EXPECT_EQ(TF_ExpectOpenParen(p), 1);
    EXPECT_EQ(TF_ExpectCloseParen(p), 1);
    EXPECT_EQ(TF_ExpectOpenBrace(p), 1);
    EXPECT_EQ(TF_ExpectCloseBrace(p), 1);
    EXPECT_EQ(TF_ExpectEmptyParens(p), 1);
    QV_EXPECT_FATAL(TF_ExpectOpenBrace(p), "Expected [{] but found [)]");
    QV_EXPECT_FATAL(TF_ExpectCloseBrace(p), "Expected [}] but found [EOF]");
}

TEST_F(TfExpect, QuotedBracketIsAStringNotABracket)
{
    TF_PARSER* p = Open("\"(\"");
    QV_EXPECT_FATAL(TF_ExpectOpenParen(p), "Expected [(] but found [\"(\"]");
}

// ---- single values

class TfValues : public TfTest {};

TEST_F(TfValues, IntReadsLeadingSignAndDigitsAndClamps)
{
    TF_PARSER* p = Open("-42 +7 12abc abc 99999999999 -99999999999");
    char scratch[TF_FIELD];
    int v = -1;
    int want[] = {-42, 7, 12, 0, INT_MAX, INT_MIN};
    for (int w : want) {
        ASSERT_EQ(TF_GetInt(p, scratch, &v), 1);
        EXPECT_EQ(v, w) << scratch;
    }
    v = 5;
    EXPECT_EQ(TF_GetInt(p, scratch, &v), 0);
    EXPECT_EQ(v, 5);
}

TEST_F(TfValues, FloatReadsDecimalsAndNeverYieldsNanOrInfinity)
{
    TF_PARSER* p = Open("1.5 -.25 3e2x nan inf word 1e999 -1e999 1e-999");
    char scratch[TF_FIELD];
    float v;
    float want[] = {1.5f, -0.25f, 300.0f, 0.0f, 0.0f, 0.0f, FLT_MAX, -FLT_MAX, 0.0f};
    for (float w : want) {
        ASSERT_EQ(TF_GetFloat(p, scratch, &v), 1);
        EXPECT_EQ(v, w) << scratch;
    }
    EXPECT_EQ(TF_GetFloat(p, scratch, &v), 0);
}

TEST_F(TfValues, StringIsCutToSixtyThreeCharacters)
{
    std::string longword(300, 'w');
    TF_PARSER* p = Open(longword + " \"a b\"");
    char field[TF_FIELD];
    ASSERT_EQ(TF_GetString(p, field), 1);
    EXPECT_EQ(std::string(field), longword.substr(0, 63));
    ASSERT_EQ(TF_GetString(p, field), 1);
    EXPECT_STREQ(field, "a b");
    EXPECT_EQ(TF_GetString(p, field), 0);
    EXPECT_STREQ(field, "");
}

TEST_F(TfValues, LongFilenameIsCutToTwelveAndLogged)
{
    TF_PARSER* p = Open("SHORT.PCX\n\nVERYLONGNAME.PCX", "art.txt");
    char name[TF_FILENAME];
    ASSERT_EQ(TF_GetFilename(p, name), 1);
    EXPECT_STREQ(name, "SHORT.PCX");
    EXPECT_EQ(TraceLog(), "");
    ASSERT_EQ(TF_GetFilename(p, name), 1);
    EXPECT_STREQ(name, "VERYLONGNAME");
    std::string log = TraceLog();
    EXPECT_NE(log.find("Filename [VERYLONGNAME.PCX] too long - truncated"), std::string::npos);
    EXPECT_NE(log.find("Error in file [art.txt] at line [3]"), std::string::npos) << log;
}

TEST_F(TfValues, MissingFilenameIsFatal)
{
    TF_PARSER* p = Open("");
    char name[TF_FILENAME];
    QV_EXPECT_FATAL(TF_GetFilename(p, name), "Expected [_filename_] but found []");
}

// ---- keyword ( values ) forms

class TfForms : public TfTest {};

TEST_F(TfForms, ParenAndKeywordFormsReadTheirValues)
{
    TF_PARSER* p = Open("(1)(1 2)(1 2 3)(1 2 3 4)(\"x y\") Size(5 6) NAME(\"Big\")");
    int a = 0, b = 0, c = 0, d = 0;
    char field[TF_FIELD];
    EXPECT_EQ(TF_GetParenInt(p, &a), 1);
    EXPECT_EQ(TF_GetParenInt2(p, &a, &b), 1);
    EXPECT_EQ(TF_GetParenInt3(p, &a, &b, &c), 1);
    EXPECT_EQ(TF_GetParenInt4(p, &a, &b, &c, &d), 1);
    EXPECT_EQ(a + b + c + d, 10);
    EXPECT_EQ(TF_GetParenString(p, field), 1);
    EXPECT_STREQ(field, "x y");
    EXPECT_EQ(TF_GetKeywordInt2(p, "size", &a, &b), 1);
    EXPECT_EQ(a * 10 + b, 56);
    EXPECT_EQ(TF_GetKeywordString(p, "Name", field), 1);
    EXPECT_STREQ(field, "Big");
}

TEST_F(TfForms, EndOfTextAnywhereInTheFormGivesZero)
{
    int a, b;
    char field[TF_FIELD];
    EXPECT_EQ(TF_GetKeywordInt(Open(""), "Size", &a), 0);
    EXPECT_EQ(TF_GetKeywordInt(Open("Size"), "Size", &a), 0);
    EXPECT_EQ(TF_GetParenInt2(Open("(1"), &a, &b), 0);
    EXPECT_EQ(TF_GetParenInt(Open("(1"), &a), 0);
    EXPECT_EQ(TF_GetKeywordString(Open("Name("), "Name", field), 0);
}

TEST_F(TfForms, RegressionTooFewValuesDoesNotSwallowTheCloseParen)
{
    // Read as a number, ")" would become 0 and the form would run into the
    // next definition.
    TF_PARSER* p = Open("Size(5)\nNext(1 2)");
    int a, b;
    QV_EXPECT_FATAL(TF_GetKeywordInt2(p, "Size", &a, &b), "Expected [_number_] but found [)]");
}

// ---- lists

class TfLists : public TfTest {};

TEST_F(TfLists, StopEarlyAtCloseParen)
{
    int ints[4] = {-1, -1, -1, -1};
    EXPECT_EQ(TF_GetIntList(Open("(3 4)"), ints, 4), 2);
    EXPECT_EQ(ints[0], 3);
    EXPECT_EQ(ints[1], 4);
    EXPECT_EQ(ints[2], -1);
    EXPECT_EQ(TF_GetIntList(Open("()"), ints, 4), 0);
    float floats[3];
    EXPECT_EQ(TF_GetFloatList(Open("(0.5 2)"), floats, 3), 2);
    EXPECT_EQ(floats[0], 0.5f);
    EXPECT_EQ(floats[1], 2.0f);
}

TEST_F(TfLists, QuotedCloseParenIsAListString)
{
    char strings[3][TF_FIELD];
    EXPECT_EQ(TF_GetStringList(Open("(a \")\" \"c d\")"), strings, 3), 3);
    EXPECT_STREQ(strings[1], ")");
    EXPECT_STREQ(strings[2], "c d");
}

TEST_F(TfLists, ValueBeyondCapacityIsReportedNotWritten)
{
    int ints[3] = {0, 0, -7};
    QV_EXPECT_FATAL(TF_GetIntList(Open("(1 2 3)"), ints, 2), "Expected [)] but found [3]");
    EXPECT_EQ(ints[2], -7);
    char strings[2][TF_FIELD];
    QV_EXPECT_FATAL(TF_GetStringList(Open("(a b)"), strings, 1), "Expected [)] but found [b]");
}

TEST_F(TfLists, MissingBracketsAreFatal)
{
    int ints[2];
    QV_EXPECT_FATAL(TF_GetIntList(Open("1 2"), ints, 2), "Expected [(] but found [1]");
    QV_EXPECT_FATAL(TF_GetIntList(Open("(1"), ints, 2), "Expected [)] but found [EOF]");
}

// ---- brace lists

class TfBrace : public TfTest {};

TEST_F(TfBrace, AppendsEachValueInOrderAfterExistingOnes)
{
    GLL* list = GLL_Create();
    int* first = (int*)Debug_Malloc(sizeof(int));
    *first = 100;
    GLL_InsertAfter(list, first);
    GLL_GoFirst(list);
    EXPECT_EQ(TF_GetBraceInt(Open("{ 1 -2\n 3 }"), list), 1);
    std::vector<int> got;
    for (int* v = (int*)GLL_GoFirst(list); v; v = (int*)GLL_GoNext(list)) got.push_back(*v);
    EXPECT_EQ(got, (std::vector<int>{100, 1, -2, 3}));
    GLL_Destroy(list, GLL_FREE_ELEMENTS);
}

TEST_F(TfBrace, EndOfTextBeforeCloseBraceGivesZero)
{
    GLL* list = GLL_Create();
    EXPECT_EQ(TF_GetBraceInt(Open("{ 1 2"), list), 0);
    EXPECT_EQ(list->count, 2);
    EXPECT_EQ(TF_GetBraceInt(Open("{}"), list), 1);
    EXPECT_EQ(list->count, 2);
    GLL_Destroy(list, GLL_FREE_ELEMENTS);
}

// ---- the real exit

using TfErrorDeathTest = TfTest;

TEST_F(TfErrorDeathTest, ParseErrorExitsOneWithTheClassText)
{
    TF_PARSER* p = Open("x");
    EXPECT_EXIT(TF_ExpectOpenParen(p), testing::ExitedWithCode(1), "Text file parsing error");
}

} // namespace
