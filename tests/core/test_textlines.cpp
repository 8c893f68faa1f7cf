// Word wrap of file sections and the keyed text-line list.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/textlines.h"
#include "support/testsupport.h"

namespace {

std::vector<std::string> g_Lines;

void Collect(const char* line) { g_Lines.push_back(line); }
int Eight(int) { return 8; }
int Zero(int) { return 0; }
int WideW(int c) { return c == 'W' ? 100 : 8; }

std::vector<std::string> Wrap(const std::string& text, int section, int width,
                              TEXT_CHARWIDTHFN cw = Eight)
{
    g_Lines.clear();
    Text_WrapSection(text.data(), (int)text.size(), section, width, cw, Collect);
    return g_Lines;
}

using Lines = std::vector<std::string>;

struct WrapCase {
    const char* name;
    std::string text;
    int section, width;
    Lines expected;
};

const std::string B = "\xb7";

const WrapCase kWrapCases[] = {
    {"no markers: section 3 wraps everything", "one two", 3, 800, {"one two"}},
    {"a word wider than the line splits without a hyphen", "abcdefghij", 0, 32,
     {"abcd", "efgh", "ij"}},
    {"three one-letter words, two fit", "a b c", 0, 24, {"a b", "c"}},
    {"CR and LF are ignored", "ab\r\ncd", 0, 800, {"abcd"}},
    {"backslash n ends the line and skips spaces", "ab\\n   cd", 0, 800, {"ab", "cd"}},
    {"backslash n twice gives an empty line", "ab\\n\\ncd", 0, 800, {"ab", "", "cd"}},
    {"backslash c, t and others are dropped", "a\\cb\\tc\\qd", 0, 800, {"abcd"}},
    {"sections: the chosen one to the next marker", "\\0zero\\1one\\n1b\\2two", 1, 800,
     {"one", "1b"}},
    {"the last section runs to the end", "\\0zero\\1one", 1, 800, {"one"}},
    {"bullet paragraph indents its wrapped lines",
     B + "aaa bbb ccc\\nddd", 0, 32, {B + "aaa", "  bbb", "  ccc", "ddd"}},
    {"a one-line bullet item ends at its backslash n", B + "a\\nb", 0, 800, {B + "a", "b"}},
    {"a trailing backslash is dropped", "ab\\", 0, 800, {"ab"}},
};

class TextWrap : public testing::TestWithParam<WrapCase> {};

TEST_P(TextWrap, GivesTheExpectedLines)
{
    const WrapCase& c = GetParam();
    EXPECT_EQ(Wrap(c.text, c.section, c.width), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, TextWrap, testing::ValuesIn(kWrapCases),
                         [](const testing::TestParamInfo<WrapCase>& info) {
                             std::string n;
                             for (const char* p = info.param.name; *p; p++)
                                 n += isalnum((unsigned char)*p) ? *p : '_';
                             return n;
                         });

TEST(TextWrapLimits, ZeroWidthCharactersEndLinesAt157)
{
    Lines lines = Wrap(std::string(400, 'x'), 0, 10, Zero);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), 157u);
    EXPECT_EQ(lines[1].size(), 157u);
    EXPECT_EQ(lines[2].size(), 86u);
}

TEST(TextWrapLimits, ACharacterWiderThanTheLineGetsALineOfItsOwn)
{
    // Reading must move on even when one character can never fit.
    EXPECT_EQ(Wrap("aWb", 0, 20, WideW), (Lines{"a", "W", "b"}));
}

TEST(TextWrapLimits, FilesAreCutAfter4999Bytes)
{
    QvTempDir dir;
    std::string text(4998, 'a');
    text += "bcd"; // bytes 4999.. are never read
    dir.write("long.txt", text);
    g_Lines.clear();
    ASSERT_EQ(Text_WrapFileSection(dir.file("long.txt").c_str(), 0, 8 * 157, Eight, Collect), 1);
    std::string all;
    for (auto& l : g_Lines) all += l;
    EXPECT_EQ(all.size(), 4999u);
    EXPECT_EQ(all.back(), 'b');
}

TEST(TextWrapLimits, ResultIsZeroOnlyForAFileThatCantBeOpened)
{
    QvTempDir dir;
    dir.write("plain.txt", "no markers here");
    g_Lines.clear();
    EXPECT_EQ(Text_WrapFileSection(dir.file("absent.txt").c_str(), 0, 100, Eight, Collect), 0);
    EXPECT_TRUE(g_Lines.empty());
    // A missing section wraps the whole text and still succeeds.
    EXPECT_EQ(Text_WrapFileSection(dir.file("plain.txt").c_str(), 7, 800, Eight, Collect), 1);
    EXPECT_EQ(g_Lines, (Lines{"no markers here"}));
}

std::vector<std::pair<std::string, int>> g_Walk;
int g_StopAt;

int Walk(const char* text, int32_t key)
{
    g_Walk.emplace_back(text, key);
    return (int)g_Walk.size() != g_StopAt;
}

class TextLinesList : public testing::Test {
protected:
    void SetUp() override { TextLines_Clear(); }
    void TearDown() override { TextLines_Reset(); }
    std::vector<std::pair<std::string, int>> All(int stopAt = 0)
    {
        g_Walk.clear();
        g_StopAt = stopAt;
        TextLines_ForEach(Walk);
        return g_Walk;
    }
};

TEST_F(TextLinesList, EqualKeysKeepTheirOrderOfInsertion)
{
    TextLines_AddSorted("five-a", 5);
    TextLines_AddSorted("three", 3);
    TextLines_AddSorted("five-b", 5);
    TextLines_AddSorted("one", 1);
    TextLines_AddSorted(nullptr, 9);
    EXPECT_EQ(TextLines_Count(), 5);
    using P = std::pair<std::string, int>;
    EXPECT_EQ(All(), (std::vector<P>{{"one", 1}, {"three", 3}, {"five-a", 5}, {"five-b", 5},
                                     {"", 9}}));
}

TEST_F(TextLinesList, WalkStopsWhereTheCallbackReturnsZeroAndClearEmpties)
{
    TextLines_AddSorted("a", 1);
    TextLines_AddSorted("b", 2);
    TextLines_AddSorted("c", 3);
    EXPECT_EQ(All(2).size(), 2u);
    TextLines_Clear();
    EXPECT_EQ(TextLines_Count(), 0);
    EXPECT_TRUE(All().empty());
    TextLines_AddSorted("again", 0); // the tail was reset too
    EXPECT_EQ(All().size(), 1u);
}

} // namespace
