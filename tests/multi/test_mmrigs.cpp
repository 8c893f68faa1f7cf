// A launch with the start-units option ("Three Rigs") played in-process on
// the demo's two-player map: the staged settings turned into teams as every
// machine turns them, then the game started and run update by update.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/utils.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "multi/mmchat.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "support/rigs.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/building.h"
#include "units/buildplay.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/prereq.h"
#include "units/team.h"
#include "units/unit.h"

namespace {

class ThreeRigs : public ::testing::Test {
protected:
    QvLogCapture log;
    void SetUp() override
    {
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_MULTI);
        Input_Init();
        Video_Init();
        Event_Init();
        Game_ClearResult();
        // A game that ends shows the winner's picture, which waits for a key.
        PlatHeadless_SetPumpHook(+[] { Input_RawKey(0x1C, 1, '\r'); });
    }
    void TearDown() override
    {
        PlatHeadless_SetPumpHook(nullptr);
        Plat_ClearQuit();
        if (started) {
            CloseGameSpecifics();
            CloseCommonGameSystems();
        }
        Game_ClearLaunchMarks();
        Event_Close();
        Video_Close();
        Input_Close();
        Plat_Close();
        g_GameState = GS_FRONTEND;
    }
    // The game closed and the state set for the next row's launch.
    void CloseForNextRow()
    {
        CloseGameSpecifics();
        CloseCommonGameSystems();
        started = false;
        Game_ResetState();
        Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_MULTI);
    }
    // Two human players on DUEL's two locations with these sides (-1 Default),
    // fog and shroud on, then the game's start.
    void Launch(int side0, int side1)
    {
        NetSession session{};
        NetGameSettings settings{};
        settings.options = MM_OPT_THREERIGS | MM_OPT_FOG | MM_OPT_SHROUD | MM_OPT_VELKIN;
        settings.credits = 5000;
        const int sides[2] = {side0, side1};
        for (int n = 0; n < 2; n++) {
            session.players[n].flags = NET_PLAYER_ACTIVE;
            settings.slottypes[n] = HUMAN;
            NetNodeSettings& s = settings.node[n];
            s.team = (uint8_t)n;
            s.colour = NET_NO_COLOUR;
            s.side = (int8_t)sides[n];
            memset(s.relations, TR_ENEMY, sizeof s.relations);
        }
        MM_chat_update_game_from(&session, &settings, 0);
        Game_SetScenarioName("DUEL");
        InitCommonGameSystems();
        InitGameSpecifics();
        started = true;
        g_GameState = GS_INGAME;
    }
    static void Play(int updates)
    {
        for (int i = 0; i < updates && g_GameState == GS_INGAME; i++) {
            Game_Update();
            Orders_AfterUpdate();
        }
    }
    // "type type ... " of a team's units.
    static std::string Units(int team)
    {
        std::string out;
        ITERATOR it;
        Iterate_UnitInitAll(&it);
        while (UNIT* u = Iterate_UnitNext(&it))
            if (u->team == team) out += u->type->symbolid + std::string(" ");
        return out;
    }
    bool started = false;
};

TEST_F(ThreeRigs, RegressionEverySideStartsWithItsThreeCrewsAndTheGameGoesOn)
{
    const struct {
        int side0, side1;
        const char *units0, *units1;
    } rows[] = {
        {0, 1, "AshwardCrew AshwardCrew AshwardCrew ", "SolarchCrew SolarchCrew SolarchCrew "},
        {2, 0, "VelkinCrew VelkinCrew VelkinCrew ", "AshwardCrew AshwardCrew AshwardCrew "},
        // Default rows play the map's sides: DUEL gives team 0 the first, team 1 the second.
        {-1, -1, "AshwardCrew AshwardCrew AshwardCrew ", "SolarchCrew SolarchCrew SolarchCrew "},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.side0) + " against " + std::to_string(r.side1));
        Launch(r.side0, r.side1);
        EXPECT_EQ(Units(0), r.units0);
        EXPECT_EQ(Units(1), r.units1);
        Play(100);
        EXPECT_EQ(g_GameState, GS_INGAME) << "the game ended at update " << g_UpdateCount;
        EXPECT_EQ(log.text().find("starts with no unit"), std::string::npos) << log.text();
        CloseForNextRow();
        Game_ClearResult();
    }
}

// The map gives room to build by each location: a crew of each side, whose
// type the depot names among its makers (the building panel lists it), is
// sent to the first spot near its start where a depot fits, and the site
// is begun there.
TEST_F(ThreeRigs, RegressionACrewOfEachSideStartsADepotByItsStart)
{
    Launch(1, 2);
    const BUILDINGTYPE* depot = nullptr;
    for (int i = 0; i < g_NrBuildingTypes; i++)
        if (strcmp(g_BuildingTypes[i].name, "DemoDepot") == 0) depot = &g_BuildingTypes[i];
    ASSERT_NE(depot, nullptr);
    for (int team = 0; team < 2; team++) {
        SCOPED_TRACE("team " + std::to_string(team));
        ITERATOR it;
        Iterate_UnitInit(&it, team, 0, MM_ALL);
        UNIT* crew = Iterate_UnitNext(&it);
        ASSERT_NE(crew, nullptr);
        EXPECT_TRUE(PREREQ_HavePlans(depot->prereq.id, team));
        EXPECT_TRUE(PREREQ_CanMake(depot->prereq.id, team));
        EXPECT_TRUE(PREREQ_CanThisMakeThat(crew->type->prereq.id, depot->prereq.id, team));
        const int sx = teamdata[team].startpos.x / MAP_TILE_PIXELS, sy = teamdata[team].startpos.y / MAP_TILE_PIXELS;
        int x = -1, y = -1;
        for (int d = 2; d <= 6 && x < 0; d++)
            for (int dy = -d; dy <= d && x < 0; dy++)
                for (int dx = -d; dx <= d && x < 0; dx++)
                    if (Build_ApplyEffects(crew, nullptr, depot, sx + dx, sy + dy, nullptr)) x = sx + dx, y = sy + dy;
        ASSERT_GE(x, 0) << "no room for a depot by the start";
        Orders_QConstructBuilding(team, crew->id, depot->index, x, y);
    }
    Play(300);
    for (int team = 0; team < 2; team++) {
        const BUILDING* b = teamdata[team].firstbuilding;
        ASSERT_NE(b, nullptr) << "team " << team << " began nothing";
        EXPECT_EQ(b->buildingtype, depot);
    }
    EXPECT_EQ(g_GameState, GS_INGAME);
}

