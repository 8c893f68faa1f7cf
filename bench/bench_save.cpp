// Saving and loading a large game: a 256 x 256 map, 2000 armed units of
// eight teams with their parts and a few steps of path each, 80 buildings,
// every team's sight swept, a path search under way.
//
// Save_Game (every block registered, its pointers converted, encoded field
// by field and written) against writing as many bytes to a temporary file
// with fwrite, fflush, fsync and a rename; Save_Load (the file read and
// checked, its records decoded, made, converted and listed again) against
// reading that file with fread, from the cache as the load finds it.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "benchsupport.h"
#include "core/gamestate.h"
#include "core/uid.h"
#include "gen_sprites.h"
#include "map/fog.h"
#include "map/map.h"
#include "map/mapgrid.h"
#include "map/path.h"
#include "map/pathsrch.h"
#include "platform/effects.h"
#include "platform/sprite.h"
#include "save/save.h"
#include "units/building.h"
#include "units/parts.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/unitmove.h"
#include "units/weapon.h"

namespace {

enum { TEAMS = 8, PER_TEAM = 250, BUILDINGS_PER_TEAM = 10, SIDE = 256 };

std::string TempPath(const char* what)
{
    return "/tmp/bench_save-" + std::to_string((long)getpid()) + "-" + what;
}

SPRITE* Sprite(int id)
{
    GENSPRITE g;
    GenSprite_Build(id, &g);
    SPRITE_DESC d = g.Desc();
    const std::string path = TempPath("part.spr");
    if (!Sprite_Write(path.c_str(), &d)) abort();
    SPRITE* s = Sprite_Load(path.c_str());
    unlink(path.c_str());
    if (!s) abort();
    return s;
}

// Made once in the benchmark's process; a load replaces its records, so
// nothing keeps pointers into it.
void World(void)
{
    static bool made = false;
    if (made) return;
    made = true;
    Save_Init();
    snprintf(g_ScenarioName, sizeof g_ScenarioName, "BenchSave");
    g_NewMapRequest = MAP_NEWREQUEST{1, SIDE, SIDE, 4, 1};
    if (!Map_Load(nullptr)) abort();
    QvBench_SortDispOnce();
    Effects_Init();
    Mapgrid_Init();
    Fog_Init();
    Team_SetDefaults();
    Team_InitTeamData();
    Units_InitAll();
    Build_InitAll();
    Pathsrch_Init();
    Uid_Reset();
    WEAPONTYPE* gun = Weapon_NewType();
    gun->kind = WLINEAR;
    gun->CanShootGround = 1;
    gun->tilerange = 4;
    gun->range = 4.5f * 24;
    PARTTYPE* body = Parts_NewType();
    PARTTYPE* turret = Parts_NewType();
    if (!gun || !body || !turret) abort();
    body->sprite = Sprite(GENSPRITE_UNITBODY);
    turret->sprite = Sprite(GENSPRITE_TURRET);
    turret->nrweapons = 1;
    turret->weapons[0] = {gun, 0, 0};
    UNITTYPE* tank = Units_NewType();
    snprintf(tank->symbolid, sizeof tank->symbolid, "Tank");
    snprintf(tank->description, sizeof tank->description, "Tank");
    tank->seeingrange = 6;
    tank->partinfo.nrparts = 2;
    tank->partinfo.parttype[0] = body;
    tank->partinfo.parttype[1] = turret;
    BUILDINGTYPE* depot = Build_NewType();
    snprintf(depot->name, sizeof depot->name, "Depot");
    const uint8_t grid[3 * 3 * 2] = {};
    depot->footprint = Effects_AddOvlEffect("Depot", 3, 3, grid);
    depot->width = depot->height = 3;
    depot->maxhitpoints = 500;
    depot->seeingrange = 4;
    // Each team's buildings in a row of its own band of the map.
    for (int t = 0; t < TEAMS; t++)
        for (int i = 0; i < BUILDINGS_PER_TEAM; i++)
            if (!Build_New(depot, t, -1, 8 + i * 24, 4 + t * 32)) abort();
    uint32_t r = 2024;
    int made_units = 0, searching = 0;
    while (made_units < TEAMS * PER_TEAM) {
        r = r * 1664525u + 1013904223u;
        const int x = 2 + (int)((r >> 8) % (SIDE - 12)), y = 8 + (int)((r >> 20) % (SIDE - 16));
        if (Units_UnitAtMapLevel(ML_GROUND, x, y) || Build_AtTile(x, y)) continue;
        UNIT* u = Units_NewAt(tank, made_units % TEAMS, -1, x, y);
        if (!u) abort();
        for (int s = 1; s <= 4; s++) Path_Append(&u->move.path, x + s, y);
        // Some wait for a search across the map.
        if (made_units % 100 == 0) {
            Units_StartPathTo(u, SIDE - 1 - x, SIDE - 1 - y, 0);
            searching++;
        }
        made_units++;
    }
    Pathsrch_SetBudget(500);
    Pathsrch_Update();
    if (searching == 0 || Pathsrch_Pending() == 0) abort();
}

// The saved game of the world, once; gone with the process.
void RemoveSavedFile(void) { unlink(TempPath("game.sav").c_str()); }

const std::string& SavedFile(void)
{
    static const std::string path = [] {
        World();
        std::string p = TempPath("game.sav");
        if (!Save_Game(p.c_str(), 0)) abort();
        atexit(RemoveSavedFile);
        return p;
    }();
    return path;
}

long FileSize(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return -1;
    fseek(f, 0, SEEK_END);
    const long n = ftell(f);
    fclose(f);
    return n;
}

void BM_SaveGame(benchmark::State& state)
{
    World();
    const std::string path = TempPath("save.sav");
    for (auto _ : state)
        if (!Save_Game(path.c_str(), 0)) state.SkipWithError("the save failed");
    state.counters["bytes"] = (double)FileSize(path);
    unlink(path.c_str());
}
BENCHMARK(BM_SaveGame)->Unit(benchmark::kMillisecond);

// The reference: as many bytes written and made durable the way a careful
// writer replaces a file.
void BM_SaveWriteReference(benchmark::State& state)
{
    World();
    const std::string saved = TempPath("ref-source.sav");
    if (!Save_Game(saved.c_str(), 0)) abort();
    std::vector<char> bytes((size_t)FileSize(saved));
    unlink(saved.c_str());
    const std::string tmp = TempPath("ref.tmp"), path = TempPath("ref.sav");
    for (auto _ : state) {
        FILE* f = fopen(tmp.c_str(), "wb");
        if (!f || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || fflush(f) != 0 ||
            fsync(fileno(f)) != 0 || fclose(f) != 0 || rename(tmp.c_str(), path.c_str()) != 0)
            state.SkipWithError("the write failed");
    }
    state.counters["bytes"] = (double)bytes.size();
    unlink(path.c_str());
}
BENCHMARK(BM_SaveWriteReference)->Unit(benchmark::kMillisecond);

QV_BENCH_RATIO(savegame, "save ratio (Save_Game / fwrite, fsync and rename of as many bytes)", "BM_SaveGame",
               "BM_SaveWriteReference");

void BM_SaveLoad(benchmark::State& state)
{
    const std::string& path = SavedFile();
    for (auto _ : state)
        if (Save_Load(path.c_str()) != SAVE_LOADED) state.SkipWithError(Save_LoadError());
    state.counters["bytes"] = (double)FileSize(path);
}
BENCHMARK(BM_SaveLoad)->Unit(benchmark::kMillisecond);

// The reference: the same file read whole with fread.
void BM_SaveReadReference(benchmark::State& state)
{
    const std::string& path = SavedFile();
    std::vector<char> bytes((size_t)FileSize(path));
    for (auto _ : state) {
        FILE* f = fopen(path.c_str(), "rb");
        if (!f || fread(bytes.data(), 1, bytes.size(), f) != bytes.size()) state.SkipWithError("the read failed");
        if (f) fclose(f);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["bytes"] = (double)bytes.size();
}
BENCHMARK(BM_SaveReadReference)->Unit(benchmark::kMillisecond);

QV_BENCH_RATIO(saveload, "load ratio (Save_Load / fread of the file)", "BM_SaveLoad", "BM_SaveReadReference");

} // namespace
