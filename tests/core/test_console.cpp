// The debug console over memory streams.
#include "core/console.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "support/testsupport.h"

namespace {

class ConsoleTest : public testing::Test {
protected:
    void TearDown() override
    {
        Console_SetStreams(nullptr, nullptr);
        if (in_) fclose(in_);
        if (out_) fclose(out_);
        for (const char* name : {"spawn", "kill"}) Console_RemoveCommand(name);
        Console_SetPrompt("> ");
    }
    // Feeds text as the console's input; its output goes to a file.
    void Feed(const std::string& text)
    {
        input_ = text;
        if (in_) fclose(in_);
        in_ = input_.empty() ? fopen("/dev/null", "r")
                             : fmemopen(input_.data(), input_.size(), "r");
        if (!out_) out_ = fopen(dir_.file("out.txt").c_str(), "w");
        ASSERT_TRUE(in_ && out_);
        Console_SetStreams(in_, out_);
    }
    std::string Output()
    {
        fflush(out_);
        return dir_.read("out.txt");
    }
    std::vector<std::string> Tokens()
    {
        std::vector<std::string> out;
        while (Console_NextToken()) out.push_back(Console_Token());
        return out;
    }

    QvTempDir dir_;
    std::string input_;
    FILE* in_ = nullptr;
    FILE* out_ = nullptr;
};

using Strings = std::vector<std::string>;

// ---- reading lines and tokens

class ConsoleInput : public ConsoleTest {};

// Tokens are blank-separated or quoted and read as integers like atoi; a
// line keeps at most 198 printable characters, and the last one needs no end.
TEST_F(ConsoleInput, LinesAndTokens)
{
    Feed("  build   \"Heavy Tank\" 12 \"\" -7x\ngo \"unclosed quote  \n"
         "-7x 42 +3 abc 99999999999 -99999999999\n" +
         std::string(300, 'a') + "\nx\ty\x01z\r\n\xc3\xa9t\xe9");
    ASSERT_EQ(Console_ReadLine(), 1);
    EXPECT_EQ(Tokens(), (Strings{"build", "Heavy Tank", "12", "", "-7x"}));
    ASSERT_EQ(Console_ReadLine(), 1);
    EXPECT_EQ(Tokens(), (Strings{"go", "unclosed quote  "}));
    ASSERT_EQ(Console_ReadLine(), 1);
    std::vector<int> values;
    while (Console_NextToken()) values.push_back(Console_TokenInt());
    EXPECT_EQ(values, (std::vector<int>{-7, 42, 3, 0, INT32_MAX, INT32_MIN}));
    ASSERT_EQ(Console_ReadLine(), 1);
    EXPECT_EQ(std::string(Console_Input()), std::string(198, 'a'));
    ASSERT_EQ(Console_ReadLine(), 1);
    EXPECT_STREQ(Console_Input(), "xyz");
    ASSERT_EQ(Console_ReadLine(), 1);
    EXPECT_STREQ(Console_Input(), "t");
    EXPECT_EQ(Console_ReadLine(), 0);
}

// ---- printing

class ConsoleOutput : public ConsoleTest {};

TEST_F(ConsoleOutput, LinesAreCutToFiftyTheLastTwentyKeptAndThePromptToTen)
{
    Feed("");
    for (int i = 0; i < 25; i++) Console_Printf("line %d", i);
    ASSERT_EQ(Console_LineCount(), CONSOLE_HISTORY);
    EXPECT_STREQ(Console_Line(0), "line 5");
    EXPECT_STREQ(Console_Line(20), "");

    Console_PrintLine(std::string(80, 'w').c_str());
    EXPECT_EQ(std::string(Console_Line(19)), std::string(50, 'w'));
    Console_SetPrompt("quorvex-debug> ");
    EXPECT_STREQ(Console_Prompt(), "quorvex-de");
    std::string out = Output();
    EXPECT_NE(out.find("line 24\n" + std::string(50, 'w') + "\n"), std::string::npos);
}

// ---- running commands

class ConsoleRun : public ConsoleTest {};

std::vector<int> s_spawned;
int s_killed;

void Spawn(void)
{
    while (Console_NextToken()) s_spawned.push_back(Console_TokenInt());
}

void Kill(void)
{
    s_killed++;
}

TEST_F(ConsoleRun, DispatchesOnTheFirstTokenUntilExitOrTheEndOfInput)
{
    s_spawned.clear();
    s_killed = 0;
    ASSERT_EQ(Console_AddCommand("spawn", Kill), 1);
    ASSERT_EQ(Console_AddCommand("Spawn", Spawn), 1); // replaces the first
    Console_AddCommand("kill", Kill);
    Console_SetPrompt("dbg: ");
    Feed("spawn 3 4\n\n   \nbogus arg\nSPAWN 5\nExit\nspawn 9\n");
    Console_Run();
    EXPECT_EQ(s_spawned, (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(s_killed, 0);
    std::string out = Output();
    EXPECT_EQ(out.rfind("dbg: ", 0), 0u);
    EXPECT_NE(out.find("Unknown command [bogus]\n"), std::string::npos) << out;

    Console_RemoveCommand("SPAWN");
    Feed("spawn 2\nkill");
    Console_Run();
    EXPECT_EQ(s_killed, 1);
    EXPECT_STREQ(Console_Line(Console_LineCount() - 1), "Unknown command [spawn]");
}

} // namespace
