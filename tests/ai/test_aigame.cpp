// Eight computer bases played as a whole game (the fixture scenario
// AIBASES): each buys by its plan from its factory, upgrades it, puts up a
// waterworks and a depot with its crews, harvests the well beside it and is
// paid by its state machine, and the books hold at every update.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "ai/ai.h"
#include "ai/aibuild.h"
#include "ai/aigrid.h"
#include "ai/aip.h"
#include "ai/aiteam.h"
#include "ai/squad.h"
#include "core/gll.h"
#include "core/linklist.h"
#include "core/config.h"
#include "core/gamestate.h"
#include "core/utils.h"
#include "game/quorvex.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "aigamefixture.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/projectile.h"
#include "units/prereq.h"
#include "units/target.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitlist.h"

namespace {

enum { BASES = 8, BOUND = 2500 };

struct BaseWatch {
    int income = 0;           // credits gained while the accounts were in use
    int upgraded_at = -1;     // the update the factory became the big one
    bool books = true;        // both invariants at every update
    bool counts = true;       // purchases unfinished exactly while the factory or a crew works
    std::vector<std::pair<int, int>> ring;   // the base's ring positions, in order
    int made_at_2000 = -1;    // units its factory had delivered by update 2000
    int held_longest = 0;     // the most updates in a row an account held more than its ceiling past 1000
    int held[AIBUILD_MAX_ACCOUNTS] = {};
};

// Past update 1000 no account with nothing left to buy (every level a
// number to have, all had) keeps more than its ceiling (0: none, so any
// money there is kept for ever): a trim re-shares the excess, the capped
// accounts included, so such an account stands a little above its ceiling
// after every income until its share is trimmed in turn.
enum { HELD_UPDATES = 20, HELD_MARGIN = 100 };

bool NothingToBuy(const AI_Team* t, int i)
{
    const AIBUILD_ACCOUNT* a = t->aibuild.construction_program->account[i];
    if (!a) return false;
    for (int l = 0; l < a->priority_levels; l++) {
        const AIBUILD_PRIORITY_LEVEL& lv = a->priority_level[l];
        if (lv.build_type != NUMBER_TO_HAVE) return false;
        for (int n = 0; n < lv.nodes; n++)
            if (PREREQ_HowMany(lv.node[n].object_type, t->team_ID) < lv.node[n].number) return false;
    }
    return true;
}

void WatchCeilings(const AI_Team* t, int held[], int* longest)
{
    if (g_UpdateCount <= 1000 || !t->aibuild.accounts_enabled || !t->aibuild.construction_program) return;
    for (int i = 1; i < AIBUILD_MAX_ACCOUNTS; i++) {
        held[i] = NothingToBuy(t, i) && t->aibuild.credit[i] > t->aibuild.max_reserve[i] + HELD_MARGIN ? held[i] + 1 : 0;
        *longest = std::max(*longest, held[i]);
    }
}

class AiGame : public AiGameFixture {
protected:
    static int Unfinished(int team)
    {
        int n = 0;
        for (int id = 0; id < AIBuild_UnderConstructionLength(team); id++)
            n += AIBuild_UnderConstruction(team, id);
        return n;
    }
    static const BUILDING* Factory(int team)
    {
        for (const BUILDING* b = teamdata[team].firstbuilding; b; b = b->teamnext)
            if (b->buildingtype->flags & BTF_CANMAKE) return b;
        return nullptr;
    }
    // Buildings bought and not finished: crews on their way, sites under way.
    static int CrewsAtWork(int team)
    {
        int n = 0;
        for (int list = 0; list < TEAM_MOVELISTS; list++)
            for (const UNIT* u = teamdata[team].unitlist[list]; u; u = u->next) n += u->ai.cc_construct_type != 0;
        for (const BUILDING* b = teamdata[team].firstbuilding; b; b = b->teamnext) n += !b->complete;
        return n;
    }
    // One base after an update: its books, its counts, what it gained.
    static void Watch(int team, BaseWatch* w, int* last)
    {
        const AI_Team* t = AI_GetTeam(team);
        if (!t) return;
        w->books = w->books && AIBuild_BooksBalance(t);
        const BUILDING* f = Factory(team);
        const int working = f && (f->state == BS_PRODUCING || f->state == BS_UPGRADING);
        w->counts = w->counts && Unfinished(team) == working + CrewsAtWork(team);
        if (f && w->upgraded_at < 0 && f->buildingtype->upgradefrom) w->upgraded_at = (int)g_UpdateCount;
        if (g_UpdateCount == 2000) w->made_at_2000 = teamdata[team].stats.made_units;
        WatchCeilings(t, w->held, &w->held_longest);
        const int money = teamdata[team].credits;
        if (money > *last && t->aibuild.accounts_enabled) w->income += money - *last;
        *last = money;
    }
    // Plays the fixture for BOUND updates through the game's update,
    // watching every base; the digest of every update.
    // The ring search's order of top-left tiles around the base, up to
    // ring 12.
    static std::vector<std::pair<int, int>> Rings(int bx, int by)
    {
        std::vector<std::pair<int, int>> out;
        for (int r = 1; r <= 12; r++) {
            const int half = r / 2;
            for (int i = 0; i < r; i++) out.emplace_back(bx - half + i, by - r);
            for (int i = 0; i < r; i++) out.emplace_back(bx - half + i, by + r);
            for (int i = 0; i < r; i++) out.emplace_back(bx + r, by - half + i);
            for (int i = 0; i < r; i++) out.emplace_back(bx - r, by - half + i);
        }
        return out;
    }
    // The crews put up at least 2 buildings, each at a ring position of the
    // base, none within 2 tiles of another; the tankers brought water.
    static void CheckBuilt(int team)
    {
        SCOPED_TRACE(team);
        EXPECT_GE(teamdata[team].stats.made_buildings, 2);
        EXPECT_GT(teamdata[team].stats.collected[0], 0);
        const AI_Team* t = AI_GetTeam(team);
        ASSERT_NE(t, nullptr);
        const auto ring = Rings(t->aibuild.base_x, t->aibuild.base_y);
        std::vector<const BUILDING*> built;
        for (const BUILDING* b = teamdata[team].firstbuilding; b; b = b->teamnext)
            if (!(b->buildingtype->flags & BTF_CANMAKE)) built.push_back(b);
        EXPECT_GE(built.size(), 2u);
        for (const BUILDING* b : built) {
            EXPECT_NE(std::find(ring.begin(), ring.end(), std::make_pair(b->tilex, b->tiley)), ring.end())
                << b->buildingtype->name << " at " << b->tilex << "," << b->tiley;
            for (const BUILDING* o : built) {
                if (o == b) continue;
                const int gapx = std::max(o->tilex - (b->tilex + b->buildingtype->width),
                                          b->tilex - (o->tilex + o->buildingtype->width));
                const int gapy = std::max(o->tiley - (b->tiley + b->buildingtype->height),
                                          b->tiley - (o->tiley + o->buildingtype->height));
                EXPECT_GE(std::max(gapx, gapy), 2) << b->tilex << "," << b->tiley << " and " << o->tilex << ","
                                                   << o->tiley;
            }
        }
    }
    static void Play(std::vector<uint64_t>* digests, BaseWatch* watch, int* made)
    {
        Game_SetScenarioName("AIBASES");
        Game_ClearResult();
        InitCommonGameSystems();
        InitGameSpecifics();
        g_GameState = GS_INGAME;
        int last[BASES];
        for (int t = 0; t < BASES; t++) last[t] = teamdata[t].credits;
        while (g_GameState == GS_INGAME && (int)g_UpdateCount < BOUND) {
            Game_Update();
            Orders_AfterUpdate();
            for (int t = 0; t < BASES; t++) Watch(t, &watch[t], &last[t]);
            digests->push_back(QvDigest_State());
        }
        // Every unit of a base is one its plan bought: none stand there at the start.
        for (int t = 0; t < BASES; t++) {
            made[t] = teamdata[t].stats.made_units;
            EXPECT_EQ(made[t], PREREQ_HowMany(PREREQ_WhatIs("DemoTank"), t) +
                                   PREREQ_HowMany(PREREQ_WhatIs("DemoFlamer"), t) +
                                   PREREQ_HowMany(PREREQ_WhatIs("DemoTanker"), t));
            CheckBuilt(t);
        }
        CloseGameSpecifics();
        CloseCommonGameSystems();
    }
};

TEST_F(AiGame, EightBasesBuyTheirPlansUpgradeAndKeepTheirBooksTheSameTwice)
{
    std::vector<uint64_t> first, second;
    BaseWatch watch[BASES], again[BASES];
    int made[BASES], made2[BASES];
    Play(&first, watch, made);
    ASSERT_EQ(first.size(), (size_t)BOUND) << "the game ended early";
    for (int t = 0; t < BASES; t++) {
        SCOPED_TRACE(t);
        EXPECT_GE(made[t], 4);
        EXPECT_GE(watch[t].upgraded_at, 0);
        EXPECT_GT(watch[t].income, 0);   // the bonus went into the accounts
        EXPECT_TRUE(watch[t].books);
        EXPECT_TRUE(watch[t].counts);
    }
    Game_ResetState();
    Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
    Game_SetScenarioCategory(SC_SINGLE);
    g_LocalTeam = 8;
    Play(&second, again, made2);
    ASSERT_EQ(second.size(), first.size());
    for (size_t i = 0; i < first.size(); i++) ASSERT_EQ(first[i], second[i]) << "update " << i;
    for (int t = 0; t < BASES; t++) EXPECT_EQ(made[t], made2[t]);
}

// The bases go on buying all game: their own idle units never seal their
// factories' doors (by update 2400 every factory was ringed by them and
// production stopped while credits rose), each has upgraded by update 1500,
// and the works' money beyond its ceiling goes back to the other accounts.
class AiKeepsPlayingBases : public AiGame {};

TEST_F(AiKeepsPlayingBases, RegressionFactoriesStayOpenAndEveryBaseUpgradesBy1500AndSpendsItsMoney)
{
    std::vector<uint64_t> digests;
    BaseWatch watch[BASES];
    int made[BASES];
    Play(&digests, watch, made);
    ASSERT_EQ(digests.size(), (size_t)BOUND) << "the game ended early";
    for (int t = 0; t < BASES; t++) {
        SCOPED_TRACE(t);
        EXPECT_GT(made[t], watch[t].made_at_2000);
        EXPECT_GE(watch[t].upgraded_at, 0);
        EXPECT_LE(watch[t].upgraded_at, 1500);
        EXPECT_LE(watch[t].held_longest, HELD_UPDATES);
    }
}

// Team 0 is the local player's: it buys a tank, starts a depot and sends its
// other crew far off to build, then hands its team to the computer.
TEST_F(AiGame, AHumanTeamHandedToTheComputerFinishesItsWorkAndBuildsOn)
{
    g_LocalTeam = 0;
    Game_SetScenarioName("AIBASES");
    InitCommonGameSystems();
    InitGameSpecifics();
    g_GameState = GS_INGAME;
    ASSERT_EQ(teamdata[0].type, TT_HUMAN);
    ASSERT_EQ(AI_GetTeam(0), nullptr);
    const int depot = PREREQ_BuildingTypePtr(PREREQ_WhatIs("DemoDepot"))->index;
    Orders_QConstructBuilding(0, 1101, depot, 8, 10);
    Orders_QConstructBuilding(0, 1102, depot, 40, 40);
    UNIT* walker = Units_IdToUnitPtr(1102, 0);
    ASSERT_NE(walker, nullptr);
    auto site_under_way = [] {
        for (const BUILDING* b = teamdata[0].firstbuilding; b; b = b->teamnext)
            if (!b->complete) return true;
        return false;
    };
    for (int i = 0; i < 400 && !site_under_way(); i++) {
        Game_Update();
        Orders_AfterUpdate();
    }
    ASSERT_TRUE(site_under_way());
    Orders_QConstructUnit(0, PREREQ_UnitTypePtr(PREREQ_WhatIs("DemoTank"))->unittypeid, 1001);
    for (int i = 0; i < 2; i++) {
        Game_Update();
        Orders_AfterUpdate();
    }
    ASSERT_EQ(walker->sorder.code, SO_CONSTRUCT);   // still on its way
    ASSERT_EQ(Factory(0)->state, BS_PRODUCING);
    const int buildings_before = teamdata[0].stats.made_buildings;
    Orders_QAITakeover(0);
    Orders_QAITakeover(3);   // a computer team already: refused
    bool books = true;
    for (int i = 0; i < 2000 && g_GameState == GS_INGAME; i++) {
        Game_Update();
        Orders_AfterUpdate();
        if (const AI_Team* t = AI_GetTeam(0)) books = books && AIBuild_BooksBalance(t);
    }
    EXPECT_GE(g_UpdateCount, 2000u);
    EXPECT_EQ(teamdata[0].type, TT_COMPUTER);
    ASSERT_NE(AI_GetTeam(0), nullptr);
    EXPECT_TRUE(AI_IsEnabled(0));
    EXPECT_NE(AI_GetTeam(0)->plan, nullptr);   // Def_00_0.FSM's state 1
    EXPECT_TRUE(books);
    EXPECT_FALSE(site_under_way());
    // The human's site and tank, then the plan's works and army.
    EXPECT_GE(teamdata[0].stats.made_buildings, buildings_before + 2);
    EXPECT_GE(teamdata[0].stats.made_units, 3);
    EXPECT_NE(log.text().find("AI takeover of team 3 refused"), std::string::npos);
    CloseGameSpecifics();
    CloseCommonGameSystems();
}

// The bases at war (the fixture FIXED/AIWAR), played through the program's
// own frame loop from the new game to the winner's picture: the clock moves
// 50 ms a frame, so every frame runs one update and draws the game screen.
struct War {
    uint32_t updates = 0;
    int winner = -1;
    int kills = 0;
    bool attacked = false;   // a squad held an enemy base's or troops' cell
    int at_war = 0;          // bases on the attack plan with a raised region at update 1400
    int released = 0;        // special forces handed to their computer players by then
    int built[BASES] = {};
    int collected[BASES] = {};
    std::vector<uint64_t> digests;
};

War* s_war;
void (*s_orders)(void);
uint32_t s_pumped;
int s_gifts;   // credit gifts executed

class AiWar : public testing::Test {
protected:
    QvLogCapture log;
    void SetUp() override
    {
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        InitBaseSystem();
        // The game's end leads to the front end, which ends the run here.
        Game_SetFrontEndHook(+[] { g_GameState = GS_QUIT; });
        // A pump that sees no update since the last one is the winner's
        // picture (an update ends the game before its count moves): a key
        // answers it. Otherwise the clock moves to the next update.
        s_pumped = UINT32_MAX;
        PlatHeadless_SetPumpHook(+[] {
            if (g_UpdateCount > 10 && g_UpdateCount == s_pumped) Input_RawKey(0x1C, 1, '\r');
            s_pumped = g_UpdateCount;
            PlatHeadless_Advance(50);
            if (g_UpdateCount >= 3000) Plat_PostQuit();
        });
        s_gifts = 0;
        Orders_SetExecutedLog(+[](const char* line) {
            unsigned update;
            int code, team;
            if (sscanf(line, "%u %d %d", &update, &code, &team) == 3 && code == QGIVECREDITS) s_gifts++;
        });
        Game_SetUpdateHook(+[] {
            if (s_orders) s_orders();
            for (int t = 0; t < BASES && !s_war->attacked; t++)
                if (const AI_Team* a = AI_GetTeam(t))
                    for (const GLL_NODE* n = a->squads->first; n; n = n->next) {
                        const squad* q = static_cast<const squad*>(n->element);
                        if (q->cell && q->units->count && (q->cell->goal == SEIGE || q->cell->goal == ATTACK_TROOPS))
                            s_war->attacked = true;
                    }
            if (g_UpdateCount == 1400) {
                for (int t = 0; t < BASES; t++) {
                    const AI_Team* a = AI_GetTeam(t);
                    if (!a || !a->plan || strcmp(a->plan->filename, "ATTACK.AIP") != 0) continue;
                    const AI_TARGETS& g = a->strategic_targets;
                    for (int i = 0; i < g.grid_rows * g.grid_columns; i++)
                        if (g.cells[i].scripted_value > 0) {
                            s_war->at_war++;
                            break;
                        }
                }
                for (const GLL_NODE* n = AI_SpecialForceList() ? AI_SpecialForceList()->first : nullptr; n; n = n->next)
                    s_war->released += static_cast<const SPECIAL_FORCE*>(n->element)->released;
            }
            for (int t = 0; t < BASES; t++) {
                s_war->built[t] = teamdata[t].stats.made_buildings;
                s_war->collected[t] = teamdata[t].stats.collected[0];
            }
            s_war->digests.push_back(QvDigest_State());
        });
    }
    void TearDown() override
    {
        Game_SetUpdateHook(nullptr);
        Orders_SetExecutedLog(nullptr);
        PlatHeadless_SetPumpHook(nullptr);
        Game_SetFrontEndHook(nullptr);
        CloseBaseSystem();
        Plat_ClearQuit();
        Plat_Close();
        Cfg_SetDefaults(&g_Config);
        s_orders = nullptr;
    }
    // One game of a scenario with the given local team, from a fresh state;
    // the war fixture is kept out of the single-player list that the front
    // end's pages show.
    static void Play(War* w, int local, const char* scenario = "AIWAR", int category = SC_FIXED)
    {
        Game_ResetState();
        Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
        Game_SetScenarioCategory(category);
        Game_SetScenarioName(scenario);
        g_LocalTeam = local;
        Game_ClearResult();
        s_war = w;
        g_GameState = GS_NEWGAME;
        Game_Main();
        w->updates = (uint32_t)w->digests.size();
        w->winner = Game_GetResult().winner;
        for (int t = 0; t < BASES; t++)
            w->kills += teamdata[t].stats.kills_units + teamdata[t].stats.kills_buildings;
    }
};

TEST_F(AiWar, EightComputerPlayersBuildHarvestAndFightToAWinnerTheSameTwice)
{
    War first, second;
    Play(&first, 8);
    EXPECT_LT(first.updates, 3000u);
    EXPECT_GE(first.winner, 0);
    EXPECT_GE(first.kills, 5);
    EXPECT_TRUE(first.attacked);
    EXPECT_EQ(first.at_war, BASES);
    EXPECT_EQ(first.released, 4);
    for (int t = 0; t < BASES; t++) {
        SCOPED_TRACE(t);
        EXPECT_GE(first.built[t], 1);
        EXPECT_GT(first.collected[t], 0);
    }
    EXPECT_NE(log.text().find(" won (ie. You lost)"), std::string::npos);
    Play(&second, 8);
    EXPECT_EQ(second.updates, first.updates);
    EXPECT_EQ(second.winner, first.winner);
    ASSERT_EQ(second.digests.size(), first.digests.size());
    for (size_t i = 0; i < first.digests.size(); i++) ASSERT_EQ(first.digests[i], second.digests[i]) << "update " << i;
}

// The demo as `make run` plays it: the east base buys at its factory, its
// squads go for the west base's troops and buildings, and it wins.
TEST_F(AiWar, TheDemosComputerPlayerBuysAndAttacksWithItsSquads)
{
    War demo;
    Play(&demo, 0, "DEMO", SC_SINGLE);
    EXPECT_EQ(demo.winner, 1);
    EXPECT_LT(demo.updates, 3000u);
    EXPECT_TRUE(demo.attacked);
    EXPECT_GT(teamdata[1].stats.made_units, 0);
    EXPECT_GE(teamdata[1].stats.kills_units + teamdata[1].stats.kills_buildings, 5);
}

// The demo's east base ran dry by update 500 and bought nothing more: paid
// on its state machine's timer it buys at its factory after update 1000 and
// its squads hold enemy troops' or base cells to the game's end.
class AiKeepsPlayingWar : public AiWar {};

TEST_F(AiKeepsPlayingWar, RegressionTheDemosEastBaseBuysAfterUpdate1000AndAttacksToTheEnd)
{
    static int made_at_1000;
    static uint32_t last_attack;
    made_at_1000 = -1;
    last_attack = 0;
    s_orders = +[] {
        if (g_UpdateCount == 1000) made_at_1000 = teamdata[1].stats.made_units;
        if (const AI_Team* a = AI_GetTeam(1))
            for (const GLL_NODE* n = a->squads->first; n; n = n->next) {
                const squad* q = static_cast<const squad*>(n->element);
                if (q->cell && q->units->count && (q->cell->goal == SEIGE || q->cell->goal == ATTACK_TROOPS))
                    last_attack = g_UpdateCount;
            }
    };
    War demo;
    Play(&demo, 0, "DEMO", SC_SINGLE);
    EXPECT_EQ(demo.winner, 1);
    ASSERT_GE(made_at_1000, 0);
    EXPECT_GT(teamdata[1].stats.made_units, made_at_1000);
    EXPECT_GE(last_attack + 200, demo.updates);
}

// No unit of the war fixture could hit a building, so no siege did damage
// and the winner came from the unit count: its missile tanks (which can)
// bring every base's sieges to hit enemy buildings and bring some down.
// A building hit or destroyed within a missile's flight of a siege
// squad's shot at it counts for that squad's team.
struct SiegeWatch {
    enum { FLIGHT = 40 };
    std::map<int, int> hp;                                   // building id: hit points last update
    std::map<int, std::array<uint32_t, BASES>> aimed;        // building id: each team's last siege shot + 1
    int hits[BASES] = {};
    int destroyed = 0;
    bool AimedBy(int id, int team) const
    {
        const auto a = aimed.find(id);
        return a != aimed.end() && a->second[team] && a->second[team] + FLIGHT > g_UpdateCount;
    }
    void Update()
    {
        std::map<int, int> now;
        for (int t = 0; t < BASES; t++)
            for (const BUILDING* b = teamdata[t].firstbuilding; b; b = b->teamnext) now[b->id] = b->hitpoints;
        for (const auto& [id, before] : hp) {
            const auto n = now.find(id);
            const int after = n == now.end() ? 0 : n->second;
            if (after >= before) continue;
            for (int t = 0; t < BASES; t++)
                if (AimedBy(id, t)) {
                    hits[t]++;
                    destroyed += after < 1;
                }
        }
        hp = std::move(now);
        // Read without following the handles: a stale one would be emptied.
        for (const PROJECTILE* p = Projectile_First(); p; p = p->next) {
            const BUILDID& b = p->target.building;
            if (p->id < 0 || p->target.mode != FM_BUILDING || !b.building || b.building->id != b.id) continue;
            if (p->team < 0 || p->team >= BASES || !p->owner.unit || p->owner.unit->id != p->owner.id) continue;
            const squad* q = static_cast<const squad*>(p->owner.unit->ai.squad);
            if (q && q->cell && q->cell->goal == SEIGE) aimed[b.id][p->team] = g_UpdateCount + 1;
        }
    }
};

SiegeWatch* s_sieges;

TEST_F(AiKeepsPlayingWar, RegressionEveryBasesSiegesHitEnemyBuildingsAndBringSomeDown)
{
    SiegeWatch sieges;
    s_sieges = &sieges;
    s_orders = +[] { s_sieges->Update(); };
    War war;
    Play(&war, 8);
    s_sieges = nullptr;
    EXPECT_GE(war.winner, 0);
    for (int t = 0; t < BASES; t++) EXPECT_GT(sieges.hits[t], 0) << "team " << t;
    EXPECT_GT(sieges.destroyed, 0);
}

// Team 0 is the local player's: at fixed updates it buys tanks, gives
// credits to its ally and to an enemy, puts up a depot and sends its army
// roaming, all through the order builders while the orders are recorded; a
// fresh game played back from the recording goes the same way.
TEST_F(AiWar, TheLocalTeamsOrdersAmongTheComputerPlayersReplayExactly)
{
    s_orders = +[] {
        UNITLIST sel;
        switch (g_UpdateCount) {
        case 20:
        case 400: Orders_QConstructUnit(0, PREREQ_UnitTypePtr(PREREQ_WhatIs("DemoTank"))->unittypeid, 1001); break;
        case 60: Orders_QGiveCredits(0, 4, 500); break;
        case 90: Orders_QGiveCredits(0, 1, 200); break;
        case 120:
            Orders_QConstructBuilding(0, 1101, PREREQ_BuildingTypePtr(PREREQ_WhatIs("DemoDepot"))->index, 7, 2);
            break;
        case 900:
            Units_ListInit(&sel);
            for (int list = 0; list < TEAM_MOVELISTS; list++)
                for (const UNIT* u = teamdata[0].unitlist[list]; u; u = u->next)
                    if (u->type->prereq.id == PREREQ_WhatIs("DemoTank")) Units_ListAppend(&sel, nullptr, u->id);
            Orders_QAutoMoveOn(0, &sel, TACTAI_HIGH);
            Units_ListClose(&sel);
            break;
        default: break;
        }
    };
    QvTempDir dir;
    const std::string rec = dir.file("war.rec");
    War recorded, replayed;
    Str_CopySafe(g_Config.orderrecord, rec.c_str(), CFG_PATH);
    Play(&recorded, 0);
    g_Config.orderrecord[0] = '\0';
    EXPECT_GT(std::filesystem::file_size(rec), 40u);
    EXPECT_GE(recorded.winner, 0);
    EXPECT_GE(teamdata[0].stats.made_buildings, 1);
    EXPECT_EQ(s_gifts, 2);
    s_gifts = 0;
    s_orders = nullptr;
    Str_CopySafe(g_Config.orderplayback, rec.c_str(), CFG_PATH);
    Play(&replayed, 0);
    g_Config.orderplayback[0] = '\0';
    EXPECT_EQ(replayed.winner, recorded.winner);
    EXPECT_EQ(s_gifts, 2);
    ASSERT_EQ(replayed.digests.size(), recorded.digests.size());
    for (size_t i = 0; i < recorded.digests.size(); i++)
        ASSERT_EQ(recorded.digests[i], replayed.digests[i]) << "update " << i;
}

// A call for help in a played game (the fixture FIXED/AIHELP): team 0's
// base stands apart from team 1's, so the cells beside it are perimeter
// cells holding its guards' squads. Team 1's strike force shells the base;
// its cell calls them, they answer, come, and put the strike force down,
// and the end of the next cycle finds the cell clear and quiets it. The
// game stops there.
struct HelpWatch {
    uint32_t called = 0, answered = 0, arrived = 0, ended = 0;
    const GRIDCELL* cell = nullptr;   // the cell whose call was answered (in play)
    int column = -1, row = -1, mask = 0;   // that cell, and the neighbours it called
    struct Helper { int id, x, y; };  // a unit and the tile it was sent to
    std::vector<Helper> helpers;      // the answering squads' units
    int enemies_left = -1;            // team 1's units when the event ended
    void Answer(const AI_TARGETS& g, const GRIDCELL& c)
    {
        answered = g_UpdateCount;
        cell = &c;
        column = c.column;
        row = c.row;
        mask = c.direction_mask;
        for (int j = 0; j < g.grid_rows * g.grid_columns; j++)
            if (g.cells[j].event_state == 2 && g.cells[j].squad_ptr)
                for (const LINKLIST_CELL* m = g.cells[j].squad_ptr->units->head; m; m = m->next) {
                    const UNIT* u = static_cast<const UNIT*>(m->data);
                    helpers.push_back({u->id, u->sorder.move.destpos.x, u->sorder.move.destpos.y});
                }
    }
    // Every helper still alive inside the cell that called or within its
    // gun's reach (4 tiles) of where it was sent.
    bool Arrived() const
    {
        int near = 0, alive = 0;
        for (const Helper& h : helpers)
            if (const UNIT* u = Units_IdToUnitPtr(h.id, 0)) {
                alive++;
                near += (u->tilepos.x / 8 == cell->column && u->tilepos.y / 8 == cell->row) ||
                        std::max(std::abs(u->tilepos.x - h.x), std::abs(u->tilepos.y - h.y)) <= 4;
            }
        return alive && near == alive;
    }
    void Update()
    {
        const AI_Team* a = AI_GetTeam(0);
        if (!a || ended) return;
        const AI_TARGETS& g = a->strategic_targets;
        for (int i = 0; i < g.grid_rows * g.grid_columns && !answered; i++) {
            if (g.cells[i].event_state == 1 && !called) called = g_UpdateCount;
            if (g.cells[i].event_state == 1 && g.cells[i].direction_mask) Answer(g, g.cells[i]);
        }
        if (!answered) return;
        if (!arrived && Arrived()) arrived = g_UpdateCount;
        if (cell->event_state != 0) return;
        ended = g_UpdateCount;
        enemies_left = 0;
        for (int list = 0; list < TEAM_MOVELISTS; list++)
            for (const UNIT* u = teamdata[1].unitlist[list]; u; u = u->next) enemies_left++;
        Plat_PostQuit();
    }
};

HelpWatch* s_help;

TEST_F(AiKeepsPlayingWar, ABaseCellsCallIsAnsweredByItsNeighboursSquadsWhichComeUntilTheEnemyIsGone)
{
    HelpWatch help;
    s_help = &help;
    s_orders = +[] { s_help->Update(); };
    War war;
    Play(&war, 8, "AIHELP");
    s_help = nullptr;
    ASSERT_GT(help.answered, 0u) << "no call answered";
    EXPECT_EQ(help.called, help.answered);   // the first call is answered
    EXPECT_EQ(help.column, 3);   // the factory's cell
    EXPECT_EQ(help.row, 3);
    EXPECT_EQ(help.mask, AI_DIR_LEFT | AI_DIR_DOWN);   // both guard posts
    EXPECT_EQ(help.helpers.size(), 4u);
    EXPECT_GT(help.arrived, help.answered);
    EXPECT_GT(help.ended, help.arrived);
    EXPECT_EQ(help.enemies_left, 0);
    EXPECT_EQ(war.winner, -1);   // stopped at the event's end, the factory standing
}

}   // namespace
