// A battle with every kind of weapon saved at three points: a run that
// saves is the run that never saved, and each file, loaded through state 6
// or in place into a later game, goes on with it for a thousand updates.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/config.h"
#include "core/gamestate.h"
#include "core/gll.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "ai/ai.h"
#include "game/gameloop.h"
#include "game/quorvex.h"
#include "game/systems.h"
#include "map/fog.h"
#include "map/pathsrch.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "rules/endcond.h"
#include "save/save.h"
#include "save/savetype.h"
#include "units/building.h"
#include "units/buildbay.h"
#include "units/constructq.h"
#include "units/explosion.h"
#include "units/iterate.h"
#include "units/orders.h"
#include "units/parts.h"
#include "units/projectile.h"
#include "units/swave.h"
#include "units/target.h"
#include "units/team.h"
#include "units/unit.h"
#include "units/vortex.h"
#include "units/weapon.h"
#include "support/testsupport.h"
#include "support/world.h"

namespace {

// Files 0 and 1 are saved between frames, file 2 by QSAVEGAME as the last
// order of its update.
constexpr uint32_t kSavePoints[3] = {30, 148, 212};
constexpr uint32_t kEnd = kSavePoints[2] + 1000;

// What one run saw: the digest at every update, the canonical save every
// 100, the weapon kinds with a shot in flight.
struct Seen {
    std::map<uint32_t, uint64_t> digests;
    std::map<uint32_t, std::string> saves;
    unsigned kinds = 0;
};

class SavedBattle : public testing::Test {
protected:
    QvLogCapture log_{TLOG_SAVE};
    QvTempDir dir_;
    bool open_ = false;

    static SavedBattle* s_self;
    Seen* seen_ = nullptr;
    bool saving_ = false;  // this run saves at the three points

    void SetUp() override
    {
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        // The battle's folder stays out of the lists the front end shows.
        Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "savescenario");
        Game_SetScenarioCategory(SC_SINGLE);
        Str_CopySafe(g_SaveDir, dir_.file("save").c_str(), sizeof g_SaveDir);
        g_LocalTeam = 0;
        Input_Init();
        Video_Init();
        Event_Init();
        Save_Init();
        s_self = this;
        // A small budget keeps searches under way across updates.
        Pathsrch_SetBudget(60);
    }
    void TearDown() override
    {
        if (open_) Stop();
        Pathsrch_SetBudget(0);
        PlatHeadless_SetPumpHook(nullptr);
        Game_SetUpdateHook(nullptr);
        Plat_ClearQuit();
        Event_Close();
        Video_Close();
        Input_Close();
        Plat_Close();
        Cfg_SetDefaults(&g_Config);
    }
    static void Configure(void)
    {
        g_Config.disableai = 1;
        g_Config.disableendconditions = 0;
    }
    void Start(void)
    {
        Configure();
        Game_SetScenarioName("ARMS");
        InitCommonGameSystems();
        InitGameSpecifics();
        g_GameState = GS_INGAME;
        open_ = true;
    }
    void Stop(void)
    {
        CloseGameSpecifics();
        CloseCommonGameSystems();
        open_ = false;
    }

    static std::string SavePath(int i) { return "point" + std::to_string(i) + ".sav"; }
    std::string Canonical(void)
    {
        EXPECT_EQ(Save_Game(dir_.file("c.sav").c_str(), 0), 1);
        return QvSave_Canonical(dir_.read("c.sav"));
    }

