#include "core/tfparse.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <string>
#include <vector>

#include "core/debug.h"
#include "core/error.h"
#include "core/gll.h"
#include "support/testsupport.h"

namespace {

// Opens texts by name, captures the log and closes every parser at the end,
// also when a fatal error left a test half way.
class TfTest : public testing::Test {
protected:
    void TearDown() override
    {
        for (TF_PARSER* p : parsers_) TF_Close(p);
    }
    TF_PARSER* Open(const std::string& text, const char* name = "units.txt")
    {
        TF_PARSER* p = TF_OpenText(name, text.data(), text.size());
        parsers_.push_back(p);
        return p;
    }
    std::string TraceLog() const { return log_.text(); }

    QvLogCapture log_;
    std::vector<TF_PARSER*> parsers_;
};

using Strings = std::vector<std::string>;

// ---- what a token is

class TfTokens : public TfTest {};

TEST_F(TfTokens, SplitsTheTextAsTheFormatSays)
{
    struct Row {
        std::string text;
        Strings tokens;
        size_t size = TF_FIELD;
    };
    const Row rows[] = {
        {"Name \"Heavy Tank; Mk 2\" next", {"Name", "Heavy Tank; Mk 2", "next"}},
        {"\"open string\r\nNext", {"open string", "Next"}},
        {"Foo(1){bar}x", {"Foo", "(", "1", ")", "{", "bar", "}", "x"}},
        {"; whole line ( \"\nabc;touching\nx ; trailing ) \n;last", {"abc", "x"}},
        {"abcdefghij next", {"abcd", "next"}, 5}, // cut to the buffer, the rest consumed
        {std::string("ab\0cd\"e\0f\"gh", 12), {"ab", "cd", "e f", "gh"}},
    };
    for (const Row& row : rows) {
        TF_PARSER* p = Open(row.text);
        Strings got;
        char buf[TF_FIELD];
        while (TF_GetToken(p, buf, row.size)) got.push_back(buf);
        EXPECT_STREQ(buf, "") << row.text;
        EXPECT_EQ(TF_GetToken(p, buf, row.size), 0);
        EXPECT_EQ(got, row.tokens) << row.text;
    }
}

TEST_F(TfTokens, LengthBoundsTheTextLinesAreCountedAndPeekRestores)
{
    std::string text = "a\n\"b\r\nc\n";
    TF_PARSER* p = TF_OpenText("t.txt", (text + "NOTPART").data(), text.size());
    parsers_.push_back(p);
    char buf[TF_FIELD];
    for (int line : {1, 2, 3}) {
        size_t pos = p->pos;
        ASSERT_EQ(TF_PeekToken(p, buf, sizeof buf), 1);
        EXPECT_EQ(p->pos, pos);
        ASSERT_EQ(TF_GetToken(p, buf, sizeof buf), 1);
        EXPECT_EQ(p->line, line) << buf;
    }
    EXPECT_EQ(TF_GetToken(p, buf, sizeof buf), 0);
}

// ---- line numbers in reports

class TfLines : public TfTest {};

TEST_F(TfLines, ErrorNamesFileAndLineOfTheOffendingToken)
{
    // A comment's quote and a quoted ";" must not shift the count.
    TF_PARSER* q = Open("Unit ; c \"(\r\n\"q;\" x\n", "rules.txt");
    char buf[TF_FIELD];
    ASSERT_EQ(TF_GetToken(q, buf, sizeof buf), 1);
    QV_EXPECT_FATAL(TF_ExpectOpenParen(q), "Expected [(] but found [\"q;\"]");
    EXPECT_EQ(Error_LastClass(), ERRC_PARSE);
    size_t mark = TraceLog().size();
    EXPECT_NE(TraceLog().find("File : rules.txt\nLine : 2\n"), std::string::npos) << TraceLog();
    QV_EXPECT_FATAL(TF_Error(nullptr, "bad value %d", 3), "bad value 3");
    EXPECT_EQ(TraceLog().find("File :", mark), std::string::npos);
}

// ---- keywords and brackets

class TfExpect : public TfTest {};

TEST_F(TfExpect, KeywordMatchesWithoutRegardToCaseAndIsQuietZeroAtTheEnd)
{
    TF_PARSER* p = Open("UNITDEF unitDef  ; nothing more\n");
    char buf[TF_FIELD];
    EXPECT_EQ(TF_ExpectKeyword(p, "UnitDef", buf), 1);
    EXPECT_EQ(TF_ExpectKeywordIf(p, 0, "unitdef"), 1);
    EXPECT_EQ(TF_ExpectKeyword(p, "Unit", buf), 0);
    QV_EXPECT_FATAL(TF_ExpectKeyword(Open("Weapon"), "Unit", buf),
                    "Expected [Unit] but found [Weapon]");
}

TEST_F(TfExpect, BracketIsOneOrQuietZeroAtTheEndAndFatalOtherwise)
{
    typedef int (*EXPECTFN)(TF_PARSER*);
    struct Row {
        EXPECTFN fn;
        const char* text;
        int result;          // when no error
        const char* fatal;   // the error, or null
    };
    const Row rows[] = {
        {TF_ExpectEmptyParens, "()", 1, nullptr},
        {TF_ExpectOpenParen, " ; end", 0, nullptr},
        {TF_ExpectEmptyParens, "(", 0, nullptr},
        {TF_ExpectEmptyParens, "(}", 0, "Expected [)] but found [}]"},
        {TF_ExpectOpenParen, "\"(\"", 0, "Expected [(] but found [\"(\"]"},
    };
    for (const Row& row : rows) {
        TF_PARSER* p = Open(row.text);
        if (row.fatal) {
            QV_EXPECT_FATAL(row.fn(p), row.fatal);
        } else {
            EXPECT_EQ(row.fn(p), row.result) << row.text;
        }
    }
    EXPECT_EQ(TraceLog().find("Expected [(] but found [EOF]"), std::string::npos);
}

// ---- single values

class TfValues : public TfTest {};

// Leading sign and digits as atoi reads them, clamped; a float never comes
// back as NaN or an infinity.
TEST_F(TfValues, NumbersReadTheirLeadingDigitsClamped)
{
    TF_PARSER* p = Open("-42 +7 12abc abc 99999999999 -99999999999 "
                        "1.5 -.25 3e2x nan inf word 1e999 -1e999 1e-999");
    char scratch[TF_FIELD];
    int i = -1;
    for (int want : {-42, 7, 12, 0, INT_MAX, INT_MIN}) {
        ASSERT_EQ(TF_GetInt(p, scratch, &i), 1);
        EXPECT_EQ(i, want) << scratch;
    }
    float f;
    for (float want : {1.5f, -0.25f, 300.0f, 0.0f, 0.0f, 0.0f, FLT_MAX, -FLT_MAX, 0.0f}) {
        ASSERT_EQ(TF_GetFloat(p, scratch, &f), 1);
        EXPECT_EQ(f, want) << scratch;
    }
    i = 5;
    EXPECT_EQ(TF_GetInt(p, scratch, &i), 0);
    EXPECT_EQ(i, 5);
    EXPECT_EQ(TF_GetFloat(p, scratch, &f), 0);
}

TEST_F(TfValues, StringsAndFilenamesAreCutToTheirFields)
{
    std::string longword(300, 'w');
    TF_PARSER* p = Open(longword + " \"a b\"\n\nSHORT.PCX\nVERYLONGNAME.PCX", "art.txt");
    char field[TF_FIELD];
    char name[TF_FILENAME];
    ASSERT_EQ(TF_GetString(p, field), 1);
    EXPECT_EQ(std::string(field), longword.substr(0, 63));
    ASSERT_EQ(TF_GetString(p, field), 1);
    ASSERT_EQ(TF_GetFilename(p, name), 1);
    EXPECT_EQ(TraceLog(), "");
    ASSERT_EQ(TF_GetFilename(p, name), 1);
    EXPECT_STREQ(name, "VERYLONGNAME");
    std::string log = TraceLog();
    EXPECT_NE(log.find("Filename [VERYLONGNAME.PCX] too long - truncated"), std::string::npos);
    EXPECT_NE(log.find("Error in file [art.txt] at line [4]"), std::string::npos) << log;
    QV_EXPECT_FATAL(TF_GetFilename(p, name), "Expected [_filename_] but found []");
}

// ---- keyword ( values ) forms and lists

class TfForms : public TfTest {};

TEST_F(TfForms, ParenAndKeywordFormsReadTheirValues)
{
    TF_PARSER* p = Open("(1 2 3 4) Size(5 6) NAME(\"Big\")");
    int a = 0, b = 0, c = 0, d = 0;
    char field[TF_FIELD];
    EXPECT_EQ(TF_GetParenInt4(p, &a, &b, &c, &d), 1);
    EXPECT_EQ(TF_GetKeywordInt2(p, "size", &a, &b), 1);
    EXPECT_EQ(TF_GetKeywordString(p, "Name", field), 1);
    EXPECT_EQ((std::vector<int>{a, b, c, d}), (std::vector<int>{5, 6, 3, 4}));
    EXPECT_STREQ(field, "Big");
}

TEST_F(TfForms, EndOfTextGivesZeroAndAMisplacedTokenIsFatal)
{
    int a, b, ints[3] = {0, 0, -7};
    char field[TF_FIELD];
    char strings[2][TF_FIELD];
    GLL* list = GLL_Create();
    EXPECT_EQ(TF_GetParenInt2(Open("(1"), &a, &b), 0);
    EXPECT_EQ(TF_GetKeywordString(Open("Name("), "Name", field), 0);
    EXPECT_EQ(TF_GetBraceInt(Open("{ 1 2"), list), 0);
    EXPECT_EQ(list->count, 2);
    GLL_Destroy(list, GLL_FREE_ELEMENTS);
    // Read as a number, ")" would become 0 and the form would run into the
    // next definition.
    QV_EXPECT_FATAL(TF_GetKeywordInt2(Open("Size(5)\nNext(1 2)"), "Size", &a, &b),
                    "Expected [_number_] but found [)]");
    // Lists: a value beyond the capacity is reported, not written; a missing
    // bracket is fatal even at the end.
    QV_EXPECT_FATAL(TF_GetIntList(Open("(1 2 3)"), ints, 2), "Expected [)] but found [3]");
    EXPECT_EQ(ints[2], -7);
    QV_EXPECT_FATAL(TF_GetStringList(Open("(a b)"), strings, 1), "Expected [)] but found [b]");
    QV_EXPECT_FATAL(TF_GetIntList(Open("(1"), ints, 2), "Expected [)] but found [EOF]");
}

TEST_F(TfForms, ListsStopEarlyAtCloseParen)
{
    int ints[4] = {-1, -1, -1, -1};
    EXPECT_EQ(TF_GetIntList(Open("(3 4)"), ints, 4), 2);
    EXPECT_EQ((std::vector<int>(ints, ints + 4)), (std::vector<int>{3, 4, -1, -1}));
    char strings[3][TF_FIELD];
    EXPECT_EQ(TF_GetStringList(Open("(a \")\" \"c d\")"), strings, 3), 3);
    EXPECT_STREQ(strings[1], ")");
    EXPECT_STREQ(strings[2], "c d");
}

TEST_F(TfForms, BraceListAppendsEachValueAfterExistingOnes)
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

// ---- the real exit

using TfErrorDeathTest = TfTest;

TEST_F(TfErrorDeathTest, ParseErrorExitsOneWithTheClassText)
{
    TF_PARSER* p = Open("x");
    EXPECT_EXIT(TF_ExpectOpenParen(p), testing::ExitedWithCode(1), "Text file parsing error");
}

} // namespace
