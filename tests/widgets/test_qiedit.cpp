// Edits: what keys do to the working text and caret, and when buffer and
// bound string change.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/input.h"
#include "support/passscript.h"
#include "widgets/qidesktop.h"
#include "widgets/qiedit.h"

namespace {

typedef std::vector<std::string> LOG;

struct K {
    int code, character;
    uint32_t modifiers;
};
K Ch(char c) { return {2, c, 0}; }
const K kBack{14, 8, 0}, kCtrlBack{14, 8, MOD_CTRL}, kHome{71, 0, 0}, kEnd{207, 0, 0},
    kLeft{75, 0, 0}, kCtrlLeft{203, 0, MOD_CTRL}, kCtrlRight{77, 0, MOD_CTRL}, kDel{211, 0, 0},
    kCtrlDel{83, 0, MOD_CTRL}, kEsc{1, 27, 0}, kEnter{28, 13, 0};

} // namespace

TEST(Edit, KeysEditTheWorkingText)
{
    QvHeadlessScreen screen;
    const struct {
        const char* rule;
        const char* text;
        uint32_t classes;
        int32_t minCaret, maxLength;
        std::vector<K> keys;
        const char* working;
        int32_t caret;
        const char* bound; // after the keys
        LOG log;
    } cases[] = {
        {"typing at maxLength is ignored", "abcd", QIEC_LETTERS, 0, 4, {Ch('x')}, "abcd", 4, "abcd", {}},
        {"characters outside the classes are ignored", "", QIEC_DIGITS, 0, 8, {Ch('a'), Ch('7'), Ch(' ')},
         "7", 1, "", {"e 20"}},
        {"digits and the minus sign only", "", QIEC_DIGITS | QIEC_MINUS, 0, 8, {Ch('-'), Ch('+'), Ch('4'), Ch('.')},
         "-4", 2, "", {"e 20", "e 20"}},
        {"0x1000 types upper case", "", QIEC_LETTERS | QIEC_UPPER, 0, 8, {Ch('a'), Ch('B')}, "AB", 2, "",
         {"e 20", "e 20"}},
        {"hex digits are upper case only", "", QIEC_HEX, 0, 8, {Ch('a'), Ch('F'), Ch('9')}, "F9", 2, "",
         {"e 20", "e 20"}},
        {"HexUpperCaseBitConvertsBeforeChecking: hex with 0x1000 takes lower case", "", QIEC_HEX | QIEC_UPPER,
         0, 8, {Ch('a'), Ch('f'), Ch('g'), Ch('9')}, "AF9", 3, "", {"e 20", "e 20", "e 20"}},
        {"Backspace stops at minCaret", "ab", QIEC_LETTERS, 1, 8, {kBack, kBack}, "a", 1, "ab", {"e 20"}},
        {"Control+Backspace deletes down to minCaret", "abc def", QIEC_LETTERS, 2, 8, {kCtrlBack}, "ab", 2,
         "abc def", {"e 20"}},
        {"Home goes to minCaret, then inserts there", "abc", QIEC_LETTERS, 1, 8, {kHome, Ch('x')}, "axbc",
         2, "abc", {"e 20"}},
        {"word left stops after a separator", "ab cd,ef", QIEC_LETTERS, 0, 9, {kCtrlLeft}, "ab cd,ef", 6,
         "ab cd,ef", {}},
        {"twice: after the space", "ab cd,ef", QIEC_LETTERS, 0, 9, {kCtrlLeft, kCtrlLeft}, "ab cd,ef", 3,
         "ab cd,ef", {}},
        {"word right stops at a separator", "ab cd/ef", QIEC_LETTERS, 0, 9, {kHome, kCtrlRight, kCtrlRight},
         "ab cd/ef", 5, "ab cd/ef", {}},
        {"Delete at the caret, Control+Delete cuts", "abcdef", QIEC_LETTERS, 0, 9,
         {kHome, kDel, kEnd, kLeft, kLeft, kCtrlDel}, "bcd", 3, "abcdef", {"e 20", "e 20"}},
        {"Delete at the end: nothing", "ab", QIEC_LETTERS, 0, 9, {kDel}, "ab", 2, "ab", {}},
        {"Esc drops the typing", "ab", QIEC_LETTERS, 0, 9, {Ch('c'), kEsc}, "abc", 0, "ab", {"e 20"}},
        {"Enter commits, then 19", "ab", QIEC_LETTERS, 0, 9, {Ch('c'), kEnter}, "abc", 0, "abc",
         {"e 20", "e 19"}},
        {"a bound text longer than maxLength is cut", "abcdefgh", QIEC_LETTERS, 0, 5, {kEnter}, "abcde", 0,
         "abcde", {"e 19"}},
    };
    for (const auto& c : cases) {
        QIDesktop d("Test", nullptr, QIImage(), "wdemo\\");
        QIString text(c.text);
        QIEditBase* e = new QIEditBase("e", QvPass_Record, IRect(0, 0, 100, 12), &text, c.classes,
                                       c.minCaret, c.maxLength);
        QIWidget::AddChild(nullptr, e);
        e->HandleMessage(2, nullptr, 0);
        ASSERT_TRUE(e->Editing()) << c.rule;
        EXPECT_EQ(d.captureWidget, e) << c.rule;
        QvPass_Log().clear();
        QIWidget* end[1] = {nullptr};
        for (const K& k : c.keys) {
            QIKey key{k.character, k.code, 0, k.modifiers};
            e->FilterChar(end, &key);
        }
        EXPECT_STREQ(QIEditBase::Working(), c.working) << c.rule;
        EXPECT_EQ(e->caret, c.caret) << c.rule;
        EXPECT_STREQ(text.c_str(), c.bound) << c.rule;
        EXPECT_EQ(QvPass_Log(), c.log) << c.rule;
    }
}

TEST(Edit, EscKeepsTheTextWhileMovingTheCaptureCommitsIt)
{
    QvHeadlessScreen screen;
    for (const bool tab : {false, true}) {
        QIDesktop d("Test", nullptr, QIImage(), "wdemo\\");
        QIString a("one"), b("two");
        QIEditBase* ea = new QIEditBase("a", nullptr, IRect(0, 0, 100, 12), &a, QIEC_LETTERS, 0, 8);
        QIEditBase* eb = new QIEditBase("b", nullptr, IRect(0, 20, 100, 12), &b, QIEC_LETTERS, 0, 8);
        QIWidget::AddChild(nullptr, ea);
        QIWidget::AddChild(nullptr, eb);
        ea->HandleMessage(2, nullptr, 0);
        QIWidget* end[1] = {nullptr};
        QIKey x{'x', 45, 0, 0};
        ea->FilterChar(end, &x);
        if (tab) {
            d.SetCapture(eb, true);
        } else {
            QIKey esc{27, 1, 0, 0};
            ea->FilterChar(end, &esc);
        }
        EXPECT_STREQ(a.c_str(), tab ? "onex" : "one") << tab;
        EXPECT_STREQ(ea->buffer, tab ? "onex" : "one") << tab;
        EXPECT_FALSE(ea->Editing()) << tab;
        EXPECT_EQ(eb->Editing(), tab);
        EXPECT_EQ(d.captureWidget, tab ? eb : nullptr);
    }
}
