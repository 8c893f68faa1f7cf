// Saved games that can't be trusted: a damaged file naming another
// scenario is refused in place instead of ending the running game for a
// load that can't succeed; condition machines standing in or heading for a
// state they don't have are refused as other fields are; what isn't a
// regular file is refused before it is opened; a save from a program with
// the computer players on or off says so when the other kind refuses it;
// one of other game data is out of date.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "core/config.h"
#include "core/crc32.h"
#include "core/gamestate.h"
#include "core/tfparse.h"
#include "core/tlog.h"
#include "core/utils.h"
#include "game/gameloop.h"
#include "game/systems.h"
#include "map/map.h"
#include "map/path.h"
#include "map/mapview.h"
#include "platform/input.h"
#include "platform/plat.h"
#include "platform/video.h"
#include "rules/endcond.h"
#include "rules/gamemsg.h"
#include "rules/tfendcnd.h"
#include "save/save.h"
#include "save/savefield.h"
#include "save/saveget.h"
#include "save/savetype.h"
#include "support/testsupport.h"
#include "support/world.h"
#include "ui/igi.h"
#include "ui/igidisp.h"
#include "ui/igimenu.h"
#include "ui/igipanel.h"
#include "units/building.h"
#include "units/orders.h"
#include "units/projectile.h"
#include "units/swave.h"
#include "units/vortex.h"
#include "units/target.h"
#include "units/team.h"
#include "units/trail.h"
#include "units/unit.h"
#include "units/unitmove.h"
#include "units/unitstate.h"
#include "units/weapon.h"

namespace {

uint32_t Get32(const std::string& s, size_t at)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= (uint32_t)(uint8_t)s[at + i] << (8 * i);
    return v;
}

void Put32(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++) s[at + i] = (char)(v >> (8 * i));
}

struct Block {
    size_t at;  // of the marker
    int type;
    uint32_t size;  // of the stored data (0 for a static block)
};

std::vector<Block> Blocks(const std::string& s)
{
    std::vector<Block> out;
    size_t at = 32;
    for (int section = 0; section < 2; section++) {
        const uint32_t n = Get32(s, at);
        at += 4;
        for (uint32_t i = 0; i < n; i++) {
            const uint32_t flags = Get32(s, at + 4);
            const uint32_t size = (flags & 0x30000000) == 0x30000000 ? 0 : flags & 0xFFFFF;
            out.push_back({at, (int)(flags >> 20 & 0xFF), size});
            at += 16 + size;
        }
    }
    return out;
}

std::string RepairCrcs(std::string s)
{
    for (const Block& b : Blocks(s))
        if (b.size) Put32(s, b.at + 12, Crc32_Block(s.data() + b.at + 16, b.size));
    return s;
}

// The header names scenario, its sum made right.
std::string Named(std::string s, const char* scenario)
{
    memset(&s[12], 0, 16);
    memcpy(&s[12], scenario, strlen(scenario));
    Put32(s, 28, Crc32_Block(s.data() + 4, 24));
    return s;
}

// The offset of a field in a record of a block's stored form (local, else
// global).
size_t StoredAt(int type, const char* field)
{
    const SAVEFORM* form = SaveForm_Get(type, 0);
    if (!form) form = SaveForm_Get(type, 1);
    size_t at = 0;
    for (int i = 0; i < form->nfields; i++) {
        if (strcmp(form->fields[i].name, field) == 0) return at;
        at += SaveField_Stored(&form->fields[i]);
    }
    ADD_FAILURE() << "no field " << field;
    return 0;
}

// The block's data written twice, its size and sum made right.
std::string Doubled(const std::string& s, const Block& b)
{
    std::string out = s;
    out.insert(b.at + 16 + b.size, s.substr(b.at + 16, b.size));
    Put32(out, b.at + 4, (Get32(s, b.at + 4) & ~0xFFFFFu) | 2 * b.size);
    return RepairCrcs(out);
}

// A running game of the fixture scenario (or another), in-game, its saved
// games in a directory of the test's own.
class FileTrustSave : public testing::Test {
protected:
    QvLogCapture log_{TLOG_SAVE};
    QvTempDir dir_;
    bool open_ = false;