    static UNIT* U(int id) { return Units_IdToUnitPtr(id, -1); }
    static void Order(std::initializer_list<int> ids, const std::function<void(const UNITLIST*)>& give)
    {
        UNITLIST sel;
        Units_ListInit(&sel);
        for (int id : ids)
            if (UNIT* u = U(id)) Units_ListAppend(&sel, u, id, u->team);
        if (!Units_ListEmpty(&sel)) give(&sel);
        Units_ListClose(&sel);
    }
    // A shot of a weapon that no unit type carries, or none fires by itself.
    static void Shoot(int id, const char* weapon, int tx, int ty)
    {
        UNIT* u = U(id);
        if (!u || !u->basepart) return;
        TARGET ground;
        Target_Setup(&ground, FM_GROUND, nullptr, nullptr, tx, ty);
        PROJECTILEID shot;
        Weapon_MakeProjectile(&shot, Weapon_FindType(weapon), &ground, u->basepart);
    }
    // The battle's script, after each update and before its orders, the
    // same in every run: orders through the builders, and what the demo's
    // rules give no order for (a hold, a package, a site, shots of the
    // weapons no unit fires here by itself) made directly.
    static void Script(void)
    {
        const uint32_t now = g_UpdateCount;
        const int tank = Units_SymToTypePtr("DemoTank")->unittypeid;
        switch (now) {
        case 3:
            // The production panel's queue, then the order it gives.
            for (int i = 0; i < 4; i++) Units_AddToConstructQueue(tank, 1002);
            Orders_QConstructUnit(0, tank, 1002);
            Orders_QConstructUnit(1, tank, 1012);
            Order({21, 22, 23}, [](const UNITLIST* s) { Orders_QGotoRepair(1, s, 1012); });
            break;
        case 8:
            Order({7}, [](const UNITLIST* s) { Orders_QFireAtGround(0, s, 13, 12, UAM_DEFAULT); });
            Order({3}, [](const UNITLIST* s) { Orders_QFireAtGround(0, s, 12, 14, UAM_DEFAULT); });
            Order({25}, [](const UNITLIST* s) { Orders_QFireAtGround(1, s, 24, 19, UAM_DEFAULT); });
            break;
        case 12: {
            BUILDINGTYPE* depot = &g_BuildingTypes[Textfile_FindBuildingType("DemoDepot")];
            if (UNIT* u = U(33)) Build_HoldAddUnit(Build_FindById(1011), u);
            if (UNIT* u = U(9)) u->building_package = new BUILDINGPACKAGE{depot, {}};
            Build_NewConstructionSite(depot, 0, 14, 4);
            break;
        }
        case 25: case 110: case 200:
            Shoot(now == 25 ? 1 : 31, "Demolition", 20, 12);
            Shoot(now == 25 ? 6 : 26, "Shredder", 19, 11);
            Shoot(now == 25 ? 7 : 25, "FlameWave", 18, 12);
            if (UNIT* u = U(3); u && now == 110) Shoot(3, "Vortex", u->tilepos.x + 1, u->tilepos.y);
            break;
        case 100:
            Order({8, 9, 1}, [](const UNITLIST* s) { Orders_QMove(0, s, 24, 22, 0); });
            Order({2}, [](const UNITLIST* s) { Orders_QFireAtUnit(0, s, 24, UAM_DEFAULT); });
            break;
        case 190:
            Orders_QConstructUnit(1, tank, 1012);
            Order({24, 26}, [](const UNITLIST* s) { Orders_QMove(1, s, 6, 6, 0); });
            Order({7}, [](const UNITLIST* s) { Orders_QFireAtGround(0, s, 16, 10, UAM_DEFAULT); });
            Order({3}, [](const UNITLIST* s) { Orders_QFireAtGround(0, s, 17, 12, UAM_DEFAULT); });
            break;
        default: break;
        }
        SavedBattle* t = s_self;
        if (t->saving_ && now == kSavePoints[2]) {
            Orders_QSaveGame();
        }
        if (!t->seen_) return;
        t->seen_->digests[now] = QvDigest_State();
        if (now % 100 == 0) t->seen_->saves[now] = t->Canonical();
        for (PROJECTILE* p = Projectile_First(); p; p = p->next) t->seen_->kinds |= 1u << p->weapon->kind;
    }
    void Update(void)
    {
        Game_Update();
        Script();
        Orders_AfterUpdate();
        if (saving_ && (g_UpdateCount == kSavePoints[0] || g_UpdateCount == kSavePoints[1])) {
            const int i = g_UpdateCount == kSavePoints[0] ? 0 : 1;
            ASSERT_EQ(Save_Game(dir_.file("save/" + SavePath(i)).c_str(), 0), 1);
        }
    }
    void PlayTo(uint32_t update)
    {
        while (g_UpdateCount < update) Update();
    }
    // The run goes on with the reference from where it was loaded to its end.
    static void ExpectAlike(const Seen& run, const Seen& ref, uint32_t from, const char* what)
    {
        ASSERT_FALSE(run.digests.empty()) << what;
        EXPECT_EQ(run.digests.begin()->first, from + 1) << what;
        EXPECT_GE(run.digests.rbegin()->first, kEnd) << what;
        for (const auto& [at, d] : run.digests) {
            if (at > kEnd) break;
            ASSERT_EQ(d, ref.digests.at(at)) << what << ": digests part at update " << at;
        }
        for (const auto& [at, s] : run.saves) {
            if (at <= kEnd) {
                EXPECT_TRUE(s == ref.saves.at(at)) << what << ": canonical saves part at " << at;
            }
        }
    }

