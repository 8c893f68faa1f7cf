#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/font.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/pcx.h"
#include "support/testsupport.h"
#include "platform/video.h"
#include "ui/igi.h"
#include "ui/igibtn.h"
#include "ui/igievnt.h"
#include "ui/igimenu.h"
#include "ui/textedit.h"

namespace {

enum { KP7 = 71, KP4 = 75, KP6 = 77, KP1 = 79, KPSTOP = 83 };

struct Key {
    int scan, ch, mods;
};

struct Edit {
    char buf[64];
    TEXTEDIT e;
    Edit(const char* text, int cls = TEC_ALL, int max = 20, int cursor = -1, int start = 0)
    {
        snprintf(buf, sizeof buf, "%s", text);
        TextEdit_Init(&e, buf, cls, max, cursor < 0 ? (int)strlen(text) : cursor, start);
    }
    int Type(const std::vector<Key>& keys)
    {
        int r = 0;
        for (const Key& k : keys) r = TextEdit_Key(&e, k.scan, k.ch, k.mods);
        return r;
    }
};

TEST(TextEdit, KeysEditTheBufferAsTheTableSays)
{
    struct Row {
        const char* name;
        const char* text;
        int cls, cursor, start;
        std::vector<Key> keys;
        const char* want;
        int wantcursor, wantresult;
    } rows[] = {
        {"escape cancels", "abc", TEC_ALL, -1, 0, {{SC_ESCAPE, 0, 0}}, "abc", 3, TE_CANCEL},
        {"enter accepts", "abc", TEC_ALL, -1, 0, {{SC_RETURN, 0, 0}}, "abc", 3, TE_ACCEPT},
        {"keypad enter accepts", "abc", TEC_ALL, -1, 0, {{SC_KP_ENTER, 0, 0}}, "abc", 3, TE_ACCEPT},
        {"backspace", "abc", TEC_ALL, 2, 0, {{SC_BACKSPACE, 0, 0}}, "ac", 1, TE_OK},
        {"ctrl backspace to start", "abcdef", TEC_ALL, 4, 1, {{SC_BACKSPACE, 0, MOD_CTRL}}, "aef", 1, TE_OK},
        {"backspace at start", "abcdef", TEC_ALL, 3, 3, {{SC_BACKSPACE, 0, 0}}, "abcdef", 3, TE_OK},
        {"home stops at start", "abcdef", TEC_ALL, 5, 3, {{SC_HOME, 0, 0}}, "abcdef", 3, TE_OK},
        {"keypad 7 is home", "abcdef", TEC_ALL, 5, 3, {{KP7, 0, 0}}, "abcdef", 3, TE_OK},
        {"keypad 1 is end", "abcdef", TEC_ALL, 0, 0, {{KP1, 0, 0}}, "abcdef", 6, TE_OK},
        {"left not below start", "abc", TEC_ALL, 1, 1, {{SC_LEFT, 0, 0}}, "abc", 1, TE_OK},
        {"keypad 6 right not past end", "abc", TEC_ALL, 2, 0, {{KP6, 0, 0}, {KP6, 0, 0}}, "abc", 3, TE_OK},
        {"ctrl left stops after the space", "one two", TEC_ALL, 6, 0, {{SC_LEFT, 0, MOD_CTRL}}, "one two", 4, TE_OK},
        {"ctrl left twice reaches start", "one two", TEC_ALL, 6, 0,
         {{KP4, 0, MOD_CTRL}, {KP4, 0, MOD_CTRL}}, "one two", 0, TE_OK},
        {"ctrl right stops on a separator", "one,two", TEC_ALL, 0, 0, {{SC_RIGHT, 0, MOD_CTRL}}, "one,two", 3, TE_OK},
        {"delete at cursor", "abc", TEC_ALL, 1, 0, {{SC_DELETE, 0, 0}}, "ac", 1, TE_OK},
        {"keypad stop at end", "abc", TEC_ALL, 3, 0, {{KPSTOP, 0, 0}}, "abc", 3, TE_OK},
        {"ctrl delete at 0 empties", "abc", TEC_ALL, 0, 0, {{SC_DELETE, 0, MOD_CTRL}}, "", 0, TE_OK},
        {"insert in the middle", "ac", TEC_ALL, 1, 0, {{SC_A, 'b', 0}}, "abc", 2, TE_OK},
        {"zero character ignored", "ab", TEC_ALL, -1, 0, {{SC_A, 0, 0}}, "ab", 2, TE_OK},
        {"digits refuse letters", "12", TEC_DIGITS, -1, 0, {{SC_A, 'a', 0}}, "12", 2, TE_REFUSED},
        {"upper-case class", "", 0x1001, -1, 0, {{SC_A, 'a', 0}, {SC_A, 'B', 0}}, "AB", 2, TE_OK},
        {"both conversions dropped", "", 0x3001, -1, 0, {{SC_A, 'a', 0}, {SC_A, 'B', 0}}, "aB", 2, TE_OK},
        {"hex is upper case only", "", TEC_HEX, -1, 0, {{SC_A, 'a', 0}}, "", 0, TE_REFUSED},
        {"punctuation holds the pipe", "", TEC_PUNCTUATION, -1, 0, {{SC_A, '|', 0}}, "|", 1, TE_OK},
        {"a byte above 127 is in no class", "", TEC_ALL, -1, 0, {{SC_A, 0xe9, 0}}, "", 0, TE_REFUSED},
    };
    for (Row& r : rows) {
        Edit ed(r.text, r.cls, 20, r.cursor, r.start);
        int result = ed.Type(r.keys);
        EXPECT_STREQ(ed.buf, r.want) << r.name;
        EXPECT_EQ(ed.e.cursor, r.wantcursor) << r.name;
        EXPECT_EQ(result, r.wantresult) << r.name;
        EXPECT_EQ(ed.e.length, (int)strlen(ed.buf)) << r.name;
    }
}

TEST(TextEdit, FullBufferReturnsFullBeforeTheClassTest)
{
    Edit ed("abc", TEC_DIGITS, 3);
    EXPECT_EQ(ed.Type({{SC_A, 'x', 0}}), TE_FULL);
    EXPECT_STREQ(ed.buf, "abc");
}

TEST(TextField, LimitIsCappedAtTheBufferSize)
{
    char buf[6] = "abc";
    TEXTFIELD f;
    TextField_Init(&f, 0, 0, 1000, TFA_LEFT, buf, sizeof buf, TEC_ALL, 3, 0, 255, 9);
    EXPECT_EQ(f.edit.max, 5);
    for (char c : std::string("defgh")) TextField_Key(&f, SC_A, c, 0);
    EXPECT_STREQ(buf, "abcde") << "no byte past the buffer";

    char tiny[4] = {'x', 'y', 'z', 'w'}; // no terminator from the caller
    TextField_Init(&f, 0, 0, 1000, TFA_LEFT, tiny, sizeof tiny, TEC_ALL, 9, 0, 255, 9);
    EXPECT_EQ(f.edit.length, 3);
    EXPECT_EQ(f.edit.cursor, 3);
}

// A monospaced font of 4-pixel cells for the width rule.
class TextFieldWidth : public testing::Test {
protected:
    QvTempDir dir_;
    void SetUp() override
    {
        Font_Init(1 << 16);
        const int cells = 95, cw = 4, h = 5, w = cells * (cw + 1);
        std::vector<uint8_t> px((size_t)w * h, 0);
        for (int i = 0; i < cells; i++)
            for (int k = 0; k < cw; k++) {
                px[(size_t)i * (cw + 1) + k] = 9;
                for (int y = 1; y < h; y++) px[(size_t)y * w + i * (cw + 1) + k] = 1;
            }
        BITMAP b;
        ASSERT_EQ(Graph_InitBitmap(&b, w, h, px.data()), 1);
        PAL_RGB pal[256] = {};
        std::string path = dir_.file("mono.pcx");
        ASSERT_EQ(Graph_SavePCX(path.c_str(), &b, pal), 1);
        ASSERT_EQ(Font_Load(path.c_str(), 0), 1);
        ASSERT_EQ(Font_StringWidth("ab", 0), 8);
    }
    void TearDown() override { Font_Close(); }
};

TEST_F(TextFieldWidth, TextNeverOutgrowsTheBoxAndFollowsTheAlignment)
{
    char buf[64] = "abc";
    TEXTFIELD f;
    TextField_Init(&f, 100, 10, 16, TFA_RIGHT, buf, sizeof buf, TEC_ALL, 3, 0, 255, 0);
    EXPECT_EQ(f.textx, 104);
    EXPECT_EQ(TextField_Key(&f, SC_A, 'd', 0), TE_OK);
    EXPECT_EQ(f.textx, 100);
    EXPECT_EQ(TextField_Key(&f, SC_A, 'e', 0), TE_FULL);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(f.edit.cursor, 4);

    TextField_Init(&f, 100, 10, 17, TFA_CENTRE, buf, sizeof buf, TEC_ALL, 1, 0, 255, 0);
    EXPECT_EQ(TextField_Key(&f, SC_DELETE, 0, 0), TE_OK);
    EXPECT_EQ(f.textx, 100 + 8 - 6) << "both halves rounded down";
}

TEST_F(TextFieldWidth, TextWiderThanTheBoxKeepsItsCharactersOnCursorKeys)
{
    char buf[64] = "abcdefgh"; // 32 pixels in a 16-pixel box
    TEXTFIELD f;
    TextField_Init(&f, 0, 0, 16, TFA_LEFT, buf, sizeof buf, TEC_ALL, 8, 0, 255, 0);
    EXPECT_EQ(TextField_Key(&f, SC_LEFT, 0, 0), TE_OK);
    EXPECT_EQ(TextField_Key(&f, SC_HOME, 0, 0), TE_OK);
    EXPECT_STREQ(buf, "abcdefgh");
    EXPECT_EQ(TextField_Key(&f, SC_A, 'x', 0), TE_FULL);
    EXPECT_STREQ(buf, "abcdefgh");
    EXPECT_EQ(f.edit.cursor, 0);
}

// The in-game fields: a held Backspace deleted one character (keys never
// repeated in the game), and a field that filled its box refused every
// further character without a word.
class PlayerViewField : public TextFieldWidth {};

TEST_F(PlayerViewField, AHeldKeyDidNotRepeatAndAFullFieldSaidNothing)
{
    static std::vector<std::string> said;
    said.clear();
    Display_SetMessageHook([](const char* line) { said.push_back(line); });
    igi_nfo = IGI_NFO{};
    static char buf[16];
    auto handler = [](uint32_t zd, uint32_t reason) {
        if (reason == ZR_INPUT) Igievnt_HandleEditZone((int)zd);
    };
    // A text area 16 pixels wide: four characters of the font.
    Igievnt_DefineButton(IGIMENU_NAMEZONE, handler, 100, 10, 20, 15, 2, 2, buf, 15, "", TEC_LETTERS, 0, ZL_MENU);
    auto send = [](uint32_t kind, int key = 0, int ch = 0) {
        igi_nfo.event.kind = kind;
        igi_nfo.event.key = (uint32_t)key;
        igi_nfo.event.ch = (uint8_t)ch;
        return Igievnt_HandleEditZone(IGIMENU_NAMEZONE);
    };
    EXPECT_EQ(Input_KeyRepeatEnabled(), 0) << "held hot keys don't repeat";
    send(EV_LEFTUP);
    EXPECT_EQ(Input_KeyRepeatEnabled(), 1) << "keys repeat while the field edits";
    for (char c : std::string("abcdef")) send(EV_KEY, SC_A, c);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(said, std::vector<std::string>({"The field is full: 4 characters fit"})) << "said once";
    send(EV_KEY, SC_BACKSPACE);
    send(EV_KEY, SC_A, 'x');
    send(EV_KEY, SC_A, 'y');
    EXPECT_EQ(said.size(), 2u) << "said again after a key was taken";
    EXPECT_TRUE(send(EV_KEY, SC_RETURN));
    EXPECT_STREQ(buf, "abcx");
    EXPECT_EQ(Input_KeyRepeatEnabled(), 0);
    Display_SetMessageHook(nullptr);
    igi_nfo = IGI_NFO{};
}

} // namespace
