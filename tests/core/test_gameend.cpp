// The end of a game: the winner's line, the picture shown until the player
// answers, and the result kept for the front end.
#include <gtest/gtest.h>

#include <string>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/tlog.h"
#include "game/gameloop.h"
#include "platform/graph.h"
#include "platform/input.h"
#include "platform/palette.h"
#include "platform/pcx.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "support/testsupport.h"

namespace {

class GameEnd : public testing::Test {
protected:
    QvTempDir home;
    QvLogCapture log;
    void SetUp() override
    {
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        Plat_InitWith(&g_PlatHeadless);
        Game_SetDirectories(home.path().c_str(), "data", "", "save", "scenario");
        Input_Init();
        Video_Init();
        Event_Init();
        Game_ClearResult();
        g_GameState = GS_INGAME;
        // The pictures: win all colour 7, lose all colour 9.
        for (auto [name, colour] : {std::pair<const char*, int>{"win.pcx", 7}, {"lose.pcx", 9}}) {
            BITMAP b{};
            Graph_InitBitmap(&b, 640, 480, nullptr);
            Graph_ClearBitmap(&b, (uint8_t)colour);
            home.write("data/graphics/intface/.keep", "");
            ASSERT_TRUE(Graph_SavePCX(home.file(std::string("data/graphics/intface/") + name).c_str(), &b, g_Palette));
            Graph_FreeBitmap(&b);
        }
    }
    void TearDown() override
    {
        PlatHeadless_SetPumpHook(nullptr);
        Plat_ClearQuit();
        Event_Close();
        Video_Close();
        Input_Close();
        Plat_Close();
    }
    static uint8_t ShownPixel()
    {
        const uint8_t* pixels = nullptr;
        PlatHeadless_LastFrame(&pixels, nullptr);
        return pixels ? pixels[320 * 1 + 640 * 240] : 0;
    }
};

int s_pumps;

TEST_F(GameEnd, TheWinnerIsLoggedItsPictureShownUntilAnAnswerAndTheResultKept)
{
    const struct {
        const char* name;
        int team, won;
        uint8_t colour;
        void (*answer)(void);
    } rows[] = {
        {"the local team wins, a key", 0, 1, 7, [] { Input_RawKey(0x1C, 1, '\r'); }},
        {"another team wins, a click", 3, 0, 9, [] { Input_RawMouseButton(0, 1); }},
        {"the window closes", 5, 0, 9, [] { Plat_PostQuit(); }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        static void (*answer)(void);
        answer = r.answer;
        s_pumps = 0;
        PlatHeadless_SetPumpHook(+[] {
            if (++s_pumps == 3) answer();
        });
        g_LocalTeam = 0;
        g_GameState = GS_INGAME;
        log.clear();
        Game_EndWithWinner(r.team);
        EXPECT_GE(s_pumps, 3) << "waited for the answer";
        EXPECT_EQ(ShownPixel(), r.colour);
        EXPECT_EQ(Game_GetResult().winner, r.team);
        EXPECT_EQ(Game_GetResult().won, r.won);
        EXPECT_EQ(g_GameState, GS_FRONTEND);
        const std::string line = "Team " + std::to_string(r.team) + " won (" +
                                 (r.won ? "That's you" : "ie. You lost") + ")";
        EXPECT_NE(log.text().find(line), std::string::npos) << log.text();
        Plat_ClearQuit();
    }
}

} // namespace