    // The frame loop plays a game of the state loop to the end.
    static void Pump(void)
    {
        if (g_GameState != GS_INGAME) return;
        PlatHeadless_Advance(50);
        if (g_UpdateCount >= kEnd) Plat_PostQuit();
    }
    // Through the state loop: a new game of the battle, or with a name the
    // saved game of that name (state 6).
    void PlayThroughTheStateLoop(const std::string& name, Seen* run)
    {
        Game_SetScenarioName(name.empty() ? "ARMS" : "DEMO");
        Str_CopySafe(g_PendingLoadName, name.c_str(), sizeof g_PendingLoadName);
        seen_ = run;
        Game_SetUpdateHook(Script);
        PlatHeadless_SetPumpHook(Pump);
        g_GameState = name.empty() ? GS_NEWGAME : GS_LOADGAME;
        Game_Main();
        Game_SetUpdateHook(nullptr);
        PlatHeadless_SetPumpHook(nullptr);
        Plat_ClearQuit();
        g_QuitRequested = 0;
        seen_ = nullptr;
    }
};
SavedBattle* SavedBattle::s_self;

// What must be under way at one of the save points at least.
struct Feature {
    const char* name;
    std::function<bool(void)> present;
};

template <class F> bool AnyUnit(F f)
{
    ITERATOR it;
    Iterate_UnitInitAll(&it);
    while (UNIT* u = Iterate_UnitNext(&it))
        if (f(u)) return true;
    return false;
}
template <class F> bool AnyBuilding(F f)
{
    for (int t = 0; t < TEAM_MAXTEAMS; t++)
        for (BUILDING* b = teamdata[t].firstbuilding; b; b = b->teamnext)
            if (f(b)) return true;
    return false;
}
bool ClockRunning(void)
{
    for (int t = 0; t < ENDCOND_TEAMS; t++)
        if (CONDTREE* tree = g_Endcond.endtree[t])
            if (CONDSTATE* state = Endcond_GetState(tree, 1); state && state->conds)
                for (GLL_NODE* n = state->conds->first; n; n = n->next) {
                    const CRITERIA* c = static_cast<CONDITION*>(n->element)->criteria;
                    if (c->type == CRIT_TIMER && c->timer.deadline > (int32_t)g_UpdateCount) return true;
                }
    return false;
}

const Feature kFeatures[] = {
    {"a unit with a path", [] { return AnyUnit([](UNIT* u) { return u->move.path.count > 1; }); }},
    {"a search under way", [] { return Pathsrch_Pending() > 0; }},
    {"a part firing", [] { return AnyUnit([](UNIT* u) {
         for (PART* p = u->basepart; p; p = p->partup)
             if (p->state.state == PS_FIRING) return true;
         return false; }); }},
    {"a shot in flight", [] { return Projectile_Count() > 0; }},
    {"an explosion", [] { return Expl_Count() > 0; }},
    {"a vortex", [] { return Vortex_Count() > 0; }},
    {"a wave", [] { return Swave_Count() > 0; }},
    {"a building under construction",
     [] { return AnyBuilding([](BUILDING* b) { return b->state == BS_BEINGBUILT; }); }},
    {"a construct queue", [] { return Units_ConstructQueueCount() > 0; }},
    {"a service queue", [] { return AnyBuilding([](BUILDING* b) { return b->queue.count > 0; }); }},
    {"a hold", [] { return AnyBuilding([](BUILDING* b) { return b->hold.count > 0; }); }},
    {"a package", [] { return AnyUnit([](UNIT* u) { return u->building_package != nullptr; }); }},
    {"a special force", [] { return AI_SpecialForceFirst(1) != nullptr; }},
    {"a running clock", ClockRunning},
    {"fog", [] { return Fog_IsExplored(8, 10, 0) && !Fog_IsExplored(40, 40, 0); }},
};

