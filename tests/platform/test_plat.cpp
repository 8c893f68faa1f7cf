// The platform layer's clocks, quit and activation on the headless backend.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include "platform/plat.h"

TEST(HeadlessClock, VirtualClocksMoveOnlyWhenAdvanced)
{
    PlatHeadless_SetClock(100, 200);
    PlatHeadless_Advance(25);
    Plat_Idle(); // never sleeps on a virtual clock
    EXPECT_EQ(Plat_SystemMs(), 125u);
    EXPECT_EQ(Plat_GameMs(), 225u);
}

TEST(QuitRequest, SignalsActAsTheWindowsClose)
{
    Plat_InstallQuitSignals();
    EXPECT_EQ(Plat_PumpMessages(), 1);
    for (int sig : {SIGTERM, SIGINT}) {
        raise(sig);
        EXPECT_TRUE(Plat_PumpMessages() == 0 && Plat_QuitSeen()) << sig;
        Plat_ClearQuit();
    }
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
}

TEST(Backend, HeadlessWhenAskedFor)
{
    const char* was = getenv("QUORVEX_PLATFORM");
    std::string saved = was ? was : "";
    setenv("QUORVEX_PLATFORM", "headless", 1);
    ASSERT_EQ(Plat_Init(), 1);
    EXPECT_STREQ(Plat_Backend()->name, "headless");
    Plat_Close();
    if (was)
        setenv("QUORVEX_PLATFORM", saved.c_str(), 1);
    else
        unsetenv("QUORVEX_PLATFORM");
}

TEST(Backend, SdlWithoutADisplaySaysSoAndFails)
{
    if (getenv("DISPLAY") && *getenv("DISPLAY")) GTEST_SKIP() << "a display is there";
    const char* was = getenv("QUORVEX_PLATFORM");
    std::string saved = was ? was : "";
    unsetenv("QUORVEX_PLATFORM");
    testing::internal::CaptureStderr();
    int ok = Plat_Init();
    std::string err = testing::internal::GetCapturedStderr();
    if (was) setenv("QUORVEX_PLATFORM", saved.c_str(), 1);
    if (ok) Plat_Close();
    EXPECT_EQ(ok, 0);
    EXPECT_TRUE(Plat_IsHeadless()) << "back on the headless backend";
    EXPECT_NE(err.find("Quorvex: no display available: "), std::string::npos) << err;
    EXPECT_NE(err.find("set QUORVEX_PLATFORM=headless to run without a window"), std::string::npos)
        << err;
}