    void SetUp() override
    {
        Game_ResetState();
        Cfg_SetDefaults(&g_Config);
        g_Config.disableendconditions = 1;
        Plat_InitWith(&g_PlatHeadless);
        PlatHeadless_SetClock(0, 0);
        Game_SetDirectories(QV_TEST_RUNDIR, "data", "", "save", "scenario");
        Str_CopySafe(g_SaveDir, dir_.file("save").c_str(), sizeof g_SaveDir);
        Game_SetScenarioCategory(SC_SINGLE);
        Input_Init();
        Video_Init();
        Event_Init();
        Save_Init();
    }
    void TearDown() override
    {
        if (open_) Stop();
        Event_Close();
        Video_Close();
        Input_Close();
        Plat_Close();
        Cfg_SetDefaults(&g_Config);
    }
    void Start(const char* scenario = "SAVEGAME")
    {
        Game_SetScenarioName(scenario);
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
    void RunTo(uint32_t update)
    {
        while (g_UpdateCount < update) {
            Game_Update();
            Orders_AfterUpdate();
        }
    }
    std::string SaveNow(const char* name)
    {
        EXPECT_EQ(Save_Game(dir_.file(std::string("save/") + name).c_str(), 0), 1);
        return dir_.read(std::string("save/") + name);
    }
    // Team 2's end-condition tree from text.
    bool LoadTree(const std::string& text)
    {
        TF_PARSER* parser = TF_OpenText("filetrust.end", text.data(), text.size());
        char first[TF_FIELD];
        const bool ok = TF_GetToken(parser, first, sizeof first) && Tfendcnd_Load(parser, ENDCOND_END, 2) == 1;
        TF_Close(parser);
        return ok;
    }
    int Load(const std::string& bytes)
    {
        dir_.write("save/bad.sav", bytes);
        return Save_Load(dir_.file("save/bad.sav").c_str());
    }
};

TEST_F(FileTrustSave, ADamagedFileNamingAnotherScenarioIsRefusedInPlaceInsteadOfEndingTheGame)
{
    Start();
    RunTo(20);
    const std::string good = SaveNow("good.sav");
    RunTo(26);
    const uint64_t digest = QvDigest_State();
    std::string garbage(4096, '\0');
    std::mt19937 rng(64);
    for (char& c : garbage) c = (char)rng();
    std::string standsNowhere = good;
    for (const Block& b : Blocks(good))
        if (b.type == ST_CONDTREE) Put32(standsNowhere, b.at + 16 + 4, 0);
    const struct {
        const char* name;
        std::string bytes;
        const char* why;
    } rows[] = {
        {"half a file naming another scenario", Named(good.substr(0, good.size() / 2), "DEMO"), " at offset "},
        {"4 KB of garbage after a header naming no scenario", Named(good.substr(0, 32), "NOSUCH") + garbage,
         " at offset "},
        {"a sound file naming no scenario", Named(good, "NOSUCH"), "its scenario [NOSUCH] isn't in the current category"},
        {"a scenario named by a path", Named(good, "..\\SINGLE\\DEMO"), "isn't in the current category"},
        {"a field out of range naming another scenario", Named(RepairCrcs(standsNowhere), "DEMO"),
         "field current out of range in the block at offset "},
    };
    for (const auto& r : rows) {
        log_.clear();
        EXPECT_EQ(Load(r.bytes), SAVE_BADFILE) << r.name;
        const std::string error = Save_LoadError();
        EXPECT_NE(error.find("bad.sav: "), std::string::npos) << r.name << ": " << error;
        EXPECT_NE(error.find(r.why), std::string::npos) << r.name << ": " << error;
        EXPECT_EQ(log_.text().find("Scenario different"), std::string::npos) << r.name;
        EXPECT_EQ(QvDigest_State(), digest) << r.name;
    }
    EXPECT_EQ(Load(Named(good, "DEMO")), SAVE_OTHERSCENARIO) << "a sound one still goes to a game of its scenario";

    // The in-game menu panel's Load: the damaged file is refused, named with
    // what is wrong, and the game goes on; the sound one ends it for state 6.
    dir_.write("save/bad.sav", rows[0].bytes);
    snprintf(igi_nfo.savename, sizeof igi_nfo.savename, "bad.sav");
    Igipanel_ResetMsgCounts();
    IgiDisp_ClearMessages();
    Igimenu_Load();
    EXPECT_EQ(g_GameState, GS_INGAME);
    EXPECT_EQ(g_SaveFlags & SAVEF_PENDINGLOAD, 0u);
    EXPECT_EQ(Igipanel_MsgCount(MSG_SAVEINVALID), 1);
    bool named = false;
    for (int i = 0; i < IgiDisp_MessageCount(); i++) {
        const std::string line = IgiDisp_Message(i);
        named |= line.find("[bad.sav] not loaded: ") != std::string::npos && line.find(" at offset ") != std::string::npos;
    }
    EXPECT_TRUE(named) << (IgiDisp_MessageCount() ? IgiDisp_Message(IgiDisp_MessageCount() - 1) : "no message");
    EXPECT_EQ(QvDigest_State(), digest);
    dir_.write("save/bad.sav", Named(good, "DEMO"));
    Igimenu_Load();
    EXPECT_EQ(g_GameState, GS_LOADGAME);
    EXPECT_NE(g_SaveFlags & SAVEF_PENDINGLOAD, 0u);
    g_SaveFlags &= ~(uint32_t)SAVEF_PENDINGLOAD;
    g_GameState = GS_INGAME;
}

// What a file of another scenario shows wrong by itself is refused before
// the running game is given up for state 6: pointer ids naming no block or
// a block of another kind, a machine standing in a state it hasn't.
TEST_F(FileTrustSave, PointerDamageAndStatesOutOfRangeNamingAnotherScenarioAreRefusedInPlace)
{
    Start();
    RunTo(20);
    const std::string good = SaveNow("good.sav");
    const uint64_t digest = QvDigest_State();
    const std::vector<Block> blocks = Blocks(good);
    const auto tree = std::find_if(blocks.begin(), blocks.end(), [](const Block& b) { return b.type == ST_CONDTREE; });
    ASSERT_NE(tree, blocks.end());
    const size_t at = tree->at + 16;
    const uint32_t self = Get32(good, tree->at + 8), states = Get32(good, at + StoredAt(ST_CONDTREE, "t->condstates"));
    const struct {
        const char* name;
        const char* field;
        uint32_t value;
        std::string why;
    } rows[] = {
        {"states naming no block", "t->condstates", SaveId_Make(ST_CONDSTATEGLLHEADER, 0xFFFF0),
         "bad pointer [t->condstates]"},
        {"states naming the machine", "t->condstates", self, "bad pointer [t->condstates]"},
        {"states naming sequence 0 of their kind, no null", "t->condstates", SaveId_Make(ST_CONDSTATEGLLHEADER, 0),
         "bad pointer [t->condstates]"},
        {"a description naming the states", "t->description", states, "bad pointer [t->description]"},
        {"a current state of 99", "current", 99,
         "field current out of range in the block at offset " + std::to_string(tree->at)},
    };
    for (const auto& r : rows) {
        log_.clear();
        std::string bytes = good;
        Put32(bytes, at + StoredAt(ST_CONDTREE, r.field), r.value);
        EXPECT_EQ(Load(Named(RepairCrcs(bytes), "DEMO")), SAVE_BADFILE) << r.name;
        const std::string error = Save_LoadError();
        EXPECT_NE(error.find("bad.sav: "), std::string::npos) << r.name << ": " << error;
        EXPECT_NE(error.find(r.why), std::string::npos) << r.name << ": " << error;
        EXPECT_EQ(log_.text().find("Scenario different"), std::string::npos) << r.name;
        EXPECT_EQ(QvDigest_State(), digest) << r.name;
    }
}

// States count from 1 and a next state of 0 is the win: a machine standing
// in a state it doesn't have, or heading for one, would stand still for the
// rest of the game.
TEST_F(FileTrustSave, ConditionMachineStatesOutOfRangeAreRefusedWithTheirBlock)
{
    Start();
    ASSERT_TRUE(LoadTree("DefineEndCondTree(777777)\n{\n DefineCondState()\n {\n  DefineCondition(2 0 0 0 \"On\")\n"
                         "  {\n   CritTimer(100000)\n  }\n }\n DefineCondState()\n {\n }\n}\n"));
    RunTo(10);
    const std::string good = SaveNow("good.sav");
    const Block* machine = nullptr;
    const Block* condition = nullptr;
    const std::vector<Block> blocks = Blocks(good);
    for (const Block& b : blocks) {
        if (b.type == ST_CONDTREE && Get32(good, b.at + 16 + 12) == 777777) machine = &b;
        if (b.type == ST_CONDITION) condition = &b;
    }
    ASSERT_NE(machine, nullptr);
    ASSERT_NE(condition, nullptr);
    const size_t current = machine->at + 16 + 4, next = condition->at + 16;
    ASSERT_EQ(Get32(good, current), 1u);
    ASSERT_EQ(Get32(good, next), 2u);
    const uint64_t digest = QvDigest_State();
    const struct {
        const char* name;
        size_t at;
        uint32_t value;
        const char* why;
        size_t block;
    } rows[] = {
        {"a current state past the states", current, 99, "field current out of range in the block at offset ", machine->at},
        {"a current state of 0", current, 0, "field current out of range in the block at offset ", machine->at},
        {"a next state past the states", next, 0x7FFFFFFF, "field next out of range in the block at offset ", condition->at},
        {"a next state one past the states", next, 3, "field next out of range in the block at offset ", condition->at},
        {"a negative next state", next, 0xFFFFFFFF, "field next out of range in the block at offset ", condition->at},
    };
    for (const auto& r : rows) {
        std::string bytes = good;
        Put32(bytes, r.at, r.value);
        EXPECT_EQ(Load(RepairCrcs(bytes)), SAVE_BADFILE) << r.name;
        EXPECT_NE(std::string(Save_LoadError()).find(r.why + std::to_string(r.block)), std::string::npos)
            << r.name << ": " << Save_LoadError();
        EXPECT_EQ(QvDigest_State(), digest) << r.name;
    }
    std::string second = good;
    Put32(second, current, 2);
    ASSERT_EQ(Load(RepairCrcs(second)), SAVE_LOADED) << Save_LoadError();
    EXPECT_EQ(Endcond_GetTree(2, ENDCOND_END)->current, 2) << "its last state is one it has";
}

// Damage the loader took on its word: a pooled record's block holding two
// records (decoded past the one its pool gave), a fire waypoint that is its
// own prev (the trail order looked back along prev for ever), a counter at
// the value its next step overflows from. Each goes through the in-game load
// and is refused, the game unchanged; the game they came from, a shot and
// its shock wave in flight, loads.
TEST_F(FileTrustSave, TwoRecordBlocksPrevCyclesAndOverflowingCountersAreRefusedByTheInGameLoad)
{
    g_Config.disableai = 1;
    Start("DEMO");
    RunTo(5);
    Trail_AddWaypoint(&teamdata[0].gtrails[0], WPT_MOVE, 5, 5, 0);
    Trail_AddWaypoint(&teamdata[0].gtrails[0], WPT_FIRE, 6, 6, 0);
    UNIT* shooter = nullptr;
    for (int t = 0; t < TEAM_MAXTEAMS && !shooter; t++)
        for (int m = 0; m < TEAM_MOVELISTS && !shooter; m++) shooter = teamdata[t].unitlist[m];
    ASSERT_NE(shooter, nullptr);
    // A unit on its way, with a path of more steps than its next one.
    Units_MoveTo(shooter, mapsizex / 2, mapsizey / 2, Units_AllocGroupId());
    RunTo(8);
    ASSERT_GT(Path_Count(&shooter->move.path), 2);
    WEAPONTYPE* gun = Weapon_NewType();
    strcpy(gun->name, "FileTrustGun");
    gun->kind = WLINEAR;
    gun->oinfo.offense = 0;
    gun->CanShootGround = 1;
    gun->initialspeed = gun->maxspeed = 1;
    TARGET ground;
    Target_Setup(&ground, FM_GROUND, nullptr, nullptr, shooter->tilepos.x + 5, shooter->tilepos.y);
    PROJECTILEID shot;
    ASSERT_TRUE(Weapon_MakeProjectile(&shot, gun, &ground, shooter->basepart));
    ASSERT_NE(Swave_Start(shot.projectile, shot.projectile->x, shot.projectile->y), nullptr);
    ASSERT_NE(Vortex_Open(shot.projectile, shot.projectile->x, shot.projectile->y), nullptr);
    const std::string good = SaveNow("good.sav");
    const uint64_t digest = QvDigest_State();

    struct Row {
        std::string name, bytes, why;
    };
    std::vector<Row> rows;
    std::set<int> doubled;
    std::set<std::string> kept;
    for (const Block& b : Blocks(good)) {
        const uint32_t records = Save_LocalRecords(b.type);
        if (b.size && records && doubled.insert(b.type).second)
            rows.push_back({std::string("two records of ") + Save_TypeName(b.type), Doubled(good, b),
                            "holds " + std::to_string(2 * records) + " records"});
        if (b.type == ST_WAYPOINT && Get32(good, b.at + 16) == WPT_FIRE) {
            std::string bytes = good;
            Put32(bytes, b.at + 16 + StoredAt(ST_WAYPOINT, "w->prev"), Get32(good, b.at + 8));
            rows.push_back({"a fire waypoint its own prev", RepairCrcs(bytes), "a waypoint's prev link"});
        }
        const struct {
            int type;
            const char* field;
            uint32_t value;
        } counters[] = {
            {ST_PROJECTILE, "anim.wait", 0x80000000u},
            {ST_PROJECTILE, "hitwait", 0x7FFFFFFFu},
            {ST_SWave, "age", 0x7FFFFFFFu},
            {ST_PROJECTILE, "aimx", 0x80000000u},
            {ST_PROJECTILE, "fy", 0x7FFFFFFFu},
            {ST_SWave, "x", 0x7FFFFFFFu},
            // units and parts: facings, countdowns, hit points above the type's most, ammunition, angles
            {ST_UNIT, "move.basefacing", 0x7FFFFFFFu},
            {ST_UNIT, "idledelay", 0x80000000u},
            {ST_UNIT, "boost.fadespeed", 0x7FFFFFFFu},
            {ST_UNIT, "hitpoints", 0x7FFFFFFFu},
            {ST_PART, "weapon[0].ammo", 0x80000000u},
            {ST_PART, "angle", 0x01000000u},
            // a condition tree's clock and a thing's use count
            {ST_CONDTREE, "elapsed", 0x7FFFFFFFu},
            {ST_OVERLAY, "usecount", 0x7FFFFFFFu},
            // a part out of use on a unit, a team that isn't one
            {ST_PART, "id", 0xFFFFFFFFu},
            {ST_UNIT, "apparentteam", 0xFFu},
            // buildings, teams, shots, wave bubbles and the path search
            {ST_BUILDING, "prodleft", 0x80000000u},
            {ST_TEAM_DATA, "stats.kills_units", 0x7FFFFFFFu},
            {ST_PROJECTILE, "heading", 0x80000000u},
            {ST_SWaveNode, "radius", 0x7FFFFFFFu},
            // a shot's reach and strength past what the damage sums take
            {ST_PROJECTILE, "oinfo.areaeffect", 0x7FFFFFFFu},
            {ST_PROJECTILE, "oinfo.hitpoints", 0x80000000u},
            {ST_PATHSRCH, "goaly", 0x7FFFFFFFu},
        };
        for (const auto& c : counters)
            if (b.type == c.type) {
                std::string bytes = good;
                Put32(bytes, b.at + 16 + StoredAt(c.type, c.field), c.value);
                rows.push_back({std::string(c.field) + " at " + std::to_string(c.value), RepairCrcs(bytes),
                                std::string("field ") + c.field + " out of range in the block at offset " +
                                    std::to_string(b.at)});
            }
        // A path whose count, node steps or walker's goal a walk would
        // take past the nodes, their arrays or the map. The shot's wave and
        // vortex keep it: counting no keeper, it was freed under them; a
        // vortex node naming no vortex ended the program when the load
        // listed it, one without a shot was aged; a job's work left past its
        // whole made the work done negative.
        const struct {
            int type;
            const char* field;
            uint32_t value;
            const char* name;
            const char* why;
        } keepers[] = {
            {ST_UNIT, "move.path.count", 0x7FFFFFFFu, "a path counted past its nodes", "a path"},
            {ST_PATHNODE, "first", 31 | 2 << 16, "a path node stepping past its array", "a path node's steps"},
            {ST_UNIT, "move.srchtilepos.x", 1023, "a walking unit's goal off the map", "a walking unit's goal off the map"},
            {ST_BUILDING, "prodleft", 0x7FFFFFFFu, "a job with more work left than in all", "more left than in all"},
            {ST_PROJECTILE, "held", 0, "a shot kept by no one", "vortices and waves keeping it"},
            {ST_VORTEXGLLNODE, "node->element", SAVEID_NULL, "a vortex node without its vortex", "local blocks"},
            {ST_VORTEX, "v->proj", SAVEID_NULL, "a vortex without its shot", "without its vortex or projectile"},
            {ST_PROJECTILE, "oinfo.offense", 200, "a shot of a class the damage table hasn't", "a projectile's offense class"},
        };
        for (const auto& k : keepers) {
            if (b.type != k.type) continue;
            if (k.value == 1023 && Get32(good, b.at + 16 + StoredAt(ST_UNIT, "state")) != US_MOVING) continue;
            std::string bytes = good;
            Put32(bytes, b.at + 16 + StoredAt(k.type, k.field), k.value);
            rows.push_back({k.name, RepairCrcs(bytes), k.why});
            kept.insert(k.name);
        }
    }
    EXPECT_EQ(kept.size(), 8u);
    // The condition machine's words stand before its tree pointers: the
    // rotation, stepped and looked two ahead, and a team's count at the
    // start. A region's third word is the corner a circle's radius is added to.
    const std::vector<Block> all = Blocks(good);
    const auto first = [&all](int type) {
        return std::find_if(all.begin(), all.end(), [type](const Block& b) { return b.type == type; });
    };
    const auto trees = first(ST_CONDTREEPTR), region = first(ST_REGION);
    ASSERT_NE(trees, all.end());
    ASSERT_NE(region, all.end());
    for (const auto& [at, field, value] : {std::tuple{(trees - 2)->at, "callcounter", 0x7FFFFFFFu},
                                           {(trees - 4)->at, "unitsatstart", 0x7FFFFFFFu},
                                           {region->at + 8, "x1", 0x7FFFFFFFu}}) {
        std::string bytes = good;
        Put32(bytes, at + 16, value);
        rows.push_back({std::string(field) + " at " + std::to_string(value), RepairCrcs(bytes),
                        std::string("field ") + field + " out of range"});
    }
    for (int type : {ST_UNIT, ST_PART, ST_WAYPOINT, ST_PROJECTILE, ST_SWave, ST_SWaveNode})
        EXPECT_TRUE(doubled.count(type)) << Save_TypeName(type);
    for (const Row& r : rows) {
        dir_.write("save/bad.sav", r.bytes);
        EXPECT_EQ(Igimenu_LoadFile(dir_.file("save/bad.sav").c_str()), SAVE_BADFILE) << r.name;
        const std::string error = Save_LoadError();
        EXPECT_NE(error.find("bad.sav: "), std::string::npos) << r.name << ": " << error;
        EXPECT_NE(error.find(r.why), std::string::npos) << r.name << ": " << error;
        EXPECT_EQ(g_GameState, GS_INGAME) << r.name;
        EXPECT_EQ(QvDigest_State(), digest) << r.name;
    }
    dir_.write("save/bad.sav", good);
    ASSERT_EQ(Igimenu_LoadFile(dir_.file("save/bad.sav").c_str()), SAVE_LOADED) << Save_LoadError();
    EXPECT_EQ(Swave_Count(), 1);
    EXPECT_EQ(QvDigest_State(), digest);
}

// A file's view words far off the map were taken as they stood: the view's
// tile, which drawing adds to, sat at the top of the integer range.
TEST_F(FileTrustSave, RegressionAMapViewOffTheMapIsHeldOnTheMapByTheLoad)
{
    Start();
    RunTo(5);
    std::string bytes = SaveNow("view.sav");
    const int live[6] = {g_MapView.x, g_MapView.y, g_MapView.tilex, g_MapView.tiley, g_MapView.offx, g_MapView.offy};
    int word = 0;
    for (const Block& b : Blocks(bytes))
        if (b.type == ST_ULONG && word < 6) {
            ASSERT_EQ((int)Get32(bytes, b.at + 16), live[word]) << "view word " << word;
            if (word == 0 || word == 2) Put32(bytes, b.at + 16, 0x7FFFFFF0u);
            word++;
        }
    ASSERT_EQ(word, 6);
    dir_.write("save/view.sav", RepairCrcs(bytes));
    ASSERT_EQ(Igimenu_LoadFile(dir_.file("save/view.sav").c_str()), SAVE_LOADED) << Save_LoadError();
    EXPECT_LE(g_MapView.x, mapsizex * MAP_TILE_PIXELS);
    EXPECT_EQ(g_MapView.tilex, g_MapView.x / MAP_TILE_PIXELS);
    EXPECT_EQ(g_MapView.offx, g_MapView.x % MAP_TILE_PIXELS);
}

// A game holding a value no load takes (a time limit below 0, once read
// from an end-condition file) was reported saved; the earlier save stays.
TEST_F(FileTrustSave, AGameThatNoLoadWouldTakeIsNotReportedSaved)
{
    Start();
    ASSERT_TRUE(LoadTree("DefineEndCondTree(100)\n{\n}\n"));
    RunTo(5);
    const std::string before = SaveNow("game.sav");
    CONDTREE* tree = Endcond_GetTree(2, ENDCOND_END);
    tree->timelimit = INT32_MIN;
    log_.clear();
    EXPECT_EQ(Save_Game(dir_.file("save/game.sav").c_str(), 0), 0);
    EXPECT_NE(log_.text().find("field timelimit out of range"), std::string::npos) << log_.text();
    EXPECT_EQ(dir_.read("save/game.sav"), before);
    tree->timelimit = 0;
}

// The computer players' plans are global blocks: the counts differ, and
// the refusal says why.
TEST_F(FileTrustSave, AFileFromAProgramWithComputerPlayersOnOrOffSaysWhyItsCountDiffers)
{
    for (int savedOff = 0; savedOff < 2; savedOff++) {
        g_Config.disableai = savedOff;
        Start("DEMO");
        RunTo(5);
        SaveNow("ai.sav");
        Stop();
        g_Config.disableai = !savedOff;
        Start("DEMO");
        RunTo(5);
        const uint64_t digest = QvDigest_State();
        EXPECT_EQ(Save_Load(dir_.file("save/ai.sav").c_str()), SAVE_BADFILE);
        const std::string error = Save_LoadError();
        EXPECT_NE(error.find("Global block count error. File="), std::string::npos) << error;
        EXPECT_NE(error.find(savedOff ? "the file was saved with computer players off, this game has them on"
                                      : "the file was saved with computer players on, this game has them off"),
                  std::string::npos)
            << error;
        EXPECT_EQ(QvDigest_State(), digest);
        Stop();
    }
}

// Saves of the demo made before its three crews were added were refused as
// "Not a saved game": a file with fewer of a type table's blocks is of other
// game data, out of date; another count error keeps its line; whole, the
// save of a scenario with definition files of its own loads.
TEST_F(FileTrustSave, RegressionAFileOfOtherGameDataIsRefusedAsOutOfDate)
{
    Start("AIBASES");
    const std::string saved = SaveNow("own.sav");
    const uint32_t globals = Get32(saved, 32), units = (uint32_t)Units_UnitTypeCount();
    const struct { int drop, result; std::string why; } rows[] = {
        {ST_UNITTYPE, SAVE_OLDVERSION, ": made with other game data: " + std::to_string(units - 1) +
                                           " unit types in the file, " + std::to_string(units) + " here\n"},
        {ST_WEAPONTYPE, SAVE_OLDVERSION, " weapon types in the file, "},
        {ST_PIXELARRAY, SAVE_BADFILE, "Global block count error. File=" + std::to_string(globals - 1)},
        {-1, SAVE_LOADED, "- done."}};
    for (const auto& r : rows) {
        std::string bytes = saved;
        for (const Block& b : Blocks(saved))
            if (b.type == r.drop && (Put32(bytes, 32, globals - 1), bytes.erase(b.at, 16), true)) break;
        EXPECT_EQ(Load(bytes), r.result) << r.why;
        EXPECT_NE(log_.text().find(r.why), std::string::npos) << log_.text();
    }
}

// A game stays savable to its end with what its definition files allow: a
// booster that lasted "for good" (2,000,000,000 updates) made every save
// from its first boost fail, and buildings supplying and storing the most
// the building file takes ran their team's sums past the word. Boosts at the ends the
// weapon file now takes, and such a supply, save and load; one past the
// boost's end is refused at its line.
class UnitsInPlaySave : public FileTrustSave {
protected:
    void TearDown() override
    {
        for (TF_PARSER* p : parsers_) TF_Close(p);
        FileTrustSave::TearDown();
    }
    int LoadWeapons(const std::string& text)
    {
        parsers_.push_back(TF_OpenText("weapon.txt", text.data(), text.size()));
        return Tfweapon_ParseWeapon(parsers_.back());
    }
    std::vector<TF_PARSER*> parsers_;
};

TEST_F(UnitsInPlaySave, RegressionBoostsAndSuppliesAtTheEndsTheFilesAllowAreSavedAndLoaded)
{
    // Without the computer players, which a load starts afresh.
    g_Config.disableai = 1;
    Start("DEMO");
    RunTo(5);
    QV_EXPECT_FATAL(LoadWeapons("DefineWeapon(ForGood) {\n CopyWeapon(Shredder)\n SetBooster(10 2000000000 0.5 0)\n}\n"),
                    "Boost time 2000000000 out of range (-1073741823..1073741823)");
    EXPECT_NE(log_.text().find("Line : 3"), std::string::npos) << log_.text();
    ASSERT_EQ(LoadWeapons("DefineWeapon(Longest) {\n CopyWeapon(Shredder)\n SetBooster(10 1073741823 4194303.5 0)\n}\n"
                          "DefineWeapon(Lowest) {\n CopyWeapon(Shredder)\n SetBooster(10 -1073741823 -4194304 0)\n}\n"
                          "DefineWeapon(Fastest) {\n CopyWeapon(Shredder)\n SetBooster(10 1 4194303.5 0)\n}\n"),
              1);
    std::vector<UNIT*> units;
    for (UNIT* u = teamdata[0].unitlist[MM_GROUND]; u && units.size() < 3; u = u->next)
        if (u->boost.state == BS_OFF) units.push_back(u);
    ASSERT_EQ(units.size(), 3u);
    const char* names[3] = {"Longest", "Lowest", "Fastest"};
    for (int i = 0; i < 3; i++) Units_Boost(units[i], Weapon_FindType(names[i]));
    EXPECT_EQ(units[0]->boost.counter, 1073741823);
    EXPECT_EQ(units[1]->boost.fadespeed, -(1 << 30));
    // Every building supplying the most: the computer players' resource
    // sites, made from the types when the game starts, are made afresh by a
    // load, so the game is compared from a load on.
    // Its stores, as large, are emptied after every update, as tankers and
    // sales would, so that the team's total collected runs to the top.
    for (int i = 0; i < g_NrBuildingTypes; i++)
        g_BuildingTypes[i].resource[0].production = g_BuildingTypes[i].resource[0].maxstored = INT32_MAX;
    for (int i = 0; i < 3; i++) {
        RunTo(g_UpdateCount + 1);
        for (BUILDING* b = g_Buildings; b; b = b->next) b->stored[0] = 0;
    }
    EXPECT_EQ(units[1]->boost.state, BS_DEC);
    int most = 0, collected = 0;
    for (const TEAM_DATA& t : teamdata) {
        most = std::max(most, t.resource[0].supply);
        collected = std::max(collected, t.stats.collected[0]);
    }
    EXPECT_EQ(most, INT32_MAX);
    EXPECT_EQ(collected, INT32_MAX);
    teamdata[3].side = TS_MAX;  // as a scenario's SetTeamSide(7) leaves it
    SaveNow("ends.sav");
    const uint32_t saved = g_UpdateCount;
    const int id = units[1]->id;
    const UNIT_BOOST lowest = units[1]->boost;
    ASSERT_EQ(Save_Load(dir_.file("save/ends.sav").c_str()), SAVE_LOADED) << Save_LoadError();
    RunTo(saved + 3);
    const uint64_t digest = QvDigest_State();
    ASSERT_EQ(Save_Load(dir_.file("save/ends.sav").c_str()), SAVE_LOADED) << Save_LoadError();
    const UNIT* u = Units_IdToUnitPtr(id, -1);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->boost.counter, lowest.counter);
    EXPECT_EQ(u->boost.fadespeed, lowest.fadespeed);
    EXPECT_EQ(teamdata[3].side, TS_MAX);
    RunTo(saved + 3);
    EXPECT_EQ(QvDigest_State(), digest) << "three updates on from the same load";
}