TEST_F(SavedBattle, EachSavePointGoesOnAsTheRunThatNeverSaved)
{
    // The run that never saves.
    Seen never;
    Start();
    seen_ = &never;
    PlayTo(kEnd);
    seen_ = nullptr;
    Stop();
    EXPECT_EQ(never.kinds, (1u << WKIND_COUNT) - 1) << "a shot of every kind of weapon";
    ASSERT_EQ(never.saves.size(), kEnd / 100);

    // (a) A run saving between frames and through QSAVEGAME is that run;
    // between them the files hold everything under way.
    Seen saving;
    Start();
    saving_ = true;
    seen_ = &saving;
    std::vector<bool> held(std::size(kFeatures));
    for (uint32_t at : kSavePoints) {
        PlayTo(at);
        for (size_t f = 0; f < held.size(); f++) held[f] = held[f] || kFeatures[f].present();
    }
    PlayTo(kEnd);
    seen_ = nullptr;
    saving_ = false;
    Stop();
    for (size_t f = 0; f < held.size(); f++) EXPECT_TRUE(held[f]) << kFeatures[f].name;
    EXPECT_TRUE(saving.digests == never.digests) << "saving changed the game";
    EXPECT_TRUE(saving.saves == never.saves);
    Seen looped;
    PlayThroughTheStateLoop("", &looped);
    for (const auto& [at, d] : never.digests) {
        if (looped.digests.count(at)) {
            ASSERT_EQ(looped.digests.at(at), d) << "the state loop plays another game at update " << at;
        }
    }
    ASSERT_EQ(std::rename(dir_.file("save/MULTI.SAV").c_str(), dir_.file("save/" + SavePath(2)).c_str()), 0);

    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(SavePath(i));
        const std::string file = dir_.read("save/" + SavePath(i));
        // (b) Through state 6, from another scenario, against the run that
        // never saved through the same loop (the interface adds its own
        // display elements to what is saved).
        Seen loaded;
        PlayThroughTheStateLoop(SavePath(i), &loaded);
        EXPECT_STREQ(g_ScenarioName, "ARMS");
        ExpectAlike(loaded, looped, kSavePoints[i], "state 6");
        // (c) In place into a game further on; (d) it saves as it was read.
        Start();
        PlayTo(kSavePoints[i] + 40);
        ASSERT_EQ(Save_Load(dir_.file("save/" + SavePath(i)).c_str()), SAVE_LOADED) << Save_LoadError();
        EXPECT_EQ(g_UpdateCount, kSavePoints[i]);
        EXPECT_TRUE(Canonical() == QvSave_Canonical(file)) << "load then save";
        Seen inplace;
        seen_ = &inplace;
        PlayTo(kEnd);
        seen_ = nullptr;
        Stop();
        ExpectAlike(inplace, never, kSavePoints[i], "in place");
    }
}

// A handle and a list element naming a unit whose record was deleted and
// made again as another unit: the save stores them without the record, the
// game keeps its own, and the element still leaves its list by id on both
// sides of a save and of a load.
TEST_F(SavedBattle, AHandleToAReusedUnitIsStoredStaleAndLeavesItsListById)
{
    Start();
    PlayTo(5);
    BUILDING* depot = Build_FindById(1011);
    UNIT* gone = U(26);
    ASSERT_TRUE(depot && gone);
    depot->whomademe = {gone, 26};
    Units_ListAppend(&depot->pickup, gone, 26, 1);
    Units_ListAppend(&depot->pickup, gone, 26, 1);
    UNITTYPE* type = gone->type;
    Units_DeleteKeepPtr(gone);
    ASSERT_EQ(Units_NewAtKeepPtr(gone, type, 1, 90, 20, 20), gone);
    const std::string path = dir_.file("stale.sav");
    ASSERT_EQ(Save_Game(path.c_str(), 0), 1);
    EXPECT_EQ(depot->whomademe.unit, gone);
    EXPECT_EQ(depot->whomademe.id, 26);
    EXPECT_EQ(Units_ListDelete(&depot->pickup, 26), 1);

    ASSERT_EQ(Save_Load(path.c_str()), SAVE_LOADED) << Save_LoadError();
    depot = Build_FindById(1011);
    ASSERT_NE(depot, nullptr);
    EXPECT_EQ(depot->whomademe.unit, nullptr);
    EXPECT_EQ(depot->whomademe.id, 26);
    EXPECT_EQ(Units_ListSize(&depot->pickup), 2);
    ASSERT_NE(Units_ListFind(&depot->pickup, 26), nullptr);
    EXPECT_EQ(Units_ListFind(&depot->pickup, 26)->u.unit, nullptr);
    EXPECT_EQ(Units_ListDelete(&depot->pickup, 26), 1);
    EXPECT_EQ(Units_ListDelete(&depot->pickup, 26), 1);
    EXPECT_EQ(Units_ListSize(&depot->pickup), 0);
    EXPECT_EQ(U(90), Units_IdToUnitPtr(90, 1));
    EXPECT_NE(U(90), nullptr);
}

