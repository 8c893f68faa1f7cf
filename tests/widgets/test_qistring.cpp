// The library's string: capacity steps, comparison, and assignments that
// read their own buffer.
#include <gtest/gtest.h>

#include <cstring>

#include "widgets/qistring.h"

TEST(QIStringRules, CapacityStepsAndComparisons)
{
    const struct {
        uint32_t length, capacity;
    } steps[] = {{0, 16}, {14, 16}, {15, 32}, {30, 32}, {31, 48}};
    for (const auto& s : steps) {
        std::string text(s.length, 'a');
        QIString q(text.c_str());
        EXPECT_EQ(q.capacity, s.capacity) << s.length;
        EXPECT_EQ(QIString(q).capacity, s.capacity) << "copy of " << s.length;
    }

    const QIString none(nullptr);
    const struct {
        const QIString a;
        const char* b;
        int expect;
    } cases[] = {
        {QIString("abc"), "ABC", QISTR_EQUAL},   {QIString("ab"), "ABC", QISTR_LESS},
        {QIString("abcd"), "abc", QISTR_GREATER}, {QIString(nullptr), "", QISTR_LESS},
        {QIString(nullptr), nullptr, QISTR_EQUAL}, {QIString(""), nullptr, QISTR_GREATER},
        {QIString("[a"), "{A", QISTR_LESS},       {QIString("\xE9"), "\xC9", QISTR_GREATER},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.a.CompareCStr(c.b), c.expect) << c.a.c_str() << " / " << (c.b ? c.b : "null");
        EXPECT_EQ(c.a.Compare(QIString(c.b)), c.expect) << c.a.c_str();
    }
    EXPECT_EQ(none.Compare(QIString(nullptr)), QISTR_EQUAL);
}

TEST(QIStringRules, AssignReusesOnlyAnEqualNonEmptyBuffer)
{
    QIString twenty(std::string(20, 'x').c_str()), target(std::string(25, 'y').c_str());
    char* before = target.text;
    target.Assign(twenty);
    EXPECT_EQ(target.text, before);
    EXPECT_STREQ(target.text, twenty.text);

    QIString empty;
    empty.Format(40, "%s", std::string(20, 'z').c_str());
    empty.Format(40, "%s", "");
    ASSERT_EQ(empty.capacity, 32u);
    before = empty.text;
    empty.Assign(twenty);
    EXPECT_NE(empty.text, before);
    EXPECT_EQ(empty.length, 20u);
}

TEST(QIStringRules, FormatGrowsNeverShrinksAndStopsAtTheLimit)
{
    QIString s("short");
    s.Format(100, "%s", "fifteen chars!!");
    EXPECT_EQ(s.capacity, 32u);
    s.Format(100, "%d", 123);
    EXPECT_EQ(s.capacity, 32u);
    EXPECT_STREQ(s.text, "123");
    s.Format(8, "%s", "far more than eight characters");
    EXPECT_EQ(s.length, 8u);
    EXPECT_STREQ(s.text, "far more");
}

TEST(QIStringRules, SetAndAssignOfItsOwnTextKeepTheText)
{
    QIString s("the whole text");
    s.Set(s.text + 4);
    EXPECT_STREQ(s.text, "whole text");
    s.Set(s.text);
    EXPECT_STREQ(s.text, "whole text");
    s.Assign(s);
    EXPECT_STREQ(s.text, "whole text");
    EXPECT_EQ(s.length, 10u);

    QIString u("a b  c");
    u.SpaceToUnderscore();
    EXPECT_STREQ(u.text, "a_b__c");
}