// Computer players launched on every start location of a map, each side on
// one at least: each puts up its depot and its factory with its crews, its
// factory makes units and its squads attack, so that the game ends with a
// winner; a player who hands over at the start leaves a team that does the
// same. The maps' default state machines once named a plan with no
// building in it (the third side's none at all): no site was begun and the
// game never ended.
class ThreeRigsGame : public ThreeRigs {};

TEST_F(ThreeRigsGame, RegressionComputerPlayersBuildWithTheirCrewsAndTheGameHasAWinner)
{
    enum { WINNER_BY = 20000 };
    const struct {
        const char* map;
        int slots;
        int sides[RIGS_SLOTS];
        int human;   // hands over at the start
    } rows[] = {
        {"DUEL", 2, {2, 0}, -1},
        {"QUAD", 4, {1, 2, 2, 0}, 1},
        {"MELEE", 8, {2, 1, 2, 1, 2, 2, 0, 0}, -1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.map);
        Rigs_Launch(r.map, r.slots, r.sides, r.human, 20000);
        InitCommonGameSystems();
        InitGameSpecifics();
        started = true;
        g_GameState = GS_INGAME;
        if (r.human >= 0) Orders_QAITakeover(r.human);
        RIGS_WORKS works;
        Rigs_WorksInit(&works);
        while (g_GameState == GS_INGAME && g_UpdateCount < WINNER_BY) {
            Game_Update();
            Orders_AfterUpdate();
            Rigs_WorksWatch(&works);
        }
        EXPECT_NE(g_GameState, GS_INGAME) << "no winner by update " << WINNER_BY;
        EXPECT_GE(Game_GetResult().winner, 0);
        for (int t = 0; t < r.slots; t++) {
            EXPECT_GE(works.depot[t], 0) << "team " << t << " put up no depot";
            EXPECT_GE(works.factory[t], 0) << "team " << t << " put up no factory";
        }
        CloseForNextRow();
        Game_ClearLaunchMarks();
        Game_ClearResult();
    }
}

// A crew began a big factory, which no unit makes, and a factory before
// any depot, from construct orders as a changed program sends them; the
// building panel refuses both. The order is judged at its update as the
// panel judges, also when the depot falls between the click and that
// update. A recording of the game plays back the same refusals and state.
TEST_F(ThreeRigs, RegressionConstructOrdersAgainstTheBuildRulesAreRefusedAlikeOnEveryMachine)
{
    QvTempDir home;
    std::vector<uint64_t> digests[2];
    for (int run = 0; run < 2; run++) {
        Str_CopySafe(g_HomeDir, home.path().c_str(), sizeof g_HomeDir);
        Str_CopySafe(run ? g_Config.orderplayback : g_Config.orderrecord, "rigs.rec", CFG_PATH);
        Launch(0, 1);
        EXPECT_EQ(Orders_IsPlayingBack(), run);
        auto type = [](const char* name) { return PREREQ_BuildingTypePtr(PREREQ_WhatIs(name)); };
        const BUILDINGTYPE *depot = type("DemoDepot"), *factory = type("DemoFactory");
        auto play = [&] { Play(1), digests[run].push_back(QvDigest_State()); };
        auto order = [&](const BUILDINGTYPE* t, const char* rule) {
            ITERATOR it;
            Iterate_UnitInit(&it, 0, 0, MM_ALL);
            UNIT* crew = Iterate_UnitNext(&it);
            int x = crew->tilepos.x + 2, y = crew->tilepos.y;
            while (x < mapsizex && !Build_ApplyEffects(crew, nullptr, depot, x, y, nullptr)) x++;
            log.clear();
            Orders_QConstructBuilding(0, crew->id, t->index, x, y);
            play();
            EXPECT_EQ(crew->sorder.code == SO_NONE, rule != nullptr);
            const std::string line = std::string("(AshwardCrew), building type ") + std::to_string(t->index) + " (" +
                                     t->name + "): " + (rule ? rule : "") + "; refused";
            EXPECT_EQ(log.text().find(line) != std::string::npos, rule != nullptr) << log.text();
        };
        order(type("DemoBigFactory"), "the unit's type isn't among its makers");
        order(factory, "the team lacks its prerequisites");
        order(depot, nullptr);
        for (int i = 0; i < 3000 && !PREREQ_HowMany(depot->prereq.id, 0); i++) play();
        ASSERT_NE(teamdata[0].firstbuilding, nullptr);
        Build_RemoveFromGame(teamdata[0].firstbuilding, BRM_DESTROYED);
        order(factory, "the team lacks its prerequisites");
        CloseForNextRow();
        g_Config.orderrecord[0] = '\0';
    }
    EXPECT_EQ(digests[0], digests[1]);
}

} // namespace
