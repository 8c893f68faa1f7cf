// The whole simulation: a generated 128 x 128 scenario of 8 teams of 100
// armed units each, every team at war with every other and every unit
// roaming, loaded through the scenario reader with the demo's rule files and
// run for 2000 updates (or until a team has won) without drawing. With
// computer players (printed first): the battle that the whole-game flow of
// eight computer players plays, 8 computer teams of 250 units on a 256 x 256
// map, each with a factory that its plan keeps busy, two crews that put up a
// waterworks and depots, and a well beside it that its tankers harvest, the
// local team 8 watching; played to its winner.
//
// The reference is real time: 20 updates a second. Besides the benchmark's
// own time, one line gives updates per second, the multiple of real time,
// the slowest single update (in the thread's own running time) and each
// update step's share of the time.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ai/ai.h"
#include "core/config.h"
#include "core/gamestate.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "gen_palette.h"
#include "gen_sprites.h"
#include "gen_tiles.h"
#include "map/map.h"
#include "platform/palette.h"
#include "platform/sprite.h"
#include "rules/endcond.h"
#include "rules/scenario.h"
#include "support/bigwar.h"
#include "units/buildplay.h"
#include "units/orders.h"
#include "units/team.h"

namespace {

namespace fs = std::filesystem;

// The plain world stops after UPDATES; the battle plays to its winner, within
// BATTLE_BOUND.
enum { TEAMS = BIGWAR_TEAMS, UPDATES = 2000, BATTLE_BOUND = 10000, REAL_TIME_UPS = 20 };

const BIGWAR s_plain = {128, 100, 0, 1, 100, 0};
const BIGWAR s_computer = BigWar_ComputerBattle();

bool WriteText(const std::string& path, const std::string& text)
{
    std::ofstream f(path, std::ios::binary);
    f << text;
    return (bool)f;
}

// A scenario folder with the demo's terrain, sprites and rule files, a flat
// map and the generated scenario file; its root, empty on failure.
std::string WriteInstallation(const BIGWAR& w)
{
    char tmpl[] = "/tmp/qvbench-game-XXXXXX";
    if (!mkdtemp(tmpl)) return "";
    const std::string root = tmpl, graphics = root + "/data/graphics";
    std::error_code ec;
    fs::create_directories(graphics + "/DEMO", ec);
    fs::create_directories(root + "/data/deftxt", ec);
    auto set = std::make_unique<GENTILE_SET>();
    GenTile_DemoSet(set.get());
    const std::string til = GenTile_Bytes(*set);
    if (!WriteText(graphics + "/DEMO/DEMO.til", til)) return "";
    PALINFO pal;
    Mkdata_DemoPalette(&pal);
    if (!Palstuff_Write((graphics + "/DEMO/DEMO.pal").c_str(), &pal)) return "";
    for (int i = 0; i < GENSPRITE_COUNT; i++) {
        GENSPRITE sprite;
        GenSprite_Build(i, &sprite);
        SPRITE_DESC d = sprite.Desc();
        if (!Sprite_Write((graphics + "/" + GenSprite_FileName(i)).c_str(), &d)) return "";
    }
    for (const char* name : {"ovleff.txt", "animate.txt", "damage.txt", "weapon.txt", "units.txt",
                             "overlay.txt", "build.txt", "general.txt"})
        fs::copy_file(std::string(QV_DEMO_DATA) + "/deftxt/" + name,
                      root + "/data/deftxt/" + name, ec);
    fs::copy_file(std::string(QV_DEMO_DATA) + "/graphics/DEMO/trneff.txt",
                  graphics + "/DEMO/trneff.txt", ec);
    if (ec) return "";
    const std::string made = BigWar_WriteScenario(root + "/scenario/SINGLE/BIGWAR", root + "/data/deftxt", w);
    if (!made.empty()) {
        fprintf(stderr, "%s\n", made.c_str());
        return "";
    }
    return root;
}

// The time this thread has run: the slowest update is the game's, not the
// time another process held the core in the middle of it.
double ThreadSeconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

void RunWholeSimulation(benchmark::State& state, const BIGWAR& w)
{
    const std::string root = WriteInstallation(w);
    if (root.empty()) {
        state.SkipWithError("cannot write the scenario folder");
        return;
    }
    int nsteps = 0;
    const GAME_STEP* steps = Game_UpdateSteps(&nsteps);
    std::vector<double> stepsecs((size_t)nsteps, 0.0);
    double total = 0, slowest = 0;
    long updates = 0;
    int left = 0, winner = -1;
    using Clock = std::chrono::steady_clock;
    for (auto _ : state) {
        state.PauseTiming();
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        g_Config.disableai = !w.computer;
        // The end conditions are looked at below, once an update: the
        // game's own look would show the winner's picture and wait.
        g_Config.disableendconditions = 1;
        Game_SetDirectories(root.c_str(), "data", "", "save", "scenario");
        Game_SetScenarioCategory(SC_SINGLE);
        Game_SetScenarioName("BIGWAR");
        // Before the teams are made: the local team is the human one, and
        // with computer players that is team 8, the wells'.
        g_LocalTeam = w.computer ? 8 : 0;
        InitCommonGameSystems();
        // The game's own start without the interface, in its order, so
        // that the battle plays as the flow plays it.
        Orders_Init();
        Scenario_Load(nullptr);
        g_AlliancesDisabled = 1;
        Build_StartGame();
        Endcond_InitTeamTotals();
        if (w.computer) {
            AI_Init();
            for (int t = 0; t < TEAM_MAXTEAMS; t++)
                if (AI_IsComputerTeam(t)) AI_Activate(t);
        }
        Endcond_LoadAIPs();
        Endcond_EnterInitialStates();
        for (int t = 0; t < TEAMS && w.computer; t++)
            if (!AI_IsComputerTeam(t) || !AI_GetTeam(t)) {
                state.SkipWithError("a team of the battle has no computer player");
                return;
            }
        state.ResumeTiming();
        const Clock::time_point start = Clock::now();
        winner = -1;
        for (int u = 0; u < (w.computer ? (int)BATTLE_BOUND : (int)UPDATES); u++) {
            const double begin = ThreadSeconds();
            for (int i = 0; i < nsteps; i++) {
                const Clock::time_point t0 = Clock::now();
                steps[i].fn();
                stepsecs[(size_t)i] += std::chrono::duration<double>(Clock::now() - t0).count();
            }
            // The end conditions where the game looks at them, before the
            // count moves on: the state machines' timers read it.
            int team = -1;
            if (Endcond_Update(&team) == 1) winner = team;
            Game_FinishUpdate();
            Orders_AfterUpdate();
            // Grid recomputes and scheduler slices fall on single updates.
            const double took = ThreadSeconds() - begin;
            if (took > slowest) slowest = took;
            updates++;
            if (winner >= 0) break;
        }
        total += std::chrono::duration<double>(Clock::now() - start).count();
        state.PauseTiming();
        left = 0;
        for (int t = 0; t < TEAMS; t++) left += teamdata[t].unitcount;
        if (ai_game_initialised) AI_Close();
        Build_EndGame();
        Orders_Close();
        CloseCommonGameSystems();
        state.ResumeTiming();
    }
    std::error_code ec;
    fs::remove_all(root, ec);
    if (total <= 0 || updates == 0) return;
    const double ups = (double)updates / total;
    state.counters["updates"] = (double)updates;
    std::string shares;
    char part[64];
    for (int i = 0; i < nsteps; i++) {
        snprintf(part, sizeof part, "%s%s %.1f%%", i ? ", " : "", steps[i].name,
                 100.0 * stepsecs[(size_t)i] / total);
        shares += part;
    }
    char won[32] = "";
    if (winner >= 0) snprintf(won, sizeof won, ", team %d won", winner);
    printf("whole simulation%s (%d teams x %d units, %d x %d, %ld updates%s, %d units left): "
           "%.0f updates/s, %.1f x real time (%d updates/s); slowest update %.1f%% of %d ms; steps: %s\n",
           w.computer ? " with computer players" : "", TEAMS, w.per_team, w.side, w.side, updates, won,
           left, ups, ups / (double)REAL_TIME_UPS, (int)REAL_TIME_UPS,
           100.0 * slowest * (double)REAL_TIME_UPS, 1000 / (int)REAL_TIME_UPS, shares.c_str());
    fflush(stdout);
}

void BM_GameWholeSimulationComputerPlayers(benchmark::State& state)
{
    RunWholeSimulation(state, s_computer);
}

void BM_GameWholeSimulation(benchmark::State& state) { RunWholeSimulation(state, s_plain); }

} // namespace

// Registered first: the line with computer players comes first.
BENCHMARK(BM_GameWholeSimulationComputerPlayers)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_GameWholeSimulation)->Iterations(1)->Unit(benchmark::kSecond);