// What isn't a regular file is refused before it is opened: a named pipe
// would hold the game until something wrote to it, /dev/zero would be read
// until the size limit.
TEST(FileTrustSaveFile, WhatIsNotARegularFileIsRefusedBeforeItIsOpened)
{
    QvTempDir dir;
    QvLogCapture log;
    const std::string fifo = dir.file("pipe.sav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Should the loader open the pipe, this writer lets it go on to the
    // pipe's end at once; otherwise the writer is let go after the load.
    std::thread writer([&fifo] {
        int fd = open(fifo.c_str(), O_WRONLY);
        if (fd >= 0) close(fd);
    });
    const int piped = Save_Load(fifo.c_str());
    const std::string pipeError = Save_LoadError();
    int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    writer.join();
    if (reader >= 0) close(reader);
    EXPECT_EQ(piped, SAVE_BADFILE);
    EXPECT_NE(pipeError.find("pipe.sav: is a FIFO, not a saved game"), std::string::npos) << pipeError;

    const struct {
        std::string path;
        const char* why;
    } rows[] = {
        {"/dev/zero", "/dev/zero: is a character device, not a saved game"},
        {dir.path(), ": is a directory, not a saved game"},
        // A file that holds more than its size said (as one still being
        // written does) is read to that size and no further.
        {"/proc/self/status", "/proc/self/status: changed while being read"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Save_Load(r.path.c_str()), SAVE_BADFILE) << r.path;
        EXPECT_NE(std::string(Save_LoadError()).find(r.why), std::string::npos) << Save_LoadError();
    }
    // A link to a saved game is the file it names.
    char scenario[sizeof g_ScenarioName];
    memcpy(scenario, g_ScenarioName, sizeof scenario);
    Save_Init();
    Str_CopySafe(g_ScenarioName, "Alpha", sizeof g_ScenarioName);
    ASSERT_EQ(Save_Game(dir.file("a.sav").c_str(), 0), 1);
    ASSERT_EQ(symlink(dir.file("a.sav").c_str(), dir.file("link.sav").c_str()), 0);
    EXPECT_EQ(Save_Load(dir.file("link.sav").c_str()), SAVE_LOADED) << Save_LoadError();
    memcpy(g_ScenarioName, scenario, sizeof scenario);
}

// The save's temporary file is made afresh: a named pipe already at its
// name held the save for ever (and was renamed over the save), and then,
// refused, stopped every later save of the name until the program ended;
// a link at the save's name to what isn't a file had that replaced by the
// save.
TEST(FileTrustSaveFile, APipeAtTheTemporaryNameIsClearedAndALinkToOneAtTheSaveNameFailsTheSaveAndKeepsWhatWasThere)
{
    QvTempDir dir;
    QvLogCapture log;
    char scenario[sizeof g_ScenarioName];
    memcpy(scenario, g_ScenarioName, sizeof scenario);
    Save_Init();
    Str_CopySafe(g_ScenarioName, "Alpha", sizeof g_ScenarioName);
    const std::string save = dir.file("a.sav");
    ASSERT_EQ(Save_Game(save.c_str(), 0), 1);
    const std::string before = dir.read("a.sav");
    const std::string tmp = save + ".tmp" + std::to_string((long)getpid()), pipe = dir.file("pipe");
    ASSERT_EQ(mkfifo(tmp.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_EQ(symlink(pipe.c_str(), dir.file("b.sav").c_str()), 0);
    // Held open both ways, so that a save opening the pipe finds a reader
    // and its few bytes fit the pipe's buffer instead of waiting for ever.
    const int held = open(tmp.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(held, 0);
    EXPECT_EQ(Save_Game(save.c_str(), 0), 1) << log.text();
    EXPECT_EQ(Save_Game(save.c_str(), 0), 1) << log.text();
    char none;
    EXPECT_EQ(read(held, &none, 1), -1) << "the save went into the pipe";
    close(held);
    struct stat st;
    ASSERT_EQ(lstat(save.c_str(), &st), 0);
    ASSERT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(dir.read("a.sav"), before);
    EXPECT_NE(lstat(tmp.c_str(), &st), 0) << "the pipe is left at the temporary name";
    EXPECT_EQ(Save_Game(dir.file("b.sav").c_str(), 0), 0);
    ASSERT_EQ(lstat(pipe.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the pipe a link named was replaced by the save";
    memcpy(g_ScenarioName, scenario, sizeof scenario);
}

} // namespace
