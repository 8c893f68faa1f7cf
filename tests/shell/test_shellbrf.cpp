#include <cstring>
#include <string>
#include <vector>

#include "core/bytes.h"
#include "core/gamestate.h"
#include "gen_shellres.h"
#include "shell/shellbrf.h"
#include "shell/shellctl.h"
#include "shell/shellres.h"
#include "support/passscript.h"
#include "support/testsupport.h"

using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

static Lines s_added;

static intptr_t ListRecorder(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4)
{
    if ((message & 0xFFFF) == SM_ADDLINE) s_added.push_back((const char*)p1);
    return Shell_ControlDefaultHandler(c, message, p1, p2, p3, p4);
}

// Font slot 0 with every character one pixel wide, so a line's width is its
// length; the scenario folder is a temporary directory.
class ShellBriefing : public ::testing::Test {
protected:
    QvHeadlessScreen screen;
    QvTempDir dir;
    std::string oldScenario;
    void SetUp() override
    {
        Bytes font(8 + 1 + 2 * 256, 0);
        Bytes_PutU16(&font[4], 1 + 2 * 256);
        Bytes_PutU16(&font[6], 1);
        for (int x = 0; x < 1 + 2 * 256; x += 2) font[8 + x] = 9;
        Bytes index, data;
        Mkdata_ShellLibrary({{"font12", SHELLRES_FLT, Mkdata_ShellContainer(SHELLRES_FLT, {{SHELLRES_PIXL, font}})}},
                            &index, &data);
        dir.write("shell.rli", std::string(index.begin(), index.end()));
        dir.write("shell.rld", std::string(data.begin(), data.end()));
        Shell_MapResourceLibrary(dir.file("shell.rli").c_str());
        Shell_InitControls();
        Shell_LoadFont(0, "font12");
        oldScenario = g_ScenarioDir;
        snprintf(g_ScenarioDir, sizeof g_ScenarioDir, "%s", dir.file("m01a").c_str());
        s_added.clear();
    }
    void TearDown() override
    {
        Shell_CloseControls();
        Shell_UnmapResourceLibrary();
        snprintf(g_ScenarioDir, sizeof g_ScenarioDir, "%s", oldScenario.c_str());
    }
    // Every line the wrapper gives from text up to the end or a token.
    static Lines Wrap(const char* text, int width, int capacity = 255)
    {
        Lines out;
        char line[256];
        const char* p = text;
        while ((p = Shell_WrapLine(line, p, 0, width, capacity)) && line[0] != SHELL_TOKEN) out.push_back(line);
        return out;
    }
    Lines Fill(int section, int width = 100)
    {
        Shell_RegisterControlClass(SHELL_FOURCC('R', 'E', 'C', 'L'), ListRecorder, 0);
        SHELLCTL* list = Shell_CreateControl(SHELL_FOURCC('R', 'E', 'C', 'L'), nullptr, 0, 0, 0, 10, 10, 0, 0, 0, 0);
        s_added.clear();
        Shell_FillListFromBriefing("m01a", section, list, width);
        Shell_SendMessage(list, SM_DESTROY);
        return s_added;
    }
};

TEST_F(ShellBriefing, WrapsWordsAndControlCodes)
{
    struct Row {
        const char* name;
        const char* text;
        int width, capacity;
        Lines lines;
    } rows[] = {
        {"only the first of two words fits", "abc defg", 6, 255, {"abc", "defg"}},
        {"two spaces after a full stop", "end. next", 20, 255, {"end.  next"}},
        {"a line break between words that fit", "a \\n b", 20, 255, {"a", "b"}},
        {"a line break right after a word", "a\\nb", 20, 255, {"a", "b"}},
        {"two backslashes are one", "a\\\\b", 20, 255, {"a\\b"}},
        {"an extra space", "a \\s b", 20, 255, {"a  b"}},
        {"c has no effect", "a \\c b", 20, 255, {"a b"}},
        {"an unknown code ends the section", "a \\q b", 20, 255, {"a"}},
        {"a word wider than the line stays alone", "abcdefgh ab", 4, 255, {"abcdefgh", "ab"}},
        {"a section mark inside a line ends it", "one \\1 two", 20, 255, {"one"}},
        {"a backslash as the last byte", "word \\", 20, 255, {"word"}},
        {"separators of every kind", "\t a\r\n\x01 b ", 20, 255, {"a b"}},
        {"a word past the capacity starts a line", "abc def", 100, 5, {"abc", "def"}},
        {"a word alone past the capacity is cut", "abcdefgh", 100, 5, {"abcde"}},
    };
    for (const Row& r : rows) EXPECT_EQ(Wrap(r.text, r.width, r.capacity), r.lines) << r.name;
}

TEST_F(ShellBriefing, WordReaderTokensAndBounds)
{
    char out[256];
    std::string text = "\\";
    const char* end = Shell_NextWord(out, sizeof out, text.c_str());
    EXPECT_EQ(std::string(out), std::string("\x01x"));
    EXPECT_EQ(end, text.c_str() + 1) << "stops at the terminator";
    // A section mark on an empty line is the wrapper's result itself.
    char line[256];
    const char* mark = "\\3 after";
    EXPECT_EQ(Shell_WrapLine(line, mark, 0, 100, 255), mark + 2);
    EXPECT_EQ(std::string(line), std::string("\x01" "3"));
    // A 300-character word: 255 kept, the rest skipped.
    std::string longWord = std::string(300, 'w') + " next";
    const char* after = Shell_NextWord(out, sizeof out, longWord.c_str());
    EXPECT_EQ(strlen(out), 255u);
    Shell_NextWord(out, sizeof out, after);
    EXPECT_STREQ(out, "next");
    // A small output holds capacity - 1 characters.
    char small[4];
    Shell_NextWord(small, sizeof small, "abcdef");
    EXPECT_STREQ(small, "abc");
}

TEST_F(ShellBriefing, FillsSectionsFromTheBriefingFile)
{
    dir.write("m01a/quorvex.brf", "\\0 story text \\1 launch words. here \\2 won \\3 lost");
    EXPECT_EQ(Fill(0), Lines({"story text"}));
    EXPECT_EQ(Fill(1), Lines({"launch words.  here"}));
    EXPECT_EQ(Fill(3), Lines({"lost"}));
    EXPECT_EQ(Fill(1, 12), Lines({"launch", "words.  here"}));
}

TEST_F(ShellBriefing, FileFallbacksAndLimits)
{
    // No section mark: the whole text on every page.
    dir.write("m01a/m01a.txt", "whole text");
    EXPECT_EQ(Fill(2), Lines({"whole text"})) << "the .txt fallback";
    // Missing file: an empty text.
    dir.write("m01a/m01a.txt", "");
    std::string dirName = dir.file("none");
    snprintf(g_ScenarioDir, sizeof g_ScenarioDir, "%s", dirName.c_str());
    EXPECT_EQ(Fill(0), Lines{});
    EXPECT_STREQ(Shell_BriefingText(), "");
    // Longer than 4996 bytes: cut there.
    snprintf(g_ScenarioDir, sizeof g_ScenarioDir, "%s", dir.file("m01a").c_str());
    dir.write("m01a/quorvex.brf", std::string(5200, 'a'));
    Shell_LoadBriefing("m01a");
    EXPECT_EQ(strlen(Shell_BriefingText()), (size_t)SHELL_BRIEFING_MAX);
}
