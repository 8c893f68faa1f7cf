// The trace log, the debug heap, pools and the mono screen.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <string>

#include "core/crashlog.h"
#include "core/debug.h"
#include "core/mono.h"
#include "core/pool.h"
#include "core/tlog.h"
#include "platform/plat.h"
#include "support/testsupport.h"

class TraceLog : public testing::Test {
protected:
    QvTempDir dir;
    void SetUp() override
    {
        Tlog_SetFile(dir.file("trace.log").c_str());
        Tlog_SetErrorFile(dir.file("error.log").c_str());
        Tlog_SetMask(TLOG_ERROR | TLOG_WARNING);
        Tlog_SetOptions(0);
    }
    void TearDown() override
    {
        Tlog_SetFile(nullptr);
        Tlog_SetErrorFile(nullptr);
        Tlog_SetMask(TLOG_ERROR | TLOG_WARNING);
        Tlog_SetOptions(0);
    }
};

TEST_F(TraceLog, WritesEnabledCategoriesErrorsTwiceAndComposesThePrefix)
{
    TLOG(TLOG_DIAG, "hidden %d", 1);
    Tlog_Enable(TLOG_NDIAG, 1);
    TLOG(TLOG_NDIAG, "net %s", "diag");
    TLOG(TLOG_ERROR, "broken\n");
    EXPECT_EQ(dir.read("trace.log"), "net diag\nbroken\n");
    EXPECT_EQ(dir.read("error.log"), "broken\n");

    PlatHeadless_SetClock(1234, 0);
    Tlog_SetOptions(TLOGP_MARKER | TLOGP_CATEGORY | TLOGP_FILE | TLOGP_LINE | TLOGP_TIME);
    Tlog_SetLocation("/src/units/unitmove.cpp", 42);
    Tlog_Printf(TLOG_ERROR, "x");
    EXPECT_EQ(dir.read("error.log"), "broken\n! ERR   unitmove.cpp    42     1234 x\n");
}

TEST(DebugHeap, CountsBlocksAndFreeClearsThePointer)
{
    long blocks = Debug_LiveBlocks();
    long bytes = Debug_LiveBytes();
    char* p = static_cast<char*>(Debug_Calloc(10, 3));
    p = static_cast<char*>(Debug_Realloc(p, 100));
    EXPECT_EQ(Debug_LiveBlocks(), blocks + 1);
    EXPECT_EQ(Debug_LiveBytes(), bytes + 100);
    Debug_Free(&p);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(Debug_LiveBlocks(), blocks);
}

#ifndef QV_SANITIZED // the sanitizers catch these themselves, before we can
TEST(DebugHeap, OverrunIsFoundByValidation)
{
    char* p = static_cast<char*>(Debug_Malloc(8));
    p[8] = 'x';
    QV_EXPECT_FATAL(Debug_ValidateHeap(), "Heap damaged: block of 8 bytes overrun");
    p[8] = 0; // the tail guard no longer holds; drop the block without freeing it
}

TEST(DebugHeap, DoubleFreeIsFatal)
{
    char* p = static_cast<char*>(Debug_Malloc(8));
    char* alias = p;
    Debug_Free(&p);
    EXPECT_EXIT(Debug_Free(&alias), testing::ExitedWithCode(1), "Free of a block that is not on the heap");
}
#endif

TEST(Pools, RecordsAreReusedAndLeftoversLogged)
{
    QvTempDir dir;
    Tlog_SetFile(dir.file("t.log").c_str());
    POOL pool;
    Pool_Init(&pool, "test", 24, 4);
    void* recs[6];
    for (auto& r : recs) memset(r = Pool_Alloc(&pool), 0xab, 24);
    Pool_Free(&pool, recs[2]);
    void* again = Pool_Alloc(&pool);
    EXPECT_EQ(again, recs[2]);
    EXPECT_EQ(static_cast<unsigned char*>(again)[5], 0) << "records come back zeroed";
    for (int i = 0; i < 4; i++) Pool_Free(&pool, recs[i]);
    Pool_Close(&pool);
    EXPECT_EQ(dir.read("t.log"), "2 extra mallocs\n");
    Tlog_SetFile(nullptr);
}

TEST(MonoScreen, WritesClipToTheScreenAndScroll)
{
    Mono_Enable(1);
    Mono_Clear();
    Mono_PrintAt(75, 0, "abcdefgh");
    EXPECT_EQ(std::string(Mono_Row(0)), std::string(75, ' ') + "abcde");
    Mono_PutChar(0, MONO_ROWS, 'x'); // off the screen: nothing
    Mono_SetCursor(480);             // clamped to the last row
    Mono_Printf("last\nscrolled");
    EXPECT_STREQ(Mono_Row(MONO_ROWS - 2), "last");
    Mono_Enable(0);
}

#ifndef QV_SANITIZED
TEST(CrashLog, FatalSignalLeavesTheSignalAndCallStack)
{
    QvTempDir dir;
    std::string path = dir.file("exception.log");
    EXPECT_EXIT(
        {
            Crashlog_Install(path.c_str());
            raise(SIGSEGV);
        },
        testing::KilledBySignal(SIGSEGV), "");
    std::string log = dir.read("exception.log");
    EXPECT_NE(log.find("Exception: SIGSEGV"), std::string::npos) << log;
    EXPECT_NE(log.find("test_core"), std::string::npos) << "frames name the program: " << log;
}
#endif