// What computer players keep on units and buildings is theirs: a save
// stores it as zeros and leaves the game's own; the mini-buildings' seen
// flags come back with a load.
TEST_F(SavedBattle, ComputerPlayersKeepTheirRecordsAndSeenFlagsComeBack)
{
    Start();
    PlayTo(40);
    UNIT* u = U(2);
    BUILDING* b = Build_FindById(1011);
    ASSERT_TRUE(u && b);
    u->ai.arrived = 7;
    u->ai.producer_id = 1012;
    b->ai.account = 3;
    b->ai.refundable = 50;
    std::vector<std::pair<int, int>> seen;
    for (int t = 0; t < TEAM_MAXTEAMS; t++)
        for (BUILDING* x = teamdata[t].firstbuilding; x; x = x->teamnext) seen.push_back({x->id, x->minib->seen});
    int flags = 0;
    for (const auto& [id, flag] : seen) flags += flag;
    ASSERT_GT(flags, 0);
    ASSERT_LT(flags, (int)seen.size());
    const std::string path = dir_.file("ai.sav");
    ASSERT_EQ(Save_Game(path.c_str(), 0), 1);
    EXPECT_EQ(u->ai.arrived, 7);
    EXPECT_EQ(u->ai.producer_id, 1012);
    EXPECT_EQ(b->ai.refundable, 50);
    b->minib->seen = !b->minib->seen;

    ASSERT_EQ(Save_Load(path.c_str()), SAVE_LOADED) << Save_LoadError();
    EXPECT_EQ(U(2)->ai.arrived, 0);
    EXPECT_EQ(U(2)->ai.producer_id, 0);
    EXPECT_EQ(Build_FindById(1011)->ai.refundable, 0);
    for (const auto& [id, flag] : seen) EXPECT_EQ(Build_FindById(id)->minib->seen, flag) << "building " << id;
}

// Packages naming the units that made them, round in a circle: every unit
// is one block, reached from its team's list, and the circle comes back.
TEST_F(SavedBattle, PackagesNamingTheirMakersInACircleSaveEachUnitOnce)
{
    Start();
    PlayTo(5);
    BUILDINGTYPE* depot = &g_BuildingTypes[Textfile_FindBuildingType("DemoDepot")];
    const int ids[] = {8, 9, 24};
    for (int i = 0; i < 3; i++) {
        UNIT* maker = U(ids[(i + 1) % 3]);
        ASSERT_NE(maker, nullptr);
        U(ids[i])->building_package = new BUILDINGPACKAGE{depot, {maker, maker->id}};
    }
    const std::string path = dir_.file("circle.sav");
    ASSERT_EQ(Save_Game(path.c_str(), 0), 1);
    EXPECT_EQ(Save_TypeBlocks(ST_UNIT), (uint32_t)Units_Count());
    EXPECT_EQ(Save_TypeBlocks(ST_BUILDINGPACKAGE), 3u);
    ASSERT_EQ(Save_Load(path.c_str()), SAVE_LOADED) << Save_LoadError();
    for (int i = 0; i < 3; i++) {
        const BUILDINGPACKAGE* p = U(ids[i])->building_package;
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->whomademe.unit, U(ids[(i + 1) % 3]));
        EXPECT_EQ(p->whomademe.id, ids[(i + 1) % 3]);
    }
}

} // namespace
